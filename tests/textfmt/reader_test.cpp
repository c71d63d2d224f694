// The read-ahead beneath the import's lexer: requests are answered exactly as FSRead would answer
// them, and a read error comes after every byte read before it.
#include "tests/support/Files.h"
#include "textfmt/TextFileReader.h"

#include <gtest/gtest.h>
#include <memory>

using namespace test_support;

namespace {

// The answers to 512-byte requests until one brings no bytes: code, count and bytes of each.
template <class Read> std::vector<std::string> answers(const std::string& path, Read read) {
    FileRef ref = 0;
    if (FSpOpen(FSSpec::fromPath(path), FilePerm::readOnly, &ref) != noErr) return {"open!"};
    std::vector<std::string> out;
    for (;;) {
        char buffer[512];
        long count = sizeof buffer;
        const OSErr err = read(ref, &count, buffer);
        out.push_back(std::to_string(err) + " " + std::string(buffer, std::size_t(count)));
        if (count == 0) break;
    }
    FSClose(ref);
    return out;
}

// The same answers from a reader reading ahead.
std::vector<std::string> readerAnswers(const std::string& path) {
    std::unique_ptr<TextFileReader> reader;
    return answers(path, [&](FileRef ref, long* count, void* buffer) {
        if (!reader) reader = std::make_unique<TextFileReader>(ref);
        return reader->read(count, buffer);
    });
}

} // namespace

// Sizes around the 512-byte requests and the reader's growing blocks.
TEST(TextFileReader, AnswersAsFSReadDoes) {
    for (long size : {0L, 1L, 511L, 512L, 513L, 1536L, 1543L, 65535L, 65536L, 200003L}) {
        std::string bytes(std::size_t(size), '\0');
        for (long i = 0; i < size; ++i)
            bytes[std::size_t(i)] = char('a' + i % 23);
        TempFile file(bytes);
        EXPECT_EQ(readerAnswers(file.path), answers(file.path, FSRead)) << size;
    }
}

TEST(TextFileReader, AnErrorComesAfterTheBytesBeforeIt) {
    // Blocks of 512, 1024, 2048 ... bytes: the third read of the file fails, after 1536 bytes.
    TempFile file(std::string(5000, 'x'));
    ScopedFileFault fault(failingCall(FileCall::read, 3));
    const auto got = readerAnswers(file.path);
    const std::string full = "0 " + std::string(512, 'x');
    EXPECT_EQ(got, (std::vector<std::string>{full, full, full, "5 "}));
}
