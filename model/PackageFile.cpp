// Package entries, package files and the list of open package files. The operations that reach
// the record file (getImage, setImage, writeEntry, purgeEntry) live in PackageFileIO.cpp.
#include "model/PackageFile.h"

#include "model/Image.h"
#include "toolbox/core/FieldText.h"

#include <new>
#include <type_traits>

static_assert(std::is_trivially_destructible_v<PackageEntry>, "entries are pool blocks");
static_assert(sizeof(PackageEntry) <= 64, "a million entries must stay small");

namespace {

FixedPool* gEntryPool = nullptr;
PackageFile* gPackageFiles = nullptr;
PackageFile* gCurrentPackageFile = nullptr;

constexpr std::string_view kUnnamedPackage = "Unnamed Package";

} // namespace

// --- Entries ----------------------------------------------------------------------------------

void disposeEntryList(PackageEntry* e) {
    while (e) {
        PackageEntry* next = e->next;
        disposeEntry(e);
        e = next;
    }
}

OSErr initEntryPool() {
    if (gEntryPool) return noErr;
    gEntryPool = new (std::nothrow) FixedPool(sizeof(PackageEntry));
    return gEntryPool ? noErr : memFullErr;
}

std::size_t entriesInUse() {
    return gEntryPool ? gEntryPool->inUse() : 0;
}

PackageEntry* newEntry(std::string_view name, Handle image, std::uint32_t recordId,
                       ImageState state) {
    if (initEntryPool() != noErr) return nullptr;
    void* block = gEntryPool->take();
    if (!block) return nullptr;
    PackageEntry* e = new (block) PackageEntry{};
    setDisplayName(e, name);
    if (state == ImageState::stored) {
        e->recordId = recordId;
    } else {
        e->image = image;
        e->flags = kModified;
    }
    return e;
}

void disposeEntry(PackageEntry* e) {
    if (!e) return;
    DisposeHandle(e->image);
    gEntryPool->give(e);
}

std::string_view displayNameView(const PackageEntry* e) {
    return {reinterpret_cast<const char*>(e->displayName + 1), e->displayName[0]};
}

Str255 displayName(const PackageEntry* e) {
    return Str255(displayNameView(e));
}

void setDisplayName(PackageEntry* e, std::string_view name) {
    if (name.empty()) name = kUnnamedPackage;
    name = name.substr(0, kDisplayNameMax);
    e->displayName[0] = static_cast<unsigned char>(name.size());
    BlockMove(name.data(), e->displayName + 1, Size(name.size()));
}

void recomputeDisplayName(PackageEntry* e, Handle image) {
    const std::string_view text = imageFieldText(image);
    setDisplayName(e, TrimBlanks(GetFieldView(text.data(), Size(text.size()), 1)));
}

// --- Package files and the open list ----------------------------------------------------------

PackageFile* newPackageFile() {
    return new (std::nothrow) PackageFile;
}

void disposePackageFile(PackageFile* f) {
    if (!f) return;
    removePackageFile(f);
    disposeEntryList(f->packages);
    disposeEntryList(f->discards);
    delete f; // the record file goes with it, closed without writing
}

PackageFile* firstPackageFile() {
    return gPackageFiles;
}
PackageFile* currentPackageFile() {
    return gCurrentPackageFile;
}
void setCurrentPackageFile(PackageFile* f) {
    gCurrentPackageFile = f;
}

void addPackageFile(PackageFile* f) {
    if (gPackageFiles == f) return;
    // A file already further down the list moves to the head rather than being linked twice.
    for (PackageFile** link = &gPackageFiles; *link; link = &(*link)->next) {
        if (*link == f) {
            *link = f->next;
            break;
        }
    }
    f->next = gPackageFiles;
    gPackageFiles = f;
}

void removePackageFile(PackageFile* f) {
    for (PackageFile** link = &gPackageFiles; *link; link = &(*link)->next) {
        if (*link == f) {
            *link = f->next;
            f->next = nullptr;
            break;
        }
    }
    if (gCurrentPackageFile == f) gCurrentPackageFile = nullptr;
}

PackageFile* findPackageFileByPath(std::string_view path) {
    for (PackageFile* f = gPackageFiles; f; f = f->next) {
        if (f->recordFile && f->recordFile->path() == path) return f;
    }
    return nullptr;
}

// --- The package list -------------------------------------------------------------------------

void packageListChanged(PackageFile* f) {
    f->rowsValid = false;
}

void addEntry(PackageFile* f, PackageEntry* e) {
    insertEntryAfter(f, nullptr, e);
}

void insertEntryAfter(PackageFile* f, PackageEntry* after, PackageEntry* e) {
    PackageEntry** link = after ? &after->next : &f->packages;
    e->next = *link;
    *link = e;
    e->owner = f;
    ++f->packageCount;
    packageListChanged(f);
}

void removeEntry(PackageFile* f, PackageEntry* e) {
    for (PackageEntry** link = &f->packages; *link; link = &(*link)->next) {
        if (*link == e) {
            *link = e->next;
            e->next = nullptr;
            --f->packageCount;
            packageListChanged(f);
            return;
        }
    }
}

void discardEntry(PackageFile* f, PackageEntry* e) {
    e->owner = f;
    e->next = f->discards;
    f->discards = e;
}

void reversePackageList(PackageFile* f) {
    PackageEntry* done = nullptr;
    PackageEntry* e = f->packages;
    while (e) {
        PackageEntry* next = e->next;
        e->next = done;
        done = e;
        e = next;
    }
    f->packages = done;
    packageListChanged(f);
}

// The row index trades 8 bytes per package for O(1) row access: the list window draws and hit
// tests rows by index, and walking a million-entry list from the head for each row would make
// scrolling to the bottom quadratic. It is rebuilt with one walk after any change.
PackageEntry* entryAt(PackageFile* f, std::int32_t index) {
    if (index < 0 || index >= f->packageCount) return nullptr;
    if (!f->rowsValid) {
        try {
            f->rows.clear();
            f->rows.reserve(std::size_t(f->packageCount));
            for (PackageEntry* e = f->packages; e; e = e->next)
                f->rows.push_back(e);
            f->rowsValid = true;
        } catch (const std::bad_alloc&) {
            // No room for the index: answer by walking, slowly but correctly.
            f->rows.clear();
            PackageEntry* e = f->packages;
            for (std::int32_t i = 0; e && i < index; ++i)
                e = e->next;
            return e;
        }
    }
    return std::size_t(index) < f->rows.size() ? f->rows[std::size_t(index)] : nullptr;
}

std::int32_t indexOfEntry(PackageFile* f, const PackageEntry* e) {
    if (f->packageCount > 0 && entryAt(f, 0) && f->rowsValid) {
        for (std::size_t i = 0; i < f->rows.size(); ++i)
            if (f->rows[i] == e) return std::int32_t(i);
        return -1;
    }
    std::int32_t i = 0;
    for (const PackageEntry* p = f->packages; p; p = p->next, ++i)
        if (p == e) return i;
    return -1;
}

bool isModified(const PackageFile* f) {
    if (f->discards || (f->editors && f->editors->hasChangesIn(f))) return true;
    for (const PackageEntry* e = f->packages; e; e = e->next)
        if (e->flags & kModified) return true;
    return false;
}

bool hasOpenEditor(const PackageEntry* e) {
    return e && e->owner && e->owner->editors && e->owner->editors->isOpen(e);
}
