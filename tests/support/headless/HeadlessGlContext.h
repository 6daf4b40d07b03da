#pragma once

#include <cstdint>
#include <vector>

namespace lumenfall::test
{

/// An OpenGL context for drawing tests and benchmarks, current on the creating thread.
/// Natively: an EGL context on Mesa with no surface and no X server; its window stand-in is a
/// framebuffer object of the window's size, bound whenever the context is made current, so
/// that the back end takes it for the window's framebuffer. On Windows: a WGL context on a
/// plain top-level test window (on the test display under Wine), whose own back buffer is the
/// window framebuffer.
class HeadlessGlContext
{
public:
    /// A window of `width` x `height` pixels; check `IsValid()`.
    HeadlessGlContext(int width, int height);
    ~HeadlessGlContext();
    HeadlessGlContext(const HeadlessGlContext&) = delete;
    HeadlessGlContext& operator=(const HeadlessGlContext&) = delete;

    bool IsValid() const { return mValid; }
    /// Makes the context current and binds the window framebuffer.
    bool MakeCurrent();
    void ReleaseCurrent();
    /// Gives the window `width` x `height` pixels; the context must be current.
    void ResizeWindow(int width, int height);
    /// The window's native handle (an HWND on Windows); null natively.
    void* GetWindow() const;
    /// The GL renderer's name, for the benchmark's report.
    const char* Renderer() const;

    /// Reads `width` x `height` RGBA pixels at the origin of the framebuffer bound now, top row
    /// first.
    static std::vector<uint8_t> ReadPixelsTopDown(int width, int height);

private:
    struct Platform;
    Platform* mPlatform = nullptr;
    bool mValid = false;
};

/// Writes `width` x `height` RGBA pixels, top row first, as a PNG file; false on failure.
bool WritePng(const char* path, const uint8_t* rgba, int width, int height);

} // namespace lumenfall::test
