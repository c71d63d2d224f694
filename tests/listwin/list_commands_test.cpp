// What the list window's commands show through the menus and the harness: the alerts of memory
// running out at every allocation (the file and the clipboard left as they were) and of a read
// that fails, the window count's and Revert Package's questions, Find Again's beep and the Find
// dialog. What the commands do to the package list is the model's to test.
#include "listwin/Confirmations.h"
#include "listwin/FindDialog.h"
#include "listwin/ListCommands.h"
#include "listwin/ListWindow.h"
#include "listwin/PackageClipboard.h"
#include "model/PackageFileIO.h"
#include "resources/Commands.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"
#include "tests/support/ListActions.h"
#include "tests/support/gui/window_input.h"
#include "toolbox/gui/App.h"
#include "toolbox/harness/Harness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace test_support;

namespace {

using Names = std::vector<std::string>;

// Per entry its name, marks, record id and image bytes; then the discards.
std::string describe(const PackageFile* f) {
    if (!f) return "none";
    std::string s;
    for (const PackageEntry* e = f->packages; e; e = e->next) {
        s += std::string(displayNameView(e)) + "/" + std::to_string(e->flags) + "/" +
             std::to_string(e->recordId) + "/";
        const std::vector<char> bytes = bytesOf(e->image);
        s.append(bytes.begin(), bytes.end()) += "\n";
    }
    for (const PackageEntry* e = f->discards; e; e = e->next)
        s += "discarded " + std::to_string(e->recordId) + "\n";
    return s;
}

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
        while (!files_.empty())
            closeWithoutSaving(files_.back());
        disposePackageClipboard();
        EXPECT_EQ(entriesInUse(), baseEntries_) << "entries leaked";
    }

    // A package file holding these packages (one section of Class ID 5 each), its window in
    // front. With farFromBuffer, large packages follow, so that reading the named ones again
    // goes to the file (where a fault can strike) rather than to the read-ahead buffer.
    PackageFile* openLibrary(const Names& names, bool farFromBuffer = false) {
        std::vector<UniqueHandle> images;
        for (const std::string& n : names)
            images.push_back(packageImage(n, {5}));
        for (int i = 0; farFromBuffer && i < 40; ++i) // 1.28 MB, more than the buffer holds
            images.push_back(sizedImage(32000));
        writeRecordFile(path, images);
        PackageFile* f = nullptr;
        EXPECT_EQ(openPackageFile(path, FilePerm::readWrite, {}, &f), noErr);
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

    // A menu choice: the menu bar brought up to date as before it shows.
    static void run(std::int16_t command) {
        MenuItemEnabled(command);
        DispatchMenuCommand(command);
        harness::ProcessUpdates();
    }
    static std::string question(std::size_t i, std::size_t item) {
        return i < ShownDialogs().size() ? ShownDialogs()[i].texts.at(item) : "";
    }

    std::vector<PackageFile*> files_;
    test_support::RecordingListActions actions_;
    std::size_t baseEntries_ = 0;
};

// Copy, Paste, Duplicate and Cut with the n-th allocation failing, for n = 1, 2, ... until the
// command no longer reaches it: reported, the command left the file and the clipboard as they
// were; else it completed as without the fault.
TEST_F(ListCommandsTest, MemoryRunningOutIsReportedAndLeavesEverythingAsItWas) {
    PackageFile* f = openLibrary({"A", "B", "C", "D"});
    auto state = [&] { return describe(f) + "clipboard:\n" + describe(packageClipboard()); };
    auto check = [&](std::int16_t command, const std::function<void()>& undo) {
        SCOPED_TRACE("command " + std::to_string(command));
        const std::string before = state();
        run(command);
        const std::string after = state();
        undo();
        ASSERT_EQ(state(), before);
        int reported = 0;
        for (long n = 1;; ++n) {
            ResetDialogHarness();
            ArmMemoryFault(n);
            DispatchMenuCommand(command);
            DisarmMemoryFault();
            // The menu dispatcher shows the note, once.
            if (ShownNoteAlerts() ==
                Names{"The operation could not be completed due to insufficient memory!"}) {
                ++reported;
                EXPECT_EQ(state(), before) << "allocation " << n;
            } else {
                EXPECT_EQ(state(), after) << "allocation " << n;
                undo();
            }
            if (!MemoryFaultFired()) break;
            ASSERT_LT(n, 1000);
        }
        EXPECT_GT(reported, 2);
    };
    selectOnly(f, {1, 2});
    check(kCmdCopy, [] { disposePackageClipboard(); });
    run(kCmdCopy);
    auto unpaste = [&] {
        deleteCommand(f);
        selectOnly(f, {1, 2});
    };
    check(kCmdPaste, unpaste);
    check(kCmdDuplicate, unpaste);
    disposePackageClipboard();
    check(kCmdCut, [&] {
        closeWithoutSaving(f);
        f = openLibrary({"A", "B", "C", "D"});
        selectOnly(f, {1, 2});
        disposePackageClipboard();
    });
}

// A package that cannot be read is reported and skipped; the others are copied, and a Cut
// deletes only them. The clipboard holds its packages whole: they paste after their file closed.
TEST_F(ListCommandsTest, AReadErrorIsReportedAndSkipsOnePackage) {
    PackageFile* f = openLibrary({"A", "B", "C"}, true);
    for (std::int16_t command : {kCmdCopy, kCmdDuplicate, kCmdCut}) {
        if (command != kCmdDuplicate) selectOnly(f, {0, 1, 2});
        ScopedFileFault fault(failingCall(FileCall::read, 1));
        run(command);
        EXPECT_TRUE(FileFaultFired()) << command;
    }
    ASSERT_EQ(ShownNoteAlerts().size(), 3u);
    for (const std::string& alert : ShownNoteAlerts())
        EXPECT_EQ(alert.rfind("Error:  ", 0), 0u) << alert;
    EXPECT_EQ(displayNames(packageClipboard()), (Names{"B", "C"}));
    EXPECT_EQ(displayNameView(entryAt(f, 0)), "A");
    EXPECT_EQ(findEntry(f, "B"), nullptr);
    EXPECT_EQ(selectionMarks(f).substr(0, 2), "..");
    closeWithoutSaving(f);
    f = openLibrary({"D"});
    run(kCmdPaste);
    EXPECT_EQ(displayNames(f), (Names{"D", "B", "C"}));
    EXPECT_EQ(selectionMarks(f), ".**");
    EXPECT_EQ(withoutLinks(entryAt(f, 2)->image), withoutLinks(packageImage("C", {5}).get()));
}

TEST_F(ListCommandsTest, TheQuestionsAskAsTheyShould) {
    // Window counts: up to 7 without a question, 8 to 16 asked, 17 refused.
    EXPECT_FALSE(confirmWindowCount(7));
    AnswerNextDialog(1007, 1);
    EXPECT_FALSE(confirmWindowCount(8));
    AnswerNextDialog(1007, 2);
    EXPECT_TRUE(confirmWindowCount(16));
    EXPECT_EQ(question(0, 3), "Are you sure you want to open 8 windows?");
    EXPECT_EQ(question(1, 3), "Are you sure you want to open 16 windows?");
    EXPECT_TRUE(confirmWindowCount(17));
    EXPECT_EQ(ShownDialogs().size(), 2u);
    EXPECT_EQ(ShownNoteAlerts(), Names{"You cannot open that many windows!"});

    // Revert Package names the one package selected, or speaks of the selected packages.
    PackageFile* f = openLibrary({"A", "B"});
    for (int first : {1, 0}) {
        selectOnly(f, {first, 1});
        AnswerNextDialog(1007, 2); // Cancel: nothing changes
        run(kCmdRevertPackage);
    }
    EXPECT_EQ(question(2, 3), "Do you really want to discard all changes made to \"B\"?");
    EXPECT_EQ(question(3, 3),
              "Do you really want to discard all changes made to the selected packages?");
    EXPECT_EQ(displayNames(f), (Names{"A", "B"}));
}

TEST_F(ListCommandsTest, FindAgainBeepsAtTheEndAndReportsAnUnreadableImage) {
    PackageFile* f = openLibrary({"R", "Q1", "Q12"}, true); // each of Class ID 5
    const std::string filler(std::size_t(f->packageCount - 3), '.');
    lastSearch() = PackageSearch{Str255("5"), SearchField::classId, MatchMode::matching};
    for (const char* found : {"*..", ".*.", "..*", "..*"}) { // none after Q12: the selection stays
        run(kCmdFindAgain);
        EXPECT_EQ(selectionMarks(f), found + filler);
    }
    EXPECT_EQ(harness::BeepCount(), 1);

    // An unreadable image is reported and the walk goes on to the next package.
    deselectAll(f);
    {
        ScopedFileFault fault(failingCall(FileCall::read, 1));
        purgeEntry(entryAt(f, 0));
        run(kCmdFindAgain);
    }
    EXPECT_EQ(ShownNoteAlerts().size(), 1u);
    EXPECT_EQ(selectionMarks(f), ".*." + filler);
}

TEST_F(ListCommandsTest, TheFindDialogKeepsItsChoicesAndHoldsClassIDsToNumbers) {
    PackageFile* f = openLibrary({"DPAK-3", "SO8", "R12"});
    lastSearch() = PackageSearch{};
    // Empty search text: Find Again shows the dialog; its Find button stays disabled until the
    // text is not empty, so the script's click does nothing and the dialog is cancelled.
    AnswerNextDialog(1001, 1);
    run(kCmdFindAgain);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].endedWith, 2);
    EXPECT_EQ(question(0, 3), "Name");
    EXPECT_EQ(question(0, 4), "Containing");

    // A popup choice stays after Cancel; the text does not.
    ScriptedDialogAnswer a{1001, 2, {{5, "pak"}}, 4, 2};
    AnswerNextDialog(a);
    run(kCmdFind);
    EXPECT_EQ(lastSearch().mode, MatchMode::beginningWith);
    EXPECT_TRUE(lastSearch().text.empty());
    AnswerNextDialog(1001, 1, {{5, "pak"}});
    run(kCmdFind);
    EXPECT_EQ(question(2, 4), "Begining with");
    EXPECT_EQ(selectionMarks(f), "...");
    EXPECT_EQ(harness::BeepCount(), 1);

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
