// The shape rules of the package editor's header (layout 0 of Form.h): which shape family the
// Shape text names, the labels of the three shape parameters, the size popup beside parameter 1
// for the families that have one, the choices of the shapes and size popups, and the check
// marks those popups show while the header handles a click.
//
// Everything here acts on the header form (and, for a popup choice, on the text edit record
// bound to it); the package editor window keeps the shape family in its editor record and
// passes it in. Calls that draw do so in the current port, which must be the header pane's.
#pragma once
#include "editor/Form.h"
#include "toolbox/core/Strings.h"
#include "toolbox/gui/TextEdit.h"

#include <cstdint>

// Menus of the popups.
constexpr std::int16_t kShapesMenu = 700; // "Custom", a separator, then the 17 families
constexpr std::int16_t kCcpSizesMenu = 800;
constexpr std::int16_t kEuroSizesMenu = 900;
constexpr std::int16_t kFltpkSizesMenu = 1000;

// The editor record's shape family before the first match.
constexpr std::uint16_t kNoShapeFamily = 65535;
// Families 1 to 17 (position in the shapes menu less 2); 0 names no family.
constexpr int kShapeFamilyCount = 17;
constexpr int kCcpFamily = 2, kEuroFamily = 3, kFltpkFamily = 4;

// The family the text names: the shapes menu item from position 3 on that equals the text as a
// whole, blanks trimmed and case ignored; 0 when none does ("VDIP" is 14, "VDIP1" is 0).
int shapeFamily(const Str255& text);
// Label k (1 to 3) of family f (0 to 17): entry 3(f + 1) + k of the shape label list (entry k
// for family 0), "*" standing for the default label of that position; empty when there is no
// entry.
Str255 shapeLabel(int family, int k);
// The size menu of a family: 800, 900, 1000 for CCP, EURO, FLTPK; 0 for the others.
std::int16_t sizeMenu(int family);
// The size value of item i of a size menu: i, or i + 20 in the FLTPK menu.
int sizeValue(std::int16_t menu, int item);

// The value a header field gives the working package: its text with leading and trailing blanks
// removed, in upper case for the Designator Prefix (item 4) and the Shape (item 7). The field
// itself keeps the text as typed.
Str255 headerFieldValue(FormHandle header, int item);

// Match the shape: runs after every store of the Shape field (header item 7) and when the
// window opens. When the family named by item 7's text differs from *family, *family becomes
// it, labels 9, 12 and 14 get the family's texts and item 11 becomes the family's size popup
// (or a popup without a menu), each drawn at once. Returns whether the family changed. The
// working package is not touched.
bool matchShape(FormHandle header, std::uint16_t* family);

// What a popup choice needs of the package editor window. The hooks act on the editor record
// passed as `editor`; a hook left nullptr falls back to the form alone, as noted.
struct ShapeEditing {
    FormHandle header = nullptr;     // the header form
    TEHandle te = nullptr;           // the text edit record shared by the header's fields
    std::uint16_t* family = nullptr; // the editor record's shape family
    void* editor = nullptr;          // handed to the hooks
    void (*focusHeader)(void* editor) = nullptr; // makes the header pane the focus
    // Binds the record to header item n and makes n the current field (fallback: bindItem
    // with the header pane's port already current).
    void (*bindField)(void* editor, int item) = nullptr;
    // Storing the field: the current field's text from the record into the form and the
    // working package, which for item 7 matches the shape (fallback: storeItem of that item,
    // then matchShape for item 7).
    void (*storeField)(void* editor, int item) = nullptr;
};

// A choice from the shapes menu (commands 701 to 719) or a size menu (801.., 901.., 1001..),
// as the header pane receives it in a menu command message. The check marks are taken off,
// then "Custom" (701) puts "\F." into the Shape field with the caret after it; a family puts its
// name into the Shape field and leaves parameter 1 (the next edit item) selected; a size puts
// its size value into parameter 1 and leaves parameter 2 selected. Returns false, doing
// nothing, for a command outside the groups 700 to 1000.
bool popupChoice(const ShapeEditing& editing, std::int16_t command);

// Puts the popups' check marks on (before the header's click handling) or takes them off
// (after it); a second call with the same state on the same header does nothing, the header's
// shapes popup keeping the state. The shapes menu item of the family (1 to 17) is marked; when
// item 11 has a size menu, the size whose value matches parameter 1's text (blanks trimmed,
// written exactly as a decimal number: "07" matches nothing) is marked and becomes item 11's
// current choice, which is 0 when none matches.
void checkMarks(FormHandle header, std::uint16_t family, bool on);
// Whether the header's check marks are on.
bool checkMarksOn(FormHandle header);
