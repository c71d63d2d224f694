// The package image: the stored form of a Package, one contiguous block with the exact layout of
// a type 1 record, held in memory in HOST byte order. Offsets from the start of the image:
//
//   0   section count S   (16-bit)
//   2   net count N       (16-bit)
//   4   class count K     (16-bit, distinct non-zero Class IDs)
//   6   field text length L (16-bit)
//   8   class table: K entries of 8 bytes {class link 32, section offset 16, back offset 16}
//   8+8K field text (L bytes)
//   then S sections: {Class ID 32, pin change count 16, text length T 16} + T bytes
//   then N nets: {text length n 16} + n bytes (n <= 255)
//
// A net text stored longer than 255 bytes does not make the image unreadable: the reader walks
// over it, expanding and the text export keep its first 255 bytes, and only the consistency
// check counts it as a fault.
//
// A class entry's section offset is the distance from the entry to the header of the first
// section with its Class ID; its back offset is minus the entry's offset in the image; its class
// link is 0 in a fresh image and is set by the class index rebuild.
//
// Every accessor here checks its bounds against the block's length and never reads outside it:
// images read from a file are untrusted.
#pragma once
#include "model/ByteOrder.h"
#include "model/Package.h"
#include "toolbox/core/Memory.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t kImageHeaderSize = 8;
constexpr std::size_t kClassEntrySize = 8;
constexpr std::size_t kSectionHeaderSize = 8;
constexpr std::size_t kNetHeaderSize = 2;

// --- Conversions ------------------------------------------------------------------------------

// Flattens a package record into a new image (measure pass, then write pass). Only sections with
// a non-zero Class ID and only valid net items are stored. memFullErr on allocation failure, or
// paramErr when a part does not fit its 16-bit length.
OSErr flattenPackage(const PackageRecord& r, UniqueHandle* image);
// The same, the image appended to *bytes (left as it was on failure).
OSErr flattenPackage(const PackageRecord& r, std::vector<unsigned char>* bytes);
// Expands an image into a fresh package record (out is emptied first). Nets come back in stored
// order, each text cut to 255 bytes. paramErr when the image is malformed, memFullErr on
// allocation failure.
OSErr expandImage(Handle image, PackageRecord* out);
// Replaces field 1 of the image's field text in place; class entries' section offsets move by
// the change in length. paramErr when the image is malformed or the text would exceed 65535.
OSErr renameImage(Handle image, std::string_view newName);

// Section count >= 1 and fields 1 and 2, trimmed, both non-empty. False for a malformed image.
bool imageIsValid(Handle image);
// The field text's part of that test: fields 1 and 2 both hold something other than blanks.
bool packageFieldsAreValid(std::string_view fieldText);
// Verifies the whole structure: the parts tile the block exactly, every net length is at most
// 255, the class count equals the number of distinct non-zero Class IDs, each class entry's back
// offset is minus its own offset, and its section offset lands on a section header carrying the
// first occurrence of its Class ID, in order of first appearance. On failure, *why (if given)
// says what is wrong.
bool imageIsConsistent(const char* data, std::size_t len, std::string* why);
inline bool imageIsConsistent(Handle image, std::string* why) {
    return image && imageIsConsistent(image->data, static_cast<std::size_t>(image->size), why);
}

// --- Bounds-checked accessors -----------------------------------------------------------------

struct ImageHeader {
    std::uint16_t sectionCount = 0;
    std::uint16_t netCount = 0;
    std::uint16_t classCount = 0;
    std::uint16_t fieldTextLength = 0;
};

struct ClassEntry {
    std::uint32_t classLink = 0;
    std::uint16_t sectionOffset = 0; // from the entry to its section header
    std::int16_t backOffset = 0;     // minus the entry's offset in the image
};

struct ImageSection {
    std::size_t offset = 0; // offset of the section header in the image
    std::int32_t classId = 0;
    std::uint16_t pinChangeCount = 0;
    std::string_view text; // pin number changes
};

struct ImageNet {
    std::size_t offset = 0; // offset of the length word in the image
    std::string_view text;
};

// False when the block is shorter than the header.
bool readImageHeader(const char* data, std::size_t len, ImageHeader* out);
// Section count from the header; -1 when the image is too short.
int imageSectionCount(Handle image);
// The field text; empty when it does not fit the block. Valid while the image is unchanged.
std::string_view imageFieldText(const char* data, std::size_t len);
std::string_view imageFieldText(Handle image);
// Field i (from 1) of the field text, cut to 255 characters.
Str255 imageField(Handle image, int field);
// Class entry i (from 0). False when i >= class count or the entry lies outside the block.
bool imageClassEntry(const char* data, std::size_t len, int i, ClassEntry* out);
bool imageClassEntry(Handle image, int i, ClassEntry* out);
// Offset of class entry i in the image (8 + 8i).
constexpr std::size_t classEntryOffset(int i) {
    return kImageHeaderSize + kClassEntrySize * i;
}
// The Class ID of the section that class entry i points to. False when it points outside.
bool imageClassEntryClassId(const char* data, std::size_t len, int i, std::int32_t* classId);
// Sets class entry i's class link in place (host order). False when out of bounds.
bool setImageClassLink(char* data, std::size_t len, int i, std::uint32_t link);

// Walks the sections, then the nets, of an image. Every step is bounds-checked; a step that
// would leave the block returns false and marks the reader broken.
class ImageReader {
public:
    ImageReader(const char* data, std::size_t len);
    explicit ImageReader(Handle image);

    bool ok() const { return ok_; } // header readable and nothing broken so far
    const ImageHeader& header() const { return header_; }
    std::string_view fieldText() const;
    // The next section, false after the last one or when broken.
    bool nextSection(ImageSection* out);
    // The next net (skipping any sections not yet walked), false after the last or when broken.
    // Its text is as stored, which may be longer than the 255 bytes a net item holds.
    bool nextNet(ImageNet* out);
    // Offset just past the part last walked.
    std::size_t position() const { return pos_; }

private:
    const char* data_;
    std::size_t len_;
    std::size_t pos_ = 0;
    ImageHeader header_;
    int sectionsLeft_ = 0;
    int netsLeft_ = 0;
    bool ok_ = false;
};

// --- Byte order -------------------------------------------------------------------------------

// Swaps a structure between host and file (big-endian) byte order according to a layout template:
// each letter optionally followed by a decimal repeat count; L a 32-bit word, W a 16-bit word,
// F an 8-byte value; any other letter skips that many bytes (its count, 1 when none); blanks are
// ignored. "LW2" is one 32-bit and two 16-bit words. A no-op on a big-endian host.
void swapByTemplate(char* data, const char* tmpl);
// Number of bytes a template covers ("LW2" = 8, "LWL3" = 18).
std::size_t templateSize(const char* tmpl);

// Swap a whole image in place: the header as four 16-bit words, each class entry and section
// header by "LW2", each net length as one 16-bit word. Counts and lengths are always taken in the
// order the block is in before the swap (host order going to the file, file order coming back).
// The structure is checked first: when it does not fit len, paramErr and nothing is swapped.
// Bytes after the last net are left alone.
OSErr swapImageToFile(char* data, std::size_t len);
OSErr swapImageToHost(char* data, std::size_t len);
