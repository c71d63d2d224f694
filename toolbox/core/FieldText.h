// TAB-separated field text held in a handle. Field i (from 1) is the text between the
// (i-1)-th and the i-th TAB; a missing field reads as empty.
#pragma once
#include "toolbox/core/Memory.h"
#include "toolbox/core/Strings.h"

Str255 GetField(Handle text, int field);                                 // at most 255 characters
std::string_view GetFieldView(const char* text, Size length, int field); // no copy, no cap
// Appends TABs until the text has `field` fields, then replaces field `field`.
// A TAB in the new value is not allowed (callers remove them). Returns memFullErr on failure.
OSErr SetField(Handle text, int field, std::string_view value);
int CountFields(Handle text); // 0 for an empty or missing text
