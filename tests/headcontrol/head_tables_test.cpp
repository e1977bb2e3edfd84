// The five head tables: colour order per nozzle line, lookups, chip use,
// feed-direction correction, discharge timing, layered halftone arrays.
#include "headcontrol/head_tables.h"

#include "support/fake_ovf.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace ovcg::irac {
namespace {

using ovcg_test::FakeOvf;

// One table of each kind with `lines` nozzle lines on a fresh fake platform.
struct Tables {
    explicit Tables(int16_t lines, int16_t heads = 2, bool exists = true) : cb(relay_callbacks(ovf.table())) {
        EXPECT_EQ(YDS_Allocate(&yds, &cb), 0u);
        EXPECT_EQ(NLM_Allocate(&nlm, &cb), 0u);
        EXPECT_EQ(RLS_Allocate(&rls, &cb), 0u);
        EXPECT_EQ(LHT_Allocate(&lht, &cb), 0u);
        EXPECT_EQ(SSS_Allocate(&sss, &cb), 0u);
        EXPECT_EQ(YDS_PrepareBeforeLoadingResource(lines, exists, exists, yds), 0u);
        EXPECT_EQ(NLM_PrepareBeforeLoadingResource(heads, lines, exists, nlm), 0u);
        EXPECT_EQ(RLS_PrepareBeforeLoadingModelResource(lines, exists, rls), 0u);
    }
    ~Tables() {
        YDS_Free(&yds, &cb);
        NLM_Free(&nlm, &cb);
        RLS_Free(&rls, &cb);
        LHT_Free(&lht, &cb);
        SSS_Free(&sss, &cb);
        EXPECT_EQ(yds, nullptr);
        EXPECT_EQ(ovf.live_blocks(), 0u);
        EXPECT_EQ(ovf.bad_frees(), 0u);
    }
    FakeOvf ovf;
    CallbackTable cb;
    YdsTable* yds = nullptr;
    NlmTable* nlm = nullptr;
    RlsTable* rls = nullptr;
    LhtTable* lht = nullptr;
    SssTable* sss = nullptr;
};

std::vector<uint8_t> lines_of(const uint8_t* codes, int16_t n) {
    return codes ? std::vector<uint8_t>(codes, codes + n) : std::vector<uint8_t>{};
}

TEST(HeadTablesOrder, PlainAndSplitSettersOfTheThreeTables) {
    const std::vector<uint8_t> codes = {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7};
    const struct {
        const char* what;
        int16_t lines;
        bool split;
        int32_t n_or_arrays, group;
        uint32_t yds, nlm, rls;       // codes
        std::vector<uint8_t> result;  // the lines after a success
    } cases[] = {
        {"last codes reversed", 3, false, 6, 0, 0, 0, 0, {0xC5, 0xC4, 0xC3}},
        {"as many codes as lines", 6, false, 6, 0, 0, 0, 0, {0xC5, 0xC4, 0xC3, 0xC2, 0xC1, 0xC0}},
        {"more lines than codes", 7, false, 6, 0, 1001, 985, 996, {0, 0, 0, 0, 0, 0, 0}},
        {"no lines", 0, false, 6, 0, 0, 0, 0, {}},
        {"groups from the end, inner order kept", 6, true, 3, 2, 0, 0, 0, {0xC4, 0xC5, 0xC2, 0xC3, 0xC0, 0xC1}},
        {"more split codes than lines: the lines fill", 5, true, 4, 2, 0, 0, 0, {0xC6, 0xC7, 0xC4, 0xC5, 0xC2}},
        {"one group of four", 3, true, 1, 4, 0, 0, 0, {0xC0, 0xC1, 0xC2}},
        {"no arrays", 2, true, 0, 2, 1002, 986, 997, {0, 0}},
        {"too few split codes", 7, true, 3, 2, 1003, 987, 998, {0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        Tables t(c.lines);
        t.yds->effectiveResolution = 100;
        uint32_t got[3];
        if (c.split) {
            got[0] = YDS_SetTraqColorCodeInOrderOfNozzleLineForSplit(c.n_or_arrays, c.group, codes.data(), t.yds);
            got[1] = NLM_SetTraqColorCodeInOrderOfNozzleLineForSplit(c.n_or_arrays, c.group, codes.data(), t.nlm);
            got[2] = RLS_SetTraqColorCodeInOrderOfNozzleLineForSplit(c.n_or_arrays, c.group, codes.data(), t.rls);
        } else {
            got[0] = YDS_SetTraqColorCodeInOrderOfNozzleLine(c.n_or_arrays, codes.data(), t.yds);
            got[1] = NLM_SetTraqColorCodeInOrderOfNozzleLine(c.n_or_arrays, codes.data(), t.nlm);
            got[2] = RLS_SetTraqColorCodeInOrderOfNozzleLine(c.n_or_arrays, codes.data(), t.rls);
        }
        EXPECT_EQ(got[0], c.yds) << c.what;
        EXPECT_EQ(got[1], c.nlm) << c.what;
        EXPECT_EQ(got[2], c.rls) << c.what;
        EXPECT_EQ(lines_of(t.yds->colorCodeOfLine, c.lines), c.result) << c.what;
        EXPECT_EQ(lines_of(t.nlm->colorCodeOfLine, c.lines), c.result) << c.what;
        EXPECT_EQ(lines_of(t.rls->colorCodeOfLine, c.lines), c.result) << c.what;
        // The split count scales the resolution between nozzles, except on error.
        EXPECT_EQ(t.yds->effectiveResolution, c.split && c.yds == 0 ? 100u * uint32_t(c.group) : 100u) << c.what;
    }
}

TEST(HeadTablesLookup, ColourCodesOfLines) {
    int32_t first = -1, last = -1;
    {
        Tables t(3, 4);
        const uint8_t codes[] = {0x10, 0x11, 0x11};  // lines get 0x11, 0x11, 0x10
        ASSERT_EQ(NLM_SetTraqColorCodeInOrderOfNozzleLine(3, codes, t.nlm), 0u);
        t.nlm->headKindOfLine[0] = 1;
        t.nlm->headKindOfLine[1] = 2;
        t.nlm->headKindOfLine[2] = 1;
        t.nlm->hasKind2Line = 1;
        const uint16_t kind1[] = {0, 1};
        const uint16_t kind2[] = {3};
        EXPECT_FALSE(NLM_IsValid(t.nlm));
        EXPECT_EQ(NLM_SetChipUsed(1, 2, kind1, t.nlm), 0u);
        EXPECT_EQ(NLM_SetChipUsed(2, 1, kind2, t.nlm), 0u);
        EXPECT_TRUE(NLM_IsValid(t.nlm));
        // Kind 1: shift 4 - 1 - 1 = 2 on lines 0 and 2; kind 2: 4 - 1 - 3 = 0 on line 1,
        // which is the base line (kind 2 with a kind-2 line).
        EXPECT_EQ(t.nlm->verticalShiftOfLine[0], 2);
        EXPECT_EQ(t.nlm->verticalShiftOfLine[1], 0);
        EXPECT_EQ(t.nlm->baseLine, 1);
        EXPECT_EQ(NLM_GetHeadVerticalShiftAmount(0x10, t.nlm), 2);  // line 2
        EXPECT_EQ(NLM_GetHeadVerticalShiftAmount(0x11, t.nlm), 2);  // the first line with 0x11: line 0
        EXPECT_EQ(NLM_GetHeadVerticalShiftAmount(0x99, t.nlm), 2);  // absent: line 0
        EXPECT_EQ(NLM_GetBaseHeadVerticalShiftAmount(t.nlm), 0);
        EXPECT_EQ(NLM_GetHeadTopShiftAmount(0x10, t.nlm), -2);
        EXPECT_TRUE(NLM_GetUseHeadRange(0x10, t.nlm, &first, &last));
        EXPECT_EQ(first, 0);
        EXPECT_EQ(last, 1);
        t.nlm->colorCodeOfLine[1] = 0x12;
        EXPECT_TRUE(NLM_GetUseHeadRange(0x12, t.nlm, &first, &last));
        EXPECT_EQ(first, 3);
        EXPECT_EQ(last, 3);
        // Chip lists that cannot be.
        EXPECT_EQ(NLM_SetChipUsed(3, 1, kind2, t.nlm), kNlmBadChipList);
        EXPECT_EQ(NLM_SetChipUsed(1, 0, kind2, t.nlm), kNlmBadChipList);
        const uint16_t beyond[] = {4};
        EXPECT_EQ(NLM_SetChipUsed(1, 1, beyond, t.nlm), kNlmBadChipList);
    }
    // A table without lines answers 0 to every lookup (one fake platform at a time).
    Tables empty(0);
    EXPECT_EQ(NLM_GetHeadVerticalShiftAmount(0x10, empty.nlm), 0);
    EXPECT_EQ(NLM_GetHeadTopShiftAmount(0x10, empty.nlm), 0);
    EXPECT_FALSE(NLM_GetUseHeadRange(0x10, empty.nlm, &first, &last));
    EXPECT_EQ(YDS_GetShiftAmount(0x10, 0, empty.yds), 0);
    RLS_SetDischargeTiming(1, empty.rls);
    EXPECT_FALSE(RLS_JudgedDisableNozzleArea(0x10, 0, empty.rls));
}

TEST(HeadTablesYds, CorrectionArray) {
    Tables t(3);
    const uint8_t codes[] = {0x30, 0x20, 0x10};  // lines: 0x10, 0x20, 0x30
    ASSERT_EQ(YDS_SetTraqColorCodeInOrderOfNozzleLine(3, codes, t.yds), 0u);
    t.yds->headColumnOfLine[0] = 1;
    t.yds->headColumnOfLine[1] = 0;
    t.yds->headColumnOfLine[2] = 1;
    t.yds->effectiveResolution = 720;
    const int16_t num0[] = {1, -7}, num1[] = {5, 3};
    const int16_t den0[] = {3, 2}, den1[] = {4, 1000};
    const int16_t* num[] = {num0, num1};
    const int16_t* den[] = {den0, den1};
    EXPECT_FALSE(YDS_IsValid(t.yds));
    ASSERT_EQ(YDS_SetCorrectionArray(2, 2, num, den, t.yds), 0u);
    EXPECT_TRUE(YDS_IsValid(t.yds));
    // value x 720 / denominator, truncated toward zero.
    EXPECT_EQ(YDS_GetShiftAmount(0x10, 0, t.yds), 5 * 720 / 4);
    EXPECT_EQ(YDS_GetShiftAmount(0x10, 1, t.yds), 3 * 720 / 1000);
    EXPECT_EQ(YDS_GetShiftAmount(0x20, 0, t.yds), 720 / 3);
    EXPECT_EQ(YDS_GetShiftAmount(0x20, 1, t.yds), -7 * 720 / 2);
    EXPECT_EQ(YDS_GetShiftAmount(0x20, 2, t.yds), 0);   // beyond the values per line
    EXPECT_EQ(YDS_GetShiftAmount(0x20, -1, t.yds), 0);
    EXPECT_EQ(YDS_GetShiftAmount(0x77, 0, t.yds), 5 * 720 / 4);  // absent: line 0
    // Inputs the lines would use wrongly are refused before anything changes.
    const int16_t zero[] = {1, 0};
    const int16_t* den_zero[] = {den0, zero};
    EXPECT_EQ(YDS_SetCorrectionArray(2, 2, num, den_zero, t.yds), kYdsBadCorrectionInput);
    EXPECT_EQ(YDS_SetCorrectionArray(1, 2, num, den, t.yds), kYdsBadCorrectionInput);  // column 1 >= 1
    EXPECT_EQ(YDS_SetCorrectionArray(-1, 2, num, den, t.yds), kYdsBadCorrectionInput);
    EXPECT_EQ(YDS_GetShiftAmount(0x10, 0, t.yds), 5 * 720 / 4);
    // A smaller set re-allocates.
    ASSERT_EQ(YDS_SetCorrectionArray(2, 1, num, den, t.yds), 0u);
    EXPECT_EQ(YDS_GetShiftAmount(0x10, 1, t.yds), 0);
}

TEST(HeadTablesYds, CorrectionAllocationsFailWithTheirCodes) {
    const int16_t v[] = {1, 2};
    const int16_t* num[] = {v, v};
    const uint32_t expected[] = {972, 973, 973, 974, 975, 975, 976};
    for (size_t n = 1; n <= std::size(expected) + 1; ++n) {
        Tables t(2);
        t.ovf.fail_alloc_from(t.ovf.alloc_calls() + n);
        const uint32_t want = n <= std::size(expected) ? expected[n - 1] : 0;
        EXPECT_EQ(YDS_SetCorrectionArray(2, 2, num, num, t.yds), want) << n;
        t.ovf.fail_alloc_from(0);
    }
}

TEST(HeadTablesRls, DischargeTiming) {
    Tables t(3);
    const uint8_t codes[] = {0x30, 0x20, 0x10};  // lines: 0x10, 0x20, 0x30
    ASSERT_EQ(RLS_SetTraqColorCodeInOrderOfNozzleLine(3, codes, t.rls), 0u);
    const uint16_t kinds[] = {1, 2, 2};
    ASSERT_EQ(RLS_CopyHeadKindOfNozzleLine(kinds, 3, true, t.rls), 0u);
    ASSERT_EQ(t.rls->kind2LineNum, 2);
    EXPECT_EQ(t.rls->kind2Lines[1], 2);
    // Two timings: {4, 5} and an empty list.
    const uint8_t stream[] = {2, 0, 2, 0, 4, 0, 5, 0, 0, 0};
    ByteCursor c(stream, sizeof stream);
    RLS_SetArrayOfNozzleAreaOfDischargeTimingExistence(true, t.rls);
    ASSERT_EQ(RLS_LoadNozzleAreaOfEachDischargeTiming(c, t.rls), 0u);
    EXPECT_TRUE(c.at_end());
    EXPECT_FALSE(RLS_IsValid(t.rls));
    const struct {
        int32_t timing;
        uint8_t code;
        uint16_t area;
        bool disabled;
    } cases[] = {
        {0, 0x20, 9, false},  // no timing
        {3, 0x20, 9, false},  // not 1 or 2
        {1, 0x10, 9, false},  // a kind-1 line
        {1, 0x20, 4, false},  // in the first list
        {1, 0x30, 5, false},
        {1, 0x20, 6, true},   // not in it
        {2, 0x20, 4, true},   // the second list is empty
    };
    for (const auto& k : cases) {
        RLS_SetDischargeTiming(k.timing, t.rls);
        EXPECT_TRUE(RLS_IsValid(t.rls));
        EXPECT_EQ(RLS_JudgedDisableNozzleArea(k.code, k.area, t.rls), k.disabled) << k.timing << " " << k.area;
    }
    // Fewer lists than the timing: disabled.
    t.rls->timingNum = 1;
    RLS_SetDischargeTiming(2, t.rls);
    EXPECT_TRUE(RLS_JudgedDisableNozzleArea(0x20, 4, t.rls));
    t.rls->timingNum = 2;
}

TEST(HeadTablesLoaders, DisabledTablesReadNothing) {
    Tables t(1);
    const uint8_t stream[] = {3, 0, 2, 0, 7, 0, 8, 0};
    ByteCursor c(stream, sizeof stream);
    EXPECT_EQ(LHT_LoadFromResource(c, ModelFormat{1, 4}, t.lht), 0u);
    EXPECT_EQ(SSS_LoadFromResource(c, t.sss), 0u);
    EXPECT_EQ(RLS_LoadNozzleAreaOfEachDischargeTiming(c, t.rls), 0u);
    EXPECT_EQ(c.pos(), 0u);
    // The shift list: resolution 3, two shifts.
    SSS_SetOnOff(true, t.sss);
    ASSERT_EQ(SSS_LoadFromResource(c, t.sss), 0u);
    EXPECT_TRUE(c.at_end());
    EXPECT_TRUE(SSS_GetEnable(t.sss));
    EXPECT_EQ(SSS_GetShiftResolution(t.sss), 3);
    EXPECT_EQ(SSS_GetShiftNum(t.sss), 2);
    EXPECT_EQ(SSS_GetShift(1, t.sss), 8);
    EXPECT_EQ(SSS_GetShift(2, t.sss), 0);
    EXPECT_EQ(SSS_GetShift(-1, t.sss), 0);
    // Truncated sections.
    ByteCursor short_list(stream, 5);
    EXPECT_EQ(SSS_LoadFromResource(short_list, t.sss), kRscBadResource);
    ByteCursor one_byte(stream, 1);
    LHT_SetOnOff(true, t.lht);
    EXPECT_EQ(LHT_LoadFromResource(one_byte, ModelFormat{1, 4}, t.lht), kRscBadResource);
}

// The layer of every nozzle, as a set: a nozzle at or above a layer's start
// that no higher layer took gets that layer; the rest layer 0.
std::vector<uint16_t> reference_layers(const std::vector<uint16_t>& starts, int nozzles) {
    std::vector<int> layer(size_t(nozzles), -1);
    for (int l = int(starts.size()) - 1; l >= 0; --l)
        for (int n = 0; n < nozzles; ++n)
            if (layer[size_t(n)] < 0 && n >= starts[size_t(l)]) layer[size_t(n)] = l;
    std::vector<uint16_t> out;
    for (int v : layer) out.push_back(uint16_t(v < 0 ? 0 : v));
    return out;
}

TEST(HeadTablesLht, LayerArraysMatchTheReference) {
    std::mt19937 rng(27);
    for (int trial = 0; trial < 200; ++trial) {
        Tables t(1);
        const int16_t arrays = int16_t(1 + rng() % 3), layers = int16_t(1 + rng() % 4);
        const int16_t nozzles = int16_t(1 + rng() % 40);
        LHT_SetOnOff(true, t.lht);
        LHT_SetVirtualNozzleArrayNum(arrays, t.lht);
        std::vector<uint8_t> stream = {uint8_t(layers), 0};
        std::vector<std::vector<uint16_t>> starts(static_cast<size_t>(arrays));
        for (auto& s : starts)
            for (int l = 0; l < layers; ++l) {
                s.push_back(uint16_t(rng() % 48));  // not sorted: the walk decides
                stream.push_back(uint8_t(s.back()));
                stream.push_back(0);
            }
        for (int a = 0; a < arrays; ++a)
            for (int l = 0; l < layers; ++l) {
                stream.push_back(uint8_t(10 * a + l));
                stream.push_back(0);
            }
        stream.push_back(1);
        ByteCursor c(stream.data(), stream.size());
        ASSERT_EQ(LHT_LoadFromResource(c, ModelFormat{1, 3}, t.lht), 0u);
        ASSERT_TRUE(c.at_end());
        EXPECT_TRUE(LHT_IsValidStackedHTEachNozzleLine(t.lht));
        ASSERT_EQ(LHT_CreateLayerArrayOfVirtualNozzleArray(nozzles, t.lht), 0u);
        for (int a = 0; a < arrays; ++a) {
            const std::vector<uint16_t> want = reference_layers(starts[size_t(a)], nozzles);
            const uint16_t* got = LHT_GetLayerArrayOfVirtualNozzleArray(a, t.lht);
            const uint16_t* ht = LHT_GetHalftoneIndexArrayOfVirtualNozzleArray(a, t.lht);
            ASSERT_NE(got, nullptr);
            for (int n = 0; n < nozzles; ++n) {
                EXPECT_EQ(got[n], want[size_t(n)]) << trial << " array " << a << " nozzle " << n;
                EXPECT_EQ(ht[n], 10 * a + want[size_t(n)]);
            }
        }
        EXPECT_EQ(LHT_GetLayerArrayOfVirtualNozzleArray(arrays, t.lht), nullptr);
        EXPECT_EQ(LHT_GetLayerArrayOfVirtualNozzleArray(-1, t.lht), nullptr);
        // Switched off, every entry is 0.
        LHT_SetOnOff(false, t.lht);
        ASSERT_EQ(LHT_CreateLayerArrayOfVirtualNozzleArray(int16_t(nozzles + 1), t.lht), 0u);
        const uint16_t* off = LHT_GetLayerArrayOfVirtualNozzleArray(0, t.lht);
        for (int n = 0; n <= nozzles; ++n) EXPECT_EQ(off[n], 0);
    }
}

TEST(HeadTablesAlloc, EachAllocationGivesItsCode) {
    FakeOvf ovf;
    const CallbackTable cb = relay_callbacks(ovf.table());
    ovf.fail_alloc_from(1);
    LhtTable* lht = nullptr;
    SssTable* sss = nullptr;
    YdsTable* yds = nullptr;
    NlmTable* nlm = nullptr;
    RlsTable* rls = nullptr;
    EXPECT_EQ(LHT_Allocate(&lht, &cb), kLhtNoTable);
    EXPECT_EQ(SSS_Allocate(&sss, &cb), kSssNoTable);
    EXPECT_EQ(YDS_Allocate(&yds, &cb), kYdsNoTable);
    EXPECT_EQ(NLM_Allocate(&nlm, &cb), kNlmNoTable);
    EXPECT_EQ(RLS_Allocate(&rls, &cb), kRlsNoTable);
    EXPECT_EQ(lht, nullptr);
    EXPECT_EQ(LHT_Allocate(&lht, nullptr), kLhtNoTable);
    ovf.fail_alloc_from(0);
    // The per-nozzle arrays of the layered halftone table: 906 wherever they fail.
    for (size_t n = 1; n <= 7; ++n) {
        Tables t(1);
        LHT_SetVirtualNozzleArrayNum(2, t.lht);
        t.ovf.fail_alloc_from(t.ovf.alloc_calls() + n);
        EXPECT_EQ(LHT_CreateLayerArrayOfVirtualNozzleArray(8, t.lht), n <= 6 ? kLhtNoNozzleArrays : 0u) << n;
        t.ovf.fail_alloc_from(0);
    }
    // The chip list and the vertical shifts of the nozzle-line map.
    const uint16_t chips[] = {0};
    for (uint32_t n = 1; n <= 3; ++n) {
        Tables t(2);
        t.ovf.fail_alloc_from(t.ovf.alloc_calls() + n);
        EXPECT_EQ(NLM_SetChipUsed(1, 1, chips, t.nlm), n == 1 ? kNlmNoChips : n == 2 ? kNlmNoVerticalShifts : 0u);
        t.ovf.fail_alloc_from(0);
    }
}

}  // namespace
}  // namespace ovcg::irac
