#include "plugkit/app/ScreenshotFile.h"

#include "canvas/platform/helpers/FileUtf8.h"
#include "canvas/platform/helpers/TextConversion.h"

#include <cstdio>
#include <cstdlib>

// The encoder's functions stay private to this file, so that nothing else linked with it can
// clash with another copy.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace plugkit::app
{

namespace
{

/// Deletes the file this program just made and could not fill.
void RemoveFile(const char* path)
{
#if defined(_WIN32)
    HeapBuffer wide;
    _wremove(canvas::platform::Utf8ToWideBuffer(path, wide));
#else
    std::remove(path);
#endif
}

} // namespace

bool WritePngFile(const uint8_t* rgba, int width, int height, const char* path)
{
    if (!rgba || width <= 0 || height <= 0 || !path || !*path)
        return false;
    int size = 0;
    unsigned char* png = stbi_write_png_to_mem(rgba, width * 4, width, height, 4, &size);
    if (!png)
        return false;
    bool written = false;
    if (std::FILE* file = canvas::platform::OpenFileUtf8(path, "wb"))
    {
        // A full disk shows only in the write or the close; either leaves a broken file.
        written = std::fwrite(png, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size);
        written = std::fclose(file) == 0 && written;
        if (!written)
            RemoveFile(path);
    }
    STBIW_FREE(png);
    return written;
}

void BgrxToOpaqueRgba(uint8_t* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i, pixels += 4)
    {
        const uint8_t blue = pixels[0];
        pixels[0] = pixels[2];
        pixels[2] = blue;
        pixels[3] = 255;
    }
}

bool FormatScreenshotPath(HeapString& out,
                          const char* folder,
                          const char* product,
                          const std::tm& localTime)
{
    static constexpr int kTimeBytes = 32;
    static constexpr int kPathBytes = 4096;
    char stamp[kTimeBytes];
    if (canvas::platform::FormatTimeUtf8(stamp, sizeof(stamp), "%Y%m%d_%H%M%S", &localTime) == 0)
    {
        out.Set("");
        return false;
    }
    out.SetFormatted(kPathBytes, "%s%s_screenshot_%s.png", folder ? folder : "", product, stamp);
    return true;
}

} // namespace plugkit::app
