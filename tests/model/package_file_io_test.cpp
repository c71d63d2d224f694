// Package files on disk: the package list read from the file, images on demand, save and close
// (forced, failed).
#include "model/PackageFileIO.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

struct PackageFileIO : ScratchTest {

    // A file holding the given Packages in that order, each with Class ID 4.
    void makeFile(std::initializer_list<const char*> names) {
        std::vector<UniqueHandle> images;
        for (const char* n : names)
            images.push_back(packageImage(n, {4}));
        ASSERT_EQ(writeRecordFile(path, images).size(), names.size());
    }
    PackageFile* open() {
        PackageFile* f = nullptr;
        EXPECT_EQ(openPackageFile(path, FilePerm::readWrite, {}, &f), noErr);
        return f;
    }
};

} // namespace

TEST_F(PackageFileIO, OpenReadsTheListInFileOrder) {
    makeFile({"P1", "", "A very long package name", "P3"});
    std::vector<int> progress;
    int steps = 0;
    PackageFile* f = nullptr;
    ASSERT_EQ(openPackageFile(path, FilePerm::readOnly,
                              {[&](int c) { progress.push_back(c); }, [&] { ++steps; }}, &f),
              noErr);
    EXPECT_EQ(displayNames(f),
              (std::vector<std::string>{"P1", "Unnamed Package", "A very long packa", "P3"}));
    EXPECT_EQ(f->packageCount, 4);
    EXPECT_EQ(steps, 6); // every record of the file, in one pass
    EXPECT_TRUE(progress.empty());

    // Images come from the file on demand and go again when purged.
    PackageEntry* e = f->packages;
    EXPECT_EQ(e->image, nullptr);
    OSErr err;
    Handle image = getImage(e, &err);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(withoutLinks(image), bytesOf(packageImage("P1", {4}).get()));
    EXPECT_EQ(getImage(e, &err), image);
    purgeEntry(e);
    EXPECT_EQ(e->image, nullptr);
    EXPECT_FALSE(isModified(f));
    disposePackageFile(f);
}

// What a save writes and leaves is the fault safety test's session; here, what it keeps in
// memory: a Package without a section is not written and stays as it was, a written one loses
// its image until it is asked for again.
TEST_F(PackageFileIO, SaveKeepsWhatItCannotWrite) {
    makeFile({"P1", "P2"});
    PackageFile* f = open();
    PackageEntry* p2 = f->packages->next;
    ASSERT_EQ(setImage(p2, packageImage("P2", {6}).release(), ImageState::modified, 0), noErr);
    // The stored P1 made invalid (no section) keeps its record.
    PackageEntry* p1 = f->packages;
    const std::uint32_t oldP1 = p1->recordId;
    ASSERT_EQ(setImage(p1, packageImage("P1", {}).release(), ImageState::modified, 0), noErr);
    PackageRecord empty;
    setPackageField(empty, kFieldPackageName, "Nothing");
    UniqueHandle invalid;
    ASSERT_EQ(flattenPackage(empty, &invalid), noErr);
    PackageEntry* bad = newEntry("Nothing", invalid.release(), 0, ImageState::modified);
    insertEntryAfter(f, p2, bad);

    ASSERT_EQ(savePackageFile(f), noErr);
    EXPECT_EQ(p2->image, nullptr);
    // The invalid ones are not written and both stay modified.
    EXPECT_EQ(bad->recordId, 0u);
    EXPECT_NE(bad->image, nullptr);
    EXPECT_EQ(p1->recordId, oldP1);
    EXPECT_EQ(bad->flags & p1->flags & kModified, kModified);
    EXPECT_TRUE(isModified(f));
    ASSERT_EQ(closePackageFileRecords(f, RecordClose::complete), noErr);
    disposePackageFile(f);
    EXPECT_EQ(verifyClean(path).packages, 2u);
}

// A forced close writes nothing, not even the compaction a save left to do. (Revert is the
// library operations' and the shell's.)
TEST_F(PackageFileIO, AForcedCloseWritesNothing) {
    makeFile({"P1", "P2"});
    PackageFile* f = open();
    setImage(f->packages, packageImage("Renamed", {4}).release(), ImageState::modified, 0);
    ASSERT_EQ(savePackageFile(f), noErr);
    const auto saved = readBytes(path);
    ASSERT_EQ(closePackageFileRecords(f, RecordClose::forced), noErr);
    EXPECT_EQ(readBytes(path), saved);
    disposePackageFile(f);
}

// A close whose compaction cannot be made (its copy fails to close; the folder lets no file be
// made) still closes: without compaction, saying why, the file sound with its free block and
// nothing beside it. A close that fails after that (a full disk for the index) rolls back and
// keeps the file open and usable, its record ids still leading to their Packages.
TEST_F(PackageFileIO, CloseWithoutCompactionAndFailedClose) {
    struct Case {
        FileFault fault;
        OSErr notCompacted, closed;
    };
    FileFault locked;
    locked.lockedFolder = dir;
    FileFault indexFull = failingCall(FileCall::write, 1, dskFulErr);
    indexFull.lockedFolder = dir;
    for (const Case& c : {Case{failingCall(FileCall::close, 1, dskFulErr), dskFulErr, noErr},
                          Case{locked, permErr, noErr}, Case{indexFull, permErr, dskFulErr}}) {
        makeFile({"P1", "P2", "P3"});
        PackageFile* f = open();
        PackageEntry* p1 = f->packages;
        removeEntry(f, p1);
        discardEntry(f, p1);
        ASSERT_EQ(savePackageFile(f), noErr);
        // The close has an index to write.
        ASSERT_EQ(f->recordFile->markIndexOutOfDate(), noErr);
        ASSERT_EQ(f->recordFile->commit(), noErr);
        OSErr notCompacted = noErr;
        {
            ScopedFileFault fault(c.fault);
            EXPECT_EQ(closePackageFileRecords(f, RecordClose::complete, &notCompacted), c.closed);
        }
        EXPECT_EQ(notCompacted, c.notCompacted);
        if (c.closed != noErr) {
            ASSERT_TRUE(f->recordFile->isOpen());
            for (PackageEntry* e = f->packages; e; e = e->next) {
                OSErr err;
                Handle image = getImage(e, &err);
                ASSERT_NE(image, nullptr);
                EXPECT_EQ(imageField(image, 1).str(), std::string(displayNameView(e)));
            }
            ASSERT_EQ(closePackageFileRecords(f, RecordClose::complete), noErr);
        }
        disposePackageFile(f);
        const VerifyReport r = verifyClean(path);
        if (c.closed)
            EXPECT_EQ(r.freeBlocks, 0u);
        else
            EXPECT_GE(r.freeBlocks, 1u);
        EXPECT_EQ(listFolder(dir), std::vector<std::string>{"lib.qpk"});
    }
}
