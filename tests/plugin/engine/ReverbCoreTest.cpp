#include "plugin/engine/ReverbCore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace lumenfall::engine
{
namespace
{

std::unique_ptr<ReverbCore> PreparedCore(double fs, ReverbModel model, const EngineParameters& p)
{
    auto core = std::make_unique<ReverbCore>();
    EXPECT_TRUE(core->Prepare(fs));
    core->Reset(model);
    core->UpdateCoefficients(p);
    return core;
}

struct LengthCase
{
    ReverbModel model;
    double sampleRate;
    float size;
    int line;
    float expected;
};

TEST(ReverbCoreTest, LineLengthsRoundTheScaledBaseTimes)
{
    const LengthCase cases[] = {
        {ReverbModel::Hall, 48000.0, 100.0f, 0, 1493.0f},  // 1492.8
        {ReverbModel::Hall, 48000.0, 100.0f, 7, 4411.0f},  // 4411.2
        {ReverbModel::Ambience, 22050.0, 10.0f, 0, 51.0f}, // 50.88
        {ReverbModel::Cathedral, 192000.0, 200.0f, 7, 44587.0f},
    };
    for (const LengthCase& c : cases)
    {
        EngineParameters p;
        p[ParamId::Size] = c.size;
        const auto core = PreparedCore(c.sampleRate, c.model, p);
        EXPECT_EQ(core->TargetLineLength(c.line), c.expected) << c.sampleRate << " " << c.line;
        // The first refresh after a reset starts every line at its size.
        EXPECT_EQ(core->CurrentLineLength(c.line), c.expected);
    }
}

// Whatever the decay multipliers, no band of any line loops with a gain above 0.99998.
TEST(ReverbCoreTest, LoopGainNeverExceedsTheCeiling)
{
    for (const float bass : {0.25f, 1.0f, 2.5f})
    {
        for (const float treble : {0.1f, 1.0f, 2.0f})
        {
            EngineParameters p;
            p[ParamId::Decay] = 30.0f;
            p[ParamId::BassDecay] = bass;
            p[ParamId::TrebleDecay] = treble;
            for (int model = 0; model < kReverbModelCount; ++model)
            {
                const auto core = PreparedCore(48000.0, static_cast<ReverbModel>(model), p);
                for (int i = 0; i < ReverbCore::kLines; ++i)
                {
                    const float g = core->FeedbackGain(i);
                    const float peak = g * std::max(core->BassRatio(i), 1.0f) *
                                       std::max(core->TrebleRatio(i), 1.0f);
                    EXPECT_LE(peak, 0.99998f * 1.000001f) << model << " " << i;
                }
            }
        }
    }
}

// A refresh works out again only the lines whose loop time changed: after a sweep of "Size" in
// small steps (a line or two changing at a time), then a decay change, every line's gains are
// those of a core refreshed once at the end.
TEST(ReverbCoreTest, GainsFollowTheSizeLineByLine)
{
    for (const ReverbModel model : {ReverbModel::Hall, ReverbModel::Plate, ReverbModel::Spring})
    {
        EngineParameters p;
        p[ParamId::Size] = 80.0f;
        const auto swept = PreparedCore(48000.0, model, p);
        for (float size = 80.0f; size <= 81.0f; size += 0.01f)
        {
            p[ParamId::Size] = size;
            swept->UpdateCoefficients(p);
        }
        for (const float decay : {p[ParamId::Decay], 4.5f})
        {
            p[ParamId::Decay] = decay;
            swept->UpdateCoefficients(p);
            const auto fresh = PreparedCore(48000.0, model, p);
            for (int i = 0; i < ReverbCore::kLines; ++i)
            {
                EXPECT_EQ(swept->FeedbackGain(i), fresh->FeedbackGain(i)) << decay << " " << i;
                EXPECT_EQ(swept->BassRatio(i), fresh->BassRatio(i));
                EXPECT_EQ(swept->TrebleRatio(i), fresh->TrebleRatio(i));
            }
        }
    }
}

TEST(ReverbCoreTest, FilterFrequenciesAreHeldBelowNyquist)
{
    EngineParameters p;
    p[ParamId::HFDamping] = 20000.0f;
    const auto core = PreparedCore(22050.0, ReverbModel::Hall, p);
    const float expected =
        static_cast<float>(std::exp(-2.0 * std::numbers::pi * 0.45 * 22050.0 / 22050.0));
    EXPECT_FLOAT_EQ(core->HFDampingCoefficient(), expected);
}

// Taps 0, 3, 6, 9, 12 and 15 are inverted: the first arrival of a left impulse is negative,
// the second positive.
TEST(ReverbCoreTest, EarlyTapSigns)
{
    EngineParameters p;
    p[ParamId::EarlyReflections] = 100.0f;
    p[ParamId::LateTail] = 0.0f;
    p[ParamId::LowCut] = 20.0f;
    p[ParamId::HighCut] = 22000.0f;
    const double fs = 48000.0;
    const auto core = PreparedCore(fs, ReverbModel::Hall, p);
    float left[1000] = {};
    for (int i = 0; i < 1000; ++i)
    {
        left[i] = core->ProcessSample(i == 0 ? 1.0f : 0.0f, 0.0f, p, false).left;
    }
    const auto arrival = [&](int tap)
    {
        const int d = static_cast<int>(fs * EarlyTapTimes[tap] + 1.0);
        return left[d - 1] + left[d] + left[d + 1];
    };
    EXPECT_LT(arrival(0), -0.05f);
    EXPECT_GT(arrival(1), 0.05f);
    EXPECT_GT(arrival(2), 0.05f);
    EXPECT_LT(arrival(3), -0.05f);
}

struct BlockFormCase
{
    const char* name;
    float size;
    float tone;
    float depth;
    float freeze;
    double sampleRate = 48000.0;
};

// The block form equals the per-sample definition to float rounding for every model, from
// cleared lines (the reads that reach back past what was written) through a steady tail,
// with blocks of every length up to the core's block and onsets for the enveloped models. The
// freeze value applies once the input has stopped.
TEST(ReverbCoreTest, BlockFormMatchesPerSampleForm)
{
    const BlockFormCase cases[] = {
        {"defaults", 50.0f, 0.0f, 20.0f, 0.0f},
        // The lines fill up (0.55 s) well before the end.
        {"full lines", 50.0f, 20.0f, 20.0f, 0.0f, 22050.0},
        // Lines shorter than a block; full modulation reaches the shortest delays.
        {"smallest and darkest", 0.0f, -100.0f, 100.0f, 0.0f},
        // Modulated reads that reach into the block being written.
        {"smallest at the lowest rate", 0.0f, 0.0f, 100.0f, 0.0f, 22050.0},
        {"largest and brightest", 200.0f, 100.0f, 0.0f, 0.0f},
        {"frozen after the input", 80.0f, 30.0f, 50.0f, 1.0f},
    };
    constexpr int kFrames = 16000;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    std::vector<float> inL(kFrames), inR(kFrames);
    std::vector<std::uint8_t> onsets(kFrames);
    for (int i = 0; i < kFrames; ++i)
    {
        inL[i] = i < 6000 ? u(random) : 0.0f;
        inR[i] = i < 6000 ? u(random) : 0.0f;
        onsets[i] = i % 4000 == 10 ? 1 : 0;
    }
    for (const BlockFormCase& c : cases)
    {
        for (int model = 0; model < kReverbModelCount; ++model)
        {
            EngineParameters p;
            p[ParamId::Size] = c.size;
            p[ParamId::Tone] = c.tone;
            p[ParamId::ModulationDepth] = c.depth;
            p[ParamId::ModulationRate] = 3.0f;
            p[ParamId::EarlyReflections] = 70.0f;
            p[ParamId::ShimmerAmount] = 60.0f;
            p[ParamId::GateLength] = 60.0f;
            p[ParamId::EnvelopeShape] = 40.0f;
            const auto block = PreparedCore(c.sampleRate, static_cast<ReverbModel>(model), p);
            const auto sample = PreparedCore(c.sampleRate, static_cast<ReverbModel>(model), p);
            EngineParameters held = p;
            held[ParamId::Freeze] = c.freeze;
            const auto at = [&](int i) -> const EngineParameters& { return i < 6000 ? p : held; };
            std::vector<float> fastL(kFrames), fastR(kFrames);
            for (int start = 0, k = 0; start < kFrames; ++k)
            {
                const int end = start < 6000 ? 6000 : kFrames;
                const int n = std::min(1 + k * 7 % 64, end - start);
                block->ProcessBlock(inL.data() + start,
                                    inR.data() + start,
                                    onsets.data() + start,
                                    fastL.data() + start,
                                    fastR.data() + start,
                                    n,
                                    at(start));
                start += n;
            }
            const bool quantised = model == static_cast<int>(ReverbModel::VintageDigital);
            const float tolerance = quantised ? 2e-5f + 1.0f / 8192.0f : 2e-5f;
            float peak = 0.0f;
            for (int i = 0; i < kFrames; ++i)
            {
                const StereoSample w = sample->ProcessSample(inL[i], inR[i], at(i), onsets[i] != 0);
                peak = std::max(peak, std::fabs(w.left));
                ASSERT_NEAR(w.left, fastL[i], tolerance) << c.name << " " << model << " " << i;
                ASSERT_NEAR(w.right, fastR[i], tolerance) << c.name << " " << model << " " << i;
            }
            EXPECT_GT(peak, 1e-3f) << c.name << " " << model;
        }
    }
}

struct EnvelopeCase
{
    ReverbModel model;
    float shape;
    double t; ///< seconds after the onset
    float expected;
};

// G = 450 ms, R = 80 ms.
TEST(GateEnvelopeTest, GateAndReverseShapes)
{
    const EnvelopeCase cases[] = {
        {ReverbModel::Gated, 0.0f, 0.0, 1.0f},
        {ReverbModel::Gated, 0.0f, 0.225, 1.0f},
        {ReverbModel::Gated, 0.0f, 0.449, 1.0f},
        {ReverbModel::Gated, 0.0f, 0.490, 0.5f},
        {ReverbModel::Gated, 0.0f, 0.530, 0.0f},
        {ReverbModel::Gated, 100.0f, 0.225, 0.190109f}, // (1 - 0.425)^3
        // Release from the level reached at the end of the gate, (0.15)^3, not from 1.
        {ReverbModel::Gated, 100.0f, 0.450, 0.003375f},
        {ReverbModel::Gated, 100.0f, 0.490, 0.0016875f},
        {ReverbModel::Reverse, 0.0f, 0.0, 0.0f},
        {ReverbModel::Reverse, 0.0f, 0.225, 0.1767767f}, // 0.5^2.5
        {ReverbModel::Reverse, 0.0f, 0.450, 1.0f},
        {ReverbModel::Reverse, 0.0f, 0.490, 0.5f},
        {ReverbModel::Reverse, 0.0f, 0.530, 0.0f},
        {ReverbModel::Hall, 0.0f, 5.0, 1.0f},
    };
    for (const EnvelopeCase& c : cases)
    {
        EXPECT_NEAR(GateEnvelope(c.model, c.t, 450.0f, 80.0f, c.shape), c.expected, 1e-5f)
            << static_cast<int>(c.model) << " shape " << c.shape << " t " << c.t;
    }
}

// The mended release never rises: the level is continuous at the end of the gate.
TEST(GateEnvelopeTest, GatedReleaseIsContinuousForEveryShape)
{
    for (const float shape : {-100.0f, 0.0f, 40.0f, 100.0f})
    {
        const float before = GateEnvelope(ReverbModel::Gated, 0.4499, 450.0f, 80.0f, shape);
        const float after = GateEnvelope(ReverbModel::Gated, 0.4501, 450.0f, 80.0f, shape);
        EXPECT_LE(after, before * 1.001f) << shape;
        EXPECT_GE(after, before * 0.99f) << shape;
    }
}

} // namespace
} // namespace lumenfall::engine
