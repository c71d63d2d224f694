// The text import: the input/expected pairs of tests/data/textfmt (every message there is the
// string table's text, compared exactly), and a store that fails. (A read that fails is in the
// pieces test's sweep over every file call.)
#include "tests/support/Files.h"
#include "tests/support/Import.h"
#include "toolbox/core/StringTable.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace test_support;

namespace {

// TABs as arrows, CR LF as a line break, other control characters spelled out.
std::string visible(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = text[i];
        char hex[8];
        std::snprintf(hex, sizeof hex, "<%02X>", c);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += c == '\t'                      ? "\u2192"
               : c == '\r' && text[i] == '\n' ? "\n"
               : c == '\r'                    ? "<CR>"
               : c == '\n'                    ? "<LF>"
               : c < 32 || c >= 127           ? hex
                                              : std::string(1, char(c));
    }
    return out;
}

// What an import did: its result, each report, then the text of every stored Package.
std::string describe(const ImportRun& run) {
    std::string out = "result " + std::to_string(run.result.code) + " stored " +
                      std::to_string(run.result.packagesStored) + " problems " +
                      std::to_string(run.result.problemsReported) + "\n";
    for (const ImportError& e : run.reporter.errors) {
        out += std::to_string(e.code) + " line " + std::to_string(e.lineNumber) + ": " +
               e.message.str();
        if (!e.parserText.empty()) out += " [" + e.parserText + "]";
        out += " | " + visible(e.lineText) + "\n";
    }
    for (OSErr err : run.reporter.fileErrors)
        out += "file error " + std::to_string(err) + "\n";
    out += "--\n" + visible(run.sink.text());
    return out;
}

} // namespace

// Each NAME.txt is imported; the result must equal NAME.expected, written by hand (the README
// there says how each one follows from its input).
TEST(ImportDataFiles, EachGivesTheExpectedResult) {
    const std::filesystem::path dir = std::filesystem::path(OK_TEST_DATA_DIR) / "textfmt";
    int cases = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".txt") continue;
        ImportRun run;
        run.result = importText(entry.path().string(), run.sink, &run.reporter);
        std::filesystem::path expected = entry.path();
        EXPECT_EQ(describe(run), readText(expected.replace_extension(".expected").string()))
            << entry.path().filename();
        ++cases;
    }
    EXPECT_GE(cases, 25);
}

// A store that fails on the second of three Packages keeps the first. A write error is reported
// once as a file error and ends the import with code 1; running out of memory ends it with code 8,
// reported with the marked line (P2 ends when the next header is read).
TEST(TextImport, AFailingStoreKeepsWhatWasStored) {
    for (OSErr failWith : {dskFulErr, memFullErr}) {
        ImportRun run;
        run.sink.failAt = 2;
        run.sink.failWith = failWith;
        importBytes("P1,U,S\r\t1,0\rP2,U,S\r\t2,0\rP3,U,S\r\t3,0\r", &run);
        EXPECT_EQ(run.sink.images.size(), 1u);
        const bool disk = failWith == dskFulErr;
        EXPECT_EQ(run.result.code, disk ? kImportErrorShown : kImportNoMemory);
        EXPECT_EQ(run.reporter.fileErrors,
                  disk ? std::vector<OSErr>{dskFulErr} : std::vector<OSErr>{});
        ASSERT_EQ(run.reporter.errors.size(), disk ? 0u : 1u);
        if (disk) continue;
        EXPECT_EQ(run.reporter.errors[0].message.str(), "Not enough memory available to continue.");
        EXPECT_EQ(run.reporter.errors[0].lineNumber, 5);
        EXPECT_EQ(run.reporter.errors[0].lineText, "P3,U,S");
    }
}
