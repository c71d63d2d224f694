// The package editor's record and window: opening, placement, the window procedure, activation
// and the commit of edits, closing with validation, and the map from an entry to its open editor.
#include "editor/PackageEditor.h"

#include "editor/EditorInternal.h"
#include "editor/FieldEditor.h"
#include "editor/ItemList.h"
#include "listwin/Confirmations.h"
#include "listwin/ListWindow.h"
#include "listwin/PackageClipboard.h"
#include "model/Image.h"
#include "model/LibraryOps.h"
#include "model/PackageRules.h"
#include "resources/Commands.h"
#include "toolbox/core/FieldText.h"
#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/EnablingSteps.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>

namespace {

constexpr std::int16_t kWindowWidth = 412;
constexpr std::int16_t kWindowHeight = 244;
constexpr std::int16_t kHeaderHeight = 124;
constexpr std::int16_t kScrollStep = 50;
constexpr std::int16_t kMinimumHeight = 64;
constexpr int kHeaderFields[] = {kHeaderName,   kHeaderPrefix, kHeaderShape,
                                 kHeaderParam1, kHeaderParam2, kHeaderParam3};

// The open editor of each entry that has one.
std::unordered_map<const PackageEntry*, PackageEditor*> gEditorOf;

// The first error stops the commits, sections first; those before it stay carried.
OSErr commitFieldEditors(PackageEditor* editor) {
    for (const auto& [key, fe] : editor->fieldEditors)
        if (OSErr err = commitFieldEditor(fe.get(), false)) return err;
    return noErr;
}

bool workingPackageValid(PackageEditor* editor) {
    return !packageQuestion(editor->working);
}

// --- the commit ------------------------------------------------------------------------------

// The working package, its open field editors committed first, flattened into a new image.
OSErr flattenWorking(PackageEditor* editor, UniqueHandle* image) {
    if (OSErr err = commitFieldEditors(editor)) return err;
    return flattenPackage(editor->working, image);
}

// The package is invalid and goes, as the Delete command would remove it; its file's list window
// is left without a selection.
void deleteEditedPackage(PackageEditor* editor) {
    PackageEntry* e = editor->entry;
    PackageFile* f = e->owner;
    deselectAll(f);
    gEditorOf.erase(e);
    editor->entry = nullptr;
    PackageEntry* const gone[] = {e};
    deletePackages(f, gone);
    refreshListWindow(f, ListRefresh::keepScroll);
    updateCount(f);
}

// What the library operations and the save ask of the editors open on a file's packages. It
// holds no state (the editors are found through editorOf), so one object serves every file.
class Editors final : public OpenEditors {
public:
    bool isOpen(const PackageEntry* e) const override { return editorOf(e) != nullptr; }
    bool hasChanges(const PackageEntry* e) const override { return ::hasChanges(editorOf(e)); }
    bool hasChangesIn(const PackageFile* f) const override {
        return std::ranges::any_of(gEditorOf, [f](const auto& open) {
            return open.first->owner == f && ::hasChanges(open.second);
        });
    }
    OSErr commit(PackageEntry* e) override { return commitEditor(editorOf(e), false); }
    void close(PackageEntry* e) override { closeEditor(editorOf(e), Validation::skip); }
};
Editors gEditors;

// --- the window -------------------------------------------------------------------------------

void activate(PackageEditor* editor, bool active) {
    if (active) {
        makeEditorFileCurrent(editor);
    } else if (editor->entry) {
        if (OSErr err = commitEditor(editor, false)) ErrorAlert(err);
    }
    if (editor->focus == EditorFocus::window) {
        InvalWindowRect(editor->window, nullptr);
        return;
    }
    if (editor->textEdit && editor->headerPane) {
        PortScope port(editor->headerPane);
        if (active)
            TEActivate(editor->textEdit);
        else
            TEDeactivate(editor->textEdit);
    }
    // Create leaves its new row selected while the header keeps the focus: that row's
    // highlight depends on activity too, and is drawn again.
    for (int r = 0, count = rowCount(editor); r < count; ++r) {
        if (isRowSelected(editor, r)) {
            InvalWindowRect(editor->window, nullptr);
            break;
        }
    }
}

// A menu command to the window: the text commands first while the focus is the header, then
// the item list's commands; Revert Package always here, unless the user does not confirm it.
// Others are left to the application. The command's error goes back in the message.
bool menuCommand(PackageEditor* editor, WindowMessage& msg) {
    const std::int16_t command = msg.command;
    if (command == kCmdRevertPackage) {
        const OSErr err = revertFromEditor(editor);
        if (err == cancelledErr) return false;
        msg.err = err;
        return true;
    }
    if (editor->focus == EditorFocus::header && headerTextCommand(editor, command)) return true;
    switch (command) {
    case kCmdCut:
    case kCmdCopy:
    case kCmdPaste:
    case kCmdDelete:
    case kCmdSelectAll:
    case kCmdDuplicate:
    case kCmdCreate:
    case kCmdOpenEditor:
        msg.err = itemListCommand(editor, command);
        return true;
    default:
        return false;
    }
}

void windowKey(PackageEditor* editor, const WindowMessage& msg) {
    if (editor->focus == EditorFocus::header) {
        headerKey(editor, msg.key);
    } else if (msg.key == kKeyDelete || msg.key == kKeyBackspace) {
        SendCommandIfEnabled(editor->window, kCmdDelete, kCmdEditMenu);
    } else if (msg.key == kKeyTab) {
        setFocus(editor, EditorFocus::header);
        if (editor->textEdit) TESetSelect(0, 255, editor->textEdit);
    } else {
        itemListKey(editor, msg);
    }
}

bool editorProc(WindowPtr w, WindowMessage& msg) {
    auto* editor = static_cast<PackageEditor*>(w->refCon);
    if (!editor) return false;
    switch (msg.kind) {
    case wmCreated:
        editor->window = w;
        return true;
    case wmIdle:
        if (editor->focus == EditorFocus::header && editor->headerPane)
            SendWindowMessage(editor->headerPane, msg);
        return true;
    case wmCloseRequest:
        closeEditor(editor, Validation::ask);
        return true;
    case wmDispose:
        TEDispose(editor->textEdit);
        editor->textEdit = nullptr;
        disposeForm(editor->headerForm);
        editor->headerForm = nullptr;
        for (int i = 0; WindowPtr pane = GetWindowPane(w, i); ++i)
            SetWRefCon(pane, nullptr);
        SetWRefCon(w, nullptr);
        editor->window = nullptr;
        editor->headerPane = nullptr;
        return true;
    case wmActivate:
        activate(editor, msg.active);
        return false; // the default activation handling moves the keyboard focus
    case wmUpdate:
        drawItemList(editor, msg.area);
        return true;
    case wmMouseDown:
    case wmDoubleClick:
        setFocus(editor, EditorFocus::window);
        clickItemList(editor, msg);
        return true;
    case wmKeyDown:
        windowKey(editor, msg);
        return true;
    case wmMenuCommand:
        return menuCommand(editor, msg);
    default:
        return false;
    }
}

// The first visible package editor window of the same package file, front to back, else the
// file's list window; nullptr when neither is there.
WindowPtr placementReference(const PackageEditor* editor) {
    PackageFile* file = editor->entry->owner;
    for (WindowPtr w = GetNextWindow(nullptr); w; w = GetNextWindow(w)) {
        if (!w->visible) break;
        const PackageEditor* other = editorOfWindow(w);
        if (other && other != editor && other->entry && other->entry->owner == file) return w;
    }
    return file ? listWindowOf(file) : nullptr;
}

bool makeHeader(PackageEditor* editor) {
    FormHandle form = newForm(0);
    if (!form) return false;
    editor->headerForm = form;
    for (int n : {int(kHeaderSectionsButton), int(kHeaderNetsButton)}) {
        FormItem* it = formItem(form, n);
        ControlHandle button =
            NewControl(editor->headerPane, it->rect, PToCStr(getItemText(form, n)), radioButProc,
                       std::int16_t(n), it->style);
        if (!button) return false;
        // The button stands in for the label: the item is kept out of sight and out of reach.
        DisposeHandle(it->text);
        DisposeTextStyle(it->style);
        it->text = nullptr;
        it->style = nullptr;
        it->kind = kFormRect;
        it->sizeOrChoice = 0;
        OffsetRect(&it->rect, -500, 0);
    }
    SetControlValue(GetWindowControl(editor->headerPane, kHeaderSectionsButton), 1);
    PortScope port(editor->headerPane);
    for (int field = 1; field <= 6; ++field) {
        if (setItemText(form, kHeaderFields[field - 1], packageField(editor->working, field)))
            return false;
    }
    matchShape(form, &editor->shapeFamily);

    const ColorCode background = GetBackColor();
    RGBBackColor(kWhiteColor);
    Rect r;
    SetRect(&r, 0, 0, 2000, 120);
    editor->textEdit = TENew(r, r);
    RGBBackColor(background);
    if (!editor->textEdit || reserveFieldText(editor->textEdit)) return false;
    bindField(editor, kHeaderName);
    TESetSelect(0, 255, editor->textEdit);
    return true;
}

OSErr createWindow(PackageEditor* editor) {
    Rect bounds = GetDefaultWindowBounds(kDocumentStyle);
    WindowPtr w =
        NewWindow(kDocumentStyle, &bounds, "", kInFront, kPackageEditorKind, editor, editorProc);
    if (!w) return memFullErr;
    editor->window = w;
    SetWindowScrollAmounts(w, kScrollStep, 0);
    SetWindowHandler(w, editorEnabling);

    const Rect moved = CascadeBounds(placementReference(editor), kDocumentStyle, bounds);
    bounds.left = moved.left;
    bounds.top = moved.top;
    bounds.right = std::int16_t(bounds.left + kWindowWidth);
    bounds.bottom = std::int16_t(bounds.top + kWindowHeight);
    MoveSizeWindow(w, bounds);
    Rect limits = w->growLimits;
    limits.top = kMinimumHeight;
    SetWindowGrowLimits(w, limits);
    SetWTitle(w, PToCStr(displayName(editor->entry)));

    editor->headerPane = NewChildPane(w, kHeaderHeight, headerPaneProc, editor);
    if (!editor->headerPane || !makeHeader(editor)) {
        DisposeWindow(w); // its dispose message frees what the header holds
        editor->window = nullptr;
        return memFullErr;
    }
    ShowWindow(editor->headerPane);
    editor->activeList = kNoActiveList;
    showList(editor, 0, false);
    editor->focus = EditorFocus::window;
    setFocus(editor, EditorFocus::header);
    return noErr;
}

void freeEditor(PackageEditor* editor) {
    if (editor->entry) gEditorOf.erase(editor->entry);
    editor->entry = nullptr;
    delete editor;
}

// A new editor record holding the entry's Package; nullptr (the error shown) when the image
// cannot be read or expanded, or memory ran out.
PackageEditor* createEditor(PackageEntry* entry) {
    auto* editor = new (std::nothrow) PackageEditor;
    if (!editor) return nullptr;
    OSErr err = noErr;
    Handle image = getImage(entry, &err);
    if (image) err = expandImage(image, &editor->working);
    if (!image || err) {
        ErrorAlert(err ? err : memFullErr);
        delete editor;
        return nullptr;
    }
    if (!editor->working.fieldText) editor->working.fieldText = NewHandle(0);
    if (!editor->working.fieldText) {
        delete editor;
        return nullptr;
    }
    // A display name that a failed read left as "?" follows the image read now.
    const std::string shown(displayNameView(entry));
    recomputeDisplayName(entry, image);
    if (shown != displayNameView(entry) && entry->owner && listWindowOf(entry->owner))
        InvalWindowRect(listWindowOf(entry->owner), nullptr);
    try {
        gEditorOf[entry] = editor;
    } catch (const std::bad_alloc&) {
        delete editor;
        return nullptr;
    }
    editor->entry = entry;
    if (entry->owner) entry->owner->editors = &gEditors;
    purgeEntry(entry);
    editor->netCount = std::uint16_t(countNetItems(editor->working));
    editor->shapeFamily = kNoShapeFamily;
    return editor;
}

} // namespace

// ---- public ----------------------------------------------------------------------------------

PackageEditor* openEditor(PackageEntry* entry) {
    if (!entry) return nullptr;
    PackageEditor* editor = editorOf(entry);
    if (!editor && !(editor = createEditor(entry))) return nullptr;
    if (!editor->window) {
        if (OSErr err = createWindow(editor)) {
            ErrorAlert(err);
            freeEditor(editor);
            return nullptr;
        }
    }
    ShowWindow(editor->window);
    SelectWindow(editor->window);
    makeEditorFileCurrent(editor);
    return editor;
}

CloseResult closeEditor(PackageEditor* editor, Validation validation) {
    if (!editor) return CloseResult::closed;
    // Sections first, then nets, each by number. A close may delete its item and so renumber
    // the others: the walk goes on after the key it closed, and then takes any left behind it.
    FieldEditors& open = editor->fieldEditors;
    std::optional<ItemKey> last;
    for (auto it = open.begin(); it != open.end(); it = open.upper_bound(*last)) {
        last = it->first;
        if (closeFieldEditor(it->second.get(), validation) == CloseResult::cancelled)
            return CloseResult::cancelled;
    }
    while (!open.empty())
        if (closeFieldEditor(open.begin()->second.get(), validation) == CloseResult::cancelled)
            return CloseResult::cancelled;
    bool remove = false;
    if (validation == Validation::ask && editor->entry) {
        if (const std::optional<StringId> message = packageQuestion(editor->working)) {
            if (!confirmProceed(*message)) {
                if (editor->window) SelectWindow(editor->window);
                return CloseResult::cancelled;
            }
            remove = true;
        }
    }
    if (editor->entry) {
        if (OSErr err = commitEditor(editor, remove)) {
            ErrorAlert(err);
            // The edits are kept in the window, unless the caller drops them anyway.
            if (validation == Validation::ask) {
                if (editor->window) SelectWindow(editor->window);
                return CloseResult::cancelled;
            }
        }
    }
    if (editor->window) {
        editor->stateFlags &= ~kEditorChanged; // its deactivation has nothing left to carry
        DisposeWindow(editor->window);
    }
    freeEditor(editor);
    return CloseResult::closed;
}

bool hasChanges(PackageEditor* editor) {
    if (!editor) return false;
    if (editor->stateFlags & kEditorChanged) return true;
    return std::ranges::any_of(editor->fieldEditors,
                               [](const auto& open) { return open.second->changed; });
}

PackageEditor* currentPackageEditor() {
    WindowPtr front = FrontWindow();
    if (const FieldEditor* fe = fieldEditorOfWindow(front)) return fe->owner;
    return editorOfWindow(front);
}

void makeEditorFileCurrent(const PackageEditor* editor) {
    if (editor && editor->entry) setCurrentPackageFile(editor->entry->owner);
}

PackageEditor* editorOfWindow(WindowPtr w) {
    if (!w || w->isPane || w->windowKind != kPackageEditorKind) return nullptr;
    return static_cast<PackageEditor*>(w->refCon);
}

int rowCount(const PackageEditor* editor) {
    return editor->activeList == 1 ? editor->netCount : editor->working.sectionCount;
}

void showList(PackageEditor* editor, std::uint8_t list, bool withFocus) {
    if (list > 1) return;
    if (list != editor->activeList && editor->focus == EditorFocus::window) deselectAllRows(editor);
    editor->activeList = list;
    if (editor->headerPane) {
        SetControlValue(GetWindowControl(editor->headerPane, kHeaderSectionsButton), list == 0);
        SetControlValue(GetWindowControl(editor->headerPane, kHeaderNetsButton), list == 1);
    }
    remeasure(editor);
    if (withFocus) setFocus(editor, EditorFocus::window);
}

void remeasure(PackageEditor* editor) {
    remeasureList(editor, false);
}

void setFocus(PackageEditor* editor, EditorFocus target) {
    if (editor->focus == target) return;
    if (editor->focus == EditorFocus::window) {
        bool any = false;
        for (int k = 1; k <= editor->working.sectionCount; ++k) {
            ComponentSection* s = sectionAt(editor->working, k);
            any |= (s->flags & kSectionSelected) != 0;
            s->flags &= ~kSectionSelected;
        }
        forEachNetItem(editor->working, [&any](NetItem* n) {
            any |= (n->flags & kNetItemSelected) != 0;
            n->flags &= std::uint16_t(~kNetItemSelected);
        });
        if (any && editor->window) InvalWindowRect(editor->window, nullptr);
    } else if (editor->textEdit) {
        PortScope port(editor->headerPane);
        TEDeactivate(editor->textEdit);
    }
    editor->focus = target;
    if (target == EditorFocus::header && editor->textEdit) {
        PortScope port(editor->headerPane);
        TEActivate(editor->textEdit);
    }
}

CloseResult closeFileEditors(PackageFile* file, Validation validation) {
    // A validated close may delete its Package from the list: the walk starts again after each.
    for (;;) {
        PackageEntry* e = file->packages;
        while (e && !editorOf(e))
            e = e->next;
        if (!e) return CloseResult::closed;
        if (closeEditor(editorOf(e), validation) == CloseResult::cancelled)
            return CloseResult::cancelled;
    }
}

PackageEditor* editorOf(const PackageEntry* entry) {
    const auto found = gEditorOf.find(entry);
    return found == gEditorOf.end() ? nullptr : found->second;
}

OSErr commitEditor(PackageEditor* editor, bool validate) {
    if (!editor || !editor->entry) return noErr;
    if (!hasChanges(editor) && !validate) return noErr;
    if (validate && !workingPackageValid(editor)) {
        deleteEditedPackage(editor);
        return noErr;
    }
    UniqueHandle image;
    if (OSErr err = flattenWorking(editor, &image)) return err;
    PackageEntry* e = editor->entry;
    if (OSErr err = commitEdited(e, image.get())) return err;
    image.release();
    if (PackageFile* f = e->owner; f && listWindowOf(f)) InvalWindowRect(listWindowOf(f), nullptr);
    editor->stateFlags &= ~kEditorChanged;
    return noErr;
}
