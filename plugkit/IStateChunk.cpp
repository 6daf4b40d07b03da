#include "plugkit/IStateChunk.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace plugkit
{

namespace
{

/// Appends `value` in little-endian byte order on every host.
template <typename T>
bool PutValue(IStateChunk& chunk, T value)
{
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big)
        std::reverse(bytes, bytes + sizeof(T));
    return chunk.PutBytes(bytes, sizeof(bytes));
}

/// Reads a little-endian `T` at `startPos`; `value` is untouched when the read fails.
template <typename T>
int32_t GetValue(const IStateChunk& chunk, T& value, int32_t startPos)
{
    uint8_t bytes[sizeof(T)];
    const int32_t pos = chunk.GetBytes(bytes, sizeof(bytes), startPos);
    if (pos < 0)
        return pos;
    if constexpr (std::endian::native == std::endian::big)
        std::reverse(bytes, bytes + sizeof(T));
    std::memcpy(&value, bytes, sizeof(T));
    return pos;
}

} // namespace

bool IStateChunk::PutBytes(const void* data, int32_t size)
{
    if (size < 0 || (size > 0 && !data))
        return false;
    const int32_t old = mBytes.Size();
    if (size > INT32_MAX - old)
        return false;
    // Bytes of this chunk itself move with the block when it grows; a range of them that runs
    // past the end would copy bytes that were never written.
    const int64_t inside = mBytes.OffsetOf(data);
    if (inside >= 0 && size > old - inside)
        return false;
    mBytes.Resize(old + size, true);
    if (mBytes.Size() != old + size)
        return false;
    if (size > 0)
    {
        const void* src = inside >= 0 ? GetData() + inside : data;
        std::memmove(GetData() + old, src, static_cast<size_t>(size));
    }
    return true;
}

bool IStateChunk::PutInt32(int32_t value)
{
    return PutValue(*this, value);
}

bool IStateChunk::PutFloat(float value)
{
    return PutValue(*this, value);
}

bool IStateChunk::PutDouble(double value)
{
    return PutValue(*this, value);
}

int32_t IStateChunk::PutChunk(const IStateChunk& other)
{
    PutBytes(other.GetData(), other.Size());
    return Size();
}

int32_t IStateChunk::GetBytes(void* data, int32_t size, int32_t startPos) const
{
    const int32_t used = mBytes.Size();
    // Compared as size <= used - startPos (never startPos + size, which could overflow).
    if (startPos < 0 || startPos > used || size < 0 || size > used - startPos)
        return -1;
    if (size > 0)
    {
        if (!data)
            return -1;
        std::memcpy(data, GetData() + startPos, static_cast<size_t>(size));
    }
    return startPos + size;
}

int32_t IStateChunk::GetInt32(int32_t& value, int32_t startPos) const
{
    return GetValue(*this, value, startPos);
}

int32_t IStateChunk::GetFloat(float& value, int32_t startPos) const
{
    return GetValue(*this, value, startPos);
}

int32_t IStateChunk::GetDouble(double& value, int32_t startPos) const
{
    return GetValue(*this, value, startPos);
}

int32_t IStateChunk::Resize(int32_t newSize)
{
    mBytes.Resize(newSize, true);
    return mBytes.Size();
}

} // namespace plugkit
