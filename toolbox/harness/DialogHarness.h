// Scripted answers for everything modal, for tests that drive the real GUI code headless.
//
// Once installed (harness::Install, or InstallDialogHarness alone) no modal dialog, file dialog
// or alert waits for a person:
//  - a modal dialog takes the next scripted answer for its template id: the given item texts
//    are typed into their items, then the answering item is clicked, all inside the dialog's
//    own modal loop, so the dialog procedure sees what a user would cause. Every dialog run is
//    recorded with the texts its items showed when it was answered. A dialog without an answer
//    ends at once with its cancel item and is recorded as unanswered;
//  - a file dialog takes the next file answer (a path, or a cancel); without one it cancels;
//  - note alerts are recorded and dismissed;
//  - a popup menu takes the next popup answer (an item, or 0 for none).
#pragma once
#include "resources/Types.h"
#include "toolbox/gui/HostHooks.h"
#include <map>
#include <string>
#include <utility>
#include <vector>

struct ScriptedDialogAnswer {
    int templateId = 0;
    int item = 0;                                   // the item that ends the dialog
    std::vector<std::pair<int, std::string>> texts; // item id, text typed first
    int popupItem = 0, popupValue = 0;              // optionally choose a popup value first
};

struct ShownDialog {
    int templateId = 0;
    std::map<int, std::string> texts; // item id -> text shown (a popup: its chosen item)
    int endedWith = 0;
    bool answered = false;
};

using ShownFileDialog = FileDialogRequest;

// Puts the scripted answers in place of every modal window (the host layer's modal answerer).
void InstallDialogHarness();
// Forgets every script and record.
void ResetDialogHarness();

void AnswerNextDialog(const ScriptedDialogAnswer& answer);
void AnswerNextDialog(int templateId, int item,
                      std::vector<std::pair<int, std::string>> texts = {});
const std::vector<ShownDialog>& ShownDialogs();

void AnswerNextFileDialog(const std::string& path, int filterIndex = -1); // -1: keep the shown one
void CancelNextFileDialog();
const std::vector<ShownFileDialog>& ShownFileDialogs();

const std::vector<std::string>& ShownNoteAlerts();

struct ShownPopUpMenu {
    int menuId = 0;
    int currentItem = 0; // the item shown marked
    Rect rect;           // where it was asked to show
};
void AnswerNextPopUpMenu(int item); // 0: dismissed without a choice
const std::vector<ShownPopUpMenu>& ShownPopUpMenus();
// The scripted answers not yet used.
int PendingDialogAnswers();
