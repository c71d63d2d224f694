// The item operations on a small Package worked out by hand, then again with every allocation
// failing in turn: each failure must leave every record as it was, byte for byte and mark for
// mark.
#include "model/ItemOps.h"
#include "tests/support/Images.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace test_support;

namespace {

// Sections with Class IDs 1 (pins 1 -> 2), 2 (marked selected) and 3 (pins 5 -> 6); nets GND
// (marked selected) and VCC. The clipboard holds the nets OLD and NEW; the full package 25
// sections of Class ID 9.
struct Records {
    PackageRecord hand = buildPackage({{"P", "U", "DIP"},
                                       {{1, {{"1", "2"}}}, {2, {}}, {3, {{"5", "6"}}}},
                                       {"GND\t1", "VCC\t2\t3"}});
    PackageRecord clip = buildPackage({{}, {}, {"OLD\t9", "NEW\t8"}});
    PackageRecord full = buildPackage({{}, std::vector<SectionContents>(25, {9, {}}), {}});
    int n = 0;                // how many were appended, or the number of the item created
    std::vector<int> numbers; // the new numbers of the items

    Records() {
        sectionAt(hand, 2)->flags = kSectionSelected;
        hand.hiddenConnections->flags = kNetItemSelected;
    }
};

// "1(1 2) 2* 3(5 6) | [GND 1]* [VCC 2 3]": Class IDs with their pin pairs, the nets' texts, '*'
// for a selection mark.
std::string items(const PackageRecord& r) {
    auto spaced = [](std::string_view text) {
        std::string s(text);
        std::ranges::replace(s, '\t', ' ');
        return s;
    };
    std::string s;
    for (int k = 1; k <= r.sectionCount; ++k) {
        const ComponentSection* c = sectionAt(r, k);
        s += (k > 1 ? " " : "") + std::to_string(c->classId);
        if (c->pinChanges)
            s += "(" + spaced({c->pinChanges->data, std::size_t(c->pinChanges->size)}) + ")";
        if (c->flags) s += "*";
    }
    s += s.empty() ? "|" : " |";
    forEachNetItem(r, [&](const NetItem* n) {
        s += " [" + spaced(netItemText(n)) + "]" + (n->flags ? "*" : "");
    });
    return s;
}

std::string nines(int count) {
    std::string s = "9";
    for (int i = 1; i < count; ++i)
        s += " 9";
    return s;
}

struct Case {
    const char* what;
    PackageRecord Records::*target;
    std::function<OSErr(Records&)> run;
    OSErr err;
    std::string shown; // the target's items / the clipboard's items / the numbers returned
};

template <class... K> std::vector<int> nums(K... k) {
    return {k...};
}

const std::string kHand = "1(1 2) 2* 3(5 6) | [GND 1]* [VCC 2 3]";
const std::string kNets = " | [GND 1]* [VCC 2 3]";
const std::string kClip = " / | [OLD 9] [NEW 8] /";

const Case kCases[] = {
    {"copy sections in the order given, without their marks", &Records::hand,
     [](Records& l) { return copyItems(l.hand, kSectionList, nums(3, 2), &l.clip); }, noErr,
     kHand + " / 3(5 6) 2 | /"},
    {"copy nets", &Records::hand,
     [](Records& l) { return copyItems(l.hand, kNetList, nums(2, 1), &l.clip); }, noErr,
     kHand + " / | [VCC 2 3] [GND 1] /"},
    {"append a package's sections to itself", &Records::hand,
     [](Records& l) { return appendItems(l.hand, kSectionList, l.hand, &l.n); }, noErr,
     "1(1 2) 2* 3(5 6) 1(1 2) 2 3(5 6)" + kNets + kClip + " 3"},
    {"append nets", &Records::hand,
     [](Records& l) { return appendItems(l.hand, kNetList, l.clip, &l.n); }, noErr,
     kHand + " [OLD 9] [NEW 8]" + kClip + " 2"},
    {"append up to the 26th section", &Records::full,
     [](Records& l) { return appendItems(l.full, kSectionList, l.hand, &l.n); }, noErr,
     nines(25) + " 1(1 2) |" + kClip + " 1"},
    {"delete sections, the new numbers of the rest", &Records::hand,
     [](Records& l) { return deleteItems(l.hand, kSectionList, nums(3, 1), &l.numbers); }, noErr,
     "2*" + kNets + kClip + " 0 1 0"},
    {"delete a net", &Records::hand,
     [](Records& l) { return deleteItems(l.hand, kNetList, nums(1), &l.numbers); }, noErr,
     "1(1 2) 2* 3(5 6) | [VCC 2 3]" + kClip + " 0 1"},
    {"delete refused: no section 4", &Records::hand,
     [](Records& l) { return deleteItems(l.hand, kSectionList, nums(2, 4), &l.numbers); }, paramErr,
     kHand + kClip},
    {"create a net", &Records::hand, [](Records& l) { return createItem(l.hand, kNetList, &l.n); },
     noErr, kHand + " []" + kClip + " 3"},
    {"create the 26th section, then none", &Records::full,
     [](Records& l) {
         int none = -1;
         OSErr err = createItem(l.full, kSectionList, &l.n);
         if (!err) err = createItem(l.full, kSectionList, &none);
         l.numbers = {none};
         return err;
     },
     noErr, nines(25) + " 0 |" + kClip + " 26 0"},
    {"move a section down", &Records::hand,
     [](Records& l) { return moveSection(l.hand, 1, 3, &l.numbers); }, noErr,
     "2* 3(5 6) 1(1 2)" + kNets + kClip + " 3 1 2"},
    {"move a section up", &Records::hand,
     [](Records& l) { return moveSection(l.hand, 3, 1, &l.numbers); }, noErr,
     "3(5 6) 1(1 2) 2*" + kNets + kClip + " 2 3 1"},
    {"move a section to the end", &Records::hand,
     [](Records& l) { return moveSection(l.hand, 2, 0, &l.numbers); }, noErr,
     "1(1 2) 3(5 6) 2*" + kNets + kClip + " 1 3 2"},
};

std::string shown(const Case& c, Records& l) {
    std::string s = items(l.*c.target) + " / " + items(l.clip) + " /";
    if (l.n) s += " " + std::to_string(l.n);
    for (int k : l.numbers)
        s += " " + std::to_string(k);
    return s;
}

// Every record's items and image.
std::string snapshot(Records& l) {
    std::string s;
    for (const PackageRecord* r : {&l.hand, &l.clip, &l.full}) {
        std::vector<unsigned char> bytes;
        EXPECT_EQ(flattenPackage(*r, &bytes), noErr);
        s += items(*r) + std::string(bytes.begin(), bytes.end());
    }
    return s;
}

} // namespace

TEST(ItemOps, EachOperationThenWithEveryAllocationFailingInTurn) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        {
            Records l;
            EXPECT_EQ(c.run(l), c.err);
            EXPECT_EQ(shown(c, l), c.shown);
        }
        for (long nth = 1;; ++nth) {
            Records l;
            const std::string before = snapshot(l);
            ArmMemoryFault(nth);
            const OSErr err = c.run(l);
            const bool fired = MemoryFaultFired();
            DisarmMemoryFault();
            if (!fired) break;
            EXPECT_EQ(err, memFullErr) << "allocation " << nth;
            EXPECT_EQ(snapshot(l), before) << "allocation " << nth;
        }
    }
}
