// The counting heap: every allocation form counts the bytes asked for and one
// block, and gives them back when freed, whichever thread frees; a random
// mix of many blocks keeps the count equal to a plain tally of them.
#include "support/heap_counter.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace ovcg_test {
namespace {

// Called through volatile pointers: a compiler may drop a malloc whose block
// it sees freed.
void* (*volatile g_malloc)(size_t) = std::malloc;
void* (*volatile g_calloc)(size_t, size_t) = std::calloc;
void* (*volatile g_realloc)(void*, size_t) = std::realloc;
void (*volatile g_free)(void*) = std::free;

struct Delta {
    int64_t bytes, blocks;
    bool operator==(const Delta&) const = default;
};

class HeapCounterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (heap_blocks() == 0) GTEST_SKIP() << "the sanitizer's allocator counts";
        // The first thread leaves its stack, and the C library's record of
        // it, in the library's cache of stacks; later ones reuse them.
        std::thread([] {}).join();
    }
    Delta Since(uint64_t bytes, uint64_t blocks) const {
        return {static_cast<int64_t>(heap_bytes() - bytes), static_cast<int64_t>(heap_blocks() - blocks)};
    }
};

TEST_F(HeapCounterTest, EveryFormCountsTheBytesAskedFor) {
    struct Case {
        const char* name;
        std::function<void*()> make;
        Delta live;
    };
    const Case cases[] = {
        {"malloc", [] { return g_malloc(100); }, {100, 1}},
        {"malloc of nothing", [] { return g_malloc(0); }, {0, 1}},
        {"calloc", [] { return g_calloc(3, 40); }, {120, 1}},
        {"realloc of null", [] { return g_realloc(nullptr, 70); }, {70, 1}},
        {"realloc that grows and moves", [] { return g_realloc(g_malloc(24), 100000); }, {100000, 1}},
        {"realloc that shrinks", [] { return g_realloc(g_malloc(5000), 17); }, {17, 1}},
        {"aligned_alloc", [] { return aligned_alloc(64, 128); }, {128, 1}},
        {"memalign", [] { return memalign(256, 1000); }, {1000, 1}},
        {"posix_memalign",
         [] {
             void* p = nullptr;
             return posix_memalign(&p, 4096, 10) == 0 ? p : nullptr;
         },
         {10, 1}},
        {"a large block (mapped by the C library)", [] { return g_malloc(3u << 20); }, {3 << 20, 1}},
        {"made by another thread",
         [] {
             void* p = nullptr;
             std::thread([&p] { p = g_malloc(333); }).join();
             return p;
         },
         {333, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint64_t bytes = heap_bytes(), blocks = heap_blocks();
        void* p = c.make();
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(Since(bytes, blocks), c.live);
        // Freed by another thread than the one that made it, or by this one.
        std::thread([p] { g_free(p); }).join();
        EXPECT_EQ(Since(bytes, blocks), (Delta{0, 0}));
    }
    // realloc to 0 frees the block.
    const uint64_t bytes = heap_bytes(), blocks = heap_blocks();
    void* p = g_malloc(40);
    EXPECT_EQ(g_realloc(p, 0), nullptr);
    EXPECT_EQ(Since(bytes, blocks), (Delta{0, 0}));
}

TEST_F(HeapCounterTest, ManyBlocksInARandomOrderKeepTheTally) {
    // Enough blocks that every stripe's table grows several times; frees in
    // a random order move entries back over the holes they leave.
    std::mt19937 rng(47);
    struct Block {
        void* p;
        size_t size;
    };
    std::vector<Block> live;
    live.reserve(300000);
    const uint64_t bytes = heap_bytes(), blocks = heap_blocks();
    int64_t tally = 0;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 100000; ++i) {
            const size_t size = rng() % 200;
            live.push_back({g_malloc(size), size});
            tally += static_cast<int64_t>(size);
        }
        for (int i = 0; i < 60000; ++i) {
            const size_t k = rng() % live.size();
            if (rng() % 4 == 0) {
                const size_t size = 1 + rng() % 3000;  // 0 would free it
                void* p = g_realloc(live[k].p, size);
                ASSERT_NE(p, nullptr);
                tally += static_cast<int64_t>(size) - static_cast<int64_t>(live[k].size);
                live[k] = {p, size};
                continue;
            }
            g_free(live[k].p);
            tally -= static_cast<int64_t>(live[k].size);
            live[k] = live.back();
            live.pop_back();
        }
        ASSERT_EQ(Since(bytes, blocks), (Delta{tally, static_cast<int64_t>(live.size())})) << "round " << round;
    }
    for (const Block& b : live) g_free(b.p);
    live.clear();
    EXPECT_EQ(Since(bytes, blocks), (Delta{0, 0}));
}

}  // namespace
}  // namespace ovcg_test
