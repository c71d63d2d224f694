// The record file's class index: the index header, the class index record, and its rebuild,
// which sets every class link of the package records and writes a new sorted index.
#include "model/RecordFileInternal.h"

#include "model/Image.h"

#include <cstring>
#include <new>
#include <span>

namespace rf {

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
    using Slots = std::unique_ptr<Chain[]>;
    // The table is cleared by writing it at once (new, not calloc, which would leave it to the
    // system's zero pages). Left to the zero pages, the lookups would read a page before writing
    // it, and each such page would be replaced on its first write, which costs a flush of every
    // processor's address cache once threads have run.
    static Slots zeroedSlots(std::size_t n) {
        Slots p(new (std::nothrow) Chain[n]());
        FailNIL(p.get());
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
    const std::uint32_t classes = getBE16(d + 4);
    for (std::uint32_t k = 0; k < classes; ++k) {
        const std::uint64_t off = classEntryOffset(int(k));
        if (off + kClassEntrySize > length) break;
        const std::uint64_t section = off + getBE16(d + off + 4);
        if (section + kSectionHeaderSize > length) continue;
        const auto classId = static_cast<std::int32_t>(getBE32(d + section));
        if (classId != 0) take(static_cast<std::uint32_t>(off), classId, getBE32(d + off));
    }
}

// Whole records that the index rebuild reads and writes back as one block: from the header of
// the first to the end of the last.
struct RecordRun {
    std::uint64_t from, to;
};
constexpr std::uint64_t kRunBlock = 256 * 1024;

} // namespace rf

using namespace rf;

void RecordFile::State::writeIndexHeader() {
    if (!m.indexHeaderPos) return;
    unsigned char b[kIndexHeaderSize], old[kIndexHeaderSize];
    const std::size_t len = std::min<std::size_t>(m.indexHeaderLength, sizeof b);
    putBE32(b, m.indexCurrent ? m.indexPos : 0);
    putBE32(b + 4, m.indexCurrent ? m.indexCount : 0);
    std::memcpy(b + 8, m.indexReserved, 8);
    readAt(m.indexHeaderPos, old, len);
    if (std::memcmp(old, b, len) == 0) return; // a close that changed nothing writes nothing
    if (OSErr err = fileWrite(m.indexHeaderPos, b, len)) {
        restoreBytes(m.indexHeaderPos, old, len);
        FailOSErr(err);
    }
}

void RecordFile::State::markOutOfDate() {
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
        FailOSErr(headerAt(m.indexPos, &h)); // a read that fails must not leave it behind
        if ((h.type == kRecordClassIndex || h.type == kRecordStaleIndex) &&
            h.span() >= kMinRecordData)
            freeRecord(m.indexPos, h);
        m.indexPos = 0;
        m.indexCount = 0;
    }
}

// Reads a class index record's count; false when the record is not a well-formed index.
bool RecordFile::State::classIndexAt(std::uint32_t pos, std::uint8_t wantType,
                                     std::uint32_t* count) {
    RecordHeader h;
    if (headerAt(pos, &h) || h.type != wantType || h.length < 4) return false;
    unsigned char b[4];
    if (file.read(pos, b, 4)) return false;
    *count = getBE32(b);
    return std::uint64_t(h.length) == 4 + std::uint64_t(kIndexEntrySize) * *count;
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
            census.push_back({pos, h.length, getBE32(d), getBE32(d + 4)});
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
        // a lone link is written alone. Into a journal each link goes alone, with the bytes it
        // replaces: the journal keeps only what changes, and the held writes are gathered again
        // on their way to the file.
        const bool held = file.holdsWrites();
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
            if (j - i > 1 || held) readAt(from, window.data(), window.size());
            for (std::size_t k = i; k < j; ++k) {
                unsigned char* link = window.data() + (changes[k].first - from);
                if (held) {
                    unsigned char b[4];
                    putBE32(b, changes[k].second);
                    writeAt(changes[k].first, b, 4, link);
                } else {
                    putBE32(link, changes[k].second);
                }
            }
            if (!held) writeAt(from, window.data(), window.size());
            i = j;
        }
    }
    std::vector<std::uint32_t> index = chains.indexWords();
    const std::uint32_t count = index[0];
    for (std::uint32_t& word : index)
        putBE32(reinterpret_cast<unsigned char*>(&word), word);

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
    std::vector<std::uint32_t> patched;  // offsets in the block, from the last to the first
    std::vector<std::uint32_t> wasLinks; // their links before, for a journal
    const bool held = file.holdsWrites();
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
        wasLinks.clear();
        for (std::size_t i = entries.size(); i-- > 0;) {
            const Entry& e = entries[i];
            ClassChains::Chain& c = chains.find(e.classId);
            if (e.link != c.first) {
                putBE32(block.data() + e.at, c.first);
                patched.push_back(e.at);
                wasLinks.push_back(e.link);
            }
            c.first = static_cast<std::uint32_t>(run.from + e.at);
        }
        // Into a journal each link goes alone, with the link it replaces (as above).
        if (held) {
            for (std::size_t i = 0; i < patched.size(); ++i) {
                unsigned char was[4];
                putBE32(was, wasLinks[i]);
                writeAt(run.from + patched[i], block.data() + patched[i], 4, was);
            }
            continue;
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
