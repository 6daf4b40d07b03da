#include "plugin/engine/SimdMath.h"

#include "plugin/engine/InstructionSet.h"
#include "plugin/engine/Parameters.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>

namespace lumenfall::engine
{
namespace
{

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

#if defined(__SSE2__)

// Eight lanes of SanitizeLanes in AVX2's encoding (only called where the CPU has it).
[[gnu::target("avx2")]] void Sanitize8(const float* in, float* out)
{
    StoreLanes(out, SanitizeLanes(LoadLanes<Lanes8>(in)));
}

// Every lane of the four- and eight-lane forms equals SanitizeSample applied to it, bit for bit,
// at the edges that matter: the flush threshold, the +-64 clamp, denormals, the largest finite
// values, infinities and NaN (also with every payload bit set).
TEST(SimdMathTest, SanitiseLanesEqualTheScalarRule)
{
    const float largestNaN = std::bit_cast<float>(0x7fffffffu);
    const float values[] = {0.0f,
                            -0.0f,
                            1e-25f,
                            std::nextafter(1e-25f, 1.0f),
                            -1.5e-25f,
                            1e-38f,
                            0.5f,
                            63.99f,
                            64.0f,
                            std::nextafter(64.0f, 100.0f),
                            -1e6f,
                            3.4e38f,
                            kInf,
                            -kInf,
                            kNaN,
                            -kNaN,
                            std::numeric_limits<float>::max(),
                            -std::numeric_limits<float>::max(),
                            largestNaN,
                            -largestNaN,
                            std::numeric_limits<float>::denorm_min(),
                            -std::nextafter(1e-25f, 1.0f),
                            -1e-25f,
                            -64.0f};
    const bool wide = DetectInstructionSet() == InstructionSet::Avx2;
    for (std::size_t i = 0; i < std::size(values); i += 8)
    {
        float out[2][8];
        _mm_storeu_ps(out[0], Sanitize4(_mm_loadu_ps(values + i)));
        _mm_storeu_ps(out[0] + 4, Sanitize4(_mm_loadu_ps(values + i + 4)));
        if (wide)
        {
            Sanitize8(values + i, out[1]);
        }
        for (std::size_t k = 0; k < 8; ++k)
        {
            const auto expected = std::bit_cast<std::uint32_t>(SanitizeSample(values[i + k]));
            EXPECT_EQ(std::bit_cast<std::uint32_t>(out[0][k]), expected) << values[i + k];
            if (wide)
            {
                EXPECT_EQ(std::bit_cast<std::uint32_t>(out[1][k]), expected) << values[i + k];
            }
        }
    }
}

#endif

struct RoundCase
{
    float x;
    float expected;
};

// Nearest whole number, halves away from zero, also where the sum x + 0.5 would round up
// (0.49999997; mingw's roundf gets that one wrong), at the end of exact truncation (2^23) and
// beyond the int range.
TEST(SimdMathTest, RoundHalfAwayFromZero)
{
    const RoundCase cases[] = {
        {0.0f, 0.0f},
        {0.49999997f, 0.0f},
        {0.5f, 1.0f},
        {-0.5f, -1.0f},
        {1.5f, 2.0f},
        {-2.5f, -3.0f},
        {2.4999998f, 2.0f},
        {-7.49f, -7.0f},
        {8388607.5f, 8388608.0f},
        {-8388607.5f, -8388608.0f},
        {8388609.0f, 8388609.0f},
        {3e9f, 3e9f},
        {-3e9f, -3e9f},
    };
    for (const RoundCase& c : cases)
    {
        EXPECT_EQ(RoundHalfAway(c.x), c.expected) << c.x;
#if defined(__SSE2__)
        float out[4];
        _mm_storeu_ps(out, RoundHalfAway4(_mm_set1_ps(c.x)));
        EXPECT_EQ(out[0], c.expected) << c.x;
        EXPECT_EQ(out[3], c.expected) << c.x;
#endif
    }
    EXPECT_TRUE(std::isnan(RoundHalfAway(kNaN)));
    EXPECT_EQ(RoundHalfAway(-kInf), -kInf);
#if defined(__SSE2__)
    float nan[4];
    _mm_storeu_ps(nan, RoundHalfAway4(_mm_set1_ps(kNaN)));
    EXPECT_TRUE(std::isnan(nan[0]));
#endif
}

// A CPU without AVX2 runs the baseline forms. Asking for a set runs it only where the CPU has it.
TEST(InstructionSetTest, WideFormsNeedAvx2)
{
    EXPECT_EQ(ChooseInstructionSet(false), InstructionSet::Sse2);
    EXPECT_EQ(ChooseInstructionSet(true), InstructionSet::Avx2);
    EXPECT_EQ(SupportedInstructionSet(InstructionSet::Sse2), InstructionSet::Sse2);
    EXPECT_EQ(SupportedInstructionSet(InstructionSet::Avx2), DetectInstructionSet());
}

} // namespace
} // namespace lumenfall::engine
