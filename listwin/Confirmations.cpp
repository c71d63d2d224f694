#include "listwin/Confirmations.h"

#include "toolbox/core/StringTable.h"
#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/Dialogs.h"
#include "toolbox/gui/Menus.h"

#include <cstdio>

namespace {

constexpr std::int16_t kProceedMessageItem = 2;
constexpr std::int16_t kProceedItem = 3;

constexpr std::int16_t kDiscardOKItem = 1;
constexpr std::int16_t kDiscardMessageItem = 3;

constexpr std::int32_t kWindowsAsked = 8;    // from this many a command asks first
constexpr std::int32_t kWindowsRefused = 17; // from this many it refuses

} // namespace

bool confirmDiscard(const std::string& message) {
    return RunTextDialog(DialogId::discard, kDiscardMessageItem, message.c_str()) == kDiscardOKItem;
}

bool confirmDiscardChanges(std::string_view name) {
    if (name.empty())
        return confirmDiscard(std::string(GetStringEntry(StringId::discardSelectedChanges)));
    char text[1024]; // room for a file's name
    std::snprintf(text, sizeof text,
                  std::string(GetStringEntry(StringId::discardChangesTo)).c_str(),
                  std::string(name).c_str());
    return confirmDiscard(text);
}

bool confirmWindowCount(std::int32_t count) {
    if (count >= kWindowsRefused) {
        NoteAlert("You cannot open that many windows!");
        return true;
    }
    if (count < kWindowsAsked) return false;
    char text[64];
    std::snprintf(text, sizeof text, "Are you sure you want to open %d windows?", int(count));
    return !confirmDiscard(text);
}

bool confirmProceed(StringId message) {
    if (ControlHeldOnPurpose()) return true;
    return RunTextDialog(DialogId::proceed, kProceedMessageItem,
                         std::string(GetStringEntry(message)).c_str()) == kProceedItem;
}
