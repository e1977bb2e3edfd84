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
    const struct {
        const char* name;
        Options options;
        const char* page;
        const char* page_4x;
    } cases[] = {
        {"gray", reference_job().options, "custom.303x432", "custom.303x1728"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JobSpec job = reference_job();
        job.options = c.options;
        job.options.emplace_back("PageSize", c.page);
        const uint64_t peak = job_peak(job);
        job.options.back().second = c.page_4x;
        const uint64_t peak_4x = job_peak(job);
        EXPECT_GT(peak, 0u);
        EXPECT_LE(peak_4x, peak + peak / 10) << "a page 4 times as tall: " << peak << " -> " << peak_4x;
    }
}

}  // namespace
}  // namespace ovcg_e2e
