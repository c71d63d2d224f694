// Document windows as MDI subwindows, child panes, controls, scrolling and invalidation.
#include "toolbox/gui/Windows.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/HostPrivate.h"
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <set>

namespace {

constexpr int kNativeMax = 32760; // the largest range a native scroll bar is given

std::vector<WindowPtr> gWindows; // top-level windows, front to back
std::set<WindowPtr> gLive;       // windows and panes
WindowPtr gActive = nullptr;     // the window that last received an activate message
bool gHostActivationBlocked = false;
int gCascade = 0;

// The client area of a document window: its panes, its view and its scroll bar.
class WindowContainer : public QWidget {
public:
    explicit WindowContainer(WindowPtr w) : w_(w) {}
    void detach() { w_ = nullptr; }

protected:
    void resizeEvent(QResizeEvent*) override {
        if (w_ && host::IsLiveWindow(w_)) host::LayoutWindow(w_);
    }

private:
    WindowPtr w_;
};

// Stops the host from closing a subwindow on its own: its close box becomes a close request.
// The subwindow owns its filter.
class CloseFilter : public QObject {
public:
    CloseFilter(WindowPtr w, QObject* subwindow) : QObject(subwindow), w_(w) {}
    void detach() { w_ = nullptr; }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Close) return false;
        e->ignore();
        if (WindowPtr w = w_) {
            QMetaObject::invokeMethod(
                qApp,
                [w] {
                    if (!host::IsLiveWindow(w)) return;
                    WindowMessage m;
                    m.kind = wmCloseRequest;
                    SendWindowMessage(w, m);
                },
                Qt::QueuedConnection);
        }
        return true;
    }

private:
    WindowPtr w_;
};

QMdiArea* Area() {
    return GetFrameDocumentArea();
}

QMargins FrameMargins(QMdiSubWindow* sub) {
    if (!sub) return {};
    sub->ensurePolished();
    return sub->contentsMargins();
}

std::int32_t NativeValue(const ControlRecord* c, std::int32_t v) {
    if (c->maximum <= kNativeMax) return v;
    return static_cast<std::int32_t>(std::lround(double(v) * kNativeMax / c->maximum));
}

void SendActivate(WindowPtr w, bool active) {
    if (!host::IsLiveWindow(w)) return;
    WindowMessage m;
    m.kind = wmActivate;
    m.active = active;
    SendWindowMessage(w, m);
}

void MoveToFront(WindowPtr w) {
    auto it = std::find(gWindows.begin(), gWindows.end(), w);
    if (it != gWindows.end()) std::rotate(gWindows.begin(), it, it + 1);
}

// Makes w the active window: deactivates the previous one, then activates w.
void Activate(WindowPtr w) {
    if (w == gActive) return;
    WindowPtr old = gActive;
    gActive = w;
    if (old) SendActivate(old, false);
    if (w && gActive == w) SendActivate(w, true);
}

WindowPtr FirstVisible() {
    for (WindowPtr w : gWindows)
        if (w->visible) return w;
    return nullptr;
}

// After the active window went away or was hidden: the next visible window becomes active.
void ActivateNextFront() {
    WindowPtr next = FirstVisible();
    if (next && next->winHost->sub) {
        gHostActivationBlocked = true;
        Area()->setActiveSubWindow(next->winHost->sub);
        gHostActivationBlocked = false;
    }
    Activate(next);
}

WindowRecord* NewRecord() {
    auto* w = new (std::nothrow) WindowRecord;
    if (!w) return nullptr;
    w->winHost = new (std::nothrow) WindowHost;
    w->GrafPort::host = new (std::nothrow) PortHost(w);
    if (!w->winHost || !w->GrafPort::host) {
        delete w->winHost;
        delete w->GrafPort::host;
        delete w;
        return nullptr;
    }
    w->winHost->rec = w;
    w->GrafPort::host->window = w;
    return w;
}

void SendSimple(WindowPtr w, std::uint8_t kind) {
    WindowMessage m;
    m.kind = kind;
    SendWindowMessage(w, m);
}

// Frees everything of a window or pane record; the widgets go when the event loop next runs
// (a pane's view on its own, a window's with its subwindow).
void FreeRecord(WindowPtr w) {
    WindowHost* wh = w->winHost;
    gLive.erase(w);
    for (ControlRecord* c : wh->controls) {
        if (c->button) c->button->disconnect();
        delete c;
    }
    wh->controls.clear();
    if (wh->view) {
        wh->view->detach();
        if (w->isPane) {
            wh->view->hide();
            wh->view->deleteLater();
        }
    }
    auto& in = host::Input();
    if (in.lastPressWindow == w) in.lastPressWindow = nullptr;
    delete w->GrafPort::host; // also drops it as the current port
    delete wh;
    delete w;
}

bool ClassMatches(std::uint8_t cls, int filter) {
    if (filter == 7) return true;
    if (filter == 6) return cls <= 1;
    return cls == filter;
}

} // namespace

// ---- shared with the other source files ------------------------------------------------------

namespace host {

PortHost* Host(GrafPtr port) {
    return port ? port->host : nullptr;
}

WindowPtr TopWindow(WindowPtr w) {
    while (w && w->isPane && w->owner)
        w = w->owner;
    return w;
}

bool IsLiveWindow(WindowPtr w) {
    return w && gLive.count(w);
}

const std::vector<WindowPtr>& Windows() {
    return gWindows;
}

void LayoutWindow(WindowPtr w) {
    WindowHost* wh = w->winHost;
    if (!wh->container) return;
    const int W = wh->container->width(), H = wh->container->height();
    wh->clientW = W;
    wh->clientH = H;
    const qreal dpr = wh->container->devicePixelRatioF();
    int y = 0;
    for (size_t i = 0; i < wh->panes.size(); ++i) {
        WindowPtr p = wh->panes[i];
        const int ph = std::min<int>(wh->paneHeights[i], std::max(0, H - y));
        PortHost* pp = p->GrafPort::host;
        const bool changed = pp->width != W || pp->height != ph;
        p->winHost->view->setGeometry(0, y, W, ph);
        if (changed) {
            pp->resize(W, ph, dpr, p->bkColor);
            InvalWindowRect(p, nullptr);
        }
        y += ph;
    }
    const int sbW = wh->vbar ? wh->vbar->sizeHint().width() : 0;
    const int vw = std::max(0, W - sbW), vh = std::max(0, H - y);
    wh->view->setGeometry(0, y, vw, vh);
    if (wh->vbar) wh->vbar->setGeometry(vw, y, sbW, vh);
    PortHost* ph = w->GrafPort::host;
    if (ph->width != vw || ph->height != vh || ph->image.devicePixelRatio() != dpr) {
        ph->resize(vw, vh, dpr, w->bkColor);
        if (w->docHeight > 0 || w->docWidth > 0) SetWindowDocSize(w, w->docWidth, w->docHeight);
        InvalWindowRect(w, nullptr);
        if (wh->created) SendSimple(w, wmResize);
    }
}

void ActivateFromHost(WindowPtr w) {
    if (gHostActivationBlocked || !IsLiveWindow(w) || w == gActive) return;
    MoveToFront(w);
    Activate(w);
}

void ScrollContentTo(WindowPtr w, int h, int v) {
    PortHost* ph = w->GrafPort::host;
    const QPoint old = ph->origin, now(std::max(0, h), std::max(0, v));
    if (old == now) return;
    const QRect before = ph->localBounds();
    ph->scrollPixels(before, old.x() - now.x(), old.y() - now.y());
    ph->origin = now;
    ph->syncPortRect();
    ph->stateValid = false;
    const QRegion exposed = QRegion(ph->localBounds()) - QRegion(before);
    for (const QRect& r : exposed) {
        Rect rr = toRect(r);
        InvalWindowRect(w, &rr);
    }
    for (ControlRecord* c : w->winHost->controls)
        if (c->button) c->button->move(c->rect.left - now.x(), c->rect.top - now.y());
    if (ControlRecord* sb = w->winHost->scrollBar.get()) {
        if (w->docHeight > 0) SetControlValue(sb, now.y());
    }
}

void ControlClicked(ControlRecord* c) {
    WindowPtr w = c->window;
    if (!IsLiveWindow(w)) return;
    // The window decides the state of check boxes and radio buttons: undo the host's toggle.
    if (c->button && c->button->isCheckable()) {
        QSignalBlocker block(c->button);
        c->button->setChecked(c->value != 0);
    }
    WindowMessage m;
    m.kind = wmControlClick;
    m.item = c->item;
    SendWindowMessage(w, m);
}

void ScrollBarAction(ControlRecord* c, int action) {
    WindowPtr w = c->window;
    if (!IsLiveWindow(w) || !c->bar) return;
    WindowMessage m;
    m.kind = wmScrollBar;
    m.bar = 0;
    m.thumb = c->bar->sliderPosition();
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        m.part = sbLineUp;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        m.part = sbLineDown;
        break;
    case QAbstractSlider::SliderPageStepSub:
        m.part = sbPageUp;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        m.part = sbPageDown;
        break;
    case QAbstractSlider::SliderMove:
    case QAbstractSlider::SliderToMinimum:
    case QAbstractSlider::SliderToMaximum:
        m.part = sbThumbTrack;
        break;
    case -1:
        m.part = sbThumbPosition;
        break; // released
    default:
        return;
    }
    // The window moves the thumb itself (SetControlValue); undo the host's own move.
    c->bar->setSliderPosition(NativeValue(c, c->value));
    SendWindowMessage(w, m);
}

} // namespace host

// ---- windows ---------------------------------------------------------------------------------

namespace {

Qt::WindowFlags SubwindowFlags(std::int16_t style) {
    Qt::WindowFlags flags =
        Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (style != kSmallDocumentStyle) flags |= Qt::WindowMinimizeButtonHint;
    if (style == kDocumentStyle) flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

// The frame a subwindow puts around its client area, as the document area draws it now: read
// from a document window when there is one, else from a probe put in the area for the moment.
// Never remembered, since the style, the fonts or the screen may change it.
QMargins SubwindowFrame() {
    QMdiArea* area = Area();
    if (!area) return {};
    for (WindowPtr w : gWindows)
        if (w->winHost->sub) return FrameMargins(w->winHost->sub);
    auto probe = std::make_unique<QMdiSubWindow>();
    probe->setWindowFlags(SubwindowFlags(kDocumentStyle));
    probe->setWidget(new QWidget);
    area->addSubWindow(probe.get());
    probe->hide();
    const QMargins m = FrameMargins(probe.get());
    area->removeSubWindow(probe.get());
    return m;
}

} // namespace

Rect GetDefaultWindowBounds(std::int16_t) {
    QMdiArea* area = Area();
    const QMargins m = SubwindowFrame();
    const int aw = area ? std::max(area->viewport()->width(), 200) : 800;
    const int ah = area ? std::max(area->viewport()->height(), 150) : 600;
    const int w = std::min(400, aw - 40), h = std::min(300, ah - 60);
    const int step = 24, n = gCascade++ % 8;
    // The client area, placed so that the whole frame is inside the document area.
    const int x = m.left() + n * step, y = m.top() + n * step;
    return Rect{static_cast<std::int16_t>(y), static_cast<std::int16_t>(x),
                static_cast<std::int16_t>(y + h), static_cast<std::int16_t>(x + w)};
}

bool RectFitsOnScreen(const Rect& bounds, std::int16_t) {
    QMdiArea* area = Area();
    if (!area || EmptyRect(bounds)) return false;
    QRect outer = toQRect(bounds).marginsAdded(SubwindowFrame());
    return area->viewport()->rect().contains(outer);
}

WindowPtr NewWindow(std::int16_t style, const Rect* bounds, const char* title, WindowPtr behind,
                    std::int16_t kind, void* refCon, WindowProc proc) {
    QMdiArea* area = Area();
    if (!area) return nullptr;
    WindowRecord* w = NewRecord();
    if (!w) return nullptr;
    w->windowKind = kind;
    w->refCon = refCon;
    w->proc = proc;
    WindowHost* wh = w->winHost;
    wh->style = style;

    auto* container = new WindowContainer(w);
    wh->container = container;
    wh->view = new PortView(container, w);
    wh->view->window = w;
    container->setFocusProxy(wh->view);
    wh->vbar = new QScrollBar(Qt::Vertical, container);
    wh->vbar->setFocusPolicy(Qt::NoFocus);
    wh->vbar->setRange(0, 0);
    wh->scrollBar = std::make_unique<ControlRecord>();
    ControlRecord* sb = wh->scrollBar.get();
    sb->window = w;
    sb->procID = scrollBarProc;
    sb->bar = wh->vbar;
    QObject::connect(wh->vbar, &QScrollBar::actionTriggered,
                     [sb](int action) { host::ScrollBarAction(sb, action); });
    QObject::connect(wh->vbar, &QScrollBar::sliderReleased,
                     [sb] { host::ScrollBarAction(sb, -1); });

    auto* sub = new QMdiSubWindow;
    sub->setWindowFlags(SubwindowFlags(style));
    sub->setWidget(container);
    if (QApplication::windowIcon().isNull()) {
        // No application icon: an empty one rather than the toolkit's logo.
        QPixmap blank(16, 16);
        blank.fill(Qt::transparent);
        sub->setWindowIcon(QIcon(blank));
    }
    // The subwindow's system menu brings key equivalents of its own (Close on Ctrl+W or Ctrl+F4,
    // by platform) that would make the menu bar's ambiguous: the menu bar's are the only ones.
    for (QAction* a : sub->actions())
        a->setShortcuts({});
    sub->installEventFilter(new CloseFilter(w, sub));
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    area->addSubWindow(sub);
    sub->hide();
    wh->sub = sub;

    gLive.insert(w);
    if (behind == nullptr)
        gWindows.push_back(w);
    else
        gWindows.insert(gWindows.begin(), w);
    SetWTitle(w, title ? title : "");
    const Rect r = bounds ? *bounds : GetDefaultWindowBounds(style);
    MoveSizeWindow(w, r);
    wh->created = true;
    SendSimple(w, wmCreated);
    return host::IsLiveWindow(w) ? w : nullptr;
}

void DisposeWindow(WindowPtr w) {
    if (!host::IsLiveWindow(w)) return;
    if (w->isPane) {
        SendSimple(w, wmDispose);
        if (!host::IsLiveWindow(w)) return;
        WindowPtr owner = w->owner;
        if (host::IsLiveWindow(owner)) {
            WindowHost* oh = owner->winHost;
            for (size_t i = 0; i < oh->panes.size(); ++i)
                if (oh->panes[i] == w) {
                    oh->panes.erase(oh->panes.begin() + i);
                    oh->paneHeights.erase(oh->paneHeights.begin() + i);
                    break;
                }
        }
        FreeRecord(w);
        if (host::IsLiveWindow(owner)) host::LayoutWindow(owner);
        return;
    }
    SendSimple(w, wmDispose);
    if (!host::IsLiveWindow(w)) return;
    WindowHost* wh = w->winHost;
    while (!wh->panes.empty()) {
        WindowPtr p = wh->panes.back();
        SendSimple(p, wmDispose);
        wh->panes.pop_back();
        wh->paneHeights.pop_back();
        if (host::IsLiveWindow(p)) FreeRecord(p);
    }
    gWindows.erase(std::remove(gWindows.begin(), gWindows.end(), w), gWindows.end());
    const bool wasActive = gActive == w;
    if (wasActive) gActive = nullptr;
    if (auto* c = static_cast<WindowContainer*>(wh->container.data())) c->detach();
    wh->scrollBar.reset();
    if (wh->vbar) wh->vbar->disconnect();
    QMdiSubWindow* sub = wh->sub;
    if (sub) {
        for (QObject* o : sub->children())
            if (auto* f = dynamic_cast<CloseFilter*>(o)) f->detach();
        gHostActivationBlocked = true;
        sub->hide();
        if (Area()) Area()->removeSubWindow(sub);
        gHostActivationBlocked = false;
        sub->deleteLater();
    }
    FreeRecord(w);
    if (wasActive) ActivateNextFront();
}

void ShowWindow(WindowPtr w) {
    if (!host::IsLiveWindow(w) || w->visible) return;
    w->visible = true;
    if (w->isPane) {
        w->winHost->view->show();
        return;
    }
    gHostActivationBlocked = true;
    w->winHost->sub->show();
    gHostActivationBlocked = false;
    host::LayoutWindow(w);
    host::PostUpdatePass();
    if (!gActive) {
        MoveToFront(w);
        SelectWindow(w);
    } else if (gActive->winHost->sub) {
        // Showing does not bring a window to the front: the active one stays active.
        gHostActivationBlocked = true;
        Area()->setActiveSubWindow(gActive->winHost->sub);
        gHostActivationBlocked = false;
    }
}

void HideWindow(WindowPtr w) {
    if (!host::IsLiveWindow(w) || !w->visible) return;
    w->visible = false;
    if (w->isPane) {
        w->winHost->view->hide();
        return;
    }
    gHostActivationBlocked = true;
    w->winHost->sub->hide();
    gHostActivationBlocked = false;
    if (gActive == w) {
        Activate(nullptr);
        ActivateNextFront();
    }
}

void SelectWindow(WindowPtr w) {
    w = host::TopWindow(w);
    if (!host::IsLiveWindow(w)) return;
    if (!w->visible) {
        w->visible = true;
        gHostActivationBlocked = true;
        w->winHost->sub->show();
        gHostActivationBlocked = false;
        host::LayoutWindow(w);
        host::PostUpdatePass();
    }
    MoveToFront(w);
    gHostActivationBlocked = true;
    Area()->setActiveSubWindow(w->winHost->sub);
    w->winHost->sub->raise();
    gHostActivationBlocked = false;
    Activate(w);
}

void MoveSizeWindow(WindowPtr w, const Rect& bounds) {
    w = host::TopWindow(w);
    if (!host::IsLiveWindow(w)) return;
    WindowHost* wh = w->winHost;
    QMdiSubWindow* sub = wh->sub;
    const QMargins m = FrameMargins(sub);
    const QRect client = toQRect(bounds);
    sub->setGeometry(client.marginsAdded(m));
    // The subwindow may have clamped the size to its limits.
    const QSize inner = sub->size().shrunkBy(m);
    wh->container->setGeometry(m.left(), m.top(), inner.width(), inner.height());
    host::LayoutWindow(w);
}

Rect GetWindowBounds(WindowPtr w) {
    w = host::TopWindow(w);
    if (!host::IsLiveWindow(w)) return Rect{};
    // The client area is where the subwindow placed its widget.
    WindowHost* wh = w->winHost;
    return toRect(QRect(wh->sub->pos() + wh->container->pos(), QSize(wh->clientW, wh->clientH)));
}

Rect GetContentRect(WindowPtr w) {
    if (!host::IsLiveWindow(w)) return Rect{};
    const Rect b = GetWindowBounds(w);
    const QRect v = w->winHost->view->geometry();
    return toRect(v.translated(b.left, b.top));
}

Rect GetPortRect(WindowPtr w) {
    return host::IsLiveWindow(w) ? w->portRect : Rect{};
}

void SetWindowGrowLimits(WindowPtr w, const Rect& limits) {
    w = host::TopWindow(w);
    if (!host::IsLiveWindow(w)) return;
    w->growLimits = limits;
    QMdiSubWindow* sub = w->winHost->sub;
    const QMargins m = FrameMargins(sub);
    const int mw = m.left() + m.right(), mh = m.top() + m.bottom();
    sub->setMinimumSize(std::max<int>(limits.left, 0) + mw, std::max<int>(limits.top, 0) + mh);
    sub->setMaximumSize(std::min<int>(limits.right + mw, QWIDGETSIZE_MAX),
                        std::min<int>(limits.bottom + mh, QWIDGETSIZE_MAX));
}

void SetWTitle(WindowPtr w, const char* title) {
    if (!host::IsLiveWindow(w)) return;
    w->winHost->title = title ? title : "";
    if (w->winHost->sub) w->winHost->sub->setWindowTitle(ToHostText(w->winHost->title.c_str()));
}

void GetWTitle(WindowPtr w, char* title, int size) {
    if (!title || size <= 0) return;
    std::snprintf(title, size, "%s", host::IsLiveWindow(w) ? w->winHost->title.c_str() : "");
}

WindowPtr GetNextWindow(WindowPtr w, int classFilter) {
    bool passed = w == nullptr;
    for (int pass = 0; pass < 2; ++pass)
        for (WindowPtr x : gWindows) {
            if (x->visible != (pass == 0)) continue;
            if (!passed) {
                passed = x == w;
                continue;
            }
            if (ClassMatches(x->windowClass, classFilter)) return x;
        }
    return nullptr;
}

WindowPtr FrontWindow() {
    return FirstVisible();
}

void SetWindowKind(WindowPtr w, std::int16_t kind) {
    if (host::IsLiveWindow(w)) w->windowKind = kind;
}
void SetWRefCon(WindowPtr w, void* refCon) {
    if (host::IsLiveWindow(w)) w->refCon = refCon;
}
void SetWindowClass(WindowPtr w, std::uint8_t windowClass) {
    if (host::IsLiveWindow(w)) w->windowClass = windowClass;
}
void SetWindowOwner(WindowPtr w, WindowPtr owner) {
    if (host::IsLiveWindow(w) && !w->isPane) w->owner = owner;
}

static HandlerProc gAppHandler = nullptr;

HandlerProc SetWindowHandler(WindowPtr w, HandlerProc handler) {
    HandlerProc& slot = w ? w->handler : gAppHandler;
    if (w && !host::IsLiveWindow(w)) return nullptr;
    HandlerProc old = slot;
    slot = handler;
    return old;
}
HandlerProc GetWindowHandler(WindowPtr w) {
    if (!w) return gAppHandler;
    return host::IsLiveWindow(w) ? w->handler : nullptr;
}

void SetWindowCursor(WindowPtr w, std::int16_t kind) {
    if (!host::IsLiveWindow(w) || w->cursorKind == kind) return;
    w->cursorKind = kind;
    w->winHost->view->setCursor(kind == iBeamCursor ? Qt::IBeamCursor : Qt::ArrowCursor);
}

void SetWindowScrollAmounts(WindowPtr w, std::int16_t line, std::int16_t page) {
    if (!host::IsLiveWindow(w)) return;
    w->scrollLine = line;
    w->scrollPage = page;
}

void SetWindowDocSize(WindowPtr w, std::int32_t width, std::int32_t height) {
    if (!host::IsLiveWindow(w)) return;
    w->docWidth = std::max(0, width);
    w->docHeight = std::max(0, height);
    ControlRecord* sb = w->winHost->scrollBar.get();
    if (!sb) return;
    PortHost* ph = w->GrafPort::host;
    SetControlMaximum(sb, std::max(0, w->docHeight - ph->height));
    sb->bar->setPageStep(std::max(1, NativeValue(sb, ph->height)));
    const int maxH = std::max(0, w->docWidth - ph->width);
    const int h = std::min(ph->origin.x(), maxH), v = std::min<int>(ph->origin.y(), sb->maximum);
    host::ScrollContentTo(w, h, v);
}

void ScrollWindowTo(WindowPtr w, std::int16_t h, std::int16_t v) {
    if (!host::IsLiveWindow(w)) return;
    WindowMessage m;
    m.kind = wmScrollTo;
    m.position = Point{v, h};
    SendWindowMessage(w, m);
}

Point GetWindowScroll(WindowPtr w) {
    if (!host::IsLiveWindow(w)) return Point{};
    const QPoint o = w->GrafPort::host->origin;
    return Point{static_cast<std::int16_t>(o.y()), static_cast<std::int16_t>(o.x())};
}

bool IsRectVisible(WindowPtr w, const Rect& r) {
    if (!host::IsLiveWindow(w)) return false;
    return w->GrafPort::host->localBounds().contains(toQRect(r));
}

void RevealRect(WindowPtr w, const Rect& r) {
    if (!host::IsLiveWindow(w) || IsRectVisible(w, r)) return;
    const QRect view = w->GrafPort::host->localBounds(), want = toQRect(r);
    int h = view.x(), v = view.y();
    if (want.top() < view.top() || want.height() > view.height())
        v = want.top();
    else if (want.bottom() > view.bottom())
        v = want.bottom() + 1 - view.height();
    if (want.left() < view.left() || want.width() > view.width())
        h = want.left();
    else if (want.right() > view.right())
        h = want.right() + 1 - view.width();
    ScrollWindowTo(w, static_cast<std::int16_t>(h), static_cast<std::int16_t>(v));
}

void InvalWindowRect(WindowPtr w, const Rect* r) {
    if (!host::IsLiveWindow(w)) return;
    PortHost* ph = w->GrafPort::host;
    ph->updateRgn |= r ? QRegion(toQRect(*r)) : QRegion(ph->localBounds());
    host::PortHasUpdate(ph);
    if (!r && !w->isPane)
        for (WindowPtr p : w->winHost->panes)
            InvalWindowRect(p, nullptr);
}

void InvalRect(const Rect* r) {
    PortHost* ph = host::Host(GetPort());
    if (!ph) return;
    if (ph->window) {
        InvalWindowRect(ph->window, r);
        return;
    }
    ph->updateRgn |= r ? QRegion(toQRect(*r)) : QRegion(ph->localBounds());
    host::PortHasUpdate(ph);
}

void ValidWindowRect(WindowPtr w, const Rect* r) {
    if (!host::IsLiveWindow(w)) return;
    PortHost* ph = w->GrafPort::host;
    if (r)
        ph->updateRgn -= QRegion(toQRect(*r));
    else
        ph->updateRgn = QRegion();
}

void UpdateWindow(WindowPtr w) {
    if (!host::IsLiveWindow(w)) return;
    std::vector<WindowPtr> ports{w};
    if (!w->isPane) ports.insert(ports.end(), w->winHost->panes.begin(), w->winHost->panes.end());
    for (WindowPtr p : ports)
        if (host::IsLiveWindow(p)) host::DeliverUpdate(p->GrafPort::host);
}

WindowPtr NewChildPane(WindowPtr w, std::int16_t height, WindowProc proc, void* refCon) {
    if (!host::IsLiveWindow(w) || w->isPane) return nullptr;
    WindowRecord* p = NewRecord();
    if (!p) return nullptr;
    p->isPane = true;
    p->owner = w;
    p->proc = proc;
    p->refCon = refCon;
    p->windowClass = w->windowClass;
    p->visible = true;
    p->winHost->view = new PortView(w->winHost->container, p);
    p->winHost->view->window = p;
    p->winHost->view->setFocusPolicy(Qt::NoFocus);
    p->winHost->view->show();
    w->winHost->panes.push_back(p);
    w->winHost->paneHeights.push_back(std::max<std::int16_t>(height, 0));
    gLive.insert(p);
    host::LayoutWindow(w);
    SendSimple(p, wmCreated);
    return host::IsLiveWindow(p) ? p : nullptr;
}

WindowPtr GetWindowPane(WindowPtr w, int index) {
    if (!host::IsLiveWindow(w) || w->isPane) return nullptr;
    const auto& panes = w->winHost->panes;
    return index >= 0 && index < int(panes.size()) ? panes[index] : nullptr;
}

// ---- message delivery ------------------------------------------------------------------------

bool SendWindowMessage(WindowPtr w, WindowMessage& msg) {
    if (!host::IsLiveWindow(w)) return false;
    if (msg.kind == wmMouseDown || msg.kind == wmDoubleClick)
        host::Input().lastClickKind = msg.kind;
    // A procedure runs with its window's port current; the caller's port comes back after.
    GrafPtr old = SetPort(w);
    const bool handled = w->proc && w->proc(w, msg);
    if (!handled && host::IsLiveWindow(w)) DefWindowProc(w, msg);
    SetPort(host::IsLivePort(old) ? old : nullptr);
    return handled;
}

bool DefWindowProc(WindowPtr w, WindowMessage& msg) {
    if (!host::IsLiveWindow(w)) return false;
    switch (msg.kind) {
    case wmCloseRequest:
        DisposeWindow(w);
        return true;
    case wmActivate:
        if (msg.active && !w->isPane) w->winHost->view->setFocus(Qt::ActiveWindowFocusReason);
        return true;
    case wmScrollBar: {
        ControlRecord* sb = w->winHost->scrollBar.get();
        if (!sb) return false;
        const int view = w->GrafPort::host->height;
        const int line = std::max<int>(w->scrollLine, 1);
        const int page = w->scrollPage > 0 ? w->scrollPage : std::max(line, view - line);
        std::int32_t v = sb->value;
        switch (msg.part) {
        case sbLineUp:
            v -= line;
            break;
        case sbLineDown:
            v += line;
            break;
        case sbPageUp:
            v -= page;
            break;
        case sbPageDown:
            v += page;
            break;
        default:
            v = ControlValueForThumb(sb, msg.thumb);
            break;
        }
        v = std::clamp(v, 0, sb->maximum);
        SetControlValue(sb, v);
        if (w->docHeight > 0) host::ScrollContentTo(w, w->GrafPort::host->origin.x(), v);
        return true;
    }
    case wmScrollTo: {
        if (w->docHeight <= 0 && w->docWidth <= 0) return false;
        PortHost* ph = w->GrafPort::host;
        const int maxV = std::max(0, w->docHeight - ph->height);
        const int maxH = std::max(0, w->docWidth - ph->width);
        host::ScrollContentTo(w, std::clamp<int>(msg.position.h, 0, maxH),
                              std::clamp<int>(msg.position.v, 0, maxV));
        return true;
    }
    default:
        return false;
    }
}

// ---- controls --------------------------------------------------------------------------------

ControlHandle GetWindowScrollBar(WindowPtr w) {
    w = host::TopWindow(w);
    return host::IsLiveWindow(w) ? w->winHost->scrollBar.get() : nullptr;
}

ControlHandle NewControl(WindowPtr w, const Rect& r, const char* title, std::int16_t procID,
                         std::int16_t item, const TextStyle* font) {
    if (!host::IsLiveWindow(w)) return nullptr;
    auto* c = new (std::nothrow) ControlRecord;
    if (!c) return nullptr;
    c->window = w;
    c->procID = procID;
    c->item = item;
    c->rect = r;
    c->maximum = 1;
    QWidget* parent = w->winHost->view;
    QAbstractButton* b = nullptr;
    switch (procID) {
    case checkBoxProc:
        b = new QCheckBox(parent);
        break;
    case radioButProc: {
        auto* rb = new QRadioButton(parent);
        rb->setAutoExclusive(false);
        b = rb;
        break;
    }
    default:
        b = new QPushButton(parent);
        break;
    }
    c->button = b;
    b->setText(ToHostText(title ? title : ""));
    b->setFont(FontFor(font ? *font : w->txStyle).font);
    b->setFocusPolicy(Qt::NoFocus);
    const QPoint o = w->GrafPort::host->origin;
    b->setGeometry(toQRect(r).translated(-o));
    QObject::connect(b, &QAbstractButton::clicked, [c] { host::ControlClicked(c); });
    b->show();
    w->winHost->controls.push_back(c);
    return c;
}

ControlHandle GetWindowControl(WindowPtr w, std::int16_t item) {
    if (!host::IsLiveWindow(w)) return nullptr;
    for (ControlRecord* c : w->winHost->controls)
        if (c->item == item) return c;
    return nullptr;
}

void DisposeControl(ControlHandle c) {
    if (!c || !host::IsLiveWindow(c->window)) return;
    auto& list = c->window->winHost->controls;
    list.erase(std::remove(list.begin(), list.end(), c), list.end());
    if (c->button) c->button->deleteLater();
    delete c;
}

std::int32_t GetControlValue(ControlHandle c) {
    return c ? c->value : 0;
}
std::int32_t GetControlMaximum(ControlHandle c) {
    return c ? c->maximum : 0;
}

void SetControlValue(ControlHandle c, std::int32_t value) {
    if (!c) return;
    c->value = std::clamp(value, 0, std::max(c->maximum, 0));
    if (c->bar) {
        QSignalBlocker block(c->bar);
        c->bar->setValue(NativeValue(c, c->value));
    } else if (c->button) {
        QSignalBlocker block(c->button);
        if (c->button->isCheckable()) c->button->setChecked(c->value != 0);
        // Radio buttons of one window or pane form a group.
        if (c->procID == radioButProc && c->value && host::IsLiveWindow(c->window))
            for (ControlRecord* o : c->window->winHost->controls)
                if (o != c && o->procID == radioButProc && o->value) SetControlValue(o, 0);
    }
}

void SetControlMaximum(ControlHandle c, std::int32_t maximum) {
    if (!c) return;
    c->maximum = std::max(0, maximum);
    if (c->bar) {
        QSignalBlocker block(c->bar);
        c->bar->setRange(0, std::min(c->maximum, kNativeMax));
        c->bar->setSingleStep(1);
    }
    SetControlValue(c, c->value);
}

std::int32_t ControlValueForThumb(ControlHandle c, std::int32_t thumb) {
    if (!c) return 0;
    if (c->maximum <= kNativeMax) return std::clamp(thumb, 0, c->maximum);
    const double v = double(std::clamp(thumb, 0, kNativeMax)) * c->maximum / kNativeMax;
    return std::clamp(static_cast<std::int32_t>(std::lround(v)), 0, c->maximum);
}

void HiliteControl(ControlHandle c, std::int16_t state) {
    if (!c) return;
    QWidget* wdg = c->bar ? static_cast<QWidget*>(c->bar) : c->button;
    if (wdg) wdg->setEnabled(state != 255);
}

void SetControlTitle(ControlHandle c, const char* title) {
    if (c && c->button) c->button->setText(ToHostText(title ? title : ""));
}
