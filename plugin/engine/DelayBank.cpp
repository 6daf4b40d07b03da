#include "plugin/engine/DelayBank.h"

#include "plugin/engine/DelayLine.h"

#include <new>

namespace lumenfall::engine
{

bool DelayBank::Resize(int capacity)
{
    capacity = std::max(capacity, DelayLine::kMinCapacity);
    int frames = DelayLine::kMinCapacity;
    while (frames < capacity && frames <= DelayLine::kMaxCapacity / 2)
    {
        frames *= 2;
    }
    if (capacity > DelayLine::kMaxCapacity / kLanes || frames < capacity)
    {
        mStorage.reset();
        mData = sSilentFrame;
        mFrames = mMask = mLength = 0;
    }
    else
    {
        if (frames != mFrames)
        {
            mStorage.reset(new (std::nothrow) float[static_cast<std::size_t>(frames) * kLanes]());
            mFrames = mStorage ? frames : 0;
        }
        else
        {
            std::fill_n(mStorage.get(), static_cast<std::size_t>(frames) * kLanes, 0.0f);
        }
        mData = mStorage ? mStorage.get() : sSilentFrame;
        mMask = mStorage ? frames - 1 : 0;
        mLength = mStorage ? capacity : 0;
    }
    mMaxDelay = mLength > 0 ? static_cast<float>(mLength - 3) : 0.0f;
    Clear();
    return mLength > 0;
}

} // namespace lumenfall::engine
