// The storage engine on generated libraries, each figure beside references measured in the same
// run on the same rows: a plain sequential read of the package file (page cache warm) and the
// sqlite3 command-line tool doing the same job on a database loaded with the same Packages.
//
//   bench_storage [PACKAGES...]        default: 10000 100000 1000000
//   bench_storage --memory FILE        opens FILE and prints the bytes per package it costs
//   bench_storage --profile-save N RUNS  saves 1,000 changed of N Packages RUNS times, for a
//                                      profiler; then times the index rebuild alone
//   bench_storage --profile-rebuild N RUNS  rebuilds the class index of N Packages written
//                                      without one RUNS times (every link to write), each time
//                                      once more with every link right; best of RUNS
//   bench_storage --make N DIR          writes DIR/lib.qpk of N Packages and the same rows as
//                                      DIR/packages.csv and DIR/sections.csv, for sqlite3
//   bench_storage --save FILE           opens FILE, changes every 1000th Package, saves; prints
//                                      the save's wall ms (scripts/bench-journal.sh times the
//                                      whole process too)
//   bench_storage --delete-close FILE   opens FILE, deletes every tenth Package, saves and closes
//                                      (which compacts); prints the save's and the close's wall ms
//
// Figures are the best of three runs, CPU time (this process and its children) and wall time;
// ratios are of CPU time, since the machine may be busy with other work. The scratch files go to
// $TMPDIR (or /tmp).
#include "common/Checks.h"
#include "common/FileBytes.h"
#include "common/Generate.h"
#include "common/Timing.h"
#include "model/Image.h"
#include "model/PackageFileIO.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using bench::best;
using bench::check;
using bench::Clock;
using bench::die;
using bench::fileBytes;
using bench::msSince;
using bench::plainRead;
using bench::Timing;

void shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) die("command failed: " + command);
}

// A fresh copy to work on, its bytes already on the disk: a save or a close that flushes the
// copy must not pay for writing out the copy itself.
void copyToDisk(const std::string& from, const std::string& to) {
    shell("cp " + from + " " + to + " && sync " + to);
}

void sqlite(const std::string& db, const std::string& sql) {
    shell("sqlite3 " + db + " \"" + sql + "\" > /dev/null");
}

long statusKb(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, std::strlen(field)) == 0)
            kb = std::atol(line + std::strlen(field));
    std::fclose(f);
    return kb;
}

// Resets the peak memory of this process to what it uses now.
void resetPeak() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Child process: the memory a package file costs while open with no image loaded.
int memoryOf(const std::string& path) {
    check(initEntryPool(), "entry pool");
    resetPeak();
    const long before = statusKb("VmRSS:");
    PackageFile* f = nullptr;
    check(openPackageFile(path, FilePerm::readWrite, {}, &f), "open");
    const long after = statusKb("VmRSS:");
    const long peak = statusKb("VmHWM:");
    const double n = f->packageCount ? double(f->packageCount) : 1.0;
    std::printf("%.1f %.1f\n", (after - before) * 1024.0 / n, (peak - before) * 1024.0 / n);
    return 0;
}

// A rebuild of the class index as a save makes it: committed, on the disk.
void rebuildAndCommit(RecordFile& rf) {
    check(rf.rebuildClassIndex(), "rebuild");
    check(rf.commit(), "commit");
}

// Changes `changes` Packages spread over the open file f, as an editing session would.
void changeSpread(PackageFile* f, std::size_t count, std::size_t changes) {
    std::size_t i = 0, k = 0;
    for (PackageEntry* e = f->packages; e && k < changes; e = e->next, ++i) {
        if (i % (count / changes) != 0) continue;
        bench::GeneratedPackage p = bench::generatePackage(i, count, 2);
        p.name = std::string(displayNameView(e));
        UniqueHandle image;
        check(flattenPackage(bench::toPackageRecord(p), &image), "flatten");
        check(setImage(e, image.release(), ImageState::modified, 0), "set image");
        ++k;
    }
}

// Saves 1,000 changed Packages of a generated library `runs` times, for a profiler, and times
// the index rebuild alone once more on the saved file (every link then right).
int profileSave(std::size_t count, int runs) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp");
    // The library is kept for the next run, so that a profile of it shows the save alone.
    const std::string lib = dir + "/profile-save-" + std::to_string(count) + ".qpk";
    const std::string work = dir + "/profile-save-work.qpk";
    if (fileBytes(lib) == 0) check(bench::writeLibraryFile(lib, count), "generating the library");
    Timing save, read, again;
    for (int r = 0; r < runs; ++r) {
        copyToDisk(lib, work);
        PackageFile* f = nullptr;
        check(openPackageFile(work, FilePerm::readWrite, {}, &f), "open");
        changeSpread(f, count, std::min<std::size_t>(1000, count));
        bench::keepBest(save, [&] { check(savePackageFile(f), "save"); });
        f->recordFile->setReadOnly();
        disposePackageFile(f);
        // The rebuild once more, with every link already right: the pass without its writes.
        std::unique_ptr<RecordFile> rf;
        check(RecordFile::open(work, FilePerm::readWrite, &rf), "open");
        check(rf->markIndexOutOfDate(), "mark out of date");
        check(rf->commit(), "commit");
        bench::keepBest(again, [&] { rebuildAndCommit(*rf); });
        rf->setReadOnly();
        rf.reset();
        bench::keepBest(read, [&] { plainRead(work); });
    }
    std::printf("save %.1f cpu %.1f wall, rebuild with links right %.1f cpu %.1f wall, plain read "
                "%.1f cpu %.1f wall\n",
                save.cpu, save.wall, again.cpu, again.wall, read.cpu, read.wall);
    std::remove(work.c_str());
    return 0;
}

// The class index rebuild alone, `runs` times on a library written without an index (every link
// to write), then on the same file once more (every link right), for a profiler. The library is
// kept for the next run. Prints the best times and the peak memory the rebuild added.
int profileRebuild(std::size_t count, int runs) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp");
    const std::string lib = dir + "/profile-rebuild-" + std::to_string(count) + ".qpk";
    const std::string work = dir + "/profile-rebuild-work.qpk";
    if (fileBytes(lib) == 0)
        check(bench::writeLibraryFile(lib, count, bench::ClassIndex::outOfDate),
              "generating the library");
    Timing all, right;
    long peakKb = 0;
    for (int r = 0; r < runs; ++r) {
        copyToDisk(lib, work);
        std::unique_ptr<RecordFile> rf;
        check(RecordFile::open(work, FilePerm::readWrite, &rf), "open");
        check(rf->markIndexOutOfDate(), "mark out of date");
        check(rf->commit(), "commit");
        resetPeak();
        const long before = statusKb("VmRSS:");
        bench::keepBest(all, [&] { rebuildAndCommit(*rf); });
        peakKb = std::max(peakKb, statusKb("VmHWM:") - before);
        check(rf->markIndexOutOfDate(), "mark out of date");
        check(rf->commit(), "commit");
        bench::keepBest(right, [&] { rebuildAndCommit(*rf); });
        rf->setReadOnly();
    }
    std::printf("rebuild every link written %.1f cpu %.1f wall (peak +%.1f MB), links right %.1f "
                "cpu %.1f wall\n",
                all.cpu, all.wall, peakKb / 1024.0, right.cpu, right.wall);
    std::remove(work.c_str());
    return 0;
}

// The steps that scripts/bench-journal.sh times as whole processes, beside sqlite3 doing the same
// on the same rows.
int makeForScript(std::size_t count, const std::string& dir) {
    check(bench::writeLibraryFile(dir + "/lib.qpk", count), "generating the library");
    if (!bench::writeLibraryCsv(dir + "/packages.csv", dir + "/sections.csv", count))
        die("cannot write the CSV files");
    return 0;
}

int saveForScript(const std::string& path, bool deleteAndClose) {
    check(initEntryPool(), "entry pool");
    PackageFile* f = nullptr;
    const auto opened = Clock::now();
    check(openPackageFile(path, FilePerm::readWrite, {}, &f), "open");
    const double open = msSince(opened);
    const auto count = std::size_t(f->packageCount);
    if (deleteAndClose) {
        // Unlinked on one walk, as the list window's Delete does.
        std::size_t i = 0;
        for (PackageEntry **link = &f->packages, *e; (e = *link); ++i) {
            if (i % 10 != 0) {
                link = &e->next;
                continue;
            }
            *link = e->next;
            --f->packageCount;
            discardEntry(f, e);
        }
        packageListChanged(f);
    } else {
        changeSpread(f, count, std::min<std::size_t>(1000, count));
    }
    auto t = Clock::now();
    check(savePackageFile(f), "save");
    const double save = msSince(t);
    if (!deleteAndClose) {
        std::printf("%.1f %.1f\n", save, open);
        return 0; // the process ends as the editor's session would go on: nothing more written
    }
    t = Clock::now();
    check(f->recordFile->close(), "close");
    std::printf("%.1f %.1f\n", save, msSince(t));
    return 0;
}

void row(const char* what, Timing ours, const char* refName, Timing ref, const char* target) {
    std::printf("  %-40s %8.1f %8.1f   %-22s %8.1f %8.1f   %6.2fx   %s\n", what, ours.cpu,
                ours.wall, refName, ref.cpu, ref.wall, ours.cpu / std::max(ref.cpu, 0.05), target);
}

void measure(std::size_t count, const std::string& dir, const std::string& self) {
    const std::string n = std::to_string(count);
    const std::string lib = dir + "/lib" + n + ".qpk";
    const std::string bare = dir + "/lib" + n + "-noindex.qpk";
    const std::string work = dir + "/work.qpk";
    const std::string db = dir + "/lib" + n + ".db";
    const std::string workDb = dir + "/work.db";

    auto t = Clock::now();
    check(bench::writeLibraryFile(lib, count), "generating the library");
    const double generated = msSince(t);
    check(bench::writeLibraryFile(bare, count, bench::ClassIndex::outOfDate),
          "generating the library without index");
    if (!bench::writeLibraryCsv(dir + "/packages.csv", dir + "/sections.csv", count))
        die("cannot write the CSV files");
    std::remove(db.c_str());
    t = Clock::now();
    shell("sqlite3 " + db +
          " 'CREATE TABLE packages(id INTEGER PRIMARY KEY, name TEXT, prefix TEXT, shape TEXT, "
          "p1 TEXT, p2 TEXT, p3 TEXT, nets TEXT);' "
          "'CREATE TABLE sections(package_id INTEGER, position INTEGER, class_id INTEGER, pins "
          "TEXT);' '.mode csv' '.import " +
          dir + "/packages.csv packages' '.import " + dir + "/sections.csv sections'");
    const double imported = msSince(t);

    std::printf("\n== %zu packages: package file %.1f MB (generated in %.0f ms), sqlite3 database "
                "%.1f MB (.import %.0f ms) ==\n",
                count, fileBytes(lib) / 1e6, generated, fileBytes(db) / 1e6, imported);
    std::printf("  %-40s %8s %8s   %-22s %8s %8s   %7s   %s\n", "(ms)", "cpu", "wall", "reference",
                "cpu", "wall", "cpu ratio", "target");

    const Timing read = best([&] { plainRead(lib); });

    // Open and list every name.
    std::size_t chars = 0;
    const Timing open = best([&] {
        PackageFile* f = nullptr;
        check(openPackageFile(lib, FilePerm::readWrite, {}, &f), "open");
        for (PackageEntry* e = f->packages; e; e = e->next)
            chars += displayNameView(e).size();
        f->recordFile->setReadOnly();
        disposePackageFile(f);
    });
    const Timing select = best([&] { sqlite(db, "SELECT name FROM packages;"); });
    row("open + list all names", open, "plain read", read, "within 5x of the read");
    row("", open, "sqlite3 SELECT name", select, "below 1x");

    // Save 1,000 changed Packages, spread over the file; the index rebuild is part of it.
    PackageFile* f = nullptr;
    const std::size_t changes = std::min<std::size_t>(1000, count);
    const Timing save = best(
        [&] {
            if (f) {
                f->recordFile->setReadOnly();
                disposePackageFile(f);
            }
            copyToDisk(lib, work);
            check(openPackageFile(work, FilePerm::readWrite, {}, &f), "open");
            changeSpread(f, count, changes);
        },
        [&] { check(savePackageFile(f), "save"); });
    f->recordFile->setReadOnly();
    disposePackageFile(f);
    row("save 1,000 changed (index rebuilt)", save, "plain read", read, "within 3x of the read");

    // The class index rebuild alone: links already right, and every link to write.
    std::unique_ptr<RecordFile> rf;
    auto openWork = [&](const std::string& from) {
        return [&, from] {
            copyToDisk(from, work);
            check(RecordFile::open(work, FilePerm::readWrite, &rf), "open");
            check(rf->markIndexOutOfDate(), "mark out of date");
            check(rf->commit(), "commit");
        };
    };
    const Timing rebuild = best(openWork(lib), [&] { rebuildAndCommit(*rf); });
    rf.reset();
    const Timing rebuildAll = best(openWork(bare), [&] { rebuildAndCommit(*rf); });
    rf.reset();
    const Timing createIndex =
        best([&] { sqlite(db, "DROP INDEX IF EXISTS by_class;"); },
             [&] { sqlite(db, "CREATE INDEX by_class ON sections(class_id);"); });
    row("class index rebuild (links right)", rebuild, "sqlite3 CREATE INDEX", createIndex,
        "below 1x");
    row("class index rebuild (every link written)", rebuildAll, "sqlite3 CREATE INDEX", createIndex,
        "below 1x");

    // Close with compaction after deleting every tenth Package.
    const Timing compact = best(
        [&] {
            copyToDisk(lib, work);
            check(RecordFile::open(work, FilePerm::readWrite, &rf), "open");
            std::vector<std::uint32_t> doomed;
            std::size_t i = 0;
            rf->scanRecords(kRecordPackage, [&](const RecordInfo& info, const unsigned char*) {
                if (i++ % 10 == 0) doomed.push_back(info.position);
                return true;
            });
            for (std::uint32_t p : doomed)
                check(rf->deleteRecord(p), "delete");
            check(rf->commit(), "commit"); // the deletes are saved: the close compacts
        },
        [&] { check(rf->close(), "close"); });
    rf.reset();
    const Timing vacuum = best(
        [&] {
            copyToDisk(db, workDb);
            sqlite(workDb, "DELETE FROM packages WHERE id % 10 = 0; DELETE FROM sections WHERE "
                           "package_id % 10 = 0;");
        },
        [&] { sqlite(workDb, "VACUUM;"); });
    row("close with compaction (10% deleted)", compact, "sqlite3 VACUUM", vacuum, "");
    row("", compact, "plain read", read, "");

    // Memory of the open file with nothing loaded, in a fresh process.
    FILE* p = popen((self + " --memory " + lib).c_str(), "r");
    double resident = 0, peak = 0;
    if (!p || std::fscanf(p, "%lf %lf", &resident, &peak) != 2) die("memory child failed");
    pclose(p);
    std::printf("  %-40s %9.1f B/package resident, %.1f B/package at the peak   (target < 150)\n",
                "open file, nothing loaded", resident, peak);
    if (chars == 0) die("no names listed");
    std::remove(work.c_str());
    std::remove(workDb.c_str());
    std::remove(bare.c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--memory") == 0) return memoryOf(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--profile-save") == 0)
        return profileSave(std::strtoul(argv[2], nullptr, 10), std::atoi(argv[3]));
    if (argc == 4 && std::strcmp(argv[1], "--profile-rebuild") == 0)
        return profileRebuild(std::strtoul(argv[2], nullptr, 10), std::atoi(argv[3]));
    if (argc == 4 && std::strcmp(argv[1], "--make") == 0)
        return makeForScript(std::strtoul(argv[2], nullptr, 10), argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--save") == 0) return saveForScript(argv[2], false);
    if (argc == 3 && std::strcmp(argv[1], "--delete-close") == 0)
        return saveForScript(argv[2], true);
    check(initEntryPool(), "entry pool");
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::strtoul(argv[i], nullptr, 10));
    if (sizes.empty()) sizes = {10000, 100000, 1000000};

    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_storage_XXXXXX";
    if (!mkdtemp(dir.data())) die("cannot make a scratch folder");
    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0) die("cannot find this program");
    self[len] = 0;

    std::printf("bench_storage: best of 3 runs, CPU and wall time in ms; files in %s\n",
                dir.c_str());
    for (std::size_t count : sizes)
        if (count) measure(count, dir, self);
    shell("rm -rf " + dir);
    return 0;
}
