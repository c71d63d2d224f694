// Find: matching names and Class IDs, and the walk over a package file read from disk.
#include "model/ByteOrder.h"
#include "model/PackageFileIO.h"
#include "model/PackageFind.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"

#include <climits>
#include <gtest/gtest.h>

using namespace test_support;

namespace {

constexpr MatchMode kContaining = MatchMode::containing, kBeginning = MatchMode::beginningWith,
                    kEnding = MatchMode::endingWith, kMatching = MatchMode::matching;
constexpr SearchField kName = SearchField::name, kClass = SearchField::classId;

PackageSearch search(const char* text, MatchMode mode, SearchField field = kName) {
    PackageSearch s;
    s.text = Str255(text);
    s.mode = mode;
    s.field = field;
    return s;
}

// What the list window does with the package found: it becomes the only selection.
PackageEntry* selectOnly(PackageFile* f, PackageEntry* found) {
    for (PackageEntry* e = f->packages; e; e = e->next)
        e->flags = e == found ? kSelected : 0;
    return found;
}

} // namespace

TEST(PackageFind, NamesAndClassIdsMatchInEachMode) {
    const struct {
        MatchMode mode;
        const char *text, *candidate;
        bool matches;
    } names[] = {
        {kContaining, "pak", "DPAK-3", true},  {kContaining, "PAK", "dpak-3", true},
        {kContaining, "pak", "", false},       {kBeginning, "pak", "DPAK-3", false},
        {kBeginning, "dP", "DPAK-3", true},    {kEnding, "DPAK-3X", "DPAK-3", false},
        {kEnding, "k-3", "DPAK-3", true},      {kMatching, "dpak", "DPAK-3", false},
        {kMatching, "dpak-3", "DPAK-3", true}, {MatchMode(5), "DPAK-3", "DPAK-3", false},
    };
    for (const auto& row : names)
        EXPECT_EQ(SearchMatcher(search(row.text, row.mode)).matches(row.candidate), row.matches)
            << int(row.mode) << " " << row.text << " in " << row.candidate;

    const struct {
        MatchMode mode;
        const char* text;
        std::int32_t classId;
        bool matches;
    } ids[] = {
        {kEnding, "12", 4512, true},    {kEnding, "12", 12, true},
        {kEnding, "12", 1213, false},   {kEnding, "12", 1212, true},
        {kEnding, "12", -12, true},     {kMatching, "12", 12, true},
        {kMatching, "12", 4512, false}, {kMatching, "12", -12, false},
        {kMatching, "-12", -12, true},  {kMatching, "-2147483648", INT32_MIN, true},
    };
    for (const auto& row : ids)
        EXPECT_EQ(SearchMatcher(search(row.text, row.mode, kClass)).matchesClassId(row.classId),
                  row.matches)
            << int(row.mode) << " " << row.text << " in " << row.classId;
}

// DPAK-3 {4512}, SOT23 {1213} whose image is damaged, a long name {7, 12}, TO220 {-12}. (qpk find
// matches each package of a file alone: display names, the Class ID of any section, a damaged
// image reported and passed.)
TEST(PackageFind, WalkOverAFileReadsImagesKeepsThemAndSkipsUnreadableOnes) {
    ScratchDir dir;
    const std::string path = dir.path + "/lib.qpk";
    std::vector<UniqueHandle> images;
    images.push_back(packageImage("DPAK-3", {4512}));
    images.push_back(packageImage("SOT23", {1213}));
    images.push_back(packageImage("QFP100_14X14_0.5MM", {7, 12}));
    images.push_back(packageImage("TO220", {-12}));
    const auto at = writeRecordFile(path, images);
    auto bytes = readBytes(path);
    putBE16(bytes.data() + at[1], 255); // 255 sections: no longer fits its record
    writeBytes(path, bytes);
    OpenedFile opened;
    ASSERT_EQ(openPackageFile(path, FilePerm::readOnly, {}, &opened.file), noErr);
    PackageFile* f = opened.file;
    PackageEntry* p[4] = {f->packages};
    for (int i = 1; i < 4; ++i)
        p[i] = p[i - 1]->next;

    // Names: the display name only, no image read.
    EXPECT_EQ(findNextPackage(f, search("sot", kBeginning)), p[1]);
    EXPECT_EQ(p[1]->image, nullptr);

    int reported = 0;
    const UnreadableImageHook hook = [&](PackageEntry*, OSErr) { ++reported; };
    const PackageSearch ends12 = search("12", kEnding, kClass);
    EXPECT_EQ(findNextPackage(f, ends12, hook), p[0]);
    EXPECT_EQ(p[1]->image, nullptr); // not reached
    selectOnly(f, p[0]);
    EXPECT_EQ(findNextPackage(f, ends12, hook), p[2]);
    EXPECT_EQ(reported, 1);
    EXPECT_NE(p[0]->image, nullptr); // the images read stay in memory
    EXPECT_EQ(p[3]->image, nullptr);
    // After the last package the walk starts from the top; from the first one selected
    // otherwise. (That it never wraps past the end otherwise is the Find Again command's test.)
    selectOnly(f, p[3]);
    EXPECT_EQ(findNextPackage(f, ends12, hook), p[0]);
    p[0]->flags = p[3]->flags = kSelected;
    EXPECT_EQ(findNextPackage(f, ends12, hook), p[2]);
}
