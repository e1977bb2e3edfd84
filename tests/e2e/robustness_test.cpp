// Jobs that go wrong through the exported entry points: pages fed with fewer
// or more lines than they announce, jobs ended inside a page, calls out of
// order, and an output function that fails at each of its calls. Every case
// ends with a documented code, returns every block of the caller's
// allocator, and the next job of the process prints what a fresh process
// prints (after an output failure in the job's own framing, once the
// process's stream-error flag is reset).
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "frontend/output_stream.h"
#include "support/job_framing.h"
#include "support/sanitized.h"
#include "support/stream_validator.h"

namespace ovcg_e2e {
namespace {

bool starts_with(const Bytes& b, const Bytes& head) {
    return b.size() >= head.size() && std::equal(head.begin(), head.end(), b.begin());
}
bool ends_with(const Bytes& b, const Bytes& tail) {
    return b.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), b.rbegin());
}

// ---- Pages fed with the wrong number or size of lines ---------------------

struct LineCase {
    const char* name;
    int64_t lines;          // -1 the announced height plus `extra`
    int64_t extra = 0;
    int64_t line_eighths = 8;  // line length in eighths of the page's
    int pages = 1;
    bool end_in_page = false;
    int32_t abort_page = 0;
    // The stream equals the full page's: the lines beyond the page are dropped.
    bool same_as_full_page = false;
    // After an aborted page the head-control engine's job is gone: a later
    // page of the job cannot start.
    int32_t want_start_page = OVCG_OK;
};

TEST_F(E2eTest, PagesWithTheWrongLinesPrintWhatTheyGot) {
    constexpr int64_t kFew = 8;
    // Whole pages are printed in gray (cheaper), the rest in colour.
    const LineCase cases[] = {
        {"no line", 0},
        {"one line", 1},
        {"two lines: one band, sent at the page end", 2},
        {"three lines: a band and a line", 3},
        {"a few lines", kFew},
        {"one line more than announced", -1, 1, 8, 1, false, 0, true},
        {"a hundred lines more than announced", -1, 100, 8, 1, false, 0, true},
        {"lines half as long as the page's", kFew, 0, 4},
        {"lines of no byte", kFew, 0, 0},
        {"lines three times as long as the page's", kFew, 0, 24},
        {"a page ended by the job", kFew, 0, 8, 1, true},
        {"a page ended by the job before its first line", 0, 0, 8, 1, true},
        {"the third page ended by the job", kFew, 0, 8, 3, true},
        {"an aborted page", kFew, 0, 8, 1, false, 1},
        {"a page after an aborted page", kFew, 0, 8, 2, false, 1, false, OVCG_ERR_ENGINE},
        {"three short pages", 5, 0, 8, 3},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Whole pages take seconds under the sanitizers; they check the
        // front end's line count, which the optimised build checks as well.
        if (c.same_as_full_page && ovcg_test::kSanitized) continue;
        const Ink ink = c.same_as_full_page ? Ink::kGray : Ink::kColour;
        JobSpec job = reference_job(ink);
        job.pages = c.pages;
        job.end_in_page = c.end_in_page;
        job.abort_page = c.abort_page;
        // The page's size is known once a job has started.
        const JobResult probe = [&] {
            Sink::reset();
            JobSpec p = reference_job(ink);
            p.lines = 0;
            return run_job(p);
        }();
        ASSERT_TRUE(probe.ok()) << probe.describe();
        job.lines = c.lines >= 0 ? c.lines : int64_t{probe.height} + c.extra;
        job.line_bytes = int64_t{probe.width} * (probe.gray ? 1 : 3) * c.line_eighths / 8;

        Sink::reset();
        const JobResult r = run_job(job);
        EXPECT_EQ(r.start_page, c.want_start_page) << r.describe();
        EXPECT_TRUE(!r.start_job && !r.raster && !r.end_page && !r.end_job) << r.describe();
        EXPECT_TRUE(starts_with(r.stream, ovcg_test::expected_job_start(7)));
        EXPECT_TRUE(ends_with(r.stream, ovcg_test::expected_job_end()));
        const ovcg_test::StreamCheck check = ovcg_test::ValidateStream(r.stream);
        EXPECT_TRUE(check.ok) << check.error;
        if (c.same_as_full_page) {
            const Bytes& full = golden(reference_job(Ink::kGray));
            EXPECT_TRUE(r.stream == full) << r.stream.size() << " vs " << full.size();
        }
        expect_prints(short_job(), c.name);
    }
}

// ---- Calls out of order -----------------------------------------------------

TEST_F(E2eTest, CallsOutOfOrderAreRefusedAndChangeNothing) {
    golden(short_job());
    // A fresh context: no resource file yet.
    ASSERT_EQ(ovcgRelease(), OVCG_OK);
    const ovcg_callbacks cb = counting_callbacks();
    ASSERT_EQ(ovcgInitialize("", &cb), OVCG_OK);
    const JobSpec ref = reference_job();
    for (const auto& [n, c] : ref.options) ovcgSetPrintOption(n.c_str(), c.c_str());
    uint32_t v = 0;
    struct Step {
        const char* name;
        int32_t (*call)();
        int32_t want;
    };
    const Step steps[] = {
        {"a page before any job", [] { return ovcgStartPage(); }, OVCG_ERR_ARGUMENT},
        {"a page end before any job", [] { return ovcgEndPage(0); }, OVCG_ERR_ARGUMENT},
        {"a job end before any job", [] { return ovcgEndJob(); }, OVCG_ERR_ARGUMENT},
        {"a job without a resource file",
         [] { return ovcgStartJob(Sink::output, "1"); }, OVCG_ERR_ARGUMENT},
        {"a resource of another kind",
         [] { return ovcgSetResource(2, default_model_path().c_str()); }, OVCG_ERR_ARGUMENT},
        {"a resource file that is not there",
         [] { return ovcgSetResource(OVCG_RESOURCE_FILE, "/nonexistent/ovcg_model.res"); }, OVCG_OK},
        {"a job on a missing resource file", [] { return ovcgStartJob(Sink::output, "1"); }, OVCG_ERR_ENGINE},
        {"the page of a job that failed", [] { return ovcgStartPage(); }, OVCG_ERR_ARGUMENT},
        {"a resource file that is a directory",
         [] { return ovcgSetResource(OVCG_RESOURCE_FILE, "/tmp"); }, OVCG_OK},
        {"a job on a directory", [] { return ovcgStartJob(Sink::output, "1"); }, OVCG_ERR_ENGINE},
        {"the resource file", [] { return ovcgSetResource(OVCG_RESOURCE_FILE, default_model_path().c_str()); },
         OVCG_OK},
        {"a job without an output function", [] { return ovcgStartJob(nullptr, "1"); }, OVCG_ERR_ARGUMENT},
        {"a job of 32 characters",
         [] { return ovcgStartJob(Sink::output, "12345678901234567890123456789012"); }, OVCG_ERR_ARGUMENT},
        {"a job", [] { return ovcgStartJob(Sink::output, "1"); }, OVCG_OK},
        {"a second job inside the first", [] { return ovcgStartJob(Sink::output, "2"); }, OVCG_ERR_ARGUMENT},
        {"a page end outside a page", [] { return ovcgEndPage(0); }, OVCG_ERR_ARGUMENT},
        {"a line outside a page",
         [] {
             static const uint8_t l[4] = {};
             return ovcgRasterOut(l, 4, 0);
         },
         OVCG_OK},
        {"a page", [] { return ovcgStartPage(); }, OVCG_OK},
        {"a page inside the page", [] { return ovcgStartPage(); }, OVCG_ERR_ARGUMENT},
        {"a null line", [] { return ovcgRasterOut(nullptr, 4, 0); }, OVCG_ERR_ARGUMENT},
        {"a negative length",
         [] {
             static const uint8_t l[4] = {};
             return ovcgRasterOut(l, -4, 0);
         },
         OVCG_ERR_ARGUMENT},
        {"a new resource inside the job",
         [] { return ovcgSetResource(OVCG_RESOURCE_FILE, "/nonexistent/other.res"); }, OVCG_OK},
        {"the page end", [] { return ovcgEndPage(0); }, OVCG_OK},
        {"the job end", [] { return ovcgEndJob(); }, OVCG_OK},
        {"a second job end", [] { return ovcgEndJob(); }, OVCG_ERR_ARGUMENT},
    };
    for (const Step& s : steps) EXPECT_EQ(s.call(), s.want) << s.name;
    expect_prints(short_job(), "calls out of order");
    EXPECT_EQ(ovcgGetPageAttribute(9, &v), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcgGetPageAttribute(OVCG_PAGE_WIDTH, nullptr), OVCG_ERR_ARGUMENT);
}

// A context released, or initialised again, with a job open (and a page,
// whose rows the parallel halftoning may still hold) frees the job without
// a byte more to the output function, which the caller may have closed.
TEST_F(E2eTest, ReleaseWithAJobOpenFreesItWithoutWriting) {
    golden(short_job());
    for (const bool initialize : {false, true})
        for (const bool page : {false, true}) {
            SCOPED_TRACE(std::string(initialize ? "initialised" : "released") + (page ? " inside a page" : ""));
            JobSpec ref = reference_job();
            for (const auto& [n, c] : ref.options) ovcgSetPrintOption(n.c_str(), c.c_str());
            ASSERT_EQ(ovcgSetResource(OVCG_RESOURCE_FILE, ref.model.c_str()), OVCG_OK);
            Sink::reset();
            ASSERT_EQ(ovcgStartJob(Sink::output, "1"), OVCG_OK);
            uint8_t line[64];
            pattern_line(0, line, sizeof line);
            ASSERT_EQ(page ? ovcgStartPage() : OVCG_OK, OVCG_OK);
            for (int i = 0; page && i < 5; ++i) ASSERT_EQ(ovcgRasterOut(line, sizeof line, 0), OVCG_OK);
            const int64_t calls = Sink::calls;
            const ovcg_callbacks cb = counting_callbacks();
            EXPECT_EQ(initialize ? ovcgInitialize("", &cb) : OVCG_OK, OVCG_OK);
            EXPECT_EQ(ovcgRelease(), OVCG_OK);
            EXPECT_EQ(CountingHeap::live, 0);
            EXPECT_EQ(Sink::calls, calls);
            ASSERT_EQ(ovcgInitialize("", &cb), OVCG_OK);
            expect_prints(short_job(), "a release with a job open");
        }
}

// ---- An output function that fails ----------------------------------------

// The calls a job makes: every one outside the job-start padding (whose
// 65,534 one-byte calls all take one path), and a sample of the padding.
std::vector<int64_t> fault_points(int64_t calls) {
    const int64_t padding_begin = 6 + 1, padding_end = static_cast<int64_t>(6 + 2 * (1 + 32767));
    std::vector<int64_t> at;
    for (int64_t n = 0; n < calls; ++n) {
        const bool in_padding = n > padding_begin + 2 && n + 2 < padding_end;
        if (!in_padding || n % 2039 == 0) at.push_back(n);
    }
    return at;
}

TEST_F(E2eTest, OutputFailingAtEachCallIsReported) {
    // Every kind of fault on the cheaper gray job; failures on the colour
    // job too, whose pages send more and other chunks, on a page long
    // enough for the engine to send inside ovcgRasterOut, and on a job
    // ended with its page open (which ovcgEndJob ends).
    const struct {
        const char* name;
        Sink::Fault fault;
        Ink ink;
        int64_t lines = 8;
        bool end_in_page = false;
    } kinds[] = {
        {"fails", Sink::Fault::kFail, Ink::kGray},
        {"stalls", Sink::Fault::kStall, Ink::kGray},
        {"over-reports", Sink::Fault::kOverReport, Ink::kGray},
        {"fails", Sink::Fault::kFail, Ink::kColour},
        {"fails", Sink::Fault::kFail, Ink::kGray, 48},
        {"fails", Sink::Fault::kFail, Ink::kGray, 8, true},
    };
    for (const auto& k : kinds) {
        JobSpec job = short_job(k.ink);
        job.lines = k.lines;
        job.end_in_page = k.end_in_page;
        golden(job);
        Sink::reset();
        const JobResult clean = run_job(job);
        ASSERT_TRUE(clean.ok());
        const int64_t calls = Sink::calls;
        ASSERT_GT(calls, static_cast<int64_t>(2 * 32767));
        int case_index = 0;
        for (int64_t n : fault_points(calls)) {
            const std::string what = std::string("an output that ") + k.name + " at call " + std::to_string(n) +
                                     (k.ink == Ink::kGray ? " (gray)" : " (colour)");
            SCOPED_TRACE(what);
            Sink::reset(k.fault, n);
            const JobResult r = run_job(job);
            EXPECT_TRUE(r.codes_known()) << r.describe();
            // A failed write is never reported as a printed job: the entry
            // point that made it reports it, also inside the engine's data.
            EXPECT_EQ(r.*clean.entry_of(n), OVCG_ERR_ENGINE) << r.describe();
            if (r.start_job != OVCG_OK) {
                EXPECT_EQ(r.start_job, OVCG_ERR_ENGINE);
            }
            // The end of a page left open, or the document end, failing
            // inside ovcgEndJob: no job end is written after it.
            if (clean.entry_of(n) == &JobResult::end_job && n < calls - 5) {
                EXPECT_FALSE(ends_with(r.stream, ovcg_test::expected_job_end())) << r.describe();
            }
            // A failure in the job's framing (its 65,542 first and 5 last
            // writes) refuses every later job, which then writes nothing; a
            // failed send of the engine's data fails that job only.
            if (n < 6 + 2 * (1 + 32767) || n >= calls - 5) {
                Sink::reset();
                EXPECT_EQ(run_job(job).start_job, OVCG_ERR_ENGINE);
                EXPECT_EQ(Sink::calls, 0);
                ovcg::frontend::stream_error_clear_for_tests();
            }
            // Under the sanitizers (five times slower) a sample of the cases.
            if (!ovcg_test::kSanitized || case_index++ % 3 == 0) expect_prints(job, what);
            if (HasFailure()) return;
        }
    }
}

TEST_F(E2eTest, OutputTakingFewBytesACallGetsTheWholeStream) {
    const JobSpec job = short_job();
    const Bytes& want = golden(job);
    for (int64_t most : {1, 2, 3, 7, 4096}) {
        SCOPED_TRACE(most);
        Sink::reset(Sink::Fault::kTrickle, most);
        const JobResult r = run_job(job);
        EXPECT_TRUE(r.ok()) << r.describe();
        EXPECT_TRUE(r.stream == want);
    }
}

}  // namespace
}  // namespace ovcg_e2e
