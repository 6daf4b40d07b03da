// The application host on the real device layers under Wine, with ALSA's null device as the
// default (HOME points at a fixture whose .asoundrc says so), and settings.ini in this test's own
// Wine prefix.

#include "plugkit/app/StandaloneHost.h"
#include "plugkit/app/Utf8Text.h"
#include "plugkit/app/WinStandalonePlatform.h"
#include "tests/support/app/AppFakes.h"
#include "tests/support/app/DialogWatcher.h"
#include "tests/support/app/WinSettingsFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

using namespace plugkit;
using namespace plugkit::app;
using namespace lumenfall::test;

namespace
{

/// A program start on a clean settings folder (unless a test writes a file first).
class AppDevicesTest : public ::testing::Test
{
protected:
    AppDevicesTest() { RemoveSettingsFolder(); }
    ~AppDevicesTest() override { delete mHost; }

    StandaloneHost& Start()
    {
        delete mHost;
        mHost = StandaloneHost::Create(mPlatform);
        EXPECT_NE(mHost, nullptr);
        EXPECT_TRUE(mHost->Initialize());
        return *mHost;
    }

    WinStandalonePlatform mPlatform{kSettingsFolderName};
    StandaloneHost* mHost = nullptr;
};

TEST_F(AppDevicesTest, TheNullDeviceIsListedInEachDirection)
{
    StandaloneHost& host = Start();
    const AudioDeviceDirectory& devices = host.GetAudioDirectory();
    ASSERT_FALSE(devices.Inputs().empty());
    ASSERT_FALSE(devices.Outputs().empty());
    ASSERT_TRUE(devices.DefaultOutput().has_value());
    for (uint32_t id : devices.Outputs())
    {
        HeapString name;
        host.GetAudioDeviceName(id, name);
        std::printf("output %u: %s\n", id, name.Get());
    }
    for (uint32_t id : devices.Inputs())
    {
        HeapString name;
        host.GetAudioDeviceName(id, name);
        std::printf("input %u: %s\n", id, name.Get());
    }
}

TEST_F(AppDevicesTest, FirstStartWritesTheWholeDefaultFile)
{
    Start();
    const std::string file = ReadSettingsFileText();
    EXPECT_EQ(file.substr(0, 2), "\xFF\xFE") << "not a Unicode file";
    EXPECT_EQ(ParseSettingsFile(file),
              SettingsFileKeys(kDefaultSettingsFile.begin(), kDefaultSettingsFile.end()));
}

TEST_F(AppDevicesTest, AFileWithOnlyASampleRateIsCompleted)
{
    WriteAnsiSettingsFile("[audio]\r\nsr=48000\r\n");
    StandaloneHost& host = Start();
    EXPECT_EQ(host.GetSettings().sampleRate, 48000u);
    EXPECT_STREQ(host.GetSettings().audioOutputDevice.Get(), "Built-in Output");
    // No MIDI port of that name: the MIDI devices are off from the start.
    EXPECT_STREQ(host.GetSettings().midiInputDevice.Get(), "off");

    const std::string file = ReadSettingsFileText();
    EXPECT_EQ(file.substr(0, 2), "\xFF\xFE") << "the ANSI file was not made Unicode";
    const SettingsFileKeys keys = ParseSettingsFile(file);
    EXPECT_EQ(keys.size(), 13u);
    EXPECT_EQ(keys.at("audio/sr"), "48000");
    EXPECT_EQ(keys.at("audio/indev"), "Built-in Input");
    EXPECT_EQ(keys.at("midi/outdev"), "off");
    EXPECT_EQ(keys.at("audio/buffer"), "512");
}

TEST_F(AppDevicesTest, AGoneDeviceIsReplacedByTheDefaultWithoutAMessage)
{
    StandaloneHost& first = Start();
    first.GetSettings().audioOutputDevice.Set("Gone Card");
    first.GetSettings().audioInputDevice.Set("Gone Microphone");
    first.WriteSettingsFile();

    StandaloneHost& host = Start();
    EXPECT_STREQ(host.GetSettings().audioOutputDevice.Get(), "Gone Card");
    DialogWatcher watcher;
    EXPECT_TRUE(host.ApplyAudioSettings());
    EXPECT_TRUE(host.GetAudioDevices()->IsStreamRunning());
    EXPECT_TRUE(watcher.Seen().empty());
    const SettingsFileKeys keys = ParseSettingsFile(ReadSettingsFileText());
    EXPECT_EQ(keys.at("audio/outdev"), "Default Device");
    EXPECT_EQ(keys.at("audio/indev"), "Default Device");
}

TEST_F(AppDevicesTest, ADeviceNamedAfterAColonIsFoundAgainOnTheNextStart)
{
    // "Out: default" is shown and saved as "default"; the profile file would trim " default".
    StandaloneHost& first = Start();
    const auto output = first.FindAudioDeviceIndex(kOutput, "default");
    const auto input = first.FindAudioDeviceIndex(kInput, "default");
    ASSERT_TRUE(output && input);
    first.GetSettings().audioOutputDevice.Set("default");
    first.GetSettings().audioInputDevice.Set("default");
    first.WriteSettingsFile();

    StandaloneHost& host = Start();
    ASSERT_TRUE(host.ApplyAudioSettings());
    EXPECT_STREQ(host.GetSettings().audioOutputDevice.Get(), "default");
    EXPECT_STREQ(host.GetActiveSettings().audioInputDevice.Get(), "default");
    EXPECT_EQ(ParseSettingsFile(ReadSettingsFileText()).at("audio/outdev"), "default");
}

TEST_F(AppDevicesTest, TheStreamFeedsThePluginAndStopsPromptly)
{
    // Wine's DirectSound now and then never starts moving a new stream (RtAudio then waits for
    // it for good, and the stop gives the layer up): such a start is made again, a few times.
    constexpr int kAttempts = 4;
    for (int attempt = 1; attempt <= kAttempts; ++attempt)
    {
        StandaloneHost& host = Start();
        ASSERT_TRUE(host.ApplyAudioSettings());
        ProbePlugin& plugin = Probe(host);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (plugin.mBlocks.load() <= 1 && attempt < kAttempts)
        {
            std::printf("attempt %d: the stream did not move; starting again\n", attempt);
            continue;
        }
        EXPECT_GT(plugin.mBlocks.load(), 20);
        EXPECT_GT(plugin.mMaxFrames.load(), 0);
        EXPECT_LE(plugin.mMaxFrames.load(), 512);

        const auto start = std::chrono::steady_clock::now();
        host.StopAudioStream();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(500));
        EXPECT_TRUE(host.GetAudioCallback().IsFadedOut());
        EXPECT_FALSE(host.GetAudioDevices()->IsStreamOpen());
        std::printf("%d blocks in a second; stopping took %lld ms\n",
                    plugin.mBlocks.load(),
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
        return;
    }
}

TEST_F(AppDevicesTest, NonAsciiNamesSurviveAWriteAndARead)
{
    const char* name =
        "Ausgang \xE2\x80\x93 Lautsprecher \xE9\x9F\xB3\xE5\xA3\xB0 \xF0\x9F\x8E\xB5";
    std::string longName;
    for (int i = 0; i < 40; ++i)
        longName += "\xE9\x9F\xB3"; // 120 bytes
    StandaloneHost& first = Start();
    first.GetSettings().audioOutputDevice.Set(name);
    first.GetSettings().audioInputDevice.Set(longName.c_str());
    first.WriteSettingsFile();

    // The next start reads both back: the first whole, the second cut at a character boundary.
    StandaloneHost& host = Start();
    EXPECT_STREQ(host.GetSettings().audioOutputDevice.Get(), name);
    EXPECT_EQ(std::string(host.GetSettings().audioInputDevice.Get()), longName.substr(0, 99));
}

TEST_F(AppDevicesTest, MidiWithoutPortsOffersOnlyOff)
{
    WriteAnsiSettingsFile("[midi]\r\nindev=Keys\r\noutdev=off\r\n");
    StandaloneHost& host = Start();
    ASSERT_NE(host.GetMidiInput(), nullptr);
    ASSERT_NE(host.GetMidiOutput(), nullptr);
    EXPECT_EQ(host.GetMidiPortNames(kInput).Size(), 1);
    EXPECT_STREQ(host.GetMidiPortNames(kOutput).GetName(0), "off");
    EXPECT_STREQ(host.GetSettings().midiInputDevice.Get(), "off");
    EXPECT_EQ(ParseSettingsFile(ReadSettingsFileText()).at("midi/indev"), "off");
}

} // namespace
