// The parallel band path against the serial path: the recording engine is
// row-separable, so a page printed either way must reach the output module
// row for row the same, whatever order the threads run in (every band call
// sleeps a random time) and however many workers there are. Rows may stay
// in the pipeline from band to band; the page's end hands them on. Then
// the edge cases, the failures of held rows, and the workers' threads.
#include <sched.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include "intent_x_fixture.h"
#include "support/process_threads.h"
#include "support/sanitized.h"

namespace ovcg_test {
namespace {

using ovcg::CIntentX;
using Row = RecordingOutModule::Row;

constexpr int kRuns = kSanitized ? 4 : 20;  // fewer under the sanitizers
// A case's slowChannel: the main instance is the slow one.
constexpr int kMainSlow = -2;

struct PBand {
    unsigned top, rows;
    tagRECT clip{};  // all zero: the whole band
};

struct ParallelCase {
    const char* name;
    int channels;
    int prtY;  // over a source of 720: R = prtY / 720
    std::vector<PBand> bands;
    std::function<void(ovcg::tagHTINITSTRUCT&, RecordingOutModule&)> tweak = nullptr;
    SourceKind source{7, 7, 1, false};
    int bits = 1;
    unsigned width = 20;
    unsigned whiteRows = 0;  // the page's first rows are white
    uint32_t frame = 0;      // the descriptor's frame on every side
    int slowChannel = -1;
};

// What a page did: every call's code (the bands', then the page end's), the
// rows that reached the output module in order, the rows passed at its end.
struct PageLog {
    std::vector<int> codes;
    std::vector<Row> rows;
    uint32_t passed = 0;
    // The runs the rows went out in (empty, rows, position): the parallel
    // path pairs rows of one kind within a band, whatever the timing.
    std::vector<std::array<int, 3>> runs;
    // The engine calls that convert (first row, lines, first pixel, pixels),
    // in order: one a batch the serial path would make.
    std::vector<std::array<int, 4>> calls;
    bool operator==(const PageLog& o) const {
        return codes == o.codes && rows == o.rows && passed == o.passed && calls == o.calls;
    }
};

std::string Describe(const PageLog& a, const PageLog& b) {
    std::ostringstream s;
    if (a.codes != b.codes) {
        s << "codes:";
        for (size_t i = 0; i < a.codes.size(); ++i) s << ' ' << a.codes[i] << '/' << (i < b.codes.size() ? b.codes[i] : 0);
        return s.str();
    }
    for (size_t r = 0; r < std::max(a.rows.size(), b.rows.size()); ++r) {
        if (r < a.rows.size() && r < b.rows.size() && a.rows[r] == b.rows[r]) continue;
        s << "row " << r << ": ";
        auto put = [&](const std::vector<Row>& v) {
            if (r >= v.size()) return void(s << "none");
            s << (v[r].empty ? "E@" : "R@") << v[r].position;
            for (uint8_t c : v[r].bytes) s << ' ' << int(c);
        };
        put(a.rows);
        s << " / ";
        put(b.rows);
        return s.str();
    }
    if (a.passed != b.passed) {
        s << "rows passed " << a.passed << " / " << b.passed;
        return s.str();
    }
    for (size_t i = 0; i < std::max(a.calls.size(), b.calls.size()); ++i) {
        if (i < a.calls.size() && i < b.calls.size() && a.calls[i] == b.calls[i]) continue;
        s << "call " << i << ": ";
        for (const auto* v : {&a.calls, &b.calls}) {
            if (i >= v->size()) continue;
            const auto& c = (*v)[i];
            s << c[0] << '+' << c[1] << " at " << c[2] << '+' << c[3] << "; ";
        }
        return s.str();
    }
    for (size_t r = 0; r < std::max(a.runs.size(), b.runs.size()); ++r) {
        if (r < a.runs.size() && r < b.runs.size() && a.runs[r] == b.runs[r]) continue;
        s << "run " << r << ": ";
        if (r < a.runs.size()) s << a.runs[r][0] << ' ' << a.runs[r][1] << '@' << a.runs[r][2];
        s << " / ";
        if (r < b.runs.size()) s << b.runs[r][0] << ' ' << b.runs[r][1] << '@' << b.runs[r][2];
        break;
    }
    return s.str();
}

// Bands of `rows` rows each over `height` rows; every third band's clip
// leaves out columns, so the window changes from band to band.
std::vector<PBand> FrontEndBands(unsigned height, unsigned rows, unsigned width) {
    std::vector<PBand> v;
    for (unsigned top = 0, i = 0; top < height; top += rows, ++i) {
        const unsigned n = std::min(rows, height - top);
        v.push_back({top, n, i % 3 == 1 ? tagRECT{i % 5, 0, width - i % 4, n} : tagRECT{}});
    }
    return v;
}

// The process's threads once a thread has come and gone (a sanitizer's
// runtime starts a thread of its own at the first thread).
int BaselineThreads() {
    std::thread([] {}).join();
    return SettledThreadCount();
}

class IntentXParallelTest : public IntentXTest {
protected:
    // The geometry and records of a case; delays for a parallel run.
    void Prepare(const ParallelCase& c, bool parallel) {
        Build(HtGeometry{c.channels, c.bits, c.width, {720, 720}, {720, c.prtY}});
        init.band_lines = 2;
        engine.config.lines_per_row = 1;
        UseSource(c.source);
        ht.halftone_type = 6;
        init.page_length = 1000;
        if (c.tweak) c.tweak(init, *out);
        engine.ClearCalls();
        engine.SetFailHook(nullptr);
        engine.config.max_delay_us = parallel ? 20 : 0;
        engine.config.slow_instance = -1;
        engine.config.slow_delay_us = 300;
    }
    // The engine's index of channel c's instance.
    static int Instance(const CIntentX& x, int c) { return RecordingHxrEngine::InstanceOf(x.Handles()[1 + c]); }

    // A band's pixels, the same for every run of a case: rows of white,
    // of random values and of a mix.
    TestBand MakeBand(const ParallelCase& c, size_t index, unsigned firstPageRow) {
        const PBand& b = c.bands[index];
        const unsigned width = c.width + 2 * c.frame;
        const unsigned pb = PixelBytesOf(c.source);
        TestBand tb;
        tb.Make(b.rows, width * pb);
        std::mt19937 rng(static_cast<uint32_t>(1000 * index + b.rows));
        const uint8_t white = WhiteOf(c.source);
        const bool planes = c.source.format > 100;
        for (unsigned y = 0; y < b.rows; ++y) {
            const unsigned kind = firstPageRow + y < c.whiteRows ? 0 : rng() % 4;
            for (unsigned px = 0; px < width; ++px) {
                const bool ink = kind == 1 || (kind >= 2 && rng() % 3 == 0);
                const uint8_t v = ink ? static_cast<uint8_t>(1 + rng() % 254) : white;
                tb.Put(c.source, px, y, v);
                if (planes && ink)  // direct ink: every plane its own value
                    for (unsigned m = 0; m < pb; ++m)
                        tb.bits[size_t{y} * tb.bmp.WidthBytes + size_t{px} * pb + m] =
                            static_cast<uint8_t>(rng() % 3 == 0 ? 0 : 1 + rng() % 254);
            }
        }
        return tb;
    }

    int Band(CIntentX& x, const ParallelCase& c, size_t i) {
        const PBand& b = c.bands[i];
        TestBand tb = MakeBand(c, i, b.top);
        const unsigned width = c.width + 2 * c.frame;
        const tagRECT band{0, b.top, width, b.top + b.rows};
        const tagRECT clip = b.clip.right || b.clip.bottom ? b.clip : tagRECT{0, 0, width, b.rows};
        tagOSDEP3 d{};
        d.ImageFrameSize = c.frame;
        return x.BandOut(&clip, &tb.bmp, nullptr, &band, c.frame ? &d : nullptr);
    }

    // The page's bands and its end on an object of `workers` workers (0:
    // the serial path).
    PageLog RunPage(const ParallelCase& c, unsigned workers) {
        Prepare(c, workers > 0);
        PageLog log;
        auto x = MakeX(workers);
        EXPECT_EQ(x->ParallelPath(), workers > 0);
        if (workers > 0 && c.slowChannel >= 0) engine.config.slow_instance = Instance(*x, c.slowChannel);
        if (workers > 0 && c.slowChannel == kMainSlow)
            engine.config.slow_instance = RecordingHxrEngine::InstanceOf(x->Handles()[0]);
        EXPECT_EQ(x->StartPage(), 0);
        for (size_t i = 0; i < c.bands.size(); ++i) log.codes.push_back(Band(*x, c, i));
        log.codes.push_back(x->EmptyPageEndOut(1));
        log.codes.push_back(x->EndPage());
        EXPECT_FALSE(x->RowsHeld());
        log.rows = out->rows();
        for (const auto& r : out->runs()) log.runs.push_back({int(r.empty), int(r.count), int(r.position)});
        // Serially the main instance's calls; in parallel the conversions
        // (direct ink: the first channel's calls). Inside the upper skip
        // the serial path's calls look for dots, as engine row 0; the
        // parallel path looks at the source rows. (The cases' skips end on
        // even rows, where both paths pair the rows alike.)
        const bool direct = c.source.format > 100;
        const int first = Instance(*x, 0);
        for (const HxrCallRecord& r : engine.CallsOf(workers && !direct ? HxrCall::kConvertColor : HxrCall::kHalftone))
            if ((!workers || !direct || r.instance == first) && (!init.upper_skip || r.first_row > 0))
                log.calls.push_back({r.first_row, r.lines, r.x_offset, r.pixels});
        std::sort(log.calls.begin(), log.calls.end());
        log.passed = x->RowsPassed();
        ring = x->RingRows();
        if (workers > 0) {
            // Only the per-channel instances halftone.
            std::vector<int> others{RecordingHxrEngine::InstanceOf(x->Handles()[0])};
            for (void* h : x->ConversionHandles())
                if (h) others.push_back(RecordingHxrEngine::InstanceOf(h));
            for (const HxrCallRecord& r : engine.CallsOf(HxrCall::kHalftone))
                EXPECT_EQ(std::count(others.begin(), others.end(), r.instance), 0)
                    << "a halftone call of a converting instance";
        }
        return log;
    }
    uint32_t ring = 0;  // the last page's ring rows
};

// ---------------------------------------------------------------------------
// The same page both ways, run after run.

auto Deferred() {
    return [](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.defer_skip = 1; };
}
auto UpperSkip(bool defer, int minimum, int pageLength = 60) {
    return [=](ovcg::tagHTINITSTRUCT& i, RecordingOutModule& o) {
        i.upper_skip = 1;
        i.defer_skip = defer;
        i.page_length = pageLength;
        o.minimum_length = minimum;
    };
}

auto Step(int t) {
    return [=](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.reduce_step = t; };
}

std::vector<PBand> Alternating(unsigned bands, unsigned width) {
    std::vector<PBand> v;
    for (unsigned i = 0; i < bands; ++i) v.push_back({i, 1, i % 2 ? tagRECT{0, 0, width, 0} : tagRECT{}});
    return v;
}

TEST_F(IntentXParallelTest, PrintsWhatTheSerialPathPrints) {
    const SourceKind rgb16{1, 1, 1, true};
    const SourceKind ink4{104, 0, 1, false};
    std::vector<ParallelCase> cases = {
        {"one channel, one row", 1, 720, {{0, 1}}},
        {"two channels, 64 rows", 2, 720, {{0, 64}}},
        {"R = 2, 65 rows, 2-bit dots", 4, 1440, {{0, 65}}, nullptr, {7, 7, 1, false}, 2},
        {"R = 3, 129 rows, 2-bit dots", 5, 2160, {{0, 129}}, nullptr, {7, 7, 1, false}, 2, 16},
        {"R = 4, twelve channels, 200 rows", 12, 2880, {{0, 200}}, nullptr, {7, 7, 1, false}, 2, 12},
        {"two-row bands, windows changing", 4, 720, FrontEndBands(300, 2, 20)},
        {"two-row bands, R = 4, 2-bit dots", 4, 2880, FrontEndBands(90, 2, 24), nullptr, {7, 7, 1, false}, 2, 24},
        {"one-row bands, R = 3", 3, 2160, FrontEndBands(70, 1, 20)},
        {"three-row bands, windows changing", 6, 720, FrontEndBands(200, 3, 20)},
        {"reduce step 2", 3, 720, {{0, 65}, {65, 6}},
         [](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.reduce_step = 2; }, {7, 7, 1, false}, 2, 22},
        {"reduce step 2, R = 3", 2, 2160, {{0, 33}},
         [](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.reduce_step = 2; }},
        // A reduction step takes every t-th pixel of each band's window.
        {"reduce step 2, windows changing, an odd page", 3, 720, FrontEndBands(90, 3, 21), Step(2),
         {7, 7, 1, false}, 2, 21},
        {"reduce step 4, R = 3, windows changing", 2, 2160, FrontEndBands(60, 2, 21), Step(4), {7, 7, 1, false}, 1,
         21},
        {"reduce step 2, windows at the right edge", 4, 1440,
         {{0, 30, {13, 2, 20, 29}}, {30, 9, {17, 0, 20, 9}}, {39, 7, {19, 0, 20, 7}}}, Step(2), {7, 7, 1, false}, 2},
        {"reduce step 3, gray, windows changing", 1, 720, FrontEndBands(50, 2, 20), Step(3), {0, 0, 1, false}},
        {"reduce step 2, 16-bit RGB, windows changing", 2, 720, FrontEndBands(40, 2, 20), Step(2), rgb16},
        {"reduce step 2, direct ink planes, windows changing", 4, 720, FrontEndBands(60, 2, 21), Step(2), ink4, 2,
         21},
        {"clips mid-band from odd rows", 4, 720, {{0, 64, {3, 5, 17, 41}}, {64, 30, {0, 11, 20, 29}}},
         nullptr, {7, 7, 1, false}, 2},
        {"clips mid-band, R = 3", 3, 2160, {{0, 40, {1, 3, 20, 38}}, {40, 9, {0, 0, 5, 1}}}, nullptr,
         {7, 7, 1, false}, 2},
        {"the vertical flip", 3, 2160, {{0, 40, {2, 7, 18, 33}}, {45, 12}},
         [](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.flip_v = 1; }, {7, 7, 1, false}, 2},
        {"defer_skip: leading rows outside the clip are dropped", 2, 1440,
         {{0, 10, {0, 0, 20, 0}}, {10, 30, {0, 7, 20, 30}}, {42, 20}}, Deferred()},
        {"defer_skip, R = 1, odd clip", 3, 720, {{0, 30, {0, 5, 20, 30}}, {30, 9, {0, 3, 20, 4}}}, Deferred()},
        {"defer_skip: rows after the page's first output, in its band", 3, 1440, {{0, 40, {0, 5, 20, 6}}},
         Deferred(), {7, 7, 1, false}, 1, 20, 0, 0, 1},
        {"the upper skip over white leading rows", 3, 720, {{0, 40}, {40, 20}}, UpperSkip(false, 10),
         {7, 7, 1, false}, 2, 20, 10},
        {"the upper skip, R = 3", 2, 2160, {{0, 20}, {20, 9}}, UpperSkip(false, 10), {7, 7, 1, false}, 2, 20, 5},
        {"the upper skip over a whole white band", 2, 720, {{0, 20}, {20, 30}}, UpperSkip(false, 10),
         {7, 7, 1, false}, 2, 20, 26},
        {"the upper skip with defer_skip", 2, 1440, {{0, 30, {0, 4, 20, 30}}, {30, 10}}, UpperSkip(true, 10),
         {7, 7, 1, false}, 2, 20, 9},
        {"the page's limit ends the skip inside a band", 2, 720, {{0, 24}, {24, 6}}, UpperSkip(false, 20, 30),
         {7, 7, 1, false}, 2, 20, 30},
        {"the upper skip over two-row bands", 3, 1440, FrontEndBands(60, 2, 20), UpperSkip(false, 10, 80),
         {7, 7, 1, false}, 2, 20, 21},
        {"direct ink planes (104)", 4, 1440, {{0, 70, {2, 3, 19, 70}}, {70, 5}}, nullptr, ink4, 2},
        {"direct ink planes in two-row bands", 4, 720, FrontEndBands(80, 2, 20), nullptr, ink4, 2},
        {"16-bit RGB", 2, 720, {{0, 66}}, nullptr, rgb16},
        {"16-bit RGB in two-row bands", 3, 720, FrontEndBands(100, 2, 20), nullptr, rgb16},
        {"gray, one ink", 1, 1440, {{0, 40, {0, 3, 20, 37}}}, nullptr, {0, 0, 1, false}},
        {"gray, the black-and-white filter", 1, 720, FrontEndBands(40, 2, 20),
         [](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.bina_flag = 1; }, {0, 0, 0, false}},
        {"alternating empty rows", 3, 1440, Alternating(40, 20)},
        {"alternating empty rows, R = 1", 2, 720, Alternating(25, 20)},
        {"gaps between bands and a layout offset", 3, 2160, {{2, 7}, {15, 1}, {16, 40}, {60, 2}, {62, 2}},
         [](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.layout_offset.y = 3; }},
        {"a frame around the page", 2, 720, {{0, 20}, {20, 50}}, nullptr, {7, 7, 1, false}, 1, 20, 0, 2},
        {"one slow channel", 6, 720, {{0, 130}, {130, 64}}, nullptr, {7, 7, 1, false}, 2, 20, 0, 0, 3},
        {"one slow channel, two-row bands", 5, 720, FrontEndBands(160, 2, 20), nullptr, {7, 7, 1, false}, 2, 20,
         0, 0, 4},
        // Pages more than twice as long as the ring: its slots are used
        // again, with other windows; the ring fills in the middle of a band,
        // of an engine call, of a printed row's R rows.
        {"longer than the ring, windows changing", 3, 720, FrontEndBands(1100, 2, 20)},
        {"one band longer than the ring", 2, 720, {{0, 1100}}},
        {"one band longer than the ring, R = 3", 2, 2160, {{0, 370, {1, 0, 19, 370}}}},
        {"three-row bands longer than the ring, R = 2", 4, 1440, FrontEndBands(560, 3, 20)},
        // The skip's end resets the main instance while the rows after it
        // wait to be converted.
        {"the upper skip, the main instance slow", 3, 720, {{0, 40}, {40, 20}}, UpperSkip(false, 10),
         {7, 7, 1, false}, 2, 20, 30, 0, kMainSlow},
        {"the page's limit ends the skip, the main instance slow", 2, 720, {{0, 130}}, UpperSkip(false, 100, 130),
         {7, 7, 1, false}, 2, 20, 130, 0, kMainSlow},
        {"the minimum length at the page's limit", 2, 720, {{0, 24}, {24, 16}}, UpperSkip(false, 30, 30),
         {7, 7, 1, false}, 2, 20, 36},
        {"the minimum length beyond the page's limit", 2, 720, {{0, 24}, {24, 16}}, UpperSkip(false, 40, 30),
         {7, 7, 1, false}, 2, 20, 36, 0, kMainSlow},
    };
    // Every direct ink format, a channel a plane.
    for (int format : {101, 104, 105, 106, 107, 108, 109, 110, 112})
        cases.push_back({"direct ink planes, every format", format - 100, 720, FrontEndBands(30, 2, 20), nullptr,
                         {format, 0, 1, false}, 2});
    // The runs of a case take the worker counts in turn.
    const unsigned workerCounts[] = {1, 2, 4, 16};
    size_t longer = 0;
    for (const ParallelCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", format " + std::to_string(c.source.format));
        const PageLog serial = RunPage(c, 0);
        size_t rasters = 0;
        for (const Row& r : serial.rows) rasters += !r.empty;
        ASSERT_GT(rasters, 0u);
        PageLog first;
        for (int run = 0; run < kRuns; ++run) {
            const unsigned workers = workerCounts[run % 4];
            const PageLog parallel = RunPage(c, workers);
            ASSERT_TRUE(parallel == serial)
                << workers << " workers, run " << run << ": " << Describe(parallel, serial);
            if (run == 0) first = parallel;
            ASSERT_TRUE(parallel.runs == first.runs)
                << workers << " workers, run " << run << ": " << Describe(parallel, first);
        }
        longer += serial.rows.size() > 2 * size_t{ring};
    }
    EXPECT_GE(longer, 4u) << "pages longer than twice the ring";
}

TEST_F(IntentXParallelTest, EveryInkCountAndWorkerCount) {
    for (int inks = 1; inks <= 12; ++inks) {
        const ParallelCase c{"", inks, 1440, FrontEndBands(48, 2, 16), nullptr, {7, 7, 1, false}, 2, 16};
        const PageLog serial = RunPage(c, 0);
        for (unsigned workers = 1; workers <= 16; ++workers) {
            // Under the sanitizers every third count.
            if (kSanitized && workers % 3 != 1) continue;
            const PageLog parallel = RunPage(c, workers);
            ASSERT_TRUE(parallel == serial)
                << inks << " inks, " << workers << " workers: " << Describe(parallel, serial);
        }
    }
}

// ---------------------------------------------------------------------------
// Rows held across bands

TEST_F(IntentXParallelTest, HeldRowsGoOutAtThePageEndOrWhenFlushed) {
    // A slow channel keeps the rows of the bands in the pipeline; the page
    // end (or a flush, or a gap before a band) hands every one on.
    const ParallelCase c{"", 3, 720, FrontEndBands(40, 2, 20), nullptr, {7, 7, 1, false}, 1, 20, 0, 0, 1};
    const PageLog serial = RunPage(c, 0);
    struct Ending {
        const char* name;
        std::function<int(CIntentX&)> end;
    };
    const Ending endings[] = {
        {"the page end", [](CIntentX& x) { return x.EndPage(); }},
        {"a flush (a job ended inside the page)", [](CIntentX& x) { return x.FlushHeldRows(); }},
        {"blank rows at the page end", [](CIntentX& x) { return x.EmptyPageEndOut(1); }},
    };
    for (const Ending& e : endings) {
        SCOPED_TRACE(e.name);
        Prepare(c, true);
        engine.config.slow_delay_us = 2000;
        auto x = MakeX(2);
        engine.config.slow_instance = Instance(*x, 1);
        ASSERT_EQ(x->StartPage(), 0);
        bool held = false;
        for (size_t i = 0; i < c.bands.size(); ++i) {
            ASSERT_EQ(Band(*x, c, i), 0);
            held |= x->RowsHeld();
        }
        EXPECT_TRUE(held) << "no band's rows outlived its call";
        ASSERT_EQ(e.end(*x), 0);
        EXPECT_FALSE(x->RowsHeld());
        const std::vector<Row> rows = out->rows();
        ASSERT_GE(rows.size(), 40u);
        EXPECT_TRUE(std::equal(rows.begin(), rows.begin() + 40, serial.rows.begin()));
    }
}

TEST_F(IntentXParallelTest, ADestroyedObjectDropsItsHeldRows) {
    const ParallelCase c{"", 4, 720, FrontEndBands(60, 2, 20), nullptr, {7, 7, 1, false}, 1, 20, 0, 0, 2};
    const int threads = BaselineThreads();
    for (unsigned workers : {1u, 3u, 16u}) {
        SCOPED_TRACE(workers);
        Prepare(c, true);
        engine.config.slow_delay_us = 1000;
        {
            auto x = MakeX(workers);
            engine.config.slow_instance = Instance(*x, 2);
            ASSERT_EQ(x->StartPage(), 0);
            for (size_t i = 0; i < c.bands.size(); ++i) ASSERT_EQ(Band(*x, c, i), 0);
            EXPECT_EQ(ProcessThreadCount(), threads + int(workers));
        }
        EXPECT_EQ(SettledThreadCount(threads), threads);
        EXPECT_EQ(engine.LiveInstances(), 0);
        // What went out is the serial page's beginning, in order.
        const std::vector<Row> rows = out->rows();
        for (size_t r = 0; r < rows.size(); ++r) EXPECT_EQ(rows[r].position, r);
    }
}

// ---------------------------------------------------------------------------
// Edge cases

TEST_F(IntentXParallelTest, AllRowsDroppedSendNothing) {
    // defer_skip, nothing output yet, a band wholly outside its clip.
    const ParallelCase c{"", 3, 1440, {{0, 9, {0, 0, 20, 0}}}, Deferred()};
    Prepare(c, true);
    auto x = MakeX(3);
    ASSERT_EQ(x->StartPage(), 0);
    TestBand tb = MakeBand(c, 0, 0);
    const tagRECT band{0, 0, 20, 9}, clip = c.bands[0].clip;
    ASSERT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, nullptr), 0);
    EXPECT_FALSE(x->RowsHeld());
    EXPECT_TRUE(out->runs().empty());
    EXPECT_EQ(x->LastParallelBand().rows, 18u);
    EXPECT_EQ(x->LastParallelBand().dropped, 18u);
    EXPECT_EQ(x->RowsPassed(), 0u);
    EXPECT_TRUE(engine.CallsOf(HxrCall::kConvertColor).empty());
    EXPECT_TRUE(engine.CallsOf(HxrCall::kHalftone).empty());
}

TEST_F(IntentXParallelTest, AdjacentEmptyAndInkedRowsGoAlone) {
    // Runs pair rows of one kind within a band; a band's rows never share a
    // run with the next band's. R = 3, the clip the second row: rows 0-2
    // empty, 3-5 inked: E2, then E1 and R2 where the kinds meet, then the
    // last row alone. Then an inked row, a band of 16 empty rows and one of
    // 32 inked rows that a slow channel holds when the rows are flushed: an
    // empty row whose partner is not finished waits for it.
    std::vector<std::string> held = {"R1@0"};
    for (int r = 1; r < 17; r += 2) held.push_back("E2@" + std::to_string(r));
    for (int r = 17; r < 49; r += 2) held.push_back("R2@" + std::to_string(r));
    const struct {
        ParallelCase c;
        std::vector<std::string> runs;
    } pages[] = {
        {{"", 2, 2160, {{0, 2, {0, 1, 20, 2}}, {2, 1}}}, {"E2@0", "E1@2", "R2@3", "R1@5", "R2@6", "R1@8"}},
        {{"", 3, 720, {{0, 1}, {1, 16, {0, 0, 20, 0}}, {17, 32}}, nullptr, {7, 7, 1, false}, 1, 20, 0, 0, 1}, held},
    };
    for (const auto& [c, want] : pages) {
        for (int run = 0; run < kRuns; ++run) {
            Prepare(c, true);
            engine.config.slow_delay_us = 2000;
            auto x = MakeX(2);
            if (c.slowChannel >= 0) engine.config.slow_instance = Instance(*x, c.slowChannel);
            ASSERT_EQ(x->StartPage(), 0);
            for (size_t i = 0; i < c.bands.size(); ++i) {
                TestBand tb = MakeBand(c, i, c.bands[i].top);
                for (unsigned px = 0; px < 20; ++px) tb.Put(c.source, px, c.bands[i].rows - 1, 9);
                const tagRECT band{0, c.bands[i].top, 20, c.bands[i].top + c.bands[i].rows};
                const tagRECT clip = c.bands[i].clip.right ? c.bands[i].clip : tagRECT{0, 0, 20, c.bands[i].rows};
                ASSERT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, nullptr), 0);
            }
            ASSERT_EQ(x->FlushHeldRows(), 0);
            std::vector<std::string> runs;
            for (const auto& r : out->runs()) {
                std::string s(1, r.empty ? 'E' : 'R');
                s.append(std::to_string(r.count)).append(1, '@').append(std::to_string(r.position));
                runs.push_back(s);
            }
            EXPECT_EQ(runs, want) << "run " << run;
        }
    }
}

TEST_F(IntentXParallelTest, TheRowThatEndsTheSkipIsEngineRow0) {
    // White rows, so that the skip goes on past the bands' source rows. The
    // page's limit (30 rows, the minimum length 20) ends it at row 10, the
    // first row converted, in pairs from there. A page shortened to 40 after
    // ten rows makes the minimum length its limit: the next row ends the
    // skip, which passes the ten rows blank; the following rows are engine
    // rows 11, 12, ...: the jump ends an engine call.
    std::vector<std::pair<int, int>> pairs;
    for (int r = 0; r < 20; r += 2) pairs.emplace_back(r, 2);
    const struct {
        ParallelCase c;
        unsigned length;  // the page's new length before the second band (0: none)
        std::vector<std::pair<int, int>> calls;  // the conversions' first rows and rows
    } cases[] = {
        {{"", 2, 720, {{0, 24}, {24, 6}}, UpperSkip(false, 20, 30), {7, 7, 1, false}, 1, 20, 30}, 0, pairs},
        {{"", 2, 720, {{0, 10}, {10, 7}}, UpperSkip(false, 20, 60), {7, 7, 1, false}, 1, 20, 17}, 40,
         {{0, 1}, {11, 2}, {13, 2}, {15, 2}}},
    };
    for (const auto& [c, length, want] : cases) {
        SCOPED_TRACE(length);
        std::vector<Row> serial;
        for (unsigned workers : {0u, 2u}) {
            Prepare(c, workers > 0);
            auto x = MakeX(workers);
            ASSERT_EQ(x->StartPage(), 0);
            ASSERT_EQ(Band(*x, c, 0), 0);
            if (length) {
                EXPECT_EQ(x->ResetPageLength(length), 1);
            }
            ASSERT_EQ(Band(*x, c, 1), 0);
            ASSERT_EQ(x->EndPage(), 0);
            if (!workers) {
                serial = out->rows();
                continue;
            }
            EXPECT_EQ(out->rows(), serial);
            std::vector<std::pair<int, int>> calls;
            for (const HxrCallRecord& r : engine.CallsOf(HxrCall::kConvertColor))
                calls.emplace_back(r.first_row, r.lines);
            std::sort(calls.begin(), calls.end());
            EXPECT_EQ(calls, want);
        }
    }
}

TEST_F(IntentXParallelTest, TheRingWaitsForTheSlowestChannel) {
    // Every row inked: row index = engine row. A conversion of rows up to e
    // may start only after every channel has halftoned row e - S (S the
    // ring's rows): the engine records a call when it returns, so that
    // call comes first.
    for (unsigned rows : {64u, 129u, 300u}) {
        SCOPED_TRACE(rows);
        const ParallelCase c{"", 3, 720, {{0, rows}}, nullptr, {7, 7, 1, false}, 1, 12, 0, 0, 1};
        Prepare(c, true);
        engine.config.slow_delay_us = 1000;
        auto x = MakeX(4);
        engine.config.slow_instance = Instance(*x, 1);
        ASSERT_EQ(x->StartPage(), 0);
        TestBand tb = MakeBand(c, 0, 0);
        for (unsigned y = 0; y < rows; ++y) tb.Put(c.source, 0, y, 9);
        const tagRECT band{0, 0, 12, rows}, clip{0, 0, 12, rows};
        ASSERT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, nullptr), 0);
        ASSERT_EQ(x->EndPage(), 0);
        EXPECT_EQ(out->rasters_sent(), rows);
        const int ring = static_cast<int>(x->RingRows());
        ASSERT_GE(ring, 64);
        std::map<int, int> done;  // per channel instance: the last row halftoned
        for (int k = 0; k < 3; ++k) done[Instance(*x, k)] = -1;
        int checked = 0;
        for (const HxrCallRecord& r : engine.Calls()) {
            if (r.kind == HxrCall::kHalftone) done.at(r.instance) = r.first_row + r.lines - 1;
            if (r.kind != HxrCall::kConvertColor) continue;
            const int last = r.first_row + r.lines - 1;
            for (const auto& [instance, passed] : done)
                EXPECT_GE(passed, last - ring) << "conversion of row " << last << ", instance " << instance;
            checked += last >= ring;
        }
        EXPECT_EQ(checked > 0, int(rows) > ring);
    }
}

TEST_F(IntentXParallelTest, OtherBandsTakeTheSerialPath) {
    const struct {
        const char* name;
        std::function<void()> setUp;
        unsigned workers;
    } rows[] = {
        {"two source rows a printed row (four lines a call)",
         [this] {
             Build(HtGeometry{2, 1, 8, {720, 1440}, {720, 720}});
             init.band_lines = 4;
             engine.config.lines_per_row = 2;
         },
         3},
        {"a direct ink source with fewer planes than channels",
         [this] {
             Build(HtGeometry{6, 1, 8, {720, 720}, {720, 720}});
             UseSource({104, 0, 1, false});
         },
         3},
        {"gray expansion",
         [this] {
             Build(HtGeometry{2, 1, 8, {720, 720}, {720, 720}});
             init.composite_black = 1;
         },
         3},
        {"no worker threads (one CPU)", [this] { Build(HtGeometry{2, 1, 8, {720, 720}, {720, 720}}); }, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        r.setUp();
        ht.halftone_type = 6;
        engine.ClearCalls();
        auto x = MakeX(r.workers);
        EXPECT_FALSE(x->ParallelPath());
        for (void* h : x->ConversionHandles()) EXPECT_EQ(h, nullptr);
        ASSERT_EQ(x->StartPage(), 0);
        TestBand tb;
        tb.Make(4, 8 * 4);
        for (unsigned px = 0; px < 8; ++px)
            for (unsigned y = 0; y < 4; ++y) tb.Put(source, px, y, 9);
        const tagRECT band{0, 0, 8, 4};
        ASSERT_EQ(x->BandOut(&band, &tb.bmp, nullptr, &band, nullptr), 0);
        EXPECT_FALSE(x->HasWorkerPool());
        EXPECT_TRUE(engine.CallsOf(HxrCall::kConvertColor).empty());
        EXPECT_FALSE(engine.CallsOf(HxrCall::kHalftone).empty());
    }
}

TEST_F(IntentXParallelTest, ConversionInstancesComeWithMoreWorkers) {
    // Three converting instances for every eight threads (the calling
    // thread and the workers), at least one, at most four; the others than
    // the main one are made with its records, and every one of them
    // converts.
    EXPECT_EQ(CIntentX::ConversionInstances(1), 1u);
    EXPECT_EQ(CIntentX::ConversionInstances(2), 1u);
    EXPECT_EQ(CIntentX::ConversionInstances(3), 2u);
    EXPECT_EQ(CIntentX::ConversionInstances(7), 3u);
    EXPECT_EQ(CIntentX::ConversionInstances(9), 4u);
    EXPECT_EQ(CIntentX::ConversionInstances(16), 4u);
    const ParallelCase c{"", 4, 720, FrontEndBands(400, 2, 20), nullptr, {7, 7, 1, false}, 1, 20, 0, 0, -1};
    Prepare(c, true);
    auto x = MakeX(15);
    // The main instance converts slowly: the next rows find it busy.
    engine.config.slow_instance = RecordingHxrEngine::InstanceOf(x->Handles()[0]);
    engine.config.slow_delay_us = 2000;
    std::vector<int> converters{RecordingHxrEngine::InstanceOf(x->Handles()[0])};
    for (void* h : x->ConversionHandles()) converters.push_back(RecordingHxrEngine::InstanceOf(h));
    ASSERT_EQ(converters.size(), 4u);
    const auto created = engine.CallsOf(HxrCall::kCreateInstance);
    for (const HxrCallRecord& r : created) {
        if (std::count(converters.begin() + 1, converters.end(), r.instance) == 0) continue;
        EXPECT_EQ(r.image.colorMode, created[0].image.colorMode);
        EXPECT_EQ(r.halftone.docType, created[0].halftone.docType);
        EXPECT_EQ(r.flags, 1);
    }
    ASSERT_EQ(x->StartPage(), 0);
    for (size_t i = 0; i < c.bands.size(); ++i) ASSERT_EQ(Band(*x, c, i), 0);
    ASSERT_EQ(x->EndPage(), 0);
    std::map<int, int> conversions;
    for (const HxrCallRecord& r : engine.CallsOf(HxrCall::kConvertColor)) ++conversions[r.instance];
    for (const auto& [instance, n] : conversions)
        EXPECT_EQ(std::count(converters.begin(), converters.end(), instance), 1) << instance;
    EXPECT_GE(conversions.size(), 2u) << "the conversions took one instance only";
}

TEST(IntentXRing, RowsFollowTheWidthTheWorkersAndTheInks) {
    // As many rows as fit in 16 MiB for one or two workers, 21 MiB for
    // three, 24 MiB from four on; beyond four inks that x 4 / inks; 32 to 512.
    constexpr uint64_t kKiB = 1024;
    const struct {
        uint64_t rowBytes;
        unsigned workers, inks;
        uint32_t rows;
    } kCases[] = {
        {64 * kKiB, 1, 4, 256},  {64 * kKiB, 2, 4, 256}, {64 * kKiB, 3, 4, 336},  {64 * kKiB, 4, 4, 384},
        {64 * kKiB, 16, 4, 384}, {64 * kKiB, 4, 1, 384}, {64 * kKiB, 4, 6, 256},  {64 * kKiB, 4, 8, 192},
        {64 * kKiB, 4, 12, 128}, {64 * kKiB + 1, 1, 4, 255}, {1024 * kKiB, 1, 4, 32}, {16 * kKiB, 4, 4, 512},
        // Six inks on seven workers: 16 MiB, 50 rows of 16 MiB / 50, 49 of a byte more.
        {335544, 7, 6, 50}, {335545, 7, 6, 49},
    };
    for (const auto& t : kCases)
        EXPECT_EQ(CIntentX::RingRowsFor(t.rowBytes, t.workers, t.inks), t.rows)
            << t.rowBytes << " bytes, " << t.workers << " workers, " << t.inks << " inks";
}

// ---------------------------------------------------------------------------
// Failures

class StartProbe : public CIntentX {
public:
    using CIntentX::CIntentX;
    int fail_at = -1;  // this start (counted from 0) fails
    int starts = 0;

protected:
    int BeginWorkerThread(ovcg::CTHREAD_STRUCT_tag* record) override {
        return starts++ == fail_at ? -10 : CIntentX::BeginWorkerThread(record);
    }
};

TEST_F(IntentXParallelTest, AHeldRowsFailureSurfacesOnceAndEndsTheRowsThere) {
    // Two-row bands of 40 rows (R = 1): the rows go out in pairs at page
    // positions equal to their engine rows. A failure at row p of the
    // conversion, of one channel's halftoning or of the output module: the
    // rows before the failing engine call (output: up to the failing run)
    // are the serial page's; one call answers the failure's code, no call
    // before the band that planned the row; the held rows from it on and
    // the band that answers it are dropped, the later bands print at
    // consecutive positions from there; then the next page prints as usual.
    // A failure every time: each call that reaches the row or passes it
    // fails, and every band from the failing one on answers the code. The
    // next page is another (its first rows white), so that nothing of the
    // failed page's rows may show in it.
    constexpr unsigned kHeight = 40;
    ParallelCase c{"", 3, 720, FrontEndBands(kHeight, 2, 20),
                   [](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.page_length = 40; }};
    const PageLog serial = RunPage(c, 0);
    ASSERT_EQ(serial.rows.size(), kHeight);
    ParallelCase next = c;
    next.whiteRows = 30;
    const PageLog nextPage = RunPage(next, 0);
    enum class Where { kConversion, kChannel, kOutput };
    const struct {
        const char* name;
        Where where;
        int code;
        uint32_t engineCode = 0;
        bool always = false;
    } kinds[] = {
        {"the conversion", Where::kConversion, -3002, 5001},
        {"a channel's halftoning", Where::kChannel, -3004, 9001},
        {"the output module", Where::kOutput, -2009},
        {"the conversion, every time", Where::kConversion, -3003, 6001, true},
        {"a channel's halftoning, every time", Where::kChannel, -3004, 9001, true},
        {"a channel's halftoning, engine code 5001", Where::kChannel, -3004, 5001},
    };
    const int threads = BaselineThreads();
    for (const auto& k : kinds) {
        for (unsigned workers : {1u, 4u}) {
            for (unsigned p = 0; p < kHeight; ++p) {
                SCOPED_TRACE(std::string(k.name) + " at row " + std::to_string(p) + ", " + std::to_string(workers) +
                             " workers");
                Prepare(c, true);
                auto x = MakeX(workers);
                const int channel = Instance(*x, 1);
                // The rows before the failure that reach the output module.
                unsigned before = p - p % 2;
                // Once: after the failure the page's rows are counted anew,
                // and a later call may reach the engine row again.
                auto fired = std::make_shared<bool>(false);
                if (k.where != Where::kOutput)
                    engine.SetFailHook([p, channel, fired, &k](const HxrCallRecord& r) {
                        const bool hit = (k.always || r.first_row <= int(p)) && int(p) < r.first_row + r.lines;
                        const bool mine = k.where == Where::kConversion
                                              ? r.kind == HxrCall::kConvertColor
                                              : r.kind == HxrCall::kHalftone && r.instance == channel;
                        if (!mine || !hit || (*fired && !k.always)) return 0u;
                        *fired = true;
                        return k.engineCode;
                    });
                if (k.where == Where::kOutput) {
                    // Runs of two rows: run p / 2 + 1 holds row p, and goes out.
                    out->raster_fail_at = p / 2 + 1;
                    out->raster_fail_code = -2009;
                    before += 2;
                }
                ASSERT_EQ(x->StartPage(), 0);
                std::vector<int> codes;
                for (size_t i = 0; i < c.bands.size(); ++i) codes.push_back(Band(*x, c, i));
                codes.push_back(x->EmptyPageEndOut(1));
                codes.push_back(x->EndPage());
                EXPECT_FALSE(x->RowsHeld());
                size_t call = codes.size();
                for (size_t i = 0; i < codes.size(); ++i)
                    if (codes[i] != 0) {
                        EXPECT_TRUE(call == codes.size() || k.always) << "a second failing call, " << i;
                        EXPECT_EQ(codes[i], k.code);
                        if (call == codes.size()) call = i;
                    }
                ASSERT_LT(call, codes.size()) << "the failure was never answered";
                EXPECT_GE(call, p / 2) << "answered before its band";
                const std::vector<Row> rows = out->rows();
                ASSERT_GE(rows.size(), before);
                EXPECT_TRUE(std::equal(rows.begin(), rows.begin() + before, serial.rows.begin()));
                // After the failure: the later bands' rows, at consecutive
                // positions (the band that answered it is dropped too); those
                // reach the row again when it fails every time.
                const size_t later = call < c.bands.size() && !k.always ? 2 * (c.bands.size() - 1 - call) : 0;
                EXPECT_EQ(rows.size(), before + later) << "answered by call " << call;
                for (size_t r = 0; r < rows.size(); ++r) EXPECT_EQ(rows[r].position, r);
                // The next page prints its serial page, its second converter
                // slow: a row counted as converted too early shows.
                engine.SetFailHook(nullptr);
                out->raster_fail_at = 0;
                if (!x->ConversionHandles().empty())
                    engine.config.slow_instance = RecordingHxrEngine::InstanceOf(x->ConversionHandles()[0]);
                const size_t seen = out->rows().size();
                ASSERT_EQ(x->StartPage(), 0);
                for (size_t i = 0; i < next.bands.size(); ++i) ASSERT_EQ(Band(*x, next, i), 0);
                ASSERT_EQ(x->EmptyPageEndOut(1), 0);
                ASSERT_EQ(x->EndPage(), 0);
                const std::vector<Row> again = out->rows();
                ASSERT_EQ(again.size() - seen, nextPage.rows.size());
                EXPECT_TRUE(std::equal(again.begin() + static_cast<std::ptrdiff_t>(seen), again.end(),
                                       nextPage.rows.begin()));
                EXPECT_EQ(ProcessThreadCount(), threads + int(workers));
                if (HasFailure()) return;
            }
        }
    }
}

TEST_F(IntentXParallelTest, AFailureMetWhereItCannotBeAnsweredWaits) {
    // A new page length (a continuous roll's next page) hands the held rows
    // on first; a failure among them is the next band's answer.
    const ParallelCase c{"", 2, 720, FrontEndBands(20, 2, 20)};
    Prepare(c, true);
    auto x = MakeX(2);
    ASSERT_EQ(x->StartPage(), 0);
    engine.SetFailHook([](const HxrCallRecord& r) {
        return r.kind == HxrCall::kConvertColor && r.first_row == 8 ? 5001u : 0u;
    });
    int failed = 0;
    for (size_t i = 0; i < 6; ++i) failed |= Band(*x, c, i) != 0;
    ASSERT_EQ(failed, 0) << "the failure was answered before the held rows were handed on";
    EXPECT_EQ(x->ResetPageLength(80), 1);
    EXPECT_FALSE(x->RowsHeld());
    EXPECT_EQ(out->rows().size(), 8u);
    engine.SetFailHook(nullptr);
    EXPECT_EQ(Band(*x, c, 6), -3002);
    EXPECT_EQ(Band(*x, c, 7), 0);
    EXPECT_EQ(x->EndPage(), 0);
}

TEST_F(IntentXParallelTest, AFailurePastTheSkipMetWhileTheSkipDrainsTheHeldRows) {
    // White rows; the page's limit ends the skip at row 10 (engine row 0).
    // Inside the skip every band hands the held rows on before it looks at
    // its own: the band after rows 10-11 meets row 10's failure, and answers it.
    const ParallelCase c{"", 2, 720, FrontEndBands(30, 2, 20), UpperSkip(false, 20, 30), {7, 7, 1, false}, 1, 20, 30};
    Prepare(c, true);
    auto x = MakeX(2);
    ASSERT_EQ(x->StartPage(), 0);
    auto fired = std::make_shared<bool>(false);
    engine.SetFailHook([fired](const HxrCallRecord& r) {
        if (r.kind != HxrCall::kConvertColor || r.first_row != 0 || *fired) return 0u;
        return *fired = true, 5001u;
    });
    std::vector<int> codes, want(c.bands.size() + 1, 0);
    for (size_t i = 0; i < c.bands.size(); ++i) codes.push_back(Band(*x, c, i));
    codes.push_back(x->EndPage());
    want[6] = -3002;
    EXPECT_EQ(codes, want);
}

TEST_F(IntentXParallelTest, AWorkerThatCannotStart) {
    const ParallelCase c{"", 5, 720, {{0, 30}}};
    const int threads = BaselineThreads();
    const PageLog serial = RunPage(c, 0);
    for (int failAt : {0, 2, 4}) {
        SCOPED_TRACE(failAt);
        Prepare(c, true);
        StartProbe x(&init, 5);
        ASSERT_EQ(x.StartPage(), 0);
        x.fail_at = failAt;
        TestBand tb = MakeBand(c, 0, 0);
        const tagRECT band{0, 0, 20, 30};
        EXPECT_EQ(x.BandOut(&band, &tb.bmp, nullptr, &band, nullptr), -10);
        // The workers are gone, those started joined, no row passed.
        EXPECT_FALSE(x.HasWorkerPool());
        EXPECT_EQ(SettledThreadCount(threads), threads);
        EXPECT_EQ(x.starts, failAt + 1);
        EXPECT_TRUE(out->runs().empty());
        // The next band starts them again and prints the band.
        ASSERT_EQ(x.StartPage(), 0);
        TestBand again = MakeBand(c, 0, 0);
        ASSERT_EQ(x.BandOut(&band, &again.bmp, nullptr, &band, nullptr), 0);
        EXPECT_EQ(ProcessThreadCount(), threads + 5);
        ASSERT_EQ(x.EmptyPageEndOut(1), 0);
        ASSERT_EQ(x.EndPage(), 0);
        EXPECT_EQ(out->rows(), serial.rows);
    }
    EXPECT_EQ(SettledThreadCount(threads), threads);
}

TEST_F(IntentXParallelTest, RingsThatCannotBeAllocated) {
    // Twelve channels of a page 5.8 million pixels wide: the ring's rows
    // are beyond what one block holds. Nothing starts; no row passes.
    const int threads = BaselineThreads();
    Build(HtGeometry{12, 1, 5'800'000u, {720, 720}, {720, 720}});
    ht.halftone_type = 6;
    auto x = MakeX(4);
    ASSERT_EQ(x->StartPage(), 0);
    TestBand tb;
    tb.Make(2, 16);
    const tagRECT band{0, 0, 4, 2}, clip{0, 0, 4, 0};
    EXPECT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, nullptr), -4);
    EXPECT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, nullptr), -4);
    EXPECT_FALSE(x->HasWorkerPool());
    EXPECT_EQ(SettledThreadCount(threads), threads);
    EXPECT_TRUE(out->runs().empty());
}

TEST_F(IntentXParallelTest, AConversionInstanceThatCannotBeMade) {
    // The third instance of the main kind (the second conversion instance)
    // fails: the object is not made and leaves no instance.
    Build(HtGeometry{4, 1, 20, {720, 720}, {720, 720}});
    ht.halftone_type = 6;
    int mainKind = 0;
    engine.SetFailHook([&mainKind](const HxrCallRecord& r) {
        if (r.kind != HxrCall::kCreateInstance || r.image.colorMode != 3) return 0u;
        return ++mainKind == 3 ? 6001u : 0u;
    });
    try {
        StartProbe x(&init, 15);
        ADD_FAILURE() << "made without its conversion instances";
    } catch (int code) {
        EXPECT_EQ(code, -3003);
    }
    engine.SetFailHook(nullptr);
    EXPECT_EQ(engine.LiveInstances(), 0);
}

TEST_F(IntentXParallelTest, TheWorkersLiveFromTheFirstParallelBandToTheEnd) {
    const ParallelCase c{"", 7, 720, {{0, 8}}};
    const int threads = BaselineThreads();
    Prepare(c, true);
    {
        auto x = MakeX(6);
        ASSERT_EQ(x->StartPage(), 0);
        EXPECT_FALSE(x->HasWorkerPool());
        EXPECT_EQ(SettledThreadCount(threads), threads);
        for (int page = 0; page < 3; ++page) {
            TestBand tb = MakeBand(c, 0, 0);
            const tagRECT band{0, 0, 20, 8};
            ASSERT_EQ(x->BandOut(&band, &tb.bmp, nullptr, &band, nullptr), 0);
            EXPECT_EQ(ProcessThreadCount(), threads + 6);
            ASSERT_EQ(x->EndPage(), 0);
            ASSERT_EQ(x->StartPage(), 0);
        }
    }
    EXPECT_EQ(SettledThreadCount(threads), threads);
    EXPECT_EQ(engine.LiveInstances(), 0);
}

TEST_F(IntentXParallelTest, TheDefaultWorkersFollowTheCpusTheThreadMayUse) {
    cpu_set_t old;
    CPU_ZERO(&old);
    ASSERT_EQ(sched_getaffinity(0, sizeof old, &old), 0);
    const int cpus = CPU_COUNT(&old);
    EXPECT_EQ(CIntentX::DefaultWorkerThreads(), unsigned(std::min(cpus - 1, 16)));
    // Restricted to one CPU: no worker, the serial path.
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &old)) {
            CPU_SET(c, &one);
            break;
        }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const unsigned workers = CIntentX::DefaultWorkerThreads();
    ASSERT_EQ(sched_setaffinity(0, sizeof old, &old), 0);
    EXPECT_EQ(workers, 0u);
}

}  // namespace
}  // namespace ovcg_test
