// The item list of the package editor window: the rows of the Component Sections or of the
// Hidden Connections of the working package, their selection with the mouse, the list's
// commands (Cut, Copy, Paste, Delete, Select All, Duplicate, Create, Open Editor) and the
// reordering of sections by dragging with the right mouse button.
//
// The list's commands collect the numbers of the selected items, call the item operations of
// model/ItemOps.h on the working package, then mark what was appended and redraw.
#pragma once
#include "listwin/ListKeys.h"
#include "toolbox/gui/Windows.h"

#include <cstdint>

struct PackageEditor;

// What the item list of one package editor keeps from one message to the next.
struct ItemListState {
    int dragAnchor = -1;         // the right-button drag: the row of the section moved, or -1
    int dragTarget = -1;         // the row where its insertion line is, or -1
    std::uint8_t keysList = 255; // the list the last move key selected in (255: none yet)
    KeyRange keys;               // the range it selected
};

// Draws the rows that meet area.
void drawItemList(PackageEditor* editor, const Rect& area);
// Click selection with its tracking loop, every row between two readings of the pointer a step;
// a double click opens the field editors of the selection. A right-button drag in the section
// list marks the row to move and its target instead.
void clickItemList(PackageEditor* editor, const WindowMessage& msg);
// A key down with the focus on the list other than Delete, Backspace and Tab: the arrows, Home
// and End move or extend the selection as in the package list window, the row they move to
// scrolled into view; Return opens the field editors of the selection.
void itemListKey(PackageEditor* editor, const WindowMessage& msg);
// The list's menu commands: Cut, Copy, Paste, Delete, Select All, Duplicate, Create, Open Editor.
// Returns the error of one that failed (memFullErr), which left the package as it was.
OSErr itemListCommand(PackageEditor* editor, std::int16_t command);
// Deletes item number (from 1) of list 0 (sections) or 1 (net items), which is shown then with
// the focus and no row selected; the item's field editor closes without a commit and the others
// are renumbered. paramErr when there is no such item; nothing is deleted on an error.
OSErr deleteListItem(PackageEditor* editor, std::uint8_t list, int number);

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
