#pragma once

#include "plugkit/app/AudioDevices.h"
#include "plugkit/app/MidiPorts.h"
#include "plugkit/app/StandaloneSettings.h"

#include <memory>

namespace plugkit::app
{

/// What the application host asks of the system: its audio and MIDI layers, the settings file
/// and the user's attention. The program uses the Windows one (DirectSound, Windows multimedia
/// MIDI, settings.ini, message boxes); tests put fakes in its place. UI thread.
class IStandalonePlatform
{
public:
    virtual ~IStandalonePlatform() = default;

    /// The audio layer; null when it could not be made (its error text went to the standard
    /// error stream).
    virtual std::unique_ptr<IAudioDevices> CreateAudioDevices() = 0;
    /// The MIDI layers, under the client names "RtMidi Input Client" and "RtMidi Output Client";
    /// null when they could not be made (their error text went to the standard error stream).
    virtual std::unique_ptr<IMidiInput> CreateMidiInput() = 0;
    virtual std::unique_ptr<IMidiOutput> CreateMidiOutput() = 0;
    /// The settings file, for the host's whole life.
    virtual ISettingsStore& GetSettingsStore() = 0;
    /// Shows a message with an OK button over the main window and returns when it is dismissed.
    virtual void ShowMessage(const char* text, const char* title) = 0;
};

} // namespace plugkit::app
