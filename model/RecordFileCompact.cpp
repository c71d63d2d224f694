// The record file's compaction: the file is copied to a temporary file and rewritten from it
// with its records in order and no free blocks.
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

void rf::copyBytes(BufferedFile& from, BufferedFile& to, std::uint64_t len) {
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

// Rewrites the file from its temporary copy with the records of types below 251 in order and
// no gaps, class index records included. Positions change, so the index header is cleared: the
// index is out of date until the rebuild that follows, which replaces the index record in use.
void RecordFile::State::compactFrom(BufferedFile& temp) {
    FailOSErr(file.truncate(m.header.recordsStart));
    Appender out(file, m.header.recordsStart);
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
