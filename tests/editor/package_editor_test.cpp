// The package editor window through the harness: the header's key filter, Tab order and paste,
// menus, focus, and the questions on closing. Commits, titles and limits: the random-input test.
#include "editor/PackageEditor.h"
#include "listwin/ListCommands.h"
#include "listwin/PackageClipboard.h"
#include "resources/Commands.h"
#include "tests/support/EditorTest.h"
#include "tests/support/gui/window_input.h"
#include "toolbox/core/Memory.h"
#include "toolbox/harness/Harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace test_support;

namespace {

using Names = std::vector<std::string>;

// Keys go in as text: "\t" is Tab, "\r" Return.
class PackageEditorTest : public EditorTest {
protected:
    std::string field(int item) const { return getItemText(editor->headerForm, item).str(); }
    int selected() const { return editor->textEdit->selEnd - editor->textEdit->selStart; }
    void type(const std::string& text) const { TypeText(editor->window, text); }
};

TEST_F(PackageEditorTest, KeysTabPasteMenusAndClicksFollowTheFocus) {
    openEditing(packageImage("R1", {5}));
    // The whole name "R1" is selected when the window opens: typing replaces it.
    type("ABCDEFGHIJKLMNOPQR");
    EXPECT_EQ(field(kHeaderName), "ABCDEFGHIJKLMNOPQ");
    TESetSelect(2, 5, editor->textEdit); // three selected: room for three
    type("xyzw,\x03\x7f");
    EXPECT_EQ(field(kHeaderName) + " " + std::to_string(harness::BeepCount()),
              "ABxyzFGHIJKLMNOPQ 5");
    // Tab to the prefix "U", all of it selected; Return is a Tab: the Shape "DIP" comes next,
    // selected whole; Tab runs through the parameters and wraps to the name.
    type("\t");
    EXPECT_EQ(selected(), 1);
    type("\r");
    EXPECT_TRUE(editor->currentField == kHeaderShape && selected() == 3) << editor->currentField;
    for (int expected : {10, 13, 15, 2, 4, 7}) {
        type("\t");
        EXPECT_EQ(editor->currentField, expected);
    }
    // A paste stops before the first character refused and fills the room left.
    SendCommand(editor->window, kCmdDelete);
    SetTextScrap("ab,cd");
    SendCommand(editor->window, kCmdPaste);
    SetTextScrap(std::string(80, 'k'));
    SendCommand(editor->window, kCmdPaste);
    EXPECT_EQ(field(kHeaderShape), "ab" + std::string(54, 'k'));
    EXPECT_EQ(harness::BeepCount(), 5);
    std::string text;
    EXPECT_TRUE(MenuItemEnabled(kCmdCreate, &text) && text == "Create New Section") << text;
    EXPECT_TRUE(MenuItemEnabled(kCmdRevertPackage)); // the package was typed in
    // A click in the list takes the focus from the header; Tab gives it back, the field's whole
    // text (the Shape's 2 + 54 characters) selected.
    harness::SendClick(editor->window, Point{40, 100});
    EXPECT_EQ(editor->focus, EditorFocus::window);
    type("\t");
    EXPECT_TRUE(editor->focus == EditorFocus::header && selected() == 56) << selected();
    // The prefix field (top 12, left 328) takes the caret; Shift-click at its far end selects
    // the "U" between; the label beside it is inert.
    harness::SendClick(editor->headerPane, Point{19, 329});
    EXPECT_TRUE(editor->currentField == kHeaderPrefix && selected() == 0) << editor->currentField;
    harness::SendClick(editor->headerPane, Point{19, 390}, Qt::ShiftModifier, 1000);
    EXPECT_EQ(selected(), 1);
    harness::SendClick(editor->headerPane, Point{19, 250}, Qt::NoModifier, 2000);
    EXPECT_EQ(editor->currentField, kHeaderPrefix);
    // The radio button shows the nets without taking the focus: Create makes a net.
    clickButton(editor->headerPane, "Hidden Connections");
    EXPECT_EQ(editor->focus, EditorFocus::header);
    EXPECT_TRUE(MenuItemEnabled(kCmdCreate, &text) && text == "Create New Net") << text;

    selectOnly(file, {0});
    copyCommand(file);
    ASSERT_TRUE(clipboardHoldsList());
    SendCommand(editor->window, kCmdCopy); // header text: the package clipboard emptied
    EXPECT_TRUE(!clipboardHoldsList() && TEGetScrapLength() == 1);
}

TEST_F(PackageEditorTest, ClosingAsksAboutAnInvalidPackageUnlessTheFileIsDiscarded) {
    openEditing(packageImage("Bare!", {}), packageImage("R2", {5})); // Bare! has no section
    AnswerNextDialog(1006, 1); // Cancel: back in front, still open
    RequestClose(editor->window);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(2), "A package must have a valid component section.  "
                                             "If you proceed, the package will be deleted.");
    EXPECT_EQ(FrontWindow(), editor->window);
    AnswerNextDialog(1006, 3);
    RequestClose(editor->window);
    EXPECT_TRUE(displayNames(file) == Names{"R2"} && windowRecords(editorOfWindow).empty());

    // Revert File closes the editors without a question, here on a blank prefix.
    editor = openEditor(entryAt(file, 0));
    type("\t  ");
    AnswerNextDialog(1007, 1);
    OSErr err = noErr;
    EXPECT_TRUE(fileCommand(kCmdRevertFile, &err));
    EXPECT_TRUE(ShownDialogs().size() == 3u && windowRecords(editorOfWindow).empty());
    EXPECT_EQ(displayNames(file), (Names{"Bare!", "R2"}));
}

// A close whose commit runs out of memory, at whichever allocation, keeps the window with its
// edits; the close that gets through carries them into the entry.
TEST_F(PackageEditorTest, AFailedCommitKeepsTheWindowAndItsEdits) {
    openEditing(packageImage("R1", {5}));
    PackageEntry* entry = entryAt(file, 0);
    EXPECT_FALSE(isModified(file));
    type("X");
    EXPECT_TRUE(isModified(file)) << "an edit still in the window makes its file modified";
    for (long n = 1; editorOf(entry); ++n) {
        ASSERT_LT(n, 500);
        ArmMemoryFault(n);
        RequestClose(editor->window);
        DisarmMemoryFault();
        EXPECT_TRUE(!editorOf(entry) || field(kHeaderName) == "X") << "allocation " << n;
    }
    EXPECT_EQ(displayNameView(entry), "X");
}

} // namespace
