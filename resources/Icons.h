// The program's icons as vector artwork on a 64 x 64 grid: icon 10 (the application: an IC
// package with pins, in the program's blue) and icon 101 (a package file: a page carrying the
// same package). The GUI paints them at any size; the desktop entry's SVG files show the same
// shapes.
#pragma once
#include <cstdint>
#include <span>

constexpr std::uint32_t kNoColour = 0xFFFFFFFF;

struct IconShape {
    enum Kind : std::uint8_t { rect, roundRect, ellipse, polygon };
    Kind kind;
    std::uint32_t fill;   // 0xRRGGBB or kNoColour
    std::uint32_t stroke; // 0xRRGGBB or kNoColour
    std::uint8_t strokeWidth;
    std::uint8_t radius; // corner radius of a roundRect
    // rect, roundRect, ellipse: x, y, width, height; polygon: pointCount pairs of x, y.
    std::uint8_t pointCount;
    std::int16_t coords[12];
};

constexpr int kIconGrid = 64; // the artwork's width and height

// The shapes of icon id (10 or 101), back to front; empty for an unknown id.
std::span<const IconShape> IconShapes(int id);
