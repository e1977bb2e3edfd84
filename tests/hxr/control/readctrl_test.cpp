#include "hxr/control/hxr_readctrl.h"
#include "support/hxr_fixture.h"
#include "support/model_dither.h"
#include "support/model_index.h"
#include "support/model_lut.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <string>

namespace {

using namespace ovcg_test;
using Cells = std::map<std::string, std::string>;
constexpr uint32_t kNo = 0xFFFFFFFFu;

_HXR_HALFTONE_INFO query_of(const ModelPrintMode& m, uint32_t ink_set) {
    return {ink_set, m.media, m.doc_type, m.sub_type, m.ht_type, m.h_res, m.v_res, m.out_bits, 0, 0, 1};
}

_HXR_OPTION_INFO option(uint32_t second_doc = kHxrNoSecondDocType) {
    _HXR_OPTION_INFO o{};
    o.secondDocType = second_doc;
    o.channelMode1 = kNo;
    return o;
}

class ReadController : public HxrTest {
protected:
    // Serves the model file's halftone resources (edit `file` first to drop some).
    void load() { svc.add_resources_from(file); }
    void TearDown() override {
        if (ctrl) {
            EXPECT_EQ(HXRDeleteResReadController(ctrl), 0u);
        }
        for (HXRClrMgr* c : clr) HXRDeleteClrMgr(c, mm);
        EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
        HxrTest::TearDown();
    }
    HXRResReadController* make() { return ctrl = HXRCreateResReadController(svc.table(), mm); }
    const HXRClrMgr* colours(uint32_t ink_set, uint32_t bits) {
        clr.push_back(HXRCreateClrMgr(ink_set, bits, 0, mm));
        return clr.back();
    }
    // The model's index cut down to the rows of one print mode for document
    // types 0 and 7, each changed by its cells.
    std::string two_row_index(const Cells& first, const Cells& second) {
        IndexTextSpec s = model_index(model);
        const ModelPrintMode m = mode;
        std::vector<Cells> rows;
        const std::vector<ModelPrintMode> modes = model_index_modes(model);
        EXPECT_EQ(modes.size(), s.rows.size());
        for (size_t i = 0; i < std::min(s.rows.size(), modes.size()); ++i) {
            const ModelPrintMode& r = modes[i];
            if (r.media == m.media && r.sub_type == 0 && r.ht_type == m.ht_type && r.h_res == m.h_res &&
                r.out_bits == m.out_bits)
                rows.push_back(s.rows[i]);
        }
        EXPECT_EQ(rows.size(), 2u);
        for (const auto& [k, v] : first) rows[0][k] = v;
        for (const auto& [k, v] : second) rows[1][k] = v;
        s.rows = rows;
        return write_index_text(s);
    }

    const ModelDescription model = default_model();
    ResWriter file = build_model(model);
    const ModelPrintMode mode = model_print_modes(model).at(1);  // first media and resolution, bits 1, type 5
    HXRResReadController* ctrl = nullptr;
    std::vector<HXRClrMgr*> clr;
};

TEST_F(ReadController, LoadsEveryPrintModeOfTheModel) {
    load();
    size_t runs = 0;
    for (uint32_t ink_set : {0u, 1u, 3u}) {
        ASSERT_NE(make(), nullptr);
        const HXRClrMgr* by_bits[3] = {nullptr, colours(ink_set, 1), colours(ink_set, 2)};
        for (const ModelPrintMode& m : model_print_modes(model)) {
            if (ink_set == 0 && m.doc_type == kModelTnmxDocType) continue;
            SCOPED_TRACE(testing::Message() << "ink set " << ink_set << " media " << m.media << " doc " << m.doc_type
                                            << " sub " << m.sub_type << " ht " << m.ht_type << " " << m.h_res
                                            << " bits " << m.out_bits);
            const _HXR_HALFTONE_INFO q = query_of(m, ink_set);
            const _HXR_OPTION_INFO o = option();
            ASSERT_EQ(HXRFindPrintMode(ctrl, &q, &o), 0u);
            ASSERT_EQ(HXRReadAllResource(ctrl, by_bits[m.out_bits]), 0u);
            ASSERT_EQ(HXRGetIntentNum(ctrl), 1u);
            ++runs;
            const ModelModeResources want = model_mode_resources(model, m);
            const HXRLutResParser* lut = HXRGetLutParser(ctrl, 0);
            if (m.doc_type == kModelTnmxDocType) {
                EXPECT_EQ(HXRGetLutTNMXGridNum(lut), 256u);
                EXPECT_EQ(HXRGetLutColorGridNum(lut), kNo);
            } else {
                EXPECT_EQ(HXRGetLutColorDimension(lut), m.sub_type == 1 ? 4u : 3u);
                EXPECT_EQ(HXRGetLutMonoGridNum(lut), 17u);
            }
            const HXRSmlResParser* sml = HXRGetSmlParser(ctrl, 0, 0);
            EXPECT_EQ(HXRGetSmlGradNum(sml, 0), 256u);
            EXPECT_EQ(HXRGetSmlDotNum(sml, 0), m.out_bits == 1 ? 1u : 3u);
            EXPECT_EQ(HXRGetSmlDoubleGamma0(sml, 0), ink_set ? kModelColourDbg0 : kModelMonoDbg0);
            EXPECT_EQ(HXRGetSmlParser(ctrl, 0, 1), nullptr);
            EXPECT_EQ(HXRGetRateParser(ctrl, 0) != nullptr, want.rate != kNo);
            EXPECT_EQ(HXRGetDthResMgrAreaNum(ctrl, 0), want.dither == kModelDitherSwitchAreasId ? 2u : 1u);
            EXPECT_NE(HXRGetCfgRateParser(ctrl, 0), nullptr);
            EXPECT_EQ(HXRGetBlackInkCode(ctrl), 0u);
            EXPECT_EQ(HXRGetDblGamma0(ctrl, 0), ink_set ? kModelColourDbg0 : kModelMonoDbg0);
            EXPECT_EQ(HXRGetDblGamma255(ctrl, 0), ink_set ? kModelColourDbg255 : kModelMonoDbg255);
            EXPECT_EQ(std::string(HXRGetMicroStr(ctrl, 0)), want.micro);
            EXPECT_STREQ(HXRGetInkSetStr(ctrl, 0), "0");
            // The LUT's double gammas agree with the index's check values.
            EXPECT_EQ(ink_set ? HXRGetLutColorDblGamma0(lut) : HXRGetLutMonoDblGamma0(lut), HXRGetDblGamma0(ctrl, 0));
        }
        EXPECT_EQ(HXRDeleteResReadController(ctrl), 0u);
        ctrl = nullptr;
        for (HXRClrMgr* c : clr) HXRDeleteClrMgr(c, mm);
        clr.clear();
        EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
    }
    EXPECT_EQ(runs, 3 * model_print_modes(model).size() - model_print_modes(model).size() / 3);
    EXPECT_EQ(error(), 0u);
}

// The model file holds no halftone resource that no print mode uses: the
// print modes of the index, read one after the other, fetch every one (the
// masks through the dither switches that name them).
TEST_F(ReadController, EveryHalftoneResourceServesAPrintMode) {
    load();
    std::vector<ModelPrintMode> modes = model_print_modes(model);
    for (const ModelPrintMode& m : model_driver_print_modes(model)) modes.push_back(m);
    for (const ModelPrintMode& m : modes)
        for (uint32_t ink_set : {0u, 1u}) {
            if (ink_set == 0 && m.doc_type == kModelTnmxDocType) continue;
            SCOPED_TRACE(testing::Message() << "ink set " << ink_set << " media " << m.media << " doc " << m.doc_type
                                            << " sub " << m.sub_type << " ht " << m.ht_type << " " << m.h_res
                                            << " bits " << m.out_bits);
            ASSERT_NE(make(), nullptr);
            const _HXR_HALFTONE_INFO q = query_of(m, ink_set);
            const _HXR_OPTION_INFO o = option();
            ASSERT_EQ(HXRFindPrintMode(ctrl, &q, &o), 0u);
            ASSERT_EQ(HXRReadAllResource(ctrl, colours(ink_set, m.out_bits)), 0u);
            EXPECT_EQ(HXRDeleteResReadController(ctrl), 0u);
            ctrl = nullptr;
        }
    size_t resources = 0;
    for (const ResRecord& r : file.records()) {
        if (r.type != kResTypeHalftone) continue;
        ++resources;
        EXPECT_GT(svc.fetches(int(r.id) - 100), 0u) << "resource " << r.id - 100 << " serves no print mode";
    }
    EXPECT_GT(resources, 20u);
    // The driver's document types each reach colour tables of their own.
    std::set<uint32_t> luts;
    for (const ModelPrintMode& m : model_driver_print_modes(model))
        if (m.doc_type != 0) luts.insert(model_mode_resources(model, m).lut);
    EXPECT_EQ(luts.size(), std::size(kModelDriverColourDocTypes) + 1);
}

TEST_F(ReadController, TwoIntentsShareWhatTheyAgreeOn) {
    load();
    const _HXR_HALFTONE_INFO q = query_of(mode, 1);
    ASSERT_NE(make(), nullptr);
    // Document type 7 as the second: another LUT, the same SML, rate and dither.
    const _HXR_OPTION_INFO o = option(kModelTnmxDocType);
    ASSERT_EQ(HXRFindPrintMode(ctrl, &q, &o), 0u);
    ASSERT_EQ(HXRReadAllResource(ctrl, colours(1, 1)), 0u);
    ASSERT_EQ(HXRGetIntentNum(ctrl), 2u);
    EXPECT_NE(HXRGetLutParser(ctrl, 1), HXRGetLutParser(ctrl, 0));
    EXPECT_EQ(HXRGetLutTNMXGridNum(HXRGetLutParser(ctrl, 1)), 256u);
    EXPECT_EQ(HXRGetSmlParser(ctrl, 1, 0), HXRGetSmlParser(ctrl, 0, 0));
    EXPECT_EQ(HXRGetDthResMgr(ctrl, 1), HXRGetDthResMgr(ctrl, 0));
    EXPECT_EQ(HXRGetCfgRateParser(ctrl, 1), HXRGetCfgRateParser(ctrl, 0));
    // Reading again reads afresh; deleting frees each shared object once.
    ASSERT_EQ(HXRReadAllResource(ctrl, clr.back()), 0u);
    EXPECT_EQ(HXRDeleteResReadController(ctrl), 0u);
    ctrl = nullptr;
    EXPECT_EQ(svc.bad_frees(), 0u);
    // A second document type equal to the first, or none, gives one intent.
    for (uint32_t doc2 : {0u, kNo}) {
        ASSERT_NE(make(), nullptr);
        const _HXR_OPTION_INFO one = option(doc2);
        ASSERT_EQ(HXRFindPrintMode(ctrl, &q, &one), 0u);
        EXPECT_EQ(HXRGetIntentNum(ctrl), 1u);
        EXPECT_EQ(HXRGetLutParser(ctrl, 1), nullptr);
        EXPECT_EQ(HXRDeleteResReadController(ctrl), 0u);
        ctrl = nullptr;
    }
    EXPECT_EQ(error(), 0u);
}

TEST_F(ReadController, GettersOutOfRange) {
    load();
    ASSERT_NE(make(), nullptr);
    EXPECT_EQ(HXRGetIntentNum(ctrl), 0u);
    EXPECT_EQ(HXRGetBlackInkCode(ctrl), kNo);
    EXPECT_EQ(HXRGetLutParser(ctrl, 0), nullptr);
    const _HXR_HALFTONE_INFO q = query_of(mode, 1);
    const _HXR_OPTION_INFO o = option();
    ASSERT_EQ(HXRFindPrintMode(ctrl, &q, &o), 0u);
    ASSERT_EQ(HXRReadAllResource(ctrl, colours(1, 1)), 0u);
    for (const HXRResReadController* c : {static_cast<const HXRResReadController*>(ctrl), static_cast<const HXRResReadController*>(nullptr)}) {
        const uint32_t i = c ? 1 : 0;
        EXPECT_EQ(HXRGetLutParser(c, i), nullptr);
        EXPECT_EQ(HXRGetSmlParser(c, i, 0), nullptr);
        EXPECT_EQ(HXRGetRateParser(c, i), nullptr);
        EXPECT_EQ(HXRGetDthResMgr(c, i), nullptr);
        EXPECT_EQ(HXRGetDthResMgrAreaNum(c, i), kNo);
        EXPECT_EQ(HXRGetCfgRateParser(c, i), nullptr);
        EXPECT_EQ(HXRGetInkSetStr(c, i), nullptr);
        EXPECT_EQ(HXRGetMicroStr(c, i), nullptr);
        EXPECT_EQ(HXRGetDblGamma0(c, i), kNo);
        EXPECT_EQ(HXRGetDblGamma255(c, i), kNo);
    }
    EXPECT_EQ(HXRGetSmlParser(ctrl, 0, 2), nullptr);
    EXPECT_EQ(HXRGetIntentNum(nullptr), 0u);
    EXPECT_EQ(HXRGetBlackInkCode(nullptr), kNo);
}

TEST_F(ReadController, FindPrintModeFailures) {
    load();
    const _HXR_HALFTONE_INFO q = query_of(mode, 1);
    Cells same;
    same["DocType"] = "NORMAL";
    const std::string one_row = two_row_index({}, {});
    const struct {
        const char* name;
        std::string index;
        uint32_t doc2;
        long fail_after;        // allocations before one fails, on the second search
        uint32_t rc, record;
    } cases[] = {
        {"LF only", std::string("//1\n"), kNo, -1, kHxrReadBadIndex, 0},
        {"no row", two_row_index({{"OUT_BIT", "2"}}, {}), kNo, -1, kHxrReadNoMode, kHxrRecordNoMode},
        {"two rows", two_row_index({}, same), kNo, -1, kHxrReadManyModes, kHxrRecordManyModes},
        {"no row for the second", two_row_index({}, {{"DocType", "DOC1"}}), kModelTnmxDocType, -1, kHxrReadNoMode2,
         kHxrRecordNoMode2},
        {"no memory for the info", one_row, kNo, 0, kHxrReadModeInfo, 0},
        {"no memory for the second info", one_row, kModelTnmxDocType, 1, kHxrReadModeInfo2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HXRSetErrorInfo(0);
        svc.add_resource(int(kModelIndexId), text_bytes(c.index));
        ASSERT_NE(make(), nullptr);
        const _HXR_OPTION_INFO o = option(c.doc2);
        if (c.fail_after >= 0) {
            ASSERT_EQ(HXRFindPrintMode(ctrl, &q, &o), 0u);  // parses the index
            svc.fail_allocation_after(c.fail_after);
        }
        EXPECT_EQ(HXRFindPrintMode(ctrl, &q, &o), c.rc);
        svc.fail_allocation_after(-1);
        EXPECT_EQ(error(), c.record);
        if (c.rc) {
            EXPECT_EQ(HXRGetIntentNum(ctrl), 0u);
            EXPECT_EQ(HXRReadAllResource(ctrl, colours(1, 1)), kHxrReadNotFound);
        }
        EXPECT_EQ(HXRDeleteResReadController(ctrl), 0u);
        ctrl = nullptr;
        EXPECT_EQ(HXRGetMemBlockCount(mm), unsigned(clr.size()));
    }
    HXRSetErrorInfo(0);
    EXPECT_EQ(HXRFindPrintMode(nullptr, &q, nullptr), kHxrReadNoController);
    ASSERT_NE(make(), nullptr);
    EXPECT_EQ(HXRFindPrintMode(ctrl, nullptr, nullptr), kHxrReadNoController);
}

TEST_F(ReadController, FindsTheSecondIntentsRowAmongSeveral) {
    load();
    // Two rows for document type 7 (the last row twice): the second search
    // fails with 4135.
    const std::string text = two_row_index({}, {});
    const size_t end = text.find("\r\n//\r\n");
    const size_t row = text.rfind("\r\n", end - 1) + 2;
    std::string twice = text;
    twice.insert(end + 2, text.substr(row, end - row) + "\r\n");
    svc.add_resource(int(kModelIndexId), text_bytes(twice));
    ASSERT_NE(make(), nullptr);
    const _HXR_HALFTONE_INFO q = query_of(mode, 1);
    const _HXR_OPTION_INFO o = option(kModelTnmxDocType);
    EXPECT_EQ(HXRFindPrintMode(ctrl, &q, &o), kHxrReadManyModes2);
    expect_error(kHxrRecordManyModes);
    EXPECT_EQ(HXRGetIntentNum(ctrl), 0u);
}

TEST_F(ReadController, ReadAllResourceFailures) {
    load();
    const Bytes broken = {'b', 'r', 'o', 'k', 'e', 'n', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    svc.add_resource(700, broken);  // a resource no parser accepts
    const struct {
        const char* name;
        Cells first, second;
        uint32_t doc2;
        uint32_t rc, record;
    } cases[] = {
        {"all there", {}, {}, kNo, 0, 0},
        {"LUT missing", {{"CMM-ID", "777"}}, {}, kNo, kHxrReadNoLut, 0},
        {"LUT broken", {{"CMM-ID", "700"}}, {}, kNo, kHxrReadBadLut, kHxrLutBadHead},
        {"SML missing", {{"cSMB-ID", "777"}}, {}, kNo, kHxrReadNoSml, 0},
        {"SML broken", {{"cSMB-ID", "700"}}, {}, kNo, kHxrReadBadSml, kHxrSmlBadMagic},
        {"second SML missing", {{"bSMB-ID", "777"}}, {}, kNo, kHxrReadNoSml2, 0},
        {"second SML broken", {{"bSMB-ID", "700"}}, {}, kNo, kHxrReadBadSml2, kHxrSmlBadMagic},
        {"second SML 0: none", {{"bSMB-ID", "0"}}, {}, kNo, 0, 0},
        {"rate missing", {{"INK-ID", "777"}}, {}, kNo, kHxrReadNoRate, 0},
        {"rate broken", {{"INK-ID", "700"}}, {}, kNo, kHxrReadBadRate, 0},
        {"rate is the index", {{"INK-ID", "0"}}, {}, kNo, kHxrReadBadRate, 0},
        {"dither missing", {{"ubec_dither", "777"}}, {}, kNo, kHxrReadBadDither, 0},
        {"dither offset missing", {{"ubec_vinfo", "777"}}, {}, kNo, kHxrReadBadDither, 0},
        {"intent 1 LUT missing", {}, {{"CMM-ID", "777"}}, kModelTnmxDocType, kHxrReadNoLut, 0},
        {"intent 1 SML switches", {}, {{"cSMB-ID", "42"}}, kModelTnmxDocType, 0, 0},
        {"intent 1 SML missing", {}, {{"cSMB-ID", "777"}}, kModelTnmxDocType, kHxrReadNoSml, 0},
        {"intent 1 second SML missing", {}, {{"bSMB-ID", "777"}}, kModelTnmxDocType, kHxrReadNoSml, 0},
        {"intent 1 second SML broken", {}, {{"bSMB-ID", "700"}}, kModelTnmxDocType, kHxrReadBadSml,
         kHxrSmlBadMagic},
        {"intent 1 rate differs", {}, {{"INK-ID", "61"}}, kModelTnmxDocType, kHxrReadSwitchRate, kHxrRecordSwitch},
        {"intent 1 without rate", {}, {{"INK-ID", "-"}}, kModelTnmxDocType, 0, 0},
        {"intent 1 dither differs", {}, {{"ubec_dither", "500"}}, kModelTnmxDocType, kHxrReadSwitchDither,
         kHxrRecordSwitch},
        {"intent 1 offset differs", {}, {{"ubec_vinfo", "521"}}, kModelTnmxDocType, kHxrReadSwitchDither,
         kHxrRecordSwitch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HXRSetErrorInfo(0);
        Cells first = c.first;
        if (!first.count("INK-ID")) first["INK-ID"] = "60";
        svc.add_resource(int(kModelIndexId), text_bytes(two_row_index(first, c.second)));
        ASSERT_NE(make(), nullptr);
        const _HXR_HALFTONE_INFO q = query_of(mode, 1);
        const _HXR_OPTION_INFO o = option(c.doc2);
        ASSERT_EQ(HXRFindPrintMode(ctrl, &q, &o), 0u);
        EXPECT_EQ(HXRReadAllResource(ctrl, colours(1, 1)), c.rc);
        EXPECT_EQ(error(), c.record);
        EXPECT_EQ(HXRDeleteResReadController(ctrl), 0u);
        ctrl = nullptr;
    }
    HXRSetErrorInfo(0);
    ASSERT_NE(make(), nullptr);
    EXPECT_EQ(HXRReadAllResource(nullptr, colours(1, 1)), kHxrReadNoArgument);
    EXPECT_EQ(HXRReadAllResource(ctrl, nullptr), kHxrReadNoArgument);
    EXPECT_EQ(HXRReadAllResource(ctrl, clr.back()), kHxrReadNotFound);
}

TEST_F(ReadController, MissingIndex) {
    file.remove(kResTypeHalftone, uint16_t(kModelIndexId + 100));
    load();
    ASSERT_NE(make(), nullptr);
    const _HXR_HALFTONE_INFO q = query_of(mode, 1);
    EXPECT_EQ(HXRFindPrintMode(ctrl, &q, nullptr), kHxrReadNoIndex);
    EXPECT_EQ(error(), 0u);
}

TEST_F(ReadController, ConfigurationIsOptional) {
    const _HXR_HALFTONE_INFO q = query_of(mode, 1);
    const _HXR_OPTION_INFO o = option();
    // Missing: no failure and no parser.
    file.remove(kResTypeHalftone, uint16_t(kModelCfgId + 100));
    load();
    ASSERT_NE(make(), nullptr);
    ASSERT_EQ(HXRFindPrintMode(ctrl, &q, &o), 0u);
    EXPECT_EQ(HXRReadAllResource(ctrl, colours(1, 1)), 0u);
    EXPECT_EQ(HXRGetCfgRateParser(ctrl, 0), nullptr);
    EXPECT_EQ(HXRDeleteResReadController(ctrl), 0u);
    // Broken: 4124, with the parser's code recorded.
    svc.add_resource(int(kModelCfgId), {'H', 'L', '<', 'c', 0, 0, 0, 0, 9, 0});
    ASSERT_NE(make(), nullptr);
    ASSERT_EQ(HXRFindPrintMode(ctrl, &q, &o), 0u);
    EXPECT_EQ(HXRReadAllResource(ctrl, clr.back()), kHxrReadBadCfg);
    EXPECT_EQ(HXRGetCfgRateParser(ctrl, 0), nullptr);
    expect_error(kHxrCfgBadVersion);
}

TEST_F(ReadController, CreateAndDelete) {
    load();
    EXPECT_EQ(HXRCreateResReadController(nullptr, mm), nullptr);
    EXPECT_EQ(HXRCreateResReadController(svc.table(), nullptr), nullptr);
    HXRServiceTable partial = *svc.table();
    partial.AtoI = nullptr;
    EXPECT_EQ(HXRCreateResReadController(&partial, mm), nullptr);
    partial = *svc.table();
    partial.GetResource = nullptr;
    EXPECT_EQ(HXRCreateResReadController(&partial, mm), nullptr);
    expect_error(kHxrRecordNoResMgr);
    // The record, then the resource manager's first block.
    svc.fail_allocation_after(1);
    EXPECT_EQ(HXRCreateResReadController(svc.table(), mm), nullptr);
    svc.fail_allocation_after(-1);
    expect_error(kHxrRecordNoResMgr);
    EXPECT_EQ(HXRGetMemBlockCount(mm), 0u);
    EXPECT_EQ(HXRDeleteResReadController(nullptr), kHxrReadDeleteNone);
    expect_error(kHxrReadDeleteNone);
}

}  // namespace
