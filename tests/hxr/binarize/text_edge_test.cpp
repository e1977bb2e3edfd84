// Text-edge step: when a job may use it, which pairs are edges, what an edge
// does to the planes of its line, where it does nothing, what it refuses, and
// that it never reads past an odd line's last pixel (at a guard page).
#include "hxr/binarize/hxr_text_edge.h"
#include "hxr/color/hxr_color_cvt.h"
#include "support/guard_page.h"
#include "support/hxr_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using ovcg_test::GuardedBytes;

struct Rgb {
    uint8_t r, g, b;
};
constexpr Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255};

class TextEdge : public HxrTest {
public:
    // A job of `inkSet` at dot mode `dotMode` with planes of `pixels` pixels,
    // the RGB converter with the given stride and sample size, setting 3.
    void job(uint32_t inkSet, uint32_t dotMode = 2, uint32_t pixels = 64, uint32_t stride = 4, uint32_t bytes = 1) {
        clr = HXRCreateClrMgr(inkSet, dotMode, 0, mm);
        ASSERT_NE(clr, nullptr);
        every = {};
        every.colorManager = clr;
        bnrz = {1, &every, dotMode & 15, pixels};
        cvt = {};
        cvt.pixelOffset = stride;
        cvt.sampleBytes = bytes;
        cvt.textEnhance = 3;
        ctrl = {kHxrColorCvt3D, &cvt};
        hc = HXRGetHalftoneColorNum(clr);
        for (auto& p : planes) p.assign(pixels / 4, 0xFF);  // every pixel code 3
        table.clear();
        for (auto& p : planes) table.push_back(p.data());
    }
    // Line l of `pixels` RGBX pixels (stride 4), or 16-bit samples.
    void line(uint32_t l, const std::vector<Rgb>& px) {
        auto& b = input[l];
        b.assign(px.size() * 4, 0x80);
        for (size_t x = 0; x < px.size(); ++x) {
            b[4 * x] = px[x].r;
            b[4 * x + 1] = px[x].g;
            b[4 * x + 2] = px[x].b;
        }
        for (uint32_t ch = 0; ch < 3; ++ch) lines[3 * l + ch] = b.data() + ch;
    }
    uint32_t code(uint32_t plane, uint32_t p) const { return (planes[plane][p / 4] >> (6 - 2 * (p % 4))) & 3u; }
    uint32_t run(int32_t count, int32_t x0, int32_t n_lines) {
        return HXRTextEnhance(&ctrl, &bnrz, lines, table.data(), count, x0, n_lines);
    }
    // Every plane still all code 3.
    bool untouched() const {
        for (const auto& p : planes)
            for (uint8_t b : p)
                if (b != 0xFF) return false;
        return true;
    }

    HXRClrMgr* clr = nullptr;
    HXREveryColorBinarizer every{};
    HXRBinarizeController bnrz{};
    HXRColorCvt cvt{};
    HXRColorCvtController ctrl{};
    uint32_t hc = 0;
    std::vector<uint8_t> planes[24];
    std::vector<uint8_t*> table;
    std::vector<uint8_t> input[2];
    const uint8_t* lines[6] = {};
};

TEST_F(TextEdge, Condition) {
    struct Case {
        uint32_t scale, dotMode, inkSet, want;
    };
    const Case cases[] = {
        {0x20001, 66, 1, 1}, {0x20001, 2, 1, 1},  {0x20001, 34, 1, 1}, {0x20001, 1, 1, 0}, {0x20001, 2, 3, 0},
        {1, 2, 1, 0},        {0x10002, 2, 1, 0},  {0x20001, 2, 0, 1},  {0x20001, 2, 24, 1}, {0x20001, 2, 2, 0},
    };
    for (const Case& c : cases) {
        _HXR_HALFTONE_INFO ht{};
        ht.scale = c.scale;
        ht.outputBits = c.dotMode;
        const HXRClrMgr* m = HXRCreateClrMgr(c.inkSet, 2, 0, mm);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(IsTextEdge07Condition(&ht, m), c.want) << c.scale << " " << c.dotMode << " " << c.inkSet;
        EXPECT_EQ(IsTextEdge07Condition(nullptr, m), 0u);
        EXPECT_EQ(IsTextEdge07Condition(&ht, nullptr), 0u);
    }
}

TEST_F(TextEdge, PairsOfBlackAndWhiteInEitherOrder) {
    job(1);  // C M Y K: the target is K, halftone index 3
    line(0, {kBlack, kWhite, kWhite, kBlack, kBlack, {255, 255, 254}, kBlack, kBlack, {0, 0, 0}, {0, 255, 255}});
    ASSERT_EQ(run(10, 0, 1), 0u);
    for (uint32_t c = 0; c < 4; ++c)
        for (uint32_t p = 0; p < 5; ++p) {
            const uint32_t want = p >= 2 ? 3 : c == 3 ? 2 : 0;
            EXPECT_EQ(code(c, p), want) << "plane " << c << " pixel " << p;
        }
    // Output pixels start at x0 / 2: input pixels 6, 7 are output pixel 3.
    job(1);
    line(0, {kBlack, kWhite, kBlack, kBlack, kBlack, kBlack, kWhite, kBlack});
    ASSERT_EQ(run(2, 6, 1), 0u);
    for (uint32_t c = 0; c < 4; ++c) {
        EXPECT_EQ(code(c, 0), 3u);  // pixels 0, 1 are outside the band
        EXPECT_EQ(code(c, 3), c == 3 ? 2u : 0u);
    }
}

TEST_F(TextEdge, AnEdgeInLineOneRewritesOnlyThatLinesPlanes) {
    job(1);
    line(0, {kBlack, kBlack, kWhite, kWhite, kBlack, kBlack});
    line(1, {kWhite, kWhite, kWhite, kBlack, kBlack, kBlack});
    ASSERT_EQ(run(6, 0, 2), 0u);
    for (uint32_t plane = 0; plane < 8; ++plane)
        for (uint32_t p = 0; p < 3; ++p) {
            const uint32_t want = plane >= 4 && p == 1 ? (plane == 7 ? 2 : 0) : 3;
            EXPECT_EQ(code(plane, p), want) << "plane " << plane << " pixel " << p;
        }
    // Colour code 12 where the ink set has no 0: C M Y Mk Pk, Mk at index 3.
    job(18);
    line(0, {kWhite, kBlack});
    ASSERT_EQ(run(2, 0, 1), 0u);
    for (uint32_t c = 0; c < hc; ++c) EXPECT_EQ(code(c, 0), c == 3 ? 2u : 0u) << c;
}

TEST_F(TextEdge, SixteenBitSamplesTestTheirHighByte) {
    job(1, 2, 64, 3, 2);
    std::vector<uint16_t> samples = {0x00FF, 0x00FF, 0x00FF, 0xFF00, 0xFF00, 0xFF00,   // edge
                                     0x0000, 0x0000, 0x0000, 0xFEFF, 0xFFFF, 0xFFFF};  // not
    for (uint32_t ch = 0; ch < 3; ++ch) lines[ch] = reinterpret_cast<const uint8_t*>(samples.data() + ch);
    ASSERT_EQ(run(4, 0, 1), 0u);
    EXPECT_EQ(code(3, 0), 2u);
    EXPECT_EQ(code(0, 0), 0u);
    EXPECT_EQ(code(0, 1), 3u);
    EXPECT_EQ(code(3, 1), 3u);
}

// Where the step cannot apply it leaves every plane alone and succeeds.
TEST_F(TextEdge, NothingToDo) {
    struct Case {
        const char* name;
        uint32_t inkSet, dotMode;
        std::function<void(TextEdge&)> change;
        uint32_t target = 0xFFFFFFFF;  // set: run the pass with this target
    };
    const Case cases[] = {
        {"setting 0", 1, 2, [](TextEdge& t) { t.cvt.textEnhance = 0; }},
        {"CMYK LUT converter", 1, 2, [](TextEdge& t) { t.ctrl.kind = kHxrColorCvt4D; }},
        {"monochrome-photo converter", 1, 2, [](TextEdge& t) { t.ctrl.kind = kHxrColorCvtTNMX; }},
        {"neither code 0 nor 12", 2, 2, [](TextEdge&) {}},
        {"1-bit planes", 1, 1, [](TextEdge&) {}},
        {"a null sample pointer", 1, 2, [](TextEdge& t) { t.lines[2] = nullptr; }},
        {"stride 0", 1, 2, [](TextEdge& t) { t.cvt.pixelOffset = 0; }},
        {"a target not below the halftone colours", 1, 2, [](TextEdge&) {}, 4},
    };
    for (const Case& c : cases) {
        job(c.inkSet, c.dotMode, 64);
        line(0, {kBlack, kWhite, kWhite, kBlack});
        c.change(*this);
        const uint32_t r = c.target == 0xFFFFFFFF
                               ? run(4, 0, 1)
                               : HXRTextEnhanceColor(3, &ctrl, &bnrz, lines, table.data(), 4, 0, 1, hc, c.target);
        EXPECT_EQ(r, 0u) << c.name;
        EXPECT_TRUE(untouched()) << c.name;
    }
}

TEST_F(TextEdge, RefusalsAndOtherSettings) {
    job(1);
    std::vector<Rgb> wide(128, kWhite);
    wide[0] = kBlack;
    line(0, wide);
    line(1, {kWhite, kWhite, kWhite, kWhite});
    EXPECT_EQ(HXRTextEnhance(nullptr, &bnrz, lines, table.data(), 4, 0, 1), 1u);
    EXPECT_EQ(HXRTextEnhance(&ctrl, nullptr, lines, table.data(), 4, 0, 1), 1u);
    EXPECT_EQ(HXRTextEnhance(&ctrl, &bnrz, nullptr, table.data(), 4, 0, 1), 1u);
    EXPECT_EQ(HXRTextEnhance(&ctrl, &bnrz, lines, nullptr, 4, 0, 1), 1u);
    for (int32_t n_lines : {0, 3, -1}) EXPECT_EQ(run(4, 0, n_lines), 1u) << n_lines;
    EXPECT_EQ(run(-2, 0, 1), 1u);
    EXPECT_EQ(run(4, -2, 1), 1u);
    EXPECT_EQ(run(2, 128, 1), 1u);  // output pixel 64 of a 64-pixel plane
    EXPECT_TRUE(untouched());
    EXPECT_EQ(run(2, 126, 1), 0u);  // pixel 63: its last one
    // A setting other than 3 ends the pass at the first edge, and only there.
    EXPECT_EQ(HXRTextEnhanceColor(1, &ctrl, &bnrz, lines + 3, table.data() + 4, 4, 0, 1, hc, 3), 0u);
    EXPECT_EQ(HXRTextEnhanceColor(1, &ctrl, &bnrz, lines, table.data(), 4, 0, 1, hc, 3), 1u);
    EXPECT_TRUE(untouched());
}

TEST_F(TextEdge, NullPlanesAreSkipped) {
    job(1);
    line(0, {kWhite, kBlack, kBlack, kBlack});
    table[1] = nullptr;
    table[3] = nullptr;  // the target too
    ASSERT_EQ(run(4, 0, 1), 0u);
    EXPECT_EQ(code(0, 0), 0u);
    EXPECT_EQ(code(2, 0), 0u);
    EXPECT_EQ(code(1, 0), 3u);
    EXPECT_EQ(code(3, 0), 3u);
}

// Five pixels: the last whole pair ends at pixel 3; pixel 4 is the line's last
// and the sample after it lies on a guard page.
TEST_F(TextEdge, AnOddCountStopsAtTheLastWholePair) {
    job(1, 2, 64, 3, 1);
    GuardedBytes in(5 * 3);
    const Rgb px[5] = {kBlack, kWhite, kBlack, kBlack, kWhite};
    for (uint32_t x = 0; x < 5; ++x) std::memcpy(in.data() + 3 * x, &px[x], 3);
    for (uint32_t ch = 0; ch < 3; ++ch) lines[ch] = in.data() + ch;
    ASSERT_EQ(run(5, 0, 1), 0u);
    EXPECT_EQ(code(3, 0), 2u);
    EXPECT_EQ(code(3, 1), 3u);
    EXPECT_EQ(code(3, 2), 3u);  // no pair for pixel 4
}

}  // namespace
