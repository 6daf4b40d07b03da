#include "plugin/editor/ValueFormat.h"

#include "plugin/engine/Parameters.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace lumenfall::editor
{
namespace
{

// Wide enough for any double in fixed notation with up to 9 decimals, and for any float with
// kFloatDecimals.
constexpr int kNumberBufferSize = 400;
constexpr int kMaxDecimals = 9;
// Every float is a multiple of 2^-149, so its decimal form is exact with 149 decimals.
constexpr int kFloatDecimals = 149;

/// Fixed notation into `buffer` with 0..`maxDecimals` decimals; returns the length. A text whose
/// digits are all zero loses its minus sign: -0.004 at two decimals reads "0.00".
int FixedNumber(double value,
                int decimals,
                char (&buffer)[kNumberBufferSize],
                int maxDecimals = kMaxDecimals)
{
    if (decimals < 0)
        decimals = 0;
    if (decimals > maxDecimals)
        decimals = maxDecimals;
    const auto [end, ec] = std::to_chars(
        buffer, buffer + kNumberBufferSize, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
    {
        buffer[0] = '?';
        return 1;
    }
    int length = static_cast<int>(end - buffer);
    if (length > 1 && buffer[0] == '-')
    {
        bool allZero = true;
        for (int i = 1; i < length && allZero; ++i)
            allZero = buffer[i] == '0' || buffer[i] == '.';
        if (allZero)
        {
            std::memmove(buffer, buffer + 1, static_cast<std::size_t>(length - 1));
            --length;
        }
    }
    return length;
}

/// The number `FixedNumber` shows, read back: what the reader sees, rounding included.
double ShownNumber(double value, int decimals)
{
    char buffer[kNumberBufferSize];
    const int length = FixedNumber(value, decimals, buffer);
    double shown = value;
    std::from_chars(buffer, buffer + length, shown);
    return shown;
}

void WriteNumberAndUnit(double value, int decimals, const char* unitText, char* out, int size)
{
    TextWriter(out, size).AppendFixed(value, decimals).Append(unitText);
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char ToLowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// The factor that turns a number typed with `suffix` into the unit `unit`; 0 when the
/// suffix is not accepted there.
double SuffixFactor(const char* unit, const char* suffix)
{
    const auto is = [](const char* a, const char* b) { return std::strcmp(a, b) == 0; };
    const bool bare = suffix[0] == '\0';
    if (is(unit, "Hz"))
        return bare || is(suffix, "hz") ? 1.0 : is(suffix, "k") || is(suffix, "khz") ? 1000.0 : 0.0;
    if (is(unit, "ms"))
        return bare || is(suffix, "ms") ? 1.0 : is(suffix, "s") ? 1000.0 : 0.0;
    if (is(unit, "s"))
        return bare || is(suffix, "s") ? 1.0 : is(suffix, "ms") ? 0.001 : 0.0;
    if (is(unit, "dB"))
        return bare || is(suffix, "db") ? 1.0 : 0.0;
    if (is(unit, "%") || is(unit, "x"))
        return bare || is(suffix, unit) ? 1.0 : 0.0;
    return bare ? 1.0 : 0.0;
}

} // namespace

TextWriter::TextWriter(char* out, int size)
    : mOut(out)
    , mSize(out != nullptr && size > 0 ? size : 0)
{
    if (mSize > 0)
        mOut[0] = '\0';
}

TextWriter& TextWriter::Append(const char* text, int length)
{
    for (int i = 0; i < length && mLength + 1 < mSize; ++i)
        mOut[mLength++] = text[i];
    if (mSize > 0)
        mOut[mLength] = '\0';
    return *this;
}

TextWriter& TextWriter::Append(const char* text)
{
    return Append(text, static_cast<int>(std::strlen(text)));
}

TextWriter& TextWriter::AppendFixed(double value, int decimals)
{
    char buffer[kNumberBufferSize];
    return Append(buffer, FixedNumber(value, decimals, buffer));
}

void FormatParamValue(int paramIdx, double value, char* out, int size)
{
    const TextWriter empty(out, size); // the text of the early returns
    if (paramIdx < 0 || paramIdx >= engine::kParamCount)
        return;
    const char* unit = engine::ParamUnit(paramIdx);
    if (std::strcmp(unit, "Hz") == 0)
    {
        // The unit follows the number as shown, so rounding up never shows "1000 Hz".
        if (value >= 1000.0 || ShownNumber(value, 0) >= 1000.0)
            WriteNumberAndUnit(value / 1000.0, 2, " kHz", out, size);
        else if (value < 10.0 && ShownNumber(value, 2) < 10.0)
            WriteNumberAndUnit(value, 2, " Hz", out, size);
        else
            WriteNumberAndUnit(value, 0, " Hz", out, size);
    }
    else if (std::strcmp(unit, "s") == 0)
        WriteNumberAndUnit(value, 2, " s", out, size);
    else if (std::strcmp(unit, "ms") == 0)
        WriteNumberAndUnit(value, 0, " ms", out, size);
    else if (std::strcmp(unit, "dB") == 0)
        WriteNumberAndUnit(value, 1, " dB", out, size);
    else if (std::strcmp(unit, "x") == 0)
        WriteNumberAndUnit(value, 2, " x", out, size);
    else
        WriteNumberAndUnit(value, 0, " %", out, size);
}

bool ParseParamValue(int paramIdx, const char* text, double* value)
{
    if (text == nullptr || value == nullptr || paramIdx < 0 || paramIdx >= engine::kParamCount)
        return false;

    const char* p = text;
    while (IsSpace(*p))
        ++p;
    // from_chars takes a leading minus but no plus; a second sign is no number.
    if (*p == '+' && p[1] != '-' && p[1] != '+')
        ++p;
    const char* end = p + std::strlen(p);
    double number = 0.0;
    const auto [rest, ec] = std::from_chars(p, end, number, std::chars_format::general);
    if (ec != std::errc() || !std::isfinite(number))
        return false;

    // The unit: every character after the number except blanks, lower-cased. No accepted unit
    // is longer than three letters, so a longer one is refused as soon as it is seen.
    char suffix[4] = {};
    int suffixLength = 0;
    for (const char* c = rest; *c != '\0'; ++c)
    {
        if (IsSpace(*c))
            continue;
        if (suffixLength == 3)
            return false;
        suffix[suffixLength++] = ToLowerAscii(*c);
    }

    const double factor = SuffixFactor(engine::ParamUnit(paramIdx), suffix);
    if (factor == 0.0)
        return false;
    const double converted = number * factor;
    if (!std::isfinite(converted))
        return false;
    *value = converted;
    return true;
}

void FormatEntryText(double value, char* out, int size)
{
    TextWriter writer(out, size);
    char buffer[kNumberBufferSize];
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
    {
        // No float to read back (no parameter holds such a value): the double, shortest form.
        const auto [end, ec] = std::to_chars(buffer, buffer + kNumberBufferSize, value);
        writer.Append(buffer, ec == std::errc() ? static_cast<int>(end - buffer) : 0);
        return;
    }
    // The fewest decimals of the float that read back, as ParseParamValue reads them (a double,
    // then the float the engine and the state take), to the same float. At kFloatDecimals the
    // text is the float's exact value, so the search always ends on a match.
    const float target = static_cast<float>(value);
    int length = 0;
    for (int decimals = 0; decimals <= kFloatDecimals; ++decimals)
    {
        length = FixedNumber(target, decimals, buffer, kFloatDecimals);
        double parsed = 0.0;
        std::from_chars(buffer, buffer + length, parsed);
        if (static_cast<float>(parsed) == target)
            break;
    }
    if (std::memchr(buffer, '.', static_cast<std::size_t>(length)) != nullptr)
    {
        while (length > 0 && buffer[length - 1] == '0')
            --length;
        if (length > 0 && buffer[length - 1] == '.')
            --length;
    }
    writer.Append(buffer, length);
}

} // namespace lumenfall::editor
