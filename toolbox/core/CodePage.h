// The program's 8-bit text is the Western code page of its host: Latin-1, with printable
// characters in 0x80-0x9F. The five bytes that code page leaves unassigned (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) stand for the control characters of the same number, so that every byte is one
// character and no two bytes the same one: text goes to Unicode and back unchanged.
#pragma once
#include <string>
#include <string_view>

// The character a byte stands for.
char16_t CodePageChar(unsigned char byte);
// The byte that stands for a character; -1 when the code page has none.
int CodePageByte(char32_t c);
// The text in UTF-8, one character per byte; the append form adds it to *out.
std::string CodePageToUtf8(std::string_view text);
void CodePageAppendUtf8(std::string_view text, std::string* out);
