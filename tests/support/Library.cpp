#include "tests/support/Library.h"

#include "model/PackageFileIO.h"
#include "model/RecordFileFormat.h"
#include "textfmt/Export.h"

#include <algorithm>
#include <climits>
#include <gtest/gtest.h>

namespace test_support {

bool FakeEditors::isOpen(const PackageEntry* e) const {
    return std::find(open.begin(), open.end(), e) != open.end();
}

bool FakeEditors::hasChangesIn(const PackageFile* f) const {
    return changed &&
           std::ranges::any_of(open, [f](const PackageEntry* e) { return e->owner == f; });
}

OSErr FakeEditors::commit(PackageEntry* e) {
    if (!isOpen(e)) return noErr;
    return ++commits == failAt ? commitError : noErr;
}

void FakeEditors::close(PackageEntry* e) {
    std::erase(open, e);
}

namespace {

// A text typed into an editor field of at most limit characters, from the bytes the key filters
// pass (32 to 255 but comma and DEL, and no period where noPeriod), a third of them among those
// the text format reads specially; stored as the editor stores it: trimmed, upper-cased where
// upperCase. Never empty unless mayBeEmpty.
std::string typed(std::mt19937& rng, int limit, bool upperCase, bool noPeriod = false,
                  bool mayBeEmpty = false) {
    static const std::string special = "\\- 0123456789\xff";
    auto roll = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Str255 s;
    do {
        std::string text;
        for (int n = roll(0, limit); n > 0; --n) {
            int c =
                roll(0, 2) ? ',' : static_cast<unsigned char>(special[std::size_t(roll(0, 13))]);
            while (c == ',' || c == 127 || (noPeriod && c == '.'))
                c = roll(32, 255);
            text += static_cast<char>(c);
        }
        s.assign(text);
        PStrTrim(s);
    } while (s.empty() && !mayBeEmpty);
    if (upperCase) PStrUpper(s);
    return s.str();
}

} // namespace

PackageContents generateContents(std::mt19937& rng) {
    auto roll = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    PackageContents c;
    c.fields = {typed(rng, 17, false), typed(rng, 8, true, true)};
    for (int i = roll(0, 4); i > 0; --i)
        c.fields.push_back(roll(0, 2) ? typed(rng, 56, c.fields.size() == 2, false, true) : "");
    for (int n = roll(0, 9) ? roll(0, 3) : 8; n > 0; --n) {
        std::string net = typed(rng, 17, true);
        for (int pins = roll(0, 4) ? roll(1, 5) : 99; pins > 0; --pins) {
            const std::string pin = typed(rng, 17, true);
            if (net.size() + 1 + pin.size() > 255) break;
            net += "\t" + pin;
        }
        c.nets.push_back(net);
    }
    const std::int32_t ids[] = {INT32_MIN, INT32_MAX, -1, 0};
    for (int n = roll(0, 9) ? roll(1, 4) : kMaxSections; n > 0; --n) {
        SectionContents section{ids[roll(0, 3)], {}};
        if (section.classId == 0) section.classId = roll(INT32_MIN, INT32_MAX) | 1;
        std::size_t length = 0;
        for (int pairs = roll(0, 9) ? roll(0, 6) : 99; pairs > 0; --pairs) {
            std::string a = typed(rng, 17, true), b = typed(rng, 17, true);
            length += (length ? 1 : 0) + a.size() + 1 + b.size();
            if (length > 255) break;
            section.pins.emplace_back(std::move(a), std::move(b));
        }
        c.sections.push_back(std::move(section));
    }
    return c;
}

PackageRecord generatePackage(std::mt19937& rng) {
    return buildPackage(generateContents(rng));
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

std::string selectionMarks(const PackageFile* f) {
    std::string s;
    for (const PackageEntry* e = f->packages; e; e = e->next)
        s += (e->flags & kSelected) ? '*' : '.';
    return s;
}

void selectOnly(PackageFile* f, std::initializer_list<int> indices) {
    for (PackageEntry* e = f->packages; e; e = e->next)
        e->flags &= ~kSelected;
    for (int i : indices)
        entryAt(f, i)->flags |= kSelected;
}

OpenedFile::~OpenedFile() {
    if (file) {
        closePackageFileRecords(file, RecordClose::forced);
        disposePackageFile(file);
    }
}

} // namespace test_support
