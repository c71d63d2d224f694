// The package list window driven through the harness: layout and header, scrolling and reveal,
// what the end-to-end scenarios do not click (below the rows, drags, autoscroll), the highlight
// across activation, the move keys and type-ahead, menu enabling.
#include "listwin/ListWindow.h"
#include "resources/Commands.h"
#include "tests/support/Library.h"
#include "tests/support/ListActions.h"
#include "tests/support/gui/gui_support.h"
#include "tests/support/gui/window_input.h"
#include "toolbox/harness/Harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace test_support;

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
        return {std::int16_t(listArea(f).top + (2 * row + 1) * listView(f)->rowHeight / 2), 20};
    }
    // A press on row; with more rows the pointer drags through them and rests on the last.
    static void click(PackageFile* f, std::vector<int> rows, bool shift = false,
                      bool option = false) {
        std::vector<Point> path;
        for (int r : rows)
            path.push_back(rowPoint(f, r));
        if (rows.size() > 1) path.insert(path.end(), 10, path.back());
        press(f, path, shift, option);
    }
    // A press at the first point; the pointer then goes through the others.
    static void press(PackageFile* f, const std::vector<Point>& path, bool shift = false,
                      bool option = false) {
        harness::ScriptPointer(listWindowOf(f), path);
        WindowMessage m{
            .kind = wmMouseDown, .where = path.front(), .shift = shift, .option = option};
        harness::Deliver(listWindowOf(f), m);
        harness::ScriptPointer(nullptr, {});
    }
    static void select(PackageFile* f, std::initializer_list<int> indices) {
        for (int i : indices)
            entryAt(f, i)->flags |= kSelected;
        refreshListWindow(f, ListRefresh::keepScroll);
        harness::ProcessUpdates();
    }
    static void scroll(PackageFile* f, std::int16_t part, std::int32_t thumb = 0) {
        WindowMessage m{.kind = wmScrollBar, .part = part, .thumb = thumb};
        harness::Deliver(listWindowOf(f), m);
    }
    // The colour at the left edge of a visible row, beside its text.
    static std::uint32_t rowColour(const PackageFile* f, int row) {
        return harness::PixelAt(
            listWindowOf(f), {std::int16_t(listArea(f).top + row * listView(f)->rowHeight + 1), 0});
    }

    std::vector<PackageFile*> files_;
    test_support::RecordingListActions actions;
};

// The pixels of the port in r against text drawn at (h, v) on the background.
int differingPixels(GrafPtr port, const Rect& r, ColorCode background, const char* text,
                    std::int16_t h, std::int16_t v) {
    return DifferingPixels(port, r, [&] {
        RGBBackColor(background);
        EraseRect(r);
        MoveTo(h, v);
        DrawText(text);
    });
}

TEST_F(ListWindowTest, CreationLayoutHeaderAndRows) {
    PackageFile* empty = open(0);
    WindowPtr w = listWindowOf(empty); // in front and current: the highlight test's
    const Rect b = GetWindowBounds(w);
    const ListView& view = *listView(empty);
    EXPECT_EQ(b.bottom - b.top, 14 * view.rowHeight + 17);
    GrafPtr old = SetPort(w);
    EXPECT_EQ(b.right - b.left, TextWidth("12345678901234567890"));
    SetPort(old);
    EXPECT_EQ(GetControlMaximum(view.scrollBar), 0);

    // "0 packages" on grey; an empty list area.
    EXPECT_EQ(differingPixels(view.headerPane, {0, 0, 16, 100}, kGreyColor, "0 packages", 4, 12),
              0);
    const Rect list = listArea(empty);
    EXPECT_EQ(differingPixels(w, list, kWhiteColor, "", 0, 0), 0);

    // The rows' names at x 2 on the baseline.
    PackageFile* two = open(2);
    const std::int16_t row1 = std::int16_t(list.top + view.rowHeight);
    EXPECT_EQ(differingPixels(listWindowOf(two), {row1, 0, std::int16_t(row1 + view.rowHeight), 60},
                              kWhiteColor, "P1", 2,
                              std::int16_t(row1 + view.rowHeight - view.baselineOffset)),
              0);
}

TEST_F(ListWindowTest, ScrollRangePagingAndReveal) {
    EXPECT_EQ(GetControlMaximum(listView(open(14))->scrollBar), 0);
    EXPECT_EQ(GetControlMaximum(listView(open(15))->scrollBar), 1);

    PackageFile* f = open(100);
    scroll(f, sbPageDown);
    EXPECT_EQ(listView(f)->topRow, 13); // one row of overlap
    for (std::int16_t part : {sbLineDown, sbPageUp, sbLineUp})
        scroll(f, part);
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
}

// Plain clicks, Shift-clicks, Ctrl-clicks and the far anchor between two ranges are the
// select_rows scenario's; here what it does not click.
TEST_F(ListWindowTest, ClicksBelowTheRowsAndDrags) {
    PackageFile* f = open(10);
    // Below the last package a plain click clears and a shift-click extends to the end.
    click(f, {5});
    click(f, {12});
    click(f, {12}, true);
    EXPECT_EQ(selectionMarks(f), "..........");
    click(f, {6});
    click(f, {12}, true);
    EXPECT_EQ(selectionMarks(f), "......****");
    click(f, {12});
    click(f, {4}, true); // nothing selected: just the row
    EXPECT_EQ(selectionMarks(f), "....*.....");

    // Drags: a plain drag moves one selection; a toggle drag gives the first row's new state
    // to every row passed.
    click(f, {1, 2, 3, 5});
    EXPECT_EQ(selectionMarks(f), ".....*....");
    click(f, {12});
    select(f, {2, 4});
    click(f, {1, 2, 3, 4}, false, true);
    EXPECT_EQ(selectionMarks(f), ".****.....");
    click(f, {4, 3, 1}, false, true);
    EXPECT_EQ(selectionMarks(f), "..........");

    // Held below the list, the tracking scrolls one row at a time.
    PackageFile* g = open(40);
    const Point below{std::int16_t(listArea(g).bottom + 5), 20};
    press(g, {rowPoint(g, 12), below, below, below, below, below, below});
    EXPECT_EQ(listView(g)->topRow, 6);
    EXPECT_EQ(selectionMarks(g), std::string(17, '.') + "*" + std::string(22, '.'));
}

TEST_F(ListWindowTest, HighlightFollowsActivation) {
    PackageFile* f = open(5);
    select(f, {1});
    EXPECT_EQ(rowColour(f, 1), 0x000000u);
    EXPECT_EQ(rowColour(f, 0), 0xFFFFFFu);
    PackageFile* other = open(3);
    EXPECT_EQ(rowColour(f, 1), 0xFFFFFFu); // the mark stays, the highlight goes
    EXPECT_EQ(selectionMarks(f), ".*...");
    EXPECT_EQ(currentPackageFile(), other);
    SelectWindow(listWindowOf(f));
    harness::ProcessUpdates();
    EXPECT_EQ(rowColour(f, 1), 0x000000u);
    EXPECT_EQ(currentPackageFile(), f);
    deselectAll(f);
    EXPECT_EQ(rowColour(f, 1), 0xFFFFFFu);
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
        EXPECT_EQ(selectionMarks(f), std::string(100, '.').replace(std::size_t(first), n, n, '*'));
        EXPECT_EQ(listView(f)->topRow, top);
        EXPECT_EQ(listView(f)->keyRange.anchor, anchor);
    }
    // Shift goes on from a shift-click's anchor, or from the far end of a selection made
    // otherwise; the window is drawn with the new selection.
    click(f, {5});
    click(f, {2}, true);
    harness::SendKey(listWindowOf(f), Qt::Key_Down, shift);
    EXPECT_EQ(selectionMarks(f).substr(0, 8), "...***..");
    select(f, {7});
    harness::SendKey(listWindowOf(f), Qt::Key_Up, shift);
    EXPECT_EQ(selectionMarks(f).substr(0, 9), "..******.");
    harness::ProcessUpdates();
    EXPECT_EQ(rowColour(f, 2), 0x000000u);
    EXPECT_EQ(rowColour(f, 1), 0xFFFFFFu);
}

// Type-ahead: each character at its time (ms), the package selected after it, and whether the
// beep sounded (Return and Delete are the keyboard_only scenario's).
TEST_F(ListWindowTest, TypedCharactersSelectByName) {
    PackageFile* f = open(7, {"R1", "c10", "C2", "cap 4", "R22", "Rb", "D1"});
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
        EXPECT_EQ(selectionMarks(f), expected) << text << " at " << when;
        EXPECT_EQ(harness::BeepCount(), beeps += beep) << text << " at " << when;
    }
}

// The menu enabling of the front list window in situations of its packages ('.' not selected, '*'
// selected, 'm' selected and modified), with or without actions to open editors: per command '+'
// enabled, '-' disabled (Undo never, Paste not with an empty clipboard, the last four always),
// and the text it gives Revert Package ("" when none; no other command gets a text).
TEST_F(ListWindowTest, MenuEnablingFollowsTheSelection) {
    const std::int16_t kCommands[] = {kCmdCut,        kCmdCopy,          kCmdDelete, kCmdDuplicate,
                                      kCmdOpenEditor, kCmdRevertPackage, kCmdPaste,  kCmdUndo,
                                      kCmdCreate,     kCmdSelectAll,     kCmdFind,   kCmdFindAgain};
    const std::tuple<const char*, bool, const char*, const char*> situations[] = {
        {"", false, "--------++++", ""},
        {"*...", false, "++++----++++", ""},
        {".m..", false, "++++-+--++++", ""},
        {"*.m.", true, "++++++--++++", "Revert These Packages"},
        {"*.*.", true, "+++++---++++", "Revert These Packages"},
        {"....", true, "--------++++", ""},
    };
    for (const auto& [rows, editors, states, revertText] : situations) {
        PackageFile* f = open(int(std::strlen(rows)), {}, editors);
        for (int i = 0; rows[i]; ++i) {
            if (rows[i] != '.') entryAt(f, i)->flags |= kSelected;
            if (rows[i] == 'm') entryAt(f, i)->flags |= kModified;
        }
        std::string got, texts;
        for (std::int16_t command : kCommands) {
            std::string text;
            got += MenuItemEnabled(command, &text) ? '+' : '-';
            texts += text;
        }
        EXPECT_EQ(got, states) << rows << (editors ? " with editors" : "");
        EXPECT_EQ(texts, revertText) << rows << (editors ? " with editors" : "");
    }
}

} // namespace
