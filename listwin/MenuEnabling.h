// The steps every menu enabling procedure shares (the package list window's, the editor
// windows' and the application's), and the Delete-key shortcut built on them.
//
// An enabling procedure calls enablingPreStep before it decides a command and enablingPostStep
// after. The pre-step forgets the remembered Delete state (305), presets the texts of Create
// (401) and Revert Package (403) from the string table, and rebuilds the Window menu (500)
// through the builder the application installs. The post-step remembers the Delete state.
#pragma once
#include "resources/Commands.h"
#include "toolbox/gui/Windows.h"

#include <cstdint>

void enablingPreStep(MenuEnableRecord& rec);
void enablingPostStep(const MenuEnableRecord& rec);

// The Delete state of the last enabling pass that decided Delete (305).
bool deleteEnabled();

// Rebuilds the Window menu; installed by the application (none: the menu is left alone).
using WindowMenuBuilder = void (*)();
void setWindowMenuBuilder(WindowMenuBuilder builder);

// For Delete (key code 317), or Backspace (8) when backspace is set: brings the menu enabling up
// to date and, when Delete is then enabled, sends the Delete command (305) to w. True when the
// key was one of these (whether or not Delete was enabled).
bool deleteKey(WindowPtr w, std::int16_t key, bool backspace);
