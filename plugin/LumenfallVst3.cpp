// The plug-in module's own parts of Lumenfall: its component state (the 276-byte record
// and the host-bypass flag), its process call, its tail, the instance-creation callback
// and the factory's one class.
#include "plugin/Lumenfall.h"

#include "plugin/PluginStateRecord.h"
#include "plugkit/Mutex.h"
#include "plugkit/vst3/Vst3Module.h"

#include <cmath>
#include <new>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall
{
tresult PLUGIN_API Lumenfall::getState(IBStream* state)
{
    if (state == nullptr)
        return kResultFalse;
    std::uint8_t bytes[kComponentStateSize];
    WriteComponentState(bytes);
    // Write only what setState would take back.
    PluginStateRecord check;
    if (DecodeStateRecord(std::span<const std::uint8_t>(bytes, kStateRecordSize), 0, check) !=
        kStateRecordSize)
        return kResultFalse;

    int32 done = 0;
    while (done < kComponentStateSize)
    {
        int32 written = 0;
        if (state->write(bytes + done, kComponentStateSize - done, &written) != kResultOk ||
            written < 1 || written > kComponentStateSize - done)
            return kResultFalse;
        done += written;
    }
    return kResultOk;
}

tresult PLUGIN_API Lumenfall::setState(IBStream* state)
{
    if (state == nullptr)
        return kResultFalse;
    std::uint8_t bytes[kComponentStateSize] = {};
    int32 done = 0;
    while (done < kComponentStateSize)
    {
        int32 read = 0;
        if (state->read(bytes + done, kComponentStateSize - done, &read) != kResultOk || read < 1 ||
            read > kComponentStateSize - done)
            return kResultFalse;
        done += read;
    }
    // The stream must end here: a 281st byte (or a failing read) rejects it.
    std::uint8_t extra = 0;
    int32 read = 0;
    const tresult end = state->read(&extra, 1, &read);
    if (read != 0 || (end != kResultOk && end != kResultFalse))
        return kResultFalse;

    if (!ReadComponentState(bytes))
        return kResultFalse;
    // The controller's own parameter objects follow at once (getParamNormalized, the
    // host's generic editor), then the editor.
    SyncControllerParameters();
    SetBypassParameter(GetHostBypass());
    SendAllParamValuesFromDelegate();
    return kResultOk;
}

tresult PLUGIN_API Lumenfall::process(ProcessData& data)
{
    ReadProcessContext(data, GetProcessSetup());
    ApplyParameterChanges(data);
    RenderAudio(data, GetProcessSetup());
    return kResultOk;
}

void Lumenfall::ApplyParameterChanges(ProcessData& data)
{
    IParameterChanges* changes = data.inputParameterChanges;
    if (changes == nullptr)
        return;
    const int32 count = changes->getParameterCount();
    for (int32 q = 0; q < count; ++q)
    {
        IParamValueQueue* queue = changes->getParameterData(q);
        if (queue == nullptr)
            continue;
        const int32 points = queue->getPointCount();
        if (points < 1)
            continue;
        int32 offset = 0;
        ParamValue value = 0.0;
        // Only the last point of each queue counts.
        if (queue->getPoint(points - 1, offset, value) != kResultOk || !std::isfinite(value))
            continue;
        const ParamID id = queue->getParameterId();
        if (id == kBypassParamId)
            SetHostBypass(value > 0.5);
        else if (id < static_cast<ParamID>(kParamCount))
            ApplyHostParamChange(static_cast<int>(id), value);
        // Program change and MIDI controller identifiers are not this plug-in's.
    }
}

uint32 PLUGIN_API Lumenfall::getTailSamples()
{
    return static_cast<uint32>(GetTailLength());
}

namespace
{
FUnknown* CreatePluginInstance(void*)
{
    // Construction is serialised; nothing it throws may reach the host.
    static plugkit::Mutex sCreationLock;
    plugkit::MutexLock lock(&sCreationLock);
    Lumenfall* plugin = nullptr;
    try
    {
        plugin = new (std::nothrow) Lumenfall();
    }
    catch (...)
    {
        plugin = nullptr;
    }
    return plugin != nullptr ? static_cast<IAudioProcessor*>(plugin) : nullptr;
}
} // namespace

} // namespace lumenfall

extern "C" SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory()
{
    plugkit::Vst3ModuleDescription d;
    d.vendor = "TESSALINE";
    d.url = "https://tessaline.example";
    d.email = "support@tessaline.example";
    d.classId[0] = plugkit::FourCharCode("TESS"); // the maker's name, in two words
    d.classId[1] = plugkit::FourCharCode("ALIN");
    d.classId[2] = plugkit::FourCharCode("Tsln"); // maker identifier
    d.classId[3] = plugkit::FourCharCode("Lmfl"); // plug-in identifier
    d.category = kVstAudioEffectClass;
    d.name = "LUMENFALL";
    d.classFlags = kSimpleModeSupported;
    d.subCategories = "Fx|Reverb";
    d.classVendor = "";
    d.version = "0.1.1";
    d.sdkVersion = "VST 3.8.1";
    d.create = &lumenfall::CreatePluginInstance;
    return plugkit::GetModuleFactory(d);
}
