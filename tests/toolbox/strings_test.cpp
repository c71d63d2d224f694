#include "toolbox/core/CodePage.h"
#include "toolbox/core/FieldText.h"
#include "toolbox/core/StringTable.h"
#include "toolbox/core/Strings.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

TEST(Strings, NaturalOrder) {
    EXPECT_GT(NaturalCompare("Pkg10", "Pkg9"), 0);
    EXPECT_EQ(NaturalCompare("Pkg007", "pkg7"), 0); // leading zeros, case
    EXPECT_LT(NaturalCompare("pkg007", "PKG8"), 0);
    EXPECT_LT(NaturalCompare("a10b2", "A10B10"), 0); // later runs decide
    EXPECT_LT(NaturalCompare("Pkg", "Pkg1"), 0);     // a prefix sorts first
    EXPECT_LT(NaturalCompare("99999999999999999998", "99999999999999999999"), 0); // no overflow
    std::vector<std::string> titles{"pkg10", "Pkg2", "PKG1", "pkg02b", "abc"};
    std::sort(titles.begin(), titles.end(),
              [](const auto& a, const auto& b) { return NaturalCompare(a, b) < 0; });
    EXPECT_EQ(titles, (std::vector<std::string>{"abc", "PKG1", "Pkg2", "pkg02b", "pkg10"}));
}

// Every byte is its own character and comes back from it: text goes to Unicode and back whole.
TEST(Strings, CodePage) {
    std::vector<char16_t> seen;
    for (int b = 0; b < 256; ++b) {
        seen.push_back(CodePageChar(static_cast<unsigned char>(b)));
        EXPECT_EQ(CodePageByte(seen.back()), b);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(CodePageByte(0x2603), -1); // a snowman has no byte
    // A, the euro sign, an unassigned byte, y-diaeresis at 0x9F and e-acute.
    EXPECT_EQ(CodePageToUtf8("A\x80\x81\x9F\xE9"), "A\u20AC\u0081\u0178\u00E9");
}

// The utilities the program uses (the others of Strings.h have no caller).
TEST(Strings, LengthPrefixedUtilities) {
    Str255 s(std::string(300, 'x'));
    EXPECT_EQ(s.length(), 255);
    Str255 t = "  Mixed Case  ";
    PStrTrim(t);
    PStrUpper(t);
    EXPECT_EQ(t.str(), "MIXED CASE");
    EXPECT_EQ(PStrCompare("abc", "ABC", true), 0);
    EXPECT_EQ(PStrCompare("abc", "ABC", false), 1);
    EXPECT_EQ(PStrCompare("ab", "abc", true), -1);

    long n = 0;
    EXPECT_TRUE(StringToNum("-42", &n));
    EXPECT_EQ(n, -42);
    EXPECT_TRUE(StringToNum(" 7 ", &n));
    EXPECT_EQ(n, 7);
    EXPECT_FALSE(StringToNum("12a", &n));
    EXPECT_FALSE(StringToNum("-", &n));
    EXPECT_FALSE(StringToNum("99999999999999999999", &n));

    // Eight rotating buffers: eight conversions stay valid at once.
    const char* c[8];
    for (int i = 0; i < 8; ++i)
        c[i] = PToCStr(NumToString(i - 1));
    for (int i = 0; i < 8; ++i)
        EXPECT_STREQ(c[i], std::to_string(i - 1).c_str());
}

TEST(FieldText, MissingFieldsAndGrowth) {
    UniqueHandle h(NewHandle(0));
    EXPECT_TRUE(GetField(h.get(), 1).empty());
    ASSERT_EQ(SetField(h.get(), 3, "C"), noErr);
    EXPECT_EQ(std::string(h.data(), h.size()), "\t\tC");
    ASSERT_EQ(SetField(h.get(), 1, "Name"), noErr);
    ASSERT_EQ(SetField(h.get(), 2, "U"), noErr);
    ASSERT_EQ(SetField(h.get(), 5, "E"), noErr);
    EXPECT_EQ(std::string(h.data(), h.size()), "Name\tU\tC\t\tE");
    ASSERT_EQ(SetField(h.get(), 3, ""), noErr);
    EXPECT_EQ(std::string(h.data(), h.size()), "Name\tU\t\t\tE");
    EXPECT_EQ(GetField(h.get(), 5).str(), "E");
    EXPECT_TRUE(GetField(h.get(), 6).empty());
    EXPECT_TRUE(GetField(h.get(), 0).empty());
    EXPECT_TRUE(GetField(nullptr, 1).empty());

    std::string longField(300, 'z');
    ASSERT_EQ(SetField(h.get(), 1, longField), noErr);
    EXPECT_EQ(GetField(h.get(), 1).length(), 255);
    EXPECT_EQ(GetFieldView(h.data(), h.size(), 1).size(), 300u);
    EXPECT_EQ(GetFieldView(h.data(), h.size(), 2), "U");
}

// Lists by index (an index below 1 gives the first), their ends, and the error texts of the
// alerts: known codes, codes masked to 25 bits, numbers for the others (none for no error or a
// cancel is the alert test's).
TEST(StringTable, ListsAndErrorTexts) {
    EXPECT_EQ(GetIndString(StringListId::messages, -5).str(), "Create New Package");
    EXPECT_TRUE(GetIndString(StringListId::shapeLabels, 11).empty());
    EXPECT_EQ(GetIndString(StringListId::messages, 12).str(),
              "A package must have a valid name and reference designator prefix.  If you "
              "proceed, the package will be deleted.");
    EXPECT_TRUE(GetIndString(StringListId::messages, 13).empty());

    EXPECT_EQ(ErrorText(fnfErr), "Error:  File not found.");
    EXPECT_EQ(ErrorText(0x20002AF8), "Error:  Bad file signature.");
    EXPECT_EQ(ErrorText(0x1008), "Error:  No printer selected.");
    EXPECT_EQ(ErrorText(1234), "Error:  #1234");
    EXPECT_EQ(ErrorText(0x20001234), "Error:  #4660"); // masked to the low 25 bits
    EXPECT_EQ(ErrorText(-43), "Error:  #-43");
    EXPECT_EQ(ErrorMessage(eofErr), "Read past end of file.");
    EXPECT_TRUE(ErrorMessage(1234).empty());
}
