#include "toolbox/gui/EnablingSteps.h"

#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/Menus.h"

namespace {

EnablingPreStep gPreStep = nullptr;
EnablingPostStep gPostStep = nullptr;

// The command SendCommandIfEnabled waits for, and what the last question about it decided.
std::int16_t gWatchedCommand = 0;
bool gWatchedDecided = false;
bool gWatchedEnabled = false;

} // namespace

void SetEnablingSteps(EnablingPreStep pre, EnablingPostStep post) {
    gPreStep = pre;
    gPostStep = post;
}

void RunEnablingPreStep(MenuEnableRecord& rec) {
    if (gPreStep) gPreStep(rec);
}

void RunEnablingPostStep(const MenuEnableRecord& rec) {
    if (gPostStep) gPostStep(rec);
    if (gWatchedCommand != 0 && rec.command == gWatchedCommand) {
        gWatchedDecided = true;
        gWatchedEnabled = rec.enabled;
    }
}

bool SendCommandIfEnabled(WindowPtr w, std::int16_t command, std::int16_t menu) {
    gWatchedCommand = command;
    gWatchedDecided = false;
    gWatchedEnabled = false;
    RunMenuEnabling();
    if (!gWatchedDecided) {
        MenuEnableRecord title;
        title.command = menu;
        AskMenuEnabling(title);
        MenuEnableRecord rec;
        rec.command = command;
        AskMenuEnabling(rec);
    }
    const bool enabled = gWatchedEnabled;
    gWatchedCommand = 0;
    if (!enabled) return false;
    WindowMessage msg;
    msg.kind = wmMenuCommand;
    msg.command = command;
    SendWindowMessage(w, msg);
    CommandErrorAlert(msg.err); // as the menu dispatcher shows it
    return true;
}
