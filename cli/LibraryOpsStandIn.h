// The library operations the editing commands of qpk need (the declarations of the model's own
// operations), made on the package file functions until the model's take their place.
#pragma once
#include "model/PackageFile.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

using Entries = std::span<PackageEntry* const>;
struct EntryFailure {
    PackageEntry* entry;
    OSErr err;
};
using Failures = std::vector<EntryFailure>;

OSErr copyPackages(Entries entries, PackageFile* dest, Failures* failed, PackageEntry** first);
OSErr deletePackages(PackageFile* f, Entries entries);
int headerFieldLimit(int field);
OSErr headerFieldText(int field, std::string_view text, std::string* out);
OSErr setHeaderField(PackageEntry* e, int field, std::string_view text);
