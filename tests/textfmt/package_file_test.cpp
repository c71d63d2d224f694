// Conversion of a text into a package file on disk, and Save As Text of an open package file.
#include "model/PackageFileIO.h"
#include "tests/support/Files.h"
#include "tests/support/Import.h"
#include "tests/support/Library.h"

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

    // The package file itself is refused, and left as it was, as the record export refuses its
    // own file.
    const std::string before = qpk.read();
    EXPECT_EQ(exportText(target.file, qpk.path), kReplaceOriginalErr);
    EXPECT_EQ(exportRecordFile(*target.file->recordFile, qpk.path), kReplaceOriginalErr);
    EXPECT_STREQ(exportErrorText(kReplaceOriginalErr), "You cannot replace the original file.");
    EXPECT_EQ(qpk.read(), before);

    // A modified image is written as it is in memory and kept; an invalid one is skipped; an
    // open editor is committed first, and its failure stops the export.
    PackageEntry* first = target.file->packages;
    UniqueHandle r2 =
        buildImage({{"R2", "R", "AX"}, {{12, {{"1", "2"}, {"3", "4"}}}}, {"GND\t7\t8"}});
    UniqueHandle invalid = buildImage({{"NOSECTIONS"}, {}, {}});
    ASSERT_EQ(setImage(first, r2.release(), ImageState::modified, 0), noErr);
    ASSERT_EQ(setImage(first->next, invalid.release(), ImageState::modified, 0), noErr);
    FakeEditors editors;
    editors.open = {first};
    editors.failAt = 2;
    target.file->editors = &editors;
    ASSERT_EQ(exportText(target.file, out.path), noErr);
    EXPECT_EQ(editors.commits, 1);
    EXPECT_EQ(out.read(), "R2" + kLibrary.substr(2, kLibrary.find("C1") - 2) +
                              kLibrary.substr(kLibrary.find("U1")));
    EXPECT_NE(first->image, nullptr); // modified: not purged
    EXPECT_EQ(exportText(target.file, out.path), dskFulErr);
    target.file->editors = nullptr;
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

// An export that fails part way leaves every Package converted before the failure in the file,
// byte for byte (each as the conversion of its image alone writes it; that layout is the
// goldens' concern), and reports the failure. 10,000 generated Packages fill the write buffer
// many times over.
TEST(TextExport, AFailureKeepsTheTextConvertedBeforeIt) {
    constexpr int kPackages = 10000;
    const std::vector<UniqueHandle> images = generatedLibrary(11, kPackages);
    ScratchDir scratch;
    const std::string qpk = scratch.path + "/lib.qpk", out = scratch.path + "/out.txt";
    writeRecordFile(qpk, images);
    const struct {
        const char* name;
        bool ofRecordFile; // else of the package file
        FileFault
            fault; // nth: which of the export's calls of that kind, from 1; 0: the last but one
        OSErr code;
    } faults[] = {
        // A record that cannot be read stops the export there.
        {"read of record file", true, failingCall(FileCall::read, 0), FileFault::ioErrFail},
        {"read of package file", false, failingCall(FileCall::read, 0), FileFault::ioErrFail},
        // A failed write stops the export; what it could not write is written once more at the
        // end, so a passing fault loses nothing.
        {"write of record file", true, failingCall(FileCall::write, 3, dskFulErr), dskFulErr},
        {"short write of package file", false, failingCall(FileCall::write, 2, dskFulErr, true),
         dskFulErr}};
    for (const auto& row : faults) {
        SCOPED_TRACE(row.name);
        long done = 0;
        ExportHooks hooks;
        std::unique_ptr<RecordFile> records;
        OpenedFile opened;
        if (row.ofRecordFile) {
            ASSERT_EQ(RecordFile::open(qpk, FilePerm::readOnly, &records), noErr);
            hooks.progress = [&](long, long) { ++done; };
        } else {
            ASSERT_EQ(openPackageFile(qpk, FilePerm::readOnly, {}, &opened.file), noErr);
            hooks.progress = [&](long n, long) { done = n; };
        }
        auto run = [&] {
            done = 0;
            return records ? exportRecordFile(*records, out, hooks)
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
            before += imageToText(images[std::size_t(i)].get());
        const std::string written = readText(out);
        EXPECT_GT(written.size(), 64u * 1024); // more than one buffer
        EXPECT_TRUE(written == before) << "the text differs from the first " << done << " Packages";
    }
}
