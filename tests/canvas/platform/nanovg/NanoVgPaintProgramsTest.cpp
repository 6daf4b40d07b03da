// The fragment programs per paint kind against NanoVG's own program of every kind: the same
// scene, drawn through each, must give the same bytes.

#include "canvas/platform/nanovg/NanoVgGl.h"
#include "tests/support/headless/HeadlessGlContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
using lumenfall::test::HeadlessGlContext;
namespace gl = plugkit::canvas::platform::gl;

constexpr int kW = 160;
constexpr int kH = 120;

/// A concave star (a stencil fill) of radius `r` at (x, y).
void Star(NVGcontext* vg, float x, float y, float r, NVGcolor color)
{
    nvgBeginPath(vg);
    for (int i = 0; i < 10; ++i)
    {
        const float a = i * 0.6283185f;
        const float ri = i % 2 ? 0.4f * r : r;
        i == 0 ? nvgMoveTo(vg, x + ri * std::sin(a), y - ri * std::cos(a))
               : nvgLineTo(vg, x + ri * std::sin(a), y - ri * std::cos(a));
    }
    nvgClosePath(vg);
    nvgFillColor(vg, color);
    nvgFill(vg);
}

/// A scene of every paint kind at `ratio` pixels per unit: solid and anti-aliased fills, the
/// three gradients, concave fills (stencil), strokes, straight and premultiplied images, text, a
/// smaller framebuffer drawn into mid-scene (another view size) and then drawn as an image; and
/// clips: rotated, off the pixel grid, on it (alone, with another blend, around a stencil fill,
/// and inside a scissor box of the back end's).
std::vector<uint8_t> DrawScene(NVGcontext* vg, float ratio)
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
    nvgBeginFrame(vg, kW / ratio, kH / ratio, ratio);
    // The scene is laid out in pixels; a clip given in pixels (multiples of 3) lies on whole
    // pixels at either ratio.
    nvgScale(vg, 1.f / ratio, 1.f / ratio);
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
    Star(vg, 135.f, 25.f, 18.f, nvgRGBA(240, 120, 60, 200));
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
    nvgSave(vg);
    nvgScissor(vg, 128.4f, 57.7f, 20.f, 20.f);
    nvgBeginPath(vg);
    nvgRect(vg, 130.f, 60.f, 24.f, 24.f);
    nvgFillPaint(vg, nvgImagePattern(vg, 130.f, 60.f, 12.f, 12.f, 0.f, premultiplied, 1.f));
    nvgFill(vg);
    nvgRestore(vg);
    nvgBeginPath(vg);
    nvgRect(vg, 60.f, 88.f, 40.f, 30.f);
    nvgFillPaint(vg, nvgImagePattern(vg, 60.f, 88.f, 40.f, 30.f, 0.f, layer->image, 0.9f));
    nvgFill(vg);
    nvgSave(vg);
    nvgScissor(vg, 3.f, 93.f, 57.f, 24.f);
    nvgGlobalAlpha(vg, 0.7f);
    nvgFontFaceId(vg, font);
    nvgFontSize(vg, 15.f);
    nvgFillColor(vg, nvgRGBA(250, 250, 240, 255));
    nvgText(vg, 4.f, 112.f, "Hall 2.40 s", nullptr);
    nvgRestore(vg);
    // On the pixel grid: a stencil fill cut by the clip, and another across where the first
    // one's stencil would remain outside the clip.
    nvgSave(vg);
    nvgScissor(vg, 111.f, 90.f, 24.f, 24.f);
    Star(vg, 130.f, 100.f, 16.f, nvgRGBA(255, 230, 90, 220));
    nvgResetScissor(vg);
    Star(vg, 140.f, 104.f, 12.f, nvgRGBA(90, 255, 130, 200));
    // With another blend the clip's outside takes the blend of a transparent source.
    nvgScissor(vg, 66.f, 3.f, 21.f, 21.f);
    nvgGlobalCompositeBlendFunc(vg, NVG_DST_ALPHA, NVG_ZERO);
    nvgBeginPath(vg);
    nvgRect(vg, 60.f, 0.f, 30.f, 30.f);
    nvgFillColor(vg, nvgRGBA(255, 0, 160, 200));
    nvgFill(vg);
    nvgRestore(vg);
    nvgEndFrame(vg);

    // Inside a scissor box of the back end's, which NanoVG leaves on; in a view narrower than the
    // viewport, whose units the clip mask and the pixels measure unalike (a clip from 0 to 72
    // is one from 0 to 80 pixels, on the grid, while the mask fades over its last pixel).
    gl::KeepScissorTest(true);
    glScissor(0, 0, kW / 2, kH / 2);
    glEnable(GL_SCISSOR_TEST);
    nvgBeginFrame(vg, (kW - 16) / ratio, kH / ratio, ratio);
    nvgScale(vg, 1.f / ratio, 1.f / ratio);
    nvgScissor(vg, 45.f, 54.f, 60.f, 45.f);
    nvgBeginPath(vg);
    nvgCircle(vg, 75.f, 75.f, 25.f);
    nvgFillColor(vg, nvgRGBA(200, 60, 255, 150));
    nvgFill(vg);
    nvgResetScissor(vg);
    nvgScissor(vg, 0.f, 3.f, 72.f, 60.f);
    nvgBeginPath(vg);
    nvgRect(vg, 0.f, 0.f, 90.f, 70.f);
    nvgFillColor(vg, nvgRGBA(255, 255, 255, 60));
    nvgFill(vg);
    nvgEndFrame(vg);
    gl::KeepScissorTest(false);
    glDisable(GL_SCISSOR_TEST);

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

TEST(NanoVgPaintPrograms, EveryKindAndClipDrawsTheBytesOfNanoVgsOwnProgram)
{
    HeadlessGlContext context(kW, kH);
    ASSERT_TRUE(context.IsValid());
    NVGcontext* own = nvgCreateGL2(NVG_ANTIALIAS);
    NVGcontext* perKind = gl::CreateNanoVg(NVG_ANTIALIAS);
    ASSERT_TRUE(own && perKind);

    for (const float ratio : {1.f, 1.5f})
    {
        SCOPED_TRACE(ratio);
        const std::vector<uint8_t> expected = DrawScene(own, ratio);
        const std::vector<uint8_t> actual = DrawScene(perKind, ratio);
        ASSERT_EQ(expected.size(), static_cast<size_t>(kW * kH * 4));
        EXPECT_EQ(DifferingBytes(actual, expected), 0u);
        std::filesystem::create_directories(LUMENFALL_PNG_DIR);
        const std::string path = std::string(LUMENFALL_PNG_DIR) + "/paint_programs_" +
                                 (ratio == 1.f ? "1x" : "1.5x") + ".png";
        lumenfall::test::WritePng(path.c_str(), actual.data(), kW, kH);
    }
    // Solid, gradient, stencil, two image kinds and text each drew through a program of its own,
    // some of them with the clip mask and without.
    EXPECT_GT(gl::NPaintPrograms(perKind), 6);
    EXPECT_EQ(gl::NPaintPrograms(own), 0);

    // A second context makes its own programs from the texts the first one saw.
    NVGcontext* another = gl::CreateNanoVg(NVG_ANTIALIAS);
    EXPECT_EQ(DifferingBytes(DrawScene(another, 1.f), DrawScene(own, 1.f)), 0u);
    EXPECT_EQ(gl::NPaintPrograms(another), gl::NPaintPrograms(perKind));

    nvgDeleteGL2(own);
    gl::DeleteNanoVg(perKind);
    gl::DeleteNanoVg(another);
}

} // namespace
