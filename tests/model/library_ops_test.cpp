// The library operations without windows: each run on a small library, then again with every
// allocation and every file read it makes failing in turn, against the lists worked out by hand.
#include "model/LibraryOps.h"
#include "model/PackageFileIO.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"

#include <functional>
#include <gtest/gtest.h>

using namespace test_support;

namespace {

// A, B and C stored in the file; B renamed BEE in memory; N new, with an editor open on it; the
// other file holds X in memory (the clipboard to paste, or where copies go).
struct Library {
    PackageFile* f = nullptr;
    PackageFile* other = newPackageFile();
    FakeEditors editors;
    std::int64_t steps = 0;
    OpProgress progress = [this](std::int64_t, std::int64_t) { ++steps; };
    UniqueHandle edited = packageImage("  AY", {9}); // as an editor flattens its Package
    PackageEntry *a = nullptr, *bee = nullptr, *c = nullptr, *n = nullptr;

    explicit Library(const std::string& path) {
        EXPECT_EQ(openPackageFile(path, FilePerm::readWrite, {}, &f), noErr);
        while (f->packageCount > 3) { // the filler goes from the list, and stays in the file
            PackageEntry* filler = entryAt(f, 3);
            removeEntry(f, filler);
            disposeEntry(filler);
        }
        a = entryAt(f, 0);
        bee = entryAt(f, 1);
        c = entryAt(f, 2);
        EXPECT_EQ(renamePackage(bee, "BEE"), noErr);
        n = newEntry("N", packageImage("N", {4}).release(), 0, ImageState::modified);
        insertEntryAfter(f, c, n);
        editors.open = {n};
        f->editors = &editors;
        addEntry(other, newEntry("X", packageImage("X", {4}).release(), 0, ImageState::modified));
    }
    ~Library() {
        disposePackageFile(f);
        disposePackageFile(other);
    }
    static std::string names(PackageEntry* e) {
        std::string s;
        for (; e; e = e->next)
            s += (s.empty() ? "" : " ") + std::string(displayNameView(e));
        return s;
    }
    // The package list | the discard list | the other file's list | editors open, steps.
    std::string state() const {
        return names(f->packages) + "|" + names(f->discards) + "|" + names(other->packages) + "|" +
               std::to_string(editors.open.size()) + " " + std::to_string(steps);
    }
};

struct Case {
    const char* what;
    std::function<OSErr(Library&)> run;
    OSErr err;              // without faults
    const char* done;       // the state it leaves
    const char* memoryLost; // when an allocation fails (memFullErr unless noted in err)
    const char* readLost;   // when a read of a record fails
};

constexpr const char* kBefore = "A BEE C N||X|1 0";

const Case kCases[] = {
    {"copy to the clipboard",
     [](Library& l) {
         PackageFile* clip = nullptr;
         PackageEntry* const picked[] = {l.bee, l.a, l.n};
         Failures failed;
         OSErr err = copyToClipboard(picked, &failed, &clip, l.progress);
         if (!err) {
             // What could not be read is named; the clipboard replaces the other file.
             for (const EntryFailure& x : failed)
                 EXPECT_EQ(x.entry, l.a);
             disposePackageFile(l.other);
             l.other = clip;
         }
         return err;
     },
     noErr, "A BEE C N||BEE A N|1 3", kBefore, "A BEE C N||BEE N|1 3"},
    {"paste from the clipboard",
     [](Library& l) {
         PackageEntry* first = nullptr;
         OSErr err = pasteFromClipboard(l.other, l.f, &first, l.progress);
         EXPECT_EQ(first, err ? nullptr : l.n->next);
         return err;
     },
     noErr, "A BEE C N X||X|1 1", kBefore, nullptr},
    {"duplicate, an editor's edits committed",
     [](Library& l) {
         PackageEntry* const picked[] = {l.a, l.n};
         PackageEntry* first = nullptr;
         Failures failed;
         OSErr err = duplicatePackages(picked, l.f, &failed, &first, l.progress);
         if (!err) {
             EXPECT_EQ(l.editors.commits, 1);
         }
         return err;
     },
     noErr, "A BEE C N A+ N+||X|1 2", kBefore, "A BEE C N N+||X|1 2"},
    {"delete: stored to the discard list, new disposed of, editors closed",
     [](Library& l) {
         PackageEntry* const picked[] = {l.n, l.bee};
         return deletePackages(l.f, picked, l.progress);
     },
     noErr, "A C|BEE|X|0 2", nullptr, nullptr},
    {"revert: the stored name back, the new package gone",
     [](Library& l) {
         PackageEntry* const picked[] = {l.bee, l.n};
         Failures failed;
         OSErr err = revertPackages(l.f, picked, &failed, l.progress);
         for (const EntryFailure& x : failed)
             EXPECT_EQ(x.entry, l.bee);
         return err;
     },
     noErr, "A B C||X|0 2", "A ? C||X|0 2", "A ? C||X|0 2"},
    {"create at the end",
     [](Library& l) {
         PackageEntry* e = nullptr;
         OSErr err = createPackage(l.f, &e);
         EXPECT_TRUE(err ? !e : e == l.n->next && (e->flags & kModified) && !e->recordId);
         return err;
     },
     noErr, "A BEE C N Unnamed Package||X|1 0", kBefore, nullptr},
    {"rename: trimmed, read from the file first",
     [](Library& l) { return renamePackage(l.c, "  Cee  "); }, noErr, "A BEE Cee N||X|1 0", kBefore,
     kBefore},
    {"rename refused: a comma", [](Library& l) { return renamePackage(l.a, "A,1"); }, paramErr,
     kBefore, nullptr, nullptr},
    {"rename refused: an editor holds it", [](Library& l) { return renamePackage(l.n, "M"); },
     fBsyErr, kBefore, nullptr, nullptr},
    {"commit of an edited package",
     [](Library& l) {
         OSErr err = commitEdited(l.a, l.edited.get());
         if (!err) l.edited.release();
         return err;
     },
     noErr, "AY BEE C N||X|1 0", nullptr, nullptr},
};

struct LibraryOps : ScratchTest {
    void SetUp() override {
        std::vector<UniqueHandle> images;
        for (const char* name : {"A", "B", "C"})
            images.push_back(packageImage(name, {4}));
        // More than the read-ahead buffer holds follows, so that reading A, B or C again goes
        // to the file, where a fault can strike.
        for (int i = 0; i < 40; ++i)
            images.push_back(sizedImage(32000));
        ASSERT_EQ(writeRecordFile(path, images).size(), 43u);
    }
};

} // namespace

TEST_F(LibraryOps, EachOperationWithEveryAllocationAndReadFailingInTurn) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        {
            Library l(path);
            EXPECT_EQ(l.state(), kBefore);
            EXPECT_EQ(c.run(l), c.err);
            EXPECT_EQ(l.state(), c.done);
        }
        for (long nth = 1;; ++nth) {
            Library l(path);
            ArmMemoryFault(nth);
            const OSErr err = c.run(l);
            const bool fired = MemoryFaultFired();
            DisarmMemoryFault();
            if (!fired) break;
            ASSERT_TRUE(c.memoryLost) << "allocation " << nth;
            const bool kept = std::string(c.memoryLost) == kBefore;
            EXPECT_EQ(err, kept ? memFullErr : c.err) << "allocation " << nth;
            EXPECT_EQ(l.state().substr(0, l.state().rfind(' ')),
                      std::string(c.memoryLost).substr(0, std::string(c.memoryLost).rfind(' ')))
                << "allocation " << nth;
        }
        for (long nth = 1;; ++nth) {
            Library l(path);
            ScopedFileFault fault(failingCall(FileCall::read, nth));
            const OSErr err = c.run(l);
            if (!FileFaultFired()) break;
            ASSERT_TRUE(c.readLost) << "read " << nth;
            EXPECT_EQ(err, std::string(c.readLost) == kBefore ? FileFault::ioErrFail : c.err);
            EXPECT_EQ(l.state(), c.readLost) << "read " << nth;
        }
    }
}

TEST_F(LibraryOps, HeaderFieldsKeepTheEditorsRules) {
    const std::string longest(56, 'w');
    const struct {
        int field;
        const char* text;
        OSErr err;
        const char* stored;
    } rules[] = {
        {1, "  Name  ", noErr, "Name"},
        {1, "seventeen chars..", noErr, "seventeen chars.."},
        {1, "eighteen chars...!", paramErr, ""},
        {2, " ic ", noErr, "IC"},
        {2, "U.1", paramErr, ""},
        {2, "ABCDEFGHI", paramErr, ""},
        {3, "dip", noErr, "DIP"},
        {4, "a\tb", paramErr, ""},
        {5, "x,y", paramErr, ""},
        {6, longest.c_str(), noErr, ""},
        {6, "\x7f", paramErr, ""},
        {7, "x", paramErr, ""},
    };
    for (const auto& r : rules) {
        std::string out;
        EXPECT_EQ(headerFieldText(r.field, r.text, &out), r.err) << r.field << " " << r.text;
        if (r.err == noErr && *r.stored) {
            EXPECT_EQ(out, r.stored);
        }
    }

    // The field set reaches the image, and the save writes it.
    Library l(path);
    ASSERT_EQ(setHeaderField(l.c, 2, " ic "), noErr);
    PackageRecord r;
    ASSERT_EQ(expandImage(l.c->image, &r), noErr);
    EXPECT_EQ(packageFieldView(r, 2), "IC");
    EXPECT_EQ(packageFieldView(r, 1), "C");

    // Save commits the open editors first; a failing commit stops it with nothing written.
    l.editors.failAt = 1;
    EXPECT_EQ(savePackageFile(l.f), dskFulErr);
    EXPECT_TRUE(l.c->flags & kModified);
    EXPECT_EQ(savePackageFile(l.f), noErr);
    EXPECT_EQ(l.editors.commits, 2);
    EXPECT_FALSE(l.c->flags & kModified);
    EXPECT_NE(l.n->image, nullptr); // an edited package keeps its image
}
