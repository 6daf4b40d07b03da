#pragma once

#include "canvas/platform/nanovg/ICanvasNanoVG.h"
#include "tests/support/headless/HeadlessGlContext.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace lumenfall::test
{

/// The NanoVG back end in a headless GL context, for drawing tests and benchmarks: an editor of
/// `width` x `height` units at a draw scale and a screen scale, with its view created and its
/// main framebuffer made. Platform calls (windows, clipboard, dialogs) do nothing.
///
/// Fonts: natively a font file's bytes are handed to the back end as they are; on Windows the
/// platform's own font layer loads them (private memory fonts, read back through GDI).
class HeadlessCanvas : public plugkit::canvas::platform::ICanvasNanoVG
{
public:
    HeadlessCanvas(plugkit::canvas::ICanvasEditorDelegate& dlg,
                   int width,
                   int height,
                   float drawScale = 1.f,
                   float screenScale = 1.f);
    ~HeadlessCanvas() override;

    /// The GL context, the NanoVG context and the main framebuffer all exist.
    bool IsValid() const { return mValid; }
    HeadlessGlContext& GetContext() { return *mContext; }

    /// One display tick: animations, dirty areas, drawing; false when nothing was dirty.
    bool DrawDirtyFrame();
    /// Draws every control, as the first frame of an opened editor does.
    void DrawFullFrame();

    /// The main framebuffer's pixels, top row first.
    std::vector<uint8_t> ReadPixels(int& width, int& height);
    /// The main framebuffer's pixel at (x, y) device pixels as A, R, G, B.
    plugkit::canvas::IArgbColor PixelAt(int x, int y);
    /// The main framebuffer as a PNG file; false on failure.
    bool WritePng(const char* path);

    void ActivateGLContext() override;
    void DeactivateGLContext() override {}
    void DrawResize() override;

    void* OpenWindow(void*) override { return nullptr; }
    void CloseWindow() override {}
    void* GetWindow() override { return mContext->GetWindow(); }
    bool GetMouseLocation(float& x, float& y) const override;
    void MoveMouseCursor(float, float) override {}
    bool GetTextFromClipboard(plugkit::HeapString& text) override;
    bool SetTextInClipboard(const char*) override { return false; }
    int ShowMessageBox(const char*,
                       const char*,
                       int,
                       plugkit::canvas::IMsgBoxCompletionHandlerFunc = nullptr) override;
    void PromptForFile(plugkit::HeapString&,
                       plugkit::HeapString&,
                       plugkit::canvas::EFileAction = plugkit::canvas::EFileAction::Open,
                       const char* = "",
                       plugkit::canvas::IFileDialogCompletionHandlerFunc = nullptr) override
    {
    }
    void PromptForDirectory(plugkit::HeapString&,
                            plugkit::canvas::IFileDialogCompletionHandlerFunc = nullptr) override
    {
    }
    bool PromptForColor(plugkit::canvas::IArgbColor&,
                        const char* = "",
                        plugkit::canvas::IColorPickerHandlerFunc = nullptr) override
    {
        return false;
    }
    bool OpenURL(const char*,
                 const char* = nullptr,
                 const char* = nullptr,
                 const char* = nullptr) override
    {
        return false;
    }
    plugkit::canvas::PlatformFontPtr LoadPlatformFontByName(
        const char* fontID, const char* fontName, plugkit::canvas::ETextStyle style) override;
    plugkit::canvas::PlatformFontPtr
    LoadPlatformFontFromMemory(const char* fontID, const void* data, int size) override;
    plugkit::canvas::PlatformFontPtr LoadPlatformFontFile(const char* fontID,
                                                          const char* fileNameOrResID) override;
    void CachePlatformFont(const char* fontID,
                           const plugkit::canvas::PlatformFontPtr& font) override;

protected:
    /// The window stand-in is a framebuffer object.
    bool WindowKeepsPixels() const override { return true; }

private:
    std::unique_ptr<HeadlessGlContext> mContext;
    bool mValid = false;
};

} // namespace lumenfall::test
