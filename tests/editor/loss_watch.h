// The loss invariant of the editor's random-input test. Before a step the watch notes every
// package of the open files, the sections and nets of every package editor and the texts its
// field editors hold; after the step each of them must still be there, in its last committed or
// stored form, unless the step itself sent what removes things: a Delete, a Cut, a Revert, or a
// Proceed (a question answered so, or Control held while a close was chosen with the mouse).
#pragma once
#include "listwin/PackageClipboard.h"
#include "tests/support/EditorTexts.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace test_support {

class LossWatch {
public:
    // What the step sent, as far as the loss of things goes.
    struct Step {
        bool removes = false;         // Delete, Cut or Revert of packages or items, or a Proceed
        bool saved = false;           // Save ran
        std::int16_t listCommand = 0; // a command of the list window (of the one file) that ran
    };

    void before(const std::vector<PackageEditor*>& editors,
                const std::vector<FieldEditor*>& fields) {
        *this = LossWatch();
        for (PackageEntry* e = firstPackageFile()->packages; e; e = e->next) // the run's one file
            entries_.push_back({e, e->recordId != 0, std::string(displayNameView(e))});
        for (PackageEditor* e : editors)
            notes_.push_back(note(e, fields));
    }
    // The list window's selection just before its command runs, each as its windows show it.
    void noteSelection(PackageFile* f) {
        listCount_ = f->packageCount;
        for (PackageEntry* e = f->packages; e; e = e->next) {
            if (!(e->flags & kSelected)) continue;
            auto n = std::ranges::find(notes_, e, &Note::entry);
            selected_.push_back(n != notes_.end() ? n->shown : formOfImage(e->image));
        }
    }

    void after(const Step& step, const std::vector<PackageEditor*>& editors,
               const std::vector<FieldEditor*>& fields) {
        std::set<PackageEntry*> listed;
        for (PackageEntry* e = firstPackageFile()->packages; e; e = e->next)
            listed.insert(e);
        int gone = 0;
        for (const Entry& b : entries_) {
            if (listed.contains(b.entry)) {
                EXPECT_TRUE(!step.saved || !b.stored || b.entry->recordId)
                    << "Save dropped the stored " << b.name;
                continue;
            }
            ++gone;
            EXPECT_TRUE(step.removes) << "package " << b.name << " vanished unasked";
            bool discarded = !b.stored || step.saved; // else its record goes at the next Save
            for (PackageEntry* d = firstPackageFile()->discards; d; d = d->next)
                discarded |= d == b.entry;
            EXPECT_TRUE(discarded) << b.name << " not discarded";
        }
        checkCopies(step, gone);
        if (step.removes) return;
        // Each item is still there; one whose field editor was committed, as that showed it.
        for (const Note& n : notes_) {
            std::vector<std::string> want(n.committed.begin() + 6, n.committed.end()), lost;
            for (const auto& [fe, old, now] : n.pending) {
                if ((std::ranges::count(fields, fe) && fe->changed) || !formValid(now)) continue;
                if (auto it = std::ranges::find(want, old); it != want.end()) want.erase(it);
                want.push_back(now);
            }
            std::optional<Form> now;
            if (std::ranges::count(editors, n.editor)) {
                now = formOf(n.editor->working);
            } else if (listed.contains(n.entry) && (now = formOfImage(n.entry->image))) {
                // Closed: the entry holds it all, the header's last edits too.
                EXPECT_EQ(Form(now->begin(), now->begin() + 6),
                          Form(n.shown.begin(), n.shown.begin() + 6));
            }
            if (!now) continue;
            std::vector<std::string> have(now->begin() + 6, now->end());
            std::ranges::sort(want);
            std::ranges::sort(have);
            std::ranges::set_difference(want, have, std::back_inserter(lost));
            for (const std::string& item : lost)
                ADD_FAILURE() << "in " << n.name << ", lost: " << item;
        }
    }

private:
    struct Entry {
        PackageEntry* entry;
        bool stored;
        std::string name;
    };
    // A changed field editor: its item's committed form, and the form the window would commit.
    struct Pending {
        FieldEditor* fe;
        std::string old, now;
    };
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
        auto visit = [&](int k) {
            std::string item = (k > 0 ? "S " : "N ") + itemContents(e, k);
            for (FieldEditor* fe : fields)
                if (fe->owner == e && fe->index == k && fe->changed) {
                    n.pending.push_back(
                        {fe, item, (k > 0 ? "S " : "N ") + fieldEditorContents(fe)});
                    if (formValid(n.pending.back().now)) item = n.pending.back().now;
                }
            if (formValid(item)) n.shown.push_back(item);
        };
        for (int k = 1; k <= e->working.sectionCount; ++k)
            visit(k);
        for (int k = 1, nets = countNetItems(e->working); k <= nets; ++k)
            visit(-k);
        return n;
    }

    // A Cut removes what it put on the clipboard and nothing else; Cut, Copy and Duplicate copy
    // each package as its windows show it.
    void checkCopies(const Step& step, int gone) {
        std::vector<PackageEntry*> copies;
        if (step.listCommand == kCmdCut || step.listCommand == kCmdCopy) {
            for (PackageEntry* c = packageClipboard() ? packageClipboard()->packages : nullptr; c;
                 c = c->next)
                copies.push_back(c);
            EXPECT_TRUE(step.listCommand != kCmdCut || gone == int(copies.size()))
                << "Cut removed " << gone << " packages, copied " << copies.size();
        } else if (step.listCommand == kCmdDuplicate) {
            for (std::int32_t i = listCount_; i < firstPackageFile()->packageCount; ++i)
                copies.push_back(entryAt(firstPackageFile(), i));
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
