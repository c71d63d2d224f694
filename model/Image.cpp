// The package image: flattening, expanding, renaming in place, bounds-checked reading and the
// byte swapping between host and file order.
#include "model/Image.h"

#include "toolbox/core/FieldText.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "mixed-endian hosts are not supported");

// --- Reading ----------------------------------------------------------------------------------

bool readImageHeader(const char* data, std::size_t len, ImageHeader* out) {
    if (!data || len < kImageHeaderSize) return false;
    out->sectionCount = getHost16(data);
    out->netCount = getHost16(data + 2);
    out->classCount = getHost16(data + 4);
    out->fieldTextLength = getHost16(data + 6);
    return true;
}

int imageSectionCount(Handle image) {
    ImageHeader h;
    if (!image || !readImageHeader(image->data, std::size_t(image->size), &h)) return -1;
    return h.sectionCount;
}

std::string_view imageFieldText(const char* data, std::size_t len) {
    ImageHeader h;
    if (!readImageHeader(data, len, &h)) return {};
    const std::size_t start = classEntryOffset(h.classCount);
    if (start + h.fieldTextLength > len) return {};
    return {data + start, h.fieldTextLength};
}

std::string_view imageFieldText(Handle image) {
    return image ? imageFieldText(image->data, std::size_t(image->size)) : std::string_view{};
}

Str255 imageField(Handle image, int field) {
    std::string_view text = imageFieldText(image);
    return Str255(GetFieldView(text.data(), Size(text.size()), field));
}

bool imageClassEntry(const char* data, std::size_t len, int i, ClassEntry* out) {
    ImageHeader h;
    if (!readImageHeader(data, len, &h) || i < 0 || i >= h.classCount) return false;
    const std::size_t at = classEntryOffset(i);
    if (at + kClassEntrySize > len) return false;
    out->classLink = getHost32(data + at);
    out->sectionOffset = getHost16(data + at + 4);
    out->backOffset = std::int16_t(getHost16(data + at + 6));
    return true;
}

bool imageClassEntry(Handle image, int i, ClassEntry* out) {
    return image && imageClassEntry(image->data, std::size_t(image->size), i, out);
}

bool imageClassEntryClassId(const char* data, std::size_t len, int i, std::int32_t* classId) {
    ClassEntry e;
    if (!imageClassEntry(data, len, i, &e)) return false;
    const std::size_t at = classEntryOffset(i) + e.sectionOffset;
    if (at + kSectionHeaderSize > len) return false;
    *classId = std::int32_t(getHost32(data + at));
    return true;
}

bool setImageClassLink(char* data, std::size_t len, int i, std::uint32_t link) {
    ClassEntry e;
    if (!imageClassEntry(data, len, i, &e)) return false;
    putHost32(data + classEntryOffset(i), link);
    return true;
}

ImageReader::ImageReader(const char* data, std::size_t len) : data_(data), len_(len) {
    if (!readImageHeader(data, len, &header_)) return;
    pos_ = classEntryOffset(header_.classCount) + header_.fieldTextLength;
    if (pos_ > len) return;
    sectionsLeft_ = header_.sectionCount;
    netsLeft_ = header_.netCount;
    ok_ = true;
}

ImageReader::ImageReader(Handle image)
    : ImageReader(image ? image->data : nullptr, image ? std::size_t(image->size) : 0) {}

std::string_view ImageReader::fieldText() const {
    return imageFieldText(data_, len_);
}

bool ImageReader::nextSection(ImageSection* out) {
    if (!ok_ || sectionsLeft_ == 0) return false;
    if (pos_ + kSectionHeaderSize > len_) return ok_ = false;
    const char* p = data_ + pos_;
    const std::uint16_t textLength = getHost16(p + 6);
    if (pos_ + kSectionHeaderSize + textLength > len_) return ok_ = false;
    out->offset = pos_;
    out->classId = std::int32_t(getHost32(p));
    out->pinChangeCount = getHost16(p + 4);
    out->text = {p + kSectionHeaderSize, textLength};
    pos_ += kSectionHeaderSize + textLength;
    --sectionsLeft_;
    return true;
}

bool ImageReader::nextNet(ImageNet* out) {
    ImageSection skipped;
    while (sectionsLeft_ > 0) {
        if (!nextSection(&skipped)) return false;
    }
    if (!ok_ || netsLeft_ == 0) return false;
    if (pos_ + kNetHeaderSize > len_) return ok_ = false;
    const std::uint16_t textLength = getHost16(data_ + pos_);
    if (pos_ + kNetHeaderSize + textLength > len_) return ok_ = false;
    out->offset = pos_;
    out->text = {data_ + pos_ + kNetHeaderSize, textLength};
    pos_ += kNetHeaderSize + textLength;
    --netsLeft_;
    return true;
}

// --- Flattening -------------------------------------------------------------------------------

namespace {

// One layout of a package record into an image. With out == nullptr it only measures; the same
// code then writes into a block of the measured size, so both passes agree by construction.
// NetsMeasured::all measures every net item, valid or not: an upper bound that spares the
// validity checks, which the writing pass then makes once.
struct Layout {
    std::int32_t classIds[kMaxSections];
    int classCount = 0;

    int classIndex(std::int32_t id) const {
        for (int k = 0; k < classCount; ++k)
            if (classIds[k] == id) return k;
        return -1;
    }
};

enum class NetsMeasured { validOnly, all };

OSErr layOut(const PackageRecord& r, char* out, std::size_t* size,
             NetsMeasured measured = NetsMeasured::validOnly) {
    Layout l;
    int sections = 0;
    for (int i = 1; i <= r.sectionCount; ++i) {
        const ComponentSection* s = sectionAt(r, i);
        if (s->classId == 0) continue;
        ++sections;
        if (l.classIndex(s->classId) < 0) l.classIds[l.classCount++] = s->classId;
    }

    std::size_t pos = classEntryOffset(l.classCount);
    const std::string_view text =
        r.fieldText ? std::string_view(r.fieldText->data, std::size_t(GetHandleSize(r.fieldText)))
                    : std::string_view{};
    if (text.size() > 0xFFFF) return paramErr;
    if (out && !text.empty()) BlockMove(text.data(), out + pos, Size(text.size()));
    pos += text.size();

    bool entrySet[kMaxSections] = {};
    for (int i = 1; i <= r.sectionCount; ++i) {
        const ComponentSection* s = sectionAt(r, i);
        if (s->classId == 0) continue;
        const Size textLength = GetHandleSize(s->pinChanges);
        if (textLength > 0xFFFF) return paramErr;
        const int k = l.classIndex(s->classId);
        if (!entrySet[k]) {
            entrySet[k] = true;
            const std::size_t entry = classEntryOffset(k);
            if (pos - entry > 0xFFFF) return paramErr;
            if (out) {
                putHost32(out + entry, 0);
                putHost16(out + entry + 4, std::uint16_t(pos - entry));
                putHost16(out + entry + 6, std::uint16_t(-std::int32_t(entry)));
            }
        }
        if (out) {
            putHost32(out + pos, std::uint32_t(s->classId));
            putHost16(out + pos + 4, s->pinChangeCount);
            putHost16(out + pos + 6, std::uint16_t(textLength));
            if (textLength > 0)
                BlockMove(s->pinChanges->data, out + pos + kSectionHeaderSize, textLength);
        }
        pos += kSectionHeaderSize + std::size_t(textLength);
    }

    int nets = 0;
    for (const NetItem* n = r.hiddenConnections; n; n = n->next) {
        if (measured == NetsMeasured::validOnly && !netItemIsValid(n)) continue;
        ++nets;
        if (out) {
            putHost16(out + pos, n->textLength);
            if (n->textLength > 0) BlockMove(n->text, out + pos + kNetHeaderSize, n->textLength);
        }
        pos += kNetHeaderSize + n->textLength;
    }
    if (nets > 0xFFFF) return paramErr;

    if (out) {
        putHost16(out, std::uint16_t(sections));
        putHost16(out + 2, std::uint16_t(nets));
        putHost16(out + 4, std::uint16_t(l.classCount));
        putHost16(out + 6, std::uint16_t(text.size()));
    }
    *size = pos;
    return noErr;
}

} // namespace

// The block is sized by the upper bound and cut to what the writing pass used. Only when the bound
// is refused (more nets than the count can hold, some of them perhaps invalid) does an exact
// measure decide.
static OSErr measure(const PackageRecord& r, std::size_t* size) {
    if (layOut(r, nullptr, size, NetsMeasured::all) != noErr) {
        if (OSErr err = layOut(r, nullptr, size)) return err;
    }
    return *size > 0x7FFFFFFF ? paramErr : noErr;
}

OSErr flattenPackage(const PackageRecord& r, std::vector<unsigned char>* bytes) {
    std::size_t size = 0;
    if (OSErr err = measure(r, &size)) return err;
    const std::size_t at = bytes->size();
    try {
        bytes->resize(at + size);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    const OSErr err = layOut(r, reinterpret_cast<char*>(bytes->data() + at), &size);
    bytes->resize(err == noErr ? at + size : at);
    return err;
}

OSErr flattenPackage(const PackageRecord& r, UniqueHandle* image) {
    std::size_t size = 0;
    if (OSErr err = measure(r, &size)) return err;
    UniqueHandle h(NewHandle(Size(size)));
    if (!h) return memFullErr;
    if (OSErr err = layOut(r, h.data(), &size)) return err;
    SetHandleSize(h.get(), Size(size)); // never larger than the block: cannot fail
    *image = std::move(h);
    return noErr;
}

// --- Expanding --------------------------------------------------------------------------------

OSErr expandImage(Handle image, PackageRecord* out) {
    out->disposeContents();
    ImageReader reader(image);
    if (!reader.ok()) return paramErr;
    PackageRecord r;
    const std::string_view text = reader.fieldText();
    r.fieldText = PtrToHand(text.data(), Size(text.size()));
    if (!r.fieldText) return memFullErr;

    ImageSection s;
    while (reader.nextSection(&s)) {
        ComponentSection c;
        c.classId = s.classId;
        c.pinChangeCount = s.pinChangeCount;
        if (!s.text.empty()) {
            c.pinChanges = PtrToHand(s.text.data(), Size(s.text.size()));
            if (!c.pinChanges) return memFullErr;
        }
        if (OSErr err = addSection(r, 0, c)) return err;
    }
    // A stored net text longer than a net item holds is cut to its first 255 bytes.
    ImageNet n;
    while (reader.nextNet(&n)) {
        NetItem* item = newNetItem(n.text);
        if (!item) return memFullErr;
        pushNetItem(r, item);
    }
    if (!reader.ok()) return paramErr;
    reverseNetItems(r);
    *out = std::move(r);
    return noErr;
}

// --- Renaming in place ------------------------------------------------------------------------

OSErr renameImage(Handle image, std::string_view newName) {
    ImageHeader h;
    if (!image || !readImageHeader(image->data, std::size_t(image->size), &h)) return paramErr;
    const std::size_t size = std::size_t(image->size);
    const std::size_t textStart = classEntryOffset(h.classCount);
    if (textStart + h.fieldTextLength > size) return paramErr;

    const std::string_view text(image->data + textStart, h.fieldTextLength);
    const std::size_t oldLength = std::min(text.find('\t'), text.size());
    const long delta = long(newName.size()) - long(oldLength);
    if (long(h.fieldTextLength) + delta > 0xFFFF) return paramErr;

    // Every class entry must still reach its section after the move.
    ClassEntry e;
    for (int i = 0; i < h.classCount; ++i) {
        if (!imageClassEntry(image->data, size, i, &e)) return paramErr;
        const long moved = long(e.sectionOffset) + delta;
        if (moved < 0 || moved > 0xFFFF) return paramErr;
    }

    const std::size_t tail = textStart + oldLength; // first byte after the old name
    const std::size_t tailLength = size - tail;
    if (delta > 0 && SetHandleSize(image, Size(long(size) + delta)) != noErr) return memFullErr;
    char* d = image->data;
    BlockMove(d + tail, d + tail + delta, Size(tailLength));
    if (!newName.empty()) BlockMove(newName.data(), d + textStart, Size(newName.size()));
    if (delta < 0) SetHandleSize(image, Size(long(size) + delta)); // shrinking keeps the content

    putHost16(d + 6, std::uint16_t(h.fieldTextLength + delta));
    for (int i = 0; i < h.classCount; ++i) {
        char* entry = d + classEntryOffset(i);
        putHost16(entry + 4, std::uint16_t(getHost16(entry + 4) + delta));
    }
    return noErr;
}

// --- Validity and consistency -----------------------------------------------------------------

bool imageIsValid(Handle image) {
    // A field text that does not fit the block reads as empty, so the image is not valid.
    return imageSectionCount(image) >= 1 && packageFieldsAreValid(imageFieldText(image));
}

bool packageFieldsAreValid(std::string_view text) {
    const std::size_t tab = text.find('\t');
    if (tab == std::string_view::npos) return false;
    const std::string_view prefix = text.substr(tab + 1, text.find('\t', tab + 1) - tab - 1);
    return text.substr(0, tab).find_first_not_of(' ') != std::string_view::npos &&
           prefix.find_first_not_of(' ') != std::string_view::npos;
}

namespace {

bool fail(std::string* why, std::string message) {
    if (why) *why = std::move(message);
    return false;
}

} // namespace

bool imageIsConsistent(const char* data, std::size_t len, std::string* why) {
    ImageHeader h;
    if (!readImageHeader(data, len, &h)) return fail(why, "shorter than the image header");
    if (classEntryOffset(h.classCount) + h.fieldTextLength > len)
        return fail(why, "class table and field text run past the end");
    if (h.classCount > h.sectionCount) return fail(why, "more classes than sections");
    if (h.classCount > kMaxSections) return fail(why, "more than 26 classes");

    // Walk the sections, noting the first section of each Class ID in order of appearance.
    ImageReader reader(data, len);
    std::int32_t firstIds[kMaxSections];
    std::size_t firstOffsets[kMaxSections];
    int distinct = 0;
    ImageSection s;
    for (int i = 0; i < h.sectionCount; ++i) {
        if (!reader.nextSection(&s))
            return fail(why, "section " + std::to_string(i + 1) + " runs past the end");
        if (s.classId == 0) continue;
        bool seen = false;
        for (int k = 0; k < distinct && !seen; ++k)
            seen = firstIds[k] == s.classId;
        if (seen) continue;
        if (distinct == h.classCount)
            return fail(why, "more distinct Class IDs than the class count " +
                                 std::to_string(h.classCount));
        firstIds[distinct] = s.classId;
        firstOffsets[distinct++] = s.offset;
    }
    if (distinct != h.classCount)
        return fail(why, "class count " + std::to_string(h.classCount) + " but " +
                             std::to_string(distinct) + " distinct Class IDs");
    ImageNet n;
    for (int i = 0; i < h.netCount; ++i) {
        if (!reader.nextNet(&n))
            return fail(why, "net item " + std::to_string(i + 1) + " runs past the end");
        if (n.text.size() > kMaxNetText)
            return fail(why, "net item " + std::to_string(i + 1) + " is longer than 255 bytes");
    }
    if (reader.position() != len)
        return fail(why,
                    std::to_string(len - reader.position()) + " stray bytes after the last part");

    ClassEntry e;
    for (int k = 0; k < h.classCount; ++k) {
        imageClassEntry(data, len, k, &e);
        const std::size_t at = classEntryOffset(k);
        if (e.backOffset != -std::int32_t(at))
            return fail(why, "class entry " + std::to_string(k + 1) + " has a wrong back offset");
        if (at + e.sectionOffset != firstOffsets[k])
            return fail(why, "class entry " + std::to_string(k + 1) +
                                 " does not point at the first section of Class ID " +
                                 std::to_string(firstIds[k]));
    }
    return true;
}

// --- Byte swapping ----------------------------------------------------------------------------

namespace {

// Reverses n bytes in place: the swap of one n-byte value between the two byte orders.
inline void reverseBytes(char* p, int n) {
    for (int i = 0, j = n - 1; i < j; ++i, --j)
        std::swap(p[i], p[j]);
}

// Calls f(letter, count) for each element of a template.
template <class F> void parseTemplate(const char* tmpl, F&& f) {
    const char* p = tmpl;
    while (*p) {
        const char letter = *p++;
        if (letter == ' ' || (letter >= '0' && letter <= '9')) continue;
        std::size_t count = 0;
        bool counted = false;
        while (*p >= '0' && *p <= '9') {
            count = count * 10 + std::size_t(*p++ - '0');
            counted = true;
        }
        f(letter, counted ? count : 1);
    }
}

std::size_t elementSize(char letter) {
    switch (letter) {
    case 'L':
        return 4;
    case 'W':
        return 2;
    case 'F':
        return 8;
    default:
        return 1; // a skip: the count is the number of bytes
    }
}

constexpr bool kHostIsBig = std::endian::native == std::endian::big;

// The structures of an image, by their layout templates: the header "W4", a class entry or a
// section header "LW2", a net's length "W".
enum class ImagePart { header, entry, net };

void swap16(char* p) {
    putHost16(p, __builtin_bswap16(getHost16(p)));
}

// The same as swapByTemplate with the part's template, without reading the template.
void swapPart(char* p, ImagePart part) {
    switch (part) {
    case ImagePart::header:
        for (int i = 0; i < 4; ++i)
            swap16(p + 2 * i);
        break;
    case ImagePart::entry:
        putHost32(p, __builtin_bswap32(getHost32(p)));
        swap16(p + 4);
        swap16(p + 6);
        break;
    case ImagePart::net:
        swap16(p);
        break;
    }
}

// Walks an image whose counts and lengths are read in host order (bigEndian false) or file order
// (true), calling swap(offset, part) for each structure. False when a part would leave the
// block; the walk then stops before calling swap on anything out of bounds.
template <class Swap>
bool walkImage(const char* data, std::size_t len, bool bigEndian, Swap&& swap) {
    auto u16 = [&](std::size_t at) {
        return bigEndian ? getBE16(data + at) : getHost16(data + at);
    };
    if (len < kImageHeaderSize) return false;
    const std::size_t sections = u16(0), nets = u16(2), classes = u16(4), textLength = u16(6);
    swap(0, ImagePart::header);
    std::size_t pos = classEntryOffset(int(classes));
    if (pos + textLength > len) return false;
    for (std::size_t k = 0; k < classes; ++k)
        swap(classEntryOffset(int(k)), ImagePart::entry);
    pos += textLength;
    for (std::size_t i = 0; i < sections; ++i) {
        if (pos + kSectionHeaderSize > len) return false;
        const std::size_t t = u16(pos + 6);
        if (pos + kSectionHeaderSize + t > len) return false;
        swap(pos, ImagePart::entry);
        pos += kSectionHeaderSize + t;
    }
    for (std::size_t i = 0; i < nets; ++i) {
        if (pos + kNetHeaderSize > len) return false;
        const std::size_t n = u16(pos);
        if (pos + kNetHeaderSize + n > len) return false;
        swap(pos, ImagePart::net);
        pos += kNetHeaderSize + n;
    }
    return true;
}

// Checks the structure first (reading counts in the order the block is in now), then swaps.
// The counts are read before any swapping, so both directions read them in the right order.
// The order the image's counts are in before the swap.
enum class CountsIn { hostOrder, bigEndian };

OSErr swapImage(char* data, std::size_t len, CountsIn in) {
    const bool countsAreBig = in == CountsIn::bigEndian || kHostIsBig;
    if (!data || !walkImage(data, len, countsAreBig, [](std::size_t, ImagePart) {}))
        return paramErr;
    if (kHostIsBig) return noErr;
    // Swap the parts behind the header first, while the header's counts are still readable in
    // the order the walk expects, and the header last.
    walkImage(data, len, countsAreBig, [&](std::size_t at, ImagePart part) {
        if (at != 0) swapPart(data + at, part);
    });
    swapPart(data, ImagePart::header);
    return noErr;
}

} // namespace

void swapByTemplate(char* data, const char* tmpl) {
    if (kHostIsBig) return;
    char* p = data;
    parseTemplate(tmpl, [&](char letter, std::size_t count) {
        const std::size_t size = elementSize(letter);
        if (size == 1) {
            p += count;
            return;
        }
        for (std::size_t i = 0; i < count; ++i, p += size)
            reverseBytes(p, int(size));
    });
}

std::size_t templateSize(const char* tmpl) {
    std::size_t total = 0;
    parseTemplate(tmpl,
                  [&](char letter, std::size_t count) { total += elementSize(letter) * count; });
    return total;
}

OSErr swapImageToFile(char* data, std::size_t len) {
    return swapImage(data, len, CountsIn::hostOrder);
}

OSErr swapImageToHost(char* data, std::size_t len) {
    return swapImage(data, len, CountsIn::bigEndian);
}
