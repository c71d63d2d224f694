// One open file with a read-ahead buffer, read and written with positional calls. Random reads
// fetch a small block; reads that continue where the last one ended double the read-ahead up to the
// buffer's capacity, so a scan from the first record to the last streams the file in large
// sequential reads. Writes go straight to the file and patch the buffered copy; a failed write
// drops the buffer.
//
// With a WriteHold attached, the writes of a transaction are held in memory instead, and every
// read sees them; before one falls on bytes the file had when the transaction began, the hold
// keeps what it replaces. They reach the file when the hold says so (writeHeld), or when too many
// are held, after the hold has been told (beforeFileChange). The same overlay, set once, lets a
// file be read as other bytes and another length would leave it (a read view).
#pragma once
#include "toolbox/core/Files.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// Extents of bytes by their position in a file, never overlapping.
using ByteExtents = std::map<std::uint64_t, std::vector<unsigned char>>;

// What the writes of a transaction wait for. The file is `eof` bytes long when the first write
// begins a transaction; before the bytes [pos, pos + len) of that length are first changed,
// keepOriginal is told; before anything reaches the file itself, beforeFileChange is.
class WriteHold {
public:
    virtual ~WriteHold() = default;
    virtual OSErr begin(std::uint64_t eof) = 0;
    // current: the bytes there as the file has them now, when the caller has them at hand.
    virtual OSErr keepOriginal(std::uint64_t pos, std::size_t len,
                               const unsigned char* current) = 0;
    virtual OSErr beforeFileChange() = 0;
};

// Whether closing a file waits for its bytes to reach the disk.
enum class CloseSync { none, toDisk };

class BufferedFile {
public:
    BufferedFile() = default;
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    OSErr open(const FSSpec& fileSpec, FilePerm perm);
    // Creates the file (replacing one of that name) and opens it for writing.
    OSErr openNew(const FSSpec& fileSpec);
    void swap(BufferedFile& other) noexcept;
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
    // replaced: the bytes the write replaces, when the caller has them at hand (a journal need
    // not read them again).
    OSErr write(std::uint64_t pos, const void* src, std::size_t len,
                const void* replaced = nullptr);
    bool holdsWrites() const { return hold_ != nullptr; }
    OSErr truncate(std::uint64_t len);
    // Asks the file for its length again (after a failure left it uncertain).
    OSErr refreshEof();
    void dropBuffer() { bufLen_ = 0; }
    static constexpr std::size_t capacity() { return kCapacity; }

    OSErr sync(); // waits for the disk
    OSErr lock(); // the advisory lock of one writer (FSLock)
    OSErr identity(FileIdentity* id) const;
    OSErr copyOwnershipTo(BufferedFile& to) const { return FSCopyOwnership(ref_, to.ref_); }
    // Exactly len bytes at pos as the disk holds them, past held writes and the buffer.
    OSErr readFromDisk(std::uint64_t pos, void* dst, std::size_t len) const;

    // Held writes (see the top of this file). A transaction begins at the first write or
    // truncation after setHold or endHold; a truncation below the length the file had then is
    // refused, and more than kHeldLimit held bytes are written out after beforeFileChange.
    // endHold drops what is still held: the file is then what the disk holds.
    void setHold(WriteHold* hold) { hold_ = hold; }
    WriteHold* writeHold() const { return hold_; }
    bool inTransaction() const { return holding_; }
    std::uint64_t transactionStart() const { return holdLimit_; } // the length it began with
    std::size_t heldBytes() const { return heldBytes_; }
    OSErr writeHeld(); // the held writes reach the file (they stay held when that fails)
    void endHold();    // the transaction ends; whatever is held is dropped with the buffer
    // Reads see extents instead of the file's bytes, and the file as eof bytes long.
    void setReadView(ByteExtents extents, std::uint64_t eof);
    static constexpr std::size_t kHeldLimit = std::size_t(32) << 20;

private:
    static constexpr std::size_t kCapacity = std::size_t(1) << 20;
    static constexpr std::size_t kSmallRead = 4096;
    const unsigned char* peekFromFile(std::uint64_t pos, std::size_t len, OSErr* err);
    OSErr fill(std::uint64_t pos, std::size_t len);
    void overlay(std::uint64_t pos, unsigned char* dst, std::size_t len) const;
    OSErr readOver(std::uint64_t pos, unsigned char* dst, std::size_t len);
    OSErr beginTransaction();
    void hold(std::uint64_t pos, const unsigned char* src, std::size_t len);
    OSErr directWrite(std::uint64_t pos, const void* src, std::size_t len);
    bool reserve(std::size_t want, std::size_t keepFrom, std::size_t keep);
    void releaseBuffer();

    FileRef ref_ = 0;
    std::uint64_t eof_ = 0;     // the length the file has for its readers, held writes included
    std::uint64_t diskEof_ = 0; // the length it has on the disk
    std::unique_ptr<unsigned char[]> buf_;
    std::size_t bufCap_ = 0;
    std::uint64_t bufPos_ = 0;
    std::size_t bufLen_ = 0;
    std::size_t readAhead_ = kSmallRead;

    WriteHold* hold_ = nullptr;
    bool holding_ = false;
    std::uint64_t holdLimit_ = 0;
    ByteExtents held_; // held writes, or the extents of a read view
    std::size_t heldBytes_ = 0;
};
