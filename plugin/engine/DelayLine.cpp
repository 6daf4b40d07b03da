#include "plugin/engine/DelayLine.h"

#include <algorithm>
#include <new>
#include <utility>

namespace lumenfall::engine
{

int DelayLine::CapacityFor(double sampleRate, double seconds)
{
    const double samples = sampleRate * seconds;
    if (!(samples > 0.0))
    {
        return kMinCapacity;
    }
    if (samples >= static_cast<double>(kMaxCapacity))
    {
        return kMaxCapacity + 1;
    }
    return std::max(kMinCapacity, 8 + static_cast<int>(samples));
}

DelayLine::DelayLine(DelayLine&& other) noexcept
{
    *this = std::move(other);
}

DelayLine& DelayLine::operator=(DelayLine&& other) noexcept
{
    if (this != &other)
    {
        mSamples = std::move(other.mSamples);
        mData = mSamples ? mSamples.get() : sSilence;
        mStorage = other.mStorage;
        mMask = other.mMask;
        mLength = other.mLength;
        mMaxDelay = other.mMaxDelay;
        mPosition = other.mPosition;
        mWritten = other.mWritten;
        other.Release();
    }
    return *this;
}

void DelayLine::Release()
{
    mSamples.reset();
    mData = sSilence;
    mStorage = 0;
    mMask = 0;
    mLength = 0;
    mMaxDelay = 0.0f;
    Clear();
}

bool DelayLine::Resize(int capacity)
{
    capacity = std::max(capacity, kMinCapacity);
    if (capacity > kMaxCapacity)
    {
        Release();
        return false;
    }
    {
        // At least the window, so that the copy past the end repeats distinct slots.
        int storage = 256;
        static_assert(kWindow <= 256);
        while (storage < capacity)
        {
            storage <<= 1;
        }
        if (storage != mStorage)
        {
            mSamples.reset(new (std::nothrow) float[static_cast<std::size_t>(storage + kWindow)]());
            if (!mSamples)
            {
                Release();
                return false;
            }
            mStorage = storage;
        }
        else
        {
            std::fill_n(mSamples.get(), mStorage + kWindow, 0.0f);
        }
        mLength = capacity;
    }
    mData = mSamples.get();
    mMask = mStorage - 1;
    mMaxDelay = static_cast<float>(mLength - 3);
    Clear();
    return true;
}

} // namespace lumenfall::engine
