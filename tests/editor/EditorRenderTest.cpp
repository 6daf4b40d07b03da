// The editor drawn by the NanoVG back end in a headless GL context: PNG files of every page, of
// both scale limits and of the envelope and schematic models, for a person to look at, and the
// palette checked at a few pixels of the backdrop, the panels and a knob body; a click on the
// section buttons changes the page in the pixels too.

#include "plugin/Lumenfall.h"
#include "plugin/editor/EditorLayout.h"
#include "tests/support/headless/HeadlessCanvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lumenfall::test
{
namespace
{

using engine::ParamId;
using engine::ReverbModel;
using plugkit::canvas::IArgbColor;
using plugkit::canvas::IBounds;
using namespace lumenfall::editor;

#if defined(_WIN32)
constexpr const char* kTree = "wine";
#else
constexpr const char* kTree = "native";
#endif

/// The headless back end as the window layer uses it: opening runs the delegate's layout.
class EditorWindow : public HeadlessCanvas
{
public:
    using HeadlessCanvas::HeadlessCanvas;

    void* OpenWindow(void*) override
    {
        GetDelegate().LayoutUI(this);
        return this;
    }
};

/// A Lumenfall with its editor open in a headless NanoVG canvas at draw scale `scale`.
class EditorPixels : public testing::Test
{
public:
    void Open(float scale = 1.f)
    {
        plugin->SetMakeGraphicsFunc(
            [this, scale]
            {
                canvas = new EditorWindow(*plugin, kEditorWidth, kEditorHeight, scale);
                return canvas;
            });
        ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
        ASSERT_TRUE(canvas->IsValid());
        plugin->OnUIOpen();
        canvas->DrawDirtyFrame();
    }

    void TearDown() override { plugin->CloseWindow(); }

    void Set(ParamId param, double value)
    {
        const int idx = static_cast<int>(param);
        plugin->GetParam(idx)->Set(value);
        plugin->SendParameterValueFromDelegate(idx, plugin->GetParam(idx)->GetNormalized(), true);
    }

    void Click(const IBounds& r)
    {
        plugkit::canvas::IMouseEvent e;
        e.x = r.MW();
        e.y = r.MH();
        e.ms.L = true;
        canvas->OnMouseDown({e});
        canvas->OnMouseUp({e});
    }

    /// Draws what changed and writes the frame under build/editor/<tree>/.
    void Write(const char* name)
    {
        canvas->DrawDirtyFrame();
        const std::filesystem::path dir = std::filesystem::path(LUMENFALL_PNG_DIR) / kTree;
        std::filesystem::create_directories(dir);
        EXPECT_TRUE(canvas->WritePng((dir / name).string().c_str())) << name;
    }

    /// The pixel under editor point (x, y).
    IArgbColor At(float x, float y)
    {
        const float s = canvas->GetTotalScale();
        return canvas->PixelAt(static_cast<int>(x * s), static_cast<int>(y * s));
    }

    std::unique_ptr<Lumenfall> plugin = std::make_unique<Lumenfall>();
    EditorWindow* canvas = nullptr;
};

void ExpectColor(const IArgbColor& actual,
                 const IArgbColor& expected,
                 int tolerance,
                 const char* what)
{
    EXPECT_EQ(actual.A, 255) << what;
    EXPECT_NEAR(actual.R, expected.R, tolerance) << what;
    EXPECT_NEAR(actual.G, expected.G, tolerance) << what;
    EXPECT_NEAR(actual.B, expected.B, tolerance) << what;
}

/// The Decay knob's body at height y: its gradient runs from A255 R73 G87 B94 at the top of
/// the body (394) to A255 R23 G32 B37 at its bottom (466).
IArgbColor KnobBodyAt(float y)
{
    const float t = (y - 394.f) / 72.f;
    const auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
    return {255, mix(73, 23), mix(87, 32), mix(94, 37)};
}

TEST_F(EditorPixels, PaletteAtTheBackdropPanelsAndAKnob)
{
    Open();
    Write("defaults.png");
    // Between two scan lines, the backdrop's gradient 22.5 units down from the top.
    const double t = 22.5 / 760.0;
    ExpectColor(At(700.f, 22.f),
                {255,
                 static_cast<int>(std::lround(38 + (19 - 38) * t)),
                 static_cast<int>(std::lround(46 + (25 - 46) * t)),
                 static_cast<int>(std::lround(51 + (29 - 51) * t))},
                2,
                "backdrop");
    ExpectColor(At(325.f, 200.f), {255, 24, 32, 36}, 1, "display panel");
    ExpectColor(At(45.f, 450.f), {255, 32, 40, 44}, 1, "knob panel");
    ExpectColor(At(250.f, 118.f), {255, 29, 37, 41}, 1, "model menu face");
    ExpectColor(At(140.f, 430.f), KnobBodyAt(430.5f), 2, "knob body");
}

TEST_F(EditorPixels, SectionButtonsChangeThePage)
{
    Open();
    const IBounds space = GroupButtonBounds(0);
    const IArgbColor before = At(space.L + 10.f, space.B - 8.f);
    Click(kAdvancedButtonBounds);
    canvas->DrawDirtyFrame();
    // SPACE shows, lit: the amber face of a lit button.
    ExpectColor(At(space.L + 10.f, space.B - 8.f), {255, 70, 54, 38}, 1, "SPACE button");
    EXPECT_NE(before.R, 70);
    // The BASIC page's Decay knob is gone: its body's place is knob panel again.
    ExpectColor(At(140.f, 430.f), {255, 32, 40, 44}, 1, "where Decay was");

    Click(kBasicButtonBounds);
    canvas->DrawDirtyFrame();
    ExpectColor(At(140.f, 430.f), KnobBodyAt(430.5f), 2, "Decay again");
}

TEST_F(EditorPixels, PagesScalesAndModelsAsPictures)
{
    Open();
    const char* pages[] = {
        "basic.png", "space.png", "tail_motion.png", "level_duck.png", "special.png"};
    Click(kAdvancedButtonBounds);
    for (int section = kSectionSpace; section < kSectionCount; ++section)
    {
        Click(GroupButtonBounds(section - kSectionSpace));
        Write(pages[section]);
    }

    Set(ParamId::ReverbType, static_cast<double>(ReverbModel::Gated));
    Set(ParamId::EnvelopeShape, 40.0);
    Write("gated_special.png");
    Click(kBasicButtonBounds);
    Write("gated.png");
    const struct
    {
        ReverbModel model;
        const char* file;
    } models[] = {{ReverbModel::Reverse, "reverse.png"},
                  {ReverbModel::Plate, "plate.png"},
                  {ReverbModel::Spring, "spring.png"},
                  {ReverbModel::Shimmer, "shimmer.png"},
                  {ReverbModel::Cathedral, "cathedral.png"}};
    for (const auto& m : models)
    {
        Set(ParamId::ReverbType, static_cast<double>(m.model));
        Write(m.file);
    }
}

// Levels on the meters (one over full scale, the ducker working), and a value being typed.
TEST_F(EditorPixels, MetersAndTypedEntryAsPictures)
{
    Open();
    Set(ParamId::Ducking, 60.0);
    Set(ParamId::Mix, 40.0);
    plugin->ConnectChannels(2, 2);
    plugin->SetSampleRate(48000.0);
    plugin->OnActivate(true);
    std::vector<float> left(512), right(512), outL(512), outR(512);
    for (int i = 0; i < 512; ++i)
    {
        left[static_cast<std::size_t>(i)] = i % 64 == 0 ? 1.2f : 0.3f;
        right[static_cast<std::size_t>(i)] = 0.25f;
    }
    float* inputs[] = {left.data(), right.data()};
    float* outputs[] = {outL.data(), outR.data()};
    for (int block = 0; block < 40; ++block)
        plugin->ProcessBlock(inputs, outputs, 512);
    Write("meters.png");

    Click(ValueZone(KnobBounds(0, 4, kBasicCellWidth))); // Decay's value box
    Write("typed_entry.png");
}

TEST_F(EditorPixels, ScaleLimits)
{
    for (const float scale : {0.85f, 1.5f})
    {
        plugin = std::make_unique<Lumenfall>(); // a closed editor reopens at its last scale
        Open(scale);
        EXPECT_EQ(canvas->GetDrawScale(), scale);
        // The backdrop comes from a layer: it must meet the window's pixels exactly, so the
        // header rule (1 unit about y 97) is brightest on the pixel row under 97 units.
        const int x = static_cast<int>(500.f * scale);
        const int ruleRow = static_cast<int>(97.f * scale);
        for (const int row : {ruleRow - 1, ruleRow + 1})
            EXPECT_LT(canvas->PixelAt(x, row).G, canvas->PixelAt(x, ruleRow).G) << scale << row;
        Write(scale < 1.f ? "scale_0.85.png" : "scale_1.5.png");
        plugin->CloseWindow();
    }
}

} // namespace
} // namespace lumenfall::test
