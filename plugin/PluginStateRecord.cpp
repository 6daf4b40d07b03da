#include "plugin/PluginStateRecord.h"

#include "plugkit/IStateChunk.h"

#include <bit>
#include <cmath>
#include <limits>

namespace lumenfall
{
namespace
{

void PutU32(std::uint8_t* out, std::uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(word >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* in)
{
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i)
        word |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    return word;
}

// The float stored at `in`, with -0.0 read as +0.0: the two compare equal, but only +0.0
// survives a parameter's clamp to a range starting at 0 and so the next save.
float GetValue(const std::uint8_t* in)
{
    const float value = std::bit_cast<float>(GetU32(in));
    return value == 0.0f ? 0.0f : value;
}

constexpr std::size_t kValuesOffset = 12;
constexpr std::size_t kOtherSlotOffset = kValuesOffset + 4 * kParamCount;
constexpr std::size_t kPresetIndexOffset = kOtherSlotOffset + 4 * kParamCount;
constexpr std::size_t kSlotFlagOffset = kPresetIndexOffset + 4;
static_assert(kSlotFlagOffset + 4 == kStateRecordSize);

} // namespace

bool ValidateParameterValues(const std::array<float, kParamCount>& values)
{
    for (int i = 0; i < kParamCount; ++i)
    {
        const auto id = static_cast<engine::ParamId>(i);
        const float v = values[i];
        if (!std::isfinite(v) || v < engine::ParamMinimum(id) || v > engine::ParamMaximum(id))
            return false;
        if (engine::ParamIsWholeNumber(id) && v != std::floor(v))
            return false;
    }
    return true;
}

void EncodeStateRecord(const PluginStateRecord& record,
                       std::span<std::uint8_t, kStateRecordSize> out)
{
    std::uint8_t* p = out.data();
    PutU32(p, kStateRecordMagic);
    PutU32(p + 4, kStateRecordVersion);
    PutU32(p + 8, static_cast<std::uint32_t>(kParamCount));
    for (int i = 0; i < kParamCount; ++i)
    {
        PutU32(p + kValuesOffset + 4 * i, std::bit_cast<std::uint32_t>(record.values[i]));
        PutU32(p + kOtherSlotOffset + 4 * i, std::bit_cast<std::uint32_t>(record.otherSlot[i]));
    }
    PutU32(p + kPresetIndexOffset, static_cast<std::uint32_t>(record.presetIndex));
    PutU32(p + kSlotFlagOffset, static_cast<std::uint32_t>(record.slotFlag));
}

int DecodeStateRecord(std::span<const std::uint8_t> data, int position, PluginStateRecord& out)
{
    // Position first, then the remaining length: neither test can overflow.
    if (position < 0 || position > std::numeric_limits<int>::max() - kStateRecordSize ||
        static_cast<std::size_t>(position) > data.size())
        return -1;
    if (data.size() - static_cast<std::size_t>(position) < kStateRecordSize)
        return -1;
    const std::uint8_t* p = data.data() + position;
    if (GetU32(p) != kStateRecordMagic || GetU32(p + 4) != kStateRecordVersion ||
        GetU32(p + 8) != static_cast<std::uint32_t>(kParamCount))
        return -1;

    PluginStateRecord record;
    for (int i = 0; i < kParamCount; ++i)
    {
        record.values[i] = GetValue(p + kValuesOffset + 4 * i);
        record.otherSlot[i] = GetValue(p + kOtherSlotOffset + 4 * i);
    }
    const std::uint32_t presetIndex = GetU32(p + kPresetIndexOffset);
    const std::uint32_t slotFlag = GetU32(p + kSlotFlagOffset);
    // Compared unsigned, so negative indices fail too.
    if (presetIndex >= static_cast<std::uint32_t>(kFactoryPresetCount) || slotFlag >= 2)
        return -1;
    if (!ValidateParameterValues(record.values) || !ValidateParameterValues(record.otherSlot))
        return -1;

    record.presetIndex = static_cast<std::int32_t>(presetIndex);
    record.slotFlag = static_cast<std::int32_t>(slotFlag);
    out = record;
    return position + kStateRecordSize;
}

void EncodeComponentState(const PluginStateRecord& record,
                          bool hostBypass,
                          std::span<std::uint8_t, kComponentStateSize> out)
{
    EncodeStateRecord(record, out.first<kStateRecordSize>());
    PutU32(out.data() + kStateRecordSize, hostBypass ? 1u : 0u);
}

bool DecodeComponentState(std::span<const std::uint8_t> bytes,
                          PluginStateRecord& record,
                          bool& hostBypass)
{
    if (bytes.size() != static_cast<std::size_t>(kComponentStateSize))
        return false;
    const std::uint32_t bypass = GetU32(bytes.data() + kStateRecordSize);
    PluginStateRecord decoded;
    if (bypass > 1 || DecodeStateRecord(bytes, 0, decoded) < 0)
        return false;
    record = decoded;
    hostBypass = bypass != 0;
    return true;
}

bool AppendStateChunk(plugkit::IStateChunk& chunk, const PluginStateRecord& record)
{
    std::array<std::uint8_t, kStateRecordSize> bytes;
    EncodeStateRecord(record, bytes);
    return chunk.PutBytes(bytes.data(), kStateRecordSize);
}

int ReadStateChunk(const plugkit::IStateChunk& chunk, int position, PluginStateRecord& out)
{
    const auto size = static_cast<std::size_t>(chunk.Size() > 0 ? chunk.Size() : 0);
    return DecodeStateRecord({chunk.GetData(), size}, position, out);
}

} // namespace lumenfall
