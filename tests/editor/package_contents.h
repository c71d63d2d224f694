// What a package record holds, as plain strings, for the editor tests to compare: the text
// rules of typed fields, field text split at its TABs, and the stored contents of a record.
#pragma once
#include "model/Package.h"

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace test_support {

inline std::string trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return std::string(s);
}
inline std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}
inline bool hasLower(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}
// What no typed or pasted text may hold: a comma, a control character (TAB among them), DEL.
inline bool typable(std::string_view s) {
    return std::none_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u == ',' || u < 32 || u == 127;
    });
}
// Fields of a field text; an empty text has one empty field.
inline std::vector<std::string> splitTabs(std::string_view s) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == '\t')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}
inline std::string handleText(Handle h) {
    return h ? std::string(h->data, std::size_t(GetHandleSize(h))) : std::string();
}
// A net item keeps its text when field 1 and field 2, trimmed, hold something.
inline bool netValid(std::string_view text) {
    const std::vector<std::string> f = splitTabs(text);
    return f.size() >= 2 && !trim(f[0]).empty() && !trim(f[1]).empty();
}

// The stored contents of a package record: field text, the sections (Class ID, pair count, pin
// text) and the net texts. What a round trip through an image must give back.
struct Contents {
    std::string fields;
    std::vector<std::tuple<std::int32_t, int, std::string>> sections;
    std::vector<std::string> nets;
    bool operator==(const Contents&) const = default;
};
// onlyStored: the sections with a Class ID and the valid nets, as flattening keeps them.
inline Contents contentsOf(const PackageRecord& r, bool onlyStored) {
    Contents c;
    c.fields = handleText(r.fieldText);
    for (int k = 1; k <= r.sectionCount; ++k) {
        const ComponentSection* s = sectionAt(r, k);
        if (!onlyStored || s->classId != 0)
            c.sections.emplace_back(s->classId, s->pinChangeCount, handleText(s->pinChanges));
    }
    forEachNetItem(r, [&](const NetItem* n) {
        const std::string text(n->text, n->textLength);
        if (!onlyStored || netValid(text)) c.nets.push_back(text);
    });
    return c;
}
inline std::string describe(const Contents& c) {
    std::ostringstream os;
    os << "fields [" << c.fields << "]";
    for (const auto& [id, count, pins] : c.sections)
        os << " section " << id << "/" << count << " [" << pins << "]";
    for (const std::string& n : c.nets)
        os << " net [" << n << "]";
    return os.str();
}

} // namespace test_support
