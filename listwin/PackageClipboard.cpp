#include "listwin/PackageClipboard.h"

#include "toolbox/gui/TextEdit.h"

namespace {

PackageFile* gClipboard = nullptr;
void (*gItemClipboardClear)() = nullptr;

} // namespace

PackageFile* packageClipboard() {
    return gClipboard;
}

bool clipboardHoldsList() {
    return gClipboard && gClipboard->packages;
}

void setPackageClipboard(PackageFile* clipboard) {
    if (clipboard == gClipboard) return;
    disposePackageFile(gClipboard);
    gClipboard = clipboard;
}

void disposePackageClipboard() {
    setPackageClipboard(nullptr);
}

void clearClipboards() {
    ZeroScrap();
    disposePackageClipboard();
    if (gItemClipboardClear) gItemClipboardClear();
}

void setItemClipboardClearHook(void (*hook)()) {
    gItemClipboardClear = hook;
}
