#include "toolbox/harness/DialogHarness.h"

#include "toolbox/gui/Dialogs.h"

#include <QDialog>
#include <QTimer>

#include <deque>

namespace {

struct HarnessState {
    std::deque<ScriptedDialogAnswer> answers;
    std::vector<ShownDialog> dialogs;
    std::map<DialogPtr, ShownDialog> running; // the dialogs up now, nested ones too
    std::deque<FileDialogAnswer> fileAnswers;
    std::vector<ShownFileDialog> fileDialogs;
    std::vector<std::string> alerts;
    std::deque<int> popUpAnswers;
    std::vector<ShownPopUpMenu> popUps;
};

HarnessState& state() {
    static HarnessState s;
    return s;
}

// The next answer for template id (removed from the script), if any.
bool TakeDialogAnswer(int templateId, ScriptedDialogAnswer* answer) {
    auto& answers = state().answers;
    for (auto it = answers.begin(); it != answers.end(); ++it) {
        if (it->templateId != templateId) continue;
        *answer = *it;
        answers.erase(it);
        return true;
    }
    return false;
}

void RecordTexts(DialogPtr d, ShownDialog& shown) {
    shown.texts.clear();
    for (int i = 1; i <= CountDialogItems(d); ++i) {
        const std::int16_t item = GetIndDialogItem(d, i);
        if (GetDialogItemKind(d, item) != kIconItem) shown.texts[item] = GetDialogItemText(d, item);
    }
}

// One scripted answer; when the dialog stays up, the next one follows from its event loop.
void ScriptStep(DialogPtr d) {
    if (IsDialogEnding(d)) return;
    ShownDialog& shown = state().running[d];
    ScriptedDialogAnswer a;
    if (!TakeDialogAnswer(GetDialogTemplateID(d), &a)) {
        if (!shown.answered) RecordTexts(d, shown);
        EndModalDialog(d, GetDialogCancelItem(d));
        return;
    }
    for (const auto& [item, text] : a.texts)
        TypeDialogItemText(d, static_cast<std::int16_t>(item), text.c_str());
    if (a.popupItem)
        ChooseDialogPopupValue(d, static_cast<std::int16_t>(a.popupItem), a.popupValue);
    if (!shown.answered) RecordTexts(d, shown);
    shown.answered = true;
    const auto item = static_cast<std::int16_t>(a.item);
    if (!ClickDialogItem(d, item) && !IsDialogEnding(d)) EndModalDialog(d, item);
    if (!IsDialogEnding(d)) QTimer::singleShot(0, GetHostDialog(d), [d] { ScriptStep(d); });
}

void DialogStarting(DialogPtr d) {
    ShownDialog& shown = state().running[d];
    shown = ShownDialog{};
    shown.templateId = GetDialogTemplateID(d);
    QTimer::singleShot(0, GetHostDialog(d), [d] { ScriptStep(d); });
}

void DialogEnded(DialogPtr d, std::int16_t item) {
    auto& running = state().running;
    auto found = running.find(d);
    if (found == running.end()) return;
    ShownDialog shown = std::move(found->second);
    running.erase(found);
    shown.endedWith = item;
    state().dialogs.push_back(std::move(shown));
}

bool FileDialog(const FileDialogRequest& request, FileDialogAnswer* answer) {
    state().fileDialogs.push_back(request);
    auto& answers = state().fileAnswers;
    *answer = FileDialogAnswer{};
    if (!answers.empty()) {
        *answer = answers.front();
        answers.pop_front();
    }
    return true;
}

bool NoteAlert(const std::string& text) {
    state().alerts.push_back(text);
    return true;
}

bool PopUpMenu(int menuId, int currentItem, const Rect& r, int* item) {
    state().popUps.push_back({menuId, currentItem, r});
    auto& answers = state().popUpAnswers;
    *item = 0;
    if (!answers.empty()) {
        *item = answers.front();
        answers.pop_front();
    }
    return true;
}

} // namespace

void ResetDialogHarness() {
    std::map<DialogPtr, ShownDialog> running = std::move(state().running);
    state() = HarnessState{};
    state().running = std::move(running);
}

void AnswerNextDialog(const ScriptedDialogAnswer& answer) {
    state().answers.push_back(answer);
}

void AnswerNextDialog(int templateId, int item, std::vector<std::pair<int, std::string>> texts) {
    ScriptedDialogAnswer a;
    a.templateId = templateId;
    a.item = item;
    a.texts = std::move(texts);
    AnswerNextDialog(a);
}

const std::vector<ShownDialog>& ShownDialogs() {
    return state().dialogs;
}

void AnswerNextFileDialog(const std::string& path, int filterIndex) {
    state().fileAnswers.push_back({false, path, filterIndex});
}

void CancelNextFileDialog() {
    state().fileAnswers.push_back({});
}

const std::vector<ShownFileDialog>& ShownFileDialogs() {
    return state().fileDialogs;
}

const std::vector<std::string>& ShownNoteAlerts() {
    return state().alerts;
}

void AnswerNextPopUpMenu(int item) {
    state().popUpAnswers.push_back(item);
}

const std::vector<ShownPopUpMenu>& ShownPopUpMenus() {
    return state().popUps;
}

int PendingDialogAnswers() {
    return static_cast<int>(state().answers.size() + state().fileAnswers.size() +
                            state().popUpAnswers.size());
}

void InstallDialogHarness() {
    ModalAnswerer answerer;
    answerer.dialogStarting = DialogStarting;
    answerer.dialogEnded = DialogEnded;
    answerer.fileDialog = FileDialog;
    answerer.noteAlert = NoteAlert;
    answerer.popUpMenu = PopUpMenu;
    SetModalAnswerer(answerer);
}
