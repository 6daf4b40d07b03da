#include "plugkit/vst3/SingleComponentEffect.h"

#include <new>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace plugkit
{
namespace
{
// The bus lists are std::vectors: a failed growth is caught here, at the boundary,
// and the bus is not added. The list's smart pointer owns the bus from the start, so a
// failed growth has already released it.
template <typename T>
T* AppendBus(BusList& list, T* bus)
{
    if (bus == nullptr)
        return nullptr;
    try
    {
        list.push_back(IPtr<Vst::Bus>(bus, false));
    }
    catch (...)
    {
        return nullptr;
    }
    return bus;
}
} // namespace

SingleComponentEffect::SingleComponentEffect()
    : mAudioInputs(kAudio, kInput)
    , mAudioOutputs(kAudio, kOutput)
    , mEventInputs(kEvent, kInput)
    , mEventOutputs(kEvent, kOutput)
{
    mProcessSetup.processMode = kRealtime;
    mProcessSetup.symbolicSampleSize = kSample32;
    mProcessSetup.maxSamplesPerBlock = 1024;
    mProcessSetup.sampleRate = 44100.0;
}

SingleComponentEffect::~SingleComponentEffect() = default;

AudioBus* SingleComponentEffect::AddAudioInput(const TChar* name,
                                               SpeakerArrangement arrangement,
                                               BusType busType,
                                               int32 flags)
{
    return AppendBus(mAudioInputs, new (std::nothrow) AudioBus(name, busType, flags, arrangement));
}

AudioBus* SingleComponentEffect::AddAudioOutput(const TChar* name,
                                                SpeakerArrangement arrangement,
                                                BusType busType,
                                                int32 flags)
{
    return AppendBus(mAudioOutputs, new (std::nothrow) AudioBus(name, busType, flags, arrangement));
}

EventBus* SingleComponentEffect::AddEventInput(const TChar* name,
                                               int32 channels,
                                               BusType busType,
                                               int32 flags)
{
    return AppendBus(mEventInputs, new (std::nothrow) EventBus(name, busType, flags, channels));
}

EventBus* SingleComponentEffect::AddEventOutput(const TChar* name,
                                                int32 channels,
                                                BusType busType,
                                                int32 flags)
{
    return AppendBus(mEventOutputs, new (std::nothrow) EventBus(name, busType, flags, channels));
}

void SingleComponentEffect::RemoveAudioBuses()
{
    mAudioInputs.clear();
    mAudioOutputs.clear();
}

void SingleComponentEffect::RemoveEventBuses()
{
    mEventInputs.clear();
    mEventOutputs.clear();
}

AudioBus* SingleComponentEffect::GetAudioBus(BusDirection dir, int32 index) const
{
    const BusList& list = dir == kInput ? mAudioInputs : mAudioOutputs;
    if (index < 0 || index >= static_cast<int32>(list.size()))
        return nullptr;
    return FCast<AudioBus>(list[static_cast<size_t>(index)].get());
}

BusList* SingleComponentEffect::GetBusList(MediaType type, BusDirection dir)
{
    if (type == kAudio)
        return dir == kInput ? &mAudioInputs : &mAudioOutputs;
    if (type == kEvent)
        return dir == kInput ? &mEventInputs : &mEventOutputs;
    return nullptr;
}

tresult PLUGIN_API SingleComponentEffect::initialize(FUnknown* context)
{
    return EditControllerEx1::initialize(context);
}

tresult PLUGIN_API SingleComponentEffect::terminate()
{
    RemoveAudioBuses();
    RemoveEventBuses();
    return EditControllerEx1::terminate();
}

tresult PLUGIN_API SingleComponentEffect::setComponentState(IBStream*)
{
    return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::setControllerState(IBStream*)
{
    return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::getControllerState(IBStream*)
{
    return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::getUnitInfo(int32 unitIndex, UnitInfo& info)
{
    if (unitIndex < 0 || unitIndex >= getUnitCount())
        return kInvalidArgument;
    return EditControllerEx1::getUnitInfo(unitIndex, info);
}

tresult PLUGIN_API SingleComponentEffect::getControllerClassId(TUID)
{
    return kNotImplemented;
}

tresult PLUGIN_API SingleComponentEffect::setIoMode(IoMode)
{
    return kNotImplemented;
}

int32 PLUGIN_API SingleComponentEffect::getBusCount(MediaType type, BusDirection dir)
{
    const BusList* list = GetBusList(type, dir);
    return list != nullptr ? static_cast<int32>(list->size()) : 0;
}

tresult PLUGIN_API SingleComponentEffect::getBusInfo(MediaType type,
                                                     BusDirection dir,
                                                     int32 index,
                                                     BusInfo& info)
{
    BusList* list = GetBusList(type, dir);
    if (list == nullptr || index < 0 || index >= static_cast<int32>(list->size()))
        return kInvalidArgument;
    Vst::Bus* bus = (*list)[static_cast<size_t>(index)].get();
    info.mediaType = type;
    info.direction = dir;
    return bus != nullptr && bus->getInfo(info) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API SingleComponentEffect::getRoutingInfo(RoutingInfo&, RoutingInfo&)
{
    return kNotImplemented;
}

tresult PLUGIN_API SingleComponentEffect::activateBus(MediaType type,
                                                      BusDirection dir,
                                                      int32 index,
                                                      TBool state)
{
    BusList* list = GetBusList(type, dir);
    if (list == nullptr || index < 0 || index >= static_cast<int32>(list->size()))
        return kInvalidArgument;
    Vst::Bus* bus = (*list)[static_cast<size_t>(index)].get();
    if (bus == nullptr)
        return kResultFalse;
    bus->setActive(state);
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::setActive(TBool)
{
    return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::setState(IBStream*)
{
    return kNotImplemented;
}

tresult PLUGIN_API SingleComponentEffect::getState(IBStream*)
{
    return kNotImplemented;
}

tresult PLUGIN_API SingleComponentEffect::setBusArrangements(SpeakerArrangement* inputs,
                                                             int32 numIns,
                                                             SpeakerArrangement* outputs,
                                                             int32 numOuts)
{
    if (numIns != static_cast<int32>(mAudioInputs.size()) ||
        numOuts != static_cast<int32>(mAudioOutputs.size()))
        return kResultFalse;
    if ((numIns > 0 && inputs == nullptr) || (numOuts > 0 && outputs == nullptr))
        return kInvalidArgument;
    for (int32 i = 0; i < numIns; ++i)
        if (auto* bus = GetAudioBus(kInput, i))
            bus->setArrangement(inputs[i]);
    for (int32 i = 0; i < numOuts; ++i)
        if (auto* bus = GetAudioBus(kOutput, i))
            bus->setArrangement(outputs[i]);
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::getBusArrangement(BusDirection dir,
                                                            int32 index,
                                                            SpeakerArrangement& arr)
{
    AudioBus* bus = GetAudioBus(dir, index);
    if (bus == nullptr)
        return kInvalidArgument;
    arr = bus->getArrangement();
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::canProcessSampleSize(int32 symbolicSampleSize)
{
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 PLUGIN_API SingleComponentEffect::getLatencySamples()
{
    return 0;
}

tresult PLUGIN_API SingleComponentEffect::setupProcessing(ProcessSetup& setup)
{
    if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue)
        return kResultFalse;
    mProcessSetup = setup;
    return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::setProcessing(TBool)
{
    return kNotImplemented;
}

tresult PLUGIN_API SingleComponentEffect::process(ProcessData&)
{
    return kNotImplemented;
}

uint32 PLUGIN_API SingleComponentEffect::getTailSamples()
{
    return kNoTail;
}

uint32 PLUGIN_API SingleComponentEffect::getProcessContextRequirements()
{
    return mProcessContextRequirements;
}

tresult PLUGIN_API SingleComponentEffect::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, IComponent::iid, IComponent)
    QUERY_INTERFACE(iid, obj, IAudioProcessor::iid, IAudioProcessor)
    QUERY_INTERFACE(iid, obj, IProcessContextRequirements::iid, IProcessContextRequirements)
    return EditControllerEx1::queryInterface(iid, obj);
}

} // namespace plugkit
