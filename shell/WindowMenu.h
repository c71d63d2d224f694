// The Window menu: the open windows by title in natural order, rebuilt whenever the menu is
// about to be shown (by the shared pre-step of MenuSteps.h).
#pragma once
#include "resources/Commands.h"
#include "toolbox/gui/Windows.h"

#include <cstdint>

// Collects the windows front to back (at most 80), sorts them by title in natural order and
// makes item i the i-th title with command 500 + i, the front window's item checked. With no
// window the menu holds one item, "None", disabled and unchecked.
void rebuildWindowMenu();
// The number of windows the last rebuild listed.
int windowMenuCount();
// The window of a Window menu command (501 and up) as the last rebuild listed it; nullptr when
// there is none or it has gone since.
WindowPtr windowMenuWindow(std::int16_t command);
