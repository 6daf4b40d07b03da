#include "canvas/ICanvas.h"
#include "canvas/IControl.h"
#include "plugin/editor/EditorControls.h"
#include "plugin/editor/EditorDrawing.h"
#include "plugin/editor/MeterMath.h"
#include "plugin/editor/ValueFormat.h"

#include <array>

namespace lumenfall::editor
{
namespace
{

constexpr IArgbColor kTrack{255, 18, 26, 29};
constexpr IArgbColor kOverFill{255, 231, 117, 101};
constexpr float kBarRadius = 2.f;
constexpr std::array<const char*, 3> kBarLabels = {"INPUT", "WET", "OUTPUT"};

/// Input, wet and output peaks over -60..0 dBFS and the ducking reduction. It polls the
/// plug-in's levels once per frame and redraws only when one changed, so a silent or stopped
/// plug-in costs no redraws.
class Meters final : public IControl
{
public:
    explicit Meters(EditorPlugin& plug)
        : IControl(kMetersBounds)
        , mPlug(plug)
    {
        SetIgnoreMouse(true);
    }

    bool IsDirty() override
    {
        const engine::MeterLevels levels = mPlug.GetMeterLevels();
        const std::array<float, 4> current = {levels.inputPeak,
                                              levels.wetPeak,
                                              levels.outputPeak,
                                              DuckFraction(levels.duckReduction)};
        for (std::size_t i = 0; i < current.size(); ++i)
        {
            if (!(current[i] == mShown[i])) // not-a-number counts as a change
            {
                mShown = current;
                SetDirty(false);
                break;
            }
        }
        return IControl::IsDirty();
    }

    void Draw(ICanvas& g) override
    {
        for (int i = 0; i < 3; ++i)
        {
            const MeterReading reading = ReadMeter(mShown[static_cast<std::size_t>(i)]);
            const float x = 36.f + 89.f * static_cast<float>(i);
            DrawLabel(g,
                      kBarLabels[static_cast<std::size_t>(i)],
                      {x, 254.f, x + 76.f, 271.f},
                      11.f,
                      kColorTextMuted);
            g.FillRoundRect(kTrack, {x, 276.f, x + 76.f, 282.f}, kBarRadius);
            if (reading.fill > 0.f)
                g.FillRoundRect(reading.over ? kOverFill : kColorTeal,
                                {x, 276.f, x + 76.f * reading.fill, 282.f},
                                kBarRadius);
            DrawLabel(g,
                      reading.text,
                      {x, 284.f, x + 76.f, 301.f},
                      11.f,
                      reading.over ? kColorAmber : kColorTextMuted);
        }

        const float duck = mShown[3];
        DrawLabel(g, "DUCK", {36.f, 301.f, 80.f, 316.f}, 11.f, kColorTeal);
        g.FillRoundRect(kTrack, {87.f, 306.f, 242.f, 310.f}, kBarRadius);
        if (duck > 0.f)
            g.FillRoundRect(kColorTeal, {87.f, 306.f, 87.f + 155.f * duck, 310.f}, kBarRadius);
        char text[16];
        FormatDuck(duck, text, sizeof(text));
        DrawLabel(g, text, {251.f, 299.f, 294.f, 316.f}, 11.f, kColorTextMuted, EAlign::Far);
    }

private:
    EditorPlugin& mPlug;
    std::array<float, 4> mShown = {}; ///< input, wet, output (linear), duck (0..1)
};

} // namespace

IControl* MakeMeters(EditorPlugin& plug)
{
    return new Meters(plug);
}

} // namespace lumenfall::editor
