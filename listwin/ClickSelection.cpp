#include "listwin/ClickSelection.h"

#include <algorithm>

RowSelection markedRows(const RowMarks& rows) {
    RowSelection s;
    const std::int32_t count = rows.rowCount();
    for (std::int32_t r = 0; r < count; ++r) {
        if (!rows.marked(r)) continue;
        if (s.count++ == 0) s.first = r;
        s.last = r;
    }
    return s;
}

ClickSelection::ClickSelection(RowMarks& rows, ClickMode mode, std::int32_t lo, std::int32_t hi,
                               std::int32_t anchor)
    : rows_(rows), mode_(mode), lo_(lo), hi_(hi), anchor_(anchor) {}

void ClickSelection::moveTo(std::int32_t row) {
    const bool extend = mode_ == ClickMode::extend;
    const std::int32_t start = extend ? std::min(row, anchor_) : row;
    const std::int32_t end = extend ? std::max(row, anchor_) : row;
    const std::int32_t from = std::max(std::min(lo_, start), 0);
    const std::int32_t to = std::min(std::max(hi_, end), rows_.rowCount() - 1);
    for (std::int32_t r = from; r <= to; ++r) {
        const bool inside = r >= start && r <= end;
        bool on = inside;
        if (mode_ == ClickMode::toggle) {
            if (!inside) continue;
            if (toggleTo_ < 0) toggleTo_ = rows_.marked(r) ? 0 : 1;
            on = toggleTo_ == 1;
        }
        if (rows_.marked(r) != on) rows_.setMarked(r, on);
    }
    lo_ = start;
    hi_ = end;
}
