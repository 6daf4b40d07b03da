#include "plugkit/app/StandaloneHost.h"

#include "plugkit/HostApp.h"
#include "tests/support/app/AppFakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace plugkit;
using namespace plugkit::app;
using namespace lumenfall::test;

namespace
{

/// A host on fake layers; each test sets the machine up before `Start`.
class StandaloneHostTest : public ::testing::Test
{
protected:
    ~StandaloneHostTest() override { delete mHost; }

    /// Creates and initialises the host.
    StandaloneHost& Start()
    {
        mHost = StandaloneHost::Create(mPlatform);
        EXPECT_NE(mHost, nullptr);
        EXPECT_TRUE(mHost->Initialize());
        return *mHost;
    }
    std::string Saved(const char* section, const char* key) const
    {
        return mPlatform.mStore.Get(section, key);
    }

    FakePlatform mPlatform;
    StandaloneHost* mHost = nullptr;
};

TEST_F(StandaloneHostTest, CreationPublishesTheHostAndReplacesTheOldOne)
{
    StandaloneHost* first = StandaloneHost::Create(mPlatform);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(gStandaloneHost, first);
    EXPECT_EQ(Probe(*first).GetAppHost(), first);
    mHost = StandaloneHost::Create(mPlatform); // tears the first one down
    EXPECT_EQ(gStandaloneHost, mHost);
    delete mHost;
    mHost = nullptr;
    EXPECT_EQ(gStandaloneHost, nullptr);
}

TEST_F(StandaloneHostTest, FirstStartWritesTheDefaultsAndActivates)
{
    AddTypicalDevices(mPlatform);
    StandaloneHost& host = Start();
    EXPECT_STREQ(host.GetPlugin()->GetHostName(), "standalone");
    EXPECT_EQ(host.GetPlugin()->GetHost(), kHostStandalone);
    EXPECT_EQ(host.GetPlugin()->GetHostVersion(), host.GetPlugin()->GetVersionNumber(false));
    EXPECT_EQ(Saved("audio", "indev"), "Default Device");
    EXPECT_EQ(Saved("audio", "sr"), "44100");
    EXPECT_EQ(Saved("midi", "indev"), "off");
    EXPECT_EQ(mPlatform.mStore.mWrites.size(), 13u);
    EXPECT_EQ(mPlatform.mAudioCreated, 1);
    EXPECT_TRUE(mPlatform.mMessages.empty());

    // Every later start rewrites the file too, even when nothing changed.
    delete mHost;
    mPlatform.mStore.mWrites.clear();
    Start();
    EXPECT_EQ(mPlatform.mStore.mWrites.size(), 13u);
}

TEST_F(StandaloneHostTest, DeviceNamesAreShownAfterTheColonAndFoundPerDirection)
{
    mPlatform.mDevices = {
        {"Default Device", 2, 2, true, true},
        {"Out: default", 0, 2, false, false},
        {"In:  default ", 2, 0, false, false},
        {"Out: Speakers: USB", 0, 8, false, false},
        {"Monitor", 0, 2, false, false},
    };
    StandaloneHost& host = Start();
    const std::vector<std::string> expected = {
        "Default Device", "default", "default", "Speakers: USB", "Monitor"};
    for (uint32_t id = 0; id < expected.size(); ++id)
    {
        HeapString name;
        host.GetAudioDeviceName(id, name);
        EXPECT_EQ(name.Get(), expected[id]) << id;
    }
    EXPECT_EQ(host.GetAudioDirectory().Inputs(), (std::vector<uint32_t>{0, 2}));
    EXPECT_EQ(host.GetAudioDirectory().Outputs(), (std::vector<uint32_t>{0, 1, 3, 4}));
    // The same name stands for a device of each direction.
    EXPECT_EQ(host.FindAudioDeviceIndex(kInput, "default"), 2u);
    EXPECT_EQ(host.FindAudioDeviceIndex(kOutput, "default"), 1u);
    EXPECT_EQ(host.FindAudioDeviceIndex(kOutput, "Speakers: USB"), 3u);
    EXPECT_EQ(host.FindAudioDeviceIndex(kInput, "Monitor"), std::nullopt);
    EXPECT_EQ(host.FindAudioDeviceIndex(kOutput, "Out: default"), std::nullopt);
}

TEST_F(StandaloneHostTest, ALongDeviceNameIsFoundAgainOnTheNextStart)
{
    // settings.ini keeps 99 bytes of a name. A device named longer is shown and saved by what
    // the file keeps, so the next start finds it instead of taking the default in its place.
    std::string cyrillic; // 92 bytes, so that byte 99 of the name is inside the last letter
    for (int i = 0; i < 46; ++i)
        cyrillic += "\xD0\x96";
    const std::string longName = "Headset " + cyrillic + " (USB)";
    const std::string cutAtBlank = std::string(98, 'a') + " tail";
    mPlatform.mDevices = {
        {"Default Device", 2, 2, true, true},
        {"Out: " + longName, 0, 2, false, false},
        {"In: " + cutAtBlank, 2, 0, false, false},
    };
    mPlatform.mStore.mExists = true;
    StandaloneHost& first = Start();
    HeapString shownOut;
    HeapString shownIn;
    first.GetAudioDeviceName(1, shownOut);
    first.GetAudioDeviceName(2, shownIn);
    // Cut at a character boundary, and without the blank the file would trim away.
    EXPECT_EQ(shownOut.Get(), longName.substr(0, 98));
    EXPECT_EQ(shownIn.Get(), std::string(98, 'a'));
    first.GetSettings().audioOutputDevice = shownOut;
    first.GetSettings().audioInputDevice = shownIn;
    first.WriteSettingsFile();

    StandaloneHost& host = Start();
    ASSERT_TRUE(host.ApplyAudioSettings());
    EXPECT_EQ(mPlatform.mAudio->mSpec.mOutputDevice, 1u);
    EXPECT_EQ(mPlatform.mAudio->mSpec.mInputDevice, 2u);
    EXPECT_EQ(Saved("audio", "outdev"), shownOut.Get());
    EXPECT_EQ(Saved("audio", "indev"), shownIn.Get());
}

TEST_F(StandaloneHostTest, ApplyingTheSettingsResolvesSavedNames)
{
    using Devices = std::vector<FakeAudioDevices::Device>;
    const Devices typical = {
        {"Default Device", 2, 2, true, true},
        {"Out: Speakers", 0, 2, false, false},
        {"In: Line In", 2, 0, false, false},
    };
    struct Case
    {
        const char* what;
        Devices devices;
        const char* savedIn;
        const char* savedOut;
        bool opens;
        std::optional<uint32_t> input; ///< the stream's input device
        uint32_t output;
        const char* writtenIn; ///< settings.ini afterwards
        const char* writtenOut;
        bool message;
    };
    const std::vector<Case> cases = {
        {"both found", typical, "Line In", "Speakers", true, 2u, 1, "Line In", "Speakers", false},
        {"output gone",
         typical,
         "Line In",
         "Old Card",
         true,
         2u,
         0,
         "Line In",
         "Default Device",
         false},
        {"file defaults",
         typical,
         nullptr,
         nullptr,
         true,
         0u,
         0,
         "Default Device",
         "Default Device",
         false},
        {"no default output",
         {{"Out: Speakers", 0, 2, false, false}, {"In: Line In", 2, 0, true, false}},
         "Line In",
         "Old Card",
         false,
         std::nullopt,
         0,
         "Line In",
         "Old Card",
         true},
        {"no input device",
         {{"Default Device", 0, 2, false, true}},
         "Line In",
         "Default Device",
         false,
         std::nullopt,
         0,
         "Line In",
         "Default Device",
         true},
        {"no devices",
         {},
         "Line In",
         "Speakers",
         false,
         std::nullopt,
         0,
         "Line In",
         "Speakers",
         true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        delete mHost;
        mPlatform = FakePlatform();
        mPlatform.mDevices = c.devices;
        mPlatform.mStore.mExists = true;
        if (c.savedIn)
            mPlatform.mStore.mKeys["audio"]["indev"] = c.savedIn;
        if (c.savedOut)
            mPlatform.mStore.mKeys["audio"]["outdev"] = c.savedOut;
        StandaloneHost& host = Start();

        EXPECT_EQ(host.ApplyAudioSettings(), c.opens);
        FakeAudioDevices& audio = *mPlatform.mAudio;
        EXPECT_EQ(audio.IsStreamRunning(), c.opens);
        if (c.opens)
        {
            EXPECT_EQ(audio.mSpec.mInputDevice, c.input);
            EXPECT_EQ(audio.mSpec.mOutputDevice, c.output);
            EXPECT_EQ(audio.mSpec.mOutputChannels, 2u);
            EXPECT_EQ(audio.mSpec.mInputChannels, c.input ? 2u : 0u);
        }
        EXPECT_EQ(Saved("audio", "indev"), c.writtenIn);
        EXPECT_EQ(Saved("audio", "outdev"), c.writtenOut);
        EXPECT_EQ(mPlatform.mMessages,
                  c.message ? std::vector<std::string>{"Error: Please check the audio settings"}
                            : std::vector<std::string>{});
    }
}

TEST_F(StandaloneHostTest, WithoutInputOrOutputNothingIsOpenedButTheFileIsKept)
{
    AddTypicalDevices(mPlatform);
    mHost = StandaloneHost::Create(mPlatform);
    mHost->SetNoIO(true);
    ASSERT_TRUE(mHost->Initialize());
    EXPECT_TRUE(mHost->ApplyAudioSettings());
    EXPECT_EQ(mHost->GetAudioDevices(), nullptr);
    EXPECT_EQ(mHost->GetMidiInput(), nullptr);
    EXPECT_EQ(mPlatform.mAudioCreated, 0);
    EXPECT_EQ(mPlatform.mStore.mWrites.size(), 13u);
    // Without port objects a MIDI name is not looked up and stays.
    EXPECT_FALSE(mHost->SelectMidiPort(kInput, "Gone"));

    // The screenshot mode runs without devices too.
    delete mHost;
    mHost = StandaloneHost::Create(mPlatform);
    mHost->SetScreenshotPath("shot.png");
    ASSERT_TRUE(mHost->Initialize());
    EXPECT_TRUE(mHost->ApplyAudioSettings());
    EXPECT_EQ(mPlatform.mAudioCreated, 0);
}

TEST_F(StandaloneHostTest, OpeningPreparesThePluginAndFeedsItTheDeviceBuffers)
{
    AddTypicalDevices(mPlatform);
    mPlatform.mDeviceBufferFrames = 1000; // the device's own choice
    StandaloneHost& host = Start();
    host.GetSettings().sampleRate = 48000;
    host.GetSettings().bufferSize = 256;
    ProbePlugin& plugin = Probe(host);
    const int resets = plugin.mResets;

    ASSERT_TRUE(host.ApplyAudioSettings());
    EXPECT_EQ(plugin.mResets, resets + 1);
    EXPECT_EQ(plugin.GetSampleRate(), 48000.0);
    EXPECT_EQ(plugin.GetBlockSize(), 512);
    EXPECT_EQ(host.GetBufferFrames(), 1000u);
    EXPECT_EQ(host.GetSampleRate(), 48000.0);
    EXPECT_TRUE(host.GetActiveSettings() == host.GetSettings());

    mPlatform.mAudio->Deliver(1000);
    EXPECT_EQ(plugin.mBlocks.load(), 2);
    EXPECT_EQ(plugin.mBlockFrames[0], 512);
    EXPECT_EQ(plugin.mBlockFrames[1], 488);

    // A stream that does not open keeps the last active settings.
    host.GetSettings().bufferSize = 128;
    mPlatform.mAudio->mFailOpen = true;
    EXPECT_FALSE(host.ApplyAudioSettings());
    EXPECT_EQ(host.GetActiveSettings().bufferSize, 256u);
}

TEST_F(StandaloneHostTest, StopFadesOutAndWaitsOnlyABoundedTime)
{
    AddTypicalDevices(mPlatform);
    StandaloneHost& host = Start();
    ASSERT_TRUE(host.ApplyAudioSettings());
    FakeAudioDevices& audio = *mPlatform.mAudio;
    audio.Deliver(512);

    // This device never calls back again: the stop gives up after its wait and aborts.
    const auto start = std::chrono::steady_clock::now();
    host.StopAudioStream();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(StandaloneHost::kMinStopWaitMs));
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
    EXPECT_EQ(audio.mAborts, 1);
    EXPECT_FALSE(audio.IsStreamOpen());

    // Reopening starts with a fade-in again.
    ASSERT_TRUE(host.OpenAudioStream(0u, 0, 44100, 512));
    Probe(host).mOutput = ProbePlugin::Output::Ones;
    const auto out = audio.Deliver(4);
    EXPECT_EQ(out, (std::vector<double>{0.0, 0.25, 0.5, 0.75, 0.0, 0.25, 0.5, 0.75}));
}

TEST_F(StandaloneHostTest, ALayerThatGaveUpItsStreamIsNotReopenedAndThatStreamStaysSilent)
{
    AddTypicalDevices(mPlatform);
    mPlatform.mThreadedAudio = true; // the stream fades out on its thread, then hangs
    StandaloneHost& host = Start();
    ProbePlugin& plugin = Probe(host);
    plugin.mOutput = ProbePlugin::Output::Ones;
    ASSERT_TRUE(host.ApplyAudioSettings());
    FakeAudioDevices& audio = *mPlatform.mAudio;
    while (audio.mCallbacks.load() < 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    audio.mHangOnAbort = true;
    host.StopAudioStream();
    ASSERT_TRUE(audio.mSawFadeOut.load());
    ASSERT_FALSE(audio.IsUsable());

    // The next open finds the layer dead before it prepares anything: the given-up stream's
    // thread, resuming, still finds the stop's silence and never reaches the plug-in.
    const int resets = plugin.mResets;
    const int blocks = plugin.mBlocks.load();
    const double rate = plugin.GetSampleRate();
    EXPECT_FALSE(host.ApplyAudioSettings());
    EXPECT_FALSE(host.OpenAudioStream(0u, 0, rate == 48000.0 ? 44100 : 48000, 256));
    EXPECT_EQ(plugin.mResets, resets);
    EXPECT_EQ(plugin.GetSampleRate(), rate);
    EXPECT_EQ(audio.Deliver(4), std::vector<double>(8, 0.0));
    EXPECT_EQ(plugin.mBlocks.load(), blocks);
}

TEST_F(StandaloneHostTest, MidiPortsOpenBySavedNameOrTurnOff)
{
    mPlatform.mMidiInputNames = {"Keys", "Pads"};
    mPlatform.mMidiOutputNames = {"Synth"};
    mPlatform.mStore.mExists = true;
    mPlatform.mStore.mKeys["midi"]["indev"] = "Pads"; // the output name is missing: "no output"
    StandaloneHost& host = Start();

    EXPECT_EQ(mPlatform.mMidiInput->mOpenPort, 1);
    EXPECT_EQ(mPlatform.mMidiInput->mClientPortName, "RtMidi Input");
    EXPECT_EQ(mPlatform.mMidiOutput->mOpenPort, -1);
    EXPECT_STREQ(host.GetSettings().midiOutputDevice.Get(), "off");
    EXPECT_EQ(Saved("midi", "outdev"), "off");
    EXPECT_EQ(Saved("midi", "indev"), "Pads");

    const MidiPortList& inputs = host.GetMidiPortNames(kInput);
    ASSERT_EQ(inputs.Size(), 3);
    EXPECT_STREQ(inputs.GetName(0), "off");
    EXPECT_STREQ(inputs.GetName(2), "Pads");
    EXPECT_STREQ(host.GetMidiPortNames(kOutput).GetName(1), "Synth");
    EXPECT_EQ(host.FindMidiPortIndex(kInput, "off"), 0);
    EXPECT_EQ(host.FindMidiPortIndex(kInput, "Keys"), 1);
    EXPECT_EQ(host.FindMidiPortIndex(kOutput, "Keys"), -1);

    EXPECT_TRUE(host.SelectMidiPort(kOutput, "Synth"));
    EXPECT_EQ(mPlatform.mMidiOutput->mOpenPort, 0);
    EXPECT_EQ(mPlatform.mMidiOutput->mClientPortName, "RtMidi Output");
    EXPECT_TRUE(host.SelectMidiPort(kInput, "off"));
    EXPECT_EQ(mPlatform.mMidiInput->mOpenPort, -1);
}

TEST_F(StandaloneHostTest, MidiLayerThatCannotBeMadeFailsItsCreation)
{
    mPlatform.mFailMidiInput = true;
    StandaloneHost& host = Start();
    EXPECT_FALSE(host.CreateMidiPorts());
    EXPECT_EQ(host.GetMidiInput(), nullptr);
    EXPECT_EQ(host.GetMidiPortNames(kInput).Size(), 0);
}

TEST_F(StandaloneHostTest, IncomingMidiReachesTheNextBlock)
{
    AddTypicalDevices(mPlatform);
    StandaloneHost& host = Start();
    ASSERT_TRUE(host.ApplyAudioSettings());
    FakeMidiInput& input = *mPlatform.mMidiInput;
    ProbePlugin& plugin = Probe(host);

    // The layer drops timing clock and passes SysEx and active sensing.
    EXPECT_FALSE(input.mIgnoreSysEx);
    EXPECT_TRUE(input.mIgnoreTiming);
    EXPECT_FALSE(input.mIgnoreSensing);
    input.Deliver({0xF8});
    input.Deliver({0xFE});
    input.Deliver({0x90, 60, 100});
    input.Deliver(std::vector<uint8_t>(600, 0xF0));
    std::vector<uint8_t> sysEx(512, 0x42);
    sysEx.front() = 0xF0;
    sysEx.back() = 0xF7;
    input.Deliver(sysEx);

    mPlatform.mAudio->Deliver(256);
    ASSERT_EQ(plugin.mMidiCount.load(), 2);
    EXPECT_EQ(plugin.mMidi[0].mStatus, 0xFE);
    EXPECT_EQ(plugin.mMidi[1].mStatus, 0x90);
    EXPECT_EQ(plugin.mMidi[1].mOffset, 0);
    EXPECT_EQ(plugin.mMidiBlock[1], 0);
    ASSERT_EQ(plugin.mSysExCount.load(), 1);
    EXPECT_EQ(plugin.mSysExSizes[0], 512);
    EXPECT_EQ(plugin.mLastSysEx[511], 0xF7);
}

TEST_F(StandaloneHostTest, NothingIsQueuedOnceTheHostExits)
{
    AddTypicalDevices(mPlatform);
    StandaloneHost& host = Start();
    ProbePlugin& plugin = Probe(host);
    FakeMidiInput& input = *mPlatform.mMidiInput;
    input.Deliver({0x90, 60, 100});

    // The teardown sets its exit flag first: a message that still arrives before the callback
    // is cancelled is dropped. The plug-in lives on until the end of the teardown.
    int countAtCancel = -1;
    input.mOnCancel = [&]
    {
        input.Deliver({0x90, 61, 100});
        double* none[2] = {nullptr, nullptr};
        plugin.ProcessAudioBlock(none, none, 16);
        countAtCancel = plugin.mMidiCount.load();
    };
    delete mHost;
    mHost = nullptr;
    EXPECT_EQ(countAtCancel, 1);
}

TEST_F(StandaloneHostTest, PluginMidiOutputGoesToTheOutputPort)
{
    mPlatform.mMidiOutputNames = {"Synth"};
    mPlatform.mStore.mExists = true;
    mPlatform.mStore.mKeys["midi"]["outdev"] = "Synth";
    StandaloneHost& host = Start();

    // The product declares no MIDI output: nothing is sent.
    EXPECT_FALSE(host.GetPlugin()->SendMidiMsg(MidiMessage{0, 0x90, 60, 100}));

    PluginConfig config = ProbeConfig();
    config.mMidiOut = true;
    ProbePlugin sender(&host, config);
    EXPECT_TRUE(sender.SendMidiMsg(MidiMessage{5, 0xC0, 7, 0}));
    const uint8_t bytes[4] = {0xF0, 1, 2, 0xF7};
    sender.SendSysexMsgFromUI(SysExMessage{0, 4, bytes}); // straight out, not queued
    EXPECT_FALSE(sender.SendSysEx(SysExMessage{0, 0, bytes}));
    EXPECT_EQ(mPlatform.mMidiOutput->mSent,
              (std::vector<std::vector<uint8_t>>{{0xC0, 7, 0}, {0xF0, 1, 2, 0xF7}}));

    ProbePlugin unhosted(nullptr, config);
    EXPECT_FALSE(unhosted.SendMidiMsg(MidiMessage{0, 0x90, 60, 100}));
}

} // namespace
