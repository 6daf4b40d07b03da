#include "plugin/engine/DelayLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace lumenfall::engine
{
namespace
{

// Writing already sanitised samples through the unchecked stores leaves a line reading
// exactly as Write does: same slots, same position, same rule for slots not yet written,
// across the wrap of the storage and after a clear.
TEST(DelayLineWriteTest, SanitisedWritesEqualWrite)
{
    constexpr int kCapacity = 100; // storage of 128: the writes wrap several times
    DelayLine checked;
    DelayLine single;
    DelayLine block;
    for (DelayLine* line : {&checked, &single, &block})
    {
        ASSERT_TRUE(line->Resize(kCapacity));
    }
    std::mt19937 random(5);
    std::uniform_real_distribution<float> u(-80.0f, 80.0f);
    std::vector<float> x(64);
    for (int round = 0; round < 40; ++round)
    {
        if (round == 25)
        {
            for (DelayLine* line : {&checked, &single, &block})
            {
                line->Clear();
            }
        }
        const int n = 1 + round * 13 % 64;
        for (int k = 0; k < n; ++k)
        {
            x[k] = SanitizeSample(k % 7 == 0 ? u(random) * 1e-27f : u(random));
            checked.Write(x[k]);
            single.WriteSanitized(x[k]);
        }
        block.WriteBlockSanitized(x.data(), n);
        ASSERT_EQ(single.WritePosition(), checked.WritePosition());
        ASSERT_EQ(block.WritePosition(), checked.WritePosition());
        ASSERT_EQ(block.Written(), checked.Written());
        for (float d = 1.0f; d <= checked.MaxDelay(); d += 0.5f)
        {
            ASSERT_EQ(single.Read(d), checked.Read(d)) << round << " " << d;
            ASSERT_EQ(block.Read(d), checked.Read(d)) << round << " " << d;
        }
    }
}

// Every write path keeps the run past the end in step with the start of the storage: from any
// start, Window's kWindow slots are the masked slots, across many wraps of the smallest storage
// (256 slots) with writes of up to a block of the block forms, and after a clear.
TEST(DelayLineWriteTest, WindowsStayWholeAcrossTheWrap)
{
    DelayLine line;
    ASSERT_TRUE(line.Resize(200));
    ASSERT_EQ(line.Mask(), 255);
    std::mt19937 random(9);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x(kCoreBlock);
    for (int round = 0; round < 90; ++round)
    {
        if (round == 45)
        {
            line.Clear();
        }
        const int n = 1 + round * 11 % kCoreBlock;
        for (int k = 0; k < n; ++k)
        {
            x[k] = u(random);
        }
        switch (round % 4)
        {
        case 0:
            for (int k = 0; k < n; ++k)
            {
                line.Write(x[k]);
            }
            break;
        case 1:
            for (int k = 0; k < n; ++k)
            {
                line.WriteSanitized(x[k]);
            }
            break;
        case 2:
            line.WriteBlockSanitized(x.data(), n);
            break;
        default:
            if (float* run = line.NextRun(n))
            {
                std::copy_n(x.data(), n, run);
                line.Advance(n);
            }
            else
            {
                line.WriteBlockSanitized(x.data(), n);
            }
            break;
        }
        for (int start = 0; start <= line.Mask(); ++start)
        {
            const float* window = line.Window(start);
            for (int k = 0; k < DelayLine::kWindow; ++k)
            {
                ASSERT_EQ(window[k], line.Data()[(start + k) & line.Mask()])
                    << round << " " << start << " " << k;
            }
        }
    }
}

TEST(DelayLineWriteTest, UnsizedLineIgnoresSanitisedWrites)
{
    DelayLine line;
    const float x[3] = {0.5f, 0.25f, -1.0f};
    line.WriteSanitized(1.0f);
    line.WriteBlockSanitized(x, 3);
    EXPECT_EQ(line.Written(), 0);
    EXPECT_EQ(line.Read(1.0f), 0.0f);
}

} // namespace
} // namespace lumenfall::engine
