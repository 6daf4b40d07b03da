#include "tests/support/app/PngImage.h"

// The decoder stays private to this file: other test libraries carry stb copies of their own.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_WINDOWS_UTF8
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace lumenfall::test
{

bool ReadPng(const std::string& path, PngImage& image)
{
    int channels = 0;
    unsigned char* pixels = stbi_load(path.c_str(), &image.width, &image.height, &channels, 4);
    if (!pixels)
        return false;
    image.rgba.assign(pixels, pixels + size_t(image.width) * image.height * 4);
    stbi_image_free(pixels);
    return true;
}

} // namespace lumenfall::test
