// The test harness: scripted pointer and keyboard state, real Qt input, beeps, pixel probes.
#include "toolbox/harness/Harness.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/HostHooks.h"
#include "toolbox/gui/HostPrivate.h"
#include <QApplication>
#include <QApplicationStateChangeEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

enum class Script { none, running, ended };

struct PointerScript {
    Script state = Script::none;
    WindowPtr window = nullptr;
    std::vector<Point> path;
    size_t index = 0;
};

PointerScript& Ptr() {
    static PointerScript s;
    return s;
}

// Keyboard overrides: -1 the real keyboard, 0 up, 1 down.
int gControlKey = -1;
int gShiftKey = -1;
int gBeeps = 0;

std::uint32_t gClock = 100000; // for presses sent without a timestamp: never a double click

QPoint ViewPoint(Point p) {
    return QPoint(p.h, p.v);
}

void SendMouse(QEvent::Type type, WindowPtr w, Point at, Qt::MouseButton button,
               Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, std::uint32_t when) {
    QWidget* v = harness::ViewWidget(w);
    if (!v) return;
    if (when == 0) when = (gClock += 10000);
    const QPointF local = ViewPoint(at);
    QMouseEvent e(type, local, v->mapToGlobal(local), button, buttons, mods);
    e.setTimestamp(when);
    QApplication::sendEvent(v, &e);
}

bool ScriptedPointer(QPoint* global) {
    PointerScript& s = Ptr();
    if (s.state == Script::none) return false;
    if (global) {
        QWidget* v = harness::ViewWidget(s.window);
        const Point p = s.path[s.index];
        *global = v ? v->mapToGlobal(QPoint(p.h, p.v)) : QPoint(p.h, p.v);
    }
    return true;
}

bool ScriptedStillDown(bool* down) {
    PointerScript& s = Ptr();
    if (s.state == Script::none) return false;
    if (s.state == Script::running && s.index + 1 < s.path.size()) {
        ++s.index;
        if (down) *down = true;
        return true;
    }
    s.state = Script::ended;
    host::Input().buttonDown = false;
    if (down) *down = false;
    return true;
}

bool ScriptedButton(bool* down) {
    PointerScript& s = Ptr();
    if (s.state == Script::none) return false;
    *down = s.state == Script::running;
    return true;
}

void PressStarted() {
    if (Ptr().state == Script::ended) Ptr() = PointerScript{};
}

// The input source the harness installs.
bool StillDownHook(bool* down) {
    if (ScriptedStillDown(down))
        host::RunUpdatePass();
    else
        *down = false; // no script: the button counts as released
    return true;
}

bool ButtonHook(bool* down) {
    if (!ScriptedButton(down)) *down = false;
    return true;
}

bool ModifierHook(Qt::KeyboardModifier key, bool* down) {
    const int o = key == Qt::ControlModifier ? gControlKey
                  : key == Qt::ShiftModifier ? gShiftKey
                                             : -1;
    if (o < 0) return false;
    *down = o;
    return true;
}

bool BeepHook() {
    ++gBeeps;
    return true;
}

} // namespace

namespace harness {

void Install() {
    InstallDialogHarness();
    InputSource source;
    source.stillDown = StillDownHook;
    source.button = ButtonHook;
    source.pointer = ScriptedPointer;
    source.pressStarted = PressStarted;
    source.modifierDown = ModifierHook;
    source.beep = BeepHook;
    SetInputSource(source);
}

void SetControlKey(bool down) {
    gControlKey = down;
}
void SetShiftKey(bool down) {
    gShiftKey = down;
}
void ResetKeys() {
    gControlKey = -1;
    gShiftKey = -1;
}

void ScriptPointer(WindowPtr w, const std::vector<Point>& path) {
    PointerScript& s = Ptr();
    s = PointerScript{};
    if (path.empty() || !w) return;
    s.state = Script::running;
    s.window = w;
    s.path = path;
}

bool PointerScripted() {
    return Ptr().state != Script::none;
}

bool Deliver(WindowPtr w, WindowMessage& msg) {
    return SendWindowMessage(w, msg);
}

void SendMousePress(WindowPtr w, Point at, Qt::MouseButton button, Qt::KeyboardModifiers mods,
                    std::uint32_t when) {
    SendMouse(QEvent::MouseButtonPress, w, at, button, button, mods, when);
}

void SendMouseRelease(WindowPtr w, Point at, Qt::MouseButton button, Qt::KeyboardModifiers mods,
                      std::uint32_t when) {
    SendMouse(QEvent::MouseButtonRelease, w, at, button, Qt::NoButton, mods, when);
}

void SendClick(WindowPtr w, Point at, Qt::KeyboardModifiers mods, std::uint32_t when,
               Qt::MouseButton button) {
    if (when == 0) when = (gClock += 10000);
    SendMousePress(w, at, button, mods, when);
    SendMouseRelease(w, at, button, mods, when + 1);
}

void SendDoubleClickEvent(WindowPtr w, Point at, Qt::KeyboardModifiers mods, std::uint32_t when) {
    SendMouse(QEvent::MouseButtonDblClick, w, at, Qt::LeftButton, Qt::LeftButton, mods, when);
}

void SendKey(WindowPtr w, int qtKey, Qt::KeyboardModifiers mods, const char* text,
             std::uint32_t when) {
    QWidget* v = ViewWidget(w);
    if (!v) return;
    QKeyEvent e(QEvent::KeyPress, qtKey, mods, text ? QString::fromUtf8(text) : QString());
    e.setTimestamp(when);
    QApplication::sendEvent(v, &e);
}

QWidget* ViewWidget(WindowPtr w) {
    return host::IsLiveWindow(w) ? w->winHost->view : nullptr;
}

void ProcessUpdates() {
    QCoreApplication::processEvents();
    host::RunUpdatePass();
}

void SendApplicationActivation() {
    QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
    QCoreApplication::sendEvent(qApp, &inactive);
    QApplicationStateChangeEvent active(Qt::ApplicationActive);
    QCoreApplication::sendEvent(qApp, &active);
}

int BeepCount() {
    return gBeeps;
}
void ResetBeeps() {
    gBeeps = 0;
}

std::uint32_t PixelAt(GrafPtr port, Point local) {
    PortHost* h = host::Host(port);
    if (!h || h->image.isNull()) return 0;
    h->end();
    const qreal dpr = h->image.devicePixelRatio();
    const QPoint p((local.h - h->origin.x()) * dpr, (local.v - h->origin.y()) * dpr);
    if (!h->image.rect().contains(p)) return 0;
    return h->image.pixel(p) & 0xFFFFFF;
}

} // namespace harness
