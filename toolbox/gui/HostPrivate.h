// The host side of ports and windows: shared by the toolbox's own source files only (and by
// the test harness, which drives them).
#pragma once
#include "toolbox/gui/App.h"
#include "toolbox/gui/Windows.h"
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMdiSubWindow;
class QScrollBar;
class QAbstractButton;
class QDialog;
class PortView;

// A wide-open clip: every coordinate a port can address.
inline const QRect kWideOpen(-32768, -32768, 65535, 65535);

inline QRect toQRect(const Rect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}
inline Rect toRect(const QRect& r) {
    if (r.isEmpty()) return Rect{};
    return Rect{static_cast<std::int16_t>(r.top()), static_cast<std::int16_t>(r.left()),
                static_cast<std::int16_t>(r.top() + r.height()),
                static_cast<std::int16_t>(r.left() + r.width())};
}
QColor toQColor(ColorCode c);

// Fonts of text styles, cached: the QFont and its metrics.
struct StyleFont {
    QFont font;
    QFontMetrics metrics;
};
const StyleFont& FontFor(const TextStyle& s);
// The program's 8-bit text is the host's Western code page: Latin-1 with printable characters
// in 0x80-0x9F. A length of -1 means zero-terminated.
QString ToHostText(const char* text, std::int32_t length = -1);
QByteArray FromHostText(const QString& s); // '?' for what the code page lacks
int FromHostChar(char16_t u);              // -1 for what the code page lacks

struct Region {
    QRegion rgn;
};

// Backing image and drawing state of a port. Local coordinates of the port are view pixels
// shifted by origin (the scroll position of a window with a document size).
struct PortHost {
    explicit PortHost(GrafPtr p);
    ~PortHost();
    GrafPtr port;
    QImage image;           // RGB32, devicePixelRatio set
    QPainter painter;       // active while drawing; ended when the frame is flushed to the screen
    QPointer<QWidget> view; // the widget showing the image; null for off-screen ports
    WindowPtr window = nullptr;                         // the window or pane owning the port
    std::function<void(GrafPtr, const Rect&)> drawProc; // update handler of a plain view
    QPoint origin; // local coordinates of the image's top-left pixel
    int width = 0, height = 0;
    QRegion updateRgn; // local coordinates, waiting for the update pass
    QRegion userClip{kWideOpen};
    QRegion updateClip; // set while an update is being delivered
    bool inUpdate = false;
    bool stateValid = false; // painter transform and clip are current
    QRect dirty;             // view pixels changed since the last flush

    QPainter& begin(); // the painter, active, with the port's transform and clip
    void end();
    void clipChanged();
    void resize(int w, int h, qreal dpr, ColorCode background);
    void touch(const QRect& local); // marks pixels as changed (local coordinates)
    QRect localBounds() const { return QRect(origin, QSize(width, height)); }
    void syncPortRect();
    void scrollPixels(const QRect& local, int dx, int dy); // shifts pixels, no erase
};

// The widget that shows a port and turns Qt input into window messages.
class PortView : public QWidget {
public:
    // Shows port (a window's or pane's); with nullptr the view makes and owns a port of its own.
    explicit PortView(QWidget* parent, GrafPtr port = nullptr);
    ~PortView() override;
    GrafPtr port() { return port_; }
    void detach() { // the window record is going away
        window = nullptr;
        port_ = nullptr;
    }
    WindowPtr window = nullptr; // nullptr for plain views (and once the window is disposed)

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool focusNextPrevChild(bool) override { return false; } // Tab is a key like any other

private:
    int wheelRest_ = 0; // wheel movement not yet turned into lines
    GrafPtr port_;
    std::unique_ptr<GrafPort> own_;
};

struct ControlRecord {
    WindowPtr window = nullptr;
    std::int16_t procID = 0;
    std::int16_t item = 0;
    std::int32_t value = 0, maximum = 0;
    QScrollBar* bar = nullptr;
    QAbstractButton* button = nullptr;
    Rect rect{}; // local coordinates (buttons)
};

struct WindowHost {
    WindowPtr rec = nullptr;
    std::int16_t style = 0;
    QPointer<QMdiSubWindow> sub; // document windows
    QPointer<QWidget> container; // client area (document windows)
    PortView* view = nullptr;    // the window's own view, or the pane itself
    QScrollBar* vbar = nullptr;
    std::unique_ptr<ControlRecord> scrollBar;
    QScrollBar* hbar = nullptr; // shown while the document is wider than the view
    std::unique_ptr<ControlRecord> hScrollBar;
    std::vector<WindowPtr> panes;
    std::vector<std::int16_t> paneHeights;
    std::vector<ControlRecord*> controls;
    bool created = false; // wmCreated was sent: later size changes send wmResize
    std::string title;
    int clientW = 0, clientH = 0;
};

// ---- shared between the toolbox's source files ----------------------------------------------
namespace host {
// Every modal window of the layer (template dialogs, alerts, file dialogs): application modal,
// a title bar with the close box only, and never left minimised.
void PrepareModalDialog(QDialog* dialog);
PortHost* Host(GrafPtr port);
bool IsLivePort(GrafPtr port);
WindowPtr TopWindow(WindowPtr w); // the window a pane belongs to (w itself for windows)
bool IsLiveWindow(WindowPtr w);
const std::vector<WindowPtr>& Windows(); // front to back, top-level windows only
void LayoutWindow(WindowPtr w);          // places panes, view and scroll bars; resizes images
bool NeedsHorizontalBar(WindowPtr w);    // the document is wider than the view can be
void ActivateFromHost(WindowPtr w);      // the host made w the active window
void ScrollContentTo(WindowPtr w, int h, int v);
void ControlClicked(ControlRecord* c);
void ScrollBarAction(ControlRecord* c, int action);

void PostUpdatePass(); // schedules the update pass (updates, then flush to the screen)
void RunUpdatePass();  // delivers pending updates and flushes drawing now
void DeliverUpdate(PortHost* h);
void PortDirty(PortHost* h);     // h has pixels to flush
void PortHasUpdate(PortHost* h); // h has a pending update region
void ForgetPort(PortHost* h);

// Input state.
struct InputState {
    bool buttonDown = false;
    int button = 0;
    QPoint lastGlobal; // last pointer position seen in an input event
    bool havePointer = false;
    WindowPtr lastPressWindow = nullptr;
    QPoint lastPressGlobal;
    std::uint32_t lastPressTime = 0;
    bool lastWasDouble = false; // the last press made a double click
    bool keypadTranslation = false;
    std::uint8_t lastClickKind = 0; // wmMouseDown or wmDoubleClick, as last delivered
};
InputState& Input();
void HandlePress(PortView* v, QMouseEvent* e);
void HandleKey(PortView* v, QKeyEvent* e);
bool MapKey(int qtKey, Qt::KeyboardModifiers mods, const QString& text, std::int16_t* code,
            bool* special);
void WatchClipboard(); // the text scrap follows the host clipboard
void StartIdle();
void StopIdle();
} // namespace host
