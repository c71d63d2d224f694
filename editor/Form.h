// Forms: arrays of form items (labels, edit fields, rectangles and lines, popup buttons) built
// from the built-in form layouts, drawn into the current port, hit-tested, and tied to the one
// text edit record that a window shares among its fields.
//
// A form is a handle holding an array of FormItem records; items are numbered from 1 in array
// order. Edit items and labels own a text handle and a text style record; rectangles and popup
// buttons own neither. The texts typed by the user live in the items: the owning window copies
// them to and from the package model.
#pragma once
#include "resources/Types.h"
#include "toolbox/core/Memory.h"
#include "toolbox/core/Strings.h"
#include "toolbox/gui/Quickdraw.h"
#include "toolbox/gui/TextEdit.h"
#include "toolbox/gui/Windows.h"

#include <cstdint>
#include <utility>

// Item kinds.
enum : std::uint8_t {
    kFormEdit = 0,  // an edit field
    kFormLabel = 1, // a text that is not edited
    kFormRect = 2,  // a rectangle; a line when it is 1 pixel high
    kFormPopup = 4  // a popup button
};

// Item flags.
enum : std::uint8_t {
    kFormInert = 1,        // ignored by the hit test
    kFormFramed = 2,       // drawn with a frame 2 pixels outside the rectangle
    kFormCentred = 4,      // text centred; a popup button with this flag has no arrow
    kFormRightAligned = 8, // text right-aligned (neither 4 nor 8: left-aligned)
    kFormSingleLine = 16,  // while edited, the text runs on one line and scrolls sideways
    kFormOnWhite = 32,     // drawn on white
    kFormMarksOn = 64      // a popup button whose menus show their check marks (set by the owner)
};

struct FormItem {
    std::uint8_t kind = kFormEdit;
    std::uint8_t flags = 0;
    // Edit items and labels: the font size. Rectangles: 1 to draw the frame, 0 to hide it.
    // Popup buttons: the current choice, the menu item shown marked (0 when built).
    std::int16_t sizeOrChoice = 0;
    Rect rect{};                  // in the coordinates of the pane or window drawn in
    TextStylePtr style = nullptr; // edit items and labels; owned by the item
    Handle text = nullptr;        // edit items and labels: 8-bit text, no terminator; owned
    std::int16_t menu = 0;        // popup buttons: the menu id (0: no menu)
};

// A handle whose data is an array of FormItem.
using FormHandle = Handle;

// The number of form layouts and the items of each: 18, 4, 3, 6, 2, 4, 1 for layouts 0 to 6
// (0 for any other number).
constexpr int kFormLayoutCount = 7;
int layoutItemCount(int layout);

// Items of layout 0, the package editor's header.
enum HeaderItem : int {
    kHeaderNameLabel = 1,   // "Package Name"
    kHeaderName = 2,        // field 1: Package Name
    kHeaderPrefixLabel = 3, // "Designator Prefix"
    kHeaderPrefix = 4,      // field 2: Designator Prefix
    kHeaderTopLine = 5,
    kHeaderShapeLabel = 6,  // "Shape"
    kHeaderShape = 7,       // field 3: Shape
    kHeaderShapesPopup = 8, // menu 700
    kHeaderLabel1 = 9,      // label of parameter 1
    kHeaderParam1 = 10,     // field 4
    kHeaderSizePopup = 11,  // the family's size menu, or none
    kHeaderLabel2 = 12,     // label of parameter 2
    kHeaderParam2 = 13,     // field 5
    kHeaderLabel3 = 14,     // label of parameter 3
    kHeaderParam3 = 15,     // field 6
    kHeaderListLine = 16,
    kHeaderSectionsButton = 17, // "Component Sections", made a radio button by the window
    kHeaderNetsButton = 18      // "Hidden Connections", made a radio button by the window
};

// Items of layouts 3 and 5, the field editor's headers: item 2 is the edited field.
constexpr int kFieldHeaderEdit = 2;

// The pitch of the field editor's rows: the height of the first item of layout 4 plus 3
// (17 pixels).
std::int16_t formRowHeight();

// ---- building and disposing -------------------------------------------------------------------
// A form holding the items of the layout (0 to 6), in order; nullptr for any other number or
// when memory runs out. Edit items and labels get a new text style (standard style 2, then the
// layout's font and size) and a copy of the layout's text; popup buttons get the layout's menu
// id and choice 0.
FormHandle newForm(int layout);
// Disposes of every item's text and style, then of the form. nullptr is allowed.
void disposeForm(FormHandle form);

// Holder of a form: disposes of it when it goes out of scope.
class UniqueForm {
public:
    UniqueForm() = default;
    explicit UniqueForm(FormHandle f) : f_(f) {}
    UniqueForm(UniqueForm&& o) noexcept : f_(std::exchange(o.f_, nullptr)) {}
    UniqueForm& operator=(UniqueForm&& o) noexcept {
        if (this != &o) reset(std::exchange(o.f_, nullptr));
        return *this;
    }
    UniqueForm(const UniqueForm&) = delete;
    UniqueForm& operator=(const UniqueForm&) = delete;
    ~UniqueForm() { disposeForm(f_); }
    FormHandle get() const { return f_; }
    FormHandle release() { return std::exchange(f_, nullptr); }
    void reset(FormHandle f = nullptr) {
        if (f_ != f) disposeForm(f_);
        f_ = f;
    }
    explicit operator bool() const { return f_ != nullptr; }

private:
    FormHandle f_ = nullptr;
};

// ---- items ------------------------------------------------------------------------------------
int itemCount(FormHandle form);
// The item record (1-based), for reading and changing its fields in place; nullptr when there
// is no such item. The address holds until the form's size changes (insertItem, appendForm).
FormItem* formItem(FormHandle form, int item);
// Inserts a copy of the record at position (1-based; below 1 or past the end: at the end). On
// success the form owns the record's text and style; on failure (memFullErr) the caller still
// does.
OSErr insertItem(FormHandle form, const FormItem& item, int position);
// Moves every item of `from`, shifted down by dv pixels, to the end of `to` (texts and styles
// move with them), and disposes of `from` in every case: on failure (memFullErr) `to` is as it
// was and `from` is disposed of with its items.
OSErr appendForm(FormHandle to, FormHandle from, std::int16_t dv);

// The item's rectangle; empty when there is no such item.
Rect itemRect(FormHandle form, int item);
// The first 255 characters at most of an edit item's or label's text (empty for other items).
Str255 getItemText(FormHandle form, int item);
// Replaces the text of an edit item or label and draws the item at once in the current port.
// paramErr for another kind of item, memFullErr when the text cannot be held.
OSErr setItemText(FormHandle form, int item, const Str255& text);

// ---- the pointer ------------------------------------------------------------------------------
// The first item, in item order, that is not inert and whose rectangle contains the point; 0
// when there is none.
int hitTest(FormHandle form, Point where);
// The hit test at the message's point (wmMouseDown or wmDoubleClick in `owner`, the window or
// pane the form is drawn in). When the item is a popup button with a menu, its menu pops up at
// the item's rectangle with the item's current choice marked, and a choice is sent to `owner`
// as a wmMenuCommand message carrying the chosen item's command before this returns. kind, when
// given, receives the item's kind (255 when no item was hit).
int findItem(FormHandle form, WindowPtr owner, const WindowMessage& msg,
             std::uint8_t* kind = nullptr);
// The next edit item after item, in item order, wrapping from the last item to item 1; item
// itself when it is the only one, 0 when the form has no edit item.
int nextEditItem(FormHandle form, int item);

// ---- the text edit record ---------------------------------------------------------------------
// Ties the record to an edit item (nothing happens for any other item): the record is moved to
// port when one is given, its port becomes the current port, the item's style becomes the
// record's and the port's, the destination and view rectangles become the item's rectangle
// (a single-line item's destination is twice as wide: its right edge at 2 * right - left), the
// item's text becomes the record's text and single-line mode follows the item's flag. A record
// that was active is deactivated for the change and active again afterwards.
void bindItem(TEHandle te, FormHandle form, GrafPtr port, int item);
// Gives the record's text room for the 255 bytes a field holds at most, so that binding an item
// and typing into it never run out of memory. memFullErr when the room cannot be had.
OSErr reserveFieldText(TEHandle te);
// The item's text becomes the record's whole text (edit items and labels). paramErr for another
// kind of item, memFullErr when the text cannot be held (the item keeps its old text).
OSErr storeItem(TEHandle te, FormHandle form, int item);

// ---- drawing (current port) -------------------------------------------------------------------
// Edit items and labels: on white with flag 32; a framed item's rectangle enlarged by 2 is
// erased and framed; the text is drawn in the rectangle with the item's style, left-aligned
// text without CR or TAB as one line 1 pixel in from the left edge, any other text laid out as a
// text box. Rectangles: framed when their size word is not 0. Popup buttons: without a menu,
// erased (with a 1-pixel margin, 2 at the right and bottom); with one, erased, framed with a
// shadow and, unless centred, a down arrow near the right edge.
void drawItem(FormHandle form, int item);
// Draws every item whose rectangle, enlarged by 2 pixels, meets area, in item order.
void drawForm(FormHandle form, const Rect& area);
