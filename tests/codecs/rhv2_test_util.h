// Helpers shared by the RHV2 tests: bit strings in written order, stream
// assembly, image generators and a one-call encode/decode.
#pragma once

#include "codecs/rhv2/rhv2.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace ovcg_test::rhv2t {

using Bytes = std::vector<uint8_t>;

// Packs a string of '0'/'1' (spaces ignored), first character first, into
// bytes least significant bit first; the last byte is zero-padded.
inline Bytes bits(const std::string& s) {
    Bytes out;
    size_t n = 0;
    for (char ch : s) {
        if (ch == ' ') continue;
        if (n % 8 == 0) out.push_back(0);
        if (ch == '1') out.back() = static_cast<uint8_t>(out.back() | (1u << (n % 8)));
        ++n;
    }
    return out;
}

inline void put_be32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}

// A whole stream: header, row table from the line sizes, then the lines.
inline Bytes stream(uint8_t colour_size, uint8_t three_flag, uint32_t lines,
                    const std::vector<Bytes>& coded_lines) {
    Bytes s = {0xFF, 0x00, colour_size, three_flag};
    put_be32(s, lines);
    for (const Bytes& l : coded_lines) put_be32(s, static_cast<uint32_t>(l.size()));
    for (const Bytes& l : coded_lines) s.insert(s.end(), l.begin(), l.end());
    return s;
}

// Rhv2CompDecomp over whole buffers (Bytes or GuardedBytes).
template <typename In, typename Out, typename Work>
uint32_t comp_decomp(uint32_t mode, uint32_t type, uint32_t width, uint32_t lines, uint32_t stride,
                     const In& in, Out& out, Work& work, uint32_t* size) {
    return ovcg::Rhv2CompDecomp(mode, type, width, lines, stride, in.data(), in.size(), out.data(), out.size(),
                                work.data(), work.size(), size);
}

inline Bytes encode(uint32_t type, uint32_t width, uint32_t lines, uint32_t stride,
                    const Bytes& image, uint32_t* rc = nullptr) {
    Bytes out(ovcg::Rhv2GetRhv2BufSize(0, type, width, lines, stride));
    Bytes work(ovcg::Rhv2GetWorkBufSize(type, width, lines));
    uint32_t size = 0;
    uint32_t r = comp_decomp(0, type, width, lines, stride, image, out, work, &size);
    if (rc) *rc = r;
    out.resize(r == 0 ? size : 0);
    return out;
}

inline Bytes decode(uint32_t type, uint32_t width, uint32_t lines, uint32_t stride,
                    const Bytes& coded, uint32_t* rc = nullptr) {
    Bytes out(ovcg::Rhv2GetRhv2BufSize(1, type, width, lines, stride), 0xCC);
    Bytes work(ovcg::Rhv2GetWorkBufSize(type, width, lines));
    uint32_t size = 0;
    uint32_t r = comp_decomp(1, type, width, lines, stride, coded, out, work, &size);
    if (rc) *rc = r;
    if (r == 0 && size != out.size()) out.clear();
    return out;
}

// Line-coder parameters: contiguous lines, context carry and raw escape on, no limits.
inline ovcg::Rhv2Params coder_params(uint32_t format, uint32_t width, uint32_t lines, uint8_t depth = 0) {
    ovcg::Rhv2Params p;
    p.width = width;
    p.lines = lines;
    p.format = format;
    p.depth = depth;
    p.stride = width;
    p.context_carry = 1;
    p.raw_escape = 1;
    p.limit_mode = ovcg::kRhv2LimitNone;
    return p;
}

enum class Content { kSmooth, kRepetitive, kNoisy, kZero, kMixed };

// An image of `lines` lines at `stride`; bytes beyond width x bpp in each
// line are left zero.
inline Bytes make_image(Content kind, uint32_t width, uint32_t lines, uint32_t bpp,
                        uint32_t stride, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes img(size_t(stride) * lines, 0);
    std::vector<int> base(bpp);
    for (auto& b : base) b = static_cast<int>(rng() % 256);
    for (uint32_t y = 0; y < lines; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            for (uint32_t c = 0; c < bpp; ++c) {
                uint8_t v = 0;
                switch (kind) {
                case Content::kSmooth:
                    v = static_cast<uint8_t>(base[c] + x / 3 + 2 * y + (rng() % 3));
                    break;
                case Content::kRepetitive:
                    v = static_cast<uint8_t>(((x / 7 + y / 2) % 3) * 90 + c * 7);
                    break;
                case Content::kNoisy:
                    v = static_cast<uint8_t>(rng());
                    break;
                case Content::kZero:
                    v = 0;
                    break;
                case Content::kMixed: {
                    uint32_t band = (x / 37 + y) % 4;
                    v = band == 0   ? static_cast<uint8_t>(rng())
                        : band == 1 ? static_cast<uint8_t>(base[c])
                        : band == 2 ? static_cast<uint8_t>(base[c] + x)
                                    : static_cast<uint8_t>((x & 8) ? 250 : 3);
                    break;
                }
                }
                img[size_t(y) * stride + size_t(x) * bpp + c] = v;
            }
        }
    }
    return img;
}

}  // namespace ovcg_test::rhv2t
