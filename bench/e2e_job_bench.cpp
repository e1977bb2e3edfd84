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
// job start and end included); Mpx/cpu_s (the same per CPU second of all the
// process's threads, a measure that holds on a shared machine); peak_MB, the most heap bytes the job held
// at once above what the process held before it (counted at the allocation
// functions, every thread; thread stacks not included); out_MB, the stream.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <sys/resource.h>

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

// The model the jobs print on: the default model with its 1-bit 1200-dpi
// media (the front end's Media394_Q4: source and printer resolution equal,
// one printer dot a source pixel) printing colour by hybrid error diffusion;
// and the same with the front end's colour format mapped to the model's
// widest ink set.
enum class Variant { kFourInks, kWidest };

ovcg_test::ModelDescription bench_model(Variant v) {
    ovcg_test::ModelDescription m = ovcg_test::default_model();
    for (ovcg_test::ModelMedia& media : m.media)
        if (media.number == 394) media.halftone_type = 6;
    if (v == Variant::kWidest) {
        int32_t widest = m.ink_sets.front().prt_format;
        size_t inks = 0;
        for (const ovcg_test::ModelInkSet& s : m.ink_sets)
            if (s.inks.size() > inks) inks = s.inks.size(), widest = s.prt_format;
        for (auto& alias : m.links.format_aliases)
            if (alias.first == 101) alias.second = widest;
    }
    return m;
}

struct JobKind {
    const char* name;
    Variant model;
    uint32_t channels;  // bytes a source pixel
    std::vector<std::pair<const char*, const char*>> options;
};

// The options of each job (PageSize is set per page height).
const JobKind kJobs[] = {
    {"4 inks 1-bit hybrid ED", Variant::kFourInks, 3, {{"MediaType", "Media394_Q4"}, {"ColorModel", "RGB"}}},
    {"widest ink set 1-bit hybrid ED", Variant::kWidest, 3, {{"MediaType", "Media394_Q4"}, {"ColorModel", "RGB"}}},
    {"gray 2-bit dither", Variant::kFourInks, 1, {{"MediaType", "Media334_Q4"}, {"ColorModel", "Gray"}}},
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

// The library's context for the whole run, and the model files.
class Library {
public:
    static Library& get() {
        static Library lib;
        return lib;
    }
    const std::string& model(Variant v) const { return files_[static_cast<size_t>(v)].path(); }

private:
    Library() {
        for (Variant v : {Variant::kFourInks, Variant::kWidest})
            ovcg_test::build_model(bench_model(v)).write_file(model(v));
        ovcg_callbacks cb{};
        cb.allocate = allocate;
        cb.release = release;
        for (void*& slot : cb.reserved) slot = reinterpret_cast<void*>(&count_output);
        ovcgInitialize("", &cb);
    }
    ~Library() { ovcgRelease(); }
    ovcg_test::TempFile files_[2] = {ovcg_test::TempFile("ovcg_e2e_bench"), ovcg_test::TempFile("ovcg_e2e_bench")};
};

// The page a custom size gives: width and height in source pixels; false
// when the job does not start.
bool page_for(double w_dots, double h_dots, uint32_t* w, uint32_t* h) {
    char size[64];
    std::snprintf(size, sizeof size, "custom.%.5fx%.5fin", w_dots / 300, h_dots / 300);
    ovcgSetPrintOption("PageSize", size);
    if (ovcgStartJob(count_output, "1") != OVCG_OK) return false;
    ovcgGetPageAttribute(OVCG_PAGE_WIDTH, w);
    ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, h);
    ovcgEndJob();
    return true;
}

// Sets the job's options with the custom page size (in 300-dpi dots) that
// gives a page of kPageWidth x height source pixels: the page is the size
// times the source resolution less the margins, both learnt from two job
// starts.
bool set_options(const JobKind& job, uint32_t height, uint32_t* width_out, uint32_t* height_out) {
    ovcgSetResource(OVCG_RESOURCE_FILE, Library::get().model(job.model).c_str());
    for (const auto& [n, c] : job.options) ovcgSetPrintOption(n, c);
    uint32_t w0, h0, w1, h1;
    if (!page_for(3000, 3000, &w0, &h0) || !page_for(4000, 4000, &w1, &h1)) return false;
    const double sx = (double(w1) - w0) / 1000, sy = (double(h1) - h0) / 1000;  // pixels a dot
    double w_dots = 3000 + (double(kPageWidth) - w0) / sx, h_dots = 3000 + (double(height) - h0) / sy;
    for (int attempt = 0; attempt < 6; ++attempt) {
        if (!page_for(w_dots, h_dots, width_out, height_out)) return false;
        if (*width_out == kPageWidth && *height_out == height) break;
        w_dots += (double(kPageWidth) - *width_out) / sx;
        h_dots += (double(height) - *height_out) / sy;
    }
    return true;  // the nearest the options give
}

// CPU seconds the process has used, every thread.
double process_cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
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
    // Lines of the photo's width: a page the options make a few pixels
    // wider is padded with white by the library. RGB lines go straight from
    // the scaled rows; gray lines are made from their green samples.
    const size_t pixels = std::min<size_t>(w, kPageWidth);
    std::vector<uint8_t> gray(pixels);
    uint64_t peak = 0, out = 0;
    const double cpu0 = process_cpu_seconds();
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
            if (job.channels == 1) {
                for (size_t x = 0; x < pixels; ++x) gray[x] = row[x * 3 + 1];
                row = gray.data();
            }
            failure = ovcgRasterOut(row, static_cast<int32_t>(pixels * job.channels), 0);
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
    const double cpu = process_cpu_seconds() - cpu0;
    sched_setaffinity(0, sizeof old, &old);
    if (failure) {
        state.SkipWithError((std::string(where) + " failed with " + std::to_string(failure)).c_str());
        return;
    }
    state.SetLabel(std::string(job.name) + ", " + std::to_string(pixels) + "x" + std::to_string(h) + " on a " +
                   std::to_string(w) + "x" + std::to_string(h) + " page");
    state.counters["Mpx/s"] =
        benchmark::Counter(double(pixels) * h / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    // The same per CPU second of all the process's threads: what the job
    // costs, whatever else the machine runs.
    state.counters["Mpx/cpu_s"] = double(pixels) * h / 1e6 * double(state.iterations()) / cpu;
    state.counters["peak_MB"] = double(peak) / 1e6;
    state.counters["out_MB"] = double(out) / 1e6;
}

BENCHMARK(BM_E2eJob)
    ->ArgNames({"job", "cores", "height"})
    ->ArgsProduct({{0, 1, 2}, {1, 8}, {1}})
    ->Args({0, 1, 4})
    ->Args({0, 8, 4})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace
