#include "listwin/EditorCommit.h"

#include "listwin/ListWindow.h"
#include "model/LibraryOps.h"
#include "toolbox/gui/Windows.h"

namespace {

EditorCommitHooks gHooks;

// The package is invalid and goes, as the Delete command would remove it; its file's list window
// is left without a selection.
void deleteEditedPackage(PackageEntry* e) {
    PackageFile* f = e->owner;
    deselectAll(f);
    if (gHooks.detach) gHooks.detach(e);
    e->editor = nullptr;
    PackageEntry* const gone[] = {e};
    deletePackages(f, gone);
    refreshListWindow(f, ListRefresh::keepScroll);
    updateCount(f);
}

} // namespace

void installEditorCommitHooks(const EditorCommitHooks& hooks) {
    gHooks = hooks;
}

OSErr commitEditor(PackageEntry* e, bool validate) {
    PackageEditor* editor = e->editor;
    if (!editor || !gHooks.flatten) return noErr;
    const bool changes = gHooks.hasChanges && gHooks.hasChanges(editor);
    if (!changes && !validate) return noErr;
    if (validate && gHooks.isValid && !gHooks.isValid(editor)) {
        deleteEditedPackage(e);
        return noErr;
    }
    Handle image = nullptr;
    if (OSErr err = gHooks.flatten(editor, &image)) return err;
    if (OSErr err = commitEdited(e, image)) {
        DisposeHandle(image);
        return err;
    }
    if (PackageFile* f = e->owner; f && f->listWindow) InvalWindowRect(f->listWindow, nullptr);
    if (gHooks.markCommitted) gHooks.markCommitted(editor);
    return noErr;
}
