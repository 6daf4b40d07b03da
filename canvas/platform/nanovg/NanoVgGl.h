#pragma once

// NanoVG with its OpenGL 2 back end and framebuffer helpers, on our GL loader. Internal to the
// drawing back end: controls never call NanoVG.

#include "canvas/platform/nanovg/GlLoader.h"

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

/// nvgCreateGL2 with a fragment program per paint kind (solid colour, gradient, image, text,
/// stencil) beside NanoVG's program of every kind: each draw runs its kind's. A software
/// renderer shades every branch of a shader for every pixel, so NanoVG's one program samples a
/// texture even for a solid fill; the pixels are the same either way. Null on failure.
NVGcontext* CreateNanoVg(int flags);
/// Deletes a context of CreateNanoVg, its programs with it, in its GL context.
void DeleteNanoVg(NVGcontext* vg);
/// How many paint kinds of a CreateNanoVg context have their own program so far.
int NPaintPrograms(NVGcontext* vg);

} // namespace plugkit::canvas::platform::gl
