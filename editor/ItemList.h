// The item list of the package editor window: the rows of the Component Sections or of the
// Hidden Connections of the working package, their selection with the mouse, the list's
// commands (Cut, Copy, Paste, Delete, Select All, Duplicate, Create, Open Editor) and the
// reordering of sections by dragging with the right mouse button.
#pragma once
#include "editor/PackageEditor.h"

#include <cstdint>

// Plugs the item list into the package editor's extensions (drawing, clicks and commands),
// keeping the hooks that others installed.
void installItemList();

// Height of one row and the descent of the list text style (standard style 1).
std::int16_t itemRowHeight();
std::int16_t itemRowDescent();

// Counts the rows again, sets the list's content to 3000 pixels by the rows' height and redraws
// the window; with reveal, scrolls the last selected row into view.
void remeasureList(PackageEditor* editor, bool reveal);

// Selection marks of the rows of the active list (rows from 0).
bool isRowSelected(PackageEditor* editor, int row);
void selectRow(PackageEditor* editor, int row);
void deselectRow(PackageEditor* editor, int row);
void deselectAllRows(PackageEditor* editor);
