// The one CMYK (four-channel) LUT kernel: CmykKernel<N, Walk, Features> is
// every 4D kernel of the tables, for N inks, a walk (NormalWalk, ExpandWalk,
// ReduceWalk: hxr_color_kernel_parts.h) and a set of feature bits (user
// colour, under-white, PatternD). The named kernels
// (hxr_color_cmyk_kernels.h) are its instantiations; the converter picks one
// per job and band, so nothing here tests a variant per pixel.
//
// What a call does on a band (contract: hxr_color_kernel.h). The 4D grid has
// 32 nodes per axis, node (g0, g1, g2, g3) at index g0 << 15 | g1 << 10 |
// g2 << 5 | g3; a coordinate is (pre[v] + t) >> 8 with LUT0's pre-table,
// whichever LUT holds the node.
//  Normal, per block at output column o (two columns, two rows), with offset
//   r (o & 2 picks fresh or kept XOR 128):
//   flat blocks take the means m = (TL + TR + BL + BR + rho) >> 2 of each
//   channel, look m up at r/4 + 0, 64, 128, 192 in the LUT of TL, average the
//   four nodes per lane pair with delta, smooth with the previous flat block
//   (its TL within 8, 8, 20, 8 of this TL, same LUT choice) with gamma and
//   write one level per ink to all four cells;
//   other blocks look each pixel up at r/2 and r/2 + 128 in its own LUT and
//   average the two nodes with beta (one bit for the whole block). A lone
//   last column (odd column count) also writes column end x scale.
//  ExpandH2NxV2, per column pair of row 0: the pixel as a flat block (four
//   nodes of the pixel itself, no rho); every pair but the call's first is
//   smoothed against the pair before it when close.
//  ReduceH, per output column (one column, two rows): flat blocks as Normal
//   without smoothing; other blocks merge TL with TR and BL with BR per ink,
//   method 0 (a + b) >> 1, method 1 the code of the mean decoded amount,
//   re-encoded with the first pixel's LUT.
// rho, beta, delta and gamma are bits of x before the block's step.
//
// Features:
//  kCmykUser        a pixel with attribute bit 2 takes the user table's entry
//                   of its channel-3 level (aux, N inks per entry in node
//                   layout), and a block holding one is never flat.
//  kCmykUnderWhite  the ink at the descriptor's clear position is 0 at blank
//                   pixels (all four levels 0) whose attribute byte has
//                   neither bit 2 nor bit 4 (mask 0x14); a flat block is blank
//                   when its four means are 0 and is exempted by its top-left
//                   byte alone, for all four cells. The clear never changes
//                   anything else: the remembered result keeps the value
//                   before the clear. The position is read once per call; -1
//                   (or any index outside the N inks) runs the kernel without
//                   the feature, so its output is the plain kernel's.
//  kCmykPatternD    the PatternD hold (PatternDHold<4>: kernel parts) on
//                   every flat block and expanded pair, after smoothing
//                   and before the clear: a light level of ink 0 or ink 2
//                   takes the held level, recomputed from four nodes at the
//                   hold offset (16, 4, 1, then 0 in a call) + 0, 64, 128,
//                   192 unless the block repeats the previous flat block
//                   (Normal: means equal to its TL; ExpandH2NxV2: the same
//                   pixel; ReduceH: the same means; always on the same LUT).
//                   Smoothing never sees the held levels, the clear changes
//                   only what is written (never the hold), and a user pixel
//                   (never in a flat block) is never held.
// A flat block is one value in four cells: it takes its LUT from the top-left
// pixel's attribute byte and so its exemption too; the other three bytes are
// not consulted (a blank flat block whose top-left byte is 0 is cleared in
// all four cells even when another byte is 0x10). A non-flat block judges
// each pixel by its own samples and byte.
// ReduceH has no user-colour or under-white form: those tables hold a dummy
// in that slot, which the converter refuses to call.
#pragma once

#include "hxr/color/hxr_color_kernel_parts.h"
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_data.h"

#include <cstdint>
#include <type_traits>

namespace ovcg {

inline constexpr unsigned kCmykUser = 1;
inline constexpr unsigned kCmykUnderWhite = 2;
inline constexpr unsigned kCmykPatternD = 4;

// What a kernel without the PatternD feature holds of it.
struct CmykNoHold {};

// Attribute bits: a user-colour pixel; pixels exempt from the under-white clear.
inline constexpr uint32_t kCmykUserAttr = 0x04;
inline constexpr uint32_t kCmykExemptAttr = 0x14;

// The block steps of one call: what each walk hands over, converted.
template <int N, unsigned F>
class CmykBlocks {
public:
    using Lanes = InkLanes<N>;
    static constexpr int kWords = Lanes::kWords;
    static constexpr int kPairs = Lanes::kPairs;
    static constexpr bool kHold = (F & kCmykPatternD) != 0;
    using Pixel = LutPixel<4>;
    using Block = LutBlock<4>;

    // `clear` is an ink index below N (under-white only).
    CmykBlocks(const HXRLutData* const* luts, const void* aux, const InkRows<N>& rows, int32_t clear)
        : rows_(rows), pre_(luts[0]->preTable), user_(static_cast<const uint32_t*>(aux)), clear_(clear) {
        grid_[0] = luts[0]->grid;
        grid_[1] = luts[1]->grid;
        for (int k = 0; k < 2; ++k) {
            decode_[k] = luts[k]->decode;
            encode_[k] = luts[k]->encode;
        }
        // The clear ink's lane pair loses its byte; the others keep all.
        for (int j = 0; j < kPairs; ++j)
            clearMask_[j] = (F & kCmykUnderWhite) != 0 && j == clear / 2 ? ~(0xFFu << (16 * (clear & 1))) : ~0u;
        if constexpr (kHold) hold_ = PatternDHold<4>(luts);
    }

    // Normal: columns o and o + 1 of both rows.
    void block(uint32_t o, uint32_t r, const Block& b, bool, const LutRandom& x) {
        if (flat(b)) {
            const int lut = lut_choice(b.tl.attr);
            uint32_t m[4];
            means(b, x, m);
            uint32_t v[kPairs];
            four_nodes(m, lut, r, x, v);
            uint8_t levels[N];
            settle(m, b.tl.v, lut, x, true, v, levels);
            // One value for the four cells, cleared or not as one: like the
            // LUT choice, the exemption is the top-left pixel's.
            if constexpr ((F & kCmykUnderWhite) != 0) {
                if (blank(m) && (b.tl.attr & kCmykExemptAttr) == 0) levels[clear_] = 0;
            }
            put(0, o, levels, levels);
            put(1, o, levels, levels);
        } else {
            uint8_t codes[4][N];
            two_nodes(b.tl, r, x, codes[0]);
            two_nodes(b.tr, r, x, codes[1]);
            two_nodes(b.bl, r, x, codes[2]);
            two_nodes(b.br, r, x, codes[3]);
            put(0, o, codes[0], codes[1]);
            put(1, o, codes[2], codes[3]);
            memory_.forget();
        }
        rows_.put_intents(o, b);
    }

    // ExpandH2NxV2: columns o and o + 1 of row 0, the pixel as a flat block.
    void pair(uint32_t o, uint32_t r, const Pixel& p, const LutRandom& x) {
        const int lut = lut_choice(p.attr);
        uint32_t v[kPairs];
        four_nodes(p.v, lut, r, x, v);
        uint8_t levels[N];
        settle(p.v, p.v, lut, x, true, v, levels);
        if constexpr ((F & kCmykUnderWhite) != 0) {
            if (blank(p.v) && (p.attr & kCmykExemptAttr) == 0) levels[clear_] = 0;
        }
        put(0, o, levels, levels);
        if (rows_.intents) rows_.intent[0][o] = rows_.intent[0][o + 1] = static_cast<uint8_t>(p.attr);
    }

    // ReduceH: column o of both rows; Mean selects reduction method 1.
    template <bool Mean>
    void column(uint32_t o, uint32_t r, const Block& b, const LutRandom& x) {
        static_assert((F & ~kCmykPatternD) == 0, "the reduction has no user-colour or under-white form");
        if (is_flat(b)) {
            uint32_t m[4];
            means(b, x, m);
            const int lut = lut_choice(b.tl.attr);
            uint32_t v[kPairs];
            four_nodes(m, lut, r, x, v);
            uint8_t levels[N];
            settle(m, m, lut, x, false, v, levels);
            put_one(0, o, levels);
            put_one(1, o, levels);
        } else {
            uint8_t codes[4][N], top[N], bottom[N];
            two_nodes(b.tl, r, x, codes[0]);
            two_nodes(b.tr, r, x, codes[1]);
            two_nodes(b.bl, r, x, codes[2]);
            two_nodes(b.br, r, x, codes[3]);
            merge<Mean>(codes[0], codes[1], lut_choice(b.tl.attr), lut_choice(b.tr.attr), top);
            merge<Mean>(codes[2], codes[3], lut_choice(b.bl.attr), lut_choice(b.br.attr), bottom);
            put_one(0, o, top);
            put_one(1, o, bottom);
            memory_.forget();
        }
        if (rows_.intents) {
            rows_.intent[0][o] = static_cast<uint8_t>(b.tl.attr);
            rows_.intent[1][o] = static_cast<uint8_t>(b.bl.attr);
        }
    }

private:
    // Flat: the shared test, and with user colours no user pixel in the block.
    static bool flat(const Block& b) {
        if constexpr ((F & kCmykUser) != 0) {
            if (((b.tl.attr | b.tr.attr | b.bl.attr | b.br.attr) & kCmykUserAttr) != 0) return false;
        }
        return is_flat(b);
    }
    static bool blank(const uint32_t* v) { return (v[0] | v[1] | v[2] | v[3]) == 0; }

    // The four-pixel mean of each channel, rounded with rho.
    static void means(const Block& b, const LutRandom& x, uint32_t* m) {
        unrolled<4>([&](auto c) { m[c] = (b.tl.v[c] + b.tr.v[c] + b.bl.v[c] + b.br.v[c] + x.rho()) >> 2; });
    }

    // The node of grid positions p (pre-table values) at offset t in `lut`.
    const uint32_t* node(int lut, const uint32_t* p, uint32_t t) const {
        const uint32_t index = ((p[0] + t) >> 8) << 15 | ((p[1] + t) >> 8) << 10 | ((p[2] + t) >> 8) << 5 |
                               (p[3] + t) >> 8;
        return grid_[lut] + static_cast<size_t>(index) * kWords;
    }
    void positions(const uint32_t* v, uint32_t* p) const {
        unrolled<4>([&](auto c) { p[c] = pre_[v[c]]; });
    }

    // A flat look-up: levels v at r/4 + 0, 64, 128 and 192, averaged with delta.
    void four_nodes(const uint32_t* v, int lut, uint32_t r, const LutRandom& x, uint32_t* lanes) const {
        uint32_t p[4];
        positions(v, p);
        const uint32_t q = r >> 2;
        const uint32_t* a = node(lut, p, q);
        const uint32_t* b = node(lut, p, q + 64);
        const uint32_t* c = node(lut, p, q + 128);
        const uint32_t* d = node(lut, p, q + 192);
        unrolled<kPairs>([&](auto j) {
            lanes[j] = Lanes::quarter(Lanes::pair(a, j), Lanes::pair(b, j), Lanes::pair(c, j), Lanes::pair(d, j),
                                      x.delta());
        });
    }

    // The levels of a flat look-up of `input` (Normal, ReduceH: the means;
    // ExpandH2NxV2: the pixel): with `smooth`, blended with the previous flat
    // block when it is close to `ref` (Normal: the block's TL, ExpandH2NxV2:
    // the pixel) on the same LUT; then the PatternD hold; then this block is
    // remembered with its lanes before the hold and before any clear (ReduceH
    // remembers its means, for the hold only).
    void settle(const uint32_t* input, const uint32_t* ref, int lut, const LutRandom& x, bool smooth, uint32_t* v,
                uint8_t* levels) {
        if (smooth && memory_.smooths(ref, lut)) {
            unrolled<kPairs>([&](auto j) { v[j] = Lanes::average(memory_.lanes[j], v[j], x.gamma()); });
        }
        Lanes::unpack(v, levels);
        if constexpr (kHold) {
            hold_.apply(levels, lut, input, memory_, [this](int l, const uint32_t* in, uint32_t t) {
                uint32_t p[4];
                positions(in, p);
                return node(l, p, t);
            });
        }
        if (smooth || kHold) memory_.keep(ref, lut, v);
    }

    // A pixel by itself: its LUT at r/2 and r/2 + 128, averaged with beta; a
    // user pixel its entry (both looks would read it: the average is the
    // entry); then the clear of a blank, non-exempt pixel.
    void two_nodes(const Pixel& px, uint32_t r, const LutRandom& x, uint8_t* codes) const {
        if constexpr ((F & kCmykUser) != 0) {
            if ((px.attr & kCmykUserAttr) != 0) {
                Lanes::codes(user_ + static_cast<size_t>(px.v[3]) * kWords, codes);
                return;  // bit 2 exempts it from the clear as well
            }
        }
        uint32_t p[4];
        positions(px.v, p);
        const int lut = lut_choice(px.attr);
        const uint32_t h = r >> 1;
        const uint32_t* a = node(lut, p, h);
        const uint32_t* b = node(lut, p, h + 128);
        uint32_t v[kPairs];
        unrolled<kPairs>([&](auto j) { v[j] = Lanes::average(Lanes::pair(a, j), Lanes::pair(b, j), x.beta()); });
        if constexpr ((F & kCmykUnderWhite) != 0) {
            const uint32_t keep = blank(px.v) && (px.attr & kCmykExemptAttr) == 0 ? 0 : ~0u;
            unrolled<kPairs>([&](auto j) { v[j] &= clearMask_[j] | keep; });
        }
        Lanes::unpack(v, codes);
    }

    void put(int line, uint32_t o, const uint8_t* left, const uint8_t* right) const {
        unrolled<N>([&](auto k) {
            uint8_t* row = rows_.ink[k][line] + o;
            row[0] = left[k];
            row[1] = right[k];
        });
    }
    void put_one(int line, uint32_t o, const uint8_t* codes) const {
        unrolled<N>([&](auto k) { rows_.ink[k][line][o] = codes[k]; });
    }

    template <bool Mean>
    void merge(const uint8_t* a, const uint8_t* b, int lutA, int lutB, uint8_t* out) const {
        merge_codes<N, Mean>(a, b, decode_[lutA], decode_[lutB], encode_[lutA], out);
    }

    const InkRows<N>& rows_;
    const uint32_t* pre_;
    const uint32_t* user_;
    int32_t clear_;
    const uint32_t* grid_[2];
    const uint32_t* decode_[2];
    const uint32_t* encode_[2];
    uint32_t clearMask_[kPairs];
    FlatMemory<4, kPairs> memory_;
    [[no_unique_address]] std::conditional_t<kHold, PatternDHold<4>, CmykNoHold> hold_;
};

// The walk over one band with the features F: everything is inlined into it
// (flatten), since the pieces are small functions that the compiler would
// otherwise keep apart and call per pixel. `clear` is an ink below N when F
// has the under-white feature.
template <int N, class Walk, unsigned F>
[[gnu::flatten, gnu::noinline]] void CmykWalkBand(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink,
                                              uint32_t seed, uint32_t pixelOffset, uint32_t sampleBytes,
                                              int32_t scale, const uint8_t** planes, const uint8_t** attrs,
                                              uint32_t attrStride, int32_t start, int32_t end, int32_t clear) {
    static_assert((F & ~kCmykPatternD) == 0 || !std::is_same_v<Walk, ReduceWalk>,
                  "the reduction has no user-colour or under-white form");
    RunLutKernel<N, Walk, 4>(ink, seed, pixelOffset, sampleBytes, scale, planes, attrs, attrStride, start, end,
                             [&](const InkRows<N>& rows) { return CmykBlocks<N, F>(luts, aux, rows, clear); });
}

// One CMYK kernel: the common kernel call of hxr_color_kernel.h. Under-white
// is decided once per call: without a clear ink the band goes to the walk
// without the feature (the same code as the kernel without it).
template <int N, class Walk, unsigned F>
void CmykKernel(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,
                uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes,
                const uint8_t** attrs, uint32_t attrStride, int32_t start, int32_t end) {
    if constexpr ((F & kCmykUnderWhite) != 0) {
        const int32_t clear = HXRGetIntermClearPos(ink);
        if (clear < 0 || clear >= N) {
            CmykWalkBand<N, Walk, F & ~kCmykUnderWhite>(luts, aux, ink, seed, pixelOffset, sampleBytes, scale, planes,
                                                    attrs, attrStride, start, end, -1);
        } else {
            CmykWalkBand<N, Walk, F>(luts, aux, ink, seed, pixelOffset, sampleBytes, scale, planes, attrs, attrStride,
                                 start, end, clear);
        }
    } else {
        CmykWalkBand<N, Walk, F>(luts, aux, ink, seed, pixelOffset, sampleBytes, scale, planes, attrs, attrStride, start,
                             end, -1);
    }
}

}  // namespace ovcg

// Defines the named kernel `name` as CmykKernel<inks, walk, features>.
#define OVCG_CMYK_KERNEL(name, inks, walk, features)                                                                  \
    void name(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,               \
              uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes,                     \
              const uint8_t** attrs, uint32_t attrStride, int32_t start, int32_t end) {                              \
        ovcg::CmykKernel<inks, ovcg::walk, features>(luts, aux, ink, seed, pixelOffset, sampleBytes, scale, planes,  \
                                                     attrs, attrStride, start, end);                                 \
    }
