// Message delivery: a window's procedure first, then the default handling.
#include "toolbox/gui/App.h"
#include "toolbox/gui/Windows.h"
#include "toolbox/gui/WindowsPrivate.h"

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
        const bool horizontal = msg.bar == 1;
        ControlRecord* sb = (horizontal ? w->winHost->hScrollBar : w->winHost->scrollBar).get();
        if (!sb) return false;
        const QPoint origin = w->GrafPort::host->origin;
        const int view = horizontal ? w->GrafPort::host->width : w->GrafPort::host->height;
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
        if (horizontal && w->docWidth > 0) host::ScrollContentTo(w, v, origin.y());
        if (!horizontal && w->docHeight > 0) host::ScrollContentTo(w, origin.x(), v);
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
