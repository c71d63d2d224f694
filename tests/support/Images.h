// Package images built for tests: from a description of fields, sections and nets, the small
// image many storage tests use, images of an exact size, and image bytes to compare.
#pragma once
#include "model/Image.h"
#include "model/Package.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

struct SectionContents {
    std::int32_t classId = 0;
    std::vector<std::pair<std::string, std::string>> pins; // pin number changes, old -> new
};

// Fields from field 1 on (name, prefix, shape, shape parameters), sections and net item texts
// ("NAME\tPIN\tPIN..."), each in its order.
struct PackageContents {
    std::vector<std::string> fields;
    std::vector<SectionContents> sections;
    std::vector<std::string> nets;
};

PackageRecord buildPackage(const PackageContents& contents);
UniqueHandle buildImage(const PackageContents& contents);

// A valid package image: name, prefix "U", shape "DIP", one section per Class ID (each with one
// pin pair tag -> tag), and the net item "GND\t<tag>".
UniqueHandle packageImage(const std::string& name, std::initializer_list<std::int32_t> ids,
                          const std::string& tag = "1");

// An image of exactly `length` bytes (at least 8): no sections, the rest field text.
UniqueHandle sizedImage(std::uint32_t length, char fill = 'x');

std::vector<char> bytesOf(Handle h); // empty for no handle
// The image with its class links cleared, for comparing contents across index rebuilds.
std::vector<char> withoutLinks(Handle h);

} // namespace test_support
