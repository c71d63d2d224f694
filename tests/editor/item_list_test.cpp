// The item list of the package editor through the harness: the row texts and their places,
// the highlight, clicks and drags in their modes, the list commands and the right-button move
// of sections with its marks.
#include "editor/ItemList.h"
#include "listwin/ListCommands.h"
#include "listwin/PackageClipboard.h"
#include "resources/Commands.h"
#include "tests/support/EditorTest.h"
#include "tests/support/gui/window_input.h"
#include "toolbox/gui/HostHooks.h"
#include "toolbox/harness/Harness.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace test_support;

namespace {

using Rows = std::vector<int>;

Rows gOpened;
std::vector<Rows> gRenumbered;

// The list's marks at each step of a tracking loop, probed before the pointer moves on: one
// character per pixel row from the top, '#' where columns 0 and 300 are both black, '.' where
// both are white, '?' otherwise.
WindowPtr gProbed = nullptr;
int gProbedRows = 0;
std::vector<std::string> gSteps;
InputSource gHarnessInput;

std::string marks(WindowPtr w, int pixelRows) {
    std::string s;
    for (int v = 0; v < pixelRows; ++v) {
        const std::uint32_t a = PixelAt(w, 0, v), b = PixelAt(w, 300, v);
        s += a == 0 && b == 0 ? '#' : a == 0xFFFFFF && b == 0xFFFFFF ? '.' : '?';
    }
    return s;
}

class ItemListTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        EditorExtensions ext = editorExtensions();
        ext.openFieldEditor = [](PackageEditor*, int number) {
            gOpened.push_back(number);
            return true;
        };
        ext.renumberFieldEditors = [](PackageEditor*, bool, const Rows& newNumber) {
            gRenumbered.push_back(newNumber);
        };
        installEditorExtensions(ext);
        gOpened.clear();
        gRenumbered.clear();
        file = openImage(buildImage({{"P", "U", "DIP"}, {}, {}})); // each test fills its rows
        ASSERT_NE(file, nullptr);
        editor = openEditor(entryAt(file, 0));
        ASSERT_NE(editor, nullptr);
        h = itemRowHeight();
        Rect bounds = GetWindowBounds(editor->window); // room for the longest row
        bounds.right = std::int16_t(bounds.left + 600);
        MoveSizeWindow(editor->window, bounds);
    }
    void TearDown() override {
        EditorTest::TearDown();
        setItemClipboard(nullptr);
    }

    void addSections(std::initializer_list<int> ids) {
        for (int id : ids) {
            ComponentSection s;
            s.classId = id;
            ASSERT_EQ(addSection(editor->working, 0, s), noErr);
        }
        remeasure(editor);
        harness::ProcessUpdates();
    }
    void addNets(std::initializer_list<const char*> texts) {
        for (const char* t : texts)
            insertNetItem(editor->working, 0, newNetItem(std::string_view(t)));
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
    Point rowPoint(int row) const { return Point{std::int16_t(row * h + h / 2), 60}; }
    // A press on the row with the pointer then passing over the rows of path.
    void drag(int from, Rows path, Qt::MouseButton button = Qt::LeftButton,
              Qt::KeyboardModifiers mods = Qt::NoModifier) {
        std::vector<Point> points{rowPoint(from)};
        for (int r : path)
            points.push_back(rowPoint(r));
        harness::ScriptPointer(editor->window, points);
        harness::SendClick(editor->window, rowPoint(from), mods, when += 1000, button);
    }
    void click(int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        drag(row, {}, Qt::LeftButton, mods);
    }
    void clickBelow(Qt::KeyboardModifiers mods) {
        harness::SendClick(editor->window, Point{std::int16_t(6 * h + 3), 60}, mods, when += 1000);
    }
    void command(std::int16_t c) { SendCommand(editor->window, c); }
    // Mismatching pixels between row `row` of the window and the texts drawn on the row's
    // baseline in an off-screen port, each at its horizontal position (-1: where the last ended),
    // over the 380 columns from `from`.
    int rowDiffers(int row, const std::vector<std::pair<int, std::string>>& pieces, int from = 0) {
        GrafPtr off = NewOffscreenPort(std::int16_t(from + 380), h);
        GrafPtr old = SetPort(off);
        SetPortTextStyle(StandardTextStyle(1));
        for (const auto& [left, text] : pieces) {
            if (left >= 0) MoveTo(std::int16_t(left), std::int16_t(h - itemRowDescent()));
            DrawText(text.c_str());
        }
        SetPort(old);
        int differ = 0;
        for (int v = 0; v < h; ++v)
            for (int x = from; x < from + 380; ++x)
                differ += PixelAt(off, x, v) != PixelAt(editor->window, x, row * h + v);
        DisposeOffscreenPort(off);
        return differ;
    }

    PackageFile* file = nullptr;
    PackageEditor* editor = nullptr;
    std::int16_t h = 0;
    std::uint32_t when = 0;
};

TEST_F(ItemListTest, RowsShowTheirTextsInPlaceAndHighlightOnlyInTheFrontWindow) {
    addSections({12, -3});
    ASSERT_EQ(appendPinPair(editor->working, 1, "1", "2"), noErr);
    ASSERT_EQ(appendPinPair(editor->working, 1, "3", "4"), noErr);
    InvalWindowRect(editor->window, nullptr);
    harness::ProcessUpdates();
    EXPECT_EQ(editor->window->docWidth, 3000);
    EXPECT_EQ(editor->window->docHeight, 2 * h);
    EXPECT_EQ(rowDiffers(0, {{2, "(A)   Class ID:          12   Pin Swaps: "},
                             {-1, "(1,"},
                             {-1, "2)  "},
                             {-1, "(3,"},
                             {-1, "4)  "}}),
              0);
    EXPECT_EQ(rowDiffers(1, {{2, "(B)   Class ID:          -3"}}), 0);

    // The nets: the pins start at one column whatever the name's width.
    addNets({"\t7\t14", "GND\t1"});
    showList(editor, 1, true);
    harness::ProcessUpdates();
    SetPort(editor->window);
    const int column = 2 + TextWidth("12345678901234567  ");
    EXPECT_EQ(rowDiffers(0, {{2, "Unnamed Net"}, {column, "7"}, {-1, ",  "}, {-1, "14"}}), 0);
    EXPECT_EQ(rowDiffers(1, {{2, "GND"}, {column, "1"}}), 0);

    // A selected row is inverted across the window while the window is in front.
    click(1);
    EXPECT_EQ(marks(editor->window, 2 * h), std::string(h, '.') + std::string(h, '#'));
    SelectWindow(listWindowOf(file));
    harness::ProcessUpdates();
    EXPECT_TRUE(isRowSelected(editor, 1));
    EXPECT_EQ(marks(editor->window, 2 * h), std::string(2 * h, '.'));
    SelectWindow(editor->window);
    harness::ProcessUpdates();
    EXPECT_EQ(PixelAt(editor->window, 300, h + 1), 0x000000u);

    // Switching lists with the focus in the list drops the selection.
    showList(editor, 0, true);
    showList(editor, 1, true);
    EXPECT_TRUE(selected().empty());
}

TEST_F(ItemListTest, ARowWiderThanTheWindowShowsItsPairsWhereverTheListIsScrolled) {
    // 60 pairs (k, 100 + k) make a row wider than the list's 3000 pixels.
    addSections({100});
    std::vector<std::pair<int, std::string>> pieces{
        {2, "(A)   Class ID:         100   Pin Swaps: "}};
    for (int k = 1; k <= 60; ++k) {
        ASSERT_EQ(appendPinPair(editor->working, 1, std::to_string(k), std::to_string(100 + k)),
                  noErr);
        pieces.push_back({-1, "(" + std::to_string(k) + ","});
        pieces.push_back({-1, std::to_string(100 + k) + ")  "});
    }
    InvalWindowRect(editor->window, nullptr);
    harness::ProcessUpdates();
    EXPECT_EQ(rowDiffers(0, pieces), 0);

    // Scrolled to the right, the pairs there are drawn, by the scroll and by a whole redraw.
    ScrollWindowTo(editor->window, 1500, 0);
    harness::ProcessUpdates();
    ASSERT_EQ(GetWindowScroll(editor->window).h, 1500);
    Rect visible;
    SetRect(&visible, 1500, 0, 1880, h);
    EXPECT_GT(CountDark(editor->window, visible), 50);
    EXPECT_EQ(rowDiffers(0, pieces, 1500), 0);
    InvalWindowRect(editor->window, nullptr);
    harness::ProcessUpdates();
    EXPECT_EQ(rowDiffers(0, pieces, 1500), 0);

    // A net of 60 pins (101 to 160) runs past the window the same way.
    std::string net = "N";
    SetPort(editor->window);
    pieces = {{2, "N"}, {2 + TextWidth("12345678901234567  "), "101"}};
    for (int k = 1; k <= 60; ++k) {
        net += "\t" + std::to_string(100 + k);
        if (k > 1) pieces.push_back({-1, ",  " + std::to_string(100 + k)});
    }
    addNets({net.c_str()});
    showList(editor, 1, true);
    ScrollWindowTo(editor->window, 0, 0);
    harness::ProcessUpdates();
    EXPECT_EQ(rowDiffers(0, pieces), 0);
    ScrollWindowTo(editor->window, 1500, 0);
    harness::ProcessUpdates();
    EXPECT_GT(CountDark(editor->window, visible), 50);
    EXPECT_EQ(rowDiffers(0, pieces, 1500), 0);
}

TEST_F(ItemListTest, ClicksSelectExtendToggleAndDragInTheirModes) {
    addSections({1, 2, 3, 4, 5, 6});
    drag(1, {2, 3});
    EXPECT_EQ(selected(), Rows{3}); // a plain drag keeps the row at release
    // Shift extends from the end farther from the click; below the rows counts as the last row.
    click(1);
    click(3, Qt::ShiftModifier);
    click(5, Qt::ShiftModifier);
    EXPECT_EQ(selected(), (Rows{1, 2, 3, 4, 5}));
    click(0, Qt::ShiftModifier);
    EXPECT_EQ(selected(), (Rows{0, 1, 2, 3, 4, 5}));
    click(1);
    click(3, Qt::ShiftModifier);
    clickBelow(Qt::ShiftModifier);
    EXPECT_EQ(selected(), (Rows{1, 2, 3, 4, 5}));
    clickBelow(Qt::NoModifier); // a plain click there only deselects
    EXPECT_TRUE(selected().empty());

    // Ctrl: the first row decides for the gesture, the rest keep their marks.
    click(0);
    click(2, Qt::ControlModifier);
    click(5, Qt::ControlModifier);
    drag(2, {3, 4}, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(selected(), (Rows{0, 5}));
    drag(2, {4}, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(selected(), (Rows{0, 2, 3, 4, 5}));

    // A double click opens the field editors of the selection.
    click(4);
    WindowMessage msg;
    msg.kind = wmDoubleClick;
    msg.where = rowPoint(4);
    harness::Deliver(editor->window, msg);
    EXPECT_EQ(gOpened, Rows{5});
}

// The keys one after another on 26 sections, more than the window shows: the rows selected
// after each, and the row that must then be in view.
TEST_F(ItemListTest, KeysMoveAndExtendTheSelectionAndReturnOpensFieldEditors) {
    for (int k = 1; k <= 26; ++k)
        addSections({k});
    setFocus(editor, EditorFocus::window);
    auto inView = [this](int row) {
        Rect r;
        SetRect(&r, 0, std::int16_t(row * h + 1), 10, std::int16_t(row * h + h - 1));
        return IsRectVisible(editor->window, r);
    };
    ASSERT_FALSE(inView(25));
    const Qt::KeyboardModifiers no, shift = Qt::ShiftModifier;
    // key, modifiers, first and last row selected, the row in view
    const std::tuple<int, Qt::KeyboardModifiers, int, int, int> steps[] = {
        {Qt::Key_Up, no, 25, 25, 25}, // nothing selected: the last
        {Qt::Key_Home, no, 0, 0, 0},    {Qt::Key_Down, no, 1, 1, 1},
        {Qt::Key_Down, shift, 1, 2, 2}, {Qt::Key_Up, shift, 1, 1, 1},
        {Qt::Key_Up, shift, 0, 1, 0},   {Qt::Key_End, shift, 1, 25, 25},
        {Qt::Key_Home, shift, 0, 1, 0}, {Qt::Key_End, no, 25, 25, 25},
        {Qt::Key_Down, no, 25, 25, 25}, {Qt::Key_PageUp, no, 25, 25, 25}, // not taken
        {Qt::Key_Up, shift, 24, 25, 24}};
    for (const auto& [key, mods, first, last, shown] : steps) {
        harness::SendKey(editor->window, key, mods);
        Rows range;
        for (int r = first; r <= last; ++r)
            range.push_back(r);
        EXPECT_EQ(selected(), range) << key;
        EXPECT_TRUE(inView(shown)) << key;
    }
    harness::SendKey(editor->window, Qt::Key_Return);
    EXPECT_EQ(gOpened, (Rows{25, 26}));
}

bool probingStillDown(bool* down) {
    gSteps.push_back(marks(gProbed, gProbedRows));
    return gHarnessInput.stillDown(down);
}

TEST_F(ItemListTest, RightDragsMarkAndMoveSections) {
    // While the rows S1, S2, S3 are dragged the anchor's row is black, and from the second
    // step on the 2-pixel insertion line at the top given (a row below the anchor: across its
    // bottom edge; above: across its top edge, half of it above the list for row 0; none: -9).
    // Each case starts from the order the one before left.
    const int n = 4 * h;
    struct Case {
        int from;
        Rows path, order, lineTops;
    } cases[] = {
        {0, {1, 2}, {2, 3, 1}, {2 * h - 1, 3 * h - 1}}, // S1 released over S3: S2, S3, S1
        {0, {1, 0}, {3, 1, 2}, {2 * h - 1, -9}},        // S1 back over itself: to the end
        {2, {1, 0}, {2, 3, 1}, {h - 1, -1}},            // S3 onto S1: S3, S1, S2
    };
    gProbed = editor->window;
    gProbedRows = n;
    InputSource probing = gHarnessInput = GetInputSource();
    probing.stillDown = probingStillDown;
    SetInputSource(probing);
    const std::string white(std::size_t(n), '.');
    addSections({1, 2, 3});
    for (const Case& c : cases) {
        std::string anchor = white;
        anchor.replace(std::size_t(c.from * h), std::size_t(h), std::size_t(h), '#');
        std::vector<std::string> expected{anchor};
        for (int top : c.lineTops) {
            expected.push_back(anchor);
            for (int v = top; v < top + 2; ++v)
                if (v >= 0) expected.back()[std::size_t(v)] = '#';
        }
        gSteps.clear();
        drag(c.from, c.path, Qt::RightButton);
        EXPECT_EQ(gSteps, expected) << "from row " << c.from;
        EXPECT_EQ(marks(editor->window, n), white) << "taken off at the release";
        harness::ProcessUpdates();
        EXPECT_EQ(marks(editor->window, n), white) << "and not drawn again";
        EXPECT_EQ(classIds(), c.order);
        EXPECT_TRUE(selected().empty());
    }
    SetInputSource(gHarnessInput);
    // The field editors follow their sections: the last move made 3 the second, 1 the third.
    EXPECT_EQ(gRenumbered.back(), (Rows{2, 3, 1}));

    // In the nets a right drag selects as a left one does.
    addNets({"A", "B", "C"});
    showList(editor, 1, true);
    drag(0, {1, 2}, Qt::RightButton);
    EXPECT_EQ(selected(), Rows{2});
}

TEST_F(ItemListTest, CommandsCopyPasteDeleteDuplicateAndCreate) {
    addSections({10, 20, 30});
    addNets({"N1\t1", "N2\t2", "N3\t3"});
    // A Copy of rows empties the package clipboard: nothing to paste in the list window.
    SelectWindow(listWindowOf(file));
    entryAt(file, 0)->flags |= kSelected;
    copyCommand(file);
    ASSERT_TRUE(MenuItemEnabled(kCmdPaste));
    SelectWindow(editor->window);
    click(1);
    command(kCmdCopy);
    ASSERT_TRUE(itemClipboardHolds());
    SelectWindow(listWindowOf(file));
    EXPECT_FALSE(MenuItemEnabled(kCmdPaste));
    SelectWindow(editor->window);
    // Pasting sections over the nets shows the sections with exactly the pasted one selected.
    showList(editor, 1, true);
    click(0);
    command(kCmdPaste);
    EXPECT_EQ(editor->activeList, 0);
    EXPECT_EQ(classIds(), (Rows{10, 20, 30, 20}));
    EXPECT_EQ(selected(), Rows{3});

    // Delete rows 0 and 2: the field editors of the rest follow their sections.
    click(0);
    click(2, Qt::ControlModifier);
    command(kCmdDelete);
    EXPECT_EQ(classIds(), (Rows{20, 20}));
    EXPECT_EQ(gRenumbered.back(), (Rows{0, 1, 0, 2}));
    EXPECT_TRUE(editor->stateFlags & kEditorChanged);

    // Cut of nets, then Duplicate: the copies selected, the originals not.
    showList(editor, 1, true);
    click(1);
    command(kCmdCut);
    EXPECT_EQ(gRenumbered.back(), (Rows{1, 0, 2}));
    command(kCmdSelectAll);
    command(kCmdDuplicate);
    EXPECT_EQ(editor->netCount, 4);
    EXPECT_EQ(selected(), (Rows{2, 3}));
    EXPECT_EQ(netItemText(findNetItem(editor->working, 4)), "N3\t3");
    EXPECT_EQ(netItemText(itemClipboard()->hiddenConnections), "N2\t2");
    clearClipboards(); // as another clipboard's copy does
    EXPECT_FALSE(itemClipboardHolds());

    // Create: a new net, selected, its field editor opened, the header focused but inactive.
    command(kCmdCreate);
    EXPECT_EQ(editor->netCount, 5);
    EXPECT_EQ(selected(), Rows{4});
    EXPECT_EQ(gOpened, Rows{-5});
    EXPECT_EQ(editor->focus, EditorFocus::header);
    EXPECT_FALSE(editor->textEdit->active);
    EXPECT_EQ(PixelAt(editor->window, 300, 4 * h + 1), 0x000000u);
}

TEST_F(ItemListTest, SectionsStopAtTwentySixAndOpenEditorCountsItsWindows) {
    for (int k = 1; k <= 24; ++k)
        addSections({k});
    // Create again and again, the header focused all along: each opens only its own new
    // section, and none is added past 26.
    command(kCmdCreate);
    EXPECT_EQ(gOpened, Rows{25});
    gOpened.clear();
    command(kCmdCreate);
    EXPECT_EQ(classIds().size(), 26u);
    EXPECT_EQ(selected(), Rows{25});
    EXPECT_EQ(classIds().back(), 0);
    EXPECT_EQ(gOpened, Rows{26});
    command(kCmdCreate);
    EXPECT_EQ(classIds().size(), 26u);
    EXPECT_EQ(gOpened, Rows{26});
    EXPECT_TRUE(selected().empty());
    setFocus(editor, EditorFocus::window);
    auto selectFirst = [this](int count) {
        for (int r = 0; r < count; ++r)
            selectRow(editor, r);
    };
    selectFirst(8);
    command(kCmdDuplicate);
    EXPECT_EQ(editor->working.sectionCount, 26);
    // Eight windows are asked about, seventeen refused.
    gOpened.clear();
    selectFirst(8);
    AnswerNextDialog(1007, 1);
    command(kCmdOpenEditor);
    EXPECT_EQ(gOpened, (Rows{1, 2, 3, 4, 5, 6, 7, 8}));
    gOpened.clear();
    selectFirst(17);
    command(kCmdOpenEditor);
    EXPECT_TRUE(gOpened.empty());
}

} // namespace
