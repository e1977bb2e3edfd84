// The exported entry points against the recording fake of the job interface:
// argument and state errors, the job framing around the engine's output,
// band collection, page and job ends, and every failure a caller can meet.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <tuple>

#include "frontend/raster_pipeline.h"
#include "frontend_fixture.h"

namespace ovcg_test {
namespace {

namespace fe = ovcg::frontend;

// ---- Initialisation ---------------------------------------------------------

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        ovcgRelease();
        CountingHeap::reset();
    }
    void TearDown() override {
        ovcgRelease();
        EXPECT_EQ(CountingHeap::live, 0);
        fe::ovcg_heap_set_extern_functions(nullptr, nullptr);
    }
};

TEST_F(Lifecycle, FailedInitialisationLeavesNoContext) {
    EXPECT_EQ(ovcgInitialize("", nullptr), OVCG_ERR_CALLBACKS);
    for (int slot = 1; slot <= 7; ++slot) {
        SCOPED_TRACE(slot);
        ovcg_callbacks cb = counting_callbacks();
        if (slot == 1) cb.allocate = nullptr;
        else if (slot == 2) cb.release = nullptr;
        else cb.reserved[slot - 3] = nullptr;
        EXPECT_EQ(ovcgInitialize("", &cb), OVCG_ERR_CALLBACKS);
        EXPECT_EQ(fe::context(), nullptr);
    }
    ovcg_callbacks cb = counting_callbacks();
    CountingHeap::fail_after = 0;
    EXPECT_EQ(ovcgInitialize("", &cb), OVCG_ERR_NO_MEMORY);
    EXPECT_EQ(fe::context(), nullptr);
    CountingHeap::fail_after = -1;
    cb.unused = nullptr;  // slot 0 is not looked at
    EXPECT_EQ(ovcgInitialize("any model", &cb), OVCG_OK);
    EXPECT_NE(fe::context(), nullptr);
}

TEST_F(Lifecycle, InitialisingTwiceReleasesTheFirstContext) {
    ovcg_callbacks cb = counting_callbacks();
    ASSERT_EQ(ovcgInitialize("", &cb), OVCG_OK);
    ASSERT_EQ(ovcgSetResource(1, "a"), OVCG_OK);
    ASSERT_EQ(ovcgInitialize("", &cb), OVCG_OK);
    EXPECT_EQ(fe::context()->resource_path, nullptr);
}

// A second allocator that knows its blocks and counts the ones it did not give.
struct OtherHeap {
    static inline std::set<void*> blocks;
    static inline long foreign = 0;
    static void* allocate(size_t size) { return *blocks.insert(std::malloc(size)).first; }
    static void release(void* p) { blocks.erase(p) ? std::free(p) : void(++foreign); }
};

// Initialised with A, a pipeline made, initialised with B: the first context
// and the pipeline, with a writer made on it after the change, go back to A;
// what is made after the change comes from B.
TEST_F(Lifecycle, BlocksGoBackToTheAllocatorThatGaveThem) {
    ovcg_callbacks a = counting_callbacks(), b = a;
    b.allocate = OtherHeap::allocate;
    b.release = OtherHeap::release;
    ASSERT_EQ(ovcgInitialize("", &a), OVCG_OK);
    ASSERT_EQ(ovcgSetResource(1, "a"), OVCG_OK);
    ovcg_raster_info info{};
    info.size = sizeof info;
    info.x_resolution = info.bytes_per_pixel = info.width = info.height = 8;
    info.offset_on = info.disc_on = 1;
    ovcg_raster_pipeline* pipeline = raster_helper_create_pipeline(&info);
    ASSERT_EQ(ovcgInitialize("", &b), OVCG_OK);
    const ovcg_raster_sink sink = {nullptr, [](void*, const uint8_t*, uint32_t, uint32_t, int32_t*) { return 0; }};
    ovcg_raster_writer* writer = nullptr;
    ASSERT_EQ(ovcg_raster_init(&writer, &sink, pipeline), 0);
    const size_t b_blocks = OtherHeap::blocks.size();
    ovcg_raster_free(writer);
    raster_helper_destroy_pipeline(pipeline);
    EXPECT_EQ(CountingHeap::live, 0);
    EXPECT_EQ(OtherHeap::blocks.size(), b_blocks);
    pipeline = raster_helper_create_pipeline(&info);
    EXPECT_GT(OtherHeap::blocks.size(), b_blocks);
    raster_helper_destroy_pipeline(pipeline);
    EXPECT_EQ(ovcgRelease(), OVCG_OK);
    EXPECT_TRUE(OtherHeap::blocks.empty());
    EXPECT_EQ(OtherHeap::foreign, 0);
}

TEST_F(Lifecycle, EntryPointsNeedAContext) {
    uint32_t n = 0, v = 0;
    const char* names[200];
    EXPECT_EQ(ovcgRelease(), OVCG_OK);
    EXPECT_EQ(ovcgSetResource(1, "x"), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgGetOptionList(&n, nullptr), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgGetChoiceList("Mode", &n, names), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgSetPrintOption("Mode", "CAD"), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgGetPageAttribute(0, &v), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgStartJob(Capture::output, "1"), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgStartPage(), OVCG_ERR_ARGUMENT);
    const uint8_t line[3] = {};
    EXPECT_EQ(ovcgRasterOut(line, 3, 0), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgEndPage(0), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgEndJob(), OVCG_ERR_ARGUMENT);
    uint32_t major = 0, minor = 7;
    ovcgGetVersion(&major, &minor);
    EXPECT_EQ(major, 1u);
    EXPECT_EQ(minor, 0u);
    ovcgGetVersion(nullptr, nullptr);
}

// ---- Options through the entry points --------------------------------------

using EntryPoints = FrontendTest;

TEST_F(EntryPoints, SetResource) {
    EXPECT_EQ(ovcgSetResource(0, "a"), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgSetResource(2, "a"), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgSetResource(1, nullptr), OVCG_ERR_ARGUMENT);
    EXPECT_STREQ(ctx().resource_path, "/models/test.res");
    CountingHeap::fail_after = CountingHeap::allocations;
    EXPECT_EQ(ovcgSetResource(1, "/other.res"), OVCG_ERR_NO_MEMORY);
    CountingHeap::fail_after = -1;
    EXPECT_STREQ(ctx().resource_path, "/models/test.res");
    EXPECT_EQ(ovcgSetResource(1, "/other.res"), OVCG_OK);
    EXPECT_STREQ(ctx().resource_path, "/other.res");
}

TEST_F(EntryPoints, OptionList) {
    uint32_t n = 0;
    EXPECT_EQ(ovcgGetOptionList(nullptr, nullptr), OVCG_ERR_ARGUMENT);
    ASSERT_EQ(ovcgGetOptionList(&n, nullptr), OVCG_OK);
    EXPECT_EQ(n, 8u);
    const char* names[9] = {};
    n = 7;
    EXPECT_EQ(ovcgGetOptionList(&n, names), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(names[0], nullptr);
    n = 9;
    ASSERT_EQ(ovcgGetOptionList(&n, names), OVCG_OK);
    EXPECT_EQ(n, 8u);
    const char* expected[] = {"MediaType", "ColorModel", "HighSpeed", "Mode",
                              "PageSize", "AutoCut", "BlackDensity", "ColorDensity"};
    for (int i = 0; i < 8; ++i) EXPECT_STREQ(names[i], expected[i]);
    EXPECT_EQ(names[8], nullptr);
}

TEST_F(EntryPoints, ChoiceLists) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"MediaType", 74}, {"ColorModel", 4},    {"HighSpeed", 2},     {"Mode", 5},
        {"PageSize", 148}, {"AutoCut", 4},       {"BlackDensity", 21}, {"ColorDensity", 21},
        {"media", 148},    {"MEDIATYPE", 74},    {"colormodel", 4},
    };
    for (auto [option, count] : cases) {
        SCOPED_TRACE(option);
        uint32_t n = 0;
        ASSERT_EQ(ovcgGetChoiceList(option, &n, nullptr), OVCG_OK);
        EXPECT_EQ(n, count);
        std::vector<const char*> names(count + 1, nullptr);
        n = count - 1;
        EXPECT_EQ(ovcgGetChoiceList(option, &n, names.data()), OVCG_ERR_ARGUMENT);
        n = count + 1;
        ASSERT_EQ(ovcgGetChoiceList(option, &n, names.data()), OVCG_OK);
        EXPECT_EQ(n, count);
        for (uint32_t i = 0; i < count; ++i) ASSERT_NE(names[i], nullptr);
        EXPECT_EQ(names[count], nullptr);
    }
    const char* names[8];
    uint32_t n = 8;
    ASSERT_EQ(ovcgGetChoiceList("Mode", &n, names), OVCG_OK);
    EXPECT_STREQ(names[0], "Standard");
    EXPECT_STREQ(names[4], "NoCMM");
    EXPECT_EQ(ovcgGetChoiceList("Nope", &n, names), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgGetChoiceList(nullptr, &n, names), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgGetChoiceList("Mode", nullptr, names), OVCG_ERR_ARGUMENT);
}

TEST_F(EntryPoints, SetPrintOption) {
    EXPECT_EQ(ovcgSetPrintOption(nullptr, "x"), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgSetPrintOption("Mode", nullptr), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgSetPrintOption("Unknown", "x"), OVCG_OK);
    EXPECT_EQ(ovcgSetPrintOption("Mode", "Unknown"), OVCG_OK);
    EXPECT_EQ(fe::ww_stored_value("Mode"), fe::kUnset);
    EXPECT_EQ(ovcgSetPrintOption("Mode", "cad"), OVCG_OK);
    EXPECT_EQ(fe::ww_stored_value("Mode"), 3);
    // The second name of PageSize lists its choices but stores nothing.
    EXPECT_EQ(ovcgSetPrintOption("media", "A3"), OVCG_OK);
    EXPECT_EQ(fe::ww_stored_value("PageSize"), fe::kUnset);
    EXPECT_EQ(ovcgSetPrintOption("pagesize", "A3"), OVCG_OK);
    EXPECT_EQ(fe::ww_stored_value("PageSize"), 80);
    EXPECT_EQ(fe::ww_stored_value("Unknown"), fe::kUnset);
}

TEST_F(EntryPoints, PageAttributes) {
    uint32_t v = 99;
    EXPECT_EQ(ovcgGetPageAttribute(0, nullptr), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgGetPageAttribute(4, &v), OVCG_ERR_ARGUMENT);
    set_options({{"MediaType", "Media334_Q1"}, {"PageSize", "A3_SheetC"}});
    ASSERT_EQ(ovcgStartJob(Capture::output, "1"), OVCG_OK);
    const std::pair<uint32_t, uint32_t> expected[] = {{0, 6876}, {1, 8978}, {2, 0}, {3, 0}};
    for (auto [which, value] : expected) {
        ASSERT_EQ(ovcgGetPageAttribute(which, &v), OVCG_OK);
        EXPECT_EQ(v, value) << which;
    }
    EXPECT_EQ(ovcgEndJob(), OVCG_OK);
}

// ---- Jobs -------------------------------------------------------------------

TEST_F(EntryPoints, RefusedJobStartsWriteNothing) {
    EXPECT_EQ(ovcgStartJob(Capture::output, "1"), OVCG_ERR_ARGUMENT);  // no media, no paper
    set_options({{"MediaType", "Media1_Q1"}, {"PageSize", "A9"}});
    EXPECT_EQ(ovcgStartJob(Capture::output, "1"), OVCG_ERR_ARGUMENT);  // unknown paper
    set_options({{"PageSize", "A4"}});
    EXPECT_EQ(ovcgStartJob(nullptr, "1"), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgStartJob(Capture::output, nullptr), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgStartJob(Capture::output, std::string(32, '1').c_str()), OVCG_ERR_ARGUMENT);
    ovcg_callbacks cb = counting_callbacks();
    ASSERT_EQ(ovcgInitialize("", &cb), OVCG_OK);  // a fresh context has no resource path
    EXPECT_EQ(ovcgStartJob(Capture::output, "1"), OVCG_ERR_ARGUMENT);
    EXPECT_TRUE(Capture::writes.empty());
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(EntryPoints, OneJobAtATimeWithIdentifiersUpTo31Characters) {
    set_options({{"MediaType", "Media1_Q1"}, {"PageSize", "A4"}});
    std::string id31(31, '7');
    ASSERT_EQ(ovcgStartJob(Capture::output, id31.c_str()), OVCG_OK);
    EXPECT_STREQ(ctx().job_id, id31.c_str());
    EXPECT_EQ(ovcgStartJob(Capture::output, "2"), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgEndJob(), OVCG_OK);
}

TEST_F(EntryPoints, StartJobHandsTheRecordsToTheEngine) {
    set_options({{"MediaType", "Media1_Q1"}, {"PageSize", "A4"}, {"AutoCut", "DoubleCut"}});
    ASSERT_EQ(ovcgStartJob(Capture::output, "123"), OVCG_OK);
    EXPECT_EQ(Capture::bytes, expected_job_start(123));
    ASSERT_EQ(fake.calls, std::vector<std::string>{"InitJob"});
    const uint32_t flags = OVCG_EXO_NJ | OVCG_EXO_AC;
    EXPECT_EQ(std::tuple(fake.job.version, fake.job.ex_option & flags, fake.has_cut, fake.cut.cut_option),
              std::tuple(9, flags, true, 2));
    ASSERT_TRUE(fake.has_media_options);
    EXPECT_EQ(std::tuple(fake.media_options.version, fake.media_options.field),
              std::tuple(8, OVCG_MO_DUTY_MULTI));
    for (int32_t d : fake.media_options.multi_duty) EXPECT_EQ(d, 1024);
    const tagOPTION& o = fake.options;
    EXPECT_EQ(std::tuple(o.lpszHT_File, o.lpszMW_File, o.NumRsc, o.lpfuncSpool, o.hParam),
              std::tuple(nullptr, nullptr, 1, &fe::print_spool, nullptr));
    EXPECT_EQ(fake.resource_files, std::vector<std::string>{"/models/test.res"});
    EXPECT_EQ(std::tuple(ctx().job, ctx().page.word[fe::kPageCounter]), std::tuple(fake.handle, 1u));
    EXPECT_EQ(ovcgEndJob(), OVCG_OK);
}

TEST_F(EntryPoints, EngineOutputSitsInsideTheFraming) {
    fake.spool_at_init_job = {0xA1, 0xA2};
    fake.spool_at_init_page = {0xB1};
    fake.spool_at_destroy = {0xC1, 0xC2, 0xC3};
    Capture::max_accept = 1;  // the spool callback must complete partial writes
    ASSERT_EQ(start_default_job("5"), OVCG_OK);
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    ASSERT_EQ(ovcgEndPage(0), OVCG_OK);
    ASSERT_EQ(ovcgEndJob(), OVCG_OK);
    std::vector<uint8_t> expected = expected_job_start(5);
    expected.insert(expected.end(), {0xA1, 0xA2, 0xB1, 0xC1, 0xC2, 0xC3});
    std::vector<uint8_t> end = expected_job_end();
    expected.insert(expected.end(), end.begin(), end.end());
    EXPECT_EQ(Capture::bytes, expected);
    EXPECT_EQ(fake.spool_results, (std::vector<int32_t>{2, 1, 3}));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"InitJob", "InitPage", "TerminatePageEx",
                                                    "DestroyJob"}));
    for (HPLIMO3 h : fake.handles_seen) EXPECT_EQ(h, fake.handle);
}

TEST_F(EntryPoints, EngineFailureAtInitJob) {
    // A failing InitJob, and an interface table whose entries are not bound.
    static const fe::ovcg_job_interface kUnbound{};
    for (bool unbound : {false, true}) {
        SCOPED_TRACE(unbound);
        Capture::reset();
        fake.calls.clear();
        fake.init_job_result = -7;
        if (unbound) fe::set_job_interface(&kUnbound);
        EXPECT_EQ(start_default_job("1"), OVCG_ERR_ENGINE);
        EXPECT_EQ(Capture::bytes, expected_job_start(1));  // the framing went out first
        EXPECT_EQ(fake.calls.size(), unbound ? 0u : 1u);
        EXPECT_EQ(ovcgStartPage(), OVCG_ERR_ARGUMENT);
        EXPECT_EQ(ovcgEndJob(), OVCG_ERR_ARGUMENT);
    }
    fe::set_job_interface(&FakeJobInterface::table());
    fake.init_job_result = 0;
    EXPECT_EQ(start_default_job("1"), OVCG_OK);
    EXPECT_EQ(ovcgEndJob(), OVCG_OK);
}

// An output failure in a job's framing stays for the process: every later
// job is refused at its start without a call of its output function.
TEST_F(EntryPoints, OutputFailureAtJobStartSkipsTheEngineAndSticks) {
    Capture::fail_at = 0;
    EXPECT_EQ(start_default_job("1"), OVCG_ERR_ENGINE);
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(Capture::writes.size(), 1u);  // nothing written after the failure
    Capture::reset();
    EXPECT_EQ(start_default_job("2"), OVCG_ERR_ENGINE);
    EXPECT_EQ(ovcgEndJob(), OVCG_ERR_ENGINE);  // the refused job's end reports it too
    EXPECT_TRUE(Capture::writes.empty());
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(EntryPoints, OutputFailureAtJobEndSticks) {
    ASSERT_EQ(start_default_job("1"), OVCG_OK);
    Capture::fail_at = static_cast<long>(Capture::writes.size()) + 1;
    EXPECT_EQ(ovcgEndJob(), OVCG_ERR_ENGINE);
    Capture::reset();
    EXPECT_EQ(start_default_job("2"), OVCG_ERR_ENGINE);
    EXPECT_EQ(ovcgEndJob(), OVCG_ERR_ENGINE);
    EXPECT_TRUE(Capture::writes.empty());
}

TEST_F(EntryPoints, FailingDestroyJobWritesNoJobEnd) {
    ASSERT_EQ(start_default_job("1"), OVCG_OK);
    size_t before = Capture::bytes.size();
    fake.destroy_result = -3;
    EXPECT_EQ(ovcgEndJob(), OVCG_ERR_ENGINE);
    EXPECT_EQ(Capture::bytes.size(), before);
    EXPECT_EQ(ovcgEndJob(), OVCG_ERR_ARGUMENT);  // the job is over either way
}

TEST_F(EntryPoints, OutOfMemoryInTheConversion) {
    set_options({{"AutoCut", "SingleCut"}});
    CountingHeap::fail_after = CountingHeap::allocations;
    EXPECT_EQ(start_default_job("1"), OVCG_ERR_NO_MEMORY);
    CountingHeap::fail_after = -1;
    EXPECT_TRUE(Capture::writes.empty());
}

// The engine's bytes at its job's end go nowhere: the caller let the job go.
TEST_F(EntryPoints, ReleaseWithAJobAndPageOpenLeavesNothing) {
    ASSERT_EQ(start_default_job("1"), OVCG_OK);
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    const uint8_t line[30] = {};
    ASSERT_EQ(ovcgRasterOut(line, 30, 0), OVCG_OK);
    fake.spool_at_destroy = {0xC1};
    const size_t writes = Capture::writes.size();
    EXPECT_EQ(ovcgRelease(), OVCG_OK);
    EXPECT_EQ(fake.calls.back(), "DestroyJob");
    EXPECT_EQ(Capture::writes.size(), writes);
    EXPECT_EQ(CountingHeap::live, 0);
}

// ---- Pages ------------------------------------------------------------------

auto rect(const tagRECT& r) { return std::tuple(r.left, r.top, r.right, r.bottom); }

struct BandSpan {
    uint32_t top, bottom;
};

// The bands a page of n lines makes: a pair at every third line, the rest at the end.
std::vector<BandSpan> reference_bands(uint32_t n) {
    std::vector<BandSpan> v;
    uint32_t top = 0;
    for (uint32_t line = 0; line < n; ++line) {
        if (line >= 2 && line % 2 == 0) {
            v.push_back({line - 2, line});
            top = line;
        }
    }
    if (n > top) v.push_back({top, n});
    return v;
}

class Pages : public FrontendTest {
protected:
    void SetUp() override {
        FrontendTest::SetUp();
        ASSERT_EQ(start_default_job("1"), OVCG_OK);
        width = ctx().job_record.src_print_area_ex.x;
        line_bytes = width * 3;
    }
    void TearDown() override {
        if (ctx().job_open) {
            EXPECT_EQ(ovcgEndJob(), OVCG_OK);
        }
        FrontendTest::TearDown();
    }
    // A line whose every byte tells its line number and position.
    std::vector<uint8_t> line(uint32_t n) const {
        std::vector<uint8_t> v(line_bytes);
        for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(n * 31 + i % 7);
        return v;
    }
    int32_t out(uint32_t n) {
        auto l = line(n);
        return ovcgRasterOut(l.data(), static_cast<int32_t>(l.size()), 0);
    }
    uint32_t width = 0, line_bytes = 0;
};

TEST_F(Pages, BandsForPagesOfOneToFiveLines) {
    for (uint32_t n = 1; n <= 5; ++n) {
        SCOPED_TRACE(n);
        fake.bands.clear();
        ASSERT_EQ(ovcgStartPage(), OVCG_OK);
        for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(out(i), OVCG_OK);
        ASSERT_EQ(ovcgEndPage(0), OVCG_OK);
        std::vector<BandSpan> expected = reference_bands(n);
        ASSERT_EQ(fake.bands.size(), expected.size());
        for (size_t b = 0; b < expected.size(); ++b) {
            const FakeBand& got = fake.bands[b];
            const uint32_t h = expected[b].bottom - expected[b].top;
            EXPECT_EQ(rect(got.band), std::tuple(0u, expected[b].top, width, expected[b].bottom));
            EXPECT_EQ(rect(got.clip), std::tuple(0u, 0u, width, h));
            EXPECT_FALSE(got.second_bitmap);
            EXPECT_FALSE(got.descriptor);
            EXPECT_EQ(got.width_bytes, (line_bytes + 3) & ~3u);
            for (uint32_t k = 0; k < h; ++k) {
                auto l = line(expected[b].top + k);
                EXPECT_TRUE(std::equal(l.begin(), l.end(), got.lines.begin() + k * got.width_bytes))
                    << "line " << expected[b].top + k;
            }
        }
        ASSERT_EQ(fake.page_ends.size(), n);
        EXPECT_EQ(std::tuple(fake.page_ends.back().version, fake.page_ends.back().bAbort,
                             ctx().page.word[fe::kPageCounter]),
                  std::tuple(1, 0, n + 1));
    }
}

TEST_F(Pages, LinesPastThePageAreDropped) {
    ASSERT_EQ(ovcgEndJob(), OVCG_OK);
    set_options({{"PageSize", "custom.4.20333x6in"}});
    ASSERT_EQ(start_default_job("1"), OVCG_OK);
    const uint32_t lines = ctx().job_record.src_print_area_ex.y;
    ASSERT_EQ(lines, 1800u - 70);
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    const uint8_t l[3] = {1, 2, 3};
    for (uint32_t i = 0; i < lines + 5; ++i) ASSERT_EQ(ovcgRasterOut(l, 3, 0), OVCG_OK);
    ASSERT_EQ(ovcgEndPage(0), OVCG_OK);
    uint32_t sent = 0;
    for (const FakeBand& b : fake.bands) sent += b.band.bottom - b.band.top;
    EXPECT_EQ(sent, lines);
    EXPECT_EQ(fake.bands.back().band.bottom, lines);
}

TEST_F(Pages, AbortSendsNoFinalBand) {
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    for (uint32_t i = 0; i < 3; ++i) ASSERT_EQ(out(i), OVCG_OK);
    ASSERT_EQ(ovcgEndPage(1), OVCG_OK);
    EXPECT_EQ(fake.bands.size(), 1u);
    ASSERT_EQ(fake.page_ends.size(), 1u);
    EXPECT_EQ(fake.page_ends[0].bAbort, 1);
}

TEST_F(Pages, ArgumentsAndOrder) {
    const uint8_t l[3] = {};
    EXPECT_EQ(ovcgRasterOut(l, 3, 0), OVCG_OK);  // before the page: nothing done
    EXPECT_EQ(ovcgEndPage(0), OVCG_ERR_ARGUMENT);
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    EXPECT_EQ(ovcgStartPage(), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgRasterOut(l, -1, 0), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgRasterOut(nullptr, 3, 0), OVCG_ERR_ARGUMENT);
    EXPECT_TRUE(fake.bands.empty());
    ASSERT_EQ(ovcgEndPage(0), OVCG_OK);
    EXPECT_TRUE(fake.bands.empty());  // no lines, no band
}

TEST_F(Pages, InitPageFailure) {
    fake.init_page_result = -42;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ovcgStartPage(), OVCG_ERR_ENGINE);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WARNING: filter, ovcgStartPage, InitPage() failed with pli_error -42\n"),
              std::string::npos);
    const uint8_t l[3] = {};
    EXPECT_EQ(ovcgRasterOut(l, 3, 0), OVCG_OK);
    EXPECT_EQ(ovcgEndPage(0), OVCG_ERR_ARGUMENT);
    EXPECT_TRUE(fake.bands.empty());
}

TEST_F(Pages, BandOutFailureWhileCollecting) {
    fake.band_out_result = -9;
    fake.band_out_fail_at = 0;
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    EXPECT_EQ(out(0), OVCG_OK);
    EXPECT_EQ(out(0), OVCG_OK);
    EXPECT_EQ(out(0), OVCG_ERR_ENGINE);
    EXPECT_EQ(std::tuple(ctx().band.top, ctx().band.bottom), std::tuple(2u, 2u));  // not stored
    // The next line offers the refused band again, then is stored.
    EXPECT_EQ(out(0), OVCG_OK);
    EXPECT_EQ(ovcgEndPage(0), OVCG_OK);
    ASSERT_EQ(fake.bands.size(), 3u);
    EXPECT_EQ(std::tuple(fake.bands[1].band.top, fake.bands[1].band.bottom, fake.bands[2].band.top,
                         fake.bands[2].band.bottom),
              std::tuple(0u, 2u, 2u, 3u));
}

TEST_F(Pages, EndPageFailuresAreReportedAndThePageEnds) {
    // A failing final band, then a failing TerminatePageEx.
    for (bool terminate_fails : {false, true}) {
        SCOPED_TRACE(terminate_fails);
        fake.band_out_result = terminate_fails ? 0 : -9;
        fake.terminate_result = terminate_fails ? -1 : 0;
        ASSERT_EQ(ovcgStartPage(), OVCG_OK);
        ASSERT_EQ(out(0), OVCG_OK);
        EXPECT_EQ(ovcgEndPage(0), OVCG_ERR_ENGINE);
        EXPECT_EQ(fake.page_ends.size(), terminate_fails ? 2u : 1u);
    }
    fake.terminate_result = 0;
    EXPECT_EQ(ovcgStartPage(), OVCG_OK);  // the next page may start
    EXPECT_EQ(ovcgEndPage(0), OVCG_OK);
}

TEST_F(Pages, OutOfMemory) {
    // At the page start, for each of its allocations in turn: no InitPage.
    for (long k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        CountingHeap::fail_after = CountingHeap::allocations + k;
        EXPECT_EQ(ovcgStartPage(), OVCG_ERR_ENGINE);
        CountingHeap::fail_after = -1;
    }
    EXPECT_TRUE(std::find(fake.calls.begin(), fake.calls.end(), "InitPage") == fake.calls.end());
    // For the band buffer: the line fails, the next one goes.
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    CountingHeap::fail_after = CountingHeap::allocations;
    EXPECT_EQ(out(0), OVCG_ERR_NO_MEMORY);
    CountingHeap::fail_after = -1;
    EXPECT_EQ(out(0), OVCG_OK);
    EXPECT_EQ(ovcgEndPage(0), OVCG_OK);
}

TEST_F(Pages, EndJobAbandonsAnOpenPage) {
    ASSERT_EQ(ovcgStartPage(), OVCG_OK);
    EXPECT_EQ(ovcgEndJob(), OVCG_OK);
    ASSERT_EQ(fake.page_ends.size(), 1u);
    EXPECT_EQ(fake.page_ends[0].bAbort, 1);
    EXPECT_EQ(fake.calls.back(), "DestroyJob");
}

// ---- The band collector on its own -------------------------------------------

class BandCollector : public FrontendTest {
protected:
    void SetUp() override {
        FrontendTest::SetUp();
        c.job = fake.handle;
        c.page_lines = 100;
    }
    void TearDown() override {
        fe::ovcg_free(c.band_bitmap.Bits);
        FrontendTest::TearDown();
    }
    int32_t put(std::vector<uint8_t> l, uint32_t width) {
        int32_t taken = 0;
        return fe::pipeRasterOut(&c, l.data(), static_cast<uint32_t>(l.size()), width, &taken);
    }
    fe::ovcg_context c{};
};

TEST_F(BandCollector, AGrowingLineKeepsTheBufferedLines) {
    ASSERT_EQ(put({1, 2, 3, 4}, 1), 0);
    ASSERT_EQ(put({5, 6, 7, 8, 9, 10}, 2), 0);  // grows the buffer with line 0 buffered
    EXPECT_EQ(c.band_bitmap.WidthBytes, 8u);
    ASSERT_EQ(put({11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}, 4), 0);  // grows with two buffered
    ASSERT_EQ(fake.bands.size(), 1u);
    const FakeBand& b = fake.bands[0];
    EXPECT_EQ(b.width_bytes, 12u);
    EXPECT_EQ(b.lines, (std::vector<uint8_t>{1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                             5, 6, 7, 8, 9, 10, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(b.band.right, 4u);
}

// ---- Raster information -----------------------------------------------------

TEST(RasterInformation, BorderlessEnlargement) {
    struct Case {
        int32_t bin, paper;
        bool borderless;
        int32_t dw, dh;
    };
    const Case cases[] = {
        {531, 604, true, 28, 150},  {531, 652, true, -24, 58}, {531, 605, true, 28, 126},
        {257, 605, true, 28, 126},  {534, 605, true, 28, 126}, {535, 604, true, 28, 150},
        {538, 652, true, -24, 58},  {539, 1, true, 28, 126},   {264, 604, true, 0, 63},
        {264, 652, true, 0, 0},     {264, 605, true, 28, 60},  {530, 605, true, 0, 0},
        {4, 605, true, 0, 0},       {531, 604, false, 0, 0},   {264, 605, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bin) + "/" + std::to_string(c.paper));
        tagPRTSTRUCT3_12 job{};
        job.src_print_area_ex = {5000, 7000};
        job.src_resolution = {600, 300};
        job.src_format = 1;
        job.bin_ID = c.bin;
        job.paper_ID = c.paper;
        job.ex_option = c.borderless ? OVCG_EXO_TB : 0;
        fe::ovcg_page_info page{};
        page.word[fe::kPageSkipLines] = 3;
        ovcg_raster_info info;
        ASSERT_TRUE(fe::converter_set_rasterinfo_from_parameter_1(job, page, &info));
        EXPECT_EQ(std::tuple(info.size, info.x_resolution, info.y_resolution, info.bytes_per_pixel,
                             info.width, info.height, info.skip_lines, info.offset_on, info.disc_on),
                  std::tuple(56u, 600u, 300u, 3u, static_cast<uint32_t>(5000 + c.dw),
                             static_cast<uint32_t>(7000 + c.dh), 3u, 0u, 0u));
    }
}

TEST(RasterInformation, GrayAndUnusableSizes) {
    tagPRTSTRUCT3_12 job{};
    job.src_print_area_ex = {10, 10};
    job.src_resolution = {300, 300};
    job.src_format = 0;
    fe::ovcg_page_info page{};
    ovcg_raster_info info;
    ASSERT_TRUE(fe::converter_set_rasterinfo_from_parameter_1(job, page, &info));
    EXPECT_EQ(info.bytes_per_pixel, 1u);
    job.src_print_area_ex = {0, 10};
    EXPECT_FALSE(fe::converter_set_rasterinfo_from_parameter_1(job, page, &info));
    job.src_print_area_ex = {10, -1};
    EXPECT_FALSE(fe::converter_set_rasterinfo_from_parameter_1(job, page, &info));
}

}  // namespace
}  // namespace ovcg_test
