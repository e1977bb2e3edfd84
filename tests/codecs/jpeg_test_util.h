// Helpers shared by the JPEG encoder tests: image generators and a driver
// that runs the encoder the way the level-3 encode buffers do.
#pragma once

#include "codecs/jpeg/jpeg_api.h"
#include "support/jpeg_decode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace ovcg_test::jpegt {

using Bytes = std::vector<uint8_t>;
using ovcg::jpeg::CJpegAPI;
using ovcg::jpeg::SDataPattern;

// The pattern of the plain encode buffer (8-bit) and of the 12-bit one.
inline SDataPattern PlainPattern() { return {0, 2, 0, 1, 2, 1, 0, 1, 0, 1}; }
inline SDataPattern PlusPattern() { return {0, 2, 0, 1, 2, 1, 1, 1, 0, 16}; }

// A pattern at another speed and colour arithmetic.
inline SDataPattern Speed(SDataPattern p, uint32_t speed, uint32_t floatArithmetic = 1) {
    p.speed = speed;
    p.floatArithmetic = floatArithmetic;
    return p;
}

// One of the two patterns with the pixel layout, sampling and quality changed.
inline SDataPattern Pat(uint32_t kind, uint32_t pad, uint32_t sampling, uint32_t quality, bool plus = false) {
    SDataPattern p = plus ? PlusPattern() : PlainPattern();
    p.pixelKind = kind;
    p.pixelPadding = pad;
    p.sampling = sampling;
    p.quality = quality;
    return p;
}

struct Image {
    int width = 0, height = 0;
    int bpp = 3;          // bytes a pixel in the buffer
    int colourOffset = 0; // offset of the first colour byte in a pixel
    size_t stride = 0;
    Bytes data;
    uint8_t* px(int x, int y) { return data.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x * bpp + colourOffset); }
    const uint8_t* px(int x, int y) const { return data.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x * bpp + colourOffset); }
};

// An image buffer for the pattern's pixel layout; pad bytes are filled with
// `padValue` so that tests can show they never matter.
inline Image MakeImage(int width, int height, const SDataPattern& p, size_t extraStride = 0, uint8_t padValue = 0xA5) {
    Image im;
    im.width = width;
    im.height = height;
    const int samples = p.pixelKind == 2 ? 1 : 3;
    im.bpp = samples + (p.pixelPadding ? 1 : 0);
    im.colourOffset = p.pixelPadding == 1 ? 1 : 0;
    im.stride = static_cast<size_t>(width * im.bpp) + extraStride;
    im.data.assign(im.stride * static_cast<size_t>(height), padValue);
    return im;
}

// Smooth gradients with a little texture: the kind of content a photo has.
inline void FillPhoto(Image& im, const SDataPattern& p, uint32_t seed) {
    std::mt19937 rng(seed);  // its output is fixed by the standard, unlike the distributions
    auto noise = [](std::mt19937& r) { return static_cast<int>(r() % 13) - 6; };
    const int samples = p.pixelKind == 2 ? 1 : 3;
    for (int y = 0; y < im.height; ++y) {
        for (int x = 0; x < im.width; ++x) {
            uint8_t* q = im.px(x, y);
            for (int c = 0; c < samples; ++c) {
                const int base = (c == 0) ? (x * 255) / std::max(1, im.width - 1)
                               : (c == 1) ? (y * 255) / std::max(1, im.height - 1)
                                          : 128 + ((x + y) % 64) - 32;
                q[c] = static_cast<uint8_t>(std::clamp(base + noise(rng), 0, 255));
            }
        }
    }
}

// Images whose 2x2 groups share one chroma (a colour plus a grey offset per
// pixel), so that subsampling by picking one pixel loses nothing.
inline void FillGroupChroma(Image& im, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x) {
            const int gx = x / 2, gy = y / 2, d = static_cast<int>(rng() % 13) - 6;
            const int base[3] = {40 + (gx * 7) % 150, 50 + (gy * 11) % 140, 60 + ((gx + gy) * 5) % 120};
            for (int c = 0; c < 3; ++c) im.px(x, y)[c] = static_cast<uint8_t>(base[c] + d);
        }
}

inline void FillRandom(Image& im, const SDataPattern& p, uint32_t seed) {
    std::mt19937 rng(seed);
    const int samples = p.pixelKind == 2 ? 1 : 3;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
            for (int c = 0; c < samples; ++c) im.px(x, y)[c] = static_cast<uint8_t>(rng() & 0xFF);
}

// The literal forward DCT of 64 samples, natural order:
// F(u, v) = 1/4 C(u) C(v) sum_x sum_y f(x, y) cos((2x+1) u pi / 16) cos((2y+1) v pi / 16).
template <typename T>
std::array<double, 64> ExactDct(const T* in) {
    const double pi = std::acos(-1.0);
    double cosine[8][8];  // [x][u]
    for (int x = 0; x < 8; ++x)
        for (int u = 0; u < 8; ++u) cosine[x][u] = std::cos((2 * x + 1) * u * pi / 16);
    std::array<double, 64> out{};
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double sum = 0;
            for (int i = 0; i < 64; ++i) sum += in[i] * cosine[i % 8][u] * cosine[i / 8][v];
            out[static_cast<size_t>(v * 8 + u)] = 0.25 * (u ? 1.0 : std::sqrt(0.5)) * (v ? 1.0 : std::sqrt(0.5)) * sum;
        }
    return out;
}

struct Encoded {
    Bytes stream;                 // all chunks concatenated
    std::vector<size_t> chunks;   // size of every chunk handed out
    size_t headerBytes = 0;
    int rowsFed = 0;
};

// Open, one SetData per MCU row with Compress until 3, Close: as the encode
// buffers run it, with `chunk`-byte chunks. A pattern whose speed is not 2
// has the encoder use that speed (Open forces 2 otherwise).
inline Encoded Encode(const Image& im, SDataPattern p, int chunk = 32768, const void* app = nullptr, int appLen = 0) {
    Encoded e;
    CJpegAPI enc;
    if (p.speed != 2) enc.OverrideSpeed(p.speed);
    Bytes buf(static_cast<size_t>(std::max(chunk, 32768)));
    int written = 0;
    enc.Open(buf.data(), &written, static_cast<int>(buf.size()), im.width, im.height, &p,
             static_cast<unsigned>(im.stride), app, appLen);
    e.headerBytes = static_cast<size_t>(written);
    e.stream.insert(e.stream.end(), buf.begin(), buf.begin() + written);
    e.chunks.push_back(static_cast<size_t>(written));
    for (int y = 0; y < im.height; y += enc.mcuHeight()) {
        enc.SetData(im.data.data() + static_cast<size_t>(y) * im.stride, chunk);
        ++e.rowsFed;
        for (;;) {
            const int r = enc.Compress(buf.data(), &written);
            if (r == CJpegAPI::kNeedInput) break;
            e.stream.insert(e.stream.end(), buf.begin(), buf.begin() + written);
            e.chunks.push_back(static_cast<size_t>(written));
        }
    }
    enc.Close(buf.data(), &written, static_cast<int>(buf.size()));
    e.stream.insert(e.stream.end(), buf.begin(), buf.begin() + written);
    e.chunks.push_back(static_cast<size_t>(written));
    return e;
}

}  // namespace ovcg_test::jpegt
