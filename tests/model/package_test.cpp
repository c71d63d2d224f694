// The package record as the editor changes it: sections, pin pairs, net items and field text.
// (Building records at the end, as the import and the expansion of an image do, and the limits
// of 26 sections and 255 bytes of net text are the goldens'.)
#include "model/Package.h"

#include "toolbox/core/FieldText.h"

#include <gtest/gtest.h>
#include <string>

namespace {

ComponentSection section(std::int32_t classId, std::string_view pins = {}) {
    ComponentSection s;
    s.classId = classId;
    if (!pins.empty()) s.pinChanges = PtrToHand(pins.data(), Size(pins.size()));
    return s;
}

std::string text(Handle h) {
    return h ? std::string(h->data, std::size_t(h->size)) : "";
}

} // namespace

// Insertions out of range go at the end; a lasting copy of a section owns its pin changes, a
// plain one shares them; the last section deleted takes the table with it.
TEST(PackageRecord, SectionsInsertCopyAndDelete) {
    PackageRecord r;
    ASSERT_EQ(addSection(r, 1, section(2)), noErr);
    ASSERT_EQ(addSection(r, 99, section(3)), noErr);
    ASSERT_EQ(addSection(r, 1, section(1, "1\t2")), noErr);
    ASSERT_EQ(r.sectionCount, 3);
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(sectionAt(r, k)->classId, k);

    ComponentSection copy;
    ASSERT_EQ(getSection(r, 1, &copy, SectionCopy::lasting), noErr);
    EXPECT_NE(copy.pinChanges, sectionAt(r, 1)->pinChanges);
    EXPECT_EQ(text(copy.pinChanges), "1\t2");
    DisposeHandle(copy.pinChanges);
    ASSERT_EQ(getSection(r, 1, &copy, SectionCopy::shared), noErr);
    EXPECT_EQ(copy.pinChanges, sectionAt(r, 1)->pinChanges);
    EXPECT_EQ(getSection(r, 0, &copy, SectionCopy::shared), paramErr);

    EXPECT_EQ(deleteSection(r, 2), noErr);
    EXPECT_EQ(sectionAt(r, 2)->classId, 3);
    EXPECT_EQ(deleteSection(r, 3), paramErr);
    deleteSection(r, 1);
    deleteSection(r, 1);
    EXPECT_EQ(r.sectionCount, 0);
    EXPECT_EQ(r.sectionTable, nullptr);
}

TEST(PackageRecord, PinPairsAndFieldText) {
    PackageRecord r;
    addSection(r, 0, section(7));
    ASSERT_EQ(appendPinPair(r, 1, "1", "A1"), noErr);
    ASSERT_EQ(appendPinPair(r, 1, "2", "B2"), noErr);
    EXPECT_EQ(text(sectionAt(r, 1)->pinChanges), "1\tA1\t2\tB2");
    EXPECT_EQ(sectionAt(r, 1)->pinChangeCount, 2);
    EXPECT_EQ(appendPinPair(r, 2, "1", "2"), paramErr);
    ASSERT_EQ(setPackageField(r, kFieldShape, "DIP"), noErr);
    EXPECT_EQ(text(r.fieldText), "\t\tDIP");
}

// A net item is valid with a name that is more than blanks and a pin; insertions out of range go
// at the end.
TEST(PackageRecord, NetItems) {
    NetItem* net = newNetItem(Str255("GND"));
    EXPECT_FALSE(netItemIsValid(net)); // no pin numbers yet
    appendNetItemField(net, "7");
    appendNetItemField(net, "14");
    EXPECT_EQ(netItemText(net), "GND\t7\t14");
    EXPECT_TRUE(netItemIsValid(net));
    setNetItemText(net, " \t 3");
    EXPECT_FALSE(netItemIsValid(net));

    PackageRecord r;
    for (const char* name : {"A", "B", "C"})
        insertNetItem(r, 0, newNetItem(std::string_view(name)));
    insertNetItem(r, 2, net); // A, net, B, C
    EXPECT_EQ(findNetItem(r, 2), net);
    NetItem* c = unlinkNetItem(r, 4);
    EXPECT_EQ(netItemText(c), "C");
    EXPECT_EQ(c->next, nullptr);
    insertNetItem(r, 1, c);
    EXPECT_EQ(findNetItem(r, 1), c);
    EXPECT_EQ(unlinkNetItem(r, 9), nullptr);
    EXPECT_EQ(countNetItems(r), 4);
}
