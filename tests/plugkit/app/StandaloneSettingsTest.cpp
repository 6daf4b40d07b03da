#include "plugkit/app/StandaloneSettings.h"

#include "tests/support/app/AppFakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace plugkit;
using namespace plugkit::app;
using lumenfall::test::FakeSettingsStore;
using lumenfall::test::kDefaultSettingsFile;

namespace
{

TEST(StandaloneSettings, DefaultsAreWrittenInTheFileOrder)
{
    FakeSettingsStore store;
    ASSERT_TRUE(WriteSettings(store, StandaloneSettings{}));
    std::vector<std::string> order;
    for (const auto& [key, value] : kDefaultSettingsFile)
    {
        order.push_back(key);
        const auto slash = key.find('/');
        EXPECT_EQ(store.Get(key.substr(0, slash), key.substr(slash + 1)), value) << key;
    }
    EXPECT_EQ(store.mWrites, order);
}

TEST(StandaloneSettings, MissingKeysTakeTheFileDefaults)
{
    // A file whose only entry is a sample rate.
    FakeSettingsStore store;
    store.mKeys["audio"]["sr"] = "48000";
    StandaloneSettings s;
    s.bufferSize = 64; // whatever was in memory is replaced
    ReadSettings(store, s);
    EXPECT_EQ(s.sampleRate, 48000u);
    EXPECT_STREQ(s.audioInputDevice.Get(), "Built-in Input");
    EXPECT_STREQ(s.audioOutputDevice.Get(), "Built-in Output");
    EXPECT_STREQ(s.midiInputDevice.Get(), "no input");
    EXPECT_STREQ(s.midiOutputDevice.Get(), "no output");
    StandaloneSettings expected;
    expected.sampleRate = 48000;
    expected.audioInputDevice.Set("Built-in Input");
    expected.audioOutputDevice.Set("Built-in Output");
    expected.midiInputDevice.Set("no input");
    expected.midiOutputDevice.Set("no output");
    EXPECT_TRUE(s == expected);
}

TEST(StandaloneSettings, NumbersOutsideTheirRangeFallBackToTheDefaults)
{
    struct Case
    {
        const char* section;
        const char* key;
        const char* text;
        uint32_t expected;
        uint32_t StandaloneSettings::*field;
    };
    using S = StandaloneSettings;
    const std::vector<Case> cases = {
        {"audio", "sr", "96000", 96000, &S::sampleRate},
        {"audio", "sr", " 22050 ", 22050, &S::sampleRate},
        {"audio", "sr", "0", 44100, &S::sampleRate},
        {"audio", "sr", "-48000", 44100, &S::sampleRate},
        {"audio", "sr", "48000x", 44100, &S::sampleRate},
        {"audio", "sr", "4294967296", 44100, &S::sampleRate},
        {"audio", "sr", "", 44100, &S::sampleRate},
        {"audio", "sr", "999999", 44100, &S::sampleRate},
        {"audio", "buffer", "1000", 1000, &S::bufferSize},
        {"audio", "buffer", "0", 512, &S::bufferSize},
        {"audio", "buffer", "16", 512, &S::bufferSize},
        {"audio", "buffer", "100000", 512, &S::bufferSize},
        {"audio", "in1", "3", 3, &S::audioInputLeft},
        {"audio", "in1", "0", 1, &S::audioInputLeft},
        {"audio", "in2", "4096", 2, &S::audioInputRight},
        {"audio", "out1", "abc", 1, &S::audioOutputLeft},
        {"audio", "out2", "-2", 2, &S::audioOutputRight},
        {"audio", "driver", "1", 0, &S::driverType},
        {"midi", "inchan", "16", 16, &S::midiInputChannel},
        {"midi", "inchan", "17", 0, &S::midiInputChannel},
        {"midi", "outchan", "3.5", 0, &S::midiOutputChannel},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.key) + "=" + c.text);
        FakeSettingsStore store;
        store.mKeys[c.section][c.key] = c.text;
        StandaloneSettings s;
        ReadSettings(store, s);
        EXPECT_EQ(s.*c.field, c.expected);
    }
}

TEST(StandaloneSettings, NamesAreCutAt99BytesOnACharacterBoundary)
{
    const auto repeat = [](const char* unit, int n, const char* prefix = "")
    {
        std::string s = prefix;
        for (int i = 0; i < n; ++i)
            s += unit;
        return s;
    };
    struct Case
    {
        std::string stored;
        std::string read;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {repeat("a", 99), repeat("a", 99)},
        {repeat("a", 120), repeat("a", 99)},
        {repeat("\xC3\xA9", 50), repeat("\xC3\xA9", 49)},         // 100 bytes of 2-byte letters
        {repeat("\xE9\x9F\xB3", 34), repeat("\xE9\x9F\xB3", 33)}, // 102 bytes of 3-byte ones
        {repeat("\xF0\x9F\x8E\xB5", 30, "a"), repeat("\xF0\x9F\x8E\xB5", 24, "a")},
    };
    for (const Case& c : cases)
    {
        FakeSettingsStore store;
        store.mKeys["audio"]["outdev"] = c.stored;
        StandaloneSettings s;
        ReadSettings(store, s);
        EXPECT_EQ(s.audioOutputDevice.Get(), c.read) << c.stored.size();
    }
}

TEST(StandaloneSettings, EqualityAndTheAudioAndMidiParts)
{
    using S = StandaloneSettings;
    struct Case
    {
        const char* field;
        std::function<void(S&)> change;
        bool audio; ///< part of the audio settings (else of the MIDI settings)
    };
    const std::vector<Case> cases = {
        {"audioInputDevice", [](S& s) { s.audioInputDevice.Set("X"); }, true},
        {"audioOutputDevice", [](S& s) { s.audioOutputDevice.Set("Default device"); }, true},
        {"driverType", [](S& s) { s.driverType = 1; }, true},
        {"sampleRate", [](S& s) { s.sampleRate = 48000; }, true},
        {"bufferSize", [](S& s) { s.bufferSize = 256; }, true},
        {"audioInputLeft", [](S& s) { s.audioInputLeft = 3; }, true},
        {"audioInputRight", [](S& s) { s.audioInputRight = 3; }, true},
        {"audioOutputLeft", [](S& s) { s.audioOutputLeft = 3; }, true},
        {"audioOutputRight", [](S& s) { s.audioOutputRight = 3; }, true},
        {"midiInputDevice", [](S& s) { s.midiInputDevice.Set("Keys"); }, false},
        {"midiOutputDevice", [](S& s) { s.midiOutputDevice.Set("Synth"); }, false},
        {"midiInputChannel", [](S& s) { s.midiInputChannel = 1; }, false},
        {"midiOutputChannel", [](S& s) { s.midiOutputChannel = 16; }, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.field);
        S a;
        S b;
        c.change(b);
        EXPECT_FALSE(a == b);
        EXPECT_EQ(AudioSettingsMatch(a, b), !c.audio);
        EXPECT_EQ(MidiSettingsMatch(a, b), c.audio);
        a = b; // a copy carries every field
        EXPECT_TRUE(a == b);
    }
}

} // namespace
