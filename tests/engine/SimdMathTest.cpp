#include "plugin/engine/SimdMath.h"

#include "plugin/engine/Parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace lumenfall::engine
{
namespace
{

#if defined(__SSE2__)

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Every lane of the four-lane forms equals the scalar rule applied to it, lane by lane, at the
// edges that matter: the flush threshold, the +-64 clamp, halves, the end of exact truncation
// (2^23) and beyond the int range, infinities and NaN.
TEST(SimdMathTest, LanesEqualTheScalarRules)
{
    const std::vector<float> values = {0.0f,
                                       -0.0f,
                                       1e-25f,
                                       std::nextafter(1e-25f, 1.0f),
                                       -1.5e-25f,
                                       1e-38f,
                                       0.49999997f,
                                       0.5f,
                                       -0.5f,
                                       1.5f,
                                       -2.5f,
                                       2.4999998f,
                                       63.99f,
                                       64.0f,
                                       std::nextafter(64.0f, 100.0f),
                                       -1e6f,
                                       8388607.5f,
                                       -8388607.5f,
                                       8388608.0f,
                                       16777215.0f,
                                       3e9f,
                                       -3e9f,
                                       3.4e38f,
                                       kInf,
                                       -kInf,
                                       kNaN};
    for (std::size_t i = 0; i < values.size(); i += 4)
    {
        float in[4] = {values[i], 0.0f, 0.0f, 0.0f};
        for (std::size_t k = 1; k < 4 && i + k < values.size(); ++k)
        {
            in[k] = values[i + k];
        }
        float sanitised[4];
        float rounded[4];
        _mm_storeu_ps(sanitised, Sanitize4(_mm_loadu_ps(in)));
        _mm_storeu_ps(rounded, RoundHalfAway4(_mm_loadu_ps(in)));
        for (int k = 0; k < 4; ++k)
        {
            const float expected = SanitizeSample(in[k]);
            // Bit for bit, the sign of zero included.
            std::uint32_t a = 0;
            std::uint32_t b = 0;
            std::memcpy(&a, &sanitised[k], 4);
            std::memcpy(&b, &expected, 4);
            EXPECT_EQ(a, b) << in[k];
            const float whole = std::round(in[k]);
            if (std::isnan(whole))
            {
                EXPECT_TRUE(std::isnan(rounded[k]));
            }
            else
            {
                EXPECT_EQ(rounded[k], whole) << in[k]; // a zero may differ in sign only
            }
        }
    }
}

#endif

} // namespace
} // namespace lumenfall::engine
