// The real RtAudio and RtMidi layers under Wine, on ALSA's null device: the calls the libraries
// answer by throwing (an unknown device, a stream that is not open) or by their error callback
// (no MIDI port) come back as false results with the library's text on the standard error
// stream, never as a crash, and the layer goes on working after them.

#include "plugkit/app/RtDeviceLayers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

using namespace plugkit;
using namespace plugkit::app;

namespace
{

constexpr uint32_t kChannels = 2;

int Silence(void* output, void*, unsigned int frames, double, unsigned int, void* user)
{
    std::memset(output, 0, sizeof(double) * kChannels * frames);
    static_cast<std::atomic<int>*>(user)->fetch_add(1);
    return 0;
}

/// What `call` printed on the standard error stream.
template <typename F>
std::string ErrorTextOf(F&& call)
{
    testing::internal::CaptureStderr();
    call();
    return testing::internal::GetCapturedStderr();
}

TEST(RtDeviceGuards, RtAudioErrorsBecomeFalseResultsWithTheirText)
{
    std::unique_ptr<RtAudioDevices> devices = RtAudioDevices::Create();
    ASSERT_NE(devices, nullptr);
    const uint32_t count = devices->DeviceCount();
    uint32_t output = count;
    for (uint32_t id = 0; id < count && output == count; ++id)
    {
        AudioDeviceInfo info;
        if (devices->GetDeviceInfo(id, info) && info.mOutputChannels >= kChannels)
            output = id;
    }
    ASSERT_LT(output, count) << "no output device: is HOME the null-audio fixture?";
    const uint32_t unknown = count + 5;

    AudioDeviceInfo info;
    std::string text = ErrorTextOf([&] { EXPECT_FALSE(devices->GetDeviceInfo(unknown, info)); });
    EXPECT_NE(text.find("errorCallback: RtApiDs::getDeviceInfo: device ID is invalid"),
              std::string::npos)
        << text;

    const struct
    {
        const char* name;
        AudioStreamSpec spec;
        const char* error;
    } opens[] = {
        {"unknown output", {unknown, kChannels, {}, 0, 44100}, "output device parameter value"},
        {"unknown input", {output, kChannels, unknown, kChannels, 44100}, "input device parameter"},
        {"no output channels", {output, 0, {}, 0, 44100}, "a non-NULL output StreamParameters"},
    };
    std::atomic<int> callbacks{0};
    for (const auto& open : opens)
    {
        SCOPED_TRACE(open.name);
        uint32_t frames = 512;
        text = ErrorTextOf(
            [&] { EXPECT_FALSE(devices->OpenStream(open.spec, frames, &Silence, &callbacks)); });
        EXPECT_NE(text.find(std::string("errorCallback: RtApi::openStream: ") + open.error),
                  std::string::npos)
            << text;
        EXPECT_EQ(frames, 512u) << "left as asked";
        EXPECT_FALSE(devices->IsStreamOpen());
    }

    // Without a stream, starting and aborting throw inside RtAudio; closing only warns.
    text = ErrorTextOf(
        [&]
        {
            EXPECT_FALSE(devices->StartStream());
            devices->AbortStream();
            devices->CloseStream();
        });
    EXPECT_NE(text.find("errorCallback: RtApi:: a stream is not open!"), std::string::npos) << text;
    EXPECT_FALSE(devices->IsStreamRunning());

    // The layer was not given up: the null device still plays.
    EXPECT_EQ(devices->DeviceCount(), count);
    uint32_t frames = 512;
    ASSERT_TRUE(
        devices->OpenStream({output, kChannels, {}, 0, 44100}, frames, &Silence, &callbacks));
    EXPECT_GT(frames, 0u);
    ASSERT_TRUE(devices->StartStream());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (callbacks.load() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(callbacks.load(), 3);
    devices->AbortStream();
    devices->CloseStream();
    EXPECT_FALSE(devices->IsStreamOpen());
}

TEST(RtDeviceGuards, RtMidiErrorsWithoutPortsBecomeFalseResultsWithTheirText)
{
    // No MIDI port exists under Wine here.
    std::unique_ptr<RtMidiInputPorts> input = RtMidiInputPorts::Create();
    std::unique_ptr<RtMidiOutputPorts> output = RtMidiOutputPorts::Create();
    ASSERT_NE(input, nullptr);
    ASSERT_NE(output, nullptr);
    ASSERT_EQ(input->PortCount(), 0u);

    HeapString name;
    std::string text = ErrorTextOf(
        [&]
        {
            EXPECT_FALSE(input->GetPortName(3, name));
            EXPECT_FALSE(input->OpenPort(3, "Lumenfall"));
            EXPECT_FALSE(output->OpenPort(0, "Lumenfall"));
        });
    EXPECT_NE(text.find("MidiInWinMM::openPort"), std::string::npos) << text;
    EXPECT_NE(text.find("MidiOutWinMM::openPort"), std::string::npos) << text;

    const uint8_t noteOn[] = {0x90, 60, 100};
    EXPECT_FALSE(output->SendBytes(noteOn, sizeof noteOn)) << "no port is open";
    input->ClosePort();
    output->ClosePort();
}

} // namespace
