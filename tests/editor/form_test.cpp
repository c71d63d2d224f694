// The form engine and the shape rules on a header form in an off-screen port: layouts, hit test,
// Tab order, pixels; the labels a typed Shape gives, the popup choices and their check marks.
#include "editor/Form.h"
#include "editor/Shapes.h"
#include "tests/support/gui/gui_support.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/harness/Harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class FormTest : public HarnessTest {
protected:
    void SetUp() override {
        HarnessTest::SetUp();
        ASSERT_NE(port = NewOffscreenPort(420, 130), nullptr);
        SetPort(port);
        header.reset(newForm(0));
        ASSERT_TRUE(header);
        ASSERT_NE(te = TENew({0, 0, 120, 2000}, {0, 0, 120, 2000}), nullptr);
        bindItem(te, header.get(), nullptr, kHeaderName);
        editing = {header.get(), te, &family};
    }
    void TearDown() override {
        checkMarks(header.get(), family, false);
        TEDispose(te);
        header.reset();
        SetPort(nullptr);
        DisposeOffscreenPort(port);
        HarnessTest::TearDown();
    }
    bool black(int h, int v) { return PixelAt(port, h, v) == 0; }
    bool white(int h, int v) { return PixelAt(port, h, v) == 0xFFFFFF; }
    void type(int item, const char* text) {
        bindItem(te, header.get(), nullptr, item);
        TESetText(text, -1, te);
        storeItem(te, header.get(), item);
        if (item == kHeaderShape) matchShape(header.get(), &family);
    }
    std::string text(int item) { return getItemText(header.get(), item).str(); }
    std::string labels() { return text(9) + "|" + text(12) + "|" + text(14); }
    std::int16_t sizeMenu() { return formItem(header.get(), kHeaderSizePopup)->menu; }
    std::string selection() {
        return std::to_string(te->selStart) + ".." + std::to_string(te->selEnd);
    }
    static std::string marks(std::int16_t menuId) {
        MenuHandle m = GetMenu(menuId);
        std::string s;
        for (int i = 1; i <= CountMItems(m); ++i)
            s += GetItemMark(m, i) ? 'x' : '.';
        return s;
    }

    GrafPtr port = nullptr;
    UniqueForm header;
    TEHandle te = nullptr;
    std::uint16_t family = kNoShapeFamily;
    ShapeEditing editing;
};

// Layouts build their items or nothing; the hit test skips inert items, Tab order wraps; the
// header's items are drawn where the layout puts them. Typed Shapes match whole, trimmed and
// without case; popup choices set the Shape and its size, with their check marks.
TEST_F(FormTest, LayoutsDrawingTypedShapesAndPopupChoices) {
    const int counts[kFormLayoutCount] = {18, 4, 3, 6, 2, 4, 1};
    for (int layout = 0; layout < kFormLayoutCount; ++layout)
        EXPECT_EQ(itemCount(UniqueForm(newForm(layout)).get()), counts[layout]) << layout;
    EXPECT_EQ(newForm(7), nullptr);
    // Memory running out at any allocation gives no form and leaks nothing.
    long n = 1;
    for (;; ++n) {
        ArmMemoryFault(n);
        UniqueForm f(newForm(0));
        const bool fired = MemoryFaultFired();
        DisarmMemoryFault();
        if (!fired) break;
        EXPECT_EQ(f.get(), nullptr) << "fault " << n;
    }
    EXPECT_EQ(n, 16) << "the form, then a text for each of its 14 edit items and labels";

    UniqueForm f(newForm(3));
    // Layout 3: the label "Class ID" (inert), the Class ID field, its last pixel, just below it,
    // the inert frame and headings.
    const std::pair<Point, int> hits[] = {
        {{15, 60}, 0}, {{15, 100}, 2}, {{21, 175}, 2}, {{22, 100}, 0}, {{40, 100}, 0}};
    for (const auto& [p, item] : hits)
        EXPECT_EQ(hitTest(f.get(), p), item) << p.v << ", " << p.h;
    EXPECT_EQ(nextEditItem(f.get(), 2), 2);

    PaintRect({76, 120, 96, 150}); // under item 11, which has no menu
    drawForm(header.get(), {0, 0, 130, 420});
    // Item 2's frame, 2 pixels outside 12, 86, 26, 204.
    EXPECT_TRUE(black(84, 15) && black(205, 15) && black(100, 10) && black(100, 27));
    EXPECT_TRUE(white(100, 28) && white(150, 18) && white(83, 15));
    // The separator lines: 40..41 one pixel, 101..103 two.
    EXPECT_TRUE(black(300, 40) && white(300, 39) && white(300, 41));
    EXPECT_TRUE(black(200, 101) && black(200, 102) && white(200, 103));
    // Popup 8: frame on 50, 281, 68, 302, shadow in column 302 from row 53 and in row 68 from
    // column 284, arrow under (57, 284)..(57, 296)..(63, 290).
    EXPECT_TRUE(black(281, 60) && black(301, 60) && black(290, 50));
    EXPECT_TRUE(black(302, 60) && black(302, 67) && white(302, 51));
    EXPECT_TRUE(black(290, 68) && black(285, 68) && white(282, 68));
    EXPECT_TRUE(black(290, 59) && white(284, 62) && white(296, 62));
    // Item 11 without a menu erases 76, 125, 95, 147.
    EXPECT_TRUE(white(125, 76) && white(146, 94) && black(147, 80) && black(124, 80));
    // "Shape" right-aligned in 52, 74, 66, 146; "Package Name" left-aligned from column 7.
    EXPECT_TRUE(!CountDark(port, {52, 74, 66, 105}) && CountDark(port, {52, 120, 66, 146}));
    EXPECT_TRUE(CountDark(port, {12, 6, 26, 20}) && !CountDark(port, {12, 0, 26, 7}));

    const struct {
        const char* typed;
        std::uint16_t family;
        const char* labels;
    } shapes[] = {{"VDIP14", 0, "PN{}|SP{}|HT{}"},
                  {"hedgcon", 7, "Pin Count|Spacing|Pin Width"},
                  {"vdip ", 14, "Pin Count|Row Space|"}};
    for (const auto& shape : shapes) {
        type(kHeaderShape, shape.typed);
        EXPECT_TRUE(family == shape.family && labels() == shape.labels && !sizeMenu())
            << shape.typed << ": " << family << " " << labels();
    }
    EXPECT_EQ(text(kHeaderShape) + headerFieldValue(header.get(), kHeaderShape).str(), "vdip VDIP");
    setItemText(header.get(), kHeaderParam1, Str255("abc"));
    ASSERT_TRUE(popupChoice(editing, 704));                                   // "CCP"
    EXPECT_EQ(text(kHeaderShape) + labels() + selection(), "CCPStyle||0..3"); // parameter 1's text
    EXPECT_EQ(sizeMenu(), kCcpSizesMenu);
    EXPECT_EQ(PixelAt(port, 125, 85), 0u);  // the size popup's frame beside parameter 1
    ASSERT_TRUE(popupChoice(editing, 804)); // "18  .350 Sq LCC"
    EXPECT_EQ(text(kHeaderParam1), "4");
    checkMarks(header.get(), family, true);
    EXPECT_EQ(marks(kCcpSizesMenu) + " " + marks(kShapesMenu),
              "...x............. ...x...............");
    checkMarks(header.get(), family, false);
    EXPECT_EQ(marks(kCcpSizesMenu), ".................");
    type(kHeaderParam1, "07"); // no size of that number: no mark
    checkMarks(header.get(), family, true);
    EXPECT_EQ(marks(kCcpSizesMenu), ".................");
    // Another family takes the size popup away, the parameters stay, a choice takes marks off.
    ASSERT_TRUE(popupChoice(editing, 713)); // "PADS"
    EXPECT_FALSE(checkMarksOn(header.get()));
    EXPECT_EQ(labels() + text(kHeaderParam1), "Pad Size|Hole Size|07");
    EXPECT_TRUE(sizeMenu() == 0 && PixelAt(port, 125, 85) == 0xFFFFFFu);
    // Custom leaves the caret after the escape.
    ASSERT_TRUE(popupChoice(editing, 701));
    EXPECT_EQ(text(kHeaderShape) + labels() + selection(), "\\F.PN{}|SP{}|HT{}3..3");
    EXPECT_FALSE(popupChoice(editing, 650));
}

} // namespace
