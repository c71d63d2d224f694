// The package clipboard, the clearing of the program's clipboards, and the copying loops that
// fill package files with copies of packages (Copy, Cut, Paste and Duplicate use them).
//
// The package clipboard is a package file in no open list, with no window and no record file.
// Its entries hold their images in memory, with record id 0 and the modified mark; it lives
// only in the program (nothing reaches the host's clipboard) and survives the closing of the
// package file its packages came from.
#pragma once
#include "model/PackageFile.h"

#include <vector>

// The package clipboard, or nullptr when there is none.
PackageFile* packageClipboard();
// True when there is a package clipboard with at least one package to paste.
bool clipboardHoldsList();
void disposePackageClipboard();

// Empties the text scrap, disposes of the package clipboard and clears the package editor's
// clipboard of sections and net items (through the hook below). Every Cut or Copy, of packages,
// of sections or net items, or of text in a field editor window, clears the clipboards first,
// so that only the newest of them holds anything.
void clearClipboards();
// Installed by the package editor: empties its clipboard of sections and net items.
void setItemClipboardClearHook(void (*hook)());

// A new entry with e's display name and a copy of its image (read from the file when it is not
// in memory, and purged again afterwards), record id 0, the modified mark set and the selected
// mark clear. nullptr with *err memFullErr when memory ran out, or the read error.
PackageEntry* duplicateEntry(PackageEntry* e, OSErr* err);

// Appends to *dest copies of source's selected entries, in source order, each as its windows
// show it: an open editor's edits are carried into its entry first. An entry whose image cannot
// be read is reported with the error alert, not copied, and added to *notCopied when given.
// When memory runs out, *dest is disposed of (and set to nullptr), memory is reported and
// memFullErr returned; source is unchanged in every case but for the carried edits.
OSErr copyEntries(PackageFile* source, PackageFile** dest,
                  std::vector<PackageEntry*>* notCopied = nullptr);

// Appends copies of every entry of source to the end of dest, in source order, as dest's only
// selection; then refreshes dest's window revealing them and updates its count. When memory runs
// out nothing is added (dest keeps its list and its selection), memory is reported and
// memFullErr returned.
OSErr pasteEntries(PackageFile* source, PackageFile* dest);

// Copy: a new package clipboard (the clipboards are cleared first) holding copies of f's
// selected entries (copyEntries). memFullErr when memory ran out (reported; there is then no
// clipboard).
OSErr copySelectionToClipboard(PackageFile* f, std::vector<PackageEntry*>* notCopied = nullptr);
