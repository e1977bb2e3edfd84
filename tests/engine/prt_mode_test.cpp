#include "engine/prt_mode.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/debug_export.h"
#include "link_fixture.h"
#include "ovcg/ovs_resource.h"
#include "support/model.h"
#include "support/model_links.h"

namespace {

using ovcg::CLRKeySet;
using ovcg::CPrtMode;
using ovcg::tagPRTINFOSTRUCT;
using ovcg_test::FrontEndJob;
using ovcg_test::MemoryLinkStore;
using ovcg_test::ResWriter;
using PairList = std::vector<std::pair<uint16_t, uint16_t>>;

const std::string kIllegal = "Illegal Parameter Exception";
const std::string kLoad = "Load Resource Exception";

ResWriter DefaultModel() { return ovcg_test::build_model(ovcg_test::default_model()); }

struct Resolved {
    std::unique_ptr<CPrtMode> mode;
    std::string error;  // the message thrown, empty on success
    std::vector<uint16_t> fetched;
    const tagPRTINFOSTRUCT& info() const { return mode->Info(); }
};

// Resolves a job against a model through an in-memory store; the store (and
// so the adapter) outlives nothing the result keeps.
struct Resolver {
    explicit Resolver(const ResWriter& model) : store(model), dll(store.Adapter()) {}
    Resolved Run(const tagPRTSTRUCT3_12& job) {
        Resolved r;
        try {
            r.mode = std::make_unique<CPrtMode>(&job, dll.get());
        } catch (const char* message) {
            r.error = message;
        }
        r.fetched = store.fetched_ids();
        EXPECT_EQ(store.outstanding(), 0);
        return r;
    }
    MemoryLinkStore store;
    std::unique_ptr<ovcg::CLinkRscDLL> dll;
};

Resolved ResolveJob(const ResWriter& model, const tagPRTSTRUCT3_12& job) { return Resolver(model).Run(job); }

bool Fetched(const Resolved& r, uint16_t id) {
    for (uint16_t f : r.fetched)
        if (f == id) return true;
    return false;
}

// ---- The default job against the default model ---------------------------------

TEST(PrtModeDefault, FrontEndDefaultsResolve) {
    FrontEndJob fe;
    ASSERT_TRUE(fe.ok());
    const ovcg_test::ModelDescription model = ovcg_test::default_model();
    const Resolved r = ResolveJob(DefaultModel(), fe.job());
    ASSERT_EQ(r.error, "");
    const tagPRTINFOSTRUCT& p = r.info();
    const ovcg_test::ModelMediaModes mm = ovcg_test::model_media_modes(model, 1);

    EXPECT_EQ(r.fetched.front(), 20050);
    EXPECT_TRUE(Fetched(r, 20500));
    EXPECT_EQ(p.num_planes, 4);
    EXPECT_EQ(p.fixed_one, 1u);
    EXPECT_EQ(p.media_resolved, 1u);
    EXPECT_EQ(p.resolution_class, 600);
    EXPECT_EQ(p.remote_flags, 0x8001);
    EXPECT_LT(static_cast<int16_t>(p.remote_flags), 0);  // the newer command set
    EXPECT_EQ(p.remote_flags2, 2);
    EXPECT_EQ(p.remote_flags3, mm.flag_word);
    EXPECT_EQ(p.remote_flags3, 0x40001840u);
    EXPECT_EQ(p.mono_mode, 2);
    EXPECT_EQ(p.dot_size, 0x11);  // two bits per colour
    EXPECT_EQ(p.microweave, 2);   // 300 x 600
    EXPECT_EQ(p.key11015, 2);
    EXPECT_EQ(p.head_id_bytes[0], ovcg_test::kModelHeadId0);
    EXPECT_EQ(p.head_id_bytes[3], 0x12);  // the driver's mode of two bits a dot
    EXPECT_EQ(p.key11014, int16_t(ovcg_test::kModelDriverSubType));
    EXPECT_EQ(p.key10000, mm.calibration_id);
    EXPECT_EQ(p.media_paper_id[0], mm.paper_id);
    EXPECT_EQ(p.media_paper_id[1], mm.remote_paper_id);
    EXPECT_EQ(p.key20001, ovcg_test::kModelRemote1);
    EXPECT_EQ(p.key20002, ovcg_test::kModelRemote2);
    EXPECT_EQ(p.key20003, ovcg_test::kModelRemote3);  // 25000 leaves it to 25060
    EXPECT_TRUE(Fetched(r, 25060));
    EXPECT_EQ(p.key10100, 1);
    EXPECT_EQ(p.key10103_on, 1u);
    EXPECT_EQ(p.ink_id, model.links.ink_id);
    EXPECT_EQ(p.head_feed_lines, model.head.nozzles_per_row);
    EXPECT_EQ(p.sn04_kind, ovcg_test::kModelSn04Kind);
    EXPECT_EQ(p.sn04_count, model.links.sn04_length);

    // The remote-mode tables of an odd roll media: the extended feed adjustment.
    EXPECT_TRUE(Fetched(r, 27500));
    EXPECT_FALSE(Fetched(r, 27000));
    EXPECT_EQ(p.adjust_feed_ex.a, 1);
    EXPECT_EQ(p.adjust_feed_ex.c, 300);
    EXPECT_EQ(p.adjust_feed_ex.f, 4);
    EXPECT_EQ(p.adjust_feed.b, 0);

    // The typed list.
    EXPECT_EQ(p.dry_time_table[0].code, 0);
    EXPECT_EQ(p.dry_time_table[0].value, 10);
    EXPECT_EQ(p.dry_time_table[1].code, 1);
    EXPECT_EQ(p.dry_time_table[2].code, 0xFFFF);
    EXPECT_EQ(p.sn_table[0].code, 0);
    EXPECT_EQ(p.sn_table[1].code, 1);
    EXPECT_EQ(p.sn_table[2].code, 5);
    EXPECT_EQ(p.sn_table[2].value, 2);
    EXPECT_EQ(p.sn_table[3].code, ovcg_test::kModelSnCut);
    EXPECT_EQ(p.sn_table[3].value, 0);
    EXPECT_EQ(p.sn_table[4].code, 0xFFFF);
    EXPECT_EQ(p.paper_path, 1);
    EXPECT_EQ(p.paper_path_value, 0);
    EXPECT_EQ(p.trim_banner_value, 258u);
    EXPECT_EQ(p.user_setting_table[0].code, 3);
    EXPECT_EQ(p.custom_mode_count, 2);
    EXPECT_EQ(p.custom_mode_data[0], 7);
    EXPECT_EQ(p.custom_mode_data[1], 9);
    EXPECT_EQ(p.custom_mode_data[2], 0xFF);
    EXPECT_EQ(p.data_proc_setting[0], 1);
    EXPECT_EQ(p.data_proc_setting[1], 0);
    EXPECT_EQ(p.data_proc_setting[2], 0xFF);
    EXPECT_EQ(p.plane_count, 4);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(p.plane_sml_index[i], i < 4 ? i + 1 : 0xFFFF) << i;
    for (int i = 0; i < 16; ++i)
        for (int s = 0; s < 3; ++s) EXPECT_EQ(p.ink_weights[i][s], i < 4 ? 100 * (i + 1) + s : 0) << i;
    // Neither T4 nor TB: no scaled lengths.
    EXPECT_EQ(p.length_12004, 0);
    EXPECT_EQ(p.length_12006, 0);
    EXPECT_EQ(p.length_12100, 0);
    // Border control without a top-margin offset.
    EXPECT_EQ(p.border_flag, 1u);
    EXPECT_EQ(p.top_margin_offset_on, 0u);
    EXPECT_EQ(p.top_margin_offset, 0);
    EXPECT_EQ(p.page_gap, 0);
    EXPECT_EQ(p.page_length_extra, 0);

    // Level 2, not the page language.
    EXPECT_EQ(p.generator_selector, 2);
    EXPECT_EQ(p.encoder_selector, 0);
    EXPECT_EQ(p.paper_thickness_mode, 1);  // 28000 % 3 != 0
    EXPECT_EQ(p.jx_items[1], 0xFFFF);      // 28002 % 3 == 0
    EXPECT_EQ(p.page_color_correction, 0xFFFF);
    EXPECT_EQ(p.page_halftone_type, 0xFFFF);
    EXPECT_EQ(p.image_type, 0xFFFF);

    // Duty defaults and the feed-offset adjustment from the media class.
    EXPECT_EQ(r.mode->MediaOpt().DutyDefault(0), 1024);
    EXPECT_EQ(r.mode->MediaOpt().FeedOffsetAdjustment(), -3);
    EXPECT_EQ(r.mode->PageNumber(), -1);
}

TEST(PrtModeDefault, Sn04BlockOfTheModel) {
    FrontEndJob fe;
    ASSERT_TRUE(fe.ok());
    const Resolved r = ResolveJob(DefaultModel(), fe.job());
    ASSERT_EQ(r.error, "");
    uint8_t expect[100];
    std::memset(expect, 0xFF, sizeof expect);
    const uint8_t head[24] = {0x01, 0x23, 0x01, 0xB4, 0x00, 0x06, 0x56, 0x04, 0xFF, 0xFF, 0x0A, 0x0B,
                              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x42, 0x0D};
    std::memcpy(expect, head, sizeof head);
    EXPECT_EQ(std::memcmp(r.info().sn04_data, expect, sizeof expect), 0);
    for (const auto& block : r.info().spare_blocks)
        for (uint8_t b : block) EXPECT_EQ(b, 0xFF);
}

TEST(PrtModeDefault, ResolvesThroughTheResourceFile) {
    ovcg_test::TempFile file("printmode");
    ASSERT_TRUE(DefaultModel().write_file(file.path()));
    ASSERT_EQ(ovs_resLoadFile(file.path().c_str()), 0);
    FrontEndJob fe;
    ASSERT_TRUE(fe.ok());
    std::string path = file.path();
    char* names[] = {path.data()};
    ovcg::CLinkRscDLL dll(names, 1);
    CPrtMode mode(&fe.job(), &dll);
    EXPECT_EQ(mode.Info().num_planes, 4);
    EXPECT_EQ(mode.Info().remote_flags3, 0x40001840u);
    ovs_resUnLoadFile();
}

// The debug export receives the record once, as resolved.
std::vector<std::vector<uint8_t>> g_exports;
int32_t RecordExport(int32_t id, int32_t size, void* data) {
    if (id == ovcg::kPrtInfoExportId && size == 1340) {
        const auto* b = static_cast<const uint8_t*>(data);
        g_exports.emplace_back(b, b + size);
    }
    return 0;
}

TEST(PrtModeDefault, ExportsTheRecordOnce) {
    FrontEndJob fe;
    ASSERT_TRUE(fe.ok());
    g_exports.clear();
    ovcg::SetDebugExportHook(&RecordExport);
    const Resolved r = ResolveJob(DefaultModel(), fe.job());
    ovcg::SetDebugExportHook(nullptr);
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(g_exports.size(), 1u);
    EXPECT_EQ(std::memcmp(g_exports[0].data(), &r.info(), sizeof(tagPRTINFOSTRUCT)), 0);
    // Padding bytes are defined: between key10004 and key10005_on.
    EXPECT_EQ(g_exports[0][254], 0);
    EXPECT_EQ(g_exports[0][255], 0);
    // No export without a hook, and none for a refused job.
    fe.job().ex_option &= ~OVCG_EXO_DM;
    ovcg::SetDebugExportHook(&RecordExport);
    EXPECT_EQ(ResolveJob(DefaultModel(), fe.job()).error, kIllegal);
    ovcg::SetDebugExportHook(nullptr);
    EXPECT_EQ(g_exports.size(), 1u);
}

TEST(PrtModeDefault, DeepCopiesOutliveTheCallersRecords) {
    FrontEndJob fe("Media1_Q1", "A4", nullptr);
    ASSERT_TRUE(fe.ok());
    auto cut = std::make_unique<tagCUTCMD>(tagCUTCMD{1, 2, 3, 4});
    auto trim = std::make_unique<tagTRIMINFO>(tagTRIMINFO{1, {1, 2}, {3, 4}, {5, 6}});
    std::vector<uint8_t> ink = {3, 1};
    std::string owner = "owner";
    tagJOBDATA_6 data{};
    data.version = 6;
    data.lpInkSetData = ink.data();
    data.NumInkSetData = 2;
    data.lpszOwnerName = owner.data();
    data.OwnerNameSize = static_cast<uint32_t>(owner.size());
    tagPRTSTRUCT3_12 job = fe.job();
    job.lpCutCmdData = cut.get();
    job.lpTrimInfo = trim.get();
    job.lpJobData = &data;
    Resolver resolver(DefaultModel());
    Resolved r = resolver.Run(job);
    ASSERT_EQ(r.error, "");
    cut.reset();
    trim.reset();
    ink.assign(2, 0);
    owner.assign("xxxxx");
    const tagPRTSTRUCT3_12& j = r.mode->Job();
    EXPECT_EQ(j.lpCutCmdData->cut_option, 2);
    EXPECT_EQ(j.lpTrimInfo->layout_offset.y, 6);
    EXPECT_EQ(j.lpJobData->lpInkSetData[0], 3);
    EXPECT_STREQ(j.lpJobData->lpszOwnerName, "owner");
    EXPECT_EQ(j.lpMediaOpt, r.mode->MediaOpt().Record());
    // The ink-set bytes are keys 15 and up; the others stay unset.
    CLRKeySet keys;
    ASSERT_EQ(r.mode->SetLRKeySetValue(&keys, 20000), 1);
    EXPECT_EQ(keys.GetLRTargetKey(15), 3);
    EXPECT_EQ(keys.GetLRTargetKey(16), 1);
    EXPECT_EQ(keys.GetLRTargetKey(17), 0xFFFF);
}

// One to seven ink-set bytes become keys 15 to 21; more are not used at all.
TEST(PrtModeDefault, InkSetKeysFromOneToSevenBytes) {
    const struct {
        uint32_t count;
        bool keys;
    } cases[] = {{1, true}, {7, true}, {8, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        FrontEndJob fe;
        ASSERT_TRUE(fe.ok());
        std::vector<uint8_t> ink = {3, 1, 4, 1, 5, 9, 2, 6};
        tagJOBDATA_6 data{};
        data.version = 6;
        data.lpInkSetData = ink.data();
        data.NumInkSetData = c.count;
        tagPRTSTRUCT3_12 job = fe.job();
        job.lpJobData = &data;
        Resolver resolver(DefaultModel());
        const Resolved r = resolver.Run(job);
        ASSERT_EQ(r.error, "");
        CLRKeySet keys;
        ASSERT_EQ(r.mode->SetLRKeySetValue(&keys, 20000), 1);
        for (uint32_t i = 0; i < 7; ++i)
            EXPECT_EQ(keys.GetLRTargetKey(uint16_t(15 + i)), c.keys && i < c.count ? ink[i] : 0xFFFF) << i;
    }
}

// ---- Refused option combinations ----------------------------------------------

TEST(PrtModeRefusal, OptionCombinationsBeforeAnyResource) {
    struct Case {
        const char* name;
        uint32_t mw_set, ex_set, ex_clear;
        bool refused;
    } cases[] = {
        {"CLAT without CL", OVCG_MW_CLAT, 0, 0, true},
        {"CLFL without CL", OVCG_MW_CLFL, 0, 0, true},
        {"CLAT with CL", OVCG_MW_CLAT | OVCG_MW_CL, 0, 0, false},
        {"TNMXHPAT without TNMX", OVCG_MW_TNMXHPAT, 0, 0, true},
        {"DP with AD", 0, OVCG_EXO_DP | OVCG_EXO_AD, 0, true},
        {"DP with FD", 0, OVCG_EXO_DP | OVCG_EXO_FD, 0, true},
        {"AD with FD", 0, OVCG_EXO_AD | OVCG_EXO_FD, 0, true},
        {"DP alone", 0, OVCG_EXO_DP, 0, false},
        {"FA with SI", 0, OVCG_EXO_FA | OVCG_EXO_SI, 0, true},
        {"BL with BR", 0, OVCG_EXO_BL | OVCG_EXO_BR, 0, true},
        {"no DM", 0, 0, OVCG_EXO_DM, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrontEndJob fe;
        ASSERT_TRUE(fe.ok());
        fe.job().mw_type |= c.mw_set;
        fe.job().ex_option = (fe.job().ex_option | c.ex_set) & ~c.ex_clear;
        const Resolved r = ResolveJob(DefaultModel(), fe.job());
        if (c.refused) {
            EXPECT_EQ(r.error, kIllegal);
            EXPECT_TRUE(r.fetched.empty());
        } else {
            EXPECT_EQ(r.error, "");
        }
    }
}

TEST(PrtModeRefusal, NullArguments) {
    FrontEndJob fe;
    MemoryLinkStore store(DefaultModel());
    auto dll = store.Adapter();
    for (int which = 0; which < 2; ++which) {
        try {
            CPrtMode m(which == 0 ? nullptr : &fe.job(), which == 0 ? dll.get() : nullptr);
            ADD_FAILURE();
        } catch (const char* message) {
            EXPECT_EQ(std::string(message), kIllegal);
        }
    }
}

// ---- Models broken in one place --------------------------------------------------

struct Breakage {
    const char* name;
    void (*apply)(ResWriter&);
    const std::string* error;
};

void Remove(ResWriter& w, uint16_t id) { w.remove(ovcg_test::kResTypeLink, id); }

const Breakage kBreakages[] = {
    {"20050 missing", [](ResWriter& w) { Remove(w, 20050); }, &kLoad},
    {"10100 not given", [](ResWriter& w) { ovcg_test::ReplaceChain(w, 20050, {{10101, 0}}); }, &kLoad},
    {"20000 missing", [](ResWriter& w) { Remove(w, 20000); }, &kLoad},
    {"10000 not given", [](ResWriter& w) { ovcg_test::PrependToChain(w, 20000, {{10000, 0xFFFF}}); }, &kLoad},
    {"media class missing", [](ResWriter& w) { Remove(w, 20500); }, &kLoad},
    {"11001 not given", [](ResWriter& w) { ovcg_test::PrependToChain(w, 20500, {{11001, 0xFFFF}}); }, &kLoad},
    {"remote flags not given",
     [](ResWriter& w) { ovcg_test::PrependToChain(w, 20500, {{11002, 0xFF}, {11003, 0xFF}}); }, &kLoad},
    {"double resolution with a multiplier above 1",
     [](ResWriter& w) { ovcg_test::PrependToChain(w, 20500, {{11022, 1}, {11026, 2}}); }, &kLoad},
    {"double resolution with multiplier 1",
     [](ResWriter& w) { ovcg_test::PrependToChain(w, 20500, {{11022, 1}, {11026, 1}}); }, nullptr},
    {"plane count 0", [](ResWriter& w) { ovcg_test::PrependToChain(w, 20500, {{11031, 0}}); }, &kIllegal},
    {"plane count 17", [](ResWriter& w) { ovcg_test::PrependToChain(w, 20500, {{11031, 17}}); }, &kIllegal},
    {"no plane count for format 101",
     [](ResWriter& w) { ovcg_test::PrependToChain(w, 20500, {{11031, 0xFFFF}}); }, &kIllegal},
    {"21000 missing", [](ResWriter& w) { Remove(w, 21000); }, &kLoad},
    {"12000 not given", [](ResWriter& w) { ovcg_test::PrependToChain(w, 21000, {{12000, 0xFFFF}}); }, &kLoad},
    {"12002/12003 not given",
     [](ResWriter& w) { ovcg_test::PrependToChain(w, 21000, {{12002, 0xFF}, {12003, 0xFF}}); }, &kLoad},
    {"25000 missing", [](ResWriter& w) { Remove(w, 25000); }, &kLoad},
    {"20000 of 25000 not given", [](ResWriter& w) { ovcg_test::PrependToChain(w, 25000, {{20000, 0xFFFF}}); }, &kLoad},
    {"10002 not given", [](ResWriter& w) { ovcg_test::PrependToChain(w, 20000, {{10002, 0xFFFF}}); }, &kLoad},
    {"25020 missing", [](ResWriter& w) { Remove(w, 25020); }, &kLoad},
    {"25040 missing", [](ResWriter& w) { Remove(w, 25040); }, &kLoad},
    {"25060 missing", [](ResWriter& w) { Remove(w, 25060); }, &kLoad},
    {"20001 not given", [](ResWriter& w) { ovcg_test::ReplaceChain(w, 25020, {{20009, 1}}); }, &kLoad},
    {"26000 missing", [](ResWriter& w) { Remove(w, 26000); }, &kLoad},
    {"27500 missing", [](ResWriter& w) { Remove(w, 27500); }, &kLoad},
    {"SN 04H value not given", [](ResWriter& w) { ovcg_test::PrependToChain(w, 26000, {{22001, 0xFFFF}}); }, &kLoad},
    {"SN 04H type 23000", [](ResWriter& w) { ovcg_test::PrependToChain(w, 26000, {{23000, 1}}); }, &kLoad},
    {"SN 04H type 23026", [](ResWriter& w) { ovcg_test::PrependToChain(w, 26000, {{23026, 1}}); }, &kLoad},
    {"SN 04H type 22100", [](ResWriter& w) { ovcg_test::PrependToChain(w, 26000, {{22100, 1}}); }, &kLoad},
    {"SN 04H type 21050", [](ResWriter& w) { ovcg_test::PrependToChain(w, 26000, {{21050, 1}}); }, &kLoad},
    {"SN 04H type 24000", [](ResWriter& w) { ovcg_test::PrependToChain(w, 26000, {{24000, 1}}); }, &kLoad},
    {"28000 missing", [](ResWriter& w) { Remove(w, 28000); }, nullptr},
    {"28500 missing", [](ResWriter& w) { Remove(w, 28500); }, nullptr},
    {"29000 missing", [](ResWriter& w) { Remove(w, 29000); }, nullptr},
    {"29500 and 30000 missing", [](ResWriter& w) { Remove(w, 29500); Remove(w, 30000); }, nullptr},
};

TEST(PrtModeBroken, EachBreakageRefusesTheJob) {
    for (const Breakage& b : kBreakages) {
        SCOPED_TRACE(b.name);
        FrontEndJob fe;
        ASSERT_TRUE(fe.ok());
        ResWriter model = DefaultModel();
        b.apply(model);
        const Resolved r = ResolveJob(model, fe.job());
        EXPECT_EQ(r.error, b.error ? *b.error : std::string());
    }
}

TEST(PrtModeBroken, OptionalResourcesLeaveTheirValuesUnset) {
    FrontEndJob fe;
    ASSERT_TRUE(fe.ok());
    ResWriter model = DefaultModel();
    Remove(model, 28000);
    Remove(model, 28500);
    Remove(model, 29000);
    const Resolved r = ResolveJob(model, fe.job());
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.info().paper_thickness_mode, 0xFFFF);
    EXPECT_EQ(r.info().key28500, 0xFFFF);
    EXPECT_EQ(r.info().generator_selector, 0xFFFF);
    EXPECT_EQ(r.info().key28502, 0xFFFF);
    EXPECT_EQ(r.info().encoder_selector, 0xFFFF);
    EXPECT_EQ(r.info().record_selector, 0xFFFF);
}

// Keys 28001 to 28014 enable the JX items one word each, the last (28014)
// the error-check item.
TEST(PrtModeBroken, EachJxEnableWordFromItsOwnKey) {
    for (int item = 0; item < 14; ++item) {
        SCOPED_TRACE(item);
        FrontEndJob fe;
        ASSERT_TRUE(fe.ok());
        ResWriter model = DefaultModel();
        ovcg_test::ReplaceChain(model, 28000, {{uint16_t(28001 + item), 1}});
        const Resolved r = ResolveJob(model, fe.job());
        ASSERT_EQ(r.error, "");
        for (int i = 0; i < 14; ++i) EXPECT_EQ(r.info().jx_items[i], i == item ? 1 : 0xFFFF) << i;
    }
}

TEST(PrtModeBroken, MissingSn04LengthOrKindRefuses) {
    // A typed list without the payload length (or kind) refuses a job that
    // sends the SN 04H block.
    for (uint16_t type : {12600, 12601}) {
        FrontEndJob fe;
        ResWriter model = DefaultModel();
        // Rebuild 21000 without the type: the model's list carries it in a
        // multi-key row, so override the whole chain with the required keys
        // and the other SN 04H key only.
        PairList list = {{12000, 1}, {12001, 0}, {12002, 0}, {12003, 1}};
        list.push_back(type == 12600 ? std::pair<uint16_t, uint16_t>{12601, 24} : std::pair<uint16_t, uint16_t>{12600, 4});
        ovcg_test::ReplaceChain(model, 21000, list);
        EXPECT_EQ(ResolveJob(model, fe.job()).error, kLoad) << type;
    }
}

// ---- Media classes and remote-mode sets ---------------------------------------------

TEST(PrtModeMediaClass, ChosenByFormatAndFlags) {
    struct Case {
        const char* name;
        int32_t prt_format;
        uint32_t mw_set, ex_set;
        uint16_t media_class;
    } cases[] = {
        {"colour", 101, 0, 0, 20500},
        {"monochrome", 0, 0, 0, 20520},
        {"monochrome whatever its flags", 0, OVCG_MW_TNMX, OVCG_EXO_CB, 20520},
        {"monochrome photo", 101, OVCG_MW_TNMX, OVCG_EXO_CB, 20540},
        {"colour setting", 101, 0, OVCG_EXO_CB, 20560},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrontEndJob fe;
        fe.job().prt_format = c.prt_format;
        fe.job().mw_type |= c.mw_set;
        fe.job().ex_option |= c.ex_set;
        const Resolved r = ResolveJob(DefaultModel(), fe.job());
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.mode->MediaClassId(), c.media_class);
        EXPECT_TRUE(Fetched(r, c.media_class));
        for (uint16_t other : {20500, 20520, 20540, 20560})
            if (other != c.media_class) {
                EXPECT_FALSE(Fetched(r, other)) << other;
            }
        EXPECT_EQ(r.info().num_planes, c.prt_format == 0 ? 1 : 4);
        EXPECT_EQ(r.info().color_mode_key, c.prt_format == 0 ? 0u : 1u + ((c.mw_set & OVCG_MW_TNMX) ? 1u : 0u));
        EXPECT_EQ(r.info().mono_mode, c.prt_format == 0 ? 1 : 2);
    }
}

TEST(PrtModeMediaClass, FrontEndGrayJobResolves) {
    FrontEndJob fe("Media1_Q1", "A4_Sheet", "Gray");
    ASSERT_TRUE(fe.ok());
    ASSERT_EQ(fe.job().prt_format, 0);
    const Resolved r = ResolveJob(DefaultModel(), fe.job());
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.info().num_planes, 1);
    EXPECT_EQ(r.info().plane_count, 0);  // no dot-count table for one plane
}

TEST(PrtModeMediaClass, RemoteSetsPerMedia) {
    struct Case {
        uint16_t media;
        uint32_t flags;
        std::vector<uint16_t> read, not_read;
    } cases[] = {
        {0, 0x40001808, {25000, 25020, 25040, 26000, 27000}, {27500, 25060}},  // roll, even
        {1, 0x40001840, {25000, 25060, 25020, 25040, 26000, 27500}, {27000}},  // roll, odd
        {3, 0x00008400, {25000}, {25020, 25040, 25060, 26000, 27000, 27500}},  // sheet, remote only
        {4, 0x00000000, {}, {25000, 25020, 25040, 25060, 26000, 27000, 27500}},
        {9, 0x00000000, {}, {25000, 26000}},  // not in the model: the fallback row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.media);
        FrontEndJob fe;
        fe.job().media_type = c.media;
        const Resolved r = ResolveJob(DefaultModel(), fe.job());
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.info().remote_flags3, c.flags);
        const bool roll = c.media <= 2;
        EXPECT_EQ(r.info().remote_flags, roll ? 0x8001 : 0x0001);
        for (uint16_t id : c.read) EXPECT_TRUE(Fetched(r, id)) << id;
        for (uint16_t id : c.not_read) EXPECT_FALSE(Fetched(r, id)) << id;
    }
}

TEST(PrtModeMediaClass, RemoteOnlyNeedsNothingElse) {
    // A sheet media with only the 0x8000 flag: 25000 is required, the SN 04H
    // resources may be missing altogether.
    FrontEndJob fe;
    fe.job().media_type = 3;
    ResWriter model = DefaultModel();
    for (uint16_t id : {25020, 25040, 25060, 26000, 27000, 27500}) Remove(model, id);
    EXPECT_EQ(ResolveJob(model, fe.job()).error, "");
    Remove(model, 25000);
    EXPECT_EQ(ResolveJob(model, fe.job()).error, kLoad);
}

TEST(PrtModeMediaClass, FeedAdjustmentTableFollowsTheFlagWord) {
    // Media 0 asks for the plain feed adjustment (0x8): 27000 is required,
    // 27500 is not read.
    FrontEndJob fe;
    fe.job().media_type = 0;
    ResWriter model = DefaultModel();
    Remove(model, 27500);
    const Resolved r = ResolveJob(model, fe.job());
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.info().adjust_feed.a, 1);
    EXPECT_EQ(r.info().adjust_feed.b, 100);
    EXPECT_EQ(r.info().adjust_feed.c, 200);
    EXPECT_EQ(r.info().adjust_feed.d, 2);
    // The padding inside the exported record stays 0.
    const auto* bytes = reinterpret_cast<const uint8_t*>(&r.info());
    EXPECT_EQ(bytes[offsetof(tagPRTINFOSTRUCT, adjust_feed) + 1], 0);
    EXPECT_EQ(bytes[offsetof(tagPRTINFOSTRUCT, adjust_feed) + 7], 0);
    Remove(model, 27000);
    EXPECT_EQ(ResolveJob(model, fe.job()).error, kLoad);
}

TEST(PrtModeMediaClass, FlagWordWrapsInThirtyTwoBits) {
    struct Case {
        uint16_t k6, k7, k8, k9;
        uint32_t expect;
    } cases[] = {
        {1, 2, 3, 0xFFFF, 0x010202FFu},          // 11009 not given: (...) - 1
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFFFFFFFFu},
        {0x1FF, 0, 0, 0, 0xFF000000u},           // only the low byte of 11006 survives
        {0, 0, 0xFFFF, 0, 0xFFFFFF00u},          // sign-extended
    };
    for (const Case& c : cases) {
        FrontEndJob fe;
        fe.job().media_type = 4;  // no flag-dependent resources in the default
        ResWriter model = DefaultModel();
        ovcg_test::PrependToChain(model, 20500, {{11006, c.k6}, {11007, c.k7}, {11008, c.k8}, {11009, c.k9}});
        // Whatever the flags ask for, give it.
        const Resolved r = ResolveJob(model, fe.job());
        EXPECT_EQ(r.mode ? r.info().remote_flags3 : 0u, c.expect) << r.error;
    }
}

TEST(PrtModeMediaClass, MonoModeRule) {
    struct Case {
        const char* name;
        PairList pairs;
        int32_t prt_format;
        int16_t expect;
    } cases[] = {
        {"given", {{11017, 5}}, 101, 5},
        {"11005 bit 0", {{11004, 0}, {11005, 3}}, 101, 1},
        {"no 0x1C00 bits", {{11006, 0}, {11007, 0}, {11008, 0}, {11009, 0}}, 101, -1},
        {"colour", {{11006, 0}, {11007, 0}, {11008, 0x04}, {11009, 0}}, 101, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrontEndJob fe;
        fe.job().media_type = 4;
        fe.job().prt_format = c.prt_format;
        ResWriter model = DefaultModel();
        ovcg_test::PrependToChain(model, 20500, c.pairs);
        const Resolved r = ResolveJob(model, fe.job());
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.info().mono_mode, c.expect);
    }
}

// ---- The typed list of 21000 -------------------------------------------------------------

// A job on media 4 (no flag-dependent resources) whose 21000 is exactly the
// required keys and `list`.
Resolved WithCommandList(const PairList& list, const std::function<void(tagPRTSTRUCT3_12&)>& edit = {},
                         const PairList& media_class = {}) {
    FrontEndJob fe;
    fe.job().media_type = 4;
    if (edit) edit(fe.job());
    ResWriter model = DefaultModel();
    PairList chain = {{12000, 1}, {12001, 0}, {12002, 0}, {12003, 1}};
    chain.insert(chain.end(), list.begin(), list.end());
    ovcg_test::ReplaceChain(model, 21000, chain);
    if (!media_class.empty()) ovcg_test::PrependToChain(model, 20500, media_class);
    return ResolveJob(model, fe.job());
}

TEST(PrtModeCommands, BrokenCouplesRefuse) {
    for (uint16_t first : {12200, 12210, 12240, 12250, 12500}) {
        SCOPED_TRACE(first);
        const uint16_t second = uint16_t(first + 1);
        EXPECT_EQ(WithCommandList({{first, 1}, {second, 2}}).error, "");
        EXPECT_EQ(WithCommandList({{first, 1}}).error, kLoad);
        EXPECT_EQ(WithCommandList({{first, 1}, {12101, 2}, {second, 2}}).error, kLoad);
        // A second type alone has no rule.
        EXPECT_EQ(WithCommandList({{second, 1}}).error, "");
    }
}

TEST(PrtModeCommands, TablesHoldSixteenEntries) {
    for (uint16_t first : {12200, 12250, 12500}) {
        SCOPED_TRACE(first);
        PairList list;
        for (int i = 0; i < 16; ++i) {
            list.push_back({first, uint16_t(i)});
            list.push_back({uint16_t(first + 1), uint16_t(100 + i)});
        }
        Resolved ok = WithCommandList(list);
        ASSERT_EQ(ok.error, "");
        const ovcg::PrtInfoCodeValue* table = first == 12200 ? ok.info().dry_time_table
                                              : first == 12250 ? ok.info().user_setting_table
                                                               : ok.info().sn_table;
        EXPECT_EQ(table[15].code, 15);
        EXPECT_EQ(table[15].value, 115);
        list.push_back({first, 16});
        list.push_back({uint16_t(first + 1), 116});
        EXPECT_EQ(WithCommandList(list).error, kLoad);
    }
    // The SN codes share the 12500 table.
    PairList sn;
    for (int i = 0; i < 16; ++i) sn.push_back({uint16_t(12300 + i % 5), uint16_t(i)});
    EXPECT_EQ(WithCommandList(sn).error, "");
    sn.push_back({12300, 1});
    EXPECT_EQ(WithCommandList(sn).error, kLoad);
}

TEST(PrtModeCommands, SnCodes) {
    const Resolved r = WithCommandList({{12300, 10}, {12301, 11}, {12500, 7}, {12501, 8}, {12302, 12}, {12303, 13}, {12304, 14}});
    ASSERT_EQ(r.error, "");
    const uint16_t codes[] = {0, 1, 7, 2, 0x80, 0x81, 0xFFFF};
    const uint16_t values[] = {10, 11, 8, 12, 13, 14, 0xFFFF};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(r.info().sn_table[i].code, codes[i]) << i;
        EXPECT_EQ(r.info().sn_table[i].value, values[i]) << i;
    }
}

TEST(PrtModeCommands, SingleValues) {
    const Resolved r = WithCommandList({{12101, 0xFFFF},
                                        {12103, 7},
                                        {12245, 8},
                                        {12246, 9},
                                        {12850, 0xFFFF},
                                        {12210, 0xFFFF},
                                        {12211, 2},
                                        {12240, 5},
                                        {12241, 6},
                                        {12700, 0x1FF},
                                        {12708, 3},
                                        {12709, 4},
                                        {12102, 20000}});
    ASSERT_EQ(r.error, "");
    const tagPRTINFOSTRUCT& p = r.info();
    EXPECT_EQ(p.head_feed_lines, -1);
    EXPECT_EQ(p.key12103, 7);
    EXPECT_EQ(p.key12245, 8);
    EXPECT_EQ(p.user_media_number_type, 9);
    EXPECT_EQ(p.dot_count_scale, -1);
    EXPECT_EQ(p.trim_banner_value, 0xFFFFFF02u);  // -1 x 256 + 2
    EXPECT_EQ(p.paper_path, 5);
    EXPECT_EQ(p.paper_path_value, 6);
    EXPECT_EQ(p.data_proc_setting[0], 0xFF);
    EXPECT_EQ(p.data_proc_setting[8], 3);
    EXPECT_EQ(p.ink_id, 20000);
    EXPECT_EQ(WithCommandList({{12102, 0xFFFF}}).error, kLoad);  // negative
}

TEST(PrtModeCommands, Key12602Rule) {
    struct Case {
        uint32_t ex;
        int32_t expect;
    } cases[] = {{OVCG_EXO_SI, 0}, {OVCG_EXO_FA, 1}, {0, 5}};
    for (const Case& c : cases) {
        const Resolved r = WithCommandList({{12602, 5}}, [&](tagPRTSTRUCT3_12& j) { j.ex_option |= c.ex; });
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.info().key12602, c.expect) << c.ex;
    }
}

TEST(PrtModeCommands, Sn04PayloadLengthMustFitTheBlock) {
    struct Case {
        uint16_t length;
        bool ok;
    } cases[] = {{0, false}, {1, false}, {2, true}, {100, true}, {101, false}, {0xFFFF, false}};
    for (const Case& c : cases) EXPECT_EQ(WithCommandList({{12601, c.length}}).error, c.ok ? "" : kLoad) << c.length;
}

TEST(PrtModeCommands, ScaledLengths) {
    struct Case {
        const char* name;
        tagPOINT src, prt;
        uint32_t ex;
        int32_t l4, l5, l6, l7, l100;
    } cases[] = {
        {"720 dpi, trim banner", {720, 720}, {720, 720}, OVCG_EXO_TB, 0, 0, 200, 400, 0},
        {"720 dpi, neither", {720, 720}, {720, 720}, 0, 0, 0, 0, 0, 0},
        {"600 dpi, trim banner", {600, 600}, {600, 600}, OVCG_EXO_TB, 0, 0, 100, 200, 0},
        {"600 dpi, force mode 2", {600, 600}, {1200, 1200}, OVCG_EXO_T4, 50, 100, 100, 200, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Resolved r = WithCommandList({{12004, 50}, {12005, 100}, {12006, 100}, {12007, 200}, {12100, 30}},
                                           [&](tagPRTSTRUCT3_12& j) {
                                               j.src_resolution = c.src;
                                               j.prt_resolution = c.prt;
                                               j.ex_option |= c.ex;
                                           });
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.info().length_12004, c.l4);
        EXPECT_EQ(r.info().length_12005, c.l5);
        EXPECT_EQ(r.info().length_12006, c.l6);
        EXPECT_EQ(r.info().length_12007, c.l7);
        EXPECT_EQ(r.info().length_12100, c.l100);
    }
    // Negative values give 0; huge products saturate instead of wrapping.
    const Resolved big = WithCommandList({{12006, 20000}, {12007, 0xFFFF}}, [](tagPRTSTRUCT3_12& j) {
        j.src_resolution = {1 << 30, 600};
        j.ex_option |= OVCG_EXO_TB;
    });
    ASSERT_EQ(big.error, "");
    EXPECT_EQ(big.info().length_12006, INT_MAX);
    EXPECT_EQ(big.info().length_12007, 0);
}

TEST(PrtModeCommands, CountedLists) {
    const Resolved r = WithCommandList({{12220, 3}, {12221, 0x1AA}, {12999, 5}, {12228, 6}, {12800, 2}, {12802, 9}, {12816, 8}});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.info().custom_mode_count, 3);
    EXPECT_EQ(r.info().custom_mode_data[0], 0xAA);
    EXPECT_EQ(r.info().custom_mode_data[1], 0xFF);
    EXPECT_EQ(r.info().custom_mode_data[7], 6);
    EXPECT_EQ(r.info().plane_count, 2);
    EXPECT_EQ(r.info().plane_sml_index[1], 9);
    EXPECT_EQ(r.info().plane_sml_index[15], 8);
    EXPECT_EQ(r.info().plane_sml_index[0], 0xFFFF);

    // Counted types among the counted pairs are consumed, not processed.
    const Resolved c = WithCommandList({{12220, 1}, {12101, 5}});
    ASSERT_EQ(c.error, "");
    EXPECT_EQ(c.info().head_feed_lines, -1);

    PairList sixteen = {{12800, 16}};
    for (int p = 0; p < 16; ++p) sixteen.push_back({uint16_t(12801 + p), uint16_t(p)});
    EXPECT_EQ(WithCommandList(sixteen).error, "");
    PairList seventeen = {{12800, 17}};
    for (int p = 0; p < 17; ++p) seventeen.push_back({uint16_t(12801 + p % 16), uint16_t(p)});
    EXPECT_EQ(WithCommandList(seventeen).error, kLoad);
    EXPECT_EQ(WithCommandList({{12800, 3}, {12801, 1}}).error, kLoad);  // list ends early
    EXPECT_EQ(WithCommandList({{12220, 2}, {12221, 1}}).error, kLoad);
}

TEST(PrtModeCommands, InkWeightTriples) {
    // Four planes (format 101): 12 values from 12901 on, whatever their types.
    PairList list = {{12901, 1}};
    for (int i = 1; i < 12; ++i) list.push_back({uint16_t(i == 5 ? 12101 : 7000 + i), uint16_t(i == 11 ? 0xFFFF : i + 1)});
    const Resolved r = WithCommandList(list);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.info().ink_weights[0][0], 1);
    EXPECT_EQ(r.info().ink_weights[1][2], 6);
    EXPECT_EQ(r.info().ink_weights[3][2], -1);
    EXPECT_EQ(r.info().ink_weights[4][0], 0);
    EXPECT_EQ(r.info().head_feed_lines, -1);  // consumed as a weight
    list.pop_back();
    EXPECT_EQ(WithCommandList(list).error, kLoad);

    // Without a plane count from the model the 12901 pair alone is skipped.
    const Resolved mono = WithCommandList({{12901, 1}, {12101, 5}}, [](tagPRTSTRUCT3_12& j) { j.prt_format = 0; });
    ASSERT_EQ(mono.error, "");
    EXPECT_EQ(mono.info().ink_weights[0][0], 0);
    EXPECT_EQ(mono.info().head_feed_lines, 5);

    // A key 11031 beyond the 16 entries (without 11016, so it is not the
    // plane count) refuses the list.
    PairList many = {{12901, 1}};
    for (int i = 1; i < 60; ++i) many.push_back({7000, 1});
    const auto cmyk = [](tagPRTSTRUCT3_12& j) { j.prt_format = 1; };
    const Resolved wide = WithCommandList(many, cmyk, {{11016, 0xFFFF}, {11031, 20}});
    EXPECT_EQ(wide.error, kLoad);
    const Resolved fits = WithCommandList(many, cmyk, {{11016, 0xFFFF}, {11031, 16}});
    EXPECT_EQ(fits.error, "");
}

// ---- The border step ---------------------------------------------------------------

TEST(PrtModeBorder, Cases) {
    struct Case {
        const char* name;
        uint16_t media;         // 1: border control; 4: none
        uint32_t ex_set, ex2;
        uint32_t mw_set;
        uint16_t offset;        // type 13000
        uint32_t border_flag, roll, cut_after, border_length_on, offset_on, flag4;
        int32_t top_margin_offset, page_length_extra, page_gap;
    } cases[] = {
        {"no control", 4, 0, 0x40 | 0x10, 0, 30, 1, 0, 0, 0, 0, 0, 0, 0, 0},
        {"no control, offset asked", 4, 0, 0x40, 0, 30, 1, 0, 0, 0, 0, 0, 30, 0, 0},
        {"no control, roll", 4, OVCG_EXO_BR, 0, 0, 30, 0, 1, 0, 0, 0, 0, 0, 0, 0},
        {"no control, 0x20", 4, 0, 0x20, 0, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {"control, no offset", 1, OVCG_EXO_BR, 0, 0, 30, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        {"control, no offset, TNMX", 1, OVCG_EXO_BR, 0, OVCG_MW_TNMX, 30, 0, 1, 0, 0, 0, 0, 0, 0, 0},
        {"control, flag 0x10 kept", 1, 0, 0x10, 0, 30, 1, 0, 0, 0, 0, 1, 0, 0, 0},
        {"offset, no cutting", 1, 0, 0x40, 0, 30, 1, 1, 1, 1, 1, 0, 30, 35, 59},
        {"offset, cutting, roll", 1, OVCG_EXO_AC | OVCG_EXO_BR, 0x40, 0, 30, 0, 1, 1, 1, 1, 0, 30, 35, 0},
        {"offset, cutting, sheet", 1, OVCG_EXO_AC, 0x40, 0, 30, 1, 0, 0, 0, 1, 0, 30, 35, 0},
        {"offset, cut after job given", 1, OVCG_EXO_SP, 0x40, 0, 30, 1, 1, 1, 0, 1, 0, 30, 35, 59},
        {"offset 0 clears it", 1, 0, 0x40, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrontEndJob fe;
        fe.job().media_type = c.media;
        fe.job().ex_option |= c.ex_set;
        fe.job().ex_option2 = c.ex2;
        fe.job().mw_type |= c.mw_set;
        ResWriter model = DefaultModel();
        ovcg_test::PrependToChain(model, 21000, {{13000, c.offset}});
        const Resolved r = ResolveJob(model, fe.job());
        ASSERT_EQ(r.error, "");
        const tagPRTINFOSTRUCT& p = r.info();
        EXPECT_EQ(p.border_flag, c.border_flag);
        EXPECT_EQ(p.ex_option_flags[ovcg::kExRollMedia], c.roll);
        EXPECT_EQ(p.ex_option_flags[ovcg::kExCutAfterJob], c.cut_after);
        EXPECT_EQ(p.border_length_on, c.border_length_on);
        EXPECT_EQ(p.top_margin_offset_on, c.offset_on);
        EXPECT_EQ(p.ex_option2_flag4, c.flag4);
        EXPECT_EQ(p.page_length_extra, c.page_length_extra);
        EXPECT_EQ(p.page_gap, c.page_gap);
        // The model's own 13000 (30) follows the prepended one in the list.
        if (c.offset_on) {
            EXPECT_EQ(p.top_margin_offset, c.top_margin_offset);
        }
    }
}

TEST(PrtModeBorder, PageGapBeforeTheStep) {
    // 254 tenths of a millimetre at 300 dpi are 300 lines; with the border
    // control, an offset and no cutting, the step keeps it.
    const Resolved r = WithCommandList({{13000, 10}, {13002, 254}}, [](tagPRTSTRUCT3_12& j) { j.ex_option2 = 0x40; },
                                       {{11006, 0x40}, {11007, 0}, {11008, 0}, {11009, 0}});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.info().page_gap, 300);
    EXPECT_EQ(r.info().top_margin_offset, 10);
    EXPECT_EQ(r.info().page_length_extra, 11);
}

// ---- Per page --------------------------------------------------------------------

TEST(PrtModePage, RefreshReadsThePageTables) {
    FrontEndJob fe;
    Resolver resolver(DefaultModel());
    Resolved r = resolver.Run(fe.job());
    ASSERT_EQ(r.error, "");
    r.mode->RefreshInitPage(13);
    EXPECT_EQ(r.mode->PageNumber(), 13);
    EXPECT_EQ(r.info().page_color_correction, 13);
    EXPECT_EQ(r.info().page_halftone_type, 3);
    EXPECT_EQ(r.info().image_type, 1);  // roll media
    EXPECT_EQ(r.mode->MediaOpt().DutyDefault(3), 900);
    r.mode->RefreshInitPage(4);
    EXPECT_EQ(r.info().page_color_correction, 4);
    EXPECT_EQ(r.info().page_halftone_type, 0xFFFF);
    EXPECT_EQ(r.mode->MediaOpt().DutyDefault(3), 1024);
    EXPECT_EQ(resolver.store.outstanding(), 0);
}

TEST(PrtModePage, MissingPageTablesReset) {
    FrontEndJob fe;
    ResWriter model = DefaultModel();
    ovcg_test::PrependToChain(model, 20500, {{11023, 2048}});
    Remove(model, 29500);
    Remove(model, 30000);
    Resolver resolver(model);
    Resolved r = resolver.Run(fe.job());
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.mode->MediaOpt().DutyDefault(7), 2048);
    r.mode->RefreshInitPage(13);
    EXPECT_EQ(r.info().page_color_correction, 0xFFFF);
    EXPECT_EQ(r.info().image_type, 0xFFFF);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(r.mode->MediaOpt().DutyDefault(i), 1024) << i;
}

// ---- Key sets ------------------------------------------------------------------------

TEST(PrtModeKeys, DerivedKeys) {
    struct Case {
        uint32_t ex;
        uint16_t k13, k47, k49;
    } cases[] = {
        {0, 0, 0, 0},
        {OVCG_EXO_TB, 1, 0, 0},
        {OVCG_EXO_T4, 1, 0, 0},
        {OVCG_EXO_OV, 0, 1, 0},
        {OVCG_EXO_OV | OVCG_EXO_T4, 1, 2, 0},
        {OVCG_EXO_DP, 0, 0, 1},
        {OVCG_EXO_AD, 0, 0, 2},
        {OVCG_EXO_FD, 0, 0, 3},
    };
    for (const Case& c : cases) {
        FrontEndJob fe;
        fe.job().media_type = 4;
        fe.job().ex_option |= c.ex;
        fe.job().paper_ID = 12000;
        const Resolved r = ResolveJob(DefaultModel(), fe.job());
        ASSERT_EQ(r.error, "") << c.ex;
        CLRKeySet k;
        ASSERT_EQ(r.mode->SetLRKeySetValue(&k, 21000), 1);
        EXPECT_EQ(k.GetLRTargetKey(13), c.k13) << c.ex;
        EXPECT_EQ(k.GetLRTargetKey(47), c.k47) << c.ex;
        EXPECT_EQ(k.GetLRTargetKey(49), c.k49) << c.ex;
        EXPECT_EQ(k.GetLRTargetKey(2), 256);  // paper above 9999
        EXPECT_EQ(k.GetLRTargetKey(50), 1);
        EXPECT_EQ(k.GetLRTargetKey(1000), 20500);
        EXPECT_EQ(k.GetLRTargetKey(10), 101);
        EXPECT_EQ(k.GetLRTargetKey(14), 0xFFFF);  // no cutting adjustment given
        EXPECT_EQ(k.GetLRTargetKey(1001), 0xFFFF);  // before the first page
        // Values resolved earlier.
        EXPECT_EQ(k.GetLRTargetKey(10000), 5);
        EXPECT_EQ(k.GetLRTargetKey(11025), ovcg_test::kModelHeadId0);
        EXPECT_EQ(k.GetLRTargetKey(12102), 0x21);
        EXPECT_EQ(r.mode->SetLRKeySetValue(&k, 12345), 0);
    }
}

TEST(PrtModeKeys, MediaOptionKeys) {
    FrontEndJob fe;
    tagMEDIAOPT_8* mo = fe.job().lpMediaOpt;
    mo->field |= OVCG_MO_CUT_ADJUST | OVCG_MO_PALATEN_GAP | OVCG_MO_PAGE_MARGIN;
    mo->cutting_adjustment = -2;
    mo->platen_gap_mode = 3;
    mo->page_margin = 4;
    const Resolved r = ResolveJob(DefaultModel(), fe.job());
    ASSERT_EQ(r.error, "");
    CLRKeySet k;
    ASSERT_EQ(r.mode->SetLRKeySetValue(&k, 20000), 1);
    EXPECT_EQ(k.GetLRTargetKey(14), 0xFFFE);
    EXPECT_EQ(k.GetLRTargetKey(53), 3);
    EXPECT_EQ(k.GetLRTargetKey(54), 0);
    EXPECT_EQ(k.GetLRTargetKey(13001), 4);
}

// ---- Plane counts, presets and the SN 04H block ------------------------------------

TEST(PrtModeTables, PlaneCounts) {
    const int expect[] = {1, 4, 3, 6, 7, 0, 7, 7, 6, 8, 8, 6, 7, 6, 8, 8, 10};
    for (int f = 0; f <= 16; ++f) EXPECT_EQ(CPrtMode::GetNumPlane(f), expect[f]) << f;
    for (int f : {-1, 17, 101}) EXPECT_EQ(CPrtMode::GetNumPlane(f), 0) << f;
}

// The preset record byte by byte, from the field layout with natural
// alignment: runs of 0xFF (not given), 0 (flags, lengths, padding) and the
// fields that construction always writes (not checked).
TEST(PrtModeTables, PresetImage) {
    constexpr int kAny = -1;
    struct Run {
        size_t begin, end;
        int fill;
    };
    const Run runs[] = {
        {0, 4, kAny},        // num_planes
        {4, 8, kAny},        // fixed_one, checked below
        {8, 240, kAny},      // expanded flags, derived words
        {240, 254, 0xFF},    // key10000 .. key10004
        {254, 260, 0},       // padding, key10005_on
        {260, 300, 0xFF},    // key10100 .. mono_mode, remote_flags3 among them
        {300, 304, 0},       // key11018_on
        {304, 310, 0xFF},    // key11019 .. key11021
        {310, 316, 0},       // padding, double_hres
        {316, 342, 0xFF},    // head_id_bytes .. color_correction_override
        {342, 344, 0},       // padding
        {344, 354, 0xFF},    // key11038, key12000 .. key12002_3
        {354, 372, 0},       // padding, the four scaled lengths
        {372, 376, 0xFF},    // sn04_kind
        {376, 380, kAny},    // color_mode_key
        {380, 400, 0xFF},    // media_paper_id .. key20003
        {400, 404, kAny},    // bin_id_key
        {404, 710, 0xFF},    // key12602, sn04_count, sn04_data, spare_blocks
        {710, 712, 0},       // padding
        {712, 716, 0xFF},    // spare_word
        {716, 732, 0},       // adjust_feed, adjust_feed_ex
        {732, 868, 0xFF},    // sn_table, dry_time_table, paper_path(_value), trim_banner_value
        {868, 872, 0},       // custom_mode_count
        {872, 946, 0xFF},    // custom_mode_data, ink_id, user_setting_table
        {946, 952, 0},       // padding, length_12100
        {952, 960, 0xFF},    // head_feed_lines, key12103
        {960, 964, kAny},    // resolution_class
        {964, 973, 0xFF},    // data_proc_setting
        {973, 988, 0},       // padding, key10103_on, user_setting0_off, plane_count
        {988, 1020, 0xFF},   // plane_sml_index
        {1020, 1022, kAny},  // dot_count_scale, checked below
        {1022, 1216, 0},     // padding, ink_weights
        {1216, 1228, kAny},  // ex_option2_flag4, border_flag, top_margin_offset_on
        {1228, 1244, 0},     // top_margin_offset (0 without type 13000) .. border_length_on
        {1244, 1320, 0xFF},  // generator switches
        {1320, 1330, kAny},  // selectors
        {1330, 1340, 0xFF},  // per-page values, key12245, user_media_number_type
    };
    tagPRTINFOSTRUCT p;
    std::memset(&p, 0x5A, sizeof p);
    ovcg::PresetPrtInfo(&p);
    const auto* b = reinterpret_cast<const uint8_t*>(&p);
    size_t next = 0;
    for (const Run& r : runs) {
        ASSERT_EQ(r.begin, next);
        next = r.end;
        if (r.fill == kAny) continue;
        for (size_t i = r.begin; i < r.end; ++i) EXPECT_EQ(b[i], r.fill) << "byte " << i;
    }
    EXPECT_EQ(next, sizeof p);
    EXPECT_EQ(p.fixed_one, 1u);
    EXPECT_EQ(p.dot_count_scale, 1);

    // Offsets the runs above rely on, beyond those the header asserts.
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, key10005_on), 256u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, key11018_on), 300u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, double_hres), 312u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, key11038), 344u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, length_12006), 356u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, spare_word), 712u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, custom_mode_count), 868u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, length_12100), 948u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, resolution_class), 960u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, data_proc_setting), 964u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, plane_sml_index), 988u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, dot_count_scale), 1020u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, top_margin_offset), 1228u);
    EXPECT_EQ(offsetof(tagPRTINFOSTRUCT, key28500), 1320u);
}

ovcg::RscLinkResult Pairs(const PairList& list) {
    ovcg::RscLinkResult r(100);
    for (const auto& [t, v] : list) r.Append(t, v);
    return r;
}

TEST(PrtModeSn04, TheExampleBytes) {
    uint8_t block[100];
    std::memset(block, 0xFF, sizeof block);
    ASSERT_TRUE(ovcg::WriteSn04Block(Pairs({{22037, 7}, {23004, 0x1234}}), block, -1, 40));
    uint8_t expect[100];
    std::memset(expect, 0xFF, sizeof expect);
    expect[37] = 7;
    expect[7] = 0x34;
    expect[8] = 0x12;
    expect[38] = 0x2A;  // 35 x 0xFF + 7 + 0x34 + 0x12 = 0x232A
    expect[39] = 0x23;
    EXPECT_EQ(std::memcmp(block, expect, sizeof block), 0);
}

TEST(PrtModeSn04, EdgesOfTheBlock) {
    struct Case {
        PairList pairs;
        uint16_t length;
        bool ok;
        std::vector<std::pair<int, uint8_t>> bytes;
    } cases[] = {
        {{{22099, 1}}, 0, true, {{99, 1}}},  // below 2: no checksum
        {{{21049, 0x0201}}, 1, true, {{98, 0x01}, {99, 0x02}}},
        {{{22099, 1}}, 100, true, {{98, 0x9E}, {99, 0x61}}},  // the checksum overwrites the tail
        {{{21000, 0x0201}}, 100, true, {{0, 0x01}, {1, 0x02}}},
        {{{23025, 0x0201}}, 100, true, {{49, 0x01}, {50, 0x02}}},
        {{{23001, 0x0201}}, 2, true, {{0, 0}, {1, 0}}},  // the checksum of nothing
        {{{22000, 5}}, 3, true, {{0, 5}, {1, 5}, {2, 0}}},
        {{{23000, 1}}, 100, false, {}},
        {{{23026, 1}}, 100, false, {}},
        {{{22100, 1}}, 100, false, {}},
        {{{21050, 1}}, 100, false, {}},
        {{{20999, 1}}, 100, false, {}},
        {{{22000, 0xFFFF}}, 100, false, {}},
        {{{22000, 1}}, 101, false, {}},
        {{{22005, 0x1234}}, 0, true, {{5, 0x34}}},  // a byte type keeps the low byte
        // Later pairs overwrite earlier ones where they overlap.
        {{{21003, 0x0201}, {23004, 0x0403}}, 0, true, {{6, 0x01}, {7, 0x03}, {8, 0x04}}},
        // A refused pair ends the list: what came before stays written.
        {{{22001, 9}, {22002, 0xFFFF}, {22003, 9}}, 0, false, {{1, 9}, {2, 0xFF}, {3, 0xFF}}},
    };
    for (const Case& c : cases) {
        uint8_t block[100];
        std::memset(block, 0xFF, sizeof block);
        EXPECT_EQ(ovcg::WriteSn04Block(Pairs(c.pairs), block, -1, c.length), c.ok) << c.pairs[0].first;
        for (const auto& [at, v] : c.bytes) EXPECT_EQ(block[at], v) << c.pairs[0].first << " byte " << at;
    }
    // Another base moves the positions but never outside the block.
    uint8_t block[100];
    std::memset(block, 0xFF, sizeof block);
    EXPECT_TRUE(ovcg::WriteSn04Block(Pairs({{22000, 3}}), block, 9, 0));
    EXPECT_EQ(block[10], 3);
    EXPECT_FALSE(ovcg::WriteSn04Block(Pairs({{22099, 3}}), block, 0, 0));
    EXPECT_FALSE(ovcg::WriteSn04Block(Pairs({{22000, 3}}), block, -2, 0));
}

}  // namespace

namespace {

// Mutated models: the resolution either succeeds or refuses with one of its
// two messages; it never reads outside a resource or leaks one, and every
// per-plane table stays within its 16 entries (the sanitizer build checks
// the reads and writes).
TEST(PrtModeHostile, MutatedModelsResolveOrRefuse) {
    const ResWriter model = DefaultModel();
    std::vector<ovcg_test::ResRecord> links;
    for (const auto& r : model.records())
        if (r.type == ovcg_test::kResTypeLink) links.push_back(r);
    std::mt19937 rng(99);
    const uint16_t interesting[] = {0, 1, 2, 16, 17, 99, 100, 101, 0x1000, 20000, 20001, 0xFFFE, 0xFFFF};
    int resolved = 0;
    for (int round = 0; round < 200; ++round) {
        ResWriter w;
        for (const auto& r : links) w.add(r.type, r.id, r.data);
        for (int m = 0; m < 3; ++m) {
            const auto& victim = links[rng() % links.size()];
            ovcg_test::Bytes b = *w.find(victim.type, victim.id);
            if (b.size() >= 2) {
                const size_t at = (rng() % (b.size() / 2)) * 2;
                const uint16_t v = interesting[rng() % std::size(interesting)];
                b[at] = uint8_t(v);
                b[at + 1] = uint8_t(v >> 8);
            }
            if (rng() % 5 == 0) b.resize(rng() % (b.size() + 1));
            w.replace(victim.type, victim.id, b);
        }
        FrontEndJob fe;
        fe.job().media_type = rng() % 6;
        Resolver resolver(w);
        const Resolved r = resolver.Run(fe.job());
        if (r.mode) {
            ++resolved;
            EXPECT_GE(r.info().num_planes, 1);
            EXPECT_LE(r.info().num_planes, 16);
            EXPECT_LE(r.info().plane_count, 16);
            EXPECT_LE(r.info().sn04_count == 0xFFFF ? 0 : r.info().sn04_count, 100);
            r.mode->RefreshInitPage(static_cast<int>(rng() % 100));
            EXPECT_EQ(resolver.store.outstanding(), 0);
        } else {
            EXPECT_TRUE(r.error == kIllegal || r.error == kLoad) << r.error;
        }
    }
    EXPECT_GT(resolved, 0);
}

}  // namespace
