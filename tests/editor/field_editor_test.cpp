// The field editor windows driven through the harness: rows and titles on opening, placement,
// the key filter, Tab and Return, paste, menu texts, renumbering, and the validation and commit
// that carry the texts into the working package.
#include "editor/FieldEditor.h"
#include "listwin/ListWindow.h"
#include "resources/Commands.h"
#include "shell/FileCommands.h"
#include "tests/support/Files.h"
#include "tests/support/Images.h"
#include "tests/support/Library.h"
#include "toolbox/gui/App.h"
#include "toolbox/harness/Harness.h"

#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace test_support;

namespace {

constexpr const char* kNeedsClassId = "A component section must have a non-zero Class ID.  If you "
                                      "proceed, the section will be deleted.";
constexpr const char* kNeedsName =
    "A net item must have a valid net name.  If you proceed, the net item will be deleted.";
constexpr const char* kNeedsPin =
    "A net item must have a valid pin number.  If you proceed, the net item will be deleted.";

class FieldEditorTest : public ScratchTest {
protected:
    void SetUp() override {
        ASSERT_EQ(initEntryPool(), noErr);
        installListWindowHooks(ListWindowHooks{});
        installPackageEditor(); // with the item list, whose Delete removes what a field editor
                                // drops
        ResetDialogHarness();
        harness::ResetBeeps();
        harness::ResetKeys();
        PackageContents pkg;
        pkg.fields = {"P1", "U", "DIP"};
        pkg.sections = {{5, {{"1", "2"}, {"3", "4"}, {"5", "6"}}}, {6, {}}, {7, {{"9", "8"}}}};
        pkg.nets = {"VCC\t7\t14", "GND\t1"};
        std::vector<UniqueHandle> images;
        images.push_back(buildImage(pkg));
        writeRecordFile(path, images);
        file = openFile(path);
        ASSERT_NE(file, nullptr);
        editor = openEditor(entryAt(file, 0));
        ASSERT_NE(editor, nullptr);
    }
    void TearDown() override {
        while (PackageFile* f = firstPackageFile())
            ASSERT_EQ(closeFile(f, CloseMode::forced), CloseResult::closed);
        EXPECT_EQ(findFieldEditor(editor, 0), nullptr);
        ResetDialogHarness();
    }
    static std::string title(FieldEditor* fe) {
        char text[256];
        GetWTitle(fe->window, text);
        return text;
    }
    static std::string row(FieldEditor* fe, int item) {
        return getItemText(fe->rowsForm, item).str();
    }
    static std::string header(FieldEditor* fe) {
        return getItemText(fe->headerForm, kFieldHeaderEdit).str();
    }
    static void key(FieldEditor* fe, int c) {
        WindowMessage msg;
        msg.kind = wmKeyDown;
        msg.key = KeyCode{std::int16_t(c)};
        harness::Deliver(fe->window, msg);
    }
    static void type(FieldEditor* fe, const std::string& text) {
        for (unsigned char c : text)
            key(fe, c);
    }
    static void command(FieldEditor* fe, std::int16_t c) {
        WindowMessage msg;
        msg.kind = wmMenuCommand;
        msg.command = c;
        harness::Deliver(fe->window, msg);
    }
    static void closeRequest(FieldEditor* fe) {
        WindowMessage msg;
        msg.kind = wmCloseRequest;
        harness::Deliver(fe->window, msg);
        harness::ProcessUpdates();
    }
    static void setScrap(const char* text) {
        QGuiApplication::clipboard()->setText(text);
        harness::SendApplicationActivation();
    }
    static std::string pinChanges(PackageEditor* e, int k) {
        const ComponentSection* s = sectionAt(e->working, k);
        return s->pinChanges ? std::string(s->pinChanges->data, GetHandleSize(s->pinChanges)) : "";
    }
    PackageFile* file = nullptr;
    PackageEditor* editor = nullptr;
};

TEST_F(FieldEditorTest, OpensWithOneEmptyRowMoreAndPlacesAndTitlesTheWindows) {
    FieldEditor* first = openFieldEditor(editor, 1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->rowCount, 4);
    EXPECT_EQ(itemCount(first->rowsForm), 8);
    EXPECT_EQ(row(first, 5), "5");
    EXPECT_EQ(row(first, 6), "6");
    EXPECT_EQ(row(first, 7), "");
    // Row 4 is three 17-pixel rows below row 1 (1, 5, 15, 111).
    EXPECT_EQ(itemRect(first->rowsForm, 7).top, 1 + 3 * 17);
    EXPECT_EQ(header(first), "5");
    EXPECT_EQ(title(first), "P1  (Section A)");
    EXPECT_EQ(openFieldEditor(editor, 1), first); // reopening: the same window

    FieldEditor* third = openFieldEditor(editor, 3);
    EXPECT_EQ(title(third), "P1  (Section C)");
    const Rect a = GetWindowBounds(first->window);
    const Rect c = GetWindowBounds(third->window);
    EXPECT_EQ(c.left - a.left, 18);
    EXPECT_EQ(c.top - a.top, 18);
    EXPECT_EQ(c.right - c.left, 230);
    EXPECT_EQ(c.bottom - c.top, 173);
    EXPECT_EQ(FrontWindow(), third->window);

    // The net's title follows the Net Name as it is typed.
    FieldEditor* net = openFieldEditor(editor, -1);
    EXPECT_EQ(header(net), "VCC");
    EXPECT_EQ(net->rowCount, 3);
    EXPECT_EQ(row(net, 1), "7");
    EXPECT_EQ(row(net, 2), "14");
    EXPECT_EQ(row(net, 3), "");
    EXPECT_EQ(title(net), "P1  (VCC)");
    key(net, 8);
    EXPECT_EQ(title(net), "P1  (Unnamed)");
    type(net, " a");
    EXPECT_EQ(title(net), "P1  (a)");
    EXPECT_TRUE(hasChanges(editor));
}

TEST_F(FieldEditorTest, KeyFilterTabReturnAndPaste) {
    FieldEditor* fe = openFieldEditor(editor, 2); // Class ID 6, no pairs: one empty row
    ASSERT_EQ(fe->rowCount, 1);
    type(fe, "a");
    EXPECT_EQ(harness::BeepCount(), 1);
    EXPECT_EQ(header(fe), "6");
    type(fe, "12345678901");
    EXPECT_EQ(header(fe), "1234567890");
    EXPECT_EQ(harness::BeepCount(), 2);

    // Paste into the selected Class ID stops at the letter.
    TESetSelect(0, 255, fe->textEdit);
    setScrap("12x345");
    command(fe, kCmdPaste);
    EXPECT_EQ(header(fe), "12");

    // Tab from the header to row 1; Tab on the last field goes back without a row.
    key(fe, 9);
    EXPECT_EQ(fe->focusedItem, 1);
    key(fe, 9);
    EXPECT_EQ(fe->focusedItem, 2);
    key(fe, 9);
    EXPECT_EQ(fe->focusedItem, 0);
    EXPECT_EQ(fe->rowCount, 1);
    key(fe, 9);
    type(fe, "a,b");
    EXPECT_EQ(row(fe, 1), "ab");
    EXPECT_EQ(harness::BeepCount(), 3);
    key(fe, 9);
    key(fe, 13); // Return on the last field adds a row
    EXPECT_EQ(fe->rowCount, 2);
    EXPECT_EQ(fe->focusedItem, 3);

    // 80 characters pasted into an empty pin field: the first 17.
    setScrap(std::string(40, 'p').append(40, 'q').c_str());
    command(fe, kCmdPaste);
    EXPECT_EQ(row(fe, 3), std::string(17, 'p'));

    command(fe, kCmdCreate);
    EXPECT_EQ(fe->rowCount, 3);
    EXPECT_EQ(fe->focusedItem, 5);
    // The Delete key deletes a selection through the Delete command, and beeps without one.
    key(fe, 317);
    EXPECT_EQ(harness::BeepCount(), 4);
    type(fe, "z9");
    TESetSelect(0, 1, fe->textEdit);
    key(fe, 317);
    EXPECT_EQ(row(fe, 5), "9");
    EXPECT_EQ(harness::BeepCount(), 4);

    MenuEnableRecord rec;
    rec.command = kCmdCreate;
    ASSERT_TRUE(fe->window->handler(fe->window, rec));
    EXPECT_STREQ(rec.text, "Create Pin-Swap Field");
    FieldEditor* net = openFieldEditor(editor, -2);
    rec = MenuEnableRecord{};
    rec.command = kCmdCreate;
    ASSERT_TRUE(net->window->handler(net->window, rec));
    EXPECT_STREQ(rec.text, "Create Pin Field");
}

TEST_F(FieldEditorTest, RenumberWalksSoThatNoTwoShareAnIndex) {
    FieldEditor* b = openFieldEditor(editor, 2);
    FieldEditor* c = openFieldEditor(editor, 3);
    renumberFieldEditors(editor, 2, 0, 1); // two sections inserted before the second
    EXPECT_EQ(b->index, 3);
    EXPECT_EQ(c->index, 4);
    EXPECT_EQ(title(c), "P1  (Section D)");
    renumberFieldEditors(editor, 3, 4, -1);
    EXPECT_EQ(b->index, 2);
    EXPECT_EQ(c->index, 3);
    FieldEditor* n1 = openFieldEditor(editor, -1);
    FieldEditor* n2 = openFieldEditor(editor, -2);
    renumberFieldEditors(editor, -1, 0, -1);
    EXPECT_EQ(n1->index, -2);
    EXPECT_EQ(n2->index, -3);
    EXPECT_EQ(findFieldEditor(editor, -1), nullptr);
    renumberFieldEditors(editor, -2, 0, 1); // walked up: -2 moves before -3 does
    EXPECT_EQ(n1->index, -1);
    EXPECT_EQ(n2->index, -2);
    EXPECT_EQ(title(n2), "P1  (GND)");
}

TEST_F(FieldEditorTest, CommitKeepsWholePairsUpperCasedAndRebuildsTheNetText) {
    FieldEditor* fe = openFieldEditor(editor, 1);
    key(fe, 9);
    type(fe, "a1"); // (a1, 2)
    key(fe, 9);
    type(fe, "b"); // (a1, b)
    key(fe, 9);
    key(fe, 9);
    key(fe, 8); // (3, -): dropped
    closeRequest(fe);
    EXPECT_TRUE(ShownDialogs().empty());
    EXPECT_EQ(findFieldEditor(editor, 1), nullptr);
    EXPECT_EQ(sectionAt(editor->working, 1)->classId, 5);
    EXPECT_EQ(sectionAt(editor->working, 1)->pinChangeCount, 2);
    EXPECT_EQ(pinChanges(editor, 1), "A1\tB\t5\t6");

    FieldEditor* net = openFieldEditor(editor, -1);
    type(net, " gnd ");
    key(net, 9);
    type(net, "x9");
    key(net, 9);
    key(net, 8); // the second pin emptied
    editorExtensions().commitFieldEditor(editor, -1);
    EXPECT_FALSE(net->changed);
    EXPECT_EQ(netItemText(findNetItem(editor->working, 1)), "GND\tX9");
    EXPECT_EQ(FrontWindow(), net->window); // the commit leaves the window open
}

TEST_F(FieldEditorTest, ValidationAsksAndProceedDeletesTheItem) {
    FieldEditor* b = openFieldEditor(editor, 2);
    FieldEditor* c = openFieldEditor(editor, 3);
    SelectWindow(b->window);
    key(b, 8); // the Class ID emptied
    command(c, kCmdCreate);
    SelectWindow(c->window);
    AnswerNextDialog(1006, 1); // Cancel
    closeRequest(b);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(2), kNeedsClassId);
    EXPECT_EQ(FrontWindow(), b->window);
    EXPECT_EQ(editor->working.sectionCount, 3);
    type(b, "0");
    AnswerNextDialog(1006, 3); // Proceed: section 2 goes, section 3 becomes 2
    closeRequest(b);
    EXPECT_EQ(ShownDialogs().size(), 2u);
    EXPECT_EQ(editor->working.sectionCount, 2);
    EXPECT_EQ(sectionAt(editor->working, 2)->classId, 7);
    EXPECT_EQ(c->index, 2);
    EXPECT_EQ(title(c), "P1  (Section B)");

    FieldEditor* net = openFieldEditor(editor, -1);
    key(net, 8);
    AnswerNextDialog(1006, 1);
    closeRequest(net);
    ASSERT_EQ(ShownDialogs().size(), 3u);
    EXPECT_EQ(ShownDialogs()[2].texts.at(2), kNeedsName);
    type(net, "N");
    key(net, 9);
    type(net, " ");
    key(net, 9);
    key(net, 8);
    harness::SetControlKey(true); // Proceed without asking
    closeRequest(net);
    harness::SetControlKey(false);
    EXPECT_EQ(ShownDialogs().size(), 3u);
    EXPECT_EQ(countNetItems(editor->working), 1);
    EXPECT_EQ(netItemText(findNetItem(editor->working, 1)), "GND\t1");

    // A net item with a name and only blank pins asks about the pins.
    FieldEditor* gnd = openFieldEditor(editor, -1);
    key(gnd, 9);
    key(gnd, 8);
    AnswerNextDialog(1006, 1);
    closeRequest(gnd);
    ASSERT_EQ(ShownDialogs().size(), 4u);
    EXPECT_EQ(ShownDialogs()[3].texts.at(2), kNeedsPin);
    EXPECT_EQ(FrontWindow(), gnd->window);
}

TEST_F(FieldEditorTest, RevertPackageFromAFieldEditorGoesToItsPackageEditor) {
    FieldEditor* fe = openFieldEditor(editor, 1);
    type(fe, "9");
    AnswerNextDialog(1007, 2); // Cancel: nothing changes
    command(fe, kCmdRevertPackage);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(3),
              "Do you really want to discard all changes made to \"P1\"?");
    EXPECT_EQ(findFieldEditor(editor, 1), fe);
    AnswerNextDialog(1007, 1);
    command(fe, kCmdRevertPackage);
    harness::ProcessUpdates();
    EXPECT_EQ(findFieldEditor(editor, 0), nullptr);
    EXPECT_EQ(entryAt(file, 0)->editor, nullptr);
    EXPECT_EQ(displayNames(file), (std::vector<std::string>{"P1"}));
}

} // namespace
