// The operations on the packages of a library (see LibraryOps.h).
#include "model/LibraryOps.h"

#include "model/Image.h"
#include "model/Package.h"

#include <new>
#include <string>
#include <utility>

namespace {

// Marks the entries an operation was given for the one walk over the list that carries it out;
// cleared again before the operation returns. The windows' marks are the low bits.
constexpr std::uint32_t kOperand = 0x80000000u;

constexpr std::string_view kUnreadableName = "?";

void report(const OpProgress& progress, std::int64_t done, std::int64_t total) {
    if (progress) progress(done, total);
}

void addFailure(Failures* failed, PackageEntry* e, OSErr err) {
    if (!failed) return;
    try {
        failed->push_back({e, err});
    } catch (const std::bad_alloc&) {
        // The failure goes unreported; the entry is left out all the same.
    }
}

// The last entry of f's list (from the row index when it is current), nullptr when empty.
PackageEntry* lastEntry(PackageFile* f) {
    if (f->rowsValid && !f->rows.empty()) return f->rows.back();
    PackageEntry* e = f->packages;
    while (e && e->next)
        e = e->next;
    return e;
}

// Links the copies (owned by no list) after the last entry of f, in order.
PackageEntry* appendCopies(PackageFile* f, const std::vector<PackageEntry*>& copies) {
    if (copies.empty()) return nullptr;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        copies[i]->owner = f;
        copies[i]->next = i + 1 < copies.size() ? copies[i + 1] : nullptr;
    }
    if (PackageEntry* last = lastEntry(f)) {
        last->next = copies.front();
    } else {
        f->packages = copies.front();
    }
    f->packageCount += std::int32_t(copies.size());
    packageListChanged(f);
    return copies.front();
}

void disposeCopies(std::vector<PackageEntry*>& copies) {
    for (PackageEntry* c : copies)
        disposeEntry(c);
    copies.clear();
}

// Copies of entries, each as its windows show it; sources[i] is the entry copies[i] came from.
// memFullErr when memory ran out (nothing is left in copies then).
OSErr makeCopies(Entries entries, Failures* failed, const OpProgress& progress,
                 std::vector<PackageEntry*>* copies, std::vector<PackageEntry*>* sources) {
    try {
        copies->reserve(entries.size());
        if (sources) sources->reserve(entries.size());
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    std::int64_t done = 0;
    for (PackageEntry* e : entries) {
        report(progress, done++, std::int64_t(entries.size()));
        OSErr err = e->owner && e->owner->editors ? e->owner->editors->commit(e) : noErr;
        PackageEntry* copy = nullptr;
        if (!err) err = copyEntry(e, &copy);
        if (err == memFullErr) {
            disposeCopies(*copies);
            return memFullErr;
        }
        if (err) {
            addFailure(failed, e, err);
            continue;
        }
        copies->push_back(copy); // room reserved above
        if (sources) sources->push_back(e);
    }
    return noErr;
}

// Gives a duplicate its name: the display name with "+" added while it has fewer than 17
// characters, as the display name and as field 1 of its image.
OSErr renameDuplicate(PackageEntry* copy) {
    const std::string_view name = displayNameView(copy);
    if (name.size() >= std::size_t(kDisplayNameMax)) return noErr;
    std::string renamed;
    try {
        renamed = std::string(name) + "+";
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    if (OSErr err = renameImage(copy->image, renamed)) return err;
    setDisplayName(copy, renamed);
    return noErr;
}

void markOperands(Entries entries, std::uint32_t set) {
    for (PackageEntry* e : entries)
        e->flags = set ? e->flags | kOperand : e->flags & ~kOperand;
}

// Walks f's list once, calling act(previous, e) for each entry given; act returns true when it
// unlinked e (which then no longer follows previous).
template <class Act>
void forEachOperand(PackageFile* f, Entries entries, const OpProgress& progress, Act act) {
    markOperands(entries, kOperand);
    std::int64_t done = 0;
    PackageEntry* previous = nullptr;
    for (PackageEntry* e = f->packages; e;) {
        PackageEntry* next = e->next;
        if (!(e->flags & kOperand)) {
            previous = e;
            e = next;
            continue;
        }
        report(progress, done++, std::int64_t(entries.size()));
        e->flags &= ~kOperand;
        if (f->editors) f->editors->close(e);
        if (!act(previous, e)) previous = e;
        e = next;
    }
    markOperands(entries, 0); // any that were not in the list
    packageListChanged(f);
}

// Unlinks e, whose predecessor in f's list is previous (nullptr for the head).
void unlinkAfter(PackageFile* f, PackageEntry* previous, PackageEntry* e) {
    (previous ? previous->next : f->packages) = e->next;
    e->next = nullptr;
    --f->packageCount;
}

} // namespace

OSErr copyEntry(PackageEntry* e, PackageEntry** out) {
    *out = nullptr;
    const bool inMemory = e->image != nullptr;
    OSErr err = noErr;
    Handle image = getImage(e, &err);
    if (!image) return err ? err : paramErr; // neither in memory nor in the file
    Handle copy = HandToHand(image);
    if (!inMemory) purgeEntry(e);
    if (!copy) return memFullErr;
    *out = newEntry(displayNameView(e), copy, 0, ImageState::modified);
    if (!*out) {
        DisposeHandle(copy);
        return memFullErr;
    }
    return noErr;
}

OSErr copyPackages(Entries entries, PackageFile* dest, Failures* failed, PackageEntry** first,
                   const OpProgress& progress) {
    if (first) *first = nullptr;
    if (!dest) return paramErr;
    std::vector<PackageEntry*> copies;
    if (OSErr err = makeCopies(entries, failed, progress, &copies, nullptr)) return err;
    PackageEntry* head = appendCopies(dest, copies);
    if (first) *first = head;
    return noErr;
}

OSErr copyToClipboard(Entries entries, Failures* failed, PackageFile** clipboard,
                      const OpProgress& progress) {
    *clipboard = newPackageFile();
    if (!*clipboard) return memFullErr;
    if (OSErr err = copyPackages(entries, *clipboard, failed, nullptr, progress)) {
        disposePackageFile(*clipboard);
        *clipboard = nullptr;
        return err;
    }
    return noErr;
}

OSErr pasteFromClipboard(PackageFile* clipboard, PackageFile* dest, PackageEntry** first,
                         const OpProgress& progress) {
    if (first) *first = nullptr;
    if (!clipboard) return noErr;
    std::vector<PackageEntry*> all;
    try {
        all.reserve(std::size_t(clipboard->packageCount));
        for (PackageEntry* e = clipboard->packages; e; e = e->next)
            all.push_back(e);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return copyPackages(all, dest, nullptr, first, progress);
}

OSErr duplicatePackages(Entries entries, PackageFile* f, Failures* failed, PackageEntry** first,
                        const OpProgress& progress) {
    if (first) *first = nullptr;
    if (!f) return paramErr;
    std::vector<PackageEntry*> copies, sources;
    if (OSErr err = makeCopies(entries, failed, progress, &copies, &sources)) return err;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const OSErr err = renameDuplicate(copies[i]);
        if (err == memFullErr) {
            for (std::size_t j = i; j < copies.size(); ++j)
                copies[kept++] = copies[j];
            copies.resize(kept);
            disposeCopies(copies);
            return memFullErr;
        }
        if (err) {
            // An image that cannot take the new name is not duplicated.
            addFailure(failed, sources[i], err);
            disposeEntry(copies[i]);
            continue;
        }
        copies[kept++] = copies[i];
    }
    copies.resize(kept);
    PackageEntry* head = appendCopies(f, copies);
    if (first) *first = head;
    return noErr;
}

OSErr deletePackages(PackageFile* f, Entries entries, const OpProgress& progress) {
    if (!f) return paramErr;
    forEachOperand(f, entries, progress, [f](PackageEntry* previous, PackageEntry* e) {
        unlinkAfter(f, previous, e);
        if (e->recordId)
            discardEntry(f, e);
        else
            disposeEntry(e);
        return true;
    });
    return noErr;
}

OSErr revertPackages(PackageFile* f, Entries entries, Failures* failed,
                     const OpProgress& progress) {
    if (!f) return paramErr;
    forEachOperand(f, entries, progress, [f, failed](PackageEntry* previous, PackageEntry* e) {
        if (e->recordId == 0) {
            unlinkAfter(f, previous, e);
            disposeEntry(e);
            return true;
        }
        DisposeHandle(e->image);
        e->image = nullptr;
        e->flags &= ~kModified;
        OSErr err = noErr;
        if (Handle stored = getImage(e, &err)) {
            recomputeDisplayName(e, stored);
            purgeEntry(e); // read again from the file when it is next needed
        } else {
            addFailure(failed, e, err);
            setDisplayName(e, kUnreadableName);
        }
        return false;
    });
    return noErr;
}

OSErr createPackage(PackageFile* f, PackageEntry** out) {
    *out = nullptr;
    if (!f) return paramErr;
    UniqueHandle image;
    {
        PackageRecord empty;
        if (OSErr err = flattenPackage(empty, &image)) return err;
    }
    PackageEntry* e = newEntry("", image.get(), 0, ImageState::modified);
    if (!e) return memFullErr; // the image goes with its holder
    image.release();
    insertEntryAfter(f, lastEntry(f), e);
    *out = e;
    return noErr;
}

bool headerFieldRefuses(int field, int c) {
    return c == ',' || c < 32 || c == 127 || (field == kFieldDesignatorPrefix && c == '.');
}

int headerFieldLimit(int field) {
    switch (field) {
    case kFieldPackageName:
        return 17;
    case kFieldDesignatorPrefix:
        return 8;
    case kFieldShape:
    case kFieldShape + 1:
    case kFieldShape + 2:
    case kFieldShape + 3:
        return 56;
    default:
        return 0;
    }
}

OSErr headerFieldText(int field, std::string_view text, std::string* out) {
    const int limit = headerFieldLimit(field);
    text = TrimBlanks(text);
    if (limit == 0 || text.size() > std::size_t(limit)) return paramErr;
    for (const char c : text)
        if (headerFieldRefuses(field, static_cast<unsigned char>(c))) return paramErr;
    Str255 value(text);
    if (field == kFieldDesignatorPrefix || field == kFieldShape) PStrUpper(value);
    try {
        *out = value.str();
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}

OSErr setHeaderField(PackageEntry* e, int field, std::string_view text) {
    if (!e) return paramErr;
    if (hasOpenEditor(e)) return fBsyErr;
    std::string value;
    if (OSErr err = headerFieldText(field, text, &value)) return err;
    const bool inMemory = e->image != nullptr;
    OSErr err = noErr;
    Handle image = getImage(e, &err);
    if (!image) return err ? err : paramErr;
    PackageRecord r;
    UniqueHandle flat;
    if (!(err = expandImage(image, &r)) && !(err = setPackageField(r, field, value)))
        err = flattenPackage(r, &flat);
    if (err) {
        if (!inMemory) purgeEntry(e);
        return err;
    }
    return commitEdited(e, flat.release());
}

OSErr renamePackage(PackageEntry* e, std::string_view name) {
    return setHeaderField(e, kFieldPackageName, name);
}

OSErr commitEdited(PackageEntry* e, Handle image) {
    if (!e || !image) return paramErr;
    if (OSErr err = setImage(e, image, ImageState::modified, e->recordId)) return err;
    recomputeDisplayName(e);
    return noErr;
}
