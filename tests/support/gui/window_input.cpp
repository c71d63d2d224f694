#include "tests/support/gui/window_input.h"

#include "resources/Commands.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/harness/Harness.h"

#include <QClipboard>
#include <QGuiApplication>

void SendKeyDown(WindowPtr w, int key) {
    WindowMessage msg;
    msg.kind = wmKeyDown;
    msg.key = KeyCode{std::int16_t(key)};
    harness::Deliver(w, msg);
}

void TypeText(WindowPtr w, const std::string& text) {
    for (unsigned char c : text)
        SendKeyDown(w, c);
}

void SendCommand(WindowPtr w, std::int16_t command) {
    WindowMessage msg;
    msg.kind = wmMenuCommand;
    msg.command = command;
    harness::Deliver(w, msg);
    harness::ProcessUpdates();
}

void RequestClose(WindowPtr w) {
    WindowMessage msg;
    msg.kind = wmCloseRequest;
    harness::Deliver(w, msg);
    harness::ProcessUpdates();
}

void SetTextScrap(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromLatin1(text.data(), qsizetype(text.size())));
    harness::SendApplicationActivation();
}

bool MenuItemEnabled(std::int16_t command, std::string* text) {
    MenuEnableRecord edit, title; // the Edit title first: it takes the selection summary
    edit.command = kCmdEditMenu;
    AskMenuEnabling(edit);
    title.command = std::int16_t(command / 100 * 100);
    AskMenuEnabling(title);
    MenuEnableRecord rec;
    rec.command = command;
    AskMenuEnabling(rec);
    if (text) *text = rec.text;
    return rec.enabled;
}
