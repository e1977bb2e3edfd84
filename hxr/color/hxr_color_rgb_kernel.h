// The one RGB (three-channel) LUT kernel: RgbKernel<N, Walk, Features> is
// every 3D kernel of the tables, for N inks, a walk (NormalWalk,
// ExpandWalk, ReduceWalk: hxr_color_kernel_parts.h) and a feature policy.
// The named kernels (hxr_color_rgb_kernels.h) are its instantiations; the
// converter picks one per job and band, so nothing here tests a variant per
// pixel.
//
// What a call does on a band (contract: hxr_color_kernel.h):
//  Normal, per block at output column o (two columns, two rows): the offset
//   r (o & 2 picks fresh or kept XOR 128); flat blocks take the means
//   m = (TL + TR + BL + BR + rho) >> 2 of each channel, look m up at r/2 and
//   r/2 + 128 in the LUT of TL, average the two nodes per lane pair with
//   beta, smooth with the previous flat block (its TL within 8, 8, 20 of this
//   TL, same LUT choice) with gamma and write one level per ink to all four
//   cells; other blocks look each pixel up at r in its own LUT. A lone last
//   column (odd column count) also writes column end x scale.
//  ExpandH2NxV2, per column pair of row 0: the pixel itself looked up twice
//   and averaged as a flat block without rho; every pair but the call's first
//   is smoothed against the pair before it.
//  ReduceH, per output column (one column, two rows): flat blocks as Normal
//   without smoothing; other blocks merge TL with TR and BL with BR per ink,
//   method 0 (a + b) >> 1, method 1 the code of the mean decoded amount,
//   re-encoded with the first pixel's LUT.
// Every pixel's grid position comes from LUT0's pre-table, whichever LUT
// holds its node. rho, beta and gamma are bits of x before the block's step.
//
// Features. A policy is a struct with the static members of RgbPlain below;
// a family (hxr_color_rgb_families.h) derives from RgbPlain and hides what it
// changes:
//  State          per-call state, made by begin(luts, aux)
//  pixel_node     the node of a pixel looked up singly (grid or user entry)
//  flat_extra     a condition a flat block must also meet
//  stage_node     a stage on a looked-up node before lane averaging (or code
//                 extraction); may write its result to `scratch`
//  stage_levels   a stage on a flat block's unpacked levels, after smoothing
//                 and before the write, with the walk's view of the block
//                 and of the previous flat block
//  non_flat       told of every non-flat block
//  put_pair/put_one  the row writer: N codes at one or two columns of a row
// kKeepsReduceMemory makes ReduceH remember each flat block (means, LUT)
// for stage_levels; plain ReduceH keeps nothing.
#pragma once

#include "hxr/color/hxr_color_kernel_parts.h"
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_data.h"

#include <cstdint>

namespace ovcg {

// The plain kernels: grid nodes only, no stage, every ink row written. Every
// hook takes the family's State as a template parameter, so a family that
// brings its own State still inherits the hooks it does not replace.
struct RgbPlain {
    struct State {};
    static State begin(const HXRLutData* const*, const void*) { return {}; }

    template <class S, class Blocks>
    static const uint32_t* pixel_node(const S&, const Blocks& b, const LutPixel<3>& p, uint32_t offset) {
        return b.grid_node(lut_choice(p.attr), p.v, offset);
    }
    template <class S>
    static bool flat_extra(const S&, const LutBlock<3>&) {
        return true;
    }
    template <class S>
    static const uint32_t* stage_node(S&, int /*lut*/, const uint32_t* /*input*/, const uint32_t* node,
                                      uint32_t* /*scratch*/) {
        return node;
    }
    template <class S, class Blocks, class View>
    static void stage_levels(S&, const Blocks&, const View&, uint8_t* /*levels*/) {}
    template <class S>
    static void non_flat(S&) {}
    static constexpr bool kKeepsReduceMemory = false;

    template <int N, class S>
    static void put_pair(const S&, const InkRows<N>& rows, int line, uint32_t o, const uint8_t* left,
                         const uint8_t* right) {
        unrolled<N>([&](auto k) {
            uint8_t* row = rows.ink[k][line] + o;
            row[0] = left[k];
            row[1] = right[k];
        });
    }
    template <int N, class S>
    static void put_one(const S&, const InkRows<N>& rows, int line, uint32_t o, const uint8_t* codes) {
        unrolled<N>([&](auto k) { rows.ink[k][line][o] = codes[k]; });
    }
};

// The block steps of one call: what each walk hands over, converted.
template <int N, class F>
class RgbBlocks {
public:
    using Lanes = InkLanes<N>;
    static constexpr int kWords = Lanes::kWords;
    static constexpr int kPairs = Lanes::kPairs;
    using Pixel = LutPixel<3>;
    using Block = LutBlock<3>;
    using Memory = FlatMemory<3, kPairs>;
    using View = FlatView<3, kPairs>;

    RgbBlocks(const HXRLutData* const* luts, const void* aux, const InkRows<N>& rows)
        : rows_(rows), pre_(luts[0]->preTable), state_(F::begin(luts, aux)) {
        for (int k = 0; k < 2; ++k) {
            grid_[k] = luts[k]->grid;
            decode_[k] = luts[k]->decode;
            encode_[k] = luts[k]->encode;
        }
    }

    // The node of levels v at offset t in LUT `lut`: coordinate
    // (pre[v] + t) >> 8 per channel, red outermost.
    const uint32_t* grid_node(int lut, const uint32_t* v, uint32_t t) const {
        const uint32_t index = ((pre_[v[0]] + t) >> 8) << 12 | ((pre_[v[1]] + t) >> 8) << 6 | (pre_[v[2]] + t) >> 8;
        return grid_[lut] + static_cast<size_t>(index) * kWords;
    }

    // Normal: columns o and o + 1 of both rows.
    void block(uint32_t o, uint32_t r, const Block& b, bool, const LutRandom& x) {
        const int lut = lut_choice(b.tl.attr);
        if (is_flat(b) && F::flat_extra(state_, b)) {
            uint32_t m[3];
            means(b, x, m);
            uint8_t levels[N];
            flat(m, b.tl.v, b.tl.v, lut, r, x, true, levels);
            F::template put_pair<N>(state_, rows_, 0, o, levels, levels);
            F::template put_pair<N>(state_, rows_, 1, o, levels, levels);
        } else {
            uint8_t codes[4][N];
            single(b.tl, r, codes[0]);
            single(b.tr, r, codes[1]);
            single(b.bl, r, codes[2]);
            single(b.br, r, codes[3]);
            F::template put_pair<N>(state_, rows_, 0, o, codes[0], codes[1]);
            F::template put_pair<N>(state_, rows_, 1, o, codes[2], codes[3]);
            memory_.forget();
            F::non_flat(state_);
        }
        rows_.put_intents(o, b);
    }

    // ExpandH2NxV2: columns o and o + 1 of row 0, the pixel as a flat block.
    void pair(uint32_t o, uint32_t r, const Pixel& p, const LutRandom& x) {
        uint8_t levels[N];
        flat(p.v, p.v, p.v, lut_choice(p.attr), r, x, true, levels);
        F::template put_pair<N>(state_, rows_, 0, o, levels, levels);
        if (rows_.intents) rows_.intent[0][o] = rows_.intent[0][o + 1] = static_cast<uint8_t>(p.attr);
    }

    // ReduceH: column o of both rows; Mean selects reduction method 1.
    template <bool Mean>
    void column(uint32_t o, uint32_t r, const Block& b, const LutRandom& x) {
        const int lut = lut_choice(b.tl.attr);
        if (is_flat(b) && F::flat_extra(state_, b)) {
            uint32_t m[3];
            means(b, x, m);
            uint8_t levels[N];
            flat(m, b.tl.v, m, lut, r, x, false, levels);
            F::template put_one<N>(state_, rows_, 0, o, levels);
            F::template put_one<N>(state_, rows_, 1, o, levels);
        } else {
            uint8_t codes[4][N], top[N], bottom[N];
            single(b.tl, r, codes[0]);
            single(b.tr, r, codes[1]);
            single(b.bl, r, codes[2]);
            single(b.br, r, codes[3]);
            merge<Mean>(codes[0], codes[1], lut, lut_choice(b.tr.attr), top);
            merge<Mean>(codes[2], codes[3], lut_choice(b.bl.attr), lut_choice(b.br.attr), bottom);
            F::template put_one<N>(state_, rows_, 0, o, top);
            F::template put_one<N>(state_, rows_, 1, o, bottom);
            memory_.forget();
            F::non_flat(state_);
        }
        if (rows_.intents) {
            rows_.intent[0][o] = static_cast<uint8_t>(b.tl.attr);
            rows_.intent[1][o] = static_cast<uint8_t>(b.bl.attr);
        }
    }

private:
    // The four-pixel mean of each channel, rounded with rho.
    static void means(const Block& b, const LutRandom& x, uint32_t* m) {
        unrolled<3>([&](auto c) { m[c] = (b.tl.v[c] + b.tr.v[c] + b.bl.v[c] + b.br.v[c] + x.rho()) >> 2; });
    }

    // A flat block: `input` looked up at r/2 and r/2 + 128, averaged with
    // beta; with `smooth`, blended with the previous flat block when `ref`
    // (the levels a walk remembers: Normal TL, ExpandH2NxV2 the pixel,
    // ReduceH the means) and the LUT choice allow. The memory then holds this
    // block; ReduceH keeps it only for a feature that asks.
    void flat(const uint32_t* input, const uint32_t* tl, const uint32_t* ref, int lut, uint32_t r,
              const LutRandom& x, bool smooth, uint8_t* levels) {
        const uint32_t h = r >> 1;
        uint32_t scratch[2][kWords];
        const uint32_t* a = F::stage_node(state_, lut, input, grid_node(lut, input, h), scratch[0]);
        const uint32_t* e = F::stage_node(state_, lut, input, grid_node(lut, input, h + 128), scratch[1]);
        uint32_t v[kPairs];
        unrolled<kPairs>([&](auto j) { v[j] = Lanes::average(Lanes::pair(a, j), Lanes::pair(e, j), x.beta()); });
        if (smooth && memory_.smooths(ref, lut)) {
            unrolled<kPairs>([&](auto j) { v[j] = Lanes::average(v[j], memory_.lanes[j], x.gamma()); });
        }
        Lanes::unpack(v, levels);
        F::stage_levels(state_, *this, View{input, tl, lut, memory_}, levels);
        if (smooth || F::kKeepsReduceMemory) memory_.keep(ref, lut, v);
    }

    // A pixel looked up singly at offset r.
    void single(const Pixel& p, uint32_t r, uint8_t* codes) {
        uint32_t scratch[kWords];
        const uint32_t* node = F::stage_node(state_, lut_choice(p.attr), p.v, F::pixel_node(state_, *this, p, r),
                                             scratch);
        Lanes::codes(node, codes);
    }

    // TL with TR (or BL with BR): the plain average, or the code of the mean
    // decoded amount re-encoded with the first pixel's LUT.
    template <bool Mean>
    void merge(const uint8_t* a, const uint8_t* b, int lutA, int lutB, uint8_t* out) const {
        merge_codes<N, Mean>(a, b, decode_[lutA], decode_[lutB], encode_[lutA], out);
    }

    const InkRows<N>& rows_;
    const uint32_t* pre_;
    const uint32_t* grid_[2];
    const uint32_t* decode_[2];
    const uint32_t* encode_[2];
    typename F::State state_;
    Memory memory_;
};

// One RGB kernel: the common kernel call of hxr_color_kernel.h. The whole
// walk is inlined into it (flatten): the pieces are small functions that the
// compiler would otherwise keep apart and call per pixel.
template <int N, class Walk, class F>
[[gnu::flatten]] void RgbKernel(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,
               uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes,
               const uint8_t** attrs, uint32_t attrStride, int32_t start, int32_t end) {
    RunLutKernel<N, Walk, 3>(ink, seed, pixelOffset, sampleBytes, scale, planes, attrs, attrStride, start, end,
                             [&](const InkRows<N>& rows) { return RgbBlocks<N, F>(luts, aux, rows); });
}

}  // namespace ovcg

// Defines the named kernel `name` as one instantiation: `call` is the
// template to forward the common kernel call to.
#define OVCG_RGB_KERNEL(name, call)                                                                                   \
    void name(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,               \
              uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes,                     \
              const uint8_t** attrs, uint32_t attrStride, int32_t start, int32_t end) {                              \
        call(luts, aux, ink, seed, pixelOffset, sampleBytes, scale, planes, attrs, attrStride, start, end);          \
    }
