#pragma once

#include "plugin/engine/Parameters.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace lumenfall::engine
{

/// Eight delay lines of one capacity that are always written together, one sample each per sample
/// period: the feedback lines of a reverb core. Each lane behaves exactly as a DelayLine of that
/// capacity (same reads, clamping, interpolation, sanitised writes and the rule that a slot not
/// written since the last clear reads as 0); the lanes share the position and the written count,
/// and each lane's samples lie consecutively, so a block form reads a run of one lane with plain
/// vector loads.
class DelayBank
{
public:
    static constexpr int kLanes = 8;

    DelayBank() = default;
    DelayBank(const DelayBank&) = delete;
    DelayBank& operator=(const DelayBank&) = delete;

    /// [!audio-thread] Sizes every lane to `capacity` samples (at least DelayLine::kMinCapacity),
    /// zeroed and cleared. Allocates without exceptions; false (and an unsized bank that reads
    /// 0 and ignores writes) when the memory cannot be had.
    bool Resize(int capacity);

    int Capacity() const { return mLength; }
    /// The longest delay a read honours: capacity - 3.
    float MaxDelay() const { return mMaxDelay; }

    /// Stores the frame x[0..7] (sanitised), one sample per lane, and advances.
    void Write(const float* x)
    {
        if (mLength == 0)
        {
            return;
        }
        for (int i = 0; i < kLanes; ++i)
        {
            mData[(i << mShift) + mPosition] = SanitizeSample(x[i]);
        }
        Advance(1);
    }

    /// DelayLine::Read on one lane: the delay held in [1, capacity - 3] (1 when not finite),
    /// linearly interpolated, unwritten slots 0.
    float Read(int lane, float delay) const
    {
        float d = std::max(std::min(delay, mMaxDelay), 1.0f);
        d = std::isfinite(delay) ? d : 1.0f;
        return ReadInRange(lane, d);
    }

    /// Read for a delay already held in [1, MaxDelay()].
    float ReadInRange(int lane, float delay) const
    {
        const int n = static_cast<int>(delay);
        const float f = delay - static_cast<float>(n);
        const int first = (mPosition - n) & mMask;
        const int second = (first - 1) & mMask;
        const float a = mData[(lane << mShift) + first];
        const float b = mData[(lane << mShift) + second];
        const float va = n <= mWritten ? a : 0.0f;
        const float vb = n < mWritten ? b : 0.0f;
        return (1.0f - f) * va + f * vb;
    }

    /// A frame for a caller that fills its eight samples, sanitised already; Advance() then stores
    /// it as the next frame. Equals Write on those samples.
    float* NextFrame() { return mFrame; }
    void Advance()
    {
        if (mLength == 0)
        {
            return;
        }
        for (int i = 0; i < kLanes; ++i)
        {
            mData[(i << mShift) + mPosition] = mFrame[i];
        }
        Advance(1);
    }

    /// Stores n frames whose lane k holds lanes[k][0..n) for k < count (sanitised already) and
    /// silence in the other lanes, and advances by n.
    void WriteLanes(const float* const* lanes, int count, int n);

    /// Stores the n frames frames[0..n) (sanitised already) and advances by n.
    void WriteFrames(const float (*frames)[kLanes], int n);

    /// Forgets every stored sample in constant time; write position 0.
    void Clear()
    {
        mPosition = 0;
        mWritten = 0;
    }

    /// Raw view for vectorised reads: lane k's slots are Data()[(k << LaneShift()) + slot] for
    /// slot in [0, Mask()]; the next write fills slot WritePosition(), and the slot d back is
    /// valid exactly when d <= Written().
    const float* Data() const { return mData; }
    const float* Lane(int k) const { return mData + (k << mShift); }
    int LaneShift() const { return mShift; }
    int Mask() const { return mMask; }
    int WritePosition() const { return mPosition; }
    int Written() const { return mWritten; }

private:
    void Advance(int count)
    {
        mPosition = (mPosition + count) & mMask;
        mWritten = std::min(mWritten + count, mLength);
    }

    // An unsized bank reads this silence (mask 0, shift 0: lane k reads slot k).
    static inline float sSilence[kLanes] = {};

    std::unique_ptr<float[]> mStorage;
    float* mData = sSilence;
    int mShift = 0; // log2 of the slots per lane
    int mMask = 0;
    int mLength = 0;
    float mMaxDelay = 0.0f;
    int mPosition = 0;
    int mWritten = 0;
    float mFrame[kLanes] = {}; // NextFrame's samples until Advance stores them
};

} // namespace lumenfall::engine
