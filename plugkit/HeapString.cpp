#include "plugkit/HeapString.h"

#include <cstdio>
#include <cstring>

namespace plugkit
{

namespace
{

char* Text(HeapBuffer& buffer)
{
    return static_cast<char*>(buffer.Get());
}

} // namespace

HeapString::HeapString(const HeapString& other)
    : mBuffer(kGranularity)
{
    Set(other.Get());
}

HeapString& HeapString::operator=(const HeapString& other)
{
    if (&other != this)
        Set(other.Get());
    return *this;
}

const char* HeapString::Get() const
{
    const char* p = static_cast<const char*>(mBuffer.Get());
    return p ? p : "";
}

int32_t HeapString::GetLength() const
{
    const char* p = static_cast<const char*>(mBuffer.Get());
    return p ? static_cast<int32_t>(std::strlen(p)) : 0;
}

void HeapString::Set(const char* text, int32_t maxLength)
{
    int32_t length = 0;
    if (text)
    {
        if (maxLength > 0)
        {
            const void* nul = std::memchr(text, 0, static_cast<size_t>(maxLength));
            length = nul ? static_cast<int32_t>(static_cast<const char*>(nul) - text) : maxLength;
        }
        else
        {
            length = static_cast<int32_t>(std::strlen(text));
        }
    }

    if (mBuffer.Size() < length + 1)
    {
        const int64_t inside = mBuffer.OffsetOf(text);
        mBuffer.Resize(length + 1, false);
        if (mBuffer.Size() < length + 1)
            return;
        if (inside >= 0)
            text = Text(mBuffer) + inside;
    }
    char* dst = Text(mBuffer);
    if (length > 0)
        std::memmove(dst, text, static_cast<size_t>(length));
    dst[length] = 0;
}

void HeapString::Append(const char* text)
{
    if (!text || !*text)
        return;
    const int32_t length = static_cast<int32_t>(std::strlen(text));
    InsertRaw(GetLength(), text, length, 0);
}

void HeapString::SetFormatted(int32_t maxLength, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    SetAppendFormattedArgs(false, maxLength, format, args);
    va_end(args);
}

void HeapString::AppendFormatted(int32_t maxLength, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    SetAppendFormattedArgs(true, maxLength, format, args);
    va_end(args);
}

void HeapString::SetAppendFormattedArgs(bool append,
                                        int32_t maxLength,
                                        const char* format,
                                        va_list args)
{
    if (maxLength < 0 || !format)
        return;
    const int32_t pos = append ? GetLength() : 0;
    const int64_t wanted = int64_t(pos) + maxLength + 1;
    if (wanted > INT32_MAX)
        return;
    mBuffer.Resize(static_cast<int32_t>(wanted), false);
    if (mBuffer.Size() != wanted)
        return;

    char* dst = Text(mBuffer) + pos;
    const int written = std::vsnprintf(dst, static_cast<size_t>(maxLength) + 1, format, args);
    if (written < 0)
        dst[0] = 0;
    else if (written >= maxLength)
        dst[maxLength] = 0;
    mBuffer.Resize(pos + static_cast<int32_t>(std::strlen(dst)) + 1, false);
}

bool HeapString::InsertRaw(int32_t position, const char* bytes, int32_t length, int32_t tailLength)
{
    if (position < 0 || length < 0 || tailLength < 0)
        return false;
    if (position == 0 && length == 0 && tailLength == 0)
    {
        mBuffer.Resize(0);
        return true;
    }
    const int64_t needed = int64_t(position) + length + tailLength + 1;
    if (needed > INT32_MAX)
        return false;
    // Only text this string holds may move, and nothing is written past its end, so no
    // uninitialised bytes end up inside the text.
    if (int64_t(position) + tailLength > GetLength())
        return false;

    const int64_t inside = mBuffer.OffsetOf(bytes);
    if (mBuffer.Size() < needed)
    {
        mBuffer.Resize(static_cast<int32_t>(needed), false);
        if (mBuffer.Size() < needed)
            return false;
    }
    char* base = Text(mBuffer);
    if (inside >= 0)
        bytes = base + inside;
    if (tailLength > 0)
        std::memmove(base + position + length, base + position, static_cast<size_t>(tailLength));
    if (length > 0 && bytes)
    {
        // A source that lay in the tail has moved with it.
        if (inside >= position && inside < int64_t(position) + tailLength)
            bytes += length;
        std::memmove(base + position, bytes, static_cast<size_t>(length));
    }
    base[position + length + tailLength] = 0;
    return true;
}

} // namespace plugkit
