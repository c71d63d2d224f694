// The shape rules of the package editor's header: matching the Shape text to a family, the
// parameter labels, the size popup, the popups' choices and their check marks.
#include "editor/Shapes.h"

#include "toolbox/core/StringTable.h"
#include "toolbox/gui/Menus.h"

#include <string>

namespace {

constexpr int kFirstFamilyPosition = 3; // "Custom" and a separator come first
constexpr int kLabelItems[3] = {kHeaderLabel1, kHeaderLabel2, kHeaderLabel3};
constexpr std::int16_t kCustomCommand = 701;

// A menu item's text without the mnemonic marks.
Str255 menuItemText(MenuHandle menu, int position) {
    std::string text = GetMenuItemText(menu, position);
    std::erase(text, '&');
    return Str255(text);
}

// The size value of parameter 1 as item 11's menu reads it: the trimmed text only when it is
// written exactly as a decimal number, else 0.
long sizeValueOfText(FormHandle header) {
    Str255 text = getItemText(header, kHeaderParam1);
    PStrTrim(text);
    long v = 0;
    if (!StringToNum(text, &v) || !(NumToString(v) == text)) v = 0;
    return v;
}

void bindField(const ShapeEditing& ed, int item) {
    if (ed.bindField)
        ed.bindField(ed.editor, item);
    else
        bindItem(ed.te, ed.header, nullptr, item);
}

void storeField(const ShapeEditing& ed, int item) {
    if (ed.storeField) {
        ed.storeField(ed.editor, item);
        return;
    }
    storeItem(ed.te, ed.header, item);
    if (item == kHeaderShape && ed.family) matchShape(ed.header, ed.family);
}

} // namespace

int shapeFamily(const Str255& text) {
    MenuHandle menu = GetMenu(kShapesMenu);
    if (!menu) return 0;
    Str255 wanted = text;
    PStrTrim(wanted);
    const int count = CountMItems(menu);
    for (int pos = kFirstFamilyPosition; pos <= count; ++pos)
        if (PStrCompare(wanted, menuItemText(menu, pos), true) == 0)
            return pos - (kFirstFamilyPosition - 1);
    return 0;
}

Str255 shapeLabel(int family, int k) {
    if (k < 1 || k > 3 || family < 0 || family > kShapeFamilyCount) return {};
    const int entry = family == 0 ? k : 3 * (family + 1) + k;
    Str255 label = GetIndString(StringListId::shapeLabels, entry);
    if (label == Str255("*")) label = GetIndString(StringListId::shapeLabels, k + 3);
    return label;
}

std::int16_t sizeMenu(int family) {
    return family >= kCcpFamily && family <= kFltpkFamily
               ? static_cast<std::int16_t>((family + 6) * 100)
               : 0;
}

int sizeValue(std::int16_t menu, int item) {
    return menu == kFltpkSizesMenu ? item + 20 : item;
}

Str255 headerFieldValue(FormHandle header, int item) {
    Str255 text = getItemText(header, item);
    PStrTrim(text);
    if (item == kHeaderPrefix || item == kHeaderShape) PStrUpper(text);
    return text;
}

bool matchShape(FormHandle header, std::uint16_t* family) {
    if (!header || !family) return false;
    const int f = shapeFamily(getItemText(header, kHeaderShape));
    if (f == *family) return false;
    *family = static_cast<std::uint16_t>(f);
    for (int k = 1; k <= 3; ++k)
        setItemText(header, kLabelItems[k - 1], shapeLabel(f, k));
    if (FormItem* popup = formItem(header, kHeaderSizePopup)) {
        popup->menu = sizeMenu(f);
        drawItem(header, kHeaderSizePopup);
    }
    return true;
}

bool popupChoice(const ShapeEditing& ed, std::int16_t command) {
    const int group = command / 100 * 100;
    const int i = command - group;
    if (group < kShapesMenu || group > kFltpkSizesMenu || i < 1 || !ed.header || !ed.te)
        return false;
    checkMarks(ed.header, ed.family ? *ed.family : 0, false);
    if (ed.focusHeader) ed.focusHeader(ed.editor);

    Str255 text;
    int target = kHeaderShape;
    std::int32_t selStart = 0;
    const bool custom = command == kCustomCommand;
    if (custom) {
        text = Str255("\\F.");
        selStart = 255;
    } else if (group == kShapesMenu) {
        MenuHandle menu = GetMenu(kShapesMenu);
        const int pos = menu ? FindMenuItem(menu, command) : 0;
        if (pos == 0) return false;
        text = menuItemText(menu, pos);
    } else {
        text = NumToString(sizeValue(static_cast<std::int16_t>(group), i));
        target = kHeaderParam1;
    }

    TEDeactivate(ed.te);
    setItemText(ed.header, target, text);
    bindField(ed, target);
    storeField(ed, target);
    if (!custom) bindField(ed, nextEditItem(ed.header, target));
    TESetSelect(selStart, 255, ed.te);
    TEActivate(ed.te);
    return true;
}

void checkMarks(FormHandle header, std::uint16_t family, bool on) {
    // The header's shapes popup remembers whether the marks are on, so that putting them on or
    // off twice in a row does nothing the second time.
    if (FormItem* shapes = formItem(header, kHeaderShapesPopup)) {
        if (((shapes->flags & kFormMarksOn) != 0) == on) return;
        shapes->flags =
            std::uint8_t(on ? shapes->flags | kFormMarksOn : shapes->flags & ~kFormMarksOn);
    }
    if (family >= 1 && family <= kShapeFamilyCount)
        if (MenuHandle shapes = GetMenu(kShapesMenu))
            SetItemMark(shapes, family + (kFirstFamilyPosition - 1), on);
    FormItem* popup = formItem(header, kHeaderSizePopup);
    if (!popup || popup->menu == 0) return;
    MenuHandle sizes = GetMenu(popup->menu);
    long v = sizeValueOfText(header);
    if (popup->menu == kFltpkSizesMenu) v -= 20;
    if (sizes && v >= 1 && v <= CountMItems(sizes)) {
        popup->sizeOrChoice = static_cast<std::int16_t>(v);
        SetItemMark(sizes, static_cast<int>(v), on);
    } else {
        popup->sizeOrChoice = 0;
    }
}

bool checkMarksOn(FormHandle header) {
    const FormItem* shapes = formItem(header, kHeaderShapesPopup);
    return shapes && (shapes->flags & kFormMarksOn);
}
