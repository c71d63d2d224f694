// TAB-separated field text.
#include "toolbox/core/FieldText.h"

#include <cstring>

namespace {

constexpr char kTab = '\t';

// Start and end offsets of field `field` (from 1); false when the text has fewer fields.
bool findField(const char* text, Size length, int field, Size* start, Size* end) {
    if (field < 1 || !text) return false;
    Size s = 0;
    for (int i = 1; i < field; ++i) {
        const void* tab = std::memchr(text + s, kTab, static_cast<std::size_t>(length - s));
        if (!tab) return false;
        s = static_cast<Size>(static_cast<const char*>(tab) - text) + 1;
    }
    const void* tab = std::memchr(text + s, kTab, static_cast<std::size_t>(length - s));
    *start = s;
    *end = tab ? static_cast<Size>(static_cast<const char*>(tab) - text) : length;
    return true;
}

} // namespace

std::string_view GetFieldView(const char* text, Size length, int field) {
    Size s, e;
    if (!findField(text, length, field, &s, &e)) return {};
    return {text + s, static_cast<std::size_t>(e - s)};
}

Str255 GetField(Handle text, int field) {
    if (!text) return {};
    return Str255(GetFieldView(text->data, text->size, field));
}

int CountFields(Handle text) {
    if (!text || text->size == 0) return 0;
    int n = 1;
    const char* p = text->data;
    const char* end = p + text->size;
    while (
        (p = static_cast<const char*>(std::memchr(p, kTab, static_cast<std::size_t>(end - p))))) {
        ++n;
        ++p;
    }
    return n;
}

OSErr SetField(Handle text, int field, std::string_view value) {
    if (!text || field < 1) return paramErr;
    // An empty text already counts as one (empty) field here: growing it to `field` fields
    // takes field - 1 TABs.
    int have = CountFields(text);
    if (have == 0) have = 1;
    for (; have < field; ++have) {
        if (OSErr err = InsertBytes(text, -1, &kTab, 1)) return err;
    }
    Size s, e;
    findField(text->data, text->size, field, &s, &e);
    return ReplaceBytes(text, s, e - s, value.data() ? value.data() : "",
                        static_cast<long>(value.size()));
}
