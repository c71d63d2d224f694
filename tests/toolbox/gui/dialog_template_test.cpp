// The byte form of the dialog templates: every template comes back from its bytes as its table
// has it, the bytes follow the layout field by field, and cut-short bytes are refused.
#include "resources/Bitmaps.h"
#include "resources/DialogTemplates.h"
#include "toolbox/gui/DialogTemplateBytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One row per template of the table, named by its id.
std::vector<DialogId> templateIds() {
    std::vector<DialogId> ids;
    for (const DialogEntry& dialog : AllDialogEntries())
        ids.push_back(dialog.id);
    return ids;
}

class DialogTemplateBytesTest : public ::testing::TestWithParam<DialogId> {};

TEST_P(DialogTemplateBytesTest, ComesBackFromItsBytesAndRefusesThemCutShort) {
    ASSERT_NE(FindDialogEntry(GetParam()), nullptr);
    const DialogEntry& dialog = *FindDialogEntry(GetParam());
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
        EXPECT_EQ(got.rect, want.rect) << "item " << want.id;
        EXPECT_EQ(got.kind, want.kind) << "item " << want.id;
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.iconId, icon ? want.iconId : 0) << "item " << want.id;
        EXPECT_EQ(got.text, icon || !want.text ? "" : want.text) << "item " << want.id;
        EXPECT_EQ(t.indexOf(want.id), int(i));
    }
    EXPECT_EQ(t.indexOf(-1), -1);

    // Cut short in the header, in the first item's header, or by the last byte.
    for (std::size_t cut : {std::size_t(0), std::size_t(13), std::size_t(20), bytes.size() - 1})
        EXPECT_EQ(ParseDialogTemplate(bytes.first(cut), &t), paramErr) << "cut at " << cut;
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogTemplateBytesTest, ::testing::ValuesIn(templateIds()),
                         [](const ::testing::TestParamInfo<DialogId>& row) {
                             return "Template" + std::to_string(int(row.param));
                         });

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

namespace {

// (Every template of the table is a row above; the dialogs the program shows are shown by their
// windows' tests.)
TEST(Resources, TheLayersBitmap) {
    // Bitmap 8000: 36 x 9, five bytes a row, high bit first, the last four bits of each row
    // unused. The frame makes the top row all ones and the left and right pixels of every row.
    const Bitmap* b = FindBitmap(8000);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 36);
    EXPECT_EQ(b->height, 9);
    ASSERT_EQ(b->rowBytes, 5);
    ASSERT_EQ(b->bits.size(), 45u);
    const std::vector<std::uint8_t> top(b->bits.begin(), b->bits.begin() + 5);
    EXPECT_EQ(top, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xF0}));
    for (int y = 0; y < 9; ++y) {
        const std::uint8_t* row = b->bits.data() + 5 * y;
        EXPECT_EQ(row[0] & 0x80, 0x80) << "left pixel of row " << y;
        EXPECT_EQ(row[4] & 0x1F, 0x10) << "right pixel and unused bits of row " << y;
    }
    EXPECT_EQ(FindBitmap(8002), nullptr);
}

} // namespace
