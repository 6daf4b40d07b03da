#pragma once

#include "canvas/CanvasTypes.h"
#include "plugin/engine/Parameters.h"

#include <array>
#include <span>

namespace lumenfall::editor
{

// The editor's fixed design: 1100 x 760 units (the toolkit scales them). Every rectangle below
// is (left, top, right, bottom) in these units.

using engine::ParamId;
using plugkit::canvas::IBounds;

inline constexpr int kEditorWidth = 1100;
inline constexpr int kEditorHeight = 760;
inline constexpr float kMinEditorScale = 0.85f;
inline constexpr float kMaxEditorScale = 1.5f;
/// The frame rate both deliverables make the editor window with. Where no vertical-blank thread
/// paces the window, its display timer runs every floor(1000 / 30) = 33 ms.
inline constexpr int kEditorFrameRate = 30;
/// The environment variable that forces how both deliverables' editor windows present: "gdi"
/// or "swap" (otherwise GDI under Wine, swapped buffers elsewhere).
inline constexpr char kPresentModeVariable[] = "LUMENFALL_PRESENT";

/// The editor's pages: BASIC and the four groups of ADVANCED, one shown at a time.
enum class EditorSection : int
{
    Basic,
    Space,
    TailMotion,
    LevelDuck,
    Special,
    Count
};

inline constexpr int kSectionBasic = static_cast<int>(EditorSection::Basic);
inline constexpr int kSectionSpace = static_cast<int>(EditorSection::Space);
inline constexpr int kSectionTailMotion = static_cast<int>(EditorSection::TailMotion);
inline constexpr int kSectionLevelDuck = static_cast<int>(EditorSection::LevelDuck);
inline constexpr int kSectionSpecial = static_cast<int>(EditorSection::Special);
inline constexpr int kSectionCount = static_cast<int>(EditorSection::Count);
/// A control that belongs to every advanced section (the group buttons and the group note).
inline constexpr int kAllAdvancedSections = -1;

/// Whether a control registered for `controlSection` hides while `current` is shown.
constexpr bool IsHiddenInSection(int controlSection, int current)
{
    return controlSection == kAllAdvancedSections ? current == kSectionBasic
                                                  : controlSection != current;
}

/// The knobs of one page, in creation order, laid out in rows of `perRow` cells.
struct KnobGroup
{
    int section;
    std::span<const ParamId> params;
    int perRow;
    float cellWidth;
};

namespace detail
{
inline constexpr ParamId kBasicKnobs[] = {ParamId::Decay,
                                          ParamId::PreDelay,
                                          ParamId::Size,
                                          ParamId::Mix,
                                          ParamId::Width,
                                          ParamId::Tone,
                                          ParamId::EarlyReflections,
                                          ParamId::LateTail};
inline constexpr ParamId kSpaceKnobs[] = {ParamId::Diffusion,
                                          ParamId::Density,
                                          ParamId::LowCut,
                                          ParamId::HighCut,
                                          ParamId::BassCrossover,
                                          ParamId::HFDamping};
inline constexpr ParamId kTailMotionKnobs[] = {
    ParamId::BassDecay, ParamId::TrebleDecay, ParamId::ModulationDepth, ParamId::ModulationRate};
inline constexpr ParamId kLevelDuckKnobs[] = {
    ParamId::InputTrim, ParamId::OutputTrim, ParamId::Ducking, ParamId::DuckRelease};
inline constexpr ParamId kSpecialKnobs[] = {
    ParamId::GateLength, ParamId::EnvelopeShape, ParamId::GateRelease, ParamId::ShimmerAmount};
} // namespace detail

/// The knob panel's width split into columns: four on BASIC, three on the advanced pages.
inline constexpr float kKnobPanelWidth = 1028.f;
inline constexpr float kBasicCellWidth = kKnobPanelWidth / 4.f;
inline constexpr float kAdvancedCellWidth = kKnobPanelWidth / 3.f;

inline constexpr std::array<KnobGroup, kSectionCount> kKnobGroups = {{
    {kSectionBasic, detail::kBasicKnobs, 4, kBasicCellWidth},
    {kSectionSpace, detail::kSpaceKnobs, 3, kAdvancedCellWidth},
    {kSectionTailMotion, detail::kTailMotionKnobs, 2, kAdvancedCellWidth},
    {kSectionLevelDuck, detail::kLevelDuckKnobs, 2, kAdvancedCellWidth},
    {kSectionSpecial, detail::kSpecialKnobs, 2, kAdvancedCellWidth},
}};

/// The `j`-th knob (from 0) of a group: rows at 369 and 515, 134 high, cells inset by 19.
constexpr IBounds KnobBounds(int j, int perRow, float cellWidth)
{
    const int column = j % perRow;
    const float top = j < perRow ? 369.f : 515.f;
    const float cellLeft = 36.f + static_cast<float>(column) * cellWidth;
    return {cellLeft + 19.f, top, cellLeft + cellWidth - 19.f, top + 134.f};
}

/// A knob's dial centre.
constexpr float KnobCentreX(const IBounds& knob)
{
    return (knob.L + knob.R) / 2.f;
}
constexpr float KnobCentreY(const IBounds& knob)
{
    return knob.T + 61.f;
}

/// The value box under a knob's dial: a click there opens the typed entry.
constexpr IBounds ValueZone(const IBounds& knob)
{
    const float cx = KnobCentreX(knob);
    return {cx - 59.f, knob.B - 27.f, cx + 59.f, knob.B - 2.f};
}

// Fixed controls, in attachment order.
inline constexpr IBounds kBackdropBounds{0.f, 0.f, kEditorWidth, kEditorHeight};
inline constexpr IBounds kBrandBounds{28.f, 0.f, 238.f, 42.f};
inline constexpr IBounds kModelMenuBounds{36.f, 112.f, 294.f, 156.f};
inline constexpr IBounds kPresetMenuBounds{624.f, 40.f, 921.f, 82.f};
inline constexpr IBounds kABButtonBounds{934.f, 40.f, 990.f, 82.f};
inline constexpr IBounds kCopyButtonBounds{1002.f, 40.f, 1064.f, 82.f};
inline constexpr IBounds kDisplayBounds{36.f, 110.f, 1064.f, 313.f};
inline constexpr IBounds kMetersBounds{36.f, 254.f, 294.f, 318.f};
inline constexpr IBounds kBasicButtonBounds{36.f, 324.f, 158.f, 358.f};
inline constexpr IBounds kAdvancedButtonBounds{170.f, 324.f, 337.f, 358.f};
inline constexpr IBounds kGroupNoteBounds{755.f, 386.f, 1043.f, 632.f};
inline constexpr IBounds kHelpPanelBounds{36.f, 663.f, 1064.f, 700.f};
inline constexpr IBounds kFreezeButtonBounds{36.f, 714.f, 176.f, 750.f};
inline constexpr IBounds kWetSoloButtonBounds{188.f, 714.f, 337.f, 750.f};
inline constexpr IBounds kBypassButtonBounds{349.f, 714.f, 485.f, 750.f};
inline constexpr IBounds kSyncButtonBounds{527.f, 714.f, 665.f, 750.f};
inline constexpr IBounds kDivisionMenuBounds{677.f, 714.f, 859.f, 750.f};
inline constexpr IBounds kSupportButtonBounds{881.f, 714.f, 1064.f, 750.f};

/// The four group buttons of ADVANCED ("SPACE" ... "SPECIAL"), side by side.
constexpr IBounds GroupButtonBounds(int i)
{
    const float left = 390.f + 171.f * static_cast<float>(i);
    return {left, 324.f, left + 161.f, 358.f};
}
inline constexpr std::array<const char*, 4> kGroupButtonLabels = {
    "SPACE", "TAIL / MOTION", "LEVEL / DUCK", "SPECIAL"};

// The backdrop's panels and rules.
inline constexpr IBounds kDisplayPanelBounds{316.f, 110.f, 1064.f, 313.f};
inline constexpr IBounds kKnobPanelBounds{36.f, 365.f, 1064.f, 655.f};
inline constexpr float kHeaderRuleY = 97.f;
inline constexpr float kRowDividerY = 508.f;
inline constexpr float kFooterRuleY = 704.f;
/// Scan lines every 4 units from 0 to 756; those on multiples of 12 are brighter.
inline constexpr int kScanLineStep = 4;
inline constexpr int kScanLineCount = kEditorHeight / kScanLineStep;

/// The x positions of the knob panel's column dividers on `section`: three on BASIC, two on
/// SPACE, one where the group note takes the third column. Returns how many were written.
int ColumnDividers(int section, std::array<float, 3>& xs);

/// The right end of the knob panel's row divider on `section`: it spans the knob grid, so
/// where the group note takes the third column it stops short of the note.
float RowDividerRight(int section);

} // namespace lumenfall::editor
