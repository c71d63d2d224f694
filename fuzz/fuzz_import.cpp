// libFuzzer target for the text import: any bytes give success or a coded failure, never a crash,
// a hang or a leak, and every Package stored reads back as a consistent image that expands and
// flattens again to the same bytes. The text is imported twice, in line and cut into small
// pieces parsed on worker threads: both must store the same Packages and report the same things.
// The input read as one piece must give the quick reading of a piece the same log as the parser,
// whenever the quick reading takes it. What the import stored, as the export writes it, must
// import again without a report and export to the same text.
#include "model/Image.h"
#include "textfmt/Export.h"
#include "textfmt/Import.h"
#include "textfmt/ImportParser.h"
#include "textfmt/QuickPiece.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fuzz_import: %s\n", what);
    std::abort();
}

struct CheckingSink : PackageSink {
    std::string* transcript;
    std::string exported; // the text the export writes of the Packages stored
    explicit CheckingSink(std::string* t) : transcript(t) {}

    bool takesImages() const override { return true; }
    OSErr storeImage(const unsigned char* bytes, Size size, std::string_view name) override {
        UniqueHandle image(PtrToHand(bytes, size));
        if (!image) return memFullErr;
        return check(image, name);
    }
    OSErr storePackage(PackageRecord& pkg) override {
        UniqueHandle image;
        const OSErr err = flattenPackage(pkg, &image);
        if (err != noErr) return err; // a coded failure, as a write error would be
        return check(image, TrimBlanks(packageFieldView(pkg, kFieldPackageName)));
    }
    OSErr check(const UniqueHandle& image, std::string_view name) {
        *transcript += "P " + std::string(name) + " " + std::string(image.data(), image.size());
        std::string why;
        if (!imageIsConsistent(image.get(), &why)) fault(why.c_str());
        // The bytes as they go to the file and back.
        UniqueHandle copy(HandToHand(image.get()));
        if (!copy) return memFullErr;
        if (swapImageToFile(copy.data(), std::size_t(copy.size())) != noErr ||
            swapImageToHost(copy.data(), std::size_t(copy.size())) != noErr)
            fault("swap failed");
        PackageRecord back;
        if (expandImage(copy.get(), &back) != noErr) fault("expand failed");
        UniqueHandle again;
        if (flattenPackage(back, &again) != noErr) fault("flatten of the expanded image failed");
        if (again.size() != image.size() || std::string_view(again.data(), again.size()) !=
                                                std::string_view(image.data(), image.size()))
            fault("image changed on the way back");
        if (imageToText(image.get()).empty()) fault("stored image has no text");
        if (imageIsValid(image.get()))
            appendImageText(image.data(), std::size_t(image.size()), &exported);
        return noErr;
    }
};

struct CheckingReporter : ImportReporter {
    long lines = 1;
    std::string* transcript;
    explicit CheckingReporter(std::string* t) : transcript(t) {}
    void importError(const ImportError& e) override {
        *transcript += "E " + std::to_string(e.code) + " " + std::to_string(e.lineNumber) + " " +
                       e.lineText + "\n";
        const bool known = e.code == 2 || e.code == 3 || (e.code >= 5 && e.code <= 9);
        if (!known) fault("unknown code reported");
        if (e.lineNumber < 1 || e.lineNumber > lines) fault("line number out of range");
        if (e.lineText.size() > 255 || e.lineText.find_first_of("\r\n") != std::string::npos)
            fault("bad line text");
        if (e.message.empty()) fault("empty message");
    }
    void fileError(OSErr err) override { *transcript += "F " + std::to_string(err) + "\n"; }
};

bool sameLogs(const PieceLog& a, const PieceLog& b) {
    if (a.lines != b.lines || a.bytes != b.bytes || a.events.size() != b.events.size())
        return false;
    for (std::size_t i = 0; i < a.events.size(); ++i) {
        const PieceEvent &x = a.events[i], &y = b.events[i];
        if (x.code != y.code || x.markedLine != y.markedLine || x.markedStart != y.markedStart ||
            x.image != y.image || x.imageSize != y.imageSize || x.name != y.name ||
            x.nameSize != y.nameSize)
            return false;
    }
    return true;
}

// The input as a piece at file position 100: a piece the quick reading takes, the parser takes
// with the same log.
void comparePieceReadings(const std::uint8_t* data, std::size_t size) {
    PieceLog quick;
    if (!parsePieceQuickly(data, static_cast<long>(size), 100, &quick)) return;
    PieceLog parsed;
    ImportParser parser(data, static_cast<long>(size), 100, false, &parsed);
    if (!parser.runPiece()) fault("the parser refuses a piece the quick reading takes");
    if (!sameLogs(quick, parsed)) fault("the quick reading of a piece differs from the parser's");
}

std::string tempPath(const char* what) {
    return "/tmp/fuzz_import-" + std::to_string(getpid()) + what;
}

bool writeFile(const std::string& path, const void* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return true;
}

// The export of what an import stored, imported again: nothing reported, and the same text when
// exported once more.
void checkRoundTrip(const std::string& text) {
    static const std::string path = tempPath("-again.txt");
    if (text.empty() || !writeFile(path, text.data(), text.size())) return;
    std::string transcript;
    CheckingSink sink(&transcript);
    CheckingReporter reporter(&transcript);
    reporter.lines = LONG_MAX;
    const ImportResult r = importText(path, sink, &reporter);
    if (r.code == kImportNoMemory || r.code == kImportErrorShown) return; // no room to check
    if (!r.ok() || r.problemsReported != 0) fault("the export of what was stored does not import");
    if (sink.exported != text) fault("the export of what was stored changed on the way back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    comparePieceReadings(data, size);
    static const std::string path = tempPath(".txt");
    if (!writeFile(path, data, size)) return 0;
    // Lines end with CR LF, CR or LF.
    long lines = 1;
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] == '\n' || (data[i] == '\r' && (i + 1 == size || data[i + 1] != '\n'))) ++lines;
    std::string transcripts[2];
    ImportResult results[2];
    std::string exported;
    for (int run = 0; run < 2; ++run) {
        CheckingReporter reporter(&transcripts[run]);
        reporter.lines = lines;
        CheckingSink sink(&transcripts[run]);
        ImportTuning tuning;
        tuning.threads = run == 0 ? -1 : 2;
        tuning.minBytes = 0;
        tuning.pieceBytes = 24 + static_cast<long>(size % 40);
        results[run] = importText(path, sink, &reporter, tuning);
        if (run == 0) exported = std::move(sink.exported);
    }
    const ImportResult& r = results[0];
    const bool knownResult =
        r.code == 0 || r.code == 1 || r.code == 2 || r.code == 3 || r.code == 8;
    if (!knownResult) fault("unknown result code");
    if (transcripts[1] != transcripts[0] || results[1].code != r.code ||
        results[1].packagesStored != r.packagesStored ||
        results[1].problemsReported != r.problemsReported)
        fault("the import in pieces differs from the import in line");
    checkRoundTrip(exported);
    return 0;
}
