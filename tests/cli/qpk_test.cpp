// qpk run as a program: outputs, messages and exit codes of show, check, stats and find, and
// import with export, to a file and through a pipe; the journal and the lock between processes;
// the conventions every command keeps (help, usage errors, --), JSON, the manual page, the bash
// completion and qpk new. (The end-to-end scenarios read their files back with list, show and
// stats, and see recover refuse a file the program holds.)
#include "model/PackageFileIO.h"
#include "model/RecordFileFormat.h"
#include "tests/cli/QpkRun.h"
#include "tests/support/Library.h"

#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace test_support;
using nlohmann::json;

namespace {

struct QpkTool : QpkTest {
    // Three Packages: Class IDs 5 and 9 with pin changes and a net; an unnamed one; a long name.
    std::vector<std::uint32_t> makeLibrary() {
        std::vector<UniqueHandle> images;
        images.push_back(packageImage("SOIC8", {5, 9}, "2"));
        images.push_back(packageImage("", {5}));
        images.push_back(packageImage("QFP100_14X14_0.5MM", {7}));
        return writeRecordFile(path, images);
    }
};

} // namespace

// Wrong arguments or options: exit code 2, nothing on stdout, "qpk: COMMAND: why" and the usage
// line on stderr.
TEST_F(QpkTool, UsageErrorsExitWithTwo) {
    for (const std::string args :
         {"list", "show x.qpk", "check a b", "stats", "import t", "export a b c", "find x.qpk",
          "find x.qpk T --mode up", "find x.qpk -T", "find x.qpk ''", "stats x.qpk --all", "new",
          "lint", "help nosuch", "version x"}) {
        const QpkRun r = run(args, 2);
        const std::string command = args.substr(0, args.find(' '));
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err.rfind("qpk: " + command + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\nusage: qpk " + command), std::string::npos) << r.err;
    }
}

// The whole name decides which package is shown, not the display name cut to 17 characters; a
// file that is not a package file is refused by every reader with the file named.
TEST_F(QpkTool, ShowCheckAndStats) {
    const auto at = makeLibrary();
    run("show " + path + " QFP100_14X14_0.5MM", 0);
    EXPECT_EQ(run("show " + path + " QFP100_14X14_0.5M", 1).err,
              "qpk: " + path + ": no package named \"QFP100_14X14_0.5M\"\n");
    const std::string text = dir + "/text.qpk";
    writeBytes(text, {'N', 'a', 'm', 'e', '\t', 'U', '\n'});
    for (const std::string command : {"list", "check", "stats", "show"})
        EXPECT_EQ(run(command + " " + text + (command == "show" ? " X" : ""), 1).err,
                  "qpk: " + text + ": Bad file signature.\n");

    EXPECT_EQ(run("check " + path, 0).out, "");
    QpkRun r = run("stats " + path, 0);
    EXPECT_NE(r.out.find("packages: 3\ncomponent sections: 4\nhidden connections: 3\n"),
              std::string::npos)
        << r.out;

    // A wrong class link and a free list head that names no free block: one line each.
    auto b = readBytes(path);
    putBE32(b.data() + at[0] + 8, 12345);
    putBE32(b.data() + 18, at[1] + 2);
    writeBytes(path, b);
    EXPECT_EQ(run("check " + path, 1).out, path + ": free list names " + std::to_string(at[1] + 2) +
                                               ", which is not the position of a record\n" + path +
                                               ": package at " + std::to_string(at[0]) +
                                               ": class link for Class ID 5 is 12345, should be " +
                                               std::to_string(at[1] + 8) + "\n");
    EXPECT_NE(run("stats " + path, 0).out.find("faults: 2 (qpk check lists them)\n"),
              std::string::npos);

    // An index header (its data at 70) that names a package record: the index is not current,
    // so the class links go unchecked.
    putBE32(b.data() + 70, at[1]);
    writeBytes(path, b);
    EXPECT_EQ(run("check " + path, 1).out, path + ": free list names " + std::to_string(at[1] + 2) +
                                               ", which is not the position of a record\n" + path +
                                               ": index header names " + std::to_string(at[1]) +
                                               ", which is not a class index record\n");
}

// A generated library through the tool: import, then export to a file and, as git's textconv
// driver has it, to a pipe, gives the text back. An output file that cannot grow past 64 blocks
// is named in the failure, both for a text parsed in line and for one parsed in pieces.
TEST_F(QpkTool, ImportThenExportAndAFailedWrite) {
    const std::string text = libraryText(generatedLibrary(7, 60));
    TempFile in(text);
    run("import " + in.path + " " + path, 0);
    run("export " + path + " " + dir + "/back.txt", 0);
    EXPECT_EQ(readText(dir + "/back.txt"), text);
    EXPECT_EQ(verifyClean(path).packages, 60u);
    EXPECT_EQ(run("export " + path + " - | cat", 0).out, text);

    const std::string once = libraryText(generatedLibrary(3, 1000));
    std::string large;
    while (large.size() < (9u << 20))
        large += once;
    for (const std::string* t : {&once, static_cast<const std::string*>(&large)}) {
        TempFile big(*t);
        const QpkRun r = qpk("import " + big.path + " " + path, "trap '' XFSZ; ulimit -f 64; ");
        EXPECT_EQ(r.status, 1) << t->size();
        EXPECT_EQ(r.err.rfind("qpk: " + path + ": ", 0), 0u) << t->size() << ": " << r.err;
    }
}

TEST_F(QpkTool, FindPrintsPositionsNamesAndClassIds) {
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
    for (const auto& row : rows)
        EXPECT_EQ(run("find " + path + " " + row.args, row.status).out, row.out) << row.args;

    EXPECT_EQ(run("find " + dir + "/missing.qpk x", 2).err,
              "qpk: " + dir + "/missing.qpk: File not found.\n");
    // The second package claims 255 sections, more than its record holds: it is named and the
    // search goes on past it.
    auto b = readBytes(path);
    putBE16(b.data() + at[1], 255);
    writeBytes(path, b);
    const QpkRun r = run("find " + path + " 5 --class", 2);
    EXPECT_EQ(r.out, "1\tSOIC8\t5\n");
    EXPECT_EQ(r.err, "qpk: " + path + ": package 2: Illegal parameter.\n");
}

// What a save that did not finish leaves: the file changed (its index header cleared, a record
// appended) and a hot journal (one-record.qpk-journal.hex gives its every byte). qpk check
// reports the journal and checks the file as the rollback leaves it, list reads it so, recover
// rolls it back to the byte; a journal cut short before the file changed is only noted, and
// recover removes it.
TEST_F(QpkTool, CheckAndRecoverAHotJournal) {
    const std::string golden = OK_TEST_DATA_DIR "/recordfile/one-record.qpk";
    const auto good = readBytes(golden);
    const std::string journal = path + "-journal";
    auto torn = good;
    std::fill(torn.begin() + 70, torn.begin() + 78, 0);
    const unsigned char appended[] = {1, 6, 0, 0, 0, 8, 'G', 'A', 'R', 'B', 'A', 'G', 'E', '!'};
    torn.insert(torn.end(), std::begin(appended), std::end(appended));
    writeBytes(path, torn);
    writeBytes(journal, hexBytes(golden + "-journal.hex"));
    EXPECT_EQ(run("check " + path, 1).out,
              path + ": hot journal " + journal +
                  ": the last save or close did not finish; checked as its rollback will "
                  "leave the file (qpk recover rolls it back)\n");
    EXPECT_EQ(qpk("list " + path).out, "R1\n");
    EXPECT_EQ(readBytes(path), torn); // reading changes nothing
    EXPECT_EQ(run("recover " + path, 0).out,
              path + ": rolled back " + journal + ": 1 region (8 bytes) put back, length 157\n");
    EXPECT_EQ(readBytes(path), good);
    EXPECT_EQ(listFolder(dir), (std::vector<std::string>{"err", "lib.qpk", "out"}));
    EXPECT_EQ(qpk("recover " + path).out, path + ": nothing to recover\n");

    writeBytes(journal, std::vector<unsigned char>(200, 0));
    EXPECT_EQ(run("check " + path, 0).out,
              path + ": journal " + journal +
                  " was cut short before the file changed; the next open for writing (or "
                  "qpk recover) removes it\n");
    EXPECT_EQ(qpk("recover " + path).out,
              path + ": removed " + journal + ", which was cut short before the file changed\n");
    EXPECT_EQ(readBytes(path), good);
}

// The editing commands against the header field rules (blanks trimmed, prefix and shape
// upper-cased, no comma, TAB or control character, no period in the prefix, 17/8/56 characters)
// and the validity rule (a name and a prefix): a refusal exits with 1, names the rule and
// leaves the file byte for byte; selectors by display name and by position. A changed package
// is saved as a new record after the others, as the editor's Save writes it, and is listed
// last.
TEST_F(QpkTool, EditingCommandsKeepTheEditorsRules) {
    const struct {
        std::string args;
        int status;
        std::string err, list = "", shown = ""; // the end of stderr's line, qpk list, qpk show
    } rows[] = {
        {"set @1 'prefix= u1 ' shape=dip14 p1=abc", 0, "",
         "Unnamed Package\nQFP100_14X14_0.5M\nSOIC8\n",
         "Designator Prefix: U1\nShape: DIP14\nShape Parameters: abc\n"},
        {"set SOIC8 'name=  ABCDEFGHIJKLMNOPQ  '", 0, "",
         "Unnamed Package\nQFP100_14X14_0.5M\nABCDEFGHIJKLMNOPQ\n"},
        {"set 'Unnamed Package' name=NEW", 0, "", "SOIC8\nQFP100_14X14_0.5M\nNEW\n"},
        {"set @1 name=ABCDEFGHIJKLMNOPQR", 1,
         "\"ABCDEFGHIJKLMNOPQR\" cannot be the Package Name: it is longer than 17 characters"},
        {"set @1 prefix=ABCDEFGHI", 1, "it is longer than 8 characters"},
        {"set @1 shape=SO,IC", 1, "\"SO,IC\" cannot be the Shape: it holds a comma"},
        {"set @1 prefix=R.1", 1, "it holds a period"},
        {"set @1 \"p3=$(printf 'A\\tB')\"", 1, "cannot be shape parameter 3: it holds a TAB"},
        {"set @1 \"p2=$(printf 'A\\001')\"", 1, "it holds a control character"},
        {"set @1 name=OK 'prefix=  '", 1,
         "package @1 \"OK\": A package must have a valid name and reference designator "
         "prefix."},
        {"set @4 name=X", 1, "no package at position 4"},
        {"set @1 colour=RED", 2, ""},
        {"rename QFP100_14X14_0.5M QFP", 0, "", "SOIC8\nUnnamed Package\nQFP\n"},
        {"delete @2 SOIC8", 0, "", "QFP100_14X14_0.5M\n"},
        {"delete SOIC8 NONE", 1, "no package named \"NONE\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        makeLibrary();
        const auto before = readBytes(path);
        const std::size_t space = row.args.find(' ');
        const QpkRun r =
            run(row.args.substr(0, space) + " " + path + row.args.substr(space), row.status);
        if (row.status == 0) {
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(qpk("list " + path).out, row.list);
            verifyClean(path);
        } else {
            EXPECT_EQ(readBytes(path), before);
            EXPECT_NE(r.err.find(row.err + "\n"), std::string::npos) << r.err;
        }
        EXPECT_NE(qpk("show " + path + " SOIC8").out.find(row.shown), std::string::npos);
    }
}

// copy appends to the end, in the order of the source, what Paste appends (that the copies are
// the source's images, byte for byte but for their class links, is the crash test's, whose
// session pastes). A package that cannot be saved is refused.
TEST_F(QpkTool, CopyAppendsInTheOrderOfTheSource) {
    makeLibrary();
    const std::string dest = dir + "/dest.qpk";
    run("new " + dest, 0);
    run("copy " + path + " " + dest + " SOIC8 --all", 2);
    EXPECT_EQ(run("copy " + path + " " + dest + " --all", 1).err,
              "qpk: " + dest +
                  ": package @2 \"Unnamed Package\": A package must have a "
                  "valid name and reference designator prefix.\n");
    run("copy " + path + " " + dest + " @3 SOIC8", 0);
    EXPECT_EQ(qpk("list " + dest).out, "SOIC8\nQFP100_14X14_0.5M\n");
    verifyClean(dest);
}

// One writer at a time, between real processes: while another process holds the file open for
// writing, an import over the file refuses and names it (that set and recover refuse too and
// list still reads is the end-to-end scenarios'); once that process is killed, its lock is
// gone.
TEST_F(QpkTool, TheLockOfAnotherProcess) {
    makeLibrary();
    int ready[2], hold[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(hold), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::unique_ptr<RecordFile> rf;
        const char ok = RecordFile::open(path, FilePerm::readWrite, &rf) == noErr ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(hold[0], &c, 1); // until the parent kills it
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    const std::string held = "qpk: " + path +
                             ": File is in use. It is open for writing in process " +
                             std::to_string(child) + " (";
    TempFile text("NEW,U,DIP\r\t1,0\r");
    const QpkRun r = run("import " + text.path + " " + path, 1);
    EXPECT_EQ(r.err.rfind(held, 0), 0u) << r.err;

    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    run("import " + text.path + " " + path, 0);
    EXPECT_EQ(qpk("list " + path).out, "NEW\n");
}

// Help on stdout with exit code 0, the same by every way of asking; qpk alone prints it on
// stderr as a usage error. (That -- makes "--help" and "-5" arguments is the JSON test's.)
TEST_F(QpkTool, HelpVersionAndTheEndOfOptions) {
    const QpkRun program = qpk("help"), find = qpk("help find"), none = qpk("");
    EXPECT_EQ(program.out.rfind("Usage: qpk COMMAND [ARGUMENT]... [OPTION]...\n", 0), 0u);
    EXPECT_EQ(find.out.rfind("Usage: qpk find FILE TEXT [--class] [--mode "
                             "contains|begins|ends|matches] [--json]\n",
                             0),
              0u);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, program.out);
    for (const char* same : {"--help", "-h", "find --help", "find -h", "--help find",
                             "find x.qpk T --help", "help", "help find"})
        EXPECT_EQ(run(same, 0).out, std::strstr(same, "find") ? find.out : program.out) << same;
    for (const char* version : {"--version", "version"})
        EXPECT_EQ(qpk(version).out, "qpk " OK_VERSION "\n");
}

// The manual page holds each command of the help, with its usage line and every argument and
// option its help lists, and no command the help does not.
TEST_F(QpkTool, TheManualPageFollowsTheHelp) {
    const std::string man = std::regex_replace(
        std::regex_replace(readText(QPK_MANUAL), std::regex(R"(\\f[BIR]|\\[,/])"), ""),
        std::regex(R"(\\-)"), "-");
    int commands = 0;
    std::istringstream list(qpk("help").out);
    std::string line;
    while (std::getline(list, line) && line != "Commands:") {
    }
    while (std::getline(list, line) && !line.empty()) {
        if (line[2] == ' ') continue; // a summary's second line
        ++commands;
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        std::istringstream help(qpk("help " + name).out);
        std::getline(help, line);
        EXPECT_NE(man.find(".SS \"qpk " + line.substr(11) + ":\""), std::string::npos) << line;
        while (std::getline(help, line)) {
            if (line.rfind("  ", 0) != 0 || line[2] == ' ' || line.find("--help") != line.npos)
                continue; // not the row of an argument or an option
            EXPECT_NE(man.find("\n" + line.substr(2, line.find("  ", 2) - 2) + "\n"),
                      std::string::npos)
                << name << ": " << line;
        }
    }
    std::size_t sections = 0;
    for (std::size_t at = 0; (at = man.find(".SS \"qpk ", at)) != std::string::npos; ++at)
        ++sections;
    EXPECT_GT(commands, 10);
    EXPECT_EQ(sections, std::size_t(commands));
}

// The bash completion asks qpk what fits where.
TEST_F(QpkTool, BashCompletion) {
    writeBytes(dir + "/lib.qpk", {});
    const struct {
        const char* line;
        const char* offered;
    } rows[] = {
        {"he", "help"},
        {"l", "lint list"},
        {"--v", "--version"},
        {"find --m", "--mode"},
        {"find lib.qpk X --mode b", "begins"},
        {"find li", "lib.qpk"},
        {"show lib.qpk ", ""}, // a package name
        {"help fi", "find"},
        {"find -- --", ""}, // a file name
    };
    for (const auto& row : rows) {
        // The line's words after the program, and an empty one after a closing blank.
        const std::string line = row.line;
        const std::string script =
            "cd " + dir + " && . " + QPK_COMPLETION + " && COMP_WORDS=(" + QPK_PATH + " " + line +
            "); [[ \"" + line +
            "\" == *\" \" ]] && COMP_WORDS+=(\"\"); COMP_CWORD=$((${#COMP_WORDS[@]} "
            "- 1)); _qpk; echo \"${COMPREPLY[*]}\"";
        ASSERT_EQ(std::system(("bash -c '" + script + "' >" + dir + "/out").c_str()), 0) << line;
        EXPECT_EQ(readText(dir + "/out"), std::string(row.offered) + "\n") << line;
    }
}

// qpk new makes the empty file File > New makes (worked out byte by byte in empty.hex), and
// never replaces a file.
TEST_F(QpkTool, NewMakesAnEmptyFileAndReplacesNone) {
    run("new " + path, 0);
    EXPECT_EQ(readBytes(path), readBytes(OK_TEST_DATA_DIR "/recordfile/empty.qpk"));
    writeBytes(path, {'k', 'e', 'e', 'p'});
    EXPECT_EQ(run("new " + path, 1).err, "qpk: " + path + ": File already exists.\n");
    EXPECT_EQ(readText(path), "keep");
    EXPECT_EQ(run("new " + dir + "/none/lib.qpk", 1).err,
              "qpk: " + dir + "/none/lib.qpk: File not found.\n");
}

// The JSON of a file written by hand, "@" standing for its path.
json expected(const std::string& text, const std::string& path) {
    return json::parse(std::regex_replace(text, std::regex("@"), path));
}

// A library made by hand as text: names over 17 characters and of bytes above 127 (the micro
// sign and, in the code page, the euro sign), a negative Class ID, nets, a repeated name.
TEST_F(QpkTool, JsonOfAHandMadeLibrary) {
    TempFile text("SOIC8,U,SO,8,50\r\t\\GND,4\r\t\\VCC,8,9\r\t5,1\t2,3\r"
                  "DIODE\xB5\x80_SOD123_LONG,D,SOD\r\t-5,2\t1,2\t2,1\r\t7,0\r"
                  "SOIC8,U,SO\r\t6,0\r");
    run("import " + text.path + " " + path, 0);
    const struct {
        const char* command;
        std::string args;
        int status;
        const char* out;
    } rows[] = {
        {"list", "", 0, R"({"file": "@", "packages": [
            {"position": 1, "name": "SOIC8", "displayName": "SOIC8"},
            {"position": 2, "name": "DIODEµ€_SOD123_LONG", "displayName": "DIODEµ€_SOD123_LO"},
            {"position": 3, "name": "SOIC8", "displayName": "SOIC8"}]})"},
        {"show", "SOIC8", 0, R"({"file": "@", "package": {"position": 1,
            "name": "SOIC8", "prefix": "U", "shape": "SO", "p1": "8", "p2": "50", "p3": "",
            "sections": [{"classId": 5, "pinChanges": [["2", "3"]]}],
            "nets": [{"name": "GND", "pins": ["4"]}, {"name": "VCC", "pins": ["8", "9"]}]}})"},
        {"show", "'DIODE\xB5\x80_SOD123_LONG'", 0, R"({"file": "@", "package": {"position": 2,
            "name": "DIODEµ€_SOD123_LONG", "prefix": "D", "shape": "SOD", "p1": "", "p2": "",
            "p3": "", "sections": [{"classId": -5, "pinChanges": [["1", "2"], ["2", "1"]]},
                                   {"classId": 7, "pinChanges": []}],
            "nets": []}})"},
        {"find", "--class -- -5", 0, R"({"file": "@", "matches": [
            {"position": 2, "displayName": "DIODEµ€_SOD123_LO", "classId": -5}]})"},
        {"find", "-- --help", 1, R"({"file": "@", "matches": []})"},
        {"lint", "", 1, R"({"files": [{"file": "@", "findings": [{"position": 3,
            "displayName": "SOIC8", "message": "duplicate name, also package 1"}]}]})"},
        {"check", "", 0, R"({"file": "@", "faultCount": 0, "faults": [], "journal": null})"},
    };
    for (const auto& row : rows) {
        const QpkRun r =
            run(std::string(row.command) + " --json " + path + " " + row.args, row.status);
        EXPECT_EQ(json::parse(r.out), expected(row.out, path)) << row.command << row.args;
    }
}

// The sample library as its text (examples/sample.txt) says: 48 packages, 83 section lines,
// 40 net lines, 38 Class IDs.
TEST_F(QpkTool, JsonOfTheSampleLibrary) {
    json stats = json::parse(qpk("stats --json " QPK_SAMPLE).out);
    stats.erase("size");
    EXPECT_EQ(stats, expected(R"({"file": "@", "formatVersion": "1.2", "oldLayout": false,
        "records": 50, "packages": 48, "componentSections": 83, "hiddenConnections": 40,
        "freeBlocks": 0, "freeBytes": 0, "unlistedFreeBlocks": 0, "slackBytes": 0,
        "classIndex": "current", "classIndexEntries": 38, "faultCount": 0})",
                              QPK_SAMPLE));
}
