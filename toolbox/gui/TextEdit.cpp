// Text edit records and the text scrap.
#include "toolbox/gui/TextEdit.h"
#include "toolbox/gui/HostPrivate.h"
#include <QApplication>
#include <QApplicationStateChangeEvent>
#include <QClipboard>
#include <QGuiApplication>
#include <QStyleHints>
#include <algorithm>
#include <cstring>
#include <new>

struct TELine {
    std::int32_t start = 0, end = 0; // [start, end); end stops before a carriage return
};

struct TEHost {
    std::vector<TELine> lines;
    int lineHeight = 0, ascent = 0;
    int hScroll = 0; // single-line mode: how far the text is shifted left, in pixels
    bool caretOn = false;
    std::uint32_t lastBlink = 0;
};

namespace {

constexpr char kCR = 13;
constexpr int kMargin = 1; // text starts one pixel inside the destination rectangle

UniqueHandle gScrap;

const char* Text(TEHandle te) {
    return te->hText && te->hText->data ? te->hText->data : "";
}

int Width(const QFontMetrics& fm, const char* text, std::int32_t from, std::int32_t to) {
    return to > from ? fm.horizontalAdvance(ToHostText(text + from, to - from)) : 0;
}

// Breaks text into lines no wider than width: at carriage returns, after blanks, or inside a
// word that is wider than a line by itself.
std::vector<TELine> Wrap(const char* text, std::int32_t len, int width, const QFontMetrics& fm,
                         bool singleLine) {
    std::vector<TELine> lines;
    if (singleLine) return {TELine{0, len}};
    std::int32_t pos = 0;
    for (;;) {
        const char* cr = static_cast<const char*>(std::memchr(text + pos, kCR, len - pos));
        const std::int32_t pend = cr ? static_cast<std::int32_t>(cr - text) : len;
        std::int32_t start = pos;
        if (start == pend) lines.push_back({start, start});
        while (start < pend) {
            std::int32_t end = start, lastBreak = -1;
            while (end < pend && Width(fm, text, start, end + 1) <= width) {
                ++end;
                if (text[end - 1] == ' ') lastBreak = end;
            }
            if (end < pend) {
                if (lastBreak > start)
                    end = lastBreak;
                else if (end == start)
                    end = start + 1; // one character at least
                while (end < pend && text[end] == ' ')
                    ++end; // blanks stay on their line
            }
            lines.push_back({start, end});
            start = end;
        }
        if (!cr) break;
        pos = pend + 1;
    }
    if (lines.empty()) lines.push_back({0, 0});
    return lines;
}

// Draws in the record's port with its style and colours; puts the port back as it was.
class TextPortScope {
public:
    explicit TextPortScope(TEHandle te) : old_(SetPort(te->port)), port_(te->port) {
        if (!port_) return;
        saved_ = *port_;
        clip_ = NewRgn();
        GetClip(clip_);
        port_->txStyle = te->style;
        port_->fgColor = te->fgColor;
        port_->bkColor = te->bkColor;
        PenNormal();
    }
    ~TextPortScope() {
        if (port_) {
            SetClip(clip_);
            PortHost* h = port_->host;
            *port_ = saved_;
            port_->host = h;
        }
        DisposeRgn(clip_);
        SetPort(old_);
    }
    // Narrows the clip to r within the clip the port had.
    void clipTo(const Rect& r) {
        RgnHandle rr = NewRgn();
        RectRgn(rr, r);
        SectRgn(rr, clip_, rr);
        SetClip(rr);
        DisposeRgn(rr);
    }
    bool ok() const { return port_ != nullptr; }

private:
    GrafPtr old_, port_;
    GrafPort saved_;
    RgnHandle clip_ = nullptr;
};

int LineOf(TEHandle te, std::int32_t offset) {
    const auto& lines = te->host->lines;
    int i = 0;
    while (i + 1 < int(lines.size()) && lines[i + 1].start <= offset)
        ++i;
    return i;
}

int XOf(TEHandle te, std::int32_t offset) {
    const TELine& l = te->host->lines[LineOf(te, offset)];
    const QFontMetrics& fm = FontFor(te->style).metrics;
    return te->destRect.left + kMargin - te->host->hScroll +
           Width(fm, Text(te), l.start, std::min(offset, l.end));
}

Rect LineRect(TEHandle te, int line, int x1, int x2) {
    const int top = te->destRect.top + line * te->host->lineHeight;
    return Rect{static_cast<std::int16_t>(top), static_cast<std::int16_t>(x1),
                static_cast<std::int16_t>(top + te->host->lineHeight),
                static_cast<std::int16_t>(x2)};
}

Rect CaretRect(TEHandle te) {
    const int x = XOf(te, te->selStart);
    return LineRect(te, LineOf(te, te->selStart), x, x + 1);
}

std::int32_t HitOffset(TEHandle te, Point p) {
    TEHost* h = te->host;
    const int line = std::clamp((p.v - te->destRect.top) / std::max(h->lineHeight, 1), 0,
                                int(h->lines.size()) - 1);
    const TELine& l = h->lines[line];
    const QFontMetrics& fm = FontFor(te->style).metrics;
    const int x = p.h - (te->destRect.left + kMargin - h->hScroll);
    std::int32_t end = l.end;
    // A wrapped line's trailing blank belongs to it, but the caret goes before it.
    if (line + 1 < int(h->lines.size()) && h->lines[line + 1].start == l.end && end > l.start &&
        Text(te)[end - 1] == ' ')
        --end;
    int prev = 0;
    for (std::int32_t k = l.start; k < end; ++k) {
        const int next = Width(fm, Text(te), l.start, k + 1);
        if (x < (prev + next) / 2) return k;
        prev = next;
    }
    return end;
}

// Single-line mode: shifts the text sideways so that offset is inside the view.
void ScrollToShow(TEHandle te, std::int32_t offset) {
    TEHost* h = te->host;
    if (!te->singleLine) return;
    const QFontMetrics& fm = FontFor(te->style).metrics;
    const int viewW = te->viewRect.right - te->viewRect.left;
    const int textW = Width(fm, Text(te), 0, te->teLength);
    const int x = Width(fm, Text(te), 0, offset) + te->destRect.left + kMargin;
    const int left = te->viewRect.left + kMargin, right = te->viewRect.right - 2;
    const int step = std::max(viewW / 4, 1);
    if (x - h->hScroll > right)
        h->hScroll = x - right + step;
    else if (x - h->hScroll < left)
        h->hScroll = std::max(0, x - left - step);
    // Never leave blank room at the right when the text could fill it.
    const int maxScroll = std::max(0, te->destRect.left + kMargin + textW + 2 - te->viewRect.right);
    h->hScroll = std::clamp(h->hScroll, 0, std::max(maxScroll, x - right));
    if (textW + 2 * kMargin <= viewW) h->hScroll = 0;
}

void Draw(TEHandle te, const Rect* area) {
    TextPortScope scope(te);
    if (!scope.ok()) return;
    TEHost* h = te->host;
    Rect clip = te->viewRect;
    if (area && !SectRect(clip, *area, &clip)) return;
    scope.clipTo(clip);
    EraseRect(clip);
    const char* text = Text(te);
    for (size_t i = 0; i < h->lines.size(); ++i) {
        const Rect lr = LineRect(te, int(i), te->viewRect.left, te->viewRect.right);
        if (lr.bottom <= clip.top || lr.top >= clip.bottom) continue;
        MoveTo(static_cast<std::int16_t>(te->destRect.left + kMargin - h->hScroll),
               static_cast<std::int16_t>(lr.top + h->ascent));
        DrawText(text + h->lines[i].start, h->lines[i].end - h->lines[i].start);
    }
    if (!te->active) return;
    if (te->selStart == te->selEnd) {
        if (h->caretOn) InvertRect(CaretRect(te));
        return;
    }
    const int first = LineOf(te, te->selStart), last = LineOf(te, te->selEnd);
    for (int i = first; i <= last; ++i) {
        const TELine& l = h->lines[i];
        const int x1 = i == first ? XOf(te, te->selStart) : te->destRect.left;
        const int x2 =
            i == last ? XOf(te, te->selEnd) : std::max<int>(XOf(te, l.end), te->destRect.right);
        if (x2 > x1) InvertRect(LineRect(te, i, x1, x2));
    }
}

void Changed(TEHandle te) {
    te->teLength = GetHandleSize(te->hText);
    TECalText(te);
    ScrollToShow(te, te->selEnd);
    te->host->caretOn = true;
    te->host->lastBlink = TickCount();
    Draw(te, nullptr);
}

void Replace(TEHandle te, std::int32_t from, std::int32_t to, const char* text, std::int32_t len) {
    if (!te->hText) return;
    if (to > from && DeleteBytes(te->hText, from, to - from) != noErr) return;
    if (len > 0 && InsertBytes(te->hText, from, text, len) != noErr) len = 0;
    te->selStart = te->selEnd = from + len;
    Changed(te);
}

bool IsWordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c >= 128;
}

void SetClipboardText(const char* text, std::int32_t len) {
    if (!qApp) return;
    QString s = ToHostText(text, len);
    s.replace(QChar(kCR), QChar('\n'));
    QGuiApplication::clipboard()->setText(s);
}

} // namespace

// ---- records ---------------------------------------------------------------------------------

TEHandle TENew(const Rect& destRect, const Rect& viewRect) {
    auto* te = new (std::nothrow) TERec;
    if (!te) return nullptr;
    te->host = new (std::nothrow) TEHost;
    te->hText = NewHandle(0);
    if (!te->host || !te->hText) {
        TEDispose(te);
        return nullptr;
    }
    te->destRect = destRect;
    te->viewRect = viewRect;
    te->port = GetPort();
    if (te->port) {
        te->style = te->port->txStyle;
        te->fgColor = te->port->fgColor;
        te->bkColor = te->port->bkColor;
    }
    TECalText(te);
    return te;
}

void TEDispose(TEHandle te) {
    if (!te) return;
    DisposeHandle(te->hText);
    delete te->host;
    delete te;
}

void TECalText(TEHandle te) {
    if (!te) return;
    TEHost* h = te->host;
    const QFontMetrics& fm = FontFor(te->style).metrics;
    h->ascent = fm.ascent();
    h->lineHeight = fm.ascent() + fm.descent() + std::max(0, fm.leading());
    te->teLength = GetHandleSize(te->hText);
    const int width = te->destRect.right - te->destRect.left - 2 * kMargin;
    h->lines = Wrap(Text(te), te->teLength, width, fm, te->singleLine);
    te->selStart = std::clamp(te->selStart, 0, te->teLength);
    te->selEnd = std::clamp(te->selEnd, te->selStart, te->teLength);
}

void TESetText(const char* text, std::int32_t length, TEHandle te) {
    if (!te || !te->hText) return;
    if (length < 0) length = text ? static_cast<std::int32_t>(std::strlen(text)) : 0;
    if (SetHandleSize(te->hText, length) != noErr) return;
    if (length > 0) std::memcpy(te->hText->data, text, length);
    te->teLength = length;
    te->selStart = te->selEnd = length;
    te->host->hScroll = 0;
    TECalText(te);
    ScrollToShow(te, length);
    if (te->active) Draw(te, nullptr);
}

Handle TEGetText(TEHandle te) {
    return te ? te->hText : nullptr;
}

void TESetSelect(std::int32_t selStart, std::int32_t selEnd, TEHandle te) {
    if (!te) return;
    selStart = std::clamp(selStart, 0, te->teLength);
    selEnd = std::clamp(selEnd, 0, te->teLength);
    if (selStart > selEnd) std::swap(selStart, selEnd);
    te->selStart = selStart;
    te->selEnd = selEnd;
    ScrollToShow(te, selEnd);
    te->host->caretOn = true;
    te->host->lastBlink = TickCount();
    if (te->active) Draw(te, nullptr);
}

void TEActivate(TEHandle te) {
    if (!te || te->active) return;
    te->active = true;
    te->host->caretOn = true;
    te->host->lastBlink = TickCount();
    Draw(te, nullptr);
}

void TEDeactivate(TEHandle te) {
    if (!te || !te->active) return;
    te->active = false;
    te->host->caretOn = false;
    Draw(te, nullptr);
}

void TEIdle(TEHandle te) {
    if (!te || !te->active || te->selStart != te->selEnd) return;
    const std::uint32_t now = TickCount();
    const int flash = qApp ? QGuiApplication::styleHints()->cursorFlashTime() : 1000;
    if (flash <= 0 || now - te->host->lastBlink < std::uint32_t(flash / 2)) return;
    te->host->lastBlink = now;
    te->host->caretOn = !te->host->caretOn;
    TextPortScope scope(te);
    if (!scope.ok()) return;
    scope.clipTo(te->viewRect);
    InvertRect(CaretRect(te));
}

void TEKey(KeyCode key, TEHandle te) {
    if (!te) return;
    const std::int32_t s = te->selStart, e = te->selEnd;
    auto caret = [te](std::int32_t k) {
        te->selStart = te->selEnd = std::clamp(k, 0, te->teLength);
        Changed(te);
    };
    switch (key) {
    case kKeyBackspace:
        if (s != e)
            Replace(te, s, e, nullptr, 0);
        else if (s > 0)
            Replace(te, s - 1, s, nullptr, 0);
        return;
    case kKeyDelete:
        if (s != e)
            Replace(te, s, e, nullptr, 0);
        else if (s < te->teLength)
            Replace(te, s, s + 1, nullptr, 0);
        return;
    case kKeyLeftArrow:
        caret(s != e ? s : s - 1);
        return;
    case kKeyRightArrow:
        caret(s != e ? e : e + 1);
        return;
    case kKeyHome:
        caret(te->host->lines[LineOf(te, s)].start);
        return;
    case kKeyEnd:
        caret(te->host->lines[LineOf(te, e)].end);
        return;
    case kKeyUpArrow:
    case kKeyDownArrow: {
        if (te->singleLine) return;
        const int line = LineOf(te, s) + (key == kKeyUpArrow ? -1 : 1);
        if (line < 0 || line >= int(te->host->lines.size())) return;
        const Point p{static_cast<std::int16_t>(te->destRect.top + line * te->host->lineHeight),
                      static_cast<std::int16_t>(XOf(te, s))};
        caret(HitOffset(te, p));
        return;
    }
    case kKeyReturn:
        if (te->singleLine) return;
        Replace(te, s, e, &kCR, 1);
        return;
    default:
        if (const int k = KeyNumber(key); key == kKeyTab || (k >= 32 && k <= 255)) {
            const char c = static_cast<char>(k);
            Replace(te, s, e, &c, 1);
        }
        return;
    }
}

void TEClick(Point where, bool extend, TEHandle te) {
    if (!te || !te->port) return;
    // GetMouse reads in the record's port; the port keeps its own state while the drag
    // lets other drawing happen.
    GrafPtr old = SetPort(te->port);
    std::int32_t off = HitOffset(te, where), anchor = off;
    // The double click is used up by the click that sees it.
    const bool word = host::Input().lastClickKind == wmDoubleClick;
    host::Input().lastClickKind = 0;
    if (word && !extend) {
        const char* t = Text(te);
        std::int32_t a = off, b = off;
        while (a > 0 && IsWordChar(t[a - 1]))
            --a;
        while (b < te->teLength && IsWordChar(t[b]))
            ++b;
        te->selStart = a;
        te->selEnd = b;
        anchor = a;
    } else if (extend) {
        // The end of the selection farther from the click stays put.
        anchor =
            std::abs(off - te->selStart) > std::abs(off - te->selEnd) ? te->selStart : te->selEnd;
        te->selStart = std::min(anchor, off);
        te->selEnd = std::max(anchor, off);
    } else {
        te->selStart = te->selEnd = off;
    }
    ScrollToShow(te, off);
    te->host->caretOn = true;
    te->host->lastBlink = TickCount();
    Draw(te, nullptr);
    while (StillDown()) {
        SetPort(te->port); // events handled meanwhile may have moved it
        Point p;
        GetMouse(&p);
        const std::int32_t k = HitOffset(te, p);
        const std::int32_t a = std::min(anchor, k), b = std::max(anchor, k);
        if (a == te->selStart && b == te->selEnd) continue;
        te->selStart = a;
        te->selEnd = b;
        ScrollToShow(te, k);
        Draw(te, nullptr);
    }
    SetPort(host::IsLivePort(old) ? old : nullptr);
}

void TEUpdate(const Rect* area, TEHandle te) {
    if (te) Draw(te, area);
}

void TECopy(TEHandle te) {
    if (!te) return;
    if (!gScrap) gScrap.reset(NewHandle(0));
    if (!gScrap) return;
    const std::int32_t n = te->selEnd - te->selStart;
    if (SetHandleSize(gScrap.get(), n) != noErr) return;
    if (n > 0) std::memcpy(gScrap.data(), Text(te) + te->selStart, n);
    SetClipboardText(gScrap.data(), n);
}

void TECut(TEHandle te) {
    TECopy(te);
    TEDelete(te);
}

void TEPaste(TEHandle te) {
    if (te && gScrap) TEInsert(gScrap.data(), gScrap.size(), te);
}

void TEDelete(TEHandle te) {
    if (te && te->selEnd > te->selStart) Replace(te, te->selStart, te->selEnd, nullptr, 0);
}

void TEInsert(const char* text, std::int32_t length, TEHandle te) {
    if (!te) return;
    if (length < 0) length = text ? static_cast<std::int32_t>(std::strlen(text)) : 0;
    Replace(te, te->selStart, te->selEnd, text, text ? length : 0);
}

void TESetStyle(const TextStyle& style, TEHandle te) {
    if (!te) return;
    te->style = style;
    TECalText(te);
    if (te->active) Draw(te, nullptr);
}

void TESetSingleLine(TEHandle te, bool on) {
    if (!te) return;
    te->singleLine = on;
    te->host->hScroll = 0;
    TECalText(te);
    ScrollToShow(te, te->selEnd);
}

void TESetPort(TEHandle te, GrafPtr port) {
    if (te) te->port = port;
}

void TETextBox(const char* text, std::int32_t length, const Rect& box, std::int16_t just) {
    GrafPtr port = GetPort();
    if (!port || !text) return;
    if (length < 0) length = static_cast<std::int32_t>(std::strlen(text));
    EraseRect(box);
    const QFontMetrics& fm = FontFor(port->txStyle).metrics;
    const int width = box.right - box.left - 2 * kMargin;
    const auto lines = Wrap(text, length, width, fm, false);
    const int lh = fm.ascent() + fm.descent() + std::max(0, fm.leading());
    RgnHandle saved = NewRgn(), clip = NewRgn();
    GetClip(saved);
    RectRgn(clip, box);
    SectRgn(clip, saved, clip);
    SetClip(clip);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::int32_t end = lines[i].end;
        while (end > lines[i].start && text[end - 1] == ' ')
            --end; // trailing blanks
        const int w = Width(fm, text, lines[i].start, end);
        int x = box.left + kMargin;
        if (just == teJustCenter)
            x = box.left + (box.right - box.left - w) / 2;
        else if (just == teJustRight)
            x = box.right - kMargin - w;
        MoveTo(static_cast<std::int16_t>(x),
               static_cast<std::int16_t>(box.top + i * lh + fm.ascent()));
        DrawText(text + lines[i].start, end - lines[i].start);
    }
    SetClip(saved);
    DisposeRgn(saved);
    DisposeRgn(clip);
}

// ---- the text scrap --------------------------------------------------------------------------

Handle TEScrapHandle() {
    if (!gScrap) gScrap.reset(NewHandle(0));
    return gScrap.get();
}

std::int32_t TEGetScrapLength() {
    return gScrap ? gScrap.size() : 0;
}

void ZeroScrap() {
    if (gScrap) SetHandleSize(gScrap.get(), 0);
    if (!qApp) return;
    QGuiApplication::clipboard()->clear();
}

void TEFromScrap() {
    if (!qApp) return;
    QString s = QGuiApplication::clipboard()->text();
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
    s.replace(QChar('\n'), QChar(kCR));
    const QByteArray bytes = FromHostText(s);
    if (!TEScrapHandle()) return;
    if (SetHandleSize(gScrap.get(), static_cast<Size>(bytes.size())) != noErr) return;
    if (!bytes.isEmpty()) std::memcpy(gScrap.data(), bytes.constData(), bytes.size());
}

void TEToScrap() {
    if (gScrap) SetClipboardText(gScrap.data(), gScrap.size());
}

namespace {

// The program coming to the front: the host sends the application a state change event.
class ActivationWatch : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == qApp && e->type() == QEvent::ApplicationStateChange &&
            static_cast<QApplicationStateChangeEvent*>(e)->applicationState() ==
                Qt::ApplicationActive)
            TEFromScrap();
        return false;
    }
};

} // namespace

void host::WatchClipboard() {
    if (!qApp) return;
    // The scrap is the program's own: it takes what other programs copied when the program
    // comes to the front, not while it is in use, so that a clipboard tool running in the
    // background cannot change what Paste inserts in the middle of an edit.
    qApp->installEventFilter(new ActivationWatch(qApp));
}
