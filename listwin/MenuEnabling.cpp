#include "listwin/MenuEnabling.h"

#include "toolbox/core/StringTable.h"
#include "toolbox/gui/Menus.h"

#include <cstdio>

namespace {

bool gDeleteEnabled = false;
bool gDeleteDecided = false; // set when a post-step saw 305 since the last deleteKey started
WindowMenuBuilder gWindowMenuBuilder = nullptr;

void setText(MenuEnableRecord& rec, int stringId) {
    std::snprintf(rec.text, sizeof rec.text, "%.*s", int(GetStringEntry(stringId).size()),
                  GetStringEntry(stringId).data());
    rec.textChanged = true;
}

} // namespace

void enablingPreStep(MenuEnableRecord& rec) {
    switch (rec.command) {
    case kCmdDelete:
        gDeleteEnabled = false;
        break;
    case kCmdCreate:
        setText(rec, 1300); // "Create New Package"
        break;
    case kCmdRevertPackage:
        setText(rec, 1305); // "Revert This Package"
        break;
    case kCmdWindowMenu:
        if (gWindowMenuBuilder) gWindowMenuBuilder();
        rec.enabled = !rec.modalDialogUp;
        break;
    default:
        break;
    }
}

void enablingPostStep(const MenuEnableRecord& rec) {
    if (rec.command == kCmdDelete) {
        gDeleteEnabled = rec.enabled;
        gDeleteDecided = true;
    }
}

bool deleteEnabled() {
    return gDeleteEnabled;
}

void setWindowMenuBuilder(WindowMenuBuilder builder) {
    gWindowMenuBuilder = builder;
}

bool deleteKey(WindowPtr w, std::int16_t key, bool backspace) {
    if (key != kKeyDelete && !(backspace && key == kKeyBackspace)) return false;
    gDeleteDecided = false;
    RunMenuEnabling();
    if (!gDeleteDecided) {
        // No menu bar holds Delete (or no procedure decided it in the pass): ask the handler
        // chain directly, the Edit menu's title first as a pass would.
        MenuEnableRecord title;
        title.command = kCmdEditMenu;
        AskMenuEnabling(title);
        MenuEnableRecord rec;
        rec.command = kCmdDelete;
        AskMenuEnabling(rec);
        if (!gDeleteDecided) gDeleteEnabled = rec.enabled;
    }
    if (gDeleteEnabled) {
        WindowMessage msg;
        msg.kind = wmMenuCommand;
        msg.command = kCmdDelete;
        SendWindowMessage(w, msg);
    }
    return true;
}
