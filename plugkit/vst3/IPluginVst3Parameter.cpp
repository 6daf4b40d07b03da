#include "plugkit/vst3/IPluginVst3Parameter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace plugkit
{

namespace
{
constexpr std::uint32_t kReplacement = 0xFFFD;

/// The code point of the UTF-8 sequence at `p` (advanced past it); a malformed, overlong or
/// surrogate sequence reads as one U+FFFD and skips one byte.
std::uint32_t DecodeUtf8(const unsigned char*& p)
{
    const std::uint32_t lead = *p;
    const int extra = lead < 0x80   ? 0
                      : lead < 0xC2 ? -1
                      : lead < 0xE0 ? 1
                      : lead < 0xF0 ? 2
                      : lead < 0xF5 ? 3
                                    : -1;
    if (extra <= 0)
    {
        ++p;
        return extra == 0 ? lead : kReplacement;
    }
    std::uint32_t c = lead & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i)
    {
        if ((p[i] & 0xC0) != 0x80)
        {
            ++p;
            return kReplacement;
        }
        c = (c << 6) | (p[i] & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
    {
        ++p;
        return kReplacement;
    }
    p += extra + 1;
    return c;
}
} // namespace

void WidenToString128(const char* text, String128 out)
{
    int n = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    while (*p != 0)
    {
        const std::uint32_t c = DecodeUtf8(p);
        const int units = c >= 0x10000 ? 2 : 1;
        if (n + units > 127)
            break; // never half a character
        if (units == 2)
        {
            out[n++] = static_cast<TChar>(0xD800 + ((c - 0x10000) >> 10));
            out[n++] = static_cast<TChar>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
        else
            out[n++] = static_cast<TChar>(c);
    }
    out[n] = 0;
}

void NarrowFromUtf16(const TChar* text, int maxUnits, char* out, int outSize)
{
    if (out == nullptr || outSize < 1)
        return;
    int n = 0;
    for (int i = 0; text != nullptr && i < maxUnits && text[i] != 0; ++i)
    {
        std::uint32_t c = static_cast<std::uint16_t>(text[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < maxUnits)
        {
            const std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000)
            {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
            else
                c = kReplacement;
        }
        else if (c >= 0xD800 && c < 0xE000)
            c = kReplacement;
        const int bytes = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (n + bytes >= outSize)
            break; // never half a character
        if (bytes == 1)
            out[n++] = static_cast<char>(c);
        else
        {
            static constexpr unsigned char kLead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
            out[n++] = static_cast<char>(kLead[bytes] | (c >> (6 * (bytes - 1))));
            for (int k = bytes - 2; k >= 0; --k)
                out[n++] = static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
        }
    }
    out[n] = 0;
}

IPluginVst3Parameter::IPluginVst3Parameter(IParam* param, ParamID id, UnitID unit)
    : mParam(param)
{
    WidenToString128(param->GetName(), info.title);
    WidenToString128(param->GetUnitLabel(), info.units);
    info.shortTitle[0] = 0;
    info.id = id;
    info.unitId = unit;
    info.stepCount =
        param->Type() == IParam::kTypeDouble ? 0 : static_cast<int32>(param->GetRange());
    info.defaultNormalizedValue = param->GetDefault(true);
    info.flags = 0;
    if (param->GetCanAutomate())
        info.flags |= ParameterInfo::kCanAutomate;
    if (param->Type() == IParam::kTypeEnum)
        info.flags |= ParameterInfo::kIsList;
    valueNormalized = info.defaultNormalizedValue;
    precision = param->GetPrecision();
}

void IPluginVst3Parameter::toString(ParamValue normalized, String128 string) const
{
    HeapString text;
    mParam->GetDisplay(normalized, true, text, true);
    WidenToString128(text.Get(), string);
}

bool IPluginVst3Parameter::fromString(const TChar* string, ParamValue& normalized) const
{
    char text[kMaxUtf8Bytes];
    NarrowFromUtf16(string, 128, text, sizeof(text));

    for (int i = 0; i < mParam->NDisplayTexts(); ++i)
    {
        double value = 0.0;
        const char* entry = mParam->GetDisplayTextAtIdx(i, &value);
        if (entry != nullptr && std::strcmp(entry, text) == 0)
        {
            normalized = mParam->ToNormalized(value);
            return true;
        }
    }

    char* end = nullptr;
    const double number = std::strtod(text, &end);
    if (end == text || !std::isfinite(number))
        return false;
    // Enumerations and switches also take their plain number.
    const double value = mParam->Type() == IParam::kTypeDouble ? mParam->StringToValue(text)
                                                               : mParam->Constrain(number);
    normalized = mParam->ToNormalized(value);
    return true;
}

ParamValue IPluginVst3Parameter::toPlain(ParamValue normalized) const
{
    return mParam->FromNormalized(normalized);
}

ParamValue IPluginVst3Parameter::toNormalized(ParamValue plain) const
{
    return mParam->ToNormalized(plain);
}

IPluginVst3BypassParameter::IPluginVst3BypassParameter()
    : StringListParameter(STR16("Bypass"),
                          kId,
                          nullptr,
                          ParameterInfo::kCanAutomate | ParameterInfo::kIsList |
                              ParameterInfo::kIsBypass,
                          kRootUnitId,
                          nullptr)
{
    // Room first: the SDK's appendString loses its text when the list cannot grow.
    strings.reserve(2);
    appendString(STR16("off"));
    appendString(STR16("on"));
}

ParamValue IPluginVst3BypassParameter::toPlain(ParamValue normalized) const
{
    const ParamValue held = normalized > 0.0 ? std::min(normalized, 1.0) : 0.0;
    return StringListParameter::toPlain(held);
}

} // namespace plugkit
