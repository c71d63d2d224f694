// The three-way merge, one row per rule, each merged, saved and read back from the file.
#include "model/LibraryMerge.h"
#include "model/PackageFileIO.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

// A library as "NAME:TAG" words: packageImage(NAME, {4}, TAG), whose only net is "GND\tTAG".
using Lib = std::vector<std::string>;

struct LibraryMerge : ScratchTest {
    PackageFile* make(const std::string& name, const Lib& lib, FilePerm perm) {
        std::vector<UniqueHandle> images;
        for (const std::string& p : lib)
            images.push_back(
                packageImage(p.substr(0, p.find(':')), {4}, p.substr(p.find(':') + 1)));
        writeRecordFile(dir + "/" + name, images);
        PackageFile* f = nullptr;
        EXPECT_EQ(openPackageFile(dir + "/" + name, perm, {}, &f), noErr);
        return f;
    }
    // The library of a file, read back as words.
    Lib words(const std::string& name) {
        OpenedFile f;
        EXPECT_EQ(openPackageFile(dir + "/" + name, FilePerm::readOnly, {}, &f.file), noErr);
        Lib lib;
        for (PackageEntry* e = f.file->packages; e; e = e->next) {
            OSErr err = noErr;
            ImageReader r(getImage(e, &err));
            ImageNet net;
            r.nextNet(&net);
            lib.push_back(std::string(displayNameView(e)) + ":" + std::string(net.text.substr(4)));
        }
        return lib;
    }
};

} // namespace

TEST_F(LibraryMerge, OneRowPerRule) {
    using K = MergeConflictKind;
    struct Row {
        const char* rule;
        Lib base, ours, theirs, result;
        std::vector<std::pair<std::string, K>> conflicts = {};
    };
    const Row rows[] = {
        {"changed by us only", {"A:1", "B:1"}, {"A:2", "B:1"}, {"A:1", "B:1"}, {"A:2", "B:1"}},
        {"changed by them only", {"A:1", "B:1"}, {"A:1", "B:1"}, {"A:1", "B:2"}, {"A:1", "B:2"}},
        {"the same change on both sides", {"A:1"}, {"A:2"}, {"A:2"}, {"A:2"}},
        {"deleted by us", {"A:1", "B:1"}, {"B:1"}, {"A:1", "B:1"}, {"B:1"}},
        {"deleted by them", {"A:1", "B:1"}, {"A:1", "B:1"}, {"B:1"}, {"B:1"}},
        {"changed differently", {"A:1"}, {"A:2"}, {"A:3"}, {"A:2"}, {{"A", K::changedBoth}}},
        {"changed by us, deleted by them",
         {"A:1", "B:1"},
         {"A:2", "B:1"},
         {"B:1"},
         {"A:2", "B:1"},
         {{"A", K::changedOursDeleted}}},
        {"deleted by us, changed by them",
         {"A:1", "B:1"},
         {"B:1"},
         {"A:2", "B:1"},
         {"B:1"},
         {{"A", K::deletedOursChanged}}},
        {"added on both sides, differently",
         {},
         {"N:1"},
         {"N:2"},
         {"N:1"},
         {{"N", K::changedBoth}}},
        // A stands first in both, but its class link differs (E and D follow it in theirs).
        {"our order, their additions after it in their order",
         {"A:1"},
         {"C:1", "A:1"},
         {"A:1", "E:1", "D:1"},
         {"C:1", "A:1", "E:1", "D:1"}},
        {"several of one name, matched in order",
         {"R:1", "R:2", "R:3"},
         {"R:1", "R:2"},
         {"R:1", "R:9", "R:3"},
         {"R:1", "R:9"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        OpenedFile base, ours, theirs;
        base.file = make("base.qpk", row.base, FilePerm::readOnly);
        ours.file = make("ours.qpk", row.ours, FilePerm::readWrite);
        theirs.file = make("theirs.qpk", row.theirs, FilePerm::readOnly);
        MergeReport report;
        ASSERT_EQ(mergeLibraries(base.file, ours.file, theirs.file, &report), noErr);
        std::vector<std::pair<std::string, K>> conflicts;
        for (const MergeConflict& c : report.conflicts)
            conflicts.emplace_back(c.name, c.kind);
        EXPECT_EQ(conflicts, row.conflicts);
        ASSERT_EQ(savePackageFile(ours.file), noErr);
        ASSERT_EQ(closePackageFileRecords(ours.file, RecordClose::complete), noErr);
        EXPECT_EQ(words("ours.qpk"), row.result);
        verifyClean(dir + "/ours.qpk");
    }
}

// Memory running out at any allocation of a merge leaves ours as it was.
TEST_F(LibraryMerge, OutOfMemoryChangesNothing) {
    OpenedFile base, ours, theirs;
    base.file = make("base.qpk", {"A:1", "B:1"}, FilePerm::readOnly);
    ours.file = make("ours.qpk", {"A:1", "B:1"}, FilePerm::readWrite);
    theirs.file = make("theirs.qpk", {"A:2", "C:1"}, FilePerm::readOnly);
    MergeReport report;
    for (long n = 1;; ++n) {
        ArmMemoryFault(n);
        const OSErr err = mergeLibraries(base.file, ours.file, theirs.file, &report);
        const bool fired = MemoryFaultFired();
        DisarmMemoryFault();
        if (!fired) {
            ASSERT_EQ(err, noErr);
            break;
        }
        EXPECT_EQ(err, memFullErr);
        EXPECT_EQ(displayNames(ours.file), (std::vector<std::string>{"A", "B"}));
        EXPECT_FALSE(isModified(ours.file));
    }
    EXPECT_EQ(displayNames(ours.file), (std::vector<std::string>{"A", "C"}));
}
