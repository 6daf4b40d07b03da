#pragma once

namespace lumenfall::editor
{

// The meters' readings: three peak levels in dBFS over a -60..0 dB bar, and the ducker's
// gain reduction as a fraction.

/// The level of -90 dB: below it a meter reads "-inf".
inline constexpr float kMeterFloorLevel = 3.16228e-5f;

struct MeterReading
{
    float db = -90.f;   ///< 20 log10(level), not below -90
    float fill = 0.f;   ///< bar fraction 0..1 over -60..0 dB
    bool over = false;  ///< full scale reached or exceeded
    char text[32] = {}; ///< "-inf" or "%.1f dB"
};

/// A linear peak level (1 = full scale) as the meter shows it. A level that is not a finite
/// number reads as silence.
MeterReading ReadMeter(float level);

/// The ducker's reduction held to 0..1 (not-a-number reads 0).
float DuckFraction(float reduction);

/// "%.0f%%" of 100 x `fraction`: the duck readout.
void FormatDuck(float fraction, char* out, int size);

} // namespace lumenfall::editor
