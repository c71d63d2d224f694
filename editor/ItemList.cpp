// The item list: rows, selection marks, highlight, click tracking, the move keys, the list
// commands and the right-button drag that reorders sections.
#include "editor/ItemList.h"

#include "editor/FieldEditor.h"
#include "listwin/ClickSelection.h"
#include "listwin/Confirmations.h"
#include "listwin/ListKeys.h"
#include "listwin/PackageClipboard.h"
#include "resources/Commands.h"
#include "toolbox/core/FieldText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr std::int32_t kListWidth = 3000;
constexpr std::int16_t kHighlightWidth = 32700;
constexpr std::int16_t kTextLeft = 2;
constexpr const char* kPinColumn = "12345678901234567  ";

// The right-button drag: the section being moved and the row where the insertion line is.
int gDragAnchor = -1;
int gDragTarget = -1;

const FontInfo& listFont() {
    static const FontInfo info = [] {
        FontInfo f;
        GetStyleFontInfo(StandardTextStyle(1), &f);
        return f;
    }();
    return info;
}

bool frontmost(const PackageEditor* editor) {
    return editor->window && GetNextWindow(nullptr, 0) == editor->window;
}

Rect rowRect(int row) {
    const std::int16_t h = itemRowHeight();
    Rect r;
    SetRect(&r, 0, std::int16_t(row * h), kHighlightWidth, std::int16_t((row + 1) * h));
    return r;
}

void highlight(PackageEditor* editor, int row) {
    if (!editor->window) return;
    PortScope port(editor->window);
    InvertRect(rowRect(row));
}

// Inverting, so that drawing it a second time removes it.
void insertionLine(PackageEditor* editor, int row) {
    if (!editor->window) return;
    PortScope port(editor->window);
    const std::int16_t h = itemRowHeight();
    const int v = row < gDragAnchor ? row * h - 1 : (row + 1) * h - 1;
    PenMode(patInvert);
    PenSize(2, 2);
    MoveTo(0, std::int16_t(v));
    LineTo(kHighlightWidth, std::int16_t(v));
    PenNormal();
}

NetItem* netAt(PackageEditor* editor, int row) {
    return findNetItem(editor->working, row + 1);
}

void setMark(PackageEditor* editor, int row, bool on) {
    if (editor->activeList == 1) {
        if (NetItem* n = netAt(editor, row))
            n->flags = on ? std::uint16_t(n->flags | kNetItemSelected)
                          : std::uint16_t(n->flags & ~kNetItemSelected);
    } else if (ComponentSection* s = sectionAt(editor->working, row + 1)) {
        s->flags = on ? (s->flags | kSectionSelected) : (s->flags & ~kSectionSelected);
    }
}

int selectedCount(PackageEditor* editor) {
    int n = 0;
    for (int r = 0, count = rowCount(editor); r < count; ++r)
        n += isRowSelected(editor, r);
    return n;
}

void openEditorsOnSelection(PackageEditor* editor);
void deleteCommand(PackageEditor* editor);

void markChanged(PackageEditor* editor) {
    editor->stateFlags |= kEditorChanged;
}

// After rows of one list were deleted or moved (newNumber as renumberFieldEditors takes it): the
// list is measured again, the package marked changed and the field editors follow their items.
void itemsRenumbered(PackageEditor* editor, bool sections, const std::vector<int>& newNumber) {
    remeasureList(editor, false);
    markChanged(editor);
    renumberFieldEditors(editor, sections, newNumber);
}

// ---- drawing ---------------------------------------------------------------------------------

// A row of many pin swaps or pins runs far past the window. What would start right of the area
// being drawn cannot reach it (a glyph reaches at most a pixel or two left of its pen position),
// so a row stops there: laying out text that is never seen is what a redraw of such rows would
// spend its time on.
bool penPast(std::int16_t right) {
    constexpr int kOverhang = 2;
    Point pen;
    GetPen(&pen);
    return pen.h - kOverhang > right;
}

void drawSectionRow(PackageEditor* editor, int row, std::int16_t right) {
    const ComponentSection* s = sectionAt(editor->working, row + 1);
    if (!s) return;
    char text[64];
    std::snprintf(text, sizeof text, "(%c)   Class ID: %11d", char(65 + row), int(s->classId));
    if (s->pinChangeCount != 0)
        std::snprintf(text + std::strlen(text), sizeof text - std::strlen(text), "   Pin Swaps: ");
    DrawText(text);
    for (int i = 1; i <= s->pinChangeCount && !penPast(right); ++i) {
        const std::string unpackaged = GetField(s->pinChanges, 2 * i - 1).str();
        const std::string packaged = GetField(s->pinChanges, 2 * i).str();
        DrawText(("(" + unpackaged + ",").c_str());
        DrawText((packaged + ")  ").c_str());
    }
}

void drawNetRow(PackageEditor* editor, int row, std::int16_t baseline, std::int16_t right) {
    const NetItem* n = netAt(editor, row);
    if (!n) return;
    const Str255 name = netItemField(n, 1);
    if (name.length() == 0)
        DrawText("Unnamed Net");
    else
        DrawString(name);
    MoveTo(std::int16_t(kTextLeft + TextWidth(kPinColumn)), baseline);
    const std::string_view text = netItemText(n);
    const int fields = int(std::count(text.begin(), text.end(), '\t')) + 1;
    for (int f = 2; f <= fields && !penPast(right); ++f) {
        if (f > 2) DrawText(",  ");
        DrawString(netItemField(n, f));
    }
}

void drawRow(PackageEditor* editor, int row, std::int16_t right) {
    const std::int16_t h = itemRowHeight();
    const auto baseline = std::int16_t((row + 1) * h - itemRowDescent());
    MoveTo(kTextLeft, baseline);
    if (editor->activeList == 1)
        drawNetRow(editor, row, baseline, right);
    else
        drawSectionRow(editor, row, right);
    if (frontmost(editor) && isRowSelected(editor, row)) InvertRect(rowRect(row));
}

// ---- moving a section ------------------------------------------------------------------------

// Moves section `from` to position `to` (1-based; 0 or out of range: the end) and renumbers the
// field editors so that each keeps its section. The sections trade places within the table,
// which needs no memory: a move cannot fail halfway.
void moveSection(PackageEditor* editor, int from, int to) {
    PackageRecord& w = editor->working;
    const int count = w.sectionCount;
    if (from < 1 || from > count) return;
    const int at = to >= 1 && to < count ? to : count;
    ComponentSection* first = sectionAt(w, 1);
    if (at > from)
        std::rotate(first + from - 1, first + from, first + at);
    else
        std::rotate(first + at - 1, first + from - 1, first + from);
    // order[i] is the old position of the section now at i + 1.
    std::vector<int> order;
    for (int k = 1; k <= count; ++k)
        if (k != from) order.push_back(k);
    order.insert(order.begin() + (at - 1), from);
    std::vector<int> newNumber(std::size_t(count), 0);
    for (int i = 0; i < count; ++i)
        newNumber[std::size_t(order[std::size_t(i)] - 1)] = i + 1;
    itemsRenumbered(editor, true, newNumber);
}

void dragMark(PackageEditor* editor, int row) {
    if (gDragAnchor < 0) {
        gDragAnchor = row;
        highlight(editor, row);
        return;
    }
    if (gDragTarget >= 0) insertionLine(editor, gDragTarget);
    gDragTarget = -1;
    if (row == gDragAnchor) return;
    gDragTarget = row;
    insertionLine(editor, row);
}

// ---- clicks ----------------------------------------------------------------------------------

int rowAt(std::int16_t v) {
    return v < 0 ? 0 : v / itemRowHeight();
}

// The item list's rows as a click marks them.
class ItemMarks final : public RowMarks {
public:
    explicit ItemMarks(PackageEditor* editor) : editor_(editor) {}
    std::int32_t rowCount() const override { return ::rowCount(editor_); }
    bool marked(std::int32_t row) const override { return isRowSelected(editor_, row); }
    void setMarked(std::int32_t row, bool on) override {
        if (on)
            selectRow(editor_, row);
        else
            deselectRow(editor_, row);
    }

private:
    PackageEditor* editor_;
};

// ---- keys ------------------------------------------------------------------------------------

// The range the last move key selected, and the editor and list it was selected in.
struct {
    const PackageEditor* editor = nullptr;
    std::uint8_t list = kNoActiveList;
    KeyRange range;
} gKeys;

void revealRow(PackageEditor* editor, int row) {
    const std::int16_t h = itemRowHeight();
    Rect r;
    SetRect(&r, 0, std::int16_t(row * h + 1), 10, std::int16_t(row * h + h - 1));
    if (!IsRectVisible(editor->window, r)) RevealRect(editor->window, r);
}

// ---- commands --------------------------------------------------------------------------------

int fieldEditorNumber(const PackageEditor* editor, int row) {
    return editor->activeList == 1 ? -(row + 1) : row + 1;
}

void openEditorsOnSelection(PackageEditor* editor) {
    if (confirmWindowCount(selectedCount(editor))) return;
    for (int r = 0, count = rowCount(editor); r < count; ++r)
        if (isRowSelected(editor, r)) openFieldEditor(editor, fieldEditorNumber(editor, r));
}

// Copies of the selected items of the active list, in row order, into clip. False when memory
// ran out (what was copied stays).
bool copySelection(PackageEditor* editor, PackageRecord& clip) {
    const int count = rowCount(editor);
    if (editor->activeList == 1) {
        for (int r = 0; r < count; ++r) {
            const NetItem* n = netAt(editor, r);
            if (!n || !(n->flags & kNetItemSelected)) continue;
            NetItem* copy = newNetItem(netItemText(n));
            if (!copy) return false;
            pushNetItem(clip, copy);
        }
        reverseNetItems(clip);
        return true;
    }
    for (int k = 1; k <= count; ++k) {
        const ComponentSection* s = sectionAt(editor->working, k);
        if (!(s->flags & kSectionSelected)) continue;
        ComponentSection copy;
        if (getSection(editor->working, k, &copy, SectionCopy::lasting)) return false;
        if (addSection(clip, 0, copy)) return false;
    }
    return true;
}

// Appends selected copies of the items of from to the working package (sections past the
// limit are dropped).
bool appendCopies(PackageEditor* editor, const PackageRecord& from) {
    if (!from.hiddenConnections) {
        for (int k = 1; k <= from.sectionCount; ++k) {
            ComponentSection copy;
            if (getSection(from, k, &copy, SectionCopy::lasting)) return false;
            copy.flags = kSectionSelected;
            if (addSection(editor->working, 0, copy)) return false;
        }
        return true;
    }
    for (const NetItem* n = from.hiddenConnections; n; n = n->next) {
        NetItem* copy = newNetItem(netItemText(n));
        if (!copy) return false;
        copy->flags = kNetItemSelected;
        insertNetItem(editor->working, 0, copy);
    }
    return true;
}

void copyCommand(PackageEditor* editor, bool cut) {
    clearClipboards();
    auto* clip = new (std::nothrow) PackageRecord;
    if (!clip) return reportMemory();
    setItemClipboard(clip);
    if (!copySelection(editor, *clip)) return reportMemory();
    if (cut) deleteCommand(editor);
}

// Deletes the rows of the active list that keep(row) refuses.
template <class Keep> void deleteRows(PackageEditor* editor, Keep keep) {
    const int count = rowCount(editor);
    std::vector<int> newNumber(std::size_t(count), 0);
    const bool sections = editor->activeList != 1;
    int kept = 0;
    for (int r = 0; r < count; ++r)
        if (keep(r)) newNumber[std::size_t(r)] = ++kept;
    if (kept == count) return;
    if (sections) {
        for (int k = count; k >= 1; --k)
            if (!newNumber[std::size_t(k - 1)]) deleteSection(editor->working, k);
    } else {
        for (int k = count; k >= 1; --k)
            if (!newNumber[std::size_t(k - 1)]) disposeNetItem(unlinkNetItem(editor->working, k));
    }
    itemsRenumbered(editor, sections, newNumber);
}

void deleteCommand(PackageEditor* editor) {
    deleteRows(editor, [editor](int r) { return !isRowSelected(editor, r); });
}

void pasteCommand(PackageEditor* editor) {
    if (!itemClipboardHolds()) return;
    const PackageRecord& clip = *itemClipboard();
    showList(editor, clip.hiddenConnections ? 1 : 0, true);
    deselectAllRows(editor);
    if (!appendCopies(editor, clip)) reportMemory();
    remeasureList(editor, true);
    markChanged(editor);
}

void duplicateCommand(PackageEditor* editor) {
    PackageRecord copies;
    if (!copySelection(editor, copies)) return reportMemory();
    deselectAllRows(editor);
    if (!appendCopies(editor, copies)) reportMemory();
    remeasureList(editor, true);
    markChanged(editor);
}

void createCommand(PackageEditor* editor) {
    // Moving the focus to the header deselects the rows; when it is there already, the row an
    // earlier Create left selected is deselected here, so that only the new item is opened.
    setFocus(editor, EditorFocus::header);
    deselectAllRows(editor);
    if (editor->activeList == 1) {
        NetItem* n = newNetItem(std::string_view());
        if (!n) return reportMemory();
        n->flags = kNetItemSelected;
        insertNetItem(editor->working, 0, n);
    } else if (editor->working.sectionCount < kMaxSections) {
        ComponentSection s;
        s.flags = kSectionSelected;
        if (addSection(editor->working, 0, s)) return reportMemory();
    }
    remeasureList(editor, true);
    markChanged(editor);
    openEditorsOnSelection(editor);
    if (editor->textEdit && editor->headerPane) {
        PortScope port(editor->headerPane);
        TEDeactivate(editor->textEdit);
    }
}

} // namespace

// ---- public ----------------------------------------------------------------------------------

void drawItemList(PackageEditor* editor, const Rect& area) {
    if (!editor->window) return;
    PortScope port(editor->window);
    SetPortTextStyle(StandardTextStyle(1));
    const std::int16_t h = itemRowHeight();
    const int count = rowCount(editor);
    const int first = std::max(0, area.top / h);
    const int last = std::min(count - 1, area.bottom / h);
    for (int r = first; r <= last; ++r)
        drawRow(editor, r, area.right);
    if (gDragAnchor >= 0 && editor->activeList == 0) {
        InvertRect(rowRect(gDragAnchor));
        if (gDragTarget >= 0) insertionLine(editor, gDragTarget);
    }
}

void clickItemList(PackageEditor* editor, const WindowMessage& msg) {
    if (msg.kind == wmDoubleClick) {
        openEditorsOnSelection(editor);
        return;
    }
    const bool drag = msg.button == 1 && editor->activeList == 0;
    const ClickMode mode = drag         ? ClickMode::plain
                           : msg.shift  ? ClickMode::extend
                           : msg.option ? ClickMode::toggle
                                        : ClickMode::plain;
    gDragAnchor = gDragTarget = -1;

    ItemMarks marks(editor);
    const int count = rowCount(editor);
    int row = rowAt(msg.where.v);
    bool below = row >= count;
    int lo = row, hi = row, anchor = row;
    if (mode == ClickMode::extend) {
        if (const RowSelection s = markedRows(marks); s.count > 0) {
            if (below) {
                row = count - 1;
                below = false;
            }
            anchor = shiftAnchor(row, s.first, s.last);
            lo = s.first;
            hi = s.last;
        }
    } else if (mode == ClickMode::plain) {
        deselectAllRows(editor);
    }
    if (below) return;

    ClickSelection selection(marks, mode, lo, hi, anchor);
    int previous = -1;
    int pointer = row;
    for (;;) {
        // Every row between the previous one and the pointer's is visited in turn.
        while (previous < 0 || pointer != previous) {
            const int current = previous < 0 ? row : previous + (pointer > previous ? 1 : -1);
            if (drag)
                dragMark(editor, current);
            else
                selection.moveTo(current);
            previous = current;
        }
        if (!StillDown()) break;
        PortScope port(editor->window);
        Point where;
        GetMouse(&where);
        AutoScrollWindow(editor->window);
        pointer = std::min(rowAt(where.v), count - 1);
    }
    if (drag) {
        const int moved = gDragAnchor, target = gDragTarget;
        if (target >= 0) insertionLine(editor, target);
        if (moved >= 0) highlight(editor, moved);
        gDragAnchor = gDragTarget = -1;
        if (moved >= 0) moveSection(editor, moved + 1, target + 1);
    }
    gDragAnchor = gDragTarget = -1;
}

void itemListKey(PackageEditor* editor, const WindowMessage& msg) {
    if (msg.key == kKeyReturn) return openEditorsOnSelection(editor);
    const RowSelection s = markedRows(ItemMarks(editor));
    const int count = rowCount(editor);
    const bool same = gKeys.editor == editor && gKeys.list == editor->activeList;
    KeyRange range = same ? gKeys.range : KeyRange{};
    if (!moveByKey(msg.key, msg.shift, count, 0, s, &range)) return;
    const int lo = std::min(range.anchor, range.active), hi = std::max(range.anchor, range.active);
    for (int r = 0; r < count; ++r) {
        const bool inside = r >= lo && r <= hi;
        if (inside && !isRowSelected(editor, r)) selectRow(editor, r);
        if (!inside && isRowSelected(editor, r)) deselectRow(editor, r);
    }
    gKeys = {editor, editor->activeList, range};
    if (editor->window) revealRow(editor, range.active);
}

void deleteListItem(PackageEditor* editor, std::uint8_t list, int number) {
    for (int k = 1; k <= editor->working.sectionCount; ++k)
        sectionAt(editor->working, k)->flags &= ~kSectionSelected;
    forEachNetItem(editor->working,
                   [](NetItem* n) { n->flags &= std::uint16_t(~kNetItemSelected); });
    showList(editor, list, true);
    deleteRows(editor, [number](int r) { return r + 1 != number; });
}

void itemListCommand(PackageEditor* editor, std::int16_t command) {
    switch (command) {
    case kCmdCut:
        copyCommand(editor, true);
        break;
    case kCmdCopy:
        copyCommand(editor, false);
        break;
    case kCmdPaste:
        pasteCommand(editor);
        break;
    case kCmdDelete:
        deleteCommand(editor);
        break;
    case kCmdSelectAll:
        setFocus(editor, EditorFocus::window);
        for (int r = 0, count = rowCount(editor); r < count; ++r)
            if (!isRowSelected(editor, r)) selectRow(editor, r);
        break;
    case kCmdDuplicate:
        duplicateCommand(editor);
        break;
    case kCmdCreate:
        createCommand(editor);
        break;
    case kCmdOpenEditor:
        openEditorsOnSelection(editor);
        break;
    default:
        break;
    }
}

std::int16_t itemRowHeight() {
    const FontInfo& f = listFont();
    return std::int16_t(f.ascent + f.descent + f.leading);
}

std::int16_t itemRowDescent() {
    return listFont().descent;
}

void remeasureList(PackageEditor* editor, bool reveal) {
    editor->netCount = std::uint16_t(countNetItems(editor->working));
    if (!editor->window) return;
    const std::int16_t h = itemRowHeight();
    SetWindowDocSize(editor->window, kListWidth, std::int32_t(rowCount(editor)) * h);
    if (reveal) {
        int last = -1;
        for (int r = 0, count = rowCount(editor); r < count; ++r)
            if (isRowSelected(editor, r)) last = r;
        if (last >= 0) revealRow(editor, last);
    }
    InvalWindowRect(editor->window, nullptr);
}

bool isRowSelected(PackageEditor* editor, int row) {
    if (editor->activeList == 1) {
        const NetItem* n = netAt(editor, row);
        return n && (n->flags & kNetItemSelected);
    }
    const ComponentSection* s = sectionAt(editor->working, row + 1);
    return s && (s->flags & kSectionSelected);
}

void selectRow(PackageEditor* editor, int row) {
    setMark(editor, row, true);
    if (frontmost(editor)) highlight(editor, row);
}

void deselectRow(PackageEditor* editor, int row) {
    setMark(editor, row, false);
    if (frontmost(editor)) highlight(editor, row);
}

void deselectAllRows(PackageEditor* editor) {
    for (int r = 0, count = rowCount(editor); r < count; ++r)
        if (isRowSelected(editor, r)) deselectRow(editor, r);
}
