#include "resources/Icons.h"

namespace {

constexpr std::uint32_t kBlue = 0x558AFF;     // package body
constexpr std::uint32_t kBlueEdge = 0x2F5CC8; // its outline
constexpr std::uint32_t kPin = 0xC9CED6;      // tinned pins
constexpr std::uint32_t kPinEdge = 0x5F6670;
constexpr std::uint32_t kMark = 0xEEF3FF; // pin-1 mark
constexpr std::uint32_t kPaper = 0xFFFFFF;
constexpr std::uint32_t kPaperEdge = 0x7A818C;
constexpr std::uint32_t kFold = 0xDDE2EA;

constexpr IconShape pin(int x, int y) {
    return {IconShape::rect, kPin, kPinEdge, 1, 0, 0, {std::int16_t(x), std::int16_t(y), 12, 6}};
}

// The application icon: an eight-pin package seen from above, pin 1 marked.
constexpr IconShape kApp[] = {
    pin(5, 14),
    pin(5, 25),
    pin(5, 36),
    pin(5, 47),
    pin(47, 14),
    pin(47, 25),
    pin(47, 36),
    pin(47, 47),
    {IconShape::roundRect, kBlue, kBlueEdge, 2, 5, 0, {14, 6, 36, 52}},
    {IconShape::ellipse, kMark, kBlueEdge, 1, 0, 0, {19, 16, 8, 8}},
    {IconShape::polygon,
     kBlueEdge,
     kNoColour,
     0,
     0,
     6,
     {27, 6, 28, 9, 30, 11, 34, 11, 36, 9, 37, 6}},
};

// The package file icon: a page with a turned corner carrying a smaller package.
constexpr IconShape kDocument[] = {
    {IconShape::polygon, kPaper, kPaperEdge, 2, 0, 5, {10, 3, 42, 3, 54, 15, 54, 61, 10, 61}},
    {IconShape::polygon, kFold, kPaperEdge, 2, 0, 3, {42, 3, 42, 15, 54, 15}},
    pin(13, 26),
    pin(13, 36),
    pin(13, 46),
    pin(39, 26),
    pin(39, 36),
    pin(39, 46),
    {IconShape::roundRect, kBlue, kBlueEdge, 2, 3, 0, {20, 21, 24, 36}},
    {IconShape::ellipse, kMark, kBlueEdge, 1, 0, 0, {23, 24, 6, 6}},
};
} // namespace

std::span<const IconShape> IconShapes(int id) {
    if (id == 10) return kApp;
    if (id == 101) return kDocument;
    return {};
}
