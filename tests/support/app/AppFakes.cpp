#include "tests/support/app/AppFakes.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace lumenfall::test
{

using namespace plugkit;
using namespace plugkit::app;

PluginConfig ProbeConfig()
{
    PluginConfig c;
    c.mNParams = 2;
    c.mNPresets = 1;
    c.mChannelIO = "1-1 2-2";
    c.mPluginName = "PROBE";
    c.mProductName = "PROBE";
    c.mMakerName = "TESSALINE";
    c.mVersion = 0x010203;
    c.mHasUI = true;
    c.mEditorWidth = 1100;
    c.mEditorHeight = 760;
    return c;
}

ProbePlugin::ProbePlugin(StandaloneHost* host, const PluginConfig& config)
    : IPluginApp(config, host)
    , mInput0(1 << 16)
{
    GetParam(0)->InitDouble("Gain", 0.0, -60.0, 0.0, 0.01);
    GetParam(1)->InitDouble("Mix", 50.0, 0.0, 100.0, 0.01);
}

void ProbePlugin::ProcessBlock(float** inputs, float** outputs, int nFrames)
{
    const int block = mBlocks.load(std::memory_order_relaxed);
    if (block < kMaxRecords)
        mBlockFrames[size_t(block)] = nFrames;
    mMaxFrames.store(std::max(mMaxFrames.load(std::memory_order_relaxed), nFrames),
                     std::memory_order_relaxed);
    const int have = mInput0Size.load(std::memory_order_relaxed);
    const int take = std::min(nFrames, static_cast<int>(mInput0.size()) - have);
    if (take > 0 && NChannels(kInput) > 0)
    {
        std::copy(inputs[0], inputs[0] + take, mInput0.begin() + have);
        mInput0Size.store(have + take, std::memory_order_relaxed);
    }
    for (int c = 0; c < NChannels(kOutput); ++c)
        for (int k = 0; k < nFrames; ++k)
            outputs[c][k] = mOutput == Output::Ones ? 1.0f : inputs[c][k];
    mBlocks.store(block + 1, std::memory_order_release);
}

void ProbePlugin::ProcessMidiMsg(const MidiMessage& msg)
{
    const int sequence = msg.mData1 << 7 | msg.mData2;
    if (sequence <= mLastMidiSequence)
        mMidiOutOfOrder.store(true, std::memory_order_relaxed);
    mLastMidiSequence = sequence;
    mMidiTotal.fetch_add(1, std::memory_order_relaxed);
    const int n = mMidiCount.load(std::memory_order_relaxed);
    if (n < static_cast<int>(mMidi.size()))
    {
        mMidi[size_t(n)] = msg;
        mMidiBlock[size_t(n)] = mBlocks.load(std::memory_order_relaxed);
        mMidiCount.store(n + 1, std::memory_order_release);
    }
}

void ProbePlugin::ProcessSysEx(const SysExMessage& msg)
{
    const int n = mSysExCount.load(std::memory_order_relaxed);
    if (n < static_cast<int>(mSysExSizes.size()))
        mSysExSizes[size_t(n)] = msg.mSize;
    std::memcpy(mLastSysEx.data(), msg.mData, size_t(msg.mSize));
    mSysExCount.store(n + 1, std::memory_order_release);
}

void ProbePlugin::SendParameterValueFromDelegate(int paramIdx, double value, bool normalized)
{
    mUiEvents.push_back("param " + std::to_string(paramIdx));
    IPluginApp::SendParameterValueFromDelegate(paramIdx, value, normalized);
}

void ProbePlugin::OnMidiMsgUI(const MidiMessage& msg)
{
    mUiEvents.push_back("midi " + std::to_string(msg.mData1));
}

void ProbePlugin::OnSysexMsgUI(const SysExMessage& msg)
{
    mUiEvents.push_back("sysex " + std::to_string(msg.mSize));
}

ProbePlugin& Probe(StandaloneHost& host)
{
    return *static_cast<ProbePlugin*>(host.GetPlugin());
}

// ---- Audio

FakeAudioDevices::FakeAudioDevices(std::vector<Device> devices)
    : mDevices(std::move(devices))
{
}

FakeAudioDevices::~FakeAudioDevices()
{
    StopThread();
}

bool FakeAudioDevices::GetDeviceInfo(uint32_t id, AudioDeviceInfo& info)
{
    if (id >= mDevices.size())
        return false;
    const Device& d = mDevices[id];
    info.mName.Set(d.name.c_str());
    info.mInputChannels = d.inputs;
    info.mOutputChannels = d.outputs;
    info.mIsDefaultInput = d.defaultInput;
    info.mIsDefaultOutput = d.defaultOutput;
    info.mNumSampleRates = 0;
    for (uint32_t rate : d.rates)
        if (info.mNumSampleRates < AudioDeviceInfo::kMaxSampleRates)
            info.mSampleRates[info.mNumSampleRates++] = rate;
    return true;
}

bool FakeAudioDevices::OpenStream(const AudioStreamSpec& spec,
                                  uint32_t& bufferFrames,
                                  AudioStreamFunc func,
                                  void* user)
{
    ++mOpens;
    if (mFailOpen || mOpen || mGivenUp)
        return false;
    if (mDeviceBufferFrames)
        bufferFrames = mDeviceBufferFrames;
    mSpec = spec;
    mBufferFrames = bufferFrames;
    mFunc = func;
    mUser = user;
    mOpen = true;
    return true;
}

bool FakeAudioDevices::StartStream()
{
    if (!mOpen)
        return false;
    mRunning = true;
    if (mThreaded)
    {
        mThreadRun.store(true);
        mThread = std::thread(
            [this]
            {
                const uint32_t n = mBufferFrames;
                std::vector<double> in(size_t(n) * mSpec.mInputChannels, 0.5);
                std::vector<double> out(size_t(n) * mSpec.mOutputChannels, 0.0);
                while (mThreadRun.load())
                {
                    std::fill(in.begin(), in.end(), 0.5);
                    mFunc(out.data(), mSpec.mInputDevice ? in.data() : nullptr, n, 0.0, 0, mUser);
                    mCallbacks.fetch_add(1);
                    const bool silent =
                        std::all_of(out.begin(), out.end(), [](double v) { return v == 0.0; });
                    if (mSawFadeOut.load() && !silent)
                        mSoundAfterFadeOut.store(true);
                    if (out[0] == double(n - 1) / n && out[n - 1] == 0.0)
                        mSawFadeOut.store(true);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
            });
    }
    return true;
}

void FakeAudioDevices::StopThread()
{
    mThreadRun.store(false);
    if (mThread.joinable())
        mThread.join();
}

void FakeAudioDevices::AbortStream()
{
    ++mAborts;
    StopThread();
    mRunning = false;
    if (mHangOnAbort)
    {
        mGivenUp = true;
        mOpen = false;
    }
}

void FakeAudioDevices::CloseStream()
{
    StopThread();
    mRunning = false;
    mOpen = false;
}

std::vector<double> FakeAudioDevices::Deliver(uint32_t frames, double inputValue)
{
    std::vector<double> in(size_t(frames) * mSpec.mInputChannels, inputValue);
    std::vector<double> out(size_t(frames) * mSpec.mOutputChannels, -7.0);
    mFunc(out.data(), mSpec.mInputDevice ? in.data() : nullptr, frames, 0.0, 0, mUser);
    return out;
}

// ---- MIDI

FakeMidiInput::~FakeMidiInput()
{
    mSending.store(false);
    if (mSender.joinable())
        mSender.join();
}

void FakeMidiInput::SetCallback(MidiInputFunc func, void* user)
{
    std::lock_guard<std::mutex> lock(mCallbackLock);
    mFunc = func;
    mUser = user;
}

void FakeMidiInput::CancelCallback()
{
    if (mOnCancel)
        mOnCancel();
    std::lock_guard<std::mutex> lock(mCallbackLock);
    mFunc = nullptr;
    mUser = nullptr;
}

void FakeMidiInput::StartSending(std::vector<uint8_t> bytes)
{
    mSending.store(true);
    mSender = std::thread(
        [this, bytes]
        {
            while (mSending.load())
            {
                Deliver(bytes);
                mDelivered.fetch_add(1);
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
}

void FakeMidiInput::IgnoreTypes(bool sysEx, bool timing, bool activeSensing)
{
    mIgnoreSysEx = sysEx;
    mIgnoreTiming = timing;
    mIgnoreSensing = activeSensing;
}

void FakeMidiInput::Deliver(const std::vector<uint8_t>& bytes)
{
    if (!bytes.empty())
    {
        const uint8_t status = bytes[0];
        if ((status == 0xF0 && mIgnoreSysEx) ||
            ((status == 0xF8 || status == 0xF1) && mIgnoreTiming) ||
            (status == 0xFE && mIgnoreSensing))
            return;
    }
    std::lock_guard<std::mutex> lock(mCallbackLock);
    if (mFunc)
        mFunc(0.0, bytes.data(), bytes.size(), mUser);
}

bool FakeMidiOutput::SendBytes(const uint8_t* bytes, size_t size)
{
    if (mOpenPort < 0)
        return false;
    mSent.emplace_back(bytes, bytes + size);
    return true;
}

// ---- Settings

bool FakeSettingsStore::ReadText(const char* section, const char* key, HeapString& out)
{
    const auto s = mKeys.find(section);
    if (s == mKeys.end())
        return false;
    const auto k = s->second.find(key);
    if (k == s->second.end())
        return false;
    out.Set(k->second.c_str());
    return true;
}

bool FakeSettingsStore::WriteText(const char* section, const char* key, const char* value)
{
    mKeys[section][key] = value;
    mWrites.push_back(std::string(section) + "/" + key);
    mExists = true;
    return true;
}

std::string FakeSettingsStore::Get(const std::string& section, const std::string& key) const
{
    const auto s = mKeys.find(section);
    if (s == mKeys.end())
        return "";
    const auto k = s->second.find(key);
    return k == s->second.end() ? "" : k->second;
}

// ---- Platform

std::unique_ptr<IAudioDevices> FakePlatform::CreateAudioDevices()
{
    auto audio = std::make_unique<FakeAudioDevices>(mDevices);
    audio->mThreaded = mThreadedAudio;
    audio->mDeviceBufferFrames = mDeviceBufferFrames;
    mAudio = audio.get();
    ++mAudioCreated;
    return audio;
}

std::unique_ptr<IMidiInput> FakePlatform::CreateMidiInput()
{
    if (mFailMidiInput)
    {
        mMidiInput = nullptr;
        return nullptr;
    }
    auto ports = std::make_unique<FakeMidiInput>(mMidiInputNames);
    mMidiInput = ports.get();
    return ports;
}

std::unique_ptr<IMidiOutput> FakePlatform::CreateMidiOutput()
{
    auto ports = std::make_unique<FakeMidiOutput>(mMidiOutputNames);
    mMidiOutput = ports.get();
    return ports;
}

const std::vector<std::pair<std::string, std::string>> kDefaultSettingsFile = {
    {"audio/driver", "0"},
    {"audio/indev", "Default Device"},
    {"audio/outdev", "Default Device"},
    {"audio/in1", "1"},
    {"audio/in2", "2"},
    {"audio/out1", "1"},
    {"audio/out2", "2"},
    {"audio/buffer", "512"},
    {"audio/sr", "44100"},
    {"midi/indev", "off"},
    {"midi/outdev", "off"},
    {"midi/inchan", "0"},
    {"midi/outchan", "0"},
};

void AddTypicalDevices(FakePlatform& platform)
{
    platform.mDevices = {
        {"Default Device", 2, 2, true, true},
        {"Out: Speakers (USB)", 0, 2, false, false},
        {"In: Line In", 2, 0, false, false},
    };
    platform.mMidiInputNames = {"Keys"};
    platform.mMidiOutputNames = {"Synth"};
}

} // namespace lumenfall::test
