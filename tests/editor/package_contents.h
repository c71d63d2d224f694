// What the editor tests compare, as plain strings: field text split at its TABs, the stored
// contents of a package record, window titles and the contents of a field editor against its
// item.
#pragma once
#include "editor/FieldEditor.h"
#include "model/Package.h"

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace test_support {

inline std::string trim(std::string_view s) {
    const std::size_t b = s.find_first_not_of(' ');
    return b == s.npos ? std::string() : std::string(s.substr(b, s.find_last_not_of(' ') + 1 - b));
}
inline std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
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
    for (char c : s)
        c == '\t' ? out.emplace_back() : out.back() += c;
    return out;
}
inline std::string handleText(Handle h) {
    return h ? std::string(h->data, std::size_t(GetHandleSize(h))) : std::string();
}

// The stored contents of a package record: field text, the sections (Class ID, pair count, pin
// text) and the net texts. What a round trip through an image must give back.
struct Contents {
    std::string fields;
    std::vector<std::tuple<std::int32_t, int, std::string>> sections;
    std::vector<std::string> nets;
    bool operator==(const Contents&) const = default;
};
// onlyStored: what flattening keeps, the sections with a Class ID and the nets whose fields 1
// and 2, trimmed, hold something.
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
        const std::vector<std::string> f = splitTabs(text);
        if (!onlyStored || (f.size() >= 2 && !trim(f[0]).empty() && !trim(f[1]).empty()))
            c.nets.push_back(text);
    });
    return c;
}
// How a failed comparison shows it.
inline void PrintTo(const Contents& c, std::ostream* os) {
    *os << "fields [" << c.fields << "]";
    for (const auto& [id, count, pins] : c.sections)
        *os << " section " << id << "/" << count << " [" << pins << "]";
    for (const std::string& n : c.nets)
        *os << " net [" << n << "]";
}

inline std::string titleOf(WindowPtr w) {
    char text[256] = "";
    GetWTitle(w, text);
    return text;
}
inline std::string teText(TEHandle te) {
    return std::string(te->hText ? te->hText->data : "", std::size_t(te->teLength));
}

// The normalised contents of a field editor: what its commit stores for a section (Class ID from
// the leading digits, the pairs whose both pins hold something) or a net (name and the pins
// that hold something, upper-cased, at most 255 bytes).
inline std::string fieldEditorContents(FieldEditor* fe) {
    auto item = [](FormHandle f, int i) { return upper(trim(getItemText(f, i).str())); };
    const std::string head = item(fe->headerForm, kFieldHeaderEdit);
    if (fe->index < 0) {
        std::string out = head;
        for (int r = 1; r <= fe->rowCount; ++r)
            if (const std::string pin = item(fe->rowsForm, r); !pin.empty()) out += "\t" + pin;
        return out.substr(0, kMaxNetText);
    }
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i)
        n = n * 10 + std::uint32_t(head[i] - '0');
    std::string out = std::to_string(std::int32_t(n)) + "|";
    for (int r = 1; r <= fe->rowCount; ++r) {
        const std::string a = item(fe->rowsForm, 2 * r - 1), b = item(fe->rowsForm, 2 * r);
        if (!a.empty() && !b.empty()) out += a + "\t" + b + "\t";
    }
    return out;
}
inline std::string itemContents(PackageEditor* e, int index) {
    if (index < 0) return std::string(netItemText(findNetItem(e->working, -index)));
    const ComponentSection* s = sectionAt(e->working, index);
    std::string out = std::to_string(s->classId) + "|";
    if (s->pinChangeCount)
        for (const std::string& f : splitTabs(handleText(s->pinChanges)))
            out += f + "\t";
    return out;
}

} // namespace test_support
