// File calls on POSIX descriptors, temporary file names and fault injection.
#include "toolbox/core/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr OSErr tooManyFilesErr = 4; // the host's "too many open files"
constexpr OSErr ioFailErr = 31;      // the host's "device not functioning"

OSErr mapErrno(int e) {
    switch (e) {
    case 0:
        return noErr;
    case ENOENT:
        return fnfErr;
    case ENOTDIR:
    case ELOOP:
        return dirNFErr;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return permErr;
    case EBADF:
        return rfNumErr;
    case ENOMEM:
        return memFullErr;
    case EBUSY:
    case ETXTBSY:
        return fBsyErr;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return dskFulErr;
    case EEXIST:
        return dupFNErr;
    case EINVAL:
        return paramErr;
    case ENAMETOOLONG:
        return pathTooLongErr;
    case EMFILE:
    case ENFILE:
        return tooManyFilesErr;
    case ESPIPE:
    case EOVERFLOW:
        return posErr;
    default:
        return ioFailErr;
    }
}

inline OSErr lastError() {
    return mapErrno(errno);
}

// ---- fault injection ----

struct FaultState {
    long counts[7] = {};
    FileFault fault; // fault.nth == 0: disarmed
    bool fired = false;
};
FaultState gFaults;

enum class Outcome { run, fail, shortWrite };

// Counts a call of that kind; while a fault is armed, decides whether this call is the one.
inline Outcome countCall(FileCall kind) {
    long n = ++gFaults.counts[static_cast<int>(kind)];
    long any = ++gFaults.counts[static_cast<int>(FileCall::any)];
    if (gFaults.fault.nth == 0) [[likely]]
        return Outcome::run;
    const FileFault& f = gFaults.fault;
    if (f.nth != (f.call == FileCall::any ? any : (f.call == kind ? n : -1))) return Outcome::run;
    gFaults.fault.nth = 0;
    gFaults.fired = true;
    return f.shortWrite && kind == FileCall::write ? Outcome::shortWrite : Outcome::fail;
}

inline OSErr faultCode() {
    return gFaults.fault.code;
}

std::uint64_t tickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000 +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000;
}

void recordFinderInfo(const std::string& path, const char* creator, const char* type) {
    // Best effort: type then creator, four bytes each, in an extended attribute.
    char info[8] = {};
    for (int i = 0; i < 4 && type && type[i]; ++i)
        info[i] = type[i];
    for (int i = 0; i < 4 && creator && creator[i]; ++i)
        info[4 + i] = creator[i];
    (void)setxattr(path.c_str(), "user.ortix.finfo", info, sizeof info, 0);
}

} // namespace

FSSpec FSSpec::fromPath(const std::string& path) {
    FSSpec fileSpec;
    fileSpec.path = path;
    std::size_t slash = path.find_last_of('/');
    fileSpec.name = slash == std::string::npos ? path : path.substr(slash + 1);
    return fileSpec;
}

OSErr FSpCreate(const FSSpec& fileSpec, const char* creator, const char* type) {
    if (countCall(FileCall::open) != Outcome::run) return faultCode();
    int fd = ::open(fileSpec.path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return lastError();
    ::close(fd);
    recordFinderInfo(fileSpec.path, creator, type);
    return noErr;
}

OSErr FSpOpen(const FSSpec& fileSpec, FilePerm perm, FileRef* ref) {
    if (ref) *ref = 0;
    if (countCall(FileCall::open) != Outcome::run) return faultCode();
    if (!ref) return paramErr;
    int flags = (perm == FilePerm::readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    int fd = ::open(fileSpec.path.c_str(), flags);
    if (fd < 0) return lastError();
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return permErr;
    }
    if (fd == 0) {
        // 0 is never a valid reference: move the file to another descriptor.
        int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
        OSErr err = moved < 0 ? lastError() : noErr;
        ::close(fd);
        if (err) return err;
        fd = moved;
    }
    *ref = fd;
    return noErr;
}

OSErr FSpDelete(const FSSpec& fileSpec) {
    if (::unlink(fileSpec.path.c_str()) != 0) return lastError();
    return noErr;
}

namespace {

constexpr long kAtMark = -1; // read or write at the file mark, moving it

OSErr readCall(FileRef ref, long offset, long* count, void* buffer) {
    if (!count) return paramErr;
    long want = *count;
    *count = 0;
    if (countCall(FileCall::read) != Outcome::run) return faultCode();
    if (ref <= 0) return rfNumErr;
    if (want < 0) return paramErr;
    auto* p = static_cast<char*>(buffer);
    long got = 0;
    while (got < want) {
        const auto n0 = static_cast<std::size_t>(want - got);
        ssize_t n = offset == kAtMark ? ::read(ref, p + got, n0)
                                      : ::pread(ref, p + got, n0, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            *count = got;
            return lastError();
        }
        if (n == 0) break;
        got += n;
    }
    *count = got;
    return got < want ? eofErr : noErr;
}

OSErr writeCall(FileRef ref, long offset, long* count, const void* buffer) {
    if (!count) return paramErr;
    long want = *count;
    *count = 0;
    Outcome o = countCall(FileCall::write);
    if (o == Outcome::fail) return faultCode();
    if (ref <= 0) return rfNumErr;
    if (want < 0) return paramErr;
    if (o == Outcome::shortWrite) want /= 2;
    auto* p = static_cast<const char*>(buffer);
    long put = 0;
    while (put < want) {
        const auto n0 = static_cast<std::size_t>(want - put);
        ssize_t n = offset == kAtMark
                        ? ::write(ref, p + put, n0)
                        : ::pwrite(ref, p + put, n0, static_cast<off_t>(offset + put));
        if (n < 0) {
            if (errno == EINTR) continue;
            *count = put;
            return lastError();
        }
        if (n == 0) {
            *count = put;
            return dskFulErr;
        }
        put += n;
    }
    *count = put;
    return o == Outcome::shortWrite ? dskFulErr : noErr;
}

} // namespace

OSErr FSRead(FileRef ref, long* count, void* buffer) {
    return readCall(ref, kAtMark, count, buffer);
}

OSErr FSWrite(FileRef ref, long* count, const void* buffer) {
    return writeCall(ref, kAtMark, count, buffer);
}

OSErr FSReadAt(FileRef ref, long offset, long* count, void* buffer) {
    if (offset < 0) return posErr;
    return readCall(ref, offset, count, buffer);
}

OSErr FSWriteAt(FileRef ref, long offset, long* count, const void* buffer) {
    if (offset < 0) return posErr;
    return writeCall(ref, offset, count, buffer);
}

OSErr GetFPos(FileRef ref, long* pos) {
    if (countCall(FileCall::seek) != Outcome::run) return faultCode();
    if (ref <= 0) return rfNumErr;
    off_t at = ::lseek(ref, 0, SEEK_CUR);
    if (at < 0) return lastError();
    if (pos) *pos = static_cast<long>(at);
    return noErr;
}

OSErr SetFPos(FileRef ref, FilePosMode mode, long offset) {
    if (countCall(FileCall::seek) != Outcome::run) return faultCode();
    if (ref <= 0) return rfNumErr;
    int whence = mode == FilePosMode::fromStart  ? SEEK_SET
                 : mode == FilePosMode::fromMark ? SEEK_CUR
                                                 : SEEK_END;
    if (::lseek(ref, static_cast<off_t>(offset), whence) < 0)
        return errno == EINVAL ? posErr : lastError();
    return noErr;
}

OSErr GetEOF(FileRef ref, long* eof) {
    if (countCall(FileCall::seek) != Outcome::run) return faultCode();
    if (ref <= 0) return rfNumErr;
    struct stat st {};
    if (::fstat(ref, &st) != 0) return lastError();
    if (eof) *eof = static_cast<long>(st.st_size);
    return noErr;
}

OSErr SetEOF(FileRef ref, long eof) {
    if (countCall(FileCall::truncate) != Outcome::run) return faultCode();
    if (ref <= 0) return rfNumErr;
    if (eof < 0) return posErr;
    if (::ftruncate(ref, static_cast<off_t>(eof)) != 0) return lastError();
    return noErr;
}

OSErr FSClose(FileRef ref, bool flush) {
    bool fail = countCall(FileCall::close) != Outcome::run;
    if (ref <= 0) return fail ? faultCode() : rfNumErr;
    OSErr err = noErr;
    if (flush && ::fsync(ref) != 0 && errno != EINVAL) err = lastError();
    if (::close(ref) != 0 && !err) err = lastError();
    return fail ? faultCode() : err;
}

bool FSpSameFile(const FSSpec& a, const FSSpec& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.path.c_str(), &sa) == 0 && ::stat(b.path.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return a.path == b.path;
}

FSSpec MakeTempFileSpec(const std::string& prefix, const std::string& nearFile) {
    std::string folder;
    if (nearFile.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        folder = tmp && *tmp ? tmp : "/tmp";
    } else {
        std::size_t slash = nearFile.find_last_of('/');
        folder = slash == std::string::npos ? "." : nearFile.substr(0, slash == 0 ? 1 : slash);
    }
    if (folder.back() != '/') folder += '/';
    std::string stem = prefix.substr(0, 3);
    std::uint64_t tick = tickCount();
    for (;;) {
        char name[32];
        std::snprintf(name, sizeof name, "%X.TMP",
                      static_cast<unsigned>((tick & 0xFFFFF) | 0x80000));
        std::string path = folder + stem + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return FSSpec::fromPath(path);
        // The name is taken: wait for the next tick and make another.
        std::uint64_t now;
        while ((now = tickCount()) == tick) {
            timespec pause{0, 200000};
            nanosleep(&pause, nullptr);
        }
        tick = now;
    }
}

void ArmFileFault(const FileFault& fault) {
    gFaults = FaultState{};
    gFaults.fault = fault;
}

void DisarmFileFaults() {
    gFaults = FaultState{};
}

long FileCallCount(FileCall call) {
    return gFaults.counts[static_cast<int>(call)];
}

bool FileFaultFired() {
    return gFaults.fired;
}
