// The application: its start-up, the handlers it installs with the toolbox, and the routing of
// menu commands and menu enabling that no window claims.
#pragma once
#include "toolbox/gui/Windows.h"

#include <cstdint>
#include <string>

constexpr const char* kApplicationName = "Ortix-Kelvane";
constexpr const char* kInstanceGuardName = "Ortix-Kelvane MUTEX";
constexpr int kDefaultShowState = 10;

// The main routine the toolbox calls once the frame exists: the single-instance guard (a second
// instance hands its command line over and the process ends with 1), the start-up below, then
// the event loop until the application quits. Returns the exit code.
int applicationMain(int argc, char** argv);

// Start-up without the guard and the event loop: the menu bar, the quit hook, the application's
// handlers and the modules in their order, ending with TEFromScrap. Tests call it after the
// toolbox exists; calling it again only reinstalls the handlers. memFullErr when the entry pool
// cannot be made.
OSErr startApplication();

// The application's handlers (installed by startApplication).
bool applicationEnabling(WindowPtr w, MenuEnableRecord& rec); // the application's handler proc
// The menu command handler: whether it handled command; a command's error goes to *err.
bool applicationCommand(std::int16_t command, OSErr* err);
void openDocument(const char* path); // open document handler
void quitRequest();                  // posts Exit (208)
bool quitHook();                     // false abandons the quit

// Help > About: the About box (dialog 1004). Returns once a click closed it.
void showAboutBox();
// The version line of the About box: "Version 3.8.4  for Windows".
std::string aboutVersionText();
