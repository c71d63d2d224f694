// File calls that return error codes, temporary files, and a fault-injection hook for tests.
//
// errno values are mapped to the host codes of the error-text table (ENOENT 2, ENOTDIR 3,
// EACCES/EPERM 5, EBADF 6, ENOMEM 8, EBUSY/ETXTBSY 170, ENOSPC 39, EEXIST 80, EINVAL 87);
// a short read returns eofErr (38) with the count of bytes read.
#pragma once
#include "resources/Types.h"
#include <string>

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
OSErr FSpDelete(const FSSpec& fileSpec);
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

// Temporary file named from "%s%X.TMP": the first three characters of prefix, then the low
// 20 bits of the tick count with 0x80000 set, in the folder of nearFile (or the host's
// temporary folder when nearFile is empty). While a file of that name exists the name is
// made again one tick later. The caller creates, uses and deletes it.
FSSpec MakeTempFileSpec(const std::string& prefix, const std::string& nearFile = "");

// Fault injection (tests only). Each kind has its own call counter, counted from the arm call.
// Kinds: open = FSpOpen and FSpCreate; read = FSRead; write = FSWrite; seek = SetFPos, GetFPos
// and GetEOF; truncate = SetEOF; close = FSClose; any = every one of these. A failing call does
// nothing and returns the code (a failing read or write reports a count of 0), except that a
// failing FSClose still releases the file, as the host does. A fault fires once; later calls
// run normally. With shortWrite an armed write call writes half of its bytes (rounded down),
// reports that count and returns dskFulErr; any other call chosen by that fault fails with code.
enum class FileCall { open, read, write, seek, truncate, close, any };
struct FileFault {
    FileCall call = FileCall::any;
    long nth = 0;            // fail the nth call of that kind (1-based); 0 = disarmed
    OSErr code = ioErrFail;  // the code the failing call returns
    bool shortWrite = false; // for writes: write half of the bytes and return dskFulErr
    static constexpr OSErr ioErrFail = 5;
};
void ArmFileFault(const FileFault& fault);
void DisarmFileFaults();
long FileCallCount(FileCall call); // calls of that kind since the last arm/disarm
bool FileFaultFired();
