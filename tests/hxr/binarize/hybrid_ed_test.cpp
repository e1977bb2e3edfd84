// HybridED object: threshold tables, kernel choice, error-line seeding, head
// switching, line fetches and the wrapper's refusals.
#include "hxr/binarize/hxr_bnrz_hybrid_ed.h"
#include "support/dither_record.h"
#include "support/hxr_fixture.h"

#include <vector>

namespace {

// An SML row of `levels` x `dots` rates; dot j non-zero from `first` on
// (first = dots: no dot size in use).
struct Row {
    std::vector<uint32_t> rates;
    HXRSmlColorData data{};
    Row(uint32_t dots, uint32_t first, uint32_t levels = 256) : rates(size_t(levels) * dots) {
        for (size_t i = 0; i < rates.size(); ++i) rates[i] = i % dots >= first && i / dots == 200 ? 7 : 0;
        data = {levels, dots, {}, rates.data()};
    }
};

class HybridEd : public HxrTest {
protected:
    void SetUp() override {
        HxrTest::SetUp();
        random = HXRCreateRandNum(mm);
        interm.linePixelSize = 40;
    }
    HXRHybridEDBinarizer* make(int32_t h, int32_t v, uint32_t dotMode = 1, uint32_t htType = 6, uint32_t kind = 1,
                               uint32_t es = 1, const HXRSmlColorData* const* rows = nullptr) {
        const HXRSmlColorData* four[4] = {&small.data, nullptr, nullptr, nullptr};
        return HXRCreateBinarizeHybridED(0, h, v, kind, es, dotMode, htType, 1, rows ? rows : four, &interm, random,
                                         mm);
    }
    // What seeding line y of colour 1 writes: cell k from bit k mod 32 of the
    // k / 32-th generator value after the seed.
    std::vector<int32_t> seeded(uint32_t y, int32_t cells) {
        std::vector<int32_t> out;
        uint32_t x = HXRGetRandNum(random, 1031 + y);
        for (int32_t k = 0; k < cells; ++k) {
            if (k > 0 && k % 32 == 0) x = x * 69069 + 62003;
            out.push_back((x >> (k % 32)) & 1 ? 16 : -16);
        }
        return out;
    }
    static std::vector<int32_t> cells(const int32_t* b, int32_t n) { return std::vector<int32_t>(b, b + n); }

    HXRRandNum* random = nullptr;
    HXRIntermediateData interm{};
    Row small{3, 0};
};

TEST_F(HybridEd, ThresholdTablesByHand) {
    HXRHybridEDBinarizer* b = make(720, 720);
    ASSERT_NE(b, nullptr);
    const int32_t* a = b->thresholds;
    const int32_t* t = b->thresholds + 256;
    // 64 x the value interpolated between nodes, half away from zero:
    // A[100] = 64 x round((26 x 16 + 84 x 159) / 110) = 64 x 125;
    // B[161] = 64 x round(-(31 x 255 + 127) / 32) = 64 x -251.
    const std::pair<int, int32_t> as[] = {{0, 16320},  {1, 0},      {2, 64},     {16, 1024},
                                          {100, 8000}, {200, 16320}, {254, 15296}, {255, 0}};
    for (auto [i, v] : as) EXPECT_EQ(a[i], v) << "A " << i;
    for (int i = 0; i <= 160; ++i) EXPECT_EQ(t[i], -16320) << "B " << i;
    const std::pair<int, int32_t> bs[] = {{161, -16064}, {192, -8128}, {200, -6080}, {223, -256}};
    for (auto [i, v] : bs) EXPECT_EQ(t[i], v) << "B " << i;
    for (int i = 224; i < 256; ++i) EXPECT_EQ(t[i], 0) << "B " << i;
    std::vector<int32_t> again(256);
    HXRMakeHybridEDThresholds(0, again.data());
    EXPECT_EQ(again, cells(a, 256));
}

TEST_F(HybridEd, CreationPicksTheKernel) {
    const Row ml(3, 1), l(3, 2), none(3, 3), one(1, 0), wide(6, 3);
    struct Case {
        int32_t h, v;
        uint32_t dotMode, htType;
        const Row* row;
        HXRHybridEDKernel kernel;
    };
    const Case cases[] = {
        {720, 720, 1, 6, &one, HXRBinarizeHybridEDIn8BitOut1Bit_1x1},
        {720, 1080, 1, 6, &one, HXRBinarizeHybridEDIn8BitOut1Bit_1x1},  // ratio 1 by integer division
        {720, 360, 1, 6, &one, HXRBinarizeHybridEDIn8BitOut1Bit_2x1},
        {1440, 720, 1, 6, &one, HXRBinarizeHybridEDIn8BitOut1Bit_2x1},
        {1440, 360, 1, 6, &one, HXRBinarizeHybridEDIn8BitOut1Bit_4x1},
        {2880, 720, 1, 6, &one, HXRBinarizeHybridEDIn8BitOut1Bit_4x1},
        {360, 720, 1, 6, &one, HXRBinarizeHybridEDIn8BitOut1Bit_1x2},
        {720, 720, 1, 5, &one, HXRBinarizeHybridEDAllEDOnlyIn8BitOut1Bit_1x1},
        {1440, 720, 1, 3, &one, HXRBinarizeHybridEDIn8BitOut1Bit_2x1},  // AllEDOnly 2x1 runs the HybridED body
        {720, 720, 2, 6, &small, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_SML},
        {720, 720, 2, 6, &ml, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_ML},
        {360, 720, 2, 6, &l, HXRBinarizeHybridEDIn8BitOut2Bit_1x2_L},
        {720, 720, 2, 5, &ml, HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x1_ML},
        {2880, 720, 2, 5, &l, HXRBinarizeHybridEDIn8BitOut2Bit_4x1_L},
        {1080, 720, 1, 6, &one, nullptr},  // a horizontal ratio must be 2 or 4
        {1440, 480, 1, 6, &one, nullptr},
        {1080, 360, 1, 6, &one, nullptr},
        {0, 720, 1, 6, &one, nullptr},
        {720, -1, 1, 6, &one, nullptr},
        {720, 720, 2, 6, &none, nullptr},  // no dot size in use
        {720, 720, 2, 6, &wide, nullptr},  // the first three of six unused
        {720, 720, 34, 6, &small, nullptr},
        {720, 720, 0, 6, &small, nullptr},
    };
    for (const Case& c : cases) {
        const HXRSmlColorData* rows[4] = {nullptr, &c.row->data, nullptr, nullptr};
        HXRHybridEDBinarizer* b = make(c.h, c.v, c.dotMode, c.htType, 1, 1, rows);
        EXPECT_EQ(b ? b->kernel : nullptr, c.kernel) << c.h << "x" << c.v << " mode " << c.dotMode;
    }
    EXPECT_EQ(HXRBinarizeHybridEDAllEDOnlyIn8BitOut2Bit_1x2_SML, HXRBinarizeHybridEDIn8BitOut2Bit_1x2_SML);
    // Converter kinds 4 and 6, element sizes other than 1, missing records.
    EXPECT_NE(make(720, 720, 1, 6, 5), nullptr);
    for (uint32_t kind : {4u, 6u}) EXPECT_EQ(make(720, 720, 1, 6, kind), nullptr) << kind;
    for (uint32_t es : {0u, 2u}) EXPECT_EQ(make(720, 720, 1, 6, 1, es), nullptr) << es;
    const HXRSmlColorData* nothing[4] = {};
    EXPECT_EQ(make(720, 720, 1, 6, 1, 1, nothing), nullptr);
    const HXRSmlColorData* const* no_array = nullptr;
    EXPECT_EQ(HXRCreateBinarizeHybridED(0, 720, 720, 1, 1, 1, 6, 1, no_array, &interm, random, mm), nullptr);
}

TEST_F(HybridEd, DotSizeIndexOfTheFourRecords) {
    const Row sml(3, 0), ml(3, 1), l(3, 2), none(3, 3), five(5, 1);
    Row no_rates(3, 0), no_sizes(3, 0);
    no_rates.data.rates = nullptr;
    no_sizes.data.dotSizeNum = 0;
    struct Case {
        std::vector<const HXRSmlColorData*> rows;
        int32_t index;
    };
    const Case cases[] = {
        {{&l.data, nullptr, &ml.data, nullptr}, 1},  // the smallest in use of any record
        {{&l.data, &l.data, nullptr, &sml.data}, 0},
        {{nullptr, nullptr, nullptr, &l.data}, 2},
        {{&five.data, nullptr, nullptr, nullptr}, 1},
        {{&ml.data, &none.data, nullptr, nullptr}, -1},  // every record present must use a size
        {{&no_rates.data, nullptr, nullptr, nullptr}, -1},
        {{&no_sizes.data, nullptr, nullptr, nullptr}, -1},
        {{nullptr, nullptr, nullptr, nullptr}, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(HXRGetHybridEDDotSizeIndex(c.rows.data(), 4), c.index);
    EXPECT_EQ(HXRGetHybridEDDotSizeIndex(nullptr, 4), -1);
}

// Refusals before anything is allocated (missing services, a row length the
// allocator cannot take: (P + 60) x 4 bytes above 32 bits), and each failing
// allocation.
TEST_F(HybridEd, CreationFailures) {
    const size_t before = svc.allocations();
    for (uint32_t p : {0u, 0x3FFFFFC4u, 0x3FFFFFC5u, 0xFFFFFFFFu}) {
        interm.linePixelSize = p;
        EXPECT_EQ(make(720, 720), nullptr) << p;
    }
    interm.linePixelSize = 40;
    const HXRSmlColorData* four[4] = {&small.data};
    EXPECT_EQ(HXRCreateBinarizeHybridED(0, 720, 720, 1, 1, 1, 6, 1, four, nullptr, random, mm), nullptr);
    EXPECT_EQ(HXRCreateBinarizeHybridED(0, 720, 720, 1, 1, 1, 6, 1, four, &interm, nullptr, mm), nullptr);
    EXPECT_EQ(HXRCreateBinarizeHybridED(0, 720, 720, 1, 1, 1, 6, 1, four, &interm, random, nullptr), nullptr);
    EXPECT_EQ(svc.allocations(), before);
    for (long n = 0; n < 4; ++n) {
        svc.fail_allocation_after(n);
        EXPECT_EQ(make(720, 720), nullptr) << n;
    }
    svc.fail_allocation_after(-1);
    EXPECT_NE(make(720, 720), nullptr);
}

// Colour 1, line 0: seed number 1031 gives 0xC5A7A27F, whose bits, low
// first, give cells 0..31 (0x7F: seven times +16, then -16); cells 32 on
// follow x x 69069 + 62003. The other buffer stays zero.
TEST_F(HybridEd, SeedingByHand) {
    HXRHybridEDBinarizer* b = make(720, 720);
    ASSERT_NE(b, nullptr);
    const HXRHybridEDErrorBuffers& eb = *b->errorBuffers;
    EXPECT_EQ(eb.cellCount, 100);
    EXPECT_EQ(eb.current, 0u);
    EXPECT_EQ(eb.heads, 1);
    EXPECT_EQ(b->lastLine, 0xFFFFFFFFu);
    EXPECT_EQ(HXRGetRandNum(random, 1031), 0xC5A7A27Fu);
    EXPECT_EQ(cells(eb.buffer[0], 10), (std::vector<int32_t>{16, 16, 16, 16, 16, 16, 16, -16, -16, 16}));
    EXPECT_EQ(cells(eb.buffer[0], 100), seeded(0, 100));
    EXPECT_EQ(cells(eb.buffer[1], 100), std::vector<int32_t>(100, 0));
    EXPECT_EQ(HXRSetHybridEDErrorBuffInitialValue(b, random, 9), 0u);
    EXPECT_EQ(cells(eb.buffer[0], 100), seeded(9, 100));
    EXPECT_EQ(HXRSetHybridEDErrorBuffInitialValue(nullptr, random, 9), 1u);
    EXPECT_EQ(HXRSetHybridEDErrorBuffInitialValue(b, nullptr, 9), 1u);
}

TEST_F(HybridEd, SwitchingHeads) {
    HXRHybridEDBinarizer* b = make(720, 720);
    ASSERT_NE(b, nullptr);
    HXRHybridEDErrorBuffers& eb = *b->errorBuffers;
    eb.buffer[0][0] = 23;
    eb.buffer[0][1] = 0;
    eb.buffer[0][2] = -7;
    eb.buffer[0][3] = 4;
    // One head to two: positive errors become minus a fifth, truncated.
    EXPECT_EQ(HXRSwitchHybridEDErrorBuff(b, 2), 0u);
    EXPECT_EQ(cells(eb.buffer[1], 4), (std::vector<int32_t>{-4, 0, -7, 0}));
    EXPECT_EQ(eb.current, 0u);
    EXPECT_EQ(HXRSwitchHybridEDErrorBuff(b, 2), 0u);
    EXPECT_EQ(eb.current, 0u);
    // Two to one: the second head's line carries on.
    EXPECT_EQ(HXRSwitchHybridEDErrorBuff(b, 1), 0u);
    EXPECT_EQ(eb.current, 1u);
    EXPECT_EQ(eb.heads, 1);
    for (int32_t heads : {0, 3, -1}) EXPECT_EQ(HXRSwitchHybridEDErrorBuff(b, heads), 1u) << heads;
    EXPECT_EQ(HXRSwitchHybridEDErrorBuff(nullptr, 1), 1u);
    EXPECT_EQ(eb.heads, 1);
}

TEST_F(HybridEd, FetchingLines) {
    HXRHybridEDBinarizer* b = make(720, 720);
    ASSERT_NE(b, nullptr);
    HXRHybridEDErrorBuffers& eb = *b->errorBuffers;
    // Line 0 follows "no line": the creation's seeding stays.
    eb.buffer[0][5] = 999;
    EXPECT_EQ(HXRGetHybridEDErrorBuffer(b, random, 0, 0), eb.buffer[0] + 30);
    EXPECT_EQ(eb.buffer[0][5], 999);
    EXPECT_EQ(HXRGetHybridEDErrorBuffer(b, random, 0, 1), eb.buffer[1] + 30);
    EXPECT_EQ(HXRSetHybridEDVPostion(b, 4), 0u);
    EXPECT_EQ(HXRGetHybridEDErrorBuffer(b, random, 5, 0), eb.buffer[0] + 30);
    EXPECT_EQ(eb.buffer[0][5], 999);
    // Line 7 after 4: re-seeded with 1031 + 7.
    EXPECT_EQ(HXRGetHybridEDErrorBuffer(b, random, 7, 0), eb.buffer[0] + 30);
    EXPECT_EQ(cells(eb.buffer[0], 100), seeded(7, 100));
    // With buffer 1 current, head 0 gets buffer 1 and head 1 buffer 0.
    eb.current = 1;
    EXPECT_EQ(HXRGetHybridEDErrorBuffer(b, random, 5, 0), eb.buffer[1] + 30);
    EXPECT_EQ(HXRGetHybridEDErrorBuffer(b, random, 5, 1), eb.buffer[0] + 30);
    for (int32_t head : {-1, 2}) EXPECT_EQ(HXRGetHybridEDErrorBuffer(b, random, 5, head), nullptr) << head;
    EXPECT_EQ(HXRGetHybridEDErrorBuffer(b, nullptr, 5, 0), nullptr);
    EXPECT_EQ(HXRGetHybridEDErrorBuffer(nullptr, random, 5, 0), nullptr);
    EXPECT_EQ(HXRSetHybridEDVPostion(nullptr, 4), 1u);
}

TEST_F(HybridEd, WrapperRefusals) {
    HXRHybridEDBinarizer* b = make(720, 720);  // 1 bit, P = 40
    ASSERT_NE(b, nullptr);
    const ovcg_test::DitherRecord rec = ovcg_test::make_dither_record(4, 1, 0, 0, {1, 2, 3, 4});
    const HXRDthOffset off{0, 0};
    const Row one(1, 0), three(3, 0), short_row(1, 0, 255);
    const HXRSmlColorData* pair[2] = {&one.data, &one.data};
    const HXRSmlColorData* no_first[2] = {nullptr, &one.data};
    const HXRSmlColorData* no_second[2] = {&one.data, nullptr};
    const HXRSmlColorData* wide[2] = {&three.data, &one.data};
    const HXRSmlColorData* shortp[2] = {&short_row.data, &one.data};
    const HXRDthData narrow{3, 1, 0, 0, rec.cells.data(), 8};
    std::vector<uint8_t> plane(6, 0x5A), ink(48, 9);
    uint32_t counts[7] = {};
    int32_t* line = HXRGetHybridEDErrorBuffer(b, random, 0, 0);
    const std::vector<int32_t> before = cells(line - 30, 100);
    struct Case {
        const HXRHybridEDBinarizer* b;
        bool plane, counts, ink, line;
        int32_t x0, n;
        const HXRDthData* d;
        const HXRDthOffset* off;
        const HXRSmlColorData* const* sml;
        uint32_t result;
    };
    const Case cases[] = {
        {nullptr, true, true, true, true, 0, 8, &rec.data, &off, pair, 1},
        {b, false, true, true, true, 0, 8, &rec.data, &off, pair, 0},  // nothing to do
        {b, true, false, false, true, 0, 8, &rec.data, &off, pair, 0},
        {b, true, false, true, false, 0, 8, &rec.data, &off, pair, 0},
        {b, true, false, true, true, 0, 8, &rec.data, &off, pair, 1},
        {b, true, true, true, true, 0, 8, nullptr, &off, pair, 1},
        {b, true, true, true, true, 0, 8, &rec.data, nullptr, pair, 1},
        {b, true, true, true, true, 0, 8, &rec.data, &off, nullptr, 1},
        {b, true, true, true, true, 0, 8, &rec.data, &off, no_first, 1},
        {b, true, true, true, true, 0, 8, &rec.data, &off, no_second, 1},
        {b, true, true, true, true, 0, 8, &narrow, &off, pair, 1},
        {b, true, true, true, true, 0, 8, &rec.data, &off, wide, 1},  // a 2-bit row for a 1-bit kernel
        {b, true, true, true, true, 0, 8, &rec.data, &off, shortp, 1},
        {b, true, true, true, true, -1, 8, &rec.data, &off, pair, 1},  // spans past the line
        {b, true, true, true, true, 0, -1, &rec.data, &off, pair, 1},
        {b, true, true, true, true, 33, 8, &rec.data, &off, pair, 1},
        {b, true, true, true, true, 1, INT32_MAX, &rec.data, &off, pair, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HXRBinarizeHybridED(c.b, c.plane ? plane.data() : nullptr, c.counts ? counts : nullptr,
                                      c.ink ? ink.data() : nullptr, nullptr, c.line ? line : nullptr, c.x0, c.n, c.d,
                                      c.off, c.sml, 0),
                  c.result)
            << c.x0 << " " << c.n;
    }
    EXPECT_EQ(plane, std::vector<uint8_t>(6, 0x5A));
    EXPECT_EQ(cells(line - 30, 100), before);
    for (uint32_t c : counts) EXPECT_EQ(c, 0u);
    // The whole line is a span.
    EXPECT_EQ(HXRBinarizeHybridED(b, plane.data(), counts, ink.data(), nullptr, line, 0, 40, &rec.data, &off, pair, 0),
              0u);
}

}  // namespace
