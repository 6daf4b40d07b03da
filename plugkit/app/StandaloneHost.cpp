#include "plugkit/app/StandaloneHost.h"

#include "plugkit/app/IPluginApp.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

namespace plugkit::app
{

StandaloneHost* gStandaloneHost = nullptr;

namespace
{
constexpr auto kStopPollInterval = std::chrono::milliseconds(10);
constexpr const char* kMidiInputPortName = "RtMidi Input";
constexpr const char* kMidiOutputPortName = "RtMidi Output";
} // namespace

StandaloneHost::StandaloneHost(IStandalonePlatform& platform)
    : mPlatform(platform)
{
}

StandaloneHost* StandaloneHost::Create(IStandalonePlatform& platform)
{
    auto* host = new (std::nothrow) StandaloneHost(platform);
    if (!host)
        return nullptr;
    host->mPlugin = CreateStandalonePlugin(host);
    if (!host->mPlugin)
    {
        delete host;
        return nullptr;
    }
    StandaloneHost* previous = gStandaloneHost;
    gStandaloneHost = host;
    delete previous;
    return host;
}

StandaloneHost::~StandaloneHost()
{
    mExiting.store(true, std::memory_order_release);
    StopAudioStream();
    if (mMidiInput)
        mMidiInput->CancelCallback();
    if (mMidiOutput)
        mMidiOutput->ClosePort();
    mMidiOutput.reset();
    mMidiInput.reset();
    mAudio.reset();
    delete mPlugin;
    mPlugin = nullptr;
    if (gStandaloneHost == this)
        gStandaloneHost = nullptr;
}

bool StandaloneHost::Initialize()
{
    mPlugin->SetHost(kHostName, mPlugin->GetVersionNumber(false));
    if (!ReadSettingsFile())
        return false;
    SelectAudioDriver();
    ScanAudioDevices();
    CreateMidiPorts();
    ScanMidiPorts();
    const HeapString midiIn = mSettings.midiInputDevice;
    const HeapString midiOut = mSettings.midiOutputDevice;
    SelectMidiPort(kInput, midiIn.Get());
    SelectMidiPort(kOutput, midiOut.Get());
    mPlugin->OnParamReset(ParamSource::Reset);
    mPlugin->OnActivate(true);
    return true;
}

// ---- Settings file

bool StandaloneHost::ReadSettingsFile()
{
    ISettingsStore& store = mPlatform.GetSettingsStore();
    if (store.Locate())
        ReadSettings(store, mSettings);
    WriteSettingsFile();
    return true;
}

void StandaloneHost::WriteSettingsFile()
{
    WriteSettings(mPlatform.GetSettingsStore(), mSettings);
}

// ---- Audio

void StandaloneHost::SelectAudioDriver()
{
    StopAudioStream();
    mAudio.reset();
    if (IsDeviceless())
        return;
    mSettings.driverType = 0;
    mAudio = mPlatform.CreateAudioDevices();
}

void StandaloneHost::ScanAudioDevices()
{
    mDirectory.Scan(mAudio.get());
}

void StandaloneHost::GetAudioDeviceName(uint32_t id, HeapString& out) const
{
    mDirectory.GetName(id, out);
}

std::optional<uint32_t> StandaloneHost::FindAudioDeviceIndex(ChannelDirection direction,
                                                             const char* name) const
{
    return mDirectory.Find(direction, name);
}

std::optional<uint32_t>
StandaloneHost::ResolveAudioDevice(ChannelDirection direction, bool& rewrite, bool& error)
{
    HeapString& name =
        direction == kInput ? mSettings.audioInputDevice : mSettings.audioOutputDevice;
    if (const auto id = FindAudioDeviceIndex(direction, name.Get()))
        return id;
    const auto fallback = mDirectory.Default(direction);
    if (fallback)
    {
        if (!mDirectory.Ids(direction).empty())
        {
            GetAudioDeviceName(*fallback, name);
            rewrite = true;
        }
        return fallback;
    }
    error = true;
    return std::nullopt;
}

bool StandaloneHost::ApplyAudioSettings()
{
    if (IsDeviceless())
        return true;
    bool rewrite = false;
    bool error = false;
    const auto inputId = ResolveAudioDevice(kInput, rewrite, error);
    const auto outputId = ResolveAudioDevice(kOutput, rewrite, error);
    if (rewrite)
        WriteSettingsFile();
    if (error)
        mPlatform.ShowMessage(kAudioSettingsMessage, kAudioSettingsTitle);
    if (error || !inputId || !outputId)
        return false;
    return OpenAudioStream(inputId, *outputId, mSettings.sampleRate, mSettings.bufferSize);
}

bool StandaloneHost::OpenAudioStream(std::optional<uint32_t> inputId,
                                     uint32_t outputId,
                                     uint32_t sampleRate,
                                     uint32_t bufferFrames)
{
    StopAudioStream();
    // A layer that gave up its last stream may still have that stream's thread: the callback's
    // flags and the plug-in are left as the stop left them.
    if (!mAudio || !mAudio->IsUsable())
        return false;

    mBufferFrames = bufferFrames;
    mSampleRate = sampleRate;
    if (!mCallback.Prepare(mPlugin))
        return false;
    mPlugin->SetBlockSize(IPluginApp::kBlockSize);
    mPlugin->SetSampleRate(sampleRate);
    mPlugin->OnReset();

    AudioStreamSpec spec;
    spec.mOutputDevice = outputId;
    spec.mOutputChannels = static_cast<uint32_t>(mPlugin->NChannels(kOutput));
    if (mPlugin->NChannels(kInput) > 0 && inputId)
    {
        spec.mInputDevice = inputId;
        spec.mInputChannels = static_cast<uint32_t>(mPlugin->NChannels(kInput));
    }
    spec.mSampleRate = sampleRate;
    if (!mAudio->OpenStream(spec, mBufferFrames, &AudioStreamCallback, this))
        return false;
    if (!mAudio->StartStream())
        return false;
    mActiveSettings = mSettings;
    return true;
}

void StandaloneHost::StopAudioStream()
{
    if (!mAudio || !mAudio->IsStreamOpen())
        return;
    if (mAudio->IsStreamRunning())
    {
        // The next callback fades out. A stream that stopped calling back (a device gone) must
        // not hang the program: after a few of its buffers it is aborted as it stands.
        mCallback.RequestStop();
        const double bufferMs = 1000.0 * mBufferFrames / std::max(mSampleRate, 1.0);
        const auto limit = std::chrono::milliseconds(
            std::max(kMinStopWaitMs, static_cast<int>(kStopWaitBuffers * bufferMs + 0.5)));
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!mCallback.IsFadedOut() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(kStopPollInterval);
        mAudio->AbortStream();
    }
    mAudio->CloseStream();
}

int StandaloneHost::AudioStreamCallback(
    void* output, void* input, unsigned int frames, double, unsigned int, void* user)
{
    auto* host = static_cast<StandaloneHost*>(user);
    if (host)
        host->mCallback.Process(static_cast<double*>(output), static_cast<double*>(input), frames);
    return 0;
}

// ---- MIDI

bool StandaloneHost::CreateMidiPorts()
{
    if (IsDeviceless())
        return true;
    if (mMidiInput)
        mMidiInput->CancelCallback();
    mMidiInput = mPlatform.CreateMidiInput();
    if (!mMidiInput)
        return false;
    mMidiOutput = mPlatform.CreateMidiOutput();
    if (!mMidiOutput)
        return false;
    mMidiInput->SetCallback(&MidiInputCallback, this);
    mMidiInput->IgnoreTypes(false, true, false);
    return true;
}

void StandaloneHost::ScanMidiPorts()
{
    if (!mMidiInput || !mMidiOutput)
        return;
    mMidiInputNames.Scan(mMidiInput.get());
    mMidiOutputNames.Scan(mMidiOutput.get());
}

IMidiPorts* StandaloneHost::MidiPorts(ChannelDirection direction) const
{
    if (direction == kInput)
        return mMidiInput.get();
    return mMidiOutput.get();
}

int StandaloneHost::FindMidiPortIndex(ChannelDirection direction, const char* name)
{
    return MidiPortList::FindPortIndex(MidiPorts(direction), name);
}

bool StandaloneHost::SelectMidiPort(ChannelDirection direction, const char* name)
{
    IMidiPorts* ports = MidiPorts(direction);
    if (!ports)
        return false;
    int index = FindMidiPortIndex(direction, name);
    if (index < 0)
    {
        (direction == kInput ? mSettings.midiInputDevice : mSettings.midiOutputDevice)
            .Set(StandaloneSettings::kMidiOff);
        WriteSettingsFile();
        index = 0;
    }
    ports->ClosePort();
    if (index > 0)
        ports->OpenPort(static_cast<uint32_t>(index - 1),
                        direction == kInput ? kMidiInputPortName : kMidiOutputPortName);
    return true;
}

void StandaloneHost::MidiInputCallback(double, const uint8_t* bytes, size_t size, void* user)
{
    auto* host = static_cast<StandaloneHost*>(user);
    if (!host || host->IsExiting() || !host->mPlugin)
        return;
    host->mPlugin->QueueMidiInput(bytes, size);
}

// ---- Editor

bool StandaloneHost::OpenEditor(void* parent)
{
    return mPlugin->OpenWindow(parent) != nullptr;
}

void StandaloneHost::CloseEditor()
{
    mPlugin->CloseWindow();
}

} // namespace plugkit::app
