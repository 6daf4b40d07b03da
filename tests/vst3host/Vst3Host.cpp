#include "tests/vst3host/Vst3Host.h"

#include <algorithm>
#include <cstring>

#if SMTG_OS_WINDOWS
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace lumenfall::test
{

// --- MemoryStream ---------------------------------------------------------------

tresult MemoryStream::Transfer(void* buffer, int32 numBytes, int32* moved, bool writing)
{
    if (moved != nullptr)
        *moved = 0;
    if (mFailAfter >= 0 && mCalls++ >= mFailAfter)
        return kInternalError;
    if (numBytes < 0 || (numBytes > 0 && buffer == nullptr))
        return kInvalidArgument;
    std::size_t n = static_cast<std::size_t>(numBytes);
    if (!writing)
        n = std::min(n, mBytes.size() - std::min(mPos, mBytes.size()));
    if (mChunk > 0)
        n = std::min<std::size_t>(n, static_cast<std::size_t>(mChunk));
    if (writing && mBytes.size() < mPos + n)
        mBytes.resize(mPos + n);
    if (n > 0 && writing)
        std::memcpy(mBytes.data() + mPos, buffer, n);
    else if (n > 0)
        std::memcpy(buffer, mBytes.data() + mPos, n);
    mPos += n;
    if (moved != nullptr)
        *moved = static_cast<int32>(n);
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead)
{
    return Transfer(buffer, numBytes, numBytesRead, false);
}

tresult PLUGIN_API MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten)
{
    return Transfer(buffer, numBytes, numBytesWritten, true);
}

tresult PLUGIN_API MemoryStream::seek(int64 pos, int32 mode, int64* result)
{
    int64 base = 0;
    if (mode == kIBSeekCur)
        base = static_cast<int64>(mPos);
    else if (mode == kIBSeekEnd)
        base = static_cast<int64>(mBytes.size());
    if (base + pos < 0)
        return kInvalidArgument;
    mPos = static_cast<std::size_t>(base + pos);
    if (result != nullptr)
        *result = static_cast<int64>(mPos);
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::tell(int64* pos)
{
    if (pos == nullptr)
        return kInvalidArgument;
    *pos = static_cast<int64>(mPos);
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IBStream)
    QUERY_INTERFACE(iid, obj, IBStream::iid, IBStream)
    *obj = nullptr;
    return kNoInterface;
}

// --- ComponentHandler -----------------------------------------------------------

tresult PLUGIN_API ComponentHandler::beginEdit(ParamID id)
{
    mEvents.push_back({HostEvent::kBegin, id, 0.0, 0});
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::performEdit(ParamID id, ParamValue value)
{
    mEvents.push_back({HostEvent::kPerform, id, value, 0});
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::endEdit(ParamID id)
{
    mEvents.push_back({HostEvent::kEnd, id, 0.0, 0});
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::restartComponent(int32 flags)
{
    mEvents.push_back({HostEvent::kRestart, 0, 0.0, flags});
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::setDirty(TBool state)
{
    mEvents.push_back({HostEvent::kDirty, 0, 0.0, state});
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::requestOpenEditor(FIDString)
{
    return kResultFalse;
}

tresult PLUGIN_API ComponentHandler::startGroupEdit()
{
    mEvents.push_back({HostEvent::kGroupStart, 0, 0.0, 0});
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::finishGroupEdit()
{
    mEvents.push_back({HostEvent::kGroupFinish, 0, 0.0, 0});
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IComponentHandler)
    QUERY_INTERFACE(iid, obj, IComponentHandler::iid, IComponentHandler)
    QUERY_INTERFACE(iid, obj, IComponentHandler2::iid, IComponentHandler2)
    *obj = nullptr;
    return kNoInterface;
}

int ComponentHandler::RestartCount(int32 flag) const
{
    return static_cast<int>(std::count_if(
        mEvents.begin(),
        mEvents.end(),
        [flag](const auto& e) { return e.kind == HostEvent::kRestart && (e.flags & flag) != 0; }));
}

int ComponentHandler::Count(HostEvent::Kind kind) const
{
    return static_cast<int>(std::count_if(
        mEvents.begin(), mEvents.end(), [kind](const auto& e) { return e.kind == kind; }));
}

// --- AttributeList --------------------------------------------------------------

namespace
{
template <typename Map, typename Value>
tresult Store(Map& map, const char* id, const Value& value)
{
    map[id] = value;
    return kResultOk;
}

template <typename Map, typename Value>
tresult Lookup(const Map& map, const char* id, Value& value)
{
    auto it = map.find(id);
    if (it == map.end())
        return kResultFalse;
    value = it->second;
    return kResultOk;
}
} // namespace

tresult PLUGIN_API AttributeList::setInt(AttrID id, int64 value)
{
    return Store(mInts, id, value);
}

tresult PLUGIN_API AttributeList::getInt(AttrID id, int64& value)
{
    return Lookup(mInts, id, value);
}

tresult PLUGIN_API AttributeList::setFloat(AttrID id, double value)
{
    return Store(mFloats, id, value);
}

tresult PLUGIN_API AttributeList::getFloat(AttrID id, double& value)
{
    return Lookup(mFloats, id, value);
}

tresult PLUGIN_API AttributeList::setString(AttrID id, const TChar* text)
{
    mStrings[id] = FromString128(text);
    return kResultOk;
}

tresult PLUGIN_API AttributeList::getString(AttrID id, TChar* text, uint32 sizeInBytes)
{
    auto it = mStrings.find(id);
    if (it == mStrings.end() || text == nullptr)
        return kResultFalse;
    const std::size_t units = sizeInBytes / sizeof(TChar);
    if (units == 0)
        return kResultFalse;
    const std::size_t n = std::min(units - 1, it->second.size());
    std::memcpy(text, it->second.data(), n * sizeof(TChar));
    text[n] = 0;
    return kResultOk;
}

tresult PLUGIN_API AttributeList::setBinary(AttrID id, const void* data, uint32 sizeInBytes)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    mBinaries[id].assign(p, p + sizeInBytes);
    return kResultOk;
}

tresult PLUGIN_API AttributeList::getBinary(AttrID id, const void*& data, uint32& sizeInBytes)
{
    auto it = mBinaries.find(id);
    if (it == mBinaries.end())
        return kResultFalse;
    data = it->second.data();
    sizeInBytes = static_cast<uint32>(it->second.size());
    return kResultOk;
}

tresult PLUGIN_API AttributeList::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IAttributeList)
    QUERY_INTERFACE(iid, obj, IAttributeList::iid, IAttributeList)
    *obj = nullptr;
    return kNoInterface;
}

void AttributeList::SetText(const std::string& id, const std::u16string& text)
{
    mInts[id + " length"] = static_cast<int64>(text.size());
    mStrings[id] = text;
}

// --- HostApplication ------------------------------------------------------------

tresult PLUGIN_API HostApplication::getName(String128 name)
{
    ++mNameQueries;
    const std::size_t n = std::min<std::size_t>(mName.size(), 127);
    std::memcpy(name, mName.data(), n * sizeof(TChar));
    name[n] = 0;
    return kResultOk;
}

tresult PLUGIN_API HostApplication::createInstance(TUID, TUID, void** obj)
{
    *obj = nullptr;
    return kResultFalse;
}

tresult PLUGIN_API HostApplication::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IHostApplication)
    QUERY_INTERFACE(iid, obj, IHostApplication::iid, IHostApplication)
    *obj = nullptr;
    return kNoInterface;
}

// --- Editor frame ---------------------------------------------------------------

tresult PLUGIN_API PlugFrame::resizeView(IPlugView* view, ViewRect* newSize)
{
    if (view == nullptr || newSize == nullptr)
        return kInvalidArgument;
    mRequests.push_back(*newSize);
    if (!mApply)
        return kResultTrue;
#if defined(_WIN32)
    if (HWND window = static_cast<HWND>(mWindow))
    {
        RECT r = {0, 0, newSize->getWidth(), newSize->getHeight()};
        AdjustWindowRect(&r, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE);
        SetWindowPos(window,
                     nullptr,
                     0,
                     0,
                     r.right - r.left,
                     r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    }
#endif
    view->onSize(newSize);
    return kResultTrue;
}

tresult PLUGIN_API PlugFrame::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IPlugFrame)
    QUERY_INTERFACE(iid, obj, IPlugFrame::iid, IPlugFrame)
    *obj = nullptr;
    return kNoInterface;
}

// --- Parameter queues -----------------------------------------------------------

tresult PLUGIN_API ParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value)
{
    if (mFailReads || index < 0 || index >= mCount)
        return kResultFalse;
    sampleOffset = mOffsets[index];
    value = mValues[index];
    return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index)
{
    if (mCount >= kMaxPoints)
        return kResultFalse;
    mOffsets[mCount] = sampleOffset;
    mValues[mCount] = value;
    index = mCount++;
    return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IParamValueQueue)
    QUERY_INTERFACE(iid, obj, IParamValueQueue::iid, IParamValueQueue)
    *obj = nullptr;
    return kNoInterface;
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index)
{
    if (index < 0 || index >= mCount)
        return nullptr;
    return &mQueues[index];
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index)
{
    for (int32 i = 0; i < mCount; ++i)
        if (mQueues[i].mId == id)
        {
            index = i;
            return &mQueues[i];
        }
    if (mCount >= kMaxQueues)
        return nullptr;
    ParamValueQueue& queue = mQueues[mCount];
    queue.mId = id;
    queue.mCount = 0;
    queue.mFailReads = false;
    index = mCount++;
    return &queue;
}

tresult PLUGIN_API ParameterChanges::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IParameterChanges)
    QUERY_INTERFACE(iid, obj, IParameterChanges::iid, IParameterChanges)
    *obj = nullptr;
    return kNoInterface;
}

void ParameterChanges::Add(ParamID id, int32 offset, double value)
{
    int32 index = 0;
    if (IParamValueQueue* queue = addParameterData(id, index))
        queue->addPoint(offset, value, index);
}

// --- LoadedModule ---------------------------------------------------------------

namespace
{
using EntryFunc = bool (*)(void*);
using PlainFunc = bool (*)();
using FactoryFunc = IPluginFactory* (*)();

std::string BinaryPath(const std::string& bundle)
{
    std::string stem = bundle;
    while (!stem.empty() && (stem.back() == '/' || stem.back() == '\\'))
        stem.pop_back();
    const std::size_t slash = stem.find_last_of("/\\");
    std::string name = slash == std::string::npos ? stem : stem.substr(slash + 1);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".vst3") == 0)
        name.resize(name.size() - 5);
#if SMTG_OS_WINDOWS
    std::string path = stem + "/Contents/x86_64-win/" + name + ".vst3";
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path; // a Unix path seen from Wine
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
#else
    return stem + "/Contents/x86_64-linux/" + name + ".so";
#endif
}
} // namespace

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& bundlePath, std::string* error)
{
    std::unique_ptr<LoadedModule> module(new LoadedModule());
    const std::string path = BinaryPath(bundlePath);
#if SMTG_OS_WINDOWS
    module->mHandle = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (module->mHandle == nullptr)
    {
        if (error != nullptr)
            *error = "LoadLibrary failed for " + path + ": " + std::to_string(GetLastError());
        return nullptr;
    }
#else
    module->mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module->mHandle == nullptr)
    {
        if (error != nullptr)
            *error = "dlopen failed for " + path + ": " + dlerror();
        return nullptr;
    }
#endif
    if (!module->CallEntry())
    {
        if (error != nullptr)
            *error = "module entry failed";
        return nullptr;
    }
    module->mFactory = module->CallGetPluginFactory();
    if (module->mFactory == nullptr)
    {
        if (error != nullptr)
            *error = "no factory";
        return nullptr;
    }
    return module;
}

LoadedModule::~LoadedModule()
{
    if (mFactory != nullptr)
        mFactory->release();
    if (mHandle == nullptr)
        return;
    CallExit();
#if SMTG_OS_WINDOWS
    FreeLibrary(reinterpret_cast<HMODULE>(mHandle));
#else
    dlclose(mHandle);
#endif
}

void* LoadedModule::Symbol(const char* name) const
{
#if SMTG_OS_WINDOWS
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(mHandle), name));
#else
    return dlsym(mHandle, name);
#endif
}

bool LoadedModule::CallEntry()
{
#if SMTG_OS_WINDOWS
    auto init = reinterpret_cast<PlainFunc>(Symbol("InitDll"));
    return init != nullptr && init();
#else
    auto entry = reinterpret_cast<EntryFunc>(Symbol("ModuleEntry"));
    return entry != nullptr && entry(mHandle);
#endif
}

bool LoadedModule::CallExit()
{
#if SMTG_OS_WINDOWS
    auto exit = reinterpret_cast<PlainFunc>(Symbol("ExitDll"));
#else
    auto exit = reinterpret_cast<PlainFunc>(Symbol("ModuleExit"));
#endif
    return exit != nullptr && exit();
}

IPluginFactory* LoadedModule::CallGetPluginFactory()
{
    auto get = reinterpret_cast<FactoryFunc>(Symbol("GetPluginFactory"));
    return get != nullptr ? get() : nullptr;
}

// --- HostedPlugin ---------------------------------------------------------------

HostedPlugin::HostedPlugin(LoadedModule& module, HostApplication& host, ComponentHandler& handler)
    : mModule(module)
    , mHost(host)
    , mHandler(handler)
{
}

HostedPlugin::~HostedPlugin()
{
    Destroy();
}

bool HostedPlugin::Create()
{
    PClassInfo info;
    if (mModule.Factory()->getClassInfo(0, &info) != kResultOk)
        return false;
    void* obj = nullptr;
    if (mModule.Factory()->createInstance(info.cid, IComponent::iid, &obj) != kResultOk ||
        obj == nullptr)
        return false;
    mComponent = static_cast<IComponent*>(obj);
    if (mComponent->queryInterface(IAudioProcessor::iid, &obj) == kResultOk)
        mProcessor = static_cast<IAudioProcessor*>(obj);
    if (mComponent->queryInterface(IEditController::iid, &obj) == kResultOk)
        mController = static_cast<IEditController*>(obj);
    return mProcessor != nullptr && mController != nullptr;
}

bool HostedPlugin::CreateAndInitialize()
{
    if (!Create())
        return false;
    if (mComponent->initialize(static_cast<IHostApplication*>(&mHost)) != kResultOk)
        return false;
    mInitialized = true;
    // As hosts do: activate the buses the plug-in asks to be active by default.
    for (MediaType type : {kAudio, kEvent})
        for (BusDirection dir : {kInput, kOutput})
            for (int32 i = 0; i < mComponent->getBusCount(type, dir); ++i)
            {
                BusInfo bus;
                if (mComponent->getBusInfo(type, dir, i, bus) == kResultOk &&
                    (bus.flags & BusInfo::kDefaultActive))
                    mComponent->activateBus(type, dir, i, true);
            }
    return mController->setComponentHandler(&mHandler) == kResultOk;
}

bool HostedPlugin::Start(double sampleRate, int32 maxBlock, int32 sampleSize, int32 mode)
{
    ProcessSetup setup{mode, sampleSize, maxBlock, sampleRate};
    if (mProcessor->setupProcessing(setup) != kResultOk)
        return false;
    mSampleSize = sampleSize;
    mMode = mode;
    if (mComponent->setActive(true) != kResultOk)
        return false;
    mActive = true;
    mProcessor->setProcessing(true);
    mProcessing = true;
    return true;
}

void HostedPlugin::Stop()
{
    if (mProcessing)
        mProcessor->setProcessing(false);
    mProcessing = false;
    if (mActive)
        mComponent->setActive(false);
    mActive = false;
}

void HostedPlugin::Destroy()
{
    if (mComponent == nullptr)
        return;
    Stop();
    if (mInitialized)
    {
        mController->setComponentHandler(nullptr);
        mComponent->terminate();
    }
    mInitialized = false;
    if (mController != nullptr)
        mController->release();
    if (mProcessor != nullptr)
        mProcessor->release();
    mComponent->release();
    mComponent = nullptr;
    mProcessor = nullptr;
    mController = nullptr;
}

namespace
{
template <typename Sample>
tresult RunProcess(IAudioProcessor* processor,
                   int32 sampleSize,
                   int32 mode,
                   Sample** inputs,
                   int inputChannels,
                   Sample** outputs,
                   int outputChannels,
                   int frames,
                   IParameterChanges* changes,
                   ProcessContext* context)
{
    AudioBusBuffers in;
    AudioBusBuffers out;
    in.numChannels = std::max(inputChannels, 0);
    out.numChannels = std::max(outputChannels, 0);
    if constexpr (sizeof(Sample) == 4)
    {
        in.channelBuffers32 = inputs;
        out.channelBuffers32 = outputs;
    }
    else
    {
        in.channelBuffers64 = inputs;
        out.channelBuffers64 = outputs;
    }
    ProcessData data;
    data.processMode = mode;
    data.symbolicSampleSize = sampleSize;
    data.numSamples = frames;
    data.numInputs = inputChannels < 0 ? 0 : 1;
    data.numOutputs = outputChannels < 0 ? 0 : 1;
    data.inputs = inputChannels < 0 ? nullptr : &in;
    data.outputs = outputChannels < 0 ? nullptr : &out;
    data.inputParameterChanges = changes;
    data.processContext = context;
    return processor->process(data);
}
} // namespace

tresult HostedPlugin::Process32(float** inputs,
                                int inputChannels,
                                float** outputs,
                                int outputChannels,
                                int frames,
                                IParameterChanges* changes,
                                ProcessContext* context)
{
    return RunProcess(mProcessor,
                      kSample32,
                      mMode,
                      inputs,
                      inputChannels,
                      outputs,
                      outputChannels,
                      frames,
                      changes,
                      context);
}

tresult ProcessOneBus32(IAudioProcessor* processor,
                        float** inputs,
                        int inputChannels,
                        float** outputs,
                        int outputChannels,
                        int frames,
                        IParameterChanges* changes,
                        ProcessContext* context)
{
    return RunProcess(processor,
                      kSample32,
                      kRealtime,
                      inputs,
                      inputChannels,
                      outputs,
                      outputChannels,
                      frames,
                      changes,
                      context);
}

tresult HostedPlugin::Process64(double** inputs,
                                int inputChannels,
                                double** outputs,
                                int outputChannels,
                                int frames,
                                IParameterChanges* changes,
                                ProcessContext* context)
{
    return RunProcess(mProcessor,
                      kSample64,
                      mMode,
                      inputs,
                      inputChannels,
                      outputs,
                      outputChannels,
                      frames,
                      changes,
                      context);
}

tresult HostedPlugin::SaveState(std::vector<std::uint8_t>& bytes)
{
    MemoryStream stream;
    const tresult result = mComponent->getState(&stream);
    bytes = stream.mBytes;
    return result;
}

tresult HostedPlugin::LoadState(const std::vector<std::uint8_t>& bytes)
{
    MemoryStream stream(bytes);
    return mComponent->setState(&stream);
}

std::u16string FromString128(const TChar* text)
{
    std::u16string result;
    for (int i = 0; text != nullptr && i < 128 && text[i] != 0; ++i)
        result.push_back(static_cast<char16_t>(text[i]));
    return result;
}

std::string NarrowAscii(const TChar* text)
{
    std::string result;
    for (int i = 0; text != nullptr && i < 128 && text[i] != 0; ++i)
        result.push_back(text[i] < 128 ? static_cast<char>(text[i]) : '?');
    return result;
}

} // namespace lumenfall::test
