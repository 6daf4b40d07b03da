#pragma once

#include "plugkit/app/IPluginApp.h"
#include "plugkit/app/StandaloneHost.h"
#include "plugkit/app/StandalonePlatform.h"

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumenfall::test
{

/// The configuration of the test plug-ins: the product's channel layouts and two parameters.
plugkit::PluginConfig ProbeConfig();

/// A plug-in that records what reaches it. The audio-thread records go into storage sized at
/// construction, so the audio path can be checked for allocations.
class ProbePlugin : public plugkit::IPluginApp
{
public:
    static constexpr int kMaxRecords = 4096;

    enum class Output
    {
        CopyInput, ///< output c = input c
        Ones,      ///< every output sample 1.0
        Count
    };

    explicit ProbePlugin(plugkit::app::StandaloneHost* host,
                         const plugkit::PluginConfig& config = ProbeConfig());

    void ProcessBlock(float** inputs, float** outputs, int nFrames) override;
    void ProcessMidiMsg(const plugkit::MidiMessage& msg) override;
    void ProcessSysEx(const plugkit::SysExMessage& msg) override;
    void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) override;
    void OnMidiMsgUI(const plugkit::MidiMessage& msg) override;
    void OnSysexMsgUI(const plugkit::SysExMessage& msg) override;
    void OnReset() override { ++mResets; }

    /// Lets a test send a parameter change the way a processor does.
    using plugkit::IPluginApiBase::SendParameterValueFromAPI;

    Output mOutput = Output::CopyInput;

    // Audio thread.
    std::atomic<int> mBlocks{0};
    std::atomic<int> mMaxFrames{0};
    std::array<int, kMaxRecords> mBlockFrames{};
    /// Input channel 0 as the plug-in saw it, block after block (as long as it fits).
    std::vector<float> mInput0;
    std::atomic<int> mInput0Size{0};
    std::array<plugkit::MidiMessage, 64> mMidi{};
    /// Block count when each message arrived.
    std::array<int, 64> mMidiBlock{};
    std::atomic<int> mMidiCount{0};
    /// Every short message, and whether each carried (in its data bytes) a higher sequence
    /// number than the one before.
    std::atomic<int> mMidiTotal{0};
    int mLastMidiSequence = -1;
    std::atomic<bool> mMidiOutOfOrder{false};
    std::array<int, 8> mSysExSizes{};
    std::atomic<int> mSysExCount{0};
    std::array<uint8_t, plugkit::SysExQueueEntry::kMaxBytes> mLastSysEx{};

    // UI thread: "param <idx>", "midi <data1>", "sysex <size>", in order.
    std::vector<std::string> mUiEvents;
    int mResets = 0;
};

/// The last host's plug-in, as the probe it is.
ProbePlugin& Probe(plugkit::app::StandaloneHost& host);

/// The audio layer: devices as the test lists them and one stream. `StartStream` runs it on a
/// thread of its own when `threaded`, calling back with `bufferFrames`-frame buffers of
/// `inputValue` until stopped; otherwise the test delivers buffers with `Deliver`.
class FakeAudioDevices : public plugkit::app::IAudioDevices
{
public:
    struct Device
    {
        std::string name;
        uint32_t inputs = 0;
        uint32_t outputs = 0;
        bool defaultInput = false;
        bool defaultOutput = false;
        std::vector<uint32_t> rates = {44100, 48000};
    };

    explicit FakeAudioDevices(std::vector<Device> devices);
    ~FakeAudioDevices() override;

    uint32_t DeviceCount() override { return static_cast<uint32_t>(mDevices.size()); }
    bool GetDeviceInfo(uint32_t id, plugkit::app::AudioDeviceInfo& info) override;
    bool OpenStream(const plugkit::app::AudioStreamSpec& spec,
                    uint32_t& bufferFrames,
                    plugkit::app::AudioStreamFunc func,
                    void* user) override;
    bool StartStream() override;
    void AbortStream() override;
    void CloseStream() override;
    bool IsStreamOpen() override { return mOpen; }
    bool IsStreamRunning() override { return mRunning; }
    bool IsUsable() override { return !mGivenUp; }

    /// One buffer through the callback, as the device would call it; returns the output.
    std::vector<double> Deliver(uint32_t frames, double inputValue = 1.0);

    std::vector<Device> mDevices;
    bool mThreaded = false;
    bool mFailOpen = false;
    /// The stream does not stop when aborted: the layer gives it up, with its callback, which
    /// `Deliver` can still call as a thread that resumes would.
    bool mHangOnAbort = false;
    bool mGivenUp = false;
    /// What the device makes of the requested buffer frames (0: the request).
    uint32_t mDeviceBufferFrames = 0;
    plugkit::app::AudioStreamSpec mSpec;
    uint32_t mBufferFrames = 0;
    int mOpens = 0;
    int mAborts = 0;
    /// Buffers delivered by the thread.
    std::atomic<int> mCallbacks{0};
    /// The thread saw a buffer ramp from (n - 1) / n down to 0 (with the plug-in writing 1.0).
    std::atomic<bool> mSawFadeOut{false};
    /// The thread saw sound after that buffer.
    std::atomic<bool> mSoundAfterFadeOut{false};

private:
    void StopThread();

    plugkit::app::AudioStreamFunc mFunc = nullptr;
    void* mUser = nullptr;
    bool mOpen = false;
    bool mRunning = false;
    std::atomic<bool> mThreadRun{false};
    std::thread mThread;
};

/// One direction of MIDI ports with the names the test lists.
template <typename Base>
class FakeMidiPorts : public Base
{
public:
    explicit FakeMidiPorts(std::vector<std::string> names)
        : mNames(std::move(names))
    {
    }
    uint32_t PortCount() override { return static_cast<uint32_t>(mNames.size()); }
    bool GetPortName(uint32_t port, plugkit::HeapString& out) override
    {
        if (port >= mNames.size())
            return false;
        out.Set(mNames[port].c_str());
        return true;
    }
    bool OpenPort(uint32_t port, const char* clientPortName) override
    {
        mOpenPort = static_cast<int>(port);
        mClientPortName = clientPortName;
        return true;
    }
    void ClosePort() override { mOpenPort = -1; }

    std::vector<std::string> mNames;
    int mOpenPort = -1;
    std::string mClientPortName;
};

/// The input direction. As a real layer, it calls back on a thread of its own once `StartSending`
/// runs it, and CancelCallback returns only when no callback runs any more.
class FakeMidiInput : public FakeMidiPorts<plugkit::app::IMidiInput>
{
public:
    using FakeMidiPorts::FakeMidiPorts;
    ~FakeMidiInput() override;
    void SetCallback(plugkit::app::MidiInputFunc func, void* user) override;
    void CancelCallback() override;
    void IgnoreTypes(bool sysEx, bool timing, bool activeSensing) override;
    /// One message through the callback, as the layer would deliver it (dropping what the
    /// ignore settings drop).
    void Deliver(const std::vector<uint8_t>& bytes);
    /// Delivers `bytes` again and again from the layer's own thread until the object goes.
    void StartSending(std::vector<uint8_t> bytes);

    /// Runs at the start of CancelCallback, while the callback is still installed.
    std::function<void()> mOnCancel;
    bool mIgnoreSysEx = true;
    bool mIgnoreTiming = true;
    bool mIgnoreSensing = true;
    /// Messages the sending thread has delivered.
    std::atomic<int> mDelivered{0};

private:
    std::mutex mCallbackLock; ///< held while the callback runs or changes
    plugkit::app::MidiInputFunc mFunc = nullptr;
    void* mUser = nullptr;
    std::atomic<bool> mSending{false};
    std::thread mSender;
};

class FakeMidiOutput : public FakeMidiPorts<plugkit::app::IMidiOutput>
{
public:
    using FakeMidiPorts::FakeMidiPorts;
    bool SendBytes(const uint8_t* bytes, size_t size) override;
    std::vector<std::vector<uint8_t>> mSent;
};

/// settings.ini in memory: its keys and the order of the writes.
class FakeSettingsStore : public plugkit::app::ISettingsStore
{
public:
    bool Locate() override
    {
        ++mLocates;
        return mExists;
    }
    bool ReadText(const char* section, const char* key, plugkit::HeapString& out) override;
    bool WriteText(const char* section, const char* key, const char* value) override;

    /// "" when the key is missing.
    std::string Get(const std::string& section, const std::string& key) const;

    bool mExists = false;
    int mLocates = 0;
    std::map<std::string, std::map<std::string, std::string>> mKeys;
    /// "section/key" of each write.
    std::vector<std::string> mWrites;
};

/// Everything the host asks of the system, as fakes the test sets up and inspects.
class FakePlatform : public plugkit::app::IStandalonePlatform
{
public:
    std::unique_ptr<plugkit::app::IAudioDevices> CreateAudioDevices() override;
    std::unique_ptr<plugkit::app::IMidiInput> CreateMidiInput() override;
    std::unique_ptr<plugkit::app::IMidiOutput> CreateMidiOutput() override;
    plugkit::app::ISettingsStore& GetSettingsStore() override { return mStore; }
    void ShowMessage(const char* text, const char* title) override
    {
        mMessages.push_back(std::string(title) + ": " + text);
    }

    // What the next layers are made with.
    std::vector<FakeAudioDevices::Device> mDevices;
    bool mThreadedAudio = false;
    uint32_t mDeviceBufferFrames = 0;
    std::vector<std::string> mMidiInputNames;
    std::vector<std::string> mMidiOutputNames;
    bool mFailMidiInput = false;

    // The last layers made (owned by the host).
    FakeAudioDevices* mAudio = nullptr;
    FakeMidiInput* mMidiInput = nullptr;
    FakeMidiOutput* mMidiOutput = nullptr;
    int mAudioCreated = 0;

    FakeSettingsStore mStore;
    std::vector<std::string> mMessages;
};

/// What settings.ini holds after a first start: "section/key" and value, in the order written.
extern const std::vector<std::pair<std::string, std::string>> kDefaultSettingsFile;

/// The machine most tests run on: a default duplex device and two more, one port of each MIDI
/// direction.
void AddTypicalDevices(FakePlatform& platform);

} // namespace lumenfall::test
