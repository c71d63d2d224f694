// The package editor window: one Package of an open package file edited in a window of its own.
// The header pane holds the Package Name, the Designator Prefix, the Shape and its three
// parameters; two radio buttons below it choose what the item list in the lower part shows,
// the Component Sections or the Hidden Connections.
//
// The window works on a private working package expanded from the entry's image; the edits
// reach the entry when the window deactivates or closes (Commit editor), and the file only when
// it is saved.
#pragma once
#include "editor/Form.h"
#include "editor/ItemList.h"
#include "editor/Shapes.h"
#include "listwin/PackageClipboard.h"
#include "model/Package.h"
#include "model/PackageFile.h"
#include "toolbox/gui/TextEdit.h"
#include "toolbox/gui/Windows.h"

#include <cstdint>
#include <map>
#include <memory>

constexpr std::int16_t kPackageEditorKind = 102;

enum class EditorFocus : std::uint8_t { header, window };

constexpr std::uint32_t kEditorChanged = 1; // state flags: an edit not yet committed
constexpr std::uint8_t kNoActiveList = 255;

struct FieldEditor;

// The item a field editor edits: section k (list 0) or net item k (list 1). Keys order the
// sections first, then the nets, each by number: the order in which closing asks about them.
struct ItemKey {
    std::uint8_t list = 0;
    int k = 0;
    auto operator<=>(const ItemKey&) const = default;
};

// Disposes of a field editor's window (without a commit) and of its record.
struct FieldEditorDisposer {
    void operator()(FieldEditor* fe) const noexcept;
};
using FieldEditors = std::map<ItemKey, std::unique_ptr<FieldEditor, FieldEditorDisposer>>;

// The editor record: one per package entry with an open editor (editorOf finds it from the
// entry).
struct PackageEditor {
    PackageEntry* entry = nullptr; // none once closing has deleted the Package
    PackageRecord working;
    WindowPtr window = nullptr;
    WindowPtr headerPane = nullptr;
    EditorFocus focus = EditorFocus::header;
    FormHandle headerForm = nullptr; // layout 0
    std::uint16_t netCount = 0;
    std::uint16_t currentField = kHeaderName;
    TEHandle textEdit = nullptr;
    std::uint16_t shapeFamily = kNoShapeFamily;
    std::uint32_t stateFlags = 0;
    std::uint8_t activeList = kNoActiveList;
    // A row of the list, or text of the current field, is selected: taken at the first menu
    // title asked about, for its items.
    bool selectionPresent = false;
    FieldEditors fieldEditors; // the open field editors, by the item each edits
    ItemListState itemList;
};

// The entry's editor, made when it has none, with its window shown in front and made the
// current package editor. nullptr when no editor could be opened (memory, or an image that
// cannot be read: the error alert has been shown then).
PackageEditor* openEditor(PackageEntry* entry);
// Whether a close first asks about a package that may not be kept (no section, or a blank name
// or prefix) and then deletes it, or closes without asking.
enum class Validation { skip, ask };

// Closes the window, its field editors first. Cancelled leaves the window in front, everything
// as it was; with validation a commit that fails (its error shown) cancels the close too.
CloseResult closeEditor(PackageEditor* editor, Validation validation);
// The changed flag, or an open field editor window with unsaved changes.
bool hasChanges(PackageEditor* editor);
// The open editor of the entry, or nullptr.
PackageEditor* editorOf(const PackageEntry* entry);
// Carries the editor's edits into its entry (the window deactivates or closes, or its file is
// saved). Nothing happens without an editor or an entry, or when the editor has no unsaved
// changes and validate is false. With validate set, a working package without a section or with
// an invalid name or prefix is deleted from its file instead (the caller has asked the user
// before). Otherwise the working package becomes the entry's image with the modified mark, the
// display name follows its field 1 and the list window is drawn again. Returns the flattening's
// error.
OSErr commitEditor(PackageEditor* editor, bool validate);

// The package editor of the front window, or the owner of the front field editor; nullptr when
// the front window is neither.
PackageEditor* currentPackageEditor();
// Makes the package file of the editor's entry the current package file (the editor's window or
// one of its field editors became active).
void makeEditorFileCurrent(const PackageEditor* editor);
// The editor record of a package editor window, nullptr for any other window.
PackageEditor* editorOfWindow(WindowPtr w);

// Rows of the item list: the net count while the Hidden Connections are shown, else the
// section count.
int rowCount(const PackageEditor* editor);
// Shows the Component Sections (0) or the Hidden Connections (1) in the item list; with
// withFocus the focus moves to the list.
void showList(PackageEditor* editor, std::uint8_t list, bool withFocus);
// Counts the rows again after the working package's lists changed, and redraws the list.
void remeasure(PackageEditor* editor);
// Moves the focus to the header pane or to the item list.
void setFocus(PackageEditor* editor, EditorFocus target);

// The header fields and their limits.
int fieldLengthLimit(int item);   // 0 for an item that is not a field
int packageFieldOfItem(int item); // the working package's field (1 to 6), or 0
// Key filter of the header: the character to use (Return becomes Tab), 0 when rejected.
int filterHeaderKey(const PackageEditor* editor, int key);

// Closes every open package editor window of the package file. Cancelled when one of them was
// (those closed before it stay closed).
CloseResult closeFileEditors(PackageFile* file, Validation validation);
