#include "plugin/engine/ReverbEngine.h"
#include "tests/plugin/engine/EngineRender.h"
#include "tests/plugin/engine/ReverbEngineTestAccess.h"
#include "tests/support/AllocationGuard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>

namespace lumenfall::test
{
namespace
{

using engine::EngineParameters;
using engine::ParamId;
using engine::ReverbEngine;
using engine::ReverbEngineTestAccess;
using engine::ReverbModel;

constexpr double kRate = 48000.0;

void ExpectSameOutput(const StereoBuffer& actual, const StereoBuffer& expected, const char* what)
{
    EXPECT_EQ(actual.left, expected.left) << what;
    EXPECT_EQ(actual.right, expected.right) << what;
}

// Preparation asks for its memory without exceptions. Whichever of its allocations fails, on a
// new engine or on one preparing again for another rate, Prepare returns false and the engine is
// unprepared: each output then carries its own input, sanitised. A later Prepare with memory to
// spare works as if nothing had failed.
TEST(EngineLifecycleTest, PrepareSurvivesEveryFailedAllocation)
{
    EngineParameters p;
    p[ParamId::Mix] = 50.0f;
    StereoBuffer input = Noise(4800, 0.5f);
    input.left[10] = std::numeric_limits<float>::quiet_NaN();
    input.right[11] = 100.0f;
    input.left[12] = 1e-30f;
    StereoBuffer passed = input;
    for (std::size_t i = 0; i < input.Frames(); ++i)
    {
        passed.left[i] = engine::SanitizeSample(input.left[i]);
        passed.right[i] = engine::SanitizeSample(input.right[i]);
    }
    ReverbEngine fresh;
    fresh.SetParameters(p);
    ASSERT_TRUE(fresh.Prepare(kRate, 2));
    const StereoBuffer expected = Render(fresh, input);

    struct Case
    {
        const char* name;
        bool preparedBefore; ///< prepared at 22.05 kHz and run first; the failing Prepare is at 48
    };
    for (const Case c : {Case{"first preparation", false}, Case{"new rate", true}})
    {
        const auto makeEngine = [&]
        {
            auto engine = std::make_unique<ReverbEngine>();
            engine->SetParameters(p);
            if (c.preparedBefore)
            {
                EXPECT_TRUE(engine->Prepare(22050.0, 2));
                Render(*engine, input);
            }
            return engine;
        };
        std::size_t needed = 0;
        {
            const auto probe = makeEngine();
            AllocationGuard guard;
            ASSERT_TRUE(probe->Prepare(kRate, 2));
            needed = guard.Count();
        }
        ASSERT_GT(needed, 1u) << c.name;
        for (std::size_t allowed = 0; allowed < needed; ++allowed)
        {
            SCOPED_TRACE(testing::Message() << c.name << ", allocation " << allowed << " fails");
            const auto engine = makeEngine();
            bool prepared = true;
            std::size_t refused = 0;
            {
                AllocationFailure failure(allowed);
                prepared = engine->Prepare(kRate, 2);
                refused = failure.Refused();
            }
            EXPECT_GE(refused, 1u);
            EXPECT_FALSE(prepared);
            EXPECT_FALSE(engine->IsPrepared());
            ExpectSameOutput(Render(*engine, input), passed, "unprepared");
            ASSERT_TRUE(engine->Prepare(kRate, 2));
            ExpectSameOutput(Render(*engine, input), expected, "prepared again");
        }
    }
}

// Preparing again (at a new rate, or the same one) returns all audio state to silence and the
// meters to 0, whatever ran before (here a model change with its crossfade still running): the
// output is exactly that of a fresh engine.
TEST(EngineLifecycleTest, PreparingAgainEqualsAFreshEngine)
{
    EngineParameters hall;
    hall[ParamId::Mix] = 100.0f;
    EngineParameters shimmer = hall;
    shimmer[ParamId::ReverbType] = static_cast<float>(ReverbModel::Shimmer);
    const StereoBuffer input = Noise(9600, 0.5f);
    for (const double rate : {96000.0, 48000.0})
    {
        ReverbEngine used;
        used.SetParameters(hall);
        ASSERT_TRUE(used.Prepare(kRate, 2));
        Render(used, input);
        used.SetParameters(shimmer);
        Render(used, Noise(1024, 0.5f, 9)); // the switch to the second core is still fading
        ASSERT_TRUE(used.Prepare(rate, 2));
        const engine::MeterLevels m = used.GetMeterLevels();
        EXPECT_EQ(m.inputPeak, 0.0f);
        EXPECT_EQ(m.wetPeak, 0.0f);
        EXPECT_EQ(m.outputPeak, 0.0f);
        EXPECT_EQ(m.duckReduction, 0.0f);

        ReverbEngine fresh;
        fresh.SetParameters(shimmer);
        ASSERT_TRUE(fresh.Prepare(rate, 2));
        ExpectSameOutput(Render(used, input), Render(fresh, input), rate == kRate ? "same" : "new");
    }
}

// The count of processed samples that phases the 32-sample refresh is unsigned and wraps at
// 2^32, a multiple of 32. An engine whose count runs across the wrap refreshes on exactly the
// samples of one whose count has the same phase far from it (a model change asked for before
// the wrap and one after it start their crossfades alike); a different phase shows.
TEST(EngineLifecycleTest, RefreshPhaseSurvivesTheCounterWrap)
{
    const StereoBuffer input = Noise(4800, 0.5f);
    for (const bool reference : {false, true})
    {
        const auto run = [&](std::uint32_t start)
        {
            EngineParameters p;
            p[ParamId::Mix] = 100.0f;
            ReverbEngine engine;
            engine.SetReferenceProcessing(reference);
            engine.SetParameters(p);
            EXPECT_TRUE(engine.Prepare(kRate, 2));
            ReverbEngineTestAccess::SetProcessedSamples(engine, start);
            StereoBuffer out(input.Frames());
            for (std::size_t at = 0; at < input.Frames(); at += 100)
            {
                if (at == 900 || at == 3000)
                {
                    p[ParamId::ReverbType] =
                        static_cast<float>(at == 900 ? ReverbModel::Plate : ReverbModel::Cathedral);
                    engine.SetParameters(p);
                }
                const float* in[2] = {input.left.data() + at, input.right.data() + at};
                float* o[2] = {out.left.data() + at, out.right.data() + at};
                engine.Process(in, o, 100, false);
            }
            return out;
        };
        // 2^32 - 1000 has phase 24 and wraps to 0 at sample 1000, the refresh that starts the
        // first crossfade.
        const StereoBuffer acrossWrap = run(std::numeric_limits<std::uint32_t>::max() - 999u);
        ExpectSameOutput(acrossWrap, run(24), reference ? "reference" : "block");
        EXPECT_NE(acrossWrap.left, run(8).left) << "the refresh phase must matter";
    }
}

} // namespace
} // namespace lumenfall::test
