#include "support/guard_page.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>

namespace {

using ovcg_test::GuardedBytes;

uint8_t ReadByte(const uint8_t* p) { return *static_cast<const volatile uint8_t*>(p); }

TEST(GuardedBytes, WholeRangeIsZeroedAndWritable) {
    const long page = sysconf(_SC_PAGESIZE);
    for (size_t n : {size_t{0}, size_t{1}, size_t{7}, size_t(page - 1), size_t(page), size_t(page + 3)}) {
        for (auto guard : {GuardedBytes::Guard::After, GuardedBytes::Guard::Before}) {
            GuardedBytes b(n, guard);
            ASSERT_EQ(b.size(), n);
            ASSERT_NE(b.data(), nullptr);
            for (size_t i = 0; i < n; ++i) ASSERT_EQ(b.data()[i], 0);
            for (size_t i = 0; i < n; ++i) b.data()[i] = static_cast<uint8_t>(i);
            for (size_t i = 0; i < n; ++i) ASSERT_EQ(b.data()[i], static_cast<uint8_t>(i));
            const auto edge = reinterpret_cast<uintptr_t>(guard == GuardedBytes::Guard::After
                                                              ? b.end()
                                                              : b.begin());
            EXPECT_EQ(edge % static_cast<uintptr_t>(page), 0u);
        }
    }
}

TEST(GuardedBytes, MoveTransfersTheMapping) {
    GuardedBytes a = GuardedBytes::EndingAtGuard(10);
    a.data()[9] = 42;
    GuardedBytes b(std::move(a));
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(b.data()[9], 42);
    GuardedBytes c = GuardedBytes::StartingAfterGuard(3);
    c = std::move(b);
    EXPECT_EQ(c.size(), 10u);
    EXPECT_EQ(c.data()[9], 42);
}

TEST(GuardedBytes, AssignCopiesAtMostTheSize) {
    GuardedBytes b = GuardedBytes::EndingAtGuard(4);
    const uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    b.assign(src, sizeof src);
    EXPECT_EQ(b.data()[3], 4);
}

TEST(GuardedBytesDeathTest, ReadingTheGuardFaults) {
    GuardedBytes after = GuardedBytes::EndingAtGuard(24), before = GuardedBytes::StartingAfterGuard(24);
    EXPECT_EQ(ReadByte(after.data() + 23), 0);
    EXPECT_EQ(ReadByte(before.data()), 0);
    EXPECT_DEATH(ReadByte(after.end()), "");
    EXPECT_DEATH(ReadByte(before.data() - 1), "");
}

}  // namespace
