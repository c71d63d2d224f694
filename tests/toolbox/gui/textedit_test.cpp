// Text edit records: selection, typing, clicks and drags, single-line scrolling, the scrap and
// the host clipboard, drawing.
#include "tests/support/gui/gui_support.h"
#include "tests/support/gui/recorder.h"
#include "toolbox/gui/TextEdit.h"
#include "toolbox/harness/Harness.h"
#include <QClipboard>
#include <QColor>
#include <QGuiApplication>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

class TextEditTest : public HarnessTest {
protected:
    void SetUp() override {
        HarnessTest::SetUp();
        w = MakeFrontWindow(kDocumentStyle, r, 300, 200);
        SetPort(w);
    }
    void TearDown() override {
        TEDispose(te);
        HarnessTest::TearDown();
        while (WindowPtr x = GetNextWindow(nullptr, 7))
            DisposeWindow(x);
        SetPort(nullptr);
    }
    void make(const Rect& dest, const char* text) {
        te = TENew(dest, dest);
        ASSERT_NE(te, nullptr);
        TESetText(text, -1, te);
    }
    std::string text() const { return std::string(te->hText->data, te->teLength); }
    std::pair<int, int> sel() const { return {te->selStart, te->selEnd}; }
    // The point on the first line at the boundary before character k.
    Point at(int k) const {
        return Point{
            static_cast<std::int16_t>(te->destRect.top + 3),
            static_cast<std::int16_t>(te->destRect.left + 1 + TextWidth(text().c_str(), k))};
    }
    int dark(const Rect& rc) { return CountDark(GetPort(), rc); }
    Recorder r;
    WindowPtr w = nullptr;
    TEHandle te = nullptr;
};

using Sel = std::pair<int, int>;

TEST_F(TextEditTest, SelectionIsClampedAndTypingReplacesIt) {
    make(Rect{10, 10, 26, 200}, "PKG-001");
    EXPECT_EQ(sel(), (Sel{7, 7})) << "TESetText puts the caret at the end";
    for (const auto& [from, to, clamped] :
         {std::tuple{0, 255, Sel{0, 7}}, {-5, 3, Sel{0, 3}}, {5, 2, Sel{2, 5}}}) {
        TESetSelect(from, to, te);
        EXPECT_EQ(sel(), clamped) << from << "-" << to;
    }

    TEActivate(te);
    TESetSelect(0, 255, te);
    for (char c : std::string("dip"))
        TEKey(CharKey(c), te);
    EXPECT_EQ(text(), "dip");
    for (KeyCode k : {kKeyLeftArrow, kKeyLeftArrow, kKeyBackspace})
        TEKey(k, te);
    EXPECT_EQ(text(), "ip");
    EXPECT_EQ(sel(), (Sel{0, 0}));
    TEKey(kKeyBackspace, te); // nothing before the caret
    TEKey(kKeyDelete, te);
    EXPECT_EQ(text(), "p");
    TEKey(kKeyEnd, te);
    TEKey(CharKey('8'), te);
    EXPECT_EQ(text(), "p8");
    TEKey(kKeyReturn, te);
    EXPECT_EQ(text(), "p8\r") << "multi-line records take Return";
    TEKey(CharKey(1), te); // control characters are not text
    EXPECT_EQ(te->teLength, 3);

    TESetSelect(0, 1, te);
    TEInsert("DI", -1, te);
    EXPECT_EQ(text(), "DI8\r");
    EXPECT_EQ(sel(), (Sel{2, 2}));
    TESetSelect(1, 3, te);
    TEDelete(te);
    EXPECT_EQ(text(), "D\r");
}

TEST_F(TextEditTest, ClicksExtendAndDragWithTheScriptedPointer) {
    make(Rect{10, 10, 26, 280}, "ABCDEFGH IJK");
    TEActivate(te);
    TEClick(at(3), false, te);
    EXPECT_EQ(sel(), (Sel{3, 3}));
    TEClick(at(6), true, te);
    EXPECT_EQ(sel(), (Sel{3, 6}));
    TEClick(at(1), true, te); // the far end stays
    EXPECT_EQ(sel(), (Sel{1, 6}));
    TEClick(Point{15, 279}, false, te);
    EXPECT_EQ(sel(), (Sel{12, 12}));

    harness::ScriptPointer(w, {at(2), at(5), at(7)});
    TEClick(at(2), false, te);
    EXPECT_EQ(sel(), (Sel{2, 7})) << "the drag follows the pointer to its release";
    harness::ScriptPointer(w, {at(7), at(4), at(0)});
    TEClick(at(7), false, te);
    EXPECT_EQ(sel(), (Sel{0, 7})) << "dragging backwards keeps the anchor";

    // The second click of a double click selects a word.
    WindowMessage dbl{.kind = wmDoubleClick};
    harness::Deliver(w, dbl);
    TEClick(at(10), false, te);
    EXPECT_EQ(sel(), (Sel{9, 12}));
}

TEST_F(TextEditTest, SingleLineScrollsSidewaysAndMultiLineWraps) {
    make(Rect{10, 10, 26, 70}, "");
    TESetSingleLine(te, true);
    TEActivate(te);
    for (int i = 0; i < 30; ++i)
        TEKey(CharKey('W'), te);
    EXPECT_EQ(te->teLength, 30);
    TEClick(Point{15, 68}, false, te);
    EXPECT_GE(te->selStart, 25) << "the end of the text is in view";
    TEKey(kKeyHome, te);
    TEClick(Point{15, 12}, false, te);
    EXPECT_EQ(te->selStart, 0) << "back at the start";

    TEDispose(te);
    make(Rect{40, 10, 120, 70}, "alpha beta gamma delta");
    FontInfo fi;
    GetStyleFontInfo(te->style, &fi);
    const std::int16_t second =
        static_cast<std::int16_t>(40 + fi.ascent + fi.descent + fi.leading + 3);
    TEClick(Point{second, 11}, false, te);
    EXPECT_GT(te->selStart, 0) << "the second line starts inside the text";
    EXPECT_EQ(text().substr(te->selStart - 1, 1), " ") << "lines break after a blank";
}

TEST_F(TextEditTest, ScrapMirrorsTheHostClipboard) {
    QClipboard* cb = QGuiApplication::clipboard();
    auto scrap = [] { return std::string(TEScrapHandle()->data, TEGetScrapLength()); };
    make(Rect{10, 10, 26, 200}, "Hello World");
    TEActivate(te);
    TESetSelect(6, 11, te);
    TECopy(te);
    EXPECT_EQ(cb->text(), "World");
    EXPECT_EQ(scrap(), "World");

    // Another program's copy reaches the scrap only when the program comes to the front.
    cb->setText("Pasted");
    EXPECT_EQ(scrap(), "World");
    harness::SendApplicationActivation();
    EXPECT_EQ(scrap(), "Pasted");

    cb->setText("a\nb");
    harness::SendApplicationActivation();
    EXPECT_EQ(scrap(), "a\rb");
    ZeroScrap();
    EXPECT_EQ(TEGetScrapLength(), 0);
    EXPECT_TRUE(cb->text().isEmpty());
}

TEST_F(TextEditTest, DrawingHighlightAndTextBoxes) {
    const Rect box{10, 10, 26, 200};
    make(box, "Highlighted");
    TEUpdate(nullptr, te);
    const int plain = dark(box);
    EXPECT_GT(plain, 10);
    TEActivate(te);
    TESetSelect(0, 255, te);
    EXPECT_GT(dark(box), plain + 100) << "the selection is inverted while active";
    TEDeactivate(te);
    EXPECT_EQ(dark(box), plain);

    const Rect tb{40, 10, 56, 110};
    TETextBox("Hi", -1, tb, teJustRight); // (centred and left: the form test's labels)
    EXPECT_EQ(dark(Rect{40, 10, 56, 80}), 0);
    EXPECT_GT(dark(Rect{40, 90, 56, 110}), 0);
}

} // namespace
