#pragma once

#include <cstdint>

namespace plugkit
{

/// What a plug-in is.
enum PluginType : int32_t
{
    kPluginTypeEffect = 0,
    kPluginTypeInstrument = 1,
    kPluginTypeMidiEffect = 2,
};

/// The constructor record of a plug-in, read by the API base and the processor. Texts are
/// copied; they need to live only during construction.
struct PluginConfig
{
    int32_t mNParams = 0;
    int32_t mNPresets = 0;
    /// Channel configurations such as "1-1 2-2" (see IPluginProcessor::ParseChannelIO).
    const char* mChannelIO = "";
    const char* mPluginName = "";
    const char* mProductName = "";
    const char* mMakerName = "";
    /// major << 16 | minor << 8 | patch.
    int32_t mVersion = 0;
    /// Four-character codes, big-endian ('Lmfl').
    int32_t mUniqueId = 0;
    int32_t mMakerId = 0;
    int32_t mLatency = 0;
    bool mMidiIn = false;
    bool mMidiOut = false;
    bool mMpe = false;
    bool mStateChunks = false;
    int32_t mType = kPluginTypeEffect;
    bool mHasUI = false;
    int32_t mEditorWidth = 0;
    int32_t mEditorHeight = 0;
    int32_t mMinWidth = 10;
    int32_t mMaxWidth = 100000;
    int32_t mMinHeight = 10;
    int32_t mMaxHeight = 100000;
    bool mHostResize = false;
    const char* mBundleId = "";
    const char* mAppGroupId = "";
};

} // namespace plugkit
