// Package entries (one per Package of an open package file), package files (the documents) and
// the global list of open package files.
//
// Entries come from a fixed-block pool and are kept small: a file of a million packages with
// nothing loaded costs about 72 bytes per package (a 64-byte entry plus one slot of the row
// index).
#pragma once
#include "model/RecordFile.h"
#include "toolbox/core/Memory.h"
#include "toolbox/core/Strings.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

struct PackageEntry;
struct PackageFile;

// Package entry flags.
constexpr std::uint32_t kSelected = 1; // selected in the package list window
constexpr std::uint32_t kModified = 2; // the image in memory is not yet written

constexpr int kDisplayNameMax = 17;

// What the package operations ask of the package editors open on a file's packages. The windows
// that edit packages give a package file theirs (PackageFile::editors) when they open the first
// editor on one of its packages; a file no window edits (qpk's, the package clipboard) has none.
class OpenEditors {
public:
    // An editor holds the entry's Package.
    virtual bool isOpen(const PackageEntry* e) const = 0;
    // The entry's editor holds edits not yet carried into the entry.
    virtual bool hasChanges(const PackageEntry* e) const = 0;
    // An editor open on one of f's packages holds edits not yet carried into its entry. Asked
    // once for the whole file, so that the question costs the open editors, not the entries.
    virtual bool hasChangesIn(const PackageFile* f) const = 0;
    // Carries the edits of the entry's editor into the entry (commitEdited); an error leaves the
    // entry as it was. noErr when no editor is open on it.
    virtual OSErr commit(PackageEntry* e) = 0;
    // Closes the entry's editor without asking, its edits carried into the entry first.
    virtual void close(PackageEntry* e) = 0;

protected:
    ~OpenEditors() = default;
};

struct PackageEntry {
    PackageEntry* next;
    PackageFile* owner;
    Handle image;           // owned; none while the Package is only in the file
    std::uint32_t recordId; // 0 while never stored
    std::uint32_t flags;
    unsigned char displayName[kDisplayNameMax + 1]; // length byte + at most 17 characters
};

// --- Entry pool and entries -------------------------------------------------------------------

// Makes the pool package entries come from; called once at start-up (again: no effect).
OSErr initEntryPool();
std::size_t entriesInUse(); // entries taken from the pool and not yet disposed of

// Where an entry's Package is: in an image in memory not yet written (the entry is modified), or
// in the stored record the entry refers to.
enum class ImageState { modified, stored };

// Takes a pool block and sets the display name. A stored entry refers to recordId and holds no
// image (image must be nullptr); a modified one takes ownership of image. nullptr when out of
// memory (the caller still owns image then).
PackageEntry* newEntry(std::string_view displayName, Handle image, std::uint32_t recordId,
                       ImageState state);
// Disposes of the image and returns the block to the pool. The entry must be unlinked.
void disposeEntry(PackageEntry* e);
// Disposes of every entry of a list linked through next, starting at e.
void disposeEntryList(PackageEntry* e);

Str255 displayName(const PackageEntry* e);
std::string_view displayNameView(const PackageEntry* e);
// Stores name cut to 17 characters, or "Unnamed Package" when it is empty.
void setDisplayName(PackageEntry* e, std::string_view name);
// Sets the display name from field 1 (trimmed) of an image.
void recomputeDisplayName(PackageEntry* e, Handle image);
inline void recomputeDisplayName(PackageEntry* e) {
    recomputeDisplayName(e, e->image);
}

// These reach the record file; they are implemented with the file layer (PackageFileIO.cpp).
// The image in memory, reading it from the file when there is none and the record id is
// non-zero. On a read error *err is set and nullptr returned (the caller shows the error).
Handle getImage(PackageEntry* e, OSErr* err);
// Modified: keeps image (disposing of the old one unless it is the same block) and marks the
// entry modified. Stored: disposes of the image in memory, deletes the old record when it
// differs from recordId, and makes the entry refer to recordId.
OSErr setImage(PackageEntry* e, Handle image, ImageState state, std::uint32_t recordId);
// For a modified entry with a valid image: writes the image as a new record, then deletes its
// old record, and clears the modified mark. Should the delete fail, the new record is taken back
// and the entry stays as it was. An invalid image is not written: the entry keeps its record
// (if any) and stays modified.
OSErr writeEntry(PackageEntry* e);
// For a stored entry that is not modified: disposes of the image in memory.
void purgeEntry(PackageEntry* e);

// --- Package file -----------------------------------------------------------------------------

struct PackageFile {
    PackageFile* next = nullptr;      // next open package file
    PackageEntry* packages = nullptr; // the package list
    PackageEntry* discards = nullptr; // removed entries whose records the next save deletes
    std::int32_t packageCount = 0;    // length of the package list
    OpenEditors* editors = nullptr;   // the editors open on its packages, or none
    std::unique_ptr<RecordFile> recordFile;

    // Row index: rows[i] is the i-th entry of the package list. Rebuilt on demand after the list
    // changes (rowsValid false), so reading rows costs one walk per change rather than one walk
    // per row. Code that relinks the package list by hand calls packageListChanged().
    std::vector<PackageEntry*> rows;
    bool rowsValid = false;
};

// A zero-filled package file, not in the open list; nullptr when out of memory.
PackageFile* newPackageFile();
// Disposes of every entry of both lists (images too), the record file (closed without writing)
// and the package file. Unlinks it from the open list first if it is there.
void disposePackageFile(PackageFile* f);

// The open list, newest first, and the current package file.
PackageFile* firstPackageFile();
PackageFile* currentPackageFile();
void setCurrentPackageFile(PackageFile* f); // nullptr: none
void addPackageFile(PackageFile* f);        // at the head, unless already the head
void removePackageFile(PackageFile* f);     // clears the current package file if it was f
PackageFile* findPackageFileByPath(std::string_view path);

// The package list.
void addEntry(PackageFile* f, PackageEntry* e);    // at the head; sets owner, counts
void removeEntry(PackageFile* f, PackageEntry* e); // unlinks, counts; e stays owned by f
// Links e after `after` (at the head when after is nullptr); sets owner, counts.
void insertEntryAfter(PackageFile* f, PackageEntry* after, PackageEntry* e);
void discardEntry(PackageFile* f, PackageEntry* e); // a removed entry onto the discard list
void reversePackageList(PackageFile* f);
void packageListChanged(PackageFile* f); // the list was relinked directly: drop the row index

// Entry at row index (from 0), nullptr when out of range. The first call after a change walks
// the list once to rebuild the row index; later calls are O(1).
PackageEntry* entryAt(PackageFile* f, std::int32_t index);
// Row index of e in the package list, -1 when it is not there (linear in the row index).
std::int32_t indexOfEntry(PackageFile* f, const PackageEntry* e);

// True when the discard list is non-empty, an entry is modified, or an editor open on an entry
// holds edits not yet carried into it.
bool isModified(const PackageFile* f);
// True when an editor is open on the entry (through its file's editors).
bool hasOpenEditor(const PackageEntry* e);
