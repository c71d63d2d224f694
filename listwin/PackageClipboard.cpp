#include "listwin/PackageClipboard.h"

#include "listwin/Confirmations.h"
#include "listwin/EditorCommit.h"
#include "listwin/ListWindow.h"
#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/Quickdraw.h"
#include "toolbox/gui/TextEdit.h"

namespace {

PackageFile* gClipboard = nullptr;
void (*gItemClipboardClear)() = nullptr;

// Reverses a chain linked through next and returns its new head.
PackageEntry* reverseChain(PackageEntry* e) {
    PackageEntry* done = nullptr;
    while (e) {
        PackageEntry* next = e->next;
        e->next = done;
        done = e;
        e = next;
    }
    return done;
}

// The last entry of f's list (from the row index when it is current), nullptr when empty.
PackageEntry* lastEntry(PackageFile* f) {
    if (f->rowsValid && !f->rows.empty()) return f->rows.back();
    PackageEntry* e = f->packages;
    while (e && e->next)
        e = e->next;
    return e;
}

// Copies of the entries of source that pass `take`, linked in source order into *chain, each
// owned by owner and marked with `flags` besides the modified mark; *count is how many. An entry
// with an open editor first takes the editor's edits (its field editors' too), so that its copy
// is the package its windows show. An entry that cannot be read is reported, left out and added
// to *notCopied (when given). When memory runs out the copies made so far are disposed of and
// memFullErr is returned, with no chain.
template <class Take>
OSErr copyChain(PackageFile* source, PackageFile* owner, std::uint32_t flags, Take take,
                PackageEntry** chain, std::int32_t* count,
                std::vector<PackageEntry*>* notCopied = nullptr) {
    PackageEntry* head = nullptr; // linked at the head, reversed once complete
    *chain = nullptr;
    *count = 0;
    for (PackageEntry* e = source->packages; e; e = e->next) {
        SetCursor(watchCursor);
        if (!take(e)) continue;
        OSErr err = e->editor ? commitEditor(e, false) : noErr;
        PackageEntry* copy = err ? nullptr : duplicateEntry(e, &err);
        if (!copy) {
            if (err == memFullErr) {
                disposeEntryList(head);
                *count = 0;
                return memFullErr;
            }
            ErrorAlert(err);
            if (notCopied) notCopied->push_back(e);
            continue;
        }
        copy->flags |= flags;
        copy->owner = owner;
        copy->next = head;
        head = copy;
        ++*count;
    }
    *chain = reverseChain(head);
    return noErr;
}

// Links a chain of count entries (already owned by f) after the last entry of f's list.
void appendChain(PackageFile* f, PackageEntry* chain, std::int32_t count) {
    if (!chain) return;
    if (PackageEntry* last = lastEntry(f)) {
        last->next = chain;
    } else {
        f->packages = chain;
    }
    f->packageCount += count;
    packageListChanged(f);
}

} // namespace

PackageFile* packageClipboard() {
    return gClipboard;
}

bool clipboardHoldsList() {
    return gClipboard && gClipboard->packages;
}

void disposePackageClipboard() {
    disposePackageFile(gClipboard);
    gClipboard = nullptr;
}

void clearClipboards() {
    ZeroScrap();
    disposePackageClipboard();
    if (gItemClipboardClear) gItemClipboardClear();
}

void setItemClipboardClearHook(void (*hook)()) {
    gItemClipboardClear = hook;
}

PackageEntry* duplicateEntry(PackageEntry* e, OSErr* err) {
    OSErr ignored;
    if (!err) err = &ignored;
    *err = noErr;
    const bool inMemory = e->image != nullptr;
    Handle image = getImage(e, err);
    if (!image) {
        if (*err == noErr) *err = paramErr; // neither in memory nor in the file
        return nullptr;
    }
    Handle copy = HandToHand(image);
    if (!inMemory) purgeEntry(e);
    if (!copy) {
        *err = memFullErr;
        return nullptr;
    }
    PackageEntry* d = newEntry(displayNameView(e), copy, 0, ImageState::modified);
    if (!d) {
        DisposeHandle(copy);
        *err = memFullErr;
    }
    return d;
}

OSErr copyEntries(PackageFile* source, PackageFile** dest, std::vector<PackageEntry*>* notCopied) {
    std::int32_t count = 0;
    PackageEntry* chain = nullptr;
    if (copyChain(
            source, *dest, 0, [](const PackageEntry* e) { return (e->flags & kSelected) != 0; },
            &chain, &count, notCopied) != noErr) {
        disposePackageFile(*dest);
        *dest = nullptr;
        reportMemory();
        return memFullErr;
    }
    appendChain(*dest, chain, count);
    return noErr;
}

OSErr pasteEntries(PackageFile* source, PackageFile* dest) {
    std::int32_t count = 0;
    PackageEntry* chain = nullptr;
    if (copyChain(
            source, dest, kSelected, [](const PackageEntry*) { return true; }, &chain, &count) !=
        noErr) {
        reportMemory();
        return memFullErr;
    }
    deselectAll(dest);
    appendChain(dest, chain, count);
    refreshListWindow(dest, ListRefresh::revealSelection);
    updateCount(dest);
    return noErr;
}

OSErr copySelectionToClipboard(PackageFile* f, std::vector<PackageEntry*>* notCopied) {
    clearClipboards();
    gClipboard = newPackageFile();
    if (!gClipboard) {
        reportMemory();
        return memFullErr;
    }
    return copyEntries(f, &gClipboard, notCopied);
}
