#pragma once

// The stand-alone program's resource and command identifiers (StandaloneResourceId), shared by
// the resource script, which windres reads through its C preprocessor, and the program. Plain
// macros, as resource scripts know no other constants.

#define IDR_ACCELERATORS 40000
#define IDD_MAIN 40001
#define IDD_PREFERENCES 40002
#define IDI_APP_ICON 40003
#define IDR_MAIN_MENU 40004

// Menu commands.
#define ID_ABOUT 40005
#define ID_PREFERENCES 40006
#define ID_QUIT 40007
#define ID_READ_MANUAL 40008
#define ID_LIVE_EDIT 40025
#define ID_SHOW_DRAWN_AREA 40026
#define ID_SHOW_FPS 40027
#define ID_SHOW_CONTROL_BOUNDS 40028
#define ID_SAVE_SCREENSHOT 40029

// Controls of the Preferences dialog.
#define IDC_DRIVER 40009
#define IDC_AUDIO_IN_DEVICE 40010
#define IDC_AUDIO_OUT_DEVICE 40011
#define IDC_BUFFER_SIZE 40012
#define IDC_SAMPLE_RATE 40013
#define IDC_AUDIO_IN_LEFT 40014
#define IDC_AUDIO_IN_RIGHT 40015
#define IDC_AUDIO_OUT_RIGHT 40016
#define IDC_AUDIO_OUT_LEFT 40017
#define IDC_MIDI_IN_DEVICE 40018
#define IDC_MIDI_OUT_DEVICE 40019
#define IDC_MIDI_IN_CHANNEL 40020
#define IDC_MIDI_OUT_CHANNEL 40021
#define IDC_DRIVER_CONFIG 40022
#define IDC_APPLY 40024
