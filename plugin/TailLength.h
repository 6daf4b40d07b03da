#pragma once

#include <cstdint>

namespace lumenfall
{

/// Tail length that stands for an infinite tail ("Freeze" on); reads as 4294967295, the
/// VST3 value for an infinite tail, when taken as unsigned.
inline constexpr std::int32_t kInfiniteTail = -1;

/// Length of the reverb tail the host is told about, in seconds, while "Freeze" is off.
inline constexpr double kTailSeconds = 160.0;

/// kInfiniteTail while frozen, otherwise trunc(sampleRate x 160) held within
/// [0, INT32_MAX], so no rate, however large, overflows the count. A rate that is not a
/// positive number gives 0.
std::int32_t TailLengthSamples(double sampleRate, bool freeze);

} // namespace lumenfall
