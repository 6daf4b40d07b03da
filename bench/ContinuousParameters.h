#pragma once

#include "plugin/engine/Parameters.h"

#include <vector>

namespace lumenfall::bench
{

/// The parameters a host automates: the continuous ones (not the model, the switches or the
/// note division), in table order.
inline std::vector<engine::ParamId> ContinuousParameters()
{
    std::vector<engine::ParamId> ids;
    for (int i = 0; i < engine::kParamCount; ++i)
    {
        const auto id = static_cast<engine::ParamId>(i);
        if (!engine::ParamIsSwitch(id) && !engine::ParamIsWholeNumber(id))
        {
            ids.push_back(id);
        }
    }
    return ids;
}

} // namespace lumenfall::bench
