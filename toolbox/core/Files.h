// File calls that return error codes, temporary files, flushes to the disk, renames, advisory
// locks and file identities, and for tests a fault-injection hook and a recording of every call
// that changes a file or a folder.
//
// errno values are mapped to the host codes of the error-text table (ENOENT 2, ENOTDIR 3,
// EACCES/EPERM 5, EBADF 6, ENOMEM 8, EBUSY/ETXTBSY 170, ENOSPC 39, EEXIST 80, EINVAL 87);
// a short read returns eofErr (38) with the count of bytes read.
#pragma once
#include "resources/Types.h"
#include <cstdint>
#include <string>
#include <vector>

using FileRef = int; // an open file; 0 is never a valid reference

struct FSSpec {
    std::string path; // full path
    std::string name; // the file name shown in prompts (last path component)
    char type[6]{};   // four characters, zero padded
    char creator[6]{};
    static FSSpec fromPath(const std::string& path);
};

enum class FilePerm { readOnly, readWrite };
enum class FilePosMode { fromStart, fromMark, fromEnd };

OSErr FSpCreate(const FSSpec& fileSpec, const char* creator, const char* type); // creates or opens
OSErr FSpOpen(const FSSpec& fileSpec, FilePerm perm, FileRef* ref);
// Creates the file (replacing one of that name, cut to length 0) and opens it for writing.
OSErr FSpOpenNew(const FSSpec& fileSpec, FileRef* ref);
OSErr FSpDelete(const FSSpec& fileSpec);
// Gives the file at from the name to, replacing a file of that name, in one step.
OSErr FSpRename(const FSSpec& from, const FSSpec& to);
OSErr FSRead(FileRef ref, long* count, void* buffer); // *count = bytes actually read
OSErr FSWrite(FileRef ref, long* count, const void* buffer);
// Positional forms: read or write at offset in one host call, leaving the file mark alone.
// They count (and fail under fault injection) as reads and writes.
OSErr FSReadAt(FileRef ref, long offset, long* count, void* buffer);
OSErr FSWriteAt(FileRef ref, long offset, long* count, const void* buffer);
OSErr GetFPos(FileRef ref, long* pos);
OSErr SetFPos(FileRef ref, FilePosMode mode, long offset);
OSErr GetEOF(FileRef ref, long* eof);
OSErr SetEOF(FileRef ref, long eof); // the file position does not change
OSErr FSClose(FileRef ref, bool flush = false);
bool FSpSameFile(const FSSpec& a, const FSSpec& b); // same file on disk (or same path)

// Waits until the system has written what it holds of the file to the disk.
OSErr FSSync(FileRef ref);
// The same for a folder's entries: the names made, removed or renamed in it.
OSErr FSSyncFolder(const std::string& folder);
std::string FolderOf(const std::string& path); // "." for a bare name

// Which file a path or an open file is: the same device and inode is the same file.
struct FileIdentity {
    std::uint64_t device = 0, inode = 0;
    std::uint64_t links = 0; // names the file has
    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.device == b.device && a.inode == b.inode;
    }
};
OSErr FSGetIdentity(FileRef ref, FileIdentity* id);
OSErr FSpGetIdentity(const FSSpec& fileSpec, FileIdentity* id); // fnfErr when nothing is there
// The path with every link and "." or ".." resolved; the path itself when that fails.
std::string FSpResolvedPath(const std::string& path);
// Gives the file to the owner and group of from, with its permissions and extended attributes.
// permErr when the owner cannot be kept (only the superuser gives files away).
OSErr FSCopyOwnership(FileRef from, FileRef to);

// An advisory lock on the whole file, one writer at a time: held until the file is closed, and
// released by the system when the process ends, however it ends. fBsyErr when another open file
// holds it.
OSErr FSLock(FileRef ref);
// Who holds the lock on the file, in words ("process 4242 (ortix-kelvane) of user alice"), or
// "another program" when the system does not say.
std::string FSLockHolder(const FSSpec& fileSpec);

// The folder where this user's programs keep their state ($XDG_STATE_HOME or
// ~/.local/state), with the folder named inside it ("app" or "app/part"); with make, every
// folder of that path that is missing is made.
OSErr UserStateFolder(const std::string& inside, bool make, std::string* folder);

// Temporary file named from "%s%X.TMP": the first three characters of prefix, then the low
// 20 bits of the tick count with 0x80000 set, in the folder of nearFile (or the host's
// temporary folder when nearFile is empty). While a file of that name exists the name is
// made again one tick later. The caller creates, uses and deletes it.
FSSpec MakeTempFileSpec(const std::string& prefix, const std::string& nearFile = "");

// Fault injection (tests only). Each kind has its own call counter, counted from the arm call.
// Kinds: open = FSpOpen, FSpOpenNew and FSpCreate; read = FSRead; write = FSWrite; seek =
// SetFPos, GetFPos and GetEOF; truncate = SetEOF; close = FSClose; flush = FSSync and
// FSSyncFolder; rename = FSpRename; remove = FSpDelete; any = every one of these. A failing call
// does nothing and returns the code (a failing read or write reports a count of 0), except that
// a failing FSClose still releases the file, as the host does. A fault fires once; later calls
// run normally. With shortWrite an armed write call writes half of its bytes (rounded down),
// reports that count and returns dskFulErr; any other call chosen by that fault fails with code.
// A fault that names a lockedFolder also refuses, for as long as it is armed, every call that
// would make, remove or rename a name in that folder, with permErr, as a folder the user may not
// write refuses them.
enum class FileCall { open, read, write, seek, truncate, close, flush, rename, remove, any };
struct FileFault {
    FileCall call = FileCall::any;
    long nth = 0;               // fail the nth call of that kind (1-based); 0 = disarmed
    OSErr code = ioErrFail;     // the code the failing call returns
    bool shortWrite = false;    // for writes: write half of the bytes and return dskFulErr
    std::string lockedFolder{}; // refuse every name made, removed or renamed in this folder
    static constexpr OSErr ioErrFail = 5;
};
void ArmFileFault(const FileFault& fault);
void DisarmFileFaults();
long FileCallCount(FileCall call); // calls of that kind since the last arm/disarm
bool FileFaultFired();

// Recording (tests only): every call that changes a file or a folder, in the order made, with
// the bytes written. Calls on files opened before the recording began are recorded without a
// path. A failing call is not recorded; a short write is recorded with the bytes it wrote.
struct FileChange {
    // create: the file exists (empty when it was made, as it was when it existed already);
    // flush: the file's bytes are on the disk; flushFolder: the names in the folder are.
    enum Kind { create, write, truncate, flush, flushFolder, rename, remove } kind;
    std::string path, to;     // to: the new name of a rename
    std::uint64_t offset = 0; // of a write; the new length of a truncate
    std::vector<unsigned char> bytes;
};
void RecordFileChanges(std::vector<FileChange>* log); // nullptr stops the recording
