// The Preferences dialog as a user drives it, over fake device and port layers: the real dialog
// from the program's resources, run modally on the test thread while a second thread picks
// items and presses buttons with the messages the controls would send.

#include "plugkit/app/PreferencesDialog.h"
#include "plugkit/app/StandaloneHost.h"
#include "plugkit/app/StandaloneResourceId.h"
#include "tests/support/app/AppFakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace plugkit;
using namespace plugkit::app;
using namespace lumenfall::test;

namespace
{

using Items = std::vector<std::string>;

const std::string kUsbOutput = "Lautsprecher \xC3\xBC\xC3\xA9 \xE9\x9F\xB3";

HWND WaitForPreferences()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline)
    {
        HWND dialog = FindWindowA("#32770", "Preferences");
        if (dialog && IsWindowVisible(dialog))
        {
            DWORD process = 0;
            GetWindowThreadProcessId(dialog, &process);
            if (process == GetCurrentProcessId())
                return dialog;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

/// What the dialog's controls show, read and changed as a user would.
struct DialogDriver
{
    HWND dialog;

    HWND Control(int id) const { return GetDlgItem(dialog, id); }
    Items List(int id) const
    {
        Items items;
        const int count = int(SendMessageA(Control(id), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i)
        {
            std::string text(size_t(SendMessageA(Control(id), CB_GETLBTEXTLEN, i, 0)) + 1, '\0');
            SendMessageA(Control(id), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            items.push_back(text.c_str());
        }
        return items;
    }
    /// The selected item's text; "" when none is selected.
    std::string Selected(int id) const
    {
        const int index = int(SendMessageA(Control(id), CB_GETCURSEL, 0, 0));
        return index < 0 ? "" : List(id)[size_t(index)];
    }
    /// Picks item `index` of a combo box, notifying the dialog as the box does.
    void Choose(int id, int index) const
    {
        SendMessageA(Control(id), CB_SETCURSEL, WPARAM(index), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(Control(id)));
    }
    void Choose(int id, const std::string& text) const
    {
        const Items items = List(id);
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == text)
                return Choose(id, int(i));
        ADD_FAILURE() << "no item " << text << " in " << id;
    }
    void Press(int id) const
    {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(Control(id)));
    }
    /// Presses OK or Cancel. Posted, as a click arrives: the dialog's loop wakes for a posted
    /// message, where a sent one would leave it waiting for the next input.
    void End(int id) const
    {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(Control(id)));
    }
};

class PreferencesDialog : public testing::Test
{
protected:
    void SetUp() override
    {
        AddTypicalDevices(mPlatform);
        mPlatform.mDevices.push_back({"Out: " + kUsbOutput, 0, 4, false, false, {48000, 96000}});
        mPlatform.mDevices.push_back({"In: Mic", 1, 0, false, false, {44100}});
        mPlatform.mMidiInputNames = {"Keys", "Pads"};
        mPlatform.mMidiOutputNames = {"Synth"};
    }
    void TearDown() override { delete gStandaloneHost; }

    /// Starts the host as the program does.
    StandaloneHost& Start(bool noIO = false)
    {
        StandaloneHost* host = StandaloneHost::Create(mPlatform);
        host->SetNoIO(noIO);
        host->Initialize();
        host->ApplyAudioSettings();
        return *host;
    }

    /// Runs the dialog while `script` drives it from another thread; the script ends it (with
    /// EXPECT only: a fatal failure would leave the dialog open).
    INT_PTR Run(const std::function<void(const DialogDriver&)>& script)
    {
        std::thread user(
            [&]
            {
                const DialogDriver driver{WaitForPreferences()};
                if (!driver.dialog)
                    return;
                script(driver);
            });
        const INT_PTR result = RunPreferencesDialog(nullptr);
        user.join();
        return result;
    }

    int Opens() const { return mPlatform.mAudio ? mPlatform.mAudio->mOpens : 0; }
    uint32_t OpenOutput() const { return mPlatform.mAudio->mSpec.mOutputDevice; }

    FakePlatform mPlatform;
};

TEST_F(PreferencesDialog, ShowsTheDevicesPortsAndChoicesOfTheSettings)
{
    Start();
    Run(
        [&](const DialogDriver& d)
        {
            EXPECT_EQ(d.List(IDC_DRIVER), Items{"DirectSound"});
            EXPECT_EQ(d.Selected(IDC_DRIVER), "DirectSound");
            EXPECT_FALSE(IsWindowEnabled(d.Control(IDC_DRIVER_CONFIG)));
            EXPECT_EQ(d.List(IDC_AUDIO_IN_DEVICE), (Items{"Default Device", "Line In", "Mic"}));
            EXPECT_EQ(d.List(IDC_AUDIO_OUT_DEVICE),
                      (Items{"Default Device", "Speakers (USB)", kUsbOutput}));
            EXPECT_EQ(d.Selected(IDC_AUDIO_IN_DEVICE), "Default Device");
            EXPECT_EQ(d.Selected(IDC_AUDIO_OUT_DEVICE), "Default Device");
            // Two channels: the left list leaves the last one out.
            EXPECT_EQ(d.List(IDC_AUDIO_IN_LEFT), Items{"1"});
            EXPECT_EQ(d.List(IDC_AUDIO_IN_RIGHT), (Items{"1", "2"}));
            EXPECT_EQ(d.Selected(IDC_AUDIO_IN_LEFT), "1");
            EXPECT_EQ(d.Selected(IDC_AUDIO_IN_RIGHT), "2");
            EXPECT_EQ(d.Selected(IDC_AUDIO_OUT_RIGHT), "2");
            EXPECT_EQ(d.List(IDC_SAMPLE_RATE), (Items{"44100", "48000"}));
            EXPECT_EQ(d.Selected(IDC_SAMPLE_RATE), "44100");
            EXPECT_EQ(d.List(IDC_BUFFER_SIZE).size(), std::size(kBufferSizeChoices));
            EXPECT_EQ(d.Selected(IDC_BUFFER_SIZE), "512");
            EXPECT_EQ(d.List(IDC_MIDI_IN_DEVICE), (Items{"off", "Keys", "Pads"}));
            EXPECT_EQ(d.List(IDC_MIDI_OUT_DEVICE), (Items{"off", "Synth"}));
            EXPECT_EQ(d.Selected(IDC_MIDI_IN_DEVICE), "off");
            const Items channels = d.List(IDC_MIDI_OUT_CHANNEL);
            ASSERT_EQ(channels.size(), 17u);
            EXPECT_EQ(channels.front(), "all");
            EXPECT_EQ(channels.back(), "16");
            EXPECT_EQ(d.Selected(IDC_MIDI_IN_CHANNEL), "all");
            d.End(IDCANCEL);
        });
}

TEST_F(PreferencesDialog, ChannelPairsFollowTheLeftChannel)
{
    StandaloneHost& host = Start();
    Run(
        [&](const DialogDriver& d)
        {
            // A four-channel device, named in three scripts: the name comes back as UTF-8.
            d.Choose(IDC_AUDIO_OUT_DEVICE, kUsbOutput);
            EXPECT_EQ(host.GetSettings().audioOutputDevice.Get(), kUsbOutput);
            EXPECT_EQ(d.Selected(IDC_AUDIO_OUT_DEVICE), kUsbOutput);
            EXPECT_EQ(d.List(IDC_AUDIO_OUT_LEFT), (Items{"1", "2", "3"}));
            EXPECT_EQ(d.List(IDC_AUDIO_OUT_RIGHT), (Items{"1", "2", "3", "4"}));

            d.Choose(IDC_AUDIO_OUT_LEFT, "3");
            EXPECT_EQ(d.Selected(IDC_AUDIO_OUT_RIGHT), "4");
            EXPECT_EQ(host.GetSettings().audioOutputLeft, 3u);
            EXPECT_EQ(host.GetSettings().audioOutputRight, 4u);
            // The right channel cannot be chosen on its own: it snaps back.
            d.Choose(IDC_AUDIO_OUT_RIGHT, "1");
            EXPECT_EQ(d.Selected(IDC_AUDIO_OUT_RIGHT), "4");
            EXPECT_EQ(host.GetSettings().audioOutputRight, 4u);

            // Another device starts again at channels 1 and 2.
            d.Choose(IDC_AUDIO_OUT_DEVICE, "Speakers (USB)");
            EXPECT_EQ(host.GetSettings().audioOutputLeft, 1u);
            EXPECT_EQ(host.GetSettings().audioOutputRight, 2u);
            EXPECT_EQ(d.Selected(IDC_AUDIO_OUT_RIGHT), "2");
            d.End(IDCANCEL);
        });
}

TEST_F(PreferencesDialog, SampleRatesAreThoseBothDevicesHave)
{
    StandaloneHost& host = Start();
    Run(
        [&](const DialogDriver& d)
        {
            d.Choose(IDC_AUDIO_OUT_DEVICE, kUsbOutput); // 48000 and 96000
            EXPECT_EQ(d.List(IDC_SAMPLE_RATE), Items{"48000"});
            // The saved 44100 is not among them: nothing is selected, nothing changes.
            EXPECT_EQ(d.Selected(IDC_SAMPLE_RATE), "");
            EXPECT_EQ(host.GetSettings().sampleRate, 44100u);
            d.Choose(IDC_SAMPLE_RATE, "48000");
            EXPECT_EQ(host.GetSettings().sampleRate, 48000u);
            d.Choose(IDC_AUDIO_IN_DEVICE, "Mic"); // 44100 only
            EXPECT_EQ(d.List(IDC_SAMPLE_RATE), Items{});
            EXPECT_EQ(d.List(IDC_AUDIO_IN_LEFT), Items{});
            EXPECT_EQ(d.List(IDC_AUDIO_IN_RIGHT), Items{"1"});
            d.End(IDCANCEL);
        });
}

TEST_F(PreferencesDialog, OkReopensTheStreamOnlyForChangedAudioSettings)
{
    StandaloneHost& host = Start();
    const int opens = Opens();
    ASSERT_GE(opens, 1);
    // Nothing changed: the stream runs on.
    EXPECT_EQ(Run([](const DialogDriver& d) { d.End(IDOK); }), IDOK);
    EXPECT_EQ(Opens(), opens);

    // A MIDI port alone switches at once and leaves the stream alone.
    EXPECT_EQ(Run(
                  [](const DialogDriver& d)
                  {
                      d.Choose(IDC_MIDI_IN_DEVICE, "Pads");
                      d.End(IDOK);
                  }),
              IDOK);
    EXPECT_EQ(mPlatform.mMidiInput->mOpenPort, 1);
    EXPECT_EQ(Opens(), opens);

    // A new buffer size reopens it, once, with that size.
    Run(
        [](const DialogDriver& d)
        {
            d.Choose(IDC_BUFFER_SIZE, "256");
            d.End(IDOK);
        });
    EXPECT_EQ(Opens(), opens + 1);
    EXPECT_EQ(host.GetSettings().bufferSize, 256u);
    EXPECT_EQ(mPlatform.mAudio->mBufferFrames, 256u);
    EXPECT_EQ(host.GetActiveSettings().bufferSize, 256u);

    // Apply always reopens, and OK after it has nothing left to do.
    Run(
        [&](const DialogDriver& d)
        {
            d.Press(IDC_APPLY);
            EXPECT_EQ(Opens(), opens + 2);
            d.End(IDOK);
        });
    EXPECT_EQ(Opens(), opens + 2);
}

TEST_F(PreferencesDialog, CancelRestoresTheOpenDevicePortsAndFile)
{
    StandaloneHost& host = Start();
    ASSERT_TRUE(mPlatform.mAudio->IsStreamRunning());
    const uint32_t defaultOutput = OpenOutput();
    const auto file = mPlatform.mStore.mKeys;

    EXPECT_EQ(Run(
                  [&](const DialogDriver& d)
                  {
                      d.Choose(IDC_AUDIO_OUT_DEVICE, "Speakers (USB)");
                      d.Choose(IDC_MIDI_IN_DEVICE, "Keys");
                      d.Choose(IDC_MIDI_OUT_DEVICE, "Synth");
                      d.Press(IDC_APPLY);
                      EXPECT_NE(OpenOutput(), defaultOutput);
                      EXPECT_EQ(mPlatform.mMidiInput->mOpenPort, 0);
                      host.WriteSettingsFile(); // as the program's other writes may
                      d.End(IDCANCEL);
                  }),
              IDCANCEL);
    // The stream is back on the device the dialog found, the ports are closed again, and
    // settings.ini holds what it held.
    EXPECT_TRUE(mPlatform.mAudio->IsStreamRunning());
    EXPECT_EQ(OpenOutput(), defaultOutput);
    EXPECT_EQ(mPlatform.mMidiInput->mOpenPort, -1);
    EXPECT_EQ(mPlatform.mMidiOutput->mOpenPort, -1);
    EXPECT_STREQ(host.GetSettings().audioOutputDevice.Get(), "Default Device");
    EXPECT_STREQ(host.GetSettings().midiInputDevice.Get(), "off");
    EXPECT_EQ(mPlatform.mStore.mKeys, file);
    // The way back made the audio layer anew and opened it once.
    EXPECT_EQ(mPlatform.mAudioCreated, 2);
    EXPECT_EQ(Opens(), 1);
}

TEST_F(PreferencesDialog, CancelWithoutApplyLeavesTheStreamAlone)
{
    StandaloneHost& host = Start();
    const int opens = Opens();
    const uint32_t output = OpenOutput();
    Run(
        [](const DialogDriver& d)
        {
            d.Choose(IDC_AUDIO_OUT_DEVICE, "Speakers (USB)");
            d.Choose(IDC_BUFFER_SIZE, "1024");
            d.End(IDCANCEL);
        });
    EXPECT_EQ(Opens(), opens);
    EXPECT_EQ(OpenOutput(), output);
    EXPECT_EQ(host.GetSettings().bufferSize, 512u);
    EXPECT_STREQ(host.GetSettings().audioOutputDevice.Get(), "Default Device");

    // A MIDI port alone: the port closes again, the stream still runs on untouched.
    Run(
        [&](const DialogDriver& d)
        {
            d.Choose(IDC_MIDI_IN_DEVICE, "Keys");
            EXPECT_EQ(mPlatform.mMidiInput->mOpenPort, 0);
            d.End(IDCANCEL);
        });
    EXPECT_EQ(mPlatform.mMidiInput->mOpenPort, -1);
    EXPECT_STREQ(host.GetSettings().midiInputDevice.Get(), "off");
    EXPECT_EQ(Opens(), opens);
    EXPECT_EQ(mPlatform.mAudioCreated, 1);
}

TEST_F(PreferencesDialog, WithoutDevicesEveryListStaysEmpty)
{
    Start(/*noIO=*/true);
    Run(
        [](const DialogDriver& d)
        {
            for (int id : {IDC_AUDIO_IN_DEVICE,
                           IDC_AUDIO_OUT_DEVICE,
                           IDC_AUDIO_IN_LEFT,
                           IDC_AUDIO_OUT_RIGHT,
                           IDC_SAMPLE_RATE,
                           IDC_MIDI_IN_DEVICE,
                           IDC_MIDI_OUT_DEVICE,
                           IDC_MIDI_IN_CHANNEL,
                           IDC_MIDI_OUT_CHANNEL})
                EXPECT_EQ(d.List(id), Items{}) << id;
            EXPECT_EQ(d.Selected(IDC_BUFFER_SIZE), "512");
            d.End(IDOK);
        });
    EXPECT_EQ(mPlatform.mAudio, nullptr);
}

} // namespace
