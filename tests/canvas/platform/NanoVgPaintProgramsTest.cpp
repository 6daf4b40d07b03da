// The fragment programs per paint kind against NanoVG's own program of every kind: the same
// scene, drawn through each, must give the same bytes.

#include "canvas/platform/NanoVgGl.h"
#include "tests/support/headless/HeadlessGlContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace
{
using lumenfall::test::HeadlessGlContext;
namespace gl = plugkit::canvas::platform::gl;

constexpr int kW = 160;
constexpr int kH = 120;

/// A scene of every paint kind: solid and anti-aliased fills, the three gradients, a concave
/// fill (stencil), strokes, scissors (one rotated), straight and premultiplied images, text, and
/// a smaller framebuffer drawn into mid-scene (another view size) and then drawn as an image.
std::vector<uint8_t> DrawScene(NVGcontext* vg)
{
    NVGLUframebuffer* target = nvgluCreateFramebuffer(vg, kW, kH, 0);
    NVGLUframebuffer* layer = nvgluCreateFramebuffer(vg, 40, 30, 0);
    if (!target || !layer)
        return {};
    const uint8_t texels[16] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 64, 255, 255, 255, 0};
    const int straight = nvgCreateImageRGBA(vg, 2, 2, NVG_IMAGE_NEAREST, texels);
    const int premultiplied =
        nvgCreateImageRGBA(vg, 2, 2, NVG_IMAGE_PREMULTIPLIED | NVG_IMAGE_NEAREST, texels);
    const int font = nvgCreateFont(vg, "roboto", LUMENFALL_ROBOTO_TTF);

    nvgluBindFramebuffer(layer);
    glViewport(0, 0, 40, 30);
    glClearColor(0.f, 0.f, 0.f, 0.f);
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    nvgBeginFrame(vg, 40.f, 30.f, 1.f);
    nvgBeginPath(vg);
    nvgCircle(vg, 20.f, 15.f, 12.5f);
    nvgFillPaint(vg,
                 nvgLinearGradient(
                     vg, 0.f, 0.f, 40.f, 30.f, nvgRGBA(255, 200, 0, 255), nvgRGBA(0, 80, 255, 90)));
    nvgFill(vg);
    nvgEndFrame(vg);

    nvgluBindFramebuffer(target);
    glViewport(0, 0, kW, kH);
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    nvgBeginFrame(vg, static_cast<float>(kW), static_cast<float>(kH), 1.f);
    nvgBeginPath(vg);
    nvgRect(vg, 0.f, 0.f, kW, kH);
    nvgFillColor(vg, nvgRGBA(30, 34, 40, 255));
    nvgFill(vg);
    nvgBeginPath(vg);
    nvgRoundedRect(vg, 6.3f, 5.7f, 50.f, 30.f, 7.f);
    nvgFillPaint(
        vg,
        nvgBoxGradient(
            vg, 8.f, 8.f, 44.f, 24.f, 5.f, 9.f, nvgRGBA(90, 200, 255, 255), nvgRGBA(0, 0, 0, 0)));
    nvgFill(vg);
    nvgBeginPath(vg);
    nvgCircle(vg, 90.f, 22.f, 17.3f);
    nvgFillPaint(
        vg,
        nvgRadialGradient(
            vg, 86.f, 18.f, 3.f, 18.f, nvgRGBA(255, 255, 255, 230), nvgRGBA(40, 0, 90, 160)));
    nvgFill(vg);
    // A concave star: stencil, fringe and cover.
    nvgBeginPath(vg);
    for (int i = 0; i < 10; ++i)
    {
        const float a = i * 0.6283185f;
        const float r = i % 2 ? 7.f : 18.f;
        const float x = 135.f + r * std::sin(a);
        const float y = 25.f - r * std::cos(a);
        i == 0 ? nvgMoveTo(vg, x, y) : nvgLineTo(vg, x, y);
    }
    nvgClosePath(vg);
    nvgFillColor(vg, nvgRGBA(240, 120, 60, 200));
    nvgFill(vg);
    nvgBeginPath(vg);
    nvgArc(vg, 40.f, 75.f, 22.f, -2.4f, 1.1f, NVG_CW);
    nvgStrokeWidth(vg, 3.5f);
    nvgLineCap(vg, NVG_ROUND);
    nvgStrokeColor(vg, nvgRGBA(120, 230, 200, 255));
    nvgStroke(vg);
    nvgSave(vg);
    nvgTranslate(vg, 100.f, 75.f);
    nvgRotate(vg, 0.4f);
    nvgScissor(vg, -25.f, -15.f, 50.f, 30.f);
    nvgBeginPath(vg);
    nvgRect(vg, -40.f, -30.f, 80.f, 60.f);
    nvgFillPaint(vg, nvgImagePattern(vg, -40.f, -30.f, 20.f, 20.f, 0.3f, straight, 0.8f));
    nvgFill(vg);
    nvgRestore(vg);
    nvgBeginPath(vg);
    nvgRect(vg, 130.f, 60.f, 24.f, 24.f);
    nvgFillPaint(vg, nvgImagePattern(vg, 130.f, 60.f, 12.f, 12.f, 0.f, premultiplied, 1.f));
    nvgFill(vg);
    nvgBeginPath(vg);
    nvgRect(vg, 60.f, 88.f, 40.f, 30.f);
    nvgFillPaint(vg, nvgImagePattern(vg, 60.f, 88.f, 40.f, 30.f, 0.f, layer->image, 0.9f));
    nvgFill(vg);
    nvgGlobalAlpha(vg, 0.7f);
    nvgFontFaceId(vg, font);
    nvgFontSize(vg, 15.f);
    nvgFillColor(vg, nvgRGBA(250, 250, 240, 255));
    nvgText(vg, 4.f, 112.f, "Hall 2.40 s", nullptr);
    nvgEndFrame(vg);

    std::vector<uint8_t> pixels = HeadlessGlContext::ReadPixelsTopDown(kW, kH);
    nvgluBindFramebuffer(nullptr);
    nvgDeleteImage(vg, straight);
    nvgDeleteImage(vg, premultiplied);
    nvgluDeleteFramebuffer(layer);
    nvgluDeleteFramebuffer(target);
    return pixels;
}

/// Bytes that differ; every byte of the longer one differs where the other has none.
size_t DifferingBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    size_t n = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        n += a[i] != b[i] ? 1 : 0;
    return n;
}

TEST(NanoVgPaintPrograms, EveryKindDrawsTheBytesOfNanoVgsOwnProgram)
{
    HeadlessGlContext context(kW, kH);
    ASSERT_TRUE(context.IsValid());
    NVGcontext* own = nvgCreateGL2(NVG_ANTIALIAS);
    NVGcontext* perKind = gl::CreateNanoVg(NVG_ANTIALIAS);
    ASSERT_TRUE(own && perKind);

    const std::vector<uint8_t> expected = DrawScene(own);
    const std::vector<uint8_t> actual = DrawScene(perKind);
    ASSERT_EQ(expected.size(), static_cast<size_t>(kW * kH * 4));
    EXPECT_EQ(DifferingBytes(actual, expected), 0u);
    std::filesystem::create_directories(LUMENFALL_PNG_DIR);
    lumenfall::test::WritePng(LUMENFALL_PNG_DIR "/paint_programs.png", actual.data(), kW, kH);
    // Solid, gradient, stencil, two image kinds and text: each drew through its own program.
    EXPECT_EQ(gl::NPaintPrograms(perKind), 6);
    EXPECT_EQ(gl::NPaintPrograms(own), 0);

    // A second context makes its own programs from the texts the first one saw.
    NVGcontext* another = gl::CreateNanoVg(NVG_ANTIALIAS);
    EXPECT_EQ(DifferingBytes(DrawScene(another), expected), 0u);
    EXPECT_EQ(gl::NPaintPrograms(another), 6);

    nvgDeleteGL2(own);
    gl::DeleteNanoVg(perKind);
    gl::DeleteNanoVg(another);
}

} // namespace
