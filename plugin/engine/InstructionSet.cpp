#include "plugin/engine/InstructionSet.h"

namespace lumenfall::engine
{

InstructionSet DetectInstructionSet()
{
    // The compiler's CPU model checks the operating system's support for the wide registers
    // (XGETBV) before it reports AVX2.
    static const InstructionSet detected = []
    {
        __builtin_cpu_init();
        return ChooseInstructionSet(__builtin_cpu_supports("avx2") != 0);
    }();
    return detected;
}

} // namespace lumenfall::engine
