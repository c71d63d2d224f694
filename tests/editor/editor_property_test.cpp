// The package editor driven with random input: keys, clicks and drags in the item list, clicks
// in the header and in the field editor windows, pastes of random text and the menu commands,
// from fixed seeds. After every step the working packages, the editor records and the field
// editor windows are checked against rules written here from the records' own definitions,
// and every working package must flatten into a sound image that expands back to it.
#include "editor/FieldEditor.h"
#include "editor/ItemList.h"
#include "listwin/ListWindow.h"
#include "model/Image.h"
#include "resources/Commands.h"
#include "shell/Application.h"
#include "shell/FileCommands.h"
#include "tests/editor/package_contents.h"
#include "tests/support/Files.h"
#include "tests/support/Images.h"
#include "tests/support/Library.h"
#include "tests/support/gui/gui_support.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/harness/Harness.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace test_support;

namespace {

constexpr int kEditFields[] = {2, 4, 7, 10, 13, 15};
constexpr int kFieldLimits[] = {17, 8, 56, 56, 56, 56};
constexpr const char* kTooManyWindows = "You cannot open that many windows!";

using Rng = std::mt19937;

int pick(Rng& rng, int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(rng);
}
bool chance(Rng& rng, int percent) {
    return pick(rng, 100) < percent;
}

class EditorPropertyTest : public ScratchTest {
protected:
    void SetUp() override {
        static const bool started = startApplication() == noErr;
        ASSERT_TRUE(started);
        ResetHarnessState();
        QGuiApplication::clipboard()->setText("");
        harness::SendApplicationActivation();
    }
    void TearDown() override {
        harness::ResetKeys();
        while (PackageFile* f = firstPackageFile())
            EXPECT_EQ(closeFile(f, CloseMode::forced), CloseResult::closed);
        for (WindowPtr w = GetNextWindow(nullptr); w; w = GetNextWindow(w)) {
            EXPECT_NE(w->windowKind, kPackageEditorKind) << "a package editor outlived its file";
            EXPECT_NE(w->windowKind, kFieldEditorKind) << "a field editor outlived its file";
        }
        setItemClipboard(nullptr);
        ResetHarnessState();
    }

    // A library of four packages: a small one, one a section short of the most a package holds,
    // one with long texts and one without sections. Every text within the fields' limits.
    PackageFile* openLibrary() {
        std::vector<PackageContents> packages(4);
        packages[0].fields = {"R1", "R", "AXIAL", "400"};
        packages[0].sections = {{12, {{"1", "2"}, {"3", "4"}}}, {7, {}}, {99, {{"A1", "B2"}}}};
        packages[0].nets = {"VCC\t7\t14", "GND\t1"};
        packages[1].fields = {"MANY", "U", "DIP", "14", "300"};
        for (int k = 1; k <= kMaxSections - 1; ++k)
            packages[1].sections.push_back({k, {{std::to_string(k), std::to_string(k + 1)}}});
        packages[2].fields = {std::string(17, 'N'), std::string(8, 'P'), std::string(56, 'S')};
        packages[2].sections = {{2147483, {{std::string(17, '1'), std::string(17, '2')}}}};
        std::string longNet = "LONGNET";
        for (int i = 0; i < 14; ++i)
            longNet += "\t" + std::string(17, char('A' + i));
        packages[2].nets = {longNet.substr(0, kMaxNetText)};
        packages[3].fields = {"EMPTY", "Q"};
        std::vector<UniqueHandle> images;
        for (const PackageContents& p : packages)
            images.push_back(buildImage(p));
        writeRecordFile(path, images);
        PackageFile* f = openFile(path);
        harness::ProcessUpdates();
        return f;
    }

    std::vector<PackageEditor*> editors() const {
        std::vector<PackageEditor*> out;
        for (WindowPtr w = GetNextWindow(nullptr); w; w = GetNextWindow(w))
            if (PackageEditor* e = editorOfWindow(w)) out.push_back(e);
        return out;
    }
    std::vector<FieldEditor*> fieldEditors() const {
        std::vector<FieldEditor*> out;
        for (WindowPtr w = GetNextWindow(nullptr); w; w = GetNextWindow(w))
            if (FieldEditor* fe = fieldEditorOfWindow(w)) out.push_back(fe);
        return out;
    }

    // A user's menu choice: the menus are brought up to date as before they show, and only an
    // enabled item of an enabled menu can be chosen.
    static bool choose(std::int16_t command) {
        RunMenuEnabling();
        int item = 0;
        MenuHandle menu = FindCommandMenu(command, &item);
        if (!menu || !IsMenuItemEnabled(menu, 0) || !IsMenuItemEnabled(menu, item)) return false;
        DispatchMenuCommand(command);
        return true;
    }

    static void setScrap(const std::string& text) {
        QGuiApplication::clipboard()->setText(
            QString::fromLatin1(text.data(), qsizetype(text.size())));
        harness::SendApplicationActivation();
    }

    void checkWorking(PackageEditor* e);
    void checkEditor(PackageEditor* e);
    void checkFieldEditors(const std::vector<PackageEditor*>& live);
    void checkEntries();
    void checkAll();

    void randomKey(Rng& rng);
    void randomListClick(Rng& rng, PackageEditor* e);
    void randomHeaderClick(Rng& rng, PackageEditor* e);
    void randomFieldEditorClick(Rng& rng, FieldEditor* fe);
    std::int16_t randomCommand(Rng& rng);
    void step(Rng& rng);
    void run(unsigned seed, int steps);

    std::uint32_t when_ = 1000000;
    std::vector<std::string> log_; // what the last steps did, for the failure message
};

// ---- the rules -------------------------------------------------------------------------------

void EditorPropertyTest::checkWorking(PackageEditor* e) {
    const PackageRecord& w = e->working;
    ASSERT_GE(w.sectionCount, 0);
    ASSERT_LE(w.sectionCount, kMaxSections);
    EXPECT_EQ(w.sectionTable == nullptr, w.sectionCount == 0);
    if (w.sectionTable) {
        EXPECT_GE(std::size_t(GetHandleSize(w.sectionTable)),
                  std::size_t(w.sectionCount) * sizeof(ComponentSection));
    }
    for (int k = 1; k <= w.sectionCount; ++k) {
        const ComponentSection* s = sectionAt(w, k);
        SCOPED_TRACE("section " + std::to_string(k));
        EXPECT_EQ(s->flags & ~kSectionSelected, 0u);
        const std::string pins = handleText(s->pinChanges);
        if (s->pinChangeCount == 0) {
            EXPECT_EQ(pins, "");
            continue;
        }
        const std::vector<std::string> f = splitTabs(pins);
        EXPECT_EQ(f.size(), 2u * s->pinChangeCount) << "[" << pins << "]";
        for (const std::string& pin : f) {
            EXPECT_FALSE(pin.empty()) << "[" << pins << "]";
            EXPECT_EQ(pin, upper(trim(pin))) << "[" << pins << "]";
            EXPECT_TRUE(typable(pin)) << "[" << pins << "]";
            EXPECT_LE(pin.size(), 17u);
        }
    }
    int nets = 0;
    forEachNetItem(w, [&](const NetItem* n) {
        ++nets;
        EXPECT_EQ(n->flags & ~kNetItemSelected, 0);
        const std::string text(n->text, n->textLength);
        for (const std::string& f : splitTabs(text)) {
            EXPECT_TRUE(typable(f)) << "[" << text << "]";
            EXPECT_FALSE(hasLower(f)) << "[" << text << "]";
        }
    });
    EXPECT_EQ(e->netCount, nets);

    ASSERT_NE(w.fieldText, nullptr);
    const std::vector<std::string> fields = splitTabs(handleText(w.fieldText));
    for (std::size_t i = 0; i < fields.size() && i < 6; ++i) {
        SCOPED_TRACE("field " + std::to_string(i + 1));
        EXPECT_EQ(fields[i], trim(fields[i]));
        EXPECT_TRUE(typable(fields[i])) << "[" << fields[i] << "]";
        EXPECT_LE(fields[i].size(), std::size_t(kFieldLimits[i]));
        if (i == 1 || i == 2) {
            EXPECT_FALSE(hasLower(fields[i])) << "[" << fields[i] << "]";
        }
    }

    // Flattened, the package is a sound image that expands to what was kept of it, and
    // flattens again to the same bytes.
    UniqueHandle image;
    ASSERT_EQ(flattenPackage(w, &image), noErr);
    std::string why;
    ASSERT_TRUE(imageIsConsistent(image.get(), &why)) << why;
    PackageRecord back;
    ASSERT_EQ(expandImage(image.get(), &back), noErr);
    const Contents kept = contentsOf(w, true), expanded = contentsOf(back, false);
    EXPECT_EQ(kept, expanded) << describe(kept) << "\n  came back as " << describe(expanded);
    for (int k = 1; k <= back.sectionCount; ++k)
        EXPECT_EQ(sectionAt(back, k)->flags, 0u);
    UniqueHandle again;
    ASSERT_EQ(flattenPackage(back, &again), noErr);
    EXPECT_EQ(bytesOf(image.get()), bytesOf(again.get()));

    // An editor with nothing left to carry has carried it all to its entry.
    bool pending = (e->stateFlags & kEditorChanged) != 0;
    for (FieldEditor* fe : fieldEditors())
        pending |= fe->owner == e && fe->changed;
    if (!pending && e->entry && e->entry->image) {
        EXPECT_EQ(withoutLinks(e->entry->image), withoutLinks(image.get()))
            << "the entry holds another package than the editor";
    }
}

void EditorPropertyTest::checkEditor(PackageEditor* e) {
    ASSERT_NE(e->entry, nullptr);
    EXPECT_EQ(e->entry->editor, e);
    ASSERT_NE(e->headerForm, nullptr);
    ASSERT_NE(e->textEdit, nullptr);
    EXPECT_TRUE(std::find(std::begin(kEditFields), std::end(kEditFields), e->currentField) !=
                std::end(kEditFields))
        << e->currentField;
    EXPECT_LE(e->activeList, 1);
    EXPECT_TRUE(e->shapeFamily <= 17 || e->shapeFamily == kNoShapeFamily) << e->shapeFamily;
    if (e->focus == EditorFocus::window) {
        EXPECT_FALSE(e->textEdit->active);
    }
    const TERec* te = e->textEdit;
    EXPECT_LE(0, te->selStart);
    EXPECT_LE(te->selStart, te->selEnd);
    EXPECT_LE(te->selEnd, te->teLength);
    EXPECT_EQ(teText(e->textEdit), getItemText(e->headerForm, e->currentField).str())
        << "the text edit record is not bound to the current field";
    EXPECT_EQ(te->port, e->headerPane);
    EXPECT_TRUE(EqualRect(te->viewRect, itemRect(e->headerForm, e->currentField)));

    // Each header field shows what the working package holds, as typed.
    for (int i = 0; i < 6; ++i) {
        const std::string shown = getItemText(e->headerForm, kEditFields[i]).str();
        SCOPED_TRACE("header item " + std::to_string(kEditFields[i]) + " [" + shown + "]");
        EXPECT_LE(shown.size(), std::size_t(kFieldLimits[i]));
        EXPECT_TRUE(typable(shown));
        std::string stored = trim(shown);
        if (i == 1 || i == 2) stored = upper(stored);
        EXPECT_EQ(packageField(e->working, i + 1).str(), stored);
    }
    const std::string name = packageField(e->working, 1).str();
    EXPECT_EQ(titleOf(e->window), name.empty() ? "Unnamed Package" : name);

    // The radio buttons and the list's height follow the active list.
    EXPECT_EQ(GetControlValue(GetWindowControl(e->headerPane, kHeaderSectionsButton)),
              e->activeList == 0);
    EXPECT_EQ(GetControlValue(GetWindowControl(e->headerPane, kHeaderNetsButton)),
              e->activeList == 1);
    const int rows = e->activeList == 1 ? countNetItems(e->working) : e->working.sectionCount;
    EXPECT_EQ(e->window->docHeight, rows * itemRowHeight());

    // In the front window a selected row is drawn inverted, mostly black, and any other row
    // mostly white.
    if (FrontWindow() == e->window) {
        const Rect view = GetPortRect(e->window);
        const int h = itemRowHeight();
        for (int r = std::max(0, view.top / h); r < rows && (r + 1) * h <= view.bottom; ++r) {
            if (r * h < view.top) continue;
            const Rect row{std::int16_t(r * h), view.left, std::int16_t((r + 1) * h), view.right};
            const int dark = CountDark(e->window, row);
            const bool selected = e->activeList == 1
                                      ? (findNetItem(e->working, r + 1)->flags & kNetItemSelected)
                                      : (sectionAt(e->working, r + 1)->flags & kSectionSelected);
            EXPECT_EQ(2 * dark > h * (view.right - view.left), selected)
                << "row " << r << " drawn " << (selected ? "unselected" : "selected");
        }
    }
    checkWorking(e);
}

void EditorPropertyTest::checkFieldEditors(const std::vector<PackageEditor*>& live) {
    std::set<std::pair<PackageEditor*, int>> seen;
    for (FieldEditor* fe : fieldEditors()) {
        SCOPED_TRACE("field editor " + std::to_string(fe->index) + " " + titleOf(fe->window));
        ASSERT_TRUE(std::find(live.begin(), live.end(), fe->owner) != live.end())
            << "its package editor is gone";
        EXPECT_TRUE(seen.insert({fe->owner, fe->index}).second) << "two windows for one item";
        EXPECT_EQ(findFieldEditor(fe->owner, fe->index), fe);
        PackageEditor* e = fe->owner;
        if (fe->index > 0) {
            ASSERT_LE(fe->index, e->working.sectionCount);
        } else
            ASSERT_LE(-fe->index, countNetItems(e->working));
        ASSERT_NE(fe->index, 0);
        const int perRow = fe->index > 0 ? 2 : 1;
        EXPECT_GE(fe->rowCount, 1);
        EXPECT_EQ(itemCount(fe->rowsForm), fe->rowCount * perRow);
        EXPECT_LE(fe->focusedItem, itemCount(fe->rowsForm));
        // The text edit record is bound to the focused item, in the pane that has the focus.
        EXPECT_EQ(fe->focusHeader, fe->focusedItem == 0);
        EXPECT_EQ(fe->textEdit->port, fe->focusedItem == 0 ? fe->headerPane : fe->window);
        EXPECT_TRUE(EqualRect(fe->textEdit->viewRect,
                              fe->focusedItem == 0 ? itemRect(fe->headerForm, kFieldHeaderEdit)
                                                   : itemRect(fe->rowsForm, fe->focusedItem)));
        EXPECT_EQ(teText(fe->textEdit), fe->focusedItem == 0
                                            ? getItemText(fe->headerForm, kFieldHeaderEdit).str()
                                            : getItemText(fe->rowsForm, fe->focusedItem).str());
        const std::string head = getItemText(fe->headerForm, kFieldHeaderEdit).str();
        EXPECT_TRUE(typable(head)) << head;
        if (fe->index > 0) {
            EXPECT_LE(head.size(), 10u) << head;
            EXPECT_TRUE(std::all_of(head.begin(), head.end(), [](char c) {
                return c >= '0' && c <= '9';
            })) << head;
        } else {
            EXPECT_LE(head.size(), 17u) << head;
        }
        for (int i = 1; i <= itemCount(fe->rowsForm); ++i) {
            const std::string t = getItemText(fe->rowsForm, i).str();
            EXPECT_LE(t.size(), 17u) << t;
            EXPECT_TRUE(typable(t)) << t;
        }
        // The title names its item: the section's letter, or the net's name as typed.
        std::string name =
            fe->index > 0 ? std::string("Section ") + char('A' + fe->index - 1) : trim(head);
        if (name.empty()) name = "Unnamed";
        EXPECT_TRUE(titleOf(fe->window).ends_with("  (" + name + ")"));
        // A field editor without changes shows its own item: renumbering kept it on it.
        if (!fe->changed) {
            EXPECT_EQ(fieldEditorContents(fe), itemContents(e, fe->index));
        }
    }
    for (PackageEditor* e : live) {
        bool any = false;
        for (const auto& [owner, index] : seen)
            any |= owner == e;
        EXPECT_EQ(findFieldEditor(e, 0) != nullptr, any) << "a field editor without a window";
    }
}

void EditorPropertyTest::checkEntries() {
    for (PackageFile* f = firstPackageFile(); f; f = f->next) {
        int count = 0;
        for (PackageEntry* e = f->packages; e; e = e->next) {
            ++count;
            EXPECT_EQ(e->owner, f);
            if (e->editor) {
                const std::vector<PackageEditor*> live = editors();
                ASSERT_TRUE(std::find(live.begin(), live.end(), e->editor) != live.end())
                    << "the entry's editor is gone";
                EXPECT_EQ(e->editor->entry, e);
            }
            if (e->flags & kModified) {
                EXPECT_NE(e->image, nullptr);
            }
            if (e->recordId == 0) {
                EXPECT_NE(e->image, nullptr);
            }
            std::string why;
            if (e->image) {
                EXPECT_TRUE(imageIsConsistent(e->image, &why)) << why;
                // The list shows the name the image holds, cut to 17 characters.
                const std::string name = imageField(e->image, kFieldPackageName).str();
                EXPECT_EQ(std::string(displayNameView(e)),
                          name.empty() ? "Unnamed Package" : name.substr(0, kDisplayNameMax));
            }
        }
        EXPECT_EQ(count, f->packageCount);
    }
}

void EditorPropertyTest::checkAll() {
    const std::vector<PackageEditor*> live = editors();
    for (PackageEditor* e : live) {
        SCOPED_TRACE("package editor " + titleOf(e->window));
        checkEditor(e);
    }
    checkFieldEditors(live);
    checkEntries();
    if (PackageEditor* current = currentPackageEditor()) {
        EXPECT_TRUE(std::find(live.begin(), live.end(), current) != live.end())
            << "the current package editor is gone";
    }
    if (FieldEditor* current = currentFieldEditor()) {
        const std::vector<FieldEditor*> fields = fieldEditors();
        EXPECT_TRUE(std::find(fields.begin(), fields.end(), current) != fields.end())
            << "the current field editor is gone";
    }
    for (const std::string& alert : ShownNoteAlerts())
        EXPECT_EQ(alert, kTooManyWindows) << "an alert the input should never cause";
}

// ---- the input ---------------------------------------------------------------------------------

void EditorPropertyTest::randomKey(Rng& rng) {
    WindowPtr front = FrontWindow();
    if (!front) return;
    // Characters (digits above all, and Latin-1 ones without a case), named keys, and DEL and
    // control characters typed with Control.
    static const std::string chars = "azQT ,.-01234567899\u00a7\u00d7";
    static const int named[] = {Qt::Key_Left,      Qt::Key_Right,  Qt::Key_Up,
                                Qt::Key_Home,      Qt::Key_Tab,    Qt::Key_Return,
                                Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Escape};
    static const std::string controls = "\x01\t\r\x7f";
    const int kind = pick(rng, 10);
    int key = Qt::Key_unknown;
    Qt::KeyboardModifiers mods = Qt::NoModifier;
    std::string text;
    if (kind < 6) {
        const QString all = QString::fromUtf8(chars.c_str());
        const QChar c = all[pick(rng, int(all.size()))];
        text = QString(c).toStdString();
        if (c.unicode() < 128) key = c.toUpper().unicode();
    } else if (kind < 9) {
        key = named[pick(rng, int(std::size(named)))];
    } else if (chance(rng, 20)) {
        key = Qt::Key_Backtab;
        mods = Qt::ShiftModifier;
    } else {
        text = controls[std::size_t(pick(rng, int(controls.size())))];
        if (text[0] != 127) {
            key = Qt::Key_A + (text[0] - 1);
            mods = Qt::ControlModifier;
        }
    }
    log_.push_back("key " + std::to_string(key) + " [" + text + "] to " + titleOf(front));
    harness::SendKey(front, key, mods, text.empty() ? nullptr : text.c_str());
}

void EditorPropertyTest::randomListClick(Rng& rng, PackageEditor* e) {
    const Rect view = GetPortRect(e->window);
    const int height = std::max(1, view.bottom - view.top);
    auto point = [&] {
        return Point{std::int16_t(pick(rng, height)), std::int16_t(2 + pick(rng, 300))};
    };
    std::vector<Point> path{point()};
    for (int n = pick(rng, 4); n > 0; --n)
        path.push_back(point());
    const Qt::MouseButton button = chance(rng, 25) ? Qt::RightButton : Qt::LeftButton;
    const int m = pick(rng, 4);
    const Qt::KeyboardModifiers mods = m == 1   ? Qt::ShiftModifier
                                       : m == 2 ? Qt::ControlModifier
                                                : Qt::NoModifier;
    const bool twice = button == Qt::LeftButton && path.size() == 1 && chance(rng, 10);
    log_.push_back(std::string(twice ? "double " : "") + "click in the list of " +
                   titleOf(e->window) + " v " + std::to_string(path[0].v) + " over " +
                   std::to_string(path.size()) + " points, button " + std::to_string(button) +
                   " mods " + std::to_string(m));
    harness::ScriptPointer(e->window, path);
    harness::SendClick(e->window, path[0], mods, when_ += 1000, button);
    if (twice) {
        harness::SendDoubleClickEvent(e->window, path[0], mods, when_ + 100);
        harness::SendMouseRelease(e->window, path[0], Qt::LeftButton, mods, when_ + 101);
    }
    harness::ScriptPointer(nullptr, {});
}

void EditorPropertyTest::randomHeaderClick(Rng& rng, PackageEditor* e) {
    const int what = pick(rng, 10);
    if (what < 6) {
        const int item = kEditFields[pick(rng, 6)];
        const Rect r = itemRect(e->headerForm, item);
        const Point p{std::int16_t((r.top + r.bottom) / 2),
                      std::int16_t(r.left + pick(rng, std::max(1, r.right - r.left)))};
        const bool shift = chance(rng, 20);
        log_.push_back("click header item " + std::to_string(item) + (shift ? " shift" : ""));
        harness::SendClick(e->headerPane, p, shift ? Qt::ShiftModifier : Qt::NoModifier,
                           when_ += 1000);
    } else if (what < 8) {
        const int item = what == 6 ? kHeaderShapesPopup : kHeaderSizePopup;
        const Rect r = itemRect(e->headerForm, item);
        const int choice = pick(rng, 12);
        log_.push_back("popup " + std::to_string(item) + " choice " + std::to_string(choice));
        AnswerNextPopUpMenu(choice);
        harness::SendClick(
            e->headerPane,
            Point{std::int16_t((r.top + r.bottom) / 2), std::int16_t((r.left + r.right) / 2)},
            Qt::NoModifier, when_ += 1000);
    } else {
        const char* label = what == 8 ? "Component Sections" : "Hidden Connections";
        log_.push_back(std::string("radio button ") + label);
        SelectWindow(e->window);
        for (QAbstractButton* b :
             harness::ViewWidget(e->headerPane)->findChildren<QAbstractButton*>())
            if (b->text() == label) b->click();
    }
}

void EditorPropertyTest::randomFieldEditorClick(Rng& rng, FieldEditor* fe) {
    const bool header = chance(rng, 30);
    FormHandle form = header ? fe->headerForm : fe->rowsForm;
    const int item = header ? kFieldHeaderEdit : 1 + pick(rng, itemCount(fe->rowsForm));
    Rect r = itemRect(form, item);
    Point p{std::int16_t((r.top + r.bottom) / 2), std::int16_t(r.left + 2)};
    if (!header) { // rows scroll: view pixels are content minus the scroll position
        const Rect view = GetPortRect(fe->window);
        p.v = std::int16_t(p.v - view.top);
        p.h = std::int16_t(p.h - view.left);
    }
    log_.push_back("click field editor " + std::to_string(fe->index) +
                   (header ? " header" : " row item " + std::to_string(item)));
    harness::SendClick(header ? fe->headerPane : fe->window, p, Qt::NoModifier, when_ += 1000);
}

std::int16_t EditorPropertyTest::randomCommand(Rng& rng) {
    static const std::int16_t commands[] = {
        kCmdCut,       kCmdCopy,   kCmdPaste,      kCmdDelete,        kCmdSelectAll,
        kCmdDuplicate, kCmdCreate, kCmdOpenEditor, kCmdRevertPackage, kCmdClose,
        kCmdPaste,     kCmdCreate, kCmdSave};
    WindowPtr front = FrontWindow();
    PackageFile* list = front ? listWindowFile(front) : nullptr;
    std::int16_t c = commands[pick(rng, int(std::size(commands)))];
    if (list) {
        // In the list window only what opens editors: Create, or Open Editor on a random
        // selection of packages.
        if (c != kCmdCreate) {
            c = kCmdOpenEditor;
            deselectAll(list);
            for (std::int32_t i = 0; i < list->packageCount; ++i)
                if (chance(rng, 40)) selectEntry(list, entryAt(list, i), i);
        }
    }
    const std::vector<FieldEditor*> fields = fieldEditors();
    if (c == kCmdClose && !fields.empty() && chance(rng, 60)) {
        front = fields[std::size_t(pick(rng, int(fields.size())))]->window;
        SelectWindow(front);
    }
    const bool control = (c == kCmdClose || c == kCmdRevertPackage) && chance(rng, 20);
    harness::SetControlKey(control);
    log_.push_back("command " + std::to_string(c) + " in " +
                   (front ? titleOf(front) : std::string("no window")));
    const bool ran = choose(c);
    if (!ran) log_.back() += " (disabled)";
    harness::ResetKeys();
    // With the Control key held every validation question is answered Proceed unasked.
    for (const ShownDialog& d : ShownDialogs()) {
        if (control) {
            EXPECT_NE(d.templateId, 1006) << "asked although Control was held";
        }
    }
    return ran ? c : 0;
}

void EditorPropertyTest::step(Rng& rng) {
    // Whatever is asked is answered at random: Proceed or Cancel, OK or Cancel.
    ResetDialogHarness();
    for (int i = 0; i < 8; ++i)
        AnswerNextDialog(1006, chance(rng, 50) ? 3 : 1);
    for (int i = 0; i < 4; ++i)
        AnswerNextDialog(1007, chance(rng, 60) ? 1 : 2);
    harness::ResetBeeps();

    const std::vector<PackageEditor*> open = editors();
    const std::vector<FieldEditor*> fields = fieldEditors();
    PackageEditor* front = editorOfWindow(FrontWindow());
    PackageEditor* target = front ? front : open.empty() ? nullptr : open[0];
    std::vector<EditorFocus> focusBefore;
    for (PackageEditor* e : open)
        focusBefore.push_back(e->focus);

    // Without a package editor the list window's commands open one now and then.
    const int kind = open.empty() && chance(rng, 40) ? 99 : pick(rng, 100);
    const bool full = front && front->working.sectionCount == kMaxSections;
    PackageEntry* frontEntry = front ? front->entry : nullptr;
    std::int16_t command = 0;
    if (kind < 32) {
        randomKey(rng);
    } else if (kind < 55 && target) {
        randomListClick(rng, target);
    } else if (kind < 63 && target) {
        randomHeaderClick(rng, target);
    } else if (kind < 70 && !fields.empty()) {
        randomFieldEditorClick(rng, fields[std::size_t(pick(rng, int(fields.size())))]);
    } else if (kind < 76) {
        std::string text;
        static const std::string pieces = "ab9 ,\t\r\x01z-.7QR";
        for (int n = pick(rng, 3) == 0 ? 80 : pick(rng, 20); n > 0; --n)
            text += pieces[std::size_t(pick(rng, int(pieces.size())))];
        log_.push_back("scrap [" + text + "]");
        setScrap(text);
    } else if (kind < 80) {
        std::vector<WindowPtr> windows;
        for (WindowPtr w = GetNextWindow(nullptr); w; w = GetNextWindow(w))
            windows.push_back(w);
        if (!windows.empty()) {
            WindowPtr w = windows[std::size_t(pick(rng, int(windows.size())))];
            log_.push_back("bring to front " + titleOf(w));
            SelectWindow(w);
        }
    } else {
        command = randomCommand(rng);
    }
    harness::ProcessUpdates();
    for (const ShownDialog& d : ShownDialogs())
        log_.push_back("  asked " + std::to_string(d.templateId) + ", answered with item " +
                       std::to_string(d.endedWith));
    checkAll();

    // The focus leaving the list for the header takes the selection with it; only Create
    // selects its new row while the header has the focus.
    const std::vector<PackageEditor*> now = editors();
    for (std::size_t i = 0; i < open.size(); ++i) {
        if (std::find(now.begin(), now.end(), open[i]) == now.end()) continue;
        PackageEditor* e = open[i];
        if (focusBefore[i] != EditorFocus::window || e->focus != EditorFocus::header ||
            command == kCmdCreate)
            continue;
        for (int k = 1; k <= e->working.sectionCount; ++k)
            EXPECT_EQ(sectionAt(e->working, k)->flags, 0u) << "section " << k;
        forEachNetItem(e->working, [](const NetItem* n) { EXPECT_EQ(n->flags, 0); });
    }

    // Revert Package gives a stored Package its stored state: no image in memory, not modified.
    if (command == kCmdRevertPackage && frontEntry &&
        std::find(now.begin(), now.end(), front) == now.end()) {
        for (PackageFile* f = firstPackageFile(); f; f = f->next)
            for (PackageEntry* e = f->packages; e; e = e->next)
                if (e == frontEntry && e->recordId != 0) {
                    EXPECT_EQ(e->image, nullptr) << "a reverted Package kept its image";
                    EXPECT_EQ(e->flags & kModified, 0u) << "a reverted Package stayed modified";
                }
    }

    // What Save writes is a sound package file.
    if (command == kCmdSave) verifyClean(path, "after Save");

    // A 27th section is never added (checkWorking), and not a word is said about it.
    if (full && (command == kCmdCreate || command == kCmdDuplicate ||
                 (command == kCmdPaste && itemClipboardHolds() && front->activeList == 0))) {
        EXPECT_EQ(harness::BeepCount(), 0) << "a section past the 26th made a sound";
        EXPECT_TRUE(ShownNoteAlerts().empty() ||
                    (ShownNoteAlerts().size() == 1 && ShownNoteAlerts()[0] == kTooManyWindows));
    }
}

void EditorPropertyTest::run(unsigned seed, int steps) {
    Rng rng(seed);
    PackageFile* f = openLibrary();
    ASSERT_NE(f, nullptr);
    ASSERT_NE(openEditor(entryAt(f, pick(rng, 3))), nullptr);
    harness::ProcessUpdates();
    for (int i = 0; i < steps && !HasFailure(); ++i) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(i));
        step(rng);
        if (HasFailure()) {
            std::string last;
            for (std::size_t k = log_.size() > 12 ? log_.size() - 12 : 0; k < log_.size(); ++k)
                last += "\n  " + log_[k];
            ADD_FAILURE() << "the last steps:" << last;
        }
    }
    if (std::getenv("OK_PROPERTY_LOG"))
        for (const std::string& line : log_)
            std::printf("%s\n", line.c_str());
    log_.clear();
    harness::ResetKeys();
    ASSERT_EQ(closeFile(f, CloseMode::forced), CloseResult::closed);
}

// Several seeds of a few hundred steps each; OK_PROPERTY_STEPS sets another number of steps
// and OK_PROPERTY_SEEDS adds seeds (a long run under the sanitizers, say).
TEST_F(EditorPropertyTest, RandomInputKeepsEveryPackageSound) {
    const char* env = std::getenv("OK_PROPERTY_STEPS");
    const int steps = env ? std::atoi(env) : 250;
    std::vector<unsigned> seeds{1u, 2u, 3u, 20261207u};
    if (const char* more = std::getenv("OK_PROPERTY_SEEDS")) // that many more, from 100 on
        for (int i = 0; i < std::atoi(more); ++i)
            seeds.push_back(100u + unsigned(i));
    for (unsigned seed : seeds) {
        run(seed, steps);
        if (HasFailure()) return;
    }
    // Seeds that once found a fault, each as far as the step that showed it.
    const std::pair<unsigned, int> found[] = {
        {1u, 1100}, // closing an editor left a renumbered field editor open
        {1u, 116},  // a row created while the header had the focus drawn the wrong way
    };
    for (const auto& [seed, length] : found) {
        run(seed, length);
        if (HasFailure()) return;
    }
}

// The case seed 1 found after a thousand steps: closing a package editor whose first field
// editor's section is deleted (Proceed) renumbers the next field editor into the place the
// close had already passed; that one must close too, and so for the nets.
TEST_F(EditorPropertyTest, ClosingTheEditorClosesFieldEditorsThatADeletionRenumbered) {
    PackageFile* f = openLibrary();
    ASSERT_NE(f, nullptr);
    PackageEditor* e = openEditor(entryAt(f, 0));
    ASSERT_NE(e, nullptr);
    for (int index : {1, 2, -1, -2})
        ASSERT_NE(openFieldEditor(e, index), nullptr);
    // Section A's Class ID and net 1's name go: each is wholly selected on opening.
    for (int index : {1, -1}) {
        FieldEditor* fe = findFieldEditor(e, index);
        SelectWindow(fe->window);
        harness::SendKey(fe->window, Qt::Key_Backspace);
        ASSERT_EQ(getItemText(fe->headerForm, kFieldHeaderEdit).str(), "");
    }
    for (int i = 0; i < 3; ++i)
        AnswerNextDialog(1006, 3);
    SelectWindow(e->window);
    ASSERT_TRUE(choose(kCmdClose));
    harness::ProcessUpdates();
    EXPECT_TRUE(fieldEditors().empty());
    EXPECT_TRUE(editors().empty());
    ASSERT_EQ(ShownDialogs().size(), 2u); // 1307 for section A, 1308 for net 1
    // The stored package lost section A and the nameless net, and kept the rest.
    PackageRecord stored;
    ASSERT_EQ(expandImage(entryAt(f, 0)->image, &stored), noErr);
    Contents expected;
    expected.fields = "R1\tR\tAXIAL\t400";
    expected.sections = {{7, 0, ""}, {99, 1, "A1\tB2"}};
    expected.nets = {"GND\t1"};
    EXPECT_EQ(contentsOf(stored, false), expected) << describe(contentsOf(stored, false));
}

// The case seed 1 found at step 115: Create leaves its new row selected while the header keeps
// the focus, and the window then comes back to the front under a click in its list. The row
// must be drawn highlighted again then, or the click's deselection inverts it the wrong way.
TEST_F(EditorPropertyTest, ARowCreatedWhileTheHeaderHasTheFocusIsDrawnAsItIsMarked) {
    PackageFile* f = openLibrary();
    ASSERT_NE(f, nullptr);
    PackageEditor* e = openEditor(entryAt(f, 0)); // 3 sections
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(choose(kCmdCreate)); // section D, selected; its field editor in front
    harness::ProcessUpdates();
    ASSERT_NE(FrontWindow(), e->window);
    const int h = itemRowHeight();
    const Rect view = GetPortRect(e->window);
    const Rect rowD{std::int16_t(3 * h), view.left, std::int16_t(4 * h), view.right};
    const int area = h * (view.right - view.left);
    // A right-button click below the rows: the window comes to the front, every row deselected.
    const Point below{std::int16_t(5 * h), 40};
    harness::ScriptPointer(e->window, {below, below});
    harness::SendClick(e->window, below, Qt::NoModifier, when_ += 1000, Qt::RightButton);
    harness::ScriptPointer(nullptr, {});
    harness::ProcessUpdates();
    EXPECT_EQ(FrontWindow(), e->window);
    EXPECT_EQ(sectionAt(e->working, 4)->flags, 0u);
    EXPECT_LT(2 * CountDark(e->window, rowD), area) << "row D drawn selected";
}

// Create, Paste and Duplicate in a package holding 26 sections add nothing and say nothing:
// no beep, no alert, no question.
TEST_F(EditorPropertyTest, SectionsPastTheTwentySixthAreDroppedSilently) {
    PackageFile* f = openLibrary();
    ASSERT_NE(f, nullptr);
    PackageEditor* e = openEditor(entryAt(f, 1)); // 25 sections
    ASSERT_NE(e, nullptr);
    harness::ProcessUpdates();
    ASSERT_TRUE(choose(kCmdCreate)); // the 26th, with its field editor
    EXPECT_EQ(e->working.sectionCount, kMaxSections);
    FieldEditor* fe = findFieldEditor(e, kMaxSections);
    ASSERT_NE(fe, nullptr);
    SelectWindow(e->window);
    harness::ProcessUpdates();
    ResetHarnessState();

    // Nothing added: Create deselects every row first, so no field editor opens either.
    ASSERT_TRUE(choose(kCmdCreate));
    EXPECT_EQ(e->working.sectionCount, kMaxSections);
    EXPECT_EQ(FrontWindow(), e->window);
    SelectWindow(e->window);
    setFocus(e, EditorFocus::window);
    selectRow(e, 0);
    selectRow(e, 4);
    ASSERT_TRUE(choose(kCmdCopy));
    ASSERT_TRUE(choose(kCmdPaste));
    EXPECT_EQ(e->working.sectionCount, kMaxSections);
    selectRow(e, 2);
    ASSERT_TRUE(choose(kCmdDuplicate));
    EXPECT_EQ(e->working.sectionCount, kMaxSections);
    harness::ProcessUpdates();
    EXPECT_EQ(harness::BeepCount(), 0);
    EXPECT_TRUE(ShownNoteAlerts().empty());
    EXPECT_TRUE(ShownDialogs().empty());
    // The sections are the 25 stored ones and the one created, in their order.
    for (int k = 1; k <= kMaxSections - 1; ++k)
        EXPECT_EQ(sectionAt(e->working, k)->classId, k);
    EXPECT_EQ(sectionAt(e->working, kMaxSections)->classId, 0);
    EXPECT_EQ(findFieldEditor(e, kMaxSections), fe);
    checkAll();
}

} // namespace
