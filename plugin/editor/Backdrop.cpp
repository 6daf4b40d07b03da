#include "canvas/ICanvas.h"
#include "canvas/IControl.h"
#include "plugin/editor/EditorControls.h"
#include "plugin/editor/EditorDrawing.h"

#include <algorithm>

namespace lumenfall::editor
{
namespace
{

using plugkit::canvas::IBitmapHandle;
using plugkit::canvas::IFillPattern;
using plugkit::canvas::IFillStyle;
using plugkit::canvas::ILayerPtr;
using plugkit::canvas::IStrokeStyle;

constexpr IArgbColor kBackgroundTop{255, 38, 46, 51};
constexpr IArgbColor kBackgroundBottom{255, 19, 25, 29};
constexpr IArgbColor kScanLineBright{3, 255, 255, 255};
constexpr IArgbColor kScanLineFaint{1, 255, 255, 255};
constexpr IArgbColor kDisplayPanelFace{255, 24, 32, 36};
constexpr IArgbColor kKnobPanelFace{255, 32, 40, 44};
constexpr float kPanelRadius = 8.f;

/// The fixed background under every other control; its column dividers follow the page.
class Backdrop final : public IControl
{
public:
    explicit Backdrop(ViewStatePtr state)
        : IControl(kBackdropBounds)
        , mState(std::move(state))
    {
        SetIgnoreMouse(true);
    }

    void Draw(ICanvas& g) override
    {
        DrawFixedPart(g);
        std::array<float, 3> dividers{};
        const int count = ColumnDividers(mState->section, dividers);
        for (int i = 0; i < count; ++i)
            DrawRule(g, g.GetDrawArea(), dividers[i], 382.f, dividers[i], 638.f);
        DrawRule(
            g, g.GetDrawArea(), 54.f, kRowDividerY, RowDividerRight(mState->section), kRowDividerY);
    }

private:
    /// Everything but the dividers, from a layer drawn once per scale: the thin scan lines
    /// cost a software renderer several times their area, a copy of the layer only its area.
    /// Without a layer (none could be made) it is drawn directly, within the area being drawn.
    void DrawFixedPart(ICanvas& g)
    {
        const float scale = g.GetTotalScale();
        const bool current = mLayer && mLayer->IsValid() && mLayerScale == scale &&
                             mLayer->GetControlBounds() == mRECT;
        // A layer that could not be made is not tried again until the scale changes.
        const bool failedAtThisScale = mLayer == nullptr && mLayerScale == scale;
        if (!current && !failedAtThisScale)
        {
            mLayer.reset();
            g.BeginLayer(this, mRECT, true);
            DrawFixed(g, mRECT);
            mLayer = g.FinishLayer();
            mLayerScale = scale;
            if (mLayer && mLayer->GetAPIBitmap() == nullptr)
                mLayer.reset();
        }
        if (mLayer)
        {
            // The back end draws a layer into the bottom int(height x scale) rows of its bitmap,
            // which is rounded up and may be a row taller: the image is moved up by the rows
            // left over, so its drawn rows meet the window's pixel for pixel.
            const IBounds& r = mLayer->GetBounds();
            const int drawnRows = static_cast<int>(r.H() * scale);
            const float spare =
                static_cast<float>(mLayer->GetAPIBitmap()->GetHeight() - drawnRows) / scale;
            g.DrawBitmap(IBitmapHandle(mLayer->GetAPIBitmap(), 1, false, ""),
                         IBounds{r.L, r.T - spare, r.R, r.B},
                         0,
                         0,
                         nullptr);
        }
        else
            DrawFixed(g, g.GetDrawArea());
    }

    /// Gradient, scan lines, title, tag line, panels and the two rules: what shows within
    /// `area`.
    void DrawFixed(ICanvas& g, const IBounds& area)
    {
        g.PathClear();
        g.PathRect(mRECT);
        g.PathFill(IFillPattern::Linear(mRECT.MW(),
                                        mRECT.T,
                                        mRECT.MW(),
                                        mRECT.B,
                                        {{kBackgroundTop, 0.f}, {kBackgroundBottom, 1.f}}),
                   IFillStyle{});
        DrawScanLines(g, area);

        const IBounds title{36.f, 37.f, 360.f, 86.f};
        if (area.Intersects(title.GetPadded(-1.f)))
            DrawLabel(g, "LUMENFALL", title, 42.f, kColorText);
        const IBounds tagLine{330.f, 52.f, 616.f, 80.f};
        if (area.Intersects(tagLine.GetPadded(-1.f)))
            DrawLabel(g, "SPACE  /  DEPTH  /  MOVEMENT", tagLine, 15.f, kColorTextMuted);
        DrawRule(g, area, 36.f, kHeaderRuleY, 1064.f, kHeaderRuleY);

        for (const auto& [panel, face] : {std::pair{kDisplayPanelBounds, kDisplayPanelFace},
                                          {kKnobPanelBounds, kKnobPanelFace}})
        {
            if (!area.Intersects(panel.GetPadded(2.f)))
                continue;
            g.FillRoundRect(face, panel, kPanelRadius);
            g.DrawRoundRect(kColorLine, panel, kPanelRadius);
        }
        DrawRule(g, area, 36.f, kFooterRuleY, 1064.f, kFooterRuleY);
    }

    /// A horizontal or vertical rule in the line colour, when it shows within `area`.
    static void DrawRule(ICanvas& g, const IBounds& area, float x1, float y1, float x2, float y2)
    {
        if (area.Intersects(IBounds{x1, y1, x2, y2}.GetPadded(2.f)))
            g.DrawLine(kColorLine, x1, y1, x2, y2);
    }

    /// One line every 4 units, every third one brighter (those within `area`, and only across
    /// its width). The lines of one brightness never touch, so each set is one
    /// path and one stroke. Where a line runs under the straight part of an opaque panel, the
    /// hidden stretch is left out (the line still reaches a unit into the panel, under its edge).
    void DrawScanLines(ICanvas& g, const IBounds& area)
    {
        const float left = std::max(mRECT.L, area.L - 1.f);
        const float right = std::min(mRECT.R, area.R + 1.f);
        for (const bool bright : {true, false})
        {
            g.PathClear();
            for (int y = 0; y < kEditorHeight; y += kScanLineStep)
            {
                const float fy = static_cast<float>(y);
                if ((y % 12 == 0) != bright || fy < area.T - 1.f || fy > area.B + 1.f)
                    continue;
                const IBounds* under = PanelOver(fy);
                if (under == nullptr)
                {
                    AddStretch(g, left, right, fy);
                    continue;
                }
                AddStretch(g, left, std::min(right, under->L + 1.f), fy);
                AddStretch(g, std::max(left, under->R - 1.f), right, fy);
            }
            g.PathStroke(IFillPattern::Solid(bright ? kScanLineBright : kScanLineFaint),
                         1.f,
                         IStrokeStyle{});
        }
    }

    /// A scan line's stretch from x1 to x2 at height y, when it is not empty.
    static void AddStretch(ICanvas& g, float x1, float x2, float y)
    {
        if (x1 >= x2)
            return;
        g.PathMoveTo(x1, y);
        g.PathLineTo(x2, y);
    }

    /// The panel whose straight part covers a 1-unit line at height y; null for none.
    static const IBounds* PanelOver(float y)
    {
        for (const IBounds* panel : {&kDisplayPanelBounds, &kKnobPanelBounds})
            if (y - 0.5f > panel->T + kPanelRadius && y + 0.5f < panel->B - kPanelRadius)
                return panel;
        return nullptr;
    }

    ViewStatePtr mState;
    ILayerPtr mLayer;
    float mLayerScale = 0.f; ///< the total scale the layer was made at; 0 before the first
};

} // namespace

IControl* MakeBackdrop(ViewStatePtr state)
{
    return new Backdrop(std::move(state));
}

} // namespace lumenfall::editor
