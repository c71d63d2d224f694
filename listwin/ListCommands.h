// The Edit and Package menu commands of the package list window: Cut, Copy, Paste, Delete,
// Duplicate, Select All, Create, Open Editor and Revert Package, with Find and Find Again
// (FindDialog.h). Each acts on the selection of the package file's list window; those that change
// the selection end by refreshing the window, and those that change the package list also update
// its count. No command walks the list more than a fixed number of times.
#pragma once
#include "model/PackageFile.h"

#include <cstdint>

// Runs command on f when it is one of the list window's commands; every command also goes on to
// the application afterwards (the list window claims none).
void listCommand(PackageFile* f, std::int16_t command);

// Copies the selection to a new package clipboard, then deletes it unless memory ran out.
void cutCommand(PackageFile* f);
void copyCommand(PackageFile* f);
// Appends copies of the clipboard's packages at the end, as the only selection.
void pasteCommand(PackageFile* f);
// Removes the selected entries, no question asked: a stored one moves to the discard list (the
// next save deletes its record), an unsaved one is disposed of. Their editors close first.
void deleteCommand(PackageFile* f);
// Appends a copy of each selected package, named with a "+" added (a 17-character name stays),
// as the only selection; the package clipboard is not touched.
void duplicateCommand(PackageFile* f);
// Appends an empty package ("Unnamed Package", modified) as the only selection and opens its
// editor when there is an editor.
void createCommand(PackageFile* f);
// Opens the editors of the selected packages, within the window count's limits.
void openEditorCommand(PackageFile* f);
// Asks, then drops the changes of the selected packages: a stored package reads its name again
// from its record ("?" with the error alert when it cannot be read), an unsaved one is removed.
void revertPackageCommand(PackageFile* f);
// Reverts one entry without asking (the package editor has asked): its editor closes without
// validation, then it is reverted as by Revert Package, and its file's list window is refreshed.
void revertEntryCommand(PackageEntry* entry);
