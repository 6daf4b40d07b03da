#include "plugin/Lumenfall.h"
#include "tests/support/RecordingCanvas.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>

namespace lumenfall
{
namespace
{

using test::PluginHostEvent;

/// A recording canvas that can run a hook while it redraws after a resize, as a host that
/// answers a window change with another resize notification would.
class HookedCanvas : public test::RecordingCanvas
{
public:
    using RecordingCanvas::RecordingCanvas;

    void DrawResize() override
    {
        if (onDrawResize)
            onDrawResize();
        RecordingCanvas::DrawResize();
    }

    std::function<void()> onDrawResize;
};

/// A plug-in whose editor is open on a hooked canvas at draw scale 1.2 (so an ignored resize
/// shows), with one control unless asked for none.
class EditorResizeTest : public testing::Test
{
protected:
    void Open(float windowScale, bool withControl = true)
    {
        plugin->SetMakeGraphicsFunc(
            [this, windowScale]
            {
                auto* canvas = new HookedCanvas(*plugin, 1100, 760, 1.2f);
                canvas->SetPlatformWindowScale(windowScale);
                graphics = canvas;
                return canvas;
            });
        plugin->SetLayoutFunc(
            [withControl](plugkit::canvas::ICanvas* g)
            {
                if (withControl)
                    g->AttachControl(new test::TestControl({10, 10, 60, 60}));
            });
        ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
        plugin->ClearEvents();
    }

    int WindowResizes() const
    {
        int count = 0;
        for (const PluginHostEvent& e : plugin->Events())
            count += e.kind == PluginHostEvent::WindowResize;
        return count;
    }

    std::unique_ptr<Lumenfall> plugin = std::make_unique<Lumenfall>();
    HookedCanvas* graphics = nullptr;
};

struct ResizeCase
{
    int width;
    int height;
    float windowScale;
    float drawScale;    ///< 1.2 when the resize is ignored
    bool windowFollows; ///< the scale was held, so the host window must follow the editor
};

class EditorResize : public EditorResizeTest, public testing::WithParamInterface<ResizeCase>
{
};

TEST_P(EditorResize, ScalesTheFixedLayoutToFit)
{
    const ResizeCase c = GetParam();
    Open(c.windowScale);
    plugin->OnParentWindowResize(c.width, c.height);
    EXPECT_EQ(graphics->Width(), 1100);
    EXPECT_EQ(graphics->Height(), 760);
    EXPECT_FLOAT_EQ(graphics->GetDrawScale(), c.drawScale);
    EXPECT_EQ(WindowResizes(), c.windowFollows ? 1 : 0);
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(Lumenfall,
                         EditorResize,
                         testing::Values(ResizeCase{550, 380, 1.0f, 0.85f, true}, // 0.5, held
                                         ResizeCase{2200, 760, 1.0f, 1.0f, false},
                                         ResizeCase{1100, 912, 1.0f, 1.0f, false},
                                         ResizeCase{1650, 1140, 1.0f, 1.5f, false},
                                         ResizeCase{3300, 2280, 1.0f, 1.5f, true}, // 3, held
                                         ResizeCase{2200, 1520, 2.0f, 1.0f, false},
                                         ResizeCase{1100, 760, 2.0f, 0.85f, true},
                                         ResizeCase{0, 760, 1.0f, 1.2f, false},
                                         ResizeCase{1100, -1, 1.0f, 1.2f, false},
                                         ResizeCase{1100, 760, 0.0f, 1.2f, false},
                                         ResizeCase{1100, 760, -1.0f, 1.2f, false},
                                         ResizeCase{1100, 760, kNaN, 1.2f, false}));

// The editor's pixel size is truncated from its scaled size: every window size the scale range
// allows must be filled exactly on the side that limits it, never a pixel short.
TEST_F(EditorResizeTest, TheLimitingSideFillsTheWindowToThePixel)
{
    Open(1.0f);
    const auto pixels = [&](int units)
    { return static_cast<int>(units * graphics->GetDrawScale()); };
    int shortSides = 0;
    for (int height = 646; height <= 1140; ++height)
    {
        plugin->OnParentWindowResize(4000, height);
        shortSides += pixels(760) != height;
        EXPECT_LE(pixels(1100), 4000);
    }
    for (int width = 935; width <= 1650; ++width)
    {
        plugin->OnParentWindowResize(width, 4000);
        shortSides += pixels(1100) != width;
        EXPECT_LE(pixels(760), 4000);
    }
    EXPECT_EQ(shortSides, 0);
}

TEST_F(EditorResizeTest, IgnoredWithoutControlsOrWithoutAnEditor)
{
    plugin->OnParentWindowResize(2200, 760); // closed: nothing to resize
    Open(1.0f, false);
    plugin->OnParentWindowResize(2200, 760);
    EXPECT_FLOAT_EQ(graphics->GetDrawScale(), 1.2f);
}

TEST_F(EditorResizeTest, NotificationDuringAResizeIsIgnored)
{
    Open(1.0f);
    int nested = 0;
    graphics->onDrawResize = [&]
    {
        ++nested;
        plugin->OnParentWindowResize(3300, 2280);
    };
    plugin->OnParentWindowResize(2200, 760);
    EXPECT_EQ(nested, 1);
    EXPECT_FLOAT_EQ(graphics->GetDrawScale(), 1.0f);

    graphics->onDrawResize = nullptr;
    plugin->OnParentWindowResize(3300, 2280); // the guard is clear again
    EXPECT_FLOAT_EQ(graphics->GetDrawScale(), 1.5f);
}

} // namespace
} // namespace lumenfall
