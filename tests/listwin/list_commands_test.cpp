// The list window's editing commands driven through the menus and the harness: Copy, Cut and
// Paste with the package clipboard, Duplicate's names, Delete and Save, Create, Revert Package,
// read errors and memory running out at every allocation. After every command the package
// files and the clipboard are checked for consistency.
#include "listwin/Confirmations.h"
#include "listwin/FindDialog.h"
#include "listwin/ListCommands.h"
#include "listwin/ListWindow.h"
#include "listwin/PackageClipboard.h"
#include "model/Image.h"
#include "model/PackageFileIO.h"
#include "resources/Commands.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"
#include "tests/support/ListActions.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/harness/Harness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace test_support;

namespace {

constexpr const char* kMemoryText =
    "The operation could not be completed due to insufficient memory!";

class ListCommandsTest : public ScratchTest {
protected:
    void SetUp() override {
        ASSERT_EQ(initEntryPool(), noErr);
        disposePackageClipboard();
        ResetDialogHarness();
        harness::ResetBeeps();
        baseEntries_ = entriesInUse();
    }
    void TearDown() override {
        DisarmMemoryFault();
        while (!files_.empty()) // closing takes the file off the list
            closeWithoutSaving(files_.back());
        disposePackageClipboard();
        EXPECT_EQ(entriesInUse(), baseEntries_) << "entries leaked";
        ResetDialogHarness();
    }

    // A package file on disk holding packages with these names (each with one section of Class
    // ID 5), opened for writing, its window in front. With farFromBuffer, large packages follow
    // them, so that reading the named ones again goes to the file (where a fault can strike)
    // rather than to the read-ahead buffer left by the opening.
    PackageFile* openLibrary(const std::string& file, const std::vector<std::string>& names,
                             bool farFromBuffer = false) {
        std::vector<UniqueHandle> images;
        for (const std::string& n : names)
            images.push_back(packageImage(n, {5}));
        if (farFromBuffer) addFiller(images);
        writeRecordFile(dir + "/" + file, images);
        return openPath(dir + "/" + file);
    }
    static void addFiller(std::vector<UniqueHandle>& images) {
        for (int i = 0; i < 40; ++i) // 1.28 MB, more than the read-ahead buffer holds
            images.push_back(sizedImage(32000));
    }
    PackageFile* openPath(const std::string& p) {
        PackageFile* f = nullptr;
        EXPECT_EQ(openPackageFile(p, FilePerm::readWrite, {}, &f), noErr);
        addPackageFile(f);
        files_.push_back(f);
        EXPECT_EQ(showListWindow(f, &actions_), noErr);
        harness::ProcessUpdates();
        return f;
    }
    void closeWithoutSaving(PackageFile* f) {
        std::erase(files_, f);
        EXPECT_EQ(closePackageFileRecords(f, RecordClose::forced), noErr);
        disposeListWindow(f);
        disposePackageFile(f);
    }

    // The menu bar is brought up to date from the Edit menu on, whose update takes the
    // selection summary the Package menu relies on.
    static void askTitles(std::int16_t command) {
        MenuEnableRecord edit;
        edit.command = kCmdEditMenu;
        AskMenuEnabling(edit);
        MenuEnableRecord title;
        title.command = std::int16_t(command / 100 * 100);
        AskMenuEnabling(title);
    }
    static void run(std::int16_t command) {
        askTitles(command);
        DispatchMenuCommand(command);
        harness::ProcessUpdates();
    }
    static bool enabled(std::int16_t command, std::string* text = nullptr) {
        askTitles(command);
        MenuEnableRecord rec;
        rec.command = command;
        AskMenuEnabling(rec);
        if (text) *text = rec.text;
        return rec.enabled;
    }
    static void select(PackageFile* f, std::initializer_list<int> indices) {
        deselectAll(f);
        for (int i : indices)
            entryAt(f, i)->flags |= kSelected;
    }
    static std::string marks(const PackageFile* f) {
        std::string s;
        for (const PackageEntry* e = f->packages; e; e = e->next)
            s += (e->flags & kSelected) ? '*' : '.';
        return s;
    }
    static std::vector<char> image(PackageEntry* e) {
        OSErr err = noErr;
        Handle h = getImage(e, &err);
        EXPECT_EQ(err, noErr);
        return withoutLinks(h);
    }

    // The invariants of every package file the test has and of the clipboard: the count and the
    // row index agree with the list, every entry is owned by its file, an entry never stored is
    // modified and holds a consistent image, discarded entries are stored ones; the clipboard
    // has no window, no record file and is in no open list; no entry is lost or leaked.
    void checkInvariants() {
        std::size_t entries = 0;
        auto checkList = [&](PackageFile* f, bool clipboard) {
            std::int32_t n = 0;
            for (PackageEntry* e = f->packages; e; e = e->next, ++n) {
                ++entries;
                EXPECT_EQ(e->owner, f);
                EXPECT_EQ(entryAt(f, n), e) << "row index at " << n;
                EXPECT_TRUE(e->recordId != 0 || (e->flags & kModified));
                if (e->flags & kModified) {
                    std::string why;
                    EXPECT_TRUE(imageIsConsistent(e->image, &why)) << why;
                }
                EXPECT_TRUE(!clipboard || e->recordId == 0);
            }
            EXPECT_EQ(n, f->packageCount);
            for (PackageEntry* e = f->discards; e; e = e->next, ++entries)
                EXPECT_NE(e->recordId, 0u);
        };
        for (PackageFile* f : files_)
            checkList(f, false);
        if (PackageFile* c = packageClipboard()) {
            checkList(c, true);
            EXPECT_EQ(listWindowOf(c), nullptr);
            EXPECT_EQ(c->recordFile, nullptr);
            for (PackageFile* f = firstPackageFile(); f; f = f->next)
                EXPECT_NE(f, c);
        }
        EXPECT_EQ(entriesInUse() - baseEntries_, entries);
    }

    std::vector<PackageFile*> files_;
    RecordingListActions actions_;
    std::size_t baseEntries_ = 0;
};

TEST_F(ListCommandsTest, PackagesCopiedFromAClosedFileArePastedTwiceAndSaved) {
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i)
        names.push_back("P" + std::to_string(i));
    openLibrary("src.qpk", names);
    run(kCmdSelectAll);
    run(kCmdCopy);
    closeWithoutSaving(files_.back());
    checkInvariants();
    EXPECT_EQ(displayNames(packageClipboard()), names);

    // Pasted after Q1 as the selection, the last of them scrolled into view; then a second set,
    // the clipboard unchanged.
    PackageFile* f = openLibrary("dst.qpk", {"Q1"});
    ASSERT_TRUE(enabled(kCmdPaste));
    run(kCmdPaste);
    checkInvariants();
    EXPECT_EQ(marks(f), "." + std::string(20, '*'));
    const ListView* v = listView(f);
    EXPECT_LE(v->topRow, 20);
    EXPECT_GE(v->topRow + v->lastRowOffset, 20);
    run(kCmdPaste);
    checkInvariants();
    EXPECT_EQ(marks(f), std::string(21, '.') + std::string(20, '*'));
    EXPECT_EQ(displayNames(packageClipboard()), names);
    std::vector<std::string> expected = {"Q1"};
    for (int k = 0; k < 2; ++k)
        expected.insert(expected.end(), names.begin(), names.end());
    EXPECT_EQ(displayNames(f), expected);

    for (int i = 1; i <= 40; ++i) // byte for byte
        EXPECT_EQ(image(entryAt(f, i)), withoutLinks(packageImage(names[(i - 1) % 20], {5}).get()))
            << i;

    // Copy with one entry selected replaces the clipboard; clearing the clipboards empties it.
    select(f, {3});
    run(kCmdCopy);
    EXPECT_EQ(displayNames(packageClipboard()), std::vector<std::string>{"P2"});
    clearClipboards();
    EXPECT_EQ(packageClipboard(), nullptr);
    EXPECT_FALSE(enabled(kCmdPaste));
}

TEST_F(ListCommandsTest, CutMovesStoredPackagesToTheDiscardsAndTheSaveDeletesThem) {
    PackageFile* f = openLibrary("a.qpk", {"A", "B", "C", "D"});
    select(f, {1, 3});
    run(kCmdCut);
    checkInvariants();
    EXPECT_EQ(displayNames(f), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(displayNames(packageClipboard()), (std::vector<std::string>{"B", "D"}));
    EXPECT_EQ(marks(f), "..");
    EXPECT_TRUE(isModified(f));

    // Saved, the file no longer holds the deleted records.
    ASSERT_EQ(savePackageFile(f), noErr);
    closeWithoutSaving(f);
    VerifyReport report = verifyClean(dir + "/a.qpk");
    EXPECT_EQ(report.packages, 2u);
    EXPECT_EQ(displayNames(openPath(dir + "/a.qpk")), (std::vector<std::string>{"A", "C"}));
}

TEST_F(ListCommandsTest, DuplicateAddsAPlusUpToSeventeenCharacters) {
    const std::string sixteen = "ABCDEFGHIJKLMNOP";
    const std::string twenty = "ABCDEFGHIJKLMNOPQRST"; // shown as its first 17 characters
    PackageFile* f = openLibrary("a.qpk", {"R1", sixteen, twenty, ""});
    select(f, {1});
    run(kCmdCopy);
    select(f, {0, 1, 2, 3});
    run(kCmdDuplicate);
    checkInvariants();
    EXPECT_EQ(displayNames(packageClipboard()), std::vector<std::string>{sixteen})
        << "the clipboard is not touched";
    EXPECT_EQ(displayNames(f), (std::vector<std::string>{
                                   "R1", sixteen, twenty.substr(0, 17), "Unnamed Package", "R1+",
                                   sixteen + "+", twenty.substr(0, 17), "Unnamed Package+"}));
    EXPECT_EQ(marks(f), "....****");
    // Field 1 of each image carries the new name; a 17-character display name keeps the image.
    const std::string field1[] = {"R1+", sixteen + "+", twenty, "Unnamed Package+"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(image(entryAt(f, 4 + i)), withoutLinks(packageImage(field1[i], {5}).get()));
        EXPECT_EQ(entryAt(f, i)->image, nullptr) << "stored images are purged again";
    }
}

TEST_F(ListCommandsTest, CreateAppendsAnEmptyPackageAsTheOnlySelection) {
    PackageFile* f = openLibrary("a.qpk", {"A", "B"});
    select(f, {0});
    run(kCmdCreate);
    checkInvariants(); // among them: the new entry is modified
    EXPECT_EQ(displayNames(f), (std::vector<std::string>{"A", "B", "Unnamed Package"}));
    EXPECT_EQ(marks(f), "..*");
    PackageEntry* e = entryAt(f, 2);
    EXPECT_EQ(actions_.opened, std::vector<PackageEntry*>{e});
    // The empty package: no sections, no nets, no classes, no field text.
    EXPECT_EQ(bytesOf(e->image), std::vector<char>(8, 0));
}

TEST_F(ListCommandsTest, RevertPackageRemovesUnsavedAndRestoresStoredNames) {
    PackageFile* f = openLibrary("a.qpk", {"A", "B", "C"});
    // B renamed in memory, then an unsaved copy of A at the end.
    PackageEntry* b = entryAt(f, 1);
    ASSERT_EQ(renamePackage(b, "B2"), noErr);
    select(f, {0});
    run(kCmdCopy);
    run(kCmdPaste);
    ASSERT_EQ(displayNames(f), (std::vector<std::string>{"A", "B2", "C", "A"}));

    // One selected: the question names it; Cancel changes nothing.
    select(f, {1});
    ASSERT_TRUE(enabled(kCmdRevertPackage));
    AnswerNextDialog(1007, 2);
    run(kCmdRevertPackage);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(3),
              "Do you really want to discard all changes made to \"B2\"?");
    EXPECT_EQ(displayNameView(b), "B2");

    // Two selected: the plural question; OK reverts both.
    select(f, {1, 3});
    std::string title;
    EXPECT_TRUE(enabled(kCmdRevertPackage, &title));
    EXPECT_EQ(title, "Revert These Packages");
    AnswerNextDialog(1007, 1);
    run(kCmdRevertPackage);
    EXPECT_EQ(ShownDialogs()[1].texts.at(3),
              "Do you really want to discard all changes made to the selected packages?");
    checkInvariants();
    EXPECT_EQ(displayNames(f), (std::vector<std::string>{"A", "B", "C"}));
    checkInvariants();
}

TEST_F(ListCommandsTest, AReadErrorAndMemoryRunningOutAreReported) {
    // What the commands leave then is the library operations test's; here, what the window says.
    PackageFile* f = openLibrary("a.qpk", {"A", "B", "C"}, true);
    select(f, {0, 1, 2});
    {
        ScopedFileFault fault(failingCall(FileCall::read, 1));
        run(kCmdCut); // deletes only what it copied
        EXPECT_TRUE(FileFaultFired());
    }
    ASSERT_EQ(ShownNoteAlerts().size(), 1u);
    EXPECT_EQ(ShownNoteAlerts()[0].rfind("Error:  ", 0), 0u);
    EXPECT_EQ(displayNames(packageClipboard()), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(displayNameView(entryAt(f, 0)), "A");
    select(f, {0, 1, 2});
    ResetDialogHarness();
    ArmMemoryFault(1);
    run(kCmdDuplicate);
    DisarmMemoryFault();
    EXPECT_EQ(ShownNoteAlerts(), std::vector<std::string>{kMemoryText});
    EXPECT_EQ(marks(f), "***" + std::string(std::size_t(f->packageCount - 3), '.'));
    checkInvariants();
}

TEST_F(ListCommandsTest, TheConfirmationsAskAsTheyShould) {
    // Window counts: up to 7 without a question, 8 to 16 asked, 17 refused.
    EXPECT_FALSE(confirmWindowCount(7));
    EXPECT_TRUE(ShownDialogs().empty());
    AnswerNextDialog(1007, 1);
    EXPECT_FALSE(confirmWindowCount(8));
    AnswerNextDialog(1007, 2);
    EXPECT_TRUE(confirmWindowCount(16));
    ASSERT_EQ(ShownDialogs().size(), 2u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(3), "Are you sure you want to open 8 windows?");
    EXPECT_EQ(ShownDialogs()[1].texts.at(3), "Are you sure you want to open 16 windows?");
    EXPECT_TRUE(confirmWindowCount(17));
    EXPECT_EQ(ShownDialogs().size(), 2u);
    ASSERT_EQ(ShownNoteAlerts().size(), 1u);
    EXPECT_EQ(ShownNoteAlerts()[0], "You cannot open that many windows!");

    // Proceed: the message in item 2, Proceed is item 3; the Control key answers at once.
    AnswerNextDialog(1006, 3);
    EXPECT_TRUE(confirmProceed(StringId::packageNeedsSection));
    EXPECT_EQ(ShownDialogs()[2].texts.at(2), "A package must have a valid component section.  "
                                             "If you proceed, the package will be deleted.");
    AnswerNextDialog(1006, 1);
    EXPECT_FALSE(confirmProceed(StringId::packageNeedsNameAndPrefix));
    harness::SetControlKey(true);
    EXPECT_TRUE(confirmProceed(StringId::packageNeedsNameAndPrefix));
    harness::ResetKeys();
    EXPECT_EQ(ShownDialogs().size(), 4u);

    // Open Editor: 17 selected are refused, 8 open after the question.
    PackageFile* f = openLibrary("a.qpk", std::vector<std::string>(17, "P"));
    run(kCmdSelectAll);
    run(kCmdOpenEditor);
    EXPECT_EQ(actions_.opened.size(), 0u);
    select(f, {0, 1, 2, 3, 4, 5, 6, 7});
    AnswerNextDialog(1007, 1);
    run(kCmdOpenEditor);
    EXPECT_EQ(actions_.opened.size(), 8u);
}

TEST_F(ListCommandsTest, FindAgainSelectsTheNextMatchAndBeepsAtTheEnd) {
    // Class ID Ending with 12: 4512 and 12 match, 1213 does not; after Q12 nothing does.
    std::vector<UniqueHandle> images;
    for (std::int32_t id : {1213, 4512, 12, 5})
        images.push_back(packageImage("Q" + std::to_string(id), {7, id}));
    addFiller(images); // no sections: they never match
    writeRecordFile(dir + "/b.qpk", images);
    const std::string filler(images.size() - 4, '.');
    PackageFile* g = openPath(dir + "/b.qpk");
    lastSearch() = PackageSearch{Str255("12"), SearchField::classId, MatchMode::endingWith};
    run(kCmdFindAgain);
    EXPECT_EQ(marks(g), ".*.." + filler);
    run(kCmdFindAgain);
    EXPECT_EQ(marks(g), "..*." + filler);
    run(kCmdFindAgain);
    EXPECT_EQ(marks(g), "..*." + filler);
    EXPECT_EQ(harness::BeepCount(), 1);
    EXPECT_TRUE(ShownDialogs().empty());

    // An unreadable image is reported and the walk goes on to the next package.
    deselectAll(g);
    {
        ScopedFileFault fault(failingCall(FileCall::read, 1));
        purgeEntry(entryAt(g, 1));
        run(kCmdFindAgain);
    }
    EXPECT_EQ(ShownNoteAlerts().size(), 1u);
    EXPECT_EQ(marks(g), "..*." + filler);
    checkInvariants();
}

TEST_F(ListCommandsTest, TheFindDialogKeepsItsChoicesAndHoldsClassIDsToNumbers) {
    PackageFile* f = openLibrary("a.qpk", {"DPAK-3", "SO8", "R12"});
    lastSearch() = PackageSearch{};
    // Empty search text: Find Again shows the dialog; its Find button stays disabled until the
    // text is not empty, so the script's click does nothing and the dialog is cancelled.
    AnswerNextDialog(1001, 1);
    run(kCmdFindAgain);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].endedWith, 2);
    EXPECT_EQ(ShownDialogs()[0].texts.at(3), "Name");
    EXPECT_EQ(ShownDialogs()[0].texts.at(4), "Containing");

    // A popup choice stays after Cancel; the text does not.
    ScriptedDialogAnswer a{1001, 2, {{5, "pak"}}, 4, 2};
    AnswerNextDialog(a);
    run(kCmdFind);
    EXPECT_EQ(lastSearch().mode, MatchMode::beginningWith);
    EXPECT_TRUE(lastSearch().text.empty());
    AnswerNextDialog(1001, 1, {{5, "pak"}});
    run(kCmdFind);
    EXPECT_EQ(ShownDialogs()[2].texts.at(4), "Begining with");
    EXPECT_EQ(marks(f), "...");
    EXPECT_EQ(harness::BeepCount(), 1);
    a = {1001, 1, {{5, "dpak"}}, 4, 1};
    AnswerNextDialog(a);
    run(kCmdFind);
    EXPECT_EQ(marks(f), "*..");

    // Choosing Class ID keeps the number at the start of the text; typing more is refused
    // unless it stays a number from -2147483647 to 2147483646.
    a = {1001, 1, {{5, "12ab"}}, 3, 2};
    AnswerNextDialog(a);
    run(kCmdFind);
    EXPECT_EQ(lastSearch().field, SearchField::classId);
    EXPECT_EQ(lastSearch().text.str(), "12");
    const std::pair<const char*, const char*> typing[] = {{"-2147483647", "-2147483647"},
                                                          {"2147483646", "2147483646"},
                                                          {"2147483647", ""},
                                                          {"-2147483648", ""},
                                                          {"1x", ""}};
    for (const auto& [typed, kept] : typing) {
        AnswerNextDialog(1001, 2, {{5, typed}});
        run(kCmdFind);
        EXPECT_EQ(ShownDialogs().back().texts.at(5), kept) << typed;
    }
    EXPECT_EQ(lastSearch().text.str(), "12");
}

} // namespace
