// The three-way merge of package files that `qpk merge` does for git: the packages of two
// libraries that both come from a common one, matched by display name, combined into the first.
#pragma once
#include "model/PackageFile.h"

#include <cstdint>
#include <string>
#include <vector>

// Why a package could not be merged. The result keeps our side of it.
enum class MergeConflictKind {
    changedBoth,        // changed on both sides, differently (or added on both, differently)
    changedOursDeleted, // changed by us, deleted by them: ours kept
    deletedOursChanged, // deleted by us, changed by them: stays deleted
};

struct MergeConflict {
    std::string name;   // the display name
    int occurrence = 1; // 1 for the first package of that name, 2 for the second...
    MergeConflictKind kind = MergeConflictKind::changedBoth;
};

struct MergeReport {
    std::vector<MergeConflict> conflicts; // in the order of the result, then of theirs
    std::int32_t taken = 0;               // packages that took their side
    std::int32_t deleted = 0;             // packages deleted because they deleted them
    std::int32_t added = 0;               // their new packages appended
};

// Merges into ours what theirs changed since base. Packages are matched by display name, the
// n-th package of a name on one side with the n-th of that name on the others. A package is
// changed when its image differs from base's (class links aside: they describe where the file
// keeps the next package of the same Class ID, not the package). Changed on one side only: that
// side; the same change on both sides: once; deleted on one side and unchanged on the other:
// deleted; anything else is a conflict that keeps ours. Their new packages are appended in their
// order. Only the package list of ours changes (taken and added entries are modified, deleted
// stored entries go to the discard list); the caller saves it. Since a save writes changed
// packages after the others, the packages after the first one taken are marked to be written
// again too, so that the saved file lists ours in its order (in a file without free blocks, as
// every complete close leaves one). On an error (an image that cannot
// be read, memory) ours is left as it was.
OSErr mergeLibraries(PackageFile* base, PackageFile* ours, PackageFile* theirs,
                     MergeReport* report);

// True when two images hold the same package: the same bytes but for the class links.
bool sameImageContents(Handle a, Handle b);
