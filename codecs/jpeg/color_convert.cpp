#include "codecs/jpeg/color_convert.h"

#include "codecs/jpeg/markers.h"

#include <array>
#include <bit>
#include <cstring>
#include <type_traits>

namespace ovcg::jpeg {
namespace {

// Products k * coefficient for every level k, in single precision. Constant:
// built at compile time, shared by all encoders on all threads.
using Products = std::array<float, 256>;
constexpr Products MakeProducts(float coefficient) {
    Products t{};
    for (int k = 0; k < 256; ++k) t[static_cast<size_t>(k)] = static_cast<float>(k) * coefficient;
    return t;
}

constexpr Products TBL_R4Y = MakeProducts(0.299f), TBL_G4Y = MakeProducts(0.587f), TBL_B4Y = MakeProducts(0.114f);
constexpr Products TBL_R4U = MakeProducts(-0.1687f), TBL_G4U = MakeProducts(-0.3313f), TBL_B4U = MakeProducts(0.5f);
constexpr Products TBL_R4V = MakeProducts(0.5f), TBL_G4V = MakeProducts(-0.4187f), TBL_B4V = MakeProducts(-0.0813f);

inline FloatYcc TableColour(uint8_t r, uint8_t g, uint8_t b) {
    return {TBL_R4Y[r] + TBL_G4Y[g] + TBL_B4Y[b] - 128.0f, TBL_R4U[r] + TBL_G4U[g] + TBL_B4U[b],
            TBL_R4V[r] + TBL_G4V[g] + TBL_B4V[b]};
}

// One row of the integer matrix: (c1 R + c2 G + c3 B + offset) >> 10.
template <int Row>
inline int MatrixRow(int r, int g, int b) {
    const auto& m = kColourMatrix[Row];
    return (m[0] * r + m[1] * g + m[2] * b + kMatrixOffsets[Row]) >> 10;
}

inline IntYcc MatrixColour(int r, int g, int b) {
    return {MatrixRow<0>(r, g, b), MatrixRow<1>(r, g, b), MatrixRow<2>(r, g, b)};
}

// floor(x) for |x| < 2^31.
inline int Floor(float x) {
    const int t = static_cast<int>(x);
    return static_cast<float>(t) > x ? t - 1 : t;
}

// One pixel's samples of the chosen type and arithmetic.
template <typename Sample, bool Float>
struct PixelColour {
    static Sample Y(uint8_t r, uint8_t g, uint8_t b) {
        if constexpr (std::is_same_v<Sample, float>) {
            if constexpr (Float) return TBL_R4Y[r] + TBL_G4Y[g] + TBL_B4Y[b] - 128.0f;
            else return static_cast<float>(MatrixRow<0>(r, g, b));
        } else {
            if constexpr (Float) return static_cast<int16_t>(Floor(TBL_R4Y[r] + TBL_G4Y[g] + TBL_B4Y[b] - 127.5f));
            else return static_cast<int16_t>(MatrixRow<0>(r, g, b));
        }
    }
    static void CbCr(uint8_t r, uint8_t g, uint8_t b, Sample* cb, Sample* cr) {
        if constexpr (std::is_same_v<Sample, float>) {
            if constexpr (Float) {
                *cb = TBL_R4U[r] + TBL_G4U[g] + TBL_B4U[b];
                *cr = TBL_R4V[r] + TBL_G4V[g] + TBL_B4V[b];
            } else {
                *cb = static_cast<float>(MatrixRow<1>(r, g, b));
                *cr = static_cast<float>(MatrixRow<2>(r, g, b));
            }
        } else {
            if constexpr (Float) {
                *cb = static_cast<int16_t>(Floor(TBL_R4U[r] + TBL_G4U[g] + TBL_B4U[b] + 0.5f));
                *cr = static_cast<int16_t>(Floor(TBL_R4V[r] + TBL_G4V[g] + TBL_B4V[b] + 0.5f));
            } else {
                *cb = static_cast<int16_t>(MatrixRow<1>(r, g, b));
                *cr = static_cast<int16_t>(MatrixRow<2>(r, g, b));
            }
        }
    }
};

// Four lanes; every lane gets exactly the operations of the scalar formulas.
typedef float V4 __attribute__((vector_size(16)));
typedef int32_t V4i __attribute__((vector_size(16)));

// 8x8 MCUs of whole 4-byte pixels with the float formulas, four pixels at a
// time: the level bytes to float (exact), then the products and sums of the
// formulas in their order, so each sample equals the table form's.
template <PixelOrder Order>
void ConvertWholePixels(const uint8_t* px, ptrdiff_t stride, float* mcu) {
    float* cb = mcu + 64;
    float* cr = cb + 64;
    constexpr int kR = Order == PixelOrder::Rgb ? 0 : 16, kB = Order == PixelOrder::Rgb ? 16 : 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; x += 4) {
            V4i w;
            std::memcpy(&w, px + y * stride + 4 * x, sizeof w);
            const V4 r = __builtin_convertvector((w >> kR) & 0xFF, V4);
            const V4 g = __builtin_convertvector((w >> 8) & 0xFF, V4);
            const V4 b = __builtin_convertvector((w >> kB) & 0xFF, V4);
            const V4 vy = r * 0.299f + g * 0.587f + b * 0.114f - 128.0f;
            const V4 vcb = r * -0.1687f + g * -0.3313f + b * 0.5f;
            const V4 vcr = r * 0.5f + g * -0.4187f + b * -0.0813f;
            std::memcpy(mcu + 8 * y + x, &vy, sizeof vy);
            std::memcpy(cb + 8 * y + x, &vcb, sizeof vcb);
            std::memcpy(cr + 8 * y + x, &vcr, sizeof vcr);
        }
    }
}

template <PixelOrder Order, int Sampling, typename Sample, bool Float>
void ConvertMcuImpl(const ConvertParams& p, const uint8_t* px, ptrdiff_t stride, Sample* mcu) {
    using C = PixelColour<Sample, Float>;
    constexpr int kW = McuWidth(Sampling), kH = McuHeight(Sampling);
    constexpr int kBlocksAcross = kW / 8;
    constexpr int kSx = kW / 8, kSy = kH / 8;  // chrominance subsampling factors
    constexpr int kYBlocks = YBlocks(Sampling);
    Sample* cb = mcu + kYBlocks * 64;
    Sample* cr = cb + 64;
    const uint8_t* lv = p.levels;
    const int step = p.pixelStep;
    for (int y = 0; y < kH; ++y) {
        const uint8_t* s = px + y * stride;
        Sample* yRow = mcu + ((y / 8) * kBlocksAcross) * 64 + (y % 8) * 8;
        const bool chromaLine = (y % kSy) == 0;
        for (int x = 0; x < kW; ++x, s += step) {
            const uint8_t r = lv[Order == PixelOrder::Rgb ? s[0] : s[2]];
            const uint8_t g = lv[s[1]];
            const uint8_t b = lv[Order == PixelOrder::Rgb ? s[2] : s[0]];
            yRow[(x / 8) * 64 + (x % 8)] = C::Y(r, g, b);
            if (chromaLine && (x % kSx) == 0) {
                const int cPos = 8 * (y / kSy) + x / kSx;
                C::CbCr(r, g, b, cb + cPos, cr + cPos);
            }
        }
    }
}

}  // namespace

FloatYcc FloatColour(uint8_t r, uint8_t g, uint8_t b) { return TableColour(r, g, b); }
IntYcc IntColour(uint8_t r, uint8_t g, uint8_t b) { return MatrixColour(r, g, b); }

template <PixelOrder Order, int Sampling, typename Sample>
void ConvertMcu(const ConvertParams& p, const uint8_t* px, ptrdiff_t stride, Sample* mcu) {
    if constexpr (Sampling == 0 && std::is_same_v<Sample, float> && std::endian::native == std::endian::little) {
        if (p.floatArithmetic && p.wholePixels) {
            ConvertWholePixels<Order>(px, stride, mcu);
            return;
        }
    }
    if (p.floatArithmetic) {
        ConvertMcuImpl<Order, Sampling, Sample, true>(p, px, stride, mcu);
    } else {
        ConvertMcuImpl<Order, Sampling, Sample, false>(p, px, stride, mcu);
    }
}

#define OVCG_CONVERTERS(T)                                                                              \
    template void ConvertMcu<PixelOrder::Rgb, 0, T>(const ConvertParams&, const uint8_t*, ptrdiff_t, T*); \
    template void ConvertMcu<PixelOrder::Rgb, 1, T>(const ConvertParams&, const uint8_t*, ptrdiff_t, T*); \
    template void ConvertMcu<PixelOrder::Rgb, 2, T>(const ConvertParams&, const uint8_t*, ptrdiff_t, T*); \
    template void ConvertMcu<PixelOrder::Rgb, 3, T>(const ConvertParams&, const uint8_t*, ptrdiff_t, T*); \
    template void ConvertMcu<PixelOrder::Bgr, 0, T>(const ConvertParams&, const uint8_t*, ptrdiff_t, T*); \
    template void ConvertMcu<PixelOrder::Bgr, 1, T>(const ConvertParams&, const uint8_t*, ptrdiff_t, T*); \
    template void ConvertMcu<PixelOrder::Bgr, 2, T>(const ConvertParams&, const uint8_t*, ptrdiff_t, T*); \
    template void ConvertMcu<PixelOrder::Bgr, 3, T>(const ConvertParams&, const uint8_t*, ptrdiff_t, T*);
OVCG_CONVERTERS(float)
OVCG_CONVERTERS(int16_t)
#undef OVCG_CONVERTERS

const McuConverter kFloatConverters[8] = {
    RgbToYuv111_Float, RgbToYuvH211_Float, RgbToYuvW211_Float, RgbToYuv411_Float,
    BgrToYuv111_Float, BrgToYuvH211_Float, BgrToYuvW211_Float, BgrToYuv411_Float};
const McuConverterInt kIntConverters[8] = {RgbToYuv111, RgbToYuvH211, RgbToYuvW211, RgbToYuv411,
                                           BgrToYuv111, BrgToYuvH211, BgrToYuvW211, BgrToYuv411};

}  // namespace ovcg::jpeg
