// The record file's compaction: the file is written anew beside itself, with its records in
// order and no free blocks, its class index rebuilt, flushed, and renamed over the old file.
//
// Writing beside and renaming, rather than rewriting the file in place from a full copy kept as
// the journal, writes the records once instead of three times (copy, rewrite, flush of both), and
// the old file stays whole until the rename replaces it in one step: a crash before the rename
// leaves the old file and a copy that the next open for writing deletes, a crash after it the
// compacted file. The copy is given the old file's owner, group, permissions and extended
// attributes; a file that cannot keep them (another user's file in a shared folder), a file with
// more than one name, and a folder where this user may not create the copy are closed without
// compaction: free blocks cost space, nothing else.
#include "model/RecordFileInternal.h"

#include <cstring>

using namespace rf;

namespace {

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

} // namespace

// Writes the file into out with the records of types below 251 in order and no gaps, class
// index records included, and makes out's state the container's. Positions change, so the index
// header is cleared: the index is out of date until the rebuild that follows, which replaces the
// index record in use.
void RecordFile::State::compactInto(BufferedFile& copy) {
    BufferedFile& temp = file; // read from the file as it is
    {
        // The header and the reserved area as they are; the leader is written below.
        std::vector<unsigned char> head(static_cast<std::size_t>(m.header.recordsStart));
        readAt(0, head.data(), head.size());
        FailOSErr(copy.write(0, head.data(), head.size()));
    }
    Appender out(copy, m.header.recordsStart);
    Meta next;
    next.header = m.header;
    std::memcpy(next.leader, m.leader, sizeof next.leader);
    next.leaderBytes = m.leaderBytes;
    putBE32(next.leader, 0);
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
        FailOSErr(copy.write(kFileHeaderSize, next.leader, m.leaderBytes));
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
        if (h.type < kFirstContainerType) {
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
                // The class index in use stays the index record, for the rebuild to replace.
                if (pos == m.indexPos) {
                    next.indexPos = static_cast<std::uint32_t>(at);
                    next.indexCount = m.indexCount;
                }
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

// Compacts the file into a copy beside it and renames the copy over it; the record file is then
// closed. On failure the copy is deleted and the file and the container's state are as they
// were, open.
OSErr RecordFile::State::compactBeside(CloseSync sync) {
    const std::string target = FSpResolvedPath(fileSpec.path);
    const FSSpec copySpec = FSSpec::fromPath(compactedBeside(target));
    FileIdentity id;
    if (OSErr err = file.identity(&id)) return err;
    if (id.links > 1) return linkedFileErr;
    BufferedFile copy;
    if (OSErr err = copy.openNew(copySpec)) return err;
    OSErr err = file.copyOwnershipTo(copy);
    Meta before = m;
    bool swapped = false;
    if (!err) {
        err = CatchFailures([&] {
            try {
                compactInto(copy);
                // From here the copy is the file, written straight, without a journal.
                file.swap(copy);
                file.setHold(nullptr);
                swapped = true;
                rebuild();
                writeIndexHeader();
                syncLeaderHead();
                flushPending();
            } catch (const std::bad_alloc&) {
                FailOSErr(memFullErr);
            }
        });
    }
    if (!err && sync == CloseSync::toDisk) err = file.sync();
    if (!err) err = file.close();
    if (!err) err = FSpRename(copySpec, FSSpec::fromPath(target));
    if (err) {
        if (swapped) {
            file.swap(copy);
            file.setHold(journaled ? &journal : nullptr);
        }
        if (copy.isOpen()) copy.close();
        (void)FSpDelete(copySpec);
        m = std::move(before);
        pendingLen = 0;
        frontBlock = 0;
        owedLink = false;
        return err;
    }
    // The compacted file has the name; the old one goes with its descriptor and its lock.
    if (sync == CloseSync::toDisk) (void)FSSyncFolder(FolderOf(target));
    (void)copy.close();
    open = false;
    return noErr;
}
