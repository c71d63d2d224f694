// The Qt widgets of document windows: the subwindow in the frame's document area, its client
// area and close box, the layout of panes, view and scroll bar, bounds and titles.
#include "toolbox/gui/App.h"
#include "toolbox/gui/Windows.h"
#include "toolbox/gui/WindowsPrivate.h"
#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>

namespace {

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
    for (WindowPtr w : host::Windows())
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

namespace host {

bool NeedsHorizontalBar(WindowPtr w) {
    WindowHost* wh = w->winHost;
    if (!wh->hbar || !wh->container) return false;
    const int sbW = wh->vbar ? wh->vbar->sizeHint().width() : 0;
    return w->docWidth > std::max(0, wh->container->width() - sbW);
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
    const int vw = std::max(0, W - sbW);
    const bool wide = NeedsHorizontalBar(w);
    const int sbH = wide ? wh->hbar->sizeHint().height() : 0;
    const int vh = std::max(0, H - y - sbH);
    wh->view->setGeometry(0, y, vw, vh);
    if (wh->vbar) wh->vbar->setGeometry(vw, y, sbW, vh);
    if (wh->hbar) {
        wh->hbar->setVisible(wide);
        if (wide) wh->hbar->setGeometry(0, y + vh, vw, sbH);
    }
    PortHost* ph = w->GrafPort::host;
    if (ph->width != vw || ph->height != vh || ph->image.devicePixelRatio() != dpr) {
        ph->resize(vw, vh, dpr, w->bkColor);
        if (w->docHeight > 0 || w->docWidth > 0) SetWindowDocSize(w, w->docWidth, w->docHeight);
        InvalWindowRect(w, nullptr);
        if (wh->created) host::SendSimpleMessage(w, wmResize);
    }
}

void DetachWindowWidgets(WindowHost* wh) {
    if (auto* c = static_cast<WindowContainer*>(wh->container.data())) c->detach();
    if (QMdiSubWindow* sub = wh->sub)
        for (QObject* o : sub->children())
            if (auto* f = dynamic_cast<CloseFilter*>(o)) f->detach();
}

} // namespace host

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

Rect CascadeBounds(WindowPtr reference, std::int16_t style, const Rect& fallback) {
    constexpr std::int16_t kCascadeStep = 18;
    if (!reference) return fallback;
    Rect moved = GetWindowBounds(reference);
    OffsetRect(&moved, kCascadeStep, kCascadeStep);
    return RectFitsOnScreen(moved, style) ? moved : fallback;
}

namespace {

// One of a document window's two scroll bars, as a control whose actions become wmScrollBar.
std::unique_ptr<ControlRecord> newScrollBar(WindowPtr w, Qt::Orientation o, QScrollBar** bar) {
    *bar = new QScrollBar(o, w->winHost->container);
    (*bar)->setFocusPolicy(Qt::NoFocus);
    (*bar)->setRange(0, 0);
    auto sb = std::make_unique<ControlRecord>();
    sb->window = w;
    sb->procID = scrollBarProc;
    sb->bar = *bar;
    ControlRecord* c = sb.get();
    QObject::connect(*bar, &QScrollBar::actionTriggered,
                     [c](int action) { host::ScrollBarAction(c, action); });
    QObject::connect(*bar, &QScrollBar::sliderReleased, [c] { host::ScrollBarAction(c, -1); });
    return sb;
}

} // namespace

WindowPtr NewWindow(std::int16_t style, const Rect* bounds, const char* title, WindowPtr behind,
                    std::int16_t kind, void* refCon, WindowProc proc) {
    QMdiArea* area = Area();
    if (!area) return nullptr;
    WindowRecord* w = host::NewWindowRecord();
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
    wh->scrollBar = newScrollBar(w, Qt::Vertical, &wh->vbar);
    wh->hScrollBar = newScrollBar(w, Qt::Horizontal, &wh->hbar);
    wh->hbar->hide();

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

    host::AddWindow(w, behind != nullptr);
    SetWTitle(w, title ? title : "");
    const Rect r = bounds ? *bounds : GetDefaultWindowBounds(style);
    MoveSizeWindow(w, r);
    wh->created = true;
    host::SendSimpleMessage(w, wmCreated);
    return host::IsLiveWindow(w) ? w : nullptr;
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
