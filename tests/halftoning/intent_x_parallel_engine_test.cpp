// The parallel path on the halftone engine itself (the synthetic model,
// written here): short colour jobs through the exported entry points print
// the same stream serially and with several workers, so that the
// ThreadSanitizer build runs the engine's own instances on the workers
// (conversion instances, per-channel instances) beside the calling thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ovcg/ovcg.h"
#include "support/hybrid_models.h"
#include "support/model.h"
#include "support/res_writer.h"
#include "support/worker_parts.h"

namespace ovcg_test {
namespace {

std::vector<uint8_t> g_stream;
int32_t Collect(const uint8_t* data, int32_t length) {
    g_stream.insert(g_stream.end(), data, data + length);
    return length;
}
void* Allocate(size_t n) { return std::malloc(n); }
void Release(void* p) { std::free(p); }

// The default model with its one-bit medium made hybrid, with CMYK or the
// widest ink set (six inks).
const std::string& ModelPath(bool widest) {
    static TempFile files[2] = {TempFile("ovcg_parallel_engine"), TempFile("ovcg_parallel_engine")};
    static const bool written = [] {
        for (int w = 0; w < 2; ++w) build_model(hybrid_model(w == 1)).write_file(files[w].path());
        return true;
    }();
    (void)written;
    return files[widest ? 1 : 0].path();
}

struct EngineJob {
    const char* media;
    uint32_t lines;      // fed of the page's
    bool abort = false;  // the page ends aborted
    bool widest = false; // six inks
};

// One job of one page: its results joined, and the stream.
std::string RunJob(const EngineJob& j, std::vector<uint8_t>* stream) {
    g_stream.clear();
    std::string results;
    auto note = [&results](const char* what, int32_t r) {
        if (r) results += std::string(what) + " " + std::to_string(r) + "; ";
    };
    static int unused;
    ovcg_callbacks cb{};
    cb.allocate = Allocate;
    cb.release = Release;
    for (void*& slot : cb.reserved) slot = &unused;
    note("initialize", ovcgInitialize("", &cb));
    note("resource", ovcgSetResource(OVCG_RESOURCE_FILE, ModelPath(j.widest).c_str()));
    ovcgSetPrintOption("MediaType", j.media);
    ovcgSetPrintOption("ColorModel", "RGB");
    ovcgSetPrintOption("PageSize", "custom.303x432");
    note("job", ovcgStartJob(Collect, "3"));
    note("page", ovcgStartPage());
    uint32_t width = 0;
    ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width);
    std::vector<uint8_t> line(size_t{width} * 3);
    for (uint32_t y = 0; y < j.lines; ++y) {
        for (size_t i = 0; i < line.size(); ++i) {
            uint32_t v = (static_cast<uint32_t>(i) * 3 + y * 5) & 0x1FF;
            line[i] = static_cast<uint8_t>(v > 255 ? 511 - v : v);
        }
        note("line", ovcgRasterOut(line.data(), static_cast<int32_t>(line.size()), 0));
    }
    note("page end", ovcgEndPage(j.abort ? 1 : 0));
    note("job end", ovcgEndJob());
    note("release", ovcgRelease());
    *stream = g_stream;
    return results;
}

TEST(IntentXParallelEngineTest, TheEngineOnTheWorkersPrintsWhatItPrintsSerially) {
    const EngineJob jobs[] = {
        {"Media274_Q4", 14},
        {"Media281_Q3", 37, true},
        {"Media394_Q4", 21},
        {"Media274_Q4", 11, false, true},
        {"Media394_Q4", 19, false, true},
    };
    for (const EngineJob& j : jobs) {
        SCOPED_TRACE(std::string(j.media) + (j.widest ? ", six inks" : ""));
        std::vector<uint8_t> serial;
        {
            WorkerParts parts(0);
            ASSERT_EQ(RunJob(j, &serial), "");
        }
        ASSERT_FALSE(serial.empty());
        for (unsigned workers : {1u, 3u, 7u}) {
            WorkerParts parts(workers);
            std::vector<uint8_t> stream;
            EXPECT_EQ(RunJob(j, &stream), "");
            EXPECT_GT(parts.parallel, 0);
            EXPECT_TRUE(stream == serial) << workers << " workers: " << stream.size() << " bytes, serially "
                                          << serial.size();
        }
    }
}

}  // namespace
}  // namespace ovcg_test
