#include "model/PackageRules.h"

#include "toolbox/core/Strings.h"

std::optional<StringId> packageQuestion(int sectionCount, std::string_view name,
                                        std::string_view prefix) {
    if (sectionCount <= 0) return StringId::packageNeedsSection;
    if (TrimBlanks(name).empty() || TrimBlanks(prefix).empty())
        return StringId::packageNeedsNameAndPrefix;
    return std::nullopt;
}

std::optional<StringId> packageQuestion(const PackageRecord& r) {
    return packageQuestion(r.sectionCount, packageFieldView(r, kFieldPackageName),
                           packageFieldView(r, kFieldDesignatorPrefix));
}

std::optional<StringId> sectionQuestion(std::int32_t classId) {
    if (classId == 0) return StringId::sectionNeedsClassId;
    return std::nullopt;
}

std::optional<StringId> netQuestion(std::string_view netName, bool hasPin) {
    if (TrimBlanks(netName).empty()) return StringId::netNeedsName;
    if (!hasPin) return StringId::netNeedsPin;
    return std::nullopt;
}

std::optional<StringId> netTextQuestion(std::string_view text) {
    const std::size_t tab = text.find('\t');
    const std::string_view name = text.substr(0, tab);
    bool hasPin = false;
    for (std::size_t at = tab; at != std::string_view::npos && !hasPin;) {
        const std::size_t next = text.find('\t', at + 1);
        hasPin = !TrimBlanks(text.substr(at + 1, next - at - 1)).empty();
        at = next;
    }
    return netQuestion(name, hasPin);
}
