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
    Failures failed;
    PackageEntry* first = nullptr;
    PackageEntry* picked[2] = {nullptr, nullptr};

    static std::string names(PackageEntry* e) {
        std::string s;
        for (; e; e = e->next)
            s += (s.empty() ? "" : " ") + std::string(displayNameView(e));
        return s;
    }
    // The package list | the discard list | the other file's list | editors open | the failed
    // entries | the first appended entry | progress steps.
    std::string state() const {
        std::string s = names(f->packages) + "|" + names(f->discards) + "|" +
                        names(other->packages) + "|" + std::to_string(editors.open.size()) + "|";
        for (const EntryFailure& x : failed)
            s += std::string(displayNameView(x.entry)) + " ";
        return s + "|" + (first ? names(first) : "") + "|" + std::to_string(steps);
    }
    Entries two(PackageEntry* x, PackageEntry* y) {
        picked[0] = x;
        picked[1] = y;
        return picked;
    }
};

struct Case {
    const char* what;
    std::function<OSErr(Library&)> run;
    OSErr err;              // without faults
    const char* done;       // the state it leaves
    const char* memoryLost; // when an allocation fails (memFullErr, unless err is noErr there)
    const char* readLost;   // when a read of a record fails
};

constexpr const char* kBefore = "A BEE C N||X|1|||0";

// The state without its progress steps, which stop where a fault stops an operation.
std::string unstepped(const std::string& s) {
    return s.substr(0, s.rfind('|'));
}

const Case kCases[] = {
    {"copy to the clipboard, in place of X",
     [](Library& l) {
         PackageFile* clip = nullptr;
         OSErr err = copyToClipboard(l.two(l.bee, l.a), &l.failed, &clip, l.progress);
         if (!err) std::swap(l.other, clip);
         disposePackageFile(clip);
         return err;
     },
     noErr, "A BEE C N||BEE A|1|||2", kBefore, "A BEE C N||BEE|1|A ||2"},
    {"paste from the clipboard",
     [](Library& l) { return pasteFromClipboard(l.other, l.f, &l.first, l.progress); }, noErr,
     "A BEE C N X||X|1||X|1", kBefore, nullptr},
    {"duplicate, an editor's edits committed first",
     [](Library& l) {
         OSErr err = duplicatePackages(l.two(l.a, l.n), l.f, &l.failed, &l.first, l.progress);
         return err ? err : l.editors.commits == 1 ? noErr : paramErr;
     },
     noErr, "A BEE C N A+ N+||X|1||A+ N+|2", kBefore, "A BEE C N N+||X|1|A |N+|2"},
    {"delete: stored to the discard list, new disposed of, editors closed",
     [](Library& l) { return deletePackages(l.f, l.two(l.n, l.bee), l.progress); }, noErr,
     "A C|BEE|X|0|||2", nullptr, nullptr},
    {"revert: the stored name back, the new package gone",
     [](Library& l) { return revertPackages(l.f, l.two(l.bee, l.n), &l.failed, l.progress); },
     noErr, "A B C||X|0|||2", "A ? C||X|0|? ||2", "A ? C||X|0|? ||2"},
    {"create at the end", [](Library& l) { return createPackage(l.f, &l.first); }, noErr,
     "A BEE C N Unnamed Package||X|1||Unnamed Package|0", kBefore, nullptr},
    {"rename: trimmed, read from the file first",
     [](Library& l) { return renamePackage(l.c, "  Cee  "); }, noErr, "A BEE Cee N||X|1|||0",
     kBefore, kBefore},
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
     noErr, "AY BEE C N||X|1|||0", nullptr, nullptr},
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
            EXPECT_EQ(unstepped(l.state()), unstepped(c.memoryLost)) << "allocation " << nth;
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
