// The class index as opening finds it, in files built byte by byte: which index is current, which
// is rebuilt, and what compaction keeps.
#include "model/RecordFile.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"
#include "tests/support/Tables.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

void append(std::vector<unsigned char>& b, std::initializer_list<unsigned char> bytes) {
    b.insert(b.end(), bytes);
}
void append32(std::vector<unsigned char>& b, std::uint32_t v) {
    append(b,
           {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
}

// A package file, byte by byte:
//   0  file header: "TWXB", version 1.2, "QPKG", leader 46, reserved 0
//  18  leader: 46 zero bytes (no free block)
//  64  index header record (type 2, 16 bytes at 70): named position and count, 8 reserved
//  86  Package "A" (type 1, 25 bytes at 92): 1 section, 0 nets, 1 class, text length 1;
//      class entry at 100: link 0, section 9 bytes on, back offset -8; "A"; section at 109:
//      Class ID 5, no pin number changes
// 117  class index record (type indexType, 12 bytes at 123): storedCount, then the entry
//      (class entry at 100, Class ID 5)
// 135  end
std::vector<unsigned char> handMade(std::uint32_t namedPos, std::uint32_t namedCount,
                                    std::uint8_t indexType = kRecordClassIndex,
                                    std::uint32_t storedCount = 1) {
    std::vector<unsigned char> b = {'T', 'W', 'X', 'B', 1,  2, 'Q', 'P', 'K',
                                    'G', 0,   0,   0,   46, 0, 0,   0,   0};
    b.resize(64);
    append(b, {2, 6, 0, 0, 0, 16});
    append32(b, namedPos);
    append32(b, namedCount);
    b.resize(86);
    append(b, {1, 6, 0, 0, 0, 25});
    append(b, {0, 1, 0, 0, 0, 1, 0, 1});
    append(b, {0, 0, 0, 0, 0, 9, 0xFF, 0xF8});
    append(b, {'A'});
    append(b, {0, 0, 0, 5, 0, 0, 0, 0});
    append(b, {indexType, 6, 0, 0, 0, 12});
    append32(b, storedCount);
    append(b, {0, 0, 0, 100, 0, 0, 0, 5});
    return b;
}

// The same file with a current index.
std::vector<unsigned char> handMadeCurrent() {
    return handMade(123, 1);
}

struct IndexRow {
    const char* name;
    std::uint32_t namedPos, namedCount;
    std::uint8_t indexType;
    std::uint32_t storedCount;
};

struct IndexOnOpen : ScratchTest, ::testing::WithParamInterface<IndexRow> {};

} // namespace

// Read-only, a file whose index is not current says so; opened for writing, its index is rebuilt
// there and then, and once closed the file is the one with a current index, byte for byte.
TEST_P(IndexOnOpen, RebuiltUnlessCurrent) {
    const IndexRow& row = GetParam();
    const auto current = handMadeCurrent();
    const bool isCurrent =
        handMade(row.namedPos, row.namedCount, row.indexType, row.storedCount) == current;
    writeBytes(path, handMade(row.namedPos, row.namedCount, row.indexType, row.storedCount));
    std::unique_ptr<RecordFile> rf;
    ASSERT_EQ(RecordFile::open(path, FilePerm::readOnly, &rf), noErr);
    EXPECT_EQ(rf->indexOutOfDate(), !isCurrent);
    EXPECT_EQ(rf->indexEntryCount(), isCurrent ? 1u : 0u);
    ASSERT_EQ(rf->close(), noErr);

    ASSERT_EQ(RecordFile::open(path, FilePerm::readWrite, &rf), noErr);
    EXPECT_FALSE(rf->indexOutOfDate());
    EXPECT_EQ(rf->indexEntryCount(), 1u);
    ASSERT_EQ(rf->close(), noErr);
    EXPECT_EQ(readBytes(path), current);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, IndexOnOpen,
    ::testing::Values(IndexRow{"current", 123, 1, kRecordClassIndex, 1},
                      IndexRow{"names_nothing", 0, 0, kRecordClassIndex, 1},
                      IndexRow{"names_no_entries", 123, 0, kRecordClassIndex, 1},
                      IndexRow{"count_differs", 123, 2, kRecordClassIndex, 1},
                      IndexRow{"index_longer_than_its_count", 123, 2, kRecordClassIndex, 2},
                      IndexRow{"out_of_date_index", 123, 1, kRecordStaleIndex, 1},
                      IndexRow{"malformed_out_of_date_index", 123, 2, kRecordStaleIndex, 2}),
    RowName());

// Whichever file call of that rebuild fails (or writes half), the file stays sound; the open
// succeeds unless the call that failed was one of its own reads, and a later open and close
// without faults leave the file with a current index, byte for byte.
TEST(IndexOnOpenFaults, ARebuildThatFailsLeavesASoundFile) {
    ScratchDir scratch;
    const std::string path = scratch.path + "/lib.qpk";
    auto attempt = [&](const FileFault& fault, long* calls) {
        writeBytes(path, handMade(0, 0));
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
        EXPECT_EQ(readBytes(path), handMadeCurrent());
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
    auto b = handMadeCurrent();
    append(b, {3, 6, 0, 0, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8});
    writeBytes(path, b);
    std::unique_ptr<RecordFile> rf;
    ASSERT_EQ(RecordFile::open(path, FilePerm::readWrite, &rf), noErr);
    EXPECT_FALSE(rf->indexOutOfDate());
    ASSERT_EQ(rf->deleteRecord(92), noErr);
    ASSERT_EQ(rf->close(), noErr);

    std::vector<unsigned char> want(b.begin(), b.begin() + 18);
    want.resize(62);
    append(want, {0x34, 0x12});
    append(want, {2, 6, 0, 0, 0, 16, 0, 0, 0, 106, 0, 0, 0, 0});
    want.resize(86);
    append(want, {3, 6, 0, 0, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8});
    append(want, {4, 10, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(readBytes(path), want);
}
