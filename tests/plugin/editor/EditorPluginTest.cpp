#include "plugin/editor/EditorPlugin.h"
#include "plugin/FactoryPresets.h"
#include "plugin/editor/EditorControls.h"
#include "plugin/editor/EditorLayout.h"
#include "tests/support/FakeEditorDelegate.h"
#include "tests/support/RecordingCanvas.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace lumenfall::test
{
namespace
{

using namespace lumenfall::editor;

/// The plug-in side of the editor, as a test sets it: records what the controls ask of it and
/// answers with the values the test put in.
class FakeEditorPlugin final : public EditorPlugin
{
public:
    void SelectFactoryPreset(int index) override { selected.push_back(index); }
    int FindMatchingPreset() const override { return matchingPreset; }
    void CopyToOtherSlot() override { ++copies; }
    void SwitchABSlot() override
    {
        ++switches;
        activeSlot = activeSlot == 0 ? 1 : 0;
    }
    int GetActiveSlot() const override { return activeSlot; }
    engine::MeterLevels GetMeterLevels() const override { return levels; }

    std::vector<int> selected;
    int matchingPreset = -1;
    int copies = 0;
    int switches = 0;
    int activeSlot = 0;
    engine::MeterLevels levels;
};

// The controls that reach the plug-in, on a fake of it and a plain delegate: this executable
// links the editor without the plug-in class.
class EditorOnFakePlugin : public testing::Test
{
public:
    template <class T>
    T* Attach(T* control)
    {
        return static_cast<T*>(canvas.AttachControl(control));
    }

    /// One display tick; returns whether anything was dirty. The log then holds its drawing.
    bool Frame()
    {
        plugkit::canvas::DirtyRectList rects;
        const bool dirty = canvas.IsDirty(rects);
        canvas.ClearLog();
        canvas.DrawDirtyRects(rects);
        return dirty;
    }

    bool Drew(const std::string& prefix) const { return !canvas.LinesStartingWith(prefix).empty(); }

    void Press(IControl* control)
    {
        const IBounds r = control->GetRECT();
        control->OnMouseDown(r.MW(), r.MH(), {});
    }

    FakeEditorPlugin plug;
    FakeEditorDelegate delegate;
    RecordingCanvas canvas{delegate, kEditorWidth, kEditorHeight};
    ViewStatePtr state = std::make_shared<ViewState>();
};

TEST_F(EditorOnFakePlugin, PresetMenuNamesThePluginsMatchAndSelectsThroughIt)
{
    IControl* menu = Attach(MakePresetMenu(plug, state));
    const auto& presets = GetFactoryPresets();
    const struct
    {
        int match;
        const char* name;
    } cases[] = {{0, presets.front().name},
                 {-1, kCustomPresetName},
                 {kFactoryPresetCount - 1, presets.back().name},
                 {kFactoryPresetCount, kCustomPresetName}, // no such preset
                 {-7, kCustomPresetName}};
    for (const auto& k : cases)
    {
        plug.matchingPreset = k.match;
        EXPECT_TRUE(Frame()) << k.match;
        EXPECT_TRUE(Drew(std::string("DrawText ") + k.name + " ")) << k.match;
    }
    EXPECT_FALSE(Frame()); // the same match again: nothing to draw

    canvas.SetMenuChoice(8);
    Press(menu);
    canvas.SetMenuChoice(-1); // dismissed
    Press(menu);
    EXPECT_EQ(plug.selected, std::vector<int>{8});
}

TEST_F(EditorOnFakePlugin, ABAndCopyActOnThePluginAndTheButtonFollowsItsSlot)
{
    IControl* ab = Attach(MakeButton(kABButtonBounds, "A", plug, state, ButtonMode::ABSwitch));
    IControl* copy =
        Attach(MakeButton(kCopyButtonBounds, "COPY", plug, state, ButtonMode::CopySettings));
    Frame();

    Press(copy);
    EXPECT_EQ(plug.copies, 1);
    EXPECT_EQ(plug.switches, 0);
    plugkit::canvas::IKeyEvent space;
    space.VK = plugkit::canvas::kVK_SPACE;
    EXPECT_TRUE(ab->OnKeyDown(0.f, 0.f, space));
    EXPECT_EQ(plug.switches, 1);
    EXPECT_EQ(plug.copies, 1);
    EXPECT_TRUE(Frame());
    EXPECT_TRUE(Drew("DrawText B "));

    // A slot changed behind the editor's back shows on the next frame.
    plug.activeSlot = 0;
    EXPECT_TRUE(Frame());
    EXPECT_TRUE(Drew("DrawText A "));
    EXPECT_FALSE(Frame());
}

TEST_F(EditorOnFakePlugin, MetersRedrawWhenAnyOneOfTheirLevelsChanges)
{
    Attach(MakeMeters(plug));
    Frame();
    EXPECT_FALSE(Frame());
    float engine::MeterLevels::*const fields[] = {&engine::MeterLevels::inputPeak,
                                                  &engine::MeterLevels::wetPeak,
                                                  &engine::MeterLevels::outputPeak,
                                                  &engine::MeterLevels::duckReduction};
    for (std::size_t i = 0; i < std::size(fields); ++i)
    {
        plug.levels.*fields[i] = 0.5f;
        EXPECT_TRUE(Frame()) << i;
        if (i == 0)
        {
            EXPECT_TRUE(Drew("DrawText -6.0 dB ")); // the input bar's reading
        }
        EXPECT_FALSE(Frame()) << i;
    }
}

} // namespace
} // namespace lumenfall::test
