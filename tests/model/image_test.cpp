// The package image: flatten and expand, rename in place, byte order and structural checks.
#include "model/Image.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

void addSectionWithPins(PackageRecord& r, std::int32_t classId, std::string_view pins, int count) {
    ComponentSection s;
    s.classId = classId;
    s.pinChangeCount = std::uint16_t(count);
    if (!pins.empty()) s.pinChanges = PtrToHand(pins.data(), Size(pins.size()));
    ASSERT_EQ(addSection(r, 0, s), noErr);
}

// Sections of Class IDs 5, 0, 9, 5; nets: two valid ones around one without pin numbers.
PackageRecord samplePackage() {
    PackageRecord r;
    setPackageField(r, kFieldPackageName, "SOIC8");
    setPackageField(r, kFieldDesignatorPrefix, "U");
    setPackageField(r, kFieldShape, "SO");
    addSectionWithPins(r, 5, "1\t2", 1);
    addSectionWithPins(r, 0, "3\t4", 1);
    addSectionWithPins(r, 9, "", 0);
    addSectionWithPins(r, 5, "5\t6\t7\t8", 2);
    for (const char* t : {"VCC\t8", "NC", "GND\t4"})
        pushNetItem(r, newNetItem(std::string_view(t)));
    reverseNetItems(r);
    return r;
}

UniqueHandle sampleImage() {
    UniqueHandle image;
    EXPECT_EQ(flattenPackage(samplePackage(), &image), noErr);
    return image;
}

std::vector<char> bytes(Handle h) {
    return {h->data, h->data + h->size};
}

} // namespace

TEST(Image, FlattenAndExpand) {
    UniqueHandle image = sampleImage();
    ASSERT_TRUE(image);
    ImageHeader h;
    ASSERT_TRUE(readImageHeader(image.data(), image.size(), &h));
    EXPECT_EQ(h.sectionCount, 3); // Class ID 0 dropped
    EXPECT_EQ(h.netCount, 2);     // the net without pins dropped
    EXPECT_EQ(h.classCount, 2);
    EXPECT_EQ(imageFieldText(image.get()), "SOIC8\tU\tSO");
    // 8 header + 16 class table + 10 text + (8+3) + (8+0) + (8+7) + (2+5) + (2+5)
    EXPECT_EQ(image.size(), 8 + 16 + 10 + 11 + 8 + 15 + 7 + 7);

    ClassEntry e;
    ASSERT_TRUE(imageClassEntry(image.get(), 0, &e));
    EXPECT_EQ(e.classLink, 0u);
    EXPECT_EQ(e.backOffset, -8);
    EXPECT_EQ(e.sectionOffset, 16 + 10); // from offset 8 to the first section at 34
    std::int32_t id = 0;
    ASSERT_TRUE(imageClassEntryClassId(image.data(), image.size(), 0, &id));
    EXPECT_EQ(id, 5);
    ASSERT_TRUE(imageClassEntryClassId(image.data(), image.size(), 1, &id));
    EXPECT_EQ(id, 9);
    EXPECT_FALSE(imageClassEntry(image.get(), 2, &e));
    std::string why;
    EXPECT_TRUE(imageIsConsistent(image.get(), &why)) << why;
    EXPECT_TRUE(imageIsValid(image.get()));

    PackageRecord back;
    ASSERT_EQ(expandImage(image.get(), &back), noErr);
    ASSERT_EQ(back.sectionCount, 3);
    EXPECT_EQ(sectionAt(back, 1)->classId, 5);
    EXPECT_EQ(sectionAt(back, 2)->classId, 9);
    EXPECT_EQ(sectionAt(back, 2)->pinChanges, nullptr);
    EXPECT_EQ(std::string(sectionAt(back, 3)->pinChanges->data, 7), "5\t6\t7\t8");
    EXPECT_EQ(sectionAt(back, 3)->pinChangeCount, 2);
    ASSERT_EQ(countNetItems(back), 2);
    EXPECT_EQ(netItemText(findNetItem(back, 1)), "VCC\t8");
    EXPECT_EQ(netItemText(findNetItem(back, 2)), "GND\t4");

    // Flattening the expanded record reproduces the image exactly.
    UniqueHandle again;
    ASSERT_EQ(flattenPackage(back, &again), noErr);
    EXPECT_EQ(bytes(again.get()), bytes(image.get()));

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
        imageClassEntry(image.get(), 0, &e);
        EXPECT_EQ(e.sectionOffset, 16 + 5 + name.size());
        PackageRecord r;
        ASSERT_EQ(expandImage(image.get(), &r), noErr);
        EXPECT_EQ(r.sectionCount, 3);
        EXPECT_EQ(netItemText(findNetItem(r, 2)), "GND\t4");
    }
}

TEST(Image, ByteOrder) {
    char word[18] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    swapByTemplate(word, "L W2");
    EXPECT_EQ(std::string(word, 8), std::string("\4\3\2\1\6\5\10\7"));
    swapByTemplate(word, "X3 W F"); // skip 3 bytes, swap a 16-bit word, then an 8-byte value
    EXPECT_EQ(std::vector<int>(word, word + 14),
              (std::vector<int>{4, 3, 2, 6, 1, 13, 12, 11, 10, 9, 7, 8, 5, 14}));
    EXPECT_EQ(templateSize("LWL3"), 18u);
    EXPECT_EQ(templateSize("LW2"), 8u);
    EXPECT_EQ(templateSize("B12 F"), 20u);

    UniqueHandle image = sampleImage();
    const std::vector<char> host = bytes(image.get());
    ASSERT_EQ(swapImageToFile(image.data(), image.size()), noErr);
    const auto* b = reinterpret_cast<const unsigned char*>(image.data());
    EXPECT_EQ(std::vector<int>(b, b + 8), (std::vector<int>{0, 3, 0, 2, 0, 2, 0, 10}));
    EXPECT_EQ(std::vector<int>(b + 8, b + 16), (std::vector<int>{0, 0, 0, 0, 0, 26, 0xFF, 0xF8}));
    EXPECT_EQ(std::vector<int>(b + 34, b + 42), (std::vector<int>{0, 0, 0, 5, 0, 1, 0, 3}));
    const std::size_t lastNet = host.size() - 7;
    EXPECT_EQ(b[lastNet], 0);
    EXPECT_EQ(b[lastNet + 1], 5);
    EXPECT_EQ(swapImageToHost(image.data(), image.size()), noErr);
    EXPECT_EQ(bytes(image.get()), host);

    // A block that does not hold its parts is refused and left untouched.
    EXPECT_EQ(swapImageToFile(image.data(), image.size() - 1), paramErr);
    EXPECT_EQ(swapImageToHost(image.data(), 7), paramErr);
    EXPECT_EQ(bytes(image.get()), host);
}

TEST(Image, ConsistencyRejectsDamage) {
    UniqueHandle image = sampleImage();
    const std::vector<char> good = bytes(image.get());

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

    auto damaged = [&](std::size_t at, std::uint16_t value) {
        std::vector<char> d = good;
        putHost16(d.data() + at, value);
        return imageIsConsistent(d.data(), d.size(), nullptr);
    };
    EXPECT_FALSE(damaged(4, 1));                 // class count
    EXPECT_FALSE(damaged(8 + 4, 42));            // section offset of the entry for 5: now nowhere
    EXPECT_FALSE(damaged(8 + 6, 0));             // back offset
    EXPECT_FALSE(damaged(16 + 4, 18));           // the entry for 9 pointing at a section of 5
    EXPECT_FALSE(damaged(good.size() - 7, 300)); // net length above 255
    EXPECT_FALSE(damaged(0, 0xFFFF));            // section count
}
