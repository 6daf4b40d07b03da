#pragma once

// The base of the Lumenfall class in the test tree: found through this folder's include path,
// which only the test build of the class has.
#include "tests/plugin/TestPluginAdapter.h"

namespace lumenfall
{
using LumenfallBase = test::TestPluginAdapter;
} // namespace lumenfall
