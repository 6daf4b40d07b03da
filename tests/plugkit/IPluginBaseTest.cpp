#include "plugkit/IPluginBase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace plugkit;

namespace
{

class TestPlugin : public IPluginBase
{
public:
    TestPlugin(int nParams, int nPresets)
        : IPluginBase(nParams, nPresets)
    {
        for (int i = 0; i < nParams; ++i)
            GetParam(i)->InitDouble("p", 0.0, -100.0, 100.0, 0.01);
    }

    void OnParamChange(int idx, ParamSource source, int) override
    {
        mEvents.push_back("change " + std::to_string(idx) + " " + ParamSourceName(source));
    }
    void OnRestoreState() override { mEvents.push_back("restore"); }
    void OnPresetRestored() override { mEvents.push_back("preset"); }
    bool SerializeState(IStateChunk& chunk) const override
    {
        return mFailWrites ? false : IPluginBase::SerializeState(chunk);
    }

    void SetValues(std::initializer_list<double> values)
    {
        int i = 0;
        for (double v : values)
            GetParam(i++)->Set(v);
    }

    bool mFailWrites = false;
    std::vector<std::string> mEvents;
};

TEST(PluginBase, ParametersSerialiseAsDoublesInIndexOrder)
{
    TestPlugin a(3, 0);
    a.SetValues({1.5, -2.25, 99.0});
    IStateChunk chunk;
    ASSERT_TRUE(a.SerializeParams(chunk));
    ASSERT_EQ(chunk.Size(), 24);
    double second = 0;
    chunk.GetDouble(second, 8);
    EXPECT_EQ(second, -2.25);

    TestPlugin b(3, 0);
    EXPECT_EQ(b.UnserializeState(chunk, 0), 24);
    EXPECT_EQ(b.GetParam(0)->Value(), 1.5);
    EXPECT_EQ(b.GetParam(1)->Value(), -2.25);
    EXPECT_EQ(b.GetParam(2)->Value(), 99.0);
    EXPECT_EQ(b.mEvents,
              (std::vector<std::string>{"change 0 Preset", "change 1 Preset", "change 2 Preset"}));

    TestPlugin none(0, 0);
    IStateChunk empty;
    EXPECT_TRUE(none.SerializeParams(empty));
    EXPECT_EQ(empty.Size(), 0);
}

TEST(PluginBase, ShortChunkAppliesWhatWasCompleteAndStillResets)
{
    TestPlugin a(3, 0);
    a.SetValues({1.0, 2.0, 3.0});
    IStateChunk chunk;
    a.SerializeParams(chunk);

    TestPlugin b(3, 0);
    EXPECT_EQ(b.UnserializeParams(chunk, 8), -1); // two values left for three parameters
    EXPECT_EQ(b.GetParam(0)->Value(), 2.0);
    EXPECT_EQ(b.GetParam(1)->Value(), 3.0);
    EXPECT_EQ(b.GetParam(2)->Value(), 0.0);
    EXPECT_EQ(b.mEvents.size(), 3u);
}

TEST(PluginBase, NonFiniteValuesAreRejectedNotRestored)
{
    for (double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
    {
        IStateChunk chunk;
        chunk.PutDouble(5.0);
        chunk.PutDouble(bad);
        chunk.PutDouble(7.0);
        TestPlugin b(3, 0);
        b.SetValues({0.0, 1.0, 2.0});
        EXPECT_EQ(b.UnserializeParams(chunk, 0), -1);
        EXPECT_EQ(b.GetParam(0)->Value(), 5.0);
        EXPECT_EQ(b.GetParam(1)->Value(), 1.0); // kept, not NaN
        EXPECT_EQ(b.GetParam(2)->Value(), 2.0); // reading stopped
    }
}

TEST(PluginBase, OutOfRangeValuesAreConstrained)
{
    IStateChunk chunk;
    chunk.PutDouble(1e9);
    TestPlugin b(1, 0);
    EXPECT_EQ(b.UnserializeParams(chunk, 0), 8);
    EXPECT_EQ(b.GetParam(0)->Value(), 100.0);
}

// A start outside the chunk reads nothing and fails as -1, never as the start itself: with
// parameters (where the first read would also fail) and without (where nothing else checks).
TEST(PluginBase, StartOutsideTheChunkReadsNothingAndFails)
{
    IStateChunk chunk;
    for (double v : {1.0, 2.0, 3.0})
        chunk.PutDouble(v);
    for (int nParams : {3, 0})
        for (int start : {-1, -2, std::numeric_limits<int>::min(), 25})
        {
            TestPlugin b(nParams, 0);
            EXPECT_EQ(b.UnserializeParams(chunk, start), -1) << nParams << " at " << start;
            EXPECT_EQ(b.UnserializeState(chunk, start), -1) << nParams << " at " << start;
            for (int i = 0; i < nParams; ++i)
                EXPECT_EQ(b.GetParam(i)->Value(), 0.0);
        }

    TestPlugin none(0, 0);
    EXPECT_EQ(none.UnserializeParams(chunk, 24), 24); // the end: nothing to read, read whole
    EXPECT_EQ(none.UnserializeParams(IStateChunk(), 0), 0);
}

// Without parameters the state is empty, and restoring it reads 0 bytes: a success.
TEST(PluginBase, EmptyStatePresetRestores)
{
    TestPlugin p(0, 1);
    ASSERT_TRUE(p.RestorePreset(0)); // captures the empty state
    ASSERT_TRUE(p.GetPreset(0)->mInitialized.load());
    p.mEvents.clear();
    EXPECT_TRUE(p.RestorePreset(0));
    EXPECT_EQ(p.mEvents, (std::vector<std::string>{"preset", "restore"}));
}

TEST(PluginBase, PresetsFillSlotsInOrderAndRestore)
{
    TestPlugin p(2, 26);
    EXPECT_EQ(p.NPresets(), 26);
    EXPECT_STREQ(p.GetPresetName(0), "empty");
    for (int k = 0; k < 26; ++k)
    {
        TestPlugin source(2, 0);
        source.SetValues({double(k), -double(k)});
        IStateChunk chunk;
        source.SerializeState(chunk);
        ASSERT_TRUE(p.MakePresetFromChunk(("Preset " + std::to_string(k)).c_str(), chunk));
    }
    IStateChunk extra;
    extra.PutDouble(0.0);
    EXPECT_FALSE(p.MakePresetFromChunk("no room", extra));
    EXPECT_STREQ(p.GetPresetName(25), "Preset 25");
    EXPECT_STREQ(p.GetPresetName(26), "");
    EXPECT_STREQ(p.GetPresetName(-1), "");

    EXPECT_FALSE(p.RestorePreset(26));
    EXPECT_FALSE(p.RestorePreset(-1));
    EXPECT_EQ(p.GetCurrentPresetIdx(), 0);
    p.mEvents.clear();
    ASSERT_TRUE(p.RestorePreset(25));
    EXPECT_EQ(p.GetCurrentPresetIdx(), 25);
    EXPECT_EQ(p.GetParam(0)->Value(), 25.0);
    EXPECT_EQ(p.GetParam(1)->Value(), -25.0);
    EXPECT_EQ(p.mEvents.back(), "restore");
    EXPECT_EQ(p.mEvents[p.mEvents.size() - 2], "preset");
}

TEST(PluginBase, PresetNamesAreCutAt255Characters)
{
    TestPlugin p(1, 1);
    const std::string longName(300, 'x');
    IStateChunk chunk;
    p.SerializeState(chunk);
    ASSERT_TRUE(p.MakePresetFromChunk(longName.c_str(), chunk));
    EXPECT_EQ(std::strlen(p.GetPresetName(0)), 255u);
}

TEST(PluginBase, RestoringEmptySlotsMakesNumberedUserPresets)
{
    TestPlugin p(2, 3);
    p.SetValues({4.0, 5.0});
    ASSERT_TRUE(p.RestorePreset(0));
    EXPECT_STREQ(p.GetPresetName(0), "user preset 1");
    p.SetValues({6.0, 7.0});
    ASSERT_TRUE(p.RestorePreset(1));
    EXPECT_STREQ(p.GetPresetName(1), "user preset 2");
    EXPECT_EQ(p.GetCurrentPresetIdx(), 1);

    p.SetValues({0.0, 0.0});
    ASSERT_TRUE(p.RestorePreset(0)); // now filled: applies the captured values
    EXPECT_EQ(p.GetParam(0)->Value(), 4.0);
    EXPECT_EQ(p.GetParam(1)->Value(), 5.0);
}

TEST(PluginBase, FailedCaptureLeavesTheSlotEmpty)
{
    TestPlugin p(2, 2);
    p.mFailWrites = true;
    EXPECT_FALSE(p.RestorePreset(1));
    EXPECT_FALSE(p.GetPreset(1)->mInitialized.load());
    EXPECT_STREQ(p.GetPresetName(1), "empty");
    EXPECT_EQ(p.GetPreset(1)->mState.Size(), 0);
    EXPECT_EQ(p.GetCurrentPresetIdx(), 0);
    EXPECT_TRUE(p.mEvents.empty()); // neither the preset hook nor the editor heard of it

    p.mFailWrites = false; // a later capture works and counts from 1
    ASSERT_TRUE(p.RestorePreset(1));
    EXPECT_STREQ(p.GetPresetName(1), "user preset 1");
}

TEST(PluginBase, UnreadablePresetChangesNothing)
{
    TestPlugin p(2, 2);
    IStateChunk good, shortChunk;
    p.SerializeState(good);
    shortChunk.PutDouble(1.0); // one value for two parameters
    ASSERT_TRUE(p.MakePresetFromChunk("good", good));
    ASSERT_TRUE(p.MakePresetFromChunk("short", shortChunk));
    ASSERT_TRUE(p.RestorePreset(0));
    p.mEvents.clear();
    EXPECT_FALSE(p.RestorePreset(1));
    EXPECT_EQ(p.GetCurrentPresetIdx(), 0);
    for (const std::string& e : p.mEvents)
        EXPECT_TRUE(e != "restore" && e != "preset") << e;
}

} // namespace
