#include "toolbox/gui/StatusWindow.h"

#include "toolbox/gui/App.h"
#include "toolbox/gui/DialogTemplateBytes.h"
#include "toolbox/gui/Dialogs.h"
#include "toolbox/gui/HostPrivate.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QWidget>

namespace {

struct Status {
    QPointer<QWidget> window;
    QPointer<QLabel> line;
};

Status& status() {
    static Status s;
    return s;
}

bool open() {
    Status& s = status();
    if (s.window) return true;
    DialogTemplate t;
    if (ParseDialogTemplate(GetDialogTemplateBytes(DialogId::status), &t) != noErr ||
        t.items.empty())
        return false;
    QWidget* frame = GetFrameWindow();
    auto* w = new QWidget(frame, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setAttribute(Qt::WA_ShowWithoutActivating);
    w->setWindowTitle(ToHostText(GetApplicationName()));
    w->setFont(HostFont(StandardTextStyle(2)));
    w->setFixedSize(t.bounds.right - t.bounds.left, t.bounds.bottom - t.bounds.top);
    QPoint origin = frame ? frame->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0);
    w->move(origin + QPoint(t.bounds.left, t.bounds.top));
    const DialogTemplateItem& item = t.items.front();
    auto* line = new QLabel(w);
    line->setTextFormat(Qt::PlainText);
    line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    line->setGeometry(item.rect.left, item.rect.top, item.rect.right - item.rect.left,
                      item.rect.bottom - item.rect.top);
    s.window = w;
    s.line = line;
    return true;
}

} // namespace

void SetStatusText(const char* text) {
    Status& s = status();
    if (!text || !*text) {
        if (s.window) s.window->close(); // deletes it
        s.window = nullptr;
        return;
    }
    if (!open()) return;
    s.line->setText(ToHostText(text));
    s.window->show();
    // Long work follows on this thread: draw the window now.
    s.window->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                QEventLoop::ExcludeSocketNotifiers);
}

bool StatusWindowOpen() {
    return status().window && status().window->isVisible();
}

std::string GetStatusText() {
    Status& s = status();
    if (!StatusWindowOpen() || !s.line) return {};
    return FromHostText(s.line->text()).toStdString();
}
