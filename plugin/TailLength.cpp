#include "plugin/TailLength.h"

#include <limits>

namespace lumenfall
{

std::int32_t TailLengthSamples(double sampleRate, bool freeze)
{
    if (freeze)
        return kInfiniteTail;
    const double samples = sampleRate * kTailSeconds;
    if (!(samples > 0.0)) // also NaN
        return 0;
    constexpr double kMax = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    if (samples >= kMax) // also +infinity
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(samples);
}

} // namespace lumenfall
