#include "plugkit/vst3/IPluginVst3Parameter.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace plugkit
{

void WidenToString128(const char* text, String128 out)
{
    int i = 0;
    for (; text != nullptr && i < 127 && text[i] != 0; ++i)
        out[i] = static_cast<TChar>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

void NarrowFromUtf16(const TChar* text, int maxUnits, char* out, int outSize)
{
    if (out == nullptr || outSize < 1)
        return;
    int i = 0;
    for (; text != nullptr && i < maxUnits && i + 1 < outSize && text[i] != 0; ++i)
    {
        const auto unit = static_cast<std::uint16_t>(text[i]);
        out[i] = unit <= 0xFF ? static_cast<char>(unit) : '?';
    }
    out[i] = 0;
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
    char text[129];
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
    appendString(STR16("off"));
    appendString(STR16("on"));
}

} // namespace plugkit
