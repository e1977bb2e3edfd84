#include "hxr/control/hxr_clrmgr.h"
#include "support/hxr_fixture.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <vector>

namespace {

struct InkSetRow {
    uint32_t ink_set;
    std::vector<uint32_t> output;
    std::vector<uint32_t> lut;
};

// Every ink set: output colours, then the order of the colour LUT.
const InkSetRow kRows[] = {
    {0, {0}, {0}},
    {1, {1, 2, 3, 0}, {1, 2, 3, 0}},
    {2, {1, 2, 3}, {1, 2, 3}},
    {3, {1, 2, 3, 0, 4, 5}, {1, 4, 2, 5, 3, 0}},
    {4, {1, 2, 3, 0, 4, 5, 6}, {1, 4, 2, 5, 3, 0, 6}},
    {5, {1, 2, 3, 0}, {1, 2, 3, 0}},
    {6, {1, 2, 3, 0, 4, 5, 7}, {1, 4, 2, 5, 3, 0, 7}},
    {7, {1, 2, 3, 0, 8, 9, 10}, {1, 8, 2, 9, 3, 0, 10}},
    {8, {1, 2, 3, 0, 8, 9}, {1, 8, 2, 9, 3, 0}},
    {9, {1, 2, 3, 0, 4, 5, 7, 11}, {1, 4, 2, 5, 3, 0, 7, 11}},
    {10, {1, 2, 3, 12, 8, 9, 10, 13}, {1, 8, 2, 9, 3, 12, 10, 13}},
    {11, {1, 2, 3, 0}, {1, 2, 3, 0}},
    {12, {1, 2, 3, 0, 8, 14, 10}, {1, 8, 2, 14, 3, 0, 10}},
    {13, {1, 2, 3, 0, 8, 14}, {1, 8, 2, 14, 3, 0}},
    {14, {1, 2, 3, 12, 8, 14, 10, 13}, {1, 8, 2, 14, 3, 12, 10, 13}},
    {15, {1, 2, 3, 0, 4, 5, 14, 15}, {1, 4, 2, 5, 3, 0, 14, 15}},
    {16, {1, 2, 3, 0, 4, 5, 7, 11, 14, 15}, {1, 4, 2, 5, 3, 0, 7, 11, 14, 15}},
    {17, {1, 2, 3, 0, 15, 14, 10}, {1, 15, 2, 14, 3, 0, 10}},
    {18, {1, 2, 3, 12, 13}, {1, 2, 3, 12, 13}},
    {19, {1, 2, 3, 12, 15, 14, 10, 13}, {1, 15, 2, 14, 3, 12, 10, 13}},
    {20, {1, 2, 3, 0, 4, 5, 14, 15, 16}, {1, 4, 2, 5, 3, 0, 14, 15, 16}},
    {24, {1, 2, 3, 0, 17}, {1, 2, 3, 0, 17}},
    {25, {1, 2, 3, 0, 4, 5, 17}, {1, 2, 3, 0, 17}},
    {26, {1, 2, 3, 0, 18}, {1, 2, 3, 0}},
    {27, {1, 2, 3, 0, 8, 14, 9, 10}, {1, 8, 2, 14, 3, 0, 9, 10}},
    {28, {1, 2, 3, 12, 4, 5, 13}, {1, 2, 3, 12, 13}},
    {29, {1, 2, 3, 0, 4, 5, 14, 7}, {1, 4, 2, 5, 3, 0, 14, 7}},
    {30, {1, 2, 3, 0, 4, 5, 14, 7, 19}, {1, 4, 2, 5, 3, 0, 14, 7, 19}},
    {31, {1, 2, 3, 0, 4, 5, 14, 7, 16, 19}, {1, 4, 2, 5, 3, 0, 14, 7, 16, 19}},
    {33, {1, 2, 3, 0, 15, 14, 10, 16}, {1, 15, 2, 14, 3, 0, 10, 16}},
    {34, {1, 2, 3, 0, 16}, {1, 2, 3, 0, 16}},
    {35, {1, 2, 3, 0, 16, 10}, {1, 2, 3, 0, 16, 10}},
    {36, {1, 2, 3, 0, 16, 20, 10}, {1, 2, 3, 0, 16, 20, 10}},
    {37, {1, 2, 3, 12, 4, 5, 7, 13}, {1, 4, 2, 5, 3, 12, 7, 13}},
    {38, {1, 2, 3, 12, 4, 5, 7, 11, 14, 15, 9, 13}, {1, 4, 2, 5, 3, 12, 7, 11, 14, 15, 9, 13}},
    {39, {1, 2, 3, 0, 4, 5, 7, 16}, {1, 4, 2, 5, 3, 0, 7, 16}},
    {40, {1, 2, 3, 12, 4, 5, 7, 11, 13}, {1, 4, 2, 5, 3, 12, 7, 11, 13}},
    {41, {1, 2, 3, 12, 4, 5, 14, 15, 9, 13}, {1, 4, 2, 5, 3, 12, 14, 15, 9, 13}},
    {42, {1, 2, 3, 12, 4, 5, 7, 21, 11, 13}, {1, 4, 2, 5, 3, 12, 7, 21, 11, 13}},
    {43, {1, 2, 3, 0, 8, 7}, {1, 8, 2, 7, 3, 0}},
    {44, {1, 2, 3, 0, 8, 7}, {1, 8, 2, 7, 3, 0}},
    {45, {1, 2, 3, 0, 8, 14, 9, 7}, {1, 8, 2, 14, 3, 0, 9, 7}},
    {46, {1, 2, 3, 0, 14, 15}, {1, 14, 2, 15, 3, 0}},
    {47, {1, 2, 3, 0, 8, 15, 16}, {1, 8, 2, 15, 3, 0, 16}},
    {48, {1, 2, 3, 0, 4, 5, 7, 14, 8, 16}, {1, 4, 2, 5, 3, 0, 7, 14, 8, 16}},
    {49, {1, 2, 3, 0, 4, 5, 22}, {1, 4, 2, 5, 3, 0, 22}},
};

using ClrMgr = HxrTest;

std::vector<uint32_t> row_codes(const HXRInkRow* r) {
    return r ? std::vector<uint32_t>(r->codes, r->codes + r->count) : std::vector<uint32_t>{};
}

TEST_F(ClrMgr, TablesHoldEveryInkSet) {
    std::set<uint32_t> known;
    for (const auto& r : kRows) {
        known.insert(r.ink_set);
        EXPECT_EQ(row_codes(HXRGetBaseOutputTable(r.ink_set)), r.output) << r.ink_set;
        EXPECT_EQ(row_codes(HXRGetLutTable(r.ink_set)), r.lut) << r.ink_set;
    }
    for (uint32_t s = 0; s < 64; ++s) {
        if (known.count(s)) continue;
        EXPECT_EQ(HXRGetBaseOutputTable(s), nullptr) << s;
        EXPECT_EQ(HXRGetLutTable(s), nullptr) << s;
        EXPECT_EQ(HXRCreateClrMgr(s, 1, 0, mm), nullptr) << s;
    }
    EXPECT_EQ(HXRGetBaseOutputTable(0xFFFFFFFFu), nullptr);
}

// A plain-bit manager for every ink set answers its rows back.
TEST_F(ClrMgr, ManagersMirrorTheRows) {
    for (const auto& r : kRows) {
        if (HXRGetSpecialOutputTable(r.ink_set)) continue;
        HXRClrMgr* c = HXRCreateClrMgr(r.ink_set, 1, 0, mm);
        ASSERT_NE(c, nullptr) << r.ink_set;
        const uint32_t n = uint32_t(r.output.size());
        EXPECT_EQ(HXRGetOutputColorNum(c), n);
        EXPECT_EQ(HXRGetRealOutputColorNum(c), n);
        EXPECT_EQ(HXRGetHalftoneColorNum(c), n);
        EXPECT_EQ(HXRGetLutColorNum(c), r.lut.size());
        for (uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(HXRGetOutputColorCode(c, i), r.output[i]);
            EXPECT_EQ(HXRGetOutputColorOrder(c, r.output[i]), i);
            EXPECT_EQ(HXRGetHalftoneColorCode(c, i), r.output[i]);
            EXPECT_EQ(HXRGetOutputDotNum(c, i), 1u);
            const uint32_t k = HXRGetOutputDthOffOrder(c, i);
            EXPECT_EQ(HXRGetOutputColorOrderByDthOff(c, k), i);
            EXPECT_EQ(HXRGetOutputColorOrderByHalftoneIndex(c, i), i);
            EXPECT_EQ(HXRIsV6UpperColor(c, r.output[i]), 0u);
        }
        for (uint32_t i = 0; i < r.lut.size(); ++i) {
            EXPECT_EQ(HXRGetLutColorCode(c, i), r.lut[i]);
            EXPECT_EQ(HXRGetLutColorOrder(c, r.lut[i]), i);
        }
        EXPECT_EQ(HXRGetOutputColorCode(c, n), kHxrNoValue);
        EXPECT_EQ(HXRGetOutputDotNum(c, n), 0u);
        EXPECT_EQ(HXRGetOutputDthOffOrder(c, n), kHxrNoValue);
        EXPECT_EQ(HXRGetLutColorCode(c, uint32_t(r.lut.size())), kHxrNoValue);
        EXPECT_EQ(HXRDeleteClrMgr(c, mm), 0u);
    }
}

// Dot levels per bit depth and special row, and the dither-offset order
// (K first from four inks up, else the output order).
TEST_F(ClrMgr, DotLevelsAndOffsetOrders) {
    const struct {
        uint32_t ink_set, bits, black;
        std::vector<uint32_t> dots, offset_order;  // empty order: not checked
    } cases[] = {
        {3, 2, 0, {3, 3, 3, 3, 3, 3}, {1, 2, 3, 0, 4, 5}},
        {0, 4, 0, {15}, {0}},
        {2, 4, 0, {15, 15, 15}, {0, 1, 2}},
        {1, 1, 0, {1, 1, 1, 1}, {1, 2, 3, 0}},
        {38, 3, 0, {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7}, {1, 2, 3, 0, 4, 5, 6, 7, 8, 9, 10, 11}},
        {11, 34, 0, {5, 5, 3, 3}, {1, 2, 3, 0}},
        {11, 34, 13, {5, 5, 3, 3}, {}},
        {44, 34, 0, {5, 5, 3, 3, 3, 3}, {}},
    };
    for (const auto& k : cases) {
        HXRClrMgr* c = HXRCreateClrMgr(k.ink_set, k.bits, k.black, mm);
        ASSERT_NE(c, nullptr) << k.ink_set;
        const uint32_t n = uint32_t(k.dots.size());
        ASSERT_EQ(HXRGetOutputColorNum(c), n) << k.ink_set;
        for (uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(HXRGetOutputDotNum(c, i), k.dots[i]) << k.ink_set << " ink " << i;
            if (k.offset_order.empty()) continue;
            EXPECT_EQ(HXRGetOutputDthOffOrder(c, i), k.offset_order[i]) << k.ink_set << " ink " << i;
            EXPECT_EQ(HXRGetOutputColorOrderByDthOff(c, k.offset_order[i]), i) << k.ink_set << " ink " << i;
        }
        EXPECT_EQ(HXRGetOutputColorOrderByDthOff(c, n), kHxrNoValue);
        // The LUT order does not depend on the bits.
        const auto row = std::find_if(std::begin(kRows), std::end(kRows),
                                      [&](const InkSetRow& r) { return r.ink_set == k.ink_set; });
        for (uint32_t i = 0; i < row->lut.size(); ++i) EXPECT_EQ(HXRGetLutColorCode(c, i), row->lut[i]);
        EXPECT_EQ(HXRDeleteClrMgr(c, mm), 0u);
    }
}

TEST_F(ClrMgr, DerivedChannelsOfInkSets11And44) {
    HXRClrMgr* c = HXRCreateClrMgr(11, 34, 13, mm);
    ASSERT_NE(c, nullptr);
    const uint32_t real[] = {1, 2, 3, 13, 4, 5};
    ASSERT_EQ(HXRGetRealOutputColorNum(c), 6u);
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(HXRGetRealOutputColorCode(c, i), real[i]);
    EXPECT_EQ(HXRGetRealOutputColorOrder(c, 13), 3u);
    EXPECT_EQ(HXRGetRealOutputColorOrder(c, 0), kHxrNoValue);
    const uint32_t ht[] = {1, 2, 3, 0, 257, 258};
    ASSERT_EQ(HXRGetHalftoneColorNum(c), 6u);
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(HXRGetHalftoneColorCode(c, i), ht[i]);
    // Halftone colours compare the full code, output colours the low 8 bits.
    EXPECT_EQ(HXRGetHalftoneColorOrder(c, 257), 4u);
    EXPECT_EQ(HXRGetHalftoneColorOrder(c, 1), 0u);
    EXPECT_EQ(HXRGetOutputColorOrder(c, 258), 1u);
    EXPECT_EQ(HXRIsV6UpperColor(c, 258), 1u);
    EXPECT_EQ(HXRIsV6UpperColor(c, 2), 0u);
    EXPECT_EQ(HXRIsV6UpperColor(c, 5), kHxrNoValue);
    EXPECT_EQ(HXRGetOutputColorOrderByHalftoneIndex(c, 4), 0u);
    EXPECT_EQ(HXRGetOutputColorOrderByHalftoneIndex(c, 5), 1u);
    EXPECT_EQ(HXRGetOutputColorOrderByHalftoneIndex(c, 6), kHxrNoValue);
    // Output and halftone colours keep code 0.
    EXPECT_EQ(HXRGetOutputColorCode(c, 3), 0u);
    EXPECT_EQ(HXRDeleteClrMgr(c, mm), 0u);

    c = HXRCreateClrMgr(44, 34, 0, mm);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(HXRGetRealOutputColorNum(c), 8u);
    EXPECT_EQ(HXRGetHalftoneColorCode(c, 6), 8u);
    EXPECT_EQ(HXRGetOutputColorOrderByHalftoneIndex(c, 7), 5u);  // Lk
    EXPECT_EQ(HXRDeleteClrMgr(c, mm), 0u);
}

TEST_F(ClrMgr, RefusedCombinations) {
    struct Case {
        uint32_t ink_set, bits;
    } cases[] = {
        {11, 2},   // special output channels without special dot sizes
        {44, 1},
        {3, 34},   // special dot sizes that the ink set lacks
        {11, 18},  // no row for these bits
        {21, 1}, {22, 1}, {23, 1}, {32, 1}, {50, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(HXRCreateClrMgr(c.ink_set, c.bits, 0, mm), nullptr) << c.ink_set;
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateClrMgr(1, 1, 0, mm), nullptr);
    svc.fail_allocation_after(-1);
    EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
}

TEST_F(ClrMgr, BlackInkCodeReplacesKInRealOutput) {
    HXRClrMgr* c = HXRCreateClrMgr(1, 1, 13, mm);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(HXRGetRealOutputColorCode(c, 3), 13u);
    EXPECT_EQ(HXRGetOutputColorCode(c, 3), 0u);
    EXPECT_EQ(HXRGetHalftoneColorCode(c, 3), 0u);
    EXPECT_EQ(HXRDeleteClrMgr(c, mm), 0u);
}

TEST_F(ClrMgr, NullManager) {
    EXPECT_EQ(HXRDeleteClrMgr(nullptr, mm), kHxrClrMgrNone);
    EXPECT_EQ(error(), kHxrClrMgrNone);
    EXPECT_EQ(HXRGetOutputColorNum(nullptr), 0u);
    EXPECT_EQ(HXRGetLutColorNum(nullptr), 0u);
    EXPECT_EQ(HXRGetOutputColorCode(nullptr, 0), kHxrNoValue);
    EXPECT_EQ(HXRGetOutputDotNum(nullptr, 0), 0u);
    EXPECT_EQ(HXRIsV6UpperColor(nullptr, 0), kHxrNoValue);
    EXPECT_EQ(HXRGetOutputColorOrderByDthOff(nullptr, 0), kHxrNoValue);
    EXPECT_EQ(HXRGetSpecialDotTable(11, 2), nullptr);
    ASSERT_NE(HXRGetSpecialDotTable(11, 34), nullptr);
    EXPECT_EQ(HXRGetSpecialDotTable(11, 34)->count, 4u);
}

}  // namespace
