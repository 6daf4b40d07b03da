#include "plugin/engine/GateEnvelope.h"

#include "plugin/engine/EngineMath.h"

#include <algorithm>
#include <cmath>

namespace lumenfall::engine
{

namespace
{

constexpr float kShapeOctaves = 0.02f; // P = 2^(shape x this): two octaves at +-100 %
constexpr double kReversePower = 2.5;  // the reverse swell's exponent at P = 1
constexpr double kGatedSag = 0.85;     // how far the gated level falls by the end of the gate

} // namespace

GateShape::GateShape(ReverbModel model, float gateLengthMs, float gateReleaseMs, float shape)
    : mGated(model == ReverbModel::Gated)
    , mReverse(model == ReverbModel::Reverse)
{
    if (!Shapes())
    {
        return; // the envelope is 1
    }
    mGate = gateLengthMs * 0.001f;
    mRelease = gateReleaseMs * 0.001f;
    mPower = Pow(2.0, shape * kShapeOctaves);
    mAtGate = DuringGate(mGate);
}

double GateShape::DuringGate(double t) const
{
    if (mReverse)
    {
        return Pow(std::clamp(t / mGate, 0.0, 1.0), kReversePower * mPower);
    }
    return Pow(std::max(1.0 - kGatedSag * t / mGate, 0.0), std::max(mPower - 1.0, 0.0));
}

float GateShape::At(double t) const
{
    if (!Shapes())
    {
        return 1.0f;
    }
    const double release = t < mGate ? 1.0 : std::max(1.0 - (t - mGate) / mRelease, 0.0);
    if (release == 0.0)
    {
        return 0.0f; // after the release, and before the first onset
    }
    if (mGated && mPower <= 1.0)
    {
        return static_cast<float>(release); // flat gate: x^0 is 1
    }
    return static_cast<float>(t < mGate ? DuringGate(t) : mAtGate * release);
}

float GateEnvelope(
    ReverbModel model, double t, float gateLengthMs, float gateReleaseMs, float shape)
{
    return GateShape(model, gateLengthMs, gateReleaseMs, shape).At(t);
}

} // namespace lumenfall::engine
