#pragma once

#include "plugkit/HeapBuffer.h"

#include <cstdint>

namespace plugkit
{

/// Serialised state: raw little-endian values with no framing of their own. Writers append at
/// the end and return false when the chunk did not grow (nothing is written then). Readers take
/// a start position and return the position after the value, or -1 when the chunk is too short
/// or the position is invalid; the output is left untouched on failure.
class IStateChunk
{
public:
    IStateChunk()
        : mBytes(HeapBuffer::kDefaultGranularity)
    {
    }
    IStateChunk(const IStateChunk&) = delete;
    IStateChunk& operator=(const IStateChunk&) = delete;

    /// Appends `size` bytes; `data` may point into this chunk (then within its used bytes).
    bool PutBytes(const void* data, int32_t size);
    bool PutInt32(int32_t value);
    bool PutFloat(float value);
    bool PutDouble(double value);
    /// Appends all bytes of `other`; returns the new size.
    int32_t PutChunk(const IStateChunk& other);

    int32_t GetBytes(void* data, int32_t size, int32_t startPos) const;
    int32_t GetInt32(int32_t& value, int32_t startPos) const;
    int32_t GetFloat(float& value, int32_t startPos) const;
    int32_t GetDouble(double& value, int32_t startPos) const;

    int32_t Size() const { return mBytes.Size(); }
    /// Sets the size (new bytes are undefined); returns the new size.
    int32_t Resize(int32_t newSize);
    void Clear() { mBytes.Resize(0); }
    /// Null while the chunk is empty.
    uint8_t* GetData() { return static_cast<uint8_t*>(mBytes.Get()); }
    const uint8_t* GetData() const { return static_cast<const uint8_t*>(mBytes.Get()); }

private:
    HeapBuffer mBytes;
};

} // namespace plugkit
