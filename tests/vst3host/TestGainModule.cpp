// A small gain effect built from the adapter's SDK classes, so the test host can be
// tried against a module whose every answer is known: one stereo bus each way, one
// parameter "Gain" (id 0, gain = 2 x normalized), an 8-byte state.
#include "plugkit/vst3/SingleComponentEffect.h"
#include "plugkit/vst3/Vst3Module.h"

#include <new>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
class GainEffect : public plugkit::SingleComponentEffect
{
public:
    tresult PLUGIN_API initialize(FUnknown* context) override
    {
        if (SingleComponentEffect::initialize(context) != kResultOk)
            return kResultFalse;
        AddAudioInput(STR16("In"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
        AddAudioOutput(STR16("Out"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
        parameters.addParameter(STR16("Gain"), STR16(""), 0, 0.5, ParameterInfo::kCanAutomate, 0);
        return kResultOk;
    }

    tresult PLUGIN_API process(ProcessData& data) override
    {
        if (IParameterChanges* changes = data.inputParameterChanges)
            for (int32 i = 0; i < changes->getParameterCount(); ++i)
            {
                IParamValueQueue* queue = changes->getParameterData(i);
                int32 offset = 0;
                ParamValue value = 0;
                if (queue != nullptr && queue->getParameterId() == 0 &&
                    queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk)
                    mGain = 2.0 * value;
            }
        if (data.numInputs < 1 || data.numOutputs < 1)
            return kResultOk;
        const AudioBusBuffers& in = data.inputs[0];
        AudioBusBuffers& out = data.outputs[0];
        for (int32 c = 0; c < out.numChannels; ++c)
            for (int32 s = 0; s < data.numSamples; ++s)
                out.channelBuffers32[c][s] =
                    c < in.numChannels ? static_cast<float>(in.channelBuffers32[c][s] * mGain)
                                       : 0.0f;
        return kResultOk;
    }

    tresult PLUGIN_API setProcessing(TBool) override { return kResultOk; }

    tresult PLUGIN_API getState(IBStream* state) override
    {
        int32 written = 0;
        return state != nullptr && state->write(&mGain, sizeof(mGain), &written) == kResultOk &&
                       written == sizeof(mGain)
                   ? kResultOk
                   : kResultFalse;
    }

    tresult PLUGIN_API setState(IBStream* state) override
    {
        double gain = 0;
        int32 read = 0;
        if (state == nullptr || state->read(&gain, sizeof(gain), &read) != kResultOk ||
            read != sizeof(gain))
            return kResultFalse;
        mGain = gain;
        return kResultOk;
    }

private:
    double mGain = 1.0;
};

FUnknown* CreateGain(void*)
{
    auto* effect = new (std::nothrow) GainEffect();
    return effect != nullptr ? static_cast<IAudioProcessor*>(effect) : nullptr;
}
} // namespace

extern "C" SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory()
{
    plugkit::Vst3ModuleDescription d;
    d.vendor = "TEST VENDOR";
    d.classId[0] = plugkit::FourCharCode("TEST");
    d.classId[1] = plugkit::FourCharCode("GAIN");
    d.classId[2] = plugkit::FourCharCode("Tsln");
    d.classId[3] = plugkit::FourCharCode("Gain");
    d.category = kVstAudioEffectClass;
    d.name = "TESTGAIN";
    d.subCategories = "Fx";
    d.version = "1.0.0";
    d.sdkVersion = "VST 3.8.1";
    d.create = &CreateGain;
    return plugkit::GetModuleFactory(d);
}
