// The rollback journal of a record file (the layout and the rules are in RecordFileJournal.h).
#include "model/RecordFileJournal.h"

#include "model/ByteOrder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace rf {

namespace {

constexpr char kMagic[8] = {'Q', 'P', 'K', '-', 'J', 'R', 'N', 'L'};
constexpr std::uint32_t kJournalVersion = 1;
constexpr std::size_t kIdentityHead = 20;                // device, inode, path length
constexpr std::size_t kRegionHead = 12;                  // position, length
constexpr std::size_t kBodyBlock = std::size_t(1) << 20; // written out when this much waits

// CRC-32 (the polynomial of zip and PNG) eight bytes at a time: table k gives the CRC of a byte
// followed by k zero bytes.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;
constexpr CrcTables crcTables() {
    CrcTables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (std::uint32_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}
constexpr CrcTables kCrc = crcTables();

void putBE64(unsigned char* p, std::uint64_t v) {
    putBE32(p, static_cast<std::uint32_t>(v >> 32));
    putBE32(p + 4, static_cast<std::uint32_t>(v));
}
std::uint64_t getBE64(const unsigned char* p) {
    return std::uint64_t(getBE32(p)) << 32 | getBE32(p + 4);
}

// The file's writes go straight to it while the journal puts bytes back.
struct Unheld {
    BufferedFile& file;
    WriteHold* hold;
    explicit Unheld(BufferedFile& f) : file(f), hold(f.writeHold()) { f.setHold(nullptr); }
    ~Unheld() { file.setHold(hold); }
};

struct Slot {
    std::uint32_t sequence = 0;
    std::uint64_t length = 0, regions = 0, bodyBytes = 0;
    std::uint32_t bodyCrc = 0;
};

bool parseSlot(const unsigned char* p, Slot* slot) {
    if (std::memcmp(p, kMagic, sizeof kMagic) != 0) return false;
    if (getBE32(p + 60) != crc32(0, p, 60) || getBE32(p + 12) != kJournalVersion) return false;
    slot->sequence = getBE32(p + 8);
    slot->length = getBE64(p + 16);
    slot->regions = getBE64(p + 24);
    slot->bodyBytes = getBE64(p + 32);
    slot->bodyCrc = getBE32(p + 40);
    return true;
}

void encodeSlot(unsigned char* p, const Slot& slot) {
    std::memset(p, 0, kJournalSlotSize);
    std::memcpy(p, kMagic, sizeof kMagic);
    putBE32(p + 8, slot.sequence);
    putBE32(p + 12, kJournalVersion);
    putBE64(p + 16, slot.length);
    putBE64(p + 24, slot.regions);
    putBE64(p + 32, slot.bodyBytes);
    putBE32(p + 40, slot.bodyCrc);
    putBE32(p + 60, crc32(0, p, 60));
}

// The identity a journal's body names.
struct Named {
    FileIdentity id;
    std::string path;
};

// Reads the journal at path. A journal without a valid slot is returned as not valid.
OSErr readJournal(const std::string& path, HotJournal* out, Named* named) {
    *out = HotJournal{};
    out->path = path;
    FileRef ref = 0;
    if (OSErr err = FSpOpen(FSSpec::fromPath(path), FilePerm::readOnly, &ref)) return err;
    long size = 0;
    OSErr err = GetEOF(ref, &size);
    std::vector<unsigned char> bytes;
    if (!err) {
        try {
            bytes.resize(static_cast<std::size_t>(size));
        } catch (const std::bad_alloc&) {
            err = memFullErr;
        }
    }
    long count = size;
    if (!err && size) err = FSReadAt(ref, 0, &count, bytes.data());
    FSClose(ref);
    if (err) return err;
    if (bytes.size() < kJournalBodyStart) return noErr;
    // The valid slot with the higher sequence number whose body bytes are whole.
    Slot best;
    bool found = false;
    for (int i = 0; i < 2; ++i) {
        Slot s;
        if (!parseSlot(bytes.data() + i * kJournalSlotSize, &s)) continue;
        if (s.bodyBytes > bytes.size() - kJournalBodyStart) continue;
        if (crc32(0, bytes.data() + kJournalBodyStart, s.bodyBytes) != s.bodyCrc) continue;
        if (!found || s.sequence > best.sequence) best = s;
        found = true;
    }
    if (!found || best.bodyBytes < kIdentityHead) return noErr;
    const unsigned char* body = bytes.data() + kJournalBodyStart;
    const unsigned char* end = body + best.bodyBytes;
    named->id.device = getBE64(body);
    named->id.inode = getBE64(body + 8);
    const std::uint32_t pathLength = getBE32(body + 16);
    if (pathLength > best.bodyBytes - kIdentityHead) return noErr;
    named->path.assign(reinterpret_cast<const char*>(body + kIdentityHead), pathLength);
    const unsigned char* p = body + kIdentityHead + pathLength;
    for (std::uint64_t i = 0; i < best.regions; ++i) {
        if (std::size_t(end - p) < kRegionHead) return noErr;
        const std::uint64_t at = getBE64(p);
        const std::uint32_t len = getBE32(p + 8);
        p += kRegionHead;
        if (std::size_t(end - p) < len) return noErr;
        out->regions.emplace(at, std::vector<unsigned char>(p, p + len));
        out->savedBytes += len;
        p += len;
    }
    out->valid = true;
    out->length = best.length;
    return noErr;
}

bool exists(const std::string& path) {
    FileIdentity id;
    return FSpGetIdentity(FSSpec::fromPath(path), &id) == noErr;
}

} // namespace

std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t len) {
    auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (; len >= 8; len -= 8, p += 8) {
        const std::uint32_t lo = crc ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                        std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
        crc = kCrc[7][lo & 0xFF] ^ kCrc[6][(lo >> 8) & 0xFF] ^ kCrc[5][(lo >> 16) & 0xFF] ^
              kCrc[4][lo >> 24] ^ kCrc[3][p[4]] ^ kCrc[2][p[5]] ^ kCrc[1][p[6]] ^ kCrc[0][p[7]];
    }
    for (; len; --len, ++p)
        crc = kCrc[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::string journalBeside(const std::string& path) {
    return path + "-journal";
}

std::string compactedBeside(const std::string& path) {
    return path + "-compact";
}

std::string journalInStateFolder(const FileIdentity& id, bool make) {
    std::string folder;
    if (UserStateFolder("ortix-kelvane/journals", make, &folder)) return {};
    char name[64];
    std::snprintf(name, sizeof name, "/%llx-%llx.qpk-journal",
                  static_cast<unsigned long long>(id.device),
                  static_cast<unsigned long long>(id.inode));
    return folder + name;
}

OSErr findHotJournal(const std::string& path, const BufferedFile& file, HotJournal* out) {
    *out = HotJournal{};
    Named named;
    // A journal that its writer deletes meanwhile (its commit ended) is no journal.
    const auto read = [&](const std::string& journal) {
        const OSErr err = readJournal(journal, out, &named);
        if (err == fnfErr) *out = HotJournal{};
        return err == fnfErr ? noErr : err;
    };
    const std::string beside = journalBeside(FSpResolvedPath(path));
    if (exists(beside)) return read(beside);
    FileIdentity id;
    if (OSErr err = file.identity(&id)) return err;
    const std::string kept = journalInStateFolder(id, false);
    if (kept.empty() || !exists(kept)) return noErr;
    if (OSErr err = read(kept)) return err;
    // Inode numbers are reused: a journal that vouches for changes must name this very file.
    // One that vouches for nothing may go whichever file it was made for.
    if (out->valid && (!(named.id == id) || FSpResolvedPath(named.path) != FSpResolvedPath(path)))
        *out = HotJournal{};
    return noErr;
}

OSErr rollBackHotJournal(BufferedFile& file, const HotJournal& journal) {
    if (journal.valid) {
        Unheld direct(file);
        for (const auto& [at, bytes] : journal.regions)
            if (OSErr err = file.write(at, bytes.data(), bytes.size())) return err;
        if (file.eof() != journal.length) {
            if (OSErr err = file.truncate(journal.length)) return err;
        }
        if (OSErr err = file.sync()) return err;
    }
    // A journal cut short before any slot vouched for it was made before the file changed.
    if (OSErr err = FSpDelete(FSSpec::fromPath(journal.path))) return err;
    return journal.valid ? FSSyncFolder(FolderOf(journal.path)) : noErr;
}

// --- Journal ------------------------------------------------------------------------------------

Journal::~Journal() {
    if (ref_) FSClose(ref_);
}

// The journal lies beside the file the path leads to, whatever links lead there.
void Journal::attach(BufferedFile* file, const std::string& path) {
    file_ = file;
    filePath_ = FSpResolvedPath(path);
    path_ = journalBeside(filePath_);
}

void Journal::reset() {
    if (ref_) FSClose(ref_);
    ref_ = 0;
    active_ = false;
    saved_.clear();
    pending_.reset();
    pendingLen_ = pendingCap_ = 0;
    bodyWritten_ = 0;
    regions_ = 0;
    crc_ = 0;
    sequence_ = 0;
    durable_ = false;
    everDurable_ = false;
    path_ = journalBeside(filePath_);
}

unsigned char* Journal::growBody(std::size_t len) {
    if (pendingLen_ + len > pendingCap_) {
        const std::size_t cap = std::max(pendingLen_ + len, std::max(pendingCap_ * 2, kBodyBlock));
        std::unique_ptr<unsigned char[]> grown(new unsigned char[cap]);
        if (pendingLen_) std::memcpy(grown.get(), pending_.get(), pendingLen_);
        pending_ = std::move(grown);
        pendingCap_ = cap;
    }
    return pending_.get() + pendingLen_;
}

// The body bytes just put behind the others at p join them.
void Journal::appendBody(const void* src, std::size_t len) {
    unsigned char* p = growBody(len);
    if (p != src) std::memcpy(p, src, len);
    pendingLen_ += len;
    crc_ = crc32(crc_, p, len);
}

OSErr Journal::begin(std::uint64_t eof) {
    reset();
    FileIdentity id;
    if (OSErr err = file_->identity(&id)) return err;
    active_ = true;
    length_ = eof;
    unsigned char head[kIdentityHead];
    putBE64(head, id.device);
    putBE64(head + 8, id.inode);
    putBE32(head + 16, static_cast<std::uint32_t>(filePath_.size()));
    try {
        appendBody(head, sizeof head);
        appendBody(filePath_.data(), filePath_.size());
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}

OSErr Journal::keepOriginal(std::uint64_t pos, std::size_t len, const unsigned char* current) {
    const std::uint64_t end = pos + len;
    // The saved regions that touch [pos, end), and the gaps between them, which are saved now.
    auto it = saved_.upper_bound(pos);
    if (it != saved_.begin() && std::prev(it)->second >= pos) --it;
    std::uint64_t at = pos;
    try {
        while (at < end) {
            const std::uint64_t gapEnd = it != saved_.end() ? std::min(end, it->first) : end;
            if (at < gapEnd) {
                // Never changed in this transaction, these bytes are still the original ones.
                const auto n = static_cast<std::size_t>(gapEnd - at);
                unsigned char* region = growBody(kRegionHead + n);
                putBE64(region, at);
                putBE32(region + 8, static_cast<std::uint32_t>(n));
                if (current)
                    std::memcpy(region + kRegionHead, current + (at - pos), n);
                else if (OSErr err = file_->readFromDisk(at, region + kRegionHead, n))
                    return err;
                appendBody(region, kRegionHead + n);
                ++regions_;
                durable_ = false;
            }
            if (it == saved_.end() || it->first >= end) break;
            at = std::max(at, it->second);
            ++it;
        }
        // One region from the first saved one touched to the last.
        std::uint64_t lo = pos, hi = end;
        auto first = saved_.upper_bound(pos);
        if (first != saved_.begin() && std::prev(first)->second >= pos) --first;
        auto last = first;
        while (last != saved_.end() && last->first <= end) {
            lo = std::min(lo, last->first);
            hi = std::max(hi, last->second);
            ++last;
        }
        saved_.erase(first, last);
        saved_.emplace(lo, hi);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return pendingLen_ >= kBodyBlock ? writeBody() : noErr;
}

OSErr Journal::beforeFileChange() {
    return makeDurable();
}

// Creates the journal beside the file, or in the state folder when the file's folder does not
// let this user create it.
OSErr Journal::makeFile() {
    path_ = journalBeside(filePath_);
    OSErr err = FSpOpenNew(FSSpec::fromPath(path_), &ref_);
    if (err != permErr) return err;
    FileIdentity id;
    if (file_->identity(&id) != noErr) return err;
    const std::string kept = journalInStateFolder(id, true);
    if (kept.empty() || FSpOpenNew(FSSpec::fromPath(kept), &ref_) != noErr) return err;
    path_ = kept;
    return noErr;
}

OSErr Journal::writeBody() {
    if (!ref_) {
        if (OSErr err = makeFile()) return err;
    }
    if (!pendingLen_) return noErr;
    long count = static_cast<long>(pendingLen_);
    if (OSErr err = FSWriteAt(ref_, static_cast<long>(kJournalBodyStart + bodyWritten_), &count,
                              pending_.get()))
        return err;
    bodyWritten_ += pendingLen_;
    pendingLen_ = 0;
    return noErr;
}

OSErr Journal::makeDurable() {
    if (durable_) return noErr;
    if (OSErr err = writeBody()) return err;
    Slot slot;
    slot.sequence = ++sequence_;
    slot.length = length_;
    slot.regions = regions_;
    slot.bodyBytes = bodyWritten_;
    slot.bodyCrc = crc_;
    unsigned char b[kJournalSlotSize];
    encodeSlot(b, slot);
    long count = sizeof b;
    if (OSErr err = FSWriteAt(ref_, long(slot.sequence % 2) * kJournalSlotSize, &count, b))
        return err;
    if (OSErr err = FSSync(ref_)) return err;
    // A new journal's name reaches the disk too before the file may change.
    if (!everDurable_) {
        if (OSErr err = FSSyncFolder(FolderOf(path_))) return err;
    }
    durable_ = everDurable_ = true;
    return noErr;
}

OSErr Journal::commit(bool sync) {
    if (!active_) return noErr;
    if (file_->heldBytes() || everDurable_) {
        if (OSErr err = makeDurable()) return err;
        if (OSErr err = file_->writeHeld()) return err;
        if (sync) {
            if (OSErr err = file_->sync()) return err;
        }
    }
    if (ref_) {
        FSClose(ref_);
        ref_ = 0;
        if (OSErr err = FSpDelete(FSSpec::fromPath(path_))) {
            // A journal that cannot go must at least vouch for nothing any more.
            static const unsigned char zero[kJournalBodyStart] = {};
            FileRef ref = 0;
            long count = sizeof zero;
            OSErr wipe = FSpOpen(FSSpec::fromPath(path_), FilePerm::readWrite, &ref);
            if (!wipe) wipe = FSWriteAt(ref, 0, &count, zero);
            if (!wipe) wipe = FSSync(ref);
            if (ref) FSClose(ref);
            if (wipe) return err;
        } else if (sync && everDurable_) {
            // The file is whole on the disk and the journal gone: the transaction is committed.
            // Should the name's removal not reach the disk, a power loss brings the journal
            // back, and with it the file as it was before: whole too.
            (void)FSSyncFolder(FolderOf(path_));
        }
    }
    file_->endHold();
    reset();
    return noErr;
}

OSErr Journal::rollBack() {
    if (!active_) return noErr;
    file_->endHold();
    if (everDurable_) {
        // Only what the journal on disk vouches for can have reached the file.
        HotJournal hot;
        Named named;
        if (ref_) {
            FSClose(ref_);
            ref_ = 0;
        }
        if (OSErr err = readJournal(path_, &hot, &named)) return err;
        if (OSErr err = rollBackHotJournal(*file_, hot)) return err;
    } else if (ref_) {
        FSClose(ref_);
        ref_ = 0;
        (void)FSpDelete(FSSpec::fromPath(path_)); // it vouches for nothing
    }
    file_->dropBuffer();
    reset();
    return noErr;
}

} // namespace rf
