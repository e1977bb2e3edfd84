#include "hxr/control/hxr_resmgr.h"
#include "support/hxr_fixture.h"
#include "support/hxr_packer.h"

#include <cstring>
#include <string>

namespace {

using ovcg_test::Bytes;

using ResMgr = HxrTest;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST_F(ResMgr, CreateNeedsItsServices) {
    const HXRServiceTable* t = svc.table();
    EXPECT_EQ(HXRCreateResMgr(nullptr, t->FreeResource, t->Context, t->MemCpy, mm), nullptr);
    EXPECT_EQ(HXRCreateResMgr(t->GetResource, nullptr, t->Context, t->MemCpy, mm), nullptr);
    EXPECT_EQ(HXRCreateResMgr(t->GetResource, t->FreeResource, t->Context, nullptr, mm), nullptr);
    EXPECT_EQ(HXRCreateResMgr(t->GetResource, t->FreeResource, t->Context, t->MemCpy, nullptr), nullptr);
    // The decompressor state cannot be made: nothing is left behind.
    svc.fail_allocation_after(1);
    EXPECT_EQ(resources(), nullptr);
    svc.fail_allocation_after(-1);
    EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
    EXPECT_EQ(HXRDeleteResMgr(nullptr), kHxrResMgrNone);
}

TEST_F(ResMgr, PlainResourcesAreCopiedCachedAndZeroPadded) {
    svc.add_resource(7, text("hello"));
    HXRResMgr* rm = resources();
    ASSERT_NE(rm, nullptr);
    uint32_t size = 0;
    const uint8_t* a = HXRGetResource(rm, 7, 3, &size);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::memcmp(a, "hello", 5), 0);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(a[5 + i], 0);
    EXPECT_EQ(svc.last_kind(7), 3);
    EXPECT_EQ(svc.live_resources(), 0u);  // the host's buffer went back at once
    // A second fetch, even of another kind, is served from the cache.
    size = 0;
    EXPECT_EQ(HXRGetResource(rm, 7, 6, &size), a);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(svc.fetches(7), 1u);
    EXPECT_EQ(HXRDeleteResMgr(rm), 0u);
    EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
}

TEST_F(ResMgr, PackedResourcesAreUnpacked) {
    Bytes data;
    for (int i = 0; i < 20000; ++i) data.push_back(uint8_t((i * i) >> 5));
    svc.add_resource(1, ovcg_test::hxr_pack(data));
    svc.add_resource(2, Bytes{});
    HXRResMgr* rm = resources();
    ASSERT_NE(rm, nullptr);
    uint32_t size = 0;
    const uint8_t* a = HXRGetResource(rm, 1, 1, &size);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(size, data.size());
    EXPECT_EQ(std::memcmp(a, data.data(), data.size()), 0);
    const uint8_t* e = HXRGetResource(rm, 2, 0, &size);
    ASSERT_NE(e, nullptr);  // an empty resource is there, and empty
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(HXRDeleteResMgr(rm), 0u);
    EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
}

TEST_F(ResMgr, FailuresReturnNoneAndReleaseTheRawResource) {
    Bytes bad = ovcg_test::hxr_pack(Bytes(3000, 0x33));
    bad[8] = 0xFF;  // packed length past the resource
    svc.add_resource(4, bad);
    svc.add_resource(5, text("plain"));
    HXRResMgr* rm = resources();
    ASSERT_NE(rm, nullptr);
    uint32_t size = 77;
    EXPECT_EQ(HXRGetResource(rm, 3, 0, &size), nullptr);  // missing
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(HXRGetResource(rm, 4, 0, &size), nullptr);  // corrupt
    EXPECT_EQ(svc.live_resources(), 0u);
    // Out of memory for the copy, then for the cache entry.
    for (long k = 0; k < 2; ++k) {
        svc.fail_allocation_after(k);
        EXPECT_EQ(HXRGetResource(rm, 5, 0, &size), nullptr) << k;
        svc.fail_allocation_after(-1);
        EXPECT_EQ(svc.live_resources(), 0u);
    }
    EXPECT_NE(HXRGetResource(rm, 5, 0, &size), nullptr);
    EXPECT_EQ(HXRGetResource(nullptr, 5, 0, &size), nullptr);
    EXPECT_EQ(HXRDeleteResMgr(rm), 0u);
    EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
}

}  // namespace
