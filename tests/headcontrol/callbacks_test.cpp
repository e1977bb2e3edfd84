#include "headcontrol/callbacks.h"

#include "support/fake_ovf.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>

namespace ovcg::irac {
namespace {

// Distinct fake function addresses so that the re-laying can be checked word by word.
void* a_alloc(uint32_t) { return nullptr; }
void* a_realloc(void*, uint32_t) { return nullptr; }
void a_free(void*) {}
void* a_copy(void* d, const void*, uint32_t) { return d; }
void* a_move(void* d, const void*, uint32_t) { return d; }
void* a_fill(void* d, int, uint32_t) { return d; }
int a_lead(const void*, int) { return 1; }
int a_trail(const void*, int) { return 2; }
int a_send(void*, const void*, uint32_t, int) { return 1; }
void* a_get(void*, int, uint32_t*) { return nullptr; }
void a_free_res(void*, void*) {}
void a_log(const char*, ...) {}

int ctx_send, ctx_res, ctx_res2;

OVF_COMMON full_table() {
    OVF_COMMON t{a_alloc, a_realloc, a_free,  a_copy,   a_move,     a_fill, a_lead, a_trail, a_send,
                 &ctx_send, a_get,   &ctx_res, a_free_res, a_log,   {},     &ctx_res2};
    return t;
}

// The caller's table is read by word index: every named word at its place.
constexpr size_t kWord = sizeof(void*);
static_assert(offsetof(OVF_COMMON, realloc) == 1 * kWord);
static_assert(offsetof(OVF_COMMON, move) == 4 * kWord);
static_assert(offsetof(OVF_COMMON, lead_zero_search) == 6 * kWord);
static_assert(offsetof(OVF_COMMON, send_data) == 8 * kWord);
static_assert(offsetof(OVF_COMMON, send_context) == 9 * kWord);
static_assert(offsetof(OVF_COMMON, get_resource) == 10 * kWord);
static_assert(offsetof(OVF_COMMON, resource_context) == 11 * kWord);
static_assert(offsetof(OVF_COMMON, free_resource) == 12 * kWord);
static_assert(offsetof(OVF_COMMON, debug_log) == 13 * kWord);
static_assert(offsetof(OVF_COMMON, unused) == 14 * kWord);
static_assert(offsetof(OVF_COMMON, resource_context2) == 18 * kWord);

TEST(CallbackTable, RelaysEveryWordIntoTheInternalOrder) {
    const OVF_COMMON t = full_table();
    const CallbackTable cb = relay_callbacks(t);
    // The internal table's 17 words, in their documented order.
    const void* words[17];
    std::memcpy(words, &cb, sizeof words);
    const void* expected[17] = {
        reinterpret_cast<const void*>(a_alloc),  reinterpret_cast<const void*>(a_free),
        reinterpret_cast<const void*>(a_copy),   reinterpret_cast<const void*>(a_fill),
        reinterpret_cast<const void*>(a_lead),   reinterpret_cast<const void*>(a_trail),
        reinterpret_cast<const void*>(a_realloc), reinterpret_cast<const void*>(a_move),
        reinterpret_cast<const void*>(a_get),    reinterpret_cast<const void*>(a_free_res),
        &ctx_res,                                &ctx_res2,
        reinterpret_cast<const void*>(a_send),   &ctx_send,
        nullptr,                                 nullptr,
        reinterpret_cast<const void*>(a_log),
    };
    for (int i = 0; i < 17; ++i) EXPECT_EQ(words[i], expected[i]) << "word " << i;
}

TEST(CallbackTable, EveryRequiredWordIsChecked) {
    EXPECT_EQ(check_required_callbacks(nullptr), 801u);
    // By word index in OVF_COMMON: the contexts, the debug log and the unused
    // words may be null.
    const bool required[19] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
    for (int word = 0; word < 19; ++word) {
        OVF_COMMON t = full_table();
        void* words[19];
        std::memcpy(words, &t, sizeof words);
        words[word] = nullptr;
        std::memcpy(&t, words, sizeof words);
        EXPECT_EQ(check_required_callbacks(&t), required[word] ? 801u : 0u) << "word " << word;
    }
}

TEST(CallbackTable, HelpersGoThroughTheTable) {
    ovcg_test::FakeOvf fake;
    const CallbackTable cb = relay_callbacks(fake.table());

    // Zero-filled even though the allocator hands out 0xCD bytes.
    auto* p = static_cast<uint8_t*>(alloc_zeroed(cb, 33));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 33; ++i) EXPECT_EQ(p[i], 0) << i;
    EXPECT_EQ(alloc_zeroed(cb, 0), nullptr);
    EXPECT_EQ(fake.live_blocks(), 1u);
    release(cb, p);
    release(cb, nullptr);
    EXPECT_EQ(fake.live_blocks(), 0u);
    EXPECT_EQ(fake.bad_frees(), 0u);

    fake.fail_alloc_from(fake.alloc_calls() + 1);
    EXPECT_EQ(alloc_zeroed(cb, 8), nullptr);

    // A fetched resource carries its size and goes back through free-resource.
    fake.set_resource(256, {1, 2, 3, 4, 5});
    FetchedResource r = fetch_resource(cb, 256);
    ASSERT_TRUE(r);
    EXPECT_EQ(r.size, 5u);
    EXPECT_EQ(r.data[4], 5);
    EXPECT_EQ(fake.resources_out(), 1u);
    release_resource(cb, r);
    EXPECT_FALSE(r);
    EXPECT_EQ(fake.resources_out(), 0u);
    EXPECT_EQ(fake.bad_resource_frees(), 0u);
    FetchedResource missing = fetch_resource(cb, 768);
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.size, 0u);
    release_resource(cb, missing);  // nothing to hand back
    EXPECT_EQ(fake.bad_resource_frees(), 0u);

    const uint8_t cr[] = {0x0D};
    EXPECT_TRUE(send(cb, cr, 1, 1));
    fake.fail_send_from(2);
    EXPECT_FALSE(send(cb, cr, 1, 0));
    ASSERT_EQ(fake.sent().size(), 2u);
    EXPECT_EQ(fake.sent()[0].flag, 1);
    EXPECT_EQ(fake.sent()[1].flag, 0);
}

// Slow, literal versions of the two scans.
int naive_lead(const uint8_t* p, int n) {
    int i = 0;
    while (i < n && p[i] == 0) ++i;
    return i;
}
int naive_trail(const uint8_t* p, int n) {
    int i = 0;
    while (i < n && p[n - 1 - i] == 0) ++i;
    return i;
}

TEST(DefaultCallbacks, ScansGiveTheDocumentedExamples) {
    using defaults::OVF_memrsearch;
    using defaults::OVF_memsearch;
    const uint8_t b[] = {0, 0, 0, 5}, c[] = {1, 0, 0};
    const struct {
        const uint8_t* p;
        int n, lead, trail;
    } cases[] = {{b, 4, 3, 0}, {c, 3, 0, 2}, {c, 0, 0, 0}, {c, -4, 0, 0}};
    for (const auto& k : cases) {
        EXPECT_EQ(OVF_memsearch(k.p, k.n), k.lead) << k.n;
        EXPECT_EQ(OVF_memrsearch(k.p, k.n), k.trail) << k.n;
    }
}

TEST(DefaultCallbacks, ScansMatchANaiveScanAtEveryAlignment) {
    // Each case gets a heap block of exactly its length, so a read outside it
    // is caught by the address sanitizer; nz = -1 is the all-zero block.
    for (int len = 0; len <= 64; ++len) {
        for (int align = 0; align < 4; ++align) {
            for (int nz = -1; nz < len; ++nz) {  // -1: all zero; else one non-zero byte there
                std::unique_ptr<uint8_t[]> raw(new uint8_t[static_cast<size_t>(len + align)]);
                uint8_t* p = raw.get() + align;
                std::memset(p, 0, static_cast<size_t>(len));
                if (nz >= 0) p[nz] = static_cast<uint8_t>(0x80 >> (nz % 8));
                ASSERT_EQ(defaults::OVF_memsearch(p, len), naive_lead(p, len))
                    << "len " << len << " align " << align << " nz " << nz;
                ASSERT_EQ(defaults::OVF_memrsearch(p, len), naive_trail(p, len))
                    << "len " << len << " align " << align << " nz " << nz;
            }
        }
    }
}

TEST(DefaultCallbacks, MemoryAndStubs) {
    using namespace defaults;
    EXPECT_EQ(OVF_malloc(0), nullptr);
    auto* p = static_cast<uint8_t*>(OVF_malloc(16));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(OVF_memset(p, 0x1AB, 16), p);  // the low byte of the value
    EXPECT_EQ(p[15], 0xAB);
    const uint8_t src[4] = {1, 2, 3, 4};
    EXPECT_EQ(OVF_memcpy(p, src, 4), p);
    EXPECT_EQ(OVF_memmove(p + 1, p, 4), p + 1);  // overlapping
    const uint8_t want[6] = {1, 1, 2, 3, 4, 0xAB};
    EXPECT_EQ(std::memcmp(p, want, 6), 0);
    EXPECT_EQ(OVF_realloc(p, 0), nullptr);  // the block stays with its owner
    p = static_cast<uint8_t*>(OVF_realloc(p, 64));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 1);
    OVF_free(p);

    EXPECT_EQ(OVF_SendData(nullptr, src, 4, 1), 1);
    int ctx = 0;
    uint32_t size = 99;
    EXPECT_EQ(OVF_GetResource(&ctx, 256, &size), &ctx);
    EXPECT_EQ(size, 0u);
    OVF_FreeResource(&ctx, &ctx);
    EXPECT_TRUE(OVF_SendMWInfo(0));
    EXPECT_TRUE(OVF_SendMWInfo(1));
    EXPECT_FALSE(OVF_SendMWInfo(2));
    EXPECT_EQ(OVF_GetMWParam(), 0u);

    const OVF_COMMON t = table();
    EXPECT_EQ(check_required_callbacks(&t), 0u);
    EXPECT_EQ(t.lead_zero_search, OVF_memsearch);
    EXPECT_EQ(t.trail_zero_search, OVF_memrsearch);
}

}  // namespace
}  // namespace ovcg::irac
