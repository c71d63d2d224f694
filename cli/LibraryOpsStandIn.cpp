// The stand-in library operations: copies appended as Paste appends them, deletes to the
// discard list, and a header field set under the package editor's rules.
#include "cli/LibraryOpsStandIn.h"

#include "model/Image.h"
#include "model/Package.h"
#include "model/PackageFileIO.h"

OSErr copyPackages(Entries entries, PackageFile* dest, Failures* failed, PackageEntry** first) {
    if (first) *first = nullptr;
    PackageEntry* last = dest->packages;
    while (last && last->next)
        last = last->next;
    for (PackageEntry* e : entries) {
        OSErr err = noErr;
        Handle image = getImage(e, &err);
        if (!image) {
            failed->push_back({e, err});
            continue;
        }
        Handle copy = HandToHand(image);
        purgeEntry(e);
        if (!copy) return memFullErr;
        PackageEntry* c = newEntry(displayNameView(e), copy, 0, ImageState::modified);
        if (!c) {
            DisposeHandle(copy);
            return memFullErr;
        }
        insertEntryAfter(dest, last, c);
        last = c;
    }
    return noErr;
}

OSErr deletePackages(PackageFile* f, Entries entries) {
    for (PackageEntry* e : entries) {
        removeEntry(f, e);
        if (e->recordId)
            discardEntry(f, e);
        else
            disposeEntry(e);
    }
    return noErr;
}

int headerFieldLimit(int field) {
    return field == 1 ? 17 : field == 2 ? 8 : field >= 3 && field <= 6 ? 56 : 0;
}

OSErr headerFieldText(int field, std::string_view text, std::string* out) {
    const int limit = headerFieldLimit(field);
    text = TrimBlanks(text);
    if (limit == 0 || text.size() > std::size_t(limit)) return paramErr;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == ',' || c < 32 || c == 127 || (field == 2 && c == '.')) return paramErr;
    }
    Str255 value(text);
    if (field == 2 || field == 3) PStrUpper(value);
    *out = value.str();
    return noErr;
}

OSErr setHeaderField(PackageEntry* e, int field, std::string_view text) {
    std::string value;
    if (OSErr err = headerFieldText(field, text, &value)) return err;
    OSErr err = noErr;
    Handle image = getImage(e, &err);
    if (!image) return err;
    PackageRecord r;
    UniqueHandle flat;
    if (!(err = expandImage(image, &r)) && !(err = setPackageField(r, field, value)))
        err = flattenPackage(r, &flat);
    if (err) return err;
    setImage(e, flat.release(), ImageState::modified, e->recordId);
    recomputeDisplayName(e);
    return noErr;
}
