// Menus from the resources, item operations, the enabling pass and key equivalents.
#include "tests/support/gui/gui_support.h"
#include "toolbox/gui/App.h"
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
#include <ostream>
#include <string>
#include <vector>

namespace {

QAction* actionAt(std::int16_t menu, int item) {
    return GetHostMenu(GetMenu(menu))->actions().at(item - 1);
}

QKeySequence ctrl(Qt::Key key) {
    return QKeySequence(QKeyCombination(Qt::ControlModifier, key));
}
QKeySequence alt(Qt::Key key) {
    return QKeySequence(QKeyCombination(Qt::AltModifier, key));
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
    if (rec.command != 302) return false;
    rec.enabled = false;
    return true;
}

bool ownerHandler(WindowPtr, MenuEnableRecord& rec) {
    ask("owner", rec);
    return rec.command == 303;
}

bool appHandler(WindowPtr, MenuEnableRecord& rec) {
    ask("app", rec);
    if (rec.command == 302) rec.enabled = gCutEnabled;
    if (rec.command == 304) rec.enabled = false;
    if (rec.command == 401) {
        std::strcpy(rec.text, "Create New Package");
    }
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

bool recordCommand(std::int16_t command) {
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
    WindowPtr window(const char* title, HandlerProc handler) {
        WindowPtr w = NewWindow(kDocumentStyle, nullptr, title, kInFront, 101, nullptr, nullptr);
        SetWindowHandler(w, handler);
        ShowWindow(w);
        windows_.push_back(w);
        return w;
    }
    std::vector<WindowPtr> windows_;
};

TEST_F(MenuTest, StoredTextsGiveLabelsMnemonicsAndCtrlKeys) {
    QList<QAction*> bar = GetFrameWindow()->menuBar()->actions();
    QStringList titles;
    for (QAction* a : bar)
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"File", "Edit", "Package", "Window", "Help"}));
    EXPECT_FALSE(QApplication::windowIcon().isNull());

    QAction* exit = actionAt(200, 9);
    EXPECT_EQ(exit->text(), "E&xit");
    EXPECT_EQ(QKeySequence::mnemonic(exit->text()), alt(Qt::Key_X));
    EXPECT_TRUE(exit->shortcut().isEmpty());
    QAction* cut = actionAt(300, 3);
    EXPECT_EQ(cut->text(), "Cu&t");
    EXPECT_EQ(QKeySequence::mnemonic(cut->text()), alt(Qt::Key_T));
    EXPECT_EQ(cut->shortcut(), ctrl(Qt::Key_X));
    EXPECT_EQ(GetMenuItemText(GetMenu(300), 3), "Cu&t`X");
    EXPECT_EQ(actionAt(400, 1)->shortcut(), ctrl(Qt::Key_K));

    // Separators where the tables put them.
    std::vector<int> separators;
    for (std::int16_t id : {200, 300, 400})
        for (int i = 1; i <= CountMItems(GetMenu(id)); ++i)
            if (actionAt(id, i)->isSeparator()) separators.push_back(id + i);
    EXPECT_EQ(separators, (std::vector<int>{203, 208, 302, 307, 403, 405}));
    EXPECT_EQ(GetMenuItemCommand(GetMenu(600), 1), 32050);

    // Menu 2 builds the popups, which stay out of the bar.
    ASSERT_NE(GetMenu(2), nullptr);
    MenuHandle shapes = GetMenuHandle(700);
    ASSERT_NE(shapes, nullptr);
    EXPECT_EQ(CountMItems(shapes), 19);
    EXPECT_EQ(GetMenuItemCommand(shapes, 2), 0);
    EXPECT_EQ(GetMenuItemText(shapes, 19), "VSOT");
    EXPECT_EQ(GetMenuItemText(GetMenuHandle(800), 17), "84  1.150 Sq LCC");
    EXPECT_EQ(CountMItems(GetMenuHandle(1100)), 2);
    EXPECT_FALSE(MenuInBar(700));
    EXPECT_EQ(GetMenu(1234), nullptr);
}

TEST_F(MenuTest, ItemOperationsByPositionAndByCommand) {
    MenuHandle m = NewMenu(9000, "Test");
    InsertMenu(m, 600); // before Help
    EXPECT_EQ(GetFrameWindow()->menuBar()->actions().at(4)->text(), "Test");
    AppendMenuItem(m, "One`1", 9001);
    AppendMenuItem(m, "Two", 9002);
    InsertMenuItem(m, "Zero", 9003, 0);
    InsertMenuItem(m, "", 0, 1);
    ASSERT_EQ(CountMItems(m), 4);
    QList<QAction*> actions = GetHostMenu(m)->actions();
    EXPECT_EQ(actions.at(0)->text(), "Zero");
    EXPECT_TRUE(actions.at(1)->isSeparator());
    EXPECT_EQ(actions.at(2)->shortcut(), ctrl(Qt::Key_1));
    DeleteMenuItem(m, 2);
    DeleteMenuItem(m, 99); // out of range: nothing
    ASSERT_EQ(CountMItems(m), 3);

    DisableMenuItem(m, 2);
    EXPECT_FALSE(IsMenuItemEnabled(m, 2));
    EXPECT_FALSE(GetHostMenu(m)->actions().at(1)->isEnabled());
    EnableMenuItem(m, 2);
    EXPECT_TRUE(GetHostMenu(m)->actions().at(1)->isEnabled());
    SetMenuItemText(m, 3, "T&wo`W");
    EXPECT_EQ(GetMenuItemText(m, 3), "T&wo`W");
    EXPECT_EQ(GetHostMenu(m)->actions().at(2)->shortcut(), ctrl(Qt::Key_W));
    SetMenuItemCommand(m, 3, 9012);
    EXPECT_EQ(GetMenuItemCommand(m, 3), 9012);
    EXPECT_EQ(FindMenuItem(m, 9012), 3);
    SetItemMark(m, 1, true);
    EXPECT_TRUE(GetItemMark(m, 1));
    EXPECT_TRUE(GetHostMenu(m)->actions().at(0)->isChecked());
    DisableMenuItem(m, 0);
    EXPECT_FALSE(GetHostMenu(m)->menuAction()->isEnabled());

    // By command id over the bar.
    DisableMenuCommand(nullptr, 9001);
    EXPECT_FALSE(IsMenuCommandEnabled(m, 9001));
    SetMenuCommandText(nullptr, 9001, "Uno\x80");
    EXPECT_EQ(GetMenuCommandText(nullptr, 9001), "Uno\x80");
    EXPECT_EQ(GetHostMenu(m)->actions().at(1)->text(), QString::fromUtf8("Uno\u20AC"))
        << "the Western code page";
    EXPECT_TRUE(GetHostMenu(m)->actions().at(1)->shortcut().isEmpty());
    SetMenuCommandMark(nullptr, 9001, true);
    EXPECT_TRUE(GetItemMark(m, 2));
    ChangeMenuCommandID(nullptr, 9001, 9101);
    int item = 0;
    EXPECT_EQ(FindCommandMenu(9101, &item), m);
    EXPECT_EQ(item, 2);
    DeleteMenuCommand(nullptr, 9101);
    EXPECT_EQ(CountMItems(m), 2);
    EXPECT_EQ(FindCommandMenu(9101, &item), nullptr);
    EXPECT_EQ(FindMenuItem(GetMenu(300), 310), 8);

    DeleteMenu(9000);
    EXPECT_FALSE(MenuInBar(9000));
    EXPECT_EQ(GetFrameWindow()->menuBar()->actions().size(), 5);
}

// Who was asked about command, in order.
std::vector<std::string> askedAbout(int command) {
    std::vector<std::string> who;
    for (const std::string& a : gAsked)
        if (a.substr(a.find(' ') + 1) == std::to_string(command)) who.push_back(a);
    return who;
}

// The front window's handler decides Cut, the owner's Copy, the application's Paste.
struct EnablingRow {
    const char* name;
    std::int16_t command;
    std::vector<std::string> asked;
    bool enabled;
};

void PrintTo(const EnablingRow& row, std::ostream* os) {
    *os << row.name << ' ' << row.command;
}

class MenuEnablingTest : public MenuTest, public ::testing::WithParamInterface<EnablingRow> {
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

TEST_P(MenuEnablingTest, AsksFrontWindowThenOwnersThenApplicationUntilOneDecides) {
    RunMenuEnabling();
    EXPECT_EQ(askedAbout(GetParam().command), GetParam().asked);
    EXPECT_EQ(IsMenuCommandEnabled(nullptr, GetParam().command), GetParam().enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Handlers, MenuEnablingTest,
    ::testing::Values(EnablingRow{"FrontWindow", 302, {"front 302"}, false},
                      EnablingRow{"Owner", 303, {"front 303", "owner 303"}, true},
                      EnablingRow{
                          "Application", 304, {"front 304", "owner 304", "app 304"}, false}),
    [](const ::testing::TestParamInfo<EnablingRow>& row) { return std::string(row.param.name); });

TEST_F(MenuEnablingTest, WalksTitlesThenItemsAndTakesWhatTheHandlersChange) {
    RunMenuEnabling();
    // The walk: each menu's title, then its items, menus in bar order.
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
    EXPECT_EQ(create->shortcut(), ctrl(Qt::Key_K));
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

    // Exit has no key equivalent; Ctrl+Q does nothing.
    QTest::keyClick(frame, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(gDispatched, (std::vector<int>{302}));
    // Choosing an item of the bar dispatches its command.
    actionAt(200, 1)->trigger();
    EXPECT_EQ(gDispatched, (std::vector<int>{302, 201}));
}

// Ctrl+W is Close (203) of the menu bar alone: the enabling pass runs, the front window gets its
// close request. The subwindows' own close key (Ctrl+F4 or Ctrl+W, by platform) does nothing.
TEST_F(MenuTest, CtrlWClosesTheFrontWindowThroughTheMenuBar) {
    SetWindowHandler(nullptr, appHandler);
    WindowPtr back = window("Back", nullptr);
    WindowPtr front = window("Front", nullptr);
    QApplication::setActiveWindow(GetFrameWindow());
    QWidget* view = harness::ViewWidget(front);
    QTest::keyClick(view, Qt::Key_F4, Qt::ControlModifier);
    harness::ProcessUpdates();
    EXPECT_EQ(FrontWindow(), front);

    gAsked.clear();
    QTest::keyClick(view, Qt::Key_W, Qt::ControlModifier);
    harness::ProcessUpdates();
    EXPECT_FALSE(gAsked.empty()) << "the enabling pass ran";
    EXPECT_EQ(FrontWindow(), back);
    EXPECT_EQ(GetNextWindow(back), nullptr);
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
