// Bands of C-channel input for the LUT kernel tests: sample planes of depth 1
// or 2 in any pixel stride (16-bit ones at odd addresses), an attribute plane
// of any stride, each plane ending at an inaccessible page so a read past the
// band's last pixel faults; and photo-like content for them.
#pragma once

#include "support/band_layout.h"
#include "support/guard_page.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace color_test {

// `lines` lines of `width` pixels laid out as band_layout.h says, without
// an attribute plane both attribute pointers at one zero byte, as the
// converter passes them.
template <int C>
class LutBand {
public:
    LutBand(int32_t width, int lines, uint32_t depth, uint32_t pixelOffset, uint32_t attrStride)
        : width_(width), lines_(lines), depth_(depth), stride_(pixelOffset), attrStride_(attrStride) {
        // 16-bit planes start at an odd address (one byte of slack before
        // the guard): nothing may assume their alignment.
        const size_t odd = depth == 2 ? 1 : 0;
        ovcg_test::lay_out_band<C>(lines, static_cast<size_t>(width > 0 ? width : 1), depth, pixelOffset, attrStride,
                                   planes, attrs, [&](size_t bytes, bool samples) {
                                       blocks_.push_back(
                                           std::make_unique<ovcg_test::GuardedBytes>(bytes + (samples ? odd : 0)));
                                       return static_cast<const uint8_t*>(blocks_.back()->data());
                                   });
    }

    // Sets a pixel's C levels and attribute byte; at depth 2 the low byte of
    // every sample is `low`.
    void set(int line, int32_t x, const uint8_t* v, uint8_t attr, uint8_t low = 0) {
        for (int c = 0; c < C; ++c) {
            uint8_t* s = const_cast<uint8_t*>(planes[line * C + c]) + static_cast<size_t>(x) * stride_ * depth_;
            if (depth_ == 1) {
                *s = v[c];
            } else {
                const uint16_t sample = static_cast<uint16_t>(v[c] << 8 | low);
                std::memcpy(s, &sample, 2);
            }
        }
        if (attrStride_) const_cast<uint8_t*>(attrs[line])[static_cast<size_t>(x) * attrStride_] = attr;
    }
    int lines() const { return lines_; }
    int32_t width() const { return width_; }

    const uint8_t* planes[2 * C] = {};
    const uint8_t* attrs[2] = {};

private:
    int32_t width_;
    int lines_;
    uint32_t depth_, stride_, attrStride_;
    std::vector<std::unique_ptr<ovcg_test::GuardedBytes>> blocks_;
};

// What photo-like content holds beyond its plain runs.
struct PhotoOptions {
    // Blank runs (every level 0) anywhere on line 0, kept blank on line 1.
    bool blanks = false;
    // The attribute bytes runs draw from; empty: a default list.
    std::vector<uint8_t> attrs{};
};

// Photo-like content: runs of 1 to 12 pixels, each a uniform patch (with
// noise of a few levels), a gradient, noise or a hard edge, the first one
// all 0, all 255 or plain; line 1 follows line 0 closely, loosely or not at
// all. Attribute bytes change per run (LUT choice 0 or 1, other bits set or
// not). Low bytes are random.
template <int C>
void fill_photo(LutBand<C>& band, uint32_t seed, const PhotoOptions& options = {}) {
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    static const std::vector<uint8_t> kAttrs = {0, 1, 1, 2, 3, 5, 0x11, 0x14, 0xFD, 0};
    const std::vector<uint8_t>& attrs = options.attrs.empty() ? kAttrs : options.attrs;
    const auto any_attr = [&] { return attrs[pick(static_cast<uint32_t>(attrs.size()))]; };
    struct Pixel {
        std::array<uint8_t, C> v;
        uint8_t attr;
    };
    std::vector<Pixel> line0(static_cast<size_t>(band.width()));
    for (size_t x = 0; x < line0.size();) {
        const uint32_t run = 1 + pick(12), kind = x == 0 ? 4 + pick(3) : pick(options.blanks ? 5 : 4);
        const uint8_t attr = any_attr();
        int base[C], slope[C];
        for (int c = 0; c < C; ++c) {
            base[c] = static_cast<int>(pick(256));
            slope[c] = static_cast<int>(pick(13)) - 6;
        }
        for (uint32_t i = 0; i < run && x < line0.size(); ++i, ++x) {
            line0[x].attr = attr;
            for (int c = 0; c < C; ++c) {
                int v;
                switch (kind) {
                    case 0: v = base[c] + static_cast<int>(pick(4)); break;
                    case 1: v = base[c] + slope[c] * static_cast<int>(i); break;
                    case 2: v = static_cast<int>(pick(256)); break;
                    case 3: v = i < run / 2 ? base[c] : 255 - base[c]; break;
                    case 4: v = 0; break;  // bands often begin black or white
                    case 5: v = 255; break;
                    default: v = base[c]; break;
                }
                line0[x].v[c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    for (int l = 0; l < band.lines(); ++l) {
        const uint32_t follow = pick(3);  // 0 closely, 1 loosely, 2 not at all
        for (size_t x = 0; x < line0.size(); ++x) {
            Pixel p = line0[x];
            const bool keep = options.blanks && p.v == std::array<uint8_t, C>{};
            if (l == 1 && !keep) {
                const int spread = follow == 0 ? 3 : follow == 1 ? 40 : 256;
                for (uint8_t& c : p.v) {
                    const int n = follow == 2 ? static_cast<int>(pick(256))
                                              : c + static_cast<int>(pick(static_cast<uint32_t>(spread))) - spread / 2;
                    c = static_cast<uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
                }
                if (pick(8) == 0) p.attr = any_attr();
            }
            band.set(l, static_cast<int32_t>(x), p.v.data(), p.attr, static_cast<uint8_t>(pick(256)));
        }
    }
}

// Content with exact repeats: runs of 2 to 17 pixels, each exactly uniform
// on both lines, uniform per line with the lines a few levels apart, a ramp
// of one level per pixel in channel 0, or noise (with options.blanks also
// blank: every level 0); runs often share a colour with the run before or
// differ from it by a few levels. Attribute bytes change per run (LUT
// choice, user bit). Low bytes are random.
template <int C>
void fill_patches(LutBand<C>& band, uint32_t seed, const PhotoOptions& options = {}) {
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    static const std::vector<uint8_t> kAttrs = {0, 0, 1, 1, 2, 4, 5, 0x11, 0x14, 0xFD};
    const std::vector<uint8_t>& attrs = options.attrs.empty() ? kAttrs : options.attrs;
    const auto level = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    int base[C] = {};
    uint8_t attr = 0;
    for (int32_t x = 0; x < band.width();) {
        const uint32_t run = 2 + pick(16), kind = pick(options.blanks ? 6 : 5), change = pick(3);
        for (int c = 0; c < C; ++c)
            base[c] = change == 0 ? base[c] : change == 1 ? base[c] + int(pick(9)) - 4 : int(pick(256));
        if (pick(3) == 0) attr = attrs[pick(static_cast<uint32_t>(attrs.size()))];
        const int apart = 1 + int(pick(4));
        for (uint32_t i = 0; i < run && x < band.width(); ++i, ++x) {
            for (int l = 0; l < band.lines(); ++l) {
                uint8_t v[C];
                for (int c = 0; c < C; ++c) {
                    switch (kind) {
                        case 2: v[c] = level(base[c] + (l ? apart : 0)); break;
                        case 3: v[c] = level(base[c] + (c == 0 ? int(i) : 0)); break;
                        case 4: v[c] = static_cast<uint8_t>(pick(256)); break;
                        case 5: v[c] = 0; break;
                        default: v[c] = level(base[c]); break;
                    }
                }
                band.set(l, x, v, attr, static_cast<uint8_t>(pick(256)));
            }
        }
    }
}

}  // namespace color_test
