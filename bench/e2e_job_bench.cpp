// A whole level-2 job through the exported entry points, as a print filter
// runs it: options, job start, one 9921 x 7016 RGB photo page fed a line a
// call, page end, job end; the stream goes to an output function that only
// counts it. The page is the shared photo (photo_image.h) scaled to the
// page by nearest neighbour, made once before timing.
//
// Arguments: the job (0: four inks of one-bit dots by hybrid error
// diffusion; 1: the model's widest ink set), the cores the process may use
// (its threads are pinned to that many CPUs: 1 is the serial figure, the
// halftoning workers then share the caller's core) and the page's height in
// multiples of 7016 lines (4: the peak memory must not depend on it).
//
// Counters: source Mpx/s (page pixels fed per second of wall-clock time,
// job start and end included); peak_MB, the most heap bytes the job held
// at once above what the process held before it (counted at the allocation
// functions, every thread; thread stacks not included); out_MB, the stream.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ovcg/ovcg.h"
#include "photo_image.h"
#include "support/heap_counter.h"
#include "support/model.h"
#include "support/res_writer.h"

namespace {

constexpr uint32_t kPageWidth = 9921, kPageHeight = 7016;

struct JobKind {
    const char* name;
    uint32_t channels;  // bytes a source pixel
    std::vector<std::pair<const char*, const char*>> options;
};

// The options of each job (PageSize is set per page height).
const JobKind kJobs[] = {
    {"4 inks 1-bit hybrid ED", 3, {{"MediaType", "Media396_Q5"}, {"ColorModel", "RGB"}}},
    {"widest ink set", 3, {{"MediaType", "Media274_Q5"}, {"ColorModel", "RGB"}}},
    {"gray", 1, {{"MediaType", "Media274_Q4"}, {"ColorModel", "Gray"}}},
};

uint64_t g_out = 0;
int32_t count_output(const uint8_t*, int32_t length) {
    g_out += static_cast<uint64_t>(length);
    return length;
}
void* allocate(size_t n) { return std::malloc(n); }
void release(void* p) { std::free(p); }

// The photo's rows scaled to the page width, RGB: row r of the page is
// rows()[r * 3000 / height].
const std::vector<uint8_t>& scaled_rows() {
    static const std::vector<uint8_t> rows = [] {
        const std::vector<uint8_t>& photo = ovcg_bench::PhotoImage();
        std::vector<uint8_t> out(size_t{kPageWidth} * 3 * ovcg_bench::kPhotoHeight);
        for (int y = 0; y < ovcg_bench::kPhotoHeight; ++y) {
            uint8_t* o = &out[size_t(y) * kPageWidth * 3];
            for (uint32_t x = 0; x < kPageWidth; ++x) {
                const size_t sx = size_t{x} * ovcg_bench::kPhotoWidth / kPageWidth;
                const uint8_t* p = &photo[(size_t(y) * ovcg_bench::kPhotoWidth + sx) * 4];
                o[x * 3] = p[0], o[x * 3 + 1] = p[1], o[x * 3 + 2] = p[2];
            }
        }
        return out;
    }();
    return rows;
}

// The library's context for the whole run, on the default model.
class Library {
public:
    static Library& get() {
        static Library lib;
        return lib;
    }
    const std::string& model() const { return file_.path(); }

private:
    Library() : file_("ovcg_e2e_bench") {
        ovcg_test::build_model(ovcg_test::default_model()).write_file(file_.path());
        ovcg_callbacks cb{};
        cb.allocate = allocate;
        cb.release = release;
        for (void*& slot : cb.reserved) slot = reinterpret_cast<void*>(&count_output);
        ovcgInitialize("", &cb);
        ovcgSetResource(OVCG_RESOURCE_FILE, file_.path().c_str());
    }
    ~Library() { ovcgRelease(); }
    ovcg_test::TempFile file_;
};

// Sets the job's options with a custom page size that gives `height` lines
// of kPageWidth pixels; the margins are learnt from a first job start.
bool set_options(const JobKind& job, uint32_t height, uint32_t* width_out, uint32_t* height_out) {
    for (const auto& [n, c] : job.options) ovcgSetPrintOption(n, c);
    int64_t w_dots = kPageWidth, h_dots = height;  // 300-dpi dots asked for
    for (int attempt = 0; attempt < 4; ++attempt) {
        char size[64];
        std::snprintf(size, sizeof size, "custom.%.5fx%.5fin", double(w_dots) / 300, double(h_dots) / 300);
        ovcgSetPrintOption("PageSize", size);
        if (ovcgStartJob(count_output, "1") != OVCG_OK) return false;
        uint32_t w = 0, h = 0;
        ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &w);
        ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, &h);
        ovcgEndJob();
        *width_out = w;
        *height_out = h;
        if (w == kPageWidth && h == height) return true;
        w_dots += int64_t{kPageWidth} - w;
        h_dots += int64_t{height} - h;
    }
    return true;  // the nearest the options give
}

// Pins the calling thread (and the threads it starts) to `cores` of the CPUs
// it may use; returns the mask to restore.
cpu_set_t pin(int cores) {
    cpu_set_t old;
    CPU_ZERO(&old);
    sched_getaffinity(0, sizeof old, &old);
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int c = 0, n = 0; c < CPU_SETSIZE && n < cores; ++c)
        if (CPU_ISSET(c, &old)) CPU_SET(c, &set), ++n;
    sched_setaffinity(0, sizeof set, &set);
    return old;
}

void BM_E2eJob(benchmark::State& state) {
    const JobKind& job = kJobs[state.range(0)];
    const int cores = static_cast<int>(state.range(1));
    const uint32_t height = kPageHeight * static_cast<uint32_t>(state.range(2));
    Library::get();
    const std::vector<uint8_t>& rows = scaled_rows();
    uint32_t w = 0, h = 0;
    if (!set_options(job, height, &w, &h)) {
        state.SkipWithError("the job does not start with these options");
        return;
    }
    const cpu_set_t old = pin(cores);
    std::vector<uint8_t> line(size_t{w} * job.channels, 0xFF);
    const size_t pixels = std::min<size_t>(w, kPageWidth);
    uint64_t peak = 0, out = 0;
    int32_t failure = 0;
    const char* where = "";
    for (auto _ : state) {
        g_out = 0;
        const uint64_t base = ovcg_test::heap_bytes();
        ovcg_test::heap_reset_peak();
        if ((failure = ovcgStartJob(count_output, "1")) != OVCG_OK) {
            where = "ovcgStartJob";
            break;
        }
        if ((failure = ovcgStartPage()) != OVCG_OK) {
            where = "ovcgStartPage";
            ovcgEndJob();
            break;
        }
        for (uint32_t y = 0; y < h && !failure; ++y) {
            const uint8_t* row = &rows[size_t{y} * ovcg_bench::kPhotoHeight / h * kPageWidth * 3];
            if (job.channels == 3) {
                std::copy(row, row + pixels * 3, line.begin());
            } else {
                for (size_t x = 0; x < pixels; ++x) line[x] = row[x * 3 + 1];
            }
            failure = ovcgRasterOut(line.data(), static_cast<int32_t>(line.size()), 0);
            if (failure) where = "ovcgRasterOut";
        }
        const int32_t end_page = ovcgEndPage(failure ? 1 : 0);
        const int32_t end_job = ovcgEndJob();
        if (!failure && (end_page || end_job)) {
            failure = end_page ? end_page : end_job;
            where = end_page ? "ovcgEndPage" : "ovcgEndJob";
        }
        if (failure) break;
        peak = std::max(peak, ovcg_test::heap_peak_bytes() - base);
        out = g_out;
    }
    sched_setaffinity(0, sizeof old, &old);
    if (failure) {
        state.SkipWithError((std::string(where) + " failed with " + std::to_string(failure)).c_str());
        return;
    }
    state.SetLabel(std::string(job.name) + ", " + std::to_string(w) + "x" + std::to_string(h));
    state.counters["Mpx/s"] =
        benchmark::Counter(double(w) * h / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = double(peak) / 1e6;
    state.counters["out_MB"] = double(out) / 1e6;
}

BENCHMARK(BM_E2eJob)
    ->ArgNames({"job", "cores", "height"})
    ->ArgsProduct({{0, 1, 2}, {1, 8}, {1}})
    ->Args({0, 8, 4})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace
