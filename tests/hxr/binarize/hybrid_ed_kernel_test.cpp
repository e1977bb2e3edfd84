// HybridED kernels: each of the twenty bodies against the slow literal model
// (support/hybrid_ed_reference.h) over hundreds of lines that carry their
// error line, and the model without the margin mend on steady spans.
#include "hxr/binarize/hxr_bnrz_hybrid_ed.h"
#include "support/hxr_fixture.h"
#include "support/hybrid_ed_reference.h"

#include <algorithm>
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

// The fast kernel through its wrapper, against the model on copies of the
// same line, plane and counts; `line` carries the buffer from call to call.
struct Runner {
    std::mt19937& rng;
    uint32_t pick(uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); }

    // A dither record of random geometry.
    DitherRecord dither(bool zero_mask) {
        const int32_t w = int32_t(pick(0, 3) ? pick(4, 40) : pick(4, 7)), h = int32_t(pick(1, 20));
        std::vector<uint16_t> t(size_t(w * h));
        for (uint16_t& x : t) x = uint16_t(zero_mask ? 0 : pick(0, 4095));
        return make_dither_record(w, h, int32_t(pick(0, 80)) - 20, int32_t(pick(0, 30)) - 5,
                                  t, pick(0, 1) ? uint32_t(w + 3 + int32_t(pick(0, 3))) : 0);
    }
    // Monotone in the ink value, or arbitrary values in 0..4080.
    Sml sml(int bits) {
        const bool monotone = pick(0, 1);
        std::vector<uint32_t> r;
        for (uint32_t v = 0; v < 256; ++v) {
            uint32_t a = monotone ? v * 16 : pick(0, 4080), b = monotone ? v * v / 16 : pick(0, 4080),
                     c = monotone ? v * v * v / 4096 / 16 : pick(0, 4080);
            if (bits == 1) r.push_back(a);
            else r.insert(r.end(), {a, std::min(a, b), std::min({a, b, c})});
        }
        return Sml(bits, r);
    }
    // Flat, ramp, noise or zeros.
    std::vector<uint8_t> ink(size_t pixels) {
        std::vector<uint8_t> row(pixels);
        const int style = int(pick(0, 3));
        const uint8_t flat = uint8_t(pick(0, 255));
        for (size_t x = 0; x < pixels; ++x)
            row[x] = style == 0 ? flat : style == 1 ? uint8_t(x * 3) : style == 2 ? uint8_t(pick(0, 255)) : 0;
        return row;
    }
};

TEST_P(HybridEdReference, EqualsTheModel) {
    const Body& body = GetParam();
    std::mt19937 rng(uint32_t(body.bits * 100 + body.k * 10 + int(body.family)));
    Runner gen{rng};
    const int32_t per = 8 / body.bits;
    struct Width {
        uint32_t pixels;
        int lines;
    };
    for (const Width width : {Width{160, 320}, Width{9928, 3}}) {
        HXRHybridEDBinarizer* b = make(body, width.pixels);
        ASSERT_NE(b, nullptr);
        const HXRHybridEDErrorBuffers& eb = *b->errorBuffers;
        DitherRecord rec = gen.dither(false);
        const int32_t p = int32_t(width.pixels);
        for (int y = 0; y < width.lines; ++y) {
            if (y % 40 == 39) rec = gen.dither(false);
            const Sml sml = gen.sml(body.bits);
            const std::vector<uint8_t> ink = gen.ink(size_t(p));
            // Every alignment, short and whole-line spans, varying by line.
            const int32_t x0 = int32_t(y % 4 == 0 ? gen.pick(0, 17) : gen.pick(0, uint32_t(p - 1)));
            const int32_t room = p - x0;
            const int32_t n = y % 5 == 0 ? room : std::min(room, int32_t(gen.pick(0, 20)));
            const HXRDthOffset off{gen.pick(0, 500), gen.pick(0, 500)};
            const uint32_t nozzle = gen.pick(0, 400);
            int32_t* line = HXRGetHybridEDErrorBuffer(b, random, uint32_t(y), 0);
            ASSERT_NE(line, nullptr);
            std::vector<int32_t> model(eb.buffer[eb.current], eb.buffer[eb.current] + eb.cellCount);
            // Planes with canaries on both sides; counts from random values.
            const size_t bytes = size_t(p / per + 2);
            std::vector<uint8_t> fast(bytes);
            for (uint8_t& x : fast) x = uint8_t(gen.pick(0, 255));
            std::vector<uint8_t> slow = fast;
            uint32_t cf[7], cs[7];
            for (int k = 0; k < 7; ++k) cf[k] = cs[k] = gen.pick(0, 1000);
            const HXRSmlColorData* pair[2] = {&sml.row, &sml.row};
            ASSERT_EQ(HXRBinarizeHybridED(b, fast.data() + 1, cf, ink.data(), nullptr, line, x0, n, &rec.data, &off,
                                          pair, nozzle),
                      0u);
            EdRun run;
            run.ink = ink.data();
            run.rates = sml.rates.data();
            run.dither = &rec;
            run.offset = off;
            run.nozzle = nozzle;
            run.thresholds = b->thresholds;
            run.x0 = x0;
            run.n = n;
            std::vector<uint8_t> mid(slow.begin() + 1, slow.end());
            reference_hybrid_ed({body.family, body.bits, body.k}, run, mid, cs, model);
            std::copy(mid.begin(), mid.end(), slow.begin() + 1);
            ASSERT_EQ(fast, slow) << body.name << " line " << y << " x0 " << x0 << " n " << n;
            for (int k = 0; k < 7; ++k) ASSERT_EQ(cf[k], cs[k]) << body.name << " line " << y << " count " << k;
            ASSERT_TRUE(std::equal(model.begin(), model.end(), eb.buffer[eb.current]))
                << body.name << " line " << y << " x0 " << x0 << " n " << n;
            HXRSetHybridEDVPostion(b, uint32_t(y));
        }
    }
}

// Without the margin mend the margins drift, but on a steady span nothing of
// them reaches the run: planes, counts and cells x0 - 3 .. end - 1 agree.
TEST_P(HybridEdReference, MarginMendKeepsSteadySpans) {
    const Body& body = GetParam();
    std::mt19937 rng(77);
    Runner gen{rng};
    HXRHybridEDBinarizer* b = make(body, 96);
    ASSERT_NE(b, nullptr);
    const DitherRecord rec = gen.dither(false);
    const HXRDthOffset off{3, 5};
    const int32_t x0 = 21, n = 50;
    int32_t* line = HXRGetHybridEDErrorBuffer(b, random, 0, 0);
    std::vector<int32_t> plain(line - 30, line - 30 + b->errorBuffers->cellCount);
    for (int y = 0; y < 200; ++y) {
        const Sml sml = gen.sml(body.bits);
        const std::vector<uint8_t> ink = gen.ink(96);
        std::vector<uint8_t> fast(24), slow(24);
        uint32_t cf[7] = {}, cs[7] = {};
        const HXRSmlColorData* pair[2] = {&sml.row, &sml.row};
        ASSERT_EQ(HXRBinarizeHybridED(b, fast.data(), cf, ink.data(), nullptr, line, x0, n, &rec.data, &off, pair,
                                      uint32_t(y)),
                  0u);
        EdRun run;
        run.ink = ink.data();
        run.rates = sml.rates.data();
        run.dither = &rec;
        run.offset = off;
        run.nozzle = uint32_t(y);
        run.thresholds = b->thresholds;
        run.x0 = x0;
        run.n = n;
        run.mend_margins = false;
        reference_hybrid_ed({body.family, body.bits, body.k}, run, slow, cs, plain);
        ASSERT_EQ(fast, slow) << body.name << " line " << y;
        ASSERT_TRUE(std::equal(cf, cf + 7, cs)) << body.name << " line " << y;
        ASSERT_TRUE(std::equal(line + x0 - 3, line + x0 + n, plain.begin() + 30 + x0 - 3)) << body.name << " " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Bodies, HybridEdReference, ::testing::ValuesIn(kBodies),
                         [](const ::testing::TestParamInfo<Body>& info) { return std::string(info.param.name); });

}  // namespace
