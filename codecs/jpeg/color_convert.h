// Colour conversion of one MCU: RGB or BGR pixels to level-shifted Y, Cb, Cr
// samples in block order, with the chrominance subsampled by picking one pixel
// per group (no averaging).
//
// One template serves every byte order, sampling and sample type; the
// converters below are its instantiations, indexed by 4 * (BGR order) +
// sampling. The 16-bit converters feed the integer DCT, the float ones the
// float DCT.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovcg::jpeg {

enum class PixelOrder { Rgb, Bgr };

// MCU geometry per sampling 0..3: 8x8, 8x16, 16x8, 16x16 pixels.
inline constexpr int McuWidth(int sampling) { return (sampling == 2 || sampling == 3) ? 16 : 8; }
inline constexpr int McuHeight(int sampling) { return (sampling == 1 || sampling == 3) ? 16 : 8; }
inline constexpr int YBlocks(int sampling) { return (McuWidth(sampling) / 8) * (McuHeight(sampling) / 8); }

struct ConvertParams {
    const uint8_t* levels;  // input level table
    int pixelStep;          // bytes from one pixel to the next (3 or 4)
    bool floatArithmetic;   // float coefficients; otherwise the integer matrix
    // 4-byte pixels with the pad byte last and the identity level table:
    // whole pixels may be read four at a time.
    bool wholePixels;
};

// Largest MCU sample buffer: four Y blocks, Cb, Cr.
inline constexpr int kMaxMcuSamples = 6 * 64;

// Reads the MCU at `px` (lines `stride` bytes apart) and fills `mcu` with the
// Y blocks (left to right, then top to bottom), then Cb, then Cr.
//
// Float samples: with float arithmetic the unrounded float formulas below,
// otherwise the integer matrix. 16-bit samples: the integer matrix, or with
// float arithmetic the float formulas rounded to the nearest integer (half
// up, like the matrix's +512 >> 10): floor(Y + 0.5), floor(Cb + 0.5),
// floor(Cr + 0.5).
template <PixelOrder Order, int Sampling, typename Sample>
void ConvertMcu(const ConvertParams& p, const uint8_t* px, ptrdiff_t stride, Sample* mcu);

template <typename Sample>
using McuConverterOf = void (*)(const ConvertParams&, const uint8_t*, ptrdiff_t, Sample*);
using McuConverter = McuConverterOf<float>;
using McuConverterInt = McuConverterOf<int16_t>;

extern const McuConverter kFloatConverters[8];
extern const McuConverterInt kIntConverters[8];

inline constexpr McuConverterInt RgbToYuv111 = &ConvertMcu<PixelOrder::Rgb, 0, int16_t>;
inline constexpr McuConverterInt RgbToYuvH211 = &ConvertMcu<PixelOrder::Rgb, 1, int16_t>;
inline constexpr McuConverterInt RgbToYuvW211 = &ConvertMcu<PixelOrder::Rgb, 2, int16_t>;
inline constexpr McuConverterInt RgbToYuv411 = &ConvertMcu<PixelOrder::Rgb, 3, int16_t>;
inline constexpr McuConverterInt BgrToYuv111 = &ConvertMcu<PixelOrder::Bgr, 0, int16_t>;
inline constexpr McuConverterInt BrgToYuvH211 = &ConvertMcu<PixelOrder::Bgr, 1, int16_t>;
inline constexpr McuConverterInt BgrToYuvW211 = &ConvertMcu<PixelOrder::Bgr, 2, int16_t>;
inline constexpr McuConverterInt BgrToYuv411 = &ConvertMcu<PixelOrder::Bgr, 3, int16_t>;
inline constexpr McuConverter RgbToYuv111_Float = &ConvertMcu<PixelOrder::Rgb, 0, float>;
inline constexpr McuConverter RgbToYuvH211_Float = &ConvertMcu<PixelOrder::Rgb, 1, float>;
inline constexpr McuConverter RgbToYuvW211_Float = &ConvertMcu<PixelOrder::Rgb, 2, float>;
inline constexpr McuConverter RgbToYuv411_Float = &ConvertMcu<PixelOrder::Rgb, 3, float>;
inline constexpr McuConverter BgrToYuv111_Float = &ConvertMcu<PixelOrder::Bgr, 0, float>;
inline constexpr McuConverter BrgToYuvH211_Float = &ConvertMcu<PixelOrder::Bgr, 1, float>;
inline constexpr McuConverter BgrToYuvW211_Float = &ConvertMcu<PixelOrder::Bgr, 2, float>;
inline constexpr McuConverter BgrToYuv411_Float = &ConvertMcu<PixelOrder::Bgr, 3, float>;

// The float colour formulas, shared with the single-colour shortcut so that
// both give the same samples: Y = 0.299 R + 0.587 G + 0.114 B - 128,
// Cb = -0.1687 R - 0.3313 G + 0.5 B, Cr = 0.5 R - 0.4187 G - 0.0813 B, in
// single precision, the products summed in that order.
struct FloatYcc {
    float y, cb, cr;
};
FloatYcc FloatColour(uint8_t r, uint8_t g, uint8_t b);

// The integer matrix: each component (c1 R + c2 G + c3 B + offset) >> 10.
struct IntYcc {
    int y, cb, cr;
};
IntYcc IntColour(uint8_t r, uint8_t g, uint8_t b);

}  // namespace ovcg::jpeg
