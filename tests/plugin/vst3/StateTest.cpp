// The 280-byte component state through memory streams: what the module writes, round trip,
// rejection of the format's corruptions and of failing streams, and what the controller shows
// afterwards.
#include "tests/support/DefaultStateRecord.h"
#include "tests/support/ModuleFixture.h"
#include "tests/support/StateCorruptions.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall::test
{
namespace
{

using StateTest = ModuleTest;

TEST_F(StateTest, WritesTheRecordAndTheHostBypassFlag)
{
    auto plugin = NewPlugin();
    std::vector<std::uint8_t> state;
    ASSERT_EQ(plugin->SaveState(state), kResultOk);
    // A fresh instance: the default record, then the host bypass off.
    std::vector<std::uint8_t> expected(std::begin(kDefaultStateRecord),
                                       std::end(kDefaultStateRecord));
    expected.insert(expected.end(), {0, 0, 0, 0});
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(kStateSize));
    EXPECT_EQ(state, expected);

    // A writer that takes a few bytes at a time gets them all; a failing one fails.
    MemoryStream chunked;
    chunked.mChunk = 7;
    ASSERT_EQ(plugin->mComponent->getState(&chunked), kResultOk);
    EXPECT_EQ(chunked.mBytes, state);
    MemoryStream failing;
    failing.mFailAfter = 3;
    failing.mChunk = 7;
    EXPECT_EQ(plugin->mComponent->getState(&failing), kResultFalse);
    EXPECT_EQ(plugin->mComponent->getState(nullptr), kResultFalse);
}

TEST_F(StateTest, RoundTripIntoAFreshInstanceReproducesTheOutput)
{
    auto a = NewPlugin();
    ParameterChanges changes;
    changes.Add(0, 0, Normalized(*a, 0, 6.0)); // Plate
    changes.Add(1, 0, Normalized(*a, 1, 3.5));
    changes.Add(2, 0, Normalized(*a, 2, 40.0));
    changes.Add(5, 0, Normalized(*a, 5, 150.0));
    changes.Add(65536, 0, 0.0);
    Stereo in(4096);
    in.left = NoiseBurst(4096, 1000, 3);
    in.right = NoiseBurst(4096, 1000, 4);
    Render(*a, Stereo(2048), 512, &changes);
    std::vector<std::uint8_t> state;
    ASSERT_EQ(a->SaveState(state), kResultOk);

    auto b = NewPlugin(0.0);
    MemoryStream chunked(state);
    chunked.mChunk = 5; // the reader must loop
    ASSERT_EQ(b->mComponent->setState(&chunked), kResultOk);
    ASSERT_TRUE(b->Start(48000.0, 512));
    // Both start from a prepared engine with the same values.
    a->Stop();
    ASSERT_TRUE(a->Start(48000.0, 512));
    const Stereo outA = Render(*a, in);
    const Stereo outB = Render(*b, in);
    EXPECT_EQ(outA.left, outB.left);
    EXPECT_EQ(outA.right, outB.right);

    std::vector<std::uint8_t> again;
    ASSERT_EQ(b->SaveState(again), kResultOk);
    EXPECT_EQ(again, state);
    // The controller shows the restored values at once.
    EXPECT_NEAR(b->mController->getParamNormalized(1), Normalized(*b, 1, 3.5), 1e-6);
}

TEST_F(StateTest, RestoresTheHostBypassIntoTheController)
{
    auto plugin = NewPlugin();
    std::vector<std::uint8_t> state;
    ASSERT_EQ(plugin->SaveState(state), kResultOk);
    SetStateInt(state, kBypassOffset, 1);
    ASSERT_EQ(plugin->LoadState(state), kResultOk);
    EXPECT_EQ(plugin->mController->getParamNormalized(65536), 1.0);
    std::vector<std::uint8_t> saved;
    ASSERT_EQ(plugin->SaveState(saved), kResultOk);
    EXPECT_EQ(saved, state);
    // And the processor is bypassed: the input passes unchanged.
    const Stereo in(512);
    Stereo burst(512);
    burst.left = NoiseBurst(512, 512, 9);
    burst.right = burst.left;
    const Stereo out = Render(*plugin, burst);
    EXPECT_EQ(out.left, burst.left);
}

TEST_F(StateTest, RejectsEveryMalformedStreamAndChangesNothing)
{
    auto plugin = NewPlugin();
    ASSERT_EQ(plugin->mController->setParamNormalized(4, 0.5), kResultOk);
    std::vector<std::uint8_t> good;
    ASSERT_EQ(plugin->SaveState(good), kResultOk);

    for (const StateCorruption& c : StateCorruptions())
    {
        std::vector<std::uint8_t> bad = good;
        SetStateValue(bad, 4, 80.0f); // would change Mix if anything were applied
        c.apply(bad);
        EXPECT_EQ(plugin->LoadState(bad), kResultFalse) << c.what;
        std::vector<std::uint8_t> now;
        ASSERT_EQ(plugin->SaveState(now), kResultOk);
        EXPECT_EQ(now, good) << c.what;
        EXPECT_DOUBLE_EQ(plugin->mController->getParamNormalized(4), 0.5) << c.what;
    }

    // Streams that fail or stop short are refused too.
    MemoryStream failing(good);
    failing.mFailAfter = 2;
    failing.mChunk = 100;
    EXPECT_EQ(plugin->mComponent->setState(&failing), kResultFalse);
    MemoryStream failingAtTheEnd(good); // all 280 bytes in three reads, then an error
    failingAtTheEnd.mFailAfter = 3;
    failingAtTheEnd.mChunk = 100;
    EXPECT_EQ(plugin->mComponent->setState(&failingAtTheEnd), kResultFalse);
    EXPECT_EQ(plugin->mComponent->setState(nullptr), kResultFalse);

    // Whole and range-edge values are accepted.
    std::vector<std::uint8_t> edge = good;
    SetStateValue(edge, 0, 4.0f);
    SetStateValue(edge, 1, 30.0f);
    EXPECT_EQ(plugin->LoadState(edge), kResultOk);
}

} // namespace
} // namespace lumenfall::test
