// The toolbox start-up, the frame window, the application's handlers and the event loop.
//
// The program's entry calls ToolboxMain with the application name; it creates the host
// application and the frame window (a main window with the menu bar and the document area that
// holds every document window) and calls the application's main routine, which installs its
// handlers and runs RunEventLoop until the application quits.
#pragma once
#include "toolbox/gui/Windows.h"
#include <cstdint>

#include <functional>

class QMainWindow;
class QMdiArea;
class QWidget;

// ---- the application's handlers --------------------------------------------------------------
// true: handled; a command that fails stores its error in *err for the dispatcher to show.
using MenuCommandHandler = bool (*)(std::int16_t command, OSErr* err);
using OpenDocumentHandler = void (*)(const char* path);
using QuitRequestHandler = void (*)();
using QuitHook = bool (*)(); // false abandons the quit

// Each returns the handler it replaces. The menu enabling handler of the application is its
// handler procedure: SetWindowHandler(nullptr, proc) (Windows.h).
MenuCommandHandler SetMenuCommandHandler(MenuCommandHandler h);
OpenDocumentHandler SetOpenDocumentHandler(OpenDocumentHandler h);
QuitRequestHandler SetQuitRequestHandler(QuitRequestHandler h);
QuitHook SetQuitHook(QuitHook h);

// The application's commands that the routing itself acts on: close sends the front window a
// close request, quit runs QuitApplication when nobody handles it. 0 stands for none.
struct StandardCommands {
    std::int16_t close = 0;
    std::int16_t quit = 0;
};
void SetStandardCommands(const StandardCommands& commands);

// ---- start-up --------------------------------------------------------------------------------
// Creates the host application (when there is none), the toolbox and the frame window titled
// appName and calls appMain. The frame is shown with showState (10: the system default) when
// the event loop starts, so a run that ends during start-up never shows one. Returns what
// appMain returns.
int ToolboxMain(int& argc, char** argv, const char* appName, int showState,
                int (*appMain)(int argc, char** argv));
// The toolbox alone, for an existing host application (tests): creates the frame (hidden).
bool InitToolbox(const char* appName);
void ShowFrame(int showState = 10);
// Disposes of every window and the frame.
void DisposeToolbox();
const char* GetApplicationName();

QMainWindow* GetFrameWindow();
QMdiArea* GetFrameDocumentArea();

// ---- the event loop --------------------------------------------------------------------------
// Runs until QuitEventLoop; returns the exit code given to it.
int RunEventLoop();
void QuitEventLoop(int exitCode = 0);
// Handles the events that are waiting (and pending updates), without blocking.
void ProcessPendingEvents();

// ---- routing ---------------------------------------------------------------------------------
// A menu command: the standard close command goes to the front window as a close request; any
// other command first to the front window's procedure (wmMenuCommand), then to the
// application's menu command handler; the standard quit command, when nobody handles it, runs
// QuitApplication. Returns whether it was handled. This is the one place that shows a command's
// error: the one a window procedure leaves in the message (WindowMessage::err) or the
// application's handler in *err goes to CommandErrorAlert.
bool DispatchMenuCommand(std::int16_t command);
// The same, from the event loop a moment later.
void PostMenuCommand(std::int16_t command);
// The quit routine: the quit hook (which may abandon), then a close request to each remaining
// window, front first (a window that stays open abandons the quit); then the event loop ends.
// Returns false when the quit was abandoned. The frame's close box runs it.
bool QuitApplication();
// A quit request from outside (the session ending): the application's quit request handler,
// or QuitApplication when it has none.
void RequestQuit();
// Queues one path for the open document handler; the frame comes to the foreground (and is
// restored when minimised) before the handler runs.
void QueueOpenDocument(const char* path);

// ---- ports on plain widgets ------------------------------------------------------------------
// A widget showing a port of its own (for user-drawn items of dialogs): draw is called with the
// port current and the area (local) erased to the background whenever part of it needs drawing;
// InvalRect with that port current asks for it again. The port is disposed of with the widget.
QWidget* NewPortWidget(QWidget* parent, std::function<void(GrafPtr port, const Rect& area)> draw);
GrafPtr GetWidgetPort(QWidget* widget); // nullptr for other widgets
