#include "plugkit/IParam.h"

#include "plugkit/Rounding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <system_error>

namespace plugkit
{

namespace
{

// Numbers are written and read in the "C" locale's form whatever the process's locale is (a
// host may set one with a decimal comma): every displayed text then reads back as itself, here
// and in the editor's own value entry.

/// Writes `value` with `precision` (0 to 6) decimals, as "%.*f" prints it in the "C" locale, to
/// `text` with its terminator; `plus` puts '+' before a value without a minus sign. "" when it
/// does not fit.
template <std::size_t N>
void FormatFixed(char (&text)[N], double value, int precision, bool plus = false)
{
    char* first = text;
    if (plus && !std::signbit(value))
        *first++ = '+';
    const auto [end, error] =
        std::to_chars(first, text + N - 1, value, std::chars_format::fixed, precision);
    *(error == std::errc() ? end : text) = 0;
}

/// The leading decimal number of `text` after blanks, with an optional sign, as strtod reads it
/// in the "C" locale; false when there is none or it is out of range.
bool ReadLeadingNumber(const char* text, double& value)
{
    const char* first = text + std::strspn(text, " \t\n\v\f\r");
    if (*first == '+' && first[1] != '-')
        ++first;
    const auto [end, error] = std::from_chars(first, first + std::strlen(first), value);
    return error == std::errc() && end != first;
}

// True when `value` prints as zero with `precision` decimals ("%.*f" rounding, so no value
// is judged apart from its text). Precision 0 rounds half away from zero, as GetDisplay does.
bool ShowsAsZero(double value, int precision)
{
    if (precision == 0)
        return RoundHalfAway(value) == 0.0;
    if (!(std::fabs(value) < 1.0))
        return false; // also NaN
    char digits[16];
    FormatFixed(digits, std::fabs(value), precision);
    return std::strspn(digits, "0.") == std::strlen(digits);
}

void CopyText(char (&dst)[IParam::kMaxTextLength + 1], const char* src)
{
    std::memset(dst, 0, sizeof(dst));
    if (src)
        std::strncpy(dst, src, IParam::kMaxTextLength);
}

/// [0, 1]; NaN (an empty range, a broken curve) reads as 0.
double Clamp01(double n)
{
    return n > 0.0 ? std::min(n, 1.0) : 0.0;
}

} // namespace

IParam::Shape* IParam::ShapeLinear::Clone() const
{
    return new (std::nothrow) ShapeLinear(*this);
}

double IParam::ShapeLinear::NormalizedToValue(double normalized, const IParam& param) const
{
    return param.GetMin() + normalized * param.GetRange();
}

double IParam::ShapeLinear::ValueToNormalized(double value, const IParam& param) const
{
    return (value - param.GetMin()) / param.GetRange();
}

IParam::Shape* IParam::ShapePowCurve::Clone() const
{
    return new (std::nothrow) ShapePowCurve(*this);
}

int IParam::ShapePowCurve::GetDisplayType() const
{
    if (mExponent > 2.5)
        return 6;
    if (mExponent > 1.5)
        return 4;
    if (mExponent < 0.4)
        return 5;
    if (mExponent < 2.0 / 3.0)
        return 3;
    return 0;
}

double IParam::ShapePowCurve::NormalizedToValue(double normalized, const IParam& param) const
{
    return param.GetMin() + std::pow(normalized, mExponent) * param.GetRange();
}

double IParam::ShapePowCurve::ValueToNormalized(double value, const IParam& param) const
{
    const double x = (value - param.GetMin()) / param.GetRange();
    return std::pow(std::max(x, 0.0), 1.0 / mExponent);
}

IParam::IParam()
    : mShape(new (std::nothrow) ShapeLinear)
    , mDisplayTexts(HeapBuffer::kDefaultGranularity)
{
}

void IParam::InitDouble(const char* name,
                        double defaultVal,
                        double minVal,
                        double maxVal,
                        double step,
                        const char* label,
                        int flags,
                        const char* group,
                        const Shape& shape,
                        int32_t unit,
                        DisplayFunc displayFunc)
{
    if (mType == kTypeNone)
        mType = kTypeDouble;
    CopyText(mName, name);
    CopyText(mLabel, label);
    CopyText(mGroup, group);
    mMin = minVal;
    mMax = std::max(minVal + step, maxVal);
    mStep = step;
    mDefault = defaultVal;
    mUnit = unit;
    mFlags = flags;
    mDisplayFunction = std::move(displayFunc);
    // The default as the value, snapped and clamped like every other value.
    const double constrained = Constrain(defaultVal);
    mValue.store(std::isfinite(constrained) ? constrained : mMin, std::memory_order_relaxed);

    int precision = 0;
    for (double s = step; precision < 6 && std::isfinite(s) && s != std::floor(s); s *= 10.0)
        ++precision;
    mDisplayPrecision = precision;

    if (Shape* clone = shape.Clone())
        mShape.reset(clone);
    if (mShape)
        mShape->Init(*this);
}

void IParam::InitEnumTexts(const char* name,
                           int defaultVal,
                           int nEnums,
                           const char* label,
                           int flags,
                           const char* group,
                           const char* const* texts,
                           int nTexts)
{
    if (mType == kTypeNone)
        mType = kTypeEnum;
    InitDouble(name,
               defaultVal,
               0.0,
               nEnums - 1,
               1.0,
               label,
               flags | kFlagStepped,
               group,
               ShapeLinear(),
               kUnitCustom);
    for (int i = 0; i < std::min(nTexts, nEnums); ++i)
        if (texts[i])
            SetDisplayText(i, texts[i]);
}

void IParam::InitEnum(const char* name,
                      int defaultVal,
                      std::initializer_list<const char*> texts,
                      int flags,
                      const char* group)
{
    const int n = static_cast<int>(texts.size());
    InitEnumTexts(name, defaultVal, n, "", flags, group, texts.begin(), n);
}

void IParam::InitBool(const char* name,
                      bool defaultVal,
                      const char* label,
                      int flags,
                      const char* group,
                      const char* offText,
                      const char* onText)
{
    if (mType == kTypeNone)
        mType = kTypeBool;
    InitEnumArgs(name, defaultVal ? 1 : 0, 2, label, flags | kFlagStepped, group);
    SetDisplayText(0, offText ? offText : "");
    SetDisplayText(1, onText ? onText : "");
}

double IParam::Constrain(double value) const
{
    if (!std::isfinite(value))
        return value;
    if ((mFlags & kFlagStepped) && mStep > 0.0)
        value = RoundHalfAway(value / mStep) * mStep;
    return std::min(mMax, std::max(mMin, value));
}

bool IParam::Set(double value)
{
    if (!std::isfinite(value))
        return false;
    mValue.store(Constrain(value), std::memory_order_relaxed);
    return true;
}

bool IParam::SetNormalized(double normalized)
{
    if (!std::isfinite(normalized))
        return false;
    const double value = FromNormalized(normalized);
    if (!std::isfinite(value))
        return false;
    mValue.store(value, std::memory_order_relaxed);
    return true;
}

double IParam::ToNormalized(double value) const
{
    return Clamp01(mShape->ValueToNormalized(Constrain(value), *this));
}

double IParam::FromNormalized(double normalized) const
{
    // Outside [0, 1] a curve is undefined (a negative base to a fractional power).
    return Constrain(mShape->NormalizedToValue(Clamp01(normalized), *this));
}

const IParam::DisplayText* IParam::DisplayTexts() const
{
    return static_cast<const DisplayText*>(mDisplayTexts.Get());
}

int IParam::NDisplayTexts() const
{
    return mDisplayTexts.Size() / static_cast<int>(sizeof(DisplayText));
}

bool IParam::SetDisplayText(double value, const char* text)
{
    const int n = NDisplayTexts();
    const int32_t wanted = static_cast<int32_t>((n + 1) * sizeof(DisplayText));
    mDisplayTexts.Resize(wanted, false);
    if (mDisplayTexts.Size() != wanted)
        return false;
    DisplayText entry;
    entry.mValue = value;
    CopyText(entry.mText, text);
    std::memcpy(static_cast<uint8_t*>(mDisplayTexts.Get()) + n * sizeof(DisplayText),
                &entry,
                sizeof(entry));
    return true;
}

const char* IParam::GetDisplayText(double value) const
{
    const DisplayText* texts = DisplayTexts();
    for (int i = 0; i < NDisplayTexts(); ++i)
        if (texts[i].mValue == value)
            return texts[i].mText;
    return "";
}

const char* IParam::GetDisplayTextAtIdx(int idx, double* pValue) const
{
    if (idx < 0 || idx >= NDisplayTexts())
        return nullptr;
    const DisplayText& entry = DisplayTexts()[idx];
    if (pValue)
        *pValue = entry.mValue;
    return entry.mText;
}

void IParam::GetDisplay(double value, bool normalized, HeapString& out, bool withDisplayText) const
{
    constexpr int kMaxDisplay = 32;
    if (normalized)
        value = FromNormalized(value);

    if (mDisplayFunction)
    {
        mDisplayFunction(value, out);
        return;
    }

    if (withDisplayText)
    {
        const DisplayText* texts = DisplayTexts();
        for (int i = 0; i < NDisplayTexts(); ++i)
        {
            if (texts[i].mText[0] == 0)
                break; // an empty entry ends the search
            if (texts[i].mValue == value)
            {
                out.Set(texts[i].mText, kMaxDisplay);
                return;
            }
        }
    }

    double c = (mFlags & kFlagNegateDisplay) ? -value : value;
    if (ShowsAsZero(c, mDisplayPrecision))
        c = 0.0; // no "-0.00" (nor "+0.00"): it would not read back as the text of zero

    // Room for every finite double in full: 309 digits, a sign, the point and 6 decimals.
    char text[330];
    if (mDisplayPrecision == 0)
    {
        // The rounded value in full shows what "%d" would for every int and stays defined
        // beyond the int range.
        FormatFixed(text, RoundHalfAway(c), 0);
    }
    else
    {
        FormatFixed(text, c, mDisplayPrecision, (mFlags & kFlagSignDisplay) && c != 0.0);
    }
    out.Set(text, kMaxDisplay);
}

double IParam::StringToValue(const char* text) const
{
    if (!text)
        text = "";
    const DisplayText* texts = DisplayTexts();
    for (int i = 0; i < NDisplayTexts(); ++i)
        if (std::strcmp(texts[i].mText, text) == 0)
            return texts[i].mValue;

    if (mType == kTypeBool || mType == kTypeEnum)
        return 0.0;

    double v = 0.0;
    if (!ReadLeadingNumber(text, v) || !std::isfinite(v))
        v = 0.0;
    if (mFlags & kFlagNegateDisplay)
        v = -v;
    return Constrain(v);
}

const char* IParam::GetLabel() const
{
    const double v = Value();
    if (v >= -2147483648.0 && v < 2147483648.0)
    {
        const char* text = GetDisplayText(static_cast<double>(static_cast<int>(v)));
        if (text[0] != 0)
            return "";
    }
    return mLabel;
}

} // namespace plugkit
