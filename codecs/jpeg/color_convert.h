// Colour conversion of one MCU: RGB or BGR pixels to level-shifted Y, Cb, Cr
// samples in block order, with the chrominance subsampled by picking one pixel
// per group (no averaging).
//
// One template serves every byte order and sampling; the converters below are
// its instantiations, indexed by 4 * (BGR order) + sampling.
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
};

// Largest MCU sample buffer: four Y blocks, Cb, Cr.
inline constexpr int kMaxMcuSamples = 6 * 64;

// Reads the MCU at `px` (lines `stride` bytes apart) and fills `mcu` with the
// Y blocks (left to right, then top to bottom), then Cb, then Cr.
template <PixelOrder Order, int Sampling>
void ConvertMcu(const ConvertParams& p, const uint8_t* px, ptrdiff_t stride, float* mcu);

using McuConverter = void (*)(const ConvertParams&, const uint8_t*, ptrdiff_t, float*);

extern const McuConverter kFloatConverters[8];

inline constexpr McuConverter RgbToYuv111_Float = &ConvertMcu<PixelOrder::Rgb, 0>;
inline constexpr McuConverter RgbToYuvH211_Float = &ConvertMcu<PixelOrder::Rgb, 1>;
inline constexpr McuConverter RgbToYuvW211_Float = &ConvertMcu<PixelOrder::Rgb, 2>;
inline constexpr McuConverter RgbToYuv411_Float = &ConvertMcu<PixelOrder::Rgb, 3>;
inline constexpr McuConverter BgrToYuv111_Float = &ConvertMcu<PixelOrder::Bgr, 0>;
inline constexpr McuConverter BrgToYuvH211_Float = &ConvertMcu<PixelOrder::Bgr, 1>;
inline constexpr McuConverter BgrToYuvW211_Float = &ConvertMcu<PixelOrder::Bgr, 2>;
inline constexpr McuConverter BgrToYuv411_Float = &ConvertMcu<PixelOrder::Bgr, 3>;

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
