#include "shell/MenuSteps.h"

#include "resources/Commands.h"
#include "shell/WindowMenu.h"
#include "toolbox/core/StringTable.h"
#include "toolbox/gui/EnablingSteps.h"

#include <cstdio>

namespace {

void setText(MenuEnableRecord& rec, StringId stringId) {
    const std::string_view text = GetStringEntry(stringId);
    std::snprintf(rec.text, sizeof rec.text, "%.*s", int(text.size()), text.data());
}

void menuPreStep(MenuEnableRecord& rec) {
    switch (rec.command) {
    case kCmdCreate:
        setText(rec, StringId::createNewPackage);
        break;
    case kCmdRevertPackage:
        setText(rec, StringId::revertThisPackage);
        break;
    case kCmdWindowMenu:
        rebuildWindowMenu();
        rec.enabled = !rec.modalDialogUp;
        break;
    default:
        break;
    }
}

} // namespace

void installMenuSteps() {
    SetEnablingSteps(menuPreStep, nullptr);
}
