#include "plugin/engine/DelayBank.h"
#include "plugin/engine/DelayLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

namespace lumenfall::engine
{
namespace
{

constexpr int kCapacity = 100; // storage 128: writes wrap many times
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Each lane of the bank reads exactly as a DelayLine of the same capacity fed the same
// samples: interpolation, clamping, non-finite delays, sanitised writes, unwritten slots and
// clears included. Every other frame goes in through NextFrame and Advance, sanitised by the
// caller, as the block form stores it.
TEST(DelayBankTest, LanesBehaveAsDelayLines)
{
    DelayBank bank;
    ASSERT_TRUE(bank.Resize(kCapacity));
    DelayLine lines[DelayBank::kLanes];
    for (DelayLine& line : lines)
    {
        ASSERT_TRUE(line.Resize(kCapacity));
    }
    std::mt19937 random(3);
    std::uniform_real_distribution<float> sample(-80.0f, 80.0f);
    std::uniform_real_distribution<float> delay(-5.0f, 120.0f);
    const float specials[] = {kNaN, std::numeric_limits<float>::infinity(), 1e-30f};
    for (int step = 0; step < 700; ++step)
    {
        if (step == 150 || step == 420)
        {
            bank.Clear();
            for (DelayLine& line : lines)
            {
                line.Clear();
            }
        }
        float frame[DelayBank::kLanes];
        for (int i = 0; i < DelayBank::kLanes; ++i)
        {
            frame[i] = step % 37 == i ? specials[step % 3] : sample(random);
            lines[i].Write(frame[i]);
        }
        if (step % 2 == 0)
        {
            bank.Write(frame);
        }
        else
        {
            float* slot = bank.NextFrame();
            for (int i = 0; i < DelayBank::kLanes; ++i)
            {
                slot[i] = SanitizeSample(frame[i]);
            }
            bank.Advance();
        }
        for (int i = 0; i < DelayBank::kLanes; ++i)
        {
            const float d = step % 53 == 0 ? kNaN : delay(random);
            ASSERT_EQ(bank.Read(i, d), lines[i].Read(d)) << step << " " << i << " " << d;
        }
    }
}

// A bank that could not be sized reads 0 and ignores frames stored either way.
TEST(DelayBankTest, UnsizedBankIgnoresFrames)
{
    DelayBank bank;
    const float frame[DelayBank::kLanes] = {1, 2, 3, 4, 5, 6, 7, 8};
    bank.Write(frame);
    std::copy(frame, frame + DelayBank::kLanes, bank.NextFrame());
    bank.Advance();
    EXPECT_EQ(bank.Written(), 0);
    for (int i = 0; i < DelayBank::kLanes; ++i)
    {
        EXPECT_EQ(bank.Read(i, 1.0f), 0.0f) << i;
    }
}

} // namespace
} // namespace lumenfall::engine
