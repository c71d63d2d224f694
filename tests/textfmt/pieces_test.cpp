// A text imported in pieces on worker threads must give exactly what the import in line gives:
// the same Packages in the same order, the same reports with the same lines, the same result.
// Compared over generated texts full of the problems a librarian's text can have, cut into
// pieces of a few dozen bytes so that pieces start and end next to every kind of line. The quick
// reading of a piece must log exactly what the parser logs for it, and may only take a piece the
// parser takes: compared piece by piece over the same kind of texts.
#include "model/Image.h"
#include "tests/support/Files.h"
#include "textfmt/Import.h"
#include "textfmt/ImportParser.h"
#include "textfmt/QuickPiece.h"

#include <gtest/gtest.h>
#include <random>

using namespace test_support;

namespace {

// Writes down everything the import does, in order.
struct TranscriptSink : PackageSink {
    std::string transcript;
    long viaImages = 0;
    OSErr failWith = noErr; // returned for the Package numbered failAt (from 1)
    int failAt = 0;
    int stored = 0;

    bool takesImages() const override { return true; }
    OSErr storePackage(PackageRecord& pkg) override {
        UniqueHandle image;
        if (OSErr err = flattenPackage(pkg, &image)) return err;
        return keep(reinterpret_cast<const unsigned char*>(image.data()), image.size(),
                    TrimBlanks(packageFieldView(pkg, kFieldPackageName)));
    }
    OSErr storeImage(const unsigned char* image, Size size, std::string_view name) override {
        ++viaImages;
        return keep(image, size, name);
    }
    OSErr keep(const unsigned char* image, Size size, std::string_view name) {
        if (failAt && stored + 1 == failAt) return failWith;
        ++stored;
        transcript += "P " + std::string(name) + " " +
                      std::string(reinterpret_cast<const char*>(image), std::size_t(size)) + "\n";
        return noErr;
    }
};

struct TranscriptReporter : ImportReporter {
    std::string* transcript;
    explicit TranscriptReporter(std::string* t) : transcript(t) {}
    void importError(const ImportError& e) override {
        *transcript += "E " + std::to_string(e.code) + " " + std::to_string(e.lineNumber) + " [" +
                       e.lineText + "] " + e.message.str() + " " + e.parserText + "\n";
    }
    void fileError(OSErr err) override { *transcript += "F " + std::to_string(err) + "\n"; }
};

struct Outcome {
    std::string transcript;
    ImportResult result;
    long viaImages = 0;
};

// pieceBytes 0: the import in line; else in pieces of that many bytes on two threads.
Outcome importWith(const std::string& path, long pieceBytes, OSErr failWith = noErr,
                   int failAt = 0) {
    TranscriptSink sink;
    sink.failWith = failWith;
    sink.failAt = failAt;
    TranscriptReporter reporter(&sink.transcript);
    const ImportTuning tuning{
        .pieceBytes = pieceBytes, .minBytes = 0, .threads = pieceBytes ? 2 : -1};
    const ImportResult result = importText(path, sink, &reporter, tuning);
    return {std::move(sink.transcript), result, sink.viaImages};
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
std::string generateText(std::mt19937& rng, int packages,
                         std::vector<std::size_t>* headers = nullptr) {
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
        if (headers) headers->push_back(t.size());
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

TEST(TextImportPieces, SameAsInLineOverGeneratedTexts) {
    std::mt19937 rng(20261205);
    long pieceWork = 0;
    for (int round = 0; round < 200; ++round) {
        TempFile text(generateText(rng, 10 + round % 50));
        const Outcome expected = importWith(text.path, 0);
        EXPECT_EQ(expected.viaImages, 0);
        for (long bytes : {16L, 64L, 250L, 1000L}) {
            const Outcome got = importWith(text.path, bytes);
            ASSERT_EQ(got.transcript, expected.transcript) << "round " << round << ", " << bytes;
            EXPECT_EQ(got.result.code, expected.result.code);
            EXPECT_EQ(got.result.packagesStored, expected.result.packagesStored);
            EXPECT_EQ(got.result.problemsReported, expected.result.problemsReported);
            pieceWork += got.viaImages;
        }
    }
    // The comparison means something only if most Packages came through pieces.
    EXPECT_GT(pieceWork, 5000);
}

TEST(TextImportPieces, FailuresMidwayLoseAndRepeatNothing) {
    std::string clean;
    for (int i = 0; i < 200; ++i)
        clean +=
            "PKG" + std::to_string(i) + ",U,DIP\r\n\t" + std::to_string(100 + i) + ",1,1,2\r\n";
    TempFile text(clean);
    for (OSErr err : {memFullErr, dskFulErr}) {
        for (int failAt : {1, 37, 150, 200}) {
            const Outcome expected = importWith(text.path, 0, err, failAt);
            const Outcome got = importWith(text.path, 300, err, failAt);
            EXPECT_EQ(got.transcript, expected.transcript) << err << " at " << failAt;
            EXPECT_EQ(got.result.code, expected.result.code);
            EXPECT_EQ(got.result.packagesStored, failAt - 1);
        }
    }
    // A file call failing anywhere (reading the pieces, moving back for the rest, reading a
    // report's line) never stores a Package twice or out of order: the import either recovers
    // and gives everything, or fails with a file error after a first part of the Packages.
    const Outcome whole = importWith(text.path, 300);
    ASSERT_EQ(whole.result.packagesStored, 200);
    const long calls = countFileCalls(FileCall::any, [&] { importWith(text.path, 300); });
    EXPECT_GT(calls, 15);
    for (long nth = 1; nth <= calls; ++nth) {
        Outcome got;
        {
            ScopedFileFault fault(failingCall(FileCall::any, nth));
            got = importWith(text.path, 300);
        }
        if (got.result.ok()) {
            EXPECT_EQ(got.transcript, whole.transcript) << "call " << nth;
        } else {
            EXPECT_EQ(got.result.code, kImportErrorShown) << "call " << nth;
            const std::size_t f = got.transcript.rfind("F ");
            ASSERT_NE(f, std::string::npos) << "call " << nth;
            EXPECT_EQ(got.transcript.substr(f), "F " + std::to_string(FileFault::ioErrFail) + "\n");
            EXPECT_EQ(whole.transcript.compare(0, f, got.transcript, 0, f), 0) << "call " << nth;
        }
    }
    // A text without a CR is one line and cannot be cut: it is parsed in line.
    TempFile oneLine(std::string(5000, 'A'));
    EXPECT_EQ(importWith(oneLine.path, 64).transcript, importWith(oneLine.path, 0).transcript);
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
            const auto* bytes = reinterpret_cast<const unsigned char*>(piece.data());
            PieceLog quickLog, parsedLog;
            const bool quick = parsePieceQuickly(bytes, long(piece.size()), start, &quickLog);
            ImportParser parser(bytes, long(piece.size()), start, nextIsBackslash, &parsedLog);
            const bool parsed = parser.runPiece();
            ++pieces;
            if (!quick) {
                left += parsed;
                continue;
            }
            ++taken;
            ASSERT_TRUE(parsed) << "round " << round << ": [" << piece << "]";
            ASSERT_EQ(describe(quickLog), describe(parsedLog))
                << "round " << round << ": [" << piece << "]";
        }
    }
    // Both sides of the comparison happen often: pieces taken quickly, and pieces the parser
    // takes that the quick reading leaves to it.
    EXPECT_GT(taken, pieces / 8);
    EXPECT_GT(left, pieces / 40);
}

} // namespace
