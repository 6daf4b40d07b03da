#include "canvas/IPopupMenu.h"

namespace plugkit::canvas
{

IPopupMenu::Item::Item(const char* text, int flags, int tag)
    : mText(text ? text : "")
    , mFlags(flags)
    , mTag(tag)
{
}

IPopupMenu::Item::Item(const char* text, IPopupMenu* submenu, int flags, int tag)
    : mText(text ? text : "")
    , mSubmenu(submenu)
    , mFlags(flags)
    , mTag(tag)
{
}

IPopupMenu::Item::~Item() = default;

void IPopupMenu::Item::SetChecked(bool checked)
{
    mFlags = checked ? (mFlags | kChecked) : (mFlags & ~kChecked);
}

IPopupMenu::IPopupMenu(const char* rootTitle,
                       std::initializer_list<const char*> texts,
                       IPopupMenuFunc func)
    : mFunc(std::move(func))
    , mRootTitle(rootTitle ? rootTitle : "")
{
    mItems.reserve(texts.size());
    for (const char* text : texts)
        AddItem(text);
}

IPopupMenu::~IPopupMenu()
{
    Clear(false);
}

IPopupMenu::Item* IPopupMenu::AddItem(Item* item)
{
    if (!item)
        return nullptr;
    mItems.emplace_back(item);
    return item;
}

IPopupMenu::Item* IPopupMenu::AddItem(const char* text, int flags, int tag)
{
    return AddItem(new Item(text, flags, tag));
}

IPopupMenu::Item* IPopupMenu::AddItem(const char* text, IPopupMenu* submenu, int flags, int tag)
{
    return AddItem(new Item(text, submenu, flags, tag));
}

IPopupMenu::Item* IPopupMenu::AddSeparator()
{
    return AddItem(new Item("", kSeparator));
}

IPopupMenu::Item* IPopupMenu::GetItem(int index) const
{
    if (index < 0 || index >= NItems())
        return nullptr;
    return mItems[static_cast<std::size_t>(index)].get();
}

const char* IPopupMenu::GetItemText(int index) const
{
    const Item* item = GetItem(index);
    return item ? item->GetText() : "";
}

int IPopupMenu::GetIndexOfItem(const Item* item) const
{
    for (int i = 0; i < NItems(); ++i)
        if (mItems[static_cast<std::size_t>(i)].get() == item)
            return i;
    return -1;
}

void IPopupMenu::Clear(bool resetEverything)
{
    if (resetEverything)
    {
        mChosenItemIdx = -1;
        mPrefix = EPrefix::None;
    }
    while (!mItems.empty())
        mItems.pop_back();
}

void IPopupMenu::ExecFunction()
{
    if (mFunc)
        mFunc(this);
}

} // namespace plugkit::canvas
