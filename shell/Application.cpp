#include "shell/Application.h"

#include "listwin/ListWindow.h"
#include "listwin/PackageClipboard.h"
#include "model/PackageFile.h"
#include "shell/FileCommands.h"
#include "shell/MenuSteps.h"
#include "shell/WindowMenu.h"
#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Dialogs.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/gui/SingleInstance.h"
#include "toolbox/gui/TextEdit.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

// The application's own rule, for what no window decides.
bool decideApplicationItem(MenuEnableRecord& rec) {
    if (rec.modalDialogUp) {
        rec.enabled = false;
        return true;
    }
    const std::int16_t c = rec.command;
    if (c == kCmdHelpMenu || c == kCmdAbout) {
        rec.enabled = true;
    } else if (c == kCmdWindowMenu) {
        // as the shared pre-step left it (MenuSteps.h)
    } else if (c >= kCmdFirstWindow && c <= kCmdLastWindow) {
        rec.enabled = c - kCmdWindowMenu <= windowMenuCount();
    } else if (commandInMenu(c, kCmdFileMenu)) {
        fileMenuEnabling(rec);
    } else {
        rec.enabled = false;
    }
    return true;
}

} // namespace

bool applicationEnabling(WindowPtr, MenuEnableRecord& rec) {
    return decideApplicationItem(rec);
}

bool applicationCommand(std::int16_t command, OSErr* err) {
    if (command == kCmdAbout) {
        showAboutBox();
        return true;
    }
    if (commandInMenu(command, kCmdFileMenu)) return fileCommand(command, err);
    if (command >= kCmdFirstWindow && command <= kCmdLastWindow) {
        if (WindowPtr w = windowMenuWindow(command)) SelectWindow(w);
        return true;
    }
    return false;
}

void openDocument(const char* path) {
    if (path && *path) openFile(path, NonPackageFile::ignore);
}

void quitRequest() {
    PostMenuCommand(kCmdExit);
}

bool quitHook() {
    // First the toolbox's own windows (class 1), front first, one at a time.
    for (WindowPtr w = GetNextWindow(nullptr, 1); w;) {
        WindowMessage close;
        close.kind = wmCloseRequest;
        SendWindowMessage(w, close);
        WindowPtr next = GetNextWindow(nullptr, 1);
        if (next == w) return false; // it stayed open
        w = next;
    }
    if (closeAllFiles(CloseMode::askToSave) != CloseResult::closed) return false;
    disposePackageClipboard(); // it lives only in the program
    return true;
}

OSErr startApplication() {
    // The toolbox: the menu bar from the resources.
    InstallMenuBar();
    SetQuitHook(quitHook);
    SetStandardCommands({.close = kCmdClose, .quit = kCmdExit});

    // The application's handlers.
    SetWindowHandler(nullptr, applicationEnabling);
    SetMenuCommandHandler(applicationCommand);
    SetOpenDocumentHandler(openDocument);
    SetQuitRequestHandler(quitRequest);
    installMenuSteps();
    // The entry pool every package entry comes from.
    if (OSErr err = initEntryPool()) return err;

    TEFromScrap();
    return noErr;
}

int applicationMain(int argc, char** argv) {
    (void)argc;
    (void)argv;
    if (!RunSingleInstanceGuard(kInstanceGuardName, QCoreApplication::arguments())) return 1;
    // The memory manager needs no start-up: handles come from the process heap.
    if (OSErr err = startApplication()) {
        ErrorAlert(err);
        ReleaseSingleInstanceGuard();
        return 1;
    }
    const int code = RunEventLoop();
    ReleaseSingleInstanceGuard();
    return code;
}
