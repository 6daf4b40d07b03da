#include "plugin/engine/DelayBank.h"

#include "plugin/engine/DelayLine.h"

#include <algorithm>
#include <new>

#include <emmintrin.h>
#include <xmmintrin.h>

namespace lumenfall::engine
{

bool DelayBank::Resize(int capacity)
{
    capacity = std::max(capacity, DelayLine::kMinCapacity);
    int shift = 3;
    while ((1 << shift) < capacity && (1 << shift) <= DelayLine::kMaxCapacity / 2)
    {
        ++shift;
    }
    const int slots = 1 << shift;
    if (capacity > DelayLine::kMaxCapacity / kLanes || slots < capacity)
    {
        mStorage.reset();
    }
    else if (mStorage && mShift == shift && mData != sSilence)
    {
        std::fill_n(mStorage.get(), static_cast<std::size_t>(slots) * kLanes, 0.0f);
    }
    else
    {
        mStorage.reset(new (std::nothrow) float[static_cast<std::size_t>(slots) * kLanes]());
    }
    mData = mStorage ? mStorage.get() : sSilence;
    mShift = mStorage ? shift : 0;
    mMask = mStorage ? slots - 1 : 0;
    mLength = mStorage ? capacity : 0;
    mMaxDelay = mLength > 0 ? static_cast<float>(mLength - 3) : 0.0f;
    Clear();
    return mLength > 0;
}

void DelayBank::WriteLanes(const float* const* lanes, int count, int n)
{
    if (mLength == 0)
    {
        return;
    }
    // In at most two runs per lane: up to the end of the slots, then from slot 0.
    const int first = std::min(n, mMask + 1 - mPosition);
    for (int k = 0; k < kLanes; ++k)
    {
        float* lane = mData + (k << mShift);
        if (k < count)
        {
            std::copy_n(lanes[k], first, lane + mPosition);
            std::copy_n(lanes[k] + first, n - first, lane);
        }
        else
        {
            std::fill_n(lane + mPosition, first, 0.0f);
            std::fill_n(lane, n - first, 0.0f);
        }
    }
    Advance(n);
}

void DelayBank::WriteFrames(const float (*frames)[kLanes], int n)
{
    if (mLength == 0)
    {
        return;
    }
    // Four frames at a time into runs of four slots of each lane, while the runs do not wrap.
    float* lane[kLanes];
    for (int k = 0; k < kLanes; ++k)
    {
        lane[k] = mData + (k << mShift);
    }
    const int position = mPosition;
    const int whole = std::min(n, mMask + 1 - position) & ~3;
    for (int t = 0; t < whole; t += 4)
    {
        for (int h = 0; h < 2; ++h)
        {
            __m128 r0 = _mm_loadu_ps(frames[t] + 4 * h);
            __m128 r1 = _mm_loadu_ps(frames[t + 1] + 4 * h);
            __m128 r2 = _mm_loadu_ps(frames[t + 2] + 4 * h);
            __m128 r3 = _mm_loadu_ps(frames[t + 3] + 4 * h);
            _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
            _mm_storeu_ps(lane[4 * h] + position + t, r0);
            _mm_storeu_ps(lane[4 * h + 1] + position + t, r1);
            _mm_storeu_ps(lane[4 * h + 2] + position + t, r2);
            _mm_storeu_ps(lane[4 * h + 3] + position + t, r3);
        }
    }
    Advance(whole);
    for (int t = whole; t < n; ++t)
    {
        for (int k = 0; k < kLanes; ++k)
        {
            lane[k][mPosition] = frames[t][k];
        }
        Advance(1);
    }
}

} // namespace lumenfall::engine
