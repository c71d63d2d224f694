// The class index as opening finds it, in a golden file with its index header and class index
// changed: which index is current, which is rebuilt, and what compaction keeps.
#include "model/RecordFile.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

using Bytes = std::vector<unsigned char>;

// one-record.qpk (tests/data/recordfile, its hex source gives every byte), with the index header
// naming namedPos and namedCount (its data at 70 and 74), the class index record of indexType
// (at 139) holding storedCount (at 145) as its count. As stored, it names its class index at 145
// with 1 entry, and that record is a well-formed type 4 record of 1 entry.
Bytes withIndex(std::uint32_t namedPos, std::uint32_t namedCount,
                std::uint8_t indexType = kRecordClassIndex, std::uint32_t storedCount = 1) {
    Bytes b = readBytes(std::string(OK_TEST_DATA_DIR) + "/recordfile/one-record.qpk");
    putBE32(b.data() + 70, namedPos);
    putBE32(b.data() + 74, namedCount);
    b[139] = indexType;
    putBE32(b.data() + 145, storedCount);
    return b;
}

// The file with its current index.
Bytes current() {
    return withIndex(145, 1);
}

} // namespace

// Read-only, a file whose index is not current says so; opened for writing, its index is rebuilt
// there and then, and once closed the file is the one with a current index, byte for byte.
TEST(IndexOnOpen, RebuiltUnlessCurrent) {
    const struct {
        const char* name;
        std::uint32_t namedPos, namedCount;
        std::uint8_t indexType;
        std::uint32_t storedCount;
    } headers[] = {{"current", 145, 1, kRecordClassIndex, 1},
                   {"names nothing", 0, 0, kRecordClassIndex, 1},
                   {"names no entries", 145, 0, kRecordClassIndex, 1},
                   {"count differs", 145, 2, kRecordClassIndex, 1},
                   {"index longer than its count", 145, 2, kRecordClassIndex, 2},
                   {"out of date index", 145, 1, kRecordStaleIndex, 1},
                   {"malformed out of date index", 145, 2, kRecordStaleIndex, 2}};
    ScratchDir scratch;
    const std::string path = scratch.path + "/lib.qpk";
    for (const auto& row : headers) {
        SCOPED_TRACE(row.name);
        const Bytes file = withIndex(row.namedPos, row.namedCount, row.indexType, row.storedCount);
        const bool isCurrent = file == current();
        writeBytes(path, file);
        std::unique_ptr<RecordFile> rf;
        ASSERT_EQ(RecordFile::open(path, FilePerm::readOnly, &rf), noErr);
        EXPECT_EQ(rf->indexOutOfDate(), !isCurrent);
        EXPECT_EQ(rf->indexEntryCount(), isCurrent ? 1u : 0u);
        ASSERT_EQ(rf->close(), noErr);

        ASSERT_EQ(RecordFile::open(path, FilePerm::readWrite, &rf), noErr);
        EXPECT_FALSE(rf->indexOutOfDate());
        EXPECT_EQ(rf->indexEntryCount(), 1u);
        ASSERT_EQ(rf->close(), noErr);
        EXPECT_EQ(readBytes(path), current());
    }
}

// Whichever file call of that rebuild fails (or writes half), the file stays sound; the open
// succeeds unless the call that failed was one of its own reads, and a later open and close
// without faults leave the file with a current index, byte for byte.
TEST(IndexOnOpenFaults, ARebuildThatFailsLeavesASoundFile) {
    ScratchDir scratch;
    const std::string path = scratch.path + "/lib.qpk";
    auto attempt = [&](const FileFault& fault, long* calls) {
        writeBytes(path, withIndex(0, 0));
        std::unique_ptr<RecordFile> rf;
        OSErr err;
        {
            ScopedFileFault armed(fault);
            err = RecordFile::open(path, FilePerm::readWrite, &rf);
            *calls = FileCallCount(fault.call);
        }
        if (err) {
            EXPECT_EQ(fault.call, FileCall::any) << "only a failing read makes the open fail";
        } else {
            rf->setReadOnly();
            EXPECT_EQ(rf->close(), noErr);
        }
        verifyClean(path);
        ASSERT_EQ(RecordFile::open(path, FilePerm::readWrite, &rf), noErr);
        ASSERT_EQ(rf->close(), noErr);
        EXPECT_EQ(readBytes(path), current());
    };
    long calls = 0, ignored;
    attempt(failingCall(FileCall::any, 0), &calls);
    for (long n = 1; n <= calls && !::testing::Test::HasFailure(); ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        attempt(failingCall(FileCall::any, n, dskFulErr), &ignored);
        attempt(failingCall(FileCall::write, n, dskFulErr, true), &ignored);
    }
}

// Compaction copies back every record of a type below 251, class index records included. The
// file holds a stray type 3 record of 8 bytes behind the one above; once its only Package is
// deleted and the file closed:
//   0  the file header as it was
//  18  the leader written whole: no free block, 40 zero bytes, the mark 34 12
//  64  the index header (data at 70), naming the new class index at 106 with 0 entries
//  86  the type 3 record as it was (data at 92)
// 100  the new class index: type 4, 4 bytes (count 0) and 4 of slack, at 106
// 114  end
TEST(RecordFileCompaction, KeepsIndexRecords) {
    ScratchDir scratch;
    const std::string path = scratch.path + "/lib.qpk";
    Bytes b = current();
    b.insert(b.end(), {3, 6, 0, 0, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8});
    writeBytes(path, b);
    std::unique_ptr<RecordFile> rf;
    ASSERT_EQ(RecordFile::open(path, FilePerm::readWrite, &rf), noErr);
    EXPECT_FALSE(rf->indexOutOfDate());
    ASSERT_EQ(rf->deleteRecord(92), noErr);
    ASSERT_EQ(rf->close(), noErr);

    Bytes want(b.begin(), b.begin() + 18);
    want.resize(62);
    want.insert(want.end(), {0x34, 0x12, 2, 6, 0, 0, 0, 16, 0, 0, 0, 106, 0, 0, 0, 0});
    want.resize(86);
    want.insert(want.end(), {3, 6, 0, 0, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8});
    want.insert(want.end(), {4, 10, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(readBytes(path), want);
}
