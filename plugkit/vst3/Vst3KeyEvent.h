#pragma once

#include "canvas/CanvasTypes.h"

#include <cstdint>

namespace plugkit
{

/// The layout's virtual key of a character, as `VkKeyScanExA` gives it: the key in the low
/// byte, the shift state above, -1 when the layout has no key for it.
using VkKeyScanFunc = int16_t (*)(char character);

/// The layout's virtual key of `character` (`VkKeyScanExA` with the calling thread's layout);
/// -1 on systems without one.
int16_t ScanKeyOfCharacter(char character);

/// The identity of the host whose keys are filtered: Reaper passes every key to the plug-in
/// and acts on none of those the editor claims, so only the space bar goes to the editor.
constexpr int kVst3SpaceKeyCode = 7;
/// VST3 key codes from here on carry an ASCII character from '0' on: 128 is '0', 145 is 'A'.
constexpr int kVst3FirstAsciiKeyCode = 128;
/// The character, and the virtual key, of an ASCII key code: code - 80.
constexpr int kVst3AsciiKeyCodeOffset = kVst3FirstAsciiKeyCode - '0';

/// The toolkit's key event of a VST3 key event (`character`, `keyCode`, `modifiers` as the
/// host gives them). Text is the character when it is one byte of UTF-8, else empty. A
/// character of 0 is taken from an ASCII key code (code - 80) or the space key. The virtual
/// key comes from the key-code table; codes without one (0 and "equals") look the text's
/// character up in the keyboard layout through `scan` (0 when it has no key).
canvas::IKeyEvent
Vst3KeyToKeyEvent(char16_t character, int16_t keyCode, int16_t modifiers, VkKeyScanFunc scan);

} // namespace plugkit
