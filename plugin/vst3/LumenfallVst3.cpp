// The plug-in module's own parts of Lumenfall: its component state (the 276-byte record
// and the host-bypass flag), its process call, its tail, the instance-creation callback
// and the factory's one class.
#include "plugin/Lumenfall.h"

#include "plugin/Maker.h"
#include "plugin/PluginStateRecord.h"
#include "plugkit/Mutex.h"
#include "plugkit/vst3/Vst3Module.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <new>

#if defined(LUMENFALL_EDITOR_WINDOW)
#include "canvas/platform/window/ICanvasWin.h"
#include "plugin/editor/EditorLayout.h"
#endif

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

    return plugkit::WriteWholeStream(state, bytes, kComponentStateSize) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API Lumenfall::setState(IBStream* state)
{
    if (state == nullptr)
        return kResultFalse;
    // Exactly 280 bytes, then the end of the stream: a 281st byte rejects it.
    std::uint8_t bytes[kComponentStateSize] = {};
    if (!plugkit::ReadWholeStream(state, bytes, kComponentStateSize) ||
        !plugkit::StreamEnded(state))
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
    const ProcessSetup& setup = GetProcessSetup();
    ReadProcessContext(data, setup);
    ApplyParameterChanges(data);
    if (GetHostBypass() && GetLatency() == 0)
    {
        // The host's samples go out untouched: exact in 64 bits (the 32-bit buffers of the
        // block processing would round them) and in place. The block still reaches the class,
        // with outputs of its own, so that its meters show the bypass.
        PassThroughHostBuffers(data, setup);
        AudioBusBuffers none;
        ProcessData unheard = data;
        unheard.numOutputs = 1;
        unheard.outputs = &none;
        RenderAudio(unheard, setup);
        return kResultOk;
    }
    RenderAudio(data, setup);
    return kResultOk;
}

void Lumenfall::ApplyParameterChanges(ProcessData& data)
{
    plugkit::ForEachLastParamValue(data,
                                   [this](ParamID id, ParamValue value, int32)
                                   {
                                       if (id == kBypassParamId)
                                           SetHostBypass(value > 0.5);
                                       else if (id < static_cast<ParamID>(kParamCount))
                                           ApplyHostParamChange(static_cast<int>(id), value);
                                       // Program change and MIDI controller identifiers are
                                       // not this plug-in's.
                                   });
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
    if (plugin != nullptr && !plugin->IsComplete())
    {
        plugin->release(); // built short of memory: no host gets half a plug-in
        plugin = nullptr;
    }
#if defined(LUMENFALL_EDITOR_WINDOW)
    // Each opening of the editor gets a new window of its own.
    if (plugin != nullptr)
    {
        plugin->SetMakeGraphicsFunc(
            [plugin]() -> plugkit::canvas::ICanvas*
            {
                return new (std::nothrow)
                    plugkit::canvas::platform::ICanvasWin(*plugin,
                                                          plugin->GetEditorWidth(),
                                                          plugin->GetEditorHeight(),
                                                          editor::kEditorFrameRate,
                                                          1.f,
                                                          editor::kPresentModeVariable);
            });
    }
#endif
    return plugin != nullptr ? static_cast<IAudioProcessor*>(plugin) : nullptr;
}
} // namespace

} // namespace lumenfall

extern "C" SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory()
{
    // The class is the plug-in as configured: its name, maker, identifiers and version.
    const plugkit::PluginConfig config = lumenfall::Lumenfall::MakeConfig();
    char version[16];
    std::snprintf(version,
                  sizeof(version),
                  "%d.%d.%d",
                  (config.mVersion >> 16) & 0xFFFF,
                  (config.mVersion >> 8) & 0xFF,
                  config.mVersion & 0xFF);
    char maker[9] = {}; // the first eight letters of the maker's name, upper-case
    for (int i = 0; i < 8 && config.mMakerName[i] != 0; ++i)
        maker[i] =
            static_cast<char>(std::toupper(static_cast<unsigned char>(config.mMakerName[i])));

    plugkit::Vst3ModuleDescription d;
    d.vendor = config.mMakerName;
    d.url = lumenfall::kMakerUrl;
    d.email = lumenfall::kSupportEmail;
    d.classId[0] = plugkit::FourCharCodeOf(maker);
    d.classId[1] = plugkit::FourCharCodeOf(maker + 4);
    d.classId[2] = static_cast<std::uint32_t>(config.mMakerId);
    d.classId[3] = static_cast<std::uint32_t>(config.mUniqueId);
    d.category = kVstAudioEffectClass;
    d.name = config.mPluginName;
    d.classFlags = kSimpleModeSupported;
    d.subCategories = "Fx|Reverb";
    d.classVendor = "";
    d.version = version;
    d.sdkVersion = "VST 3.8.1";
    d.create = &lumenfall::CreatePluginInstance;
    return plugkit::GetModuleFactory(d);
}
