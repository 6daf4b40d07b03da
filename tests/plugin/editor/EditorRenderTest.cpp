// The editor drawn by the NanoVG back end in a headless GL context, checked at its pixels: the
// palette of the backdrop, the panels and a knob body, the lit page buttons and the knobs of
// every page, the schematic and guide of each model family, the meters' bars and a value box
// turned into a typed entry. Every picture is also written as a PNG file for a person to look
// at (build/editor/<tree>/).

#include "plugin/Lumenfall.h"
#include "plugin/editor/DisplayMath.h"
#include "plugin/editor/EditorLayout.h"
#include "plugin/editor/EditorPalette.h"
#include "plugin/editor/MeterMath.h"
#include "tests/support/headless/HeadlessCanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
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

constexpr IArgbColor kLitAmberFace{255, 70, 54, 38};
constexpr IArgbColor kKnobPanel{255, 32, 40, 44};
constexpr IArgbColor kGroupNoteFace{255, 23, 33, 37};
constexpr IArgbColor kPlateFace{255, 31, 52, 55};
constexpr IArgbColor kMeterTrack{255, 18, 26, 29};
constexpr IArgbColor kMeterOver{255, 231, 117, 101};
constexpr IArgbColor kValueBoxFace{255, 20, 28, 32};

/// One frame's pixels, read once and looked at in editor units.
class Picture
{
public:
    explicit Picture(HeadlessCanvas& canvas)
        : mScale(canvas.GetTotalScale())
        , mPixels(canvas.ReadPixels(mWidth, mHeight))
    {
    }

    /// The pixel under editor point (x, y).
    IArgbColor At(float x, float y) const
    {
        return Pixel(static_cast<int>(x * mScale), static_cast<int>(y * mScale));
    }

    /// How many pixels under `r` lie within `tolerance` of `color` in each of R, G and B.
    int Count(const IBounds& r, const IArgbColor& color, int tolerance) const
    {
        int n = 0;
        ForEach(r,
                [&](const IArgbColor& c)
                {
                    n += std::abs(c.R - color.R) <= tolerance &&
                         std::abs(c.G - color.G) <= tolerance &&
                         std::abs(c.B - color.B) <= tolerance;
                });
        return n;
    }

    /// The largest `score` (a function of a colour) of the pixels under `r`.
    template <typename F>
    int Max(const IBounds& r, F&& score) const
    {
        int best = -1000;
        ForEach(r, [&](const IArgbColor& c) { best = std::max(best, score(c)); });
        return best;
    }

    /// The brightest green under `r`: how far a text or line there rises above its ground.
    int MaxGreen(const IBounds& r) const
    {
        return Max(r, [](const IArgbColor& c) { return c.G; });
    }

private:
    IArgbColor Pixel(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= mWidth || y >= mHeight)
            return {-1, -1, -1, -1};
        const std::uint8_t* p = mPixels.data() + (static_cast<std::size_t>(y) * mWidth + x) * 4;
        return {p[3], p[0], p[1], p[2]};
    }

    template <typename F>
    void ForEach(const IBounds& r, F&& f) const
    {
        for (int y = static_cast<int>(r.T * mScale); y < static_cast<int>(r.B * mScale); ++y)
            for (int x = static_cast<int>(r.L * mScale); x < static_cast<int>(r.R * mScale); ++x)
                f(Pixel(x, y));
    }

    float mScale;
    int mWidth = 0;
    int mHeight = 0;
    std::vector<std::uint8_t> mPixels;
};

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

    /// The current parameter values, as the display reads them.
    ParamValues Values() const
    {
        ParamValues values{};
        for (int i = 0; i < engine::kParamCount; ++i)
            values[static_cast<std::size_t>(i)] = plugin->GetParam(i)->Value();
        return values;
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

/// The body of a knob with its dial centre at height cy, at height y: its gradient runs from
/// A255 R73 G87 B94 at the top of the body (cy - 36) to A255 R23 G32 B37 at its bottom.
IArgbColor KnobBodyAt(float cy, float y)
{
    const float t = (y - (cy - 36.f)) / 72.f;
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
    ExpectColor(At(140.f, 430.f), KnobBodyAt(430.f, 430.5f), 2, "knob body");

    // The division menu is disabled until Sync is on: its face is dimmed, but "1/4" keeps its
    // muted colour (G 163) rather than fading into the face (G 37) a second time.
    const IBounds division = kDivisionMenuBounds;
    const Picture picture(*canvas);
    EXPECT_GT(picture.MaxGreen(
                  {division.L + 14.f, division.T + 8.f, division.L + 60.f, division.B - 8.f}),
              130);
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
    ExpectColor(At(140.f, 430.f), KnobBodyAt(430.f, 430.5f), 2, "Decay again");
}

/// The page buttons of page `section`: BASIC, or ADVANCED and one group lit (the amber face),
/// the others on the panel colour.
void ExpectPageButtons(const Picture& p, int section)
{
    const auto face = [&p](const IBounds& b) { return p.At(b.L + 10.f, b.B - 8.f); };
    const bool basic = section == kSectionBasic;
    ExpectColor(face(kBasicButtonBounds), basic ? kLitAmberFace : kColorPanel, 1, "BASIC");
    ExpectColor(face(kAdvancedButtonBounds), basic ? kColorPanel : kLitAmberFace, 1, "ADVANCED");
    if (basic)
        return; // the group buttons are hidden
    for (int i = 0; i < 4; ++i)
        ExpectColor(face(GroupButtonBounds(i)),
                    i == section - kSectionSpace ? kLitAmberFace : kColorPanel,
                    1,
                    kGroupButtonLabels[static_cast<std::size_t>(i)]);
}

/// The knobs of page `section` at their cells: a full body below the dial's centre (where the
/// pointer never points) for an enabled knob; for a disabled one a body faded to the panel and
/// a caption that still stands out in its dimmed colour (G 116 on the panel's G 40).
void ExpectPageKnobs(const Picture& p, int section, std::initializer_list<ParamId> dimmed = {})
{
    const editor::KnobGroup& group = kKnobGroups[static_cast<std::size_t>(section)];
    for (std::size_t j = 0; j < group.params.size(); ++j)
    {
        const IBounds knob = KnobBounds(static_cast<int>(j), group.perRow, group.cellWidth);
        const float cx = KnobCentreX(knob);
        const float cy = KnobCentreY(knob);
        const char* name = engine::ParamName(group.params[j]);
        const IArgbColor body = p.At(cx, cy + 12.f);
        if (std::find(dimmed.begin(), dimmed.end(), group.params[j]) == dimmed.end())
        {
            ExpectColor(body, KnobBodyAt(cy, cy + 12.5f), 2, name);
            continue;
        }
        ExpectColor(body, kKnobPanel, 4, name);
        EXPECT_GT(p.MaxGreen({knob.L + 20.f, knob.T - 3.f, knob.R - 20.f, knob.T + 18.f}), 95)
            << name << ": the dimmed caption";
    }
    // The right of the panel holds knobs on BASIC and SPACE, the group note on the later pages.
    ExpectColor(p.At(1030.f, 400.f),
                section >= kSectionTailMotion ? kGroupNoteFace : kKnobPanel,
                1,
                "third column");
}

/// Whether a pixel near (x, y), within `reach` units, lies within `tolerance` of `color`.
bool Near(
    const Picture& p, float x, float y, const IArgbColor& color, int tolerance, float reach = 2.f)
{
    return p.Count({x - reach, y - reach, x + reach, y + reach}, color, tolerance) > 0;
}

// Every page with its buttons and knobs; then a picture per model family, each checked where
// its schematic and guide differ from the others'.
TEST_F(EditorPixels, PagesScalesAndModelsAsPictures)
{
    Open();
    const char* pages[] = {
        "basic.png", "space.png", "tail_motion.png", "level_duck.png", "special.png"};
    Write(pages[kSectionBasic]);
    ExpectPageButtons(Picture(*canvas), kSectionBasic);
    ExpectPageKnobs(Picture(*canvas), kSectionBasic);
    Click(kAdvancedButtonBounds);
    for (int section = kSectionSpace; section < kSectionCount; ++section)
    {
        SCOPED_TRACE(pages[section]);
        Click(GroupButtonBounds(section - kSectionSpace));
        Write(pages[section]);
        const Picture p(*canvas);
        ExpectPageButtons(p, section);
        if (section == kSectionSpecial) // Hall: none of the special controls applies
            ExpectPageKnobs(p,
                            section,
                            {ParamId::GateLength,
                             ParamId::EnvelopeShape,
                             ParamId::GateRelease,
                             ParamId::ShimmerAmount});
        else
            ExpectPageKnobs(p, section);
    }

    // Gated: the envelope knobs come alive, Shimmer stays dimmed; the schematic is the network
    // and the guide its envelope alone.
    Set(ParamId::ReverbType, static_cast<double>(ReverbModel::Gated));
    Set(ParamId::EnvelopeShape, 40.0);
    Write("gated_special.png");
    ExpectPageKnobs(Picture(*canvas), kSectionSpecial, {ParamId::ShimmerAmount});
    Click(kBasicButtonBounds);
    Write("gated.png");

    const float c = SchematicScale(plugin->GetParam(static_cast<int>(ParamId::Size))->Value());
    const float cx = kSchematicCentreX;
    const float cy = kSchematicCentreY;
    // Network nodes 6 (amber) and 7 (teal) are drawn after every line that meets them.
    const auto node = [c, cx, cy](int n, float& x, float& y)
    {
        const float a = static_cast<float>(n) * 2.f * 3.14159265f / 8.f;
        x = cx + 117.f * c * std::sin(a);
        y = cy + 40.f * c * std::cos(a);
    };
    const auto expectNetwork = [&](const Picture& p, bool arrow)
    {
        float x = 0.f, y = 0.f;
        node(6, x, y);
        ExpectColor(p.At(x, y), kColorAmber, 2, "network node 6");
        node(7, x, y);
        ExpectColor(p.At(x, y), kColorTeal, 2, "network node 7");
        const IArgbColor shaft = p.At(cx - 1.f, 200.f); // the shimmer arrow, 2 units wide
        EXPECT_EQ(std::abs(shaft.R - kColorAmber.R) <= 2 && std::abs(shaft.G - kColorAmber.G) <= 2,
                  arrow);
    };
    // The guide: the envelope in amber through its own points.
    const auto expectGuide = [&](const Picture& p, int model)
    {
        const ParamValues values = Values();
        const GuideTiming timing = MakeGuideTiming(values, model);
        const auto curve = GuideCurve(timing, values, model, 1.0);
        for (const int i : {10, 30, 60})
            EXPECT_TRUE(Near(p, curve[i].x, curve[i].y, kColorAmber, 40))
                << "main curve point " << i;
    };
    {
        const Picture p(*canvas);
        expectNetwork(p, false);
        expectGuide(p, static_cast<int>(ReverbModel::Gated));
    }

    Set(ParamId::ReverbType, static_cast<double>(ReverbModel::Reverse));
    Write("reverse.png");
    {
        const Picture p(*canvas);
        expectNetwork(p, false);
        expectGuide(p, static_cast<int>(ReverbModel::Reverse));
    }

    Set(ParamId::ReverbType, static_cast<double>(ReverbModel::Shimmer));
    Write("shimmer.png");
    expectNetwork(Picture(*canvas), true);

    // Plate: the tank's face inside its outline, the amber input dot at its left.
    Set(ParamId::ReverbType, static_cast<double>(ReverbModel::Plate));
    Write("plate.png");
    {
        const Picture p(*canvas);
        ExpectColor(p.At(cx, cy - 48.f * c + 3.5f), kPlateFace, 1, "plate face");
        ExpectColor(p.At(cx - 133.f * c + 20.f, cy), kColorAmber, 2, "plate input");
    }

    // Spring: the teal coil at its first crest and trough.
    Set(ParamId::ReverbType, static_cast<double>(ReverbModel::Spring));
    Write("spring.png");
    {
        const Picture p(*canvas);
        const double density = plugin->GetParam(static_cast<int>(ParamId::Density))->Value();
        const float cycles = 9.f + 5.f * static_cast<float>(density) / 100.f;
        EXPECT_TRUE(Near(p, 353.f + 325.f / (4.f * cycles), cy + 22.f * c, kColorTeal, 24))
            << "coil crest";
        EXPECT_TRUE(Near(p, 353.f + 3.f * 325.f / (4.f * cycles), cy - 22.f * c, kColorTeal, 24))
            << "coil trough";
    }

    // Rooms: Cathedral's box is taller (49 c against 37 c half height): its front top edge lies
    // where the Hall has nothing, and the amber source dot sits inside both.
    const auto topEdgeGreen = [&](const Picture& p, float halfHeight)
    {
        const float y = cy - halfHeight * c;
        return p.MaxGreen({465.f, y - 2.f, 475.f, y + 2.f});
    };
    Set(ParamId::ReverbType, static_cast<double>(ReverbModel::Cathedral));
    Write("cathedral.png");
    {
        const Picture p(*canvas);
        EXPECT_GT(topEdgeGreen(p, 49.f), 110);
        EXPECT_LT(topEdgeGreen(p, 37.f), 60);
        ExpectColor(p.At(483.f, cy), kColorAmber, 2, "source");
    }
    Set(ParamId::ReverbType, static_cast<double>(ReverbModel::Hall));
    canvas->DrawDirtyFrame();
    {
        const Picture p(*canvas);
        EXPECT_GT(topEdgeGreen(p, 37.f), 110);
        EXPECT_LT(topEdgeGreen(p, 49.f), 60);
    }
}

// Levels on the meters (one over full scale, the ducker working), and a value being typed.
TEST_F(EditorPixels, MetersAndTypedEntryAsPictures)
{
    Open();
    {
        // Silence: empty tracks.
        const Picture p(*canvas);
        for (int i = 0; i < 3; ++i)
            ExpectColor(p.At(36.f + 89.f * static_cast<float>(i) + 3.f, 279.f),
                        kMeterTrack,
                        1,
                        "silent bar");
        ExpectColor(p.At(90.f, 308.f), kMeterTrack, 1, "silent duck");
    }
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
    {
        const engine::MeterLevels levels = plugin->GetMeterLevels();
        ASSERT_GE(levels.inputPeak, 1.f);
        const float peaks[] = {levels.inputPeak, levels.wetPeak, levels.outputPeak};
        const Picture p(*canvas);
        for (int i = 0; i < 3; ++i)
        {
            SCOPED_TRACE(i);
            const float x = 36.f + 89.f * static_cast<float>(i);
            const MeterReading reading = ReadMeter(peaks[i]);
            ASSERT_GT(reading.fill, 0.1f);
            ExpectColor(p.At(x + 3.f, 279.f), reading.over ? kMeterOver : kColorTeal, 2, "bar");
            const float end = x + 76.f * reading.fill;
            ExpectColor(
                p.At(end - 3.f, 279.f), reading.over ? kMeterOver : kColorTeal, 2, "bar end");
            if (end + 3.f < x + 74.f)
                ExpectColor(p.At(end + 3.f, 279.f), kMeterTrack, 1, "past the bar");
            // The over level's reading is amber (red well above blue), the others muted (blue
            // above red).
            const int warmth =
                p.Max({x, 284.f, x + 76.f, 301.f}, [](const IArgbColor& c) { return c.R - c.B; });
            if (reading.over)
                EXPECT_GT(warmth, 60);
            else
                EXPECT_LT(warmth, 0);
        }
        const float duck = DuckFraction(levels.duckReduction);
        ASSERT_GT(duck, 0.1f);
        ASSERT_LT(duck, 0.95f);
        ExpectColor(p.At(90.f, 308.f), kColorTeal, 2, "duck bar");
        ExpectColor(p.At(87.f + 155.f * duck - 3.f, 308.f), kColorTeal, 2, "duck bar end");
        ExpectColor(p.At(87.f + 155.f * duck + 3.f, 308.f), kMeterTrack, 1, "past the duck bar");
    }

    // Decay's value box becomes the entry: the entry background, "2.4" selected in the middle
    // and nothing left of the unit's place of "2.40 s".
    const IBounds box = ValueZone(KnobBounds(0, 4, kBasicCellWidth));
    const IBounds unit{box.MW() + 14.f, box.T + 5.f, box.MW() + 22.f, box.B - 5.f};
    const IArgbColor selection{255,
                               19 + (240 - 19) / 5,
                               26 + (236 - 26) / 5,
                               29 + (226 - 29) / 5}; // the text colour at 0.2 on the background
    {
        const Picture p(*canvas);
        ExpectColor(p.At(box.L + 4.f, box.MH()), kValueBoxFace, 1, "value box");
        EXPECT_GT(p.MaxGreen(unit), 150) << "the s of 2.40 s";
        EXPECT_LT(p.Count(box, selection, 3), 5);
    }
    Click(box);
    Write("typed_entry.png");
    {
        const Picture p(*canvas);
        ExpectColor(p.At(box.L + 4.f, box.MH()), kColorEntryBackground, 1, "entry");
        EXPECT_LT(p.MaxGreen(unit), 40) << "nothing where the unit was";
        EXPECT_GT(p.Count(box, selection, 3), 40) << "the selected text";
    }
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
