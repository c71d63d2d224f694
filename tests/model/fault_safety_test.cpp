// No failure of the disk may corrupt a package file or lose a package. A realistic session
// (open, change, delete, add, save, close with compaction) runs once for every file call it
// makes, with that call failing (an I/O error, a full disk) or, for writes, writing only half of
// its bytes. Then the file must open, pass verification, and hold every Package with its old or
// its new content. Run once more after the failure, the same save and close must succeed and
// leave exactly the new contents: the failure lost nothing in memory either.
#include "model/PackageFileIO.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace test_support;

namespace {

std::string nameOf(int i) {
    char b[16];
    std::snprintf(b, sizeof b, "P%02d", i);
    return b;
}

UniqueHandle imageOf(const std::string& name, int i, const std::string& tag) {
    return packageImage(name, {i % 5 + 1, i % 7 + 10}, tag);
}

const std::set<int> kChanged = {1, 3, 8, 10, 14, 17, 22, 25, 29, 33, 36};
const std::set<int> kDeleted = {5, 12, 20, 31, 38};
constexpr int kBase = 40;
constexpr int kAdded = 3;

struct Contents {
    std::vector<char> oldImage, newImage; // links cleared; empty when that state has no Package
};

// What each name may hold before and after the session.
std::map<std::string, Contents> expectations() {
    std::map<std::string, Contents> m;
    for (int i = 0; i < kBase; ++i) {
        Contents& c = m[nameOf(i)];
        c.oldImage = bytesOf(imageOf(nameOf(i), i, "old").get());
        if (kChanged.count(i))
            c.newImage = bytesOf(imageOf(nameOf(i), i, "new").get());
        else if (!kDeleted.count(i))
            c.newImage = c.oldImage;
    }
    for (int i = 0; i < kAdded; ++i) {
        const std::string name = "N" + std::to_string(i);
        m[name].newImage = bytesOf(imageOf(name, i, "add").get());
    }
    return m;
}

// Every Package in the file: name -> images (links cleared), in file order.
std::map<std::string, std::vector<std::vector<char>>> packagesIn(const std::string& path,
                                                                 OSErr* err) {
    std::map<std::string, std::vector<std::vector<char>>> out;
    std::unique_ptr<RecordFile> rf;
    if ((*err = RecordFile::open(path, FilePerm::readOnly, &rf))) return out;
    *err = rf->scanRecords(kRecordPackage, [&](const RecordInfo& info, const unsigned char* d) {
        UniqueHandle h(PtrToHand(d, Size(info.length)));
        if (swapImageToHost(h.data(), std::size_t(h.size())) != noErr) return true;
        out[imageField(h.get(), 1).str()].push_back(withoutLinks(h.get()));
        return true;
    });
    return out;
}

struct FaultSafety : ScratchTest {
    std::vector<unsigned char> original;
    std::map<std::string, Contents> expect = expectations();

    void SetUp() override {
        PackageFile* f = nullptr;
        ASSERT_EQ(createPackageFile(path, {}, &f), noErr);
        for (int i = 0; i < kBase; ++i)
            addEntry(f, newEntry(nameOf(i), imageOf(nameOf(i), i, "old").release(), 0,
                                 ImageState::modified));
        reversePackageList(f);
        ASSERT_EQ(savePackageFile(f), noErr);
        ASSERT_EQ(closePackageFileRecords(f, RecordClose::complete), noErr);
        disposePackageFile(f);
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
        for (int i : kDeleted) {
            PackageEntry* e = findEntry(f, nameOf(i));
            removeEntry(f, e);
            discardEntry(f, e);
        }
        PackageEntry* last = f->packages;
        while (last->next)
            last = last->next;
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

    // The file verifies, and every name holds its old or its new content, exactly once when it
    // must be there, at most once otherwise. With exactNew, only the new content will do.
    void checkFile(const std::string& what, bool exactNew) {
        verifyClean(path, what);
        OSErr err;
        auto found = packagesIn(path, &err);
        ASSERT_EQ(err, noErr) << what;
        for (const auto& [name, c] : expect) {
            const auto it = found.find(name);
            const std::size_t n = it == found.end() ? 0 : it->second.size();
            const bool mustExist =
                exactNew ? !c.newImage.empty() : !c.oldImage.empty() && !c.newImage.empty();
            const bool mayExist = exactNew ? mustExist : true;
            EXPECT_LE(n, 1u) << what << ": " << name << " is there " << n << " times";
            if (mustExist) {
                EXPECT_EQ(n, 1u) << what << ": " << name << " is missing";
            }
            if (!mayExist) {
                EXPECT_EQ(n, 0u) << what << ": " << name << " is still there";
            }
            if (n == 0) continue;
            const auto& got = it->second.front();
            const bool isOld = !c.oldImage.empty() && got == c.oldImage;
            const bool isNew = !c.newImage.empty() && got == c.newImage;
            EXPECT_TRUE(exactNew ? isNew : isOld || isNew) << what << ": " << name << " is mangled";
        }
        for (const auto& [name, images] : found)
            EXPECT_TRUE(expect.count(name)) << what << ": unexpected package " << name;
        // No temporary copy is left behind.
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* ent = readdir(d))
                EXPECT_EQ(std::string(ent->d_name).find(".TMP"), std::string::npos)
                    << what << ": " << ent->d_name;
            closedir(d);
        }
        // Opened for writing and closed, the file stays sound.
        PackageFile* f = nullptr;
        ASSERT_EQ(openPackageFile(path, FilePerm::readWrite, {}, &f), noErr) << what;
        ASSERT_EQ(closePackageFileRecords(f, RecordClose::complete), noErr) << what;
        disposePackageFile(f);
        verifyClean(path, what + ", after a writable open");
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

TEST_F(FaultSafety, TheSessionItselfSucceeds) {
    const long calls = countCalls(FileCall::any);
    EXPECT_GT(calls, 40);
    checkFile("no fault", true);
    const VerifyReport r = verifyClean(path);
    EXPECT_EQ(r.packages, std::uint64_t(kBase - kDeleted.size() + kAdded));
    EXPECT_EQ(r.freeBlocks + r.unlistedFreeBlocks, 0u); // compacted at close
}

// Every call failing with an I/O error or a full disk (and a call past the last, which never
// comes), and every write writing half; each left as the failure left it, and retried.
TEST_F(FaultSafety, EveryFailingCallAndShortWrite) {
    std::vector<std::pair<FileFault, std::string>> faults;
    for (long n = 1, calls = countCalls(FileCall::any); n <= calls + 1; ++n)
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
        OSErr err;
        const auto found = packagesIn(path, &err);
        ASSERT_EQ(err, noErr) << what;
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
