#pragma once

#include "plugkit/HeapString.h"

namespace plugkit::app
{

/// What the product tells the program shell about itself.
struct StandaloneProgramInfo
{
    /// Names the single-instance mutex; a second start finds the running instance's main window
    /// by this title, letter case ignored.
    const char* instanceName = "";
    /// The folder of settings.ini in the user's local application data.
    const char* settingsFolderName = "";
    /// The About box's first line: who makes and owns the product.
    const char* aboutOwnerLine = "";
    /// The build date as the compiler's __DATE__ gives it ("Mmm dd yyyy").
    const char* buildDate = "";
};

/// How the program ends.
enum StandaloneExitCode : int
{
    kExitNormal = 0,           ///< closed, or another instance was running
    kExitStartFailed = 1,      ///< the host or the main window could not be made
    kExitScreenshotFailed = 2, ///< screenshot mode could not write its file
    kNumStandaloneExitCodes
};

/// The About box's text: the owner line, then "Built on" and the date as month, day and year
/// ("Built on Mar 7 2026"; the compiler pads a one-digit day with a blank, which is dropped).
void FormatAboutText(HeapString& out, const char* ownerLine, const char* buildDate);

} // namespace plugkit::app
