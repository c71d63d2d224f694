// Dialog templates ("XDLG"): readable tables of the program's dialogs, their little-endian byte
// form, and the parser that turns those bytes back into a template for the dialog runner.
//
// Byte layout, every field 16-bit little-endian:
//   0 bounds (top, left, bottom, right) | 8 item count | 10 style word | 12 reserved (0) | 14 items
// Each item:
//   0 rectangle (top, left, bottom, right) | 8 kind | 10 item id | 12 reserved (0) |
//   14 text, zero-terminated, padded with one zero byte to an even item length;
//   an icon item holds its 16-bit icon id instead of the text.
#pragma once
#include "resources/Types.h"
#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum DialogItemKind : std::uint16_t {
    kEditTextItem = 0x0110,
    kStaticTextItem = 0x0120,
    kIconItem = 0x0141,
    kButtonItem = 0x0170,
    kPopupItem = 0x0190,
};

// Icon ids an icon item may name: the program's own and the host's stop and caution icons.
constexpr std::int16_t kAppIconId = 10;
constexpr std::int16_t kDocumentIconId = 101;
constexpr std::int16_t kStopIconId = 32513;
constexpr std::int16_t kCautionIconId = 32515;

struct DialogItemSpec {
    Rect rect;
    std::uint16_t kind;
    std::int16_t id;
    const char* text;        // for text items and buttons
    std::int16_t iconId = 0; // for icon items
};

struct DialogSpec {
    std::int16_t id;
    Rect bounds;
    std::uint16_t style;
    std::span<const DialogItemSpec> items;
};

// A template read back from bytes.
struct DialogTemplateItem {
    Rect rect;
    std::uint16_t kind = 0;
    std::int16_t id = 0;
    std::string text;
    std::int16_t iconId = 0;
};

struct DialogTemplate {
    Rect bounds;
    std::uint16_t style = 0;
    std::vector<DialogTemplateItem> items;
    // The index of the item with that id, or -1.
    int indexOf(int itemId) const;
};

// The readable table of dialog id, or nullptr.
const DialogSpec* FindDialogSpec(int id);
std::span<const DialogSpec> AllDialogSpecs();

std::vector<std::uint8_t> EncodeDialogTemplate(const DialogSpec& dialog);
// The stored bytes of dialog id (encoded once, kept for the run); empty when there is none.
std::span<const std::uint8_t> GetDialogTemplateBytes(int id);
// Reads a template; paramErr when the bytes are cut short or malformed.
OSErr ParseDialogTemplate(std::span<const std::uint8_t> bytes, DialogTemplate* out);
