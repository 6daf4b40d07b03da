#include "plugkit/HeapBuffer.h"
#include "plugkit/HeapString.h"
#include "plugkit/IStateChunk.h"
#include "plugkit/PointerList.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace plugkit;

namespace
{

TEST(HeapBuffer, GrowthPolicyAllocatesWholePagesOrGranularitySteps)
{
    struct Case
    {
        int32_t granularity;
        int32_t size;
        int32_t allocated;
    };
    const Case cases[] = {
        {4096, 10, 4000},       // ((10 + 96 + 4096) rounded down to 4096) - 96
        {4096, 4001, 8096},     // one page no longer holds it
        {4096, 100000, 147360}, // step: 50000 rounded down to pages, 49152
        {128, 10, 138},         // 10 + max(5, 128)
        {128, 1000, 1500},      // 1000 + 1000 / 2
    };
    for (const Case& c : cases)
    {
        HeapBuffer b(c.granularity);
        ASSERT_NE(b.Resize(c.size), nullptr);
        EXPECT_EQ(b.Size(), c.size);
        EXPECT_EQ(b.Allocated(), c.allocated) << c.granularity << " " << c.size;
    }
}

TEST(HeapBuffer, ShrinksOnlyBelowThresholdAndKeepsContents)
{
    HeapBuffer b;
    auto* p = static_cast<uint8_t*>(b.Resize(3000));
    for (int i = 0; i < 3000; ++i)
        p[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(b.Allocated(), 4000);

    // Same size, with or without the shrink flag: nothing moves.
    EXPECT_EQ(b.Resize(3000, true), p);
    EXPECT_EQ(b.Resize(3000, false), p);

    // Threshold max(min(2000, 4000 - 16384), 1) = 1: the block stays.
    b.Resize(100, true);
    EXPECT_EQ(b.Size(), 100);
    EXPECT_EQ(b.Allocated(), 4000);
    EXPECT_EQ(static_cast<uint8_t*>(b.Get())[99], 99);

    // Growing keeps the bytes that were there.
    auto* q = static_cast<uint8_t*>(b.Resize(50000));
    EXPECT_EQ(q[42], 42);

    EXPECT_EQ(b.Resize(0), nullptr);
    EXPECT_EQ(b.Get(), nullptr);
    EXPECT_EQ(b.Allocated(), 0);
}

TEST(HeapBuffer, LargeBlockShrinksWithFlagOnly)
{
    HeapBuffer b(128);
    b.Resize(100000);
    const int32_t big = b.Allocated();
    b.Resize(10, false);
    EXPECT_EQ(b.Allocated(), big);
    b.Resize(5, true); // below min(a / 2, a - 512)
    EXPECT_EQ(b.Allocated(), 5 + 128);
}

TEST(HeapBuffer, RequestBeyond32BitsFailsAndKeepsTheBlock)
{
    for (int32_t g : {128, 4096})
    {
        HeapBuffer b(g);
        auto* p = static_cast<uint8_t*>(b.Resize(16));
        std::memset(p, 7, 16);
        EXPECT_EQ(b.Resize(INT32_MAX - 10), p);
        EXPECT_EQ(b.Size(), 16);
        EXPECT_EQ(static_cast<uint8_t*>(b.Get())[15], 7);
    }
}

TEST(HeapBuffer, CopyFromCopiesBytesAndSize)
{
    HeapBuffer a, b;
    std::memcpy(a.Resize(5), "abcde", 5);
    b.Resize(9000);
    b.CopyFrom(a);
    ASSERT_EQ(b.Size(), 5);
    EXPECT_EQ(std::memcmp(b.Get(), "abcde", 5), 0);
    HeapBuffer empty;
    b.CopyFrom(empty);
    EXPECT_EQ(b.Size(), 0);
    EXPECT_EQ(b.Get(), nullptr);
}

TEST(HeapString, SetCopiesCutsAndEmpties)
{
    HeapString s;
    EXPECT_STREQ(s.Get(), "");
    s.Set("reverb");
    EXPECT_STREQ(s.Get(), "reverb");
    s.Set("reverb", 3);
    EXPECT_STREQ(s.Get(), "rev");
    s.Set("ab\0cd", 4); // the first NUL within the limit ends the text
    EXPECT_STREQ(s.Get(), "ab");
    s.Set(nullptr);
    EXPECT_STREQ(s.Get(), "");
    EXPECT_EQ(s.GetLength(), 0);
}

TEST(HeapString, SetFromItsOwnTextSurvivesTheBlockMoving)
{
    HeapString s;
    s.Set("0123456789");
    // Grow the text from a pointer into itself, many times over the block size.
    for (int i = 0; i < 12; ++i)
    {
        HeapString doubled;
        doubled.Set(s.Get());
        doubled.Append(s.Get());
        s.Set(doubled.Get());
    }
    ASSERT_EQ(s.GetLength(), 10 << 12);
    // Now a suffix of its own text: the source lies inside the block.
    s.Set(s.Get() + 5);
    EXPECT_EQ(s.GetLength(), (10 << 12) - 5);
    EXPECT_EQ(std::strncmp(s.Get(), "56789012", 8), 0);
}

TEST(HeapString, FormattedOutputIsCutAtMaximum)
{
    HeapString s;
    s.SetFormatted(4, "%s", "abcdef");
    EXPECT_STREQ(s.Get(), "abcd");
    s.SetFormatted(32, "v%d.%d.%d", 1, 2, 3);
    EXPECT_STREQ(s.Get(), "v1.2.3");
    s.AppendFormatted(3, "-%s", "beta");
    EXPECT_STREQ(s.Get(), "v1.2.3-be");
    s.SetFormatted(0, "%s", "x");
    EXPECT_STREQ(s.Get(), "");
}

TEST(HeapString, InsertRawMovesTailAndAcceptsOwnBytes)
{
    HeapString s("hello world");
    ASSERT_TRUE(s.InsertRaw(5, ",", 1, 6));
    EXPECT_STREQ(s.Get(), "hello, world");
    // Insert a copy of its own tail in front of it.
    ASSERT_TRUE(s.InsertRaw(0, s.Get() + 7, 5, 12));
    EXPECT_STREQ(s.Get(), "worldhello, world");
    // Cut: keep 5 bytes, no tail.
    ASSERT_TRUE(s.InsertRaw(5, "", 0, 0));
    EXPECT_STREQ(s.Get(), "world");
    EXPECT_FALSE(s.InsertRaw(-1, "x", 1, 0));
    EXPECT_FALSE(s.InsertRaw(9, "x", 1, 0)); // past the end: would leave garbage inside
    EXPECT_STREQ(s.Get(), "world");
    ASSERT_TRUE(s.InsertRaw(0, nullptr, 0, 0));
    EXPECT_STREQ(s.Get(), "");
}

struct Tracked
{
    explicit Tracked(int id, std::string& log)
        : mId(id)
        , mLog(log)
    {
    }
    ~Tracked() { mLog += std::to_string(mId); }
    int mId;
    std::string& mLog;
};

TEST(PointerList, OwnsElementsAndDeletesLastFirst)
{
    std::string log;
    {
        PointerList<Tracked> list;
        EXPECT_EQ(list.Get(0), nullptr);
        for (int i = 0; i < 3; ++i)
            list.Add(new Tracked(i, log));
        EXPECT_EQ(list.Size(), 3);
        EXPECT_EQ(list.Get(1)->mId, 1);
        EXPECT_EQ(list.Get(3), nullptr);
        EXPECT_EQ(list.Get(-1), nullptr);
        Tracked* taken = list.Take(1);
        EXPECT_EQ(list.Get(1)->mId, 2);
        delete taken;
    }
    EXPECT_EQ(log, "120");
}

TEST(IStateChunk, ValuesRoundTripLittleEndian)
{
    IStateChunk c;
    ASSERT_TRUE(c.PutInt32(0x01020304));
    ASSERT_TRUE(c.PutFloat(1.5f));
    ASSERT_TRUE(c.PutDouble(-2.25));
    ASSERT_TRUE(c.PutBytes("xyz", 3));
    ASSERT_EQ(c.Size(), 19);
    EXPECT_EQ(c.GetData()[0], 0x04); // low byte first
    EXPECT_EQ(c.GetData()[3], 0x01);

    int32_t i = 0;
    float f = 0;
    double d = 0;
    char bytes[3];
    int pos = c.GetInt32(i, 0);
    pos = c.GetFloat(f, pos);
    pos = c.GetDouble(d, pos);
    pos = c.GetBytes(bytes, 3, pos);
    EXPECT_EQ(pos, 19);
    EXPECT_EQ(i, 0x01020304);
    EXPECT_EQ(f, 1.5f);
    EXPECT_EQ(d, -2.25);
    EXPECT_EQ(std::memcmp(bytes, "xyz", 3), 0);
}

TEST(IStateChunk, ReadsAtTheBoundaries)
{
    IStateChunk c;
    c.PutInt32(7);
    c.PutInt32(8); // 8 bytes
    struct Case
    {
        int32_t pos;
        int32_t expected;
    };
    const Case cases[] = {
        {0, 4},
        {4, 8},  // ends exactly at the end
        {5, -1}, // one byte short
        {8, -1}, // at the end
        {-1, -1},
        {INT32_MAX - 2, -1}, // pos + size would overflow
        {INT32_MAX, -1},
        {INT32_MIN, -1},
    };
    for (const Case& k : cases)
    {
        int32_t v = -99;
        EXPECT_EQ(c.GetInt32(v, k.pos), k.expected) << k.pos;
        if (k.expected < 0)
        {
            EXPECT_EQ(v, -99) << "output untouched on failure";
        }
    }
    char buf[1];
    EXPECT_EQ(c.GetBytes(buf, INT32_MAX, 1), -1);
    EXPECT_EQ(c.GetBytes(buf, -1, 0), -1);
    EXPECT_EQ(c.GetBytes(nullptr, 0, 8), 8); // an empty read at the end is fine
}

TEST(IStateChunk, PutChunkAppendsAllBytesAndCanAppendItself)
{
    IStateChunk a, b;
    a.PutInt32(1);
    b.PutInt32(2);
    b.PutInt32(3);
    EXPECT_EQ(a.PutChunk(b), 12);
    EXPECT_EQ(a.PutChunk(a), 24);
    int32_t v = 0;
    a.GetInt32(v, 20);
    EXPECT_EQ(v, 3);
    IStateChunk empty;
    EXPECT_EQ(a.PutChunk(empty), 24);
}

TEST(IStateChunk, PutBytesFromItsOwnBytesSurvivesTheBlockMoving)
{
    IStateChunk c;
    for (int32_t i = 0; i < 1000; ++i) // 4000 bytes: the first block is full
        c.PutInt32(i);
    // Copy its last 400 bytes to its end; the block has to move to hold them.
    ASSERT_TRUE(c.PutBytes(c.GetData() + 3600, 400));
    ASSERT_EQ(c.Size(), 4400);
    for (int32_t i = 0; i < 100; ++i)
    {
        int32_t v = -1;
        c.GetInt32(v, 4000 + 4 * i);
        ASSERT_EQ(v, 900 + i) << i;
    }
    EXPECT_FALSE(c.PutBytes(c.GetData() + 4396, 8)); // runs past its own end
    EXPECT_EQ(c.Size(), 4400);
}

} // namespace
