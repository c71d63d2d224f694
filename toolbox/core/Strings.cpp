// Length-prefixed string utilities.
#include "toolbox/core/Strings.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

inline unsigned char upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}
inline bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Eight 256-byte buffers used in turn by the temporary conversions.
char* nextTempBuffer() {
    static char buffers[8][256];
    static unsigned next = 0;
    char* b = buffers[next];
    next = (next + 1) & 7;
    return b;
}

void setBytes(Str255& s, const char* p, std::size_t n) {
    n = std::min<std::size_t>(n, 255);
    if (n) std::memmove(s.bytes + 1, p, n);
    s.bytes[0] = static_cast<unsigned char>(n);
}

} // namespace

void Str255::assign(std::string_view s) {
    setBytes(*this, s.data(), s.size());
}

void c2pstr(char* s) {
    if (!s) return;
    std::size_t n = std::min<std::size_t>(std::strlen(s), 255);
    std::memmove(s + 1, s, n);
    s[0] = static_cast<char>(n);
}

void p2cstr(unsigned char* s) {
    if (!s) return;
    std::size_t n = s[0];
    std::memmove(s, s + 1, n);
    s[n] = 0;
}

Str255 CToPStr(const char* s) {
    return Str255(s);
}

const char* PToCStr(const Str255& s) {
    char* b = nextTempBuffer();
    std::memcpy(b, s.chars(), s.length());
    b[s.length()] = 0;
    return b;
}

const unsigned char* CToPStrTemp(const char* s) {
    auto* b = reinterpret_cast<unsigned char*>(nextTempBuffer());
    std::size_t n = s ? std::min<std::size_t>(std::strlen(s), 255) : 0;
    if (n) std::memcpy(b + 1, s, n);
    b[0] = static_cast<unsigned char>(n);
    return b;
}

void PStrCopy(Str255& dst, const Str255& src, int maxLength) {
    std::size_t n = std::min<std::size_t>(src.length(), std::clamp(maxLength, 0, 255));
    setBytes(dst, src.chars(), n);
}

int PStrCompare(const Str255& a, const Str255& b, bool ignoreCase) {
    std::size_t n = std::min(a.length(), b.length());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char ca = a.bytes[i + 1], cb = b.bytes[i + 1];
        if (ignoreCase) ca = upper(ca), cb = upper(cb);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.length() == b.length()) return 0;
    return a.length() < b.length() ? -1 : 1;
}

int PStrPos(const Str255& s, const Str255& sub) {
    auto pos = s.view().find(sub.view());
    return pos == std::string_view::npos ? 0 : static_cast<int>(pos) + 1;
}

void PStrInsert(Str255& s, const Str255& ins, int pos) {
    std::size_t at = static_cast<std::size_t>(std::clamp(pos, 1, s.length() + 1) - 1);
    std::string_view v = s.view();
    PStrConcat(s, {v.substr(0, at), ins.view(), v.substr(at)});
}

void PStrDelete(Str255& s, int pos, int count) {
    if (pos < 1 || pos > s.length() || count <= 0) return;
    std::size_t from = static_cast<std::size_t>(pos - 1);
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), s.length() - from);
    std::memmove(s.bytes + 1 + from, s.bytes + 1 + from + n, s.length() - from - n);
    s.bytes[0] = static_cast<unsigned char>(s.length() - n);
}

void PStrConcat(Str255& dst, std::initializer_list<std::string_view> parts) {
    // Built aside first: a part may view dst itself.
    unsigned char buf[256];
    std::size_t n = 0;
    for (std::string_view p : parts) {
        std::size_t k = std::min(p.size(), 255 - n);
        if (k) std::memcpy(buf + 1 + n, p.data(), k);
        n += k;
    }
    buf[0] = static_cast<unsigned char>(n);
    std::memcpy(dst.bytes, buf, n + 1);
}

std::string_view TrimBlanks(std::string_view s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    std::size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

void PStrTrim(Str255& s) {
    s.assign(TrimBlanks(s.view()));
}

void PStrUpper(Str255& s) {
    for (int i = 1; i <= s.length(); ++i)
        s.bytes[i] = upper(s.bytes[i]);
}

Str255 NumToString(long n) {
    return PStrFormat("%ld", n);
}

bool StringToNum(const Str255& s, long* out) {
    std::string_view v = TrimBlanks(s.view());
    bool negative = false;
    if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
        negative = v[0] == '-';
        v.remove_prefix(1);
    }
    if (v.empty()) return false;
    unsigned long value = 0;
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
    for (char c : v) {
        if (!isDigit(static_cast<unsigned char>(c))) return false;
        unsigned d = static_cast<unsigned>(c - '0');
        if (value > (limit - d) / 10) return false;
        value = value * 10 + d;
    }
    if (out) {
        *out = negative ? static_cast<long>(0UL - value) : static_cast<long>(value);
    }
    return true;
}

Str255 PStrFormat(const char* fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    Str255 s;
    if (n > 0) setBytes(s, buf, std::min(n, 255));
    return s;
}

int NaturalCompare(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        auto ca = static_cast<unsigned char>(a[i]);
        auto cb = static_cast<unsigned char>(b[j]);
        if (isDigit(ca) && isDigit(cb)) {
            // Compare the digit runs by value: skip leading zeros, then the longer run is the
            // larger number, and runs of equal length compare digit by digit.
            while (i < a.size() && a[i] == '0')
                ++i;
            while (j < b.size() && b[j] == '0')
                ++j;
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && isDigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            if (ei - i != ej - j) return ei - i < ej - j ? -1 : 1;
            int c = a.substr(i, ei - i).compare(b.substr(j, ej - j));
            if (c != 0) return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        ca = upper(ca);
        cb = upper(cb);
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    bool aLeft = i < a.size(), bLeft = j < b.size();
    if (aLeft == bLeft) return 0;
    return aLeft ? 1 : -1;
}
