// The text import: the input/expected pairs of tests/data/textfmt (every message there is the
// string table's text, compared exactly), and the ways an import fails.
#include "textfmt_support.h"
#include "toolbox/core/StringTable.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace textfmt_test;

namespace {

// TABs as arrows, CR LF as a line break, other control characters spelled out.
std::string visible(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += '\n';
            ++i;
        } else if (c == '\t') {
            out += "\u2192";
        } else if (c == '\r') {
            out += "<CR>";
        } else if (c == '\n') {
            out += "<LF>";
        } else if (c < 32 || c >= 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
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

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

// Each NAME.txt is imported; the result must equal NAME.expected. OK_BLESS=1 rewrites the
// expected files (review the difference before committing it).
TEST(TextImport, DataFiles) {
    const std::filesystem::path dir = std::filesystem::path(OK_TEST_DATA_DIR) / "textfmt";
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".txt") inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    ASSERT_GE(inputs.size(), 10u);
    const bool bless = std::getenv("OK_BLESS") != nullptr;
    for (const auto& input : inputs) {
        ImportRun run;
        run.result = importText(input.string(), run.sink, &run.reporter);
        const std::string actual = describe(run);
        auto expectedPath = input;
        expectedPath.replace_extension(".expected");
        if (bless) {
            std::ofstream(expectedPath, std::ios::binary) << actual;
            continue;
        }
        EXPECT_EQ(actual, readFile(expectedPath)) << "for " << input.filename();
    }
}

TEST(TextImport, FailuresKeepWhatWasStored) {
    const std::string three = "P1,U,S\r\t1,0\rP2,U,S\r\t2,0\rP3,U,S\r\t3,0\r";
    {
        // A write error is reported once as a file error and ends the import with code 1.
        ImportRun run;
        run.sink.failAt = 2;
        run.sink.failWith = dskFulErr;
        importBytes(three, &run);
        EXPECT_EQ(run.result.code, kImportErrorShown);
        EXPECT_EQ(run.sink.images.size(), 1u);
        EXPECT_EQ(run.reporter.fileErrors, std::vector<OSErr>{dskFulErr});
        EXPECT_TRUE(run.reporter.errors.empty());
    }
    {
        // Out of memory while storing: code 8, reported with the marked line (P2 ends when the
        // next header is read).
        ImportRun run;
        run.sink.failAt = 2;
        run.sink.failWith = memFullErr;
        importBytes(three, &run);
        EXPECT_EQ(run.result.code, kImportNoMemory);
        EXPECT_EQ(run.sink.images.size(), 1u);
        ASSERT_EQ(run.reporter.errors.size(), 1u);
        EXPECT_EQ(run.reporter.errors[0].message.str(), "Not enough memory available to continue.");
        EXPECT_EQ(run.reporter.errors[0].lineNumber, 5);
        EXPECT_EQ(run.reporter.errors[0].lineText, "P3,U,S");
    }
    {
        // A failing read mid-text is a file error too; what was complete before stays stored.
        std::string big;
        for (int i = 0; i < 100; ++i)
            big += "P" + std::to_string(i) + ",U,S\r\t1,0\r";
        TempFile text(big);
        ImportRun run;
        FileFault fault;
        fault.call = FileCall::read;
        fault.nth = 3;
        ArmFileFault(fault);
        run.result = importText(text.path, run.sink, &run.reporter);
        DisarmFileFaults();
        EXPECT_EQ(run.result.code, kImportErrorShown);
        EXPECT_EQ(run.reporter.fileErrors, std::vector<OSErr>{FileFault::ioErrFail});
        EXPECT_GT(run.sink.images.size(), 0u);
        EXPECT_LT(run.sink.images.size(), 100u);
    }
}
