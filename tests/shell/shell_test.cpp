// The application shell driven through the harness: File commands, the save question, Exit,
// menu enabling, the Window menu and the import error dialog. (The end-to-end scenarios convert a
// text, refuse the package file as Save As Text's target and hand a second start's file over.)
#include "listwin/ListWindow.h"
#include "model/PackageFile.h"
#include "shell/Application.h"
#include "shell/FileCommands.h"
#include "shell/WindowMenu.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"
#include "tests/support/gui/window_input.h"
#include "toolbox/core/Files.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/harness/DialogHarness.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMainWindow>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool started = startApplication() == noErr;
        ASSERT_TRUE(started);
        ResetDialogHarness();
    }
    void TearDown() override {
        while (PackageFile* f = firstPackageFile())
            closeFile(f, CloseMode::forced);
        ResetDialogHarness();
    }

    std::string path(const char* name) const { return scratch_.path + "/" + name; }

    // A package file of the packages P1 and P2, as the command-line tool writes one.
    std::string makePackageFile(const char* name) const {
        std::vector<UniqueHandle> images;
        for (const char* package : {"P1", "P2"})
            images.push_back(test_support::packageImage(package, {1}));
        test_support::writeRecordFile(path(name), images);
        return path(name);
    }

    // Moves the first package to the discard list: the file is then modified.
    static void discardFirst(PackageFile* f) {
        PackageEntry* e = f->packages;
        removeEntry(f, e);
        discardEntry(f, e);
        refreshListWindow(f, ListRefresh::keepScroll);
    }

    static int openCount() {
        int n = 0;
        for (PackageFile* f = firstPackageFile(); f; f = f->next)
            ++n;
        return n;
    }

    test_support::ScratchDir scratch_;
};

TEST_F(ShellTest, OpenBringsBackConvertsTextAndIgnoresTextFromHandler) {
    const std::string lib = makePackageFile("lib.qpk");
    const std::string other = makePackageFile("other.qpk");
    PackageFile* f = openFile(lib);
    ASSERT_NE(f, nullptr);
    ASSERT_NE(openFile(other), nullptr);
    EXPECT_NE(FrontWindow(), listWindowOf(f));
    EXPECT_EQ(openFile(lib, NonPackageFile::ignore), f); // brought back, not opened twice
    EXPECT_EQ(FrontWindow(), listWindowOf(f));
    EXPECT_EQ(openCount(), 2);

    // Files dropped on the frame reach the open document handler: a package file opens, a
    // text file is ignored there.
    const std::string text = path("Parts.list.txt");
    std::ofstream(text, std::ios::binary) << "R1,R,AX\r\t12,0\r";
    const std::string dropped = makePackageFile("dropped.qpk");
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped)),
                   QUrl::fromLocalFile(QString::fromStdString(text))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(GetFrameWindow(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(GetFrameWindow(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ProcessPendingEvents();
    ASSERT_NE(findPackageFileByPath(dropped), nullptr);
    closeFile(findPackageFileByPath(dropped), CloseMode::askToSave);
    EXPECT_EQ(openCount(), 2);
    EXPECT_TRUE(ShownFileDialogs().empty());
    EXPECT_TRUE(ShownNoteAlerts().empty());

    // Chosen in the Open dialog it converts, offered under its name up to the first dot (what
    // the converted file holds is the convert_text scenario's); the next Open shows the filter
    // used last.
    AnswerNextFileDialog(text, 1);
    AnswerNextFileDialog(path("converted.qpk"));
    EXPECT_TRUE(DispatchMenuCommand(kCmdOpen));
    ASSERT_EQ(ShownFileDialogs().size(), 2u);
    EXPECT_EQ(ShownFileDialogs()[1].defaultName, "Parts.qpk");
    DispatchMenuCommand(kCmdOpen);
    EXPECT_EQ(ShownFileDialogs()[2].filterIndex, 1);
    EXPECT_EQ(openCount(), 3);
}

// Revert File asks, then reads the list again: the discarded package is back. New over the
// modified file replaces it without asking.
TEST_F(ShellTest, RevertFileAsksAndNewReplacesWithoutAsking) {
    const std::string lib = makePackageFile("lib.qpk");
    PackageFile* f = openFile(lib);
    ASSERT_NE(f, nullptr);
    discardFirst(f);
    AnswerNextDialog(1007, 1);
    DispatchMenuCommand(kCmdRevertFile);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(3),
              "Do you really want to discard all changes made to \"lib.qpk\"?");
    EXPECT_EQ(f->packageCount, 2);
    EXPECT_FALSE(MenuItemEnabled(kCmdSave));

    discardFirst(f);
    ASSERT_TRUE(isModified(f));
    AnswerNextFileDialog(lib);
    EXPECT_TRUE(DispatchMenuCommand(kCmdNew));
    EXPECT_EQ(ShownFileDialogs().back().prompt, "Create new file:");
    EXPECT_EQ(ShownFileDialogs().back().defaultName, "Untitled.qpk");
    EXPECT_EQ(ShownDialogs().size(), 1u); // no save question
    ASSERT_EQ(openCount(), 1);
    PackageFile* fresh = firstPackageFile();
    EXPECT_EQ(fresh->packageCount, 0);
    EXPECT_EQ(FrontWindow(), listWindowOf(fresh));
}

TEST_F(ShellTest, SaveQuestionsWhileClosingAndQuitting) {
    PackageFile* a = openFile(makePackageFile("A.qpk"));
    PackageFile* b = openFile(makePackageFile("B.qpk"));
    ASSERT_TRUE(a && b);
    discardFirst(a);
    discardFirst(b);

    // Close asks with the closing wording; Cancel keeps the file.
    AnswerNextDialog(1005, 2);
    DispatchMenuCommand(kCmdClose);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].texts.at(4), "Save changes to \"B.qpk\" before closing?");
    EXPECT_EQ(openCount(), 2);

    // Exit asks about the newer file first; Cancel at the second keeps the program running.
    AnswerNextDialog(1005, 3);
    AnswerNextDialog(1005, 2);
    EXPECT_TRUE(DispatchMenuCommand(kCmdExit)); // handled: the quit does not go on
    ASSERT_EQ(ShownDialogs().size(), 3u);
    EXPECT_EQ(ShownDialogs()[1].texts.at(4), "Save changes to \"B.qpk\" before quitting?");
    EXPECT_EQ(ShownDialogs()[2].texts.at(4), "Save changes to \"A.qpk\" before quitting?");
    ASSERT_EQ(openCount(), 1);
    EXPECT_EQ(firstPackageFile(), a);

    // Save from the question writes the file before it closes.
    AnswerNextDialog(1005, 1);
    EXPECT_EQ(closeFile(a, CloseMode::askToSave), CloseResult::closed);
    PackageFile* again = openFile(path("A.qpk"));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(test_support::displayNames(again), std::vector<std::string>{"P2"});
}

// A read that fails while Open opens the file: the alert, once, and no package file in memory.
TEST_F(ShellTest, AnOpenThatFailsLeavesNothingBehind) {
    const std::string lib = makePackageFile("lib.qpk");
    const std::size_t entries = entriesInUse();
    ArmFileFault(test_support::failingCall(FileCall::read, 1, permErr));
    AnswerNextFileDialog(lib);
    EXPECT_TRUE(DispatchMenuCommand(kCmdOpen));
    DisarmFileFaults();
    ASSERT_EQ(ShownNoteAlerts().size(), 1u);
    EXPECT_EQ(ShownNoteAlerts()[0], "Error:  Access to file was denied.");
    EXPECT_EQ(ShownFileDialogs().size(), 1u); // not taken for text
    EXPECT_EQ(openCount(), 0);
    EXPECT_EQ(entriesInUse(), entries);
}

// The storage never traps the user nor loses a change. A save on a full disk, asked for by the
// close, leaves the file as it was, the file open and the changes kept, and the next save writes
// them. A file deleted while open is not
// saved into nothing: the save says so and keeps the changes, Save As Text writes them out, and
// Discard closes. In a folder where no file may be made, the save keeps its journal in the state
// folder and the close leaves the compaction out, saying so. A file another process holds open
// for writing is offered read-only, naming the holder.
TEST_F(ShellTest, StorageFailuresNeverTrapTheUser) {
    test_support::ScratchStateFolder state;
    const std::string lib = makePackageFile("lib.qpk");
    const auto before = test_support::readBytes(lib);
    PackageFile* f = openFile(lib);
    ASSERT_NE(f, nullptr);
    discardFirst(f);
    ArmFileFault(test_support::failingCall(FileCall::write, 1, dskFulErr));
    AnswerNextDialog(1005, 1);
    EXPECT_EQ(closeFile(f, CloseMode::askToSave), CloseResult::cancelled);
    DisarmFileFaults();
    EXPECT_EQ(firstPackageFile(), f);
    ASSERT_EQ(ShownNoteAlerts().size(), 1u);
    EXPECT_EQ(ShownNoteAlerts()[0], "Error:  Disk or volume is full. \"lib.qpk\" is as it was "
                                    "before this save; the changes are kept.");
    EXPECT_EQ(test_support::readBytes(lib), before);
    EXPECT_TRUE(isModified(f));
    EXPECT_EQ(saveFile(f), noErr);
    EXPECT_FALSE(isModified(f));

    std::remove(lib.c_str());
    insertEntryAfter(
        f, f->packages,
        newEntry("P3", test_support::packageImage("P3", {3}).release(), 0, ImageState::modified));
    EXPECT_EQ(saveFile(f), fileMovedErr);
    ASSERT_EQ(ShownNoteAlerts().size(), 2u);
    EXPECT_EQ(ShownNoteAlerts()[1], "\"lib.qpk\" was moved or deleted after it was opened. The "
                                    "changes are kept: Save As Text can write them to a new file.");
    EXPECT_TRUE(isModified(f));
    AnswerNextFileDialog(path("kept.txt"));
    DispatchMenuCommand(kCmdSaveAsText);
    const std::string kept = test_support::readText(path("kept.txt"));
    EXPECT_EQ(kept.rfind("P2,U,DIP\r\n", 0), 0u) << kept;
    EXPECT_NE(kept.find("\nP3,U,DIP\r\n"), std::string::npos) << kept;
    AnswerNextDialog(1005, 3);
    EXPECT_EQ(closeFile(f, CloseMode::askToSave), CloseResult::closed);
    ASSERT_EQ(ShownNoteAlerts().size(), 3u);
    EXPECT_EQ(ShownNoteAlerts()[2], "\"lib.qpk\" could not be closed as usual: The file was moved "
                                    "or deleted after it was opened. It was closed as it was last "
                                    "saved.");
    EXPECT_EQ(openCount(), 0);

    makePackageFile("lib.qpk");
    FileFault locked;
    locked.lockedFolder = scratch_.path;
    ArmFileFault(locked);
    f = openFile(lib);
    ASSERT_NE(f, nullptr);
    discardFirst(f);
    EXPECT_EQ(saveFile(f), noErr);
    EXPECT_EQ(closeFile(f, CloseMode::askToSave), CloseResult::closed);
    DisarmFileFaults();
    ASSERT_EQ(ShownNoteAlerts().size(), 4u);
    EXPECT_EQ(ShownNoteAlerts()[3],
              "\"lib.qpk\" was closed without compacting it: Access to "
              "file was denied. Its free space is used again by later saves.");
    EXPECT_EQ(test_support::verifyClean(lib).packages, 1u);
    std::string journals;
    ASSERT_EQ(UserStateFolder("ortix-kelvane/journals", false, &journals), noErr);
    EXPECT_TRUE(test_support::listFolder(journals).empty());

    std::unique_ptr<RecordFile> other; // another writer, as another editor would be
    ASSERT_EQ(RecordFile::open(lib, FilePerm::readWrite, &other), noErr);
    AnswerNextDialog(1007, 2);
    EXPECT_EQ(openFile(lib), nullptr);
    AnswerNextDialog(1007, 1);
    f = openFile(lib);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->recordFile->isReadOnly());
    const std::string asked =
        "\"lib.qpk\" is open for writing in process " + std::to_string(getpid()) + " (";
    const std::string shown = ShownDialogs().back().texts.at(3);
    EXPECT_EQ(shown.rfind(asked, 0), 0u) << shown;
    EXPECT_NE(shown.find("Open it read-only?"), std::string::npos) << shown;
    EXPECT_EQ(closeFile(f, CloseMode::askToSave), CloseResult::closed);
    EXPECT_EQ(ShownNoteAlerts().size(), 4u);
}

TEST_F(ShellTest, MenusWindowMenuAndAboutBox) {
    // Without windows the Window menu holds "None".
    MenuHandle menu = GetMenu(kCmdWindowMenu);
    RunMenuEnabling();
    ASSERT_EQ(CountMItems(menu), 1);
    EXPECT_EQ(GetMenuItemText(menu, 1), "None");
    EXPECT_FALSE(IsMenuItemEnabled(menu, 1));

    std::vector<WindowPtr> windows;
    for (const char* title : {"Pkg10", "Pkg2", "Pkg1"}) {
        windows.push_back(NewWindow(kDocumentStyle, nullptr, title, kInFront, 0, nullptr, nullptr));
        ShowWindow(windows.back());
    }
    SelectWindow(windows[1]);
    RunMenuEnabling();
    ASSERT_EQ(CountMItems(menu), 3);
    EXPECT_EQ(GetMenuItemText(menu, 1), "Pkg1");
    EXPECT_EQ(GetMenuItemText(menu, 2), "Pkg2");
    EXPECT_EQ(GetMenuItemText(menu, 3), "Pkg10");
    EXPECT_TRUE(GetItemMark(menu, 2));
    EXPECT_FALSE(GetItemMark(menu, 1));
    EXPECT_TRUE(IsMenuItemEnabled(menu, 3));
    EXPECT_TRUE(DispatchMenuCommand(501));
    EXPECT_EQ(FrontWindow(), windows[2]);
    for (WindowPtr w : windows)
        DisposeWindow(w);

    showAboutBox();
    ASSERT_EQ(ShownDialogs().size(), 1u);
    EXPECT_EQ(ShownDialogs()[0].templateId, 1004);
    EXPECT_EQ(ShownDialogs()[0].texts.at(2), "Ortix Kelvane");
    EXPECT_EQ(ShownDialogs()[0].texts.at(3), "Version 3.8.4  for Windows");
}

// The menu enabling with the application started: with no package file, or with one whose list
// window is in front, unmodified or modified; the commands enabled and disabled there. Create and
// Revert Package get their texts from the shared step before every question; no other command
// asked here gets a text.
struct EnablingSituation {
    int files; // 0: none, 1: one in front, 2: one in front and modified
    std::vector<std::int16_t> on, off;
};

TEST_F(ShellTest, MenuEnablingFollowsTheFrontFile) {
    const EnablingSituation situations[] = {
        {0,
         {kCmdAbout, kCmdNew, kCmdOpen, kCmdWindowMenu},
         {kCmdCopy, kCmdCreate, kCmdRevertPackage, kCmdClose, kCmdSave}},
        {1,
         {kCmdCreate, kCmdSelectAll, kCmdClose, kCmdSaveAsText, kCmdWindowMenu, kCmdFirstWindow},
         {kCmdRevertPackage, kCmdSave, kCmdRevertFile}},
        {2, {kCmdSave, kCmdRevertFile}, {}},
    };
    const std::string lib = makePackageFile("lib.qpk");
    for (const EnablingSituation& s : situations) {
        if (s.files) {
            PackageFile* f = openFile(lib);
            ASSERT_NE(f, nullptr);
            if (s.files == 2) discardFirst(f);
        }
        for (bool on : {true, false}) {
            for (std::int16_t command : on ? s.on : s.off) {
                SCOPED_TRACE("situation " + std::to_string(s.files) + ", command " +
                             std::to_string(command));
                std::string text;
                EXPECT_EQ(MenuItemEnabled(command, &text), on);
                EXPECT_EQ(text, command == kCmdCreate          ? "Create New Package"
                                : command == kCmdRevertPackage ? "Revert This Package"
                                                               : "");
            }
        }
        while (PackageFile* f = firstPackageFile())
            closeFile(f, CloseMode::forced);
    }
}

TEST_F(ShellTest, ImportErrorShowsTheLineAndKeepsWhatWasWritten) {
    // Lines ended by LF alone, as ordinary tools write them; a net line after a section line.
    const std::string text = path("bad.txt");
    std::ofstream(text, std::ios::binary) << "P1,U,DIP\n\t1,0\nP2,U\n\t2,0\n\t\\LATE\t1\n";
    AnswerNextFileDialog(text);
    AnswerNextFileDialog(path("bad.qpk"));
    AnswerNextDialog(1003, 1);
    DispatchMenuCommand(kCmdOpen);
    ASSERT_EQ(ShownDialogs().size(), 1u);
    const ShownDialog& shown = ShownDialogs()[0];
    EXPECT_EQ(shown.templateId, 1003);
    EXPECT_EQ(shown.texts.at(2), "Syntax.");
    EXPECT_EQ(shown.texts.at(3), "\x86\\LATE\x86"
                                 "1");
    EXPECT_EQ(openCount(), 0); // the failed conversion opens nothing
    PackageFile* kept = openFile(path("bad.qpk"));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->packageCount, 1);
}

} // namespace
