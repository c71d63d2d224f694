// The text file an export writes: created with creator "ttxt" and type "TXT", cut to length 0,
// and filled through a buffer of 64 KiB. Internal to textfmt.
//
// An export that fails part way still leaves in the file every Package converted before the
// failure: closing writes what the buffer holds whatever the failure was (a failed write is tried
// once more there with the bytes it did not write).
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
        // A file that is empty already is not cut: on some file systems cutting a file to 0
        // makes its close wait until the system has started writing it out.
        long length = 0;
        if (err == noErr) err = GetEOF(file_, &length);
        if (err == noErr && length != 0) err = SetEOF(file_, 0);
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
    // Writes the buffer out. What a failed write did not write stays in the buffer.
    OSErr flush() {
        if (buffer_.empty()) return noErr;
        long count = static_cast<long>(buffer_.size());
        const OSErr err = FSWrite(file_, &count, buffer_.data());
        buffer_.erase(0, err == noErr ? buffer_.size() : static_cast<std::size_t>(count));
        return err;
    }
    // Writes what is left, even after a failure, so that the file holds all the text converted
    // before it, and closes the file; the first error counts.
    OSErr close(OSErr err) {
        if (!file_) return err;
        const OSErr flushed = flush();
        if (err == noErr) err = flushed;
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
