// A colour page by hybrid error diffusion through the band driver: A1 width
// at 720 dpi (16838 pixels), 2000 rows of RGBX, N inks of two-bit dots. The
// serial path (one engine call converts and halftones every ink) against the
// parallel one (the workers convert and halftone each ink with its own
// instance; the calling thread hands the rows on). The bench engine converts
// by table look-up (RGB to N inks through 4096 nodes) and halftones each ink
// by one-dimensional error diffusion; both paths print the same dots.
// Arguments: N, the cores (the parallel page's threads are pinned to that
// many CPUs and the band driver runs one worker less; the serial page runs on
// one) and the band's rows (2 as the front end sends bands, 500 for taller
// ones). Times are wall-clock; the counters give both paths' page times and
// speed-up = serial / parallel.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/hxr_dll.h"
#include "engine/out_module.h"
#include "engine/plimo_buffer.h"
#include "cpu_pin.h"
#include "halftoning/intent_x.h"

namespace {

constexpr unsigned kWidth = 16838;
constexpr unsigned kRows = 2000;
constexpr unsigned kMaxInks = 12;
constexpr unsigned kNodes = 4096;  // 16 levels per RGB axis

// ---------------------------------------------------------------------------
// The bench engine

unsigned g_inks = 4;
std::vector<uint8_t> g_lut;  // per ink kNodes amounts, ink after ink

struct BenchInstance {
    _HXR_IMAGE_INFO image;
    unsigned inks;
    std::vector<uint8_t> scratch;  // the main instance's ink rows
    std::vector<uint16_t> nodes;   // the main instance's node of each pixel
};

// RGB samples (every `stride` bytes) to `inks` ink rows, columns x0 on: the
// node of each pixel first, then each ink's amounts from its table.
void Convert(BenchInstance& in, const void* const* rgb, int pixels, int x0, unsigned char* const* out) {
    const auto* r = static_cast<const uint8_t*>(rgb[0]);
    const auto* g = static_cast<const uint8_t*>(rgb[1]);
    const auto* b = static_cast<const uint8_t*>(rgb[2]);
    const size_t stride = in.image.pixelOffset;
    uint16_t* node = in.nodes.data();
    if (stride == 4 && g == r + 1 && b == r + 2) {
        // RGBX pixels: one word a pixel.
        for (int x = 0; x < pixels; ++x) {
            uint32_t p;
            std::memcpy(&p, r + size_t(x0 + x) * 4, 4);
            node[x] = static_cast<uint16_t>((p << 4 & 0xF00) | (p >> 8 & 0xF0) | (p >> 20 & 0xF));
        }
    } else {
        for (int x = 0; x < pixels; ++x) {
            const size_t at = size_t(x0 + x) * stride;
            node[x] = static_cast<uint16_t>((r[at] >> 4) << 8 | (g[at] >> 4) << 4 | b[at] >> 4);
        }
    }
    for (unsigned k = 0; k < in.inks; ++k) {
        const uint8_t* table = &g_lut[size_t{k} * kNodes];
        uint8_t* o = out[k] + x0;
        for (int x = 0; x < pixels; ++x) o[x] = table[node[x]];
    }
}

// One ink row to two-bit dots (levels 0 to 3), the error carried along the
// row; the dots of columns x0 on replace exactly their bits.
void Diffuse(const uint8_t* ink, int pixels, int x0, uint8_t* out) {
    int err = 0;
    const auto level = [&err](int amount) {
        const int v = amount + err;
        const int l = (v >= 43) + (v >= 128) + (v >= 213);
        err = v - l * 85;
        return l;
    };
    const auto put = [out](int column, int l) {
        const int shift = 6 - 2 * (column & 3);
        out[column >> 2] = uint8_t((out[column >> 2] & ~(3 << shift)) | l << shift);
    };
    const int end = x0 + pixels;
    int column = x0;
    for (; column < end && (column & 3) != 0; ++column) put(column, level(ink[column]));
    for (; column + 4 <= end; column += 4) {
        int byte = 0;
        for (int i = 0; i < 4; ++i) byte = byte << 2 | level(ink[column + i]);
        out[column >> 2] = static_cast<uint8_t>(byte);
    }
    for (; column < end; ++column) put(column, level(ink[column]));
}

uint32_t GetDefaultValue(void* option) {
    std::memset(option, 0, sizeof(_HXR_OPTION_INFO));
    return 0;
}
uint32_t ColourOrder(signed char* order) {
    for (unsigned k = 0; k < g_inks; ++k) order[k] = static_cast<signed char>(k);
    return g_inks;
}
uint32_t GetOutputColorOrderRough(int, signed char* order, const HXRServiceTable*) { return ColourOrder(order); }
uint32_t GetOutputColorOrder(void*, signed char* order) { return ColourOrder(order); }
uint32_t CreateInstance(void** handle, const void* image, const void*, const void*, const HXRServiceTable*, int) {
    auto* in = new BenchInstance{*static_cast<const _HXR_IMAGE_INFO*>(image), g_inks, {}, {}};
    in->scratch.resize(size_t{g_inks} * (kWidth + 1));
    in->nodes.resize(kWidth + 1);
    *handle = in;
    return 0;
}
void DeleteInstance(void* handle) { delete static_cast<BenchInstance*>(handle); }
uint32_t HandleOnly(void*) { return 0; }
uint32_t HandleAndRecord(void*, const void*) { return 0; }
uint32_t StartPage(void*, const int*) { return 0; }
uint32_t GetOutputBufferSize(void*, int*) { return 0; }
uint32_t GetDotCount(void*, unsigned int*, int) { return 0; }
uint32_t GetSlut(void*, unsigned char**, int*) { return 1; }

uint32_t Halftone(void* handle, unsigned char** out, int* anyDot, const void** planes, const unsigned char**,
                  int pixels, int x0, int lines, int) {
    auto* in = static_cast<BenchInstance*>(handle);
    const unsigned n = in->inks;
    for (int j = 0; j < lines; ++j) {
        unsigned char** rows = out + size_t(j) * n;
        if (in->image.colorMode == 100 + n) {
            // A per-channel instance: the ink rows of its channel's entries.
            for (unsigned k = 0; k < n; ++k)
                if (rows[k]) Diffuse(static_cast<const uint8_t*>(planes[size_t(j) * n + k]), pixels, x0, rows[k]);
            continue;
        }
        unsigned char* ink[kMaxInks];
        for (unsigned k = 0; k < n; ++k) ink[k] = in->scratch.data() + size_t{k} * (kWidth + 1);
        Convert(*in, planes + size_t(j) * 3, pixels, x0, ink);
        for (unsigned k = 0; k < n; ++k)
            if (rows[k]) Diffuse(ink[k], pixels, x0, rows[k]);
    }
    if (anyDot) *anyDot = 1;
    return 0;
}

uint32_t ConvertColor(void* handle, unsigned char** out, int* start, int* length, const void** planes,
                      const unsigned char**, int pixels, int x0, int lines, int) {
    auto* in = static_cast<BenchInstance*>(handle);
    for (int j = 0; j < lines; ++j)
        Convert(*in, planes + size_t(j) * 3, pixels, x0, out + size_t(j) * in->inks);
    *start = x0;
    *length = pixels;
    return 0;
}

HxrEngineTable BenchTable() {
    return HxrEngineTable{&GetDefaultValue, &GetOutputColorOrderRough, &CreateInstance, &DeleteInstance,
                          &HandleAndRecord, &StartPage,                &Halftone,       &ConvertColor,
                          &HandleOnly,      &GetOutputColorOrder,      &GetOutputBufferSize, &GetDotCount,
                          &GetSlut,         &StartPage,                nullptr};
}

// The rows handed on are counted, nothing more: the output side is not
// measured.
class CountingOut : public COutModule {
public:
    int RasterOut(unsigned int count, unsigned int, unsigned char**, unsigned int) override {
        rows += count;
        return 0;
    }
    int EmptyRasterOut(unsigned int count, unsigned int) override {
        rows += count;
        return 0;
    }
    uint64_t rows = 0;
};

// ---------------------------------------------------------------------------
// The page

class HybridPage {
public:
    HybridPage(unsigned inks, unsigned workers, unsigned bandRows) : m_bandRows(bandRows) {
        g_inks = inks;
        if (g_lut.empty()) {
            std::mt19937 rng(7);
            g_lut.resize(size_t{kNodes} * kMaxInks);
            for (uint8_t& v : g_lut) v = static_cast<uint8_t>(rng());
        }
        m_buffer = std::make_unique<CPlimoBuffer>(int(inks), 2, 0, kWidth, tagPOINT{720, 720}, tagPOINT{720, 720},
                                                  2, 1);
        m_ht.version = 5;
        m_ht.halftone_type = 6;
        m_ht.gamma = 100;
        m_init.src_format = 7;
        m_init.color_type = 7;
        m_init.ink_set_id = 1;
        m_init.src_width = kWidth;
        m_init.page_length = kRows;
        m_init.sub_type = m_init.out_bits = m_init.ht_sub_type = -1;
        m_init.band_buffer = m_buffer.get();
        m_init.ht_struct = &m_ht;
        m_init.hxr_dll = &m_dll;
        m_init.out_module = &m_out;
        m_init.band_lines = 2;
        m_init.band_rows = 2;
        m_init.reduce_step = 1;
        m_init.prt_resolution = m_init.src_resolution = tagPOINT{720, 720};
        m_x = std::make_unique<ovcg::CIntentX>(&m_init, workers);
        // One band of random RGBX pixels serves every band (RGBX needs no
        // conversion in place, so it stays as it is).
        std::mt19937 rng(11);
        m_pixels.resize(size_t{bandRows} * kWidth * 4);
        for (uint8_t& v : m_pixels) v = static_cast<uint8_t>(rng());
    }

    // 0, or the first failing band's code.
    int Print() {
        if (int r = m_x->StartPage()) return r;
        tagBANDBMP bmp{kWidth * 4, m_pixels.data()};
        for (unsigned top = 0; top < kRows; top += m_bandRows) {
            const unsigned rows = std::min(m_bandRows, kRows - top);
            const tagRECT band{0, top, kWidth, top + rows}, clip{0, 0, kWidth, rows};
            if (int r = m_x->BandOut(&clip, &bmp, nullptr, &band, nullptr)) return r;
        }
        return m_x->EndPage();
    }
    uint64_t Rows() const { return m_out.rows; }

private:
    unsigned m_bandRows;
    CHXRDLL m_dll{"bench", BenchTable()};
    CountingOut m_out;
    std::unique_ptr<CPlimoBuffer> m_buffer;
    tagHTSTRUCT3_5 m_ht{};
    ovcg::tagHTINITSTRUCT m_init{};
    std::unique_ptr<ovcg::CIntentX> m_x;
    std::vector<uint8_t> m_pixels;
};

// Serial and parallel pages alternately, so that both meet the same load;
// the iteration time is the parallel page's.
void BM_HybridPage(benchmark::State& state) {
    const unsigned inks = unsigned(state.range(0)), cores = unsigned(state.range(1)), band = unsigned(state.range(2));
    HybridPage serial(inks, 0, band), parallel(inks, cores - 1, band);
    const auto print = [](HybridPage& page, unsigned on) {
        const cpu_set_t old = ovcg_bench::Pin(int(on));
        const int r = page.Print();
        ovcg_bench::Unpin(old);
        return r;
    };
    // Warm-up; the parallel page's workers start here.
    if (print(serial, 1) != 0 || print(parallel, cores) != 0) {
        state.SkipWithError("the page failed");
        return;
    }
    using Clock = std::chrono::steady_clock;
    std::chrono::duration<double> serialTime{0}, parallelTime{0};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const int a = print(serial, 1);
        const auto t1 = Clock::now();
        const int b = print(parallel, cores);
        const auto t2 = Clock::now();
        if (a != 0 || b != 0) state.SkipWithError("the page failed");
        serialTime += t1 - t0;
        parallelTime += t2 - t1;
        state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
    }
    const double n = double(state.iterations());
    state.counters["serial_ms"] = serialTime.count() * 1e3 / n;
    state.counters["parallel_ms"] = parallelTime.count() * 1e3 / n;
    state.counters["speedup"] = serialTime.count() / parallelTime.count();
    const cpu_set_t old = ovcg_bench::Pin(int(cores));
    state.counters["cpus"] = ovcg_bench::PinnedCpus();
    ovcg_bench::Unpin(old);
}

// The bench engine's two kernels on one row: the conversion to N inks and
// one ink's diffusion, the two kinds of task the workers take.
void BM_HybridKernels(benchmark::State& state) {
    const unsigned inks = unsigned(state.range(1));
    HybridPage page(inks, 0, 1);  // the tables
    _HXR_IMAGE_INFO image{};
    image.pixelOffset = 4;
    BenchInstance in{image, inks, std::vector<uint8_t>(size_t{inks} * (kWidth + 1)), std::vector<uint16_t>(kWidth + 1)};
    std::vector<uint8_t> rgbx(size_t{kWidth} * 4, 0x5A), dots(kWidth / 4 + 1);
    for (size_t i = 0; i < rgbx.size(); ++i) rgbx[i] = uint8_t(i * 37 >> 3);
    const void* rgb[3] = {rgbx.data(), rgbx.data() + 1, rgbx.data() + 2};
    unsigned char* rows[kMaxInks];
    for (unsigned k = 0; k < inks; ++k) rows[k] = in.scratch.data() + size_t{k} * (kWidth + 1);
    for (auto _ : state) {
        if (state.range(0) == 0)
            Convert(in, rgb, kWidth, 0, rows);
        else
            Diffuse(rows[0], kWidth, 0, dots.data());
        benchmark::DoNotOptimize(rows[0]);
        benchmark::DoNotOptimize(dots.data());
    }
}

BENCHMARK(BM_HybridKernels)->ArgNames({"diffuse", "inks"})->Args({0, 1})->Args({0, 8})->Args({1, 1});

BENCHMARK(BM_HybridPage)
    ->ArgNames({"inks", "cores", "band"})
    ->ArgsProduct({{1, 2, 4, 8}, {2, 4, 8}, {2, 500}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
