#pragma once

#include "canvas/ICanvas.h"
#include "plugkit/Mutex.h"

#include <deque>

struct NVGcontext;
struct NVGLUframebuffer;

namespace plugkit::canvas::platform
{

/// The drawing back end: every path, text, bitmap and layer of the toolkit drawn through NanoVG
/// on OpenGL 2. The editor is drawn into one offscreen framebuffer of the window's size (the
/// main framebuffer), only inside the dirty areas; each frame ends by drawing that framebuffer
/// as one image into the window's framebuffer. Layers are further framebuffers.
///
/// The window layer derives from it and supplies the GL context: every call here runs on the UI
/// thread with that context current (`ActivateGLContext` makes it so where a call may come from
/// outside a frame). Without a NanoVG context (before `OnViewCreated`, or when its creation
/// failed) frames, paths, text and bitmaps draw nothing.
///
/// Fonts: the bytes handed to NanoVG are kept once per process, shared by every editor, and
/// freed when the last back end goes. Bitmaps belong to this back end's GL context (the
/// toolkit's bitmap cache of this object holds them).
class ICanvasNanoVG : public ICanvas
{
public:
    class Bitmap;

    ICanvasNanoVG(
        ICanvasEditorDelegate& dlg, int width, int height, int fps = 60, float scale = 1.f);
    ~ICanvasNanoVG() override;

    void BeginFrame() override;
    /// Creates the NanoVG context; the GL context must be current.
    void OnViewCreated() override;
    /// Deletes every control and bitmap, the main framebuffer and the NanoVG context; the GL
    /// context must be current.
    void OnViewDestroyed() override;
    void EndFrame() override;

    void DrawBitmap(const IBitmapHandle& bitmap,
                    const IBounds& dest,
                    int srcX,
                    int srcY,
                    const IBlendSpec* blend = nullptr) override;
    void DrawDottedLine(const IArgbColor& color,
                        float x1,
                        float y1,
                        float x2,
                        float y2,
                        const IBlendSpec* blend = nullptr,
                        float thickness = 1.f,
                        float dashLength = 2.f) override;
    void DrawDottedRect(const IArgbColor& color,
                        const IBounds& bounds,
                        const IBlendSpec* blend = nullptr,
                        float thickness = 1.f,
                        float dashLength = 2.f) override;
    void DrawMultiLineText(const ITextStyle& style,
                           const char* text,
                           const IBounds& bounds,
                           const IBlendSpec* blend = nullptr) override;

    void* GetDrawContext() override { return mVG; }
    const char* GetDrawingApiName() override { return "NanoVG | GL2"; }
    /// Opaque black wherever (x, y) is: reading one pixel back would stall the GL pipeline
    /// mid-frame, so this back end does not; callers get a defined colour, not garbage.
    IArgbColor GetPixelColor(float x, float y) const
    {
        (void)x;
        (void)y;
        return kColorBlack;
    }
    /// True for extensions containing "png", "jpg" or "jpeg" in any letter case.
    bool IsBitmapFormatSupported(const char* extension) const override;

    void DrawBoxShadow(const IBounds& inner,
                       const IBounds& outer,
                       float offset,
                       float roundness,
                       float blur,
                       const IBlendSpec* blend = nullptr) override;

    /// The layer's pixels as RGBA rows, bottom row first.
    void GetLayerBitmapData(ILayerPtr& layer, HeapBuffer& data) override;
    void ApplyShadowMask(ILayerPtr& layer, HeapBuffer& mask, const ILayerShadow& shadow) override;
    void UpdateLayer() override;

    void PathClear() override;
    void PathClose() override;
    void PathArc(float cx, float cy, float r, float a1, float a2, EWinding winding) override;
    void PathMoveTo(float x, float y) override;
    void PathLineTo(float x, float y) override;
    /// Holes (clockwise) subtract from the fill; the fill rule that keeps windings leaves them.
    void PathSetWinding(bool clockwise) override;
    void PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) override;
    void PathQuadraticBezierTo(float cx, float cy, float x2, float y2) override;
    void PathStroke(const IFillPattern& pattern,
                    float thickness,
                    const IStrokeStyle& style,
                    const IBlendSpec* blend = nullptr) override;
    void PathFill(const IFillPattern& pattern,
                  const IFillStyle& style,
                  const IBlendSpec* blend = nullptr) override;
    void PathTransformSetMatrix(const IAffineTransform& transform) override;
    void SetClipRegion(const IBounds& r) override;

    /// Re-creates the main framebuffer at the window's pixel size, cleared to transparent.
    void DrawResize() override;

    std::unique_ptr<APIBitmap>
    LoadApiBitmapFromData(const char* name, const void* data, int size, int scale) override;
    std::unique_ptr<APIBitmap> LoadApiBitmap(const char* location,
                                             int scale,
                                             ResourceLocation kind,
                                             const char* extension) override;
    std::unique_ptr<APIBitmap> CreateApiBitmap(
        int width, int height, float scale, float drawScale, bool cacheable = false) override;
    bool LoadApiFont(const char* fontID, const PlatformFontPtr& font) override;

    int AlphaChannelIndex() const override { return 3; }
    bool IsLayerFlipped() const override { return true; }

    float DoMeasureText(const ITextStyle& style, const char* text, IBounds& bounds) override;
    void DoDrawText(const ITextStyle& style,
                    const char* text,
                    const IBounds& bounds,
                    const IBlendSpec* blend = nullptr) override;

    /// Reads the main framebuffer: its RGBA pixels, top row first, and its size in pixels. False
    /// (and nothing read) when there is none. The GL context must be current.
    bool ReadMainFramebuffer(HeapBuffer& pixels, int& width, int& height);

    /// Framebuffers deleted during a frame wait until the frame has been drawn; this many wait
    /// now.
    int NDeferredFramebuffers();

    /// Users of the process-wide font bytes (one per existing back end) and the fonts kept.
    static int NFontDataUsers();
    static int NFontDataEntries();

protected:
    /// Whether the window's framebuffer keeps its pixels from one frame to the next (a
    /// framebuffer object, or a back buffer that is read but never swapped). A frame then copies
    /// only the area it drew into the window; otherwise (a swapped back buffer, whose pixels are
    /// undefined after a swap) the whole image. False here.
    virtual bool WindowKeepsPixels() const { return false; }
    void OnControlDrawn(const IBounds& area) override;

    /// Deletes `fb` (its GL framebuffer, renderbuffer and NanoVG image) now, or at the end of
    /// the frame when a frame is being drawn. Null is ignored.
    void DeferFramebufferDelete(NVGLUframebuffer* fb);
    /// Deletes every waiting framebuffer, the last queued first.
    void FlushDeferredFramebuffers();

private:
    /// Sets the text state for `style` and measures `text` aligned in `bounds`, writing the
    /// measured box into `bounds`; returns false (bounds all zero) when the font is unknown.
    bool PrepareAndMeasureText(
        const ITextStyle& style, const char* text, IBounds& bounds, float& x, float& y);
    void SetBlend(const IBlendSpec* blend);
    void ResetBlend();
    /// Window size in logical pixels (layout size x draw scale, truncated) and in device pixels.
    int WindowWidth() const;
    int WindowHeight() const;
    int WindowPixelWidth() const;
    int WindowPixelHeight() const;
    /// Clears the bound framebuffer's first `pixelWidth` x `pixelHeight` pixels to transparent.
    void ClearTarget(int pixelWidth, int pixelHeight);
    /// Begins a NanoVG frame of `width` x `height` logical pixels on the bound framebuffer.
    void BeginTarget(float width, float height, int pixelWidth, int pixelHeight);
    /// Binds the main framebuffer (the window's when there is none) and begins a NanoVG frame
    /// of the window's size.
    void BeginWindowFrame();
    /// Turns the GL scissor of the clip off (before clearing or drawing a whole target).
    void EndHardwareClip();
    void BindFramebuffer(NVGLUframebuffer* fb);
    void DeleteFramebuffer(NVGLUframebuffer* fb);
    void DeleteMainFramebuffer();
    /// Copies the frame's area of the main framebuffer into the window; false when the copy
    /// failed (then the window is cleared and the caller draws the frame as a quad).
    bool BlitToWindow(int pixelWidth, int pixelHeight);

    bool mInFrame = false;
    Mutex mDeferredLock;
    std::deque<NVGLUframebuffer*> mDeferred;
    NVGcontext* mVG = nullptr;
    NVGLUframebuffer* mMainFramebuffer = nullptr;
    /// The window's framebuffer in this GL context, read when the view is created.
    int mWindowFramebuffer = 0;
    /// The editor area drawn in the window this frame (empty: none yet), and whether the
    /// window's pixels are all out of date (a new view or size).
    IBounds mFrameArea;
    bool mWindowStale = true;
    /// Frames reach the window by a framebuffer copy; false (a textured quad instead) when the
    /// driver has no copy, the window is multisampled (a copy into it is refused), or the
    /// view's first copy failed. `mBlitChecked`: that first copy was checked.
    bool mBlitToWindow = false;
    bool mBlitChecked = false;

    /// The render target of the NanoVG frame being drawn: its logical size, and its height in
    /// pixels (GL counts rows from the bottom).
    struct Target
    {
        float width = 0.f;
        float height = 0.f;
        int pixelHeight = 0;
    };
    struct ScissorBox
    {
        int x = 0;
        int y = 0;
        int w = 0;
        int h = 0;

        bool Contains(const ScissorBox& o) const
        {
            return o.x >= x && o.y >= y && o.x + o.w <= x + w && o.y + o.h <= y + h;
        }
    };
    Target mTarget;
    /// The clip as a GL scissor box, on while `mHardwareClip` is set.
    bool mHardwareClip = false;
    ScissorBox mScissor;
};

/// A bitmap of this back end: a NanoVG image, or a framebuffer to draw into (a layer) with its
/// image. Made only by its back end, whose GL context must be current when it is deleted.
class ICanvasNanoVG::Bitmap : public APIBitmap
{
public:
    /// A plain image made for the resolution factor `scale` (a layer's may be fractional); its
    /// size comes from NanoVG. `owned`: delete the image with the bitmap.
    Bitmap(ICanvasNanoVG& owner, int image, float scale, float drawScale = 1.f, bool owned = true);
    /// A render target of `width` x `height` pixels made at the screen scale `scale`.
    Bitmap(ICanvasNanoVG& owner,
           NVGLUframebuffer* framebuffer,
           int width,
           int height,
           float scale,
           float drawScale);
    ~Bitmap() override;

    /// Null for a plain image.
    NVGLUframebuffer* GetFramebuffer() const { return mFramebuffer; }
    /// Image pixels per editor unit: the scale the pixels were made for times the draw scale.
    float PixelsPerUnit() const { return mPixelsPerUnit; }

private:
    ICanvasNanoVG& mOwner;
    NVGcontext* mVG;
    NVGLUframebuffer* mFramebuffer = nullptr;
    float mPixelsPerUnit;
    bool mOwned;
};

} // namespace plugkit::canvas::platform
