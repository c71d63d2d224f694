// The state of one text import and the semantic actions that the grammar (ImportGrammar.y) calls
// as its rules are reduced. Internal to textfmt.
#pragma once
#include "textfmt/Import.h"
#include "textfmt/TextLexer.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The semantic value of a grammar symbol: a NUMBER's value (the lexer keeps it in the 32-bit
// range), or a text's index into the token strings. A STRING's value is unused: its text is
// taken from the lexer when the grammar reduces it, before the next token is read. One register
// wide, as the parser copies a value on every step.
using ImportValue = std::int32_t;

// Owned copies of token texts, addressed by index: length-prefixed strings laid end to end in
// one block, the index of a text being its offset there. The grammar takes every text soon after
// it is saved, so only a few are alive at once; when the last one alive is released the block is
// used again from its start, so it never grows past the texts alive together.
class TokenStrings {
public:
    int save(std::string_view text) { // -1 when out of memory
        const std::size_t length = text.size() > 255 ? 255 : text.size();
        if (used_ + 1 + length > chars_.size() && !grow(1 + length)) return -1;
        char* const at = chars_.data() + used_;
        *at = static_cast<char>(length);
        std::memcpy(at + 1, text.data(), length);
        const int index = static_cast<int>(used_);
        used_ += 1 + length;
        ++alive_;
        return index;
    }
    std::string_view text(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= used_) return {};
        return {chars_.data() + index + 1, static_cast<unsigned char>(chars_[index])};
    }
    void release(int index) {
        if (index >= 0 && static_cast<std::size_t>(index) < used_ && --alive_ == 0) used_ = 0;
    }
    void clear();

private:
    bool grow(std::size_t more);

    std::vector<char> chars_;
    std::size_t used_ = 0;
    int alive_ = 0;
};

// The blocks of finished package records, kept to build the next packages with, so that
// building a package allocates nothing once the first few are done. At most kMaxSections pin
// number change handles and kMaxNets net items are kept; the rest are disposed of.
class SpareParts {
public:
    SpareParts() = default;
    SpareParts(const SpareParts&) = delete;
    SpareParts& operator=(const SpareParts&) = delete;
    ~SpareParts();

    // Takes every block of r (which is left empty).
    void keep(PackageRecord& r);
    // A handle holding a copy of size bytes at data, or none when out of memory.
    Handle fieldText(const void* data, Size size) { return take(&fieldText_, data, size); }
    Handle pinChanges(const void* data, Size size);
    // An empty section table, or none (addSection then makes one).
    Handle sectionTable() { return std::exchange(sectionTable_, nullptr); }
    // A net item holding text, or none when out of memory.
    NetItem* netItem(std::string_view text);

private:
    static constexpr int kMaxNets = 64;
    static Handle take(Handle* spare, const void* data, Size size);
    void keepHandle(Handle* spare, Handle h);

    Handle fieldText_ = nullptr;
    Handle sectionTable_ = nullptr;
    Handle pinChanges_[kMaxSections] = {};
    int pinChangeCount_ = 0;
    NetItem* nets_ = nullptr;
    int netCount_ = 0;
};

// What parsing a piece of the text on its own leaves for the import to take in order: its
// reports of codes 5 to 7 and its Packages, flattened, each with the marked line of its time.
struct PieceEvent {
    std::int16_t code = kImportOk; // a report of this code; kImportOk: a Package
    long markedLine = 1;           // counted from 1 at the piece's first line
    long markedStart = 0;          // file position of the marked line's start
    std::uint32_t image = 0;       // a Package's image and display name: offsets into the
    std::uint32_t imageSize = 0;   // log's bytes
    std::uint32_t name = 0;
    std::uint32_t nameSize = 0;
};

struct PieceLog {
    std::vector<PieceEvent> events;
    std::vector<unsigned char> bytes;
    long lines = 0; // the lines the piece ends (its CRs)
    void clear() {
        events.clear();
        bytes.clear();
        lines = 0;
    }
};

// The sink of a piece: flattens each Package into the piece's log.
class PieceSink : public PackageSink {
public:
    PieceSink(PieceLog* log, const TextLexer* lexer) : log_(log), lexer_(lexer) {}
    OSErr storePackage(PackageRecord& pkg) override;

private:
    PieceLog* log_;
    const TextLexer* lexer_;
};

// The code a failed store of a Package ends the import with: 8 when out of memory, else 1 (a file
// error, shown with the file error texts).
inline std::int16_t storeFailureCode(OSErr err) {
    return err == memFullErr ? kImportNoMemory : kImportErrorShown;
}

// The report of an import code: its message, the marked line and that line's text read again
// from the file (up to 255 bytes, cut at the first CR).
ImportError describeImportError(FileRef file, std::int16_t code, long line, long lineStart,
                                const char* parserText);

// Where the parse in line takes over from the pieces: a position at the start of a line, and
// that line's number.
struct ImportResume {
    long position = 0;
    long line = 1;
};

// Imports what it can of a large text in pieces on worker threads (ImportPieces.cpp). True when
// the import is over (it failed while a piece's Packages were stored); else the rest of the text,
// from *resume, is for the parse in line, which goes on from *result. The file mark is left
// anywhere.
bool importPieces(FileRef file, long fileSize, PackageSink& sink, ImportReporter* reporter,
                  const ImportTuning& tuning, ImportResume* resume, ImportResult* result);

class ImportParser {
public:
    ImportParser(FileRef file, PackageSink& sink, ImportReporter* reporter);
    // A parser of a piece of the text, size bytes read from the file at position start: see
    // runPiece.
    // nextIsBackslash: the text after the piece begins (after blanks) with a backslash.
    ImportParser(const unsigned char* bytes, long size, long start, bool nextIsBackslash,
                 PieceLog* log);

    // The lexer and error routine of the generated parser.
    int lex(ImportValue* value) {
        // Checked before the token is read: a piece's parse looks at the lexer's state as it
        // stands at the piece's end.
        if (lexer_.position() >= nextProgress_) progress();
        const int token = lexer_.scan();
        *value = lexer_.number(); // meaningful for a NUMBER only
        return token;
    }
    void parserError(const char* message);
    void stackOverflow();

    // Semantic actions, in the order their rules are reduced.
    // A STRING or NUMBER taken as text: its text, still in the lexer's token buffer, is saved
    // (the grammar reduces a text before reading the next token).
    int saveText() {
        if (!active()) return -1;
        const int index = tokens_.save(lexer_.tokenText());
        if (index < 0) fail(kImportNoMemory);
        return index;
    }
    void startPackage(int name, int prefix);
    void shapeField(int text);
    void expectField() { lexer_.setFieldExpected(); }
    void setShape();
    void endHeader();
    void startNet(int name);
    void addPin(int pin);
    void finishNet();
    void startSection(std::int32_t classId, std::int32_t announced);
    void addPair(int unpackaged, int packaged);
    void endSection();
    void endPackage();
    void markLine() { lexer_.markLine(); }

    // Runs the parser over the whole text. resumeAt first makes it start at a position in the
    // file other than 0: the start of a line, where the parse has counted stored Packages and
    // reports already. The file mark must be there.
    void resumeAt(long position, long line, const ImportResult& sofar) {
        lexer_.startAt(position, line);
        result_ = sofar;
    }
    ImportResult run();

    // Parses a piece that starts where the whole text's parse is in its starting state, at the
    // start of a package's header line, and that ends right after a CR, before a line that
    // begins with a field. True when parsing the piece on its own did what parsing the whole
    // text does over it: the parse ran through the piece's end without a failure, its last line
    // ending a package (a section line, a blank line after one, or a net line of a package
    // without sections), where the lexer reads that field as afresh and the parser, given it,
    // ends the package and is in its starting state. The log then holds what the parse did.
    bool runPiece();

private:
    void progress();
    void reachEndOfPiece();
    bool pending() const { return lexer_.errorCode() != kImportOk; }
    bool active() const { return !lexer_.aborted(); }
    void fail(std::int16_t code) { lexer_.abort(code); }
    bool store(OSErr err);          // the sink's result; true when it stored
    void report(std::int16_t code); // codes 5-7: at once, with the marked line
    ImportError describe(std::int16_t code);
    void appendField(std::string_view text); // TAB + text onto the package's field text
    void takeText(int index, Str255* slot);

    TextLexer lexer_;
    FileRef file_;
    PieceLog* log_ = nullptr; // a piece's parse: reports go to the log
    PieceSink pieceSink_;
    PackageSink& sink_;
    ImportReporter* reporter_;
    TokenStrings tokens_;
    long fileSize_ = 0;
    long nextProgress_ = 0; // position of the next progress report (LONG_MAX: no reporter)
    long pieceEnd_ = 0;     // a piece's parse: the file position of its end
    bool pieceEndClean_ = false;
    bool nextIsBackslash_ = false;

    // The parse record.
    Str255 slots_[4];
    int shapeCount_ = 0;
    const char* parserText_ = ""; // the parser's own words for its error

    // The build state.
    PackageRecord package_;
    SpareParts spares_;
    char netText_[255];
    int netLength_ = 0;
    int section_ = 0; // position of the current section; 0 when the table was full
    long announced_ = 0;
    char pairText_[255]; // the pin number changes of the current section line
    int pairLength_ = 0;
    int pairCount_ = 0; // pairs of the current section line that were kept

    ImportResult result_;
};
