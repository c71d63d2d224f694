// The record file's buffered file object.
#include "model/RecordFileBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

BufferedFile::~BufferedFile() {
    if (ref_) FSClose(ref_);
}

OSErr BufferedFile::open(const FSSpec& spec, FilePerm perm) {
    if (ref_) return opWrErr;
    FileRef ref = 0;
    if (OSErr err = FSpOpen(spec, perm, &ref)) return err;
    long eof = 0;
    if (OSErr err = GetEOF(ref, &eof)) {
        FSClose(ref);
        return err;
    }
    ref_ = ref;
    eof_ = static_cast<std::uint64_t>(eof);
    markKnown_ = false;
    bufLen_ = 0;
    readAhead_ = kSmallRead;
    return noErr;
}

OSErr BufferedFile::close(bool flush) {
    if (!ref_) return rfNumErr;
    OSErr err = FSClose(ref_, flush);
    ref_ = 0;
    bufLen_ = 0;
    markKnown_ = false;
    std::vector<unsigned char>().swap(buf_);
    return err;
}

OSErr BufferedFile::seekTo(std::uint64_t pos) {
    if (markKnown_ && mark_ == pos) return noErr;
    markKnown_ = false;
    if (OSErr err = SetFPos(ref_, FilePosMode::fromStart, static_cast<long>(pos))) return err;
    mark_ = pos;
    markKnown_ = true;
    return noErr;
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
    if (buf_.size() < want) {
        // The buffer grows with the reads it serves, up to its capacity.
        try {
            buf_.resize(std::min(kCapacity, std::max(want, buf_.size() * 2)));
        } catch (const std::bad_alloc&) {
            bufLen_ = 0;
            return memFullErr;
        }
    }
    std::size_t kept = 0;
    if (sequential) {
        kept = static_cast<std::size_t>(bufEnd - pos);
        std::memmove(buf_.data(), buf_.data() + (pos - bufPos_), kept);
    }
    bufLen_ = 0;
    if (OSErr err = seekTo(pos + kept)) return err;
    long count = static_cast<long>(want - kept);
    OSErr err = FSRead(ref_, &count, buf_.data() + kept);
    if (err == noErr || err == eofErr)
        mark_ = pos + kept + static_cast<std::uint64_t>(count);
    else
        markKnown_ = false;
    if (err) return err;
    bufPos_ = pos;
    bufLen_ = want;
    return noErr;
}

const unsigned char* BufferedFile::peek(std::uint64_t pos, std::size_t len, OSErr* err) {
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
    if (bufLen_ && pos >= bufPos_ && pos + len <= bufPos_ + bufLen_)
        return buf_.data() + (pos - bufPos_);
    if ((*err = fill(pos, len))) return nullptr;
    return buf_.data();
}

OSErr BufferedFile::read(std::uint64_t pos, void* dst, std::size_t len) {
    if (len == 0) return ref_ ? noErr : rfNumErr;
    if (len <= kCapacity) {
        OSErr err;
        const unsigned char* p = peek(pos, len, &err);
        if (p) std::memcpy(dst, p, len);
        return err;
    }
    // Larger than the buffer: read straight into the destination.
    if (!ref_) return rfNumErr;
    if (pos > eof_ || len > eof_ - pos) return eofErr;
    if (OSErr err = seekTo(pos)) return err;
    long count = static_cast<long>(len);
    OSErr err = FSRead(ref_, &count, dst);
    markKnown_ = false;
    return err;
}

OSErr BufferedFile::write(std::uint64_t pos, const void* src, std::size_t len) {
    if (!ref_) return rfNumErr;
    if (len == 0) return noErr;
    if (pos > eof_) return posErr; // writes never leave holes
    if (OSErr err = seekTo(pos)) return err;
    long count = static_cast<long>(len);
    OSErr err = FSWrite(ref_, &count, src);
    if (err) {
        // Part of the data may have reached the file: nothing cached can be trusted.
        markKnown_ = false;
        bufLen_ = 0;
        eof_ = std::max<std::uint64_t>(eof_, pos + static_cast<std::uint64_t>(std::max(0L, count)));
        return err;
    }
    mark_ = pos + len;
    eof_ = std::max<std::uint64_t>(eof_, pos + len);
    // Keep the buffered copy in step with the file.
    if (bufLen_) {
        const std::uint64_t lo = std::max(pos, bufPos_);
        const std::uint64_t hi = std::min(pos + len, bufPos_ + bufLen_);
        if (lo < hi)
            std::memcpy(buf_.data() + (lo - bufPos_),
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
