// The package list window: creation and layout, drawing, the header strip, the hit test, click
// selection with its tracking loop, the Delete keys (the other keys are in ListKeys.cpp),
// scrolling, reveal, activation, menu enabling and closing.
#include "listwin/ListWindow.h"

#include "listwin/ClickSelection.h"
#include "listwin/ListCommands.h"
#include "listwin/PackageClipboard.h"
#include "resources/Commands.h"
#include "toolbox/core/StringTable.h"
#include "toolbox/gui/EnablingSteps.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/gui/Quickdraw.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr std::int16_t kHeaderReserve = 17; // header strip plus a one-pixel gap
constexpr std::int16_t kHeaderPaneHeight = 16;
constexpr std::int16_t kInitialRows = 14;
constexpr std::int32_t kMaxScrollPixels = 4000;
constexpr const char* kWidthSample = "12345678901234567890";

ListView* viewOf(const PackageFile* f) {
    WindowPtr w = listWindowOf(f);
    return w ? static_cast<ListView*>(w->refCon) : nullptr;
}

bool isFront(const PackageFile* f) {
    WindowPtr front = FrontWindow();
    return f && front && listWindowFile(front) == f;
}

bool isSelected(const PackageEntry* e) {
    return (e->flags & kSelected) != 0;
}

// Rectangle of visible row r (0 = the top row) in local coordinates.
Rect rowRect(const ListView& v, const Rect& list, std::int32_t r) {
    Rect rr = list;
    rr.top = std::int16_t(list.top + r * v.rowHeight);
    rr.bottom = std::int16_t(rr.top + v.rowHeight);
    return rr;
}

bool rowVisible(const ListView& v, std::int32_t index) {
    const std::int32_t r = index - v.topRow;
    return r >= 0 && r <= v.lastRowOffset;
}

// How the marks of one package file's entries show while they change: the window's view, its
// list area and whether it is in front, found once for a whole walk over the entries.
class MarkedRows {
public:
    explicit MarkedRows(const PackageFile* f)
        : view_(viewOf(f)), list_(listArea(f)), front_(isFront(f)) {}
    // Sets or clears a mark, inverting the row when the mark changes and the row shows in the
    // front window; the window's port must be current.
    void set(PackageEntry* e, std::int32_t index, bool on) const {
        if (isSelected(e) == on) return;
        e->flags ^= kSelected;
        if (front_ && view_ && rowVisible(*view_, index))
            InvertRect(rowRect(*view_, list_, index - view_->topRow));
    }

private:
    const ListView* view_;
    Rect list_;
    bool front_;
};

// Draws the rows that meet area (local coordinates); the window's port must be current.
void drawRows(const ListView& v, const Rect& area) {
    PackageFile* f = v.file;
    const Rect list = listArea(f);
    const std::int32_t top = std::max<std::int32_t>(area.top - list.top, 0);
    const std::int32_t bottom = area.bottom - list.top;
    if (bottom <= 0 || v.rowHeight <= 0) return;
    const std::int32_t first = v.topRow + top / v.rowHeight;
    const std::int32_t last =
        std::min<std::int32_t>(v.topRow + (bottom - 1) / v.rowHeight, v.topRow + v.lastRowOffset);
    const bool front = isFront(f);
    for (std::int32_t i = first; i <= last; ++i) {
        PackageEntry* e = entryAt(f, i);
        if (!e) break;
        const std::int32_t r = i - v.topRow;
        MoveTo(std::int16_t(list.left + 2),
               std::int16_t(list.top + (r + 1) * v.rowHeight - v.baselineOffset));
        const std::string_view name = displayNameView(e);
        DrawText(name.data(), std::int32_t(name.size()));
        if (front && isSelected(e)) InvertRect(rowRect(v, list, r));
    }
}

void drawHeader(const ListView& v) {
    PortScope port(v.headerPane);
    Rect r;
    SetRect(&r, 0, 0, 2000, kHeaderPaneHeight);
    EraseRect(r);
    TextSize(9);
    MoveTo(4, 12);
    char text[32];
    std::snprintf(text, sizeof text, "%d packages", int(v.file->packageCount));
    DrawText(text);
}

// Moves the top row to t: the rows are shifted by the pixels the change stands for and the
// part they uncover is drawn at once.
void scrollTopRow(ListView& v, std::int32_t t) {
    const std::int64_t pixels = std::int64_t(v.topRow - t) * v.rowHeight;
    const std::int16_t dv =
        std::int16_t(std::clamp<std::int64_t>(pixels, -kMaxScrollPixels, kMaxScrollPixels));
    v.topRow = t;
    PortScope port(listWindowOf(v.file));
    const Rect list = listArea(v.file);
    Rect rows = list;
    rows.bottom = std::int16_t(std::min<std::int32_t>(
        list.top + (v.lastRowOffset + 1) * std::int32_t(v.rowHeight), list.bottom));
    RgnHandle uncovered = NewRgn();
    ScrollRect(rows, 0, dv, uncovered);
    Rect area = rows;
    if (uncovered) {
        GetRegionBounds(uncovered, &area);
        DisposeRgn(uncovered);
    } else {
        EraseRect(rows); // without the region, draw every row afresh
    }
    drawRows(v, area);
}

// Scroll bar action: a part and, for the thumb, its native position.
void scrollList(ListView& v, std::int16_t part, std::int32_t thumb) {
    ControlHandle sb = v.scrollBar;
    if (!sb) return;
    const std::int32_t maximum = GetControlMaximum(sb);
    if (maximum < 1) return;
    std::int32_t t = v.topRow;
    switch (part) {
    case sbLineUp:
        t -= 1;
        break;
    case sbLineDown:
        t += 1;
        break;
    case sbPageUp:
        t -= v.lastRowOffset;
        break;
    case sbPageDown:
        t += v.lastRowOffset;
        break;
    case sbThumbTrack:
    case sbThumbPosition:
        t = ControlValueForThumb(sb, thumb);
        break;
    default:
        return;
    }
    t = std::clamp(t, 0, maximum);
    if (part != sbThumbPosition) SetControlValue(sb, t);
    if (t != v.topRow) scrollTopRow(v, t);
}

// Recomputes the visible rows and the scroll range from the list area's height.
void resizeList(ListView& v) {
    WindowPtr w = listWindowOf(v.file);
    ControlHandle sb = v.scrollBar;
    if (!w || !sb) return;
    const Rect list = listArea(v.file);
    const std::int32_t height = std::max(list.bottom - list.top, 0);
    const std::int32_t oldRows = v.lastRowOffset + 1;
    v.lastRowOffset = std::int16_t(height / v.rowHeight - 1);
    const std::int32_t newRows = v.lastRowOffset + 1;
    const std::int32_t maxTop = std::max(v.file->packageCount - v.lastRowOffset - 1, 0);
    SetControlMaximum(sb, maxTop);
    const std::int32_t oldTop = v.topRow;
    v.topRow = GetControlValue(sb);
    if (newRows != oldRows) {
        Rect strip = list;
        strip.top = std::int16_t(list.top + std::min(oldRows, newRows) * v.rowHeight);
        if (strip.top < strip.bottom) InvalWindowRect(w, &strip);
    }
    if (v.topRow != oldTop) InvalWindowRect(w, nullptr);
}

// Indices of the first and last selected entries, -1 when nothing is selected.
void selectedRange(const PackageFile* f, std::int32_t* first, std::int32_t* last) {
    *first = *last = -1;
    std::int32_t i = 0;
    for (const PackageEntry* e = f->packages; e; e = e->next, ++i) {
        if (!isSelected(e)) continue;
        if (*first < 0) *first = i;
        *last = i;
    }
}

void reveal(ListView& v) {
    std::int32_t first, last;
    selectedRange(v.file, &first, &last);
    if (last >= 0) revealEntry(v, last);
}

// The marks of a package file's entries as a click sets them, each row inverted as it changes;
// the window's port must be current.
class EntryMarks final : public RowMarks {
public:
    explicit EntryMarks(PackageFile* f) : f_(f), rows_(f) {}
    std::int32_t rowCount() const override { return f_->packageCount; }
    bool marked(std::int32_t row) const override {
        const PackageEntry* e = entryAt(f_, row);
        return e && isSelected(e);
    }
    void setMarked(std::int32_t row, bool on) override {
        if (PackageEntry* e = entryAt(f_, row)) rows_.set(e, row, on);
    }

private:
    PackageFile* f_;
    MarkedRows rows_;
};

// Click selection with its tracking loop, one row a step. p is in the window's local
// coordinates.
void clickList(PackageFile* f, Point p, bool shift, bool option) {
    WindowPtr w = listWindowOf(f);
    PortScope port(w);
    const ClickMode mode = shift    ? ClickMode::extend
                           : option ? ClickMode::toggle
                                    : ClickMode::plain;
    const Rect list = listArea(f);
    std::int32_t c = rowAt(f, p.v - list.top);
    std::int32_t first, last, anchor = c;
    if (mode == ClickMode::extend) {
        selectedRange(f, &first, &last);
        if (first >= 0) {
            // The end of the selection farther from the click stays put (the first on a tie).
            anchor = shiftAnchor(c, first, last);
        } else {
            first = last = anchor = c;
        }
        if (anchor >= 0) c = std::abs(c);
    } else {
        if (mode == ClickMode::plain) deselectAll(f);
        first = last = c;
    }
    if (c < 0) return;

    EntryMarks marks(f);
    ClickSelection selection(marks, mode, first, last, anchor);
    std::int32_t previous = -1;
    do {
        AutoScrollWindow(w, &list);
        if (c != previous) {
            if (previous >= 0) c = c > previous ? previous + 1 : previous - 1;
            selection.moveTo(c);
            previous = c;
        }
        Point now;
        GetMouse(&now);
        c = std::abs(rowAt(f, now.v - list.top));
    } while (StillDown());
    // Shift and the move keys go on from the range a plain or shift-click left.
    if (ListView* v = viewOf(f); v && mode != ClickMode::toggle)
        v->keyRange = {mode == ClickMode::extend ? anchor : previous, previous};
}

bool listEnabling(WindowPtr w, MenuEnableRecord& rec) {
    PackageFile* f = listWindowFile(w);
    if (!f) return false;
    const std::int16_t c = rec.command;
    // The File and Window menus are the application's.
    if (commandInMenu(c, kCmdFileMenu) || commandInMenu(c, kCmdWindowMenu)) return false;
    // The enabling pass asks the Edit menu's title first; the items after it use its summary.
    SelectionSummary& summary = static_cast<ListView*>(w->refCon)->menuSummary;
    const bool editors = listWindowActions(f) != nullptr;
    switch (c) {
    case kCmdEditMenu:
        summary = selectionSummary(f);
        rec.enabled = true;
        break;
    case kCmdCut:
    case kCmdCopy:
    case kCmdDelete:
    case kCmdDuplicate:
        rec.enabled = summary.count > 0;
        break;
    case kCmdOpenEditor:
        rec.enabled = editors && summary.count > 0;
        break;
    case kCmdPaste:
        rec.enabled = currentPackageFile() != nullptr && clipboardHoldsList();
        break;
    case kCmdCreate: // the text is the pre-step's "Create New Package"
        rec.enabled = true;
        break;
    case kCmdRevertPackage:
        if (summary.count >= 2) {
            const std::string_view text = GetStringEntry(StringId::revertThesePackages);
            std::snprintf(rec.text, sizeof rec.text, "%.*s", int(text.size()), text.data());
        }
        rec.enabled = summary.modified;
        break;
    case kCmdFind:
    case kCmdFindAgain:
        rec.enabled = currentPackageFile() != nullptr;
        break;
    case kCmdSelectAll:
    case kCmdPackageMenu:
    case kCmdHelpMenu:
    case kCmdAbout:
        rec.enabled = true;
        break;
    default: // Undo among them: the list window has no undo
        rec.enabled = false;
        break;
    }
    return true;
}

bool headerProc(WindowPtr pane, WindowMessage& msg) {
    if (msg.kind != wmUpdate) return false;
    auto* v = static_cast<ListView*>(pane->refCon);
    if (!v || v->headerPane != pane) return false;
    drawHeader(*v);
    return true;
}

bool listProc(WindowPtr w, WindowMessage& msg) {
    auto* v = static_cast<ListView*>(w->refCon);
    if (!v) return false;
    PackageFile* f = v->file;
    switch (msg.kind) {
    case wmCloseRequest:
        if (v->actions)
            v->actions->closePackageFile(f);
        else
            disposeListWindow(f);
        return true;
    case wmDispose:
        // The panes get their dispose message after the window: none may reach the view.
        for (int i = 0; WindowPtr pane = GetWindowPane(w, i); ++i)
            SetWRefCon(pane, nullptr);
        SetWRefCon(w, nullptr);
        delete v;
        return true;
    case wmActivate:
        if (msg.active) setCurrentPackageFile(f);
        InvalWindowRect(w, nullptr);
        return false; // the default activation handling runs too
    case wmResize:
        if (!v->building) resizeList(*v);
        return true;
    case wmUpdate: {
        PortScope port(w);
        drawRows(*v, listArea(f));
        return true;
    }
    case wmMouseDown:
        if (listWindowOf(f) == w) clickList(f, msg.where, msg.shift, msg.option);
        return true;
    case wmDoubleClick:
        openEditorCommand(f);
        return true;
    case wmKeyDown:
        // Delete and Backspace act as the Delete command when the Edit menu would allow it.
        if (msg.key != kKeyDelete && msg.key != kKeyBackspace) return listWindowKey(*v, msg);
        SendCommandIfEnabled(w, kCmdDelete, kCmdEditMenu);
        return true;
    case wmScrollBar:
        if (msg.bar == 0) scrollList(*v, msg.part, msg.thumb);
        return true;
    case wmScrollTo:
        msg.position = Point{};
        return false;
    case wmMenuCommand:
        msg.err = listCommand(f, msg.command); // the menu dispatcher shows it
        return false;                          // the application sees every command too
    default:
        return false;
    }
}

OSErr createListWindow(PackageFile* f, const ListWindowActions* actions) {
    Rect bounds = GetDefaultWindowBounds(kDocumentStyle);
    auto owned = std::make_unique<ListView>();
    ListView& v = *owned;
    v.file = f;
    v.actions = actions;
    v.building = true;
    WindowPtr w =
        NewWindow(kListDocumentStyle, &bounds, "", kInFront, kListWindowKind, &v, listProc);
    if (!w) return memFullErr;
    owned.release(); // the window owns the view from here; its dispose message deletes it
    SetWindowHandler(w, listEnabling);

    // Cascade from the window of the package file opened before this one.
    if (f->next && listWindowOf(f->next))
        bounds = CascadeBounds(listWindowOf(f->next), kDocumentStyle, bounds);
    v.scrollBar = GetWindowScrollBar(w);

    {
        PortScope port(w);
        FontInfo info;
        GetFontInfo(&info);
        v.rowHeight = std::int16_t(std::max(info.ascent + info.descent + info.leading, 1));
        v.baselineOffset = std::int16_t(info.descent + info.leading);
        bounds.bottom = std::int16_t(bounds.top + kInitialRows * v.rowHeight + kHeaderReserve);
        bounds.right = std::int16_t(bounds.left + TextWidth(kWidthSample));
    }
    v.building = false;
    MoveSizeWindow(w, bounds);

    Rect limits;
    limits.top = 64;  // minimum height
    limits.left = 64; // minimum width
    limits.bottom = std::int16_t(bounds.bottom + 2000);
    limits.right = std::int16_t(bounds.right + 20);
    SetWindowGrowLimits(w, limits);
    SetWTitle(w, f->recordFile ? f->recordFile->fileName().c_str() : "");

    WindowPtr pane = NewChildPane(w, kHeaderPaneHeight, headerProc, &v);
    if (!pane) {
        DisposeWindow(w);
        return memFullErr;
    }
    v.headerPane = pane;
    {
        PortScope port(pane);
        RGBBackColor(kGreyColor);
    }
    ShowWindow(pane);
    InvalWindowRect(pane, nullptr);
    resizeList(v);
    return noErr;
}

} // namespace

OSErr showListWindow(PackageFile* file, const ListWindowActions* actions) {
    if (!file) return paramErr;
    if (!listWindowOf(file)) {
        if (OSErr err = createListWindow(file, actions)) return err;
    }
    ShowWindow(listWindowOf(file));
    SelectWindow(listWindowOf(file));
    return noErr;
}

void revealEntry(ListView& view, std::int32_t index) {
    if (view.topRow <= index && index <= view.topRow + view.lastRowOffset) return;
    SetControlValue(view.scrollBar, std::max(index - view.lastRowOffset / 2, 0));
    view.topRow = GetControlValue(view.scrollBar);
}

void refreshListWindow(PackageFile* file, ListRefresh refresh) {
    ListView* v = viewOf(file);
    if (!v) return;
    resizeList(*v);
    if (refresh == ListRefresh::revealSelection) reveal(*v);
    InvalWindowRect(listWindowOf(file), nullptr);
}

void updateCount(PackageFile* file) {
    const ListView* v = viewOf(file);
    if (!v || !v->headerPane || !listWindowOf(file)->visible) return;
    drawHeader(*v);
}

void deselectAll(PackageFile* file) {
    if (!file) return;
    PortScope port(listWindowOf(file) ? listWindowOf(file) : GetPort());
    const MarkedRows rows(file);
    std::int32_t i = 0;
    for (PackageEntry* e = file->packages; e; e = e->next, ++i)
        rows.set(e, i, false);
}

void selectEntry(PackageFile* file, PackageEntry* entry, std::int32_t index) {
    PortScope port(listWindowOf(file) ? listWindowOf(file) : GetPort());
    MarkedRows(file).set(entry, index, true);
}

void deselectEntry(PackageFile* file, PackageEntry* entry, std::int32_t index) {
    PortScope port(listWindowOf(file) ? listWindowOf(file) : GetPort());
    MarkedRows(file).set(entry, index, false);
}

void selectAllEntries(PackageFile* file) {
    if (!file) return;
    for (PackageEntry* e = file->packages; e; e = e->next)
        e->flags |= kSelected;
    refreshListWindow(file, ListRefresh::keepScroll);
}

std::int32_t rowAt(PackageFile* file, std::int32_t v) {
    static const ListView kNoView; // without a window: one row, scrolled to the top
    const ListView* view = viewOf(file);
    if (!view) view = &kNoView;
    std::int32_t r = std::max(v, 0) / view->rowHeight;
    bool below = false;
    if (r > view->lastRowOffset) {
        r = std::max<std::int32_t>(view->lastRowOffset, 0);
        below = true;
    }
    const std::int32_t i = view->topRow + r;
    if (i < file->packageCount) return below ? -i : i;
    const std::int32_t lastIndex = file->packageCount - 1;
    return lastIndex < 1 ? -1 : -lastIndex;
}

void disposeListWindow(PackageFile* file) {
    if (WindowPtr w = listWindowOf(file)) DisposeWindow(w); // its dispose message deletes the view
}

const ListView* listView(const PackageFile* file) {
    return viewOf(file);
}

SelectionSummary selectionSummary(const PackageFile* file) {
    SelectionSummary s;
    if (!file) return s;
    for (PackageEntry* e = file->packages; e; e = e->next) {
        if (!isSelected(e)) continue;
        if (!s.first) s.first = e;
        ++s.count;
        if (e->flags & kModified) s.modified = true;
        if (s.count >= 2 && s.modified) break;
    }
    return s;
}

Rect listArea(const PackageFile* file) {
    WindowPtr w = listWindowOf(file);
    if (!w) return Rect{};
    Rect r = GetPortRect(w);
    r.top = std::int16_t(std::min<int>(r.top + kHeaderReserve - kHeaderPaneHeight, r.bottom));
    return r;
}

PackageFile* listWindowFile(WindowRecord* w) {
    if (!w || w->isPane || w->windowKind != kListWindowKind || !w->refCon) return nullptr;
    return static_cast<ListView*>(w->refCon)->file;
}

const ListWindowActions* listWindowActions(const PackageFile* file) {
    const ListView* v = listView(file);
    return v ? v->actions : nullptr;
}

WindowPtr listWindowOf(const PackageFile* file) {
    // A program has few windows: the one whose view shows the file is found by walking them.
    if (!file) return nullptr;
    for (WindowPtr w = GetNextWindow(nullptr, 0); w; w = GetNextWindow(w, 0))
        if (listWindowFile(w) == file) return w;
    return nullptr;
}
