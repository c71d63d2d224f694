#include "textfmt/TextLexer.h"

#include <climits>

bool TextLexer::refill() {
    if (endOfFileRead_) return false;
    long count = kBufferSize;
    OSErr err = FSRead(file_, &count, buffer_);
    if (err != noErr && err != eofErr) {
        // A failing read ends the input; the import reports the file error and fails.
        readError_ = err;
        abort(kImportErrorShown);
        count = 0;
    }
    if (count <= 0) {
        endOfFileRead_ = true;
        fill_ = at_ = 0;
        return false;
    }
    fill_ = static_cast<int>(count);
    at_ = 0;
    return true;
}

static bool isBlank(int c) {
    return c == ' ' || c == '\n' || c == '\v' || c == '\f';
}

int TextLexer::next(long* number) {
    if (aborted_ || endOfFileSeen_) return kTokenEndOfInput;

    int c;
    do {
        c = readChar();
    } while (isBlank(c));

    // Right after a separator that opens a field, another separator or the end of the line
    // stands for an empty field.
    if (fieldExpected_) {
        fieldExpected_ = false;
        if (c == '\t' || c == ',' || c == '\r') {
            pushBack(c);
            tokenLength_ = 0;
            ++fieldSerial_;
            backslashAllowed_ = false;
            return kTokenString;
        }
    }

    switch (c) {
    case kEndOfFileChar:
        endOfFileSeen_ = true;
        return kTokenEndOfFile;
    case '\t':
        return kTokenTab;
    case ',':
        return kTokenComma;
    case '\r':
        return kTokenEndOfLine;
    case '\\':
        if (backslashAllowed_) {
            backslashAllowed_ = false;
            return kTokenBackslash;
        }
        break;
    default:
        break;
    }
    return readField(c, number);
}

// Reads a field starting with c up to (not including) the next TAB, comma, CR or end of file.
// The rest of the field is taken straight from the buffer; the character that ends it is left
// there, which is the same as reading it and pushing it back.
int TextLexer::readField(int c, long* number) {
    backslashAllowed_ = false;
    token_[0] = static_cast<char>(c);
    int n = 1;
    for (;;) {
        while (at_ < fill_) {
            const unsigned char d = buffer_[at_];
            if (d == '\t' || d == ',' || d == '\r' || d == kEndOfFileChar) goto ended;
            if (n == kMaxField) {
                abort(kImportFieldTooLong);
                return kTokenEndOfInput;
            }
            token_[n++] = static_cast<char>(d);
            ++at_;
            ++position_;
        }
        if (!refill()) break;
    }
ended:
    tokenLength_ = n;
    ++fieldSerial_;

    // A NUMBER is a digit or '-' followed by digits only; '-' alone is 0. The value is kept in
    // the 32-bit range, saturating like the classic strtol of a 32-bit long.
    const char first = token_[0];
    const bool negative = first == '-';
    if (!negative && (first < '0' || first > '9')) return kTokenString;
    long long value = 0;
    for (int i = negative ? 1 : 0; i < n; ++i) {
        const char d = token_[i];
        if (d < '0' || d > '9') return kTokenString;
        if (value <= INT32_MAX) value = value * 10 + (d - '0');
    }
    if (negative) value = -value;
    *number = static_cast<long>(value > INT32_MAX   ? INT32_MAX
                                : value < INT32_MIN ? INT32_MIN
                                                    : value);
    return kTokenNumber;
}
