// The engine object's job, page and band life cycle against recording fakes.
#include "engine/plimo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/calib_request.h"
#include "fake_engine_parts.h"
#include "link_fixture.h"
#include "support/model.h"

using namespace ovcg_test;
using ovcg::CPlimo;

namespace {

struct Spool {
    std::string bytes;
    static int32_t Send(void* self, const uint8_t* data, int32_t length) {
        static_cast<Spool*>(self)->bytes.append(reinterpret_cast<const char*>(data),
                                                static_cast<size_t>(length));
        return length;
    }
};

class PlimoTest : public ::testing::Test {
protected:
    void SetUp() override {
        options.lppszRsc_File = files;
        options.NumRsc = 1;
        options.lpfuncSpool = &Spool::Send;
        options.hParam = &spool;
    }

    int Start(tagPRTSTRUCT3_12 j, int sixteen = 0) {
        plimo = std::make_unique<CPlimo>(sixteen, &parts);
        job = j;
        return plimo->InitJob(&job, &options);
    }
    int Page(tagHTSTRUCT3_5 h = PlainHalftone()) { return plimo->InitPage(&h); }
    // A job started and its first page opened.
    bool Open(const tagPRTSTRUCT3_12& j = PlainJob(), int sixteen = 0) { return Start(j, sixteen) == 0 && Page() == 0; }
    // A fresh world whose print-mode record is tweaked.
    void Fresh(std::function<void(tagPRTINFOSTRUCT&)> tweak = nullptr) {
        w = FakeWorld{};
        w.tweak_info = std::move(tweak);
    }

    // One band of `lines` lines of `pixels` RGB pixels.
    int Band(uint32_t top, uint32_t lines, uint32_t pixels, tagRECT clip = {0, 0, 0, 0}) {
        pixels_.assign(static_cast<size_t>(lines) * pixels * 3, 0);
        for (size_t i = 0; i < pixels_.size(); ++i) pixels_[i] = static_cast<uint8_t>(i + 1);
        tagBANDBMP bmp{pixels * 3, pixels_.data()};
        const tagRECT band{0, top, pixels, top + lines};
        if (clip.right == 0 && clip.bottom == 0) clip = {0, 0, pixels, lines};
        return plimo->BandOut(&clip, &bmp, nullptr, &band, nullptr);
    }

    FakeWorld w;
    FakeEngineParts parts{&w};
    Spool spool;
    const char* files[1] = {"/models/test.res"};
    tagOPTION options{};
    tagPRTSTRUCT3_12 job{};
    std::unique_ptr<CPlimo> plimo;
    std::vector<uint8_t> pixels_;
};

TEST_F(PlimoTest, Level2JobRunsItsStepsInOrder) {
    ASSERT_EQ(Start(PlainJob()), 0);
    EXPECT_EQ(w.events,
              (std::vector<std::string>{"hxr.create", "links.create", "conv.create", "print_mode.create",
                                        "isvtool.create", "cdg.create", "irac.create", "irac.StartJob"}));
    EXPECT_EQ(plimo->Level(), ovcg::CommandLevel::kLevel2);
    EXPECT_FALSE(w.Has("mwcmd.create"));  // level 2 makes its generator at the first page
    w.events.clear();

    ASSERT_EQ(Page(), 0);
    EXPECT_EQ(w.events, (std::vector<std::string>{
                            "print_mode.RefreshInitPage", "cdg.SetPrintModeInfo", "mwcmd.create",
                            "mwcmd.SetLinkResource", "mwcmd.SendStartDocCmd", "mwcmd.SendStartPageCmd",
                            "isvtool.OpenCidFile", "cdg.SetHalftoneInfo", "halftoner.create",
                            "irac.StartPage", "halftoner.StartPage"}));
    EXPECT_EQ(w.start_doc_headers, std::vector<int>{0});
    w.events.clear();

    ASSERT_EQ(Band(0, 2, 4), 0);
    EXPECT_EQ(w.events, (std::vector<std::string>{"conv.Convert", "halftoner.BandOut"}));
    w.events.clear();

    ASSERT_EQ(plimo->TerminatePage(), 0);
    EXPECT_EQ(w.events,
              (std::vector<std::string>{"halftoner.EndPage", "irac.EndPage", "mwcmd.SendEndPageCmd"}));
    w.events.clear();

    ASSERT_EQ(plimo->DestroyJob(), 0);
    EXPECT_EQ(w.events,
              (std::vector<std::string>{"mwcmd.SendEndDocCmd", "halftoner.delete", "irac.EndJob", "conv.End",
                                        "irac.delete", "mwcmd.delete", "cdg.delete", "isvtool.delete",
                                        "hxr.delete", "print_mode.delete", "conv.delete"}));
    EXPECT_FALSE(plimo->JobOpen());
    EXPECT_EQ(spool.bytes, "<DOC><END>");
}

TEST_F(PlimoTest, LevelFollowsTheModeWord) {
    struct Case {
        uint32_t mw;
        ovcg::CommandLevel level;
        bool generatorAtJobStart;
    };
    for (const Case& c :
         {Case{0, ovcg::CommandLevel::kLevel2, false}, Case{OVCG_MW_P3, ovcg::CommandLevel::kLevel3, true},
          Case{OVCG_MW_OVC, ovcg::CommandLevel::kPageLanguage, true},
          Case{OVCG_MW_P3 | OVCG_MW_OVC, ovcg::CommandLevel::kLevel3, true},
          Case{OVCG_MW_MW | OVCG_MW_HS, ovcg::CommandLevel::kLevel2, false}}) {
        Fresh();
        ASSERT_EQ(Start(PlainJob(c.mw)), 0) << c.mw;
        EXPECT_EQ(plimo->Level(), c.level) << c.mw;
        EXPECT_EQ(w.Has("mwcmd.create"), c.generatorAtJobStart) << c.mw;
        EXPECT_EQ(w.Has("irac.create"), c.level == ovcg::CommandLevel::kLevel2) << c.mw;
        EXPECT_EQ(w.Has("records.create"), c.level == ovcg::CommandLevel::kLevel3) << c.mw;
        ASSERT_EQ(Page(), 0);
        EXPECT_EQ(w.Count("mwcmd.create"), 1) << c.mw;
        EXPECT_EQ(w.generator_level_seen, c.level);
        ASSERT_EQ(plimo->TerminatePage(), 0);
        ASSERT_EQ(plimo->DestroyJob(), 0);
    }
}

TEST_F(PlimoTest, GeneratorSelectorsPerLevel) {
    struct Case {
        uint32_t mw;
        uint16_t selector;
        int expected;
    };
    const Case cases[] = {
        {0, 0xFFFF, 0},       {0, 1, 0},           {0, 2, 0},
        {0, 3, -1},           {0, 0, -1},          {OVCG_MW_P3, 0xFFFF, 0},
        {OVCG_MW_P3, 1, 0},   {OVCG_MW_P3, 2, -1}, {OVCG_MW_OVC, 0xFFFF, 0},
        {OVCG_MW_OVC, 1, -1},
    };
    for (const Case& c : cases) {
        Fresh([&](tagPRTINFOSTRUCT& i) { i.generator_selector = c.selector; });
        tagPRTSTRUCT3_12 j = PlainJob(c.mw);
        int r = Start(j);
        // Level 2 picks its generator at the first page.
        if (r == 0 && c.mw == 0) r = Page();
        EXPECT_EQ(r, c.expected) << c.mw << " " << c.selector;
        if (c.expected == 0) {
            EXPECT_EQ(w.generator_selector_seen, c.selector);
        }
        if (c.expected != 0 && c.mw != 0) {
            EXPECT_FALSE(plimo->JobOpen());
            EXPECT_TRUE(w.Has("print_mode.delete"));  // a failed start leaves nothing behind
        }
    }
}

TEST_F(PlimoTest, Level3RecordAndEncoderSelectors) {
    struct Case {
        uint16_t records, encoder;
        int expected;
        uint16_t version, kind;
    };
    const Case cases[] = {
        {0, 0, 0, 1, 0}, {1, 0xFFFF, 0, 1, 0}, {0xFFFF, 1, 0, 1, 1},
        {2, 2, 0, 2, 2}, {3, 0, -10, 0, 0},    {0, 3, -10, 1, 0xFFFF},
    };
    for (const Case& c : cases) {
        Fresh([&](tagPRTINFOSTRUCT& i) {
            i.record_selector = c.records;
            i.encoder_selector = c.encoder;
        });
        EXPECT_EQ(Start(PlainJob(OVCG_MW_P3)), c.expected) << c.records << " " << c.encoder;
        EXPECT_EQ(w.records_version, c.version);
        if (c.expected == 0) {
            EXPECT_EQ(w.encoder_kind, c.kind);
        } else {
            EXPECT_FALSE(w.Has("encode.create"));
        }
    }
}

TEST_F(PlimoTest, AJobEndedInsideAPageHandsTheHeldRowsOnFirst) {
    // The band driver may hold rows of its bands (the parallel path): a job
    // that ends inside a page has them handed on before the document's end,
    // and their failure is the job end's; a page ended first holds none.
    const struct {
        const char* name;
        bool endPage;
        int flushResult;
        int want;
    } rows[] = {
        {"the page left open", false, 0, 0},
        {"a held row that fails", false, -2009, -2009},
        {"the page ended first", true, 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Fresh();
        w.results["halftoner.FlushHeldRows"] = r.flushResult;
        ASSERT_TRUE(Open());
        ASSERT_EQ(Band(0, 2, 4), 0);
        if (r.endPage) {
            ASSERT_EQ(plimo->TerminatePage(), 0);
        }
        EXPECT_EQ(plimo->DestroyJob(), r.want);
        EXPECT_EQ(w.Count("halftoner.FlushHeldRows"), r.endPage ? 0 : 1);
        if (!r.endPage) {
            EXPECT_LT(w.IndexOf("halftoner.FlushHeldRows"), w.IndexOf("mwcmd.SendEndDocCmd"));
        }
        EXPECT_TRUE(w.Has("halftoner.delete"));
        EXPECT_FALSE(plimo->JobOpen());
    }
}

TEST_F(PlimoTest, WrongStates) {
    plimo = std::make_unique<CPlimo>(0, &parts);
    EXPECT_EQ(plimo->DestroyJob(), -2);
    EXPECT_EQ(plimo->TerminatePage(), -2);
    ASSERT_EQ(Start(PlainJob()), 0);
    EXPECT_EQ(plimo->TerminatePage(), -2);
    EXPECT_EQ(Band(0, 2, 4), -2);

    // A second start leaves the first job intact.
    tagPRTSTRUCT3_12 again = PlainJob();
    EXPECT_EQ(plimo->InitJob(&again, &options), -2);
    EXPECT_EQ(plimo->LastError(), -2);
    EXPECT_TRUE(plimo->JobOpen());
    EXPECT_EQ(w.Count("print_mode.create"), 1);

    ASSERT_EQ(Page(), 0);
    EXPECT_EQ(plimo->Pages(), 1u);
    // A page already open on a cut-sheet job is refused and not counted.
    EXPECT_EQ(Page(), -2);
    EXPECT_EQ(plimo->Pages(), 1u);
    EXPECT_EQ(w.Count("halftoner.create"), 1);
    ASSERT_EQ(plimo->TerminatePage(), 0);
    EXPECT_EQ(plimo->TerminatePage(), -2);
    ASSERT_EQ(plimo->DestroyJob(), 0);
    EXPECT_EQ(plimo->DestroyJob(), -2);
}

TEST_F(PlimoTest, ASuccessAfterAFailureReportsSuccess) {
    ASSERT_TRUE(Open());
    w.results["halftoner.BandOut"] = -3002;
    EXPECT_EQ(Band(0, 2, 4), -3002);
    EXPECT_EQ(plimo->LastError(), -3002);
    w.results.erase("halftoner.BandOut");
    EXPECT_EQ(Band(2, 2, 4), 0);
    EXPECT_EQ(plimo->TerminatePage(), 0);
    EXPECT_EQ(Page(), 0);
}

TEST_F(PlimoTest, HeadSelection) {
    // Level 2 needs the first selector at job start.
    w.tweak_info = [](tagPRTINFOSTRUCT& i) { i.head_id_bytes[0] = 0xFFFF; };
    EXPECT_EQ(Start(PlainJob()), -400);
    EXPECT_FALSE(plimo->JobOpen());

    // The other levels start the job and refuse each page once its start
    // is sent, leaving the last error as it was.
    for (const uint32_t mw : {OVCG_MW_OVC, OVCG_MW_P3}) {
        Fresh([](tagPRTINFOSTRUCT& i) { i.head_id_bytes[0] = 0xFFFF; });
        spool.bytes.clear();
        ASSERT_EQ(Start(PlainJob(mw)), 0) << mw;
        EXPECT_EQ(plimo->TerminatePage(), -2);
        EXPECT_EQ(Page(), -400);
        EXPECT_EQ(plimo->LastError(), -2);
        EXPECT_FALSE(plimo->PageOpen());
        EXPECT_TRUE(w.Has("mwcmd.SendStartDocCmd"));
        EXPECT_TRUE(w.Has("mwcmd.SendStartPageCmd"));
        EXPECT_FALSE(w.Has("halftoner.create"));
    }
}

TEST_F(PlimoTest, AFailedPageStartCounts) {
    ASSERT_EQ(Start(PlainJob(OVCG_MW_OVC)), 0);
    w.results["halftoner.StartPage"] = -3001;
    EXPECT_EQ(plimo->TerminatePage(), -2);
    EXPECT_EQ(Page(), -3001);
    EXPECT_FALSE(plimo->PageOpen());
    // A page whose start fails still counts; a refused second start does not.
    EXPECT_EQ(plimo->Pages(), 1u);
}

TEST_F(PlimoTest, HeadSelectorsArePackedOnePerByte) {
    ASSERT_EQ(Start(PlainJob()), 0);
    EXPECT_EQ(w.irac_init.identifier, 0x00050021u);
    ASSERT_EQ(Page(), 0);
    EXPECT_EQ(plimo->HalftoneInit().unit_number, 0x00050021u);
}

TEST_F(PlimoTest, ConstructorFailuresBecomeCodes) {
    struct Case {
        const char* call;
        int thrown;  // 0: the message "HT Exception", 1: "Spooler Exception"
        bool atPage;
        int expected;
    };
    const Case cases[] = {
        {"print_mode.create", -77, false, -77},  {"print_mode.create", 0, false, -10},
        {"hxr.create", -206, false, -206},       {"irac.create", -401, false, -401},
        {"halftoner.create", -205, true, -205},  {"halftoner.create", 0, true, -10},
        // The output failing while the object sends its records: a message.
        {"halftoner.create", 1, true, -10},
        {"mwcmd.create", -12, true, -12},        {"mwcmd.create", 0, true, -10},
        {"mwcmd.SendStartDocCmd", 0, true, -15}, {"mwcmd.SendStartPageCmd", -1, true, -15},
    };
    for (const Case& c : cases) {
        Fresh();
        w.throws[c.call] = c.thrown;
        int r = Start(PlainJob());
        if (c.atPage) {
            ASSERT_EQ(r, 0) << c.call;
            r = Page();
            EXPECT_FALSE(plimo->PageOpen());
        } else {
            EXPECT_FALSE(plimo->JobOpen());
        }
        EXPECT_EQ(r, c.expected) << c.call;
        EXPECT_EQ(plimo->LastError(), c.expected) << c.call;
    }
}

TEST_F(PlimoTest, PartFailuresAreStoredAndReturned) {
    struct Case {
        const char* call;
        int stage;  // 0 job start, 1 page start, 2 page end, 3 job end
    };
    const Case cases[] = {{"irac.StartJob", 0},     {"irac.StartPage", 1}, {"halftoner.StartPage", 1},
                          {"halftoner.EndPage", 2}, {"irac.EndPage", 2},   {"irac.EndJob", 3}};
    for (const Case& c : cases) {
        Fresh();
        w.results[c.call] = -2005;
        int r = Start(PlainJob());
        if (c.stage >= 1 && r == 0) r = Page();
        if (c.stage >= 2 && r == 0) r = plimo->TerminatePage();
        if (c.stage >= 3 && r == 0) r = plimo->DestroyJob();
        EXPECT_EQ(r, -2005) << c.call;
        EXPECT_EQ(plimo->LastError(), -2005) << c.call;
    }
    // A failing end of the head-control job still releases the job.
    EXPECT_FALSE(plimo->JobOpen());
    EXPECT_TRUE(w.Has("print_mode.delete"));
}

TEST_F(PlimoTest, GeneratorExceptionAtPageEndAndJobEnd) {
    w.throws["mwcmd.SendEndPageCmd"] = 0;
    ASSERT_TRUE(Open());
    EXPECT_EQ(plimo->TerminatePage(), -15);
    EXPECT_FALSE(plimo->PageOpen());
    w.throws["mwcmd.SendEndDocCmd"] = 0;
    EXPECT_EQ(plimo->DestroyJob(), -15);
}

TEST_F(PlimoTest, AbortBelongsToOnePageEnd) {
    ASSERT_TRUE(Open());
    tagTPINFOSTRUCT end{1, 1};
    ASSERT_EQ(plimo->TerminatePageEx(&end), 0);
    ASSERT_EQ(Page(), 0);
    ASSERT_EQ(plimo->TerminatePage(), 0);
    ASSERT_EQ(Page(), 0);
    end.bAbort = 0;
    ASSERT_EQ(plimo->TerminatePageEx(&end), 0);
    EXPECT_EQ(w.irac_end_page_aborts, (std::vector<int>{1, 0, 0}));
    ASSERT_EQ(w.page_ends.size(), 3u);
    EXPECT_EQ(w.page_ends[0].abort, 1u);
    EXPECT_EQ(w.page_ends[1].abort, 0u);
    EXPECT_EQ(w.page_ends[2].abort, 0u);
    EXPECT_EQ(w.page_ends[2].page, 3u);
}

TEST_F(PlimoTest, PageValuesReachTheGenerator) {
    w.first_raster = 12;
    w.next_raster = 480;
    w.skipped = 7;
    ASSERT_TRUE(Open());
    ASSERT_EQ(plimo->TerminatePage(), 0);
    ASSERT_EQ(w.page_ends.size(), 1u);
    EXPECT_EQ(w.page_ends[0].page, 1u);
    EXPECT_EQ(w.page_ends[0].feed_start, 12u);
    EXPECT_EQ(w.page_ends[0].feed, 480u);
    EXPECT_EQ(w.page_ends[0].feed_extra, 7u);

    // With "SP" the skipped rasters are not part of the feed.
    Fresh();
    w.skipped = 7;
    ASSERT_TRUE(Open(PlainJob(0, OVCG_EXO_SP)));
    ASSERT_EQ(plimo->TerminatePage(), 0);
    EXPECT_EQ(w.page_ends[0].feed_extra, 0u);
}

TEST_F(PlimoTest, StartPageCountFromThePageOptions) {
    struct Case {
        uint32_t option;
        int remaining, expected;
    };
    for (const Case& c :
         {Case{0, 9, 0}, Case{OVCG_PAGEOPT_NEXTPAGE, 9, 1}, Case{OVCG_PAGEOPT_REMAINING_PAGES, 9, 9},
          Case{OVCG_PAGEOPT_REMAINING_PAGES | OVCG_PAGEOPT_NEXTPAGE, 4, 4}}) {
        Fresh();
        ASSERT_EQ(Start(PlainJob()), 0);
        tagHTSTRUCT3_5 h = PlainHalftone();
        h.page_option = c.option;
        h.remaining_pages = c.remaining;
        ASSERT_EQ(Page(h), 0);
        EXPECT_EQ(w.start_page_counts, std::vector<int>{c.expected});
    }
}

TEST_F(PlimoTest, PageResolutionOfHalftoneTypeAndColourCorrection) {
    struct Case {
        int16_t htOverride, ccOverride;
        uint16_t pageCc, pageHt;
        int expectHt, expectCc;
    };
    // The page record has halftone type 1 and colour correction 2.
    const Case cases[] = {
        {-1, -1, 0xFFFF, 0xFFFF, 1, 2},  // nothing given: the record's
        {3, -1, 0xFFFF, 0xFFFF, 3, 2},   // first pair's type only
        {3, 7, 10, 16, 3, 7},            // first pair's correction ends the selection
        {-1, 7, 10, 16, 1, 7},           // ... with the record's type when it has none
        {-1, -1, 10, 16, 16, 10},        // second pair
        {3, -1, 0xFFFF, 16, 16, 2},      // second pair's type wins over the first's
        {3, -1, 12, 0xFFFF, 3, 12},
    };
    for (const Case& c : cases) {
        Fresh([&](tagPRTINFOSTRUCT& i) {
            i.halftone_type_override = c.htOverride;
            i.color_correction_override = c.ccOverride;
            i.page_color_correction = c.pageCc;
            i.page_halftone_type = c.pageHt;
        });
        ASSERT_TRUE(Open());
        ASSERT_EQ(w.halftoner_inits.size(), 1u);
        const tagHTSTRUCT3_5* ht = w.halftoner_inits[0].ht_struct;
        EXPECT_EQ(ht->halftone_type, c.expectHt);
        EXPECT_EQ(ht->color_correction, c.expectCc);
        ASSERT_EQ(w.cdg_mode_info.size(), 7u);
        EXPECT_EQ(w.cdg_mode_info[0], 1);  // calibration data (level 2)
        EXPECT_EQ(w.cdg_mode_info[2], c.expectHt);
        EXPECT_EQ(w.cdg_mode_info[3], c.expectCc);
        EXPECT_EQ(w.refresh_args, std::vector<int>{2});
    }
}

// Also before the refusal of four lines a call (two source rows a printed row).
TEST_F(PlimoTest, CompositeBlackRefusesTheAdjustingCorrections) {
    for (const bool fourLines : {false, true})
        for (int cc : {10, 11, 2}) {
            Fresh();
            tagPRTSTRUCT3_12 j = PlainJob(0, OVCG_EXO_CB);
            if (fourLines) j.src_resolution = {300, 1200};
            ASSERT_EQ(Start(j), 0);
            tagHTSTRUCT3_5 h = PlainHalftone();
            h.color_correction = cc;
            const int want = cc != 2 ? -1 : fourLines ? -203 : 0;
            EXPECT_EQ(Page(h), want) << cc << " " << fourLines;
            EXPECT_EQ(plimo->LastError(), want);
        }
}

TEST_F(PlimoTest, HalftoneInitRecord) {
    w.tweak_info = [](tagPRTINFOSTRUCT& i) {
        i.key11016 = 0xFFF9;  // -7 sign-extended
        i.key11015 = 0xFFFF;
        i.key11014 = -3;
        i.key11029 = -2;
        i.key11030 = 5;
        i.dot_count_scale = 4;
        i.border_flag = 1;
    };
    tagPRTSTRUCT3_12 j = PlainJob();
    j.prt_format = 101;
    j.ex_option |= OVCG_EXO_OV | OVCG_EXO_FV;
    tagTRIMINFO trim{1, {1, 2}, {3, 4}, {9, 11}};
    j.lpTrimInfo = &trim;
    ASSERT_TRUE(Open(j, 1));
    const tagHTINITSTRUCT& t = w.halftoner_inits.at(0);
    EXPECT_EQ(t.src_format, 7);  // RGB works as RGBX
    EXPECT_EQ(t.ink_set_id, -7);
    EXPECT_EQ(t.src_width, 110);
    EXPECT_EQ(t.page_length, 55);
    EXPECT_EQ(t.out_bits, -1);
    EXPECT_EQ(t.sub_type, -3);
    EXPECT_EQ(t.key11029, -2);
    EXPECT_EQ(t.ht_sub_type, 5);
    EXPECT_EQ(t.flip_v, 1u);
    EXPECT_EQ(t.flip_h, 0u);
    EXPECT_EQ(t.reduce_step, 4);
    EXPECT_EQ(t.sixteen_bit, 1u);
    EXPECT_EQ(t.upper_skip, 1u);
    EXPECT_EQ(t.band_lines, 2u);
    EXPECT_EQ(t.band_rows, 2u);
    EXPECT_EQ(t.layout_offset.x, 9);
    EXPECT_EQ(t.layout_offset.y, 11);
    EXPECT_STREQ(t.rsc_file, "/models/test.res");
    EXPECT_NE(t.out_module, nullptr);
    EXPECT_NE(t.spooler, nullptr);
    EXPECT_EQ(t.level3_records, nullptr);
    EXPECT_EQ(t.duty_multi_on, 0);
    for (int d : t.duty_multi) EXPECT_EQ(d, 1024);
    EXPECT_EQ(t.defer_skip, 0u);
}

TEST_F(PlimoTest, InitRecordFlagsFromTheJobsOptions) {
    struct Case {
        uint32_t ex, ex2;
        int prtFormat;
        uint32_t compositeBlack, binaFlag, deferSkip;
    };
    const Case cases[] = {
        // "BINA" counts only for composite black or a mono printer format.
        {0, OVCG_EXO2_BINA, 1, 0, 0, 0},
        {OVCG_EXO_CB, OVCG_EXO2_BINA, 1, 1, 1, 0},
        {OVCG_EXO_CB, 0, 1, 1, 0, 0},
        {0, OVCG_EXO2_BINA, 0, 0, 1, 0},
        // The deferred skip follows "SP" except on roll media.
        {OVCG_EXO_SP, 0, 1, 0, 0, 1},
        {OVCG_EXO_SP | OVCG_EXO_BR, 0, 1, 0, 0, 0},
        {OVCG_EXO_BR, 0, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Fresh();
        tagPRTSTRUCT3_12 j = PlainJob(0, c.ex);
        j.ex_option2 = c.ex2;
        j.prt_format = c.prtFormat;
        ASSERT_TRUE(Open(j)) << c.ex << " " << c.ex2;
        const tagHTINITSTRUCT& t = w.halftoner_inits.at(0);
        EXPECT_EQ(t.composite_black, c.compositeBlack) << c.ex << " " << c.ex2;
        EXPECT_EQ(t.bina_flag, c.binaFlag) << c.ex << " " << c.ex2;
        EXPECT_EQ(t.defer_skip, c.deferSkip) << c.ex << " " << c.ex2;
    }
}

TEST_F(PlimoTest, EmptyPageEndOrderAtAFixedPageEnd) {
    // The halftoner's empty-row calls: 100 + flag for EmptyPageEndOut,
    // 200 + flag for EmptyPageEndFlush.
    struct Case {
        uint32_t mw, ex;
        std::vector<int> calls;
    };
    const uint32_t empty = OVCG_MW_CL | OVCG_MW_CLFL;  // cl_mode 2
    const Case cases[] = {
        {empty, 0, {100, 200}},
        {empty, OVCG_EXO_SP, {101, 200}},
        {empty, OVCG_EXO_BR, {201}},
        {empty, OVCG_EXO_BR | OVCG_EXO_SP, {200}},
        {empty | OVCG_MW_P3, OVCG_EXO_BR, {}},
        {empty | OVCG_MW_P3, 0, {100, 200}},
        {0, OVCG_EXO_BR, {}},
    };
    for (const Case& c : cases) {
        Fresh([](tagPRTINFOSTRUCT& i) { i.key12002_3 = 0x2; });
        ASSERT_TRUE(Open(PlainJob(c.mw, c.ex)));
        ASSERT_EQ(plimo->TerminatePage(), 0);
        EXPECT_EQ(w.empty_calls, c.calls) << c.mw << " " << c.ex;
        // An aborted page skips them.
        w.empty_calls.clear();
        ASSERT_EQ(Page(), 0);
        tagTPINFOSTRUCT abort{1, 1};
        ASSERT_EQ(plimo->TerminatePageEx(&abort), 0);
        EXPECT_TRUE(w.empty_calls.empty()) << c.mw << " " << c.ex;
    }
}

TEST_F(PlimoTest, GrayFiftyFourReachesTheHalftonerAsOneHundredFour) {
    tagPRTSTRUCT3_12 j = PlainJob();
    j.src_format = 54;
    ASSERT_TRUE(Open(j));
    EXPECT_EQ(w.halftoner_inits.at(0).src_format, 104);
}

TEST_F(PlimoTest, BorderModeOfTheInitRecordAndTheEmptyPage) {
    struct Case {
        uint32_t mw;
        uint16_t attr;
        uint32_t clOff;
        int clMode;
        bool empty;
    };
    const Case cases[] = {
        {0, 0x2, 1, 0, false},
        {OVCG_MW_CL, 0x0, 1, 0, false},
        {OVCG_MW_CL, 0x2, 0, 0, false},
        {OVCG_MW_CL | OVCG_MW_CLAT, 0x2, 0, 1, false},
        {OVCG_MW_CL | OVCG_MW_CLFL, 0x2, 0, 2, true},
        {OVCG_MW_CL | OVCG_MW_CLAT | OVCG_MW_CLFL, 0x2, 0, 1, false},
        {OVCG_MW_CLFL, 0x2, 1, 0, false},
    };
    for (const Case& c : cases) {
        Fresh([&](tagPRTINFOSTRUCT& i) { i.key12002_3 = c.attr; });
        ASSERT_TRUE(Open(PlainJob(c.mw)));
        const tagHTINITSTRUCT& t = w.halftoner_inits.at(0);
        EXPECT_EQ(t.cl_off, c.clOff) << c.mw;
        EXPECT_EQ(t.cl_mode, c.clMode) << c.mw;
        EXPECT_EQ(t.empty_page, c.empty ? 1u : 0u) << c.mw;
        ASSERT_EQ(plimo->TerminatePage(), 0);
        // An empty page ends its empty part before the page end (cut sheet).
        EXPECT_EQ(w.empty_calls, (c.empty ? std::vector<int>{100, 200} : std::vector<int>{})) << c.mw;
    }
}

TEST_F(PlimoTest, HighlightPointMakesAnEmptyPageUnlessPatterned) {
    for (uint32_t mw : {0u, static_cast<unsigned>(OVCG_MW_TNMX | OVCG_MW_TNMXHPAT)}) {
        Fresh();
        ASSERT_EQ(Start(PlainJob(mw)), 0);
        TNMX_PARAMS tnmx{};
        tnmx.highlight_point = 3;
        tagHTSTRUCT3_5 h = PlainHalftone();
        h.lpTNMX_params = &tnmx;
        ASSERT_EQ(Page(h), 0);
        EXPECT_EQ(w.halftoner_inits.at(0).empty_page, mw ? 0u : 1u);
        // The engine keeps its own copy of the parameters.
        EXPECT_NE(w.halftoner_inits.at(0).ht_struct->lpTNMX_params, &tnmx);
        EXPECT_EQ(w.halftoner_inits.at(0).ht_struct->lpTNMX_params->highlight_point, 3);
    }
}

TEST_F(PlimoTest, KeptHalftonerSeesTheRecordOfEachPage) {
    ASSERT_EQ(Start(PlainJob()), 0);
    {
        tagHTSTRUCT3_5 h = PlainHalftone();
        ASSERT_EQ(plimo->InitPage(&h), 0);
    }  // the caller's record is gone
    ASSERT_EQ(Band(0, 2, 4), 0);
    ASSERT_EQ(plimo->TerminatePage(), 0);
    {
        tagHTSTRUCT3_5 h = PlainHalftone();
        h.halftone_type = 3;
        ASSERT_EQ(plimo->InitPage(&h), 0);
    }
    EXPECT_EQ(w.Count("halftoner.create"), 1);
    EXPECT_EQ(w.Count("halftoner.ResetPage"), 1);
    ASSERT_EQ(Band(0, 2, 4), 0);  // reads the kept record pointer
    ASSERT_NE(w.kept_ht, nullptr);
    EXPECT_EQ(w.kept_ht->halftone_type, 3);
    ASSERT_EQ(plimo->TerminatePage(), 0);

    // A halftoner that answers 0 is replaced.
    w.reset_page_answer = 0;
    ASSERT_EQ(Page(), 0);
    EXPECT_EQ(w.Count("halftoner.create"), 2);
    EXPECT_EQ(w.Count("halftoner.delete"), 1);
}

TEST_F(PlimoTest, BandsIgnoredForAnEmptyClip) {
    ASSERT_TRUE(Open());
    w.events.clear();
    EXPECT_EQ(Band(0, 2, 4, tagRECT{0, 0, 0, 0}), 0);  // replaced by the full clip in Band()
    w.events.clear();
    std::vector<uint8_t> px(24);
    tagBANDBMP bmp{12, px.data()};
    const tagRECT band{0, 0, 4, 2};
    for (const tagRECT& clip : {tagRECT{0, 0, 0, 0}, tagRECT{3, 0, 3, 2}, tagRECT{2, 1, 0, 0}}) {
        EXPECT_EQ(plimo->BandOut(&clip, &bmp, nullptr, &band, nullptr), 0);
    }
    EXPECT_TRUE(w.events.empty());
}

TEST_F(PlimoTest, BandConversionToTheWorkingFormat) {
    ASSERT_TRUE(Open());
    ASSERT_EQ(Band(0, 2, 3), 0);
    ASSERT_EQ(w.bands.size(), 1u);
    EXPECT_EQ(w.bands[0].width_bytes, 12u);
    EXPECT_EQ(w.bands[0].first_line, (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}));
    ASSERT_EQ(plimo->TerminatePage(), 0);
    ASSERT_EQ(plimo->DestroyJob(), 0);

    // A gray job's band passes unchanged.
    Fresh();
    tagPRTSTRUCT3_12 j = PlainJob();
    j.src_format = 0;
    ASSERT_TRUE(Open(j));
    std::vector<uint8_t> gray = {10, 20, 30, 40, 50, 60};
    tagBANDBMP bmp{3, gray.data()};
    const tagRECT band{0, 0, 3, 2}, clip{0, 0, 3, 2};
    ASSERT_EQ(plimo->BandOut(&clip, &bmp, nullptr, &band, nullptr), 0);
    EXPECT_EQ(w.bands.at(0).first_line, (std::vector<uint8_t>{10, 20, 30}));
}

TEST_F(PlimoTest, FailedConversionIsMinusFour) {
    ASSERT_TRUE(Open());
    w.results["conv.Convert"] = 1;  // the fake then answers 0
    EXPECT_EQ(Band(0, 2, 4), -4);
    EXPECT_EQ(plimo->LastError(), -4);
    w.results.erase("conv.Convert");
    // A line stride shorter than the band's pixels cannot be converted.
    std::vector<uint8_t> px(64);
    tagBANDBMP bmp{8, px.data()};
    const tagRECT band{0, 0, 4, 2}, clip{0, 0, 4, 2};
    EXPECT_EQ(plimo->BandOut(&clip, &bmp, nullptr, &band, nullptr), -4);
    // An inverted band is refused before anything reads it.
    const tagRECT inverted{0, 5, 4, 2};
    EXPECT_EQ(plimo->BandOut(&clip, &bmp, nullptr, &inverted, nullptr), -4);
    EXPECT_TRUE(w.bands.empty());
}

TEST_F(PlimoTest, MirroringAndVerticalOffset) {
    w.tweak_info = [](tagPRTINFOSTRUCT& i) { i.page_length_extra = 30; };
    ASSERT_TRUE(Open(PlainJob(0, OVCG_EXO_FH)));
    ASSERT_EQ(Band(4, 2, 4), 0);
    EXPECT_TRUE(w.Has("halftoner.GetFlipHBand"));
    EXPECT_EQ(w.bands.at(0).band.top, 34u);
    EXPECT_EQ(w.bands.at(0).band.bottom, 36u);
    EXPECT_EQ(w.halftoner_inits.at(0).page_length, 80);
}

// The page offset moves the band in 32-bit page rows: a band that then ends
// on the last row is handed on, one that would end past it is a conversion
// failure.
TEST_F(PlimoTest, VerticalOffsetAtTheEndOfTheRowRange) {
    const struct {
        uint32_t top;
        int result;
    } cases[] = {{0xFFFFFFFFu - 32, 0}, {0xFFFFFFFFu - 31, -4}};
    for (const auto& c : cases) {
        Fresh([](tagPRTINFOSTRUCT& i) { i.page_length_extra = 30; });
        ASSERT_TRUE(Open());
        EXPECT_EQ(Band(c.top, 2, 4), c.result) << c.top;
        if (c.result == 0) {
            ASSERT_EQ(w.bands.size(), 1u);
            EXPECT_EQ(w.bands[0].band.bottom, 0xFFFFFFFFu);
        } else {
            EXPECT_TRUE(w.bands.empty());
        }
    }
}

// A band of no lines or no pixels is refused with the conversion code for
// every source format, as the RGB expander refuses it; one line is handed on.
// The clip is the one the job interface leaves after clamping.
TEST_F(PlimoTest, ZeroHeightBandWithAClip) {
    const struct {
        const char* name;
        int32_t src_format;
        tagRECT band;
        int result;
    } cases[] = {
        {"RGB", 1, {0, 5, 4, 5}, -4},
        {"gray", 0, {0, 5, 4, 5}, -4},
        {"gray, no pixels", 0, {4, 5, 4, 6}, -4},
        {"gray, one line", 0, {0, 5, 4, 6}, 0},
        {"gray, inverted", 0, {0, 5, 4, 4}, -4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        tagPRTSTRUCT3_12 j = PlainJob();
        j.src_format = c.src_format;
        ASSERT_TRUE(Open(j));
        std::vector<uint8_t> px(12);
        tagBANDBMP bmp{12, px.data()};
        const tagRECT clip{0, 0, 4, 0};
        EXPECT_EQ(plimo->BandOut(&clip, &bmp, nullptr, &c.band, nullptr), c.result);
        EXPECT_EQ(plimo->LastError(), c.result);
        ASSERT_EQ(w.bands.size(), c.result == 0 ? 1u : 0u);
        if (c.result == 0) {
            EXPECT_EQ(w.bands[0].band.top, 5u);
            EXPECT_EQ(w.bands[0].band.bottom, 6u);
        }
    }
}

TEST_F(PlimoTest, ContinuousRollKeepsOnePageOpen) {
    w.tweak_info = [](tagPRTINFOSTRUCT& i) {
        i.top_margin_offset_on = 1;
        i.page_length_extra = 10;
        i.page_gap = 6;
    };
    w.next_raster = 250;  // print lines; 125 source lines at 300/600
    ASSERT_EQ(Start(PlainJob()), 0);
    EXPECT_EQ(w.irac_init.paper_source[1], 1u);
    ASSERT_EQ(Page(), 0);
    EXPECT_TRUE(plimo->ContinuousRoll());
    ASSERT_EQ(Band(0, 2, 4), 0);
    EXPECT_EQ(w.bands.at(0).band.top, 10u);  // the first page sits below the top offset
    ASSERT_EQ(plimo->TerminatePage(), 0);
    EXPECT_TRUE(plimo->PageOpen());
    EXPECT_EQ(w.empty_calls, std::vector<int>{101});
    EXPECT_FALSE(w.Has("halftoner.EndPage"));

    ASSERT_EQ(Page(), 0);
    EXPECT_EQ(plimo->Pages(), 2u);
    EXPECT_EQ(w.page_lengths, std::vector<int>{50 + 10 + 6});
    ASSERT_EQ(Band(0, 2, 4), 0);
    EXPECT_EQ(w.bands.at(1).band.top, 6u);  // later pages follow the gap
    tagTPINFOSTRUCT abort{1, 1};
    ASSERT_EQ(plimo->TerminatePageEx(&abort), 0);
    EXPECT_EQ(w.empty_calls, std::vector<int>{101});  // no empty end when aborting
    EXPECT_EQ(w.Count("halftoner.create"), 1);

    // The job end ends the roll page; the length is rounded up to whole papers.
    ASSERT_EQ(plimo->DestroyJob(), 0);
    EXPECT_EQ(w.Count("halftoner.EndPage"), 1);
    EXPECT_EQ(w.page_ends.size(), 1u);
    EXPECT_DOUBLE_EQ(w.job_length_mm, 180 * 25.4 / 300);
}

// A level-3 roll: each later page starts below the one before (the encode
// buffer's base row steps on); held lines that cannot be sent at a page end
// fail it (mended: the flush's result was dropped). The init record says
// whether the job counts dots.
TEST_F(PlimoTest, Level3RollPages) {
    w.tweak_info = [](tagPRTINFOSTRUCT& i) { i.top_margin_offset_on = 1; };
    ASSERT_EQ(Start(PlainJob(OVCG_MW_P3)), 0);
    ASSERT_EQ(Page(), 0);
    EXPECT_EQ(w.halftoner_inits.at(0).dot_counting, 0u);
    ASSERT_EQ(plimo->TerminatePage(), 0);
    EXPECT_FALSE(w.Has("encode.Increment"));
    ASSERT_EQ(Page(), 0);
    EXPECT_GE(w.IndexOf("encode.Increment"), 0);
    w.results["encode.Flush"] = 1;
    EXPECT_EQ(plimo->TerminatePage(), -15);
    EXPECT_EQ(plimo->LastError(), -15);
}

TEST_F(PlimoTest, JobLengthOfCutSheets) {
    ASSERT_EQ(Start(PlainJob()), 0);
    for (int p = 0; p < 2; ++p) {
        ASSERT_EQ(Page(), 0);
        ASSERT_EQ(plimo->TerminatePage(), 0);
    }
    EXPECT_EQ(plimo->JobLength(), 120u);
    ASSERT_EQ(plimo->DestroyJob(), 0);
    EXPECT_DOUBLE_EQ(w.job_length_mm, 120 * 25.4 / 300);
}

TEST_F(PlimoTest, DotCountsAreSixtyFourBitAndSaturateForTheGenerator) {
    w.tweak_info = [](tagPRTINFOSTRUCT& i) { i.remote_flags3 = 0x08000000u; };
    // An A0 page at 2400 x 1200 dpi has over 5 x 10^9 dot positions a plane.
    w.page_dots = {25, 3000000000ull, 0, 5000000000ull, 1, 2, 7, 8, 9, 0, 0, 0};
    ASSERT_EQ(Start(PlainJob()), 0);
    for (int p = 0; p < 2; ++p) {
        ASSERT_EQ(Page(), 0);
        ASSERT_EQ(plimo->TerminatePage(), 0);
    }
    EXPECT_EQ(plimo->DotCounts()[1], 6000000000ull);
    ASSERT_EQ(plimo->DestroyJob(), 0);
    EXPECT_EQ(w.dot_count_planes, 4);
    EXPECT_EQ(w.dot_counts, (std::vector<uint32_t>{5, 600000000u, 0, 1000000000u, 0, 0, 1, 1, 1, 0, 0, 0}));

    Fresh([](tagPRTINFOSTRUCT& i) { i.remote_flags3 = 0x08000000u; });
    w.page_dots = {25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 60000000000ull};
    ASSERT_TRUE(Open());
    ASSERT_EQ(plimo->TerminatePage(), 0);
    ASSERT_EQ(plimo->DestroyJob(), 0);
    EXPECT_EQ(w.dot_counts[0], 2u);  // 25 becomes 2
    EXPECT_EQ(w.dot_counts[11], 0xFFFFFFFFu);
}

TEST_F(PlimoTest, InkAmount) {
    uint32_t out[4] = {};
    ASSERT_EQ(Start(PlainJob()), 0);
    EXPECT_EQ(plimo->GetInkAmount(out), -2);  // no halftoner yet
    ASSERT_EQ(Page(), 0);
    EXPECT_EQ(plimo->GetInkAmount(out), -2);  // no dot counting

    Fresh([](tagPRTINFOSTRUCT& i) {
        i.remote_flags3 = 0x08000000u;
        i.dot_count_scale = 10;
        i.ink_weights[0][0] = 1;
        i.ink_weights[0][1] = 2;
        i.ink_weights[0][2] = 3;
        i.ink_weights[1][0] = 1;
        i.ink_weights[2][0] = -5;
        i.ink_weights[3][2] = 1000000;
    });
    w.page_dots = {1000, 100, 10, 7000000000ull, 0, 0, 99, 0, 0, 0, 0, 9000000000ull};
    ASSERT_TRUE(Open());
    ASSERT_EQ(plimo->GetInkAmount(out), 0);
    EXPECT_EQ(out[0], (1000u * 1 + 100 * 2 + 10 * 3) * 100 / 100000);
    EXPECT_EQ(out[1], 7000000u);  // beyond 32 bits before the division
    EXPECT_EQ(out[2], 0u);        // negative weights give nothing
    EXPECT_EQ(out[3], 0xFFFFFFFFu);
    // Asking twice gives the same amounts (the counts are not added twice).
    uint32_t again[4] = {};
    ASSERT_EQ(plimo->GetInkAmount(again), 0);
    EXPECT_EQ(std::vector<uint32_t>(again, again + 4), std::vector<uint32_t>(out, out + 4));
    w.results["halftoner.GetDotCount"] = -3001;
    EXPECT_EQ(plimo->GetInkAmount(out), -3001);
}

TEST_F(PlimoTest, BorderInfo) {
    const std::pair<int, int> table[] = {{120, 14}, {180, 21},   {300, 35},   {360, 42}, {600, 70},
                                         {720, 84}, {1200, 140}, {1440, 168}, {400, 0},  {0, 0}};
    for (auto [res, dots] : table) EXPECT_EQ(ovcg::BorderMarginDots(res), dots) << res;

    struct Case {
        uint32_t ex;
        tagRECT in;
        int32_t out[4];
        int32_t flags;
    };
    // Source 300, print 600 (horizontal x2); printable 110 vs source 100: shift 5.
    const Case cases[] = {
        {OVCG_EXO_TB | OVCG_EXO_T4, {0, 0, 0, 0}, {-1, -1, -1, -1}, 0},
        {0, {1, 2, 3, 4}, {-1, -1, -1, -1}, 0},
        {OVCG_EXO_TB, {1, 2, 3, 4}, {12, -1, 16, -1}, 3},
        {OVCG_EXO_T4, {1, 2, 3, 4}, {12, 70 + 4, 16, 70 + 8}, 15},
        {OVCG_EXO_TB | OVCG_EXO_T4, {0, 10, 0, 0}, {10, 70 + 20, 10, 70}, 15},
    };
    for (const Case& c : cases) {
        Fresh();
        ASSERT_EQ(Start(PlainJob(0, c.ex)), 0);
        int32_t out[4];
        int32_t flags = -9;
        plimo->SetBorderInfo(&c.in, out, &flags);
        EXPECT_EQ(flags, c.flags) << c.ex;
        for (int k = 0; k < 4; ++k) EXPECT_EQ(out[k], c.out[k]) << c.ex << " edge " << k;
    }
}

TEST_F(PlimoTest, CalibrationAtPageStart) {
    w.ims_calib = {1, 2, 3};
    w.use_heads = {3, 0xFE, 5};
    ASSERT_TRUE(Open());
    EXPECT_EQ(w.ims_head_count, 3u);
    EXPECT_EQ(w.ims_heads, (std::vector<int32_t>{3, -2, 5, 1, 1, 1, 1, 1}));
    EXPECT_NE(w.halftoner_inits.empty(), true);

    // Without the use-head record two heads are assumed.
    Fresh();
    w.ims_calib = {1};
    ASSERT_TRUE(Open());
    EXPECT_EQ(w.ims_head_count, 2u);

    // Level 3 asks for the SLUTs; the raster one only with its flag.
    for (uint32_t flags : {0u, 0x40000000u}) {
        Fresh([&](tagPRTINFOSTRUCT& i) { i.remote_flags3 = flags; });
        ASSERT_TRUE(Open(PlainJob(OVCG_MW_P3)));
        EXPECT_EQ(w.Has("cdg.GenerateRasterCalibSlut"), flags != 0);
        EXPECT_TRUE(w.Has("cdg.GenerateIMSCalibSlut"));
        EXPECT_EQ(w.cdg_mode_info.at(0), 2);
        EXPECT_EQ(w.halftoner_inits.at(0).ims_slut_size, 4);
        EXPECT_EQ(w.halftoner_ctor_args.at(0), 1);
    }
}

TEST_F(PlimoTest, CorrectionSessionAtTheFirstPage) {
    struct Case {
        bool enabled;
        bool data;
        bool generated;  // the generation session makes raster calibration of the data
        int start;
        int expected;
        bool kept;
    };
    for (const Case& c : {Case{true, true, true, 0, 0, true}, Case{true, true, true, -5603, 0, false},
                          Case{true, true, true, -101, -101, true}, Case{false, true, true, 0, 0, false},
                          Case{true, false, true, 0, 0, false}, Case{true, true, false, 0, 0, false}}) {
        Fresh([&](tagPRTINFOSTRUCT& i) { i.key10103_on = c.enabled ? 1 : 0; });
        if (c.data) w.raster_calib = {9, 9};
        w.cdg_generates_raster = c.generated;
        w.brs_start_result = c.start;
        ASSERT_EQ(Start(PlainJob()), 0);
        EXPECT_EQ(Page(), c.expected);
        EXPECT_EQ(w.Has("brs.create") && !w.Has("brs.delete"), c.kept) << c.start;
        EXPECT_EQ(w.Has("brs.create"), c.enabled && c.data && c.generated) << c.start;
        if (c.enabled && c.data) {
            // Generated after the print mode reached the session, before the generator exists.
            EXPECT_LT(w.IndexOf("cdg.SetPrintModeInfo"), w.IndexOf("cdg.GenerateRasterCalib"));
            if (c.expected == 0) {
                EXPECT_LT(w.IndexOf("cdg.GenerateRasterCalib"), w.IndexOf("mwcmd.create"));
            }
        }
        if (c.kept && c.expected == 0) {
            EXPECT_TRUE(w.Has("brs.StartPageBRS"));
        }
    }
}

TEST_F(PlimoTest, JobDataIsCachedAndNamesAreBounded) {
    std::string owner = "owner", doc = "document", media = "glossy";
    std::vector<uint8_t> ink = {1, 2, 3};
    tagJOBDATA_6 data{};
    data.version = 6;
    data.lpInkSetData = ink.data();
    data.NumInkSetData = 3;
    data.lpszOwnerName = owner.c_str();
    data.OwnerNameSize = static_cast<uint32_t>(owner.size());
    data.lpszDocName = doc.c_str();
    data.DocNameSize = 3;  // taken up to its stated size
    data.lpszMediaInfo = media.c_str();
    data.MediaInfoSize = 100;  // or up to its terminator
    data.HostNameType = -1;
    tagPRTSTRUCT3_12 j = PlainJob();
    j.lpJobData = &data;
    ASSERT_EQ(Start(j), 0);
    owner.assign("XXXXX");
    ink.assign(3, 0);
    const ovcg::CachedJobData* c = plimo->JobDataCache();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->owner, "owner");
    EXPECT_EQ(c->document, "doc");
    EXPECT_EQ(c->media_info, "glossy");
    EXPECT_EQ(c->ink_set, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_STREQ(c->record.lpszOwnerName, "owner");
    EXPECT_EQ(c->record.lpszHostName, nullptr);

    std::string longName(300, 'n');
    data.lpszOwnerName = longName.c_str();
    data.OwnerNameSize = 300;
    Fresh();
    EXPECT_EQ(Start(j), -40);
    // Refused after the job's parts are made and before the level's start,
    // and everything made is released.
    EXPECT_TRUE(w.Has("print_mode.create"));
    EXPECT_TRUE(w.Has("print_mode.delete"));
    EXPECT_FALSE(w.Has("irac.create"));

    j = PlainJob();
    j.lpszHMM_File = longName.c_str();
    EXPECT_EQ(Start(j), -40);
    // A part that cannot be made is the failure reported.
    Fresh();
    w.throws["print_mode.create"] = -77;
    EXPECT_EQ(Start(j), -77);
    w.throws.clear();
    std::string fits(259, 'f');
    j.lpszHMM_File = fits.c_str();
    EXPECT_EQ(Start(j), 0);
}

TEST_F(PlimoTest, CalibrationToolTakesTheKeptNames) {
    ovcg::SetKeptCalibTarget("PRN-1", "/var/calib");
    ASSERT_EQ(Start(PlainJob()), 0);
    EXPECT_EQ(w.tool_name, "PRN-1");
    EXPECT_EQ(w.tool_dir, "/var/calib");
    ovcg::SetKeptCalibTarget(nullptr, nullptr);
}

// ---------------------------------------------------------------------------
// ResetJob.

class ResetJobTest : public PlimoTest {
protected:
    void StartWith(const tagPRTSTRUCT3_12& j) {
        ASSERT_TRUE(Open(j));
        ASSERT_EQ(plimo->TerminatePage(), 0);
        w.events.clear();
    }
    bool Rebuilt() const { return w.Has("print_mode.delete"); }
};

TEST_F(ResetJobTest, IdenticalRgbJobIsKept) {
    StartWith(PlainJob());
    tagPRTSTRUCT3_12 same = PlainJob();
    EXPECT_EQ(plimo->ResetJob(&same, &options, 0), 0);
    EXPECT_FALSE(Rebuilt());
    EXPECT_TRUE(w.events.empty());
    EXPECT_TRUE(plimo->JobOpen());

    // The kept job sends to the spool callback of the reset.
    Spool other;
    tagOPTION moved = options;
    moved.hParam = &other;
    EXPECT_EQ(plimo->ResetJob(&same, &moved, 0), 0);
    ASSERT_EQ(Page(), 0);
    ASSERT_EQ(plimo->TerminatePage(), 0);
    ASSERT_EQ(plimo->DestroyJob(), 0);
    // What was still buffered goes there too.
    EXPECT_EQ(other.bytes, "<DOC><END>");
    EXPECT_EQ(spool.bytes, "");
}

TEST_F(ResetJobTest, EachComparedFieldRebuilds) {
    using Change = void (*)(tagPRTSTRUCT3_12&);
    const std::pair<const char*, Change> changes[] = {
        {"src_paper_size", [](tagPRTSTRUCT3_12& j) { j.src_paper_size.y++; }},
        {"src_print_area", [](tagPRTSTRUCT3_12& j) { j.src_print_area.x--; }},
        {"src_print_area_ex", [](tagPRTSTRUCT3_12& j) { j.src_print_area_ex.y--; }},
        {"src_margin", [](tagPRTSTRUCT3_12& j) { j.src_margin.x++; }},
        {"paper_ID", [](tagPRTSTRUCT3_12& j) { j.paper_ID = 4; }},
        {"trim_left_margin", [](tagPRTSTRUCT3_12& j) { j.trim_left_margin = 2; }},
        {"media_type", [](tagPRTSTRUCT3_12& j) { j.media_type = 2; }},
        {"num_copy", [](tagPRTSTRUCT3_12& j) { j.num_copy = 2; }},
        {"ex_option", [](tagPRTSTRUCT3_12& j) { j.ex_option |= OVCG_EXO_AC; }},
        {"bin_ID", [](tagPRTSTRUCT3_12& j) { j.bin_ID = 7; }},
        {"out_tray_ID", [](tagPRTSTRUCT3_12& j) { j.out_tray_ID = 1; }},
        {"ex_option2", [](tagPRTSTRUCT3_12& j) { j.ex_option2 = OVCG_EXO2_BINA; }},
        {"src_format", [](tagPRTSTRUCT3_12& j) { j.src_format = 7; }},
        {"src_resolution", [](tagPRTSTRUCT3_12& j) { j.src_resolution.x = 600; }},
        {"prt_format", [](tagPRTSTRUCT3_12& j) { j.prt_format = 3; }},
        {"prt_resolution", [](tagPRTSTRUCT3_12& j) { j.prt_resolution.y = 1200; }},
        {"bit_p_color", [](tagPRTSTRUCT3_12& j) { j.bit_p_color = 2; }},
        {"mw_type", [](tagPRTSTRUCT3_12& j) { j.mw_type = OVCG_MW_HS; }},
        {"lut_format", [](tagPRTSTRUCT3_12& j) { j.lut_format = 0; }},
        {"quality_type", [](tagPRTSTRUCT3_12& j) { j.quality_type = 2; }},
    };
    for (const auto& [name, change] : changes) {
        Fresh();
        StartWith(PlainJob());
        tagPRTSTRUCT3_12 j = PlainJob();
        change(j);
        EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1) << name;
        EXPECT_EQ(plimo->ResetJob(&j, &options, 0), 0) << name;
        EXPECT_TRUE(Rebuilt()) << name;
        EXPECT_TRUE(plimo->JobOpen()) << name;
    }
    // Fields outside the comparison do not.
    tagPRTSTRUCT3_12 j = PlainJob();
    j.printer_ID = 99;
    j.head_ID = 3;
    Fresh();
    StartWith(PlainJob());
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 2);
}

TEST_F(ResetJobTest, RebuiltJobSkipsTheDocumentHeaderAndTheDocumentEnd) {
    StartWith(PlainJob());
    tagPRTSTRUCT3_12 j = PlainJob();
    j.num_copy = 3;
    ASSERT_EQ(plimo->ResetJob(&j, &options, 0), 0);
    EXPECT_FALSE(w.Has("mwcmd.SendEndDocCmd"));  // the old job ends without its document end
    EXPECT_EQ(plimo->Pages(), 0u);
    ASSERT_EQ(Page(), 0);
    EXPECT_EQ(w.start_doc_headers, (std::vector<int>{0, 1}));
}

TEST_F(ResetJobTest, SixteenBitMarkAndCommandRecords) {
    StartWith(PlainJob());
    tagPRTSTRUCT3_12 j = PlainJob();
    EXPECT_EQ(plimo->ResetJob(&j, &options, 1), 0);
    EXPECT_TRUE(Rebuilt());

    Fresh();
    StartWith(PlainJob());
    int remote = 1;
    j = PlainJob();
    j.lpRemoteCmd = &remote;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
    tagCUTCMD cut{1, 1, 0, 0};
    j = PlainJob();
    j.lpCutCmdData = &cut;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
}

TEST_F(ResetJobTest, SubRecordsAreComparedByValue) {
    tagTRIMINFO trim{1, {1, 2}, {3, 4}, {5, 6}};
    tagMEDIAOPT_8 media{};
    media.version = 8;
    media.field = OVCG_MO_DUTY;
    media.duty = 900;
    std::vector<uint8_t> ink = {1, 2};
    std::string info = "matte";
    tagJOBDATA_6 data{};
    data.version = 6;
    data.lpInkSetData = ink.data();
    data.NumInkSetData = 2;
    data.lpszMediaInfo = info.c_str();
    data.MediaInfoSize = 5;
    data.lpszOwnerName = "a";
    data.OwnerNameSize = 1;
    tagPRTSTRUCT3_12 base = PlainJob();
    base.lpTrimInfo = &trim;
    base.lpMediaOpt = &media;
    base.lpJobData = &data;
    StartWith(base);

    // Copies with the same values are the same job; other owner names too.
    tagTRIMINFO trim2 = trim;
    tagMEDIAOPT_8 media2 = media;
    std::vector<uint8_t> ink2 = ink;
    std::string info2 = info;
    tagJOBDATA_6 data2 = data;
    data2.lpInkSetData = ink2.data();
    data2.lpszMediaInfo = info2.c_str();
    data2.lpszOwnerName = "somebody else";
    data2.OwnerNameSize = 13;
    tagPRTSTRUCT3_12 j = base;
    j.lpTrimInfo = &trim2;
    j.lpMediaOpt = &media2;
    j.lpJobData = &data2;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 2);

    trim2.layout_offset.y = 7;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
    trim2 = trim;
    media2.multi_duty[15] = 1;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
    media2 = media;
    ink2[1] = 9;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
    ink2 = ink;
    data2.lpInkSetData = ink2.data();
    info2 = "gloss";
    data2.lpszMediaInfo = info2.c_str();
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
    info2 = info;
    data2.lpszMediaInfo = info2.c_str();
    data2.DisablePrinterErrorCheck = 1;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
    data2.DisablePrinterErrorCheck = 0;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 2);
    j.lpJobData = nullptr;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
    j.lpJobData = &data2;
    j.lpMediaOpt = nullptr;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
    j.lpMediaOpt = &media2;
    j.lpTrimInfo = nullptr;
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
}

TEST_F(ResetJobTest, ContinuousRollInProgressIsNeverKept) {
    w.tweak_info = [](tagPRTINFOSTRUCT& i) { i.top_margin_offset_on = 1; };
    ASSERT_TRUE(Open());
    tagPRTSTRUCT3_12 j = PlainJob();
    EXPECT_EQ(plimo->IsEnableInstanceCache(&j), 1);
}

}  // namespace

namespace {

TEST_F(PlimoTest, JobRecordCopiesPointToTheEnginesOwnSubRecords) {
    auto media = std::make_unique<tagMEDIAOPT_8>();
    media->version = 8;
    media->field = OVCG_MO_DUTY;
    media->duty = 700;
    auto trim = std::make_unique<tagTRIMINFO>(tagTRIMINFO{1, {1, 2}, {3, 4}, {5, 6}});
    auto cut = std::make_unique<tagCUTCMD>(tagCUTCMD{1, OVCG_CUT_TWOCUT, 3, 4});
    auto hmm = std::make_unique<std::string>("/hmm/file");
    tagPRTSTRUCT3_12 j = PlainJob();
    j.lpMediaOpt = media.get();
    j.lpTrimInfo = trim.get();
    j.lpCutCmdData = cut.get();
    j.lpszHMM_File = hmm->c_str();
    ASSERT_EQ(Start(j), 0);
    media.reset();
    trim.reset();
    cut.reset();
    hmm.reset();
    const tagPRTSTRUCT3_12& seen = plimo->PrintMode()->Job();
    ASSERT_NE(seen.lpMediaOpt, nullptr);
    EXPECT_EQ(seen.lpMediaOpt->duty, 700);
    ASSERT_NE(seen.lpTrimInfo, nullptr);
    EXPECT_EQ(seen.lpTrimInfo->layout_offset.y, 6);
    ASSERT_NE(seen.lpCutCmdData, nullptr);
    EXPECT_EQ(seen.lpCutCmdData->cut_option, OVCG_CUT_TWOCUT);
    EXPECT_STREQ(seen.lpszHMM_File, "/hmm/file");
    ASSERT_NE(seen.lpBRSData, nullptr);
    const auto* calib = static_cast<const ovcg::CalibRecord*>(seen.lpBRSData);
    EXPECT_EQ(calib->version, 3);
    EXPECT_STREQ(calib->raster_file, "dummy");
    ASSERT_EQ(Page(), 0);
    ASSERT_EQ(plimo->TerminatePage(), 0);
    ASSERT_EQ(plimo->DestroyJob(), 0);
}

// Two source rows to one printed row take four lines an engine call, which
// the halftone engine cannot take, wherever the bands reach the engine: each
// page is refused once the document start and its page start are out, the
// job stays open, and its end follows a document start.
TEST_F(PlimoTest, TwoSourceRowsAPrintedRowAreRefusedAtEachPageStart) {
    const struct {
        const char* name;
        uint32_t mw;
        bool dotCounting;
        int want;
    } rows[] = {{"level 2", 0, false, -203},
                {"page language", OVCG_MW_OVC, false, -203},
                {"level 3 without dot counting", OVCG_MW_P3, false, 0},
                {"level 3 counting dots", OVCG_MW_P3, true, -203}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Fresh([&](tagPRTINFOSTRUCT& info) {
            if (r.dotCounting) info.remote_flags3 |= 0x08000000u;
        });
        tagPRTSTRUCT3_12 j = PlainJob(r.mw);
        j.src_resolution = {300, 1200};  // 1200 source rows to 600 printed
        ASSERT_EQ(Start(j), 0);
        EXPECT_EQ(Page(), r.want);
        if (!r.want) continue;
        EXPECT_EQ(Page(), -203);  // the next page likewise
        EXPECT_EQ(w.Count("mwcmd.SendStartDocCmd"), 1);
        EXPECT_EQ(w.Count("mwcmd.SendStartPageCmd"), 2);
        EXPECT_FALSE(w.Has("halftoner.create"));
        EXPECT_EQ(plimo->LastError(), -203);
        EXPECT_FALSE(plimo->PageOpen());
        EXPECT_EQ(plimo->DestroyJob(), 0);
        EXPECT_TRUE(w.Has("mwcmd.SendEndDocCmd"));
    }
}

// The library's print mode over the default model; everything else faked.
class ModelPrintModeParts : public FakeEngineParts {
public:
    ModelPrintModeParts(FakeWorld* w, const MemoryLinkStore& store) : FakeEngineParts(w), store_(store) {}
    std::unique_ptr<CLinkRscDLL> CreateLinkResources(const char* const*, int) override { return store_.Adapter(); }
    std::unique_ptr<IPrintMode> CreatePrintMode(const tagPRTSTRUCT3_12* job, CLinkRscDLL* links) override {
        return ovcg::BuiltInEngineParts().CreatePrintMode(job, links);
    }

private:
    const MemoryLinkStore& store_;
};

TEST_F(PlimoTest, ModelAttributeFlagsLeadACLJobIntoEmptyPageMode) {
    const MemoryLinkStore store(build_model(default_model()));
    const struct {
        uint16_t media;
        uint32_t mw;
        uint16_t flags;
        uint32_t clOff;
        int32_t clMode;
        uint32_t empty;
    } rows[] = {{2, OVCG_MW_CL | OVCG_MW_CLFL, 3, 0, 2, 1},
                {2, OVCG_MW_CL | OVCG_MW_CLAT | OVCG_MW_CLFL, 3, 0, 1, 0},
                {0, OVCG_MW_CL | OVCG_MW_CLFL, 1, 1, 0, 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.media) + " mw " + std::to_string(r.mw));
        Fresh();
        ModelPrintModeParts modelParts(&w, store);
        FrontEndJob fe;
        ASSERT_TRUE(fe.ok());
        job = fe.job();
        job.media_type = r.media;
        job.mw_type |= r.mw;
        plimo = std::make_unique<CPlimo>(0, &modelParts);
        ASSERT_EQ(plimo->InitJob(&job, &options), 0);
        ASSERT_EQ(plimo->InitPage(&fe.halftone()), 0);
        const ovcg::tagHTINITSTRUCT& init = plimo->HalftoneInit();
        EXPECT_EQ(init.attr_flags, r.flags);
        EXPECT_EQ(init.cl_off, r.clOff);
        EXPECT_EQ(init.cl_mode, r.clMode);
        EXPECT_EQ(init.empty_page, r.empty);
        EXPECT_EQ(plimo->TerminatePage(), 0);
        EXPECT_EQ(plimo->DestroyJob(), 0);
        plimo.reset();
    }
}

}  // namespace
