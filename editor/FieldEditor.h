// The field editor window: one Component Section (its Class ID and its pin number change pairs)
// or one net item (its Net Name and its pin numbers) of a package editor's working package,
// edited in a small window of its own. The header pane along the top holds the one header
// field; below it scroll the rows of pin number fields, always one more row than there are
// values. Nothing reaches the working package until the window closes or its package editor
// commits.
//
// Field editor number k edits section k, -k net item k.
#pragma once
#include "editor/Form.h"
#include "editor/PackageEditor.h"
#include "toolbox/gui/TextEdit.h"
#include "toolbox/gui/Windows.h"

#include <cstdint>
#include <vector>

constexpr std::int16_t kFieldEditorKind = 103;

// One open field editor, held by its package editor (PackageEditor::fieldEditors).
struct FieldEditor {
    PackageEditor* owner = nullptr;
    WindowPtr window = nullptr;
    WindowPtr headerPane = nullptr;
    bool focusHeader = true;         // keys and editing commands go to the header pane
    FormHandle headerForm = nullptr; // layout 3 (section) or 5 (net item)
    FormHandle rowsForm = nullptr;   // rows of layout 4 (section) or 6 (net item)
    TEHandle textEdit = nullptr;     // shared by every field, bound to the focused item
    std::int16_t index = 0;          // k: section k; -k: net item k
    std::uint16_t focusedItem = 0;   // 0: header item 2; k: item k of the rows form
    std::uint16_t rowCount = 0;
    bool changed = false;          // an edit that the commit has not carried yet
    bool selectionPresent = false; // text selected, taken at the first menu title asked about
};

// Opens the field editor (owner, index), making its record and window when there are none; the
// window gets its title, is shown and brought to the front. nullptr when it could not be made.
FieldEditor* openFieldEditor(PackageEditor* owner, int index);
// The owner's field editor of that index (index 0: the owner's first, in key order), or nullptr.
FieldEditor* findFieldEditor(const PackageEditor* owner, int index);
// With validation, a Class ID of 0 or a net item without name or pins is asked about; Cancel
// brings the window to the front and changes nothing, Proceed deletes the item through the
// commit. Otherwise the texts are committed and the window and record disposed of; a commit
// that fails with validation shows its error and cancels the close, the window staying open.
CloseResult closeFieldEditor(FieldEditor* fe, Validation validation);
// Carries the texts into the working package; with remove an invalid item (a Class ID of 0, a
// net without name or pin) is deleted instead, and without it an invalid item stays as it was,
// the window keeping its changes. memFullErr (nothing carried) when memory ran out.
OSErr commitFieldEditor(FieldEditor* fe, bool remove);
// After the item list deleted or moved rows of one list (sections when sections is set, else
// nets): newNumber[k - 1] is the new position (from 1) of the item that was at k, 0 for one
// deleted. Field editors of deleted items close without a commit; the rest are renumbered and
// retitled so that each keeps its item.
void renumberFieldEditors(PackageEditor* editor, bool sections, const std::vector<int>& newNumber);

// The field editor of the front window, or nullptr.
FieldEditor* currentFieldEditor();
// The record of a field editor window, nullptr for any other window.
FieldEditor* fieldEditorOfWindow(WindowPtr w);

// Adds an empty row at the end. memFullErr when it cannot be held.
OSErr addFieldEditorRow(FieldEditor* fe);
