// A whole level-2 job through the exported entry points, as a print filter
// runs it: options, job start, one RGB photo page fed a line a call, page
// end, job end; the stream goes to an output function that only counts it.
// The page is the shared photo (photo_image.h) scaled to the page by nearest
// neighbour, made once before timing.
//
// Arguments: the job (0: four inks of one-bit dots by hybrid error
// diffusion, a 9921 x 7016 page; 1: the model's widest ink set, the same
// page; 2: gray by dither; 3: the print tool's two-bit 1200-dpi hybrid medium
// (Media274_Q4) on an A1 page), the cores (the process's threads are pinned
// to that many of the CPUs it may use, and the library runs one worker less
// than that: 1 is the serial path) and the page's height in multiples of
// 7016 lines (4: the peak memory must not depend on it; job 3 has its own).
//
// Each iteration runs the job on one core, then on the cores asked for (the
// two meet the same load on a shared machine); the time reported is the
// latter's. Counters: Mpx/s on the cores and on one core (page pixels fed
// per second of wall-clock time, job start and end included) and speedup,
// their ratio; Mpx/cpu_s (per CPU second of all the process's threads, a
// measure that holds on a shared machine); peak_MB, the most heap bytes the
// job held at once above what the process held before it (counted at the
// allocation functions, every thread; thread stacks not included); out_MB,
// the stream; cpus, the CPUs the threads were pinned to.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ovcg/ovcg.h"
#include "cpu_pin.h"
#include "photo_image.h"
#include "support/heap_counter.h"
#include "support/hybrid_models.h"
#include "support/model.h"
#include "support/res_writer.h"

namespace {

constexpr uint32_t kPageWidth = 9921, kPageHeight = 7016;

// The model the jobs print on: the default model with its 1-bit 1200-dpi
// media (the front end's Media394_Q4: source and printer resolution equal,
// one printer dot a source pixel) printing colour by hybrid error diffusion;
// the same with the front end's colour format mapped to the model's widest
// ink set; and the default model itself.
enum class Variant { kFourInks, kWidest, kDefault };

ovcg_test::ModelDescription bench_model(Variant v) {
    if (v == Variant::kDefault) return ovcg_test::default_model();
    return ovcg_test::hybrid_model(v == Variant::kWidest);
}

struct JobKind {
    const char* name;
    Variant model;
    uint32_t channels;  // bytes a source pixel
    std::vector<std::pair<const char*, const char*>> options;
};

// The options of each job (PageSize is set per page height, unless the job
// names its page).
const JobKind kJobs[] = {
    {"4 inks 1-bit hybrid ED", Variant::kFourInks, 3, {{"MediaType", "Media394_Q4"}, {"ColorModel", "RGB"}}},
    {"widest ink set 1-bit hybrid ED", Variant::kWidest, 3, {{"MediaType", "Media394_Q4"}, {"ColorModel", "RGB"}}},
    {"gray 2-bit dither", Variant::kFourInks, 1, {{"MediaType", "Media334_Q4"}, {"ColorModel", "Gray"}}},
    {"4 inks 2-bit hybrid ED 1200 dpi, A1", Variant::kDefault, 3,
     {{"MediaType", "Media274_Q4"}, {"ColorModel", "RGB"}, {"PageSize", "A1_RollNMgn"}}},
};

// The stream's length and a checksum of it (the runs on one core and on
// several must give the same bytes): a sum of its 8-byte words, each
// weighted by its position (the spooler cuts the same stream the same way),
// cheap beside the job.
uint64_t g_out = 0, g_sum = 0;
int32_t count_output(const uint8_t* data, int32_t length) {
    uint64_t sum = g_sum;
    const uint64_t at = g_out;
    int32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t w;
        std::memcpy(&w, data + i, 8);
        sum += w * (2 * (at + uint64_t(i)) + 1);
    }
    for (; i < length; ++i) sum += uint64_t(data[i]) * (2 * (at + uint64_t(i)) + 1);
    g_sum = sum;
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
        for (Variant v : {Variant::kFourInks, Variant::kWidest, Variant::kDefault})
            ovcg_test::build_model(bench_model(v)).write_file(model(v));
        ovcg_callbacks cb{};
        cb.allocate = allocate;
        cb.release = release;
        for (void*& slot : cb.reserved) slot = reinterpret_cast<void*>(&count_output);
        ovcgInitialize("", &cb);
    }
    ~Library() { ovcgRelease(); }
    ovcg_test::TempFile files_[3] = {ovcg_test::TempFile("ovcg_e2e_bench"), ovcg_test::TempFile("ovcg_e2e_bench"),
                                     ovcg_test::TempFile("ovcg_e2e_bench")};
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
    for (const auto& [n, c] : job.options)
        if (std::string(n) == "PageSize") {
            if (ovcgStartJob(count_output, "1") != OVCG_OK) return false;
            ovcgGetPageAttribute(OVCG_PAGE_WIDTH, width_out);
            ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, height_out);
            ovcgEndJob();
            return true;
        }
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

struct JobRun {
    double wall = 0, cpu = 0;
    uint64_t peak = 0, out = 0, sum = 0;
    int cpus = 0;
};

// The job once with the process's threads pinned to `cores` CPUs; an empty
// answer, or where it failed and the code.
std::string run_job(const JobKind& job, uint32_t w, uint32_t h, int cores, JobRun* run) {
    const std::vector<uint8_t>& rows = scaled_rows();
    const cpu_set_t old = ovcg_bench::Pin(cores);
    run->cpus = ovcg_bench::PinnedCpus();
    // Lines of the photo's width: a page the options make a few pixels
    // wider is padded with white by the library, a narrower one takes the
    // lines' start. RGB lines go straight from the scaled rows; gray lines
    // are made from their green samples.
    const size_t pixels = std::min<size_t>(w, kPageWidth);
    std::vector<uint8_t> gray(pixels);
    g_out = g_sum = 0;
    const uint64_t base = ovcg_test::heap_bytes();
    ovcg_test::heap_reset_peak();
    const double cpu0 = process_cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    int32_t failure = 0;
    std::string where;
    if ((failure = ovcgStartJob(count_output, "1")) != OVCG_OK) {
        where = "ovcgStartJob";
    } else if ((failure = ovcgStartPage()) != OVCG_OK) {
        where = "ovcgStartPage";
        ovcgEndJob();
    } else {
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
    }
    run->wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run->cpu = process_cpu_seconds() - cpu0;
    run->peak = ovcg_test::heap_peak_bytes() - base;
    run->out = g_out;
    run->sum = g_sum;
    ovcg_bench::Unpin(old);
    return failure ? where + " failed with " + std::to_string(failure) : std::string();
}

void BM_E2eJob(benchmark::State& state) {
    const JobKind& job = kJobs[state.range(0)];
    const int cores = static_cast<int>(state.range(1));
    const uint32_t height = kPageHeight * static_cast<uint32_t>(state.range(2));
    Library::get();
    scaled_rows();
    uint32_t w = 0, h = 0;
    if (!set_options(job, height, &w, &h)) {
        state.SkipWithError("the job does not start with these options");
        return;
    }
    JobRun one, many, sumOne, sumMany;
    for (auto _ : state) {
        std::string error;
        if (cores > 1) error = run_job(job, w, h, 1, &one);
        if (error.empty()) error = run_job(job, w, h, cores, &many);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        if (cores == 1) one = many;
        if (one.out != many.out || one.sum != many.sum) {
            state.SkipWithError("the stream on the cores differs from the stream on one core");
            return;
        }
        state.SetIterationTime(many.wall);
        sumOne.wall += one.wall;
        sumMany.wall += many.wall;
        sumMany.cpu += many.cpu;
        sumMany.peak = std::max(sumMany.peak, many.peak);
    }
    const double px = double(std::min<size_t>(w, kPageWidth)) * h / 1e6;
    const double n = double(state.iterations());
    state.SetLabel(std::string(job.name) + ", " + std::to_string(std::min<size_t>(w, kPageWidth)) + "x" +
                   std::to_string(h) + " on a " + std::to_string(w) + "x" + std::to_string(h) + " page");
    state.counters["Mpx/s"] = px * n / sumMany.wall;
    state.counters["Mpx/s_1core"] = px * n / sumOne.wall;
    state.counters["speedup"] = sumOne.wall / sumMany.wall;
    state.counters["Mpx/cpu_s"] = px * n / sumMany.cpu;
    state.counters["peak_MB"] = double(sumMany.peak) / 1e6;
    state.counters["out_MB"] = double(many.out) / 1e6;
    state.counters["cpus"] = many.cpus;
}

BENCHMARK(BM_E2eJob)
    ->ArgNames({"job", "cores", "height"})
    ->ArgsProduct({{0, 1, 2}, {1, 2, 4, 8}, {1}})
    ->Args({0, 1, 4})
    ->Args({0, 8, 4})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(2);

// The A1 page of the print tool's medium: about half a minute on one core.
BENCHMARK(BM_E2eJob)
    ->ArgNames({"job", "cores", "height"})
    ->ArgsProduct({{3}, {1, 2, 4, 8}, {1}})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

}  // namespace
