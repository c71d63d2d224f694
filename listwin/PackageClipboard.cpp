#include "listwin/PackageClipboard.h"

#include "toolbox/gui/TextEdit.h"

namespace {

PackageFile* gClipboard = nullptr;
PackageRecord* gItemClipboard = nullptr;

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
    setItemClipboard(nullptr);
}

PackageRecord* itemClipboard() {
    return gItemClipboard;
}

void setItemClipboard(PackageRecord* clip) {
    if (clip == gItemClipboard) return;
    delete gItemClipboard;
    gItemClipboard = clip;
}

bool itemClipboardHolds() {
    return gItemClipboard &&
           (gItemClipboard->sectionCount > 0 || gItemClipboard->hiddenConnections != nullptr);
}
