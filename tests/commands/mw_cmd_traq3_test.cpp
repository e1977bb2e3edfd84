// The level-3 and page-language generators: every section as hand-derived
// bytes, the page-end and document-end rules as tables, and the mended
// faults (a failed flush fails the page end; the first page-language page
// sends its GS block whatever its colour options).
#include "commands/mw_cmd_traq3.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "gen_harness.h"
#include "support/null_encode_buffer.h"

namespace ovcg::test {
namespace {

using ovcg_test::SpoolCheck;

// An encode buffer that only answers what the page end asks.
struct FakeEncode final : ovcg_test::NullEncodeBuffer {
    uint32_t next = 0;
    bool flushOk = true;
    int flushes = 0, banners = 0;
    uint32_t ulGetNextRaster() const override { return next; }
    bool bOutBunnerObject() override { return ++banners, true; }
    bool bFlushENCODEBuff() override { return ++flushes, flushOk; }
};

enum class L3 { kTraq3, kTraq3_1, kPage };

struct Rig : Harness {
    CTRAQ3V1_1 records{{600, 600}, {720, 720}, {4000, 6000}, {3900, 5800}, {50, 100}};
    FakeEncode encode;
    CMWCmd& MakeL3(L3 kind) {
        spooler = std::make_unique<CPlimoSpooler>(1, ovcg_test::SpoolRecorder::Callback, &recorder);
        if (withMedia) media.Init(&mediaRecord);
        CMediaOpt* m = withMedia ? &media : nullptr;
        tagTRIMINFO* t = withTrim ? &trim : nullptr;
        if (kind == L3::kPage)
            gen = std::make_unique<CMWCmd_TRAQAGE>(&job, &info, spooler.get(), m, nullptr, t, nullptr);
        else if (kind == L3::kTraq3)
            gen = std::make_unique<CMWCmd_TRAQ3>(&job, &info, spooler.get(), m, nullptr, t, nullptr, &records, &encode);
        else
            gen = std::make_unique<CMWCmd_TRAQ3_1>(&job, &info, spooler.get(), m, nullptr, t, nullptr, &records,
                                                   &encode);
        gen->SetLocalTimeFunction(FixedTime);
        return *gen;
    }
};

std::string Sec(const SpoolCheck& c, uint16_t code, size_t n = 0) { return hex_of(c.section(code, n)); }

const std::string kEnter = "1B 28 52 08 00 00 'REMOTE1'";
const std::string kExit = "1B 00 00 00";

TEST(Traq3Golden, DocumentStartAndEnd) {
    Rig h;
    h.info.remote_flags = 0x400;  // no remote block
    h.info.microweave = 3;
    h.info.dot_size = 0x11;
    h.job.prt_format = 0;
    h.SetEx(kExRollMedia);
    CMWCmd& g = h.MakeL3(L3::kTraq3);
    g.SendStartDocCmd(0);
    g.SendEndDocCmd();
    const SpoolCheck c = h.Check();
    EXPECT_EQ(Sec(c, 9), H("1B 40 1B 40 1B 40 1B 28 52 03 00 00 'P3'"));
    EXPECT_EQ(Sec(c, 1), H("1B 40 " + Remote("'LD' 00 00")));
    // The quality and page records the band driver sends.
    EXPECT_EQ(h.records.ucGetqltyBlackAndWhitePrinting(), 1);  // a gray job
    EXPECT_EQ(h.records.ucGetqltyPrintingDirectionControl(), 1);
    EXPECT_EQ(h.records.ucGetqltyMicroWeave(), 3);
    EXPECT_EQ(h.records.ucGetqltyDotSize(), 0x11);
    EXPECT_EQ(h.records.ulGetmakeSheetHeight(), 0xFFFFFFFFu);  // a roll
    EXPECT_EQ(h.records.ulGetmakePrintAreaHeight(), 0xFFFFFFFFu);
}

TEST(Traq3Golden, VariantDocumentStartAndEnd) {
    Rig h;
    h.info.remote_flags = 0x400;  // the variant sends the remote block all the same
    CMWCmd& g = h.MakeL3(L3::kTraq3_1);
    g.SendStartDocCmd(0);
    g.SetPageAbort(0);
    g.SendEndDocCmd();
    const SpoolCheck c = h.Check();
    EXPECT_EQ(Sec(c, 9),
              H("00 00 00 1B 01 '@KRQ 1284.4' 0A '@KRQ     ' 0A 1B 40 1B 40 " +
                Remote("'JX' 05 00 00 00 01 01 01 'DP' 02 00 00 00 'MI' 04 00 00 01 FF FF"
                       " 'EX' 06 00 00 00 00 00 05 00 'FP' 03 00 00 FF FF 'EX' 06 00 00 00 00 00 14 00"
                       " 'AC' 02 00 00 00 'AC' 02 00 00 40 'PP' 03 00 00 FF FF") +
                " 1B 40 1B 28 52 03 00 00 'P3'"));
    EXPECT_EQ(Sec(c, 1), H("1B 40 " + Remote("'LD' 00 00")));  // no JX end: its item is not enabled
}

struct EndCase {
    const char* name;
    bool abort, roll, cutAfter;
    uint32_t empty, next;
    const char* bytes;  // section 3
    int banners;
    uint32_t reported;
};

TEST(Traq3Golden, PageEnds) {
    const EndCase cases[] = {
        {"aborted", true, false, false, 0, 9,
         "1B 70 00 03 'termE:' 00 1B 40 1B 28 52 08 00 00 'REMOTE1' 'AC' 02 00 00 41 1B 00 00 00 0C", 0, 0},
        {"sheet", false, false, false, 0, 9, "1B 70 00 03 'endpE:' 01", 0, 0},
        {"sheet_cut_after", false, false, true, 0, 9, "1B 70 00 03 'endpE:' 00", 0, 0},
        {"empty_sheet_cut_after", false, false, true, 0, 0, "", 0, 1},  // only counts
        {"empty_sheet", false, false, false, 0, 0, "1B 70 00 03 'endpE:' 01", 0, 0},
        {"roll", false, true, false, 0, 9, "1B 70 00 03 'endpE:' 00", 1, 0},
        {"roll_cut_after", false, true, true, 0, 9, "1B 70 00 03 'endpE:' 00", 0, 0},
        {"roll_empty_page", false, true, false, 1, 9, "1B 70 00 03 'endpE:' 00", 0, 0},
    };
    for (const EndCase& e : cases) {
        SCOPED_TRACE(e.name);
        Rig h;
        h.SetEx(kExRollMedia, e.roll);
        h.SetEx(kExCutAfterJob, e.cutAfter);
        h.encode.next = e.next;
        CMWCmd& g = h.MakeL3(L3::kTraq3);
        g.SetEmptyPage(e.empty);
        g.SetPageAbort(e.abort ? 1 : 0);
        g.SendEndPageCmd();
        EXPECT_EQ(Sec(h.Check(), 3), H(e.bytes));
        EXPECT_EQ(h.encode.flushes, e.abort ? 0 : 1);
        EXPECT_EQ(h.encode.banners, e.banners);
        EXPECT_EQ(g.PagesReported(), e.reported);
    }
}

// Mended: held lines that cannot be sent fail the page end.
TEST(Traq3Golden, FailedFlushFailsThePageEnd) {
    Rig h;
    h.encode.flushOk = false;
    CMWCmd& g = h.MakeL3(L3::kTraq3_1);
    try {
        g.SendEndPageCmd();
        ADD_FAILURE() << "the page end went on";
    } catch (const char* m) {
        EXPECT_STREQ(m, "Spooler Exception");
    }
}

// The duplex rule of the level-3 document end: with duplex_end 0 a page that
// was not aborted holds back both DP and LD, duplex_alt or not.
TEST(Traq3Golden, DocumentEndDuplex) {
    struct Case {
        bool alt;
        uint32_t abort;
        const char* traq3;
        const char* traq2;
    };
    const Case cases[] = {
        {false, 0, "", ""},
        {true, 0, "", "'DP' 02 00 00 00 'LD' 00 00"},
        {false, 1, "'DP' 02 00 00 00 'LD' 00 00", "'DP' 02 00 00 00 'LD' 00 00"},
    };
    for (const Case& k : cases) {
        for (const bool level3 : {true, false}) {
            Rig h;
            h.info.remote_flags2 = 0x400;
            h.info.duplex_mode = 1;
            h.SetEx(kExDuplex);
            h.SetEx(kExDuplexAlt, k.alt);
            CMWCmd& g = level3 ? h.MakeL3(L3::kTraq3) : h.Make(Gen::kTraq2);
            g.SetPageAbort(k.abort);
            g.SendEndDocCmd();
            EXPECT_EQ(Sec(h.Check(), 1), H("1B 40 " + Remote(level3 ? k.traq3 : k.traq2)))
                << k.alt << k.abort << level3;
        }
    }
}

// ---------------------------------------------------------------------------
// Page language.

// 720 dpi source and print, older set, print area 3900 x 5800 at margins 50
// and 100: m = 720 x 42 / 360 = 84, so X runs from 84 + 50 = 134 to 4034 and
// Y from 100 to 5900.
const std::string kGsBlock =
    "1D '720;720reE' 1D 'rhE' 1D '1;10;3mmE' 1D '0;.10muE' 1D '134;4034gsxE' 1D '100;5900gsyE'"
    " 1D '2mw{E' 05 03 1D '1di{E' 01 1D '1ds{E' 11 1D '720;720prE' 1D '4inkd{E' 00 00 04 00"
    " 1D '-1;4000;6000psE' 1D '0;2;1.8cigE' 1D '7;0;2;3cam{E' 0A 01 02 03 04 05 06 1D '0lbdI' 1D '1lbmI' 1D '2pcsO'";

void PageLanguageJob(Rig& h) {
    h.job.src_resolution = {720, 720};
    h.info.page_mw_mode = 5;
    h.info.microweave = 3;
    h.info.dot_size = 0x11;
}

TEST(TraqageGolden, PageStartsAndEnds) {
    Rig h;
    PageLanguageJob(h);
    CMWCmd& g = h.MakeL3(L3::kPage);
    g.SendStartDocCmd(0);
    for (int page = 0; page < 2; ++page) {
        g.SetColorOption(1, 2, 3, 4, 5, 6, 180);
        g.SendStartPageCmd(1);
        g.SendEndPageCmd();
    }
    g.SetColorOption(1, 2, 3, 4, 5, 7, 180);  // a change
    g.SendStartPageCmd(1);
    g.SendEndDocCmd();
    const SpoolCheck c = h.Check();
    const std::vector<uint8_t> start = c.section(9);
    ASSERT_GE(start.size(), 14u);
    EXPECT_EQ(hex_of(start.data() + start.size() - 14, 14), H(kExit + " 1B 28 52 05 00 00 'PAGE'"));
    EXPECT_EQ(Sec(c, 11, 0), H(kGsBlock));
    EXPECT_EQ(Sec(c, 11, 1), "");  // the same options: only the markers
    EXPECT_NE(Sec(c, 11, 2), "");
    EXPECT_EQ(Sec(c, 3, 0), H("0C"));
    EXPECT_EQ(Sec(c, 1).substr(0, 5), "1B 01");
    // The document end starts the options afresh: the next page sends its block.
    g.SetColorOption(1, 2, 3, 4, 5, 7, 180);
    EXPECT_TRUE(static_cast<CMWCmd_TRAQAGE&>(g).Changed());
}

// Mended: options of all zeros on the first page still send the GS block.
TEST(TraqageGolden, FirstPageWithZeroOptionsSendsItsBlock) {
    Rig h;
    PageLanguageJob(h);
    CMWCmd& g = h.MakeL3(L3::kPage);
    g.SetColorOption(0, 0, 0, 0, 0, 0, 0);
    g.SendStartPageCmd(1);
    const ovcg_test::StreamCheck block = ovcg_test::ValidateStream(h.Check().section(11));
    EXPECT_EQ(block.count("GS cam"), 1u);
    EXPECT_EQ(block.count("GS cig"), 0u);  // gamma 0 writes nothing
}

TEST(TraqageGolden, PrintAreaVariants) {
    struct Case {
        bool force, banner, trim, us0;
        const char* area;
    };
    // Trim record: layout offset (30, 40), extended area 3800 x 5700.
    const Case cases[] = {
        {false, false, false, false, "1D '134;4034gsxE' 1D '100;5900gsyE'"},
        {false, false, false, true, "1D '134;4084gsxE' 1D '100;6000gsyE'"},  // the extended area
        {true, false, true, false, "1D '-54;3746gsxE' 1D '-44;5656gsyE'"},
        {true, true, true, false, "1D '-54;3746gsxE' 1D '0;5700gsyE'"},
        {true, false, false, false, "1D '-84;3866gsxE' 1D '-84;5816gsyE'"},
        {false, true, true, true, "1D '-54;3746gsxE' 1D '0;5700gsyE'"},
        {false, true, false, false, "1D '-84;3866gsxE' 1D '0;5900gsyE'"},
    };
    for (const Case& k : cases) {
        Rig h;
        PageLanguageJob(h);
        h.SetEx(kExForceMode2, k.force);
        h.SetEx(kExTrimBanner, k.banner);
        h.SetEx(kExUserSetting0On, k.us0);
        h.withTrim = k.trim;
        h.trim.layout_offset = {30, 40};
        h.trim.src_t4base_parea_ex = {3800, 5700};
        CMWCmd& g = h.MakeL3(L3::kPage);
        g.SendStartPageCmd(1);
        EXPECT_NE(Sec(h.Check(), 11).find(H(k.area)), std::string::npos) << k.area;
    }
}

TEST(TraqageGolden, PageEndRules) {
    struct Case {
        bool newer, lineFeedFirst, cutAfter;
        uint32_t feed;
        int32_t topAdjust;
        const char* bytes;
        uint32_t reported;
    };
    const Case cases[] = {
        {true, true, false, 0, 0, "0A 0C", 0}, {true, true, false, 0, 1, "0C", 0},
        {true, false, true, 0, 1, "", 1},      {true, false, true, 5, 1, "0C", 0},
        {false, true, false, 0, 1, "0A 0C", 0}, {false, true, true, 5, 0, "0C", 0},
    };
    for (const Case& k : cases) {
        Rig h;
        h.info.remote_flags = k.newer ? 0x8000 : 0;
        h.info.top_margin_adjust = k.topAdjust;
        h.SetEx(kExLineFeedFirst, k.lineFeedFirst);
        h.SetEx(kExCutAfterJob, k.cutAfter);
        CMWCmd& g = h.MakeL3(L3::kPage);
        g.SetPageValues(1, 0, k.feed, 0);
        g.SendEndPageCmd();
        EXPECT_EQ(Sec(h.Check(), 3), H(k.bytes)) << k.newer << k.lineFeedFirst << k.cutAfter << k.feed;
        EXPECT_EQ(g.PagesReported(), k.reported);
    }
}

}  // namespace
}  // namespace ovcg::test
