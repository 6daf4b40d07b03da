#pragma once

// The decisions of the Windows editor window that need no window: frame-pacing ticks, mouse
// and wheel conversion, paint regions, touch entries, key text, native menu texts and ids, and
// the native text entry's character filter. Portable, so both test trees check them.

#include "canvas/CanvasTypes.h"
#include "canvas/DirtyRectList.h"
#include "canvas/IPopupMenu.h"
#include "canvas/platform/helpers/TextConversion.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace plugkit::canvas::platform
{

// ---- Frame pacing.

/// Message the vertical-blank thread posts after each blank; wParam is the running count.
constexpr unsigned kWmVBlank = 0x0400 + 1;
/// Id of the window timer that drives the editor where no vertical-blank thread runs.
constexpr uintptr_t kDisplayTimerId = 2;
/// Sleep of the vertical-blank thread when it cannot wait for a blank.
constexpr unsigned kVBlankFallbackSleepMs = 16;
/// At most one attempt to open the display adapter per this period.
constexpr unsigned kAdapterRetryMs = 1000;
/// A vertical-blank wait shorter than this did not wait for a blank at all.
constexpr double kShortestBlankWaitMs = 1.0;

/// Period of the display timer: floor(1000 / fps) ms, 15 ms when that is under 20. A frame
/// rate of zero or less means 60.
int DisplayTimerPeriodMs(int fps);

/// What a display tick does.
enum class TickAction : int
{
    Skip = 0, ///< a slow frame asked to wait for a later blank
    Stale,    ///< a later blank was already counted: this message is out of date
    Run,      ///< act on this tick
    kNumTickActions
};

/// Decides a `WM_VBLANK` tick with count `vblankCount` while the thread has counted `latest`.
/// A pending skip-until count holds every tick until the latest count reaches it, and is
/// cleared once it has.
TickAction DecideVBlankTick(int& skipUntil, int latest, int vblankCount);

/// The skip-until count after a paint that began at blank `countAtStart` and ended when the
/// thread had counted `latestAfter`: a paint that spanned a blank waits for the one after the
/// current, so slow frames do not pile up. 0 = no skip.
int SkipUntilAfterPaint(int countAtStart, int latestAfter);

// ---- Mouse, wheel and keys.

/// Whole wheel notches of a raw `WM_MOUSEWHEEL` delta (the signed high word of wParam):
/// delta / 120, truncated toward zero, so a delta under one notch gives 0.
float WheelNotches(int16_t rawDelta);

/// `GetMessageExtraInfo` carries this signature for mouse messages that come from a pen or a
/// touch screen.
bool IsPenOrTouchExtraInfo(uintptr_t extraInfo);

/// Modifiers of a mouse message: the button and key bits of its wParam, alt from the keyboard.
IMouseModifiers MouseModifiersFromWParam(uintptr_t wParam, bool altDown);

/// What `ToUnicode` wrote for a key: `count` UTF-16 units in `units` (negative for a dead key).
/// True when the key makes one character or none, written to `utf8` as UTF-8 (empty for none);
/// false for a dead key or more than one character, which the editor does not take.
bool KeyTextFromUnicode(int count, const WideChar* units, char utf8[5]);

// ---- Pixels and editor units.

/// A rectangle of device pixels (right and bottom exclusive).
struct PixelRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

/// Editor units of a device-pixel rectangle at total scale `scale`: left and top rounded down,
/// right and bottom rounded up.
IBounds PixelRectToBounds(const PixelRect& r, float scale);
/// Device pixels of an editor rectangle at `scale`, widened outward to whole pixels.
PixelRect BoundsToPixelRect(const IBounds& r, float scale);

/// The areas a paint draws: one per rectangle of the update region when they were all read
/// (`rects`, `count` of them), else the region's bounding `box`; in editor units at `scale`.
void CollectPaintBounds(
    const PixelRect* rects, int count, const PixelRect& box, float scale, DirtyRectList& out);

// ---- Touch.

/// The `GetSystemMetrics(SM_DIGITIZER)` bit of a digitizer that takes several contacts at once
/// (`NID_MULTI_INPUT`). The ready bit (`NID_READY`, 0x80) says nothing about multi-touch.
constexpr int kDigitizerMultiInput = 0x40;

/// True when the digitizer flags say several contacts are taken at once.
constexpr bool DigitizerTakesMultiTouch(int digitizerFlags)
{
    return (digitizerFlags & kDigitizerMultiInput) != 0;
}

/// One entry of a `WM_TOUCH` message, as `GetTouchInputInfo` gives it.
struct TouchEntry
{
    static constexpr uint32_t kMove = 0x1;
    static constexpr uint32_t kDown = 0x2;
    static constexpr uint32_t kUp = 0x4;
    static constexpr uint32_t kMaskContactArea = 0x4;

    int64_t id = 0;
    int32_t x = 0; ///< screen position in hundredths of a pixel
    int32_t y = 0;
    uint32_t flags = 0;
    uint32_t mask = 0;
    uint32_t contactWidth = 0; ///< hundredths of a pixel, valid with kMaskContactArea
};

/// 64-bit FNV-1a over the bytes of a touch id.
struct TouchIdHash
{
    std::size_t operator()(int64_t id) const;
};

/// The last event of each touch that is down, by touch id.
using TouchMap = std::unordered_map<int64_t, IMouseEvent, TouchIdHash>;

/// The events of one `WM_TOUCH` message, delivered down, up, then drag.
struct TouchBatch
{
    std::vector<IMouseEvent> down;
    std::vector<IMouseEvent> up;
    std::vector<IMouseEvent> moves;

    void Clear();
};

/// Turns `count` entries into events in editor units (client origin at screen pixel
/// `originX`, `originY`; total scale `scale`) and follows the touches in `map`. A move's delta
/// is from the touch's last event; a move of a touch that never went down has delta 0 and is
/// then followed.
void ProcessTouchEntries(const TouchEntry* entries,
                         int count,
                         int originX,
                         int originY,
                         float scale,
                         TouchMap& map,
                         TouchBatch& out);

// ---- Native popup menus.

/// Item texts are cut to this many characters after numbering.
constexpr int kMaxMenuItemChars = 50;
/// Menus with this many items or more get no column breaks.
constexpr int kMaxColumnBreakItems = 1280;

/// The text a native menu shows for item `index` (from 0): numbered by `prefix`, cut to 50
/// characters (never inside a UTF-8 sequence), every '&' doubled so it shows as itself.
std::string NativeMenuItemText(const char* text, int index, IPopupMenu::EPrefix prefix);

/// True when item `index` starts a new column.
bool NativeMenuColumnBreak(int nItems, int itemsPerColumn, int index);

/// The menu holding the item with native id `id` and its `index` there. Ids run over the
/// whole tree from `offset`: a menu takes one id per item, then its submenus in item order
/// take the following ids. `offset` moves past every menu searched. Null when none holds it.
IPopupMenu* FindMenuItemById(int id, int& index, int& offset, IPopupMenu& menu);

// ---- Native text entry.

/// Whether the entry of a parameter of `paramType` (`IParam::EParamType`; -1 for no parameter)
/// takes character `ch`. Whole-number types take digits and signs, doubles also '.';
/// backspace always passes.
bool TextEntryAcceptsChar(int paramType, char16_t ch);

} // namespace plugkit::canvas::platform
