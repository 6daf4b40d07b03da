#include "plugkit/vst3/Vst3Module.h"

#include "base/source/updatehandler.h"
#include "canvas/platform/helpers/PlatformResources.h"
#include "pluginterfaces/base/funknown.h"

#include <cstring>
#include <mutex>
#include <new>

#if SMTG_OS_WINDOWS
#include <windows.h>
#endif

using namespace Steinberg;

namespace plugkit
{
namespace
{
std::atomic<CPluginFactory*> gFactory{nullptr};
std::mutex gFactoryMutex;
void* gRecordedHandle = nullptr; // set by the loader's entry point
ModuleLoadCounter gLoadCounter;

template <size_t N>
void CopyText(char8 (&dst)[N], const char* src)
{
    std::memset(dst, 0, N);
    if (src != nullptr)
        std::strncpy(dst, src, N - 1);
}

bool InitModule()
{
    // The platform layer finds the editor's embedded resources in this module.
    canvas::platform::SetModuleInstance(gRecordedHandle);
    return true;
}

bool DeinitModule()
{
    return true;
}
} // namespace

bool ModuleLoadCounter::Enter(Hook init)
{
    if (mCount.fetch_add(1) == 0)
        return init != nullptr ? init() : true;
    return true;
}

bool ModuleLoadCounter::Leave(Hook deinit)
{
    int count = mCount.load();
    do
    {
        if (count <= 0)
            return false; // unbalanced: stay at 0 so the next load initialises again
    } while (!mCount.compare_exchange_weak(count, count - 1));
    if (count == 1)
        return deinit != nullptr ? deinit() : true;
    return true;
}

IPluginFactory* GetModuleFactory(const Vst3ModuleDescription& d)
{
    std::lock_guard<std::mutex> lock(gFactoryMutex);
    if (CPluginFactory* existing = gFactory.load())
    {
        existing->addRef();
        return existing;
    }

    PFactoryInfo factoryInfo{};
    CopyText(factoryInfo.vendor, d.vendor);
    CopyText(factoryInfo.url, d.url);
    CopyText(factoryInfo.email, d.email);
    // mingw defines no UNICODE, so the SDK would leave this flag clear.
    factoryInfo.flags = PFactoryInfo::kUnicode;

    auto* factory = new (std::nothrow) CPluginFactory(factoryInfo);
    if (factory == nullptr)
        return nullptr;
    // The SDK's update handler is a process-wide singleton that every edit controller asks
    // for: made here, its registration for release at unload cannot fail inside an instance's
    // construction, which would leave it unreleased.
    try
    {
        UpdateHandler::instance();
    }
    catch (...)
    {
        factory->release();
        return nullptr;
    }

    PClassInfo2 classInfo{};
    const FUID cid(d.classId[0], d.classId[1], d.classId[2], d.classId[3]);
    cid.toTUID(classInfo.cid);
    classInfo.cardinality = PClassInfo::kManyInstances;
    CopyText(classInfo.category, d.category);
    CopyText(classInfo.name, d.name);
    classInfo.classFlags = d.classFlags;
    CopyText(classInfo.subCategories, d.subCategories);
    CopyText(classInfo.vendor, d.classVendor);
    CopyText(classInfo.version, d.version);
    CopyText(classInfo.sdkVersion, d.sdkVersion);
    factory->AddClass(&classInfo, d.create, nullptr);

    factory->SetOwnerSlot(&gFactory);
    gFactory.store(factory);
    return factory;
}

} // namespace plugkit

// Module entry points: plain C names, exported undecorated.
#if SMTG_OS_WINDOWS
extern "C"
{
    SMTG_EXPORT_SYMBOL bool InitDll()
    {
        return plugkit::gLoadCounter.Enter(&plugkit::InitModule);
    }

    SMTG_EXPORT_SYMBOL bool ExitDll()
    {
        return plugkit::gLoadCounter.Leave(&plugkit::DeinitModule);
    }

    BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
    {
        if (reason == DLL_PROCESS_ATTACH)
            plugkit::gRecordedHandle = instance;
        return TRUE;
    }
}
#else
extern "C"
{
    SMTG_EXPORT_SYMBOL bool ModuleEntry(void* sharedLibraryHandle)
    {
        plugkit::gRecordedHandle = sharedLibraryHandle;
        return plugkit::gLoadCounter.Enter(&plugkit::InitModule);
    }

    SMTG_EXPORT_SYMBOL bool ModuleExit()
    {
        return plugkit::gLoadCounter.Leave(&plugkit::DeinitModule);
    }
}
#endif
