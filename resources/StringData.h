// The program's string table as data: entries addressed by a 16-bit id, sorted by id. An id that
// is not listed reads as the empty string.
#pragma once
#include <cstdint>
#include <span>

struct StringEntry {
    std::uint16_t id;
    const char* text; // at most 255 characters
};

std::span<const StringEntry> StringTableEntries();
