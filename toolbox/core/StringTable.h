// String lists and the error texts.
#pragma once
#include "resources/ResourceIds.h"
#include "toolbox/core/Strings.h"
#include <string>

// Entry list + index - 1 of the string table (an index below 1 counts as 1); empty when absent.
Str255 GetIndString(StringListId list, int index);
// The string with that id, or an empty string.
std::string_view GetStringEntry(StringId id);
// The string with that number, or an empty string: for walking the table.
std::string_view GetStringByNumber(int number);
// "Error:  " + the text of the code, or "Error:  #%d" (a positive code masked by 0x1FFFFFF)
// when the table has none; empty for 0 and 995, which are never shown.
std::string ErrorText(OSErr code);
// The bare text of the code without the "Error:  " prefix; empty when the table has none.
std::string_view ErrorMessage(OSErr code);
