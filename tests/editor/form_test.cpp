// The form engine: layouts as built, text limits, the hit test, Tab order, binding, the popup
// run, and the pixels each kind of item puts into a port.
#include "editor/Form.h"
#include "tests/support/gui/gui_support.h"
#include "toolbox/harness/Harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class FormTest : public HarnessTest {
protected:
    void SetUp() override {
        HarnessTest::SetUp();
        port = NewOffscreenPort(420, 130);
        ASSERT_NE(port, nullptr);
        SetPort(port);
    }
    void TearDown() override {
        SetPort(nullptr);
        DisposeOffscreenPort(port);
        HarnessTest::TearDown();
    }
    bool black(int h, int v) { return PixelAt(port, h, v) == 0; }
    bool white(int h, int v) { return PixelAt(port, h, v) == 0xFFFFFF; }
    int dark(Rect r) { return CountDark(port, r); }
    GrafPtr port = nullptr;
};

Point at(int v, int h) {
    return {static_cast<std::int16_t>(v), static_cast<std::int16_t>(h)};
}

TEST_F(FormTest, LayoutsBuildTheirItems) {
    const int counts[kFormLayoutCount] = {18, 4, 3, 6, 2, 4, 1};
    for (int layout = 0; layout < kFormLayoutCount; ++layout) {
        UniqueForm f(newForm(layout));
        ASSERT_TRUE(f);
        EXPECT_EQ(itemCount(f.get()), counts[layout]) << "layout " << layout;
    }
    EXPECT_EQ(newForm(7), nullptr);
    // Memory running out at any allocation gives no form and leaks nothing.
    for (long n = 1;; ++n) {
        ArmMemoryFault(n);
        FormHandle f = newForm(0);
        const bool fired = MemoryFaultFired();
        DisarmMemoryFault();
        if (!fired) {
            EXPECT_EQ(n, 16) << "the form, then a text for each of its 14 edit items and labels";
            disposeForm(f);
            break;
        }
        EXPECT_EQ(f, nullptr) << "fault " << n;
    }
    EXPECT_EQ(newForm(-1), nullptr);
    EXPECT_EQ(formRowHeight(), 17); // 15 - 1 + 3

    UniqueForm h(newForm(0));
    EXPECT_EQ(itemRect(h.get(), 19), Rect{});
    EXPECT_EQ(getItemText(h.get(), 1).str(), "Package Name");
    const FormItem* name = formItem(h.get(), 2);
    ASSERT_NE(name->style, nullptr);
    EXPECT_STREQ(name->style->font, "Arial");
    EXPECT_EQ(name->style->size, 8);
}

TEST_F(FormTest, TextsAreReadBackUpTo255Characters) {
    UniqueForm f(newForm(3));
    TEHandle te = TENew({0, 0, 20, 200}, {0, 0, 20, 200});
    ASSERT_NE(te, nullptr);
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += char('a' + i % 26);
    TESetText(text.data(), 300, te);
    ASSERT_EQ(storeItem(te, f.get(), 2), noErr);
    EXPECT_EQ(GetHandleSize(formItem(f.get(), 2)->text), 300);
    EXPECT_EQ(getItemText(f.get(), 2).str(), text.substr(0, 255));
    EXPECT_EQ(setItemText(f.get(), 2, Str255("1234")), noErr);
    EXPECT_EQ(getItemText(f.get(), 2).str(), "1234");
    EXPECT_EQ(setItemText(f.get(), 1, Str255("no text")), paramErr); // a rectangle
    TEDispose(te);
}

TEST_F(FormTest, HitTestSkipsInertItemsAndTabOrderWraps) {
    UniqueForm f(newForm(3));
    // The label "Class ID" (inert), the Class ID field and its last pixel, just below it, the
    // inert frame and headings.
    const std::pair<Point, int> hits[] = {
        {at(15, 60), 0}, {at(15, 100), 2}, {at(21, 175), 2}, {at(22, 100), 0}, {at(40, 100), 0}};
    for (const auto& [p, item] : hits)
        EXPECT_EQ(hitTest(f.get(), p), item) << p.v << ", " << p.h;
    EXPECT_EQ(nextEditItem(f.get(), 2), 2);

    // Three rows of pin number changes, 17 pixels apart.
    UniqueForm rows(newForm(4));
    for (int r = 1; r < 3; ++r)
        ASSERT_EQ(appendForm(rows.get(), newForm(4), std::int16_t(r * formRowHeight())), noErr);
    ASSERT_EQ(itemCount(rows.get()), 6);
    EXPECT_EQ(itemRect(rows.get(), 5), (Rect{35, 5, 49, 111}));
    EXPECT_EQ(itemRect(rows.get(), 4), (Rect{18, 120, 32, 225}));
    EXPECT_EQ(nextEditItem(rows.get(), 6), 1);
    EXPECT_EQ(hitTest(rows.get(), at(16, 60)), 0); // the gap between rows

    // Insertion at a position, and past the end.
    UniqueForm one(newForm(6));
    FormItem line;
    line.kind = kFormRect;
    line.rect = {0, 0, 1, 50};
    ASSERT_EQ(insertItem(one.get(), line, 1), noErr);
    ASSERT_EQ(insertItem(one.get(), line, 9), noErr);
    std::string kinds;
    for (int i = 1; i <= itemCount(one.get()); ++i)
        kinds += char('0' + formItem(one.get(), i)->kind);
    EXPECT_EQ(kinds, "202");
    EXPECT_EQ(nextEditItem(one.get(), 3), 2);
}

TEST_F(FormTest, BindGivesSingleLineItemsADoubleWidthDestination) {
    UniqueForm h(newForm(0));
    TEHandle te = TENew({0, 0, 120, 2000}, {0, 0, 120, 2000});
    ASSERT_NE(te, nullptr);
    setItemText(h.get(), 7, Str255("DIP"));
    bindItem(te, h.get(), nullptr, 7); // 52, 152, 66, 276, single-line
    EXPECT_EQ(te->viewRect, (Rect{52, 152, 66, 276}));
    EXPECT_EQ(te->destRect, (Rect{52, 152, 66, 400}));
    EXPECT_TRUE(te->singleLine);
    EXPECT_EQ(std::string(te->hText->data, te->teLength), "DIP");

    GrafPtr other = NewOffscreenPort(50, 50);
    bindItem(te, h.get(), other, 2); // 12, 86, 26, 204, wraps
    EXPECT_EQ(te->port, other);
    EXPECT_EQ(GetPort(), other);
    EXPECT_EQ(te->destRect, (Rect{12, 86, 26, 204}));
    EXPECT_FALSE(te->singleLine);

    bindItem(te, h.get(), port, 1); // a label: nothing changes
    EXPECT_EQ(te->port, other);
    EXPECT_EQ(te->destRect, (Rect{12, 86, 26, 204}));
    SetPort(port);
    TEDispose(te);
    DisposeOffscreenPort(other);
}

TEST_F(FormTest, HeaderItemsAreDrawnWhereTheLayoutPutsThem) {
    UniqueForm h(newForm(0));
    PaintRect({76, 120, 96, 150}); // under item 11, which has no menu
    drawForm(h.get(), {0, 0, 130, 420});
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
    EXPECT_EQ(dark({52, 74, 66, 105}), 0);
    EXPECT_GT(dark({52, 120, 66, 146}), 0);
    EXPECT_GT(dark({12, 6, 26, 20}), 0);
    EXPECT_EQ(dark({12, 0, 26, 7}), 0);

    // Only the items near the area are drawn.
    EraseRect({0, 0, 130, 420});
    drawForm(h.get(), {0, 0, 30, 420});
    EXPECT_TRUE(black(84, 15));
    EXPECT_TRUE(white(300, 40) && white(281, 60));
}

TEST_F(FormTest, CentredAndMultiLineTexts) {
    UniqueForm f(newForm(3));
    drawItem(f.get(), 4); // "PIN NUMBERS" centred in 31, 1, 43, 230
    EXPECT_EQ(dark({31, 1, 43, 60}), 0);
    EXPECT_EQ(dark({31, 170, 43, 230}), 0);
    EXPECT_GT(dark({31, 100, 43, 130}), 0);

    FormItem* label = formItem(f.get(), 3);
    label->rect = {60, 10, 100, 200};
    setItemText(f.get(), 3, Str255("Class ID"));
    EXPECT_EQ(dark({75, 10, 100, 200}), 0);
    setItemText(f.get(), 3, Str255("Class\rID")); // two lines in a text box
    EXPECT_GT(dark({60, 10, 74, 200}), 0);
    EXPECT_GT(dark({75, 10, 100, 200}), 0);
}

// Records the menu commands that reach the window.
std::vector<std::int16_t> gCommands;
bool recordingProc(WindowPtr, WindowMessage& msg) {
    if (msg.kind != wmMenuCommand) return false;
    gCommands.push_back(msg.command);
    return true;
}

TEST_F(FormTest, FindItemRunsThePopupOfAPopupButton) {
    WindowPtr w = NewWindow(kDocumentStyle, nullptr, "", kInFront, 999, nullptr, recordingProc);
    ASSERT_NE(w, nullptr);
    UniqueForm h(newForm(0));
    gCommands.clear();
    WindowMessage click;
    click.kind = wmMouseDown;
    std::uint8_t kind = 0;

    click.where = at(60, 290);
    AnswerNextPopUpMenu(6); // "FLTPK"
    EXPECT_EQ(findItem(h.get(), w, click, &kind), 8);
    EXPECT_EQ(kind, kFormPopup);
    ASSERT_EQ(ShownPopUpMenus().size(), 1u);
    EXPECT_EQ(ShownPopUpMenus()[0].menuId, 700);
    EXPECT_EQ(ShownPopUpMenus()[0].rect, (Rect{51, 282, 67, 301}));
    EXPECT_EQ(ShownPopUpMenus()[0].currentItem, 0);
    EXPECT_EQ(gCommands, (std::vector<std::int16_t>{706}));

    // Item 11 without a menu runs no popup; the Shape field; the inert label "Shape".
    const std::pair<Point, int> items[] = {{at(85, 130), 11}, {at(60, 200), 7}, {at(60, 100), 0}};
    const std::uint8_t kinds[] = {kFormPopup, kFormEdit, 255};
    for (int i = 0; i < 3; ++i) {
        click.where = items[i].first;
        EXPECT_EQ(findItem(h.get(), w, click, &kind), items[i].second);
        EXPECT_EQ(kind, kinds[i]);
    }
    EXPECT_EQ(ShownPopUpMenus().size(), 1u);
    EXPECT_EQ(gCommands.size(), 1u);
    DisposeWindow(w);
}

} // namespace
