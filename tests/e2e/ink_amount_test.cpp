// The ink a job uses, as the job interface reports it for each page, is the
// same on the serial path and on the parallel path with 1 to 16 workers.
// With more workers than inks each ink's long error-diffusion runs are cut
// in two and a helper walks the second halves: their dots must be counted
// like the others. Whole jobs through the entry points with the halftone
// engine itself, on models whose media ask for the dots to be counted; the
// amounts are read through the exported job interface (GetInkAmount), which
// the front end's calls are routed through here.
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "e2e_fixture.h"
#include "frontend/job_interface.h"
#include "ovcg/ovcg_jobif.h"
#include "support/hybrid_models.h"
#include "support/res_writer.h"
#include "support/sanitized.h"
#include "support/worker_parts.h"

namespace ovcg_e2e {
namespace {

using Amounts = std::array<uint32_t, 16>;  // the most ink planes a job has

std::vector<Amounts> g_pages;  // GetInkAmount at each page's end
int32_t g_inkResult = 0;       // its first failure

// Reading the amounts takes the dots counted so far from the counters (the
// page end takes what is left): they are read after the page's last band,
// just before its end.
int32_t ReadInkAndEndPage(HPLIMO3 handle, tagTPINFOSTRUCT* end) {
    Amounts a{};
    if (const int32_t e = ::GetInkAmount(handle, a.data()); e && !g_inkResult) g_inkResult = e;
    g_pages.push_back(a);
    return ::TerminatePageEx(handle, end);
}

const ovcg::frontend::ovcg_job_interface kInkReading = {::InitJob, ::InitPage, ::BandOut, ReadInkAndEndPage,
                                                        ::DestroyJob};

struct BoundInterface {
    BoundInterface() { ovcg::frontend::set_job_interface(&kInkReading); }
    ~BoundInterface() { ovcg::frontend::set_job_interface(nullptr); }
};

enum class Model { kDefault, kOneBitHybrid, kSixInks };

// The model with every media counting dots, its ink weights as large as they
// go (an amount is a weighted sum of thousands of dots over 100000).
const std::string& CountingModel(Model which) {
    static ovcg_test::TempFile files[3] = {ovcg_test::TempFile("ovcg_ink"), ovcg_test::TempFile("ovcg_ink"),
                                           ovcg_test::TempFile("ovcg_ink")};
    static const bool written = [] {
        for (int m = 0; m < 3; ++m) {
            ovcg_test::ModelDescription d =
                m == 0 ? ovcg_test::default_model() : ovcg_test::hybrid_model(m == 2);
            for (ovcg_test::ModelMedia& media : d.media) media.dot_counting = true;
            d.links.ink_weight_base = 3000;
            ovcg_test::build_model(d).write_file(files[m].path());
        }
        return true;
    }();
    (void)written;
    return files[static_cast<int>(which)].path();
}

// A photo-like line: smooth shading, soft blobs and a little noise, RGB.
void PhotoLine(int page, uint32_t y, std::vector<uint8_t>& line) {
    const size_t width = line.size() / 3;
    for (size_t x = 0; x < width; ++x) {
        const double fx = double(x) / double(width), fy = (y + 53.0 * page) / 80.0;
        const double blob = std::sin(fx * 17.0 + fy) * std::cos(fy * 2.3 - fx * 5.0);
        const double base[3] = {120 + 90 * blob, 100 + 60 * std::sin(fy) + 30 * std::sin(fx * 40.0),
                                90 + 70 * fx - 40 * blob};
        const uint32_t h = (uint32_t(x) * 2654435761u) ^ (y * 40503u + uint32_t(page) * 977u);
        for (int c = 0; c < 3; ++c) {
            const double v = base[c] + double((h >> (8 * c)) & 7) - 3.5;
            line[x * 3 + size_t(c)] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

struct InkJob {
    const char* name;
    Model model;
    const char* media;
    int inks;
    uint32_t lines;  // a page
};

struct InkRun {
    int32_t failure = 0;  // the first entry point that did not answer OVCG_OK
    std::vector<Amounts> pages;
    Bytes stream;
};

InkRun RunInkJob(const InkJob& j) {
    InkRun r;
    const std::pair<const char*, const char*> options[] = {
        {"MediaType", j.media},         {"ColorModel", "RGB"}, {"HighSpeed", "Off"},
        {"Mode", "Standard"},           {"AutoCut", "Off"},    {"BlackDensity", "100"},
        {"PageSize", "custom.303x432"}, {"ColorDensity", "100"}};
    for (const auto& [name, choice] : options) ovcgSetPrintOption(name, choice);
    g_pages.clear();
    g_inkResult = 0;
    Sink::reset();
    const auto note = [&](int32_t e) {
        if (e != OVCG_OK && !r.failure) r.failure = e;
    };
    note(ovcgSetResource(OVCG_RESOURCE_FILE, CountingModel(j.model).c_str()));
    note(ovcgStartJob(Sink::output, "7"));
    if (r.failure) return r;
    uint32_t width = 0;
    ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width);
    std::vector<uint8_t> line(size_t{width} * 3);
    for (int p = 0; p < 2; ++p) {
        note(ovcgStartPage());
        for (uint32_t y = 0; y < j.lines; ++y) {
            PhotoLine(p, y, line);
            note(ovcgRasterOut(line.data(), int32_t(line.size()), 0));
        }
        note(ovcgEndPage(0));
    }
    note(ovcgEndJob());
    note(g_inkResult);
    r.pages = g_pages;
    r.stream = Sink::bytes;
    return r;
}

TEST_F(E2eTest, TheParallelPathCountsTheInkTheSerialPathCounts) {
    const InkJob jobs[] = {
        {"2-bit 1200 dpi, 4 x 4 printer dots a pixel (Media274_Q4)", Model::kDefault, "Media274_Q4", 4, 32},
        {"1-bit dots (the one-bit medium made hybrid)", Model::kOneBitHybrid, "Media394_Q4", 4, 40},
        {"six inks", Model::kSixInks, "Media274_Q4", 6, 24},
    };
    BoundInterface bound;
    for (const InkJob& j : jobs) {
        SCOPED_TRACE(j.name);
        InkRun serial;
        {
            ovcg_test::WorkerParts parts(0);
            serial = RunInkJob(j);
        }
        ASSERT_EQ(serial.failure, OVCG_OK);
        ASSERT_EQ(serial.pages.size(), 2u);
        // Every ink of the photo is used on every page; nothing past the
        // job's inks is written.
        for (const Amounts& page : serial.pages)
            for (size_t p = 0; p < page.size(); ++p) {
                if (int(p) < j.inks) {
                    EXPECT_GT(page[p], 0u) << "ink " << p;
                } else {
                    EXPECT_EQ(page[p], 0u) << "ink " << p;
                }
            }
        for (unsigned workers : {1u, 3u, 7u, 16u}) {
            // Under the sanitizers one count that cuts the runs.
            if (ovcg_test::kSanitized && workers != 7) continue;
            ovcg_test::WorkerParts parts(workers);
            const InkRun r = RunInkJob(j);
            EXPECT_GT(parts.parallel, 0) << workers << " workers: the serial path taken";
            EXPECT_EQ(r.failure, OVCG_OK) << workers << " workers";
            EXPECT_EQ(r.pages, serial.pages) << workers << " workers";
            EXPECT_TRUE(r.stream == serial.stream) << workers << " workers";
        }
    }
}

}  // namespace
}  // namespace ovcg_e2e
