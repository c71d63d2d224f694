// The operations on the packages of a library: copy to and paste from a clipboard package file,
// duplicate, delete, revert, create, set a header field, rename, and the commit of an edited
// Package into its entry. Each works on the entries it is given, never on a selection, and
// touches no window: the windows choose the entries, call, then redraw and report; `qpk` calls
// the same functions without windows. An editor open on a package is reached only through its
// file's OpenEditors (PackageFile::editors). Errors are returned as codes, and an error leaves
// the lists as they were unless noted.
#pragma once
#include "model/PackageFile.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

// Called once per entry visited: how many so far, and of how many.
using OpProgress = std::function<void(std::int64_t done, std::int64_t total)>;
using Entries = std::span<PackageEntry* const>;

// An entry an operation left out, and why (a read error of its record, mostly).
struct EntryFailure {
    PackageEntry* entry;
    OSErr err;
};
using Failures = std::vector<EntryFailure>;

// A new entry, in no list, with e's display name and a copy of its image (read from the file when
// it is not in memory, and purged again afterwards), record id 0 and only the modified mark.
// nullptr in *out on failure.
OSErr copyEntry(PackageEntry* e, PackageEntry** out);

// Appends copies of entries to the end of dest, in the order given; each is the Package as its
// windows show it (an open editor's edits are carried into its entry first). An entry that cannot
// be read or committed is left out and added to *failed (when given). *first (when given) is the
// first copy appended, nullptr when none was. memFullErr: nothing appended.
OSErr copyPackages(Entries entries, PackageFile* dest, Failures* failed, PackageEntry** first,
                   const OpProgress& progress = {});

// A new package clipboard: a package file in no open list and without a record file, holding
// copies of entries (copyPackages), owned by the caller (disposePackageFile). memFullErr: none.
OSErr copyToClipboard(Entries entries, Failures* failed, PackageFile** clipboard,
                      const OpProgress& progress = {});
// Appends copies of every package of clipboard to the end of dest; *first is the first, nullptr
// when the clipboard is empty. memFullErr: nothing appended.
OSErr pasteFromClipboard(PackageFile* clipboard, PackageFile* dest, PackageEntry** first,
                         const OpProgress& progress = {});

// Appends to the end of f a copy of each of entries, named with a "+" added to its display name
// and field 1 (a 17-character name stays as it is). An entry that cannot be read, or whose image
// cannot take the new name, is left out and added to *failed. *first is the first copy, or
// nullptr. memFullErr: nothing appended.
OSErr duplicatePackages(Entries entries, PackageFile* f, Failures* failed, PackageEntry** first,
                        const OpProgress& progress = {});

// Removes entries (of f's list) from f's list, their editors closed first: a stored one moves to
// the discard list, whose records the next save deletes; an unsaved one is disposed of. Entries
// not in the list are left alone. Needs no memory.
OSErr deletePackages(PackageFile* f, Entries entries, const OpProgress& progress = {});

// Drops the changes of entries (of f's list), their editors closed first: an unsaved one is
// removed and disposed of; a stored one drops its image and takes its display name from its
// record again. One whose record cannot be read is named "?" and added to *failed.
OSErr revertPackages(PackageFile* f, Entries entries, Failures* failed,
                     const OpProgress& progress = {});

// Appends an empty Package ("Unnamed Package", modified, no record) to the end of f; *out is it.
OSErr createPackage(PackageFile* f, PackageEntry** out);

// The header fields as the package editor keeps them: field 1 the Package Name (at most 17
// characters), 2 the Designator Prefix (8, upper case, no period), 3 the Shape (56, upper case),
// 4 to 6 the shape parameters (56 each). A text holding a comma, a TAB or another control
// character is refused.
int headerFieldLimit(int field); // 0 for a field that is not a header field
// Whether the field refuses the character c: a comma, a control character (TAB among them), or
// a period in the Designator Prefix. The package editor's key filter asks it for each key typed.
bool headerFieldRefuses(int field, int c);
// The text a field stores for text: trimmed of blanks, upper case where the field is. paramErr
// (out untouched) when the field is not a header field or the text is refused or too long.
OSErr headerFieldText(int field, std::string_view text, std::string* out);

// Sets header field `field` of e's Package to text under the rules above; the entry becomes
// modified and its display name follows field 1. paramErr for a refused text, fBsyErr while an
// editor is open on the package (its window holds the Package); a read error of its record.
OSErr setHeaderField(PackageEntry* e, int field, std::string_view text);
// Sets the Package Name (setHeaderField of field 1).
OSErr renamePackage(PackageEntry* e, std::string_view name);

// An edited Package, flattened into image, becomes e's image: the entry is modified and its
// display name follows field 1. The entry takes image on success; on failure the caller keeps it.
OSErr commitEdited(PackageEntry* e, Handle image);
