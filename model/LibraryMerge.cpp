// The three-way merge of package files. It runs in two passes over the package lists: the first
// reads and compares images and decides, making every new image and entry the result needs;
// the second, which cannot fail, relinks the package list of ours. So an error leaves ours as it
// was, and no more than three images are read at a time besides those the result takes.
#include "model/LibraryMerge.h"

#include "model/Image.h"
#include "model/LibraryOps.h"

#include <cstring>
#include <new>
#include <unordered_map>

namespace {

using NameIndex = std::unordered_map<std::string, std::vector<PackageEntry*>>;

// Every entry of the list under its display name, in list order.
void indexByName(PackageFile* f, NameIndex* out) {
    for (PackageEntry* e = f->packages; e; e = e->next)
        (*out)[std::string(displayNameView(e))].push_back(e);
}

PackageEntry* occurrence(const NameIndex& index, const std::string& name, std::size_t k) {
    const auto it = index.find(name);
    return it != index.end() && k < it->second.size() ? it->second[k] : nullptr;
}

// The image of an entry while it is compared; an image read for it from the file goes again.
class LoadedImage {
public:
    LoadedImage(PackageEntry* e, OSErr* err) : e_(e) {
        if (e && !*err) image_ = getImage(e, err);
    }
    ~LoadedImage() {
        if (e_) purgeEntry(e_);
    }
    LoadedImage(const LoadedImage&) = delete;
    LoadedImage& operator=(const LoadedImage&) = delete;
    Handle get() const { return image_; }

private:
    PackageEntry* e_;
    Handle image_ = nullptr;
};

bool same(const LoadedImage& a, const LoadedImage& b) {
    return a.get() && b.get() && sameImageContents(a.get(), b.get());
}

// Entries made for the result; disposed of unless the result takes them.
struct NewEntries {
    std::vector<PackageEntry*> entries;
    ~NewEntries() {
        for (PackageEntry* e : entries)
            disposeEntry(e);
    }
};

// A copy of an image, appended to copies.
OSErr copyImage(Handle image, std::vector<UniqueHandle>* copies) {
    UniqueHandle copy(HandToHand(image));
    if (!copy.get()) return memFullErr;
    copies->push_back(std::move(copy));
    return noErr;
}

// A copy of e, as Paste makes it, appended to made.
OSErr addCopy(PackageEntry* e, NewEntries* made) {
    made->entries.reserve(made->entries.size() + 1);
    PackageEntry* c = nullptr;
    if (OSErr err = copyEntry(e, &c)) return err;
    made->entries.push_back(c);
    return noErr;
}

// keep: as it is; take: their image; drop: deleted; rewrite: its image written again, after
// the packages before it, so that the file keeps our order.
enum class Outcome : char { keep, take, drop, rewrite };

// A package list is read back in the order of the records in the file, and a save writes each
// changed package as a new record after the others. So that the packages after the first one
// taken from theirs keep their places behind it, their images are loaded to be written again.
// On failure the images loaded are dropped again.
OSErr loadImagesToRewrite(PackageFile* ours, std::vector<Outcome>* outcome) {
    std::size_t row = 0;
    PackageEntry* e = ours->packages;
    while (e && (*outcome)[row] != Outcome::take) {
        e = e->next;
        ++row;
    }
    OSErr err = noErr;
    for (; e && !err; e = e->next, ++row) {
        if ((*outcome)[row] != Outcome::keep) continue;
        if (getImage(e, &err)) (*outcome)[row] = Outcome::rewrite;
    }
    if (err) {
        row = 0;
        for (e = ours->packages; e; e = e->next, ++row)
            if ((*outcome)[row] == Outcome::rewrite) purgeEntry(e);
    }
    return err;
}

OSErr merge(PackageFile* base, PackageFile* ours, PackageFile* theirs, MergeReport* report) {
    NameIndex baseIndex, theirsIndex;
    indexByName(base, &baseIndex);
    indexByName(theirs, &theirsIndex);
    std::unordered_map<std::string, std::size_t> oursCount;

    // Pass 1 over ours: what becomes of each package, with the images taken from theirs.
    std::vector<Outcome> outcome(static_cast<std::size_t>(ours->packageCount), Outcome::keep);
    std::vector<UniqueHandle> taken; // the images taken from theirs, in the order of ours
    std::size_t row = 0;
    OSErr err = noErr;
    for (PackageEntry* o = ours->packages; o && !err; o = o->next, ++row) {
        const std::string name(displayNameView(o));
        const std::size_t k = oursCount[name]++;
        PackageEntry* b = occurrence(baseIndex, name, k);
        PackageEntry* t = occurrence(theirsIndex, name, k);
        if (!t && !b) continue; // ours alone added it
        LoadedImage bi(b, &err), oi(o, &err), ti(t, &err);
        if (err) break;
        const bool oursChanged = !b || !same(oi, bi);
        MergeConflict conflict{name, static_cast<int>(k + 1), MergeConflictKind::changedBoth};
        if (!t) { // they deleted it
            if (!oursChanged) {
                outcome[row] = Outcome::drop;
                ++report->deleted;
                continue;
            }
            conflict.kind = MergeConflictKind::changedOursDeleted;
        } else if (b && same(ti, bi)) {
            continue; // they left it alone
        } else if (!oursChanged) {
            err = copyImage(ti.get(), &taken);
            outcome[row] = Outcome::take;
            ++report->taken;
            continue;
        } else if (same(oi, ti)) {
            continue; // the same change on both sides
        }
        report->conflicts.push_back(std::move(conflict));
    }

    // Pass 1 over theirs: what they added, and what they changed that we deleted.
    NewEntries added;
    std::unordered_map<std::string, std::size_t> theirsCount;
    for (PackageEntry* t = theirs->packages; t && !err; t = t->next) {
        const std::string name(displayNameView(t));
        const std::size_t k = theirsCount[name]++;
        const auto matched = oursCount.find(name);
        if (matched != oursCount.end() && k < matched->second) continue;
        PackageEntry* b = occurrence(baseIndex, name, k);
        LoadedImage bi(b, &err), ti(t, &err);
        if (err) break;
        if (!b) {
            err = addCopy(t, &added);
            ++report->added;
        } else if (!same(ti, bi)) {
            report->conflicts.push_back(
                {name, static_cast<int>(k + 1), MergeConflictKind::deletedOursChanged});
        }
    }
    if (!err) err = loadImagesToRewrite(ours, &outcome);
    if (err) return err;

    // Pass 2: the new package list of ours.
    PackageEntry** link = &ours->packages;
    auto take = taken.begin();
    row = 0;
    while (PackageEntry* o = *link) {
        switch (outcome[row++]) {
        case Outcome::keep:
            link = &o->next;
            break;
        case Outcome::rewrite:
            setImage(o, o->image, ImageState::modified, 0);
            link = &o->next;
            break;
        case Outcome::take:
            setImage(o, (take++)->release(), ImageState::modified, 0);
            recomputeDisplayName(o);
            link = &o->next;
            break;
        case Outcome::drop:
            *link = o->next;
            o->next = nullptr;
            --ours->packageCount;
            if (o->recordId)
                discardEntry(ours, o);
            else
                disposeEntry(o);
            break;
        }
    }
    for (PackageEntry* a : added.entries) {
        a->owner = ours;
        *link = a;
        link = &a->next;
        ++ours->packageCount;
    }
    added.entries.clear();
    packageListChanged(ours);
    return noErr;
}

} // namespace

bool sameImageContents(Handle a, Handle b) {
    if (!a || !b || GetHandleSize(a) != GetHandleSize(b)) return false;
    const auto n = static_cast<std::size_t>(GetHandleSize(a));
    ImageHeader header;
    std::size_t from = 0;
    if (readImageHeader(a->data, n, &header)) {
        // The 4-byte class link at the start of each class entry is left out.
        for (int i = 0; i < header.classCount && classEntryOffset(i + 1) <= n; ++i) {
            const std::size_t link = classEntryOffset(i);
            if (std::memcmp(a->data + from, b->data + from, link - from) != 0) return false;
            from = link + 4;
        }
    }
    return std::memcmp(a->data + from, b->data + from, n - from) == 0;
}

OSErr mergeLibraries(PackageFile* base, PackageFile* ours, PackageFile* theirs,
                     MergeReport* report) {
    *report = {};
    try {
        return merge(base, ours, theirs, report);
    } catch (const std::bad_alloc&) {
        *report = {};
        return memFullErr;
    }
}
