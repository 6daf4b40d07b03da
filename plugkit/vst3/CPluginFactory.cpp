#include "plugkit/vst3/CPluginFactory.h"

#include <cstring>

using namespace Steinberg;

namespace plugkit
{
namespace
{
template <size_t N>
void WidenAscii(char16 (&dst)[N], const char8* src)
{
    size_t i = 0;
    for (; i + 1 < N && src[i] != 0; ++i)
        dst[i] = static_cast<char16>(static_cast<unsigned char>(src[i]));
    for (; i < N; ++i)
        dst[i] = 0;
}

/// Clears `dst` and copies the fields every class-information record shares.
template <typename Info>
void CopyClassIdentity(const PClassInfo2& src, Info& dst)
{
    dst = {};
    std::memcpy(dst.cid, src.cid, sizeof(TUID));
    dst.cardinality = src.cardinality;
    std::memcpy(dst.category, src.category, sizeof(dst.category));
}
} // namespace

CPluginFactory::CPluginFactory(const PFactoryInfo& info)
    : mFactoryInfo(info)
{
}

CPluginFactory::~CPluginFactory()
{
    if (mOwnerSlot != nullptr)
    {
        CPluginFactory* self = this;
        mOwnerSlot->compare_exchange_strong(self, nullptr);
    }
}

bool CPluginFactory::AddClass(const PClassInfo2* info, Vst3CreateFunc create, void* context)
{
    if (info == nullptr || create == nullptr || mClassCount >= kMaxClasses)
        return false;
    ClassEntry& entry = mClasses[mClassCount++];
    entry.info = *info;
    entry.create = create;
    entry.context = context;
    return true;
}

tresult PLUGIN_API CPluginFactory::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, IPluginFactory3::iid, IPluginFactory3)
    QUERY_INTERFACE(iid, obj, IPluginFactory2::iid, IPluginFactory2)
    QUERY_INTERFACE(iid, obj, IPluginFactory::iid, IPluginFactory)
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IPluginFactory)
    *obj = nullptr;
    return kNoInterface;
}

uint32 PLUGIN_API CPluginFactory::addRef()
{
    return ++mRefCount;
}

uint32 PLUGIN_API CPluginFactory::release()
{
    const uint32 left = --mRefCount;
    if (left == 0)
        delete this;
    return left;
}

tresult PLUGIN_API CPluginFactory::getFactoryInfo(PFactoryInfo* info)
{
    if (info == nullptr)
        return kInvalidArgument;
    *info = mFactoryInfo;
    return kResultOk;
}

int32 PLUGIN_API CPluginFactory::countClasses()
{
    return mClassCount;
}

const PClassInfo2* CPluginFactory::ClassAt(int32 index, const void* out) const
{
    return out != nullptr && index >= 0 && index < mClassCount ? &mClasses[index].info : nullptr;
}

tresult PLUGIN_API CPluginFactory::getClassInfo(int32 index, PClassInfo* info)
{
    const PClassInfo2* src = ClassAt(index, info);
    if (src == nullptr)
        return kInvalidArgument;
    CopyClassIdentity(*src, *info);
    std::memcpy(info->name, src->name, sizeof(info->name));
    return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfo2(int32 index, PClassInfo2* info)
{
    const PClassInfo2* src = ClassAt(index, info);
    if (src == nullptr)
        return kInvalidArgument;
    *info = *src;
    return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfoUnicode(int32 index, PClassInfoW* info)
{
    const PClassInfo2* src = ClassAt(index, info);
    if (src == nullptr)
        return kInvalidArgument;
    CopyClassIdentity(*src, *info);
    WidenAscii(info->name, src->name);
    info->classFlags = src->classFlags;
    std::memcpy(info->subCategories, src->subCategories, sizeof(info->subCategories));
    WidenAscii(info->vendor, src->vendor);
    WidenAscii(info->version, src->version);
    WidenAscii(info->sdkVersion, src->sdkVersion);
    return kResultOk;
}

tresult PLUGIN_API CPluginFactory::createInstance(FIDString cid, FIDString iid, void** obj)
{
    if (obj == nullptr)
        return kInvalidArgument;
    *obj = nullptr;
    if (cid == nullptr || iid == nullptr)
        return kInvalidArgument;
    for (int i = 0; i < mClassCount; ++i)
    {
        const ClassEntry& entry = mClasses[i];
        if (std::memcmp(entry.info.cid, cid, sizeof(TUID)) != 0)
            continue;
        FUnknown* instance = entry.create(entry.context);
        if (instance == nullptr)
            return kOutOfMemory;
        const tresult result = instance->queryInterface(iid, obj);
        instance->release();
        if (result != kResultOk)
            *obj = nullptr;
        return result;
    }
    return kNoInterface;
}

tresult PLUGIN_API CPluginFactory::setHostContext(FUnknown*)
{
    return kNotImplemented;
}

} // namespace plugkit
