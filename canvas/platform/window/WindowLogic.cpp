#include "canvas/platform/window/WindowLogic.h"

#include "plugkit/IParam.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace plugkit::canvas::platform
{

int DisplayTimerPeriodMs(int fps)
{
    if (fps <= 0)
        fps = 60;
    const int period = 1000 / fps;
    return period < 20 ? 15 : period;
}

TickAction DecideVBlankTick(int& skipUntil, int latest, int vblankCount)
{
    if (skipUntil != 0 && skipUntil > latest)
        return TickAction::Skip;
    skipUntil = 0;
    return vblankCount != latest ? TickAction::Stale : TickAction::Run;
}

int SkipUntilAfterPaint(int countAtStart, int latestAfter)
{
    return latestAfter != countAtStart ? latestAfter + 1 : 0;
}

float WheelNotches(int16_t rawDelta)
{
    return static_cast<float>(rawDelta / 120);
}

bool IsPenOrTouchExtraInfo(uintptr_t extraInfo)
{
    return (extraInfo & 0xFFFFFF00u) == 0xFF515700u;
}

IMouseModifiers MouseModifiersFromWParam(uintptr_t wParam, bool altDown)
{
    IMouseModifiers mod;
    mod.L = (wParam & 0x0001) != 0; // MK_LBUTTON
    mod.R = (wParam & 0x0002) != 0; // MK_RBUTTON
    mod.S = (wParam & 0x0004) != 0; // MK_SHIFT
    mod.C = (wParam & 0x0008) != 0; // MK_CONTROL
    mod.A = altDown;
    return mod;
}

bool KeyTextFromUnicode(int count, const WideChar* units, char utf8[5])
{
    std::memset(utf8, 0, 5);
    if (count == 0)
        return true;
    if (count < 0 || count > 2)
        return false;
    // One character: one unit, or a surrogate pair outside the basic plane.
    const WideChar* p = units;
    const uint32_t cp = DecodeUtf16(p, units + count);
    if (p != units + count || cp == kReplacementChar)
        return false;
    EncodeUtf8(cp, utf8);
    return true;
}

IBounds PixelRectToBounds(const PixelRect& r, float scale)
{
    return IBounds(std::floor(static_cast<float>(r.left) / scale),
                   std::floor(static_cast<float>(r.top) / scale),
                   std::ceil(static_cast<float>(r.right) / scale),
                   std::ceil(static_cast<float>(r.bottom) / scale));
}

PixelRect BoundsToPixelRect(const IBounds& r, float scale)
{
    PixelRect p;
    p.left = static_cast<int>(std::floor(r.L * scale));
    p.top = static_cast<int>(std::floor(r.T * scale));
    p.right = static_cast<int>(std::ceil(r.R * scale));
    p.bottom = static_cast<int>(std::ceil(r.B * scale));
    return p;
}

void CollectPaintBounds(
    const PixelRect* rects, int count, const PixelRect& box, float scale, DirtyRectList& out)
{
    if (rects == nullptr || count <= 0)
    {
        out.Add(PixelRectToBounds(box, scale));
        return;
    }
    for (int i = 0; i < count; ++i)
        out.Add(PixelRectToBounds(rects[i], scale));
}

std::size_t TouchIdHash::operator()(int64_t id) const
{
    uint64_t hash = 0xcbf29ce484222325ull;
    unsigned char bytes[sizeof id];
    std::memcpy(bytes, &id, sizeof id);
    for (unsigned char b : bytes)
    {
        hash ^= b;
        hash *= 0x100000001b3ull;
    }
    return static_cast<std::size_t>(hash);
}

void TouchBatch::Clear()
{
    down.clear();
    up.clear();
    moves.clear();
}

void ProcessTouchEntries(const TouchEntry* entries,
                         int count,
                         int originX,
                         int originY,
                         float scale,
                         TouchMap& map,
                         TouchBatch& out)
{
    for (int i = 0; i < count; ++i)
    {
        const TouchEntry& entry = entries[i];
        IMouseEvent event;
        event.x = static_cast<float>(entry.x / 100 - originX) / scale;
        event.y = static_cast<float>(entry.y / 100 - originY) / scale;
        event.ms.touchID = entry.id;
        event.ms.touchRadius = (entry.mask & TouchEntry::kMaskContactArea) != 0
                                   ? static_cast<float>(entry.contactWidth)
                                   : 0.f;
        if (entry.flags & TouchEntry::kDown)
        {
            map[entry.id] = event;
            out.down.push_back(event);
        }
        else if (entry.flags & TouchEntry::kUp)
        {
            map.erase(entry.id);
            out.up.push_back(event);
        }
        else if (entry.flags & TouchEntry::kMove)
        {
            auto found = map.find(entry.id);
            if (found != map.end())
            {
                event.dX = event.x - found->second.x;
                event.dY = event.y - found->second.y;
            }
            map[entry.id] = event;
            out.moves.push_back(event);
        }
    }
}

std::string NativeMenuItemText(const char* text, int index, IPopupMenu::EPrefix prefix)
{
    if (text == nullptr)
        text = "";
    std::string numbered;
    const char* format = nullptr;
    switch (prefix)
    {
    case IPopupMenu::EPrefix::OneDigit:
        format = "%1d: %s";
        break;
    case IPopupMenu::EPrefix::TwoDigits:
        format = "%02d: %s";
        break;
    case IPopupMenu::EPrefix::ThreeDigits:
        format = "%03d: %s";
        break;
    default:
        break;
    }
    if (format != nullptr)
    {
        const int size = std::snprintf(nullptr, 0, format, index + 1, text);
        numbered.resize(static_cast<std::size_t>(std::max(size, 0)) + 1);
        std::snprintf(numbered.data(), numbered.size(), format, index + 1, text);
        numbered.resize(numbered.size() - 1);
        // Cut after the 50th character; continuation bytes belong to the character before.
        int chars = 0;
        std::size_t end = 0;
        for (; end < numbered.size(); ++end)
        {
            const auto byte = static_cast<unsigned char>(numbered[end]);
            if ((byte & 0xC0) != 0x80 && chars++ == kMaxMenuItemChars)
                break;
        }
        numbered.resize(end);
    }
    else
    {
        numbered = text;
    }

    std::string result;
    result.reserve(numbered.size() + 4);
    for (char c : numbered)
    {
        result.push_back(c);
        if (c == '&')
            result.push_back('&');
    }
    return result;
}

bool NativeMenuColumnBreak(int nItems, int itemsPerColumn, int index)
{
    return nItems < kMaxColumnBreakItems && itemsPerColumn > 0 && index > 0 &&
           index % itemsPerColumn == 0;
}

IPopupMenu* FindMenuItemById(int id, int& index, int& offset, IPopupMenu& menu)
{
    const int start = offset;
    offset += menu.NItems();
    if (id >= start && id < offset)
    {
        index = id - start;
        return &menu;
    }
    for (int i = 0; i < menu.NItems(); ++i)
    {
        IPopupMenu* submenu = menu.GetItem(i)->GetSubmenu();
        if (submenu == nullptr)
            continue;
        if (IPopupMenu* found = FindMenuItemById(id, index, offset, *submenu))
            return found;
    }
    return nullptr;
}

bool TextEntryAcceptsChar(int paramType, char16_t ch)
{
    if (ch == u'\b')
        return true;
    const bool wholeNumber = ch == u'+' || ch == u'-' || (ch >= u'0' && ch <= u'9');
    switch (paramType)
    {
    case IParam::kTypeBool:
    case 2: // whole numbers
    case IParam::kTypeEnum:
        return wholeNumber;
    case IParam::kTypeDouble:
        return wholeNumber || ch == u'.';
    default:
        return true;
    }
}

} // namespace plugkit::canvas::platform
