#include "plugkit/app/RtDeviceLayers.h"

#include "plugkit/app/BoundedCall.h"

#include <RtAudio.h>
#include <RtMidi.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>

namespace plugkit::app
{

namespace
{

constexpr const char* kMidiInputClient = "RtMidi Input Client";
constexpr const char* kMidiOutputClient = "RtMidi Output Client";
constexpr unsigned int kMidiInputQueueLimit = 100;

void AudioErrorCallbackForRtAudio(RtAudioError::Type, const std::string& text)
{
    RtAudioDevices::AudioErrorCallback(text.c_str());
}

/// RtMidi's own printing of an error, which its errors otherwise throw after.
void PrintMidiError(const char* text)
{
    std::fprintf(stderr, "\n%s\n\n", text);
    std::fflush(stderr);
}

void MidiErrorCallback(RtMidiError::Type, const std::string& text, void*)
{
    PrintMidiError(text.c_str());
}

/// Runs `call` with every exception caught: RtAudio's and RtMidi's errors are printed, anything
/// else (such as memory running out inside the library) is only swallowed. False when it threw.
template <typename F>
bool Guarded(F&& call)
{
    try
    {
        call();
        return true;
    }
    catch (const RtAudioError& e)
    {
        RtAudioDevices::AudioErrorCallback(e.what());
    }
    catch (const RtMidiError& e)
    {
        PrintMidiError(e.what());
    }
    catch (...)
    {
    }
    return false;
}

} // namespace

// ---- Audio

void RtAudioDevices::AudioErrorCallback(const char* text)
{
    std::fprintf(stderr, "\nerrorCallback: %s\n\n", text ? text : "");
    std::fflush(stderr);
}

RtAudioDevices::RtAudioDevices(std::unique_ptr<RtAudio> audio,
                               std::unique_ptr<StreamCallbackGate> gate)
    : mAudio(std::move(audio))
    , mGate(std::move(gate))
{
}

RtAudioDevices::~RtAudioDevices()
{
    // RtAudio's destructor closes a stream that is still open, which may not come back either.
    if (IsStreamOpen())
        CloseStream();
    Guarded([&] { mAudio.reset(); });
}

std::unique_ptr<RtAudioDevices> RtAudioDevices::Create()
{
    std::unique_ptr<RtAudio> audio;
    if (!Guarded([&] { audio = std::make_unique<RtAudio>(RtAudio::WINDOWS_DS); }))
        return nullptr;
    // Warnings (a device that cannot be probed) are printed by the caller's failure path only.
    Guarded([&] { audio->showWarnings(false); });
    std::unique_ptr<StreamCallbackGate> gate(new (std::nothrow) StreamCallbackGate);
    if (!gate)
        return nullptr;
    return std::unique_ptr<RtAudioDevices>(new (std::nothrow)
                                               RtAudioDevices(std::move(audio), std::move(gate)));
}

uint32_t RtAudioDevices::DeviceCount()
{
    unsigned int count = 0;
    Guarded([&] { count = mAudio ? mAudio->getDeviceCount() : 0; });
    return count;
}

bool RtAudioDevices::GetDeviceInfo(uint32_t id, AudioDeviceInfo& info)
{
    RtAudio::DeviceInfo rt;
    if (!mAudio || !Guarded([&] { rt = mAudio->getDeviceInfo(id); }) || !rt.probed)
        return false;
    info.mName.Set(rt.name.c_str());
    info.mOutputChannels = rt.outputChannels;
    info.mInputChannels = rt.inputChannels;
    info.mIsDefaultOutput = rt.isDefaultOutput;
    info.mIsDefaultInput = rt.isDefaultInput;
    info.mNumSampleRates =
        static_cast<int>(std::min<size_t>(rt.sampleRates.size(), AudioDeviceInfo::kMaxSampleRates));
    for (int i = 0; i < info.mNumSampleRates; ++i)
        info.mSampleRates[i] = rt.sampleRates[size_t(i)];
    return true;
}

bool RtAudioDevices::OpenStream(const AudioStreamSpec& spec,
                                uint32_t& bufferFrames,
                                AudioStreamFunc func,
                                void* user)
{
    if (!mAudio)
        return false;
    RtAudio::StreamParameters output;
    output.deviceId = spec.mOutputDevice;
    output.nChannels = spec.mOutputChannels;
    output.firstChannel = 0;
    RtAudio::StreamParameters input;
    if (spec.mInputDevice)
    {
        input.deviceId = *spec.mInputDevice;
        input.nChannels = spec.mInputChannels;
        input.firstChannel = 0;
    }
    RtAudio::StreamOptions options;
    options.flags = RTAUDIO_NONINTERLEAVED;
    unsigned int frames = bufferFrames;
    mGate->Connect(func, user, spec.mOutputChannels);
    Guarded(
        [&]
        {
            mAudio->openStream(&output,
                               spec.mInputDevice ? &input : nullptr,
                               RTAUDIO_FLOAT64,
                               spec.mSampleRate,
                               &frames,
                               &StreamCallbackGate::Forward,
                               mGate.get(),
                               &options,
                               &AudioErrorCallbackForRtAudio);
        });
    if (!IsStreamOpen())
        return false;
    bufferFrames = frames;
    return true;
}

bool RtAudioDevices::StartStream()
{
    if (mAudio)
        Guarded([&] { mAudio->startStream(); });
    return IsStreamRunning();
}

void RtAudioDevices::AbortStream()
{
    CallBounded([](RtAudio& audio) { audio.abortStream(); });
}

void RtAudioDevices::CloseStream()
{
    CallBounded([](RtAudio& audio) { audio.closeStream(); });
}

void RtAudioDevices::CallBounded(void (*call)(RtAudio&))
{
    if (!mAudio)
        return;
    // RtAudio's DirectSound stream starts by waiting, under the lock that stopping takes too,
    // until both devices' positions move; a device that never moves (Wine's DirectSound does
    // this now and then) keeps it there for good. Stopping and closing are therefore given a
    // time; a layer that does not come back is given up, and the RtAudio object is left alive
    // for its own threads. The program goes on without audio until a driver is selected again.
    RtAudio* audio = mAudio.get();
    if (CallWithin(kStopLimit, [audio, call] { Guarded([&] { call(*audio); }); }))
        return;
    // Its thread may resume at any time, alongside the UI thread or after the program's host is
    // gone: it finds the gate shut, and the gate stays alive with it.
    mGate->Disconnect();
    (void)mGate.release();
    (void)mAudio.release();
    AudioErrorCallback("the audio device did not stop in time and is no longer used");
}

bool RtAudioDevices::IsStreamOpen()
{
    bool open = false;
    Guarded([&] { open = mAudio && mAudio->isStreamOpen(); });
    return open;
}

bool RtAudioDevices::IsStreamRunning()
{
    bool running = false;
    Guarded([&] { running = mAudio && mAudio->isStreamRunning(); });
    return running;
}

// ---- MIDI

namespace
{

/// Makes an RtMidi object whose later errors go to MidiErrorCallback instead of being thrown.
template <typename Midi, typename... Args>
std::unique_ptr<Midi> MakeMidi(Args... args)
{
    std::unique_ptr<Midi> midi;
    if (!Guarded([&] { midi = std::make_unique<Midi>(RtMidi::UNSPECIFIED, args...); }))
        return nullptr;
    Guarded([&] { midi->setErrorCallback(&MidiErrorCallback, nullptr); });
    return midi;
}

} // namespace

template <typename Midi, typename Base>
RtMidiPorts<Midi, Base>::RtMidiPorts(std::unique_ptr<Midi> midi)
    : mMidi(std::move(midi))
{
}

template <typename Midi, typename Base>
RtMidiPorts<Midi, Base>::~RtMidiPorts()
{
    // RtMidi's destructor closes an open port; it may report errors too.
    Guarded([&] { mMidi.reset(); });
}

template <typename Midi, typename Base>
uint32_t RtMidiPorts<Midi, Base>::PortCount()
{
    unsigned int count = 0;
    Guarded([&] { count = mMidi->getPortCount(); });
    return count;
}

template <typename Midi, typename Base>
bool RtMidiPorts<Midi, Base>::GetPortName(uint32_t port, HeapString& out)
{
    std::string name;
    if (!Guarded([&] { name = mMidi->getPortName(port); }) || name.empty())
        return false;
    out.Set(name.c_str());
    return true;
}

template <typename Midi, typename Base>
bool RtMidiPorts<Midi, Base>::OpenPort(uint32_t port, const char* clientPortName)
{
    Guarded([&] { mMidi->openPort(port, clientPortName ? clientPortName : ""); });
    bool open = false;
    Guarded([&] { open = mMidi->isPortOpen(); });
    return open;
}

template <typename Midi, typename Base>
void RtMidiPorts<Midi, Base>::ClosePort()
{
    Guarded([&] { mMidi->closePort(); });
}

template class RtMidiPorts<RtMidiIn, IMidiInput>;
template class RtMidiPorts<RtMidiOut, IMidiOutput>;

std::unique_ptr<RtMidiInputPorts> RtMidiInputPorts::Create()
{
    auto midi = MakeMidi<RtMidiIn>(std::string(kMidiInputClient), kMidiInputQueueLimit);
    if (!midi)
        return nullptr;
    return std::unique_ptr<RtMidiInputPorts>(new (std::nothrow) RtMidiInputPorts(std::move(midi)));
}

void RtMidiInputPorts::Forward(double timeStamp, std::vector<unsigned char>* message, void* self)
{
    auto* ports = static_cast<RtMidiInputPorts*>(self);
    if (ports && ports->mFunc && message)
        ports->mFunc(timeStamp, message->data(), message->size(), ports->mUser);
}

void RtMidiInputPorts::SetCallback(MidiInputFunc func, void* user)
{
    mFunc = func;
    mUser = user;
    Guarded([&] { mMidi->setCallback(&Forward, this); });
}

void RtMidiInputPorts::CancelCallback()
{
    Guarded([&] { mMidi->cancelCallback(); });
    mFunc = nullptr;
    mUser = nullptr;
}

void RtMidiInputPorts::IgnoreTypes(bool sysEx, bool timing, bool activeSensing)
{
    Guarded([&] { mMidi->ignoreTypes(sysEx, timing, activeSensing); });
}

std::unique_ptr<RtMidiOutputPorts> RtMidiOutputPorts::Create()
{
    auto midi = MakeMidi<RtMidiOut>(std::string(kMidiOutputClient));
    if (!midi)
        return nullptr;
    return std::unique_ptr<RtMidiOutputPorts>(new (std::nothrow)
                                                  RtMidiOutputPorts(std::move(midi)));
}

bool RtMidiOutputPorts::SendBytes(const uint8_t* bytes, size_t size)
{
    bool open = false;
    Guarded([&] { open = mMidi->isPortOpen(); });
    return open && bytes && size > 0 && Guarded([&] { mMidi->sendMessage(bytes, size); });
}

} // namespace plugkit::app
