// Package files on disk and the entry operations that reach the record file.
#include "model/PackageFileIO.h"

#include "model/Image.h"

#include <new>
#include <utility>
#include <vector>

namespace {

RecordFile* recordsOf(const PackageEntry* e) {
    return e && e->owner ? e->owner->recordFile.get() : nullptr;
}

} // namespace

// --- Entries ----------------------------------------------------------------------------------

Handle getImage(PackageEntry* e, OSErr* err) {
    OSErr ignored;
    if (!err) err = &ignored;
    *err = noErr;
    if (!e) {
        *err = paramErr;
        return nullptr;
    }
    if (e->image || e->recordId == 0) return e->image;
    RecordFile* records = recordsOf(e);
    if (!records) {
        *err = rfNumErr;
        return nullptr;
    }
    UniqueHandle image;
    if ((*err = records->readRecord(e->recordId, &image))) return nullptr;
    e->image = image.release();
    return e->image;
}

OSErr setImage(PackageEntry* e, Handle image, ImageState state, std::uint32_t recordId) {
    if (!e) return paramErr;
    if (state == ImageState::modified) {
        if (e->image != image) DisposeHandle(e->image);
        e->image = image;
        e->flags |= kModified;
        return noErr;
    }
    // The entry now refers to recordId: its old record goes first, and on failure nothing
    // changes (the caller keeps image).
    if (e->recordId && e->recordId != recordId) {
        RecordFile* records = recordsOf(e);
        if (!records) return rfNumErr;
        OSErr err = records->deleteRecord(e->recordId);
        if (!err) err = records->commit();
        if (err) {
            records->rollBack();
            return err;
        }
    }
    if (image != e->image) DisposeHandle(image);
    DisposeHandle(e->image);
    e->image = nullptr;
    e->recordId = recordId;
    e->flags &= ~kModified;
    return noErr;
}

OSErr writeEntry(PackageEntry* e) {
    if (!e) return paramErr;
    if (!(e->flags & kModified)) return noErr;
    RecordFile* records = recordsOf(e);
    if (!records) return rfNumErr;
    // Design note: the one place where we deliberately change the order of the steps. Writing
    // an entry means "old record out, new record in"; we write the new record first and delete
    // the old one after, because that order loses nothing when a write fails: a failure in
    // between leaves the Package in the file twice at worst, never not at all.
    // An image that is not valid is not written, and its stored record is kept: the entry stays
    // modified until an edit makes it valid again.
    if (!imageIsValid(e->image)) return noErr;
    std::uint32_t newId = 0;
    OSErr err = records->writeRecord(kRecordPackage, e->image, &newId);
    if (!err && e->recordId) err = records->deleteRecord(e->recordId);
    if (!err) err = records->commit();
    if (err) {
        // The file as it was: the entry keeps its record and its image.
        records->rollBack();
        return err;
    }
    e->recordId = newId;
    e->flags &= ~kModified;
    return noErr;
}

void purgeEntry(PackageEntry* e) {
    if (!e || (e->flags & kModified) || e->recordId == 0) return;
    DisposeHandle(e->image);
    e->image = nullptr;
}

// --- Package files ----------------------------------------------------------------------------

OSErr readPackageList(PackageFile* f) {
    if (!f || !f->recordFile) return paramErr;
    if (OSErr err = initEntryPool()) return err;
    // Entries are linked at the head while the file streams past, then reversed once.
    OSErr inner = noErr;
    OSErr err = f->recordFile->scanRecords(
        kRecordPackage, [&](const RecordInfo& info, const unsigned char* data) {
            std::string_view name;
            imageNameFromFileBytes(data, info.length, &name);
            PackageEntry* e = newEntry(name, nullptr, info.position, ImageState::stored);
            if (!e) {
                inner = memFullErr;
                return false;
            }
            addEntry(f, e);
            return true;
        });
    reversePackageList(f);
    return err ? err : inner;
}

OSErr openPackageFile(const std::string& path, FilePerm perm, RecordFileProgress progress,
                      PackageFile** out) {
    if (!out) return paramErr;
    *out = nullptr;
    PackageFile* f = newPackageFile();
    if (!f) return memFullErr;
    OSErr err = RecordFile::open(path, perm, &f->recordFile);
    if (!err) {
        f->recordFile->setProgress(std::move(progress));
        err = readPackageList(f);
    }
    if (err) {
        disposePackageFile(f);
        return err;
    }
    *out = f;
    return noErr;
}

OSErr createPackageFile(const std::string& path, RecordFileProgress progress, PackageFile** out) {
    if (!out) return paramErr;
    *out = nullptr;
    if (OSErr err = RecordFile::create(path, "RHWQ", "QPK", "QPKG", 0)) return err;
    return openPackageFile(path, FilePerm::readWrite, std::move(progress), out);
}

OSErr savePackageFile(PackageFile* f) {
    if (!f || !f->recordFile) return paramErr;
    RecordFile& records = *f->recordFile;
    // Saved into a file that is no longer there, the changes would be lost with it.
    if (OSErr err = records.checkIdentity()) return err;
    // The save is one transaction of the record file: the entries change only once it is
    // committed, so that a save that fails leaves the file as it was and every entry as it was.
    // New records first, old records deleted after, so that the new records written one after
    // another share a few large write calls, where a write followed by a delete would cost
    // several calls each. One walk over the list: a library of a million Packages makes each
    // walk count.
    std::vector<std::pair<PackageEntry*, std::uint32_t>> written; // entry, its new record
    OSErr err = noErr;
    for (PackageEntry* e = f->packages; e && !err; e = e->next) {
        const bool edited = f->editors && f->editors->isOpen(e);
        if (edited && (err = f->editors->commit(e))) break;
        if (!(e->flags & kModified)) {
            // Its record stays what it is whatever becomes of the save.
            if (!edited) purgeEntry(e);
            continue;
        }
        if (!imageIsValid(e->image)) continue; // kept as stored, still modified (see writeEntry)
        std::uint32_t newId = 0;
        if ((err = records.writeRecord(kRecordPackage, e->image, &newId))) break;
        try {
            written.emplace_back(e, newId);
        } catch (const std::bad_alloc&) {
            err = memFullErr;
        }
    }
    for (std::size_t i = 0; i < written.size() && !err; ++i)
        if (written[i].first->recordId) err = records.deleteRecord(written[i].first->recordId);
    for (PackageEntry* e = f->discards; e && !err; e = e->next)
        if (e->recordId) err = records.deleteRecord(e->recordId);
    if (!err && records.indexOutOfDate()) err = records.rebuildClassIndex();
    if (!err) err = records.commit();
    if (err) {
        records.rollBack();
        return err;
    }
    // An image is purged as soon as its entry is saved.
    for (const auto& [e, newId] : written) {
        e->recordId = newId;
        e->flags &= ~kModified;
        if (!hasOpenEditor(e)) purgeEntry(e);
    }
    while (PackageEntry* e = f->discards) {
        f->discards = e->next;
        disposeEntry(e);
    }
    return noErr;
}

OSErr revertPackageFile(PackageFile* f) {
    if (!f || !f->recordFile) return paramErr;
    disposeEntryList(f->packages);
    disposeEntryList(f->discards);
    f->packages = nullptr;
    f->discards = nullptr;
    f->packageCount = 0;
    packageListChanged(f);
    return readPackageList(f);
}

OSErr closePackageFileRecords(PackageFile* f, RecordClose how, OSErr* notCompacted) {
    if (notCompacted) *notCompacted = noErr;
    if (!f || !f->recordFile) return paramErr;
    RecordFile& records = *f->recordFile;
    if (how == RecordClose::forced) records.setReadOnly();
    if (!records.isOpen()) return noErr;
    // Nothing is written into a file that is no longer where it was opened.
    if (!records.isReadOnly()) {
        if (OSErr err = records.checkIdentity()) return err;
    }
    return records.close(CloseSync::toDisk, notCompacted);
}
