// The parallel band path (hybrid error diffusion, one worker per channel)
// against the serial path: the recording engine is row-separable, so a page
// printed either way must reach the output module row for row the same,
// whatever order the threads run in (every band call sleeps a random time).
// Then the edge cases, the failures, and the pool's threads.
#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "intent_x_fixture.h"
#include "support/process_threads.h"

namespace ovcg_test {
namespace {

using ovcg::CIntentX;
using Row = RecordingOutModule::Row;


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

// What a page did: each band's code, the rows it added (its gap included)
// and the rows passed after it; then the page end's rows.
struct PageLog {
    std::vector<int> codes;
    std::vector<std::vector<Row>> bands;
    std::vector<uint32_t> passed;
    std::vector<Row> end;
    bool operator==(const PageLog&) const = default;
};

std::string Describe(const PageLog& a, const PageLog& b) {
    std::ostringstream s;
    for (size_t i = 0; i < std::min(a.bands.size(), b.bands.size()); ++i) {
        s << "band " << i << ": ";
        if (a.codes[i] != b.codes[i]) {
            s << "code " << a.codes[i] << " / " << b.codes[i];
            return s.str();
        }
        if (a.passed[i] != b.passed[i]) {
            s << "rows passed " << a.passed[i] << " / " << b.passed[i];
            return s.str();
        }
        const auto& x = a.bands[i];
        const auto& y = b.bands[i];
        for (size_t r = 0; r < std::max(x.size(), y.size()); ++r) {
            if (r < x.size() && r < y.size() && x[r] == y[r]) continue;
            s << "row " << r << ": ";
            auto put = [&](const std::vector<Row>& v) {
                if (r >= v.size()) return void(s << "none");
                s << (v[r].empty ? "E@" : "R@") << v[r].position;
                for (uint8_t c : v[r].bytes) s << ' ' << int(c);
            };
            put(x);
            s << " / ";
            put(y);
            return s.str();
        }
        s.str("");
    }
    return "the page end or the band count";
}

class IntentXParallelTest : public IntentXTest {
protected:
    // The geometry and records of a case, the halftone kind chosen.
    void Prepare(const ParallelCase& c, bool parallel) {
        Build(HtGeometry{c.channels, c.bits, c.width, {720, 720}, {720, c.prtY}});
        init.band_lines = 2;
        engine.config.lines_per_row = 1;
        UseSource(c.source);
        ht.halftone_type = parallel ? 6 : 3;
        init.page_length = 1000;
        if (c.tweak) c.tweak(init, *out);
        engine.ClearCalls();
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

    PageLog RunPage(const ParallelCase& c, bool parallel) {
        Prepare(c, parallel);
        PageLog log;
        auto x = MakeX();
        EXPECT_EQ(x->ParallelPath(), parallel);
        if (parallel && c.slowChannel >= 0) engine.config.slow_instance = Instance(*x, c.slowChannel);
        EXPECT_EQ(x->StartPage(), 0);
        size_t seen = out->rows().size();
        for (size_t i = 0; i < c.bands.size(); ++i) {
            const PBand& b = c.bands[i];
            TestBand tb = MakeBand(c, i, b.top);
            const unsigned width = c.width + 2 * c.frame;
            const tagRECT band{0, b.top, width, b.top + b.rows};
            const tagRECT clip = b.clip.right || b.clip.bottom ? b.clip : tagRECT{0, 0, width, b.rows};
            tagOSDEP3 d{};
            d.ImageFrameSize = c.frame;
            log.codes.push_back(x->BandOut(&clip, &tb.bmp, nullptr, &band, c.frame ? &d : nullptr));
            const std::vector<Row> rows = out->rows();
            log.bands.emplace_back(rows.begin() + static_cast<std::ptrdiff_t>(seen), rows.end());
            seen = rows.size();
            log.passed.push_back(x->RowsPassed());
        }
        EXPECT_EQ(x->EmptyPageEndOut(1), 0);
        EXPECT_EQ(x->EndPage(), 0);
        const std::vector<Row> rows = out->rows();
        log.end.assign(rows.begin() + static_cast<std::ptrdiff_t>(seen), rows.end());
        if (parallel) {
            // The parallel path converts with the main instance and halftones
            // with the per-channel ones only.
            const int main = RecordingHxrEngine::InstanceOf(x->Handles()[0]);
            for (const HxrCallRecord& r : engine.CallsOf(HxrCall::kHalftone))
                EXPECT_NE(r.instance, main) << "a halftone call of the main instance";
        }
        return log;
    }
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

std::vector<PBand> Alternating(unsigned bands, unsigned width) {
    std::vector<PBand> v;
    for (unsigned i = 0; i < bands; ++i) v.push_back({i, 1, i % 2 ? tagRECT{0, 0, width, 0} : tagRECT{}});
    return v;
}

TEST_F(IntentXParallelTest, PrintsWhatTheSerialPathPrints) {
    const SourceKind rgb16{1, 1, 1, true};
    const SourceKind ink4{104, 0, 1, false};
    const ParallelCase cases[] = {
        {"one channel, one row", 1, 720, {{0, 1}}},
        {"two channels, 64 rows", 2, 720, {{0, 64}}},
        {"R = 2, 65 rows, 2-bit dots", 4, 1440, {{0, 65}}, nullptr, {7, 7, 1, false}, 2},
        {"R = 3, 129 rows, 2-bit dots", 5, 2160, {{0, 129}}, nullptr, {7, 7, 1, false}, 2, 16},
        {"R = 4, twelve channels, 200 rows", 12, 2880, {{0, 200}}, nullptr, {7, 7, 1, false}, 2, 12},
        {"reduce step 2", 3, 720, {{0, 65}, {65, 6}},
         [](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.reduce_step = 2; }, {7, 7, 1, false}, 2, 22},
        {"reduce step 2, R = 3", 2, 2160, {{0, 33}},
         [](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.reduce_step = 2; }},
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
        {"direct ink planes (104)", 4, 1440, {{0, 70, {2, 3, 19, 70}}, {70, 5}}, nullptr, ink4, 2},
        {"16-bit RGB", 2, 720, {{0, 66}}, nullptr, rgb16},
        {"gray, one ink", 1, 1440, {{0, 40, {0, 3, 20, 37}}}, nullptr, {0, 0, 1, false}},
        {"alternating empty rows", 3, 1440, Alternating(40, 20)},
        {"alternating empty rows, R = 1", 2, 720, Alternating(25, 20)},
        {"gaps between bands and a layout offset", 3, 2160, {{2, 7}, {15, 1}, {16, 40}},
         [](ovcg::tagHTINITSTRUCT& i, RecordingOutModule&) { i.layout_offset.y = 3; }},
        {"a frame around the page", 2, 720, {{0, 20}, {20, 50}}, nullptr, {7, 7, 1, false}, 1, 20, 0, 2},
        {"one slow channel", 6, 720, {{0, 130}, {130, 64}}, nullptr, {7, 7, 1, false}, 2, 20, 0, 0, 3},
    };
    for (const ParallelCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PageLog serial = RunPage(c, false);
        size_t rasters = 0;
        for (const auto& band : serial.bands)
            for (const Row& r : band) rasters += !r.empty;
        ASSERT_GT(rasters, 0u);
        for (int run = 0; run < 20; ++run) {
            const PageLog parallel = RunPage(c, true);
            ASSERT_TRUE(parallel == serial) << "run " << run << ": " << Describe(parallel, serial);
        }
    }
}

// ---------------------------------------------------------------------------
// Edge cases

TEST_F(IntentXParallelTest, AllRowsDroppedSendNothing) {
    // defer_skip, nothing output yet, a band wholly outside its clip.
    const ParallelCase c{"", 3, 1440, {{0, 9, {0, 0, 20, 0}}}, Deferred()};
    Prepare(c, true);
    auto x = MakeX();
    ASSERT_EQ(x->StartPage(), 0);
    TestBand tb = MakeBand(c, 0, 0);
    const tagRECT band{0, 0, 20, 9}, clip = c.bands[0].clip;
    ASSERT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, nullptr), 0);
    EXPECT_TRUE(out->runs().empty());
    EXPECT_EQ(x->LastParallelBand().rows, 18u);
    EXPECT_EQ(x->LastParallelBand().dropped, 18u);
    EXPECT_EQ(x->RowsPassed(), 0u);
    EXPECT_TRUE(engine.CallsOf(HxrCall::kConvertColor).empty());
    EXPECT_TRUE(engine.CallsOf(HxrCall::kHalftone).empty());
}

TEST_F(IntentXParallelTest, AdjacentEmptyAndInkedRowsGoAlone) {
    // R = 3, the clip the second row: rows 0-2 empty, 3-5 inked. Runs pair
    // rows of one kind: E2, then E1 and R2 where the kinds meet, then the
    // last row alone.
    const ParallelCase c{"", 2, 2160, {{0, 2, {0, 1, 20, 2}}}};
    for (int run = 0; run < 20; ++run) {
        Prepare(c, true);
        auto x = MakeX();
        ASSERT_EQ(x->StartPage(), 0);
        TestBand tb = MakeBand(c, 0, 0);
        for (unsigned px = 0; px < 20; ++px) tb.Put(c.source, px, 1, 9);
        const tagRECT band{0, 0, 20, 2}, clip = c.bands[0].clip;
        ASSERT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, nullptr), 0);
        std::vector<std::string> runs;
        for (const auto& r : out->runs()) {
            std::string run(1, r.empty ? 'E' : 'R');
            run.append(std::to_string(r.count)).append(1, '@').append(std::to_string(r.position));
            runs.push_back(run);
        }
        EXPECT_EQ(runs, (std::vector<std::string>{"E2@0", "E1@2", "R2@3", "R1@5"}));
    }
}

TEST_F(IntentXParallelTest, TheRingsWaitForTheSlowestChannel) {
    // Every row inked: row index = engine row. A conversion of rows up to
    // e may start only after every channel has halftoned row e - 64: the
    // engine records a call when it returns, so that call comes first.
    for (unsigned rows : {64u, 65u, 129u, 200u}) {
        SCOPED_TRACE(rows);
        const ParallelCase c{"", 3, 720, {{0, rows}}, nullptr, {7, 7, 1, false}, 1, 12, 0, 0, 1};
        Prepare(c, true);
        engine.config.slow_delay_us = 2000;
        auto x = MakeX();
        engine.config.slow_instance = Instance(*x, 1);
        ASSERT_EQ(x->StartPage(), 0);
        TestBand tb = MakeBand(c, 0, 0);
        for (unsigned y = 0; y < rows; ++y) tb.Put(c.source, 0, y, 9);
        const tagRECT band{0, 0, 12, rows}, clip{0, 0, 12, rows};
        ASSERT_EQ(x->BandOut(&clip, &tb.bmp, nullptr, &band, nullptr), 0);
        EXPECT_EQ(out->rasters_sent(), rows);
        std::map<int, int> done;  // per channel instance: the last row halftoned
        for (int k = 0; k < 3; ++k) done[Instance(*x, k)] = -1;
        int checked = 0;
        for (const HxrCallRecord& r : engine.Calls()) {
            if (r.kind == HxrCall::kHalftone) done.at(r.instance) = r.first_row + r.lines - 1;
            if (r.kind != HxrCall::kConvertColor) continue;
            const int last = r.first_row + r.lines - 1;
            for (const auto& [instance, passed] : done)
                EXPECT_GT(passed, last - 64 - 1) << "conversion of row " << last << ", instance " << instance;
            checked += last >= 64;
        }
        EXPECT_EQ(checked, int(rows > 64 ? (rows - 63) / 2 : 0));
    }
}

TEST_F(IntentXParallelTest, OtherBandsTakeTheSerialPath) {
    const struct {
        const char* name;
        std::function<void()> setUp;
    } rows[] = {
        {"two source rows a printed row (four lines a call)",
         [this] {
             Build(HtGeometry{2, 1, 8, {720, 1440}, {720, 720}});
             init.band_lines = 4;
             engine.config.lines_per_row = 2;
         }},
        {"a direct ink source with fewer planes than channels",
         [this] {
             Build(HtGeometry{6, 1, 8, {720, 720}, {720, 720}});
             UseSource({104, 0, 1, false});
         }},
        {"gray expansion",
         [this] {
             Build(HtGeometry{2, 1, 8, {720, 720}, {720, 720}});
             init.composite_black = 1;
         }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        r.setUp();
        ht.halftone_type = 6;
        engine.ClearCalls();
        auto x = MakeX();
        EXPECT_FALSE(x->ParallelPath());
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

TEST_F(IntentXParallelTest, AFailedBandLeavesThePoolServingTheNext) {
    const ParallelCase c{"", 4, 1440, {{0, 50}, {50, 50}}};
    struct Failure {
        const char* name;
        std::function<void(const CIntentX& x, int firstRow)> arm;  // fails the band from that row
        int code;
    };
    const Failure failures[] = {
        {"a channel's halftoning", [this](const CIntentX& x, int row) {
             engine.SetFailHook([row, i = Instance(x, 2)](const HxrCallRecord& r) {
                 return r.kind == HxrCall::kHalftone && r.instance == i && r.first_row >= row ? 9001u : 0u;
             });
         }, -3004},
        {"a channel's halftoning with a low engine code", [this](const CIntentX& x, int row) {
             engine.SetFailHook([row, i = Instance(x, 0)](const HxrCallRecord& r) {
                 return r.kind == HxrCall::kHalftone && r.instance == i && r.first_row >= row ? 7u : 0u;
             });
         }, -3004},
        {"the conversion", [this](const CIntentX&, int row) {
             engine.SetFailHook([row](const HxrCallRecord& r) {
                 return r.kind == HxrCall::kConvertColor && r.first_row >= row ? 5001u : 0u;
             });
         }, -3002},
        {"the output module", [this](const CIntentX&, int) {
             out->raster_fail_at = out->runs().size() + 5;
             out->raster_fail_code = -2009;
         }, -2009},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.name);
        const PageLog serial = RunPage(c, false);
        const int threads = SettledThreadCount();
        Prepare(c, true);
        auto x = MakeX();
        ASSERT_EQ(x->StartPage(), 0);
        for (int attempt = 0; attempt < 2; ++attempt) {
            f.arm(*x, attempt == 0 ? 30 : 0);
            TestBand tb = MakeBand(c, 0, 0);
            const tagRECT band{0, 0, 20, 50};
            EXPECT_EQ(x->BandOut(&band, &tb.bmp, nullptr, &band, nullptr), f.code);
            engine.SetFailHook(nullptr);
            out->raster_fail_at = 0;
            // The pool stays, its workers idle; the next band prints.
            EXPECT_TRUE(x->HasWorkerPool());
            EXPECT_EQ(ProcessThreadCount(), threads + 4);
            const size_t before = out->rows().size();
            const tagRECT next{0, 50, 20, 100}, clip{0, 0, 20, 50};
            TestBand tb2 = MakeBand(c, 1, 50);
            ASSERT_EQ(x->BandOut(&clip, &tb2.bmp, nullptr, &next, nullptr), 0);
            const std::vector<Row> rows = out->rows();
            ASSERT_EQ(rows.size() - before, serial.bands[1].size());
            for (size_t i = 0; i < serial.bands[1].size(); ++i)
                EXPECT_EQ(rows[before + i].bytes, serial.bands[1][i].bytes) << i;
            ASSERT_EQ(x->StartPage(), 0);
        }
        x.reset();
        EXPECT_EQ(SettledThreadCount(threads), threads);
    }
}

TEST_F(IntentXParallelTest, AWorkerThatCannotStart) {
    const ParallelCase c{"", 5, 720, {{0, 30}}};
    const int threads = SettledThreadCount();
    for (int failAt : {0, 2, 4}) {
        SCOPED_TRACE(failAt);
        const PageLog serial = RunPage(c, false);
        Prepare(c, true);
        StartProbe x(&init);
        ASSERT_EQ(x.StartPage(), 0);
        x.fail_at = failAt;
        TestBand tb = MakeBand(c, 0, 0);
        const tagRECT band{0, 0, 20, 30};
        EXPECT_EQ(x.BandOut(&band, &tb.bmp, nullptr, &band, nullptr), -10);
        // The pool is gone, the started workers joined, no row passed.
        EXPECT_FALSE(x.HasWorkerPool());
        EXPECT_EQ(SettledThreadCount(threads), threads);
        EXPECT_EQ(x.starts, failAt + 1);
        EXPECT_TRUE(out->runs().empty());
        // The next band starts the pool again and prints the band.
        ASSERT_EQ(x.StartPage(), 0);
        TestBand again = MakeBand(c, 0, 0);
        ASSERT_EQ(x.BandOut(&band, &again.bmp, nullptr, &band, nullptr), 0);
        EXPECT_EQ(ProcessThreadCount(), threads + 5);
        EXPECT_EQ(out->rows(), serial.bands[0]);
    }
    EXPECT_EQ(SettledThreadCount(threads), threads);
}

TEST_F(IntentXParallelTest, RingsThatCannotBeAllocated) {
    // Twelve channels of a page 2.9 million pixels wide: 64 ink rows of
    // each are beyond what one block holds. Nothing starts; no row passes.
    const int threads = SettledThreadCount();
    Build(HtGeometry{12, 1, 2'900'000u, {720, 720}, {720, 720}});
    ht.halftone_type = 6;
    auto x = MakeX();
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

TEST_F(IntentXParallelTest, ThePoolLivesFromTheFirstParallelBandToTheEnd) {
    const ParallelCase c{"", 7, 720, {{0, 8}}};
    const int threads = SettledThreadCount();
    Prepare(c, true);
    {
        auto x = MakeX();
        ASSERT_EQ(x->StartPage(), 0);
        EXPECT_FALSE(x->HasWorkerPool());
        EXPECT_EQ(SettledThreadCount(threads), threads);
        for (int page = 0; page < 3; ++page) {
            TestBand tb = MakeBand(c, 0, 0);
            const tagRECT band{0, 0, 20, 8};
            ASSERT_EQ(x->BandOut(&band, &tb.bmp, nullptr, &band, nullptr), 0);
            EXPECT_EQ(ProcessThreadCount(), threads + 7);
            ASSERT_EQ(x->EndPage(), 0);
            ASSERT_EQ(x->StartPage(), 0);
        }
    }
    EXPECT_EQ(SettledThreadCount(threads), threads);
    EXPECT_EQ(engine.LiveInstances(), 0);
}

}  // namespace
}  // namespace ovcg_test
