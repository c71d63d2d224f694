// qpk run as a program: outputs, messages and exit codes of list, show, check, stats and find,
// and import with export, to a file, to standard output and as git's textconv driver.
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

    // shellFirst: shell commands run before qpk, in the same shell (limits, signals).
    QpkRun qpk(const std::string& args, const std::string& shellFirst = "") {
        const std::string cmd =
            shellFirst + std::string(QPK_PATH) + " " + args + " >" + dir + "/out 2>" + dir + "/err";
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
    r = qpk("export " + path + " -");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, text);
}

// The output file cannot grow past 64 blocks: the failure names it, both for a text parsed in
// line and for one large enough to be parsed in pieces.
TEST_F(QpkTool, AFailedWriteNamesTheOutputFile) {
    const std::string once = libraryText(generatedLibrary(3, 1000));
    std::string large;
    while (large.size() < (9u << 20))
        large += once;
    for (const std::string* text : {&once, static_cast<const std::string*>(&large)}) {
        TempFile in(*text);
        const QpkRun r = qpk("import " + in.path + " " + path, "trap '' XFSZ; ulimit -f 64; ");
        EXPECT_EQ(r.status, 1) << text->size();
        EXPECT_EQ(r.err.rfind("qpk: " + path + ": ", 0), 0u) << text->size() << ": " << r.err;
    }
}

// A package file under git with the export as its textconv driver: git diff shows the changed
// lines of the package as text.
TEST_F(QpkTool, GitDiffShowsTheChangedPackageAsText) {
    if (std::system("git --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "git is not installed";
    const std::string repo = dir + "/repo";
    // Out of reach of the user's own git settings; the driver is the one the README gives.
    const std::string git = "cd " + repo + " && HOME=" + dir +
                            " GIT_CONFIG_NOSYSTEM=1 git -c user.name=t -c user.email=t@t ";
    ASSERT_EQ(std::system(("git init -q " + repo).c_str()), 0);
    ASSERT_EQ(std::system(
                  (git + "config diff.qpk.textconv 'f() { " + QPK_PATH + " export \"$1\" -; }; f'")
                      .c_str()),
              0);
    const std::string attributes = "*.qpk diff=qpk\n";
    writeBytes(repo + "/.gitattributes", {attributes.begin(), attributes.end()});
    auto commit = [&](const std::string& tag) {
        std::vector<UniqueHandle> images;
        images.push_back(packageImage("SOIC8", {5, 9}, tag));
        images.push_back(packageImage("QFP100", {7}));
        writeRecordFile(repo + "/lib.qpk", images);
        return std::system((git + "add -A && " + git + "commit -qm v" + tag).c_str());
    };
    ASSERT_EQ(commit("2"), 0);
    ASSERT_EQ(commit("3"), 0);
    ASSERT_EQ(std::system((git + "diff HEAD~1 HEAD -- lib.qpk >" + dir + "/diff").c_str()), 0);
    const std::string diff = readText(dir + "/diff");
    EXPECT_NE(diff.find(" SOIC8,U,DIP\r\n"
                        "-\t\\GND,2\r\n-\t5,1\t2,2\r\n-\t9,1\t2,2\r\n"
                        "+\t\\GND,3\r\n+\t5,1\t3,3\r\n+\t9,1\t3,3\r\n"
                        " QFP100,U,DIP\r\n"),
              std::string::npos)
        << diff;
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
