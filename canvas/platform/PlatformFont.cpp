#include "canvas/platform/PlatformFont.h"

#include <new>

namespace plugkit::canvas::platform
{

std::unique_ptr<PlatformFontData> PlatformFont::ReadFontBytes() const
{
    return std::unique_ptr<PlatformFontData>(new (std::nothrow) PlatformFontData());
}

} // namespace plugkit::canvas::platform
