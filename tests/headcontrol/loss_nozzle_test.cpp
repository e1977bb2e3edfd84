// The loss-nozzle complement's objects, switches, maximum and resources.
#include "headcontrol/loss_nozzle.h"

#include "headcontrol/codes.h"
#include "support/fake_ovf.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace ovcg::irac {
namespace {

using ovcg_test::FakeOvf;
using Bytes = std::vector<uint8_t>;

TEST(LossNozzleObjects, EachAllocationGivesItsCode) {
    const uint32_t expected[] = {930, 931, 945, 960, 950, 0};  // object, store, CMS, NHC, PMC
    for (size_t n = 1; n <= std::size(expected); ++n) {
        FakeOvf ovf;
        const CallbackTable cb = relay_callbacks(ovf.table());
        ovf.fail_alloc_from(n);
        LncObject* lnc = reinterpret_cast<LncObject*>(&ovf);
        EXPECT_EQ(LNC_Allocate(&lnc, &cb), expected[n - 1]) << n;
        if (expected[n - 1] != 0) {
            EXPECT_EQ(lnc, nullptr) << n;
        } else {
            ASSERT_NE(lnc, nullptr);
            EXPECT_EQ(lnc->store->cb, &cb);
            LNC_Free(&lnc, &cb);
            EXPECT_EQ(lnc, nullptr);
        }
        EXPECT_EQ(ovf.live_blocks(), 0u) << n;
    }
}

TEST(LossNozzleObjects, SwitchesAndMaximum) {
    FakeOvf ovf;
    const CallbackTable cb = relay_callbacks(ovf.table());
    LncObject* lnc = nullptr;
    ASSERT_EQ(LNC_Allocate(&lnc, &cb), 0u);
    // Nothing is on in a job of this system.
    for (uint32_t kind : {0x1u, 0x2u, 0x4u, 0x8u, 0x10u, 0u}) EXPECT_EQ(LNC_GetOnOff(kind, lnc), 0) << kind;
    const struct {
        uint32_t flags;
        uint8_t common, pmc, nhc, cms;
    } cases[] = {
        {0x2, 1, 1, 0, 0}, {0x0, 0, 0, 0, 0}, {0x4, 1, 0, 1, 0}, {0x8, 1, 0, 0, 1},
        {0xE, 1, 1, 1, 1}, {0x1, 0, 0, 0, 0}, {0xF0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        LNC_SetOnOff(c.flags, lnc);
        EXPECT_EQ(LNC_GetOnOff(kLncCommon, lnc), c.common) << c.flags;
        EXPECT_EQ(CCMN_GetOnOff(lnc->store), c.common) << c.flags;
        EXPECT_EQ(LNC_GetOnOff(kLncPmc, lnc), c.pmc) << c.flags;
        EXPECT_EQ(LNC_GetOnOff(kLncNhc, lnc), c.nhc) << c.flags;
        EXPECT_EQ(LNC_GetOnOff(kLncCms, lnc), c.cms) << c.flags;
        EXPECT_EQ(LNC_GetOnOff(0x3, lnc), 0) << c.flags;
    }
    EXPECT_EQ(LNC_SetLossNozzleMax(-1, lnc), kCcmnNegativeMaximum);
    EXPECT_EQ(LNC_SetLossNozzleMax(12, lnc), 0u);
    EXPECT_EQ(CCMN_GetLossNozzleMax(lnc->store), 12);
    EXPECT_EQ(CCMN_GetLossNozzleMaxPerInk(lnc->store), 0);  // the work area's
    EXPECT_EQ(CCMN_GetComplatePassNumMax(lnc->store), 0);
    LNC_Free(&lnc, &cb);
    EXPECT_EQ(ovf.live_blocks(), 0u);
    LNC_Free(&lnc, &cb);  // null: nothing
    EXPECT_EQ(LNC_GetOnOff(kLncCommon, nullptr), 0);
}

// A PMC model part: one set of one 1 x 2 table and one 1 x 1 table, then
// (form 1: when flag bit 0) a mask of width 2, one row, multiplier 2.
Bytes pmc_model(int form, bool mask) {
    Bytes b;
    if (form == 1) b.insert(b.end(), {uint8_t(mask ? 1 : 0), 0, 0, 0});
    b.insert(b.end(), {1, 1, 0, 2, 0, 1, 0x11, 0, 0x22, 0, 1, 0, 1, 0, 1, 0x33, 0});
    if (form == 1 && !mask) return b;
    b.insert(b.end(), {2, 1, 0});
    if (form == 1) b.push_back(2);
    b.insert(b.end(), {0xF0, 0x0F});
    if (form == 1) b.insert(b.end(), {0xCC, 0x33});
    return b;
}

struct Load {
    const char* what;
    uint32_t flags;  // of the loader
    bool model;      // model part, else unit part
    int form;
    Bytes bytes;
    uint32_t code;
    size_t consumed;
    std::function<void(const LossNozzleResources&)> check;
};

TEST(LossNozzleResources, Layouts) {
    const Load cases[] = {
        {"PMC model, form 1 with mask", 0x2, true, 1, pmc_model(1, true), 0, 29,
         [](const LossNozzleResources& h) {
             const PmcResource& p = *h.pmc;
             ASSERT_EQ(p.setCount, 1);
             EXPECT_EQ(p.sets[0].tables1[0][1], 0x22);
             EXPECT_EQ(p.sets[0].tables2[0][0], 0x33);
             EXPECT_EQ(p.maskHeight, 2);
             EXPECT_EQ(p.maskTable[3], 0x33);
         }},
        {"PMC model, form 1 without mask", 0x2, true, 1, pmc_model(1, false), 0, 21,
         [](const LossNozzleResources& h) { EXPECT_EQ(h.pmc->maskTable, nullptr); }},
        {"PMC model, form 0: mask always, multiplier 1", 0x2, true, 0, pmc_model(0, true), 0, 22,
         [](const LossNozzleResources& h) {
             EXPECT_EQ(h.pmc->multiplier, 1);
             EXPECT_EQ(h.pmc->maskHeight, 1);
         }},
        {"model part without the PMC flag", 0x8, true, 1, {1, 2, 3}, 0, 0,
         [](const LossNozzleResources& h) { EXPECT_EQ(h.pmc, nullptr); }},
        {"PMC unit, form 1", 0x2, false, 1, {7, 2, 0, 5, 6}, 0, 5,
         [](const LossNozzleResources& h) {
             EXPECT_EQ(h.pmc->unitKind, 7);
             EXPECT_EQ(h.pmc->unitLength, 2);
             EXPECT_EQ(h.pmc->unitData[1], 6);
             EXPECT_EQ(h.pmc->sets, nullptr);  // a record made for the unit alone
         }},
        {"PMC unit, form 0 skips a byte", 0x2, false, 0, {7, 0xEE, 1, 0, 5}, 0, 5,
         [](const LossNozzleResources& h) { EXPECT_EQ(h.pmc->unitData[0], 5); }},
        {"PMC unit length is unsigned", 0x2, false, 1, Bytes{7, 0x00, 0x80}, kRscBadResource, 3, {}},
        {"CMS unit present", 0x8, false, 1, {1, 0, 0, 0, 2, 10, 20, 1, 2}, 0, 9,
         [](const LossNozzleResources& h) {
             ASSERT_EQ(h.cms->n, 2);
             EXPECT_EQ(h.cms->thresholds[1], 20);
             EXPECT_EQ(h.cms->types[0], 1);
         }},
        {"CMS unit absent: four bytes", 0x8, false, 1, {0, 9, 9, 9, 2, 10}, 0, 4,
         [](const LossNozzleResources& h) { EXPECT_EQ(h.cms->n, 0); }},
        {"PMC wins over CMS", 0xA, false, 1, {7, 0, 0}, 0, 3,
         [](const LossNozzleResources& h) { EXPECT_EQ(h.cms, nullptr); }},
        {"mask height 0x8000 x 2", 0x2, true, 1, {1, 0, 0, 0, 0, 1, 0, 0x80, 2}, kPmcNoResource, 9, {}},
        {"tables 65535 x 65535", 0x2, true, 0, {1, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0}, kRscBadResource, 6, {}},
        {"255 sets in 3 bytes", 0x2, true, 0, {255, 0, 0}, kRscBadResource, 1, {}},
    };
    for (const Load& c : cases) {
        FakeOvf ovf;
        const CallbackTable cb = relay_callbacks(ovf.table());
        LossNozzleResources holder{};
        ByteCursor cur(c.bytes.data(), c.bytes.size());
        const uint32_t code = c.model ? LNC_LoadModelResource(c.flags, &holder, cur, c.form, &cb)
                                      : LNC_LoadUnitResource(c.flags, &holder, cur, c.form, &cb);
        EXPECT_EQ(code, c.code) << c.what;
        if (code == 0) {
            EXPECT_EQ(cur.pos(), c.consumed) << c.what;
            if (c.check) c.check(holder);
        }
        LNC_FreeResourceMemory(&holder, &cb);
        EXPECT_EQ(holder.pmc, nullptr);
        EXPECT_EQ(ovf.live_blocks(), 0u) << c.what;
    }
}

TEST(LossNozzleResources, ModelAndUnitShareOneRecord) {
    FakeOvf ovf;
    const CallbackTable cb = relay_callbacks(ovf.table());
    LossNozzleResources holder{};
    const Bytes unit = {7, 1, 0, 9};
    ByteCursor u(unit.data(), unit.size());
    ASSERT_EQ(PMC_LoadUnitResource(&holder, u, 1, &cb), 0u);
    const PmcResource* record = holder.pmc;
    const Bytes model = pmc_model(1, true);
    ByteCursor m(model.data(), model.size());
    ASSERT_EQ(PMC_LoadModelResource(&holder, m, 1, &cb), 0u);
    EXPECT_EQ(holder.pmc, record);
    EXPECT_EQ(holder.pmc->unitData[0], 9);
    EXPECT_EQ(holder.pmc->setCount, 1);
    // A second unit record replaces the first unit's data, in the same record.
    ByteCursor u2(unit.data(), unit.size());
    ASSERT_EQ(PMC_LoadUnitResource(&holder, u2, 1, &cb), 0u);
    EXPECT_EQ(holder.pmc, record);
    LNC_FreeResourceMemory(&holder, &cb);
    EXPECT_EQ(ovf.live_blocks(), 0u);
}

TEST(LossNozzleResources, TruncatedAndFailingLoadsLeaveNothing) {
    const Bytes model = pmc_model(1, true);
    for (size_t n = 0; n < model.size(); ++n) {
        FakeOvf ovf;
        const CallbackTable cb = relay_callbacks(ovf.table());
        LossNozzleResources holder{};
        ByteCursor cur(model.data(), n);
        EXPECT_EQ(PMC_LoadModelResource(&holder, cur, 1, &cb), kRscBadResource) << n;
        LNC_FreeResourceMemory(&holder, &cb);
        EXPECT_EQ(ovf.live_blocks(), 0u) << n;
    }
    // Each allocation of a loader fails with the loader's code and leaves nothing.
    const Bytes cms = {1, 0, 0, 0, 2, 10, 20, 1, 2};
    const struct {
        const char* what;
        const Bytes& bytes;
        uint32_t (*load)(LossNozzleResources*, ByteCursor&, int, const CallbackTable*);
        size_t allocations;
        uint32_t code;
    } sweeps[] = {
        {"PMC model: record, sets, two table lists, three tables, mask", model, &PMC_LoadModelResource, 7,
         kPmcNoResource},
        {"CMS unit: record, thresholds, types", cms, &CMS_LoadUnitResource, 3, kCmsNoResource},
    };
    for (const auto& w : sweeps) {
        for (size_t n = 1; n <= w.allocations + 1; ++n) {
            FakeOvf ovf;
            const CallbackTable cb = relay_callbacks(ovf.table());
            ovf.fail_alloc_from(n);
            LossNozzleResources holder{};
            ByteCursor cur(w.bytes.data(), w.bytes.size());
            EXPECT_EQ(w.load(&holder, cur, 1, &cb), n <= w.allocations ? w.code : 0u) << w.what << " " << n;
            LNC_FreeResourceMemory(&holder, &cb);
            EXPECT_EQ(ovf.live_blocks(), 0u) << w.what << " " << n;
        }
    }
}

}  // namespace
}  // namespace ovcg::irac
