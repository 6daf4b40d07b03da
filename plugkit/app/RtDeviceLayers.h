#pragma once

#include "plugkit/app/AudioDevices.h"
#include "plugkit/app/MidiPorts.h"

#include <chrono>
#include <memory>
#include <vector>

class RtAudio;
class RtMidiIn;
class RtMidiOut;

namespace plugkit::app
{

/// The device list over RtAudio's DirectSound back end. Every RtAudio call is caught: its
/// errors, thrown or reported, become false results and text on the standard error stream.
/// Stopping and closing the stream take at most kStopLimit each: a layer whose stream does not
/// stop in that time is given up (every later call finds no device and no stream), and its
/// stream, should its thread ever resume, never reaches the callback it was opened with.
class RtAudioDevices : public IAudioDevices
{
public:
    static constexpr std::chrono::milliseconds kStopLimit{1000};

    /// Null when RtAudio could not be made.
    static std::unique_ptr<RtAudioDevices> Create();
    ~RtAudioDevices() override;

    uint32_t DeviceCount() override;
    bool GetDeviceInfo(uint32_t id, AudioDeviceInfo& info) override;
    bool OpenStream(const AudioStreamSpec& spec,
                    uint32_t& bufferFrames,
                    AudioStreamFunc func,
                    void* user) override;
    bool StartStream() override;
    void AbortStream() override;
    void CloseStream() override;
    bool IsStreamOpen() override;
    bool IsStreamRunning() override;
    bool IsUsable() override { return mAudio != nullptr; }

    /// RtAudio's error callback: "\nerrorCallback: ", the text and "\n\n" to the standard error
    /// stream.
    static void AudioErrorCallback(const char* text);

private:
    RtAudioDevices(std::unique_ptr<RtAudio> audio, std::unique_ptr<StreamCallbackGate> gate);
    /// `call` within kStopLimit, or the layer is given up.
    void CallBounded(void (*call)(RtAudio&));

    std::unique_ptr<RtAudio> mAudio;
    /// RtAudio's callback and user data: the stream reaches the program only through it. Left
    /// alive with a given-up RtAudio object, whose thread may still call it.
    std::unique_ptr<StreamCallbackGate> mGate;
};

/// The ports of one MIDI direction over RtMidi's Windows multimedia back end (`Midi` is RtMidiIn
/// or RtMidiOut), errors caught as above.
template <typename Midi, typename Base>
class RtMidiPorts : public Base
{
public:
    ~RtMidiPorts() override;

    uint32_t PortCount() override;
    bool GetPortName(uint32_t port, HeapString& out) override;
    bool OpenPort(uint32_t port, const char* clientPortName) override;
    void ClosePort() override;

protected:
    explicit RtMidiPorts(std::unique_ptr<Midi> midi);
    std::unique_ptr<Midi> mMidi;
};

/// The MIDI input ports.
class RtMidiInputPorts : public RtMidiPorts<RtMidiIn, IMidiInput>
{
public:
    /// Client "RtMidi Input Client", a queue of 100 messages; null when it could not be made.
    static std::unique_ptr<RtMidiInputPorts> Create();

    void SetCallback(MidiInputFunc func, void* user) override;
    void CancelCallback() override;
    void IgnoreTypes(bool sysEx, bool timing, bool activeSensing) override;

private:
    using RtMidiPorts::RtMidiPorts;
    static void Forward(double timeStamp, std::vector<unsigned char>* message, void* self);

    MidiInputFunc mFunc = nullptr;
    void* mUser = nullptr;
};

/// The MIDI output ports.
class RtMidiOutputPorts : public RtMidiPorts<RtMidiOut, IMidiOutput>
{
public:
    /// Client "RtMidi Output Client"; null when it could not be made.
    static std::unique_ptr<RtMidiOutputPorts> Create();

    bool SendBytes(const uint8_t* bytes, size_t size) override;

private:
    using RtMidiPorts::RtMidiPorts;
};

} // namespace plugkit::app
