// Conversion of a text into a package file on disk, and Save As Text of an open package file.
#include "model/PackageFileIO.h"
#include "textfmt_support.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>

using namespace textfmt_test;

namespace {

const std::string kLibrary =
    "R1,R,AX\r\n\t\\GND,7,8\r\n\t12,2\t1,2\t3,4\r\n"
    "C1,C,RAD,200\r\n\t5,0\r\n"
    "U1,U,DIP,14,300\r\n\t\\VCC,14\r\n\t\\GND,7\r\n\t20,0\r\n\t21,1\t1,8\r\n";

struct OpenedFile {
    PackageFile* file = nullptr;
    ~OpenedFile() {
        if (file) {
            closePackageFileRecords(file, true);
            disposePackageFile(file);
        }
    }
};

std::vector<std::string> listNames(PackageFile* f) {
    std::vector<std::string> names;
    for (PackageEntry* e = f->packages; e; e = e->next)
        names.emplace_back(displayNameView(e));
    return names;
}

} // namespace

TEST(TextPackageFile, ConvertThenSaveAsText) {
    TempFile text(kLibrary + "BAD,U,S\r\n\t\\N,1\r\n"); // the last package has no section
    TempFile qpk("", "okq"), out("", "okt");
    OpenedFile target;
    ASSERT_EQ(createPackageFile(qpk.path, {}, &target.file), noErr);
    RecordingReporter reporter;
    ASSERT_TRUE(importTextIntoPackageFile(text.path, target.file, &reporter));
    ASSERT_EQ(reporter.errors.size(), 1u);
    EXPECT_EQ(reporter.errors[0].code, kImportNoSections);
    // Entries arrive at the head, stored (record id, no image); reversing gives file order.
    reversePackageList(target.file);
    EXPECT_EQ(listNames(target.file), (std::vector<std::string>{"R1", "C1", "U1"}));
    EXPECT_EQ(target.file->packageCount, 3);
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
    char info[8] = {};
    if (getxattr(out.path.c_str(), "user.ortix.finfo", info, sizeof info) == sizeof info) {
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

TEST(TextPackageFile, ExportStopsAtTheFirstWriteError) {
    TempFile text(kLibrary), qpk("", "okq"), out("", "okt");
    OpenedFile target;
    ASSERT_EQ(createPackageFile(qpk.path, {}, &target.file), noErr);
    ASSERT_TRUE(importTextIntoPackageFile(text.path, target.file, nullptr));
    ASSERT_EQ(target.file->recordFile->close(), noErr);
    std::unique_ptr<RecordFile> records;
    ASSERT_EQ(RecordFile::open(qpk.path, true, &records), noErr);
    ASSERT_EQ(exportRecordFile(*records, out.path), noErr);
    EXPECT_EQ(out.read(), kLibrary);

    FileFault fault;
    fault.call = FileCall::write;
    fault.nth = 1;
    fault.code = dskFulErr;
    ArmFileFault(fault);
    const OSErr err = exportRecordFile(*records, out.path);
    DisarmFileFaults();
    EXPECT_EQ(err, dskFulErr);
    EXPECT_EQ(exportRecordFile(*records, qpk.path), kReplaceOriginalErr);
}

TEST(TextPackageFile, RecordsHeldBackAreWrittenWithinTheImport) {
    // The record file collects new records in memory: the import writes them out before it
    // counts as done, so that a failure to write them is the import's file error.
    TempFile text(kLibrary), qpk("", "okq");
    ASSERT_EQ(RecordFile::create(qpk.path, "RHWQ", "QPK", "QPKG", 0), noErr);
    std::unique_ptr<RecordFile> records;
    ASSERT_EQ(RecordFile::open(qpk.path, false, &records), noErr);
    RecordFileSink sink(*records);
    RecordingReporter reporter;
    FileFault fault;
    fault.call = FileCall::write;
    fault.nth = 1;
    fault.code = dskFulErr;
    ArmFileFault(fault);
    const ImportResult result = importText(text.path, sink, &reporter);
    DisarmFileFaults();
    EXPECT_EQ(result.code, kImportErrorShown);
    EXPECT_EQ(result.packagesStored, 3);
    EXPECT_EQ(reporter.fileErrors, std::vector<OSErr>{dskFulErr});
    EXPECT_TRUE(reporter.errors.empty());
}
