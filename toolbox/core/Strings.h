// Length-prefixed strings (a length byte and at most 255 8-bit characters) and their utilities.
#pragma once
#include "resources/Types.h"
#include <initializer_list>
#include <string>
#include <string_view>

struct Str255 {
    unsigned char bytes[256]{}; // bytes[0] is the length

    Str255() = default;
    Str255(std::string_view s) { assign(s); } // cut to 255 characters
    Str255(const char* s) : Str255(std::string_view(s ? s : "")) {}

    void assign(std::string_view s);
    std::uint8_t length() const { return bytes[0]; }
    bool empty() const { return bytes[0] == 0; }
    const char* chars() const { return reinterpret_cast<const char*>(bytes + 1); }
    char* chars() { return reinterpret_cast<char*>(bytes + 1); }
    std::string_view view() const { return {chars(), bytes[0]}; }
    std::string str() const { return std::string(view()); }
    friend bool operator==(const Str255& a, const Str255& b) { return a.view() == b.view(); }
};

// Zero-terminated <-> length-prefixed, in place (buffers of 256 bytes) and copying.
void c2pstr(char* s); // in place
void p2cstr(unsigned char* s);
Str255 CToPStr(const char* s);
// Copies into one of eight rotating 256-byte buffers; valid until eight more conversions.
const char* PToCStr(const Str255& s);
const unsigned char* CToPStrTemp(const char* s);

void PStrCopy(Str255& dst, const Str255& src, int maxLength = 255);
int PStrCompare(const Str255& a, const Str255& b, bool ignoreCase); // -1, 0, 1
int PStrPos(const Str255& s, const Str255& sub);                    // 1-based; 0 when absent
void PStrInsert(Str255& s, const Str255& ins, int pos);             // 1-based position
void PStrDelete(Str255& s, int pos, int count);
// dst becomes the parts joined (a part may view dst itself), cut at 255.
void PStrConcat(Str255& dst, std::initializer_list<std::string_view> parts);
void PStrTrim(Str255& s);                     // removes leading and trailing blanks
void PStrUpper(Str255& s);                    // in place
Str255 NumToString(long n);                   // "%ld"
bool StringToNum(const Str255& s, long* out); // signed decimal; false when not a number
Str255 PStrFormat(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Natural order: runs of digits compare by value (leading zeros skipped), letters without
// regard to case. Pkg1 < Pkg2 < Pkg10. Result -1, 0, 1.
int NaturalCompare(std::string_view a, std::string_view b);
std::string_view TrimBlanks(std::string_view s);
