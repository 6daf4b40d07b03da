// The one translation unit that compiles NanoVG's GL2 back end and its framebuffer helpers.
// Without NANOVG_FBO_VALID the helpers' framebuffer creation returns null on GL2.
#define NANOVG_GL2_IMPLEMENTATION 1
#define NANOVG_FBO_VALID 1
#include "canvas/platform/NanoVgGl.h"
