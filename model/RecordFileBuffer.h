// One open file with a read-ahead buffer, read and written with positional calls. Random reads
// fetch a small block; reads that continue where the last one ended double the read-ahead up to the
// buffer's capacity, so a scan from the first record to the last streams the file in large
// sequential reads. Writes go straight to the file and patch the buffered copy; a failed write
// drops the buffer.
#pragma once
#include "toolbox/core/Files.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Whether closing a file waits for its bytes to reach the disk.
enum class CloseSync { none, toDisk };

class BufferedFile {
public:
    BufferedFile() = default;
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    OSErr open(const FSSpec& fileSpec, FilePerm perm);
    // Closes the file (the descriptor is released even when the close reports an error). With
    // CloseSync::toDisk the system first writes what it holds of the file to the disk.
    OSErr close(CloseSync sync = CloseSync::none);
    bool isOpen() const { return ref_ != 0; }
    std::uint64_t eof() const { return eof_; }

    // Exactly len bytes at pos; eofErr when they run past the end of the file.
    OSErr read(std::uint64_t pos, void* dst, std::size_t len);
    // The same, read straight into dst without passing through the buffer: for blocks that are
    // read once and then written back.
    OSErr readDirect(std::uint64_t pos, void* dst, std::size_t len);
    // A pointer to len bytes at pos, valid until the next call on this object; nullptr (with
    // *err set) on failure. len must not exceed capacity().
    const unsigned char* peek(std::uint64_t pos, std::size_t len, OSErr* err) {
        // Bytes already in the buffer are in the file: a scan finds nearly all of them there.
        if (pos >= bufPos_ && pos - bufPos_ < bufLen_ && len <= bufLen_ - (pos - bufPos_)) {
            *err = noErr;
            return buf_.get() + (pos - bufPos_);
        }
        return peekFromFile(pos, len, err);
    }
    OSErr write(std::uint64_t pos, const void* src, std::size_t len);
    OSErr truncate(std::uint64_t len);
    // Asks the file for its length again (after a failure left it uncertain).
    OSErr refreshEof();
    void dropBuffer() { bufLen_ = 0; }
    static constexpr std::size_t capacity() { return kCapacity; }

private:
    static constexpr std::size_t kCapacity = std::size_t(1) << 20;
    static constexpr std::size_t kSmallRead = 4096;
    const unsigned char* peekFromFile(std::uint64_t pos, std::size_t len, OSErr* err);
    OSErr fill(std::uint64_t pos, std::size_t len);
    bool reserve(std::size_t want, std::size_t keepFrom, std::size_t keep);
    void releaseBuffer();

    FileRef ref_ = 0;
    std::uint64_t eof_ = 0;
    std::unique_ptr<unsigned char[]> buf_;
    std::size_t bufCap_ = 0;
    std::uint64_t bufPos_ = 0;
    std::size_t bufLen_ = 0;
    std::size_t readAhead_ = kSmallRead;
};
