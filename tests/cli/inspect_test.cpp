// qpk list, show, check and stats, run as a program: outputs, messages and exit codes.
#include "model/RecordFile.h"
#include "model/RecordFileFormat.h"
#include "tests/model/StorageTestUtil.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace storage_test;

namespace {

struct QpkRun {
    int status;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    const auto b = readFile(path);
    return std::string(b.begin(), b.end());
}

struct QpkInspect : ::testing::Test {
    ScratchDir scratch;
    std::string dir = scratch.path;
    std::string path = dir + "/lib.qpk";

    QpkRun qpk(const std::string& args) {
        const std::string cmd =
            std::string(QPK_PATH) + " " + args + " >" + dir + "/out 2>" + dir + "/err";
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(dir + "/out"), slurp(dir + "/err")};
    }

    // Three Packages: Class IDs 5 and 9 with pin changes and a net; an unnamed one; a long name.
    std::vector<std::uint32_t> makeLibrary() {
        std::unique_ptr<RecordFile> rf;
        EXPECT_EQ(RecordFile::create(path, "RHWQ", "QPK", "QPKG", 0), noErr);
        EXPECT_EQ(RecordFile::open(path, false, &rf), noErr);
        std::vector<std::uint32_t> at(3);
        rf->writeRecord(kRecordPackage, packageImage("SOIC8", {5, 9}, "2").get(), &at[0]);
        rf->writeRecord(kRecordPackage, packageImage("", {5}).get(), &at[1]);
        rf->writeRecord(kRecordPackage, packageImage("QFP100_14X14_0.5MM", {7}).get(), &at[2]);
        EXPECT_EQ(rf->close(), noErr);
        return at;
    }
};

} // namespace

TEST_F(QpkInspect, UsageAndUnreadableFiles) {
    for (const char* args : {"list", "show x.qpk", "check a b", "stats"}) {
        const QpkRun r = qpk(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("usage: qpk ", 0), 0u) << args;
    }
    QpkRun r = qpk("list " + dir + "/missing.qpk");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qpk: " + dir + "/missing.qpk: File not found.\n");

    writeFile(path, {'N', 'a', 'm', 'e', '\t', 'U', '\n'});
    for (const char* cmd : {"list ", "check ", "stats ", "show "}) {
        r = qpk(cmd + path + (cmd[1] == 'h' && cmd[2] == 'o' ? " X" : ""));
        EXPECT_EQ(r.status, 1) << cmd;
        EXPECT_EQ(r.err, "qpk: " + path + ": Bad file signature.\n") << cmd;
    }
    makeLibrary();
    auto b = readFile(path);
    b[5] = 0x05;
    writeFile(path, b);
    r = qpk("check " + path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "qpk: " + path + ": File was created using a newer version of the software.\n");
}

TEST_F(QpkInspect, ListAndShow) {
    makeLibrary();
    QpkRun r = qpk("list " + path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "SOIC8\nUnnamed Package\nQFP100_14X14_0.5M\n");

    r = qpk("show " + path + " SOIC8");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Package Name: SOIC8\n"
                     "Designator Prefix: U\n"
                     "Shape: DIP\n"
                     "Shape Parameters: \n"
                     "Component Sections: 2\n"
                     "  1: Class ID 5, 1 pin number change: 2 -> 2\n"
                     "  2: Class ID 9, 1 pin number change: 2 -> 2\n"
                     "Hidden Connections: 1\n"
                     "  1: GND: 2\n");
    // The whole name decides, not the display name cut to 17 characters.
    EXPECT_EQ(qpk("show " + path + " QFP100_14X14_0.5MM").status, 0);
    r = qpk("show " + path + " QFP100_14X14_0.5M");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qpk: " + path + ": no package named \"QFP100_14X14_0.5M\"\n");
}

TEST_F(QpkInspect, CheckAndStats) {
    const auto at = makeLibrary();
    QpkRun r = qpk("check " + path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    r = qpk("stats " + path);
    EXPECT_EQ(r.status, 0);
    for (const char* line : {"packages: 3\n", "component sections: 4\n", "hidden connections: 3\n",
                             "free blocks: 0 (0 bytes)\n", "class index: current, 3 entries\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;

    // A wrong class link and a free list head that names no free block: one line each.
    auto b = readFile(path);
    putBE32(b.data() + at[0] + 8, 12345);
    putBE32(b.data() + 18, at[1] + 2);
    writeFile(path, b);
    r = qpk("check " + path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, path + ": free list names " + std::to_string(at[1] + 2) +
                         ", which is not the position of a record\n" + path + ": package at " +
                         std::to_string(at[0]) +
                         ": class link for Class ID 5 is 12345, should be " +
                         std::to_string(at[1] + 8) + "\n");
    r = qpk("stats " + path);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("faults: 2 (qpk check lists them)\n"), std::string::npos);
}
