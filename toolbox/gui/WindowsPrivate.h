// What the source files of windows share: Windows.cpp (records and the window list),
// WindowFrames.cpp (the Qt widgets), WindowMessages.cpp (delivery and default handling) and
// WindowControls.cpp (scrolling, invalidation and controls).
#pragma once
#include "toolbox/gui/HostPrivate.h"
#include <cstdint>

namespace host {
// A record with its window and port hosts; nullptr when memory runs out.
WindowRecord* NewWindowRecord();
// A new top-level window joins the list of live windows, at the front or at the back.
void AddWindow(WindowPtr w, bool atFront);
void SendSimpleMessage(WindowPtr w, std::uint8_t kind); // a message with no fields but its kind
// The window's widgets stop calling back into its record, which is going away.
void DetachWindowWidgets(WindowHost* wh);
} // namespace host
