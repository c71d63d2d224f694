// Scrolling, invalidation, the window's scroll bar and the controls of windows.
#include "toolbox/gui/App.h"
#include "toolbox/gui/Windows.h"
#include "toolbox/gui/WindowsPrivate.h"
#include <QAbstractButton>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kNativeMax = 32760; // the largest range a native scroll bar is given

std::int32_t NativeValue(const ControlRecord* c, std::int32_t v) {
    if (c->maximum <= kNativeMax) return v;
    return static_cast<std::int32_t>(std::lround(double(v) * kNativeMax / c->maximum));
}

} // namespace

namespace host {

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
    if (ControlRecord* sb = w->winHost->hScrollBar.get()) {
        if (w->docWidth > 0) SetControlValue(sb, now.x());
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
    m.bar = c->bar->orientation() == Qt::Horizontal ? 1 : 0;
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

void SetWindowScrollAmounts(WindowPtr w, std::int16_t line, std::int16_t page) {
    if (!host::IsLiveWindow(w)) return;
    w->scrollLine = line;
    w->scrollPage = page;
}

void SetWindowDocSize(WindowPtr w, std::int32_t width, std::int32_t height) {
    if (!host::IsLiveWindow(w)) return;
    w->docWidth = std::max(0, width);
    w->docHeight = std::max(0, height);
    WindowHost* wh = w->winHost;
    ControlRecord* sb = wh->scrollBar.get();
    if (!sb) return;
    // The horizontal bar comes and goes with the width, and takes its height from the view.
    if (wh->hbar && host::NeedsHorizontalBar(w) == wh->hbar->isHidden()) host::LayoutWindow(w);
    PortHost* ph = w->GrafPort::host;
    SetControlMaximum(sb, std::max(0, w->docHeight - ph->height));
    sb->bar->setPageStep(std::max(1, NativeValue(sb, ph->height)));
    const int maxH = std::max(0, w->docWidth - ph->width);
    if (ControlRecord* hb = wh->hScrollBar.get()) {
        SetControlMaximum(hb, maxH);
        hb->bar->setPageStep(std::max(1, NativeValue(hb, ph->width)));
    }
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

// ---- controls --------------------------------------------------------------------------------

ControlHandle GetWindowScrollBar(WindowPtr w) {
    w = host::TopWindow(w);
    return host::IsLiveWindow(w) ? w->winHost->scrollBar.get() : nullptr;
}

// A check box or radio button at least as wide as its indicator and whole title need: the
// host's indicator and spacing are wider than the rectangles laid out for them allow, and a
// title cut at the right edge would show another text. Push buttons keep their rectangle.
namespace {
void FitTitle(ControlHandle c) {
    if (!c->button || c->procID == pushButProc) return;
    QAbstractButton* b = c->button;
    b->resize(std::max(c->rect.right - c->rect.left, b->sizeHint().width()), b->height());
}
} // namespace

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
    FitTitle(c);
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
    if (!c || !c->button) return;
    c->button->setText(ToHostText(title ? title : ""));
    FitTitle(c);
}
