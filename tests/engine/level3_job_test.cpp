// Level-3 jobs of the default model through the job interface: every stream
// validates, every image object decodes, and the objects painted at their
// places rebuild the page.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "level3_harness.h"

namespace ovcg_test::l3 {
namespace {

uint32_t Smooth(int x, int y, unsigned k) {
    const double v = 128 + 90 * std::sin(x / 9.0 + k) * std::cos(y / 7.0 - k);
    return uint32_t(std::lround(v));
}

TEST(Level3Job, SmokeEachMedia) {
    for (uint16_t media = 0; media < 5; ++media) {
        SCOPED_TRACE(media);
        RecordingHxrEngine hxr;
        JobSpec s;
        s.media = media;
        Page page;
        page.bands.push_back(MakeBand(s, 0, 20, s.width, tagRECT{0, 0, s.width, 20}, 0, Smooth));
        page.bands.push_back(MakeBand(s, 20, 13, s.width, tagRECT{3, 2, 50, 13}, 0, Smooth));
        const JobResult r = RunJob(s, {page}, hxr);
        ASSERT_EQ(r.init_job, 0);
        EXPECT_EQ(r.init_page, std::vector<int32_t>{0});
        EXPECT_EQ(r.band_out, (std::vector<int32_t>{0, 0}));
        EXPECT_EQ(r.end_page, std::vector<int32_t>{0});
        EXPECT_EQ(r.destroy, 0);
        ASSERT_TRUE(r.check.ok) << r.check.error;
        const Level3Job job = ParseLevel3Job(r.data());
        ASSERT_TRUE(job.ok) << job.error;
        double mean = 0;
        EXPECT_EQ(CompareWithObjects(job, ExpectedPages(s, {page}), 255, &mean), "");
        std::printf("media %u mean %f objects %zu\n", media, mean, job.pages.empty() ? 0 : job.pages[0].objects.size());
    }
}

}  // namespace
}  // namespace ovcg_test::l3
