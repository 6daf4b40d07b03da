#include "tests/plugin/engine/EngineRender.h"
#include "tests/support/SignalAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>

namespace lumenfall::test
{
namespace
{

using engine::ParamId;
using engine::ReverbModel;

struct DecayCase
{
    ReverbModel model;
    float decay;
    double sampleRate;
    double low;  ///< smallest accepted T30 / Decay
    double high; ///< largest accepted T30 / Decay
    float amplitude = 1.0f;
    float shimmer = 0.0f;
};

std::ostream& operator<<(std::ostream& os, const DecayCase& c)
{
    return os << engine::ReverbModelName(static_cast<int>(c.model)) << " " << c.decay << " s at "
              << c.sampleRate << " Hz";
}

class ReverbDecayTest : public ::testing::TestWithParam<DecayCase>
{
};

// The tail's T30 follows the gain law: each line loses 60 dB in Decay seconds.
TEST_P(ReverbDecayTest, T30FollowsTheDecayParameter)
{
    const DecayCase& c = GetParam();
    engine::EngineParameters p = TailParameters(c.model, c.decay);
    p[ParamId::ShimmerAmount] = c.shimmer;
    const StereoBuffer ir = ImpulseResponse(p, c.sampleRate, c.decay * c.high + 0.3, c.amplitude);
    const double t30 = DecayTimeT30(EnergyDecayCurve(ir.left, ir.right), c.sampleRate);
    ASSERT_TRUE(std::isfinite(t30));
    EXPECT_GE(t30 / c.decay, c.low);
    EXPECT_LE(t30 / c.decay, c.high);
}

std::vector<DecayCase> DecayCases()
{
    std::vector<DecayCase> cases;
    const ReverbModel nominal[] = {ReverbModel::SmallRoom,
                                   ReverbModel::Studio,
                                   ReverbModel::Chamber,
                                   ReverbModel::Hall,
                                   ReverbModel::Cathedral,
                                   ReverbModel::ModernDigital};
    for (const double fs : {44100.0, 48000.0})
    {
        for (const float decay : {1.0f, 2.4f, 6.0f})
        {
            for (const ReverbModel model : nominal)
            {
                cases.push_back({model, decay, fs, 0.95, 1.05});
            }
            cases.push_back({ReverbModel::Ambience, decay, fs, 0.65 * 0.95, 0.65 * 1.05});
            cases.push_back({ReverbModel::Plate, decay, fs, 1.0, 1.2});
            cases.push_back({ReverbModel::Spring, decay, fs, 0.9, 1.02});
            cases.push_back({ReverbModel::VintageDigital, decay, fs, 0.95, 1.05, 10.0f});
            cases.push_back({ReverbModel::Shimmer, decay, fs, 0.95, 1.05, 1.0f, 0.0f});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllModels, ReverbDecayTest, ::testing::ValuesIn(DecayCases()));

// Shimmer feedback trims the loop gain, so any amount shortens the tail.
TEST(ShimmerDecayTest, AmountShortensTheTail)
{
    const double fs = 48000.0;
    double previous = 1e9;
    for (const float amount : {0.0f, 50.0f, 100.0f})
    {
        engine::EngineParameters p = TailParameters(ReverbModel::Shimmer, 2.4f);
        p[ParamId::ShimmerAmount] = amount;
        const StereoBuffer ir = ImpulseResponse(p, fs, 2.8);
        const double t30 = DecayTimeT30(EnergyDecayCurve(ir.left, ir.right), fs);
        ASSERT_TRUE(std::isfinite(t30)) << amount;
        EXPECT_LT(t30, previous * 0.97) << amount;
        previous = t30;
    }
}

// "Bass Decay" and "Treble Decay" multiply the decay time below the bass crossover and above
// the HF-damping frequency (both 1 kHz here), leaving the other band on "Decay". Measured as the
// T30 of one octave band (125 Hz or 8 kHz) of the impulse response; the band filter's skirts
// let in some of the neighbouring band, which pulls the fit a little towards 1x.
TEST(BandDecayTest, MultipliersScaleTheirBandsDecay)
{
    const struct
    {
        double hz;
        float bass;
        float treble;
        double low;  ///< smallest accepted band T30 / Decay
        double high; ///< largest accepted band T30 / Decay
    } cases[] = {
        {125.0, 2.0f, 1.0f, 1.8, 2.1},
        {125.0, 0.5f, 1.0f, 0.45, 0.68},
        {125.0, 2.0f, 0.3f, 1.7, 2.1},
        {8000.0, 1.0f, 0.5f, 0.47, 0.6},
        {8000.0, 1.0f, 1.5f, 1.35, 1.6},
        {8000.0, 2.0f, 0.3f, 0.27, 0.42},
    };
    const double fs = 48000.0;
    const float decay = 1.0f;
    for (const auto& c : cases)
    {
        engine::EngineParameters p = TailParameters(ReverbModel::Hall, decay);
        p[ParamId::BassDecay] = c.bass;
        p[ParamId::TrebleDecay] = c.treble;
        p[ParamId::BassCrossover] = 1000.0f;
        p[ParamId::HFDamping] = 1000.0f;
        const double longest = decay * std::max(c.bass, c.treble) * 1.4 + 0.3;
        const StereoBuffer ir = ImpulseResponse(p, fs, longest);
        const double t30 = DecayTimeT30(
            EnergyDecayCurve(OctaveBand(ir.left, c.hz, fs), OctaveBand(ir.right, c.hz, fs)), fs);
        EXPECT_GE(t30 / decay, c.low) << c.hz << " Hz, bass " << c.bass << ", treble " << c.treble;
        EXPECT_LE(t30 / decay, c.high) << c.hz << " Hz, bass " << c.bass << ", treble " << c.treble;
    }
}

} // namespace
} // namespace lumenfall::test
