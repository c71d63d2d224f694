// The keys of the package list window, and the move of a row selection by key that the package
// editor's item list shares.
#include "listwin/ListKeys.h"

#include "listwin/ListCommands.h"
#include "listwin/ListWindow.h"
#include "toolbox/gui/Windows.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

std::int32_t shiftAnchor(std::int32_t c, std::int32_t first, std::int32_t last) {
    return std::abs(c - first) < std::abs(c - last) ? last : first;
}

bool moveByKey(KeyCode key, bool shift, std::int32_t rows, std::int32_t page,
               const RowSelection& selection, KeyRange* range) {
    if (rows <= 0) return false;
    std::int32_t step = 0, target = 0;
    if (key == kKeyDownArrow) {
        step = 1;
    } else if (key == kKeyUpArrow) {
        step = -1;
    } else if (key == kKeyPageDown && page > 0) {
        step = page;
    } else if (key == kKeyPageUp && page > 0) {
        step = -page;
    } else if (key == kKeyEnd) {
        target = rows - 1;
    } else if (key != kKeyHome) {
        return false;
    }
    const RowSelection& s = selection;
    const bool none = s.count == 0;
    const bool kept = shift && !none && range->anchor >= 0 && s.count == s.last - s.first + 1 &&
                      std::min(range->anchor, range->active) == s.first &&
                      std::max(range->anchor, range->active) == s.last;
    if (step != 0) {
        const std::int32_t from = kept ? range->active : step > 0 ? s.last : s.first;
        target = none ? (step > 0 ? 0 : rows - 1) : from + step;
    }
    target = std::clamp(target, 0, rows - 1);
    std::int32_t anchor = target;
    if (shift && !none) anchor = kept ? range->anchor : shiftAnchor(target, s.first, s.last);
    *range = {anchor, target};
    return true;
}

namespace {

RowSelection scanSelection(const PackageFile* f) {
    RowSelection s;
    std::int32_t i = 0;
    for (const PackageEntry* e = f->packages; e; e = e->next, ++i) {
        if (!(e->flags & kSelected)) continue;
        if (s.count++ == 0) s.first = i;
        s.last = i;
    }
    return s;
}

// The rows between the range's ends become the selection (every entry selected before lies
// between the ends of selection), the active end is scrolled into view, and the window is drawn
// again once.
void selectRange(ListView& v, const RowSelection& selection, const KeyRange& range) {
    PackageFile* f = v.file;
    const std::int32_t lo = std::min(range.anchor, range.active);
    const std::int32_t hi = std::max(range.anchor, range.active);
    const std::int32_t from = selection.count ? std::min(selection.first, lo) : lo;
    const std::int32_t to = selection.count ? std::max(selection.last, hi) : hi;
    std::int32_t i = from;
    for (PackageEntry* e = entryAt(f, from); e && i <= to; e = e->next, ++i)
        e->flags = i >= lo && i <= hi ? (e->flags | kSelected) : (e->flags & ~kSelected);
    v.keyRange = range;
    revealEntry(v, range.active);
    InvalWindowRect(listWindowOf(f), nullptr);
}

bool moveKey(ListView& v, const WindowMessage& msg) {
    // A page is what the scroll bar's page moves: the visible rows less one of overlap.
    const std::int32_t page = std::max<std::int32_t>(v.lastRowOffset, 1);
    const RowSelection selection = scanSelection(v.file);
    KeyRange range = v.keyRange;
    if (!moveByKey(msg.key, msg.shift, v.file->packageCount, page, selection, &range)) return false;
    // The Page keys turn the page as well, so that the selection keeps its place in the window.
    if ((msg.key == kKeyPageDown || msg.key == kKeyPageUp) && v.scrollBar) {
        SetControlValue(v.scrollBar, v.topRow + (msg.key == kKeyPageDown ? page : -page));
        v.topRow = GetControlValue(v.scrollBar);
    }
    selectRange(v, selection, range);
    return true;
}

unsigned char upperCase(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

bool beginsWith(std::string_view name, const TypeAhead& t) {
    if (name.size() < t.length) return false;
    for (std::size_t i = 0; i < t.length; ++i)
        if (upperCase(static_cast<unsigned char>(name[i])) != t.prefix[i]) return false;
    return true;
}

// The first entry at or after start whose display name begins with the prefix, the search
// wrapping once to the top; -1 when there is none.
std::int32_t findPrefix(PackageFile* f, std::int32_t start, const TypeAhead& t) {
    std::int32_t i = start;
    for (const PackageEntry* e = entryAt(f, start); e; e = e->next, ++i)
        if (beginsWith(displayNameView(e), t)) return i;
    i = 0;
    for (const PackageEntry* e = f->packages; e && i < start; e = e->next, ++i)
        if (beginsWith(displayNameView(e), t)) return i;
    return -1;
}

// A character typed: it extends the prefix (or starts a new one after a pause), and the first
// package from the first selected one on whose name begins with the prefix becomes the only
// selection. When none does, the beep sounds and the character is dropped from the prefix.
void typeAhead(ListView& v, unsigned char c, std::uint32_t when) {
    TypeAhead& t = v.typeAhead;
    if (t.length > 0 && when - t.time >= TypeAhead::kPause) t.length = 0;
    if (c == ' ' && t.length == 0) return; // a blank only continues a prefix
    t.time = when;
    const RowSelection selection = scanSelection(v.file);
    std::int32_t found = -1;
    if (t.length < kDisplayNameMax) { // a longer prefix begins no display name
        t.prefix[t.length++] = upperCase(c);
        found = findPrefix(v.file, std::max(selection.first, 0), t);
        if (found < 0) --t.length;
    }
    if (found < 0) {
        SysBeep(1);
        return;
    }
    selectRange(v, selection, {found, found});
}

} // namespace

bool listWindowKey(ListView& view, const WindowMessage& msg) {
    if (msg.key == kKeyReturn) { // as a double click
        openEditorCommand(view.file);
        return true;
    }
    if (moveKey(view, msg)) return true;
    const int k = KeyNumber(msg.key);
    if (msg.special || msg.option || k < ' ' || k == 127 || k > 255) return false;
    typeAhead(view, static_cast<unsigned char>(k), msg.when);
    return true;
}
