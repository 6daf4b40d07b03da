#include "plugkit/app/StandaloneHost.h"

#include "tests/app/AppFakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace plugkit;
using namespace plugkit::app;
using namespace lumenfall::test;

namespace
{

/// A host whose stream runs on the fake layer's own thread, as a device's would.
class AppThreadsTest : public ::testing::Test
{
protected:
    AppThreadsTest()
    {
        AddTypicalDevices(mPlatform);
        mPlatform.mThreadedAudio = true;
        mHost = StandaloneHost::Create(mPlatform);
        EXPECT_TRUE(mHost->Initialize());
        Probe(*mHost).mOutput = ProbePlugin::Output::Ones;
        EXPECT_TRUE(mHost->ApplyAudioSettings());
    }
    ~AppThreadsTest() override { delete mHost; }

    void WaitForCallbacks(int count)
    {
        while (mPlatform.mAudio->mCallbacks.load() < count)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    FakePlatform mPlatform;
    StandaloneHost* mHost = nullptr;
};

TEST_F(AppThreadsTest, StopWaitsForTheFadeOutThenAborts)
{
    WaitForCallbacks(5);
    mHost->StopAudioStream();
    FakeAudioDevices& audio = *mPlatform.mAudio;
    EXPECT_TRUE(audio.mSawFadeOut.load());
    EXPECT_FALSE(audio.mSoundAfterFadeOut.load());
    EXPECT_EQ(audio.mAborts, 1);
    EXPECT_FALSE(audio.IsStreamOpen());

    // A stream opened again runs from a fade-in.
    ASSERT_TRUE(mHost->ApplyAudioSettings());
    WaitForCallbacks(3);
    mHost->StopAudioStream();
    EXPECT_TRUE(audio.mSawFadeOut.load());
}

TEST_F(AppThreadsTest, MidiCrossesFromItsThreadInOrder)
{
    ProbePlugin& plugin = Probe(*mHost);
    constexpr int kMessages = 3000;
    int queued = 0;
    std::thread midi(
        [&]
        {
            for (int i = 0; i < kMessages; ++i)
            {
                const uint8_t note[3] = {0x90, uint8_t(i >> 7), uint8_t(i & 127)};
                queued += plugin.QueueMidiInput(note, 3) == MidiInputResult::Queued;
                if (i % 16 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    midi.join();
    const int callbacks = mPlatform.mAudio->mCallbacks.load();
    WaitForCallbacks(callbacks + 2); // the last queued messages are taken
    mHost->StopAudioStream();
    EXPECT_GT(queued, 0);
    EXPECT_EQ(plugin.mMidiTotal.load(), queued);
    EXPECT_FALSE(plugin.mMidiOutOfOrder.load());
}

TEST_F(AppThreadsTest, MidiArrivingDuringTheTeardownIsDroppedBeforeThePluginGoes)
{
    ProbePlugin& plugin = Probe(*mHost);
    FakeMidiInput& input = *mPlatform.mMidiInput;
    input.StartSending({0x90, 60, 100});
    while (plugin.mMidiTotal.load() < 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    // The teardown stops the stream, then cancels the callback. In between the port keeps
    // sending; with the exit flag set nothing reaches the plug-in's queue (one message may have
    // passed the flag just before it was set).
    int leftInQueue = -1;
    input.mOnCancel = [&]
    {
        const int delivered = input.mDelivered.load();
        while (input.mDelivered.load() < delivered + 64)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const int before = plugin.mMidiTotal.load();
        double* none[2] = {nullptr, nullptr};
        plugin.ProcessAudioBlock(none, none, 16);
        leftInQueue = plugin.mMidiTotal.load() - before;
    };
    delete mHost;
    mHost = nullptr;
    EXPECT_GE(leftInQueue, 0);
    EXPECT_LE(leftInQueue, 1);
}

} // namespace
