#include "hxr/control/hxr_memory.h"
#include "support/hxr_fixture.h"

#include <atomic>
#include <random>
#include <set>
#include <thread>
#include <vector>

namespace {

using MemoryManager = HxrTest;

TEST_F(MemoryManager, CreateNeedsBothFunctionsAndHostFailureGivesNull) {
    EXPECT_EQ(HXRCreateMemMgr(nullptr, svc.table()->Free), nullptr);
    EXPECT_EQ(HXRCreateMemMgr(svc.table()->Alloc, nullptr), nullptr);
    EXPECT_EQ(HXRAllocMem(nullptr, 8), nullptr);
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateMemMgr(svc.table()->Alloc, svc.table()->Free), nullptr);
    EXPECT_EQ(HXRAllocMem(mm, 8), nullptr);
    EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
}

TEST_F(MemoryManager, BlocksAreZeroedAndSized) {
    EXPECT_EQ(HXRGetAllMemSize(mm), 24u);
    const size_t before = svc.live_bytes();
    auto* p = static_cast<uint8_t*>(HXRAllocMem(mm, 100));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(p[i], 0);
    EXPECT_EQ(HXRGetMemSize(mm, p), 100u);
    EXPECT_EQ(HXRGetMemSize(mm, p + 1), 0u);
    EXPECT_EQ(HXRGetMemSize(nullptr, p), 0u);
    // The host sees the caller's bytes plus the 32-byte header; the total
    // counts the 24-byte record and every header too.
    EXPECT_EQ(svc.live_bytes() - before, 132u);
    EXPECT_EQ(HXRGetAllMemSize(mm), 156u);
    void* b = HXRAllocMem(mm, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(HXRGetAllMemSize(mm), 188u);
    EXPECT_EQ(HXRFreeMem(mm, p), 0u);
    EXPECT_EQ(HXRGetAllMemSize(mm), 56u);
    EXPECT_EQ(HXRGetAllMemSize(nullptr), 0u);
}

TEST_F(MemoryManager, FreeErrors) {
    EXPECT_EQ(HXRFreeMem(mm, nullptr), 0u);
    EXPECT_EQ(HXRFreeMem(nullptr, nullptr), kHxrMemNoManager);
    expect_error(kHxrMemNoManager);

    HXRMemMgr* other = HXRCreateMemMgr(svc.table()->Alloc, svc.table()->Free);
    ASSERT_NE(other, nullptr);
    void* foreign = HXRAllocMem(other, 16);
    void* mine = HXRAllocMem(mm, 16);
    const size_t live = svc.live_blocks();
    EXPECT_EQ(HXRFreeMem(mm, foreign), kHxrMemNotFound);
    EXPECT_EQ(error(), kHxrMemNotFound);
    EXPECT_EQ(svc.live_blocks(), live);  // nothing freed
    EXPECT_EQ(HXRGetMemSize(other, foreign), 16u);
    EXPECT_EQ(HXRFreeMem(mm, mine), 0u);
    EXPECT_EQ(HXRFreeMem(mm, mine), kHxrMemNotFound);  // twice
    EXPECT_EQ(HXRDeleteMemMgr(other), 0u);
    EXPECT_EQ(HXRDeleteMemMgr(nullptr), kHxrMemNoManager);
}

// Frees in random order, including the last block, then allocates again: the
// list (and its tail) must stay whole. The blocks left are freed by deleting
// the manager (the fixture checks that none stays with the host).
TEST_F(MemoryManager, RandomFreeOrderKeepsListWhole) {
    std::mt19937 rng(7);
    std::vector<std::pair<void*, uint32_t>> live;
    uint64_t expect_total = 24;
    for (int round = 0; round < 3000; ++round) {
        if (live.empty() || rng() % 3 != 0) {
            uint32_t size = rng() % 200;
            void* p = HXRAllocMem(mm, size);
            ASSERT_NE(p, nullptr);
            live.push_back({p, size});
            expect_total += size + 32;
        } else {
            // Favour the newest block so that the tail is freed often.
            size_t i = rng() % 2 ? live.size() - 1 : rng() % live.size();
            ASSERT_EQ(HXRFreeMem(mm, live[i].first), 0u);
            expect_total -= live[i].second + 32;
            live.erase(live.begin() + long(i));
        }
    }
    EXPECT_EQ(HXRGetMemBlockCount(mm), live.size());
    EXPECT_EQ(HXRGetAllMemSize(mm), expect_total);
    for (auto& [p, n] : live) EXPECT_EQ(HXRGetMemSize(mm, p), n);
    EXPECT_EQ(svc.live_blocks(), live.size() + 1);
}

TEST(ErrorRecord, FirstFailureIsKept) {
    char* msg = nullptr;
    HXRSetErrorInfo(0);
    EXPECT_EQ(HXRGetErrorInfo(&msg), 0u);
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg[0], '\0');
    HXRSetErrorInfo(9012);
    HXRSetErrorInfo(20206);
    EXPECT_EQ(HXRGetErrorInfo(nullptr), 9012u);
    HXRSetErrorInfo(0);
    EXPECT_EQ(HXRGetErrorInfo(nullptr), 0u);
    HXRSetErrorInfo(20206);
    EXPECT_EQ(HXRGetErrorInfo(nullptr), 20206u);
    HXRSetErrorInfo(0);
    // Restoring undoes only the expected code.
    HXRSetErrorInfo(5151);
    EXPECT_FALSE(HXRRestoreErrorInfo(4951, 0));  // someone else's code stays
    EXPECT_EQ(HXRGetErrorInfo(nullptr), 5151u);
    EXPECT_TRUE(HXRRestoreErrorInfo(5151, 0));
    EXPECT_EQ(HXRGetErrorInfo(nullptr), 0u);
}

TEST(ErrorRecord, ConcurrentFirstFailuresKeepExactlyOne) {
    for (int round = 0; round < 20; ++round) {
        HXRSetErrorInfo(0);
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (uint32_t t = 1; t <= 8; ++t)
            threads.emplace_back([&, t] {
                while (!go) std::this_thread::yield();
                for (int k = 0; k < 100; ++k) HXRSetErrorInfo(t * 1000 + uint32_t(k));
            });
        go = true;
        for (auto& th : threads) th.join();
        const uint32_t kept = HXRGetErrorInfo(nullptr);
        EXPECT_EQ(kept % 1000, 0u) << kept;  // the first write of some thread
        EXPECT_GE(kept, 1000u);
        EXPECT_LE(kept, 8000u);
    }
    HXRSetErrorInfo(0);
}

TEST(EndianReaders, ReadUnalignedInBothOrders) {
    const uint8_t b[] = {0x00, 0xFE, 0xFF, 0x12, 0x34, 0x80, 0x00, 0x00, 0x01};
    EXPECT_EQ(LeToUint16(b + 1), 0xFFFEu);
    EXPECT_EQ(LeToInt16(b + 1), -2);
    EXPECT_EQ(BeToUint16(b + 1), 0xFEFFu);
    EXPECT_EQ(BeToInt16(b + 1), -257);
    EXPECT_EQ(LeToUint32(b + 1), 0x3412FFFEu);
    EXPECT_EQ(LeToInt32(b + 1), int32_t(0x3412FFFE));
    EXPECT_EQ(BeToUint32(b + 3), 0x12348000u);
    EXPECT_EQ(BeToInt32(b + 5), int32_t(0x80000001u));
    EXPECT_EQ(LeToInt32(b + 5), 0x01000080);
}

}  // namespace
