// The RGB kernel families beside the plain one, as feature policies of
// RgbKernel (hxr_color_rgb_kernel.h): each derives from RgbPlain and replaces
// only the hooks it changes. The walk, the random offsets, the flat test,
// the averaging and smoothing are the plain kernel's throughout.
//
// User colour (RgbUser; aux = the user colour table, never null): a pixel
// whose attribute has bit 2 set takes the W words of user-table entry B (its
// third level) as its node: no pre-table, no offset, no LUT. Such a pixel
// makes its block non-flat, so flat blocks never touch the table and the
// flat block after it is not smoothed.
//
// White print (RgbWprint; aux = the converter's HXRColorCvtWPrintParam copy):
// every node the walk looks up (the four of a non-flat block, e1 and e2 of a
// flat block or an expanded pair) goes through a decode-encode stage in the
// LUT it came from, before its codes are used:
//   amount[k] = decode[code k]
//   W info (flag bit 0): S = sum of min(cap[k], amount[k] x weight[k]);
//     t = upper - S while S + lower < upper, else lower; v = t x factor held
//     within [scaled lower, scaled upper]; amount[W] = (v + 2048) >> 12
//   reduction (flag bit 1), P the peak of the looked-up levels (the pixel's,
//     or the block means): when P <= range (signed), f = curve[(255 P +
//     range / 2) / range] (colour curve, W curve for the W channel), or 0 for
//     range 0; amount[k] = (amount[k] x f + 2048) >> 12
//   code k = HXREncodeDoubleGamma(encode, amount[k]), packed back into node
//     words (HXRRearrangeLut) for the lane averaging.
// A flat block's code is therefore the rounded mean of two re-encoded codes.
// The writer then keeps, per output mode, every code (2), every code but
// W's, which becomes 0 (1), or only W's, the others 0 (0); any other mode
// writes no ink row (the intent rows and span are written as always).
//
// Arithmetic: the products and the sum are taken in 64 bits. Within the
// setters' limits (amounts below 65536, weights up to 32768, caps and bounds
// up to 0xFF00000, factor up to 16, 16-bit curve entries) nothing reaches 32
// bits, so the results are those of 32-bit arithmetic; tables whose decoded
// amounts exceed 65535 (double gamma 255 below 100) or values outside the
// limits no longer wrap, and upper below lower gives t = lower. Amounts
// above 65535 (a curve entry above 4096) encode as 65535 would, the top of
// the encoder's range: the encoder holds its table index at 255 and the
// table's last entry repeats the one before. A W channel outside 0..N-1 counts as no W channel and a
// reduction flag without both curves as no reduction: the converter never
// passes such a block, but the kernels then stay inside their arrays.
//
// Nothing is decided per pixel that a call can decide once: the white-print
// entry picks one of three instantiations per call (stage or not, rows or
// not), and the output mode becomes a byte mask per ink.
//
// PatternD (RgbPatternD<Base>: RgbPd over the plain features, RgbUserPd over
// the user-colour ones; every walk): the hold of hxr_color_kernel_parts.h
// (PatternDHold<2>: two nodes at the hold offset and + 128, the offset 192
// at the start of a call and halved before each computation) on every flat
// block, after smoothing. The looked-up levels are the means (Normal and
// ReduceH) or the pixel (ExpandH2NxV2); the previous flat block's reference
// levels its TL (Normal), its pixel (ExpandH2NxV2) or its means (ReduceH).
// Inks other than 0 and 2 pass unchanged, so with every pattern upper value
// 0 a PatternD kernel writes what its plain (or user-colour) counterpart
// writes. The user-colour form repeats on the same test as the plain
// PatternD forms: a held level stands only for the input it was computed
// from, so a flat block whose input differs from the block before computes
// its own, and on bands without user pixels it writes what the PatternD
// Normal kernel writes.
#pragma once

#include "hxr/color/hxr_color_rgb_kernel.h"
#include "hxr/control/hxr_lut_build.h"
#include "hxr/control/hxr_value_settings.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace ovcg {

inline constexpr uint32_t kUserColourBit = 0x04;

// ---------------------------------------------------------------- user colour

struct RgbUser : RgbPlain {
    struct State {
        const uint32_t* table;
    };
    static State begin(const HXRLutData* const*, const void* aux) { return {static_cast<const uint32_t*>(aux)}; }

    template <class Blocks>
    static const uint32_t* pixel_node(const State& s, const Blocks& b, const LutPixel<3>& p, uint32_t offset) {
        if (p.attr & kUserColourBit) return s.table + size_t{p.v[2]} * Blocks::kWords;
        return b.grid_node(lut_choice(p.attr), p.v, offset);
    }
    static bool flat_extra(const State&, const LutBlock<3>& b) {
        return ((b.tl.attr | b.tr.attr | b.bl.attr | b.br.attr) & kUserColourBit) == 0;
    }
};

// ---------------------------------------------------------------- PatternD

// Base: RgbPlain or RgbUser, whose hooks stay in force but for the stage on
// flat-block levels.
template <class Base>
struct RgbPatternD : Base {
    struct State : Base::State {
        PatternDHold<2> hold;
    };
    static State begin(const HXRLutData* const* luts, const void* aux) {
        State s{};
        static_cast<typename Base::State&>(s) = Base::begin(luts, aux);
        s.hold = PatternDHold<2>(luts);
        return s;
    }

    template <class S, class Blocks, class View>
    static void stage_levels(S& s, const Blocks& blocks, const View& v, uint8_t* levels) {
        static_assert(Blocks::kPairs >= 2, "the hold reads ink 2");
        s.hold.apply(levels, v.lut, v.input, v.previous, [&](int lut, const uint32_t* input, uint32_t t) {
            return blocks.grid_node(lut, input, t);
        });
    }
    // ReduceH remembers each flat block's means for the repeat test.
    static constexpr bool kKeepsReduceMemory = true;
};

using RgbPd = RgbPatternD<RgbPlain>;
using RgbUserPd = RgbPatternD<RgbUser>;

// ---------------------------------------------------------------- white print

inline constexpr uint32_t kWprintWInfo = 1;
inline constexpr uint32_t kWprintReduction = 2;

// The W amount of one node's amounts (W info present).
template <int N>
uint32_t WprintWhiteAmount(const HXRColorCvtWPrintParam& p, const uint32_t* amount) {
    uint64_t sum = 0;
    unrolled<N>([&](auto k) { sum += std::min<uint64_t>(p.cap[k], uint64_t{amount[k]} * p.weight[k]); });
    const uint64_t t = sum + p.lowerBound < p.upperBound ? p.upperBound - sum : p.lowerBound;
    uint64_t v = t * p.factor;
    v = v > p.scaledUpperBound ? p.scaledUpperBound : std::max<uint64_t>(v, p.scaledLowerBound);
    return static_cast<uint32_t>((v + 2048) >> 12);
}

// Stage: the decode-encode pass runs (info flags not 0).
template <int N, bool Stage>
struct RgbWprint : RgbPlain {
    struct State {
        const HXRColorCvtWPrintParam* p;
        const uint32_t* decode[2];
        const uint32_t* encode[2];
        int w;  // the W channel, -1 when outside the inks
        bool wInfo, reduce;
        uint8_t keep[N];  // 0xFF where the code is written, 0 where 0 is
    };
    static State begin(const HXRLutData* const* luts, const void* aux) {
        State s{};
        s.p = static_cast<const HXRColorCvtWPrintParam*>(aux);
        for (int k = 0; k < 2; ++k) {
            s.decode[k] = luts[k]->decode;
            s.encode[k] = luts[k]->encode;
        }
        s.w = s.p->wChannel >= 0 && s.p->wChannel < N ? s.p->wChannel : -1;
        s.wInfo = (s.p->infoFlags & kWprintWInfo) && s.w >= 0;
        s.reduce = (s.p->infoFlags & kWprintReduction) && s.p->colourCurve && s.p->wCurve;
        for (int k = 0; k < N; ++k) {
            const bool white = k == s.w;
            s.keep[k] = s.p->outputMode == kHxrWPrintBoth || (s.p->outputMode == kHxrWPrintColourOnly && !white) ||
                                (s.p->outputMode == kHxrWPrintWhiteOnly && white)
                            ? 0xFF
                            : 0;
        }
        return s;
    }

    // `input` holds the levels the node was looked up with: the pixel's, or
    // the block means; their peak drives the reduction.
    static const uint32_t* stage_node(State& s, int lut, const uint32_t* input, const uint32_t* node,
                                      uint32_t* scratch) {
        if constexpr (!Stage) {
            return node;
        } else {
            using Lanes = InkLanes<N>;
            uint32_t amount[N];
            const uint32_t* decode = s.decode[lut];
            unrolled<N>([&](auto k) { amount[k] = decode[Lanes::code(node, k)]; });
            if (s.wInfo) amount[s.w] = WprintWhiteAmount<N>(*s.p, amount);
            if (s.reduce) reduce(s, std::max({input[0], input[1], input[2]}), amount);
            uint32_t codes[N];
            const uint32_t* encode = s.encode[lut];
            unrolled<N>([&](auto k) { codes[k] = HXREncodeDoubleGamma(encode, amount[k]); });
            HXRRearrangeLut(scratch, codes, N);
            return scratch;
        }
    }

    template <int M, class S>
    static void put_pair(const S& s, const InkRows<M>& rows, int line, uint32_t o, const uint8_t* left,
                         const uint8_t* right) {
        unrolled<M>([&](auto k) {
            uint8_t* row = rows.ink[k][line] + o;
            row[0] = left[k] & s.keep[k];
            row[1] = right[k] & s.keep[k];
        });
    }
    template <int M, class S>
    static void put_one(const S& s, const InkRows<M>& rows, int line, uint32_t o, const uint8_t* codes) {
        unrolled<M>([&](auto k) { rows.ink[k][line][o] = codes[k] & s.keep[k]; });
    }

private:
    static void reduce(const State& s, uint32_t peak, uint32_t* amount) {
        const int32_t range = s.p->reductionRange;
        if (static_cast<int32_t>(peak) > range) return;
        uint32_t colour = 0, white = 0;
        if (range != 0) {
            const uint32_t i = (peak * 255 + static_cast<uint32_t>(range) / 2) / static_cast<uint32_t>(range);
            colour = s.p->colourCurve[i];
            white = s.p->wCurve[i];
        }
        for (int k = 0; k < N; ++k)
            amount[k] = static_cast<uint32_t>(std::min<uint64_t>(
                (uint64_t{amount[k]} * (k == s.w ? white : colour) + 2048) >> 12, 0xFFFFFFFFu));
    }
};

// An output mode outside 0..2: the walk runs (intent rows, span) but no ink
// row is written.
struct RgbNoInkRows : RgbPlain {
    template <int N, class S>
    static void put_pair(const S&, const InkRows<N>&, int, uint32_t, const uint8_t*, const uint8_t*) {}
    template <int N, class S>
    static void put_one(const S&, const InkRows<N>&, int, uint32_t, const uint8_t*) {}
};

// The white-print kernel of N inks and a walk: one instantiation per call,
// chosen from the block's output mode and info flags.
template <int N, class Walk>
void RgbWprintKernel(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,
                     uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes,
                     const uint8_t** attrs, uint32_t attrStride, int32_t start, int32_t end) {
    const auto& p = *static_cast<const HXRColorCvtWPrintParam*>(aux);
    if (p.outputMode < kHxrWPrintWhiteOnly || p.outputMode > kHxrWPrintBoth)
        RgbKernel<N, Walk, RgbNoInkRows>(luts, aux, ink, seed, pixelOffset, sampleBytes, scale, planes, attrs,
                                         attrStride, start, end);
    else if (p.infoFlags == 0)
        RgbKernel<N, Walk, RgbWprint<N, false>>(luts, aux, ink, seed, pixelOffset, sampleBytes, scale, planes, attrs,
                                                attrStride, start, end);
    else
        RgbKernel<N, Walk, RgbWprint<N, true>>(luts, aux, ink, seed, pixelOffset, sampleBytes, scale, planes, attrs,
                                               attrStride, start, end);
}

}  // namespace ovcg
