#pragma once

#include "plugkit/app/ProfileSettingsStore.h"
#include "plugkit/app/StandalonePlatform.h"

#include <windows.h>

namespace plugkit::app
{

/// The main window: the owner of the program's message boxes; null while there is none.
extern HWND gMainWindow;

/// The system as the program uses it: RtAudio's DirectSound devices, RtMidi's Windows multimedia
/// ports, settings.ini in the local application data, message boxes over the main window.
class WinStandalonePlatform : public IStandalonePlatform
{
public:
    /// `settingsBaseFolder` as for ProfileSettingsStore: null for the local application data.
    explicit WinStandalonePlatform(const char* settingsBaseFolder = nullptr);

    std::unique_ptr<IAudioDevices> CreateAudioDevices() override;
    std::unique_ptr<IMidiInput> CreateMidiInput() override;
    std::unique_ptr<IMidiOutput> CreateMidiOutput() override;
    ISettingsStore& GetSettingsStore() override { return mStore; }
    void ShowMessage(const char* text, const char* title) override;

    ProfileSettingsStore& GetProfileStore() { return mStore; }

private:
    ProfileSettingsStore mStore;
};

} // namespace plugkit::app
