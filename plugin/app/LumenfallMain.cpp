// The entry of LUMENFALL.exe: the stand-alone program shell with what it shows of the product.

#include "plugkit/app/StandaloneProgram.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int)
{
    plugkit::app::StandaloneProgramInfo info;
    info.instanceName = "Lumenfall";
    info.aboutOwnerLine = "LUMENFALL is made and owned by TESSALINE.";
    info.buildDate = __DATE__;
    return plugkit::app::RunStandaloneProgram(instance, arguments, info);
}
