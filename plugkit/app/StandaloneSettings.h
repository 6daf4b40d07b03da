#pragma once

#include "plugkit/HeapString.h"

#include <cstdint>

namespace plugkit::app
{

/// The program's device settings, as settings.ini keeps them. Device names are UTF-8; channel
/// selections are 1-based device channels; MIDI channels are 0 for all, 1 to 16 for one.
struct StandaloneSettings
{
    static constexpr const char* kDefaultAudioDevice = "Default Device";
    static constexpr const char* kMidiOff = "off";
    /// Bytes of a name that settings.ini keeps; a longer one is read back cut to this.
    static constexpr int32_t kMaxNameBytes = 99;

    HeapString audioInputDevice{kDefaultAudioDevice};
    HeapString audioOutputDevice{kDefaultAudioDevice};
    HeapString midiInputDevice{kMidiOff};
    HeapString midiOutputDevice{kMidiOff};
    uint32_t driverType = 0; ///< 0: DirectSound, the only driver
    uint32_t sampleRate = 44100;
    uint32_t bufferSize = 512;
    uint32_t midiInputChannel = 0;
    uint32_t midiOutputChannel = 0;
    uint32_t audioInputLeft = 1;
    uint32_t audioInputRight = 2;
    uint32_t audioOutputLeft = 1;
    uint32_t audioOutputRight = 2;

    /// All nine numbers and the four names equal, names byte for byte.
    bool operator==(const StandaloneSettings& other) const;
};

/// Driver, both audio device names, sample rate, buffer size and the four channels equal.
bool AudioSettingsMatch(const StandaloneSettings& a, const StandaloneSettings& b);
/// Both MIDI device names and both MIDI channels equal.
bool MidiSettingsMatch(const StandaloneSettings& a, const StandaloneSettings& b);

/// Where the settings live: sections of keys with text values (the settings store). UI thread.
class ISettingsStore
{
public:
    virtual ~ISettingsStore() = default;

    /// Finds the file's folder, creating it when it is missing; true when the file exists to be
    /// read.
    virtual bool Locate() = 0;
    /// The key's whole UTF-8 text into `out`; false (out untouched) when the key is missing.
    virtual bool ReadText(const char* section, const char* key, HeapString& out) = 0;
    /// Adds or replaces the key; false when it could not be written.
    virtual bool WriteText(const char* section, const char* key, const char* value) = 0;
};

/// Reads every key into `settings`. A missing key takes the file's default ("Built-in Input",
/// "Built-in Output", "no input", "no output" for the names, the record's defaults for the
/// numbers); a number that is not a whole decimal number within its range takes the record's
/// default; a name is cut to 99 bytes at a character boundary.
void ReadSettings(ISettingsStore& store, StandaloneSettings& settings);
/// Writes every key; false when any write failed.
bool WriteSettings(ISettingsStore& store, const StandaloneSettings& settings);

} // namespace plugkit::app
