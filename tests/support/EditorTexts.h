// What the editor tests compare, as plain strings: field text split at its TABs, a package as it
// reaches the file, window titles and the contents of a field editor against its item.
#pragma once
#include "editor/FieldEditor.h"
#include "model/Image.h"
#include "model/Package.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
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

// A package as it reaches the file: its six fields, then "S ID|pins" for each section with a
// Class ID and "N text" for each valid net, in order.
using Form = std::vector<std::string>;

inline bool formValid(const std::string& item) {
    if (item.starts_with("S ")) return !item.starts_with("S 0|");
    const std::vector<std::string> f = splitTabs(std::string_view(item).substr(2));
    return f.size() >= 2 && !trim(f[0]).empty() && !trim(f[1]).empty();
}
inline Form formOf(const PackageRecord& r) {
    Form form;
    for (int i = 1; i <= 6; ++i)
        form.push_back(packageField(r, i).str());
    auto add = [&form](std::string item) {
        if (formValid(item)) form.push_back(std::move(item));
    };
    for (int k = 1; k <= r.sectionCount; ++k)
        add("S " + std::to_string(sectionAt(r, k)->classId) + "|" +
            handleText(sectionAt(r, k)->pinChanges));
    forEachNetItem(r, [&](const NetItem* n) { add("N " + std::string(netItemText(n))); });
    return form;
}
inline std::optional<Form> formOfImage(Handle image) {
    PackageRecord r;
    if (!image || expandImage(image, &r) != noErr) return std::nullopt;
    return formOf(r);
}

inline std::string titleOf(WindowPtr w) {
    char text[256] = "";
    GetWTitle(w, text);
    return text;
}
inline std::string teText(TEHandle te) {
    return std::string(te->hText ? te->hText->data : "", std::size_t(te->teLength));
}

// The Class ID a Class ID text holds: an optional "-", then digits ("" and "-" hold 0).
inline std::int64_t classIdText(std::string_view s) {
    std::int64_t n = 0;
    std::from_chars(s.data(), s.data() + s.size(), n);
    return n;
}
// The normalised contents of a field editor: what its commit stores for a section ("ID|pins":
// the signed Class ID, then the pairs whose both pins hold something) or a net (name and the
// pins that hold something, upper-cased).
inline std::string fieldEditorContents(FieldEditor* fe) {
    auto item = [](FormHandle f, int i) { return upper(trim(getItemText(f, i).str())); };
    const std::string head = item(fe->headerForm, kFieldHeaderEdit);
    std::string out = fe->index < 0 ? head : std::to_string(classIdText(head)) + "|";
    for (int r = 1; r <= fe->rowCount; ++r) {
        if (fe->index < 0) {
            if (const std::string pin = item(fe->rowsForm, r); !pin.empty()) out += "\t" + pin;
        } else if (const std::string a = item(fe->rowsForm, 2 * r - 1),
                   b = item(fe->rowsForm, 2 * r);
                   !a.empty() && !b.empty()) {
            out += (out.back() == '|' ? "" : "\t") + a + "\t" + b;
        }
    }
    return out;
}
inline std::string itemContents(PackageEditor* e, int index) {
    if (index < 0) return std::string(netItemText(findNetItem(e->working, -index)));
    const ComponentSection* s = sectionAt(e->working, index);
    return std::to_string(s->classId) + "|" + handleText(s->pinChanges);
}

} // namespace test_support
