#pragma once

// Windows only: the Preferences dialog of the stand-alone program.

#include "plugkit/HeapString.h"
#include "plugkit/app/AudioDevices.h"

#include <windows.h>

namespace plugkit::app
{

/// The buffer sizes the dialog offers, in frames.
inline constexpr const char* kBufferSizeChoices[] = {
    "32", "64", "96", "128", "192", "256", "512", "1024", "2048", "4096", "8192"};

/// Runs the Preferences dialog (IDD_PREFERENCES) modally over `owner` on gStandaloneHost's edited
/// settings. Returns IDOK (1) or IDCANCEL (2); the caller writes settings.ini after OK.
///
/// The dialog edits the settings in place: MIDI ports switch at once, the audio stream reopens on
/// Apply, and on OK when the audio settings differ from the running stream's. Cancel returns to
/// the settings the dialog opened with, reopening the MIDI ports of those and, when Apply moved
/// the stream, the stream; settings.ini then holds them again.
INT_PTR RunPreferencesDialog(HWND owner);

/// The dialog's procedure; `lParam` of WM_INITDIALOG is the dialog's session (made by
/// RunPreferencesDialog).
INT_PTR CALLBACK PreferencesDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/// Both device lists, each device's channels and the sample rates the two devices share.
void PopulateAudioControls(HWND window);
void PopulateAudioDeviceControls(HWND window);
/// Left channel: 1 to N - 1, right channel: 1 to N, for a device of N input (output) channels.
void FillInputChannelLists(HWND window, const AudioDeviceInfo& input);
void FillOutputChannelLists(HWND window, const AudioDeviceInfo& output);
/// The rates both devices support (those of the one device when the other list is empty).
void FillSampleRateList(HWND window, const AudioDeviceInfo* input, const AudioDeviceInfo* output);
/// The MIDI port lists and channels; false, with them left empty, without MIDI port objects.
bool PopulateMidiControls(HWND window);
/// The text of the combo box's selected item (UTF-8); empty when none is selected.
HeapString GetComboItemText(HWND window, int controlId);

} // namespace plugkit::app
