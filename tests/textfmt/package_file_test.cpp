// Conversion of a text into a package file on disk, and Save As Text of an open package file.
#include "model/PackageFileIO.h"
#include "tests/support/Files.h"
#include "tests/support/Import.h"
#include "tests/support/Library.h"
#include "tests/support/Tables.h"
#include "toolbox/core/FieldText.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>

using namespace test_support;

namespace {

const std::string kLibrary =
    "R1,R,AX\r\n\t\\GND,7,8\r\n\t12,2\t1,2\t3,4\r\n"
    "C1,C,RAD,200\r\n\t5,0\r\n"
    "U1,U,DIP,14,300\r\n\t\\VCC,14\r\n\t\\GND,7\r\n\t20,0\r\n\t21,1\t1,8\r\n";

} // namespace

TEST(TextPackageFile, ConvertThenSaveAsText) {
    TempFile text(kLibrary + "BAD,U,S\r\n\t\\N,1\r\n"); // the last package has no section
    TempFile qpk, out;
    OpenedFile target;
    ASSERT_EQ(createPackageFile(qpk.path, {}, &target.file), noErr);
    RecordingReporter reporter;
    ASSERT_TRUE(importTextIntoPackageFile(text.path, target.file, &reporter));
    ASSERT_EQ(reporter.errors.size(), 1u);
    EXPECT_EQ(reporter.errors[0].code, kImportNoSections);
    // Entries arrive at the head, stored (record id, no image); reversing gives file order.
    reversePackageList(target.file);
    EXPECT_EQ(displayNames(target.file), (std::vector<std::string>{"R1", "C1", "U1"}));
    for (PackageEntry* e = target.file->packages; e; e = e->next) {
        EXPECT_NE(e->recordId, 0u);
        EXPECT_EQ(e->image, nullptr);
    }
    ASSERT_EQ(target.file->recordFile->rebuildClassIndex(), noErr);

    // Save As Text writes the same bytes back and purges the images it fetched.
    ASSERT_EQ(exportText(target.file, out.path), noErr);
    EXPECT_EQ(out.read(), kLibrary);
    for (PackageEntry* e = target.file->packages; e; e = e->next)
        EXPECT_EQ(e->image, nullptr);
    // Where the file system keeps user attributes, the text carries its type and creator.
    TempFile probe;
    if (setxattr(probe.path.c_str(), "user.ortix.probe", "1", 1, 0) == 0) {
        char info[8] = {};
        ASSERT_EQ(getxattr(out.path.c_str(), "user.ortix.finfo", info, sizeof info),
                  ssize_t(sizeof info));
        EXPECT_EQ(std::string(info, 8), std::string("TXT\0ttxt", 8));
    }

    // The package file itself is refused, and left as it was.
    const std::string before = qpk.read();
    EXPECT_EQ(exportText(target.file, qpk.path), kReplaceOriginalErr);
    EXPECT_STREQ(exportErrorText(kReplaceOriginalErr), "You cannot replace the original file.");
    EXPECT_EQ(qpk.read(), before);

    // A modified image is written as it is in memory and kept; an invalid one is skipped; an
    // open editor is committed first, and its failure stops the export.
    PackageEntry* first = target.file->packages;
    PackageRecord renamed;
    OSErr err = noErr;
    ASSERT_EQ(expandImage(getImage(first, &err), &renamed), noErr);
    setPackageField(renamed, kFieldPackageName, "R2");
    UniqueHandle image;
    ASSERT_EQ(flattenPackage(renamed, &image), noErr);
    ASSERT_EQ(setImage(first, image.release(), ImageState::modified, 0), noErr);
    PackageRecord invalid;
    setPackageField(invalid, kFieldPackageName, "NOSECTIONS");
    ASSERT_EQ(flattenPackage(invalid, &image), noErr);
    ASSERT_EQ(setImage(first->next, image.release(), ImageState::modified, 0), noErr);
    int commits = 0;
    ExportHooks hooks;
    hooks.commitEditor = [&](PackageEntry*) { return ++commits == 1 ? noErr : dskFulErr; };
    first->editor = reinterpret_cast<PackageEditor*>(first); // any non-null editor
    ASSERT_EQ(exportText(target.file, out.path, hooks), noErr);
    EXPECT_EQ(commits, 1);
    EXPECT_EQ(out.read(), "R2" + kLibrary.substr(2, kLibrary.find("C1") - 2) +
                              kLibrary.substr(kLibrary.find("U1")));
    EXPECT_NE(first->image, nullptr); // modified: not purged
    EXPECT_EQ(exportText(target.file, out.path, hooks), dskFulErr);
    first->editor = nullptr;
}

// Writing the text over the record file it comes from is refused.
TEST(TextPackageFile, RecordExportRefusesItsOwnFile) {
    ScratchDir scratch;
    const std::string qpk = scratch.path + "/lib.qpk";
    writeRecordFile(qpk, generatedLibrary(3, 2));
    const std::vector<unsigned char> before = readBytes(qpk);
    std::unique_ptr<RecordFile> records;
    ASSERT_EQ(RecordFile::open(qpk, FilePerm::readOnly, &records), noErr);
    EXPECT_EQ(exportRecordFile(*records, qpk), kReplaceOriginalErr);
    EXPECT_EQ(readBytes(qpk), before);
}

TEST(TextPackageFile, RecordsHeldBackAreWrittenWithinTheImport) {
    // The record file collects new records in memory: the import writes them out before it
    // counts as done, so that a failure to write them is the import's file error.
    TempFile text(kLibrary), qpk;
    std::unique_ptr<RecordFile> records = newRecordFile(qpk.path);
    ASSERT_TRUE(records);
    RecordFileSink sink(*records);
    RecordingReporter reporter;
    ImportResult result;
    {
        ScopedFileFault fault(failingCall(FileCall::write, 1, dskFulErr));
        result = importText(text.path, sink, &reporter);
    }
    EXPECT_EQ(result.code, kImportErrorShown);
    EXPECT_EQ(result.packagesStored, 3);
    EXPECT_EQ(reporter.fileErrors, std::vector<OSErr>{dskFulErr});
    EXPECT_TRUE(reporter.errors.empty());
}

namespace {

// The text of a generated Package worked out from its record, without the image or the export:
// the fields joined by commas, a line of TAB, backslash and the text (commas for TABs) per net,
// then per section a line of TAB, "class,count" and TAB "unpackaged,packaged" per pair.
std::string expectedText(const PackageRecord& r) {
    auto commas = [](std::string_view text) {
        std::string s(text);
        for (char& c : s)
            if (c == '\t') c = ',';
        return s;
    };
    std::string_view fields(r.fieldText->data, std::size_t(GetHandleSize(r.fieldText)));
    while (!fields.empty() && fields.back() == '\t')
        fields.remove_suffix(1);
    std::string text = commas(fields);
    forEachNetItem(r, [&](const NetItem* n) { text += "\r\n\t\\" + commas(netItemText(n)); });
    for (int i = 1; i <= r.sectionCount; ++i) {
        const ComponentSection* s = sectionAt(r, i);
        text += "\r\n\t" + std::to_string(s->classId) + "," + std::to_string(s->pinChangeCount);
        const std::string_view pins =
            s->pinChanges
                ? std::string_view(s->pinChanges->data, std::size_t(GetHandleSize(s->pinChanges)))
                : std::string_view{};
        for (int field = 1; field <= 2 * s->pinChangeCount; field += 2)
            text += "\t" + std::string(GetFieldView(pins.data(), Size(pins.size()), field)) + "," +
                    std::string(GetFieldView(pins.data(), Size(pins.size()), field + 1));
    }
    return text + "\r\n";
}

enum class ExportPath { recordFile, packageFile };

struct LossRow {
    const char* name;
    ExportPath path;
    FileFault fault; // nth: which of the export's calls of that kind, from 1; 0: the last but one
    OSErr code;
};

class ExportFailure : public ::testing::TestWithParam<LossRow> {};

} // namespace

// An export that fails part way leaves every Package converted before the failure in the file,
// byte for byte, and reports the failure. 10,000 generated Packages fill the write buffer many
// times over.
TEST_P(ExportFailure, KeepsTheTextConvertedBeforeIt) {
    const LossRow& row = GetParam();
    constexpr int kPackages = 10000;
    std::mt19937 rng(11);
    std::vector<UniqueHandle> images;
    std::vector<std::string> texts;
    for (int i = 0; i < kPackages; ++i) {
        const PackageRecord r = generatePackage(rng);
        texts.push_back(expectedText(r));
        images.emplace_back();
        ASSERT_EQ(flattenPackage(r, &images.back()), noErr);
    }
    ScratchDir scratch;
    const std::string qpk = scratch.path + "/lib.qpk", out = scratch.path + "/out.txt";
    writeRecordFile(qpk, images);

    long done = 0;
    ExportHooks hooks;
    std::unique_ptr<RecordFile> records;
    OpenedFile opened;
    if (row.path == ExportPath::recordFile) {
        ASSERT_EQ(RecordFile::open(qpk, FilePerm::readOnly, &records), noErr);
        hooks.progress = [&](long, long) { ++done; };
    } else {
        ASSERT_EQ(openPackageFile(qpk, FilePerm::readOnly, {}, &opened.file), noErr);
        hooks.progress = [&](long n, long) { done = n; };
    }
    auto run = [&] {
        done = 0;
        return row.path == ExportPath::recordFile ? exportRecordFile(*records, out, hooks)
                                                  : exportText(opened.file, out, hooks);
    };
    FileFault fault = row.fault;
    if (fault.nth == 0) fault.nth = countFileCalls(fault.call, [&] { run(); }) - 1;
    ASSERT_GT(fault.nth, 1);
    OSErr err;
    {
        ScopedFileFault armed(fault);
        err = run();
        EXPECT_TRUE(FileFaultFired());
    }
    EXPECT_EQ(err, row.code);
    ASSERT_GT(done, 0);
    ASSERT_LT(done, kPackages);
    std::string before;
    for (long i = 0; i < done; ++i)
        before += texts[std::size_t(i)];
    const std::string written = readText(out);
    EXPECT_GT(written.size(), 64u * 1024); // more than one buffer
    EXPECT_EQ(written.size(), before.size());
    EXPECT_TRUE(written == before) << "the text differs from the first " << done << " Packages";
}

INSTANTIATE_TEST_SUITE_P(Faults, ExportFailure,
                         ::testing::Values(
                             // A record that cannot be read stops the export there.
                             LossRow{"read_of_record_file", ExportPath::recordFile,
                                     failingCall(FileCall::read, 0), FileFault::ioErrFail},
                             LossRow{"read_of_package_file", ExportPath::packageFile,
                                     failingCall(FileCall::read, 0), FileFault::ioErrFail},
                             // A failed write stops the export; what it could not write is written
                             // once more at the end, so a passing fault loses nothing.
                             LossRow{"write_of_record_file", ExportPath::recordFile,
                                     failingCall(FileCall::write, 3, dskFulErr), dskFulErr},
                             LossRow{"short_write_of_package_file", ExportPath::packageFile,
                                     failingCall(FileCall::write, 2, dskFulErr, true), dskFulErr}),
                         RowName());
