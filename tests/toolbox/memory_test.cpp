#include "toolbox/core/Failure.h"
#include "toolbox/core/Memory.h"

#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <new>
#include <set>
#include <string>

namespace {
std::string text(Handle h) {
    return std::string(h->data, static_cast<std::size_t>(h->size));
}
UniqueHandle make(const std::string& s) {
    return UniqueHandle(PtrToHand(s.data(), static_cast<Size>(s.size())));
}
struct Marker {
    int* count;
    ~Marker() { ++*count; }
};
} // namespace

TEST(Memory, HandleSizingKeepsContentAndRespectsLocks) {
    UniqueHandle h(NewHandle(0));
    ASSERT_EQ(SetHandleSize(h.get(), 5), noErr);
    BlockMove("abcde", h.data(), 5);
    ASSERT_EQ(SetHandleSize(h.get(), 100000), noErr);
    EXPECT_EQ(std::string(h.data(), 5), "abcde");
    ASSERT_EQ(SetHandleSize(h.get(), 3), noErr);
    EXPECT_EQ(text(h.get()), "abc");

    UniqueHandle copy(HandToHand(h.get()));
    ASSERT_TRUE(copy);
    EXPECT_NE(copy.data(), h.data());

    // While locked the data never moves: growing past what is allocated fails instead.
    HLockGuard lock(copy.get());
    char* where = lock.data();
    EXPECT_EQ(SetHandleSize(copy.get(), 1 << 20), memFullErr);
    EXPECT_EQ(copy.data(), where);
    EXPECT_EQ(text(copy.get()), "abc");

    UniqueHandle zeros(NewHandleClear(64));
    EXPECT_EQ(std::string(zeros.data(), 64), std::string(64, '\0'));
    EXPECT_EQ(NewHandle(-1), nullptr);
}

// Bytes inserted (at -1: at the end) and deleted (past the end: to the end) as the program
// edits field texts and pin changes.
TEST(Memory, InsertAndDeleteBytes) {
    UniqueHandle h = make("3 2x");
    ASSERT_EQ(InsertBytes(h.get(), -1, "yz", 2), noErr);
    ASSERT_EQ(InsertBytes(h.get(), 0, "[", 1), noErr);
    EXPECT_EQ(text(h.get()), "[3 2xyz");
    ASSERT_EQ(DeleteBytes(h.get(), 1, 3), noErr);
    EXPECT_EQ(text(h.get()), "[xyz");
    ASSERT_EQ(DeleteBytes(h.get(), 2, 100), noErr);
    EXPECT_EQ(text(h.get()), "[x");
    EXPECT_EQ(InsertBytes(h.get(), 5, "q", 1), paramErr);

    // Bytes taken from the handle itself survive the block moving while it grows.
    UniqueHandle self = make("abc");
    for (int i = 0; i < 12; ++i) {
        std::string before = text(self.get());
        ASSERT_EQ(InsertBytes(self.get(), 0, self.data(), self.size()), noErr);
        EXPECT_EQ(text(self.get()), before + before);
    }
}

TEST(Memory, FixedPoolHandsOutZeroedDistinctBlocks) {
    // Enough blocks to fill several mappings: none may overlap another, each comes zeroed.
    FixedPool pool(24, 8);
    std::set<char*> blocks;
    for (int i = 0; i < 3000; ++i) {
        auto* p = static_cast<unsigned char*>(pool.take());
        ASSERT_NE(p, nullptr);
        for (int k = 0; k < 24; ++k)
            ASSERT_EQ(p[k], 0);
        BlockFill(p, 24, 0xAB);
        EXPECT_TRUE(blocks.insert(reinterpret_cast<char*>(p)).second);
    }
    for (auto it = blocks.begin(); std::next(it) != blocks.end(); ++it)
        ASSERT_GE(*std::next(it) - *it, 24);
    EXPECT_EQ(pool.inUse(), 3000u);
    // Each mapping is at least as large as those before it together.
    EXPECT_LT(pool.capacity(), 2 * 3000u + 200);

    // Given blocks come back first, last given first, zeroed again.
    char* back = *blocks.begin();
    char* other = *std::next(blocks.begin(), 1500);
    pool.give(other);
    pool.give(back);
    pool.give(nullptr);
    EXPECT_EQ(pool.inUse(), 2998u);
    auto* again = static_cast<char*>(pool.take());
    EXPECT_EQ(again, back);
    EXPECT_EQ(again[0], 0);
    EXPECT_EQ(pool.take(), other);
}

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
