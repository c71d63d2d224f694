// Test harness for the windows layer: drives the real code without a human.
//
// A library of its own that only tests (and benchmarks) link. Install puts it in place through
// the host layer's hook points (toolbox/gui/HostHooks.h). Everything here goes through the same
// paths as real input: delivered messages get the default handling, and the Qt input events
// reach the same widgets a user's mouse and keyboard would.
#pragma once
#include "toolbox/gui/Windows.h"
#include "toolbox/harness/DialogHarness.h"
#include <Qt>
#include <cstdint>
#include <vector>

class QWidget;

namespace harness {

// Installs the harness: from then on no modal window waits for a person (DialogHarness.h), the
// pointer of tracking loops and the Control and Shift keys are the harness's, and beeps are
// counted instead of sounded. Without a pointer script the button counts as released.
void Install();

// Keyboard state seen by ControlKeyDown/ShiftKeyDown (and by messages built from events that
// carry no modifiers of their own). ResetKeys returns to the real keyboard.
void SetControlKey(bool down);
void SetShiftKey(bool down);
void ResetKeys();

// Scripts the pointer that the next tracking loop sees: points in pixels of w's view (not
// scrolled). GetMouse reads the current point, StillDown moves to the next one; the button
// goes up when the path ends. An empty path clears the script.
void ScriptPointer(WindowPtr w, const std::vector<Point>& path);
bool PointerScripted();

// A message through the real dispatch (procedure, then the default handling).
bool Deliver(WindowPtr w, WindowMessage& msg);
// Real Qt input to the window's view (or pane). Points are view pixels; timestamps in ms.
void SendMousePress(WindowPtr w, Point at, Qt::MouseButton button = Qt::LeftButton,
                    Qt::KeyboardModifiers mods = Qt::NoModifier, std::uint32_t when = 0);
void SendMouseRelease(WindowPtr w, Point at, Qt::MouseButton button = Qt::LeftButton,
                      Qt::KeyboardModifiers mods = Qt::NoModifier, std::uint32_t when = 0);
void SendClick(WindowPtr w, Point at, Qt::KeyboardModifiers mods = Qt::NoModifier,
               std::uint32_t when = 0, Qt::MouseButton button = Qt::LeftButton);
// The event Qt sends for a second press that it takes for a double click.
void SendDoubleClickEvent(WindowPtr w, Point at, Qt::KeyboardModifiers mods = Qt::NoModifier,
                          std::uint32_t when = 0);
void SendKey(WindowPtr w, int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier,
             const char* text = nullptr, std::uint32_t when = 0); // text in UTF-8
// The widget that shows w (its view, or the pane's widget).
QWidget* ViewWidget(WindowPtr w);

// Delivers every pending update message and handles waiting events.
void ProcessUpdates();

// Tells the program that it has come to the front, as the host does when the user switches to
// it from another program.
void SendApplicationActivation();

// System beeps counted since the last reset.
int BeepCount();
void ResetBeeps();

// The colour at a local point of a port's image, as 0xRRGGBB (0 outside the image).
std::uint32_t PixelAt(GrafPtr port, Point local);

} // namespace harness
