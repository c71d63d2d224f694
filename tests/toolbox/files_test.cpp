#include "toolbox/core/Files.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

FileFault fault(FileCall call, long nth, OSErr code, bool shortWrite) {
    FileFault f;
    f.call = call;
    f.nth = nth;
    f.code = code;
    f.shortWrite = shortWrite;
    return f;
}

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("ok_files_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        DisarmFileFaults();
    }
    void TearDown() override {
        DisarmFileFaults();
        fs::remove_all(dir_);
    }
    FSSpec fileSpec(const std::string& name) { return FSSpec::fromPath((dir_ / name).string()); }
    // Creates the file and opens it for reading and writing.
    FileRef openNew(const std::string& name) {
        FileRef ref = 0;
        EXPECT_EQ(FSpCreate(fileSpec(name), "RHWQ", "QPK"), noErr);
        EXPECT_EQ(FSpOpen(fileSpec(name), FilePerm::readWrite, &ref), noErr);
        return ref;
    }
    fs::path dir_;
};

} // namespace

TEST_F(Files, ErrorsShortReadsAndPositions) {
    FileRef ref = 0;
    EXPECT_EQ(FSpOpen(fileSpec("missing"), FilePerm::readOnly, &ref), fnfErr);
    EXPECT_EQ(FSpOpen(FSSpec::fromPath((dir_ / "no/such").string()), FilePerm::readOnly, &ref),
              fnfErr);
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
    EXPECT_EQ(fs::file_size(dir_ / "a.qpk"), 2u);
    EXPECT_TRUE(FSpSameFile(fileSpec("a.qpk"), FSSpec::fromPath((dir_ / "." / "a.qpk").string())));
    EXPECT_FALSE(FSpSameFile(fileSpec("a.qpk"), fileSpec("b.qpk")));
    EXPECT_TRUE(FSpSameFile(fileSpec("b.qpk"), fileSpec("b.qpk")));
    EXPECT_EQ(FSpDelete(fileSpec("a.qpk")), noErr);
    EXPECT_FALSE(fs::exists(dir_ / "a.qpk"));
}

TEST_F(Files, TempFileNames) {
    const std::regex form("PKG[89A-F][0-9A-F]{4}\\.TMP");
    FSSpec near = MakeTempFileSpec("PKGFILE", fileSpec("x.qpk").path);
    EXPECT_TRUE(std::regex_match(near.name, form)) << near.name;
    EXPECT_EQ(fs::path(near.path).parent_path(), dir_);
    FSSpec tmp = MakeTempFileSpec("ab");
    EXPECT_TRUE(std::regex_match(tmp.name, std::regex("ab[89A-F][0-9A-F]{4}\\.TMP"))) << tmp.name;
    // A name that exists is never handed out again.
    ASSERT_EQ(FSpCreate(near, "", ""), noErr);
    for (int i = 0; i < 3; ++i) {
        FSSpec next = MakeTempFileSpec("PKGFILE", fileSpec("x.qpk").path);
        EXPECT_NE(next.name, near.name);
        ASSERT_EQ(FSpCreate(next, "", ""), noErr);
        near = next;
    }
}

TEST_F(Files, FaultInjectionFiresOnTheChosenCall) {
    FileRef ref = openNew("f.bin");
    ArmFileFault(fault(FileCall::write, 2, dskFulErr, false));
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
    ArmFileFault(fault(FileCall::write, 1, 0, true));
    n = 5;
    EXPECT_EQ(FSWrite(ref, &n, "ddddd"), dskFulErr);
    EXPECT_EQ(n, 2);
    GetEOF(ref, &eof);
    EXPECT_EQ(eof, 10);

    // "any" counts every kind of call from the arm; other kinds fail with the code.
    ArmFileFault(fault(FileCall::any, 3, FileFault::ioErrFail, false));
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
    ArmFileFault(fault(FileCall::close, 1, fBsyErr, false));
    EXPECT_EQ(FSClose(ref), fBsyErr);
    EXPECT_EQ(FSClose(ref), rfNumErr);
    ArmFileFault(fault(FileCall::open, 1, permErr, false));
    EXPECT_EQ(FSpOpen(fileSpec("f.bin"), FilePerm::readOnly, &ref), permErr);
    EXPECT_EQ(ref, 0);
}
