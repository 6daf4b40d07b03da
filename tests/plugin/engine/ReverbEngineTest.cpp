#include "plugin/engine/ReverbEngine.h"
#include "tests/plugin/engine/EngineRender.h"
#include "tests/plugin/engine/ReverbEngineTestAccess.h"
#include "tests/support/SignalAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>

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

std::size_t FirstAbove(const std::vector<float>& x, float level)
{
    for (std::size_t i = 0; i < x.size(); ++i)
    {
        if (std::fabs(x[i]) > level)
        {
            return i;
        }
    }
    return x.size();
}

struct PrepareCase
{
    double rate;
    int channels;
    double expectedRate;
    int expectedChannels;
};

TEST(ReverbEngineTest, PrepareHoldsRateAndChannels)
{
    const PrepareCase cases[] = {
        {std::numeric_limits<double>::quiet_NaN(), 2, 48000.0, 2},
        {500000.0, 5, 192000.0, 2},
        {8000.0, 0, 22050.0, 1},
        {44100.0, 2, 44100.0, 2},
    };
    for (const PrepareCase& c : cases)
    {
        ReverbEngine engine;
        EXPECT_TRUE(engine.Prepare(c.rate, c.channels));
        EXPECT_EQ(engine.SampleRate(), c.expectedRate);
        EXPECT_EQ(engine.Channels(), c.expectedChannels);
    }
}

TEST(ReverbEngineTest, TempoIsHeldInRange)
{
    ReverbEngine engine;
    const double cases[][2] = {{0.0, 20.0},
                               {1000.0, 400.0},
                               {std::numeric_limits<double>::infinity(), 120.0},
                               {97.5, 97.5}};
    for (const auto& c : cases)
    {
        engine.SetTempo(c[0]);
        EXPECT_EQ(engine.Tempo(), c[1]);
    }
}

// Unprepared, every output channel gets its own input, sanitised; nothing is left untouched.
TEST(ReverbEngineTest, UnpreparedPassesSanitisedInput)
{
    ReverbEngine engine;
    const float left[4] = {0.5f, std::numeric_limits<float>::quiet_NaN(), 100.0f, 1e-30f};
    const float right[4] = {-0.25f, std::numeric_limits<float>::infinity(), -100.0f, 0.125f};
    float outL[4] = {9, 9, 9, 9};
    float outR[4] = {9, 9, 9, 9};
    const float* in[2] = {left, right};
    float* out[2] = {outL, outR};
    engine.Process(in, out, 4, false);
    const float expectedL[4] = {0.5f, 0.0f, 64.0f, 0.0f};
    const float expectedR[4] = {-0.25f, 0.0f, -64.0f, 0.125f};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(outL[i], expectedL[i]) << i;
        EXPECT_EQ(outR[i], expectedR[i]) << i;
    }
    // A missing input reads as silence.
    const float* none[2] = {left, nullptr};
    engine.Process(none, out, 4, false);
    EXPECT_EQ(outR[0], 0.0f);
    EXPECT_EQ(engine.GetMeterLevels().inputPeak, 0.0f);
}

struct PreDelayCase
{
    const char* name;
    float preDelayMs;
    bool sync;
    int division;
    double tempo;
    double expectedSamples;
};

// The first arrival moves by exactly the pre-delay, free or tempo-synced.
TEST(ReverbEngineTest, PreDelayShiftsTheArrival)
{
    const PreDelayCase cases[] = {
        {"free 100 ms", 100.0f, false, 0, 120.0, 4800.0},
        {"1/8 dotted at 120 BPM", 0.0f, true, 7, 120.0, 18000.0},      // 375 ms
        {"1/1 at 20 BPM is held at 2 s", 0.0f, true, 6, 0.0, 96000.0}, // asks 12 s
    };
    EngineParameters p = TailParameters(ReverbModel::Hall, 1.0f);
    p[ParamId::EarlyReflections] = 100.0f;
    const StereoBuffer reference = ImpulseResponse(p, kRate, 0.1);
    const std::size_t base = FirstAbove(reference.left, 1e-6f);
    for (const PreDelayCase& c : cases)
    {
        EngineParameters q = p;
        q[ParamId::PreDelay] = c.preDelayMs;
        q[ParamId::PreDelaySync] = c.sync ? 1.0f : 0.0f;
        q[ParamId::NoteDivision] = static_cast<float>(c.division);
        ReverbEngine engine;
        engine.SetParameters(q);
        engine.SetTempo(c.tempo);
        engine.Prepare(kRate, 2);
        StereoBuffer input(static_cast<std::size_t>(c.expectedSamples) + base + 100);
        input.left[0] = input.right[0] = 1.0f;
        const StereoBuffer out = Render(engine, input);
        const double arrival = static_cast<double>(FirstAbove(out.left, 1e-6f));
        EXPECT_NEAR(arrival - static_cast<double>(base), c.expectedSamples, 1.0) << c.name;
    }
}

struct GlideCase
{
    const char* name;
    ParamId id;
    float to;
    std::size_t endsWithin; ///< samples after the change
    bool perSample;         ///< the glide takes the per-sample form
};

// A value that has stopped moving has arrived: after a change of a parameter the cores read
// sample by sample, the engine leaves the per-sample form once the glide ends, within 150 ms of
// audio after a jump across most of the range (300 ms for "Size", which ends finer), and does
// not return to it. The cores' output levels, the LFO's rate and, on the network models, the
// diffusion glide in the block form throughout.
TEST(ReverbEngineTest, GlidesEndAndTheBlockFormReturns)
{
    const GlideCase cases[] = {{"Size", ParamId::Size, 190.0f, 14400, false},
                               {"Diffusion", ParamId::Diffusion, 5.0f, 7200, false},
                               {"Gate Length", ParamId::GateLength, 1900.0f, 7200, false},
                               {"Modulation Rate", ParamId::ModulationRate, 4.5f, 7200, false},
                               {"Freeze", ParamId::Freeze, 1.0f, 7200, true},
                               {"Tone", ParamId::Tone, -60.0f, 7200, false},
                               {"Early Reflections", ParamId::EarlyReflections, 0.0f, 7200, false},
                               {"Late Tail", ParamId::LateTail, 5.0f, 7200, false}};
    const StereoBuffer input = Noise(48000 + 14400, 0.3f);
    for (const GlideCase& c : cases)
    {
        EngineParameters p;
        p[ParamId::ReverbType] = static_cast<float>(ReverbModel::Gated); // reads all of them
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        StereoBuffer out(input.Frames());
        ProcessAt(engine, input, out, 0, 512);
        EXPECT_EQ(ReverbEngineTestAccess::SampleFormSamples(engine), 0u)
            << c.name << ": settled at the start";
        p[c.id] = c.to;
        engine.SetParameters(p);
        std::size_t start = 512;
        for (; start < 512 + c.endsWithin; start += 512)
        {
            ProcessAt(engine, input, out, start, 512);
        }
        const std::uint64_t gliding = ReverbEngineTestAccess::SampleFormSamples(engine);
        EXPECT_EQ(gliding > 0, c.perSample) << c.name << ": the form the glide itself takes";
        for (; start + 512 <= input.Frames(); start += 512)
        {
            ProcessAt(engine, input, out, start, 512);
        }
        EXPECT_EQ(ReverbEngineTestAccess::SampleFormSamples(engine), gliding) << c.name;
    }
}

struct PreDelayGlideCase
{
    const char* name;
    float preDelayMs;
    bool sync;
    int division;
    double tempo;
};

// The pre-delay's 32-bit glide stalls a fraction of a float's spacing short of most targets;
// once its step no longer changes it, it is at its target, free or synced, after a change of
// the time or of the tempo.
TEST(ReverbEngineTest, PreDelayGlideArrives)
{
    const PreDelayGlideCase cases[] = {
        {"free 137.5 ms", 137.5f, false, 4, 120.0},
        {"free 333.3 ms", 333.3f, false, 4, 120.0},
        {"free 499 ms", 499.0f, false, 4, 120.0},
        {"free 7.1 ms", 7.1f, false, 4, 120.0},
        {"1/8 dotted at 137 BPM", 22.0f, true, 7, 137.0},
        {"1/1 at 97 BPM", 22.0f, true, 6, 97.0},
        {"1/4 triplet at 173 BPM", 22.0f, true, 10, 173.0},
    };
    const StereoBuffer input = Noise(48000, 0.3f);
    for (const PreDelayGlideCase& c : cases)
    {
        EngineParameters p;
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        p[ParamId::PreDelay] = c.preDelayMs;
        p[ParamId::PreDelaySync] = c.sync ? 1.0f : 0.0f;
        p[ParamId::NoteDivision] = static_cast<float>(c.division);
        engine.SetParameters(p);
        engine.SetTempo(c.tempo);
        Render(engine, input);
        EXPECT_NE(ReverbEngineTestAccess::PreDelayTarget(engine), 1056.0f)
            << c.name << ": the target moved";
        EXPECT_EQ(ReverbEngineTestAccess::PreDelaySamples(engine),
                  ReverbEngineTestAccess::PreDelayTarget(engine))
            << c.name;
    }
}

struct EarlyCase
{
    ReverbModel model;
    float size;
    std::size_t left;  ///< trunc(D) - 1, D = fs x 3.1 ms x size factor x model scale + 1
    std::size_t right; ///< trunc(0.943 D) - 1: the right side's cross tap from the left line
};

// The first early reflection of each side arrives where the first tap's time, scaled by Size
// and by the model's early-reflection scale (0.45 Ambience, 0.65 Small Room, 1.7 Cathedral,
// 1 otherwise), puts it.
TEST(ReverbEngineTest, FirstEarlyReflectionFollowsModelAndSize)
{
    const EarlyCase cases[] = {
        {ReverbModel::Ambience, 100.0f, 66, 63},
        {ReverbModel::SmallRoom, 100.0f, 96, 91},
        {ReverbModel::Hall, 200.0f, 260, 245},
        {ReverbModel::Cathedral, 10.0f, 82, 77},
        {ReverbModel::Spring, 100.0f, 148, 140},
    };
    for (const EarlyCase& c : cases)
    {
        EngineParameters p = TailParameters(c.model, 1.0f);
        p[ParamId::EarlyReflections] = 100.0f;
        p[ParamId::LateTail] = 0.0f;
        p[ParamId::Size] = c.size;
        const StereoBuffer out = ImpulseResponse(p, kRate, 0.02);
        const std::string name = engine::ReverbModelName(static_cast<int>(c.model));
        EXPECT_EQ(FirstAbove(out.left, 1e-7f), c.left) << name;
        EXPECT_EQ(FirstAbove(out.right, 1e-7f), c.right) << name;
    }
}

// After a model change the old model's tail is gone once the 60 ms crossfade has run: the
// output is then exactly that of a fresh engine of the new model fed from the switch on.
TEST(ReverbEngineTest, ModelSwitchLeavesOnlyTheNewModel)
{
    EngineParameters hall = TailParameters(ReverbModel::Hall, 6.0f);
    EngineParameters studio = hall;
    studio[ParamId::ReverbType] = static_cast<float>(ReverbModel::Studio);
    const std::size_t switchAt = 24000; // a multiple of the refresh period
    const StereoBuffer input = Noise(switchAt + 12000, 0.5f);

    ReverbEngine engine;
    engine.SetParameters(hall);
    engine.Prepare(kRate, 2);
    StereoBuffer first(switchAt);
    std::copy_n(input.left.begin(), switchAt, first.left.begin());
    std::copy_n(input.right.begin(), switchAt, first.right.begin());
    Render(engine, first);
    engine.SetParameters(studio);
    StereoBuffer second(input.Frames() - switchAt);
    std::copy(input.left.begin() + switchAt, input.left.end(), second.left.begin());
    std::copy(input.right.begin() + switchAt, input.right.end(), second.right.begin());
    const StereoBuffer switched = Render(engine, second);

    ReverbEngine fresh;
    fresh.SetParameters(studio);
    fresh.Prepare(kRate, 2);
    const StereoBuffer expected = Render(fresh, second);

    const std::size_t fade = static_cast<std::size_t>(kRate * 0.06);
    double during = 0.0;
    for (std::size_t i = 0; i < fade; ++i)
    {
        during =
            std::max(during, std::fabs(static_cast<double>(switched.left[i]) - expected.left[i]));
    }
    EXPECT_GT(during, 1e-3) << "the old tail should still sound during the crossfade";
    for (std::size_t i = fade; i < second.Frames(); ++i)
    {
        ASSERT_NEAR(switched.left[i], expected.left[i], 1e-6f) << i;
        ASSERT_NEAR(switched.right[i], expected.right[i], 1e-6f) << i;
    }
}

// While every parameter holds still the engine runs its cores several refresh periods at a time;
// that gives, to the bit, what host blocks of one refresh period (which never allow it) give: for
// every model, with onsets for the enveloped ones, from cleared lines through their filling, and on
// after a parameter glide has settled.
TEST(ReverbEngineTest, LongRunsEqualShortOnes)
{
    StereoBuffer input = Noise(72000, 0.3f);
    for (std::size_t i = 0; i < input.Frames(); i += 9000)
    {
        input.left[i] = input.right[i] = 1.0f; // an onset
    }
    for (int model = 0; model < engine::kReverbModelCount; ++model)
    {
        const auto render = [&](int block)
        {
            EngineParameters p;
            p[ParamId::ReverbType] = static_cast<float>(model);
            p[ParamId::ModulationDepth] = 60.0f;
            p[ParamId::EarlyReflections] = 70.0f;
            ReverbEngine engine;
            engine.SetParameters(p);
            engine.Prepare(kRate, 2);
            StereoBuffer out(input.Frames());
            for (std::size_t start = 0; start < input.Frames(); start += block)
            {
                if (start == 36000)
                {
                    p[ParamId::Decay] = 3.0f; // glides, then holds still again
                    engine.SetParameters(p);
                }
                ProcessAt(engine, input, out, start, block);
            }
            return out;
        };
        const StereoBuffer longRuns = render(480);
        const StereoBuffer shortRuns = render(32);
        EXPECT_EQ(longRuns.left, shortRuns.left) << model;
        EXPECT_EQ(longRuns.right, shortRuns.right) << model;
    }
}

// A model change asked for while a crossfade runs waits for it: the second change starts at the
// first refresh after the 60 ms fade has ended, exactly as if it had been asked for then.
TEST(ReverbEngineTest, SecondModelChangeWaitsForTheRunningFade)
{
    const std::size_t firstAt = 9600; // a multiple of the refresh period
    const std::size_t fade = 2880;    // 60 ms
    const StereoBuffer input = Noise(firstAt + 3 * fade, 0.5f);
    const auto run = [&](std::size_t secondAt)
    {
        EngineParameters p;
        p[ParamId::Mix] = 100.0f;
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        StereoBuffer out(input.Frames());
        for (std::size_t start = 0; start < input.Frames(); start += 96)
        {
            if (start == firstAt || start == secondAt)
            {
                p[ParamId::ReverbType] =
                    static_cast<float>(start == firstAt ? ReverbModel::Studio : ReverbModel::Plate);
                engine.SetParameters(p);
            }
            const float* in[2] = {input.left.data() + start, input.right.data() + start};
            float* o[2] = {out.left.data() + start, out.right.data() + start};
            engine.Process(in, o, 96, false);
        }
        return out;
    };
    const StereoBuffer early = run(firstAt + 480); // 10 ms into the first fade
    const StereoBuffer atEnd = run(firstAt + fade);
    EXPECT_EQ(early.left, atEnd.left);
    EXPECT_EQ(early.right, atEnd.right);
    EXPECT_NE(early.left, run(input.Frames()).left) << "the second change must happen";
}

// Model changes asked for faster than the fades run, so each waits for the one before: the engine
// runs its cores up to the refresh that starts the waiting change, and not past it; and a core
// reset for a new model, whose lines held a full capacity of its old sound, sums its early taps
// from the new sound only. Host blocks of one refresh period, which never allow long runs, give
// the same output to the bit.
TEST(ReverbEngineTest, LongRunsDuringFadesEqualShortOnes)
{
    const std::size_t firstChange = 36864; // after the early lines have filled and wrapped
    const StereoBuffer input = Noise(96 * 512, 0.5f);
    const ReverbModel models[] = {ReverbModel::Hall, ReverbModel::Plate, ReverbModel::Studio};
    const auto render = [&](int block)
    {
        EngineParameters p;
        p[ParamId::Mix] = 100.0f;
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        StereoBuffer out(input.Frames());
        for (std::size_t start = 0; start < input.Frames(); start += block)
        {
            if (start >= firstChange && start % 2048 == 0)
            {
                p[ParamId::ReverbType] = static_cast<float>(models[start / 2048 % 3]);
                engine.SetParameters(p);
            }
            ProcessAt(engine, input, out, start, block);
        }
        return out;
    };
    const StereoBuffer longRuns = render(512);
    const StereoBuffer shortRuns = render(32);
    EXPECT_EQ(longRuns.left, shortRuns.left);
    EXPECT_EQ(longRuns.right, shortRuns.right);
}

// A non-finite input sample is silence, in the dry path and in the reverb alike, in both forms.
TEST(ReverbEngineTest, NonFiniteInputIsSilence)
{
    StereoBuffer clean = Noise(4800, 0.5f);
    clean.left[1000] = clean.right[2000] = clean.left[3000] = clean.right[3000] = 0.0f;
    StereoBuffer dirty = clean;
    dirty.left[1000] = std::numeric_limits<float>::quiet_NaN();
    dirty.right[2000] = std::numeric_limits<float>::infinity();
    dirty.left[3000] = -std::numeric_limits<float>::infinity();
    dirty.right[3000] = std::numeric_limits<float>::quiet_NaN();
    for (const bool reference : {false, true})
    {
        StereoBuffer outs[2];
        for (int k = 0; k < 2; ++k)
        {
            ReverbEngine engine;
            engine.SetReferenceProcessing(reference);
            engine.Prepare(kRate, 2);
            outs[k] = Render(engine, k == 0 ? dirty : clean);
        }
        EXPECT_EQ(outs[0].left, outs[1].left) << reference;
        EXPECT_EQ(outs[0].right, outs[1].right) << reference;
    }
}

struct DryCase
{
    const char* name;
    float mix;
    float bypassAtPrepare;
    float bypassLater;
    bool force;
    double exactFrom;   ///< seconds after the change from which the output is the input
    double fadingUntil; ///< the bypass fade still shows in the 10 ms before this (0: no fade)
};

// Fully dry or fully bypassed, the output is the input bit for bit once the fades settle: the
// 20 ms bypass fade comes within 1e-6 of its end, and snaps, after 0.276 s; the Mix glide
// reaches its 1e-8 snap after 0.43 s.
TEST(ReverbEngineTest, DryPathsAreBitExact)
{
    const DryCase cases[] = {
        {"Mix 0", 0.0f, 0.0f, 0.0f, false, 0.44, 0.0},
        {"Bypass at preparation", 25.0f, 1.0f, 1.0f, false, 0.0, 0.0},
        {"Bypass switched on", 25.0f, 0.0f, 1.0f, false, 0.277, 0.27},
        {"forced bypass", 25.0f, 0.0f, 0.0f, true, 0.277, 0.27},
    };
    const StereoBuffer input = Noise(48000, 0.9f);
    for (const DryCase& c : cases)
    {
        EngineParameters p;
        p[ParamId::Bypass] = c.bypassAtPrepare;
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        const StereoBuffer warm = Noise(12000, 0.5f, 7);
        const StereoBuffer before = Render(engine, warm);
        if (c.bypassAtPrepare > 0.5f)
        {
            EXPECT_EQ(before.left, warm.left) << c.name;
        }
        p[ParamId::Mix] = c.mix;
        p[ParamId::Bypass] = c.bypassLater;
        engine.SetParameters(p);
        StereoBuffer out(input.Frames());
        for (std::size_t start = 0; start < input.Frames(); start += 512)
        {
            const float* in[2] = {input.left.data() + start, input.right.data() + start};
            float* o[2] = {out.left.data() + start, out.right.data() + start};
            engine.Process(in,
                           o,
                           static_cast<int>(std::min<std::size_t>(512, input.Frames() - start)),
                           c.force);
        }
        for (auto i = static_cast<std::size_t>(c.exactFrom * kRate); i < input.Frames(); ++i)
        {
            ASSERT_EQ(out.left[i], input.left[i]) << c.name << " " << i;
            ASSERT_EQ(out.right[i], input.right[i]) << c.name << " " << i;
        }
        if (c.fadingUntil > 0.0)
        {
            const auto end = static_cast<std::size_t>(c.fadingUntil * kRate);
            const std::vector<float> fading(out.left.begin() + end - 480, out.left.begin() + end);
            EXPECT_NE(fading,
                      std::vector<float>(input.left.begin() + end - 480, input.left.begin() + end))
                << c.name;
        }
    }
}

// Input and output may share memory; odd block sizes change nothing either.
TEST(ReverbEngineTest, InPlaceAndBlockSizes)
{
    const StereoBuffer input = Noise(9000, 0.5f);
    ReverbEngine reference;
    reference.Prepare(kRate, 2);
    const StereoBuffer expected = Render(reference, input, 512);
    ReverbEngine engine;
    engine.Prepare(kRate, 2);
    StereoBuffer buffer = input;
    for (std::size_t start = 0, block = 1; start < buffer.Frames(); start += block, block += 7)
    {
        block = std::min(block, buffer.Frames() - start);
        float* io[2] = {buffer.left.data() + start, buffer.right.data() + start};
        engine.Process(io, io, static_cast<int>(block), false);
    }
    // Equal up to the rounding of the per-block phasor seeds.
    for (std::size_t i = 0; i < buffer.Frames(); ++i)
    {
        ASSERT_NEAR(buffer.left[i], expected.left[i], 1e-6f) << i;
        ASSERT_NEAR(buffer.right[i], expected.right[i], 1e-6f) << i;
    }
}

// The glides run segment by segment in the block form, their samples from tables of powers: the
// host's block sizes change the output by rounding only, here with every continuous parameter
// jumping at once (on Hall, and on Shimmer and Gated for the values only they read), or "Size"
// alone, then sweeping back in steps.
TEST(ReverbEngineTest, GlidesHardlyDependOnTheHostsBlocks)
{
    const StereoBuffer input = Noise(24000, 0.4f);
    struct Case
    {
        ReverbModel model;
        bool sizeAlone; // "Size" moves alone: the cores take the refreshes inside long runs
    };
    for (const Case c : {Case{ReverbModel::Hall, false},
                         Case{ReverbModel::Shimmer, false},
                         Case{ReverbModel::Gated, false},
                         Case{ReverbModel::Hall, true},
                         Case{ReverbModel::Plate, true}})
    {
        const ReverbModel model = c.model;
        // The parameters before sample `at`: each continuous one (or "Size" alone) at 30 % of
        // its range until 4000, 70 % until 12000, then back in steps of a host block.
        const auto parametersAt = [model, c](std::size_t at)
        {
            EngineParameters p;
            p[ParamId::ReverbType] = static_cast<float>(model);
            const double x =
                at < 4000
                    ? 0.3
                    : (at < 12000
                           ? 0.7
                           : 0.7 - 0.4 * static_cast<double>(at / 500 * 500 - 12000) / 12000.0);
            for (int i = 0; i < engine::kParamCount; ++i)
            {
                const auto id = static_cast<ParamId>(i);
                if (!engine::ParamIsSwitch(id) && !engine::ParamIsWholeNumber(id) &&
                    (!c.sizeAlone || id == ParamId::Size))
                {
                    p[i] = static_cast<float>(
                        engine::ParamMinimum(id) +
                        (engine::ParamMaximum(id) - engine::ParamMinimum(id)) * x);
                }
            }
            return p;
        };
        // Blocks of `block` frames, cut at 4000, 12000 and every 500 frames after it, where the
        // parameters change.
        const auto render = [&](std::size_t block)
        {
            ReverbEngine engine;
            engine.SetParameters(parametersAt(0));
            engine.Prepare(kRate, 2);
            StereoBuffer out(input.Frames());
            for (std::size_t start = 0; start < input.Frames();)
            {
                std::size_t next = std::min(start + block, input.Frames());
                for (const std::size_t cut : {std::size_t{4000}, std::size_t{12000}})
                {
                    next = start < cut && next > cut ? cut : next;
                }
                if (start >= 12000)
                {
                    next = std::min(next, (start / 500 + 1) * 500);
                }
                engine.SetParameters(parametersAt(start));
                ProcessAt(engine, input, out, start, static_cast<int>(next - start));
                start = next;
            }
            return out;
        };
        const StereoBuffer whole = render(512);
        const StereoBuffer odd = render(37);
        float largest = 0.0f;
        for (std::size_t i = 0; i < whole.Frames(); ++i)
        {
            largest = std::max({largest,
                                std::fabs(whole.left[i] - odd.left[i]),
                                std::fabs(whole.right[i] - odd.right[i])});
        }
        // The LFO's phasors, seeded per block, round alike to about 1e-6.
        EXPECT_LE(largest, 2e-6f) << static_cast<int>(model) << " " << c.sizeAlone;
    }
}

TEST(ReverbEngineTest, WidthZeroGivesIdenticalChannels)
{
    EngineParameters p;
    p[ParamId::Width] = 0.0f;
    p[ParamId::Mix] = 100.0f;
    ReverbEngine engine;
    engine.SetParameters(p);
    engine.Prepare(kRate, 2);
    const StereoBuffer out = Render(engine, Noise(9600, 0.5f));
    EXPECT_EQ(out.left, out.right);
    EXPECT_GT(Rms(out.left, 4800, 9600), 1e-3);
}

// A mono engine writes (L' + R') / 2 to its output, and the same to a second output buffer.
TEST(ReverbEngineTest, MonoCarriesTheMidOfTheWetPair)
{
    EngineParameters p;
    p[ParamId::Mix] = 100.0f;
    StereoBuffer input = Noise(9600, 0.5f);
    input.right = input.left;
    ReverbEngine mono;
    mono.SetParameters(p);
    mono.Prepare(kRate, 1);
    const StereoBuffer monoOut = Render(mono, input);
    p[ParamId::Width] = 0.0f;
    ReverbEngine stereo;
    stereo.SetParameters(p);
    stereo.Prepare(kRate, 2);
    const StereoBuffer stereoOut = Render(stereo, input);
    EXPECT_EQ(monoOut.left, monoOut.right);
    for (std::size_t i = 0; i < input.Frames(); ++i)
    {
        ASSERT_NEAR(monoOut.left[i], stereoOut.left[i], 1e-6f) << i;
    }
}

// Meter semantics: input peak before the trim, wet peak after width, the ducker's reduction.
TEST(ReverbEngineTest, MetersAndDucking)
{
    EngineParameters p;
    p[ParamId::Ducking] = 100.0f;
    p[ParamId::InputTrim] = 12.0f;
    ReverbEngine engine;
    engine.SetParameters(p);
    engine.Prepare(kRate, 2);
    EXPECT_EQ(engine.GetMeterLevels().outputPeak, 0.0f);
    StereoBuffer ones(48000);
    std::fill(ones.left.begin(), ones.left.end(), 1.0f);
    std::fill(ones.right.begin(), ones.right.end(), 1.0f);
    const StereoBuffer out = Render(engine, ones);
    const engine::MeterLevels m = engine.GetMeterLevels();
    EXPECT_EQ(m.inputPeak, 1.0f);
    EXPECT_NEAR(m.duckReduction, 12.0f / 13.0f, 1e-3f);
    float peak = 0.0f;
    for (std::size_t i = out.Frames() - 512; i < out.Frames(); ++i)
    {
        peak = std::max({peak, std::fabs(out.left[i]), std::fabs(out.right[i])});
    }
    EXPECT_EQ(m.outputPeak, peak);

    // Wet only, no ducking: the wet peak is the output peak.
    p = EngineParameters{};
    p[ParamId::Mix] = 100.0f;
    engine.SetParameters(p);
    engine.Prepare(kRate, 2);
    const StereoBuffer wet = Render(engine, Noise(4096, 0.5f));
    peak = 0.0f;
    for (std::size_t i = wet.Frames() - 512; i < wet.Frames(); ++i)
    {
        peak = std::max({peak, std::fabs(wet.left[i]), std::fabs(wet.right[i])});
    }
    EXPECT_EQ(engine.GetMeterLevels().wetPeak, peak);
    EXPECT_EQ(engine.GetMeterLevels().outputPeak, peak);
    EXPECT_EQ(engine.GetMeterLevels().duckReduction, 0.0f);
}

// The wet peak is taken after width and before ducking, mix and output trim: those three change
// the output peak of a block but not its wet peak.
TEST(ReverbEngineTest, WetPeakIsTakenBeforeDuckingMixAndTrim)
{
    const StereoBuffer input = Noise(4096, 0.5f);
    const auto levels = [&](float mix, float ducking, float trim)
    {
        EngineParameters p;
        p[ParamId::Width] = 150.0f;
        p[ParamId::Mix] = mix;
        p[ParamId::Ducking] = ducking;
        p[ParamId::OutputTrim] = trim;
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        Render(engine, input);
        return engine.GetMeterLevels();
    };
    const engine::MeterLevels plain = levels(100.0f, 0.0f, 0.0f);
    ASSERT_GT(plain.wetPeak, 1e-3f);
    for (const engine::MeterLevels& m :
         {levels(40.0f, 0.0f, 0.0f), levels(100.0f, 80.0f, 0.0f), levels(100.0f, 0.0f, -12.0f)})
    {
        EXPECT_EQ(m.wetPeak, plain.wetPeak);
        EXPECT_NE(m.outputPeak, plain.outputPeak);
    }
}

// The Shimmer model's tail comes out of the octave shifter: at full amount a steady tone's tail
// holds its octave and nothing of the tone itself; at amount 0 it is the plain tail.
TEST(ReverbEngineTest, ShimmerTailClimbsAnOctave)
{
    const double hz = 1000.0;
    StereoBuffer input(72000);
    for (std::size_t i = 0; i < input.Frames(); ++i)
    {
        input.left[i] = input.right[i] =
            0.3f * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / kRate));
    }
    const std::size_t start = 48000;
    const std::size_t length = 16384;
    for (const float amount : {100.0f, 0.0f})
    {
        EngineParameters p = TailParameters(ReverbModel::Shimmer, 2.4f);
        p[ParamId::ShimmerAmount] = amount;
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        const StereoBuffer out = Render(engine, input);
        const double tone = ToneAmplitude(out.left, start, length, hz, kRate);
        const double octave = ToneAmplitude(out.left, start, length, 2.0 * hz, kRate);
        if (amount > 0.0f)
        {
            EXPECT_GT(ToDb(octave / tone), 30.0);
        }
        else
        {
            EXPECT_LT(ToDb(octave / tone), -30.0);
        }
    }
}

// Vintage Digital rounds its late tail to steps of 1/8192. An impulse of 0.01 leaves a tail
// whose peak (Modern Digital, the same network unrounded: about 3.6e-5) stays below half a step
// (6.1e-5), so it vanishes entirely; ten times louder it sounds.
TEST(ReverbEngineTest, VintageDigitalDropsATailBelowHalfAStep)
{
    const struct
    {
        ReverbModel model;
        float amplitude;
        bool sounds;
    } cases[] = {
        {ReverbModel::VintageDigital, 0.01f, false},
        {ReverbModel::ModernDigital, 0.01f, true},
        {ReverbModel::VintageDigital, 0.1f, true},
    };
    for (const auto& c : cases)
    {
        const StereoBuffer out =
            ImpulseResponse(TailParameters(c.model, 2.4f), kRate, 0.5, c.amplitude);
        float peak = 0.0f;
        for (std::size_t i = 0; i < out.Frames(); ++i)
        {
            peak = std::max({peak, std::fabs(out.left[i]), std::fabs(out.right[i])});
        }
        const std::string name = engine::ReverbModelName(static_cast<int>(c.model));
        if (c.sounds)
        {
            EXPECT_GT(peak, 1e-5f) << name << " " << c.amplitude;
        }
        else
        {
            EXPECT_EQ(peak, 0.0f) << name << " " << c.amplitude;
        }
    }
}

struct FilterCase
{
    const char* name;
    ParamId id;
    float value;
    double hz;
};

// One-pole low-pass y = (1 - a) x + a y[-1], a = exp(-2 pi f / fs), at `hz`.
std::complex<double> OnePoleLowPass(double cutoff, double hz)
{
    const double a = std::exp(-2.0 * std::numbers::pi * cutoff / kRate);
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / kRate);
    return (1.0 - a) / (1.0 - a * z1);
}

// The output filters shape the wet signal as their transfer functions say: low cut
// 1 - LP(low cut), high cut LP(high cut), and the tilt around an 1800 Hz low-pass,
// 1 + 0.65 v (1 - LP) for tone v >= 0, 1 - 0.8 |v| (1 - LP) below. Measured on a steady tone,
// relative to the open filters (low cut 20 Hz, high cut 22 kHz held at 0.45 fs, tone 0).
TEST(ReverbEngineTest, OutputFiltersFollowTheirTransferFunctions)
{
    const FilterCase cases[] = {
        {"tone +100 at 8 kHz", ParamId::Tone, 100.0f, 8000.0},
        {"tone -100 at 8 kHz", ParamId::Tone, -100.0f, 8000.0},
        {"tone -50 at 200 Hz", ParamId::Tone, -50.0f, 200.0},
        {"low cut 2 kHz at 500 Hz", ParamId::LowCut, 2000.0f, 500.0},
        {"high cut 1 kHz at 6 kHz", ParamId::HighCut, 1000.0f, 6000.0},
    };
    const auto response = [](const EngineParameters& p, double hz)
    {
        const std::complex<double> lowCut = 1.0 - OnePoleLowPass(p[ParamId::LowCut], hz);
        const std::complex<double> highCut =
            OnePoleLowPass(std::min<double>(p[ParamId::HighCut], 0.45 * kRate), hz);
        const double v = p[ParamId::Tone] * 0.01;
        const std::complex<double> high = 1.0 - OnePoleLowPass(1800.0, hz);
        const std::complex<double> tilt = v >= 0.0 ? 1.0 + 0.65 * v * high : 1.0 + 0.8 * v * high;
        return std::abs(lowCut * highCut * tilt);
    };
    const auto measure = [](const EngineParameters& p, double hz)
    {
        StereoBuffer input(72000);
        for (std::size_t i = 0; i < input.Frames(); ++i)
        {
            input.left[i] = input.right[i] =
                0.3f * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / kRate));
        }
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        return ToneAmplitude(Render(engine, input).left, 48000, 16384, hz, kRate);
    };
    for (const FilterCase& c : cases)
    {
        const EngineParameters open = TailParameters(ReverbModel::Hall, 0.5f);
        EngineParameters shaped = open;
        shaped[c.id] = c.value;
        const double expected = ToDb(response(shaped, c.hz) / response(open, c.hz));
        EXPECT_NEAR(ToDb(measure(shaped, c.hz) / measure(open, c.hz)), expected, 0.2) << c.name;
    }
}

// Without modulation the reverb is time-invariant: a steady tone's tail is that tone alone (its
// amplitude is sqrt(2) x its RMS). Full modulation depth at 5 Hz moves the tail's energy into
// sidebands, in the network, the plate and the spring alike.
TEST(ReverbEngineTest, ModulationSpreadsASteadyTone)
{
    const double hz = 1000.0;
    StereoBuffer input(96000);
    for (std::size_t i = 0; i < input.Frames(); ++i)
    {
        input.left[i] = input.right[i] =
            0.3f * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / kRate));
    }
    for (const ReverbModel model : {ReverbModel::Hall, ReverbModel::Plate, ReverbModel::Spring})
    {
        for (const float depth : {0.0f, 100.0f})
        {
            EngineParameters p = TailParameters(model, 2.0f);
            p[ParamId::ModulationDepth] = depth;
            p[ParamId::ModulationRate] = 5.0f;
            ReverbEngine engine;
            engine.SetParameters(p);
            engine.Prepare(kRate, 2);
            const StereoBuffer out = Render(engine, input);
            const double purity = ToneAmplitude(out.left, 48000, 32768, hz, kRate) /
                                  (std::sqrt(2.0) * Rms(out.left, 48000, 48000 + 32768));
            const std::string name = engine::ReverbModelName(static_cast<int>(model));
            if (depth == 0.0f)
            {
                EXPECT_NEAR(purity, 1.0, 0.02) << name;
            }
            else
            {
                EXPECT_LT(purity, 0.5) << name;
            }
        }
    }
}

// Freeze holds the tail at its level and admits no new input.
TEST(ReverbEngineTest, FreezeHoldsTheTail)
{
    EngineParameters p;
    p[ParamId::Mix] = 100.0f;
    p[ParamId::EarlyReflections] = 0.0f;
    const std::size_t frozenAt = 24000;
    const std::size_t length = frozenAt + 11 * 48000;
    StereoBuffer noisy = Noise(length, 0.5f);
    StereoBuffer quiet = noisy;
    std::fill(quiet.left.begin() + frozenAt + 24000, quiet.left.end(), 0.0f);
    std::fill(quiet.right.begin() + frozenAt + 24000, quiet.right.end(), 0.0f);
    StereoBuffer outputs[2];
    for (int run = 0; run < 2; ++run)
    {
        const StereoBuffer& input = run == 0 ? noisy : quiet;
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        StereoBuffer out(length);
        for (std::size_t start = 0; start < length; start += 480)
        {
            if (start == frozenAt)
            {
                EngineParameters frozen = p;
                frozen[ParamId::Freeze] = 1.0f;
                engine.SetParameters(frozen);
            }
            const float* in[2] = {input.left.data() + start, input.right.data() + start};
            float* o[2] = {out.left.data() + start, out.right.data() + start};
            engine.Process(in, o, 480, false);
        }
        outputs[run] = out;
    }
    const std::size_t from = frozenAt + 48000;
    const double first = Rms(outputs[0].left, from, from + 48000);
    EXPECT_GT(first, 1e-3);
    for (int window = 1; window < 10; ++window)
    {
        const std::size_t begin = from + static_cast<std::size_t>(window) * 48000;
        EXPECT_NEAR(ToDb(Rms(outputs[0].left, begin, begin + 48000) / first), 0.0, 0.5) << window;
    }
    for (std::size_t i = frozenAt + 24000; i < length; ++i)
    {
        ASSERT_EQ(outputs[0].left[i], outputs[1].left[i]) << i;
    }
}

struct GateCase
{
    ReverbModel model;
    float shape;
};

// The gate and reverse envelopes measured on a steady tone: a tone too quiet to trigger the
// onset detector builds up a steady tail, which stays silent until a click starts the
// envelope; 10 ms windows (ten periods) then read the envelope's level.
TEST(ReverbEngineTest, GateAndReverseEnvelopes)
{
    const GateCase cases[] = {
        {ReverbModel::Gated, 0.0f}, {ReverbModel::Reverse, 0.0f}, {ReverbModel::Gated, 100.0f}};
    const std::size_t click = 72000;
    const std::size_t length = click + 30000;
    StereoBuffer input(length);
    for (std::size_t i = 0; i < length; ++i)
    {
        input.left[i] = input.right[i] =
            0.005f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 1000.0 * i / kRate));
    }
    input.left[click] += 0.03f;
    input.right[click] += 0.03f;
    for (const GateCase& c : cases)
    {
        EngineParameters p = TailParameters(c.model, 1.0f);
        p[ParamId::EnvelopeShape] = c.shape;
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        const StereoBuffer out = Render(engine, input);
        const auto level = [&](double t) // RMS of the 10 ms window centred t s after the click
        {
            const std::size_t centre = click + static_cast<std::size_t>(t * kRate);
            return Rms(out.left, centre - 240, centre + 240);
        };
        const std::string name = engine::ReverbModelName(static_cast<int>(c.model));
        EXPECT_EQ(Rms(out.left, 0, click), 0.0) << name << ": silent before the first onset";
        EXPECT_LT(level(0.56), 1e-9) << name << ": silent after G + R";
        if (c.shape > 0.0f)
        {
            // The sag ends near 0.15^3 and the release continues from there, never back up.
            EXPECT_LT(level(0.455) / level(0.445), 1.0) << name;
            EXPECT_NEAR(level(0.225) / level(0.02), 0.190 / 0.891, 0.02) << name;
            continue;
        }
        const bool reverse = c.model == ReverbModel::Reverse;
        const double atHalfGate = reverse ? 0.1767767 : 1.0;
        EXPECT_NEAR(level(0.225) / level(0.49), atHalfGate / 0.5, 0.05 * atHalfGate / 0.5) << name;
        EXPECT_NEAR(level(0.47) / level(0.51), 0.75 / 0.25, 0.15) << name;
        if (!reverse)
        {
            EXPECT_NEAR(level(0.01) / level(0.225), 1.0, 0.05) << name;
        }
    }
}

// The onset detector restarts the gate, but not within 40 ms of the last onset: a second,
// louder click 20 ms after the first leaves the gate closing 530 ms after the first click;
// at 60 ms it restarts the gate.
TEST(ReverbEngineTest, OnsetHoldOff)
{
    const struct
    {
        double secondAt;
        bool restarts;
    } cases[] = {{0.02, false}, {0.06, true}};
    for (const auto& c : cases)
    {
        ReverbEngine engine;
        engine.SetParameters(TailParameters(ReverbModel::Gated, 2.0f));
        engine.Prepare(kRate, 2);
        StereoBuffer input(static_cast<std::size_t>(0.6 * kRate));
        input.left[0] = input.right[0] = 0.5f;
        const std::size_t second = static_cast<std::size_t>(c.secondAt * kRate);
        input.left[second] = input.right[second] = 2.0f;
        const StereoBuffer out = Render(engine, input);
        const double after = Rms(out.left, 26400, 27840); // 550 to 580 ms
        // Closed, only the output filters' last ringing remains (about -130 dB).
        if (c.restarts)
        {
            EXPECT_GT(after, 1e-5) << c.secondAt;
        }
        else
        {
            EXPECT_LT(after, 1e-6) << c.secondAt;
        }
    }
}

// The onset detector listens to the pre-delayed signal: with 200 ms of pre-delay the gate opens
// when the sound reaches the reverb, so it closes 200 ms + G + R after the input's click.
TEST(ReverbEngineTest, GateOpensWhenThePreDelayedSoundArrives)
{
    EngineParameters p = TailParameters(ReverbModel::Gated, 2.0f);
    p[ParamId::PreDelay] = 200.0f;
    ReverbEngine engine;
    engine.SetParameters(p);
    engine.Prepare(kRate, 2);
    StereoBuffer input(static_cast<std::size_t>(0.8 * kRate));
    input.left[0] = input.right[0] = 0.5f;
    const StereoBuffer out = Render(engine, input);
    const auto level = [&](double from, double to)
    {
        return Rms(
            out.left, static_cast<std::size_t>(from * kRate), static_cast<std::size_t>(to * kRate));
    };
    EXPECT_EQ(level(0.0, 0.199), 0.0);
    EXPECT_GT(level(0.60, 0.65), 1e-5) << "open until 0.2 + 0.45 s";
    EXPECT_LT(level(0.74, 0.77), 1e-6) << "closed after 0.2 + 0.45 + 0.08 s";
}

struct FirstLateCase
{
    ReverbModel model;
    std::size_t line0; ///< nearest(48000 x the model's first line time)
    float leftSign;    ///< the left input's sign into line 0: NetworkSignsLeft[model mod 8]
    float rightSign;   ///< the right input's: NetworkSignsRight[model mod 8]
};

// The network's first late arrival: with diffusion 0 the input reaches the lines undiffused,
// 0.16 x the sign pattern rotated by the model number, and the shortest line (line 0) returns it
// first, at its length, through the output taps 0.23 x 0.5 x the line's output sign (+1 on both
// sides), then the open output filters (the first sample of low cut 20 Hz and high cut 0.45 fs).
TEST(ReverbEngineTest, FirstLateArrivalShowsTheNetworkWiring)
{
    const FirstLateCase cases[] = {
        {ReverbModel::Ambience, 341, 1.0f, 1.0f},
        {ReverbModel::SmallRoom, 581, 1.0f, -1.0f},
        {ReverbModel::Studio, 917, -1.0f, 1.0f},
        {ReverbModel::Chamber, 1186, 1.0f, 1.0f},
        {ReverbModel::Hall, 1493, -1.0f, 1.0f},
        {ReverbModel::Cathedral, 2165, -1.0f, -1.0f},
        {ReverbModel::VintageDigital, 1392, 1.0f, 1.0f},
        {ReverbModel::ModernDigital, 1118, 1.0f, -1.0f},
        {ReverbModel::Shimmer, 1618, -1.0f, 1.0f},
    };
    const double filters = std::exp(-2.0 * std::numbers::pi * 20.0 / kRate) *
                           (1.0 - std::exp(-2.0 * std::numbers::pi * 0.45));
    const double arrival = 0.23 * 0.5 * 0.16 * filters;
    for (const FirstLateCase& c : cases)
    {
        EngineParameters p = TailParameters(c.model, 2.0f);
        p[ParamId::Diffusion] = 0.0f;
        p[ParamId::ShimmerAmount] = 0.0f;
        const std::string name = engine::ReverbModelName(static_cast<int>(c.model));
        // Vintage Digital rounds the tail to steps of 1/8192.
        const double tolerance = c.model == ReverbModel::VintageDigital ? 1.0 / 16384.0 : 1e-6;
        for (int side = 0; side < 2; ++side)
        {
            ReverbEngine engine;
            engine.SetParameters(p);
            engine.Prepare(kRate, 2);
            StereoBuffer input(c.line0 + 10);
            (side == 0 ? input.left : input.right)[0] = 1.0f;
            const StereoBuffer out = Render(engine, input);
            const double expected = arrival * (side == 0 ? c.leftSign : c.rightSign);
            EXPECT_EQ(FirstAbove(out.left, 1e-9f), c.line0) << name << " " << side;
            EXPECT_NEAR(out.left[c.line0], expected, tolerance) << name << " " << side;
            EXPECT_NEAR(out.right[c.line0], expected, tolerance) << name << " " << side;
        }
    }
}

// The same for the plate tank and the spring at full diffusion, per input side (values before
// the output filters):
// - Plate, left input: four input allpasses (a = 0.74) give 0.74^4 at once; line 0's tank
//   allpass (0.67) passes -0.67 x 0.45 of it; line 0 (2357 samples) returns it to the left
//   output x 0.42 and to the right x -0.35 x 0.42. The right input enters line 2 (2750 samples)
//   the same way, mirrored.
// - Spring: no input diffusion; 0.48 of the input through six dispersion allpasses
//   (0.78 - 0.018 n) is their product; line 0 (1330 samples, left) or line 1 (1733, right)
//   returns it x 0.7 to its own side and x 0.18 x 0.7 to the other.
TEST(ReverbEngineTest, FirstLateArrivalShowsThePlateAndSpringWiring)
{
    const struct
    {
        ReverbModel model;
        int side;
        std::size_t at;
        double left;
        double right;
    } cases[] = {
        {ReverbModel::Plate, 0, 2357, -0.0379720, 0.0132902},
        {ReverbModel::Plate, 1, 2750, 0.0132902, -0.0379720},
        {ReverbModel::Spring, 0, 1330, 0.0526964, 0.00948535},
        {ReverbModel::Spring, 1, 1733, 0.00948535, 0.0526964},
    };
    const double filters = std::exp(-2.0 * std::numbers::pi * 20.0 / kRate) *
                           (1.0 - std::exp(-2.0 * std::numbers::pi * 0.45));
    for (const auto& c : cases)
    {
        EngineParameters p = TailParameters(c.model, 2.0f);
        p[ParamId::Diffusion] = 100.0f;
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.Prepare(kRate, 2);
        StereoBuffer input(c.at + 10);
        (c.side == 0 ? input.left : input.right)[0] = 1.0f;
        const StereoBuffer out = Render(engine, input);
        const std::string name = engine::ReverbModelName(static_cast<int>(c.model));
        EXPECT_EQ(FirstAbove(c.side == 0 ? out.left : out.right, 1e-9f), c.at) << name;
        EXPECT_NEAR(out.left[c.at], c.left * filters, 1e-6) << name << " " << c.side;
        EXPECT_NEAR(out.right[c.at], c.right * filters, 1e-6) << name << " " << c.side;
    }
}

} // namespace
} // namespace lumenfall::test
