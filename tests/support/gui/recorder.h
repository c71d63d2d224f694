// A small test application: windows whose procedures record every message they receive.
#pragma once
#include "toolbox/gui/Windows.h"
#include <functional>
#include <vector>

struct Recorder {
    std::vector<WindowMessage> messages;
    bool handles = false; // what the procedure returns (false: the default handling runs)
    std::function<bool(WindowPtr, WindowMessage&)> action; // runs instead, when set

    std::vector<WindowMessage> of(std::uint8_t kind) const;
    // The kinds of the messages received, in order.
    std::vector<std::uint8_t> kinds() const {
        std::vector<std::uint8_t> k;
        for (const WindowMessage& m : messages)
            k.push_back(m.kind);
        return k;
    }
    void clear() { messages.clear(); }
};

// The procedure: records into the Recorder held as the window's reference value.
bool RecordingProc(WindowPtr w, WindowMessage& msg);

// A window of the given style at bounds (default bounds when nullptr), recording into r.
WindowPtr MakeRecordedWindow(std::int16_t style, Recorder& r, const Rect* bounds = nullptr,
                             std::int16_t kind = 101);
// A window made visible and brought to the front, at a known place and size.
WindowPtr MakeFrontWindow(std::int16_t style, Recorder& r, std::int16_t width = 300,
                          std::int16_t height = 200);
