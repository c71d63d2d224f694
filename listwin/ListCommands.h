// The Edit and Package menu commands of the package list window: Cut, Copy, Paste, Delete,
// Duplicate, Select All, Create, Open Editor and Revert Package, with Find and Find Again
// (FindDialog.h). Each takes the selection of the package file's list window, has the library
// operations (model/LibraryOps.h) carry it out, and then selects, refreshes and reports: those
// that change the selection end by refreshing the window, and those that change the package list
// also update its count. An error a command cannot finish for is returned, and the menu
// dispatcher shows it (DispatchMenuCommand: memFullErr as the note that memory ran out); a
// package an operation went on without is reported with the error alert as it is left out.
#pragma once
#include "model/LibraryOps.h"

#include <cstdint>

// Runs command on f when it is one of the list window's commands and returns its error; every
// command also goes on to the application afterwards (the list window claims none).
OSErr listCommand(PackageFile* f, std::int16_t command);

// Copies the selection to a new package clipboard, then deletes what was copied.
OSErr cutCommand(PackageFile* f);
OSErr copyCommand(PackageFile* f);
// Clears the clipboards, then makes a new package clipboard of copies of entries. Those that
// could not be copied go to *notCopied; memFullErr leaves no package clipboard.
OSErr copyEntriesToClipboard(std::span<PackageEntry* const> entries, Failures* notCopied);
// Appends copies of the clipboard's packages at the end, as the only selection.
OSErr pasteCommand(PackageFile* f);
// Removes the selected entries, no question asked: a stored one moves to the discard list (the
// next save deletes its record), an unsaved one is disposed of. Their editors close first.
OSErr deleteCommand(PackageFile* f);
// Appends a copy of each selected package, named with a "+" added (a 17-character name stays),
// as the only selection; the package clipboard is not touched.
OSErr duplicateCommand(PackageFile* f);
// Appends an empty package ("Unnamed Package", modified) as the only selection and opens its
// editor when the window has actions to open one.
OSErr createCommand(PackageFile* f);
// Opens the editors of the selected packages, within the window count's limits.
void openEditorCommand(PackageFile* f);
// Asks, then drops the changes of the selected packages: a stored package reads its name again
// from its record ("?" with the error alert when it cannot be read), an unsaved one is removed.
OSErr revertPackageCommand(PackageFile* f);
// Reverts entries without asking (the caller has asked): their editors close without
// validation, then they are reverted as by Revert Package, and f's list window is refreshed.
OSErr revertEntries(PackageFile* f, std::span<PackageEntry* const> entries);
