// What a user does to a document window, as the messages the window procedure receives: keys,
// menu commands, the close box, the text scrap and the menu enabling of the front window.
#pragma once
#include "toolbox/gui/Windows.h"

#include <cstdint>
#include <string>

// A key down message with this key code (a character, or a code of KeyCodes.h).
void SendKeyDown(WindowPtr w, int key);
// One key down message per character.
void TypeText(WindowPtr w, const std::string& text);
// A menu command message, then the pending updates.
void SendCommand(WindowPtr w, std::int16_t command);
// A close request, as from the close box, then the pending updates.
void RequestClose(WindowPtr w);
// Puts text on the host clipboard and tells the program it is in front again, so that the text
// scrap takes it.
void SetTextScrap(const std::string& text);
// Asks the menu enabling for the command, after the Edit menu's title and its own menu's title as
// a menu bar does; the item's text goes to *text when given.
bool MenuItemEnabled(std::int16_t command, std::string* text = nullptr);
