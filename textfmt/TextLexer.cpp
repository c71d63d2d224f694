// The lexer of the text import: the character table, buffer refills and the reading of fields.
#include "textfmt/TextLexer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

constexpr TextLexer::ClassTable TextLexer::kClasses = TextLexer::classTable();

bool TextLexer::refill() {
    if (endOfFileRead_) return false;
    long count = kBufferSize;
    OSErr err = reader_.read(&count, buffer_);
    if (err != noErr && err != eofErr) {
        // A failing read ends the input; the import reports the file error and fails.
        readError_ = err;
        abort(kImportErrorShown);
        count = 0;
    }
    if (count <= 0) {
        endOfFileRead_ = true;
        fill_ = at_ = 0;
        buffer_[0] = kSentinel;
        return false;
    }
    fill_ = static_cast<int>(count);
    at_ = 0;
    buffer_[fill_] = kSentinel;
    return true;
}

int TextLexer::readNonBlank() {
    int c;
    do {
        c = readChar();
    } while (charClass(c) == kBlank);
    return c;
}

// Reads a field starting with c up to (not including) the next TAB, comma, line end or end of
// file.
// The rest of the field is taken straight from the buffer; the character that ends it is left
// there, which is the same as reading it and pushing it back.
int TextLexer::readField(int c) {
    backslashAllowed_ = false;
    token_[0] = static_cast<char>(c);
    int n = 1;

    // Most fields lie in the buffer: they are copied as they are scanned.
    const unsigned char* const from = buffer_ + at_;
    const unsigned char* const stop = from + std::min(fill_ - at_, kMaxField - n);
    const unsigned char* p = from;
    char* out = token_ + n;
    while (p != stop && !endsField(*p))
        *out++ = static_cast<char>(*p++);
    const int copied = static_cast<int>(p - from);
    n += copied;
    at_ += copied;
    position_ += copied;

    // The field goes on past the buffered characters, or reaches the limit: runs at a time.
    while (p == stop) { // left by the break or return below
        const unsigned char* const start = buffer_ + at_;
        const unsigned char* end = start;
        while (!endsField(*end))
            ++end;
        const int run = static_cast<int>(end - start);
        if (n + run > kMaxField) {
            // The import stops at the field's 256th character.
            const int kept = kMaxField - n;
            at_ += kept;
            position_ += kept;
            abort(kImportFieldTooLong);
            return kTokenEndOfInput;
        }
        std::memcpy(token_ + n, start, static_cast<std::size_t>(run));
        n += run;
        at_ += run;
        position_ += run;
        if (at_ < fill_ || !refill()) break; // at the end of the field, or of the input
    }
    tokenLength_ = n;

    // A NUMBER is a digit or '-' followed by digits only; '-' alone is 0. Digits stop counting
    // once the value has left the 32-bit range, so a longer one stays outside it.
    const char first = token_[0];
    const bool negative = first == '-';
    if (!negative && (first < '0' || first > '9')) return kTokenString;
    std::int64_t value = 0;
    for (int i = negative ? 1 : 0; i < n; ++i) {
        const char d = token_[i];
        if (d < '0' || d > '9') return kTokenString;
        if (value <= INT32_MAX) value = value * 10 + (d - '0');
    }
    number_ = negative ? -value : value;
    return kTokenNumber;
}
