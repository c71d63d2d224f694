// No failure of the disk, no crash and no power loss may corrupt a package file or lose a
// package: after any of them, the next open finds the file exactly as it was before the save or
// the close that was running, or exactly as that save or close would have left it, with nothing
// else beside it: whichever file call of a session fails or writes half (and, retried, the
// same save and close then leave exactly the new contents), after whichever change to the
// files and folders a crash strikes, and at whichever flush the power goes, of the changes not
// yet made safe any subset kept.
#include "model/LibraryOps.h"
#include "model/PackageFileIO.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

using namespace test_support;

namespace {

std::string nameOf(int i) {
    return (i < 10 ? "P0" : "P") + std::to_string(i);
}

UniqueHandle imageOf(const std::string& name, int i, const std::string& tag) {
    return packageImage(name, {i % 5 + 1, i % 7 + 10}, tag);
}

// The Packages of a file: name -> images (links cleared), in file order.
using Packages = std::map<std::string, std::vector<std::vector<char>>>;

Packages packagesIn(const std::string& path, const std::string& what) {
    Packages out;
    std::unique_ptr<RecordFile> rf;
    OSErr err = RecordFile::open(path, FilePerm::readOnly, &rf);
    if (!err)
        err = rf->scanRecords(kRecordPackage, [&](const RecordInfo& info, const unsigned char* d) {
            UniqueHandle h(PtrToHand(d, Size(info.length)));
            if (swapImageToHost(h.data(), std::size_t(h.size())) != noErr) return true;
            out[imageField(h.get(), 1).str()].push_back(withoutLinks(h.get()));
            return true;
        });
    EXPECT_EQ(err, noErr) << what;
    return out;
}

void add(Packages& p, const std::string& name, int i, const std::string& tag) {
    p[name].push_back(bytesOf(imageOf(name, i, tag).get()));
}

// The file of kBase Packages that every session starts from, and its Packages.
constexpr int kBase = 40;
Packages basePackages() {
    Packages p;
    for (int i = 0; i < kBase; ++i)
        add(p, nameOf(i), i, "old");
    return p;
}
void makeBaseFile(const std::string& path) {
    PackageFile* f = nullptr;
    ASSERT_EQ(createPackageFile(path, {}, &f), noErr);
    for (int i = 0; i < kBase; ++i)
        addEntry(f, newEntry(nameOf(i), imageOf(nameOf(i), i, "old").release(), 0,
                             ImageState::modified));
    reversePackageList(f);
    ASSERT_EQ(savePackageFile(f), noErr);
    ASSERT_EQ(closePackageFileRecords(f, RecordClose::complete), noErr);
    disposePackageFile(f);
}

// An open for writing (which rolls back a hot journal) and a close.
void openAndClose(const std::string& path, RecordClose how, const std::string& what) {
    PackageFile* f = nullptr;
    ASSERT_EQ(openPackageFile(path, FilePerm::readWrite, {}, &f), noErr) << what;
    EXPECT_EQ(closePackageFileRecords(f, how), noErr) << what;
    disposePackageFile(f);
}

// The entries of these names, in that order.
std::vector<PackageEntry*> named(PackageFile* f, const std::vector<std::string>& names) {
    std::vector<PackageEntry*> entries;
    for (const std::string& name : names)
        entries.push_back(findEntry(f, name));
    return entries;
}

// How a set of Packages differs from two others, for a failure message.
std::string describe(const Packages& found) {
    std::string s;
    for (const auto& [name, images] : found)
        s += name + "x" + std::to_string(images.size()) + " ";
    return s;
}

const std::set<int> kChanged = {1, 3, 8, 10, 14, 17, 22, 25, 29, 33, 36};
const std::set<int> kDeleted = {5, 12, 20, 31, 38};
constexpr int kAdded = 3;

// The Packages after the fault-injection session.
Packages changedPackages() {
    Packages p;
    for (int i = 0; i < kBase; ++i)
        if (!kDeleted.count(i)) add(p, nameOf(i), i, kChanged.count(i) ? "new" : "old");
    for (int i = 0; i < kAdded; ++i)
        add(p, "N" + std::to_string(i), i, "add");
    return p;
}

struct FaultSafety : ScratchTest {
    std::vector<unsigned char> original;
    const Packages before = basePackages(), after = changedPackages();

    void SetUp() override {
        makeBaseFile(path);
        original = readBytes(path);
    }

    // The session; stops at the first error. *file is the package file, if it was opened.
    OSErr session(PackageFile** file) {
        *file = nullptr;
        if (OSErr err = openPackageFile(path, FilePerm::readWrite, {}, file)) return err;
        PackageFile* f = *file;
        for (int i : kChanged)
            setImage(findEntry(f, nameOf(i)), imageOf(nameOf(i), i, "new").release(),
                     ImageState::modified, 0);
        std::vector<std::string> deleted;
        for (int i : kDeleted)
            deleted.push_back(nameOf(i));
        if (OSErr err = deletePackages(f, named(f, deleted))) return err;
        PackageEntry* last = entryAt(f, f->packageCount - 1);
        for (int i = 0; i < kAdded; ++i) {
            const std::string name = "N" + std::to_string(i);
            PackageEntry* e =
                newEntry(name, imageOf(name, i, "add").release(), 0, ImageState::modified);
            insertEntryAfter(f, last, e);
            last = e;
        }
        if (OSErr err = savePackageFile(f)) return err;
        return closePackageFileRecords(f, RecordClose::complete);
    }

    // The file verifies and holds exactly the Packages before or after the session (with
    // exactNew, after); beside it there is at most its journal, and after an open for writing
    // and a close, nothing.
    void checkFile(const std::string& what, bool exactNew) {
        verifyClean(path, what);
        const Packages found = packagesIn(path, what);
        EXPECT_TRUE(found == after || (!exactNew && found == before))
            << what << ": neither the old nor the new Packages: " << describe(found);
        for (const std::string& name : listFolder(dir))
            EXPECT_TRUE(name == "lib.qpk" || name == "lib.qpk-journal") << what << ": " << name;
        openAndClose(path, RecordClose::complete, what);
        verifyClean(path, what + ", after a writable open");
        EXPECT_EQ(packagesIn(path, what), found) << what;
        EXPECT_EQ(listFolder(dir), std::vector<std::string>{"lib.qpk"}) << what;
    }

    // Runs the session with the fault armed; then checks the file as the failure left it
    // (abandon) or after the same save and close ran again without faults (retry).
    void runWithFault(const FileFault& fault, bool retry, const std::string& what) {
        writeBytes(path, original);
        PackageFile* f = nullptr;
        OSErr err;
        {
            ScopedFileFault armed(fault);
            err = session(&f);
        }
        // A session that reports success must have done all its work.
        if (retry && err && f) {
            EXPECT_EQ(savePackageFile(f), noErr) << what;
            EXPECT_EQ(closePackageFileRecords(f, RecordClose::complete), noErr) << what;
        }
        const bool complete = err == noErr || (retry && f);
        disposePackageFile(f); // whatever is still open closes without writing
        checkFile(what, complete);
    }

    long countCalls(FileCall kind) {
        writeBytes(path, original);
        PackageFile* f = nullptr;
        const long n = countFileCalls(kind, [&] { EXPECT_EQ(session(&f), noErr); });
        disposePackageFile(f);
        return n;
    }
};

} // namespace

// Every call failing with an I/O error or a full disk (and a call past the last, which never
// comes: the session as it runs without faults), and every write writing half; each left as the
// failure left it, and retried.
TEST_F(FaultSafety, EveryFailingCallAndShortWrite) {
    const long calls = countCalls(FileCall::any);
    EXPECT_GT(calls, 30);
    std::vector<std::pair<FileFault, std::string>> faults;
    for (long n = 1; n <= calls + 1; ++n)
        for (OSErr code : {OSErr(FileFault::ioErrFail), dskFulErr}) {
            const std::string what =
                "call " + std::to_string(n) + " fails with " + std::to_string(code);
            faults.emplace_back(failingCall(FileCall::any, n, code), what);
        }
    for (long n = 1, writes = countCalls(FileCall::write); n <= writes; ++n)
        faults.emplace_back(failingCall(FileCall::write, n, dskFulErr, true),
                            "write " + std::to_string(n) + " is short");
    for (const auto& [fault, what] : faults) {
        for (bool retry : {false, true}) {
            runWithFault(fault, retry, what + (retry ? ", retried" : ""));
            if (HasFailure()) return;
        }
    }
}

// An import appends records one after another; they reach the file in blocks. Whatever call of
// such a run fails, the file on disk is well formed and holds the first records in order, and
// after the forced close that ends a failed import it holds every record reported written.
TEST(AppendBlockFaults, AFailedImportKeepsThePackagesWrittenSoFar) {
    ScratchDir scratch;
    const std::string path = scratch.path + "/import.qpk";
    constexpr int kRecords = 300; // of about 2 KB: several blocks
    auto import = [&](const FileFault& fault, int* written) {
        std::unique_ptr<RecordFile> rf = newRecordFile(path);
        ScopedFileFault armed(fault);
        for (*written = 0; *written < kRecords; ++*written) {
            UniqueHandle image = packageImage(nameOf(*written), {*written + 1},
                                              std::string(2000, char('a' + *written % 26)));
            std::uint32_t pos;
            if (rf->writeRecord(kRecordPackage, image.get(), &pos)) break;
        }
        return std::make_pair(std::move(rf), FileCallCount(fault.call));
    };
    // The names in the file must be the first n, in order, each once.
    auto checkPrefix = [&](const std::string& what, int atLeast) {
        verifyClean(path, what);
        const auto found = packagesIn(path, what);
        EXPECT_GE(int(found.size()), atLeast) << what;
        for (int i = 0; i < int(found.size()); ++i)
            EXPECT_EQ(found.count(nameOf(i)) ? found.at(nameOf(i)).size() : 0u, 1u)
                << what << ": " << nameOf(i);
    };
    int written = 0;
    const long calls = import(failingCall(FileCall::any, 0), &written).second;
    ASSERT_EQ(written, kRecords);
    EXPECT_LT(calls, kRecords / 10); // appends are batched
    for (long n = 1; n <= calls + 1; ++n) {
        for (bool shortWrite : {false, true}) {
            const std::string what =
                "call " + std::to_string(n) + (shortWrite ? " writes half" : " fails");
            auto [rf, ignored] =
                import(failingCall(FileCall::any, n, dskFulErr, shortWrite), &written);
            checkPrefix(what + ", as the failure left it", 0);
            rf->setReadOnly();
            EXPECT_EQ(rf->close(), noErr) << what;
            checkPrefix(what + ", closed", written);
            if (HasFailure()) return;
        }
    }
}

namespace {

// A disk of its own: files by path, changed as the recorded calls changed the real ones.
struct Disk {
    std::map<std::string, std::vector<unsigned char>> files;

    void apply(const FileChange& c, bool torn = false) {
        const auto it = files.find(c.path);
        switch (c.kind) {
        case FileChange::create:
            files.try_emplace(c.path);
            break;
        case FileChange::write:
            if (it != files.end()) {
                const std::size_t n = torn ? c.bytes.size() / 2 : c.bytes.size();
                auto& b = it->second;
                if (b.size() < c.offset + n) b.resize(c.offset + n);
                std::copy(c.bytes.begin(), c.bytes.begin() + long(n), b.begin() + long(c.offset));
            }
            break;
        case FileChange::truncate:
            if (it != files.end()) it->second.resize(c.offset);
            break;
        case FileChange::remove:
            files.erase(c.path);
            break;
        case FileChange::rename:
            if (it != files.end()) {
                auto bytes = std::move(it->second);
                files.erase(it);
                files[c.to] = std::move(bytes);
            }
            break;
        case FileChange::flush:
        case FileChange::flushFolder:
            break;
        }
    }

    // Puts the files in the folders, and nothing else there. A file that stays is rewritten in
    // place, so that it keeps its identity (a journal in the state folder is found by it).
    void putIn(const std::vector<std::string>& folders) const {
        for (const std::string& folder : folders)
            for (const std::string& name : listFolder(folder))
                if (!files.count(folder + "/" + name)) std::remove((folder + "/" + name).c_str());
        for (const auto& [path, bytes] : files)
            writeBytes(path, bytes);
    }
};

// Whether a change is safe on the disk once the changes before `end` were made: a write or a
// truncation once its file was flushed after it, a name made, removed or renamed once its folder
// was.
bool durable(const std::vector<FileChange>& log, std::size_t i, std::size_t end) {
    const FileChange& c = log[i];
    if (c.kind == FileChange::flush || c.kind == FileChange::flushFolder) return true;
    const bool data = c.kind == FileChange::write || c.kind == FileChange::truncate;
    for (std::size_t j = i + 1; j < end; ++j) {
        if (data && log[j].kind == FileChange::flush && log[j].path == c.path) return true;
        if (!data && log[j].kind == FileChange::flushFolder && log[j].path == FolderOf(c.path))
            return true;
    }
    return false;
}

// The scripted session of a user (open, Cut, Paste, Duplicate, Delete, an edit, Save, Close),
// recorded from a file of kBase Packages, its Packages and bytes before, after the save and
// after the close; replayed to every crash and power loss.
struct CrashTest : ScratchTest {
    std::vector<FileChange> log;
    std::vector<unsigned char> bytesBefore, bytesSaved, bytesClosed;
    const Packages before = basePackages(), after = editedPackages();
    std::vector<std::string> folders = {dir};

    // P02-P04 cut and pasted back at the end, P10 and P11 duplicated, P20-P22 deleted, P30
    // edited.
    static Packages editedPackages() {
        Packages p;
        for (int i = 0; i < kBase; ++i)
            if (i < 20 || i > 22) add(p, nameOf(i), i, i == 30 ? "edited" : "old");
        add(p, "P10+", 10, "old");
        add(p, "P11+", 11, "old");
        return p;
    }

    void record() {
        makeBaseFile(path);
        bytesBefore = readBytes(path);
        RecordFileChanges(&log);
        PackageFile* f = nullptr;
        ASSERT_EQ(openPackageFile(path, FilePerm::readWrite, {}, &f), noErr);
        PackageFile* clipboard = nullptr; // Cut, as the list window makes it
        const std::vector<PackageEntry*> cut = named(f, {"P02", "P03", "P04"});
        ASSERT_EQ(copyToClipboard(cut, nullptr, &clipboard), noErr);
        ASSERT_EQ(deletePackages(f, cut), noErr);
        PackageEntry* first = nullptr;
        Failures failed;
        EXPECT_EQ(pasteFromClipboard(clipboard, f, &first), noErr);
        disposePackageFile(clipboard);
        EXPECT_EQ(duplicatePackages(named(f, {"P10", "P11"}), f, &failed, &first), noErr);
        EXPECT_EQ(deletePackages(f, named(f, {"P20", "P21", "P22"})), noErr);
        setImage(findEntry(f, "P30"), imageOf("P30", 30, "edited").release(), ImageState::modified,
                 0);
        ASSERT_EQ(savePackageFile(f), noErr);
        bytesSaved = readBytes(path);
        ASSERT_EQ(closePackageFileRecords(f, RecordClose::complete), noErr);
        disposePackageFile(f);
        RecordFileChanges(nullptr);
        bytesClosed = readBytes(path);
        for (const FileChange& c : log)
            ASSERT_FALSE(c.path.empty()) << "a change to a file opened before the recording";
    }

    // Opened the normal way, the file on disk is one of the three, verifies, holds the
    // Packages before or after, and nothing is left beside it.
    void check(const Disk& disk, const std::string& what) {
        disk.putIn(folders);
        openAndClose(path, RecordClose::forced, what);
        const auto bytes = readBytes(path);
        EXPECT_TRUE(bytes == bytesBefore || bytes == bytesSaved || bytes == bytesClosed)
            << what << ": the file is none of its states before, after the save, after the close";
        verifyClean(path, what);
        const Packages found = packagesIn(path, what);
        EXPECT_TRUE(found == before || found == after) << what << ": " << describe(found);
        EXPECT_EQ(listFolder(dir), std::vector<std::string>{"lib.qpk"}) << what;
        for (std::size_t i = 1; i < folders.size(); ++i)
            EXPECT_TRUE(listFolder(folders[i]).empty()) << what << ": " << folders[i];
    }

    Disk initial() const {
        Disk disk;
        disk.files[path] = bytesBefore;
        return disk;
    }

    // Every prefix of the recorded changes, the last write also half made.
    void crashAtEveryCall() {
        for (std::size_t n = 0; n <= log.size() && !HasFailure(); ++n) {
            Disk disk = initial();
            for (std::size_t i = 0; i < n; ++i)
                disk.apply(log[i]);
            check(disk, "crash after change " + std::to_string(n));
            if (n < log.size() && log[n].kind == FileChange::write && log[n].bytes.size() > 1) {
                disk.apply(log[n], true);
                check(disk, "crash in the middle of change " + std::to_string(n));
            }
        }
    }

    // At each flush (and at the end): what a flush made safe stays, and of the rest none, all,
    // or a seeded random choice.
    void powerLossAtEveryFlush() {
        std::vector<std::size_t> points;
        for (std::size_t i = 0; i < log.size(); ++i)
            if (log[i].kind == FileChange::flush || log[i].kind == FileChange::flushFolder)
                points.push_back(i);
        points.push_back(log.size());
        EXPECT_GE(points.size(), 5u);
        for (std::size_t end : points) {
            std::mt19937 rng{unsigned(end)};
            for (int choice = 0; choice < 12 && !HasFailure(); ++choice) {
                Disk disk = initial();
                for (std::size_t i = 0; i < end; ++i) {
                    const bool kept = choice == 0 ? false : choice == 1 ? true : (rng() & 1) != 0;
                    if (durable(log, i, end) || kept) disk.apply(log[i]);
                }
                check(disk, "power lost before change " + std::to_string(end) + ", choice " +
                                std::to_string(choice));
            }
        }
    }
};

} // namespace

TEST_F(CrashTest, ACrashOrAPowerLossAtAnyMomentLeavesTheFileBeforeOrAfter) {
    record();
    ASSERT_FALSE(HasFailure());
    EXPECT_NE(bytesSaved, bytesBefore);
    EXPECT_NE(bytesClosed, bytesSaved); // compacted
    crashAtEveryCall();
    powerLossAtEveryFlush();
}

// Where the file's folder lets no file be made, the journal goes to the state folder (found
// again by the file's identity) and the close leaves out the compaction; a crash or a power loss
// is as safe there.
TEST_F(CrashTest, AJournalInTheStateFolderIsAsSafe) {
    FileFault locked;
    locked.lockedFolder = dir;
    makeBaseFile(path);
    ScopedFileFault armed(locked);
    std::string journals;
    ASSERT_EQ(UserStateFolder("ortix-kelvane/journals", true, &journals), noErr);
    folders.push_back(journals);
    record();
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(bytesClosed, bytesSaved); // not compacted
    bool inStateFolder = false;
    for (const FileChange& c : log)
        inStateFolder |= c.kind == FileChange::create && FolderOf(c.path) == journals;
    EXPECT_TRUE(inStateFolder);
    crashAtEveryCall();
    powerLossAtEveryFlush();
}
