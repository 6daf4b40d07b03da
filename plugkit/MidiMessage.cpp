#include "plugkit/MidiMessage.h"

#include <cstring>

namespace plugkit
{

bool SysExQueueEntry::Assign(const SysExMessage& msg)
{
    if (msg.mSize < 0 || msg.mSize > kMaxBytes)
        return false;
    mOffset = msg.mOffset;
    mSize = msg.mSize;
    if (msg.mData && msg.mSize > 0)
        std::memcpy(mData, msg.mData, static_cast<size_t>(msg.mSize));
    else
        std::memset(mData, 0, sizeof(mData));
    return true;
}

} // namespace plugkit
