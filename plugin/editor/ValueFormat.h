#pragma once

namespace lumenfall::editor
{

/// Writes the display text of a parameter's real (not normalised) value in the parameter's
/// unit: "2.40 s", "22 ms", "35 %", "-6.0 dB", "1.00 x", "120 Hz", "2.50 Hz", "1.25 kHz".
/// Frequencies read in Hz with two decimals below 10 Hz, whole Hz up to 1000 Hz and kHz with
/// two decimals above; a value that rounds across a boundary shows in the larger unit, so
/// 999.7 Hz reads "1.00 kHz" and 9.996 Hz "10 Hz". A value that rounds to zero shows no sign.
/// Numbers are written the same in every C locale. An index outside the table, a null `out` or
/// a `size` below 1 writes nothing; a text longer than `size` - 1 is cut.
void FormatParamValue(int paramIdx, double value, char* out, int size);

/// Reads typed text for parameter `paramIdx`: a number (leading blanks, an optional sign,
/// decimal or exponent form, "." as the decimal mark) and an optional unit, matched without
/// regard to case or blanks. Time parameters take "ms" or "s", frequencies "Hz" or "k"/"kHz",
/// the others only their own unit or none; a number alone is in the parameter's own unit. On
/// success `*value` holds the number in that unit and the result is true. Text without a
/// leading number, any other unit, a decimal comma ("1,5"), infinities, not-a-numbers and
/// numbers beyond the double range ("1e400") fail and leave `*value` unchanged; so do a null
/// text or `value` and an index outside the table. The range is not checked here.
bool ParseParamValue(int paramIdx, const char* text, double* value);

/// Writes the typed entry's first text: the shortest number in fixed notation ("." as the
/// decimal mark, no exponent, no trailing zeros, no sign on zero) that ParseParamValue reads
/// back as the same float as `value`, so that Return on it changes nothing. 2.4 and a value
/// stored from 2.4f read "2.4", a dragged 2.4371 reads "2.4371"; no display rounding, no float
/// noise. Same conventions for `out` and `size` as FormatParamValue.
void FormatEntryText(double value, char* out, int size);

/// Builds a text in a caller's buffer of `size` bytes, always NUL-terminated (when `size` >= 1),
/// cutting what does not fit. Allocates nothing.
class TextWriter
{
public:
    TextWriter(char* out, int size);
    TextWriter& Append(const char* text);
    TextWriter& Append(const char* text, int length);
    /// `value` with exactly `decimals` decimals (0..9), "." as the decimal mark in every locale
    /// and no sign on a value that rounds to zero ("-0.0" never shows).
    TextWriter& AppendFixed(double value, int decimals);
    int Length() const { return mLength; }

private:
    char* mOut;
    int mSize;
    int mLength = 0;
};

} // namespace lumenfall::editor
