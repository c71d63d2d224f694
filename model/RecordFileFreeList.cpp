// The record file's free list and record allocation: the free list kept in memory as it is on
// disk, first-fit placement with splitting and merging of free blocks, records written at the end
// of the file, and records freed onto the list.
#include "model/RecordFileInternal.h"

#include "model/Image.h"

#include <cstring>

using namespace rf;

OSErr RecordFile::State::putLeaderHead(std::uint32_t head) {
    unsigned char b[4];
    putBE32(b, head);
    if (OSErr err = fileWrite(m.leaderPos, b, 4)) return err;
    m.freeHead = head;
    putBE32(m.leader, head);
    m.leaderChanged = false;
    return noErr;
}

// Writes the list head when blocks were pushed since it was last written.
void RecordFile::State::syncLeaderHead() {
    if (m.leaderChanged) FailOSErr(putLeaderHead(m.freeHead));
}

// Sets the link of the free block at pred (0: the list head) from old to next. A failed write
// puts old back, so that a link half written never names anything.
OSErr RecordFile::State::putLink(std::uint32_t pred, std::uint32_t next, std::uint32_t old) {
    const std::uint64_t at = pred == 0 ? m.leaderPos : std::uint64_t(pred) + 4;
    unsigned char b[4], was[4];
    putBE32(b, next);
    putBE32(was, old);
    if (OSErr err = fileWrite(at, b, 4)) {
        restoreBytes(at, was, 4);
        return err;
    }
    if (pred == 0) {
        m.freeHead = next;
        putBE32(m.leader, next);
        m.leaderChanged = false;
    }
    return noErr;
}

// Follows the chain on disk from the head; false when a link leaves the records area, names
// something that is not a free block, or comes back to a block already seen.
bool RecordFile::State::loadFreeListFromDisk() {
    m.freeNodes.clear();
    const std::uint64_t limit = file.eof() / kMinSplit + 1;
    std::uint32_t prev = 0;
    for (std::uint32_t p = m.freeHead; p;) {
        if (m.freeNodes.size() > limit || m.freeNodes.contains(p)) return false;
        RecordHeader h;
        if (headerAt(p, &h) || h.type != kRecordFree || h.length < kMinRecordData) return false;
        unsigned char b[8];
        if (file.read(p, b, sizeof b)) return false;
        if (getBE32(b) != h.length) return false;
        const std::uint32_t next = getBE32(b + 4);
        m.freeNodes.add(p, {h.length, next, prev});
        prev = p;
        p = next;
    }
    m.freeLoaded = true;
    m.freeTrusted = false;
    return true;
}

// Takes the free list from what a full scan saw, when the chain on disk is sound.
void RecordFile::State::adoptCensus(const std::vector<FreeCensus>& census) {
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
        if (it == byPos.end() || nodes.contains(p) || it->second->sizeField != it->second->length ||
            it->second->length < kMinRecordData)
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
void RecordFile::State::rebuildFreeListByScan() {
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
        putBE32(b + 6, blocks[i].second);
        putBE32(b + 10, i + 1 < blocks.size() ? blocks[i + 1].first : 0);
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

void RecordFile::State::ensureFreeList() {
    if (m.freeLoaded) return;
    if (!loadFreeListFromDisk()) rebuildFreeListByScan();
}

// Takes the block off the list (one link write). It stays a free block that no link names.
void RecordFile::State::unlinkFree(std::uint32_t p) {
    FailOSErr(settle());
    syncLeaderHead(); // the head on disk may still name p
    const FreeNode n = m.freeNodes.at(p);
    FailOSErr(putLink(n.prev, n.next, p));
    if (n.prev) m.freeNodes.setNext(n.prev, n.next);
    if (n.next) m.freeNodes.setPrev(n.next, n.prev);
    m.freeNodes.erase(p);
}

// Puts a free block whose header and link (to the current head) are on disk at the head.
// The head itself is written later, once for a run of deletes (by syncLeaderHead): until
// then the blocks pushed are free blocks that the list on disk does not name yet.
void RecordFile::State::pushFree(std::uint32_t p, std::uint32_t size) {
    const std::uint32_t oldHead = m.freeHead;
    m.freeHead = p;
    putBE32(m.leader, p);
    m.leaderChanged = true;
    m.freeNodes.add(p, {size, oldHead, 0});
    if (oldHead) m.freeNodes.setPrev(oldHead, p);
}

// Merges the free block at p with the free blocks that follow it directly.
void RecordFile::State::mergeFollowing(std::uint32_t p) {
    FailOSErr(settle()); // the headers read below are the ones on disk
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
        putBE32(b + 6, static_cast<std::uint32_t>(merged));
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
std::uint32_t RecordFile::State::findFit(std::uint32_t need) {
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

// In memory: the free block at p gives its place on the list to the free block at rest of
// restSize bytes, or with rest 0 leaves the list.
void RecordFile::State::replaceFree(std::uint32_t p, std::uint32_t rest, std::uint32_t restSize) {
    const FreeNode n = m.freeNodes.at(p);
    m.freeNodes.erase(p);
    if (rest) m.freeNodes.add(rest, {restSize, n.next, n.prev});
    const std::uint32_t after = rest ? rest : n.next;
    if (n.prev)
        m.freeNodes.setNext(n.prev, after);
    else
        m.freeHead = after;
    if (n.next) m.freeNodes.setPrev(n.next, rest ? rest : n.prev);
}

// Writes len bytes of whole records over the front of the free block at p (size data bytes),
// which the list on disk names between prev and next, starting at the block's header. With rest
// (the data position of what is left of the block behind the records), the 14 bytes behind the
// records in bytes receive its header, size and link, and it takes the block's place on the
// list. The block first leaves the list, so the list never names anything but a free block:
// one link write, the records and the rest's header in one write, one more link write. *unlisted
// tells whether a failure came after the block left the list (it is then a free block that no
// link names). A failure of the last link write is not one: the records are in the file, and
// the link is owed (written by the next settle).
OSErr RecordFile::State::overwriteFreeBlock(std::uint32_t p, std::uint32_t size, std::uint32_t prev,
                                            std::uint32_t next, unsigned char* bytes,
                                            std::size_t len, std::uint32_t rest, bool* unlisted) {
    *unlisted = false;
    if (OSErr err = putLink(prev, next, p)) return err;
    *unlisted = true;
    if (rest) {
        const std::uint32_t restSize = p + size - rest;
        unsigned char* r = bytes + len;
        encodeRecordHeader(r, kRecordFree, 0, restSize);
        putBE32(r + kRecordHeaderSize, restSize);
        putBE32(r + kRecordHeaderSize + 4, next);
        len += kMinSplit;
    }
    if (OSErr err = fileWrite(p - kRecordHeaderSize, bytes, len)) {
        unsigned char old[kMinSplit];
        encodeRecordHeader(old, kRecordFree, 0, size);
        putBE32(old + kRecordHeaderSize, size);
        putBE32(old + kRecordHeaderSize + 4, next);
        restoreBytes(p - kRecordHeaderSize, old, sizeof old);
        m.freeTrusted = false;
        return err;
    }
    *unlisted = false;
    if (rest && putLink(prev, rest, next) != noErr) {
        owedLink = true;
        owedPrev = prev;
        owedRest = rest;
        owedNext = next;
    }
    return noErr;
}

// Writes the link that overwriteFreeBlock could not.
void RecordFile::State::writeOwedLink() {
    if (!owedLink) return;
    owedLink = false; // the write below goes straight to the file
    if (OSErr err = putLink(owedPrev, owedRest, owedNext)) {
        owedLink = true;
        FailOSErr(err);
    }
}

// Stores a record in the free block at p, at its front. When at least 14 bytes would remain,
// the block is split: the rest becomes a free block of its own that takes the block's place on
// the list. Otherwise the record takes the whole block, its spare bytes as slack. Records placed
// one behind the other in the same block collect in the pending block and are written together
// (see overwriteFreeBlock); one larger than that block is written at once.
std::uint32_t RecordFile::State::placeInFreeBlock(std::uint32_t p, std::uint8_t type,
                                                  const unsigned char* data, std::uint32_t len) {
    const FreeNode n = m.freeNodes.at(p);
    const std::uint32_t need = std::max(len, kMinRecordData);
    const bool split = n.size - need >= kMinSplit;
    const std::uint32_t used = split ? need : n.size; // data and slack of the new record
    const std::uint32_t rest = split ? p + used + kRecordHeaderSize : 0;
    const std::uint32_t restSize = split ? n.size - used - kRecordHeaderSize : 0;
    const std::size_t recSize = kRecordHeaderSize + std::size_t(used);
    const bool batched = recSize <= kAppendBlock;
    const bool continues = batched && pendingLen && frontBlock && frontRest &&
                           p == frontBlock + pendingLen && pendingLen + recSize <= kAppendBlock;
    if (!continues) {
        flushPending();
        // The list head on disk must name what the list in memory starts with.
        syncLeaderHead();
    }
    unsigned char* rec;
    if (batched) {
        if (!pending) pending.reset(new unsigned char[kAppendBlock + kMinSplit]);
        if (!continues) {
            frontBlock = p;
            frontSize = n.size;
            pendingStart = p - kRecordHeaderSize;
        }
        rec = pending.get() + pendingLen;
    } else {
        recordBytes.resize(recSize + kMinSplit);
        rec = recordBytes.data();
    }
    encodeRecordHeader(rec, type, used - len, len);
    if (len) std::memcpy(rec + kRecordHeaderSize, data, len);
    std::memset(rec + kRecordHeaderSize + len, 0, used - len);
    if (batched) {
        pendingLen += recSize;
        frontRest = split;
        frontPrev = n.prev;
        frontNext = n.next;
        replaceFree(p, rest, restSize);
        return p;
    }
    bool unlisted;
    if (OSErr err = overwriteFreeBlock(p, n.size, n.prev, n.next, rec, recSize, rest, &unlisted)) {
        if (unlisted) replaceFree(p, 0, 0);
        FailOSErr(err);
    }
    replaceFree(p, rest, restSize);
    return p;
}

std::uint32_t RecordFile::State::appendRecord(std::uint8_t type, const unsigned char* data,
                                              std::uint32_t len) {
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

// Stores a new record (data in file order) and returns its position.
std::uint32_t RecordFile::State::writeRaw(std::uint8_t type, const unsigned char* data,
                                          std::uint32_t len) {
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
void RecordFile::State::freeRecord(std::uint32_t pos, const RecordHeader& h) {
    FailOSErr(settle()); // the link written below is the list head after the pending writes
    ensureFreeList();
    if (h.span() < kMinRecordData || h.span() > kMaxPosition) FailOSErr(paramErr);
    const std::uint32_t cap = static_cast<std::uint32_t>(h.span());
    unsigned char old[kMinSplit], b[kMinSplit];
    readAt(pos - kRecordHeaderSize, old, sizeof old);
    encodeRecordHeader(b, kRecordFree, 0, cap);
    putBE32(b + 6, cap);
    putBE32(b + 10, m.freeHead);
    if (OSErr err = fileWrite(pos - kRecordHeaderSize, b, sizeof b)) {
        restoreBytes(pos - kRecordHeaderSize, old, sizeof old);
        FailOSErr(err);
    }
    pushFree(pos, cap);
}
