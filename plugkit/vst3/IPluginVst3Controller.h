#pragma once

#include "plugkit/HeapString.h"

#include <cstdint>

namespace plugkit
{

/// The controller's own data: the host's channel context.
class IPluginVst3ControllerBase
{
protected:
    HeapString mTrackName;
    HeapString mTrackNamespace;
    HeapString mTrackId;
    int mTrackNamespaceOrder = 0;
    int mTrackIndex = 0;
    std::uint32_t mTrackColor = 0;
};

} // namespace plugkit
