#pragma once
// Menu resources as data. A menu is a list of top-level entries; each popup entry holds its
// items. Context menus are menus whose first popup is the one shown.

#include <span>

struct SMenuEntry
{
    enum EKind
    {
        Item,
        Separator,
        Popup,
    };
    EKind kind = Item;
    const char16_t* pszText = u""; // "&File", "&Close\tAlt-F4"; accelerator after a tab
    int nId = 0;                   // command id of an item; 0 for separators and popups
    std::span<const SMenuEntry> children = {};
};

struct SMenuResource
{
    int nId = 0;
    std::span<const SMenuEntry> entries;
};

namespace MenuTable {

// The menu resource with this id, or null.
const SMenuResource* Find(int nId);

} // namespace MenuTable
