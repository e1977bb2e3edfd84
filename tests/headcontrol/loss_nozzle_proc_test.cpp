// The loss-nozzle complement through its facade on a real pass engine built
// from the LossNozzle model (two overlapping heads, layered halftoning whose
// halftone indices are the stack numbers, PMC and CMS sections), with the
// host's hooks filled by the test; the complement rasters against a walk of
// the pass schedule; the pass-mask ring from hand-worked stack tables.
#include "pass_plan_fixture.h"

#include "headcontrol/codes.h"
#include "headcontrol/loss_nozzle_proc.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace ovcg::irac::test {
namespace {

using ovcg_test::HcPmcTableGroup;
using ovcg_test::HcVariant;

// The host: its lost-nozzle list and the complement lists it received.
struct Host {
    std::vector<uint8_t> entries;  // 8 bytes each
    uint16_t count = 0;
    bool answer = true;
    std::vector<std::vector<uint8_t>> lists;
};
Host g_host;

bool query(uint32_t a, uint32_t b, LncLossNozzleList* out, uint32_t, uint32_t, uint32_t) {
    if (a != 0 || b != 0) return false;
    out->count = g_host.count;
    out->entries = g_host.entries.empty() ? nullptr : g_host.entries.data();
    return g_host.answer;
}
bool complement_list(uint32_t code, const LncComplementList* list) {
    if (code != 2) return false;
    const auto* p = static_cast<const uint8_t*>(list->records);
    g_host.lists.emplace_back(p, p + size_t{list->count} * kNhcRecordBytes);
    return g_host.answer;
}

void report(std::initializer_list<std::array<uint32_t, 4>> lost) {  // {head, ink code, nozzle, action}
    g_host.entries.clear();
    for (const auto& l : lost) {
        const uint8_t e[8] = {uint8_t(l[0]), uint8_t(l[0] >> 8), uint8_t(l[1]), uint8_t(l[2]), uint8_t(l[2] >> 8),
                              uint8_t(l[3]), 0, 0};
        g_host.entries.insert(g_host.entries.end(), e, e + 8);
    }
    g_host.count = uint16_t(lost.size());
}

// A page of the LossNozzle model on a pass engine, with the complement on.
struct Complement {
    explicit Complement(uint32_t modules, int16_t maximum = 24, HcVariant v = HcVariant::LossNozzle,
                        uint32_t length = 600)
        : Complement(modules, hc_variant(v), maximum, length) {}
    Complement(uint32_t modules, const ovcg_test::ModelHeadControl& hc, int16_t maximum = 24, uint32_t length = 600)
        : pe(hc) {
        g_host = Host{};
        pe.cb.loss_nozzle_query = query;
        pe.cb.complement_list = complement_list;
        EXPECT_EQ(0u, pe.code);
        int32_t top = 0;
        uint32_t pos = 0;
        EXPECT_EQ(0u, MLE_StartPage(pe.mle, length, 6, inks.data(), nullptr, &top));
        EXPECT_EQ(0u, MLE_CreateSchedulingTable(pe.mle, 0, &pos));
        EXPECT_EQ(0u, LNC_Allocate(&lnc, &pe.cb));
        LNC_SetOnOff(modules, lnc);
        EXPECT_EQ(0u, LNC_SetLossNozzleMax(maximum, lnc));
        for (int h = 0; h < 2; ++h) colours.insert(colours.end(), inks.begin(), inks.end());
        info = CcmnInkInfo{6, inks.data(), colours.data(), uint32_t(colours.size()), 6};
        RSC_GetICMResourceData(pe.rsc, &icm);
    }
    ~Complement() {
        LNC_ExitWorkArea(lnc);
        LNC_Free(&lnc, &pe.cb);
        MLE_EndPage(pe.mle);
    }
    uint32_t init() { return LNC_InitWorkArea(lnc, 6, int16_t(MLE_GetHeadNum(pe.mle)), 1, &info, 0, nullptr, nullptr, nullptr); }
    CcmnStore* store() const { return lnc->store; }

    PassEngine pe;
    std::vector<uint8_t> inks = six_inks();
    std::vector<uint8_t> colours;
    CcmnInkInfo info{};
    LncObject* lnc = nullptr;
    ICMResourceData* icm = nullptr;
};

// ---- The store ------------------------------------------------------------------------

TEST(LossNozzleStore, WorkAreaSizesAndCodes) {
    Complement c(kLncPmc | kLncNhc, 5);  // below the ink count
    EXPECT_EQ(kCcmnNoPerInk, c.init());
    EXPECT_EQ(0u, LNC_SetLossNozzleMax(12, c.lnc));
    EXPECT_EQ(kCcmnNoPerInk, LNC_InitWorkArea(c.lnc, 0, 2, 1, &c.info, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(kCcmnNoPerInk, LNC_InitWorkArea(c.lnc, 33, 2, 1, &c.info, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, c.init());
    EXPECT_EQ(2u, CCMN_GetLossNozzleMaxPerInk(c.store()));
    EXPECT_EQ(32u, CCMN_GetComplatePassNumMax(c.store()));
    // Switched off, the work area is not made.
    LNC_SetOnOff(0x2, c.lnc);
    EXPECT_EQ(1, LNC_GetOnOff(kLncCommon, c.lnc));
    EXPECT_EQ(1, LNC_GetOnOff(kLncPmc, c.lnc));
    LNC_SetOnOff(0, c.lnc);
    EXPECT_EQ(0, LNC_GetOnOff(kLncCommon, c.lnc));
    EXPECT_EQ(0, LNC_GetOnOff(kLncPmc, c.lnc));
    EXPECT_EQ(0, CCMN_GetOnOff(c.store()));
}

TEST(LossNozzleStore, AllocationFailuresLeaveNothing) {
    std::set<uint32_t> codes;
    for (size_t nth = 1;; ++nth) {
        Complement c(kLncPmc | kLncNhc | kLncCms);
        c.pe.ovf.fail_alloc_from(c.pe.ovf.alloc_calls() + nth);
        const uint32_t rc = c.init();
        c.pe.ovf.fail_alloc_from(0);
        LNC_ExitWorkArea(c.lnc);
        if (!rc) break;
        codes.insert(rc);
        ASSERT_LT(nth, 100u);
    }
    EXPECT_EQ((std::set<uint32_t>{932, 933, 934, 935, 944, kPmcNoRing, kNhcNoList}), codes);
}

TEST(LossNozzleStore, HostListMergedOnceAndRestored) {
    Complement c(kLncPmc);
    ASSERT_EQ(0u, c.init());
    report({{0, 0x10, 3, 1}, {0, 0x10, 3, 1}, {1, 0x12, 7, 1}});
    ASSERT_EQ(0u, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    EXPECT_EQ(1, CCMN_GetLossNozzleNum(c.store(), 0));
    EXPECT_EQ(1, CCMN_GetLossNozzleNum(c.store(), 2));
    EXPECT_EQ(1, CCMN_GetNozzleState(c.store(), 0, 0, 3, 0x10));
    EXPECT_EQ(0, CCMN_GetNozzleState(c.store(), 0, 0, 4, 0x10));
    // Head 1's nozzle 7: its offset counts head 1's first virtual nozzle.
    EXPECT_EQ(uint32_t(MLE_GetHeadOffset(c.pe.mle, 2, 1) + 7), CCMN_GetLossNozzleOffset(c.store(), 2, 0));
    report({{0, 0x10, 3, 0}, {1, 0x12, 7, 1}});
    ASSERT_EQ(0u, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    EXPECT_EQ(0, CCMN_GetLossNozzleNum(c.store(), 0));
    EXPECT_EQ(1u, CCMN_GetLossNozzleNumTotal(c.store()));
    // Beyond the per-ink maximum (4): dropped.
    report({{0, 0x11, 1, 1}, {0, 0x11, 2, 1}, {0, 0x11, 3, 1}, {0, 0x11, 4, 1}, {0, 0x11, 5, 1}});
    ASSERT_EQ(0u, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    EXPECT_EQ(4, CCMN_GetLossNozzleNum(c.store(), 1));
    struct Case {
        std::array<uint32_t, 4> entry;
        uint32_t code;
    };
    const uint32_t nozzles = MLE_GetNozzleNum(c.pe.mle, 1, 1);
    for (const Case& k : {Case{{2, 0x10, 0, 1}, kCcmnBadHead}, Case{{1, 0x10, nozzles, 1}, kCcmnBadLossNozzle},
                          Case{{0, 0x3F, 0, 1}, kCcmnUnknownLossInk}}) {
        report({k.entry});
        EXPECT_EQ(k.code, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    }
    report({});
    EXPECT_EQ(0u, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    g_host.count = 1;
    EXPECT_EQ(kCcmnNoTable, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    g_host.answer = false;
    EXPECT_EQ(kCcmnHostQueryFailed, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    c.pe.cb.loss_nozzle_query = nullptr;
    EXPECT_EQ(kCcmnHostQueryFailed, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
}

TEST(LossNozzleStore, VirtualNozzleOfARaster) {
    Complement c(kLncPmc, 24, HcVariant::Interleaved);  // pitch 2
    ASSERT_EQ(0u, LNC_InitWorkArea(c.lnc, 6, 1, 1, &c.info, 0, nullptr, nullptr, nullptr));
    const int64_t base = MLE_GetVPos(c.pe.mle), first = base + MLE_GetOffsetNozzle(c.pe.mle, 1);
    struct Case {
        int64_t raster;
        uint32_t code;
        uint8_t onPitch;
        uint32_t nozzle;
    };
    const int32_t n = MLE_GetVirtualNozzleNum(c.pe.mle);
    const Case cases[] = {{first, 0, 1, 0},          {first + 1, 0, 0, 0},  {first + 6, 0, 1, 3},
                          {first + 2 * n - 2, 0, 1, uint32_t(n - 1)}, {first + 2 * n, kCcmnBadNozzle, 0, 0},
                          {first - 2, kCcmnBadNozzle, 0, 0}};
    for (const Case& k : cases) {
        uint8_t on = 9;
        uint32_t v = 9;
        EXPECT_EQ(k.code, CCMN_CalcVirtualNozzleNo(c.pe.mle, 1, k.raster, base, &on, &v)) << k.raster;
        if (!k.code) {
            EXPECT_EQ(k.onPitch, on);
            EXPECT_EQ(k.nozzle, v);
        }
    }
}

// ---- The complement search against the pass schedule ----------------------------------

struct Expected {
    int32_t ink;
    uint32_t raster;
    uint16_t tag;
    uint8_t stack;
    bool operator<(const Expected& o) const { return std::tie(ink, raster) < std::tie(o.ink, o.raster); }
};

// Which rasters of the current pass the lost nozzles print: from the pass
// engine's nozzle information of each later pass that still reaches them.
std::set<Expected> reference(MLE_INSTANCE* mle, const std::vector<std::array<uint32_t, 3>>& lost,
                             const std::map<int32_t, uint32_t>& base) {
    std::set<Expected> out;
    for (const auto& [head, ink, nozzle] : lost) {
        const uint32_t end = MLE_GetNozzleEndPosition(mle, int32_t(ink));
        const MleNozzleInfo* info = nullptr;
        if (end == 0xFFFFFFFFu || MLE_GetNozzleInfo(mle, int32_t(head), int32_t(ink), &info)) continue;
        if (int32_t(nozzle) < info->firstNozzle || int32_t(nozzle) >= info->endNozzle) continue;
        const int64_t raster = int64_t{info->nozzlePos} + (int64_t{info->yShift} + nozzle) * info->pitch;
        if (raster < base.at(int32_t(ink)) || raster > int64_t(end)) continue;
        uint16_t selector = 0;
        uint8_t valid = 0;
        int32_t a = 0, b = 0, d = 0;
        MLE_GetHeadPosAfterPass(mle, 0, &valid, &a, &b, &d, &selector);
        MLE_GetNozzleInfo(mle, int32_t(head), int32_t(ink), &info);
        out.insert({int32_t(ink), uint32_t(raster), selector,
                    uint8_t(info->lhtHalftone[nozzle - uint32_t(info->firstNozzle)])});
    }
    return out;
}

TEST(LossNozzleComplement, RastersOfLostNozzlesMatchTheScheduleWalk) {
    Complement c(kLncNhc);
    ASSERT_EQ(0u, c.init());
    const uint32_t head1 = MLE_GetNozzleNum(c.pe.mle, 1, 1);
    const std::vector<std::array<uint32_t, 3>> lost = {
        {0, 0, 3}, {0, 0, 40}, {1, 1, 0}, {1, 1, 2}, {1, 3, head1 - 1}, {0, 5, 17}};
    g_host.entries.clear();
    for (const auto& [h, ink, n] : lost) {
        const uint8_t e[8] = {uint8_t(h), 0, c.inks[ink], uint8_t(n), uint8_t(n >> 8), 1, 0, 0};
        g_host.entries.insert(g_host.entries.end(), e, e + 8);
    }
    g_host.count = uint16_t(lost.size());
    ASSERT_EQ(0u, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    size_t passes = 0, found = 0;
    for (uint8_t end = 0; !end; ++passes) {
        std::map<int32_t, uint32_t> base;
        for (int32_t i = 0; i < 6; ++i) base[i] = CCMN_GetBaseRaster(c.store(), i);
        const std::set<Expected> want = reference(c.pe.mle, lost, base);
        const uint32_t vPos = MLE_GetVPos(c.pe.mle);
        g_host.lists.clear();
        ASSERT_EQ(0u, LNC_Proc(c.lnc, c.pe.rsc->icm->lossNozzleModelData, c.pe.mle));
        EXPECT_EQ(vPos, MLE_GetVPos(c.pe.mle));  // the engine is back at its pass
        std::set<Expected> got;
        for (int32_t i = 0; i < 6; ++i)
            for (int32_t e = 0; e < CCMN_GetComplateRasterNum(c.store(), i); ++e) {
                uint32_t pos = 0;
                uint16_t tag = 0;
                CCMN_GetComplateRasterPos(c.store(), i, e, &pos, &tag);
                got.insert({i, pos, tag, CCMN_GetComplateStackNo(c.store(), i, e, 0)});
                EXPECT_EQ(0, CCMN_GetCMSComplateType(c.store(), i, e));
            }
        ASSERT_EQ(want.size(), got.size()) << "pass " << passes;
        for (auto w = want.begin(), g = got.begin(); w != want.end(); ++w, ++g) {
            EXPECT_EQ(w->raster, g->raster);
            EXPECT_EQ(w->tag, g->tag);
            EXPECT_EQ(w->stack, g->stack);
        }
        found += got.size();
        // The host's list: every complement (CMS off), 16 bytes each.
        ASSERT_EQ(1u, g_host.lists.size());
        const std::vector<uint8_t>& list = g_host.lists[0];
        ASSERT_EQ(got.size() * 16, list.size());
        size_t r = 0;
        for (int32_t i = 0; i < 6; ++i)
            for (int32_t e = 0; e < CCMN_GetComplateRasterNum(c.store(), i); ++e, ++r) {
                const uint8_t* rec = list.data() + 16 * r;
                uint64_t pointer = 0;
                for (int b = 7; b >= 0; --b) pointer = pointer << 8 | rec[b];
                EXPECT_EQ(reinterpret_cast<uintptr_t>(CCMN_GetLossNozzleInfo(c.store(), i, e)), pointer);
                uint32_t pos = 0;
                uint16_t tag = 0;
                CCMN_GetComplateRasterPos(c.store(), i, e, &pos, &tag);
                EXPECT_EQ(pos, uint32_t(rec[8] | rec[9] << 8 | rec[10] << 16 | uint32_t(rec[11]) << 24));
                EXPECT_EQ(CCMN_GetComplateStackNo(c.store(), i, e, 0), rec[12]);
                EXPECT_EQ(uint8_t(tag - 1), rec[13]);
                EXPECT_EQ(0, rec[14] | rec[15]);
            }
        LNC_Next(c.lnc, c.pe.mle);
        uint32_t pos = 0;
        ASSERT_EQ(0u, MLE_Next(c.pe.mle, &pos, &end));
    }
    EXPECT_GT(passes, 3u);
    EXPECT_GE(found, lost.size());
    g_host.answer = false;  // the host refuses the list
    report({{0, 0x10, 3, 1}});
    CCMN_SetBaseRaster(c.store(), 0, 0);
}

TEST(LossNozzleComplement, NextLeavesTheBaseWhenNoHeadPrints) {
    Complement c(kLncPmc);
    ASSERT_EQ(0u, c.init());
    CCMN_SetBaseRaster(c.store(), 0, 7);
    MLE_SetNotPrintRaster(c.pe.mle, 100000, 100000);  // nothing of the page printed
    ASSERT_EQ(0xFFFFFFFFu, MLE_GetNozzleEndPosition(c.pe.mle, 0));
    LNC_Next(c.lnc, c.pe.mle);
    EXPECT_EQ(7u, CCMN_GetBaseRaster(c.store(), 0));
    MLE_SetNotPrintRaster(c.pe.mle, 0, 600);
    const uint32_t end = MLE_GetNozzleEndPosition(c.pe.mle, 0);
    LNC_Next(c.lnc, c.pe.mle);
    EXPECT_EQ(end + 1, CCMN_GetBaseRaster(c.store(), 0));
}

TEST(LossNozzleComplement, HostRefusesTheListAndTooManyPassesAhead) {
    Complement c(kLncNhc | kLncPmc, 24, HcVariant::LossNozzle, 20000);  // more than 32 passes
    ASSERT_EQ(0u, c.init());
    report({{0, 0x10, 3, 1}});
    ASSERT_EQ(0u, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    g_host.answer = false;
    EXPECT_EQ(kNhcHostRefused, LNC_Proc(c.lnc, c.pe.rsc->icm->lossNozzleModelData, c.pe.mle));
    // A search area reaching every coming pass: more than 32 ahead.
    CCMN_ResetComplateRasterInfo(c.store());
    for (int32_t i = 0; i < 6; ++i) CCMN_SetSearchArea(c.store(), i, 0, 0x7FFFFFF0u);
    EXPECT_EQ(kLncTooManyPasses, PMC_Proc(c.lnc->pmc, c.store(), c.pe.mle, nullptr, 0));
}

// ---- CMS types ---------------------------------------------------------------------------

TEST(LossNozzleComplement, ComplementTypeAtAndAroundTheThresholds) {
    uint8_t t[3] = {2, 5, 9}, types[3] = {1, 2, 3};
    const CmsUnitResource cms{3, t, types};
    struct Case {
        uint8_t kind, grade, type;
    };
    const Case cases[] = {{2, 0, 3}, {2, 1, 3}, {2, 2, 1}, {3, 4, 1}, {2, 5, 2}, {0x82, 8, 2}, {3, 9, 3},
                          {2, 200, 3}, {1, 0, 2}, {0x81, 3, 2}, {0, 3, 0}, {5, 3, 0}};
    for (const Case& k : cases) EXPECT_EQ(k.type, CMS_TypeOfGrade(&cms, k.kind, k.grade)) << int(k.kind) << " " << int(k.grade);
    const CmsUnitResource none{0, nullptr, nullptr};
    EXPECT_EQ(0, CMS_TypeOfGrade(&none, 2, 4));
    EXPECT_EQ(0, CMS_TypeOfGrade(nullptr, 2, 4));
}

// ---- The pass-mask ring --------------------------------------------------------------------

struct Ring {
    explicit Ring(int16_t max = 8) : cb(relay_callbacks(ovf.table())) {
        EXPECT_EQ(0u, LNC_Allocate(&lnc, &cb));
        LNC_SetOnOff(kLncPmc, lnc);
        LNC_SetLossNozzleMax(max, lnc);
        EXPECT_EQ(0u, LNC_InitWorkArea(lnc, 1, 2, 1, &info, 0, nullptr, nullptr, nullptr));
    }
    ~Ring() {
        LNC_Free(&lnc, &cb);
        EXPECT_EQ(0u, ovf.live_blocks());
    }
    // A complement raster whose passes k print it with stack, lost1, joint, lost2.
    int32_t add(uint32_t position, std::vector<std::array<uint8_t, 5>> passes) {  // {k, stack, lost1, joint, lost2}
        CcmnStore* s = lnc->store;
        const int32_t e = CCMN_GetComplateRasterNum(s, 0);
        EXPECT_EQ(0u, CCMN_SetComplateRasterInfo(s, 0, &loss, position, 1, 1));
        for (const auto& p : passes) {
            CCMN_UpdateLossPattern(s, 0, e, p[0], p[3], p[2], p[4]);
            CCMN_SetComplateStackNo(s, 0, e, p[0], p[1]);
            CCMN_SetComplatePMCKind(s, 0, e, p[1], 1);
            s->complement[0][e].nozzle[p[0]] = 5u + p[0];
        }
        return e;
    }
    std::vector<std::array<uint16_t, 4>> slots() const {  // {slot, nozzle, own, neighbour}
        std::vector<std::array<uint16_t, 4>> out;
        for (uint32_t k = 0; k < kCcmnPassMax; ++k) {
            const PmcEntry* e = nullptr;
            const uint16_t n = PMC_GetSlot(lnc->pmc, 0, k, &e);
            for (uint16_t i = 0; i < n; ++i) out.push_back({uint16_t(k), e[i].nozzle, e[i].own, e[i].neighbour});
        }
        return out;
    }

    ovcg_test::FakeOvf ovf;
    CallbackTable cb;
    LncObject* lnc = nullptr;
    uint8_t colours[2] = {0x10, 0x20};
    CcmnInkInfo info{1, colours, colours, 2, 1};
    CcmnLossNozzle loss{};
};

// Two stacks of two passes each: set 1 (two passes) tables t[i] = 20 + i.
struct Tables {
    Tables() {
        for (uint32_t n = 1; n <= 2; ++n)
            for (uint32_t i = 0; i < (n << n); ++i) values[n - 1].push_back(uint16_t(10 * n + i));
        for (uint32_t n = 0; n < 2; ++n) {
            pointers[n] = values[n].data();
            sets[n] = PmcTableSet{uint16_t(2u << n), uint16_t(n + 1), 1, &pointers[n], uint16_t(2u << n),
                                  uint16_t(n + 1), 1, &pointers[n]};
        }
        res.setCount = 2;
        res.sets = sets;
        res.maskRows = 3;
        res.unitKind = 1;
    }
    std::vector<uint16_t> values[2];
    uint16_t* pointers[2];
    PmcTableSet sets[2];
    PmcResource res{};
};

TEST(LossNozzleRing, HandWorkedTwoStacks) {
    Ring r;
    Tables t;
    // Stack 0: passes 0 (lost) and 2: lost count 1, history 10b, level 1 ->
    // group 1 table 0 of set 1: t[2 x 2 + o] = 24, 25; x 2 + 1 (even raster).
    // Stack 1: passes 1 and 3 fine: no table, nothing recorded.
    const int32_t e = r.add(10, {{0, 0, 1, 0, 0}, {1, 1, 0, 0, 0}, {2, 0, 0, 0, 0}, {3, 1, 0, 0, 0}});
    // A joint whose neighbour is lost, stack 2 alone: no table, (none, 0).
    r.add(11, {{4, 2, 0, 1, 1}});
    ASSERT_EQ(0u, PMC_SetPMCInfo(r.lnc->pmc, r.lnc->store, nullptr, &t.res, 0, e));
    ASSERT_EQ(0u, PMC_SetPMCInfo(r.lnc->pmc, r.lnc->store, nullptr, &t.res, 0, e + 1));
    EXPECT_EQ((std::vector<std::array<uint16_t, 4>>{{0, 5, 49, 0}, {2, 7, 51, 0}, {4, 9, kPmcNone, 0}}), r.slots());
    EXPECT_EQ(2, CCMN_GetComplateStackPassNum(r.lnc->store, 0, e, 0));
    // The ring turns: slot 0 is cleared and becomes the last.
    LNC_Next(r.lnc, nullptr);
    EXPECT_EQ((std::vector<std::array<uint16_t, 4>>{{1, 7, 51, 0}, {3, 9, kPmcNone, 0}}), r.slots());
}

TEST(LossNozzleRing, MutatedTablesGiveCodes) {
    std::mt19937 rng(954);
    size_t refused = 0;
    for (int round = 0; round < 400; ++round) {
        Ring r;
        Tables t;
        switch (round % 5) {
            case 0: t.res.setCount = uint8_t(rng() % 2); break;
            case 1: t.sets[rng() % 2].rows1 = uint16_t(rng() % 4); break;
            case 2: t.values[rng() % 2][0] = uint16_t(0x7FF0 + rng() % 16); break;
            case 3: t.sets[rng() % 2].count1 = 0; break;
            default: t.res.unitKind = uint8_t(rng() % 3); break;
        }
        std::vector<std::array<uint8_t, 5>> passes;
        for (uint8_t k = 0; k < 6; ++k)
            passes.push_back({k, uint8_t(rng() % 3), uint8_t(rng() % 2), uint8_t(rng() % 2), uint8_t(rng() % 2)});
        const int32_t e = r.add(uint32_t(rng() % 50), passes);
        for (uint32_t s = 0; s < 3; ++s) CCMN_SetComplatePMCKind(r.lnc->store, 0, e, s, uint8_t(rng() % 4));
        const uint32_t rc = PMC_SetPMCInfo(r.lnc->pmc, r.lnc->store, nullptr, &t.res, 0, e);
        EXPECT_TRUE(rc == 0 || rc == kPmcBadStackTable) << rc;
        refused += rc != 0;
    }
    EXPECT_GT(refused, 20u);
}

TEST(LossNozzleRing, MaskHooksAndTheNozzleLimit) {
    Complement c(kLncPmc);
    ASSERT_EQ(0u, c.init());
    report({{0, 0x10, 3, 1}});
    ASSERT_EQ(0u, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    // Virtual nozzle 4 (head 0's nozzle 4) takes over with value 9; nozzle 3 has none.
    PMC_SetPassComplateInfo(c.lnc->pmc, 0, 0, 4, 9, 0);
    PMC_SetPassComplateInfo(c.lnc->pmc, 0, 0, 4, 1, 1);  // the slot holds 4 already
    PMC_SetPassComplateInfo(c.lnc->pmc, 0, 0, 3, kPmcNone, 0);
    LNC_SetMaskIndex(c.lnc, 5);
    EXPECT_EQ(5, LNC_GetMaskIndex(c.lnc));
    std::vector<uint8_t> mask(200, 0xFF);
    std::vector<uint16_t> words(200, 0);
    ASSERT_EQ(0u, LNC_UpdatePassMaskInfo(c.lnc, c.pe.mle, 0, 0, 200, 0x10, mask.data(), words.data()));
    EXPECT_EQ(uint8_t(5 << 5 | 0x1F), mask[4]);
    EXPECT_EQ(9, words[4]);
    EXPECT_EQ(0xFF, mask[3]);
    EXPECT_EQ(kPmcNozzleBeyondLimit,
              LNC_UpdatePassMaskInfo(c.lnc, c.pe.mle, 0, 0, 4, 0x10, mask.data(), words.data()));
    // Nozzle 3's overlap masking is skipped (a none value); nozzle 4's not.
    EXPECT_EQ(1, LNC_IsSkipOlMaskProc(c.lnc, c.pe.mle, 0, 0, 3, 0x10));
    EXPECT_EQ(0, LNC_IsSkipOlMaskProc(c.lnc, c.pe.mle, 0, 0, 4, 0x10));
    LNC_ResetPassComplateInfo(c.lnc);
    EXPECT_EQ(0, LNC_IsSkipOlMaskProc(c.lnc, c.pe.mle, 0, 0, 3, 0x10));
}

// The model's stack numbers and PMC sections broken one at a time: the
// planning of a lost nozzle's rasters stops with a code.
TEST(LossNozzleRing, BrokenModelTablesGiveCodes) {
    using Tweak = void (*)(ovcg_test::ModelHeadControl&);
    struct Case {
        const char* name;
        Tweak tweak;
        uint32_t code;
    };
    const Case cases[] = {
        {"stack number 40",
         [](ovcg_test::ModelHeadControl& hc) {
             for (auto& h : hc.modes[0].lht.halftones) h.assign(h.size(), 40);
         },
         kPmcStackOrPass},
        {"unit data of one byte", [](ovcg_test::ModelHeadControl& hc) { hc.modes[0].pmc_unit.data.resize(1); },
         kPmcBadStackTable},
        {"no sets", [](ovcg_test::ModelHeadControl& hc) { hc.head.pmc_model->sets.clear(); }, kPmcBadStackTable},
        {"values reaching the none marker",
         [](ovcg_test::ModelHeadControl& hc) {
             for (auto& [first, second] : hc.head.pmc_model->sets)
                 for (HcPmcTableGroup* group : {&first, &second})
                     for (auto& table : group->tables) table.assign(table.size(), 0x7FFF);
         },
         kPmcBadStackTable},
    };
    for (const Case& k : cases) {
        ovcg_test::ModelHeadControl hc = hc_variant(HcVariant::LossNozzle);
        k.tweak(hc);
        Complement c(kLncPmc, hc);
        ASSERT_EQ(0u, c.init()) << k.name;
        report({{0, 0x10, 20, 1}});
        ASSERT_EQ(0u, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0)) << k.name;
        uint32_t rc = 0;
        for (uint8_t end = 0; !end && !rc;) {
            rc = LNC_Proc(c.lnc, c.pe.rsc->icm->lossNozzleModelData, c.pe.mle);
            LNC_Next(c.lnc, c.pe.mle);
            uint32_t pos = 0;
            ASSERT_EQ(0u, MLE_Next(c.pe.mle, &pos, &end));
        }
        EXPECT_EQ(k.code, rc) << k.name;
    }
}

TEST(LossNozzleRing, PassMaskPlanningOnTheModel) {
    Complement c(kLncPmc);
    ASSERT_EQ(0u, c.init());
    report({{0, 0x10, 20, 1}, {1, 0x11, 5, 1}});
    ASSERT_EQ(0u, LNC_UpdateLossNozzleInfo(c.lnc, c.pe.mle, 0, 0, 0));
    const LossNozzleResources* res = c.pe.rsc->icm->lossNozzleModelData;
    ASSERT_NE(nullptr, res->pmc);
    EXPECT_EQ(3, res->pmc->setCount);
    size_t planned = 0;
    for (uint8_t end = 0; !end;) {
        ASSERT_EQ(0u, LNC_Proc(c.lnc, res, c.pe.mle));
        // The current pass's entries name nozzles of the pass.
        for (int32_t ink : {0, 1}) {
            const PmcEntry* entries = nullptr;
            const uint16_t n = PMC_GetSlot(c.lnc->pmc, ink, 0, &entries);
            for (uint16_t i = 0; i < n; ++i) EXPECT_LT(entries[i].nozzle, MLE_GetVirtualNozzleNum(c.pe.mle));
            planned += n;
        }
        LNC_Next(c.lnc, c.pe.mle);
        uint32_t pos = 0;
        ASSERT_EQ(0u, MLE_Next(c.pe.mle, &pos, &end));
    }
    EXPECT_GT(planned, 0u);
    uint32_t size = 0;
    uint8_t width = 0;
    uint16_t height = 0;
    const uint8_t* table = nullptr;
    LNC_GetPOLMaskTable(c.lnc, res, &size, &width, &height, &table);
    EXPECT_EQ(6u, size);
    EXPECT_EQ(2, width);
    EXPECT_EQ(3, height);
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(6, table[5]);
}

}  // namespace
}  // namespace ovcg::irac::test
