#pragma once

// The gate and reverse envelopes of the Gated and Reverse models (1 for every other model), as a
// function of the time t since the last onset, with the gate length G and release R in seconds
// and P = 2^("Envelope Shape" / 50) (0.25 at -100 %, 1 at 0, 4 at +100 %):
//   t < G:  Reverse m = clamp(t / G, 0, 1)^(2.5 P)        (a swell to 1 at the end of the gate)
//           Gated   m = max(1 - 0.85 t / G, 0)^max(P - 1, 0)   (flat for shapes <= 0, a sag above)
//   t >= G: m = m(G) max(1 - (t - G) / R, 0)             (a linear release from where the gate
//                                                          ended, so a sag never jumps back up)
// Before the first onset after a reset t is huge, so both models are silent until one arrives.
// The editor's envelope guide draws this function.

#include "plugin/engine/Parameters.h"

namespace lumenfall::engine
{

/// The envelope at t seconds after an onset, before the freeze override.
float GateEnvelope(
    ReverbModel model, double t, float gateLengthMs, float gateReleaseMs, float shape);

/// The envelope's constants for one setting, worked out once for a block of samples.
class GateShape
{
public:
    GateShape(ReverbModel model, float gateLengthMs, float gateReleaseMs, float shape);

    /// True for Gated and Reverse; every other model's envelope is 1.
    bool Shapes() const { return mGated || mReverse; }

    /// GateEnvelope at t seconds after an onset.
    float At(double t) const;

private:
    double DuringGate(double t) const;

    bool mGated = false;
    bool mReverse = false;
    double mGate = 0.0;    // G, seconds
    double mRelease = 0.0; // R, seconds
    double mPower = 1.0;   // P
    double mAtGate = 1.0;  // m(G)
};

} // namespace lumenfall::engine
