#include "toolbox/gui/Alerts.h"

#include "toolbox/core/StringTable.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Dialogs.h"
#include "toolbox/gui/HostHooks.h"
#include "toolbox/gui/HostPrivate.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>

void NoteAlert(const char* text) {
    std::string message = text ? text : "";
    if (auto answer = GetModalAnswerer().noteAlert; answer && answer(message)) return;
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = GetFrameWindow();
    QMessageBox box(QMessageBox::Information, ToHostText(GetApplicationName()),
                    ToHostText(message.c_str()), QMessageBox::Ok, parent);
    host::PrepareModalDialog(&box);
    box.exec();
}

void MemoryAlert() {
    NoteAlert("The operation could not be completed due to insufficient memory!");
}

void CommandErrorAlert(OSErr code) {
    if (code == memFullErr)
        MemoryAlert();
    else
        ErrorAlert(code);
}

bool ErrorAlert(OSErr code) {
    std::string text = ErrorText(code);
    if (text.empty()) return false;
    NoteAlert(text.c_str());
    return true;
}
