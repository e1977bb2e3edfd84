// Ordered dither: the binariser's kernel tables and wrappers, hand-worked
// spans and tiles, the six kernels against a slow per-pixel reference over
// random rows, geometry and spans, and the invariants of the dot test.
#include "hxr/binarize/hxr_bnrz_dither.h"
#include "hxr/binarize/hxr_runtime_sml.h"
#include "hxr/control/hxr_dither.h"
#include "support/dither_record.h"
#include "support/guard_page.h"
#include "support/hxr_fixture.h"
#include "support/model_dither.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using namespace ovcg_test;

// One of the six kernels, reached through its binariser and wrapper.
struct Variant {
    const char* name;
    uint32_t kind, elementSize, dotMode;
    int bits;
    bool skip;  // all-zero groups left alone
};
const Variant kVariants[] = {
    {"In8Out1", 1, 1, 1, 1, true},      {"In8Out2", 1, 1, 2, 2, true},
    {"TNMXIn8Out1", 6, 1, 1, 1, false}, {"TNMXIn8Out2", 4, 1, 34, 2, false},
    {"In16Out1", 5, 2, 1, 1, true},     {"In16Out2", 6, 2, 2, 2, true},
};

// An SML row of `levels` x vpl rates.
struct Row {
    std::vector<uint32_t> rates;
    HXRSmlColorData data{};
    Row(uint32_t levels, uint32_t vpl, std::vector<uint32_t> r) : rates(std::move(r)) {
        data.gradationNum = levels;
        data.dotSizeNum = vpl;
        data.rates = rates.data();
    }
};

// The literal per-pixel model: every pixel of the bytes that hold the span
// gets its code (groups of four zero inks none and uncounted when `skip`),
// then pixels before x0 take their old code back and pixels from x0 + n are
// cleared, the codes of both taken back out of counts 1..3.
template <typename In>
void reference(std::vector<uint8_t>& plane, uint32_t* counts, const std::vector<In>& ink,
               const std::vector<uint32_t>& rates, uint32_t last, const DitherRecord& rec, const HXRDthOffset& off,
               int64_t x0, int64_t n, uint32_t nozzle, int bits, bool skip) {
    const int64_t per = 8 / bits, first = x0 / per * per, end = (x0 + n + per - 1) / per * per;
    const std::vector<uint8_t> old = plane;
    auto get = [&](const std::vector<uint8_t>& p, int64_t x) {
        return uint32_t(p[size_t(x / per)] >> (8 - bits * (x % per + 1))) & ((1u << bits) - 1);
    };
    auto put = [&](int64_t x, uint32_t code) {
        const int shift = int(8 - bits * (x % per + 1));
        uint8_t& b = plane[size_t(x / per)];
        b = uint8_t((b & ~(((1u << bits) - 1) << shift)) | (code << shift));
    };
    for (int64_t x = first; x < end; ++x) {
        const int64_t g = (x - first) / 4 * 4 + first;
        const bool zero = ink[size_t(g)] == 0 && ink[size_t(g + 1)] == 0 && ink[size_t(g + 2)] == 0 &&
                          ink[size_t(g + 3)] == 0;
        uint32_t code = 0;
        if (!(skip && zero)) {
            const uint32_t cell = reference_cell(rec, off, nozzle, first, x);
            const uint32_t v = std::min<uint32_t>(ink[size_t(x)], last);
            for (int k = 0; k < (bits == 1 ? 1 : 3); ++k)
                code += ((cell - rates[size_t(v) * (bits == 1 ? 1 : 3) + size_t(k)]) >> 12) & 1;
            ++counts[code];
        }
        put(x, code);
    }
    for (int64_t x = first; x < end; ++x) {
        if (x >= x0 && x < x0 + n) continue;
        if (const uint32_t code = get(plane, x)) --counts[code];
        put(x, x < x0 ? get(old, x) : 0);
    }
}

class DitherKernels : public HxrTest {
protected:
    HXRDitherBinarizer* binarizer(const Variant& v) {
        HXRDitherBinarizer* b = HXRCreateBinarizeDither(v.kind, v.elementSize, v.dotMode, mm);
        EXPECT_NE(b, nullptr) << v.name;
        return b;
    }
    // Runs the variant's wrapper; u8 rows are the low bytes of `ink`.
    uint32_t run(const HXRDitherBinarizer* b, uint8_t* plane, uint32_t* counts, const std::vector<uint16_t>& ink,
                 int32_t x0, int32_t n, const HXRDthData* d, const HXRDthOffset* off, const HXRSmlColorData* row,
                 uint32_t nozzle) {
        const HXRSmlColorData* pair[2] = {row, row};
        if (b->elementSize == 2)
            return HXRBinarizeDither16bit(b, plane, counts, ink.data(), nullptr, x0, n, d, off, pair, nozzle);
        std::vector<uint8_t> narrow(ink.begin(), ink.end());
        return HXRBinarizeDither(b, plane, counts, narrow.data(), nullptr, x0, n, d, off, pair, nozzle);
    }
    // A record from a model mask, through the resource parser.
    DitherRecord model_record(const PlainMaskSpec& recipe) {
        const Bytes res = write_plain_mask(recipe);
        HXRDthResParser* m = HXRCreateDthResParser(res.data(), uint32_t(res.size()), svc.table()->StrNCmp, mm);
        EXPECT_NE(m, nullptr);
        const int32_t w = int32_t(HXRGetDthSizeH(m)), h = int32_t(HXRGetDthSizeV(m));
        std::vector<uint16_t> t;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) t.push_back(uint16_t(HXRGetDthThresh(m, uint32_t(x), uint32_t(y))));
        DitherRecord r = make_dither_record(w, h, int32_t(HXRGetDthShiftH(m)), int32_t(HXRGetDthShiftV(m)), t);
        HXRDeleteDthResParser(m, mm);
        return r;
    }
};

TEST_F(DitherKernels, TablesChooseOneKernelPerElementSize) {
    struct Case {
        uint32_t kind, es, mode;
        HXRDitherKernel8 k8;
        HXRDitherKernel16 k16;
    };
    const Case cases[] = {
        {1, 1, 1, HXRBinarizeDitherIn8BitOut1Bit, nullptr},
        {1, 1, 2, HXRBinarizeDitherIn8BitOut2Bit, nullptr},
        {2, 1, 34, HXRBinarizeDitherIn8BitOut2Bit, nullptr},
        {5, 2, 1, nullptr, HXRBinarizeDitherIn16BitOut1Bit},
        {1, 2, 34, nullptr, HXRBinarizeDitherIn16BitOut2Bit},
        {6, 1, 1, HXRBinarizeTNMXDitherIn8BitOut1Bit, nullptr},
        {4, 1, 2, HXRBinarizeTNMXDitherIn8BitOut2Bit, nullptr},
        {6, 1, 34, HXRBinarizeTNMXDitherIn8BitOut2Bit, nullptr},
        {6, 2, 1, nullptr, HXRBinarizeDitherIn16BitOut1Bit},
        {4, 2, 2, nullptr, HXRBinarizeDitherIn16BitOut2Bit},
    };
    for (const Case& c : cases) {
        HXRDitherBinarizer* b = HXRCreateBinarizeDither(c.kind, c.es, c.mode, mm);
        ASSERT_NE(b, nullptr) << c.kind << " " << c.es << " " << c.mode;
        EXPECT_EQ(b->kernel8, c.k8);
        EXPECT_EQ(b->kernel16, c.k16);
        EXPECT_EQ(b->elementSize, c.es);
        EXPECT_EQ(HXRGetBnrzDitheMode(b), c.kind);
        EXPECT_EQ(HXRGetBnrzDitherDthThreshAddition(b), 8192u);
    }
    for (uint32_t mode : {0u, 3u, 66u, 0xFFFFFFFFu}) EXPECT_EQ(HXRCreateBinarizeDither(1, 1, mode, mm), nullptr);
    for (uint32_t es : {0u, 3u, 4u}) EXPECT_EQ(HXRCreateBinarizeDither(1, es, 1, mm), nullptr);
    EXPECT_EQ(HXRGetBnrzDitheMode(nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(HXRGetBnrzDitherDthThreshAddition(nullptr), 0u);
    svc.fail_allocation_after(0);
    EXPECT_EQ(HXRCreateBinarizeDither(1, 1, 1, mm), nullptr);
}

// Every pixel prints: the spans' edges show alone.
TEST_F(DitherKernels, SpanEdgesByHand) {
    DitherRecord rec = make_dither_record(4, 1, 0, 0, {0, 1, 2, 3});
    const HXRDthOffset off{0, 0};
    Row one(256, 1, std::vector<uint32_t>(256, 4080)), three(256, 3, std::vector<uint32_t>(768, 4080));
    const std::vector<uint16_t> ink(16, 9);
    struct Case {
        const Variant& v;
        const Row& row;
        int32_t x0, n;
        std::vector<uint8_t> before, after;
        uint32_t counts[4];
    };
    const Case cases[] = {
        // 1 bit, span 3 / 10: pixels 0..2 keep their bits, 13..15 are cleared.
        {kVariants[0], one, 3, 10, {0xA5, 0xFF}, {0xBF, 0xF8}, {0, 10, 0, 0}},
        // 2 bits, span 5 / 6: pixel 4 comes back from the old byte, pixel 11 is cleared.
        {kVariants[1], three, 5, 6, {0x55, 0x55, 0x55}, {0x55, 0x7F, 0xFC}, {0, 0, 0, 6}},
        // Start and end inside one byte.
        {kVariants[0], one, 2, 3, {0xC3, 0x5A}, {0xF8, 0x5A}, {0, 3, 0, 0}},
        // Nothing to do: the old bits before x0 stay, those from x0 are cleared.
        {kVariants[0], one, 5, 0, {0xFF, 0x5A}, {0xF8, 0x5A}, {0, 0, 0, 0}},
        {kVariants[0], one, 8, 0, {0xFF, 0x5A}, {0xFF, 0x5A}, {0, 0, 0, 0}},
        {kVariants[1], three, 6, 0, {0x12, 0x34}, {0x12, 0x30}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        HXRDitherBinarizer* b = binarizer(c.v);
        std::vector<uint8_t> plane = c.before;
        uint32_t counts[7] = {};
        ASSERT_EQ(run(b, plane.data(), counts, ink, c.x0, c.n, &rec.data, &off, &c.row.data, 0), 0u);
        EXPECT_EQ(plane, c.after) << c.v.name << " " << c.x0 << "/" << c.n;
        for (int k = 1; k < 4; ++k) EXPECT_EQ(counts[k], c.counts[k]) << c.v.name << " " << c.x0 << " " << k;
    }
}

TEST_F(DitherKernels, ZeroGroupsAndInkZero) {
    // Ink 0 has level 4080 (as a monochrome-photo table may give it).
    DitherRecord rec = make_dither_record(4, 1, 0, 0, {10, 20, 30, 40});
    const HXRDthOffset off{0, 0};
    std::vector<uint32_t> r(256, 0);
    r[0] = 4080;
    Row row(256, 1, r);
    const std::vector<uint16_t> ink = {0, 0, 0, 0, 0, 0, 0, 1};
    struct Case {
        const Variant& v;
        uint8_t byte;
        uint32_t c0, c1;
    };
    // Plain: the first group is skipped; the second has a non-zero ink, so its
    // zero pixels print. Monochrome photo: every pixel tested.
    for (const Case& c : {Case{kVariants[0], 0x0E, 1, 3}, Case{kVariants[2], 0xFE, 1, 7}}) {
        HXRDitherBinarizer* b = binarizer(c.v);
        uint8_t plane = 0x77;
        uint32_t counts[7] = {100, 0, 0, 0, 0, 0, 0};
        ASSERT_EQ(run(b, &plane, counts, ink, 0, 8, &rec.data, &off, &row.data, 0), 0u);
        EXPECT_EQ(plane, c.byte) << c.v.name;
        EXPECT_EQ(counts[0], 100 + c.c0) << c.v.name;
        EXPECT_EQ(counts[1], c.c1) << c.v.name;
    }
}

// 16-bit values past the row's last level take the last level: a row of 256
// levels for the direct converter, 65535 for the expanded monochrome photo.
TEST_F(DitherKernels, SixteenBitValuesPastTheLastLevel) {
    DitherRecord rec = make_dither_record(4, 1, 0, 0, {100, 100, 100, 100});
    const HXRDthOffset off{0, 0};
    HXRDitherBinarizer* b = binarizer(kVariants[4]);
    struct Case {
        uint32_t levels;
        std::vector<uint16_t> ink;
        uint8_t byte;
    };
    // Only the last level prints.
    const Case cases[] = {
        {256, {255, 256, 300, 65535, 254, 0, 1, 2}, 0xF0},
        {65535, {65534, 65535, 65533, 0, 0, 0, 0, 0}, 0xC0},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> r(c.levels, 0);
        r.back() = 4080;
        Row row(c.levels, 1, r);
        uint8_t plane = 0;
        uint32_t counts[7] = {};
        ASSERT_EQ(run(b, &plane, counts, c.ink, 0, 8, &rec.data, &off, &row.data, 0), 0u);
        EXPECT_EQ(plane, c.byte) << c.levels;
    }
}

// A span that ends on a byte boundary touches nothing past it, even with
// n = 0: the plane and the ink row hold exactly the span's bytes.
TEST_F(DitherKernels, ExactBuffers) {
    DitherRecord rec = make_dither_record(5, 3, 1, 1, std::vector<uint16_t>(15, 0));
    const HXRDthOffset off{0, 0};
    for (const Variant& v : kVariants) {
        HXRDitherBinarizer* b = binarizer(v);
        const int32_t per = 8 / v.bits;
        Row row(256, v.bits == 1 ? 1 : 3, std::vector<uint32_t>(v.bits == 1 ? 256 : 768, 4080));
        for (auto [x0, n] : {std::pair{per, 0}, {0, per}, {per, per}, {3, per - 3}, {0, 0}}) {
            auto plane = std::make_unique<uint8_t[]>(size_t(x0 + n) / size_t(per) + (x0 + n == 0));
            const std::vector<uint16_t> ink(size_t(x0 + n + (x0 + n == 0)), 1);
            uint32_t counts[7] = {};
            EXPECT_EQ(run(b, plane.get(), counts, ink, x0, n, &rec.data, &off, &row.data, 0), 0u);
            EXPECT_EQ(counts[v.bits == 1 ? 1 : 3], uint32_t(n)) << v.name << " " << x0;
        }
    }
}

// A matrix 6 wide: the group at column 4 runs into the next tile.
TEST_F(DitherKernels, NarrowTileWalk) {
    std::vector<uint16_t> t(6 * 5);
    for (int i = 0; i < 30; ++i) t[size_t(i)] = uint16_t(i);
    DitherRecord rec = make_dither_record(6, 5, 1, 2, t);
    EXPECT_EQ(rec.data.stride, 10u);
    ovcg::DitherWalk walk(rec.data, HXRDthOffset{4, 0}, 0, 0);
    EXPECT_EQ(walk.column(), 4u);
    EXPECT_EQ(walk.row(), 0u);
    // Cells 4 and 5 of row 0, then cells 0 and 1 of row 2 (ShiftV lower).
    const uint16_t* c = walk.cells();
    EXPECT_EQ(std::vector<uint16_t>(c, c + 4), (std::vector<uint16_t>{8196, 8197, 8204, 8205}));
    walk.next();
    EXPECT_EQ(walk.column(), 2u);
    EXPECT_EQ(walk.row(), 2u);
    walk.next();  // columns 0..3 of row 4... after a wrap at 6: 2 + 4 = 6 -> 0, row 4
    EXPECT_EQ(walk.column(), 0u);
    EXPECT_EQ(walk.row(), 4u);
    walk.next();
    walk.next();  // 4 + 4 = 8 -> 2, row 4 + 2 = 6 -> 1
    EXPECT_EQ(walk.column(), 2u);
    EXPECT_EQ(walk.row(), 1u);
    // Nozzle 5 lies in the second band of five nozzles: one ShiftH to the right.
    ovcg::DitherWalk band(rec.data, HXRDthOffset{0, 0}, 5, 0);
    EXPECT_EQ(band.column(), 1u);
    EXPECT_EQ(band.row(), 0u);
    // The start in 64 bits: X = 2^32 - 4 + 8 wraps in 32 bits.
    ovcg::DitherWalk far(rec.data, HXRDthOffset{0xFFFFFFFC, 0xFFFFFFFF}, 3, 8);
    const uint64_t x = 0x100000004ull, y = 0x100000002ull;
    EXPECT_EQ(far.column(), uint32_t((x + (y / 5) % 6 * 1) % 6));
    EXPECT_EQ(far.row(), uint32_t((y + (x / 6) % 5 * 2) % 5));
}

TEST_F(DitherKernels, RefusedInputs) {
    const Variant& v = kVariants[0];
    HXRDitherBinarizer* b = binarizer(v);
    DitherRecord good = make_dither_record(4, 2, 0, 0, std::vector<uint16_t>(8, 0));
    const HXRDthOffset off{0, 0};
    Row row(256, 1, std::vector<uint32_t>(256, 4080)), short_row(255, 1, std::vector<uint32_t>(255, 4080)),
        wide_row(256, 3, std::vector<uint32_t>(768, 4080));
    uint8_t plane[4] = {0x11, 0x22, 0x33, 0x44};
    uint32_t counts[7] = {};
    const std::vector<uint8_t> ink(32, 5);
    const HXRSmlColorData* pair[2] = {&row.data, &row.data};
    auto call = [&](const HXRDitherBinarizer* bin, uint8_t* p, uint32_t* cnt, const uint8_t* in, int32_t x0,
                    int32_t n, const HXRDthData* d, const HXRDthOffset* o, const HXRSmlColorData* const* s) {
        return HXRBinarizeDither(bin, p, cnt, in, nullptr, x0, n, d, o, s, 0);
    };
    const HXRSmlColorData* no_first[2] = {nullptr, &row.data};
    const HXRSmlColorData* no_second[2] = {&row.data, nullptr};
    const HXRSmlColorData* short_pair[2] = {&short_row.data, &row.data};
    const HXRSmlColorData* wide_pair[2] = {&wide_row.data, &row.data};
    EXPECT_EQ(call(nullptr, plane, counts, ink.data(), 0, 8, &good.data, &off, pair), 1u);
    EXPECT_EQ(call(b, nullptr, nullptr, ink.data(), 0, 8, &good.data, &off, pair), 0u);
    EXPECT_EQ(call(b, plane, nullptr, nullptr, 0, 8, &good.data, &off, pair), 0u);
    EXPECT_EQ(call(b, plane, nullptr, ink.data(), 0, 8, &good.data, &off, pair), 1u);
    EXPECT_EQ(call(b, plane, counts, ink.data(), 0, 8, nullptr, &off, pair), 1u);
    EXPECT_EQ(call(b, plane, counts, ink.data(), 0, 8, &good.data, nullptr, pair), 1u);
    EXPECT_EQ(call(b, plane, counts, ink.data(), 0, 8, &good.data, &off, nullptr), 1u);
    EXPECT_EQ(call(b, plane, counts, ink.data(), 0, 8, &good.data, &off, no_first), 1u);
    EXPECT_EQ(call(b, plane, counts, ink.data(), 0, 8, &good.data, &off, no_second), 1u);
    EXPECT_EQ(call(b, plane, counts, ink.data(), 0, 8, &good.data, &off, short_pair), 1u);
    EXPECT_EQ(call(b, plane, counts, ink.data(), 0, 8, &good.data, &off, wide_pair), 1u);
    // The wrapper of the other element size has no kernel.
    const uint16_t wide_ink[8] = {};
    EXPECT_EQ(HXRBinarizeDither16bit(b, plane, counts, wide_ink, nullptr, 0, 8, &good.data, &off, pair, 0), 1u);
    // Spans.
    for (auto [x0, n] : {std::pair{-1, 8}, {0, -1}, {0x7FFFFFF0, 8}, {1, 0x7FFFFFF7}})
        EXPECT_EQ(call(b, plane, counts, ink.data(), x0, n, &good.data, &off, pair), 1u) << x0 << " " << n;
    {
        // A span that ends exactly at the largest end, 0x7FFFFFF7 (x0 + n + 7
        // still fits 32 bits), is taken: its line and plane are sparse
        // mappings of which only the span's pages are touched, each ending at
        // an inaccessible page. Every threshold 0 and rate 4080 print every
        // pixel: x0 = 0x7FFFFFEF is the last pixel of its byte.
        constexpr int32_t kEnd = 0x7FFFFFF7, x0 = kEnd - 8;
        GuardedBytes line(size_t{kEnd} + 1), dots(size_t{kEnd} / 8 + 1);
        std::fill(line.end() - 16, line.end(), uint8_t{9});
        dots.data()[x0 / 8] = 0xA4;
        uint32_t tally[7] = {};
        EXPECT_EQ(call(b, dots.data(), tally, line.data(), x0, kEnd - x0, &good.data, &off, pair), 0u);
        EXPECT_EQ(dots.data()[x0 / 8], 0xA5);  // the pixels before x0 kept
        EXPECT_EQ(dots.data()[x0 / 8 + 1], 0xFE);
        EXPECT_EQ(tally[1], 8u);
        EXPECT_EQ(tally[0], 0u);
    }
    // Geometry: W below 4, H not positive, a stride that does not hold W + 3
    // cells, no cells.
    struct Geometry {
        int32_t w, h;
        uint32_t stride;
        bool cells;
    };
    std::vector<uint16_t> cells(64, 8192);
    for (const Geometry& g : {Geometry{3, 2, 8, true}, {0, 2, 8, true}, {-4, 2, 8, true}, {4, 0, 8, true},
                              {4, -1, 8, true}, {5, 2, 7, true}, {4, 2, 8, false}, {INT32_MAX, 1, 8, true}}) {
        const HXRDthData d{g.w, g.h, 0, 0, g.cells ? cells.data() : nullptr, g.stride};
        EXPECT_EQ(HXRCheckDthData(&d), 1u) << g.w << " " << g.h << " " << g.stride;
        EXPECT_EQ(call(b, plane, counts, ink.data(), 0, 8, &d, &off, pair), 1u);
    }
    EXPECT_EQ(HXRCheckDthData(nullptr), 1u);
    EXPECT_EQ(HXRCheckDthData(&good.data), 0u);
    const HXRDthData tight{5, 2, -7, 99, cells.data(), 8};  // shifts any value
    EXPECT_EQ(HXRCheckDthData(&tight), 0u);
    // Nothing was written or counted by any refusal.
    EXPECT_EQ(std::vector<uint8_t>(plane, plane + 4), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
    for (uint32_t c : counts) EXPECT_EQ(c, 0u);
}

// The six kernels against the reference: random geometry, offsets, nozzles,
// shifts, rows and rates, every alignment, spans 0..40 and a full line, the
// whole plane with canaries on both sides and all seven counts.
TEST_F(DitherKernels, EqualTheReferenceOnRandomInput) {
    std::mt19937 rng(20240617);
    auto pick = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
    int runs = 0;
    for (const Variant& v : kVariants) {
        HXRDitherBinarizer* b = binarizer(v);
        const uint32_t vpl = v.bits == 1 ? 1 : 3;
        for (int iter = 0; iter < 300; ++iter) {
            // Geometry.
            const int32_t w = int32_t(iter % 5 == 0 ? pick(4, 7) : pick(4, 70));
            const int32_t h = int32_t(pick(1, 24));
            std::vector<uint16_t> t(size_t(w) * size_t(h));
            const uint32_t tmax = iter % 7 == 0 ? 0xDFFF : 4095;  // 16-bit resources too
            for (uint16_t& x : t) x = uint16_t(pick(0, tmax));
            const int32_t sh = int32_t(pick(0, 3) == 0 ? pick(0, 200) : pick(0, uint32_t(w))) - (iter % 11 == 0 ? 300 : 0);
            const int32_t sv = int32_t(pick(0, 3) == 0 ? pick(0, 200) : pick(0, uint32_t(h))) - (iter % 13 == 0 ? 77 : 0);
            const uint32_t stride = pick(0, 2) == 0 ? uint32_t(w) + 3 + pick(0, 5) : 0;
            DitherRecord rec = make_dither_record(w, h, sh, sv, t, stride);
            const HXRDthOffset off{iter % 9 == 0 ? pick(0xFFFFFF00, 0xFFFFFFFF) : pick(0, 300),
                                   iter % 10 == 0 ? pick(0xFFFFFF00, 0xFFFFFFFF) : pick(0, 300)};
            const uint32_t nozzle = iter % 8 == 0 ? pick(0, 0xFFFFFFFF) : pick(0, 1000);
            // The SML row: 256 levels, or 65535 for the 16-bit kernels now and then.
            const uint32_t levels = v.elementSize == 2 && iter % 2 ? 65535 : 256;
            std::vector<uint32_t> r(size_t(levels) * vpl);
            for (size_t i = 0; i < r.size(); i += vpl) {
                uint32_t a = pick(0, 4080), c = pick(0, a), e = pick(0, c);
                if (iter % 17 == 0) a = pick(0, 0xFFFFFFFF), c = pick(0, 0xFFFFFFFF), e = pick(0, 0xFFFFFFFF);
                const uint32_t vals[3] = {a, c, e};
                for (uint32_t k = 0; k < vpl; ++k) r[i + k] = vals[k];
            }
            Row row(levels, vpl, r);
            // Span and row.
            const int32_t x0 = int32_t(iter % 25 == 0 ? pick(0, 64) : pick(0, 17));
            const int32_t n = int32_t(iter == 0 ? 9921 : pick(0, 40));
            const size_t pixels = size_t(x0 + n + 7) / 8 * 8;
            std::vector<uint16_t> ink(pixels);
            const uint32_t vmax = v.elementSize == 2 ? 65535 : 255;
            const int style = iter % 4;
            for (size_t x = 0; x < pixels; ++x) {
                uint32_t val = style == 0 ? pick(0, vmax)
                               : style == 1 ? uint32_t(x * 7) % (vmax + 1)
                               : style == 2 ? (pick(0, 3) ? 0 : pick(0, vmax))
                                            : uint32_t(x / 8 % 2 ? 0 : vmax / 3);
                ink[x] = uint16_t(val);
            }
            // Planes with canaries.
            const size_t bytes = size_t(x0 + n + 8 / v.bits - 1) / size_t(8 / v.bits) + 1, pad = 8;
            std::vector<uint8_t> fast(bytes + 2 * pad);
            for (uint8_t& x : fast) x = uint8_t(pick(0, 255));
            std::vector<uint8_t> slow = fast;
            uint32_t cf[7], cs[7];
            for (int k = 0; k < 7; ++k) cf[k] = cs[k] = pick(0, 1000);
            ASSERT_EQ(run(b, fast.data() + pad, cf, ink, x0, n, &rec.data, &off, &row.data, nozzle), 0u);
            std::vector<uint8_t> mid(slow.begin() + pad, slow.end() - pad);
            reference(mid, cs, ink, r, levels - 1, rec, off, x0, n, nozzle, v.bits, v.skip);
            std::copy(mid.begin(), mid.end(), slow.begin() + pad);
            ASSERT_EQ(fast, slow) << v.name << " iter " << iter << " W " << w << " x0 " << x0 << " n " << n;
            for (int k = 0; k < 7; ++k) ASSERT_EQ(cf[k], cs[k]) << v.name << " iter " << iter << " count " << k;
            ++runs;
        }
    }
    EXPECT_EQ(runs, 6 * 300);
}

// The model's odd masks: dot iff threshold < level; a pixel that prints
// prints at every higher level; a flat level's density is T / 4080 within
// 0.01 over 512 x 256 pixels; counts 1..3 are the span's histogram; each 2-bit
// code is the number of the level's three values that print alone.
TEST_F(DitherKernels, InvariantsOnTheModelMasks) {
    const DitherRecord masks[] = {model_record(model_odd_mask_37()), model_record(model_odd_mask_5())};
    EXPECT_EQ(masks[0].shift_h, 11);
    EXPECT_EQ(masks[1].shift_v, 3);
    HXRDitherBinarizer* one = binarizer(kVariants[0]);
    HXRDitherBinarizer* two = binarizer(kVariants[1]);
    const int32_t width = 512, lines = 256;
    for (const DitherRecord& rec : masks) {
        EXPECT_LE(*std::max_element(rec.thresholds.begin(), rec.thresholds.end()), 4079);
        const HXRDthOffset off{7, 3};
        const double cells = double(rec.thresholds.size());
        std::vector<uint8_t> lower;  // plane of the previous level
        for (uint32_t level : {0u, 1u, 17u, 408u, 1000u, 2040u, 3333u, 4079u, 4080u}) {
            Row row(256, 1, std::vector<uint32_t>(256, level));
            const std::vector<uint16_t> ink(width, 1);
            std::vector<uint8_t> page;
            uint64_t dots = 0;
            for (int32_t y = 0; y < lines; ++y) {
                std::vector<uint8_t> plane(width / 8);
                uint32_t counts[7] = {};
                ASSERT_EQ(run(one, plane.data(), counts, ink, 0, width, &rec.data, &off, &row.data, uint32_t(y)), 0u);
                for (int32_t x = 0; x < width; ++x) {
                    const bool dot = plane[size_t(x / 8)] >> (7 - x % 8) & 1;
                    const uint32_t t = reference_cell(rec, off, uint32_t(y), 0, x) - 8192;
                    ASSERT_EQ(dot, t < level) << level << " " << x << " " << y;
                }
                uint32_t set = 0;
                for (uint8_t byte : plane) set += uint32_t(__builtin_popcount(byte));
                EXPECT_EQ(counts[1], set);
                dots += set;
                page.insert(page.end(), plane.begin(), plane.end());
            }
            for (size_t i = 0; i < lower.size(); ++i) ASSERT_EQ(lower[i] & ~page[i], 0) << level;
            lower = page;
            const double density = double(dots) / (width * lines);
            // A tile prints exactly ceil(T x cells / 4080) cells.
            EXPECT_NEAR(density, std::ceil(level * cells / 4080) / cells, 0.01) << rec.width << " " << level;
            if (cells >= 100) {
                EXPECT_NEAR(density, level / 4080.0, 0.01) << rec.width << " " << level;
            }
        }
        // Two bits: codes stack, one 1-bit run per value.
        std::mt19937 rng(rec.width);
        std::vector<uint32_t> r(768);
        for (size_t i = 0; i < 768; i += 3) {
            r[i] = rng() % 4081;
            r[i + 1] = rng() % (r[i] + 1);
            r[i + 2] = rng() % (r[i + 1] + 1);
        }
        Row row2(256, 3, r);
        std::vector<uint16_t> ink(width);
        for (uint16_t& v : ink) v = uint16_t(rng() % 256);
        for (int32_t y = 0; y < 16; ++y) {
            const int32_t x0 = y, n = width - 2 * y;
            std::vector<uint8_t> plane(width / 4);
            uint32_t counts[7] = {};
            ASSERT_EQ(run(two, plane.data(), counts, ink, x0, n, &rec.data, &off, &row2.data, uint32_t(y)), 0u);
            uint32_t histogram[4] = {};
            for (int32_t x = x0; x < x0 + n; ++x) ++histogram[plane[size_t(x / 4)] >> (6 - 2 * (x % 4)) & 3];
            for (int k = 1; k < 4; ++k) EXPECT_EQ(counts[k], histogram[k]) << k;
            for (uint32_t k = 0; k < 3; ++k) {
                std::vector<uint32_t> single(256);
                for (size_t v = 0; v < 256; ++v) single[v] = r[3 * v + k];
                Row row1(256, 1, single);
                std::vector<uint8_t> bits(width / 8);
                uint32_t c1[7] = {};
                ASSERT_EQ(run(one, bits.data(), c1, ink, x0, n, &rec.data, &off, &row1.data, uint32_t(y)), 0u);
                for (int32_t x = x0; x < x0 + n; ++x) {
                    const uint32_t code = plane[size_t(x / 4)] >> (6 - 2 * (x % 4)) & 3;
                    ASSERT_EQ(code > k, bool(bits[size_t(x / 8)] >> (7 - x % 8) & 1)) << x << " " << k;
                }
            }
        }
    }
}

}  // namespace
