// The item list of the package editor and the field editor window on a large Package: 26
// Component Sections of 100 pin swaps each and 500 Hidden Connections of 20 pins each, stored in
// a package file. Each figure is the time a user waits until the windows are drawn again:
//
//   - opening the editor on the Package (its image read from the file, first draw finished);
//   - switching the shown list from the sections to the hidden connections, and back;
//   - Select All in each list;
//   - a full redraw of the item list, each list with every row selected;
//   - Duplicate of every net, and Delete of the copies;
//   - opening a field editor window on a section of 100 pairs (window drawn).
//
//   bench_items [RUNS [FILE]]   default: 25 runs, a scratch file in the temporary folder
//
// The figures are medians over the runs (wall time, with the quickest and slowest run beside it,
// and CPU time); the target is met when the median wall time is under it. Runs on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "common/Drawing.h"
#include "common/Timing.h"
#include "editor/FieldEditor.h"
#include "editor/ItemList.h"
#include "editor/PackageEditor.h"
#include "listwin/ListWindow.h"
#include "model/Image.h"
#include "model/PackageFileIO.h"
#include "model/RecordFile.h"
#include "resources/Commands.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Windows.h"
#include "toolbox/harness/Harness.h"

#include <QApplication>
#include <QRadioButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using bench::paint;

constexpr int kSections = 26;
constexpr int kPairs = 100;
constexpr int kNets = 500;
constexpr int kNetPins = 20;

void fail(const char* what, OSErr err = noErr) {
    std::fprintf(stderr, "bench_items: %s (%d)\n", what, int(err));
    std::exit(1);
}

// The big Package, named name: sections with Class IDs 100, 101, ... whose pairs swap pin p
// with pin 101 - p, and nets N1 to N500, each tying 20 consecutive pins of 1 to 200 (net n
// starts at pin 20 * ((n - 1) mod 10) + 1).
PackageRecord bigPackage(const std::string& name) {
    PackageRecord r;
    if (setPackageField(r, kFieldPackageName, name) ||
        setPackageField(r, kFieldDesignatorPrefix, "U") ||
        setPackageField(r, kFieldShape, "GRID") || setPackageField(r, kFieldShape + 1, "2600"))
        fail("memory");
    for (int s = 1; s <= kSections; ++s) {
        ComponentSection cs;
        cs.classId = 99 + s;
        if (addSection(r, 0, cs)) fail("memory");
        for (int p = 1; p <= kPairs; ++p)
            if (appendPinPair(r, s, std::to_string(p), std::to_string(kPairs + 1 - p)))
                fail("memory");
    }
    for (int n = 1; n <= kNets; ++n) {
        std::string text = "N" + std::to_string(n);
        for (int p = 1; p <= kNetPins; ++p)
            text += "\t" + std::to_string((n - 1) % 10 * kNetPins + p);
        NetItem* item = newNetItem(std::string_view(text));
        if (!item) fail("memory");
        pushNetItem(r, item);
    }
    reverseNetItems(r);
    return r;
}

// A package file of count copies of the big Package (BIG1, BIG2, ...), so that each run can
// open one whose image is not in memory yet.
void writeFile(const std::string& path, int count) {
    if (OSErr err = RecordFile::create(path, "RHWQ", "QPK", "QPKG", 0)) fail("create", err);
    std::unique_ptr<RecordFile> rf;
    if (OSErr err = RecordFile::open(path, FilePerm::readWrite, &rf)) fail("open for writing", err);
    for (int i = 1; i <= count; ++i) {
        UniqueHandle image;
        if (OSErr err = flattenPackage(bigPackage("BIG" + std::to_string(i)), &image))
            fail("flatten", err);
        std::uint32_t pos;
        if (OSErr err = rf->writeRecord(kRecordPackage, image.get(), &pos)) fail("write", err);
    }
    if (OSErr err = rf->close()) fail("close", err);
}

// Wall and CPU time of each run, in ms. The machine may be shared: the CPU time is what a step
// costs, the wall time what it took.
struct Samples {
    std::vector<double> wall, cpu;
    template <class Run> void time(Run run) {
        const double c = bench::cpuMs(bench::CpuOf::self);
        const auto t = bench::Clock::now();
        if constexpr (std::is_same_v<decltype(run()), bool>) {
            if (!run()) fail("a measured step failed");
        } else {
            run();
        }
        wall.push_back(bench::msSince(t));
        cpu.push_back(bench::cpuMs(bench::CpuOf::self) - c);
    }
};

double median(std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One line: median wall time (quickest .. slowest) and median CPU time; a target of 0 is none.
void report(const char* what, Samples& s, double target) {
    const double wall = median(s.wall), cpu = median(s.cpu);
    std::printf("%-58s %8.3f ms wall (%7.3f .. %8.3f) %8.3f ms cpu", what, wall, s.wall.front(),
                s.wall.back(), cpu);
    if (target > 0) std::printf("   target %.0f ms %s", target, wall < target ? "ok" : "MISSED");
    std::printf("\n");
}

// A click on one of the header's radio buttons, through the host's button as a user's click.
void clickRadioButton(PackageEditor* e, const char* title) {
    QWidget* pane = harness::ViewWidget(e->headerPane);
    for (QRadioButton* b : pane ? pane->findChildren<QRadioButton*>() : QList<QRadioButton*>())
        if (b->text() == QLatin1String(title)) return b->click();
    fail("no such radio button");
}

void redraw(WindowPtr w) {
    UpdateWindow(w);
    paint();
}

// The first row's highlight is drawn in the window's image: a point left of the row's text is
// dark while the row is selected and light when it is not.
bool firstRowDrawnSelected(PackageEditor* e) {
    const std::uint32_t px = harness::PixelAt(e->window, Point{1, 1});
    return (px & 0xFF) < 0x80;
}

} // namespace

int main(int argc, char** argv) {
    bench::useOffscreenPlatform();
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 25;
    const std::string path =
        argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "bench_items.qpk").string();
    if (runs < 1) fail("at least one run");
    if (OSErr err = bench::startWindows()) fail("toolbox and entry pool", err);

    writeFile(path, runs + 1);
    PackageFile* f = nullptr;
    if (OSErr err = openPackageFile(path, FilePerm::readOnly, {}, &f)) fail("open", err);
    addPackageFile(f);
    if (OSErr err = showListWindow(f)) fail("list window", err);
    redraw(listWindowOf(f));
    std::printf("package file: %s, %d packages of %d sections x %d pin swaps and %d nets x %d "
                "pins, %.1f MB\n\n",
                path.c_str(), runs + 1, kSections, kPairs, kNets, kNetPins,
                double(std::filesystem::file_size(path)) / 1e6);

    // Opening: each run opens another copy, so its image is read from the file; the editor of
    // the run before is closed first, untimed.
    PackageEditor* editor = nullptr;
    // The open is also timed without its drawing: the image read and expanded, the window and
    // its header made.
    Samples open, made;
    for (int i = 0; i < runs; ++i) {
        if (editor) closeEditor(editor, Validation::skip);
        redraw(listWindowOf(f));
        PackageEntry* entry = entryAt(f, i);
        if (!entry || entry->image) fail("the image is in memory before the open");
        open.time([&] {
            made.time([&] { editor = openEditor(entry); });
            if (!editor) return false;
            redraw(editor->window);
            return true;
        });
    }
    if (editor->working.sectionCount != kSections || editor->netCount != kNets)
        fail("the editor does not hold the whole package");
    report("open the editor, image read from the file, drawn", open, 10);
    report("  of which the open before the first draw", made, 0);

    // Switching lists with the radio buttons, the list drawn again each time.
    Samples toNets, toSections;
    for (int i = 0; i < runs; ++i) {
        toNets.time([&] {
            clickRadioButton(editor, "Hidden Connections");
            redraw(editor->window);
            return editor->activeList == 1;
        });
        toSections.time([&] {
            clickRadioButton(editor, "Component Sections");
            redraw(editor->window);
            return editor->activeList == 0;
        });
    }
    report("show Hidden Connections (from Component Sections), drawn", toNets, 10);
    report("show Component Sections (from Hidden Connections), drawn", toSections, 10);

    // Select All from nothing selected, in each list; the header takes the focus back between
    // runs, which deselects every row (untimed).
    Samples selectSections, selectNets, redrawSections, redrawNets;
    for (std::uint8_t list : {std::uint8_t(0), std::uint8_t(1)}) {
        showList(editor, list, false);
        Samples& select = list == 0 ? selectSections : selectNets;
        for (int i = 0; i < runs; ++i) {
            setFocus(editor, EditorFocus::header);
            redraw(editor->window);
            if (firstRowDrawnSelected(editor)) fail("a row is drawn selected before Select All");
            select.time([&] {
                if (!DispatchMenuCommand(kCmdSelectAll)) return false;
                redraw(editor->window);
                return true;
            });
            if (!firstRowDrawnSelected(editor)) fail("Select All did not draw the selection");
        }
        for (int r = 0; r < rowCount(editor); ++r)
            if (!isRowSelected(editor, r)) fail("Select All left a row unselected");

        // A full redraw of the item list with every row selected.
        Samples& full = list == 0 ? redrawSections : redrawNets;
        for (int i = 0; i < runs; ++i)
            full.time([&] {
                InvalWindowRect(editor->window, nullptr);
                redraw(editor->window);
            });
        if (!firstRowDrawnSelected(editor)) fail("the redraw lost the selection");
    }
    // Duplicate of every net (the copies appended and selected), then Delete of the copies,
    // each drawn; Select All before each Duplicate is untimed.
    Samples duplicate, remove;
    for (int i = 0; i < runs; ++i) {
        if (!DispatchMenuCommand(kCmdSelectAll)) fail("Select All");
        duplicate.time([&] {
            if (!DispatchMenuCommand(kCmdDuplicate)) return false;
            redraw(editor->window);
            return editor->netCount == 2 * kNets && isRowSelected(editor, 2 * kNets - 1);
        });
        remove.time([&] {
            if (!DispatchMenuCommand(kCmdDelete)) return false;
            redraw(editor->window);
            return editor->netCount == kNets;
        });
    }
    report("Select All in Component Sections (26 rows), drawn", selectSections, 10);
    report("Select All in Hidden Connections (500 rows), drawn", selectNets, 10);
    report("full redraw of Component Sections, all selected", redrawSections, 10);
    report("full redraw of Hidden Connections, all selected", redrawNets, 10);
    report("Duplicate of the 500 nets, drawn", duplicate, 10);
    report("Delete of the 500 copies, drawn", remove, 10);

    // A field editor window on section 1 (100 pairs: 101 rows), closed again untimed.
    setFocus(editor, EditorFocus::header);
    showList(editor, 0, false);
    redraw(editor->window);
    Samples field;
    for (int i = 0; i < runs; ++i) {
        FieldEditor* fe = nullptr;
        field.time([&] {
            fe = openFieldEditor(editor, 1);
            if (!fe) return false;
            redraw(fe->window); // its header pane too
            return true;
        });
        if (fe->rowCount != kPairs + 1) fail("the field editor does not hold every pair");
        closeFieldEditor(fe, Validation::skip);
        redraw(editor->window);
    }
    report("open a field editor on a section of 100 pairs, drawn", field, 10);

    closeEditor(editor, Validation::skip);
    paint();
    std::filesystem::remove(path);
    return 0;
}
