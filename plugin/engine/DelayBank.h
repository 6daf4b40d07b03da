#pragma once

#include "plugin/engine/Parameters.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace lumenfall::engine
{

/// Eight delay lines of one capacity that are always written together, one frame of eight
/// samples per sample period: the feedback lines of a reverb core. Each lane behaves exactly
/// as a DelayLine of that capacity (same reads, clamping, interpolation, sanitised writes and
/// the rule that a slot not written since the last clear reads as 0); storing the lanes
/// interleaved turns the eight writes into one frame store and shares the position and the
/// written count.
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

    /// Stores the sanitised frame x[0..7], one sample per lane, and advances.
    void Write(const float* x)
    {
        if (mLength == 0)
        {
            return;
        }
        float* slot = mData + static_cast<std::ptrdiff_t>(mPosition) * kLanes;
        for (int i = 0; i < kLanes; ++i)
        {
            slot[i] = SanitizeSample(x[i]);
        }
        mPosition = (mPosition + 1) & mMask;
        mWritten += mWritten < mLength ? 1 : 0;
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
        const float a = mData[first * kLanes + lane];
        const float b = mData[second * kLanes + lane];
        const float va = n <= mWritten ? a : 0.0f;
        const float vb = n < mWritten ? b : 0.0f;
        return (1.0f - f) * va + f * vb;
    }

    /// The slot the next write fills, for a caller that stores eight samples it has already
    /// sanitised itself; Advance() then completes that write. Equals Write on those samples.
    float* NextFrame() { return mLength != 0 ? mData + mPosition * kLanes : mDiscard; }
    void Advance()
    {
        if (mLength != 0)
        {
            mPosition = (mPosition + 1) & mMask;
            mWritten += mWritten < mLength ? 1 : 0;
        }
    }

    /// The next `count` frames as one run (frame k at NextFrames + 8 k), for a caller that stores
    /// samples it has already sanitised; null when they wrap around the end of the storage (or the
    /// bank is unsized). Advance(count) then completes those writes.
    float* NextFrames(int count)
    {
        return mLength != 0 && mPosition + count <= mMask + 1 ? mData + mPosition * kLanes
                                                              : nullptr;
    }
    void Advance(int count)
    {
        mPosition = (mPosition + count) & mMask;
        mWritten = std::min(mWritten + count, mLength);
    }

    /// Forgets every stored sample in constant time; write position 0.
    void Clear()
    {
        mPosition = 0;
        mWritten = 0;
    }

    /// Raw view for vectorised reads: frame k (of Mask() + 1) starts at Data() + 8 k.
    const float* Data() const { return mData; }
    int Mask() const { return mMask; }
    int WritePosition() const { return mPosition; }
    int Written() const { return mWritten; }

private:
    static inline float sSilentFrame[kLanes] = {};

    std::unique_ptr<float[]> mStorage;
    float* mData = sSilentFrame;
    int mFrames = 0;
    int mMask = 0;
    int mLength = 0;
    float mMaxDelay = 0.0f;
    int mPosition = 0;
    int mWritten = 0;
    float mDiscard[kLanes] = {}; // NextFrame of an unsized bank: stored, never read
};

} // namespace lumenfall::engine
