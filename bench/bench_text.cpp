// Text import and export on generated libraries, each figure beside references measured in the
// same run: a plain copy of the same bytes (cp, page cache warm) and sqlite3 .import of the same
// lines into a file database (one row per line). Peak memory of the import is measured in a child
// process at every size, to show that it does not grow with the text.
//
//   bench_text [PACKAGES...]          default: 100000 1000000
//   bench_text --import TEXT OUT.qpk  one import; prints its peak resident memory in KiB
//   bench_text --import-only TEXT OUT.qpk  the same without the class index rebuild
//                                     (OK_IMPORT_IN_LINE set: either import on one thread)
//   bench_text --parse TEXT           the lexer and parser alone, Packages flattened and dropped
//   bench_text --generate N TEXT      writes the generated library of N Packages
#include "common/FileBytes.h"
#include "common/Generate.h"
#include "common/Timing.h"
#include "model/Image.h"
#include "model/RecordFile.h"
#include "textfmt/Export.h"
#include "textfmt/Import.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using bench::best;
using bench::cpuMs;
using bench::CpuOf;
using bench::Timing;

bool shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Reads the file once so that every measurement starts with it in the page cache.
void warm(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    static char buffer[1 << 16];
    while (std::fread(buffer, 1, sizeof buffer, f) > 0) {
    }
    std::fclose(f);
}

// A library in the layout the export writes: about 80 bytes a Package, every Package with one or
// two sections, every other one with a hidden connection.
void generate(const std::string& path, long packages) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::exit(1);
    static const char* shapes[] = {"HSMDIP", "VDIP", "PADPR", "FLTPK", "HSOT"};
    for (long i = 0; i < packages; ++i) {
        std::fprintf(f, "PACKAGE_%07ld_%s_PB,U,%s,%ld,300,50\r\n", i, shapes[i % 5], shapes[i % 5],
                     8 + (i % 20) * 2);
        if (i % 2 == 0) std::fprintf(f, "\t\\GND,%ld,14,28\r\n", 1 + i % 7);
        std::fprintf(f, "\t%ld,3\t1,2\t3,4\t5,6\r\n", 1000 + i % 5000);
        if (i % 2 == 1) std::fprintf(f, "\t%ld,1\t7,8\r\n", 7000 + i % 300);
    }
    std::fclose(f);
}

struct QuietReporter : ImportReporter {
    long problems = 0;
    void importError(const ImportError&) override { ++problems; }
    void fileError(OSErr) override { ++problems; }
};

// The last import's closing part: CPU time (ms) of the class index rebuild and the close, and
// the wall time (ms) of each.
double gLastIndexCpu = 0, gLastRebuildWall = 0, gLastCloseWall = 0;

double wallMs() {
    return std::chrono::duration<double, std::milli>(bench::Clock::now().time_since_epoch())
        .count();
}

// What qpk import does: create the package file, import, rebuild the class index, close. With
// ClassIndex::outOfDate the file is closed right after the import, forced, as after a failed
// import.
bool importInto(const std::string& text, const std::string& out,
                bench::ClassIndex index = bench::ClassIndex::written,
                const ImportTuning& tuning = ImportTuning()) {
    std::unique_ptr<RecordFile> records;
    if (RecordFile::create(out, "RHWQ", "QPK", "QPKG", 0) != noErr) return false;
    if (RecordFile::open(out, FilePerm::readWrite, &records) != noErr) return false;
    if (records->setJournaling(Journaling::off) != noErr) return false; // as qpk import does
    RecordFileSink sink(*records);
    QuietReporter reporter;
    if (!importText(text, sink, &reporter, tuning).ok() || reporter.problems) return false;
    if (index == bench::ClassIndex::outOfDate) {
        records->setReadOnly();
        return records->close() == noErr;
    }
    const double cpu0 = cpuMs(CpuOf::self), wall0 = wallMs();
    if (records->rebuildClassIndex() != noErr) return false;
    const double wall1 = wallMs();
    const bool closed = records->close(CloseSync::none) == noErr; // as qpk import closes it
    gLastIndexCpu = cpuMs(CpuOf::self) - cpu0;
    gLastRebuildWall = wall1 - wall0;
    gLastCloseWall = wallMs() - wall1;
    return closed;
}

struct FlattenOnly : PackageSink {
    OSErr storePackage(PackageRecord& pkg) override {
        UniqueHandle image;
        return flattenPackage(pkg, &image);
    }
};

bool parseOnly(const std::string& text) {
    FlattenOnly sink;
    return importText(text, sink, nullptr).ok();
}

bool exportFrom(const std::string& qpk, const std::string& out) {
    std::unique_ptr<RecordFile> records;
    if (RecordFile::open(qpk, FilePerm::readOnly, &records) != noErr) return false;
    return exportRecordFile(*records, out) == noErr;
}

// The high-water mark of this process's resident memory (KiB), from /proc/self/status. Unlike
// getrusage it is not raised by the parent's memory that a spawned child starts out sharing.
long peakResidentKiB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %ld", &kib) == 1) break;
    std::fclose(f);
    return kib;
}

// Peak resident memory (KiB) of a child process running one import (mode "--import" or
// "--import-only"), which prints it.
long peakImportKiB(const char* mode, const std::string& text, const std::string& out) {
    std::string self(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (n <= 0) return -1;
    self.resize(std::size_t(n));
    FILE* child = popen((self + " " + mode + " " + text + " " + out).c_str(), "r");
    if (!child) return -1;
    long kib = -1;
    if (std::fscanf(child, "%ld", &kib) != 1) kib = -1;
    return pclose(child) == 0 ? kib : -1;
}

void run(long packages, const std::string& dir, int runs) {
    const std::string text = dir + "/lib.txt", copy = dir + "/copy.txt";
    const std::string qpk = dir + "/lib.qpk", out = dir + "/out.txt", db = dir + "/lib.db";
    generate(text, packages);
    warm(text);
    const double mb = bench::fileBytes(text) / 1e6;

    const Timing cp = best(runs, CpuOf::children, [&] { return shell("cp " + text + " " + copy); });
    const Timing parse = best(runs, CpuOf::self, [&] { return parseOnly(text); });
    const Timing import = best(runs, CpuOf::self, [&] { return importInto(text, qpk); });
    const double importIndexCpu = gLastIndexCpu, rebuildWall = gLastRebuildWall,
                 closeWall = gLastCloseWall;
    ImportTuning oneThread;
    oneThread.threads = -1;
    const Timing inLine = best(runs, CpuOf::self, [&] {
        return importInto(text, qpk, bench::ClassIndex::written, oneThread);
    });
    const Timing sqlite = best(1, CpuOf::children, [&] {
        std::remove(db.c_str());
        return shell("sqlite3 " + db +
                     " 'CREATE TABLE t(line TEXT)' '.separator \"\\037\" \"\\n\"' '.import " +
                     text + " t' >/dev/null 2>&1");
    });
    warm(qpk);
    const Timing exported = best(runs, CpuOf::self, [&] { return exportFrom(qpk, out); });
    warm(out);
    const Timing cpOut =
        best(runs, CpuOf::children, [&] { return shell("cp " + out + " " + copy); });
    const bool same = shell("cmp -s " + text + " " + out);
    const long rss = peakImportKiB("--import", text, qpk);
    const long rssOnly = peakImportKiB("--import-only", text, qpk);

    const double bytes = mb * 1e6;
    auto line = [&](const char* what, const Timing& t, const Timing* ref, const char* refName) {
        std::printf("  %-30s %8.1f ms %6.2f ns/B | cpu %8.1f ms %6.2f ns/B", what, t.wall,
                    t.wall * 1e6 / bytes, t.cpu, t.cpu * 1e6 / bytes);
        if (ref)
            std::printf(" | %.2fx %s (cpu %.2fx)", t.wall / ref->wall, refName, t.cpu / ref->cpu);
        std::printf("\n");
    };
    std::printf("\n%ld packages, %.1f MB of text, %.1f MB package file\n", packages, mb,
                bench::fileBytes(qpk) / 1e6);
    line("cp of the text", cp, nullptr, "");
    line("sqlite3 .import of the lines", sqlite, &import, "the import");
    line("lexer + parser + flatten only", parse, &cp, "cp");
    line("import into a package file", import, &cp, "cp");
    line("the same on one thread", inLine, &cp, "cp");
    line("cp of the exported text", cpOut, nullptr, "");
    line("export to text", exported, &cpOut, "cp");
    std::printf("  of the import: index rebuild %.1f ms wall, close %.1f ms "
                "wall, both %.1f ms cpu (one thread: %.1f)\n",
                rebuildWall, closeWall, importIndexCpu, gLastIndexCpu);
    std::printf("  export %s\n", same ? "identical to the input" : "DIFFERS from the input");
    std::printf("  peak RSS: import alone %ld KiB, import + index rebuild + close %ld KiB\n",
                rssOnly, rss);
    std::fflush(stdout);
    for (const std::string& f : {text, copy, qpk, out, db})
        std::remove(f.c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 &&
        (std::string(argv[1]) == "--import" || std::string(argv[1]) == "--import-only")) {
        ImportTuning tuning;
        if (std::getenv("OK_IMPORT_IN_LINE")) tuning.threads = -1; // to compare with a profiler
        if (!importInto(argv[2], argv[3],
                        std::string(argv[1]) == "--import" ? bench::ClassIndex::written
                                                           : bench::ClassIndex::outOfDate,
                        tuning))
            return 1;
        std::printf("%ld\n", peakResidentKiB());
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--parse") return parseOnly(argv[2]) ? 0 : 1;
    if (argc == 4 && std::string(argv[1]) == "--generate") {
        generate(argv[3], std::atol(argv[2]));
        return 0;
    }
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes = {100000, 1000000};
    char dir[] = "/tmp/okbench-text-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    for (long n : sizes)
        run(n, dir, 3);
    rmdir(dir);
    return 0;
}
