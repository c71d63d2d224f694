// The operations on the items of one Package record: its Component Sections (list 0) and its
// net items (list 1), each numbered from 1 in list order. The package editor's item list calls
// them for Cut, Copy, Paste, Duplicate, Create, Delete and the move of a section; each works on
// the item numbers it is given and never reads or sets a selection mark (a copy comes without
// one). Errors are returned as codes, and an error leaves every record as it was.
#pragma once
#include "model/Package.h"

#include <cstdint>
#include <span>
#include <vector>

constexpr std::uint8_t kSectionList = 0;
constexpr std::uint8_t kNetList = 1;

// The number of items in the list of r.
int itemCount(const PackageRecord& r, std::uint8_t list);

// Copies of items `numbers` of the list of from, in the order given, become the list of *out
// (whatever *out held before is disposed of). paramErr for a number out of range, memFullErr;
// *out is untouched then.
OSErr copyItems(const PackageRecord& from, std::uint8_t list, std::span<const int> numbers,
                PackageRecord* out);

// Appends copies of every item of the list of from to the end of the same list of to; a section
// past kMaxSections is left out. *appended is how many were appended: the last *appended items
// of the list. memFullErr: nothing appended.
OSErr appendItems(PackageRecord& to, std::uint8_t list, const PackageRecord& from, int* appended);

// Deletes items `numbers` of the list (each at most once, in any order). newNumber[k - 1]
// becomes the new number of the item that was number k, 0 for a deleted one. paramErr for a
// number out of range, memFullErr when newNumber cannot be made; nothing is deleted then.
OSErr deleteItems(PackageRecord& r, std::uint8_t list, std::span<const int> numbers,
                  std::vector<int>* newNumber);

// Appends an empty item to the list: a section without Class ID or pin changes, or a net item
// without text. *number is its number, 0 when the package already holds kMaxSections sections
// (then nothing is added and noErr returned).
OSErr createItem(PackageRecord& r, std::uint8_t list, int* number);

// Moves section `from` to position `to` (both from 1; a `to` of 0 or past the last section: to
// the end). The sections trade places within their table, which needs no memory. newNumber as
// deleteItems gives it. paramErr when from is out of range; memFullErr when newNumber cannot be
// made; nothing moves then.
OSErr moveSection(PackageRecord& r, int from, int to, std::vector<int>* newNumber);
