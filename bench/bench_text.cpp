// Text import and export on generated libraries, each figure beside references measured in the
// same run: a plain copy of the same bytes (cp, page cache warm) and sqlite3 .import of the same
// lines into a file database (one row per line). Peak memory of the import is measured in a child
// process at every size, to show that it does not grow with the text.
//
//   bench_text [PACKAGES...]          default: 100000 1000000
//   bench_text --import TEXT OUT.qpk  one import (the child process of the memory measurement)
//   bench_text --parse TEXT           the lexer and parser alone, Packages flattened and dropped
#include "model/Image.h"
#include "model/RecordFile.h"
#include "textfmt/Export.h"
#include "textfmt/Import.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Best of `runs` timings of f (each run must leave the same state behind).
template <class F> double best(int runs, F f) {
    double t = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!f()) {
            std::fprintf(stderr, "bench_text: a measured step failed\n");
            std::exit(1);
        }
        t = std::min(t, seconds(start));
    }
    return t;
}

bool shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

long fileSize(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::fseek(f, 0, SEEK_END);
    const long n = std::ftell(f);
    std::fclose(f);
    return n;
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
        std::fprintf(f, "PKG_%07ld_%s,U,%s,%ld,300,50\r\n", i, shapes[i % 5], shapes[i % 5],
                     8 + (i % 20) * 2);
        if (i % 2 == 0) std::fprintf(f, "\t\\GND,%ld,14\r\n", 1 + i % 7);
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

// What qpk import does: create the package file, import, rebuild the class index, close.
bool importInto(const std::string& text, const std::string& out) {
    std::unique_ptr<RecordFile> records;
    if (RecordFile::create(out, "RHWQ", "QPK", "QPKG", 0) != noErr) return false;
    if (RecordFile::open(out, false, &records) != noErr) return false;
    RecordFileSink sink(*records);
    QuietReporter reporter;
    if (!importText(text, sink, &reporter).ok() || reporter.problems) return false;
    return records->rebuildClassIndex() == noErr && records->close() == noErr;
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
    if (RecordFile::open(qpk, true, &records) != noErr) return false;
    return exportRecordFile(*records, out) == noErr;
}

// Peak resident memory (KiB) of a child process running one import.
long peakImportKiB(const std::string& text, const std::string& out) {
    std::string self(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (n <= 0) return -1;
    self.resize(std::size_t(n));
    std::vector<std::string> args = {self, "--import", text, out};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status))
        return -1;
    return usage.ru_maxrss;
}

void run(long packages, const std::string& dir, int runs) {
    const std::string text = dir + "/lib.txt", copy = dir + "/copy.txt";
    const std::string qpk = dir + "/lib.qpk", out = dir + "/out.txt", db = dir + "/lib.db";
    generate(text, packages);
    warm(text);
    const double mb = fileSize(text) / 1e6;

    const double cp = best(runs, [&] { return shell("cp " + text + " " + copy); });
    const double parse = best(runs, [&] { return parseOnly(text); });
    const double import = best(runs, [&] { return importInto(text, qpk); });
    const double sqlite = best(1, [&] {
        std::remove(db.c_str());
        return shell("sqlite3 " + db +
                     " 'CREATE TABLE t(line TEXT)' '.separator \"\\037\" \"\\n\"' '.import " +
                     text + " t' >/dev/null 2>&1");
    });
    warm(qpk);
    const double exported = best(runs, [&] { return exportFrom(qpk, out); });
    warm(out);
    const double cpOut = best(runs, [&] { return shell("cp " + out + " " + copy); });
    const bool same = shell("cmp -s " + text + " " + out);
    const long rss = peakImportKiB(text, qpk);

    const double bytes = mb * 1e6;
    std::printf("\n%ld packages, %.1f MB of text, %.1f MB package file\n", packages, mb,
                fileSize(qpk) / 1e6);
    std::printf("  %-34s %9.1f ms %7.2f ns/byte\n", "cp of the text", cp * 1e3, cp * 1e9 / bytes);
    std::printf("  %-34s %9.1f ms %7.2f ns/byte\n", "sqlite3 .import of the lines", sqlite * 1e3,
                sqlite * 1e9 / bytes);
    std::printf("  %-34s %9.1f ms %7.2f ns/byte\n", "lexer + parser + flatten only", parse * 1e3,
                parse * 1e9 / bytes);
    std::printf("  %-34s %9.1f ms %7.2f ns/byte  %.2fx cp, sqlite3/import %.2fx\n",
                "import into a package file", import * 1e3, import * 1e9 / bytes, import / cp,
                sqlite / import);
    std::printf("  %-34s %9.1f ms %7.2f ns/byte\n", "cp of the exported text", cpOut * 1e3,
                cpOut * 1e9 / bytes);
    std::printf("  %-34s %9.1f ms %7.2f ns/byte  %.2fx cp, %s\n", "export to text", exported * 1e3,
                exported * 1e9 / bytes, exported / cpOut,
                same ? "identical to the input" : "DIFFERS from the input");
    std::printf("  %-34s %9ld KiB\n", "peak RSS of one import", rss);
    std::fflush(stdout);
    for (const std::string& f : {text, copy, qpk, out, db})
        std::remove(f.c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--import")
        return importInto(argv[2], argv[3]) ? 0 : 1;
    if (argc == 3 && std::string(argv[1]) == "--parse") return parseOnly(argv[2]) ? 0 : 1;
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes = {100000, 1000000};
    char dir[] = "/tmp/okbench-text-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    for (long n : sizes)
        run(n, dir, n > 200000 ? 2 : 3);
    rmdir(dir);
    return 0;
}
