#include "editor/HeaderForm.h"

#include <cstring>
#include <new>

namespace {

struct ItemTemplate {
    HeaderFormKind kind;
    std::uint8_t flags;
    std::int16_t top, left, bottom, right;
    const char* text;  // edit items and labels
    std::int16_t menu; // popup buttons
};

using K = HeaderFormKind;

// The package editor's header: name and prefix, a line, the shape with its popup and its three
// parameters, a line, and the two labels that become the list's radio buttons.
constexpr ItemTemplate kLayout[kHeaderItemCount] = {
    {K::label, 1, 12, 6, 26, 80, "Package Name", 0},
    {K::edit, 34, 12, 86, 26, 204, "", 0},
    {K::label, 1, 12, 236, 26, 322, "Designator Prefix", 0},
    {K::edit, 34, 12, 328, 26, 392, "", 0},
    {K::rectangle, 1, 40, 0, 41, 1000, nullptr, 0},
    {K::label, 9, 52, 74, 66, 146, "Shape", 0},
    {K::edit, 50, 52, 152, 66, 276, "", 0},
    {K::popup, 32, 51, 282, 67, 301, nullptr, 700},
    {K::label, 9, 78, 5, 92, 58, "PN{}", 0},
    {K::edit, 50, 78, 64, 92, 120, "", 0},
    {K::popup, 32, 77, 126, 93, 145, nullptr, 0},
    {K::label, 9, 78, 150, 92, 209, "SP{}", 0},
    {K::edit, 50, 78, 215, 92, 271, "", 0},
    {K::label, 9, 78, 287, 92, 337, "HT{}", 0},
    {K::edit, 50, 78, 343, 92, 399, "", 0},
    {K::rectangle, 1, 101, 0, 103, 1000, nullptr, 0},
    {K::label, 0, 105, 4, 117, 120, "Component Sections", 0},
    {K::label, 0, 105, 140, 117, 254, "Hidden Connections", 0},
};

bool hasText(const HeaderFormItem& it) {
    return it.kind == K::edit || it.kind == K::label;
}

void drawText(const HeaderFormItem& it) {
    const ColorCode background = GetBackColor();
    if (it.flags & kItemOnWhite) RGBBackColor(kWhiteColor);
    if (it.flags & kItemFramed) {
        Rect frame = it.rect;
        InsetRect(&frame, -2, -2);
        EraseRect(frame);
        PenNormal();
        FrameRect(frame);
    }
    SetPortTextStyle(it.style);
    const std::string_view text = it.text.view();
    const bool plain = text.find_first_of("\r\t") == std::string_view::npos;
    if (!(it.flags & (kItemCentred | kItemRightAligned)) && plain) {
        EraseRect(it.rect);
        FontInfo info;
        GetFontInfo(&info);
        MoveTo(std::int16_t(it.rect.left + 1), std::int16_t(it.rect.top + info.ascent));
        DrawText(text.data(), std::int32_t(text.size()));
    } else {
        const std::int16_t just = (it.flags & kItemCentred)        ? teJustCenter
                                  : (it.flags & kItemRightAligned) ? teJustRight
                                                                   : teJustLeft;
        TETextBox(text.data(), std::int32_t(text.size()), it.rect, just);
    }
    RGBBackColor(background);
}

void drawPopup(const HeaderFormItem& it) {
    if (it.menu == 0) {
        Rect r = it.rect;
        InsetRect(&r, -1, -1);
        ++r.right;
        ++r.bottom;
        EraseRect(r);
        return;
    }
    const ColorCode background = GetBackColor();
    if (it.flags & kItemOnWhite) RGBBackColor(kWhiteColor);
    EraseRect(it.rect);
    Rect r = it.rect;
    InsetRect(&r, -1, -1);
    PenNormal();
    FrameRect(r);
    MoveTo(r.right, std::int16_t(r.top + 3));
    LineTo(r.right, r.bottom);
    LineTo(std::int16_t(r.left + 3), r.bottom);
    if (!(it.flags & kItemCentred)) {
        const std::int16_t v = std::int16_t(it.rect.top + 6), h = std::int16_t(it.rect.right - 17);
        const Point arrow[3] = {
            {v, h}, {v, std::int16_t(h + 12)}, {std::int16_t(v + 6), std::int16_t(h + 6)}};
        PaintPoly(arrow, 3);
    }
    RGBBackColor(background);
}

} // namespace

HeaderForm* newHeaderForm() {
    auto* form = new (std::nothrow) HeaderForm;
    if (!form) return nullptr;
    for (int i = 0; i < kHeaderItemCount; ++i) {
        const ItemTemplate& t = kLayout[i];
        HeaderFormItem& it = form->items[i];
        it.kind = t.kind;
        it.flags = t.flags;
        SetRect(&it.rect, t.left, t.top, t.right, t.bottom);
        it.style = StandardTextStyle(2); // Arial 8
        if (t.text) it.text.assign(t.text);
        it.menu = t.menu;
    }
    return form;
}

void disposeHeaderForm(HeaderForm* form) {
    delete form;
}

bool isEditItem(const HeaderForm& form, int n) {
    return n >= 1 && n <= kHeaderItemCount && form.item(n).kind == K::edit;
}

Str255 getItemText(const HeaderForm& form, int n) {
    if (n < 1 || n > kHeaderItemCount || !hasText(form.item(n))) return {};
    return form.item(n).text;
}

void setItemText(HeaderForm& form, int n, std::string_view text) {
    if (n < 1 || n > kHeaderItemCount || !hasText(form.item(n))) return;
    form.item(n).text.assign(text);
    drawItem(form, n);
}

int hitTest(const HeaderForm& form, Point p) {
    for (int n = 1; n <= kHeaderItemCount; ++n) {
        const HeaderFormItem& it = form.item(n);
        if (!(it.flags & kItemInert) && PtInRect(p, it.rect)) return n;
    }
    return 0;
}

int nextEditItem(const HeaderForm& form, int n) {
    for (int step = 1; step <= kHeaderItemCount; ++step) {
        const int candidate = (n - 1 + step) % kHeaderItemCount + 1;
        if (isEditItem(form, candidate)) return candidate;
    }
    return n;
}

void bindItem(TEHandle te, HeaderForm& form, GrafPtr port, int n) {
    if (!te || !isEditItem(form, n)) return;
    const HeaderFormItem& it = form.item(n);
    const bool wasActive = te->active;
    TEDeactivate(te);
    if (port) TESetPort(te, port);
    SetPort(te->port);
    TESetStyle(it.style, te);
    SetPortTextStyle(it.style);
    te->viewRect = it.rect;
    te->destRect = it.rect;
    if (it.flags & kItemSingleLine)
        te->destRect.right = std::int16_t(2 * it.rect.right - it.rect.left);
    TESetSingleLine(te, (it.flags & kItemSingleLine) != 0);
    TESetText(it.text.chars(), it.text.length(), te);
    if (wasActive) TEActivate(te);
}

void storeItem(TEHandle te, HeaderForm& form, int n) {
    if (!te || n < 1 || n > kHeaderItemCount || !hasText(form.item(n))) return;
    Handle h = TEGetText(te);
    const std::int32_t length = te->teLength;
    form.item(n).text.assign(h && length > 0 ? std::string_view(h->data, std::size_t(length))
                                             : std::string_view());
}

void hideItem(HeaderForm& form, int n) {
    HeaderFormItem& it = form.item(n);
    it.kind = K::rectangle;
    it.drawn = false;
    it.text = Str255();
    OffsetRect(&it.rect, -500, 0);
}

void drawItem(const HeaderForm& form, int n) {
    const HeaderFormItem& it = form.item(n);
    switch (it.kind) {
    case K::edit:
    case K::label:
        drawText(it);
        break;
    case K::rectangle:
        if (it.drawn) {
            PenNormal();
            FrameRect(it.rect);
        }
        break;
    case K::popup:
        drawPopup(it);
        break;
    }
}

void drawHeaderForm(const HeaderForm& form, const Rect& area) {
    for (int n = 1; n <= kHeaderItemCount; ++n) {
        Rect r = form.item(n).rect, meet;
        InsetRect(&r, -2, -2);
        if (SectRect(r, area, &meet)) drawItem(form, n);
    }
}
