// The package list window: one per open package file, listing its package entries in package
// list order with a header strip that counts them.
#pragma once
#include "model/PackageFile.h"
#include "resources/Types.h"

#include <cstdint>

constexpr std::int16_t kListWindowKind = 101;

// What the list window asks of the application layer above it (installed at start-up, so that
// this module never depends on the shell). Menu commands need no hook: the list window claims
// none, so each also goes on to the application through the toolbox's routing.
struct ListWindowHooks {
    // Close package file, not forced, with the save question; true when the close was cancelled.
    // It ends by disposing of the window (disposeListWindow) and of the package file. Without
    // this hook a close request disposes of the window alone.
    bool (*closePackageFile)(PackageFile* file) = nullptr;
    // Opens editors on the selection (the Open Editor command); nullptr while there is no editor.
    // While it is nullptr, Create and Open Editor stay disabled and a double click does nothing.
    void (*openEditors)(PackageFile* file) = nullptr;
};
void installListWindowHooks(const ListWindowHooks& hooks);

// Creates the window when the package file has none, then shows it and brings it to the front.
// memFullErr when the window could not be made.
OSErr showListWindow(PackageFile* file);
// Recomputes the visible rows and scroll range; with reveal, scrolls the last selected entry
// into view; then invalidates the whole window.
void refreshListWindow(PackageFile* file, bool reveal);
// Redraws the header strip when the window exists and is visible.
void updateCount(PackageFile* file);
// Clearing or setting a mark inverts the entry's row when it is visible in the front window.
void deselectAll(PackageFile* file);
void selectEntry(PackageFile* file, PackageEntry* entry, std::int32_t index);
void deselectEntry(PackageFile* file, PackageEntry* entry, std::int32_t index);
// Select All (306): marks every entry and refreshes without reveal.
void selectAllEntries(PackageFile* file);
// Hit test: the entry index under vertical list-area coordinate v (0 at the top of the first
// row). Negative when no entry lies there: -i when the point is below the rows and entry i is
// in the last row, otherwise -(package count - 1), or -1 when that is less than 1. The
// magnitude is the index a shift-click extends to.
std::int32_t rowAt(PackageFile* file, std::int32_t v);
// Disposes of the window and its header strip (the package file stays).
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

// Row metrics shared by every list window, measured when one is created.
std::int16_t listRowHeight();
std::int16_t listBaselineOffset();
// The list area in the window's local coordinates: the view below the header strip, less the
// one-pixel gap that completes the 17-pixel header reservation.
Rect listArea(const PackageFile* file);
// The package file a window shows, or nullptr when it is not a package list window.
PackageFile* listWindowFile(WindowRecord* w);
