// Find on generated libraries: a name search that walks every display name, and a Class ID
// search over Packages that are not in memory, beside a plain sequential read of the same file
// measured in the same run.
//
//   bench_find [NAMES CLASSES]     default: 1000000 100000 (Packages in each library)
//
// Both searches look for a text no Package has, so the walk goes to the end of the list. Figures
// are the best of three runs, CPU time and wall time; the ratio is of CPU time, since the machine
// may be busy with other work. The scratch files go to $TMPDIR (or /tmp).
#include "common/Checks.h"
#include "common/FileBytes.h"
#include "common/Generate.h"
#include "common/Timing.h"
#include "model/PackageFileIO.h"
#include "model/PackageFind.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using bench::best;
using bench::check;
using bench::die;
using bench::plainRead;
using bench::Timing;

PackageSearch searchFor(const char* text, SearchField field, MatchMode mode) {
    PackageSearch s;
    s.text = Str255(text);
    s.field = field;
    s.mode = mode;
    return s;
}

PackageFile* openLibrary(const std::string& path, std::size_t count) {
    check(bench::writeLibraryFile(path, count), "generating the library");
    PackageFile* f = nullptr;
    check(openPackageFile(path, FilePerm::readOnly, {}, &f), "open");
    return f;
}

void row(const char* what, const Timing& t, const char* target) {
    std::printf("  %-44s %8.1f %8.1f   %s\n", what, t.cpu, t.wall, target);
}

} // namespace

int main(int argc, char** argv) {
    std::size_t names = 1000000, classes = 100000;
    if (argc == 3) {
        names = std::strtoul(argv[1], nullptr, 10);
        classes = std::strtoul(argv[2], nullptr, 10);
    } else if (argc != 1) {
        die("usage: bench_find [NAMES CLASSES]");
    }
    check(initEntryPool(), "entry pool");
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp");
    const std::string lib = dir + "/bench_find_" + std::to_string(getpid()) + ".qpk";
    std::printf("bench_find: best of 3 runs, CPU and wall time in ms\n");
    std::printf("  %-44s %8s %8s   %s\n", "(ms)", "cpu", "wall", "target");

    // Every display name, in each mode that has to look past the first characters.
    PackageFile* f = openLibrary(lib, names);
    std::printf("  %zu packages, %.1f MB\n", names, bench::fileBytes(lib) / 1e6);
    for (MatchMode mode : {MatchMode::containing, MatchMode::endingWith}) {
        const PackageSearch search = searchFor("#NONE#", SearchField::name, mode);
        const Timing t = best([&] { return findNextPackage(f, search) == nullptr; });
        row(mode == MatchMode::containing ? "find by name, containing, every name"
                                          : "find by name, ending with, every name",
            t, "under 100 ms");
    }
    disposePackageFile(f);

    // Every Class ID, each image read from the file first; the images the walk reads stay in
    // memory, so each run starts with all of them purged again.
    f = openLibrary(lib, classes);
    std::printf("  %zu packages, %.1f MB\n", classes, bench::fileBytes(lib) / 1e6);
    const PackageSearch search = searchFor("0", SearchField::classId, MatchMode::matching);
    const Timing read = best([&] { plainRead(lib); });
    const Timing find = best(
        [&] {
            for (PackageEntry* e = f->packages; e; e = e->next)
                purgeEntry(e);
        },
        [&] { return findNextPackage(f, search) == nullptr; });
    // A second reference: each package's record read through the record file into a handle of
    // its own and swapped to host order, as the search must, but expanded into nothing and kept
    // nowhere.
    const Timing records = best([&] {
        for (PackageEntry* e = f->packages; e; e = e->next) {
            UniqueHandle data;
            check(f->recordFile->readRecord(e->recordId, &data), "read record");
        }
    });
    row("plain sequential read of the file", read, "");
    row("every package record read, then freed", records, "");
    row("find by Class ID, images not in memory", find, "within 3x of the read");
    std::printf("  %-44s %8.1fx\n", "ratio to the plain read (cpu)", find.cpu / read.cpu);
    std::printf("  %-44s %8.1fx\n", "ratio to the record reads (cpu)", find.cpu / records.cpu);
    disposePackageFile(f);
    std::remove(lib.c_str());
    return 0;
}
