#pragma once

#include "plugin/engine/InstructionSet.h"
#include "plugin/engine/Parameters.h"

#include <cstdint>

namespace lumenfall::engine
{

/// One-octave-up pitch shifter for two channels: a phase vocoder with a 2048-point FFT, a hop of
/// 512 samples (four-fold overlap) and a periodic Hann window, w[n] = 0.5 - 0.5 cos(2 pi n / 2048).
///
/// Every 512 samples each channel's last 2048 inputs are windowed and transformed; bins 1..511
/// move to bins 2k with their phase advance doubled (bin 0 and bins from 512 up are dropped, so
/// nothing above fs / 4 before shifting is kept); the inverse transform is windowed again and
/// overlap-added with a gain of 2/3 (the squared Hann windows sum to 1.5 at this overlap). The
/// output lags by one frame plus the hop. Processing neither allocates nor locks.
///
/// Both channels share one complex transform (left as real part, right as imaginary part), and
/// the phase doubling is done on unit phasors, exp(i 2 phase) = X^2 / |X|^2, so a frame needs no
/// trigonometry; the results equal the per-channel, angle-based form to float rounding.
class ShimmerShifter
{
public:
    /// Transform length and hop, in samples.
    static constexpr int kFftSize = 2048;
    static constexpr int kHop = 512;
    /// Bins 1..kShiftedBins are shifted.
    static constexpr int kShiftedBins = 511;

    /// Fills the window and transform tables and resets.
    ShimmerShifter();

    /// Refills the window and transform tables (they never change) and resets.
    void Prepare();

    /// Zeroes the input rings, the overlap-add buffers and the phase memory; ring position and hop
    /// counter 0. Allocation-free.
    void Reset();

    /// One sample period: returns this sample's shifted output pair (and clears those slots),
    /// stores the input pair (sanitised), and every 512th call runs the frame for both channels.
    void Exchange(float inLeft, float inRight, float& outLeft, float& outRight)
    {
        outLeft = mOverlap[0][mPosition];
        outRight = mOverlap[1][mPosition];
        mOverlap[0][mPosition] = 0.0f;
        mOverlap[1][mPosition] = 0.0f;
        mRing[0][mPosition] = SanitizeSample(inLeft);
        mRing[1][mPosition] = SanitizeSample(inRight);
        mPosition = (mPosition + 1) & (kFftSize - 1);
        if (++mHopCounter == kHop)
        {
            mHopCounter = 0;
            if (mInstructionSet == InstructionSet::Avx2)
            {
                ProcessFrame8();
            }
            else
            {
                ProcessFrame4();
            }
        }
    }

    /// Exchange on each of n sample pairs in turn: outLeft[t] and outRight[t] are sample t's
    /// shifted pair.
    void ExchangeBlock(
        const float* inLeft, const float* inRight, float* outLeft, float* outRight, int n);

    /// Runs the frame on `set` (which the CPU must have); both give the same bits.
    void SetInstructionSet(InstructionSet set) { mInstructionSet = set; }

    /// In-place iterative radix-2 FFT of `size` complex values (a power of two, 2..2048) held as
    /// separate real and imaginary arrays: X[k] = sum x[n] e^(-2 pi i k n / size) forward; the
    /// inverse uses e^(+2 pi i k n / size) and scales by 1 / size, so it undoes the forward one.
    void Fft(float* real, float* imag, int size, bool inverse) const;

private:
    // The frame in four lanes or eight (AVX2): one body, Frame, run by both.
    void ProcessFrame4();
    [[gnu::target("avx2")]] void ProcessFrame8();
    template <class V>
    [[gnu::always_inline]] void Frame();
    // The steps of Frame (see there).
    template <class V>
    [[gnu::always_inline]] void AnalyseFrame();
    [[gnu::always_inline]] inline void SeparateChannels();
    template <class V>
    [[gnu::always_inline]] void SynthesiseFrame();
    template <class V>
    [[gnu::always_inline]] void OverlapAddFrame();
    template <class V>
    [[gnu::always_inline]] void ShiftBins(int channel);
    // The butterflies of Fft, for input already in bit-reversed order; the spans from 4 up.
    template <class V>
    [[gnu::always_inline]] void TransformReordered(float* real, float* imag, int size) const;
    template <class V>
    [[gnu::always_inline]] void LaterSpans(float* real, float* imag, int size) const;

    static constexpr int kBins = kShiftedBins + 1; // index 0 unused

    alignas(16) float mWindow[kFftSize];
    // Twiddles per butterfly span h (1, 2, 4, ... 1024) at offset h - 1: e^(-pi i j / h).
    alignas(16) float mTwiddleRe[kFftSize];
    alignas(16) float mTwiddleIm[kFftSize];
    std::uint16_t mBitReverse[kFftSize];

    alignas(16) float mRing[2][kFftSize];
    alignas(16) float mOverlap[2][kFftSize];
    // Per channel and bin: e^(i 2 phase) of the last analysis frame, and the running synthesis
    // phasor e^(i accumulated phase).
    alignas(16) float mPrevRe[2][kBins];
    alignas(16) float mPrevIm[2][kBins];
    alignas(16) float mAccRe[2][kBins];
    alignas(16) float mAccIm[2][kBins];
    // One analysed frame per channel, bins 1..511, shifted in place; slots 0 and kBins (bin 512,
    // dropped) hold 0 for the synthesis's reads along the bins.
    alignas(16) float mBinRe[2][kBins + 1];
    alignas(16) float mBinIm[2][kBins + 1];
    // Transform buffers: the 2048-point analysis and the 1024-point synthesis (only even bins are
    // produced, so the synthesis is periodic in 1024 samples).
    alignas(16) float mAnalysisRe[kFftSize];
    alignas(16) float mAnalysisIm[kFftSize];
    alignas(16) float mSynthesisRe[kFftSize / 2];
    alignas(16) float mSynthesisIm[kFftSize / 2];

    int mPosition = 0;
    int mHopCounter = 0;
    InstructionSet mInstructionSet = InstructionSet::Sse2;
};

} // namespace lumenfall::engine
