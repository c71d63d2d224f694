#include "tests/support/Files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace fs = std::filesystem;
using namespace test_support;

namespace {

struct Files : ScratchTest {
    FSSpec fileSpec(const std::string& name) { return FSSpec::fromPath(dir + "/" + name); }
    // Creates the file and opens it for reading and writing.
    FileRef openNew(const std::string& name) {
        FileRef ref = 0;
        EXPECT_EQ(FSpCreate(fileSpec(name), "RHWQ", "QPK"), noErr);
        EXPECT_EQ(FSpOpen(fileSpec(name), FilePerm::readWrite, &ref), noErr);
        return ref;
    }
    void TearDown() override { DisarmFileFaults(); }
};

} // namespace

TEST_F(Files, ErrorsShortReadsAndPositions) {
    FileRef ref = 0;
    EXPECT_EQ(FSpOpen(fileSpec("missing"), FilePerm::readOnly, &ref), fnfErr);
    EXPECT_EQ(FSpOpen(FSSpec::fromPath(dir + "/no/such"), FilePerm::readOnly, &ref), fnfErr);
    EXPECT_EQ(FSpDelete(fileSpec("missing")), fnfErr);
    EXPECT_EQ(fileSpec("a.qpk").name, "a.qpk");

    ref = openNew("a.qpk");
    ASSERT_GT(ref, 0);
    long n = 10;
    ASSERT_EQ(FSWrite(ref, &n, "0123456789"), noErr);
    EXPECT_EQ(n, 10);
    ASSERT_EQ(SetFPos(ref, FilePosMode::fromStart, 4), noErr);
    char buf[16] = {};
    n = 16;
    EXPECT_EQ(FSRead(ref, &n, buf), eofErr); // short read: the bytes that were there
    EXPECT_EQ(n, 6);
    EXPECT_EQ(std::string(buf, 6), "456789");

    // SetEOF leaves the position alone; positions before the start are refused.
    ASSERT_EQ(SetFPos(ref, FilePosMode::fromMark, -3), noErr);
    ASSERT_EQ(SetEOF(ref, 2), noErr);
    long pos = 0, eof = 0;
    ASSERT_EQ(GetFPos(ref, &pos), noErr);
    ASSERT_EQ(GetEOF(ref, &eof), noErr);
    EXPECT_EQ(pos, 7);
    EXPECT_EQ(eof, 2);
    EXPECT_EQ(SetFPos(ref, FilePosMode::fromStart, -1), posErr);
    ASSERT_EQ(SetFPos(ref, FilePosMode::fromEnd, -1), noErr);
    n = 4;
    EXPECT_EQ(FSRead(ref, &n, buf), eofErr);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(FSClose(ref, true), noErr);
    EXPECT_EQ(FSClose(ref), rfNumErr);

    // Creating an existing file keeps its content.
    EXPECT_EQ(FSpCreate(fileSpec("a.qpk"), "RHWQ", "QPK"), noErr);
    EXPECT_EQ(fs::file_size(dir + "/a.qpk"), 2u);
    EXPECT_TRUE(FSpSameFile(fileSpec("a.qpk"), FSSpec::fromPath(dir + "/./a.qpk")));
    EXPECT_FALSE(FSpSameFile(fileSpec("a.qpk"), fileSpec("b.qpk")));
    EXPECT_TRUE(FSpSameFile(fileSpec("b.qpk"), fileSpec("b.qpk")));
    EXPECT_EQ(FSpDelete(fileSpec("a.qpk")), noErr);
    EXPECT_FALSE(fs::exists(dir + "/a.qpk"));
}

TEST_F(Files, FaultInjectionFiresOnTheChosenCall) {
    FileRef ref = openNew("f.bin");
    ArmFileFault(failingCall(FileCall::write, 2, dskFulErr));
    long n = 4;
    EXPECT_EQ(FSWrite(ref, &n, "aaaa"), noErr);
    EXPECT_FALSE(FileFaultFired());
    n = 4;
    EXPECT_EQ(FSWrite(ref, &n, "bbbb"), dskFulErr);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(FileFaultFired());
    n = 4;
    EXPECT_EQ(FSWrite(ref, &n, "cccc"), noErr); // fires once
    EXPECT_EQ(FileCallCount(FileCall::write), 3);
    long eof = 0;
    GetEOF(ref, &eof);
    EXPECT_EQ(eof, 8);

    // A short write puts half the bytes down and reports a full disk.
    ArmFileFault(failingCall(FileCall::write, 1, 0, true));
    n = 5;
    EXPECT_EQ(FSWrite(ref, &n, "ddddd"), dskFulErr);
    EXPECT_EQ(n, 2);
    GetEOF(ref, &eof);
    EXPECT_EQ(eof, 10);

    // "any" counts every kind of call from the arm; other kinds fail with the code.
    ArmFileFault(failingCall(FileCall::any, 3));
    EXPECT_EQ(SetFPos(ref, FilePosMode::fromStart, 0), noErr);
    char buf[4];
    n = 4;
    EXPECT_EQ(FSRead(ref, &n, buf), noErr);
    EXPECT_EQ(SetEOF(ref, 0), FileFault::ioErrFail);
    EXPECT_EQ(FileCallCount(FileCall::any), 3);
    EXPECT_EQ(FileCallCount(FileCall::truncate), 1);
    GetEOF(ref, &eof);
    EXPECT_EQ(eof, 10);

    // A failing close still releases the file.
    ArmFileFault(failingCall(FileCall::close, 1, fBsyErr));
    EXPECT_EQ(FSClose(ref), fBsyErr);
    EXPECT_EQ(FSClose(ref), rfNumErr);
    ArmFileFault(failingCall(FileCall::open, 1, permErr));
    EXPECT_EQ(FSpOpen(fileSpec("f.bin"), FilePerm::readOnly, &ref), permErr);
    EXPECT_EQ(ref, 0);
}
