// Windows, child panes, the window message protocol, controls and mouse tracking.
//
// A window record carries what the application's modules use: a window kind, a reference
// value (the module's own record), a window procedure that receives window messages, a
// handler procedure for menu enabling, a cursor kind, scroll amounts and a document size.
// Document windows live inside the frame window (App.h). A WindowPtr is also a GrafPtr: pass
// it to SetPort to draw into the window.
//
// A window procedure returns true when it has handled a message; otherwise the toolbox's
// default handling runs (DefWindowProc, which a procedure may also call itself first).
#pragma once
#include "toolbox/gui/KeyCodes.h"
#include "toolbox/gui/Quickdraw.h"
#include <cstdint>

struct WindowRecord;
using WindowPtr = WindowRecord*;
struct WindowHost;    // the host side of a window; private
struct ControlRecord; // private
using ControlHandle = ControlRecord*;

// ---- messages --------------------------------------------------------------------------------
enum : std::uint8_t {
    wmIdle = 0,          // where
    wmCreated = 1,       // sent by NewWindow / NewChildPane before they return
    wmCloseRequest = 2,  // default: DisposeWindow
    wmDispose = 3,       // the window is being disposed of (its panes first)
    wmActivate = 4,      // active
    wmResize = 6,        // the content size changed
    wmUpdate = 7,        // area (local); the area was erased to the background first
    wmMouseDown = 8,     // button, shift, option, where, when
    wmDoubleClick = 10,  // as wmMouseDown
    wmKeyDown = 11,      // key, special, shift, option
    wmScrollBar = 13,    // part, bar, thumb; default: scroll by the line or page amount
    wmScrollTo = 14,     // position; default: scroll the content there
    wmMenuCommand = 15,  // command
    wmControlClick = 17, // item
    wmEndModal = 19      // item
};

// Scroll bar parts (wmScrollBar).
enum : std::int16_t {
    sbLineUp = 0,
    sbLineDown = 1,
    sbPageUp = 2,
    sbPageDown = 3,
    sbThumbTrack = 4,   // the thumb is being dragged
    sbThumbPosition = 5 // the thumb was released
};

struct WindowMessage {
    std::uint8_t kind = wmIdle;
    Point where{};            // wmIdle, wmMouseDown, wmDoubleClick: local coordinates
    std::uint8_t button = 0;  // 0 left, 1 right, 2 middle
    bool shift = false;       // Shift held
    bool option = false;      // Control held
    bool active = false;      // wmActivate: true activate, false deactivate
    Rect area{};              // wmUpdate: bounding rectangle of the area to draw (local)
    KeyCode key = kKeyNone;   // wmKeyDown: key code
    bool special = false;     // wmKeyDown: arrows, paging, Home, End, Delete, function keys
    std::int16_t part = 0;    // wmScrollBar: sbLineUp ... sbThumbPosition
    std::int16_t bar = 0;     // wmScrollBar: 0 vertical, 1 horizontal
    std::int32_t thumb = 0;   // wmScrollBar: native thumb position (ControlValueForThumb)
    Point position{};         // wmScrollTo: the local point to show at the top left
    std::int16_t command = 0; // wmMenuCommand
    OSErr err = 0;          // wmMenuCommand: the command's error, set by the procedure that ran it
    std::int16_t item = 0;  // wmControlClick, wmEndModal
    std::uint32_t when = 0; // milliseconds (the input event's timestamp)
    void* data = nullptr;   // free for dialog procedures
};

// Menu enabling record, handed to handler procedures. enabled is preset to true; text holds
// the item's text (its label, or the menu's title), and writing a different zero-terminated
// string into it gives the item that text. A stored text with a backquote sets the key
// equivalent too; without one the item keeps its key equivalent.
struct MenuEnableRecord {
    std::int16_t command = 0;
    bool enabled = true;
    char text[256]{};
    bool modalDialogUp = false;
};

using WindowProc = bool (*)(WindowPtr w, WindowMessage& msg);
using HandlerProc = bool (*)(WindowPtr w, MenuEnableRecord& rec); // w nullptr: the application

// ---- the window record -----------------------------------------------------------------------
// Read the fields freely; change them through the calls below (they keep the host in step).
struct WindowRecord : GrafPort {
    std::int16_t windowKind = 0;
    std::uint8_t windowClass = 0; // 0 for every window the application creates
    void* refCon = nullptr;
    WindowProc proc = nullptr;
    HandlerProc handler = nullptr;
    std::int16_t cursorKind = arrowCursor;    // arrowCursor or iBeamCursor
    std::int16_t scrollLine = 16;             // pixels per line of the scroll bar's arrows
    std::int16_t scrollPage = 0;              // pixels per page; 0: the view height less a line
    std::int32_t docWidth = 0, docHeight = 0; // document size; 0: the window scrolls itself
    // Size limits of the content: top = minimum height, left = minimum width,
    // bottom = maximum height, right = maximum width.
    Rect growLimits{64, 64, 32767, 32767};
    WindowPtr owner = nullptr; // the owning window (a pane's window; a window's owner)
    bool isPane = false;
    bool visible = false;
    WindowHost* winHost = nullptr; // owned by the toolbox (GrafPort::host is the port's)
};

// ---- windows ---------------------------------------------------------------------------------
// Style codes of document windows.
enum : std::int16_t {
    kSmallDocumentStyle = 10, // close box only
    kListDocumentStyle = 11,  // minimize and close, no maximize box
    kDocumentStyle = 15       // minimize, maximize and close
};
inline const WindowPtr kInFront = reinterpret_cast<WindowPtr>(-1);

// Creates a hidden document window. bounds: the client area in the frame's document area
// coordinates, nullptr for the default bounds. Sends wmCreated before returning. nullptr when
// the window cannot be made. behind: kInFront (or nullptr for behind every window).
WindowPtr NewWindow(std::int16_t style, const Rect* bounds, const char* title, WindowPtr behind,
                    std::int16_t kind, void* refCon, WindowProc proc);
// Disposes of the window: the window and then its panes get wmDispose, then everything goes.
void DisposeWindow(WindowPtr w);
void ShowWindow(WindowPtr w);
void HideWindow(WindowPtr w);
void SelectWindow(WindowPtr w); // brings to front and activates (shows a hidden window too)

Rect GetDefaultWindowBounds(std::int16_t style); // cascades by one step on each call
bool RectFitsOnScreen(const Rect& bounds, std::int16_t style);
// Where a window of style opened from reference cascades: reference's bounds moved 18 pixels
// right and down, when they fit on the screen; otherwise (or without a reference) fallback.
Rect CascadeBounds(WindowPtr reference, std::int16_t style, const Rect& fallback);
void MoveSizeWindow(WindowPtr w, const Rect& bounds); // client area, document area coordinates
Rect GetWindowBounds(WindowPtr w);                    // client area, document area coordinates
Rect GetContentRect(WindowPtr w); // the window's own view (below panes, left of the scroll
                                  // bar), document area coordinates
Rect GetPortRect(WindowPtr w);    // the same area in the window's local coordinates
void SetWindowGrowLimits(WindowPtr w, const Rect& limits); // see WindowRecord::growLimits

void SetWTitle(WindowPtr w, const char* title);
void GetWTitle(WindowPtr w, char* title, int size = 256); // zero-terminated, cut to size - 1

// Front-to-back traversal: the window after w (nullptr: the front window), visible windows
// first, then hidden ones. classFilter 0 to 5 takes one class, 6 classes 0 and 1, 7 every class.
WindowPtr GetNextWindow(WindowPtr w, int classFilter = 7);
WindowPtr FrontWindow(); // the front visible window, nullptr when none

void SetWindowKind(WindowPtr w, std::int16_t kind);
void SetWRefCon(WindowPtr w, void* refCon);
void SetWindowClass(WindowPtr w, std::uint8_t windowClass);
void SetWindowOwner(WindowPtr w, WindowPtr owner);
// Sets the handler procedure of w, or of the application when w is nullptr; returns the
// previous one.
HandlerProc SetWindowHandler(WindowPtr w, HandlerProc handler);
HandlerProc GetWindowHandler(WindowPtr w);
void SetWindowCursor(WindowPtr w, std::int16_t kind);
void SetWindowScrollAmounts(WindowPtr w, std::int16_t line, std::int16_t page);
void SetWindowDocSize(WindowPtr w, std::int32_t width, std::int32_t height);

// Scrolling of windows with a document size: sends wmScrollTo (the default handling scrolls
// the content so that local point position is at the top left of the view).
void ScrollWindowTo(WindowPtr w, std::int16_t h, std::int16_t v);
Point GetWindowScroll(WindowPtr w);             // local point at the view's top left
bool IsRectVisible(WindowPtr w, const Rect& r); // wholly inside the view (local)
void RevealRect(WindowPtr w, const Rect& r);    // scrolls the least to make r visible

// Invalidation: the rectangle (local coordinates; nullptr: the whole window) is added to the
// window's update region; the event loop erases it and sends wmUpdate. InvalRect works on the
// current port's window.
void InvalWindowRect(WindowPtr w, const Rect* r);
void InvalRect(const Rect* r);
void ValidWindowRect(WindowPtr w, const Rect* r);
void UpdateWindow(WindowPtr w); // delivers its pending update now

// A child pane docked at the top of w with the given height and its own procedure. The pane
// is a WindowRecord (isPane, owner = w): it has its own port, messages (created, update,
// mouse down, double click, control click, dispose) and background colour; the window's own
// view (its port) starts below the panes. Shown with its window; disposed of with w. Keys
// always go to the window's procedure.
WindowPtr NewChildPane(WindowPtr w, std::int16_t height, WindowProc proc, void* refCon = nullptr);
WindowPtr GetWindowPane(WindowPtr w, int index = 0); // nullptr when there is no such pane

// ---- message delivery ------------------------------------------------------------------------
// Hands msg to w's procedure and, when it returns false, to DefWindowProc, with w's port current
// (the previous port is current again afterwards). Returns whether the procedure handled it.
bool SendWindowMessage(WindowPtr w, WindowMessage& msg);
// The default handling: wmCloseRequest disposes of the window; wmActivate moves the keyboard
// focus; wmScrollBar scrolls by the line or page amount (or to the thumb); wmScrollTo scrolls
// the content. Returns true when it did something.
bool DefWindowProc(WindowPtr w, WindowMessage& msg);

// ---- controls --------------------------------------------------------------------------------
enum : std::int16_t { pushButProc = 0, checkBoxProc = 1, radioButProc = 2, scrollBarProc = 16 };

// The window's vertical scroll bar as a control (every document window has one).
ControlHandle GetWindowScrollBar(WindowPtr w);
// Adds a push button, check box or radio button to a window or pane at r (local
// coordinates); a click sends wmControlClick with item. Radio buttons of one window form a
// group. font nullptr: the port's text style.
ControlHandle NewControl(WindowPtr w, const Rect& r, const char* title, std::int16_t procID,
                         std::int16_t item, const TextStyle* font = nullptr);
ControlHandle GetWindowControl(WindowPtr w, std::int16_t item); // nullptr when none
void DisposeControl(ControlHandle c);
// Values may range above the native 32760: the maximum is then scaled onto the native range
// and values are scaled back. Check boxes and radio buttons: 0 off, 1 on.
std::int32_t GetControlValue(ControlHandle c);
void SetControlValue(ControlHandle c, std::int32_t value); // clamped to 0 .. maximum
std::int32_t GetControlMaximum(ControlHandle c);
void SetControlMaximum(ControlHandle c, std::int32_t maximum); // the value is clamped again
std::int32_t ControlValueForThumb(ControlHandle c, std::int32_t thumb); // from msg.thumb
void HiliteControl(ControlHandle c, std::int16_t state);                // 0 enabled, 255 disabled
void SetControlTitle(ControlHandle c, const char* title);

// ---- tracking --------------------------------------------------------------------------------
// While a mouse button is down, these pump the event loop: a tracking loop reads the pointer
// with GetMouse and runs while StillDown. Only input and paint are handled meanwhile; timers
// and socket notifiers wait until the loop has returned.
bool StillDown();            // the button that made the last press is still down
bool Button();               // any mouse button is down
void GetMouse(Point* where); // local coordinates of the current port
// Scrolls w by one line towards the pointer when it lies above or below area (local; nullptr:
// the view), and sideways when it lies left or right of area while the document is wider than
// the view: sends wmScrollBar sbLineUp or sbLineDown (bar 0 vertical, 1 horizontal) through the
// window's procedure, once for each direction. True when it did.
bool AutoScrollWindow(WindowPtr w, const Rect* area = nullptr);

// ---- keyboard state, time, beep --------------------------------------------------------------
bool ControlKeyDown();
bool ShiftKeyDown();
void SetKeypadTranslation(bool on); // keypad decimal key gives kKeyDelete when on
std::uint32_t TickCount();          // milliseconds since start-up
std::uint32_t GetDblTime();         // the host's double-click time in milliseconds
void SysBeep(std::int16_t duration = 1);
inline void MessageBeep(unsigned = 0) {
    SysBeep(1);
}
