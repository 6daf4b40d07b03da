#include "plugkit/app/StandaloneHost.h"

#include "tests/support/app/AppFakes.h"

#include <gtest/gtest.h>

#include <atomic>
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

/// What a stream callback behind the gate saw: its calls, and a call in flight when the gate
/// said it was shut.
struct GatedCallback
{
    static int Call(void* output, void*, unsigned int frames, double, unsigned int, void* user)
    {
        auto& self = *static_cast<GatedCallback*>(user);
        self.inside.store(true);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        for (unsigned int i = 0; i < frames * 2; ++i)
            static_cast<double*>(output)[i] = 1.0;
        self.calls.fetch_add(1);
        self.inside.store(false);
        return 7;
    }
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
};

TEST(StreamCallbackGate, OnceShutTheStreamReachesNothingAndGetsSilence)
{
    GatedCallback callback;
    StreamCallbackGate gate;
    gate.Connect(&GatedCallback::Call, &callback, 2);
    std::atomic<bool> run{true};
    std::atomic<int> answers{0};
    std::atomic<bool> silentAfterShut{true};
    std::atomic<bool> shut{false};
    // A device thread that goes on calling, as a given-up layer's may.
    std::thread device(
        [&]
        {
            double out[2 * 16];
            while (run.load())
            {
                for (double& x : out)
                    x = -1.0;
                const bool wasShut = shut.load();
                answers.fetch_add(StreamCallbackGate::Forward(out, nullptr, 16, 0.0, 0, &gate) ==
                                  7);
                if (wasShut)
                    for (double x : out)
                        if (x != 0.0)
                            silentAfterShut.store(false);
            }
        });
    while (callback.calls.load() < 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    gate.Disconnect();
    EXPECT_FALSE(callback.inside.load()) << "a call in flight was not waited for";
    shut.store(true);
    const int calls = callback.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    run.store(false);
    device.join();
    EXPECT_EQ(callback.calls.load(), calls);
    EXPECT_EQ(answers.load(), calls);
    EXPECT_TRUE(silentAfterShut.load());
}

} // namespace
