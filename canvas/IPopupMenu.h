#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace plugkit::canvas
{

class IPopupMenu;

/// Runs when the user has chosen from a menu; receives the menu that holds the choice.
using IPopupMenuFunc = std::function<void(IPopupMenu*)>;

/// A platform-independent popup menu: a title, items that may open submenus, per-item
/// flags and tags, a numbering style and the index of the chosen item. A menu owns its
/// items and every item owns its submenu, so destroying a menu destroys the whole tree.
class IPopupMenu
{
public:
    /// Item flags, combined as a bit set.
    enum ItemFlags : int
    {
        kNoFlags = 0,
        kGreyed = 1,        ///< shown dimmed
        kNotSelectable = 2, ///< shown, but cannot be chosen
        kChecked = 4,       ///< shown with a check mark
        kSeparator = 8,     ///< a dividing line; its text is not shown
    };

    /// How item texts are numbered when shown, counting from 1.
    enum class EPrefix : int
    {
        None = 0,        ///< "text"
        OneDigit = 1,    ///< "%1d: %s"
        TwoDigits = 2,   ///< "%02d: %s"
        ThreeDigits = 3, ///< "%03d: %s"
        kNumPrefixes
    };

    class Item
    {
    public:
        /// A null text gives an empty text.
        explicit Item(const char* text, int flags = kNoFlags, int tag = -1);
        /// Takes ownership of `submenu` (may be null).
        Item(const char* text, IPopupMenu* submenu, int flags = kNoFlags, int tag = -1);
        ~Item();
        Item(const Item&) = delete;
        Item& operator=(const Item&) = delete;

        const char* GetText() const { return mText.c_str(); }
        void SetText(const char* text) { mText = text ? text : ""; }
        int GetFlags() const { return mFlags; }
        void SetFlags(int flags) { mFlags = flags; }
        int GetTag() const { return mTag; }
        void SetTag(int tag) { mTag = tag; }
        bool GetChecked() const { return (mFlags & kChecked) != 0; }
        void SetChecked(bool checked);
        bool GetEnabled() const { return (mFlags & kGreyed) == 0; }
        bool GetSelectable() const { return (mFlags & (kNotSelectable | kSeparator)) == 0; }
        bool GetIsSeparator() const { return (mFlags & kSeparator) != 0; }
        IPopupMenu* GetSubmenu() const { return mSubmenu.get(); }
        /// Replaces (and destroys) the submenu; takes ownership of `submenu`.
        void SetSubmenu(IPopupMenu* submenu) { mSubmenu.reset(submenu); }

    private:
        std::string mText;
        std::unique_ptr<IPopupMenu> mSubmenu;
        int mFlags = kNoFlags;
        int mTag = -1;
    };

    IPopupMenu() = default;
    /// One item per text, in order, with no flags and tag -1.
    IPopupMenu(const char* rootTitle,
               std::initializer_list<const char*> texts,
               IPopupMenuFunc func = nullptr);
    ~IPopupMenu();
    IPopupMenu(const IPopupMenu&) = delete;
    IPopupMenu& operator=(const IPopupMenu&) = delete;

    /// Appends an item and takes ownership of it; returns it.
    Item* AddItem(Item* item);
    Item* AddItem(const char* text, int flags = kNoFlags, int tag = -1);
    /// Appends an item that opens `submenu` (owned from now on).
    Item* AddItem(const char* text, IPopupMenu* submenu, int flags = kNoFlags, int tag = -1);
    Item* AddSeparator();

    int NItems() const { return static_cast<int>(mItems.size()); }
    /// Null outside 0 .. NItems() - 1.
    Item* GetItem(int index) const;
    /// Empty text outside the range.
    const char* GetItemText(int index) const;
    /// The index of `item` in this menu, -1 when it is not one of its items.
    int GetIndexOfItem(const Item* item) const;

    /// Destroys every item, last to first; with `resetEverything` also forgets the choice
    /// and the numbering. The title and the completion function stay.
    void Clear(bool resetEverything = true);

    int GetChosenItemIdx() const { return mChosenItemIdx; }
    void SetChosenItemIdx(int index) { mChosenItemIdx = index; }
    /// The chosen item, null when nothing (or an index outside the menu) is chosen.
    Item* GetChosenItem() const { return GetItem(mChosenItemIdx); }

    EPrefix GetPrefix() const { return mPrefix; }
    void SetPrefix(EPrefix prefix) { mPrefix = prefix; }
    int GetItemsPerColumn() const { return mItemsPerColumn; }
    void SetItemsPerColumn(int count) { mItemsPerColumn = count > 0 ? count : 0; }

    const char* GetRootTitle() const { return mRootTitle.c_str(); }
    void SetRootTitle(const char* title) { mRootTitle = title ? title : ""; }

    void SetFunction(IPopupMenuFunc func) { mFunc = std::move(func); }
    const IPopupMenuFunc& GetFunction() const { return mFunc; }
    /// Runs the completion function with this menu, when one is set.
    void ExecFunction();

private:
    int mItemsPerColumn = 0;
    EPrefix mPrefix = EPrefix::None;
    int mChosenItemIdx = -1;
    std::vector<std::unique_ptr<Item>> mItems;
    IPopupMenuFunc mFunc;
    std::string mRootTitle;
};

} // namespace plugkit::canvas
