// The program's menus as data: the menu bar (menu 1), the popup menus (menu 2) and every menu
// they list. An item's stored text holds "&" before its mnemonic letter and, after a backquote,
// the letter of its key equivalent ("Cu&t`X"); a separator is command 0 with an empty text.
#pragma once
#include <cstdint>
#include <span>

struct MenuItemData {
    std::int16_t command; // command id; in the menu lists 1 and 2, the id of the listed menu
    const char* text;     // stored text
};

struct MenuData {
    std::int16_t id;
    const char* title;
    std::span<const MenuItemData> items;
};

constexpr std::int16_t kMenuBarList = 1;   // lists the menus of the menu bar, in order
constexpr std::int16_t kPopupMenuList = 2; // lists the popup menus

// The menu with that id, or nullptr.
const MenuData* FindMenuData(int id);
// Every menu, lists included, in id order.
std::span<const MenuData> AllMenuData();
