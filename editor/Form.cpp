// The form engine: the built-in layouts, building and disposing of forms, item access, the hit
// test with the popup run, Tab order, binding the shared text edit record, and drawing.
#include "editor/Form.h"

#include "toolbox/gui/Menus.h"

#include <cstring>
#include <optional>

namespace {

// One item of a built-in layout. Every edit item and label uses "Arial" 8.
struct LayoutItem {
    std::uint8_t kind;
    std::uint8_t flags;
    std::int16_t top, left, bottom, right;
    const char* text;   // edit items and labels
    std::int16_t value; // rectangles: 1 drawn, 0 hidden; popup buttons: the menu id
};

constexpr const char* kLayoutFont = "Arial";
constexpr std::int16_t kLayoutSize = 8;

// Layout 0: the package editor's header.
constexpr LayoutItem kLayout0[] = {
    {kFormLabel, 1, 12, 6, 26, 80, "Package Name", 0},
    {kFormEdit, 34, 12, 86, 26, 204, "", 0},
    {kFormLabel, 1, 12, 236, 26, 322, "Designator Prefix", 0},
    {kFormEdit, 34, 12, 328, 26, 392, "", 0},
    {kFormRect, 1, 40, 0, 41, 1000, nullptr, 1},
    {kFormLabel, 9, 52, 74, 66, 146, "Shape", 0},
    {kFormEdit, 50, 52, 152, 66, 276, "", 0},
    {kFormPopup, 32, 51, 282, 67, 301, nullptr, 700},
    {kFormLabel, 9, 78, 5, 92, 58, "PN{}", 0},
    {kFormEdit, 50, 78, 64, 92, 120, "", 0},
    {kFormPopup, 32, 77, 126, 93, 145, nullptr, 0},
    {kFormLabel, 9, 78, 150, 92, 209, "SP{}", 0},
    {kFormEdit, 50, 78, 215, 92, 271, "", 0},
    {kFormLabel, 9, 78, 287, 92, 337, "HT{}", 0},
    {kFormEdit, 50, 78, 343, 92, 399, "", 0},
    {kFormRect, 1, 101, 0, 103, 1000, nullptr, 1},
    {kFormLabel, 0, 105, 4, 117, 120, "Component Sections", 0},
    {kFormLabel, 0, 105, 140, 117, 254, "Hidden Connections", 0},
};

// Layouts 1 and 2: the column headers of a section list and a net list, which no window builds.
constexpr LayoutItem kLayout1[] = {
    {kFormRect, 1, 0, -1, 14, 2000, nullptr, 1},
    {kFormLabel, 5, 1, 1, 13, 30, "SEC", 0},
    {kFormLabel, 5, 1, 34, 13, 110, "CLASS ID", 0},
    {kFormLabel, 5, 1, 114, 13, 400, "PIN NUMBER CHANGES", 0},
};
constexpr LayoutItem kLayout2[] = {
    {kFormRect, 1, 0, -1, 14, 2000, nullptr, 1},
    {kFormLabel, 5, 1, 1, 13, 110, "NET NAME", 0},
    {kFormLabel, 5, 1, 114, 13, 400, "PIN NUMBERS", 0},
};

// Layouts 3 to 6: the field editor's header and rows.
constexpr LayoutItem kLayout3[] = {
    {kFormRect, 1, 30, -1, 58, 2000, nullptr, 1},
    {kFormEdit, 34, 8, 88, 22, 176, "", 0},
    {kFormLabel, 1, 8, 40, 22, 82, "Class ID", 0},
    {kFormLabel, 5, 31, 1, 43, 230, "PIN NUMBERS", 0},
    {kFormLabel, 5, 43, 1, 55, 113, "UNPACKAGED", 0},
    {kFormLabel, 5, 43, 117, 55, 230, "PACKAGED", 0},
};
constexpr LayoutItem kLayout4[] = {
    {kFormEdit, 2, 1, 5, 15, 111, "", 0},
    {kFormEdit, 2, 1, 120, 15, 225, "", 0},
};
constexpr LayoutItem kLayout5[] = {
    {kFormRect, 1, 42, -1, 58, 2000, nullptr, 1},
    {kFormEdit, 34, 15, 74, 29, 188, "", 0},
    {kFormLabel, 1, 15, 20, 29, 68, "Net Name", 0},
    {kFormLabel, 5, 43, 1, 55, 230, "PIN NUMBERS", 0},
};
constexpr LayoutItem kLayout6[] = {
    {kFormEdit, 2, 1, 52, 15, 178, "", 0},
};

struct Layout {
    const LayoutItem* items;
    int count;
};
template <std::size_t N> constexpr Layout L(const LayoutItem (&items)[N]) {
    return {items, static_cast<int>(N)};
}
constexpr Layout kLayouts[kFormLayoutCount] = {L(kLayout0), L(kLayout1), L(kLayout2), L(kLayout3),
                                               L(kLayout4), L(kLayout5), L(kLayout6)};

bool hasText(const FormItem& it) {
    return it.kind == kFormEdit || it.kind == kFormLabel;
}

// Frees what an item owns.
void disposeItem(FormItem& it) {
    if (hasText(it)) DisposeHandle(it.text);
    DisposeTextStyle(it.style);
    it.text = nullptr;
    it.style = nullptr;
}

FormItem* items(FormHandle form) {
    return form ? reinterpret_cast<FormItem*>(form->data) : nullptr;
}

// An item made from a layout item; false when memory ran out (nothing is left owned).
bool buildItem(const LayoutItem& from, FormItem* to) {
    *to = FormItem{};
    to->kind = from.kind;
    to->flags = from.flags;
    to->rect = {from.top, from.left, from.bottom, from.right};
    if (from.kind == kFormPopup) {
        to->menu = from.value;
        return true;
    }
    if (from.kind == kFormRect) {
        to->sizeOrChoice = from.value;
        return true;
    }
    TextStylePtr style = NewTextStyle(nullptr);
    if (!style) return false;
    std::strncpy(style->font, kLayoutFont, sizeof style->font - 1);
    style->size = kLayoutSize;
    Handle text = PtrToHand(from.text, static_cast<Size>(std::strlen(from.text)));
    if (!text) {
        DisposeTextStyle(style);
        return false;
    }
    to->sizeOrChoice = kLayoutSize;
    to->style = style;
    to->text = text;
    return true;
}

// Keeps the background colour of the current port and gives it back.
class BackColorScope {
public:
    BackColorScope() : saved_(GetBackColor()) {}
    ~BackColorScope() { RGBBackColor(saved_); }
    BackColorScope(const BackColorScope&) = delete;
    BackColorScope& operator=(const BackColorScope&) = delete;

private:
    ColorCode saved_;
};

// Narrows the clip of the current port to r for the lifetime of the object.
class ClipScope {
public:
    explicit ClipScope(const Rect& r) : saved_(NewRgn()) {
        RgnHandle clip = NewRgn();
        if (saved_ && clip) {
            GetClip(saved_);
            RectRgn(clip, r);
            SectRgn(clip, saved_, clip);
            SetClip(clip);
        }
        DisposeRgn(clip);
    }
    ~ClipScope() {
        if (saved_) SetClip(saved_);
        DisposeRgn(saved_);
    }
    ClipScope(const ClipScope&) = delete;
    ClipScope& operator=(const ClipScope&) = delete;

private:
    RgnHandle saved_;
};

Rect grown(Rect r, std::int16_t by) {
    InsetRect(&r, static_cast<std::int16_t>(-by), static_cast<std::int16_t>(-by));
    return r;
}

void drawTextItem(const FormItem& it) {
    BackColorScope back;
    if (it.flags & kFormOnWhite) RGBBackColor(kWhiteColor);
    if (it.flags & kFormFramed) {
        const Rect frame = grown(it.rect, 2);
        EraseRect(frame);
        PenNormal();
        FrameRect(frame);
    }
    if (it.style) SetPortTextStyle(*it.style);
    HLockGuard lock(it.text);
    const char* text = lock.data();
    const std::int32_t len = GetHandleSize(it.text);
    const bool leftAligned = !(it.flags & (kFormCentred | kFormRightAligned));
    const bool plain = !text || (!std::memchr(text, '\r', len) && !std::memchr(text, '\t', len));
    if (leftAligned && plain) {
        EraseRect(it.rect);
        FontInfo fi;
        GetFontInfo(&fi);
        // A field's text stays inside its frame; a label may run past its rectangle.
        std::optional<ClipScope> clip;
        if (it.kind == kFormEdit) clip.emplace(it.rect);
        MoveTo(static_cast<std::int16_t>(it.rect.left + 1),
               static_cast<std::int16_t>(it.rect.top + fi.ascent));
        if (len > 0) DrawText(text, len);
    } else {
        const std::int16_t just = (it.flags & kFormCentred)        ? teJustCenter
                                  : (it.flags & kFormRightAligned) ? teJustRight
                                                                   : teJustLeft;
        TETextBox(text ? text : "", len, it.rect, just);
    }
}

void drawPopupItem(const FormItem& it) {
    if (it.menu == 0) {
        Rect r = grown(it.rect, 1);
        ++r.right;
        ++r.bottom;
        EraseRect(r);
        return;
    }
    BackColorScope back;
    if (it.flags & kFormOnWhite) RGBBackColor(kWhiteColor);
    EraseRect(it.rect);
    const Rect r = grown(it.rect, 1);
    PenNormal();
    FrameRect(r);
    MoveTo(r.right, static_cast<std::int16_t>(r.top + 3));
    LineTo(r.right, r.bottom);
    LineTo(static_cast<std::int16_t>(r.left + 3), r.bottom);
    if (!(it.flags & kFormCentred)) {
        const std::int16_t v = static_cast<std::int16_t>(it.rect.top + 6);
        const std::int16_t h = static_cast<std::int16_t>(it.rect.right - 17);
        const Point arrow[3] = {
            {v, h},
            {v, static_cast<std::int16_t>(h + 12)},
            {static_cast<std::int16_t>(v + 6), static_cast<std::int16_t>(h + 6)}};
        PaintPoly(arrow, 3);
    }
}

} // namespace

// ---- layouts ------------------------------------------------------------------------------------

int layoutItemCount(int layout) {
    return layout >= 0 && layout < kFormLayoutCount ? kLayouts[layout].count : 0;
}

std::int16_t formRowHeight() {
    static const std::int16_t height =
        static_cast<std::int16_t>(kLayout4[0].bottom - kLayout4[0].top + 3);
    return height;
}

// ---- building and disposing -------------------------------------------------------------------

FormHandle newForm(int layout) {
    if (layout < 0 || layout >= kFormLayoutCount) return nullptr;
    const Layout& l = kLayouts[layout];
    UniqueHandle form(NewHandleClear(static_cast<Size>(l.count * sizeof(FormItem))));
    if (!form) return nullptr;
    FormItem* it = items(form.get());
    for (int i = 0; i < l.count; ++i) {
        if (!buildItem(l.items[i], &it[i])) {
            for (int j = 0; j < i; ++j)
                disposeItem(it[j]);
            return nullptr;
        }
    }
    return form.release();
}

void disposeForm(FormHandle form) {
    if (!form) return;
    const int n = itemCount(form);
    FormItem* it = items(form);
    for (int i = 0; i < n; ++i)
        disposeItem(it[i]);
    DisposeHandle(form);
}

// ---- items ------------------------------------------------------------------------------------

int itemCount(FormHandle form) {
    return static_cast<int>(GetHandleSize(form) / static_cast<Size>(sizeof(FormItem)));
}

FormItem* formItem(FormHandle form, int item) {
    if (item < 1 || item > itemCount(form)) return nullptr;
    return &items(form)[item - 1];
}

OSErr insertItem(FormHandle form, const FormItem& item, int position) {
    if (!form) return paramErr;
    const int n = itemCount(form);
    if (position < 1 || position > n) position = n + 1;
    const long offset = static_cast<long>((position - 1) * sizeof(FormItem));
    return InsertBytes(form, offset, &item, sizeof(FormItem));
}

OSErr appendForm(FormHandle to, FormHandle from, std::int16_t dv) {
    if (!to || !from) {
        disposeForm(from);
        return paramErr;
    }
    const int n = itemCount(from);
    FormItem* it = items(from);
    for (int i = 0; i < n; ++i)
        OffsetRect(&it[i].rect, 0, dv);
    const OSErr err = InsertBytes(to, -1, from->data, static_cast<long>(n * sizeof(FormItem)));
    if (err != noErr) {
        disposeForm(from);
        return err;
    }
    DisposeHandle(from); // the items now belong to `to`
    return noErr;
}

Rect itemRect(FormHandle form, int item) {
    const FormItem* it = formItem(form, item);
    return it ? it->rect : Rect{};
}

Str255 getItemText(FormHandle form, int item) {
    const FormItem* it = formItem(form, item);
    if (!it || !hasText(*it) || !it->text) return {};
    const Size len = GetHandleSize(it->text);
    return Str255(std::string_view(it->text->data, static_cast<std::size_t>(len)));
}

OSErr setItemText(FormHandle form, int item, const Str255& text) {
    FormItem* it = formItem(form, item);
    if (!it || !hasText(*it)) return paramErr;
    if (!it->text) {
        it->text = NewHandle(0);
        if (!it->text) return memFullErr;
    }
    if (SetHandleSize(it->text, text.length()) != noErr) return memFullErr;
    if (text.length() > 0) std::memcpy(it->text->data, text.chars(), text.length());
    drawItem(form, item);
    return noErr;
}

// ---- the pointer ------------------------------------------------------------------------------

int hitTest(FormHandle form, Point where) {
    const int n = itemCount(form);
    const FormItem* it = items(form);
    for (int i = 0; i < n; ++i)
        if (!(it[i].flags & kFormInert) && PtInRect(where, it[i].rect)) return i + 1;
    return 0;
}

int findItem(FormHandle form, WindowPtr owner, const WindowMessage& msg, std::uint8_t* kind) {
    const int item = hitTest(form, msg.where);
    const FormItem* it = formItem(form, item);
    if (kind) *kind = it ? it->kind : 255;
    if (!it || it->kind != kFormPopup || it->menu == 0) return item;
    const Rect r = it->rect;
    const int choice = it->sizeOrChoice;
    MenuHandle menu = GetMenu(it->menu);
    if (!menu) return item;
    const int chosen = PopUpMenuSelect(menu, owner, r, choice);
    if (chosen > 0 && owner) {
        WindowMessage command;
        command.kind = wmMenuCommand;
        command.command = GetMenuItemCommand(menu, chosen);
        SendWindowMessage(owner, command);
    }
    return item;
}

int nextEditItem(FormHandle form, int item) {
    const int n = itemCount(form);
    const FormItem* it = items(form);
    for (int step = 1; step <= n; ++step) {
        const int next = (item - 1 + step) % n + 1; // wraps from the last item to item 1
        if (next >= 1 && it[next - 1].kind == kFormEdit) return next;
    }
    return 0;
}

// ---- the text edit record ---------------------------------------------------------------------

void bindItem(TEHandle te, FormHandle form, GrafPtr port, int item) {
    const FormItem* it = formItem(form, item);
    if (!te || !it || it->kind != kFormEdit) return;
    const bool wasActive = te->active;
    if (wasActive) TEDeactivate(te);
    if (port) TESetPort(te, port);
    SetPort(te->port);
    if (it->style) {
        TESetStyle(*it->style, te);
        SetPortTextStyle(*it->style);
    }
    const bool singleLine = (it->flags & kFormSingleLine) != 0;
    te->viewRect = it->rect;
    te->destRect = it->rect;
    if (singleLine)
        te->destRect.right = static_cast<std::int16_t>(2 * it->rect.right - it->rect.left);
    TESetSingleLine(te, singleLine);
    HLockGuard lock(it->text);
    TESetText(lock.data() ? lock.data() : "", GetHandleSize(it->text), te);
    if (wasActive) TEActivate(te);
}

OSErr reserveFieldText(TEHandle te) {
    if (!te || !te->hText) return memFullErr;
    const Size length = GetHandleSize(te->hText);
    if (SetHandleSize(te->hText, 255) != noErr) return memFullErr;
    return SetHandleSize(te->hText, length); // a handle keeps its room when it shrinks
}

OSErr storeItem(TEHandle te, FormHandle form, int item) {
    FormItem* it = formItem(form, item);
    if (!te || !it || !hasText(*it)) return paramErr;
    Handle copy = HandToHand(te->hText);
    if (!copy) return memFullErr;
    if (GetHandleSize(copy) > te->teLength) SetHandleSize(copy, te->teLength);
    DisposeHandle(it->text);
    it->text = copy;
    return noErr;
}

// ---- drawing ----------------------------------------------------------------------------------

void drawItem(FormHandle form, int item) {
    const FormItem* it = formItem(form, item);
    if (!it) return;
    switch (it->kind) {
    case kFormEdit:
    case kFormLabel:
        drawTextItem(*it);
        break;
    case kFormRect:
        if (it->sizeOrChoice != 0) {
            PenNormal();
            FrameRect(it->rect);
        }
        break;
    case kFormPopup:
        drawPopupItem(*it);
        break;
    default:
        break;
    }
}

void drawForm(FormHandle form, const Rect& area) {
    const int n = itemCount(form);
    for (int i = 1; i <= n; ++i) {
        Rect meet;
        if (SectRect(grown(itemRect(form, i), 2), area, &meet)) drawItem(form, i);
    }
}
