#include "plugin/editor/MeterMath.h"

#include "plugin/editor/ValueFormat.h"

#include <algorithm>
#include <cmath>

namespace lumenfall::editor
{

MeterReading ReadMeter(float level)
{
    MeterReading reading;
    if (!std::isfinite(level))
        level = 0.f;
    reading.db = level > 0.f ? std::max(20.f * std::log10(level), -90.f) : -90.f;
    reading.fill = std::clamp((reading.db + 60.f) / 60.f, 0.f, 1.f);
    reading.over = level >= 1.f;
    TextWriter writer(reading.text, sizeof(reading.text));
    if (level < kMeterFloorLevel)
        writer.Append("-inf");
    else
        writer.AppendFixed(reading.db, 1).Append(" dB");
    return reading;
}

float DuckFraction(float reduction)
{
    return std::isfinite(reduction) ? std::clamp(reduction, 0.f, 1.f)
                                    : (reduction > 0.f ? 1.f : 0.f);
}

void FormatDuck(float fraction, char* out, int size)
{
    TextWriter(out, size).AppendFixed(100.0 * DuckFraction(fraction), 0).Append("%");
}

} // namespace lumenfall::editor
