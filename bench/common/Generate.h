// A realistic generated library for benchmarks: Packages of the usual footprint families with
// 1 to 4 Component Sections (Class IDs drawn from a pool shared across the library, so that many
// Packages carry each Class ID), 0 to 3 pin number change pairs per section and 0 to 2 Hidden
// Connections. Package i is the same for a given seed on every call, so the same rows can be
// written to a package file, to CSV for sqlite3, or anywhere else.
#pragma once
#include "model/Package.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct GeneratedSection {
    std::int32_t classId = 0;
    std::vector<std::pair<std::string, std::string>> pins; // unpackaged, packaged
};

struct GeneratedPackage {
    std::string name, prefix, shape;
    std::string params[3];
    std::vector<GeneratedSection> sections;
    std::vector<std::string> nets; // field text: Net Name, TAB, pins separated by TABs
};

// Package `index` of a library of `count` Packages (count sizes the pool of Class IDs).
GeneratedPackage generatePackage(std::size_t index, std::size_t count, std::uint64_t seed = 1);
// The same as a package record.
PackageRecord toPackageRecord(const GeneratedPackage& p);

// How a generated package file is left: closed normally (class links set, class index written),
// or closed forced with the index out of date and every class link 0.
enum class ClassIndex { written, outOfDate };

// Writes a package file of count generated Packages (replacing any file there), its class index
// as asked. Returns a file error code.
OSErr writeLibraryFile(const std::string& path, std::size_t count,
                       ClassIndex index = ClassIndex::written, std::uint64_t seed = 1);
// The package file of count packages that the window benchmarks share, in the temporary folder.
std::string sharedLibraryPath(long count);

// Writes the same rows as CSV for sqlite3 ".import": packagesCsv gets
// id,name,prefix,shape,param1,param2,param3,nets and sectionsCsv gets
// package_id,position,class_id,pins (pins as "u>p u>p"). False on a write error.
bool writeLibraryCsv(const std::string& packagesCsv, const std::string& sectionsCsv,
                     std::size_t count, std::uint64_t seed = 1);

} // namespace bench
