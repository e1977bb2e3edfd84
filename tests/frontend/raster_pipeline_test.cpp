// The raster line pipeline: the writer without pipes, the offset pipe and
// the disc-mask pipe against slow reference models, the final stage's
// limits, and set-up failures.
#include <cmath>
#include <random>
#include <vector>

#include "frontend/call_claim.h"
#include "frontend/heap.h"
#include "frontend/raster_pipeline.h"
#include "frontend_fixture.h"

namespace ovcg_test {
namespace {

namespace fe = ovcg::frontend;
using Line = std::vector<uint8_t>;

// A sink that keeps every line it is given.
struct Collector {
    std::vector<Line> lines;
    std::vector<uint32_t> widths;
    int32_t result = 0;
    long fail_at = -1;
    static int32_t process(void* ctx, const uint8_t* line, uint32_t length, uint32_t width,
                           int32_t*) {
        auto* c = static_cast<Collector*>(ctx);
        long index = static_cast<long>(c->lines.size());
        c->lines.emplace_back(line, line + length);
        c->widths.push_back(width);
        return index == c->fail_at ? c->result : 0;
    }
};

ovcg_raster_info make_info(uint32_t width, uint32_t height, uint32_t bpp = 3) {
    ovcg_raster_info i{};
    i.size = sizeof(ovcg_raster_info);
    i.x_resolution = i.y_resolution = 300;
    i.bytes_per_pixel = bpp;
    i.width = width;
    i.height = height;
    return i;
}

Line random_line(std::mt19937& rng, size_t n) {
    Line l(n);
    for (uint8_t& b : l) b = static_cast<uint8_t>(rng() % 254 + 1);  // neither 0x00 nor 0xFF
    return l;
}

class RasterPipeline : public ::testing::Test {
protected:
    void SetUp() override {
        CountingHeap::reset();
        fe::ovcg_heap_set_extern_functions(CountingHeap::allocate, CountingHeap::release);
    }
    void TearDown() override {
        release();
        EXPECT_EQ(CountingHeap::live, 0);
        fe::ovcg_heap_set_extern_functions(nullptr, nullptr);
    }
    void release() {
        ovcg_raster_free(writer);
        writer = nullptr;
        raster_helper_destroy_pipeline(pipeline);
        pipeline = nullptr;
    }
    // A new pipeline and writer (releasing those of an earlier case) and an empty sink.
    void build(const ovcg_raster_info& info) {
        release();
        out = Collector{};
        pipeline = raster_helper_create_pipeline(&info);
        ASSERT_NE(pipeline, nullptr);
        const ovcg_raster_sink sink = {&out, Collector::process};
        ASSERT_EQ(ovcg_raster_init(&writer, &sink, pipeline), 0);
    }
    int32_t print(const Line& l, int32_t* taken = nullptr) {
        return ovcg_raster_print(writer, l.data(), static_cast<int32_t>(l.size()), 0, taken);
    }
    int32_t end_page() { return ovcg_raster_print(writer, nullptr, 0, 0, nullptr); }

    Collector out;
    ovcg_raster_pipeline* pipeline = nullptr;
    ovcg_raster_writer* writer = nullptr;
};

TEST_F(RasterPipeline, WithoutPipesLinesPassUnchangedOrPadded) {
    build(make_info(4, 100));
    const Line full = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Line longer = full;
    longer.push_back(99);
    int32_t taken = 0;
    ASSERT_EQ(print(full, &taken), 0);
    EXPECT_EQ(taken, 1);
    ASSERT_EQ(print({1, 2, 3, 4, 5}), 0);
    const uint8_t nothing = 0;
    ASSERT_EQ(ovcg_raster_print(writer, &nothing, 0, 0, nullptr), 0);  // an empty line
    ASSERT_EQ(print(longer), 0);
    ASSERT_EQ(end_page(), 0);
    // Padded, white, and the full length only; the end of the page does not reach the sink.
    EXPECT_EQ(out.lines, (std::vector<Line>{
                             full, {1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                             Line(12, 0xFF), full}));
    for (uint32_t w : out.widths) EXPECT_EQ(w, 4u);
}

TEST_F(RasterPipeline, LeadingLinesAreSkippedPerPage) {
    ovcg_raster_info info = make_info(1, 100, 1);
    info.skip_lines = 2;
    build(info);
    for (uint8_t i = 0; i < 4; ++i) ASSERT_EQ(print({i}), 0);
    ASSERT_EQ(end_page(), 0);
    for (uint8_t i = 10; i < 13; ++i) ASSERT_EQ(print({i}), 0);
    EXPECT_EQ(out.lines, (std::vector<Line>{{2}, {3}, {12}}));
}

TEST_F(RasterPipeline, SinkFailuresComeBack) {
    build(make_info(1, 100, 1));
    out.fail_at = 1;
    out.result = OVCG_ERR_NO_MEMORY;
    int32_t taken = 0;
    EXPECT_EQ(print({1}, &taken), 0);
    taken = 0;
    EXPECT_EQ(print({2}, &taken), OVCG_ERR_NO_MEMORY);
    EXPECT_EQ(taken, 0);
}

TEST_F(RasterPipeline, Arguments) {
    build(make_info(1, 100, 1));
    const uint8_t b = 0;
    EXPECT_EQ(ovcg_raster_print(writer, &b, -1, 0, nullptr), OVCG_ERR_ARGUMENT);
    EXPECT_EQ(ovcg_raster_print(nullptr, &b, 1, 0, nullptr), 0);
    EXPECT_TRUE(out.lines.empty());
    ovcg_raster_info bad = make_info(1, 1);
    EXPECT_EQ(raster_helper_create_pipeline(nullptr), nullptr);
    bad.size = 55;
    EXPECT_EQ(raster_helper_create_pipeline(&bad), nullptr);
    ovcg_raster_writer* w = nullptr;
    const ovcg_raster_sink sink = {&out, Collector::process};
    const ovcg_raster_sink no_sink = {&out, nullptr};
    EXPECT_NE(ovcg_raster_init(nullptr, &sink, pipeline), 0);
    EXPECT_NE(ovcg_raster_init(&w, nullptr, pipeline), 0);
    EXPECT_NE(ovcg_raster_init(&w, &no_sink, pipeline), 0);
    EXPECT_NE(ovcg_raster_init(&w, &sink, nullptr), 0);
    EXPECT_EQ(w, nullptr);
    ovcg_raster_free(nullptr);
    raster_helper_destroy_pipeline(nullptr);
}

TEST_F(RasterPipeline, UnusableSetUpsAreRefused) {
    // Lines too long for the offset pipe (which is then left out) or the
    // writer, and resolutions the disc pipe cannot lay out.
    ovcg_raster_info huge = make_info(0x40000000, 10, 4), no_dpi = make_info(10, 10),
                     high_dpi = make_info(10, 10);
    huge.offset_on = no_dpi.disc_on = high_dpi.disc_on = 1;
    no_dpi.x_resolution = 0;
    high_dpi.x_resolution = 9601;
    for (auto [info, pipes] : {std::pair{huge, 0u}, {no_dpi, 1u}, {high_dpi, 1u}}) {
        release();
        pipeline = raster_helper_create_pipeline(&info);
        ASSERT_NE(pipeline, nullptr);
        EXPECT_EQ(pipeline->count, pipes);
        const ovcg_raster_sink sink = {&out, Collector::process};
        EXPECT_EQ(ovcg_raster_init(&writer, &sink, pipeline), 1);
        EXPECT_EQ(writer, nullptr);
    }
}

TEST_F(RasterPipeline, OutOfMemory) {
    ovcg_raster_info info = make_info(10, 10);
    info.offset_on = 1;
    info.disc_on = 1;
    // Every allocation in turn fails; nothing leaks, and what is made works.
    for (long k = 0; k < 12; ++k) {
        SCOPED_TRACE(k);
        CountingHeap::fail_after = CountingHeap::allocations + k;
        ovcg_raster_pipeline* pl = raster_helper_create_pipeline(&info);
        ovcg_raster_writer* w = nullptr;
        const ovcg_raster_sink sink = {&out, Collector::process};
        if (pl && ovcg_raster_init(&w, &sink, pl) == 0) {
            CountingHeap::fail_after = -1;
            Line l(30, 1);
            EXPECT_EQ(ovcg_raster_print(w, l.data(), 30, 0, nullptr), 0);
        }
        CountingHeap::fail_after = -1;
        ovcg_raster_free(w);
        raster_helper_destroy_pipeline(pl);
        EXPECT_EQ(CountingHeap::live, 0);
    }
}

// A call made while another is inside changes nothing: the refused set-up
// clears the caller's writer, a disc line is refused with OVCG_ERR_ARGUMENT.
TEST_F(RasterPipeline, CallsWhileAnotherIsInsideAreRefused) {
    ovcg_raster_info info = make_info(700, 10, 1);
    info.x_resolution = 150;
    info.disc_on = 1;
    build(info);
    ovcg_raster_pipe* disc = pipeline->pipes[0];
    const Line line(700, 0x55);
    const ovcg_raster_sink sink = {&out, Collector::process};
    ovcg_raster_writer* w = writer;
    int32_t taken = 0;
    {
        const fe::CallClaim inside;
        ASSERT_TRUE(inside);
        EXPECT_EQ(ovcg_raster_init(&w, &sink, pipeline), 1);
        EXPECT_EQ(ovcg_process_cddvd(disc, line.data(), 700, 700, &taken), OVCG_ERR_ARGUMENT);
    }
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(taken, 0);
    EXPECT_TRUE(out.lines.empty());
    EXPECT_EQ(print(line), 0);
    EXPECT_EQ(out.lines.size(), 1u);
}

// Writers and the pipes' states come from the allocator the pipeline was
// made under, whatever is installed when the writer is made.
TEST_F(RasterPipeline, WritersAndPipeStatesUseThePipelinesAllocator) {
    ovcg_raster_info info = make_info(700, 10, 1);
    info.x_resolution = 150;
    info.offset_on = info.disc_on = 1;
    pipeline = raster_helper_create_pipeline(&info);
    ASSERT_NE(pipeline, nullptr);
    fe::ovcg_heap_set_extern_functions(nullptr, nullptr);
    const long before = CountingHeap::allocations;
    const ovcg_raster_sink sink = {&out, Collector::process};
    ASSERT_EQ(ovcg_raster_init(&writer, &sink, pipeline), 0);
    // The writer and its two line buffers; each pipe's state and its buffer.
    EXPECT_EQ(CountingHeap::allocations - before, 7);
    EXPECT_EQ(print(Line(700, 0x55)), 0);
    release();
    EXPECT_EQ(CountingHeap::live, 0);
}

// ---- Offset pipe ----

// What the offset pipe makes of a page: white top lines, then each line moved
// right by the left offset, all within the raster's height.
std::vector<Line> offset_model(const std::vector<Line>& in, uint32_t width, uint32_t bpp,
                               uint32_t height, uint32_t left, uint32_t top) {
    const size_t bytes = size_t{width} * bpp;
    const size_t shift = std::min<size_t>(bytes, size_t{left} * bpp);
    const uint32_t top_lines = std::min(top, height);
    std::vector<Line> out;
    if (!in.empty())
        for (uint32_t i = 0; i < top_lines; ++i) out.emplace_back(bytes, 0xFF);
    for (const Line& l : in) {
        if (out.size() >= height) break;
        Line o(bytes, 0xFF);
        for (size_t i = 0; i + shift < bytes && i < l.size(); ++i) o[i + shift] = l[i];
        out.push_back(o);
    }
    return out;
}

TEST_F(RasterPipeline, OffsetPipeAgainstModel) {
    struct Case {
        uint32_t width, bpp, height, left, top, lines;
    };
    const Case cases[] = {
        {8, 3, 20, 2, 3, 5},  {8, 3, 6, 2, 3, 5},   {8, 1, 20, 0, 0, 4},  {8, 3, 20, 8, 1, 2},
        {8, 3, 20, 50, 1, 2}, {5, 1, 3, 1, 10, 4},  {7, 4, 10, 3, 0, 12}, {1, 3, 4, 0, 2, 0},
    };
    std::mt19937 rng(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " left " << c.left
                                          << " top " << c.top << " lines " << c.lines);
        ovcg_raster_info info = make_info(c.width, c.height, c.bpp);
        info.offset_on = 1;
        info.offset_left = c.left;
        info.offset_top = c.top;
        build(info);
        ASSERT_EQ(pipeline->count, 1u);
        std::vector<Line> in;
        for (uint32_t i = 0; i < c.lines; ++i) {
            in.push_back(random_line(rng, size_t{c.width} * c.bpp - (i % 3)));  // some short
            ASSERT_EQ(print(in.back()), 0);
        }
        ASSERT_EQ(end_page(), 0);
        // The writer pads short lines before the pipe.
        for (Line& l : in) l.resize(size_t{c.width} * c.bpp, 0xFF);
        EXPECT_EQ(out.lines, offset_model(in, c.width, c.bpp, c.height, c.left, c.top));
    }
}

// ---- Disc pipe ----

TEST(DiscGeometry, WidthAndRadii) {
    struct Case {
        uint32_t dpi, hole;
        uint32_t width;
        int32_t outer, inner;
    };
    const Case cases[] = {
        {300, 15, 1370, 685, 88},  {600, 15, 2740, 1370, 177}, {150, 15, 685, 342, 44},
        {300, 0, 1370, 685, 0},    {300, 116, 1370, 685, 685}, {1200, 41, 5480, 2740, 968},
    };
    for (const Case& c : cases) {
        fe::disc_geometry g = fe::disc_geometry_for(c.dpi, c.hole);
        EXPECT_EQ(g.disc_width, c.width) << c.dpi;
        EXPECT_EQ(g.outer_radius, c.outer) << c.dpi;
        EXPECT_EQ(g.inner_radius, c.inner) << c.dpi;
    }
}

// A slow, per-pixel model of the plain disc mask for line n of the disc.
Line disc_model(const Line& in, uint32_t n, uint32_t width, uint32_t bpp, uint32_t dpi,
                uint32_t hole) {
    fe::disc_geometry g = fe::disc_geometry_for(dpi, hole);
    const int64_t R = g.outer_radius, r = g.inner_radius;
    int64_t dy = R - n;
    if (dy < 1) dy += 1;
    Line out(size_t{g.disc_width} * bpp, 0xFF);
    for (uint32_t x = 0; x < g.disc_width && x < width; ++x) {
        bool image = false;
        if (std::llabs(dy) <= R) {
            int64_t oc = static_cast<int64_t>(std::sqrt(double((R + dy) * (R - dy))));
            image = x >= R - oc && x < R + oc;
            if (r > 0 && std::llabs(dy) <= r) {
                int64_t ic = static_cast<int64_t>(std::sqrt(double((r + dy) * (r - dy))));
                if (x >= R - ic && x < R + ic) image = false;
            }
        }
        for (uint32_t b = 0; b < bpp; ++b) {
            size_t i = size_t{x} * bpp + b;
            out[i] = image && i < in.size() ? in[i] : 0xFF;
        }
    }
    return out;
}

TEST_F(RasterPipeline, DiscPipeAgainstModel) {
    struct Case {
        uint32_t dpi, width, bpp, hole, top;
    };
    const Case cases[] = {{150, 700, 3, 15, 2}, {150, 500, 1, 40, 0}, {300, 1370, 3, 15, 1},
                          {150, 685, 3, 0, 0},
                          {150, 685, 1, 300, 0}};  // a hole wider than the disc: all white
    std::mt19937 rng(11);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.dpi << " dpi, width " << c.width);
        ovcg_raster_info info = make_info(c.width, 100000, c.bpp);
        info.x_resolution = info.y_resolution = c.dpi;
        info.disc_on = 1;
        info.disc_hole_diameter = c.hole;
        info.disc_top = c.top;
        build(info);
        ASSERT_EQ(pipeline->count, 1u);
        const fe::disc_geometry g = fe::disc_geometry_for(c.dpi, c.hole);
        const uint32_t lines = 2 * g.outer_radius + 4;  // the whole disc and a little past it
        std::vector<Line> in;
        for (uint32_t i = 0; i < lines; ++i) {
            in.push_back(random_line(rng, size_t{c.width} * c.bpp));
            ASSERT_EQ(print(in.back()), 0);
        }
        ASSERT_EQ(out.lines.size(), c.top + lines);
        const size_t full = size_t{c.width} * c.bpp;
        for (uint32_t i = 0; i < c.top; ++i) EXPECT_EQ(out.lines[i], Line(full, 0xFF));
        for (uint32_t n = 0; n < lines; ++n) {
            Line expected = disc_model(in[n], n, c.width, c.bpp, c.dpi, c.hole);
            expected.resize(full, 0xFF);  // the final stage pads or cuts to the raster width
            ASSERT_EQ(out.lines[c.top + n], expected) << "disc line " << n;
        }
    }
}

// Disc lines worked out by hand from the geometry (150 dpi: radius 342, a 15 mm
// hole radius 44): the runs white, image, white, image, white of the line.
TEST_F(RasterPipeline, DiscLinesWorkedByHand) {
    struct Case {
        uint32_t width, n;
        std::vector<uint32_t> runs;
    };
    const Case cases[] = {
        {685, 0, {685, 0, 0, 0, 0}},        // top line: a chord of 0
        {685, 297, {3, 678, 0, 0, 4}},      // dy 45, just above the hole
        {685, 300, {3, 326, 26, 326, 4}},   // dy 42: chords 339 and 13
        {685, 342, {1, 298, 86, 298, 2}},   // dy 0 raised to 1
        {685, 343, {0, 298, 88, 298, 1}},   // dy -1 raised to 0: the widest line
        {685, 684, {316, 52, 0, 0, 317}},   // dy -341: chord 26
        {685, 685, {685, 0, 0, 0, 0}},      // dy -342: the bottom line, a chord of 0
        {685, 686, {685, 0, 0, 0, 0}},      // past the disc
        {500, 342, {1, 298, 86, 115, 0}},   // a raster narrower than the disc
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "width " << c.width << " line " << c.n);
        ovcg_raster_info info = make_info(c.width, 100000, 1);
        info.x_resolution = info.y_resolution = 150;
        info.disc_on = 1;
        info.disc_hole_diameter = 15;
        build(info);
        for (uint32_t i = 0; i <= c.n; ++i) ASSERT_EQ(print(Line(c.width, 0x55)), 0);
        Line expected;
        for (size_t k = 0; k < c.runs.size(); ++k)
            expected.insert(expected.end(), c.runs[k], k % 2 ? 0x55 : 0xFF);
        ASSERT_EQ(expected.size(), c.width);
        EXPECT_EQ(out.lines.back(), expected);
    }
}

// The taken flag: set for a line that went on (or that the final stage drops
// past the page's height), not for a line skipped or dropped by a pipe, nor at
// the end of the page.
TEST_F(RasterPipeline, TakenFlag) {
    struct Case {
        const char* name;
        uint32_t skip, offset_top, height;
        bool disc;
        int lines;  // lines printed before the one whose flag is read; -1: read the end of page
        int32_t want;
    };
    const Case cases[] = {
        {"no pipes", 0, 0, 10, false, 0, 1},
        {"no pipes, a skipped line", 2, 0, 10, false, 1, 0},
        {"no pipes, the first line after the skip", 2, 0, 10, false, 2, 1},
        {"no pipes, end of page", 0, 0, 10, false, -1, 0},
        {"offset pipe", 0, 1, 10, false, 0, 1},
        {"offset pipe, past its body lines", 0, 1, 2, false, 1, 0},
        {"offset pipe, end of page", 0, 1, 10, false, -1, 0},
        {"disc pipe", 0, 0, 10, true, 0, 1},
        {"disc pipe, past the page height", 0, 0, 2, true, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ovcg_raster_info info = make_info(4, c.height, 1);
        info.x_resolution = 150;
        info.skip_lines = c.skip;
        info.offset_on = c.offset_top != 0;
        info.offset_top = c.offset_top;
        info.disc_on = c.disc;
        build(info);
        for (int i = 0; i < c.lines; ++i) ASSERT_EQ(print(Line(4, 1)), 0);
        const size_t before = out.lines.size();
        int32_t taken = 0;
        if (c.lines < 0)
            ASSERT_EQ(ovcg_raster_print(writer, nullptr, 0, 0, &taken), 0);
        else
            ASSERT_EQ(print(Line(4, 1), &taken), 0);
        EXPECT_EQ(taken, c.want);
        EXPECT_LE(out.lines.size() - before, 2u);
    }
}

TEST_F(RasterPipeline, DiscOutlinesAreBlackAndOnlyAtTheEdges) {
    ovcg_raster_info info = make_info(685, 100000, 1);
    info.x_resolution = info.y_resolution = 150;
    info.disc_on = 1;
    info.disc_hole_diameter = 30;
    info.disc_outline = 1;
    build(info);
    const fe::disc_geometry g = fe::disc_geometry_for(150, 30);
    const uint32_t lines = 2 * g.outer_radius + 3;
    std::mt19937 rng(3);
    std::vector<Line> in;
    for (uint32_t i = 0; i < lines; ++i) {
        in.push_back(random_line(rng, 685));
        ASSERT_EQ(print(in.back()), 0);
    }
    ASSERT_EQ(out.lines.size(), lines);
    size_t black_total = 0;
    for (uint32_t n = 0; n < lines; ++n) {
        const Line plain = disc_model(in[n], n, 685, 1, 150, 30);
        const Line& got = out.lines[n];
        for (size_t x = 0; x < got.size(); ++x) {
            // Each pixel is the plain result or black.
            ASSERT_TRUE(got[x] == plain[x] || got[x] == 0x00) << n << "," << x;
            black_total += got[x] == 0x00;
        }
    }
    // The top line of the disc is black across its chord, and every ring line
    // has a black outer edge.
    EXPECT_EQ(out.lines[0][g.outer_radius], 0x00);
    for (uint32_t n = 1; n + 2 < lines; ++n) {
        const int64_t R = g.outer_radius;
        int64_t dy = R - n;
        if (dy < 1) dy += 1;
        if (std::llabs(dy) > R) continue;
        const int64_t oc = static_cast<int64_t>(std::sqrt(double((R + dy) * (R - dy))));
        ASSERT_EQ(out.lines[n][R - oc], 0x00) << n;
    }
    EXPECT_GT(black_total, 4u * g.outer_radius);
    EXPECT_LT(black_total, 40u * g.outer_radius);
}

TEST_F(RasterPipeline, BothPipesChainAndTheFinalStageStopsAtTheHeight) {
    ovcg_raster_info info = make_info(700, 10, 1);
    info.x_resolution = 150;
    info.offset_on = 1;
    info.offset_top = 4;
    info.disc_on = 1;
    build(info);
    ASSERT_EQ(pipeline->count, 2u);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(print(Line(700, 0x55)), 0);
    ASSERT_EQ(end_page(), 0);
    EXPECT_EQ(out.lines.size(), 10u);
    // The offset pipe's white lines go through the disc mask as well.
    for (const Line& l : out.lines) EXPECT_EQ(l.size(), 700u);
    EXPECT_EQ(out.lines[0], Line(700, 0xFF));
}

}  // namespace
}  // namespace ovcg_test
