// The package editor window driven through the harness: the header fields and their limits,
// typing, Return, paste, opening from the list window, validation on close and Revert Package.
// The random-input test watches the commit of edits and the title, the end-to-end scenarios the
// placement of the windows.
#include "editor/PackageEditor.h"
#include "listwin/ListCommands.h"
#include "listwin/PackageClipboard.h"
#include "resources/Commands.h"
#include "tests/support/EditorTest.h"
#include "tests/support/gui/window_input.h"
#include "toolbox/harness/Harness.h"

#include <QAbstractButton>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace test_support;

namespace {

constexpr const char* kNeedsSection =
    "A package must have a valid component section.  If you proceed, the package will be deleted.";
constexpr const char* kNeedsName = "A package must have a valid name and reference designator "
                                   "prefix.  If you proceed, the package will be deleted.";

using Names = std::vector<std::string>;

// Keys go in as text: "\t" is Tab, "\r" Return, "\b" Backspace.
class PackageEditorTest : public EditorTest {
protected:
    void TearDown() override {
        EditorTest::TearDown();
        EXPECT_EQ(editorWindows(), 0);
    }

    // A package file of packages with these names (one section of Class ID 5 each, or none
    // where the name ends in "!"), its list window in front; the editor of package `open`.
    PackageEditor* openLibrary(const Names& names, int open = -1) {
        std::vector<UniqueHandle> images;
        for (const std::string& n : names)
            images.push_back(n.ends_with("!") ? packageImage(n, {}) : packageImage(n, {5}));
        f = openImages(std::move(images));
        harness::ProcessUpdates();
        return open >= 0 ? openEditor(entryAt(f, open)) : nullptr;
    }
    static int editorWindows() { return windows(editorOfWindow); }
    static std::string field(PackageEditor* e, int item) {
        return getItemText(e->headerForm, item).str();
    }
    static std::string stored(PackageEditor* e, int fieldNumber) {
        return packageField(e->working, fieldNumber).str();
    }
    static int selected(PackageEditor* e) { return e->textEdit->selEnd - e->textEdit->selStart; }
    static void type(PackageEditor* e, const std::string& text) { TypeText(e->window, text); }
    void selectOnly(int from, int count) {
        deselectAll(f);
        for (int i = from; i < from + count; ++i)
            entryAt(f, i)->flags |= kSelected;
    }
    // The text of item `item` of the dialog shown i-th.
    std::string question(std::size_t i, int item) const {
        return i < ShownDialogs().size() ? ShownDialogs()[i].texts.at(std::size_t(item)) : "";
    }
    PackageFile* f = nullptr;
};

TEST_F(PackageEditorTest, FieldsKeepTheirLimitsAndRefuseCommasPeriodsAndControls) {
    PackageEditor* e = openLibrary({"R1"}, 0);
    ASSERT_NE(e, nullptr);
    // The whole name "R1" is selected when the window opens: typing replaces it.
    type(e, "ABCDEFGHIJKLMNOPQR");
    EXPECT_EQ(field(e, kHeaderName), "ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(harness::BeepCount(), 1);
    TESetSelect(2, 5, e->textEdit); // three selected: room for three
    type(e, "xyzw");
    EXPECT_EQ(field(e, kHeaderName), "ABxyzFGHIJKLMNOPQ");
    type(e, ",\x03\x7f");
    EXPECT_EQ(harness::BeepCount(), 5);

    // Tab to the prefix "U", all of it selected; lower case and a blank are typed as they are
    // and stored trimmed in upper case.
    type(e, "\t");
    EXPECT_EQ(e->currentField, kHeaderPrefix);
    EXPECT_EQ(selected(e), 1);
    type(e, "ic.,4 abcdx");
    EXPECT_EQ(field(e, kHeaderPrefix), "ic4 abcd");
    EXPECT_EQ(stored(e, 2), "IC4 ABCD");
    EXPECT_EQ(harness::BeepCount(), 8);

    // Return is a Tab: the Shape "DIP" comes next, selected whole; a comma stays out of it.
    type(e, "\r");
    EXPECT_EQ(e->currentField, kHeaderShape);
    EXPECT_EQ(selected(e), 3);
    type(e, "so,p ");
    EXPECT_EQ(stored(e, 3), "SOP");
    // Tab runs through the parameters and wraps to the name.
    for (int expected : {10, 13, 15, 2}) {
        type(e, "\t");
        EXPECT_EQ(e->currentField, expected);
    }
    EXPECT_TRUE(hasChanges(e));
}

TEST_F(PackageEditorTest, PasteStopsAtTheFirstRefusedCharacterAndFitsTheRoom) {
    PackageEditor* e = openLibrary({"R1"}, 0);
    ASSERT_NE(e, nullptr);
    type(e, "\t\t"); // the Shape, "DIP" selected
    SendCommand(e->window, kCmdDelete);
    EXPECT_EQ(field(e, kHeaderShape), "");
    SetTextScrap("ab,cd");
    SendCommand(e->window, kCmdPaste);
    EXPECT_EQ(stored(e, 3), "AB");
    TESetSelect(0, 255, e->textEdit);
    SetTextScrap(std::string(80, 'k'));
    SendCommand(e->window, kCmdPaste);
    EXPECT_EQ(field(e, kHeaderShape), std::string(56, 'k'));
    SendCommand(e->window, kCmdPaste); // full: nothing more
    EXPECT_EQ(field(e, kHeaderShape).size(), 56u);
    EXPECT_EQ(harness::BeepCount(), 0);
}

TEST_F(PackageEditorTest, MenusFollowTheFocusAndTheSelection) {
    PackageEditor* e = openLibrary({"R1"}, 0);
    ASSERT_NE(e, nullptr);
    // "R1" selected, one section in the list: Copy, Duplicate, Open Editor, Find, Select All.
    std::string on;
    for (std::int16_t c : {kCmdCopy, kCmdDuplicate, kCmdOpenEditor, kCmdFind, kCmdSelectAll})
        on += MenuItemEnabled(c) ? '+' : '-';
    EXPECT_EQ(on, "+---+");
    std::string text;
    EXPECT_TRUE(MenuItemEnabled(kCmdCreate, &text));
    EXPECT_EQ(text, "Create New Section");
    EXPECT_FALSE(MenuItemEnabled(kCmdRevertPackage, &text));
    EXPECT_EQ(text, "Revert This Package");
    TESetSelect(2, 2, e->textEdit);
    EXPECT_FALSE(MenuItemEnabled(kCmdCut));
    type(e, "x");
    EXPECT_TRUE(MenuItemEnabled(kCmdRevertPackage));
    // The nets shown with the focus in the list: Create makes a net, nothing to copy.
    showList(e, 1, true);
    EXPECT_TRUE(MenuItemEnabled(kCmdCreate, &text));
    EXPECT_EQ(text, "Create New Net");
    EXPECT_FALSE(MenuItemEnabled(kCmdCopy));
    // Tab in the list goes back to the header, the field's whole text selected.
    type(e, "\t");
    EXPECT_EQ(e->focus, EditorFocus::header);
    EXPECT_EQ(selected(e), 3);
}

TEST_F(PackageEditorTest, ClicksMoveTheFocusBetweenTheListAndTheHeaderFields) {
    PackageEditor* e = openLibrary({"R1"}, 0);
    ASSERT_NE(e, nullptr);
    harness::SendClick(e->window, Point{40, 100});
    EXPECT_EQ(e->focus, EditorFocus::window);
    EXPECT_FALSE(e->textEdit->active);
    // The prefix field (top 12, left 328) takes the focus and the caret; Shift-click at its
    // far end selects the "U" between.
    harness::SendClick(e->headerPane, Point{19, 329});
    EXPECT_EQ(e->currentField, kHeaderPrefix);
    EXPECT_TRUE(e->textEdit->active);
    EXPECT_EQ(selected(e), 0);
    harness::SendClick(e->headerPane, Point{19, 390}, Qt::ShiftModifier, 1000);
    EXPECT_EQ(e->textEdit->selStart, 0);
    EXPECT_EQ(e->textEdit->selEnd, 1);
    // The label beside it is inert: the field stays current.
    harness::SendClick(e->headerPane, Point{19, 250}, Qt::NoModifier, 2000);
    EXPECT_EQ(e->currentField, kHeaderPrefix);
    // The radio button shows the nets without taking the focus.
    QAbstractButton* nets = nullptr;
    for (QAbstractButton* b : harness::ViewWidget(e->headerPane)->findChildren<QAbstractButton*>())
        if (b->text() == "Hidden Connections") nets = b;
    ASSERT_NE(nets, nullptr);
    nets->click();
    EXPECT_EQ(e->activeList, 1);
    EXPECT_EQ(GetControlValue(GetWindowControl(e->headerPane, kHeaderNetsButton)), 1);
    EXPECT_EQ(e->focus, EditorFocus::header);

    // Copying header text empties the package clipboard.
    SelectWindow(listWindowOf(f));
    selectOnly(0, 1);
    copyCommand(f);
    ASSERT_TRUE(clipboardHoldsList());
    SelectWindow(e->window);
    SendCommand(e->window, kCmdCopy);
    EXPECT_FALSE(clipboardHoldsList());
    EXPECT_EQ(TEGetScrapLength(), 1);
}

TEST_F(PackageEditorTest, ADoubleClickAndOpenEditorOpenTheSelectedPackages) {
    Names names;
    for (int i = 1; i <= 9; ++i)
        names.push_back("P" + std::to_string(i));
    openLibrary(names);
    const Point row{std::int16_t(listArea(f).top + listRowHeight() + 2), 10}; // the second
    harness::SendClick(listWindowOf(f), row, Qt::NoModifier, 100);
    harness::SendDoubleClickEvent(listWindowOf(f), row, Qt::NoModifier, 150);
    harness::ProcessUpdates();
    ASSERT_EQ(editorWindows(), 1);
    EXPECT_EQ(editorOf(entryAt(f, 1)), currentPackageEditor());
    // Eight asked about (the question itself is the list window's): all of them open.
    SelectWindow(listWindowOf(f));
    selectOnly(1, 8);
    AnswerNextDialog(1007, 1);
    openEditorCommand(f);
    EXPECT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(editorWindows(), 8); // the one open already among them
}

TEST_F(PackageEditorTest, ClosingAnInvalidPackageAsksAndProceedDeletesIt) {
    PackageEditor* bare = openLibrary({"Bare!", "R2"}, 0);
    ASSERT_NE(bare, nullptr);
    AnswerNextDialog(1006, 1); // Cancel: back in front, still open
    RequestClose(bare->window);
    EXPECT_EQ(question(0, 2), kNeedsSection);
    EXPECT_EQ(FrontWindow(), bare->window);
    AnswerNextDialog(1006, 3);
    RequestClose(bare->window);
    EXPECT_EQ(displayNames(f), Names{"R2"});
    EXPECT_EQ(editorWindows(), 0);

    // A blank prefix asks the other question; with Control held nothing is asked.
    PackageEditor* r2 = openEditor(entryAt(f, 0));
    ASSERT_NE(r2, nullptr);
    type(r2, "\t  ");
    AnswerNextDialog(1006, 1);
    RequestClose(r2->window);
    EXPECT_EQ(question(2, 2), kNeedsName);
    harness::SetControlKey(true);
    RequestClose(r2->window);
    harness::ResetKeys();
    EXPECT_EQ(ShownDialogs().size(), 3u);
    EXPECT_EQ(f->packageCount, 0);
    EXPECT_NE(f->discards, nullptr);
}

TEST_F(PackageEditorTest, FileCommandsAndListDeletesCloseEditorsWithoutQuestions) {
    // Revert Package from the editor: the stored name comes back, no validation is asked.
    PackageEditor* e = openLibrary({"Bare!", "R2", "R3"}, 0);
    ASSERT_NE(e, nullptr);
    type(e, "Z");
    AnswerNextDialog(1007, 1);
    SendCommand(e->window, kCmdRevertPackage);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(question(0, 3), "Do you really want to discard all changes made to \"Bare!\"?");
    EXPECT_EQ(editorWindows(), 0);
    EXPECT_EQ(displayNames(f), (Names{"Bare!", "R2", "R3"}));
    EXPECT_EQ(entryAt(f, 0)->flags & kModified, 0u);

    // Delete from the list closes the entry's editor.
    openEditor(entryAt(f, 1));
    SelectWindow(listWindowOf(f));
    selectOnly(1, 1);
    deleteCommand(f);
    EXPECT_EQ(editorWindows(), 0);
    EXPECT_EQ(displayNames(f), (Names{"Bare!", "R3"}));

    // Revert File and Close with Discard: the invalid package's editor goes without asking.
    openEditor(entryAt(f, 0));
    AnswerNextDialog(1007, 1);
    EXPECT_TRUE(fileCommand(kCmdRevertFile));
    EXPECT_EQ(editorWindows(), 0);
    EXPECT_EQ(displayNames(f), (Names{"Bare!", "R2", "R3"}));
    type(openEditor(entryAt(f, 0)), "Q");
    AnswerNextDialog(1005, 3);
    EXPECT_EQ(closeFile(f, CloseMode::askToSave), CloseResult::closed);
    for (const ShownDialog& d : ShownDialogs())
        EXPECT_NE(d.templateId, 1006);
}

} // namespace
