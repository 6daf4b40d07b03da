#pragma once

#include "plugkit/HeapString.h"

namespace plugkit::app
{

/// What the program's command line asks for.
struct StandaloneCommandLine
{
    static constexpr const char* kScreenshotOption = "--screenshot";
    static constexpr const char* kNoIOOption = "--no-io";

    /// Non-empty: save the main window as a PNG file here, then exit.
    HeapString screenshotPath;
    /// Run without audio and MIDI devices.
    bool noIO = false;
};

/// Reads the program's arguments (UTF-8, without the program's own name). Words are separated by
/// runs of blanks; a double-quoted part of a word may hold blanks, and its quotes are dropped, so
/// a path with spaces can be given. "--screenshot" takes the next word as the path (none when it
/// is the last word); "--no-io" disables devices; every other word is ignored. A later option
/// overrides an earlier one.
StandaloneCommandLine ParseCommandLine(const char* arguments);

} // namespace plugkit::app
