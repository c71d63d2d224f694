// The field editor windows: rows, drawing and placement on opening, key filter, Tab, Return, paste,
// Delete, menu texts, closing questions. Limits, titles, commits: the random-input test.
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

using Texts = std::vector<std::string>;

// Keys go in as text: "\t" is Tab, "\r" Return, "\b" Backspace.
class FieldEditorTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        openEditing(
            buildImage({{"P1", "U", "DIP"},
                        {{7, {{"9", "8"}}}, {6, {}}, {5, {{"1", "2"}, {"3", "4"}, {"5", "6"}}}},
                        {"VCC\t7\t14", "GND\t1"}}));
    }
    static Texts rows(FieldEditor* fe) {
        Texts texts;
        for (int i = 1; i <= itemCount(fe->rowsForm); ++i)
            texts.push_back(getItemText(fe->rowsForm, i).str());
        return texts;
    }
    static std::string header(FieldEditor* fe) {
        return getItemText(fe->headerForm, kFieldHeaderEdit).str();
    }
    // Asks to close, answering the validation question with item answer; the question asked.
    static std::string close(FieldEditor* fe, int answer) {
        const std::size_t asked = ShownDialogs().size();
        AnswerNextDialog(1006, std::int16_t(answer));
        RequestClose(fe->window);
        return ShownDialogs().size() > asked ? ShownDialogs().back().texts.at(2) : "";
    }
    static void type(FieldEditor* fe, const std::string& keys) { TypeText(fe->window, keys); }
};

TEST_F(FieldEditorTest, OpensDrawnAndCascadedKeyFilterTabReturnPasteAndDelete) {
    FieldEditor* third = openFieldEditor(editor, 3); // three pairs: four rows
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(rows(third), (Texts{"1", "2", "3", "4", "5", "6", "", ""}));
    EXPECT_EQ(itemRect(third->rowsForm, 7), (Rect{52, 5, 66, 111})); // 3 rows of 17 below row 1
    EXPECT_EQ(titleOf(third->window), "P1  (Section C)");
    // The first update draws the loaded rows: dark text inside the frames of the pins' fields.
    harness::ProcessUpdates();
    const auto darkInside = [third](int item) {
        Rect r = itemRect(third->rowsForm, item), seen;
        InsetRect(&r, 2, 2);
        return SectRect(r, GetPortRect(third->window), &seen) ? CountDark(third->window, seen) : -1;
    };
    for (int item = 1; item <= 8; ++item)
        EXPECT_EQ(darkInside(item) > 0, item <= 6) << "item " << item;

    FieldEditor* first = openFieldEditor(editor, 1);
    const Rect a = GetWindowBounds(third->window);
    EXPECT_EQ(GetWindowBounds(first->window),
              (Rect{std::int16_t(a.top + 18), std::int16_t(a.left + 18),
                    std::int16_t(a.top + 18 + 173), std::int16_t(a.left + 18 + 230)}));
    EXPECT_EQ(FrontWindow(), first->window);

    // Section B's Class ID, signed 32 bits: a letter, a "-" not first, a digit past range beep.
    FieldEditor* fe = openFieldEditor(editor, 2);
    type(fe, "a-3000000000-");
    EXPECT_EQ(header(fe) + " " + std::to_string(harness::BeepCount()), "-300000000 3");
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
    type(fe, "a,b");
    EXPECT_TRUE(rows(fe) == (Texts{"ab", ""}) && harness::BeepCount() == 1) << rows(fe)[0];
    // The field typed in is white; once left, the window's grey.
    const Rect field = itemRect(fe->rowsForm, 1);
    for (const std::uint32_t back : {0xFFFFFFu, 0xBBBBBBu}) {
        harness::ProcessUpdates();
        EXPECT_EQ(PixelAt(fe->window, field.right - 3, field.top + 3) & 0xFFFFFF, back);
        if (back == 0xFFFFFFu) type(fe, "\t");
    }
    type(fe, "\r");
    EXPECT_TRUE(fe->rowCount == 2 && fe->focusedItem == 3) << fe->focusedItem;

    // The Delete key deletes a selection through the Delete command, and beeps without one.
    SendCommand(fe->window, kCmdCreate);
    EXPECT_EQ(fe->focusedItem, 5);
    SendKeyDown(fe->window, 317);
    EXPECT_EQ(harness::BeepCount(), 2);
    type(fe, "z9");
    TESetSelect(0, 1, fe->textEdit);
    SendKeyDown(fe->window, 317);
    EXPECT_TRUE(rows(fe)[4] == "9" && harness::BeepCount() == 2) << rows(fe)[4];

    std::string text;
    EXPECT_TRUE(MenuItemEnabled(kCmdCreate, &text) && text == "Create Pin-Swap Field") << text;
    openFieldEditor(editor, -2);
    EXPECT_TRUE(MenuItemEnabled(kCmdCreate, &text) && text == "Create Pin Field") << text;
}

TEST_F(FieldEditorTest, ClosingAsksAboutAnInvalidItemSectionsFirstAndProceedDeletesIt) {
    const std::string needsClassId = "A component section must have a non-zero Class ID.  If you "
                                     "proceed, the section will be deleted.";
    FieldEditor* b = openFieldEditor(editor, 2);
    type(b, "-");                         // a Class ID of "-": 0
    EXPECT_EQ(close(b, 1), needsClassId); // Cancel: in front again, the section still listed
    EXPECT_TRUE(FrontWindow() == b->window && editor->working.sectionCount == 3);
    type(b, "0");
    EXPECT_EQ(close(b, 3), needsClassId); // "-0" is 0 too. Proceed: section 2 goes
    EXPECT_EQ(sectionAt(editor->working, 2)->classId, 5);

    FieldEditor* second = openFieldEditor(editor, 2);
    type(second, "-");
    FieldEditor* net = openFieldEditor(editor, -1);
    type(net, "N\t\b\t\b"); // a name, but the pins blank
    EXPECT_EQ(close(net, 1), "A net item must have a valid pin number.  If you proceed, the net "
                             "item will be deleted.");

    // Closing the package editor asks about sections before nets, whichever opened first:
    // Proceed deletes section 2; Cancel at the net keeps it and the editor, the net in front.
    AnswerNextDialog(1006, 3);
    AnswerNextDialog(1006, 1);
    RequestClose(editor->window);
    ASSERT_EQ(ShownDialogs().size(), 5u);
    EXPECT_EQ(ShownDialogs()[3].texts.at(2), needsClassId);
    EXPECT_TRUE(editor->working.sectionCount == 1 && editorOf(entryAt(file, 0)) == editor);
    EXPECT_TRUE(findFieldEditor(editor, -1) == net && FrontWindow() == net->window);
}

} // namespace
