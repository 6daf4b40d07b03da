#pragma once

#include "plugkit/HeapBuffer.h"

#include <cstdarg>
#include <cstdint>

namespace plugkit
{

/// A NUL-terminated UTF-8 string on a `HeapBuffer`. The used size is the length plus one; an
/// empty string has used size 0 or 1. Never throws: when growth fails the text stays as it was.
class HeapString
{
public:
    static constexpr int32_t kGranularity = 128;

    HeapString()
        : mBuffer(kGranularity)
    {
    }
    explicit HeapString(const char* text)
        : mBuffer(kGranularity)
    {
        Set(text);
    }
    HeapString(const HeapString& other);
    HeapString& operator=(const HeapString& other);

    /// Copies at most `maxLength` characters of `text` (0 = all of it). `text` may point into
    /// this string's own block. A null or empty text leaves an empty string.
    void Set(const char* text, int32_t maxLength = 0);

    /// printf-style output of at most `maxLength` characters, replacing the text or appended
    /// to it; longer output is cut at `maxLength`.
    void SetFormatted(int32_t maxLength, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    void AppendFormatted(int32_t maxLength, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    void SetAppendFormattedArgs(bool append, int32_t maxLength, const char* format, va_list args);

    /// Writes `length` bytes of `bytes` at `position`, moving the `tailLength` bytes that
    /// followed `position` behind them, and terminates after those. `bytes` may point into
    /// this string. A zero length and tail at position 0 empties the string; a negative
    /// position or length does nothing. Returns false when the string could not grow.
    bool InsertRaw(int32_t position, const char* bytes, int32_t length, int32_t tailLength);

    void Append(const char* text);

    /// Never null: "" when empty.
    const char* Get() const;
    int32_t GetLength() const;
    bool IsEmpty() const
    {
        return GetLength() == 0;
    }

private:
    HeapBuffer mBuffer;
};

} // namespace plugkit
