// The package list window: creation and layout, drawing, the header strip, the hit test, click
// selection with its tracking loop, keys, scrolling, reveal, activation, menu enabling and
// closing.
#include "listwin/ListWindow.h"

#include "listwin/MenuEnabling.h"
#include "toolbox/core/StringTable.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/gui/Quickdraw.h"
#include "toolbox/gui/Windows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

ListWindowHooks gHooks;

// Row metrics, shared by every list window and measured again each time one is created.
std::int16_t gRowHeight = 1;
std::int16_t gBaselineOffset = 0;

constexpr std::int16_t kHeaderReserve = 17; // header strip plus a one-pixel gap
constexpr std::int16_t kHeaderPaneHeight = 16;
constexpr std::int16_t kCascadeStep = 18;
constexpr std::int16_t kInitialRows = 14;
constexpr std::int32_t kMaxScrollPixels = 4000;
constexpr const char* kWidthSample = "12345678901234567890";

// The menu enabling pass asks the Edit menu's title first; the items after it use this.
SelectionSummary gSummary;

// Makes a port current for the lifetime of the object.
class PortScope {
public:
    explicit PortScope(GrafPtr port) : old_(SetPort(port)) {}
    ~PortScope() { SetPort(old_); }
    PortScope(const PortScope&) = delete;
    PortScope& operator=(const PortScope&) = delete;

private:
    GrafPtr old_;
};

ControlHandle scrollBar(const PackageFile* f) {
    return static_cast<ControlHandle>(f->scrollBar);
}

bool isFront(const PackageFile* f) {
    return f->listWindow && FrontWindow() == f->listWindow;
}

bool isSelected(const PackageEntry* e) {
    return (e->flags & kSelected) != 0;
}

// Rectangle of visible row r (0 = the top row) in local coordinates.
Rect rowRect(const Rect& list, std::int32_t r) {
    Rect rr = list;
    rr.top = std::int16_t(list.top + r * gRowHeight);
    rr.bottom = std::int16_t(rr.top + gRowHeight);
    return rr;
}

bool rowVisible(const PackageFile* f, std::int32_t index) {
    const std::int32_t r = index - f->topRow;
    return r >= 0 && r <= f->lastRowOffset;
}

// Inverts the row of entry index when the window is in front and the row is visible; the
// window's port must be current.
void invertRow(const PackageFile* f, std::int32_t index, bool front) {
    if (!front || !rowVisible(f, index)) return;
    InvertRect(rowRect(listArea(f), index - f->topRow));
}

// Sets or clears a mark, inverting the row when the mark changes; the port must be current.
void setMark(PackageFile* f, PackageEntry* e, std::int32_t index, bool on, bool front) {
    if (isSelected(e) == on) return;
    e->flags ^= kSelected;
    invertRow(f, index, front);
}

// Draws the rows that meet area (local coordinates); the window's port must be current.
void drawRows(PackageFile* f, const Rect& area) {
    const Rect list = listArea(f);
    const std::int32_t top = std::max<std::int32_t>(area.top - list.top, 0);
    const std::int32_t bottom = area.bottom - list.top;
    if (bottom <= 0 || gRowHeight <= 0) return;
    const std::int32_t first = f->topRow + top / gRowHeight;
    const std::int32_t last =
        std::min<std::int32_t>(f->topRow + (bottom - 1) / gRowHeight, f->topRow + f->lastRowOffset);
    const bool front = isFront(f);
    for (std::int32_t i = first; i <= last; ++i) {
        PackageEntry* e = entryAt(f, i);
        if (!e) break;
        const std::int32_t r = i - f->topRow;
        MoveTo(std::int16_t(list.left + 2),
               std::int16_t(list.top + (r + 1) * gRowHeight - gBaselineOffset));
        const std::string_view name = displayNameView(e);
        DrawText(name.data(), std::int32_t(name.size()));
        if (front && isSelected(e)) InvertRect(rowRect(list, r));
    }
}

void drawHeader(PackageFile* f) {
    WindowPtr pane = f->headerPane;
    PortScope port(pane);
    Rect r;
    SetRect(&r, 0, 0, 2000, kHeaderPaneHeight);
    EraseRect(r);
    TextSize(9);
    MoveTo(4, 12);
    char text[32];
    std::snprintf(text, sizeof text, "%d packages", int(f->packageCount));
    DrawText(text);
}

// Moves the top row to t: the rows are shifted by the pixels the change stands for and the
// part they uncover is drawn at once.
void scrollTopRow(PackageFile* f, std::int32_t t) {
    const std::int64_t pixels = std::int64_t(f->topRow - t) * gRowHeight;
    const std::int16_t dv =
        std::int16_t(std::clamp<std::int64_t>(pixels, -kMaxScrollPixels, kMaxScrollPixels));
    f->topRow = t;
    PortScope port(f->listWindow);
    const Rect list = listArea(f);
    Rect rows = list;
    rows.bottom = std::int16_t(std::min<std::int32_t>(
        list.top + (f->lastRowOffset + 1) * std::int32_t(gRowHeight), list.bottom));
    RgnHandle uncovered = NewRgn();
    ScrollRect(rows, 0, dv, uncovered);
    Rect area = rows;
    if (uncovered) {
        GetRegionBounds(uncovered, &area);
        DisposeRgn(uncovered);
    } else {
        EraseRect(rows); // without the region, draw every row afresh
    }
    drawRows(f, area);
}

// Scroll bar action: a part and, for the thumb, its native position.
void scrollList(PackageFile* f, std::int16_t part, std::int32_t thumb) {
    ControlHandle sb = scrollBar(f);
    if (!sb) return;
    const std::int32_t maximum = GetControlMaximum(sb);
    if (maximum < 1) return;
    std::int32_t t = f->topRow;
    switch (part) {
    case sbLineUp:
        t -= 1;
        break;
    case sbLineDown:
        t += 1;
        break;
    case sbPageUp:
        t -= f->lastRowOffset;
        break;
    case sbPageDown:
        t += f->lastRowOffset;
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
    if (t != f->topRow) scrollTopRow(f, t);
}

// Recomputes the visible rows and the scroll range from the list area's height.
void resizeList(PackageFile* f) {
    WindowPtr w = f->listWindow;
    ControlHandle sb = scrollBar(f);
    if (!w || !sb) return;
    const Rect list = listArea(f);
    const std::int32_t height = std::max(list.bottom - list.top, 0);
    const std::int32_t oldRows = f->lastRowOffset + 1;
    f->lastRowOffset = std::int16_t(height / gRowHeight - 1);
    const std::int32_t newRows = f->lastRowOffset + 1;
    const std::int32_t maxTop = std::max(f->packageCount - f->lastRowOffset - 1, 0);
    SetControlMaximum(sb, maxTop);
    const std::int32_t oldTop = f->topRow;
    f->topRow = GetControlValue(sb);
    if (newRows != oldRows) {
        Rect strip = list;
        strip.top = std::int16_t(list.top + std::min(oldRows, newRows) * gRowHeight);
        if (strip.top < strip.bottom) InvalWindowRect(w, &strip);
    }
    if (f->topRow != oldTop) InvalWindowRect(w, nullptr);
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

void reveal(PackageFile* f) {
    std::int32_t first, last;
    selectedRange(f, &first, &last);
    if (last < 0) return;
    if (f->topRow <= last && last <= f->topRow + f->lastRowOffset) return;
    ControlHandle sb = scrollBar(f);
    SetControlValue(sb, std::max(last - f->lastRowOffset / 2, 0));
    f->topRow = GetControlValue(sb);
}

enum class ClickMode { plain, extend, toggle };

// Click selection with its tracking loop. p is in the window's local coordinates.
void clickList(PackageFile* f, Point p, bool shift, bool option) {
    WindowPtr w = f->listWindow;
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
            anchor = std::abs(c - first) < std::abs(c - last) ? last : first;
        } else {
            first = last = anchor = c;
        }
        if (anchor >= 0) c = std::abs(c);
    } else {
        if (mode == ClickMode::plain) deselectAll(f);
        first = last = c;
    }
    if (c < 0) return;

    // Toggle mode: the state the first entry reached had decides for the whole drag.
    int toggleTo = -1;
    std::int32_t previous = -1;
    do {
        AutoScrollWindow(w, &list);
        if (c != previous) {
            if (previous >= 0) c = c > previous ? previous + 1 : previous - 1;
            std::int32_t start = c, end = c;
            if (mode == ClickMode::extend) {
                start = std::min(c, anchor);
                end = std::max(c, anchor);
            }
            const bool front = isFront(f);
            const std::int32_t from = std::max(std::min(first, start), 0);
            const std::int32_t to = std::min(std::max(last, end), f->packageCount - 1);
            for (std::int32_t i = from; i <= to; ++i) {
                PackageEntry* e = entryAt(f, i);
                if (!e) break;
                const bool inside = i >= start && i <= end;
                if (mode == ClickMode::toggle) {
                    if (!inside) continue;
                    if (toggleTo < 0) toggleTo = isSelected(e) ? 0 : 1;
                    setMark(f, e, i, toggleTo == 1, front);
                } else {
                    setMark(f, e, i, inside, front);
                }
            }
            first = start;
            last = end;
            previous = c;
        }
        Point now;
        GetMouse(&now);
        c = std::abs(rowAt(f, now.v - list.top));
    } while (StillDown());
}

bool clipboardHoldsList() {
    // The package clipboard arrives with the list editing commands; until then it never holds
    // anything.
    return false;
}

bool listEnabling(WindowPtr w, MenuEnableRecord& rec) {
    PackageFile* f = listWindowFile(w);
    if (!f) return false;
    const std::int16_t c = rec.command;
    // The File and Window menus are the application's.
    if (commandInMenu(c, kCmdFileMenu) || commandInMenu(c, kCmdWindowMenu)) return false;
    enablingPreStep(rec);
    const bool editors = gHooks.openEditors != nullptr;
    switch (c) {
    case kCmdEditMenu:
        gSummary = selectionSummary(f);
        rec.enabled = true;
        break;
    case kCmdCut:
    case kCmdCopy:
    case kCmdDelete:
    case kCmdDuplicate:
        rec.enabled = gSummary.count > 0;
        break;
    case kCmdOpenEditor:
        rec.enabled = editors && gSummary.count > 0;
        break;
    case kCmdPaste:
        rec.enabled = currentPackageFile() != nullptr && clipboardHoldsList();
        break;
    case kCmdCreate:
        rec.enabled = editors; // the pre-step has set "Create New Package"
        break;
    case kCmdRevertPackage:
        if (gSummary.count >= 2) {
            const std::string_view text = GetStringEntry(1306); // "Revert These Packages"
            std::snprintf(rec.text, sizeof rec.text, "%.*s", int(text.size()), text.data());
            rec.textChanged = true;
        }
        rec.enabled = gSummary.modified;
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
    enablingPostStep(rec);
    return true;
}

bool headerProc(WindowPtr pane, WindowMessage& msg) {
    auto* f = static_cast<PackageFile*>(pane->refCon);
    if (msg.kind == wmUpdate && f && f->headerPane == pane) {
        drawHeader(f);
        return true;
    }
    return false;
}

bool listProc(WindowPtr w, WindowMessage& msg) {
    auto* f = static_cast<PackageFile*>(w->refCon);
    if (!f) return false;
    switch (msg.kind) {
    case wmCreated:
        f->listWindow = w;
        return true;
    case wmCloseRequest:
        if (gHooks.closePackageFile)
            gHooks.closePackageFile(f);
        else
            disposeListWindow(f);
        return true;
    case wmDispose:
        if (f->listWindow == w) {
            f->listWindow = nullptr;
            f->headerPane = nullptr;
            f->scrollBar = nullptr;
        }
        return true;
    case wmActivate:
        if (msg.active) setCurrentPackageFile(f);
        InvalWindowRect(w, nullptr);
        return false; // the default activation handling runs too
    case wmResize:
        if (!f->building) resizeList(f);
        return true;
    case wmUpdate: {
        PortScope port(w);
        drawRows(f, listArea(f));
        return true;
    }
    case wmMouseDown:
        if (f->listWindow == w) clickList(f, msg.where, msg.shift, msg.option);
        return true;
    case wmDoubleClick:
        if (gHooks.openEditors) gHooks.openEditors(f);
        return true;
    case wmKeyDown:
        return deleteKey(w, msg.key, true);
    case wmScrollBar:
        if (msg.bar == 0) scrollList(f, msg.part, msg.thumb);
        return true;
    case wmScrollTo:
        msg.position = Point{};
        return false;
    case wmMenuCommand:
        if (msg.command == kCmdSelectAll) selectAllEntries(f);
        return false; // the application sees every command too
    default:
        return false;
    }
}

OSErr createListWindow(PackageFile* f) {
    Rect bounds = GetDefaultWindowBounds(kDocumentStyle);
    f->building = true;
    WindowPtr w =
        NewWindow(kListDocumentStyle, &bounds, "", kInFront, kListWindowKind, f, listProc);
    if (!w) {
        f->building = false;
        return memFullErr;
    }
    f->listWindow = w;
    SetWindowHandler(w, listEnabling);

    // Cascade from the window of the package file opened before this one.
    if (f->next && f->next->listWindow) {
        Rect moved = GetWindowBounds(f->next->listWindow);
        OffsetRect(&moved, kCascadeStep, kCascadeStep);
        if (RectFitsOnScreen(moved, kDocumentStyle)) bounds = moved;
    }
    f->scrollBar = GetWindowScrollBar(w);

    {
        PortScope port(w);
        FontInfo info;
        GetFontInfo(&info);
        gRowHeight = std::int16_t(std::max(info.ascent + info.descent + info.leading, 1));
        gBaselineOffset = std::int16_t(info.descent + info.leading);
        bounds.bottom = std::int16_t(bounds.top + kInitialRows * gRowHeight + kHeaderReserve);
        bounds.right = std::int16_t(bounds.left + TextWidth(kWidthSample));
    }
    f->building = false;
    MoveSizeWindow(w, bounds);

    Rect limits;
    limits.top = 64;  // minimum height
    limits.left = 64; // minimum width
    limits.bottom = std::int16_t(bounds.bottom + 2000);
    limits.right = std::int16_t(bounds.right + 20);
    SetWindowGrowLimits(w, limits);
    SetWTitle(w, f->recordFile ? f->recordFile->fileName().c_str() : "");

    WindowPtr pane = NewChildPane(w, kHeaderPaneHeight, headerProc, f);
    if (!pane) {
        DisposeWindow(w);
        return memFullErr;
    }
    f->headerPane = pane;
    {
        PortScope port(pane);
        RGBBackColor(kGreyColor);
    }
    ShowWindow(pane);
    InvalWindowRect(pane, nullptr);
    resizeList(f);
    return noErr;
}

} // namespace

void installListWindowHooks(const ListWindowHooks& hooks) {
    gHooks = hooks;
}

OSErr showListWindow(PackageFile* file) {
    if (!file) return paramErr;
    if (!file->listWindow) {
        if (OSErr err = createListWindow(file)) return err;
    }
    ShowWindow(file->listWindow);
    SelectWindow(file->listWindow);
    return noErr;
}

void refreshListWindow(PackageFile* file, bool reveal) {
    if (!file || !file->listWindow) return;
    resizeList(file);
    if (reveal) ::reveal(file);
    InvalWindowRect(file->listWindow, nullptr);
}

void updateCount(PackageFile* file) {
    if (!file || !file->listWindow || !file->headerPane || !file->listWindow->visible) return;
    drawHeader(file);
}

void deselectAll(PackageFile* file) {
    if (!file) return;
    const bool front = isFront(file);
    PortScope port(file->listWindow ? file->listWindow : GetPort());
    std::int32_t i = 0;
    for (PackageEntry* e = file->packages; e; e = e->next, ++i)
        setMark(file, e, i, false, front);
}

void selectEntry(PackageFile* file, PackageEntry* entry, std::int32_t index) {
    const bool front = isFront(file);
    PortScope port(file->listWindow ? file->listWindow : GetPort());
    setMark(file, entry, index, true, front);
}

void deselectEntry(PackageFile* file, PackageEntry* entry, std::int32_t index) {
    const bool front = isFront(file);
    PortScope port(file->listWindow ? file->listWindow : GetPort());
    setMark(file, entry, index, false, front);
}

void selectAllEntries(PackageFile* file) {
    if (!file) return;
    for (PackageEntry* e = file->packages; e; e = e->next)
        e->flags |= kSelected;
    refreshListWindow(file, false);
}

std::int32_t rowAt(PackageFile* file, std::int32_t v) {
    std::int32_t r = std::max(v, 0) / gRowHeight;
    bool below = false;
    if (r > file->lastRowOffset) {
        r = std::max<std::int32_t>(file->lastRowOffset, 0);
        below = true;
    }
    const std::int32_t i = file->topRow + r;
    if (i < file->packageCount) return below ? -i : i;
    const std::int32_t lastIndex = file->packageCount - 1;
    return lastIndex < 1 ? -1 : -lastIndex;
}

void disposeListWindow(PackageFile* file) {
    if (!file || !file->listWindow) return;
    DisposeWindow(file->listWindow); // the dispose message clears the file's window fields
    file->listWindow = nullptr;
    file->headerPane = nullptr;
    file->scrollBar = nullptr;
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

std::int16_t listRowHeight() {
    return gRowHeight;
}

std::int16_t listBaselineOffset() {
    return gBaselineOffset;
}

Rect listArea(const PackageFile* file) {
    if (!file || !file->listWindow) return Rect{};
    Rect r = GetPortRect(file->listWindow);
    r.top = std::int16_t(std::min<int>(r.top + kHeaderReserve - kHeaderPaneHeight, r.bottom));
    return r;
}

PackageFile* listWindowFile(WindowRecord* w) {
    if (!w || w->isPane || w->windowKind != kListWindowKind) return nullptr;
    return static_cast<PackageFile*>(w->refCon);
}
