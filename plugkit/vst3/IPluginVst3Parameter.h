#pragma once

#include "plugkit/IParam.h"
#include "plugkit/vst3/Vst3Sdk.h"

namespace plugkit
{

/// Bytes that hold any String128 as UTF-8 with its terminator (3 per unit at most).
inline constexpr int kMaxUtf8Bytes = 3 * 128 + 1;

/// The framework's UTF-8 text as UTF-16 in a String128: at most 127 units, never half a
/// character; malformed bytes read as U+FFFD. ASCII is widened byte by byte.
void WidenToString128(const char* text, Steinberg::Vst::String128 out);
/// At most `maxUnits` UTF-16 units (stopping at a terminator) as UTF-8 in `out` (`outSize`
/// bytes, always terminated, never half a character); unpaired surrogates become U+FFFD.
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

    /// [any-thread] 0 ("off") or 1 ("on") for any normalized value: the list's own conversion
    /// to int32 is undefined for non-finite or huge values, so they are held in [0, 1] first
    /// (NaN reads as 0).
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const override;

    OBJ_METHODS(IPluginVst3BypassParameter, StringListParameter)
};

} // namespace plugkit
