// The state of one text import and the semantic actions that the grammar (ImportGrammar.y) calls
// as its rules are reduced. Internal to textfmt.
#pragma once
#include "textfmt/Import.h"
#include "textfmt/ImportPieces.h"
#include "textfmt/SpareParts.h"
#include "textfmt/TextLexer.h"
#include "textfmt/TokenStrings.h"

#include <cstdint>
#include <string_view>

// The semantic value of a grammar symbol: a NUMBER's value (beyond 32 bits when the text is),
// or a text's index into the token strings. A STRING's value is unused: its text is taken from
// the lexer when the grammar reduces it, before the next token is read. One register wide, as the
// parser copies a value on every step.
using ImportValue = std::int64_t;

class ImportParser {
public:
    ImportParser(FileRef file, PackageSink& sink, ImportReporter* reporter);
    // A parser of a piece of the text, size bytes read from the file at position start: see
    // runPiece.
    // nextIsBackslash: the text after the piece begins (after blanks) with a backslash.
    ImportParser(const unsigned char* bytes, long size, long start, bool nextIsBackslash,
                 PieceLog* log);

    // The lexer and error routine of the generated parser.
    [[gnu::always_inline]] int lex(ImportValue* value) {
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
    void startSection(std::int64_t classId, std::int64_t announced);
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
    // start of a package's header line, and that ends right after a line end, before a line that
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
    void report(std::int16_t code); // codes 5-7 and 9: at once, with the marked line
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
    std::int64_t announced_ = 0;
    bool sectionDropped_ = false; // a number of the section line is out of range
    char pairText_[255];          // the pin number changes of the current section line
    int pairLength_ = 0;
    int pairCount_ = 0; // pairs of the current section line that were kept

    ImportResult result_;
};
