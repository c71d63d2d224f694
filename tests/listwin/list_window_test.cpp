// The package list window driven through the harness: layout and header, scrolling and
// reveal, click selection in its three modes, the highlight across activation, keys and menu
// enabling.
#include "listwin/ListWindow.h"
#include "listwin/MenuEnabling.h"
#include "model/PackageFile.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Harness.h"
#include "toolbox/gui/Menus.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;

class ListWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(initEntryPool(), noErr);
        installListWindowHooks(ListWindowHooks{});
    }
    void TearDown() override {
        harness::ScriptPointer(nullptr, {});
        harness::ResetKeys();
        for (PackageFile* f : files_) {
            disposeListWindow(f);
            disposePackageFile(f);
        }
    }

    // An open package file of n stored packages named P0, P1, ... with its window in front.
    PackageFile* open(int n) {
        PackageFile* f = newPackageFile();
        for (int i = n - 1; i >= 0; --i)
            addEntry(f, newEntry("P" + std::to_string(i), nullptr, std::uint32_t(i + 1), true));
        addPackageFile(f);
        files_.push_back(f);
        EXPECT_EQ(showListWindow(f), noErr);
        harness::ProcessUpdates();
        return f;
    }

    static Point rowPoint(const PackageFile* f, int row) {
        const Rect list = listArea(f);
        return Point{std::int16_t(list.top + row * listRowHeight() + listRowHeight() / 2), 20};
    }

    static void click(PackageFile* f, int row, bool shift = false, bool option = false) {
        WindowMessage m;
        m.kind = wmMouseDown;
        m.where = rowPoint(f, row);
        m.shift = shift;
        m.option = option;
        harness::Deliver(f->listWindow, m);
    }

    // A drag through the rows of the path; the pointer then rests on the last row for a while
    // before the button goes up.
    static void drag(PackageFile* f, const std::vector<int>& rows, bool option = false) {
        std::vector<Point> path;
        for (int r : rows)
            path.push_back(rowPoint(f, r));
        path.insert(path.end(), 10, path.back());
        harness::ScriptPointer(f->listWindow, path);
        click(f, rows.front(), false, option);
        harness::ScriptPointer(nullptr, {});
    }

    static std::string selection(PackageFile* f) {
        std::string s;
        for (PackageEntry* e = f->packages; e; e = e->next)
            s += (e->flags & kSelected) ? '*' : '.';
        return s;
    }

    static void select(PackageFile* f, std::initializer_list<int> indices) {
        for (int i : indices)
            entryAt(f, i)->flags |= kSelected;
        refreshListWindow(f, false);
        harness::ProcessUpdates();
    }

    static void scroll(PackageFile* f, std::int16_t part, std::int32_t thumb = 0) {
        WindowMessage m;
        m.kind = wmScrollBar;
        m.part = part;
        m.thumb = thumb;
        harness::Deliver(f->listWindow, m);
    }

    // The colour at the left edge of a visible row, between the text and the window's edge.
    static std::uint32_t rowBackground(const PackageFile* f, int row) {
        const Rect list = listArea(f);
        return harness::PixelAt(f->listWindow,
                                Point{std::int16_t(list.top + row * listRowHeight() + 1), 0});
    }

    static bool enabled(std::int16_t command, std::string* text = nullptr) {
        MenuEnableRecord rec;
        rec.command = command;
        std::snprintf(rec.text, sizeof rec.text, "item");
        AskMenuEnabling(rec);
        if (text) *text = rec.text;
        return rec.enabled;
    }
    static void enablingPass() {
        enabled(kCmdEditMenu); // the Edit title takes the selection summary
    }

    std::vector<PackageFile*> files_;
};

// Every pixel of r in the port equals the same pixel drawn by draw into an off-screen port.
void expectSamePixels(GrafPtr port, const Rect& r, ColorCode background, void (*draw)()) {
    GrafPtr off = NewOffscreenPort(r.right, r.bottom);
    GrafPtr old = SetPort(off);
    RGBBackColor(background);
    EraseRect(r);
    draw();
    SetPort(old);
    int differing = 0;
    for (std::int16_t v = r.top; v < r.bottom; ++v)
        for (std::int16_t h = r.left; h < r.right; ++h)
            differing += harness::PixelAt(port, {v, h}) != harness::PixelAt(off, {v, h});
    DisposeOffscreenPort(off);
    EXPECT_EQ(differing, 0);
}

TEST_F(ListWindowTest, CreationLayoutHeaderAndEmptyFile) {
    PackageFile* empty = open(0);
    WindowPtr w = empty->listWindow;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowKind, kListWindowKind);
    EXPECT_EQ(FrontWindow(), w);
    EXPECT_EQ(currentPackageFile(), empty);

    // Fourteen rows below a 17-pixel header; twenty digits wide.
    const Rect b = GetWindowBounds(w);
    EXPECT_EQ(b.bottom - b.top, 14 * listRowHeight() + 17);
    GrafPtr old = SetPort(w);
    EXPECT_EQ(b.right - b.left, TextWidth("12345678901234567890"));
    SetPort(old);
    EXPECT_EQ(empty->lastRowOffset, 13);
    EXPECT_EQ(GetControlMaximum(static_cast<ControlHandle>(empty->scrollBar)), 0);

    // The header reads "0 packages" on grey; the list area is blank.
    expectSamePixels(empty->headerPane, Rect{0, 0, 16, 100}, kGreyColor, [] {
        TextSize(9);
        MoveTo(4, 12);
        DrawText("0 packages");
    });
    const Rect list = listArea(empty);
    int inked = 0;
    for (std::int16_t v = list.top; v < list.bottom; ++v)
        for (std::int16_t h = list.left; h < list.right; ++h)
            inked += harness::PixelAt(w, {v, h}) != kWhite;
    EXPECT_EQ(inked, 0);

    // The next file's window cascades 18 pixels right and down; its header counts its rows,
    // and every row shows its display name at x 2 on the baseline.
    PackageFile* two = open(2);
    const Rect b2 = GetWindowBounds(two->listWindow);
    EXPECT_EQ(b2.left, b.left + 18);
    EXPECT_EQ(b2.top, b.top + 18);
    expectSamePixels(two->headerPane, Rect{0, 0, 16, 100}, kGreyColor, [] {
        TextSize(9);
        MoveTo(4, 12);
        DrawText("2 packages");
    });
    static std::int16_t top;
    top = listArea(two).top;
    expectSamePixels(two->listWindow, Rect{top, 0, std::int16_t(top + 2 * listRowHeight()), 60},
                     kWhiteColor, [] {
                         MoveTo(2, std::int16_t(top + listRowHeight() - listBaselineOffset()));
                         DrawText("P0");
                         MoveTo(2, std::int16_t(top + 2 * listRowHeight() - listBaselineOffset()));
                         DrawText("P1");
                     });

    // Showing again brings the existing window back rather than making another.
    WindowPtr first = two->listWindow;
    EXPECT_EQ(showListWindow(empty), noErr);
    EXPECT_EQ(FrontWindow(), empty->listWindow);
    EXPECT_EQ(showListWindow(two), noErr);
    EXPECT_EQ(two->listWindow, first);
}

TEST_F(ListWindowTest, ScrollRangePagingRevealAndHitTest) {
    EXPECT_EQ(GetControlMaximum(static_cast<ControlHandle>(open(14)->scrollBar)), 0);
    PackageFile* f = open(15);
    EXPECT_EQ(GetControlMaximum(static_cast<ControlHandle>(f->scrollBar)), 1);

    PackageFile* big = open(100);
    scroll(big, sbPageDown);
    EXPECT_EQ(big->topRow, 13); // one row of overlap
    scroll(big, sbLineDown);
    EXPECT_EQ(big->topRow, 14);
    scroll(big, sbPageUp);
    scroll(big, sbLineUp);
    EXPECT_EQ(big->topRow, 0); // clamped
    scroll(big, sbThumbPosition, 1000000);
    EXPECT_EQ(big->topRow, 86);

    // The rows drawn by scrolling match the rows of a full update.
    scroll(big, sbLineUp);
    scroll(big, sbPageUp);
    std::vector<std::uint32_t> scrolled;
    const Rect list = listArea(big);
    for (std::int16_t v = list.top; v < list.bottom; v += 2)
        for (std::int16_t h = 0; h < 40; ++h)
            scrolled.push_back(harness::PixelAt(big->listWindow, {v, h}));
    InvalWindowRect(big->listWindow, nullptr);
    harness::ProcessUpdates();
    std::size_t k = 0, differing = 0;
    for (std::int16_t v = list.top; v < list.bottom; v += 2)
        for (std::int16_t h = 0; h < 40; ++h)
            differing += harness::PixelAt(big->listWindow, {v, h}) != scrolled[k++];
    EXPECT_EQ(differing, 0u);
    EXPECT_EQ(big->topRow, 72);

    // Reveal puts a far entry near the middle; a visible one does not scroll.
    select(big, {3});
    refreshListWindow(big, true);
    EXPECT_EQ(big->topRow, 0);
    select(big, {50});
    refreshListWindow(big, true);
    EXPECT_EQ(big->topRow, 44);

    // Hit test: rows, below the rows, and past the end of a short list.
    const std::int16_t rh = listRowHeight();
    EXPECT_EQ(rowAt(big, -5), 44);
    EXPECT_EQ(rowAt(big, 2 * rh + 1), 46);
    EXPECT_EQ(rowAt(big, 20 * rh), -57);
    PackageFile* five = open(5);
    EXPECT_EQ(rowAt(five, 8 * rh), -4);
    PackageFile* one = open(1);
    EXPECT_EQ(rowAt(one, 0), 0);
    EXPECT_EQ(rowAt(one, 3 * rh), -1);
}

TEST_F(ListWindowTest, ClickSelectionModes) {
    PackageFile* f = open(10);
    click(f, 2);
    EXPECT_EQ(selection(f), "..*.......");
    click(f, 5);
    EXPECT_EQ(selection(f), ".....*....");

    // Shift extends from the farther end of the selection; a click between two ranges leaves
    // one contiguous range.
    click(f, 7, true);
    EXPECT_EQ(selection(f), ".....***..");
    select(f, {0, 1});
    click(f, 3, true);
    EXPECT_EQ(selection(f), "...*****..");

    // Control toggles one row and leaves the rest.
    click(f, 4, false, true);
    EXPECT_EQ(selection(f), "...*.***..");
    click(f, 9, false, true);
    EXPECT_EQ(selection(f), "...*.***.*");

    // Below the last package: a plain click only clears, a shift-click extends to the end.
    click(f, 12);
    EXPECT_EQ(selection(f), "..........");
    click(f, 12, true);
    EXPECT_EQ(selection(f), ".........."); // nothing to extend from
    click(f, 6);
    click(f, 12, true);
    EXPECT_EQ(selection(f), "......****");

    // Shift with nothing selected selects just the clicked row.
    click(f, 12);
    click(f, 4, true);
    EXPECT_EQ(selection(f), "....*.....");

    // A plain drag moves the single selection; a shift drag follows the pointer back.
    drag(f, {1, 2, 3, 5});
    EXPECT_EQ(selection(f), ".....*....");

    // A toggle drag gives every row passed the state opposite to the first row's.
    click(f, 12);
    select(f, {2, 4});
    drag(f, {1, 2, 3, 4}, true);
    EXPECT_EQ(selection(f), ".****.....");
    drag(f, {4, 3, 1}, true);
    EXPECT_EQ(selection(f), "..........");

    // Real Qt input: Control-click toggles, Shift-click extends.
    click(f, 0);
    harness::SendClick(f->listWindow, rowPoint(f, 3), Qt::ControlModifier);
    harness::SendClick(f->listWindow, rowPoint(f, 5), Qt::ShiftModifier);
    EXPECT_EQ(selection(f), "******....");
}

TEST_F(ListWindowTest, AutoscrollTracksOneRowAtATime) {
    PackageFile* f = open(40);
    const Rect list = listArea(f);
    // Press on row 12, then hold the pointer below the window for six steps: each step scrolls
    // one row and the selection follows one row behind the pointer's row.
    const Point below{std::int16_t(list.bottom + 5), 20};
    harness::ScriptPointer(f->listWindow,
                           {rowPoint(f, 12), below, below, below, below, below, below});
    click(f, 12, true);
    harness::ScriptPointer(nullptr, {});
    EXPECT_EQ(f->topRow, 6);
    std::string expected(40, '.');
    expected.replace(12, 6, "******");
    EXPECT_EQ(selection(f), expected);
}

TEST_F(ListWindowTest, HighlightFollowsActivation) {
    PackageFile* f = open(5);
    select(f, {1});
    EXPECT_EQ(rowBackground(f, 1), kBlack);
    EXPECT_EQ(rowBackground(f, 0), kWhite);

    PackageFile* other = open(3);
    harness::ProcessUpdates();
    EXPECT_EQ(rowBackground(f, 1), kWhite); // marks kept, highlight gone
    EXPECT_EQ(selection(f), ".*...");
    EXPECT_EQ(currentPackageFile(), other);

    SelectWindow(f->listWindow);
    harness::ProcessUpdates();
    EXPECT_EQ(rowBackground(f, 1), kBlack);
    EXPECT_EQ(currentPackageFile(), f);

    // Select All through the menu command routing highlights every row at once.
    DispatchMenuCommand(kCmdSelectAll);
    harness::ProcessUpdates();
    EXPECT_EQ(selection(f), "*****");
    EXPECT_EQ(rowBackground(f, 4), kBlack);
    deselectAll(f);
    EXPECT_EQ(rowBackground(f, 4), kWhite);
}

// Records menu commands reaching the window before its own procedure sees them.
WindowProc gListProc = nullptr;
std::vector<std::int16_t> gCommands;
bool spyProc(WindowPtr w, WindowMessage& m) {
    if (m.kind == wmMenuCommand) gCommands.push_back(m.command);
    return gListProc(w, m);
}

TEST_F(ListWindowTest, DeleteKeysFollowTheDeleteItem) {
    PackageFile* f = open(3);
    WindowPtr w = f->listWindow;
    gListProc = w->proc;
    w->proc = spyProc;
    gCommands.clear();
    harness::SendKey(w, Qt::Key_Backspace);
    harness::SendKey(w, Qt::Key_Delete);
    EXPECT_TRUE(gCommands.empty());
    EXPECT_FALSE(deleteEnabled());

    click(f, 1);
    harness::SendKey(w, Qt::Key_Backspace);
    harness::SendKey(w, Qt::Key_A);
    EXPECT_EQ(gCommands, std::vector<std::int16_t>{kCmdDelete});
    EXPECT_TRUE(deleteEnabled());
    w->proc = gListProc;
}

TEST_F(ListWindowTest, MenuEnabling) {
    PackageFile* empty = open(0);
    (void)empty;
    enablingPass();
    for (std::int16_t c : {kCmdCut, kCmdCopy, kCmdDelete, kCmdDuplicate, kCmdOpenEditor,
                           kCmdRevertPackage, kCmdUndo, kCmdPaste, kCmdCreate})
        EXPECT_FALSE(enabled(c)) << c;
    for (std::int16_t c : {kCmdSelectAll, kCmdFind, kCmdFindAgain, kCmdPackageMenu, kCmdAbout})
        EXPECT_TRUE(enabled(c)) << c;
    std::string text;
    enabled(kCmdCreate, &text);
    EXPECT_EQ(text, "Create New Package");

    PackageFile* f = open(4);
    select(f, {0});
    enablingPass();
    for (std::int16_t c : {kCmdCut, kCmdCopy, kCmdDelete, kCmdDuplicate})
        EXPECT_TRUE(enabled(c)) << c;
    EXPECT_FALSE(enabled(kCmdRevertPackage, &text)); // nothing modified
    EXPECT_EQ(text, "Revert This Package");

    // Two selected, one of them modified; an editor module makes Open Editor and Create live.
    entryAt(f, 2)->flags |= kSelected | kModified;
    ListWindowHooks hooks;
    hooks.openEditors = [](PackageFile*) {};
    installListWindowHooks(hooks);
    enablingPass();
    EXPECT_TRUE(enabled(kCmdRevertPackage, &text));
    EXPECT_EQ(text, "Revert These Packages");
    EXPECT_TRUE(enabled(kCmdOpenEditor));
    EXPECT_TRUE(enabled(kCmdCreate));
    // The File menu is the application's: the list window leaves it undecided.
    MenuEnableRecord close;
    close.command = kCmdClose;
    EXPECT_FALSE(f->listWindow->handler(f->listWindow, close));
}

TEST_F(ListWindowTest, CloseRequestGoesThroughTheHook) {
    PackageFile* f = open(2);
    static PackageFile* asked;
    asked = nullptr;
    ListWindowHooks hooks;
    hooks.closePackageFile = [](PackageFile* file) {
        asked = file;
        return true; // cancelled: the window stays
    };
    installListWindowHooks(hooks);
    DispatchMenuCommand(kCmdClose);
    EXPECT_EQ(asked, f);
    EXPECT_NE(f->listWindow, nullptr);
    disposeListWindow(f);
    EXPECT_EQ(f->listWindow, nullptr);
    EXPECT_EQ(f->headerPane, nullptr);
}

} // namespace
