// The package list with its row index, and what makes a file modified. (Display names are the
// I/O and the library operations tests'.)
#include "model/Image.h"
#include "model/PackageFile.h"
#include "tests/support/Library.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace test_support;

namespace {

UniqueHandle imageNamed(std::string_view name) {
    return buildImage({{std::string(name), "U"}, {}, {}});
}

// The list in row order, through the row index.
std::vector<std::string> names(PackageFile* f) {
    std::vector<std::string> out;
    for (std::int32_t i = 0; PackageEntry* e = entryAt(f, i); ++i)
        out.emplace_back(displayNameView(e));
    return out;
}

} // namespace

// (How reading and the library operations link, unlink and insert entries is the I/O and the
// library operations tests'; the list of open package files is the shell test's.)
TEST(PackageFile, RowIndexAndModified) {
    PackageFile* f = newPackageFile();
    ASSERT_NE(f, nullptr);
    for (const char* n : {"P4", "P3", "P2", "P1"})
        addEntry(f, newEntry(n, nullptr, 64, ImageState::stored));
    EXPECT_EQ(f->packageCount, 4);
    EXPECT_EQ(entryAt(f, 4), nullptr);
    EXPECT_EQ(entryAt(f, -1), nullptr);
    EXPECT_FALSE(isModified(f));

    PackageEntry* p2 = entryAt(f, 1);
    removeEntry(f, p2);
    EXPECT_EQ(names(f), (std::vector<std::string>{"P1", "P3", "P4"}));
    discardEntry(f, p2);
    EXPECT_TRUE(isModified(f)); // a record waits to be deleted

    // A new entry makes its file modified, and so does an open editor with unsaved changes,
    // through the file's editors.
    PackageFile* g = newPackageFile();
    PackageEntry* added = newEntry("NEW", imageNamed("NEW").release(), 0, ImageState::modified);
    insertEntryAfter(g, nullptr, added);
    EXPECT_TRUE(isModified(g));
    added->flags &= ~kModified;
    EXPECT_FALSE(isModified(g));
    FakeEditors editors;
    editors.open = {added};
    editors.changed = true;
    g->editors = &editors;
    EXPECT_TRUE(isModified(g));
    g->editors = nullptr;

    const std::size_t inUse = entriesInUse();
    disposePackageFile(f); // three listed entries and one discarded
    disposePackageFile(g);
    EXPECT_EQ(entriesInUse(), inUse - 5);
}
