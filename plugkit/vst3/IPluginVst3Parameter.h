#pragma once

#include "plugkit/IParam.h"
#include "plugkit/vst3/Vst3Sdk.h"

namespace plugkit
{

/// Widens 8-bit text byte by byte into a String128 (at most 127 characters).
void WidenToString128(const char* text, Steinberg::Vst::String128 out);
/// Narrows at most `maxUnits` UTF-16 units (stopping at a terminator) to 8-bit text; units
/// above 0xFF become '?'. `out` holds `outSize` bytes and is always terminated.
void NarrowFromUtf16(const Steinberg::Vst::TChar* text, int maxUnits, char* out, int outSize);

/// A VST3 parameter that mirrors one IParam: id = the parameter's index, its shape maps
/// between normalized and plain values, its display texts and parsing are the IParam's.
class IPluginVst3Parameter : public Steinberg::Vst::Parameter
{
public:
    /// `param` must outlive this object (the plug-in owns both).
    IPluginVst3Parameter(IParam* param, Steinberg::Vst::ParamID id, Steinberg::Vst::UnitID unit);

    void toString(Steinberg::Vst::ParamValue normalized,
                  Steinberg::Vst::String128 string) const override;
    /// False for text that is neither a display text nor begins with a finite number.
    bool fromString(const Steinberg::Vst::TChar* string,
                    Steinberg::Vst::ParamValue& normalized) const override;
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const override;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const override;

    IParam* GetIParam() const { return mParam; }

    OBJ_METHODS(IPluginVst3Parameter, Parameter)

private:
    IParam* mParam;
};

/// The host's bypass switch: a two-entry list "off", "on" with the bypass flag.
class IPluginVst3BypassParameter : public Steinberg::Vst::StringListParameter
{
public:
    static constexpr Steinberg::Vst::ParamID kId = 65536;

    IPluginVst3BypassParameter();

    OBJ_METHODS(IPluginVst3BypassParameter, StringListParameter)
};

} // namespace plugkit
