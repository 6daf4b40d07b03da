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
    for (int i = 0; i < kParamCount; ++i)
    {
        switch (ParamKindOf(static_cast<ParamId>(i)))
        {
        case ParamKind::Choice:
            clamped[i] = RoundHalfAway(clamped[i]);
            break;
        case ParamKind::Switch:
            clamped[i] = clamped[i] >= 0.5f ? 1.0f : 0.0f;
            break;
        default:
            break;
        }
    }
    return clamped;
}

} // namespace lumenfall::engine
