// What the editor tests compare, as plain strings: the text rules of typed fields, field text
// split at its TABs, the stored contents of a package record, window titles and the contents
// of a field editor against its item.
#pragma once
#include "editor/FieldEditor.h"
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
    const std::string head = upper(trim(getItemText(fe->headerForm, kFieldHeaderEdit).str()));
    std::string out;
    if (fe->index > 0) {
        std::uint32_t n = 0;
        for (char c : head) {
            if (c < '0' || c > '9') break;
            n = n * 10 + std::uint32_t(c - '0');
        }
        out = std::to_string(std::int32_t(n)) + "|";
        for (int r = 1; r <= fe->rowCount; ++r) {
            const std::string a = upper(trim(getItemText(fe->rowsForm, 2 * r - 1).str()));
            const std::string b = upper(trim(getItemText(fe->rowsForm, 2 * r).str()));
            if (!a.empty() && !b.empty()) out += a + "\t" + b + "\t";
        }
        return out;
    }
    out = head;
    for (int r = 1; r <= fe->rowCount; ++r) {
        const std::string pin = upper(trim(getItemText(fe->rowsForm, r).str()));
        if (!pin.empty()) out += "\t" + pin;
    }
    return out.substr(0, kMaxNetText);
}
inline std::string itemContents(PackageEditor* e, int index) {
    if (index > 0) {
        const ComponentSection* s = sectionAt(e->working, index);
        std::string out = std::to_string(s->classId) + "|";
        for (const std::string& f : splitTabs(handleText(s->pinChanges)))
            if (s->pinChangeCount) out += f + "\t";
        return out;
    }
    return std::string(netItemText(findNetItem(e->working, -index)));
}

} // namespace test_support
