#include "canvas/platform/nanovg/ICanvasNanoVG.h"

#include "canvas/ResourceCache.h"
#include "canvas/platform/helpers/PlatformResources.h"
#include "canvas/platform/nanovg/NanoVgGl.h"
#include "canvas/platform/nanovg/PlatformFontData.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace plugkit::canvas::platform
{

namespace
{

constexpr float kPi = 3.1415927f;

/// The font bytes handed to NanoVG, one record per font id for the whole process: every
/// editor's NanoVG context reads the same bytes, which live until the last back end goes.
ResourceCache<PlatformFontData>& FontDataCache()
{
    static ResourceCache<PlatformFontData> cache;
    return cache;
}

/// fontstash keeps at most 63 bytes of a font's name and compares whole names. Every name it
/// sees, at registration and at lookup, is cut alike: to 63 bytes at most, without a trailing
/// incomplete UTF-8 sequence, so a long name still finds its font even when a style holds a
/// copy already cut inside a character.
struct FontKey
{
    static constexpr int32_t kMaxBytes = 63;

    explicit FontKey(const char* name)
    {
        int32_t n = 0;
        if (name)
        {
            while (n < kMaxBytes && name[n])
                ++n;
            int32_t lead = n;
            while (lead > 0 && (static_cast<unsigned char>(name[lead - 1]) & 0xC0) == 0x80)
                --lead;
            if (lead > 0)
            {
                const auto c = static_cast<unsigned char>(name[lead - 1]);
                const int32_t length = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
                if (n - (lead - 1) < length)
                    n = lead - 1;
            }
            std::memcpy(text, name, static_cast<size_t>(n));
        }
        text[n] = 0;
    }

    char text[kMaxBytes + 1];
};

struct BlendFactors
{
    int src;
    int dst;
};

/// NanoVG's blend factors of the blend kinds 0 to 9 (colour and alpha alike; premultiplied).
constexpr BlendFactors kBlendFactors[] = {
    {NVG_ONE, NVG_ONE_MINUS_SRC_ALPHA},
    {NVG_DST_ALPHA, NVG_ZERO},
    {NVG_ONE_MINUS_DST_ALPHA, NVG_ZERO},
    {NVG_DST_ALPHA, NVG_ONE_MINUS_SRC_ALPHA},
    {NVG_ONE_MINUS_DST_ALPHA, NVG_ONE},
    {NVG_ZERO, NVG_SRC_ALPHA},
    {NVG_ZERO, NVG_ONE_MINUS_SRC_ALPHA},
    {NVG_ONE_MINUS_DST_ALPHA, NVG_SRC_ALPHA},
    {NVG_SRC_ALPHA, NVG_DST_ALPHA},
    {NVG_ONE_MINUS_DST_ALPHA, NVG_ONE_MINUS_SRC_ALPHA},
};

float BlendWeight(const IBlendSpec* blend)
{
    return blend ? blend->weight : 1.f;
}

NVGcolor ToNvgColor(const IArgbColor& c, float weight)
{
    return nvgRGBAf(c.R / 255.f, c.G / 255.f, c.B / 255.f, c.A / 255.f * weight);
}

/// Degrees from 12 o'clock, clockwise, to NanoVG's radians from 3 o'clock.
float ToNvgAngle(float degrees)
{
    return (degrees - 90.f) / 180.f * kPi;
}

/// The inverse of an invertible affine transform; the identity for a singular one.
IAffineTransform Inverted(const IAffineTransform& m)
{
    const double det = m.xx * m.yy - m.xy * m.yx;
    if (det == 0.0 || !std::isfinite(det))
        return {};
    const double inv = 1.0 / det;
    IAffineTransform r;
    r.xx = m.yy * inv;
    r.yx = -m.yx * inv;
    r.xy = -m.xy * inv;
    r.yy = m.xx * inv;
    r.tx = (m.xy * m.ty - m.yy * m.tx) * inv;
    r.ty = (m.yx * m.tx - m.xx * m.ty) * inv;
    return r;
}

/// The paint of a pattern: a solid colour, or NanoVG's two-colour gradient between the first
/// and the last stop, placed by the inverse of the pattern's transform.
NVGpaint PatternPaint(NVGcontext* vg, const IFillPattern& pattern, float weight)
{
    const int last = std::max(pattern.nStops - 1, 0);
    const NVGcolor inner = ToNvgColor(pattern.stops[0].color, weight);
    const NVGcolor outer = ToNvgColor(pattern.stops[last].color, weight);
    const IAffineTransform inv = Inverted(pattern.transform);
    double x0 = 0.0;
    double y0 = 0.0;
    inv.Map(x0, y0);
    if (pattern.type == EPatternType::Radial)
    {
        const float outerRadius = static_cast<float>(inv.xx);
        const float innerRadius = pattern.stops[0].offset * outerRadius;
        return nvgRadialGradient(vg,
                                 static_cast<float>(x0),
                                 static_cast<float>(y0),
                                 innerRadius,
                                 outerRadius,
                                 inner,
                                 outer);
    }
    double x1 = 0.0;
    double y1 = 1.0;
    inv.Map(x1, y1);
    return nvgLinearGradient(vg,
                             static_cast<float>(x0),
                             static_cast<float>(y0),
                             static_cast<float>(x1),
                             static_cast<float>(y1),
                             inner,
                             outer);
}

int HorizontalAlign(EAlign align)
{
    switch (align)
    {
    case EAlign::Near:
        return NVG_ALIGN_LEFT;
    case EAlign::Far:
        return NVG_ALIGN_RIGHT;
    default:
        return NVG_ALIGN_CENTER;
    }
}

float AlignedX(EAlign align, const IBounds& r)
{
    switch (align)
    {
    case EAlign::Near:
        return r.L;
    case EAlign::Far:
        return r.R;
    default:
        return r.MW();
    }
}

float VerticalFactor(EVAlign valign)
{
    switch (valign)
    {
    case EVAlign::Top:
        return 0.f;
    case EVAlign::Bottom:
        return 1.f;
    default:
        return 0.5f;
    }
}

} // namespace

// ---- Bitmap

ICanvasNanoVG::Bitmap::Bitmap(
    ICanvasNanoVG& owner, int image, float scale, float drawScale, bool owned)
    : mOwner(owner)
    , mVG(owner.mVG)
    , mPixelsPerUnit(scale * drawScale)
    , mOwned(owned)
{
    int w = 0;
    int h = 0;
    if (mVG && image > 0)
        nvgImageSize(mVG, image, &w, &h);
    SetBitmap(image, w, h, static_cast<int>(scale), drawScale);
}

ICanvasNanoVG::Bitmap::Bitmap(ICanvasNanoVG& owner,
                              NVGLUframebuffer* framebuffer,
                              int width,
                              int height,
                              float scale,
                              float drawScale)
    : mOwner(owner)
    , mVG(owner.mVG)
    , mFramebuffer(framebuffer)
    , mPixelsPerUnit(scale * drawScale)
    , mOwned(true)
{
    SetBitmap(
        framebuffer ? framebuffer->image : 0, width, height, static_cast<int>(scale), drawScale);
}

ICanvasNanoVG::Bitmap::~Bitmap()
{
    if (!mOwned)
        return;
    if (mOwner.mVG != mVG)
    {
        // The NanoVG context it was made in is gone, and its images with it.
        std::free(mFramebuffer);
        return;
    }
    if (mFramebuffer)
        mOwner.DeferFramebufferDelete(mFramebuffer);
    else if (GetImage() > 0)
        nvgDeleteImage(mVG, GetImage());
}

// ---- Life cycle

ICanvasNanoVG::ICanvasNanoVG(
    ICanvasEditorDelegate& dlg, int width, int height, int fps, float scale)
    : ICanvas(dlg, width, height, fps, scale)
{
    FontDataCache().AddUser();
}

ICanvasNanoVG::~ICanvasNanoVG()
{
    // Normally the window layer has destroyed the view already, with its GL context current;
    // otherwise the drawing context goes now, in the GL context current now.
    if (mVG)
        OnViewDestroyed();
    FontDataCache().RemoveUser();
    FlushDeferredFramebuffers();
    GetBitmapCache().Clear();
}

void ICanvasNanoVG::OnViewCreated()
{
    if (mVG || !gl::EnsureEntryPoints())
        return;
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    mWindowFramebuffer = bound;
    mWindowStale = true;
    // A multisampled window (a driver may force it) takes no copy from a single-sampled one.
    GLint sampleBuffers = 0;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
    mBlitToWindow = glBlitFramebuffer != nullptr && sampleBuffers == 0;
    mBlitChecked = false;
    mVG = gl::CreateNanoVg(NVG_ANTIALIAS);
}

void ICanvasNanoVG::OnViewDestroyed()
{
    RemoveAllControls();
    MutexLock lock(GetBitmapCache().GetMutex());
    GetBitmapCache().Clear();
    DeleteMainFramebuffer();
    // Framebuffers still waiting hold images of this NanoVG context: they go before it does.
    mInFrame = false;
    FlushDeferredFramebuffers();
    EndHardwareClip();
    if (mVG)
    {
        gl::DeleteNanoVg(mVG);
        mVG = nullptr;
    }
}

void ICanvasNanoVG::DrawResize()
{
    ActivateGLContext();
    DeleteMainFramebuffer();
    mWindowStale = true;
    if (mVG)
    {
        const int w = WindowPixelWidth();
        const int h = WindowPixelHeight();
        mMainFramebuffer = nvgluCreateFramebuffer(mVG, w, h, 0);
        if (mMainFramebuffer)
        {
            // A new framebuffer's pixels are undefined; only dirty areas are drawn into it.
            BindFramebuffer(mMainFramebuffer);
            ClearTarget(w, h);
            BindFramebuffer(nullptr);
        }
    }
    DeactivateGLContext();
}

// ---- Frames and render targets

int ICanvasNanoVG::WindowWidth() const
{
    return static_cast<int>(Width() * GetDrawScale());
}

int ICanvasNanoVG::WindowHeight() const
{
    return static_cast<int>(Height() * GetDrawScale());
}

int ICanvasNanoVG::WindowPixelWidth() const
{
    return static_cast<int>(WindowWidth() * GetScreenScale());
}

int ICanvasNanoVG::WindowPixelHeight() const
{
    return static_cast<int>(WindowHeight() * GetScreenScale());
}

void ICanvasNanoVG::BindFramebuffer(NVGLUframebuffer* fb)
{
    glBindFramebuffer(GL_FRAMEBUFFER, fb ? fb->fbo : static_cast<GLuint>(mWindowFramebuffer));
}

void ICanvasNanoVG::ClearTarget(int pixelWidth, int pixelHeight)
{
    EndHardwareClip();
    glViewport(0, 0, pixelWidth, pixelHeight);
    glClearColor(0.f, 0.f, 0.f, 0.f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void ICanvasNanoVG::BeginTarget(float width, float height, int pixelWidth, int pixelHeight)
{
    EndHardwareClip();
    glViewport(0, 0, pixelWidth, pixelHeight);
    mTarget = {width, height, pixelHeight};
    nvgBeginFrame(mVG, width, height, GetScreenScale());
}

void ICanvasNanoVG::BeginWindowFrame()
{
    BindFramebuffer(mMainFramebuffer);
    BeginTarget(static_cast<float>(WindowWidth()),
                static_cast<float>(WindowHeight()),
                WindowPixelWidth(),
                WindowPixelHeight());
}

void ICanvasNanoVG::EndHardwareClip()
{
    if (!mHardwareClip)
        return;
    mHardwareClip = false;
    gl::KeepScissorTest(false);
    glDisable(GL_SCISSOR_TEST);
}

void ICanvasNanoVG::BeginFrame()
{
    mInFrame = true;
    mFrameArea = IBounds();
    ICanvas::BeginFrame();
    if (!mVG)
        return;
    // The window's pixels are replaced whole by the frame's copy; only the drawn composite
    // blends onto them.
    if (!mMainFramebuffer || !mBlitToWindow)
        ClearTarget(WindowPixelWidth(), WindowPixelHeight());
    BeginWindowFrame();
}

bool ICanvasNanoVG::BlitToWindow(int pw, int ph)
{
    // The main framebuffer is the window's image, pixel for pixel: a copy needs no shading,
    // which is most of a frame's cost on a software renderer. Where the window keeps its
    // pixels, the area drawn this frame is all that changed.
    int x0 = 0;
    int y0 = 0;
    int x1 = pw;
    int y1 = ph;
    if (WindowKeepsPixels() && !mWindowStale)
    {
        const float s = GetTotalScale();
        x0 = std::clamp(static_cast<int>(std::floor(mFrameArea.L * s)), 0, pw);
        x1 = std::clamp(static_cast<int>(std::ceil(mFrameArea.R * s)), x0, pw);
        y0 = std::clamp(ph - static_cast<int>(std::ceil(mFrameArea.B * s)), 0, ph);
        y1 = std::clamp(ph - static_cast<int>(std::floor(mFrameArea.T * s)), y0, ph);
    }
    if (x1 <= x0 || y1 <= y0)
        return true;
    const bool check = !mBlitChecked;
    if (check)
    {
        // Only this copy's own error counts: earlier ones are taken off first (a bounded
        // number, as a lost context may report errors for ever).
        for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i)
        {
        }
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, mMainFramebuffer->fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(mWindowFramebuffer));
    glBlitFramebuffer(x0, y0, x1, y1, x0, y0, x1, y1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    BindFramebuffer(nullptr);
    if (!check)
        return true;
    mBlitChecked = true;
    if (glGetError() == GL_NO_ERROR)
        return true;
    mBlitToWindow = false;
    ClearTarget(pw, ph);
    return false;
}

void ICanvasNanoVG::EndFrame()
{
    if (mVG)
    {
        nvgEndFrame(mVG);
        EndHardwareClip();
        const int pw = WindowPixelWidth();
        const int ph = WindowPixelHeight();
        if (mMainFramebuffer && mBlitToWindow && BlitToWindow(pw, ph))
        {
            mWindowStale = false;
        }
        else
        {
            // The frame as one image drawn over the whole window.
            BindFramebuffer(nullptr);
            const float w = static_cast<float>(WindowWidth());
            const float h = static_cast<float>(WindowHeight());
            BeginTarget(w, h, pw, ph);
            if (mMainFramebuffer)
            {
                nvgSave(mVG);
                nvgResetTransform(mVG);
                nvgBeginPath(mVG);
                nvgRect(mVG, 0.f, 0.f, w, h);
                nvgFillPaint(
                    mVG, nvgImagePattern(mVG, 0.f, 0.f, w, h, 0.f, mMainFramebuffer->image, 1.f));
                nvgFill(mVG);
                nvgRestore(mVG);
            }
            nvgEndFrame(mVG);
        }
    }
    mInFrame = false;
    FlushDeferredFramebuffers();
}

void ICanvasNanoVG::OnControlDrawn(const IBounds& area)
{
    mFrameArea = mFrameArea.Empty() ? area : mFrameArea.Union(area);
}

void ICanvasNanoVG::UpdateLayer()
{
    if (!mVG)
        return;
    nvgEndFrame(mVG);
    IOffscreenLayer* top = GetTopLayer();
    if (!top)
    {
        BeginWindowFrame();
        return;
    }
    const IBounds& r = top->GetBounds();
    const float total = GetTotalScale();
    auto* bitmap = static_cast<Bitmap*>(top->GetAPIBitmap());
    BindFramebuffer(bitmap ? bitmap->GetFramebuffer() : nullptr);
    BeginTarget(r.W() * GetDrawScale(),
                r.H() * GetDrawScale(),
                static_cast<int>(r.W() * total),
                static_cast<int>(r.H() * total));
}

// ---- Deferred deletion

void ICanvasNanoVG::DeleteFramebuffer(NVGLUframebuffer* fb)
{
    if (fb->ctx == mVG && mVG)
        nvgluDeleteFramebuffer(fb);
    else
        std::free(fb); // its NanoVG context, and the image with it, is gone
}

void ICanvasNanoVG::DeleteMainFramebuffer()
{
    if (mMainFramebuffer)
    {
        DeleteFramebuffer(mMainFramebuffer);
        mMainFramebuffer = nullptr;
    }
}

void ICanvasNanoVG::DeferFramebufferDelete(NVGLUframebuffer* fb)
{
    if (!fb)
        return;
    if (mInFrame)
    {
        MutexLock lock(mDeferredLock);
        mDeferred.push_back(fb);
        return;
    }
    DeleteFramebuffer(fb);
}

void ICanvasNanoVG::FlushDeferredFramebuffers()
{
    MutexLock lock(mDeferredLock);
    while (!mDeferred.empty())
    {
        NVGLUframebuffer* fb = mDeferred.back();
        mDeferred.pop_back();
        DeleteFramebuffer(fb);
    }
}

int ICanvasNanoVG::NDeferredFramebuffers()
{
    MutexLock lock(mDeferredLock);
    return static_cast<int>(mDeferred.size());
}

// ---- Blending

void ICanvasNanoVG::SetBlend(const IBlendSpec* blend)
{
    if (!blend || blend->kind < 0 || blend->kind >= static_cast<int>(std::size(kBlendFactors)))
        return;
    const BlendFactors& f = kBlendFactors[blend->kind];
    nvgGlobalCompositeBlendFunc(mVG, f.src, f.dst);
}

void ICanvasNanoVG::ResetBlend()
{
    nvgGlobalCompositeBlendFunc(mVG, NVG_ONE, NVG_ONE_MINUS_SRC_ALPHA);
}

// ---- Paths

void ICanvasNanoVG::PathClear()
{
    if (mVG)
        nvgBeginPath(mVG);
}

void ICanvasNanoVG::PathClose()
{
    if (mVG)
        nvgClosePath(mVG);
}

void ICanvasNanoVG::PathArc(float cx, float cy, float r, float a1, float a2, EWinding winding)
{
    if (mVG)
        nvgArc(mVG,
               cx,
               cy,
               r,
               ToNvgAngle(a1),
               ToNvgAngle(a2),
               winding == EWinding::CW ? NVG_CW : NVG_CCW);
}

void ICanvasNanoVG::PathMoveTo(float x, float y)
{
    if (mVG)
        nvgMoveTo(mVG, x, y);
}

void ICanvasNanoVG::PathLineTo(float x, float y)
{
    if (mVG)
        nvgLineTo(mVG, x, y);
}

void ICanvasNanoVG::PathSetWinding(bool clockwise)
{
    if (mVG)
        nvgPathWinding(mVG, clockwise ? NVG_HOLE : NVG_SOLID);
}

void ICanvasNanoVG::PathCubicBezierTo(
    float c1x, float c1y, float c2x, float c2y, float x2, float y2)
{
    if (mVG)
        nvgBezierTo(mVG, c1x, c1y, c2x, c2y, x2, y2);
}

void ICanvasNanoVG::PathQuadraticBezierTo(float cx, float cy, float x2, float y2)
{
    if (!mVG)
        return;
    // NanoVG's own quadratic form reads the current point the same way.
    nvgQuadTo(mVG, cx, cy, x2, y2);
}

void ICanvasNanoVG::PathFill(const IFillPattern& pattern,
                             const IFillStyle& style,
                             const IBlendSpec* blend)
{
    if (!mVG)
        return;
    // The rule that keeps windings (SVG shapes) leaves every sub-path as it was set, so holes
    // stay holes.
    if (style.rule == EFillRule::Winding)
        nvgPathWinding(mVG, NVG_SOLID);
    else if (style.rule == EFillRule::EvenOdd)
        nvgPathWinding(mVG, NVG_HOLE);
    const float weight = BlendWeight(blend);
    if (pattern.type == EPatternType::Solid)
        nvgFillColor(mVG, ToNvgColor(pattern.stops[0].color, weight));
    else
        nvgFillPaint(mVG, PatternPaint(mVG, pattern, weight));
    SetBlend(blend);
    nvgFill(mVG);
    ResetBlend();
    if (!style.preserve)
        nvgBeginPath(mVG);
}

void ICanvasNanoVG::PathStroke(const IFillPattern& pattern,
                               float thickness,
                               const IStrokeStyle& style,
                               const IBlendSpec* blend)
{
    if (!mVG)
        return;
    static constexpr int kCaps[] = {NVG_BUTT, NVG_ROUND, NVG_SQUARE};
    static constexpr int kJoins[] = {NVG_MITER, NVG_ROUND, NVG_BEVEL};
    const int cap = static_cast<int>(style.cap);
    const int join = static_cast<int>(style.join);
    nvgLineCap(mVG, cap >= 0 && cap < 3 ? kCaps[cap] : NVG_BUTT);
    nvgLineJoin(mVG, join >= 0 && join < 3 ? kJoins[join] : NVG_MITER);
    nvgMiterLimit(mVG, style.miterLimit);
    nvgStrokeWidth(mVG, thickness);
    const float weight = BlendWeight(blend);
    if (pattern.type == EPatternType::Solid)
        nvgStrokeColor(mVG, ToNvgColor(pattern.stops[0].color, weight));
    else
        nvgStrokePaint(mVG, PatternPaint(mVG, pattern, weight));
    nvgPathWinding(mVG, NVG_SOLID);
    SetBlend(blend);
    nvgStroke(mVG);
    ResetBlend();
    if (!style.preserve)
        nvgBeginPath(mVG);
}

void ICanvasNanoVG::PathTransformSetMatrix(const IAffineTransform& m)
{
    if (!mVG)
        return;
    nvgResetTransform(mVG);
    nvgScale(mVG, GetDrawScale(), GetDrawScale());
    if (const IOffscreenLayer* top = GetTopLayer())
        nvgTranslate(mVG, -top->GetBounds().L, -top->GetBounds().T);
    nvgTransform(mVG,
                 static_cast<float>(m.xx),
                 static_cast<float>(m.yx),
                 static_cast<float>(m.xy),
                 static_cast<float>(m.yy),
                 static_cast<float>(m.tx),
                 static_cast<float>(m.ty));
}

void ICanvasNanoVG::SetClipRegion(const IBounds& r)
{
    if (!mVG)
        return;
    if (mTarget.pixelHeight > 0)
    {
        // The GL scissor: the clip in the target's pixels, rounded outward, rows from the bottom.
        float left = 0.f;
        float top = 0.f;
        if (const IOffscreenLayer* layer = GetTopLayer())
        {
            left = layer->GetBounds().L;
            top = layer->GetBounds().T;
        }
        const float s = GetTotalScale();
        const int x0 = static_cast<int>(std::floor((r.L - left) * s));
        const int y0 = static_cast<int>(std::floor((r.T - top) * s));
        const int x1 = std::max(x0, static_cast<int>(std::ceil((r.R - left) * s)));
        const int y1 = std::max(y0, static_cast<int>(std::ceil((r.B - top) * s)));
        const ScissorBox box{x0, mTarget.pixelHeight - y1, x1 - x0, y1 - y0};
        // A clip inside the scissor box needs no new one (NanoVG still clips exactly), so a
        // frame's controls share the box of the dirty area they are drawn in.
        if (!mHardwareClip || !mScissor.Contains(box))
        {
            // What was drawn so far keeps the box it was drawn under.
            nvgEndFrame(mVG);
            glScissor(box.x, box.y, box.w, box.h);
            glEnable(GL_SCISSOR_TEST);
            gl::KeepScissorTest(true);
            mHardwareClip = true;
            mScissor = box;
            nvgBeginFrame(mVG, mTarget.width, mTarget.height, GetScreenScale());
            PathTransformSetMatrix(GetTransform());
        }
    }
    nvgScissor(mVG, r.L, r.T, r.W(), r.H());
}

// ---- Dashed lines and shadows

void ICanvasNanoVG::DrawDottedLine(const IArgbColor& color,
                                   float x1,
                                   float y1,
                                   float x2,
                                   float y2,
                                   const IBlendSpec* blend,
                                   float thickness,
                                   float dashLength)
{
    if (!mVG)
        return;
    const float dx = x2 - x1;
    const float dy = y2 - y1;
    const float n = dashLength > 0.f ? std::round(std::sqrt(dx * dx + dy * dy) / dashLength) : 0.f;
    nvgBeginPath(mVG);
    nvgMoveTo(mVG, x1, y1);
    for (float i = 1.f; i < n; i += 2.f)
    {
        nvgLineTo(mVG, x1 + dx * i / n, y1 + dy * i / n);
        nvgMoveTo(mVG, x1 + dx * (i + 1.f) / n, y1 + dy * (i + 1.f) / n);
    }
    PathStroke(IFillPattern::Solid(color), thickness, IStrokeStyle(), blend);
}

void ICanvasNanoVG::DrawDottedRect(const IArgbColor& color,
                                   const IBounds& bounds,
                                   const IBlendSpec* blend,
                                   float thickness,
                                   float dashLength)
{
    if (!mVG || !(dashLength > 0.f))
        return;
    const int nx = static_cast<int>(std::ceil(bounds.W() / (2.f * dashLength)));
    const int ny = static_cast<int>(std::ceil(bounds.H() / (2.f * dashLength)));
    auto hold = [](float v, float lo, float hi) { return std::clamp(v, lo, hi); };
    nvgBeginPath(mVG);
    float x = bounds.L;
    float y = bounds.T;
    nvgMoveTo(mVG, x, y);
    for (int pass = 0; pass < 2; ++pass)
    {
        const float d = pass == 0 ? dashLength : -dashLength;
        for (int i = 0; i < nx; ++i)
        {
            nvgLineTo(mVG, hold(x + d, bounds.L, bounds.R), y);
            x = hold(x + 2.f * d, bounds.L, bounds.R);
            nvgMoveTo(mVG, x, y);
        }
        for (int i = 0; i < ny; ++i)
        {
            nvgLineTo(mVG, x, hold(y + d, bounds.T, bounds.B));
            y = hold(y + 2.f * d, bounds.T, bounds.B);
            nvgMoveTo(mVG, x, y);
        }
    }
    PathStroke(IFillPattern::Solid(color), thickness, IStrokeStyle(), blend);
}

void ICanvasNanoVG::DrawBoxShadow(const IBounds& inner,
                                  const IBounds& outer,
                                  float offset,
                                  float roundness,
                                  float blur,
                                  const IBlendSpec* blend)
{
    if (!mVG)
        return;
    const float weight = BlendWeight(blend);
    nvgBeginPath(mVG);
    nvgRect(mVG, outer.L, outer.T, outer.W(), outer.H());
    nvgFillPaint(mVG,
                 nvgBoxGradient(mVG,
                                inner.L + offset,
                                inner.T + offset,
                                inner.W(),
                                inner.H(),
                                roundness,
                                std::max(1.f, blur),
                                nvgRGBAf(0.f, 0.f, 0.f, 128.f / 255.f * weight),
                                nvgRGBAf(0.f, 0.f, 0.f, 0.f)));
    SetBlend(blend);
    nvgFill(mVG);
    ResetBlend();
    nvgBeginPath(mVG);
}

// ---- Bitmaps

bool ICanvasNanoVG::IsBitmapFormatSupported(const char* extension) const
{
    if (!extension)
        return false;
    char lower[32] = {};
    for (int i = 0; i < 31 && extension[i]; ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(extension[i])));
    return std::strstr(lower, "png") || std::strstr(lower, "jpg") || std::strstr(lower, "jpeg");
}

void ICanvasNanoVG::DrawBitmap(
    const IBitmapHandle& handle, const IBounds& dest, int srcX, int srcY, const IBlendSpec* blend)
{
    auto* bitmap = static_cast<Bitmap*>(handle.GetAPIBitmap());
    if (!mVG || !bitmap || bitmap->GetImage() <= 0)
        return;
    const float s = bitmap->PixelsPerUnit() > 0.f ? bitmap->PixelsPerUnit() : 1.f;
    NVGpaint paint = nvgImagePattern(mVG,
                                     0.f,
                                     0.f,
                                     static_cast<float>(bitmap->GetWidth()),
                                     static_cast<float>(bitmap->GetHeight()),
                                     0.f,
                                     bitmap->GetImage(),
                                     BlendWeight(blend));
    // Image pixels to editor units, the source offset at the destination's corner.
    nvgTransformScale(paint.xform, 1.f / s, 1.f / s);
    paint.xform[4] = dest.L - static_cast<float>(srcX);
    paint.xform[5] = dest.T - static_cast<float>(srcY);
    nvgBeginPath(mVG);
    nvgRect(mVG, dest.L, dest.T, dest.W(), dest.H());
    nvgFillPaint(mVG, paint);
    SetBlend(blend);
    nvgFill(mVG);
    ResetBlend();
    nvgBeginPath(mVG);
}

std::unique_ptr<APIBitmap>
ICanvasNanoVG::LoadApiBitmapFromData(const char*, const void* data, int size, int scale)
{
    if (!mVG || !data || size <= 0)
        return nullptr;
    ActivateGLContext();
    const int image =
        nvgCreateImageMem(mVG, 0, static_cast<unsigned char*>(const_cast<void*>(data)), size);
    DeactivateGLContext();
    return std::unique_ptr<APIBitmap>(new (std::nothrow)
                                          Bitmap(*this, image, static_cast<float>(scale)));
}

std::unique_ptr<APIBitmap> ICanvasNanoVG::LoadApiBitmap(const char* location,
                                                        int scale,
                                                        ResourceLocation kind,
                                                        const char* extension)
{
    if (!mVG)
        return nullptr;
    int image = 0;
    ActivateGLContext();
    if (kind == ResourceLocation::ModuleResource)
    {
        int32_t size = 0;
        void* module = GetPlatformInstance() ? GetPlatformInstance() : GetModuleInstance();
        const void* bytes = LoadModuleResource(location, extension, size, module);
        if (bytes)
            image = nvgCreateImageMem(
                mVG, 0, static_cast<unsigned char*>(const_cast<void*>(bytes)), size);
    }
    else if (kind == ResourceLocation::FilePath)
    {
        HeapBuffer bytes;
        if (LoadResource(location, extension, bytes) && bytes.Size() > 0)
            image =
                nvgCreateImageMem(mVG, 0, static_cast<unsigned char*>(bytes.Get()), bytes.Size());
    }
    DeactivateGLContext();
    const bool owned = kind != ResourceLocation::PreloadedImage;
    return std::unique_ptr<APIBitmap>(
        new (std::nothrow) Bitmap(*this, image, static_cast<float>(scale), 1.f, owned));
}

std::unique_ptr<APIBitmap>
ICanvasNanoVG::CreateApiBitmap(int width, int height, float scale, float drawScale, bool)
{
    if (!mVG || width <= 0 || height <= 0)
        return nullptr;
    const bool inFrame = mInFrame;
    if (inFrame)
        nvgEndFrame(mVG);
    NVGLUframebuffer* fb = nvgluCreateFramebuffer(mVG, width, height, 0);
    if (fb)
    {
        BindFramebuffer(fb);
        ClearTarget(width, height);
        nvgBeginFrame(mVG, static_cast<float>(width), static_cast<float>(height), 1.f);
        nvgEndFrame(mVG);
    }
    if (inFrame)
        BeginWindowFrame();
    if (!fb)
        return nullptr;
    std::unique_ptr<APIBitmap> bitmap(new (std::nothrow)
                                          Bitmap(*this, fb, width, height, scale, drawScale));
    if (!bitmap)
        DeleteFramebuffer(fb);
    return bitmap;
}

void ICanvasNanoVG::GetLayerBitmapData(ILayerPtr& layer, HeapBuffer& data)
{
    APIBitmap* bitmap = layer ? layer->GetAPIBitmap() : nullptr;
    if (!mVG || !bitmap)
    {
        data.Resize(0);
        return;
    }
    const int64_t size = static_cast<int64_t>(bitmap->GetWidth()) * bitmap->GetHeight() * 4;
    if (size <= 0 || size > INT32_MAX || data.Resize(static_cast<int32_t>(size)) == nullptr)
    {
        data.Resize(0);
        return;
    }
    PushLayer(std::move(layer));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(
        0, 0, bitmap->GetWidth(), bitmap->GetHeight(), GL_RGBA, GL_UNSIGNED_BYTE, data.Get());
    layer = PopLayer();
}

void ICanvasNanoVG::ApplyShadowMask(ILayerPtr& layer, HeapBuffer& mask, const ILayerShadow& shadow)
{
    APIBitmap* bitmap = layer ? layer->GetAPIBitmap() : nullptr;
    if (!mVG || !bitmap)
        return;
    const int w = bitmap->GetWidth();
    const int h = bitmap->GetHeight();
    if (mask.Size() < static_cast<int64_t>(w) * h * 4)
        return;
    const IBounds bounds = layer->GetBounds();

    if (!shadow.drawForeground)
    {
        // Only the shadow is wanted: the layer is cleared first.
        PushLayer(std::move(layer));
        nvgBeginPath(mVG);
        nvgRect(mVG, bounds.L, bounds.T, bounds.W(), bounds.H());
        nvgGlobalCompositeBlendFunc(mVG, NVG_ZERO, NVG_ZERO);
        nvgFillColor(mVG, nvgRGBA(0, 0, 0, 0));
        nvgFill(mVG);
        ResetBlend();
        layer = PopLayer();
    }

    // The mask's rows come bottom-up, as the layer's were read.
    const int maskImage = nvgCreateImageRGBA(
        mVG, w, h, NVG_IMAGE_FLIPY, static_cast<const unsigned char*>(mask.Get()));
    const float scale = static_cast<Bitmap*>(bitmap)->PixelsPerUnit() / bitmap->GetDrawScale();
    Bitmap maskBitmap(*this, maskImage, scale, bitmap->GetDrawScale());
    std::unique_ptr<APIBitmap> target = CreateApiBitmap(w, h, scale, bitmap->GetDrawScale());
    if (!target || maskImage <= 0)
        return;
    ILayerPtr shadowLayer(new (std::nothrow)
                              IOffscreenLayer(std::move(target), bounds, nullptr, IBounds()));
    if (!shadowLayer)
        return;

    PathTransformSave();
    PushLayer(std::move(layer));
    PushLayer(std::move(shadowLayer));
    const IBitmapHandle maskHandle(&maskBitmap, 1, false, "");
    DrawBitmap(maskHandle, bounds, 0, 0, nullptr);

    // The shadow's paint, moved by its offset, takes the shape of the mask (source in).
    nvgBeginPath(mVG);
    nvgRect(mVG, bounds.L, bounds.T, bounds.W(), bounds.H());
    PathTransformTranslate(-shadow.xOffset, -shadow.yOffset);
    const IBlendSpec sourceIn{1, 1.f};
    PathFill(shadow.pattern, IFillStyle(), &sourceIn);
    shadowLayer = PopLayer();

    const IBlendSpec destinationOver{4, std::clamp(shadow.opacity, 0.f, 1.f)};
    const IBitmapHandle shadowHandle(shadowLayer->GetAPIBitmap(), 1, false, "");
    PathTransformReset();
    DrawBitmap(shadowHandle,
               IBounds(bounds.L + shadow.xOffset,
                       bounds.T + shadow.yOffset,
                       bounds.R + shadow.xOffset,
                       bounds.B + shadow.yOffset),
               0,
               0,
               &destinationOver);
    layer = PopLayer();
    PathTransformRestore();
}

// ---- Fonts and text

bool ICanvasNanoVG::LoadApiFont(const char* fontID, const PlatformFontPtr& font)
{
    if (!mVG)
        return false;
    const FontKey key(fontID);
    ResourceCache<PlatformFontData>& cache = FontDataCache();
    MutexLock lock(cache.GetMutex());
    if (PlatformFontData* cached = cache.Find(fontID, 1.0))
    {
        nvgCreateFontMemAtIndex(mVG,
                                key.text,
                                static_cast<unsigned char*>(cached->bytes.Get()),
                                cached->bytes.Size(),
                                0,
                                cached->faceIndex);
        return true;
    }
    if (!font)
        return false;
    std::unique_ptr<PlatformFontData> data(font->ReadFontBytes());
    if (!data || !data->IsUsable())
        return false;
    if (nvgCreateFontMemAtIndex(mVG,
                                key.text,
                                static_cast<unsigned char*>(data->bytes.Get()),
                                data->bytes.Size(),
                                0,
                                data->faceIndex) == -1)
        return false;
    cache.Add(std::move(data), fontID, 1.0);
    return true;
}

int ICanvasNanoVG::NFontDataUsers()
{
    return FontDataCache().NUsers();
}

int ICanvasNanoVG::NFontDataEntries()
{
    return FontDataCache().NEntries();
}

bool ICanvasNanoVG::PrepareAndMeasureText(
    const ITextStyle& style, const char* text, IBounds& bounds, float& x, float& y)
{
    const int face = mVG ? nvgFindFont(mVG, FontKey(style.font).text) : -1;
    if (face < 0)
    {
        bounds = IBounds();
        return false;
    }
    nvgFontSize(mVG, style.size);
    nvgFontFaceId(mVG, face);
    int valign = NVG_ALIGN_MIDDLE;
    switch (style.valign)
    {
    case EVAlign::Top:
        valign = NVG_ALIGN_TOP;
        y = bounds.T;
        break;
    case EVAlign::Bottom:
        valign = NVG_ALIGN_BOTTOM;
        y = bounds.B;
        break;
    default:
        y = bounds.MH();
        break;
    }
    x = AlignedX(style.align, bounds);
    nvgTextAlign(mVG, HorizontalAlign(style.align) | valign);
    float box[4] = {};
    nvgTextBounds(mVG, x, y, text, nullptr, box);
    bounds = IBounds(box[0], box[1], box[2], box[3]);
    return true;
}

float ICanvasNanoVG::DoMeasureText(const ITextStyle& style, const char* text, IBounds& bounds)
{
    float x = 0.f;
    float y = 0.f;
    PrepareAndMeasureText(style, text, bounds, x, y);
    OffsetBoundsForTextRotation(style, bounds);
    return bounds.W();
}

void ICanvasNanoVG::DoDrawText(const ITextStyle& style,
                               const char* text,
                               const IBounds& bounds,
                               const IBlendSpec* blend)
{
    IBounds measured = bounds;
    float x = 0.f;
    float y = 0.f;
    if (!PrepareAndMeasureText(style, text, measured, x, y))
        return;
    PathTransformSave();
    if (style.angle != 0.f)
    {
        double dx = 0.0;
        double dy = 0.0;
        CalculateTextRotation(style, bounds, measured, dx, dy);
        PathTransformTranslate(static_cast<float>(dx), static_cast<float>(dy));
        PathTransformRotate(style.angle);
    }
    nvgFillColor(mVG, ToNvgColor(style.color, BlendWeight(blend)));
    SetBlend(blend);
    nvgText(mVG, x, y, text, nullptr);
    ResetBlend();
    PathTransformRestore();
}

void ICanvasNanoVG::DrawMultiLineText(const ITextStyle& style,
                                      const char* text,
                                      const IBounds& bounds,
                                      const IBlendSpec* blend)
{
    if (!mVG || !text || !*text)
        return;
    const int face = nvgFindFont(mVG, FontKey(style.font).text);
    if (face < 0)
        return;
    nvgSave(mVG);
    nvgFontSize(mVG, style.size);
    nvgFontFaceId(mVG, face);
    // Rows are placed by their tops: the block of rows as a whole is aligned in the bounds.
    nvgTextAlign(mVG, HorizontalAlign(style.align) | NVG_ALIGN_TOP);
    const float x = AlignedX(style.align, bounds);
    const float f = VerticalFactor(style.valign);
    const float y = bounds.T + bounds.H() * f;
    nvgFillColor(mVG, ToNvgColor(style.color, BlendWeight(blend)));
    float lineHeight = 0.f;
    nvgTextMetrics(mVG, nullptr, nullptr, &lineHeight);

    const char* end = text + std::strlen(text);
    NVGtextRow rows[3];
    int nRows = 0;
    for (const char* start = text; start < end;)
    {
        const int n = nvgTextBreakLines(mVG, start, end, bounds.W(), rows, 3);
        if (n == 0)
            break;
        nRows += n;
        start = rows[n - 1].next;
    }
    const float top = y - nRows * lineHeight * f;
    SetBlend(blend);
    int k = 0;
    for (const char* start = text; start < end;)
    {
        const int n = nvgTextBreakLines(mVG, start, end, bounds.W(), rows, 3);
        if (n == 0)
            break;
        for (int i = 0; i < n; ++i, ++k)
            nvgText(mVG, x, top + k * lineHeight, rows[i].start, rows[i].end);
        start = rows[n - 1].next;
    }
    ResetBlend();
    nvgRestore(mVG);
}

// ---- Read-back

bool ICanvasNanoVG::ReadMainFramebuffer(HeapBuffer& pixels, int& width, int& height)
{
    if (!mVG || !mMainFramebuffer)
        return false;
    nvgImageSize(mVG, mMainFramebuffer->image, &width, &height);
    const int64_t size = static_cast<int64_t>(width) * height * 4;
    if (size <= 0 || size > INT32_MAX || !pixels.Resize(static_cast<int32_t>(size)))
        return false;
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    BindFramebuffer(mMainFramebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.Get());
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
    // GL rows come bottom-up.
    auto* p = static_cast<uint8_t*>(pixels.Get());
    const size_t row = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height / 2; ++y)
        std::swap_ranges(p + row * y, p + row * (y + 1), p + row * (height - 1 - y));
    return true;
}

} // namespace plugkit::canvas::platform
