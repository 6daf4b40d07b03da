#include "plugin/editor/LayoutEditor.h"

#include "canvas/ICanvas.h"
#include "canvas/IControl.h"
#include "plugin/editor/EditorControls.h"

#include <memory>

namespace lumenfall::editor
{
namespace
{

using plugkit::canvas::EUIResizerMode;
using plugkit::canvas::IArgbColor;

constexpr IArgbColor kResizerIdle{255, 57, 69, 74};
constexpr IArgbColor kResizerOver{255, 113, 197, 191};
constexpr IArgbColor kResizerDrag{255, 215, 165, 109};

/// Attaches `control`; a refused one is destroyed. Returns the control, or null.
IControl* Attach(ICanvas& g, IControl* control)
{
    if (control == nullptr)
        return nullptr;
    if (g.AttachControl(control) == nullptr)
    {
        plugkit::canvas::DestroyControl(control);
        return nullptr;
    }
    return control;
}

void Register(ViewState& state, IControl* control, int section)
{
    if (control != nullptr)
        state.sectionControls.push_back({control, section});
}

int Index(ParamId id)
{
    return static_cast<int>(id);
}

} // namespace

void SelectSection(ViewState& state, int section, ICanvas& g)
{
    state.section = section;
    if (section > kSectionBasic)
        state.lastAdvancedSection = section;
    for (const SectionControl& entry : state.sectionControls)
        entry.control->Hide(IsHiddenInSection(entry.section, section));
    state.helpTitle = SectionHelpTitle(section);
    state.helpBody = SectionHelpBody(section);
    g.SetAllControlsDirty();
}

void LayoutEditor(ICanvas& g, EditorPlugin& plug)
{
    const auto state = std::make_shared<ViewState>();

    g.EnableTooltips(true);
    g.SetScaleConstraints(kMinEditorScale, kMaxEditorScale);
    g.AttachTextEntryControl();
    g.LoadFont(kFontId, kFontFile);

    Attach(g, MakeBackdrop(state));
    Attach(g, MakeBrand(g.LoadSvg(kLogoFile, "px", 72.f), state));
    Attach(g, MakeEnumMenu(kModelMenuBounds, ParamId::ReverbType, state));
    Attach(g, MakePresetMenu(plug, state));
    Attach(g, MakeButton(kABButtonBounds, "A", plug, state, ButtonMode::ABSwitch));
    Attach(g, MakeButton(kCopyButtonBounds, "COPY", plug, state, ButtonMode::CopySettings));
    Attach(g, MakeSpatialDisplay());
    Attach(g, MakeMeters(plug));
    Attach(g,
           MakeButton(kBasicButtonBounds,
                      "BASIC",
                      plug,
                      state,
                      ButtonMode::Section,
                      plugkit::canvas::kNoParameter,
                      kSectionBasic));
    Attach(g, MakeButton(kAdvancedButtonBounds, "ADVANCED", plug, state, ButtonMode::Advanced));
    for (int i = 0; i < static_cast<int>(kGroupButtonLabels.size()); ++i)
        Register(*state,
                 Attach(g,
                        MakeButton(GroupButtonBounds(i),
                                   kGroupButtonLabels[static_cast<std::size_t>(i)],
                                   plug,
                                   state,
                                   ButtonMode::Section,
                                   plugkit::canvas::kNoParameter,
                                   kSectionSpace + i)),
                 kAllAdvancedSections);

    for (const KnobGroup& group : kKnobGroups)
    {
        int j = 0;
        for (const ParamId param : group.params)
            Register(*state,
                     AttachKnob(g, KnobBounds(j++, group.perRow, group.cellWidth), param, state),
                     group.section);
    }
    Register(*state, Attach(g, MakeGroupNote(state)), kAllAdvancedSections);

    Attach(g, MakeContextHelp(state));
    const struct
    {
        IBounds bounds;
        ParamId param;
    } toggles[] = {{kFreezeButtonBounds, ParamId::Freeze},
                   {kWetSoloButtonBounds, ParamId::WetSolo},
                   {kBypassButtonBounds, ParamId::Bypass},
                   {kSyncButtonBounds, ParamId::PreDelaySync}};
    for (const auto& toggle : toggles)
        Attach(g,
               MakeButton(toggle.bounds,
                          KnobCaptions[static_cast<std::size_t>(toggle.param)],
                          plug,
                          state,
                          ButtonMode::ParamToggle,
                          Index(toggle.param)));
    Attach(g, MakeEnumMenu(kDivisionMenuBounds, ParamId::NoteDivision, state));
    Attach(g,
           MakeButton(kSupportButtonBounds, kSupportEmail, plug, state, ButtonMode::SupportLink));

    SelectSection(*state, kSectionBasic, g);
    g.AttachCornerResizer(
        EUIResizerMode::Scale, false, kResizerIdle, kResizerOver, kResizerDrag, 20.f);
}

} // namespace lumenfall::editor
