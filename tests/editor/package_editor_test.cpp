// The package editor window driven through the harness: the header fields and their limits,
// typing, Return, paste, the window's title and placement, Open Editor's window counts, the
// commit of edits to the list, validation on close, Revert Package and Save.
#include "editor/PackageEditor.h"
#include "listwin/ListCommands.h"
#include "listwin/ListWindow.h"
#include "listwin/PackageClipboard.h"
#include "model/Image.h"
#include "model/PackageFileIO.h"
#include "resources/Commands.h"
#include "shell/FileCommands.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/harness/Harness.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace test_support;

namespace {

constexpr const char* kNeedsSection =
    "A package must have a valid component section.  If you proceed, the package will be deleted.";
constexpr const char* kNeedsName = "A package must have a valid name and reference designator "
                                   "prefix.  If you proceed, the package will be deleted.";

class PackageEditorTest : public ScratchTest {
protected:
    void SetUp() override {
        ASSERT_EQ(initEntryPool(), noErr);
        installListWindowHooks(ListWindowHooks{});
        installPackageEditor();
        ResetDialogHarness();
        harness::ResetBeeps();
        harness::ResetKeys();
    }
    void TearDown() override {
        while (PackageFile* f = firstPackageFile())
            ASSERT_EQ(closeFile(f, CloseMode::forced), CloseResult::closed);
        EXPECT_EQ(editorWindows(), 0);
        ResetDialogHarness();
    }

    // A package file of packages with these names (one section of Class ID 5 each, or none
    // where the name ends in "!"), its list window in front.
    PackageFile* openLibrary(const std::vector<std::string>& names) {
        std::vector<UniqueHandle> images;
        for (const std::string& n : names)
            images.push_back(n.ends_with("!") ? packageImage(n, {}) : packageImage(n, {5}));
        writeRecordFile(path, images);
        PackageFile* f = openFile(path);
        harness::ProcessUpdates();
        return f;
    }
    static int editorWindows() {
        int n = 0;
        for (WindowPtr w = GetNextWindow(nullptr); w; w = GetNextWindow(w))
            n += editorOfWindow(w) != nullptr;
        return n;
    }
    static std::string title(PackageEditor* e) {
        char text[256];
        GetWTitle(e->window, text);
        return text;
    }
    static std::string field(PackageEditor* e, int item) {
        return getItemText(e->headerForm, item).str();
    }
    static std::string stored(PackageEditor* e, int fieldNumber) {
        return packageField(e->working, fieldNumber).str();
    }
    static void key(PackageEditor* e, int c) {
        WindowMessage msg;
        msg.kind = wmKeyDown;
        msg.key = KeyCode{std::int16_t(c)};
        harness::Deliver(e->window, msg);
    }
    static void type(PackageEditor* e, const std::string& text) {
        for (unsigned char c : text)
            key(e, c);
    }
    static void command(PackageEditor* e, std::int16_t c) {
        WindowMessage msg;
        msg.kind = wmMenuCommand;
        msg.command = c;
        harness::Deliver(e->window, msg);
        harness::ProcessUpdates();
    }
    static void closeRequest(PackageEditor* e) {
        WindowMessage msg;
        msg.kind = wmCloseRequest;
        harness::Deliver(e->window, msg);
        harness::ProcessUpdates();
    }
    static void setScrap(const char* text) {
        QGuiApplication::clipboard()->setText(text);
        harness::SendApplicationActivation();
    }
    static void selectOnly(PackageFile* f, int from, int count) {
        deselectAll(f);
        for (int i = from; i < from + count; ++i)
            entryAt(f, i)->flags |= kSelected;
    }
};

TEST_F(PackageEditorTest, TitleFollowsThePackageNameAtEveryKeystroke) {
    PackageFile* f = openLibrary({""});
    PackageEditor* e = openEditor(entryAt(f, 0));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(title(e), "Unnamed Package");
    EXPECT_EQ(FrontWindow(), e->window);
    EXPECT_EQ(e->currentField, kHeaderName);
    EXPECT_EQ(e->focus, EditorFocus::header);
    EXPECT_EQ(e->activeList, 0);
    type(e, "Q");
    EXPECT_EQ(title(e), "Q");
    type(e, "7");
    EXPECT_EQ(title(e), "Q7");
    key(e, 8);
    key(e, 8);
    EXPECT_EQ(title(e), "Unnamed Package");
    EXPECT_EQ(stored(e, 1), "");
    // Opening it again only brings the same window to the front.
    SelectWindow(f->listWindow);
    EXPECT_EQ(openEditor(entryAt(f, 0)), e);
    EXPECT_EQ(FrontWindow(), e->window);
    EXPECT_EQ(editorWindows(), 1);
}

TEST_F(PackageEditorTest, FieldsKeepTheirLimitsAndRefuseCommasPeriodsAndControls) {
    PackageFile* f = openLibrary({"R1"});
    PackageEditor* e = openEditor(entryAt(f, 0));
    ASSERT_NE(e, nullptr);
    // The whole name "R1" is selected when the window opens: typing replaces it.
    type(e, "ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(field(e, kHeaderName), "ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(harness::BeepCount(), 0);
    type(e, "R");
    EXPECT_EQ(harness::BeepCount(), 1);
    EXPECT_EQ(field(e, kHeaderName).size(), 17u);
    TESetSelect(2, 5, e->textEdit);
    type(e, "xyzw");
    EXPECT_EQ(field(e, kHeaderName), "ABxyzFGHIJKLMNOPQ");
    EXPECT_EQ(harness::BeepCount(), 2);
    type(e, ",");
    key(e, 3);
    key(e, 127);
    EXPECT_EQ(harness::BeepCount(), 5);

    // Tab to the prefix "U", all of it selected; lower case and a blank are typed as they are
    // and stored trimmed in upper case.
    key(e, 9);
    EXPECT_EQ(e->currentField, kHeaderPrefix);
    EXPECT_EQ(e->textEdit->selStart, 0);
    EXPECT_EQ(e->textEdit->selEnd, 1);
    type(e, "ic.,4 ");
    EXPECT_EQ(field(e, kHeaderPrefix), "ic4 ");
    EXPECT_EQ(stored(e, 2), "IC4");
    harness::ResetBeeps();
    type(e, "abcdx");
    EXPECT_EQ(field(e, kHeaderPrefix), "ic4 abcd");
    EXPECT_EQ(harness::BeepCount(), 1);

    // Return is a Tab: the Shape "DIP" comes next, selected whole; a comma stays out of it.
    key(e, 13);
    EXPECT_EQ(e->currentField, kHeaderShape);
    EXPECT_EQ(e->textEdit->selEnd - e->textEdit->selStart, 3);
    type(e, "so,p");
    EXPECT_EQ(field(e, kHeaderShape), "sop");
    EXPECT_EQ(stored(e, 3), "SOP");
    // Tab runs through the parameters and wraps to the name.
    for (int expected : {10, 13, 15, 2}) {
        key(e, 9);
        EXPECT_EQ(e->currentField, expected);
    }
    EXPECT_TRUE(hasChanges(e));
}

TEST_F(PackageEditorTest, PasteStopsAtTheFirstRefusedCharacterAndFitsTheRoom) {
    PackageFile* f = openLibrary({"R1"});
    PackageEditor* e = openEditor(entryAt(f, 0));
    ASSERT_NE(e, nullptr);
    key(e, 9);
    key(e, 9); // the Shape, "DIP" selected
    command(e, kCmdDelete);
    EXPECT_EQ(field(e, kHeaderShape), "");
    setScrap("ab,cd");
    command(e, kCmdPaste);
    EXPECT_EQ(field(e, kHeaderShape), "ab");
    EXPECT_EQ(stored(e, 3), "AB");

    TESetSelect(0, 255, e->textEdit);
    command(e, kCmdDelete);
    const std::string letters(80, 'k');
    setScrap(letters.c_str());
    command(e, kCmdPaste);
    EXPECT_EQ(field(e, kHeaderShape), std::string(56, 'k'));
    // Full: a further paste adds nothing.
    command(e, kCmdPaste);
    EXPECT_EQ(field(e, kHeaderShape).size(), 56u);
    EXPECT_EQ(harness::BeepCount(), 0);
}

TEST_F(PackageEditorTest, MenusFollowTheFocusAndTheSelection) {
    PackageFile* f = openLibrary({"R1"});
    PackageEditor* e = openEditor(entryAt(f, 0));
    ASSERT_NE(e, nullptr);
    auto ask = [](std::int16_t c, std::string* text = nullptr) {
        MenuEnableRecord title;
        title.command = std::int16_t(c / 100 * 100);
        AskMenuEnabling(title);
        MenuEnableRecord rec;
        rec.command = c;
        AskMenuEnabling(rec);
        if (text) *text = rec.text;
        return rec.enabled;
    };
    std::string text;
    EXPECT_TRUE(ask(kCmdCopy)); // "R1" is selected
    EXPECT_FALSE(ask(kCmdDuplicate));
    EXPECT_FALSE(ask(kCmdOpenEditor));
    EXPECT_FALSE(ask(kCmdFind));
    EXPECT_TRUE(ask(kCmdSelectAll)); // one section
    EXPECT_TRUE(ask(kCmdCreate, &text));
    EXPECT_EQ(text, "Create New Section");
    EXPECT_FALSE(ask(kCmdRevertPackage, &text));
    EXPECT_EQ(text, "Revert This Package");
    TESetSelect(2, 2, e->textEdit);
    EXPECT_FALSE(ask(kCmdCut));
    type(e, "x");
    EXPECT_TRUE(ask(kCmdRevertPackage));
    // The nets shown, Create makes a net.
    showList(e, 1, true);
    EXPECT_EQ(e->focus, EditorFocus::window);
    EXPECT_TRUE(ask(kCmdCreate, &text));
    EXPECT_EQ(text, "Create New Net");
    EXPECT_FALSE(ask(kCmdCopy));
    // Tab in the list goes back to the header, the field's whole text selected.
    key(e, 9);
    EXPECT_EQ(e->focus, EditorFocus::header);
    EXPECT_EQ(e->textEdit->selEnd - e->textEdit->selStart, 3);
}

TEST_F(PackageEditorTest, ClicksMoveTheFocusBetweenTheListAndTheHeaderFields) {
    PackageFile* f = openLibrary({"R1"});
    PackageEditor* e = openEditor(entryAt(f, 0));
    ASSERT_NE(e, nullptr);
    harness::SendClick(e->window, Point{40, 100});
    EXPECT_EQ(e->focus, EditorFocus::window);
    EXPECT_FALSE(e->textEdit->active);
    // The prefix field (top 12, left 328) takes the focus and the caret; Shift-click at its
    // far end selects the "U" between.
    harness::SendClick(e->headerPane, Point{19, 329});
    EXPECT_EQ(e->focus, EditorFocus::header);
    EXPECT_EQ(e->currentField, kHeaderPrefix);
    EXPECT_TRUE(e->textEdit->active);
    EXPECT_EQ(e->textEdit->selEnd, e->textEdit->selStart);
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
    EXPECT_EQ(GetControlValue(GetWindowControl(e->headerPane, kHeaderSectionsButton)), 0);
    EXPECT_EQ(e->focus, EditorFocus::header);

    // Copying header text empties the package clipboard.
    SelectWindow(f->listWindow);
    selectOnly(f, 0, 1);
    copyCommand(f);
    ASSERT_TRUE(clipboardHoldsList());
    SelectWindow(e->window);
    command(e, kCmdCopy);
    EXPECT_FALSE(clipboardHoldsList());
    EXPECT_EQ(TEGetScrapLength(), 1);

    // Create in the list opens the new package's editor, titled as unnamed.
    SelectWindow(f->listWindow);
    createCommand(f);
    PackageEditor* created = currentPackageEditor();
    ASSERT_NE(created, e);
    EXPECT_EQ(created->entry, entryAt(f, 1));
    EXPECT_EQ(title(created), "Unnamed Package");
}

TEST_F(PackageEditorTest, TheShapeFieldAndItsPopupFollowTheShapeRules) {
    PackageFile* f = openLibrary({"R1"});
    PackageEditor* e = openEditor(entryAt(f, 0));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(field(e, 9), "PN{}"); // "DIP" names no family
    key(e, 9);
    key(e, 9);
    type(e, "vdip ");
    EXPECT_EQ(stored(e, 3), "VDIP");
    EXPECT_EQ(field(e, 9), "Pin Count");
    EXPECT_EQ(field(e, 12), "Row Space");
    EXPECT_EQ(field(e, 14), "");
    // Choosing CCP (position 4 of the shapes menu) in the popup beside the Shape (top 51,
    // left 282) writes it and leaves parameter 1 current.
    AnswerNextPopUpMenu(4);
    harness::SendClick(e->headerPane, Point{58, 290});
    ASSERT_EQ(ShownPopUpMenus().size(), 1u);
    EXPECT_EQ(ShownPopUpMenus()[0].menuId, 700);
    EXPECT_EQ(field(e, kHeaderShape), "CCP");
    EXPECT_EQ(stored(e, 3), "CCP");
    EXPECT_EQ(field(e, 9), "Style");
    EXPECT_EQ(e->currentField, kHeaderParam1);
}

TEST_F(PackageEditorTest, EditorsOpenBelowAndRightOfTheFrontOneOfTheirFile) {
    PackageFile* f = openLibrary({"A", "B"});
    const Rect list = GetWindowBounds(f->listWindow);
    PackageEditor* a = openEditor(entryAt(f, 0));
    ASSERT_NE(a, nullptr);
    const Rect first = GetWindowBounds(a->window);
    EXPECT_EQ(first.left, list.left + 18);
    EXPECT_EQ(first.top, list.top + 18);
    EXPECT_EQ(first.right - first.left, 412);
    EXPECT_EQ(first.bottom - first.top, 244);
    PackageEditor* b = openEditor(entryAt(f, 1));
    ASSERT_NE(b, nullptr);
    const Rect second = GetWindowBounds(b->window);
    EXPECT_EQ(second.left, first.left + 18);
    EXPECT_EQ(second.top, first.top + 18);
    EXPECT_EQ(currentPackageEditor(), b);
}

TEST_F(PackageEditorTest, OpenEditorOpensSevenAsksAtEightAndRefusesSeventeen) {
    std::vector<std::string> names;
    for (int i = 1; i <= 17; ++i)
        names.push_back("P" + std::to_string(i));
    PackageFile* f = openLibrary(names);
    // A double click on the second row opens its editor.
    const Point row{std::int16_t(listArea(f).top + listRowHeight() + 2), 10};
    harness::SendClick(f->listWindow, row, Qt::NoModifier, 100);
    harness::SendDoubleClickEvent(f->listWindow, row, Qt::NoModifier, 150);
    harness::ProcessUpdates();
    ASSERT_EQ(editorWindows(), 1);
    EXPECT_EQ(entryAt(f, 1)->editor, currentPackageEditor());

    SelectWindow(f->listWindow);
    selectOnly(f, 0, 7);
    openEditorCommand(f);
    EXPECT_EQ(editorWindows(), 7);
    EXPECT_TRUE(ShownDialogs().empty());

    SelectWindow(f->listWindow);
    selectOnly(f, 0, 8);
    AnswerNextDialog(1007, 2); // Cancel
    openEditorCommand(f);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(3), "Are you sure you want to open 8 windows?");
    EXPECT_EQ(editorWindows(), 7);
    AnswerNextDialog(1007, 1);
    openEditorCommand(f);
    EXPECT_EQ(editorWindows(), 8);

    selectOnly(f, 0, 17);
    openEditorCommand(f);
    ASSERT_EQ(ShownNoteAlerts().size(), 1u);
    EXPECT_EQ(ShownNoteAlerts()[0], "You cannot open that many windows!");
    EXPECT_EQ(editorWindows(), 8);
}

TEST_F(PackageEditorTest, EditsReachTheListWhenTheEditorDeactivatesAndAreSaved) {
    PackageFile* f = openLibrary({"R1", "R2"});
    PackageEntry* entry = entryAt(f, 1);
    PackageEditor* e = openEditor(entry);
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(isModified(f)); // opening changes nothing
    type(e, "C9");
    EXPECT_TRUE(isModified(f)); // through the editor's changes
    EXPECT_EQ(displayNameView(entry), "R2");
    SelectWindow(f->listWindow);
    harness::ProcessUpdates();
    EXPECT_EQ(displayNameView(entry), "C9");
    EXPECT_NE(entry->flags & kModified, 0u);
    EXPECT_FALSE(hasChanges(e));

    // Typing again, then Save with the editor still open and in front: the file holds it.
    SelectWindow(e->window);
    type(e, "X");
    EXPECT_TRUE(fileCommand(kCmdSave));
    EXPECT_FALSE(isModified(f));
    ASSERT_EQ(closeFile(f, CloseMode::forced), CloseResult::closed);
    EXPECT_EQ(editorWindows(), 0);
    PackageFile* again = openFile(path);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(displayNames(again), (std::vector<std::string>{"R1", "C9X"}));
}

TEST_F(PackageEditorTest, ClosingAnInvalidPackageAsksAndProceedDeletesIt) {
    PackageFile* f = openLibrary({"Bare!", "R2"});
    PackageEditor* bare = openEditor(entryAt(f, 0));
    ASSERT_NE(bare, nullptr);
    AnswerNextDialog(1006, 1); // Cancel: back in front, still open
    closeRequest(bare);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(2), kNeedsSection);
    EXPECT_EQ(FrontWindow(), bare->window);
    AnswerNextDialog(1006, 3);
    closeRequest(bare);
    EXPECT_EQ(displayNames(f), (std::vector<std::string>{"R2"}));
    EXPECT_EQ(editorWindows(), 0);

    // A blank prefix asks the other question; with Control held nothing is asked.
    PackageEditor* r2 = openEditor(entryAt(f, 0));
    ASSERT_NE(r2, nullptr);
    key(r2, 9);
    type(r2, "  ");
    AnswerNextDialog(1006, 1);
    closeRequest(r2);
    ASSERT_EQ(ShownDialogs().size(), 3u);
    EXPECT_EQ(ShownDialogs()[2].texts.at(2), kNeedsName);
    harness::SetControlKey(true);
    closeRequest(r2);
    harness::ResetKeys();
    EXPECT_EQ(ShownDialogs().size(), 3u);
    EXPECT_EQ(f->packageCount, 0);
    EXPECT_NE(f->discards, nullptr);
}

TEST_F(PackageEditorTest, FileCommandsAndListDeletesCloseEditorsWithoutQuestions) {
    PackageFile* f = openLibrary({"Bare!", "R2", "R3"});
    // Revert Package from the editor: the stored name comes back, no validation is asked.
    PackageEditor* e = openEditor(entryAt(f, 0));
    ASSERT_NE(e, nullptr);
    type(e, "Z");
    AnswerNextDialog(1007, 1);
    command(e, kCmdRevertPackage);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(3),
              "Do you really want to discard all changes made to \"Bare!\"?");
    EXPECT_EQ(editorWindows(), 0);
    EXPECT_EQ(displayNames(f), (std::vector<std::string>{"Bare!", "R2", "R3"}));
    EXPECT_EQ(entryAt(f, 0)->flags & kModified, 0u);

    // Delete from the list closes the entry's editor; the list's Delete keeps working after.
    openEditor(entryAt(f, 1));
    SelectWindow(f->listWindow);
    selectOnly(f, 1, 1);
    deleteCommand(f);
    EXPECT_EQ(editorWindows(), 0);
    EXPECT_EQ(displayNames(f), (std::vector<std::string>{"Bare!", "R3"}));

    // Revert File and Close with Discard: the invalid package's editor goes without asking.
    openEditor(entryAt(f, 0));
    AnswerNextDialog(1007, 1);
    EXPECT_TRUE(fileCommand(kCmdRevertFile));
    EXPECT_EQ(editorWindows(), 0);
    EXPECT_EQ(displayNames(f), (std::vector<std::string>{"Bare!", "R2", "R3"}));
    type(openEditor(entryAt(f, 0)), "Q");
    AnswerNextDialog(1005, 3);
    EXPECT_EQ(closeFile(f, CloseMode::askToSave), CloseResult::closed);
    EXPECT_EQ(editorWindows(), 0);
    for (const ShownDialog& d : ShownDialogs())
        EXPECT_NE(d.templateId, 1006);
}

TEST_F(PackageEditorTest, AnUnreadableImageOpensNoEditor) {
    PackageFile* f = openLibrary({"R1"});
    Handle broken = NewHandle(3);
    ASSERT_NE(broken, nullptr);
    PackageEntry* e = newEntry("Broken", broken, 0, ImageState::modified);
    ASSERT_NE(e, nullptr);
    insertEntryAfter(f, entryAt(f, 0), e);
    EXPECT_EQ(openEditor(e), nullptr);
    EXPECT_EQ(e->editor, nullptr);
    EXPECT_EQ(ShownNoteAlerts().size(), 1u);
    EXPECT_EQ(editorWindows(), 0);
}

} // namespace
