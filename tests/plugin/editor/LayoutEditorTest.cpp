#include "canvas/ITextEntryControl.h"
#include "plugin/editor/EditorTexts.h"
#include "tests/plugin/editor/EditorFixture.h"

#include <cmath>
#include <string>

namespace lumenfall::test
{
namespace
{

using namespace lumenfall::editor;

int Idx(ParamId param)
{
    return static_cast<int>(param);
}

using EditorLayout = EditorFixture;

// The fixed controls in attachment order: the toolkit draws in that order, so the backdrop
// comes first and the display lies between the model menu and the meters.
TEST_F(EditorLayout, FixedControlsAreAttachedInOrderWithTheirBounds)
{
    const IBounds head[] = {kBackdropBounds,
                            kBrandBounds,
                            kModelMenuBounds,
                            kPresetMenuBounds,
                            kABButtonBounds,
                            kCopyButtonBounds,
                            kDisplayBounds,
                            kMetersBounds,
                            kBasicButtonBounds,
                            kAdvancedButtonBounds,
                            {390.f, 324.f, 551.f, 358.f},
                            {561.f, 324.f, 722.f, 358.f},
                            {732.f, 324.f, 893.f, 358.f},
                            {903.f, 324.f, 1064.f, 358.f}};
    const IBounds tail[] = {kGroupNoteBounds,
                            kHelpPanelBounds,
                            kFreezeButtonBounds,
                            kWetSoloButtonBounds,
                            kBypassButtonBounds,
                            kSyncButtonBounds,
                            kDivisionMenuBounds,
                            kSupportButtonBounds};
    constexpr int kKnobs = 26;
    ASSERT_EQ(canvas->NControls(), 14 + 2 * kKnobs + 8);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(canvas->GetControl(i)->GetRECT(), head[i]) << i;
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(canvas->GetControl(14 + 2 * kKnobs + i)->GetRECT(), tail[i]) << i;

    const int parameterOf[] = {-1, -1, Idx(ParamId::ReverbType), -1, -1, -1, -1, -1};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(canvas->GetControl(i)->GetParamIdx(), parameterOf[i]) << i;
    EXPECT_EQ(canvas->GetControl(14 + 2 * kKnobs + 2)->GetParamIdx(), Idx(ParamId::Freeze));
    EXPECT_EQ(canvas->GetControl(14 + 2 * kKnobs + 5)->GetParamIdx(), Idx(ParamId::PreDelaySync));
    EXPECT_EQ(canvas->GetControl(14 + 2 * kKnobs + 6)->GetParamIdx(), Idx(ParamId::NoteDivision));
    for (const int passive : {0, 6, 7, 14 + 2 * kKnobs, 14 + 2 * kKnobs + 1})
        EXPECT_TRUE(canvas->GetControl(passive)->GetIgnoreMouse()) << passive;
    EXPECT_NE(canvas->GetCornerResizer(), nullptr);
    EXPECT_NE(canvas->GetTextEntryControl(), nullptr);

    // Tooltips: the parameter's help sentence on menus and toggles, the brand's and the preset
    // menu's own, none on the buttons that edit no parameter.
    const auto help = [](ParamId id) { return ParamHelpTexts[static_cast<std::size_t>(id)]; };
    const struct
    {
        IBounds bounds;
        const char* tooltip;
    } tooltips[] = {{kBrandBounds, kBrandTooltip},
                    {kModelMenuBounds, help(ParamId::ReverbType)},
                    {kPresetMenuBounds, kPresetTooltip},
                    {kABButtonBounds, ""},
                    {kBasicButtonBounds, ""},
                    {kFreezeButtonBounds, help(ParamId::Freeze)},
                    {kWetSoloButtonBounds, help(ParamId::WetSolo)},
                    {kBypassButtonBounds, help(ParamId::Bypass)},
                    {kSyncButtonBounds, help(ParamId::PreDelaySync)},
                    {kDivisionMenuBounds, help(ParamId::NoteDivision)}};
    for (const auto& t : tooltips)
    {
        ASSERT_NE(ControlAt(t.bounds), nullptr);
        EXPECT_STREQ(ControlAt(t.bounds)->GetTooltip(), t.tooltip)
            << t.bounds.L << "," << t.bounds.T;
    }
    EXPECT_EQ(canvas->GetMinScale(), kMinEditorScale);
    EXPECT_EQ(canvas->GetMaxScale(), kMaxEditorScale);
}

// Each knob follows the grid of its page and is followed by its invisible typed-entry partner.
TEST_F(EditorLayout, KnobsFollowTheGridOfTheirPage)
{
    int index = 14;
    for (const KnobGroup& group : kKnobGroups)
    {
        int j = 0;
        for (const ParamId param : group.params)
        {
            IControl* knob = canvas->GetControl(index++);
            IControl* entry = canvas->GetControl(index++);
            EXPECT_EQ(knob->GetParamIdx(), Idx(param));
            EXPECT_EQ(knob->GetRECT(), KnobBounds(j++, group.perRow, group.cellWidth));
            EXPECT_STREQ(knob->GetTooltip(), ParamHelpTexts[static_cast<std::size_t>(param)]);
            EXPECT_TRUE(entry->GetRECT().Empty());
            EXPECT_TRUE(entry->GetIgnoreMouse());
            EXPECT_EQ(entry->GetParamIdx(), -1);
        }
    }
    const IControl* mix = Knob(ParamId::Mix);
    ASSERT_NE(mix, nullptr);
    EXPECT_EQ(mix->GetRECT(), (IBounds{826.f, 369.f, 1045.f, 503.f}));
}

/// Which knobs show: exactly those of `section`.
void ExpectPage(const EditorFixture& f, int section)
{
    for (const KnobGroup& group : kKnobGroups)
        for (const ParamId param : group.params)
            EXPECT_EQ(f.Knob(param)->IsHidden(), group.section != section)
                << engine::ParamName(param) << " on page " << section;
}

TEST_F(EditorLayout, SectionButtonsChangeThePage)
{
    IControl* note = ControlAt(kGroupNoteBounds);
    IControl* firstGroupButton = ControlAt(GroupButtonBounds(0));
    ASSERT_NE(note, nullptr);
    ASSERT_NE(firstGroupButton, nullptr);
    const struct
    {
        IBounds button;
        int page;
    } steps[] = {
        {kAdvancedButtonBounds, kSectionSpace}, // ADVANCED starts on SPACE
        {GroupButtonBounds(2), kSectionLevelDuck},
        {kBasicButtonBounds, kSectionBasic},
        {kAdvancedButtonBounds, kSectionLevelDuck}, // and returns to the group shown last
        {GroupButtonBounds(3), kSectionSpecial},
        {GroupButtonBounds(1), kSectionTailMotion},
    };
    ExpectPage(*this, kSectionBasic);
    EXPECT_TRUE(note->IsHidden());
    EXPECT_TRUE(firstGroupButton->IsHidden());
    for (const auto& step : steps)
    {
        Click(step.button);
        ExpectPage(*this, step.page);
        EXPECT_EQ(note->IsHidden(), step.page == kSectionBasic);
        EXPECT_EQ(firstGroupButton->IsHidden(), step.page == kSectionBasic);
    }
}

// The disabled states follow parameter values set behind the editor's back.
TEST_F(EditorLayout, DisabledControlsFollowTheValuesWithoutNotification)
{
    IControl* division = ControlAt(kDivisionMenuBounds);
    ASSERT_NE(division, nullptr);
    EXPECT_FALSE(Knob(ParamId::PreDelay)->IsDisabled());
    EXPECT_TRUE(division->IsDisabled());
    SetParam(ParamId::PreDelaySync, 1.0);
    Frame();
    EXPECT_TRUE(Knob(ParamId::PreDelay)->IsDisabled());
    EXPECT_FALSE(division->IsDisabled());
    SetParam(ParamId::PreDelaySync, 0.0);
    Frame();
    EXPECT_FALSE(Knob(ParamId::PreDelay)->IsDisabled());
    EXPECT_TRUE(division->IsDisabled());

    const struct
    {
        engine::ReverbModel model;
        bool envelope;
        bool shimmer;
    } models[] = {{engine::ReverbModel::Hall, false, false},
                  {engine::ReverbModel::Gated, true, false},
                  {engine::ReverbModel::Reverse, true, false},
                  {engine::ReverbModel::Shimmer, false, true},
                  {engine::ReverbModel::Plate, false, false}};
    for (const auto& m : models)
    {
        SetParam(ParamId::ReverbType, static_cast<double>(m.model));
        Frame();
        for (const ParamId gate :
             {ParamId::GateLength, ParamId::EnvelopeShape, ParamId::GateRelease})
            EXPECT_EQ(Knob(gate)->IsDisabled(), !m.envelope) << static_cast<int>(m.model);
        EXPECT_EQ(Knob(ParamId::ShimmerAmount)->IsDisabled(), !m.shimmer);
        EXPECT_FALSE(Knob(ParamId::Decay)->IsDisabled());
        EXPECT_FALSE(ControlAt(kModelMenuBounds)->IsDisabled());
    }
}

TEST_F(EditorLayout, DisabledKnobsIgnoreClicksAndKeys)
{
    SetParam(ParamId::PreDelaySync, 1.0);
    Frame();
    IControl* preDelay = Knob(ParamId::PreDelay);
    const double before = Param(ParamId::PreDelay);
    Click(ValueZone(preDelay->GetRECT()));
    EXPECT_EQ(canvas->GetTextEntryOwner(), nullptr);
    preDelay->OnMouseDblClick(preDelay->GetRECT().MW(), preDelay->GetRECT().MH(), {});
    plugkit::canvas::IKeyEvent up;
    up.VK = plugkit::canvas::kVK_UP;
    EXPECT_FALSE(preDelay->OnKeyDown(0.f, 0.f, up));
    EXPECT_EQ(Param(ParamId::PreDelay), before);
}

TEST_F(EditorLayout, KnobKeysStepTheValueWithinItsRange)
{
    IControl* mix = Knob(ParamId::Mix);
    plugkit::canvas::IKeyEvent key;
    key.VK = plugkit::canvas::kVK_UP;
    EXPECT_TRUE(mix->OnKeyDown(0.f, 0.f, key));
    EXPECT_NEAR(Param(ParamId::Mix), 26.0, 1e-9);
    key.S = true;
    key.VK = plugkit::canvas::kVK_LEFT;
    EXPECT_TRUE(mix->OnKeyDown(0.f, 0.f, key));
    EXPECT_NEAR(Param(ParamId::Mix), 25.9, 1e-9);
    key.VK = plugkit::canvas::kVK_HOME;
    EXPECT_TRUE(mix->OnKeyDown(0.f, 0.f, key));
    EXPECT_NEAR(Param(ParamId::Mix), 25.0, 1e-9);
    SetParam(ParamId::Mix, 99.95);
    mix->SetValueFromDelegate(plugin->GetParam(Idx(ParamId::Mix))->GetNormalized());
    key.VK = plugkit::canvas::kVK_RIGHT;
    EXPECT_TRUE(mix->OnKeyDown(0.f, 0.f, key));
    EXPECT_EQ(Param(ParamId::Mix), 100.0);
    key.VK = 'A';
    EXPECT_FALSE(mix->OnKeyDown(0.f, 0.f, key));
}

/// Opens the typed entry of `param`'s knob with a click in its value box; returns the field.
plugkit::canvas::ITextEntryControl* OpenEntry(EditorFixture& f, IControl* knob)
{
    f.Click(ValueZone(knob->GetRECT()));
    return f.canvas->GetTextEntryControl();
}

// The entry opens with the value as set, not as the value box rounds it: -0.001 % shows as
// "0 %" but opens as "-0.001".
TEST_F(EditorLayout, TypedEntryStartsWithTheValueAsSet)
{
    const struct
    {
        int page;
        ParamId param;
        double value;
        const char* text;
    } cases[] = {{kSectionBasic, ParamId::Decay, 2.4f, "2.4"},
                 {kSectionTailMotion, ParamId::ModulationRate, 0.35f, "0.35"},
                 {kSectionTailMotion, ParamId::TrebleDecay, 0.65f, "0.65"},
                 {kSectionSpace, ParamId::HighCut, 16000.0, "16000"},
                 {kSectionBasic, ParamId::Tone, -0.001, "-0.001"}};
    for (const auto& c : cases)
    {
        ShowPage(c.page);
        SetParam(c.param, c.value);
        IControl* knob = Knob(c.param);
        knob->SetValueFromDelegate(plugin->GetParam(Idx(c.param))->GetNormalized());
        plugkit::canvas::ITextEntryControl* field = OpenEntry(*this, knob);
        ASSERT_TRUE(field->IsEditing()) << engine::ParamName(c.param);
        EXPECT_EQ(field->GetEditText(), c.text);
        EXPECT_EQ(field->GetRECT(), ValueZone(knob->GetRECT()));
        field->CancelEntry();
    }
}

/// Types `text` into the open field key by key, then Return.
void Type(plugkit::canvas::ITextEntryControl& field, const char* text)
{
    for (const char* c = text; *c != '\0'; ++c)
    {
        plugkit::canvas::IKeyEvent key;
        key.VK = *c >= 'a' && *c <= 'z' ? *c - 'a' + 'A' : *c;
        key.utf8[0] = *c;
        field.OnKeyDown(0.f, 0.f, key);
    }
    plugkit::canvas::IKeyEvent enter;
    enter.VK = plugkit::canvas::kVK_RETURN;
    field.OnKeyDown(0.f, 0.f, enter);
}

// A value dragged to more digits than the box shows opens with all of them, so Return on the
// untouched entry leaves the value as the engine and the state see it, a float.
TEST_F(EditorLayout, ReturnOnAnUntouchedEntryKeepsADraggedValue)
{
    IControl* decay = Knob(ParamId::Decay);
    const IBounds r = decay->GetRECT();
    plugkit::canvas::IMouseEvent e;
    e.x = r.MW();
    e.y = r.T + 61.f;
    e.ms.L = true;
    canvas->OnMouseDown({e});
    for (const float dy : {-3.f, -1.5f, -2.25f})
    {
        e.y += dy;
        e.dY = dy;
        canvas->OnMouseDrag({e});
    }
    canvas->OnMouseUp({e});
    Frame();
    const float dragged = static_cast<float>(Param(ParamId::Decay));
    ASSERT_GT(dragged, 2.4f);

    plugkit::canvas::ITextEntryControl* field = OpenEntry(*this, decay);
    ASSERT_TRUE(field->IsEditing());
    const std::string text = field->GetEditText();
    EXPECT_GT(text.size() - text.find('.') - 1, 3u) << text; // more than the step's decimals
    Type(*field, "");
    EXPECT_FALSE(field->IsEditing());
    EXPECT_EQ(static_cast<float>(Param(ParamId::Decay)), dragged) << text;
}

TEST_F(EditorLayout, TypedEntryAppliesUnitsAndRejectsWhatItCannotRead)
{
    ShowPage(kSectionSpace);
    plugkit::canvas::ITextEntryControl* typed = OpenEntry(*this, Knob(ParamId::HighCut));
    Type(*typed, "3 k"); // the opening selection is replaced by what is typed
    EXPECT_FALSE(typed->IsEditing());
    EXPECT_EQ(Param(ParamId::HighCut), 3000.0);
    ShowPage(kSectionBasic);

    IControl* decay = Knob(ParamId::Decay);
    plugkit::canvas::ITextEntryControl* field = OpenEntry(*this, decay);
    field->SetEditText("250 ms");
    field->CommitEntry();
    EXPECT_NEAR(Param(ParamId::Decay), 0.25, 1e-9);
    EXPECT_NEAR(decay->GetValue(), plugin->GetParam(Idx(ParamId::Decay))->GetNormalized(), 1e-12);

    // An entry beyond the range lands on the range's end.
    field = OpenEntry(*this, Knob(ParamId::PreDelay));
    field->SetEditText("99999 ms");
    field->CommitEntry();
    EXPECT_EQ(Param(ParamId::PreDelay), 500.0);

    // A right press in the value box, whether the editor routes it to the knob or not, opens
    // no entry and changes nothing.
    const IBounds box = ValueZone(decay->GetRECT());
    plugkit::canvas::IMouseEvent right;
    right.x = box.MW();
    right.y = box.MH();
    right.ms.R = true;
    canvas->OnMouseDown({right});
    canvas->OnMouseUp({right});
    decay->OnMouseDown(box.MW(), box.MH(), right.ms);
    decay->OnMouseUp(box.MW(), box.MH(), right.ms);
    Frame();
    EXPECT_EQ(canvas->GetTextEntryOwner(), nullptr);
    EXPECT_NEAR(Param(ParamId::Decay), 0.25, 1e-9);

    for (const char* rejected : {"3 kh", "1,5", "inf", "1e400", ""})
    {
        field = OpenEntry(*this, decay);
        field->SetEditText(rejected);
        field->CommitEntry();
        EXPECT_NEAR(Param(ParamId::Decay), 0.25, 1e-9) << rejected;
    }
}

} // namespace
} // namespace lumenfall::test
