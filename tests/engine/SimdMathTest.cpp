#include "plugin/engine/SimdMath.h"

#include "plugin/engine/InstructionSet.h"
#include "plugin/engine/Parameters.h"

#include <gtest/gtest.h>

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

// Every lane of Sanitize4 equals SanitizeSample applied to it, bit for bit, at the edges that
// matter: the flush threshold, the +-64 clamp, denormals, infinities and NaN.
TEST(SimdMathTest, SanitiseLanesEqualTheScalarRule)
{
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
                            -kNaN};
    for (std::size_t i = 0; i < std::size(values); i += 4)
    {
        float out[4];
        _mm_storeu_ps(out, Sanitize4(_mm_loadu_ps(values + i)));
        for (std::size_t k = 0; k < 4; ++k)
        {
            const float expected = SanitizeSample(values[i + k]);
            std::uint32_t a = 0;
            std::uint32_t b = 0;
            std::memcpy(&a, &out[k], 4);
            std::memcpy(&b, &expected, 4);
            EXPECT_EQ(a, b) << values[i + k];
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
