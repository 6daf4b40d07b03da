// Saved states for the fuzz tests: records the plug-in could write, and streams a host could
// hand back (mutations of those, now and then noise).
#pragma once

#include "plugin/PluginStateRecord.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

namespace lumenfall::test
{

using Bytes = std::vector<std::uint8_t>;

inline Bytes EncodeRecord(const PluginStateRecord& record)
{
    Bytes bytes(kStateRecordSize);
    EncodeStateRecord(record, std::span<std::uint8_t, kStateRecordSize>(bytes));
    return bytes;
}

inline Bytes EncodeState(const PluginStateRecord& record, bool hostBypass)
{
    Bytes bytes(kComponentStateSize);
    EncodeComponentState(record, hostBypass, std::span<std::uint8_t, kComponentStateSize>(bytes));
    return bytes;
}

/// A value the plug-in can hold: in range and, where the parameter is whole-valued, whole.
inline float RandomValue(FuzzRng& rng, int index)
{
    const auto id = static_cast<engine::ParamId>(index);
    const float lo = engine::ParamMinimum(id);
    const float hi = engine::ParamMaximum(id);
    if (engine::ParamIsWholeNumber(id))
        return static_cast<float>(rng.Range(static_cast<int>(lo), static_cast<int>(hi)));
    switch (rng.Below(4))
    {
    case 0:
        return lo;
    case 1:
        return hi;
    default:
        return std::clamp(static_cast<float>(rng.Uniform(lo, hi)), lo, hi);
    }
}

/// A record the writer could produce: factory presets or random valid values in both slots.
inline PluginStateRecord RandomValidRecord(FuzzRng& rng)
{
    PluginStateRecord record;
    const auto& presets = GetFactoryPresets();
    for (auto* slot : {&record.values, &record.otherSlot})
    {
        if (rng.OneIn(2))
            *slot = presets[static_cast<std::size_t>(rng.Below(kFactoryPresetCount))].values;
        else
            for (int i = 0; i < kParamCount; ++i)
                (*slot)[static_cast<std::size_t>(i)] = RandomValue(rng, i);
    }
    record.presetIndex = rng.Below(kFactoryPresetCount);
    record.slotFlag = rng.Below(2);
    return record;
}

/// Streams as a host could hand them over: mostly mutations of valid states, sometimes
/// pure noise of a random length around the right one.
inline Bytes RandomStream(FuzzRng& rng, int validSize)
{
    const bool component = validSize == kComponentStateSize;
    const PluginStateRecord record = RandomValidRecord(rng);
    Bytes bytes = component ? EncodeState(record, rng.OneIn(2)) : EncodeRecord(record);
    if (rng.OneIn(16))
    {
        bytes.resize(static_cast<std::size_t>(rng.Range(0, validSize + 8)));
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(rng.Next32());
        return bytes;
    }
    if (!rng.OneIn(8)) // an untouched valid stream now and then
    {
        const PluginStateRecord other = RandomValidRecord(rng);
        const Bytes donor = component ? EncodeState(other, rng.OneIn(2)) : EncodeRecord(other);
        Mutate(bytes, donor, rng);
    }
    return bytes;
}

/// The record at `record` as the plug-in writes what it reads from it: a value word of -0.0
/// (either slot) becomes +0.0; every other byte is kept.
inline void PositiveZeros(std::uint8_t* record)
{
    const std::uint8_t negativeZero[4] = {0, 0, 0, 0x80};
    for (int i = 0; i < 2 * kParamCount; ++i)
    {
        std::uint8_t* word = record + 12 + 4 * i;
        if (std::memcmp(word, negativeZero, 4) == 0)
            word[3] = 0;
    }
}

/// `bytes` (a record, or a component state) as the plug-in writes what it reads from them.
inline Bytes AsWritten(Bytes bytes)
{
    PositiveZeros(bytes.data());
    return bytes;
}

} // namespace lumenfall::test
