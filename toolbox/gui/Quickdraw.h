// Drawing in ports: pens, patterns, colours, text styles, regions and rectangle utilities.
//
// Every window and child pane owns a port backed by an image; all drawing goes to the current
// port (SetPort) in its local coordinates. A window whose content scrolls has local
// coordinates that follow the scroll position (the port rectangle moves with it), so drawing
// code never needs to know how far the content has scrolled. What is drawn reaches the screen
// when the event loop next runs; nothing has to be flushed by hand.
#pragma once
#include "resources/Types.h"
#include "toolbox/core/Strings.h"
#include <cstdint>

// ---- colour codes --------------------------------------------------------------------------
// 32-bit colour code: when byte 3 (the top byte) is 7 or more, byte 0 is red, byte 1 green and
// byte 2 blue; a byte 3 of 1 to 6 selects one of the six standard colours below.
using ColorCode = std::uint32_t;
constexpr ColorCode kWhiteColor = 0x0BFFFFFF;
constexpr ColorCode kGreyColor = 0x0ABBBBBB; // 187, 187, 187
constexpr ColorCode kBlackColor = 0x0B000000;
constexpr ColorCode RGBCode(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return 0x0B000000u | (ColorCode(b) << 16) | (ColorCode(g) << 8) | r;
}
// The six standard colours: 1 black, 2 white, 3 red, 4 blue, 5 dark grey, 6 highlight yellow.
constexpr ColorCode StandardColor(int n) {
    return ColorCode(n) << 24;
}
// The red, green and blue bytes a colour code stands for, as 0xRRGGBB.
std::uint32_t ColorCodeToRGB(ColorCode c);

// ---- text styles -----------------------------------------------------------------------------
enum : std::int16_t { normal = 0, bold = 1, italic = 2, underline = 4 }; // TextFace bits

// Font name, size (points at 96 dpi) and face of a piece of text. "Arial" resolves to the
// metric-compatible Liberation Sans.
struct TextStyle {
    char font[32] = "Arial"; // zero-terminated
    std::int16_t size = 8;
    std::int16_t face = normal;
    friend bool operator==(const TextStyle&, const TextStyle&) = default;
};
using TextStylePtr = TextStyle*;

// Standard styles 1 to 7: 1 Arial 9 (lists), 2 Arial 8 (forms; the default), 3 Arial 8 bold,
// 4 Arial 10, 5 Arial 10 bold, 6 Arial 12 bold, 7 Courier New 9. Other numbers give style 2.
TextStyle StandardTextStyle(int n);
// A new record: a copy of `from`, or standard style 2 when from is nullptr. nullptr when out of
// memory. Dispose with DisposeTextStyle (nullptr allowed).
TextStylePtr NewTextStyle(const TextStyle* from = nullptr);
void DisposeTextStyle(TextStylePtr s);
void SetPortTextStyle(const TextStyle& s); // font, size and face of the current port
void GetPortTextStyle(TextStyle* s);

struct FontInfo {
    std::int16_t ascent = 0, descent = 0, widMax = 0, leading = 0;
};
void GetFontInfo(FontInfo* info);                          // of the current port's text style
void GetStyleFontInfo(const TextStyle& s, FontInfo* info); // of any style, no port needed

// ---- ports -----------------------------------------------------------------------------------
struct PortHost; // the host side of a port (backing image, painter, clip); private

// Pen modes.
enum : std::int16_t {
    patCopy = 0,  // pattern bits in the foreground colour, clear bits in the background colour
    patOr = 1,    // only the set bits of the pattern are drawn
    patInvert = 2 // the pixels under set pattern bits are inverted (NOT destination)
};
// Standard patterns for PenPat.
enum : std::int16_t { whitePat = 0, blackPat = 1, grayPat = 2, ltGrayPat = 3, dkGrayPat = 4 };

struct GrafPort {
    Rect portRect{};    // the visible drawing area in local coordinates
    Point pnLoc{};      // pen location (v, h)
    Point pnSize{1, 1}; // pen size (v = height, h = width)
    std::int16_t pnMode = patCopy;
    std::int16_t pnPat = blackPat;
    ColorCode fgColor = kBlackColor;
    ColorCode bkColor = kWhiteColor;
    TextStyle txStyle{"Arial", 9, normal}; // a new port starts with standard style 1
    PortHost* host = nullptr;              // owned by the toolbox
};
using GrafPtr = GrafPort*;

GrafPtr SetPort(GrafPtr port); // returns the previous current port
// Makes a port current for the lifetime of the object, then the one before it again.
class PortScope {
public:
    explicit PortScope(GrafPtr port) : old_(SetPort(port)) {}
    ~PortScope() { SetPort(old_); }
    PortScope(const PortScope&) = delete;
    PortScope& operator=(const PortScope&) = delete;

private:
    GrafPtr old_;
};
GrafPtr GetPort();
// Off-screen ports (an image of the given size, white): for drawing that is not shown, and
// for tests. Windows and panes have ports of their own (a WindowPtr is a GrafPtr).
GrafPtr NewOffscreenPort(std::int16_t width, std::int16_t height);
void DisposeOffscreenPort(GrafPtr port);

// ---- pen and drawing -------------------------------------------------------------------------
void PenNormal(); // size 1 x 1, mode patCopy, pattern black
void PenSize(std::int16_t width, std::int16_t height);
void PenMode(std::int16_t mode);
void PenPat(std::int16_t pattern);
void MoveTo(std::int16_t h, std::int16_t v);
void Move(std::int16_t dh, std::int16_t dv);
void LineTo(std::int16_t h, std::int16_t v); // the pen hangs below and to the right of the path
void Line(std::int16_t dh, std::int16_t dv);
void GetPen(Point* pt);

void FrameRect(const Rect& r); // a frame of the pen's size inside r
void PaintRect(const Rect& r); // pen pattern and mode
void EraseRect(const Rect& r); // background colour
void InvertRect(const Rect& r);
void FillRect(const Rect& r, std::int16_t pattern);
// A filled polygon (pen pattern and mode) through the points, closed automatically.
void PaintPoly(const Point* points, int count);
void FramePoly(const Point* points, int count);

void RGBForeColor(ColorCode c);
void RGBBackColor(ColorCode c);
ColorCode GetForeColor();
ColorCode GetBackColor();

// ---- text ------------------------------------------------------------------------------------
// 8-bit text (Latin-1). A length of -1 means a zero-terminated string. Text is drawn at the pen
// location (on the baseline) in the foreground colour; the pen moves past it.
void DrawText(const char* text, std::int32_t length = -1);
void DrawString(const Str255& s);
std::int16_t StringWidth(const Str255& s);
void DrawChar(char c);
std::int16_t TextWidth(const char* text, std::int32_t length = -1);
std::int16_t CharWidth(char c);
void TextFont(const char* name);
void TextSize(std::int16_t size);
void TextFace(std::int16_t face);

// ---- rectangles ------------------------------------------------------------------------------
void SetRect(Rect* r, std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom);
void OffsetRect(Rect* r, std::int16_t dh, std::int16_t dv);
void InsetRect(Rect* r, std::int16_t dh, std::int16_t dv);
bool SectRect(const Rect& a, const Rect& b, Rect* result); // false (and empty) when disjoint
void UnionRect(const Rect& a, const Rect& b, Rect* result);
bool EqualRect(const Rect& a, const Rect& b);
bool EmptyRect(const Rect& r);
bool PtInRect(Point p, const Rect& r); // top and left inside, bottom and right outside

// ---- regions ---------------------------------------------------------------------------------
struct Region; // private
using RgnHandle = Region*;
RgnHandle NewRgn(); // empty; nullptr when out of memory
void DisposeRgn(RgnHandle rgn);
void SetEmptyRgn(RgnHandle rgn);
void RectRgn(RgnHandle rgn, const Rect& r);
void CopyRgn(RgnHandle src, RgnHandle dst);
void UnionRgn(RgnHandle a, RgnHandle b, RgnHandle dst);
void SectRgn(RgnHandle a, RgnHandle b, RgnHandle dst);
void DiffRgn(RgnHandle a, RgnHandle b, RgnHandle dst);
void OffsetRgn(RgnHandle rgn, std::int16_t dh, std::int16_t dv);
bool EmptyRgn(RgnHandle rgn);
bool PtInRgn(Point p, RgnHandle rgn);
bool RectInRgn(const Rect& r, RgnHandle rgn); // true when they meet
void GetRegionBounds(RgnHandle rgn, Rect* bounds);
void EraseRgn(RgnHandle rgn);
void InvertRgn(RgnHandle rgn);

// Clipping of the current port (local coordinates). ClipRect(nullptr) removes the clip.
void ClipRect(const Rect* r);
void SetClip(RgnHandle rgn);
void GetClip(RgnHandle rgn);

// Shifts the pixels of r in the current port by (dh, dv); the uncovered part is erased to the
// background colour and, when updateRgn is given, returned in it (local coordinates).
void ScrollRect(const Rect& r, std::int16_t dh, std::int16_t dv, RgnHandle updateRgn);

// ---- bits ------------------------------------------------------------------------------------
// Bit n of a byte array; bit 0 is the most significant bit of the first byte.
void BitSet(void* bytes, long n);
void BitClr(void* bytes, long n);
bool BitTst(const void* bytes, long n);

// ---- cursors ---------------------------------------------------------------------------------
enum : std::int16_t { arrowCursor = 0, iBeamCursor = 1, watchCursor = 2 };
// Sets the cursor for the whole application: the watch stays until the arrow is set again.
// The arrow hands the cursor back to the windows' own cursor kinds.
void SetCursor(std::int16_t kind);
void InitCursor(); // the arrow
