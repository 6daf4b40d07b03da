#pragma once

#include <cstdint>

namespace plugkit
{

/// A parameter change crossing from the processor to the editor.
struct ParamChange
{
    int32_t mIdx = -1;
    double mValue = 0.0;
};

/// A short MIDI message at a sample offset within the block.
struct MidiMessage
{
    int32_t mOffset = 0;
    uint8_t mStatus = 0;
    uint8_t mData1 = 0;
    uint8_t mData2 = 0;

    /// The channel-voice kind (status high nibble), 0 for system messages.
    int StatusKind() const { return mStatus >= 0x80 && mStatus < 0xF0 ? mStatus >> 4 : 0; }
    int Channel() const { return mStatus & 0x0F; }
};

/// A SysEx message as handed to and from the plug-in; the bytes are not owned.
struct SysExMessage
{
    int32_t mOffset = 0;
    int32_t mSize = 0;
    const uint8_t* mData = nullptr;
};

/// The form a SysEx message takes inside a queue: the bytes are copied in.
struct SysExQueueEntry
{
    static constexpr int32_t kMaxBytes = 512;

    int32_t mOffset = 0;
    int32_t mSize = 0;
    uint8_t mData[kMaxBytes] = {};

    /// Fills the entry from `msg`: false (entry untouched) when its size lies outside
    /// 0 .. kMaxBytes. A message without bytes gives zeroed data with the size copied.
    bool Assign(const SysExMessage& msg);
    /// The message view of this entry, valid while the entry lives.
    SysExMessage AsMessage() const { return {mOffset, mSize, mData}; }
};

} // namespace plugkit
