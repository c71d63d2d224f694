// Text export: each Package written as its header line, its nets and its sections.
#include "textfmt/Export.h"

#include "model/Image.h"
#include "textfmt/TextFileWriter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <new>

const char* exportErrorText(OSErr err) {
    return err == kReplaceOriginalErr ? "You cannot replace the original file." : nullptr;
}

namespace {

// The text is handled eight bytes at a time, in words whose lowest byte is the first in memory
// on every host; a text of eight bytes or more ends with a word that overlaps the one before it,
// converted again to the same bytes.
constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kTabToComma = '\t' ^ ',';

std::uint64_t loadWord(const char* s) {
    std::uint64_t word;
    std::memcpy(&word, s, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

void storeWord(char* p, std::uint64_t word) {
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    std::memcpy(p, &word, 8);
}

// 0x01 in each byte of word that is a TAB, 0 in every other byte (exact: no false matches).
std::uint64_t tabsOf(std::uint64_t word) {
    const std::uint64_t x = word ^ (kOnes * '\t');
    const std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    return (~(((x & low7) + low7) | x) >> 7) & kOnes;
}

// Copies text to p with every TAB turned into a comma; returns the end of the copy.
char* copyWithCommas(char* p, std::string_view text) {
    const char* s = text.data();
    const std::size_t n = text.size();
    if (n < 8) {
        for (std::size_t i = 0; i < n; ++i)
            p[i] = s[i] == '\t' ? ',' : s[i];
        return p + n;
    }
    for (std::size_t at = 0;; at += 8) {
        if (at > n - 8) at = n - 8;
        const std::uint64_t word = loadWord(s + at);
        storeWord(p + at, word ^ tabsOf(word) * kTabToComma);
        if (at == n - 8) return p + n;
    }
}

// Copies the pin number changes of a section: counting the TABs from the first, every second one
// becomes a comma, so that each pair reads unpackaged pin, comma, packaged pin. In a word, byte k
// of tabs * kOnes counts the TABs up to and including byte k: an odd count (after an even number
// of TABs before the word) marks a TAB that becomes a comma.
char* copyPairs(char* p, std::string_view text) {
    const char* s = text.data();
    const std::size_t n = text.size();
    if (n < 8) {
        bool comma = true;
        for (std::size_t i = 0; i < n; ++i) {
            const bool tab = s[i] == '\t';
            p[i] = tab && comma ? ',' : s[i];
            comma ^= tab;
        }
        return p + n;
    }
    std::uint64_t before = 0; // TABs before the word, counted modulo 2
    for (std::size_t at = 0;; at += 8) {
        if (at > n - 8) {
            // The last word starts inside the one before: uncount the TABs they share.
            const std::size_t overlap = at - (n - 8); // 1 to 7 bytes
            const std::uint64_t shared =
                tabsOf(loadWord(s + n - 8)) & (~std::uint64_t(0) >> (64 - 8 * overlap));
            before ^= std::uint64_t(std::popcount(shared)) & 1;
            at = n - 8;
        }
        const std::uint64_t word = loadWord(s + at);
        const std::uint64_t tabs = tabsOf(word);
        const std::uint64_t counts = tabs * kOnes;
        const std::uint64_t commas = tabs & (counts ^ (before * kOnes));
        storeWord(p + at, word ^ commas * kTabToComma);
        if (at == n - 8) return p + n;
        before ^= (counts >> 56) & 1;
    }
}

// "00" to "99", two characters each.
constexpr auto kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[std::size_t(2 * i)] = static_cast<char>('0' + i / 10);
        pairs[std::size_t(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Decimal digits of value. Class IDs and pair counts are nearly always below 10000: those are
// written as two pairs of digits at most.
char* putNumber(char* p, long value) {
    if (value < 0 || value >= 10000) return std::to_chars(p, p + 24, value).ptr;
    const auto high = static_cast<std::size_t>(value / 100),
               low = static_cast<std::size_t>(value % 100);
    if (high == 0) {
        if (low < 10) {
            *p = static_cast<char>('0' + low);
            return p + 1;
        }
        std::memcpy(p, &kDigitPairs[2 * low], 2);
        return p + 2;
    }
    if (high < 10) {
        *p++ = static_cast<char>('0' + high);
    } else {
        std::memcpy(p, &kDigitPairs[2 * high], 2);
        p += 2;
    }
    std::memcpy(p, &kDigitPairs[2 * low], 2);
    return p + 2;
}

} // namespace

namespace {

// The scalars of an image in host order (an image in memory) or big-endian (a record as stored).
template <bool kFileOrder> std::uint16_t read16(const char* p) {
    return kFileOrder ? getBE16(p) : getHost16(p);
}
template <bool kFileOrder> std::uint32_t read32(const char* p) {
    return kFileOrder ? getBE32(p) : getHost32(p);
}

// One pass checks every part against the block and finds where the nets begin (they follow the
// sections in the image but come first in the text); the text is then written in one go into
// room for the most it can take: the image's own bytes (every text of the image appears once)
// plus the line starts and numbers added per part. With onlyValid, an image that is not a valid
// Package is skipped as well; false then means nothing was appended.
template <bool kFileOrder>
bool appendText(const char* data, std::size_t length, bool onlyValid, std::string* out) {
    if (!data || length < kImageHeaderSize) return false;
    const std::uint16_t sectionCount = read16<kFileOrder>(data),
                        netCount = read16<kFileOrder>(data + 2),
                        classCount = read16<kFileOrder>(data + 4),
                        fieldTextLength = read16<kFileOrder>(data + 6);
    const std::size_t textAt = classEntryOffset(classCount);
    const std::size_t sectionsAt = textAt + fieldTextLength;
    if (sectionsAt > length) return false;
    std::size_t pos = sectionsAt;
    for (int i = 0; i < sectionCount; ++i) {
        if (pos + kSectionHeaderSize > length) return false;
        pos += kSectionHeaderSize + read16<kFileOrder>(data + pos + 6);
        if (pos > length) return false;
    }
    const std::size_t netsAt = pos;
    for (int i = 0; i < netCount; ++i) {
        if (pos + kNetHeaderSize > length) return false;
        const std::size_t n = read16<kFileOrder>(data + pos);
        if (pos + kNetHeaderSize + n > length) return false;
        pos += kNetHeaderSize + n;
    }
    std::string_view header(data + textAt, fieldTextLength);
    if (onlyValid && (sectionCount < 1 || !packageFieldsAreValid(header))) return false;

    // The text of a usual Package fits a buffer on the stack and is then appended in one piece;
    // a larger one is written in room made at the end of out (which clears that room first).
    constexpr std::size_t kPerNet = 4;                      // CR LF TAB backslash
    constexpr std::size_t kPerSection = 3 + 11 + 1 + 5 + 1; // CR LF TAB, id, comma, count, TAB
    const std::size_t most = length + kPerNet * netCount + kPerSection * sectionCount + 2;
    char local[2048];
    const std::size_t start = out->size();
    if (most > sizeof local) out->resize(start + most);
    char* const base = most > sizeof local ? out->data() + start : local;
    char* p = base;

    while (!header.empty() &&
           (header.back() == '\t' || header.back() == '\n' || header.back() == '\r'))
        header.remove_suffix(1);
    p = copyWithCommas(p, header);

    pos = netsAt;
    for (int i = 0; i < netCount; ++i) {
        const std::size_t n = read16<kFileOrder>(data + pos);
        p = std::copy_n("\r\n\t\\", 4, p);
        // A stored net text longer than a net item holds is cut to its first 255 bytes.
        p = copyWithCommas(p, {data + pos + kNetHeaderSize, std::min(n, kMaxNetText)});
        pos += kNetHeaderSize + n;
    }

    pos = sectionsAt;
    for (int i = 0; i < sectionCount; ++i) {
        const char* section = data + pos;
        const std::size_t n = read16<kFileOrder>(section + 6);
        pos += kSectionHeaderSize + n;
        p = std::copy_n("\r\n\t", 3, p);
        p = putNumber(p, static_cast<std::int32_t>(read32<kFileOrder>(section)));
        *p++ = ',';
        p = putNumber(p, read16<kFileOrder>(section + 4));
        if (n == 0) continue;
        *p++ = '\t';
        p = copyPairs(p, {section + kSectionHeaderSize, n});
    }
    p = std::copy_n("\r\n", 2, p);
    const auto written = static_cast<std::size_t>(p - base);
    if (base == local)
        out->append(local, written);
    else
        out->resize(start + written);
    return true;
}

} // namespace

bool appendImageText(const char* data, std::size_t length, std::string* out) {
    return appendText<false>(data, length, false, out);
}

bool appendRecordText(const unsigned char* data, std::size_t length, std::string* out) {
    return appendText<true>(reinterpret_cast<const char*>(data), length, true, out);
}

OSErr appendRecordIfValid(const unsigned char* data, std::size_t length, std::string* out) {
    try {
        appendRecordText(data, length, out);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}

OSErr appendIfValid(Handle image, std::string* out) {
    if (!imageIsValid(image)) return noErr;
    try {
        appendImageText(image->data, static_cast<std::size_t>(image->size), out);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}

std::string imageToText(Handle image) {
    std::string text;
    if (image) appendImageText(image->data, static_cast<std::size_t>(image->size), &text);
    return text;
}

OSErr exportRecordFile(RecordFile& records, const std::string& textPath, const ExportHooks& hooks) {
    if (FSpSameFile(FSSpec::fromPath(textPath), FSSpec::fromPath(records.path())))
        return kReplaceOriginalErr;
    TextFileWriter writer;
    OSErr err = writer.open(textPath);
    if (err != noErr) return writer.close(err);
    // Each record is converted where the scan holds it, in the order it is stored; a malformed
    // image and an invalid Package are skipped.
    const OSErr scanned =
        records.scanRecords(kRecordPackage, [&](const RecordInfo& info, const unsigned char* data) {
            if ((err = appendRecordIfValid(data, info.length, &writer.buffer())) != noErr)
                return false;
            if (hooks.progress) hooks.progress(static_cast<long>(info.position), 0);
            return (err = writer.written()) == noErr;
        });
    return writer.close(err != noErr ? err : scanned);
}
