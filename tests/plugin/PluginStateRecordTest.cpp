#include "plugin/PluginStateRecord.h"
#include "tests/support/DefaultStateRecord.h"
#include "tests/support/StateCorruptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace lumenfall
{
namespace
{

using engine::ParamId;

std::vector<std::uint8_t> Encode(const PluginStateRecord& record)
{
    std::vector<std::uint8_t> bytes(kStateRecordSize);
    EncodeStateRecord(record,
                      std::span<std::uint8_t, kStateRecordSize>(bytes.data(), kStateRecordSize));
    return bytes;
}

PluginStateRecord DefaultRecord()
{
    PluginStateRecord record;
    record.values = engine::ParamTables::kDefaults;
    record.otherSlot = engine::ParamTables::kDefaults;
    return record;
}

/// Preset 8 in the current slot, preset 24 in the other, slot B, preset index 13.
PluginStateRecord MixedRecord()
{
    PluginStateRecord record;
    record.values = GetFactoryPresets()[8].values;
    record.otherSlot = GetFactoryPresets()[24].values;
    record.presetIndex = 13;
    record.slotFlag = 1;
    return record;
}

void ExpectSame(const PluginStateRecord& a, const PluginStateRecord& b)
{
    for (int i = 0; i < kParamCount; ++i)
    {
        EXPECT_EQ(a.values[i], b.values[i]) << "value " << i;
        EXPECT_EQ(a.otherSlot[i], b.otherSlot[i]) << "other slot " << i;
    }
    EXPECT_EQ(a.presetIndex, b.presetIndex);
    EXPECT_EQ(a.slotFlag, b.slotFlag);
}

TEST(PluginStateRecord, DefaultRecordIsTheFixtureByteForByte)
{
    const std::vector<std::uint8_t> bytes = Encode(DefaultRecord());
    ASSERT_EQ(sizeof(test::kDefaultStateRecord), bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        EXPECT_EQ(bytes[i], test::kDefaultStateRecord[i]) << "byte " << i;

    PluginStateRecord decoded = MixedRecord();
    EXPECT_EQ(DecodeStateRecord(test::kDefaultStateRecord, 0, decoded), kStateRecordSize);
    ExpectSame(decoded, DefaultRecord());
}

TEST(PluginStateRecord, RoundTripKeepsBothSlotsIndexAndFlag)
{
    const std::vector<std::uint8_t> bytes = Encode(MixedRecord());
    PluginStateRecord decoded;
    EXPECT_EQ(DecodeStateRecord(bytes, 0, decoded), kStateRecordSize);
    ExpectSame(decoded, MixedRecord());
}

TEST(PluginStateRecord, ReadsAtAnOffsetWithinBounds)
{
    const std::vector<std::uint8_t> record = Encode(MixedRecord());
    // 10 bytes of something else, then the record: 286 bytes. (Filled in place rather than
    // by insert, which g++ 12 at -O2 warns about as a bogus out-of-bounds move.)
    std::vector<std::uint8_t> data(10 + record.size(), 0xEE);
    std::copy(record.begin(), record.end(), data.begin() + 10);

    PluginStateRecord decoded;
    EXPECT_EQ(DecodeStateRecord(data, 10, decoded), 286);
    ExpectSame(decoded, MixedRecord());

    const std::span<const std::uint8_t> all(data);
    EXPECT_EQ(DecodeStateRecord(all.first(285), 10, decoded), -1);
    EXPECT_EQ(DecodeStateRecord(all, 11, decoded), -1);
    EXPECT_EQ(DecodeStateRecord(all, -1, decoded), -1);
    EXPECT_EQ(DecodeStateRecord(all, 287, decoded), -1); // past the end
    EXPECT_EQ(DecodeStateRecord(all, std::numeric_limits<int>::max(), decoded), -1);
    EXPECT_EQ(DecodeStateRecord(all.first(0), 0, decoded), -1);
}

class RejectedRecord : public testing::TestWithParam<test::StateCorruption>
{
};

TEST_P(RejectedRecord, DecodesToNothing)
{
    std::vector<std::uint8_t> bytes = Encode(MixedRecord());
    GetParam().apply(bytes);
    PluginStateRecord untouched = DefaultRecord();
    EXPECT_EQ(DecodeStateRecord(bytes, 0, untouched), -1) << GetParam().what;
    ExpectSame(untouched, DefaultRecord());
}

/// The corruptions within the record, and the record one byte short.
std::vector<test::StateCorruption> RecordCorruptions()
{
    std::vector<test::StateCorruption> cases = {
        {"one byte short", true, [](std::vector<std::uint8_t>& b) { b.pop_back(); }}};
    for (const test::StateCorruption& c : test::StateCorruptions())
        if (c.inRecord)
            cases.push_back(c);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(PluginStateRecord, RejectedRecord, testing::ValuesIn(RecordCorruptions()));

class RejectedComponentState : public testing::TestWithParam<test::StateCorruption>
{
};

TEST_P(RejectedComponentState, DecodesToNothing)
{
    std::vector<std::uint8_t> bytes(kComponentStateSize);
    EncodeComponentState(MixedRecord(),
                         true,
                         std::span<std::uint8_t, kComponentStateSize>(bytes.data(), bytes.size()));
    GetParam().apply(bytes);
    PluginStateRecord untouched = DefaultRecord();
    bool hostBypass = false;
    EXPECT_FALSE(DecodeComponentState(bytes, untouched, hostBypass)) << GetParam().what;
    ExpectSame(untouched, DefaultRecord());
    EXPECT_FALSE(hostBypass);
}

INSTANTIATE_TEST_SUITE_P(PluginStateRecord,
                         RejectedComponentState,
                         testing::ValuesIn(test::StateCorruptions()));

TEST(PluginStateRecord, AcceptsWholeValuesAndRangeEnds)
{
    PluginStateRecord record = MixedRecord();
    record.values[static_cast<int>(ParamId::ReverbType)] = 12.0f;
    record.values[static_cast<int>(ParamId::Decay)] = 30.0f;
    record.values[static_cast<int>(ParamId::OutputTrim)] = -24.0f;
    record.otherSlot[static_cast<int>(ParamId::WetSolo)] = 1.0f;
    record.presetIndex = 25;
    record.slotFlag = 0;
    PluginStateRecord decoded;
    EXPECT_EQ(DecodeStateRecord(Encode(record), 0, decoded), kStateRecordSize);
    ExpectSame(decoded, record);
}

// -0.0 is within every range that contains 0, so it is accepted; it reads as +0.0, the zero
// the plug-in writes, whether the range starts at 0 ("Freeze") or spans it ("Envelope Shape"),
// in either slot. Encoding what was read then gives the record with +0.0 words.
TEST(PluginStateRecord, NegativeZeroReadsAsPositiveZeroInBothSlots)
{
    const std::vector<std::uint8_t> canonical = Encode(DefaultRecord());
    ASSERT_EQ(engine::ParamTables::kDefaults[static_cast<int>(ParamId::Freeze)], 0.0f);
    ASSERT_EQ(engine::ParamTables::kDefaults[static_cast<int>(ParamId::EnvelopeShape)], 0.0f);
    std::vector<std::uint8_t> bytes = canonical;
    for (bool otherSlot : {false, true})
        for (ParamId id : {ParamId::Freeze, ParamId::EnvelopeShape})
            test::PutStateValue(bytes, id, -0.0f, otherSlot);

    PluginStateRecord decoded;
    ASSERT_EQ(DecodeStateRecord(bytes, 0, decoded), kStateRecordSize);
    for (ParamId id : {ParamId::Freeze, ParamId::EnvelopeShape})
    {
        EXPECT_FALSE(std::signbit(decoded.values[static_cast<int>(id)]));
        EXPECT_FALSE(std::signbit(decoded.otherSlot[static_cast<int>(id)]));
    }
    EXPECT_EQ(Encode(decoded), canonical);
}

} // namespace
} // namespace lumenfall
