#pragma once

#include "plugkit/HeapBuffer.h"
#include "plugkit/HeapString.h"

#include <cstdint>

namespace plugkit::canvas::platform
{

// All text inside the program is UTF-8; it becomes UTF-16 only at the calls that want it (the
// Windows API, the text field's editing state). These conversions are portable: Windows and
// the native tree run the same code, so both answer alike.

/// A UTF-16 code unit: `wchar_t` where that is 16 bits (Windows), `char16_t` elsewhere.
#if defined(_WIN32)
using WideChar = wchar_t;
#else
using WideChar = char16_t;
#endif
static_assert(sizeof(WideChar) == 2);

inline constexpr uint32_t kReplacementChar = 0xFFFD;

/// What a UTF-8 reader does with bytes that do not form a well-formed sequence (a bad lead,
/// a missing continuation, an overlong form, a surrogate or a value above U+10FFFF).
enum class EMalformedUtf8 : int32_t
{
    Replace = 0, ///< one U+FFFD per offending byte, as the Windows converter does
    Refuse = 1,  ///< the whole conversion fails
    Latin1 = 2,  ///< the offending byte is one character of its own value; a five- or
                 ///< six-byte form reads as one '_' (the text field's typing rules)
    kNumPolicies
};

/// Reads one character from `p` (not past `end`) and advances `p` past what it used; returns
/// false only under `Refuse` for a malformed sequence (then `p` stays). `p` < `end` required.
bool DecodeUtf8(const unsigned char*& p,
                const unsigned char* end,
                EMalformedUtf8 policy,
                uint32_t& codePoint);

/// Writes the UTF-8 form of `codePoint` (surrogates and values above U+10FFFF as U+FFFD) to
/// `out`; returns the number of bytes, 1 to 4.
int EncodeUtf8(uint32_t codePoint, char out[4]);

/// Reads one character of UTF-16 from `p` (not past `end`), joining a surrogate pair; a lone
/// surrogate reads as U+FFFD. `p` < `end` required.
uint32_t DecodeUtf16(const WideChar*& p, const WideChar* end);

/// UTF-16 units of `length` bytes of UTF-8 (`length` < 0: up to the terminator) written to
/// `out` (`outSize` units, 0 to only count) without a terminator. Returns the number of units
/// the whole text needs, or -1 when it is refused (`Refuse` only). Writes stop at `outSize`,
/// never halfway through a surrogate pair.
int32_t Utf8ToUtf16(
    const char* text, int32_t length, WideChar* out, int32_t outSize, EMalformedUtf8 policy);

/// UTF-8 bytes of `length` units of UTF-16 (`length` < 0: up to the terminator), written to
/// `out` (`outSize` bytes, 0 to only count) without a terminator; lone surrogates become
/// U+FFFD, so the result is always valid UTF-8. Returns the number of bytes the whole text
/// needs. Writes stop at `outSize`, never halfway through a character.
int32_t Utf16ToUtf8(const WideChar* text, int32_t length, char* out, int32_t outSize);

/// `text` as NUL-terminated UTF-16 in `buffer` (malformed bytes as U+FFFD); returns the wide
/// text, never null: an empty text when `text` is null or the buffer cannot grow.
const WideChar* Utf8ToWideBuffer(const char* text, HeapBuffer& buffer);

/// As `Utf8ToWideBuffer`, upper-cased unit by unit with the runtime's wide upper-casing.
const WideChar* Utf8ToUpperWideBuffer(const char* text, HeapBuffer& buffer);

/// `out` becomes the UTF-8 form of the NUL-terminated `text`; empty for a null text or when
/// the string cannot grow.
void WideToUtf8(const WideChar* text, HeapString& out);

/// 0 for a null pointer or pure ASCII, 1 for valid UTF-8 with at least one multi-byte
/// sequence, -1 for invalid UTF-8 (bad lead byte, missing continuation, the overlong forms
/// E0 80..9F and F0 80..8F).
int ClassifyUtf8(const char* text);

/// Lets the wide file functions reach paths of 256 characters or more: a drive path gets the
/// prefix \\?\, a network path \\server\share becomes \\?\UNC\server\share, and '/' behind
/// the prefix becomes '\'. Shorter and other paths stay as they are, and so do paths that
/// start with \\?\ or \\.\ already. The buffer must hold six more units than the path and its
/// terminator.
void MakeExtendedLengthPath(WideChar* path);

} // namespace plugkit::canvas::platform
