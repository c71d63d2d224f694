#include "shell/WindowMenu.h"

#include "toolbox/core/Strings.h"
#include "toolbox/gui/Menus.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct WindowMenuEntry {
    WindowPtr window;
    std::string title;
};

// The windows as the last rebuild listed them, in menu order.
std::vector<WindowMenuEntry>& listed() {
    static std::vector<WindowMenuEntry> list;
    return list;
}

} // namespace

void rebuildWindowMenu() {
    std::vector<WindowMenuEntry>& list = listed();
    list.clear();
    for (WindowPtr w = GetNextWindow(nullptr, 7);
         w && static_cast<int>(list.size()) < kMaxWindowMenuEntries; w = GetNextWindow(w, 7)) {
        if (w->isPane || !w->visible) continue;
        char title[256];
        GetWTitle(w, title, sizeof title);
        list.push_back({w, title});
    }
    WindowPtr front = FrontWindow();
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
        return NaturalCompare(a.title, b.title) < 0;
    });

    MenuHandle menu = GetMenu(kCmdWindowMenu);
    if (!menu) return;
    const int wanted = list.empty() ? 1 : static_cast<int>(list.size());
    while (CountMItems(menu) > wanted)
        DeleteMenuItem(menu, CountMItems(menu));
    while (CountMItems(menu) < wanted)
        AppendMenuItem(menu, "-", kCmdFirstWindow);
    if (list.empty()) {
        SetMenuItemText(menu, 1, "None");
        SetMenuItemCommand(menu, 1, kCmdFirstWindow);
        SetItemMark(menu, 1, false);
        DisableMenuItem(menu, 1);
        return;
    }
    for (int i = 1; i <= wanted; ++i) {
        const WindowMenuEntry& e = list[i - 1];
        // A title is shown as it is: "&" and the backquote are not menu notation here.
        std::string label;
        for (char c : e.title) {
            if (c == '&') label += '&';
            if (c != '`') label += c;
        }
        SetMenuItemText(menu, i, label.c_str());
        SetMenuItemCommand(menu, i, static_cast<std::int16_t>(kCmdWindowMenu + i));
        SetItemMark(menu, i, e.window == front);
        EnableMenuItem(menu, i);
    }
}

int windowMenuCount() {
    return static_cast<int>(listed().size());
}

WindowPtr windowMenuWindow(std::int16_t command) {
    const int i = command - kCmdWindowMenu;
    const auto& list = listed();
    if (i < 1 || i > static_cast<int>(list.size())) return nullptr;
    // The window may have gone since the menu was built.
    for (WindowPtr w = GetNextWindow(nullptr, 7); w; w = GetNextWindow(w, 7))
        if (w == list[i - 1].window) return w;
    return nullptr;
}
