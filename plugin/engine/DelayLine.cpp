#include "plugin/engine/DelayLine.h"

#include <algorithm>
#include <new>

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

bool DelayLine::Resize(int capacity)
{
    capacity = std::max(capacity, kMinCapacity);
    if (capacity > kMaxCapacity)
    {
        mSamples.reset();
        mLength = 0;
    }
    else if (capacity != mLength)
    {
        mSamples.reset(new (std::nothrow) float[static_cast<std::size_t>(capacity)]());
        mLength = mSamples ? capacity : 0;
    }
    else
    {
        std::fill_n(mSamples.get(), mLength, 0.0f);
    }
    mMaxDelay = mLength > 0 ? static_cast<float>(mLength - 3) : 0.0f;
    Clear();
    return mLength > 0;
}

} // namespace lumenfall::engine
