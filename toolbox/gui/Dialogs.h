// Modal dialogs built from dialog templates (resources/DialogTemplates.h).
//
// RunModalDialog builds the dialog from its template: push buttons, static texts, edit texts,
// popup menus and icons placed at their rectangles. Item 1 is the default button (Return);
// Escape and the close box make a close request. The dialog procedure receives:
//   wmCreated       once the items exist, before the dialog shows (set texts, fill popups);
//   wmControlClick  item: a button was clicked, a popup value or a check box or radio button
//                   chosen, or an edit text changed. Default: a push button ends the dialog;
//                   a radio button is selected in its group;
//   wmCloseRequest  default: the dialog ends with its cancel item (the button titled
//                   "Cancel", else item 1);
//   wmMouseDown     where: a click on the dialog itself, a static text or an icon;
//   wmUpdate        area: the dialog's port is current; draw what the items do not (use
//                   HideDialogItem for an item whose area the procedure draws itself);
//   wmEndModal      item: the dialog is ending with item; its items can still be read.
// A procedure returns true when it handled the message, which skips the default handling.
//
// Code other than the user may answer a modal dialog: a modal answerer (HostHooks.h) is told
// when each dialog starts and ends and may act on it with the functions below that do what a
// user would.
#pragma once
#include "resources/DialogTemplates.h"
#include "toolbox/gui/Windows.h"
#include <cstdint>
#include <string>

class QDialog;
class QFont;
class QIcon;
class QPixmap;
struct DialogRecord; // private
using DialogPtr = DialogRecord*;
using DialogProc = bool (*)(DialogPtr dialog, WindowMessage& msg);

// Item kinds a program may add to a dialog at run time, besides the template's kinds.
enum : std::uint16_t { kCheckBoxItem = 0x0180, kRadioButtonItem = 0x0181 };

// Runs dialog templateId modally and returns the item that ended it (0 when the template
// does not exist). userData is handed back by GetDialogUserData.
std::int16_t RunModalDialog(DialogId templateId, DialogProc proc, void* userData);
void EndModalDialog(DialogPtr d, std::int16_t item);
// Runs a dialog whose only run-time content is one text, put into textItem when it opens, and
// returns the item that ended it.
std::int16_t RunTextDialog(DialogId templateId, std::int16_t textItem, const char* text);
// True while a modal dialog or alert is up.
bool ModalDialogUp();

void* GetDialogUserData(DialogPtr d);
std::int16_t GetDialogTemplateID(DialogPtr d);
GrafPtr GetDialogPort(DialogPtr d); // for drawing outside wmUpdate; call InvalDialog after
void InvalDialog(DialogPtr d);      // the procedure is asked to draw again
QDialog* GetHostDialog(DialogPtr d);

// ---- acting as the user would ----------------------------------------------------------------
bool IsDialogEnding(DialogPtr d); // EndModalDialog was called
// The item a close request ends the dialog with by default: the button titled "Cancel", else 1.
std::int16_t GetDialogCancelItem(DialogPtr d);
int CountDialogItems(DialogPtr d);
std::int16_t GetIndDialogItem(DialogPtr d, int index); // the id of item index (from 1), or 0
// Replaces an edit item's text as typing would (through its filter); sets any other item's text.
void TypeDialogItemText(DialogPtr d, std::int16_t item, const char* text);
// Chooses a popup's value (from 1) as the user would: the procedure gets its control click.
void ChooseDialogPopupValue(DialogPtr d, std::int16_t item, std::int32_t value);
// Clicks a push button as the user would (true), or sends any other item a control click.
bool ClickDialogItem(DialogPtr d, std::int16_t item);

// ---- items -----------------------------------------------------------------------------------
bool HasDialogItem(DialogPtr d, std::int16_t item);
std::uint16_t GetDialogItemKind(DialogPtr d, std::int16_t item); // 0 when no such item
// Text of an edit, static text or button; a popup's chosen text. Zero-terminated 8-bit text.
std::string GetDialogItemText(DialogPtr d, std::int16_t item);
void GetDialogItemText(DialogPtr d, std::int16_t item, char* text, int size);
void SetDialogItemText(DialogPtr d, std::int16_t item, const char* text);
void SelectDialogItemText(DialogPtr d, std::int16_t item); // focus and select all (edit item)
void EnableDialogItem(DialogPtr d, std::int16_t item, bool enabled = true);
bool IsDialogItemEnabled(DialogPtr d, std::int16_t item);
void HideDialogItem(DialogPtr d, std::int16_t item);
void ShowDialogItem(DialogPtr d, std::int16_t item);
Rect GetDialogItemRect(DialogPtr d, std::int16_t item);
void SetDialogItemRect(DialogPtr d, std::int16_t item, const Rect& r);

// Adds an item (any kind; kCheckBoxItem and kRadioButtonItem included). Radio buttons with the
// same group number form a group.
void AddDialogItem(DialogPtr d, std::int16_t item, std::uint16_t kind, const Rect& r,
                   const char* text, std::int16_t group = 0);
// Check boxes and radio buttons: 0 or 1. Popups: the chosen item, from 1 (0 when empty).
std::int32_t GetDialogItemValue(DialogPtr d, std::int16_t item);
void SetDialogItemValue(DialogPtr d, std::int16_t item, std::int32_t value);
// Selects a radio button and clears the others of its group.
void SelectRadioButton(DialogPtr d, std::int16_t item);
// The selected radio button of the group that item belongs to (0 when none).
std::int16_t GetSelectedRadioButton(DialogPtr d, std::int16_t item);

void AppendPopupItem(DialogPtr d, std::int16_t item, const char* text);
// Appends count entries of a string list (GetIndString(list, 1 .. count)).
void AppendPopupStrings(DialogPtr d, std::int16_t item, StringListId list, int count);
int CountPopupItems(DialogPtr d, std::int16_t item);
std::int32_t GetPopupValue(DialogPtr d, std::int16_t item);
void SetPopupValue(DialogPtr d, std::int16_t item, std::int32_t value);

// Restricts an edit item to a signed decimal number from minimum to maximum: other keys are
// refused, and so is a number that typing could no longer bring into the range.
void SetNumberFilter(DialogPtr d, std::int16_t item, long minimum, long maximum);
// The edit item's number; false when it does not hold one in its filter's range.
bool GetDialogItemNumber(DialogPtr d, std::int16_t item, long* value);

void SetDialogItemStyle(DialogPtr d, std::int16_t item, const TextStyle& style);
void SetDialogItemUserValue(DialogPtr d, std::int16_t item, std::intptr_t value);
std::intptr_t GetDialogItemUserValue(DialogPtr d, std::int16_t item);

// ---- host helpers ----------------------------------------------------------------------------
// The host font of a text style (points at 96 dpi).
QFont HostFont(const TextStyle& style);
// Icon id 10 (the program), 101 (a package file), 32513 (stop) or 32515 (caution), painted at
// every usual size.
QIcon GetIcon(int id);
QPixmap GetIconPixmap(int id, int size);
