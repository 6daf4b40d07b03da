#include "plugin/editor/DisplayMath.h"

#include "plugin/editor/ValueFormat.h"
#include "plugin/engine/GateEnvelope.h"

#include <algorithm>
#include <cmath>

namespace lumenfall::editor
{
namespace
{

using engine::ParamId;

double Get(const ParamValues& values, ParamId id)
{
    return values[static_cast<std::size_t>(id)];
}

/// ln 1000: the exponential reaches -60 dB at t = multiplier x decay.
constexpr double kLn1000 = 6.907755;

} // namespace

int DisplayedModel(const ParamValues& values)
{
    const double type = Get(values, ParamId::ReverbType);
    if (!std::isfinite(type))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(type), 0.0, engine::kReverbModelCount - 1.0));
}

float SchematicScale(double sizePercent)
{
    const double ratio =
        std::isfinite(sizePercent) ? std::clamp(sizePercent / 100.0, 0.1, 2.0) : 1.0;
    return static_cast<float>(0.72 + 0.18 * ratio);
}

bool IsEnvelopeModel(int model)
{
    return model == static_cast<int>(engine::ReverbModel::Gated) ||
           model == static_cast<int>(engine::ReverbModel::Reverse);
}

GuideTiming MakeGuideTiming(const ParamValues& values, int model)
{
    GuideTiming timing;
    timing.envelope = IsEnvelopeModel(model);
    timing.synced = Get(values, ParamId::PreDelaySync) > 0.5;
    timing.decay = std::max(Get(values, ParamId::Decay), 0.08);
    timing.span =
        timing.envelope
            ? (Get(values, ParamId::GateLength) + Get(values, ParamId::GateRelease)) / 1000.0
            : 1.16 * timing.decay;
    const double preDelay = timing.synced ? 0.0 : Get(values, ParamId::PreDelay) / 1000.0;
    timing.fullTime = std::max(preDelay + timing.span, 0.12);
    timing.markerX =
        static_cast<float>(kGuideBounds.L + preDelay / timing.fullTime * kGuideBounds.W());
    return timing;
}

double GuideLevel(
    const GuideTiming& timing, const ParamValues& values, int model, double multiplier, double t)
{
    double level = 0.0;
    if (timing.envelope)
        level = engine::GateEnvelope(static_cast<engine::ReverbModel>(model),
                                     t,
                                     static_cast<float>(Get(values, ParamId::GateLength)),
                                     static_cast<float>(Get(values, ParamId::GateRelease)),
                                     static_cast<float>(Get(values, ParamId::EnvelopeShape)));
    else
        level = std::exp(-kLn1000 * t / (multiplier * timing.decay));
    return std::isfinite(level) ? std::clamp(level, 0.0, 1.0) : 0.0;
}

std::array<GuidePoint, kGuideSamples>
GuideCurve(const GuideTiming& timing, const ParamValues& values, int model, double multiplier)
{
    std::array<GuidePoint, kGuideSamples> points;
    const IBounds& g = kGuideBounds;
    for (int i = 0; i < kGuideSamples; ++i)
    {
        const double u = i / static_cast<double>(kGuideSamples - 1);
        const double level = GuideLevel(timing, values, model, multiplier, timing.span * u);
        points[i].x = static_cast<float>(timing.markerX + (g.R - timing.markerX) * u);
        points[i].y = static_cast<float>(g.B - level * g.H());
    }
    return points;
}

bool GuideTick(const GuideTiming& timing, const ParamValues& values, int k, float& x, float& top)
{
    const IBounds& g = kGuideBounds;
    const double spacing = 0.003 + 0.006 * Get(values, ParamId::Size) / 100.0;
    const double tickX = timing.markerX + spacing * k / timing.fullTime * g.W();
    if (!(tickX < g.R))
        return false;
    x = static_cast<float>(tickX);
    top = static_cast<float>(g.B - 18.0 -
                             0.25 * Get(values, ParamId::EarlyReflections) / (1.0 + 0.2 * (k - 1)));
    return true;
}

void FormatGuideCaption(const GuideTiming& timing, const ParamValues& values, char* out, int size)
{
    TextWriter writer(out, size);
    if (timing.synced)
        writer.Append("NOTE-SYNCED / TIMING IS SCHEMATIC");
    else if (timing.envelope)
        writer.AppendFixed(Get(values, ParamId::GateLength), 0)
            .Append(" ms ENVELOPE / NOT AN AUDIO TRACE");
    else
        writer.AppendFixed(Get(values, ParamId::Decay), 2).Append(" s DECAY / NOT AN AUDIO TRACE");
}

} // namespace lumenfall::editor
