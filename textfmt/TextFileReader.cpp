// Sequential reads of a text file through its read-ahead block.
#include "textfmt/TextFileReader.h"

#include <algorithm>
#include <cstring>
#include <new>

bool TextFileReader::fetch(long wanted) {
    const long size = std::min(std::max(wanted, blockSize_), kMaxBlock);
    blockSize_ = std::min(blockSize_ * 2, kMaxBlock);
    long count = size;
    const OSErr err = FSRead(file_, &count, block_.get());
    at_ = 0;
    fill_ = count > 0 ? count : 0;
    atEnd_ = err == eofErr;
    if (err != noErr && err != eofErr) error_ = err;
    return fill_ > 0;
}

OSErr TextFileReader::read(long* count, void* buffer) {
    const long wanted = *count;
    if (bytes_) {
        const long n = std::clamp(wanted, 0L, fill_ - at_);
        if (n > 0) std::memcpy(buffer, bytes_ + at_, static_cast<std::size_t>(n));
        at_ += n;
        *count = n;
        return n < wanted ? eofErr : noErr;
    }
    if (blockSize_ == 0) {
        // The first request sets the first block's size. Without memory for the block the file
        // is read directly, request by request.
        block_.reset(new (std::nothrow) unsigned char[kMaxBlock]);
        blockSize_ = std::clamp(wanted, 1L, kMaxBlock);
    }
    if (!block_ || wanted <= 0) return FSRead(file_, count, buffer);

    auto* out = static_cast<unsigned char*>(buffer);
    long done = 0;
    while (done < wanted) {
        if (at_ == fill_) {
            // The buffered bytes are out: what the file said after them is handed out now, to
            // this request when it has no bytes yet, else to the next one.
            if (error_ != noErr) {
                if (done > 0) break;
                const OSErr err = error_;
                error_ = noErr;
                *count = 0;
                return err;
            }
            if (atEnd_ && done > 0) break;
            atEnd_ = false;
            if (!fetch(wanted - done)) {
                if (error_ != noErr && done == 0) continue;
                break;
            }
        }
        const long n = std::min(wanted - done, fill_ - at_);
        std::memcpy(out + done, block_.get() + at_, static_cast<std::size_t>(n));
        at_ += n;
        done += n;
    }
    *count = done;
    return done < wanted && error_ == noErr ? eofErr : noErr;
}
