#pragma once

#include "plugkit/HeapString.h"
#include "plugkit/ICanvasEditorDelegate.h"
#include "plugkit/IStateChunk.h"
#include "plugkit/PointerList.h"

#include <atomic>
#include <cstdint>

namespace plugkit
{

/// The host API a plug-in object is built for.
enum PluginApi : int32_t
{
    kPluginApiVst3 = 1,
    kPluginApiApp = 5,
};

/// One preset: a name and a state chunk in the plug-in's own state format.
struct PresetSlot
{
    static constexpr int kMaxNameLength = 255;

    PresetSlot();

    /// Set once the slot holds a state.
    std::atomic<bool> mInitialized{false};
    char mName[kMaxNameLength + 1];
    IStateChunk mState;
};

/// Between the graphics editor delegate and the API base: the preset slots, the current preset
/// index and the default state format (every parameter value as a little-endian double, in
/// index order). A plug-in with its own format overrides SerializeState and UnserializeState;
/// the preset slots then hold chunks in that format, since they are filled and read through
/// the same two operations.
class IPluginBase : public ICanvasEditorDelegate
{
public:
    IPluginBase(int nParams, int nPresets);
    ~IPluginBase() override;

    /// [ui-thread] Parameter names or ranges changed (the VST3 adapter asks for a rescan).
    virtual void InformHostOfParamDetailsChange() {}
    /// [ui-thread] Appends the whole state; false when the chunk could not grow.
    virtual bool SerializeState(IStateChunk& chunk) const;
    /// [ui-thread] Reads the state at `startPos`; the position after it, or -1.
    virtual int UnserializeState(const IStateChunk& chunk, int startPos);
    /// [ui-thread] A preset was restored and is now current.
    virtual void OnPresetRestored() {}

    /// Appends each parameter's value as a little-endian double; false when the chunk did not
    /// grow. True when there are no parameters.
    bool SerializeParams(IStateChunk& chunk) const;
    /// Reads one double per parameter from `startPos`. Stops at the first value that is
    /// missing or not finite: the result is then -1, and the values before it stay applied.
    /// A `startPos` outside [0, chunk.Size()] reads nothing and gives -1, with or without
    /// parameters. Sends OnParamReset(Preset) in every case. Returns the position after the
    /// last value.
    int UnserializeParams(const IStateChunk& chunk, int startPos);

    /// Fills the first slot that holds no state with `name` (at most 255 characters) and the
    /// bytes of `chunk`; false when every slot is taken or the bytes could not be stored.
    bool MakePresetFromChunk(const char* name, const IStateChunk& chunk);
    /// The slot's name; "" outside the slots.
    const char* GetPresetName(int idx) const;
    /// Applies slot `idx`. A slot that holds no state first receives the current state, named
    /// "user preset N". True on success; on failure neither the current preset nor the editor
    /// changes.
    bool RestorePreset(int idx);

    int NPresets() const { return mPresets.Size(); }
    /// Null outside the slots.
    PresetSlot* GetPreset(int idx) const { return mPresets.Get(idx); }
    int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }

    const char* GetPluginName() const { return mPluginName.Get(); }
    const char* GetProductName() const { return mProductName.Get(); }
    const char* GetMakerName() const { return mMakerName.Get(); }
    int32_t GetUniqueId() const { return mUniqueId; }
    int32_t GetMakerId() const { return mMakerId; }
    /// Packed (major << 16 | minor << 8 | patch), or major * 10000 + minor * 100 + patch.
    int32_t GetVersionNumber(bool decimal = false) const;
    /// The host identity (`HostApp`), -1 until the host is identified.
    int32_t GetHost() const { return mHost; }
    const char* GetHostName() const { return mHostName.Get(); }
    int32_t GetHostVersion() const { return mHostVersion; }
    PluginApi GetApi() const { return mApi; }
    bool HasUI() const { return mHasUI; }
    bool GetHostResizeEnabled() const { return mHostResize; }
    bool DoesStateChunks() const { return mStateChunks; }

protected:
    int32_t mCurrentPresetIdx = 0;
    bool mStateChunks = false;
    HeapString mPluginName;
    HeapString mProductName;
    HeapString mMakerName;
    int32_t mUniqueId = 0;
    int32_t mMakerId = 0;
    int32_t mVersion = 0;
    int32_t mHostVersion = 0;
    int32_t mHost = -1;
    HeapString mHostName;
    PluginApi mApi = kPluginApiVst3;
    HeapString mBundleId;
    HeapString mAppGroupId;
    bool mHasUI = false;
    bool mHostResize = false;

private:
    PointerList<PresetSlot> mPresets;
};

} // namespace plugkit
