#include "listwin/FindDialog.h"

#include "listwin/ListWindow.h"
#include "toolbox/gui/Alerts.h"
#include "toolbox/gui/Dialogs.h"
#include "toolbox/gui/Quickdraw.h"

#include <string>

namespace {

constexpr std::int16_t kFindItem = 1;
constexpr std::int16_t kFieldPopup = 3;
constexpr std::int16_t kModePopup = 4;
constexpr std::int16_t kTextItem = 5;
constexpr int kFieldCount = 2;
constexpr int kModeCount = 4;

// The numbers a Class ID search text may hold.
constexpr long kMinimumClassId = -2147483647L;
constexpr long kMaximumClassId = 2147483646L;

PackageSearch gSearch;

struct FindState {
    PackageSearch* search;
    std::string held; // item 5's text as last held (the text a refused change returns to)
};

// True when text is a signed decimal number in the Class ID range, or on the way to one (empty,
// or a minus sign alone).
bool isNumberText(const std::string& text) {
    const bool negative = !text.empty() && text[0] == '-';
    long long value = 0;
    for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
        if (value > -kMinimumClassId) return false; // beyond both ends of the range
    }
    return negative ? -value >= kMinimumClassId : value <= kMaximumClassId;
}

// The longest start of text that is a number text.
std::string numberPrefix(const std::string& text) {
    std::string kept;
    for (char c : text) {
        kept.push_back(c);
        if (!isNumberText(kept)) {
            kept.pop_back();
            break;
        }
    }
    return kept;
}

// While the search field is Class ID, item 5 holds a number: a change that would leave one is
// taken back, and a text from before the choice keeps its longest start that is one. Then Find
// is enabled exactly when item 5 is not empty.
void holdText(DialogPtr d, FindState& state, bool changed) {
    std::string text = GetDialogItemText(d, kTextItem);
    if (state.search->field == SearchField::classId && !isNumberText(text)) {
        text = changed && isNumberText(state.held) ? state.held : numberPrefix(text);
        SetDialogItemText(d, kTextItem, text.c_str());
    }
    state.held = text;
    EnableDialogItem(d, kFindItem, !text.empty());
}

bool findDialogProc(DialogPtr d, WindowMessage& msg) {
    auto& state = *static_cast<FindState*>(GetDialogUserData(d));
    PackageSearch& search = *state.search;
    switch (msg.kind) {
    case wmCreated:
        AppendPopupStrings(d, kFieldPopup, StringListId::searchFields, kFieldCount);
        AppendPopupStrings(d, kModePopup, StringListId::matchModes, kModeCount);
        SetDialogItemText(d, kTextItem, search.text.str().c_str());
        SetPopupValue(d, kFieldPopup, std::int32_t(search.field));
        SetPopupValue(d, kModePopup, std::int32_t(search.mode));
        state.held = search.text.str();
        EnableDialogItem(d, kFindItem, !search.text.empty());
        return false; // the default handling of the opening runs too
    case wmControlClick:
        switch (msg.item) {
        case kFieldPopup:
            search.field = SearchField(GetPopupValue(d, kFieldPopup));
            holdText(d, state, false);
            return true;
        case kModePopup:
            search.mode = MatchMode(GetPopupValue(d, kModePopup));
            return true;
        case kTextItem:
            holdText(d, state, true);
            return true;
        default:
            return false; // Find and Cancel end the dialog
        }
    case wmEndModal:
        if (msg.item == kFindItem) search.text = Str255(GetDialogItemText(d, kTextItem));
        return false;
    default:
        return false; // a close request ends it as Cancel
    }
}

} // namespace

PackageSearch& lastSearch() {
    return gSearch;
}

bool runFindDialog(PackageSearch& search) {
    FindState state{&search, {}};
    return RunModalDialog(DialogId::find, findDialogProc, &state) == kFindItem;
}

void findCommand(FindRun run) {
    if (run == FindRun::find || gSearch.text.empty()) {
        if (!runFindDialog(gSearch)) return;
    }
    PackageFile* f = currentPackageFile();
    if (!f) return;
    SetCursor(watchCursor);
    PackageEntry* found =
        findNextPackage(f, gSearch, [](PackageEntry*, OSErr err) { ErrorAlert(err); });
    SetCursor(arrowCursor);
    if (!found) {
        SysBeep(1);
        return;
    }
    deselectAll(f);
    found->flags |= kSelected;
    refreshListWindow(f, ListRefresh::revealSelection);
}
