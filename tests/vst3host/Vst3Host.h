// A small VST3 host for the tests: loads a bundle by path, names itself, records
// what the plug-in tells it, drives process calls with its own parameter queues and
// process context, and moves state through memory streams.
#pragma once

#include "plugkit/vst3/Vst3Sdk.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lumenfall::test
{

/// Host objects live on the stack or in fixtures: reference counting is counted but
/// never deletes, so they must outlive every plug-in that holds them.
#define LUMENFALL_HOST_REFCOUNT                                                                    \
    Steinberg::uint32 PLUGIN_API addRef() override                                                 \
    {                                                                                              \
        return ++mRefs;                                                                            \
    }                                                                                              \
    Steinberg::uint32 PLUGIN_API release() override                                                \
    {                                                                                              \
        return --mRefs;                                                                            \
    }                                                                                              \
    Steinberg::int32 mRefs = 1;

/// An IBStream over a byte vector. Reads and writes move at most mChunk bytes each
/// (0 = no limit), so a reader or writer must loop; mFailAfter makes the n-th call
/// fail.
class MemoryStream : public Steinberg::IBStream
{
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> bytes)
        : mBytes(std::move(bytes))
    {
    }

    Steinberg::tresult PLUGIN_API read(void* buffer,
                                       Steinberg::int32 numBytes,
                                       Steinberg::int32* numBytesRead) override;
    Steinberg::tresult PLUGIN_API write(void* buffer,
                                        Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesWritten) override;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos,
                                       Steinberg::int32 mode,
                                       Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    LUMENFALL_HOST_REFCOUNT

    std::vector<std::uint8_t> mBytes;
    std::size_t mPos = 0;
    Steinberg::int32 mChunk = 0;
    int mFailAfter = -1; ///< calls that succeed before every further call fails
    int mCalls = 0;

private:
    Steinberg::tresult
    Transfer(void* buffer, Steinberg::int32 numBytes, Steinberg::int32* moved, bool writing);
};

/// One message the plug-in sent to its component handler.
struct HostEvent
{
    enum Kind
    {
        kBegin,
        kPerform,
        kEnd,
        kRestart,
        kGroupStart,
        kGroupFinish,
        kDirty,
        kKindCount
    };
    Kind kind;
    Steinberg::Vst::ParamID id = 0;
    double value = 0.0;
    Steinberg::int32 flags = 0;
};

class ComponentHandler : public Steinberg::Vst::IComponentHandler,
                         public Steinberg::Vst::IComponentHandler2
{
public:
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                              Steinberg::Vst::ParamValue value) override;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;
    Steinberg::tresult PLUGIN_API setDirty(Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API requestOpenEditor(Steinberg::FIDString name) override;
    Steinberg::tresult PLUGIN_API startGroupEdit() override;
    Steinberg::tresult PLUGIN_API finishGroupEdit() override;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    LUMENFALL_HOST_REFCOUNT

    /// Restart requests that carry this flag.
    int RestartCount(Steinberg::int32 flag) const;
    int Count(HostEvent::Kind kind) const;

    std::vector<HostEvent> mEvents;
};

/// IAttributeList over a map (integers, floats, UTF-16 strings, binaries).
class AttributeList : public Steinberg::Vst::IAttributeList
{
public:
    Steinberg::tresult PLUGIN_API setInt(AttrID id, Steinberg::int64 value) override;
    Steinberg::tresult PLUGIN_API getInt(AttrID id, Steinberg::int64& value) override;
    Steinberg::tresult PLUGIN_API setFloat(AttrID id, double value) override;
    Steinberg::tresult PLUGIN_API getFloat(AttrID id, double& value) override;
    Steinberg::tresult PLUGIN_API setString(AttrID id, const Steinberg::Vst::TChar* text) override;
    Steinberg::tresult PLUGIN_API getString(AttrID id,
                                            Steinberg::Vst::TChar* text,
                                            Steinberg::uint32 sizeInBytes) override;
    Steinberg::tresult PLUGIN_API setBinary(AttrID id,
                                            const void* data,
                                            Steinberg::uint32 sizeInBytes) override;
    Steinberg::tresult PLUGIN_API getBinary(AttrID id,
                                            const void*& data,
                                            Steinberg::uint32& sizeInBytes) override;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    LUMENFALL_HOST_REFCOUNT

    /// Sets a text from UTF-8 (ASCII in the tests) and its "<id> length" companion
    /// the way the channel-context keys come.
    void SetText(const std::string& id, const std::u16string& text);

    std::map<std::string, Steinberg::int64> mInts;
    std::map<std::string, double> mFloats;
    std::map<std::string, std::u16string> mStrings;
    std::map<std::string, std::vector<std::uint8_t>> mBinaries;
};

/// IHostApplication with a chosen name.
class HostApplication : public Steinberg::Vst::IHostApplication
{
public:
    explicit HostApplication(std::u16string name)
        : mName(std::move(name))
    {
    }
    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::TUID cid,
                                                 Steinberg::TUID iid,
                                                 void** obj) override;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    LUMENFALL_HOST_REFCOUNT

    std::u16string mName;
    int mNameQueries = 0;
};

/// The host's frame of an editor view: records every resize request and, like a host, answers
/// it by resizing the view (onSize) when `mApply` is set, after resizing the client area of
/// its window (`mWindow`, an HWND on Windows) when it has one.
class PlugFrame : public Steinberg::IPlugFrame
{
public:
    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view,
                                             Steinberg::ViewRect* newSize) override;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    LUMENFALL_HOST_REFCOUNT

    std::vector<Steinberg::ViewRect> mRequests;
    bool mApply = true;
    void* mWindow = nullptr;
};

/// One parameter's points for a block.
class ParamValueQueue : public Steinberg::Vst::IParamValueQueue
{
public:
    static constexpr int kMaxPoints = 64;

    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return mId; }
    Steinberg::int32 PLUGIN_API getPointCount() override { return mCount; }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index,
                                           Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) override;
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset,
                                           Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) override;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    LUMENFALL_HOST_REFCOUNT

    Steinberg::Vst::ParamID mId = 0;
    Steinberg::int32 mCount = 0;
    Steinberg::int32 mOffsets[kMaxPoints] = {};
    double mValues[kMaxPoints] = {};
    bool mFailReads = false;
};

/// The parameter changes of one block; fixed capacity, no allocation while used.
class ParameterChanges : public Steinberg::Vst::IParameterChanges
{
public:
    static constexpr int kMaxQueues = 64;

    Steinberg::int32 PLUGIN_API getParameterCount() override { return mCount; }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  Steinberg::int32& index) override;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    LUMENFALL_HOST_REFCOUNT

    /// Adds one point to the queue of this id (creating the queue).
    void Add(Steinberg::Vst::ParamID id, Steinberg::int32 offset, double value);
    void Clear() { mCount = 0; }

    ParamValueQueue mQueues[kMaxQueues];
    Steinberg::int32 mCount = 0;
};

/// A loaded module: the bundle's binary, its entry called, its factory held.
class LoadedModule
{
public:
    /// Loads `<bundle>/Contents/<arch>/<name>.<so|vst3>`; null (with a reason) on failure.
    static std::unique_ptr<LoadedModule> Load(const std::string& bundlePath, std::string* error);
    ~LoadedModule();

    Steinberg::IPluginFactory* Factory() const { return mFactory; }
    /// Calls the module's entry (InitDll / ModuleEntry) or exit once more.
    bool CallEntry();
    bool CallExit();
    /// Calls GetPluginFactory again; the caller owns the reference.
    Steinberg::IPluginFactory* CallGetPluginFactory();
    /// An exported symbol, or null.
    void* Symbol(const char* name) const;

private:
    LoadedModule() = default;
    void* mHandle = nullptr;
    Steinberg::IPluginFactory* mFactory = nullptr;
};

/// One plug-in instance as a host drives it.
class HostedPlugin
{
public:
    HostedPlugin(LoadedModule& module, HostApplication& host, ComponentHandler& handler);
    ~HostedPlugin();

    /// Creates the first class of the factory; false when it yields no component.
    bool Create();
    /// Creates, initializes and connects the component handler.
    bool CreateAndInitialize();
    /// Sets up processing, activates and starts processing.
    bool Start(double sampleRate,
               Steinberg::int32 maxBlock,
               Steinberg::int32 sampleSize = Steinberg::Vst::kSample32,
               Steinberg::int32 mode = Steinberg::Vst::kRealtime);
    void Stop();
    void Destroy();

    /// One process call with one input and one output bus (channels given by the
    /// pointer counts; a count of -1 passes no bus at all).
    Steinberg::tresult Process32(float** inputs,
                                 int inputChannels,
                                 float** outputs,
                                 int outputChannels,
                                 int frames,
                                 Steinberg::Vst::IParameterChanges* changes = nullptr,
                                 Steinberg::Vst::ProcessContext* context = nullptr);
    Steinberg::tresult Process64(double** inputs,
                                 int inputChannels,
                                 double** outputs,
                                 int outputChannels,
                                 int frames,
                                 Steinberg::Vst::IParameterChanges* changes = nullptr,
                                 Steinberg::Vst::ProcessContext* context = nullptr);

    /// Component state through a memory stream.
    Steinberg::tresult SaveState(std::vector<std::uint8_t>& bytes);
    Steinberg::tresult LoadState(const std::vector<std::uint8_t>& bytes);

    Steinberg::Vst::IComponent* mComponent = nullptr;
    Steinberg::Vst::IAudioProcessor* mProcessor = nullptr;
    Steinberg::Vst::IEditController* mController = nullptr;

private:
    LoadedModule& mModule;
    HostApplication& mHost;
    ComponentHandler& mHandler;
    bool mInitialized = false;
    bool mActive = false;
    bool mProcessing = false;
    Steinberg::int32 mSampleSize = Steinberg::Vst::kSample32;
    Steinberg::int32 mMode = Steinberg::Vst::kRealtime;
};

/// One 32-bit process call on `processor` with one input and one output bus (channels given
/// by the pointer counts; a count of -1 passes no bus at all): what HostedPlugin::Process32
/// does, for plug-ins driven in-process.
Steinberg::tresult ProcessOneBus32(Steinberg::Vst::IAudioProcessor* processor,
                                   float** inputs,
                                   int inputChannels,
                                   float** outputs,
                                   int outputChannels,
                                   int frames,
                                   Steinberg::Vst::IParameterChanges* changes = nullptr,
                                   Steinberg::Vst::ProcessContext* context = nullptr);

/// UTF-16 text of a String128 (up to its terminator).
std::u16string FromString128(const Steinberg::Vst::TChar* text);
std::string NarrowAscii(const Steinberg::Vst::TChar* text);

} // namespace lumenfall::test
