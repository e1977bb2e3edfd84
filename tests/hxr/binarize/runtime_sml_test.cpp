// Runtime SML state over recording fakes of the SML data managers: the cache
// keyed by (slot, rate), scaling, the monochrome-photo paths, cumulation and
// split, the clamp to the level scale and every refusal.
#include "hxr/binarize/hxr_runtime_sml.h"
#include "support/fake_ht_data.h"
#include "support/hxr_fixture.h"

#include <string>
#include <vector>

namespace {

using ovcg_test::FakeSmlMgr;

class RuntimeSml : public HxrTest {
protected:
    // A job of `inkSet` at `dotMode` whose managers hold `dots` dot sizes of
    // rates fn for every output colour.
    void job(uint32_t inkSet, uint32_t dotMode, uint32_t dots, const FakeSmlMgr::RateFn& fn, uint32_t kind = 1) {
        clr = HXRCreateClrMgr(inkSet, dotMode, 0, mm);
        ASSERT_NE(clr, nullptr);
        rs = HXRCreateRuntimeSml(nullptr, mm, FakeSmlMgr::ops(), dotMode);
        ASSERT_NE(rs, nullptr);
        for (FakeSmlMgr* f : {&primary, &secondary}) {
            f->colours = clr;
            for (uint32_t o = 0; o < HXRGetOutputColorNum(clr); ++o) f->set_row(o, 256, dots, fn);
        }
        for (uint32_t intent = 0; intent < 2; ++intent) {
            ASSERT_EQ(HXRSetSmlData(rs, primary.handle(), intent, 0, kind, clr, mm), 0u);
            ASSERT_EQ(HXRSetSmlData(rs, secondary.handle(), intent, 1, kind, clr, mm), 0u);
        }
        primary.calls.clear();
        secondary.calls.clear();
    }
    HXRSmlColorData* get(uint32_t code, uint32_t slot, uint32_t rate, uint32_t intent = 0, uint32_t kind = 1,
                         const void* lut = nullptr) {
        return HXRGetRnrzSmlTable(rs, code, intent, slot, rate, kind, lut, clr);
    }
    static std::vector<uint32_t> rates(const HXRSmlColorData* r, uint32_t level) {
        return {r->rates + size_t(level) * r->dotSizeNum, r->rates + size_t(level + 1) * r->dotSizeNum};
    }

    FakeSmlMgr primary, secondary;
    HXRClrMgr* clr = nullptr;
    HXRRuntimeSml* rs = nullptr;
};

TEST_F(RuntimeSml, CacheKeyedBySlotAndRate) {
    job(1, 1, 1, [](uint32_t g, uint32_t) { return g * 10; });
    HXRSmlColorData* r = get(2, 0, 255);
    ASSERT_NE(r, nullptr);
    const std::vector<std::string> built = {"HXRResetTRAQ2SmlMgrDot", "HXRGetSDMOrgSmlTable", "HXRGetSDMSmlTable"};
    EXPECT_EQ(primary.calls, built);
    EXPECT_EQ(rates(r, 100), std::vector<uint32_t>{1000});
    primary.calls.clear();
    primary.correction = 5;  // a rebuild would show it
    EXPECT_EQ(get(2, 0, 255), r);
    EXPECT_TRUE(primary.calls.empty());
    EXPECT_TRUE(secondary.calls.empty());
    EXPECT_EQ(rates(r, 100), std::vector<uint32_t>{1000});
    // Another rate rebuilds from the same manager; another slot from the other.
    EXPECT_EQ(get(2, 0, 128), r);
    EXPECT_EQ(primary.calls, built);
    EXPECT_EQ(rates(r, 100), std::vector<uint32_t>{(1005 * 128) / 255});
    EXPECT_EQ(get(2, 1, 128), r);
    EXPECT_EQ(secondary.calls, built);
    EXPECT_EQ(rates(r, 100), std::vector<uint32_t>{1000 * 128 / 255});
    // Each colour and intent has its own row and key.
    HXRSmlColorData* other = get(3, 1, 128);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, r);
    EXPECT_NE(get(3, 1, 128, 1), other);
}

TEST_F(RuntimeSml, RatesScaleInSixtyFourBitsAndClampToTheScale) {
    job(1, 1, 1, [](uint32_t g, uint32_t) { return g == 1 ? 1000 : g == 2 ? 4080 : g == 3 ? 0xFFFFFFFF : g; });
    struct Case {
        uint32_t rate;
        uint32_t level, want;
    };
    const Case cases[] = {
        {128, 1, 501},  // 128 x 1000 / 255, rounded down
        {255, 1, 1000}, {0, 1, 0},     {0, 2, 0},
        {254, 2, 4064}, {255, 3, 4080},  // a hostile rate is clamped
        {254, 3, 4080},                  // 254 x 0xFFFFFFFF / 255 needs 40 bits
        {1, 200, 0},    {255, 255, 255},
    };
    for (const Case& c : cases) {
        HXRSmlColorData* r = get(1, 0, c.rate);
        ASSERT_NE(r, nullptr) << c.rate;
        EXPECT_EQ(rates(r, c.level), std::vector<uint32_t>{c.want}) << c.rate << " " << c.level;
    }
}

TEST_F(RuntimeSml, CumulatesThenSplitsDerivedAndBaseColours) {
    // Ink set 11 at dot mode 34: output colour 1 has five dot sizes and two
    // halftone colours, 1 (base) and 257 (derived); colour 0 has three.
    job(11, 34, 5, [](uint32_t g, uint32_t d) { return g == 7 ? 100 * (d + 1) : 0; });
    primary.set_row(3, 256, 3, [](uint32_t g, uint32_t d) { return g == 7 ? 1000 + d : 0; });
    for (uint32_t intent = 0; intent < 2; ++intent)
        ASSERT_EQ(HXRSetSmlData(rs, primary.handle(), intent, 0, 1, clr, mm), 0u);
    // Level 7 holds 100..500; cumulative from the largest: 1500 1400 1200 900 500.
    HXRSmlColorData* derived = get(257, 0, 255);
    ASSERT_NE(derived, nullptr);
    EXPECT_EQ(derived->dotSizeNum, 3u);
    EXPECT_EQ(rates(derived, 7), (std::vector<uint32_t>{1500, 1400, 1200}));
    EXPECT_EQ(derived->dotValue[0], 40u);  // the derived colour takes dots four to six
    HXRSmlColorData* base = get(1, 0, 255);
    ASSERT_NE(base, nullptr);
    EXPECT_NE(base, derived);
    EXPECT_EQ(rates(base, 7), (std::vector<uint32_t>{900, 500, 0}));
    EXPECT_EQ(base->dotValue[0], 10u);
    // Three dot sizes: cumulated, nothing to split.
    HXRSmlColorData* black = get(0, 0, 255);
    ASSERT_NE(black, nullptr);
    EXPECT_EQ(rates(black, 7), (std::vector<uint32_t>{3003, 2003, 1002}));
}

TEST_F(RuntimeSml, MonochromePhotoPaths) {
    // Kind 4: merged through the LUT into the manager's TNMX row, then copied
    // back. Level g of the LUT names node level 255 - g.
    job(0, 1, 1, [](uint32_t g, uint32_t) { return g; }, 4);
    primary.set_row(0, 256, 1, [](uint32_t, uint32_t) { return 0; }, true);
    std::vector<uint32_t> lut(256);
    for (uint32_t g = 0; g < 256; ++g) lut[g] = (255 - g) << 8;
    const uint32_t* words = lut.data();
    HXRSmlColorData* r = get(0, 0, 255, 0, 4, &words);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(rates(r, 10), std::vector<uint32_t>{245});
    EXPECT_EQ(primary.tnmx_rates[0][10], 245u);

    // Kind 6: the working row holds the TNMX data expanded to 65535 levels,
    // the plain row the scaled correction.
    FakeSmlMgr f6;
    HXRRuntimeSml* s6 = HXRCreateRuntimeSml(nullptr, mm, FakeSmlMgr::ops(), 1);
    ASSERT_NE(s6, nullptr);
    f6.colours = clr;
    f6.set_row(0, 256, 1, [](uint32_t g, uint32_t) { return 2 * g; });
    f6.set_row(0, 65535, 1, [](uint32_t, uint32_t) { return 0; }, true);
    ASSERT_EQ(HXRSetSmlData(s6, f6.handle(), 0, 0, 6, clr, mm), 0u);
    EXPECT_EQ(s6->smlRow[0][0].gradationNum, 65535u);
    EXPECT_EQ(s6->tnmxSmlRow[0][0].gradationNum, 256u);
    HXRSmlColorData* r6 = HXRGetRnrzSmlTable(s6, 0, 0, 0, 255, 6, nullptr, clr);
    ASSERT_NE(r6, nullptr);
    EXPECT_EQ(r6, &s6->smlRow[0][0]);
    EXPECT_EQ(r6->gradationNum, 65535u);
    EXPECT_EQ(rates(r6, 0x1234), std::vector<uint32_t>{2 * 0x12});
    EXPECT_EQ(rates(r6, 65534), std::vector<uint32_t>{2 * 255});
    // A failing expansion gives null.
    f6.fail = "HXRExpandTNMXDrtSml";
    EXPECT_EQ(HXRGetRnrzSmlTable(s6, 0, 0, 0, 7, 6, nullptr, clr), nullptr);
    // Kind 4 needs the code's LUT channel and the TNMX data.
    primary.fail = "HXRGetSDMOrgTNMXSmlTable";
    EXPECT_EQ(get(0, 0, 3, 0, 4, &words), nullptr);
}

TEST_F(RuntimeSml, RowsTheKernelsCannotReadAreRefused) {
    // A 2-bit job whose rows keep one value per level.
    job(1, 2, 1, [](uint32_t, uint32_t) { return 7; });
    EXPECT_EQ(get(1, 0, 255), nullptr);
    EXPECT_EQ(rs->cacheKey[0][0].slot, -1);
    // Fewer than 256 levels.
    job(1, 1, 1, [](uint32_t, uint32_t) { return 7; });
    for (FakeSmlMgr* f : {&primary, &secondary}) f->set_row(0, 255, 1, [](uint32_t, uint32_t) { return 7; });
    ASSERT_EQ(HXRSetSmlData(rs, primary.handle(), 0, 0, 1, clr, mm), 0u);
    EXPECT_EQ(get(1, 0, 255), nullptr);
    // A manager with more dot sizes than the row was copied with (buffers too
    // small for its rates): refused before anything is written.
    secondary.set_row(0, 256, 3, [](uint32_t, uint32_t) { return 7; });
    primary.set_row(0, 256, 1, [](uint32_t, uint32_t) { return 7; });
    ASSERT_EQ(HXRSetSmlData(rs, primary.handle(), 0, 0, 1, clr, mm), 0u);
    ASSERT_NE(get(1, 0, 255), nullptr);
    EXPECT_EQ(get(1, 1, 255), nullptr);
    secondary.set_row(0, 512, 1, [](uint32_t, uint32_t) { return 7; });
    EXPECT_EQ(get(1, 1, 255), nullptr);
}

TEST_F(RuntimeSml, AFailedRebuildLeavesNoStaleKey) {
    job(1, 1, 1, [](uint32_t g, uint32_t) { return g; });
    ASSERT_NE(get(1, 0, 255), nullptr);
    const char* steps[] = {"HXRResetTRAQ2SmlMgrDot", "HXRGetSDMOrgSmlTable", "HXRGetSDMSmlTable"};
    for (const char* step : steps) {
        primary.fail = step;
        EXPECT_EQ(get(1, 0, 128), nullptr) << step;
        primary.fail.clear();
        primary.calls.clear();
        HXRSmlColorData* r = get(1, 0, 255);  // the old key is gone: rebuilt
        ASSERT_NE(r, nullptr);
        EXPECT_FALSE(primary.calls.empty()) << step;
        EXPECT_EQ(rates(r, 9), std::vector<uint32_t>{9});
    }
}

TEST_F(RuntimeSml, RefusedArguments) {
    job(11, 34, 3, [](uint32_t, uint32_t) { return 1; });
    struct Case {
        HXRRuntimeSml* s;
        uint32_t code, intent, slot, rate;
        bool has_org;  // the uncorrected row is still there
    };
    const Case cases[] = {
        {nullptr, 1, 0, 0, 255, false}, {rs, 1, 2, 0, 255, false}, {rs, 1, 0, 2, 255, false},
        {rs, 1, 0, 0, 256, true},
        {rs, 9, 0, 0, 255, false},      // not an output colour of the ink set
        {rs, 0x103, 0, 0, 255, true},   // output colour 3, but no such halftone colour
        {rs, 0xFFFFFFFF, 0, 0, 255, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HXRGetRnrzSmlTable(c.s, c.code, c.intent, c.slot, c.rate, 1, nullptr, clr), nullptr) << c.code;
        EXPECT_EQ(HXRGetRnrzOrgSmlTable(c.s, c.code, c.intent, c.slot, clr) != nullptr, c.has_org) << c.code;
    }
    EXPECT_EQ(HXRGetRnrzSmlTable(rs, 1, 0, 0, 255, 1, nullptr, nullptr), nullptr);
    for (const std::string& call : primary.calls) EXPECT_EQ(call, "HXRGetSDMOrgSmlTable");
    // The uncorrected row of the code's output order, from the slot's manager.
    EXPECT_EQ(HXRGetRnrzOrgSmlTable(rs, 257, 1, 1, clr), &secondary.plain[0]);
    EXPECT_EQ(HXRGetRnrzOrgSmlTable(rs, 0, 0, 0, clr), &primary.plain[3]);
    primary.fail = "HXRGetSDMOrgSmlTable";
    EXPECT_EQ(HXRGetRnrzOrgSmlTable(rs, 0, 0, 0, clr), nullptr);
}

TEST_F(RuntimeSml, AttachingManagers) {
    job(11, 34, 3, [](uint32_t, uint32_t) { return 1; });
    ASSERT_NE(get(2, 0, 255), nullptr);
    // Attaching again rewrites the rows: their keys go.
    EXPECT_EQ(HXRSetSmlData(rs, primary.handle(), 0, 0, 1, clr, mm), 0u);
    EXPECT_EQ(rs->cacheKey[0][1].slot, -1);
    struct Case {
        HXRRuntimeSml* s;
        bool manager;
        uint32_t intent, slot;
        const HXRClrMgr* colours;
        const char* fail;
    };
    const Case cases[] = {
        {nullptr, true, 0, 0, clr, ""}, {rs, false, 0, 0, clr, ""}, {rs, true, 2, 0, clr, ""},
        {rs, true, 0, 2, clr, ""},      {rs, true, 0, 0, nullptr, ""},
        {rs, true, 0, 0, clr, "HXRCopySDMSmlDataEveryColor"},
    };
    for (const Case& c : cases) {
        primary.fail = c.fail;
        EXPECT_EQ(HXRSetSmlData(c.s, c.manager ? primary.handle() : nullptr, c.intent, c.slot, 1, c.colours, mm),
                  1u);
    }
    primary.fail = "HXRCopySDMSmlTNMXDataEveryColor";
    EXPECT_EQ(HXRSetSmlData(rs, primary.handle(), 0, 0, 6, clr, mm), 1u);
    primary.fail.clear();
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRSetSmlData(rs, primary.handle(), 0, 0, 1, clr, mm), 1u);
}

TEST_F(RuntimeSml, PerLinePreparationAndTheBrsHook) {
    job(1, 1, 1, [](uint32_t, uint32_t) { return 1; });
    EXPECT_EQ(HXRPrepareEveryLineSml(rs, 1, 1), 0u);
    EXPECT_EQ(secondary.calls, std::vector<std::string>{"HXRPrepareEveryLineCorrection"});
    EXPECT_EQ(HXRPrepareEveryLineSml(rs, 2, 0), 1u);
    EXPECT_EQ(HXRPrepareEveryLineSml(rs, 0, 2), 1u);
    EXPECT_EQ(HXRPrepareEveryLineSml(nullptr, 0, 0), 1u);
    primary.fail = "HXRPrepareEveryLineCorrection";
    EXPECT_EQ(HXRPrepareEveryLineSml(rs, 0, 0), 1u);

    int word = 0;
    const HXRBrsSource refused{&word, nullptr}, second_only{nullptr, &word};
    EXPECT_EQ(HXRCreateRuntimeSml(&refused, mm, FakeSmlMgr::ops(), 1), nullptr);
    EXPECT_NE(HXRCreateRuntimeSml(&second_only, mm, FakeSmlMgr::ops(), 2), nullptr);
    EXPECT_EQ(HXRCreateRuntimeSml(nullptr, mm, nullptr, 1), nullptr);
    for (uint32_t mode : {0u, 3u, 4u, 0x40u}) EXPECT_EQ(HXRCreateRuntimeSml(nullptr, mm, FakeSmlMgr::ops(), mode), nullptr);
    EXPECT_EQ(HXRSetBrsRuntimeSml(rs, &refused), 1u);
    EXPECT_EQ(HXRSetBrsRuntimeSml(rs, &second_only), 0u);
    EXPECT_EQ(HXRSetBrsRuntimeSml(rs, nullptr), 0u);
    EXPECT_EQ(HXRSetBrsRuntimeSml(nullptr, nullptr), 1u);
    EXPECT_EQ(rs->brsSource, nullptr);
    EXPECT_EQ(HXRBrsGetCorrection(rs, 3, nullptr), 0u);
    EXPECT_EQ(HXRBrsGetCorrection(nullptr, 0, nullptr), 1u);
    EXPECT_EQ(HXRCorrectBrs(rs, 1, 5, 0, 0), 0u);
    EXPECT_EQ(HXRCorrectBrs(nullptr, 1, 5, 0, 0), 1u);
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateRuntimeSml(nullptr, mm, FakeSmlMgr::ops(), 1), nullptr);
}

TEST_F(RuntimeSml, RowCheckAgainstTheDotMode) {
    uint32_t r[3] = {};
    struct Case {
        HXRSmlColorData row;
        uint32_t dotMode;
        uint32_t want;
    };
    const Case cases[] = {
        {{256, 1, {}, r}, 1, 0},   {{65535, 1, {}, r}, 1, 0}, {{256, 3, {}, r}, 2, 0}, {{256, 3, {}, r}, 34, 0},
        {{255, 1, {}, r}, 1, 1},   {{256, 3, {}, r}, 1, 1},   {{256, 1, {}, r}, 2, 1}, {{256, 2, {}, r}, 34, 1},
        {{256, 1, {}, nullptr}, 1, 1}, {{256, 1, {}, r}, 3, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(HXRCheckSmlRow(&c.row, c.dotMode), c.want) << c.row.gradationNum;
    EXPECT_EQ(HXRCheckSmlRow(nullptr, 1), 1u);
}

}  // namespace
