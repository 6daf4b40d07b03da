#include "plugkit/app/AudioCallback.h"

#include "tests/support/AllocationGuard.h"
#include "tests/support/app/AppFakes.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using namespace plugkit;
using namespace plugkit::app;
using lumenfall::test::AllocationGuard;
using lumenfall::test::ProbePlugin;

namespace
{

TEST(ApplyLinearFade, RampsEveryChannelByItsFrameIndex)
{
    // Two channels of four frames: in k / 4, out (3 - k) / 4, on every channel alike.
    std::vector<double> in(8, 2.0);
    ApplyLinearFade(in.data(), 2, 4, false);
    EXPECT_EQ(in, (std::vector<double>{0.0, 0.5, 1.0, 1.5, 0.0, 0.5, 1.0, 1.5}));

    std::vector<double> out(8, 2.0);
    ApplyLinearFade(out.data(), 2, 4, true);
    EXPECT_EQ(out, (std::vector<double>{1.5, 1.0, 0.5, 0.0, 1.5, 1.0, 0.5, 0.0}));
}

/// A callback feeding a probe plug-in directly, as the stream would.
class AudioCallbackTest : public ::testing::Test
{
protected:
    AudioCallbackTest() { EXPECT_TRUE(mCallback.Prepare(&mPlugin)); }

    /// One device buffer of `n` frames whose input holds `input(c, k)`; returns the output.
    template <typename F>
    std::vector<double> Run(uint32_t n, F input, bool withInput = true)
    {
        std::vector<double> in(2 * size_t(n));
        for (uint32_t c = 0; c < 2; ++c)
            for (uint32_t k = 0; k < n; ++k)
                in[c * n + k] = input(c, k);
        std::vector<double> out(2 * size_t(n), -7.0);
        mCallback.Process(out.data(), withInput ? in.data() : nullptr, n);
        return out;
    }
    std::vector<double> RunOnes(uint32_t n)
    {
        return Run(n, [](uint32_t, uint32_t) { return 1.0; });
    }

    ProbePlugin mPlugin{nullptr};
    AudioCallback mCallback;
};

TEST_F(AudioCallbackTest, ChunksCoverEachDeviceBufferExactly)
{
    struct Case
    {
        uint32_t frames;
        std::vector<int> chunks;
    };
    const std::vector<Case> cases = {
        {32, {32}},
        {256, {256}},
        {512, {512}},
        {1000, {512, 488}},
        {2048, {512, 512, 512, 512}},
        {8192, std::vector<int>(16, 512)},
    };
    RunOnes(64); // the fading first buffer
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.frames);
        const int before = mPlugin.mBlocks.load();
        mPlugin.mInput0Size.store(0);
        // Every frame of each channel carries its own value; the plug-in copies input to output.
        const auto out =
            Run(c.frames, [](uint32_t ch, uint32_t k) { return double(ch * 100000 + k); });

        const std::vector<int> seen(mPlugin.mBlockFrames.begin() + before,
                                    mPlugin.mBlockFrames.begin() + mPlugin.mBlocks.load());
        EXPECT_EQ(seen, c.chunks);
        ASSERT_EQ(mPlugin.mInput0Size.load(), int(c.frames));
        for (uint32_t k = 0; k < c.frames; ++k)
        {
            ASSERT_EQ(mPlugin.mInput0[k], float(k)) << k;
            ASSERT_EQ(out[k], double(k)) << k;
            ASSERT_EQ(out[c.frames + k], double(100000 + k)) << k;
        }
    }
}

TEST_F(AudioCallbackTest, FirstBufferFadesInAndStopFadesOutThenSilence)
{
    constexpr uint32_t n = 600; // two chunks, so the ramp spans a chunk boundary
    mPlugin.mOutput = ProbePlugin::Output::Ones;

    // The first buffer: the input ramps in before the plug-in sees it, the output after.
    auto out = RunOnes(n);
    for (uint32_t k = 0; k < n; ++k)
    {
        const double factor = double(k) / double(n);
        ASSERT_EQ(mPlugin.mInput0[k], float(factor)) << k;
        ASSERT_EQ(out[k], factor) << k;
        ASSERT_EQ(out[n + k], factor) << k;
    }

    // Later buffers pass untouched.
    out = RunOnes(n);
    for (double v : out)
        ASSERT_EQ(v, 1.0);
    EXPECT_FALSE(mCallback.IsFadedOut());

    // The buffer after the stop request ramps out, on input and output.
    mCallback.RequestStop();
    mPlugin.mInput0Size.store(0);
    out = RunOnes(n);
    for (uint32_t k = 0; k < n; ++k)
    {
        const double factor = double(n - 1 - k) / double(n);
        ASSERT_EQ(mPlugin.mInput0[k], float(factor)) << k;
        ASSERT_EQ(out[k], factor) << k;
        ASSERT_EQ(out[n + k], factor) << k;
    }
    EXPECT_TRUE(mCallback.IsFadedOut());

    // Every buffer after it is silent, and the plug-in no longer runs.
    const int blocks = mPlugin.mBlocks.load();
    out = RunOnes(n);
    for (double v : out)
        ASSERT_EQ(v, 0.0);
    EXPECT_EQ(mPlugin.mBlocks.load(), blocks);

    // Preparing for the next stream fades in again.
    ASSERT_TRUE(mCallback.Prepare(&mPlugin));
    out = RunOnes(4);
    EXPECT_EQ(out, (std::vector<double>{0.0, 0.25, 0.5, 0.75, 0.0, 0.25, 0.5, 0.75}));
}

TEST_F(AudioCallbackTest, StreamWithoutInputFeedsSilence)
{
    RunOnes(64);
    mPlugin.mInput0Size.store(0);
    const auto out = Run(
        100, [](uint32_t, uint32_t) { return 1.0; }, false);
    ASSERT_EQ(mPlugin.mInput0Size.load(), 100);
    for (int k = 0; k < 100; ++k)
        ASSERT_EQ(mPlugin.mInput0[size_t(k)], 0.0f);
    for (double v : out)
        ASSERT_EQ(v, 0.0);
}

TEST_F(AudioCallbackTest, ProcessAllocatesNothing)
{
    std::vector<double> in(2 * 2048, 0.25);
    std::vector<double> out(2 * 2048);
    mPlugin.QueueMidiInput(std::vector<uint8_t>{0x90, 60, 100}.data(), 3);
    AllocationGuard guard;
    mCallback.Process(out.data(), in.data(), 2048);
    mCallback.Process(out.data(), in.data(), 1000);
    mCallback.RequestStop();
    mCallback.Process(out.data(), in.data(), 2048);
    mCallback.Process(out.data(), in.data(), 2048);
    EXPECT_EQ(guard.Count(), 0u);
}

} // namespace
