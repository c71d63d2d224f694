// The record file's buffered file object.
#include "model/RecordFileBuffer.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

namespace {
// One spare full-size buffer is kept between files, so that opening file after file does not
// fault in a fresh megabyte each time.
std::unique_ptr<unsigned char[]> gSpare;
} // namespace

BufferedFile::~BufferedFile() {
    if (ref_) FSClose(ref_);
    releaseBuffer();
}

void BufferedFile::releaseBuffer() {
    if (bufCap_ == kCapacity && !gSpare) gSpare = std::move(buf_);
    buf_.reset();
    bufCap_ = 0;
    bufLen_ = 0;
}

// Makes the buffer hold at least want bytes, carrying keep bytes from keepFrom to its start.
// Small files get a small buffer; a scan goes straight to the full capacity.
bool BufferedFile::reserve(std::size_t want, std::size_t keepFrom, std::size_t keep) {
    if (bufCap_ >= want) {
        if (keep) std::memmove(buf_.get(), buf_.get() + keepFrom, keep);
        return true;
    }
    const std::size_t cap =
        bufCap_ == 0 && want <= 64 * 1024 ? std::max<std::size_t>(want, 16 * 1024) : kCapacity;
    std::unique_ptr<unsigned char[]> fresh;
    if (cap == kCapacity && gSpare)
        fresh = std::move(gSpare);
    else
        fresh.reset(new (std::nothrow) unsigned char[cap]);
    if (!fresh) return false;
    if (keep) std::memcpy(fresh.get(), buf_.get() + keepFrom, keep);
    buf_ = std::move(fresh);
    bufCap_ = cap;
    return true;
}

OSErr BufferedFile::open(const FSSpec& fileSpec, FilePerm perm) {
    if (ref_) return opWrErr;
    FileRef ref = 0;
    if (OSErr err = FSpOpen(fileSpec, perm, &ref)) return err;
    long eof = 0;
    if (OSErr err = GetEOF(ref, &eof)) {
        FSClose(ref);
        return err;
    }
    ref_ = ref;
    eof_ = diskEof_ = static_cast<std::uint64_t>(eof);
    bufLen_ = 0;
    readAhead_ = kSmallRead;
    return noErr;
}

OSErr BufferedFile::openNew(const FSSpec& fileSpec) {
    if (ref_) return opWrErr;
    if (OSErr err = FSpOpenNew(fileSpec, &ref_)) return err;
    eof_ = diskEof_ = 0;
    bufLen_ = 0;
    readAhead_ = kSmallRead;
    return noErr;
}

void BufferedFile::swap(BufferedFile& o) noexcept {
    std::swap(ref_, o.ref_);
    std::swap(eof_, o.eof_);
    std::swap(diskEof_, o.diskEof_);
    std::swap(buf_, o.buf_);
    std::swap(bufCap_, o.bufCap_);
    std::swap(bufPos_, o.bufPos_);
    std::swap(bufLen_, o.bufLen_);
    std::swap(readAhead_, o.readAhead_);
    std::swap(hold_, o.hold_);
    std::swap(holding_, o.holding_);
    std::swap(holdLimit_, o.holdLimit_);
    std::swap(held_, o.held_);
    std::swap(heldBytes_, o.heldBytes_);
}

OSErr BufferedFile::close(CloseSync sync) {
    if (!ref_) return rfNumErr;
    OSErr err = FSClose(ref_, sync == CloseSync::toDisk);
    ref_ = 0;
    releaseBuffer();
    held_.clear();
    heldBytes_ = 0;
    holding_ = false;
    return err;
}

OSErr BufferedFile::sync() {
    return ref_ ? FSSync(ref_) : rfNumErr;
}

OSErr BufferedFile::lock() {
    return FSLock(ref_);
}

OSErr BufferedFile::identity(FileIdentity* id) const {
    return FSGetIdentity(ref_, id);
}

OSErr BufferedFile::readFromDisk(std::uint64_t pos, void* dst, std::size_t len) const {
    if (!ref_) return rfNumErr;
    long count = static_cast<long>(len);
    return len ? FSReadAt(ref_, static_cast<long>(pos), &count, dst) : noErr;
}

// Copies the held bytes that fall in [pos, pos + len) over dst.
void BufferedFile::overlay(std::uint64_t pos, unsigned char* dst, std::size_t len) const {
    if (held_.empty() || len == 0) return;
    auto it = held_.upper_bound(pos);
    if (it != held_.begin()) --it;
    const std::uint64_t end = pos + len;
    for (; it != held_.end() && it->first < end; ++it) {
        const std::uint64_t lo = std::max(pos, it->first);
        const std::uint64_t hi = std::min<std::uint64_t>(end, it->first + it->second.size());
        if (lo < hi) std::memcpy(dst + (lo - pos), it->second.data() + (lo - it->first), hi - lo);
    }
}

// Holds a write, merged with the held extents it overlaps or touches.
void BufferedFile::hold(std::uint64_t pos, const unsigned char* src, std::size_t len) {
    const std::uint64_t end = pos + len;
    auto first = held_.upper_bound(pos);
    if (first != held_.begin()) {
        auto prev = std::prev(first);
        if (prev->first + prev->second.size() >= pos) first = prev;
    }
    auto last = first;
    std::uint64_t lo = pos, hi = end;
    while (last != held_.end() && last->first <= end) {
        lo = std::min(lo, last->first);
        hi = std::max<std::uint64_t>(hi, last->first + last->second.size());
        ++last;
    }
    if (first != last && lo == first->first && std::next(first) == last) {
        // Inside one extent, or running on past its end (records appended one after another):
        // patched and grown in place.
        std::vector<unsigned char>& bytes = first->second;
        heldBytes_ -= bytes.size();
        if (hi > lo + bytes.size()) bytes.resize(static_cast<std::size_t>(hi - lo));
        heldBytes_ += bytes.size();
        std::memcpy(bytes.data() + (pos - lo), src, len);
    } else {
        std::vector<unsigned char> merged(static_cast<std::size_t>(hi - lo));
        for (auto it = first; it != last; ++it) {
            std::memcpy(merged.data() + (it->first - lo), it->second.data(), it->second.size());
            heldBytes_ -= it->second.size();
        }
        std::memcpy(merged.data() + (pos - lo), src, len);
        held_.erase(first, last);
        heldBytes_ += merged.size();
        held_.emplace(lo, std::move(merged));
    }
    // The buffered copy shows the held bytes as it shows written ones.
    if (bufLen_) {
        const std::uint64_t a = std::max(pos, bufPos_);
        const std::uint64_t b = std::min(end, bufPos_ + bufLen_);
        if (a < b) std::memcpy(buf_.get() + (a - bufPos_), src + (a - pos), b - a);
    }
}

// The held extents are written in the order of their positions, so that the file never has a
// hole: every held byte past its end on the disk follows bytes on the disk or held before it.
// Extents less than a page apart go in one write, with the bytes between them as the disk has
// them: a rebuild of the class index holds a link every few hundred bytes.
OSErr BufferedFile::writeHeld() {
    constexpr std::uint64_t kGap = 4096, kRun = std::uint64_t(1) << 20;
    std::vector<unsigned char> run;
    while (!held_.empty()) {
        auto first = held_.begin(), last = std::next(first);
        std::uint64_t end = first->first + first->second.size();
        while (last != held_.end() && last->first <= end + kGap && last->first < diskEof_ &&
               last->first + last->second.size() - first->first <= kRun) {
            end = std::max<std::uint64_t>(end, last->first + last->second.size());
            ++last;
        }
        const unsigned char* bytes = first->second.data();
        if (std::next(first) != last) {
            run.resize(static_cast<std::size_t>(end - first->first));
            const std::uint64_t onDisk = std::min(end, diskEof_) - first->first;
            if (OSErr err =
                    readFromDisk(first->first, run.data(), static_cast<std::size_t>(onDisk)))
                return err;
            overlay(first->first, run.data(), run.size());
            bytes = run.data();
        }
        long count = static_cast<long>(end - first->first);
        OSErr err = FSWriteAt(ref_, static_cast<long>(first->first), &count, bytes);
        diskEof_ =
            std::max<std::uint64_t>(diskEof_, first->first + std::uint64_t(std::max(0L, count)));
        if (err) return err; // the extents stay held; whatever part reached the file is in them
        for (auto it = first; it != last; ++it)
            heldBytes_ -= it->second.size();
        held_.erase(first, last);
    }
    return noErr;
}

void BufferedFile::endHold() {
    holding_ = false;
    if (!held_.empty()) bufLen_ = 0; // the buffer shows bytes that never reached the file
    held_.clear();
    heldBytes_ = 0;
    eof_ = diskEof_;
}

void BufferedFile::setReadView(ByteExtents extents, std::uint64_t eof) {
    held_ = std::move(extents);
    heldBytes_ = 0;
    eof_ = eof;
    diskEof_ = std::min(diskEof_, eof);
    bufLen_ = 0;
}

// Loads the buffer so that it holds [pos, pos + len), reading ahead as far as the pattern of
// reads suggests.
OSErr BufferedFile::fill(std::uint64_t pos, std::size_t len) {
    // A read that starts inside or at the end of the buffer continues a scan: keep the bytes
    // already read and fetch a larger block behind them.
    const std::uint64_t bufEnd = bufPos_ + bufLen_;
    const bool sequential = bufLen_ != 0 && pos > bufPos_ && pos <= bufEnd;
    readAhead_ = sequential ? std::min(kCapacity, readAhead_ * 2) : kSmallRead;
    std::size_t want = std::max(len, readAhead_);
    want = static_cast<std::size_t>(std::min<std::uint64_t>(want, eof_ - pos));
    const std::size_t kept = sequential ? static_cast<std::size_t>(bufEnd - pos) : 0;
    if (!reserve(want, sequential ? static_cast<std::size_t>(pos - bufPos_) : 0, kept)) {
        bufLen_ = 0;
        return memFullErr;
    }
    bufLen_ = 0;
    if (OSErr err = readOver(pos + kept, buf_.get() + kept, want - kept)) return err;
    bufPos_ = pos;
    bufLen_ = want;
    return noErr;
}

const unsigned char* BufferedFile::peekFromFile(std::uint64_t pos, std::size_t len, OSErr* err) {
    *err = noErr;
    if (!ref_) {
        *err = rfNumErr;
        return nullptr;
    }
    if (len > kCapacity) {
        *err = paramErr;
        return nullptr;
    }
    if (pos > eof_ || len > eof_ - pos) {
        *err = eofErr;
        return nullptr;
    }
    if ((*err = fill(pos, len))) return nullptr;
    return buf_.get();
}

OSErr BufferedFile::read(std::uint64_t pos, void* dst, std::size_t len) {
    if (len == 0) return ref_ ? noErr : rfNumErr;
    if (len <= kCapacity) {
        OSErr err;
        const unsigned char* p = peek(pos, len, &err);
        if (p) std::memcpy(dst, p, len);
        return err;
    }
    return readDirect(pos, dst, len); // larger than the buffer
}

OSErr BufferedFile::readDirect(std::uint64_t pos, void* dst, std::size_t len) {
    if (!ref_) return rfNumErr;
    if (len == 0) return noErr;
    if (pos > eof_ || len > eof_ - pos) return eofErr;
    return readOver(pos, static_cast<unsigned char*>(dst), len);
}

// Reads what the disk holds of [pos, pos + len) and lays the held bytes over it; the held
// bytes cover whatever lies past the end of the file on the disk.
OSErr BufferedFile::readOver(std::uint64_t pos, unsigned char* dst, std::size_t len) {
    const std::size_t fromDisk =
        pos >= diskEof_ ? 0
                        : static_cast<std::size_t>(std::min<std::uint64_t>(len, diskEof_ - pos));
    long count = static_cast<long>(fromDisk);
    if (fromDisk) {
        if (OSErr err = FSReadAt(ref_, static_cast<long>(pos), &count, dst)) return err;
    }
    overlay(pos, dst, len);
    return noErr;
}

OSErr BufferedFile::beginTransaction() {
    if (holding_) return noErr;
    if (OSErr err = hold_->begin(eof_)) return err;
    holding_ = true;
    holdLimit_ = eof_;
    return noErr;
}

OSErr BufferedFile::write(std::uint64_t pos, const void* src, std::size_t len,
                          const void* replaced) {
    if (!ref_) return rfNumErr;
    if (len == 0) return noErr;
    if (pos > eof_) return posErr; // writes never leave holes
    if (!hold_) return directWrite(pos, src, len);
    if (OSErr err = beginTransaction()) return err;
    // Only the bytes the file had when the transaction began need their old contents kept;
    // the buffer has them when a read just fetched them.
    if (pos < holdLimit_) {
        const auto low = static_cast<std::size_t>(std::min<std::uint64_t>(len, holdLimit_ - pos));
        auto* current = static_cast<const unsigned char*>(replaced);
        if (!current && bufLen_ && pos >= bufPos_ && pos + low <= bufPos_ + bufLen_)
            current = buf_.get() + (pos - bufPos_);
        if (OSErr err = hold_->keepOriginal(pos, low, current)) return err;
    }
    hold(pos, static_cast<const unsigned char*>(src), len);
    eof_ = std::max<std::uint64_t>(eof_, pos + len);
    if (heldBytes_ > kHeldLimit) {
        if (OSErr err = hold_->beforeFileChange()) return err;
        if (OSErr err = writeHeld()) return err;
    }
    return noErr;
}

OSErr BufferedFile::directWrite(std::uint64_t pos, const void* src, std::size_t len) {
    long count = static_cast<long>(len);
    OSErr err = FSWriteAt(ref_, static_cast<long>(pos), &count, src);
    if (err) {
        // Part of the data may have reached the file: nothing cached can be trusted.
        bufLen_ = 0;
        diskEof_ = std::max<std::uint64_t>(diskEof_,
                                           pos + static_cast<std::uint64_t>(std::max(0L, count)));
        eof_ = std::max(eof_, diskEof_);
        return err;
    }
    diskEof_ = std::max<std::uint64_t>(diskEof_, pos + len);
    eof_ = std::max(eof_, diskEof_);
    // Keep the buffered copy in step with the file.
    if (bufLen_) {
        const std::uint64_t lo = std::max(pos, bufPos_);
        const std::uint64_t hi = std::min(pos + len, bufPos_ + bufLen_);
        if (lo < hi)
            std::memcpy(buf_.get() + (lo - bufPos_),
                        static_cast<const unsigned char*>(src) + (lo - pos), hi - lo);
    }
    return noErr;
}

OSErr BufferedFile::truncate(std::uint64_t len) {
    if (!ref_) return rfNumErr;
    if (hold_) {
        if (OSErr err = beginTransaction()) return err;
        if (len < holdLimit_) return paramErr; // the journal keeps no bytes cut off
        // Held bytes past the new end go; the file itself is cut only where it is longer.
        for (auto it = held_.lower_bound(len); it != held_.end();) {
            heldBytes_ -= it->second.size();
            it = held_.erase(it);
        }
        if (!held_.empty()) {
            auto& [at, bytes] = *held_.rbegin();
            if (at + bytes.size() > len) {
                heldBytes_ -= static_cast<std::size_t>(at + bytes.size() - len);
                bytes.resize(static_cast<std::size_t>(len - at));
            }
        }
        if (diskEof_ > len) {
            if (OSErr err = hold_->beforeFileChange()) return err;
        }
    }
    if (diskEof_ > len || !hold_) {
        if (OSErr err = SetEOF(ref_, static_cast<long>(len))) return err;
        diskEof_ = len;
    }
    eof_ = len;
    if (bufLen_ && bufPos_ + bufLen_ > len)
        bufLen_ = bufPos_ >= len ? 0 : static_cast<std::size_t>(len - bufPos_);
    return noErr;
}

OSErr BufferedFile::refreshEof() {
    if (!ref_) return rfNumErr;
    long eof = 0;
    if (OSErr err = GetEOF(ref_, &eof)) return err;
    diskEof_ = static_cast<std::uint64_t>(eof);
    eof_ = std::max(diskEof_,
                    held_.empty() ? 0 : held_.rbegin()->first + held_.rbegin()->second.size());
    bufLen_ = 0;
    return noErr;
}
