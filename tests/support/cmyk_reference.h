// A slow, literal model of the CMYK LUT kernels, for comparison byte for
// byte with the fast ones. It follows the kernels' description step by step:
// one block, one pixel and one ink at a time, codes taken out of the node
// words one by one, averages per ink (no lane words), 16-bit samples read as
// whole host-order values, the node index as g0 x 32768 + g1 x 1024 +
// g2 x 32 + g3. It shares no code with the kernels.
//
// It is parametrised like the kernel template: the ink count, the walk and
// the features (user colour, under-white, PatternD) at construction.
//
// The PatternD hold, as it reads: after smoothing, the level of ink 0 (ink
// 2) of a flat block or expanded pair is light when it lies in 1 .. the
// pattern upper value of channel 0 (2) of the block's LUT. Neither light:
// the hold flag goes to 0. Otherwise the block repeats when the flag is 1,
// the previous flat block chose the same LUT, and the looked-up levels (the
// means; ExpandH2NxV2 the pixel) equal that block's remembered levels (its
// first pixel; ExpandH2NxV2 its pixel; ReduceH its means). A block that does
// not repeat quarters the hold offset (64 at the start of the call) and
// takes as held levels the truncated means of ink 0 and ink 2 of the four
// reads at the hold offset + 0, 64, 128 and 192; the flag is then 1. Each
// light ink takes its held level. A non-flat block sets the flag to 0. The
// smoothing result is remembered before the hold, and the clear comes after
// it.
//
// Choices the model shares with the kernels, where the descriptions leave
// room or had to be mended: ExpandH2NxV2 moves only line 0's pointers (the
// only ones it reads); the mean of reduction method 1 clamps its encode-table
// index at 255; a clear position outside 0..N-1 clears nothing.
//
// A blank flat block (four means 0) clears the under-white ink in all four
// cells unless the top-left pixel's attribute byte exempts it; the other
// three bytes are not consulted.
#pragma once

#include "hxr/color/hxr_interm.h"
#include "hxr/control/hxr_lut_data.h"
#include "lut_reference_parts.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace ovcg_test {

enum class CmykWalk { Normal, Expand, Reduce };

struct CmykFeatures {
    bool user = false;
    bool underWhite = false;
    bool patternD = false;
};

// What the model counted on its last run.
struct CmykStats {
    uint64_t flat = 0, nonFlat = 0, smoothed = 0, userPixels = 0, cleared = 0;
    uint64_t holdComputed = 0, holdRepeated = 0;
};

class CmykReference {
public:
    CmykReference(int inks, CmykWalk walk, CmykFeatures features = {}) : n_(inks), walk_(walk), f_(features) {}

    CmykStats stats;

    // The common kernel call.
    void run(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,
             uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes, const uint8_t** attrs,
             uint32_t attrStride, int32_t start, int32_t end) {
        lut_[0] = luts[0];
        lut_[1] = luts[1];
        user_ = static_cast<const uint32_t*>(aux);
        planes_ = planes;
        attrs_ = attrs;
        stride_ = pixelOffset;
        depth_ = sampleBytes;
        attrStride_ = attrStride;
        stats = {};
        chain_ = false;
        for (int64_t& r : remembered_) r = -9;
        rememberedLut_ = -1;
        holdFlag_ = false;
        held_[0] = held_[1] = 0;
        holdOffset_ = 64;
        const int lines = walk_ == CmykWalk::Expand ? 1 : 2;
        if (!call_.open(ink, n_, lines, walk_ == CmykWalk::Reduce, scale, start, end)) return;
        const int64_t first = call_.first, last = call_.last;
        clear_ = -1;
        if (f_.underWhite) {
            const int32_t p = HXRGetIntermClearPos(ink);
            clear_ = p >= 0 && p < n_ ? p : -1;
        }
        if (start > 0) advance(lines, static_cast<size_t>(start));
        x_ = seed;
        kept_ = (seed >> 24) & 254;
        if (last <= first) return;
        switch (walk_) {
            case CmykWalk::Normal: normal(first, last, scale); break;
            case CmykWalk::Expand: expand(start, end, scale); break;
            case CmykWalk::Reduce: reduce(first, last); break;
        }
    }

private:
    using Codes = std::array<uint32_t, 12>;

    struct Pixel {
        uint32_t a[4];
        uint32_t t;
        int lut() const { return (t & 3) == 1 ? 1 : 0; }
        bool blank() const { return a[0] == 0 && a[1] == 0 && a[2] == 0 && a[3] == 0; }
        bool exempt() const { return (t & 0x14) != 0; }
    };

    static bool within(int64_t a, int64_t b, int64_t bound) { return ref_within(a, b, bound); }

    Pixel read(int line, size_t pixel) const {
        Pixel p;
        for (int c = 0; c < 4; ++c) p.a[c] = ref_sample(planes_[line * 4 + c], pixel, stride_, depth_);
        p.t = attrs_[line][pixel * attrStride_];
        return p;
    }
    void advance(int lines, size_t pixels) {
        ref_advance(planes_, attrs_, 4, lines, pixels, stride_, depth_, attrStride_);
    }
    uint32_t offset(int64_t o, uint32_t mask) { return ref_offset(x_, kept_, o, mask); }
    void step() { x_ = ref_next(x_); }

    // Ink k of word (k / 4) at shift 0, 16, 8, 24 for k mod 4 = 0..3.
    static uint32_t byte_of(const uint32_t* words, int k) {
        static constexpr uint32_t kShift[4] = {0, 16, 8, 24};
        return (words[k / 4] >> kShift[k % 4]) & 255;
    }
    size_t words() const { return (static_cast<size_t>(n_) + 3) / 4; }

    // node(T, o, u): coordinate (pre[u_c] + o) >> 8 on LUT0's pre-table.
    Codes node(int lut, const uint32_t* u, uint32_t o) const {
        const uint32_t* pre = lut_[0]->preTable;
        uint32_t g[4];
        for (int c = 0; c < 4; ++c) g[c] = (pre[u[c]] + o) >> 8;
        const size_t index = size_t{g[0]} * 32768 + size_t{g[1]} * 1024 + size_t{g[2]} * 32 + g[3];
        Codes v{};
        for (int k = 0; k < n_; ++k) v[k] = byte_of(lut_[lut]->grid + index * words(), k);
        return v;
    }

    // A pixel by itself: two reads, averaged with b = (x >> 22) & 1. A user
    // pixel's two reads are both its entry of the user table.
    Codes pixel_codes(const Pixel& p, uint32_t r) {
        const uint32_t b = (x_ >> 22) & 1;
        Codes v{};
        if (f_.user && (p.t & 4) != 0) {
            ++stats.userPixels;
            const uint32_t* entry = user_ + size_t{p.a[3]} * words();
            for (int k = 0; k < n_; ++k) v[k] = (byte_of(entry, k) + byte_of(entry, k) + b) >> 1;
            return v;
        }
        const Codes a = node(p.lut(), p.a, r >> 1), e = node(p.lut(), p.a, (r >> 1) + 128);
        for (int k = 0; k < n_; ++k) v[k] = (a[k] + e[k] + b) >> 1;
        return v;
    }
    // Four reads at q, q + 64, q + 128, q + 192 (q = r >> 2), averaged with
    // (x >> 21) & 3.
    Codes four_reads(int lut, const uint32_t* u, uint32_t r) const {
        const uint32_t q = r >> 2, d = (x_ >> 21) & 3;
        const Codes a = node(lut, u, q), b = node(lut, u, q + 64), c = node(lut, u, q + 128),
                    e = node(lut, u, q + 192);
        Codes v{};
        for (int k = 0; k < n_; ++k) v[k] = (a[k] + b[k] + c[k] + e[k] + d) >> 2;
        return v;
    }
    // Smoothing against the remembered block.
    void smooth(const uint32_t* ref, int lut, Codes& v) {
        if (chain_ && within(ref[0], remembered_[0], 8) && within(ref[1], remembered_[1], 8) &&
            within(ref[2], remembered_[2], 20) && within(ref[3], remembered_[3], 8) && lut == rememberedLut_) {
            const uint32_t g = (x_ >> 20) & 1;
            for (int k = 0; k < n_; ++k) v[k] = (result_[k] + v[k] + g) >> 1;
            ++stats.smoothed;
        }
    }
    // The PatternD hold of the block's codes `v` (after smoothing), `u` the
    // looked-up levels; `out` gets v with the held levels.
    void hold(int lut, const uint32_t* u, const Codes& v, Codes& out) {
        out = v;
        if (!f_.patternD) return;
        const bool light0 = v[0] >= 1 && v[0] <= lut_[lut]->patternUpper[0];
        const bool light2 = v[2] >= 1 && v[2] <= lut_[lut]->patternUpper[2];
        if (!light0 && !light2) {
            holdFlag_ = false;
            return;
        }
        bool repeat = holdFlag_ && lut == rememberedLut_;
        for (int c = 0; c < 4; ++c) repeat = repeat && int64_t{u[c]} == remembered_[c];
        if (repeat) {
            ++stats.holdRepeated;
        } else {
            ++stats.holdComputed;
            holdOffset_ = holdOffset_ / 4;
            const uint32_t h = static_cast<uint32_t>(holdOffset_);
            const Codes a = node(lut, u, h), b = node(lut, u, h + 64), c = node(lut, u, h + 128),
                        e = node(lut, u, h + 192);
            held_[0] = (a[0] + b[0] + c[0] + e[0]) / 4;
            held_[1] = (a[2] + b[2] + c[2] + e[2]) / 4;
            holdFlag_ = true;
        }
        if (light0) out[0] = held_[0];
        if (light2) out[2] = held_[1];
    }
    // Remembering this flat block: its reference levels, LUT and result.
    void remember(const uint32_t* ref, int lut, const Codes& v) {
        result_ = v;
        for (int c = 0; c < 4; ++c) remembered_[c] = ref[c];
        rememberedLut_ = lut;
        chain_ = true;
    }
    // A flat block or pair: smoothed (not in ReduceH), held, remembered.
    Codes settle(const uint32_t* u, const uint32_t* ref, int lut, Codes v) {
        if (walk_ != CmykWalk::Reduce) smooth(ref, lut, v);
        Codes out;
        hold(lut, u, v, out);
        remember(ref, lut, v);
        return out;
    }
    void broken() {
        chain_ = false;
        rememberedLut_ = -1;
        holdFlag_ = false;
        ++stats.nonFlat;
    }

    bool flat_test(const Pixel* q) const {
        const Pixel &tl = q[0], &tr = q[1], &bl = q[2], &br = q[3];
        for (int c = 0; c < 4; ++c) {
            if (!within(tl.a[c], br.a[c], 25) || !within(tr.a[c], tl.a[c], 25) || !within(tr.a[c], bl.a[c], 25))
                return false;
        }
        if (tr.lut() != tl.lut() || bl.lut() != tl.lut() || br.lut() != tl.lut()) return false;
        if (f_.user && ((tl.t | tr.t | bl.t | br.t) & 4) != 0) return false;
        return true;
    }
    void means(const Pixel* q, uint32_t* m) const {
        const uint32_t rho = (x_ >> 23) & 3;
        for (int c = 0; c < 4; ++c) m[c] = (q[0].a[c] + q[1].a[c] + q[2].a[c] + q[3].a[c] + rho) >> 2;
    }
    // The under-white clear of one cell: `blank` judged by the caller.
    void clear(bool blank, const Pixel& p, Codes& v) {
        if (clear_ >= 0 && blank && !p.exempt()) {
            v[clear_] = 0;
            ++stats.cleared;
        }
    }
    void write(int line, int64_t column, const Codes& v) {
        for (int k = 0; k < n_; ++k) call_.rows[k][line][column] = static_cast<uint8_t>(v[k]);
    }

    void normal(int64_t first, int64_t last, int32_t scale) {
        int64_t run = scale;
        const size_t stepPixels = scale == 1 ? 2 : 1;
        for (int64_t col = first; col < last; col += 2) {
            const uint32_t r = offset(col, 2);
            const bool replicated = run > 1 || col == last - 1;
            Pixel p[4];  // (0,0), (0,1), (1,0), (1,1)
            p[0] = read(0, 0);
            p[2] = read(1, 0);
            p[1] = replicated ? p[0] : read(0, 1);
            p[3] = replicated ? p[2] : read(1, 1);
            run -= 2;
            if (!replicated || run <= 0) {
                advance(2, stepPixels);
                run += scale * static_cast<int64_t>(stepPixels);
            }
            Codes cell[4];
            if (flat_test(p)) {
                uint32_t m[4];
                means(p, m);
                const Codes v = settle(m, p[0].a, p[0].lut(), four_reads(p[0].lut(), m, r));
                ++stats.flat;
                const bool blank = m[0] == 0 && m[1] == 0 && m[2] == 0 && m[3] == 0;
                // The top-left pixel's byte exempts the whole block; the
                // other three are not consulted.
                for (int i = 0; i < 4; ++i) {
                    cell[i] = v;
                    clear(blank, p[0], cell[i]);
                }
            } else {
                for (int i = 0; i < 4; ++i) {
                    cell[i] = pixel_codes(p[i], r);
                    clear(p[i].blank(), p[i], cell[i]);  // a user pixel has bit 2: exempt
                }
                broken();
            }
            write(0, col, cell[0]);
            write(0, col + 1, cell[1]);
            write(1, col, cell[2]);
            write(1, col + 1, cell[3]);
            if (call_.intents) {
                call_.intent[0][col] = static_cast<uint8_t>(p[0].t);
                call_.intent[0][col + 1] = static_cast<uint8_t>(p[1].t);
                call_.intent[1][col] = static_cast<uint8_t>(p[2].t);
                call_.intent[1][col + 1] = static_cast<uint8_t>(p[3].t);
            }
            step();
        }
    }

    void expand(int32_t start, int32_t end, int32_t scale) {
        for (int64_t pixel = start; pixel < end; ++pixel) {
            Pixel p{};
            for (int64_t j = 0; j < scale; j += 2) {
                const int64_t col = pixel * scale + j;
                const uint32_t r = offset(col, 2);
                if (j == 0) {
                    p = read(0, 0);
                    advance(1, 1);
                }
                Codes v = settle(p.a, p.a, p.lut(), four_reads(p.lut(), p.a, r));
                ++stats.flat;
                clear(p.blank(), p, v);
                write(0, col, v);
                write(0, col + 1, v);
                if (call_.intent[0]) call_.intent[0][col] = call_.intent[0][col + 1] = static_cast<uint8_t>(p.t);
                step();
            }
        }
    }

    // Method 0 the plain mean, else the code of the mean decoded amount.
    uint32_t merge(uint32_t a, uint32_t b, int lutA, int lutB) const {
        if (call_.method == 0) return (a + b) >> 1;
        return ref_mean_code(a, b, lut_[lutA]->decode, lut_[lutB]->decode, lut_[lutA]->encode);
    }

    void reduce(int64_t first, int64_t last) {
        for (int64_t col = first; col < last; ++col) {
            const uint32_t r = offset(col, 1);
            const Pixel p[4] = {read(0, 0), read(0, 1), read(1, 0), read(1, 1)};
            advance(2, 2);
            if (flat_test(p)) {
                uint32_t m[4];
                means(p, m);
                const Codes v = settle(m, m, p[0].lut(), four_reads(p[0].lut(), m, r));
                ++stats.flat;
                write(0, col, v);
                write(1, col, v);
            } else {
                const Codes c[4] = {pixel_codes(p[0], r), pixel_codes(p[1], r), pixel_codes(p[2], r),
                                    pixel_codes(p[3], r)};
                Codes top{}, bottom{};
                for (int k = 0; k < n_; ++k) {
                    top[k] = merge(c[0][k], c[1][k], p[0].lut(), p[1].lut());
                    bottom[k] = merge(c[2][k], c[3][k], p[2].lut(), p[3].lut());
                }
                write(0, col, top);
                write(1, col, bottom);
                broken();
            }
            if (call_.intents) {
                call_.intent[0][col] = static_cast<uint8_t>(p[0].t);
                call_.intent[1][col] = static_cast<uint8_t>(p[2].t);
            }
            step();
        }
    }

    int n_;
    CmykWalk walk_;
    CmykFeatures f_;
    const HXRLutData* lut_[2] = {};
    const uint32_t* user_ = nullptr;
    const uint8_t** planes_ = nullptr;
    const uint8_t** attrs_ = nullptr;
    size_t stride_ = 0, depth_ = 1, attrStride_ = 0;
    int32_t clear_ = -1;
    RefCallArea call_;
    uint32_t x_ = 0, kept_ = 0;
    // The smoothing state: chain flag, remembered first-pixel inputs, LUT
    // choice and result.
    bool chain_ = false;
    int64_t remembered_[4] = {};
    int rememberedLut_ = -1;
    Codes result_{};
    // The PatternD hold: flag, held levels of ink 0 and ink 2, hold offset.
    bool holdFlag_ = false;
    uint32_t held_[2] = {};
    int32_t holdOffset_ = 64;
};

}  // namespace ovcg_test
