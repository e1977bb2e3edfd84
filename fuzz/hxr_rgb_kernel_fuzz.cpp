// Fuzzes the RGB LUT kernels (plain, user colour, white print, PatternD and
// PatternD user colour) against the literal reference models: the input
// draws the ink count, walk and scale, sample size, pixel and attribute
// strides, span, reduction method, tables and seed, the family with its user
// table, white-print block (any output mode, flags, W channel, weights,
// caps, bounds, factor, range and curves, in range or not) or pattern upper
// values, then the band's samples and attribute bytes. Input planes are exactly as long as the
// span needs (a read past them trips the address sanitizer); kernel and
// model write into painted descriptors that must agree byte for byte,
// outside the span as well, with the same span and the same moved pointers.
#include "hxr/color/hxr_color_kernel.h"
#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_value_settings.h"
#include "hxr_fuzz_services.h"
#include "lut_kernel_fuzz.h"
#include "lut_tables.h"
#include "tests/support/rgb_reference.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using ovcg_test::RgbWalk;

constexpr int kInks[] = {1, 4, 5, 6, 7, 8, 9, 10, 12};
struct WalkScale {
    RgbWalk walk;
    int32_t scale;
};
constexpr WalkScale kWalks[] = {{RgbWalk::Normal, 1}, {RgbWalk::Normal, 2}, {RgbWalk::Normal, 4},
                                {RgbWalk::Normal, 8}, {RgbWalk::Expand, 2}, {RgbWalk::Expand, 4},
                                {RgbWalk::Expand, 8}, {RgbWalk::Reduce, 0x20001}};
enum Family : uint32_t { kPlain, kUser, kWprint, kPd, kUserPd };

HXRColorKernel kernel_of(Family family, int inks, RgbWalk walk) {
    static constexpr HXRColorFamily kTables[] = {kColor3D, kColor3DUserSpec, kColor3DWprint, kColor3DPatternD,
                                                 kColor3DUserSpecPatternD};
    const HXRColorFamily f = kTables[family];
    for (const HXRColorFuncRow* row = kHxrColorFuncTables.table[f]; row->count != -1; ++row)
        if (row->count == inks) return walk == RgbWalk::Normal ? row->normal
                                       : walk == RgbWalk::Expand ? row->expandH2NxV2
                                                                 : row->reduceH;
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lut_fuzz::Reader in(data, size);
    const int inks = kInks[in.byte() % 9];
    WalkScale w = kWalks[in.byte() % 8];
    const uint32_t flags = in.byte();
    const uint32_t depth = flags & 1 ? 2 : 1, pixelOffset = (flags >> 4) % 5 + 1, attrStride = in.byte() % 5;
    const bool intents = flags & 2, two = flags & 4;
    const uint32_t method = flags >> 3 & 1;
    int32_t start = int32_t(in.byte() % 64);
    int32_t count = int32_t(in.byte());
    count |= int32_t(in.byte() & 1) << 8;
    const uint32_t seed = in.word();
    const int variant = two ? int(in.byte() % 3) + 1 : 0;
    // The family: user colour has the Normal walk only, white print no
    // reduction, PatternD no one-ink form.
    auto family = Family(in.byte() % 5);
    if ((family == kPd || family == kUserPd) && inks == 1) family = kPlain;
    if (family == kUser || family == kUserPd || (family == kWprint && w.walk == RgbWalk::Reduce)) w = kWalks[0];
    std::vector<uint32_t> user;
    uint32_t curves[2][256];
    HXRColorCvtWPrintParam wp{};
    bool sameLines = false;  // user colour also runs on one line given twice
    if (family == kUser || family == kUserPd) {
        uint32_t x = in.word();
        sameLines = x & 1;
        user.resize(256 * size_t((inks + 3) / 4));
        for (uint32_t& v : user) v = x = x * 1664525u + 1013904223u;
    } else if (family == kWprint) {
        wp.outputMode = int32_t(in.byte() % 6) - 1;
        wp.infoFlags = in.byte() % 8;
        const uint32_t wb = in.byte();
        wp.wChannel = wb < 240 ? int32_t(wb % uint32_t(inks)) : int32_t(wb) - 250;
        const bool limits = in.byte() % 4 != 0;  // mostly within the setters' limits
        for (uint32_t k = 0; k < kHxrWPrintChannels; ++k) {
            wp.weight[k] = limits ? in.word() % 32769 : in.word();
            wp.cap[k] = limits ? in.word() % 0xFF001 << 8 : in.word();
        }
        wp.upperBound = limits ? in.word() % 0xFF001 << 8 : in.word();
        wp.lowerBound = limits ? in.word() % (wp.upperBound / 256 + 1) << 8 : in.word();
        wp.factor = limits ? in.byte() % 17 : in.word();
        wp.scaledUpperBound = limits ? uint32_t(std::min<uint64_t>(uint64_t{wp.upperBound} * wp.factor, 0xFF00000))
                                     : in.word();
        wp.scaledLowerBound = limits ? uint32_t(std::min<uint64_t>(uint64_t{wp.lowerBound} * wp.factor, 0xFF00000))
                                     : in.word();
        if (wp.wChannel >= 0 && wp.wChannel < inks && limits) wp.weight[wp.wChannel] = wp.cap[wp.wChannel] = 0;
        wp.reductionRange = limits ? int32_t(in.byte()) - (in.byte() % 8 == 0 ? 300 : 0) : int32_t(in.word());
        uint32_t x = in.word();
        for (auto& curve : curves)
            for (uint32_t& v : curve) v = (x = x * 1664525u + 1013904223u) >> (limits ? 18 : 0);
        const uint32_t present = in.byte() % 8;
        wp.colourCurve = present != 1 ? curves[0] : nullptr;
        wp.wCurve = present != 2 ? curves[1] : nullptr;
    }
    if (family == kPd || family == kUserPd)
        lut_fuzz::read_pattern_upper(in, lut_fuzz::rgb_table(inks, 0), lut_fuzz::rgb_table(inks, variant));
    const void* aux = family == kUser || family == kUserPd ? static_cast<const void*>(user.data())
                      : family == kWprint ? static_cast<const void*>(&wp)
                                          : nullptr;
    if (w.walk == RgbWalk::Reduce) start &= ~1, count &= ~1;
    const int32_t end = start + count;
    const int lines = w.walk == RgbWalk::Expand || sameLines ? 1 : 2;

    const lut_fuzz::Band<3> band(in, lines, size_t(end > 0 ? end : 1), depth, pixelOffset, attrStride);

    const HXRLutData* luts[2] = {lut_fuzz::rgb_table(inks, 0), lut_fuzz::rgb_table(inks, variant)};
    const int32_t columns = w.walk == RgbWalk::Reduce ? end / 2 : end * w.scale;
    return lut_fuzz::compare(
        band, inks, columns, intents, method, lines == 1, -1,
        [&](auto& got) {
            kernel_of(family, inks, w.walk)(luts, aux, got.d, seed, pixelOffset, depth, w.scale, got.planes,
                                            got.attrs, attrStride, start, end);
        },
        [&](auto& want) {
            std::unique_ptr<ovcg_test::RgbReference> ref;
            switch (family) {
                case kUser: ref = std::make_unique<ovcg_test::RgbUserReference>(inks); break;
                case kWprint: ref = std::make_unique<ovcg_test::RgbWprintReference>(inks, w.walk); break;
                case kPd: ref = std::make_unique<ovcg_test::RgbPatternDReference>(inks, w.walk); break;
                case kUserPd: ref = std::make_unique<ovcg_test::RgbUserPatternDReference>(inks); break;
                default: ref = std::make_unique<ovcg_test::RgbReference>(inks, w.walk); break;
            }
            ref->run(luts, aux, want.d, seed, pixelOffset, depth, w.scale, want.planes, want.attrs, attrStride,
                     start, end);
        });
}
