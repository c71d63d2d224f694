// The export's exact layout, and export -> import -> export over generated libraries.
#include "textfmt_support.h"

#include <gtest/gtest.h>
#include <random>

using namespace textfmt_test;

namespace {

UniqueHandle flatten(const PackageRecord& r) {
    UniqueHandle image;
    EXPECT_EQ(flattenPackage(r, &image), noErr);
    return image;
}

void addNet(PackageRecord& r, std::string_view text) {
    insertNetItem(r, countNetItems(r) + 1, newNetItem(text));
}

void addSectionWith(PackageRecord& r, std::int32_t classId,
                    std::initializer_list<std::pair<const char*, const char*>> pairs) {
    ComponentSection s;
    s.classId = classId;
    ASSERT_EQ(addSection(r, kMaxSections + 1, s), noErr);
    for (const auto& [a, b] : pairs)
        ASSERT_EQ(appendPinPair(r, r.sectionCount, a, b), noErr);
}

// A generated text of 1 to 12 characters that a librarian could type into a field: no blanks at
// either end, no TAB, comma or control character.
std::string word(std::mt19937& rng, int maxLength = 12) {
    static const std::string chars =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.+/\\#()[] \xe9\xfc";
    std::uniform_int_distribution<int> len(1, maxLength), pick(0, int(chars.size()) - 1);
    std::string w;
    const int n = len(rng);
    for (int i = 0; i < n; ++i)
        w += chars[pick(rng)];
    while (!w.empty() && w.back() == ' ')
        w.pop_back();
    while (!w.empty() && w.front() == ' ')
        w.erase(0, 1);
    return w.empty() ? "X" : w;
}

// A valid Package with one to four shape fields, the last of them non-empty.
PackageRecord generatePackage(std::mt19937& rng) {
    auto roll = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    PackageRecord r;
    setPackageField(r, kFieldPackageName, word(rng, 20));
    setPackageField(r, kFieldDesignatorPrefix, word(rng, 4));
    const int shapes = roll(1, 4);
    for (int i = 0; i < shapes; ++i)
        setPackageField(r, kFieldShape + i, i + 1 < shapes && roll(0, 3) == 0 ? "" : word(rng));
    for (int n = roll(0, 3); n > 0; --n) {
        std::string text = word(rng);
        for (int p = roll(1, 5); p > 0; --p)
            text += "\t" + (roll(0, 1) ? std::to_string(roll(0, 999)) : word(rng, 4));
        addNet(r, text);
    }
    const int sections = roll(0, 9) == 0 ? kMaxSections : roll(1, 4);
    for (int s = 0; s < sections; ++s) {
        std::int32_t classId = roll(-100000, 100000);
        if (classId == 0) classId = 1;
        addSectionWith(r, classId, {});
        for (int p = roll(0, 6); p > 0; --p)
            appendPinPair(r, r.sectionCount, word(rng, 5), std::to_string(roll(1, 300)));
    }
    return r;
}

} // namespace

TEST(TextExport, ExactLayout) {
    PackageRecord r;
    setPackageField(r, kFieldPackageName, "R1");
    setPackageField(r, kFieldDesignatorPrefix, "R");
    setPackageField(r, kFieldShape, "AX");
    addNet(r, "GND\t7\t8");
    addSectionWith(r, 12, {{"1", "2"}, {"3", "4"}});
    EXPECT_EQ(imageToText(flatten(r).get()), "R1,R,AX\r\n\t\\GND,7,8\r\n\t12,2\t1,2\t3,4\r\n");

    // Trailing TAB, LF and CR of the header go; a section without pairs is its two numbers; a
    // Class ID 0 section and an invalid net item never reach the image, so never the text.
    PackageRecord q;
    setPackageField(q, kFieldPackageName, "Q");
    setPackageField(q, kFieldDesignatorPrefix, "U");
    setPackageField(q, 4, "\r\n");
    setPackageField(q, 6, "");
    addNet(q, "NOPINS");
    addSectionWith(q, 0, {{"1", "2"}});
    addSectionWith(q, 9, {});
    addSectionWith(q, -3, {{"A", "B"}, {"C", "D"}, {"E", "F"}});
    EXPECT_EQ(imageToText(flatten(q).get()), "Q,U\r\n\t9,0\r\n\t-3,3\tA,B\tC,D\tE,F\r\n");

    // Such a header (name and prefix alone) is not read back: the import wants a shape field.
    ImportRun run;
    importBytes(imageToText(flatten(q).get()), &run);
    EXPECT_EQ(run.result.code, kImportSyntax);
    EXPECT_EQ(run.reporter.errors.at(0).lineNumber, 1);

    EXPECT_EQ(imageToText(nullptr), "");
    const char shortImage[3] = {};
    std::string out = "keep";
    EXPECT_FALSE(appendImageText(shortImage, sizeof shortImage, &out));
    EXPECT_EQ(out, "keep");
}

// Export, import, export is byte-identical, and the images read back equal the originals.
TEST(TextRoundTrip, GeneratedLibraries) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        std::vector<UniqueHandle> originals;
        std::string text;
        for (int i = 0; i < 25; ++i) {
            originals.push_back(flatten(generatePackage(rng)));
            ASSERT_TRUE(imageIsValid(originals.back().get()));
            ASSERT_TRUE(appendImageText(originals.back().data(),
                                        std::size_t(originals.back().size()), &text));
        }
        ImportRun run;
        importBytes(text, &run);
        ASSERT_EQ(run.result.code, kImportOk) << "seed " << seed;
        EXPECT_EQ(run.result.problemsReported, 0) << "seed " << seed;
        ASSERT_EQ(run.sink.images.size(), originals.size());
        EXPECT_EQ(run.sink.text(), text) << "seed " << seed;
        for (std::size_t i = 0; i < originals.size(); ++i) {
            const UniqueHandle& a = originals[i];
            const UniqueHandle& b = run.sink.images[i];
            ASSERT_EQ(a.size(), b.size()) << "seed " << seed << " package " << i;
            EXPECT_EQ(std::string_view(a.data(), a.size()), std::string_view(b.data(), b.size()))
                << "seed " << seed << " package " << i;
        }
    }
}
