// Windows, panes, controls, updates, scrolling and the routing of menu commands. (Open requests
// from a drop or a second start are the shell test's and the end-to-end scenarios'.)
#include "tests/support/gui/recorder.h"
#include "toolbox/gui/App.h"
#include "toolbox/harness/Harness.h"
#include <QAbstractButton>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <gtest/gtest.h>
#include <string>

namespace {

class WindowsTest : public ::testing::Test {
protected:
    void TearDown() override {
        while (WindowPtr w = GetNextWindow(nullptr, 7))
            DisposeWindow(w);
        SetMenuCommandHandler(nullptr);
        SetQuitHook(nullptr);
        harness::ProcessUpdates();
    }
    Recorder a, b, c, pane;
};

TEST_F(WindowsTest, LifecycleActivationAndTraversal) {
    WindowPtr w1 = MakeRecordedWindow(kSmallDocumentStyle, a);
    WindowPtr w2 = MakeRecordedWindow(kListDocumentStyle, b);
    WindowPtr w3 = MakeRecordedWindow(kDocumentStyle, c, nullptr, 102);
    ASSERT_TRUE(w1 && w2 && w3);
    EXPECT_EQ(a.kinds(), std::vector<std::uint8_t>{wmCreated});
    EXPECT_EQ(w3->windowKind, 102);
    EXPECT_EQ(FrontWindow(), nullptr) << "new windows are hidden";

    SelectWindow(w1);
    SelectWindow(w2);
    EXPECT_EQ(FrontWindow(), w2);
    ASSERT_EQ(a.of(wmActivate).size(), 2u);
    EXPECT_TRUE(a.of(wmActivate)[0].active);
    EXPECT_FALSE(a.of(wmActivate)[1].active);
    EXPECT_TRUE(b.of(wmActivate).back().active);

    // Visible windows front to back, then hidden ones; class filters.
    SetWindowClass(w1, 1);
    EXPECT_EQ(GetNextWindow(nullptr), w2);
    EXPECT_EQ(GetNextWindow(w2), w1);
    EXPECT_EQ(GetNextWindow(w1), w3);
    EXPECT_EQ(GetNextWindow(nullptr, 1), w1);
    EXPECT_EQ(GetNextWindow(w2, 0), w3);
    SetWindowClass(w3, 4);
    EXPECT_EQ(GetNextWindow(w1, 6), nullptr);
    EXPECT_EQ(GetNextWindow(w1, 7), w3);

    // Disposing of the front window activates the next one; the panes go with it.
    WindowPtr p = NewChildPane(w2, 16, RecordingProc, &pane);
    ASSERT_NE(p, nullptr);
    b.clear();
    DisposeWindow(w2);
    EXPECT_EQ(b.kinds(), std::vector<std::uint8_t>{wmDispose});
    EXPECT_EQ(pane.of(wmDispose).size(), 1u);
    EXPECT_TRUE(a.of(wmActivate).back().active);
}

// The titles of the shown document windows as the frame stacks them, front first.
std::vector<std::string> StackedTitles() {
    std::vector<std::string> titles;
    const auto subs = GetFrameDocumentArea()->subWindowList(QMdiArea::StackingOrder);
    for (auto it = subs.rbegin(); it != subs.rend(); ++it)
        if ((*it)->isVisible()) titles.push_back((*it)->windowTitle().toStdString());
    return titles;
}

TEST_F(WindowsTest, DisposingTheFrontWindowKeepsTheOthersStackedFrontToBack) {
    Recorder d;
    const std::vector<std::string> titles = {"second", "first", "editor", "list"};
    const std::int16_t styles[] = {kListDocumentStyle, kDocumentStyle, kSmallDocumentStyle,
                                   kSmallDocumentStyle};
    Recorder* recorders[] = {&a, &b, &c, &d};
    WindowPtr w[4];
    for (int i = 0; i < 4; ++i) { // the list first, the second small window in front
        w[i] = MakeFrontWindow(styles[i], *recorders[i]);
        ASSERT_NE(w[i], nullptr);
        SetWTitle(w[i], titles[std::size_t(3 - i)].c_str());
    }
    harness::ProcessUpdates();
    EXPECT_EQ(StackedTitles(), titles);

    // The window behind comes to the front, and what stood behind it stays behind it.
    for (int i = 3; i > 1; --i) {
        DisposeWindow(w[i]);
        harness::ProcessUpdates();
        EXPECT_EQ(FrontWindow(), w[i - 1]);
        EXPECT_EQ(StackedTitles(), std::vector<std::string>(titles.end() - i, titles.end()));
    }
}

TEST_F(WindowsTest, GeometryPanesAndFitTest) {
    const Rect bounds{30, 40, 230, 340};
    WindowPtr w = MakeRecordedWindow(kDocumentStyle, a, &bounds);
    EXPECT_EQ(GetWindowBounds(w), bounds);
    WindowPtr p = NewChildPane(w, 24, RecordingProc, &pane);
    EXPECT_EQ(pane.of(wmCreated).size(), 1u);
    // The window's own view starts below the pane and leaves room for the scroll bar.
    const Rect content = GetContentRect(w), port = GetPortRect(w);
    EXPECT_EQ(content.top, bounds.top + 24);
    EXPECT_EQ(content.left, bounds.left);
    EXPECT_LT(content.right, bounds.right);
    EXPECT_EQ(content.bottom, bounds.bottom);
    EXPECT_EQ(port,
              (Rect{0, 0, 200 - 24, static_cast<std::int16_t>(content.right - content.left)}));
    EXPECT_EQ(p->portRect, (Rect{0, 0, 24, 300}));

    a.clear();
    MoveSizeWindow(w, Rect{30, 40, 330, 440});
    EXPECT_EQ(a.of(wmResize).size(), 1u);
    EXPECT_EQ(GetPortRect(w).bottom, 300 - 24);
    SetWindowGrowLimits(w, Rect{64, 64, 2300, 360});
    MoveSizeWindow(w, Rect{30, 40, 50, 60});
    EXPECT_EQ(GetWindowBounds(w), (Rect{30, 40, 94, 104})) << "the minimum size holds";

    EXPECT_TRUE(RectFitsOnScreen(Rect{30, 10, 100, 100}, kDocumentStyle));
    EXPECT_FALSE(RectFitsOnScreen(Rect{5, 10, 100, 100}, kDocumentStyle))
        << "the title bar is outside";
    EXPECT_FALSE(RectFitsOnScreen(Rect{10, 10, 100, 30000}, kDocumentStyle));
}

QWidget* SubwindowOf(WindowPtr w) {
    QWidget* sub = harness::ViewWidget(w);
    while (sub && !qobject_cast<QMdiSubWindow*>(sub))
        sub = sub->parentWidget();
    return sub;
}

// Bounds are the client area exactly, measured on the subwindows the area really shows, even
// after their frame changed: cascaded windows at default bounds lie wholly inside the document
// area, which needs no scroll bars.
TEST_F(WindowsTest, BoundsAreTheClientAreaTheScreenShows) {
    QMdiArea* area = GetFrameDocumentArea();
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) // a wider frame and a much taller title bar
            area->setStyleSheet("QMdiSubWindow { border: 6px solid gray; }"
                                "QMdiSubWindow::title { height: 100px; }");
        std::vector<WindowPtr> shown;
        for (Recorder* r : {&a, &b}) {
            const Rect bounds = GetDefaultWindowBounds(kListDocumentStyle);
            WindowPtr w = MakeRecordedWindow(kListDocumentStyle, *r, &bounds);
            SelectWindow(w);
            harness::ProcessUpdates();
            EXPECT_EQ(harness::ViewWidget(w)->mapTo(area->viewport(), QPoint(0, 0)),
                      QPoint(bounds.left, bounds.top));
            EXPECT_EQ(GetWindowBounds(w), bounds);
            EXPECT_TRUE(area->viewport()->rect().contains(SubwindowOf(w)->geometry()))
                << "pass " << pass;
            shown.push_back(w);
        }
        const QRect first = SubwindowOf(shown[0])->geometry();
        const QRect second = SubwindowOf(shown[1])->geometry();
        EXPECT_NE(second.topLeft(), first.topLeft()) << "cascaded";
        EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
        EXPECT_FALSE(area->verticalScrollBar()->isVisible());
        for (WindowPtr w : shown)
            DisposeWindow(w);
    }
    area->setStyleSheet({});
}

TEST_F(WindowsTest, InvalidationBecomesOneErasedUpdate) {
    WindowPtr hidden = MakeRecordedWindow(kDocumentStyle, b);
    InvalWindowRect(hidden, nullptr);
    WindowPtr w = MakeFrontWindow(kDocumentStyle, a);
    // Something black where the update will come: the update erases it first.
    SetPort(w);
    PaintRect(Rect{0, 0, 50, 50});
    ASSERT_EQ(harness::PixelAt(w, Point{15, 15}), 0x000000u);
    Rect r1{10, 10, 20, 20}, r2{30, 5, 40, 15};
    InvalRect(&r1);
    InvalWindowRect(w, &r2);
    harness::ProcessUpdates();
    const auto updates = a.of(wmUpdate);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].area, (Rect{10, 5, 40, 20}));
    EXPECT_EQ(harness::PixelAt(w, Point{15, 15}), 0xFFFFFFu);
    EXPECT_EQ(harness::PixelAt(w, Point{25, 25}), 0x000000u) << "outside the update region";
    const QImage shown = harness::ViewWidget(w)->grab().toImage();
    EXPECT_EQ(shown.pixel(25, 25) & 0xFFFFFF, 0x000000u) << "what is drawn is on the screen";
    EXPECT_EQ(shown.pixel(15, 15) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_TRUE(b.of(wmUpdate).empty()) << "a hidden window draws nothing";
    ShowWindow(hidden);
    harness::ProcessUpdates();
    EXPECT_EQ(b.of(wmUpdate).size(), 1u);
}

TEST_F(WindowsTest, ScrollBarScalesLargeRanges) {
    WindowPtr w = MakeFrontWindow(kListDocumentStyle, a);
    ControlHandle sb = GetWindowScrollBar(w);
    ASSERT_NE(sb, nullptr);
    auto* bar = harness::ViewWidget(w)->parentWidget()->findChild<QScrollBar*>();
    ASSERT_NE(bar, nullptr);
    SetControlMaximum(sb, 20000);
    SetControlValue(sb, 12345);
    EXPECT_EQ(bar->maximum(), 20000);
    EXPECT_EQ(bar->value(), 12345);
    SetControlMaximum(sb, 1000000);
    SetControlValue(sb, 500000);
    EXPECT_EQ(GetControlMaximum(sb), 1000000);
    EXPECT_EQ(GetControlValue(sb), 500000);
    EXPECT_EQ(bar->maximum(), 32760);
    EXPECT_EQ(bar->value(), 16380);
    EXPECT_EQ(ControlValueForThumb(sb, 32760), 1000000);
    EXPECT_EQ(ControlValueForThumb(sb, 16380), 500000);
    SetControlMaximum(sb, 10);
    EXPECT_EQ(GetControlValue(sb), 10) << "the value is clamped to a smaller maximum";

    // A real thumb drag reaches the procedure as a thumb part with its native position.
    SetControlMaximum(sb, 1000000);
    a.handles = true;
    bar->setSliderPosition(8190);
    const auto parts = a.of(wmScrollBar);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].part, sbThumbTrack);
    EXPECT_EQ(ControlValueForThumb(sb, parts[0].thumb), 250000);
}

TEST_F(WindowsTest, DefaultScrollingByLineAndPage) {
    WindowPtr w = MakeFrontWindow(kSmallDocumentStyle, a, 230, 173);
    SetWindowDocSize(w, 1000, 1000);
    SetWindowScrollAmounts(w, 17, 85);
    ControlHandle sb = GetWindowScrollBar(w);
    const int view = GetPortRect(w).bottom;
    EXPECT_EQ(GetControlMaximum(sb), 1000 - view);

    auto part = [&](std::int16_t p) {
        WindowMessage m{.kind = wmScrollBar, .part = p};
        harness::Deliver(w, m);
        return GetWindowScroll(w).v;
    };
    EXPECT_EQ(part(sbLineDown), 17);
    EXPECT_EQ(part(sbPageDown), 102);
    EXPECT_EQ(part(sbLineUp), 85);
    EXPECT_EQ(part(sbPageUp), 0);
    EXPECT_EQ(part(sbLineUp), 0) << "clamped at the top";
    EXPECT_EQ(GetPortRect(w).top, 0);
    part(sbLineDown);
    EXPECT_EQ(GetPortRect(w).top, 17) << "local coordinates follow the scroll position";
    EXPECT_EQ(GetControlValue(sb), 17);

    // Scrolling exposes a strip that comes as an update in local coordinates.
    harness::ProcessUpdates();
    a.clear();
    part(sbLineDown);
    harness::ProcessUpdates();
    ASSERT_EQ(a.of(wmUpdate).size(), 1u);
    EXPECT_EQ(a.of(wmUpdate)[0].area.top, 34 + view - 17);

    // Revealing a rectangle scrolls the least that shows it, through the scroll-to message.
    RevealRect(w, Rect{600, 0, 617, 10});
    EXPECT_EQ(a.of(wmScrollTo).size(), 1u);
    EXPECT_TRUE(IsRectVisible(w, Rect{600, 0, 617, 10}));
    EXPECT_EQ(GetWindowScroll(w).v, 617 - view);
}

TEST_F(WindowsTest, ControlsReportClicksAndLeaveStateToTheWindow) {
    WindowPtr w = MakeFrontWindow(kDocumentStyle, a);
    WindowPtr p = NewChildPane(w, 40, RecordingProc, &pane);
    ControlHandle r17 = NewControl(p, Rect{5, 4, 17, 120}, "Component Sections", radioButProc, 17);
    ControlHandle r18 =
        NewControl(p, Rect{5, 140, 17, 254}, "Hidden Connections", radioButProc, 18);
    ControlHandle box = NewControl(w, Rect{5, 5, 20, 100}, "Check", checkBoxProc, 3);
    ControlHandle push = NewControl(w, Rect{30, 5, 50, 80}, "OK", pushButProc, 1);
    ASSERT_TRUE(r17 && r18 && box && push);
    EXPECT_EQ(GetWindowControl(p, 18), r18);
    SetControlValue(r17, 1);

    auto button = [](WindowPtr in, const char* title) -> QAbstractButton* {
        for (QAbstractButton* bt : harness::ViewWidget(in)->findChildren<QAbstractButton*>())
            if (bt->text() == title) return bt;
        return nullptr;
    };
    QAbstractButton* b18 = button(p, "Hidden Connections");
    ASSERT_NE(b18, nullptr);
    // A title that needs more room than the rectangle gives widens the button to the right;
    // a push button keeps its rectangle.
    QAbstractButton* narrow = button(w, "Check");
    SetControlTitle(box, "Check box with a long title");
    EXPECT_EQ(narrow->geometry().topLeft(), QPoint(5, 5));
    EXPECT_EQ(narrow->height(), 15);
    EXPECT_GT(narrow->width(), 95);
    EXPECT_GE(narrow->width(), narrow->sizeHint().width());
    for (QAbstractButton* bt : {button(p, "Component Sections"), b18})
        EXPECT_GE(bt->width(), bt->sizeHint().width()) << bt->text().toStdString();
    EXPECT_EQ(button(w, "OK")->geometry(), QRect(5, 30, 75, 20));
    SetControlTitle(box, "Check");
    b18->click();
    ASSERT_EQ(pane.of(wmControlClick).size(), 1u);
    EXPECT_EQ(pane.of(wmControlClick)[0].item, 18);
    EXPECT_EQ(GetControlValue(r18), 0) << "the window sets the value, not the click";
    EXPECT_FALSE(b18->isChecked());
    SetControlValue(r18, 1);
    EXPECT_EQ(GetControlValue(r17), 0) << "radio buttons of a pane form a group";
    EXPECT_TRUE(b18->isChecked());

    a.clear();
    narrow->click();
    button(w, "OK")->click();
    std::vector<std::int16_t> items;
    for (const WindowMessage& m : a.of(wmControlClick))
        items.push_back(m.item);
    EXPECT_EQ(items, (std::vector<std::int16_t>{3, 1}));
    EXPECT_EQ(GetControlValue(box), 0);
}

TEST_F(WindowsTest, MenuCommandRouting) {
    static std::vector<std::int16_t> appGot;
    static int quitHookCalls;
    appGot.clear();
    quitHookCalls = 0;
    SetMenuCommandHandler([](std::int16_t id, OSErr* err) {
        appGot.push_back(id);
        if (id == 205) *err = memFullErr;
        return id != 208;
    });
    WindowPtr back = MakeFrontWindow(kListDocumentStyle, b);
    MakeFrontWindow(kDocumentStyle, a);
    a.action = [](WindowPtr, WindowMessage& m) {
        if (m.kind == wmMenuCommand && m.command == 303) m.err = cancelledErr;
        if (m.kind == wmMenuCommand && m.command == 304) m.err = 12345; // a code without a text
        return m.kind == wmMenuCommand && (m.command >= 302 && m.command <= 304);
    };

    EXPECT_TRUE(DispatchMenuCommand(302));
    EXPECT_TRUE(appGot.empty()) << "the front window took it";
    EXPECT_TRUE(DispatchMenuCommand(201));
    EXPECT_EQ(appGot, std::vector<std::int16_t>{201});
    EXPECT_EQ(a.of(wmMenuCommand).size(), 2u);
    EXPECT_TRUE(b.of(wmMenuCommand).empty()) << "only the front window is asked";

    // A command's error, from the window or from the application, is shown once, by the
    // dispatcher; a cancelled command shows nothing.
    ResetDialogHarness();
    EXPECT_TRUE(DispatchMenuCommand(303));
    EXPECT_TRUE(DispatchMenuCommand(304));
    EXPECT_TRUE(DispatchMenuCommand(205));
    EXPECT_EQ(ShownNoteAlerts(),
              (std::vector<std::string>{"Error:  #12345", "The operation could not be completed "
                                                          "due to insufficient memory!"}));
    appGot.clear();

    // Close (as the program and the test main register it) arrives as a close request, and the
    // default handling disposes of the window.
    a.clear();
    appGot.clear();
    EXPECT_TRUE(DispatchMenuCommand(203));
    EXPECT_TRUE(appGot.empty()) << "the close request alone";
    EXPECT_EQ(a.of(wmCloseRequest).size(), 1u);
    EXPECT_EQ(FrontWindow(), back);

    // Exit that nobody takes runs the quit routine: the hook, then closing what is left.
    SetQuitHook([] { return ++quitHookCalls > 1; });
    EXPECT_TRUE(DispatchMenuCommand(208));
    EXPECT_EQ(quitHookCalls, 1);
    EXPECT_EQ(FrontWindow(), back) << "the hook abandoned the quit";
    b.handles = true; // the window refuses to close
    EXPECT_FALSE(QuitApplication());
    EXPECT_EQ(b.of(wmCloseRequest).size(), 1u);
    b.handles = false;
    EXPECT_TRUE(QuitApplication());
    EXPECT_EQ(GetNextWindow(nullptr), nullptr); // (the frame's close box: save_as_text scenario)
}

} // namespace
