#pragma once

#include "plugin/engine/CoreSettings.h"
#include "plugin/engine/Parameters.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace lumenfall::engine
{

/// A circular delay line with linear interpolation and a constant-time Clear.
///
/// Contract: a slot that has not been written since the last Resize or Clear reads as 0, whatever
/// the sample array still holds. The line keeps this without a stamp per slot: it counts the
/// samples written since the last clear (saturating at the capacity), and the slot d samples back
/// is valid exactly when d <= that count. Clearing therefore touches two integers, whatever the
/// length, and no counter can overflow however often it runs.
///
/// The storage is the capacity rounded up to a power of two, so wrapping is a mask; reads are
/// still held to the capacity, so the line behaves exactly as one of the requested length. Past
/// its end the storage repeats its first kWindow slots, so any kWindow consecutive slots lie in
/// one run (Window). An unsized line (capacity 0) reads 0 and ignores writes.
class DelayLine
{
public:
    /// The smallest capacity a line is sized to.
    static constexpr int kMinCapacity = 8;
    /// About 350 s at 192 kHz; a larger request fails instead of exhausting memory.
    static constexpr int kMaxCapacity = 1 << 26;
    /// The longest run of consecutive slots Window gives: a block of the engine's block forms and
    /// the slot before it.
    static constexpr int kWindow = kCoreBlock + 1;

    DelayLine() = default;
    DelayLine(const DelayLine&) = delete;
    DelayLine& operator=(const DelayLine&) = delete;
    DelayLine(DelayLine&& other) noexcept;
    DelayLine& operator=(DelayLine&& other) noexcept;

    /// Capacity in samples for a line of `seconds` at `sampleRate`: 8 + trunc(fs x s), at least 8
    /// (8 for non-finite or negative input), at most kMaxCapacity + 1 (which Resize refuses).
    static int CapacityFor(double sampleRate, double seconds);

    /// [!audio-thread] Sizes the line to `capacity` samples (at least kMinCapacity), all zero,
    /// cleared, write position 0. Allocates without exceptions; on failure (or a capacity above
    /// kMaxCapacity) the line becomes unsized and false is returned. When the storage already fits
    /// it is zeroed and kept.
    bool Resize(int capacity);

    /// Capacity in samples (0 while unsized).
    int Capacity() const { return mLength; }

    /// The longest delay Read honours: capacity - 3.
    float MaxDelay() const { return mMaxDelay; }

    /// Stores SanitizeSample(x) in the next slot and advances. Call exactly once per sample period.
    void Write(float x) { WriteSanitized(SanitizeSample(x)); }

    /// Write for a sample the caller has already sanitised (x == SanitizeSample(x)): stores it
    /// as it is, so a loop that sanitises several lanes at once pays for it only once.
    void WriteSanitized(float x)
    {
        if (mLength == 0)
        {
            return;
        }
        mData[mPosition] = x;
        if (mPosition < kWindow)
        {
            mData[mPosition + mStorage] = x;
        }
        mPosition = (mPosition + 1) & mMask;
        mWritten += mWritten < mLength ? 1 : 0;
    }

    /// The next `count` slots as one run, for a caller that stores `count` samples it has already
    /// sanitised straight into the line; null when they wrap around the end of the storage (or the
    /// line is unsized). Advance(count) then completes those writes.
    float* NextRun(int count)
    {
        return mLength != 0 && mPosition + count <= mMask + 1 ? mSamples.get() + mPosition
                                                              : nullptr;
    }

    void Advance(int count)
    {
        MirrorStart(mPosition, count);
        mPosition = (mPosition + count) & mMask;
        mWritten = std::min(mWritten + count, mLength);
    }

    /// WriteBlock for samples the caller has already sanitised.
    void WriteBlockSanitized(const float* x, int n)
    {
        if (mLength == 0)
        {
            return;
        }
        const int start = mPosition;
        for (int k = 0; k < n;)
        {
            const int run = std::min(n - k, mMask + 1 - mPosition);
            std::copy_n(x + k, run, mData + mPosition);
            mPosition = (mPosition + run) & mMask;
            k += run;
        }
        MirrorStart(start, n);
        mWritten = std::min(mWritten + n, mLength);
    }

    /// The sample written `delay` samples before the next write, linearly interpolated:
    /// Read(1) is the latest sample. The delay is held in [1, capacity - 3]; a non-finite delay
    /// reads at 1. Unwritten slots read as 0.
    float Read(float delay) const
    {
        float d = std::max(std::min(delay, mMaxDelay), 1.0f);
        d = std::isfinite(delay) ? d : 1.0f;
        return ReadInRange(d);
    }

    /// Read for a delay the caller has already held in [1, MaxDelay()] (for delays clamped once
    /// per coefficient refresh rather than per sample).
    float ReadInRange(float delay) const
    {
        const int n = static_cast<int>(delay);
        const float f = delay - static_cast<float>(n);
        const int first = (mPosition - n) & mMask;
        const int second = (first - 1) & mMask;
        const float a = mData[first];
        const float b = mData[second];
        const float va = n <= mWritten ? a : 0.0f;
        const float vb = n < mWritten ? b : 0.0f;
        return (1.0f - f) * va + f * vb;
    }

    /// Raw view for block processing: the storage (Mask() + 1 slots, a power of two), the slot
    /// the next Write fills, and how many slots behind it hold valid samples (the slot d back,
    /// (WritePosition() - d) & Mask(), is valid exactly when d <= Written()).
    const float* Data() const { return mData; }
    int Mask() const { return mMask; }

    /// kWindow consecutive slots from slot `start` (masked), in one run.
    const float* Window(int start) const { return mData + (start & mMask); }
    int WritePosition() const { return mPosition; }
    int Written() const { return mWritten; }

    /// Forgets every stored sample in constant time (no sample is erased); write position 0.
    void Clear()
    {
        mPosition = 0;
        mWritten = 0;
    }

private:
    void Release();

    // After `count` slots from `start` have been written: when any of them lies among the first
    // kWindow, the copy of those past the end follows them.
    void MirrorStart(int start, int count)
    {
        if (start < kWindow)
        {
            const int end = std::min(start + count, kWindow);
            std::copy(mData + start, mData + end, mData + mStorage + start);
        }
        if (start + count > mStorage) // the run wrapped to the start
        {
            const int end = std::min(start + count - mStorage, kWindow);
            std::copy(mData, mData + end, mData + mStorage);
        }
    }

    // An unsized line reads this silence (mask 0, nothing written), so Read needs no branch and
    // Window gives a run; Write never stores into it.
    static inline float sSilence[kWindow] = {};

    std::unique_ptr<float[]> mSamples;
    float* mData = sSilence; // mSamples, or the silence
    int mStorage = 0;        // allocated slots, a power of two >= mLength
    int mMask = 0;           // mStorage - 1
    int mLength = 0;         // the capacity
    float mMaxDelay = 0.0f;
    int mPosition = 0;
    int mWritten = 0; // samples written since the last clear, at most mLength
};

/// Schroeder allpass on `line`, transfer function (z^-d - g) / (1 - g z^-d):
/// v = line.Read(d) - g x; line.Write(x + g v); returns SanitizeSample(v).
inline float AllpassStep(DelayLine& line, float x, float delay, float g)
{
    const float v = line.Read(delay) - g * x;
    line.Write(x + g * v);
    return SanitizeSample(v);
}

} // namespace lumenfall::engine
