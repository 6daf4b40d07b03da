#pragma once

#include "plugkit/HeapString.h"
#include "plugkit/IPluginProcessor.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

namespace plugkit::app
{

/// What the audio layer tells about one device.
struct AudioDeviceInfo
{
    static constexpr int kMaxSampleRates = 16;

    HeapString mName; ///< UTF-8, as the system names it
    uint32_t mOutputChannels = 0;
    uint32_t mInputChannels = 0;
    bool mIsDefaultOutput = false;
    bool mIsDefaultInput = false;
    uint32_t mSampleRates[kMaxSampleRates] = {};
    int mNumSampleRates = 0;
};

/// The device stream's callback, in the audio layer's own form: non-interleaved 64-bit buffers
/// (channel c of an n-frame buffer starts at sample c x n); `input` is null for a stream
/// without input. Returns 0 to go on.
using AudioStreamFunc = int (*)(void* output,
                                void* input,
                                unsigned int frames,
                                double streamTime,
                                unsigned int status,
                                void* user);

/// Stands between a device layer's audio thread and the stream callback it was handed, so the
/// layer can cut the stream off from its callback for good while the thread itself cannot be
/// stopped (a layer given up with its thread still alive). Once cut off, the thread's buffers
/// are filled with silence and the callback and its user data are never touched again.
///
/// Threads: `Forward` runs on the layer's one audio thread and neither allocates nor locks;
/// `Connect` and `Disconnect` are the UI thread's.
class StreamCallbackGate
{
public:
    /// [ui-thread & no stream running] From now on `Forward` passes buffers of
    /// `outputChannels` channels to `func` with `user`.
    void Connect(AudioStreamFunc func, void* user, uint32_t outputChannels);
    /// [ui-thread] From its return on, `Forward` calls nothing; a call already in `func` is
    /// waited for.
    void Disconnect();

    /// [audio-thread] The layer's stream callback, with the gate as `gate`: the connected
    /// callback's answer, or 0 with the output zeroed while disconnected.
    static int Forward(void* output,
                       void* input,
                       unsigned int frames,
                       double streamTime,
                       unsigned int status,
                       void* gate);

private:
    std::atomic<AudioStreamFunc> mFunc{nullptr};
    std::atomic<void*> mUser{nullptr};
    std::atomic<uint32_t> mOutputChannels{0};
    std::atomic<bool> mConnected{false};
    /// Calls between their check of mConnected and their return.
    std::atomic<int> mInFlight{0};
};

/// One duplex stream's set-up: both directions start at the device's first channel.
struct AudioStreamSpec
{
    uint32_t mOutputDevice = 0;
    uint32_t mOutputChannels = 0;
    /// No input device: the stream is output-only.
    std::optional<uint32_t> mInputDevice;
    uint32_t mInputChannels = 0;
    uint32_t mSampleRate = 0;
};

/// The system's audio devices and one stream on them (the device list). Devices are numbered
/// 0 .. DeviceCount() - 1. No call throws: a failure is a false or empty result, and its text
/// goes to the standard error stream. UI thread, except the callback.
class IAudioDevices
{
public:
    virtual ~IAudioDevices() = default;

    virtual uint32_t DeviceCount() = 0;
    /// False when the device cannot be asked.
    virtual bool GetDeviceInfo(uint32_t id, AudioDeviceInfo& info) = 0;
    /// Opens a stream of 64-bit non-interleaved samples; `bufferFrames` is the request and
    /// receives what the device chose. False when no stream is open afterwards.
    virtual bool OpenStream(const AudioStreamSpec& spec,
                            uint32_t& bufferFrames,
                            AudioStreamFunc func,
                            void* user) = 0;
    /// False when the stream is not running afterwards.
    virtual bool StartStream() = 0;
    /// Stops at once, without playing what the device still holds.
    virtual void AbortStream() = 0;
    virtual void CloseStream() = 0;
    virtual bool IsStreamOpen() = 0;
    virtual bool IsStreamRunning() = 0;
    /// False once the layer has given up a stream that did not stop: it opens nothing again,
    /// and the program goes on without audio until the layer is made anew.
    virtual bool IsUsable() { return true; }
};

/// The devices of one scan, split by direction, and their names as the program shows and saves
/// them. UI thread.
class AudioDeviceDirectory
{
public:
    /// Lists every device with input channels and every device with output channels, in the
    /// layer's order, and notes the system's defaults. Without a layer the lists are empty.
    void Scan(IAudioDevices* devices);

    const std::vector<uint32_t>& Inputs() const { return mInputs; }
    const std::vector<uint32_t>& Outputs() const { return mOutputs; }
    const std::vector<uint32_t>& Ids(ChannelDirection direction) const
    {
        return direction == kInput ? mInputs : mOutputs;
    }
    std::optional<uint32_t> DefaultInput() const { return mDefaultInput; }
    std::optional<uint32_t> DefaultOutput() const { return mDefaultOutput; }
    std::optional<uint32_t> Default(ChannelDirection direction) const
    {
        return direction == kInput ? mDefaultInput : mDefaultOutput;
    }

    /// The device's name as shown and saved (see ShownDeviceName); empty for an unknown id.
    void GetName(uint32_t id, HeapString& out) const;
    /// What the scan learnt of the device; null for an unknown id.
    const AudioDeviceInfo* GetInfo(uint32_t id) const;
    /// The first device of that direction whose shown name equals `name` byte for byte.
    std::optional<uint32_t> Find(ChannelDirection direction, const char* name) const;

private:
    struct Entry
    {
        uint32_t mId = 0;
        HeapString mShownName;
        AudioDeviceInfo mInfo;
    };

    const Entry* FindEntry(uint32_t id) const;

    std::vector<uint32_t> mInputs;
    std::vector<uint32_t> mOutputs;
    std::vector<Entry> mDevices;
    std::optional<uint32_t> mDefaultInput;
    std::optional<uint32_t> mDefaultOutput;
};

/// A system device name as the program shows and saves it: the text after the first ':' (the
/// whole name when it has none), cut to what settings.ini keeps of a name
/// (StandaloneSettings::kMaxNameBytes, at a character boundary) and with blanks trimmed from both
/// ends. The file gives back only that much of a name, trimmed, so any other form of it would
/// never be found again.
void ShownDeviceName(const char* systemName, HeapString& out);

} // namespace plugkit::app
