// Level-3 jobs of the default model through the job interface: every stream
// validates, every image object decodes (12-bit JPEG by the test decoder,
// baseline JPEG by libjpeg without a warning, RHV2 by the library's
// decoder), and the objects painted at their places rebuild the page that a
// literal model derives from the bands: exactly for RHV2, within the
// quantisation error for JPEG.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "level3_harness.h"
#include "support/model_links.h"

namespace ovcg_test::l3 {
namespace {

// Smooth shading for JPEG pages: the tables' error stays small.
uint32_t Smooth(int x, int y, unsigned k) {
    return uint32_t(std::lround(128 + 90 * std::sin(x / 9.0 + k) * std::cos(y / 7.0 - k)));
}

struct Config {
    const char* name;
    uint16_t media;  // the model gives it the encoder and record version
    int src_format;
    int prt_format;
    bool flip_h, flip_v, rotate, composite, defer;
    uint32_t frame;
};

void PrintTo(const Config& c, std::ostream* os) { *os << c.name; }

// Media 0: JPEG with identification data (records 1), 1: RHV2 (records 2),
// 2: JPEG (records 1), 3: JPEG with identification data (records 2),
// 4: RHV2 (records 1).
const Config kConfigs[] = {
    {"plus_rgbx", 0, kRgbx, 1, false, false, false, false, false, 0},
    {"plus_bgrx_flips", 3, kBgrx, 1, true, true, false, false, false, 0},
    {"plus_gray_source", 0, kGray, 1, false, false, false, false, false, 0},
    {"plus_rgb_rotated", 3, kRgb, 1, false, false, true, false, false, 0},
    {"plus_16bit_frame", 0, kRgbx16, 1, false, false, false, false, false, 3},
    {"jpeg_rgbx_composite", 2, kRgbx, 1, false, false, false, true, false, 0},
    {"jpeg_gray_job", 2, kBgrx, 0, false, true, false, false, false, 0},
    {"jpeg_rotated_flipped", 2, kRgbx, 1, true, false, true, false, false, 2},
    {"jpeg_deferred", 2, kRgbx, 1, false, false, false, false, true, 0},
    {"rhv2_rgbx", 1, kRgbx, 1, false, false, false, false, false, 0},
    {"rhv2_bgrx_frame", 4, kBgrx, 1, false, false, false, false, false, 4},
    {"rhv2_gray_job", 1, kRgbx, 0, true, false, false, false, false, 0},
    {"rhv2_gray_source", 4, kGray, 1, false, true, false, false, false, 0},
    {"rhv2_rotated", 1, kBgrx, 1, false, true, true, false, false, 0},
    {"rhv2_16bit_deferred", 4, kRgbx16, 1, true, false, false, false, true, 0},
    {"rhv2_composite_rotated", 1, kRgbx, 1, false, false, true, true, false, 1},
};

class Level3Pages : public ::testing::TestWithParam<Config> {};

// Every call of the job returned 0 and the stream validates: "" or what failed.
std::string RanClean(const JobResult& r, size_t pages) {
    std::string out;
    if (r.init_job != 0) out += "init_job " + std::to_string(r.init_job) + "; ";
    for (const int32_t v : r.band_out)
        if (v != 0) out += "band_out " + std::to_string(v) + "; ";
    if (r.end_page != std::vector<int32_t>(pages, 0)) out += "end_page; ";
    if (r.destroy != 0) out += "destroy " + std::to_string(r.destroy) + "; ";
    if (!r.check.ok) out += "stream: " + r.check.error;
    return out;
}

// Random pages in page order: bands of 1 to 40 rows with gaps, random clips,
// the frame around the image.
std::vector<Page> RandomPages(const JobSpec& s, const Config& c, std::mt19937& rng, bool smooth) {
    std::vector<Page> pages;
    std::uniform_int_distribution<int> byte(0, 255);
    const auto noise = [&](int, int, unsigned k) -> uint32_t {
        return c.src_format == kRgbx16 ? uint32_t(byte(rng)) * 257u + uint32_t(k) : uint32_t(byte(rng));
    };
    const auto shade = [&](int x, int y, unsigned k) -> uint32_t {
        const uint32_t v = Smooth(x, y, k);
        return c.src_format == kRgbx16 ? v * 257u + (v & 0x7F) : v;
    };
    for (int p = 0; p < 2; ++p) {
        Page page;
        const uint32_t f = c.frame, w = s.width + 2 * f;
        uint32_t top = uint32_t(rng() % 6);
        for (int n = 0; top < s.length; ++n) {
            const uint32_t rows = 1 + rng() % 40;
            // The first band holds the frame's rows above the page.
            const uint32_t bandTop = n == 0 ? 0 : top + f;
            const uint32_t bandRows = n == 0 ? rows + f : rows;
            tagRECT clip{0, 0, w, bandRows};
            if (rng() % 3 != 0) {
                clip.left = rng() % (w / 3);
                clip.right = rng() % 2 ? w : clip.left + 1 + rng() % (w - clip.left);
                clip.top = rng() % bandRows;
                clip.bottom = clip.top + 1 + rng() % (bandRows - clip.top);
            }
            page.bands.push_back(smooth ? MakeBand(s, bandTop, bandRows, w, clip, f, shade)
                                        : MakeBand(s, bandTop, bandRows, w, clip, f, noise));
            top += rows + (rng() % 4 == 0 ? rng() % 5 : 0);
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

TEST_P(Level3Pages, ObjectsRebuildThePage) {
    const Config& c = GetParam();
    const bool jpeg = EncoderOf(c.media) != 1;
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed * 7919 + c.media);
        JobSpec s;
        s.media = c.media;
        s.src_format = c.src_format;
        s.prt_format = c.prt_format;
        s.flip_h = c.flip_h, s.flip_v = c.flip_v, s.rotate = c.rotate;
        s.composite = c.composite;
        s.cut_after = c.defer;
        s.width = 24 + rng() % 70;
        s.length = 20 + rng() % 90;
        const std::vector<Page> pages = RandomPages(s, c, rng, jpeg);
        RecordingHxrEngine hxr;
        const JobResult r = RunJob(s, pages, hxr);
        ASSERT_EQ(RanClean(r, pages.size()), "");
        EXPECT_EQ(r.init_page, std::vector<int32_t>(pages.size(), 0));
        const Level3Job job = ParseLevel3Job(r.data());
        ASSERT_TRUE(job.ok) << job.error;
        EXPECT_EQ(job.qlty, 1u);
        // Version 2 of the records has no slut record.
        if (model_level3_modes(c.media).records != 2) {
            EXPECT_EQ(job.slut_data, hxr.config.slut);
        }
        double mean = 0;
        // JPEG: the quantisation error of the tables on smooth shading, the
        // rings at the windows' edges included (at most 10 levels measured).
        EXPECT_EQ(CompareWithObjects(job, ExpectedPages(s, pages), jpeg ? 16 : 0, &mean), "");
        if (jpeg) {
            EXPECT_LT(mean, 1.5);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Configs, Level3Pages, ::testing::ValuesIn(kConfigs),
                         [](const auto& info) { return std::string(info.param.name); });

// Bands of 1 to 9 rows down the page (level 2: of 2 rows without gaps, as
// the front end sends them), every other one clipped; the first `fed` rows
// of the page at most.
std::vector<Page> PlainPages(const JobSpec& s, size_t count, uint32_t (*fill)(int, int, unsigned),
                             uint32_t fed = ~0u) {
    std::vector<Page> pages(count);
    for (Page& page : pages)
        for (uint32_t top = 0, n = 0; top < std::min(s.length, fed); ++n) {
            const uint32_t rows = s.level2 ? 2 : 1 + (top * 7 + n) % 9;
            const tagRECT clip = n % 2 ? tagRECT{2, 0, s.width - 3, rows} : tagRECT{0, 0, s.width, rows};
            page.bands.push_back(MakeBand(s, top, rows, s.width, clip, 0, fill));
            top += rows + (s.level2 ? 0 : n % 3);
        }
    return pages;
}

uint32_t Noise(int x, int y, unsigned k) { return uint32_t(x * 131 + y * 71 + k * 29 + (x * y) % 17) & 0xFF; }

struct RunCase {
    const char* name;
    JobSpec recipe;
    size_t pages;
    int abortPage;  // -1: none
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

JobSpec Recipe(uint16_t media, void (*tweak)(JobSpec&) = nullptr) {
    JobSpec s;
    s.media = media;
    if (tweak) tweak(s);
    return s;
}

const RunCase kRuns[] = {
    // A roll whose caller's pages run on as one page.
    {"continuous_roll_jpeg", Recipe(0, [](JobSpec& s) { s.continuous = true; }), 3, -1},
    {"continuous_roll_rhv2", Recipe(1, [](JobSpec& s) { s.continuous = true; }), 2, -1},
    // Empty-page mode (media 2 lets jobs use object attributes): the gaps
    // and the page end go out as white rows.
    {"empty_page_gray_source", Recipe(2, [](JobSpec& s) { s.empty_page = true, s.src_format = kGray; }), 2, -1},
    {"empty_page_rotated", Recipe(2, [](JobSpec& s) { s.empty_page = true, s.rotate = true; }), 1, -1},
    // An aborted page between two pages; its held lines are dropped.
    {"aborted_middle_page", Recipe(4), 3, 1},
    {"roll_banner", Recipe(3, [](JobSpec& s) { s.roll = true; }), 2, -1},
};

class Level3Runs : public ::testing::TestWithParam<RunCase> {};

TEST_P(Level3Runs, ObjectsRebuildThePage) {
    const RunCase& c = GetParam();
    const bool jpeg = EncoderOf(c.recipe.media) != 1;
    std::vector<Page> pages = PlainPages(c.recipe, c.pages, jpeg ? Smooth : Noise);
    if (c.abortPage >= 0) pages[size_t(c.abortPage)].abort = true;
    RecordingHxrEngine hxr;
    const JobResult r = RunJob(c.recipe, pages, hxr);
    ASSERT_EQ(RanClean(r, pages.size()), "");
    const Level3Job job = ParseLevel3Job(r.data());
    ASSERT_TRUE(job.ok) << job.error;
    const std::vector<Expected> want = ExpectedPages(c.recipe, pages, r.page_length_extra, r.page_gap);
    EXPECT_EQ(CompareWithObjects(job, want, jpeg ? 16 : 0), "");
    if (c.recipe.continuous) {
        ASSERT_GT(r.page_gap, 0);  // the model's roll has a gap between pages
        EXPECT_EQ(job.pages.size(), 1u);
    }
    if (c.recipe.empty_page) {
        // Every row of the page was sent: the bands and white rows between.
        Level3Canvas canvas(want[0].width, want[0].height, want[0].channels, 255);
        for (const Level3Object& o : job.pages[0].objects) {
            DecodedObject d;
            ASSERT_TRUE(DecodeLevel3Object(o, d, nullptr));
            ASSERT_TRUE(canvas.Paint(o, d));
        }
        EXPECT_EQ(std::count(canvas.painted.begin(), canvas.painted.end(), 0), 0);
    }
    for (size_t p = 0; p < job.pages.size() && !c.recipe.continuous; ++p) {
        // An aborted page ends with a term record that does not eject.
        EXPECT_EQ(job.pages[p].end, int(p) == c.abortPage ? "term" : "endp");
        EXPECT_EQ(job.pages[p].eject, int(p) == c.abortPage || c.recipe.roll ? 0 : 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, Level3Runs, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PageLanguageJob, RepeatedPageSendsOnlyItsMarkers) {
    JobSpec s = Recipe(0, [](JobSpec& j) { j.page_language = true; });
    RecordingHxrEngine hxr;
    const JobResult r = RunJob(s, PlainPages(s, 2, Smooth), hxr);
    ASSERT_EQ(RanClean(r, 2), "");
    EXPECT_EQ(r.check.codes(), (std::vector<uint16_t>{9, 10, 11, 12, 3, 4, 11, 12, 3, 4, 1, 2}));
    const std::vector<uint8_t> first = r.check.section(11, 0);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(r.check.section(11, 1), std::vector<uint8_t>{});  // same options: nothing
    const StreamCheck block = ValidateStream(first);
    EXPECT_EQ(block.names(StreamItemKind::kPageLanguage).front(), "GS re");
    EXPECT_EQ(block.count("GS cam"), 1u);
    EXPECT_EQ(hex_of(r.check.section(3, 0)), "0C");  // fed nothing, no line feed first: FF
    const std::vector<uint8_t> docStart = r.check.section(9);
    ASSERT_GE(docStart.size(), 10u);
    EXPECT_EQ(hex_of(docStart.data() + docStart.size() - 10, 10), "1B 28 52 05 00 00 50 41 47 45");
    const std::vector<uint8_t> docEnd = r.check.section(1);
    ASSERT_GE(docEnd.size(), 2u);
    EXPECT_EQ(hex_of(docEnd.data(), 2), "1B 01");
}

// Two source rows a printed row: each page is refused after its start, and
// the document's end follows its start.
TEST(PageLanguageJob, FourLinesACallAreRefusedAfterThePageStart) {
    JobSpec s = Recipe(0, [](JobSpec& j) { j.page_language = true, j.src_resolution = {600, 600}; });
    s.prt_resolution = {300, 300};
    RecordingHxrEngine hxr;
    const JobResult r = RunJob(s, PlainPages(s, 2, Smooth), hxr);
    EXPECT_EQ(r.init_page, (std::vector<int32_t>{-203, -203}));
    ASSERT_TRUE(r.check.ok && r.destroy == 0) << r.check.error;
    EXPECT_EQ(r.check.codes(), (std::vector<uint16_t>{9, 10, 11, 12, 11, 12, 1, 2}));
}

// A spool callback taking part of each piece gets the whole stream; one
// taking nothing, or claiming more than it was given, fails the calls that send.
TEST(Level3Job, SpoolCallbackTakingPartOfEachPiece) {
    JobSpec s = Recipe(1);  // RHV2
    RecordingHxrEngine hxr;
    const JobResult whole = RunJob(s, PlainPages(s, 1, Noise), hxr);
    ASSERT_EQ(RanClean(whole, 1), "");
    const std::pair<int32_t (*)(int32_t), int32_t> rows[] = {
        {[](int32_t n) { return (n + 1) / 2; }, 0}, {[](int32_t) { return 1; }, 0}, {[](int32_t n) { return n; }, 0},
        {[](int32_t) { return 0; }, -15},           {[](int32_t n) { return n + 1; }, -15}};
    for (const auto& [accept, code] : rows) {
        s.accept = accept;
        const JobResult got = RunJob(s, PlainPages(s, 1, Noise), hxr);
        EXPECT_EQ(got.init_page, std::vector<int32_t>{code});
        EXPECT_EQ(got.destroy, code);
        EXPECT_EQ(got.spool == whole.spool, code == 0) << got.spool.size() << " of " << whole.spool.size();
    }
}

// The spool callback failing at every send inside one step of a two-page
// job: the step's call reports it, with its level's code, and the stream
// holds the command sections each row lists (what the step's sends carried
// may be missing, and bytes buffered before it may go later); the next
// job's stream is the one a job gives that follows no failure. A job
// without a page sends its document end alone on level 3 and the page
// language, whose generator exists from the job's start.
TEST(JobInterfaceOutput, AFailedSendIsReportedByTheCallThatMadeIt) {
    using Step = JobSpec::Step;
    const auto level2 = [](JobSpec& j) { j.level2 = j.library_engine = true; };
    const auto pageLanguage = [](JobSpec& j) { j.page_language = true; };
    const struct {
        const char* name;
        JobSpec recipe;
        Step step;
        int32_t code;  // the step's first failure
        std::vector<uint16_t> markers;  // the escape codes of the stream
        size_t pages = 2;
        uint32_t fed = ~0u;  // rows fed a page
    } rows[] = {
        {"level 2 document start", Recipe(0, level2), Step::kPageStart, -15, {1, 2}},
        {"level 2 band", Recipe(0, level2), Step::kBand, -2339, {9, 10, 3, 4, 1, 2}},
        {"level 2 rows printed at the page end", Recipe(0, level2), Step::kPageEnd, -2339, {9, 10, 1, 2}, 2, 100},
        {"page language band", Recipe(0, pageLanguage), Step::kBand, 0, {9, 10, 11, 12, 3, 4, 11, 12, 3, 4, 1, 2}},
        {"page language page end", Recipe(0, pageLanguage), Step::kPageEnd, -15, {9, 10, 11, 12, 11, 12, 1, 2}},
        {"level 3 band", Recipe(1), Step::kBand, -203, {9, 10, 3, 4, 3, 4, 1, 2}},
        {"level 3 empty page's white rows", Recipe(2, [](JobSpec& j) { j.empty_page = true; }), Step::kPageEnd,
         -203, {9, 10, 1, 2}, 2, 20},
        {"level 3 document end", Recipe(2), Step::kJobEnd, -15, {9, 10, 3, 4, 3, 4}},
        {"level 2 job without a page", Recipe(0, level2), Step::kNone, 0, {}, 0},
        {"level 3 job without a page", Recipe(1), Step::kNone, 0, {1, 2}, 0},
        {"page language job without a page", Recipe(0, pageLanguage), Step::kNone, 0, {1, 2}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        JobSpec s = row.recipe;
        if (row.fed != ~0u) s.width = 600, s.length = 400;
        const std::vector<Page> pages = PlainPages(s, row.pages, Noise, row.fed);
        const auto run = [&pages](const JobSpec& j) {
            RecordingHxrEngine hxr;
            return RunJob(j, pages, hxr);
        };
        const JobResult clean = run(s);
        s.fail_in = row.step;
        const JobResult r = run(s);
        s.fail_in = Step::kNone;
        EXPECT_EQ(run(s).spool, clean.spool);
        const std::vector<int32_t> results = row.step == Step::kPageStart ? r.init_page
                                             : row.step == Step::kBand    ? r.band_out
                                             : row.step == Step::kPageEnd ? r.end_page
                                                                          : std::vector<int32_t>{r.destroy};
        const auto failed = std::find_if(results.begin(), results.end(), [](int32_t v) { return v != 0; });
        EXPECT_EQ(failed == results.end() ? 0 : *failed, row.code);
        ASSERT_TRUE(r.check.spool.ok) << r.check.spool.error;
        EXPECT_EQ(r.check.codes(), row.markers) << r.check.error;
        if (row.pages == 0) {
            EXPECT_EQ(r.spool.size(), row.markers.empty() ? 0u : 33u);
        }
    }
}

// A later page without bands is empty even though the page before printed:
// with cut_after_job on a sheet it only counts, no endp.
TEST(Level3Job, EmptyPageAfterAPrintedPageOnlyCounts) {
    JobSpec s = Recipe(4, [](JobSpec& j) { j.cut_after = true; });
    std::vector<Page> pages = PlainPages(s, 2, Noise);
    pages[1].bands.clear();
    RecordingHxrEngine hxr;
    const JobResult r = RunJob(s, pages, hxr);
    ASSERT_TRUE(r.check.ok) << r.check.error;
    const Level3Job job = ParseLevel3Job(r.data());
    ASSERT_TRUE(job.ok) << job.error;
    ASSERT_EQ(job.pages.size(), 2u);
    EXPECT_EQ(job.pages[0].end, "endp");
    EXPECT_EQ(job.pages[0].eject, 0);
    EXPECT_EQ(job.pages[1].end, "");
    EXPECT_TRUE(r.check.section(3, 1).empty());
}

}  // namespace
}  // namespace ovcg_test::l3
