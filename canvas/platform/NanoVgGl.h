#pragma once

// NanoVG with its OpenGL 2 back end and framebuffer helpers, on our GL loader. Internal to the
// drawing back end: controls never call NanoVG.

#include "canvas/platform/GlLoader.h"

#include <nanovg.h>

#ifndef NANOVG_GL2
#define NANOVG_GL2 1
#endif
#include <nanovg_gl.h>
#include <nanovg_gl_utils.h>

namespace plugkit::canvas::platform::gl
{

/// NanoVG clips in its fragment shader, which still shades every fragment of a shape that the
/// clip hides: a backdrop redrawn for one small dirty area costs a whole window of fragments.
/// While `keep` is set, NanoVG's drawing leaves the GL scissor test on, so the back end's clip
/// rectangle (set with glScissor) also stops those fragments before they are shaded.
void KeepScissorTest(bool keep);

} // namespace plugkit::canvas::platform::gl
