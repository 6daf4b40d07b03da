#include "plugkit/ParamSource.h"

namespace plugkit
{

const char* ParamSourceName(ParamSource source)
{
    static const char* const kNames[] = {
        "Reset", "Host", "Preset", "UI", "Editor Delegate", "Recompile", "Unknown"};
    const int i = static_cast<int>(source);
    if (i < 0 || i >= static_cast<int>(ParamSource::Count))
        return "Unknown";
    return kNames[i];
}

} // namespace plugkit
