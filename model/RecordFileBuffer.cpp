// The record file's buffered file object.
#include "model/RecordFileBuffer.h"

#include <algorithm>
#include <cstring>
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
    eof_ = static_cast<std::uint64_t>(eof);
    bufLen_ = 0;
    readAhead_ = kSmallRead;
    return noErr;
}

OSErr BufferedFile::close(CloseSync sync) {
    if (!ref_) return rfNumErr;
    OSErr err = FSClose(ref_, sync == CloseSync::toDisk);
    ref_ = 0;
    releaseBuffer();
    return err;
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
    long count = static_cast<long>(want - kept);
    if (OSErr err = FSReadAt(ref_, static_cast<long>(pos + kept), &count, buf_.get() + kept))
        return err;
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
    long count = static_cast<long>(len);
    return FSReadAt(ref_, static_cast<long>(pos), &count, dst);
}

OSErr BufferedFile::write(std::uint64_t pos, const void* src, std::size_t len) {
    if (!ref_) return rfNumErr;
    if (len == 0) return noErr;
    if (pos > eof_) return posErr; // writes never leave holes
    long count = static_cast<long>(len);
    OSErr err = FSWriteAt(ref_, static_cast<long>(pos), &count, src);
    if (err) {
        // Part of the data may have reached the file: nothing cached can be trusted.
        bufLen_ = 0;
        eof_ = std::max<std::uint64_t>(eof_, pos + static_cast<std::uint64_t>(std::max(0L, count)));
        return err;
    }
    eof_ = std::max<std::uint64_t>(eof_, pos + len);
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
    if (OSErr err = SetEOF(ref_, static_cast<long>(len))) return err;
    eof_ = len;
    if (bufLen_ && bufPos_ + bufLen_ > len)
        bufLen_ = bufPos_ >= len ? 0 : static_cast<std::size_t>(len - bufPos_);
    return noErr;
}

OSErr BufferedFile::refreshEof() {
    if (!ref_) return rfNumErr;
    long eof = 0;
    if (OSErr err = GetEOF(ref_, &eof)) return err;
    eof_ = static_cast<std::uint64_t>(eof);
    bufLen_ = 0;
    return noErr;
}
