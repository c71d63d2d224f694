// The import's lexer on its own: token kinds, the flags the grammar sets, blanks, end of file,
// line counting and the field limit.
#include "textfmt/TextLexer.h"
#include "textfmt_support.h"

#include <gtest/gtest.h>

using textfmt_test::TempFile;

namespace {

// Runs the lexer over bytes and spells the tokens: S(text) N(text=value) T , E \ F and 0 for end
// of input. before(lexer, i) runs before the i-th token is read (to set flags as the grammar
// would).
template <class Before> std::string tokens(const std::string& bytes, Before before) {
    TempFile file(bytes);
    FileRef ref = 0;
    if (FSpOpen(FSSpec::fromPath(file.path), FilePerm::readOnly, &ref) != noErr) return "open!";
    TextLexer lexer(ref);
    std::string out;
    for (int i = 0; i < 64; ++i) {
        before(lexer, i);
        long number = 0;
        const int t = lexer.next(&number);
        switch (t) {
        case kTokenString:
            out += "S(" + std::string(lexer.tokenText()) + ")";
            break;
        case kTokenNumber:
            out += "N(" + std::string(lexer.tokenText()) + "=" + std::to_string(number) + ")";
            break;
        case kTokenTab:
            out += "T";
            break;
        case kTokenComma:
            out += ",";
            break;
        case kTokenEndOfLine:
            out += "E" + std::to_string(lexer.lineNumber());
            break;
        case kTokenBackslash:
            out += "\\";
            break;
        case kTokenEndOfFile:
            out += "F";
            break;
        case kTokenEndOfInput:
            out += "0";
            break;
        default:
            out += "?" + std::to_string(t);
        }
        if (t == kTokenEndOfInput) break;
        out += ' ';
    }
    FSClose(ref);
    return out;
}

std::string tokens(const std::string& bytes) {
    return tokens(bytes, [](TextLexer&, int) {});
}

} // namespace

TEST(TextLexer, TokenKindsBlanksAndNumbers) {
    // Spaces, LF, VT and FF before a token are skipped; TAB and CR never are. Blanks inside and at
    // the end of a field belong to it; an LF inside a field too.
    EXPECT_EQ(tokens(" \n\v\fAB C \tx\ny\r"), "S(AB C ) T S(x\ny) E2 F 0");
    // NUMBER: a digit or '-' then digits only; '-' alone is 0; anything else is a STRING.
    EXPECT_EQ(tokens("12,-7,-,007,1a,--1,+3"),
              "N(12=12) , N(-7=-7) , N(-=0) , N(007=7) , S(1a) , S(--1) , S(+3) F 0");
    // Values stay in the 32-bit range.
    EXPECT_EQ(tokens("99999999999,-99999999999"),
              "N(99999999999=2147483647) , N(-99999999999=-2147483648) F 0");
    // Other control characters start a field; a backslash not allowed is text.
    EXPECT_EQ(tokens("\x01x\t\\y"), "S(\x01x) T S(\\y) F 0");
    // A byte 255 is end of file; end of file is returned once, end of input after it.
    EXPECT_EQ(tokens("ab\xff"
                     "cd"),
              "S(ab) F 0");
    EXPECT_EQ(tokens(""), "F 0");
}

TEST(TextLexer, FlagsFromTheGrammar) {
    // Field expected: a separator or CR right away is an empty field (blanks skipped first); any
    // other character clears the flag.
    auto expectAt = [](std::initializer_list<int> at) {
        return [at](TextLexer& l, int i) {
            for (int a : at)
                if (a == i) l.setFieldExpected();
        };
    };
    EXPECT_EQ(tokens("A,,  ,B\r", expectAt({2, 4, 6})), "S(A) , S() , S() , S(B) E2 F 0");
    EXPECT_EQ(tokens("\r", expectAt({0})), "S() E2 F 0");
    EXPECT_EQ(tokens("\t", expectAt({0})), "S() T F 0");
    EXPECT_EQ(tokens("x,", expectAt({0})), "S(x) , F 0");
    // Backslash allowed: the next backslash is a token (flag then cleared); a field clears it too.
    auto allowAt = [](int at) {
        return [at](TextLexer& l, int i) {
            if (i == at) l.setBackslashAllowed();
        };
    };
    EXPECT_EQ(tokens("\t\\\\N", allowAt(0)), "T \\ S(\\N) F 0");
    EXPECT_EQ(tokens("x\t\\", allowAt(0)), "S(x) T S(\\) F 0");
}

TEST(TextLexer, LinesMarksAndFieldLimit) {
    TempFile file("a\r\rb\r" + std::string(255, 'x') + "\r" + std::string(256, 'y') + "\r");
    FileRef ref = 0;
    ASSERT_EQ(FSpOpen(FSSpec::fromPath(file.path), FilePerm::readOnly, &ref), noErr);
    TextLexer lexer(ref);
    long n = 0;
    ASSERT_EQ(lexer.next(&n), kTokenString);
    // The CR after a field is pushed back: the line is not counted until the CR is the token.
    EXPECT_EQ(lexer.lineNumber(), 1);
    EXPECT_EQ(lexer.next(&n), kTokenEndOfLine);
    EXPECT_EQ(lexer.lineNumber(), 2);
    lexer.markLine();
    EXPECT_EQ(lexer.markedLine(), 2);
    EXPECT_EQ(lexer.markedLineStart(), 2);
    EXPECT_EQ(lexer.next(&n), kTokenEndOfLine);
    EXPECT_EQ(lexer.next(&n), kTokenString);
    EXPECT_EQ(lexer.next(&n), kTokenEndOfLine);
    ASSERT_EQ(lexer.next(&n), kTokenString); // 255 characters: still a field
    EXPECT_EQ(lexer.tokenText().size(), 255u);
    EXPECT_EQ(lexer.next(&n), kTokenEndOfLine);
    EXPECT_EQ(lexer.lineNumber(), 5);
    // 256 characters stop the import with code 3; end of input from then on.
    EXPECT_EQ(lexer.next(&n), kTokenEndOfInput);
    EXPECT_EQ(lexer.errorCode(), kImportFieldTooLong);
    EXPECT_TRUE(lexer.aborted());
    EXPECT_EQ(lexer.next(&n), kTokenEndOfInput);
    lexer.abort(kImportSyntax); // only the first code counts
    EXPECT_EQ(lexer.errorCode(), kImportFieldTooLong);
    FSClose(ref);
}
