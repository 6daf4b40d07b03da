// The entry of LUMENFALL.exe: the stand-alone program shell with what it shows of the product.

#include "plugkit/app/StandaloneProgram.h"

namespace
{
/// Names the single instance and the settings folder: settings.ini is in
/// %LOCALAPPDATA%\Lumenfall\.
constexpr const char* kProductName = "Lumenfall";
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int)
{
    plugkit::app::StandaloneProgramInfo info;
    info.instanceName = kProductName;
    info.settingsFolderName = kProductName;
    info.aboutOwnerLine = "LUMENFALL is made and owned by TESSALINE.";
    info.buildDate = __DATE__;
    return plugkit::app::RunStandaloneProgram(instance, arguments, info);
}
