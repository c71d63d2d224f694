#include "listwin/EditorCommit.h"

#include "listwin/ListCommands.h"
#include "listwin/ListWindow.h"
#include "toolbox/gui/Windows.h"

namespace {

EditorCommitHooks gHooks;

// The package is invalid and goes: it becomes the only selection of its file, which is made
// current for the moment, and is deleted as the Delete command would.
void deleteEditedPackage(PackageEntry* e) {
    PackageFile* f = e->owner;
    PackageFile* previous = currentPackageFile();
    setCurrentPackageFile(f);
    deselectAll(f);
    e->flags |= kSelected;
    if (gHooks.detach) gHooks.detach(e);
    e->editor = nullptr;
    deleteCommand(f);
    setCurrentPackageFile(previous);
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
    if (OSErr err = setImage(e, image, ImageState::modified, e->recordId)) {
        DisposeHandle(image);
        return err;
    }
    recomputeDisplayName(e);
    if (PackageFile* f = e->owner; f && f->listWindow) InvalWindowRect(f->listWindow, nullptr);
    if (gHooks.markCommitted) gHooks.markCommitted(editor);
    return noErr;
}
