// The status window: a small modeless window (dialog template 8000) showing one line while
// long work runs, such as "Updating Index...".
#pragma once
#include <string>

// Shows text in the status window, opening it when needed; an empty text (or nullptr)
// closes it. The window is drawn before this returns.
void SetStatusText(const char* text);
bool StatusWindowOpen();
std::string GetStatusText(); // empty when closed
