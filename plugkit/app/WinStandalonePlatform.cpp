#include "plugkit/app/WinStandalonePlatform.h"

#include "plugkit/app/RtDeviceLayers.h"
#include "plugkit/app/Utf8Wrappers.h"

namespace plugkit::app
{

HWND gMainWindow = nullptr;

WinStandalonePlatform::WinStandalonePlatform(const char* settingsFolderName,
                                             const char* settingsBaseFolder)
    : mStore(settingsFolderName, settingsBaseFolder)
{
}

std::unique_ptr<IAudioDevices> WinStandalonePlatform::CreateAudioDevices()
{
    return RtAudioDevices::Create();
}

std::unique_ptr<IMidiInput> WinStandalonePlatform::CreateMidiInput()
{
    return RtMidiInputPorts::Create();
}

std::unique_ptr<IMidiOutput> WinStandalonePlatform::CreateMidiOutput()
{
    return RtMidiOutputPorts::Create();
}

void WinStandalonePlatform::ShowMessage(const char* text, const char* title)
{
    MessageBoxUtf8(gMainWindow, text, title, MB_OK);
}

} // namespace plugkit::app
