#include "plugkit/IPluginBase.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace plugkit
{

PresetSlot::PresetSlot()
{
    std::memset(mName, 0, sizeof(mName));
    std::strcpy(mName, "empty");
}

IPluginBase::IPluginBase(int nParams, int nPresets)
    : ICanvasEditorDelegate(nParams)
{
    for (int i = 0; i < nPresets; ++i)
    {
        auto* slot = new (std::nothrow) PresetSlot;
        if (!slot || !mPresets.Add(slot))
        {
            delete slot;
            break;
        }
    }
}

IPluginBase::~IPluginBase() = default;

int32_t IPluginBase::GetVersionNumber(bool decimal) const
{
    if (!decimal)
        return mVersion;
    const int32_t major = (mVersion >> 16) & 0xFFFF;
    const int32_t minor = (mVersion >> 8) & 0xFF;
    const int32_t patch = mVersion & 0xFF;
    return major * 10000 + minor * 100 + patch;
}

bool IPluginBase::SerializeState(IStateChunk& chunk) const
{
    return SerializeParams(chunk);
}

int IPluginBase::UnserializeState(const IStateChunk& chunk, int startPos)
{
    return UnserializeParams(chunk, startPos);
}

bool IPluginBase::SerializeParams(IStateChunk& chunk) const
{
    for (int i = 0; i < NParams(); ++i)
        if (!chunk.PutDouble(GetParam(i)->Value()))
            return false;
    return true;
}

int IPluginBase::UnserializeParams(const IStateChunk& chunk, int startPos)
{
    // Checked here, not only by GetDouble: with no parameters nothing else would see it.
    int pos = startPos >= 0 && startPos <= chunk.Size() ? startPos : -1;
    for (int i = 0; i < NParams() && pos >= 0; ++i)
    {
        double v = 0.0;
        pos = chunk.GetDouble(v, pos);
        // A value that is not a number is invalid data, not something to clamp.
        if (pos >= 0 && !std::isfinite(v))
            pos = -1;
        if (pos >= 0)
            GetParam(i)->Set(v);
    }
    OnParamReset(ParamSource::Preset);
    return pos;
}

bool IPluginBase::MakePresetFromChunk(const char* name, const IStateChunk& chunk)
{
    for (int i = 0; i < NPresets(); ++i)
    {
        PresetSlot* slot = GetPreset(i);
        if (slot->mInitialized.load())
            continue;
        slot->mState.Clear();
        if (slot->mState.PutChunk(chunk) != chunk.Size())
        {
            slot->mState.Clear();
            return false;
        }
        std::memset(slot->mName, 0, sizeof(slot->mName));
        if (name)
            std::strncpy(slot->mName, name, PresetSlot::kMaxNameLength);
        slot->mInitialized.store(true);
        return true;
    }
    return false;
}

const char* IPluginBase::GetPresetName(int idx) const
{
    const PresetSlot* slot = GetPreset(idx);
    return slot ? slot->mName : "";
}

bool IPluginBase::RestorePreset(int idx)
{
    PresetSlot* slot = GetPreset(idx);
    if (!slot)
        return false;

    bool ok;
    if (slot->mInitialized.load())
    {
        ok = UnserializeState(slot->mState, 0) >= 0; // 0: an empty state, read whole
    }
    else
    {
        // The current state becomes the preset; the slot counts as filled only once that
        // state was written, so a failed write leaves it empty rather than holding garbage.
        slot->mState.Clear();
        ok = SerializeState(slot->mState);
        if (ok)
        {
            int nUser = 0;
            for (int i = 0; i < NPresets(); ++i)
                if (std::strstr(GetPreset(i)->mName, "user preset"))
                    ++nUser;
            std::snprintf(slot->mName, sizeof(slot->mName), "%s %d", "user preset", nUser + 1);
            slot->mInitialized.store(true);
        }
        else
        {
            slot->mState.Clear();
        }
    }

    if (ok)
    {
        mCurrentPresetIdx = idx;
        OnPresetRestored();
        OnRestoreState();
    }
    return ok;
}

} // namespace plugkit
