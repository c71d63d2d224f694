#include "tests/support/gui/recorder.h"
#include "toolbox/harness/Harness.h"

std::vector<WindowMessage> Recorder::of(std::uint8_t kind) const {
    std::vector<WindowMessage> out;
    for (const WindowMessage& m : messages)
        if (m.kind == kind) out.push_back(m);
    return out;
}

bool RecordingProc(WindowPtr w, WindowMessage& msg) {
    auto* r = static_cast<Recorder*>(w->refCon);
    if (!r) return false;
    r->messages.push_back(msg);
    return r->action ? r->action(w, msg) : r->handles;
}

WindowPtr MakeRecordedWindow(std::int16_t style, Recorder& r, const Rect* bounds,
                             std::int16_t kind) {
    return NewWindow(style, bounds, "", kInFront, kind, &r, RecordingProc);
}

WindowPtr MakeFrontWindow(std::int16_t style, Recorder& r, std::int16_t width,
                          std::int16_t height) {
    Rect b{10, 10, static_cast<std::int16_t>(10 + height), static_cast<std::int16_t>(10 + width)};
    WindowPtr w = MakeRecordedWindow(style, r, &b);
    SelectWindow(w);
    harness::ProcessUpdates();
    r.clear();
    return w;
}
