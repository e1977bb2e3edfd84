#include "codecs/jpeg/color_convert.h"

#include "codecs/jpeg/markers.h"

#include <array>

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

inline IntYcc MatrixColour(int r, int g, int b) {
    const auto& m = kColourMatrix;
    return {(m[0][0] * r + m[0][1] * g + m[0][2] * b + kMatrixOffsets[0]) >> 10,
            (m[1][0] * r + m[1][1] * g + m[1][2] * b + kMatrixOffsets[1]) >> 10,
            (m[2][0] * r + m[2][1] * g + m[2][2] * b + kMatrixOffsets[2]) >> 10};
}

template <PixelOrder Order, int Sampling, bool Float>
void ConvertMcuImpl(const ConvertParams& p, const uint8_t* px, ptrdiff_t stride, float* mcu) {
    constexpr int kW = McuWidth(Sampling), kH = McuHeight(Sampling);
    constexpr int kBlocksAcross = kW / 8;
    constexpr int kSx = kW / 8, kSy = kH / 8;  // chrominance subsampling factors
    constexpr int kYBlocks = YBlocks(Sampling);
    float* cb = mcu + kYBlocks * 64;
    float* cr = cb + 64;
    const uint8_t* lv = p.levels;
    const int step = p.pixelStep;
    for (int y = 0; y < kH; ++y) {
        const uint8_t* s = px + y * stride;
        float* yRow = mcu + ((y / 8) * kBlocksAcross) * 64 + (y % 8) * 8;
        const bool chromaLine = (y % kSy) == 0;
        for (int x = 0; x < kW; ++x, s += step) {
            const uint8_t r = lv[Order == PixelOrder::Rgb ? s[0] : s[2]];
            const uint8_t g = lv[s[1]];
            const uint8_t b = lv[Order == PixelOrder::Rgb ? s[2] : s[0]];
            const int yPos = (x / 8) * 64 + (x % 8);
            const bool chroma = chromaLine && (x % kSx) == 0;
            const int cPos = 8 * (y / kSy) + x / kSx;
            if constexpr (Float) {
                const FloatYcc c = TableColour(r, g, b);
                yRow[yPos] = c.y;
                if (chroma) {
                    cb[cPos] = c.cb;
                    cr[cPos] = c.cr;
                }
            } else {
                const IntYcc c = MatrixColour(r, g, b);
                yRow[yPos] = static_cast<float>(c.y);
                if (chroma) {
                    cb[cPos] = static_cast<float>(c.cb);
                    cr[cPos] = static_cast<float>(c.cr);
                }
            }
        }
    }
}

}  // namespace

FloatYcc FloatColour(uint8_t r, uint8_t g, uint8_t b) { return TableColour(r, g, b); }
IntYcc IntColour(uint8_t r, uint8_t g, uint8_t b) { return MatrixColour(r, g, b); }

template <PixelOrder Order, int Sampling>
void ConvertMcu(const ConvertParams& p, const uint8_t* px, ptrdiff_t stride, float* mcu) {
    if (p.floatArithmetic) {
        ConvertMcuImpl<Order, Sampling, true>(p, px, stride, mcu);
    } else {
        ConvertMcuImpl<Order, Sampling, false>(p, px, stride, mcu);
    }
}

template void ConvertMcu<PixelOrder::Rgb, 0>(const ConvertParams&, const uint8_t*, ptrdiff_t, float*);
template void ConvertMcu<PixelOrder::Rgb, 1>(const ConvertParams&, const uint8_t*, ptrdiff_t, float*);
template void ConvertMcu<PixelOrder::Rgb, 2>(const ConvertParams&, const uint8_t*, ptrdiff_t, float*);
template void ConvertMcu<PixelOrder::Rgb, 3>(const ConvertParams&, const uint8_t*, ptrdiff_t, float*);
template void ConvertMcu<PixelOrder::Bgr, 0>(const ConvertParams&, const uint8_t*, ptrdiff_t, float*);
template void ConvertMcu<PixelOrder::Bgr, 1>(const ConvertParams&, const uint8_t*, ptrdiff_t, float*);
template void ConvertMcu<PixelOrder::Bgr, 2>(const ConvertParams&, const uint8_t*, ptrdiff_t, float*);
template void ConvertMcu<PixelOrder::Bgr, 3>(const ConvertParams&, const uint8_t*, ptrdiff_t, float*);

const McuConverter kFloatConverters[8] = {
    RgbToYuv111_Float, RgbToYuvH211_Float, RgbToYuvW211_Float, RgbToYuv411_Float,
    BgrToYuv111_Float, BrgToYuvH211_Float, BgrToYuvW211_Float, BgrToYuv411_Float};

}  // namespace ovcg::jpeg
