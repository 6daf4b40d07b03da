#include "plugin/TailLength.h"

#include <gtest/gtest.h>

#include <limits>

namespace lumenfall
{
namespace
{

struct TailCase
{
    double sampleRate;
    bool freeze;
    std::int32_t samples;
};

class TailLength : public testing::TestWithParam<TailCase>
{
};

TEST_P(TailLength, IsOneHundredSixtySecondsWithoutOverflow)
{
    const TailCase c = GetParam();
    EXPECT_EQ(TailLengthSamples(c.sampleRate, c.freeze), c.samples) << c.sampleRate;
}

constexpr std::int32_t kMaxTail = std::numeric_limits<std::int32_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Tail,
    TailLength,
    testing::Values(TailCase{48000.0, false, 7680000},
                    TailCase{44100.0, false, 7056000},
                    TailCase{48000.0, true, kInfiniteTail},
                    TailCase{22050.5, false, 3528080},       // truncated
                    TailCase{13421772.0, false, 2147483520}, // last whole rate that fits
                    TailCase{13421773.0, false, kMaxTail},   // first whole rate past the range
                    TailCase{1e300, false, kMaxTail},
                    TailCase{std::numeric_limits<double>::max(), false, kMaxTail},
                    TailCase{std::numeric_limits<double>::infinity(), false, kMaxTail},
                    TailCase{std::numeric_limits<double>::denorm_min(), false, 0},
                    TailCase{0.0, false, 0},
                    TailCase{-44100.0, false, 0},
                    TailCase{std::numeric_limits<double>::quiet_NaN(), false, 0}));

} // namespace
} // namespace lumenfall
