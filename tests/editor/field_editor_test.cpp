// The field editor windows driven through the harness: rows and titles on opening, placement,
// the key filter, Tab and Return, paste, menu texts, renumbering, and the validation and commit
// that carry the texts into the working package.
#include "editor/FieldEditor.h"
#include "resources/Commands.h"
#include "tests/support/EditorTest.h"
#include "tests/support/gui/window_input.h"
#include "toolbox/harness/Harness.h"

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

using Texts = std::vector<std::string>;

// Keys go in as text: "\t" is Tab, "\r" Return, "\b" Backspace.
class FieldEditorTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        PackageContents pkg;
        pkg.fields = {"P1", "U", "DIP"};
        pkg.sections = {{7, {{"9", "8"}}}, {6, {}}, {5, {{"1", "2"}, {"3", "4"}, {"5", "6"}}}};
        pkg.nets = {"VCC\t7\t14", "GND\t1"};
        file = openImage(buildImage(pkg));
        ASSERT_NE(file, nullptr);
        editor = openEditor(entryAt(file, 0));
        ASSERT_NE(editor, nullptr);
    }
    void TearDown() override {
        EditorTest::TearDown();
        EXPECT_EQ(windows(fieldEditorOfWindow), 0);
    }
    static std::string title(FieldEditor* fe) { return WindowTitle(fe->window); }
    static Texts rows(FieldEditor* fe) {
        Texts texts;
        for (int i = 1; i <= itemCount(fe->rowsForm); ++i)
            texts.push_back(getItemText(fe->rowsForm, i).str());
        return texts;
    }
    static std::string header(FieldEditor* fe) {
        return getItemText(fe->headerForm, kFieldHeaderEdit).str();
    }
    static void type(FieldEditor* fe, const std::string& keys) { TypeText(fe->window, keys); }
    // Asks to close, answering the validation question with item (0: none expected).
    static void close(FieldEditor* fe, int answer = 0) {
        if (answer) AnswerNextDialog(1006, std::int16_t(answer));
        RequestClose(fe->window);
    }
    std::string pinChanges(int k) const {
        const ComponentSection* s = sectionAt(editor->working, k);
        return s->pinChanges ? std::string(s->pinChanges->data, GetHandleSize(s->pinChanges)) : "";
    }
    static std::string lastQuestion() {
        return ShownDialogs().empty() ? "" : ShownDialogs().back().texts.at(2);
    }
    PackageFile* file = nullptr;
    PackageEditor* editor = nullptr;
};

TEST_F(FieldEditorTest, OpensWithOneEmptyRowMoreAndPlacesAndTitlesTheWindows) {
    FieldEditor* third = openFieldEditor(editor, 3); // three pairs: four rows
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(rows(third), (Texts{"1", "2", "3", "4", "5", "6", "", ""}));
    // Row 4 is three 17-pixel rows below row 1 (1, 5, 15, 111).
    EXPECT_EQ(itemRect(third->rowsForm, 7), (Rect{52, 5, 66, 111}));
    EXPECT_EQ(header(third), "5");
    EXPECT_EQ(title(third), "P1  (Section C)");
    // The loaded rows are drawn by the window's first update: the fields holding a pin number
    // show dark text inside their frames (the part of them in the window), the empty fields of
    // the last row none.
    harness::ProcessUpdates();
    const auto darkInside = [third](int item) {
        Rect r = itemRect(third->rowsForm, item), seen;
        InsetRect(&r, 2, 2);
        return SectRect(r, GetPortRect(third->window), &seen) ? CountDark(third->window, seen) : -1;
    };
    for (int item = 1; item <= 6; ++item)
        EXPECT_GT(darkInside(item), 0) << "item " << item;
    EXPECT_EQ(darkInside(7), 0);
    EXPECT_EQ(darkInside(8), 0);
    EXPECT_EQ(openFieldEditor(editor, 3), third); // reopening: the same window

    FieldEditor* first = openFieldEditor(editor, 1);
    EXPECT_EQ(title(first), "P1  (Section A)");
    const Rect a = GetWindowBounds(third->window);
    const Rect b = GetWindowBounds(first->window);
    EXPECT_EQ(b, (Rect{std::int16_t(a.top + 18), std::int16_t(a.left + 18),
                       std::int16_t(a.top + 18 + 173), std::int16_t(a.left + 18 + 230)}));
    EXPECT_EQ(FrontWindow(), first->window);
}

TEST_F(FieldEditorTest, KeyFilterTabReturnAndPaste) {
    FieldEditor* fe = openFieldEditor(editor, 2); // Class ID 6, no pairs: one empty row
    ASSERT_EQ(fe->rowCount, 1);
    // A signed number that fits 32 bits: a letter beeps, "-" passes only as the first
    // character, and a digit that would take the number out of range beeps.
    type(fe, "a-3000000000-");
    EXPECT_EQ(header(fe), "-300000000");
    EXPECT_EQ(harness::BeepCount(), 3);
    TESetSelect(0, 255, fe->textEdit);
    SetTextScrap("-21474836489"); // the paste stops before the digit out of range
    SendCommand(fe->window, kCmdPaste);
    EXPECT_EQ(header(fe), "-2147483648");
    harness::ResetBeeps();

    // Tab through the row and back to the header without a new row; Return there adds one.
    for (int expected : {1, 2, 0, 1}) {
        type(fe, "\t");
        EXPECT_EQ(fe->focusedItem, expected);
    }
    EXPECT_EQ(fe->rowCount, 1);
    type(fe, "a,b");
    EXPECT_EQ(rows(fe), (Texts{"ab", ""}));
    EXPECT_EQ(harness::BeepCount(), 1);
    // The field being typed in is white; once left it is drawn on the window's grey again.
    const Rect field = itemRect(fe->rowsForm, 1);
    const auto fieldBack = [&] {
        harness::ProcessUpdates();
        return PixelAt(fe->window, field.right - 3, field.top + 3) & 0xFFFFFF;
    };
    EXPECT_EQ(fieldBack(), 0xFFFFFFu);
    type(fe, "\t");
    EXPECT_EQ(fieldBack(), 0xBBBBBBu);
    type(fe, "\t\t"); // header, then back to the row
    type(fe, "\t\r");
    EXPECT_EQ(fe->rowCount, 2);
    EXPECT_EQ(fe->focusedItem, 3);

    SetTextScrap(std::string(40, 'p').append(40, 'q')); // 80 into an empty pin field: 17
    SendCommand(fe->window, kCmdPaste);
    EXPECT_EQ(rows(fe)[2], std::string(17, 'p'));

    SendCommand(fe->window, kCmdCreate);
    EXPECT_EQ(fe->rowCount, 3);
    EXPECT_EQ(fe->focusedItem, 5);
    // The Delete key deletes a selection through the Delete command, and beeps without one.
    SendKeyDown(fe->window, 317);
    EXPECT_EQ(harness::BeepCount(), 2);
    type(fe, "z9");
    TESetSelect(0, 1, fe->textEdit);
    SendKeyDown(fe->window, 317);
    EXPECT_EQ(rows(fe)[4], "9");
    EXPECT_EQ(harness::BeepCount(), 2);

    std::string text;
    EXPECT_TRUE(MenuItemEnabled(kCmdCreate, &text));
    EXPECT_EQ(text, "Create Pin-Swap Field");
    openFieldEditor(editor, -2);
    EXPECT_TRUE(MenuItemEnabled(kCmdCreate, &text));
    EXPECT_EQ(text, "Create Pin Field");
}

TEST_F(FieldEditorTest, RenumberWalksSoThatNoTwoShareAnIndex) {
    FieldEditor* b = openFieldEditor(editor, 2);
    FieldEditor* c = openFieldEditor(editor, 3);
    renumberFieldEditors(editor, 2, 0, 1); // a section inserted before the second
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

    // Closing the package editor closes a field editor numbered past the counts too.
    renumberFieldEditors(editor, 3, 3, 2);
    ASSERT_EQ(c->index, 5);
    EXPECT_EQ(closeEditor(editor, Validation::skip), CloseResult::closed);
    EXPECT_EQ(windows(fieldEditorOfWindow), 0);
}

TEST_F(FieldEditorTest, CommitKeepsWholePairsUpperCasedAndRebuildsTheNetText) {
    FieldEditor* fe = openFieldEditor(editor, 3);
    type(fe, "\ta1\tb\t\t\b"); // (1, 2) becomes (a1, b), (3, 4) becomes (3, -): dropped
    close(fe);
    EXPECT_TRUE(ShownDialogs().empty());
    EXPECT_EQ(findFieldEditor(editor, 3), nullptr);
    EXPECT_EQ(sectionAt(editor->working, 3)->classId, 5);
    EXPECT_EQ(sectionAt(editor->working, 3)->pinChangeCount, 2);
    EXPECT_EQ(pinChanges(3), "A1\tB\t5\t6");

    FieldEditor* net = openFieldEditor(editor, -1);
    type(net, " gnd \tx9\t\b"); // the second pin emptied
    editorExtensions().commitFieldEditor(editor, -1);
    EXPECT_FALSE(net->changed);
    EXPECT_EQ(netItemText(findNetItem(editor->working, 1)), "GND\tX9");
    EXPECT_EQ(FrontWindow(), net->window); // the commit leaves the window open
}

TEST_F(FieldEditorTest, ValidationAsksAndProceedDeletesTheItem) {
    FieldEditor* b = openFieldEditor(editor, 2);
    FieldEditor* c = openFieldEditor(editor, 3);
    SelectWindow(b->window);
    type(b, "-"); // a Class ID of "-": 0
    SelectWindow(c->window);
    close(b, 1); // Cancel: in front again, the section still listed
    EXPECT_EQ(lastQuestion(), kNeedsClassId);
    EXPECT_EQ(FrontWindow(), b->window);
    EXPECT_EQ(rowCount(editor), 3);
    type(b, "0");
    close(b, 3); // "-0" is 0 too. Proceed: section 2 goes, section 3 becomes 2
    EXPECT_EQ(ShownDialogs().size(), 2u);
    EXPECT_EQ(editor->working.sectionCount, 2);
    EXPECT_EQ(sectionAt(editor->working, 2)->classId, 5);
    EXPECT_EQ(c->index, 2);
    EXPECT_EQ(title(c), "P1  (Section B)");

    FieldEditor* net = openFieldEditor(editor, -1);
    type(net, "  "); // a name of blanks, the pins kept
    close(net, 1);
    ASSERT_EQ(ShownDialogs().size(), 3u);
    EXPECT_EQ(lastQuestion(), kNeedsName);
    type(net, "N\t \t\b");        // a name, but the pins blank
    harness::SetControlKey(true); // Proceed without asking
    close(net);
    harness::SetControlKey(false);
    EXPECT_EQ(ShownDialogs().size(), 3u);
    EXPECT_EQ(countNetItems(editor->working), 1);
    EXPECT_EQ(netItemText(findNetItem(editor->working, 1)), "GND\t1");

    // A net item with a name and only blank pins asks about the pins.
    FieldEditor* gnd = openFieldEditor(editor, -1);
    type(gnd, "\t\b");
    close(gnd, 1);
    ASSERT_EQ(ShownDialogs().size(), 4u);
    EXPECT_EQ(lastQuestion(), kNeedsPin);
    EXPECT_EQ(FrontWindow(), gnd->window);
}

TEST_F(FieldEditorTest, ClosingThePackageEditorAsksTheFirstFieldEditorFirst) {
    FieldEditor* a = openFieldEditor(editor, 1);
    FieldEditor* c = openFieldEditor(editor, 3);
    SelectWindow(a->window);
    type(a, "\b"); // no Class ID
    SelectWindow(editor->window);
    AnswerNextDialog(1006, 1);
    RequestClose(editor->window);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(lastQuestion(), kNeedsClassId);
    EXPECT_EQ(editorOf(entryAt(file, 0)), editor);
    EXPECT_EQ(findFieldEditor(editor, 3), c);
    EXPECT_EQ(FrontWindow(), a->window);
}

TEST_F(FieldEditorTest, RevertPackageFromAFieldEditorGoesToItsPackageEditor) {
    FieldEditor* fe = openFieldEditor(editor, 1);
    type(fe, "9");
    AnswerNextDialog(1007, 2); // Cancel: nothing changes
    SendCommand(fe->window, kCmdRevertPackage);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(3),
              "Do you really want to discard all changes made to \"P1\"?");
    EXPECT_EQ(findFieldEditor(editor, 1), fe);
    AnswerNextDialog(1007, 1);
    SendCommand(fe->window, kCmdRevertPackage);
    EXPECT_EQ(windows(fieldEditorOfWindow), 0);
    EXPECT_EQ(editorOf(entryAt(file, 0)), nullptr);
    EXPECT_EQ(displayNames(file), (Texts{"P1"}));
}

} // namespace
