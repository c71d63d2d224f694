// The record file: create, open and close, the file header and the leader, transactions, and the
// calls that read, write and delete records. The rest of the file's state is kept by the parts
// named in RecordFileInternal.h.
#include "model/RecordFileInternal.h"

#include "model/Image.h"

#include <cstring>
#include <new>

using namespace rf;

namespace {

// A failure scope in which running out of memory is one more failure.
template <class Body> OSErr guarded(Body&& body) {
    return CatchFailures([&] {
        try {
            body();
        } catch (const std::bad_alloc&) {
            FailOSErr(memFullErr);
        }
    });
}

} // namespace

// Position of the first record of that type, 0 when there is none.
std::uint32_t RecordFile::State::findFirst(std::uint8_t type) {
    std::uint32_t found = 0;
    walk([&](std::uint32_t pos, const RecordHeader& h, const unsigned char*) {
        if (h.type != type) return true;
        found = pos;
        return false;
    });
    return found;
}

// Reads the container's state from the file. With repair (an open for writing), an unsound free
// list is rebuilt, a missing index header made and an out-of-date index rebuilt.
void RecordFile::State::load(bool repair) {
    unsigned char head[kFileHeaderSize] = {};
    const std::size_t avail =
        static_cast<std::size_t>(std::min<std::uint64_t>(file.eof(), sizeof head));
    if (avail) readAt(0, head, avail);
    FailOSErr(parseFileHeader(head, avail, file.eof(), &m.header));

    // The leader: behind the header, or in old files the data of the type 254 record.
    if (m.header.oldLayout) {
        RecordHeader h;
        std::uint32_t pos = findFirst(kRecordOldLeader);
        if (!pos) FailOSErr(noLeaderErr);
        FailOSErr(headerAt(pos, &h));
        if (h.length < 4) FailOSErr(noLeaderErr);
        m.leaderPos = pos;
        m.leaderBytes = std::min<std::uint32_t>(h.length, kLeaderSize);
    } else {
        m.leaderPos = kFileHeaderSize;
        m.leaderBytes = std::min<std::uint32_t>(m.header.leaderSize, kLeaderSize);
    }
    readAt(m.leaderPos, m.leader, m.leaderBytes);
    m.freeHead = getBE32(m.leader);

    // The free list head must name a free block of at least 8 bytes inside the records area.
    if (m.freeHead) {
        RecordHeader h;
        const bool sound = headerAt(m.freeHead, &h) == noErr && h.type == kRecordFree &&
                           h.length >= kMinRecordData;
        if (!sound) {
            if (!repair) {
                m.freeHead = 0; // dropped; nothing is allocated in a read-only file
                m.freeLoaded = true;
            } else {
                rebuildFreeListByScan();
            }
        }
    }

    // The index header: the first type 2 record, made when the file has none.
    // One shorter than its two words is ignored.
    m.indexHeaderPos = findFirst(kRecordIndexHeader);
    if (m.indexHeaderPos) {
        m.indexHeaderLength = mustHeaderAt(m.indexHeaderPos).length;
        if (m.indexHeaderLength < 8) m.indexHeaderPos = m.indexHeaderLength = 0;
    }
    const bool headerRead = m.indexHeaderPos != 0;
    if (!m.indexHeaderPos && repair) {
        const unsigned char zero[kIndexHeaderSize] = {};
        m.indexHeaderPos = writeRaw(kRecordIndexHeader, zero, sizeof zero);
        m.indexHeaderLength = kIndexHeaderSize;
    }
    std::uint32_t namedPos = 0, namedCount = 0;
    if (headerRead) {
        unsigned char b[kIndexHeaderSize] = {};
        readAt(m.indexHeaderPos, b, std::min<std::uint32_t>(m.indexHeaderLength, sizeof b));
        namedPos = getBE32(b);
        namedCount = getBE32(b + 4);
        std::memcpy(m.indexReserved, b + 8, 8);
    }

    // The index is current only when the header names a well-formed type 4 record holding the
    // header's entry count. Otherwise it is out of date: the type 3 record the header names, or
    // else the first class index in the file, is the index record that the rebuild replaces.
    // When the header was read from the file, the index is rebuilt now (when writable); a
    // header made just now waits for the close, so that opening a new file adds no index.
    std::uint32_t count = 0;
    RecordHeader named;
    if (namedPos && classIndexAt(namedPos, kRecordClassIndex, &count) && count == namedCount) {
        m.indexPos = namedPos;
        m.indexCount = count;
        m.indexCurrent = true;
        return;
    }
    if (namedPos && headerAt(namedPos, &named) == noErr && named.type == kRecordStaleIndex)
        m.indexPos = namedPos;
    else
        m.indexPos = findFirst(kRecordClassIndex);
    // A rebuild that fails leaves the index out of date, for the close to try again; the file
    // opens all the same.
    if (headerRead && repair) (void)CatchFailures([&] { rebuild(); });
}

// Ends the transaction: what it wrote is the file's, on the disk (with CloseSync::toDisk).
// Without a journal the writes are the file's already; the close flushes them.
OSErr RecordFile::State::commitTransaction(CloseSync sync) {
    if (OSErr err = settle()) return err;
    return journaled ? journal.commit(sync == CloseSync::toDisk) : noErr;
}

// Drops the transaction: the file is as the last commit left it, and the state is read from it
// again before the next call. When the file cannot be put back, the journal stays hot and the
// next call tries again.
OSErr RecordFile::State::rollBackTransaction() {
    pendingLen = 0;
    frontBlock = 0;
    owedLink = false;
    if (!journaled) return noErr;
    if (journal.active()) {
        rollbackOwed = true;
        needReload = true;
    }
    if (!rollbackOwed) return noErr;
    if (OSErr err = journal.rollBack()) return err;
    rollbackOwed = false;
    return noErr;
}

OSErr RecordFile::State::ready() {
    if (rollbackOwed) {
        if (OSErr err = journal.rollBack()) return err;
        rollbackOwed = false;
    }
    if (needReload) {
        // Records deleted before the last commit still call for a compaction at the close.
        const bool deleted = m.changedByDelete;
        m = Meta{};
        if (OSErr err = guarded([&] { load(false); })) return err;
        m.changedByDelete = deleted;
        needReload = false;
    }
    return noErr;
}

// --- RecordFile ---------------------------------------------------------------------------------

RecordFile::RecordFile(std::unique_ptr<State> state) : s_(std::move(state)) {}
// Closing through the destructor completes only what earlier calls reported done; the buffered
// file then closes its descriptor.
RecordFile::~RecordFile() {
    if (s_) s_->finishDeferred();
}

OSErr RecordFile::create(const std::string& path, const char* creator, const char* type,
                         const char fileType[4], std::uint32_t reservedSize) {
    if (std::uint64_t(kFileHeaderSize) + kLeaderSize + reservedSize > kMaxPosition - kMinSplit)
        return paramErr;
    const FSSpec fileSpec = FSSpec::fromPath(path);
    if (OSErr err = FSpCreate(fileSpec, creator, type)) return err;
    BufferedFile file;
    if (OSErr err = file.open(fileSpec, FilePerm::readWrite)) return err;
    // A file open for writing elsewhere is not replaced; the journal of the file replaced, if
    // any, must not roll the new one back.
    if (OSErr err = file.lock()) return err;
    HotJournal hot;
    if (findHotJournal(path, file, &hot) == noErr && !hot.path.empty())
        (void)FSpDelete(FSSpec::fromPath(hot.path));
    std::vector<unsigned char> bytes;
    try {
        bytes.assign(kFileHeaderSize + kLeaderSize + reservedSize, 0);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    std::memcpy(bytes.data(), kSignature.data(), 4);
    putBE16(bytes.data() + 4, kVersion);
    for (int i = 0; i < 4; ++i)
        bytes[6 + i] = static_cast<unsigned char>(fileType ? fileType[i] : '?');
    putBE32(bytes.data() + 10, kLeaderSize);
    putBE32(bytes.data() + 14, reservedSize);
    OSErr err = file.truncate(0);
    if (!err) err = file.write(0, bytes.data(), bytes.size());
    OSErr closeErr = file.close();
    return err ? err : closeErr;
}

OSErr RecordFile::open(const std::string& path, FilePerm perm, std::unique_ptr<RecordFile>* out) {
    if (!out) return paramErr;
    out->reset();
    std::unique_ptr<State> s(new (std::nothrow) State);
    if (!s) return memFullErr;
    s->fileSpec = FSSpec::fromPath(path);
    s->readOnly = perm == FilePerm::readOnly;
    if (OSErr err = s->file.open(s->fileSpec, perm)) return err;
    State* st = s.get();
    HotJournal hot;
    if (s->readOnly) {
        // Read as the rollback would leave it, or not at all.
        if (findHotJournal(path, s->file, &hot) != noErr) return hotJournalErr;
        if (hot.valid) s->file.setReadView(std::move(hot.regions), hot.length);
    } else {
        // One writer at a time; a journal left by one that stopped is rolled back first, and a
        // compacted copy it left is deleted.
        if (OSErr err = s->file.lock()) return err;
        if (OSErr err = findHotJournal(path, s->file, &hot)) return err;
        if (!hot.path.empty()) {
            if (OSErr err = rollBackHotJournal(s->file, hot)) return err;
        }
        const FSSpec copy = FSSpec::fromPath(compactedBeside(FSpResolvedPath(path)));
        FileIdentity id;
        if (FSpGetIdentity(copy, &id) == noErr) (void)FSpDelete(copy);
        s->journaled = true;
        s->journal.attach(&s->file, path);
        s->file.setHold(&s->journal);
    }
    if (OSErr err = guarded([st] { st->load(!st->readOnly); })) {
        st->rollBackTransaction();
        return err; // the buffered file closes the descriptor
    }
    // Repairs that cannot be committed are dropped: the file opens as it is.
    if (st->commitTransaction(CloseSync::toDisk) != noErr) (void)st->rollBackTransaction();
    s->open = true;
    out->reset(new (std::nothrow) RecordFile(std::move(s)));
    return *out ? noErr : memFullErr;
}

OSErr RecordFile::recover(const std::string& path, std::string* what) {
    what->clear();
    BufferedFile file;
    if (OSErr err = file.open(FSSpec::fromPath(path), FilePerm::readWrite)) return err;
    if (OSErr err = file.lock()) return err;
    HotJournal hot;
    if (OSErr err = findHotJournal(path, file, &hot)) return err;
    const FSSpec copy = FSSpec::fromPath(compactedBeside(FSpResolvedPath(path)));
    FileIdentity id;
    if (FSpGetIdentity(copy, &id) == noErr) {
        if (OSErr err = FSpDelete(copy)) return err;
        *what = "removed " + copy.path + ", a compacted copy that was never finished";
    }
    if (!hot.path.empty()) {
        if (OSErr err = rollBackHotJournal(file, hot)) return err;
        if (!what->empty()) *what += "; ";
        if (hot.valid)
            *what += "rolled back " + hot.path + ": " + std::to_string(hot.regions.size()) +
                     (hot.regions.size() == 1 ? " region (" : " regions (") +
                     std::to_string(hot.savedBytes) + " bytes) put back, length " +
                     std::to_string(hot.length);
        else
            *what += "removed " + hot.path + ", which was cut short before the file changed";
    }
    if (what->empty()) *what = "nothing to recover";
    return file.close();
}

std::string RecordFile::journalPath(const std::string& path) {
    return journalBeside(FSpResolvedPath(path));
}

std::string RecordFile::lockHolder(const std::string& path) {
    return FSLockHolder(FSSpec::fromPath(path));
}

OSErr RecordFile::commit(CloseSync sync) {
    if (OSErr err = s_->writable()) return err;
    if (OSErr err = s_->ready()) return err;
    OSErr err = s_->commitTransaction(sync);
    if (err) s_->rollBackTransaction();
    return err;
}

OSErr RecordFile::rollBack() {
    if (OSErr err = s_->writable()) return err;
    return s_->rollBackTransaction();
}

OSErr RecordFile::setJournaling(Journaling journaling) {
    State* s = s_.get();
    if (OSErr err = s->writable()) return err;
    const bool on = journaling == Journaling::on;
    if (on == s->journaled) return noErr;
    if (OSErr err = commit()) return err;
    // What was written straight must be on the disk before a journal takes it for the file's
    // old state.
    if (on) {
        if (OSErr err = s->file.sync()) return err;
    }
    s->journaled = on;
    s->file.setHold(on ? &s->journal : nullptr);
    if (on) s->journal.attach(&s->file, s->fileSpec.path);
    return noErr;
}

OSErr RecordFile::checkIdentity() const {
    FileIdentity open, named;
    if (OSErr err = s_->file.identity(&open)) return err;
    if (FSpGetIdentity(s_->fileSpec, &named) != noErr || !(open == named)) return fileMovedErr;
    return noErr;
}

OSErr RecordFile::iterate(std::uint8_t type, std::uint32_t after, RecordInfo* next) {
    if (!next) return paramErr;
    *next = RecordInfo{};
    if (!s_->open) return rfNumErr;
    if (OSErr err = s_->ready()) return err;
    if (OSErr err = s_->settle()) return err;
    std::uint64_t pos = s_->firstPosition();
    if (after) {
        RecordHeader h;
        if (OSErr err = s_->headerAt(after, &h)) return err;
        pos = nextRecordPosition(after, h);
    }
    while (pos - kRecordHeaderSize < s_->file.eof()) {
        RecordHeader h;
        if (OSErr err = s_->headerAt(pos, &h)) return err;
        if (s_->progress.step) s_->progress.step();
        if (type == kRecordAny || h.type == type) {
            *next = {static_cast<std::uint32_t>(pos), h.length, h.type};
            return noErr;
        }
        pos = nextRecordPosition(pos, h);
    }
    return noErr;
}

OSErr RecordFile::scanRecords(std::uint8_t type, const Visitor& visit) {
    if (!s_->open) return rfNumErr;
    if (OSErr err = s_->ready()) return err;
    if (OSErr err = s_->settle()) return err;
    State* s = s_.get();
    return guarded([&] {
        std::vector<FreeCensus> census;
        const bool complete =
            s->walk([&](std::uint32_t pos, const RecordHeader& h, const unsigned char* d) {
                if (h.type == kRecordFree && h.length >= kMinRecordData)
                    census.push_back({pos, h.length, getBE32(d), getBE32(d + 4)});
                if (type != kRecordAny && h.type != type) return true;
                return visit(RecordInfo{pos, h.length, h.type}, d);
            });
        // A walk over the whole file also shows every free block, which settles the free
        // list without another pass.
        if (complete) s->adoptCensus(census);
    });
}

// Swaps the data of a record of that type to host order in place.
static OSErr swapRecordToHost(std::uint8_t type, char* d, std::size_t len) {
    switch (type) {
    case kRecordPackage:
        return swapImageToHost(d, len);
    case kRecordIndexHeader:
    case kRecordFree:
        if (len >= 8) swapByTemplate(d, "L2");
        return noErr;
    case kRecordClassIndex:
    case kRecordStaleIndex:
        if (len >= 4) swapByTemplate(d, "L");
        for (std::size_t at = 4; at + kIndexEntrySize <= len; at += kIndexEntrySize)
            swapByTemplate(d + at, "L2");
        return noErr;
    case kRecordOldLeader:
        if (len >= 4) swapByTemplate(d, "L");
        return noErr;
    default:
        return noErr;
    }
}

OSErr RecordFile::readRecord(std::uint32_t position, UniqueHandle* data) {
    if (!data) return paramErr;
    data->reset();
    if (!s_->open) return rfNumErr;
    if (OSErr err = s_->ready()) return err;
    if (OSErr err = s_->settle()) return err;
    RecordHeader h;
    if (OSErr err = s_->headerAt(position, &h)) return err;
    if (h.length > 0x7FFFFFFFu) return memFullErr;
    UniqueHandle block(NewHandle(static_cast<Size>(h.length)));
    if (!block) return memFullErr;
    if (OSErr err = s_->file.read(position, block.data(), h.length)) return err;
    if (OSErr err = swapRecordToHost(h.type, block.data(), h.length)) return err;
    *data = std::move(block);
    return noErr;
}

bool imageNameFromFileBytes(const unsigned char* d, std::size_t len, std::string_view* name) {
    *name = "?";
    if (!d || len < kImageHeaderSize) return false;
    const std::size_t text = classEntryOffset(getBE16(d + 4));
    const std::size_t textLength = getBE16(d + 6);
    if (text + textLength > len) return false;
    std::string_view field(reinterpret_cast<const char*>(d + text), textLength);
    *name = TrimBlanks(field.substr(0, field.find('\t')));
    return true;
}

bool imageNameFromFileBytes(const unsigned char* d, std::size_t len, Str255* name) {
    std::string_view view;
    const bool ok = imageNameFromFileBytes(d, len, &view);
    *name = Str255(view);
    return ok;
}

Str255 RecordFile::readName(std::uint32_t position) {
    RecordHeader h;
    Str255 name("?");
    if (!s_->open || s_->ready() || s_->settle() || s_->headerAt(position, &h) ||
        h.type != kRecordPackage)
        return name;
    // Only the image header, the class table and the field text are read, which the read
    // buffer holds however large the record.
    static_assert(classEntryOffset(0xFFFF) + 0xFFFF <= BufferedFile::capacity());
    OSErr err;
    std::size_t len = h.length;
    if (len > kImageHeaderSize) {
        const unsigned char* head = s_->file.peek(position, kImageHeaderSize, &err);
        if (!head) return name;
        len = std::min<std::size_t>(len, classEntryOffset(getBE16(head + 4)) + getBE16(head + 6));
    }
    if (const unsigned char* d = s_->file.peek(position, len, &err))
        imageNameFromFileBytes(d, len, &name);
    return name;
}

OSErr RecordFile::writeRecord(std::uint8_t type, Handle image, std::uint32_t* position) {
    if (position) *position = 0;
    if (OSErr err = s_->writable()) return err;
    if (OSErr err = s_->ready()) return err;
    if (!image || !position) return paramErr;
    // Types 2 to 4 and from 251 up belong to the container.
    if (type == kRecordAny || (type >= kRecordIndexHeader && type <= kRecordClassIndex) ||
        type >= kFirstContainerType)
        return paramErr;
    const std::size_t len = static_cast<std::size_t>(GetHandleSize(image));
    if (len > kMaxPosition) return paramErr;
    State* s = s_.get();
    return guarded(
        [&] { *position = s->writeImage(type, image->data, static_cast<std::uint32_t>(len)); });
}

OSErr RecordFile::flushWrites() {
    if (!s_->open) return rfNumErr;
    if (OSErr err = s_->ready()) return err;
    return s_->settle();
}

OSErr RecordFile::deleteRecord(std::uint32_t position) {
    if (OSErr err = s_->writable()) return err;
    if (OSErr err = s_->ready()) return err;
    if (OSErr err = s_->settle()) return err;
    RecordHeader h;
    if (OSErr err = s_->headerAt(position, &h)) return err;
    if (h.type != kRecordPackage) return paramErr;
    State* s = s_.get();
    return guarded([&] {
        s->markOutOfDate();
        s->freeRecord(position, h);
        s->m.changedByDelete = true;
    });
}

OSErr RecordFile::markIndexOutOfDate() {
    if (OSErr err = s_->writable()) return err;
    if (OSErr err = s_->ready()) return err;
    State* s = s_.get();
    return guarded([&] {
        s->flushPending();
        s->markOutOfDate();
    });
}

OSErr RecordFile::rebuildClassIndex() {
    if (OSErr err = s_->writable()) return err;
    if (OSErr err = s_->ready()) return err;
    State* s = s_.get();
    return guarded([&] {
        s->flushPending();
        s->rebuild();
    });
}

OSErr RecordFile::close(CloseSync sync, OSErr* notCompacted) {
    if (notCompacted) *notCompacted = noErr;
    State* s = s_.get();
    if (!s->open) return rfNumErr;
    if (s->readOnly) {
        OSErr err = s->file.close();
        // The descriptor is released even then: open it again so that the file stays usable.
        if (err && s->file.open(s->fileSpec, FilePerm::readOnly) == noErr) return err;
        s->open = false;
        return err;
    }
    if (OSErr err = s->ready()) return err;
    // Free blocks that no link names (left by a failed write) are compacted away too. A
    // compaction that cannot be made leaves the file as it is, and the close goes on without.
    if ((s->m.freeHead || !s->m.freeTrusted) && s->m.changedByDelete) {
        if (OSErr err = s->commitTransaction(sync)) {
            s->rollBackTransaction();
            return err;
        }
        const OSErr err = s->compactBeside(sync);
        if (err == noErr) return noErr;
        if (notCompacted) *notCompacted = err;
    }
    OSErr err = guarded([&] {
        s->flushPending();
        if (!s->m.indexCurrent) s->rebuild();
        s->writeIndexHeader();
        if (s->m.leaderChanged) {
            FailOSErr(s->putLeaderHead(s->m.freeHead));
            s->m.leaderChanged = false;
        }
    });
    if (!err) err = s->commitTransaction(sync);
    if (err) {
        s->rollBackTransaction();
        return err;
    }
    // With a journal everything is on the disk, and releasing the descriptor cannot lose
    // anything now; without one, the close flushes what was written straight.
    if (!s->journaled && sync == CloseSync::toDisk) {
        if (OSErr err = s->file.sync()) return err;
    }
    // Every write has reached the file (a failed one was returned above): what is left to do
    // is to release the descriptor, whose result changes nothing of the file.
    (void)s->file.close();
    s->open = false;
    return noErr;
}

void RecordFile::setReadOnly() {
    // Without a journal the records appended so far stay in the file; should their block fail to
    // be written, the file is cut back to where it was well formed. With one, what no commit
    // made the file's is rolled back.
    s_->finishDeferred();
    s_->readOnly = true;
}
bool RecordFile::isReadOnly() const {
    return s_->readOnly;
}
bool RecordFile::isOpen() const {
    return s_->open;
}
bool RecordFile::indexOutOfDate() const {
    return !s_->m.indexCurrent;
}
std::uint32_t RecordFile::indexEntryCount() const {
    return s_->m.indexCurrent ? s_->m.indexCount : 0;
}
std::uint64_t RecordFile::fileSize() const {
    return s_->pendingLen && !s_->frontBlock ? s_->pendingStart + s_->pendingLen : s_->file.eof();
}
void RecordFile::setProgress(RecordFileProgress progress) {
    s_->progress = std::move(progress);
}
const std::string& RecordFile::path() const {
    return s_->fileSpec.path;
}
const std::string& RecordFile::fileName() const {
    return s_->fileSpec.name;
}
