#pragma once

// Windows only: the stand-alone program's entry, from the single-instance check to the end of its
// message loop.

#include "plugkit/app/StandaloneProgramInfo.h"

#include <windows.h>

namespace plugkit::app
{

/// Runs the program: when another instance runs, brings its main window to the front and
/// returns kExitNormal at once. Otherwise creates the application host and its plug-in, reads
/// `arguments` (the command line without the program's name, see ParseCommandLine), opens the
/// devices unless the command line disables them, shows the main window and runs the message
/// loop until the window is gone. Returns a StandaloneExitCode.
int RunStandaloneProgram(HINSTANCE instance,
                         const wchar_t* arguments,
                         const StandaloneProgramInfo& info);

/// The top-level main window titled `title` (letter case ignored) of any process; null when none.
HWND FindProgramWindow(const char* title);

/// The message loop: accelerators of `accelerators` go to the main window, dialog keys to their
/// dialogs; a failing fetch is retried after 10 ms. Returns the quit message's code.
int RunMessageLoop(HACCEL accelerators);

} // namespace plugkit::app
