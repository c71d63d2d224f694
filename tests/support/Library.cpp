#include "tests/support/Library.h"

#include "model/PackageFileIO.h"
#include "model/RecordFileFormat.h"
#include "textfmt/Export.h"

#include <gtest/gtest.h>

namespace test_support {

namespace {

std::string word(std::mt19937& rng, int maxLength = 12) {
    static const std::string chars =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.+/\\#()[] \xe9\xfc";
    std::uniform_int_distribution<int> len(1, maxLength), pick(0, int(chars.size()) - 1);
    std::string w;
    const int n = len(rng);
    for (int i = 0; i < n; ++i)
        w += chars[std::size_t(pick(rng))];
    while (!w.empty() && w.back() == ' ')
        w.pop_back();
    while (!w.empty() && w.front() == ' ')
        w.erase(0, 1);
    return w.empty() ? "X" : w;
}

} // namespace

PackageRecord generatePackage(std::mt19937& rng) {
    auto roll = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    PackageContents contents;
    contents.fields = {word(rng, 20), word(rng, 4)};
    const int shapes = roll(1, 4);
    for (int i = 0; i < shapes; ++i)
        contents.fields.push_back(i + 1 < shapes && roll(0, 3) == 0 ? "" : word(rng));
    for (int n = roll(0, 3); n > 0; --n) {
        std::string text = word(rng);
        for (int p = roll(1, 5); p > 0; --p)
            text += "\t" + (roll(0, 1) ? std::to_string(roll(0, 999)) : word(rng, 4));
        contents.nets.push_back(text);
    }
    const int sections = roll(0, 9) == 0 ? kMaxSections : roll(1, 4);
    for (int s = 0; s < sections; ++s) {
        SectionContents section;
        section.classId = roll(-100000, 100000);
        if (section.classId == 0) section.classId = 1;
        for (int p = roll(0, 6); p > 0; --p) {
            std::string from = word(rng, 5);
            section.pins.emplace_back(std::move(from), std::to_string(roll(1, 300)));
        }
        contents.sections.push_back(std::move(section));
    }
    return buildPackage(contents);
}

std::vector<UniqueHandle> generatedLibrary(unsigned seed, int count) {
    std::mt19937 rng(seed);
    std::vector<UniqueHandle> images;
    for (int i = 0; i < count; ++i) {
        UniqueHandle image;
        EXPECT_EQ(flattenPackage(generatePackage(rng), &image), noErr);
        images.push_back(std::move(image));
    }
    return images;
}

std::string libraryText(const std::vector<UniqueHandle>& images) {
    std::string text;
    for (const UniqueHandle& image : images)
        EXPECT_TRUE(appendImageText(image.data(), std::size_t(image.size()), &text));
    return text;
}

std::unique_ptr<RecordFile> newRecordFile(const std::string& path) {
    std::unique_ptr<RecordFile> rf;
    EXPECT_EQ(RecordFile::create(path, "RHWQ", "QPK", "QPKG", 0), noErr);
    EXPECT_EQ(RecordFile::open(path, FilePerm::readWrite, &rf), noErr);
    if (rf) {
        EXPECT_EQ(rf->setJournaling(Journaling::off), noErr);
    }
    return rf;
}

std::vector<std::uint32_t> writeRecordFile(const std::string& path,
                                           const std::vector<UniqueHandle>& images) {
    std::vector<std::uint32_t> positions;
    std::unique_ptr<RecordFile> rf = newRecordFile(path);
    if (!rf) return positions;
    for (const UniqueHandle& image : images) {
        std::uint32_t pos = 0;
        EXPECT_EQ(rf->writeRecord(kRecordPackage, image.get(), &pos), noErr);
        positions.push_back(pos);
    }
    EXPECT_EQ(rf->close(), noErr);
    return positions;
}

VerifyReport verifyClean(const std::string& path, const std::string& what) {
    VerifyReport r;
    EXPECT_EQ(verifyRecordFile(path, &r), noErr) << what;
    if (!r.ok()) {
        std::string lines;
        for (const auto& fault : r.faults)
            lines += "\n  " + fault;
        ADD_FAILURE() << what << " " << r.faultCount << " faults:" << lines;
    }
    return r;
}

std::vector<std::string> displayNames(PackageFile* f) {
    std::vector<std::string> out;
    for (PackageEntry* e = f->packages; e; e = e->next)
        out.emplace_back(displayNameView(e));
    return out;
}

PackageEntry* findEntry(PackageFile* f, std::string_view displayName) {
    for (PackageEntry* e = f->packages; e; e = e->next)
        if (displayNameView(e) == displayName) return e;
    return nullptr;
}

OpenedFile::~OpenedFile() {
    if (file) {
        closePackageFileRecords(file, RecordClose::forced);
        disposePackageFile(file);
    }
}

} // namespace test_support
