// The questions and reports shared by the list window, the package editor and the file
// commands: confirm discard, confirm window count, confirm proceed, and the report of memory
// that ran out while copies were being made.
#pragma once
#include "resources/ResourceIds.h"
#include <cstdint>
#include <string>
#include <string_view>

// Dialog 1007 (OK, Cancel) with message in item 3; true for OK.
bool confirmDiscard(const std::string& message);
// Dialog 1007 asking whether to discard all changes made to name (a package or a file), or, when
// name is empty, to the selected packages; true for OK.
bool confirmDiscardChanges(std::string_view name);

// The limit on the windows one command may open: 17 or more are refused with a note alert, 8 to
// 16 are confirmed in dialog 1007. True when the command must stop.
bool confirmWindowCount(std::int32_t count);

// Dialog 1006 (Cancel, Proceed) with the message (of list 1300) in item 2; true for Proceed.
// With the Control key held down on purpose (ControlHeldOnPurpose: not only to type the key
// equivalent of the command that asks) the answer is Proceed at once, without the dialog.
bool confirmProceed(StringId message);
