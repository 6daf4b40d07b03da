#include "plugin/engine/Parameters.h"

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
    for (ParamId id : {ParamId::ReverbType, ParamId::NoteDivision})
    {
        clamped[id] = std::round(clamped[id]);
    }
    for (ParamId id : {ParamId::Freeze, ParamId::Bypass, ParamId::PreDelaySync, ParamId::WetSolo})
    {
        clamped[id] = clamped[id] >= 0.5f ? 1.0f : 0.0f;
    }
    return clamped;
}

} // namespace lumenfall::engine
