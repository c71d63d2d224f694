// The item list of the package editor through the harness: rows as drawn, clicks, drags and keys
// in their modes, right-drag marks, the field editors opened. Package content: item_ops_test.
#include "editor/FieldEditor.h"
#include "editor/ItemList.h"
#include "listwin/PackageClipboard.h"
#include "resources/Commands.h"
#include "tests/support/EditorTest.h"
#include "tests/support/gui/window_input.h"
#include "toolbox/gui/HostHooks.h"
#include "toolbox/harness/Harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using namespace test_support;

namespace {

using Rows = std::vector<int>;
using Pieces = std::vector<std::pair<int, std::string>>;

// Per pixel row from the top: '#' where columns 0 and 300 are black, '.' white, '?' otherwise.
std::string marks(WindowPtr w, int pixelRows) {
    std::string s;
    for (int v = 0; v < pixelRows; ++v) {
        const std::uint32_t a = PixelAt(w, 0, v), b = PixelAt(w, 300, v);
        s += a == 0 && b == 0 ? '#' : a == 0xFFFFFF && b == 0xFFFFFF ? '.' : '?';
    }
    return s;
}

// The marks of the front window at each step of a tracking loop, before the pointer moves on.
std::vector<std::string> gSteps;
InputSource gHarnessInput;
bool probingStillDown(bool* down) {
    gSteps.push_back(marks(FrontWindow(), 4 * itemRowHeight()));
    return gHarnessInput.stillDown(down);
}

class ItemListTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        openEditing(buildImage({{"P", "U", "DIP"}, {}, {}})); // each test fills its rows
        ASSERT_FALSE(HasFatalFailure());
        h = itemRowHeight();
        Rect bounds = GetWindowBounds(editor->window); // room for the longest row
        bounds.right = std::int16_t(bounds.left + 600);
        MoveSizeWindow(editor->window, bounds);
    }

    void addSections(int count) {
        for (int id = 1; id <= count; ++id)
            ASSERT_EQ(addSection(editor->working, 0, {.classId = id}), noErr);
        remeasure(editor);
        harness::ProcessUpdates();
    }
    Rows classIds() const {
        Rows ids;
        for (int k = 1; k <= editor->working.sectionCount; ++k)
            ids.push_back(sectionAt(editor->working, k)->classId);
        return ids;
    }
    Rows selected() const {
        Rows rows;
        for (int r = 0; r < rowCount(editor); ++r)
            if (isRowSelected(editor, r)) rows.push_back(r);
        return rows;
    }
    static Rows opened() { // the numbers of the open field editors
        Rows numbers;
        for (FieldEditor* fe : windowRecords(fieldEditorOfWindow))
            numbers.push_back(fe->index);
        std::ranges::sort(numbers);
        return numbers;
    }
    Point rowPoint(int row) const { return Point{std::int16_t(row * h + h / 2), 60}; }
    // A press on the row, the pointer then passing over the rows of path.
    void click(int from, Qt::KeyboardModifiers mods = {}, Rows path = {},
               Qt::MouseButton button = Qt::LeftButton) {
        std::vector<Point> points{rowPoint(from)};
        for (int r : path)
            points.push_back(rowPoint(r));
        harness::ScriptPointer(editor->window, points);
        harness::SendClick(editor->window, rowPoint(from), mods, when += 1000, button);
    }
    // Pixels of row `row` (380 columns from `from`) that differ from the texts drawn on its
    // baseline, each at its left (-1: where the last ended).
    int rowDiffers(int row, const Pieces& pieces, int from = 0) {
        const std::int16_t top = std::int16_t(row * h);
        return DifferingPixels(
            editor->window,
            {top, std::int16_t(from), std::int16_t(top + h), std::int16_t(from + 380)}, [&] {
                SetPortTextStyle(StandardTextStyle(1));
                for (const auto& [left, text] : pieces) {
                    if (left >= 0)
                        MoveTo(std::int16_t(left), std::int16_t(top + h - itemRowDescent()));
                    DrawText(text.c_str());
                }
            });
    }

    std::int16_t h = 0;
    std::uint32_t when = 0;
};

TEST_F(ItemListTest, RowsShowTheirTextsAndHighlightOnlyInTheFrontWindow) {
    // A row wider than the window shows its pairs where the list is scrolled to.
    addSections(2);
    Pieces pieces{{2, "(A)   Class ID:           1   Pin Swaps: "}};
    for (int k = 1; k <= 60; ++k) {
        ASSERT_EQ(appendPinPair(editor->working, 1, std::to_string(k), std::to_string(100 + k)),
                  noErr);
        pieces.insert(pieces.end(),
                      {{-1, "(" + std::to_string(k) + ","}, {-1, std::to_string(100 + k) + ")  "}});
    }
    InvalWindowRect(editor->window, nullptr);
    harness::ProcessUpdates();
    EXPECT_EQ(rowDiffers(0, pieces), 0);
    EXPECT_EQ(rowDiffers(1, {{2, "(B)   Class ID:           2"}}), 0);
    ScrollWindowTo(editor->window, 1500, 0);
    harness::ProcessUpdates();
    EXPECT_EQ(rowDiffers(0, pieces, 1500), 0);
    ScrollWindowTo(editor->window, 0, 0);

    // The nets: the pins start at one column whatever the name's width.
    for (const char* t : {"\t7\t14", "GND\t1"})
        insertNetItem(editor->working, 0, newNetItem(std::string_view(t)));
    showList(editor, 1, true);
    harness::ProcessUpdates();
    SetPort(editor->window);
    const int column = 2 + TextWidth("12345678901234567  ");
    EXPECT_EQ(rowDiffers(0, {{2, "Unnamed Net"}, {column, "7"}, {-1, ",  "}, {-1, "14"}}), 0);
    EXPECT_EQ(rowDiffers(1, {{2, "GND"}, {column, "1"}}), 0);

    // A selected row is inverted across the window only while the window is in front.
    click(1);
    EXPECT_EQ(marks(editor->window, 2 * h), std::string(h, '.') + std::string(h, '#'));
    SelectWindow(listWindowOf(file));
    harness::ProcessUpdates();
    EXPECT_TRUE(isRowSelected(editor, 1));
    EXPECT_EQ(marks(editor->window, 2 * h), std::string(2 * h, '.'));
}

TEST_F(ItemListTest, ClicksSelectExtendToggleAndDragInTheirModes) {
    addSections(6);
    // The modifiers choosing the modes (their rules: the list window's test), and the space
    // below the rows, the last row for Shift.
    click(1);
    click(3, Qt::ShiftModifier);
    click(6, Qt::ShiftModifier); // row 6 is below the last
    EXPECT_EQ(selected(), (Rows{1, 2, 3, 4, 5}));
    click(6); // a plain click there only deselects
    EXPECT_TRUE(selected().empty());
    click(0);
    click(2, Qt::ControlModifier, {3});
    EXPECT_EQ(selected(), (Rows{0, 2, 3}));
    SendCommand(editor->window, kCmdCut);
    EXPECT_TRUE(classIds() == (Rows{2, 5, 6}) && itemClipboard()->sectionCount == 3);

    // A double click opens the field editors of the selection.
    click(1);
    harness::SendDoubleClickEvent(editor->window, rowPoint(1), {}, when += 100);
    EXPECT_EQ(opened(), Rows{2});
}

// Keys on 24 sections, more than the window shows: the rows selected and the row revealed after
// each (the key rules are the list window's test). Then Create, from the header: each opens only
// its own new section, and none past 26.
TEST_F(ItemListTest, KeysSelectAndRevealReturnAndCreateOpenFieldEditors) {
    addSections(24);
    setFocus(editor, EditorFocus::window);
    auto inView = [this](int row) {
        return IsRectVisible(editor->window,
                             {std::int16_t(row * h + 1), 0, std::int16_t(row * h + h - 1), 10});
    };
    ASSERT_FALSE(inView(23));
    const Qt::KeyboardModifiers no, shift = Qt::ShiftModifier;
    // key, modifiers, first and last row selected, the row in view
    const std::tuple<int, Qt::KeyboardModifiers, int, int, int> steps[] = {
        {Qt::Key_Up, no, 23, 23, 23}, // nothing selected: the last
        {Qt::Key_Home, no, 0, 0, 0},     {Qt::Key_Down, shift, 0, 1, 1},
        {Qt::Key_End, shift, 0, 23, 23}, {Qt::Key_Up, shift, 0, 22, 22},
        {Qt::Key_PageUp, no, 0, 22, 22}, // not taken
        {Qt::Key_End, no, 23, 23, 23},   {Qt::Key_Up, shift, 22, 23, 22}};
    for (const auto& [key, mods, first, last, shown] : steps) {
        harness::SendKey(editor->window, key, mods);
        Rows rows;
        for (int r = first; r <= last; ++r)
            rows.push_back(r);
        EXPECT_TRUE(selected() == rows && inView(shown)) << key;
    }
    harness::SendKey(editor->window, Qt::Key_Return);
    EXPECT_EQ(opened(), (Rows{23, 24}));
    setFocus(editor, EditorFocus::header);
    for (const Rows& open : {Rows{25}, Rows{26}, Rows{}}) {
        while (FieldEditor* fe = findFieldEditor(editor, 0))
            closeFieldEditor(fe, Validation::skip);
        SendCommand(editor->window, kCmdCreate);
        EXPECT_EQ(opened(), open);
    }
}

TEST_F(ItemListTest, RightDragsMarkAndMoveSections) {
    // While S1, S2, S3 are dragged the anchor's row is black, and from the second step on a
    // 2-pixel insertion line at the top given (below the anchor: the row's bottom edge; above: its
    // top edge, half above the list for row 0; none: -9). Each case goes on from the last order.
    const struct {
        int from;
        Rows path, order, lineTops;
    } cases[] = {
        {0, {1, 2}, {2, 3, 1}, {2 * h - 1, 3 * h - 1}}, // S1 released over S3: S2, S3, S1
        {0, {1, 0}, {3, 1, 2}, {2 * h - 1, -9}},        // S1 back over itself: to the end
        {2, {1, 0}, {2, 3, 1}, {h - 1, -1}},            // S3 onto S1: S3, S1, S2
    };
    InputSource probing = gHarnessInput = GetInputSource();
    probing.stillDown = probingStillDown;
    SetInputSource(probing);
    const std::string white(std::size_t(4 * h), '.');
    addSections(3);
    for (const auto& c : cases) {
        std::string anchor = white;
        anchor.replace(std::size_t(c.from * h), std::size_t(h), std::size_t(h), '#');
        std::vector<std::string> expected{anchor};
        for (int top : c.lineTops) {
            expected.push_back(anchor);
            for (int v = std::max(top, 0); v < top + 2; ++v)
                expected.back()[std::size_t(v)] = '#';
        }
        gSteps.clear();
        click(c.from, {}, c.path, Qt::RightButton);
        EXPECT_EQ(gSteps, expected) << "from row " << c.from;
        EXPECT_EQ(marks(editor->window, 4 * h), white) << "taken off at the release";
        harness::ProcessUpdates();
        EXPECT_EQ(marks(editor->window, 4 * h), white) << "and not drawn again";
        EXPECT_EQ(classIds(), c.order);
    }
    SetInputSource(gHarnessInput);
}

} // namespace
