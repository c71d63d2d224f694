// The export's exact layout and bad images, and the round trip of Packages built under the
// editor's rules through the export and the import.
#include "tests/support/Files.h"
#include "tests/support/Import.h"
#include "tests/support/Library.h"

#include <climits>
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
    // A header of name and prefix alone is read back as a Package without shape fields.
    const std::string headerOnly = imageToText(buildImage(headerOnlyPackage()).get());
    EXPECT_EQ(headerOnly, "Q,U\r\n\t9,0\r\n\t-3,3\tA,B\tC,D\tE,F\r\n");
    ImportRun run;
    importBytes(headerOnly, &run);
    EXPECT_EQ(run.result.code, kImportOk);
    EXPECT_EQ(run.result.problemsReported, 0);
    EXPECT_EQ(run.sink.text(), headerOnly);

    EXPECT_EQ(imageToText(nullptr), "");
    const char shortImage[3] = {};
    std::string out = "keep";
    EXPECT_FALSE(appendImageText(shortImage, sizeof shortImage, &out));
    EXPECT_EQ(out, "keep");

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
    // The most sections a Package holds (26), each with a long line of pairs: 6 KB of text after
    // what out held.
    PackageContents big{{"BIG", "U", "SO"}, {}, {}};
    std::string bigText = "keepBIG,U,SO";
    for (int i = 1; i <= 26; ++i) {
        big.sections.push_back(
            {1000 + i, std::vector<std::pair<std::string, std::string>>(30, {"100", "200"})});
        bigText += "\r\n\t" + std::to_string(1000 + i) + ",30";
        for (int k = 0; k < 30; ++k)
            bigText += "\t100,200";
    }
    out = "keep";
    UniqueHandle bigImage = buildImage(big);
    ASSERT_TRUE(appendImageText(bigImage.data(), std::size_t(bigImage.size()), &out));
    EXPECT_EQ(out, bigText + "\r\n");

    // A stored net text of 256 bytes is written cut to its first 255.
    std::vector<char> longNet = bytes;
    const std::string_view image(bytes.data(), bytes.size());
    const std::size_t lastNet = image.rfind("VCC") - 2; // its 16-bit length word
    longNet.resize(lastNet + 2 + 256, 'x');
    putHost16(&longNet[lastNet], 256);
    out.clear();
    ASSERT_TRUE(appendImageText(longNet.data(), longNet.size(), &out));
    EXPECT_EQ(out, "R1,R,AX\r\n\t\\GND,7,8\r\n\t\\VCC,1" + std::string(250, 'x') +
                       "\r\n\t12,2\t1,2\t3,4\r\n\t7,0\r\n");
}

namespace {

// Packages as the editor builds them. Every text is typed from the bytes the header and field
// editors' key filters pass (32 to 255 but comma and DEL), a third of them from those the text
// format reads specially, then trimmed of blanks and upper-cased where the editor does it:
// name 17 characters, prefix 8 (no period), shape and its parameters 56 (often empty), pins and
// net names 17. 0 to 26 sections of any non-zero Class ID, with pairs while their text stays
// within the 255 bytes a section line holds; nets of whole pins up to their 255 bytes.
class EditorPackages {
public:
    explicit EditorPackages(unsigned seed) : rng_(seed) {}

    PackageContents next() {
        PackageContents c;
        c.fields = {typed(17, false, false), typed(8, true, true), typed(56, true, false)};
        for (int i = 0; i < 3; ++i)
            c.fields.push_back(chance(2) ? std::string() : typed(56, false, false));
        const int sections = chance(8) ? 0 : chance(8) ? kMaxSections : roll(1, 4);
        for (int s = 0; s < sections; ++s) {
            SectionContents section;
            const std::int32_t ids[] = {INT32_MIN, INT32_MAX, -1, 1, 0};
            section.classId = ids[roll(0, 4)];
            if (section.classId == 0) section.classId = roll(INT32_MIN, INT32_MAX) | 1;
            std::size_t length = 0;
            for (int pairs = chance(6) ? 99 : roll(0, 4); pairs > 0; --pairs) {
                std::string a = pin(), b = pin();
                const std::size_t after = length + (length ? 1 : 0) + a.size() + 1 + b.size();
                if (after > 255) break;
                length = after;
                section.pins.emplace_back(std::move(a), std::move(b));
            }
            c.sections.push_back(std::move(section));
        }
        for (int n = chance(10) ? 12 : roll(0, 3); n > 0; --n) {
            std::string net = pin();
            for (int pins = chance(4) ? 99 : roll(1, 4); pins > 0; --pins) {
                const std::string p = pin();
                if (net.size() + 1 + p.size() > 255) break;
                net += '\t' + p;
            }
            c.nets.push_back(net);
        }
        return c;
    }

private:
    int roll(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int oneIn) { return roll(1, oneIn) == 1; }
    std::string typed(int limit, bool upperCase, bool noPeriod) {
        static const std::string special = "\\- 0123456789\xff";
        std::string text;
        for (int n = roll(0, limit); n > 0; --n) {
            int c = ',';
            if (roll(0, 2) == 0) c = static_cast<unsigned char>(special[roll(0, 13)]);
            while (c == ',' || c == 127 || (noPeriod && c == '.'))
                c = roll(32, 255);
            text += static_cast<char>(c);
        }
        Str255 s;
        s.assign(text);
        PStrTrim(s);
        if (upperCase) PStrUpper(s);
        return s.str();
    }
    std::string pin() {
        const std::string p = typed(17, true, false);
        return p.empty() ? "-" : p;
    }
    std::mt19937 rng_;
};

// A Package as the comparison sees it: the six header fields, each section's Class ID and pin
// text, each net's text.
std::string spelt(const PackageContents& c) {
    std::string out;
    for (std::size_t i = 0; i < 6; ++i)
        out += (i < c.fields.size() ? c.fields[i] : std::string()) + "|";
    for (const SectionContents& s : c.sections) {
        out += "\n" + std::to_string(s.classId);
        for (const auto& [a, b] : s.pins)
            out += " " + a + ">" + b;
    }
    for (const std::string& net : c.nets)
        out += "\nnet " + net;
    return out;
}

std::string spelt(Handle image) {
    PackageRecord r;
    EXPECT_EQ(expandImage(image, &r), noErr);
    PackageContents c;
    for (int i = 1; i <= 6; ++i)
        c.fields.emplace_back(packageFieldView(r, i));
    for (int k = 1; k <= r.sectionCount; ++k) {
        const ComponentSection* s = sectionAt(r, k);
        SectionContents section{s->classId, {}};
        std::vector<std::string> pins(1);
        for (char ch : std::string_view(s->pinChanges ? s->pinChanges->data : "",
                                        s->pinChanges ? std::size_t(s->pinChanges->size) : 0))
            ch == '\t' ? pins.emplace_back() : pins.back() += ch;
        for (std::size_t i = 0; i + 1 < pins.size(); i += 2)
            section.pins.emplace_back(pins[i], pins[i + 1]);
        c.sections.push_back(section);
    }
    forEachNetItem(r, [&](const NetItem* n) { c.nets.emplace_back(netItemText(n)); });
    return spelt(c);
}

} // namespace

// Packages built under the editor's rules go into a package file, out through qpk's export and
// back through the import: every Package the export writes (a name, a prefix and a section)
// comes back identical, with nothing reported, and exporting what came back gives the same text.
TEST(TextRoundTrip, EditorPackagesComeBackIdentical) {
    ScratchDir scratch;
    const std::string qpk = scratch.path + "/lib.qpk", txt = scratch.path + "/lib.txt";
    long compared = 0;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        EditorPackages editor(seed);
        std::vector<UniqueHandle> images;
        std::vector<std::string> expected;
        for (int i = 0; i < 40; ++i) {
            const PackageContents c = editor.next();
            images.push_back(buildImage(c));
            if (!c.fields[0].empty() && !c.fields[1].empty() && !c.sections.empty())
                expected.push_back(spelt(c));
        }
        writeRecordFile(qpk, images);
        {
            std::unique_ptr<RecordFile> records;
            ASSERT_EQ(RecordFile::open(qpk, FilePerm::readOnly, &records), noErr);
            ASSERT_EQ(exportRecordFile(*records, txt), noErr);
        }
        const std::string text = readText(txt);
        ImportRun run;
        run.result = importText(txt, run.sink, &run.reporter);
        ASSERT_EQ(run.result.code, kImportOk) << "seed " << seed;
        EXPECT_EQ(run.result.problemsReported, 0) << "seed " << seed;
        ASSERT_EQ(run.sink.images.size(), expected.size()) << "seed " << seed;
        for (std::size_t i = 0; i < expected.size(); ++i, ++compared)
            EXPECT_EQ(spelt(run.sink.images[i].get()), expected[i])
                << "seed " << seed << " package " << i;
        EXPECT_EQ(run.sink.text(), text) << "seed " << seed;
    }
    EXPECT_GT(compared, 1000);
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
        UniqueHandle h(NewHandle(static_cast<Size>(bytes.size())));
        if (!bytes.empty()) std::memcpy(h.data(), bytes.data(), bytes.size());
        if (swapImageToHost(h.data(), bytes.size()) != noErr || !imageIsValid(h.get()))
            return false;
        return appendImageText(h.data(), bytes.size(), out);
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
