// File calls on POSIX descriptors, temporary file names and fault injection.
#include "toolbox/core/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <unordered_map>

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

constexpr int kCallKinds = static_cast<int>(FileCall::any) + 1;

struct FaultState {
    long counts[kCallKinds] = {};
    FileFault fault; // fault.nth == 0: disarmed
    bool fired = false;
};
FaultState gFaults;

// The recording of file changes, with the path of each file opened while it runs.
struct Recording {
    std::vector<FileChange>* log = nullptr;
    std::unordered_map<int, std::string> paths;
    void add(FileChange::Kind kind, const std::string& path, std::uint64_t offset = 0,
             std::vector<unsigned char> bytes = {}, const std::string& to = {}) {
        if (!log) return;
        FileChange change{kind, path, to, offset, std::move(bytes)};
        log->push_back(std::move(change));
    }
    std::string pathOf(int ref) const {
        const auto it = paths.find(ref);
        return it == paths.end() ? std::string() : it->second;
    }
};
Recording gRecording;

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Whether an armed fault refuses to make, remove or rename a name in the folder of path.
bool folderLocked(const std::string& path) {
    return !gFaults.fault.lockedFolder.empty() && FolderOf(path) == gFaults.fault.lockedFolder;
}

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
    if (folderLocked(fileSpec.path) && !exists(fileSpec.path)) return permErr;
    int fd = ::open(fileSpec.path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return lastError();
    ::close(fd);
    recordFinderInfo(fileSpec.path, creator, type);
    gRecording.add(FileChange::create, fileSpec.path);
    return noErr;
}

namespace {

// Keeps descriptor 0 free (0 is never a valid reference) and notes the path for a recording.
OSErr adopt(int fd, const std::string& path, FileRef* ref) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return permErr;
    }
    if (fd == 0) {
        int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
        OSErr err = moved < 0 ? lastError() : noErr;
        ::close(fd);
        if (err) return err;
        fd = moved;
    }
    if (gRecording.log) gRecording.paths[fd] = path;
    *ref = fd;
    return noErr;
}

} // namespace

OSErr FSpOpenNew(const FSSpec& fileSpec, FileRef* ref) {
    if (ref) *ref = 0;
    if (countCall(FileCall::open) != Outcome::run) return faultCode();
    if (!ref) return paramErr;
    if (folderLocked(fileSpec.path) && !exists(fileSpec.path)) return permErr;
    int fd = ::open(fileSpec.path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return lastError();
    if (OSErr err = adopt(fd, fileSpec.path, ref)) return err;
    gRecording.add(FileChange::create, fileSpec.path);
    gRecording.add(FileChange::truncate, fileSpec.path);
    return noErr;
}

OSErr FSpOpen(const FSSpec& fileSpec, FilePerm perm, FileRef* ref) {
    if (ref) *ref = 0;
    if (countCall(FileCall::open) != Outcome::run) return faultCode();
    if (!ref) return paramErr;
    int flags = (perm == FilePerm::readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    int fd = ::open(fileSpec.path.c_str(), flags);
    if (fd < 0) return lastError();
    return adopt(fd, fileSpec.path, ref);
}

OSErr FSpDelete(const FSSpec& fileSpec) {
    if (countCall(FileCall::remove) != Outcome::run) return faultCode();
    if (folderLocked(fileSpec.path)) return permErr;
    if (::unlink(fileSpec.path.c_str()) != 0) return lastError();
    gRecording.add(FileChange::remove, fileSpec.path);
    return noErr;
}

OSErr FSpRename(const FSSpec& from, const FSSpec& to) {
    if (countCall(FileCall::rename) != Outcome::run) return faultCode();
    if (folderLocked(from.path) || folderLocked(to.path)) return permErr;
    if (::rename(from.path.c_str(), to.path.c_str()) != 0) return lastError();
    gRecording.add(FileChange::rename, from.path, 0, {}, to.path);
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
    const long at = !gRecording.log     ? 0
                    : offset == kAtMark ? static_cast<long>(::lseek(ref, 0, SEEK_CUR))
                                        : offset;
    struct RecordWrite {
        long at;
        const char* p;
        const long& put;
        int ref;
        ~RecordWrite() {
            if (gRecording.log && put > 0)
                gRecording.add(FileChange::write, gRecording.pathOf(ref),
                               static_cast<std::uint64_t>(at),
                               std::vector<unsigned char>(p, p + put));
        }
    } recordWrite{at, p, put, ref};
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
    gRecording.add(FileChange::truncate, gRecording.pathOf(ref), std::uint64_t(eof));
    return noErr;
}

OSErr FSClose(FileRef ref, bool flush) {
    bool fail = countCall(FileCall::close) != Outcome::run;
    if (ref <= 0) return fail ? faultCode() : rfNumErr;
    OSErr err = noErr;
    if (flush && ::fsync(ref) != 0 && errno != EINVAL) err = lastError();
    if (flush && !err) gRecording.add(FileChange::flush, gRecording.pathOf(ref));
    gRecording.paths.erase(ref);
    if (::close(ref) != 0 && !err) err = lastError();
    return fail ? faultCode() : err;
}

OSErr FSSync(FileRef ref) {
    if (countCall(FileCall::flush) != Outcome::run) return faultCode();
    if (ref <= 0) return rfNumErr;
    if (::fsync(ref) != 0 && errno != EINVAL) return lastError();
    gRecording.add(FileChange::flush, gRecording.pathOf(ref));
    return noErr;
}

OSErr FSSyncFolder(const std::string& folder) {
    if (countCall(FileCall::flush) != Outcome::run) return faultCode();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return lastError();
    // Some file systems cannot flush a folder; their names are then as safe as they get.
    OSErr err = ::fsync(fd) != 0 && errno != EINVAL ? lastError() : noErr;
    ::close(fd);
    if (!err) gRecording.add(FileChange::flushFolder, folder);
    return err;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

namespace {

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_nlink)};
}

} // namespace

OSErr FSGetIdentity(FileRef ref, FileIdentity* id) {
    struct stat st {};
    if (ref <= 0) return rfNumErr;
    if (::fstat(ref, &st) != 0) return lastError();
    *id = identityOf(st);
    return noErr;
}

OSErr FSpGetIdentity(const FSSpec& fileSpec, FileIdentity* id) {
    struct stat st {};
    if (::stat(fileSpec.path.c_str(), &st) != 0) return lastError();
    *id = identityOf(st);
    return noErr;
}

std::string FSpResolvedPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string out = resolved;
    std::free(resolved);
    return out;
}

OSErr FSCopyOwnership(FileRef from, FileRef to) {
    struct stat st {
    }, mine{};
    if (::fstat(from, &st) != 0 || ::fstat(to, &mine) != 0) return lastError();
    if ((st.st_uid != mine.st_uid || st.st_gid != mine.st_gid) &&
        ::fchown(to, st.st_uid, st.st_gid) != 0)
        return lastError();
    if (::fchmod(to, st.st_mode & 07777) != 0) return lastError();
    // Extended attributes (the type and creator among them, and an access list) go along as
    // far as the file system takes them.
    std::vector<char> names(4096), value;
    ssize_t n = ::flistxattr(from, names.data(), names.size());
    if (n < 0 && errno == ERANGE) {
        names.resize(65536);
        n = ::flistxattr(from, names.data(), names.size());
    }
    for (ssize_t at = 0; n > 0 && at < n;) {
        const char* name = names.data() + at;
        at += static_cast<ssize_t>(std::strlen(name)) + 1;
        const ssize_t len = ::fgetxattr(from, name, nullptr, 0);
        if (len < 0) continue;
        value.resize(static_cast<std::size_t>(len) + 1);
        const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
        if (got >= 0) (void)::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0);
    }
    return noErr;
}

OSErr FSLock(FileRef ref) {
    if (ref <= 0) return rfNumErr;
    while (::flock(ref, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        return errno == EWOULDBLOCK ? fBsyErr : lastError();
    }
    return noErr;
}

std::string FSLockHolder(const FSSpec& fileSpec) {
    struct stat st {};
    const std::string nobody = "another program";
    if (::stat(fileSpec.path.c_str(), &st) != 0) return nobody;
    // /proc/locks: "1: FLOCK  ADVISORY  WRITE 4242 fd:01:393219 0 EOF", the device as major and
    // minor number in hexadecimal; lines of waiting locks hold "->" after the number.
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.size() < 6 || w[1] == "->" || w[5] != device) continue;
        const long pid = std::atol(w[4].c_str());
        if (pid <= 0) continue;
        std::string who = "process " + std::to_string(pid);
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::string command;
        if (std::getline(comm, command) && !command.empty()) who += " (" + command + ")";
        struct stat proc {};
        if (::stat(("/proc/" + std::to_string(pid)).c_str(), &proc) == 0) {
            passwd pw{}, *found = nullptr;
            char buf[1024];
            if (::getpwuid_r(proc.st_uid, &pw, buf, sizeof buf, &found) == 0 && found)
                who += std::string(" of user ") + found->pw_name;
        }
        return who;
    }
    return nobody;
}

OSErr UserStateFolder(const std::string& inside, bool make, std::string* folder) {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base;
    if (state && *state == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || *home != '/') return dirNFErr;
        base = std::string(home) + "/.local/state";
    }
    // Each level is made when missing, as mkdir -p does.
    std::string path = base + "/" + inside;
    for (std::size_t at = 1; make && at != std::string::npos;) {
        at = path.find('/', at + 1);
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return lastError();
    }
    *folder = path;
    return noErr;
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

void RecordFileChanges(std::vector<FileChange>* log) {
    gRecording.log = log;
    gRecording.paths.clear();
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
