#include "shell/ImportErrors.h"

#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/Dialogs.h"
#include "toolbox/gui/Quickdraw.h"

#include <cstdio>

namespace {

constexpr std::int16_t kMessageItem = 2;
constexpr std::int16_t kLineItem = 3;
constexpr char kShownTab = '\x86'; // a dagger in the host's 8-bit character set

bool importErrorProc(DialogPtr d, WindowMessage& msg) {
    const auto* error = static_cast<const ImportError*>(GetDialogUserData(d));
    switch (msg.kind) {
    case wmCreated:
        SetDialogItemText(d, kMessageItem, error->message.str().c_str());
        SetDialogItemText(d, kLineItem, importLineForDisplay(error->lineText).c_str());
        return true;
    case wmUpdate: {
        Rect frame = GetDialogItemRect(d, kLineItem);
        InsetRect(&frame, -3, -3);
        PenNormal();
        FrameRect(frame);
        char caption[80];
        std::snprintf(caption, sizeof caption, "Error encountered on or before line %ld.",
                      error->lineNumber);
        TextStyle style = StandardTextStyle(2);
        SetPortTextStyle(style);
        FontInfo info;
        GetFontInfo(&info);
        MoveTo(frame.left, static_cast<std::int16_t>(frame.top - 2 - info.descent));
        DrawText(caption);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

std::string importLineForDisplay(const std::string& line) {
    std::string shown = line;
    for (char& c : shown)
        if (c == '\t') c = kShownTab;
    return shown;
}

void showImportError(const ImportError& error) {
    RunModalDialog(DialogId::importError, importErrorProc, const_cast<ImportError*>(&error));
}

void DialogImportReporter::importError(const ImportError& error) {
    SetCursor(arrowCursor);
    showImportError(error);
}

void DialogImportReporter::fileError(OSErr err) {
    SetCursor(arrowCursor);
    ErrorAlert(err);
}

void DialogImportReporter::progress(long, long) {
    SetCursor(watchCursor);
}
