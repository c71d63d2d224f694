// The package list window on a generated package file of a million packages: opening to the
// first painted list beside `qpk list` on the same file (measured in the same run), one update
// of the window scrolled to the bottom, Select All, a shift-click range over every entry, and
// the editing commands as long as the user waits for the window to be drawn again: Copy and
// Paste of 10,000 packages, Duplicate of 1,000, and Delete of 100,000 followed by Save (on a
// copy of the file).
//
//   bench_listwin [PACKAGES [FILE]]   default: 1000000 packages in a file of the temporary folder
//
// The file is written once by the shared library generator and reused while it holds the same
// number of packages.
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise. Set QPK to the qpk
// program when it is not at ../cli/qpk beside this program.
#include "common/Drawing.h"
#include "common/Generate.h"
#include "listwin/ListCommands.h"
#include "listwin/ListWindow.h"
#include "listwin/PackageClipboard.h"
#include "model/PackageFileIO.h"
#include "resources/Commands.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Windows.h"
#include "toolbox/harness/Harness.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/times.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::paint;

using Clock = std::chrono::steady_clock;

// CPU time in milliseconds of this process (to the nanosecond), or of its finished child
// processes (to the clock tick).
double cpuMilliseconds(bool children) {
    if (children) {
        tms t{};
        times(&t);
        return double(t.tms_cutime + t.tms_cstime) * 1000.0 / double(sysconf(_SC_CLK_TCK));
    }
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

// Best wall and CPU time of several runs, in milliseconds: the machine is shared, so both count.
struct Timing {
    double wall = 1e30, cpu = 1e30;
};

// Runs prepare (not timed) and then step (timed) `runs` times.
template <class Prepare, class Step>
Timing best(int runs, bool children, Prepare prepare, Step step) {
    Timing t;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const double cpu0 = cpuMilliseconds(children);
        const auto start = Clock::now();
        step();
        const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        t.wall = std::min(t.wall, wall);
        t.cpu = std::min(t.cpu, cpuMilliseconds(children) - cpu0);
    }
    return t;
}

void fail(const char* what, OSErr err = noErr) {
    std::fprintf(stderr, "bench_listwin: %s (%d)\n", what, int(err));
    std::exit(1);
}

std::string qpkPath(const char* argv0) {
    if (const char* env = std::getenv("QPK")) return env;
    std::error_code ec;
    auto self = std::filesystem::canonical("/proc/self/exe", ec);
    if (ec) self = argv0;
    return (self.parent_path().parent_path() / "cli" / "qpk").string();
}

PackageFile* openAndShow(const std::string& path) {
    PackageFile* f = nullptr;
    if (OSErr err = openPackageFile(path, FilePerm::readOnly, {}, &f)) fail("open", err);
    addPackageFile(f);
    if (OSErr err = showListWindow(f)) fail("list window", err);
    UpdateWindow(listWindowOf(f));
    paint();
    return f;
}

void closeFile(PackageFile* f) {
    disposeListWindow(f);
    disposePackageFile(f);
}

void scrollToBottom(PackageFile* f) {
    ControlHandle sb = listView(f)->scrollBar;
    SetControlValue(sb, GetControlMaximum(sb));
    refreshListWindow(f, ListRefresh::keepScroll);
    paint();
}

std::int32_t selectedCount(const PackageFile* f) {
    std::int32_t n = 0;
    for (const PackageEntry* e = f->packages; e; e = e->next)
        n += (e->flags & kSelected) != 0;
    return n;
}

// Selects count entries from index first on, alone, and draws the window.
void selectRange(PackageFile* f, std::int32_t first, std::int32_t count) {
    deselectAll(f);
    for (std::int32_t i = first; i < first + count; ++i)
        entryAt(f, i)->flags |= kSelected;
    refreshListWindow(f, ListRefresh::keepScroll);
    UpdateWindow(listWindowOf(f));
}

// A command as the user waits for it: run, then the window drawn again.
void command(PackageFile* f, std::int16_t c) {
    listCommand(f, c);
    UpdateWindow(listWindowOf(f));
    paint();
}

std::string label(const char* format, std::int32_t n) {
    char text[64];
    std::snprintf(text, sizeof text, format, int(n));
    return text;
}

void report(const std::string& what, const Timing& t, const char* target) {
    std::printf("%-44s %10.3f ms wall %10.3f ms cpu   %s\n", what.c_str(), t.wall, t.cpu, target);
}

} // namespace

int main(int argc, char** argv) {
    bench::useOffscreenPlatform();
    QApplication app(argc, argv);
    const long packages = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string path = argc > 2 ? argv[2] : bench::sharedLibraryPath(packages);
    if (packages < 100) fail("at least 100 packages");
    if (OSErr err = bench::startWindows()) fail("toolbox and entry pool", err);

    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    {
        // Reuse the file when it holds the same number of packages.
        PackageFile* probe = nullptr;
        bool reuse = !ec && size > 0 &&
                     openPackageFile(path, FilePerm::readOnly, {}, &probe) == noErr &&
                     probe->packageCount == packages;
        disposePackageFile(probe);
        if (!reuse) {
            const auto start = Clock::now();
            if (OSErr err = bench::writeLibraryFile(path, std::size_t(packages)))
                fail("generate", err);
            std::printf("generated %ld packages in %.1f s: %s\n", packages,
                        std::chrono::duration<double>(Clock::now() - start).count(), path.c_str());
        }
    }
    std::printf("package file: %s, %ld packages, %.1f MB\n\n", path.c_str(), packages,
                double(std::filesystem::file_size(path)) / 1e6);

    // The reference: the command-line listing of the same file (page cache warm).
    const std::string list = "'" + qpkPath(argv[0]) + "' list '" + path + "' > /dev/null";
    if (std::system(list.c_str()) != 0) fail("qpk list");
    const Timing qpk = best(
        3, true, [] {},
        [&] {
            if (std::system(list.c_str()) != 0) fail("qpk list");
        });
    report("qpk list FILE > /dev/null", qpk, "(reference)");

    PackageFile* f = nullptr;
    const Timing open = best(
        3, false,
        [&] {
            if (f) closeFile(f);
        },
        [&] { f = openAndShow(path); });
    char target[64];
    std::snprintf(target, sizeof target, "%.2fx qpk list (target 3x)", open.wall / qpk.wall);
    report("open to first painted list", open, target);

    if (f->packageCount != packages) fail("open: wrong package count");
    WindowPtr w = listWindowOf(f);
    scrollToBottom(f);
    const ListView& view = *listView(f);
    if (view.topRow != f->packageCount - view.lastRowOffset - 1) fail("not at the bottom");
    const Timing update = best(
        200, false, [&] { InvalWindowRect(w, nullptr); }, [&] { UpdateWindow(w); });
    report("one update scrolled to the bottom", update, "(target 2 ms)");
    const Timing shown = best(
        50, false, [&] { InvalWindowRect(w, nullptr); }, [&] { paint(); });
    report("  the same, flushed and painted on screen", shown, "");

    const Timing selectAll = best(
        5, false, [&] { deselectAll(f); },
        [&] {
            selectAllEntries(f);
            UpdateWindow(w);
        });
    if (selectedCount(f) != f->packageCount) fail("Select All");
    report("Select All, drawn", selectAll, "(target 100 ms)");

    // Entry 0 selected, the window at the bottom, a shift-click on the last row. The pointer
    // stays where it was pressed while the tracking loop reads it (offscreen there is no real
    // pointer), so the window does not autoscroll.
    const Rect area = listArea(f);
    WindowMessage shiftClick;
    shiftClick.kind = wmMouseDown;
    shiftClick.shift = true;
    shiftClick.where = Point{
        std::int16_t(area.top + view.lastRowOffset * view.rowHeight + view.rowHeight / 2), 10};
    const Timing range = best(
        5, false,
        [&] {
            deselectAll(f);
            selectEntry(f, entryAt(f, 0), 0);
            UpdateWindow(w);
            harness::ScriptPointer(w, {shiftClick.where});
        },
        [&] {
            SendWindowMessage(w, shiftClick);
            UpdateWindow(w);
        });
    if (selectedCount(f) != f->packageCount) fail("shift-click range");
    report("shift-click range over every entry", range, "(target 100 ms)");

    WindowMessage plainClick = shiftClick;
    plainClick.shift = false;
    const Timing plain = best(
        5, false,
        [&] {
            selectAllEntries(f);
            harness::ScriptPointer(w, {plainClick.where});
        },
        [&] {
            SendWindowMessage(w, plainClick);
            UpdateWindow(w);
        });
    report("plain click clearing every entry", plain, "");

    // The keys as the user waits for the window drawn again, from the first entry selected at
    // the top: End, Shift+End (every entry selected), and type-ahead over the whole list, once
    // with a character no name begins with (the beep) and once with one only the entry before
    // the selected one begins with (the search wraps to it). Each character comes two seconds
    // after the one before, so each starts a new prefix.
    WindowMessage key;
    key.kind = wmKeyDown;
    auto timeKey = [&](const char* what, KeyCode code, bool shift, std::int32_t from,
                       std::int32_t expected) {
        key.key = code;
        key.shift = shift;
        key.special = code == kKeyEnd;
        const Timing t = best(
            5, false,
            [&] {
                deselectAll(f);
                selectEntry(f, entryAt(f, from), from);
                SetControlValue(view.scrollBar, 0);
                refreshListWindow(f, ListRefresh::keepScroll);
                UpdateWindow(w);
                key.when += 2000;
            },
            [&] {
                SendWindowMessage(w, key);
                UpdateWindow(w);
            });
        if (selectedCount(f) != expected) fail(what);
        report(what, t, "(target 50 ms)");
    };
    timeKey("End key, drawn", kKeyEnd, false, 0, 1);
    timeKey("Shift+End key over every entry, drawn", kKeyEnd, true, 0, f->packageCount);
    timeKey("type-ahead matching no name, drawn", CharKey('#'), false, 0, 1);
    setDisplayName(entryAt(f, 0), "~0");
    timeKey("type-ahead wrapping to the entry before", CharKey('~'), false, 1, 1);
    if (!(entryAt(f, 0)->flags & kSelected)) fail("type-ahead");

    // Copy and Paste of 10,000 packages from the middle of the list; each run first deletes
    // the copies the run before pasted (they were never stored, so they are disposed of).
    const std::int32_t kCopied = std::int32_t(std::min(10000L, packages / 4));
    const std::int32_t middle = f->packageCount / 2;
    const Timing copy = best(
        3, false, [&] { selectRange(f, middle, kCopied); }, [&] { command(f, kCmdCopy); });
    report(label("Copy of %d packages, drawn", kCopied), copy, "");
    const Timing paste = best(
        3, false,
        [&] {
            if (f->packageCount > packages) listCommand(f, kCmdDelete); // the pasted copies
            UpdateWindow(w);
        },
        [&] { command(f, kCmdPaste); });
    if (f->packageCount != packages + kCopied || selectedCount(f) != kCopied) fail("Paste");
    report(label("Paste of %d packages, drawn", kCopied), paste, "");
    const Timing selectCopyPaste = best(
        3, false,
        [&] {
            listCommand(f, kCmdDelete);
            disposePackageClipboard();
            selectRange(f, middle, kCopied);
        },
        [&] {
            command(f, kCmdCopy);
            command(f, kCmdPaste);
        });
    report(label("Copy + Paste of %d, drawn", kCopied), selectCopyPaste, "");

    // Duplicate of 1,000 packages.
    const std::int32_t kDuplicated = std::int32_t(std::min(1000L, packages / 4));
    const Timing duplicate = best(
        3, false,
        [&] {
            if (f->packageCount > packages) {
                selectRange(f, packages, f->packageCount - packages);
                listCommand(f, kCmdDelete);
            }
            selectRange(f, middle, kDuplicated);
        },
        [&] { command(f, kCmdDuplicate); });
    if (f->packageCount != packages + kDuplicated) fail("Duplicate");
    report(label("Duplicate of %d packages, drawn", kDuplicated), duplicate, "");
    closeFile(f);
    disposePackageClipboard();

    // Delete of 100,000 packages and Save, on a copy of the file opened for writing.
    const std::int32_t kDeleted = std::int32_t(std::min(100000L, packages / 2));
    const std::string scratch = path + ".delete.qpk";
    PackageFile* g = nullptr;
    Timing del, save;
    for (int run = 0; run < 2; ++run) {
        std::filesystem::copy_file(path, scratch,
                                   std::filesystem::copy_options::overwrite_existing);
        // The copy on the disk first: the save's flush must not pay for writing it out.
        if (std::system(("sync " + scratch).c_str()) != 0) fail("sync");
        if (OSErr err = openPackageFile(scratch, FilePerm::readWrite, {}, &g)) fail("open", err);
        addPackageFile(g);
        if (OSErr err = showListWindow(g)) fail("list window", err);
        paint();
        selectRange(g, g->packageCount / 4, kDeleted);
        const Timing d = best(
            1, false, [] {}, [&] { command(g, kCmdDelete); });
        const Timing s = best(
            1, false, [] {},
            [&] {
                if (OSErr err = savePackageFile(g)) fail("save", err);
                UpdateWindow(listWindowOf(g));
                paint();
            });
        if (g->packageCount != packages - kDeleted) fail("Delete");
        del.wall = std::min(del.wall, d.wall);
        del.cpu = std::min(del.cpu, d.cpu);
        save.wall = std::min(save.wall, s.wall);
        save.cpu = std::min(save.cpu, s.cpu);
        closePackageFileRecords(g, RecordClose::forced);
        closeFile(g);
    }
    report(label("Delete of %d packages, drawn", kDeleted), del, "");
    report("  then Save", save, "");
    std::filesystem::remove(scratch, ec);

    DisposeToolbox();
    return 0;
}
