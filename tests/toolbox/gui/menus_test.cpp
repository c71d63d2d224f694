// Menus from the resources, item operations, the enabling pass and key equivalents.
#include "tests/support/gui/gui_support.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/EnablingSteps.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/harness/DialogHarness.h"
#include "toolbox/harness/Harness.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

QAction* actionAt(std::int16_t menu, int item) {
    return GetHostMenu(GetMenu(menu))->actions().at(item - 1);
}

// Who was asked, in order: "front 302", "owner 302", "app 302".
std::vector<std::string> gAsked;
bool gCutEnabled = true;
std::vector<int> gDispatched;

void ask(const char* who, const MenuEnableRecord& rec) {
    gAsked.push_back(std::string(who) + ' ' + std::to_string(rec.command));
}

bool frontHandler(WindowPtr, MenuEnableRecord& rec) {
    ask("front", rec);
    if (rec.command == 302) rec.enabled = false;
    return rec.command == 302;
}

bool ownerHandler(WindowPtr, MenuEnableRecord& rec) {
    ask("owner", rec);
    return rec.command == 303;
}

bool appHandler(WindowPtr, MenuEnableRecord& rec) {
    ask("app", rec);
    if (rec.command == 302) rec.enabled = gCutEnabled;
    if (rec.command == 304) rec.enabled = false;
    if (rec.command == 401) std::strcpy(rec.text, "Create New Package");
    if (rec.command == 500) { // rebuilds the Window menu while the pass runs
        MenuHandle windows = GetMenuHandle(500);
        while (CountMItems(windows) > 0)
            DeleteMenuItem(windows, 1);
        AppendMenuItem(windows, "Front", 501);
        AppendMenuItem(windows, "Owner", 502);
        SetItemMark(windows, 1, true);
    }
    return true;
}

bool recordCommand(std::int16_t command, OSErr*) {
    gDispatched.push_back(command);
    return true;
}

class MenuTest : public HarnessTest {
protected:
    void SetUp() override {
        HarnessTest::SetUp();
        InstallMenuBar();
        gAsked.clear();
        gDispatched.clear();
        gCutEnabled = true;
    }
    void TearDown() override {
        SetWindowHandler(nullptr, nullptr);
        SetMenuCommandHandler(nullptr);
        for (WindowPtr w : windows_)
            DisposeWindow(w);
        HarnessTest::TearDown();
    }
    WindowPtr window(const char* title, HandlerProc handler, WindowProc proc = nullptr) {
        WindowPtr w = NewWindow(kDocumentStyle, nullptr, title, kInFront, 101, nullptr, proc);
        SetWindowHandler(w, handler);
        ShowWindow(w);
        windows_.push_back(w);
        return w;
    }
    std::vector<WindowPtr> windows_;
};

// The bar from the stored menus: a label's "&" marks its mnemonic and "`X" gives it Ctrl+X (the
// end-to-end scenarios use both); the popups stay out of the bar.
TEST_F(MenuTest, StoredTextsGiveLabelsMnemonicsAndCtrlKeys) {
    QStringList titles;
    for (QAction* a : GetFrameWindow()->menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"File", "Edit", "Package", "Window", "Help"}));
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    QAction* cut = actionAt(300, 3);
    EXPECT_EQ(cut->text(), "Cu&t");
    EXPECT_EQ(QKeySequence::mnemonic(cut->text()), QKeySequence(Qt::ALT | Qt::Key_T));
    EXPECT_EQ(cut->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    EXPECT_EQ(GetMenuItemText(GetMenu(300), 3), "Cu&t`X");
    EXPECT_TRUE(actionAt(300, 2)->isSeparator());
    ASSERT_NE(GetMenu(2), nullptr); // menu 2 builds the popups
    EXPECT_EQ(CountMItems(GetMenuHandle(700)), 19);
    EXPECT_FALSE(MenuInBar(700));
    EXPECT_EQ(GetMenu(1234), nullptr);
}

// What the Window menu's rebuild and the shapes popup do to items: append with a key equivalent,
// delete, disable, relabel (Western code page, key equivalent), renumber, mark. (Inserting and
// removing menus, and the commands by id over the bar, have no caller.)
TEST_F(MenuTest, ItemOperations) {
    MenuHandle m = GetMenuHandle(500);
    while (CountMItems(m) > 0)
        DeleteMenuItem(m, 1);
    AppendMenuItem(m, "One`1", 9001);
    AppendMenuItem(m, "Two", 9002);
    DeleteMenuItem(m, 99); // out of range: nothing
    ASSERT_EQ(CountMItems(m), 2);
    const QList<QAction*> actions = GetHostMenu(m)->actions();
    EXPECT_EQ(actions.at(0)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_1));
    DisableMenuItem(m, 2);
    EXPECT_FALSE(actions.at(1)->isEnabled());
    EnableMenuItem(m, 2);
    EXPECT_TRUE(actions.at(1)->isEnabled());
    SetMenuItemText(m, 2, "T&wo\x80`W");
    EXPECT_EQ(GetMenuItemText(m, 2), "T&wo\x80`W");
    EXPECT_EQ(actions.at(1)->text(), QString::fromUtf8("T&wo\u20AC"));
    EXPECT_EQ(actions.at(1)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
    SetMenuItemCommand(m, 2, 9012);
    EXPECT_EQ(GetMenuItemCommand(m, 2), 9012);
    EXPECT_EQ(FindMenuItem(m, 9012), 2);
    SetItemMark(m, 1, true);
    EXPECT_TRUE(actions.at(0)->isChecked());
    DisableMenuItem(m, 0);
    EXPECT_FALSE(GetHostMenu(m)->menuAction()->isEnabled());
    EnableMenuItem(m, 0);
}

std::vector<std::string> askedAbout(int command) {
    std::vector<std::string> who;
    for (const std::string& a : gAsked)
        if (a.substr(a.find(' ') + 1) == std::to_string(command)) who.push_back(a);
    return who;
}

class MenuEnablingTest : public MenuTest {
protected:
    // A front window owned by another, and the application's handler.
    void SetUp() override {
        MenuTest::SetUp();
        WindowPtr owner = window("Owner", ownerHandler);
        WindowPtr front = window("Front", frontHandler);
        SetWindowOwner(front, owner);
        SelectWindow(front);
        ASSERT_EQ(FrontWindow(), front);
        SetWindowHandler(nullptr, appHandler);
    }
};

// The front window's handler decides Cut, the owner's Copy, the application's Paste: each is
// asked in turn until one decides. The walk takes each menu's title, then its items, menus in bar
// order, and takes what the handlers change.
TEST_F(MenuEnablingTest, AsksFrontThenOwnersThenApplicationAndTakesWhatTheyChange) {
    using Asked = std::vector<std::string>;
    RunMenuEnabling();
    EXPECT_EQ(askedAbout(302), (Asked{"front 302"}));
    EXPECT_FALSE(IsMenuCommandEnabled(nullptr, 302));
    EXPECT_EQ(askedAbout(303), (Asked{"front 303", "owner 303"}));
    EXPECT_TRUE(IsMenuCommandEnabled(nullptr, 303));
    EXPECT_EQ(askedAbout(304), (Asked{"front 304", "owner 304", "app 304"}));
    EXPECT_FALSE(IsMenuCommandEnabled(nullptr, 304));

    std::vector<int> order;
    for (const std::string& a : gAsked)
        if (a.rfind("front ", 0) == 0) order.push_back(std::stoi(a.substr(6)));
    ASSERT_GE(order.size(), 14u);
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 9),
              (std::vector<int>{200, 201, 202, 203, 204, 205, 210, 208, 300}));
    EXPECT_EQ(std::vector<int>(order.end() - 5, order.end()),
              (std::vector<int>{500, 501, 502, 600, 32050}));

    // The text chosen for 401 replaces the label and keeps the key equivalent.
    QAction* create = actionAt(400, 1);
    EXPECT_EQ(create->text(), "Create New Package");
    EXPECT_EQ(create->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_K));
    // The Window menu rebuilt during the pass holds the new items, the front one checked.
    MenuHandle windows = GetMenuHandle(500);
    ASSERT_EQ(CountMItems(windows), 2);
    EXPECT_EQ(GetMenuItemText(windows, 2), "Owner");
    EXPECT_TRUE(GetItemMark(windows, 1));

    // Opening a menu runs the pass too.
    gAsked.clear();
    emit GetHostMenu(GetMenu(300))->aboutToShow();
    EXPECT_FALSE(gAsked.empty());
    MenuEnableRecord rec;
    rec.command = 303;
    EXPECT_TRUE(AskMenuEnabling(rec));
    EXPECT_FALSE(rec.modalDialogUp);
}

// A command sent because the pass enables it (the Delete key's) shows the error its window
// leaves, as the menu dispatcher does; a disabled one is not sent.
TEST_F(MenuEnablingTest, SendCommandIfEnabledShowsTheErrorTheWindowLeaves) {
    WindowPtr w = window("Keys", nullptr, [](WindowPtr, WindowMessage& m) {
        if (m.kind == wmMenuCommand) m.err = 12345;
        return m.kind == wmMenuCommand;
    });
    SelectWindow(w);
    EXPECT_FALSE(SendCommandIfEnabled(w, 304, 300));
    EXPECT_TRUE(SendCommandIfEnabled(w, 302, 300));
    EXPECT_EQ(ShownNoteAlerts(), std::vector<std::string>{"Error:  #12345"});
}

TEST_F(MenuTest, KeyEquivalentFiresOnlyWhenTheItemIsEnabled) {
    SetWindowHandler(nullptr, appHandler);
    SetMenuCommandHandler(recordCommand);
    QMainWindow* frame = GetFrameWindow();
    frame->activateWindow();
    QApplication::setActiveWindow(frame);
    QTest::keyClick(frame, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(gDispatched, (std::vector<int>{302}));

    // Enabled a moment ago, but the pass run for the key disables it: nothing fires.
    EnableMenuCommand(nullptr, 302);
    gCutEnabled = false;
    gAsked.clear();
    QTest::keyClick(frame, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(gDispatched, (std::vector<int>{302}));
    EXPECT_FALSE(gAsked.empty());
    EXPECT_FALSE(IsMenuCommandEnabled(nullptr, 302));
}

// Ctrl+W is Close of the menu bar alone (the end-to-end scenarios close one window by it at a
// time): the subwindows' own close key, Ctrl+F4, does nothing.
TEST_F(MenuTest, TheSubwindowsOwnCloseKeyDoesNothing) {
    window("Back", nullptr);
    WindowPtr front = window("Front", nullptr);
    QApplication::setActiveWindow(GetFrameWindow());
    QTest::keyClick(harness::ViewWidget(front), Qt::Key_F4, Qt::ControlModifier);
    harness::ProcessUpdates();
    EXPECT_EQ(FrontWindow(), front);
}

TEST_F(MenuTest, PopUpMenuSelectReturnsTheChoiceAndKeepsTheCallersCheckMarks) {
    SetMenuCommandHandler(recordCommand);
    MenuHandle shapes = GetMenu(700);
    // The caller puts marks on items other than the current one before the choice.
    SetItemMark(shapes, 4, true);
    SetItemMark(shapes, 7, true);
    AnswerNextPopUpMenu(5);
    EXPECT_EQ(PopUpMenuSelect(shapes, nullptr, {10, 10, 26, 100}, 3), 5);
    ASSERT_EQ(ShownPopUpMenus().size(), 1u);
    EXPECT_EQ(ShownPopUpMenus()[0].menuId, 700);
    EXPECT_EQ(ShownPopUpMenus()[0].currentItem, 3);
    EXPECT_EQ(ShownPopUpMenus()[0].rect, (Rect{10, 10, 26, 100}));
    std::vector<int> marked;
    for (int i = 1; i <= CountMItems(shapes); ++i)
        if (GetItemMark(shapes, i)) marked.push_back(i);
    EXPECT_EQ(marked, (std::vector<int>{4, 7}));
    // Taken off after the choice, they stay off through the next one.
    SetItemMark(shapes, 4, false);
    SetItemMark(shapes, 7, false);
    EXPECT_EQ(PopUpMenuSelect(shapes, nullptr, {10, 10, 26, 100}, 5), 0); // dismissed
    for (int i = 1; i <= CountMItems(shapes); ++i)
        EXPECT_FALSE(GetItemMark(shapes, i)) << "item " << i;
    EXPECT_FALSE(GetHostMenu(shapes)->actions().at(4)->isChecked());
    EXPECT_TRUE(gDispatched.empty());
}

} // namespace
