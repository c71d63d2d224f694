// The toolbox layer's two-colour bitmaps. A bitmap is stored row by row from the top, each row
// packed eight pixels to a byte with the leftmost pixel in the high bit, a set bit drawn in the
// foreground colour; the bits after the last pixel of a row are zero.
#pragma once
#include <cstdint>
#include <span>

struct Bitmap {
    std::int16_t id;
    int width;
    int height;
    int rowBytes;                       // (width + 7) / 8
    std::span<const std::uint8_t> bits; // height * rowBytes
};

// Bitmap id (8000, a 36 x 9 strip of the layer), or nullptr.
const Bitmap* FindBitmap(int id);
