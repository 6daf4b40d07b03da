#include "plugin/engine/DelayLine.h"

#include "tests/support/AllocationGuard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

namespace lumenfall::engine
{
namespace
{

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kPi = 3.14159265358979323846;

DelayLine MakeLine(int capacity)
{
    DelayLine line;
    EXPECT_TRUE(line.Resize(capacity));
    return line;
}

// The contract in its plainest form: every slot remembers whether it was written since the last
// clear. DelayLine must read exactly like it.
class ReferenceLine
{
public:
    explicit ReferenceLine(int capacity)
        : mSamples(capacity, 0.0f)
        , mValid(capacity, false)
    {
    }
    void Write(float x)
    {
        mSamples[mPosition] = SanitizeSample(x);
        mValid[mPosition] = true;
        mPosition = (mPosition + 1) % static_cast<int>(mSamples.size());
    }
    float Read(float d) const
    {
        const int length = static_cast<int>(mSamples.size());
        d = std::isfinite(d) ? std::clamp(d, 1.0f, static_cast<float>(length - 3)) : 1.0f;
        const int n = static_cast<int>(d);
        const float f = d - static_cast<float>(n);
        const int first = ((mPosition - n) % length + length) % length;
        const int second = (first - 1 + length) % length;
        const float a = mValid[first] ? mSamples[first] : 0.0f;
        const float b = mValid[second] ? mSamples[second] : 0.0f;
        return (1.0f - f) * a + f * b;
    }
    void Clear()
    {
        mPosition = 0;
        std::fill(mValid.begin(), mValid.end(), false);
    }

private:
    std::vector<float> mSamples;
    std::vector<bool> mValid;
    int mPosition = 0;
};

TEST(DelayLine, CapacityFor)
{
    struct Case
    {
        double fs, seconds;
        int capacity;
    };
    const Case cases[] = {
        {48000.0, 0.55, 8 + 26400},
        {44100.0, 0.5, 8 + 22050},
        {44100.0, 2.05, 8 + 90404}, // 44100 x 2.05 is just below 90405 in binary
        {192000.0, 0.12, 8 + 23040},
        {22050.0, 0.52, 8 + 11466},
        {48000.0, 0.0, 8},
        {48000.0, -1.0, 8},
        {std::nan(""), 1.0, 8},
        {1e12, 1e12, DelayLine::kMaxCapacity + 1},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(DelayLine::CapacityFor(c.fs, c.seconds), c.capacity) << c.fs << " " << c.seconds;
    }
}

TEST(DelayLine, SizingAndTheUnsizedLine)
{
    DelayLine line;
    EXPECT_EQ(line.Capacity(), 0);
    line.Write(1.0f); // ignored
    EXPECT_EQ(line.Read(1.0f), 0.0f);

    EXPECT_TRUE(line.Resize(3));
    EXPECT_EQ(line.Capacity(), DelayLine::kMinCapacity);
    EXPECT_EQ(line.MaxDelay(), 5.0f);

    EXPECT_FALSE(line.Resize(DelayLine::kMaxCapacity + 1));
    EXPECT_EQ(line.Capacity(), 0);
    EXPECT_EQ(line.Read(1.0f), 0.0f);

    EXPECT_TRUE(line.Resize(100));
    EXPECT_EQ(line.MaxDelay(), 97.0f);
}

TEST(DelayLine, MovingKeepsTheContentAndEmptiesTheSource)
{
    DelayLine source = MakeLine(32);
    source.Write(0.5f);
    source.Write(0.25f);
    DelayLine moved(std::move(source));
    EXPECT_EQ(moved.Read(2.0f), 0.5f);
    EXPECT_EQ(moved.Read(1.0f), 0.25f);
    EXPECT_EQ(source.Capacity(), 0); // NOLINT(bugprone-use-after-move): the moved-from state
    source.Write(1.0f);
    EXPECT_EQ(source.Read(1.0f), 0.0f);
    DelayLine assigned;
    assigned = std::move(moved);
    EXPECT_EQ(assigned.Read(1.0f), 0.25f);
    EXPECT_EQ(assigned.Capacity(), 32);
}

TEST(DelayLine, ReadsAndInterpolates)
{
    DelayLine line = MakeLine(100);
    for (float x : {1.0f, 2.0f, 3.0f})
    {
        line.Write(x);
    }
    struct Case
    {
        float delay;
        float value;
    };
    const Case cases[] = {
        {1.0f, 3.0f},
        {2.0f, 2.0f},
        {3.0f, 1.0f},
        {1.5f, 2.5f},
        {2.25f, 1.75f},
        {3.5f, 0.5f}, // half of the oldest sample, half an unwritten slot
        {4.0f, 0.0f},
        {0.2f, 3.0f}, // held at 1
        {-7.0f, 3.0f},
        {kNaN, 3.0f}, // non-finite reads at the minimum delay
        {kInf, 3.0f},
        {-kInf, 3.0f},
    };
    for (const Case& c : cases)
    {
        EXPECT_FLOAT_EQ(line.Read(c.delay), c.value) << c.delay;
    }
}

TEST(DelayLine, LongDelaysAreHeldAtCapacityMinusThree)
{
    DelayLine line = MakeLine(100);
    for (int i = 0; i < 250; ++i)
    {
        line.Write(0.25f * static_cast<float>(i));
    }
    EXPECT_EQ(line.Read(1.0f), 0.25f * 249.0f);
    EXPECT_EQ(line.Read(97.0f), 0.25f * (249.0f - 96.0f));
    EXPECT_EQ(line.Read(1e9f), line.Read(97.0f));
    EXPECT_EQ(line.Read(97.5f), line.Read(97.0f));
    EXPECT_FLOAT_EQ(line.Read(96.5f), 0.25f * (249.0f - 95.5f));
}

TEST(DelayLine, WritesAreSanitised)
{
    DelayLine line = MakeLine(16);
    for (float x : {kNaN, kInf, 100.0f, -100.0f, 1e-30f})
    {
        line.Write(x);
    }
    EXPECT_EQ(line.Read(5.0f), 0.0f);
    EXPECT_EQ(line.Read(4.0f), 0.0f);
    EXPECT_EQ(line.Read(3.0f), 64.0f);
    EXPECT_EQ(line.Read(2.0f), -64.0f);
    EXPECT_EQ(line.Read(1.0f), 0.0f);
}

TEST(DelayLine, ClearingATwoSecondLineForgetsEverySample)
{
    const int capacity = DelayLine::CapacityFor(48000.0, 2.0);
    DelayLine line = MakeLine(capacity);
    for (int i = 0; i < capacity + 17; ++i)
    {
        line.Write(1.0f);
    }
    ASSERT_EQ(line.Read(line.MaxDelay()), 1.0f);

    {
        test::AllocationGuard guard;
        line.Clear();
        EXPECT_EQ(guard.Count(), 0u);
    }
    for (int d = 1; d <= capacity - 3; ++d)
    {
        ASSERT_EQ(line.Read(static_cast<float>(d)), 0.0f) << d;
    }

    // One write after the clear makes exactly that slot visible.
    line.Write(0.5f);
    EXPECT_EQ(line.Read(1.0f), 0.5f);
    EXPECT_EQ(line.Read(2.0f), 0.0f);
    EXPECT_EQ(line.Read(1.5f), 0.25f);
    EXPECT_EQ(line.Read(line.MaxDelay()), 0.0f);
}

TEST(DelayLine, ResizeToTheSameCapacityStartsSilent)
{
    DelayLine line = MakeLine(64);
    for (int i = 0; i < 200; ++i)
    {
        line.Write(0.75f);
    }
    {
        test::AllocationGuard guard; // the storage already fits: zeroed, not reallocated
        ASSERT_TRUE(line.Resize(64));
        EXPECT_EQ(guard.Count(), 0u);
    }
    for (int d = 1; d <= 61; ++d)
    {
        EXPECT_EQ(line.Read(static_cast<float>(d)), 0.0f);
    }
}

// Random writes, reads and clears, including clears before the line has filled and runs that
// wrap several times, must read exactly like the per-slot reference.
TEST(DelayLine, MatchesThePerSlotReference)
{
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> sample(-2.0f, 2.0f);
    std::uniform_real_distribution<float> delay(0.0f, 40.0f);
    std::uniform_int_distribution<int> event(0, 999);
    for (int capacity : {8, 13, 37})
    {
        DelayLine line = MakeLine(capacity);
        ReferenceLine reference(capacity);
        for (int step = 0; step < 20000; ++step)
        {
            const int e = event(random);
            if (e < 8)
            {
                line.Clear();
                reference.Clear();
            }
            else
            {
                const float x = sample(random);
                line.Write(x);
                reference.Write(x);
            }
            for (int r = 0; r < 3; ++r)
            {
                const float d = delay(random);
                ASSERT_EQ(line.Read(d), reference.Read(d))
                    << "capacity " << capacity << " step " << step << " delay " << d;
                const float inRange = std::clamp(d, 1.0f, line.MaxDelay());
                ASSERT_EQ(line.ReadInRange(inRange), reference.Read(inRange));
            }
        }
    }
}

TEST(AllpassStep, ZeroCoefficientIsAPlainDelay)
{
    DelayLine line = MakeLine(64);
    std::vector<float> out;
    for (int n = 0; n < 20; ++n)
    {
        out.push_back(AllpassStep(line, n == 3 ? 0.8f : 0.0f, 7.0f, 0.0f));
    }
    for (int n = 0; n < 20; ++n)
    {
        EXPECT_EQ(out[n], n == 10 ? 0.8f : 0.0f) << n;
    }
}

TEST(AllpassStep, FirstStepOnASilentLine)
{
    for (float g : {0.3f, -0.6f, 0.9f})
    {
        DelayLine line = MakeLine(32);
        EXPECT_FLOAT_EQ(AllpassStep(line, 1.0f, 5.0f, g), -g);
        EXPECT_FLOAT_EQ(line.Read(1.0f), 1.0f - g * g);
    }
}

// An allpass passes every frequency at unit gain: its impulse response has unit energy and a
// flat magnitude response.
TEST(AllpassStep, ImpulseResponseIsAllpass)
{
    struct Case
    {
        float g;
        float delay;
    };
    const Case cases[] = {{0.5f, 7.0f}, {-0.7f, 23.0f}, {0.62f, 1.0f}, {0.85f, 13.0f}};
    constexpr int kLength = 8192;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "g " << c.g << " d " << c.delay);
        DelayLine line = MakeLine(64);
        std::vector<double> h(kLength);
        double energy = 0.0;
        for (int n = 0; n < kLength; ++n)
        {
            h[n] = AllpassStep(line, n == 0 ? 1.0f : 0.0f, c.delay, c.g);
            energy += h[n] * h[n];
        }
        EXPECT_NEAR(energy, 1.0, 1e-4);
        for (double f : {0.0, 0.013, 0.1, 0.21, 0.37, 0.5})
        {
            std::complex<double> sum = 0.0;
            for (int n = 0; n < kLength; ++n)
            {
                sum += h[n] * std::polar(1.0, -2.0 * kPi * f * n);
            }
            EXPECT_NEAR(std::abs(sum), 1.0, 1e-3) << "f " << f;
        }
    }
}

TEST(DelayLine, ProcessingAllocatesNothing)
{
    DelayLine line = MakeLine(DelayLine::CapacityFor(48000.0, 0.55));
    test::AllocationGuard guard;
    float acc = 0.0f;
    for (int n = 0; n < 48000; ++n)
    {
        acc += AllpassStep(line, n % 100 == 0 ? 1.0f : 0.0f, 333.3f, 0.5f);
        acc += line.Read(1000.25f);
        if (n % 10000 == 0)
        {
            line.Clear();
        }
    }
    EXPECT_EQ(guard.Count(), 0u);
    EXPECT_TRUE(std::isfinite(acc));
}

} // namespace
} // namespace lumenfall::engine
