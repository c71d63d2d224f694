// Basic types shared by every layer: error codes, rectangles, points.
#pragma once
#include <cstdint>

using OSErr = std::int32_t; // 0 = success; host codes and the layer's own 0x2000xxxx codes
using Size = std::int32_t;

constexpr OSErr noErr = 0;
// Host error codes the file calls return (the error-text table knows each of them).
constexpr OSErr fnfErr = 2;         // file not found
constexpr OSErr dirNFErr = 3;       // invalid directory
constexpr OSErr permErr = 5;        // access denied
constexpr OSErr rfNumErr = 6;       // file is not open
constexpr OSErr memFullErr = 8;     // not enough memory
constexpr OSErr volErr = 15;        // invalid volume or drive
constexpr OSErr opWrErr = 32;       // file is already open
constexpr OSErr eofErr = 38;        // read past end of file (short read)
constexpr OSErr dskFulErr = 39;     // disk or volume is full
constexpr OSErr dupFNErr = 80;      // file already exists
constexpr OSErr paramErr = 87;      // illegal parameter
constexpr OSErr posErr = 131;       // negative file position
constexpr OSErr fBsyErr = 170;      // file is in use
constexpr OSErr cancelledErr = 995; // an operation the user cancelled: never shown
// The layer's own codes.
constexpr OSErr fileTooOldErr = 0x20002710;
constexpr OSErr fileTooNewErr = 0x20002711;
constexpr OSErr wrongFileTypeErr = 0x20002712;
constexpr OSErr pathTooLongErr = 0x20002713;
constexpr OSErr noAppErr = 0x20002714;
constexpr OSErr badSignatureErr = 0x20002AF8;
constexpr OSErr noLeaderErr = 0x20002B5C;
constexpr OSErr badPrintInfoErr = 0x20002C24;
constexpr OSErr noPrinterErr = 0x1008;
// The package file's own codes: the path no longer names the file open; a hot journal that
// cannot be read; a file with several names, which compaction would part.
constexpr OSErr fileMovedErr = 0x20002E00;
constexpr OSErr hotJournalErr = 0x20002E01;
constexpr OSErr linkedFileErr = 0x20002E02;

struct Rect {
    std::int16_t top = 0, left = 0, bottom = 0, right = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    std::int16_t v = 0, h = 0;
    friend bool operator==(const Point&, const Point&) = default;
    // Packed form: v in the low half, h in the high half.
    std::uint32_t packed() const {
        return static_cast<std::uint16_t>(v) | (std::uint32_t(static_cast<std::uint16_t>(h)) << 16);
    }
    static Point unpack(std::uint32_t p) {
        return {static_cast<std::int16_t>(p & 0xFFFF), static_cast<std::int16_t>(p >> 16)};
    }
};

// What a close that may ask the user came to: the window or file is gone, or the user cancelled
// and everything is as it was.
enum class CloseResult { closed, cancelled };
