// IComponent and IEditController both declare setState and getState with the same
// signature, so one object that is both could not give them different bodies. Every
// translation unit that sees IEditController sees its pair under these names
// instead; the vtable layout is untouched, only the source names differ.
// Included first (the SDK's edit-controller sources are compiled with it forced in).
#pragma once

#include "pluginterfaces/vst/ivstcomponent.h"

#define setState setControllerState
#define getState getControllerState
