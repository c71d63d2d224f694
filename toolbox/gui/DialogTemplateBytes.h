// The byte form of the dialog templates (resources/DialogTemplates.h) and its parser, which turns
// those bytes back into a template for the dialog runner.
//
// Byte layout, every field 16-bit little-endian:
//   0 bounds (top, left, bottom, right) | 8 item count | 10 style word | 12 reserved (0) | 14 items
// Each item:
//   0 rectangle (top, left, bottom, right) | 8 kind | 10 item id | 12 reserved (0) |
//   14 text, zero-terminated, padded with one zero byte to an even item length;
//   an icon item holds its 16-bit icon id instead of the text.
#pragma once
#include "resources/DialogTemplates.h"
#include "resources/Types.h"
#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

std::vector<std::uint8_t> EncodeDialogTemplate(const DialogEntry& dialog);
// The stored bytes of dialog id (encoded once, kept for the run); empty when there is none.
std::span<const std::uint8_t> GetDialogTemplateBytes(DialogId id);
// Reads a template; paramErr when the bytes are cut short or malformed.
OSErr ParseDialogTemplate(std::span<const std::uint8_t> bytes, DialogTemplate* out);
