#pragma once

#include "tests/support/app/PngImage.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumenfall::test
{

/// Runs LUMENFALL.exe as a user would and finds its windows: the test's side of the program
/// tests. The process is ended, if it still runs, when the driver goes.
class ProgramDriver
{
public:
    ProgramDriver() = default;
    ~ProgramDriver();
    ProgramDriver(const ProgramDriver&) = delete;
    ProgramDriver& operator=(const ProgramDriver&) = delete;

    /// Starts the program with `arguments` (UTF-8) and this process's environment, with the
    /// variables of `environment` ("NAME=value", UTF-8) set in place of their own; false when it
    /// could not be started.
    bool Start(const std::string& arguments, const std::vector<std::string>& environment = {});
    /// Start, then WaitForMainWindow: the main window, null when it did not come.
    HWND StartWindow(const std::string& arguments,
                     const std::vector<std::string>& environment = {});
    /// The program's main window once it is visible; null after `timeoutMs`.
    HWND WaitForMainWindow(int timeoutMs = 20000);
    /// A visible dialog of the program titled `title` other than the main window; null after
    /// `timeoutMs`.
    HWND WaitForDialog(const std::string& title, int timeoutMs = 10000);
    /// The exit code; -1 when the program still runs after `timeoutMs`.
    int WaitForExit(int timeoutMs = 20000);
    DWORD ProcessId() const { return mInfo.dwProcessId; }

private:
    PROCESS_INFORMATION mInfo = {};
};

/// LUMENFALL.exe as a Windows path.
std::wstring ProgramPath();
/// The visible top-level dialogs (class "#32770") of process `process`.
std::vector<HWND> DialogsOf(DWORD process);
/// The texts of a dialog's static controls, joined by blanks (UTF-8).
std::string DialogText(HWND dialog);
/// Clicks button `id` of a dialog, by the message the button would post.
void ClickButton(HWND dialog, int id);
/// Picks item `index` of combo box `id` of a dialog and tells the dialog, as the box would.
void ChooseItem(HWND dialog, int id, int index);
/// Presses and releases the keys in order, then releases them in reverse (a chord), through
/// the system's input queue, so the key state the receiver reads is real.
void PressChord(const std::vector<WORD>& virtualKeys);

/// Makes the folder `path` (UTF-8) unless it exists; false when it is not there afterwards.
bool MakeFolder(const std::string& path);
/// Deletes a file or an empty folder at `path` (UTF-8), if there is one.
void RemovePath(const std::string& path);
/// Whether a file exists at `path` (UTF-8).
bool FileExists(const std::string& path);
/// The test's temporary folder with a separator at its end (UTF-8).
std::string TempFolder();

} // namespace lumenfall::test
