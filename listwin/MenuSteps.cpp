#include "listwin/MenuSteps.h"

#include "toolbox/core/StringTable.h"
#include "toolbox/core/Strings.h"
#include "toolbox/gui/Menus.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::int16_t kDeleteCommand = 305;
constexpr std::int16_t kCreateCommand = 401;
constexpr std::int16_t kRevertPackageCommand = 403;
constexpr int kMenuTextList = 1300;

struct WindowMenuEntry {
    WindowPtr window;
    std::string title;
};

struct StepState {
    bool deleteEnabled = false;
    std::vector<WindowMenuEntry> windows; // as listed by the last rebuild
};

StepState& steps() {
    static StepState s;
    return s;
}

void setText(MenuEnableRecord& rec, const Str255& text) {
    std::snprintf(rec.text, sizeof rec.text, "%s", text.str().c_str());
    rec.textChanged = true;
}

} // namespace

void enablingPreStep(MenuEnableRecord& rec) {
    switch (rec.command) {
    case kDeleteCommand:
        steps().deleteEnabled = false;
        break;
    case kCreateCommand:
        setText(rec, GetIndString(kMenuTextList, 1)); // "Create New Package"
        break;
    case kRevertPackageCommand:
        setText(rec, GetIndString(kMenuTextList, 6)); // "Revert This Package"
        break;
    case kWindowMenuID:
        rebuildWindowMenu();
        rec.enabled = !rec.modalDialogUp;
        break;
    default:
        break;
    }
}

void enablingPostStep(const MenuEnableRecord& rec) {
    if (rec.command == kDeleteCommand) steps().deleteEnabled = rec.enabled;
}

bool runEnablingSteps(WindowPtr w, MenuEnableRecord& rec, HandlerProc decide) {
    enablingPreStep(rec);
    bool decided = decide ? decide(w, rec) : false;
    enablingPostStep(rec);
    return decided;
}

bool isApplicationCommand(std::int16_t command) {
    return (command >= 200 && command <= 299) ||
           (command >= kWindowMenuID && command <= kWindowMenuID + kMaxWindowMenuEntries) ||
           command == 600 || command == 32050;
}

bool deleteEnabled() {
    return steps().deleteEnabled;
}

void rebuildWindowMenu() {
    std::vector<WindowMenuEntry>& list = steps().windows;
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

    MenuHandle menu = GetMenu(kWindowMenuID);
    if (!menu) return;
    const int wanted = list.empty() ? 1 : static_cast<int>(list.size());
    while (CountMItems(menu) > wanted)
        DeleteMenuItem(menu, CountMItems(menu));
    while (CountMItems(menu) < wanted)
        AppendMenuItem(menu, "-", kFirstWindowCommand);
    if (list.empty()) {
        SetMenuItemText(menu, 1, "None");
        SetMenuItemCommand(menu, 1, kFirstWindowCommand);
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
        SetMenuItemCommand(menu, i, static_cast<std::int16_t>(kWindowMenuID + i));
        SetItemMark(menu, i, e.window == front);
        EnableMenuItem(menu, i);
    }
}

int windowMenuCount() {
    return static_cast<int>(steps().windows.size());
}

WindowPtr windowMenuWindow(std::int16_t command) {
    const int i = command - kWindowMenuID;
    const auto& list = steps().windows;
    if (i < 1 || i > static_cast<int>(list.size())) return nullptr;
    // The window may have gone since the menu was built.
    for (WindowPtr w = GetNextWindow(nullptr, 7); w; w = GetNextWindow(w, 7))
        if (w == list[i - 1].window) return w;
    return nullptr;
}

bool handleDeleteKey(WindowPtr w, std::int16_t key, bool backspace) {
    if (key != kKeyDelete && !(backspace && key == kKeyBackspace)) return false;
    RunMenuEnabling();
    if (!deleteEnabled()) return false;
    WindowMessage msg;
    msg.kind = wmMenuCommand;
    msg.command = kDeleteCommand;
    SendWindowMessage(w, msg);
    return true;
}
