// The record file, byte for byte: creation, opening and its checks, records written and read,
// allocation from the free list, compaction, the class index, old files.
#include "model/RecordFile.h"
#include "model/RecordFileFormat.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

struct RecordFileTest : ScratchTest {
    std::unique_ptr<RecordFile> make() { return newRecordFile(path); }
    std::unique_ptr<RecordFile> reopen(FilePerm perm = FilePerm::readWrite) {
        std::unique_ptr<RecordFile> rf;
        EXPECT_EQ(RecordFile::open(path, perm, &rf), noErr);
        return rf;
    }
    std::uint32_t write(RecordFile& rf, Handle image) {
        std::uint32_t pos = 0;
        EXPECT_EQ(rf.writeRecord(kRecordPackage, image, &pos), noErr);
        return pos;
    }
    // Type, header length and data length of the record whose data is at pos, once the writes
    // of rf (if given) have reached the file.
    rf::RecordHeader headerAt(std::uint32_t pos, RecordFile* rf = nullptr) {
        if (rf) {
            EXPECT_EQ(rf->flushWrites(), noErr);
        }
        const auto b = readBytes(path);
        return rf::parseRecordHeader(b.data() + pos - 6);
    }
    VerifyReport verify() { return verifyClean(path); }
};

} // namespace

TEST_F(RecordFileTest, RecordsWrittenAndReadBack) {
    auto rf = make();
    UniqueHandle a = packageImage("  Alpha\tone  ", {5, 9, 5});
    UniqueHandle b = packageImage("Beta", {7});
    const auto aBytes = bytesOf(a.get());
    const std::uint32_t pa = write(*rf, a.get());
    const std::uint32_t pb = write(*rf, b.get());
    EXPECT_EQ(bytesOf(a.get()), aBytes); // the caller's image is left in host order

    UniqueHandle back;
    EXPECT_EQ(rf->readName(pa).str(), "Alpha");
    EXPECT_EQ(rf->readName(pb).str(), "Beta");
    EXPECT_EQ(rf->readName(pa + 1).str(), "?");
    EXPECT_EQ(rf->readName(3).str(), "?");
    EXPECT_NE(rf->readRecord(0xFFFFFF00u, &back), noErr);

    // A small record gets slack up to 8 bytes; only type 1 records can be deleted.
    UniqueHandle tiny(PtrToHand("abc", 3));
    std::uint32_t pt = 0;
    ASSERT_EQ(rf->writeRecord(7, tiny.get(), &pt), noErr);
    EXPECT_EQ(rf->deleteRecord(pt), paramErr); // writes the appended records first
    EXPECT_EQ(headerAt(pt).headerLength, 11);
    EXPECT_EQ(rf->writeRecord(kRecordClassIndex, tiny.get(), &pt), paramErr);
    ASSERT_EQ(rf->close(), noErr);
    verify();

    auto ro = reopen(FilePerm::readOnly);
    EXPECT_EQ(ro->writeRecord(kRecordPackage, a.get(), &pt), permErr);
    EXPECT_EQ(ro->deleteRecord(pa), permErr);
}

TEST_F(RecordFileTest, FreeListSplitMergeAndCompaction) {
    auto rf = make();
    const std::uint32_t p1 = write(*rf, sizedImage(100).get());
    const std::uint32_t p2 = write(*rf, sizedImage(100).get());
    const std::uint32_t p3 = write(*rf, sizedImage(20).get());
    const std::uint32_t p4 = write(*rf, sizedImage(20).get());
    write(*rf, sizedImage(30).get()); // keeps p4 from being the last record
    const std::uint32_t p6 = write(*rf, sizedImage(100).get());
    write(*rf, sizedImage(30).get());
    const std::uint64_t size = rf->fileSize();

    // 100 free bytes, 86 wanted: the record takes the front, and the 14 bytes behind it become a
    // free block of 8 (its header, then size 8 and link 0), named by the list head.
    ASSERT_EQ(rf->deleteRecord(p1), noErr);
    EXPECT_EQ(write(*rf, sizedImage(86).get()), p1);
    EXPECT_EQ(headerAt(p1, rf.get()).headerLength, 6);
    EXPECT_EQ(headerAt(p1).length, 86u);
    auto b = readBytes(path);
    EXPECT_EQ(std::vector<unsigned char>(b.begin() + p1 + 86, b.begin() + p1 + 100),
              (std::vector<unsigned char>{255, 6, 0, 0, 0, 8, 0, 0, 0, 8, 0, 0, 0, 0}));
    EXPECT_EQ(getBE32(b.data() + 18), p1 + 92);
    // 100 free bytes, 87 wanted: the 13 spare bytes become slack.
    ASSERT_EQ(rf->deleteRecord(p2), noErr);
    EXPECT_EQ(write(*rf, sizedImage(87).get()), p2);
    EXPECT_EQ(headerAt(p2, rf.get()).headerLength, 6 + 13);
    // Two neighbouring free blocks of 20 merge into one of 46 for a record of 40.
    ASSERT_EQ(rf->deleteRecord(p3), noErr);
    ASSERT_EQ(rf->deleteRecord(p4), noErr);
    EXPECT_EQ(write(*rf, sizedImage(40).get()), p3);
    EXPECT_EQ(headerAt(p3, rf.get()).headerLength, 6 + 6);
    // Records of 30 and 50 in one block of 100, one behind the other from its front; the 8
    // bytes left over stay free, first on the list, which goes on to the block behind p1.
    ASSERT_EQ(rf->deleteRecord(p6), noErr);
    EXPECT_EQ(write(*rf, sizedImage(30).get()), p6);
    EXPECT_EQ(write(*rf, sizedImage(50).get()), p6 + 36);
    EXPECT_EQ(headerAt(p6 + 36, rf.get()).length, 50u);
    b = readBytes(path);
    EXPECT_EQ(std::vector<unsigned char>(b.begin() + p6 + 86, b.begin() + p6 + 96),
              (std::vector<unsigned char>{255, 6, 0, 0, 0, 8, 0, 0, 0, 8}));
    EXPECT_EQ(getBE32(b.data() + p6 + 96), p1 + 92);
    EXPECT_EQ(getBE32(b.data() + 18), p6 + 92);
    VerifyReport open = verify();
    EXPECT_EQ(open.freeBlocks, 2u);
    EXPECT_EQ(open.unlistedFreeBlocks, 0u);
    EXPECT_EQ(rf->fileSize(), size);
    // Nothing fits: appended at the end.
    EXPECT_EQ(write(*rf, sizedImage(200).get()), size + 6);

    // Close compacts: no free blocks, no gaps, records in their order with minimal slack.
    ASSERT_EQ(rf->close(), noErr);
    VerifyReport r = verify();
    EXPECT_EQ(r.freeBlocks + r.unlistedFreeBlocks, 0u);
    EXPECT_EQ(r.slackBytes, 4u); // only the empty class index's
    EXPECT_EQ(r.packages, 8u);
    // Header, index header, the eight records, the class index (4 bytes and 4 of slack).
    EXPECT_EQ(r.fileSize, 64u + 22 + 92 + 93 + 46 + 36 + 36 + 56 + 36 + 206 + 14);
    auto ro = reopen(FilePerm::readOnly);
    std::vector<std::uint32_t> lengths;
    ro->scanRecords(kRecordPackage, [&](const RecordInfo& i, const unsigned char*) {
        lengths.push_back(i.length);
        return true;
    });
    EXPECT_EQ(lengths, (std::vector<std::uint32_t>{86, 87, 40, 30, 30, 50, 30, 200}));
}

// A Package of that many net items of about 200 bytes each: 1500 make it larger than the
// pending block (256 KiB), 6000 larger than the read buffer (1 MiB).
UniqueHandle largeImage(int nets = 1500) {
    PackageRecord big;
    setPackageField(big, kFieldPackageName, "BIG");
    ComponentSection s;
    s.classId = 5;
    addSection(big, 0, s);
    for (int n = 0; n < nets; ++n)
        pushNetItem(big, newNetItem("N" + std::to_string(n) + "\t" + std::string(200, '1')));
    UniqueHandle image;
    EXPECT_EQ(flattenPackage(big, &image), noErr);
    return image;
}

// A record larger than the pending block goes into the front of a free block at once (and the
// name of a Package larger than the read buffer is read like any other). Whichever
// of its file calls fails (or writes half), the file stays sound, as the failure left it and
// once closed; when the write is reported done, the record is there and the rest of the block
// (its length less the record's 280000 bytes and 6 of header) is a free block.
TEST_F(RecordFileTest, LargeRecordAtTheFrontOfAFreeBlock) {
    UniqueHandle large = largeImage(6000);
    const auto length = std::uint32_t(large.size());
    ASSERT_GT(length, 1u << 20);
    std::vector<unsigned char> restHeader = {255, 6, 0, 0, 0, 0, 0, 0, 0, 0};
    putBE32(restHeader.data() + 2, length - 280006);
    putBE32(restHeader.data() + 6, length - 280006);
    UniqueHandle record(NewHandleClear(280000));

    auto attempt = [&](const FileFault& fault, long* calls) {
        auto rf = make();
        const std::uint32_t big = write(*rf, large.get());
        write(*rf, sizedImage(20).get());
        EXPECT_EQ(rf->readName(big).str(), "BIG");
        EXPECT_EQ(rf->deleteRecord(big), noErr);
        EXPECT_EQ(rf->flushWrites(), noErr);
        std::uint32_t pos = 0;
        OSErr err;
        {
            ScopedFileFault armed(fault);
            err = rf->writeRecord(7, record.get(), &pos);
            *calls = FileCallCount(fault.call);
        }
        verify();
        if (err == noErr) {
            EXPECT_EQ(pos, big);
            const auto b = readBytes(path);
            EXPECT_EQ(rf::parseRecordHeader(b.data() + big - 6).length, 280000u);
            EXPECT_EQ(
                std::vector<unsigned char>(b.begin() + big + 280000, b.begin() + big + 280010),
                restHeader);
        }
        EXPECT_EQ(rf->close(), noErr);
        const VerifyReport r = verify();
        // The index header, the small Package, the new record if written, the class index.
        EXPECT_EQ(r.records, err == noErr ? 4u : 3u);
        EXPECT_EQ(r.freeBlocks + r.unlistedFreeBlocks, 0u);
    };
    long calls = 0, ignored;
    attempt(failingCall(FileCall::any, 0), &calls);
    EXPECT_GE(calls, 3); // off the list, the record and the rest, onto the list
    for (long n = 1; n <= calls && !HasFailure(); ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        attempt(failingCall(FileCall::any, n, dskFulErr), &ignored);
        attempt(failingCall(FileCall::any, n, dskFulErr, true), &ignored);
    }
}

TEST_F(RecordFileTest, ClassIndexAndLinks) {
    auto rf = make();
    write(*rf, packageImage("P1", {5, 9, 5}).get());
    write(*rf, packageImage("P2", {9}).get());
    write(*rf, packageImage("P3", {7, 5}).get());
    std::vector<int> progress;
    rf->setProgress({[&](int code) { progress.push_back(code); }, nullptr});
    ASSERT_EQ(rf->rebuildClassIndex(), noErr);
    EXPECT_FALSE(rf->indexOutOfDate());
    EXPECT_EQ(rf->indexEntryCount(), 3u);
    EXPECT_EQ(progress, (std::vector<int>{2, 2, 2, 2, 1})); // 4 records, small file: no 0
    ASSERT_EQ(rf->close(), noErr);
    verify(); // every link and the index (the golden file class-index holds them byte for byte)

    // More Class IDs than a small file's table first holds, half of them negative: the table
    // grows and the index stays sorted by signed Class ID (checked by the verifier).
    rf = reopen();
    for (int i = 0; i < 1200; ++i)
        write(
            *rf,
            packageImage("R" + std::to_string(i), {(i % 2 ? -1 : 1) * (100000 + i * 7919)}).get());
    ASSERT_EQ(rf->rebuildClassIndex(), noErr);
    EXPECT_EQ(rf->indexEntryCount(), 3u + 1200);
    ASSERT_EQ(rf->close(), noErr);
    EXPECT_TRUE(verify().indexCurrent);
}

// An import leaves every class link 0: the rebuild then relinks the file a block of records at a
// time from the last to the first, across blocks, around a package record larger than a block and
// past free blocks large and small, the links of deleted records taken by the next. The verifier
// checks every link and the index. A file this large reports 0 first.
TEST_F(RecordFileTest, RebuildWritingEveryLink) {
    auto rf = make();
    std::vector<std::uint32_t> doomed;
    for (int i = 0; i < 6000; ++i) {
        const std::uint32_t p =
            write(*rf, packageImage("P" + std::to_string(i), {i % 37 + 1, -(i % 11) - 1}).get());
        if (i % 700 == 3) doomed.push_back(p);
        if (i == 2000) doomed.push_back(write(*rf, sizedImage(300000).get()));
        if (i == 4000) write(*rf, largeImage().get()); // larger than a block
    }
    for (std::uint32_t p : doomed)
        ASSERT_EQ(rf->deleteRecord(p), noErr);
    std::vector<int> progress;
    rf->setProgress({[&](int code) { progress.push_back(code); }, nullptr});
    ASSERT_EQ(rf->rebuildClassIndex(), noErr);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 1);
    EXPECT_EQ(rf->indexEntryCount(), 37u + 11u);
    rf->setReadOnly();
    rf.reset();
    const VerifyReport r = verify();
    EXPECT_TRUE(r.indexCurrent);
    EXPECT_EQ(r.freeBlocks, doomed.size());
}

TEST_F(RecordFileTest, RepairsOnOpen) {
    auto rf = make();
    const std::uint32_t p1 = write(*rf, sizedImage(40).get());
    write(*rf, sizedImage(40).get());
    ASSERT_EQ(rf->deleteRecord(p1), noErr);
    rf.reset(); // abandoned: nothing more written

    // A free list head that names no free block: dropped read-only, rebuilt for writing. The
    // index, out of date since the abandoned session, is rebuilt by the same open: its record
    // (4 bytes and 4 of slack) takes the front of the free block of 40, and the list head then
    // names the 26 bytes behind it.
    auto b = readBytes(path);
    EXPECT_EQ(getBE32(b.data() + 18), p1);
    putBE32(b.data() + 18, p1 + 3);
    writeBytes(path, b);
    VerifyReport r;
    ASSERT_EQ(verifyRecordFile(path, &r), noErr);
    EXPECT_FALSE(r.ok());
    reopen(FilePerm::readOnly);
    rf = reopen();
    EXPECT_FALSE(rf->indexOutOfDate());
    b = readBytes(path);
    EXPECT_EQ(getBE32(b.data() + 18), p1 + 14);
    EXPECT_EQ(getBE32(b.data() + 70), p1);
    EXPECT_EQ(getBE32(b.data() + p1 + 14), 26u);
    ASSERT_EQ(rf->close(), noErr);
    verify();
}

// A file of version 0x0100, written to and compacted, keeps its layout and its leader record.
TEST_F(RecordFileTest, OldLayoutFile) {
    writeBytes(path, readBytes(std::string(OK_TEST_DATA_DIR) + "/recordfile/old-layout.qpk"));
    auto rf = reopen();
    write(*rf, packageImage("Second", {3}).get());
    ASSERT_EQ(rf->deleteRecord(34), noErr); // R1
    ASSERT_EQ(rf->close(), noErr);
    auto b = readBytes(path);
    EXPECT_EQ(b[5], 0x00);
    EXPECT_EQ(b[6], 254);
    VerifyReport r = verify();
    EXPECT_EQ(r.packages, 1u);
    EXPECT_TRUE(r.indexCurrent);
    EXPECT_TRUE(r.oldLayout);
    // The leader record, the index header record the writable open appended, then Second.
    EXPECT_EQ(reopen(FilePerm::readOnly)->readName(6u + 22 + 22 + 6).str(), "Second");

    // Without its leader record an old file cannot be opened.
    b = {'T', 'W', 'X', 'B', 0x01, 0x00, 1, 6, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0};
    writeBytes(path, b);
    std::unique_ptr<RecordFile> none;
    EXPECT_EQ(RecordFile::open(path, FilePerm::readOnly, &none), noLeaderErr);
}
