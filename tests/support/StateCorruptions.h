// Malformed saved states, one table for every reader of the state format: the record's and the
// component state's decoders, the plug-in's readers and the module's setState.
#pragma once

#include "plugin/PluginStateRecord.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <vector>

namespace lumenfall::test
{

/// A change that makes a valid component state (the 276-byte record, then the host-bypass
/// word) invalid. `inRecord`: the change lies within the record, which is then invalid on its
/// own too; otherwise only the component state's framing (its length, the host-bypass word)
/// is broken.
struct StateCorruption
{
    using Bytes = std::vector<std::uint8_t>;

    const char* what;
    bool inRecord;
    void (*apply)(Bytes& bytes);
};

/// Names a case in a parameterised test's report.
inline void PrintTo(const StateCorruption& c, std::ostream* os)
{
    *os << c.what;
}

/// Writes the little-endian `word` at `offset`.
inline void PutStateWord(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(word >> (8 * i));
}

/// Writes `value` as the word of parameter `id` in the current slot or the other one.
inline void
PutStateValue(std::vector<std::uint8_t>& bytes, engine::ParamId id, float value, bool otherSlot)
{
    std::uint32_t word;
    std::memcpy(&word, &value, 4);
    PutStateWord(bytes, 12 + (otherSlot ? 128 : 0) + 4 * static_cast<std::size_t>(id), word);
}

inline std::vector<StateCorruption> StateCorruptions()
{
    using engine::ParamId;
    using Bytes = StateCorruption::Bytes;
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    return {
        {"279 bytes", false, [](Bytes& b) { b.pop_back(); }},
        {"281 bytes", false, [](Bytes& b) { b.push_back(0); }},
        {"empty", false, [](Bytes& b) { b.clear(); }},
        {"host bypass 2", false, [](Bytes& b) { PutStateWord(b, kStateRecordSize, 2); }},
        {"magic in the other byte order", true, [](Bytes& b) { PutStateWord(b, 0, 0x4D4C5354u); }},
        {"version 2", true, [](Bytes& b) { PutStateWord(b, 4, 2); }},
        {"count 31", true, [](Bytes& b) { PutStateWord(b, 8, 31); }},
        {"preset -1", true, [](Bytes& b) { PutStateWord(b, 268, 0xFFFFFFFFu); }},
        {"preset 26", true, [](Bytes& b) { PutStateWord(b, 268, 26); }},
        {"slot 2", true, [](Bytes& b) { PutStateWord(b, 272, 2); }},
        {"slot -1", true, [](Bytes& b) { PutStateWord(b, 272, 0xFFFFFFFFu); }},
        {"fractional model",
         true,
         [](Bytes& b) { PutStateValue(b, ParamId::ReverbType, 4.5f, false); }},
        {"decay above maximum",
         true,
         [](Bytes& b) { PutStateValue(b, ParamId::Decay, 30.01f, false); }},
        {"pre-delay below minimum",
         true,
         [](Bytes& b) { PutStateValue(b, ParamId::PreDelay, -0.001f, false); }},
        {"NaN", true, [](Bytes& b) { PutStateValue(b, ParamId::Mix, kNaN, false); }},
        {"infinity", true, [](Bytes& b) { PutStateValue(b, ParamId::HighCut, kInf, false); }},
        {"half-on switch", true, [](Bytes& b) { PutStateValue(b, ParamId::Freeze, 0.5f, false); }},
        {"NaN in the other slot",
         true,
         [](Bytes& b) { PutStateValue(b, ParamId::Tone, kNaN, true); }},
        {"infinity in the other slot",
         true,
         [](Bytes& b) { PutStateValue(b, ParamId::PreDelay, kInf, true); }},
        {"division 11 in the other slot",
         true,
         [](Bytes& b) { PutStateValue(b, ParamId::NoteDivision, 11.0f, true); }},
    };
}

} // namespace lumenfall::test
