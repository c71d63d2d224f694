// Drawing into the current port's backing image with one long-lived QPainter per port.
#include "toolbox/gui/Quickdraw.h"
#include "toolbox/core/CodePage.h"
#include "toolbox/gui/HostPrivate.h"
#include <QApplication>
#include <QCursor>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <set>
#include <unordered_map>

namespace {

GrafPtr gPort = nullptr;

PortHost* Cur() {
    return gPort ? gPort->host : nullptr;
}

constexpr std::uint8_t kPatterns[5][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0},
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55},
    {0x88, 0x22, 0x88, 0x22, 0x88, 0x22, 0x88, 0x22},
    {0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD},
};

// How the pen's pattern and mode fill an area.
struct PenFill {
    QBrush brush;
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    bool skip = false; // nothing would change
};

QImage PatternImage(int pat, QRgb one, QRgb zero) {
    QImage img(8, 8, QImage::Format_ARGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            img.setPixel(x, y, (kPatterns[pat][y] & (0x80 >> x)) ? one : zero);
    return img;
}

PenFill MakeFill(int pat, int mode, ColorCode fg, ColorCode bg) {
    PenFill f;
    if (pat < 0 || pat > 4) pat = blackPat;
    const bool allOnes = pat == blackPat, allZeros = pat == whitePat;
    switch (mode) {
    case patInvert:
        if (allZeros)
            f.skip = true;
        else if (allOnes) {
            f.brush = QBrush(Qt::black);
            f.mode = QPainter::RasterOp_NotDestination;
        } else {
            f.brush = QBrush(PatternImage(pat, 0xFFFFFFFF, 0xFF000000));
            f.mode = QPainter::RasterOp_SourceXorDestination;
        }
        break;
    case patOr:
        if (allZeros)
            f.skip = true;
        else if (allOnes)
            f.brush = QBrush(toQColor(fg));
        else
            f.brush = QBrush(PatternImage(pat, toQColor(fg).rgb(), 0));
        break;
    default:
        if (allOnes)
            f.brush = QBrush(toQColor(fg));
        else if (allZeros)
            f.brush = QBrush(toQColor(bg));
        else
            f.brush = QBrush(PatternImage(pat, toQColor(fg).rgb(), toQColor(bg).rgb()));
        break;
    }
    return f;
}

void FillLocal(PortHost* h, const QRect& r, const PenFill& f) {
    if (f.skip || r.isEmpty()) return;
    QPainter& p = h->begin();
    p.setCompositionMode(f.mode);
    p.setBrushOrigin(0, 0);
    p.fillRect(r, f.brush);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    h->touch(r);
}

void FillWithPen(const QRect& r) {
    PortHost* h = Cur();
    if (!h) return;
    FillLocal(h, r, MakeFill(gPort->pnPat, gPort->pnMode, gPort->fgColor, gPort->bkColor));
}

void FillPolygon(const QPolygon& poly, const PenFill& f) {
    PortHost* h = Cur();
    if (!h || f.skip || poly.size() < 3) return;
    QPainter& p = h->begin();
    p.setCompositionMode(f.mode);
    p.setPen(Qt::NoPen);
    p.setBrush(f.brush);
    p.setBrushOrigin(0, 0);
    p.drawPolygon(poly, Qt::OddEvenFill);
    p.setBrush(Qt::NoBrush);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    h->touch(poly.boundingRect().adjusted(0, 0, 1, 1));
}

// Convex hull of a few points (monotone chain), for the shape a rectangular pen sweeps.
QPolygon Hull(std::vector<QPoint> pts) {
    std::sort(pts.begin(), pts.end(), [](QPoint a, QPoint b) {
        return a.x() < b.x() || (a.x() == b.x() && a.y() < b.y());
    });
    auto cross = [](QPoint o, QPoint a, QPoint b) {
        return long(a.x() - o.x()) * (b.y() - o.y()) - long(a.y() - o.y()) * (b.x() - o.x());
    };
    std::vector<QPoint> hull(2 * pts.size());
    size_t k = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], pts[i]) <= 0)
            --k;
        hull[k++] = pts[i];
    }
    for (size_t i = pts.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && cross(hull[k - 2], hull[k - 1], pts[i - 1]) <= 0)
            --k;
        hull[k++] = pts[i - 1];
    }
    hull.resize(k > 0 ? k - 1 : 0);
    return QPolygon(QList<QPoint>(hull.begin(), hull.end()));
}

std::int16_t Clamp16(long v) {
    return static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L));
}

} // namespace

// ---- colours and fonts -----------------------------------------------------------------------

QColor toQColor(ColorCode c) {
    static const QRgb standard[6] = {0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF, 0x404040, 0xFFFF00};
    const unsigned sel = c >> 24;
    if (sel >= 1 && sel <= 6) return QColor::fromRgb(standard[sel - 1]);
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

std::uint32_t ColorCodeToRGB(ColorCode c) {
    return toQColor(c).rgb() & 0xFFFFFF;
}

QString ToHostText(const char* text, std::int32_t length) {
    if (!text) return QString();
    if (length < 0) length = static_cast<std::int32_t>(std::strlen(text));
    QString s(length, Qt::Uninitialized);
    for (std::int32_t i = 0; i < length; ++i)
        s[i] = QChar(CodePageChar(static_cast<unsigned char>(text[i])));
    return s;
}

int FromHostChar(char16_t u) {
    return CodePageByte(u);
}

QByteArray FromHostText(const QString& s) {
    QByteArray out;
    out.reserve(s.size());
    for (QChar c : s) {
        const int b = FromHostChar(c.unicode());
        out.append(static_cast<char>(b < 0 ? '?' : b));
    }
    return out;
}

const StyleFont& FontFor(const TextStyle& s) {
    static std::unordered_map<std::string, std::unique_ptr<StyleFont>> cache;
    static bool substituted = false;
    if (!substituted) {
        QFont::insertSubstitution("Arial", "Liberation Sans");
        QFont::insertSubstitution("Helvetica", "Liberation Sans");
        QFont::insertSubstitution("Courier New", "Liberation Mono");
        QFont::insertSubstitution("Times New Roman", "Liberation Serif");
        substituted = true;
    }
    std::string key(s.font, strnlen(s.font, sizeof s.font));
    key += '/' + std::to_string(s.size) + '/' + std::to_string(s.face);
    auto it = cache.find(key);
    if (it != cache.end()) return *it->second;
    QFont f(QString::fromLatin1(s.font, static_cast<int>(strnlen(s.font, sizeof s.font))));
    // Sizes are points at 96 dpi, so a layout placed in pixels keeps its proportions.
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(s.size * 96.0 / 72.0))));
    f.setBold(s.face & bold);
    f.setItalic(s.face & italic);
    f.setUnderline(s.face & underline);
    auto sf = std::make_unique<StyleFont>(StyleFont{f, QFontMetrics(f)});
    return *cache.emplace(key, std::move(sf)).first->second;
}

TextStyle StandardTextStyle(int n) {
    switch (n) {
    case 1:
        return TextStyle{"Arial", 9, normal};
    case 3:
        return TextStyle{"Arial", 8, bold};
    case 4:
        return TextStyle{"Arial", 10, normal};
    case 5:
        return TextStyle{"Arial", 10, bold};
    case 6:
        return TextStyle{"Arial", 12, bold};
    case 7:
        return TextStyle{"Courier New", 9, normal};
    default:
        return TextStyle{"Arial", 8, normal};
    }
}

TextStylePtr NewTextStyle(const TextStyle* from) {
    auto* s = new (std::nothrow) TextStyle(from ? *from : StandardTextStyle(2));
    return s;
}
void DisposeTextStyle(TextStylePtr s) {
    delete s;
}

void SetPortTextStyle(const TextStyle& s) {
    if (gPort) gPort->txStyle = s;
}
void GetPortTextStyle(TextStyle* s) {
    if (s) *s = gPort ? gPort->txStyle : StandardTextStyle(1);
}

void GetStyleFontInfo(const TextStyle& s, FontInfo* info) {
    if (!info) return;
    const QFontMetrics& m = FontFor(s).metrics;
    info->ascent = Clamp16(m.ascent());
    info->descent = Clamp16(m.descent());
    info->widMax = Clamp16(m.maxWidth());
    info->leading = Clamp16(std::max(0, m.leading()));
}
void GetFontInfo(FontInfo* info) {
    GetStyleFontInfo(gPort ? gPort->txStyle : StandardTextStyle(1), info);
}

// ---- ports -----------------------------------------------------------------------------------

std::set<GrafPtr>& LivePorts() {
    static std::set<GrafPtr> ports;
    return ports;
}

bool host::IsLivePort(GrafPtr port) {
    return port && LivePorts().count(port);
}

PortHost::PortHost(GrafPtr p) : port(p) {
    LivePorts().insert(p);
}

PortHost::~PortHost() {
    LivePorts().erase(port);
    end();
    host::ForgetPort(this);
    if (gPort == port) gPort = nullptr;
}

QPainter& PortHost::begin() {
    if (!painter.isActive()) {
        painter.begin(&image);
        stateValid = false;
    }
    if (!stateValid) {
        painter.setWorldTransform(QTransform::fromTranslate(-origin.x(), -origin.y()));
        QRegion clip = userClip;
        if (inUpdate) clip &= updateClip;
        if (clip.rectCount() == 1 && clip.boundingRect() == kWideOpen)
            painter.setClipping(false);
        else
            painter.setClipRegion(clip);
        painter.setRenderHint(QPainter::Antialiasing, false);
        stateValid = true;
    }
    return painter;
}

void PortHost::end() {
    if (painter.isActive()) painter.end();
    stateValid = false;
}

void PortHost::clipChanged() {
    stateValid = false;
}

void PortHost::syncPortRect() {
    port->portRect = toRect(QRect(origin, QSize(width, height)));
}

void PortHost::resize(int w, int h, qreal dpr, ColorCode background) {
    end();
    w = std::max(w, 0);
    h = std::max(h, 0);
    const int dw = static_cast<int>(std::ceil(w * dpr)), dh = static_cast<int>(std::ceil(h * dpr));
    if (image.width() != dw || image.height() != dh || image.devicePixelRatio() != dpr) {
        image = QImage(std::max(dw, 1), std::max(dh, 1), QImage::Format_RGB32);
        image.setDevicePixelRatio(dpr);
        image.fill(toQColor(background));
    }
    width = w;
    height = h;
    syncPortRect();
    touch(localBounds());
}

void PortHost::touch(const QRect& local) {
    QRect v = local.translated(-origin) & QRect(0, 0, width, height);
    if (v.isEmpty()) return;
    dirty |= v;
    host::PortDirty(this);
}

void PortHost::scrollPixels(const QRect& local, int dx, int dy) {
    end();
    const qreal dpr = image.devicePixelRatio();
    QRect view = local.translated(-origin) & QRect(0, 0, width, height);
    if (view.isEmpty() || (dx == 0 && dy == 0)) return;
    auto dev = [dpr](int v) { return static_cast<int>(std::lround(v * dpr)); };
    QRect s(dev(view.left()), dev(view.top()), dev(view.width()), dev(view.height()));
    s &= image.rect();
    const int ddx = dev(dx), ddy = dev(dy);
    QRect d = s.translated(ddx, ddy) & s;
    if (!d.isEmpty()) {
        const int bpl = image.bytesPerLine();
        uchar* bits = image.bits();
        const int bytes = d.width() * 4;
        auto copyRow = [&](int y) {
            std::memmove(bits + y * bpl + d.left() * 4,
                         bits + (y - ddy) * bpl + (d.left() - ddx) * 4, bytes);
        };
        if (ddy > 0)
            for (int y = d.bottom(); y >= d.top(); --y)
                copyRow(y);
        else
            for (int y = d.top(); y <= d.bottom(); ++y)
                copyRow(y);
    }
    touch(local);
}

GrafPtr SetPort(GrafPtr port) {
    GrafPtr old = gPort;
    gPort = port;
    return old;
}
GrafPtr GetPort() {
    return gPort;
}

GrafPtr NewOffscreenPort(std::int16_t width, std::int16_t height) {
    auto* port = new (std::nothrow) GrafPort;
    if (!port) return nullptr;
    port->host = new (std::nothrow) PortHost(port);
    if (!port->host) {
        delete port;
        return nullptr;
    }
    port->host->resize(width, height, 1.0, port->bkColor);
    if (port->host->image.isNull()) {
        DisposeOffscreenPort(port);
        return nullptr;
    }
    return port;
}

void DisposeOffscreenPort(GrafPtr port) {
    if (!port) return;
    delete port->host;
    delete port;
}

// ---- pen and drawing -------------------------------------------------------------------------

void PenNormal() {
    if (!gPort) return;
    gPort->pnSize = {1, 1};
    gPort->pnMode = patCopy;
    gPort->pnPat = blackPat;
}
void PenSize(std::int16_t width, std::int16_t height) {
    if (gPort) gPort->pnSize = {height, width};
}
void PenMode(std::int16_t mode) {
    if (gPort) gPort->pnMode = mode;
}
void PenPat(std::int16_t pattern) {
    if (gPort) gPort->pnPat = pattern;
}
void MoveTo(std::int16_t h, std::int16_t v) {
    if (gPort) gPort->pnLoc = {v, h};
}
void Move(std::int16_t dh, std::int16_t dv) {
    if (gPort) MoveTo(Clamp16(gPort->pnLoc.h + dh), Clamp16(gPort->pnLoc.v + dv));
}
void GetPen(Point* pt) {
    if (pt) *pt = gPort ? gPort->pnLoc : Point{};
}

void LineTo(std::int16_t h, std::int16_t v) {
    PortHost* host = Cur();
    if (!host) return;
    const int x1 = gPort->pnLoc.h, y1 = gPort->pnLoc.v, pw = gPort->pnSize.h, ph = gPort->pnSize.v;
    gPort->pnLoc = {v, h};
    if (pw <= 0 || ph <= 0) return;
    if (x1 == h || y1 == v) {
        // A straight line is the rectangle the pen covers between the two points.
        QRect r(QPoint(std::min<int>(x1, h), std::min<int>(y1, v)),
                QPoint(std::max<int>(x1, h) + pw - 1, std::max<int>(y1, v) + ph - 1));
        FillWithPen(r);
        return;
    }
    PenFill f = MakeFill(gPort->pnPat, gPort->pnMode, gPort->fgColor, gPort->bkColor);
    if (f.skip) return;
    if (pw == 1 && ph == 1) {
        QPainter& p = host->begin();
        p.setCompositionMode(f.mode);
        p.setPen(QPen(f.brush, 1));
        p.drawLine(x1, y1, h, v);
        p.setPen(Qt::NoPen);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        host->touch(QRect(QPoint(std::min<int>(x1, h), std::min<int>(y1, v)),
                          QPoint(std::max<int>(x1, h), std::max<int>(y1, v))));
        return;
    }
    FillPolygon(Hull({{x1, y1},
                      {x1 + pw, y1},
                      {x1, y1 + ph},
                      {x1 + pw, y1 + ph},
                      {h, v},
                      {h + pw, v},
                      {h, v + ph},
                      {h + pw, v + ph}}),
                f);
}

void Line(std::int16_t dh, std::int16_t dv) {
    if (gPort) LineTo(Clamp16(gPort->pnLoc.h + dh), Clamp16(gPort->pnLoc.v + dv));
}

void FrameRect(const Rect& r) {
    if (!gPort || EmptyRect(r)) return;
    const int pw = gPort->pnSize.h, ph = gPort->pnSize.v;
    QRect q = toQRect(r);
    if (pw <= 0 || ph <= 0) return;
    if (2 * pw >= q.width() || 2 * ph >= q.height()) {
        FillWithPen(q);
        return;
    }
    // Four pieces that do not overlap, so that an inverting pen inverts each pixel once.
    FillWithPen(QRect(q.left(), q.top(), q.width(), ph));
    FillWithPen(QRect(q.left(), q.bottom() - ph + 1, q.width(), ph));
    FillWithPen(QRect(q.left(), q.top() + ph, pw, q.height() - 2 * ph));
    FillWithPen(QRect(q.right() - pw + 1, q.top() + ph, pw, q.height() - 2 * ph));
}

void PaintRect(const Rect& r) {
    FillWithPen(toQRect(r));
}

void EraseRect(const Rect& r) {
    PortHost* h = Cur();
    if (h) FillLocal(h, toQRect(r), PenFill{QBrush(toQColor(gPort->bkColor))});
}

void InvertRect(const Rect& r) {
    PortHost* h = Cur();
    if (h) FillLocal(h, toQRect(r), MakeFill(blackPat, patInvert, 0, 0));
}

void FillRect(const Rect& r, std::int16_t pattern) {
    PortHost* h = Cur();
    if (h) FillLocal(h, toQRect(r), MakeFill(pattern, patCopy, gPort->fgColor, gPort->bkColor));
}

static QPolygon ToPolygon(const Point* points, int count) {
    QPolygon poly;
    for (int i = 0; i < count; ++i)
        poly << QPoint(points[i].h, points[i].v);
    return poly;
}

void PaintPoly(const Point* points, int count) {
    if (!gPort || !points) return;
    FillPolygon(ToPolygon(points, count),
                MakeFill(gPort->pnPat, gPort->pnMode, gPort->fgColor, gPort->bkColor));
}

void FramePoly(const Point* points, int count) {
    if (!gPort || !points || count < 2) return;
    MoveTo(points[0].h, points[0].v);
    for (int i = 1; i < count; ++i)
        LineTo(points[i].h, points[i].v);
    LineTo(points[0].h, points[0].v);
}

void RGBForeColor(ColorCode c) {
    if (gPort) gPort->fgColor = c;
}
void RGBBackColor(ColorCode c) {
    if (gPort) gPort->bkColor = c;
}
ColorCode GetForeColor() {
    return gPort ? gPort->fgColor : kBlackColor;
}
ColorCode GetBackColor() {
    return gPort ? gPort->bkColor : kWhiteColor;
}

// ---- text ------------------------------------------------------------------------------------

void DrawText(const char* text, std::int32_t length) {
    PortHost* h = Cur();
    if (!h || !text) return;
    QString s = ToHostText(text, length);
    if (s.isEmpty()) return;
    const StyleFont& sf = FontFor(gPort->txStyle);
    QPainter& p = h->begin();
    p.setFont(sf.font);
    p.setPen(toQColor(gPort->fgColor));
    const int x = gPort->pnLoc.h, y = gPort->pnLoc.v;
    p.drawText(QPoint(x, y), s);
    p.setPen(Qt::NoPen);
    const int w = sf.metrics.horizontalAdvance(s);
    h->touch(QRect(x - 2, y - sf.metrics.ascent(), w + 4, sf.metrics.height() + 1));
    gPort->pnLoc.h = Clamp16(x + w);
}

void DrawString(const Str255& s) {
    DrawText(s.chars(), s.length());
}
void DrawChar(char c) {
    DrawText(&c, 1);
}

std::int16_t TextWidth(const char* text, std::int32_t length) {
    if (!text) return 0;
    const TextStyle& st = gPort ? gPort->txStyle : StandardTextStyle(1);
    return Clamp16(FontFor(st).metrics.horizontalAdvance(ToHostText(text, length)));
}
std::int16_t StringWidth(const Str255& s) {
    return TextWidth(s.chars(), s.length());
}
std::int16_t CharWidth(char c) {
    return TextWidth(&c, 1);
}

void TextFont(const char* name) {
    if (!gPort || !name) return;
    std::snprintf(gPort->txStyle.font, sizeof gPort->txStyle.font, "%s", name);
}
void TextSize(std::int16_t size) {
    if (gPort) gPort->txStyle.size = size;
}
void TextFace(std::int16_t face) {
    if (gPort) gPort->txStyle.face = face;
}

// ---- rectangles ------------------------------------------------------------------------------

void SetRect(Rect* r, std::int16_t left, std::int16_t top, std::int16_t right,
             std::int16_t bottom) {
    if (r) *r = Rect{top, left, bottom, right};
}
void OffsetRect(Rect* r, std::int16_t dh, std::int16_t dv) {
    if (!r) return;
    r->left = Clamp16(r->left + dh);
    r->right = Clamp16(r->right + dh);
    r->top = Clamp16(r->top + dv);
    r->bottom = Clamp16(r->bottom + dv);
}
void InsetRect(Rect* r, std::int16_t dh, std::int16_t dv) {
    if (!r) return;
    r->left = Clamp16(r->left + dh);
    r->right = Clamp16(r->right - dh);
    r->top = Clamp16(r->top + dv);
    r->bottom = Clamp16(r->bottom - dv);
    if (EmptyRect(*r)) *r = Rect{};
}
bool SectRect(const Rect& a, const Rect& b, Rect* result) {
    Rect s{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom),
           std::min(a.right, b.right)};
    const bool meet = !EmptyRect(s);
    if (result) *result = meet ? s : Rect{};
    return meet;
}
void UnionRect(const Rect& a, const Rect& b, Rect* result) {
    if (!result) return;
    if (EmptyRect(a))
        *result = b;
    else if (EmptyRect(b))
        *result = a;
    else
        *result = Rect{std::min(a.top, b.top), std::min(a.left, b.left),
                       std::max(a.bottom, b.bottom), std::max(a.right, b.right)};
}
bool EqualRect(const Rect& a, const Rect& b) {
    return a == b;
}
bool EmptyRect(const Rect& r) {
    return r.bottom <= r.top || r.right <= r.left;
}
bool PtInRect(Point p, const Rect& r) {
    return p.v >= r.top && p.v < r.bottom && p.h >= r.left && p.h < r.right;
}

// ---- regions ---------------------------------------------------------------------------------

RgnHandle NewRgn() {
    return new (std::nothrow) Region;
}
void DisposeRgn(RgnHandle rgn) {
    delete rgn;
}
void SetEmptyRgn(RgnHandle rgn) {
    if (rgn) rgn->rgn = QRegion();
}
void RectRgn(RgnHandle rgn, const Rect& r) {
    if (rgn) rgn->rgn = EmptyRect(r) ? QRegion() : QRegion(toQRect(r));
}
void CopyRgn(RgnHandle src, RgnHandle dst) {
    if (src && dst) dst->rgn = src->rgn;
}
void UnionRgn(RgnHandle a, RgnHandle b, RgnHandle dst) {
    if (a && b && dst) dst->rgn = a->rgn | b->rgn;
}
void SectRgn(RgnHandle a, RgnHandle b, RgnHandle dst) {
    if (a && b && dst) dst->rgn = a->rgn & b->rgn;
}
void DiffRgn(RgnHandle a, RgnHandle b, RgnHandle dst) {
    if (a && b && dst) dst->rgn = a->rgn - b->rgn;
}
void OffsetRgn(RgnHandle rgn, std::int16_t dh, std::int16_t dv) {
    if (rgn) rgn->rgn.translate(dh, dv);
}
bool EmptyRgn(RgnHandle rgn) {
    return !rgn || rgn->rgn.isEmpty();
}
bool PtInRgn(Point p, RgnHandle rgn) {
    return rgn && rgn->rgn.contains(QPoint(p.h, p.v));
}
bool RectInRgn(const Rect& r, RgnHandle rgn) {
    return rgn && !EmptyRect(r) && rgn->rgn.intersects(toQRect(r));
}
void GetRegionBounds(RgnHandle rgn, Rect* bounds) {
    if (bounds) *bounds = rgn ? toRect(rgn->rgn.boundingRect()) : Rect{};
}
void EraseRgn(RgnHandle rgn) {
    if (rgn)
        for (const QRect& r : rgn->rgn)
            EraseRect(toRect(r));
}
void InvertRgn(RgnHandle rgn) {
    if (rgn)
        for (const QRect& r : rgn->rgn)
            InvertRect(toRect(r));
}

void ClipRect(const Rect* r) {
    PortHost* h = Cur();
    if (!h) return;
    h->userClip = r ? (EmptyRect(*r) ? QRegion() : QRegion(toQRect(*r))) : QRegion(kWideOpen);
    h->clipChanged();
}
void SetClip(RgnHandle rgn) {
    PortHost* h = Cur();
    if (!h || !rgn) return;
    h->userClip = rgn->rgn;
    h->clipChanged();
}
void GetClip(RgnHandle rgn) {
    PortHost* h = Cur();
    if (rgn) rgn->rgn = h ? h->userClip : QRegion(kWideOpen);
}

void ScrollRect(const Rect& r, std::int16_t dh, std::int16_t dv, RgnHandle updateRgn) {
    PortHost* h = Cur();
    if (updateRgn) updateRgn->rgn = QRegion();
    if (!h || EmptyRect(r)) return;
    QRect q = toQRect(r);
    h->scrollPixels(q, dh, dv);
    QRegion uncovered = QRegion(q) - QRegion(q.translated(dh, dv));
    for (const QRect& u : uncovered)
        EraseRect(toRect(u));
    if (updateRgn) updateRgn->rgn = uncovered;
}

// ---- bits ------------------------------------------------------------------------------------

void BitSet(void* bytes, long n) {
    static_cast<std::uint8_t*>(bytes)[n >> 3] |= 0x80 >> (n & 7);
}
void BitClr(void* bytes, long n) {
    static_cast<std::uint8_t*>(bytes)[n >> 3] &= static_cast<std::uint8_t>(~(0x80 >> (n & 7)));
}
bool BitTst(const void* bytes, long n) {
    return static_cast<const std::uint8_t*>(bytes)[n >> 3] & (0x80 >> (n & 7));
}

// ---- cursors ---------------------------------------------------------------------------------

void SetCursor(std::int16_t kind) {
    if (!qApp) return;
    // Long loops set the watch once per step: only a change of shape reaches the window system,
    // where every change costs a round trip. The arrow is no override at all.
    const QCursor* current = QApplication::overrideCursor();
    const bool arrow = kind != watchCursor && kind != iBeamCursor;
    const Qt::CursorShape shape = kind == watchCursor ? Qt::WaitCursor : Qt::IBeamCursor;
    if (arrow ? !current : current && current->shape() == shape) return;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (!arrow) QApplication::setOverrideCursor(shape);
}
void InitCursor() {
    SetCursor(arrowCursor);
}
