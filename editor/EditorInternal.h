// What the package editor's own files share: the header pane's procedure, its typing and text
// commands, and the menu enabling of the window.
#pragma once
#include "editor/PackageEditor.h"

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
// Revert Package from the editor; false when the user did not confirm.
bool revertFromEditor(PackageEditor* editor);
