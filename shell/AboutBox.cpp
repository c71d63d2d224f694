// Help > About: dialog 1004 with the program's logo, its name, the version line and a notice.
#include "shell/Application.h"

#include "toolbox/core/Strings.h"
#include "toolbox/gui/Dialogs.h"
#include "toolbox/gui/Quickdraw.h"

#include <QGuiApplication>
#include <QScreen>

#include <array>
#include <string>

namespace {

constexpr std::int16_t kLogoItem = 1;
constexpr std::int16_t kNameItem = 2;
constexpr std::int16_t kVersionItem = 3;
constexpr std::int16_t kNoticeItem = 4;

constexpr const char* kVersion = "3.8.4  for Windows";
constexpr const char* kNotice = "Editor for the packaging libraries of printed-circuit designs.\n"
                                "Copyright \xA9 the Ortix-Kelvane developers.\n"
                                "Click anywhere in this window to close it.";

constexpr ColorCode kLogoBlue = RGBCode(0x55, 0x8A, 0xFF);

// The logo, in coordinates relative to the top left of the logo item (418 x 96). The left part
// is a square flat package seen from above, with a "K" cut into its body; from its right side
// three traces run up and along the top to their pads, above the program's name.
struct LogoRect {
    Rect r; // top, left, bottom, right
    bool blue;
};
struct LogoPoly {
    std::array<Point, 6> p; // v, h
    int count;
    bool blue;
};

constexpr std::int16_t kPinPitch = 10;

// Blue body and trace runs; black pins, pads and lettering.
constexpr std::array<LogoRect, 9> kLogoRects{{
    {{14, 24, 86, 96}, true},   // package body
    {{33, 105, 37, 128}, true}, // trace 1, out of the package
    {{13, 146, 17, 400}, true}, //          along the top
    {{43, 105, 47, 138}, true}, // trace 2
    {{23, 156, 27, 370}, true}, //
    {{53, 105, 57, 148}, true}, // trace 3
    {{33, 166, 37, 340}, true}, //
    {{51, 166, 54, 412}, true}, // rule under the traces, above the name
    {{32, 44, 70, 52}, false},  // the upright of the K
}};

constexpr std::array<LogoPoly, 6> kLogoPolys{{
    // The 45-degree bends of the three traces (4 pixels thick, measured upright).
    {{{{33, 128}, {13, 148}, {17, 148}, {37, 128}}}, 4, true},
    {{{{43, 138}, {23, 158}, {27, 158}, {47, 138}}}, 4, true},
    {{{{53, 148}, {33, 168}, {37, 168}, {57, 148}}}, 4, true},
    // The arms of the K.
    {{{{51, 52}, {32, 70}, {32, 80}, {56, 56}, {56, 52}}}, 5, false},
    {{{{49, 56}, {70, 78}, {70, 68}, {54, 52}}}, 4, false},
    // Pin 1 marker in the corner of the body.
    {{{{18, 28}, {18, 38}, {28, 28}}}, 3, false},
}};

// The pads at the far ends of the traces.
constexpr std::array<Rect, 3> kPads{{{9, 400, 21, 412}, {19, 370, 31, 382}, {29, 340, 41, 352}}};

bool colourDisplay() {
    QScreen* s = QGuiApplication::primaryScreen();
    return !s || s->depth() >= 4;
}

// Black, or the logo's blue (the light grey pattern on displays of fewer than 4 bits a pixel).
void usePaint(bool blue) {
    PenNormal();
    RGBForeColor(blue && colourDisplay() ? kLogoBlue : kBlackColor);
    if (blue && !colourDisplay()) PenPat(ltGrayPat);
}

void paintLogoRect(Rect r, const Rect& item) {
    OffsetRect(&r, item.left, item.top);
    PaintRect(r);
}

void paintLogoPoly(const LogoPoly& poly, const Rect& item) {
    std::array<Point, 6> p = poly.p;
    for (int i = 0; i < poly.count; ++i) {
        p[i].v = static_cast<std::int16_t>(p[i].v + item.top);
        p[i].h = static_cast<std::int16_t>(p[i].h + item.left);
    }
    PaintPoly(p.data(), poly.count);
}

// The blue parts first, then the black ones over them.
void paintLogo(const Rect& item) {
    const ColorCode oldFore = GetForeColor();
    for (bool blue : {true, false}) {
        usePaint(blue);
        for (const LogoRect& r : kLogoRects)
            if (r.blue == blue) paintLogoRect(r.r, item);
        for (const LogoPoly& poly : kLogoPolys)
            if (poly.blue == blue) paintLogoPoly(poly, item);
    }
    // Pins on all four sides of the package, six a side, and the pads at the traces' ends.
    for (int k = 0; k < 6; ++k) {
        const auto c = static_cast<std::int16_t>(35 + k * kPinPitch);
        const auto a = static_cast<std::int16_t>(c - 2), b = static_cast<std::int16_t>(c + 2);
        paintLogoRect({5, a, 14, b}, item);
        paintLogoRect({86, a, 95, b}, item);
        paintLogoRect({a, 15, b, 24}, item);
        paintLogoRect({a, 96, b, 105}, item);
    }
    for (const Rect& pad : kPads)
        paintLogoRect(pad, item);
    PenNormal();
    RGBForeColor(oldFore);
}

bool aboutProc(DialogPtr d, WindowMessage& msg) {
    switch (msg.kind) {
    case wmCreated: {
        HideDialogItem(d, kLogoItem); // the procedure draws the logo in its place
        SetDialogItemStyle(d, kNameItem, StandardTextStyle(6));
        SetDialogItemText(d, kVersionItem, aboutVersionText().c_str());
        TextStyle small;
        small.size = 7;
        SetDialogItemStyle(d, kNoticeItem, small);
        SetDialogItemText(d, kNoticeItem, kNotice);
        return true;
    }
    case wmUpdate:
        paintLogo(GetDialogItemRect(d, kLogoItem));
        return true;
    case wmMouseDown:
    case wmControlClick:
        EndModalDialog(d, kLogoItem);
        return true;
    default:
        return false;
    }
}

} // namespace

std::string aboutVersionText() {
    return std::string("Version ") + kVersion;
}

void showAboutBox() {
    RunModalDialog(DialogId::about, aboutProc, nullptr);
}
