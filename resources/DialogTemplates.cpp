#include "resources/DialogTemplates.h"

namespace {

// The application's dialogs carry style 2, the layer's own dialogs style 0.
constexpr std::uint16_t kAppStyle = 2;
constexpr std::uint16_t kLayerStyle = 0;

// Find.
constexpr DialogItemEntry kFind[] = {
    {{70, 360, 90, 439}, kButtonItem, 1, "Find"},
    {{70, 260, 90, 339}, kButtonItem, 2, "Cancel"},
    {{28, 20, 44, 134}, kPopupItem, 3, ""},
    {{28, 140, 44, 275}, kPopupItem, 4, ""},
    {{30, 288, 44, 437}, kEditTextItem, 5, ""},
    {{10, 10, 26, 163}, kStaticTextItem, 106, "Find a package with a"},
};

// Import error report.
constexpr DialogItemEntry kImportError[] = {
    {{120, 350, 140, 434}, kButtonItem, 1, "OK"},
    {{10, 70, 44, 443}, kStaticTextItem, 2, ""},
    {{70, 10, 103, 443}, kStaticTextItem, 3, ""},
    {{10, 10, 26, 57}, kStaticTextItem, 104, "ERROR:"},
};

// About box.
constexpr DialogItemEntry kAbout[] = {
    {{9, 6, 105, 424}, kStaticTextItem, 1, "logo"},
    {{70, 170, 86, 372}, kStaticTextItem, 2, "Ortix Kelvane"},
    {{87, 175, 103, 427}, kStaticTextItem, 3, "version / platform"},
    {{110, 6, 157, 315},
     kStaticTextItem,
     4,
     "A package library editor for printed-circuit design.\n"
     "Made by the Ortix-Kelvane developers.\n"
     "Provided as is, without warranty of any kind."},
    {{111, 376, 143, 408}, kIconItem, 5, nullptr, kAppIconId},
};

// Save / Cancel / Discard.
constexpr DialogItemEntry kSaveQuestion[] = {
    {{55, 296, 75, 361}, kButtonItem, 1, "Save"},
    {{55, 214, 75, 281}, kButtonItem, 2, "Cancel"},
    {{55, 66, 75, 153}, kButtonItem, 3, "Discard"},
    {{10, 66, 42, 361}, kStaticTextItem, 4, "#709010 or #709020"},
    {{10, 15, 42, 47}, kIconItem, 5, nullptr, kCautionIconId},
};

// Proceed / Cancel.
constexpr DialogItemEntry kProceed[] = {
    {{82, 171, 102, 255}, kButtonItem, 1, "Cancel"},
    {{12, 67, 62, 365}, kStaticTextItem, 2, "'STR#' 259,  indexes 8-12"},
    {{82, 280, 102, 364}, kButtonItem, 3, "Proceed"},
    {{15, 15, 47, 47}, kIconItem, 104, nullptr, kStopIconId},
};

// OK / Cancel.
constexpr DialogItemEntry kOkCancel[] = {
    {{82, 280, 102, 364}, kButtonItem, 1, "OK"},
    {{82, 171, 102, 255}, kButtonItem, 2, "Cancel"},
    {{12, 67, 62, 365}, kStaticTextItem, 3, "#700020 or #700030"},
    {{15, 15, 47, 47}, kIconItem, 104, nullptr, kCautionIconId},
};

// The layer's status window: one line set at run time.
constexpr DialogItemEntry kStatus[] = {
    {{5, 5, 75, 355}, kStaticTextItem, 1, ""},
};

// A progress dialog: what is being done, and how far it has come, both set at run time.
constexpr DialogItemEntry kProgress[] = {
    {{10, 10, 26, 350}, kStaticTextItem, 1, ""},
    {{36, 10, 52, 350}, kStaticTextItem, 2, ""},
};

// The layer's own alert: a message set at run time, acknowledged with OK.
constexpr DialogItemEntry kLayerAlert[] = {
    {{70, 270, 90, 350}, kButtonItem, 1, "OK"},
    {{10, 60, 60, 350}, kStaticTextItem, 2, ""},
    {{10, 15, 42, 47}, kIconItem, 3, nullptr, kCautionIconId},
};

constexpr DialogEntry kDialogs[] = {
    {DialogId::find, {65, 87, 168, 542}, kAppStyle, kFind},
    {DialogId::progress, {100, 100, 162, 460}, kAppStyle, kProgress},
    {DialogId::importError, {80, 30, 230, 488}, kAppStyle, kImportError},
    {DialogId::about, {61, 43, 223, 477}, kAppStyle, kAbout},
    {DialogId::saveQuestion, {88, 98, 174, 475}, kAppStyle, kSaveQuestion},
    {DialogId::proceed, {48, 46, 160, 428}, kAppStyle, kProceed},
    {DialogId::discard, {48, 46, 160, 428}, kAppStyle, kOkCancel},
    {DialogId::status, {100, 100, 140, 460}, kLayerStyle, kStatus},
    {DialogId::layerAlert, {80, 80, 180, 440}, kLayerStyle, kLayerAlert},
};

} // namespace

const DialogEntry* FindDialogEntry(DialogId id) {
    for (const DialogEntry& d : kDialogs)
        if (d.id == id) return &d;
    return nullptr;
}

std::span<const DialogEntry> AllDialogEntries() {
    return kDialogs;
}
