// The record file: header and leader, record allocation with a first-fit free list, the index
// header and class index, compaction through a temporary file.
//
// Write ordering. Every change is made so that the file on disk is well formed after each single
// write call, should the program stop there:
//  - a record placed in a free block that is split takes the end of the block, written before
//    the block's header is shortened, so the free list does not change; a block used whole
//    leaves the list (one link write) before its bytes are reused, and a freed record is
//    written in full as a free block before it joins the list: in between it is a free block
//    that no list names, which costs space and nothing else (a rebuild by scan finds it);
//  - a record is written with its header in one call, and only where nothing names it yet;
//    records appended at the end of the file one after another are collected and written as
//    one block of whole records, before any other write, so the order of the changes stands;
//  - the index header is set to "out of date" and the class index freed before any package
//    record is written or deleted, and a new class index is written only after every class link
//    is right, then named by the index header;
//  - a failed write is undone at once where it left something half done (the old bytes are
//    written back, an append is cut off again).
// Where that cannot hold:
//  - compaction rewrites the file in place from a temporary copy and puts the copy back on any
//    failure; should the program die while it runs, only the copy (QPK*.TMP beside the file)
//    holds every record;
//  - a changed Package is written as a new record before its old record is deleted (and a
//    failed delete takes the new record back), so dying between the two leaves it twice, never
//    not at all;
//  - records still in the append block when the program dies are lost (as if their writes had
//    not been made): only an import makes many in a row, and the block is written before any
//    delete, any index work and any close;
//  - the order is the order of the write calls: it survives the program stopping, not the
//    machine losing power before the system has written its cache (the close flushes).
#include "model/RecordFile.h"

#include "model/Image.h"
#include "model/RecordFileBuffer.h"
#include "model/RecordFileFormat.h"
#include "toolbox/core/Failure.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <unordered_map>
#include <vector>

using namespace rf;

namespace {

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

// The class chains as the index rebuild meets them in file order: for each Class ID its first
// and its latest class entry, and the link the latest one holds. An open-addressing table keyed
// by Class ID: a million Packages make a few million lookups, so each must be cheap.
class ClassChains {
public:
    struct Chain {
        std::int32_t classId;
        std::uint32_t first; // 0: the slot is empty (no class entry lies at position 0)
        std::uint32_t last;
        std::uint32_t lastLink;
    };

    // Room for about `expected` Class IDs before the table grows.
    explicit ClassChains(std::size_t expected) {
        while ((std::size_t(1) << bits_) < expected * 4 / 3 + 1)
            ++bits_;
        slots_ = zeroedSlots(std::size_t(1) << bits_);
    }

    // Forgets every chain.
    void clear() {
        std::memset(static_cast<void*>(slots_.get()), 0, size() * sizeof(Chain));
        used_ = 0;
    }
    // The chain of classId; a new chain (first == 0) when it has not been met yet.
    Chain& find(std::int32_t classId) {
        if (4 * (used_ + 1) > 3 * size()) grow(); // at most three quarters full
        Chain& c = slots_[slotOf(classId)];
        if (!c.first) {
            c.classId = classId;
            ++used_;
        }
        return c;
    }
    // Asks for the slot of classId to be brought into the cache ahead of its lookup.
    void prefetch(std::int32_t classId) const { __builtin_prefetch(&slots_[home(classId)]); }
    // The class index in host order: the number of chains, then the first entry and the Class ID
    // of each, sorted by Class ID. A radix sort in three passes of 11 bits, since a large library
    // has a hundred thousand Class IDs and more; its last pass lands in the words returned.
    std::vector<std::uint32_t> indexWords() const {
        std::vector<std::uint32_t> out(1 + 2 * used_), tmp(2 * used_);
        out[0] = static_cast<std::uint32_t>(used_);
        std::uint32_t* from = tmp.data();
        std::uint32_t* to = out.data() + 1;
        std::size_t n = 0;
        for (const Chain& c : slots())
            if (c.first) {
                from[2 * n] = c.first;
                from[2 * n + 1] = static_cast<std::uint32_t>(c.classId);
                ++n;
            }
        auto digit = [](std::uint32_t classId, int shift) {
            return ((classId ^ 0x80000000u) >> shift) & 2047; // signed order
        };
        for (int shift = 0; shift < 33; shift += 11) {
            std::size_t count[2049] = {};
            for (std::size_t i = 0; i < n; ++i)
                ++count[digit(from[2 * i + 1], shift) + 1];
            for (std::size_t i = 1; i < 2049; ++i)
                count[i] += count[i - 1];
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t d = count[digit(from[2 * i + 1], shift)]++;
                to[2 * d] = from[2 * i];
                to[2 * d + 1] = from[2 * i + 1];
            }
            std::swap(from, to);
        }
        return out;
    }
    std::span<const Chain> slots() const { return {slots_.get(), size()}; }

private:
    struct FreeSlots {
        void operator()(Chain* p) const { std::free(p); }
    };
    using Slots = std::unique_ptr<Chain[], FreeSlots>;
    // A large table comes straight from the system as zero pages: nothing is written to it
    // before its slots are used.
    static Slots zeroedSlots(std::size_t n) {
        Slots p(static_cast<Chain*>(std::calloc(n, sizeof(Chain))));
        if (!p) throw std::bad_alloc();
        return p;
    }
    std::size_t size() const { return std::size_t(1) << bits_; }

    // Fibonacci hashing: the top bits of the product are well mixed, the low bits are not.
    std::size_t home(std::int32_t classId) const {
        return std::size_t((std::uint64_t(std::uint32_t(classId)) * 0x9E3779B97F4A7C15ull) >>
                           (64 - bits_));
    }
    std::size_t slotOf(std::int32_t classId) const {
        const std::size_t mask = size() - 1;
        std::size_t i = home(classId);
        while (slots_[i].first && slots_[i].classId != classId)
            i = (i + 1) & mask;
        return i;
    }
    void grow() {
        Slots old = zeroedSlots(size() * 2);
        old.swap(slots_);
        const std::size_t oldSize = size();
        ++bits_;
        for (std::size_t i = 0; i < oldSize; ++i)
            if (old[i].first) slots_[slotOf(old[i].classId)] = old[i];
    }

    Slots slots_;
    std::size_t used_ = 0;
    int bits_ = 10; // slots_.size() == 1 << bits_
};

// Class entries met in file order are looked up in batches of this many, their chains fetched
// into the cache first.
constexpr std::size_t kChainBatch = 64;

// Calls take(offset, Class ID, link) for each class entry of a package image held in file byte
// order whose section lies inside the image and has a Class ID other than 0; offset is the
// entry's offset from the start of the image.
template <class Take>
void forEachClassEntry(const unsigned char* d, std::uint32_t length, Take&& take) {
    if (length < kImageHeaderSize) return;
    const std::uint32_t classes = be16(d + 4);
    for (std::uint32_t k = 0; k < classes; ++k) {
        const std::uint64_t off = classEntryOffset(int(k));
        if (off + kClassEntrySize > length) break;
        const std::uint64_t section = off + be16(d + off + 4);
        if (section + kSectionHeaderSize > length) continue;
        const auto classId = static_cast<std::int32_t>(be32(d + section));
        if (classId != 0) take(static_cast<std::uint32_t>(off), classId, be32(d + off));
    }
}

// Whole records that the index rebuild reads and writes back as one block: from the header of
// the first to the end of the last.
struct RecordRun {
    std::uint64_t from, to;
};
constexpr std::uint64_t kRunBlock = 256 * 1024;

struct FreeCensus {
    std::uint32_t pos, length, sizeField, next;
};

} // namespace

struct RecordFile::State {
    FSSpec fileSpec;
    BufferedFile file;
    bool open = false;
    bool readOnly = true;
    RecordFileProgress progress;
    Meta m;

    // Records not yet written, which reach the file as one block (see flushPending): either
    // appended at the end of the file, following its last byte (pendingStart) in order, or
    // (tailBlock != 0) placed one below the other at the end of the free block tailBlock, the
    // block's bytes then kept at the end of the buffer and starting at pendingStart in the file.
    static constexpr std::size_t kAppendBlock = std::size_t(256) << 10;
    std::unique_ptr<unsigned char[]> pending;
    std::size_t pendingLen = 0;
    std::uint64_t pendingStart = 0;
    std::uint32_t tailBlock = 0;
    std::uint32_t tailOldSize = 0; // the free block's size on disk
    // Reused for every record written in place, so that a write allocates nothing.
    std::vector<unsigned char> imageBytes, recordBytes;

    // --- Reading ----------------------------------------------------------------------------

    std::uint64_t firstPosition() const { return m.header.recordsStart + kRecordHeaderSize; }

    void readAt(std::uint64_t pos, void* dst, std::size_t len) {
        FailOSErr(file.read(pos, dst, len));
    }

    // The header of the record whose data is at pos, checked against the file.
    OSErr headerAt(std::uint64_t pos, RecordHeader* h) {
        if (pos < firstPosition() || pos > kMaxPosition) return paramErr;
        unsigned char b[kRecordHeaderSize];
        if (OSErr err = file.read(pos - kRecordHeaderSize, b, sizeof b)) return err;
        *h = parseRecordHeader(b);
        if (h->headerLength < kRecordHeaderSize) return paramErr;
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
        while (pos - kRecordHeaderSize < eof) {
            if (pos > kMaxPosition) FailOSErr(paramErr);
            OSErr err;
            const unsigned char* p = file.peek(pos - kRecordHeaderSize, kRecordHeaderSize, &err);
            if (!p) FailOSErr(err);
            const RecordHeader h = parseRecordHeader(p);
            if (h.headerLength < kRecordHeaderSize) FailOSErr(paramErr);
            if (pos + h.span() > eof) FailOSErr(eofErr);
            const unsigned char* data;
            if (kRecordHeaderSize + std::size_t(h.length) <= BufferedFile::capacity()) {
                data = file.peek(pos - kRecordHeaderSize, kRecordHeaderSize + h.length, &err);
                if (!data) FailOSErr(err);
                data += kRecordHeaderSize;
            } else {
                large.resize(h.length);
                readAt(pos, large.data(), h.length);
                data = large.data();
            }
            if (progress.step) progress.step();
            if (!visit(static_cast<std::uint32_t>(pos), h, data)) return false;
            pos = nextRecordPosition(pos, h);
        }
        return true;
    }

    // Position of the first record of that type, 0 when there is none.
    std::uint32_t findFirst(std::uint8_t type) {
        std::uint32_t found = 0;
        walk([&](std::uint32_t pos, const RecordHeader& h, const unsigned char*) {
            if (h.type != type) return true;
            found = pos;
            return false;
        });
        return found;
    }

    // --- Writing ----------------------------------------------------------------------------

    // Every write but the block's own goes through here: the block reaches the file first.
    OSErr fileWrite(std::uint64_t pos, const void* src, std::size_t len) {
        if (OSErr err = settle()) return err;
        return file.write(pos, src, len);
    }
    void writeAt(std::uint64_t pos, const void* src, std::size_t len) {
        FailOSErr(fileWrite(pos, src, len));
    }
    // Puts back bytes after a failed write; a second failure leaves what the first left.
    void restoreBytes(std::uint64_t pos, const void* src, std::size_t len) {
        (void)file.write(pos, src, len);
    }

    OSErr putLeaderHead(std::uint32_t head) {
        unsigned char b[4];
        put32(b, head);
        if (OSErr err = fileWrite(m.leaderPos, b, 4)) return err;
        m.freeHead = head;
        put32(m.leader, head);
        m.leaderChanged = false;
        return noErr;
    }
    // Writes the list head when blocks were pushed since it was last written.
    void syncLeaderHead() {
        if (m.leaderChanged) FailOSErr(putLeaderHead(m.freeHead));
    }

    // Sets the link of the free block at pred (0: the list head) to next.
    OSErr putLink(std::uint32_t pred, std::uint32_t next) {
        if (pred == 0) return putLeaderHead(next);
        unsigned char b[4];
        put32(b, next);
        return fileWrite(std::uint64_t(pred) + 4, b, 4);
    }

    // --- The free list ----------------------------------------------------------------------

    // Follows the chain on disk from the head; false when a link leaves the records area, names
    // something that is not a free block, or comes back to a block already seen.
    bool loadFreeListFromDisk() {
        m.freeNodes.clear();
        const std::uint64_t limit = file.eof() / kMinSplit + 1;
        std::uint32_t prev = 0;
        for (std::uint32_t p = m.freeHead; p;) {
            if (m.freeNodes.size() > limit || m.freeNodes.contains(p)) return false;
            RecordHeader h;
            if (headerAt(p, &h) || h.type != kRecordFree || h.length < kMinRecordData) return false;
            unsigned char b[8];
            if (file.read(p, b, sizeof b)) return false;
            if (be32(b) != h.length) return false;
            const std::uint32_t next = be32(b + 4);
            m.freeNodes.add(p, {h.length, next, prev});
            prev = p;
            p = next;
        }
        m.freeLoaded = true;
        m.freeTrusted = false;
        return true;
    }

    // Takes the free list from what a full scan saw, when the chain on disk is sound.
    void adoptCensus(const std::vector<FreeCensus>& census) {
        if (readOnly) return;
        if (m.freeLoaded) {
            std::size_t listed = 0;
            for (const FreeCensus& c : census)
                listed += m.freeNodes.contains(c.pos);
            m.freeTrusted = listed == census.size();
            return;
        }
        std::unordered_map<std::uint32_t, const FreeCensus*> byPos;
        byPos.reserve(census.size());
        for (const FreeCensus& c : census)
            byPos[c.pos] = &c;
        FreeMirror nodes;
        nodes.reserve(census.size());
        std::uint32_t prev = 0;
        for (std::uint32_t p = m.freeHead; p;) {
            auto it = byPos.find(p);
            if (it == byPos.end() || nodes.contains(p) ||
                it->second->sizeField != it->second->length || it->second->length < kMinRecordData)
                return; // not sound: the first use walks it again and rebuilds it
            nodes.add(p, {it->second->length, it->second->next, prev});
            prev = p;
            p = it->second->next;
        }
        m.freeTrusted = nodes.size() == census.size();
        m.freeNodes = std::move(nodes);
        m.freeLoaded = true;
    }

    // Makes the free list anew from every free block in the file, in file order.
    void rebuildFreeListByScan() {
        flushPending(); // the scan reads the headers on disk
        m.freeLoaded = false;
        m.freeNodes.clear();
        std::vector<std::pair<std::uint32_t, std::uint32_t>> blocks; // position, data bytes
        walk([&](std::uint32_t pos, const RecordHeader& h, const unsigned char*) {
            if (h.type == kRecordFree && h.span() >= kMinRecordData && h.span() <= kMaxPosition)
                blocks.emplace_back(pos, static_cast<std::uint32_t>(h.span()));
            return true;
        });
        // From the last block to the first, so that a link never points back at a block whose
        // own link is still the old one.
        for (std::size_t i = blocks.size(); i-- > 0;) {
            unsigned char b[kMinSplit];
            encodeRecordHeader(b, kRecordFree, 0, blocks[i].second);
            put32(b + 6, blocks[i].second);
            put32(b + 10, i + 1 < blocks.size() ? blocks[i + 1].first : 0);
            writeAt(blocks[i].first - kRecordHeaderSize, b, sizeof b);
        }
        const std::uint32_t head = blocks.empty() ? 0 : blocks.front().first;
        if (head != m.freeHead || m.leaderChanged) FailOSErr(putLeaderHead(head));
        for (std::size_t i = 0; i < blocks.size(); ++i)
            m.freeNodes.add(blocks[i].first,
                            {blocks[i].second, i + 1 < blocks.size() ? blocks[i + 1].first : 0,
                             i ? blocks[i - 1].first : 0});
        m.freeLoaded = true;
        m.freeTrusted = true;
    }

    void ensureFreeList() {
        if (m.freeLoaded) return;
        if (!loadFreeListFromDisk()) rebuildFreeListByScan();
    }

    // Takes the block off the list (one link write). It stays a free block that no link names.
    void unlinkFree(std::uint32_t p) {
        syncLeaderHead(); // the head on disk may still name p
        const FreeNode n = m.freeNodes.at(p);
        FailOSErr(putLink(n.prev, n.next));
        if (n.prev) m.freeNodes.setNext(n.prev, n.next);
        if (n.next) m.freeNodes.setPrev(n.next, n.prev);
        m.freeNodes.erase(p);
    }

    // Puts a free block whose header and link (to the current head) are on disk at the head.
    // The head itself is written later, once for a run of deletes (by syncLeaderHead): until
    // then the blocks pushed are free blocks that the list on disk does not name yet.
    void pushFree(std::uint32_t p, std::uint32_t size) {
        const std::uint32_t oldHead = m.freeHead;
        m.freeHead = p;
        put32(m.leader, p);
        m.leaderChanged = true;
        m.freeNodes.add(p, {size, oldHead, 0});
        if (oldHead) m.freeNodes.setPrev(oldHead, p);
    }

    // Merges the free block at p with the free blocks that follow it directly.
    void mergeFollowing(std::uint32_t p) {
        for (;;) {
            const std::uint32_t size = m.freeNodes.at(p).size;
            const std::uint64_t q = std::uint64_t(p) + size + kRecordHeaderSize;
            if (q > kMaxPosition || !m.freeNodes.contains(static_cast<std::uint32_t>(q))) return;
            const std::uint64_t merged =
                std::uint64_t(size) + kRecordHeaderSize + m.freeNodes.at(std::uint32_t(q)).size;
            if (merged > kMaxPosition) return;
            unlinkFree(static_cast<std::uint32_t>(q)); // now unlisted, still a whole free block
            unsigned char old[10], b[10];
            readAt(p - kRecordHeaderSize, old, sizeof old);
            encodeRecordHeader(b, kRecordFree, 0, static_cast<std::uint32_t>(merged));
            put32(b + 6, static_cast<std::uint32_t>(merged));
            if (OSErr err = fileWrite(p - kRecordHeaderSize, b, sizeof b)) {
                restoreBytes(p - kRecordHeaderSize, old, sizeof old);
                m.freeTrusted = false; // the follower is off the list
                FailOSErr(err);
            }
            m.freeNodes.resize(p, static_cast<std::uint32_t>(merged));
        }
    }

    // First fit: the first block on the list that holds need bytes, merging a block that is too
    // small with the free blocks behind it first. 0 when none fits.
    std::uint32_t findFit(std::uint32_t need) {
        // Nothing can fit when every block is smaller and none can merge: no walk then.
        if (need > m.freeNodes.maxBound() && !m.freeNodes.mayMerge()) return 0;
        std::uint32_t largest = 0;
        for (std::uint32_t p = m.freeHead; p;) {
            if (m.freeNodes.at(p).size < need) mergeFollowing(p);
            const FreeNode& n = m.freeNodes.at(p);
            if (n.size >= need) return p;
            largest = std::max(largest, n.size);
            p = n.next;
        }
        m.freeNodes.setMaxBound(largest);
        return 0;
    }

    // Stores a record in the free block at p. When at least 14 bytes would remain, the block is
    // split: the record takes the end of the block and the rest stays the free block it was, in
    // its place on the list, so two writes do it (the record inside the block, then the block's
    // shorter header) and the free list is never touched. Otherwise the block leaves the list
    // and becomes the record, its spare bytes the record's slack.
    std::uint32_t placeInFreeBlock(std::uint32_t p, std::uint8_t type, const unsigned char* data,
                                   std::uint32_t len) {
        const std::uint32_t cap = m.freeNodes.at(p).size;
        const std::uint32_t need = std::max(len, kMinRecordData);
        const std::uint32_t spare = cap - need;
        const bool split = spare >= kMinSplit;
        const std::uint32_t used = split ? need : cap; // data and slack of the new record
        const std::uint32_t restSize = split ? spare - kRecordHeaderSize : 0;
        const std::uint32_t at = split ? p + restSize + kRecordHeaderSize : p;
        std::vector<unsigned char>& rec = recordBytes;
        rec.assign(kRecordHeaderSize + used, 0);
        encodeRecordHeader(rec.data(), type, used - len, len);
        if (len) std::memcpy(rec.data() + kRecordHeaderSize, data, len);
        unsigned char old[10];
        encodeRecordHeader(old, kRecordFree, 0, cap);
        put32(old + 6, cap);
        if (split && rec.size() <= kAppendBlock) {
            // Into the block of records at the end of this free block (see flushTail), which
            // grows downwards; any other pending block is written first.
            if (pendingLen && (tailBlock != p || pendingLen + rec.size() > kAppendBlock))
                flushPending();
            if (!pending) pending.reset(new unsigned char[kAppendBlock]);
            if (pendingLen == 0) {
                tailBlock = p;
                tailOldSize = cap;
            }
            pendingLen += rec.size();
            std::memcpy(pending.get() + kAppendBlock - pendingLen, rec.data(), rec.size());
            pendingStart = at - kRecordHeaderSize;
            m.freeNodes.resize(p, restSize);
            return at;
        }
        if (split) {
            // Behind the block's size and link, so nothing that a reader of the file sees.
            writeAt(at - kRecordHeaderSize, rec.data(), rec.size());
            unsigned char b[10];
            encodeRecordHeader(b, kRecordFree, 0, restSize);
            put32(b + 6, restSize);
            if (OSErr err = fileWrite(p - kRecordHeaderSize, b, sizeof b)) {
                restoreBytes(p - kRecordHeaderSize, old, sizeof old);
                FailOSErr(err);
            }
            m.freeNodes.resize(p, restSize);
            return at;
        }
        unlinkFree(p); // now a free block that no link names
        if (OSErr err = fileWrite(p - kRecordHeaderSize, rec.data(), rec.size())) {
            restoreBytes(p - kRecordHeaderSize, old, kRecordHeaderSize);
            m.freeTrusted = false;
            FailOSErr(err);
        }
        return p;
    }

    std::uint32_t appendRecord(std::uint8_t type, const unsigned char* data, std::uint32_t len) {
        flushPending();
        const std::uint64_t at = file.eof();
        const std::uint32_t slack = minimumSlack(len);
        if (at + kRecordHeaderSize + len + slack > kMaxPosition) FailOSErr(dskFulErr);
        std::vector<unsigned char>& rec = recordBytes;
        rec.assign(kRecordHeaderSize + len + slack, 0);
        encodeRecordHeader(rec.data(), type, slack, len);
        if (len) std::memcpy(rec.data() + kRecordHeaderSize, data, len);
        if (OSErr err = file.write(at, rec.data(), rec.size())) {
            // Cut off whatever part of the record reached the file.
            if (file.truncate(at)) (void)file.refreshEof();
            FailOSErr(err);
        }
        return static_cast<std::uint32_t>(at + kRecordHeaderSize);
    }

    // --- The append block ---------------------------------------------------------------------
    //
    // An import writes a million records one after the other at the end of the file. Each goes
    // into the append block instead of making its own write call; the block is written when it
    // is full and before anything else touches the file, so the order of the write calls is the
    // order of the changes, and a block of whole records appended in one call keeps the file
    // well formed as a single record did. Records in the block are named by their positions
    // already; they are lost only if the program stops before the block is written.

    // Whether a record of need bytes goes to the end of the file with nothing else to write
    // first: the index is already out of date and no free block can hold it.
    bool appendsAtEnd(std::uint32_t need) const {
        return m.freeLoaded && m.freeTrusted && !m.indexCurrent && !m.indexPos &&
               need > m.freeNodes.maxBound() && !m.freeNodes.mayMerge();
    }

    // Room in the append block for a record of len data bytes, its header written: returns
    // where its data goes (the caller fills it in file order) and its position. nullptr when
    // the record is larger than the block; it is then written alone.
    unsigned char* beginAppend(std::uint8_t type, std::uint32_t len, std::uint32_t* position) {
        const std::uint32_t slack = minimumSlack(len);
        const std::size_t total = std::size_t(kRecordHeaderSize) + len + slack;
        if (total > kAppendBlock) return nullptr;
        if (tailBlock || pendingLen + total > kAppendBlock) flushPending();
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
    void cancelAppend(std::uint32_t len) {
        pendingLen -= kRecordHeaderSize + len + minimumSlack(len);
    }

    // Writes the append block in one call. On failure whatever part of it reached the file is
    // cut off again and the block stays: its records keep their positions and the next call
    // writes them.
    void flushPending() {
        if (pendingLen == 0) return;
        if (tailBlock) {
            flushTail();
            return;
        }
        if (OSErr err = file.write(pendingStart, pending.get(), pendingLen)) {
            if (file.truncate(pendingStart)) (void)file.refreshEof();
            FailOSErr(err);
        }
        pendingLen = 0;
    }
    // The records at the end of a free block: written behind the block's size and link, where
    // nothing a reader sees changes, then the block's header is shortened to expose them.
    void flushTail() {
        FailOSErr(file.write(pendingStart, pending.get() + kAppendBlock - pendingLen, pendingLen));
        const std::uint32_t rest = static_cast<std::uint32_t>(pendingStart - tailBlock);
        unsigned char b[10], old[10];
        encodeRecordHeader(b, kRecordFree, 0, rest);
        put32(b + 6, rest);
        encodeRecordHeader(old, kRecordFree, 0, tailOldSize);
        put32(old + 6, tailOldSize);
        if (OSErr err = file.write(tailBlock - kRecordHeaderSize, b, sizeof b)) {
            restoreBytes(tailBlock - kRecordHeaderSize, old, sizeof old);
            FailOSErr(err);
        }
        pendingLen = 0;
        tailBlock = 0;
    }
    OSErr settle() {
        if (pendingLen == 0) return noErr;
        return CatchFailures([&] { flushPending(); });
    }
    // Before a forced close: what the calls so far reported done reaches the file (the append
    // block, the list head). Should the block fail, it is cut off and dropped.
    void finishDeferred() {
        if (!open || readOnly) return;
        if (settle()) {
            pendingLen = 0;
            tailBlock = 0;
        }
        (void)CatchFailures([&] { syncLeaderHead(); });
    }

    // Stores a new record from data in host order and returns its position.
    std::uint32_t writeImage(std::uint8_t type, const char* src, std::uint32_t len) {
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
        flushPending();
        // The caller's image stays in host order: a copy is swapped and written.
        imageBytes.assign(src, src + len);
        if (type == kRecordPackage &&
            swapImageToFile(reinterpret_cast<char*>(imageBytes.data()), imageBytes.size()))
            FailOSErr(paramErr);
        markOutOfDate();
        return writeRaw(type, imageBytes.data(), len);
    }

    // Stores a new record (data in file order) and returns its position.
    std::uint32_t writeRaw(std::uint8_t type, const unsigned char* data, std::uint32_t len) {
        ensureFreeList();
        const std::uint32_t need = std::max(len, kMinRecordData);
        std::uint32_t p = findFit(need);
        if (!p && !m.freeTrusted) {
            rebuildFreeListByScan();
            p = findFit(need);
        }
        return p ? placeInFreeBlock(p, type, data, len) : appendRecord(type, data, len);
    }

    // Turns the record at pos into a free block at the head of the list.
    void freeRecord(std::uint32_t pos, const RecordHeader& h) {
        ensureFreeList();
        if (h.span() < kMinRecordData || h.span() > kMaxPosition) FailOSErr(paramErr);
        const std::uint32_t cap = static_cast<std::uint32_t>(h.span());
        unsigned char old[kMinSplit], b[kMinSplit];
        readAt(pos - kRecordHeaderSize, old, sizeof old);
        encodeRecordHeader(b, kRecordFree, 0, cap);
        put32(b + 6, cap);
        put32(b + 10, m.freeHead);
        if (OSErr err = fileWrite(pos - kRecordHeaderSize, b, sizeof b)) {
            restoreBytes(pos - kRecordHeaderSize, old, sizeof old);
            FailOSErr(err);
        }
        pushFree(pos, cap);
    }

    // --- The index --------------------------------------------------------------------------

    void writeIndexHeader() {
        if (!m.indexHeaderPos) return;
        unsigned char b[kIndexHeaderSize], old[kIndexHeaderSize];
        const std::size_t len = std::min<std::size_t>(m.indexHeaderLength, sizeof b);
        put32(b, m.indexCurrent ? m.indexPos : 0);
        put32(b + 4, m.indexCurrent ? m.indexCount : 0);
        std::memcpy(b + 8, m.indexReserved, 8);
        readAt(m.indexHeaderPos, old, len);
        if (OSErr err = fileWrite(m.indexHeaderPos, b, len)) {
            restoreBytes(m.indexHeaderPos, old, len);
            FailOSErr(err);
        }
    }

    void markOutOfDate() {
        if (m.indexCurrent) {
            if (m.indexHeaderPos) {
                unsigned char b[8] = {};
                writeAt(m.indexHeaderPos, b, sizeof b);
            }
            m.indexCurrent = false;
        }
        // Until the old index record is freed no package record may change: a class index left
        // in the file would be taken for a current one by the next open.
        if (m.indexPos) {
            RecordHeader h;
            if (headerAt(m.indexPos, &h) == noErr &&
                (h.type == kRecordClassIndex || h.type == kRecordStaleIndex))
                freeRecord(m.indexPos, h);
            m.indexPos = 0;
            m.indexCount = 0;
        }
    }

    // Reads a class index record's count; false when the record is not a well-formed index.
    bool classIndexAt(std::uint32_t pos, std::uint8_t wantType, std::uint32_t* count) {
        RecordHeader h;
        if (headerAt(pos, &h) || h.type != wantType || h.length < 4) return false;
        unsigned char b[4];
        if (file.read(pos, b, 4)) return false;
        *count = be32(b);
        return std::uint64_t(h.length) == 4 + std::uint64_t(kIndexEntrySize) * *count;
    }

    void rebuild();
    void relinkBackward(ClassChains& chains, const std::vector<RecordRun>& runs);

    // --- Open and compaction ----------------------------------------------------------------

    void load();
    void compactFrom(BufferedFile& temp);
};

namespace {

void copyBytes(BufferedFile& from, BufferedFile& to, std::uint64_t len) {
    for (std::uint64_t at = 0; at < len;) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(BufferedFile::capacity(), len - at));
        OSErr err;
        const unsigned char* p = from.peek(at, chunk, &err);
        if (!p) FailOSErr(err);
        FailOSErr(to.write(at, p, chunk));
        at += chunk;
    }
}

// Collects output in large blocks and appends them to a file.
class Appender {
public:
    Appender(BufferedFile& f, std::uint64_t at) : f_(f), at_(at) { buf_.reserve(kBlock); }
    std::uint64_t position() const { return at_ + buf_.size(); }
    void put(const void* src, std::size_t len) {
        if (buf_.size() + len > kBlock) flush();
        if (len > kBlock) {
            FailOSErr(f_.write(at_, src, len));
            at_ += len;
            return;
        }
        const auto* p = static_cast<const unsigned char*>(src);
        buf_.insert(buf_.end(), p, p + len);
    }
    void zeros(std::size_t n) {
        static const unsigned char z[kMinRecordData] = {};
        while (n) {
            const std::size_t k = std::min(n, sizeof z);
            put(z, k);
            n -= k;
        }
    }
    void flush() {
        if (buf_.empty()) return;
        FailOSErr(f_.write(at_, buf_.data(), buf_.size()));
        at_ += buf_.size();
        buf_.clear();
    }

private:
    static constexpr std::size_t kBlock = std::size_t(1) << 20;
    BufferedFile& f_;
    std::uint64_t at_;
    std::vector<unsigned char> buf_;
};

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

// A temporary file that is closed and deleted when it goes out of scope.
struct TempFile {
    FSSpec fileSpec;
    BufferedFile file;
    bool made = false;
    ~TempFile() { discard(); }
    void discard() {
        if (file.isOpen()) file.close();
        if (made) FSpDelete(fileSpec);
        made = false;
    }
};

} // namespace

void RecordFile::State::load() {
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
    m.freeHead = be32(m.leader);

    // The free list head must name a free block of at least 8 bytes inside the records area.
    if (m.freeHead) {
        RecordHeader h;
        const bool sound = headerAt(m.freeHead, &h) == noErr && h.type == kRecordFree &&
                           h.length >= kMinRecordData;
        if (!sound) {
            if (readOnly) {
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
    if (!m.indexHeaderPos && !readOnly) {
        const unsigned char zero[kIndexHeaderSize] = {};
        m.indexHeaderPos = writeRaw(kRecordIndexHeader, zero, sizeof zero);
        m.indexHeaderLength = kIndexHeaderSize;
    }
    std::uint32_t namedPos = 0, namedCount = 0;
    if (m.indexHeaderPos) {
        unsigned char b[kIndexHeaderSize] = {};
        readAt(m.indexHeaderPos, b, std::min<std::uint32_t>(m.indexHeaderLength, sizeof b));
        namedPos = be32(b);
        namedCount = be32(b + 4);
        std::memcpy(m.indexReserved, b + 8, 8);
    }

    // The class index it names must be a type 4 record with the same entry count. A type 3
    // record there is rebuilt now; otherwise the first class index in the file is taken, since
    // the index header is written only after the class index it names is complete.
    std::uint32_t count = 0;
    if (namedPos && classIndexAt(namedPos, kRecordClassIndex, &count) && count == namedCount) {
        m.indexPos = namedPos;
        m.indexCount = count;
        m.indexCurrent = true;
    } else if (namedPos && classIndexAt(namedPos, kRecordStaleIndex, &count)) {
        m.indexPos = namedPos;
        if (!readOnly) rebuild();
    } else if (std::uint32_t pos = findFirst(kRecordClassIndex);
               pos && classIndexAt(pos, kRecordClassIndex, &count)) {
        m.indexPos = pos;
        m.indexCount = count;
        m.indexCurrent = true;
    }
}

// Drops the class index, sets every class link to the next class entry of the same Class ID in
// file order (writing only the links that change), and writes a new sorted class index.
//
// One pass from the first record to the last follows the chains and collects the links that
// differ. After an edit they are few; after an import every link differs, and collecting and
// sorting them all would cost more than reading the file once more. So once they pass a bound
// the pass stops following the chains and only notes where the records lie, and relinkBackward
// then sets every link, reading and writing each part of the file once.
void RecordFile::State::rebuild() {
    struct ProgressEnd {
        const RecordFileProgress& p;
        ~ProgressEnd() {
            if (p.indexProgress) p.indexProgress(1);
        }
    };
    if (progress.indexProgress && file.eof() > std::uint64_t(kProgressThreshold))
        progress.indexProgress(0);
    ProgressEnd end{progress};
    const std::size_t expectedClasses =
        std::max<std::size_t>({m.indexCount, std::size_t(file.eof() / 1024), 512});
    markOutOfDate();

    // In file order: each class entry's predecessor in its chain must link to it, and the last
    // entry of each chain must hold 0. Only links that differ are collected, up to one per 512
    // bytes of file and 16K in all: more are many.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> changes; // entry position, new link
    const std::size_t maxChanges =
        std::clamp<std::size_t>(std::size_t(file.eof() / 512), 16, std::size_t(1) << 14);
    changes.reserve(maxChanges + kChainBatch); // untouched until used
    bool many = false;
    std::vector<RecordRun> runs; // for relinkBackward
    bool runOpen = false;
    ClassChains chains(expectedClasses);
    // Class entries are taken in batches whose chains are fetched into the cache first: with
    // many Class IDs the lookups, not the reading, would otherwise set the pace.
    struct Pending {
        std::uint32_t entry;
        std::int32_t classId;
        std::uint32_t link;
    };
    Pending batch[kChainBatch];
    std::size_t pending = 0;
    auto flush = [&] {
        for (std::size_t i = 0; i < pending; ++i)
            chains.prefetch(batch[i].classId);
        for (std::size_t i = 0; i < pending; ++i) {
            const Pending& e = batch[i];
            ClassChains::Chain& c = chains.find(e.classId);
            if (!c.first)
                c.first = e.entry;
            else if (c.lastLink != e.entry)
                changes.emplace_back(c.last, e.entry);
            c.last = e.entry;
            c.lastLink = e.link;
        }
        pending = 0;
        many = changes.size() > maxChanges;
    };
    std::vector<FreeCensus> census; // the walk also settles the free list
    walk([&](std::uint32_t pos, const RecordHeader& h, const unsigned char* d) {
        if (progress.indexProgress) progress.indexProgress(2);
        if (h.type == kRecordFree && h.length >= kMinRecordData)
            census.push_back({pos, h.length, be32(d), be32(d + 4)});
        // Runs of whole records up to kRunBlock bytes, each begun by a package record; a larger
        // package record is a run of its own.
        const std::uint64_t from = pos - kRecordHeaderSize, to = pos + h.span();
        if (runOpen && to - runs.back().from <= kRunBlock) {
            runs.back().to = to;
        } else if (h.type == kRecordPackage) {
            runs.push_back({from, to});
            runOpen = to - from <= kRunBlock;
        } else {
            runOpen = false;
        }
        if (many || h.type != kRecordPackage) return true;
        forEachClassEntry(d, h.length,
                          [&](std::uint32_t off, std::int32_t classId, std::uint32_t link) {
                              if (pending == kChainBatch) flush();
                              batch[pending++] = {pos + off, classId, link};
                          });
        return true;
    });
    flush();
    adoptCensus(census);

    if (many) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>>().swap(changes);
        chains.clear();
        relinkBackward(chains, runs);
    } else {
        for (const ClassChains::Chain& c : chains.slots())
            if (c.first && c.lastLink != 0) changes.emplace_back(c.last, 0);
        std::sort(changes.begin(), changes.end());
        // Links close together are patched in one read and one write of the bytes around them;
        // a lone link is written alone.
        constexpr std::uint32_t kWindow = 64 * 1024, kGap = 256;
        std::vector<unsigned char> window;
        for (std::size_t i = 0; i < changes.size();) {
            std::size_t j = i + 1;
            while (j < changes.size() && changes[j].first - changes[j - 1].first <= kGap &&
                   changes[j].first + 4 - changes[i].first <= kWindow)
                ++j;
            const std::uint32_t from = changes[i].first;
            const std::uint32_t to = changes[j - 1].first + 4;
            window.resize(to - from);
            if (j - i > 1) readAt(from, window.data(), window.size());
            for (std::size_t k = i; k < j; ++k)
                put32(window.data() + (changes[k].first - from), changes[k].second);
            writeAt(from, window.data(), window.size());
            i = j;
        }
    }
    std::vector<std::uint32_t> index = chains.indexWords();
    const std::uint32_t count = index[0];
    for (std::uint32_t& word : index)
        put32(reinterpret_cast<unsigned char*>(&word), word);

    syncLeaderHead(); // the blocks freed since the last write of the head join the list
    const std::uint32_t pos =
        writeRaw(kRecordClassIndex, reinterpret_cast<unsigned char*>(index.data()),
                 static_cast<std::uint32_t>(index.size() * 4));
    m.indexPos = pos;
    m.indexCount = count;
    // Named by the index header last: until then the index is out of date on disk.
    m.indexCurrent = true;
    try {
        writeIndexHeader();
    } catch (...) {
        m.indexCurrent = false;
        throw;
    }
}

// Sets every class link, taking the runs from the last to the first: each run is read once,
// its class entries are taken from the last to the first, each is linked to the head of its
// chain (the next entry of its Class ID in file order, 0 for none) and becomes the head, and
// the links that changed are written back, those close together in one write. The chains,
// empty at the start, end with each Class ID's first entry as the head. While a run is parsed
// the chains of its entries are fetched into the cache, where they and the run fit together.
void RecordFile::State::relinkBackward(ClassChains& chains, const std::vector<RecordRun>& runs) {
    struct Entry {
        std::uint32_t at; // offset in the block
        std::int32_t classId;
        std::uint32_t link;
    };
    std::vector<unsigned char> block;
    std::vector<Entry> entries;
    std::vector<std::uint32_t> patched; // offsets in the block, from the last to the first
    for (std::size_t r = runs.size(); r-- > 0;) {
        const RecordRun run = runs[r];
        const auto len = static_cast<std::size_t>(run.to - run.from);
        if (block.size() < len) block.resize(len);
        FailOSErr(file.readDirect(run.from, block.data(), len));
        entries.clear();
        for (std::size_t at = 0; at + kRecordHeaderSize <= len;) {
            const RecordHeader h = parseRecordHeader(block.data() + at);
            const std::size_t data = at + kRecordHeaderSize;
            if (h.headerLength < kRecordHeaderSize || h.span() > len - data) FailOSErr(paramErr);
            if (h.type == kRecordPackage)
                forEachClassEntry(
                    block.data() + data, h.length,
                    [&](std::uint32_t off, std::int32_t classId, std::uint32_t link) {
                        chains.prefetch(classId);
                        entries.push_back({static_cast<std::uint32_t>(data + off), classId, link});
                    });
            at = data + static_cast<std::size_t>(h.span());
        }
        patched.clear();
        for (std::size_t i = entries.size(); i-- > 0;) {
            const Entry& e = entries[i];
            ClassChains::Chain& c = chains.find(e.classId);
            if (e.link != c.first) {
                put32(block.data() + e.at, c.first);
                patched.push_back(e.at);
            }
            c.first = static_cast<std::uint32_t>(run.from + e.at);
        }
        // Links less than a page apart go in one write, the bytes between them as they were.
        constexpr std::uint32_t kGap = 4096;
        for (std::size_t i = 0; i < patched.size();) {
            const std::uint32_t hi = patched[i] + 4;
            std::uint32_t lo = patched[i];
            while (++i < patched.size() && lo - (patched[i] + 4) <= kGap)
                lo = patched[i];
            writeAt(run.from + lo, block.data() + lo, hi - lo);
        }
    }
}

// Rewrites the file from its temporary copy with the records of types below 251 in order and
// no gaps. Positions change, so the class index is dropped and the index header cleared.
void RecordFile::State::compactFrom(BufferedFile& temp) {
    FailOSErr(file.truncate(m.header.recordsStart));
    Appender out(file, m.header.recordsStart);
    Meta next;
    next.header = m.header;
    std::memcpy(next.leader, m.leader, sizeof next.leader);
    next.leaderBytes = m.leaderBytes;
    put32(next.leader, 0);
    if (m.header.oldLayout) {
        unsigned char h[kRecordHeaderSize];
        encodeRecordHeader(h, kRecordOldLeader, minimumSlack(m.leaderBytes), m.leaderBytes);
        out.put(h, sizeof h);
        next.leaderPos = static_cast<std::uint32_t>(out.position());
        out.put(next.leader, m.leaderBytes);
        out.zeros(minimumSlack(m.leaderBytes));
    } else {
        // The container is reset: the whole leader is written, its mark included.
        if (m.leaderBytes >= kLeaderSize) {
            next.leader[kLeaderMarkOffset] = 0x34;
            next.leader[kLeaderMarkOffset + 1] = 0x12;
        }
        next.leaderPos = kFileHeaderSize;
        FailOSErr(file.write(kFileHeaderSize, next.leader, m.leaderBytes));
    }
    std::memcpy(next.indexReserved, m.indexReserved, 8);

    std::vector<unsigned char> large;
    std::uint64_t pos = firstPosition();
    const std::uint64_t eof = temp.eof();
    while (pos - kRecordHeaderSize < eof) {
        unsigned char hb[kRecordHeaderSize];
        FailOSErr(temp.read(pos - kRecordHeaderSize, hb, sizeof hb));
        const RecordHeader h = parseRecordHeader(hb);
        if (h.headerLength < kRecordHeaderSize) FailOSErr(paramErr);
        if (pos + h.span() > eof) FailOSErr(eofErr);
        const bool keep = h.type < kFirstContainerType && h.type != kRecordClassIndex &&
                          h.type != kRecordStaleIndex;
        if (keep) {
            const unsigned char* data;
            OSErr err;
            if (h.length <= BufferedFile::capacity()) {
                data = temp.peek(pos, h.length, &err);
                if (!data) FailOSErr(err);
            } else {
                large.resize(h.length);
                FailOSErr(temp.read(pos, large.data(), h.length));
                data = large.data();
            }
            const std::uint32_t slack = minimumSlack(h.length);
            unsigned char nh[kRecordHeaderSize];
            encodeRecordHeader(nh, h.type, slack, h.length);
            out.put(nh, sizeof nh);
            const std::uint64_t at = out.position();
            if (h.type == kRecordIndexHeader && !next.indexHeaderPos && h.length >= 8) {
                // Positions change: the index header says "out of date" until the rebuild.
                next.indexHeaderPos = static_cast<std::uint32_t>(at);
                next.indexHeaderLength = h.length;
                static const unsigned char zero[8] = {};
                out.put(zero, 8);
                out.put(data + 8, h.length - 8);
            } else {
                out.put(data, h.length);
            }
            out.zeros(slack);
        }
        pos = nextRecordPosition(pos, h);
    }
    out.flush();
    next.freeLoaded = true;
    next.freeTrusted = true;
    m = std::move(next);
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
    std::vector<unsigned char> bytes;
    try {
        bytes.assign(kFileHeaderSize + kLeaderSize + reservedSize, 0);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    std::memcpy(bytes.data(), kSignature.data(), 4);
    put16(bytes.data() + 4, kVersion);
    for (int i = 0; i < 4; ++i)
        bytes[6 + i] = static_cast<unsigned char>(fileType ? fileType[i] : '?');
    put32(bytes.data() + 10, kLeaderSize);
    put32(bytes.data() + 14, reservedSize);
    OSErr err = file.truncate(0);
    if (!err) err = file.write(0, bytes.data(), bytes.size());
    OSErr closeErr = file.close();
    return err ? err : closeErr;
}

OSErr RecordFile::open(const std::string& path, bool readOnly, std::unique_ptr<RecordFile>* out) {
    if (!out) return paramErr;
    out->reset();
    std::unique_ptr<State> s(new (std::nothrow) State);
    if (!s) return memFullErr;
    s->fileSpec = FSSpec::fromPath(path);
    s->readOnly = readOnly;
    if (OSErr err = s->file.open(s->fileSpec, readOnly ? FilePerm::readOnly : FilePerm::readWrite))
        return err;
    State* st = s.get();
    OSErr err = guarded([st] { st->load(); });
    if (err) return err; // the buffered file closes the descriptor
    s->open = true;
    out->reset(new (std::nothrow) RecordFile(std::move(s)));
    return *out ? noErr : memFullErr;
}

OSErr RecordFile::iterate(std::uint8_t type, std::uint32_t after, RecordInfo* next) {
    if (!next) return paramErr;
    *next = RecordInfo{};
    if (!s_->open) return rfNumErr;
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
    if (OSErr err = s_->settle()) return err;
    State* s = s_.get();
    return guarded([&] {
        std::vector<FreeCensus> census;
        const bool complete =
            s->walk([&](std::uint32_t pos, const RecordHeader& h, const unsigned char* d) {
                if (h.type == kRecordFree && h.length >= kMinRecordData)
                    census.push_back({pos, h.length, be32(d), be32(d + 4)});
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
    const std::size_t text = classEntryOffset(be16(d + 4));
    const std::size_t textLength = be16(d + 6);
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
    if (!s_->open || s_->settle() || s_->headerAt(position, &h) || h.type != kRecordPackage ||
        h.length > BufferedFile::capacity())
        return name;
    OSErr err;
    const unsigned char* d = s_->file.peek(position, h.length, &err);
    if (d) imageNameFromFileBytes(d, h.length, &name);
    return name;
}

OSErr RecordFile::writeRecord(std::uint8_t type, Handle image, std::uint32_t* position) {
    if (position) *position = 0;
    if (!s_->open) return rfNumErr;
    if (s_->readOnly) return permErr;
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
    return s_->settle();
}

OSErr RecordFile::deleteRecord(std::uint32_t position) {
    if (!s_->open) return rfNumErr;
    if (s_->readOnly) return permErr;
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
    if (!s_->open) return rfNumErr;
    if (s_->readOnly) return permErr;
    State* s = s_.get();
    return guarded([&] {
        s->flushPending();
        s->markOutOfDate();
    });
}

OSErr RecordFile::rebuildClassIndex() {
    if (!s_->open) return rfNumErr;
    if (s_->readOnly) return permErr;
    State* s = s_.get();
    return guarded([&] {
        s->flushPending();
        s->rebuild();
    });
}

OSErr RecordFile::close() {
    State* s = s_.get();
    if (!s->open) return rfNumErr;
    if (s->readOnly) {
        OSErr err = s->file.close();
        // The descriptor is released even then: open it again so that the file stays usable.
        if (err && s->file.open(s->fileSpec, FilePerm::readOnly) == noErr) return err;
        s->open = false;
        return err;
    }
    // A failure after compaction has begun puts the temporary copy back, so that the positions
    // the caller holds stay valid.
    Meta before;
    TempFile temp;
    bool compacted = false;
    OSErr err = guarded([&] {
        s->flushPending();
        if (s->m.freeHead && s->m.changedByDelete) {
            before = s->m;
            temp.fileSpec = MakeTempFileSpec("QPK", s->fileSpec.path);
            FailOSErr(FSpCreate(temp.fileSpec, "RHWQ", "TMP"));
            temp.made = true;
            FailOSErr(temp.file.open(temp.fileSpec, FilePerm::readWrite));
            copyBytes(s->file, temp.file, s->file.eof());
            compacted = true;
            s->compactFrom(temp.file);
        }
        if (!s->m.indexCurrent) s->rebuild();
        s->writeIndexHeader();
        if (s->m.leaderChanged) {
            FailOSErr(s->putLeaderHead(s->m.freeHead));
            s->m.leaderChanged = false;
        }
    });
    if (!err) {
        err = s->file.close(true);
        if (!err) {
            s->open = false;
            return noErr;
        }
        // The descriptor is gone: open the file again so that it stays usable.
        if (s->file.open(s->fileSpec, FilePerm::readWrite) != noErr) {
            s->open = false;
            if (compacted) temp.made = false; // keep the copy: it is the only one left
            return err;
        }
    }
    if (compacted) {
        OSErr restore = CatchFailures([&] {
            copyBytes(temp.file, s->file, temp.file.eof());
            FailOSErr(s->file.truncate(temp.file.eof()));
        });
        if (restore) {
            temp.made = false; // the copy on disk is the only whole one left
            s->file.dropBuffer();
        }
        s->m = std::move(before);
    }
    return err;
}

void RecordFile::setReadOnly() {
    // The records appended so far stay in the file; should their block fail to be written, the
    // file is cut back to where it was well formed.
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
    return s_->pendingLen && !s_->tailBlock ? s_->pendingStart + s_->pendingLen : s_->file.eof();
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
