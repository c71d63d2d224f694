// What the commands that change a package file share: the file opened for writing as the editor
// opens it (its lock taken, a journal left by an unfinished save rolled back), saved through
// the editor's Save (one transaction through the journal: the file is either untouched or fully
// changed), and the packages a command names.
#pragma once
#include "model/PackageFile.h"

#include <string>
#include <vector>

namespace qpk {

// The package file at path opened for writing; on failure it is reported, *exitCode is set (2
// when another process holds the file open for writing, which the message names, 1 otherwise)
// and nullptr returned.
PackageFile* openForWriting(const std::string& path, int* exitCode);

// Saves the package file, closes it (compacting it when packages were deleted) and disposes of
// it. Returns the exit code; a failure is reported, and the file is then as it was before.
int saveAndClose(PackageFile* f, const std::string& path);

// The entries that selectors name, in list order, each once: a display name (every package of
// that name, as `qpk list` prints it) or @N (the N-th package, as `qpk list` and `qpk find`
// number them). A selector that names none is reported and false returned.
bool selectPackages(PackageFile* f, const std::string& path,
                    const std::vector<std::string>& selectors, std::vector<PackageEntry*>* out);

// A package in a message: "package @N \"NAME\"", its position and display name.
std::string packageWords(PackageFile* f, PackageEntry* e);

} // namespace qpk
