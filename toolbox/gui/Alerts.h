// Note and error alerts.
#pragma once
#include "resources/Types.h"

// A message box with the application's title, the information icon and an OK button; modal
// to the whole application. Returns when it is dismissed.
void NoteAlert(const char* text);
// The error alert: "Error:  " and the text of code (or "Error:  #code" when the table has
// none) in a note alert. Codes 0 and 995 (a cancelled operation) show nothing. Returns
// whether an alert was shown.
bool ErrorAlert(OSErr code);
// The note that memory ran out: "The operation could not be completed due to insufficient
// memory!"
void MemoryAlert();
// How the menu dispatcher shows a command's error: nothing for 0 and a cancelled operation, the
// memory note for memFullErr, else the error alert.
void CommandErrorAlert(OSErr code);
