#include "canvas/platform/GlLoader.h"

#if !defined(_WIN32)
#include <EGL/egl.h>
#endif

#include <cstdint>

namespace plugkit::canvas::platform::gl
{

#define PLUGKIT_GL_DEFINE(type, name) type name = nullptr;
PLUGKIT_GL_ENTRY_POINTS(PLUGKIT_GL_DEFINE)
#undef PLUGKIT_GL_DEFINE

Proc PlatformProcLookup(const char* name)
{
#if defined(_WIN32)
    PROC p = wglGetProcAddress(name);
    // Some drivers answer an unknown name with a small integer instead of null.
    const intptr_t value = reinterpret_cast<intptr_t>(p);
    if (value >= -1 && value <= 3)
        return nullptr;
    return reinterpret_cast<Proc>(p);
#else
    return reinterpret_cast<Proc>(eglGetProcAddress(name));
#endif
}

bool LoadEntryPoints(ProcLookup lookup, const char** missing)
{
    const char* firstMissing = nullptr;
#define PLUGKIT_GL_LOAD(type, name)                                                                \
    name = reinterpret_cast<type>(lookup("gl" #name));                                             \
    if (!name && !firstMissing)                                                                    \
        firstMissing = "gl" #name;
    PLUGKIT_GL_ENTRY_POINTS(PLUGKIT_GL_LOAD)
#undef PLUGKIT_GL_LOAD

    if (!firstMissing)
        return true;
#define PLUGKIT_GL_CLEAR(type, name) name = nullptr;
    PLUGKIT_GL_ENTRY_POINTS(PLUGKIT_GL_CLEAR)
#undef PLUGKIT_GL_CLEAR
    if (missing)
        *missing = firstMissing;
    return false;
}

} // namespace plugkit::canvas::platform::gl
