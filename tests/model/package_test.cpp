// The package record's pin pairs, field text and net item validity. (Inserting, copying and
// deleting sections and nets is the item operations' test; building records at the end, as the
// import and the expansion of an image do, and the limits of 26 sections and 255 bytes of net
// text are the goldens'.)
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

// A net item is valid with a name that is more than blanks and a pin.
TEST(PackageRecord, NetItems) {
    NetItem* net = newNetItem(Str255("GND"));
    EXPECT_FALSE(netItemIsValid(net)); // no pin numbers yet
    appendNetItemField(net, "7");
    appendNetItemField(net, "14");
    EXPECT_EQ(netItemText(net), "GND\t7\t14");
    EXPECT_TRUE(netItemIsValid(net));
    setNetItemText(net, " \t 3");
    EXPECT_FALSE(netItemIsValid(net));

    disposeNetItem(net);
}
