// qpk new FILE: an empty package file, made as File > New makes it, where no file is yet.
#include "cli/Command.h"
#include "model/PackageFileIO.h"
#include "toolbox/core/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

int newFile(const qpk::Invocation& in) {
    const std::string& path = in.args[0];
    // The name is claimed first, in one step, so that a file that is there (or comes meanwhile)
    // is never replaced. Any other failure is the package file's own to report.
    const int claimed = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (claimed < 0 && errno == EEXIST) return qpk::fail(path, qpk::errorWords(dupFNErr));
    if (claimed >= 0) ::close(claimed);
    PackageFile* f = nullptr;
    OSErr err = createPackageFile(path, {}, &f);
    if (!err) err = closePackageFileRecords(f, RecordClose::complete);
    disposePackageFile(f);
    if (!err) return qpk::kExitOk;
    if (claimed >= 0) FSpDelete(FSSpec::fromPath(path)); // nothing half made is left
    return qpk::fail(path, qpk::fileErrorWords(err, path));
}

const qpk::Registrar newCommand({
    .name = "new",
    .summary = "create an empty package file",
    .description = "Creates an empty package file, as File > New does: file type QPKG, creator "
                   "RHWQ, no reserved area, its index header and empty class index written. A "
                   "file that is already there is never replaced: qpk new refuses it with "
                   "\"File already exists.\" and exit code 1.",
    .arguments = {{"FILE", "the package file to create", qpk::kFile}},
    .run = newFile,
});

} // namespace
