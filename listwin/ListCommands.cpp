#include "listwin/ListCommands.h"

#include "listwin/Confirmations.h"
#include "listwin/FindDialog.h"
#include "listwin/ListWindow.h"
#include "listwin/PackageClipboard.h"
#include "model/Image.h"
#include "model/Package.h"
#include "resources/Commands.h"
#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/Quickdraw.h"

#include <string>
#include <vector>

namespace {

constexpr char kUnreadableName[] = "?";

// Long loops show the watch cursor; the arrow comes back when the command ends.
struct ArrowWhenDone {
    ~ArrowWhenDone() { SetCursor(arrowCursor); }
};

bool isSelected(const PackageEntry* e) {
    return (e->flags & kSelected) != 0;
}

void closeEditorOf(PackageEntry* e) {
    if (e->editor && listWindowHooks().closeEditor) listWindowHooks().closeEditor(e);
}

// Unlinks e, whose predecessor in f's list is previous (nullptr for the head), in constant time.
// The caller calls packageListChanged once the walk is over.
void unlinkAfter(PackageFile* f, PackageEntry* previous, PackageEntry* e) {
    (previous ? previous->next : f->packages) = e->next;
    e->next = nullptr;
    --f->packageCount;
}

// Reverts one selected entry; true when it was removed from the list.
bool revertEntry(PackageFile* f, PackageEntry* previous, PackageEntry* e) {
    closeEditorOf(e);
    if (e->recordId == 0) {
        unlinkAfter(f, previous, e);
        disposeEntry(e);
        return true;
    }
    DisposeHandle(e->image);
    e->image = nullptr;
    e->flags &= ~kModified;
    OSErr err = noErr;
    if (Handle stored = getImage(e, &err)) {
        recomputeDisplayName(e, stored);
        purgeEntry(e); // read again from the file when it is next needed
    } else {
        ErrorAlert(err);
        setDisplayName(e, kUnreadableName);
    }
    return false;
}

// Gives each entry of a duplicate's temporary file its new name: the display name followed by
// "+" while it has fewer than 17 characters, set as the display name and as field 1 of the
// image. False when memory ran out.
bool renameDuplicates(PackageFile* temp) {
    PackageEntry* previous = nullptr;
    for (PackageEntry* e = temp->packages; e;) {
        SetCursor(watchCursor);
        PackageEntry* next = e->next;
        const std::string_view name = displayNameView(e);
        if (name.size() < std::size_t(kDisplayNameMax)) {
            const std::string renamed = std::string(name) + "+";
            if (OSErr err = renameImage(e->image, renamed)) {
                if (err == memFullErr) return false;
                // An image that cannot take the new name is not duplicated.
                ErrorAlert(err);
                unlinkAfter(temp, previous, e);
                disposeEntry(e);
                e = next;
                continue;
            }
            setDisplayName(e, renamed);
            setImage(e, e->image, ImageState::modified, 0);
        }
        previous = e;
        e = next;
    }
    packageListChanged(temp);
    return true;
}

} // namespace

void listCommand(PackageFile* f, std::int16_t command) {
    if (!f) return;
    switch (command) {
    case kCmdCut:
        cutCommand(f);
        break;
    case kCmdCopy:
        copyCommand(f);
        break;
    case kCmdPaste:
        pasteCommand(f);
        break;
    case kCmdDelete:
        deleteCommand(f);
        break;
    case kCmdDuplicate:
        duplicateCommand(f);
        break;
    case kCmdSelectAll:
        selectAllEntries(f);
        break;
    case kCmdCreate:
        createCommand(f);
        break;
    case kCmdOpenEditor:
        openEditorCommand(f);
        break;
    case kCmdRevertPackage:
        revertPackageCommand(f);
        break;
    case kCmdFind:
        findCommand(FindRun::find);
        break;
    case kCmdFindAgain:
        findCommand(FindRun::again);
        break;
    default:
        break;
    }
}

void cutCommand(PackageFile* f) {
    ArrowWhenDone arrow;
    std::vector<PackageEntry*> notCopied;
    if (copySelectionToClipboard(f, &notCopied) != noErr) return;
    // A package that could not be copied is not deleted: it stays, no longer selected.
    for (PackageEntry* e : notCopied)
        e->flags &= ~kSelected;
    deleteCommand(f);
}

void copyCommand(PackageFile* f) {
    ArrowWhenDone arrow;
    copySelectionToClipboard(f);
}

void pasteCommand(PackageFile* f) {
    if (!clipboardHoldsList()) return;
    ArrowWhenDone arrow;
    pasteEntries(packageClipboard(), f);
}

void deleteCommand(PackageFile* f) {
    ArrowWhenDone arrow;
    PackageEntry* previous = nullptr;
    for (PackageEntry* e = f->packages; e;) {
        SetCursor(watchCursor);
        PackageEntry* next = e->next;
        if (!isSelected(e)) {
            previous = e;
            e = next;
            continue;
        }
        closeEditorOf(e);
        unlinkAfter(f, previous, e);
        if (e->recordId) {
            e->flags &= ~kSelected;
            discardEntry(f, e);
        } else {
            disposeEntry(e);
        }
        e = next;
    }
    packageListChanged(f);
    refreshListWindow(f, ListRefresh::keepScroll);
    updateCount(f);
}

void duplicateCommand(PackageFile* f) {
    ArrowWhenDone arrow;
    PackageFile* temp = newPackageFile();
    if (!temp) return reportMemory();
    if (copyEntries(f, &temp) != noErr) return; // temp is gone and memory was reported
    if (!renameDuplicates(temp)) {
        disposePackageFile(temp);
        reportMemory();
        return;
    }
    pasteEntries(temp, f);
    disposePackageFile(temp);
}

void createCommand(PackageFile* f) {
    deselectAll(f);
    UniqueHandle image;
    {
        PackageRecord empty;
        if (flattenPackage(empty, &image) != noErr) return;
    }
    PackageEntry* e = newEntry("", image.get(), 0, ImageState::modified);
    if (!e) return; // the image goes with its holder
    image.release();
    e->flags |= kSelected;
    PackageEntry* last = f->packageCount > 0 ? entryAt(f, f->packageCount - 1) : nullptr;
    insertEntryAfter(f, last, e);
    refreshListWindow(f, ListRefresh::revealSelection);
    updateCount(f);
    if (listWindowHooks().openEditor) openEditorCommand(f);
}

void openEditorCommand(PackageFile* f) {
    auto open = listWindowHooks().openEditor;
    if (!open) return;
    std::int32_t count = 0;
    for (const PackageEntry* e = f->packages; e; e = e->next)
        count += isSelected(e);
    if (count == 0 || confirmWindowCount(count)) return;
    for (PackageEntry* e = f->packages; e; e = e->next)
        if (isSelected(e)) open(e);
}

void revertPackageCommand(PackageFile* f) {
    const SelectionSummary summary = selectionSummary(f);
    if (summary.count == 0) return;
    if (!confirmDiscardChanges(summary.count == 1 ? displayNameView(summary.first) : "")) return;
    ArrowWhenDone arrow;
    PackageEntry* previous = nullptr;
    for (PackageEntry* e = f->packages; e;) {
        SetCursor(watchCursor);
        PackageEntry* next = e->next;
        if (!isSelected(e) || !revertEntry(f, previous, e)) previous = e;
        e = next;
    }
    packageListChanged(f);
    refreshListWindow(f, ListRefresh::keepScroll);
    updateCount(f);
}

void revertEntryCommand(PackageEntry* entry) {
    PackageFile* f = entry->owner;
    if (!f) return;
    PackageEntry* previous = nullptr;
    for (PackageEntry* e = f->packages; e && e != entry; e = e->next)
        previous = e;
    revertEntry(f, previous, entry);
    packageListChanged(f);
    refreshListWindow(f, ListRefresh::keepScroll);
    updateCount(f);
}
