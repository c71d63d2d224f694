// The frame window, the application's handlers, the event loop and the routing of menu
// commands and of the quit.
#include "toolbox/gui/App.h"
#include "resources/Commands.h"
#include "toolbox/gui/HostPrivate.h"
#include "toolbox/gui/TextEdit.h"
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QScreen>
#include <QUrl>
#include <deque>
#include <string>

namespace {

MenuCommandHandler g_menuCommand = nullptr;
OpenDocumentHandler g_openDocument = nullptr;
QuitRequestHandler g_quitRequest = nullptr;
QuitHook g_quitHook = nullptr;

std::string g_appName;
QMainWindow* g_frame = nullptr;
QMdiArea* g_area = nullptr;
QApplication* g_ownApp = nullptr;
bool g_quitting = false;
int g_pendingShowState = -1; // the frame waits for the event loop to show it
std::deque<std::string> g_openQueue;

class FrameWindow : public QMainWindow {
    bool quitPosted_ = false;

protected:
    void closeEvent(QCloseEvent* e) override {
        // The close box quits through the quit routine, which may be abandoned. One close can
        // reach us twice (through the widget and through its native window).
        e->ignore();
        if (quitPosted_) return;
        quitPosted_ = true;
        QMetaObject::invokeMethod(
            qApp,
            [this] {
                quitPosted_ = false;
                QuitApplication();
            },
            Qt::QueuedConnection);
    }
    // Files dropped on the frame open as documents, as if named on the command line.
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (e->mimeData()->hasUrls()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        for (const QUrl& url : e->mimeData()->urls())
            if (url.isLocalFile()) QueueOpenDocument(url.toLocalFile().toLocal8Bit().constData());
        e->acceptProposedAction();
    }
};

void RunOpenQueue() {
    while (!g_openQueue.empty()) {
        std::string path = std::move(g_openQueue.front());
        g_openQueue.pop_front();
        if (g_frame) {
            if (g_frame->isMinimized()) g_frame->showNormal();
            g_frame->raise();
            g_frame->activateWindow();
        }
        if (g_openDocument) g_openDocument(path.c_str());
    }
}

} // namespace

MenuCommandHandler SetMenuCommandHandler(MenuCommandHandler h) {
    std::swap(g_menuCommand, h);
    return h;
}
OpenDocumentHandler SetOpenDocumentHandler(OpenDocumentHandler h) {
    std::swap(g_openDocument, h);
    return h;
}
QuitRequestHandler SetQuitRequestHandler(QuitRequestHandler h) {
    std::swap(g_quitRequest, h);
    return h;
}
QuitHook SetQuitHook(QuitHook h) {
    std::swap(g_quitHook, h);
    return h;
}

bool InitToolbox(const char* appName) {
    if (g_frame) return true;
    if (!qApp) return false;
    g_appName = appName ? appName : "";
    QApplication::setApplicationName(ToHostText(g_appName.c_str()));
    g_frame = new FrameWindow;
    g_frame->setAcceptDrops(true);
    g_frame->setWindowTitle(ToHostText(g_appName.c_str()));
    g_area = new QMdiArea(g_frame);
    g_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    g_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    g_frame->setCentralWidget(g_area);
    QObject::connect(g_area, &QMdiArea::subWindowActivated, [](QMdiSubWindow* sub) {
        if (!sub) return;
        for (WindowPtr w : host::Windows())
            if (w->winHost->sub == sub) {
                host::ActivateFromHost(w);
                return;
            }
    });
    // The system's default size: most of the screen.
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect avail = s->availableGeometry();
        g_frame->resize(avail.width() * 4 / 5, avail.height() * 4 / 5);
        g_frame->move(avail.center() - g_frame->rect().center());
    }
    host::StartIdle();
    host::WatchClipboard();
    return true;
}

void ShowFrame(int showState) {
    g_pendingShowState = -1;
    if (!g_frame) return;
    switch (showState) {
    case 2:
    case 6:
    case 7:
        g_frame->showMinimized();
        break;
    case 3:
        g_frame->showMaximized();
        break;
    default:
        g_frame->show();
        break;
    }
}

void DisposeToolbox() {
    while (!host::Windows().empty())
        DisposeWindow(host::Windows().front());
    host::StopIdle();
    host::RunUpdatePass();
    delete g_frame;
    g_frame = nullptr;
    g_area = nullptr;
}

const char* GetApplicationName() {
    return g_appName.c_str();
}
QMainWindow* GetFrameWindow() {
    return g_frame;
}
QMdiArea* GetFrameDocumentArea() {
    return g_area;
}

int ToolboxMain(int& argc, char** argv, const char* appName, int showState,
                int (*appMain)(int argc, char** argv)) {
    if (!qApp) g_ownApp = new QApplication(argc, argv);
    if (!InitToolbox(appName)) return 1;
    g_pendingShowState = showState; // shown when the event loop starts
    const int rc = appMain ? appMain(argc, argv) : 0;
    DisposeToolbox();
    delete g_ownApp;
    g_ownApp = nullptr;
    return rc;
}

int RunEventLoop() {
    if (!qApp) return 1;
    if (g_pendingShowState >= 0) ShowFrame(g_pendingShowState);
    g_quitting = false;
    return qApp->exec();
}

void QuitEventLoop(int exitCode) {
    if (qApp) qApp->exit(exitCode);
}

void ProcessPendingEvents() {
    QCoreApplication::processEvents();
    host::RunUpdatePass();
}

bool DispatchMenuCommand(std::int16_t command) {
    WindowPtr front = FrontWindow();
    if (command == kCmdClose && front) {
        WindowMessage m;
        m.kind = wmCloseRequest;
        SendWindowMessage(front, m);
        return true;
    }
    if (front && front->proc) {
        WindowMessage m;
        m.kind = wmMenuCommand;
        m.command = command;
        if (SendWindowMessage(front, m)) return true;
    }
    if (g_menuCommand && g_menuCommand(command)) return true;
    if (command == kCmdExit) {
        QuitApplication();
        return true;
    }
    return false;
}

void PostMenuCommand(std::int16_t command) {
    if (qApp)
        QMetaObject::invokeMethod(
            qApp, [command] { DispatchMenuCommand(command); }, Qt::QueuedConnection);
}

bool QuitApplication() {
    if (g_quitting) return false;
    g_quitting = true;
    bool quit = !g_quitHook || g_quitHook();
    // The remaining windows, front first; one that stays open keeps the program running.
    while (quit) {
        WindowPtr w = GetNextWindow(nullptr, 7);
        if (!w) break;
        WindowMessage m;
        m.kind = wmCloseRequest;
        SendWindowMessage(w, m);
        if (host::IsLiveWindow(w)) quit = false;
    }
    g_quitting = false;
    if (quit) QuitEventLoop(0);
    return quit;
}

void RequestQuit() {
    if (g_quitRequest)
        g_quitRequest();
    else
        QuitApplication();
}

void QueueOpenDocument(const char* path) {
    if (!path) return;
    g_openQueue.emplace_back(path);
    if (g_openQueue.size() == 1 && qApp)
        QMetaObject::invokeMethod(
            qApp, [] { RunOpenQueue(); }, Qt::QueuedConnection);
}
