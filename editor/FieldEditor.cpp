// The field editor windows: their records held by the package editor, creating and placing the
// window, loading the values into the rows, focus, clicks, typing and its key filter, the text
// commands, menu enabling, and the validation and commit that carry the texts into the working
// package.
#include "editor/FieldEditor.h"

#include "editor/EditorInternal.h"
#include "editor/FieldEditorText.h"
#include "editor/ItemList.h"
#include "listwin/Confirmations.h"
#include "listwin/PackageClipboard.h"
#include "model/PackageRules.h"
#include "resources/Commands.h"
#include "toolbox/core/FieldText.h"
#include "toolbox/core/StringTable.h"
#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/EnablingSteps.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::int16_t kWidth = 230;
constexpr std::int16_t kHeight = 173;
constexpr std::int32_t kDocWidth = 1000;
constexpr int kKeyDeleteNumber = 317;

bool isSection(const FieldEditor* fe) {
    return fe->index > 0;
}

GrafPtr focusPort(const FieldEditor* fe) {
    return fe->focusHeader ? fe->headerPane : fe->window;
}

Str255 trimmed(FormHandle form, int item) {
    Str255 s = getItemText(form, item);
    PStrTrim(s);
    return s;
}

Str255 upperTrimmed(FormHandle form, int item) {
    Str255 s = trimmed(form, item);
    PStrUpper(s);
    return s;
}

int itemsPerRow(const FieldEditor* fe) {
    return isSection(fe) ? 2 : 1;
}

ItemKey keyOf(int index) {
    return index > 0 ? ItemKey{0, index} : ItemKey{1, -index};
}

void setTitle(FieldEditor* fe) {
    if (!fe->window) return;
    char ownerTitle[256] = "";
    if (fe->owner->window) GetWTitle(fe->owner->window, ownerTitle);
    std::string name;
    if (isSection(fe)) {
        name = "Section ";
        name += char('A' + fe->index - 1);
    } else {
        name = trimmed(fe->headerForm, kFieldHeaderEdit).str();
        if (name.empty()) name = "Unnamed";
    }
    char title[512];
    std::snprintf(title, sizeof title, "%s  (%s)", ownerTitle, name.c_str());
    SetWTitle(fe->window, title);
}

// Moves the keyboard focus to the header pane or the rows area, deactivating the text edit
// record in the one left.
void setFocusTo(FieldEditor* fe, bool header) {
    if (fe->focusHeader != header) {
        if (fe->textEdit) {
            PortScope port(focusPort(fe));
            TEDeactivate(fe->textEdit);
        }
        fe->focusHeader = header;
    }
    SetPort(focusPort(fe));
}

// The text edit record draws a field on white; the row field it leaves is drawn again by the
// rows form, on the window's grey, at the next update.
void releaseRowItem(FieldEditor* fe) {
    if (fe->focusedItem == 0 || !fe->window || !fe->rowsForm) return;
    Rect r = itemRect(fe->rowsForm, fe->focusedItem);
    InsetRect(&r, -2, -2);
    InvalWindowRect(fe->window, &r);
}

void focusHeaderField(FieldEditor* fe) {
    releaseRowItem(fe);
    setFocusTo(fe, true);
    bindItem(fe->textEdit, fe->headerForm, fe->headerPane, kFieldHeaderEdit);
    TEActivate(fe->textEdit);
    TESetSelect(0, 255, fe->textEdit);
    fe->focusedItem = 0;
}

void focusRowItem(FieldEditor* fe, int k) {
    if (fe->focusedItem != k) releaseRowItem(fe);
    setFocusTo(fe, false);
    bindItem(fe->textEdit, fe->rowsForm, fe->window, k);
    TEActivate(fe->textEdit);
    TESetSelect(0, 255, fe->textEdit);
    fe->focusedItem = std::uint16_t(k);
    const Rect r = itemRect(fe->rowsForm, k);
    if (!IsRectVisible(fe->window, r))
        ScrollWindowTo(fe->window, 0, std::int16_t(r.top - 4 * formRowHeight() - 1));
}

// Stores the focused field's text into its item. Should memory run out, the field shows its
// stored text again, as if the edit had been refused (with the beep).
void storeText(FieldEditor* fe) {
    FormHandle form = fe->focusedItem == 0 ? fe->headerForm : fe->rowsForm;
    const int item = fe->focusedItem == 0 ? kFieldHeaderEdit : fe->focusedItem;
    if (storeItem(fe->textEdit, form, item) != noErr) {
        bindItem(fe->textEdit, form, nullptr, item);
        MessageBeep();
        return;
    }
    fe->changed = true;
    if (!isSection(fe) && fe->focusedItem == 0) setTitle(fe);
}

std::int32_t selectionLength(const TERec* te) {
    return te->selEnd - te->selStart;
}

// The key to use (Return becomes Tab), or 0 when the key is refused.
int filterKey(const FieldEditor* fe, int key, bool special) {
    if (key == KeyNumber(kKeyReturn)) key = KeyNumber(kKeyTab);
    if (key == KeyNumber(kKeyBackspace) || key == KeyNumber(kKeyTab) ||
        key == KeyNumber(kKeyRightArrow) || key == KeyNumber(kKeyLeftArrow))
        return key;
    if (key == ',' || key == 127 || key < 32 || key > 255 || special) return 0;
    const char c = char(key);
    return fieldMayRead(fe, withInsert(fe, std::string_view(&c, 1))) ? key : 0;
}

// The scrap's run is cut before the first character that the field may not take there.
void paste(FieldEditor* fe) {
    std::string run;
    const std::int32_t n = pasteScrapRun(
        fe->textEdit,
        [fe, &run](int c) {
            run += char(c);
            return c >= 32 && c != ',' && c != 127 && fieldMayRead(fe, withInsert(fe, run));
        },
        [](std::int32_t) { return true; });
    if (n > 0) storeText(fe);
}

void tabKey(FieldEditor* fe, bool isReturn) {
    if (fe->focusHeader) {
        focusRowItem(fe, 1);
        return;
    }
    const int last = itemCount(fe->rowsForm);
    if (fe->focusedItem == last) {
        if (!isReturn) {
            focusHeaderField(fe);
            return;
        }
        if (addFieldEditorRow(fe) != noErr) { // a row that cannot be added is refused
            MessageBeep();
            return;
        }
    }
    focusRowItem(fe, nextEditItem(fe->rowsForm, fe->focusedItem));
}

void keyDown(FieldEditor* fe, const WindowMessage& msg) {
    if (!fe->textEdit) return;
    if (KeyNumber(msg.key) == kKeyDeleteNumber &&
        SendCommandIfEnabled(fe->window, kCmdDelete, kCmdEditMenu))
        return;
    PortScope port(focusPort(fe));
    const bool isReturn = msg.key == kKeyReturn;
    const int c = KeyNumber(msg.key) == kKeyDeleteNumber
                      ? 0
                      : filterKey(fe, KeyNumber(msg.key), msg.special && !isReturn);
    if (c == 0) {
        MessageBeep();
    } else if (c == KeyNumber(kKeyTab)) {
        tabKey(fe, isReturn);
    } else {
        TEKey(KeyCode{std::int16_t(c)}, fe->textEdit);
        storeText(fe);
    }
}

void click(FieldEditor* fe, const WindowMessage& msg, bool header) {
    WindowPtr port = header ? fe->headerPane : fe->window;
    FormHandle form = header ? fe->headerForm : fe->rowsForm;
    std::uint8_t kind = 255;
    const int item = findItem(form, port, msg, &kind);
    if (!item || kind != kFormEdit) return;
    const int focused = header ? 0 : item;
    const bool wasHeader = fe->focusHeader;
    setFocusTo(fe, header);
    if (focused != fe->focusedItem || wasHeader != header) {
        bindItem(fe->textEdit, form, port, item);
        TEActivate(fe->textEdit);
        fe->focusedItem = std::uint16_t(focused);
    }
    PortScope scope(port);
    TEClick(msg.where, msg.shift, fe->textEdit);
}

bool menuCommand(FieldEditor* fe, WindowMessage& msg) {
    const std::int16_t command = msg.command;
    if (command == kCmdRevertPackage) {
        if (!fe->owner->window) return false;
        WindowMessage m;
        m.kind = wmMenuCommand;
        m.command = command;
        const bool handled = SendWindowMessage(fe->owner->window, m); // may close this window
        msg.err = m.err;
        return handled;
    }
    if (command == kCmdCreate) {
        setFocusTo(fe, false);
        if (addFieldEditorRow(fe) == noErr)
            focusRowItem(fe, (fe->rowCount - 1) * itemsPerRow(fe) + 1);
        return true;
    }
    TEHandle te = fe->textEdit;
    if (!te) return false;
    PortScope port(focusPort(fe));
    switch (command) {
    case kCmdCut:
        clearClipboards();
        TECopy(te);
        TEDelete(te);
        storeText(fe);
        return true;
    case kCmdCopy:
        clearClipboards();
        TECopy(te);
        fe->changed = true; // so that a later close commits the texts
        return true;
    case kCmdPaste:
        paste(fe);
        return true;
    case kCmdDelete:
        TEDelete(te);
        storeText(fe);
        return true;
    default:
        return false;
    }
}

bool enabling(WindowPtr w, MenuEnableRecord& rec) {
    FieldEditor* fe = fieldEditorOfWindow(w);
    if (!fe) return false;
    const std::int16_t c = rec.command;
    // The selection is looked at with the first title asked about: the File menu's in a full
    // pass, the Edit menu's when only that menu is brought up to date.
    if (c == kCmdFileMenu || c == kCmdEditMenu)
        fe->selectionPresent = fe->textEdit && selectionLength(fe->textEdit) > 0;
    if (c == kCmdFileMenu) return false;
    if (commandInMenu(c, kCmdFileMenu) || c == kCmdWindowMenu) return false;
    switch (c) {
    case kCmdEditMenu:
    case kCmdPackageMenu:
    case kCmdHelpMenu:
    case kCmdAbout:
        rec.enabled = true;
        return true;
    case kCmdCut:
    case kCmdCopy:
    case kCmdDelete:
        rec.enabled = fe->selectionPresent;
        return true;
    case kCmdPaste:
        rec.enabled = TEGetScrapLength() > 0;
        return true;
    case kCmdCreate: {
        const std::string_view text =
            GetStringEntry(isSection(fe) ? StringId::createPinSwapField : StringId::createPinField);
        std::snprintf(rec.text, sizeof rec.text, "%.*s", int(text.size()), text.data());
        rec.enabled = true;
        return true;
    }
    case kCmdRevertPackage:
        if (!fe->owner->window) {
            rec.enabled = false;
            return true;
        }
        return editorEnabling(fe->owner->window, rec);
    default:
        if (commandInMenu(c, kCmdWindowMenu)) return false;
        rec.enabled = false;
        return true;
    }
}

bool windowProc(WindowPtr w, WindowMessage& msg);

bool headerProc(WindowPtr pane, WindowMessage& msg) {
    auto* fe = pane->owner ? static_cast<FieldEditor*>(pane->owner->refCon) : nullptr;
    if (!fe || !fe->headerForm) return false;
    switch (msg.kind) {
    case wmUpdate: {
        DefWindowProc(pane, msg);
        PortScope port(pane);
        drawForm(fe->headerForm, msg.area);
        if (fe->focusHeader && fe->textEdit) {
            Rect r;
            if (SectRect(fe->textEdit->viewRect, msg.area, &r)) TEUpdate(&r, fe->textEdit);
        }
        return true;
    }
    case wmMouseDown:
    case wmDoubleClick:
        click(fe, msg, true);
        return true;
    case wmKeyDown:
        keyDown(fe, msg);
        return true;
    default:
        return false;
    }
}

void idle(FieldEditor* fe) {
    if (fe->focusHeader && fe->headerPane) {
        PortScope port(fe->headerPane);
        Point p;
        GetMouse(&p);
        const Rect content = GetPortRect(fe->headerPane);
        const int item = PtInRect(p, content) ? hitTest(fe->headerForm, p) : 0;
        const FormItem* it = formItem(fe->headerForm, item);
        SetWindowCursor(fe->headerPane, it && it->kind == kFormEdit ? iBeamCursor : arrowCursor);
    }
    if (fe->textEdit) {
        PortScope port(focusPort(fe));
        TEIdle(fe->textEdit);
    }
}

bool windowProc(WindowPtr w, WindowMessage& msg) {
    auto* fe = static_cast<FieldEditor*>(w->refCon);
    if (!fe) return false;
    switch (msg.kind) {
    case wmCreated:
        fe->window = w;
        SetWindowCursor(w, iBeamCursor);
        return true;
    case wmIdle:
        idle(fe);
        return true;
    case wmCloseRequest:
        closeFieldEditor(fe, Validation::ask);
        return true;
    case wmDispose:
        TEDispose(fe->textEdit);
        fe->textEdit = nullptr;
        disposeForm(fe->headerForm);
        fe->headerForm = nullptr;
        disposeForm(fe->rowsForm);
        fe->rowsForm = nullptr;
        SetWRefCon(w, nullptr);
        fe->window = nullptr;
        fe->headerPane = nullptr;
        return true;
    case wmActivate:
        if (fe->textEdit) {
            PortScope port(focusPort(fe));
            if (msg.active) {
                makeEditorFileCurrent(fe->owner);
                TEActivate(fe->textEdit);
            } else {
                TEDeactivate(fe->textEdit);
            }
        }
        return false; // the default activation handling runs too
    case wmUpdate: {
        PortScope port(w);
        Rect area = msg.area;
        InsetRect(&area, -2, -2);
        FillRect(area, grayPat);
        PenNormal();
        drawForm(fe->rowsForm, msg.area);
        if (!fe->focusHeader && fe->textEdit) {
            Rect r;
            if (SectRect(fe->textEdit->viewRect, msg.area, &r)) TEUpdate(&r, fe->textEdit);
        }
        return true;
    }
    case wmMouseDown:
    case wmDoubleClick:
        click(fe, msg, false);
        return true;
    case wmKeyDown:
        keyDown(fe, msg);
        return true;
    case wmMenuCommand:
        return menuCommand(fe, msg);
    default:
        return false;
    }
}

// The frontmost visible field editor window of the same owner, else the owner's window.
WindowPtr placementReference(const FieldEditor* fe) {
    for (WindowPtr w = GetNextWindow(nullptr); w; w = GetNextWindow(w)) {
        if (w == fe->window || !w->visible) continue;
        const FieldEditor* other = fieldEditorOfWindow(w);
        if (other && other->owner == fe->owner) return w;
    }
    return fe->owner->window;
}

// Puts a value into a rows item without drawing it. The rows are loaded before the window is
// first drawn, and that update draws every row in sight; most rows of a long section lie below
// the window, and drawing each one as it is loaded would cost more than the update itself.
OSErr loadRowText(FieldEditor* fe, int item, const Str255& text) {
    FormItem* it = formItem(fe->rowsForm, item);
    if (!it || it->kind != kFormEdit) return paramErr;
    if (!it->text && !(it->text = NewHandle(0))) return memFullErr;
    if (SetHandleSize(it->text, text.length()) != noErr) return memFullErr;
    if (text.length() > 0) std::memcpy(it->text->data, text.chars(), text.length());
    return noErr;
}

OSErr loadValues(FieldEditor* fe) {
    PortScope port(fe->window);
    PackageRecord& working = fe->owner->working;
    Str255 header;
    if (isSection(fe)) {
        const ComponentSection* s = sectionAt(working, fe->index);
        if (!s) return paramErr;
        for (int p = 1; p <= s->pinChangeCount; ++p) {
            const int row = p;
            if (OSErr err = loadRowText(fe, 2 * row - 1, GetField(s->pinChanges, 2 * p - 1)))
                return err;
            if (OSErr err = loadRowText(fe, 2 * row, GetField(s->pinChanges, 2 * p))) return err;
            if (OSErr err = addFieldEditorRow(fe)) return err;
        }
        header = NumToString(s->classId);
    } else {
        const NetItem* n = findNetItem(working, -fe->index);
        if (!n) return paramErr;
        const std::string_view text = netItemText(n);
        const int fields = text.empty() ? 0 : int(std::count(text.begin(), text.end(), '\t')) + 1;
        for (int i = 1; i + 1 <= fields; ++i) {
            if (OSErr err = loadRowText(fe, i, netItemField(n, i + 1))) return err;
            if (OSErr err = addFieldEditorRow(fe)) return err;
        }
        header = netItemField(n, 1);
    }
    SetPort(fe->headerPane);
    return setItemText(fe->headerForm, kFieldHeaderEdit, header);
}

OSErr createWindow(FieldEditor* fe) {
    Rect bounds = GetDefaultWindowBounds(kSmallDocumentStyle);
    WindowPtr w =
        NewWindow(kSmallDocumentStyle, &bounds, "", kInFront, kFieldEditorKind, fe, windowProc);
    if (!w) return memFullErr;
    fe->window = w;
    fe->headerForm = newForm(isSection(fe) ? 3 : 5);
    if (!fe->headerForm) return memFullErr;
    const std::int16_t headerHeight = itemRect(fe->headerForm, 1).bottom;
    SetWindowHandler(w, enabling);

    Rect placed = CascadeBounds(placementReference(fe), kSmallDocumentStyle, bounds);
    placed.right = std::int16_t(placed.left + kWidth);
    placed.bottom = std::int16_t(placed.top + kHeight);
    MoveSizeWindow(w, placed);

    fe->rowsForm = newForm(isSection(fe) ? 4 : 6);
    if (!fe->rowsForm) return memFullErr;
    fe->rowCount = 1;
    const std::int16_t rh = formRowHeight();
    SetWindowDocSize(w, kDocWidth, rh);
    SetWindowScrollAmounts(w, rh, std::int16_t(5 * rh));

    fe->headerPane = NewChildPane(w, headerHeight, headerProc, nullptr);
    if (!fe->headerPane) return memFullErr;
    ShowWindow(fe->headerPane);
    {
        PortScope port(w);
        Rect r;
        SetRect(&r, 0, 0, kDocWidth, rh);
        fe->textEdit = TENew(r, r);
        RGBBackColor(kGreyColor);
    }
    if (!fe->textEdit || reserveFieldText(fe->textEdit)) return memFullErr;
    if (OSErr err = loadValues(fe)) return err;
    fe->focusHeader = false;
    focusHeaderField(fe);
    fe->changed = false;
    return noErr;
}

} // namespace

void FieldEditorDisposer::operator()(FieldEditor* fe) const noexcept {
    if (fe && fe->window) DisposeWindow(fe->window); // its dispose message frees the forms
    delete fe;
}

// ---- public ------------------------------------------------------------------------------------

FieldEditor* openFieldEditor(PackageEditor* owner, int index) {
    if (!owner || index == 0) return nullptr;
    FieldEditor* fe = findFieldEditor(owner, index);
    if (!fe) {
        std::unique_ptr<FieldEditor, FieldEditorDisposer> made(new (std::nothrow) FieldEditor);
        if (!made) return nullptr;
        made->owner = owner;
        made->index = std::int16_t(index);
        fe = made.get();
        try {
            owner->fieldEditors.emplace(keyOf(index), std::move(made));
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    if (!fe->window) {
        if (OSErr err = createWindow(fe)) {
            owner->fieldEditors.erase(keyOf(fe->index)); // disposes of the window and record
            ErrorAlert(err);
            return nullptr;
        }
    }
    setTitle(fe);
    ShowWindow(fe->window);
    SelectWindow(fe->window);
    return fe;
}

FieldEditor* findFieldEditor(const PackageEditor* owner, int index) {
    if (!owner) return nullptr;
    const FieldEditors& all = owner->fieldEditors;
    const auto found = index == 0 ? all.begin() : all.find(keyOf(index));
    return found == all.end() ? nullptr : found->second.get();
}

CloseResult closeFieldEditor(FieldEditor* fe, Validation validation) {
    if (!fe) return CloseResult::closed;
    bool remove = false;
    if (validation == Validation::ask && fe->headerForm) {
        const Str255 header = trimmed(fe->headerForm, kFieldHeaderEdit);
        std::optional<StringId> message;
        if (isSection(fe)) {
            message = sectionQuestion(classIdOf(header.view()).value_or(0));
        } else {
            bool anyPin = false;
            for (int i = 1; i <= itemCount(fe->rowsForm) && !anyPin; ++i)
                anyPin = !trimmed(fe->rowsForm, i).empty();
            message = netQuestion(header.view(), anyPin);
        }
        if (message) {
            if (!confirmProceed(*message)) {
                if (fe->window) SelectWindow(fe->window);
                return CloseResult::cancelled;
            }
            remove = true;
        }
    }
    // Out of the owner's container first, so that a deletion that the commit starts does not
    // close it again. Taking the node out and putting it back allocates nothing.
    FieldEditors& all = fe->owner->fieldEditors;
    auto node = all.extract(keyOf(fe->index));
    if (OSErr err = commitFieldEditor(fe, remove); err && validation == Validation::ask) {
        // The texts stay where they are: in the window, which stays open.
        if (!node.empty()) {
            node.key() = keyOf(fe->index);
            all.insert(std::move(node));
        }
        ErrorAlert(err);
        if (fe->window) SelectWindow(fe->window);
        return CloseResult::cancelled;
    }
    return CloseResult::closed; // the node disposes of the window and record as it goes
}

OSErr commitFieldEditor(FieldEditor* fe, bool remove) {
    if (!fe || !fe->headerForm || (!fe->changed && !remove)) return noErr;
    PackageEditor* owner = fe->owner;
    const Str255 header = upperTrimmed(fe->headerForm, kFieldHeaderEdit);
    if (isSection(fe)) {
        const int k = fe->index;
        const std::int32_t number = classIdOf(header.view()).value_or(0);
        // A section without a Class ID cannot be kept: with remove it goes, otherwise it stays as
        // it was and the window keeps its changes.
        if (number == 0) {
            if (remove) deleteListItem(owner, 0, k);
            return noErr;
        }
        ComponentSection* s = sectionAt(owner->working, k);
        if (!s) return noErr;
        std::string pins;
        std::uint16_t pairs = 0;
        for (int r = 1; r <= fe->rowCount; ++r) {
            const Str255 a = upperTrimmed(fe->rowsForm, 2 * r - 1);
            const Str255 b = upperTrimmed(fe->rowsForm, 2 * r);
            if (a.empty() || b.empty()) continue;
            if (pairs++) pins += '\t';
            pins.append(a.view()).append(1, '\t').append(b.view());
        }
        Handle text = pairs ? PtrToHand(pins.data(), Size(pins.size())) : nullptr;
        if (pairs && !text) return memFullErr; // the section as it was
        DisposeHandle(s->pinChanges);
        s->pinChanges = text;
        s->pinChangeCount = pairs;
        s->classId = number;
    } else {
        const int k = -fe->index;
        NetItem* n = findNetItem(owner->working, k);
        if (!n) return noErr;
        std::string text(header.view());
        for (int r = 1; r <= fe->rowCount; ++r) {
            const Str255 pin = upperTrimmed(fe->rowsForm, r);
            if (pin.empty()) continue;
            if (text.size() + 1 + pin.length() > kMaxNetText) break; // never part of a pin
            text += '\t';
            text += pin.view();
        }
        // A net without a name or a pin cannot be kept either.
        if (netTextQuestion(text)) {
            if (remove) deleteListItem(owner, 1, k);
            return noErr;
        }
        setNetItemText(n, text);
    }
    if (owner->window) InvalWindowRect(owner->window, nullptr);
    owner->stateFlags |= kEditorChanged;
    fe->changed = false;
    return noErr;
}

void renumberFieldEditors(PackageEditor* editor, bool sections, const std::vector<int>& newNumber) {
    // The nodes change containers and keys without allocating: those of deleted items go to
    // gone, those of moved items to moved under their new keys, and then back.
    FieldEditors& all = editor->fieldEditors;
    const std::uint8_t list = sections ? 0 : 1;
    FieldEditors gone, moved;
    for (auto it = all.lower_bound({list, 1}); it != all.end() && it->first.list == list;) {
        const int k = it->first.k;
        const int to = k <= int(newNumber.size()) ? newNumber[std::size_t(k - 1)] : k;
        auto here = it++;
        if (to == 0) {
            gone.insert(all.extract(here));
        } else if (to != k) {
            auto node = all.extract(here);
            node.key().k = to;
            moved.insert(std::move(node));
        }
    }
    while (!moved.empty()) {
        auto node = moved.extract(moved.begin());
        FieldEditor* fe = node.mapped().get();
        fe->index = std::int16_t(sections ? node.key().k : -node.key().k);
        if (all.insert(std::move(node)).inserted) setTitle(fe); // else its key was taken: gone
    }
    // The deleted items' texts have nowhere to go: their windows close without a commit.
    gone.clear();
}

FieldEditor* currentFieldEditor() {
    return fieldEditorOfWindow(FrontWindow());
}

FieldEditor* fieldEditorOfWindow(WindowPtr w) {
    if (!w || w->isPane || w->windowKind != kFieldEditorKind) return nullptr;
    return static_cast<FieldEditor*>(w->refCon);
}

OSErr addFieldEditorRow(FieldEditor* fe) {
    FormHandle row = newForm(isSection(fe) ? 4 : 6);
    if (!row) return memFullErr;
    const std::int16_t rh = formRowHeight();
    if (OSErr err = appendForm(fe->rowsForm, row, std::int16_t(fe->rowCount * rh))) return err;
    ++fe->rowCount;
    if (fe->window) {
        SetWindowDocSize(fe->window, kDocWidth, std::int32_t(fe->rowCount) * rh);
        InvalWindowRect(fe->window, nullptr);
    }
    return noErr;
}
