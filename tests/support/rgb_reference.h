// A slow, literal model of the RGB LUT kernels, for comparison byte for
// byte with the fast ones. It follows the kernels' description step by step:
// one block, one pixel and one ink at a time, codes taken out of the node
// words one by one, averages per ink (no lane words), 16-bit samples read as
// whole host-order values. It shares no code with the kernels.
//
// It is parametrised like the kernel template: the ink count and the walk
// at construction, the features through virtual hooks that the kernel
// families override (a pixel's codes, an extra flat condition, a stage on
// looked-up codes, a stage on a flat block's levels, the row writer, the
// non-flat notice, the start of a call). With no override it is the plain
// kernel; RgbUserReference and RgbWprintReference below are the user-colour
// and white-print kernels, RgbPatternDReference and
// RgbUserPatternDReference the PatternD ones.
//
// Choices the model shares with the kernels, where the descriptions leave
// room: ExpandH2NxV2 moves only line 0's pointers (the only ones it reads);
// the mean of reduction method 1 clamps its encode-table index at 255.
#pragma once

#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_lut_data.h"
#include "lut_reference_parts.h"
#include "hxr/control/hxr_value_settings.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovcg_test {

enum class RgbWalk { Normal, Expand, Reduce };

using InkCodes = std::array<uint32_t, 12>;

struct RefPixel {
    uint32_t level[3];
    uint32_t attr;
    int lut() const { return (attr & 3) == 1 ? 1 : 0; }
};

// What the model counted on its last run.
struct RefStats {
    uint64_t flat = 0, nonFlat = 0, smoothed = 0;
    uint64_t holdComputed = 0, holdRepeated = 0;  // PatternD hold
};

// The previous flat block as a flat block sees it.
struct RefPrevious {
    bool flat = false;       // the block before was flat (ReduceH: a flat block came since the last non-flat)
    uint32_t ref[3] = {};    // Normal: its TL; ExpandH2NxV2: its pixel; ReduceH: its means
    int lut = -1;
    InkCodes levels{};       // its final levels (after smoothing, before any levels stage)
};

struct RefFlatView {
    const uint32_t* input;  // the levels looked up: means, or the pixel
    const uint32_t* tl;
    int lut;
    const RefPrevious& previous;
};

class RgbReference {
public:
    RgbReference(int inks, RgbWalk walk) : n_(inks), walk_(walk) {}
    virtual ~RgbReference() = default;

    RefStats stats;

    // The common kernel call.
    void run(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,
             uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes, const uint8_t** attrs,
             uint32_t attrStride, int32_t start, int32_t end) {
        luts_[0] = luts[0];
        luts_[1] = luts[1];
        aux_ = aux;
        ink_ = ink;
        planes_ = planes;
        attrs_ = attrs;
        stride_ = pixelOffset;
        depth_ = sampleBytes;
        attrStride_ = attrStride;
        stats = {};
        previous_ = {};
        begin_call();
        const int lines = walk_ == RgbWalk::Expand ? 1 : 2;
        if (!call_.open(ink, n_, lines, walk_ == RgbWalk::Reduce, scale, start, end)) return;
        const int64_t first = call_.first, last = call_.last;
        if (start > 0) advance(lines, static_cast<size_t>(start));
        x_ = seed;
        kept_ = (seed >> 24) & 254;
        if (last <= first) return;
        switch (walk_) {
            case RgbWalk::Normal: normal(first, last, scale); break;
            case RgbWalk::Expand: expand(start, end, scale); break;
            case RgbWalk::Reduce: reduce(first, last); break;
        }
    }

protected:
    // ---- hooks (the plain kernel's behaviour)

    // The N codes of a pixel looked up singly at offset t.
    virtual InkCodes pixel_codes(const RefPixel& p, uint32_t t) { return lookup(p.lut(), p.level, t); }
    // A further condition for a block to be flat (TL, TR, BL, BR).
    virtual bool flat_extra(const RefPixel*) { return true; }
    // A stage on looked-up codes before they are averaged or written.
    virtual InkCodes stage_codes(int /*lut*/, const uint32_t* /*input*/, const InkCodes& codes) { return codes; }
    // A stage on a flat block's final levels before they are written.
    virtual void stage_levels(const RefFlatView&, InkCodes&) {}
    virtual void non_flat() {}
    // The start of every call, before anything is read or written.
    virtual void begin_call() {}
    // Ink k's code goes to column `column` of row `line`.
    virtual void write(int line, int64_t column, const InkCodes& codes) {
        for (int k = 0; k < n_; ++k) call_.rows[k][line][column] = static_cast<uint8_t>(codes[k]);
    }

    // ---- what hooks may use

    // Node of the levels at offset t in LUT `lut`: coordinate (pre[v] + t)
    // >> 8 of LUT0's pre-table per channel; ink k is the byte at shift 0, 16,
    // 8, 24 of node word k / 4.
    InkCodes lookup(int lut, const uint32_t* level, uint32_t t) const {
        const uint32_t* pre = luts_[0]->preTable;
        const uint32_t r = (pre[level[0]] + t) >> 8, g = (pre[level[1]] + t) >> 8, b = (pre[level[2]] + t) >> 8;
        const size_t node = (size_t{r} * 64 + g) * 64 + b;
        const size_t words = (static_cast<size_t>(n_) + 3) / 4;
        static constexpr uint32_t kShift[4] = {0, 16, 8, 24};
        InkCodes c{};
        for (int k = 0; k < n_; ++k) c[k] = (luts_[lut]->grid[node * words + k / 4] >> kShift[k % 4]) & 255;
        return c;
    }
    int inks() const { return n_; }
    const void* aux() const { return aux_; }
    uint8_t* ink_row(int k, int line) const { return call_.rows[k][line]; }
    const HXRLutData* lut(int k) const { return luts_[k]; }

private:
    static bool within(uint32_t a, uint32_t b, uint32_t bound) { return ref_within(a, b, bound); }

    uint32_t sample(int line, int c, size_t pixel) const {
        return ref_sample(planes_[line * 3 + c], pixel, stride_, depth_);
    }
    RefPixel read(int line, size_t pixel) const {
        RefPixel p;
        for (int c = 0; c < 3; ++c) p.level[c] = sample(line, c, pixel);
        p.attr = attrs_[line][pixel * attrStride_];
        return p;
    }
    void advance(int lines, size_t pixels) {
        ref_advance(planes_, attrs_, 3, lines, pixels, stride_, depth_, attrStride_);
    }
    // The node offset of the block at column o: fresh when (o & mask) is 0.
    uint32_t offset(int64_t o, uint32_t mask) { return ref_offset(x_, kept_, o, mask); }
    void step() { x_ = ref_next(x_); }

    bool flat_test(const RefPixel* q) {
        const RefPixel &tl = q[0], &tr = q[1], &bl = q[2], &br = q[3];
        for (int c = 0; c < 3; ++c) {
            if (!within(tl.level[c], br.level[c], 25) || !within(tr.level[c], tl.level[c], 25) ||
                !within(tr.level[c], bl.level[c], 25))
                return false;
        }
        if (tr.lut() != tl.lut() || bl.lut() != tl.lut() || br.lut() != tl.lut()) return false;
        return flat_extra(q);
    }

    // Flat-block steps: two lookups of `input` at h = r >> 1 and h + 128,
    // averaged per ink with beta; smoothed (gamma) when `smooth` allows it
    // and the previous flat block is close to `ref` on the same LUT.
    InkCodes flat_levels(const uint32_t* input, const uint32_t* tl, const uint32_t* ref, int lut, uint32_t r,
                         bool smooth) {
        const uint32_t beta = (x_ >> 22) & 1, gamma = (x_ >> 20) & 1;
        const InkCodes e1 = stage_codes(lut, input, lookup(lut, input, r >> 1));
        const InkCodes e2 = stage_codes(lut, input, lookup(lut, input, (r >> 1) + 128));
        InkCodes v{};
        for (int k = 0; k < n_; ++k) v[k] = (e1[k] + e2[k] + beta) >> 1;
        if (smooth && previous_.flat && within(ref[0], previous_.ref[0], 8) && within(ref[1], previous_.ref[1], 8) &&
            within(ref[2], previous_.ref[2], 20) && lut == previous_.lut) {
            for (int k = 0; k < n_; ++k) v[k] = (v[k] + previous_.levels[k] + gamma) >> 1;
            ++stats.smoothed;
        }
        InkCodes out = v;
        stage_levels(RefFlatView{input, tl, lut, previous_}, out);
        previous_.flat = true;
        for (int c = 0; c < 3; ++c) previous_.ref[c] = ref[c];
        previous_.lut = lut;
        previous_.levels = v;
        ++stats.flat;
        return out;
    }
    void means(const RefPixel* q, uint32_t* m) const {
        const uint32_t rho = (x_ >> 23) & 3;
        for (int c = 0; c < 3; ++c) m[c] = (q[0].level[c] + q[1].level[c] + q[2].level[c] + q[3].level[c] + rho) >> 2;
    }
    InkCodes single(const RefPixel& p, uint32_t r) { return stage_codes(p.lut(), p.level, pixel_codes(p, r)); }
    void broken() {
        previous_.flat = false;
        previous_.lut = -1;
        ++stats.nonFlat;
        non_flat();
    }

    void normal(int64_t first, int64_t last, int32_t scale) {
        int64_t q = scale;
        const size_t stepPixels = scale == 1 ? 2 : 1;
        for (int64_t o = first; o < last; o += 2) {
            const uint32_t r = offset(o, 2);
            const bool one = q > 1 || o == last - 1;
            RefPixel p[4];  // TL, TR, BL, BR
            p[0] = read(0, 0);
            p[2] = read(1, 0);
            p[1] = one ? p[0] : read(0, 1);
            p[3] = one ? p[2] : read(1, 1);
            q -= 2;
            if (!one || q <= 0) {
                advance(2, stepPixels);
                q += scale * static_cast<int64_t>(stepPixels);
            }
            if (flat_test(p)) {
                uint32_t m[3];
                means(p, m);
                const InkCodes v = flat_levels(m, p[0].level, p[0].level, p[0].lut(), r, true);
                write(0, o, v);
                write(0, o + 1, v);
                write(1, o, v);
                write(1, o + 1, v);
            } else {
                write(0, o, single(p[0], r));
                write(0, o + 1, single(p[1], r));
                write(1, o, single(p[2], r));
                write(1, o + 1, single(p[3], r));
                broken();
            }
            if (call_.intents) {
                call_.intent[0][o] = static_cast<uint8_t>(p[0].attr);
                call_.intent[0][o + 1] = static_cast<uint8_t>(p[1].attr);
                call_.intent[1][o] = static_cast<uint8_t>(p[2].attr);
                call_.intent[1][o + 1] = static_cast<uint8_t>(p[3].attr);
            }
            step();
        }
    }

    void expand(int32_t start, int32_t end, int32_t scale) {
        bool firstPair = true;
        for (int64_t px = start; px < end; ++px) {
            const int64_t base = px * scale;
            RefPixel p{};
            for (int64_t o = base; o < base + scale; o += 2) {
                if (o == base) {
                    p = read(0, 0);
                    advance(1, 1);
                }
                const uint32_t r = offset(o, 2);
                const InkCodes v = flat_levels(p.level, p.level, p.level, p.lut(), r, !firstPair);
                firstPair = false;
                write(0, o, v);
                write(0, o + 1, v);
                if (call_.intent[0]) call_.intent[0][o] = call_.intent[0][o + 1] = static_cast<uint8_t>(p.attr);
                step();
            }
        }
    }

    uint32_t merge(uint32_t a, uint32_t b, int lutA, int lutB) const {
        if (call_.method == 0) return (a + b) >> 1;
        return ref_mean_code(a, b, luts_[lutA]->decode, luts_[lutB]->decode, luts_[lutA]->encode);
    }

    void reduce(int64_t first, int64_t last) {
        for (int64_t o = first; o < last; ++o) {
            const uint32_t r = offset(o, 1);
            RefPixel p[4] = {read(0, 0), read(0, 1), read(1, 0), read(1, 1)};
            advance(2, 2);
            if (flat_test(p)) {
                uint32_t m[3];
                means(p, m);
                const InkCodes v = flat_levels(m, p[0].level, m, p[0].lut(), r, false);
                write(0, o, v);
                write(1, o, v);
            } else {
                const InkCodes tl = single(p[0], r), tr = single(p[1], r), bl = single(p[2], r),
                               br = single(p[3], r);
                InkCodes top{}, bottom{};
                for (int k = 0; k < n_; ++k) {
                    top[k] = merge(tl[k], tr[k], p[0].lut(), p[1].lut());
                    bottom[k] = merge(bl[k], br[k], p[2].lut(), p[3].lut());
                }
                write(0, o, top);
                write(1, o, bottom);
                broken();
            }
            if (call_.intents) {
                call_.intent[0][o] = static_cast<uint8_t>(p[0].attr);
                call_.intent[1][o] = static_cast<uint8_t>(p[2].attr);
            }
            step();
        }
    }

    int n_;
    RgbWalk walk_;
    const HXRLutData* luts_[2] = {};
    const void* aux_ = nullptr;
    HXRIntermediateData* ink_ = nullptr;
    const uint8_t** planes_ = nullptr;
    const uint8_t** attrs_ = nullptr;
    size_t stride_ = 0, depth_ = 1, attrStride_ = 0;
    RefCallArea call_;
    uint32_t x_ = 0, kept_ = 0;
    RefPrevious previous_;
};

// The user-colour kernels (Normal walk): a pixel whose attribute has bit 2
// set takes its codes from user-table entry B (its third level), byte by
// byte out of the entry's words, with no offset and no LUT; a block with such
// a pixel is never flat.
class RgbUserReference : public RgbReference {
public:
    explicit RgbUserReference(int inks) : RgbReference(inks, RgbWalk::Normal) {}

protected:
    InkCodes pixel_codes(const RefPixel& p, uint32_t t) override {
        if ((p.attr & 4) == 0) return RgbReference::pixel_codes(p, t);
        const uint32_t* table = static_cast<const uint32_t*>(aux());
        const size_t words = (static_cast<size_t>(inks()) + 3) / 4;
        const uint32_t* entry = table + p.level[2] * words;
        static constexpr uint32_t kShift[4] = {0, 16, 8, 24};
        InkCodes c{};
        for (int k = 0; k < inks(); ++k) c[k] = (entry[k / 4] >> kShift[k % 4]) & 255;
        return c;
    }
    bool flat_extra(const RefPixel* q) override {
        for (int i = 0; i < 4; ++i)
            if (q[i].attr & 4) return false;
        return true;
    }
};

// The white-print kernels (Normal and ExpandH2NxV2 walks), aux the
// parameter block. Every looked-up node's codes go through the stage when
// the info flags are not 0: decode, W amount (flag bit 0), reduction by the
// peak of the looked-up levels (flag bit 1), encode; the writer keeps codes
// by output mode. Written as the description reads, in 64-bit integers:
// t = max(upper - S, lower), the scaled bounds as limits, the curve index
// (255 P + range / 2) / range; amounts above 65535 encode as 65535. A W
// channel outside the inks is no W channel; a reduction flag without both
// curves no reduction.
class RgbWprintReference : public RgbReference {
public:
    RgbWprintReference(int inks, RgbWalk walk) : RgbReference(inks, walk) {}

protected:
    const HXRColorCvtWPrintParam& param() const { return *static_cast<const HXRColorCvtWPrintParam*>(aux()); }
    int white() const {
        const int w = param().wChannel;
        return w >= 0 && w < inks() ? w : -1;
    }

    InkCodes stage_codes(int lutIndex, const uint32_t* input, const InkCodes& codes) override {
        const HXRColorCvtWPrintParam& p = param();
        if (p.infoFlags == 0) return codes;
        const HXRLutData* table = lut(lutIndex);
        const int w = white();
        std::array<uint64_t, 12> amount{};
        for (int k = 0; k < inks(); ++k) amount[k] = table->decode[codes[k]];
        if ((p.infoFlags & 1) && w >= 0) {
            uint64_t sum = 0;
            for (int k = 0; k < inks(); ++k) sum += std::min<uint64_t>(p.cap[k], amount[k] * p.weight[k]);
            const int64_t t = std::max<int64_t>(int64_t{p.upperBound} - int64_t(sum), int64_t{p.lowerBound});
            uint64_t v = uint64_t(t) * p.factor;
            if (v > p.scaledUpperBound) v = p.scaledUpperBound;
            else if (v < p.scaledLowerBound) v = p.scaledLowerBound;
            amount[w] = (v + 2048) >> 12;
        }
        const uint32_t peak = std::max(input[0], std::max(input[1], input[2]));
        if ((p.infoFlags & 2) && p.colourCurve && p.wCurve && int64_t{peak} <= int64_t{p.reductionRange}) {
            uint64_t colour = 0, whiteFactor = 0;
            if (p.reductionRange != 0) {
                const uint64_t i = (uint64_t{peak} * 255 + uint64_t(p.reductionRange) / 2) / uint64_t(p.reductionRange);
                colour = p.colourCurve[i];
                whiteFactor = p.wCurve[i];
            }
            for (int k = 0; k < inks(); ++k) amount[k] = (amount[k] * (k == w ? whiteFactor : colour) + 2048) >> 12;
        }
        InkCodes out{};
        const uint32_t* e = table->encode;
        for (int k = 0; k < inks(); ++k) {
            const uint64_t a = std::min<uint64_t>(amount[k], 65535);
            const uint32_t i = uint32_t(a >> 8), f = uint32_t(a & 255);
            out[k] = (e[i] + (((e[i + 1] - e[i]) * f) >> 8) + 16) >> 5;
        }
        return out;
    }

    void write(int line, int64_t column, const InkCodes& codes) override {
        const int w = white();
        switch (param().outputMode) {
            case 2: RgbReference::write(line, column, codes); break;
            case 1:
                RgbReference::write(line, column, codes);
                if (w >= 0) ink_row(w, line)[column] = 0;
                break;
            case 0:
                for (int k = 0; k < inks(); ++k) ink_row(k, line)[column] = 0;
                if (w >= 0) ink_row(w, line)[column] = static_cast<uint8_t>(codes[w]);
                break;
            default: break;  // no ink row
        }
    }
};

// The PatternD hold over the plain or the user-colour model, as it reads:
// in a flat block, after smoothing, ink 0 is light when its level is not 0
// and at most pattern upper value 0 of the block's LUT, ink 2 likewise with
// value 2. Neither light: the hold goes off. Otherwise the block repeats
// when the hold is on, the previous flat block chose the same LUT and the
// block's looked-up levels (means, or the expanded pixel) equal that
// block's remembered levels (Normal: its TL; ExpandH2NxV2: its pixel;
// ReduceH: its means); a repeating block takes the held levels, any other
// first halves the hold offset (192 at the start of the call) and takes as
// held levels the truncated means of ink 0 and of ink 2 of the nodes at the
// hold offset and the hold offset + 128. Each light ink takes its held
// level; the hold is then on. A non-flat block turns it off.
template <class Model>
class RgbPatternDHold : public Model {
public:
    using Model::Model;

protected:
    void begin_call() override {
        on_ = false;
        offset_ = 192;
        held0_ = held2_ = 0;
        Model::begin_call();
    }
    void stage_levels(const RefFlatView& v, InkCodes& levels) override {
        const HXRLutData* table = this->lut(v.lut);
        const bool light0 = levels[0] != 0 && levels[0] <= table->patternUpper[0];
        const bool light2 = levels[2] != 0 && levels[2] <= table->patternUpper[2];
        if (!light0 && !light2) {
            on_ = false;
            return;
        }
        const bool repeat = on_ && v.lut == v.previous.lut && v.input[0] == v.previous.ref[0] &&
                            v.input[1] == v.previous.ref[1] && v.input[2] == v.previous.ref[2];
        if (repeat) {
            ++this->stats.holdRepeated;
        } else {
            offset_ = offset_ / 2;
            const InkCodes a = this->lookup(v.lut, v.input, uint32_t(offset_));
            const InkCodes b = this->lookup(v.lut, v.input, uint32_t(offset_) + 128);
            held0_ = (a[0] + b[0]) / 2;
            held2_ = (a[2] + b[2]) / 2;
            ++this->stats.holdComputed;
        }
        on_ = true;
        if (light0) levels[0] = held0_;
        if (light2) levels[2] = held2_;
    }
    void non_flat() override {
        on_ = false;
        Model::non_flat();
    }

private:
    bool on_ = false;
    int offset_ = 192;
    uint32_t held0_ = 0, held2_ = 0;
};

// PatternD forms: every walk over the plain model, and the user-colour form
// (Normal walk).
using RgbPatternDReference = RgbPatternDHold<RgbReference>;
using RgbUserPatternDReference = RgbPatternDHold<RgbUserReference>;

}  // namespace ovcg_test
