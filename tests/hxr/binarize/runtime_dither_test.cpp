// Runtime dither state: switch positions, the area rule and the lookups that
// reach the dither data manager (a recording fake here).
#include "hxr/binarize/hxr_runtime_dither.h"
#include "support/fake_ht_data.h"
#include "support/hxr_fixture.h"

#include <vector>

namespace {

using ovcg_test::FakeDthMgr;

class RuntimeDither : public HxrTest {
protected:
    void SetUp() override {
        HxrTest::SetUp();
        rd = HXRCreateRuntimeDither(mm, FakeDthMgr::ops());
        ASSERT_NE(rd, nullptr);
        // Each area's data for order 3 is told apart by its cells pointer.
        for (int a = 0; a < 6; ++a) {
            fake.data[a][3] = {4, 1, 0, 0, &cells[a], 7};
            fake.offset[a][3] = {uint32_t(a), uint32_t(10 + a)};
        }
        ASSERT_EQ(HXRSetDthMgr(rd, fake.handle()), 0u);
    }
    static HXRSwitchPosList list(std::vector<int32_t> p, uint32_t count = 0xFFFFFFFF) {
        HXRSwitchPosList l{count == 0xFFFFFFFF ? uint32_t(p.size()) : count, {}};
        for (size_t i = 0; i < p.size() && i < kHxrMaxSwitchPos; ++i) l.positions[i] = p[i];
        return l;
    }
    // The area the lookups reached for `line`, from the data they returned.
    int area_seen(int32_t line) {
        const HXRDthData* d = HXRGetDthDataSingleInfo(rd, line, 3);
        const HXRDthOffset* o = HXRGetDthOffDataSingleInfo(rd, line, 3);
        if (!d || !o) return -1;
        EXPECT_EQ(o->OffsetH, uint32_t(d->cells - cells));
        return int(d->cells - cells);
    }

    FakeDthMgr fake;
    uint16_t cells[6] = {};
    HXRRuntimeDither* rd = nullptr;
};

TEST_F(RuntimeDither, AreasFollowThePositions) {
    fake.areas = 3;
    HXRSwitchPosList l = list({100, 200});
    EXPECT_EQ(HXRCreatDthSwitchInfo(rd, &l, mm), 1u);
    struct Case {
        int32_t line;
        int area;
    };
    for (const Case& c : {Case{0, 0}, {99, 0}, {100, 1}, {199, 1}, {200, 2}, {0x7FFFFFFF, 2}, {-5, 0}}) {
        EXPECT_EQ(HXRGetDthArea(rd, c.line), c.area) << c.line;
        EXPECT_EQ(area_seen(c.line), c.area) << c.line;
    }
    // Equal neighbours leave an empty area between them.
    l = list({50, 50});
    EXPECT_EQ(HXRCreatDthSwitchInfo(rd, &l, mm), 1u);
    EXPECT_EQ(area_seen(49), 0);
    EXPECT_EQ(area_seen(50), 2);
    // No positions: area 0 everywhere.
    l = list({});
    EXPECT_EQ(HXRCreatDthSwitchInfo(rd, &l, mm), 1u);
    EXPECT_EQ(area_seen(1000), 0);
    // Order past the manager's 13 and a null runtime.
    EXPECT_EQ(HXRGetDthDataSingleInfo(rd, 0, 13), nullptr);
    EXPECT_EQ(HXRGetDthDataSingleInfo(nullptr, 0, 3), nullptr);
    EXPECT_EQ(HXRGetDthOffDataSingleInfo(nullptr, 0, 3), nullptr);
    EXPECT_EQ(error(), 0u);
}

TEST_F(RuntimeDither, RefusedListsKeepThePositionsInForce) {
    fake.areas = 3;
    HXRSwitchPosList good = list({100, 200});
    ASSERT_EQ(HXRCreatDthSwitchInfo(rd, &good, mm), 1u);
    struct Case {
        HXRSwitchPosList l;
        int areas;
        uint32_t code;  // 0: accepted
    };
    const Case cases[] = {
        {list({100, 200, 300}), 3, kHxrSwitchPosAreas},
        {list({100, 200, 300}), 1, 0},  // one area: every line answers area 0
        {list({200, 100}), 3, kHxrSwitchPosOrder},
        {list({-5}), 3, kHxrSwitchPosOrder},
        {list({}), 3, 0},
        {list({1, 2, 3, 4, 5}), 1, 0},
        {list({1, 2, 3, 4, 5}, 6), 1, kHxrSwitchPosAreas},           // more than the record holds
        {list({1, 2, 3, 4, 5}, 0x40000001), 1, kHxrSwitchPosAreas},  // count x 4 wraps
        {list({1, 2, 3, 4, 5}, 6), 7, kHxrSwitchPosAreas},           // whatever the area count
        {list({7}), 0, kHxrSwitchPosAreas},
    };
    for (const Case& c : cases) {
        fake.areas = 3;
        ASSERT_EQ(HXRCreatDthSwitchInfo(rd, &good, mm), 1u);
        fake.areas = c.areas;
        EXPECT_EQ(HXRCreatDthSwitchInfo(rd, &c.l, mm), c.code == 0 ? 1u : 0u) << c.l.count;
        expect_error(c.code);
        if (c.code != 0) {
            EXPECT_EQ(rd->switchInfo.count, 2);
            EXPECT_EQ(rd->switchInfo.positions[0], 100);
            EXPECT_EQ(rd->switchInfo.positions[1], 200);
        } else {
            EXPECT_EQ(rd->switchInfo.count, int32_t(c.l.count));
        }
    }
    // A null list keeps the old one and succeeds.
    EXPECT_EQ(HXRCreatDthSwitchInfo(rd, nullptr, mm), 1u);
    EXPECT_EQ(HXRCreatDthSwitchInfo(nullptr, &good, mm), 0u);
}

TEST_F(RuntimeDither, Replacement) {
    fake.areas = 3;
    HXRSwitchPosList l = list({100, 200});
    // Before any create: a null list succeeds, any list fails without an error.
    EXPECT_EQ(HXRResetDthSwitchInfo(rd, nullptr), 1u);
    EXPECT_EQ(HXRResetDthSwitchInfo(rd, &l), 0u);
    expect_error(0);
    ASSERT_EQ(HXRCreatDthSwitchInfo(rd, &l, mm), 1u);

    HXRSwitchPosList other = list({10});
    EXPECT_EQ(HXRResetDthSwitchInfo(rd, &other), 0u);
    expect_error(kHxrSwitchPosCount);
    // A descending position refuses the whole list: nothing is half overwritten.
    HXRSwitchPosList down = list({150, 120});
    EXPECT_EQ(HXRResetDthSwitchInfo(rd, &down), 0u);
    expect_error(kHxrSwitchPosOrder);
    HXRSwitchPosList negative = list({-1, 120});
    EXPECT_EQ(HXRResetDthSwitchInfo(rd, &negative), 0u);
    expect_error(kHxrSwitchPosOrder);
    EXPECT_EQ(area_seen(100), 1);
    EXPECT_EQ(area_seen(150), 1);
    EXPECT_EQ(area_seen(200), 2);
    fake.areas = 2;  // now as many positions as areas
    EXPECT_EQ(HXRResetDthSwitchInfo(rd, &l), 0u);
    expect_error(kHxrSwitchPosAreas);
    fake.areas = 3;
    HXRSwitchPosList moved = list({10, 20});
    EXPECT_EQ(HXRResetDthSwitchInfo(rd, &moved), 1u);
    EXPECT_EQ(area_seen(15), 1);
    EXPECT_EQ(area_seen(100), 2);
    EXPECT_EQ(HXRResetDthSwitchInfo(rd, nullptr), 0u);
    EXPECT_EQ(HXRResetDthSwitchInfo(nullptr, &l), 0u);
    EXPECT_EQ(error(), 0u);
}

TEST_F(RuntimeDither, PagesAllocateNothing) {
    fake.areas = 3;
    const uint32_t blocks = HXRGetMemBlockCount(mm);
    for (int32_t page = 0; page < 1000; ++page) {
        HXRSwitchPosList l = list({page, page + 1});
        ASSERT_EQ(HXRCreatDthSwitchInfo(rd, &l, mm), 1u);
    }
    EXPECT_EQ(HXRGetMemBlockCount(mm), blocks);
    EXPECT_EQ(area_seen(999), 1);
    // The manager is not needed at all any more.
    HXRSwitchPosList l = list({3});
    EXPECT_EQ(HXRCreatDthSwitchInfo(rd, &l, nullptr), 1u);
}

TEST_F(RuntimeDither, WithoutManagerOrOps) {
    HXRRuntimeDither* bare = HXRCreateRuntimeDither(mm, FakeDthMgr::ops());
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(HXRGetDthDataSingleInfo(bare, 0, 3), nullptr);
    // No manager: no area count, so no list can be checked against it.
    HXRSwitchPosList empty = list({});
    EXPECT_EQ(HXRCreatDthSwitchInfo(bare, &empty, mm), 0u);
    expect_error(kHxrSwitchPosAreas);
    EXPECT_EQ(HXRSetDthMgr(nullptr, fake.handle()), 1u);
    EXPECT_EQ(HXRCreateRuntimeDither(mm, nullptr), nullptr);
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateRuntimeDither(mm, FakeDthMgr::ops()), nullptr);
}

}  // namespace
