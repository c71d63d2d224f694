// qpk import TEXT OUT.qpk and qpk export IN.qpk OUT.txt (or - for standard output).
#include "cli/Command.h"
#include "model/Image.h"
#include "model/RecordFile.h"
#include "textfmt/Export.h"
#include "textfmt/Import.h"
#include "toolbox/core/Files.h"
#include "toolbox/core/StringTable.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using qpk::errorWords;

// A progress bar on stderr, drawn only when stderr is a terminal.
class ProgressBar {
public:
    explicit ProgressBar(const char* label) : label_(label), shown_(qpk::stderrIsTerminal()) {}
    ~ProgressBar() {
        if (shown_ && drawn_) std::fputc('\n', stderr);
    }
    void update(long done, long total) {
        if (!shown_ || total <= 0) return;
        const int percent = static_cast<int>(done >= total ? 100 : done * 100 / total);
        if (drawn_ && percent == last_) return;
        last_ = percent;
        drawn_ = true;
        char bar[41];
        const int filled = percent * 40 / 100;
        for (int i = 0; i < 40; ++i)
            bar[i] = i < filled ? '#' : '.';
        bar[40] = 0;
        std::fprintf(stderr, "\r%s [%s] %3d%%", label_, bar, percent);
        std::fflush(stderr);
    }

private:
    const char* label_;
    bool shown_;
    bool drawn_ = false;
    int last_ = -1;
};

// The offending line with TABs shown as arrows and other control characters as ^X.
std::string visibleLine(const std::string& line) {
    std::string out;
    for (unsigned char c : line) {
        if (c == '\t') {
            out += "\u2192";
        } else if (c < 32 || c == 127) {
            out += '^';
            out += static_cast<char>(c ^ 0x40);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Remembers the last write error, so a file error can be blamed on the right file.
class CliSink : public RecordFileSink {
public:
    using RecordFileSink::RecordFileSink;
    OSErr storePackage(PackageRecord& pkg) override {
        lastError = RecordFileSink::storePackage(pkg);
        return lastError;
    }
    // A large text is parsed in pieces, whose Packages arrive here already flattened.
    OSErr storeImage(const unsigned char* image, Size size, std::string_view name) override {
        lastError = RecordFileSink::storeImage(image, size, name);
        return lastError;
    }
    // The last block of records reaches the disk here: its failure is the output file's too.
    OSErr finish() override {
        lastError = RecordFileSink::finish();
        return lastError;
    }
    OSErr lastError = noErr;
};

class CliReporter : public ImportReporter {
public:
    CliReporter(const std::string& textPath, const std::string& outPath, const CliSink& sink)
        : textPath_(textPath), outPath_(outPath), sink_(sink), bar_("import") {}
    void importError(const ImportError& e) override {
        std::string message = e.message.str();
        if (!e.parserText.empty() && e.parserText != "syntax error")
            message += " (" + e.parserText + ")";
        std::fprintf(stderr, "%s:%ld: %s\n    %s\n", textPath_.c_str(), e.lineNumber,
                     message.c_str(), visibleLine(e.lineText).c_str());
    }
    void fileError(OSErr err) override {
        qpk::reportError(err == sink_.lastError ? outPath_ : textPath_, errorWords(err));
    }
    void progress(long done, long total) override { bar_.update(done, total); }

private:
    const std::string& textPath_;
    const std::string& outPath_;
    const CliSink& sink_;
    ProgressBar bar_;
};

int runImport(const qpk::Invocation& in) {
    const std::string& textPath = in.args[0];
    const std::string& outPath = in.args[1];
    if (FSpSameFile(FSSpec::fromPath(textPath), FSSpec::fromPath(outPath))) {
        qpk::reportError(outPath, "You cannot replace the original file!");
        return qpk::kExitBadInput;
    }
    // The text must be readable before the package file replaces anything.
    FileRef probe = 0;
    OSErr err = FSpOpen(FSSpec::fromPath(textPath), FilePerm::readOnly, &probe);
    if (err != noErr) {
        qpk::reportError(textPath, errorWords(err));
        return qpk::kExitBadInput;
    }
    FSClose(probe);

    std::unique_ptr<RecordFile> records;
    err = RecordFile::create(outPath, "RHWQ", "QPK", "QPKG", 0);
    if (err == noErr) err = RecordFile::open(outPath, FilePerm::readWrite, &records);
    // A new file, filled from the start: it goes without a journal, and a failed import leaves
    // what it wrote.
    if (err == noErr) err = records->setJournaling(Journaling::off);
    if (err != noErr) {
        qpk::reportError(outPath, qpk::fileErrorWords(err, outPath));
        return qpk::kExitBadInput;
    }

    CliSink sink(*records);
    ImportResult result;
    {
        CliReporter reporter(textPath, outPath, sink);
        result = importText(textPath, sink, &reporter);
    }
    if (!result.ok()) {
        // Keep what was written so far, exactly as it was written.
        records->setReadOnly();
        records->close();
        return qpk::kExitBadInput;
    }
    // The file is new and whole here: it closes without waiting for the disk, as cp's copy does.
    err = records->rebuildClassIndex();
    if (err == noErr) err = records->close(CloseSync::none);
    if (err != noErr) {
        qpk::reportError(outPath, errorWords(err));
        return qpk::kExitBadInput;
    }
    return qpk::kExitOk;
}

// The export to standard output, for a textconv driver of git: the same text as the export to
// a file, written as the records stream past. No progress bar: the terminal is the caller's.
OSErr exportToStandardOutput(RecordFile& records) {
    std::string text;
    OSErr err = noErr;
    auto writeOut = [&] {
        long count = static_cast<long>(text.size());
        err = count ? FSWrite(STDOUT_FILENO, &count, text.data()) : noErr;
        text.clear();
    };
    const OSErr scanned =
        records.scanRecords(kRecordPackage, [&](const RecordInfo& info, const unsigned char* data) {
            // A malformed or invalid image is skipped.
            if ((err = appendRecordIfValid(data, info.length, &text)) != noErr) return false;
            if (text.size() >= (1 << 16)) writeOut();
            return err == noErr;
        });
    if (err == noErr && scanned == noErr) writeOut();
    return err != noErr ? err : scanned;
}

int runExport(const qpk::Invocation& in) {
    const std::string& inPath = in.args[0];
    const std::string& textPath = in.args[1];
    std::unique_ptr<RecordFile> records;
    OSErr err = RecordFile::open(inPath, FilePerm::readOnly, &records);
    if (err != noErr) {
        qpk::reportError(inPath, qpk::fileErrorWords(err, inPath));
        return qpk::kExitBadInput;
    }
    if (textPath == "-") {
        if ((err = exportToStandardOutput(*records)) != noErr) {
            qpk::reportError(textPath, errorWords(err));
            return qpk::kExitBadInput;
        }
        return qpk::kExitOk;
    }
    long total = 0;
    if (FileRef f = 0; FSpOpen(FSSpec::fromPath(inPath), FilePerm::readOnly, &f) == noErr) {
        GetEOF(f, &total);
        FSClose(f);
    }
    ProgressBar bar("export");
    ExportHooks hooks;
    hooks.progress = [&](long position, long) { bar.update(position, total); };
    err = exportRecordFile(*records, textPath, hooks);
    if (err == noErr) bar.update(total, total);
    if (err == kReplaceOriginalErr) {
        qpk::reportError(textPath, exportErrorText(err));
        return qpk::kExitBadInput;
    }
    if (err != noErr) {
        qpk::reportError(textPath, errorWords(err));
        return qpk::kExitBadInput;
    }
    return qpk::kExitOk;
}

const qpk::Registrar importCommand({
    .name = "import",
    .summary = "convert a text file of packages into a new package file",
    .description =
        "Converts a text file of packages (the layout export writes) into a new package file, "
        "replacing a file of that name. A problem in the text is reported as FILE:LINE: MESSAGE "
        "and the line; the import goes on past those it can, and stops at the others, keeping "
        "the packages written before.",
    .arguments = {{"TEXT", "the text file of packages", qpk::kFile},
                  {"OUT.qpk", "the package file to make", qpk::kFile}},
    .run = runImport,
});

const qpk::Registrar exportCommand({
    .name = "export",
    .summary = "write every valid package as text (-: to standard output)",
    .description = "Writes every valid package as text, in the layout import reads; - for "
                   "OUT.txt writes it to standard output, as git's textconv driver wants it.",
    .arguments = {{"IN.qpk", "the package file", qpk::kFile},
                  {"OUT.txt", "the text file to write, or - for standard output", qpk::kFile}},
    .run = runExport,
});

} // namespace
