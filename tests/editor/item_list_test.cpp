// The item list of the package editor through the harness: the row texts and their places,
// the highlight, clicks and drags in their modes, the list commands and the right-button move
// of sections.
#include "editor/ItemList.h"
#include "listwin/ListCommands.h"
#include "listwin/ListWindow.h"
#include "listwin/PackageClipboard.h"
#include "resources/Commands.h"
#include "shell/FileCommands.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"
#include "tests/support/gui/gui_support.h"
#include "tests/support/gui/window_input.h"
#include "toolbox/gui/HostHooks.h"
#include "toolbox/harness/Harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace test_support;

namespace {

std::vector<int> gOpened;
std::vector<std::vector<int>> gRenumbered;

bool openHook(PackageEditor*, int number) {
    gOpened.push_back(number);
    return true;
}
void renumberHook(PackageEditor*, bool, const std::vector<int>& newNumber) {
    gRenumbered.push_back(newNumber);
}

class ItemListTest : public ScratchTest {
protected:
    void SetUp() override {
        ASSERT_EQ(initEntryPool(), noErr);
        installListWindowHooks(ListWindowHooks{});
        installPackageEditor();
        EditorExtensions ext = editorExtensions();
        ext.openFieldEditor = openHook;
        ext.renumberFieldEditors = renumberHook;
        installEditorExtensions(ext);
        ResetHarnessState();
        gOpened.clear();
        gRenumbered.clear();
        // A package without sections or nets: each test fills its own.
        std::vector<UniqueHandle> images;
        images.push_back(packageImage("P", {}));
        writeRecordFile(path, images);
        file = openFile(path);
        ASSERT_NE(file, nullptr);
        editor = openEditor(entryAt(file, 0));
        ASSERT_NE(editor, nullptr);
        h = itemRowHeight();
        disposeNetItems(editor->working.hiddenConnections); // the image's own net
        editor->working.hiddenConnections = nullptr;
        remeasure(editor);
        Rect bounds = GetWindowBounds(editor->window); // room for the longest row
        bounds.right = std::int16_t(bounds.left + 600);
        MoveSizeWindow(editor->window, bounds);
    }
    void TearDown() override {
        while (PackageFile* f = firstPackageFile())
            ASSERT_EQ(closeFile(f, CloseMode::forced), CloseResult::closed);
        setItemClipboard(nullptr);
        ResetHarnessState();
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
    std::vector<int> classIds() const {
        std::vector<int> ids;
        for (int k = 1; k <= editor->working.sectionCount; ++k)
            ids.push_back(sectionAt(editor->working, k)->classId);
        return ids;
    }
    std::vector<int> selected() const {
        std::vector<int> rows;
        for (int r = 0; r < rowCount(editor); ++r)
            if (isRowSelected(editor, r)) rows.push_back(r);
        return rows;
    }
    Point rowPoint(int row) const { return Point{std::int16_t(row * h + h / 2), 60}; }
    // A press on the row with the pointer then passing over the rows of path.
    void drag(int from, std::vector<int> path, Qt::MouseButton button = Qt::LeftButton,
              Qt::KeyboardModifiers mods = Qt::NoModifier) {
        std::vector<Point> points{rowPoint(from)};
        for (int r : path)
            points.push_back(rowPoint(r));
        harness::ScriptPointer(editor->window, points);
        harness::SendClick(editor->window, rowPoint(from), mods, when += 1000, button);
        harness::ProcessUpdates();
    }
    void click(int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        drag(row, {}, Qt::LeftButton, mods);
    }
    void command(std::int16_t c) {
        WindowMessage msg;
        msg.kind = wmMenuCommand;
        msg.command = c;
        harness::Deliver(editor->window, msg);
        harness::ProcessUpdates();
    }
    // Mismatching pixels between row `row` of the window and the texts drawn on the row's
    // baseline in an off-screen port, each at its horizontal position (-1: where the last ended).
    int rowDiffers(int row, const std::vector<std::pair<int, std::string>>& pieces) {
        GrafPtr off = NewOffscreenPort(380, h);
        GrafPtr old = SetPort(off);
        SetPortTextStyle(StandardTextStyle(1));
        for (const auto& [left, text] : pieces) {
            if (left >= 0) MoveTo(std::int16_t(left), std::int16_t(h - itemRowDescent()));
            DrawText(text.c_str());
        }
        SetPort(old);
        int differ = 0;
        for (int v = 0; v < h; ++v)
            for (int x = 0; x < 380; ++x)
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
    EXPECT_EQ(GetControlValue(GetWindowControl(editor->headerPane, kHeaderNetsButton)), 1);
    EXPECT_EQ(editor->window->docHeight, 2 * h);
    SetPort(editor->window);
    const int column = 2 + TextWidth("12345678901234567  ");
    EXPECT_EQ(rowDiffers(0, {{2, "Unnamed Net"}, {column, "7"}, {-1, ",  "}, {-1, "14"}}), 0);
    EXPECT_EQ(rowDiffers(1, {{2, "GND"}, {column, "1"}}), 0);

    // A selected row is inverted across the window while the window is in front.
    click(1);
    EXPECT_EQ(selected(), std::vector<int>{1});
    EXPECT_EQ(PixelAt(editor->window, 300, h + 1), 0x000000u);
    EXPECT_EQ(PixelAt(editor->window, 300, 1), 0xFFFFFFu);
    SelectWindow(file->listWindow);
    harness::ProcessUpdates();
    EXPECT_TRUE(isRowSelected(editor, 1));
    EXPECT_EQ(PixelAt(editor->window, 300, h + 1), 0xFFFFFFu);
    SelectWindow(editor->window);
    harness::ProcessUpdates();
    EXPECT_EQ(PixelAt(editor->window, 300, h + 1), 0x000000u);

    // Switching lists with the focus in the list drops the selection.
    showList(editor, 0, true);
    EXPECT_TRUE(selected().empty());
    showList(editor, 1, true);
    EXPECT_TRUE(selected().empty());
}

TEST_F(ItemListTest, ClicksSelectExtendToggleAndDragInTheirModes) {
    addSections({1, 2, 3, 4, 5, 6});
    // Shift extends from the end farther from the click.
    drag(1, {2, 3});
    EXPECT_EQ(selected(), std::vector<int>{3}); // a plain drag keeps the row at release
    click(1);
    click(3, Qt::ShiftModifier);
    click(5, Qt::ShiftModifier);
    EXPECT_EQ(selected(), (std::vector<int>{1, 2, 3, 4, 5}));
    click(0, Qt::ShiftModifier);
    EXPECT_EQ(selected(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    click(1);
    click(3, Qt::ShiftModifier);
    harness::ScriptPointer(editor->window, {});
    harness::SendClick(editor->window, Point{std::int16_t(6 * h + 3), 60}, Qt::ShiftModifier,
                       when += 1000);
    EXPECT_EQ(selected(), (std::vector<int>{1, 2, 3, 4, 5}));
    // A plain click below the rows only deselects.
    harness::SendClick(editor->window, Point{std::int16_t(6 * h + 3), 60}, Qt::NoModifier,
                       when += 1000);
    EXPECT_TRUE(selected().empty());

    // Ctrl: the first row decides for the gesture, the rest keep their marks.
    click(0);
    click(2, Qt::ControlModifier);
    drag(2, {3, 4}, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(selected(), std::vector<int>{0});
    drag(2, {4}, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(selected(), (std::vector<int>{0, 2, 3, 4}));

    // A double click opens the field editors of the selection.
    click(4);
    WindowMessage msg;
    msg.kind = wmDoubleClick;
    msg.where = rowPoint(4);
    harness::Deliver(editor->window, msg);
    EXPECT_EQ(gOpened, std::vector<int>{5});
}

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
bool probingStillDown(bool* down) {
    gSteps.push_back(marks(gProbed, gProbedRows));
    return gHarnessInput.stillDown(down);
}

TEST_F(ItemListTest, RightDragsMarkAndMoveSections) {
    // Pixel rows that are black: the anchor's row, and the 2-pixel insertion line, which lies
    // across the bottom edge of a row below the anchor and across the top edge of one above.
    const int n = 4 * h;
    auto black = [n](std::initializer_list<std::pair<int, int>> spans) {
        std::string s(std::size_t(n), '.');
        for (auto [from, to] : spans)
            s.replace(std::size_t(from), std::size_t(to - from), std::size_t(to - from), '#');
        return s;
    };
    struct Case {
        int from;
        std::vector<int> path;
        std::vector<int> order;
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        // S1 released over S3: the line under row 1, then under row 2.
        {0,
         {1, 2},
         {2, 3, 1},
         {black({{0, h}}), black({{0, h}, {2 * h - 1, 2 * h + 1}}),
          black({{0, h}, {3 * h - 1, 3 * h + 1}})}},
        // S1 released over itself: the line goes again and S1 goes to the end.
        {0,
         {1, 0},
         {2, 3, 1},
         {black({{0, h}}), black({{0, h}, {2 * h - 1, 2 * h + 1}}), black({{0, h}})}},
        // S3 onto S1: the line over row 1, then over row 0 (its upper half above the list).
        {2,
         {1, 0},
         {3, 1, 2},
         {black({{2 * h, 3 * h}}), black({{2 * h, 3 * h}, {h - 1, h + 1}}),
          black({{2 * h, 3 * h}, {0, 1}})}},
    };
    gProbed = editor->window;
    gProbedRows = n;
    InputSource probing = GetInputSource();
    gHarnessInput = probing;
    probing.stillDown = probingStillDown;
    SetInputSource(probing);
    for (const Case& c : cases) {
        while (editor->working.sectionCount > 0)
            ASSERT_EQ(deleteSection(editor->working, 1), noErr);
        addSections({1, 2, 3});
        ASSERT_EQ(marks(editor->window, n), black({}));
        gSteps.clear();
        std::vector<Point> points{rowPoint(c.from)};
        for (int r : c.path)
            points.push_back(rowPoint(r));
        harness::ScriptPointer(editor->window, points);
        harness::SendClick(editor->window, points[0], Qt::NoModifier, when += 1000,
                           Qt::RightButton);
        EXPECT_EQ(gSteps, c.steps) << "from row " << c.from;
        EXPECT_EQ(marks(editor->window, n), black({})) << "taken off at the release";
        harness::ProcessUpdates();
        EXPECT_EQ(marks(editor->window, n), black({})) << "and not drawn again";
        EXPECT_EQ(classIds(), c.order);
        EXPECT_TRUE(selected().empty());
    }
    SetInputSource(gHarnessInput);
    // The field editors follow their sections: the last move made 1 the second, 3 the first.
    EXPECT_EQ(gRenumbered.back(), (std::vector<int>{2, 3, 1}));

    // In the nets a right drag selects as a left one does.
    addNets({"A", "B", "C"});
    showList(editor, 1, true);
    drag(0, {1, 2}, Qt::RightButton);
    EXPECT_EQ(selected(), std::vector<int>{2});
}

TEST_F(ItemListTest, CommandsCopyPasteDeleteDuplicateAndCreate) {
    addSections({10, 20, 30});
    addNets({"N1\t1", "N2\t2", "N3\t3"});
    // A Copy of rows empties the package clipboard: nothing to paste in the list window.
    SelectWindow(file->listWindow);
    entryAt(file, 0)->flags |= kSelected;
    copyCommand(file);
    ASSERT_TRUE(MenuItemEnabled(kCmdPaste));
    SelectWindow(editor->window);
    click(1);
    command(kCmdCopy);
    ASSERT_TRUE(itemClipboardHolds());
    SelectWindow(file->listWindow);
    EXPECT_FALSE(MenuItemEnabled(kCmdPaste));
    SelectWindow(editor->window);
    // Pasting sections over the nets shows the sections with exactly the pasted one selected.
    showList(editor, 1, true);
    click(0);
    command(kCmdPaste);
    EXPECT_EQ(editor->activeList, 0);
    EXPECT_EQ(classIds(), (std::vector<int>{10, 20, 30, 20}));
    EXPECT_EQ(selected(), std::vector<int>{3});

    // Delete rows 0 and 2: the field editors of the rest follow their sections.
    click(0);
    click(2, Qt::ControlModifier);
    command(kCmdDelete);
    EXPECT_EQ(classIds(), (std::vector<int>{20, 20}));
    ASSERT_FALSE(gRenumbered.empty());
    EXPECT_EQ(gRenumbered.back(), (std::vector<int>{0, 1, 0, 2}));
    EXPECT_TRUE(editor->stateFlags & kEditorChanged);

    // Cut of nets, then Duplicate: the copies selected, the originals not.
    showList(editor, 1, true);
    click(1);
    command(kCmdCut);
    EXPECT_EQ(editor->netCount, 2);
    EXPECT_EQ(gRenumbered.back(), (std::vector<int>{1, 0, 2}));
    command(kCmdSelectAll);
    command(kCmdDuplicate);
    EXPECT_EQ(editor->netCount, 4);
    EXPECT_EQ(selected(), (std::vector<int>{2, 3}));
    EXPECT_EQ(netItemText(findNetItem(editor->working, 4)), "N3\t3");
    EXPECT_EQ(netItemText(itemClipboard()->hiddenConnections), "N2\t2");
    // Another clipboard's copy empties the item clipboard.
    clearClipboards();
    EXPECT_FALSE(itemClipboardHolds());

    // Create: a new net, selected, its field editor opened, the header focused but inactive.
    command(kCmdCreate);
    EXPECT_EQ(editor->netCount, 5);
    EXPECT_EQ(selected(), std::vector<int>{4});
    EXPECT_EQ(gOpened, std::vector<int>{-5});
    EXPECT_EQ(editor->focus, EditorFocus::header);
    EXPECT_FALSE(editor->textEdit->active);
    harness::ProcessUpdates();
    EXPECT_EQ(PixelAt(editor->window, 300, 4 * h + 1), 0x000000u);
}

TEST_F(ItemListTest, SectionsStopAtTwentySixAndOpenEditorCountsItsWindows) {
    addSections({1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25});
    command(kCmdCreate);
    EXPECT_EQ(editor->working.sectionCount, 26);
    EXPECT_EQ(gOpened, std::vector<int>{26});
    EXPECT_EQ(classIds().back(), 0);
    command(kCmdCreate);
    EXPECT_EQ(editor->working.sectionCount, 26);
    setFocus(editor, EditorFocus::window);
    auto selectFirst = [this](int n) {
        deselectAllRows(editor);
        for (int r = 0; r < n; ++r)
            selectRow(editor, r);
    };
    selectFirst(8);
    command(kCmdDuplicate);
    EXPECT_EQ(editor->working.sectionCount, 26);
    // Eight windows are asked about, seventeen refused.
    gOpened.clear();
    selectFirst(8);
    AnswerNextDialog(1007, 2);
    command(kCmdOpenEditor);
    EXPECT_TRUE(gOpened.empty());
    AnswerNextDialog(1007, 1);
    command(kCmdOpenEditor);
    EXPECT_EQ(gOpened, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    gOpened.clear();
    selectFirst(17);
    command(kCmdOpenEditor);
    EXPECT_TRUE(gOpened.empty());
}

} // namespace
