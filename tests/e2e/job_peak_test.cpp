// The heap a job needs at most does not grow with its page's height: the
// page goes through in bands, and nothing keeps what has been printed.
#include <string>

#include "e2e_fixture.h"
#include "support/heap_counter.h"

namespace ovcg_e2e {
namespace {

// The most heap bytes the job held at once above what the process held
// before it.
uint64_t job_peak(const JobSpec& job) {
    Sink::reset();
    Sink::keep = false;  // the captured stream is not the job's
    const uint64_t base = ovcg_test::heap_bytes();
    ovcg_test::heap_reset_peak();
    const JobResult r = run_job(job);
    const uint64_t peak = ovcg_test::heap_peak_bytes() - base;
    Sink::keep = true;
    EXPECT_TRUE(r.ok()) << r.describe();
    EXPECT_GT(Sink::size, 0u);
    return peak;
}

TEST_F(E2eTest, PeakHeapDoesNotGrowWithThePageHeight) {
    if (!ovcg_test::heap_peak_kept()) GTEST_SKIP() << "the sanitizer's allocator keeps no peak";
    // Pages of the same width, one 4 times as tall as the other. The
    // colour pages are fed a part of their lines (colour halftoning is
    // slow): as many more as the page is taller.
    const struct {
        Ink ink;
        const char* page;
        const char* page_4x;
        int64_t lines;  // -1: the whole page
    } cases[] = {
        {Ink::kGray, "custom.303x432", "custom.303x1728", -1},
        {Ink::kColour, "custom.303x432", "custom.303x1728", 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ink == Ink::kGray ? "gray" : "colour");
        JobSpec job = reference_job(c.ink);
        job.options.back() = {"PageSize", c.page};
        job.lines = c.lines;
        const uint64_t peak = job_peak(job);
        job.options.back().second = c.page_4x;
        job.lines = c.lines < 0 ? -1 : 4 * c.lines;
        const uint64_t peak_4x = job_peak(job);
        EXPECT_GT(peak, 0u);
        EXPECT_LE(peak_4x, peak + peak / 10) << "a page 4 times as tall: " << peak << " -> " << peak_4x;
    }
}

}  // namespace
}  // namespace ovcg_e2e
