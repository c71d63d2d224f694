// Text import: reads a text file of packages and stores each finished Package through a sink.
//
// Text layout, one Package after another:
//   header line   name SEP prefix [SEP shape {SEP shape parameter}] EOL  (at most 4 shape fields)
//   net lines     SEP \ net-name SEP pin {SEP pin} EOL                    (zero or more)
//   section lines SEP class-id SEP pair-count {SEP unpackaged SEP packaged} EOL  (one or more)
// where SEP is a TAB or a comma and EOL is CR LF, CR or LF. Blank lines may stand at the start
// and after any section line. Every byte but those is a character of a field; only the end of
// the file ends the text.
//
// Problems of codes 5 to 7 and 9 are reported as they are met and the import goes on; codes 2, 3
// and 8 stop it and are reported once at the end; a file error is reported through fileError and
// ends the import with code 1 (no second message).
#pragma once
#include "model/Package.h"
#include "model/PackageFile.h"
#include "model/RecordFile.h"
#include "textfmt/TextLexer.h"

#include <cstdint>
#include <string>
#include <string_view>

struct ImportError {
    std::int16_t code = kImportOk;
    Str255 message;         // the string table's text for the code (list 1100)
    long lineNumber = 1;    // the marked line: the first line not yet accepted
    std::string lineText;   // up to 255 bytes from that line's start, cut at its line end
    std::string parserText; // code 2 only: "syntax error" or "Yacc internal stack overflow"
};

class ImportReporter {
public:
    virtual ~ImportReporter() = default;
    // Codes 5-7 and 9 as they happen, and the code (2, 3 or 8) that ended a failed import.
    virtual void importError(const ImportError& error) = 0;
    // A file error (opening or reading the text, writing a record); the import ends with code 1.
    virtual void fileError(OSErr err) = 0;
    // Bytes of the text consumed so far and the size of the text; called about every 64 KiB.
    virtual void progress(long done, long total) {
        (void)done;
        (void)total;
    }
};

class PackageSink {
public:
    virtual ~PackageSink() = default;
    // Stores one finished Package (its hidden connections already in file order). memFullErr
    // makes the import fail with code 8; any other code is a file error (reported, code 1).
    virtual OSErr storePackage(PackageRecord& pkg) = 0;
    // A sink that takes Packages already flattened lets a large text be parsed in pieces on
    // several threads; the Packages still come in the order of the text. displayName: field 1
    // without the blanks around it. The results count as storePackage's.
    virtual bool takesImages() const { return false; }
    virtual OSErr storeImage(const unsigned char* image, Size size, std::string_view displayName) {
        (void)image;
        (void)size;
        (void)displayName;
        return paramErr;
    }
    // Called once the text is read without a failure: whatever the sink still holds is stored.
    // Its result counts as storePackage's would.
    virtual OSErr finish() { return noErr; }
};

// Flattens each Package and writes it as a new type 1 record. Keeps nothing per Package, so an
// import through it runs in memory independent of the size of the text. The record file may hold
// the last records in memory; finish writes them, so that their write errors are the import's.
class RecordFileSink : public PackageSink {
public:
    explicit RecordFileSink(RecordFile& file) : file_(file) {}
    OSErr storePackage(PackageRecord& pkg) override;
    bool takesImages() const override { return true; }
    OSErr storeImage(const unsigned char* image, Size size, std::string_view displayName) override;
    OSErr finish() override { return file_.flushWrites(); }
    long stored() const { return stored_; }
    // The record id of the last Package written.
    std::uint32_t lastRecord() const { return lastRecord_; }

private:
    RecordFile& file_;
    long stored_ = 0;
    std::uint32_t lastRecord_ = 0;
};

// Writes each Package as a record and adds a stored package entry for it at the head of the
// package file's list (the caller reverses the list once the import succeeded).
class PackageFileSink : public PackageSink {
public:
    explicit PackageFileSink(PackageFile* file) : file_(file), records_(*file->recordFile) {}
    OSErr storePackage(PackageRecord& pkg) override;
    bool takesImages() const override { return true; }
    OSErr storeImage(const unsigned char* image, Size size, std::string_view displayName) override;
    OSErr finish() override { return records_.finish(); }

private:
    OSErr addStoredEntry(std::string_view displayName);

    PackageFile* file_;
    RecordFileSink records_;
};

struct ImportResult {
    std::int16_t code = kImportOk; // 0 on success, else the code that made the import fail
    long packagesStored = 0;
    long problemsReported = 0; // codes 5 to 7 and 9
    bool ok() const { return code == kImportOk; }
};

// How a large text is parsed: in pieces of about pieceBytes, each ending after a line end before
// a package's header line, on worker threads, each piece's results taken as soon as the parse
// before it shows that parsing the piece apart gave what parsing it in line gives; from a piece
// where that does not hold, and for the last piece, the text is parsed in line. The results are
// the same either way; the pieces only take the work to more processors.
struct ImportTuning {
    long pieceBytes = 1L << 19;
    long minBytes = 8L << 20; // smaller texts are parsed in line (pieces gain nothing there)
    int threads = 0;          // worker threads; 0: one per processor; fewer than 2 processors
                              // and 0, or a negative count: no pieces
    // Pieces whose lines are all of the usual form are read straight from their bytes, without
    // the parser's tables (QuickPiece.h); the results are the same.
    bool quickLines = true;
};

// Reads the text at textPath and hands every finished Package to sink. reporter may be null.
// Calls on the reporter and the sink come from the calling thread.
ImportResult importText(const std::string& textPath, PackageSink& sink, ImportReporter* reporter,
                        const ImportTuning& tuning = ImportTuning());

// The conversion of a text file into a package file that was just created and opened for
// writing: Packages are written as records and entries are added at the head of the list. On
// success the caller rebuilds the class index and reverses the package list; on failure it
// closes the package file forced, which keeps the Packages written so far.
bool importTextIntoPackageFile(const std::string& textPath, PackageFile* file,
                               ImportReporter* reporter);

// The text of an import code: string 1100 + code - 2 of the string table.
Str255 importMessage(int code);
