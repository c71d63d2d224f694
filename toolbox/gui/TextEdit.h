// Text edit records: editable text in a rectangle of a port, with a selection, a blinking
// caret, word wrap or single-line horizontal scrolling, and the text scrap that mirrors the
// host clipboard's text.
//
// Text is 8-bit (Latin-1); a carriage return (13) breaks a line. Offsets run from 0 to the
// text length; the selection is [selStart, selEnd).
#pragma once
#include "toolbox/core/Memory.h"
#include "toolbox/gui/KeyCodes.h"
#include "toolbox/gui/Quickdraw.h"
#include <cstdint>

struct TEHost; // layout cache and caret state; private

// Read the fields freely. destRect and viewRect may be changed directly; call TECalText after.
struct TERec {
    Rect destRect{};        // where the text is laid out (its width sets the wrap)
    Rect viewRect{};        // what is shown (clips)
    Handle hText = nullptr; // the text, owned by the record
    std::int32_t teLength = 0;
    std::int32_t selStart = 0, selEnd = 0;
    bool active = false;
    bool singleLine = false; // one line that scrolls sideways instead of wrapping
    TextStyle style{};       // taken from the port at TENew
    ColorCode fgColor = kBlackColor, bkColor = kWhiteColor; // the port's colours at TENew
    GrafPtr port = nullptr;
    TEHost* host = nullptr;
};
using TEHandle = TERec*;

// Justification for TETextBox.
enum : std::int16_t { teJustLeft = 0, teJustCenter = 1, teJustRight = -1 };

// A record in the current port, with its text style and colours. nullptr when out of memory.
TEHandle TENew(const Rect& destRect, const Rect& viewRect);
void TEDispose(TEHandle te);
void TESetText(const char* text, std::int32_t length, TEHandle te); // caret at the end
Handle TEGetText(TEHandle te);
// Clamped to 0 .. text length (0, 255 on a 7-character text selects all 7).
void TESetSelect(std::int32_t selStart, std::int32_t selEnd, TEHandle te);
void TEActivate(TEHandle te);
void TEDeactivate(TEHandle te);
void TEIdle(TEHandle te); // blinks the caret of an active record with an empty selection
// Arrow keys move the caret (Shift not considered), Backspace and kKeyDelete delete, Return
// breaks the line (not in single-line mode), characters of 32 and above replace the selection.
void TEKey(KeyCode key, TEHandle te);
// A click at where (local): sets the caret, or with extend extends the selection; a double
// click (the last message was wmDoubleClick) selects a word; follows the pointer while the
// button is down.
void TEClick(Point where, bool extend, TEHandle te);
void TEUpdate(const Rect* area, TEHandle te); // draws the record (nullptr: its view rectangle)
void TECopy(TEHandle te);  // the selection to the text scrap and the host clipboard
void TECut(TEHandle te);   // TECopy, then TEDelete
void TEPaste(TEHandle te); // the text scrap replaces the selection
void TEDelete(TEHandle te);
void TEInsert(const char* text, std::int32_t length, TEHandle te); // replaces the selection
void TESetStyle(const TextStyle& style, TEHandle te);              // font, size and face
void TESetSingleLine(TEHandle te, bool on);
void TESetPort(TEHandle te, GrafPtr port);
void TECalText(TEHandle te); // lays the text out again after direct changes of the fields

// Draws text that is not being edited, wrapped in box, after erasing box.
void TETextBox(const char* text, std::int32_t length, const Rect& box, std::int16_t just);

// The text scrap.
Handle TEScrapHandle();
std::int32_t TEGetScrapLength();
void ZeroScrap();   // empties the scrap (and the host clipboard's text)
void TEFromScrap(); // fills the scrap from the host clipboard's text
void TEToScrap();   // puts the scrap on the host clipboard
