// HybridED kernels: each of the twenty bodies against the slow literal model
// (support/hybrid_ed_reference.h) over hundreds of lines that carry their
// error line, and the model without the margin mend on steady spans.
#include "hxr/binarize/hxr_bnrz_hybrid_ed.h"
#include "support/hxr_fixture.h"
#include "support/guard_page.h"
#include "support/hybrid_ed_reference.h"
#include "support/model_dither.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <random>
#include <vector>

namespace {

using namespace ovcg_test;

struct Body {
    const char* name;
    EdFamily family;
    int32_t h, v;
    uint32_t htType;
    int bits;
    uint32_t k;
    HXRHybridEDKernel kernel;
};

const Body kBodies[] = {
    {"Out1_1x1", EdFamily::k1x1, 720, 720, 6, 1, 0, HXRBinarizeHybridEDIn8BitOut1Bit_1x1},
    {"Out1_2x1", EdFamily::k2x1, 720, 360, 6, 1, 0, HXRBinarizeHybridEDIn8BitOut1Bit_2x1},
    {"Out1_4x1", EdFamily::k4x1, 2880, 720, 6, 1, 0, HXRBinarizeHybridEDIn8BitOut1Bit_4x1},
    {"Out1_1x2", EdFamily::k1x2, 360, 720, 6, 1, 0, HXRBinarizeHybridEDIn8BitOut1Bit_1x2},
    {"AllEDOnlyOut1_1x1", EdFamily::kAllEDOnly1x1, 720, 1080, 5, 1, 0, HXRBinarizeHybridEDAllEDOnlyIn8BitOut1Bit_1x1},
    {"Out2_1x1_SML", EdFamily::k1x1, 720, 720, 6, 2, 0, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_SML},
    {"Out2_1x1_ML", EdFamily::k1x1, 720, 720, 6, 2, 1, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_ML},
    {"Out2_1x1_L", EdFamily::k1x1, 720, 720, 6, 2, 2, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_L},
    {"Out2_2x1_SML", EdFamily::k2x1, 1440, 720, 6, 2, 0, HXRBinarizeHybridEDIn8BitOut2Bit_2x1_SML},
    {"Out2_2x1_ML", EdFamily::k2x1, 1440, 720, 6, 2, 1, HXRBinarizeHybridEDIn8BitOut2Bit_2x1_ML},
    {"Out2_2x1_L", EdFamily::k2x1, 1440, 720, 6, 2, 2, HXRBinarizeHybridEDIn8BitOut2Bit_2x1_L},
    {"Out2_4x1_SML", EdFamily::k4x1, 1440, 360, 6, 2, 0, HXRBinarizeHybridEDIn8BitOut2Bit_4x1_SML},
    {"Out2_4x1_ML", EdFamily::k4x1, 1440, 360, 6, 2, 1, HXRBinarizeHybridEDIn8BitOut2Bit_4x1_ML},
    {"Out2_4x1_L", EdFamily::k4x1, 1440, 360, 6, 2, 2, HXRBinarizeHybridEDIn8BitOut2Bit_4x1_L},
    {"Out2_1x2_SML", EdFamily::k1x2, 720, 1440, 6, 2, 0, HXRBinarizeHybridEDIn8BitOut2Bit_1x2_SML},
    {"Out2_1x2_ML", EdFamily::k1x2, 720, 1440, 6, 2, 1, HXRBinarizeHybridEDIn8BitOut2Bit_1x2_ML},
    {"Out2_1x2_L", EdFamily::k1x2, 720, 1440, 6, 2, 2, HXRBinarizeHybridEDIn8BitOut2Bit_1x2_L},
    {"AllEDOnlyOut2_1x1_SML", EdFamily::kAllEDOnly1x1, 720, 720, 5, 2, 0,
     HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x1_SML},
    {"AllEDOnlyOut2_1x1_ML", EdFamily::kAllEDOnly1x1, 720, 720, 5, 2, 1,
     HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x1_ML},
    {"AllEDOnlyOut2_1x1_L", EdFamily::kAllEDOnly1x1, 720, 720, 5, 2, 2,
     HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x1_L},
};

// SML rows of 256 levels, cumulative values r0 >= r1 >= r2 (2 bits).
struct Sml {
    std::vector<uint32_t> rates;
    HXRSmlColorData row{};
    Sml(int bits, std::vector<uint32_t> r) : rates(std::move(r)) {
        row = {256, uint32_t(bits == 1 ? 1 : 3), {}, rates.data()};
    }
};

// Rows whose smallest dot size in use is k (a row for creation).
Sml creation_row(int bits, uint32_t k) {
    std::vector<uint32_t> r(bits == 1 ? 256 : 768, 0);
    for (size_t i = 0; i < r.size(); ++i)
        if (bits == 1 || i % 3 >= k) r[i] = uint32_t(i / 3 + 1);
    return Sml(bits, r);
}

class HybridEdReference : public HxrTest, public ::testing::WithParamInterface<Body> {
protected:
    void SetUp() override {
        HxrTest::SetUp();
        random = HXRCreateRandNum(mm);
    }
    HXRHybridEDBinarizer* make(const Body& body, uint32_t pixels) {
        HXRIntermediateData interm{};
        interm.linePixelSize = pixels;
        const Sml row = creation_row(body.bits, body.k);
        const HXRSmlColorData* rows[4] = {&row.row, nullptr, &row.row, nullptr};
        HXRHybridEDBinarizer* b = HXRCreateBinarizeHybridED(0, body.h, body.v, 1, 1, uint32_t(body.bits),
                                                            body.htType, 3, rows, &interm, random, mm);
        EXPECT_NE(b, nullptr);
        if (b) {
            EXPECT_EQ(b->kernel, body.kernel) << body.name;
        }
        return b;
    }
    HXRRandNum* random = nullptr;
};

uint32_t pick(std::mt19937& rng, uint32_t lo, uint32_t hi) {
    return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
}

// A dither record of random geometry (or every threshold 0).
DitherRecord random_dither(std::mt19937& rng, bool zero_mask) {
    const int32_t w = int32_t(pick(rng, 0, 3) ? pick(rng, 4, 40) : pick(rng, 4, 7)), h = int32_t(pick(rng, 1, 20));
    std::vector<uint16_t> t(size_t(w * h));
    for (uint16_t& x : t) x = uint16_t(zero_mask ? 0 : pick(rng, 0, 4095));
    const uint32_t stride = pick(rng, 0, 1) ? uint32_t(w + 3) + pick(rng, 0, 3) : 0;
    return make_dither_record(w, h, int32_t(pick(rng, 0, 80)) - 20, int32_t(pick(rng, 0, 30)) - 5, t, stride);
}

// The top of the scale: ink value v at level 4080 + v % 16 (every dot size),
// so that the levels 4088..4095, whose threshold index (L + 32) >> 6 would
// be 256, take index 255.
Sml top_sml(int bits) {
    std::vector<uint32_t> r;
    for (uint32_t v = 0; v < 256; ++v) r.insert(r.end(), bits == 1 ? 1u : 3u, 4080 + v % 16);
    return Sml(bits, r);
}

// Monotone in the ink value, arbitrary in 0..4080, or (hostile) now and then
// past the scale up to 0xFFFFFFFF.
Sml random_sml(std::mt19937& rng, int bits, bool hostile) {
    const bool monotone = !hostile && pick(rng, 0, 1);
    std::vector<uint32_t> r;
    for (uint32_t v = 0; v < 256; ++v) {
        uint32_t a[3] = {v * 16, v * v / 16, v * v * v / 65536};
        for (uint32_t& x : a)
            if (!monotone) x = hostile && pick(rng, 0, 3) == 0 ? pick(rng, 4080, 0xFFFFFFFF) : pick(rng, 0, 4080);
        if (bits == 1) r.push_back(a[0]);
        else if (hostile) r.insert(r.end(), a, a + 3);
        else r.insert(r.end(), {a[0], std::min(a[0], a[1]), std::min({a[0], a[1], a[2]})});
    }
    return Sml(bits, r);
}

// Flat, ramp, noise or zeros.
std::vector<uint8_t> random_ink(std::mt19937& rng, size_t pixels) {
    std::vector<uint8_t> row(pixels);
    const uint32_t style = pick(rng, 0, 3), flat = pick(rng, 0, 255);
    for (size_t x = 0; x < pixels; ++x)
        row[x] = uint8_t(style == 0 ? flat : style == 1 ? x * 3 : style == 2 ? pick(rng, 0, 255) : 0);
    return row;
}

// Random: random rows, records, offsets and spans (every alignment, short
// and whole-line, varying by line), the model starting each line from the
// kernel's buffer. Steady: one span, the model without the margin mend on its
// own buffer: the margins drift apart but reach no pixel of the run, so
// planes, counts and cells x0 - 3 .. end - 1 agree line after line. Hostile:
// cells near INT32_MIN and INT32_MAX, levels past the scale, an all-zero mask
// (every 2-bit pixel of a non-zero ink a placed large dot): the sums wrap as
// the model's do, and no signed type overflows (the sanitizer build checks).
// Top: as Random, with the levels at the top of the scale (top_sml) and
// each line's error cells drawn from -33000..1000 first, so that the sums
// e = E + L fall on both sides of the thresholds at index 255 (A[255] is 0,
// B[255] far below) and of those next to it.
enum class Kind { Random, Steady, Hostile, Top };
struct Scenario {
    Kind kind;
    uint32_t pixels;
    int lines;
};
constexpr Scenario kScenarios[] = {{Kind::Random, 160, 320}, {Kind::Random, 9928, 3}, {Kind::Steady, 96, 200},
                                   {Kind::Hostile, 64, 40},  {Kind::Top, 96, 24}};

// The whole plane with canaries on both sides, all seven counts, the whole
// buffer (cells x0 - 3 .. end - 1 for Steady).
TEST_P(HybridEdReference, EqualsTheModel) {
    const Body& body = GetParam();
    std::mt19937 rng(uint32_t(body.bits * 100 + body.k * 10 + int(body.family)));
    const int32_t per = 8 / body.bits;
    for (const Scenario& sc : kScenarios) {
        HXRHybridEDBinarizer* b = make(body, sc.pixels);
        ASSERT_NE(b, nullptr);
        const int32_t p = int32_t(sc.pixels);
        DitherRecord rec = random_dither(rng, sc.kind == Kind::Hostile);
        int32_t* line = HXRGetHybridEDErrorBuffer(b, random, 0, 0);
        if (sc.kind == Kind::Hostile)
            for (int32_t k = -30; k < p + 30; ++k)
                line[k] = k % 2 ? INT32_MIN + int32_t(pick(rng, 0, 30000)) : INT32_MAX - int32_t(pick(rng, 0, 30000));
        std::vector<int32_t> model(line - 30, line + p + 30);
        for (int y = 0; y < sc.lines; ++y) {
            if (sc.kind == Kind::Random && y % 40 == 39) rec = random_dither(rng, false);
            if (sc.kind == Kind::Top)
                for (int32_t k = -30; k < p + 30; ++k) line[k] = int32_t(pick(rng, 0, 34000)) - 33000;
            if (sc.kind != Kind::Steady) model.assign(line - 30, line + p + 30);
            const Sml sml = sc.kind == Kind::Top ? top_sml(body.bits) : random_sml(rng, body.bits, sc.kind == Kind::Hostile);
            const std::vector<uint8_t> ink = random_ink(rng, size_t(p));
            int32_t x0 = y % 4 == 0 ? int32_t(pick(rng, 0, 17)) : int32_t(pick(rng, 0, uint32_t(p - 1)));
            int32_t n = y % 5 == 0 ? p - x0 : std::min(p - x0, int32_t(pick(rng, 0, 20)));
            if (sc.kind == Kind::Steady) x0 = 21, n = 50;
            const HXRDthOffset off{pick(rng, 0, 500), pick(rng, 0, 500)};
            const uint32_t nozzle = pick(rng, 0, 400);
            std::vector<uint8_t> fast(size_t(p / per + 2));
            for (uint8_t& x : fast) x = uint8_t(pick(rng, 0, 255));
            std::vector<uint8_t> slow(fast.begin() + 1, fast.end());
            uint32_t cf[7], cs[7];
            for (int k = 0; k < 7; ++k) cf[k] = cs[k] = pick(rng, 0, 1000);
            const HXRSmlColorData* pair[2] = {&sml.row, &sml.row};
            ASSERT_EQ(HXRBinarizeHybridED(b, fast.data() + 1, cf, ink.data(), nullptr, line, x0, n, &rec.data, &off,
                                          pair, nozzle),
                      0u);
            const EdRun run{ink.data(), sml.rates.data(), &rec, off, nozzle, b->thresholds, x0, n,
                            sc.kind != Kind::Steady};
            reference_hybrid_ed({body.family, body.bits, body.k}, run, slow, cs, model);
            slow.insert(slow.begin(), fast[0]);
            const auto where = [&] { return std::string(body.name) + " line " + std::to_string(y); };
            ASSERT_EQ(fast, slow) << where() << " x0 " << x0 << " n " << n;
            ASSERT_TRUE(std::equal(cf, cf + 7, cs)) << where();
            const int32_t from = sc.kind == Kind::Steady ? x0 - 3 : -30, to = sc.kind == Kind::Steady ? x0 + n : p + 30;
            ASSERT_TRUE(std::equal(line + from, line + to, model.begin() + 30 + from)) << where();
            HXRSetHybridEDVPostion(b, uint32_t(y));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bodies, HybridEdReference, ::testing::ValuesIn(kBodies),
                         [](const ::testing::TestParamInfo<Body>& info) { return std::string(info.param.name); });

// Single pixels and runs worked by hand, on a 96-pixel line whose cells all
// hold 777 but for the run's own, which hold E (those past the run feed only
// values the run drops).
class HybridEdByHand : public HybridEdReference {
protected:
    struct Result {
        std::vector<uint8_t> plane;
        uint32_t counts[7];
        std::vector<int32_t> line;  // cells -30 .. 125
    };
    // Every ink value at `level` (2 bits: the three values of `r`); every
    // dither threshold `threshold`.
    Result run(const Body& body, std::vector<uint32_t> r, uint16_t threshold, int32_t x0, int32_t n, int32_t e,
               uint8_t ink_value = 1) {
        HXRHybridEDBinarizer* b = make(body, 96);
        const DitherRecord rec = make_dither_record(4, 1, 0, 0, std::vector<uint16_t>(4, threshold));
        std::vector<uint32_t> rates;
        for (int v = 0; v < 256; ++v) rates.insert(rates.end(), r.begin(), r.end());
        const Sml sml(body.bits, rates);
        const HXRSmlColorData* pair[2] = {&sml.row, &sml.row};
        const HXRDthOffset off{0, 0};
        const std::vector<uint8_t> ink(96, ink_value);
        Result out{std::vector<uint8_t>(13, 0xFF), {}, {}};
        int32_t* line = HXRGetHybridEDErrorBuffer(b, random, 0, 0);
        std::fill(line - 30, line + 126, 777);
        std::fill(line + x0, line + x0 + n + 2, e);
        EXPECT_EQ(HXRBinarizeHybridED(b, out.plane.data(), out.counts, ink.data(), nullptr, line, x0, n, &rec.data,
                                      &off, pair, 0),
                  0u);
        out.line.assign(line - 30, line + 126);
        return out;
    }
    static int32_t cell(const Result& r, int32_t x) { return r.line[size_t(x + 30)]; }
};

// The cases of one pixel at x = 40 (1 bit); the error line afterwards holds
// the case's next-line shares at 25..40, 0 at 41 and 42 (same-line shares
// to them are dropped), its same-line shares at 43..55, 777 elsewhere.
TEST_F(HybridEdByHand, OnePixelCases) {
    struct Case {
        int body;
        uint32_t level;
        uint16_t threshold;  // 0: the dither bit is 1; 4095: 0
        int32_t e;
        bool dot;
        const char* name;
        int32_t r;
    };
    const Case cases[] = {
        // Level 5: L = 0, index 0; B[0] = -16320 < 0 places a dot, A[0] = 16320 none.
        {0, 5, 0, 0, true, "Z", -16320},
        {1, 5, 4095, 100, false, "Z", 100},
        // Level 4080 folds to 0; A[255] = 0 < e = E + 16320.
        {0, 4080, 4095, -16319, true, "Z", -16319},
        {2, 4080, 4095, -16320, false, "Z", 0},
        // Level 100: L = 400, A[6] = 320: e = 300 no dot (D / N), e = 400 a
        // dot, minority with L' = 400 (M1); 50: L' = 200 (M2); 20: 80 (M3).
        {0, 100, 4095, -100, false, "D", 300},
        {1, 100, 4095, -100, false, "N", 300},
        {4, 100, 4095, -100, false, "N", 300},
        {0, 100, 4095, 0, true, "M1", -15920},
        {3, 50, 4095, 0, true, "M2", -16120},
        {4, 20, 4095, 0, true, "M3", -16240},
        {2, 20, 4095, 0, true, "M3", -16240},
        // Level 3000 without a dot: a gap in a dark area, but L' = 4320 > 576.
        {0, 3000, 4095, 0, false, "D", 12000},
        {2, 3000, 4095, 0, false, "G", 12000},
        // Levels above 4087 use index 255 (A[255] = 0 > -40), not 256 (B[0]
        // = -16320 would place a dot). L = 16360 folds to L' = -40: M3.
        {0, 4090, 4095, -16400, false, "M3", -40},
    };
    for (const Case& c : cases) {
        const Body& body = kBodies[c.body];
        const Result r = run(body, {c.level}, c.threshold, 40, 1, c.e);
        const char* name = std::string(c.name) == "D" ? "G" : c.name;
        EXPECT_EQ(r.plane[5], c.dot ? 0x80 : 0x00) << body.name << " " << c.level;
        EXPECT_EQ(r.counts[1], c.dot ? 1u : 0u);
        for (int32_t x = -30; x < 126; ++x) {
            int64_t want = 777;
            if (x >= 25 && x <= 40) want = reference_share(body.family, name, true, x - 40, c.r);
            if (x == 41 || x == 42) want = 0;
            if (x >= 43 && x <= 55) want = reference_share(body.family, name, false, x - 40, c.r);
            ASSERT_EQ(cell(r, x), want) << body.name << " level " << c.level << " cell " << x;
        }
    }
    // Residual -16320 in case D of the 1x1 table: level 3000 (L = 12000) with
    // E = -12000 and the dither bit 1, B[188] = -9152 < 0. q2 = -4080, q3 =
    // -2040, q4 = -1020, q5 = -510: next line -510, -1020, -1530, -3060 at
    // x - 3 .. x, this line -1530 at x + 3 and x + 4.
    const Result d = run(kBodies[0], {3000}, 0, 40, 1, -12000);
    EXPECT_EQ(std::vector<int32_t>(d.line.begin() + 67, d.line.begin() + 75),
              (std::vector<int32_t>{-510, -1020, -1530, -3060, 0, 0, -1530, -1530}));
}

// The decision of 2-bit pixels: m = values above the threshold (ink 0: none).
TEST_F(HybridEdByHand, TwoBitDecisions) {
    struct Case {
        uint32_t k;
        uint16_t threshold;
        int32_t e;
        uint8_t ink;
        uint32_t code;
    };
    // Values {3000, 2000, 1000}; L = 4 x r_k.
    const Case cases[] = {
        {0, 500, -1000000, 1, 3},  // below r2: large, whatever the error
        {0, 1500, -1000000, 1, 2},
        {0, 2500, 0, 1, 1},  // m = 1: B[188] = -9152 < 12000
        {0, 3000, 0, 1, 0},  // equal to r0: m = 0, A[188] = 15360 > 12000
        {0, 500, 0, 0, 0},   // ink 0: m = 0, A
        {0, 500, 5000, 0, 1},
        {1, 500, 0, 1, 3},   // m = 3 > 2
        {1, 1500, 0, 1, 2},  // m = 2: B[125] = -16320
        {2, 500, 0, 1, 3},   // m = 3: B[63] = -16320
        {2, 1500, 0, 1, 0},  // m = 2: A[63] = 4928 > 4000
        {2, 1500, 1000, 1, 3},
    };
    for (const Case& c : cases) {
        const Result r = run(kBodies[5 + c.k], {3000, 2000, 1000}, c.threshold, 40, 1, c.e, c.ink);
        EXPECT_EQ(r.plane[10], c.code << 6) << c.k << " " << c.threshold << " " << int(c.ink);
        for (uint32_t code = 1; code < 4; ++code) EXPECT_EQ(r.counts[code], code == c.code ? 1u : 0u);
    }
}

TEST_F(HybridEdByHand, RunsTouchOnlyTheirBytesAndCells) {
    // Every pixel prints (level 4080, dither bit 1, no error): pixels 5..8
    // give bits 5..7 of byte 0 and bit 0 of byte 1; cells -10 .. 23 (x0 - 15
    // .. end + 14) are rewritten, 0 here as every residual is 0.
    const Result r = run(kBodies[0], {4080}, 0, 5, 4, 0);
    EXPECT_EQ(std::vector<uint8_t>(r.plane.begin(), r.plane.begin() + 3), (std::vector<uint8_t>{0x07, 0x80, 0xFF}));
    EXPECT_EQ(r.counts[1], 4u);
    for (int32_t x = -30; x < 126; ++x) EXPECT_EQ(cell(r, x), x >= -10 && x <= 23 ? 0 : 777) << x;
    // n = 0: nothing at all.
    const Result none = run(kBodies[5], {4080, 4080, 4080}, 0, 6, 0, 5);
    EXPECT_EQ(none.plane, std::vector<uint8_t>(13, 0xFF));
    std::vector<int32_t> untouched(156, 777);
    untouched[36] = untouched[37] = 5;  // cells 6, 7 as the helper set them
    EXPECT_EQ(none.line, untouched);
    for (uint32_t c : none.counts) EXPECT_EQ(c, 0u);
    // x0 = 0, n = 8 with the plane, the ink row and the error line ending
    // where an inaccessible page begins: one byte, cells up to 22.
    for (const Body& body : {kBodies[0], kBodies[2], kBodies[8]}) {
        HXRHybridEDBinarizer* b = make(body, 8);
        GuardedBytes plane(size_t(body.bits)), ink(8), error((30 + 23) * sizeof(int32_t));
        std::fill(ink.begin(), ink.end(), uint8_t(200));
        const DitherRecord rec = make_dither_record(5, 3, 1, 1, std::vector<uint16_t>(15, 2000));
        const Sml sml(body.bits, std::vector<uint32_t>(body.bits == 1 ? 256 : 768, 3000));
        const HXRSmlColorData* pair[2] = {&sml.row, &sml.row};
        const HXRDthOffset off{0, 0};
        uint32_t counts[7] = {};
        int32_t* line = reinterpret_cast<int32_t*>(error.data()) + 30;
        EXPECT_EQ(HXRBinarizeHybridED(b, plane.data(), counts, ink.data(), nullptr, line, 0, 8 / body.bits, &rec.data,
                                      &off, pair, 0),
                  0u);
    }
}

// Invariants over whole pages on a dispersed mask: a flat 1-bit level prints
// T / 4080 of the pixels; at 2 bits with small dots, codes 2 and up print
// where the threshold lies below r1, code 3 below r2, and all dots together
// keep the mean r0 / 4080; counts are the histogram of the plane.
TEST_F(HybridEdByHand, FlatDensities) {
    const PlainMaskSpec mask = model_plain_mask(64, 64, 16);
    const DitherRecord rec = make_dither_record(64, 64, 0, 0, mask.thresholds);
    const HXRDthOffset off{3, 7};
    const int32_t width = 256, lines = 256;
    const std::vector<uint8_t> ink(width, 1);
    for (const Body& body : kBodies) {
        if (body.bits == 2 && body.k != 0) continue;
        for (uint32_t level : {17u, 408u, 1020u, 2040u, 3060u, 4000u}) {
            const std::vector<uint32_t> r = body.bits == 1 ? std::vector<uint32_t>{level}
                                                           : std::vector<uint32_t>{level, level * 2 / 3, level / 3};
            std::vector<uint32_t> rates;
            for (int v = 0; v < 256; ++v) rates.insert(rates.end(), r.begin(), r.end());
            const Sml sml(body.bits, rates);
            const HXRSmlColorData* pair[2] = {&sml.row, &sml.row};
            HXRHybridEDBinarizer* b = make(body, width);
            uint64_t codes[4] = {};
            for (int32_t y = 0; y < lines; ++y) {
                std::vector<uint8_t> plane(width / 8 * size_t(body.bits));
                uint32_t counts[7] = {};
                int32_t* line = HXRGetHybridEDErrorBuffer(b, random, uint32_t(y), 0);
                ASSERT_EQ(HXRBinarizeHybridED(b, plane.data(), counts, ink.data(), nullptr, line, 0, width, &rec.data,
                                              &off, pair, uint32_t(y)),
                          0u);
                HXRSetHybridEDVPostion(b, uint32_t(y));
                uint32_t histogram[4] = {};
                for (int32_t x = 0; x < width; ++x)
                    ++histogram[plane[size_t(x * body.bits / 8)] >> (8 - body.bits * (x % (8 / body.bits) + 1)) &
                                ((1 << body.bits) - 1)];
                for (int c = 1; c < 4; ++c) ASSERT_EQ(counts[c], histogram[c]) << body.name << " " << y;
                for (int c = 0; c < 4; ++c) codes[c] += histogram[c];
            }
            const double pixels = double(width) * lines;
            EXPECT_NEAR((codes[1] + codes[2] + codes[3]) / pixels, r[0] / 4080.0, 0.01) << body.name << " " << level;
            if (body.bits == 2) {
                EXPECT_NEAR((codes[2] + codes[3]) / pixels, r[1] / 4080.0, 0.01) << body.name << " " << level;
                EXPECT_NEAR(codes[3] / pixels, r[2] / 4080.0, 0.01) << body.name << " " << level;
            }
        }
    }
}

// A steady span over 100,000 lines: its margin cells hold one run's shares,
// never a sum over the page; a span that then widens starts from them.
TEST_F(HybridEdByHand, MarginsStayBounded) {
    const Body& body = kBodies[0];
    HXRHybridEDBinarizer* b = make(body, 128);
    const PlainMaskSpec mask = model_plain_mask(16, 16, 16);
    const DitherRecord rec = make_dither_record(16, 16, 0, 0, mask.thresholds);
    const HXRDthOffset off{0, 0};
    const Sml sml(1, std::vector<uint32_t>(256, 1000));
    const HXRSmlColorData* pair[2] = {&sml.row, &sml.row};
    const std::vector<uint8_t> ink(128, 1);
    std::vector<uint8_t> plane(16);
    uint32_t counts[7] = {};
    int32_t* line = HXRGetHybridEDErrorBuffer(b, random, 0, 0);
    int64_t worst = 0;
    for (uint32_t y = 0; y < 100000; ++y) {
        ASSERT_EQ(HXRBinarizeHybridED(b, plane.data(), counts, ink.data(), nullptr, line, 40, 48, &rec.data, &off,
                                      pair, y),
                  0u);
        for (int32_t x : {25, 36, 88, 102}) worst = std::max<int64_t>(worst, std::abs(int64_t(line[x])));
    }
    EXPECT_LT(worst, 16320);
    // A span that then widens takes no page-long sum in as error: its next
    // line stays within a few dots' worth.
    ASSERT_EQ(HXRBinarizeHybridED(b, plane.data(), counts, ink.data(), nullptr, line, 0, 128, &rec.data, &off, pair,
                                  7),
              0u);
    for (int32_t x = 0; x < 128; ++x) EXPECT_LT(std::abs(int64_t(line[x])), 2 * 16320) << x;
}

}  // namespace
