// The frame window, the application's handlers, the event loop and the routing of menu
// commands and of the quit.
#include "toolbox/gui/App.h"

#include "toolbox/gui/Alerts.h"
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

MenuCommandHandler gMenuCommand = nullptr;
OpenDocumentHandler gOpenDocument = nullptr;
QuitRequestHandler gQuitRequest = nullptr;
QuitHook gQuitHook = nullptr;
StandardCommands gStandardCommands;

std::string gAppName;
QMainWindow* gFrame = nullptr;
QMdiArea* gArea = nullptr;
QApplication* gOwnApp = nullptr;
bool gQuitting = false;
int gPendingShowState = -1; // the frame waits for the event loop to show it
std::deque<std::string> gOpenQueue;

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
    while (!gOpenQueue.empty()) {
        std::string path = std::move(gOpenQueue.front());
        gOpenQueue.pop_front();
        if (gFrame) {
            if (gFrame->isMinimized()) gFrame->showNormal();
            gFrame->raise();
            gFrame->activateWindow();
        }
        if (gOpenDocument) gOpenDocument(path.c_str());
    }
}

} // namespace

MenuCommandHandler SetMenuCommandHandler(MenuCommandHandler h) {
    std::swap(gMenuCommand, h);
    return h;
}
OpenDocumentHandler SetOpenDocumentHandler(OpenDocumentHandler h) {
    std::swap(gOpenDocument, h);
    return h;
}
QuitRequestHandler SetQuitRequestHandler(QuitRequestHandler h) {
    std::swap(gQuitRequest, h);
    return h;
}
QuitHook SetQuitHook(QuitHook h) {
    std::swap(gQuitHook, h);
    return h;
}

void SetStandardCommands(const StandardCommands& commands) {
    gStandardCommands = commands;
}

bool InitToolbox(const char* appName) {
    if (gFrame) return true;
    if (!qApp) return false;
    gAppName = appName ? appName : "";
    QApplication::setApplicationName(ToHostText(gAppName.c_str()));
    gFrame = new FrameWindow;
    gFrame->setAcceptDrops(true);
    gFrame->setWindowTitle(ToHostText(gAppName.c_str()));
    gArea = new QMdiArea(gFrame);
    gArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    gArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    gFrame->setCentralWidget(gArea);
    QObject::connect(gArea, &QMdiArea::subWindowActivated, [](QMdiSubWindow* sub) {
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
        gFrame->resize(avail.width() * 4 / 5, avail.height() * 4 / 5);
        gFrame->move(avail.center() - gFrame->rect().center());
    }
    host::StartIdle();
    host::WatchClipboard();
    return true;
}

void ShowFrame(int showState) {
    gPendingShowState = -1;
    if (!gFrame) return;
    switch (showState) {
    case 2:
    case 6:
    case 7:
        gFrame->showMinimized();
        break;
    case 3:
        gFrame->showMaximized();
        break;
    default:
        gFrame->show();
        break;
    }
}

void DisposeToolbox() {
    while (!host::Windows().empty())
        DisposeWindow(host::Windows().front());
    host::StopIdle();
    host::RunUpdatePass();
    delete gFrame;
    gFrame = nullptr;
    gArea = nullptr;
}

const char* GetApplicationName() {
    return gAppName.c_str();
}
QMainWindow* GetFrameWindow() {
    return gFrame;
}
QMdiArea* GetFrameDocumentArea() {
    return gArea;
}

int ToolboxMain(int& argc, char** argv, const char* appName, int showState,
                int (*appMain)(int argc, char** argv)) {
    if (!qApp) gOwnApp = new QApplication(argc, argv);
    if (!InitToolbox(appName)) return 1;
    gPendingShowState = showState; // shown when the event loop starts
    const int rc = appMain ? appMain(argc, argv) : 0;
    DisposeToolbox();
    delete gOwnApp;
    gOwnApp = nullptr;
    return rc;
}

int RunEventLoop() {
    if (!qApp) return 1;
    if (gPendingShowState >= 0) ShowFrame(gPendingShowState);
    gQuitting = false;
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
    if (command != 0 && command == gStandardCommands.close && front) {
        WindowMessage m;
        m.kind = wmCloseRequest;
        SendWindowMessage(front, m);
        return true;
    }
    OSErr err = noErr;
    bool handled = false;
    if (front && front->proc) {
        WindowMessage m;
        m.kind = wmMenuCommand;
        m.command = command;
        handled = SendWindowMessage(front, m);
        err = m.err;
    }
    if (!handled && gMenuCommand) handled = gMenuCommand(command, &err);
    if (!handled && command != 0 && command == gStandardCommands.quit) {
        QuitApplication();
        handled = true;
    }
    CommandErrorAlert(err);
    return handled;
}

void PostMenuCommand(std::int16_t command) {
    if (qApp)
        QMetaObject::invokeMethod(
            qApp, [command] { DispatchMenuCommand(command); }, Qt::QueuedConnection);
}

bool QuitApplication() {
    if (gQuitting) return false;
    gQuitting = true;
    bool quit = !gQuitHook || gQuitHook();
    // The remaining windows, front first; one that stays open keeps the program running.
    while (quit) {
        WindowPtr w = GetNextWindow(nullptr, 7);
        if (!w) break;
        WindowMessage m;
        m.kind = wmCloseRequest;
        SendWindowMessage(w, m);
        if (host::IsLiveWindow(w)) quit = false;
    }
    gQuitting = false;
    if (quit) QuitEventLoop(0);
    return quit;
}

void RequestQuit() {
    if (gQuitRequest)
        gQuitRequest();
    else
        QuitApplication();
}

void QueueOpenDocument(const char* path) {
    if (!path) return;
    gOpenQueue.emplace_back(path);
    if (gOpenQueue.size() == 1 && qApp)
        QMetaObject::invokeMethod(
            qApp, [] { RunOpenQueue(); }, Qt::QueuedConnection);
}
