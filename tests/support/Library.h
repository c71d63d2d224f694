// Libraries of packages for tests: generated at random the way a librarian would fill them,
// written into a new record file or as text, and the package files read back.
#pragma once
#include "model/PackageFile.h"
#include "model/RecordFile.h"
#include "model/Verify.h"
#include "tests/support/Images.h"

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace test_support {

// A valid Package as the package editor builds one: every text typed from the bytes its key
// filters pass (the letter y-umlaut, byte 255, among them), trimmed of blanks and upper-cased where
// the editor does it: a name of up to 17 characters, a prefix of up to 8, none to four shape
// fields of up to 56 (perhaps empty), 0-3 net items (now and then 8) of whole pins of up to 17
// (now and then up to the 255 bytes of a net), 1-4 sections (now and then 26) of any non-zero
// Class ID with 0-6 pin pairs each (now and then as many as a section line's 255 bytes hold).
PackageContents generateContents(std::mt19937& rng);
PackageRecord generatePackage(std::mt19937& rng);
// count such Packages as images, the same for the same seed.
std::vector<UniqueHandle> generatedLibrary(unsigned seed, int count);
// The exported text of the images, one after another.
std::string libraryText(const std::vector<UniqueHandle>& images);

// A new, empty record file at path, opened for writing without a journal, as an import fills
// one: every write goes straight to the file (nullptr, with a failure, when it cannot be made).
std::unique_ptr<RecordFile> newRecordFile(const std::string& path);
// A record file holding the images as package records, in that order, closed; their positions.
std::vector<std::uint32_t> writeRecordFile(const std::string& path,
                                           const std::vector<UniqueHandle>& images);

// The verifier's report on the file; a file with faults fails the test (the faults and what
// in the message).
VerifyReport verifyClean(const std::string& path, const std::string& what = "");

// The display names of the package list, from its head.
std::vector<std::string> displayNames(PackageFile* f);
PackageEntry* findEntry(PackageFile* f, std::string_view displayName); // nullptr if none
// The selected marks of the package list, one character per entry: '*' selected, '.' not.
std::string selectionMarks(const PackageFile* f);
// Marks exactly the entries at these indices selected (the flags alone: no window is redrawn).
void selectOnly(PackageFile* f, std::initializer_list<int> indices);

// Editors as a package file sees them, for tests without windows: open on the entries listed,
// each with changes when `changed` is set; commit counts its calls and returns commitError from
// the call numbered failAt (from 1; 0: never); close takes the entry off the list.
struct FakeEditors final : OpenEditors {
    std::vector<const PackageEntry*> open;
    bool changed = false;
    int commits = 0, failAt = 0;
    OSErr commitError = dskFulErr;
    bool isOpen(const PackageEntry* e) const override;
    bool hasChanges(const PackageEntry* e) const override { return changed && isOpen(e); }
    bool hasChangesIn(const PackageFile* f) const override;
    OSErr commit(PackageEntry* e) override;
    void close(PackageEntry* e) override;
};

// An open package file, closed without writing and disposed at the end of the scope.
struct OpenedFile {
    PackageFile* file = nullptr;
    OpenedFile() = default;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    ~OpenedFile();
};

} // namespace test_support
