// A text imported in pieces on worker threads must give exactly what the import in line gives:
// the same Packages in the same order, the same reports with the same lines, the same result.
// Compared over generated texts full of the problems a librarian's text can have, cut into
// pieces of a few dozen bytes so that pieces start and end next to every kind of line. What the
// import stores, exported and imported again, comes back as it was.
#include "model/Image.h"
#include "tests/support/Files.h"
#include "tests/support/Import.h"
#include "textfmt/Import.h"

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

Outcome importWith(const std::string& path, const ImportTuning& tuning, OSErr failWith = noErr,
                   int failAt = 0) {
    TranscriptSink sink;
    sink.failWith = failWith;
    sink.failAt = failAt;
    TranscriptReporter reporter(&sink.transcript);
    Outcome o;
    o.result = importText(path, sink, &reporter, tuning);
    o.transcript = std::move(sink.transcript);
    o.viaImages = sink.viaImages;
    return o;
}

ImportTuning inLine() {
    ImportTuning t;
    t.threads = -1;
    return t;
}

ImportTuning inPieces(long bytes) {
    ImportTuning t;
    t.pieceBytes = bytes;
    t.minBytes = 0;
    t.threads = 2;
    return t;
}

// A text of packages with lines ending in CR LF, CR or LF and the byte 255 among the characters,
// and, now and then, every kind of trouble: packages without sections, lines too long, pair
// counts that do not match, numbers beyond 32 bits, blank lines, spaces, commas and TABs mixed,
// Class ID 0, headers of name and prefix alone or ending after a separator, a line starting with
// a backslash, and rarely something that stops the import (a syntax error, a 256-character
// field).
std::string generateText(std::mt19937& rng, int packages) {
    auto roll = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto word = [&](int maxLength) {
        static const std::string chars = "ABCXYZabc0123456789-_\xff\\ ";
        std::string w(1, chars[std::size_t(roll(0, int(chars.size()) - 3))]); // not a blank
        for (int n = roll(0, maxLength - 1); n > 0; --n)
            w += chars[std::size_t(roll(0, int(chars.size()) - 1))];
        return w;
    };
    auto sep = [&] { return roll(0, 2) ? std::string("\t") : std::string(","); };
    auto eol = [&] {
        static const char* kinds[] = {"\r\n", "\r\n", "\r\n", "\r", "\n"};
        return std::string(kinds[roll(0, 4)]);
    };
    std::string t;
    for (int p = 0; p < packages; ++p) {
        if (roll(0, 15) == 0) t += eol();
        if (roll(0, 10) == 0) t += " ";
        t += word(10) + sep() + word(3);
        const int shapes = roll(0, 5);
        for (int s = 0; s < shapes; ++s)
            t += sep() + (roll(0, 4) ? word(6) : "");
        if (shapes == 0 && roll(0, 1)) t += sep(); // an empty shape field, else none
        t += eol();
        const int sections = roll(0, 12) == 0 ? 0 : roll(1, 3); // code 5
        for (int n = sections == 0 || roll(0, 8) == 0 ? 2 : roll(0, 1); n > 0; --n) {
            t += sep() + "\\" + word(5);
            for (int k = roll(1, 4); k > 0; --k)
                t += sep() + (roll(0, 30) ? word(4) : std::string(200, 'N')); // code 6
            t += eol();
        }
        for (int s = 0; s < sections; ++s) {
            const int pairs = roll(0, 3);
            const int announced = roll(0, 10) == 0 ? pairs + 1 : pairs; // code 7
            const std::string id = roll(0, 80) == 0   ? "3000000000"    // code 9
                                   : roll(0, 20) == 0 ? "0"
                                                      : std::to_string(roll(1, 9000));
            t += sep() + id + sep() + std::to_string(announced);
            for (int k = 0; k < pairs; ++k)
                t += sep() + (roll(0, 40) ? word(3) : std::string(130, 'P')) + sep() + word(3);
            t += eol();
            if (roll(0, 8) == 0) t += eol(); // a blank line
        }
        switch (roll(0, 400)) {
        case 0:
            t += "\t\\LATE,1\r"; // a net line after a section line: a syntax error
            break;
        case 1:
            t += std::string(256, 'F') + "\r"; // a field too long
            break;
        case 2:
            t += "\\ODD" + sep() + "B" + sep() + "S\r"; // starts with a backslash: a field
            break;
        default:
            break;
        }
    }
    return t;
}

TEST(TextImportPieces, SameAsInLineOverGeneratedTexts) {
    std::mt19937 rng(20261205);
    long pieceWork = 0;
    for (int round = 0; round < 160; ++round) {
        TempFile text(generateText(rng, 10 + round % 50));
        const Outcome expected = importWith(text.path, inLine());
        EXPECT_EQ(expected.viaImages, 0);
        for (long bytes : {16L, 64L, 250L, 1000L}) {
            const Outcome got = importWith(text.path, inPieces(bytes));
            ASSERT_EQ(got.transcript, expected.transcript) << "round " << round << ", " << bytes;
            EXPECT_EQ(got.result.code, expected.result.code);
            EXPECT_EQ(got.result.packagesStored, expected.result.packagesStored);
            EXPECT_EQ(got.result.problemsReported, expected.result.problemsReported);
            pieceWork += got.viaImages;
        }
        // Through the import, the export and the import again, the text stays as it is (a text
        // of no Package at all is "Syntax." by the grammar's rules).
        ImportRun once, twice;
        once.result = importText(text.path, once.sink, &once.reporter);
        if (once.sink.text(true).empty()) continue;
        importBytes(once.sink.text(true), &twice);
        EXPECT_EQ(twice.result.code + twice.result.problemsReported, 0) << "round " << round;
        ASSERT_EQ(twice.sink.text(true), once.sink.text(true)) << "round " << round;
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
            const Outcome expected = importWith(text.path, inLine(), err, failAt);
            const Outcome got = importWith(text.path, inPieces(300), err, failAt);
            EXPECT_EQ(got.transcript, expected.transcript) << err << " at " << failAt;
            EXPECT_EQ(got.result.code, expected.result.code);
            EXPECT_EQ(got.result.packagesStored, failAt - 1);
        }
    }
    // A file call failing anywhere (reading the pieces, moving back for the rest, reading a
    // report's line) never stores a Package twice or out of order: the import either recovers
    // and gives everything, or fails with a file error after a first part of the Packages.
    const Outcome whole = importWith(text.path, inPieces(300));
    ASSERT_EQ(whole.result.packagesStored, 200);
    const long calls = countFileCalls(FileCall::any, [&] { importWith(text.path, inPieces(300)); });
    EXPECT_GT(calls, 15);
    for (long nth = 1; nth <= calls; ++nth) {
        Outcome got;
        {
            ScopedFileFault fault(failingCall(FileCall::any, nth));
            got = importWith(text.path, inPieces(300));
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
    EXPECT_EQ(importWith(oneLine.path, inPieces(64)).transcript,
              importWith(oneLine.path, inLine()).transcript);
}

} // namespace
