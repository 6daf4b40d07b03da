// IPluginVst3 as the host's component: construction, the interfaces it answers, initialize and
// terminate (buses, then the controller's parameters, the host's name), activation and the
// component state.
#include "plugkit/vst3/IPluginVst3.h"

#include "plugkit/IStateChunk.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace plugkit
{

IPluginVst3::IPluginVst3(const PluginConfig& config)
    : IPluginApiBase(config, kPluginApiVst3)
    , IPluginVst3ProcessorBase(config, this)
{
    // Hosts that honour these requirements send only what is asked for: the transport
    // fields ReadProcessContext reads.
    using R = IProcessContextRequirements;
    mProcessContextRequirements = R::kNeedTempo | R::kNeedTimeSignature | R::kNeedProjectTimeMusic |
                                  R::kNeedBarPositionMusic | R::kNeedCycleMusic |
                                  R::kNeedTransportState;
    CreateTimer();
}

IPluginVst3::~IPluginVst3() = default;

tresult PLUGIN_API IPluginVst3::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, IMidiMapping::iid, IMidiMapping)
    QUERY_INTERFACE(iid, obj, ChannelContext::IInfoListener::iid, ChannelContext::IInfoListener)
    return SingleComponentEffect::queryInterface(iid, obj);
}

tresult PLUGIN_API IPluginVst3::initialize(FUnknown* context)
{
    if (SingleComponentEffect::initialize(context) != kResultOk)
        return kResultFalse;
    // The SDK's containers are std::vector and std::map: nothing may throw to the host.
    try
    {
        if (!CreateBuses() || !CreateParameters())
            return kResultFalse;
    }
    catch (...)
    {
        return kResultFalse;
    }

    if (context != nullptr && GetHost() == kHostUninit)
    {
        IHostApplication* app = nullptr;
        if (context->queryInterface(IHostApplication::iid, reinterpret_cast<void**>(&app)) ==
                kResultOk &&
            app != nullptr)
        {
            String128 name = {};
            if (app->getName(name) == kResultOk)
            {
                char utf8[kMaxUtf8Bytes];
                NarrowFromUtf16(name, 127, utf8, sizeof(utf8));
                SetHost(utf8, 0);
            }
            app->release();
        }
    }
    OnHostIdentified();
    OnParamReset(ParamSource::Reset);
    return kResultOk;
}

tresult PLUGIN_API IPluginVst3::terminate()
{
    mNGroups = 0;
    return SingleComponentEffect::terminate();
}

bool IPluginVst3::CreateBuses()
{
    RemoveAudioBuses();
    RemoveEventBuses();
    int inConfig = 0;
    int outConfig = 0;
    const int nInBuses = MaxBusCount(kInput, &inConfig);
    const int nOutBuses = MaxBusCount(kOutput, &outConfig);
    for (int dir = kInput; dir <= kOutput; ++dir)
    {
        const auto direction = static_cast<ChannelDirection>(dir);
        const ChannelIOConfig* io = GetIOConfig(direction == kInput ? inConfig : outConfig);
        const int nBuses = direction == kInput ? nInBuses : nOutBuses;
        for (int bus = 0; io != nullptr && bus < nBuses; ++bus)
        {
            HeapString name;
            GetBusName(direction, bus, nBuses, name);
            String128 wide;
            WidenToString128(name.Get(), wide);
            // The widest this bus gets in any configuration ("1-1 2-2": stereo).
            const int widest = MaxChannelsForBus(direction, bus);
            const SpeakerArrangement arr = SpeakerArrangementForChannels(
                widest > 0 ? widest : io->NChansOnBus(direction, bus));
            const BusType type = bus == 0 ? kMain : kAux;
            const int32 flags = bus == 0 ? Vst::BusInfo::kDefaultActive : 0;
            AudioBus* added = direction == kInput ? AddAudioInput(wide, arr, type, flags)
                                                  : AddAudioOutput(wide, arr, type, flags);
            if (added == nullptr)
                return false;
        }
    }
    if (GetPluginType() == kPluginTypeMidiEffect && nOutBuses == 0 &&
        AddAudioOutput(STR16("Dummy Output"), 0, kMain, 0) == nullptr)
        return false;
    if (DoesMidiIn() &&
        AddEventInput(STR16("MIDI Input"), 1, kMain, Vst::BusInfo::kDefaultActive) == nullptr)
        return false;
    if (DoesMidiOut() &&
        AddEventOutput(STR16("MIDI Output"), 1, kMain, Vst::BusInfo::kDefaultActive) == nullptr)
        return false;
    return true;
}

tresult PLUGIN_API IPluginVst3::setActive(TBool state)
{
    mInHostSetupCall = true;
    OnActivate(state != 0);
    mInHostSetupCall = false;
    return kResultOk;
}

tresult PLUGIN_API IPluginVst3::setState(IBStream* state)
{
    if (state == nullptr)
        return kResultFalse;
    IStateChunk chunk;
    char buffer[1024];
    for (;;)
    {
        int32 read = 0;
        if (state->read(buffer, sizeof(buffer), &read) != kResultOk || read < 0 ||
            read > static_cast<int32>(sizeof(buffer)))
            return kResultFalse;
        if (read == 0)
            break;
        if (!chunk.PutBytes(buffer, read))
            return kResultFalse;
    }
    const int end = UnserializeState(chunk, 0);
    // The framework's list applies what was complete even when it fails: the controller's
    // parameter objects and the editor follow whatever the parameters now hold.
    OnRestoreState();
    return end >= 0 ? kResultOk : kResultFalse;
}

tresult PLUGIN_API IPluginVst3::getState(IBStream* state)
{
    if (state == nullptr)
        return kResultFalse;
    IStateChunk chunk;
    if (!SerializeState(chunk))
        return kResultFalse;
    return WriteWholeStream(state, chunk.GetData(), chunk.Size()) ? kResultOk : kResultFalse;
}

} // namespace plugkit
