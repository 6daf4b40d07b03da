#include "plugin/engine/DelayLine.h"

#include <gtest/gtest.h>

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
