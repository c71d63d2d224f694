// The package editor window on a package file of a million packages, as long as the user waits
// for the windows to be drawn again: opening an editor on a package whose image is read from
// the file, typing one character in the Package Name (stored, title and list row updated), and
// the commit when the editor is deactivated by a click on the list window.
//
//   bench_editor [PACKAGES [FILE]]   default: 1000000 packages, the file bench_listwin uses too
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "common/Drawing.h"
#include "common/Generate.h"
#include "common/Timing.h"
#include "editor/PackageEditor.h"
#include "listwin/ListWindow.h"
#include "model/PackageFileIO.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/KeyCodes.h"
#include "toolbox/gui/Windows.h"
#include "toolbox/harness/Harness.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using bench::paint;

void fail(const char* what, OSErr err = noErr) {
    std::fprintf(stderr, "bench_editor: %s (%d)\n", what, int(err));
    std::exit(1);
}

void key(PackageEditor* e, KeyCode k) {
    WindowMessage msg;
    msg.kind = wmKeyDown;
    msg.key = k;
    SendWindowMessage(e->window, msg);
}

void report(const char* what, const bench::Timing& t, const char* target) {
    std::printf("%-52s %9.3f ms wall %9.3f ms cpu   %s\n", what, t.wall, t.cpu, target);
}

} // namespace

int main(int argc, char** argv) {
    bench::useOffscreenPlatform();
    QApplication app(argc, argv);
    const long packages = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string path = argc > 2 ? argv[2] : bench::sharedLibraryPath(packages);
    if (packages < 1000) fail("at least 1000 packages");
    if (OSErr err = bench::startWindows()) fail("toolbox and entry pool", err);

    PackageFile* f = nullptr;
    if (openPackageFile(path, FilePerm::readOnly, {}, &f) != noErr || f->packageCount != packages) {
        disposePackageFile(f);
        f = nullptr;
        if (OSErr err = bench::writeLibraryFile(path, std::size_t(packages))) fail("generate", err);
        if (OSErr err = openPackageFile(path, FilePerm::readOnly, {}, &f)) fail("open", err);
    }
    addPackageFile(f);
    if (OSErr err = showListWindow(f)) fail("list window", err);
    UpdateWindow(listWindowOf(f));
    paint();
    std::printf("package file: %s, %ld packages, %.1f MB\n\n", path.c_str(), packages,
                double(std::filesystem::file_size(path)) / 1e6);

    // Each run opens a package of its own from the second half of the file, so that its image
    // is not in memory yet; the editor of the run before is closed first, untimed. The packages
    // are 1000 apart, closer in a file too small for that.
    constexpr int kRuns = 25;
    const long spacing = std::min(1000L, packages / (2 * kRuns));
    PackageEditor* editor = nullptr;
    bench::Timing open;
    for (int i = 0; i < kRuns; ++i) {
        if (editor) closeEditor(editor, Validation::skip);
        PackageEntry* entry = entryAt(f, std::int32_t(packages / 2 + spacing * i));
        if (!entry) fail("no package to open");
        if (entry->image) fail("the image is in memory before the open");
        bench::keepBest(open, bench::CpuOf::self, [&] {
            editor = openEditor(entry);
            if (!editor) return false;
            UpdateWindow(editor->window);
            paint();
            return true;
        });
    }
    report("open an editor, image read from the file", open, "(target 5 ms)");

    // One character typed at the end of the Package Name, then taken back untimed.
    bench::Timing typing;
    for (int i = 0; i < kRuns; ++i) {
        key(editor, kKeyBackspace);
        paint();
        bench::keepBest(typing, bench::CpuOf::self, [&] {
            key(editor, CharKey('Q'));
            UpdateWindow(editor->window);
            UpdateWindow(listWindowOf(f));
            paint();
        });
    }
    const std::string name = packageField(editor->working, 1).str();
    if (name.empty() || name.back() != 'Q') fail("the typed character is not in the name");
    report("type one character in the Package Name", typing, "(target 5 ms)");

    // A changed editor deactivated by bringing the list window to the front: the commit makes a
    // new image and puts it in the entry with the modified mark.
    bench::Timing deactivate;
    for (int i = 0; i < kRuns; ++i) {
        SelectWindow(editor->window);
        paint();
        key(editor, CharKey(i % 2 ? 'Q' : 'R'));
        key(editor, kKeyBackspace);
        paint();
        if (!hasChanges(editor)) fail("no change to commit");
        bench::keepBest(deactivate, bench::CpuOf::self, [&] {
            SelectWindow(listWindowOf(f));
            return !hasChanges(editor);
        });
    }
    if (!(editor->entry->flags & kModified)) fail("the commit did not mark the entry modified");
    report("deactivation's commit", deactivate, "(target 1 ms)");
    closeEditor(editor, Validation::skip);
    paint();
    return 0;
}
