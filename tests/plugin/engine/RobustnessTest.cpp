#include "plugin/engine/ReverbEngine.h"
#include "tests/plugin/engine/BlockFormComparison.h"
#include "tests/plugin/engine/EngineRender.h"
#include "tests/plugin/engine/ReverbEngineTestAccess.h"
#include "tests/support/AllocationGuard.h"
#include "tests/support/SignalAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace lumenfall::test
{
namespace
{

using engine::EngineParameters;
using engine::ParamId;
using engine::ReverbEngine;
using engine::ReverbEngineTestAccess;

constexpr double kRate = 48000.0;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

EngineParameters RandomParameters(std::mt19937& random, int model)
{
    EngineParameters p;
    for (int i = 0; i < engine::kParamCount; ++i)
    {
        std::uniform_real_distribution<float> u(engine::ParamMinimum(i), engine::ParamMaximum(i));
        p[i] = u(random);
    }
    p[ParamId::ReverbType] = static_cast<float>(model);
    // Fully dry or bypassed output is the raw input by design, and a frozen tail admits no
    // input: keep a wet signal that the input reaches.
    p[ParamId::Bypass] = 0.0f;
    p[ParamId::Freeze] = 0.0f;
    // The ducker rightly holds the level down for a while after a burst at full scale.
    p[ParamId::Ducking] = 0.0f;
    p[ParamId::Mix] = std::max(p[ParamId::Mix], 1.0f);
    return p;
}

void ExpectSane(const StereoBuffer& out, int model, const char* phase)
{
    for (std::size_t i = 0; i < out.Frames(); ++i)
    {
        for (const float x : {out.left[i], out.right[i]})
        {
            ASSERT_TRUE(std::isfinite(x)) << model << " " << phase << " " << i;
            ASSERT_LE(std::fabs(x), 64.0f) << model << " " << phase << " " << i;
            ASSERT_NE(std::fpclassify(x), FP_SUBNORMAL) << model << " " << phase << " " << i;
        }
    }
}

// Every model, random settings, then a burst of NaN, infinity and +-1e6 in the input and
// non-finite parameters: the output stays finite, bounded and free of denormals, and the
// reverb works again right after the burst.
TEST(RobustnessTest, BurstsOfBadNumbers)
{
    std::mt19937 random(2026);
    for (int model = 0; model < engine::kReverbModelCount; ++model)
    {
        const EngineParameters p = RandomParameters(random, model);
        ReverbEngine engine;
        engine.SetParameters(p);
        engine.SetTempo(kNaN);
        engine.Prepare(kRate, 2);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        StereoBuffer input(36000); // longer than the longest pre-delay
        for (std::size_t i = 0; i < input.Frames(); ++i)
        {
            input.left[i] = u(random);
            input.right[i] = u(random);
        }
        const StereoBuffer before = Render(engine, input);
        ExpectSane(before, model, "before");

        StereoBuffer burst(2048);
        const float bad[] = {kNaN, kInf, -kInf, 1e6f, -1e6f, 3e38f};
        for (std::size_t i = 0; i < burst.Frames(); ++i)
        {
            burst.left[i] = bad[i % 6];
            burst.right[i] = bad[(i + 3) % 6];
        }
        EngineParameters broken = p;
        broken[ParamId::Decay] = kNaN;
        broken[ParamId::Size] = kInf;
        broken[ParamId::InputTrim] = -kInf;
        broken[ParamId::ModulationRate] = kNaN;
        engine.SetParameters(broken);
        ExpectSane(Render(engine, burst), model, "burst");

        engine.SetParameters(p);
        const StereoBuffer after = Render(engine, input);
        ExpectSane(after, model, "after");
        // Not silenced or stuck: the same input sounds at least as loud as before the burst
        // (louder while the burst's own tail still rings).
        const double level = Rms(before.left, 26400, 36000) + Rms(before.right, 26400, 36000);
        EXPECT_GT(level, 0.0) << model;
        EXPECT_GT(Rms(after.left, 26400, 36000) + Rms(after.right, 26400, 36000), 0.5 * level)
            << model;
    }
}

// A tail left to decay never produces a denormal and ends in exact silence.
TEST(RobustnessTest, DecayingTailEndsInSilence)
{
    for (int model = 0; model < engine::kReverbModelCount; ++model)
    {
        EngineParameters p;
        p[ParamId::ReverbType] = static_cast<float>(model);
        p[ParamId::Decay] = 0.3f;
        p[ParamId::Mix] = 100.0f;
        const StereoBuffer out = ImpulseResponse(p, kRate, 4.0, 0.8f);
        ExpectSane(out, model, "tail");
        EXPECT_EQ(Rms(out.left, out.Frames() - 4800, out.Frames()), 0.0) << model;
    }
}

// The block form that the engine runs equals the straightforward per-sample form to float
// rounding, through parameter glides, a model switch, freeze and bypass.
TEST(RobustnessTest, BlockFormMatchesReference)
{
    std::mt19937 random(7);
    for (int model = 0; model < engine::kReverbModelCount; ++model)
    {
        EngineParameters p;
        p[ParamId::ReverbType] = static_cast<float>(model);
        p[ParamId::Mix] = 60.0f;
        p[ParamId::Ducking] = 30.0f;
        ReverbEngine fast;
        ReverbEngine reference;
        reference.SetReferenceProcessing(true);
        for (ReverbEngine* e : {&fast, &reference})
        {
            e->SetParameters(p);
            e->Prepare(kRate, 2);
        }
        std::uniform_real_distribution<float> u(-0.5f, 0.5f);
        // Each change is followed by enough time for the smoothing to settle, when the block
        // form takes over again.
        StereoBuffer input(91200);
        for (std::size_t i = 0; i < input.Frames(); ++i)
        {
            input.left[i] = i % 24000 < 8000 ? u(random) : 0.0f;
            input.right[i] = i % 24000 < 8000 ? u(random) : 0.0f;
        }
        StereoBuffer outs[2] = {StereoBuffer(input.Frames()), StereoBuffer(input.Frames())};
        std::size_t start = 0;
        for (int block = 0; start < input.Frames(); ++block)
        {
            const int n =
                std::min<int>(37 + block % 5 * 100, static_cast<int>(input.Frames() - start));
            if (start >= 14400 && start < 14400 + 512)
            {
                p[ParamId::Size] = 140.0f; // glides line lengths and early taps
                p[ParamId::ReverbType] =
                    static_cast<float>((model + 5) % engine::kReverbModelCount);
            }
            double tempo = 0.0;
            if (start >= 38400 && start < 38400 + 512)
            {
                // Settled again: a synced pre-delay moves with the tempo, at a refresh.
                p[ParamId::PreDelaySync] = 1.0f;
                p[ParamId::NoteDivision] = 3.0f;
                tempo = 137.0;
            }
            if (start >= 43200 && start < 43200 + 512)
            {
                p[ParamId::Freeze] = 1.0f;
            }
            if (start >= 67200 && start < 67200 + 512)
            {
                p[ParamId::Freeze] = 0.0f;
                p[ParamId::Bypass] = 1.0f;
            }
            for (int k = 0; k < 2; ++k)
            {
                ReverbEngine& e = k == 0 ? fast : reference;
                e.SetParameters(p);
                if (tempo > 0.0)
                {
                    e.SetTempo(tempo);
                }
                const float* in[2] = {input.left.data() + start, input.right.data() + start};
                float* out[2] = {outs[k].left.data() + start, outs[k].right.data() + start};
                e.Process(in, out, n, false);
            }
            start += static_cast<std::size_t>(n);
        }
        // Vintage Digital rounds its tail to steps of 1/8192: a rounding difference may land
        // one step apart.
        const int vintage = static_cast<int>(engine::ReverbModel::VintageDigital);
        const bool quantised =
            model == vintage || (model + 5) % engine::kReverbModelCount == vintage;
        SCOPED_TRACE(model);
        ExpectBlockFormMatchesReference(outs[0], outs[1], 2e-5f, quantised ? 1.0f / 8192.0f : 0.0f);
    }
}

// The same comparison over the parameter space: every model with random in-range settings
// (tone either way, envelope shapes, width, ducking, wet solo, trims), bursts that trigger the
// onset detector, at 44.1 kHz.
TEST(RobustnessTest, BlockFormMatchesReferenceAtRandomSettings)
{
    std::mt19937 random(11);
    for (int model = 0; model < engine::kReverbModelCount; ++model)
    {
        EngineParameters p = RandomParameters(random, model);
        p[ParamId::Ducking] = std::uniform_real_distribution<float>(0.0f, 100.0f)(random);
        p[ParamId::WetSolo] = model % 2 == 0 ? 1.0f : 0.0f;
        p[ParamId::PreDelaySync] = 0.0f; // the wet signal arrives within the run
        ReverbEngine fast;
        ReverbEngine reference;
        reference.SetReferenceProcessing(true);
        StereoBuffer input(44100);
        std::uniform_real_distribution<float> u(-0.3f, 0.3f);
        for (std::size_t i = 0; i < input.Frames(); ++i)
        {
            const bool burst = i % 11025 < 600;
            input.left[i] = burst ? u(random) : 0.0f;
            input.right[i] = burst ? u(random) : 0.0f;
        }
        StereoBuffer outs[2];
        for (ReverbEngine* e : {&fast, &reference})
        {
            e->SetParameters(p);
            e->Prepare(44100.0, 2);
            outs[e == &fast ? 0 : 1] = Render(*e, input, 256);
        }
        // Vintage Digital: a rounding difference may land one 1/8192 step of the tail apart,
        // raised by at most 12 dB of output trim.
        const bool quantised = model == static_cast<int>(engine::ReverbModel::VintageDigital);
        SCOPED_TRACE(model);
        const FormDifference d = ExpectBlockFormMatchesReference(
            outs[0], outs[1], 2e-5f, quantised ? 4.0f / 8192.0f : 0.0f);
        EXPECT_GT(d.peak, 1e-4f) << model;
    }
}

// The block form's input and output stages against the per-sample form where they take their
// own paths: one channel, no ducking (the ducker's gain held at 1), ducking released to 0 midway,
// and blocks of odd lengths that leave the stages partial groups of samples. The meters too.
TEST(RobustnessTest, BlockFormMatchesReferenceInMonoAndWithoutDucking)
{
    struct Case
    {
        const char* name;
        engine::ReverbModel model;
        int channels;
        float ducking;
        float duckingLater;
        float duckRelease;
        float width;
    };
    const Case cases[] = {
        {"mono", engine::ReverbModel::Hall, 1, 0.0f, 0.0f, 250.0f, 100.0f},
        {"mono ducked", engine::ReverbModel::Plate, 1, 60.0f, 60.0f, 250.0f, 40.0f},
        {"no ducking", engine::ReverbModel::Gated, 2, 0.0f, 0.0f, 250.0f, 70.0f},
        // The gain is still on its way back to 1 when the ducking's glide to 0 ends.
        {"ducking released", engine::ReverbModel::Reverse, 2, 80.0f, 0.0f, 2000.0f, 100.0f},
    };
    const StereoBuffer input = [&]
    {
        std::mt19937 random(5);
        std::uniform_real_distribution<float> u(-0.4f, 0.4f);
        StereoBuffer b(57600);
        for (std::size_t i = 0; i < b.Frames(); ++i)
        {
            const bool burst = i % 9600 < 900;
            b.left[i] = burst ? u(random) : 0.0f;
            b.right[i] = burst ? u(random) : 0.0f;
        }
        return b;
    }();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EngineParameters p;
        p[ParamId::ReverbType] = static_cast<float>(c.model);
        p[ParamId::Mix] = 70.0f;
        p[ParamId::Ducking] = c.ducking;
        p[ParamId::DuckRelease] = c.duckRelease;
        p[ParamId::Width] = c.width;
        ReverbEngine engines[2];
        engines[1].SetReferenceProcessing(true);
        StereoBuffer outs[2] = {StereoBuffer(input.Frames()), StereoBuffer(input.Frames())};
        for (ReverbEngine& e : engines)
        {
            e.SetParameters(p);
            e.Prepare(kRate, c.channels);
        }
        std::size_t start = 0;
        for (int block = 0; start < input.Frames(); ++block)
        {
            const int n =
                std::min<int>(1 + block * 29 % 97, static_cast<int>(input.Frames() - start));
            if (start >= 19200 && c.duckingLater != c.ducking)
            {
                p[ParamId::Ducking] = c.duckingLater;
            }
            engine::MeterLevels meters[2];
            for (int k = 0; k < 2; ++k)
            {
                engines[k].SetParameters(p);
                const float* in[2] = {input.left.data() + start, input.right.data() + start};
                float* out[2] = {outs[k].left.data() + start, outs[k].right.data() + start};
                engines[k].Process(in, out, n, false);
                meters[k] = engines[k].GetMeterLevels();
            }
            ASSERT_NEAR(meters[0].inputPeak, meters[1].inputPeak, 1e-6f) << start;
            ASSERT_NEAR(meters[0].wetPeak, meters[1].wetPeak, 2e-5f) << start;
            ASSERT_NEAR(meters[0].outputPeak, meters[1].outputPeak, 2e-5f) << start;
            ASSERT_NEAR(meters[0].duckReduction, meters[1].duckReduction, 2e-5f) << start;
            start += static_cast<std::size_t>(n);
        }
        ExpectBlockFormMatchesReference(outs[0], outs[1]);
        if (c.channels == 1)
        {
            EXPECT_EQ(outs[0].left, outs[0].right);
        }
    }
}

// Host automation: every parameter that only the refresh or an output stage reads moves every
// block (mix, width, ducking, wet solo, the trims, decay times, filters, the free pre-delay, the
// cores' late, early and tone levels), and the block form, which keeps running while they glide,
// still equals the per-sample form.
TEST(RobustnessTest, BlockFormFollowsAutomation)
{
    struct Ramp
    {
        ParamId id;
        float from;
        float to;
    };
    const Ramp ramps[] = {{ParamId::Mix, 10.0f, 90.0f},
                          {ParamId::Width, 0.0f, 200.0f},
                          {ParamId::Ducking, 0.0f, 80.0f},
                          {ParamId::WetSolo, 0.0f, 1.0f},
                          {ParamId::InputTrim, -6.0f, 6.0f},
                          {ParamId::OutputTrim, 3.0f, -9.0f},
                          {ParamId::Decay, 0.5f, 6.0f},
                          {ParamId::BassDecay, 0.5f, 2.0f},
                          {ParamId::TrebleDecay, 1.5f, 0.3f},
                          {ParamId::BassCrossover, 150.0f, 900.0f},
                          {ParamId::HFDamping, 12000.0f, 3000.0f},
                          {ParamId::LowCut, 30.0f, 400.0f},
                          {ParamId::HighCut, 18000.0f, 4000.0f},
                          {ParamId::DuckRelease, 100.0f, 900.0f},
                          {ParamId::PreDelay, 3.0f, 260.0f},
                          {ParamId::LateTail, 90.0f, 20.0f},
                          {ParamId::EarlyReflections, 10.0f, 100.0f},
                          {ParamId::Tone, -80.0f, 70.0f}};
    const StereoBuffer input = Noise(43200, 0.3f, 23);
    for (const engine::ReverbModel model :
         {engine::ReverbModel::Hall, engine::ReverbModel::Plate, engine::ReverbModel::Shimmer})
    {
        SCOPED_TRACE(static_cast<int>(model));
        EngineParameters p;
        p[ParamId::ReverbType] = static_cast<float>(model);
        const BothForms forms = RunBothForms(
            input,
            p,
            engine::DetectInstructionSet(),
            [](int block) { return 64 + block % 7 * 61; },
            [&ramps](int, std::size_t start, EngineParameters& q)
            {
                const float x = 0.5f - 0.5f * std::cos(static_cast<float>(start) * 0.0003f);
                for (const Ramp& r : ramps)
                {
                    q[r.id] = r.from + (r.to - r.from) * x;
                }
            });
        ExpectBlockFormMatchesReference(forms.block, forms.reference);
    }
}

// The LFO's rate and depth glide inside the block form on each late structure, and so do the
// diffusion and the density (in the input diffusers, the network and the plate's and the spring's
// own allpasses): swept without a pause, from one extreme to the other and through a model change
// mid-glide, they do not send the engine to the per-sample form, and the block form still equals
// it.
TEST(RobustnessTest, BlockFormGlidesTheModulationDiffusionAndDensity)
{
    struct Case
    {
        engine::ReverbModel model;
        engine::ReverbModel later; // from a third of the way in
        bool diffusion;            // and density glide too
        bool blockOnly;            // the per-sample form never runs
    };
    const Case cases[] = {{engine::ReverbModel::Hall, engine::ReverbModel::Shimmer, true, true},
                          {engine::ReverbModel::Hall, engine::ReverbModel::Spring, false, true},
                          {engine::ReverbModel::Plate, engine::ReverbModel::Gated, false, true},
                          {engine::ReverbModel::Spring, engine::ReverbModel::Plate, false, true},
                          {engine::ReverbModel::Plate, engine::ReverbModel::Hall, true, true},
                          {engine::ReverbModel::Spring, engine::ReverbModel::Ambience, true, true}};
    const StereoBuffer input = Noise(48000, 0.3f, 41);
    for (const engine::InstructionSet set : InstructionSetsHere())
        for (const Case& c : cases)
        {
            SCOPED_TRACE(static_cast<int>(c.model));
            SCOPED_TRACE(static_cast<int>(set));
            EngineParameters p;
            p[ParamId::ReverbType] = static_cast<float>(c.model);
            const BothForms forms = RunBothForms(
                input,
                p,
                set,
                [](int block) { return 37 + block % 5 * 113; },
                [&c](int block, std::size_t start, EngineParameters& q)
                {
                    const float x = 0.5f - 0.5f * std::cos(static_cast<float>(start) * 0.0005f);
                    q[ParamId::ModulationDepth] = 100.0f * x;
                    q[ParamId::ModulationRate] = 0.1f + 9.9f * (1.0f - x);
                    if (c.diffusion)
                    {
                        q[ParamId::Diffusion] = 100.0f * (1.0f - x);
                        q[ParamId::Density] = block / 3 % 2 == 0 ? 0.0f : 100.0f; // steep glides
                    }
                    if (start >= 16000)
                    {
                        q[ParamId::ReverbType] = static_cast<float>(c.later);
                    }
                });
            EXPECT_EQ(forms.sampleFormSamples == 0, c.blockOnly);
            ExpectBlockFormMatchesReference(forms.block, forms.reference);
        }
}

// "Size" glides inside the block form on every model family: swept slowly, in jumps from one end
// of its range to the other (steep glides that move the early taps, the diffusers' whole delays
// and the lines' lengths every sample) and through a model change mid-glide, it does not send the
// engine to the per-sample form, and the block form still equals it.
TEST(RobustnessTest, BlockFormGlidesTheSize)
{
    struct Case
    {
        engine::ReverbModel model;
        engine::ReverbModel later; // from 10 ms into the second jump on
    };
    const Case cases[] = {{engine::ReverbModel::Hall, engine::ReverbModel::Cathedral},
                          {engine::ReverbModel::Ambience, engine::ReverbModel::Shimmer},
                          {engine::ReverbModel::Gated, engine::ReverbModel::Reverse},
                          {engine::ReverbModel::Plate, engine::ReverbModel::Spring},
                          {engine::ReverbModel::Spring, engine::ReverbModel::VintageDigital}};
    const StereoBuffer input = Noise(33600, 0.3f, 53);
    for (const engine::InstructionSet set : InstructionSetsHere())
        for (const Case& c : cases)
        {
            SCOPED_TRACE(static_cast<int>(c.model));
            SCOPED_TRACE(static_cast<int>(set));
            EngineParameters p;
            p[ParamId::ReverbType] = static_cast<float>(c.model);
            const BothForms forms = RunBothForms(
                input,
                p,
                set,
                [](int block) { return 41 + block % 6 * 97; },
                [&c](int, std::size_t start, EngineParameters& q)
                {
                    if (start < 12000)
                    {
                        q[ParamId::Size] =
                            105.0f - 95.0f * std::cos(static_cast<float>(start) * 0.0004f);
                    }
                    else if (start < 20000)
                    {
                        q[ParamId::Size] = 10.0f; // a jump from near the top
                    }
                    else
                    {
                        q[ParamId::Size] = 200.0f;
                    }
                    if (start >= 20480)
                    {
                        q[ParamId::ReverbType] = static_cast<float>(c.later);
                    }
                });
            EXPECT_EQ(forms.sampleFormSamples, 0u);
            // Vintage Digital: a rounding difference may land one 1/8192 step of the tail apart.
            ExpectBlockFormMatchesReference(
                forms.block,
                forms.reference,
                2e-5f,
                c.later == engine::ReverbModel::VintageDigital ? 1.0f / 8192.0f : 0.0f);
        }
}

// The gate's and the shimmer's values are read only by their models: automated under Hall they
// leave the block form and its long runs alone, and when the model changes to Gated and on to
// Shimmer while they glide the block form follows them there and still equals the per-sample form.
TEST(RobustnessTest, GateAndShimmerValuesGlideUnreadByOtherModels)
{
    const StereoBuffer input = Noise(57600, 0.3f, 17);
    for (int start0 : {0, 1})
    {
        SCOPED_TRACE(start0);
        ReverbEngine engines[2];
        engines[1].SetReferenceProcessing(true);
        StereoBuffer outs[2] = {StereoBuffer(input.Frames()), StereoBuffer(input.Frames())};
        EngineParameters p;
        p[ParamId::ReverbType] = static_cast<float>(start0 == 0 ? engine::ReverbModel::Hall
                                                                : engine::ReverbModel::Plate);
        for (ReverbEngine& e : engines)
        {
            e.SetParameters(p);
            e.Prepare(kRate, 2);
        }
        std::size_t start = 0;
        std::uint64_t beforeChange = 0;
        for (int block = 0; start < input.Frames(); ++block)
        {
            const int n =
                std::min<int>(block % 2 == 0 ? 512 : 333, static_cast<int>(input.Frames() - start));
            const float x = 0.5f - 0.5f * std::cos(static_cast<float>(start) * 0.0004f);
            p[ParamId::GateLength] = 100.0f + 900.0f * x;
            p[ParamId::GateRelease] = 300.0f - 250.0f * x;
            p[ParamId::EnvelopeShape] = -80.0f + 160.0f * x;
            p[ParamId::ShimmerAmount] = 10.0f + 80.0f * x;
            if (start >= 19200 && start < 19712)
            {
                beforeChange = ReverbEngineTestAccess::SampleFormSamples(engines[0]);
                p[ParamId::ReverbType] = static_cast<float>(engine::ReverbModel::Gated);
            }
            if (start >= 38400 && start < 38912)
            {
                p[ParamId::ReverbType] = static_cast<float>(engine::ReverbModel::Shimmer);
            }
            for (int k = 0; k < 2; ++k)
            {
                engines[k].SetParameters(p);
                ProcessAt(engines[k], input, outs[k], start, n);
            }
            start += static_cast<std::size_t>(n);
        }
        EXPECT_EQ(beforeChange, 0u) << "unread glides keep the block form";
        EXPECT_EQ(ReverbEngineTestAccess::SampleFormSamples(engines[0]), 0u) << "so do read ones";
        ExpectBlockFormMatchesReference(outs[0], outs[1]);
    }
}

// "Shimmer Amount" glides inside the block form on the Shimmer model, which reads it three times a
// sample (the loop's trim, the gain of the shifted pair fed back and the wet blend): swept slowly,
// in jumps across its whole range that never settle, and through a change to Hall and back
// mid-glide (the fading Shimmer core follows it too), it does not send the engine to the
// per-sample form, and the block form still equals it. Without the LFO the two forms round alike
// to about 1e-8 here, so there any one of the three reads taken once a block instead of sample by
// sample (which moves the output by 2e-6 or more) shows.
TEST(RobustnessTest, BlockFormGlidesTheShimmerAmount)
{
    struct Case
    {
        bool jumps;      // else a slow sweep
        float depth;     // "Modulation Depth"
        float tolerance; // relative, see ExpectBlockFormMatchesReference
    };
    const Case cases[] = {{false, 15.0f, 2e-5f}, {true, 15.0f, 2e-5f}, {true, 0.0f, 5e-7f}};
    const StereoBuffer input = Noise(57600, 0.3f, 29);
    for (const engine::InstructionSet set : InstructionSetsHere())
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.depth);
            SCOPED_TRACE(c.jumps);
            SCOPED_TRACE(static_cast<int>(set));
            EngineParameters p;
            p[ParamId::ReverbType] = static_cast<float>(engine::ReverbModel::Shimmer);
            p[ParamId::ModulationDepth] = c.depth;
            p[ParamId::Mix] = 100.0f;
            p[ParamId::EarlyReflections] = 0.0f;
            const BothForms forms = RunBothForms(
                input,
                p,
                set,
                [](int block) { return 43 + block % 6 * 89; },
                [&c](int block, std::size_t start, EngineParameters& q)
                {
                    const float x = 0.5f - 0.5f * std::cos(static_cast<float>(start) * 0.0005f);
                    q[ParamId::ShimmerAmount] =
                        c.jumps ? (block % 2 == 0 ? 0.0f : 100.0f) : 100.0f * x;
                    const bool hall = start >= 24000 && start < 33600;
                    q[ParamId::ReverbType] = static_cast<float>(
                        hall ? engine::ReverbModel::Hall : engine::ReverbModel::Shimmer);
                });
            EXPECT_EQ(forms.sampleFormSamples, 0u);
            ExpectBlockFormMatchesReference(forms.block, forms.reference, c.tolerance);
        }
}

// What a session does to a running engine, each in the block form against the per-sample form:
// settings loaded mid-stream as a preset does (every value at once, the model too), a model
// change while the values glide, and the synced pre-delay under a tempo that changes every few
// bars, and in steps from block to block.
TEST(RobustnessTest, BlockFormFollowsPresetsModelChangesAndTempo)
{
    const StereoBuffer input = Noise(67200, 0.3f, 31);
    std::mt19937 random(41);
    for (int model = 0; model < engine::kReverbModelCount; ++model)
    {
        SCOPED_TRACE(model);
        EngineParameters presets[2] = {RandomParameters(random, model),
                                       RandomParameters(random, (model + 3) % 13)};
        for (EngineParameters& preset : presets)
        {
            preset[ParamId::PreDelaySync] = 0.0f;
            preset[ParamId::PreDelay] = std::min(preset[ParamId::PreDelay], 200.0f);
        }
        ReverbEngine engines[2];
        engines[1].SetReferenceProcessing(true);
        StereoBuffer outs[2] = {StereoBuffer(input.Frames()), StereoBuffer(input.Frames())};
        EngineParameters p;
        p[ParamId::ReverbType] = static_cast<float>(model);
        for (ReverbEngine& e : engines)
        {
            e.SetParameters(p);
            e.Prepare(kRate, 2);
        }
        std::size_t start = 0;
        for (int block = 0; start < input.Frames(); ++block)
        {
            const int n = std::min<int>(block % 3 == 0 ? 512 : 200 + block % 5 * 70,
                                        static_cast<int>(input.Frames() - start));
            double tempo = 0.0;
            if (start == 4096)
            {
                p = presets[0];
            }
            else if (start >= 14000 && start < 14512)
            {
                p[ParamId::Size] = 40.0f; // the model changes 10 ms into the size glide
            }
            else if (start >= 14480 && start < 14992)
            {
                p[ParamId::ReverbType] = static_cast<float>((model + 7) % 13);
            }
            else if (start >= 24000 && start < 24512)
            {
                p = presets[1];
            }
            else if (start >= 36000)
            {
                // Synced, four bars at 1/8 dotted, then the tempo changes: in a jump every
                // 9600 samples and in small steps in between.
                p[ParamId::PreDelaySync] = 1.0f;
                p[ParamId::NoteDivision] = 7.0f;
                tempo = (start / 9600 % 2 == 0 ? 96.0 : 141.0) + static_cast<double>(block % 4);
            }
            for (int k = 0; k < 2; ++k)
            {
                engines[k].SetParameters(p);
                if (tempo > 0.0)
                {
                    engines[k].SetTempo(tempo);
                }
                ProcessAt(engines[k], input, outs[k], start, n);
            }
            start += static_cast<std::size_t>(n);
        }
        // Vintage Digital (in either preset): a rounding difference may land one 1/8192 step
        // of the tail apart, raised by at most 12 dB of output trim.
        const int vintage = static_cast<int>(engine::ReverbModel::VintageDigital);
        const bool quantised =
            model == vintage || (model + 3) % 13 == vintage || (model + 7) % 13 == vintage;
        ExpectBlockFormMatchesReference(outs[0], outs[1], 2e-5f, quantised ? 4.0f / 8192.0f : 0.0f);
    }
}

// The AVX2 block forms do the baseline's arithmetic eight lanes wide: the same output to the bit
// for every model, through short lines at a low rate, long ones at a high rate, a model switch,
// a size glide, freeze and onsets. (The baseline forms themselves meet the per-sample oracle.)
TEST(RobustnessTest, InstructionSetsGiveTheSameBits)
{
    if (InstructionSetsHere().size() < 2)
    {
        GTEST_SKIP() << "this CPU has no AVX2: only the baseline forms run here";
    }
    struct Case
    {
        double rate;
        float size;
        float depth;
    };
    const Case cases[] = {
        {22050.0, 10.0f, 100.0f}, {48000.0, 100.0f, 15.0f}, {96000.0, 200.0f, 60.0f}};
    StereoBuffer input(24000);
    {
        std::mt19937 random(17);
        std::uniform_real_distribution<float> u(-0.5f, 0.5f);
        for (std::size_t i = 0; i < input.Frames(); ++i)
        {
            const bool burst = i % 6000 < 1500;
            input.left[i] = burst ? u(random) : 0.0f;
            input.right[i] = burst ? u(random) : 0.0f;
        }
    }
    for (const Case& c : cases)
    {
        for (int model = 0; model < engine::kReverbModelCount; ++model)
        {
            EngineParameters p;
            p[ParamId::ReverbType] = static_cast<float>(model);
            p[ParamId::Size] = c.size;
            p[ParamId::ModulationDepth] = c.depth;
            p[ParamId::Mix] = 100.0f;
            p[ParamId::Ducking] = 40.0f;
            ReverbEngine engines[2];
            StereoBuffer outs[2] = {StereoBuffer(input.Frames()), StereoBuffer(input.Frames())};
            for (int k = 0; k < 2; ++k)
            {
                const engine::InstructionSet set =
                    k == 0 ? engine::InstructionSet::Sse2 : engine::InstructionSet::Avx2;
                ASSERT_EQ(engines[k].SetInstructionSet(set), set);
                engines[k].SetParameters(p);
                engines[k].Prepare(c.rate, 2);
            }
            std::size_t start = 0;
            for (int block = 0; start < input.Frames(); ++block)
            {
                const int n =
                    std::min<int>(1 + block * 53 % 700, static_cast<int>(input.Frames() - start));
                EngineParameters q = p;
                if (start >= 9000)
                {
                    q[ParamId::ReverbType] =
                        static_cast<float>((model + 7) % engine::kReverbModelCount);
                    q[ParamId::Size] = c.size * 0.5f + 20.0f;
                }
                q[ParamId::Freeze] = start >= 15000 && start < 19000 ? 1.0f : 0.0f;
                for (int k = 0; k < 2; ++k)
                {
                    engines[k].SetParameters(q);
                    ProcessAt(engines[k], input, outs[k], start, n);
                }
                start += static_cast<std::size_t>(n);
            }
            ASSERT_EQ(outs[0].left, outs[1].left) << c.rate << " " << model;
            ASSERT_EQ(outs[0].right, outs[1].right) << c.rate << " " << model;
        }
    }
}

// Processing allocates nothing: model changes, freeze, shimmer, bypass and every rate.
TEST(RobustnessTest, ProcessingNeverAllocates)
{
    for (const double rate : {22050.0, 48000.0, 192000.0})
    {
        ReverbEngine engine;
        EngineParameters p;
        engine.SetParameters(p);
        engine.Prepare(rate, 2); // may allocate
        StereoBuffer input(512);
        for (std::size_t i = 0; i < input.Frames(); ++i)
        {
            input.left[i] = std::sin(0.01f * static_cast<float>(i));
            input.right[i] = -input.left[i];
        }
        StereoBuffer output(512);
        const float* in[2] = {input.left.data(), input.right.data()};
        float* out[2] = {output.left.data(), output.right.data()};
        AllocationGuard guard;
        for (int block = 0; block < 160; ++block)
        {
            p[ParamId::ReverbType] = static_cast<float>(block / 12 % engine::kReverbModelCount);
            p[ParamId::Freeze] = block % 40 >= 30 ? 1.0f : 0.0f;
            p[ParamId::Bypass] = block % 50 >= 45 ? 1.0f : 0.0f;
            p[ParamId::ShimmerAmount] = 80.0f;
            engine.SetParameters(p);
            engine.SetTempo(90.0 + block);
            engine.Process(in, out, 512, block % 70 == 3);
            (void)engine.GetMeterLevels();
        }
        EXPECT_EQ(guard.Count(), 0u) << rate;
    }
}

} // namespace
} // namespace lumenfall::test
