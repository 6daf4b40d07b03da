#pragma once

#include "plugkit/vst3/Vst3Sdk.h"

namespace plugkit
{

/// An edit controller with units that is also its own component and audio processor:
/// one object answers IComponent, IAudioProcessor, IProcessContextRequirements,
/// IEditController, IEditController2, IUnitInfo, IConnectionPoint and IPluginBase.
/// Owns its audio and event bus lists; the component and controller states are
/// separate calls (setState/getState and setControllerState/getControllerState).
class SingleComponentEffect : public Steinberg::Vst::EditControllerEx1,
                              public Steinberg::Vst::IComponent,
                              public Steinberg::Vst::IAudioProcessor,
                              public Steinberg::Vst::IProcessContextRequirements
{
public:
    using tresult = Steinberg::tresult;
    using TBool = Steinberg::TBool;
    using int32 = Steinberg::int32;
    using uint32 = Steinberg::uint32;
    using MediaType = Steinberg::Vst::MediaType;
    using BusDirection = Steinberg::Vst::BusDirection;
    using SpeakerArrangement = Steinberg::Vst::SpeakerArrangement;

    SingleComponentEffect();
    ~SingleComponentEffect() override;

    /// Adds an audio bus; null when the list cannot grow. The lists own their buses.
    Steinberg::Vst::AudioBus* AddAudioInput(const Steinberg::Vst::TChar* name,
                                            SpeakerArrangement arrangement,
                                            Steinberg::Vst::BusType busType,
                                            int32 flags);
    Steinberg::Vst::AudioBus* AddAudioOutput(const Steinberg::Vst::TChar* name,
                                             SpeakerArrangement arrangement,
                                             Steinberg::Vst::BusType busType,
                                             int32 flags);
    Steinberg::Vst::EventBus* AddEventInput(const Steinberg::Vst::TChar* name,
                                            int32 channels,
                                            Steinberg::Vst::BusType busType,
                                            int32 flags);
    Steinberg::Vst::EventBus* AddEventOutput(const Steinberg::Vst::TChar* name,
                                             int32 channels,
                                             Steinberg::Vst::BusType busType,
                                             int32 flags);
    void RemoveAudioBuses();
    void RemoveEventBuses();

    /// The audio bus at this index of a direction, or null.
    Steinberg::Vst::AudioBus* GetAudioBus(BusDirection dir, int32 index) const;

    const Steinberg::Vst::ProcessSetup& GetProcessSetup() const { return mProcessSetup; }

    // IPluginBase (through the component and the controller alike), [ui-thread & !active]
    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    tresult PLUGIN_API terminate() override;

    // IEditController state, [ui-thread]: this object keeps none of its own by default.
    tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) override;
    tresult PLUGIN_API setControllerState(Steinberg::IBStream* state) override;
    tresult PLUGIN_API getControllerState(Steinberg::IBStream* state) override;

    // IUnitInfo, [ui-thread]: the SDK's list lookup throws for an index out of range.
    tresult PLUGIN_API getUnitInfo(int32 unitIndex, Steinberg::Vst::UnitInfo& info) override;

    // IComponent, all [ui-thread & !active] but the state pair ([ui-thread])
    tresult PLUGIN_API getControllerClassId(Steinberg::TUID classId) override;
    tresult PLUGIN_API setIoMode(Steinberg::Vst::IoMode mode) override;
    int32 PLUGIN_API getBusCount(MediaType type, BusDirection dir) override;
    tresult PLUGIN_API getBusInfo(MediaType type,
                                  BusDirection dir,
                                  int32 index,
                                  Steinberg::Vst::BusInfo& bus) override;
    tresult PLUGIN_API getRoutingInfo(Steinberg::Vst::RoutingInfo& inInfo,
                                      Steinberg::Vst::RoutingInfo& outInfo) override;
    tresult PLUGIN_API activateBus(MediaType type,
                                   BusDirection dir,
                                   int32 index,
                                   TBool state) override;
    tresult PLUGIN_API setActive(TBool state) override;
    tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    tresult PLUGIN_API getState(Steinberg::IBStream* state) override;

    // IAudioProcessor
    // [ui-thread & !active]
    tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs,
                                          int32 numIns,
                                          SpeakerArrangement* outputs,
                                          int32 numOuts) override;
    // [ui-thread]
    tresult PLUGIN_API getBusArrangement(BusDirection dir,
                                         int32 index,
                                         SpeakerArrangement& arr) override;
    // [any-thread]
    tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) override;
    // [any-thread]
    uint32 PLUGIN_API getLatencySamples() override;
    // [ui-thread & !active]
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    // [audio-thread & active]
    tresult PLUGIN_API setProcessing(TBool state) override;
    // [audio-thread & active]
    tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    // [any-thread]
    uint32 PLUGIN_API getTailSamples() override;

    // IProcessContextRequirements, [any-thread]
    uint32 PLUGIN_API getProcessContextRequirements() override;

    OBJ_METHODS(SingleComponentEffect, Steinberg::Vst::EditControllerEx1)
    // [any-thread]
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    REFCOUNT_METHODS(Steinberg::Vst::EditControllerEx1)

protected:
    Steinberg::Vst::BusList* GetBusList(MediaType type, BusDirection dir);

    Steinberg::Vst::ProcessSetup mProcessSetup{};
    uint32 mProcessContextRequirements = 0;
    Steinberg::Vst::BusList mAudioInputs;
    Steinberg::Vst::BusList mAudioOutputs;
    Steinberg::Vst::BusList mEventInputs;
    Steinberg::Vst::BusList mEventOutputs;
};

} // namespace plugkit
