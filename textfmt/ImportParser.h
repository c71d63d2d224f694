// The state of one text import and the semantic actions that the grammar (ImportGrammar.y) calls
// as its rules are reduced. Internal to textfmt.
#pragma once
#include "textfmt/Import.h"
#include "textfmt/TextLexer.h"

#include <cstdint>
#include <string>
#include <vector>

// The semantic value of a grammar symbol: a NUMBER's value, or a text's index into the token
// strings (for a STRING or NUMBER token fresh from the lexer: the lexer's field serial).
struct ImportValue {
    long number;
    int text;
};

// Owned copies of token texts, addressed by index. Freed slots are reused, so the table only
// grows to the number of texts alive at once (a handful).
class TokenStrings {
public:
    int save(std::string_view text); // -1 when out of memory
    std::string_view text(int index) const;
    void release(int index);
    void clear();

private:
    struct Slot {
        std::uint8_t length = 0;
        char chars[255];
    };
    std::vector<Slot> slots_;
    std::vector<int> free_;
};

class ImportParser {
public:
    ImportParser(FileRef file, PackageSink& sink, ImportReporter* reporter);

    // The lexer and error routine of the generated parser.
    int lex(ImportValue* value);
    void parserError(const char* message);
    void stackOverflow();

    // Semantic actions, in the order their rules are reduced.
    int saveText(int serial); // serial: the field number the lexer gave the token
    void startPackage(int name, int prefix);
    void shapeField(int text);
    void expectField() { lexer_.setFieldExpected(); }
    void setShape();
    void endHeader();
    void startNet(int name);
    void addPin(int pin);
    void finishNet();
    void startSection(long classId, long announced);
    void addPair(int unpackaged, int packaged);
    void endSection();
    void endPackage();
    void markLine() { lexer_.markLine(); }

    // Runs the parser over the whole text.
    ImportResult run();

private:
    bool pending() const { return lexer_.errorCode() != kImportOk; }
    bool active() const { return !lexer_.aborted(); }
    void fail(std::int16_t code) { lexer_.abort(code); }
    void report(std::int16_t code); // codes 5-7: at once, with the marked line
    ImportError describe(std::int16_t code);
    void appendField(std::string_view text); // TAB + text onto the package's field text
    void takeText(int index, Str255* slot);

    TextLexer lexer_;
    FileRef file_;
    PackageSink& sink_;
    ImportReporter* reporter_;
    TokenStrings tokens_;
    long fileSize_ = 0;
    long nextProgress_ = 0;

    // The parse record.
    Str255 slots_[4];
    int shapeCount_ = 0;
    const char* parserText_ = ""; // the parser's own words for its error

    // The build state.
    PackageRecord package_;
    char netText_[255];
    int netLength_ = 0;
    int section_ = 0; // position of the current section; 0 when the table was full
    long announced_ = 0;
    char pairText_[255]; // the pin number changes of the current section line
    int pairLength_ = 0;
    int pairCount_ = 0; // pairs of the current section line that were kept

    ImportResult result_;
};
