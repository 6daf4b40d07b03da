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
