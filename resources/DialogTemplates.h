// Dialog templates ("XDLG"): readable tables of the program's dialogs, their items and the
// icons an item may name. The byte form the dialog runner reads lives with the runner, in the
// host layer.
#pragma once
#include "resources/ResourceIds.h"
#include "resources/Types.h"
#include <cstdint>
#include <span>

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

struct DialogItemEntry {
    Rect rect;
    std::uint16_t kind;
    std::int16_t id;
    const char* text;        // for text items and buttons
    std::int16_t iconId = 0; // for icon items
};

struct DialogEntry {
    DialogId id;
    Rect bounds;
    std::uint16_t style;
    std::span<const DialogItemEntry> items;
};

// The readable table of dialog id, or nullptr.
const DialogEntry* FindDialogEntry(DialogId id);
std::span<const DialogEntry> AllDialogEntries();
