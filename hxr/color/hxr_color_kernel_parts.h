// The pieces every LUT colour kernel is built from, whatever its input
// dimension: the random generator and its node offsets, the lane pairs of a
// node, the pixel and block records with the flat test, the memory of the
// previous flat block that smoothing reads, the PatternD hold, the input
// cursor, the ink rows and the three walks over a band. A kernel family (RGB here, CMYK beside it)
// adds only what depends on its input: how a pixel finds its node and what a
// flat block looks up. Nothing here allocates, reports or keeps state beyond
// one call.
//
// Why the arithmetic is what it is:
//  - Nodes are never interpolated. A pixel's grid position (pre-table, in
//    1/256 node steps) plus a random offset 0..255, shifted down by 8, picks
//    one of the two neighbouring nodes, so the mean over many pixels follows
//    the fractional position. Offsets come from the top byte of the
//    generator x = x x 69069 + 62003, stepped once per block after the block;
//    the second block of every four output columns (ReduceH: of every two)
//    takes the first one's offset XOR 128, half a node away.
//  - Inks are averaged two at a time: a node word masked with 0x00FF00FF (or
//    shifted right by 8 first) holds two 8-bit codes 16 bits apart, and a sum
//    of at most four codes plus a rounding term below 4 never carries into the
//    other lane. Lane results equal the per-ink formulas exactly.
//  - Differences are bounded as (a - b + bound) <= 2 x bound in unsigned
//    arithmetic: both signs at once.
//  - Every offset into a plane is a pointer-width product; a 16-bit sample
//    (host order) is read as its one high byte, so no alignment is assumed.
#pragma once

#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_data.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace ovcg {

// f(0), f(1), ..., f(Count - 1), each index a compile-time constant: the
// loops over inks, lane pairs and channels written out, whatever the
// optimiser would decide.
template <int Count, class F>
[[gnu::always_inline]] inline void unrolled(F&& f) {
    [&]<int... I>(std::integer_sequence<int, I...>) {
        (f(std::integral_constant<int, I>{}), ...);
    }(std::make_integer_sequence<int, Count>{});
}

// ---------------------------------------------------------------- random

class LutRandom {
public:
    explicit LutRandom(uint32_t seed) : x_(seed), kept_((seed >> 24) & 0xFE) {}

    // The node offset of the block at output column o: a fresh even offset
    // (kept for the partner block) when (o & oddMask) is clear, else the kept
    // one XOR 128. Normal and ExpandH2NxV2 pass 2, ReduceH 1.
    uint32_t offset(uint32_t o, uint32_t oddMask) {
        if (o & oddMask) return kept_ ^ 0x80;
        kept_ = (x_ >> 24) & 0xFE;
        return kept_;
    }
    uint32_t rho() const { return (x_ >> 23) & 3; }    // rounds a four-pixel mean
    uint32_t beta() const { return (x_ >> 22) & 1; }   // rounds the two-node average
    uint32_t delta() const { return (x_ >> 21) & 3; }  // rounds a four-node average (CMYK)
    uint32_t gamma() const { return (x_ >> 20) & 1; }  // rounds the smoothing average
    uint32_t bits() const { return x_; }
    void step() { x_ = x_ * 69069u + 62003u; }

private:
    uint32_t x_;
    uint32_t kept_;
};

// ---------------------------------------------------------------- lanes

inline constexpr uint32_t kLaneMask = 0x00FF00FF;
inline constexpr uint32_t kLaneOne = 0x00010001;

// Node layout of N inks: W = ceil(N/4) words, ink k in word k/4 at bit
// shift 0, 16, 8, 24 for k mod 4 = 0..3; lane pair j (ceil(N/2) of them)
// holds inks 2j (bits 0-7) and 2j + 1 (bits 16-23).
template <int N>
struct InkLanes {
    static_assert(N >= 1 && N <= kHxrMaxInkNum);
    static constexpr int kWords = (N + 3) / 4;
    static constexpr int kPairs = (N + 1) / 2;

    static uint32_t pair(const uint32_t* node, int j) { return (node[j >> 1] >> (8 * (j & 1))) & kLaneMask; }
    static uint32_t code(const uint32_t* node, int k) {
        constexpr uint32_t kShift[4] = {0, 16, 8, 24};
        return (node[k >> 2] >> kShift[k & 3]) & 0xFF;
    }
    static uint32_t level(const uint32_t* lanes, int k) { return (lanes[k >> 1] >> (16 * (k & 1))) & 0xFF; }

    // v = (a + b + round) / 2 per lane: the two-node average, and smoothing.
    static uint32_t average(uint32_t a, uint32_t b, uint32_t round) {
        return ((a + b + round * kLaneOne) >> 1) & kLaneMask;
    }
    // v = (a + b + c + d + round) / 4 per lane: the four-node average.
    static uint32_t quarter(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t round) {
        return ((a + b + c + d + round * kLaneOne) >> 2) & kLaneMask;
    }
    static void unpack(const uint32_t* lanes, uint8_t* levels) {
        unrolled<N>([&](auto k) { levels[k] = static_cast<uint8_t>(level(lanes, k)); });
    }
    static void codes(const uint32_t* node, uint8_t* out) {
        unrolled<N>([&](auto k) { out[k] = static_cast<uint8_t>(code(node, k)); });
    }
};

// ---------------------------------------------------------------- blocks

// LUT choice of an attribute byte: 1 (LUT1) when bits 0-1 equal 1.
inline int lut_choice(uint32_t attr) { return (attr & 3) == 1 ? 1 : 0; }

inline bool near(uint32_t a, uint32_t b, uint32_t bound) { return a - b + bound <= 2 * bound; }

template <int C>
struct LutPixel {
    uint32_t v[C];  // channel levels 0..255
    uint32_t attr;  // attribute byte
};

// TL, TR on line 0 and BL, BR on line 1; a one-column block repeats TL as
// TR and BL as BR.
template <int C>
struct LutBlock {
    LutPixel<C> tl, tr, bl, br;
};

inline constexpr uint32_t kFlatBound = 25;

// Flat: per channel |TL - BR|, |TR - TL|, |TR - BL| <= 25 (the other pairs
// are not compared) and one LUT choice for all four pixels. For a one-column
// block this is |TL - BL| <= 25 and TL, BL on one LUT.
template <int C>
bool is_flat(const LutBlock<C>& b) {
    const int lut = lut_choice(b.tl.attr);
    if (lut_choice(b.tr.attr) != lut || lut_choice(b.bl.attr) != lut || lut_choice(b.br.attr) != lut) return false;
    bool flat = true;
    unrolled<C>([&](auto c) {
        flat &= near(b.tl.v[c], b.br.v[c], kFlatBound);
        flat &= near(b.tr.v[c], b.tl.v[c], kFlatBound);
        flat &= near(b.tr.v[c], b.bl.v[c], kFlatBound);
    });
    return flat;
}

// Smoothing bounds per channel (a fourth channel, CMYK's K, as the first).
inline constexpr uint32_t kSmoothBound[4] = {8, 8, 20, 8};

// What the walk remembers of the previous flat block: its reference levels
// (Normal: its TL pixel, ExpandH2NxV2: its pixel; a ReduceH feature may keep
// its means), its LUT choice and its final lane pairs. `flat` is false at the
// start of a call and after every non-flat block.
template <int C, int Pairs>
struct FlatMemory {
    bool flat = false;
    int lut = -1;
    uint32_t ref[C] = {};
    uint32_t lanes[Pairs] = {};

    // A flat block is smoothed with this one when it follows it directly, has
    // its LUT choice and reference levels within the smoothing bounds.
    bool smooths(const uint32_t* v, int lutChoice) const {
        if (!flat || lutChoice != lut) return false;
        bool close = true;
        unrolled<C>([&](auto c) { close &= near(v[c], ref[c], kSmoothBound[c]); });
        return close;
    }
    void keep(const uint32_t* v, int lutChoice, const uint32_t* final) {
        flat = true;
        lut = lutChoice;
        unrolled<C>([&](auto c) { ref[c] = v[c]; });
        unrolled<Pairs>([&](auto j) { lanes[j] = final[j]; });
    }
    void forget() {
        flat = false;
        lut = -1;
    }
};

// What a feature sees of a flat block beside its levels: the block input
// that was looked up (means, or the pixel itself), the TL pixel, its LUT
// choice and the previous flat block as it stood before this one.
template <int C, int Pairs>
struct FlatView {
    const uint32_t* input;
    const uint32_t* tl;
    int lut;
    const FlatMemory<C, Pairs>& previous;
};

// ---------------------------------------------------------------- PatternD

// The PatternD hold of a flat block (or an expanded pixel), shared by the RGB
// and CMYK kernels. After smoothing, the level of ink 0 and of ink 2 is light
// when it is not 0 and at most the pattern upper value of LUT channel 0 (ink
// 0) or 2 (ink 2) of the block's LUT. A light level is replaced by a held
// level, so that a light, even area keeps one steady level in those two inks
// instead of one that follows the random node offsets:
//  - the block repeats when the hold is on, the previous flat block chose the
//    same LUT and the levels this block looked up (`input`) equal the
//    previous flat block's reference levels; it takes the held levels;
//  - otherwise the held levels are computed afresh: the hold offset is
//    divided by Nodes (it starts at kStart), and held ink 0 and ink 2 are the
//    truncated means of the Nodes nodes of `input` at the hold offset plus
//    0, 256 / Nodes, ...: no random term, so the steady level does not
//    depend on the generator. RGB looks up two nodes (offsets 96, 48, 24,
//    ..., 1, then 0), CMYK four (16, 4, 1, then 0);
//  - neither ink light turns the hold off.
// A non-flat block needs no notice: the walk forgets the previous LUT choice
// with it, so no block repeats across it. The caller keeps the levels before
// the hold for smoothing, and remembers the block only after the hold.
template <int Nodes>
class PatternDHold {
    static_assert(Nodes == 2 || Nodes == 4);
    static constexpr int kShift = Nodes == 2 ? 1 : 2;

public:
    static constexpr int32_t kStart = Nodes == 2 ? 192 : 64;

    PatternDHold() = default;
    explicit PatternDHold(const HXRLutData* const* luts) {
        for (int k = 0; k < 2; ++k) {
            upper0_[k] = luts[k]->patternUpper[0];
            upper2_[k] = luts[k]->patternUpper[2];
        }
    }

    // `node(lut, input, t)` gives the node words of `input` at offset t.
    template <int C, int Pairs, class Node>
    void apply(uint8_t* levels, int lut, const uint32_t* input, const FlatMemory<C, Pairs>& previous, Node&& node) {
        const bool light0 = levels[0] != 0 && levels[0] <= upper0_[lut];
        const bool light2 = levels[2] != 0 && levels[2] <= upper2_[lut];
        if (!light0 && !light2) {
            on_ = false;
            return;
        }
        bool repeat = on_ && previous.lut == lut;
        unrolled<C>([&](auto c) { repeat &= input[c] == previous.ref[c]; });
        if (!repeat) {
            offset_ >>= kShift;
            uint32_t sum0 = 0, sum2 = 0;
            unrolled<Nodes>([&](auto i) {
                const uint32_t w = node(lut, input, static_cast<uint32_t>(offset_) + i * (256 / Nodes))[0];
                sum0 += w & 0xFF;
                sum2 += (w >> 8) & 0xFF;
            });
            held0_ = static_cast<uint8_t>(sum0 >> kShift);
            held2_ = static_cast<uint8_t>(sum2 >> kShift);
            on_ = true;
        }
        if (light0) levels[0] = held0_;
        if (light2) levels[2] = held2_;
    }

private:
    uint32_t upper0_[2] = {};
    uint32_t upper2_[2] = {};
    uint8_t held0_ = 0, held2_ = 0;
    int32_t offset_ = kStart;
    bool on_ = false;
};

// ---------------------------------------------------------------- input

// Byte of a host-order 16-bit sample that holds its high half.
inline constexpr size_t kHighByte = std::endian::native == std::endian::little ? 1 : 0;

// The sample and attribute pointers of `Lines` lines of C planes. Reads one
// byte per sample (the high byte at depth 2) at a running pointer-width
// offset; store() moves the caller's pointers to where the walk stopped.
template <int C, int Lines>
class PlaneCursor {
public:
    PlaneCursor(const uint8_t** planes, const uint8_t** attrs, uint32_t pixelOffset, uint32_t sampleBytes,
                uint32_t attrStride)
        : planes_(planes),
          attrs_(attrs),
          high_(sampleBytes == 2 ? kHighByte : 0),
          step_(size_t{pixelOffset} * sampleBytes),
          attrStep_(attrStride) {
        for (int l = 0; l < Lines; ++l) {
            for (int c = 0; c < C; ++c) s_[l][c] = planes[l * C + c] + high_;
            a_[l] = attrs[l];
        }
    }

    void advance(size_t pixels) {
        off_ += pixels * step_;
        attrOff_ += pixels * attrStep_;
    }
    // Pixel k (0 or 1) from the current one on line l.
    LutPixel<C> read(int l, size_t k) const {
        LutPixel<C> p;
        const size_t at = off_ + k * step_;
        unrolled<C>([&](auto c) { p.v[c] = s_[l][c][at]; });
        p.attr = a_[l][attrOff_ + k * attrStep_];
        return p;
    }
    void store() const {
        for (int l = 0; l < Lines; ++l) {
            for (int c = 0; c < C; ++c) planes_[l * C + c] = s_[l][c] - high_ + off_;
            attrs_[l] = a_[l] + attrOff_;
        }
    }

private:
    const uint8_t** planes_;
    const uint8_t** attrs_;
    const uint8_t* s_[Lines][C];
    const uint8_t* a_[Lines];
    size_t high_;
    size_t step_;
    size_t attrStep_;
    size_t off_ = 0;
    size_t attrOff_ = 0;
};

// ---------------------------------------------------------------- output

// The ink rows of N inks and the intent rows of the lines a walk writes.
// Intent bytes are copied only when every intent row fetched exists.
template <int N>
struct InkRows {
    uint8_t* ink[N][2] = {};
    uint8_t* intent[2] = {};
    bool intents = false;

    InkRows(const HXRIntermediateData* d, int lines) {
        for (int k = 0; k < N; ++k)
            for (int l = 0; l < lines; ++l) ink[k][l] = HXRGetInkQuantityBuf(d, k, static_cast<uint32_t>(l));
        intents = true;
        for (int l = 0; l < lines; ++l) {
            intent[l] = HXRGetIntentBuf(d, static_cast<uint32_t>(l));
            intents &= intent[l] != nullptr;
        }
    }
    // Normal: a block's attribute bytes at columns o and o + 1 of both lines.
    template <int C>
    void put_intents(uint32_t o, const LutBlock<C>& b) const {
        if (!intents) return;
        intent[0][o] = static_cast<uint8_t>(b.tl.attr);
        intent[0][o + 1] = static_cast<uint8_t>(b.tr.attr);
        intent[1][o] = static_cast<uint8_t>(b.bl.attr);
        intent[1][o + 1] = static_cast<uint8_t>(b.br.attr);
    }
};

// ---------------------------------------------------------------- walks

// The output columns [first, last) of one call; `run` false when the call
// writes nothing at all, not even its span (ReduceH with divisor 0).
struct KernelSpan {
    bool run;
    int64_t first;
    int64_t last;
};

// The three walks drive a body of the kernel family:
//   body.block(o, r, block, oneColumn, rnd)  Normal: columns o, o + 1 of two rows
//   body.pair(o, r, pixel, rnd)              ExpandH2NxV2: columns o, o + 1 of row 0
//   body.column(o, r, block, rnd)            ReduceH: column o of two rows
// with r the block's node offset and rnd the generator before its step.

// Two distinct lines at scale 1 or an integer scale. A counter q starts at
// the scale; a block is one column of the current pixel while q > 1 or at a
// lone last column, else two columns of this pixel and the next. q drops by 2
// per block; the input moves on after a two-column block, or a one-column
// block that leaves q <= 0: by two pixels at scale 1 (q += 2), else one
// (q += scale).
struct NormalWalk {
    static constexpr int kLines = 2;
    static KernelSpan span(int32_t start, int32_t end, int32_t scale) {
        return {true, int64_t{start} * scale, int64_t{end} * scale};
    }
    template <class Body, int C>
    static void run(Body& body, PlaneCursor<C, 2>& in, LutRandom& rnd, const KernelSpan& s, int32_t, int32_t,
                    int32_t scale, const HXRIntermediateData*) {
        const int64_t pixels = scale == 1 ? 2 : 1;
        int64_t q = scale;
        for (int64_t o = s.first; o < s.last; o += 2) {
            const uint32_t col = static_cast<uint32_t>(o);
            const uint32_t r = rnd.offset(col, 2);
            const bool one = q > 1 || o == s.last - 1;
            LutBlock<C> b;
            b.tl = in.read(0, 0);
            b.bl = in.read(1, 0);
            if (one) {
                b.tr = b.tl;
                b.br = b.bl;
            } else {
                b.tr = in.read(0, 1);
                b.br = in.read(1, 1);
            }
            q -= 2;
            if (!one || q <= 0) {
                in.advance(static_cast<size_t>(pixels));
                q += scale * pixels;
            }
            body.block(col, r, b, one, rnd);
            rnd.step();
        }
    }
};

// One line given twice at an even scale: each pixel is read once and fills
// scale / 2 column pairs of row 0. (An odd scale is never dispatched here.)
struct ExpandWalk {
    static constexpr int kLines = 1;
    static KernelSpan span(int32_t start, int32_t end, int32_t scale) { return NormalWalk::span(start, end, scale); }
    template <class Body, int C>
    static void run(Body& body, PlaneCursor<C, 1>& in, LutRandom& rnd, const KernelSpan&, int32_t start, int32_t end,
                    int32_t scale, const HXRIntermediateData*) {
        for (int64_t p = start; p < end; ++p) {
            const LutPixel<C> px = in.read(0, 0);
            in.advance(1);
            for (int64_t j = 0; j < scale; j += 2) {
                const uint32_t col = static_cast<uint32_t>(p * scale + j);
                body.pair(col, rnd.offset(col, 2), px, rnd);
                rnd.step();
            }
        }
    }
};

// 2:1 horizontal reduction: scale = divisor << 16 | multiplier; every output
// column takes the next two input pixels of both lines.
struct ReduceWalk {
    static constexpr int kLines = 2;
    static KernelSpan span(int32_t start, int32_t end, int32_t scale) {
        const int32_t d = scale >> 16, m = scale & 0xFFFF;
        if (d == 0) return {false, 0, 0};
        return {true, int64_t{start} * m / d, int64_t{end} * m / d};
    }
    template <class Body, int C>
    static void run(Body& body, PlaneCursor<C, 2>& in, LutRandom& rnd, const KernelSpan& s, int32_t, int32_t,
                    int32_t, const HXRIntermediateData* ink) {
        // The reduction method is the descriptor's, read once: one loop each.
        if (HXRGetReductionMethod(ink) != 0)
            columns<true>(body, in, rnd, s);
        else
            columns<false>(body, in, rnd, s);
    }

private:
    template <bool Mean, class Body, int C>
    static void columns(Body& body, PlaneCursor<C, 2>& in, LutRandom& rnd, const KernelSpan& s) {
        for (int64_t o = s.first; o < s.last; ++o) {
            const uint32_t col = static_cast<uint32_t>(o);
            const uint32_t r = rnd.offset(col, 1);
            const LutBlock<C> b = {in.read(0, 0), in.read(0, 1), in.read(1, 0), in.read(1, 1)};
            in.advance(2);
            body.template column<Mean>(col, r, b, rnd);
            rnd.step();
        }
    }
};

// ReduceH's merge of two pixels' codes per ink (TL with TR, or BL with BR):
// method 0 (a + b) >> 1; method 1 (Mean) the code of the mean decoded amount,
// each code decoded through its own pixel's LUT (decodeA, decodeB) and the
// mean re-encoded with the first pixel's (encodeA).
template <int N, bool Mean>
void merge_codes(const uint8_t* a, const uint8_t* b, const uint32_t* decodeA, const uint32_t* decodeB,
                 const uint32_t* encodeA, uint8_t* out) {
    if constexpr (Mean) {
        const uint32_t* decode[2] = {decodeA, decodeB};
        for (int k = 0; k < N; ++k) {
            const uint32_t pair[2] = {a[k], b[k]};
            out[k] = static_cast<uint8_t>(HXRGetMeanInkValueDecodeEncode(pair, decode, encodeA));
        }
    } else {
        unrolled<N>([&](auto k) { out[k] = static_cast<uint8_t>((a[k] + b[k]) >> 1); });
    }
}

// The frame of every kernel call: rows, span, start offsets, generator, walk,
// and the caller's pointers moved to where the walk stopped. `make` builds the
// family's body from the rows once the call will write.
template <int N, class Walk, int C, class Make>
void RunLutKernel(HXRIntermediateData* ink, uint32_t seed, uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale,
                  const uint8_t** planes, const uint8_t** attrs, uint32_t attrStride, int32_t start, int32_t end,
                  Make make) {
    const InkRows<N> rows(ink, Walk::kLines);
    const KernelSpan s = Walk::span(start, end, scale);
    if (!s.run) return;
    HXRSetWritingArea(ink, static_cast<int32_t>(s.first), static_cast<int32_t>(s.last));
    PlaneCursor<C, Walk::kLines> in(planes, attrs, pixelOffset, sampleBytes, attrStride);
    if (start > 0) in.advance(static_cast<size_t>(start));
    LutRandom rnd(seed);
    if (s.last > s.first) {
        auto body = make(rows);
        Walk::run(body, in, rnd, s, start, end, scale, ink);
    }
    in.store();
}

}  // namespace ovcg
