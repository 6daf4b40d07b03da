#include "plugkit/vst3/Vst3KeyEvent.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace plugkit
{
namespace
{

constexpr int kEqualsKeyCode = 57;

/// Windows virtual keys of the VST3 key codes 1 to 56.
constexpr int32_t kVirtualKeys[] = {
    8,   9,   12,  13,  19,  27,  32,  34,  35,  36,  37,  38,  39,  40,  33,  34,  41,  42,  13,
    44,  45,  46,  47,  96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110,
    111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 144, 145, 16,  17,  18};
static_assert(sizeof(kVirtualKeys) / sizeof(kVirtualKeys[0]) == 56);

/// The codes that stand for the ASCII characters from '0' up to the last one, DEL.
bool IsAsciiKeyCode(int code)
{
    return code >= kVst3FirstAsciiKeyCode && code - kVst3AsciiKeyCodeOffset < 0x80;
}

} // namespace

int16_t ScanKeyOfCharacter(char character)
{
#if defined(_WIN32)
    return VkKeyScanExA(character, GetKeyboardLayout(0));
#else
    (void)character;
    return -1;
#endif
}

canvas::IKeyEvent
Vst3KeyToKeyEvent(char16_t character, int16_t keyCode, int16_t modifiers, VkKeyScanFunc scan)
{
    const int code = static_cast<uint16_t>(keyCode);
    if (character == 0)
    {
        if (IsAsciiKeyCode(code))
            character = static_cast<char16_t>(code - kVst3AsciiKeyCodeOffset);
        else if (code == kVst3SpaceKeyCode)
            character = u' ';
    }

    canvas::IKeyEvent event;
    if (character != 0 && character < 0x80)
        event.utf8[0] = static_cast<char>(character);

    if (code == 0 || code == kEqualsKeyCode)
    {
        const int16_t scanned = event.utf8[0] != 0 && scan != nullptr ? scan(event.utf8[0]) : -1;
        event.VK = scanned == -1 ? 0 : (scanned & 0xFF);
    }
    else if (code <= 56)
    {
        event.VK = kVirtualKeys[code - 1];
    }
    else if (IsAsciiKeyCode(code))
    {
        event.VK = code - kVst3AsciiKeyCodeOffset;
    }

    event.S = (modifiers & 0x1) != 0;
    event.A = (modifiers & 0x2) != 0;
    event.C = (modifiers & 0x4) != 0;
    return event;
}

} // namespace plugkit
