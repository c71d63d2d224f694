// qpk run as a program: outputs, messages and exit codes of list, show, check, stats and find,
// and import with export.
#include "model/RecordFileFormat.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"

#include <cctype>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace test_support;

namespace {

struct QpkRun {
    int status;
    std::string out, err;
};

struct QpkTool : ScratchTest {

    QpkRun qpk(const std::string& args) {
        const std::string cmd =
            std::string(QPK_PATH) + " " + args + " >" + dir + "/out 2>" + dir + "/err";
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, readText(dir + "/out"),
                readText(dir + "/err")};
    }

    // Three Packages: Class IDs 5 and 9 with pin changes and a net; an unnamed one; a long name.
    std::vector<std::uint32_t> makeLibrary() {
        std::vector<UniqueHandle> images;
        images.push_back(packageImage("SOIC8", {5, 9}, "2"));
        images.push_back(packageImage("", {5}));
        images.push_back(packageImage("QFP100_14X14_0.5MM", {7}));
        return writeRecordFile(path, images);
    }
};

using QpkInspect = QpkTool;

// Wrong argument counts: exit code 2 and the usage line.
class QpkUsage : public QpkTool, public ::testing::WithParamInterface<const char*> {};

TEST_P(QpkUsage, ExitsWithTwo) {
    const QpkRun r = qpk(GetParam());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("usage: qpk ", 0), 0u) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Arguments, QpkUsage,
                         ::testing::Values("list", "show x.qpk", "check a b", "stats", "import t",
                                           "export a b c", "find x.qpk", "find x.qpk T --mode up"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// A file that is not a package file: exit code 1 and the file named with the reason.
class QpkNotAPackageFile : public QpkTool, public ::testing::WithParamInterface<const char*> {};

TEST_P(QpkNotAPackageFile, IsRefused) {
    writeBytes(path, {'N', 'a', 'm', 'e', '\t', 'U', '\n'});
    const std::string extra = std::string(GetParam()) == "show" ? " X" : "";
    const QpkRun r = qpk(std::string(GetParam()) + " " + path + extra);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qpk: " + path + ": Bad file signature.\n");
}

INSTANTIATE_TEST_SUITE_P(Commands, QpkNotAPackageFile,
                         ::testing::Values("list", "check", "stats", "show"));

} // namespace

TEST_F(QpkInspect, MissingAndNewerFiles) {
    QpkRun r = qpk("list " + dir + "/missing.qpk");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qpk: " + dir + "/missing.qpk: File not found.\n");

    makeLibrary();
    auto b = readBytes(path);
    b[5] = 0x05;
    writeBytes(path, b);
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
    auto b = readBytes(path);
    putBE32(b.data() + at[0] + 8, 12345);
    putBE32(b.data() + 18, at[1] + 2);
    writeBytes(path, b);
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

// A generated library through the tool: import, then export, gives the text back.
TEST_F(QpkTool, ImportThenExportGivesTheTextBack) {
    const std::string text = libraryText(generatedLibrary(7, 60));
    TempFile in(text);
    const std::string out = dir + "/back.txt";
    QpkRun r = qpk("import " + in.path + " " + path);
    ASSERT_EQ(r.status, 0) << r.err;
    r = qpk("export " + path + " " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readText(out), text);
    EXPECT_EQ(verifyClean(path).packages, 60u);
}

TEST_F(QpkInspect, FindPrintsPositionsNamesAndClassIds) {
    const auto at = makeLibrary();
    const struct {
        const char* args;
        int status;
        const char* out;
    } rows[] = {
        {"soic", 0, "1\tSOIC8\n"},
        {"u --mode begins", 0, "2\tUnnamed Package\n"},
        {"0.5M --mode ends", 0, "3\tQFP100_14X14_0.5M\n"},
        {"0.5MM --mode ends", 1, ""}, // the display name holds 17 characters
        {"5 --class --mode matches", 0, "1\tSOIC8\t5\n2\tUnnamed Package\t5\n"},
        {"--class 9", 0, "1\tSOIC8\t9\n"}, // the second section's
        {"-5 --class", 1, ""},             // a text, not an option
    };
    for (const auto& row : rows) {
        const QpkRun r = qpk("find " + path + " " + row.args);
        EXPECT_EQ(r.status, row.status) << row.args << r.err;
        EXPECT_EQ(r.out, row.out) << row.args;
    }
    EXPECT_NE(qpk("help").err.find("qpk find FILE TEXT [--class]"), std::string::npos);

    QpkRun r = qpk("find " + dir + "/missing.qpk x");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "qpk: " + dir + "/missing.qpk: File not found.\n");
    // The second package claims 255 sections, more than its record holds: it is named and the
    // search goes on past it.
    auto b = readBytes(path);
    putBE16(b.data() + at[1], 255);
    writeBytes(path, b);
    r = qpk("find " + path + " 5 --class");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "1\tSOIC8\t5\n");
    EXPECT_EQ(r.err, "qpk: " + path + ": package 2: Illegal parameter.\n");
}
