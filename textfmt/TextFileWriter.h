// The text file an export writes: created with creator "ttxt" and type "TXT", cut to length 0,
// and filled through a buffer of 64 KiB. Internal to textfmt.
#pragma once
#include "toolbox/core/Files.h"
#include "toolbox/core/Memory.h"

#include <new>
#include <string>

class TextFileWriter {
public:
    ~TextFileWriter() {
        if (file_) FSClose(file_);
    }
    OSErr open(const std::string& path) {
        const FSSpec fileSpec = FSSpec::fromPath(path);
        OSErr err = FSpCreate(fileSpec, "ttxt", "TXT");
        if (err == noErr) err = FSpOpen(fileSpec, FilePerm::readWrite, &file_);
        if (err == noErr) err = SetEOF(file_, 0);
        try {
            buffer_.reserve(kBufferSize + 4096);
        } catch (const std::bad_alloc&) {
            if (err == noErr) err = memFullErr;
        }
        return err;
    }
    std::string& buffer() { return buffer_; }
    // Writes the buffer out once it is full.
    OSErr written() { return buffer_.size() >= kBufferSize ? flush() : noErr; }
    OSErr flush() {
        long count = static_cast<long>(buffer_.size());
        const OSErr err = count ? FSWrite(file_, &count, buffer_.data()) : noErr;
        buffer_.clear();
        return err;
    }
    // Writes what is left and closes the file; the first error counts.
    OSErr close(OSErr err) {
        if (!file_) return err;
        if (err == noErr) err = flush();
        const OSErr closed = FSClose(file_);
        file_ = 0;
        return err != noErr ? err : closed;
    }

private:
    static constexpr std::size_t kBufferSize = 64 * 1024;
    FileRef file_ = 0;
    std::string buffer_;
};

// Appends the text of a valid image; an invalid or malformed one is skipped. memFullErr when the
// text cannot grow.
OSErr appendIfValid(Handle image, std::string* out);
