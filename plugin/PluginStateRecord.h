#pragma once

#include "plugin/FactoryPresets.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace plugkit
{
class IStateChunk;
} // namespace plugkit

namespace lumenfall
{

/// The plug-in's saved state. On disk it is 276 little-endian bytes, packed:
/// magic "MLST" (bytes in stream order), version 1, parameter count 32, the 32 current
/// values, the 32 values of the inactive A/B slot (floats in `ParamId` order), the preset
/// index (int32, 0..25) and the active slot (int32, 0 = A, 1 = B).
struct PluginStateRecord
{
    std::array<float, kParamCount> values{};
    std::array<float, kParamCount> otherSlot{};
    std::int32_t presetIndex = 0;
    std::int32_t slotFlag = 0;
};

inline constexpr int kStateRecordSize = 276;
/// The state a host saves for the plug-in: the record, then the host-bypass flag (int32, 0
/// or 1). Nothing follows.
inline constexpr int kComponentStateSize = kStateRecordSize + 4;
/// "MLST" read as one little-endian 32-bit word.
inline constexpr std::uint32_t kStateRecordMagic = 0x54534C4Du;
inline constexpr std::uint32_t kStateRecordVersion = 1;

/// True when every value is finite, within its parameter's range and, for the whole-valued
/// parameters, equal to its floor.
bool ValidateParameterValues(const std::array<float, kParamCount>& values);

/// Encodes `record` as its 276 bytes. The record is written as given, valid or not.
void EncodeStateRecord(const PluginStateRecord& record,
                       std::span<std::uint8_t, kStateRecordSize> out);

/// Decodes and validates the record that starts at `position` in `data`. Returns the
/// position after it (position + 276) and fills `out`, or returns -1 and leaves `out`
/// untouched when the position lies outside the data, the data is too short, or the
/// framing, the preset index, the slot flag or a value is invalid. A value of -0.0 (in
/// either slot) reads as +0.0, the zero the plug-in itself writes, so that what is restored is
/// what the next save writes.
int DecodeStateRecord(std::span<const std::uint8_t> data, int position, PluginStateRecord& out);

/// Encodes the component state: `record`, then `hostBypass` as 0 or 1.
void EncodeComponentState(const PluginStateRecord& record,
                          bool hostBypass,
                          std::span<std::uint8_t, kComponentStateSize> out);

/// Decodes a component state of exactly 280 bytes with a host-bypass word of 0 or 1 and a
/// valid record; false, with the outputs untouched, otherwise.
bool DecodeComponentState(std::span<const std::uint8_t> bytes,
                          PluginStateRecord& record,
                          bool& hostBypass);

/// Appends `record` at the end of `chunk`; false, with the chunk unchanged, when it could not
/// grow.
bool AppendStateChunk(plugkit::IStateChunk& chunk, const PluginStateRecord& record);

/// `DecodeStateRecord` over the bytes of `chunk`.
int ReadStateChunk(const plugkit::IStateChunk& chunk, int position, PluginStateRecord& out);

} // namespace lumenfall
