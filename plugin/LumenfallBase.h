#pragma once

// The host adapter that `Lumenfall` derives from, one per deliverable. Each deliverable compiles
// the class with exactly one of these definitions (see plugin/CMakeLists.txt); every adapter
// is constructed from the plug-in's `plugkit::PluginConfig`.
#if defined(LUMENFALL_BASE_VST3)
#include "plugkit/vst3/IPluginVst3.h"
namespace lumenfall
{
using LumenfallBase = plugkit::IPluginVst3;
} // namespace lumenfall
#elif defined(LUMENFALL_BASE_APP)
#include "plugkit/app/IPluginApp.h"
namespace lumenfall
{
using LumenfallBase = plugkit::IPluginApp;
} // namespace lumenfall
#elif defined(LUMENFALL_BASE_TEST)
// The test tree supplies its recording adapter through an include path of its own; the header
// defines lumenfall::LumenfallBase.
#include "LumenfallTestBase.h"
#else
#error "Build Lumenfall with one of LUMENFALL_BASE_VST3, LUMENFALL_BASE_APP, LUMENFALL_BASE_TEST"
#endif
