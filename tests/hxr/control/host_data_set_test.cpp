#include "hxr/binarize/hxr_runtime_sml.h"
#include "hxr/control/hxr_lut_build.h"
#include "hxr/control/hxr_traq2_data.h"
#include "host_data_fixture.h"
#include "support/model_calib.h"
#include "support/model_printer_id.h"

namespace {

using namespace ovcg_test;
using Cells = std::map<std::string, std::string>;

constexpr char kDutyId[] = "DUTY_FACTOR_MODE";
constexpr uint16_t kSecondSml = 70, kOtherShapeSml = 71;

// The binariser's answers on the host path (ordered dither, two-byte cells,
// an update of four pixels), for a 3D colour table.
HXRHtCtrlAnswers host_answers(uint32_t halftone_colours) {
    HXRHtCtrlAnswers a{};
    a.needLut = 1, a.lutType = 3, a.lutGridNum = 64, a.colorConvertMode = 1, a.smlGradNum = 256;
    a.needDth = 1, a.dthOrder = 1, a.dthThreshAddition = 8192, a.dthDataBytes = 2, a.dthUpdatePixel = 4;
    a.dthDataType = 1, a.ubecBlockKind = 1, a.ubecEncodeStep = 1, a.ubecTableType = 1;
    a.halftoneColorNum = halftone_colours;
    return a;
}

_HXR_OPTION_INFO default_option() {
    _HXR_OPTION_INFO o{};
    o.tone[0] = -1, o.tone[9] = 220;
    std::fill(o.colorValue, o.colorValue + 12, 1024u);
    o.secondDocType = 0xFFFFFFFFu, o.channelMode1 = 0xFFFFFFFFu;
    return o;
}

// The twelve words of a duty-factor record.
void duty_record(uint32_t* words, uint32_t factor) {
    std::memcpy(words, kDutyId, 16);
    words[4] = factor;
    std::fill(words + 5, words + 12, 0xFFFFFFFFu);
}

class HostDataSet : public HostDataTest {
protected:
    struct Job {
        _HXR_HALFTONE_INFO q;
        _HXR_OPTION_INFO option = default_option();
        HXRDataSetOptions values{};
        const HXRClrMgr* clr = nullptr;
        HXRResReadController* ctrl = nullptr;
    };
    // A job of the model's print mode with the answers; the data set or null.
    HXRTRAQ2Data* build(Job& j, const HXRHtCtrlAnswers& a) {
        if (!j.ctrl) j.ctrl = read_controller(j.q, &j.clr, j.option.secondDocType);
        if (!j.ctrl) return nullptr;
        for (uint32_t i = 0; i < 2; ++i)
            if (!j.values.colorWords[i]) j.values.colorWords[i] = j.option.colorValue;
        before_ = HXRGetMemBlockCount(mm);
        HXRTRAQ2Data* set = HXRCreateTRAQ2Data(j.ctrl, &a, &j.q, &j.option, &j.values, svc.table(), j.clr, mm, kDutyId);
        if (set) at_end([this, set] { EXPECT_EQ(HXRDeleteTRAQ2Data(set, mm), 0u); });
        else EXPECT_EQ(HXRGetMemBlockCount(mm), before_);  // a failed build keeps nothing
        return set;
    }
    // The model's index with the rows of `m` (every ink set) changed by the cells.
    void edit_index(const ModelPrintMode& m, const Cells& cells) {
        const auto modes = model_index_modes(model);
        ASSERT_EQ(modes.size(), index_.rows.size());
        for (size_t i = 0; i < modes.size(); ++i)
            if (modes[i].media == m.media && modes[i].doc_type == m.doc_type && modes[i].ht_type == m.ht_type &&
                modes[i].out_bits == m.out_bits && modes[i].h_res == m.h_res && modes[i].sub_type == m.sub_type)
                for (const auto& [k, v] : cells) index_.rows[i][k] = v;
        file.replace(kResTypeHalftone, uint16_t(kModelIndexId + 100), text_bytes(write_index_text(index_)));
    }
    uint32_t before_ = 0;
    IndexTextSpec index_ = model_index(model);
};

TEST_F(HostDataSet, BuildsForEveryHostAnswer) {
    const struct {
        const char* name;
        uint32_t ink_set, doc, ht, bits, sub;
        std::function<void(HXRHtCtrlAnswers&)> edit;
    } cases[] = {
        {"3D, rows", 1, 0, 3, 1, 0, {}},
        {"3D, two areas", 1, 0, 5, 2, 0, {}},
        {"4D", 1, 0, 3, 2, 1, [](HXRHtCtrlAnswers& a) { a.lutType = 4, a.lutGridNum = 32, a.colorConvertMode = 2; }},
        {"row pairs, four bytes", 1, 0, 3, 2, 0, [](HXRHtCtrlAnswers& a) { a.dthOrder = 2, a.dthDataBytes = 4; }},
        {"rows, four bytes, no update", 1, 0, 6, 1, 0, [](HXRHtCtrlAnswers& a) { a.dthDataBytes = 4, a.dthUpdatePixel = 0; }},
        {"monochrome photo", 1, 7, 3, 2, 0,
         [](HXRHtCtrlAnswers& a) { a.lutType = 17, a.lutGridNum = 256, a.colorConvertMode = 4; }},
        {"UBEC 4 x 4", 1, 0, 3, 2, 0, [](HXRHtCtrlAnswers& a) { a.needUBEC = 1, a.dthDataType = 2, a.ubecBlockKind = 2; }},
        {"UBEC 4 x 2, both", 1, 0, 3, 2, 0, [](HXRHtCtrlAnswers& a) { a.needUBEC = 1, a.dthDataType = 3, a.ubecBlockKind = 3; }},
        {"UBEC 2 x 4, no LUT", 3, 0, 3, 1, 0,
         [](HXRHtCtrlAnswers& a) { a.needLut = 0, a.needUBEC = 1, a.dthDataType = 2, a.ubecBlockKind = 4, a.ubecEncodeStep = 3; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Job j;
        j.q = query(mode(c.doc, c.ht, c.bits, c.sub), c.ink_set);
        HXRHtCtrlAnswers a = host_answers(c.ink_set == 1 ? 4 : 6);
        if (c.edit) c.edit(a);
        HXRTRAQ2Data* set = build(j, a);
        ASSERT_NE(set, nullptr) << error();
        EXPECT_EQ(set->intentNum, 1u);
        EXPECT_NE(HXRGetSmlDataMgr(set, 0, 0), nullptr);
        EXPECT_EQ(HXRGetSmlDataMgr(set, 0, 1), nullptr);
        EXPECT_EQ(HXRGetSmlDataMgr(set, 0, 2), nullptr);
        EXPECT_EQ(HXRGetSmlDataMgr(set, 0, 0)->tnmx != nullptr, c.doc == 7);
        EXPECT_EQ(HXRGetLut3DData(set, 0) != nullptr, a.lutType == 3 || !a.needLut);
        EXPECT_EQ(HXRGetLut4DData(set, 0) != nullptr, a.lutType == 4 && a.needLut);
        EXPECT_EQ(HXRGetLutTNMXData(set, 0) != nullptr, a.lutType == 17);
        EXPECT_EQ(HXRGetUBECDataMgr(set, 0) != nullptr, a.needUBEC == 1);
        EXPECT_EQ(HXRGetTRAQ2DthAreaNum(HXRGetDthDataMgr(set, 0)), c.ht == 3 ? 1 : 2);
        EXPECT_EQ(HXRGetDthDataMgr(set, 2), nullptr);
        EXPECT_EQ(HXRCheckCoordinationSml(set, 0), 0u);
        EXPECT_EQ(HXRCheckCoordinationSml(set, 2), 1u);
        EXPECT_EQ(error(), 0u);
        HXRSetErrorInfo(0);
    }
}

TEST_F(HostDataSet, UbecOfTheMasksOwnBlocks) {
    const ModelPrintMode m = mode(0, 3, 2);
    edit_index(m, {{"ubec_dither", std::to_string(kModelMaskUbec8Id)}});
    Job j;
    j.q = query(m, 1);
    HXRHtCtrlAnswers a = host_answers(4);
    a.needUBEC = 1, a.dthDataType = 3, a.ubecBlockKind = 1;
    HXRTRAQ2Data* set = build(j, a);
    ASSERT_NE(set, nullptr);
    // One mask and one SML row for every colour: one table, shared.
    EXPECT_EQ(HXRGetUBECDataMgr(set, 0)->tableNum, 1u);
    EXPECT_EQ(HXRGetTRAQ2UBECDataMgrDblDecSingleInfo(HXRGetUBECDataMgr(set, 0), 0, 0)->L, 32u);
    // The two-area switch of halftone types 5 and 6 has no UBEC data.
    Job two;
    two.q = query(mode(0, 5, 2), 1);
    EXPECT_EQ(build(two, a), nullptr);
    expect_error(7551);
}

TEST_F(HostDataSet, TwoIntentsWithSecondaryManagers) {
    const ModelPrintMode m = mode(0, 3, 2);
    // The monochrome-photo row of the same mode serves as intent 1, with the
    // 3D table; both rows name a secondary SML of the same shape.
    SmlSpec second = model_sml(model, true, 2);
    for (SmlInk& ink : second.inks)  // level v takes the model's level 3v / 4: other rates, the same shape
        for (uint32_t d = 0; d < 3; ++d)
            for (uint32_t v = 0; v < 256; ++v) ink.rates[d * 256 + v] = ink.rates[d * 256 + 3 * v / 4];
    SmlSpec other = model_sml(model, true, 2);
    other.inks[1].weights[2] = 90;
    file.add(kResTypeHalftone, kSecondSml + 100, write_sml(second));
    file.add(kResTypeHalftone, kOtherShapeSml + 100, write_sml(other));
    edit_index(m, {{"bSMB-ID", std::to_string(kSecondSml)}});
    edit_index(mode(7, 3, 2), {{"bSMB-ID", std::to_string(kOtherShapeSml)},
                               {"CMM-ID", std::to_string(kModelLut3dId + 0)}});
    Job j;
    j.q = query(m, 1);
    j.option.secondDocType = 7;
    HXRTRAQ2Data* set = build(j, host_answers(4));
    ASSERT_NE(set, nullptr) << error();
    EXPECT_EQ(set->intentNum, 2u);
    for (uint32_t i = 0; i < 2; ++i)
        for (uint32_t k = 0; k < 2; ++k) EXPECT_NE(HXRGetSmlDataMgr(set, i, k), nullptr);
    EXPECT_NE(HXRGetLut3DData(set, 1), nullptr);
    EXPECT_EQ(HXRCheckCoordinationSml(set, 0), 0u);
    EXPECT_EQ(HXRCheckCoordinationSml(set, 1), 1u);
    EXPECT_EQ(HXRCheckSDMCoordinationSml(HXRGetSmlDataMgr(set, 0, 0), HXRGetSmlDataMgr(set, 1, 0)), 0u);
}

TEST_F(HostDataSet, DutyFactorAndMultiDuty) {
    const ModelPrintMode m = mode(0, 3, 1);
    // Multi-duty words halve colour 0's ink-weight table.
    Job half;
    half.q = query(m, 1);
    const uint32_t words[12] = {512, 1024, 1024, 1024};
    half.values.colorWords[0] = words;
    HXRTRAQ2Data* set = build(half, host_answers(4));
    ASSERT_NE(set, nullptr);
    const HXRSmlCorrectData* c = HXRGetSmlDataMgr(set, 0, 0)->correct;
    for (uint32_t g = 0; g < 256; ++g) ASSERT_EQ(c->tableA[0][g], (c->base[0][g] + 1) >> 1);
    // A duty-factor record leaves the ink-weight tables alone.
    Job duty;
    duty.q = query(m, 1);
    duty_record(duty.option.colorValue, 1536);
    set = build(duty, host_answers(4));
    ASSERT_NE(set, nullptr) << error();
    c = HXRGetSmlDataMgr(set, 0, 0)->correct;
    EXPECT_TRUE(std::equal(c->base[0], c->base[0] + 256, c->tableA[0]));
    // Words that are neither, and a record out of range.
    const struct {
        uint32_t factor;
        bool record;
        uint32_t code;
    } bad[] = {{0, false, 6151}, {100, true, 6152}, {9000, true, 6152}};
    for (const auto& b : bad) {
        Job j;
        j.q = query(m, 1);
        if (b.record) duty_record(j.option.colorValue, b.factor);
        else j.option.colorValue[2] = 4097;
        EXPECT_EQ(build(j, host_answers(4)), nullptr);
        expect_error(b.code);
    }
    EXPECT_EQ(HXRDeleteTRAQ2Data(nullptr, mm), 6101u);
    expect_error(6101);
}

TEST_F(HostDataSet, PatternDValuesThroughTheCalibration) {
    Job j;
    j.q = query(mode(0, 3, 2, 1), 1);
    // Cyan bends; black starts ten levels up, so its level 0 already prints
    // more than level 0 asks.
    CalibTable up{0, {}};
    for (int v = 0; v < 256; ++v) up.values.push_back(int16_t(16 * std::min(v + 10, 255)));
    const Bytes cal = write_calib({model_calib_positions(1, 90), up});
    j.values.calibration = {hold(cal), uint32_t(cal.size())};
    const uint32_t pd[12] = {0, 200, 0, 0}, pd1[12] = {};
    j.values.patternD[0] = pd;
    j.values.patternD[1] = pd1;
    HXRHtCtrlAnswers a = host_answers(4);
    a.lutType = 4, a.lutGridNum = 32, a.colorConvertMode = 2;
    HXRTRAQ2Data* set = build(j, a);
    ASSERT_NE(set, nullptr) << error();
    HXRSmlDataMgr* sml = HXRGetSmlDataMgr(set, 0, 0);
    const HXRLutData* lut = HXRGetLut4DData(set, 0);
    for (uint32_t h = 0; h < 4; ++h) {
        const uint32_t code = HXRGetHalftoneColorCode(j.clr, h);
        EXPECT_EQ(lut->patternUpper[HXRGetLutColorOrder(j.clr, code)],
                  HXRCalibPatternDitherUpperValue(sml, pd[h], h, code, j.clr, mm));
    }
    // Literal search over every level of the calibrated colours.
    const auto sum = [](const uint32_t* r, int64_t k) { return k < 0 ? 0 : int64_t(r[3 * k]) + r[3 * k + 1] + r[3 * k + 2]; };
    for (auto [k, code] : {std::pair{0u, 1u}, std::pair{3u, 0u}}) {
        const HXRSmlColorData& e = sml->sml->entry[k];
        std::vector<uint32_t> table(256 * 3);
        ASSERT_EQ(HXRGetSDMSmlTable(sml, table.data(), code), 0u);
        for (uint32_t level = 0; level < 256; ++level) {
            const int64_t s = sum(e.rates, level);
            int64_t at = 0;
            while (at < 256 && sum(table.data(), at) < s) ++at;
            int64_t want = 255;
            if (at < 256)
                want = sum(table.data(), at) > s && s - sum(table.data(), at - 1) < sum(table.data(), at) - s ? at - 1 : at;
            ASSERT_EQ(HXRCalibPatternDitherUpperValue(sml, level, k, code, j.clr, mm), uint32_t(std::max<int64_t>(want, 0)))
                << k << " " << level;
        }
    }
    EXPECT_EQ(HXRCalibPatternDitherUpperValue(sml, 0, 3, 0, j.clr, mm), 0u);
    EXPECT_EQ(HXRCalibPatternDitherUpperValue(sml, 256, 0, 1, j.clr, mm), 0xFFFFFFFFu);
    EXPECT_EQ(HXRCalibPatternDitherUpperValue(sml, 10, 0, 2, j.clr, mm), 0xFFFFFFFFu);
}

TEST_F(HostDataSet, BinariserReadsTheManagersThroughItsOpsTables) {
    for (uint32_t doc : {0u, 7u}) {
        SCOPED_TRACE(doc);
        Job j;
        j.q = query(mode(doc, 3, 2), 1);
        const Bytes pid = write_printer_id(model_printer_ids(200), true);
        j.values.printerId = {hold(pid), uint32_t(pid.size())};
        HXRHtCtrlAnswers a = host_answers(4);
        if (doc == 7) a.lutType = 17, a.lutGridNum = 256, a.colorConvertMode = 4;
        HXRTRAQ2Data* set = build(j, a);
        ASSERT_NE(set, nullptr) << error();
        HXRRuntimeSml* rt = HXRCreateRuntimeSml(nullptr, mm, &kHxrSmlDataMgrOps, 2);
        ASSERT_NE(rt, nullptr);
        const uint32_t kind = doc == 7 ? 4 : 1;
        ASSERT_EQ(HXRSetSmlData(rt, HXRGetSmlDataMgr(set, 0, 0), 0, 0, kind, j.clr, mm), 0u);
        for (uint32_t h = 0; h < 4; ++h) {
            const uint32_t code = HXRGetHalftoneColorCode(j.clr, h);
            const HXRSmlColorData* row =
                HXRGetRnrzSmlTable(rt, code, 0, 0, 255, kind, HXRGetLutTNMXData(set, 0), j.clr);
            ASSERT_NE(row, nullptr) << h;
            EXPECT_EQ(HXRCheckSmlRow(row, 2), 0u);
            if (doc == 0) {
                std::vector<uint32_t> want(256 * 3);
                ASSERT_EQ(HXRGetSDMSmlTable(HXRGetSmlDataMgr(set, 0, 0), want.data(), code), 0u);
                for (uint32_t v = 0; v < 256; ++v)
                    ASSERT_EQ(row->rates[3 * v], std::min(want[3 * v] + want[3 * v + 1] + want[3 * v + 2], 4080u)) << v;
            }
        }
        for (auto& rows : {rt->smlRow, rt->tnmxSmlRow})
            for (uint32_t i = 0; i < 2; ++i)
                for (uint32_t h = 0; h < 12; ++h) HXRFreeMem(mm, rows[i][h].rates);
        HXRFreeMem(mm, rt);
    }
}

}  // namespace
