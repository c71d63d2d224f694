#include "toolbox/gui/Menus.h"

#include "resources/MenuData.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Dialogs.h"
#include "toolbox/gui/EnablingSteps.h"
#include "toolbox/gui/HostHooks.h"
#include "toolbox/gui/HostPrivate.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

struct MenuItemRecord {
    std::int16_t command = 0;
    std::string label; // the stored text before the backquote
    char key = 0;      // the key equivalent, 0 when none
    bool enabled = true;
    bool checked = false;
    QPointer<QAction> action;

    bool separator() const { return command == 0 && label.empty(); }
    std::string storedText() const { return key ? label + '`' + key : label; }
};

struct MenuRecord {
    std::int16_t id = 0;
    std::string title;
    std::vector<MenuItemRecord> items;
    std::vector<std::int16_t> listed; // the menus a list menu (1, 2) names
    bool isList = false;
    bool titleEnabled = true;
    QPointer<QMenu> menu;
};

namespace {

struct MenuState {
    std::map<std::int16_t, std::unique_ptr<MenuRecord>> menus;
    std::vector<std::int16_t> bar; // ids of the menus in the bar, in order
    bool filterInstalled = false;
    bool passRunning = false;
    int popupDepth = 0;      // items chosen in a popup dispatch nothing
    bool keyInput = false;   // the newest input was a key, not the mouse
    int keyCommandDepth = 0; // a command that a key chose is being dispatched
    QPointer<QMainWindow> frame;
};

MenuState& state() {
    // Never destroyed: host menus must not outlive the host application at exit.
    static MenuState* s = new MenuState;
    return *s;
}

QString toHost(const std::string& s) {
    return ToHostText(s.data(), static_cast<std::int32_t>(s.size()));
}

void splitStoredText(const char* stored, MenuItemRecord& item) {
    std::string_view s = stored ? stored : "";
    std::size_t quote = s.find('`');
    item.label = std::string(s.substr(0, quote));
    item.key = 0;
    if (quote != std::string_view::npos && quote + 1 < s.size()) item.key = s[quote + 1];
}

QKeySequence keySequence(char key) {
    if (!key) return {};
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(key)));
    return QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(upper)));
}

void syncAction(MenuItemRecord& item) {
    QAction* a = item.action;
    if (!a) return;
    a->setSeparator(item.separator());
    a->setText(toHost(item.label));
    a->setShortcut(keySequence(item.key));
    a->setEnabled(item.enabled);
    a->setCheckable(item.checked);
    a->setChecked(item.checked);
    a->setData(item.command);
}

void syncTitle(MenuRecord& m) {
    if (!m.menu) return;
    m.menu->setTitle(toHost(m.title));
    m.menu->menuAction()->setEnabled(m.titleEnabled);
}

bool inBar(std::int16_t id) {
    auto& bar = state().bar;
    return std::find(bar.begin(), bar.end(), id) != bar.end();
}

// A key equivalent reaches the action right after its key's events, a menu item chosen with
// the mouse right after a button event: the newest input tells who chose the command.
void onTriggered(QAction* action) {
    if (state().popupDepth > 0 || !action) return;
    auto* owner = qobject_cast<QMenu*>(action->parent());
    for (auto& [id, m] : state().menus)
        if (m->menu == owner && inBar(id)) {
            const bool byKey = state().keyInput;
            state().keyCommandDepth += byKey;
            DispatchMenuCommand(static_cast<std::int16_t>(action->data().toInt()));
            state().keyCommandDepth -= byKey;
            return;
        }
}

QAction* makeAction(MenuRecord& m, MenuItemRecord& item, QAction* before) {
    auto* a = new QAction(m.menu);
    a->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(a, &QAction::triggered, a, [a] { onTriggered(a); });
    m.menu->insertAction(before, a);
    item.action = a;
    syncAction(item);
    return a;
}

QMainWindow* frame() {
    return GetFrameWindow();
}

// Menus are children of the frame: they go with it, and so do the records.
QWidget* menuParent() {
    MenuState& s = state();
    QMainWindow* f = frame();
    if (f && s.frame != f) {
        s.frame = f;
        QObject::connect(f, &QObject::destroyed, [] {
            state().menus.clear();
            state().bar.clear();
        });
    }
    return f;
}

// Runs the pass before a key equivalent is looked up, and before the bar is clicked.
class EnablingFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        noteInput(event->type());
        if (event->type() == QEvent::ShortcutOverride) {
            auto* key = static_cast<QKeyEvent*>(event);
            // The event travels up the focus widget's parents: one pass per key press.
            if (key == last_) return false;
            last_ = key;
            if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) RunMenuEnabling();
            return false;
        }
        last_ = nullptr;
        if (event->type() == QEvent::MouseButtonPress && qobject_cast<QMenuBar*>(watched))
            RunMenuEnabling();
        return false;
    }

private:
    static void noteInput(QEvent::Type type) {
        switch (type) {
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::KeyPress:
            state().keyInput = true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            state().keyInput = false;
            break;
        default:
            break;
        }
    }
    const QKeyEvent* last_ = nullptr;
};

void installFilter() {
    MenuState& s = state();
    if (s.filterInstalled) return;
    s.filterInstalled = true;
    qApp->installEventFilter(new EnablingFilter(qApp));
}

MenuRecord* buildMenu(std::int16_t id, const char* title) {
    auto m = std::make_unique<MenuRecord>();
    m->id = id;
    m->title = title ? title : "";
    m->menu = new QMenu(toHost(m->title), menuParent());
    MenuRecord* raw = m.get();
    QObject::connect(m->menu, &QMenu::aboutToShow, m->menu, [raw] {
        if (inBar(raw->id)) RunMenuEnabling();
    });
    MenuState& s = state();
    if (auto old = s.menus.find(id); old != s.menus.end()) {
        if (old->second->menu) {
            old->second->menu->menuAction()->setVisible(false);
            old->second->menu->deleteLater();
        }
        std::erase(s.bar, id);
    }
    s.menus[id] = std::move(m);
    return raw;
}

MenuItemRecord* itemAt(MenuHandle menu, int item) {
    if (!menu || item < 1 || item > static_cast<int>(menu->items.size())) return nullptr;
    return &menu->items[static_cast<std::size_t>(item - 1)];
}

// The bar's menus, or just the one given.
template <class Fn> bool forCommand(MenuHandle menu, std::int16_t command, Fn fn) {
    int item = 0;
    MenuHandle m = menu;
    if (m)
        item = FindMenuItem(m, command);
    else
        m = FindCommandMenu(command, &item);
    if (!m || item == 0) return false;
    fn(m, item);
    return true;
}

// Asks the front window, its owners and then the application.
bool askHandlers(MenuEnableRecord& rec) {
    for (WindowPtr w = FrontWindow(); w; w = w->owner)
        if (w->handler && w->handler(w, rec)) return true;
    if (HandlerProc app = GetWindowHandler(nullptr)) return app(nullptr, rec);
    return false;
}

// The zero-terminated text of an enabling record.
std::string recordText(const MenuEnableRecord& rec) {
    return std::string(rec.text, strnlen(rec.text, sizeof rec.text));
}

void applyText(MenuItemRecord& item, const std::string& text) {
    if (text.find('`') != std::string::npos) {
        splitStoredText(text.c_str(), item);
    } else {
        item.label = text; // the key equivalent stays
    }
}

} // namespace

// ---- menus -----------------------------------------------------------------------------------

MenuHandle GetMenuHandle(std::int16_t id) {
    auto& menus = state().menus;
    auto found = menus.find(id);
    return found == menus.end() ? nullptr : found->second.get();
}

MenuHandle GetMenu(std::int16_t id) {
    menuParent(); // drops the records of a frame that has gone
    if (MenuHandle m = GetMenuHandle(id); m && (m->isList || m->menu)) return m;
    const MenuData* data = FindMenuData(id);
    if (!data) return nullptr;
    MenuRecord* m = buildMenu(id, data->title);
    if (id == kMenuBarList || id == kPopupMenuList) {
        m->isList = true;
        for (const MenuItemData& listed : data->items) {
            m->listed.push_back(listed.command);
            GetMenu(listed.command);
        }
        return m;
    }
    for (const MenuItemData& d : data->items) {
        MenuItemRecord item;
        item.command = d.command;
        splitStoredText(d.text, item);
        m->items.push_back(item);
        makeAction(*m, m->items.back(), nullptr);
    }
    return m;
}

MenuHandle NewMenu(std::int16_t id, const char* title) {
    menuParent();
    return buildMenu(id, title);
}

std::int16_t GetMenuID(MenuHandle menu) {
    return menu ? menu->id : 0;
}

void InsertMenu(MenuHandle menu, std::int16_t beforeId) {
    if (!menu) return;
    if (menu->isList) {
        for (std::int16_t id : menu->listed)
            InsertMenu(GetMenu(id), beforeId);
        return;
    }
    MenuState& s = state();
    QMainWindow* f = frame();
    if (!f || !menu->menu || inBar(menu->id)) return;
    installFilter();
    QMenuBar* bar = f->menuBar();
    auto pos = std::find(s.bar.begin(), s.bar.end(), beforeId);
    QAction* before = nullptr;
    if (pos != s.bar.end())
        if (MenuHandle b = GetMenuHandle(*pos); b && b->menu) before = b->menu->menuAction();
    bar->insertMenu(before, menu->menu);
    // A bar made after the frame was shown would appear only once the event loop runs;
    // until then its key equivalents would not fire.
    if (f->isVisible() && !bar->isVisible() &&
        !(bar->isHidden() && bar->testAttribute(Qt::WA_WState_ExplicitShowHide)))
        bar->show();
    s.bar.insert(pos, menu->id);
    menu->menu->menuAction()->setVisible(true);
    syncTitle(*menu);
}

void DeleteMenu(std::int16_t id) {
    MenuState& s = state();
    if (!inBar(id)) return;
    std::erase(s.bar, id);
    MenuHandle m = GetMenuHandle(id);
    if (m && m->menu && frame()) frame()->menuBar()->removeAction(m->menu->menuAction());
}

bool MenuInBar(std::int16_t id) {
    return inBar(id);
}

void InstallMenuBar() {
    QApplication::setWindowIcon(GetIcon(kAppIconId));
    InsertMenu(GetMenu(kMenuBarList), 0);
}

// ---- items by position -----------------------------------------------------------------------

int CountMItems(MenuHandle menu) {
    return menu ? static_cast<int>(menu->items.size()) : 0;
}

void InsertMenuItem(MenuHandle menu, const char* storedText, std::int16_t command, int afterItem) {
    if (!menu || menu->isList) return;
    int count = CountMItems(menu);
    int at = std::clamp(afterItem, 0, count); // index of the new item
    MenuItemRecord item;
    item.command = command;
    splitStoredText(storedText, item);
    QAction* before = nullptr;
    if (at < count) before = menu->items[static_cast<std::size_t>(at)].action;
    menu->items.insert(menu->items.begin() + at, item);
    if (menu->menu) makeAction(*menu, menu->items[static_cast<std::size_t>(at)], before);
}

void AppendMenuItem(MenuHandle menu, const char* storedText, std::int16_t command) {
    InsertMenuItem(menu, storedText, command, CountMItems(menu));
}

void DeleteMenuItem(MenuHandle menu, int item) {
    MenuItemRecord* it = itemAt(menu, item);
    if (!it) return;
    if (QAction* a = it->action) {
        // The action may be the one being triggered: let the event loop delete it.
        if (menu->menu) menu->menu->removeAction(a);
        a->deleteLater();
    }
    menu->items.erase(menu->items.begin() + (item - 1));
}

static void setEnabled(MenuHandle menu, int item, bool enabled) {
    if (!menu) return;
    if (item == 0) {
        menu->titleEnabled = enabled;
        syncTitle(*menu);
        return;
    }
    if (MenuItemRecord* it = itemAt(menu, item)) {
        it->enabled = enabled;
        if (it->action) it->action->setEnabled(enabled);
    }
}

void EnableMenuItem(MenuHandle menu, int item) {
    setEnabled(menu, item, true);
}
void DisableMenuItem(MenuHandle menu, int item) {
    setEnabled(menu, item, false);
}

bool IsMenuItemEnabled(MenuHandle menu, int item) {
    if (menu && item == 0) return menu->titleEnabled;
    MenuItemRecord* it = itemAt(menu, item);
    return it && it->enabled;
}

void SetMenuItemText(MenuHandle menu, int item, const char* storedText) {
    if (menu && item == 0) {
        menu->title = storedText ? storedText : "";
        syncTitle(*menu);
        return;
    }
    if (MenuItemRecord* it = itemAt(menu, item)) {
        splitStoredText(storedText, *it);
        syncAction(*it);
    }
}

std::string GetMenuItemText(MenuHandle menu, int item) {
    if (menu && item == 0) return menu->title;
    MenuItemRecord* it = itemAt(menu, item);
    return it ? it->storedText() : std::string();
}

void SetMenuItemCommand(MenuHandle menu, int item, std::int16_t command) {
    if (MenuItemRecord* it = itemAt(menu, item)) {
        it->command = command;
        syncAction(*it);
    }
}

std::int16_t GetMenuItemCommand(MenuHandle menu, int item) {
    MenuItemRecord* it = itemAt(menu, item);
    return it ? it->command : 0;
}

void SetItemMark(MenuHandle menu, int item, bool checked) {
    if (MenuItemRecord* it = itemAt(menu, item)) {
        it->checked = checked;
        syncAction(*it);
    }
}

bool GetItemMark(MenuHandle menu, int item) {
    MenuItemRecord* it = itemAt(menu, item);
    return it && it->checked;
}

// ---- items by command id ---------------------------------------------------------------------

int FindMenuItem(MenuHandle menu, std::int16_t command) {
    if (!menu || command == 0) return 0;
    for (std::size_t i = 0; i < menu->items.size(); ++i)
        if (menu->items[i].command == command) return static_cast<int>(i + 1);
    return 0;
}

MenuHandle FindCommandMenu(std::int16_t command, int* item) {
    for (std::int16_t id : state().bar) {
        MenuHandle m = GetMenuHandle(id);
        if (int pos = FindMenuItem(m, command)) {
            if (item) *item = pos;
            return m;
        }
    }
    if (item) *item = 0;
    return nullptr;
}

void EnableMenuCommand(MenuHandle menu, std::int16_t command, bool enabled) {
    forCommand(menu, command, [&](MenuHandle m, int item) { setEnabled(m, item, enabled); });
}

void DisableMenuCommand(MenuHandle menu, std::int16_t command) {
    EnableMenuCommand(menu, command, false);
}

bool IsMenuCommandEnabled(MenuHandle menu, std::int16_t command) {
    bool enabled = false;
    forCommand(menu, command,
               [&](MenuHandle m, int item) { enabled = IsMenuItemEnabled(m, item); });
    return enabled;
}

void SetMenuCommandText(MenuHandle menu, std::int16_t command, const char* storedText) {
    forCommand(menu, command,
               [&](MenuHandle m, int item) { SetMenuItemText(m, item, storedText); });
}

std::string GetMenuCommandText(MenuHandle menu, std::int16_t command) {
    std::string text;
    forCommand(menu, command, [&](MenuHandle m, int item) { text = GetMenuItemText(m, item); });
    return text;
}

void SetMenuCommandMark(MenuHandle menu, std::int16_t command, bool checked) {
    forCommand(menu, command, [&](MenuHandle m, int item) { SetItemMark(m, item, checked); });
}

void ChangeMenuCommandID(MenuHandle menu, std::int16_t command, std::int16_t newCommand) {
    forCommand(menu, command,
               [&](MenuHandle m, int item) { SetMenuItemCommand(m, item, newCommand); });
}

void DeleteMenuCommand(MenuHandle menu, std::int16_t command) {
    forCommand(menu, command, [&](MenuHandle m, int item) { DeleteMenuItem(m, item); });
}

// ---- popup menus -----------------------------------------------------------------------------

int PopUpMenuSelect(MenuHandle menu, WindowPtr w, const Rect& r, int currentItem) {
    if (!menu || !menu->menu) return 0;
    // The check marks stay as the caller set them: the current item is only the one placed
    // over r when the menu opens.
    if (auto answer = GetModalAnswerer().popUpMenu) {
        int chosen = 0;
        if (answer(menu->id, currentItem, r, &chosen)) return chosen;
    }
    QPoint at(r.left, r.top);
    if (w && w->host && w->host->view) {
        // Local coordinates are view pixels shifted by the port's scroll origin.
        PortHost* port = static_cast<GrafPtr>(w)->host;
        QPoint origin = port ? port->origin : QPoint();
        at = w->host->view->mapToGlobal(at - origin);
    } else if (QMainWindow* f = frame()) {
        at = f->mapToGlobal(at);
    }
    MenuItemRecord* current = itemAt(menu, currentItem);
    ++state().popupDepth;
    QAction* chosen = menu->menu->exec(at, current ? current->action.data() : nullptr);
    --state().popupDepth;
    if (!chosen) return 0;
    for (std::size_t i = 0; i < menu->items.size(); ++i)
        if (menu->items[i].action == chosen) return static_cast<int>(i + 1);
    return 0;
}

// ---- Control held on purpose -----------------------------------------------------------------

bool ControlHeldOnPurpose() {
    return state().keyCommandDepth == 0 && ControlKeyDown();
}

// ---- enabling --------------------------------------------------------------------------------

bool AskMenuEnabling(MenuEnableRecord& rec) {
    rec.modalDialogUp = ModalDialogUp();
    RunEnablingPreStep(rec);
    askHandlers(rec);
    RunEnablingPostStep(rec);
    return rec.enabled;
}

void RunMenuEnabling() {
    MenuState& s = state();
    if (s.passRunning) return;
    s.passRunning = true;
    // Handlers may change menus while the pass runs: positions and counts are read afresh.
    for (std::size_t b = 0; b < s.bar.size(); ++b) {
        MenuHandle m = GetMenuHandle(s.bar[b]);
        if (!m) continue;
        MenuEnableRecord title;
        title.command = m->id;
        std::snprintf(title.text, sizeof title.text, "%s", m->title.c_str());
        const std::string titleAsked = recordText(title);
        AskMenuEnabling(title);
        m->titleEnabled = title.enabled;
        if (recordText(title) != titleAsked) m->title = recordText(title);
        syncTitle(*m);
        for (int i = 1; i <= CountMItems(m); ++i) {
            MenuItemRecord* it = itemAt(m, i);
            if (it->separator()) continue;
            MenuEnableRecord rec;
            rec.command = it->command;
            std::snprintf(rec.text, sizeof rec.text, "%s", it->label.c_str());
            const std::string asked = recordText(rec);
            AskMenuEnabling(rec);
            it = itemAt(m, i);
            if (!it) break;
            it->enabled = rec.enabled;
            // A handler that wrote a new text into the record changed the item's text.
            if (recordText(rec) != asked) applyText(*it, recordText(rec));
            syncAction(*it);
        }
    }
    s.passRunning = false;
}

QMenu* GetHostMenu(MenuHandle menu) {
    return menu ? menu->menu.data() : nullptr;
}
