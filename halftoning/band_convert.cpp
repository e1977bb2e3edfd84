#include "halftoning/band_convert.h"

#include <array>
#include <cstring>
#include <new>
#include <utility>

namespace ovcg {
namespace {

// The reduction's generator: seed = seed x 48828125 + 1 (mod 2^32), one step
// per pixel. Eight lanes advance eight steps at a time so that the block's
// random bytes come without a serial multiply chain; the sequence is the same.
constexpr uint32_t kSeedMul = 48828125u;
constexpr uint32_t kSeedInc = 1u;
constexpr unsigned kLanes = 8;

struct Affine {
    uint32_t mul;
    uint32_t inc;
};
constexpr Affine kLaneJump = [] {
    Affine a{1u, 0u};
    for (unsigned i = 0; i < kLanes; ++i) a = Affine{a.mul * kSeedMul, a.inc * kSeedMul + kSeedInc};
    return a;
}();

// Pixels per block: the block is copied out before it is written back, which
// keeps the in-place conversion free of aliasing (the output of a block never
// reaches the input of the next one, since no output is wider than its input).
constexpr size_t kBlock = 256;

// Fills r[0..n) with the top bytes of the seeds s0, s1, ... and returns s_n.
uint32_t RandomBytes(uint32_t seed, size_t n, uint8_t* r) {
    uint32_t s[kBlock + kLanes];
    s[0] = seed;
    for (unsigned i = 1; i < kLanes; ++i) s[i] = s[i - 1] * kSeedMul + kSeedInc;
    for (size_t i = kLanes; i < n + kLanes; ++i) s[i] = s[i - kLanes] * kLaneJump.mul + kLaneJump.inc;
    for (size_t i = 0; i < n; ++i) r[i] = static_cast<uint8_t>(s[i] >> 24);
    return s[n];
}

inline uint8_t Reduce(uint32_t v, uint32_t r) { return static_cast<uint8_t>((v - (v >> 8) + r) >> 8); }

template <unsigned C>
void ReduceFixed(const uint8_t* src, uint8_t* dst, size_t pixels, uint32_t& seed) {
    uint16_t in[kBlock * C];
    uint8_t out[kBlock * C];
    uint8_t r[kBlock];
    for (size_t done = 0; done < pixels; done += kBlock) {
        const size_t n = pixels - done < kBlock ? pixels - done : kBlock;
        std::memcpy(in, src + done * C * 2, n * C * 2);
        seed = RandomBytes(seed, n, r);
        for (size_t p = 0; p < n; ++p)
            for (unsigned c = 0; c < C; ++c) out[p * C + c] = Reduce(in[p * C + c], r[p]);
        std::memcpy(dst + done * C, out, n * C);
    }
}

// Any component count: pixel by pixel (each pixel is read whole before its
// bytes are written).
void ReduceAny(const uint8_t* src, uint8_t* dst, size_t pixels, size_t comps, uint32_t& seed) {
    for (size_t p = 0; p < pixels; ++p) {
        const uint32_t r = seed >> 24;
        for (size_t c = 0; c < comps; ++c) {
            uint16_t v;
            std::memcpy(&v, src + (p * comps + c) * 2, 2);
            dst[p * comps + c] = Reduce(v, r);
        }
        seed = seed * kSeedMul + kSeedInc;
    }
}

using ReduceFn = void (*)(const uint8_t*, uint8_t*, size_t, uint32_t&);
template <size_t... I>
constexpr auto MakeReduceTable(std::index_sequence<I...>) {
    return std::array<ReduceFn, sizeof...(I)>{&ReduceFixed<static_cast<unsigned>(I + 1)>...};
}
// Component counts 1 to 12 (gray, RGB, RGBX/CMYK, up to twelve ink planes).
constexpr auto kReduceTable = MakeReduceTable(std::make_index_sequence<12>{});
static_assert(kReduceTable.size() == 12);

void ReduceBytes(const uint8_t* src, uint8_t* dst, size_t pixels, size_t comps, uint32_t& seed) {
    if (comps >= 1 && comps <= kReduceTable.size())
        kReduceTable[comps - 1](src, dst, pixels, seed);
    else
        ReduceAny(src, dst, pixels, comps, seed);
}

// Gray = (30 R + 59 G + 11 B) / 100 truncated. The sum is at most 25500, and
// for such x, (x x 5243) >> 19 is x / 100 exactly (5243 x 100 = 2^19 + 12, so
// the error stays below 0.006 while the fraction of x / 100 is at most 0.99).
constexpr uint8_t GrayOf(uint32_t r, uint32_t g, uint32_t b) {
    return static_cast<uint8_t>(((30 * r + 59 * g + 11 * b) * 5243u) >> 19);
}
constexpr bool GrayDivisionExact() {
    for (uint32_t x = 0; x <= 25500; ++x)
        if (((x * 5243u) >> 19) != x / 100) return false;
    return true;
}
static_assert(GrayDivisionExact());

// Byte positions of the channels in each source layout.
struct Channels {
    unsigned r, g, b, x;
};
constexpr Channels ChannelsOf(PixelLayout l) {
    switch (l) {
        case PixelLayout::kBGR: return {2, 1, 0, 0};
        case PixelLayout::kRGBX: return {0, 1, 2, 3};
        case PixelLayout::kBGRX: return {2, 1, 0, 3};
        case PixelLayout::kCMYK: return {0, 0, 0, 3};  // x: the K byte
    }
    return {0, 0, 0, 0};
}

constexpr unsigned OutputBytes(PixelLayout in, PixelOutput out) {
    return out == PixelOutput::kGray || out == PixelOutput::kBlack ? 1u : LayoutComponents(in);
}

template <PixelLayout In, PixelOutput Out, bool Alpha>
void RearrangeBlocks(uint8_t* line, size_t pixels, uint8_t* alpha) {
    constexpr unsigned kIn = LayoutComponents(In);
    constexpr unsigned kOut = OutputBytes(In, Out);
    constexpr Channels ch = ChannelsOf(In);
    uint8_t in[kBlock * kIn];
    uint8_t out[kBlock * kOut];
    for (size_t done = 0; done < pixels; done += kBlock) {
        const size_t n = pixels - done < kBlock ? pixels - done : kBlock;
        std::memcpy(in, line + done * kIn, n * kIn);
        for (size_t p = 0; p < n; ++p) {
            const uint8_t* s = in + p * kIn;
            uint8_t* d = out + p * kOut;
            if constexpr (Out == PixelOutput::kRGB) {
                d[0] = s[ch.r];
                d[1] = s[ch.g];
                d[2] = s[ch.b];
            } else if constexpr (Out == PixelOutput::kXRGB) {
                d[0] = s[ch.x];
                d[1] = s[ch.r];
                d[2] = s[ch.g];
                d[3] = s[ch.b];
            } else if constexpr (Out == PixelOutput::kGray) {
                d[0] = GrayOf(s[ch.r], s[ch.g], s[ch.b]);
            } else {
                d[0] = s[ch.x];
            }
        }
        if constexpr (Alpha)
            for (size_t p = 0; p < n; ++p) alpha[done + p] = in[p * kIn + ch.x];
        std::memcpy(line + done * kOut, out, n * kOut);
    }
}

}  // namespace

void Nch16to8(const unsigned short* src, unsigned char* dst, int pixels, int lines, int components,
              unsigned int* seed) {
    if (!src || !dst || pixels < 1 || lines < 1 || components < 1) return;
    uint32_t s = seed ? *seed : 0u;
    ReduceBytes(reinterpret_cast<const uint8_t*>(src), dst, static_cast<size_t>(pixels) * static_cast<size_t>(lines),
                static_cast<size_t>(components), s);
    if (seed) *seed = s;
}

template <PixelLayout In, PixelOutput Out>
void RearrangePixels(unsigned char* line, unsigned int pixels, unsigned char* alphaOut) {
    constexpr bool kAlpha = Out == PixelOutput::kGray && In != PixelLayout::kBGR;
    if constexpr (kAlpha) {
        if (alphaOut)
            RearrangeBlocks<In, Out, true>(line, pixels, alphaOut);
        else
            RearrangeBlocks<In, Out, false>(line, pixels, nullptr);
    } else {
        (void)alphaOut;
        RearrangeBlocks<In, Out, false>(line, pixels, nullptr);
    }
    // The gray outputs end with one terminator byte after the last pixel.
    if constexpr (Out == PixelOutput::kGray) line[pixels] = 255;
    if constexpr (Out == PixelOutput::kBlack) line[pixels] = 0;
}

template void RearrangePixels<PixelLayout::kBGR, PixelOutput::kRGB>(unsigned char*, unsigned, unsigned char*);
template void RearrangePixels<PixelLayout::kBGR, PixelOutput::kGray>(unsigned char*, unsigned, unsigned char*);
template void RearrangePixels<PixelLayout::kRGBX, PixelOutput::kGray>(unsigned char*, unsigned, unsigned char*);
template void RearrangePixels<PixelLayout::kBGRX, PixelOutput::kGray>(unsigned char*, unsigned, unsigned char*);
template void RearrangePixels<PixelLayout::kRGBX, PixelOutput::kXRGB>(unsigned char*, unsigned, unsigned char*);
template void RearrangePixels<PixelLayout::kBGRX, PixelOutput::kXRGB>(unsigned char*, unsigned, unsigned char*);
template void RearrangePixels<PixelLayout::kCMYK, PixelOutput::kBlack>(unsigned char*, unsigned, unsigned char*);

CBMPFormat::CBMPFormat(int components, int is16bit)
    : m_is16bit(is16bit ? 1u : 0u), m_components(components > 0 ? static_cast<unsigned>(components) : 0u) {}

void CBMPFormat::Convert(unsigned char* line, unsigned int pixels, unsigned char*) { ReduceLine(line, pixels); }

void CBMPFormat::ReduceLine(unsigned char* line, unsigned int pixels) {
    if (!m_is16bit || !line || pixels == 0 || m_components == 0) return;
    uint32_t s = m_seed;
    ReduceBytes(line, line, pixels, m_components, s);
    m_seed = s;
}

ConverterKind SelectConverter(int sourceFormat, int colourType, int monochrome) {
    const bool mono = monochrome != 0;
    switch (colourType) {
        case 0:
            switch (sourceFormat) {
                case 7: return ConverterKind::kRGBXtoGray;
                case 8: return ConverterKind::kBGRXtoGray;
                case 4: return ConverterKind::kCMYKtoGray;
                case 2: return ConverterKind::kBGRtoGray;
                default: return ConverterKind::kBase;
            }
        case 1: return sourceFormat == 2 ? ConverterKind::kBGRtoRGB : ConverterKind::kBase;
        case 2: return mono && sourceFormat == 2 ? ConverterKind::kBGRtoGray : ConverterKind::kBase;
        case 3:
            return sourceFormat == 7   ? ConverterKind::kRGBXtoXRGB
                   : sourceFormat == 8 ? ConverterKind::kBGRXtoXRGB
                                       : ConverterKind::kBase;
        case 4: return mono && sourceFormat == 4 ? ConverterKind::kCMYKtoGray : ConverterKind::kBase;
        case 7:
            if (mono && sourceFormat == 7) return ConverterKind::kRGBXtoGray;
            if (mono && sourceFormat == 8) return ConverterKind::kBGRXtoGray;
            return ConverterKind::kBase;
        default: return ConverterKind::kBase;
    }
}

std::unique_ptr<CBMPFormat> MakeConverter(ConverterKind kind, int components, int is16bit) {
    CBMPFormat* c = nullptr;
    switch (kind) {
        case ConverterKind::kBase: c = new (std::nothrow) CBMPFormat(components, is16bit); break;
        case ConverterKind::kBGRtoRGB: c = new (std::nothrow) CBGRtoRGB(is16bit); break;
        case ConverterKind::kBGRtoGray: c = new (std::nothrow) CBGRto8BITGRAY(is16bit); break;
        case ConverterKind::kRGBXtoGray: c = new (std::nothrow) CRGBXto8BITGRAY(is16bit); break;
        case ConverterKind::kBGRXtoGray: c = new (std::nothrow) CBGRXto8BITGRAY(is16bit); break;
        case ConverterKind::kRGBXtoXRGB: c = new (std::nothrow) CRGBXtoXRGB(is16bit); break;
        case ConverterKind::kBGRXtoXRGB: c = new (std::nothrow) CBGRXtoXRGB(is16bit); break;
        case ConverterKind::kCMYKtoGray: c = new (std::nothrow) CCMYKto8BITGRAY(is16bit); break;
    }
    return std::unique_ptr<CBMPFormat>(c);
}

}  // namespace ovcg
