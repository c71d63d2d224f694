// Input: Qt mouse and key events become window messages; the double-click rule; idle
// messages; tracking loops; the update pass that delivers update messages and puts what was
// drawn on the screen.
#include "toolbox/gui/App.h"
#include "toolbox/gui/HostHooks.h"
#include "toolbox/gui/HostPrivate.h"
#include "toolbox/gui/Windows.h"
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QStyleHints>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>
#include <set>

namespace {

std::set<PortHost*> gDirtyPorts;  // pixels to put on the screen
std::set<PortHost*> gUpdatePorts; // update regions waiting
bool gPassPosted = false;
QTimer* gIdleTimer = nullptr;

constexpr int kIdleInterval = 100; // ms between idle messages

std::uint8_t ButtonNumber(Qt::MouseButton b) {
    switch (b) {
    case Qt::RightButton:
        return 1;
    case Qt::MiddleButton:
        return 2;
    default:
        return 0;
    }
}

bool PortVisible(PortHost* h) {
    if (!h->window) return h->view && h->view->isVisible();
    WindowPtr top = host::TopWindow(h->window);
    return h->window->visible && top && top->visible;
}

void SendIdle() {
    auto& in = host::Input();
    if (in.buttonDown) return;
    WindowPtr w = FrontWindow();
    if (!w) return;
    WindowMessage m;
    m.kind = wmIdle;
    GrafPtr old = SetPort(w);
    GetMouse(&m.where);
    SetPort(old);
    m.when = TickCount();
    SendWindowMessage(w, m);
}

} // namespace

// ---- the view widget -------------------------------------------------------------------------

PortView::PortView(QWidget* parent, GrafPtr port) : QWidget(parent), port_(port) {
    if (!port_) {
        own_ = std::make_unique<GrafPort>();
        port_ = own_.get();
        port_->host = new PortHost(port_);
    }
    port_->host->view = this;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
}

PortView::~PortView() {
    if (own_) {
        delete own_->host;
        own_->host = nullptr;
    }
}

void PortView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    PortHost* h = port_ ? port_->host : nullptr;
    if (!h || h->image.isNull()) {
        p.fillRect(e->rect(), Qt::white);
        return;
    }
    h->end();
    const qreal dpr = h->image.devicePixelRatio();
    for (const QRect& r : e->region()) {
        p.drawImage(r, h->image,
                    QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr));
    }
}

void PortView::resizeEvent(QResizeEvent*) {
    // Window and pane views are sized by their window's layout; a plain view follows Qt.
    if (!own_ || !port_) return;
    PortHost* h = port_->host;
    if (h->width == width() && h->height == height()) return;
    h->resize(width(), height(), devicePixelRatioF(), port_->bkColor);
    h->updateRgn = QRegion(h->localBounds());
    host::PortHasUpdate(h);
}

void PortView::mousePressEvent(QMouseEvent* e) {
    host::HandlePress(this, e);
}
void PortView::mouseDoubleClickEvent(QMouseEvent* e) {
    host::HandlePress(this, e);
}

void PortView::mouseMoveEvent(QMouseEvent* e) {
    auto& in = host::Input();
    in.lastGlobal = e->globalPosition().toPoint();
    in.havePointer = true;
}

void PortView::mouseReleaseEvent(QMouseEvent* e) {
    auto& in = host::Input();
    in.lastGlobal = e->globalPosition().toPoint();
    in.havePointer = true;
    if (e->buttons() == Qt::NoButton || ButtonNumber(e->button()) == in.button)
        in.buttonDown = false;
}

void PortView::keyPressEvent(QKeyEvent* e) {
    host::HandleKey(this, e);
}

// The wheel scrolls the window as its scroll bar's arrows do: three lines a notch.
void PortView::wheelEvent(QWheelEvent* e) {
    WindowPtr top = host::TopWindow(window);
    if (!top) return;
    e->accept();
    wheelRest_ += e->angleDelta().y();
    const int notches = wheelRest_ / 120;
    wheelRest_ -= notches * 120;
    for (int i = 0; i < 3 * std::abs(notches) && host::IsLiveWindow(top); ++i) {
        WindowMessage m;
        m.kind = wmScrollBar;
        m.part = notches > 0 ? sbLineUp : sbLineDown;
        SendWindowMessage(top, m);
    }
}

QWidget* NewPortWidget(QWidget* parent, std::function<void(GrafPtr, const Rect&)> draw) {
    auto* v = new PortView(parent);
    v->port()->host->drawProc = std::move(draw);
    v->setFocusPolicy(Qt::NoFocus);
    return v;
}

GrafPtr GetWidgetPort(QWidget* widget) {
    auto* v = dynamic_cast<PortView*>(widget);
    return v ? v->port() : nullptr;
}

// ---- input -----------------------------------------------------------------------------------

namespace host {

InputState& Input() {
    static InputState state;
    return state;
}

void HandlePress(PortView* v, QMouseEvent* e) {
    WindowPtr w = v->window;
    if (!w) return;
    if (auto started = GetInputSource().pressStarted) started();
    auto& in = Input();
    const QPoint g = e->globalPosition().toPoint();
    const std::uint32_t when = static_cast<std::uint32_t>(e->timestamp());
    const std::uint8_t button = ButtonNumber(e->button());
    // Our own double-click rule: the second press of the same button in the same window
    // within the double-click time and less than 4 pixels away in both directions.
    const bool dbl = !in.lastWasDouble && in.lastPressWindow == w && button == in.button &&
                     when >= in.lastPressTime && when - in.lastPressTime <= GetDblTime() &&
                     std::abs(g.x() - in.lastPressGlobal.x()) < 4 &&
                     std::abs(g.y() - in.lastPressGlobal.y()) < 4;
    in.lastPressWindow = w;
    in.lastPressGlobal = g;
    in.lastPressTime = when;
    in.lastWasDouble = dbl;
    in.buttonDown = true;
    in.button = button;
    in.lastGlobal = g;
    in.havePointer = true;

    WindowPtr top = TopWindow(w);
    if (top && top != FrontWindow()) SelectWindow(top);
    if (!IsLiveWindow(w)) return;
    if (top && IsLiveWindow(top) && top->winHost->view) top->winHost->view->setFocus();

    WindowMessage m;
    m.kind = dbl ? wmDoubleClick : wmMouseDown;
    const QPoint local = e->position().toPoint() + w->GrafPort::host->origin;
    m.where = Point{static_cast<std::int16_t>(local.y()), static_cast<std::int16_t>(local.x())};
    m.button = button;
    m.shift = e->modifiers() & Qt::ShiftModifier;
    m.option = e->modifiers() & Qt::ControlModifier;
    m.when = when;
    e->accept();
    SendWindowMessage(w, m);
}

bool MapKey(int qtKey, Qt::KeyboardModifiers mods, const QString& text, KeyCode* code,
            bool* special) {
    *special = false;
    switch (qtKey) {
    case Qt::Key_Backspace:
        *code = kKeyBackspace;
        return true;
    case Qt::Key_Tab:
        *code = (mods & Qt::ShiftModifier) ? kKeyBackTab : kKeyTab;
        return true;
    case Qt::Key_Backtab:
        *code = kKeyBackTab;
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        *code = kKeyReturn;
        return true;
    case Qt::Key_Escape:
        *code = kKeyEscape;
        return true;
    default:
        break;
    }
    *special = true;
    switch (qtKey) {
    case Qt::Key_Up:
        *code = kKeyUpArrow;
        return true;
    case Qt::Key_Down:
        *code = kKeyDownArrow;
        return true;
    case Qt::Key_Right:
        *code = kKeyRightArrow;
        return true;
    case Qt::Key_Left:
        *code = kKeyLeftArrow;
        return true;
    case Qt::Key_PageUp:
        *code = kKeyPageUp;
        return true;
    case Qt::Key_PageDown:
        *code = kKeyPageDown;
        return true;
    case Qt::Key_Home:
        *code = kKeyHome;
        return true;
    case Qt::Key_End:
        *code = kKeyEnd;
        return true;
    case Qt::Key_Delete:
    case Qt::Key_Clear:
        *code = kKeyDelete;
        return true;
    default:
        break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F15) {
        *code = KeyCode(KeyNumber(kKeyF1) + (qtKey - Qt::Key_F1));
        return true;
    }
    if (qtKey == Qt::Key_Period && (mods & Qt::KeypadModifier) && Input().keypadTranslation) {
        *code = kKeyDelete;
        return true;
    }
    *special = false;
    const int c = text.isEmpty() ? -1 : FromHostChar(text[0].unicode());
    if (c < 0) return false;
    *code = KeyCode(c);
    return true;
}

void HandleKey(PortView* v, QKeyEvent* e) {
    WindowPtr top = TopWindow(v->window);
    KeyCode code = kKeyNone;
    bool special = false;
    if (!top || !MapKey(e->key(), e->modifiers(), e->text(), &code, &special)) {
        e->ignore();
        return;
    }
    e->accept();
    WindowMessage m;
    m.kind = wmKeyDown;
    m.key = code;
    m.special = special;
    m.shift = e->modifiers() & Qt::ShiftModifier;
    m.option = e->modifiers() & Qt::ControlModifier;
    m.when = static_cast<std::uint32_t>(e->timestamp());
    SendWindowMessage(top, m);
}

void StartIdle() {
    if (gIdleTimer) return;
    gIdleTimer = new QTimer(qApp);
    gIdleTimer->setInterval(kIdleInterval);
    QObject::connect(gIdleTimer, &QTimer::timeout, [] { SendIdle(); });
    gIdleTimer->start();
}

void StopIdle() {
    delete gIdleTimer;
    gIdleTimer = nullptr;
}

// ---- the update pass -------------------------------------------------------------------------

void PostUpdatePass() {
    if (gPassPosted || !qApp) return;
    gPassPosted = true;
    QMetaObject::invokeMethod(
        qApp, [] { RunUpdatePass(); }, Qt::QueuedConnection);
}

void PortDirty(PortHost* h) {
    gDirtyPorts.insert(h);
    PostUpdatePass();
}

void PortHasUpdate(PortHost* h) {
    gUpdatePorts.insert(h);
    PostUpdatePass();
}

void ForgetPort(PortHost* h) {
    gDirtyPorts.erase(h);
    gUpdatePorts.erase(h);
}

void DeliverUpdate(PortHost* h) {
    QRegion rgn = h->updateRgn & QRegion(h->localBounds());
    if (rgn.isEmpty()) {
        h->updateRgn = QRegion();
        gUpdatePorts.erase(h);
        return;
    }
    if (!PortVisible(h)) return; // kept until the window is shown
    h->updateRgn = QRegion();
    gUpdatePorts.erase(h);
    GrafPtr old = SetPort(h->port);
    h->inUpdate = true;
    h->updateClip = rgn;
    h->stateValid = false;
    {
        QPainter& p = h->begin();
        const QColor bk = toQColor(h->port->bkColor);
        for (const QRect& r : rgn)
            p.fillRect(r, bk);
        h->touch(rgn.boundingRect());
    }
    const Rect area = toRect(rgn.boundingRect());
    WindowPtr w = h->window;
    if (w) {
        WindowMessage m;
        m.kind = wmUpdate;
        m.area = area;
        SendWindowMessage(w, m);
        if (!IsLiveWindow(w)) {
            SetPort(old == w ? nullptr : old);
            return;
        }
    } else if (h->drawProc) {
        h->drawProc(h->port, area);
    }
    h->inUpdate = false;
    h->updateClip = QRegion();
    h->stateValid = false;
    SetPort(old);
}

void RunUpdatePass() {
    gPassPosted = false;
    // Updates first (they draw), then what was drawn goes to the screen.
    std::vector<PortHost*> updates(gUpdatePorts.begin(), gUpdatePorts.end());
    for (PortHost* h : updates)
        if (gUpdatePorts.count(h)) DeliverUpdate(h);
    std::vector<PortHost*> dirty(gDirtyPorts.begin(), gDirtyPorts.end());
    gDirtyPorts.clear();
    for (PortHost* h : dirty) {
        h->end();
        if (h->view && !h->dirty.isEmpty()) h->view->update(h->dirty);
        h->dirty = QRect();
    }
}

} // namespace host

// ---- tracking --------------------------------------------------------------------------------

bool StillDown() {
    bool down = false;
    if (auto source = GetInputSource().stillDown; source && source(&down)) return down;
    auto& in = host::Input();
    // Only input and paint run inside a tracking loop: timers and socket notifiers (a second
    // instance handing over its files) wait until the loop has returned, so that nothing else
    // changes the documents in the middle of a drag.
    constexpr auto kTrackingOnly =
        QEventLoop::X11ExcludeTimers | QEventLoop::ExcludeSocketNotifiers;
    QCoreApplication::processEvents(kTrackingOnly);
    if (in.buttonDown) {
        // Come back soon even when the pointer rests, so that autoscrolling goes on; what
        // arrived in the meantime is handled before the answer.
        QThread::msleep(15);
        QCoreApplication::processEvents(kTrackingOnly);
    }
    return in.buttonDown;
}

bool Button() {
    bool down = false;
    if (auto source = GetInputSource().button; source && source(&down)) return down;
    return host::Input().buttonDown || QGuiApplication::mouseButtons() != Qt::NoButton;
}

void GetMouse(Point* where) {
    if (!where) return;
    QPoint g;
    auto& in = host::Input();
    if (auto source = GetInputSource().pointer; !source || !source(&g))
        g = (in.havePointer && in.buttonDown) ? in.lastGlobal : QCursor::pos();
    PortHost* h = host::Host(GetPort());
    QPoint local;
    if (h && h->view) local = h->view->mapFromGlobal(g) + h->origin;
    *where = Point{static_cast<std::int16_t>(std::clamp(local.y(), -32768, 32767)),
                   static_cast<std::int16_t>(std::clamp(local.x(), -32768, 32767))};
}

bool AutoScrollWindow(WindowPtr w, const Rect* area) {
    if (!host::IsLiveWindow(w)) return false;
    Point p;
    GrafPtr old = SetPort(w);
    GetMouse(&p);
    SetPort(old);
    const Rect a = area ? *area : w->portRect;
    // One line towards the pointer in each direction it has left the area; sideways only while
    // the document is wider than the view.
    auto scroll = [&](std::int16_t bar, std::int16_t part) {
        WindowMessage m;
        m.kind = wmScrollBar;
        m.bar = bar;
        m.part = part;
        SendWindowMessage(w, m);
        return true;
    };
    bool scrolled = false;
    if (p.v < a.top)
        scrolled = scroll(0, sbLineUp);
    else if (p.v >= a.bottom)
        scrolled = scroll(0, sbLineDown);
    if (!host::IsLiveWindow(w) || !host::NeedsHorizontalBar(w)) return scrolled;
    if (p.h < a.left)
        scrolled = scroll(1, sbLineUp);
    else if (p.h >= a.right)
        scrolled = scroll(1, sbLineDown);
    return scrolled;
}

// ---- keyboard state, time, beep --------------------------------------------------------------

bool ControlKeyDown() {
    bool down = false;
    if (auto source = GetInputSource().modifierDown; source && source(Qt::ControlModifier, &down))
        return down;
    return QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
}

bool ShiftKeyDown() {
    bool down = false;
    if (auto source = GetInputSource().modifierDown; source && source(Qt::ShiftModifier, &down))
        return down;
    return QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier;
}

void SetKeypadTranslation(bool on) {
    host::Input().keypadTranslation = on;
}

std::uint32_t TickCount() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return static_cast<std::uint32_t>(clock.elapsed());
}

std::uint32_t GetDblTime() {
    return qApp ? static_cast<std::uint32_t>(
                      QGuiApplication::styleHints()->mouseDoubleClickInterval())
                : 500;
}

void SysBeep(std::int16_t) {
    if (auto source = GetInputSource().beep; source && source()) return;
    if (qApp) QApplication::beep();
}
