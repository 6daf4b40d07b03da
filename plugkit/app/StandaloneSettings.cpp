#include "plugkit/app/StandaloneSettings.h"

#include "plugkit/app/Utf8Text.h"

#include <cstdio>
#include <cstring>

namespace plugkit::app
{

namespace
{

constexpr const char* kAudio = "audio";
constexpr const char* kMidi = "midi";

/// One key of the file: a number with the range of values the program can use, or a name with
/// what a missing key reads as.
struct SettingKey
{
    const char* section;
    const char* key;
    uint32_t StandaloneSettings::*number;
    uint32_t minimum;
    uint32_t maximum;
    HeapString StandaloneSettings::*name;
    const char* missingName;
};

constexpr SettingKey Number(const char* section,
                            const char* key,
                            uint32_t StandaloneSettings::*field,
                            uint32_t minimum,
                            uint32_t maximum)
{
    return {section, key, field, minimum, maximum, nullptr, nullptr};
}

constexpr SettingKey Name(const char* section,
                          const char* key,
                          HeapString StandaloneSettings::*field,
                          const char* missing)
{
    return {section, key, nullptr, 0, 0, field, missing};
}

/// In the order the file is read and written.
constexpr SettingKey kKeys[] = {
    Number(kAudio, "driver", &StandaloneSettings::driverType, 0, 0),
    Name(kAudio, "indev", &StandaloneSettings::audioInputDevice, "Built-in Input"),
    Name(kAudio, "outdev", &StandaloneSettings::audioOutputDevice, "Built-in Output"),
    Number(kAudio, "in1", &StandaloneSettings::audioInputLeft, 1, 256),
    Number(kAudio, "in2", &StandaloneSettings::audioInputRight, 1, 256),
    Number(kAudio, "out1", &StandaloneSettings::audioOutputLeft, 1, 256),
    Number(kAudio, "out2", &StandaloneSettings::audioOutputRight, 1, 256),
    Number(kAudio, "buffer", &StandaloneSettings::bufferSize, 32, 8192),
    Number(kAudio, "sr", &StandaloneSettings::sampleRate, 8000, 384000),
    Name(kMidi, "indev", &StandaloneSettings::midiInputDevice, "no input"),
    Name(kMidi, "outdev", &StandaloneSettings::midiOutputDevice, "no output"),
    Number(kMidi, "inchan", &StandaloneSettings::midiInputChannel, 0, 16),
    Number(kMidi, "outchan", &StandaloneSettings::midiOutputChannel, 0, 16),
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

/// A whole decimal number, blanks around it allowed; false for anything else or more than
/// `maximum`.
bool ParseNumber(const char* text, uint32_t maximum, uint32_t& out)
{
    while (IsBlank(*text))
        ++text;
    uint64_t value = 0;
    int digits = 0;
    for (; *text >= '0' && *text <= '9'; ++text, ++digits)
    {
        value = value * 10 + uint64_t(*text - '0');
        if (value > maximum)
            return false;
    }
    while (IsBlank(*text))
        ++text;
    if (digits == 0 || *text != 0)
        return false;
    out = static_cast<uint32_t>(value);
    return true;
}

void ReadKey(ISettingsStore& store, const SettingKey& k, StandaloneSettings& settings)
{
    if (k.name)
    {
        HeapString& name = settings.*k.name;
        if (!store.ReadText(k.section, k.key, name))
            name.Set(k.missingName);
        TruncateUtf8(name, StandaloneSettings::kMaxNameBytes);
        return;
    }
    HeapString text;
    uint32_t value = 0;
    if (store.ReadText(k.section, k.key, text) && ParseNumber(text.Get(), k.maximum, value) &&
        value >= k.minimum)
        settings.*k.number = value;
    else
        settings.*k.number = StandaloneSettings{}.*k.number;
}

bool WriteKey(ISettingsStore& store, const SettingKey& k, const StandaloneSettings& settings)
{
    if (k.name)
        return store.WriteText(k.section, k.key, (settings.*k.name).Get());
    char text[16];
    std::snprintf(text, sizeof(text), "%u", settings.*k.number);
    return store.WriteText(k.section, k.key, text);
}

} // namespace

bool StandaloneSettings::operator==(const StandaloneSettings& other) const
{
    return AudioSettingsMatch(*this, other) && MidiSettingsMatch(*this, other);
}

bool AudioSettingsMatch(const StandaloneSettings& a, const StandaloneSettings& b)
{
    return a.driverType == b.driverType &&
           std::strcmp(a.audioInputDevice.Get(), b.audioInputDevice.Get()) == 0 &&
           std::strcmp(a.audioOutputDevice.Get(), b.audioOutputDevice.Get()) == 0 &&
           a.sampleRate == b.sampleRate && a.bufferSize == b.bufferSize &&
           a.audioInputLeft == b.audioInputLeft && a.audioInputRight == b.audioInputRight &&
           a.audioOutputLeft == b.audioOutputLeft && a.audioOutputRight == b.audioOutputRight;
}

bool MidiSettingsMatch(const StandaloneSettings& a, const StandaloneSettings& b)
{
    return std::strcmp(a.midiInputDevice.Get(), b.midiInputDevice.Get()) == 0 &&
           std::strcmp(a.midiOutputDevice.Get(), b.midiOutputDevice.Get()) == 0 &&
           a.midiInputChannel == b.midiInputChannel && a.midiOutputChannel == b.midiOutputChannel;
}

void ReadSettings(ISettingsStore& store, StandaloneSettings& settings)
{
    for (const SettingKey& k : kKeys)
        ReadKey(store, k, settings);
}

bool WriteSettings(ISettingsStore& store, const StandaloneSettings& settings)
{
    bool ok = true;
    for (const SettingKey& k : kKeys)
        ok = WriteKey(store, k, settings) && ok;
    return ok;
}

} // namespace plugkit::app
