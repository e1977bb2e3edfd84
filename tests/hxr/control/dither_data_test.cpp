#include "hxr/binarize/hxr_runtime_dither.h"
#include "hxr/control/hxr_alloc_array.h"
#include "hxr/control/hxr_dth_data.h"
#include "host_data_fixture.h"

namespace {

using namespace ovcg_test;

// Small masks beside the model's: odd and tiny widths, vertically shifted,
// and the two odd-sized masks that the model's print modes do not use.
constexpr uint16_t kMask2x2 = 530, kMask3x4 = 531, kMask1x3 = 532;

class DitherData : public HostDataTest {
protected:
    void SetUp() override {
        HostDataTest::SetUp();
        svc.add_resource(kMask2x2, write_plain_mask(model_scattered_mask(2, 2, 16, 1, 0)));
        svc.add_resource(kMask3x4, write_plain_mask(model_scattered_mask(3, 4, 12, 2, 0)));
        svc.add_resource(kMask1x3, write_plain_mask(model_scattered_mask(1, 3, 16, 2, 0)));
        svc.add_resource(kModelMaskOdd37Id, write_plain_mask(model_odd_mask_37()));
        svc.add_resource(kModelMaskOdd5Id, write_plain_mask(model_odd_mask_5()));
        clr = colours(3, 2);
    }
    HXRTRAQ2DthDataMgr* make(const HXRDthResMgr* res, const HXRDthLayout& lay) {
        HXRTRAQ2DthDataMgr* m = HXRCreateTRAQ2DthDataMgrFrom(res, &lay, clr, mm);
        if (m) at_end([this, m] { EXPECT_EQ(HXRDeleteTRAQ2DthDataMgr(m, mm), 0u); });
        return m;
    }
    const HXRClrMgr* clr = nullptr;
};

// The threshold of (area, ink) at a pixel the layout stores, read from the mask.
uint32_t mask_at(const HXRDthResMgr* r, uint32_t area, uint32_t ink, int64_t x, int64_t y) {
    const int64_t w = HXRGetDthResMgrSizeH(r, area, ink), h = HXRGetDthResMgrSizeV(r, area, ink);
    return HXRGetDthResMgrThresh(r, area, ink, uint32_t(((x % w) + w) % w), uint32_t(((y % h) + h) % h));
}

TEST_F(DitherData, LayoutsReadBackThresholdByThreshold) {
    for (uint16_t id : {kModelDitherSwitchId, kModelMaskOdd37Id, kModelMaskOdd5Id, kModelMaskUbecId, kMask2x2, kMask1x3}) {
        const HXRDthResMgr* res = dither_resources(id, clr);
        ASSERT_NE(res, nullptr);
        for (uint32_t order : {1u, 2u})
            for (uint32_t bytes : {2u, 4u})
                for (uint32_t update = 0; update <= 5; ++update) {
                    SCOPED_TRACE(testing::Message() << id << " order " << order << " bytes " << bytes << " update " << update);
                    const uint32_t before = HXRGetMemBlockCount(mm);
                    const HXRDthLayout lay{order, 8192, bytes, update, 1, 1};
                    HXRTRAQ2DthDataMgr* m = HXRCreateTRAQ2DthDataMgrFrom(res, &lay, clr, mm);
                    const uint32_t w = HXRGetDthResMgrSizeH(res, 0, 0), h = HXRGetDthResMgrSizeV(res, 0, 0);
                    if (order == 2 && (w % 2 || h % 2)) {
                        EXPECT_EQ(m, nullptr);
                        expect_error(6951);
                        continue;
                    }
                    ASSERT_NE(m, nullptr);
                    for (uint32_t ink = 0; ink < 6; ++ink) {
                        const HXRTRAQ2DthSingleData* d = HXRGetTRAQ2DthDataSingleInfo(HXRGetTRAQ2DthDataMgrDthInfo(m, 0), ink);
                        ASSERT_NE(d, nullptr);
                        const uint32_t mw = uint32_t(d->view.SizeH), mh = uint32_t(d->view.SizeV);
                        const int64_t sv = d->view.ShiftV;
                        EXPECT_EQ(sv, int32_t(HXRGetDthResMgrShiftV(res, 0, ink)));
                        const uint32_t l = order == 1 ? (update > 1 ? (update + mw) & ~1u : mw) : 2 * mw;
                        ASSERT_EQ(d->rowLength, l);
                        uint64_t i = 0;
                        for (uint32_t y = 0; y < mh; y += order)
                            for (uint32_t x = 0; x < l; ++x, ++i) {
                                uint32_t t;
                                if (order == 2)
                                    t = mask_at(res, 0, ink, x / 2, y + x % 2);
                                else
                                    t = x < mw ? mask_at(res, 0, ink, x, y) : mask_at(res, 0, ink, (x - mw) % mw, y + sv);
                                ASSERT_EQ(HXRGetTRAQ2DthValue(d, i), t + 8192) << x << "," << y;
                            }
                        EXPECT_EQ(i, d->valueCount);
                        const bool binariser = order == 1 && bytes == 2;
                        EXPECT_EQ(d->view.cells, binariser ? d->narrow : nullptr);
                        EXPECT_EQ(d->view.stride, binariser ? l : 0u);
                    }
                    EXPECT_EQ(HXRDeleteTRAQ2DthDataMgr(m, mm), 0u);
                    EXPECT_EQ(HXRGetMemBlockCount(mm), before);
                }
    }
}

TEST_F(DitherData, RowLengthForUpdatePixelsThree) {
    const HXRDthResMgr* res = dither_resources(kModelDitherSwitchId, clr);
    const HXRTRAQ2DthDataMgr* m = make(res, {1, 8192, 2, 3, 1, 1});
    ASSERT_NE(m, nullptr);
    // Ink 0 (dither-offset order 1) takes the 64-wide mask, ink 3 (order 0) the 32-wide one.
    const HXRDthData* d = HXRGetTRAQ2DthDataMgrDthSingleInfo(m, 0, 3);
    ASSERT_EQ(d->SizeH, 32);
    EXPECT_EQ(d->stride, 34u);
    EXPECT_EQ(d->cells[32], mask_at(res, 0, 3, 0, d->ShiftV) + 8192);
    EXPECT_EQ(d->cells[34 + 33], mask_at(res, 0, 3, 1, 1 + d->ShiftV) + 8192);
}

TEST_F(DitherData, EqualMasksShareOneObject) {
    const HXRDthResMgr* one = dither_resources(kModelDitherSwitchId, clr);
    const HXRDthResMgr* two = dither_resources(kModelDitherSwitchAreasId, clr);
    const uint32_t before = HXRGetMemBlockCount(mm);
    const HXRDthLayout lay{1, 8192, 2, 4, 3, 3};
    HXRTRAQ2DthDataMgr* m = HXRCreateTRAQ2DthDataMgrFrom(two, &lay, clr, mm);
    ASSERT_NE(m, nullptr);
    // Area 0: the 12-bit mask and the shared 16-bit one; area 1 the two UBEC masks.
    EXPECT_EQ(HXRGetTRAQ2DthDataNum(m), 4u);
    EXPECT_EQ(HXRGetTRAQ2DthAreaNum(m), 2);
    const HXRTRAQ2DthSingleData* list[kHxrMaxDthObjects];
    ASSERT_EQ(HXRGetTRAQ2DthSingleInfoDataList(m, list, kHxrMaxDthObjects), 4u);
    for (uint32_t area = 0; area < 2; ++area)
        for (uint32_t ink = 0; ink < 6; ++ink) {
            const uint32_t at = HXRSherchTRAQ2DthSingleInfoData(m, list, 4, area, ink);
            ASSERT_LT(at, 4u);
            EXPECT_EQ(list[at], HXRGetTRAQ2DthDataSingleInfo(HXRGetTRAQ2DthDataMgrDthInfo(m, area), ink));
            for (uint32_t other = 0; other < 6; ++other)
                EXPECT_EQ(HXRSherchTRAQ2DthSingleInfoData(m, list, 4, area, other) == at,
                          HXRIsSameDth(two, area, ink, area, other) == 1);
        }
    // Ink 1's 4 x 4 UBEC mask has no 4 x 2 blocks; ink 0's 4 x 2 one has.
    EXPECT_NE(HXRGetTRAQ2DthDataMgrUBECSingleInfo(m, 1, 0), nullptr);
    EXPECT_EQ(HXRGetTRAQ2DthDataMgrUBECSingleInfo(m, 1, 1), nullptr);
    EXPECT_EQ(HXRGetTRAQ2DthDataMgrDthSingleInfo(m, 2, 0), nullptr);
    EXPECT_EQ(HXRGetTRAQ2DthDataMgrDthOffSingleInfo(m, -1, 0), nullptr);
    EXPECT_EQ(HXRGetTRAQ2DthDataMgrDthSingleInfo(m, 0, 12), nullptr);
    EXPECT_EQ(HXRDeleteTRAQ2DthDataMgr(m, mm), 0u);
    EXPECT_EQ(HXRGetMemBlockCount(mm), before);

    const HXRTRAQ2DthDataMgr* single = make(one, {1, 8192, 2, 4, 1, 1});
    EXPECT_EQ(HXRGetTRAQ2DthDataNum(single), 2u);
    EXPECT_EQ(HXRGetTRAQ2DthDataMgrDthSingleInfo(single, 5, 2), HXRGetTRAQ2DthDataMgrDthSingleInfo(single, 0, 2));
    for (uint32_t ink = 0; ink < 6; ++ink) {
        const HXRDthOffset* off = HXRGetTRAQ2DthDataMgrDthOffSingleInfo(single, 3, ink);
        EXPECT_EQ(off->OffsetH, HXRGetDthResMgrOffsetH(one, 0, ink));
        EXPECT_EQ(off->OffsetV, HXRGetDthResMgrOffsetV(one, 0, ink));
    }
    // The binariser's runtime state reaches the manager through its ops table.
    HXRRuntimeDither* rt = HXRCreateRuntimeDither(mm, &kHxrDthDataMgrOps);
    ASSERT_NE(rt, nullptr);
    ASSERT_EQ(HXRSetDthMgr(rt, single), 0u);
    EXPECT_EQ(HXRGetDthDataSingleInfo(rt, 77, 4), HXRGetTRAQ2DthDataMgrDthSingleInfo(single, 0, 4));
    EXPECT_EQ(HXRGetDthOffDataSingleInfo(rt, 5, 1)->OffsetV, HXRGetDthResMgrOffsetV(one, 0, 1));
    HXRFreeMem(mm, rt);
}

TEST_F(DitherData, UbecBlocksHoldTheMaskThresholds) {
    const struct {
        uint32_t mask, kind, bw, bh;
    } cases[] = {{kModelDitherSwitchId, 2, 4, 4}, {kModelDitherSwitchId, 3, 4, 2}, {kModelDitherSwitchId, 4, 2, 4},
                 {kModelMaskUbecId, 1, 4, 4},     {kModelMaskUbec8Id, 1, 4, 2},     {kModelMaskUbec8Id, 3, 4, 2},
                 {kModelMaskOdd37Id, 3, 4, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mask << " kind " << c.kind);
        const HXRDthResMgr* res = dither_resources(c.mask, clr);
        const HXRTRAQ2DthDataMgr* m = make(res, {1, 8192, 2, 4, c.kind, 2});
        ASSERT_NE(m, nullptr);
        for (uint32_t ink = 0; ink < 6; ++ink) {
            const HXRTRAQ2UBECDthData* u = HXRGetTRAQ2DthDataMgrUBECSingleInfo(m, 0, ink);
            ASSERT_NE(u, nullptr);
            EXPECT_EQ(HXRGetTRAQ2DthDataMgrDthSingleInfo(m, 0, ink), nullptr);  // UBEC only
            ASSERT_EQ(u->blockW, c.bw);
            ASSERT_EQ(u->blockH, c.bh);
            EXPECT_EQ(u->blocksH, HXRGetDthResMgrSizeH(res, 0, ink) / c.bw);
            const bool plain = HXRGetDthResType(HXRGetDthResMgrMask(res, 0, ink)) == kHxrDthTypePlain;
            const uint32_t n = c.bw * c.bh;
            for (uint32_t b = 0; b < u->blocksH * u->blocksV; ++b)
                for (uint32_t p = 0; p < n; ++p) {
                    const uint32_t x = (b % u->blocksH) * c.bw + p % c.bw, y = (b / u->blocksH) * c.bh + p / c.bw;
                    ASSERT_LT(u->orders[b * n + p], n);
                    ASSERT_EQ(u->thresholds[b * n + u->orders[b * n + p]], mask_at(res, 0, ink, x, y)) << b << " " << p;
                    if (plain && p > 0) {
                        ASSERT_LE(u->thresholds[b * n + p - 1], u->thresholds[b * n + p]);
                    }
                }
        }
    }
    // A plain mask has no blocks of its own; UBEC data needs two-byte data.
    const HXRDthResMgr* res = dither_resources(kModelDitherSwitchId, clr);
    EXPECT_EQ(make(res, {1, 8192, 2, 4, 1, 2}), nullptr);
    EXPECT_EQ(make(res, {1, 8192, 4, 4, 2, 2}), nullptr);
    EXPECT_EQ(error(), 0u);
}

TEST_F(DitherData, EachCodeHasOneCause) {
    const HXRDthResMgr* odd = dither_resources(kMask3x4, clr);
    EXPECT_EQ(make(odd, {2, 8192, 2, 0, 1, 1}), nullptr);
    expect_error(6951);
    // Row pairs of the odd mask are not needed when the UBEC data can be made.
    EXPECT_NE(make(odd, {2, 8192, 2, 0, 4, 3}), nullptr);
    EXPECT_EQ(error(), 0u);
    EXPECT_EQ(make(dither_resources(kModelDitherSwitchId, clr), {1, 0xF100, 2, 4, 1, 1}), nullptr);
    expect_error(6952);
    EXPECT_NE(make(dither_resources(kModelDitherSwitchId, clr), {1, 0xF100, 4, 4, 1, 1}), nullptr);
    EXPECT_EQ(make(odd, {1, 8192, 2, 0xFFFFFFF0u, 1, 1}), nullptr);
    expect_error(6952);
    EXPECT_EQ(make(odd, {3, 8192, 2, 0, 1, 1}), nullptr);
    EXPECT_EQ(make(odd, {1, 8192, 2, 0, 1, 4}), nullptr);
    EXPECT_EQ(error(), 0u);
    EXPECT_EQ(HXRDeleteTRAQ2DthDataMgr(nullptr, mm), 7311u);
    expect_error(7311);
    EXPECT_EQ(HXRDeleteTRAQ2DthData(nullptr, mm), 6901u);
    expect_error(6901);
    EXPECT_EQ(HXRDeleteTRAQ2DthOffData(nullptr, mm), 7001u);
    expect_error(7001);
    // Sizes from resource fields are refused beyond the memory manager's blocks.
    EXPECT_EQ(HXRArrayBytes(0x7FFFFFFF, 2), 0xFFFFFFFEull);
    EXPECT_EQ(HXRArrayBytes(0x80000000ull, 2), 0u);
    EXPECT_EQ(HXRAllocArray<uint32_t>(mm, 0x40000000ull), nullptr);
}

}  // namespace
