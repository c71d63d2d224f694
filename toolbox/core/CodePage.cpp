#include "toolbox/core/CodePage.h"

#include <algorithm>

namespace {

constexpr char16_t kCodePage80[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

char16_t CodePageChar(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCodePage80[byte - 0x80] : byte;
}

int CodePageByte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c < 0x100)) return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (kCodePage80[i] == c) return 0x80 + i;
    return -1;
}

std::string CodePageToUtf8(std::string_view text) {
    std::string out;
    CodePageAppendUtf8(text, &out);
    return out;
}

void CodePageAppendUtf8(std::string_view text, std::string* out) {
    out->reserve(out->size() + text.size());
    // Names are mostly ASCII, which stays as it is: a run of it goes in at once.
    const auto ascii = std::find_if(text.begin(), text.end(),
                                    [](char b) { return static_cast<unsigned char>(b) >= 0x80; });
    out->append(text.begin(), ascii);
    for (const char byte : text.substr(std::size_t(ascii - text.begin()))) {
        const char16_t c = CodePageChar(static_cast<unsigned char>(byte));
        if (c < 0x80) {
            *out += static_cast<char>(c);
        } else if (c < 0x800) {
            *out += static_cast<char>(0xC0 | (c >> 6));
            *out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *out += static_cast<char>(0xE0 | (c >> 12));
            *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}
