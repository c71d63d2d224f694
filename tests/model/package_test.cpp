// The package record's net item validity. (Inserting, copying and deleting sections and nets is
// the item operations' test; building records, as the import and the expansion of an image do,
// with their field text, pin pairs and the limits of 26 sections and 255 bytes of net text, is
// the goldens'.)
#include "model/Package.h"

#include <gtest/gtest.h>

// A net item is valid with a name that is more than blanks and a pin.
TEST(PackageRecord, ANetItemIsValidWithANameAndAPin) {
    for (const auto& [text, valid] : {std::pair{"GND", false}, std::pair{"GND\t7\t14", true},
                                      std::pair{" \t 3", false}, std::pair{"", false}}) {
        NetItem* net = newNetItem(std::string_view(text));
        EXPECT_EQ(netItemIsValid(net), valid) << text;
        disposeNetItem(net);
    }
}
