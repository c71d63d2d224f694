// qpk lint run as a program: the finding lines of each kind of fault, exit codes over several
// files, and a file or package that cannot be read.
#include "model/ByteOrder.h"
#include "tests/cli/QpkRun.h"
#include "tests/support/Library.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

using QpkLint = QpkTest;

// An image laid out by hand in host order, so that it can hold what the editor never stores:
// sections with Class ID 0 (without pin changes) and nets without a name or a pin. Its class
// table is left empty.
UniqueHandle image(const std::string& fields, const std::vector<std::int32_t>& classIds,
                   const std::vector<std::string>& nets = {}) {
    std::vector<char> b(8);
    putHost16(&b[0], std::uint16_t(classIds.size()));
    putHost16(&b[2], std::uint16_t(nets.size()));
    putHost16(&b[6], std::uint16_t(fields.size()));
    b.insert(b.end(), fields.begin(), fields.end());
    for (std::int32_t id : classIds) {
        b.resize(b.size() + 8);
        putHost32(&b[b.size() - 8], std::uint32_t(id));
    }
    for (const std::string& net : nets) {
        b.resize(b.size() + 2);
        putHost16(&b[b.size() - 2], std::uint16_t(net.size()));
        b.insert(b.end(), net.begin(), net.end());
    }
    UniqueHandle h(NewHandle(Size(b.size())));
    std::copy(b.begin(), b.end(), h.data());
    return h;
}

const std::string k1307 = "A component section must have a non-zero Class ID.  If you proceed, "
                          "the section will be deleted.";
const std::string k1308 =
    "A net item must have a valid net name.  If you proceed, the net item will be deleted.";
const std::string k1309 =
    "A net item must have a valid pin number.  If you proceed, the net item will be deleted.";
const std::string k1310 = "A package must have a valid component section.  If you proceed, the "
                          "package will be deleted.";
const std::string k1311 = "A package must have a valid name and reference designator prefix.  If "
                          "you proceed, the package will be deleted.";

} // namespace

// Every kind of finding, in package order and within a package: its own question, its sections,
// its nets, its copied sections, its name.
TEST_F(QpkLint, OneLinePerFinding) {
    std::vector<UniqueHandle> images;
    images.push_back(image("SOIC8\tU\tDIP", {5}, {"GND\t1"}));
    images.push_back(image("\tU\tDIP", {5}));         // blank name
    images.push_back(image("NOSECT\tU", {}));         // no section
    images.push_back(image("NOPREFIX\t  \tDIP", {})); // no section is asked first
    images.push_back(
        image("BADPARTS\tIC", {0, 7, 9, 7, 0, 7}, {"  \t1", "VCC\t \t", "\t", "A\t\tB"}));
    images.push_back(image(" SOIC8 \tU", {1}));
    images.push_back(image("QFP100_14X14_0.5MM\tU", {1}));
    images.push_back(image("QFP100_14X14_0.5MX\tU", {1})); // the same 17 characters shown
    images.push_back(image("  \tR", {1}));                 // blank again: no duplicate
    images.push_back(image("NOPREFIX\tR\t", {2}));         // valid, named as package 4
    // Gates of one Class ID with their own pins are no fault; a copy of one of them is.
    images.push_back(buildImage(
        {{"GATES", "U"}, {{3, {{"1", "1"}}}, {3, {{"1", "4"}}}, {3, {{"1", "1"}}}}, {}}));
    writeRecordFile(path, images);

    const std::string twice = " listed twice with the same pin number changes, in sections ";
    std::string want;
    for (const std::string& line : std::vector<std::string>{
             "2 \"Unnamed Package\": " + k1311, "3 \"NOSECT\": " + k1310,
             "4 \"NOPREFIX\": " + k1310, "5 \"BADPARTS\": " + k1307, "5 \"BADPARTS\": " + k1307,
             "5 \"BADPARTS\": " + k1308, "5 \"BADPARTS\": " + k1309, "5 \"BADPARTS\": " + k1308,
             "5 \"BADPARTS\": Class ID 7" + twice + "2 and 4",
             "5 \"BADPARTS\": Class ID 7" + twice + "2 and 6",
             "6 \"SOIC8\": duplicate name, also package 1",
             "8 \"QFP100_14X14_0.5M\": duplicate name, also package 7",
             "9 \"Unnamed Package\": " + k1311, "10 \"NOPREFIX\": duplicate name, also package 4",
             "11 \"GATES\": Class ID 3" + twice + "1 and 3"})
        want += path + ": package " + line + "\n";
    const QpkRun r = run("lint " + path, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, want);
}

// Several files: each is checked; a clean one alone gives 0 and no output, findings give 1, and
// a file that cannot be opened gives 2 while the others are still checked.
TEST_F(QpkLint, ExitCodesOverSeveralFiles) {
    const std::string clean = dir + "/clean.qpk", faulty = dir + "/faulty.qpk";
    std::vector<UniqueHandle> images;
    images.push_back(packageImage("SOIC8", {5, 9}));
    images.push_back(packageImage("DIP14", {5}));
    writeRecordFile(clean, images);
    images.clear();
    images.push_back(image("SOIC8\tU", {}));
    writeRecordFile(faulty, images);
    const std::string finding = faulty + ": package 1 \"SOIC8\": " + k1310 + "\n";

    QpkRun r = run("lint " + clean, 0);
    EXPECT_EQ(r.out + r.err, "");

    // Names are compared within one file only.
    r = run("lint " + clean + " " + faulty + " " + clean, 1);
    EXPECT_EQ(r.out, finding);
    EXPECT_EQ(r.err, "");

    writeBytes(dir + "/text.qpk", {'N', 'a', 'm', 'e', '\t', 'U', '\n'});
    r = run("lint " + dir + "/missing.qpk " + faulty + " " + dir + "/text.qpk", 2);
    EXPECT_EQ(r.out, finding);
    EXPECT_EQ(r.err, "qpk: " + dir + "/missing.qpk: File not found.\nqpk: " + dir +
                         "/text.qpk: Bad file signature.\n");
}

// A package whose image does not fit its record is named on stderr; the packages after it are
// still checked and numbered, and a name is still found again a hundred packages on.
TEST_F(QpkLint, AnUnreadablePackageIsReportedAndPassed) {
    std::vector<UniqueHandle> images;
    for (int i = 1; i <= 100; ++i)
        images.push_back(packageImage("P" + std::to_string(i), {1}));
    images.push_back(image("A\tU", {}));
    images.push_back(image("B\tU", {1}));
    images.push_back(image("C\tU", {}));
    images.push_back(packageImage("P1", {1}));
    const std::vector<std::uint32_t> at = writeRecordFile(path, images);
    auto b = readBytes(path);
    putBE16(b.data() + at[101] + 2, 40); // 40 nets in an image that holds none
    writeBytes(path, b);

    const QpkRun r = run("lint " + path, 2);
    EXPECT_EQ(r.out, path + ": package 101 \"A\": " + k1310 + "\n" + path +
                         ": package 103 \"C\": " + k1310 + "\n" + path +
                         ": package 104 \"P1\": duplicate name, also package 1\n");
    EXPECT_EQ(r.err, "qpk: " + path + ": package 102: Illegal parameter.\n");
}
