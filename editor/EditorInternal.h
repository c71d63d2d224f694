// What the package editor's own files share: the header pane's procedure, its typing and text
// commands, the menu enabling of the window, and the paste of the text scrap into a field.
#pragma once
#include "editor/PackageEditor.h"

#include <algorithm>
#include <cstdint>

// The header pane's procedure (its reference value is the editor record).
bool headerPaneProc(WindowPtr pane, WindowMessage& msg);
// Key down while the focus is the header pane.
void headerKey(PackageEditor* editor, KeyCode key);
// The text commands on the current field; false for a command they do not take.
bool headerTextCommand(PackageEditor* editor, std::int16_t command);
// The window's handler for menu updates.
bool editorEnabling(WindowPtr w, MenuEnableRecord& rec);
// Binds the text edit record to item n of the header and makes it the current field.
void bindField(PackageEditor* editor, int n);
// Copies the current field into the working package (trimmed, upper case where it must be).
void storeField(PackageEditor* editor);
// Revert Package from the editor: the revert's error, cancelledErr when the user did not confirm.
OSErr revertFromEditor(PackageEditor* editor);

// Pastes the text scrap into a field: a run of at most 60 characters of the scrap, cut before the
// first that accepts(c) refuses, then shortened until fits(n) holds for its length, replaces the
// selection of te. The length pasted (0 when nothing was).
template <class Accepts, class Fits>
std::int32_t pasteScrapRun(TEHandle te, Accepts accepts, Fits fits) {
    constexpr std::int32_t kPasteRunMax = 60;
    Handle scrap = TEScrapHandle();
    std::int32_t n = scrap ? std::clamp<std::int32_t>(TEGetScrapLength(), 0, kPasteRunMax) : 0;
    for (std::int32_t i = 0; i < n; ++i) {
        if (!accepts(static_cast<unsigned char>(scrap->data[i]))) {
            n = i;
            break;
        }
    }
    while (n > 0 && !fits(n))
        --n;
    if (n > 0) {
        TEDelete(te);
        TEInsert(scrap->data, n, te);
    }
    return n;
}
