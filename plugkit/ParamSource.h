#pragma once

namespace plugkit
{

/// Why a parameter changed; also the index of its trace name (`ParamSourceName`).
enum class ParamSource : int
{
    Reset = 0,
    Host,
    Preset,
    UI,
    Delegate, ///< "Editor Delegate"
    Recompile,
    Unknown,
    Count
};

/// "Reset", "Host", "Preset", "UI", "Editor Delegate", "Recompile", "Unknown".
const char* ParamSourceName(ParamSource source);

} // namespace plugkit
