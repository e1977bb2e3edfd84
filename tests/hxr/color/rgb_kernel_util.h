// Bands of RGB input for the kernel tests: sample planes of depth 1 or 2 in
// any pixel stride (16-bit ones at odd addresses), an attribute plane of any
// stride, each plane ending at an inaccessible page so a read past the band's
// last pixel faults; and
// photo-like content (uniform patches, gradients, noise, edges).
#pragma once

#include "hxr/color/hxr_color_kernel.h"
#include "support/guard_page.h"
#include "support/rgb_reference.h"

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace color_test {

// The plain kernel of a walk for an ink count, from Color3DFuncTable.
inline HXRColorKernel plain_kernel(int inks, ovcg_test::RgbWalk walk) {
    for (const HXRColorFuncRow* row = kHxrColorFuncTables.table[kColor3D]; row->count != -1; ++row) {
        if (row->count != inks) continue;
        return walk == ovcg_test::RgbWalk::Normal ? row->normal
               : walk == ovcg_test::RgbWalk::Expand ? row->expandH2NxV2
                                                    : row->reduceH;
    }
    return nullptr;
}

struct RgbPixelIn {
    uint8_t r, g, b, attr;
};

// `lines` lines of `width` pixels. Samples of a pixel stride of 3 or more
// are interleaved in one block per line; a stride of 1 or 2 gives one block
// per channel. Without an attribute plane (stride 0) both attribute pointers
// address one zero byte, as the converter passes them.
class RgbBand {
public:
    RgbBand(int32_t width, int lines, uint32_t depth, uint32_t pixelOffset, uint32_t attrStride)
        : width_(width), lines_(lines), depth_(depth), stride_(pixelOffset), attrStride_(attrStride) {
        const size_t w = static_cast<size_t>(width > 0 ? width : 1);
        const bool interleaved = pixelOffset >= 3;
        for (int l = 0; l < lines; ++l) {
            for (int c = 0; c < 3; ++c) {
                if (interleaved && c > 0) {
                    planes[l * 3 + c] = planes[l * 3] + c * depth;
                    continue;
                }
                // 16-bit planes start at an odd address (one byte of slack
                // before the guard): nothing may assume their alignment.
                const size_t odd = depth == 2 ? 1 : 0;
                const size_t bytes = ((w - 1) * pixelOffset + (interleaved ? 3 : 1)) * depth + odd;
                blocks_.push_back(std::make_unique<ovcg_test::GuardedBytes>(bytes));
                planes[l * 3 + c] = blocks_.back()->data();
            }
            if (attrStride) {
                blocks_.push_back(std::make_unique<ovcg_test::GuardedBytes>((w - 1) * attrStride + 1));
                attrs[l] = blocks_.back()->data();
            } else {
                attrs[l] = &kZero;
            }
        }
        for (int l = lines; l < 2; ++l) {
            for (int c = 0; c < 3; ++c) planes[l * 3 + c] = planes[c];
            attrs[l] = attrs[0];
        }
    }

    // Sets a pixel; at depth 2 the low byte of every sample is `low`.
    void set(int line, int32_t x, const RgbPixelIn& p, uint8_t low = 0) {
        const uint8_t v[3] = {p.r, p.g, p.b};
        for (int c = 0; c < 3; ++c) {
            uint8_t* s = const_cast<uint8_t*>(planes[line * 3 + c]) + static_cast<size_t>(x) * stride_ * depth_;
            if (depth_ == 1) {
                *s = v[c];
            } else {
                const uint16_t sample = static_cast<uint16_t>(v[c] << 8 | low);
                std::memcpy(s, &sample, 2);
            }
        }
        if (attrStride_) const_cast<uint8_t*>(attrs[line])[static_cast<size_t>(x) * attrStride_] = p.attr;
    }
    int lines() const { return lines_; }
    int32_t width() const { return width_; }

    const uint8_t* planes[6] = {};
    const uint8_t* attrs[2] = {};

private:
    static inline const uint8_t kZero = 0;
    int32_t width_;
    int lines_;
    uint32_t depth_, stride_, attrStride_;
    std::vector<std::unique_ptr<ovcg_test::GuardedBytes>> blocks_;
};

// Photo-like content: runs of 1 to 12 pixels, each a uniform patch (with
// noise of a few levels), a gradient, noise or a hard edge, the first one
// black, white or plain; line 1 follows
// line 0 closely, loosely or not at all. Attribute bytes change per run
// (LUT choice 0 or 1, other bits set or not). Low bytes are random.
inline void fill_photo(RgbBand& band, uint32_t seed) {
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    static constexpr uint8_t kAttrs[] = {0, 1, 1, 2, 3, 5, 0x11, 0x14, 0xFD, 0};
    std::vector<RgbPixelIn> line0(static_cast<size_t>(band.width()));
    for (size_t x = 0; x < line0.size();) {
        const uint32_t run = 1 + pick(12), kind = x == 0 ? 4 + pick(3) : pick(4);
        const uint8_t attr = kAttrs[pick(sizeof kAttrs)];
        int base[3], slope[3];
        for (int c = 0; c < 3; ++c) {
            base[c] = static_cast<int>(pick(256));
            slope[c] = static_cast<int>(pick(13)) - 6;
        }
        for (uint32_t i = 0; i < run && x < line0.size(); ++i, ++x) {
            int v[3];
            for (int c = 0; c < 3; ++c) {
                switch (kind) {
                    case 0: v[c] = base[c] + static_cast<int>(pick(4)); break;
                    case 1: v[c] = base[c] + slope[c] * static_cast<int>(i); break;
                    case 2: v[c] = static_cast<int>(pick(256)); break;
                    case 3: v[c] = i < run / 2 ? base[c] : 255 - base[c]; break;
                    case 4: v[c] = 0; break;  // bands often begin black or white
                    case 5: v[c] = 255; break;
                    default: v[c] = base[c]; break;
                }
                v[c] = v[c] < 0 ? 0 : v[c] > 255 ? 255 : v[c];
            }
            line0[x] = {static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2]), attr};
        }
    }
    for (int l = 0; l < band.lines(); ++l) {
        const uint32_t follow = pick(3);  // 0 closely, 1 loosely, 2 not at all
        for (size_t x = 0; x < line0.size(); ++x) {
            RgbPixelIn p = line0[x];
            if (l == 1) {
                const int spread = follow == 0 ? 3 : follow == 1 ? 40 : 256;
                uint8_t* v[3] = {&p.r, &p.g, &p.b};
                for (uint8_t* c : v) {
                    const int n = follow == 2 ? static_cast<int>(pick(256))
                                              : *c + static_cast<int>(pick(static_cast<uint32_t>(spread))) - spread / 2;
                    *c = static_cast<uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
                }
                if (pick(8) == 0) p.attr = kAttrs[pick(sizeof kAttrs)];
            }
            band.set(l, static_cast<int32_t>(x), p, static_cast<uint8_t>(pick(256)));
        }
    }
}

// Content with exact repeats: runs of 2 to 17 pixels, each exactly uniform
// on both lines, uniform per line with the lines a few levels apart, a ramp
// of one level per pixel, or noise; runs often share a colour with the run
// before or differ from it by a few levels. Attribute bytes change per run
// (LUT choice, user bit). Low bytes are random.
inline void fill_patches(RgbBand& band, uint32_t seed) {
    std::mt19937 rng(seed);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    static constexpr uint8_t kAttrs[] = {0, 0, 1, 1, 2, 4, 5, 0x11, 0x14, 0xFD};
    const auto level = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    int base[3] = {};
    uint8_t attr = 0;
    for (int32_t x = 0; x < band.width();) {
        const uint32_t run = 2 + pick(16), kind = pick(5), change = pick(3);
        for (int c = 0; c < 3; ++c)
            base[c] = change == 0 ? base[c] : change == 1 ? base[c] + int(pick(9)) - 4 : int(pick(256));
        if (pick(3) == 0) attr = kAttrs[pick(sizeof kAttrs)];
        const int apart = 1 + int(pick(4));
        for (uint32_t i = 0; i < run && x < band.width(); ++i, ++x) {
            for (int l = 0; l < band.lines(); ++l) {
                uint8_t v[3];
                for (int c = 0; c < 3; ++c) {
                    switch (kind) {
                        case 2: v[c] = level(base[c] + (l ? apart : 0)); break;
                        case 3: v[c] = level(base[c] + (c == 0 ? int(i) : 0)); break;
                        case 4: v[c] = static_cast<uint8_t>(pick(256)); break;
                        default: v[c] = level(base[c]); break;
                    }
                }
                band.set(l, x, {v[0], v[1], v[2], attr}, static_cast<uint8_t>(pick(256)));
            }
        }
    }
}

}  // namespace color_test
