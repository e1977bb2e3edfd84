// HXR_SetValue: every key accepted and every refusal by its code; a refused
// call leaves the instance's bytes and blocks as they were.
#include "hxr/color/hxr_color_wprint.h"
#include "hxr_job_fixture.h"

#include <cstring>
#include <functional>
#include <vector>

namespace hxr_test {
namespace {

constexpr uint32_t kWInfo = 1, kReductionInfo = 2;  // info flags of the white-print block

using Words = std::vector<uint32_t>;

// A curve set of `count` curves (curve i: entry e = 4096 - 16 i + e), with
// head fields that can be spoiled.
std::vector<uint8_t> curve_set(uint8_t count, uint16_t entries = 256, uint8_t size = 2, uint8_t bits = 12) {
    std::vector<uint8_t> b = {count, uint8_t(entries), uint8_t(entries >> 8), size, bits};
    for (uint32_t i = 0; i < count; ++i)
        for (uint32_t e = 0; e < 256; ++e) {
            const uint32_t v = 4096 - 16 * i + e;
            b.push_back(uint8_t(v));
            b.push_back(uint8_t(v >> 8));
        }
    return b;
}

class HxrSetValue : public HxrJobTest {
protected:
    struct Snapshot {
        std::vector<uint8_t> bytes;
        uint32_t blocks;
    };
    static Snapshot snap(void* h) {
        const auto* p = static_cast<const uint8_t*>(h);
        return {std::vector<uint8_t>(p, p + sizeof(HXRInstance)), HXRGetMemBlockCount(inst(h)->memory)};
    }
};

TEST_F(HxrSetValue, EveryKeyAndRefusal) {
    const std::vector<uint8_t> curves = curve_set(3);
    const std::vector<uint8_t> noCurves = curve_set(0);
    const std::vector<uint8_t> wideEntries = curve_set(1, 255);
    const std::vector<uint8_t> byteEntries = curve_set(1, 256, 1);
    const std::vector<uint8_t> eightBits = curve_set(1, 256, 2, 8);
    HXRColorCvtWPrintWInfo w{};
    for (uint32_t k = 0; k < 12; ++k) w.weight[k] = 4096, w.cap[k] = 0x80000;
    w.upperBound = 0xFF000, w.lowerBound = 0x10000, w.factor = 16;
    const auto wWith = [&](std::function<void(HXRColorCvtWPrintWInfo&)> f) {
        HXRColorCvtWPrintWInfo v = w;
        f(v);
        return v;
    };
    const auto reduction = [&](const std::vector<uint8_t>& set, uint32_t colour, uint32_t white, uint32_t kind = 3,
                                uint32_t level = 200) {
        return HXRColorCvtWPrintReductionInfo{kind, {10, 20, level, 99}, {40, 250, 30, 99}, colour, white, set.data()};
    };
    const uint8_t table[8] = {1, 2, 3, 4, 5, 6, 7, 8};

    struct Setting {
        const char* name;
        uint32_t key;
        std::vector<uint8_t> value;  // the bytes the value pointer sees
        uint32_t expect;
        std::function<void(JobRecords&)> records;  // changes the records before creation
        int flags = 1;
        uint32_t errorRecord = 0;
    };
    const auto words = [](Words v) {
        std::vector<uint8_t> b(v.size() * 4);
        std::memcpy(b.data(), v.data(), b.size());
        return b;
    };
    const auto bytes_of = [](const auto& v) {
        std::vector<uint8_t> b(sizeof v);
        std::memcpy(b.data(), &v, sizeof v);
        return b;
    };
    const auto half = [](JobRecords& r) { r.halftone.scale = kHxrOutputScaleHalf; };
    const auto cmyk = [&](JobRecords& r) {
        const auto m = mode(0, 3, 2, 1);
        r = records(1, &m);
    };
    const auto duty = [](JobRecords& r) { HXR_SetDutyFactorValue(&r.option, 900); };
    const HXRAddedLutValue added{8, table}, empty{0, table};
    const std::vector<Setting> settings = {
        {"reduction 0 at one half", 16, words({0}), 0, half},
        {"reduction 1 at one half", 16, words({1}), 0, half},
        {"reduction 2", 16, words({2}), kHxrSetReductionValue, half},
        {"reduction at full scale", 16, words({1}), kHxrSetReductionScale, {}},
        {"text edge off", 17, words({0}), 0, {}},
        {"text edge 3", 17, words({3}), 0, {}},
        {"text edge 1", 17, words({1}), kHxrSetTextEnhanceValue, {}},
        // PatternD: C and M are output positions 0 and 1 of ink set 1.
        {"PatternD A", 256, words({255, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0, {}},
        {"PatternD A above 255", 256, words({256, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kHxrSetPatternDAValue, {}},
        {"PatternD A elsewhere", 256, words({0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kHxrSetPatternDAPosition, {}},
        {"PatternD A last word", 256, words({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9}), kHxrSetPatternDAPosition, {}},
        {"PatternD B", 257, words({0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0, {}},
        {"PatternD B above 255", 257, words({0, 300, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), kHxrSetPatternDBValue, {}},
        {"PatternD B elsewhere", 257, words({0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0}), kHxrSetPatternDBPosition, {}},
        {"under-white off", 258, words({0}), 0, {}},
        {"under-white CMYK", 258, words({1}), 0, cmyk},
        {"under-white RGB", 258, words({1}), kHxrSetUnderWhiteNotCmyk, {}},
        {"under-white 2", 258, words({2}), kHxrSetUnderWhiteValue, cmyk},
        {"table A", 768, words({900, 900, 900, 900, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024}), 0, {}},
        {"table A of a duty job", 768, words(Words(12, 900)), kHxrSetColorTableA, duty},
        {"table B", 769, words(Words(12, 800)), 0, {}},
        {"table B of a duty job", 769, words(Words(12, 800)), kHxrSetColorTableB, duty},
        {"W print output 2", 1024, words({2}), 0, {}},
        {"W print output 0", 1024, words({0}), 0, {}},
        {"W print output off", 1024, words({0xFFFFFFFFu}), kHxrSetWPrintOutput, {}},
        {"W print output 3", 1024, words({3}), kHxrSetWPrintOutput, {}},
        {"W info", 1025, bytes_of(w), 0, {}},
        {"W info limits", 1025,
         bytes_of(wWith([](auto& v) { v.weight[11] = 32768, v.cap[0] = 0xFF000, v.lowerBound = v.upperBound; })), 0,
         {}},
        {"W weight 32769", 1025, bytes_of(wWith([](auto& v) { v.weight[11] = 32769; })), kHxrSetWPrintW, {}},
        {"W cap above full", 1025, bytes_of(wWith([](auto& v) { v.cap[5] = 0xFF001; })), kHxrSetWPrintW, {}},
        {"W factor 17", 1025, bytes_of(wWith([](auto& v) { v.factor = 17; })), kHxrSetWPrintW, {}},
        {"W upper below lower", 1025, bytes_of(wWith([](auto& v) { v.upperBound = 0xFFFF; })), kHxrSetWPrintW, {}},
        {"W upper above full", 1025, bytes_of(wWith([](auto& v) { v.upperBound = 0xFF001; })), kHxrSetWPrintW, {}},
        {"reduction curves", 1026, bytes_of(reduction(curves, 2, 0)), 0, {}},
        {"reduction kind 2", 1026, bytes_of(reduction(curves, 2, 0, 2)), kHxrSetWPrintReduction, {}},
        {"reduction level 256", 1026, bytes_of(reduction(curves, 2, 0, 3, 256)), kHxrSetWPrintReduction, {}},
        {"reduction curve = count", 1026, bytes_of(reduction(curves, 0, 3)), kHxrSetWPrintReduction, {}},
        {"reduction no curves", 1026, bytes_of(reduction(noCurves, 0, 0)), kHxrSetWPrintReduction, {}},
        {"reduction 255 entries", 1026, bytes_of(reduction(wideEntries, 0, 0)), kHxrSetWPrintReduction, {}},
        {"reduction byte entries", 1026, bytes_of(reduction(byteEntries, 0, 0)), kHxrSetWPrintReduction, {}},
        {"reduction 8 fraction bits", 1026, bytes_of(reduction(eightBits, 0, 0)), kHxrSetWPrintReduction, {}},
        {"reduction null set", 1026, bytes_of(HXRColorCvtWPrintReductionInfo{3, {}, {}, 0, 0, nullptr}),
         kHxrSetWPrintReduction, {}},
        {"added 0", 1280, bytes_of(added), 0, duty, 4},
        {"added 1", 1281, bytes_of(added), 0, duty, 5},
        {"added without RH", 1280, bytes_of(added), kHxrSetAddedLut0, duty, 1, kHxrRecordAddedNeedsRH},
        {"added without duty", 1281, bytes_of(added), kHxrSetAddedLut1, {}, 4, kHxrRecordAddedNeedsDuty},
        {"added empty", 1280, bytes_of(empty), kHxrSetAddedLut0, duty, 4},
        {"unknown key", 18, words({0}), kHxrSetUnknownKey, {}},
        {"unknown key 0", 0, words({0}), kHxrSetUnknownKey, {}},
    };
    for (const Setting& s : settings) {
        SCOPED_TRACE(s.name);
        JobRecords r = records();
        if (s.records) s.records(r);
        void* h = create(r, s.flags);
        const Snapshot before = snap(h);
        HXRSetErrorInfo(0);
        EXPECT_EQ(HXR_SetValue(h, s.key, s.value.data()), s.expect);
        EXPECT_EQ(error(), s.errorRecord);
        const Snapshot after = snap(h);
        if (s.expect != 0) {
            EXPECT_EQ(after.bytes, before.bytes);
            EXPECT_EQ(after.blocks, before.blocks);
        } else {
            EXPECT_EQ(inst(h)->state, kHxrStateCreated | kHxrStateValueSet);
        }
        drop(h);
    }
}

TEST_F(HxrSetValue, AcceptedValuesLandWhereTheJobReadsThem) {
    JobRecords r = records();
    r.halftone.scale = kHxrOutputScaleHalf;
    void* h = create(r);
    const HXRInstance* i = inst(h);
    const uint32_t one = 1, three = 3;
    ASSERT_EQ(HXR_SetValue(h, 16, &one), 0u);
    EXPECT_EQ(i->values.reductionMethod, 1u);
    ASSERT_EQ(HXR_SetValue(h, 17, &three), 0u);
    EXPECT_EQ(i->values.textEnhance, 3u);
    const Words pd = {9, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(HXR_SetValue(h, 257, pd.data()), 0u);
    EXPECT_EQ(Words(i->values.patternD[1], i->values.patternD[1] + 12), pd);
    const Words ta(12, 700);
    ASSERT_EQ(HXR_SetValue(h, 768, ta.data()), 0u);
    EXPECT_EQ(Words(i->colorTable[0], i->colorTable[0] + 12), ta);
    EXPECT_EQ(i->colorTable[1][0], 1024u);

    // W info is stored on the decoded scale, the bounds scaled by the factor.
    HXRColorCvtWPrintWInfo w{};
    w.weight[3] = 32768, w.cap[3] = 0xFF000, w.upperBound = 0xFF000, w.lowerBound = 0x100, w.factor = 16;
    ASSERT_EQ(HXR_SetValue(h, 1025, &w), 0u);
    EXPECT_EQ(i->values.wprint.weight[3], 32768u);
    EXPECT_EQ(i->values.wprint.cap[3], 0xFF00000u);
    EXPECT_EQ(i->values.wprint.scaledUpperBound, 0xFF00000u);  // capped, not 0xFF000000
    EXPECT_EQ(i->values.wprint.scaledLowerBound, 0x100u * 256 * 16);
    EXPECT_EQ(i->values.wprint.infoFlags, kWInfo);

    // Reduction: the chosen curves widened, the fourth levels 0; a second
    // setting replaces the curves without keeping the old blocks.
    const std::vector<uint8_t> set = curve_set(3);
    HXRColorCvtWPrintReductionInfo red{3, {1, 2, 3, 77}, {10, 250, 30, 77}, 2, 1, set.data()};
    ASSERT_EQ(HXR_SetValue(h, 1026, &red), 0u);
    const uint32_t blocks = HXRGetMemBlockCount(i->memory);
    EXPECT_EQ(i->values.wprint.colourCurve[0], 4096u - 32);
    EXPECT_EQ(i->values.wprint.wCurve[255], 4096u - 16 + 255);
    EXPECT_EQ(i->values.wprint.firstLevels[3], 0u);
    EXPECT_EQ(i->values.wprint.secondLevels[3], 0u);
    EXPECT_EQ(i->values.wprint.reductionRange, 250);
    red.colourCurveNumber = 0;
    ASSERT_EQ(HXR_SetValue(h, 1026, &red), 0u);
    EXPECT_EQ(HXRGetMemBlockCount(i->memory), blocks);
    EXPECT_EQ(i->values.wprint.colourCurve[0], 4096u);
    EXPECT_EQ(i->values.wprint.infoFlags, kWInfo | kReductionInfo);
}

TEST_F(HxrSetValue, ChecksBeforeTheKey) {
    const uint32_t zero = 0;
    EXPECT_EQ(HXR_SetValue(nullptr, 258, &zero), kHxrSetNull);
    void* h = create(records());
    EXPECT_EQ(HXR_SetValue(h, 258, nullptr), kHxrSetNullValue);
    // No colour manager for the records: refused before the state is looked at.
    JobRecords bad = records();
    bad.halftone.inkSet = 99;
    void* b = create(bad);
    EXPECT_EQ(HXR_SetValue(b, 258, &zero), kHxrSetColourManager);
    EXPECT_EQ(HXR_SetValue(b, 5, &zero), kHxrSetColourManager);
    inst(h)->state = 0;
    EXPECT_EQ(HXR_SetValue(h, 258, &zero), kHxrSetNotCreated);
    inst(h)->state = kHxrStateCreated;
    // The key of a text-edge condition the binariser does not meet.
    bnrz.world().textEdge = 0;
    const uint32_t three = 3;
    EXPECT_EQ(HXR_SetValue(h, 17, &three), kHxrSetTextEnhanceCondition);
    // Without a binariser no condition can be met.
    HXRSetBinarizeOps(HXRDefaultBinarizeOps());
    if (!HXRDefaultBinarizeOps()->textEdgeCondition) {
        EXPECT_EQ(HXR_SetValue(h, 17, &three), kHxrSetTextEnhanceCondition);
    }
    HXRSetBinarizeOps(FakeBinarizeOps());
    EXPECT_EQ(svc.live_blocks(), 2u * 2);  // two instances: a manager and an instance each, nothing left over
}

TEST_F(HxrSetValue, WhitePrintBlockIsCheckedAtTheJobStart) {
    HXRColorCvtWPrintWInfo w{};
    w.upperBound = w.lowerBound = 0x1000, w.factor = 1;
    const std::vector<uint8_t> set = curve_set(1);
    const HXRColorCvtWPrintReductionInfo red{3, {1, 2, 3, 0}, {4, 5, 6, 0}, 0, 0, set.data()};
    const struct {
        const char* name;
        int32_t mode;  // -1: key 1024 not set
        bool wInfo, reduction;
        uint32_t start;
        uint32_t flagsAfter;
    } cases[] = {
        {"defaults", -1, false, false, 0, 0},
        {"colour only", 1, false, false, 0, 0},
        {"colour only drops W", 1, true, true, 0, kReductionInfo},
        {"W only without info", 0, false, false, kHxrStartWPrint, 0},
        {"both without info", 2, false, true, kHxrStartWPrint, 0},
        {"reduction alone, off", -1, false, true, kHxrStartWPrint, 0},
        {"W info, off", -1, true, false, kHxrStartWPrint, 0},
    };
    // Without output flags the job builds no converter (ink set 1 has no W
    // channel for one): only the check decides.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        void* h = create(records(), 0);
        if (c.mode >= 0) {
            const uint32_t m = uint32_t(c.mode);
            ASSERT_EQ(HXR_SetValue(h, 1024, &m), 0u);
        }
        if (c.wInfo) {
            ASSERT_EQ(HXR_SetValue(h, 1025, &w), 0u);
        }
        if (c.reduction) {
            ASSERT_EQ(HXR_SetValue(h, 1026, &red), 0u);
        }
        EXPECT_EQ(HXR_StartJob(h), c.start) << error();
        if (c.start == 0) {
            EXPECT_EQ(inst(h)->values.wprint.infoFlags, c.flagsAfter);
        }
        drop(h);
    }
}

}  // namespace
}  // namespace hxr_test
