#include "canvas/ICanvas.h"
#include "canvas/IControl.h"
#include "plugin/editor/DisplayMath.h"
#include "plugin/editor/EditorControls.h"
#include "plugin/editor/EditorDrawing.h"

#include <cmath>

namespace lumenfall::editor
{
namespace
{

using engine::ReverbModel;

constexpr float kCx = kSchematicCentreX;
constexpr float kCy = kSchematicCentreY;
constexpr float kDotRadius = 4.f;
constexpr IArgbColor kPlateFace{255, 31, 52, 55};
constexpr IArgbColor kPlateDiagonal{100, 113, 197, 191};
constexpr IArgbColor kNetworkLink{65, 113, 197, 191};
constexpr IArgbColor kRoomBackEdge{120, 113, 197, 191};
constexpr IArgbColor kMarker{150, 215, 165, 109};
constexpr IArgbColor kTick{140, 113, 197, 191};
constexpr IArgbColor kBassCurve{120, 113, 197, 191};
constexpr IArgbColor kTrebleCurve{115, 240, 236, 226};
constexpr IBounds kSchematicCaption{350.f, 273.f, 704.f, 298.f};
/// What the display draws where: the model's description in the left column, the schematic
/// and the guide on the panel (the schematic reaches 714 at most, at the largest Size).
constexpr IBounds kDescriptionBounds{36.f, 169.f, 294.f, 254.f};
constexpr IBounds kSchematicArea{316.f, 110.f, 730.f, 313.f};
constexpr IBounds kGuideArea{740.f, 110.f, 1064.f, 313.f};
constexpr IBounds kWideSchematicCaption{340.f, 273.f, 714.f, 298.f};

double Get(const ParamValues& values, ParamId id)
{
    return values[static_cast<std::size_t>(id)];
}

void DrawCaption(ICanvas& g, const char* text, const IBounds& bounds)
{
    DrawLabel(g, text, bounds, 12.f, kColorTextMuted);
}

void DrawSpring(ICanvas& g, const ParamValues& values, float c)
{
    g.DrawLine(kColorLine, 348.f, kCy, 686.f, kCy);
    const double cycles = 9.0 + 5.0 * Get(values, ParamId::Density) / 100.0;
    const auto coil = [&](int i, float& x, float& y)
    {
        const double t = i / 179.0;
        x = static_cast<float>(353.0 + 325.0 * t);
        y = static_cast<float>(kCy + 22.0 * c * std::sin(2.0 * 3.14159265358979 * cycles * t));
    };
    // One path of 180 segments, stroked once: the same line as segment by segment.
    g.PathClear();
    float x = 0.f, y = 0.f;
    coil(0, x, y);
    g.PathMoveTo(x, y);
    for (int i = 1; i <= 180; ++i)
    {
        coil(i, x, y);
        g.PathLineTo(x, y);
    }
    g.PathStroke(
        plugkit::canvas::IFillPattern::Solid(kColorTeal), 1.6f, plugkit::canvas::IStrokeStyle{});
    g.DrawCircle(kColorAmber, 350.f, kCy, kDotRadius);
    g.DrawCircle(kColorAmber, 685.f, kCy, kDotRadius);
    DrawCaption(g, "DISPERSIVE SPRING STRUCTURE", kSchematicCaption);
}

void DrawPlate(ICanvas& g, float c)
{
    const IBounds plate{kCx - 133.f * c, kCy - 48.f * c, kCx + 133.f * c, kCy + 48.f * c};
    g.FillRoundRect(kPlateFace, plate, 7.f);
    g.DrawRoundRect(kColorTeal, plate, 7.f, nullptr, 1.4f);
    for (int i = 0; i < 7; ++i)
        g.DrawLine(kPlateDiagonal,
                   plate.L + 22.f + plate.W() * static_cast<float>(i) / 8.f,
                   plate.T + 8.f,
                   plate.R - 18.f - plate.W() * static_cast<float>(i) / 10.f,
                   plate.B - 8.f);
    g.FillCircle(kColorAmber, plate.L + 20.f, kCy, kDotRadius);
    g.DrawCircle(kColorAmber, plate.R - 20.f, kCy, kDotRadius);
    DrawCaption(g, "PLATE TANK / DIFFUSE PATHS", kSchematicCaption);
}

void DrawNetwork(ICanvas& g, int model, float c)
{
    const auto node = [c](int n, float& x, float& y)
    {
        const double a = (n % 8) * 2.0 * 3.14159265358979 / 8.0;
        x = static_cast<float>(kCx + 117.0 * c * std::sin(a));
        y = static_cast<float>(kCy + 40.0 * c * std::cos(a));
    };
    for (int n = 0; n < 8; ++n)
    {
        float x = 0.f, y = 0.f;
        node(n, x, y);
        for (int step = 1; step <= 3; ++step)
        {
            float x2 = 0.f, y2 = 0.f;
            node(n + step, x2, y2);
            g.DrawLine(kNetworkLink, x, y, x2, y2);
        }
        g.FillCircle(n % 2 != 0 ? kColorTeal : kColorAmber, x, y, kDotRadius);
    }
    const bool shimmer = model == static_cast<int>(ReverbModel::Shimmer);
    if (shimmer)
    {
        g.DrawLine(kColorAmber, kCx, 241.f, kCx, 175.f, nullptr, 2.f);
        g.DrawLine(kColorAmber, kCx, 175.f, kCx - 8.f, 185.f, nullptr, 2.f);
        g.DrawLine(kColorAmber, kCx, 175.f, kCx + 8.f, 185.f, nullptr, 2.f);
    }
    DrawCaption(g,
                shimmer ? "DIFFUSE NETWORK / PITCH FEEDBACK" : "DIFFUSE NETWORK / REFLECTION PATHS",
                kWideSchematicCaption);
}

void DrawRoom(ICanvas& g, const ParamValues& values, int model, float c)
{
    const float w = 126.f * c;
    const float h = (model == static_cast<int>(ReverbModel::Cathedral) ? 49.f : 37.f) * c;
    const float frontX[4] = {kCx - w, kCx + w, kCx + w, kCx - w};
    const float frontY[4] = {kCy - h, kCy - h, kCy + h, kCy + h};
    const float backDx = 32.f * c;
    const float backDy = -18.f;
    for (int k = 0; k < 4; ++k)
    {
        const int next = (k + 1) % 4;
        g.DrawLine(kColorTeal, frontX[k], frontY[k], frontX[next], frontY[next], nullptr, 1.2f);
        g.DrawLine(kRoomBackEdge,
                   frontX[k] + backDx,
                   frontY[k] + backDy,
                   frontX[next] + backDx,
                   frontY[next] + backDy);
        g.DrawLine(kRoomBackEdge, frontX[k] + backDx, frontY[k] + backDy, frontX[k], frontY[k]);
    }

    const double e = Get(values, ParamId::EarlyReflections) / 100.0;
    const IArgbColor in = WithAlpha(kColorAmber, static_cast<int>(100.0 * e + 45.0));
    const IArgbColor out = WithAlpha(kColorAmber, static_cast<int>(85.0 * e + 35.0));
    constexpr float kSourceX = 483.f;
    constexpr float kListenerX = 560.f;
    constexpr float kListenerY = 222.f;
    for (int j = 0; j < 5; ++j)
    {
        const float x = kCx - w + static_cast<float>(j + 1) * w / 3.f;
        const float y = kCy + (j % 2 == 0 ? 0.82f : -0.82f) * h;
        g.DrawLine(in, kSourceX, kCy, x, y);
        g.DrawLine(out, x, y, kListenerX, kListenerY);
    }
    g.FillCircle(kColorAmber, kSourceX, kCy, kDotRadius);
    g.DrawCircle(kColorText, kListenerX, kListenerY, kDotRadius);
    DrawCaption(g, "SPACE / EARLY REFLECTION GEOMETRY", kWideSchematicCaption);
}

void DrawModelSchematic(ICanvas& g, const ParamValues& values, int model)
{
    const float c = SchematicScale(Get(values, ParamId::Size));
    if (model == static_cast<int>(ReverbModel::Spring))
        DrawSpring(g, values, c);
    else if (model == static_cast<int>(ReverbModel::Plate))
        DrawPlate(g, c);
    else if (model >= static_cast<int>(ReverbModel::VintageDigital))
        DrawNetwork(g, model, c);
    else
        DrawRoom(g, values, model, c);
}

void PlotGuideCurve(ICanvas& g,
                    const GuideTiming& timing,
                    const ParamValues& values,
                    int model,
                    double multiplier,
                    const IArgbColor& color)
{
    const auto points = GuideCurve(timing, values, model, multiplier);
    g.PathClear();
    g.PathMoveTo(points[0].x, points[0].y);
    for (int i = 1; i < kGuideSamples; ++i)
        g.PathLineTo(points[i].x, points[i].y);
    g.PathStroke(
        plugkit::canvas::IFillPattern::Solid(color), 1.6f, plugkit::canvas::IStrokeStyle{});
}

void DrawDecayGuide(ICanvas& g, const ParamValues& values, int model)
{
    const IBounds& r = kGuideBounds;
    for (int i = 0; i <= 3; ++i)
    {
        const float y = r.T + r.H() * static_cast<float>(i) / 3.f;
        g.DrawLine(kColorLine, r.L, y, r.R, y);
    }
    const GuideTiming timing = MakeGuideTiming(values, model);
    g.DrawLine(kMarker, timing.markerX, r.T, timing.markerX, r.B);
    for (int k = 1; k <= kGuideTicks; ++k)
    {
        float x = 0.f, top = 0.f;
        if (GuideTick(timing, values, k, x, top))
            g.DrawLine(kTick, x, r.B, x, top);
    }
    if (!timing.envelope)
    {
        PlotGuideCurve(g, timing, values, model, Get(values, ParamId::BassDecay), kBassCurve);
        PlotGuideCurve(g, timing, values, model, Get(values, ParamId::TrebleDecay), kTrebleCurve);
    }
    PlotGuideCurve(g, timing, values, model, 1.0, kColorAmber);

    char caption[80];
    FormatGuideCaption(timing, values, caption, sizeof(caption));
    DrawLabel(g, caption, {747.f, 274.f, 1050.f, 298.f}, 12.f, kColorTextMuted);
}

/// The model's description, its schematic and the decay or envelope guide, all drawn from
/// the current values; it redraws whenever any parameter changes, from any source.
class SpatialDisplay final : public IControl
{
public:
    SpatialDisplay()
        : IControl(kDisplayBounds)
    {
        SetIgnoreMouse(true);
        mValues.fill(-999.0); // no value shown yet
    }

    bool IsDirty() override
    {
        const ParamValues current = ReadValues();
        for (int i = 0; i < engine::kParamCount; ++i)
        {
            double& shown = mValues[static_cast<std::size_t>(i)];
            const double value = current[static_cast<std::size_t>(i)];
            if (!(value == shown))
            {
                shown = value;
                SetDirty(false);
            }
        }
        return IControl::IsDirty();
    }

    void Draw(ICanvas& g) override
    {
        const ParamValues values = ReadValues();
        const int model = DisplayedModel(values);
        if (InDrawArea(g, kDescriptionBounds, -1.f))
            g.DrawMultiLineText(EditorTextStyle(15.f, kColorTextMuted),
                                ModelDescriptions[static_cast<std::size_t>(model)],
                                kDescriptionBounds);
        if (InDrawArea(g, kSchematicArea))
        {
            DrawLabel(
                g, "MODEL STRUCTURE / SCHEMATIC", {334.f, 120.f, 710.f, 145.f}, 12.f, kColorTeal);
            DrawModelSchematic(g, values, model);
        }
        if (InDrawArea(g, kGuideArea))
        {
            DrawLabel(
                g, "DECAY / ENVELOPE GUIDE", {747.f, 120.f, 1048.f, 145.f}, 12.f, kColorAmber);
            DrawDecayGuide(g, values, model);
        }
    }

private:
    ParamValues ReadValues() const
    {
        ParamValues values;
        for (int i = 0; i < engine::kParamCount; ++i)
            values[static_cast<std::size_t>(i)] = CurrentValue(*this, static_cast<ParamId>(i));
        return values;
    }

    ParamValues mValues; ///< the values last seen by IsDirty
};

} // namespace

IControl* MakeSpatialDisplay()
{
    return new SpatialDisplay();
}

} // namespace lumenfall::editor
