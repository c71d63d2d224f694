// The items of the package editor's header pane: labels, edit fields, separator lines and popup
// buttons at fixed rectangles, with the texts typed into the fields. The header knows how to
// draw itself into the current port, which item lies under a point, which field comes next in
// Tab order, and how to hand a field to the window's one text edit record.
#pragma once
#include "toolbox/core/Strings.h"
#include "toolbox/gui/Quickdraw.h"
#include "toolbox/gui/TextEdit.h"

#include <cstdint>
#include <string_view>

enum class HeaderFormKind : std::uint8_t { edit = 0, label = 1, rectangle = 2, popup = 4 };

// Flag values of a header item.
enum : std::uint8_t {
    kItemInert = 1,
    kItemFramed = 2,
    kItemCentred = 4,
    kItemRightAligned = 8,
    kItemSingleLine = 16,
    kItemOnWhite = 32
};

struct HeaderFormItem {
    HeaderFormKind kind = HeaderFormKind::label;
    std::uint8_t flags = 0;
    bool drawn = true;       // rectangles: framed when set, hidden otherwise
    Rect rect{};             // pane coordinates
    TextStyle style{};       // edit items and labels
    Str255 text;             // edit items and labels: the text as typed
    std::int16_t menu = 0;   // popup buttons: the menu id, 0 for none
    std::int16_t choice = 0; // popup buttons: the item carrying the check mark, 0 for none
};

constexpr int kHeaderItemCount = 18;

struct HeaderForm {
    HeaderFormItem items[kHeaderItemCount];
    HeaderFormItem& item(int n) { return items[n - 1]; }
    const HeaderFormItem& item(int n) const { return items[n - 1]; }
};

// A header holding the items of the package editor's layout; nullptr when out of memory.
HeaderForm* newHeaderForm();
void disposeHeaderForm(HeaderForm* form);

bool isEditItem(const HeaderForm& form, int n);
Str255 getItemText(const HeaderForm& form, int n);
// Replaces the text of an edit item or label and draws the item at once in the current port.
void setItemText(HeaderForm& form, int n, std::string_view text);
// The first item, in item order, that is not inert and whose rectangle holds p; 0 when none.
int hitTest(const HeaderForm& form, Point p);
// The next edit item after n, wrapping from the last item to the first.
int nextEditItem(const HeaderForm& form, int n);
// Hands edit item n to te: its style, its rectangle (twice as wide for a single-line item) and
// its text; te keeps its activity. Nothing happens for any other item.
void bindItem(TEHandle te, HeaderForm& form, GrafPtr port, int n);
// The item's text becomes te's whole text (at most 255 characters).
void storeItem(TEHandle te, HeaderForm& form, int n);
// Takes an item out of sight: a hidden rectangle 500 pixels to the left, without text.
void hideItem(HeaderForm& form, int n);
void drawItem(const HeaderForm& form, int n);
// Draws every item whose rectangle, 2 pixels larger, meets area.
void drawHeaderForm(const HeaderForm& form, const Rect& area);
