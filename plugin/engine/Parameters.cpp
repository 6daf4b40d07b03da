#include "plugin/engine/Parameters.h"

#include "plugin/engine/SimdMath.h"

namespace lumenfall::engine
{

EngineParameters ClampEngineParameters(const float* values)
{
    EngineParameters clamped;
    if (values == nullptr)
    {
        return clamped;
    }
    for (int i = 0; i < kParamCount; ++i)
    {
        const float v = values[i];
        if (!std::isfinite(v))
        {
            clamped[i] = ParamDefault(i);
        }
        else if (v < ParamMinimum(i))
        {
            clamped[i] = ParamMinimum(i);
        }
        else if (v > ParamMaximum(i))
        {
            clamped[i] = ParamMaximum(i);
        }
        else
        {
            clamped[i] = v;
        }
    }
    // The engine's own rounding, not std::round: mingw-w64 rounds 0.49999997 up, glibc down.
    for (ParamId id : {ParamId::ReverbType, ParamId::NoteDivision})
    {
        clamped[id] = RoundHalfAway(clamped[id]);
    }
    for (ParamId id : {ParamId::Freeze, ParamId::Bypass, ParamId::PreDelaySync, ParamId::WetSolo})
    {
        clamped[id] = clamped[id] >= 0.5f ? 1.0f : 0.0f;
    }
    return clamped;
}

} // namespace lumenfall::engine
