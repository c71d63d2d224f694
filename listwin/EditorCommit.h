// Commit editor: carries the edits of a package editor window back into its package entry.
// The package editor window calls it when it deactivates or closes, and the save calls it for
// every entry with an open editor. What only the editor knows (its unsaved changes, its working
// package) is asked through the hooks it installs; until then no entry has an editor and
// commitEditor does nothing.
#pragma once
#include "model/PackageFile.h"

struct EditorCommitHooks {
    // True when the editor holds changes not yet carried into its entry.
    bool (*hasChanges)(PackageEditor* editor) = nullptr;
    // True when the working package has a Component Section and a valid Package Name and
    // Designator Prefix.
    bool (*isValid)(PackageEditor* editor) = nullptr;
    // Commits the open field editor windows into the working package and flattens it into a
    // new image (*image, owned by the caller).
    OSErr (*flatten)(PackageEditor* editor, Handle* image) = nullptr;
    // The editor no longer belongs to its entry (it is closing with a package that goes).
    void (*detach)(PackageEntry* entry) = nullptr;
    // The editor's changes are all in its entry now.
    void (*markCommitted)(PackageEditor* editor) = nullptr;
};
void installEditorCommitHooks(const EditorCommitHooks& hooks);

// Nothing happens when the entry has no editor, or when the editor has no unsaved changes and
// validate is false. With validate set, a working package without a section or with an invalid
// name or prefix is deleted from its file instead (the caller has asked the user before).
// Otherwise the working package becomes the entry's image with the modified mark, the display
// name follows its field 1 and the list window is drawn again. Returns the flattening's error.
OSErr commitEditor(PackageEntry* e, bool validate);
