// Keys that move a row selection: the arrows, Home, End and the Page keys of the package list
// window and of the package editor's item list, and the list window's own keys (Return opens
// the editors of the selection; typed characters select by the beginning of a display name).
#pragma once
#include "model/PackageFile.h"
#include "toolbox/gui/KeyCodes.h"

#include <cstdint>

struct ListView;
struct WindowMessage;

// The selected rows at a glance: the lowest and highest (-1 when none) and how many.
struct RowSelection {
    std::int32_t first = -1, last = -1;
    std::int32_t count = 0;
};

// The range the last move key selected: anchor stays put under Shift, active is the end that
// moves. It counts only while the selection is still exactly the rows between the two.
struct KeyRange {
    std::int32_t anchor = -1; // -1: none
    std::int32_t active = -1;
};

// The end of a selection (first, last) that stays put when a Shift-click or a Shift key
// extends it to row c: the end farther from c, the first on a tie.
std::int32_t shiftAnchor(std::int32_t c, std::int32_t first, std::int32_t last);

// The range a move key selects in rows 0 .. rows - 1, into *range. Down: the row after the last
// selected one (the first row when none is); Up: the row before the first selected one (the
// last row when none is); Home and End: the first and the last row; Page Down and Page Up: page
// rows on from where Down and Up start (taken only when page > 0). Without shift the range is
// that row alone. With shift it reaches from the anchor to the active end moved by the key: the
// remembered range while it still holds, else the end of the selection farther away stays put,
// as a Shift-click takes it. False for any other key and for an empty list.
bool moveByKey(KeyCode key, bool shift, std::int32_t rows, std::int32_t page,
               const RowSelection& selection, KeyRange* range);

// The characters typed within a second of each other, the first of them no blank.
struct TypeAhead {
    static constexpr std::uint32_t kPause = 1000; // milliseconds that start a new prefix
    unsigned char prefix[kDisplayNameMax]{};      // in upper case
    std::uint8_t length = 0;
    std::uint32_t time = 0; // when the last character came (the key message's time)
};

// A key down in a package list window: the move keys (the selection scrolled into view, the
// window drawn once), Return (and Enter) as a double click, and type-ahead. False for a key the
// window ignores.
bool listWindowKey(ListView& view, const WindowMessage& msg);

// From the list window: scrolls so that entry index is in view, as the reveal of a refresh
// does (when it is not in view, it comes to the middle).
void revealEntry(ListView& view, std::int32_t index);
