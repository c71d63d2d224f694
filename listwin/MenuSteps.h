// The steps that every menu enabling procedure shares (the package list window's, the package
// editor's and the application's), the Window menu and the Delete-key shortcut.
//
// An enabling procedure runs the pre-step before it decides an item and the post-step after:
//
//     bool myEnabling(WindowPtr w, MenuEnableRecord& rec) {
//         return runEnablingSteps(w, rec, decideMyItems);
//     }
//
// Pre-step: for Delete (305) the remembered Delete state is cleared; Create (401) and Revert
// Package (403) get their standard texts from the string table (a procedure may put another
// text into rec.text after it); for the Window menu (500) the menu is rebuilt and enabled
// unless a modal dialog is up. Post-step: the state decided for Delete is remembered, for the
// Delete and Backspace keys.
//
// This lives below the windows so that the list window, the editors and the application shell
// can all reach it without depending on one another.
#pragma once
#include "toolbox/gui/Windows.h"

#include <cstdint>

constexpr std::int16_t kWindowMenuID = 500;
constexpr std::int16_t kFirstWindowCommand = 501;
constexpr int kMaxWindowMenuEntries = 80;

void enablingPreStep(MenuEnableRecord& rec);
void enablingPostStep(const MenuEnableRecord& rec);
// Pre-step, decide, post-step. Returns what decide returned (true: the item is decided).
bool runEnablingSteps(WindowPtr w, MenuEnableRecord& rec, HandlerProc decide);

// True for the commands whose enabling the application decides when no window does: the File
// menu (200-299), the Window menu (500 and its items), Help (600) and About (32050). A window's
// procedure leaves these undecided (returns false) unless it has its own rule for one.
bool isApplicationCommand(std::int16_t command);

// Whether the last enabling pass left Delete (305) enabled.
bool deleteEnabled();

// Rebuilds the Window menu from the open windows: their titles in natural order (at most 80),
// item i with command 500 + i, the front window's item checked; one disabled item "None" when
// there is no window.
void rebuildWindowMenu();
// Windows listed by the last rebuild.
int windowMenuCount();
// The window of a Window menu command (501 and up), or nullptr.
WindowPtr windowMenuWindow(std::int16_t command);

// The Delete-key shortcut for a window: for the key code 317 (Delete, Clear, keypad decimal), or
// Backspace (8) when backspace is set, runs the enabling pass and, when it left Delete enabled,
// sends the Delete command (305) to w. True when the command was sent.
bool handleDeleteKey(WindowPtr w, std::int16_t key, bool backspace);
