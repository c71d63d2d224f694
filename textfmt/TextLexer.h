// The lexer of the text import: reads a text file of packages through the toolbox file calls and
// turns it into tokens for the grammar in ImportGrammar.y.
//
// Characters come from a 512-byte buffer refilled by 512-byte reads of the file (through a
// TextFileReader, which reads ahead in larger blocks). Every byte is a character; only the end of
// the file is the end of the input (the value 256). A line ends with CR LF, a CR alone or an LF
// alone: the lexer reads each kind as one CR, so that the grammar sees one end of line, and line
// numbers and line starts count every kind. One character can be pushed back; reading a line end
// counts a line, pushing one back uncounts it.
#pragma once
#include "resources/Types.h"
#include "textfmt/TextFileReader.h"
#include "toolbox/core/Files.h"

#include <cstdint>
#include <string_view>

// Token numbers shared with the grammar.
enum ImportToken : int {
    kTokenEndOfInput = 0,
    kTokenString = 257,
    kTokenNumber = 258,
    kTokenTab = 259,
    kTokenEndOfLine = 260,
    kTokenEndOfFile = 261,
    kTokenComma = ',',
    kTokenBackslash = '\\',
};

// Error codes of the import; the message of code c is string 1100 + c - 2.
enum ImportCode : std::int16_t {
    kImportOk = 0,
    kImportErrorShown = 1,   // an error already reported (a file error); no second message
    kImportSyntax = 2,       // "Syntax."
    kImportFieldTooLong = 3, // a field of more than 255 characters
    kImportNoSections = 5,   // a package without any section: dropped
    kImportLineTooLong = 6,  // a pin or a pair that would make a line too long: dropped
    kImportPairMismatch = 7, // announced and given pair counts differ: the section stays
    kImportNoMemory = 8,     // an allocation failed in an action
    kImportNumberRange = 9,  // a Class ID or pair count outside 32 bits: the section is dropped
};

// A NUMBER's value that a Class ID or a pair count can take.
constexpr bool fitsInt32(std::int64_t value) {
    return value >= INT32_MIN && value <= INT32_MAX;
}

class TextLexer {
public:
    static constexpr int kBufferSize = 512;
    static constexpr int kMaxField = 255;
    static constexpr int kEndOfFileChar = 256;
    static constexpr int kNoPushBack = -1;

    explicit TextLexer(FileRef file) : reader_(file) { buffer_[0] = kSentinel; }
    // A lexer over bytes already read from the file, which start at the file position start.
    // Line numbers count from 1 at start.
    TextLexer(const unsigned char* bytes, long size, long start) : reader_(bytes, size) {
        buffer_[0] = kSentinel;
        startAt(start, 1);
    }

    // Sets where the input starts: its position in the file, which is the start of a line, and
    // that line's number. Only before the first token.
    void startAt(long position, long line) {
        position_ = lineStart_ = previousLineStart_ = markedStart_ = position;
        lineNumber_ = markedLine_ = line;
    }

    // The next token; NUMBER sets *number. After end of file, or once the import is aborted,
    // every call returns kTokenEndOfInput.
    int next(long* number) {
        const int token = scan();
        if (token == kTokenNumber) *number = number_;
        return token;
    }

    // The same, leaving a NUMBER's value in number().
    [[gnu::always_inline]] int scan() {
        if (aborted_ || endOfFileSeen_) return kTokenEndOfInput;

        // Most tokens start with a character in the buffer, after no blanks or a few. Blanks
        // are never a line end: skipping them counts no lines.
        int c;
        if (pushed_ == kNoPushBack) {
            while (at_ < fill_ && charClass(buffer_[at_]) == kBlank) {
                ++at_;
                ++position_;
            }
        }
        if (pushed_ == kNoPushBack && at_ < fill_) {
            c = buffer_[at_++];
            ++position_;
            if (charClass(c) >= kReturn) c = endLine(c);
        } else {
            c = readNonBlank();
        }

        // Right after a separator that opens a field, another separator or the end of the line
        // stands for an empty field.
        if (fieldExpected_) {
            fieldExpected_ = false;
            if (c == '\t' || c == ',' || c == '\r') {
                pushBack(c);
                tokenLength_ = 0;
                backslashAllowed_ = false;
                return kTokenString;
            }
        }

        const CharClass kind = charClass(c);
        if (kind == kOther) return readField(c);
        switch (kind) {
        case kEndOfFile:
            endOfFileSeen_ = true;
            return kTokenEndOfFile;
        case kTab:
            return kTokenTab;
        case kComma:
            return kTokenComma;
        case kReturn:
            return kTokenEndOfLine;
        case kBackslash:
            if (backslashAllowed_) {
                backslashAllowed_ = false;
                return kTokenBackslash;
            }
            break;
        default:
            break;
        }
        return readField(c);
    }
    // The value of the last NUMBER; a value outside 32 bits comes out beyond them (it is kept
    // at most a digit past them), for the grammar to report.
    std::int64_t number() const { return number_; }

    // The text of the last STRING or NUMBER (valid until the next call of next()).
    std::string_view tokenText() const { return {token_, static_cast<std::size_t>(tokenLength_)}; }

    // Feedback from the grammar's actions.
    void setFieldExpected() { fieldExpected_ = true; }
    void setBackslashAllowed() { backslashAllowed_ = true; }

    // Stops the import: the first code counts; from now on next() returns end of input.
    void abort(std::int16_t code) {
        if (code_ == kImportOk) code_ = code;
        aborted_ = true;
    }
    bool aborted() const { return aborted_; }
    std::int16_t errorCode() const { return code_; }
    // A read error other than end of file (the import aborts with code 1 when it happens).
    OSErr readError() const { return readError_; }

    // The marked line: the first line not yet accepted by the grammar.
    void markLine() {
        markedLine_ = lineNumber_;
        markedStart_ = lineStart_;
    }
    long markedLine() const { return markedLine_; }
    long markedLineStart() const { return markedStart_; }
    long lineNumber() const { return lineNumber_; }
    long position() const { return position_; } // characters consumed so far
    // True when the next token, which begins with a field (or a backslash when nextIsBackslash),
    // will be read as a lexer over the text that follows would read it, starting afresh: no field
    // expected, nothing pushed back, and no backslash allowed where one comes.
    bool readsNextFieldAfresh(bool nextIsBackslash) const {
        return !fieldExpected_ && pushed_ == kNoPushBack && !(backslashAllowed_ && nextIsBackslash);
    }

private:
    // The kinds of characters the lexer tells apart. TAB, comma, CR, LF and end of file end a
    // field.
    enum CharClass : std::uint8_t {
        kOther,
        kBlank,
        kBackslash,
        kTab,
        kComma,
        kEndOfFile,
        kReturn, // CR and LF: the line ends
    };
    struct ClassTable {
        CharClass at[257];
    };
    static constexpr ClassTable classTable() {
        ClassTable t{};
        for (unsigned char c : {' ', '\v', '\f'})
            t.at[c] = kBlank;
        t.at[static_cast<unsigned char>('\\')] = kBackslash;
        t.at[static_cast<unsigned char>('\t')] = kTab;
        t.at[static_cast<unsigned char>(',')] = kComma;
        t.at[static_cast<unsigned char>('\r')] = kReturn;
        t.at[static_cast<unsigned char>('\n')] = kReturn;
        t.at[kEndOfFileChar] = kEndOfFile;
        return t;
    }
    // Ends every scan of the buffered characters for the end of a field: a TAB after the last.
    static constexpr unsigned char kSentinel = '\t';
    static const ClassTable kClasses;
    static CharClass charClass(int c) { return kClasses.at[c]; }
    static bool endsField(int c) { return charClass(c) >= kTab; }

    int readChar() {
        int c;
        if (pushed_ != kNoPushBack) {
            // A pushed-back line end comes back with the bytes it took.
            c = pushed_;
            pushed_ = kNoPushBack;
            if (c == '\r') {
                position_ += lineEndWidth_;
                countLine();
                return c;
            }
        } else if (at_ < fill_ || refill()) {
            c = buffer_[at_++];
        } else {
            c = kEndOfFileChar;
        }
        ++position_;
        if (charClass(c) >= kReturn) c = endLine(c);
        return c;
    }
    // The line end that begins with c, just read: a CR takes the LF right after it along. Counts
    // the line and returns CR for every kind.
    int endLine(int c) {
        lineEndWidth_ = 1;
        if (c == '\r' && (at_ < fill_ || refill()) && buffer_[at_] == '\n') {
            ++at_;
            ++position_;
            lineEndWidth_ = 2;
        }
        countLine();
        return '\r';
    }
    void countLine() {
        ++lineNumber_;
        previousLineStart_ = lineStart_;
        lineStart_ = position_;
    }
    void pushBack(int c) {
        pushed_ = c;
        if (c == '\r') {
            position_ -= lineEndWidth_;
            --lineNumber_;
            lineStart_ = previousLineStart_;
        } else {
            --position_;
        }
    }
    bool refill();
    int readNonBlank();
    int readField(int c);

    TextFileReader reader_;
    // The buffered characters, then kSentinel after the last one, where a scan for the end of a
    // field stops without a bounds check.
    unsigned char buffer_[kBufferSize + 1];
    int fill_ = 0;
    int at_ = 0;
    int pushed_ = kNoPushBack;
    int lineEndWidth_ = 1; // bytes of the last line end read: 2 for CR LF
    bool fieldExpected_ = false;
    bool backslashAllowed_ = false;
    bool endOfFileSeen_ = false; // the end-of-file token was returned
    bool endOfFileRead_ = false; // the file has no more bytes
    bool aborted_ = false;
    std::int16_t code_ = kImportOk;
    OSErr readError_ = noErr;
    long position_ = 0;
    long lineNumber_ = 1;
    long lineStart_ = 0;
    long previousLineStart_ = 0;
    long markedLine_ = 1;
    long markedStart_ = 0;
    char token_[kMaxField + 1];
    int tokenLength_ = 0;
    std::int64_t number_ = 0;
};
