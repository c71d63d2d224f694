#include "toolbox/core/Failure.h"

#include <functional>
#include <gtest/gtest.h>
#include <new>

namespace {
struct Marker {
    int* count;
    ~Marker() { ++*count; }
};
} // namespace

TEST(Failure, NestedScopesUnwindAndRunDestructors) {
    int destroyed = 0;
    bool afterInner = false, afterRaise = false;
    OSErr outer = CatchFailures([&] {
        Marker outerMarker{&destroyed};
        OSErr inner = CatchFailures([&] {
            Marker m{&destroyed};
            FailOSErr(noErr); // zero raises nothing
            FailOSErr(eofErr);
            afterRaise = true;
        });
        EXPECT_EQ(inner, eofErr);
        EXPECT_EQ(destroyed, 1);
        afterInner = true;
        FailOSErr(permErr);
    });
    EXPECT_EQ(outer, permErr);
    EXPECT_TRUE(afterInner);
    EXPECT_FALSE(afterRaise);
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(failure_detail::depth(), 0);
    EXPECT_EQ(CatchFailures([] {}), noErr);
    EXPECT_EQ(CatchFailures([] { throw std::bad_alloc(); }), memFullErr);
    EXPECT_EQ(CatchFailures([] { FailNIL(nullptr); }), memFullErr);
}

TEST(Failure, SixteenFramesAtMost) {
    int deepest = 0;
    bool ranSeventeenth = false;
    OSErr seventeenth = noErr; // what the seventeenth frame was refused with
    std::function<OSErr(int)> nest = [&](int level) -> OSErr {
        return CatchFailures([&] {
            deepest = level;
            if (level == 16) {
                seventeenth = CatchFailures([&] { ranSeventeenth = true; });
                FailOSErr(dskFulErr);
            }
            FailOSErr(nest(level + 1));
        });
    };
    EXPECT_EQ(nest(1), dskFulErr);
    EXPECT_EQ(deepest, 16);
    EXPECT_EQ(seventeenth, memFullErr);
    EXPECT_FALSE(ranSeventeenth);
    EXPECT_EQ(failure_detail::depth(), 0);
}
