#include "commands/mw_cmd_traq2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "gen_harness.h"

namespace ovcg::test {
namespace {

using ovcg_test::SpoolCheck;

std::string Sec(const SpoolCheck& c, uint16_t code, size_t n = 0) { return hex_of(c.section(code, n)); }

const std::string kD4 = "00 00 00 1B 01 '@KRQ 1284.4' 0A '@KRQ     ' 0A";
const std::string kReset2 = "1B 40 1B 40";
const std::string kGraphics = "1B 28 47 01 00 01";
const std::string kUnit720 = "1B 28 55 05 00 02 02 02 A0 05";
const std::string kEnter = "1B 28 52 08 00 00 'REMOTE1'";
const std::string kExit = "1B 00 00 00";

// The job of the harness: 600 dpi source on 720 dpi print, so both scales
// are 12 tenths; a 6000-line paper with a 5800-line print area and a
// 100-line bottom margin; margin values 10 and 20.
CMWCmd& MakeJob(Harness& h, Gen kind) {
    h.info.mw_type_flags[kMwBidirectional] = 1;
    CMWCmd& g = h.Make(kind);
    g.SetMarginValue(10, 20);
    return g;
}

// Job data with every field, names taken from `text` at sizes drawn from
// `seed` (often beyond the text, sometimes beyond what a command holds).
void SetJobDataFull(Harness& h, const std::string& text, uint32_t seed) {
    h.withJobData = true;
    h.jobData = tagJOBDATA_6{};
    h.jobData.version = static_cast<uint16_t>(seed % 7);
    const char* s = text.c_str();
    const uint32_t sizes[] = {0, 1, 9, 11, 41, 97, 600, 0xFFFFFFFFu};
    auto size = [&](int k) { return sizes[(seed >> (3 * k)) % 8]; };
    h.jobData.lpszDocName = s; h.jobData.DocNameSize = size(0);
    h.jobData.lpszOwnerName = s; h.jobData.OwnerNameSize = size(1);
    h.jobData.lpszHostName = s; h.jobData.HostNameSize = size(2);
    h.jobData.HostNameType = static_cast<int32_t>(seed % 3) - 1;
    h.jobData.lpszVenderInfo = s; h.jobData.VenderInfoSize = size(3);
    h.jobData.lpszOsVerInfo = s; h.jobData.OsVerInfoSize = size(4);
    h.jobData.lpszMediaInfo = s; h.jobData.MediaInfoSize = size(5);
    h.jobData.lpHDDOption = reinterpret_cast<const uint8_t*>(s); h.jobData.NumHDDOption = size(6);
    h.jobData.DisablePrinterErrorCheck = static_cast<int32_t>(seed % 2);
}

// Enables exactly these JX items.
void JxOnlyItems(Harness& h, std::initializer_list<int> items) {
    for (auto& w : h.info.jx_items) w = 0xFFFF;
    for (int i : items) h.info.jx_items[i] = 1;
}

// One page: start, then end with the page values given.
void Page(CMWCmd& g, uint32_t page, uint32_t feed, uint32_t abort = 0, uint32_t empty = 0) {
    g.SendStartPageCmd(1);
    g.SetPageValues(page, 0, feed, 0);
    g.SetEmptyPage(empty);
    g.SetPageAbort(abort);
    g.SendEndPageCmd();
}

// ---------------------------------------------------------------------------
// Golden jobs.

TEST(Traq2Golden, OlderSetSheetJob) {
    Harness h;
    h.info.remote_flags2 = 0x4;
    CMWCmd& g = MakeJob(h, Gen::kTraq2);
    g.SendStartDocCmd(0);
    Page(g, 1, 6960);
    g.SendEndDocCmd();
    const SpoolCheck c = h.Check();
    EXPECT_EQ(c.codes(), (std::vector<uint16_t>{9, 10, 3, 4, 1, 2}));
    EXPECT_EQ(Sec(c, 9), H(kD4 + " " + kReset2 + " " + Remote("'PM' 02 00 00 00") + " " + kGraphics + " " + kUnit720 +
                           " 1B 55 00 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"));
    EXPECT_EQ(Sec(c, 3), H("0C"));
    EXPECT_EQ(Sec(c, 1), H("1B 40 " + Remote("'LD' 00 00")));
    // Nothing outside the sections.
    EXPECT_EQ(c.spool.data.size(), c.section(9).size() + c.section(3).size() + c.section(1).size());
}

TEST(Traq2Golden, NewerSetRollJobWithJx) {
    Harness h;
    h.info.remote_flags = 0x8004;
    h.info.remote_flags2 = 0x8 | 0x20;
    h.info.remote_flags3 = 1u << 27;
    h.info.jx_items[0] = 1;
    h.info.jx_items[10] = 1;
    h.info.jx_items[12] = 1;
    h.SetEx(kExRollMedia);
    CMWCmd& g = MakeJob(h, Gen::kTraq2);
    g.SendStartDocCmd(0);
    Page(g, 1, 6000, 0, 1);
    g.SetPrintedLength(0x0102);
    g.SendEndDocCmd();
    const SpoolCheck c = h.Check();
    EXPECT_EQ(c.codes(), (std::vector<uint16_t>{9, 10, 3, 4, 1, 2}));
    EXPECT_EQ(Sec(c, 9), H(kReset2 + " " +
                           Remote("'TI' 08 00 00 07 E8 03 05 06 07 08 'JX' 05 00 00 00 01 01 01 'IR' 02 00 00 01") +
                           " " + kGraphics + " " + kUnit720 + " 1B 55 00 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"));
    EXPECT_EQ(Sec(c, 3), H("0C"));
    EXPECT_EQ(Sec(c, 1), H("1B 40 " + Remote("'IR' 02 00 00 00 'JX' 0A 00 00 00 10 02 01 00 29 02 02 01 'LD' 00 00"
                                             " 'JX' 05 00 00 00 01 01 02")));
}

TEST(Traq2Golden, Variant1Job) {
    Harness h;
    h.info.remote_flags = 0x8000;
    h.info.jx_items[0] = 1;
    h.info.media_paper_id[0] = 0x41;
    h.info.media_paper_id[1] = 0x61;
    CMWCmd& g = MakeJob(h, Gen::kTraq2_1);
    g.SendStartDocCmd(0);
    Page(g, 1, 6000);
    g.SendEndDocCmd();
    const SpoolCheck c = h.Check();
    EXPECT_EQ(c.codes(), (std::vector<uint16_t>{9, 10, 3, 4, 1, 2}));
    const std::string remote =
        Remote("'JX' 05 00 00 00 01 01 01 'DP' 02 00 00 00 'MI' 04 00 00 01 41 61 'EX' 06 00 00 00 00 00 05 00"
               " 'FP' 03 00 00 FF FF 'EX' 06 00 00 00 00 00 14 00 'AC' 02 00 00 00 'AC' 02 00 00 40"
               " 'PP' 03 00 00 FF FF 'EX' 07 00 00 00 00 00 4D 00 FF");
    EXPECT_EQ(Sec(c, 9), H(kD4 + " " + kReset2 + " " + remote + " " + kGraphics + " " + kUnit720 +
                           " 1B 55 00 1B 28 43 04 00 20 1C 00 00 1B 28 63 08 00 6E 00 00 00 BC 1B 00 00"));
    // The page start is the paper dimension alone, outside any section.
    const std::string dim = "1B 28 53 08 00 C0 12 00 00 20 1C 00 00";
    EXPECT_EQ(hex_of(std::vector<uint8_t>(c.spool.data.begin() + static_cast<long>(c.spool.escapes[1].offset),
                                          c.spool.data.begin() + static_cast<long>(c.spool.escapes[2].offset))),
              H(dim));
    EXPECT_EQ(Sec(c, 3), H(dim + " 0C"));
    EXPECT_EQ(Sec(c, 1), H("1B 40 " + Remote("'LD' 00 00 'JX' 05 00 00 00 01 01 02")));
}

TEST(Traq2Golden, Variant2DropsTheDuplexCommand) {
    std::vector<std::string> remote;
    for (Gen kind : {Gen::kTraq2_1, Gen::kTraq2_2}) {
        Harness h;
        h.info.remote_flags = 0x8000;
        MakeJob(h, kind).SendStartDocCmd(0);
        remote.push_back(Sec(h.Check(), 9));
    }
    const std::string dp = " " + H("'DP' 02 00 00 00");
    const size_t at = remote[0].find(dp);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(remote[0].substr(0, at) + remote[0].substr(at + dp.size()), remote[1]);
}

// ---------------------------------------------------------------------------
// Document start.

TEST(Traq2DocStart, NewerSetBeginsWithTheDc1Block) {
    Harness h;
    h.info.remote_flags = 0x8000;
    h.info.remote_flags3 = 0x2;
    MakeJob(h, Gen::kTraq2).SendStartDocCmd(0);
    const SpoolCheck c = h.Check();
    const std::vector<uint8_t> s = c.section(9);
    ASSERT_GT(s.size(), 16384u);
    EXPECT_TRUE(std::all_of(s.begin(), s.begin() + 16384, [](uint8_t b) { return b == 0x11; }));
    EXPECT_EQ(hex_of(s.data() + 16384, 4), "1B 40 1B 40");
    // Not in job-information mode, and not on the older set.
    for (bool infoMode : {true, false}) {
        Harness h2;
        h2.info.remote_flags = infoMode ? 0x8000 : 0;
        h2.info.remote_flags3 = 0x2;
        h2.SetEx(kExJobInfoMode, infoMode);
        MakeJob(h2, Gen::kTraq2).SendStartDocCmd(0);
        EXPECT_EQ(h2.Check().section(9)[0], 0x1B);
    }
}

TEST(Traq2DocStart, Steps) {
    struct Case {
        const char* name;
        std::function<void(Harness&)> setup;
        int header;
        std::string bytes;  // after the remote-mode block and ESC ( G (header 0) or from the start
    } cases[] = {
        {"540 dpi takes the unit 5760", [](Harness& h) { h.job.prt_resolution.y = 540; }, 1,
         "1B 28 55 05 00 01 01 08 80 16 1B 55 00 1B 28 63 08 00 96 02 00 00 54 DD 00 00"},
        {"doubled horizontal resolution", [](Harness& h) { h.info.double_hres = 1; }, 1,
         "1B 28 55 05 00 02 02 01 A0 05 1B 55 00 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"},
        {"horizontal multiplier", [](Harness& h) { h.info.hres_multiplier = 4; }, 1,
         "1B 28 55 05 00 04 04 01 40 0B 1B 55 00 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"},
        {"unidirectional by flag bit 21", [](Harness& h) { h.info.remote_flags3 = 1u << 21; }, 1,
         kUnit720 + " 1B 55 01 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"},
        {"bidirectional by flag bit 22", [](Harness& h) { h.info.remote_flags3 = 1u << 22; h.info.mw_type_flags[kMwBidirectional] = 0; }, 1,
         kUnit720 + " 1B 55 00 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"},
        {"older set: a platen gap makes it unidirectional",
         [](Harness& h) { h.SetMedia(OVCG_MO_PALATEN_GAP); h.mediaRecord.platen_gap_mode = 2; }, 1,
         kUnit720 + " 1B 55 01 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"},
        {"newer set ignores the platen gap",
         [](Harness& h) { h.info.remote_flags = 0x8000; h.SetMedia(OVCG_MO_PALATEN_GAP); h.mediaRecord.platen_gap_mode = 2; }, 1,
         kUnit720 + " 1B 55 00 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"},
        {"page length, paper dimension, overprint",
         [](Harness& h) {
             h.info.remote_flags = static_cast<uint16_t>(0x9000); h.info.page_length_on = 1; h.info.paper_dimension_mode = 1;
             h.SetMedia(OVCG_MO_OVERPRINT); h.mediaRecord.num_overprint = 3;
         },
         1,
         kUnit720 + " 1B 55 00 1B 28 43 04 00 20 1C 00 00 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"
                    " 1B 28 53 08 00 C0 12 00 00 20 1C 00 00 1B 28 45 02 00 00 03"},
        {"extended print area and the page-length extra",
         [](Harness& h) { h.SetEx(kExUserSetting0On); h.info.page_length_extra = 10; }, 1,
         kUnit720 + " 1B 55 00 1B 28 63 08 00 4A 00 00 00 40 1C 00 00"},
        {"trim record chosen by force_mode2",
         [](Harness& h) {
             h.SetEx(kExUserSetting0On); h.SetEx(kExForceMode2); h.withTrim = true; h.trim.src_t4base_parea_ex = {1, 1000};
         },
         1, kUnit720 + " 1B 55 00 1B 28 63 08 00 4A 00 00 00 3C 05 00 00"},
        {"mono mode at the document start",
         [](Harness& h) { h.info.mono_mode = 1; }, 1,
         kUnit720 + " 1B 55 00 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00 1B 28 4B 02 00 00 01"},
        {"colour-mode escapes wait for the page", [](Harness& h) { h.info.mono_mode = 1; h.info.remote_flags3 = 0x20000; }, 1,
         kUnit720 + " 1B 55 00 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"},
        {"data-processing settings and no remote block",
         [](Harness& h) {
             h.info.remote_flags = 0x400; h.info.data_proc_setting[0] = 1; h.info.data_proc_setting[8] = 9;
         },
         0, kReset2 + " 1B 28 41 09 00 01 FF FF FF FF FF FF FF 09 " + kGraphics + " " + kUnit720 +
                " 1B 55 00 1B 28 63 08 00 4A 00 00 00 BC 1B 00 00"},
    };
    for (const Case& c : cases) {
        Harness h;
        c.setup(h);
        MakeJob(h, Gen::kTraq2).SendStartDocCmd(c.header);
        EXPECT_EQ(Sec(h.Check(), 9), H(c.bytes)) << c.name;
    }
}

TEST(Traq2DocStart, UnsetOrLargeMarginsDoNotWrap) {
    Harness h;
    h.info.mw_type_flags[kMwBidirectional] = 1;
    h.Make(Gen::kTraq2).SendStartDocCmd(1);  // margins never set: 0
    EXPECT_EQ(Sec(h.Check(), 9), H(kUnit720 + " 1B 55 00 1B 28 63 08 00 54 00 00 00 A8 1B 00 00"));
    Harness h2;
    h2.info.mw_type_flags[kMwBidirectional] = 1;
    CMWCmd& g = h2.Make(Gen::kTraq2);
    g.SetMarginValue(1000, 0);
    g.SendStartDocCmd(1);
    EXPECT_EQ(Sec(h2.Check(), 9), H(kUnit720 + " 1B 55 00 1B 28 63 08 00 00 00 00 00 A8 1B 00 00"));
}

// ---------------------------------------------------------------------------
// Page start.

TEST(Traq2PageStart, NextPageCommand) {
    struct Case {
        const char* name;
        std::function<void(Harness&)> setup;
        int count;
        const char* next;  // the count byte, or null for no command
    } cases[] = {
        {"clipped to 255", [](Harness& h) { h.info.remote_flags = 0x8000; }, 300, "FF"},
        {"count", [](Harness& h) { h.info.remote_flags = 0x8000; }, 3, "03"},
        {"single page", [](Harness& h) { h.info.remote_flags = 0x8000; h.SetEx(kExNextPageSingle); }, 0, "01"},
        {"no pages", [](Harness& h) { h.info.remote_flags = 0x8000; }, 0, nullptr},
        {"older set without line feed first", [](Harness&) {}, 3, nullptr},
        {"older set with line feed first", [](Harness& h) { h.SetEx(kExLineFeedFirst); }, 3, "03"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.SetEx(kExNextPageOn);
        c.setup(h);
        MakeJob(h, Gen::kTraq2).SendStartPageCmd(c.count);
        const SpoolCheck s = h.Check();
        if (c.next) {
            EXPECT_EQ(s.codes(), (std::vector<uint16_t>{13, 14})) << c.name;
            EXPECT_EQ(Sec(s, 13), H(std::string("1B 28 6A 01 00 ") + c.next)) << c.name;
        } else {
            EXPECT_TRUE(s.spool.data.empty() && s.codes().empty()) << c.name;
        }
    }
}

TEST(Traq2PageStart, PaperDimensionAndColourMode) {
    Harness h;
    h.info.remote_flags = 0x1000;
    h.info.paper_dimension_mode = 2;
    h.info.remote_flags3 = 0x20000;
    h.info.mono_mode = 2;
    MakeJob(h, Gen::kTraq2).SendStartPageCmd(1);
    EXPECT_EQ(h.Hex(), H("1B 28 53 08 00 C0 12 00 00 20 1C 00 00 1B 28 4B 02 00 00 02"));
}

// ---------------------------------------------------------------------------
// Page end.

struct EndCase {
    const char* name;
    std::function<void(Harness&)> setup;
    uint32_t page, feed, abort, empty;
    std::string bytes;   // the page-end section
    uint32_t reported;   // pages counted by the page end
};

void RunEnd(const EndCase& c, Gen kind) {
    Harness h;
    h.info.head_feed_lines = 10;
    c.setup(h);
    CMWCmd& g = MakeJob(h, kind);
    g.SetPageValues(c.page, 0, c.feed, 0);
    g.SetEmptyPage(c.empty);
    g.SetPageAbort(c.abort);
    g.SendEndPageCmd();
    const SpoolCheck s = h.Check();
    EXPECT_EQ(s.codes(), (std::vector<uint16_t>{3, 4})) << c.name;
    EXPECT_EQ(Sec(s, 3), H(c.bytes)) << c.name;
    EXPECT_EQ(g.PagesReported(), c.reported) << c.name;
}

TEST(Traq2PageEnd, OlderSet) {
    const EndCase cases[] = {
        {"sheet", [](Harness&) {}, 1, 100, 0, 0, "0C", 0},
        {"sheet, nothing fed, line feed first", [](Harness& h) { h.SetEx(kExLineFeedFirst); }, 1, 0, 0, 0, "0A 0C", 0},
        {"aborted sheet", [](Harness&) {}, 1, 100, 1, 0, "0C", 0},
        {"roll without the banner pair", [](Harness& h) { h.SetEx(kExRollMedia); }, 1, 100, 0, 0, "", 0},
        {"roll, cut after the job",
         [](Harness& h) { h.SetEx(kExRollMedia); h.info.remote_flags = 0x4020; h.SetEx(kExCutAfterJob); }, 1, 100, 0, 0,
         "1B 2B 0A 0A 1B 2B 3C", 0},
        {"aborted roll page advances one head",
         [](Harness& h) { h.SetEx(kExRollMedia); h.info.remote_flags = 0x4020; }, 1, 100, 1, 0, "1B 2B 0A 0A 1B 2B 3C", 0},
        {"roll: blank pages fed and ejected to the bin",
         [](Harness& h) {
             h.SetEx(kExRollMedia); h.info.remote_flags = 0x4020; h.SetEx(kExLineFeedFirst);
             h.SetEx(kExAutoCut); h.SetEx(kExEjectToBin);
         },
         3, 6960, 0, 0, "0C 0A 0C 0A 0C 1B 19 43", 0},
        {"roll: no first loop when all pages are blank",
         [](Harness& h) { h.SetEx(kExRollMedia); h.info.remote_flags = 0x4020; h.SetEx(kExLineFeedFirst); },
         3, 0, 0, 0, "0C 0A 0C 0A 0C", 0},
        {"roll: a feed beyond the pages loops not at all",
         [](Harness& h) { h.SetEx(kExRollMedia); h.info.remote_flags = 0x4020; h.SetEx(kExLineFeedFirst); },
         3, 0xFFFFFF00u, 0, 0, "0C", 0},
        {"roll: no source resolution, no division",
         [](Harness& h) {
             h.SetEx(kExRollMedia); h.info.remote_flags = 0x4020; h.SetEx(kExLineFeedFirst); h.job.src_resolution = {0, 0};
         },
         3, 0, 0, 0, "0C", 0},
    };
    for (const EndCase& c : cases) RunEnd(c, Gen::kTraq2);
}

TEST(Traq2PageEnd, NewerSet) {
    auto newer = [](Harness& h) { h.info.remote_flags = 0x8000; };
    const EndCase cases[] = {
        {"sheet", newer, 1, 100, 0, 0, "0C", 0},
        {"nothing fed, line feed first",
         [&](Harness& h) { newer(h); h.SetEx(kExLineFeedFirst); h.info.top_margin_adjust = 0; }, 1, 0, 0, 0, "0A 0C", 0},
        {"nothing fed, cut after the job: counted",
         [&](Harness& h) { newer(h); h.SetEx(kExCutAfterJob); }, 1, 0, 0, 0, "", 1},
        {"nothing fed on bin 7 with line feed first",
         [&](Harness& h) { newer(h); h.SetEx(kExCutAfterJob); h.SetEx(kExLineFeedFirst); h.job.bin_ID = 7; },
         1, 0, 0, 0, "0A 0C", 0},
        {"paper dimension at the end",
         [&](Harness& h) { newer(h); h.info.paper_dimension_at_end = 1; }, 1, 100, 0, 0,
         "1B 28 53 08 00 C0 12 00 00 20 1C 00 00 0C", 0},
        {"paper dimension from the feed, cut after the job",
         [&](Harness& h) { newer(h); h.info.paper_dimension_at_end = 1; h.SetEx(kExCutAfterJob); h.SetEx(kExRollMedia); },
         1, 1200, 0, 1, "1B 28 53 08 00 C0 12 00 00 A0 05 00 00 0C", 0},
        {"roll: blank pages fed",
         [&](Harness& h) { newer(h); h.SetEx(kExRollMedia); h.SetEx(kExLineFeedFirst); }, 3, 6960, 0, 0,
         "0C 0A 0C 0A 0C", 0},
        {"roll: blank pages counted",
         [&](Harness& h) { newer(h); h.SetEx(kExRollMedia); }, 3, 6960, 0, 0, "0C", 2},
        {"roll: a feed beyond the pages loops not at all",
         [&](Harness& h) { newer(h); h.SetEx(kExRollMedia); }, 3, 0xFFFFFF00u, 0, 0, "0C", 0},
        {"roll: no source resolution, no division",
         [&](Harness& h) { newer(h); h.SetEx(kExRollMedia); h.job.src_resolution = {0, 0}; h.info.paper_dimension_at_end = 1; },
         3, 100, 0, 0, "1B 28 53 08 00 00 00 00 00 00 00 00 00 0C", 0},
        {"aborted with the page-format reset",
         [&](Harness& h) {
             h.info.remote_flags = 0x8020; h.info.remote_flags3 = 1u << 26; h.info.page_length_reset = 1;
         },
         1, 100, 1, 0,
         "1B 28 53 08 00 00 00 00 00 00 00 00 00 1B 28 43 04 00 00 00 00 00 1B 28 63 08 00 00 00 00 00 00 00 00 00 0C", 0},
        {"aborted without the banner bit", newer, 1, 100, 1, 0, "0C", 0},
        {"aborted: reset and the remote cut", [](Harness& h) { h.info.remote_flags = 0x8020; }, 1, 100, 1, 0,
         "1B 40 " + kEnter + " 'AC' 02 00 00 41 " + kExit + " 0C", 0},
    };
    for (const EndCase& c : cases) RunEnd(c, Gen::kTraq2);
}

TEST(Traq2PageEnd, Variant1) {
    auto base = [](Harness& h) { h.info.remote_flags = 0x8000; };
    const std::string dim = "1B 28 53 08 00 C0 12 00 00 20 1C 00 00";
    const EndCase cases[] = {
        {"normal page", base, 1, 100, 0, 0, dim + " 0C", 0},
        {"aborted page takes the feed form",
         [&](Harness& h) { base(h); }, 1, 1200, 1, 0, "1B 28 53 08 00 C0 12 00 00 A0 05 00 00 0C", 0},
        {"roll: pages between are only counted",
         [&](Harness& h) { base(h); h.SetEx(kExRollMedia); h.SetEx(kExLineFeedFirst); h.SetEx(kExCutAfterJob); },
         3, 6960, 0, 0, "1B 28 53 08 00 C0 12 00 00 20 1C 00 00 0C", 2},
        {"roll with line feed first: nothing counted",
         [&](Harness& h) { base(h); h.SetEx(kExRollMedia); h.SetEx(kExLineFeedFirst); },
         3, 6960, 0, 0, "1B 28 53 08 00 C0 12 00 00 60 54 00 00 0C", 0},
        {"nothing fed, cut after the job", [&](Harness& h) { base(h); h.SetEx(kExCutAfterJob); }, 1, 0, 0, 0, "", 1},
    };
    for (const EndCase& c : cases) RunEnd(c, Gen::kTraq2_1);
}

// ---------------------------------------------------------------------------
// Document end.

TEST(Traq2DocEnd, DuplexLoadDefaultAndJobEnd) {
    struct Case {
        const char* name;
        std::function<void(Harness&)> setup;
        uint32_t abort;
        std::string inner;  // between the remote entry and exit
        Gen kind = Gen::kTraq2;
    } cases[] = {
        {"duplex end, rule 1",
         [](Harness& h) { h.SetEx(kExDuplex); h.SetEx(kExDuplexEnd); h.info.duplex_mode = 1; }, 0,
         "'DP' 02 00 00 00 'LD' 00 00"},
        {"duplex end, rule 2", [](Harness& h) { h.SetEx(kExDuplex); h.SetEx(kExDuplexEnd); h.info.duplex_mode = 2; }, 0,
         "'DP' 02 00 00 00 'LD' 00 00"},
        {"duplex kept open: neither DP nor LD", [](Harness& h) { h.SetEx(kExDuplex); h.info.duplex_mode = 1; }, 0, ""},
        {"duplex after an aborted page", [](Harness& h) { h.SetEx(kExDuplex); h.info.duplex_mode = 1; }, 1,
         "'DP' 02 00 00 00 'LD' 00 00"},
        {"alternative duplex", [](Harness& h) { h.SetEx(kExDuplexAlt); h.info.duplex_mode = 1; }, 0,
         "'DP' 02 00 00 00 'LD' 00 00"},
        {"no load default", [](Harness& h) { h.SetEx(kExNoLoadDefault); }, 0, ""},
        {"job end", [](Harness& h) { h.info.remote_flags2 = 0x20; }, 0, "'LD' 00 00 'JE' 01 00 00"},
        {"no job end in job-information mode", [](Harness& h) { h.info.remote_flags2 = 0x20; h.SetEx(kExJobInfoMode); }, 0,
         "'LD' 00 00"},
        {"ink rest on sheets", [](Harness& h) { h.info.remote_flags2 = 0x8; }, 0, "'IR' 02 00 00 02 'LD' 00 00"},
        // The variant holds LD back only while a duplex job stays open.
        {"variant: load default", [](Harness&) {}, 0, "'LD' 00 00", Gen::kTraq2_1},
        {"variant: duplex kept open", [](Harness& h) { h.SetEx(kExDuplex); }, 0, "", Gen::kTraq2_1},
        {"variant: duplex end", [](Harness& h) { h.SetEx(kExDuplex); h.SetEx(kExDuplexEnd); }, 0, "'LD' 00 00",
         Gen::kTraq2_1},
        {"variant: duplex after an aborted page", [](Harness& h) { h.SetEx(kExDuplex); }, 1, "'LD' 00 00",
         Gen::kTraq2_1},
    };
    for (const Case& c : cases) {
        Harness h;
        h.info.remote_flags2 = 0x400;
        c.setup(h);
        h.info.remote_flags2 |= 0x400;
        CMWCmd& g = MakeJob(h, c.kind);
        g.SetPageAbort(c.abort);
        g.SendEndDocCmd();
        EXPECT_EQ(Sec(h.Check(), 1), H("1B 40 " + Remote(c.inner))) << c.name;
    }
}

TEST(Traq2DocEnd, ThreeZeroBytesAfterRemoteExit) {
    Harness h;
    h.info.remote_flags2 = 0x2000;
    MakeJob(h, Gen::kTraq2).SendEndDocCmd();
    const SpoolCheck c = h.Check();
    EXPECT_EQ(Sec(c, 1), H("1B 40 " + Remote("'LD' 00 00") + " 00 00 00"));
    // The document end flushes: the last call carries the closing marker.
    EXPECT_EQ(hex_of(h.recorder.calls().back()), "00 00 02 00");
}

TEST(Traq2, VariantVerticalPosition) {
    Harness h;
    MakeJob(h, Gen::kTraq2_1).SendVPosCmd(0x10203);
    EXPECT_EQ(h.Hex(), H("1B 28 76 04 00 03 02 01 00"));
}

TEST(Traq2, Variant1JobRecord) {
    struct Case {
        const char* name;
        std::function<void(Harness&)> setup;
        std::string items;
    } cases[] = {
        {"no job data", [](Harness&) {}, "01 01 01"},
        {"full job data",
         [](Harness& h) {
             h.withJobData = true;
             h.jobData = tagJOBDATA_6{};
             h.jobData.version = 6;
             h.jobData.lpszDocName = "D"; h.jobData.DocNameSize = 1;
             h.jobData.lpszOwnerName = "O"; h.jobData.OwnerNameSize = 1;
             h.jobData.lpszHostName = "H"; h.jobData.HostNameSize = 1; h.jobData.HostNameType = 1; h.jobData.dwJobID = 9;
             h.jobData.lpszVenderInfo = "V"; h.jobData.VenderInfoSize = 1;
             h.jobData.lpszOsVerInfo = "S"; h.jobData.OsVerInfoSize = 1;
             h.jobData.lpszMediaInfo = "M"; h.jobData.MediaInfoSize = 1;
             h.jobData.DisablePrinterErrorCheck = 1;
         },
         "01 01 01 08 01 'D' 20 06 01 09 00 00 00 'H' 0C 01 'O' 0D 01 'H' 18 01 'V' 17 01 'S' 19 01 'M' 2B 01 01"},
        {"owner without a host",
         [](Harness& h) {
             h.withJobData = true;
             h.jobData = tagJOBDATA_6{};
             h.jobData.version = 2;
             h.jobData.lpszOwnerName = "O"; h.jobData.OwnerNameSize = 1; h.jobData.HostNameType = -1;
         },
         "01 01 01 0C 01 'O'"},
        {"job-information mode",
         [](Harness& h) {
             h.withJobData = true;
             h.jobData = tagJOBDATA_6{};
             h.jobData.version = 6;
             h.jobData.lpszMediaInfo = "MEDIAINFO-LONG"; h.jobData.MediaInfoSize = 14;
             h.SetEx(kExJobInfoMode);
         },
         "19 0A 'MEDIAINFO-'"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.info.remote_flags = 0x8000;
        c.setup(h);
        MakeJob(h, Gen::kTraq2_2).SendStartDoc_RemoteCmd();
        const std::vector<uint8_t> items = bytes_of(c.items);
        std::vector<uint8_t> jx = bytes_of("'JX' 00 00 00 00");
        jx[2] = static_cast<uint8_t>(items.size() + 2);
        jx.insert(jx.end(), items.begin(), items.end());
        const std::string data = h.Hex();
        EXPECT_EQ(data.substr(0, H(kEnter).size() + 1 + hex_of(jx).size()), H(kEnter) + " " + hex_of(jx)) << c.name;
    }
}

TEST(Traq2, ImageTypeAndTrimBannerOfTheVariantBlock) {
    Harness h;
    h.info.remote_flags = 0x8001;
    h.info.image_type = 0x105;
    h.info.trim_banner_value = 0xABCD;
    h.info.paper_path = 2;
    h.info.paper_path_value = 3;
    h.SetEx(kExRollMedia);
    h.SetEx(kExCutLine);
    h.SetEx(kExAutoCut);
    h.info.sn_table[0] = {0x30, 4};
    MakeJob(h, Gen::kTraq2_2).SendStartDoc_RemoteCmd();
    EXPECT_EQ(h.Hex(), H(Remote("'JX' 05 00 00 00 01 01 01 'MI' 04 00 00 01 FF FF 'SN' 03 00 00 30 04 'EX' 06 00 00 00 00 00 05 01"
                                " 'FP' 03 00 00 AB CD 'EX' 06 00 00 00 00 00 14 01 'AC' 02 00 00 01 'AC' 02 00 00 40"
                                " 'PP' 03 00 00 02 03 'EX' 07 00 00 00 00 00 4D 05 FF")));
}

// ---------------------------------------------------------------------------
// Whatever the print mode, media options and page values, every generator
// writes a well-formed job.

TEST(Traq2Random, EveryJobStreamIsWellFormed) {
    std::mt19937 rng(11);  // 32-bit draws
    auto bit = [&](int oneIn) { return rng() % static_cast<unsigned>(oneIn) == 0; };
    const std::string longName(700, 'x');
    for (int round = 0; round < 400; ++round) {
        Harness h;
        tagPRTINFOSTRUCT& in = h.info;
        in.remote_flags = static_cast<uint16_t>(rng());
        in.remote_flags2 = static_cast<uint16_t>(rng());
        in.remote_flags3 = rng();
        if (bit(2)) in.remote_flags &= static_cast<uint16_t>(~0x400u);  // let the remote block run
        for (auto& f : in.ex_option_flags) f = bit(3);
        for (auto& f : in.mw_type_flags) f = bit(2);
        in.mono_mode = static_cast<int16_t>(static_cast<int>(rng() % 5) - 2);
        in.top_margin_adjust = static_cast<int32_t>(rng() % 3) - 1;
        in.top_margin_offset_on = bit(2);
        in.top_margin_offset = static_cast<int32_t>(rng() % 4000) - 2000;
        in.sn04_kind = static_cast<int32_t>(rng());
        in.sn04_count = static_cast<uint16_t>(bit(4) ? 0xFFFF : rng() % 130);
        in.custom_mode_count = static_cast<int32_t>(rng() % 12) - 2;
        in.head_feed_lines = static_cast<int32_t>(rng() % 2000) - 200;
        in.data_proc_setting[0] = static_cast<uint8_t>(rng());
        in.double_hres = bit(4);
        in.hres_multiplier = static_cast<int16_t>(rng() % 5);
        in.page_length_extra = static_cast<int32_t>(rng() % 500);
        in.page_gap = static_cast<int32_t>(rng() % 500);
        in.trim_banner_value = bit(2) ? 0xFFFFFFFFu : rng();
        in.paper_path = static_cast<uint16_t>(bit(2) ? 0xFFFF : rng());
        in.ink_id = static_cast<uint16_t>(bit(2) ? 0xFFFF : rng());
        in.image_type = static_cast<uint16_t>(rng());
        in.plane_count = static_cast<int32_t>(rng() % 20);
        for (auto& k : in.plane_sml_index) k = static_cast<uint16_t>(rng() % 8);
        auto word = [&]() { return static_cast<uint16_t>(bit(3) ? 0xFFFF : rng() % 4); };
        in.paper_thickness_mode = word();
        in.duplex_mode = word();
        in.media_paper_id_on = word();
        for (auto& w : in.jx_items) w = word();
        for (auto& w : in.sn_modes) w = word();
        in.sn06_mode = word();
        in.sn07_mode = word();
        in.sn09_mode = word();
        for (auto& w : in.dry_time_modes) w = word();
        in.user_media_number_on = word();
        in.paper_dimension_mode = word();
        in.paper_dimension_at_end = word();
        in.page_length_on = word();
        in.page_length_reset = word();
        in.paper_thickness_default = word();
        in.paper_thickness_high = word();
        static const uint16_t codes[] = {0, 1, 4, 5, 6, 7, 8, 9, 0x40, 0x41, 0x42, 0x82, 0x84, 0x85, 0x89, 0x8F, 0x30};
        auto table = [&](PrtInfoCodeValue* t) {
            const int n = static_cast<int>(rng() % 18);
            for (int i = 0; i < kPrtInfoTableEntries; ++i)
                t[i] = i < n ? PrtInfoCodeValue{codes[rng() % 17], static_cast<uint16_t>(rng())} : PrtInfoCodeValue{0xFFFF, 0xFFFF};
        };
        table(in.sn_table);
        table(in.dry_time_table);
        table(in.user_setting_table);
        h.mediaRecord.field = rng();
        h.mediaRecord.feeding_offset = static_cast<int16_t>(rng());
        h.mediaRecord.path_delay_time = static_cast<int16_t>(rng());
        h.mediaRecord.paper_thickness = static_cast<uint16_t>(rng());
        h.mediaRecord.vacuum_intensity = static_cast<uint16_t>(rng());
        h.mediaRecord.platen_gap_mode = static_cast<uint16_t>(rng() % 9);
        h.mediaRecord.top_margin = static_cast<uint16_t>(rng() % 400);
        h.mediaRecord.user_media_number = static_cast<int32_t>(rng() % 3);
        h.withMedia = bit(2);
        h.withCut = bit(2);
        h.cut = {static_cast<uint16_t>(rng() % 2), static_cast<uint16_t>(rng() % 5), static_cast<int32_t>(rng() % 1000),
                 static_cast<int32_t>(rng() % 1000)};
        h.withTrim = bit(2);
        h.trim.src_t4base_parea_ex = {1000, static_cast<int32_t>(rng() % 8000)};
        if (bit(2)) {
            SetJobDataFull(h, longName, rng());
        }
        static const int32_t vres[] = {360, 540, 600, 720, 1440, 2880};
        h.job.prt_resolution = {vres[rng() % 6], vres[rng() % 6]};
        h.job.src_resolution = {static_cast<int32_t>(rng() % 3) * 300, static_cast<int32_t>(rng() % 3) * 300};
        h.job.bin_ID = static_cast<int32_t>(rng() % 9);
        const Gen kind = static_cast<Gen>(1 + rng() % 3);
        CMWCmd& g = h.Make(kind);
        g.SetMarginValue(static_cast<uint16_t>(rng()), static_cast<uint16_t>(rng()));
        const uint32_t d0 = static_cast<uint32_t>(rng()), d1 = static_cast<uint32_t>(rng()), d2 = static_cast<uint32_t>(rng());
        const std::vector<tagSMLDATA> dots(5, tagSMLDATA{{d0, d1, d2}});
        g.SendStartDocCmd(static_cast<int>(rng() % 2));
        const uint32_t pages = 1 + rng() % 3;
        for (uint32_t p = 1; p <= pages; ++p) {
            g.SendStartPageCmd(static_cast<int>(rng() % 400) - 50);
            g.SetPageValues(p, rng() % 20000, bit(3) ? 0 : rng() % 30000, rng() % 100);
            g.SetEmptyPage(bit(2));
            g.SetPageAbort(bit(4));
            g.SendEndPageCmd();
        }
        g.SetDotCount(dots.data(), static_cast<int>(rng() % 61), 0);  // at most the 5 entries
        g.SetPrintedLength(rng());
        g.SendEndDocCmd();
        const SpoolCheck c = h.Check();
        ASSERT_TRUE(c.ok) << "round " << round << ": " << c.error;
    }
}

// Page ends whose length comes from the feed at page start, the extra feed,
// the page-length extra and the page gap.
TEST(Traq2PageEnd, LengthFromTheFeed) {
    struct Case {
        const char* name;
        Gen kind;
        std::function<void(Harness&)> setup;
        uint32_t page, feedStart, feed, feedExtra, abort, empty;
        std::string bytes;
        uint32_t reported;
    } cases[] = {
        {"sheet, cut after the job: (F + Fx - F0) / y + L - A", Gen::kTraq2,
         [](Harness& h) { h.SetEx(kExCutAfterJob); }, 1, 1000, 3400, 200, 0, 0,
         "1B 28 53 08 00 C0 12 00 00 17 0B 00 00 0C", 0},
        {"roll with a trim record: (F + Fx) / y alone", Gen::kTraq2,
         [](Harness& h) {
             h.SetEx(kExCutAfterJob); h.SetEx(kExRollMedia); h.SetEx(kExForceMode2); h.withTrim = true;
         },
         1, 1000, 3400, 200, 0, 1, "1B 28 53 08 00 C0 12 00 00 10 0E 00 00 0C", 0},
        {"roll: the pages actually printed, with extra and gap", Gen::kTraq2,
         [](Harness& h) { h.SetEx(kExRollMedia); h.info.page_length_extra = 10; h.info.page_gap = 100; },
         3, 0, 6960, 0, 0, 0, "1B 28 53 08 00 C0 12 00 00 2C 1C 00 00 0C", 2},
        {"no top-margin adjustment: the paper length", Gen::kTraq2,
         [](Harness& h) { h.SetEx(kExCutAfterJob); h.info.top_margin_adjust = 0; }, 1, 1000, 3400, 200, 0, 0,
         "1B 28 53 08 00 C0 12 00 00 20 1C 00 00 0C", 0},
        {"bin 7: the paper length", Gen::kTraq2,
         [](Harness& h) { h.SetEx(kExCutAfterJob); h.job.bin_ID = 7; }, 1, 1000, 3400, 200, 0, 0,
         "1B 28 53 08 00 C0 12 00 00 20 1C 00 00 0C", 0},
        {"variant: aborted sheet takes the feed since page start", Gen::kTraq2_1, [](Harness&) {}, 1, 1000, 3400,
         200, 1, 0, "1B 28 53 08 00 C0 12 00 00 17 0B 00 00 0C", 0},
    };
    for (const Case& c : cases) {
        Harness h;
        h.info.remote_flags = 0x8000;
        h.info.paper_dimension_at_end = 1;
        c.setup(h);
        CMWCmd& g = MakeJob(h, c.kind);
        g.SetPageValues(c.page, c.feedStart, c.feed, c.feedExtra);
        g.SetEmptyPage(c.empty);
        g.SetPageAbort(c.abort);
        g.SendEndPageCmd();
        const SpoolCheck s = h.Check();
        EXPECT_EQ(s.codes(), (std::vector<uint16_t>{3, 4})) << c.name;
        EXPECT_EQ(Sec(s, 3), H(c.bytes)) << c.name;
        EXPECT_EQ(g.PagesReported(), c.reported) << c.name;
    }
    // Older set on a roll: the blank pages fed take the extra into the page unit.
    Harness h;
    h.info.remote_flags = 0x4020;
    h.info.page_length_extra = 10;
    h.SetEx(kExRollMedia);
    h.SetEx(kExLineFeedFirst);
    CMWCmd& g = MakeJob(h, Gen::kTraq2);
    g.SetPageValues(2, 0, 100, 0);
    g.SendEndPageCmd();
    EXPECT_EQ(Sec(h.Check(), 3), H("0C 0A 0C"));
}

TEST(Traq2DocStart, EveryHeaderStepInOrder) {
    Harness h;
    h.info.remote_flags = static_cast<uint16_t>(0x9000 | 0x400);  // no remote-mode block
    h.info.remote_flags2 = 0x4;
    h.info.remote_flags3 = 0x2 | (1u << 22);
    h.info.data_proc_setting[0] = 3;
    h.info.double_hres = 1;
    h.info.page_length_on = 1;
    h.info.paper_dimension_mode = 1;
    h.info.mono_mode = 2;
    h.info.page_length_extra = 20;
    h.SetMedia(OVCG_MO_OVERPRINT);
    h.mediaRecord.num_overprint = 4;
    h.SetEx(kExUserSetting0On);
    h.SetEx(kExTrimBanner);
    h.withTrim = true;
    h.trim.src_t4base_parea_ex = {1, 3000};
    MakeJob(h, Gen::kTraq2).SendStartDocCmd(0);
    const std::vector<uint8_t> s = h.Check().section(9);
    ASSERT_GT(s.size(), 16384u);
    EXPECT_EQ(std::count(s.begin(), s.begin() + 16384, 0x11), 16384);
    EXPECT_EQ(hex_of(s.data() + 16384, s.size() - 16384),
              H(kD4 + " " + kReset2 + " 1B 28 41 09 00 03 FF FF FF FF FF FF FF FF " + kGraphics +
                " 1B 28 55 05 00 02 02 01 A0 05 1B 55 00 1B 28 43 04 00 38 1C 00 00"
                " 1B 28 63 08 00 4A 00 00 00 B4 0E 00 00 1B 28 53 08 00 C0 12 00 00 38 1C 00 00"
                " 1B 28 4B 02 00 00 02 1B 28 45 02 00 00 04"));
}

// The variants take the trim record for trim_banner only, and the bottom
// margin as the least top.
TEST(Traq2DocStart, VariantPageFormat) {
    struct Case {
        const char* name;
        std::function<void(Harness&)> setup;
        std::string format;
    } cases[] = {
        {"force_mode2 keeps the extended area",
         [](Harness& h) { h.SetEx(kExForceMode2); }, "1B 28 63 08 00 6E 00 00 00 34 1C 00 00"},
        {"trim_banner takes the trim record",
         [](Harness& h) { h.SetEx(kExTrimBanner); }, "1B 28 63 08 00 6E 00 00 00 3C 05 00 00"},
        {"a small bottom margin leaves 35/300 inch",
         [](Harness& h) { h.job.src_margin.y = 10; }, "1B 28 63 08 00 4A 00 00 00 C8 1B 00 00"},
    };
    for (const Case& c : cases) {
        Harness h;
        h.SetEx(kExUserSetting0On);
        h.withTrim = true;
        h.trim.src_t4base_parea_ex = {1, 1000};
        c.setup(h);
        MakeJob(h, Gen::kTraq2_2).SendStartDocCmd(1);
        EXPECT_EQ(Sec(h.Check(), 9), H(kUnit720 + " 1B 55 00 1B 28 43 04 00 20 1C 00 00 " + c.format)) << c.name;
    }
}

TEST(Traq2DocEnd, PredictionDuplexAndBlanksInOrder) {
    Harness h;
    h.info.remote_flags2 = 0x8 | 0x400 | 0x20 | 0x2000;
    h.info.remote_flags3 = 1u << 27;
    JxOnlyItems(h, {0, 10, 11, 12});
    h.info.plane_count = 2;
    h.info.plane_sml_index[0] = 2;
    h.info.plane_sml_index[1] = 0;
    h.info.dot_count_scale = -2;
    h.info.duplex_mode = 2;
    h.SetEx(kExDuplex);
    h.SetEx(kExDuplexEnd);
    CMWCmd& g = MakeJob(h, Gen::kTraq2);
    const tagSMLDATA table[2] = {{{1, 2, 3}}, {{0x10, 0x20, 0x30}}};
    g.SetDotCount(table, 24, 0);
    g.SetPageValues(4, 0, 100, 0);
    g.SetPrintedLength(0x10203);
    g.SendEndDocCmd();
    EXPECT_EQ(Sec(h.Check(), 1),
              H("1B 40 " +
                Remote("'IR' 02 00 00 02 'JX' 24 00 00 00 10 02 04 00 21 18 40 00 00 00 80 00 00 00 C0 00 00 00"
                       " 00 00 00 00 00 00 00 00 00 00 00 00 29 02 03 02 'DP' 02 00 00 00 'LD' 00 00"
                       " 'JX' 05 00 00 00 01 01 02") +
                " 00 00 00"));
}

// The page count of a prediction record is the pages since the last report:
// the record restarts the reported count, so a second record counts only the
// pages reported after the first.
TEST(Traq2DocEnd, PredictionRestartsTheReportedCount) {
    Harness h;
    h.info.remote_flags = 0x8000;
    h.SetEx(kExCutAfterJob);
    JxOnlyItems(h, {10});
    CMWCmd& g = MakeJob(h, Gen::kTraq2);
    auto send = [&](const std::string& text) {
        const std::vector<uint8_t> b = bytes_of(text);
        h.spooler->SendData(reinterpret_cast<const char*>(b.data()), static_cast<unsigned>(b.size()));
    };
    auto prediction = [&] {
        h.Clear();
        send(kEnter);
        g.SendJXPredictionInfoCmd();
        send(kExit);
        return h.Hex();
    };
    Page(g, 1, 0);  // nothing fed on a cut-after-job sheet: reported
    Page(g, 2, 0);
    ASSERT_EQ(g.PagesReported(), 2u);
    g.SetPageValues(5, 0, 100, 0);
    EXPECT_EQ(prediction(), H(Remote("'JX' 06 00 00 00 10 02 03 00")));  // 5 - 2
    EXPECT_EQ(g.PagesReported(), 0u);
    Page(g, 6, 0);
    ASSERT_EQ(g.PagesReported(), 1u);
    EXPECT_EQ(prediction(), H(Remote("'JX' 06 00 00 00 10 02 05 00")));  // 6 - 1
}

TEST(Traq2, SpoolerFailureLeavesThePageEnd) {
    Harness h;
    h.recorder.FailCall(0);
    CMWCmd& g = MakeJob(h, Gen::kTraq2);
    EXPECT_THROW(g.SendEndPageCmd(), const char*);
}

}  // namespace
}  // namespace ovcg::test
