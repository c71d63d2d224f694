// The selection a press and a drag make in a list of rows, shared by the package list window
// and the package editor's item list. Each window runs its own tracking loop (its pointer, its
// autoscrolling, how far one step goes); this decides which rows each step marks.
#pragma once
#include "listwin/ListKeys.h"

#include <cstdint>

// The rows a click selects in: each row's selected mark, read and set. Setting a mark draws
// the change.
class RowMarks {
public:
    virtual std::int32_t rowCount() const = 0;
    virtual bool marked(std::int32_t row) const = 0;
    virtual void setMarked(std::int32_t row, bool on) = 0;

protected:
    ~RowMarks() = default;
};

// The lowest and highest marked rows and how many there are.
RowSelection markedRows(const RowMarks& rows);

enum class ClickMode {
    plain,  // one row, which follows the pointer (the caller clears the marks first)
    extend, // the rows from the anchor to the pointer's row, and no others
    toggle, // each row passed over takes the state opposite to the first row's
};

class ClickSelection {
public:
    // A press in mode: lo .. hi are the rows the marks stand for before it (in extend mode the
    // first and last selected rows, otherwise the pressed row), anchor the row that stays put
    // in extend mode.
    ClickSelection(RowMarks& rows, ClickMode mode, std::int32_t lo, std::int32_t hi,
                   std::int32_t anchor);

    // One step of the tracking, to row: the range becomes that row alone, or in extend mode the
    // rows between the anchor and it. Every row of the old and the new range is visited: a row
    // in the new range is selected, in toggle mode set to the opposite of the state the first
    // row visited had (that row decides once for the whole drag); a row outside it is
    // deselected, except in toggle mode.
    void moveTo(std::int32_t row);

private:
    RowMarks& rows_;
    ClickMode mode_;
    std::int32_t lo_, hi_, anchor_;
    int toggleTo_ = -1; // toggle mode: -1 undecided, else the state the rows take
};
