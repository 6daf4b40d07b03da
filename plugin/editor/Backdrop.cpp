#include "canvas/ICanvas.h"
#include "canvas/IControl.h"
#include "plugin/editor/EditorControls.h"
#include "plugin/editor/EditorDrawing.h"

namespace lumenfall::editor
{
namespace
{

using plugkit::canvas::IFillPattern;
using plugkit::canvas::IFillStyle;
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
        g.PathClear();
        g.PathRect(mRECT);
        g.PathFill(IFillPattern::Linear(mRECT.MW(),
                                        mRECT.T,
                                        mRECT.MW(),
                                        mRECT.B,
                                        {{kBackgroundTop, 0.f}, {kBackgroundBottom, 1.f}}),
                   IFillStyle{});
        DrawScanLines(g);

        DrawLabel(g, "LUMENFALL", {36.f, 37.f, 360.f, 86.f}, 42.f, kColorText);
        DrawLabel(
            g, "SPACE  /  DEPTH  /  MOVEMENT", {330.f, 52.f, 616.f, 80.f}, 15.f, kColorTextMuted);
        g.DrawLine(kColorLine, 36.f, kHeaderRuleY, 1064.f, kHeaderRuleY);

        for (const auto& [panel, face] : {std::pair{kDisplayPanelBounds, kDisplayPanelFace},
                                          {kKnobPanelBounds, kKnobPanelFace}})
        {
            g.FillRoundRect(face, panel, kPanelRadius);
            g.DrawRoundRect(kColorLine, panel, kPanelRadius);
        }

        std::array<float, 3> dividers{};
        const int count = ColumnDividers(mState->section, dividers);
        for (int i = 0; i < count; ++i)
            g.DrawLine(kColorLine, dividers[i], 382.f, dividers[i], 638.f);
        g.DrawLine(kColorLine, 54.f, kRowDividerY, 1046.f, kRowDividerY);
        g.DrawLine(kColorLine, 36.f, kFooterRuleY, 1064.f, kFooterRuleY);
    }

private:
    /// One line every 4 units, every third one brighter. The lines of one brightness never
    /// touch, so each set is one path and one stroke.
    void DrawScanLines(ICanvas& g)
    {
        for (const bool bright : {true, false})
        {
            g.PathClear();
            for (int y = 0; y < kEditorHeight; y += kScanLineStep)
            {
                if ((y % 12 == 0) != bright)
                    continue;
                g.PathMoveTo(mRECT.L, static_cast<float>(y));
                g.PathLineTo(mRECT.R, static_cast<float>(y));
            }
            g.PathStroke(IFillPattern::Solid(bright ? kScanLineBright : kScanLineFaint),
                         1.f,
                         IStrokeStyle{});
        }
    }

    ViewStatePtr mState;
};

} // namespace

IControl* MakeBackdrop(ViewStatePtr state)
{
    return new Backdrop(std::move(state));
}

} // namespace lumenfall::editor
