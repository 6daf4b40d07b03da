// ICanvas: value prompts, popup menus, text entry and the parameter context menu.
#include "canvas/ICanvas.h"

#include "canvas/IControl.h"
#include "canvas/ITextEntryControl.h"
#include "canvas/platform/helpers/TextConversion.h"
#include "plugkit/HeapString.h"
#include "plugkit/ICanvasEditorDelegate.h"
#include "plugkit/IParam.h"

#if defined(PLUGKIT_VST3)
#include "canvas/IVst3ContextMenuHost.h"
#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#endif

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace plugkit::canvas
{

namespace
{
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

/// Equal in ASCII letter case, whatever the locale.
bool EqualsIgnoringCase(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

/// The value typed as `text` for `param`: one of its display texts, or a finite number (read the
/// same way in every locale) followed by nothing but blanks and, optionally, the parameter's unit
/// label in any letter case. The number is negated when the parameter displays values negated.
bool ParseTypedValue(const IParam& param, const char* text, double& value)
{
    if (!text)
        return false;
    std::string typed(text);
    while (!typed.empty() && IsBlank(typed.back()))
        typed.pop_back();
    const size_t first = typed.find_first_not_of(" \t");
    typed.erase(0, first == std::string::npos ? typed.size() : first);

    for (int i = 0; i < param.NDisplayTexts(); ++i)
    {
        double textValue = 0.0;
        const char* displayText = param.GetDisplayTextAtIdx(i, &textValue);
        if (displayText && typed == displayText)
        {
            value = textValue;
            return true;
        }
    }

    const char* begin = typed.c_str();
    const char* end = begin + typed.size();
    if (begin < end && *begin == '+')
        ++begin;
    double number = 0.0;
    const auto [rest, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || rest == begin || !std::isfinite(number))
        return false;
    std::string suffix(rest, end);
    const size_t unit = suffix.find_first_not_of(" \t");
    suffix.erase(0, unit == std::string::npos ? suffix.size() : unit);
    if (!suffix.empty() &&
        !(param.GetUnitLabel()[0] && EqualsIgnoringCase(suffix, param.GetUnitLabel())))
        return false;
    value = (param.GetFlags() & IParam::kFlagNegateDisplay) ? -number : number;
    return true;
}
} // namespace

// ---- Value prompts, menus and text entry

void ICanvas::PromptForControlValue(IControl* control, const IBounds& bounds, int valIdx)
{
    if (!control)
        return;
    const IParam* param = control->GetParam(valIdx);
    if (!param)
        return;
    const bool isMenu = param->Type() == IParam::kTypeEnum ||
                        (param->Type() == IParam::kTypeBool && param->NDisplayTexts() > 0);
    HeapString current;
    if (isMenu)
    {
        param->GetDisplay(current, true);
        mPromptMenu.Clear(true);
        for (int i = 0; i < param->NDisplayTexts(); ++i)
        {
            const char* text = param->GetDisplayTextAtIdx(i);
            const bool checked = text && std::strcmp(text, current.Get()) == 0;
            mPromptMenu.AddItem(text, checked ? IPopupMenu::kChecked : IPopupMenu::kNoFlags);
        }
        mPromptMenu.SetRootTitle(param->GetName());
        CreatePopupMenu(*control, mPromptMenu, bounds, valIdx);
        return;
    }
    param->GetDisplay(current, false);
    std::string text = current.Get();
    if (control->GetPromptShowsParamLabel())
    {
        text += ' ';
        text += param->GetUnitLabel();
    }
    CreateTextEntry(*control, control->GetText(), bounds, text.c_str(), valIdx);
}

IPopupMenu* ICanvas::CreatePopupMenu(
    IControl& control, IPopupMenu& menu, const IBounds& bounds, int valIdx, bool isContextMenu)
{
    // A press that opened the menu has its gesture closed here; the chosen value is sent
    // inside a gesture of its own.
    ReleaseMouseCapture();
    mPopupOwner = &control;
    mPopupValIdx = valIdx;
    mPopupIsContextMenu = isContextMenu;
    bool isAsync = false;
    IPopupMenu* chosen = CreatePlatformPopupMenu(menu, bounds, isAsync);
    if (isAsync)
        return nullptr;
    DeliverPopupMenuResult(chosen);
    return chosen;
}

void ICanvas::DeliverPopupMenuResult(IPopupMenu* chosen)
{
    IControl* owner = mPopupOwner;
    if (!owner)
        return;
    // Cleared first: the owner may open the next menu from its handler.
    mPopupOwner = nullptr;
    if (mPopupIsContextMenu)
        owner->OnContextMenuSelection(chosen ? chosen->GetChosenItemIdx() : -1);
    else
        owner->OnPopupMenuSelection(chosen && chosen->GetChosenItemIdx() != -1 ? chosen : nullptr,
                                    mPopupValIdx);
}

void ICanvas::CreateTextEntry(
    IControl& control, const ITextStyle& style, const IBounds& bounds, const char* text, int valIdx)
{
    mTextEntryOwner = &control;
    mTextEntryValIdx = valIdx;
    const int paramIdx =
        (valIdx >= 0 && valIdx < control.NVals()) ? control.GetParamIdx(valIdx) : kNoParameter;
    if (mTextEntryControl)
        mTextEntryControl->CreateTextEntry(
            paramIdx, style, bounds, control.GetTextEntryLength(), text);
    else
        CreatePlatformTextEntry(paramIdx, style, bounds, control.GetTextEntryLength(), text);
    control.SetDirty(false, kNoValIdx);
}

void ICanvas::SetControlValueAfterTextEdit(const char* text)
{
    IControl* owner = mTextEntryOwner;
    if (!owner)
        return;
    mTextEntryOwner = nullptr;
    const int valIdx = mTextEntryValIdx;
    const IParam* param = owner->GetParam(valIdx);
    if (!param)
    {
        owner->OnTextEntryCompletion(text ? text : "", valIdx);
        return;
    }
    // Text that is not a value of the parameter leaves it as it is.
    double value = 0.0;
    if (ParseTypedValue(*param, text, value))
        owner->SetValueFromUserInput(param->ToNormalized(value), valIdx);
}

void ICanvas::ClearTextEntryOwner()
{
    mTextEntryOwner = nullptr;
}

void ICanvas::ShowParamContextMenu(IControl* control, int paramIdx, float x, float y)
{
    mPromptMenu.Clear(true);
    if (!control)
        return;
    control->CreateContextMenu(mPromptMenu);
#if defined(PLUGKIT_VST3)
    ShowHostContextMenu(*control, paramIdx, x, y);
#else
    // The stand-alone program has no host menu: the control's own items, when it adds any, open
    // as the toolkit's menu at the click, and the choice goes back to the control.
    (void)paramIdx;
    if (mPromptMenu.NItems() > 0)
        CreatePopupMenu(*control, mPromptMenu, IBounds(x, y, x, y), kNoValIdx, true);
#endif
}

#if defined(PLUGKIT_VST3)
namespace
{
using namespace Steinberg;
using Steinberg::Vst::IContextMenuItem;

/// An editor position in host pixels (truncated; a position that is not finite reads as 0).
UCoord HostPixel(float value)
{
    return std::isfinite(value) ? static_cast<UCoord>(std::clamp(value, -1.0e9f, 1.0e9f)) : 0;
}

/// The item's UTF-8 text as the host's UTF-16 name (at most 127 units, never half a pair).
void SetItemName(IContextMenuItem& entry, const char* text)
{
    constexpr int kUnits = int(sizeof(entry.name) / sizeof(entry.name[0])) - 1;
    platform::WideChar wide[kUnits + 1] = {};
    const int32_t needed =
        platform::Utf8ToUtf16(text, -1, wide, kUnits, platform::EMalformedUtf8::Replace);
    int32_t n = std::min(needed, kUnits);
    if (n > 0 && n < needed && wide[n - 1] >= 0xD800 && wide[n - 1] < 0xDC00)
        --n;
    for (int32_t i = 0; i < n; ++i)
        entry.name[i] = static_cast<Vst::TChar>(wide[i]);
    entry.name[n] = 0;
}

/// Adds `menu`'s items to the host's menu with running tags: a separator, a group start and end
/// around a submenu's items, or a plain item (disabled when greyed or not selectable, checked).
void AddHostContextMenuItems(Vst::IContextMenu& host,
                             const IPopupMenu& menu,
                             Vst::IContextMenuTarget* target,
                             int32& tag)
{
    for (int i = 0; i < menu.NItems(); ++i)
    {
        const IPopupMenu::Item& item = *menu.GetItem(i);
        IContextMenuItem entry{};
        SetItemName(entry, item.GetText());
        if (item.GetIsSeparator())
        {
            entry.flags = IContextMenuItem::kIsSeparator;
            entry.tag = tag++;
            host.addItem(entry, target);
        }
        else if (const IPopupMenu* submenu = item.GetSubmenu())
        {
            entry.flags = IContextMenuItem::kIsGroupStart;
            entry.tag = tag++;
            host.addItem(entry, target);
            AddHostContextMenuItems(host, *submenu, target, tag);
            entry.flags = IContextMenuItem::kIsGroupEnd;
            entry.tag = tag++;
            host.addItem(entry, target);
        }
        else
        {
            entry.flags =
                (item.GetSelectable() && item.GetEnabled() ? 0 : IContextMenuItem::kIsDisabled) |
                (item.GetChecked() ? IContextMenuItem::kIsChecked : 0);
            entry.tag = tag++;
            host.addItem(entry, target);
        }
    }
}
} // namespace

void ICanvas::ShowHostContextMenu(IControl& control, int paramIdx, float x, float y)
{
    auto* host = dynamic_cast<IVst3ContextMenuHost*>(&mDelegate);
    Vst::IComponentHandler* handler = host ? host->GetHostComponentHandler() : nullptr;
    IPlugView* view = host ? host->GetEditorView() : nullptr;
    if (!handler || !view)
        return;
    FUnknownPtr<Vst::IComponentHandler3> handler3(handler);
    if (!handler3)
        return;
    const Vst::ParamID paramId = static_cast<Vst::ParamID>(paramIdx);
    IPtr<Vst::IContextMenu> menu = owned(handler3->createContextMenu(view, &paramId));
    if (!menu)
        return;
    // The host may keep the target after the menu closes: it gets the control's small target,
    // which forwards only while the control lives.
    int32 tag = 0;
    AddHostContextMenuItems(*menu, mPromptMenu, control.GetContextMenuTarget(), tag);
    const float scale = GetTotalScale();
    menu->popup(HostPixel(x * scale), HostPixel(y * scale));
}
#endif

} // namespace plugkit::canvas
