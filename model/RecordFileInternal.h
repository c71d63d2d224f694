// Internals of the record file that its parts share: the in-memory free list, the container
// state, and the open file's state with its operations. Each part of RecordFile::State is
// defined in its own file: RecordFile.cpp (open, header, leader, transactions),
// RecordFileFreeList.cpp, RecordFileAppend.cpp, RecordFileIndex.cpp, RecordFileCompact.cpp and
// RecordFileJournal.cpp (the rollback journal).
//
// Transactions. A file opened for writing changes in transactions: the first write begins one,
// and commitTransaction (the end of a Save, of a Close, of the repairs an open makes) ends it.
// The rollback journal (RecordFileJournal.h) makes each one all or nothing, whenever the program
// or the machine stops: the writes over the bytes the file had are held in memory and reach the
// file only after the journal holds those bytes' old contents and is on the disk; records
// appended past the old end go to the file at once, once the journal (which holds the old
// length) is on the disk. A failed transaction is rolled back (rollBackTransaction) and the
// container's state read again from the file. Compaction does not use the journal: it writes the
// compacted file beside the old one, flushes it and renames it over the old one.
//
// Write ordering. Every change is also made so that the file is well formed after each single
// write call, which keeps a file whose writes go straight to it (an import into a new file, made
// without a journal) sound should the program stop:
//  - a free block leaves the list (one link write) before its bytes are reused; a record placed
//    in a block that is split takes the front of the block, written in one call together with
//    the header, size and link of the free block that the rest becomes, which then takes the
//    old block's place on the list (one more link write); a freed record is written in full as
//    a free block before it joins the list. In between each is a free block that no list
//    names, which costs space and nothing else (a rebuild by scan finds it);
//  - a record is written with its header in one call, and only where nothing names it yet;
//    records appended at the end of the file one after another are collected and written as
//    one block of whole records, before any other write, so the order of the changes stands;
//  - the index header is set to "out of date" and the class index freed before any package
//    record is written or deleted, and a new class index is written only after every class link
//    is right, then named by the index header;
//  - a failed write is undone at once where it left something half done (the old bytes are
//    written back, an append is cut off again).
// Without a journal, records still in the append block when the program dies are lost (as if
// their writes had not been made), and the order survives the program stopping, not the machine
// losing power before the system has written its cache.
#pragma once
#include "model/RecordFile.h"
#include "model/RecordFileBuffer.h"
#include "model/RecordFileFormat.h"
#include "model/RecordFileJournal.h"
#include "toolbox/core/Failure.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace rf {

struct FreeNode {
    std::uint32_t size; // data bytes of the free block
    std::uint32_t next; // the next block on the list, 0 at the end
    std::uint32_t prev; // the block whose link names this one, 0 for the list head
};

// The free list in memory, as it is on disk, so that allocation needs no reads. It also knows
// what lets an allocation skip walking the list when no block can fit: an upper bound on the
// largest block, and how many listed blocks are directly followed by another listed block (only
// those could merge into something larger).
class FreeMirror {
public:
    void clear() {
        nodes_.clear();
        byEnd_.clear();
        adjacent_ = 0;
        maxBound_ = 0;
    }
    std::size_t size() const { return nodes_.size(); }
    bool contains(std::uint32_t p) const { return nodes_.count(p) != 0; }
    const FreeNode& at(std::uint32_t p) const { return nodes_.at(p); }
    void setNext(std::uint32_t p, std::uint32_t next) { nodes_.at(p).next = next; }
    void setPrev(std::uint32_t p, std::uint32_t prev) { nodes_.at(p).prev = prev; }
    void reserve(std::size_t n) {
        nodes_.reserve(n);
        byEnd_.reserve(n);
    }

    void add(std::uint32_t p, const FreeNode& n) {
        nodes_[p] = n;
        touch(p, n.size, +1);
        maxBound_ = std::max(maxBound_, n.size);
    }
    void erase(std::uint32_t p) {
        touch(p, nodes_.at(p).size, -1);
        nodes_.erase(p);
    }
    void resize(std::uint32_t p, std::uint32_t size) {
        FreeNode& n = nodes_.at(p);
        touch(p, n.size, -1);
        n.size = size;
        touch(p, size, +1);
        maxBound_ = std::max(maxBound_, size);
    }

    bool mayMerge() const { return adjacent_ != 0; }
    std::uint32_t maxBound() const { return maxBound_; }
    void setMaxBound(std::uint32_t bound) { maxBound_ = bound; }

private:
    static std::uint64_t behind(std::uint32_t p, std::uint32_t size) {
        return std::uint64_t(p) + size + kRecordHeaderSize; // data position of the next record
    }
    // Adds (+1) or removes (-1) the block at p and the neighbours it has on the list.
    void touch(std::uint32_t p, std::uint32_t size, int sign) {
        const std::uint64_t after = behind(p, size);
        const std::size_t pairs =
            std::size_t(after <= kMaxPosition && nodes_.count(std::uint32_t(after))) +
            byEnd_.count(p);
        adjacent_ = sign > 0 ? adjacent_ + pairs : adjacent_ - pairs;
        if (sign > 0)
            byEnd_[after] = p;
        else
            byEnd_.erase(after);
    }

    std::unordered_map<std::uint32_t, FreeNode> nodes_;
    std::unordered_map<std::uint64_t, std::uint32_t> byEnd_; // data position behind -> block
    std::size_t adjacent_ = 0;
    std::uint32_t maxBound_ = 0;
};

// The container's state that compaction may have to put back.
struct Meta {
    FileHeader header;
    std::uint64_t leaderPos = kFileHeaderSize; // first byte of the leader
    unsigned char leader[kLeaderSize] = {};    // the leader as read (only the head ever changes)
    std::uint32_t leaderBytes = 0;             // bytes of leader[] that the file holds
    std::uint32_t freeHead = 0;
    bool leaderChanged = false;

    std::uint32_t indexHeaderPos = 0;    // data position of the type 2 record; 0 = none
    std::uint32_t indexHeaderLength = 0; // its data length (16 in every file this code makes)
    unsigned char indexReserved[8] = {};
    std::uint32_t indexPos = 0; // the class index record (type 4, or a type 3 awaiting rebuild)
    std::uint32_t indexCount = 0;
    bool indexCurrent = false; // the index record and the class links describe the file
    bool changedByDelete = false;

    // A copy of the free list in memory, so that allocation needs no reads. Loaded on first use.
    bool freeLoaded = false;
    bool freeTrusted = false; // every free block of the file is on the list
    FreeMirror freeNodes;
};

// A free block as a full scan of the file meets it: its position, data length, and the size and
// link its data holds.
struct FreeCensus {
    std::uint32_t pos, length, sizeField, next;
};

class ClassChains; // RecordFileIndex.cpp
struct RecordRun;

} // namespace rf

struct RecordFile::State {
    using Meta = rf::Meta;
    using FreeCensus = rf::FreeCensus;
    using ClassChains = rf::ClassChains;
    using RecordRun = rf::RecordRun;
    using RecordHeader = rf::RecordHeader;

    FSSpec fileSpec;
    BufferedFile file;
    bool open = false;
    bool readOnly = true;
    RecordFileProgress progress;
    Meta m;

    // The journal of the file's transactions; journaled is false for a new file that an import
    // fills. After a rollback the container's state is read again (needReload); a rollback that
    // failed leaves the journal hot and is tried again before anything else (rollbackOwed).
    rf::Journal journal;
    bool journaled = false;
    bool rollbackOwed = false;
    bool needReload = false;

    // Records not yet written, which reach the file as one block (see flushPending): either
    // appended at the end of the file, following its last byte (pendingStart) in order, or
    // (frontBlock != 0) placed one behind the other from the front of the free block
    // frontBlock, starting at its header (pendingStart). The buffer has room behind the records
    // for the header, size and link of the free block that the rest of frontBlock becomes.
    static constexpr std::size_t kAppendBlock = std::size_t(256) << 10;
    std::unique_ptr<unsigned char[]> pending;
    std::size_t pendingLen = 0;
    std::uint64_t pendingStart = 0;
    std::uint32_t frontBlock = 0;
    std::uint32_t frontSize = 0; // the free block's size on disk
    bool frontRest = false;      // some of the block is left behind the records
    std::uint32_t frontPrev = 0; // with no rest: the block's neighbours on the list
    std::uint32_t frontNext = 0;
    // A link that failed to be written after the records in front of a free block were: the
    // free block left behind them is on the list in memory, and settle writes the link first.
    bool owedLink = false;
    std::uint32_t owedPrev = 0, owedRest = 0, owedNext = 0; // owedNext: the link on disk
    // Reused for every record written in place, so that a write allocates nothing.
    std::vector<unsigned char> imageBytes, recordBytes;

    // rfNumErr once closed, permErr while read-only: what refuses a call that would change the
    // file.
    OSErr writable() const { return !open ? rfNumErr : readOnly ? permErr : noErr; }

    // --- Reading (RecordFile.cpp) --------------------------------------------------------------

    std::uint64_t firstPosition() const { return m.header.recordsStart + rf::kRecordHeaderSize; }

    void readAt(std::uint64_t pos, void* dst, std::size_t len) {
        FailOSErr(file.read(pos, dst, len));
    }
    // The header of the record whose data is at pos, checked against the file.
    OSErr headerAt(std::uint64_t pos, RecordHeader* h) {
        if (pos < firstPosition() || pos > rf::kMaxPosition) return paramErr;
        unsigned char b[rf::kRecordHeaderSize];
        if (OSErr err = file.read(pos - rf::kRecordHeaderSize, b, sizeof b)) return err;
        *h = rf::parseRecordHeader(b);
        if (h->headerLength < rf::kRecordHeaderSize) return paramErr;
        if (pos + h->span() > file.eof()) return eofErr;
        return noErr;
    }
    RecordHeader mustHeaderAt(std::uint64_t pos) {
        RecordHeader h;
        FailOSErr(headerAt(pos, &h));
        return h;
    }
    // Visits the records from the first; visit(pos, header, data in file order) returns false to
    // stop. Returns true when the walk reached the end of the file.
    template <class Visit> bool walk(Visit&& visit) {
        std::vector<unsigned char> large;
        std::uint64_t pos = firstPosition();
        const std::uint64_t eof = file.eof();
        while (pos - rf::kRecordHeaderSize < eof) {
            if (pos > rf::kMaxPosition) FailOSErr(paramErr);
            OSErr err;
            const unsigned char* p =
                file.peek(pos - rf::kRecordHeaderSize, rf::kRecordHeaderSize, &err);
            if (!p) FailOSErr(err);
            const RecordHeader h = rf::parseRecordHeader(p);
            if (h.headerLength < rf::kRecordHeaderSize) FailOSErr(paramErr);
            if (pos + h.span() > eof) FailOSErr(eofErr);
            const unsigned char* data;
            if (rf::kRecordHeaderSize + std::size_t(h.length) <= BufferedFile::capacity()) {
                data =
                    file.peek(pos - rf::kRecordHeaderSize, rf::kRecordHeaderSize + h.length, &err);
                if (!data) FailOSErr(err);
                data += rf::kRecordHeaderSize;
            } else {
                large.resize(h.length);
                readAt(pos, large.data(), h.length);
                data = large.data();
            }
            if (progress.step) progress.step();
            if (!visit(static_cast<std::uint32_t>(pos), h, data)) return false;
            pos = rf::nextRecordPosition(pos, h);
        }
        return true;
    }
    std::uint32_t findFirst(std::uint8_t type);

    // --- Writing ----------------------------------------------------------------------------

    // Every write but the block's own goes through here: the block reaches the file first.
    // replaced: the bytes the write replaces, when they are at hand (see BufferedFile::write).
    OSErr fileWrite(std::uint64_t pos, const void* src, std::size_t len,
                    const void* replaced = nullptr) {
        if (OSErr err = settle()) return err;
        return file.write(pos, src, len, replaced);
    }
    void writeAt(std::uint64_t pos, const void* src, std::size_t len,
                 const void* replaced = nullptr) {
        FailOSErr(fileWrite(pos, src, len, replaced));
    }
    // Puts back bytes after a failed write; a second failure leaves what the first left.
    void restoreBytes(std::uint64_t pos, const void* src, std::size_t len) {
        (void)file.write(pos, src, len);
    }

    // --- The free list and record allocation (RecordFileFreeList.cpp) --------------------------

    OSErr putLeaderHead(std::uint32_t head);
    void syncLeaderHead();
    OSErr putLink(std::uint32_t pred, std::uint32_t next, std::uint32_t old);
    bool loadFreeListFromDisk();
    void adoptCensus(const std::vector<FreeCensus>& census);
    void rebuildFreeListByScan();
    void ensureFreeList();
    void unlinkFree(std::uint32_t p);
    void pushFree(std::uint32_t p, std::uint32_t size);
    void mergeFollowing(std::uint32_t p);
    std::uint32_t findFit(std::uint32_t need);
    std::uint32_t placeInFreeBlock(std::uint32_t p, std::uint8_t type, const unsigned char* data,
                                   std::uint32_t len);
    void replaceFree(std::uint32_t p, std::uint32_t rest, std::uint32_t restSize);
    OSErr overwriteFreeBlock(std::uint32_t p, std::uint32_t size, std::uint32_t prev,
                             std::uint32_t next, unsigned char* bytes, std::size_t len,
                             std::uint32_t rest, bool* unlisted);
    void writeOwedLink();
    std::uint32_t appendRecord(std::uint8_t type, const unsigned char* data, std::uint32_t len);
    std::uint32_t writeRaw(std::uint8_t type, const unsigned char* data, std::uint32_t len);
    void freeRecord(std::uint32_t pos, const RecordHeader& h);

    // --- The append block (RecordFileAppend.cpp) -----------------------------------------------

    OSErr settle() {
        if (pendingLen == 0 && !owedLink) return noErr;
        return CatchFailures([&] { flushPending(); });
    }
    bool appendsAtEnd(std::uint32_t need) const;
    unsigned char* beginAppend(std::uint8_t type, std::uint32_t len, std::uint32_t* position);
    void cancelAppend(std::uint32_t len);
    void flushPending();
    void flushFront();
    void finishDeferred();
    std::uint32_t writeImage(std::uint8_t type, const char* src, std::uint32_t len);

    // --- The index (RecordFileIndex.cpp) -------------------------------------------------------

    void writeIndexHeader();
    void markOutOfDate();
    bool classIndexAt(std::uint32_t pos, std::uint8_t wantType, std::uint32_t* count);
    void rebuild();
    void relinkBackward(ClassChains& chains, const std::vector<RecordRun>& runs);

    // --- Open, transactions and compaction (RecordFile.cpp, RecordFileCompact.cpp) -------------

    void load(bool repair);
    OSErr commitTransaction(CloseSync sync);
    OSErr rollBackTransaction();
    OSErr ready(); // a rollback still owed, and the reload after one, are done first
    void compactInto(BufferedFile& out);
    OSErr compactBeside(CloseSync sync);
};
