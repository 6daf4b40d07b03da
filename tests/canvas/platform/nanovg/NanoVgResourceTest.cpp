// The NanoVG back end's framebuffers, layers, fonts and text, and its life cycle.

#include "canvas/platform/nanovg/NanoVgGl.h"
#include "tests/canvas/platform/nanovg/FontBytes.h"
#include "tests/canvas/platform/nanovg/NanoVgTestSupport.h"
#include "tests/support/FakeEditorDelegate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{
using namespace plugkit;
using namespace plugkit::canvas;
using namespace lumenfall::test;

constexpr const char* kRoboto = "Roboto-Regular";

/// Runs of consecutive rows: the text lines.
int CountBands(const std::vector<int>& rows)
{
    int bands = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        if (i == 0 || rows[i] != rows[i - 1] + 1)
            ++bands;
    return bands;
}

class NanoVgCanvas : public ::testing::Test
{
protected:
    std::unique_ptr<HeadlessCanvas>
    Make(int w, int h, float drawScale = 1.f, float screenScale = 1.f)
    {
        auto g = std::make_unique<HeadlessCanvas>(mDelegate, w, h, drawScale, screenScale);
        EXPECT_TRUE(g->IsValid());
        return g;
    }

    FakeEditorDelegate mDelegate;
};

TEST_F(NanoVgCanvas, MainFramebufferFollowsSizeAndScaleAndStartsTransparent)
{
    auto g = Make(100, 50);
    DrawFrame(*g, [](ICanvas& c) { c.FillRect(kColorRed, IBounds(0.f, 0.f, 100.f, 50.f)); });
    EXPECT_EQ(g->PixelAt(50, 25).A, 255);

    // A new main framebuffer: pixels outside what a frame draws are transparent, not left over.
    g->SetScreenScale(1.5f);
    int w = 0;
    int h = 0;
    std::vector<uint8_t> pixels = g->ReadPixels(w, h);
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 75);
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint8_t v) { return v == 0; }));

    g->Resize(120, 60, 2.f);
    pixels = g->ReadPixels(w, h);
    EXPECT_EQ(w, 360);
    EXPECT_EQ(h, 180);
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint8_t v) { return v == 0; }));

    // Editor units map to device pixels through both scales.
    DrawFrame(*g, [](ICanvas& c) { c.FillRect(kColorBlue, IBounds(10.f, 10.f, 20.f, 20.f)); });
    EXPECT_EQ(g->PixelAt(31, 31).B, 255);
    EXPECT_EQ(g->PixelAt(59, 59).B, 255);
    EXPECT_EQ(g->PixelAt(61, 45).A, 0);
}

TEST_F(NanoVgCanvas, DirtyAreaAloneIsDrawnAgainAtEveryScale)
{
    for (float scale : {1.f, 1.5f})
    {
        auto g = Make(120, 80, 1.f, scale);
        IArgbColor backdrop = kColorLightGray;
        g->AttachControl(new DrawFunctionControl(
            IBounds(0.f, 0.f, 120.f, 80.f),
            [&](ICanvas& c) { c.FillRect(backdrop, IBounds(0.f, 0.f, 120.f, 80.f)); }));
        IControl* disc = g->AttachControl(
            new DrawFunctionControl(IBounds(40.f, 20.f, 80.f, 60.f),
                                    [](ICanvas& c) { c.FillCircle(kColorRed, 60.f, 40.f, 15.f); }));
        IArgbColor corner = kColorGreen;
        IControl* square = g->AttachControl(new DrawFunctionControl(
            IBounds(4.f, 4.f, 20.f, 14.f),
            [&](ICanvas& c) { c.FillRect(corner, IBounds(4.f, 4.f, 20.f, 14.f)); }));
        g->DrawFullFrame();

        // Only the disc is dirty: its padded area, snapped to device pixels, is drawn again with
        // the new backdrop under it; nothing outside changes, though the backdrop reaches beyond.
        backdrop = kColorBlue;
        disc->SetDirty(false);
        ASSERT_TRUE(g->DrawDirtyFrame());
        const float left = std::floor((40.f - 0.75f) * scale);
        const float right = std::ceil((80.f + 0.75f) * scale);
        const float top = std::floor((20.f - 0.75f) * scale);
        const int y = static_cast<int>(40.f * scale);
        EXPECT_EQ(g->PixelAt(static_cast<int>(left) - 1, static_cast<int>(top) + 2),
                  kColorLightGray)
            << scale;
        EXPECT_EQ(g->PixelAt(static_cast<int>(left), static_cast<int>(top)), kColorBlue) << scale;
        EXPECT_EQ(g->PixelAt(static_cast<int>(right) - 1, static_cast<int>(top)), kColorBlue)
            << scale;
        EXPECT_EQ(g->PixelAt(static_cast<int>(right), static_cast<int>(top)), kColorLightGray)
            << scale;
        EXPECT_EQ(g->PixelAt(static_cast<int>(left) - 1, y), kColorLightGray) << scale;
        EXPECT_EQ(g->PixelAt(static_cast<int>(60.f * scale), y), kColorRed) << scale;
        EXPECT_EQ(g->PixelAt(2, 2), kColorLightGray);

#if !defined(_WIN32)
        // The frame ends with the main framebuffer copied into the window's, pixel for pixel.
        int w = 0;
        int h = 0;
        const std::vector<uint8_t> main = g->ReadPixels(w, h);
        g->GetContext().MakeCurrent(); // binds the headless window's framebuffer
        EXPECT_EQ(HeadlessGlContext::ReadPixelsTopDown(w, h), main) << scale;
#endif

        // The window's framebuffer keeps its pixels: only the area drawn is copied, here one
        // off the middle, in GL's rows from the bottom.
        corner = kColorWhite;
        square->SetDirty(false);
        ASSERT_TRUE(g->DrawDirtyFrame());
        EXPECT_EQ(g->PixelAt(static_cast<int>(10.f * scale), static_cast<int>(8.f * scale)),
                  kColorWhite);
#if !defined(_WIN32)
        const std::vector<uint8_t> after = g->ReadPixels(w, h);
        g->GetContext().MakeCurrent();
        EXPECT_EQ(HeadlessGlContext::ReadPixelsTopDown(w, h), after) << scale;
#endif
    }
}

TEST_F(NanoVgCanvas, LayerPixelsComeBottomRowFirstAsRgba)
{
    auto g = Make(40, 40);
    ILayerPtr layer;
    DrawFrame(
        *g,
        [&](ICanvas& c)
        {
            c.BeginLayer(nullptr, IBounds(10.f, 10.f, 18.f, 14.f));
            c.FillRect(kColorRed, IBounds(10.f, 10.f, 18.f, 12.f));                  // top half
            c.FillRect(IArgbColor{255, 0, 255, 0}, IBounds(10.f, 12.f, 14.f, 14.f)); // bottom left
            c.FillRect(IArgbColor{128, 0, 0, 255}, IBounds(14.f, 12.f, 18.f, 14.f)); // bottom right
            layer = c.FinishLayer();
        });
    ASSERT_TRUE(layer);
    HeapBuffer data;
    g->GetLayerBitmapData(layer, data);
    ASSERT_TRUE(layer) << "the layer comes back to the caller";
    ASSERT_EQ(data.Size(), 8 * 4 * 4);
    const auto* p = static_cast<const uint8_t*>(data.Get());
    auto pixel = [&](int x, int row) { return p + (row * 8 + x) * 4; };
    const uint8_t green[4] = {0, 255, 0, 255};
    const uint8_t halfBlue[4] = {0, 0, 128, 128}; // premultiplied
    const uint8_t red[4] = {255, 0, 0, 255};
    EXPECT_EQ(std::memcmp(pixel(1, 0), green, 4), 0) << "row 0 is the bottom row";
    EXPECT_EQ(std::memcmp(pixel(6, 0), halfBlue, 4), 0);
    EXPECT_EQ(std::memcmp(pixel(1, 3), red, 4), 0) << "the last row is the top row";
    EXPECT_EQ(std::memcmp(pixel(6, 3), red, 4), 0);
}

TEST_F(NanoVgCanvas, LayerDeletedInsideAFrameLivesUntilTheFrameHasBeenDrawn)
{
    auto g = Make(60, 40);
    GLuint fbo = 0;
    DrawFrame(*g,
              [&](ICanvas& c)
              {
                  c.BeginLayer(nullptr, IBounds(0.f, 0.f, 20.f, 20.f));
                  c.FillRect(kColorGreen, IBounds(0.f, 0.f, 20.f, 20.f));
                  ILayerPtr layer = c.FinishLayer();
                  ASSERT_TRUE(layer);
                  fbo = static_cast<platform::ICanvasNanoVG::Bitmap*>(layer->GetAPIBitmap())
                            ->GetFramebuffer()
                            ->fbo;
                  c.DrawBitmap(IBitmapHandle(layer->GetAPIBitmap(), 1, false, ""),
                               IBounds(30.f, 10.f, 50.f, 30.f),
                               0,
                               0);
                  layer.reset();
                  EXPECT_EQ(g->NDeferredFramebuffers(), 1);
                  EXPECT_TRUE(glIsFramebuffer(fbo));
              });
    EXPECT_EQ(g->NDeferredFramebuffers(), 0);
    EXPECT_FALSE(glIsFramebuffer(fbo));
    EXPECT_EQ(g->PixelAt(40, 20).G, 255) << "the layer's image was drawn before it went";
    EXPECT_EQ(g->PixelAt(10, 10).A, 0) << "layers draw offscreen";
}

TEST_F(NanoVgCanvas, ClosingTheViewMidFrameFlushesLayersBeforeTheContextGoes)
{
    auto g = Make(60, 40);
    GLuint fbo = 0;
    g->BeginFrame();
    {
        std::unique_ptr<APIBitmap> target = g->CreateApiBitmap(16, 16, 1.f, 1.f);
        ASSERT_TRUE(target);
        fbo = static_cast<platform::ICanvasNanoVG::Bitmap*>(target.get())->GetFramebuffer()->fbo;
    }
    EXPECT_EQ(g->NDeferredFramebuffers(), 1);
    g->OnViewDestroyed();
    EXPECT_EQ(g->NDeferredFramebuffers(), 0);
    EXPECT_FALSE(glIsFramebuffer(fbo));
    EXPECT_EQ(g->GetDrawContext(), nullptr);

    // Without a drawing context a frame still runs its controls, but nothing reaches GL: the
    // window keeps its green and no call failed.
    g->GetContext().MakeCurrent();
    glClearColor(0.f, 1.f, 0.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
    while (glGetError() != GL_NO_ERROR)
    {
    }
    bool drawn = false;
    DrawFrame(*g,
              [&](ICanvas& c)
              {
                  drawn = true;
                  c.FillRect(kColorRed, IBounds(0.f, 0.f, 60.f, 40.f));
              });
    EXPECT_TRUE(drawn);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    g->GetContext().MakeCurrent();
    const std::vector<uint8_t> window = HeadlessGlContext::ReadPixelsTopDown(60, 40);
    for (size_t i = 0; i < window.size(); i += 4)
        ASSERT_TRUE(window[i] == 0 && window[i + 1] == 255 && window[i + 3] == 255)
            << "pixel " << i / 4 << " changed";
}

#if !defined(_WIN32)
/// The framebuffer copy of a driver that keeps the rule to the letter (Mesa is lenient here): a
/// copy into a multisampled framebuffer copies nothing and is an invalid operation.
class StrictBlit
{
public:
    StrictBlit()
    {
        sReal = platform::gl::BlitFramebuffer;
        platform::gl::BlitFramebuffer = &Blit;
    }
    ~StrictBlit() { platform::gl::BlitFramebuffer = sReal; }

    static PFNGLBLITFRAMEBUFFERPROC sReal;

private:
    static void APIENTRY Blit(GLint sx0,
                              GLint sy0,
                              GLint sx1,
                              GLint sy1,
                              GLint dx0,
                              GLint dy0,
                              GLint dx1,
                              GLint dy1,
                              GLbitfield mask,
                              GLenum filter)
    {
        GLint samples = 0;
        glGetIntegerv(GL_SAMPLE_BUFFERS, &samples); // of the draw framebuffer
        if (samples > 0)
            glEnd(); // outside glBegin: GL_INVALID_OPERATION, as the refused copy gives
        else
            sReal(sx0, sy0, sx1, sy1, dx0, dy0, dx1, dy1, mask, filter);
    }
};

PFNGLBLITFRAMEBUFFERPROC StrictBlit::sReal = nullptr;

/// Gives the window stand-in bound now (a renderbuffer) multisampled storage, as a driver that
/// forces multisampling on the window does, and reads it back through a resolving copy.
class MultisampledWindow
{
public:
    MultisampledWindow(int width, int height)
        : mWidth(width)
        , mHeight(height)
    {
        auto storage = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC>(
            platform::gl::PlatformProcLookup("glRenderbufferStorageMultisample"));
        auto attachment = reinterpret_cast<PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC>(
            platform::gl::PlatformProcLookup("glGetFramebufferAttachmentParameteriv"));
        GLint window = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &window);
        mWindow = static_cast<GLuint>(window);
        GLint colour = 0;
        if (!storage || !attachment)
            return;
        attachment(
            GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(colour));
        storage(GL_RENDERBUFFER, 4, GL_RGBA8, width, height);
        GLint samples = 0;
        glGetIntegerv(GL_SAMPLE_BUFFERS, &samples);
        mValid = samples > 0 && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }

    bool IsValid() const { return mValid; }

    /// The window's resolved pixel at (x, y), top row first, as A, R, G, B.
    IArgbColor PixelAt(int x, int y)
    {
        GLuint resolved = 0;
        GLuint colour = 0;
        glGenFramebuffers(1, &resolved);
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, mWidth, mHeight);
        glBindFramebuffer(GL_FRAMEBUFFER, resolved);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, mWindow);
        StrictBlit::sReal(
            0, 0, mWidth, mHeight, 0, 0, mWidth, mHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, resolved);
        const std::vector<uint8_t> p = HeadlessGlContext::ReadPixelsTopDown(mWidth, mHeight);
        glBindFramebuffer(GL_FRAMEBUFFER, mWindow);
        glDeleteFramebuffers(1, &resolved);
        glDeleteRenderbuffers(1, &colour);
        const size_t i = (static_cast<size_t>(y) * mWidth + x) * 4;
        return {p[i + 3], p[i], p[i + 1], p[i + 2]};
    }

private:
    int mWidth;
    int mHeight;
    GLuint mWindow = 0;
    bool mValid = false;
};

TEST_F(NanoVgCanvas, AMultisampledWindowGetsItsFrameAsAQuad)
{
    auto g = Make(60, 40);
    const StrictBlit strict;
    g->GetContext().MakeCurrent();
    MultisampledWindow window(60, 40);
    ASSERT_TRUE(window.IsValid());

    // Made multisampled after the view was created: the first copy is refused, the frame is
    // drawn as a quad, and so is every later one.
    for (const IArgbColor& colour : {kColorRed, kColorBlue})
    {
        DrawFrame(*g, [&](ICanvas& c) { c.FillRect(colour, IBounds(0.f, 0.f, 60.f, 40.f)); });
        g->GetContext().MakeCurrent();
        EXPECT_TRUE(Near(window.PixelAt(30, 20), colour)) << colour.R;
        EXPECT_TRUE(Near(window.PixelAt(2, 37), colour)) << colour.R;
    }

    // A view created on the multisampled window uses the quad from its first frame on.
    g->OnViewDestroyed();
    g->GetContext().MakeCurrent();
    g->OnViewCreated();
    g->ICanvasNanoVG::DrawResize(); // the window stand-in keeps its multisampled storage
    DrawFrame(*g, [&](ICanvas& c) { c.FillRect(kColorGreen, IBounds(10.f, 10.f, 50.f, 30.f)); });
    g->GetContext().MakeCurrent();
    EXPECT_TRUE(Near(window.PixelAt(30, 20), kColorGreen));
    EXPECT_EQ(window.PixelAt(3, 3).A, 0) << "the window is cleared under the quad";
}
#endif

TEST_F(NanoVgCanvas, LayerAtAFractionalScaleDrawsBackWhereItWasDrawn)
{
    auto g = Make(80, 40, 1.f, 1.5f);
    DrawFrame(*g,
              [&](ICanvas& c)
              {
                  c.BeginLayer(nullptr, IBounds(10.f, 10.f, 30.f, 30.f));
                  c.FillRect(kColorBlue, IBounds(10.f, 10.f, 30.f, 30.f));
                  ILayerPtr layer = c.FinishLayer();
                  c.DrawBitmap(IBitmapHandle(layer->GetAPIBitmap(), 1, false, ""),
                               IBounds(40.f, 10.f, 60.f, 30.f),
                               0,
                               0);
              });
    // Units 40..60 are device pixels 60..90.
    EXPECT_EQ(g->PixelAt(61, 16).B, 255);
    EXPECT_EQ(g->PixelAt(88, 43).B, 255);
    EXPECT_EQ(g->PixelAt(92, 30).A, 0);
    EXPECT_EQ(g->PixelAt(75, 47).A, 0);
}

// At 0.85 a layer 760 units high needs 646 pixels, but 0.85 as a float is a hair above it: the
// bitmap is rounded up to 647 rows while the drawing covers 645. What is drawn in it must start
// at its top row, so that drawn back it lands where direct drawing does.
TEST_F(NanoVgCanvas, LayerWhoseBitmapIsRoundedUpDrawsBackOnTheSameRows)
{
    const auto bar = [](ICanvas& c) { c.FillRect(kColorRed, IBounds(0.f, 300.f, 40.f, 400.f)); };
    auto direct = Make(40, 760, 0.85f);
    DrawFrame(*direct, bar);
    auto layered = Make(40, 760, 0.85f);
    DrawFrame(*layered,
              [&](ICanvas& c)
              {
                  c.BeginLayer(nullptr, IBounds(0.f, 0.f, 40.f, 760.f), true);
                  bar(c);
                  ILayerPtr layer = c.FinishLayer();
                  EXPECT_GT(layer->GetAPIBitmap()->GetHeight(), static_cast<int>(760 * 0.85f));
                  c.DrawBitmap(IBitmapHandle(layer->GetAPIBitmap(), 1, false, ""),
                               IBounds(0.f, 0.f, 40.f, 760.f),
                               0,
                               0);
              });
    for (int y = 250; y < 345; ++y)
        EXPECT_NEAR(layered->PixelAt(17, y).R, direct->PixelAt(17, y).R, 2) << "row " << y;
}

TEST_F(NanoVgCanvas, DropShadowFollowsTheLayersShapeAtItsOffset)
{
    for (float scale : {1.f, 1.5f})
    {
        auto g = Make(100, 60, 1.f, scale);
        DrawFrame(*g,
                  [&](ICanvas& c)
                  {
                      c.BeginLayer(nullptr, IBounds(0.f, 0.f, 100.f, 60.f));
                      c.FillRect(kColorRed,
                                 IBounds(20.f, 10.f, 50.f, 25.f)); // a wide bar in the upper half
                      ILayerPtr layer = c.FinishLayer();
                      ILayerShadow shadow;
                      shadow.pattern = IFillPattern::Solid(kColorBlack);
                      shadow.blurSize = 1.f;
                      shadow.xOffset = 10.f;
                      shadow.yOffset = 20.f;
                      c.ApplyLayerDropShadow(layer, shadow);
                      c.DrawBitmap(IBitmapHandle(layer->GetAPIBitmap(), 1, false, ""),
                                   IBounds(0.f, 0.f, 100.f, 60.f),
                                   0,
                                   0);
                  });
        auto at = [&](float x, float y)
        { return g->PixelAt(static_cast<int>(x * scale), static_cast<int>(y * scale)); };
        EXPECT_EQ(at(35.f, 17.f).R, 255) << "the content on top, scale " << scale;
        const IArgbColor shadow = at(55.f, 40.f);
        EXPECT_GT(shadow.A, 200) << "the shadow below and right of the bar, scale " << scale;
        EXPECT_LT(shadow.R, 10);
        EXPECT_EQ(at(55.f, 12.f).A, 0) << "no mirrored shadow in the upper half, scale " << scale;
        EXPECT_EQ(at(25.f, 40.f).A, 0) << scale;
        EXPECT_EQ(at(66.f, 40.f).A, 0) << "no larger than the bar, scale " << scale;
    }
}

/// An image of `w` x `h` pixels in four quadrants (red, green, blue, half-transparent white),
/// written as a PNG file; returns its path.
std::string WriteQuadrantPng(const char* name, int w, int h)
{
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const int q = (y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0);
            static constexpr uint8_t kColors[4][4] = {
                {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 128}};
            std::memcpy(&rgba[(static_cast<size_t>(y) * w + x) * 4], kColors[q], 4);
        }
    std::filesystem::create_directories(LUMENFALL_PNG_DIR);
    const std::string path = std::string(LUMENFALL_PNG_DIR) + "/" + name;
    EXPECT_TRUE(WritePng(path.c_str(), rgba.data(), w, h));
    return path;
}

TEST_F(NanoVgCanvas, BitmapsFromFilesDataAndScaleVariants)
{
    auto g = Make(80, 40);
    const std::string plain = WriteQuadrantPng("fixture_quadrants.png", 8, 4);
    // Only the scale-2 variant of this one exists: loaded at scale 1 it is scaled down through a
    // layer.
    WriteQuadrantPng("fixture_only@2x.png", 16, 8);
    const std::string only = std::string(LUMENFALL_PNG_DIR) + "/fixture_only.png";

    const IBitmapHandle file = g->LoadBitmap(plain.c_str());
    ASSERT_TRUE(file.IsValid());
    EXPECT_EQ(file.W(), 8);
    EXPECT_EQ(file.H(), 4);
    const Bytes bytes = ReadFileBytes(plain.c_str());
    const IBitmapHandle data =
        g->LoadBitmapFromData("memory-quadrants.png", bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_TRUE(data.IsValid());
    const IBitmapHandle scaled = g->LoadBitmap(only.c_str(), 1, false, 1);
    ASSERT_TRUE(scaled.IsValid());
    EXPECT_EQ(scaled.W(), 8);
    EXPECT_FALSE(g->LoadBitmap("picture.gif").IsValid());

    DrawFrame(*g,
              [&](ICanvas& c)
              {
                  c.DrawBitmap(file, IBounds(0.f, 0.f, 8.f, 4.f), 0, 0);
                  c.DrawBitmap(data, IBounds(20.f, 0.f, 28.f, 4.f), 0, 0);
                  c.DrawBitmap(scaled, IBounds(40.f, 0.f, 48.f, 4.f), 0, 0);
                  c.DrawBitmap(file, IBounds(60.f, 0.f, 64.f, 4.f), 4, 0); // its right half
                  const IBlendSpec faint{0, 0.5f};
                  c.DrawBitmap(file, IBounds(0.f, 20.f, 8.f, 24.f), 0, 0, &faint);
              });
    for (int left : {0, 20, 40})
    {
        EXPECT_EQ(g->PixelAt(left + 1, 0), kColorRed) << left;
        EXPECT_EQ(g->PixelAt(left + 6, 1), kColorGreen) << left;
        EXPECT_EQ(g->PixelAt(left + 2, 3), kColorBlue) << left;
        EXPECT_TRUE(Near(g->PixelAt(left + 5, 2), IArgbColor{128, 128, 128, 128})) << left;
    }
    EXPECT_EQ(g->PixelAt(61, 0), kColorGreen) << "drawn from its fifth column";
    EXPECT_EQ(g->PixelAt(64, 0).A, 0) << "no further than the destination";
    EXPECT_TRUE(Near(g->PixelAt(1, 20), IArgbColor{128, 128, 0, 0})) << "blend weight";
}

TEST_F(NanoVgCanvas, EachEditorKeepsItsOwnBitmaps)
{
    // Two editors, two GL contexts: a name one has loaded is decoded anew by the other (here from
    // other bytes, so a bitmap served across would show its size), and closing the first leaves
    // the second's bitmap cached and drawing.
    const Bytes small = ReadFileBytes(WriteQuadrantPng("fixture_own_small.png", 8, 4).c_str());
    const Bytes large = ReadFileBytes(WriteQuadrantPng("fixture_own_large.png", 16, 8).c_str());
    auto a = Make(40, 20);
    auto b = Make(40, 20);
    a->GetContext().MakeCurrent();
    const IBitmapHandle inA =
        a->LoadBitmapFromData("editor-own.png", small.data(), static_cast<int>(small.size()));
    b->GetContext().MakeCurrent();
    const IBitmapHandle inB =
        b->LoadBitmapFromData("editor-own.png", large.data(), static_cast<int>(large.size()));
    ASSERT_TRUE(inA.IsValid());
    ASSERT_TRUE(inB.IsValid());
    EXPECT_NE(inA.GetAPIBitmap(), inB.GetAPIBitmap());
    EXPECT_EQ(inA.W(), 8);
    EXPECT_EQ(inB.W(), 16);

    a.reset();
    b->GetContext().MakeCurrent();
    EXPECT_EQ(b->LoadBitmapFromData("editor-own.png", nullptr, 0).GetAPIBitmap(),
              inB.GetAPIBitmap());
    DrawFrame(*b, [&](ICanvas& c) { c.DrawBitmap(inB, IBounds(0.f, 0.f, 16.f, 8.f), 0, 0); });
    EXPECT_EQ(b->PixelAt(1, 0), kColorRed);
    EXPECT_EQ(b->PixelAt(14, 3), kColorGreen);
    EXPECT_EQ(b->PixelAt(1, 7), kColorBlue);
}

#if defined(_WIN32)
TEST_F(NanoVgCanvas, BitmapFromAnEmbeddedResource)
{
    auto g = Make(20, 10);
    const IBitmapHandle embedded = g->LoadBitmap("Quadrants.png");
    ASSERT_TRUE(embedded.IsValid());
    DrawFrame(*g, [&](ICanvas& c) { c.DrawBitmap(embedded, IBounds(0.f, 0.f, 8.f, 4.f), 0, 0); });
    EXPECT_EQ(g->PixelAt(1, 0), kColorRed);
    EXPECT_EQ(g->PixelAt(6, 3), (IArgbColor{128, 128, 128, 128}));
}
#endif

TEST_F(NanoVgCanvas, TextInRobotoMeasuresAndDraws)
{
    auto g = Make(200, 60);
    ASSERT_TRUE(g->LoadFont(kRoboto, LUMENFALL_ROBOTO_TTF));
    ITextStyle style(20.f, EVAlign::Middle);
    IBounds box(0.f, 0.f, 200.f, 60.f);
    const float width = g->MeasureText(style, "Lumenfall", box);
    EXPECT_GT(width, 60.f);
    EXPECT_LT(width, 120.f);
    EXPECT_NEAR(box.MW(), 100.f, 1.f) << "centred";

    DrawFrame(*g,
              [&](ICanvas& c) { c.DrawText(style, "Lumenfall", IBounds(0.f, 0.f, 200.f, 60.f)); });
    int w = 0;
    int h = 0;
    const std::vector<uint8_t> pixels = g->ReadPixels(w, h);
    const std::vector<int> rows = InkRows(pixels, w, h, 0, w);
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR((rows.front() + rows.back()) / 2.0, 30.0, 4.0);

    // An unknown font draws nothing and measures nothing.
    std::strcpy(style.font, "No Such Font");
    IBounds none(0.f, 0.f, 200.f, 60.f);
    EXPECT_EQ(g->MeasureText(style, "Lumenfall", none), 0.f);
    EXPECT_EQ(none, IBounds());
}

TEST_F(NanoVgCanvas, MultiLineTextBlockAlignsAsAWhole)
{
    auto g = Make(240, 200);
    ASSERT_TRUE(g->LoadFont(kRoboto, LUMENFALL_ROBOTO_TTF));
    const IBounds bounds(20.f, 20.f, 100.f, 180.f);
    const char* text = "one two three four five";
    for (EVAlign valign : {EVAlign::Top, EVAlign::Middle, EVAlign::Bottom})
    {
        ITextStyle style(16.f, valign);
        style.align = EAlign::Near;
        style.color = kColorBlack;
        DrawFrame(*g,
                  [&](ICanvas& c)
                  {
                      const IBlendSpec clear{6, 1.f};
                      c.FillRect(kColorBlack, IBounds(0.f, 0.f, 240.f, 200.f), &clear);
                      c.DrawMultiLineText(style, text, bounds);
                  });
        int w = 0;
        int h = 0;
        const std::vector<uint8_t> pixels = g->ReadPixels(w, h);
        const std::vector<int> rows = InkRows(pixels, w, h, 0, w);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(CountBands(rows), 3) << "three rows of at most 80 units";
        EXPECT_TRUE(InkRows(pixels, w, h, 101, w).empty()) << "nothing right of the bounds";
        const int top = rows.front();
        const int bottom = rows.back();
        EXPECT_GE(top, 20);
        EXPECT_LE(bottom, 180);
        switch (valign)
        {
        case EVAlign::Top:
            EXPECT_LT(top, 28);
            break;
        case EVAlign::Middle:
            EXPECT_NEAR((top + bottom) / 2.0, 100.0, 5.0);
            break;
        default:
            EXPECT_GT(bottom, 170);
            break;
        }
    }
}

TEST_F(NanoVgCanvas, TwoEditorsShareFontBytesUntilBothAreGone)
{
    const int users = platform::ICanvasNanoVG::NFontDataUsers();
    const int entries = platform::ICanvasNanoVG::NFontDataEntries();
    auto a = Make(120, 40);
    auto b = Make(120, 40);
    EXPECT_EQ(platform::ICanvasNanoVG::NFontDataUsers(), users + 2);
    a->GetContext().MakeCurrent();
    ASSERT_TRUE(a->LoadFont("Shared Roboto", LUMENFALL_ROBOTO_TTF));
    b->GetContext().MakeCurrent();
    ASSERT_TRUE(b->LoadFont("Shared Roboto", LUMENFALL_ROBOTO_TTF));
    EXPECT_EQ(platform::ICanvasNanoVG::NFontDataEntries(), entries + 1) << "one copy of the bytes";

    a.reset();
    EXPECT_EQ(platform::ICanvasNanoVG::NFontDataEntries(), entries + 1);
    // The other editor still draws with the shared bytes.
    b->GetContext().MakeCurrent();
    ITextStyle style(24.f, EVAlign::Middle);
    std::strcpy(style.font, "Shared Roboto");
    DrawFrame(*b, [&](ICanvas& c) { c.DrawText(style, "Shared", IBounds(0.f, 0.f, 120.f, 40.f)); });
    int w = 0;
    int h = 0;
    const std::vector<uint8_t> pixels = b->ReadPixels(w, h);
    EXPECT_FALSE(InkRows(pixels, w, h, 0, w).empty());

    b.reset();
    if (users == 0)
    {
        EXPECT_EQ(platform::ICanvasNanoVG::NFontDataUsers(), 0);
        EXPECT_EQ(platform::ICanvasNanoVG::NFontDataEntries(), 0) << "freed with the last editor";
    }
}

TEST_F(NanoVgCanvas, LongUtf8FontNameIsCutOnACodePointAndStillFound)
{
    auto g = Make(120, 40);
    // 61 ASCII bytes, then a three-byte character across fontstash's 63-byte limit.
    std::string name(61, 'f');
    name += "\xe2\x82\xac tail";
    ASSERT_TRUE(g->LoadFont(name.c_str(), LUMENFALL_ROBOTO_TTF));
    ITextStyle style(24.f, EVAlign::Middle);
    std::strncpy(style.font, name.c_str(), ITextStyle::kFontNameSize - 1);
    DrawFrame(*g, [&](ICanvas& c) { c.DrawText(style, "Text", IBounds(0.f, 0.f, 120.f, 40.f)); });
    int w = 0;
    int h = 0;
    const std::vector<uint8_t> pixels = g->ReadPixels(w, h);
    EXPECT_FALSE(InkRows(pixels, w, h, 0, w).empty());
}

} // namespace
