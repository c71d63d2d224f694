// The modal runner answered by script, alerts, file dialogs, the status window, the icons, and
// the byte form of the dialog templates: every template comes back from its bytes as its table
// has it, the bytes follow the layout field by field, and cut-short bytes are refused.
#include "resources/DialogTemplates.h"
#include "resources/Icons.h"
#include "tests/support/gui/gui_support.h"
#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/DialogTemplateBytes.h"
#include "toolbox/gui/Dialogs.h"
#include "toolbox/gui/FileDialogs.h"
#include "toolbox/gui/HostPrivate.h"
#include "toolbox/gui/StatusWindow.h"
#include "toolbox/harness/DialogHarness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// A dialog procedure that forwards to a test's lambda, cleared after each test.
std::function<bool(DialogPtr, WindowMessage&)> gProc;
bool forward(DialogPtr d, WindowMessage& msg) {
    return gProc ? gProc(d, msg) : false;
}

struct DialogTest : HarnessTest {
    void TearDown() override {
        gProc = nullptr;
        HarnessTest::TearDown();
    }
};

TEST_F(DialogTest, ModalDialogsAreAnsweredByScriptAndRecordTheirTexts) {
    std::vector<int> seen; // message kinds, with the item for clicks and ends
    int data = 7;
    void* userData = nullptr;
    gProc = [&](DialogPtr d, WindowMessage& msg) {
        seen.push_back(msg.kind * 100 + msg.item);
        if (msg.kind == wmCreated) {
            userData = GetDialogUserData(d);
            SetDialogItemText(d, 4, "Save changes to \"a.qpk\" before closing?");
        }
        return false;
    };
    AnswerNextDialog(1005, 3);
    EXPECT_EQ(RunModalDialog(DialogId::saveQuestion, forward, &data), 3);
    EXPECT_EQ(userData, &data);
    EXPECT_EQ(seen,
              (std::vector<int>{wmCreated * 100, wmControlClick * 100 + 3, wmEndModal * 100 + 3}));
    ASSERT_EQ(ShownDialogs().size(), 1u);
    const ShownDialog& save = ShownDialogs()[0];
    EXPECT_EQ(save.texts.at(4), "Save changes to \"a.qpk\" before closing?");
    EXPECT_EQ(save.texts.at(1), "Save");
    EXPECT_EQ(save.texts.count(5), 0u); // the icon has no text

    // The Find dialog: typed text and a popup choice reach the procedure before it ends.
    std::string typed;
    int match = 0;
    gProc = [&](DialogPtr d, WindowMessage& msg) {
        if (msg.kind == wmCreated) {
            for (const char* s : {"Name", "Class ID"})
                AppendPopupItem(d, 3, s);
            for (const char* s : {"Containing", "Begining with", "Ending with", "Matching"})
                AppendPopupItem(d, 4, s);
            SetPopupValue(d, 4, 1);
        } else if (msg.kind == wmEndModal) {
            typed = GetDialogItemText(d, 5);
            match = GetPopupValue(d, 4);
        }
        return false;
    };
    AnswerNextDialog(ScriptedDialogAnswer{
        .templateId = 1001, .item = 1, .texts = {{5, "DIP14"}}, .popupItem = 4, .popupValue = 2});
    EXPECT_EQ(RunModalDialog(DialogId::find, forward, nullptr), 1);
    EXPECT_EQ(typed, "DIP14");
    EXPECT_EQ(match, 2);
    EXPECT_EQ(ShownDialogs().back().texts.at(4), "Begining with");

    // A procedure that keeps the dialog up gets the next answer for the same template.
    int refusals = 0;
    gProc = [&](DialogPtr, WindowMessage& msg) {
        return msg.kind == wmControlClick && msg.item == 3 && ++refusals == 1;
    };
    AnswerNextDialog(1006, 3);
    AnswerNextDialog(1006, 1);
    EXPECT_EQ(RunModalDialog(DialogId::proceed, forward, nullptr), 1);
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(PendingDialogAnswers(), 0);
}

TEST_F(DialogTest, CloseRequestsAndUnansweredDialogsEndAsCancel) {
    EXPECT_EQ(RunModalDialog(DialogId::proceed, nullptr, nullptr), 1); // "Cancel" is item 1 there
    EXPECT_FALSE(ShownDialogs().back().answered);
    EXPECT_EQ(RunModalDialog(DialogId::discard, nullptr, nullptr), 2);
    EXPECT_EQ(RunModalDialog(DialogId(9999), nullptr, nullptr), 0); // no such template

    // The close box: refused once by the procedure, then the default ends it as Cancel.
    int closes = 0;
    gProc = [&](DialogPtr d, WindowMessage& msg) {
        if (msg.kind == wmCreated)
            QTimer::singleShot(0, GetHostDialog(d), [d] {
                GetHostDialog(d)->close();
                GetHostDialog(d)->close();
            });
        return msg.kind == wmCloseRequest && ++closes == 1;
    };
    AnswerNextDialog(1007, 1); // would be used only if the close did not end the dialog
    EXPECT_EQ(RunModalDialog(DialogId::discard, forward, nullptr), 2);
    EXPECT_EQ(closes, 2);
}

// The Find dialog's button follows its text; the About box sets its name in a bold style.
// (Radio groups, number filters and item values of dialogs have no caller.) Modal windows ask
// for a title bar with the close box only; one that a window manager minimises anyway (taking
// the whole application with it) comes straight back.
TEST_F(DialogTest, ItemsEnabledStyledAndTheModalWindow) {
    bool enabled = true;
    int styled = -1; // the item's font: 1 bold, 0 not, -1 item not found
    Qt::WindowFlags flags;
    gProc = [&](DialogPtr d, WindowMessage& msg) {
        if (msg.kind != wmCreated) return false;
        flags = GetHostDialog(d)->windowFlags();
        EnableDialogItem(d, 1, false);
        for (QAbstractButton* b : GetHostDialog(d)->findChildren<QAbstractButton*>())
            if (b->text() == "Find") enabled = b->isEnabled();
        SetDialogItemStyle(d, 106, StandardTextStyle(3));
        const Rect r = GetDialogItemRect(d, 106);
        for (QWidget* w : GetHostDialog(d)->findChildren<QWidget*>())
            if (w->geometry() == QRect(r.left, r.top, r.right - r.left, r.bottom - r.top))
                styled = w->font().bold() ? 1 : 0;
        return false;
    };
    RunModalDialog(DialogId::find, forward, nullptr);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(styled, 1);
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint)) << "no buttons added by default";
    EXPECT_FALSE(flags.testAnyFlags(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    QDialog dialog(GetFrameWindow());
    host::PrepareModalDialog(&dialog);
    dialog.show();
    dialog.showMinimized();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    EXPECT_FALSE(dialog.isMinimized());
    EXPECT_TRUE(dialog.isVisible());
    dialog.hide();
}

TEST_F(DialogTest, ProcedureDrawsInTheDialogPort) {
    QImage shot;
    gProc = [&](DialogPtr d, WindowMessage& msg) {
        if (msg.kind == wmCreated) HideDialogItem(d, 1);
        if (msg.kind == wmUpdate) {
            RGBForeColor(RGBCode(0x55, 0x8A, 0xFF));
            PaintRect(GetDialogItemRect(d, 1));
            return true;
        }
        if (msg.kind == wmEndModal) shot = GetHostDialog(d)->grab().toImage();
        return false;
    };
    AnswerNextDialog(1004, 2);
    EXPECT_EQ(RunModalDialog(DialogId::about, forward, nullptr), 2);
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.pixel(20, 20) & 0xFFFFFF, 0x558AFFu);
    EXPECT_NE(shot.pixel(20, 150) & 0xFFFFFF, 0x558AFFu); // below the logo's area
}

// An error alert shows the error's text (the string table test has the texts), none for no error
// or a cancel.
TEST_F(DialogTest, ErrorAlertTexts) {
    EXPECT_TRUE(ErrorAlert(2));
    EXPECT_FALSE(ErrorAlert(0) || ErrorAlert(995));
    EXPECT_EQ(ShownNoteAlerts(), (std::vector<std::string>{"Error:  File not found."}));
}

TEST_F(DialogTest, FileDialogFiltersAndScriptedAnswers) {
    const FileTypeFilter open[] = {{"`Package Files (*.qpk, *.pkg)", "*.QPK;*.PKG"},
                                   {"Text Files", "TXT"},
                                   {"All Files", "*"}};
    const FileTypeFilter packaging[] = {{"Packaging Files", "QPK"}};
    EXPECT_EQ(BuildFilterPairs(open), "Package Files (*.qpk, *.pkg)|*.QPK;*.PKG|"
                                      "Text Files (*.TXT)|*.TXT|All Files (*.*)|*.*|");
    EXPECT_EQ(BuildFilterPairs(packaging), "Packaging Files (*.QPK)|*.QPK|");
    EXPECT_EQ(HostNameFilters(BuildFilterPairs(open)),
              (QStringList{"Package Files (*.QPK *.PKG)", "Text Files (*.TXT)", "All Files (*)"}));

    AnswerNextFileDialog("/tmp/some folder/New.qpk");
    StandardFileReply put = StandardPutFile("Create new file:", "Untitled.qpk", packaging);
    EXPECT_TRUE(put.good);
    EXPECT_EQ(put.fileSpec.path, "/tmp/some folder/New.qpk");
    EXPECT_EQ(put.fileSpec.name, "New.qpk");
    ASSERT_EQ(ShownFileDialogs().size(), 1u);
    EXPECT_EQ(ShownFileDialogs()[0].prompt + "|" + ShownFileDialogs()[0].defaultName,
              "Create new file:|Untitled.qpk");

    AnswerNextFileDialog("/tmp/a.txt");
    StandardFileReply got = StandardGetFile(open, 1);
    EXPECT_TRUE(got.good);
    EXPECT_EQ(got.filterIndex, 1); // the filter shown stays in use
    AnswerNextFileDialog("/tmp/b", 2);
    EXPECT_EQ(StandardGetFile(open, 0).filterIndex, 2);
    CancelNextFileDialog();
    EXPECT_FALSE(StandardGetFile(open).good);
    EXPECT_FALSE(StandardGetFile(open).good); // nothing scripted: cancelled
    EXPECT_FALSE(ShownFileDialogs().back().put);
}

TEST_F(DialogTest, StatusWindowOpensShowsOneLineAndCloses) {
    EXPECT_FALSE(StatusWindowOpen());
    SetStatusText("Updating Index...");
    EXPECT_TRUE(StatusWindowOpen());
    SetStatusText("Reading \x86...");
    EXPECT_EQ(GetStatusText(), "Reading \x86...");
    QWidget* status = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() == Qt::Tool) status = w;
    ASSERT_NE(status, nullptr) << "a tool window";
    EXPECT_EQ(status->findChild<QLabel*>()->text(), QString::fromUtf8("Reading \u2020..."));
    SetStatusText("");
    EXPECT_FALSE(StatusWindowOpen());
    EXPECT_EQ(GetStatusText(), "");
    SetStatusText(nullptr); // closing a closed window does nothing
    EXPECT_FALSE(StatusWindowOpen());
}

// Appends the printf-style text to out.
template <class... Args> void append(std::string& out, const char* format, Args... args) {
    char buf[160];
    std::snprintf(buf, sizeof buf, format, args...);
    out += buf;
}

void appendColour(std::string& out, const char* attr, std::uint32_t rgb) {
    if (rgb == kNoColour)
        append(out, " %s=\"none\"", attr);
    else
        append(out, " %s=\"#%06X\"", attr, rgb & 0xFFFFFF);
}

// The program's icons (resources/Icons.h) written as SVG text, to compare with the SVG files
// installed for the desktop entry.
std::string IconSvg(int id) {
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
                      "viewBox=\"0 0 64 64\">\n";
    for (const IconShape& s : IconShapes(id)) {
        const std::int16_t* c = s.coords;
        switch (s.kind) {
        case IconShape::rect:
        case IconShape::roundRect:
            append(out, "  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\"", c[0], c[1], c[2],
                   c[3]);
            if (s.kind == IconShape::roundRect) append(out, " rx=\"%d\"", s.radius);
            break;
        case IconShape::ellipse:
            append(out, "  <ellipse cx=\"%g\" cy=\"%g\" rx=\"%g\" ry=\"%g\"", c[0] + c[2] / 2.0,
                   c[1] + c[3] / 2.0, c[2] / 2.0, c[3] / 2.0);
            break;
        case IconShape::polygon:
            out += s.fill == kNoColour ? "  <polyline points=\"" : "  <polygon points=\"";
            for (int i = 0; i < s.pointCount; ++i)
                append(out, "%s%d,%d", i ? " " : "", c[2 * i], c[2 * i + 1]);
            out += "\"";
            break;
        }
        appendColour(out, "fill", s.fill);
        appendColour(out, "stroke", s.stroke);
        if (s.stroke != kNoColour)
            append(out, " stroke-width=\"%d\" stroke-linejoin=\"round\"", s.strokeWidth);
        out += "/>\n";
    }
    return out + "</svg>\n";
}

TEST_F(DialogTest, IconsPaintAndMatchTheDesktopArtwork) {
    QImage app = GetIconPixmap(kAppIconId, 64).toImage();
    EXPECT_EQ(app.pixel(32, 40) & 0xFFFFFF, 0x558AFFu); // the package body
    EXPECT_EQ(qAlpha(app.pixel(1, 1)), 0);              // transparent around it

    QFile svg(QStringLiteral(OK_TEST_DATA_DIR "/../../resources/icons/ortix-kelvane.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_EQ(svg.readAll().toStdString(), IconSvg(kAppIconId));
}

// Every template of the table comes back from its bytes and refuses them cut short.
TEST(DialogTemplateBytes, EveryTemplateComesBackFromItsBytesAndRefusesThemCutShort) {
    for (const DialogEntry& dialog : AllDialogEntries()) {
        SCOPED_TRACE("template " + std::to_string(int(dialog.id)));
        std::span<const std::uint8_t> bytes = GetDialogTemplateBytes(dialog.id);
        ASSERT_GE(bytes.size(), 14u);
        EXPECT_EQ(bytes[8] | (bytes[9] << 8), int(dialog.items.size()));
        EXPECT_EQ(bytes.size() % 2, 0u) << "items are padded to even length";
        DialogTemplate t;
        ASSERT_EQ(ParseDialogTemplate(bytes, &t), noErr);
        EXPECT_EQ(t.bounds, dialog.bounds);
        EXPECT_EQ(t.style, dialog.style);
        ASSERT_EQ(t.items.size(), dialog.items.size());
        for (std::size_t i = 0; i < t.items.size(); ++i) {
            const DialogItemEntry& want = dialog.items[i];
            const DialogTemplateItem& got = t.items[i];
            const bool icon = want.kind == kIconItem;
            SCOPED_TRACE("item " + std::to_string(want.id));
            EXPECT_EQ(got.rect, want.rect);
            EXPECT_EQ(got.kind, want.kind);
            EXPECT_EQ(got.id, want.id);
            EXPECT_EQ(got.iconId, icon ? want.iconId : 0);
            EXPECT_EQ(got.text, icon || !want.text ? "" : want.text);
            EXPECT_EQ(t.indexOf(want.id), int(i));
        }
        EXPECT_EQ(t.indexOf(-1), -1);
        // Cut short in the header, in the first item's header, or by the last byte.
        for (std::size_t cut : {std::size_t(0), std::size_t(13), std::size_t(20), bytes.size() - 1})
            EXPECT_EQ(ParseDialogTemplate(bytes.first(cut), &t), paramErr) << "cut at " << cut;
    }
}

TEST(DialogTemplateBytes, LayoutFieldByFieldAndBytesKeptForTheRun) {
    // The status window: little-endian fields, the text padded to even length.
    const std::vector<std::uint8_t> status = {100,  0, 100,  0, 140, 0, 0xCC, 0x01, 1,  0,
                                              0,    0, 0,    0, 5,   0, 5,    0,    75, 0,
                                              0x63, 1, 0x20, 1, 1,   0, 0,    0,    0,  0};
    std::span<const std::uint8_t> got = GetDialogTemplateBytes(DialogId::status);
    EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.end()), status);
    EXPECT_EQ(GetDialogTemplateBytes(DialogId::status).data(), got.data()) << "encoded once";
    EXPECT_TRUE(GetDialogTemplateBytes(DialogId(9999)).empty());

    // An icon item holds its icon id where a text item holds its text.
    const DialogItemEntry icon[] = {{{1, 2, 3, 4}, kIconItem, 7, nullptr, kStopIconId}};
    const std::vector<std::uint8_t> iconBytes = EncodeDialogTemplate({DialogId(1), {}, 0, icon});
    ASSERT_EQ(iconBytes.size(), 30u);
    EXPECT_EQ(iconBytes[28] | (iconBytes[29] << 8), kStopIconId);
    EXPECT_EQ(ParseDialogTemplate(iconBytes, nullptr), paramErr) << "no template to fill";
}

} // namespace
