#pragma once

#include "plugkit/IPluginApiBase.h"
#include "plugkit/IPluginProcessor.h"
#include "plugkit/MidiMessage.h"
#include "plugkit/PluginConfig.h"
#include "plugkit/RingQueue.h"

#include <cstddef>
#include <cstdint>

namespace plugkit
{

namespace app
{
class StandaloneHost;
} // namespace app

/// What became of one message from the MIDI input port.
enum class MidiInputResult
{
    Queued,
    Ignored, ///< empty, or longer than a SysEx entry holds
    Full,    ///< its queue had no room; dropped
    Count
};

/// The host adapter of the stand-alone program. The program's audio callback hands it each
/// device buffer in chunks (`ProcessAudioBlock`), the MIDI input callback queues what arrives
/// (`QueueMidiInput`), and what the processor sends goes to the host's MIDI output port.
///
/// Threads: `QueueMidiInput` runs on the MIDI input thread and is the only producer of the two
/// input queues; `ProcessAudioBlock` runs on the audio thread and is their only consumer. Neither
/// allocates or locks. Everything else is the UI thread's.
class IPluginApp : public IPluginApiBase, public IPluginProcessor
{
public:
    /// Frames the plug-in is prepared for: no chunk handed to it is longer.
    static constexpr int kBlockSize = 512;
    /// Messages each input queue holds while the audio thread has not drained it.
    static constexpr int kMidiInputQueueSize = 32;
    static constexpr int kSysExInputQueueSize = 4;

    /// Connects every channel, prepares for 512-frame blocks and starts the stand-alone 20 ms
    /// timer. `host` may be null (no MIDI output then).
    IPluginApp(const PluginConfig& config, app::StandaloneHost* host);
    ~IPluginApp() override;

    /// [audio-thread] One chunk of a device buffer: `frames` (1 to kBlockSize) frames from the
    /// given channel pointers, one per plug-in input and output channel. A null input pointer
    /// reads as silence. The queued MIDI and SysEx reach the processor first (and then the
    /// editor, when its queues have room), then the MIDI the editor sent.
    void ProcessAudioBlock(double** inputs, double** outputs, int frames);

    /// [midi-input-thread] Queues a message of `size` bytes for the next audio chunk: 1 to 3
    /// bytes as a short message (missing data bytes 0), 4 to 512 as SysEx. Never blocks.
    MidiInputResult QueueMidiInput(const uint8_t* bytes, size_t size);

    /// [ui-thread] The stand-alone tick: the processor's parameter changes reach the editor
    /// first, then its MIDI and SysEx, then OnIdle.
    void OnTimer(Timer& timer) override;

    /// [ui-thread] Stores the new editor size when it differs. Always false: the main window
    /// does not follow.
    bool EditorResize(int width, int height) override;
    /// [ui-thread] Straight to SendSysEx; the program has no host to queue it for.
    void SendSysexMsgFromUI(const SysExMessage& msg) override;

    /// [any-thread] Status and both data bytes to the MIDI output port; false when the plug-in
    /// declares no MIDI output or no port object exists.
    bool SendMidiMsg(const MidiMessage& msg) override;
    /// [any-thread] The message's bytes to the MIDI output port; false as SendMidiMsg, and for
    /// a message without bytes.
    bool SendSysEx(const SysExMessage& msg) override;

    app::StandaloneHost* GetAppHost() const { return mHost; }

private:
    app::StandaloneHost* mHost = nullptr;
    RingQueue<MidiMessage> mMidiInput{kMidiInputQueueSize};
    RingQueue<SysExQueueEntry> mSysExInput{kSysExInputQueueSize};
};

/// [ui-thread] Creates the product's plug-in for `host` under a process-wide lock; null when
/// it could not be built. Each product defines it (the stand-alone counterpart of a plug-in
/// module's instance creation).
IPluginApp* CreateStandalonePlugin(app::StandaloneHost* host);

} // namespace plugkit
