#include "plugkit/app/AudioDevices.h"

#include "plugkit/app/StandaloneSettings.h"
#include "plugkit/app/Utf8Text.h"

#include <cstring>
#include <thread>

namespace plugkit::app
{

namespace
{
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}
} // namespace

void StreamCallbackGate::Connect(AudioStreamFunc func, void* user, uint32_t outputChannels)
{
    mFunc.store(func);
    mUser.store(user);
    mOutputChannels.store(outputChannels);
    mConnected.store(true);
}

void StreamCallbackGate::Disconnect()
{
    // Sequentially consistent on both sides: a call that saw the gate connected has raised
    // mInFlight before this store, so the wait below sees it.
    mConnected.store(false);
    while (mInFlight.load() != 0)
        std::this_thread::yield();
}

int StreamCallbackGate::Forward(void* output,
                                void* input,
                                unsigned int frames,
                                double streamTime,
                                unsigned int status,
                                void* gate)
{
    auto& self = *static_cast<StreamCallbackGate*>(gate);
    self.mInFlight.fetch_add(1);
    int result = 0;
    const AudioStreamFunc func = self.mConnected.load() ? self.mFunc.load() : nullptr;
    if (func != nullptr)
        result = func(output, input, frames, streamTime, status, self.mUser.load());
    else if (output != nullptr)
        std::memset(output, 0, sizeof(double) * frames * self.mOutputChannels.load());
    self.mInFlight.fetch_sub(1);
    return result;
}

void ShownDeviceName(const char* systemName, HeapString& out)
{
    if (!systemName)
    {
        out.Set("");
        return;
    }
    const char* colon = std::strchr(systemName, ':');
    const char* begin = colon ? colon + 1 : systemName;
    while (IsBlank(*begin))
        ++begin;
    const auto length = static_cast<int32_t>(std::strlen(begin));
    const char* end = begin + Utf8PrefixLength(begin, length, StandaloneSettings::kMaxNameBytes);
    while (end > begin && IsBlank(end[-1]))
        --end;
    if (begin == end)
        out.Set("");
    else
        out.Set(begin, static_cast<int32_t>(end - begin));
}

void AudioDeviceDirectory::Scan(IAudioDevices* devices)
{
    mInputs.clear();
    mOutputs.clear();
    mDevices.clear();
    mDefaultInput.reset();
    mDefaultOutput.reset();
    if (!devices)
        return;
    const uint32_t count = devices->DeviceCount();
    for (uint32_t id = 0; id < count; ++id)
    {
        Entry entry;
        entry.mId = id;
        if (!devices->GetDeviceInfo(id, entry.mInfo))
            continue;
        const AudioDeviceInfo& info = entry.mInfo;
        if (info.mInputChannels > 0)
            mInputs.push_back(id);
        if (info.mOutputChannels > 0)
            mOutputs.push_back(id);
        if (info.mIsDefaultInput)
            mDefaultInput = id;
        if (info.mIsDefaultOutput)
            mDefaultOutput = id;
        ShownDeviceName(info.mName.Get(), entry.mShownName);
        mDevices.push_back(entry);
    }
}

const AudioDeviceDirectory::Entry* AudioDeviceDirectory::FindEntry(uint32_t id) const
{
    for (const Entry& entry : mDevices)
        if (entry.mId == id)
            return &entry;
    return nullptr;
}

void AudioDeviceDirectory::GetName(uint32_t id, HeapString& out) const
{
    const Entry* entry = FindEntry(id);
    out.Set(entry ? entry->mShownName.Get() : "");
}

const AudioDeviceInfo* AudioDeviceDirectory::GetInfo(uint32_t id) const
{
    const Entry* entry = FindEntry(id);
    return entry ? &entry->mInfo : nullptr;
}

std::optional<uint32_t> AudioDeviceDirectory::Find(ChannelDirection direction,
                                                   const char* name) const
{
    if (!name)
        return std::nullopt;
    for (uint32_t id : Ids(direction))
    {
        const Entry* entry = FindEntry(id);
        if (entry && std::strcmp(entry->mShownName.Get(), name) == 0)
            return id;
    }
    return std::nullopt;
}

} // namespace plugkit::app
