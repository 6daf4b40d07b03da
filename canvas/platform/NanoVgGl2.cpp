// The one translation unit that compiles NanoVG's GL2 back end and its framebuffer helpers.
// Without NANOVG_FBO_VALID the helpers' framebuffer creation returns null on GL2.
#define NANOVG_GL2_IMPLEMENTATION 1
#define NANOVG_FBO_VALID 1

#include "canvas/platform/GlLoader.h"

namespace plugkit::canvas::platform::gl
{

namespace
{
// Per thread, as GL contexts are current per thread.
thread_local bool gKeepScissorTest = false;
} // namespace

void KeepScissorTest(bool keep)
{
    gKeepScissorTest = keep;
}

/// NanoVG's glDisable: its flush turns the scissor test off before drawing, which would undo the
/// back end's clip rectangle.
void NanoVgDisable(GLenum capability)
{
    if (capability == GL_SCISSOR_TEST && gKeepScissorTest)
        return;
    glDisable(capability);
}

} // namespace plugkit::canvas::platform::gl

#define glDisable ::plugkit::canvas::platform::gl::NanoVgDisable
#include "canvas/platform/NanoVgGl.h"
