// Steps that run around every menu enabling question, whatever window or handler answers it,
// and a command sent only when the enabling pass enables it.
//
// The application installs its shared steps once: the pre-step sees each record before the
// handler chain (Menus.h) decides it, the post-step after. Every window, present or future,
// gets them without calling anything itself.
#pragma once
#include "toolbox/gui/Windows.h"

#include <cstdint>

using EnablingPreStep = void (*)(MenuEnableRecord& rec);
using EnablingPostStep = void (*)(const MenuEnableRecord& rec);

// Installs the shared steps (nullptr: none); replaces the ones installed before.
void SetEnablingSteps(EnablingPreStep pre, EnablingPostStep post);

// Called by AskMenuEnabling around the handler chain.
void RunEnablingPreStep(MenuEnableRecord& rec);
void RunEnablingPostStep(const MenuEnableRecord& rec);

// Brings the menu enabling up to date and, when command is then enabled, sends it to w as a
// menu command. When the pass does not ask about command (no menu of the bar holds it), the
// handler chain is asked directly, about the title of menu first as a pass would. The error
// the window leaves in the message is shown as DispatchMenuCommand shows it. True when the
// command was sent.
bool SendCommandIfEnabled(WindowPtr w, std::int16_t command, std::int16_t menu);
