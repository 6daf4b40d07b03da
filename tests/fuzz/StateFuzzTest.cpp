// Saved state from a host is untrusted: random and mutated byte streams into the portable
// state reader and into the plug-in's UnserializeState. Whatever is accepted must be a
// stream the writer could have written (encoding what was read gives the same bytes, with a
// -0.0 value read as +0.0);
// whatever is rejected must leave the outputs, the plug-in and its listeners untouched.
// Every buffer is allocated at its exact size, so a read past it is an ASan report.
#include "plugin/Lumenfall.h"
#include "plugin/PluginStateRecord.h"
#include "plugkit/IStateChunk.h"
#include "tests/fuzz/StateStreams.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace lumenfall
{
namespace
{

using test::Bytes;
using test::EncodeRecord;
using test::EncodeState;
using test::FuzzRng;
using test::RandomStream;

/// A record no valid stream decodes to, so that an untouched output is recognisable.
PluginStateRecord Sentinel()
{
    PluginStateRecord record;
    record.values.fill(-12345.0f);
    record.otherSlot.fill(-54321.0f);
    record.presetIndex = -7;
    record.slotFlag = 9;
    return record;
}

bool SameBits(const PluginStateRecord& a, const PluginStateRecord& b)
{
    return EncodeRecord(a) == EncodeRecord(b);
}

TEST(StateFuzz, ComponentStateIsAcceptedOnlyAsTheWriterWouldWriteIt)
{
    FuzzRng rng(0x5EED0001);
    int accepted = 0;
    for (int iteration = 0; iteration < 30000; ++iteration)
    {
        const Bytes bytes = RandomStream(rng, kComponentStateSize);
        PluginStateRecord record = Sentinel();
        bool hostBypass = true;
        if (DecodeComponentState(bytes, record, hostBypass))
        {
            ++accepted;
            ASSERT_EQ(EncodeState(record, hostBypass), test::AsWritten(bytes))
                << "iteration " << iteration;
            ASSERT_TRUE(ValidateParameterValues(record.values));
            ASSERT_TRUE(ValidateParameterValues(record.otherSlot));
        }
        else
        {
            ASSERT_TRUE(SameBits(record, Sentinel())) << "iteration " << iteration;
            ASSERT_TRUE(hostBypass);
        }
    }
    // Both outcomes must have been exercised, or the mutations test nothing.
    EXPECT_GT(accepted, 1000);
    EXPECT_LT(accepted, 25000);
}

TEST(StateFuzz, RecordsAreReadWithinTheBytesAtAnyPosition)
{
    FuzzRng rng(0x5EED0002);
    for (int iteration = 0; iteration < 20000; ++iteration)
    {
        // The record after a random prefix, in a buffer of exactly the stream's size.
        Bytes bytes(static_cast<std::size_t>(rng.Below(40)));
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(rng.Next32());
        const int prefix = static_cast<int>(bytes.size());
        const Bytes record = RandomStream(rng, kStateRecordSize);
        bytes.insert(bytes.end(), record.begin(), record.end());

        int position = prefix;
        switch (rng.Below(5))
        {
        case 0:
            position = rng.NastyInt();
            break;
        case 1:
            position = prefix + rng.Range(-3, 3);
            break;
        default:
            break;
        }

        // The span reader and the chunk reader must agree.
        PluginStateRecord fromSpan = Sentinel();
        const int end = DecodeStateRecord(bytes, position, fromSpan);
        plugkit::IStateChunk chunk;
        ASSERT_TRUE(chunk.PutBytes(bytes.data(), static_cast<std::int32_t>(bytes.size())));
        PluginStateRecord fromChunk = Sentinel();
        ASSERT_EQ(ReadStateChunk(chunk, position, fromChunk), end);
        ASSERT_TRUE(SameBits(fromSpan, fromChunk));

        if (end < 0)
        {
            ASSERT_EQ(end, -1);
            ASSERT_TRUE(SameBits(fromSpan, Sentinel())) << "iteration " << iteration;
            continue;
        }
        ASSERT_GE(position, 0);
        ASSERT_EQ(end, position + kStateRecordSize);
        ASSERT_LE(static_cast<std::size_t>(end), bytes.size());
        const Bytes read(bytes.begin() + position, bytes.begin() + end);
        ASSERT_EQ(EncodeRecord(fromSpan), test::AsWritten(read)) << "iteration " << iteration;
    }
}

/// The plug-in over the test adapter: a rejected record changes nothing and tells nobody;
/// an accepted one is what the plug-in then writes back, byte for byte.
class PluginStateFuzz : public ::testing::Test
{
protected:
    Bytes Saved() const
    {
        plugkit::IStateChunk chunk;
        EXPECT_TRUE(mPlugin->SerializeState(chunk));
        return Bytes(chunk.GetData(), chunk.GetData() + chunk.Size());
    }

    /// Feeds `bytes` (the record at `position`) and checks the outcome.
    void Feed(const Bytes& bytes, int position, int iteration)
    {
        const Bytes before = Saved();
        mPlugin->ClearEvents();
        plugkit::IStateChunk chunk;
        ASSERT_TRUE(chunk.PutBytes(bytes.data(), static_cast<std::int32_t>(bytes.size())));
        const int end = mPlugin->UnserializeState(chunk, position);
        if (end < 0)
        {
            ASSERT_TRUE(test::SameBytes(Saved(), before)) << "iteration " << iteration;
            ASSERT_TRUE(mPlugin->Events().empty()) << "iteration " << iteration;
            return;
        }
        ++mAccepted;
        ASSERT_EQ(end, position + kStateRecordSize);
        const Bytes read(bytes.begin() + position, bytes.begin() + end);
        ASSERT_TRUE(test::SameBytes(Saved(), test::AsWritten(read))) << "iteration " << iteration;
    }

    std::unique_ptr<Lumenfall> mPlugin = std::make_unique<Lumenfall>();
    int mAccepted = 0;
};

// Sign bits flipped in a default state: "Freeze" = -0.0 passes validation (it is not below 0
// and equals its floor), and so does "Envelope Shape" = -0.0 in the other slot. The record is
// accepted and restored as the zeros the plug-in writes, so the next save is the default
// state again, in both slots.
TEST_F(PluginStateFuzz, NegativeZeroIsRestoredAsZero)
{
    const Bytes saved = Saved();
    Bytes bytes = saved;
    bytes[12 + 4 * static_cast<int>(engine::ParamId::Freeze) + 3] = 0x80;
    bytes[12 + 4 * (kParamCount + static_cast<int>(engine::ParamId::EnvelopeShape)) + 3] = 0x80;
    plugkit::IStateChunk chunk;
    ASSERT_TRUE(chunk.PutBytes(bytes.data(), kStateRecordSize));
    ASSERT_EQ(mPlugin->UnserializeState(chunk, 0), kStateRecordSize);
    EXPECT_TRUE(test::SameBytes(Saved(), saved));
}

TEST_F(PluginStateFuzz, MutatedRecordsRestoreExactlyOrNotAtAll)
{
    FuzzRng rng(0x5EED0003);
    for (int iteration = 0; iteration < 6000; ++iteration)
    {
        Bytes bytes = RandomStream(rng, kStateRecordSize);
        int position = 0;
        if (rng.OneIn(4))
        {
            position = rng.Range(1, 9);
            bytes.insert(bytes.begin(), static_cast<std::size_t>(position), 0xA5);
        }
        Feed(bytes, position, iteration);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(mAccepted, 200);
}

} // namespace
} // namespace lumenfall
