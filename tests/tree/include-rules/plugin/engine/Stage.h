#pragma once

// A reverb stage that reaches into the framework: the check must name it.
#include "plugkit/IParam.h"
#include <vector>
