// The record file: a big-endian container of variable-length typed records, each addressed by the
// file position of its data, with a free list and a class index. Package files are record files
// whose type 1 records hold package images.
#pragma once
#include "model/RecordFileBuffer.h"
#include "toolbox/core/Files.h"
#include "toolbox/core/Memory.h"
#include "toolbox/core/Strings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum RecordType : std::uint8_t {
    kRecordAny = 0,
    kRecordPackage = 1, // a package image
    kRecordIndexHeader = 2,
    kRecordStaleIndex = 3, // an out-of-date class index, rebuilt when met
    kRecordClassIndex = 4,
    kRecordOldLeader = 254, // leader of files older than version 0x0101
    kRecordFree = 255,
};

struct RecordInfo {
    std::uint32_t position = 0; // data position; 0 = none (end of iteration)
    std::uint32_t length = 0;   // data length
    std::uint8_t type = 0;
};

// Progress is reported through callbacks, never by calling windows.
struct RecordFileProgress {
    // 0: a rebuild of a file larger than 2048 bytes starts ("Updating Index..." is shown),
    // 1: any rebuild ends, 2: each record visited by a rebuild.
    std::function<void(int)> indexProgress;
    std::function<void()> step; // each record visited by an iteration
};

// Whether a file's changes go through the rollback journal. Only a new file that an import fills
// goes without: should the import stop, the file keeps what was written, as it was written.
enum class Journaling { on, off };

class RecordFile {
public:
    // Creates (replacing an existing file) a record file with the header, a zero leader and a
    // zero reserved area of reservedSize bytes, then closes it. fBsyErr when the file is open for
    // writing elsewhere; the journal of a file it replaces is deleted.
    static OSErr create(const std::string& path, const char* creator, const char* type,
                        const char fileType[4], std::uint32_t reservedSize);
    // Opens and validates a record file (free list, index header, class index).
    // For writing, the file's advisory lock is taken (fBsyErr when another open file holds it:
    // lockHolder names who), a hot journal is rolled back and a compacted copy left beside the
    // file deleted first; the repairs of the open are one transaction. Read-only, the file is
    // never written, not even to repair it, and a hot journal is read as its rollback would
    // leave the file (hotJournalErr when it cannot be read).
    static OSErr open(const std::string& path, FilePerm perm, std::unique_ptr<RecordFile>* out);
    // Rolls back a hot journal of the file and deletes a compacted copy left beside it, with the
    // lock taken; *what says in one line what was done ("nothing to recover" when nothing).
    static OSErr recover(const std::string& path, std::string* what);
    static std::string lockHolder(const std::string& path);
    static std::string journalPath(const std::string& path); // the journal beside the file

    // Closing through the destructor writes nothing but what earlier calls reported done: the
    // records already appended and the free list head (as a forced close).
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // The next record of that type (kRecordAny: of any type) after position (0 = from the first).
    OSErr iterate(std::uint8_t type, std::uint32_t after, RecordInfo* next);
    OSErr readRecord(std::uint32_t position, UniqueHandle* data); // swapped to host order
    // Streams every record from the first to the last in one sequential pass and calls
    // visit(info, data) for each record of that type (kRecordAny: every record). data holds the
    // record's bytes in FILE byte order and is valid only during the call; visit returns false
    // to stop. The callback must not call back into this record file.
    using Visitor = std::function<bool(const RecordInfo& info, const unsigned char* data)>;
    OSErr scanRecords(std::uint8_t type, const Visitor& visit);
    Str255 readName(std::uint32_t position); // field 1 trimmed; "?" when unreadable
    // Records that go to the end of the file are collected and written in large blocks: the
    // block is written before any other call reaches the file, and by setReadOnly and the
    // destructor. A failure to write it is reported by the call that writes it; the records
    // keep their positions and the next call tries again.
    OSErr writeRecord(std::uint8_t type, Handle image, std::uint32_t* position);
    // Writes the records that writeRecord still holds in memory.
    OSErr flushWrites();
    OSErr deleteRecord(std::uint32_t position); // type 1 records only
    OSErr markIndexOutOfDate();
    OSErr rebuildClassIndex();

    // Transactions. The first change after an open or a commit begins one; commit makes every
    // change since the file's, on the disk; rollBack drops them (the file and the state read
    // from it are then as the last commit left them). A commit that fails rolls back.
    OSErr commit(CloseSync sync = CloseSync::toDisk);
    OSErr rollBack();
    // Switching the journal off commits first; so does switching it on again.
    OSErr setJournaling(Journaling journaling);
    // fileMovedErr when the path no longer names the file that is open (it was deleted, or
    // replaced, or moved away).
    OSErr checkIdentity() const;

    // Compacts (when freed and changed by a delete), rebuilds the index when out of date, writes
    // the index header and the leader, and commits, then closes. On failure the changes of the
    // close are rolled back and the file stays open and usable. A compaction that cannot be made
    // (no right to create its copy, a full disk...) does not stop the close: the file is closed
    // without it and *notCompacted says why.
    // By default the close waits for the file to reach the disk. A file the caller has just made
    // whole, with nothing in it from before (an import into a new file), may close with
    // CloseSync::none, as a copy of a file closes: the write order keeps the file well formed
    // should the program stop, but not across a power loss before the system writes its cache,
    // with or without the wait, which only makes sure the file is on the disk when close returns.
    OSErr close(CloseSync sync = CloseSync::toDisk, OSErr* notCompacted = nullptr);
    // A later close writes nothing. With the journal, what no commit made the file's is rolled
    // back; without it, the records already appended and the free list head are written first
    // (appended records that fail to be written are cut off again).
    void setReadOnly();
    bool isReadOnly() const;
    bool isOpen() const;
    bool indexOutOfDate() const;
    std::uint32_t indexEntryCount() const; // 0 while the index is out of date
    std::uint64_t fileSize() const;
    void setProgress(RecordFileProgress progress);

    const std::string& path() const;
    const std::string& fileName() const; // shown in prompts and as the window title

    struct State;

private:
    explicit RecordFile(std::unique_ptr<State> state);
    std::unique_ptr<State> s_;
};

// Field 1 of a package image held in file byte order, trimmed of blanks. False (and "?") when
// the image's header or field text does not fit its length. The view form points into data.
bool imageNameFromFileBytes(const unsigned char* data, std::size_t length, Str255* name);
bool imageNameFromFileBytes(const unsigned char* data, std::size_t length, std::string_view* name);
