// The rollback journal of a record file. A Save or a Close changes the file in one transaction:
// before any byte the file held when the transaction began is changed, its old bytes go into the
// journal, NAME-journal beside the file, and the journal reaches the disk before the file is
// touched. The commit waits for the file to reach the disk and then deletes the journal. Whoever
// opens the file for writing next and finds a journal (a hot journal) puts the old bytes back
// and cuts the file to its old length first, so that a crash at any moment leaves either the
// file as it was before the transaction or the file as the transaction made it.
//
// Layout of a journal (numbers big-endian):
//   0   two header slots of 64 bytes each, written in turn; the valid one with the higher
//       sequence number holds:
//         0  8  "QPK-JRNL"
//         8  4  sequence number
//         12 4  format version (1)
//         16 8  the file's length when the transaction began
//         24 8  the number of saved regions
//         32 8  body bytes that the slot vouches for (from offset 128)
//         40 4  CRC-32 of those body bytes
//         44 16 zero
//         60 4  CRC-32 of bytes 0-59 of the slot
//   128 the body: the file's device (8), inode (8), path length (4) and path, then the saved
//       regions one after another, each its position (8), its length (4) and its old bytes.
// A slot is written only after the body bytes it vouches for, and the journal is flushed after
// each slot. So a journal cut short anywhere (the crash came while it was written) still has a
// valid slot for what was flushed before, or none at all, when the file was not touched yet.
// Regions never overlap: a byte is saved once, the first time it changes.
//
// Where the folder of the file does not let this user create a file, the journal goes to the
// user's state folder ($XDG_STATE_HOME/ortix-kelvane/journals, ~/.local/state/... without it),
// named from the file's device and inode, and is used only for a file of that device, inode and
// path.
#pragma once
#include "model/RecordFileBuffer.h"
#include "toolbox/core/Files.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace rf {

constexpr std::uint32_t kJournalSlotSize = 64;
constexpr std::uint32_t kJournalBodyStart = 2 * kJournalSlotSize;

// The name of the journal beside the file at path, and of the compacted copy made beside it
// (the path with its links resolved: see FSpResolvedPath).
std::string journalBeside(const std::string& path);
std::string compactedBeside(const std::string& path);
// The journal of a file in the user's state folder (empty when there is no state folder).
std::string journalInStateFolder(const FileIdentity& id, bool make);

// A journal as found on disk.
struct HotJournal {
    std::string path;         // empty: no journal
    bool valid = false;       // a slot vouches for it; otherwise it was cut short before use
    std::uint64_t length = 0; // the file's length before the transaction
    ByteExtents regions;      // the old bytes
    std::uint64_t savedBytes = 0;
};

// Looks for the journal of the open file at path (beside the file the path leads to, then in the
// state folder) and reads it. A journal in the state folder that names another file is not this
// file's.
OSErr findHotJournal(const std::string& path, const BufferedFile& file, HotJournal* out);
// Puts the old bytes back, cuts the file to its old length, flushes it, deletes the journal and
// flushes its folder. On failure the journal stays, for the next try.
OSErr rollBackHotJournal(BufferedFile& file, const HotJournal& journal);

// The journal of one open file: the WriteHold of its transactions.
class Journal final : public WriteHold {
public:
    ~Journal() override;
    // The file this journal protects (held open by file), and its path.
    void attach(BufferedFile* file, const std::string& path);

    OSErr begin(std::uint64_t eof) override;
    OSErr keepOriginal(std::uint64_t pos, std::size_t len, const unsigned char* current) override;
    OSErr beforeFileChange() override;

    bool active() const { return active_; }
    // Makes the transaction's changes the file's: the journal reaches the disk, then the held
    // writes the file, which is flushed (with sync); then the journal is deleted and its folder
    // flushed. On failure the transaction is still open, for rollBack.
    OSErr commit(bool sync);
    // Drops the transaction: the held writes go, and what reached the file is put back from the
    // journal. On failure the journal stays on disk (hot) and the transaction open.
    OSErr rollBack();
    // Where the journal is (or would be) kept.
    const std::string& path() const { return path_; }

private:
    OSErr makeFile();
    OSErr writeBody();
    OSErr makeDurable();
    void reset();
    unsigned char* growBody(std::size_t len); // room for len more body bytes
    void appendBody(const void* src, std::size_t len);

    BufferedFile* file_ = nullptr;
    std::string filePath_;
    std::string path_;
    FileRef ref_ = 0;
    bool active_ = false;
    std::uint64_t length_ = 0;
    std::map<std::uint64_t, std::uint64_t> saved_; // regions saved: start -> end
    std::unique_ptr<unsigned char[]> pending_;     // body bytes not yet written
    std::size_t pendingLen_ = 0, pendingCap_ = 0;
    std::uint64_t bodyWritten_ = 0; // body bytes in the journal file
    std::uint64_t regions_ = 0;
    std::uint32_t crc_ = 0;      // of the whole body so far
    std::uint32_t sequence_ = 0; // of the last slot written
    bool durable_ = false;       // the journal on disk vouches for every region saved
    bool everDurable_ = false;   // the file may have been changed
};

std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t len);

} // namespace rf
