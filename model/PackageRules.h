// The rules a Package and its parts keep to: the questions the package editor and its field
// editors ask when they close, as plain tests on texts and numbers, so that `qpk lint` judges a
// stored library by the same rules as the windows.
#pragma once
#include "model/Package.h"
#include "resources/ResourceIds.h"

#include <cstdint>
#include <optional>
#include <string_view>

// The question for a Package whose editor closes: packageNeedsSection when it has no Component
// Section; otherwise packageNeedsNameAndPrefix when its Package Name or its Designator Prefix
// holds nothing but blanks; none when it passes.
std::optional<StringId> packageQuestion(int sectionCount, std::string_view name,
                                        std::string_view prefix);
std::optional<StringId> packageQuestion(const PackageRecord& r);

// The question for a Component Section: sectionNeedsClassId for a Class ID of 0.
std::optional<StringId> sectionQuestion(std::int32_t classId);

// The question for a net item: netNeedsName when its Net Name is blank, otherwise netNeedsPin
// when none of its pin numbers holds more than blanks (hasPin false). A net item without a
// name and without pins gets only the first.
std::optional<StringId> netQuestion(std::string_view netName, bool hasPin);
// The same for a net text: field 1 the Net Name, fields 2 onward its pin numbers.
std::optional<StringId> netTextQuestion(std::string_view text);
