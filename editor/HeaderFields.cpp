// The header pane of the package editor: the key filter and typing, storing a field into the
// working package, clicks, the text commands, Revert Package, and the window's menu enabling.
#include "editor/EditorInternal.h"

#include "listwin/Confirmations.h"
#include "listwin/ListCommands.h"
#include "listwin/PackageClipboard.h"
#include "model/LibraryOps.h"
#include "resources/Commands.h"
#include "toolbox/core/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr const char* kUnnamedTitle = "Unnamed Package";

std::int32_t selectionLength(const TERec* te) {
    return te->selEnd - te->selStart;
}

// True when n more characters fit in the current field in place of its selection.
bool roomFor(const PackageEditor* editor, std::int32_t n) {
    const TERec* te = editor->textEdit;
    return n + te->teLength - selectionLength(te) <= fieldLengthLimit(editor->currentField);
}

bool anyRowSelected(const PackageEditor* editor) {
    if (editor->activeList == 1) {
        for (const NetItem* n = editor->working.hiddenConnections; n; n = n->next)
            if (n->flags & kNetItemSelected) return true;
        return false;
    }
    for (int k = 1; k <= editor->working.sectionCount; ++k)
        if (sectionAt(editor->working, k)->flags & kSectionSelected) return true;
    return false;
}

void computeSelectionPresent(PackageEditor* editor) {
    editor->selectionPresent = editor->focus == EditorFocus::window
                                   ? anyRowSelected(editor)
                                   : editor->textEdit && selectionLength(editor->textEdit) > 0;
}

void setText(MenuEnableRecord& rec, StringId id) {
    const std::string_view text = GetStringEntry(id);
    std::snprintf(rec.text, sizeof rec.text, "%.*s", int(text.size()), text.data());
}

void pasteText(PackageEditor* editor) {
    pasteScrapRun(
        editor->textEdit, [editor](int c) { return filterHeaderKey(editor, c) >= 32; },
        [editor](std::int32_t length) { return roomFor(editor, length); });
    storeField(editor);
}

void clickHeader(PackageEditor* editor, WindowPtr pane, const WindowMessage& msg) {
    checkMarks(editor->headerForm, editor->shapeFamily, true);
    std::uint8_t kind = 255;
    const int item = findItem(editor->headerForm, pane, msg, &kind);
    checkMarks(editor->headerForm, editor->shapeFamily, false);
    if (!item || kind != kFormEdit || !editor->headerForm) return;
    setFocus(editor, EditorFocus::header);
    if (item != editor->currentField) bindField(editor, item);
    PortScope port(pane);
    TEClick(msg.where, msg.shift, editor->textEdit);
}

bool isEditItem(FormHandle form, int n) {
    const FormItem* it = formItem(form, n);
    return it && it->kind == kFormEdit;
}

// A choice of the shapes or size popup, carried out by the shape rules with this window's
// focus, binding and storing.
void choosePopupItem(PackageEditor* editor, std::int16_t command) {
    ShapeEditing editing;
    editing.header = editor->headerForm;
    editing.te = editor->textEdit;
    editing.family = &editor->shapeFamily;
    editing.editor = editor;
    editing.focusHeader = [](void* e) {
        setFocus(static_cast<PackageEditor*>(e), EditorFocus::header);
    };
    editing.bindField = [](void* e, int item) { bindField(static_cast<PackageEditor*>(e), item); };
    editing.storeField = [](void* e, int) { storeField(static_cast<PackageEditor*>(e)); };
    PortScope port(editor->headerPane);
    popupChoice(editing, command);
}

void idleHeader(PackageEditor* editor, WindowPtr pane) {
    PortScope port(pane);
    TEIdle(editor->textEdit);
    Point p;
    GetMouse(&p);
    const int item = hitTest(editor->headerForm, p);
    SetWindowCursor(pane, isEditItem(editor->headerForm, item) ? iBeamCursor : arrowCursor);
}

} // namespace

// ---- the fields ------------------------------------------------------------------------------

int fieldLengthLimit(int item) {
    return headerFieldLimit(packageFieldOfItem(item));
}

int packageFieldOfItem(int item) {
    switch (item) {
    case kHeaderName:
        return 1;
    case kHeaderPrefix:
        return 2;
    case kHeaderShape:
        return 3;
    case kHeaderParam1:
        return 4;
    case kHeaderParam2:
        return 5;
    case kHeaderParam3:
        return 6;
    default:
        return 0;
    }
}

int filterHeaderKey(const PackageEditor* editor, int key) {
    if (key == KeyNumber(kKeyReturn)) key = KeyNumber(kKeyTab);
    if (key == KeyNumber(kKeyBackspace) || key == KeyNumber(kKeyTab) ||
        key == KeyNumber(kKeyRightArrow) || key == KeyNumber(kKeyLeftArrow))
        return key;
    if (headerFieldRefuses(packageFieldOfItem(editor->currentField), key)) return 0;
    if (editor->textEdit && !roomFor(editor, 1)) return 0;
    return key;
}

void bindField(PackageEditor* editor, int n) {
    if (!isEditItem(editor->headerForm, n)) return;
    PortScope port(editor->headerPane);
    editor->currentField = std::uint16_t(n);
    bindItem(editor->textEdit, editor->headerForm, editor->headerPane, n);
    // The destination ends where the field's last character can end, so that its text stays
    // on one line.
    TEHandle te = editor->textEdit;
    te->destRect.right = std::int16_t(te->destRect.left + 2 + fieldLengthLimit(n) * CharWidth('_'));
    TECalText(te);
}

void storeField(PackageEditor* editor) {
    const int item = editor->currentField;
    const int field = packageFieldOfItem(item);
    editor->stateFlags |= kEditorChanged;
    if (storeItem(editor->textEdit, editor->headerForm, item) != noErr ||
        setPackageField(editor->working, field,
                        headerFieldValue(editor->headerForm, item).view()) != noErr) {
        // Memory ran out: the field shows what the package holds, as if the edit was refused.
        setItemText(editor->headerForm, item, packageField(editor->working, field));
        bindField(editor, item);
        SysBeep(1);
        return;
    }
    const Str255 text = headerFieldValue(editor->headerForm, item);
    if (item == kHeaderName && editor->window)
        SetWTitle(editor->window, text.empty() ? kUnnamedTitle : PToCStr(text));
    if (item == kHeaderShape) matchShape(editor->headerForm, &editor->shapeFamily);
}

void headerKey(PackageEditor* editor, KeyCode key) {
    TEHandle te = editor->textEdit;
    if (!te) return;
    PortScope port(editor->headerPane);
    if (key == kKeyDelete && selectionLength(te) > 0) {
        TEDelete(te);
        storeField(editor);
        return;
    }
    const int c = filterHeaderKey(editor, KeyNumber(key));
    if (c == KeyNumber(kKeyTab)) {
        bindField(editor, nextEditItem(editor->headerForm, editor->currentField));
        TESetSelect(0, 255, te);
    } else if (c != 0) {
        TEKey(KeyCode{std::int16_t(c)}, te);
        storeField(editor);
    } else {
        SysBeep(1);
    }
}

bool headerTextCommand(PackageEditor* editor, std::int16_t command) {
    TEHandle te = editor->textEdit;
    if (!te) return false;
    PortScope port(editor->headerPane);
    switch (command) {
    case kCmdCut:
    case kCmdCopy:
        clearClipboards();
        TECopy(te);
        if (command == kCmdCut) TEDelete(te);
        storeField(editor);
        return true;
    case kCmdPaste:
        if (itemClipboardHolds()) return false;
        pasteText(editor);
        return true;
    case kCmdDelete:
        TEDelete(te);
        storeField(editor);
        return true;
    default:
        return false;
    }
}

bool headerPaneProc(WindowPtr pane, WindowMessage& msg) {
    auto* editor = static_cast<PackageEditor*>(pane->refCon);
    if (!editor || !editor->headerForm) return false;
    switch (msg.kind) {
    case wmIdle:
        idleHeader(editor, pane);
        return true;
    case wmUpdate: {
        PortScope port(pane);
        drawForm(editor->headerForm, msg.area);
        if (editor->textEdit) TEUpdate(&editor->textEdit->viewRect, editor->textEdit);
        return true;
    }
    case wmMouseDown:
    case wmDoubleClick:
        clickHeader(editor, pane, msg);
        return true;
    case wmMenuCommand:
        choosePopupItem(editor, msg.command);
        return true;
    case wmControlClick:
        if (msg.item == kHeaderSectionsButton) showList(editor, 0, false);
        if (msg.item == kHeaderNetsButton) showList(editor, 1, false);
        return true;
    default:
        return false;
    }
}

// ---- Revert Package --------------------------------------------------------------------------

OSErr revertFromEditor(PackageEditor* editor) {
    PackageEntry* entry = editor->entry;
    if (!entry || !confirmDiscardChanges(displayNameView(entry))) return cancelledErr;
    PackageEntry* const reverted[] = {entry};
    return revertEntries(entry->owner, reverted);
}

// ---- menu enabling ---------------------------------------------------------------------------

bool editorEnabling(WindowPtr w, MenuEnableRecord& rec) {
    PackageEditor* editor = editorOfWindow(w);
    if (!editor) return false;
    const std::int16_t c = rec.command;
    const bool onList = editor->focus == EditorFocus::window;
    if (c == kCmdFileMenu || c == kCmdEditMenu) computeSelectionPresent(editor);
    if (commandInMenu(c, kCmdFileMenu) || commandInMenu(c, kCmdWindowMenu)) return false;
    switch (c) {
    case kCmdEditMenu:
    case kCmdPackageMenu:
    case kCmdHelpMenu:
    case kCmdAbout:
        rec.enabled = true;
        break;
    case kCmdCut:
    case kCmdCopy:
    case kCmdDelete:
        rec.enabled = editor->selectionPresent;
        break;
    case kCmdPaste:
        rec.enabled = itemClipboardHolds() || (!onList && TEGetScrapLength() > 0);
        break;
    case kCmdDuplicate:
    case kCmdOpenEditor:
        rec.enabled = onList && editor->selectionPresent;
        break;
    case kCmdSelectAll:
        rec.enabled = rowCount(editor) > 0;
        break;
    case kCmdCreate:
        setText(rec, editor->activeList == 1 ? StringId::createNewNet : StringId::createNewSection);
        rec.enabled = true;
        break;
    case kCmdRevertPackage:
        setText(rec, StringId::revertThisPackage);
        rec.enabled = editor->entry && ((editor->entry->flags & kModified) || hasChanges(editor));
        break;
    default:
        rec.enabled = false;
        break;
    }
    return true;
}
