// The text rules of the field editor windows: what a Class ID field holds and may hold, and
// what the fields of a net may hold so that the commit builds the net's text whole.
#pragma once
#include "editor/FieldEditor.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The Class ID a text holds: an optional "-", then at most 10 decimal digits ("" and "-" hold
// 0). None for any other text, and for a number outside the signed 32-bit range.
std::optional<std::int32_t> classIdOf(std::string_view s);
// The focused field's text as it reads with `insert` in place of its selection.
std::string withInsert(const FieldEditor* fe, std::string_view insert);
// Whether the focused field may read text: within its length; in the Class ID field, a signed
// number that fits 32 bits; in a net, a net text that the commit can build whole (at most 255
// bytes, counted as the commit builds it).
bool fieldMayRead(const FieldEditor* fe, std::string_view text);
