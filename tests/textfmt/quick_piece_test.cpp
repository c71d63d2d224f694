// The quick reading of a piece must log exactly what the parser logs for it, and may only take a
// piece the parser takes. Compared piece by piece over generated texts that are mostly of the
// usual form, with every kind of line the quick reading must leave to the parser mixed in.
#include "model/ByteOrder.h"
#include "tests/support/Files.h"
#include "textfmt/ImportParser.h"
#include "textfmt/QuickPiece.h"

#include <gtest/gtest.h>
#include <random>

using namespace test_support;

namespace {

struct Parsed {
    bool taken = false;
    PieceLog log;
};

Parsed quickly(const std::string& text, long start) {
    Parsed p;
    p.taken = parsePieceQuickly(reinterpret_cast<const unsigned char*>(text.data()),
                                long(text.size()), start, &p.log);
    return p;
}

Parsed byParser(const std::string& text, long start, bool nextIsBackslash) {
    Parsed p;
    ImportParser parser(reinterpret_cast<const unsigned char*>(text.data()), long(text.size()),
                        start, nextIsBackslash, &p.log);
    p.taken = parser.runPiece();
    return p;
}

// Everything a log holds, in words, so that a difference shows where it is.
std::string describe(const PieceLog& log) {
    std::string s = "lines " + std::to_string(log.lines) + "\n";
    const auto* bytes = reinterpret_cast<const char*>(log.bytes.data());
    for (const PieceEvent& e : log.events) {
        s += "code " + std::to_string(e.code) + " line " + std::to_string(e.markedLine) + " at " +
             std::to_string(e.markedStart) + " [" + std::string(bytes + e.name, e.nameSize) + "] " +
             std::string(bytes + e.image, e.imageSize) + "\n";
    }
    return s;
}

// A text of packages, most of them of the usual form, with lines ending in CR LF, CR or LF and
// the byte 255 among the characters of fields; now and then a line or a field that only the
// parser may read: blanks before a token, headers without shape fields and with extra ones,
// fields of 255 and 256 characters, backslashes in names, Class ID 0 and repeated Class IDs,
// numbers beyond 32 bits, pins and pairs at the length limits, more than 26 sections, pair counts
// that do not match, packages without sections, blank lines where none belong and control
// characters. The start of each package's header line goes to *headers.
std::string generateText(std::mt19937& rng, int packages, std::vector<std::size_t>* headers) {
    auto roll = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto rare = [&](int oneIn) { return roll(1, oneIn) == 1; };
    auto word = [&](int maxLength) {
        static const std::string chars = "ABCXYZab019-_.\\\x01\xff ";
        std::string w(1, chars[std::size_t(roll(0, int(chars.size()) - 2))]); // not a blank
        for (int n = roll(0, maxLength - 1); n > 0; --n)
            w += chars[std::size_t(roll(0, int(chars.size()) - 1))];
        return w;
    };
    auto blanks = [&] {
        static const char* kinds[] = {" ", "\v", "\f", "  ", " \v"};
        return rare(12) ? std::string(kinds[roll(0, 4)]) : std::string();
    };
    auto sep = [&] { return (roll(0, 2) ? std::string("\t") : std::string(",")) + blanks(); };
    auto eol = [&] {
        static const char* kinds[] = {"\r\n", "\r\n", "\r", "\n"};
        return std::string(kinds[roll(0, 3)]);
    };
    auto number = [&] {
        if (rare(25)) return std::string(rare(2) ? "-" : rare(2) ? "2147483648" : "-2147483648");
        if (rare(25)) return "-" + std::to_string(roll(1, 50));
        return std::to_string(rare(20) ? 0 : roll(1, 40));
    };
    std::string t;
    for (int p = 0; p < packages; ++p) {
        headers->push_back(t.size());
        t += blanks();
        t += (rare(60) ? std::string(roll(254, 256), 'L') : word(12)) + sep() + word(3);
        const int shapes = rare(10) ? roll(5, 6) : roll(0, 4);
        for (int s = 0; s < shapes; ++s)
            t += sep() + (rare(6) ? std::string() : word(6));
        t += eol();
        const int nets = rare(15) ? 0 : roll(0, 2);
        for (int n = 0; n < nets; ++n) {
            t += sep() + "\\" + blanks() + word(5);
            for (int k = rare(60) ? 60 : roll(1, 4); k > 0; --k)
                t += sep() + word(4);
            t += eol();
            if (rare(100)) t += eol(); // a blank line after a net line: a syntax error
        }
        const int sections = rare(50) ? 0 : rare(80) ? 27 : roll(1, 3);
        for (int s = 0; s < sections; ++s) {
            const int pairs = rare(80) ? 40 : roll(0, 3);
            const std::string announced = rare(80) ? number() : std::to_string(pairs);
            t += sep() + number() + sep() + announced;
            for (int k = 0; k < pairs; ++k)
                t += sep() + word(3) + sep() + word(3);
            t += eol();
            if (rare(8)) t += blanks() + eol(); // a blank line after a section line
        }
        if (rare(300)) t += "\t\\LATE,1\r"; // a net line after a section line
    }
    return t;
}

// The positions just after each line end of text (after the LF of a CR LF), and 0.
std::vector<std::size_t> lineStarts(const std::string& text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            starts.push_back(i + 1);
    return starts;
}

TEST(QuickPiece, LogsWhatTheParserLogsAndTakesOnlyWhatItTakes) {
    std::mt19937 rng(20261207);
    long taken = 0, left = 0, pieces = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<std::size_t> headers;
        const std::string text = generateText(rng, 1 + round % 12, &headers);
        headers.push_back(text.size());
        const std::vector<std::size_t> starts = lineStarts(text);
        for (int cut = 0; cut < 12; ++cut) {
            // Mostly from a package's header line to another's, else from any line start.
            auto pick = [&](const std::vector<std::size_t>& from) {
                return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(rng)];
            };
            std::size_t from = pick(cut % 4 ? headers : starts),
                        to = pick(cut % 3 ? headers : starts);
            if (from > to) std::swap(from, to);
            if (cut == 0) from = 0, to = text.size(); // the whole text, perhaps without a last CR
            if (cut == 1 && to < text.size()) ++to;   // ends after the character after a line end
            const std::string piece = text.substr(from, to - from);
            const long start = long(from) + 1000;
            const bool nextIsBackslash = to < text.size() && text[to] == '\\';
            const Parsed quick = quickly(piece, start);
            const Parsed parsed = byParser(piece, start, nextIsBackslash);
            ++pieces;
            if (!quick.taken) {
                left += parsed.taken;
                continue;
            }
            ++taken;
            ASSERT_TRUE(parsed.taken) << "round " << round << ": [" << piece << "]";
            ASSERT_EQ(describe(quick.log), describe(parsed.log))
                << "round " << round << ": [" << piece << "]";
        }
    }
    // Both sides of the comparison happen often: pieces taken quickly, and pieces the parser
    // takes that the quick reading leaves to it.
    EXPECT_GT(taken, pieces / 8);
    EXPECT_GT(left, pieces / 40);
}

TEST(QuickPiece, ReadsTheExportLayoutAndLaysOutItsImage) {
    // The export's example package, a second one with a blank line, Class ID 0 and a Class ID
    // given twice, and a third of name and prefix alone, with a byte 255 in its name and LF line
    // ends; the piece starts at file position 500, in line 1 of its own count.
    const std::string rq = "R1,R,AX\r\n\t\\GND,7,8\r\n\t12,2\t1,2\t3,4\r\n"
                           "  Q 2 ,Q,,\r\t5,0\r\n\t0,1,A,B\r\t5,0\r\n\r";
    const std::string text = rq + "\xffN,P\n\t7,0\n";
    const Parsed p = quickly(text, 500);
    ASSERT_TRUE(p.taken);
    EXPECT_EQ(p.log.lines, 10);
    ASSERT_EQ(p.log.events.size(), 3u);

    // R1: header 8 bytes, one class entry {link 0, 15 to the section at 23, back -8}, the field
    // text "R1\tR\tAX" at 16, the section {12, 2 pairs, 7 bytes} at 23, the net {7 bytes} at 38.
    std::string r1(47, '\0');
    auto put16 = [](std::string& s, std::size_t at, std::uint16_t v) { putHost16(&s[at], v); };
    auto put32 = [](std::string& s, std::size_t at, std::uint32_t v) { putHost32(&s[at], v); };
    put16(r1, 0, 1), put16(r1, 2, 1), put16(r1, 4, 1), put16(r1, 6, 7);
    put16(r1, 12, 15), put16(r1, 14, 0xFFF8);
    r1.replace(16, 7, "R1\tR\tAX");
    put32(r1, 23, 12), put16(r1, 27, 2), put16(r1, 29, 7);
    r1.replace(31, 7, "1\t2\t3\t4");
    put16(r1, 38, 7);
    r1.replace(40, 7, "GND\t7\t8");
    const auto* bytes = reinterpret_cast<const char*>(p.log.bytes.data());
    const PieceEvent& a = p.log.events[0];
    EXPECT_EQ(std::string(bytes + a.image, a.imageSize), r1);
    EXPECT_EQ(std::string(bytes + a.name, a.nameSize), "R1");
    EXPECT_EQ(a.markedLine, 4); // the next header's line, after the 9 + 11 + 15 bytes of R1's
    EXPECT_EQ(a.markedStart, 500 + 35);

    // "Q 2 ": the two sections of Class ID 5 share one entry, the section of Class ID 0 is left
    // out; the field text "Q 2 \tQ\t\t" (the two shape fields empty) at 16; sections at 24 and 32.
    std::string q2(40, '\0');
    put16(q2, 0, 2), put16(q2, 2, 0), put16(q2, 4, 1), put16(q2, 6, 8);
    put16(q2, 12, 16), put16(q2, 14, 0xFFF8);
    q2.replace(16, 8, "Q 2 \tQ\t\t");
    put32(q2, 24, 5);
    put32(q2, 32, 5);
    const PieceEvent& b = p.log.events[1];
    EXPECT_EQ(std::string(bytes + b.image, b.imageSize), q2);
    EXPECT_EQ(std::string(bytes + b.name, b.nameSize), "Q 2");
    EXPECT_EQ(b.markedLine, 9);
    EXPECT_EQ(b.markedStart, 500 + long(rq.size()));

    // "\xffN", its image compared with the parser's by the test above.
    const PieceEvent& c = p.log.events[2];
    EXPECT_EQ(std::string(bytes + c.name, c.nameSize), "\xffN");
    EXPECT_EQ(c.markedLine, 11);
    EXPECT_EQ(c.markedStart, 500 + long(text.size()));

    // The same lines with a pair count that does not match, with a Class ID beyond 32 bits, and
    // without the last line end, are the parser's.
    std::string mismatch = text, beyond = text;
    mismatch.replace(mismatch.find("12,2"), 4, "12,3");
    beyond.replace(beyond.find("7,0"), 1, "2147483648");
    EXPECT_FALSE(quickly(mismatch, 0).taken);
    EXPECT_FALSE(quickly(beyond, 0).taken);
    EXPECT_FALSE(quickly(text.substr(0, text.size() - 1), 0).taken);
}

} // namespace
