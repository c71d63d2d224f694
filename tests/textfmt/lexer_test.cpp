// The import's lexer on its own: token kinds, blanks, numbers and end of file. Line ends, numbers
// beyond 32 bits, the byte 255, the flags the grammar sets, line numbers and the field limit are
// checked through whole imports (tests/data/textfmt).
#include "tests/support/Files.h"
#include "textfmt/TextLexer.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

// Runs the lexer over bytes and spells the tokens: S(text) N(text=value) T , E \ F and 0 for end
// of input.
std::string tokens(const std::string& bytes) {
    TempFile file(bytes);
    FileRef ref = 0;
    if (FSpOpen(FSSpec::fromPath(file.path), FilePerm::readOnly, &ref) != noErr) return "open!";
    TextLexer lexer(ref);
    std::string out;
    for (int i = 0; i < 64; ++i) {
        long number = 0;
        const int t = lexer.next(&number);
        const std::string text(lexer.tokenText());
        out += t == kTokenString       ? "S(" + text + ")"
               : t == kTokenNumber     ? "N(" + text + "=" + std::to_string(number) + ")"
               : t == kTokenEndOfLine  ? "E" + std::to_string(lexer.lineNumber())
               : t == kTokenTab        ? "T"
               : t == kTokenComma      ? ","
               : t == kTokenBackslash  ? "\\"
               : t == kTokenEndOfFile  ? "F"
               : t == kTokenEndOfInput ? "0"
                                       : "?" + std::to_string(t);
        if (t == kTokenEndOfInput) break;
        out += ' ';
    }
    FSClose(ref);
    return out;
}

} // namespace

TEST(TextLexer, Tokens) {
    const std::pair<std::string, const char*> inputs[] = {
        // Spaces, VT and FF before a token are skipped; TAB and line ends never are. Blanks
        // inside and at the end of a field belong to it.
        {" \v\fAB C \tx\vy\r", "S(AB C ) T S(x\vy) E2 F 0"},
        // NUMBER: a digit or '-' then digits only; '-' alone is 0; anything else is a STRING.
        {"12,-7,-,007,1a,--1,+3",
         "N(12=12) , N(-7=-7) , N(-=0) , N(007=7) , S(1a) , S(--1) , S(+3) F 0"},
        // Other control characters start a field; a backslash not allowed is text.
        {"\x01x\t\\y", "S(\x01x) T S(\\y) F 0"},
        {"", "F 0"}};
    for (const auto& [bytes, spelt] : inputs)
        EXPECT_EQ(tokens(bytes), spelt);
}
