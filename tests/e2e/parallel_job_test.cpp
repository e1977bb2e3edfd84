// Whole jobs through the exported entry points on the default model, with
// the halftone engine itself: every job of the table prints the same stream,
// byte for byte, on the serial path and on the parallel path with 1 to 16
// workers, pages ended early, aborted or left open by the job's end among
// them. The worker count is the band driver's constructor argument, given
// through the engine's factory of parts.
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "support/hybrid_models.h"
#include "support/res_writer.h"
#include "support/sanitized.h"
#include "support/worker_parts.h"

namespace ovcg_e2e {
namespace {

// The default model with its one-bit medium printing colour by hybrid
// error diffusion, with CMYK or with the widest ink set (six inks).
const std::string& HybridModel(bool widest) {
    static ovcg_test::TempFile files[2] = {ovcg_test::TempFile("ovcg_hybrid"), ovcg_test::TempFile("ovcg_hybrid")};
    static const bool written = [] {
        for (int w = 0; w < 2; ++w) ovcg_test::build_model(ovcg_test::hybrid_model(w == 1)).write_file(files[w].path());
        return true;
    }();
    (void)written;
    return files[widest ? 1 : 0].path();
}

JobSpec Colour(const char* media, int64_t lines, Options more = {}) {
    JobSpec j;
    j.options = {{"MediaType", media}, {"ColorModel", "RGB"}, {"PageSize", "custom.303x432"}};
    j.options.insert(j.options.end(), more.begin(), more.end());
    j.model = default_model_path();
    j.lines = lines;
    return j;
}

struct ParallelJob {
    const char* name;
    JobSpec job;
};

std::vector<ParallelJob> Jobs() {
    std::vector<ParallelJob> v = {
        {"2-bit 1200 dpi, 4 x 4 printer dots a pixel (Media274_Q4)", Colour("Media274_Q4", 40)},
        {"another quality of the medium (Media274_Q5)", Colour("Media274_Q5", 24)},
        {"Media306_Q4", Colour("Media306_Q4", 40)},
        {"the reference colour medium (Media281_Q3)", Colour("Media281_Q3", 120)},
        {"Media396_Q4", Colour("Media396_Q4", 33)},
        {"Media427_Q5", Colour("Media427_Q5", 31)},
        {"high speed, CAD mode, denser colour", Colour("Media281_Q4", 61, {{"HighSpeed", "On"}, {"Mode", "CAD"},
                                                                         {"ColorDensity", "150"}})},
        {"yellow back", Colour("Media281_Q3", 40, {{"ColorModel", "YellowBack"}})},
        {"gray (dither: the serial path either way)", Colour("Media274_Q4", 40, {{"ColorModel", "Gray"}})},
        {"a roll, cut after the page", Colour("Media281_Q5", 50, {{"PageSize", "A4_Roll"}, {"AutoCut", "NormalCut"}})},
    };
    JobSpec oneBit = Colour("Media394_Q4", 60);
    oneBit.model = HybridModel(false);
    v.push_back({"1-bit dots (the one-bit medium made hybrid)", oneBit});
    JobSpec sixInks = Colour("Media274_Q4", 30);
    sixInks.model = HybridModel(true);
    v.push_back({"six inks", sixInks});
    JobSpec sixInks1Bit = Colour("Media394_Q4", 50);
    sixInks1Bit.model = HybridModel(true);
    v.push_back({"six inks, 1-bit dots", sixInks1Bit});
    JobSpec pages = Colour("Media281_Q3", 45);
    pages.pages = 3;
    v.push_back({"three pages", pages});
    JobSpec aborted = Colour("Media281_Q3", 57);
    aborted.pages = 2;
    aborted.abort_page = 1;
    // After an aborted page the head-control job is gone: the second page
    // cannot start, on either path.
    v.push_back({"an aborted page, and a page after it", aborted});
    JobSpec open = Colour("Media274_Q4", 29);
    open.end_in_page = true;
    v.push_back({"a page left open by the job's end", open});
    JobSpec narrow = Colour("Media281_Q3", 64);
    narrow.line_bytes = 3 * 401;
    v.push_back({"lines a third of the page's width", narrow});
    return v;
}

TEST_F(E2eTest, TheParallelPathPrintsWhatTheSerialPathPrints) {
    const unsigned workerCounts[] = {1, 2, 3, 7, 16};
    int parallel = 0;
    for (const ParallelJob& j : Jobs()) {
        SCOPED_TRACE(j.name);
        JobResult serial;
        {
            ovcg_test::WorkerParts parts(0);
            Sink::reset();
            serial = run_job(j.job);
            ASSERT_EQ(serial.start_job, 0) << serial.describe();
        }
        for (unsigned workers : workerCounts) {
            // Under the sanitizers a sample of the worker counts.
            if (ovcg_test::kSanitized && workers != 1 && workers != 7) continue;
            ovcg_test::WorkerParts parts(workers);
            Sink::reset();
            const JobResult r = run_job(j.job);
            EXPECT_EQ(r.describe(), serial.describe()) << workers << " workers";
            EXPECT_TRUE(r.stream == serial.stream) << workers << " workers: " << r.stream.size()
                                                   << " bytes, the serial path " << serial.stream.size();
            parallel += parts.parallel;
        }
    }
    EXPECT_GT(parallel, 0) << "no job took the parallel path";
}

}  // namespace
}  // namespace ovcg_e2e
