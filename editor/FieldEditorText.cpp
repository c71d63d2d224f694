#include "editor/FieldEditorText.h"

#include <limits>

namespace {

constexpr int kClassIdDigits = 10;
constexpr int kFieldLimit = 17;

// The length of the net text the commit builds from the fields (the Net Name, then a TAB and
// each pin that holds more than blanks), the focused field reading `focused`.
std::size_t netTextLength(const FieldEditor* fe, std::string_view focused) {
    std::size_t n = 0;
    for (int i = 0; i <= itemCount(fe->rowsForm); ++i) {
        Str255 text = i == fe->focusedItem ? Str255(focused)
                      : i == 0             ? getItemText(fe->headerForm, kFieldHeaderEdit)
                                           : getItemText(fe->rowsForm, i);
        PStrTrim(text);
        n += text.length() + (i > 0 && text.length() > 0);
    }
    return n;
}

} // namespace

std::optional<std::int32_t> classIdOf(std::string_view s) {
    const bool negative = !s.empty() && s.front() == '-';
    s.remove_prefix(negative);
    if (s.size() > std::size_t(kClassIdDigits)) return std::nullopt;
    std::int64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (negative) n = -n;
    if (n < std::numeric_limits<std::int32_t>::min() ||
        n > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return std::int32_t(n);
}

std::string withInsert(const FieldEditor* fe, std::string_view insert) {
    const TERec* te = fe->textEdit;
    const std::string_view text(te->hText ? te->hText->data : "", std::size_t(te->teLength));
    std::string out(text.substr(0, std::size_t(te->selStart)));
    out += insert;
    out += text.substr(std::size_t(te->selEnd));
    return out;
}

bool fieldMayRead(const FieldEditor* fe, std::string_view text) {
    if (fe->index > 0)
        return fe->focusedItem != 0 ? text.size() <= kFieldLimit : bool(classIdOf(text));
    return text.size() <= kFieldLimit && netTextLength(fe, text) <= kMaxNetText;
}
