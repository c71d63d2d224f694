// Verification of a record file on disk or in memory.
#include "model/Verify.h"

#include "model/Image.h"
#include "model/RecordFile.h"
#include "model/RecordFileBuffer.h"
#include "model/RecordFileFormat.h"
#include "model/RecordFileJournal.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <unordered_map>
#include <unordered_set>

using namespace rf;

void VerifyReport::fault(std::string line) {
    ++faultCount;
    if (faults.size() < kMaxFaultLines) faults.push_back(std::move(line));
}

namespace {

// Where the bytes come from: a file read through the buffered file object, or memory.
class Source {
public:
    virtual ~Source() = default;
    virtual std::uint64_t size() const = 0;
    // len bytes at pos, valid until the next call; nullptr with *err on failure.
    virtual const unsigned char* get(std::uint64_t pos, std::size_t len, OSErr* err) = 0;
};

class FileSource final : public Source {
public:
    OSErr open(const std::string& path) {
        return file_.open(FSSpec::fromPath(path), FilePerm::readOnly);
    }
    std::uint64_t size() const override { return file_.eof(); }
    const unsigned char* get(std::uint64_t pos, std::size_t len, OSErr* err) override {
        if (len <= BufferedFile::capacity()) return file_.peek(pos, len, err);
        large_.resize(len);
        *err = file_.read(pos, large_.data(), len);
        return *err ? nullptr : large_.data();
    }
    BufferedFile& file() { return file_; }

private:
    BufferedFile file_;
    std::vector<unsigned char> large_;
};

class MemorySource final : public Source {
public:
    MemorySource(const unsigned char* d, std::size_t n) : d_(d), n_(n) {}
    std::uint64_t size() const override { return n_; }
    const unsigned char* get(std::uint64_t pos, std::size_t len, OSErr* err) override {
        *err = noErr;
        if (pos > n_ || len > n_ - pos) {
            *err = eofErr;
            return nullptr;
        }
        return d_ + pos;
    }

private:
    const unsigned char* d_;
    std::size_t n_;
};

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

struct Rec {
    std::uint32_t pos;
    std::uint32_t length;
    std::uint8_t type;
};

struct ClassRef {
    std::uint32_t entryPos; // file position of the class table entry
    std::int32_t classId;
    std::uint32_t link;
    std::uint32_t recordPos;
};

struct FreeSeen {
    std::uint32_t length, sizeField, next;
};

class Verifier {
public:
    Verifier(Source& src, VerifyReport& r) : src_(src), r_(r) {}

    OSErr run() {
        r_.fileSize = src_.size();
        OSErr err;
        const std::size_t avail =
            static_cast<std::size_t>(std::min<std::uint64_t>(r_.fileSize, kFileHeaderSize));
        const unsigned char* head = src_.get(0, avail, &err);
        if (!head) return err;
        if ((err = parseFileHeader(head, avail, r_.fileSize, &header_))) return err;
        r_.version = header_.version;
        r_.oldLayout = header_.oldLayout;
        if (!header_.oldLayout) {
            const unsigned char* l = src_.get(kFileHeaderSize, 4, &err);
            if (!l) return err;
            freeHead_ = getBE32(l);
        }
        if (!walkRecords()) return noErr; // the chain is broken: nothing else can be trusted
        checkFreeList();
        checkIndex();
        return noErr;
    }

private:
    const Rec* recordAt(std::uint32_t pos) const {
        auto it = std::lower_bound(recs_.begin(), recs_.end(), pos,
                                   [](const Rec& r, std::uint32_t p) { return r.pos < p; });
        return it != recs_.end() && it->pos == pos ? &*it : nullptr;
    }

    bool walkRecords() {
        std::uint64_t pos = header_.recordsStart + kRecordHeaderSize;
        const std::uint64_t eof = r_.fileSize;
        bool leaderSeen = false;
        while (pos - kRecordHeaderSize < eof) {
            OSErr err;
            if (pos > kMaxPosition) {
                r_.fault(format("record at %" PRIu64 " lies beyond 32-bit positions", pos));
                return false;
            }
            if (pos > eof) {
                r_.fault(format("record header at %" PRIu64
                                " runs past the end of the file (%" PRIu64 " bytes)",
                                pos - kRecordHeaderSize, eof));
                return false;
            }
            const unsigned char* hp = src_.get(pos - kRecordHeaderSize, kRecordHeaderSize, &err);
            if (!hp) return readFailed(err, pos);
            const RecordHeader h = parseRecordHeader(hp);
            if (h.headerLength < kRecordHeaderSize) {
                r_.fault(format("record at %" PRIu64 ": header length %u is below 6", pos,
                                unsigned(h.headerLength)));
                return false;
            }
            if (pos + h.span() > eof) {
                r_.fault(format("record at %" PRIu64
                                ": %u data and %u slack bytes run past the end "
                                "of the file (%" PRIu64 " bytes)",
                                pos, h.length, h.slack(), eof));
                return false;
            }
            ++r_.records;
            r_.slackBytes += h.slack();
            if (h.type == kRecordAny) r_.fault(format("record at %" PRIu64 " has type 0", pos));
            if (h.span() < kMinRecordData)
                r_.fault(format("record at %" PRIu64 ": %u data and %u slack bytes, fewer than 8",
                                pos, h.length, h.slack()));
            const auto p32 = static_cast<std::uint32_t>(pos);
            recs_.push_back({p32, h.length, h.type});
            const unsigned char* d = src_.get(pos, h.length, &err);
            if (!d) return readFailed(err, pos);
            switch (h.type) {
            case kRecordPackage:
                checkImage(p32, d, h.length);
                break;
            case kRecordIndexHeader:
                if (!indexHeaderPos_) {
                    indexHeaderPos_ = p32;
                    if (h.length < kIndexHeaderSize)
                        r_.fault(
                            format("index header at %u holds %u bytes, not 16", p32, h.length));
                    if (h.length >= 8) {
                        namedPos_ = getBE32(d);
                        namedCount_ = getBE32(d + 4);
                    }
                }
                break;
            case kRecordClassIndex:
                classIndexes_.push_back(p32);
                break;
            case kRecordFree:
                if (h.length >= kMinRecordData)
                    free_[p32] = {h.length, getBE32(d), getBE32(d + 4)};
                else
                    free_[p32] = {h.length, 0, 0};
                break;
            case kRecordOldLeader:
                if (header_.oldLayout && !leaderSeen && h.length >= 4) {
                    leaderSeen = true;
                    freeHead_ = getBE32(d);
                }
                break;
            default:
                break;
            }
            pos = nextRecordPosition(pos, h);
        }
        if (header_.oldLayout && !leaderSeen)
            r_.fault("no leader record (type 254) in an old file");
        return true;
    }

    bool readFailed(OSErr err, std::uint64_t pos) {
        r_.fault(format("cannot read the record at %" PRIu64 " (error %d)", pos, int(err)));
        return false;
    }

    void checkImage(std::uint32_t pos, const unsigned char* d, std::uint32_t len) {
        ++r_.packages;
        if (len >= kImageHeaderSize) {
            r_.sections += getBE16(d);
            r_.nets += getBE16(d + 2);
        }
        copy_.assign(reinterpret_cast<const char*>(d), reinterpret_cast<const char*>(d) + len);
        std::string why;
        if (swapImageToHost(copy_.data(), copy_.size()) != noErr) {
            r_.fault(format("package at %u: its parts run past its %u bytes", pos, len));
            return;
        }
        if (!imageIsConsistent(copy_.data(), copy_.size(), &why)) {
            r_.fault(format("package at %u: %s", pos, why.c_str()));
            return;
        }
        // Class entries, read the way the index rebuild reads them.
        const std::uint32_t classes = getBE16(d + 4);
        for (std::uint32_t k = 0; k < classes; ++k) {
            const std::size_t off = classEntryOffset(int(k));
            const std::size_t section = off + getBE16(d + off + 4);
            const auto classId = static_cast<std::int32_t>(getBE32(d + section));
            if (classId != 0)
                classes_.push_back(
                    {static_cast<std::uint32_t>(pos + off), classId, getBE32(d + off), pos});
        }
    }

    void checkFreeList() {
        std::unordered_set<std::uint32_t> seen;
        for (std::uint32_t p = freeHead_; p;) {
            auto it = free_.find(p);
            if (it == free_.end()) {
                if (const Rec* rec = recordAt(p))
                    r_.fault(format("free list names the record at %u of type %u, not a free block",
                                    p, unsigned(rec->type)));
                else
                    r_.fault(
                        format("free list names %u, which is not the position of a record", p));
                break;
            }
            if (!seen.insert(p).second) {
                r_.fault(format("free list comes back to %u: it has a cycle", p));
                break;
            }
            if (it->second.length < kMinRecordData)
                r_.fault(format("free block at %u holds only %u bytes", p, it->second.length));
            else if (it->second.sizeField != it->second.length)
                r_.fault(format("free block at %u: size word %u, its record holds %u bytes", p,
                                it->second.sizeField, it->second.length));
            ++r_.freeBlocks;
            r_.freeBytes += it->second.length;
            p = it->second.next;
        }
        r_.unlistedFreeBlocks = free_.size() - seen.size();
    }

    // Reads the class index record at pos; false when it is not well formed.
    bool classIndexAt(std::uint32_t pos, std::uint8_t type, std::uint32_t* count) {
        const Rec* rec = recordAt(pos);
        if (!rec || rec->type != type || rec->length < 4) return false;
        OSErr err;
        const unsigned char* d = src_.get(pos, 4, &err);
        if (!d) return false;
        *count = getBE32(d);
        return std::uint64_t(rec->length) == 4 + std::uint64_t(kIndexEntrySize) * *count;
    }

    void checkIndex() {
        r_.hasIndexHeader = indexHeaderPos_ != 0;
        // Current only when the header names a type 4 record that holds the header's count.
        // Out of date, the first class index in the file is the one a rebuild replaces (unless
        // the header names a type 3 record); any other is left over.
        std::uint32_t index = 0, count = 0, replaced = 0;
        const Rec* named = namedPos_ ? recordAt(namedPos_) : nullptr;
        // The header names the class index in use, a type 3 record awaiting its rebuild, or
        // nothing (0); anything else is a fault, and so is an index of another size.
        if (namedPos_ &&
            !(named && (named->type == kRecordClassIndex || named->type == kRecordStaleIndex)))
            r_.fault(format("index header names %u, which is not a class index record", namedPos_));
        else if (named && named->type == kRecordClassIndex &&
                 !(classIndexAt(namedPos_, kRecordClassIndex, &count) && count == namedCount_))
            r_.fault(format("index header names the class index at %u with %u entries, which "
                            "it does not hold",
                            namedPos_, namedCount_));
        if (namedPos_ && classIndexAt(namedPos_, kRecordClassIndex, &count) && count == namedCount_)
            index = namedPos_;
        else if (!(named && named->type == kRecordStaleIndex) && !classIndexes_.empty())
            replaced = classIndexes_.front();
        for (std::uint32_t p : classIndexes_)
            if (p != index && p != replaced)
                r_.fault(format("class index at %u is not the index the file uses", p));
        if (!index) return;
        r_.indexCurrent = true;
        r_.indexEntries = count;

        // The first class entry of each Class ID, and the link each entry should hold.
        std::unordered_map<std::int32_t, std::uint32_t> nextOf;
        for (std::size_t i = classes_.size(); i-- > 0;) {
            const ClassRef& c = classes_[i];
            auto [it, isNew] = nextOf.try_emplace(c.classId, c.entryPos);
            const std::uint32_t want = isNew ? 0 : it->second;
            it->second = c.entryPos;
            if (c.link != want)
                r_.fault(format("package at %u: class link for Class ID %d is %u, should be %u",
                                c.recordPos, int(c.classId), c.link, want));
        }
        OSErr err;
        const std::size_t bytes = 4 + std::size_t(kIndexEntrySize) * count;
        const unsigned char* d = src_.get(index, bytes, &err);
        if (!d) {
            readFailed(err, index);
            return;
        }
        std::unordered_set<std::int32_t> listed;
        for (std::uint32_t i = 0; i < count; ++i) {
            const unsigned char* e = d + 4 + kIndexEntrySize * i;
            const std::uint32_t entry = getBE32(e);
            const auto classId = static_cast<std::int32_t>(getBE32(e + 4));
            if (i > 0) {
                const auto prev = static_cast<std::int32_t>(getBE32(e - 4));
                if (classId <= prev)
                    r_.fault(format("class index entry %u: Class ID %d does not follow %d in order",
                                    i, int(classId), int(prev)));
            }
            listed.insert(classId);
            auto it = nextOf.find(classId);
            if (it == nextOf.end())
                r_.fault(
                    format("class index entry %u: no package has Class ID %d", i, int(classId)));
            else if (it->second != entry)
                r_.fault(format("class index entry %u: Class ID %d names %u, its first class entry "
                                "is at %u",
                                i, int(classId), entry, it->second));
        }
        for (const auto& [classId, first] : nextOf)
            if (!listed.count(classId))
                r_.fault(format("class index has no entry for Class ID %d (first at %u)",
                                int(classId), first));
    }

    Source& src_;
    VerifyReport& r_;
    FileHeader header_;
    std::uint32_t freeHead_ = 0;
    std::vector<Rec> recs_;
    std::vector<ClassRef> classes_;
    std::unordered_map<std::uint32_t, FreeSeen> free_;
    std::vector<std::uint32_t> classIndexes_;
    std::uint32_t indexHeaderPos_ = 0, namedPos_ = 0, namedCount_ = 0;
    std::vector<char> copy_;
};

OSErr verifySource(Source& src, VerifyReport* report) {
    if (!report) return paramErr;
    *report = VerifyReport{};
    try {
        return Verifier(src, *report).run();
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

} // namespace

OSErr verifyRecordFile(const std::string& path, VerifyReport* report) {
    FileSource src;
    if (OSErr err = src.open(path)) return err;
    // A hot journal is reported, and the file checked as its rollback will leave it.
    HotJournal hot;
    const OSErr journalErr = findHotJournal(path, src.file(), &hot);
    if (hot.valid) src.file().setReadView(hot.regions, hot.length);
    if (OSErr err = verifySource(src, report)) return err;
    report->hotJournal = hot.path;
    if (journalErr)
        report->fault(format("the journal of the file cannot be read (error %d)", int(journalErr)));
    else if (hot.valid)
        report->fault(format("hot journal %s: the last save or close did not finish; checked as "
                             "its rollback will leave the file (qpk recover rolls it back)",
                             hot.path.c_str()));
    return noErr;
}

OSErr verifyRecordBytes(const unsigned char* data, std::size_t length, VerifyReport* report) {
    MemorySource src(data, length);
    return verifySource(src, report);
}
