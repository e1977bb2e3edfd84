#include "codecs/rhv2/rhv2_format.h"

#include "codecs/rhv2/rhv2.h"

#include <algorithm>
#include <cstring>

namespace ovcg::rhv2 {
namespace {

constexpr FormatInfo kFormats[kRhv2FmtCount] = {
    {4, 4, false, true},   // 0 planar, copied
    {4, 4, false, true},   // 1 difference to the second byte
    {4, 4, false, true},   // 2 YUV
    {4, 4, false, true},   // 3 planar, raw
    {1, 1, false, false},  // 4 gray
    {1, 1, true, false},   // 5 gray, reduced depth
    {1, 1, false, false},  // 6 gray, raw
    {1, 1, true, false},   // 7 gray, reduced depth, raw
    {1, 1, false, true},   // 8 bit 0, tokens
    {1, 1, false, true},   // 9 bit 0, packed
    {5, 5, false, true},   // 10 five bytes
    {5, 5, true, true},    // 11 five bytes, reduced depth
    {5, 5, false, true},   // 12 planar five, raw and packed
    {5, 5, true, true},    // 13 five bytes, reduced depth, raw and packed
    {4, 4, false, false},  // 14 four bytes
    {3, 3, false, false},  // 15 three bytes
};

// Widens a `depth`-bit value to 8 bits by repeating its bits.
inline uint8_t replicate(uint8_t v, uint8_t depth) {
    const unsigned val = v & ((1u << depth) - 1);
    unsigned out = 0;
    for (int shift = 8 - depth; shift > -static_cast<int>(depth); shift -= depth)
        out |= shift >= 0 ? val << shift : val >> -shift;
    return static_cast<uint8_t>(out);
}

// Splits `width` pixels of `n` bytes into n planes, each byte through f(c, byte).
template <unsigned N, typename F>
inline void split(const uint8_t* src, uint32_t width, uint8_t* planes, F f) {
    for (uint32_t p = 0; p < width; ++p)
        for (unsigned c = 0; c < N; ++c) planes[c * size_t(width) + p] = f(c, src[p * N + c]);
}
template <unsigned N, typename F>
inline void join(const uint8_t* planes, uint32_t width, uint8_t* dst, F f) {
    for (uint32_t p = 0; p < width; ++p)
        for (unsigned c = 0; c < N; ++c) dst[p * N + c] = f(c, planes[c * size_t(width) + p]);
}

inline void yuv_pair(const uint8_t* a, const uint8_t* b, uint8_t* oa, uint8_t* ob) {
    auto half_diff = [](int x, int y) { return static_cast<uint8_t>(((x - y) >> 1) + 128); };
    const uint8_t a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
    const uint8_t b0 = b[0], b1 = b[1], b2 = b[2], b3 = b[3];
    const uint8_t y0 = static_cast<uint8_t>((a0 + 2 * a1 + a2) >> 2);
    const uint8_t y1 = static_cast<uint8_t>((b0 + 2 * b1 + b2) >> 2);
    const uint8_t u = static_cast<uint8_t>((half_diff(a2, a1) + half_diff(b2, b1)) >> 1);
    const uint8_t v = static_cast<uint8_t>((half_diff(a0, a1) + half_diff(b0, b1)) >> 1);
    oa[0] = y0; oa[1] = u; oa[2] = v; oa[3] = a3;
    ob[0] = y1; ob[1] = u; ob[2] = v; ob[3] = b3;
}

}  // namespace

const FormatInfo* format_info(uint32_t format) {
    return format < kRhv2FmtCount ? &kFormats[format] : nullptr;
}

PlaneKind plane_kind(uint32_t format, uint32_t plane) {
    switch (format) {
    case kRhv2FmtPlanar4Raw:
    case kRhv2FmtGrayRaw:
    case kRhv2FmtGrayDepthRaw:
        return PlaneKind::kRaw;
    case kRhv2FmtBitPacked:
        return PlaneKind::kBits;
    case kRhv2FmtPlanar5Raw:
    case kRhv2FmtFiveDepthRaw:
        return plane == 4 ? PlaneKind::kBits : PlaneKind::kRaw;
    default:
        return PlaneKind::kTokens;
    }
}

size_t stored_plane_bytes(PlaneKind kind, uint32_t width) {
    return kind == PlaneKind::kBits ? (size_t(width) + 7) / 8 : size_t(width);
}

void line_to_planes(uint32_t format, uint8_t depth, const uint8_t* src, uint32_t width,
                    uint8_t* planes) {
    const unsigned shift = 8u - depth;
    const size_t w = width;
    switch (format) {
    case kRhv2FmtPlanar4:
    case kRhv2FmtPlanar4Raw:
        std::memcpy(planes, src, 4 * w);
        break;
    case kRhv2FmtPlanar5Raw:
        std::memcpy(planes, src, 5 * w);
        break;
    case kRhv2FmtGreenDiff:
        for (size_t p = 0; p < w; ++p) {
            const uint8_t* px = src + 4 * p;
            planes[p] = static_cast<uint8_t>(px[0] - px[1] + 128);
            planes[w + p] = px[1];
            planes[2 * w + p] = static_cast<uint8_t>(px[2] - px[1] + 128);
            planes[3 * w + p] = px[3];
        }
        break;
    case kRhv2FmtYuv:
        for (size_t p = 0; p < w; p += 2) {
            uint8_t pair[8];
            const uint8_t* second = p + 1 < w ? src + 4 * (p + 1) : src + 4 * p;
            yuv_pair(src + 4 * p, second, pair, pair + 4);
            for (unsigned c = 0; c < 4; ++c) {
                planes[c * w + p] = pair[c];
                if (p + 1 < w) planes[c * w + p + 1] = pair[4 + c];
            }
        }
        break;
    case kRhv2FmtGray:
    case kRhv2FmtGrayRaw:
        std::memcpy(planes, src, w);
        break;
    case kRhv2FmtGrayDepth:
    case kRhv2FmtGrayDepthRaw:
        for (size_t p = 0; p < w; ++p) planes[p] = static_cast<uint8_t>(src[p] >> shift);
        break;
    case kRhv2FmtBit:
    case kRhv2FmtBitPacked:
        for (size_t p = 0; p < w; ++p) planes[p] = src[p] & 1;
        break;
    case kRhv2FmtFive:
        split<5>(src, width, planes, [](unsigned c, uint8_t b) { return c == 4 ? uint8_t(b & 1) : b; });
        break;
    case kRhv2FmtFiveDepth:
        split<5>(src, width, planes, [shift](unsigned c, uint8_t b) {
            return c == 4 ? uint8_t(b & 1) : uint8_t(b >> shift);
        });
        break;
    case kRhv2FmtFiveDepthRaw:
        split<5>(src, width, planes,
                 [shift](unsigned c, uint8_t b) { return c == 4 ? b : uint8_t(b >> shift); });
        break;
    case kRhv2FmtInterleaved4:
        split<4>(src, width, planes, [](unsigned, uint8_t b) { return b; });
        break;
    case kRhv2FmtInterleaved3:
        split<3>(src, width, planes, [](unsigned, uint8_t b) { return b; });
        break;
    default:
        break;
    }
}

void planes_to_line(uint32_t format, uint8_t depth, const uint8_t* planes, uint32_t width,
                    uint8_t* dst) {
    const size_t w = width;
    switch (format) {
    case kRhv2FmtPlanar4:
    case kRhv2FmtPlanar4Raw:
        std::memcpy(dst, planes, 4 * w);
        break;
    case kRhv2FmtPlanar5Raw:
        std::memcpy(dst, planes, 5 * w);
        break;
    case kRhv2FmtGreenDiff:
        for (size_t p = 0; p < w; ++p) {
            const uint8_t c1 = planes[w + p];
            dst[4 * p] = static_cast<uint8_t>(c1 + planes[p] - 128);
            dst[4 * p + 1] = c1;
            dst[4 * p + 2] = static_cast<uint8_t>(c1 + planes[2 * w + p] - 128);
            dst[4 * p + 3] = planes[3 * w + p];
        }
        break;
    case kRhv2FmtYuv:
        join<4>(planes, width, dst, [](unsigned, uint8_t b) { return b; });
        Rhv2YuvDeconv(dst, width, dst);
        break;
    case kRhv2FmtGray:
    case kRhv2FmtGrayRaw:
    case kRhv2FmtBit:
    case kRhv2FmtBitPacked:
        std::memcpy(dst, planes, w);
        break;
    case kRhv2FmtGrayDepth:
    case kRhv2FmtGrayDepthRaw:
        for (size_t p = 0; p < w; ++p) dst[p] = replicate(planes[p], depth);
        break;
    case kRhv2FmtFive:
        join<5>(planes, width, dst, [](unsigned, uint8_t b) { return b; });
        break;
    case kRhv2FmtFiveDepth:
    case kRhv2FmtFiveDepthRaw:
        join<5>(planes, width, dst,
                [depth](unsigned c, uint8_t b) { return c == 4 ? b : replicate(b, depth); });
        break;
    case kRhv2FmtInterleaved4:
        join<4>(planes, width, dst, [](unsigned, uint8_t b) { return b; });
        break;
    case kRhv2FmtInterleaved3:
        join<3>(planes, width, dst, [](unsigned, uint8_t b) { return b; });
        break;
    default:
        break;
    }
}

void pack_bits(const uint8_t* plane, uint32_t width, uint8_t* dst) {
    const size_t bytes = (size_t(width) + 7) / 8;
    std::memset(dst, 0, bytes);
    for (size_t p = 0; p < width; ++p)
        dst[p >> 3] = static_cast<uint8_t>(dst[p >> 3] | ((plane[p] & 1u) << (7 - (p & 7))));
}

void unpack_bits(const uint8_t* src, uint32_t width, uint8_t* plane) {
    for (size_t p = 0; p < width; ++p) plane[p] = (src[p >> 3] >> (7 - (p & 7))) & 1u;
}

}  // namespace ovcg::rhv2

namespace ovcg {

void Rhv2YuvConv(const uint8_t* input, uint32_t width, uint8_t* output) {
    if (!input || !output) return;
    for (uint32_t p = 0; p < width; p += 2) {
        const uint8_t* a = input + 4 * size_t(p);
        const uint8_t* b = p + 1 < width ? a + 4 : a;
        uint8_t pair[8];
        rhv2::yuv_pair(a, b, pair, pair + 4);
        std::memcpy(output + 4 * size_t(p), pair, p + 1 < width ? 8 : 4);
    }
}

void Rhv2YuvDeconv(const uint8_t* input, uint32_t width, uint8_t* output) {
    if (!input || !output) return;
    auto clamp = [](int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
    for (size_t p = 0; p < width; ++p) {
        const uint8_t* in = input + 4 * p;
        const int y = in[0], u = in[1] - 128, v = in[2] - 128;
        const uint8_t alpha = in[3];
        uint8_t* out = output + 4 * p;
        out[0] = clamp(y - (u >> 1) + ((3 * v) >> 1));
        out[1] = clamp(y - (u >> 1) - (v >> 1));
        out[2] = clamp(y + ((3 * u) >> 1) - (v >> 1));
        out[3] = alpha;
    }
}

uint32_t Rhv2FormatComponents(uint32_t format) {
    const rhv2::FormatInfo* f = rhv2::format_info(format);
    return f ? f->components : 0;
}

}  // namespace ovcg
