#include "listwin/ListCommands.h"

#include "listwin/Confirmations.h"
#include "listwin/FindDialog.h"
#include "listwin/ListWindow.h"
#include "listwin/PackageClipboard.h"
#include "model/LibraryOps.h"
#include "resources/Commands.h"
#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/Quickdraw.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

// Long loops show the watch cursor; the arrow comes back when the command ends.
struct ArrowWhenDone {
    ~ArrowWhenDone() { SetCursor(arrowCursor); }
};

void watch(std::int64_t, std::int64_t) {
    SetCursor(watchCursor);
}

bool isSelected(const PackageEntry* e) {
    return (e->flags & kSelected) != 0;
}

// The selected entries of f, in list order; memFullErr when there is no room for the list.
OSErr selectedEntries(PackageFile* f, std::vector<PackageEntry*>* out) {
    try {
        for (PackageEntry* e = f->packages; e; e = e->next)
            if (isSelected(e)) out->push_back(e);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}

// Each package an operation left out, with the error alert, in list order: the operation went
// on without it, so these come before the command's own result.
void alertFailures(const Failures& failed) {
    for (const EntryFailure& failure : failed)
        ErrorAlert(failure.err);
}

// The copies an operation appended, from first to the end of f's list, become f's only
// selection, and the window shows them.
void selectAppended(PackageFile* f, PackageEntry* first) {
    deselectAll(f);
    for (PackageEntry* e = first; e; e = e->next)
        e->flags |= kSelected;
    refreshListWindow(f, ListRefresh::revealSelection);
    updateCount(f);
}

void listChanged(PackageFile* f) {
    refreshListWindow(f, ListRefresh::keepScroll);
    updateCount(f);
}

} // namespace

OSErr listCommand(PackageFile* f, std::int16_t command) {
    if (!f) return noErr;
    switch (command) {
    case kCmdCut:
        return cutCommand(f);
    case kCmdCopy:
        return copyCommand(f);
    case kCmdPaste:
        return pasteCommand(f);
    case kCmdDelete:
        return deleteCommand(f);
    case kCmdDuplicate:
        return duplicateCommand(f);
    case kCmdSelectAll:
        selectAllEntries(f);
        return noErr;
    case kCmdCreate:
        return createCommand(f);
    case kCmdOpenEditor:
        openEditorCommand(f);
        return noErr;
    case kCmdRevertPackage:
        return revertPackageCommand(f);
    case kCmdFind:
        findCommand(FindRun::find);
        return noErr;
    case kCmdFindAgain:
        findCommand(FindRun::again);
        return noErr;
    default:
        return noErr;
    }
}

OSErr cutCommand(PackageFile* f) {
    ArrowWhenDone arrow;
    std::vector<PackageEntry*> selected;
    Failures notCopied;
    if (OSErr err = selectedEntries(f, &selected)) return err;
    if (OSErr err = copyEntriesToClipboard(selected, &notCopied)) return err;
    alertFailures(notCopied);
    // A package that could not be copied is not deleted: it stays, no longer selected.
    for (const EntryFailure& failure : notCopied) {
        failure.entry->flags &= ~kSelected;
        std::erase(selected, failure.entry);
    }
    const OSErr err = deletePackages(f, selected, watch);
    listChanged(f);
    return err;
}

OSErr copyEntriesToClipboard(std::span<PackageEntry* const> entries, Failures* notCopied) {
    clearClipboards();
    PackageFile* clipboard = nullptr;
    if (OSErr err = copyToClipboard(entries, notCopied, &clipboard, watch)) return err;
    setPackageClipboard(clipboard);
    return noErr;
}

OSErr copyCommand(PackageFile* f) {
    ArrowWhenDone arrow;
    std::vector<PackageEntry*> selected;
    Failures notCopied;
    if (OSErr err = selectedEntries(f, &selected)) return err;
    OSErr err = copyEntriesToClipboard(selected, &notCopied);
    alertFailures(notCopied);
    return err;
}

OSErr pasteCommand(PackageFile* f) {
    if (!clipboardHoldsList()) return noErr;
    ArrowWhenDone arrow;
    PackageEntry* first = nullptr;
    if (OSErr err = pasteFromClipboard(packageClipboard(), f, &first, watch)) return err;
    selectAppended(f, first);
    return noErr;
}

OSErr deleteCommand(PackageFile* f) {
    ArrowWhenDone arrow;
    std::vector<PackageEntry*> selected;
    if (OSErr err = selectedEntries(f, &selected)) return err;
    for (PackageEntry* e : selected)
        if (e->recordId) e->flags &= ~kSelected; // on the discard list, out of sight
    const OSErr err = deletePackages(f, selected, watch);
    listChanged(f);
    return err;
}

OSErr duplicateCommand(PackageFile* f) {
    ArrowWhenDone arrow;
    std::vector<PackageEntry*> selected;
    Failures failed;
    PackageEntry* first = nullptr;
    if (OSErr err = selectedEntries(f, &selected)) return err;
    OSErr err = duplicatePackages(selected, f, &failed, &first, watch);
    alertFailures(failed);
    if (err) return err;
    selectAppended(f, first);
    return noErr;
}

OSErr createCommand(PackageFile* f) {
    deselectAll(f);
    PackageEntry* e = nullptr;
    if (createPackage(f, &e) != noErr) return noErr; // nothing made, nothing said
    e->flags |= kSelected;
    refreshListWindow(f, ListRefresh::revealSelection);
    updateCount(f);
    openEditorCommand(f);
    return noErr;
}

void openEditorCommand(PackageFile* f) {
    const ListWindowActions* actions = listWindowActions(f);
    if (!actions) return;
    std::int32_t count = 0;
    for (const PackageEntry* e = f->packages; e; e = e->next)
        count += isSelected(e);
    if (count == 0 || confirmWindowCount(count)) return;
    for (PackageEntry* e = f->packages; e; e = e->next)
        if (isSelected(e)) actions->openEditor(e);
}

OSErr revertPackageCommand(PackageFile* f) {
    const SelectionSummary summary = selectionSummary(f);
    if (summary.count == 0) return noErr;
    if (!confirmDiscardChanges(summary.count == 1 ? displayNameView(summary.first) : ""))
        return noErr;
    ArrowWhenDone arrow;
    std::vector<PackageEntry*> selected;
    if (OSErr err = selectedEntries(f, &selected)) return err;
    return revertEntries(f, selected);
}

OSErr revertEntries(PackageFile* f, std::span<PackageEntry* const> entries) {
    Failures unreadable;
    const OSErr err = revertPackages(f, entries, &unreadable, watch);
    alertFailures(unreadable);
    listChanged(f);
    return err;
}
