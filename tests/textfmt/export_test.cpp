// The export's exact layout and bad images, records converted as stored, and the round trip of
// Packages built under the editor's rules through the export and the import.
#include "tests/support/Files.h"
#include "tests/support/Import.h"
#include "tests/support/Library.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

// Trailing TAB, LF and CR of the header go; a section without pairs is its two numbers; a Class
// ID 0 section and an invalid net item never reach the image, so never the text.
PackageContents headerOnlyPackage() {
    return {{"Q", "U", "", "\r\n", "", ""},
            {{0, {{"1", "2"}}}, {9, {}}, {-3, {{"A", "B"}, {"C", "D"}, {"E", "F"}}}},
            {"NOPINS"}};
}

} // namespace

TEST(TextExport, HeaderWithoutShapeAndBadImages) {
    // Its empty shape fields are not written: the header is name and prefix alone.
    EXPECT_EQ(imageToText(buildImage(headerOnlyPackage()).get()),
              "Q,U\r\n\t9,0\r\n\t-3,3\tA,B\tC,D\tE,F\r\n");
    std::string out = "keep";

    // An image cut anywhere before its last byte runs a part past the end: nothing is written.
    UniqueHandle whole = buildImage(
        {{"R1", "R", "AX"}, {{12, {{"1", "2"}, {"3", "4"}}}, {7, {}}}, {"GND\t7\t8", "VCC\t1"}});
    const std::vector<char> bytes = bytesOf(whole.get());
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_FALSE(appendImageText(bytes.data(), cut, &out)) << cut;
        EXPECT_EQ(out, "keep") << cut;
    }
    ASSERT_TRUE(appendImageText(bytes.data(), bytes.size(), &out));
    EXPECT_EQ(out, "keepR1,R,AX\r\n\t\\GND,7,8\r\n\t\\VCC,1\r\n\t12,2\t1,2\t3,4\r\n\t7,0\r\n");
    // (A stored net text of 256 bytes, written cut to 255, is the golden file long-net.)
}

// Packages built under the editor's rules, with others between them that the export leaves out
// (no section, a blank name or prefix), go into a package file, out through qpk's export and back
// through the import: each Package written comes back identical (but for the trailing empty shape
// fields, which are not written), with nothing reported, and exports to the same text again.
TEST(TextRoundTrip, EditorPackagesComeBackIdentical) {
    ScratchDir scratch;
    const std::string qpk = scratch.path + "/lib.qpk", txt = scratch.path + "/lib.txt";
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        std::vector<UniqueHandle> images;
        std::vector<std::vector<char>> expected;
        for (int i = 0; i < 40; ++i) {
            PackageContents c = generateContents(rng);
            if (i % 10 == 3) c.sections.clear();
            if (i % 10 == 7) c.fields[std::size_t(i % 20 == 7)].clear();
            images.push_back(buildImage(c));
            if (c.sections.empty() || c.fields[0].empty() || c.fields[1].empty()) continue;
            while (c.fields.back().empty())
                c.fields.pop_back();
            expected.push_back(bytesOf(buildImage(c).get()));
        }
        writeRecordFile(qpk, images);
        std::unique_ptr<RecordFile> records;
        ASSERT_EQ(RecordFile::open(qpk, FilePerm::readOnly, &records), noErr);
        ASSERT_EQ(exportRecordFile(*records, txt), noErr);
        ImportRun run;
        run.result = importText(txt, run.sink, &run.reporter);
        ASSERT_EQ(run.result.code, kImportOk) << "seed " << seed;
        EXPECT_EQ(run.result.problemsReported, 0) << "seed " << seed;
        ASSERT_EQ(run.sink.images.size(), expected.size()) << "seed " << seed;
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(bytesOf(run.sink.images[i].get()), expected[i]) << seed << " package " << i;
        EXPECT_EQ(run.sink.text(), readText(txt)) << "seed " << seed;
    }
}

// The export converts records as stored; the text must be what converting the image swapped to
// host order gives, for whole, cut and damaged records alike, valid Packages or not.
TEST(TextExport, StoredRecordsConvertLikeTheirImages) {
    std::vector<UniqueHandle> images = generatedLibrary(7, 30);
    images.push_back(buildImage({{"  ", "U", "DIP"}, {{5, {}}}, {}})); // blank name
    images.push_back(buildImage({{"R1", " ", "AX"}, {{5, {}}}, {}}));  // blank prefix
    images.push_back(buildImage({{"R1", "R", "AX"}, {}, {"GND\t1"}})); // no section
    images.push_back(buildImage({{"R1"}, {{5, {{"1", "2"}}}}, {}}));   // no prefix field
    auto viaImage = [](std::vector<char> bytes, std::string* out) {
        UniqueHandle h(PtrToHand(bytes.data(), Size(bytes.size())));
        return swapImageToHost(h.data(), bytes.size()) == noErr && imageIsValid(h.get()) &&
               appendImageText(h.data(), bytes.size(), out);
    };
    int converted = 0;
    for (const UniqueHandle& image : images) {
        std::vector<char> stored = bytesOf(image.get());
        ASSERT_EQ(swapImageToFile(stored.data(), stored.size()), noErr);
        std::vector<std::vector<char>> cases;
        for (std::size_t cut = 0; cut <= stored.size(); ++cut)
            cases.emplace_back(stored.begin(), stored.begin() + static_cast<long>(cut));
        for (std::size_t at = 0; at < std::min<std::size_t>(stored.size(), 48); ++at) {
            std::vector<char> damaged = stored;
            damaged[at] = static_cast<char>(damaged[at] ^ 0x41);
            cases.push_back(damaged);
        }
        for (const std::vector<char>& bytes : cases) {
            std::string expected = "before", actual = "before";
            const bool ok = viaImage(bytes, &expected);
            ASSERT_EQ(appendRecordText(reinterpret_cast<const unsigned char*>(bytes.data()),
                                       bytes.size(), &actual),
                      ok);
            ASSERT_EQ(actual, expected);
            converted += ok;
        }
    }
    EXPECT_GT(converted, 60); // whole records of valid Packages, and damage that keeps them so
}
