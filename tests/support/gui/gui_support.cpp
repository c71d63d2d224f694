#include "tests/support/gui/gui_support.h"

#include "toolbox/harness/Harness.h"

#include <QColor>

namespace {

template <typename Test> int countPixels(GrafPtr port, const Rect& r, Test test) {
    int n = 0;
    for (int v = r.top; v < r.bottom; ++v)
        for (int h = r.left; h < r.right; ++h)
            n += test(PixelAt(port, h, v));
    return n;
}

} // namespace

void ResetHarnessState() {
    ResetDialogHarness();
    harness::ScriptPointer(nullptr, {});
    harness::ResetKeys();
    harness::ResetBeeps();
}

std::uint32_t PixelAt(GrafPtr port, int h, int v) {
    return harness::PixelAt(port,
                            Point{static_cast<std::int16_t>(v), static_cast<std::int16_t>(h)});
}

int CountBlack(GrafPtr port, const Rect& r) {
    return countPixels(port, r, [](std::uint32_t rgb) { return rgb == 0; });
}

int CountDark(GrafPtr port, const Rect& r) {
    return countPixels(port, r, [](std::uint32_t rgb) { return qGray(rgb) < 128; });
}

int DifferingPixels(GrafPtr port, const Rect& r, const std::function<void()>& draw) {
    GrafPtr off = NewOffscreenPort(r.right, r.bottom);
    GrafPtr old = SetPort(off);
    draw();
    SetPort(old);
    int differing = 0;
    for (int v = r.top; v < r.bottom; ++v)
        for (int h = r.left; h < r.right; ++h)
            differing += PixelAt(port, h, v) != PixelAt(off, h, v);
    DisposeOffscreenPort(off);
    return differing;
}
