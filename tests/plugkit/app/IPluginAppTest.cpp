#include "plugkit/app/IPluginApp.h"

#include "tests/support/AllocationGuard.h"
#include "tests/support/app/AppFakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plugkit;
using namespace plugkit::app;
using lumenfall::test::AllocationGuard;
using lumenfall::test::ProbeConfig;
using lumenfall::test::ProbePlugin;

namespace
{

/// The probe with a stereo chunk of silence ready to process.
class PluginAppTest : public ::testing::Test
{
protected:
    void Block(int frames = 64)
    {
        mIn.assign(2 * size_t(frames), 0.0);
        mOut.assign(2 * size_t(frames), 0.0);
        double* ins[2] = {mIn.data(), mIn.data() + frames};
        double* outs[2] = {mOut.data(), mOut.data() + frames};
        mPlugin.ProcessAudioBlock(ins, outs, frames);
    }
    MidiInputResult Queue(std::vector<uint8_t> bytes)
    {
        return mPlugin.QueueMidiInput(bytes.data(), bytes.size());
    }

    ProbePlugin mPlugin{nullptr};
    std::vector<double> mIn;
    std::vector<double> mOut;
};

TEST_F(PluginAppTest, IsPreparedForTheProgram)
{
    EXPECT_EQ(mPlugin.GetApi(), kPluginApiApp);
    EXPECT_EQ(mPlugin.GetBlockSize(), 512);
    EXPECT_EQ(mPlugin.NChannelsConnected(kInput), 2);
    EXPECT_EQ(mPlugin.NChannelsConnected(kOutput), 2);
    ASSERT_NE(mPlugin.GetTimer(), nullptr);
    EXPECT_EQ(mPlugin.GetTimer()->GetIntervalMs(), 20u);
}

TEST_F(PluginAppTest, VersionNumberPackedAndDecimal)
{
    // ProbeConfig's version is 1.2.3.
    EXPECT_EQ(mPlugin.GetVersionNumber(false), 66051);
    EXPECT_EQ(mPlugin.GetVersionNumber(true), 10203);
}

TEST_F(PluginAppTest, MidiInputBySize)
{
    // 0 bytes are nothing; 1 to 3 a short message (missing bytes 0); 4 to 512 SysEx; more is
    // dropped.
    EXPECT_EQ(Queue({}), MidiInputResult::Ignored);
    EXPECT_EQ(mPlugin.QueueMidiInput(nullptr, 3), MidiInputResult::Ignored);
    EXPECT_EQ(Queue({0xC0, 5}), MidiInputResult::Queued);
    EXPECT_EQ(Queue({0x90, 60, 100}), MidiInputResult::Queued);
    std::vector<uint8_t> sysEx(512, 0x11);
    sysEx.front() = 0xF0;
    sysEx.back() = 0xF7;
    EXPECT_EQ(Queue(sysEx), MidiInputResult::Queued);
    EXPECT_EQ(Queue(std::vector<uint8_t>(600, 0x22)), MidiInputResult::Ignored);
    EXPECT_EQ(Queue({0xF0, 1, 2, 0xF7}), MidiInputResult::Queued);

    Block();
    ASSERT_EQ(mPlugin.mMidiCount.load(), 2);
    EXPECT_EQ(mPlugin.mMidi[0].mStatus, 0xC0);
    EXPECT_EQ(mPlugin.mMidi[0].mData1, 5);
    EXPECT_EQ(mPlugin.mMidi[0].mData2, 0);
    EXPECT_EQ(mPlugin.mMidi[0].mOffset, 0);
    EXPECT_EQ(mPlugin.mMidi[1].mData2, 100);
    ASSERT_EQ(mPlugin.mSysExCount.load(), 2);
    EXPECT_EQ(mPlugin.mSysExSizes[0], 512);
    EXPECT_EQ(mPlugin.mSysExSizes[1], 4);
}

TEST_F(PluginAppTest, FullQueuesDropWithoutBlocking)
{
    for (int i = 0; i < IPluginApp::kMidiInputQueueSize; ++i)
        ASSERT_EQ(Queue({0x90, uint8_t(i), 1}), MidiInputResult::Queued) << i;
    EXPECT_EQ(Queue({0x90, 99, 1}), MidiInputResult::Full);
    for (int i = 0; i < IPluginApp::kSysExInputQueueSize; ++i)
        ASSERT_EQ(Queue({0xF0, uint8_t(i), 0, 0xF7}), MidiInputResult::Queued) << i;
    EXPECT_EQ(Queue({0xF0, 9, 0, 0xF7}), MidiInputResult::Full);

    // The next chunk takes them all, in order, before it is processed.
    Block();
    ASSERT_EQ(mPlugin.mMidiCount.load(), 32);
    for (int i = 0; i < 32; ++i)
    {
        EXPECT_EQ(mPlugin.mMidi[size_t(i)].mData1, i);
        EXPECT_EQ(mPlugin.mMidiBlock[size_t(i)], 0) << "reached the plug-in after the block";
    }
    EXPECT_EQ(mPlugin.mSysExCount.load(), 4);
    EXPECT_EQ(mPlugin.mLastSysEx[1], 3);
    EXPECT_EQ(mPlugin.mBlocks.load(), 1);

    // And there is room again.
    EXPECT_EQ(Queue({0x90, 1, 1}), MidiInputResult::Queued);
}

TEST_F(PluginAppTest, TimerTickSendsParameterChangesBeforeMidi)
{
    EXPECT_EQ(Queue({0x90, 60, 100}), MidiInputResult::Queued);
    EXPECT_EQ(Queue({0xF0, 1, 2, 3, 0xF7}), MidiInputResult::Queued);
    Block();
    // A value the processor changed during the same interval.
    mPlugin.SendParameterValueFromAPI(1, 75.0, false);
    ASSERT_TRUE(mPlugin.mUiEvents.empty());

    mPlugin.OnTimer(*mPlugin.GetTimer());
    EXPECT_EQ(mPlugin.mUiEvents, (std::vector<std::string>{"param 1", "midi 60", "sysex 5"}));
}

TEST_F(PluginAppTest, EditorMidiReachesTheProcessorOnly)
{
    mPlugin.SendMidiMsgFromUI(MidiMessage{0, 0xB0, 7, 64});
    Block();
    ASSERT_EQ(mPlugin.mMidiCount.load(), 1);
    EXPECT_EQ(mPlugin.mMidi[0].mData1, 7);
    mPlugin.OnTimer(*mPlugin.GetTimer());
    EXPECT_TRUE(mPlugin.mUiEvents.empty());
}

TEST_F(PluginAppTest, EditorResizeStoresTheSizeAndNeverResizesTheWindow)
{
    EXPECT_FALSE(mPlugin.EditorResize(1100, 760));
    EXPECT_EQ(mPlugin.GetEditorWidth(), 1100);
    EXPECT_FALSE(mPlugin.EditorResize(900, 600));
    EXPECT_EQ(mPlugin.GetEditorWidth(), 900);
    EXPECT_EQ(mPlugin.GetEditorHeight(), 600);
}

TEST_F(PluginAppTest, MissingInputsReadAsSilenceAndInstrumentsIgnoreThem)
{
    // A chunk without input pointers after one with them keeps nothing of the old buffers.
    mPlugin.mOutput = ProbePlugin::Output::CopyInput;
    std::vector<double> in(2 * 8, 0.5);
    std::vector<double> out(2 * 8, -1.0);
    double* ins[2] = {in.data(), in.data() + 8};
    double* outs[2] = {out.data(), out.data() + 8};
    mPlugin.ProcessAudioBlock(ins, outs, 8);
    EXPECT_EQ(out[0], 0.5);
    double* none[2] = {nullptr, nullptr};
    mPlugin.ProcessAudioBlock(none, outs, 8);
    EXPECT_EQ(out[0], 0.0);
    in.assign(in.size(), 0.5);
    mPlugin.ProcessAudioBlock(nullptr, outs, 8);
    EXPECT_EQ(out[15], 0.0);

    PluginConfig config = ProbeConfig();
    config.mType = kPluginTypeInstrument;
    ProbePlugin instrument(nullptr, config);
    instrument.ProcessAudioBlock(ins, outs, 8);
    EXPECT_EQ(out[0], 0.0);
}

TEST_F(PluginAppTest, ProcessingAllocatesNothing)
{
    Block(); // sizes the test's own vectors
    std::vector<double> in(2 * 512, 0.25);
    std::vector<double> out(2 * 512);
    double* ins[2] = {in.data(), in.data() + 512};
    double* outs[2] = {out.data(), out.data() + 512};
    const std::vector<uint8_t> note{0x90, 60, 100};
    const std::vector<uint8_t> sysEx(300, 0x33);
    AllocationGuard guard;
    mPlugin.QueueMidiInput(note.data(), note.size());
    mPlugin.QueueMidiInput(sysEx.data(), sysEx.size());
    mPlugin.ProcessAudioBlock(ins, outs, 512);
    EXPECT_EQ(guard.Count(), 0u);
}

} // namespace
