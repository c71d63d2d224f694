#include "toolbox/gui/DialogHarness.h"

#include <QGuiApplication>

#include <deque>

namespace {

struct HarnessState {
    bool active = false;
    std::deque<ScriptedDialogAnswer> answers;
    std::vector<ShownDialog> dialogs;
    std::deque<dialog_harness::FileAnswer> fileAnswers;
    std::vector<ShownFileDialog> fileDialogs;
    std::vector<std::string> alerts;
    std::deque<int> popUpAnswers;
    std::vector<ShownPopUpMenu> popUps;
};

HarnessState& state() {
    static HarnessState s;
    return s;
}

} // namespace

void ActivateDialogHarness(bool active) {
    state().active = active;
}

bool DialogHarnessActive() {
    // Nobody could answer a dialog on the offscreen platform.
    return state().active || QGuiApplication::platformName() == QLatin1String("offscreen");
}

void ResetDialogHarness() {
    bool active = state().active;
    state() = HarnessState{};
    state().active = active;
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

namespace dialog_harness {

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

void RecordDialog(const ShownDialog& shown) {
    state().dialogs.push_back(shown);
}

FileAnswer TakeFileAnswer(const ShownFileDialog& shown) {
    state().fileDialogs.push_back(shown);
    auto& answers = state().fileAnswers;
    if (answers.empty()) return {};
    FileAnswer a = answers.front();
    answers.pop_front();
    return a;
}

void RecordNoteAlert(const std::string& text) {
    state().alerts.push_back(text);
}

int TakePopUpAnswer(const ShownPopUpMenu& shown) {
    state().popUps.push_back(shown);
    auto& answers = state().popUpAnswers;
    if (answers.empty()) return 0;
    int item = answers.front();
    answers.pop_front();
    return item;
}

} // namespace dialog_harness
