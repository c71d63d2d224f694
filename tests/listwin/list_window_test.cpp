// The package list window driven through the harness: layout and header, scrolling and reveal,
// click selection in its three modes, the highlight across activation, keys, menu enabling.
#include "listwin/ListWindow.h"
#include "resources/Commands.h"
#include "tests/support/ListActions.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/harness/Harness.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

class ListWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(initEntryPool(), noErr); }
    void TearDown() override {
        harness::ScriptPointer(nullptr, {});
        for (PackageFile* f : files_) {
            disposeListWindow(f);
            disposePackageFile(f);
        }
    }

    // An open package file of n stored packages P0, P1, ... (or named as given) with its
    // window in front.
    PackageFile* open(int n, std::vector<std::string> names = {}, bool withActions = false) {
        PackageFile* f = newPackageFile();
        for (int i = n - 1; i >= 0; --i)
            addEntry(f, newEntry(names.empty() ? "P" + std::to_string(i) : names[std::size_t(i)],
                                 nullptr, std::uint32_t(i + 1), ImageState::stored));
        addPackageFile(f);
        files_.push_back(f);
        EXPECT_EQ(showListWindow(f, withActions ? &actions : nullptr), noErr);
        harness::ProcessUpdates();
        return f;
    }

    static Point rowPoint(const PackageFile* f, int row) {
        return {std::int16_t(listArea(f).top + row * listRowHeight() + listRowHeight() / 2), 20};
    }
    // A press on row; with more rows the pointer drags through them and rests on the last.
    static void click(PackageFile* f, std::vector<int> rows, bool shift = false,
                      bool option = false) {
        std::vector<Point> path;
        for (int r : rows)
            path.push_back(rowPoint(f, r));
        if (rows.size() > 1) path.insert(path.end(), 10, path.back());
        harness::ScriptPointer(listWindowOf(f), path);
        WindowMessage m;
        m.kind = wmMouseDown;
        m.where = path.front();
        m.shift = shift;
        m.option = option;
        harness::Deliver(listWindowOf(f), m);
        harness::ScriptPointer(nullptr, {});
    }
    static std::string selection(const PackageFile* f) {
        std::string s;
        for (const PackageEntry* e = f->packages; e; e = e->next)
            s += (e->flags & kSelected) ? '*' : '.';
        return s;
    }
    static void select(PackageFile* f, std::initializer_list<int> indices) {
        for (int i : indices)
            entryAt(f, i)->flags |= kSelected;
        refreshListWindow(f, ListRefresh::keepScroll);
        harness::ProcessUpdates();
    }
    static void scroll(PackageFile* f, std::int16_t part, std::int32_t thumb = 0) {
        WindowMessage m;
        m.kind = wmScrollBar;
        m.part = part;
        m.thumb = thumb;
        harness::Deliver(listWindowOf(f), m);
    }
    // The colour at the left edge of a visible row, beside its text.
    static std::uint32_t rowColour(const PackageFile* f, int row) {
        return harness::PixelAt(listWindowOf(f),
                                {std::int16_t(listArea(f).top + row * listRowHeight() + 1), 0});
    }
    static bool enabled(std::int16_t command, std::string* text = nullptr) {
        MenuEnableRecord rec;
        rec.command = command;
        AskMenuEnabling(rec);
        if (text) *text = rec.text;
        return rec.enabled;
    }

    std::vector<PackageFile*> files_;
    test_support::RecordingListActions actions;
};

// The pixels of the port in r against the same drawing on an off-screen port.
int differingPixels(GrafPtr port, const Rect& r, ColorCode background, const char* text,
                    std::int16_t h, std::int16_t v) {
    GrafPtr off = NewOffscreenPort(r.right, r.bottom);
    GrafPtr old = SetPort(off);
    RGBBackColor(background);
    EraseRect(r);
    MoveTo(h, v);
    DrawText(text);
    SetPort(old);
    int differing = 0;
    for (std::int16_t y = r.top; y < r.bottom; ++y)
        for (std::int16_t x = r.left; x < r.right; ++x)
            differing += harness::PixelAt(port, {y, x}) != harness::PixelAt(off, {y, x});
    DisposeOffscreenPort(off);
    return differing;
}

TEST_F(ListWindowTest, CreationLayoutHeaderAndRows) {
    PackageFile* empty = open(0);
    WindowPtr w = listWindowOf(empty);
    EXPECT_EQ(FrontWindow(), w);
    EXPECT_EQ(currentPackageFile(), empty);
    const Rect b = GetWindowBounds(w);
    EXPECT_EQ(b.bottom - b.top, 14 * listRowHeight() + 17);
    GrafPtr old = SetPort(w);
    EXPECT_EQ(b.right - b.left, TextWidth("12345678901234567890"));
    SetPort(old);
    EXPECT_EQ(GetControlMaximum(listView(empty)->scrollBar), 0);

    // "0 packages" on grey; an empty list area.
    EXPECT_EQ(differingPixels(listView(empty)->headerPane, {0, 0, 16, 100}, kGreyColor,
                              "0 packages", 4, 12),
              0);
    const Rect list = listArea(empty);
    EXPECT_EQ(differingPixels(w, list, kWhiteColor, "", 0, 0), 0);

    // The next window cascades by 18 pixels and shows its rows' names at x 2 on the baseline.
    PackageFile* two = open(2);
    const Rect b2 = GetWindowBounds(listWindowOf(two));
    EXPECT_EQ(b2.left - b.left, 18);
    EXPECT_EQ(b2.top - b.top, 18);
    EXPECT_EQ(differingPixels(listView(two)->headerPane, {0, 0, 16, 100}, kGreyColor, "2 packages",
                              4, 12),
              0);
    const std::int16_t row1 = std::int16_t(list.top + listRowHeight());
    EXPECT_EQ(differingPixels(listWindowOf(two),
                              {row1, 0, std::int16_t(row1 + listRowHeight()), 60}, kWhiteColor,
                              "P1", 2, std::int16_t(row1 + listRowHeight() - listBaselineOffset())),
              0);
}

TEST_F(ListWindowTest, ScrollRangePagingRevealAndHitTest) {
    EXPECT_EQ(GetControlMaximum(listView(open(14))->scrollBar), 0);
    EXPECT_EQ(GetControlMaximum(listView(open(15))->scrollBar), 1);

    PackageFile* f = open(100);
    scroll(f, sbPageDown);
    EXPECT_EQ(listView(f)->topRow, 13); // one row of overlap
    scroll(f, sbLineDown);
    scroll(f, sbPageUp);
    scroll(f, sbLineUp);
    EXPECT_EQ(listView(f)->topRow, 0); // clamped
    scroll(f, sbThumbPosition, 1000000);
    EXPECT_EQ(listView(f)->topRow, 86);

    // The rows that scrolling moves and draws match a full update.
    scroll(f, sbLineUp);
    scroll(f, sbPageUp);
    const Rect list = listArea(f);
    std::vector<std::uint32_t> scrolled;
    for (std::int16_t v = list.top; v < list.bottom; ++v)
        scrolled.push_back(harness::PixelAt(listWindowOf(f), {v, 6}));
    InvalWindowRect(listWindowOf(f), nullptr);
    harness::ProcessUpdates();
    for (std::int16_t v = list.top; v < list.bottom; ++v)
        EXPECT_EQ(harness::PixelAt(listWindowOf(f), {v, 6}), scrolled[v - list.top]) << v;

    // Reveal centres a far selected entry; a visible one stays where it is.
    select(f, {75});
    refreshListWindow(f, ListRefresh::revealSelection);
    EXPECT_EQ(listView(f)->topRow, 72);
    deselectAll(f);
    select(f, {50});
    refreshListWindow(f, ListRefresh::revealSelection);
    EXPECT_EQ(listView(f)->topRow, 44);

    const std::int16_t rh = listRowHeight();
    EXPECT_EQ(rowAt(f, -5), 44);
    EXPECT_EQ(rowAt(f, 2 * rh + 1), 46);
    EXPECT_EQ(rowAt(f, 20 * rh), -57); // below the rows
    EXPECT_EQ(rowAt(open(5), 8 * rh), -4);
    EXPECT_EQ(rowAt(open(1), 3 * rh), -1);
}

TEST_F(ListWindowTest, ClickSelectionModes) {
    PackageFile* f = open(10);
    click(f, {2});
    click(f, {5});
    EXPECT_EQ(selection(f), ".....*....");
    click(f, {7}, true);
    EXPECT_EQ(selection(f), ".....***..");
    select(f, {0, 1}); // between two ranges the anchor is the farther end
    click(f, {3}, true);
    EXPECT_EQ(selection(f), "...*****..");
    click(f, {4}, false, true);
    click(f, {9}, false, true);
    EXPECT_EQ(selection(f), "...*.***.*");

    // Below the last package a plain click clears and a shift-click extends to the end.
    click(f, {12});
    click(f, {12}, true);
    EXPECT_EQ(selection(f), "..........");
    click(f, {6});
    click(f, {12}, true);
    EXPECT_EQ(selection(f), "......****");
    click(f, {12});
    click(f, {4}, true); // nothing selected: just the row
    EXPECT_EQ(selection(f), "....*.....");

    // Drags: a plain drag moves one selection; a toggle drag gives the first row's new state
    // to every row passed.
    click(f, {1, 2, 3, 5});
    EXPECT_EQ(selection(f), ".....*....");
    click(f, {12});
    select(f, {2, 4});
    click(f, {1, 2, 3, 4}, false, true);
    EXPECT_EQ(selection(f), ".****.....");
    click(f, {4, 3, 1}, false, true);
    EXPECT_EQ(selection(f), "..........");

    // Real Qt input: Control toggles, Shift extends.
    click(f, {0});
    harness::SendClick(listWindowOf(f), rowPoint(f, 3), Qt::ControlModifier);
    harness::SendClick(listWindowOf(f), rowPoint(f, 5), Qt::ShiftModifier);
    EXPECT_EQ(selection(f), "******....");
}

TEST_F(ListWindowTest, TrackingAutoscrollsOneRowAtATime) {
    PackageFile* f = open(40);
    const Point below{std::int16_t(listArea(f).bottom + 5), 20};
    harness::ScriptPointer(listWindowOf(f),
                           {rowPoint(f, 12), below, below, below, below, below, below});
    WindowMessage m;
    m.kind = wmMouseDown;
    m.where = rowPoint(f, 12);
    harness::Deliver(listWindowOf(f), m);
    EXPECT_EQ(listView(f)->topRow, 6);
    EXPECT_EQ(selection(f), std::string(17, '.') + "*" + std::string(22, '.'));
}

TEST_F(ListWindowTest, HighlightFollowsActivation) {
    PackageFile* f = open(5);
    select(f, {1});
    EXPECT_EQ(rowColour(f, 1), 0x000000u);
    EXPECT_EQ(rowColour(f, 0), 0xFFFFFFu);
    PackageFile* other = open(3);
    EXPECT_EQ(rowColour(f, 1), 0xFFFFFFu); // the mark stays, the highlight goes
    EXPECT_EQ(selection(f), ".*...");
    EXPECT_EQ(currentPackageFile(), other);
    SelectWindow(listWindowOf(f));
    harness::ProcessUpdates();
    EXPECT_EQ(rowColour(f, 1), 0x000000u);
    EXPECT_EQ(currentPackageFile(), f);

    DispatchMenuCommand(kCmdSelectAll);
    harness::ProcessUpdates();
    EXPECT_EQ(selection(f), "*****");
    EXPECT_EQ(rowColour(f, 4), 0x000000u);
    deselectAll(f);
    EXPECT_EQ(rowColour(f, 4), 0xFFFFFFu);
}

// Records the menu commands that reach the window.
WindowProc gListProc = nullptr;
std::vector<std::int16_t> gCommands;
bool spyProc(WindowPtr w, WindowMessage& m) {
    if (m.kind == wmMenuCommand) gCommands.push_back(m.command);
    return gListProc(w, m);
}

// The move keys one after another on 100 packages, 14 rows in view: the range selected after
// each, the top row, and the end of the range that Shift keeps.
TEST_F(ListWindowTest, MoveKeysSelectRevealAndExtendFromTheAnchor) {
    harness::SendKey(listWindowOf(open(0)), Qt::Key_End); // an empty list: nothing to select
    PackageFile* f = open(100);
    const Qt::KeyboardModifiers no, shift = Qt::ShiftModifier;
    // key, modifiers, first and last selected, top row, anchor
    const std::tuple<int, Qt::KeyboardModifiers, int, int, int, int> steps[] = {
        {Qt::Key_Up, no, 99, 99, 86, 99}, // nothing selected: the last
        {Qt::Key_Home, no, 0, 0, 0, 0},          {Qt::Key_Down, no, 1, 1, 0, 1},
        {Qt::Key_Down, shift, 1, 2, 0, 1},       {Qt::Key_Up, shift, 1, 1, 0, 1},
        {Qt::Key_Up, shift, 0, 1, 0, 1},         {Qt::Key_End, shift, 1, 99, 86, 1},
        {Qt::Key_PageUp, shift, 1, 86, 73, 1},   {Qt::Key_PageDown, no, 99, 99, 86, 99},
        {Qt::Key_PageUp, no, 86, 86, 73, 86},    {Qt::Key_Home, shift, 0, 86, 0, 86},
        {Qt::Key_End, no, 99, 99, 86, 99},       {Qt::Key_Down, no, 99, 99, 86, 99},
        {Qt::Key_PageUp, shift, 86, 99, 73, 99}, {Qt::Key_Up, no, 85, 85, 73, 85},
        {Qt::Key_Home, no, 0, 0, 0, 0}};
    for (const auto& [key, mods, first, last, top, anchor] : steps) {
        harness::SendKey(listWindowOf(f), key, mods);
        SCOPED_TRACE(std::to_string(key) + " to " + std::to_string(last));
        const std::size_t n = std::size_t(last - first + 1);
        EXPECT_EQ(selection(f), std::string(100, '.').replace(std::size_t(first), n, n, '*'));
        EXPECT_EQ(listView(f)->topRow, top);
        EXPECT_EQ(listView(f)->keyRange.anchor, anchor);
    }
    // Shift goes on from a shift-click's anchor, or from the far end of a selection made
    // otherwise; the window is drawn with the new selection.
    click(f, {5});
    click(f, {2}, true);
    harness::SendKey(listWindowOf(f), Qt::Key_Down, shift);
    EXPECT_EQ(selection(f).substr(0, 8), "...***..");
    select(f, {7});
    harness::SendKey(listWindowOf(f), Qt::Key_Up, shift);
    EXPECT_EQ(selection(f).substr(0, 9), "..******.");
    harness::ProcessUpdates();
    EXPECT_EQ(rowColour(f, 2), 0x000000u);
    EXPECT_EQ(rowColour(f, 1), 0xFFFFFFu);
}

// Type-ahead: each character at its time (ms), the package selected after it, and whether the
// beep sounded. Return and Enter open the selection's editors as a double click does; Delete
// and Backspace send Delete when the Edit menu enables it.
TEST_F(ListWindowTest, TypedCharactersSelectByNameReturnOpensEditorsDeleteKeysDelete) {
    PackageFile* f = open(7, {"R1", "c10", "C2", "cap 4", "R22", "Rb", "D1"}, true);
    gListProc = std::exchange(listWindowOf(f)->proc, spyProc);
    gCommands.clear();
    harness::SendKey(listWindowOf(f), Qt::Key_Backspace); // nothing selected: Delete is disabled
    // the character, its time, the package selected, the beep
    const std::tuple<const char*, std::uint32_t, int, bool> typed[] = {
        {"c", 5000, 1, false},                          // from the top, case ignored
        {"a", 5500, 3, false},  {"P", 6400, 3, false},  // at or after the current one
        {" ", 7300, 3, false},                          // a blank goes on with a prefix
        {"5", 8200, 3, true},                           // "CAP 5": none, and the 5 is dropped
        {"4", 9100, 3, false},  {"r", 10100, 4, false}, // a second later: a new prefix
        {"r", 10200, 4, true},  {" ", 11300, 4, false}, // a blank does not start one
        {"d", 11400, 6, false}, {"R", 12400, 0, false}, // the search wraps to the top
    };
    harness::ResetBeeps();
    int beeps = 0;
    for (const auto& [text, when, selected, beep] : typed) {
        harness::SendKey(listWindowOf(f), 0, {}, text, when);
        std::string expected(7, '.');
        expected[std::size_t(selected)] = '*';
        EXPECT_EQ(selection(f), expected) << text << " at " << when;
        EXPECT_EQ(harness::BeepCount(), beeps += beep) << text << " at " << when;
    }

    select(f, {3});
    harness::SendKey(listWindowOf(f), Qt::Key_Return);
    harness::SendKey(listWindowOf(f), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(actions.opened, (std::vector<PackageEntry*>{entryAt(f, 0), entryAt(f, 3),
                                                          entryAt(f, 0), entryAt(f, 3)}));
    EXPECT_TRUE(gCommands.empty());
    harness::SendKey(listWindowOf(f), Qt::Key_Delete);
    EXPECT_EQ(gCommands, std::vector<std::int16_t>{kCmdDelete});
    listWindowOf(f)->proc = gListProc;
}

// The menu enabling of the front list window in situations of its packages (one character per
// package: '.' not selected, '*' selected, 'm' selected and modified), with or without an editor
// module's hook: the commands enabled and disabled there, and the text the window gives Revert
// Package ("" when it sets none; no other command gets a text).
struct EnablingSituation {
    const char* rows;
    bool editors;
    std::vector<std::int16_t> on, off;
    const char* revertText = "";
};

TEST_F(ListWindowTest, MenuEnablingFollowsTheSelection) {
    const EnablingSituation situations[] = {
        {"",
         false,
         {kCmdCreate, kCmdSelectAll, kCmdFind, kCmdFindAgain, kCmdPackageMenu, kCmdAbout},
         {kCmdCut, kCmdCopy, kCmdDelete, kCmdDuplicate, kCmdOpenEditor, kCmdRevertPackage, kCmdUndo,
          kCmdPaste}},
        {"*...",
         false,
         {kCmdCut, kCmdCopy, kCmdDelete, kCmdDuplicate},
         {kCmdOpenEditor, kCmdRevertPackage}},
        {".m..", false, {kCmdRevertPackage}, {}},
        {"*.m.", true, {kCmdRevertPackage, kCmdOpenEditor}, {}, "Revert These Packages"},
        {"*.*.", true, {}, {kCmdRevertPackage}, "Revert These Packages"},
        {"....", true, {kCmdCreate}, {kCmdOpenEditor}},
    };
    for (const EnablingSituation& s : situations) {
        const std::string rows = s.rows;
        PackageFile* f = open(int(rows.size()), {}, s.editors);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i] != '.') entryAt(f, int(i))->flags |= kSelected;
            if (rows[i] == 'm') entryAt(f, int(i))->flags |= kModified;
        }
        for (bool on : {true, false}) {
            for (std::int16_t command : on ? s.on : s.off) {
                SCOPED_TRACE(rows + (s.editors ? " with editors, " : ", ") +
                             std::to_string(command));
                enabled(kCmdEditMenu); // the Edit title takes the selection summary
                std::string text;
                EXPECT_EQ(enabled(command, &text), on);
                EXPECT_EQ(text, command == kCmdRevertPackage ? s.revertText : "");
            }
        }
    }
}

TEST_F(ListWindowTest, FileMenuIsTheApplicationsAndCloseGoesToTheHook) {
    PackageFile* f = open(4, {}, true);
    MenuEnableRecord close;
    close.command = kCmdClose;
    EXPECT_FALSE(listWindowOf(f)->handler(listWindowOf(f), close));

    // Close goes to the application; cancelled, the window stays.
    DispatchMenuCommand(kCmdClose);
    EXPECT_EQ(actions.closing, f);
    EXPECT_NE(listWindowOf(f), nullptr);

    // Without actions a close request disposes of the window alone, with its view state.
    f = open(4);
    DispatchMenuCommand(kCmdClose);
    EXPECT_EQ(listWindowOf(f), nullptr);
    EXPECT_EQ(listView(f), nullptr);
    EXPECT_EQ(f->packageCount, 4);
}

} // namespace
