// The quick reading of a piece of the text: lines of the usual form, read straight from the bytes.
//
// It follows the lexer token by token where the usual form allows anything: blanks (space, VT,
// FF) are skipped before every token and belong to a field after its first character; a field
// runs up to a TAB, comma, CR or LF; a line ends with CR LF, CR or LF; an empty field stands
// only where the header line expects a shape field; a backslash right after the separator of a line
// that follows the header line or a net line starts a net line, and anywhere else it is a character
// of a field. The Package is then laid out as flattenPackage lays out the record the parser's
// actions build, and logged as PieceSink logs it: with the marked line of the time the parser ends
// the package, which is the line after the package's last line (the lines already read are all
// accepted).
#include "textfmt/QuickPiece.h"

#include "model/ByteOrder.h"
#include "model/Image.h"
#include "model/Package.h"

#include <cstdint>
#include <cstring>

namespace {

// What a character does between tokens.
enum Kind : std::uint8_t { kFieldChar, kBlankChar, kSepChar, kReturnChar };

struct KindTable {
    Kind at[256];
};

constexpr KindTable kindTable() {
    KindTable t{};
    for (unsigned char c : {' ', '\v', '\f'})
        t.at[c] = kBlankChar;
    t.at[static_cast<unsigned char>('\t')] = kSepChar;
    t.at[static_cast<unsigned char>(',')] = kSepChar;
    t.at[static_cast<unsigned char>('\r')] = kReturnChar;
    t.at[static_cast<unsigned char>('\n')] = kReturnChar;
    return t;
}

constexpr KindTable kKinds = kindTable();

// The line before the one being read, as far as the grammar cares.
enum class Last { header, net, section };

struct QuickSection {
    std::int32_t classId;
    std::uint16_t pairCount;
    std::uint16_t textLength;
    char text[256];
};

class QuickPiece {
public:
    QuickPiece(const unsigned char* bytes, long size, long start, PieceLog* log)
        : begin_(bytes), p_(bytes), end_(bytes + size), start_(start), lineStart_(start),
          log_(log) {}

    bool run() {
        // Every scan for the end of a field or of blanks stops at the last line end at the latest.
        if (p_ == end_ || kKinds.at[end_[-1]] != kReturnChar) return false;
        skipBlanks();
        if (kKinds.at[*p_] != kFieldChar) return false; // blank lines first: left to the parser
        for (;;) {
            if (!header()) return false;
            Last last = Last::header;
            for (;;) {
                if (p_ == end_) {
                    if (last != Last::section) return false;
                    finishPackage();
                    log_->lines = line_ - 1;
                    return true;
                }
                skipBlanks();
                const Kind kind = kKinds.at[*p_];
                if (kind == kSepChar) {
                    ++p_;
                    if (!item(&last)) return false;
                } else if (kind == kReturnChar) {
                    // A blank line belongs to the section line before it.
                    if (last != Last::section) return false;
                    endLine();
                } else if (kind == kFieldChar && last == Last::section) {
                    finishPackage(); // the next package's header line
                    break;
                } else {
                    return false;
                }
            }
        }
    }

private:
    void skipBlanks() {
        while (kKinds.at[*p_] == kBlankChar)
            ++p_;
    }
    // Past the line end at p_ (a CR LF is one) into the next line.
    void endLine() {
        if (*p_++ == '\r' && p_ != end_ && *p_ == '\n') ++p_;
        ++line_;
        lineStart_ = start_ + (p_ - begin_);
    }
    bool atLineEnd() const { return kKinds.at[*p_] == kReturnChar; }

    // A field after blanks: its length, from 0 (where the next character ends a field) to 255,
    // with p_ left on the TAB, comma or line end that ends it; -1 when it is too long.
    int fieldOrEmpty(const unsigned char** text) {
        skipBlanks();
        const unsigned char* const from = p_;
        while (kKinds.at[*p_] <= kBlankChar)
            ++p_;
        const long n = p_ - from;
        if (n > 255) return -1;
        *text = from;
        return static_cast<int>(n);
    }
    int field(const unsigned char** text) {
        const int n = fieldOrEmpty(text);
        return n == 0 ? -1 : n;
    }
    // The separator that must follow a field.
    bool separator() {
        if (kKinds.at[*p_] != kSepChar) return false;
        ++p_;
        return true;
    }

    // A NUMBER: a digit or '-' followed by digits only ('-' alone is 0), of a value within 32
    // bits (a value outside them is a report).
    static bool number(const unsigned char* s, int n, std::int32_t* value) {
        const bool negative = s[0] == '-';
        if (!negative && (s[0] < '0' || s[0] > '9')) return false;
        std::int64_t v = 0;
        for (int i = negative ? 1 : 0; i < n; ++i) {
            if (s[i] < '0' || s[i] > '9') return false;
            if (v <= INT32_MAX) v = v * 10 + (s[i] - '0');
        }
        if (negative) v = -v;
        if (!fitsInt32(v)) return false;
        *value = static_cast<std::int32_t>(v);
        return true;
    }

    // name SEP prefix [SEP shape {SEP shape}] EOL, at its first character.
    bool header() {
        const unsigned char* text;
        int n = field(&text);
        if (n < 0 || !separator()) return false;
        std::memcpy(fieldText_, text, static_cast<std::size_t>(n));
        nameLength_ = n;
        int length = n;
        if ((n = field(&text)) < 0) return false;
        fieldText_[length++] = '\t';
        std::memcpy(fieldText_ + length, text, static_cast<std::size_t>(n));
        length += n;
        // Without a separator after the prefix the package has no shape fields; a fifth and later
        // shape field is dropped.
        if (!atLineEnd()) {
            if (!separator()) return false;
            for (int shapes = 0;; ++shapes) {
                if ((n = fieldOrEmpty(&text)) < 0) return false;
                if (shapes < 4) {
                    fieldText_[length++] = '\t';
                    std::memcpy(fieldText_ + length, text, static_cast<std::size_t>(n));
                    length += n;
                }
                if (atLineEnd()) break;
                ++p_;
            }
        }
        endLine();
        fieldLength_ = length;
        sectionCount_ = 0;
        netCount_ = 0;
        nets_.clear();
        return true;
    }

    // The rest of a net line or a section line, after its first separator.
    bool item(Last* last) {
        skipBlanks();
        if (*p_ == '\\') {
            if (*last == Last::section) return false; // a field: a syntax error
            ++p_;
            *last = Last::net;
            return netLine();
        }
        *last = Last::section;
        return sectionLine();
    }

    // name SEP pin {SEP pin} EOL, after the backslash; the text is name, then TAB and each pin.
    bool netLine() {
        const unsigned char* name;
        const int n = field(&name);
        if (n < 0 || kKinds.at[*p_] != kSepChar) return false;
        char text[256];
        std::memcpy(text, name, static_cast<std::size_t>(n));
        int length = n;
        do {
            ++p_;
            const unsigned char* pin;
            const int k = field(&pin);
            if (k < 0 || length + k + 1 >= 256) return false; // a pin dropped: a report
            text[length++] = '\t';
            std::memcpy(text + length, pin, static_cast<std::size_t>(k));
            length += k;
        } while (!atLineEnd());
        endLine();
        if (++netCount_ >= 0xFFFF) return false;
        unsigned char head[kNetHeaderSize];
        putHost16(head, static_cast<std::uint16_t>(length));
        nets_.insert(nets_.end(), head, head + kNetHeaderSize);
        nets_.insert(nets_.end(), reinterpret_cast<const unsigned char*>(text),
                     reinterpret_cast<const unsigned char*>(text) + length);
        return true;
    }

    // classId SEP count {SEP unpackaged SEP packaged} EOL, after the first separator.
    bool sectionLine() {
        const unsigned char* text;
        int n = field(&text);
        std::int32_t classId = 0, announced = 0;
        if (n < 0 || !number(text, n, &classId) || !separator()) return false;
        if ((n = field(&text)) < 0 || !number(text, n, &announced)) return false;
        if (sectionCount_ >= kMaxSections) return false;
        QuickSection& s = sections_[sectionCount_];
        int length = 0, pairs = 0;
        while (!atLineEnd()) {
            ++p_;
            const unsigned char *a, *b;
            const int la = field(&a);
            if (la < 0 || !separator()) return false;
            const int lb = field(&b);
            if (lb < 0 || length + la + lb >= 254) return false; // a pair dropped: a report
            if (pairs) s.text[length++] = '\t';
            std::memcpy(s.text + length, a, static_cast<std::size_t>(la));
            length += la;
            s.text[length++] = '\t';
            std::memcpy(s.text + length, b, static_cast<std::size_t>(lb));
            length += lb;
            ++pairs;
        }
        endLine();
        if (pairs != announced) return false; // a report
        s.classId = classId;
        s.pairCount = static_cast<std::uint16_t>(pairs);
        s.textLength = static_cast<std::uint16_t>(length);
        ++sectionCount_;
        return true;
    }

    // The image of the package, as flattenPackage lays it out (sections of Class ID 0 left
    // out, one class entry per distinct Class ID in order of first appearance), then its display
    // name, into the log.
    void finishPackage() {
        std::int32_t classIds[kMaxSections];
        int classFirst[kMaxSections];
        int classCount = 0, sections = 0;
        std::size_t size = 0;
        for (int i = 0; i < sectionCount_; ++i) {
            const std::int32_t id = sections_[i].classId;
            if (id == 0) continue;
            ++sections;
            size += kSectionHeaderSize + sections_[i].textLength;
            int k = 0;
            while (k < classCount && classIds[k] != id)
                ++k;
            if (k == classCount) {
                classIds[classCount] = id;
                classFirst[classCount++] = i;
            }
        }
        const std::size_t textAt = classEntryOffset(classCount);
        const std::size_t sectionsAt = textAt + static_cast<std::size_t>(fieldLength_);
        size += sectionsAt + nets_.size();

        std::vector<unsigned char>& bytes = log_->bytes;
        const std::size_t at = bytes.size();
        const std::string_view name =
            TrimBlanks({fieldText_, static_cast<std::size_t>(nameLength_)});
        bytes.resize(at + size + name.size());
        unsigned char* const image = bytes.data() + at;
        putHost16(image, static_cast<std::uint16_t>(sections));
        putHost16(image + 2, static_cast<std::uint16_t>(netCount_));
        putHost16(image + 4, static_cast<std::uint16_t>(classCount));
        putHost16(image + 6, static_cast<std::uint16_t>(fieldLength_));
        std::memcpy(image + textAt, fieldText_, static_cast<std::size_t>(fieldLength_));
        std::size_t pos = sectionsAt;
        int nextClass = 0;
        for (int i = 0; i < sectionCount_; ++i) {
            const QuickSection& s = sections_[i];
            if (s.classId == 0) continue;
            if (nextClass < classCount && classFirst[nextClass] == i) {
                unsigned char* const entry = image + classEntryOffset(nextClass);
                putHost32(entry, 0);
                putHost16(entry + 4, static_cast<std::uint16_t>(image + pos - entry));
                putHost16(entry + 6,
                          static_cast<std::uint16_t>(-static_cast<std::int32_t>(entry - image)));
                ++nextClass;
            }
            putHost32(image + pos, static_cast<std::uint32_t>(s.classId));
            putHost16(image + pos + 4, s.pairCount);
            putHost16(image + pos + 6, s.textLength);
            std::memcpy(image + pos + kSectionHeaderSize, s.text, s.textLength);
            pos += kSectionHeaderSize + s.textLength;
        }
        if (!nets_.empty()) std::memcpy(image + pos, nets_.data(), nets_.size());
        std::memcpy(image + size, name.data(), name.size());

        PieceEvent e;
        e.markedLine = line_;
        e.markedStart = lineStart_;
        e.image = static_cast<std::uint32_t>(at);
        e.imageSize = static_cast<std::uint32_t>(size);
        e.name = e.image + e.imageSize;
        e.nameSize = static_cast<std::uint32_t>(name.size());
        log_->events.push_back(e);
    }

    const unsigned char* const begin_;
    const unsigned char* p_;
    const unsigned char* const end_;
    const long start_;
    long line_ = 1;
    long lineStart_;
    PieceLog* log_;

    // The package being read.
    char fieldText_[6 * 256];
    int fieldLength_ = 0;
    int nameLength_ = 0;
    QuickSection sections_[kMaxSections];
    int sectionCount_ = 0;
    std::vector<unsigned char> nets_; // the nets as the image stores them
    int netCount_ = 0;
};

} // namespace

bool parsePieceQuickly(const unsigned char* bytes, long size, long start, PieceLog* log) {
    QuickPiece piece(bytes, size, start, log);
    return piece.run();
}
