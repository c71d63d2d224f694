// The loss invariant of the editor's random-input test. Before a step the watch notes every
// package, the sections and nets of every package editor and the texts its field editors hold;
// after it each must still be there, as last committed or stored, unless the step sent what
// removes things: Delete, Cut, Revert, or Proceed (answered, or Control held on a mouse close).
#pragma once
#include "listwin/PackageClipboard.h"
#include "tests/support/EditorTexts.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace test_support {

class LossWatch {
public:
    struct Step {
        bool removes = false;         // Delete, Cut or Revert of packages or items, or a Proceed
        bool saved = false;           // Save ran
        std::int16_t listCommand = 0; // a command of the list window (of the one file) that ran
    };

    void before(const std::vector<PackageEditor*>& editors,
                const std::vector<FieldEditor*>& fields) {
        *this = LossWatch();
        for (PackageEntry* e : chain(firstPackageFile()->packages)) // the run's one file
            entries_.push_back({e, e->recordId != 0, std::string(displayNameView(e))});
        for (PackageEditor* e : editors)
            notes_.push_back(note(e, fields));
    }
    // The list window's selection just before its command runs, each as its windows show it.
    void noteSelection(PackageFile* f) {
        listCount_ = f->packageCount;
        for (PackageEntry* e : chain(f->packages))
            if (auto n = std::ranges::find(notes_, e, &Note::entry); e->flags & kSelected)
                selected_.push_back(n != notes_.end() ? n->shown : formOfImage(e->image));
    }

    void after(const Step& step, const std::vector<PackageEditor*>& editors,
               const std::vector<FieldEditor*>& fields) {
        const std::vector<PackageEntry*> listed = chain(firstPackageFile()->packages);
        int gone = 0;
        for (const auto& [entry, stored, name] : entries_) {
            if (std::ranges::count(listed, entry)) {
                EXPECT_TRUE(!step.saved || !stored || entry->recordId)
                    << "Save dropped the stored " << name;
                continue;
            }
            ++gone;
            EXPECT_TRUE(step.removes) << "package " << name << " vanished unasked";
            // A stored package's record stays in the file until the next Save.
            EXPECT_TRUE(!stored || step.saved ||
                        std::ranges::count(chain(firstPackageFile()->discards), entry))
                << name << " not discarded";
        }
        checkCopies(step, gone);
        if (step.removes) return;
        // Each item is still there; one whose field editor was committed, as that showed it.
        for (const Note& n : notes_) {
            std::vector<std::string> want(n.committed.begin() + 6, n.committed.end());
            for (const auto& [fe, old, now] : n.pending) {
                if ((std::ranges::count(fields, fe) && fe->changed) || !formValid(now)) continue;
                if (auto it = std::ranges::find(want, old); it != want.end()) want.erase(it);
                want.push_back(now);
            }
            std::optional<Form> now;
            if (std::ranges::count(editors, n.editor)) {
                now = formOf(n.editor->working);
            } else if (std::ranges::count(listed, n.entry) && (now = formOfImage(n.entry->image))) {
                // Closed: the entry holds it all, the header's last edits too.
                EXPECT_EQ(Form(now->begin(), now->begin() + 6),
                          Form(n.shown.begin(), n.shown.begin() + 6));
            }
            if (!now) continue;
            for (auto have = now->begin() + 6; have != now->end(); ++have)
                if (auto it = std::ranges::find(want, *have); it != want.end()) want.erase(it);
            for (const std::string& item : want)
                ADD_FAILURE() << "in " << n.name << ", lost: " << item;
        }
    }

private:
    using Entry = std::tuple<PackageEntry*, bool, std::string>; // the entry, stored, its name
    // A changed field editor: its item's committed form, and the form the window would commit.
    using Pending = std::tuple<FieldEditor*, std::string, std::string>;
    struct Note {
        PackageEditor* editor;
        PackageEntry* entry;
        std::string name;
        Form committed, shown; // shown: the header's texts and each item as its window shows it
        std::vector<Pending> pending;
    };

    static Note note(PackageEditor* e, const std::vector<FieldEditor*>& fields) {
        Note n{e, e->entry, std::string(displayNameView(e->entry)), formOf(e->working), {}, {}};
        for (int item : {2, 4, 7, 10, 13, 15}) {
            const std::string t = trim(getItemText(e->headerForm, item).str());
            n.shown.push_back(item == 4 || item == 7 ? upper(t) : t);
        }
        // Sections 1, 2, ... then nets -1, -2, ..., in the order of the package's form.
        for (int i = 1, nets = countNetItems(e->working); i <= e->working.sectionCount + nets;
             ++i) {
            const int k = i <= e->working.sectionCount ? i : e->working.sectionCount - i;
            const std::string kind = k > 0 ? "S " : "N ";
            std::string item = kind + itemContents(e, k);
            for (FieldEditor* fe : fields)
                if (fe->owner == e && fe->index == k && fe->changed) {
                    const std::string now = kind + fieldEditorContents(fe);
                    n.pending.emplace_back(fe, item, now);
                    if (formValid(now)) item = now;
                }
            if (formValid(item)) n.shown.push_back(item);
        }
        return n;
    }

    static std::vector<PackageEntry*> chain(PackageEntry* first) {
        std::vector<PackageEntry*> out;
        for (PackageEntry* e = first; e; e = e->next)
            out.push_back(e);
        return out;
    }

    // A Cut removes what it put on the clipboard and nothing else; Cut, Copy and Duplicate copy
    // each package as its windows show it, Duplicate at the end of the list.
    void checkCopies(const Step& step, int gone) {
        std::vector<PackageEntry*> copies;
        if (step.listCommand == kCmdCut || step.listCommand == kCmdCopy) {
            copies = chain(packageClipboard() ? packageClipboard()->packages : nullptr);
            EXPECT_TRUE(step.listCommand != kCmdCut || gone == int(copies.size()))
                << "Cut removed " << gone << " packages, copied " << copies.size();
        } else if (step.listCommand == kCmdDuplicate) {
            const std::vector<PackageEntry*> all = chain(firstPackageFile()->packages);
            copies.assign(all.begin() + std::min<std::size_t>(listCount_, all.size()), all.end());
        }
        if (copies.size() != selected_.size()) return; // a copy failed: which one is unknown
        for (std::size_t i = 0; i < copies.size(); ++i) {
            std::optional<Form> copy = formOfImage(copies[i]->image);
            if (!copy || !selected_[i]) continue;
            if (step.listCommand == kCmdDuplicate) (*copy)[0] = (*selected_[i])[0];
            EXPECT_EQ(*copy, *selected_[i]) << "a copy differs from what the windows show";
        }
    }

    std::vector<Entry> entries_;
    std::vector<Note> notes_;
    std::vector<std::optional<Form>> selected_;
    std::int32_t listCount_ = 0;
};

} // namespace test_support
