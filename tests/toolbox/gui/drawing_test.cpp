// Drawing into ports: inversion, patterns, colour codes, pens, text, rectangles, scrolling.
// (Region arithmetic, bit operations, standard colours and text faces have no caller.)
#include "tests/support/gui/gui_support.h"
#include "toolbox/gui/HostPrivate.h"
#include "toolbox/gui/Quickdraw.h"
#include <QApplication>
#include <QFontInfo>
#include <gtest/gtest.h>

namespace {

class DrawingTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = NewOffscreenPort(64, 48);
        ASSERT_NE(port, nullptr);
        SetPort(port);
    }
    void TearDown() override {
        SetPort(nullptr);
        DisposeOffscreenPort(port);
    }
    std::uint32_t px(int h, int v) { return PixelAt(port, h, v); }
    GrafPtr port = nullptr;
};

TEST_F(DrawingTest, InvertingTwiceRestoresEveryPixel) {
    RGBForeColor(RGBCode(0x12, 0x80, 0xF0));
    PaintRect(Rect{0, 0, 20, 30});
    PenPat(grayPat);
    PaintRect(Rect{10, 20, 40, 60});
    auto pixels = [&] {
        std::vector<std::uint32_t> all;
        for (int v = 0; v < 48; ++v)
            for (int h = 0; h < 64; ++h)
                all.push_back(px(h, v));
        return all;
    };
    const std::vector<std::uint32_t> before = pixels();
    InvertRect(Rect{5, 5, 30, 50});
    EXPECT_EQ(px(6, 6), 0xFFFFFF - 0x1280F0);
    EXPECT_EQ(px(55, 40), 0xFFFFFFu) << "outside the rectangle";
    InvertRect(Rect{5, 5, 30, 50});
    EXPECT_EQ(pixels(), before);

    // An inverting 2 x 2 pen draws a line that a second identical line removes.
    PenNormal();
    PenMode(patInvert);
    PenSize(2, 2);
    for (std::uint32_t shown : {0x000000u, 0xFFFFFFu}) {
        MoveTo(0, 44);
        LineTo(63, 44);
        EXPECT_EQ(px(30, 45), shown);
        EXPECT_EQ(px(30, 46), 0xFFFFFFu);
    }
    PenNormal();
}

// The patterns and pen modes the program draws with.
TEST_F(DrawingTest, StandardPatternsAndPenModes) {
    auto row = [&](int v, int from) {
        std::string s;
        for (int h = from; h < from + 8; ++h)
            s += px(h, v) == 0 ? '#' : '.';
        return s;
    };
    PenPat(grayPat);
    PaintRect(Rect{0, 0, 8, 8});
    EXPECT_EQ(row(0, 0), "#.#.#.#.");
    EXPECT_EQ(row(1, 0), ".#.#.#.#");
    PenPat(ltGrayPat);
    PaintRect(Rect{0, 8, 8, 16});
    EXPECT_EQ(row(0, 8), "#...#...");
    EXPECT_EQ(row(1, 8), "..#...#.");

    // Invert mode only inverts under the set bits.
    PenPat(blackPat);
    PaintRect(Rect{10, 0, 12, 8});
    PenMode(patInvert);
    PenPat(ltGrayPat);
    PaintRect(Rect{10, 0, 11, 8}); // over black: the set bits turn white
    EXPECT_EQ(row(10, 0), ".###.###");
    PenNormal();
    EXPECT_EQ(port->pnMode, patCopy);
    EXPECT_EQ(port->pnPat, blackPat);

    // The grey of the program's headers, as an erasing background.
    RGBBackColor(kGreyColor);
    EraseRect(Rect{20, 20, 22, 22});
    EXPECT_EQ(px(20, 20), 0xBBBBBBu);
}

TEST_F(DrawingTest, PenLinesFramesAndPolygons) {
    FrameRect(Rect{2, 2, 12, 12}); // a one-pixel frame inside the rectangle: 4 x 10 - 4 pixels
    EXPECT_EQ(px(6, 6), 0xFFFFFFu);
    EXPECT_EQ(CountBlack(port, Rect{0, 0, 14, 14}), 36);

    PenSize(3, 2);
    MoveTo(20, 5);
    LineTo(30, 5);
    EXPECT_EQ(CountBlack(port, Rect{0, 15, 15, 40}), (30 - 20 + 3) * 2);
    Point pen;
    GetPen(&pen);
    EXPECT_EQ(pen, (Point{5, 30}));
    PenNormal();

    const Point tri[] = {{20, 0}, {20, 20}, {40, 10}};
    PaintPoly(tri, 3);
    EXPECT_EQ(px(10, 25), 0u);
    EXPECT_EQ(px(1, 38), 0xFFFFFFu);
}

TEST_F(DrawingTest, TextStylesAndMeasurement) {
    EXPECT_EQ(QFontInfo(FontFor(StandardTextStyle(1)).font).family(), "Liberation Sans");
    // Sizes are points at 96 dpi: 9 points is a 12-pixel font.
    EXPECT_EQ(FontFor(StandardTextStyle(1)).font.pixelSize(), 12);

    SetPortTextStyle(StandardTextStyle(1));
    EXPECT_EQ(TextWidth("1234567890", -1), TextWidth("12345678901234", 10));
    // 8-bit text is the Western code page: 0x80 is the euro sign.
    EXPECT_EQ(TextWidth("\x80", 1),
              FontFor(StandardTextStyle(1)).metrics.horizontalAdvance(QString(QChar(0x20AC))));
    const std::int16_t w = TextWidth("Pkg", -1);
    MoveTo(2, 20);
    DrawText("Pkg", -1);
    Point pen;
    GetPen(&pen);
    EXPECT_EQ(pen.h, 2 + w);
    EXPECT_GT(CountDark(port, Rect{8, 2, 24, static_cast<std::int16_t>(2 + w)}), 10);
    EXPECT_EQ(CountDark(port, Rect{24, 0, 48, 64}), 0) << "nothing below the descent";
}

TEST_F(DrawingTest, RectanglesAndScrolling) {
    // Rectangles are half-open: the bottom and right edges lie outside.
    Rect r;
    SetRect(&r, 10, 20, 30, 40);
    EXPECT_EQ(r, (Rect{20, 10, 40, 30}));
    EXPECT_TRUE(PtInRect(Point{20, 10}, r));
    EXPECT_FALSE(PtInRect(Point{40, 10}, r) || PtInRect(Point{20, 30}, r));
    Rect s;
    EXPECT_TRUE(SectRect(r, Rect{30, 25, 60, 60}, &s));
    EXPECT_EQ(s, (Rect{30, 25, 40, 30}));
    EXPECT_FALSE(SectRect(r, Rect{40, 0, 50, 50}, &s));
    EXPECT_TRUE(EmptyRect(s));

    // ScrollRect moves pixels and hands back the uncovered strip, erased.
    RgnHandle b = NewRgn();
    PaintRect(Rect{0, 0, 4, 64});
    ScrollRect(Rect{0, 0, 40, 64}, 0, 10, b);
    EXPECT_EQ(px(5, 11), 0u);
    EXPECT_EQ(px(5, 1), 0xFFFFFFu);
    GetRegionBounds(b, &r);
    EXPECT_EQ(r, (Rect{0, 0, 10, 64}));
    DisposeRgn(b);
}

// Long loops set the watch at every step: it stays one override, and the arrow removes it.
TEST_F(DrawingTest, CursorOverridesNeverStack) {
    SetCursor(watchCursor);
    SetCursor(watchCursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    SetCursor(iBeamCursor);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::IBeamCursor);
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    SetCursor(watchCursor);
    SetCursor(arrowCursor);
    SetCursor(arrowCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
