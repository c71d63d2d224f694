// Real Qt mouse and key input becomes window messages; double clicks; tracking loops.
#include "tests/support/gui/gui_support.h"
#include "tests/support/gui/recorder.h"
#include "toolbox/gui/App.h"
#include "toolbox/harness/Harness.h"
#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

class InputTest : public HarnessTest {
protected:
    void SetUp() override {
        HarnessTest::SetUp();
        w = MakeFrontWindow(kDocumentStyle, r, 300, 200);
    }
    void TearDown() override {
        while (WindowPtr x = GetNextWindow(nullptr, 7))
            DisposeWindow(x);
        HarnessTest::TearDown();
    }
    // The key code and special flag that one Qt key press gives.
    std::pair<int, bool> key(int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier,
                             const char* text = nullptr) {
        r.clear();
        harness::SendKey(w, qtKey, mods, text);
        const auto keys = r.of(wmKeyDown);
        if (keys.size() != 1) return {-1, false};
        return {KeyNumber(keys[0].key), keys[0].special};
    }
    Recorder r, pane;
    WindowPtr w = nullptr;
};

// The buttons (Shift and Control on a click are the end-to-end scenarios' selection clicks).
TEST_F(InputTest, MouseButtonsAndFlags) {
    harness::SendClick(w, Point{20, 30});
    harness::SendClick(w, Point{50, 60}, Qt::NoModifier, 0, Qt::RightButton);
    harness::SendClick(w, Point{80, 90}, Qt::NoModifier, 0, Qt::MiddleButton);
    const auto downs = r.of(wmMouseDown);
    ASSERT_EQ(downs.size(), 3u);
    EXPECT_EQ(downs[0].where, (Point{20, 30}));
    EXPECT_EQ((std::vector<int>{downs[0].button, downs[1].button, downs[2].button}),
              (std::vector<int>{0, 1, 2}));

    // A scrolled window reports points in its local coordinates.
    SetWindowDocSize(w, 300, 2000);
    ScrollWindowTo(w, 0, 100);
    r.clear();
    harness::SendClick(w, Point{20, 30});
    EXPECT_EQ(r.of(wmMouseDown).at(0).where, (Point{120, 30}));
}

TEST_F(InputTest, DoubleClickIsDecidedByDistanceAndTime) {
    const std::uint32_t t = 500000, dbl = GetDblTime();
    auto kinds = [&](Point second, std::uint32_t gap) {
        r.clear();
        harness::SendClick(w, Point{50, 50}, Qt::NoModifier, t);
        harness::SendClick(w, second, Qt::NoModifier, t + gap);
        return r.kinds();
    };
    using K = std::vector<std::uint8_t>;
    EXPECT_EQ(kinds(Point{53, 53}, 100), (K{wmMouseDown, wmDoubleClick}));
    EXPECT_EQ(kinds(Point{47, 50}, dbl), (K{wmMouseDown, wmDoubleClick}));
    EXPECT_EQ(kinds(Point{54, 50}, 100), (K{wmMouseDown, wmMouseDown})) << "4 pixels down";
    EXPECT_EQ(kinds(Point{50, 46}, 100), (K{wmMouseDown, wmMouseDown})) << "4 pixels left";
    EXPECT_EQ(kinds(Point{50, 50}, dbl + 1), (K{wmMouseDown, wmMouseDown})) << "too late";

    // Qt's own double-click event counts only when our rule agrees; a third press is single.
    r.clear();
    harness::SendClick(w, Point{50, 50}, Qt::NoModifier, t + 10000);
    harness::SendDoubleClickEvent(w, Point{50, 55}, Qt::NoModifier, t + 10100);
    harness::SendMouseRelease(w, Point{50, 55});
    harness::SendDoubleClickEvent(w, Point{50, 55}, Qt::NoModifier, t + 10200);
    harness::SendMouseRelease(w, Point{50, 55});
    harness::SendClick(w, Point{50, 55}, Qt::NoModifier, t + 10300);
    EXPECT_EQ(r.kinds(), (K{wmMouseDown, wmMouseDown, wmDoubleClick, wmMouseDown}));
}

// The keys the end-to-end scenarios do not press (letters, Tab, Return, Backspace, Delete, Up,
// Down, Home and End they do).
TEST_F(InputTest, KeyCodesAndTheSpecialFlag) {
    using P = std::pair<int, bool>;
    EXPECT_EQ(key(Qt::Key_Backtab, Qt::ShiftModifier), (P{315, false}));
    EXPECT_EQ(key(Qt::Key_Escape), (P{27, false}));
    EXPECT_EQ(key(Qt::Key_Right), (P{303, true}));
    EXPECT_EQ(key(Qt::Key_Left), (P{304, true}));
    EXPECT_EQ(key(Qt::Key_PageUp), (P{305, true}));
    EXPECT_EQ(key(Qt::Key_PageDown), (P{306, true}));
    EXPECT_EQ(key(Qt::Key_Period, Qt::KeypadModifier, "."), (P{'.', false}));
    EXPECT_EQ(key(Qt::Key_Shift), (P{-1, false})) << "a modifier alone is no key";
    EXPECT_EQ(key(Qt::Key_E, Qt::NoModifier, "\u00e9"), (P{0xE9, false}));
    EXPECT_EQ(key(Qt::Key_unknown, Qt::NoModifier, "\u20ac"), (P{0x80, false})) << "the euro sign";

    // Keys pressed while a pane has the pointer still go to the window.
    WindowPtr p = NewChildPane(w, 20, RecordingProc, &pane);
    harness::SendClick(p, Point{5, 5});
    harness::SendKey(p, Qt::Key_B, Qt::NoModifier, "b");
    EXPECT_EQ(pane.of(wmMouseDown).size(), 1u);
    EXPECT_TRUE(pane.of(wmKeyDown).empty());
    EXPECT_EQ(r.of(wmKeyDown).back().key, CharKey('b'));
}

// A wide and long document: the horizontal bar takes its height from the view, and the default
// handling of a bar moves by the line and page amounts, up to the width. A tracking loop follows
// the scripted pointer, reported in the document's coordinates: held outside the view, the view
// scrolls one line at each step, down and sideways.
TEST_F(InputTest, ScrollingAndTrackingWithAutoscroll) {
    SetWindowScrollAmounts(w, 10, 100);
    const Rect narrow = GetPortRect(w);
    SetWindowDocSize(w, 3000, 3000);
    const Rect view = GetPortRect(w);
    const int viewWidth = view.right - view.left;
    EXPECT_EQ(viewWidth, narrow.right - narrow.left);
    EXPECT_LT(view.bottom - view.top, narrow.bottom - narrow.top);
    auto sideways = [&](std::int16_t part) {
        WindowMessage m{.kind = wmScrollBar, .part = part, .bar = 1};
        SendWindowMessage(w, m);
        return GetWindowScroll(w);
    };
    EXPECT_EQ(sideways(sbLineDown), (Point{0, 10}));
    EXPECT_EQ(sideways(sbPageDown), (Point{0, 110}));
    EXPECT_EQ(sideways(sbLineUp), (Point{0, 100}));
    for (int i = 0; i < 40; ++i)
        sideways(sbPageDown);
    EXPECT_EQ(GetWindowScroll(w).h, 3000 - viewWidth);
    ScrollWindowTo(w, 0, 0);

    std::vector<Point> seen;
    r.action = [&](WindowPtr win, WindowMessage& m) {
        if (m.kind != wmMouseDown) return false;
        do {
            AutoScrollWindow(win);
            Point p;
            GetMouse(&p);
            seen.push_back(p);
        } while (StillDown());
        return true;
    };
    auto pt = [](int v, int h) { return Point{std::int16_t(v), std::int16_t(h)}; };
    // Inside, then twice below the view, then back inside; the button goes up at the end.
    const int below = view.bottom + 5, right = view.right + 5;
    harness::ScriptPointer(w, {{10, 10}, {40, 10}, pt(below, 10), pt(below, 10), {60, 10}});
    harness::SendMousePress(w, Point{10, 10});
    EXPECT_FALSE(Button());
    EXPECT_EQ(seen, (std::vector<Point>{
                        {10, 10}, {40, 10}, pt(below + 10, 10), pt(below + 20, 10), {80, 10}}));
    // Right twice, left once, then below and right at the same time.
    ScrollWindowTo(w, 0, 0);
    r.clear();
    harness::ScriptPointer(w, {{10, 10}, pt(10, right), pt(10, right), {10, -5}, pt(below, right)});
    harness::SendMousePress(w, Point{10, 10});
    std::vector<std::pair<int, int>> steps; // bar, part
    for (const WindowMessage& m : r.of(wmScrollBar))
        steps.emplace_back(m.bar, m.part);
    EXPECT_EQ(
        steps,
        (std::vector<std::pair<int, int>>{
            {1, sbLineDown}, {1, sbLineDown}, {1, sbLineUp}, {0, sbLineDown}, {1, sbLineDown}}));
    EXPECT_EQ(GetWindowScroll(w), (Point{10, 20}));

    // A wheel notch down scrolls three lines; half a notch waits for the other half.
    r.clear();
    auto wheel = [&](int dy) {
        QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, dy), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(harness::ViewWidget(w), &e);
    };
    wheel(-120);
    wheel(60);
    EXPECT_EQ(r.of(wmScrollBar).size(), 3u);
    wheel(60);
    EXPECT_EQ(r.of(wmScrollBar).size(), 6u);
    EXPECT_EQ(r.of(wmScrollBar).back().part, sbLineUp);
    EXPECT_EQ(GetWindowScroll(w).v, 10);

    // Without a script, a tracking loop in a test sees the button released at once.
    seen.clear();
    harness::SendMousePress(w, Point{10, 10});
    EXPECT_EQ(seen.size(), 1u);

    // Narrow again: the bar goes, the view gets its height back, and nothing scrolls sideways.
    SetWindowDocSize(w, 100, 2000);
    EXPECT_EQ(GetPortRect(w).bottom - GetPortRect(w).top, narrow.bottom - narrow.top);
    EXPECT_EQ(GetWindowScroll(w).h, 0);
    r.clear();
    harness::ScriptPointer(w, {{10, 10}, pt(10, right)});
    harness::SendMousePress(w, Point{10, 10});
    EXPECT_TRUE(r.of(wmScrollBar).empty());
}

TEST_F(InputTest, TheHostsTrackingLoopRunsOnlyInputAndPaint) {
    // The host's own StillDown, not the harness script: a timer due at once must wait until the
    // loop has returned, while the release queued as input ends the loop.
    const InputSource scripted = SetInputSource(InputSource{});
    bool timerRan = false, ranInLoop = false;
    int rounds = 0;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] { timerRan = true; });
    r.action = [&](WindowPtr, WindowMessage& m) {
        if (m.kind != wmMouseDown) return false;
        timer.start(0);
        QCoreApplication::postEvent(harness::ViewWidget(w),
                                    new QMouseEvent(QEvent::MouseButtonRelease, QPointF(10, 10),
                                                    QPointF(10, 10), Qt::LeftButton, Qt::NoButton,
                                                    Qt::NoModifier));
        while (StillDown())
            ranInLoop |= timerRan, ++rounds;
        ranInLoop |= timerRan;
        return true;
    };
    harness::SendMousePress(w, Point{10, 10});
    SetInputSource(scripted);
    EXPECT_FALSE(ranInLoop) << "after " << rounds << " rounds";
    EXPECT_FALSE(Button()) << "the queued release ended the loop";
    QCoreApplication::processEvents();
    EXPECT_TRUE(timerRan);
}

} // namespace
