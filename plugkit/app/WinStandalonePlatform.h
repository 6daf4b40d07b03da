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
    /// `settingsFolderName` and `settingsBaseFolder` as for ProfileSettingsStore: settings.ini in
    /// the folder of the product's name, in the local application data when the base is null.
    explicit WinStandalonePlatform(const char* settingsFolderName,
                                   const char* settingsBaseFolder = nullptr);

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
