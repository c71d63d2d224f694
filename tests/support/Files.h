// Files the tests make and read: scratch folders and files removed when the test ends, whole
// files as bytes, and file faults armed for one scope.
#pragma once
#include "toolbox/core/Files.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace test_support {

// A fresh folder for one test, removed with everything in it when the test ends.
struct ScratchDir {
    std::string path;
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
};

// XDG_STATE_HOME set to a fresh folder for the scope (journals that cannot be made beside
// their file go there), and set back at its end.
struct ScratchStateFolder {
    ScratchDir folder;
    std::string previous;
    bool had = false;
    ScratchStateFolder();
    ~ScratchStateFolder();
};

// A test with its own scratch folder, and the path of a package file in it (not yet made), and
// its own state folder.
struct ScratchTest : ::testing::Test {
    ScratchStateFolder state;
    ScratchDir scratch;
    std::string dir = scratch.path;
    std::string path = dir + "/lib.qpk";
};

// A file holding the given bytes, removed at the end of the scope.
struct TempFile {
    std::string path;
    explicit TempFile(const std::string& contents = "");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    std::string read() const;
};

std::vector<unsigned char> readBytes(const std::string& path);  // empty when it cannot be read
std::vector<std::string> listFolder(const std::string& folder); // the names in it, sorted
std::string readText(const std::string& path);
void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes);
// The bytes of a commented hex source (the golden files of tests/data): "#" starts a comment,
// "text" stands for its characters, XX for one byte and XX*N for N bytes of XX.
std::vector<unsigned char> hexBytes(const std::string& path);

// A file fault armed from construction to the end of the scope, so that a failed assertion
// never leaves it armed for the next test.
struct ScopedFileFault {
    explicit ScopedFileFault(const FileFault& fault) { ArmFileFault(fault); }
    ~ScopedFileFault() { DisarmFileFaults(); }
    ScopedFileFault(const ScopedFileFault&) = delete;
    ScopedFileFault& operator=(const ScopedFileFault&) = delete;
};

// The nth call of that kind fails with code (for a write with shortWrite: writes half).
FileFault failingCall(FileCall call, long nth, OSErr code = FileFault::ioErrFail,
                      bool shortWrite = false);

// How many file calls of that kind run makes.
template <class Run> long countFileCalls(FileCall call, Run&& run) {
    ScopedFileFault counting(failingCall(call, 0));
    run();
    return FileCallCount(call);
}

} // namespace test_support
