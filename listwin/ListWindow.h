// The package list window: one per open package file, listing its package entries in package
// list order with a header strip that counts them.
#pragma once
#include "listwin/ListKeys.h"
#include "model/PackageFile.h"
#include "resources/Types.h"
#include "toolbox/gui/Windows.h"

#include <cstdint>

constexpr std::int16_t kListWindowKind = 101;

// What the list window asks of the application above it, given to the window when it is made, so
// that this module never depends on the shell or the package editor. Menu commands need none: the
// list window claims none, so each also goes on to the application through the toolbox's routing.
class ListWindowActions {
public:
    // Close package file with the save question. Unless the user cancels it (or it fails), it
    // ends by disposing of the window (disposeListWindow) and of the package file.
    virtual void closePackageFile(PackageFile* file) const = 0;
    // Opens the package editor window of one entry (made when the entry has none) and brings it
    // to the front.
    virtual void openEditor(PackageEntry* entry) const = 0;

protected:
    ~ListWindowActions() = default;
};

// Creates the window when the package file has none, with the actions it asks of the application
// (without them a close request disposes of the window alone, Open Editor stays disabled, a
// double click does nothing and Create opens no editor), then shows it and brings it to the
// front. memFullErr when the window could not be made.
OSErr showListWindow(PackageFile* file, const ListWindowActions* actions = nullptr);
// The actions of the package file's list window; nullptr without a window or actions.
const ListWindowActions* listWindowActions(const PackageFile* file);
// How refreshListWindow treats the scroll position: kept, or moved so that the last selected
// entry is in view.
enum class ListRefresh { keepScroll, revealSelection };
// Recomputes the visible rows and scroll range, reveals as asked, then invalidates the whole
// window.
void refreshListWindow(PackageFile* file, ListRefresh refresh);
// Redraws the header strip when the window exists and is visible.
void updateCount(PackageFile* file);
// Clearing or setting a mark inverts the entry's row when it is visible in the front window.
void deselectAll(PackageFile* file);
void selectEntry(PackageFile* file, PackageEntry* entry, std::int32_t index);
void deselectEntry(PackageFile* file, PackageEntry* entry, std::int32_t index);
// Select All (306): marks every entry and refreshes, keeping the scroll position.
void selectAllEntries(PackageFile* file);
// Hit test: the entry index under vertical list-area coordinate v (0 at the top of the first
// row). Negative when no entry lies there: -i when the point is below the rows and entry i is
// in the last row, otherwise -(package count - 1), or -1 when that is less than 1. The
// magnitude is the index a shift-click extends to.
std::int32_t rowAt(PackageFile* file, std::int32_t v);
// Disposes of the window, its header strip and its view state (the package file stays).
void disposeListWindow(PackageFile* file);

// The selection at a glance, as the menu enabling and the list commands use it. The count may
// stop at 2 once a modified selected entry has been seen: only none, one and more than one
// are told apart.
struct SelectionSummary {
    std::int32_t count = 0;
    PackageEntry* first = nullptr;
    bool modified = false; // a selected entry holds the modified mark
};
SelectionSummary selectionSummary(const PackageFile* file);

// The view state of a list window, owned by the window (its reference value) from its creation
// to its disposal; listWindowOf finds the window from the package file.
struct ListView {
    PackageFile* file = nullptr;
    const ListWindowActions* actions = nullptr; // none: the window asks nothing of the application
    WindowPtr headerPane = nullptr;             // the header strip showing the package count
    ControlHandle scrollBar = nullptr;          // the window's vertical scroll bar
    std::int32_t topRow = 0;                    // entry shown in the first row (from 0)
    std::int16_t lastRowOffset = 0;             // whole rows that fit, minus one
    bool building = false;                      // set while the window is being created
    KeyRange keyRange;            // what the last move key, click or shift-click selected
    TypeAhead typeAhead;          // the characters typed to select by name
    SelectionSummary menuSummary; // taken at the Edit menu's title for the items after it
    // Row metrics, measured from the window's font when it is made.
    std::int16_t rowHeight = 1;
    std::int16_t baselineOffset = 0; // from a row's bottom up to the baseline of its text
};
// The package file's list window, nullptr while it has none.
WindowPtr listWindowOf(const PackageFile* file);
// The view state of the package file's list window; nullptr while it has none.
const ListView* listView(const PackageFile* file);

// The list area in the window's local coordinates: the view below the header strip, less the
// one-pixel gap that completes the 17-pixel header reservation.
Rect listArea(const PackageFile* file);
// The package file a window shows, or nullptr when it is not a package list window.
PackageFile* listWindowFile(WindowRecord* w);
