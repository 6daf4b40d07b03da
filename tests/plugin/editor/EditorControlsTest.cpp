#include "canvas/ITextEntryControl.h"
#include "plugin/editor/EditorTexts.h"
#include "plugin/editor/MeterMath.h"
#include "tests/plugin/editor/EditorFixture.h"

#include <cstdio>
#include <vector>

namespace lumenfall::test
{
namespace
{

using namespace lumenfall::editor;

/// The editor fixture with audio: blocks of a constant level through the plug-in, so the
/// meters have something to show.
class EditorControls : public EditorFixture
{
public:
    void Process(float level, int blocks = 1)
    {
        if (!mActive)
        {
            plugin->ConnectChannels(2, 2);
            plugin->SetSampleRate(48000.0);
            plugin->OnActivate(true);
            mActive = true;
        }
        std::vector<float> inL(512, level), inR(512, level), outL(512), outR(512);
        float* inputs[] = {inL.data(), inR.data()};
        float* outputs[] = {outL.data(), outR.data()};
        for (int i = 0; i < blocks; ++i)
            plugin->ProcessBlock(inputs, outputs, 512);
    }

    /// A value the host sets: stored, then sent to the controls.
    void SetFromHost(ParamId param, double value)
    {
        SetParam(param, value);
        const int idx = static_cast<int>(param);
        plugin->SendParameterValueFromDelegate(idx, plugin->GetParam(idx)->GetNormalized(), true);
    }

    /// The texts `control` draws, each as "text A R G B".
    std::vector<std::string> Texts(IControl* control)
    {
        std::vector<std::string> texts;
        for (std::string line : Lines(DrawOnly(control), "DrawText "))
        {
            // "DrawText <text> A R G B L T R B[ blend K W]": keep the text and its colour.
            const std::size_t blend = line.find(" blend ");
            if (blend != std::string::npos)
                line.resize(blend);
            for (int field = 0; field < 4; ++field)
                line.resize(line.rfind(' '));
            texts.push_back(line.substr(9));
        }
        return texts;
    }

    /// The right edge of the fill drawn at (left, top) in `color` ("A R G B"); -1 for none.
    float FillRightEdge(IControl* control, const char* color, float left, float top)
    {
        char prefix[96];
        std::snprintf(prefix, sizeof(prefix), "FillRoundRect %s %g %g ", color, left, top);
        const std::vector<std::string> fills = Lines(DrawOnly(control), prefix);
        if (fills.empty())
            return -1.f;
        float right = -1.f;
        std::sscanf(fills.front().c_str() + std::string(prefix).size(), "%f", &right);
        return right;
    }

private:
    bool mActive = false;
};

TEST_F(EditorControls, MetersShowLevelsInDecibelsWithBarsToScale)
{
    IControl* meters = ControlAt(kMetersBounds);
    const std::vector<std::string> silent = {"INPUT 255 151 163 169",
                                             "-inf 255 151 163 169",
                                             "WET 255 151 163 169",
                                             "-inf 255 151 163 169",
                                             "OUTPUT 255 151 163 169",
                                             "-inf 255 151 163 169",
                                             "DUCK 255 113 197 191",
                                             "0% 255 151 163 169"};
    EXPECT_EQ(Texts(meters), silent);
    EXPECT_EQ(FillRightEdge(meters, "255 113 197 191", 36.f, 276.f), -1.f); // empty bars

    Process(0.5f);
    Frame();
    EXPECT_EQ(Texts(meters)[1], "-6.0 dB 255 151 163 169");
    EXPECT_NEAR(FillRightEdge(meters, "255 113 197 191", 36.f, 276.f),
                36.f + 76.f * ReadMeter(0.5f).fill,
                1e-3f);

    Process(1.f);
    Frame();
    EXPECT_EQ(Texts(meters)[1], "0.0 dB 255 215 165 109"); // full scale in amber
    EXPECT_NEAR(FillRightEdge(meters, "255 231 117 101", 36.f, 276.f), 112.f, 1e-3f);

    SetParam(ParamId::Ducking, 100.0);
    Process(0.9f, 20);
    Frame();
    const float duck = plugin->GetMeterLevels().duckReduction;
    ASSERT_GT(duck, 0.f);
    char text[16];
    FormatDuck(duck, text, sizeof(text));
    EXPECT_EQ(Texts(meters)[7], std::string(text) + " 255 151 163 169");
    EXPECT_NEAR(FillRightEdge(meters, "255 113 197 191", 87.f, 306.f), 87.f + 155.f * duck, 1e-3f);
}

// A frame after new levels redraws the meters' area only; a frame with nothing new draws
// nothing at all.
TEST_F(EditorControls, MeterFramesTouchOnlyTheMetersAndIdleFramesNothing)
{
    Frame();
    canvas->ClearLog();
    Frame();
    EXPECT_TRUE(canvas->Log().empty());

    Process(0.25f);
    canvas->ClearLog();
    Frame();
    const std::vector<std::string> drawn = Lines(canvas->Log(), "Drawn ");
    ASSERT_FALSE(drawn.empty());
    for (const std::string& line : drawn)
    {
        IBounds area;
        ASSERT_EQ(
            std::sscanf(line.c_str(), "Drawn %f %f %f %f", &area.L, &area.T, &area.R, &area.B), 4);
        EXPECT_TRUE(kMetersBounds.GetPadded(1.f).Contains(area)) << line;
    }
}

TEST_F(EditorControls, PresetMenuNamesTheMatchingPreset)
{
    IControl* menu = ControlAt(kPresetMenuBounds);
    EXPECT_EQ(Texts(menu), std::vector<std::string>{"Custom 255 240 236 226"});

    canvas->SetMenuChoice(8);
    Click(kPresetMenuBounds);
    ASSERT_NE(canvas->LastMenu(), nullptr);
    EXPECT_EQ(plugin->GetPresetIndex(), 8);
    EXPECT_EQ(Texts(menu), std::vector<std::string>{"Open Vocal Hall 255 240 236 226"});

    // A small edit made behind the editor's back: the next frame names it Custom.
    SetParam(ParamId::Mix, 28.01);
    canvas->ClearLog();
    Frame();
    EXPECT_TRUE(Has(canvas->Log(), "DrawText Custom "));
    SetParam(ParamId::Mix, 28.0);
    canvas->ClearLog();
    Frame();
    EXPECT_TRUE(Has(canvas->Log(), "DrawText Open Vocal Hall "));

    canvas->SetMenuChoice(-1); // a dismissed menu changes nothing
    Click(kPresetMenuBounds);
    EXPECT_EQ(plugin->GetPresetIndex(), 8);
}

TEST_F(EditorControls, ABButtonShowsTheCurrentSlot)
{
    IControl* ab = ControlAt(kABButtonBounds);
    IControl* copy = ControlAt(kCopyButtonBounds);
    EXPECT_EQ(Texts(ab), std::vector<std::string>{"A 255 240 236 226"});
    EXPECT_TRUE(Has(DrawOnly(ab), "FillRoundRect 255 29 37 41 "));

    SetFromHost(ParamId::Decay, 5.0);
    Click(kCopyButtonBounds);
    Click(kABButtonBounds);
    EXPECT_EQ(plugin->GetActiveSlot(), 1);
    EXPECT_EQ(Param(ParamId::Decay), 5.0); // copy then switch keeps the values
    EXPECT_EQ(Texts(ab), std::vector<std::string>{"B 255 240 236 226"});
    EXPECT_TRUE(Has(DrawOnly(ab), "FillRoundRect 255 70 54 38 "));   // lit, amber
    EXPECT_TRUE(Has(DrawOnly(copy), "FillRoundRect 255 29 37 41 ")); // never lit

    Click(kABButtonBounds);
    EXPECT_EQ(plugin->GetActiveSlot(), 0);
    EXPECT_EQ(Texts(ab), std::vector<std::string>{"A 255 240 236 226"});
}

TEST_F(EditorControls, ToggleButtonsFlipTheirParameterAndLight)
{
    IControl* freeze = ControlAt(kFreezeButtonBounds);
    EXPECT_EQ(Texts(freeze), std::vector<std::string>{"FREEZE 255 151 163 169"});
    Click(kFreezeButtonBounds);
    EXPECT_EQ(Param(ParamId::Freeze), 1.0);
    const std::vector<std::string> lit = DrawOnly(freeze);
    EXPECT_TRUE(Has(lit, "FillRoundRect 255 37 65 65 ")); // Freeze lights teal
    EXPECT_TRUE(Has(lit, "FillCircle 255 113 197 191 51 732 3.5"));
    EXPECT_EQ(Texts(freeze), std::vector<std::string>{"FREEZE 255 240 236 226"});

    Click(kSyncButtonBounds);
    EXPECT_EQ(Param(ParamId::PreDelaySync), 1.0);
    EXPECT_TRUE(Has(DrawOnly(ControlAt(kSyncButtonBounds)), "FillRoundRect 255 70 54 38 "));

    plugkit::canvas::IKeyEvent key;
    key.VK = plugkit::canvas::kVK_SPACE;
    IControl* wetSolo = ControlAt(kWetSoloButtonBounds);
    EXPECT_TRUE(wetSolo->OnKeyDown(0.f, 0.f, key));
    EXPECT_EQ(Param(ParamId::WetSolo), 1.0);
    key.VK = 'X';
    EXPECT_FALSE(wetSolo->OnKeyDown(0.f, 0.f, key));
}

TEST_F(EditorControls, PageButtonsLightTheirPage)
{
    const auto litFace = [this](const IBounds& button)
    { return Has(DrawOnly(ControlAt(button)), "FillRoundRect 255 70 54 38 "); };
    EXPECT_TRUE(litFace(kBasicButtonBounds));
    EXPECT_FALSE(litFace(kAdvancedButtonBounds));
    ShowPage(kSectionLevelDuck);
    EXPECT_FALSE(litFace(kBasicButtonBounds));
    EXPECT_TRUE(litFace(kAdvancedButtonBounds));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(litFace(GroupButtonBounds(i)), i == 2) << i;
}

/// The column dividers the backdrop draws: vertical lines from 382 to 638.
std::vector<float> Dividers(const std::vector<std::string>& log)
{
    std::vector<float> xs;
    for (const std::string& line : log)
    {
        float x1 = 0.f, y1 = 0.f, x2 = 0.f, y2 = 0.f;
        if (std::sscanf(line.c_str(), "DrawLine 255 57 69 74 %f %f %f %f", &x1, &y1, &x2, &y2) ==
                4 &&
            y1 == 382.f && y2 == 638.f && x1 == x2)
            xs.push_back(x1);
    }
    return xs;
}

// The fixed part of the backdrop (gradient, scan lines, title, panels, rules) is drawn into a
// layer once per scale; later draws copy the layer and draw only the dividers over it.
TEST_F(EditorControls, BackdropScanLinesAndDividersPerPage)
{
    IControl* backdrop = canvas->GetControl(0);
    const std::vector<std::string> reused = DrawOnly(backdrop); // the first frame made the layer
    EXPECT_FALSE(Has(reused, "CreateApiBitmap"));
    EXPECT_FALSE(Has(reused, "PathMoveTo"));
    EXPECT_FALSE(Has(reused, "DrawText"));
    EXPECT_EQ(Lines(reused, "DrawBitmap "),
              std::vector<std::string>{"DrawBitmap layer 1100x760 0 0 0 0 1100 760"});

    canvas->SetScreenScale(2.f);
    const std::vector<std::string> log = DrawOnly(backdrop);
    EXPECT_TRUE(Has(log, "CreateApiBitmap 2200 1520 2 1"));
    // The scan lines, inside the layer: one path per brightness, each line a move and a line
    // across.
    int lines = 0, bright = 0, faint = 0;
    bool inLayer = false;
    for (const std::string& line : log)
    {
        if (line.rfind("UpdateLayer ", 0) == 0)
            inLayer = line == "UpdateLayer 0 0 1100 760";
        else if (line.rfind("PathMoveTo 0 ", 0) == 0)
            lines += inLayer ? 1 : 1000;
        else if (line.rfind("PathStroke solid 3 255 255 255", 0) == 0)
            bright += lines, lines = 0;
        else if (line.rfind("PathStroke solid 1 255 255 255", 0) == 0)
            faint += lines, lines = 0;
        else if (line == "PathClear")
            lines = 0;
    }
    EXPECT_EQ(bright + faint, 190);
    EXPECT_EQ(bright, 64); // y = 0, 12, ..., 756: every third line
    EXPECT_TRUE(Has(log, "DrawText LUMENFALL 255 240 236 226 36 37 360 86"));
    EXPECT_EQ(Lines(log, "DrawBitmap "),
              std::vector<std::string>{"DrawBitmap layer 2200x1520 0 0 0 0 1100 760"});
    EXPECT_FALSE(Has(DrawOnly(backdrop), "CreateApiBitmap"));

    // The row divider spans the knob grid: where the group note takes the third column it
    // stops short of the note instead of running on behind it and out past its edge.
    const struct
    {
        int page;
        std::vector<float> xs;
        const char* rowDivider;
    } pages[] = {{kSectionBasic, {293.f, 550.f, 807.f}, "54 508 1046 508 1"},
                 {kSectionSpace, {378.667f, 721.333f}, "54 508 1046 508 1"},
                 {kSectionTailMotion, {378.667f}, "54 508 703.333 508 1"},
                 {kSectionLevelDuck, {378.667f}, "54 508 703.333 508 1"},
                 {kSectionSpecial, {378.667f}, "54 508 703.333 508 1"}};
    for (const auto& page : pages)
    {
        ShowPage(page.page);
        const std::vector<std::string> drawn = DrawOnly(backdrop);
        const std::vector<float> xs = Dividers(drawn);
        ASSERT_EQ(xs.size(), page.xs.size()) << page.page;
        for (std::size_t i = 0; i < xs.size(); ++i)
            EXPECT_NEAR(xs[i], page.xs[i], 1e-3f) << page.page;
        EXPECT_EQ(Lines(drawn, "DrawLine 255 57 69 74 54 508 "),
                  std::vector<std::string>{std::string("DrawLine 255 57 69 74 ") + page.rowDivider})
            << page.page;
    }
}

TEST_F(EditorControls, HelpPanelFollowsPagesHoverAndRejectedEntries)
{
    IControl* help = ControlAt(kHelpPanelBounds);
    const auto shows = [&](const char* title, const char* body)
    {
        const std::vector<std::string> log = DrawOnly(help);
        EXPECT_TRUE(Has(log, std::string("DrawText ") + title + " 255 215 165 109")) << title;
        EXPECT_TRUE(Has(log, std::string("DrawMultiLineText ") + body + " 255 151 163 169"))
            << body;
    };
    shows("BASIC / YOUR MAIN CONTROLS", SectionHelpBody(kSectionBasic));
    ShowPage(kSectionSpace);
    shows("ADVANCED / REFINE THE CHARACTER", SectionHelpBody(kSectionSpace));
    ShowPage(kSectionBasic);

    const IBounds decay = Knob(ParamId::Decay)->GetRECT();
    EXPECT_TRUE(canvas->OnMouseOver(decay.MW(), decay.T + 40.f, {}));
    canvas->ClearLog();
    Frame();
    EXPECT_TRUE(Has(canvas->Log(), "DrawText DECAY 255 215 165 109"));
    shows("DECAY", ParamHelpTexts[static_cast<std::size_t>(ParamId::Decay)]);

    ShowPage(kSectionBasic); // the page's help again
    Click(ValueZone(decay));
    auto* field = canvas->GetTextEntryControl();
    ASSERT_TRUE(field->IsEditing());
    field->SetEditText("3 kh");
    field->CommitEntry();
    Frame();
    EXPECT_NEAR(Param(ParamId::Decay), 2.4, 1e-6);
    shows("DECAY", kTypedEntryRejected);
}

TEST_F(EditorControls, KnobsDrawTheirValueInItsUnit)
{
    IControl* decay = Knob(ParamId::Decay);
    std::vector<std::string> log = DrawOnly(decay);
    EXPECT_EQ(Texts(decay),
              (std::vector<std::string>{"DECAY 255 240 236 226", "2.40 s 255 240 236 226"}));
    EXPECT_TRUE(Has(log, "DrawArc 255 215 165 109 164.5 430 44 -138 ")); // Decay's arc: amber
    EXPECT_TRUE(Has(log, "DrawArc 255 57 69 74 164.5 430 44 -138 138 3"));
    EXPECT_TRUE(Has(DrawOnly(Knob(ParamId::Size)), "DrawArc 255 113 197 191 ")); // teal

    SetFromHost(ParamId::Tone, -0.3);
    EXPECT_EQ(Texts(Knob(ParamId::Tone))[1], "0 % 255 240 236 226");

    ShowPage(kSectionSpace);
    SetFromHost(ParamId::LowCut, 999.7);
    EXPECT_EQ(Texts(Knob(ParamId::LowCut))[1], "1.00 kHz 255 240 236 226");
    ShowPage(kSectionBasic);

    // Synced, the pre-delay knob is dimmed and reads SYNC.
    SetParam(ParamId::PreDelaySync, 1.0);
    Frame();
    IControl* preDelay = Knob(ParamId::PreDelay);
    EXPECT_EQ(Texts(preDelay)[1], "SYNC 255 106 116 121");
    EXPECT_TRUE(
        Has(DrawOnly(preDelay), "DrawArc 255 57 69 74 421.5 430 44 -138 138 3 weight 0.25"));

    // While its entry is open, the value box holds the field, not the value text.
    Click(ValueZone(decay->GetRECT()));
    EXPECT_EQ(Texts(decay), std::vector<std::string>{"DECAY 255 240 236 226"});
    canvas->GetTextEntryControl()->CancelEntry();
    EXPECT_EQ(Texts(decay).size(), 2u);
}

// A disabled control draws at the toolkit's 0.25 blend, but its texts are dimmed by their
// colour alone: both at once leave them barely legible.
TEST_F(EditorControls, DisabledControlsDimTheirTextsByColourOnly)
{
    const auto expectDimmedOnce = [this](IControl* control, const std::vector<std::string>& texts)
    {
        ASSERT_TRUE(control->IsDisabled());
        const std::vector<std::string> log = DrawOnly(control);
        EXPECT_EQ(Texts(control), texts);
        for (const std::string& line : Lines(log, "DrawText "))
            EXPECT_EQ(line.find(" blend "), std::string::npos) << line;
        bool blended = false; // the rest of the control is still dimmed
        for (const std::string& line : log)
            blended = blended || line.find(" weight 0.25") != std::string::npos;
        EXPECT_TRUE(blended);
    };
    expectDimmedOnce(ControlAt(kDivisionMenuBounds), {"1/4 255 151 163 169"});

    SetParam(ParamId::PreDelaySync, 1.0);
    Frame();
    expectDimmedOnce(Knob(ParamId::PreDelay),
                     {"PRE-DELAY 255 106 116 121", "SYNC 255 106 116 121"});

    ShowPage(kSectionSpecial);
    expectDimmedOnce(Knob(ParamId::ShimmerAmount),
                     {"SHIMMER 255 106 116 121", "35 % 255 106 116 121"});
}

TEST_F(EditorControls, SpatialDisplayFollowsModelAndValues)
{
    IControl* display = ControlAt(kDisplayBounds);
    const auto description = [](engine::ReverbModel model)
    {
        return std::string("DrawMultiLineText ") +
               ModelDescriptions[static_cast<std::size_t>(model)] + " 255 151 163 169";
    };
    std::vector<std::string> log = DrawOnly(display);
    EXPECT_TRUE(Has(log, description(engine::ReverbModel::Hall)));
    EXPECT_TRUE(Has(log, "DrawText 2.40 s DECAY / NOT AN AUDIO TRACE 255 151 163 169"));
    EXPECT_TRUE(Has(log, "DrawText SPACE / EARLY REFLECTION GEOMETRY "));

    // Any value redraws the display, even one it does not show.
    SetParam(ParamId::Width, 150.0);
    canvas->ClearLog();
    Frame();
    EXPECT_TRUE(Has(canvas->Log(), description(engine::ReverbModel::Hall)));

    SetParam(ParamId::ReverbType, static_cast<double>(engine::ReverbModel::Gated));
    canvas->ClearLog();
    Frame();
    log = canvas->Log();
    EXPECT_TRUE(Has(log, description(engine::ReverbModel::Gated)));
    EXPECT_TRUE(Has(log, "DrawText 450 ms ENVELOPE / NOT AN AUDIO TRACE "));
    EXPECT_TRUE(Has(log, "DrawText DIFFUSE NETWORK / REFLECTION PATHS "));

    SetParam(ParamId::PreDelaySync, 1.0);
    Frame();
    EXPECT_TRUE(Has(DrawOnly(display), "DrawText NOTE-SYNCED / TIMING IS SCHEMATIC "));
}

TEST_F(EditorControls, MenusAndLinks)
{
    canvas->SetMenuChoice(12);
    Click(kModelMenuBounds);
    EXPECT_EQ(Param(ParamId::ReverbType), 12.0);
    EXPECT_EQ(Texts(ControlAt(kModelMenuBounds)).front(), "Shimmer 255 240 236 226");
    plugkit::canvas::IKeyEvent key;
    key.VK = plugkit::canvas::kVK_DOWN; // already the last model
    EXPECT_TRUE(ControlAt(kModelMenuBounds)->OnKeyDown(0.f, 0.f, key));
    EXPECT_EQ(Param(ParamId::ReverbType), 12.0);
    key.VK = plugkit::canvas::kVK_UP;
    EXPECT_TRUE(ControlAt(kModelMenuBounds)->OnKeyDown(0.f, 0.f, key));
    EXPECT_EQ(Param(ParamId::ReverbType), 11.0);

    // The division menu is dimmed and deaf until Sync is on.
    IControl* division = ControlAt(kDivisionMenuBounds);
    EXPECT_FALSE(division->OnKeyDown(0.f, 0.f, key));
    EXPECT_EQ(Texts(division).front(), "1/4 255 151 163 169");

    canvas->ClearLog();
    Click(kBrandBounds.MW(), 20.f);
    Click(kSupportButtonBounds);
    EXPECT_EQ(canvas->LinesStartingWith("OpenURL"),
              (std::vector<std::string>{std::string("OpenURL ") + kMakerUrl,
                                        std::string("OpenURL ") + kSupportLink}));
}

// Without its logo resource (these tests' working folder has none) the brand writes the maker's
// name in its place, underlines it under the pointer and still opens the maker's page.
TEST_F(EditorControls, BrandWithoutItsLogoShowsTheMakerName)
{
    IControl* brand = ControlAt(kBrandBounds);
    ASSERT_NE(brand, nullptr);
    EXPECT_EQ(Texts(brand), std::vector<std::string>{"TESSALINE 255 240 236 226"});
    EXPECT_FALSE(Has(DrawOnly(brand), "DrawLine "));

    brand->OnMouseOver(kBrandBounds.MW(), 20.f, {});
    EXPECT_TRUE(Has(DrawOnly(brand), "DrawLine 255 215 165 109 37 39 230 39 1"));
    EXPECT_EQ(Texts(ControlAt(kHelpPanelBounds)).front(), "TESSALINE 255 215 165 109");

    canvas->ClearLog();
    plugkit::canvas::IKeyEvent enter;
    enter.VK = plugkit::canvas::kVK_RETURN;
    EXPECT_TRUE(brand->OnKeyDown(0.f, 0.f, enter));
    EXPECT_EQ(canvas->LinesStartingWith("OpenURL"),
              std::vector<std::string>{std::string("OpenURL ") + kMakerUrl});
}

} // namespace
} // namespace lumenfall::test
