#pragma once

#include "plugkit/HeapString.h"
#include "plugkit/IPluginProcessor.h"
#include "plugkit/app/AudioCallback.h"
#include "plugkit/app/AudioDevices.h"
#include "plugkit/app/MidiPorts.h"
#include "plugkit/app/StandalonePlatform.h"
#include "plugkit/app/StandaloneSettings.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace plugkit
{
class IPluginApp;
} // namespace plugkit

namespace plugkit::app
{

class StandaloneHost;

/// The program's one application host; null before `StandaloneHost::Create` and after its
/// teardown.
extern StandaloneHost* gStandaloneHost;

/// The stand-alone program's application object: owns the plug-in, the audio layer and the two
/// MIDI port objects, keeps the device settings in settings.ini, and runs one duplex audio
/// stream and at most one MIDI port of each direction.
///
/// Threads: everything here is the UI thread's, except the two callbacks: the audio callback
/// (the layer's audio thread) and the MIDI input callback (the layer's MIDI thread). They meet
/// the UI thread only in the stop handshake of `AudioCallback`, the plug-in's lock-free queues
/// and the exit flag.
class StandaloneHost
{
public:
    static constexpr const char* kHostName = "standalone";
    static constexpr const char* kAudioSettingsMessage = "Please check the audio settings";
    static constexpr const char* kAudioSettingsTitle = "Error";
    /// Buffers of its stream a stop waits for the fade-out, at most.
    static constexpr int kStopWaitBuffers = 4;
    /// The shortest wait for the fade-out, in milliseconds, however short the buffers.
    static constexpr int kMinStopWaitMs = 50;

    /// Makes the host and its plug-in (`CreateStandalonePlugin`) and publishes it in
    /// gStandaloneHost, tearing down a host that was there. Null when either could not be made.
    static StandaloneHost* Create(IStandalonePlatform& platform);
    /// The teardown: sets the exit flag, stops the audio stream, cancels the MIDI input callback
    /// and closes the output port, deletes the MIDI objects and the audio layer, and the plug-in
    /// last.
    ~StandaloneHost();
    StandaloneHost(const StandaloneHost&) = delete;
    StandaloneHost& operator=(const StandaloneHost&) = delete;

    /// Names the plug-in's host, reads settings.ini, makes and scans the audio and MIDI layers,
    /// reopens the saved MIDI ports, resets the parameters and activates the processor. The
    /// stream is opened afterwards, by ApplyAudioSettings.
    bool Initialize();

    // ---- Settings file.

    /// Reads settings.ini into the edited settings when it exists (creating its folder when
    /// missing), then writes it back whole. Always true.
    bool ReadSettingsFile();
    /// Writes the edited settings to settings.ini.
    void WriteSettingsFile();
    /// Driver, both audio device names, sample rate, buffer size and the four channels equal.
    static bool AudioSettingsMatch(const StandaloneSettings& a, const StandaloneSettings& b)
    {
        return app::AudioSettingsMatch(a, b);
    }
    /// Both MIDI device names and both MIDI channels equal.
    static bool MidiSettingsMatch(const StandaloneSettings& a, const StandaloneSettings& b)
    {
        return app::MidiSettingsMatch(a, b);
    }

    // ---- Audio.

    /// Stops and deletes the audio layer, then (unless input and output are disabled) makes a
    /// new DirectSound one.
    void SelectAudioDriver();
    /// Lists the devices of each direction and the defaults.
    void ScanAudioDevices();
    /// The name a device is shown and saved with.
    void GetAudioDeviceName(uint32_t id, HeapString& out) const;
    /// The first device of `direction` with that name.
    std::optional<uint32_t> FindAudioDeviceIndex(ChannelDirection direction,
                                                 const char* name) const;
    /// Resolves the edited settings' device names (a name no longer listed becomes the system's
    /// default, and settings.ini is rewritten) and opens the stream. A name that is not listed,
    /// in either direction, with no default in its place (no input device at all, say) shows
    /// "Please check the audio settings", opens nothing and returns false: the program runs on
    /// without audio. True at once while input and output are disabled.
    bool ApplyAudioSettings();
    /// Stops the stream that runs, then opens and starts one on these devices (no input device:
    /// output only). The plug-in is prepared for the rate first. True when the stream runs; the
    /// edited settings are then the active ones. False, with nothing prepared, once the audio
    /// layer has given up a stream.
    bool OpenAudioStream(std::optional<uint32_t> inputId,
                         uint32_t outputId,
                         uint32_t sampleRate,
                         uint32_t bufferFrames);
    /// Fades the running stream out (waiting at most a few of its buffers for it), aborts and
    /// closes it. Nothing without a stream.
    void StopAudioStream();
    /// [audio-thread] The stream callback, with the host as `user`. Always 0.
    static int AudioStreamCallback(void* output,
                                   void* input,
                                   unsigned int frames,
                                   double streamTime,
                                   unsigned int status,
                                   void* user);

    // ---- MIDI.

    /// Makes both MIDI port objects and installs the input callback (SysEx and active sensing
    /// pass, timing clock is dropped). False when either could not be made. True, with nothing
    /// made, while input and output are disabled.
    bool CreateMidiPorts();
    /// "off" and the port names of each direction; nothing unless both objects exist.
    void ScanMidiPorts();
    /// 0 for "off", the 1-based list position of the port of that name, -1 when none.
    int FindMidiPortIndex(ChannelDirection direction, const char* name);
    /// Opens the port of that name in place of the open one; a name no longer present becomes
    /// "off" in the edited settings and settings.ini is rewritten. False without the port
    /// object of that direction (the name then stays).
    bool SelectMidiPort(ChannelDirection direction, const char* name);
    /// [midi-input-thread] The input callback, with the host as `user`: the message goes to the
    /// plug-in's queues unless the host is exiting.
    static void MidiInputCallback(double timeStamp, const uint8_t* bytes, size_t size, void* user);

    // ---- Editor.

    /// Opens the plug-in's editor inside `parent`; true when it made a view.
    bool OpenEditor(void* parent);
    void CloseEditor();

    // ---- State.

    IPluginApp* GetPlugin() const { return mPlugin; }
    IAudioDevices* GetAudioDevices() const { return mAudio.get(); }
    const AudioDeviceDirectory& GetAudioDirectory() const { return mDirectory; }
    IMidiInput* GetMidiInput() const { return mMidiInput.get(); }
    IMidiOutput* GetMidiOutput() const { return mMidiOutput.get(); }
    const MidiPortList& GetMidiPortNames(ChannelDirection direction) const
    {
        return direction == kInput ? mMidiInputNames : mMidiOutputNames;
    }

    /// The set read from the file, changed by the Preferences dialog, used to open devices.
    StandaloneSettings& GetSettings() { return mSettings; }
    /// The copy taken when Preferences opens, restored by Cancel.
    StandaloneSettings& GetSavedSettings() { return mSavedSettings; }
    /// The last set that opened a stream.
    const StandaloneSettings& GetActiveSettings() const { return mActiveSettings; }

    /// Disables audio and MIDI ("--no-io").
    void SetNoIO(bool noIO) { mNoIO = noIO; }
    bool GetNoIO() const { return mNoIO; }
    /// A non-empty path is the screenshot mode, which also runs without audio and MIDI.
    void SetScreenshotPath(const char* path) { mScreenshotPath.Set(path); }
    const char* GetScreenshotPath() const { return mScreenshotPath.Get(); }

    /// The rate and the device's buffer frames of the last stream opened.
    double GetSampleRate() const { return mSampleRate; }
    uint32_t GetBufferFrames() const { return mBufferFrames; }
    bool IsExiting() const { return mExiting.load(std::memory_order_acquire); }
    /// The stream's side of the plug-in: its fade and stop state.
    const AudioCallback& GetAudioCallback() const { return mCallback; }

private:
    explicit StandaloneHost(IStandalonePlatform& platform);

    /// No-I/O or screenshot mode: no device is made or opened.
    bool IsDeviceless() const { return mNoIO || !mScreenshotPath.IsEmpty(); }
    /// The port object of that direction; null while there is none.
    IMidiPorts* MidiPorts(ChannelDirection direction) const;
    /// Resolves one direction's saved name: the device, the default in its place, or none.
    std::optional<uint32_t>
    ResolveAudioDevice(ChannelDirection direction, bool& rewrite, bool& error);

    IStandalonePlatform& mPlatform;
    IPluginApp* mPlugin = nullptr;
    std::unique_ptr<IAudioDevices> mAudio;
    std::unique_ptr<IMidiInput> mMidiInput;
    std::unique_ptr<IMidiOutput> mMidiOutput;
    StandaloneSettings mSettings;
    StandaloneSettings mSavedSettings;
    StandaloneSettings mActiveSettings;
    double mSampleRate = 44100.0;
    uint32_t mBufferFrames = 512;
    AudioCallback mCallback;
    std::atomic<bool> mExiting{false};
    bool mNoIO = false;
    HeapString mScreenshotPath;
    AudioDeviceDirectory mDirectory;
    MidiPortList mMidiInputNames;
    MidiPortList mMidiOutputNames;
};

} // namespace plugkit::app
