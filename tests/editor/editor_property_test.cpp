// The package editor driven from fixed seeds with random keys, clicks, drags, pastes and menu
// commands. After every step the packages, the editor records and the field editor windows are
// checked against rules written here from the records' own definitions.
#include "editor/FieldEditor.h"
#include "editor/ItemList.h"
#include "resources/Commands.h"
#include "shell/Application.h"
#include "tests/editor/loss_watch.h"
#include "tests/support/EditorTest.h"
#include "tests/support/gui/window_input.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/Menus.h"
#include "toolbox/harness/Harness.h"

#include <QApplication>
#include <QMainWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace test_support;

namespace {

constexpr int kEditFields[] = {2, 4, 7, 10, 13, 15};
constexpr int kFieldLimits[] = {17, 8, 56, 56, 56, 56};

using Rng = std::mt19937;

class EditorPropertyTest : public EditorTest {
protected:
    static int pick(Rng& rng, int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    static bool chance(Rng& rng, int percent) { return pick(rng, 100) < percent; }
    static auto pickOf(Rng& rng, const auto& v) { return v[std::size_t(pick(rng, int(v.size())))]; }
    static bool contains(const auto& v, auto x) { return std::ranges::count(v, x) != 0; }
    static std::vector<PackageEditor*> editors() { return windowRecords(editorOfWindow); }
    static std::vector<FieldEditor*> fieldEditors() { return windowRecords(fieldEditorOfWindow); }

    // A user's menu choice: the menus brought up to date first, then only an enabled item.
    static bool choose(std::int16_t command) {
        RunMenuEnabling();
        int item = 0;
        MenuHandle menu = FindCommandMenu(command, &item);
        if (!menu || !IsMenuItemEnabled(menu, 0) || !IsMenuItemEnabled(menu, item)) return false;
        DispatchMenuCommand(command);
        return true;
    }

    void checkEditor(PackageEditor* e) {
        SCOPED_TRACE("package editor " + titleOf(e->window));
        ASSERT_NE(e->entry, nullptr);
        const PackageRecord& w = e->working;
        ASSERT_TRUE(w.sectionCount >= 0 && w.sectionCount <= kMaxSections) << w.sectionCount;
        for (int k = 1; k <= w.sectionCount; ++k) {
            const ComponentSection* s = sectionAt(w, k);
            const std::string pins = handleText(s->pinChanges);
            SCOPED_TRACE("section " + std::to_string(k) + " [" + pins + "]");
            EXPECT_EQ(s->flags & ~kSectionSelected, 0u);
            EXPECT_EQ(splitTabs(pins).size(), s->pinChangeCount ? 2u * s->pinChangeCount : 1u);
            for (const std::string& pin : splitTabs(pins))
                EXPECT_TRUE(pin.empty() == (s->pinChangeCount == 0) && pin.size() <= 17u &&
                            typable(pin) && pin == upper(trim(pin)));
        }
        int nets = 0;
        forEachNetItem(w, [&](const NetItem* n) {
            ++nets;
            EXPECT_EQ(n->flags & ~kNetItemSelected, 0);
            const std::string text(n->text, n->textLength);
            for (const std::string& f : splitTabs(text))
                EXPECT_TRUE(typable(f) && f == upper(f)) << "[" << text << "]";
        });
        EXPECT_EQ(e->netCount, nets);

        // Flattened, the package is a sound image that expands to what was kept of it, and
        // flattens again to the same bytes.
        UniqueHandle image, again;
        ASSERT_EQ(flattenPackage(w, &image), noErr);
        std::string why;
        ASSERT_TRUE(imageIsConsistent(image.get(), &why)) << why;
        PackageRecord back;
        ASSERT_EQ(expandImage(image.get(), &back), noErr);
        EXPECT_EQ(formOf(w), formOf(back)) << "what was kept came back otherwise";
        ASSERT_EQ(flattenPackage(back, &again), noErr);
        EXPECT_EQ(bytesOf(image.get()), bytesOf(again.get()));

        // An editor with nothing left to carry has carried it all to its entry.
        const std::vector<FieldEditor*> fields = fieldEditors();
        bool pending = (e->stateFlags & kEditorChanged) != 0;
        for (FieldEditor* fe : fields)
            pending |= fe->owner == e && fe->changed;
        EXPECT_TRUE(pending || !e->entry->image ||
                    withoutLinks(e->entry->image) == withoutLinks(image.get()))
            << "the entry holds another package than the editor";

        EXPECT_EQ(editorOf(e->entry), e);
        const FieldEditor* any = findFieldEditor(e, 0);
        EXPECT_TRUE(!any || contains(fields, any)) << "a field editor record without its window";
        EXPECT_TRUE(contains(kEditFields, e->currentField)) << e->currentField;
        EXPECT_TRUE(e->activeList <= 1 &&
                    (e->shapeFamily <= 17 || e->shapeFamily == kNoShapeFamily))
            << e->activeList << " " << e->shapeFamily;
        // The text edit record is bound to the current field, active only with the header focused.
        const TEHandle te = e->textEdit;
        EXPECT_FALSE(e->focus == EditorFocus::window && te->active);
        EXPECT_TRUE(0 <= te->selStart && te->selStart <= te->selEnd && te->selEnd <= te->teLength);
        EXPECT_EQ(teText(te), getItemText(e->headerForm, e->currentField).str());
        EXPECT_TRUE(EqualRect(te->viewRect, itemRect(e->headerForm, e->currentField)));

        // Each header field holds typable text within its limit, and the working package holds it
        // trimmed (fields 2 and 3 upper-cased).
        for (int i = 0; i < 6; ++i) {
            const std::string shown = getItemText(e->headerForm, kEditFields[i]).str();
            SCOPED_TRACE("header item " + std::to_string(kEditFields[i]) + " [" + shown + "]");
            EXPECT_TRUE(shown.size() <= std::size_t(kFieldLimits[i]) && typable(shown));
            EXPECT_EQ(packageField(e->working, i + 1).str(),
                      i == 1 || i == 2 ? upper(trim(shown)) : trim(shown));
        }
        const std::string name = packageField(e->working, 1).str();
        EXPECT_EQ(titleOf(e->window), name.empty() ? "Unnamed Package" : name);

        for (int list : {0, 1})
            EXPECT_EQ(GetControlValue(GetWindowControl(
                          e->headerPane, list ? kHeaderNetsButton : kHeaderSectionsButton)),
                      e->activeList == list);
        const int rows = e->activeList == 1 ? nets : w.sectionCount, h = itemRowHeight();
        EXPECT_EQ(e->window->docHeight, rows * h);

        // In the front window a selected row is drawn mostly black, any other row mostly white.
        if (FrontWindow() != e->window) return;
        const Rect view = GetPortRect(e->window);
        for (int r = (view.top + h - 1) / h; r < rows && (r + 1) * h <= view.bottom; ++r) {
            const Rect row{std::int16_t(r * h), view.left, std::int16_t((r + 1) * h), view.right};
            const bool selected = e->activeList == 1
                                      ? findNetItem(w, r + 1)->flags & kNetItemSelected
                                      : sectionAt(w, r + 1)->flags & kSectionSelected;
            EXPECT_EQ(2 * CountDark(e->window, row) > h * (view.right - view.left), selected)
                << "row " << r << " drawn " << (selected ? "unselected" : "selected");
        }
    }

    // alerts: the step may have shown alerts (a fault, or the note after a Save).
    void checkAll(bool alerts = false) {
        const std::vector<PackageEditor*> live = editors();
        for (PackageEditor* e : live)
            checkEditor(e);
        for (FieldEditor* fe : fieldEditors()) {
            SCOPED_TRACE("field editor " + std::to_string(fe->index) + " " + titleOf(fe->window));
            PackageEditor* e = fe->owner;
            ASSERT_TRUE(contains(live, e)) << "its package editor is gone";
            EXPECT_EQ(findFieldEditor(e, fe->index), fe) << "two windows for one item";
            ASSERT_TRUE(fe->index != 0 && fe->index <= e->working.sectionCount &&
                        -fe->index <= countNetItems(e->working));
            EXPECT_GE(fe->rowCount, 1);
            EXPECT_EQ(itemCount(fe->rowsForm), fe->rowCount * (fe->index > 0 ? 2 : 1));
            ASSERT_LE(fe->focusedItem, itemCount(fe->rowsForm));
            FormHandle form = fe->focusedItem ? fe->rowsForm : fe->headerForm;
            const int item = fe->focusedItem ? fe->focusedItem : kFieldHeaderEdit;
            EXPECT_TRUE(EqualRect(fe->textEdit->viewRect, itemRect(form, item)));
            EXPECT_EQ(teText(fe->textEdit), getItemText(form, item).str());
            // Typable texts within limits: a Class ID of an optional "-" and up to 10 digits that
            // fits 32 bits; pins and net names of up to 17 characters; a net text of 255 bytes.
            const std::string head = getItemText(fe->headerForm, kFieldHeaderEdit).str();
            const std::string digits = head.substr(head.starts_with("-"));
            EXPECT_TRUE(fe->index > 0 ? digits.size() <= 10u &&
                                            classIdText(head) == std::int32_t(classIdText(head)) &&
                                            digits.find_first_not_of("0123456789") == head.npos
                                      : head.size() <= 17u && typable(head) &&
                                            fieldEditorContents(fe).size() <= kMaxNetText)
                << head << " | " << fieldEditorContents(fe);
            for (int i = 1; i <= itemCount(fe->rowsForm); ++i) {
                const std::string t = getItemText(fe->rowsForm, i).str();
                EXPECT_TRUE(t.size() <= 17u && typable(t)) << t;
            }
            // The title names its item: the section's letter, or the net's name as typed.
            std::string name =
                fe->index > 0 ? std::string("Section ") + char('A' + fe->index - 1) : trim(head);
            EXPECT_TRUE(
                titleOf(fe->window).ends_with("  (" + (name.empty() ? "Unnamed" : name) + ")"));
            // A field editor without changes shows its own item: renumbering kept it on it.
            EXPECT_TRUE(fe->changed || fieldEditorContents(fe) == itemContents(e, fe->index))
                << fieldEditorContents(fe) << " | " << itemContents(e, fe->index);
        }
        for (PackageFile* f = firstPackageFile(); f; f = f->next) {
            int count = 0;
            for (PackageEntry* e = f->packages; e; e = e->next, ++count) {
                EXPECT_EQ(e->owner, f);
                EXPECT_TRUE(!editorOf(e) || contains(live, editorOf(e)))
                    << "the entry's editor is gone";
                // A modified or never stored Package is held in memory, as a sound image.
                EXPECT_TRUE(e->image || (!(e->flags & kModified) && e->recordId != 0));
                if (!e->image) continue;
                std::string why;
                EXPECT_TRUE(imageIsConsistent(e->image, &why)) << why;
                // The list shows the name the image holds, cut to 17 characters (or "?", which a
                // read that failed left, on the package and its copies).
                const std::string name = imageField(e->image, kFieldPackageName).str();
                EXPECT_TRUE(displayNameView(e) == "?" ||
                            displayNameView(e) == (name.empty() ? "Unnamed Package"
                                                                : name.substr(0, kDisplayNameMax)));
            }
            EXPECT_EQ(count, f->packageCount);
        }
        EXPECT_TRUE(!currentPackageEditor() || contains(live, currentPackageEditor()))
            << "the current package editor is gone";
        EXPECT_TRUE(!currentFieldEditor() || contains(fieldEditors(), currentFieldEditor()))
            << "the current field editor is gone";
        for (const std::string& alert : ShownNoteAlerts())
            EXPECT_TRUE(alerts || alert == "You cannot open that many windows!")
                << "an alert the input should never cause";
    }

    void SetUp() override {
        static const bool started = startApplication() == noErr;
        ASSERT_TRUE(started);
        ResetHarnessState();
        clearClipboards();
        SetTextScrap("");
    }
    void TearDown() override {
        harness::ResetKeys();
        EditorTest::TearDown();
        EXPECT_TRUE(editors().empty() && fieldEditors().empty()) << "an editor outlived its file";
        clearClipboards();
    }

    // Five packages: a small one, one a section short of the most, one with long texts, one
    // without sections, one with a single section; texts within limits, some Class IDs negative.
    PackageFile* openLibrary() {
        std::string longNet = "LONGNET";
        for (int i = 0; i < 14; ++i)
            longNet += "\t" + std::string(17, char('A' + i));
        std::vector<PackageContents> packages{
            {{"R1", "R", "AXIAL", "400"},
             {{12, {{"1", "2"}, {"3", "4"}}}, {-7, {}}, {99, {{"A1", "B2"}}}},
             {"VCC\t7\t14", "GND\t1"}},
            {{"MANY", "U", "DIP", "14", "300"}, {}, {}},
            {{std::string(17, 'N'), std::string(8, 'P'), std::string(56, 'S')},
             {{-2147483647 - 1, {{std::string(17, '1'), std::string(17, '2')}}}},
             {longNet.substr(0, kMaxNetText)}},
            {{"EMPTY", "Q"}, {}, {}},
            {{"ONE", "D"}, {{-3, {{"1", "2"}}}}, {}}};
        for (int k = 1; k <= kMaxSections - 1; ++k)
            packages[1].sections.push_back({k, {{std::to_string(k), std::to_string(k + 1)}}});
        std::vector<UniqueHandle> images;
        for (const PackageContents& p : packages)
            images.push_back(buildImage(p));
        writeRecordFile(path, images);
        PackageFile* f = openFile(path);
        harness::ProcessUpdates();
        return f;
    }

    bool randomKey(Rng& rng) {
        WindowPtr front = FrontWindow();
        if (!front) return false;
        // Characters (digits above all, Latin-1 ones without a case), named keys, and DEL and
        // control characters typed with Control. True for a key that deletes.
        static const QString chars = QString::fromUtf8("azQT ,.-01234567899\u00a7\u00d7");
        static const std::vector<int> named{Qt::Key_Left,      Qt::Key_Right,  Qt::Key_Up,
                                            Qt::Key_Home,      Qt::Key_Tab,    Qt::Key_Return,
                                            Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Escape};
        static const std::string controls = "\x01\t\r\x7f";
        const int kind = pick(rng, 10);
        int key = Qt::Key_unknown;
        Qt::KeyboardModifiers mods = Qt::NoModifier;
        std::string text;
        if (kind < 6) {
            const QChar c = chars[pick(rng, int(chars.size()))];
            text = QString(c).toStdString();
            if (c.unicode() < 128) key = c.toUpper().unicode();
        } else if (kind < 9) {
            key = pickOf(rng, named);
        } else if (chance(rng, 20)) {
            key = Qt::Key_Backtab;
            mods = Qt::ShiftModifier;
        } else if (text = std::string(1, pickOf(rng, controls)); text[0] != 127) {
            key = Qt::Key_A + (text[0] - 1);
            mods = Qt::ControlModifier;
        }
        say("key ", key, " [", text, "] to ", titleOf(front));
        harness::SendKey(front, key, mods, text.empty() ? nullptr : text.c_str());
        return key == Qt::Key_Delete || key == Qt::Key_Backspace;
    }

    void randomListClick(Rng& rng, PackageEditor* e) {
        const Rect view = GetPortRect(e->window);
        const int height = std::max(1, view.bottom - view.top);
        auto point = [&] {
            return Point{std::int16_t(pick(rng, height)), std::int16_t(2 + pick(rng, 300))};
        };
        std::vector<Point> path{point()};
        for (int n = pick(rng, 4); n > 0; --n)
            path.push_back(point());
        const Qt::MouseButton button = chance(rng, 25) ? Qt::RightButton : Qt::LeftButton;
        if (button == Qt::RightButton && chance(rng, 20)) ArmMemoryFault(1 + pick(rng, 3));
        const int m = pick(rng, 4); // no modifier twice as often as Shift or Control
        const Qt::KeyboardModifiers mods =
            std::array{Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier, Qt::NoModifier}[m];
        const bool twice = button == Qt::LeftButton && path.size() == 1 && chance(rng, 10);
        say(twice ? "double " : "", "click in the list of ", titleOf(e->window), " v ", path[0].v,
            " over ", path.size(), " points, button ", int(button), " mods ", m);
        harness::ScriptPointer(e->window, path);
        harness::SendClick(e->window, path[0], mods, when_ += 1000, button);
        if (twice) {
            harness::SendDoubleClickEvent(e->window, path[0], mods, when_ + 100);
            harness::SendMouseRelease(e->window, path[0], Qt::LeftButton, mods, when_ + 101);
        }
        harness::ScriptPointer(nullptr, {});
    }

    // A text field clicked along it (now and then with Shift), a popup's choice or a radio button.
    void randomHeaderClick(Rng& rng, PackageEditor* e) {
        const int what = pick(rng, 10);
        if (what >= 8) {
            const char* label = what == 8 ? "Component Sections" : "Hidden Connections";
            log_.push_back(std::string("radio button ") + label);
            SelectWindow(e->window);
            clickButton(e->headerPane, label);
            return;
        }
        const bool field = what < 6;
        const int item =
            field ? kEditFields[pick(rng, 6)] : (what == 6 ? kHeaderShapesPopup : kHeaderSizePopup);
        const Rect r = itemRect(e->headerForm, item);
        const int h =
            field ? r.left + pick(rng, std::max(1, r.right - r.left)) : (r.left + r.right) / 2;
        const bool shift = field && chance(rng, 20);
        if (field) say("click header item ", item, shift ? " shift" : "");
        const int choice = field ? 0 : pick(rng, 12);
        if (!field) say("popup ", item, " choice ", choice);
        if (!field) AnswerNextPopUpMenu(choice);
        harness::SendClick(e->headerPane,
                           Point{std::int16_t((r.top + r.bottom) / 2), std::int16_t(h)},
                           shift ? Qt::ShiftModifier : Qt::NoModifier, when_ += 1000);
    }

    void randomFieldEditorClick(Rng& rng, FieldEditor* fe) {
        const bool header = chance(rng, 30);
        const int item = header ? kFieldHeaderEdit : 1 + pick(rng, itemCount(fe->rowsForm));
        const Rect r = itemRect(header ? fe->headerForm : fe->rowsForm, item);
        // The rows scroll: their view pixels are content minus the scroll position.
        const Rect view = header ? Rect{} : GetPortRect(fe->window);
        const Point p{std::int16_t((r.top + r.bottom) / 2 - view.top),
                      std::int16_t(r.left + 2 - view.left)};
        say("click field editor ", fe->index, header ? " header" : " row item ",
            header ? "" : std::to_string(item));
        harness::SendClick(header ? fe->headerPane : fe->window, p, Qt::NoModifier, when_ += 1000);
    }

    void randomScrap(Rng& rng) {
        static const std::string pieces = "ab9 ,\t\r\x01z-.7QR";
        std::string text;
        for (int n = pick(rng, 3) == 0 ? 80 : pick(rng, 20); n > 0; --n)
            text += pickOf(rng, pieces);
        log_.push_back("scrap [" + text + "]");
        SetTextScrap(text);
    }

    std::int16_t randomCommand(Rng& rng, LossWatch::Step& sent) {
        static const std::vector<std::int16_t> commands{
            kCmdCut,       kCmdCopy,   kCmdPaste,      kCmdDelete,        kCmdSelectAll,
            kCmdDuplicate, kCmdCreate, kCmdOpenEditor, kCmdRevertPackage, kCmdClose,
            kCmdPaste,     kCmdCreate, kCmdSave};
        static const std::vector<std::int16_t> listCommands{
            kCmdCut, kCmdCopy, kCmdPaste, kCmdDuplicate, kCmdDelete, kCmdRevertPackage, kCmdSave};
        WindowPtr front = FrontWindow();
        std::int16_t c = pickOf(rng, commands);
        // In the list window mostly what opens editors, Create or Open Editor, now and then a
        // command that copies, removes or writes packages, on a random selection.
        if (PackageFile* list = front ? listWindowFile(front) : nullptr; list && c != kCmdCreate) {
            c = chance(rng, 50) ? std::int16_t(kCmdOpenEditor) : pickOf(rng, listCommands);
            deselectAll(list);
            for (std::int32_t i = 0; i < list->packageCount; ++i)
                if (chance(rng, 40)) selectEntry(list, entryAt(list, i), i);
            sent.listCommand = c;
            watch_.noteSelection(list);
            if (chance(rng, 30)) ArmFileFault({FileCall::read, 1 + pick(rng, 2)});
        }
        if (const auto fields = fieldEditors();
            c == kCmdClose && !fields.empty() && chance(rng, 60))
            SelectWindow(front = pickOf(rng, fields)->window);
        // Close and Save come now and then from their key equivalents, which hold Control down;
        // otherwise from the menu, now and then with Control held on purpose.
        const bool byKey = front && (c == kCmdClose || c == kCmdSave) && chance(rng, 40);
        const bool control =
            byKey || ((c == kCmdClose || c == kCmdRevertPackage) && chance(rng, 20));
        if (c == kCmdClose && chance(rng, 20)) ArmMemoryFault(1 + pick(rng, 3));
        harness::SetControlKey(control);
        say("command ", c, byKey ? " by its key" : "", control ? " with Control" : "", " in ",
            front ? titleOf(front) : "no window");
        // A key equivalent with the frame made the active window first, as the window manager
        // does once a dialog is gone: the key equivalents of its menu bar work only there.
        if (byKey) QApplication::setActiveWindow(GetFrameWindow());
        if (byKey)
            harness::SendKey(front, c == kCmdClose ? Qt::Key_W : Qt::Key_S, Qt::ControlModifier);
        const bool ran = byKey || choose(c);
        if (!ran) log_.back() += " (disabled)";
        if (!ran) sent.listCommand = 0;
        harness::ResetKeys();
        // With the Control key held on purpose every validation question is answered Proceed
        // unasked; a key equivalent asks them all.
        for (const ShownDialog& d : ShownDialogs())
            EXPECT_FALSE(control && !byKey && d.templateId == 1006)
                << "asked although Control was held";
        sent.removes |= control && !byKey;
        sent.saved = c == kCmdSave;
        return ran ? c : 0;
    }

    void step(Rng& rng) {
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
        std::vector<PackageEditor*> listFocused;
        std::ranges::copy_if(open, std::back_inserter(listFocused),
                             [](PackageEditor* e) { return e->focus == EditorFocus::window; });
        const bool full = front && front->working.sectionCount == kMaxSections;
        PackageEntry* frontEntry = front ? front->entry : nullptr;

        // Input kinds by share of 100, each taken when it has something to act on, else the next;
        // without a package editor the list window's commands open one now and then.
        std::int16_t command = 0;
        LossWatch::Step sent;
        const std::tuple<int, bool, std::function<void()>> inputs[] = {
            {32, true, [&] { sent.removes = randomKey(rng); }},
            {55, target != nullptr, [&] { randomListClick(rng, target); }},
            {63, target != nullptr, [&] { randomHeaderClick(rng, target); }},
            {70, !fields.empty(), [&] { randomFieldEditorClick(rng, pickOf(rng, fields)); }},
            {76, true, [&] { randomScrap(rng); }},
            {80, true,
             [&] {
                 if (const auto all = windowRecords([](WindowPtr w) { return w; }); !all.empty()) {
                     WindowPtr w = pickOf(rng, all);
                     log_.push_back("bring to front " + titleOf(w));
                     SelectWindow(w);
                 }
             }},
            {85, firstPackageFile() != nullptr,
             [&] {
                 SelectWindow(listWindowOf(firstPackageFile()));
                 command = randomCommand(rng, sent);
             }},
            {100, true, [&] { command = randomCommand(rng, sent); }},
        };
        if (const int fault = pick(rng, 100); fault < 6)
            ArmMemoryFault(1 + pick(rng, 40));
        else if (fault < 10)
            ArmFileFault({fault < 8 ? FileCall::read : FileCall::write, 1 + pick(rng, 3)});
        watch_.before(open, fields);
        const int kind = open.empty() && chance(rng, 40) ? 99 : pick(rng, 100);
        for (const auto& [below, possible, act] : inputs)
            if (kind < below && possible) {
                act();
                break;
            }
        harness::ProcessUpdates();
        const bool faulted = MemoryFaultFired() || FileFaultFired();
        DisarmMemoryFault();
        DisarmFileFaults();
        if (faulted) say("  a fault fired");
        for (const ShownDialog& d : ShownDialogs()) {
            say("  asked ", d.templateId, ", answered with item ", d.endedWith);
            sent.removes |= d.templateId == 1006 && d.endedWith == 3;
        }
        sent.removes |= command == kCmdCut || command == kCmdDelete || command == kCmdRevertPackage;
        watch_.after(sent, editors(), fieldEditors());
        checkAll(faulted || sent.saved);

        // The focus leaving the list for the header takes the selection with it; only Create
        // selects its new row while the header has the focus.
        const std::vector<PackageEditor*> now = editors();
        for (PackageEditor* e : listFocused) {
            if (!contains(now, e) || e->focus != EditorFocus::header || command == kCmdCreate)
                continue;
            for (int k = 1; k <= e->working.sectionCount; ++k)
                EXPECT_EQ(sectionAt(e->working, k)->flags, 0u) << "section " << k;
            forEachNetItem(e->working, [](const NetItem* n) { EXPECT_EQ(n->flags, 0); });
        }

        // Revert Package gives a stored Package its stored state: no image in memory, not modified.
        for (PackageEntry* e = firstPackageFile()->packages; e; e = e->next)
            EXPECT_TRUE(command != kCmdRevertPackage || e != frontEntry || contains(now, front) ||
                        e->recordId == 0 || (!e->image && !(e->flags & kModified)))
                << "a reverted Package kept its image or stayed modified";

        // What Save writes is a sound package file. A save that failed may leave an index the
        // file no longer uses until the next compaction: the check waits for a run without one.
        writeFault_ |= faulted && command == kCmdSave;
        if (command == kCmdSave && !writeFault_) verifyClean(path, "after Save");

        // A 27th section is never added (checkEditor), silently: no sound, no alert but the note.
        if (full && !faulted &&
            (command == kCmdCreate || command == kCmdDuplicate ||
             (command == kCmdPaste && itemClipboardHolds() && front->activeList == 0))) {
            EXPECT_EQ(harness::BeepCount(), 0) << "a section past the 26th made a sound";
            EXPECT_LE(ShownNoteAlerts().size(), 1u) << "more than the too many windows note";
        }
    }

    // Each seed starts as in a program just started, so that it runs alone as in any company.
    void run(unsigned seed, int steps) {
        SetUp();
        Rng rng(seed);
        writeFault_ = false;
        when_ = 1000000;
        PackageFile* f = openLibrary();
        ASSERT_TRUE(f && openEditor(entryAt(f, pick(rng, 3))));
        harness::ProcessUpdates();
        for (int i = 0; i < steps && !HasFailure(); ++i) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(i));
            step(rng);
        }
        std::string last;
        for (std::size_t k = log_.size() > 12 ? log_.size() - 12 : 0; k < log_.size(); ++k)
            last += "\n  " + log_[k];
        EXPECT_FALSE(HasFailure()) << "the last steps:" << last;
        if (std::getenv("OK_PROPERTY_LOG"))
            for (const std::string& line : log_)
                std::printf("%s\n", line.c_str());
        log_.clear();
        TearDown();
    }

    template <class... T> void say(const T&... parts) {
        std::ostringstream os;
        (os << ... << parts);
        log_.push_back(os.str());
    }

    LossWatch watch_;
    bool writeFault_ = false; // a save failed in this run
    std::uint32_t when_ = 1000000;
    std::vector<std::string> log_; // what the last steps did, for the failure message
};

// Several seeds of a few hundred steps each. OK_PROPERTY_STEPS sets the steps, OK_PROPERTY_SEEDS
// adds seeds (a long run under the sanitizers), OK_PROPERTY_SEED runs one alone (to follow one).
TEST_F(EditorPropertyTest, RandomInputKeepsEveryPackageSound) {
    auto env = [](const char* name, int otherwise) {
        return std::getenv(name) ? std::atoi(std::getenv(name)) : otherwise;
    };
    const int steps = env("OK_PROPERTY_STEPS", 250);
    // Seed 1 finds at step 43 a row Create selected with the header focused drawn the wrong way,
    // at 240 a field editor renumbered by a deletion left open by its editor's close. The others
    // run to the step that showed a loss before it was mended: Ctrl+W with Control down deleting
    // unasked (1, 30); an invalid Class ID carried (3, 93); Save deleting a stored package it could
    // not write (3, 94); Class ID -3 read as 0 (34, 14); pins carried in part (7, 566); a move out
    // of memory (7, 1106); a keystroke lost out of memory (4, 674); a Cut deleting what it could
    // not read (45, 1048); a copy without the field editor's text (3, 1418); a net text over 255
    // bytes (52, 1455; AFullNetTakesNoMoreText pins it).
    const int first = std::max(steps, 241);
    std::vector<std::pair<unsigned, int>> runs{{1u, first}, {2u, steps}, {20261207u, steps},
                                               {3u, 1419},  {34u, 15},   {7u, 1107},
                                               {4u, 675},   {45u, 1049}, {52u, 1456}};
    for (int i = 0; i < env("OK_PROPERTY_SEEDS", 0); ++i) // that many more, from 100 on
        runs.push_back({100u + unsigned(i), steps});
    if (const int one = env("OK_PROPERTY_SEED", -1); one >= 0) // that seed alone
        runs = {{unsigned(one), steps}};
    for (const auto& [seed, length] : runs) {
        run(seed, length);
        if (HasFailure()) return;
    }
}

// A net whose text fills its 255 bytes takes no further character, here at the end of its name:
// the commit could keep the text only by cutting a pin short.
TEST_F(EditorPropertyTest, AFullNetTakesNoMoreText) {
    PackageFile* f = openLibrary();
    PackageEditor* e = f ? openEditor(entryAt(f, 2)) : nullptr;
    ASSERT_NE(e, nullptr);
    const std::string full = itemContents(e, -1);
    ASSERT_EQ(full.size(), kMaxNetText);
    FieldEditor* fe = openFieldEditor(e, -1);
    ASSERT_NE(fe, nullptr);
    TESetSelect(7, 7, fe->textEdit); // after "LONGNET"
    harness::SendKey(fe->window, Qt::Key_X, Qt::NoModifier, "X");
    EXPECT_EQ(fieldEditorContents(fe), full);
    ASSERT_EQ(closeFieldEditor(fe, Validation::ask), CloseResult::closed);
    EXPECT_EQ(itemContents(e, -1), full);
}

} // namespace
