// The shape rules on a header form in an off-screen port standing for the header pane: matching
// and labels, the size popup, the popup choices and the check marks.
#include "editor/Shapes.h"
#include "tests/support/gui/gui_support.h"
#include "toolbox/gui/Menus.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ShapesTest : public HarnessTest {
protected:
    void SetUp() override {
        HarnessTest::SetUp();
        port = NewOffscreenPort(420, 130);
        ASSERT_NE(port, nullptr);
        SetPort(port);
        header.reset(newForm(0));
        ASSERT_TRUE(header);
        te = TENew({0, 0, 120, 2000}, {0, 0, 120, 2000});
        ASSERT_NE(te, nullptr);
        bindItem(te, header.get(), nullptr, kHeaderName);
        editing.header = header.get();
        editing.te = te;
        editing.family = &family;
    }
    void TearDown() override {
        checkMarks(header.get(), family, false);
        TEDispose(te);
        header.reset();
        SetPort(nullptr);
        DisposeOffscreenPort(port);
        HarnessTest::TearDown();
    }
    // Typing into a field: the record holds the text, which is stored and matched.
    void type(int item, const char* text) {
        bindItem(te, header.get(), nullptr, item);
        TESetText(text, -1, te);
        storeItem(te, header.get(), item);
        if (item == kHeaderShape) matchShape(header.get(), &family);
    }
    std::string text(int item) { return getItemText(header.get(), item).str(); }
    std::string labels() { return text(9) + "|" + text(12) + "|" + text(14); }
    std::int16_t sizeMenuOfItem11() { return formItem(header.get(), kHeaderSizePopup)->menu; }
    bool boundTo(int item) { return te->viewRect == itemRect(header.get(), item); }
    std::string selection() {
        return std::to_string(te->selStart) + ".." + std::to_string(te->selEnd);
    }
    std::string marks(std::int16_t menuId) {
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

TEST_F(ShapesTest, TypedShapesMatchWholeTrimmedAndWithoutCase) {
    const struct {
        const char* typed;
        std::uint16_t family;
        const char* labels;
    } shapes[] = {{"vdip ", 14, "Pin Count|Row Space|"},
                  {"VDIP14", 0, "PN{}|SP{}|HT{}"},
                  {"hedgcon", 7, "Pin Count|Spacing|Pin Width"},
                  {"Custom", 0, "PN{}|SP{}|HT{}"}};
    for (const auto& shape : shapes) {
        type(kHeaderShape, shape.typed);
        EXPECT_EQ(family, shape.family) << shape.typed;
        EXPECT_EQ(labels(), shape.labels) << shape.typed;
        EXPECT_EQ(sizeMenuOfItem11(), 0) << shape.typed;
    }
    EXPECT_FALSE(matchShape(header.get(), &family)) << "the same family again";
    type(kHeaderShape, "vdip ");
    EXPECT_EQ(headerFieldValue(header.get(), kHeaderShape).str(), "VDIP");
    EXPECT_EQ(text(kHeaderShape), "vdip "); // the field keeps what was typed
}

TEST_F(ShapesTest, ChoosingAFamilyThenASize) {
    setItemText(header.get(), kHeaderParam1, Str255("abc"));
    setItemText(header.get(), kHeaderParam2, Str255("xyz"));
    ASSERT_TRUE(popupChoice(editing, 704)); // "CCP"
    EXPECT_EQ(text(kHeaderShape), "CCP");
    EXPECT_EQ(family, kCcpFamily);
    EXPECT_EQ(labels(), "Style||");
    EXPECT_EQ(sizeMenuOfItem11(), kCcpSizesMenu);
    EXPECT_TRUE(boundTo(kHeaderParam1));
    EXPECT_EQ(selection(), "0..3");
    // The size popup is drawn beside parameter 1: its frame's left column.
    EXPECT_EQ(PixelAt(port, 125, 85), 0u);

    ASSERT_TRUE(popupChoice(editing, 804)); // "18  .350 Sq LCC"
    EXPECT_EQ(text(kHeaderParam1), "4");
    EXPECT_TRUE(boundTo(kHeaderParam2));
    EXPECT_EQ(selection(), "0..3");

    // Another family takes the size popup away; the parameters stay.
    ASSERT_TRUE(popupChoice(editing, 713)); // "PADS"
    EXPECT_EQ(labels(), "Pad Size|Hole Size|");
    EXPECT_EQ(sizeMenuOfItem11(), 0);
    EXPECT_EQ(PixelAt(port, 125, 85), 0xFFFFFFu);
    EXPECT_EQ(text(kHeaderParam1), "4");

    EXPECT_FALSE(popupChoice(editing, 650));
    EXPECT_FALSE(popupChoice(editing, 1100));
}

TEST_F(ShapesTest, CustomLeavesTheCaretAfterTheEscape) {
    type(kHeaderShape, "EURO");
    ASSERT_TRUE(popupChoice(editing, 701));
    EXPECT_EQ(text(kHeaderShape), "\\F.");
    EXPECT_TRUE(boundTo(kHeaderShape));
    EXPECT_EQ(selection(), "3..3");
    EXPECT_EQ(family, 0);
    EXPECT_EQ(labels(), "PN{}|SP{}|HT{}");
}

TEST_F(ShapesTest, CheckMarksFollowTheFamilyAndParameter1) {
    ASSERT_TRUE(popupChoice(editing, 706));  // "FLTPK"
    ASSERT_TRUE(popupChoice(editing, 1002)); // "40  Mini Flat Pack"
    EXPECT_EQ(text(kHeaderParam1), "22");
    checkMarks(header.get(), family, true);
    EXPECT_EQ(marks(kFltpkSizesMenu), ".x..");
    EXPECT_EQ(marks(kShapesMenu), ".....x.............");
    EXPECT_EQ(formItem(header.get(), kHeaderSizePopup)->sizeOrChoice, 2);
    checkMarks(header.get(), family, true); // already on
    checkMarks(header.get(), family, false);
    EXPECT_EQ(marks(kFltpkSizesMenu), "....");
    EXPECT_EQ(marks(kShapesMenu), "...................");

    type(kHeaderShape, "CCP");
    type(kHeaderParam1, "4 ");
    checkMarks(header.get(), family, true);
    EXPECT_EQ(marks(kCcpSizesMenu), "...x.............");
    checkMarks(header.get(), family, false);
    type(kHeaderParam1, "07");
    checkMarks(header.get(), family, true);
    EXPECT_EQ(marks(kCcpSizesMenu), ".................");
    EXPECT_EQ(formItem(header.get(), kHeaderSizePopup)->sizeOrChoice, 0);
    // A choice takes the marks off first.
    ASSERT_TRUE(popupChoice(editing, 802));
    EXPECT_FALSE(checkMarksOn());
    EXPECT_EQ(marks(kShapesMenu), "...................");
}

} // namespace
