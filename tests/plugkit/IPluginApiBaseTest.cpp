#include "plugkit/IPluginApiBase.h"

#include "tests/support/AllocationGuard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace plugkit;

namespace
{

PluginConfig TestConfig()
{
    PluginConfig c;
    c.mNParams = 2;
    c.mNPresets = 1;
    c.mChannelIO = "1-1 2-2";
    c.mPluginName = "LUMENFALL";
    c.mProductName = "LUMENFALL";
    c.mMakerName = "TESSALINE";
    c.mVersion = 0x010203;
    c.mUniqueId = 0x4C6D666C; // 'Lmfl'
    c.mMakerId = 0x54736C6E;  // 'Tsln'
    c.mHasUI = true;
    c.mEditorWidth = 1100;
    c.mEditorHeight = 760;
    c.mMinWidth = 3300; // given swapped on purpose
    c.mMaxWidth = 366;
    c.mMinHeight = 253;
    c.mMaxHeight = 2280;
    c.mHostResize = true;
    return c;
}

/// Records what the framework tells the host and the editor.
class TestApi : public IPluginApiBase
{
public:
    explicit TestApi(const PluginConfig& config = TestConfig())
        : IPluginApiBase(config, kPluginApiVst3)
    {
        GetParam(0)->InitDouble("Gain", 0.0, -60.0, 0.0, 0.01);
        GetParam(1)->InitDouble("Mix", 50.0, 0.0, 100.0, 0.01);
    }

    void InformHostOfParamChange(int idx, double normalized) override
    {
        mLog.push_back("host " + std::to_string(idx) + " " + std::to_string(normalized));
    }
    void BeginInformHostOfParamChange(int idx) override
    {
        mLog.push_back("begin " + std::to_string(idx));
    }
    void EndInformHostOfParamChange(int idx) override
    {
        mLog.push_back("end " + std::to_string(idx));
    }
    bool EditorResize(int w, int h) override
    {
        mLog.push_back("resize " + std::to_string(w) + "x" + std::to_string(h));
        return mResizeResult;
    }
    void OnParamChange(int idx) override { mLog.push_back("plugin " + std::to_string(idx)); }
    void OnParamChangeUI(int idx, ParamSource source) override
    {
        mLog.push_back("ui " + std::to_string(idx) + " " + ParamSourceName(source));
    }
    void OnHostIdentified() override { mLog.push_back("host identified"); }
    void OnIdle() override { mLog.push_back("idle"); }
    void OnMidiMsgUI(const MidiMessage& msg) override { mMidi.push_back(msg.mData1); }
    void OnSysexMsgUI(const SysExMessage& msg) override
    {
        mSysEx.emplace_back(reinterpret_cast<const char*>(msg.mData), msg.mSize);
    }

    // The processor side of the queues.
    bool PushMidiToEditor(const MidiMessage& m) { return mMidiMsgsFromProcessor.Push(m); }
    bool PushSysExToEditor(const SysExMessage& m)
    {
        SysExQueueEntry e;
        return e.Assign(m) && mSysExDataFromProcessor.Push(e);
    }
    int MidiFromEditor() const { return mMidiMsgsFromEditor.ElementsAvailable(); }
    int SysExFromEditor() const { return mSysExDataFromEditor.ElementsAvailable(); }
    bool PopParamChange(ParamChange& c) { return mParamChangeFromProcessor.Pop(c); }

    bool mResizeResult = true;
    std::vector<std::string> mLog;
    std::vector<int> mMidi;
    std::vector<std::string> mSysEx;
};

TEST(HostApp, NamesIdentifyInTableOrder)
{
    const std::pair<const char*, int> cases[] = {
        {"Cubase 13", kHostCubase},
        {"WaveLab Elements 12", kHostWaveLabElements}, // before "wavelab"
        {"WaveLab Pro", kHostWaveLab},
        {"REAPER", kHostReaper},
        {"Ableton Live 11", kHostAbletonLive},
        {"Oliver's Host", kHostAbletonLive}, // contains "live"
        {"Bitwig Studio", kHostBitwig},
        {"Blue Cat's VST Host", kHostBlueCat},
        {"standalone", kHostStandalone},
        {"Ardour 8", kHostArdour},
        {"Mixbus", kHostMixbus},
        {"VST3PluginTestHost", kHostVST3TestHost},
        {"www", kHostWWW},
        {"SomeNewDAW", kHostUnknown},
        {"", kHostUnknown},
        {nullptr, kHostUnknown},
    };
    for (auto [name, host] : cases)
        EXPECT_EQ(LookUpHost(name), host) << (name ? name : "(null)");
}

TEST(HostApp, OnlyTheFirst255CharactersAreSearched)
{
    std::string name(250, '_');
    EXPECT_EQ(LookUpHost((name + "reaper").c_str()), kHostUnknown); // key crosses 255
    name.resize(249);
    EXPECT_EQ(LookUpHost((name + "reaper").c_str()), kHostReaper); // ends at 255
}

TEST(PluginApiBase, ConfigurationReachesTheBasesAndTheEditor)
{
    TestApi p;
    EXPECT_STREQ(p.GetPluginName(), "LUMENFALL");
    EXPECT_STREQ(p.GetMakerName(), "TESSALINE");
    EXPECT_EQ(p.GetUniqueId(), 0x4C6D666C);
    EXPECT_EQ(p.GetVersionNumber(), 66051);
    EXPECT_EQ(p.GetVersionNumber(true), 10203);
    EXPECT_EQ(p.GetApi(), kPluginApiVst3);
    EXPECT_TRUE(p.HasUI());
    EXPECT_TRUE(p.GetHostResizeEnabled());
    EXPECT_EQ(p.GetHost(), kHostUninit);
    // The editor size is known before any resize.
    EXPECT_EQ(p.GetEditorWidth(), 1100);
    EXPECT_EQ(p.GetEditorHeight(), 760);
    EXPECT_EQ(p.GetMinWidth(), 366);
    EXPECT_EQ(p.GetMaxWidth(), 3300);
    EXPECT_EQ(p.GetMinHeight(), 253);
    EXPECT_EQ(p.GetMaxHeight(), 2280);
    EXPECT_EQ(p.NParams(), 2);
    EXPECT_EQ(p.NPresets(), 1);

    PluginConfig longNames = TestConfig();
    const std::string name(200, 'n');
    longNames.mPluginName = name.c_str();
    TestApi q(longNames);
    EXPECT_EQ(std::strlen(q.GetPluginName()), 128u);
}

TEST(PluginApiBase, SetHostIdentifiesTheHost)
{
    TestApi p;
    p.SetHost("Cubase 13", 0x0D0000);
    EXPECT_EQ(p.GetHost(), kHostCubase);
    EXPECT_STREQ(p.GetHostName(), "Cubase 13");
    EXPECT_EQ(p.GetHostVersion(), 0x0D0000);
    EXPECT_EQ(p.mLog, std::vector<std::string>{"host identified"});
    HeapString version;
    p.SetHost("Ardour", 0x010203);
    p.GetHostVersionStr(version);
    EXPECT_STREQ(version.Get(), "v1.2.3");
    p.SetHost("", 0);
    EXPECT_EQ(p.GetHost(), kHostUnknown);
}

TEST(PluginApiBase, EditorEditsReachTheHostThenThePlugin)
{
    TestApi p;
    p.BeginInformHostOfParamChangeFromUI(1);
    p.SendParameterValueFromUI(1, 0.25);
    p.EndInformHostOfParamChangeFromUI(1);
    EXPECT_EQ(p.GetParam(1)->Value(), 25.0);
    EXPECT_EQ(
        p.mLog,
        (std::vector<std::string>{"begin 1", "host 1 0.250000", "plugin 1", "ui 1 UI", "end 1"}));

    // A value that is not a number reaches neither the parameter nor the host.
    p.mLog.clear();
    p.SetParameterValue(1, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(p.GetParam(1)->Value(), 25.0);
    EXPECT_TRUE(p.mLog.empty());

    p.mLog.clear();
    p.InformHostOfAllParams();
    EXPECT_EQ(p.mLog, (std::vector<std::string>{"host 0 1.000000", "host 1 0.250000"}));
}

TEST(PluginApiBase, EditorResizeAsksTheHostOnlyForAPlatformResize)
{
    TestApi p;
    EXPECT_TRUE(p.EditorResizeFromUI(800, 600, false));
    EXPECT_TRUE(p.mLog.empty());
    p.mResizeResult = false;
    EXPECT_FALSE(p.EditorResizeFromUI(800, 600, true));
    EXPECT_EQ(p.mLog, std::vector<std::string>{"resize 800x600"});
}

TEST(PluginApiBase, TimerTickDeliversQueuedMidiAndSysExThenIdles)
{
    TestApi p;
    for (int i = 0; i < 33; ++i)
        p.PushMidiToEditor(MidiMessage{0, 0x90, static_cast<uint8_t>(i), 100});
    const uint8_t bytes[] = {0xF0, 0x7E, 0xF7};
    ASSERT_TRUE(p.PushSysExToEditor(SysExMessage{0, 3, bytes}));

    p.CreateTimer();
    ASSERT_NE(p.GetTimer(), nullptr);
    p.OnTimer(*p.GetTimer());
    ASSERT_EQ(p.mMidi.size(), 32u); // the 33rd was dropped
    EXPECT_EQ(p.mMidi.front(), 0);
    EXPECT_EQ(p.mMidi.back(), 31);
    ASSERT_EQ(p.mSysEx.size(), 1u);
    EXPECT_EQ(p.mSysEx[0], std::string("\xF0\x7E\xF7", 3));
    EXPECT_EQ(p.mLog, std::vector<std::string>{"idle"});

    p.OnTimer(*p.GetTimer()); // drained: only idle
    EXPECT_EQ(p.mMidi.size(), 32u);
    EXPECT_EQ(p.mLog.size(), 2u);
}

#if !defined(_WIN32)
TEST(PluginApiBase, TimerRunsTheTickAndStopsWithThePlugin)
{
    const int before = Timer::NumRunning();
    {
        TestApi p;
        p.CreateTimer();
        p.CreateTimer(); // replaces the first
        EXPECT_EQ(Timer::NumRunning(), before + 1);
        EXPECT_EQ(p.GetTimer()->GetIntervalMs(), 20u);
        Timer::TickAll();
        EXPECT_EQ(p.mLog, std::vector<std::string>{"idle"});
    }
    EXPECT_EQ(Timer::NumRunning(), before);
}
#endif

TEST(PluginApiBase, EditorMessagesAreQueuedForTheProcessor)
{
    TestApi p;
    for (int i = 0; i < 40; ++i)
        p.SendMidiMsgFromUI(MidiMessage{0, 0x80, 1, 2});
    EXPECT_EQ(p.MidiFromEditor(), 32);

    std::vector<uint8_t> big(513, 1);
    p.SendSysexMsgFromUI(SysExMessage{0, 513, big.data()}); // does not fit an entry
    EXPECT_EQ(p.SysExFromEditor(), 0);
    for (int i = 0; i < 6; ++i)
        p.SendSysexMsgFromUI(SysExMessage{0, 512, big.data()});
    EXPECT_EQ(p.SysExFromEditor(), 4);
}

TEST(PluginApiBase, ProcessorValuesAreQueuedInRealUnits)
{
    TestApi p;
    {
        lumenfall::test::AllocationGuard guard; // the audio thread's side
        p.SendParameterValueFromAPI(1, 0.5, true);
        p.SendParameterValueFromAPI(0, -30.0, false);
        p.SendParameterValueFromAPI(0, std::numeric_limits<double>::infinity(), false);
        p.SendParameterValueFromAPI(7, 1.0, false); // no such parameter
        EXPECT_EQ(guard.Count(), 0u);
    }
    ParamChange c;
    ASSERT_TRUE(p.PopParamChange(c));
    EXPECT_EQ(c.mIdx, 1);
    EXPECT_EQ(c.mValue, 50.0);
    ASSERT_TRUE(p.PopParamChange(c));
    EXPECT_EQ(c.mValue, -30.0);
    EXPECT_FALSE(p.PopParamChange(c));
}

TEST(PluginApiBase, CompareStateWithinFloatTolerance)
{
    TestApi p;
    p.GetParam(0)->Set(-12.0);
    p.GetParam(1)->Set(40.0);
    const double same[] = {9.0, -12.0, 40.000001};
    const double other[] = {9.0, -12.0, 40.01};
    EXPECT_TRUE(p.CompareState(same, 1));
    EXPECT_FALSE(p.CompareState(other, 1));
}

} // namespace
