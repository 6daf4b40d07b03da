#pragma once

#include "pluginterfaces/base/ipluginbase.h"

#include <atomic>

namespace plugkit
{

/// Creates one instance of a registered class and returns it with one reference,
/// or null. Must not throw.
using Vst3CreateFunc = Steinberg::FUnknown* (*)(void* context);

/// The module's class factory (IPluginFactory, IPluginFactory2, IPluginFactory3):
/// a fixed table of up to kMaxClasses classes, reference counted. When its last
/// reference goes it clears the slot it was published in, so a later
/// GetPluginFactory builds a new one.
class CPluginFactory : public Steinberg::IPluginFactory3
{
public:
    static constexpr int kMaxClasses = 4;

    explicit CPluginFactory(const Steinberg::PFactoryInfo& info);
    virtual ~CPluginFactory();

    /// Adds a class; false when the table is full or an argument is null.
    bool AddClass(const Steinberg::PClassInfo2* info, Vst3CreateFunc create, void* context);

    /// The slot that holds this factory; cleared (if it still holds this) on destruction.
    void SetOwnerSlot(std::atomic<CPluginFactory*>* slot) { mOwnerSlot = slot; }

    // Host calls, all [any-thread]: the class table is fixed before the factory is published.
    // FUnknown
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override;
    Steinberg::uint32 PLUGIN_API release() override;

    // IPluginFactory
    Steinberg::tresult PLUGIN_API getFactoryInfo(Steinberg::PFactoryInfo* info) override;
    Steinberg::int32 PLUGIN_API countClasses() override;
    Steinberg::tresult PLUGIN_API getClassInfo(Steinberg::int32 index,
                                               Steinberg::PClassInfo* info) override;
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::FIDString cid,
                                                 Steinberg::FIDString iid,
                                                 void** obj) override;
    // IPluginFactory2
    Steinberg::tresult PLUGIN_API getClassInfo2(Steinberg::int32 index,
                                                Steinberg::PClassInfo2* info) override;
    // IPluginFactory3
    Steinberg::tresult PLUGIN_API getClassInfoUnicode(Steinberg::int32 index,
                                                      Steinberg::PClassInfoW* info) override;
    Steinberg::tresult PLUGIN_API setHostContext(Steinberg::FUnknown* context) override;

private:
    /// The class at `index`, or null when the index is outside the table or `out` is null.
    const Steinberg::PClassInfo2* ClassAt(Steinberg::int32 index, const void* out) const;

    struct ClassEntry
    {
        Steinberg::PClassInfo2 info;
        Vst3CreateFunc create = nullptr;
        void* context = nullptr;
    };

    std::atomic<Steinberg::uint32> mRefCount{1};
    Steinberg::PFactoryInfo mFactoryInfo;
    ClassEntry mClasses[kMaxClasses];
    int mClassCount = 0;
    std::atomic<CPluginFactory*>* mOwnerSlot = nullptr;
};

} // namespace plugkit
