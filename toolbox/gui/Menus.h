// Menus: the menu bar and popup menus built from the menu resources, item operations by
// position and by command id, popup selection, and the menu enabling pass.
//
// Stored item texts use "&" before the mnemonic letter and a backquote before the letter of
// the key equivalent ("Cu&t`X"), which fires with Ctrl. An item with command 0 and an empty
// text is a separator. Item positions count from 1; position 0 stands for the menu's title.
//
// Menu enabling: before a menu of the bar opens and before a key equivalent is tested, the
// pass walks the bar in order and asks, for each menu, about its title id and then about each
// item's command id. Each question goes to the handler procedure of the front window, then of
// the windows that own it, and last to the application's handler, until one returns true. The
// record's enabled flag (preset true) then decides the item; a handler may replace the text.
// Handlers may insert and delete items of any menu during the pass.
//
// Choosing an enabled item of a menu in the bar, or typing its key equivalent, dispatches its
// command (DispatchMenuCommand).
#pragma once
#include "toolbox/gui/Windows.h"
#include <cstdint>
#include <string>

class QMenu;
struct MenuRecord; // private
using MenuHandle = MenuRecord*;

// ---- menus -----------------------------------------------------------------------------------
// The menu with that resource id, built on first use (the same menu later); nullptr for an id
// that has no resource. Menus 1 and 2 are lists: getting one builds every menu it lists.
MenuHandle GetMenu(std::int16_t id);
MenuHandle GetMenuHandle(std::int16_t id); // an already built menu, or nullptr
// A new, empty menu (replacing a built menu of the same id).
MenuHandle NewMenu(std::int16_t id, const char* title);
std::int16_t GetMenuID(MenuHandle menu);

// Puts a menu into the menu bar before the menu beforeId (0 or an id not in the bar: at the
// end). A list menu (1) puts every menu it lists. A menu already in the bar stays where it is.
void InsertMenu(MenuHandle menu, std::int16_t beforeId = 0);
void DeleteMenu(std::int16_t id); // takes the menu out of the bar; the menu itself remains
bool MenuInBar(std::int16_t id);
// Builds menu 1 and puts its menus into the frame's menu bar. Called once at start-up, it also
// gives the program's icon (10) to the frame and every window.
void InstallMenuBar();

// ---- items by position -----------------------------------------------------------------------
int CountMItems(MenuHandle menu);
// Inserts after position afterItem (0: first; CountMItems or more: last).
void InsertMenuItem(MenuHandle menu, const char* storedText, std::int16_t command, int afterItem);
void AppendMenuItem(MenuHandle menu, const char* storedText, std::int16_t command);
void DeleteMenuItem(MenuHandle menu, int item);
void EnableMenuItem(MenuHandle menu, int item); // item 0: the whole menu
void DisableMenuItem(MenuHandle menu, int item);
bool IsMenuItemEnabled(MenuHandle menu, int item);
void SetMenuItemText(MenuHandle menu, int item, const char* storedText);
std::string GetMenuItemText(MenuHandle menu, int item); // the stored text; item 0: the title
void SetMenuItemCommand(MenuHandle menu, int item, std::int16_t command);
std::int16_t GetMenuItemCommand(MenuHandle menu, int item);
void SetItemMark(MenuHandle menu, int item, bool checked);
bool GetItemMark(MenuHandle menu, int item);

// ---- items by command id ---------------------------------------------------------------------
// menu nullptr: the menus of the bar, in order. The first item with that command counts.
int FindMenuItem(MenuHandle menu, std::int16_t command); // position, or 0
MenuHandle FindCommandMenu(std::int16_t command, int* item = nullptr);
void EnableMenuCommand(MenuHandle menu, std::int16_t command, bool enabled = true);
void DisableMenuCommand(MenuHandle menu, std::int16_t command);
bool IsMenuCommandEnabled(MenuHandle menu, std::int16_t command);
void SetMenuCommandText(MenuHandle menu, std::int16_t command, const char* storedText);
std::string GetMenuCommandText(MenuHandle menu, std::int16_t command);
void SetMenuCommandMark(MenuHandle menu, std::int16_t command, bool checked);
void ChangeMenuCommandID(MenuHandle menu, std::int16_t command, std::int16_t newCommand);
void DeleteMenuCommand(MenuHandle menu, std::int16_t command);

// ---- popup menus -----------------------------------------------------------------------------
// Shows menu under r (local coordinates of w; w nullptr: the frame's client coordinates) with
// currentItem placed over r, and returns the chosen item's position (0 when none was chosen).
// The items' check marks are left as the caller set them. Items chosen here dispatch no
// command. A modal answerer may answer it instead (HostHooks.h).
int PopUpMenuSelect(MenuHandle menu, WindowPtr w, const Rect& r, int currentItem);

// ---- Control held on purpose -----------------------------------------------------------------
// Control is down (ControlKeyDown) and no command that a key chose is running: a key equivalent
// (Ctrl+W, Ctrl+S, ...) or a menu item chosen with the keyboard holds Control only to choose it.
// Control held while a close box is clicked or a menu item chosen with the mouse counts.
bool ControlHeldOnPurpose();

// ---- enabling --------------------------------------------------------------------------------
// Runs the enabling pass over the whole bar now.
void RunMenuEnabling();
// Asks the handler chain about one command, as the pass does, with the shared steps of
// EnablingSteps.h around it; returns rec.enabled.
bool AskMenuEnabling(MenuEnableRecord& rec);

// The host menu of a built menu (for tests and for placing it in host widgets).
QMenu* GetHostMenu(MenuHandle menu);
