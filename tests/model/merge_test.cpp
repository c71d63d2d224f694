// The three-way merge, one row per rule, each merged (first with memory running out at each
// allocation in turn), saved and read back from the file.
#include "model/LibraryMerge.h"
#include "model/PackageFileIO.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace test_support;

namespace {

// A library is written as words "NT": the package packageImage(N, {4}, T), whose net is "GND\tT".
struct LibraryMerge : ScratchTest {
    PackageFile* make(const std::string& name, const std::string& lib, FilePerm perm) {
        std::vector<UniqueHandle> images;
        std::istringstream words(lib);
        for (std::string w; words >> w;)
            images.push_back(packageImage(w.substr(0, 1), {4}, w.substr(1)));
        writeRecordFile(dir + "/" + name, images);
        PackageFile* f = nullptr;
        EXPECT_EQ(openPackageFile(dir + "/" + name, perm, {}, &f), noErr);
        return f;
    }
    std::string words(PackageFile* f) {
        std::string lib;
        for (PackageEntry* e = f->packages; e; e = e->next) {
            OSErr err = noErr;
            ImageReader r(getImage(e, &err));
            ImageNet net;
            r.nextNet(&net);
            lib += (lib.empty() ? "" : " ") + std::string(displayNameView(e)) +
                   std::string(net.text.substr(4));
        }
        return lib;
    }
};

} // namespace

TEST_F(LibraryMerge, OneRowPerRule) {
    const char* kinds[] = {"both", "ours", "theirs"}; // the order of MergeConflictKind
    const struct {
        const char *rule, *base, *ours, *theirs, *result, *conflicts;
    } rows[] = {
        {"changed by us only", "A1 B1", "A2 B1", "A1 B1", "A2 B1", ""},
        {"changed by them only, our order kept", "A1 B1 C1", "A1 B1 C1", "A2 B1 C1", "A2 B1 C1",
         ""},
        {"the same change on both sides", "A1", "A2", "A2", "A2", ""},
        {"deleted by us", "A1 B1", "B1", "A1 B1", "B1", ""},
        {"deleted by them", "A1 B1", "A1 B1", "B1", "B1", ""},
        {"changed differently", "A1", "A2", "A3", "A2", "A:both "},
        {"changed by us, deleted by them", "A1 B1", "A2 B1", "B1", "A2 B1", "A:ours "},
        {"deleted by us, changed by them", "A1 B1", "B1", "A2 B1", "B1", "A:theirs "},
        {"added on both sides, differently", "", "N1", "N2", "N1", "N:both "},
        // A stands first in both, but its class link differs (E and D follow it in theirs).
        {"our order, then their additions in theirs", "A1", "C1 A1", "A1 E1 D1", "C1 A1 E1 D1", ""},
        {"several of one name, matched in order", "R1 R2 R3", "R1 R2", "R1 R9 R3", "R1 R9", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rule);
        OpenedFile base, ours, theirs, result;
        base.file = make("base.qpk", row.base, FilePerm::readOnly);
        ours.file = make("ours.qpk", row.ours, FilePerm::readWrite);
        theirs.file = make("theirs.qpk", row.theirs, FilePerm::readOnly);
        MergeReport report;
        OSErr err = memFullErr;
        for (long n = 1; err == memFullErr; ++n) { // memory running out leaves ours as it was
            ArmMemoryFault(n);
            err = mergeLibraries(base.file, ours.file, theirs.file, &report);
            DisarmMemoryFault();
            EXPECT_TRUE(!err || words(ours.file) == row.ours) << n;
        }
        ASSERT_EQ(err, noErr);
        std::string conflicts;
        for (const MergeConflict& c : report.conflicts)
            conflicts += c.name + ":" + kinds[int(c.kind)] + " ";
        EXPECT_EQ(conflicts, row.conflicts);
        ASSERT_EQ(savePackageFile(ours.file), noErr);
        ASSERT_EQ(closePackageFileRecords(ours.file, RecordClose::complete), noErr);
        ASSERT_EQ(openPackageFile(dir + "/ours.qpk", FilePerm::readOnly, {}, &result.file), noErr);
        EXPECT_EQ(words(result.file), row.result);
        verifyClean(dir + "/ours.qpk");
    }
}
