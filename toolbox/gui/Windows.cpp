// Window records and the window list: creation of records, the front-to-back order, the active
// window, showing and hiding, disposal, and child panes.
#include "toolbox/gui/Windows.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/WindowsPrivate.h"
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>
#include <new>
#include <set>

namespace {

std::vector<WindowPtr> gWindows; // top-level windows, front to back
std::set<WindowPtr> gLive;       // windows and panes
WindowPtr gActive = nullptr;     // the window that last received an activate message
bool gHostActivationBlocked = false;

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
// Activating it lets the document area restack the others by its own activation order, not
// ours, so the shown windows are then raised again from the back to the front.
void ActivateNextFront() {
    WindowPtr next = FirstVisible();
    gHostActivationBlocked = true;
    if (next && next->winHost->sub) GetFrameDocumentArea()->setActiveSubWindow(next->winHost->sub);
    for (auto it = gWindows.rbegin(); it != gWindows.rend(); ++it)
        if ((*it)->visible && (*it)->winHost->sub) (*it)->winHost->sub->raise();
    gHostActivationBlocked = false;
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

void ActivateFromHost(WindowPtr w) {
    if (gHostActivationBlocked || !IsLiveWindow(w) || w == gActive) return;
    MoveToFront(w);
    Activate(w);
}

WindowRecord* NewWindowRecord() {
    return NewRecord();
}

void AddWindow(WindowPtr w, bool atFront) {
    gLive.insert(w);
    if (atFront)
        gWindows.insert(gWindows.begin(), w);
    else
        gWindows.push_back(w);
}

void SendSimpleMessage(WindowPtr w, std::uint8_t kind) {
    WindowMessage m;
    m.kind = kind;
    SendWindowMessage(w, m);
}

} // namespace host

void DisposeWindow(WindowPtr w) {
    if (!host::IsLiveWindow(w)) return;
    if (w->isPane) {
        host::SendSimpleMessage(w, wmDispose);
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
    host::SendSimpleMessage(w, wmDispose);
    if (!host::IsLiveWindow(w)) return;
    WindowHost* wh = w->winHost;
    while (!wh->panes.empty()) {
        WindowPtr p = wh->panes.back();
        host::SendSimpleMessage(p, wmDispose);
        wh->panes.pop_back();
        wh->paneHeights.pop_back();
        if (host::IsLiveWindow(p)) FreeRecord(p);
    }
    gWindows.erase(std::remove(gWindows.begin(), gWindows.end(), w), gWindows.end());
    const bool wasActive = gActive == w;
    if (wasActive) gActive = nullptr;
    host::DetachWindowWidgets(wh);
    wh->scrollBar.reset();
    wh->hScrollBar.reset();
    if (wh->vbar) wh->vbar->disconnect();
    if (wh->hbar) wh->hbar->disconnect();
    QMdiSubWindow* sub = wh->sub;
    if (sub) {
        gHostActivationBlocked = true;
        sub->hide();
        if (GetFrameDocumentArea()) GetFrameDocumentArea()->removeSubWindow(sub);
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
        GetFrameDocumentArea()->setActiveSubWindow(gActive->winHost->sub);
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
    GetFrameDocumentArea()->setActiveSubWindow(w->winHost->sub);
    w->winHost->sub->raise();
    gHostActivationBlocked = false;
    Activate(w);
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
    host::SendSimpleMessage(p, wmCreated);
    return host::IsLiveWindow(p) ? p : nullptr;
}

WindowPtr GetWindowPane(WindowPtr w, int index) {
    if (!host::IsLiveWindow(w) || w->isPane) return nullptr;
    const auto& panes = w->winHost->panes;
    return index >= 0 && index < int(panes.size()) ? panes[index] : nullptr;
}
