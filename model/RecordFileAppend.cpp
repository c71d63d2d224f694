// The record file's append block: records that go to the end of the file (or into the front of
// one free block) are collected in memory and written as one block of whole records.
//
// An import writes a million records one after the other at the end of the file. Each goes
// into the append block instead of making its own write call; the block is written when it
// is full and before anything else touches the file, so the order of the write calls is the
// order of the changes, and a block of whole records appended in one call keeps the file
// well formed as a single record did. Records in the block are named by their positions
// already; they are lost only if the program stops before the block is written.
#include "model/RecordFileInternal.h"

#include "model/Image.h"

#include <cstring>

using namespace rf;

// Whether a record of need bytes goes to the end of the file with nothing else to write
// first: the index is already out of date and no free block can hold it.
bool RecordFile::State::appendsAtEnd(std::uint32_t need) const {
    return m.freeLoaded && m.freeTrusted && !m.indexCurrent && !m.indexPos &&
           need > m.freeNodes.maxBound() && !m.freeNodes.mayMerge();
}

// Room in the append block for a record of len data bytes, its header written: returns
// where its data goes (the caller fills it in file order) and its position. nullptr when
// the record is larger than the block; it is then written alone.
unsigned char* RecordFile::State::beginAppend(std::uint8_t type, std::uint32_t len,
                                              std::uint32_t* position) {
    const std::uint32_t slack = minimumSlack(len);
    const std::size_t total = std::size_t(kRecordHeaderSize) + len + slack;
    if (total > kAppendBlock) return nullptr;
    if (frontBlock || owedLink || pendingLen + total > kAppendBlock) flushPending();
    if (!pending) {
        pending.reset(new unsigned char[kAppendBlock]);
    }
    if (pendingLen == 0) pendingStart = file.eof();
    const std::uint64_t at = pendingStart + pendingLen;
    if (at + total > kMaxPosition) FailOSErr(dskFulErr);
    unsigned char* rec = pending.get() + pendingLen;
    encodeRecordHeader(rec, type, slack, len);
    std::memset(rec + kRecordHeaderSize + len, 0, slack);
    pendingLen += total;
    *position = static_cast<std::uint32_t>(at + kRecordHeaderSize);
    return rec + kRecordHeaderSize;
}

// Takes back the record that beginAppend last placed.
void RecordFile::State::cancelAppend(std::uint32_t len) {
    pendingLen -= kRecordHeaderSize + len + minimumSlack(len);
}

// Writes the append block in one call. On failure whatever part of it reached the file is
// cut off again and the block stays: its records keep their positions and the next call
// writes them. A link still owed is written first.
void RecordFile::State::flushPending() {
    writeOwedLink();
    if (pendingLen == 0) return;
    if (frontBlock) {
        flushFront();
        return;
    }
    if (OSErr err = file.write(pendingStart, pending.get(), pendingLen)) {
        if (file.truncate(pendingStart)) (void)file.refreshEof();
        FailOSErr(err);
    }
    pendingLen = 0;
}

// The records at the front of a free block, with the free block left behind them, which in
// memory is already on the list in the block's place.
void RecordFile::State::flushFront() {
    const std::size_t len = pendingLen;
    std::uint32_t prev = frontPrev, next = frontNext, rest = 0;
    if (frontRest) {
        rest = frontBlock + static_cast<std::uint32_t>(len);
        const FreeNode& n = m.freeNodes.at(rest);
        prev = n.prev;
        next = n.next;
    }
    pendingLen = 0; // the writes below go straight to the file
    bool unlisted;
    if (OSErr err = overwriteFreeBlock(frontBlock, frontSize, prev, next, pending.get(), len, rest,
                                       &unlisted)) {
        pendingLen = len; // kept, with the list in memory, for the next call to write
        FailOSErr(err);
    }
    frontBlock = 0;
}

// Before a forced close: without a journal, what the calls so far reported done reaches the file
// (the append block, the list head); should the block fail, it is cut off and dropped. With a
// journal, a transaction that nobody committed is rolled back (when that fails, its journal
// stays for the next open).
void RecordFile::State::finishDeferred() {
    if (!open || readOnly) return;
    if (journaled) {
        (void)rollBackTransaction();
        return;
    }
    if (settle()) {
        pendingLen = 0;
        frontBlock = 0;
        owedLink = false;
    }
    (void)CatchFailures([&] { syncLeaderHead(); });
}

// Stores a new record from data in host order and returns its position.
std::uint32_t RecordFile::State::writeImage(std::uint8_t type, const char* src, std::uint32_t len) {
    std::uint32_t pos = 0;
    if (appendsAtEnd(std::max(len, kMinRecordData))) {
        if (unsigned char* dst = beginAppend(type, len, &pos)) {
            if (len) std::memcpy(dst, src, len);
            if (type == kRecordPackage && swapImageToFile(reinterpret_cast<char*>(dst), len)) {
                cancelAppend(len);
                FailOSErr(paramErr);
            }
            return pos;
        }
    }
    // What is pending stays so: every write to the file writes it first, and a record placed
    // behind it in the same free block joins it. The caller's image stays in host order: a
    // copy is swapped and written.
    imageBytes.assign(src, src + len);
    if (type == kRecordPackage &&
        swapImageToFile(reinterpret_cast<char*>(imageBytes.data()), imageBytes.size()))
        FailOSErr(paramErr);
    markOutOfDate();
    return writeRaw(type, imageBytes.data(), len);
}
