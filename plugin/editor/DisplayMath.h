#pragma once

#include "canvas/CanvasTypes.h"
#include "plugin/engine/Parameters.h"

#include <array>

namespace lumenfall::editor
{

// What the spatial display draws, as numbers: the schematic's scale and the decay or envelope
// guide. The guide is a picture of the nominal decay (-60 dB at the Decay time) or of the gate
// envelope the engine applies, never an audio trace.

using plugkit::canvas::IBounds;

/// The 32 parameter values in ParamId order, in their real units.
using ParamValues = std::array<double, engine::kParamCount>;

/// The schematic's centre and the guide's plotting rectangle.
inline constexpr float kSchematicCentreX = 515.f;
inline constexpr float kSchematicCentreY = 217.f;
inline constexpr IBounds kGuideBounds{753.f, 157.f, 1043.f, 264.f};
/// Points of one guide curve.
inline constexpr int kGuideSamples = 101;
/// Early reflection ticks after the pre-delay marker.
inline constexpr int kGuideTicks = 7;

/// The reverb model to draw: "Reverb Type" truncated, held to the model range.
int DisplayedModel(const ParamValues& values);

/// The schematic's scale: 0.72 + 0.18 x Size / 100, the ratio held to 0.1 .. 2.
float SchematicScale(double sizePercent);

/// True for the models whose guide is their gate envelope (Gated, Reverse).
bool IsEnvelopeModel(int model);

/// The time axis of the guide for the current values.
struct GuideTiming
{
    bool envelope = false; ///< Gated or Reverse: the envelope replaces the decay curves
    bool synced = false;   ///< Pre-delay Sync on: the pre-delay is not drawn to scale
    double decay = 0.0;    ///< s, at least 0.08
    double span = 0.0;     ///< s plotted after the marker
    double fullTime = 0.0; ///< s across the whole guide, at least 0.12
    float markerX = 0.f;   ///< the pre-delay marker (the curves start here)
};

GuideTiming MakeGuideTiming(const ParamValues& values, int model);

/// The guide's level in 0..1 at `t` seconds after the marker. Envelope models follow the
/// engine's own gate envelope (its release starts from the level the gate ends on); the others
/// fall exponentially to 0.001 (-60 dB) at `multiplier` x the decay.
double GuideLevel(
    const GuideTiming& timing, const ParamValues& values, int model, double multiplier, double t);

struct GuidePoint
{
    float x = 0.f;
    float y = 0.f;
};

/// The 101 points of one guide curve from the marker to the right edge of kGuideBounds.
std::array<GuidePoint, kGuideSamples>
GuideCurve(const GuideTiming& timing, const ParamValues& values, int model, double multiplier);

/// Early reflection tick `k` (1..7): its x and the y of its top; false when it falls at or
/// beyond the guide's right edge.
bool GuideTick(const GuideTiming& timing, const ParamValues& values, int k, float& x, float& top);

/// The caption under the guide: the synced note, the envelope length or the decay time.
void FormatGuideCaption(const GuideTiming& timing, const ParamValues& values, char* out, int size);

} // namespace lumenfall::editor
