// IPluginVst3 as its own edit controller: the controller's parameter and unit objects, the
// host's parameter calls, the program names, the views, MIDI mapping, the channel context and
// the framework's notifications to the host.
#include "plugkit/vst3/IPluginVst3.h"

#include "plugkit/vst3/IPluginVst3View.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace plugkit
{
namespace
{
/// Reads a text key into `out`; false (and `out` unchanged) when the host has none.
bool ReadContextText(IAttributeList* list, const char* key, HeapString& out)
{
    String128 text = {};
    if (list->getString(key, text, sizeof(text)) != kResultTrue)
        return false;
    char utf8[kMaxUtf8Bytes];
    NarrowFromUtf16(text, 128, utf8, sizeof(utf8));
    out.Set(utf8);
    return true;
}
} // namespace

bool IPluginVst3::CreateParameters()
{
    parameters.removeAll();
    units.clear();
    mNGroups = 0; // groups are rebuilt with the parameters

    if (GetPluginType() != kPluginTypeInstrument)
    {
        if (!AddParameterObject(new (std::nothrow) IPluginVst3BypassParameter()))
            return false;
    }
    if (!AddUnitObject(new (std::nothrow)
                           Unit(STR16("Root"), kRootUnitId, kNoParentUnitId, kNoProgramListId)))
        return false;

    for (int i = 0; i < NParams(); ++i)
    {
        IParam* param = GetParam(i);
        if (param == nullptr)
            continue;
        UnitID unit = kRootUnitId;
        const char* group = param->GetGroup();
        if (group != nullptr && group[0] != 0)
        {
            int found = -1;
            for (int g = 0; g < mNGroups; ++g)
                if (std::strcmp(mGroupNames[g].Get(), group) == 0)
                    found = g;
            if (found < 0 &&
                mNGroups < static_cast<int>(sizeof(mGroupNames) / sizeof(mGroupNames[0])))
            {
                mGroupNames[mNGroups].Set(group);
                found = mNGroups++;
                String128 name;
                WidenToString128(group, name);
                if (!AddUnitObject(new (std::nothrow)
                                       Unit(name, found + 1, kRootUnitId, kNoProgramListId)))
                    return false;
            }
            unit = found >= 0 ? found + 1 : kRootUnitId;
        }
        if (!AddParameterObject(new (std::nothrow)
                                    IPluginVst3Parameter(param, static_cast<ParamID>(i), unit)))
            return false;
    }

    if (DoesMidiIn())
    {
        // MIDI controllers of channel 1 as parameters, titled as the MIDI names go.
        static const char* const kNames[128] = {
            "BankSel.MSB", "Modulation",  "BreathCtrl",  nullptr,       "Foot Ctrl",
            "Porta.Time",  "DataEntMSB",  "MainVolume",  "Balance",     nullptr,
            "Pan",         "Expression",  "FXControl1",  "FXControl2",  nullptr,
            nullptr,       "Gen.Purp.1",  "Gen.Purp.2",  "Gen.Purp.3",  "Gen.Purp.4",
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       "BankSel.LSB", "Modul. LSB",  "BrthCt LSB",
            nullptr,       "FootCt LSB",  "Port.T LSB",  "DataEntLSB",  "MainVolLSB",
            "BalanceLSB",  nullptr,       "Pan LSB",     "Expr. LSB",   nullptr,
            nullptr,       nullptr,       nullptr,       "Gen.P.1LSB",  "Gen.P.2LSB",
            "Gen.P.3LSB",  "Gen.P.4LSB",  nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       "Damper Ped",
            "Porta. Ped",  "Sostenuto ",  "Soft Pedal",  "Legato Sw",   "Hold 2",
            "SoundCont 1", "SoundCont 2", "SoundCont 3", "SoundCont 4", "SoundCont 5",
            "SoundCont 6", "SoundCont 7", "SoundCont 8", "SoundCont 9", "SoundCont 10",
            "Gen.Purp.5",  "Gen.Purp.6",  "Gen.Purp.7",  "Gen.Purp.8",  "Portamento",
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       "FX 1 Depth",  "FX 2 Depth",  "FX 3 Depth",  "FX 4 Depth",
            "FX 5 Depth",  "Data Incr",   "Data Decr",   "Non-RegLSB",  "Non-RegMSB",
            "Reg LSB",     "Reg MSB",     nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       nullptr,       nullptr,       nullptr,       nullptr,
            nullptr,       "Reset Ctrl",  "Local Ctrl",  "AllNoteOff",  "OmniModOff",
            "OmniModeOn",  "MonoModeOn",  "PolyModeOn"};
        const UnitID ccUnit = getUnitCount() + 1;
        if (!AddUnitObject(new (std::nothrow)
                               Unit(STR16("MIDI CCs"), ccUnit, kRootUnitId, kNoProgramListId)))
            return false;
        const UnitID channelUnit = getUnitCount() + 1;
        if (!AddUnitObject(new (std::nothrow)
                               Unit(STR16("CH1"), channelUnit, ccUnit, kNoProgramListId)))
            return false;
        for (int c = 0; c < kControllersPerChannel; ++c)
        {
            HeapString title;
            if (c == 128)
                title.Set("Channel Aftertouch");
            else if (c == 129)
                title.Set("Pitch Bend");
            else if (kNames[c] != nullptr)
                title.Set(kNames[c]);
            else
                title.SetFormatted(32, "Contr. %d", c);
            ParameterInfo info = {};
            WidenToString128(title.Get(), info.title);
            info.id = kMidiControllerParamBase + static_cast<ParamID>(c);
            info.defaultNormalizedValue = c == 129 ? 0.5 : 0.0;
            info.unitId = channelUnit;
            if (!AddParameterObject(new (std::nothrow) Parameter(info)))
                return false;
        }
    }
    return true;
}

bool IPluginVst3::AddParameterObject(Parameter* p)
{
    if (p == nullptr)
        return false;
    // The container takes over `p`'s reference, but its growth may fail before or after its
    // list holds `p`: a reference of our own across the call tells the two apart.
    p->addRef();
    try
    {
        parameters.addParameter(p);
    }
    catch (...)
    {
        parameters.removeAll(); // no half-added entry stays behind
        if (p->getRefCount() > 1)
            p->release(); // the list never held it: its first reference is still ours
        p->release();
        return false;
    }
    p->release();
    return true;
}

bool IPluginVst3::AddUnitObject(Unit* unit)
{
    if (unit == nullptr)
        return false;
    try
    {
        addUnit(unit); // the list holds `unit`'s reference once it has grown
    }
    catch (...)
    {
        unit->release();
        return false;
    }
    return true;
}

Parameter* IPluginVst3::GetVst3Parameter(ParamID id) const
{
    return parameters.getParameter(id);
}

void IPluginVst3::SyncControllerParameters()
{
    for (int i = 0; i < NParams(); ++i)
        if (Parameter* p = GetVst3Parameter(static_cast<ParamID>(i)))
            if (IParam* param = GetParam(i))
                p->setNormalized(param->GetNormalized());
}

void IPluginVst3::SetBypassParameter(bool on)
{
    if (Parameter* bypass = GetVst3Parameter(kBypassParamId))
        bypass->setNormalized(on ? 1.0 : 0.0);
}

tresult PLUGIN_API IPluginVst3::getParameterInfo(int32 index, ParameterInfo& info)
{
    // The SDK's container indexes with at(), which throws for a bad index.
    if (index < 0 || index >= parameters.getParameterCount())
        return kInvalidArgument;
    return SingleComponentEffect::getParameterInfo(index, info);
}

tresult PLUGIN_API IPluginVst3::getParamStringByValue(ParamID id,
                                                      ParamValue normalized,
                                                      String128 string)
{
    // The SDK's list parameter indexes its texts with the value: keep it finite and in range.
    if (string == nullptr || !std::isfinite(normalized))
        return kResultFalse;
    normalized = normalized < 0.0 ? 0.0 : (normalized > 1.0 ? 1.0 : normalized);
    return SingleComponentEffect::getParamStringByValue(id, normalized, string);
}

tresult PLUGIN_API IPluginVst3::getParamValueByString(ParamID id,
                                                      TChar* string,
                                                      ParamValue& normalized)
{
    if (string == nullptr)
        return kInvalidArgument;
    Parameter* p = GetVst3Parameter(id);
    if (p == nullptr)
        return kResultFalse;
    // The SDK's parameters read the host's text up to its terminator: hand them a copy that
    // ends within 128 units. Their results are held to finite values in [0, 1].
    String128 bounded;
    int n = 0;
    for (; n < 127 && string[n] != 0; ++n)
        bounded[n] = string[n];
    bounded[n] = 0;
    ParamValue value = 0.0;
    if (!p->fromString(bounded, value) || !std::isfinite(value))
        return kResultFalse;
    normalized = std::clamp(value, 0.0, 1.0);
    return kResultTrue;
}

tresult PLUGIN_API IPluginVst3::setParamNormalized(ParamID id, ParamValue value)
{
    if (!std::isfinite(value))
        return kResultFalse;
    Parameter* p = GetVst3Parameter(id);
    if (p == nullptr)
        return kResultFalse;
    value = std::clamp(value, 0.0, 1.0); // what the parameter takes is what the editor shows
    p->setNormalized(value);
    const int idx = static_cast<int>(id);
    if (id < static_cast<ParamID>(NParams()))
        if (IParam* param = GetParam(idx))
        {
            param->SetNormalized(value);
            OnParamChangeUI(idx, ParamSource::Host);
            SendParameterValueFromDelegate(idx, value, true);
        }
    return kResultOk;
}

ParamValue PLUGIN_API IPluginVst3::getParamNormalized(ParamID id)
{
    Parameter* p = GetVst3Parameter(id);
    return p != nullptr ? p->getNormalized() : 0.0;
}

IPlugView* PLUGIN_API IPluginVst3::createView(FIDString name)
{
    if (!HasUI() || name == nullptr || std::strcmp(name, "editor") != 0)
        return nullptr;
    auto* view = new (std::nothrow) View(*this);
    if (view == nullptr)
        return nullptr;
    mCurrentView = view;
    return view;
}

void IPluginVst3::ForgetView(const View* view)
{
    if (mCurrentView == view)
        mCurrentView = nullptr;
    if (mEditorOwner == view)
        mEditorOwner = nullptr;
}

Steinberg::Vst::IComponentHandler* IPluginVst3::GetHostComponentHandler()
{
    return getComponentHandler();
}

Steinberg::IPlugView* IPluginVst3::GetEditorView()
{
    return OwnsEditor(mCurrentView) ? mCurrentView : nullptr;
}

bool IPluginVst3::ReleaseEditor(const View* view)
{
    if (!OwnsEditor(view))
        return false;
    mEditorOwner = nullptr;
    return true;
}

tresult PLUGIN_API IPluginVst3::setKnobMode(KnobMode mode)
{
    mKnobMode = mode;
    return kResultOk;
}

tresult PLUGIN_API IPluginVst3::getProgramName(ProgramListID listId, int32 index, String128 name)
{
    if (NPresets() < 1 || listId != static_cast<ProgramListID>(kProgramChangeParamId) ||
        index < 0 || index >= NPresets() || name == nullptr)
        return kResultFalse;
    const PresetSlot* slot = GetPreset(index);
    if (slot == nullptr)
        return kResultFalse;
    WidenToString128(slot->mName, name);
    return kResultOk;
}

tresult PLUGIN_API IPluginVst3::getMidiControllerAssignment(int32 busIndex,
                                                            int16 channel,
                                                            CtrlNumber controller,
                                                            ParamID& id)
{
    // Only channel 1 of the event input has controller parameters, and only when the
    // plug-in declares MIDI input.
    if (!DoesMidiIn() || busIndex != 0 || channel != 0 || controller < 0 ||
        controller >= kControllersPerChannel)
        return kResultFalse;
    const ParamID candidate = kMidiControllerParamBase +
                              static_cast<ParamID>(channel) * kControllersPerChannel +
                              static_cast<ParamID>(controller);
    if (GetVst3Parameter(candidate) == nullptr)
        return kResultFalse;
    id = candidate;
    return kResultOk;
}

tresult PLUGIN_API IPluginVst3::setChannelContextInfos(IAttributeList* list)
{
    return StoreChannelContext(list) ? kResultOk : kResultFalse;
}

bool IPluginVst3::StoreChannelContext(IAttributeList* list)
{
    if (list == nullptr)
        return false;
    int64 value = 0;
    if (list->getInt(ChannelContext::kChannelNameLengthKey, value) == kResultTrue)
        ReadContextText(list, ChannelContext::kChannelNameKey, mTrackName);
    if (list->getInt(ChannelContext::kChannelUIDLengthKey, value) == kResultTrue)
        ReadContextText(list, ChannelContext::kChannelUIDKey, mTrackId);
    if (list->getInt(ChannelContext::kChannelIndexKey, value) == kResultTrue)
        mTrackIndex = static_cast<int>(value);
    if (list->getInt(ChannelContext::kChannelColorKey, value) == kResultTrue)
        mTrackColor = static_cast<std::uint32_t>(value);
    if (list->getInt(ChannelContext::kChannelIndexNamespaceOrderKey, value) == kResultTrue)
        mTrackNamespaceOrder = static_cast<int>(value);
    if (list->getInt(ChannelContext::kChannelIndexNamespaceLengthKey, value) == kResultTrue)
        ReadContextText(list, ChannelContext::kChannelIndexNamespaceKey, mTrackNamespace);
    return true;
}

void IPluginVst3::InformHostOfAllParams()
{
    for (int i = 0; i < NParams(); ++i)
        if (Parameter* p = GetVst3Parameter(static_cast<ParamID>(i)))
            p->setNormalized(GetParam(i)->GetNormalized());
    startGroupEdit();
    IPluginApiBase::InformHostOfAllParams();
    finishGroupEdit();
}

void IPluginVst3::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
    if (Parameter* p = GetVst3Parameter(static_cast<ParamID>(paramIdx)))
        p->setNormalized(normalizedValue);
    IPluginApiBase::SendParameterValueFromUI(paramIdx, normalizedValue);
}

void IPluginVst3::InformHostOfParamDetailsChange()
{
    if (IComponentHandler* handler = getComponentHandler())
        handler->restartComponent(kParamTitlesChanged);
}

void IPluginVst3::GetTrackColor(int& r, int& g, int& b)
{
    r = static_cast<int>((mTrackColor >> 16) & 0xFF);
    g = static_cast<int>((mTrackColor >> 8) & 0xFF);
    b = static_cast<int>(mTrackColor & 0xFF);
}

void IPluginVst3::GetTrackName(HeapString& out)
{
    out.Set(mTrackName.Get());
}

void IPluginVst3::GetTrackNamespace(HeapString& out)
{
    out.Set(mTrackNamespace.Get());
}

bool IPluginVst3::EditorResize(int width, int height)
{
    if (!HasUI())
        return true;
    if ((width != GetEditorWidth() || height != GetEditorHeight()) && mCurrentView != nullptr)
    {
        if (IPlugFrame* frame = mCurrentView->GetFrame())
        {
            ViewRect rect(0, 0, width, height);
            frame->resizeView(mCurrentView, &rect); // the host's answer changes nothing here
        }
    }
    SetEditorSize(width, height);
    return true;
}

void IPluginVst3::BeginInformHostOfParamChange(int paramIdx)
{
    beginEdit(static_cast<ParamID>(paramIdx));
}

void IPluginVst3::EndInformHostOfParamChange(int paramIdx)
{
    endEdit(static_cast<ParamID>(paramIdx));
}

void IPluginVst3::InformHostOfParamChange(int paramIdx, double normalizedValue)
{
    if (Parameter* p = GetVst3Parameter(static_cast<ParamID>(paramIdx)))
        p->setNormalized(normalizedValue);
    performEdit(static_cast<ParamID>(paramIdx), normalizedValue);
}

void IPluginVst3::OnRestoreState()
{
    SyncControllerParameters();
    IPluginApiBase::OnRestoreState();
}

} // namespace plugkit
