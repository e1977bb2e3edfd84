// The band buffer against a slow per-dot model of its dot numbering, for
// every repeat number and plane count at 1 and 2 bits per dot; the ring's
// bookkeeping; and every refusal.
#include "headcontrol/rbm_band_buffer.h"

#include "headcontrol/codes.h"
#include "parsed_model.h"
#include "support/fake_ovf.h"
#include "support/model.h"
#include "support/model_head_control.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace ovcg::irac {
namespace {

using ovcg_test::Bytes;
using ovcg_test::FakeOvf;
using ovcg_test::HcBandMode;

const Bytes& band_modes() {
    static const Bytes res = ovcg_test::head_control_variant_resource(ovcg_test::HcVariant::BandModes);
    return res;
}

// A band buffer of one band mode.
struct Band : ParsedModel {
    RbmObject* rbm = nullptr;
    uint32_t planeLine = 0;

    explicit Band(const HcBandMode& mode) : ParsedModel(band_modes(), ovcg_test::hc_band_mode_id(mode)) {}
    uint32_t make(uint32_t lineBytes, int16_t colours = 2, int8_t layers = 1, uint32_t slots = 3) {
        RBM_Destructor(rbm);
        rbm = nullptr;
        return RBM_Constructor(&rbm, lineBytes, colours, layers, slots, rsc, &planeLine, &cb);
    }
    ~Band() { RBM_Destructor(rbm); }
};

// The plane lines of one input line, dot by dot: the left offset L is
// rounded down to a group of D = 8 b r dots; of the rest, whole bytes move
// the line by bytes (into the plane line and the group), s dots remain.
// Input dot d of byte i sits at dot t of its group; plane p takes the dots
// p', p' + P, ... and puts the k-th at dot slot k P / r of the group's
// output byte, plus the plane's shift (s mod r > p) + s / r.
std::vector<Bytes> slow_planes(const Bytes& in, uint32_t r, uint32_t P, uint32_t b, uint32_t L, size_t B) {
    const uint32_t dotsPerByte = 8 / b, groupDots = 8 * b * r;
    const uint32_t rest = L % groupDots, s = rest % dotsPerByte, byte = rest / dotsPerByte;
    const uint32_t startByte = byte / r, startInGroup = byte % r;
    std::vector<Bytes> planes(P, Bytes(B, 0));
    for (size_t i = 0; i < in.size(); ++i) {
        const size_t group = (startInGroup + i) / r;
        const uint32_t j = uint32_t((startInGroup + i) % r);
        for (uint32_t d = 0; d < dotsPerByte; ++d) {
            const uint32_t dot = (in[i] >> (8 - b * (d + 1))) & ((1u << b) - 1);
            const uint32_t t = j * dotsPerByte + d;
            for (uint32_t p = 0; p < P; ++p) {
                const uint32_t first = s > 0 ? (P + p - s % P) % P : p;
                if (t < first || (t - first) % P) continue;
                const uint32_t k = (t - first) / P;
                const uint32_t slot = k * (P / r) + (s > 0 ? (s % r > p) + s / r : 0);
                const size_t bit = (startByte + group) * 8 + size_t(slot) * b;  // from the line's first bit
                planes[p][bit / 8] = uint8_t(planes[p][bit / 8] | (dot << (8 - b - bit % 8)));
            }
        }
    }
    return planes;
}

// With r = P each plane is the compact line of every P-th dot of the input
// moved right by the rest of the left offset: plane dot q = dot qP + p.
Bytes compact_plane(const Bytes& in, uint32_t P, uint32_t b, uint32_t rest, uint32_t p, size_t B) {
    Bytes out(B, 0);
    const size_t dots = in.size() * 8 / b;
    for (size_t x = 0; x < dots; ++x) {
        const size_t shifted = x + rest;
        if (shifted % P != p) continue;
        const uint32_t dot = (in[x * b / 8] >> (8 - b - (x * b) % 8)) & ((1u << b) - 1);
        const size_t q = shifted / P;
        out[q * b / 8] = uint8_t(out[q * b / 8] | (dot << (8 - b - (q * b) % 8)));
    }
    return out;
}

Bytes random_line(std::mt19937& rng, size_t n) {
    Bytes line(n);
    for (auto& v : line) v = uint8_t(rng());
    // Zero margins of random width (or a blank line).
    const size_t lead = rng() % (n + 1), trail = rng() % (n + 1);
    for (size_t i = 0; i < n; ++i)
        if (i < lead || i + trail >= n) line[i] = 0;
    return line;
}

TEST(HeadRasterBandBuffer, PlanesMatchThePerDotModel) {
    std::mt19937 rng(105);
    for (const HcBandMode& mode : ovcg_test::hc_band_modes()) {
        const uint32_t r = mode.repeat, P = mode.planes, b = mode.bits;
        SCOPED_TRACE("r " + std::to_string(r) + " P " + std::to_string(P) + " b " + std::to_string(b));
        Band band(mode);
        const uint32_t n = 1 + rng() % 40;
        ASSERT_EQ(band.make(n, 2, 1, 3), 0u);
        const uint32_t G0 = b * b * r, D = 8 * G0 / b;
        ASSERT_EQ(band.planeLine, (G0 + n - 1 + r - 1) / r + 2);
        // Every dot offset inside the first two bytes, whole groups, and
        // samples across two groups.
        std::vector<uint32_t> offsets;
        for (uint32_t L = 0; L < 16 / b; ++L) offsets.push_back(L);
        for (uint32_t L : {D - 1, D, D + 1, 2 * D - 1, 2 * D}) offsets.push_back(L);
        for (int k = 0; k < 12; ++k) offsets.push_back(rng() % (2 * D + 1));
        for (uint32_t L : offsets) {
            uint32_t shift = 99;
            ASSERT_EQ(RBM_StartPage(band.rbm, int32_t(L), 1, 2, 3, 4, &shift), 0u);
            const uint32_t rest = L % D;
            EXPECT_EQ(shift, rest % (8 / b)) << L;
            EXPECT_EQ(RBM_GetLeftOffset(band.rbm), L - rest);
            EXPECT_EQ(band.rbm->extraByte, shift > 0 ? 1u : 0u);
            for (int32_t raster = 0; raster < 4; ++raster) {
                const Bytes lines[2] = {random_line(rng, n), random_line(rng, n)};
                Bytes both = lines[0];
                both.insert(both.end(), lines[1].begin(), lines[1].end());
                uint8_t* ptr[2] = {nullptr, both.data()};
                uint8_t hasData = 9;
                ASSERT_EQ(RBM_SetRasterdata(band.rbm, raster, int32_t(n), ptr, 1, 0, &hasData), 0u);
                bool any = false;
                for (int16_t c = 0; c < 2; ++c) {
                    const bool data = band.cb.lead_zero_search(lines[c].data(), int(n)) < int(n);
                    any = any || data;
                    const auto expected = slow_planes(lines[c], r, P, b, L, band.planeLine);
                    for (int16_t p = 0; p < int16_t(P); ++p) {
                        uint8_t* got = nullptr;
                        ASSERT_EQ(RBM_GetRasterdata(band.rbm, raster, c, 0, p, &got), data ? 1u : 0u);
                        uint32_t first = 0, lastZero = 0;
                        const uint32_t space = RBM_GetSpacesize(band.rbm, raster, c, 0, p, &first, &lastZero);
                        if (!data) {
                            EXPECT_EQ(got, nullptr);
                            EXPECT_EQ(space, 0u);
                            continue;
                        }
                        const Bytes plane(got, got + band.planeLine);
                        ASSERT_EQ(plane, expected[p]) << "L " << L << " colour " << c << " plane " << p;
                        if (r == P) {
                            EXPECT_EQ(plane, compact_plane(lines[c], P, b, rest, p, band.planeLine));
                        }
                        EXPECT_EQ(got[band.planeLine], 0) << "the byte after every plane line stays zero";
                        // The fake platform's scans are plain byte loops.
                        EXPECT_EQ(first, uint32_t(band.cb.lead_zero_search(got, int(band.planeLine))));
                        EXPECT_EQ(lastZero, uint32_t(band.cb.trail_zero_search(got, int(band.planeLine))));
                        EXPECT_EQ(space, first < band.planeLine ? 1u : 0u);
                        if (!space) continue;
                        // The block the output loop sends, rounded up to an even
                        // width, stays inside the line and its zero byte.
                        uint32_t offset = 0, width = 0;
                        ASSERT_EQ(RBM_CalcRasterGraphicsWidth(band.rbm, int32_t(RBM_CalcRasterTop(band.rbm, first)),
                                                              lastZero, &offset, &width),
                                  0u);
                        EXPECT_LE(offset, first);
                        EXPECT_LE(offset + width + (width & 1), band.planeLine + 1);
                    }
                }
                EXPECT_EQ(hasData, any ? 1 : 0);
            }
        }
    }
}

TEST(HeadRasterBandBuffer, PlainCopyGivesTheTableBytes) {
    std::mt19937 rng(1);
    for (uint16_t b : {uint16_t(1), uint16_t(2)}) {
        Band band({1, 1, b});
        ASSERT_EQ(band.make(300), 0u);
        ASSERT_EQ(RBM_StartPage(band.rbm, 0, 0, 0, 0, 0, nullptr), 0u);
        EXPECT_EQ(band.rbm->pageExpand, RBM_Copy_RasterData);
        const Bytes line = random_line(rng, 300);
        Bytes copied(302, 0xEE), tabled(302, 0xEE);
        RBM_Copy_RasterData({band.rbm->tables, line.data(), 300, 0, copied.data(), 0, &band.cb});
        RBM_Masking_RasterData_repeat1({band.rbm->tables, line.data(), 300, 0, tabled.data(), 0, &band.cb});
        EXPECT_EQ(copied, tabled);
        ASSERT_EQ(RBM_StartPage(band.rbm, 3, 0, 0, 0, 0, nullptr), 0u);
        EXPECT_NE(band.rbm->pageExpand, RBM_Copy_RasterData) << "a shift takes the tables";
    }
}

TEST(HeadRasterBandBuffer, RingSlotsKnowTheirRaster) {
    Band band({2, 2, 2});
    ASSERT_EQ(band.make(8, 3, 1, 3), 0u);
    ASSERT_EQ(RBM_StartPage(band.rbm, 0, 0, 0, 0, 0, nullptr), 0u);
    Bytes lines(3 * 8, 0);
    lines[1] = 0x40;       // colour 0
    lines[2 * 8 + 7] = 3;  // colour 2
    uint8_t* ptr[1] = {lines.data()};
    uint8_t has = 0;
    for (int32_t raster : {0, 1, 2, 3}) ASSERT_EQ(RBM_SetRasterdata(band.rbm, raster, 8, ptr, 0, 0, &has), 0u);
    EXPECT_EQ(has, 1);
    uint8_t* line = nullptr;
    EXPECT_EQ(RBM_GetRasterdata(band.rbm, 3, 0, 0, 1, &line), 1u);
    EXPECT_EQ(RBM_GetRasterdata(band.rbm, 3, 1, 0, 0, &line), 0u) << "colour 1 has no data";
    EXPECT_EQ(line, nullptr);
    EXPECT_EQ(RBM_GetRasterdata(band.rbm, 0, 0, 0, 0, &line), kRbmNotHeld) << "raster 3 overwrote raster 0";
    EXPECT_EQ(line, nullptr);
    EXPECT_EQ(RBM_GetRasterdata(band.rbm, 5, 0, 0, 0, &line), kRbmNotHeld) << "never stored";
    EXPECT_EQ(RBM_SetBlankRasterdata(band.rbm, 4), 0u);
    EXPECT_EQ(RBM_GetRasterdata(band.rbm, 4, 0, 0, 0, &line), 0u) << "stored blank";
    EXPECT_EQ(RBM_GetRasterdata(band.rbm, 1, 0, 0, 0, &line), kRbmNotHeld);
    EXPECT_EQ(RBM_SetBlankRasterdata(band.rbm, -1), 0u);
    uint32_t first = 0, last = 0;
    const struct {
        int32_t raster;
        int16_t colour, layer, plane;
    } outside[] = {{-1, 0, 0, 0}, {3, -1, 0, 0}, {3, 3, 0, 0}, {3, 0, 1, 0}, {3, 0, -1, 0}, {3, 0, 0, 2}};
    for (const auto& o : outside) {
        EXPECT_EQ(RBM_GetRasterdata(band.rbm, o.raster, o.colour, o.layer, o.plane, &line), kRbmBadIndex);
        EXPECT_EQ(RBM_GetSpacesize(band.rbm, o.raster, o.colour, o.layer, o.plane, &first, &last), kRbmBadIndex);
    }
    EXPECT_EQ(RBM_GetSpacesize(band.rbm, 0, 0, 0, 0, &first, &last), kRbmNotHeld);
    // A new page forgets every slot.
    ASSERT_EQ(RBM_StartPage(band.rbm, 0, 0, 0, 0, 0, nullptr), 0u);
    EXPECT_EQ(RBM_GetRasterdata(band.rbm, 3, 0, 0, 1, &line), kRbmNotHeld);
    // Blank lines set no flag; a negative raster stores nothing.
    const Bytes zeros(3 * 8, 0);
    uint8_t* zp[1] = {const_cast<uint8_t*>(zeros.data())};
    has = 7;
    EXPECT_EQ(RBM_SetRasterdata(band.rbm, 6, 8, zp, 0, 0, &has), 0u);
    EXPECT_EQ(has, 0);
    for (int16_t c = 0; c < 3; ++c) EXPECT_EQ(RBM_GetRasterdata(band.rbm, 6, c, 0, 0, &line), 0u);
    EXPECT_EQ(RBM_SetRasterdata(band.rbm, -2, 8, ptr, 0, 0, &has), 0u);
    EXPECT_EQ(RBM_SetRasterdata(band.rbm, 7, 8, nullptr, 0, 0, &has), kRbmBadIndex);
    EXPECT_EQ(RBM_SetRasterdata(band.rbm, 7, 8, ptr, -1, 0, &has), kRbmBadIndex);
    EXPECT_EQ(RBM_StartPage(band.rbm, -1, 0, 0, 0, 0, nullptr), kRbmBadIndex);
    EXPECT_EQ(RBM_CalcRasterGraphicsWidth(band.rbm, -1, 0, &first, &last), kRbmBadIndex);
    EXPECT_EQ(RBM_CalcRasterGraphicsWidth(band.rbm, 0, band.planeLine + 1, &first, &last), kRbmBadIndex);
    EXPECT_EQ(RBM_GetRepeatNum(band.rbm), 2);
}

TEST(HeadRasterBandBuffer, LayeredLinesAreOnePointerPerColour) {
    Band band({1, 1, 2});
    ASSERT_EQ(band.make(4, 2, 1, 2), 0u);
    ASSERT_EQ(RBM_StartPage(band.rbm, 0, 0, 0, 0, 0, nullptr), 0u);
    EXPECT_EQ(RBM_SetOn_Rasterdata_forLayeredHT(band.rbm), 0u);
    Bytes c0 = {0, 0, 0, 0}, c1 = {9, 8, 7, 6};
    uint8_t* ptr[4] = {nullptr, nullptr, c0.data(), c1.data()};  // raster index 1: colours 0 and 1
    uint8_t has = 0;
    ASSERT_EQ(RBM_SetRasterdata(band.rbm, 0, 999, ptr, 1, 0, &has), 0u);
    uint8_t* line = nullptr;
    EXPECT_EQ(RBM_GetRasterdata(band.rbm, 0, 0, 0, 0, &line), 0u);
    ASSERT_EQ(RBM_GetRasterdata(band.rbm, 0, 1, 0, 0, &line), 1u);
    EXPECT_EQ(Bytes(line, line + 5), (Bytes{9, 8, 7, 6, 0}));
}

TEST(HeadRasterBandBuffer, RefusedOneFieldAtATime) {
    const HcBandMode mode{2, 4, 2};
    struct Case {
        const char* name;
        uint32_t code;
        std::function<uint32_t(Band&)> make;
    };
    const Case cases[] = {
        {"slot count 0", kRbmBadSize, [](Band& b) { return b.make(10, 2, 1, 0); }},
        {"no colour", kRbmBadSize, [](Band& b) { return b.make(10, 0, 1, 3); }},
        {"no layer", kRbmBadSize, [](Band& b) { return b.make(10, 2, 0, 3); }},
        {"line beyond int counts", kRbmBadSize, [](Band& b) { return b.make(uint32_t(INT_MAX) + 1u, 1, 1, 1); }},
        {"store beyond 32 bits", kRbmBadSize, [](Band& b) { return b.make(1u << 30, 1, 1, 64); }},
        {"bits per dot 3", kRbmBadSize,
         [](Band& b) {
             b.rsc->rbm->bitsPerPixel = 3;
             return b.make(10);
         }},
        {"repeat 3", kRbmBadRepeat,
         [](Band& b) {
             b.rsc->rbm->modeValue0 = 3;
             return b.make(10);
         }},
        {"word 3 zero", kRbmBadRepeat,
         [](Band& b) {
             b.rsc->rbm->encoderWord3 = 0;
             return b.make(10);
         }},
        {"planes 8 at repeat 4", kRbmBadRepeat,
         [](Band& b) {
             b.rsc->rbm->modeValue0 = 4;
             b.rsc->rbm->colorNum = 8;
             return b.make(10);
         }},
        {"no reader", kRscNotAvailable,
         [](Band& b) { return RBM_Constructor(&b.rbm, 10, 2, 1, 3, nullptr, &b.planeLine, &b.cb); }},
    };
    for (const Case& c : cases) {
        Band band(mode);
        EXPECT_EQ(c.make(band), c.code) << c.name;
        EXPECT_EQ(band.rbm, nullptr) << c.name;
    }
    // Allocation failures, in the order of the parts.
    const uint32_t order[] = {kRbmNoObject, kRbmNoTables,     kRbmNoStore,      kRbmNoSpaceArrays, kRbmNoSpaceArrays,
                              kRbmNoStore,  kRbmNoSpaceArrays, kRbmNoSpaceArrays, kRbmNoStore,      kRbmNoSpaceArrays,
                              kRbmNoSpaceArrays, kRbmNoFlags, kRbmNoFlags};
    for (size_t nth = 1; nth <= std::size(order); ++nth) {
        Band band(mode);
        band.ovf.fail_alloc_from(band.ovf.alloc_calls() + nth);
        EXPECT_EQ(band.make(10, 2, 1, 3), order[nth - 1]) << nth;
    }
    Band band(mode);
    band.ovf.fail_alloc_from(band.ovf.alloc_calls() + std::size(order) + 1);
    EXPECT_EQ(band.make(10, 2, 1, 3), 0u);
}

}  // namespace
}  // namespace ovcg::irac
