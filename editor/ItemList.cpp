// The item list: rows, selection marks, highlight, click tracking, the move keys, the list
// commands and the right-button drag that reorders sections.
#include "editor/ItemList.h"

#include "editor/FieldEditor.h"
#include "editor/PackageEditor.h"
#include "listwin/ClickSelection.h"
#include "listwin/Confirmations.h"
#include "listwin/ListKeys.h"
#include "listwin/PackageClipboard.h"
#include "model/ItemOps.h"
#include "resources/Commands.h"
#include "toolbox/core/FieldText.h"
#include "toolbox/gui/Alerts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <span>
#include <vector>

namespace {

constexpr std::int32_t kListWidth = 3000;
constexpr std::int16_t kHighlightWidth = 32700;
constexpr std::int16_t kTextLeft = 2;
constexpr const char* kPinColumn = "12345678901234567  ";

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
    const int v = row < editor->itemList.dragAnchor ? row * h - 1 : (row + 1) * h - 1;
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

// Moves section `from` to position `to` (from 1; 0: the end); the field editors follow their
// sections. Out of memory nothing moves, and the note says so.
void moveRow(PackageEditor* editor, int from, int to) {
    std::vector<int> newNumber;
    if (OSErr err = moveSection(editor->working, from, to, &newNumber))
        return CommandErrorAlert(err);
    itemsRenumbered(editor, true, newNumber);
}

void dragMark(PackageEditor* editor, int row) {
    ItemListState& drag = editor->itemList;
    if (drag.dragAnchor < 0) {
        drag.dragAnchor = row;
        highlight(editor, row);
        return;
    }
    if (drag.dragTarget >= 0) insertionLine(editor, drag.dragTarget);
    drag.dragTarget = -1;
    if (row == drag.dragAnchor) return;
    drag.dragTarget = row;
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

std::uint8_t listOf(const PackageEditor* editor) {
    return editor->activeList == 1 ? kNetList : kSectionList;
}

// The numbers (from 1) of the selected items of the active list, in list order.
std::vector<int> selectedNumbers(PackageEditor* editor) {
    std::vector<int> numbers;
    int k = 0;
    if (listOf(editor) == kNetList) {
        forEachNetItem(editor->working, [&](const NetItem* n) {
            ++k;
            if (n->flags & kNetItemSelected) numbers.push_back(k);
        });
    } else {
        for (k = 1; k <= editor->working.sectionCount; ++k)
            if (sectionAt(editor->working, k)->flags & kSectionSelected) numbers.push_back(k);
    }
    return numbers;
}

// Clears the selection marks of one list without drawing: the list is drawn again whole after.
void clearMarks(PackageEditor* editor, std::uint8_t list) {
    if (list == kNetList)
        forEachNetItem(editor->working,
                       [](NetItem* n) { n->flags &= std::uint16_t(~kNetItemSelected); });
    else
        for (int k = 1; k <= editor->working.sectionCount; ++k)
            sectionAt(editor->working, k)->flags &= ~kSectionSelected;
}

// Selects the last `count` items of the active list, without drawing: the list is drawn again
// after it is measured.
void markLast(PackageEditor* editor, int count) {
    PackageRecord& w = editor->working;
    const int first = itemCount(w, listOf(editor)) - count + 1;
    int k = 0;
    if (listOf(editor) == kNetList) {
        forEachNetItem(w, [&](NetItem* n) {
            if (++k >= first) n->flags |= kNetItemSelected;
        });
    } else {
        for (k = std::max(first, 1); k <= w.sectionCount; ++k)
            sectionAt(w, k)->flags |= kSectionSelected;
    }
}

OSErr deleteNumbers(PackageEditor* editor, std::span<const int> numbers) {
    if (numbers.empty()) return noErr;
    std::vector<int> newNumber;
    if (OSErr err = deleteItems(editor->working, listOf(editor), numbers, &newNumber)) return err;
    itemsRenumbered(editor, listOf(editor) == kSectionList, newNumber);
    return noErr;
}

OSErr copyCommand(PackageEditor* editor, bool cut) {
    clearClipboards();
    const std::vector<int> numbers = selectedNumbers(editor);
    PackageRecord copies;
    if (OSErr err = copyItems(editor->working, listOf(editor), numbers, &copies)) return err;
    auto* clip = new (std::nothrow) PackageRecord(std::move(copies));
    if (!clip) return memFullErr;
    setItemClipboard(clip);
    return cut ? deleteNumbers(editor, numbers) : noErr;
}

// Appends copies of the items of from to the active list, which become the selection.
OSErr appendSelected(PackageEditor* editor, const PackageRecord& from) {
    clearMarks(editor, listOf(editor));
    int appended = 0;
    OSErr err = appendItems(editor->working, listOf(editor), from, &appended);
    if (err) {
        remeasureList(editor, false);
        return err;
    }
    markLast(editor, appended);
    remeasureList(editor, true);
    markChanged(editor);
    return noErr;
}

OSErr pasteCommand(PackageEditor* editor) {
    if (!itemClipboardHolds()) return noErr;
    const PackageRecord& clip = *itemClipboard();
    showList(editor, clip.hiddenConnections ? kNetList : kSectionList, true);
    return appendSelected(editor, clip);
}

OSErr duplicateCommand(PackageEditor* editor) {
    PackageRecord copies;
    if (OSErr err = copyItems(editor->working, listOf(editor), selectedNumbers(editor), &copies))
        return err;
    return appendSelected(editor, copies);
}

OSErr createCommand(PackageEditor* editor) {
    // Moving the focus to the header deselects the rows; when it is there already, the row an
    // earlier Create left selected is deselected here, so that only the new item is opened.
    setFocus(editor, EditorFocus::header);
    deselectAllRows(editor);
    int number = 0;
    if (OSErr err = createItem(editor->working, listOf(editor), &number)) return err;
    markLast(editor, number ? 1 : 0);
    remeasureList(editor, true);
    markChanged(editor);
    openEditorsOnSelection(editor);
    if (editor->textEdit && editor->headerPane) {
        PortScope port(editor->headerPane);
        TEDeactivate(editor->textEdit);
    }
    return noErr;
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
    const ItemListState& drag = editor->itemList;
    if (drag.dragAnchor >= 0 && editor->activeList == 0) {
        InvertRect(rowRect(drag.dragAnchor));
        if (drag.dragTarget >= 0) insertionLine(editor, drag.dragTarget);
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
    ItemListState& state = editor->itemList;
    state.dragAnchor = state.dragTarget = -1;

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
        const int moved = state.dragAnchor, target = state.dragTarget;
        if (target >= 0) insertionLine(editor, target);
        if (moved >= 0) highlight(editor, moved);
        state.dragAnchor = state.dragTarget = -1;
        if (moved >= 0) moveRow(editor, moved + 1, target + 1);
    }
    state.dragAnchor = state.dragTarget = -1;
}

void itemListKey(PackageEditor* editor, const WindowMessage& msg) {
    if (msg.key == kKeyReturn) return openEditorsOnSelection(editor);
    const RowSelection s = markedRows(ItemMarks(editor));
    const int count = rowCount(editor);
    ItemListState& state = editor->itemList;
    KeyRange range = state.keysList == editor->activeList ? state.keys : KeyRange{};
    if (!moveByKey(msg.key, msg.shift, count, 0, s, &range)) return;
    const int lo = std::min(range.anchor, range.active), hi = std::max(range.anchor, range.active);
    for (int r = 0; r < count; ++r) {
        const bool inside = r >= lo && r <= hi;
        if (inside && !isRowSelected(editor, r)) selectRow(editor, r);
        if (!inside && isRowSelected(editor, r)) deselectRow(editor, r);
    }
    state.keysList = editor->activeList;
    state.keys = range;
    if (editor->window) revealRow(editor, range.active);
}

OSErr deleteListItem(PackageEditor* editor, std::uint8_t list, int number) {
    clearMarks(editor, kSectionList);
    clearMarks(editor, kNetList);
    showList(editor, list, true);
    const int numbers[] = {number};
    return deleteNumbers(editor, numbers);
}

OSErr itemListCommand(PackageEditor* editor, std::int16_t command) {
    switch (command) {
    case kCmdCut:
        return copyCommand(editor, true);
    case kCmdCopy:
        return copyCommand(editor, false);
    case kCmdPaste:
        return pasteCommand(editor);
    case kCmdDelete:
        return deleteNumbers(editor, selectedNumbers(editor));
    case kCmdSelectAll:
        setFocus(editor, EditorFocus::window);
        for (int r = 0, count = rowCount(editor); r < count; ++r)
            if (!isRowSelected(editor, r)) selectRow(editor, r);
        return noErr;
    case kCmdDuplicate:
        return duplicateCommand(editor);
    case kCmdCreate:
        return createCommand(editor);
    case kCmdOpenEditor:
        openEditorsOnSelection(editor);
        return noErr;
    default:
        return noErr;
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
        const std::vector<int> numbers = selectedNumbers(editor);
        if (!numbers.empty()) revealRow(editor, numbers.back() - 1);
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
