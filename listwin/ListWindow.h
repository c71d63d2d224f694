// The package list window: one per open package file, listing its package entries in package
// list order with a header strip that counts them.
#pragma once
#include "model/PackageFile.h"

#include <cstdint>

constexpr std::int16_t kListWindowKind = 101;

// What the list window asks of the application layer above it (installed at start-up, so that
// this module never depends on the shell).
struct ListWindowHooks {
    // Close package file, not forced, with the save question; true when the close was cancelled.
    bool (*closePackageFile)(PackageFile* file) = nullptr;
    // Menu commands the list window does not claim go on to the application (About, File,
    // Window); the toolbox routing does this, the hook is for commands sent directly.
    // Opens editors on the selection (the Open Editor command); nullptr while there is no editor.
    void (*openEditors)(PackageFile* file) = nullptr;
};
void installListWindowHooks(const ListWindowHooks& hooks);

// Creates the window when the package file has none, then shows it and brings it to the front.
void showListWindow(PackageFile* file);
// Recomputes the visible rows and scroll range; with reveal, scrolls the last selected entry
// into view; then invalidates the whole window.
void refreshListWindow(PackageFile* file, bool reveal);
// Redraws the header strip when the window exists and is visible.
void updateCount(PackageFile* file);
void deselectAll(PackageFile* file);
void selectEntry(PackageFile* file, PackageEntry* entry, std::int32_t index);
void deselectEntry(PackageFile* file, PackageEntry* entry, std::int32_t index);
void selectAllEntries(PackageFile* file);
// Hit test: the entry index under vertical list-area coordinate v, or a negative result (see the
// implementation) when no entry lies there.
std::int32_t rowAt(PackageFile* file, std::int32_t v);
// Disposes of the window and its header strip (the package file stays).
void disposeListWindow(PackageFile* file);
