#pragma once

namespace lumenfall::engine
{

/// The instruction sets the engine's block forms come in. Every x86-64 CPU runs Sse2; Avx2 runs the
/// same steps eight lanes wide, chosen at run time only on a CPU and system that support it. Both
/// do the same arithmetic on every lane (no fused multiply-adds), so their output is identical.
enum class InstructionSet
{
    Sse2,
    Avx2,
    Count
};

/// The widest set for a CPU with or without AVX2.
constexpr InstructionSet ChooseInstructionSet(bool avx2)
{
    return avx2 ? InstructionSet::Avx2 : InstructionSet::Sse2;
}

/// The widest set this CPU and operating system run (detected once, then cached).
InstructionSet DetectInstructionSet();

/// `wanted` when this CPU runs it, else the widest set it runs.
inline InstructionSet SupportedInstructionSet(InstructionSet wanted)
{
    const InstructionSet widest = DetectInstructionSet();
    return static_cast<int>(wanted) <= static_cast<int>(widest) ? wanted : widest;
}

} // namespace lumenfall::engine
