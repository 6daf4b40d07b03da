#include "plugkit/IStateChunk.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace plugkit
{

namespace
{

/// Little-endian byte order on every host.
template <typename T>
void ToLittleEndian(const T& value, uint8_t (&out)[sizeof(T)])
{
    std::memcpy(out, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big)
        std::reverse(out, out + sizeof(T));
}

template <typename T>
T FromLittleEndian(const uint8_t* in)
{
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, in, sizeof(T));
    if constexpr (std::endian::native == std::endian::big)
        std::reverse(bytes, bytes + sizeof(T));
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

} // namespace

bool IStateChunk::PutBytes(const void* data, int32_t size)
{
    if (size < 0 || (size > 0 && !data))
        return false;
    const int32_t old = mBytes.Size();
    if (size > INT32_MAX - old)
        return false;
    mBytes.Resize(old + size, true);
    if (mBytes.Size() != old + size)
        return false;
    if (size > 0)
        std::memcpy(GetData() + old, data, static_cast<size_t>(size));
    return true;
}

bool IStateChunk::PutInt32(int32_t value)
{
    uint8_t bytes[sizeof(value)];
    ToLittleEndian(value, bytes);
    return PutBytes(bytes, sizeof(bytes));
}

bool IStateChunk::PutFloat(float value)
{
    uint8_t bytes[sizeof(value)];
    ToLittleEndian(value, bytes);
    return PutBytes(bytes, sizeof(bytes));
}

bool IStateChunk::PutDouble(double value)
{
    uint8_t bytes[sizeof(value)];
    ToLittleEndian(value, bytes);
    return PutBytes(bytes, sizeof(bytes));
}

int32_t IStateChunk::PutChunk(const IStateChunk& other)
{
    if (&other == this)
    {
        // Appending a chunk to itself: the source may move when the block grows.
        const int32_t n = Size();
        if (n > 0 && n <= INT32_MAX - n)
        {
            mBytes.Resize(2 * n, true);
            if (mBytes.Size() == 2 * n)
                std::memcpy(GetData() + n, GetData(), static_cast<size_t>(n));
        }
        return Size();
    }
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
    uint8_t bytes[sizeof(value)];
    const int32_t pos = GetBytes(bytes, sizeof(bytes), startPos);
    if (pos >= 0)
        value = FromLittleEndian<int32_t>(bytes);
    return pos;
}

int32_t IStateChunk::GetFloat(float& value, int32_t startPos) const
{
    uint8_t bytes[sizeof(value)];
    const int32_t pos = GetBytes(bytes, sizeof(bytes), startPos);
    if (pos >= 0)
        value = FromLittleEndian<float>(bytes);
    return pos;
}

int32_t IStateChunk::GetDouble(double& value, int32_t startPos) const
{
    uint8_t bytes[sizeof(value)];
    const int32_t pos = GetBytes(bytes, sizeof(bytes), startPos);
    if (pos >= 0)
        value = FromLittleEndian<double>(bytes);
    return pos;
}

int32_t IStateChunk::Resize(int32_t newSize)
{
    mBytes.Resize(newSize, true);
    return mBytes.Size();
}

} // namespace plugkit
