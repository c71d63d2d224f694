// The package image: flatten and expand, rename in place, the layout in file byte order and the
// structural checks. (The byte templates that swap the other records are the golden files'.)
#include "model/Image.h"
#include "tests/support/Images.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace test_support;

namespace {

// Sections of Class IDs 5, 0, 9, 5; nets: two valid ones around one without pin numbers.
UniqueHandle sampleImage() {
    return buildImage(
        {{"SOIC8", "U", "SO"},
         {{5, {{"1", "2"}}}, {0, {{"3", "4"}}}, {9, {}}, {5, {{"5", "6"}, {"7", "8"}}}},
         {"VCC\t8", "NC", "GND\t4"}});
}

} // namespace

TEST(Image, FlattenAndExpand) {
    UniqueHandle image = sampleImage();
    ASSERT_TRUE(image);
    // The parts the file layout table below checks one by one: 8 header + 16 class table + 10 text
    // + (8+3) + (8+0) + (8+7) + (2+5) + (2+5)
    EXPECT_EQ(image.size(), 8 + 16 + 10 + 11 + 8 + 15 + 7 + 7);
    ClassEntry e;
    EXPECT_FALSE(imageClassEntry(image.get(), 2, &e)); // two class entries: 5 and 9
    std::string why;
    EXPECT_TRUE(imageIsConsistent(image.get(), &why)) << why;
    EXPECT_TRUE(imageIsValid(image.get()));

    // Expanded, it holds the three sections and the two nets the layout table shows, in their
    // order: flattened again, it is the image exactly.
    PackageRecord back;
    ASSERT_EQ(expandImage(image.get(), &back), noErr);
    EXPECT_EQ(back.sectionCount, 3);
    EXPECT_EQ(countNetItems(back), 2);
    UniqueHandle again;
    ASSERT_EQ(flattenPackage(back, &again), noErr);
    EXPECT_EQ(bytesOf(again.get()), bytesOf(image.get()));

    PackageRecord empty;
    ASSERT_EQ(flattenPackage(empty, &again), noErr);
    EXPECT_EQ(again.size(), 8);
    EXPECT_FALSE(imageIsValid(again.get())); // no section, no name
}

TEST(Image, RenameInPlace) {
    UniqueHandle image = sampleImage();
    for (std::string_view name : {"A-MUCH-LONGER-PACKAGE-NAME", "S", ""}) {
        ASSERT_EQ(renameImage(image.get(), name), noErr);
        std::string why;
        ASSERT_TRUE(imageIsConsistent(image.get(), &why)) << name << ": " << why;
        EXPECT_EQ(imageField(image.get(), 1).view(), name);
        EXPECT_EQ(imageField(image.get(), 3).str(), "SO");
        ClassEntry e;
        ASSERT_TRUE(imageClassEntry(image.get(), 0, &e));
        EXPECT_EQ(e.sectionOffset, 16 + 5 + name.size());
        PackageRecord r;
        ASSERT_EQ(expandImage(image.get(), &r), noErr);
        EXPECT_EQ(r.sectionCount, 3);
        EXPECT_EQ(netItemText(findNetItem(r, 2)), "GND\t4");
    }
}

// The sample image in file byte order, part by part: big-endian numbers, text as it is. Swapped
// back, it is the host image again; a block that does not hold its parts is refused untouched.
TEST(Image, FileLayoutAndSwaps) {
    const struct {
        const char* name;
        long offset; // from the start; negative: from the end
        std::vector<int> bytes;
    } parts[] = {// sections 3, classes 2, nets 2, 10 bytes of field text
                 {"header", 0, {0, 3, 0, 2, 0, 2, 0, 10}},
                 // link 0, the section 26 bytes on (at 34), the image start 8 bytes back
                 {"class entry for 5", 8, {0, 0, 0, 0, 0, 26, 0xFF, 0xF8}},
                 {"class entry for 9", 16, {0, 0, 0, 0, 0, 29, 0xFF, 0xF0}},
                 {"field text", 24, {'S', 'O', 'I', 'C', '8', 9, 'U', 9, 'S', 'O'}},
                 // Class ID, pin pairs, bytes of pin text, the text
                 {"section 5", 34, {0, 0, 0, 5, 0, 1, 0, 3, '1', 9, '2'}},
                 {"section 9", 45, {0, 0, 0, 9, 0, 0, 0, 0}},
                 {"second section 5", 53, {0, 0, 0, 5, 0, 2, 0, 7, '5', 9, '6', 9, '7', 9, '8'}},
                 // text length, then the text
                 {"net VCC", 68, {0, 5, 'V', 'C', 'C', 9, '8'}},
                 {"last net", -7, {0, 5, 'G', 'N', 'D', 9, '4'}}};
    UniqueHandle image = sampleImage();
    const std::vector<char> host = bytesOf(image.get());
    ASSERT_EQ(swapImageToFile(image.data(), image.size()), noErr);
    const auto* b = reinterpret_cast<const unsigned char*>(image.data());
    for (const auto& part : parts) {
        const long at = part.offset < 0 ? long(image.size()) + part.offset : part.offset;
        ASSERT_LE(at + long(part.bytes.size()), long(image.size())) << part.name;
        EXPECT_EQ(std::vector<int>(b + at, b + at + part.bytes.size()), part.bytes) << part.name;
    }
    EXPECT_EQ(swapImageToHost(image.data(), image.size()), noErr);
    EXPECT_EQ(bytesOf(image.get()), host);
    EXPECT_EQ(swapImageToFile(image.data(), image.size() - 1), paramErr);
    EXPECT_EQ(swapImageToHost(image.data(), 7), paramErr);
    EXPECT_EQ(bytesOf(image.get()), host);
}

TEST(Image, ConsistencyRejectsEveryTruncationAndDamage) {
    UniqueHandle image = sampleImage();
    const std::vector<char> good = bytesOf(image.get());

    // Every truncation is refused, and the readers stay inside the (exactly sized) copy.
    for (std::size_t n = 0; n < good.size(); ++n) {
        std::vector<char> cut(good.begin(), good.begin() + long(n));
        std::string why;
        EXPECT_FALSE(imageIsConsistent(cut.data(), n, &why)) << n;
        EXPECT_FALSE(why.empty());
        ImageReader reader(cut.data(), n);
        ImageNet net;
        while (reader.nextNet(&net)) {
        }
        PackageRecord r;
        UniqueHandle h(PtrToHand(cut.data(), Size(n)));
        EXPECT_EQ(expandImage(h.get(), &r), paramErr) << n;
    }
    std::vector<char> longer = good;
    longer.push_back(0);
    EXPECT_FALSE(imageIsConsistent(longer.data(), longer.size(), nullptr));

    // One 16-bit word (host order) overwritten.
    const struct {
        const char* name;
        long offset; // negative: from the end
        std::uint16_t value;
    } damage[] = {{"class count", 4, 1},
                  {"section offset to nowhere", 8 + 4, 42},
                  {"back offset", 8 + 6, 0},
                  {"entry for 9 at a section of 5", 16 + 4, 18},
                  {"net length above 255", -7, 300},
                  {"section count", 0, 0xFFFF}};
    for (const auto& word : damage) {
        std::vector<char> d = good;
        putHost16(d.data() + (word.offset < 0 ? long(d.size()) + word.offset : word.offset),
                  word.value);
        EXPECT_FALSE(imageIsConsistent(d.data(), d.size(), nullptr)) << word.name;
    }
}
