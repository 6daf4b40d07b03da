#pragma once

#include "plugin/engine/DelayLine.h"

namespace lumenfall::engine
{

/// `count` consecutive slots of `line` from slot `start` (masked): a pointer into the line
/// when they do not wrap, else a copy in `scratch` (at least `count` floats). For the block
/// forms that read a whole block of a line at one delay.
inline const float* BlockWindow(const DelayLine& line, int start, int count, float* scratch)
{
    const int mask = line.Mask();
    start &= mask;
    if (start + count <= mask + 1)
    {
        return line.Data() + start;
    }
    for (int k = 0; k < count; ++k)
    {
        scratch[k] = line.Data()[(start + k) & mask];
    }
    return scratch;
}

} // namespace lumenfall::engine
