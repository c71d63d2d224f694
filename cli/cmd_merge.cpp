// qpk merge BASE OURS THEIRS: the three-way merge of package files, as a git merge driver.
#include "cli/Command.h"
#include "cli/Editing.h"
#include "model/LibraryMerge.h"
#include "model/PackageFileIO.h"

#include <sys/stat.h>

namespace {

// A side of the merge, read-only. Git hands an empty BASE for a file that both sides added:
// that is an empty library.
PackageFile* openReadOnly(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
        return newPackageFile();
    PackageFile* f = nullptr;
    if (OSErr err = openPackageFile(path, FilePerm::readOnly, {}, &f)) {
        qpk::fail(path, qpk::fileErrorWords(err, path));
        return nullptr;
    }
    return f;
}

std::string conflictWords(const MergeConflict& c) {
    std::string what = "conflict in package \"" + c.name + "\"";
    if (c.occurrence > 1) what += " (number " + std::to_string(c.occurrence) + " of that name)";
    switch (c.kind) {
    case MergeConflictKind::changedBoth:
        return what + ": changed on both sides; ours kept";
    case MergeConflictKind::changedOursDeleted:
        return what + ": changed by ours, deleted by theirs; ours kept";
    case MergeConflictKind::deletedOursChanged:
        return what + ": deleted by ours, changed by theirs; left deleted";
    }
    return what;
}

int merge(const qpk::Invocation& in) {
    const std::string &basePath = in.args[0], &oursPath = in.args[1], &theirsPath = in.args[2];
    PackageFile* base = openReadOnly(basePath);
    if (!base) return qpk::kExitBadInput;
    qpk::FileCloser closeBase{base};
    PackageFile* theirs = openReadOnly(theirsPath);
    if (!theirs) return qpk::kExitBadInput;
    qpk::FileCloser closeTheirs{theirs};
    int exit = qpk::kExitOk;
    PackageFile* ours = qpk::openForWriting(oursPath, &exit);
    if (!ours) return exit;
    MergeReport report;
    if (OSErr err = mergeLibraries(base, ours, theirs, &report)) {
        disposePackageFile(ours);
        return qpk::fail(oursPath, qpk::errorWords(err));
    }
    if ((exit = qpk::saveAndClose(ours, oursPath))) return exit;
    for (const MergeConflict& c : report.conflicts)
        qpk::reportError(oursPath, conflictWords(c));
    return report.conflicts.empty() ? qpk::kExitOk : qpk::kExitBadInput;
}

const qpk::Registrar mergeCommand({
    .name = "merge",
    .summary = "merge two package files that come from a common one (a git merge driver)",
    .description =
        "Merges into OURS what THEIRS changed since BASE, and saves OURS as the editor saves "
        "it. Packages are matched by display name, several of one name in the order they "
        "stand in. A package changed on one side only takes that side, the same change on both "
        "sides is taken once, and a package deleted on one side and unchanged on the other is "
        "deleted. A package changed on both sides differently, or changed on one side and "
        "deleted on the other, is a conflict: OURS's version stays, and the package is named "
        "on standard error. The result keeps the order of OURS, with the packages THEIRS added "
        "after them in the order of THEIRS. An empty BASE is an empty library.\n\nAs git's "
        "merge driver: git config merge.qpk.driver 'qpk merge %O %A %B', and \"*.qpk "
        "merge=qpk\" in .gitattributes.\n\nExits with 0 for a clean merge, 1 with conflicts or "
        "when a file cannot be read or written, 2 when another program holds OURS open for "
        "writing.",
    .arguments = {{"BASE", "the common ancestor", qpk::kFile},
                  {"OURS", "our version, where the result is written", qpk::kFile},
                  {"THEIRS", "their version", qpk::kFile}},
    .run = merge,
});

} // namespace
