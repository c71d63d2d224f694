// Golden files: record files and a text whose every byte was worked out by hand from the layouts
// and is explained, field by field, in the commented hex source beside it (NAME.hex beside
// NAME.qpk in tests/data/recordfile). The files written are compared with them byte for byte;
// the files read are checked against the values the hex sources state.
#include "model/RecordFileFormat.h"
#include "tests/support/Files.h"
#include "tests/support/Images.h"
#include "tests/support/Library.h"
#include "textfmt/Export.h"
#include "textfmt/Import.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

const std::string kRecordDir = std::string(OK_TEST_DATA_DIR) + "/recordfile/";
const std::string kTextDir = std::string(OK_TEST_DATA_DIR) + "/textfmt/";

using Bytes = std::vector<unsigned char>;

Bytes goldenRecordFile(const std::string& name) {
    return hexBytes(kRecordDir + name + ".hex");
}
std::string goldenText() {
    const Bytes b = hexBytes(kTextDir + "11-export-example.hex");
    return std::string(b.begin(), b.end());
}

using Golden = ScratchTest;

} // namespace

TEST(GoldenFiles, AreTheBytesOfTheirHexSources) {
    for (const char* name : {"header", "empty", "one-record", "class-index", "free-block",
                             "old-layout", "long-net", "thirty-classes"}) {
        const Bytes source = goldenRecordFile(name);
        EXPECT_FALSE(source.empty()) << name;
        EXPECT_EQ(readBytes(kRecordDir + name + ".qpk"), source) << name;
    }
    EXPECT_EQ(goldenText(), readText(kTextDir + "11-export-example.txt"));
}

// New files: created; opened for writing and closed; with Packages written and closed.
TEST_F(Golden, WrittenByteForByte) {
    const struct {
        const char* golden;
        bool opened;
        std::vector<PackageContents> packages;
    } files[] = {{"header", false, {}},
                 {"empty", true, {}},
                 {"one-record",
                  true,
                  {{{"R1", "R", "AX"}, {{12, {{"1", "2"}, {"3", "4"}}}}, {"GND\t7\t8"}}}},
                 {"class-index",
                  true, // A and B sharing Class ID 5
                  {{{"A", "U", "S"}, {{5, {}}, {9, {}}}, {}}, {{"B", "U", "S"}, {{5, {}}}, {}}}}};
    for (const auto& file : files) {
        std::remove(path.c_str());
        ASSERT_EQ(RecordFile::create(path, "RHWQ", "QPK", "QPKG", 0), noErr) << file.golden;
        std::unique_ptr<RecordFile> rf;
        if (file.opened) {
            ASSERT_EQ(RecordFile::open(path, FilePerm::readWrite, &rf), noErr);
        }
        for (const PackageContents& p : file.packages) {
            std::uint32_t position = 0;
            ASSERT_EQ(rf->writeRecord(kRecordPackage, buildImage(p).get(), &position), noErr);
        }
        if (rf) {
            ASSERT_EQ(rf->close(), noErr);
        }
        EXPECT_EQ(readBytes(path), goldenRecordFile(file.golden)) << file.golden;
    }
}

// The text of one-record.qpk is the golden text, and importing that text into a new file gives
// one-record.qpk again.
TEST_F(Golden, TextBothWays) {
    writeBytes(path, goldenRecordFile("one-record"));
    std::unique_ptr<RecordFile> rf;
    ASSERT_EQ(RecordFile::open(path, FilePerm::readOnly, &rf), noErr);
    const std::string out = dir + "/out.txt";
    ASSERT_EQ(exportRecordFile(*rf, out), noErr);
    EXPECT_EQ(readText(out), goldenText());
    rf.reset();

    TempFile text(goldenText());
    const std::string imported = dir + "/imported.qpk";
    rf = newRecordFile(imported);
    ASSERT_TRUE(rf);
    RecordFileSink sink(*rf);
    ASSERT_TRUE(importText(text.path, sink, nullptr).ok());
    ASSERT_EQ(rf->rebuildClassIndex(), noErr);
    ASSERT_EQ(rf->close(), noErr);
    EXPECT_EQ(readBytes(imported), goldenRecordFile("one-record"));
}

// Each golden file read back: what the verifier finds, and its first Package as the hex source
// states it.
TEST(GoldenFiles, ReadAsTheHexSourceSays) {
    const struct {
        const char* file;
        std::uint64_t faults;
        std::uint32_t firstPackage; // data position; 0: none
        const char* firstName;
        std::uint64_t freeBlocks;
        bool indexCurrent;
    } files[] = {{"header", 0, 0, "", 0, false},
                 {"empty", 0, 0, "", 0, true},
                 {"one-record", 0, 92, "R1", 0, true},
                 {"class-index", 0, 92, "A", 0, true},
                 {"free-block", 0, 143, "B", 1, true}, // the free block is not a Package
                 {"old-layout", 0, 34, "R1", 0, false},
                 // Thirty class entries pointing at themselves: one fault, still readable.
                 {"thirty-classes", 1, 70, "", 0, false}};
    for (const auto& row : files) {
        SCOPED_TRACE(row.file);
        const std::string path = kRecordDir + row.file + ".qpk";
        VerifyReport r;
        ASSERT_EQ(verifyRecordFile(path, &r), noErr);
        EXPECT_EQ(r.faultCount, row.faults);
        EXPECT_EQ(r.freeBlocks, row.freeBlocks);
        EXPECT_EQ(r.indexCurrent, row.indexCurrent);
        std::unique_ptr<RecordFile> rf;
        ASSERT_EQ(RecordFile::open(path, FilePerm::readOnly, &rf), noErr);
        RecordInfo info;
        ASSERT_EQ(rf->iterate(kRecordPackage, 0, &info), noErr);
        ASSERT_EQ(info.position, row.firstPackage);
        if (!row.firstPackage) continue;
        EXPECT_EQ(rf->readName(info.position).str(), row.firstName);
        UniqueHandle image;
        EXPECT_EQ(rf->readRecord(info.position, &image), noErr);
    }
}

// A stored net item text of 256 bytes: the image is read, its net item cut to 255 bytes, and the
// text export writes those 255 bytes.
TEST_F(Golden, LongNetIsCut) {
    std::unique_ptr<RecordFile> rf;
    ASSERT_EQ(RecordFile::open(kRecordDir + "long-net.qpk", FilePerm::readOnly, &rf), noErr);
    const std::string out = dir + "/out.txt";
    ASSERT_EQ(exportRecordFile(*rf, out), noErr);
    EXPECT_EQ(readText(out), "N,U,S\r\n\t\\NET," + std::string(251, '1') + "\r\n\t1,0\r\n");

    UniqueHandle image;
    ASSERT_EQ(rf->readRecord(70, &image), noErr);
    EXPECT_FALSE(imageIsConsistent(image.get(), nullptr)); // longer than a net item holds
    PackageRecord r;
    ASSERT_EQ(expandImage(image.get(), &r), noErr);
    ASSERT_EQ(countNetItems(r), 1);
    EXPECT_EQ(netItemText(findNetItem(r, 1)), "NET\t" + std::string(251, '1'));
    EXPECT_EQ(r.sectionCount, 1);
}

// The header's edges: a file of fewer than 6 bytes has no signature; one of 6 to 17 bytes ends
// within the 18-byte header, a short read, as does one cut within a record (at 80, in the index
// header's); a newer version and a leader too small for the free list head are refused; version
// 0x0101 is read in the current layout.
TEST_F(Golden, HeaderEdges) {
    const Bytes file = goldenRecordFile("one-record");
    std::unique_ptr<RecordFile> rf;
    for (std::size_t n = 0; n < 18; ++n) {
        writeBytes(path, Bytes(file.begin(), file.begin() + long(n)));
        EXPECT_EQ(RecordFile::open(path, FilePerm::readOnly, &rf), n < 6 ? badSignatureErr : eofErr)
            << n;
        EXPECT_EQ(rf, nullptr);
    }
    writeBytes(path, Bytes(file.begin(), file.begin() + 80));
    EXPECT_EQ(RecordFile::open(path, FilePerm::readWrite, &rf), eofErr);
    for (const auto& [at, byte, err] : {std::tuple{5, 0x03, fileTooNewErr}, {13, 2, noLeaderErr}}) {
        Bytes damaged = file;
        damaged[at] = std::uint8_t(byte);
        writeBytes(path, damaged);
        EXPECT_EQ(RecordFile::open(path, FilePerm::readOnly, &rf), err) << at;
    }
    Bytes v0101 = file;
    v0101[5] = 0x01;
    writeBytes(path, v0101);
    ASSERT_EQ(RecordFile::open(path, FilePerm::readOnly, &rf), noErr);
    EXPECT_EQ(rf->readName(92).str(), "R1");
    EXPECT_EQ(rf->indexEntryCount(), 1u);
    VerifyReport r;
    ASSERT_EQ(verifyRecordFile(path, &r), noErr);
    EXPECT_FALSE(r.oldLayout);
    EXPECT_EQ(r.faultCount, 0u);
}
