#include "codecs/jpeg/color_convert.h"
#include "codecs/jpeg/markers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <type_traits>
#include <vector>

namespace ovcg::jpeg {
namespace {

// The literal per-pixel formulas: float samples unrounded, 16-bit samples
// rounded to nearest (the float sums plus one half, floored).
template <typename Sample>
void Literal(uint8_t r, uint8_t g, uint8_t b, bool useFloat, Sample out[3]) {
    if (useFloat) {
        const float R = r, G = g, B = b;
        const float y = 0.299f * R + 0.587f * G + 0.114f * B, cb = -0.1687f * R + -0.3313f * G + 0.5f * B;
        const float cr = 0.5f * R + -0.4187f * G + -0.0813f * B;
        if constexpr (std::is_same_v<Sample, float>) {
            out[0] = y - 128.0f;
            out[1] = cb;
            out[2] = cr;
        } else {
            out[0] = static_cast<Sample>(std::floor(y - 127.5f));
            out[1] = static_cast<Sample>(std::floor(cb + 0.5f));
            out[2] = static_cast<Sample>(std::floor(cr + 0.5f));
        }
    } else {
        out[0] = static_cast<Sample>((306 * r + 601 * g + 117 * b - 130560) >> 10);
        out[1] = static_cast<Sample>((-173 * r - 339 * g + 512 * b + 512) >> 10);
        out[2] = static_cast<Sample>((512 * r - 429 * g - 83 * b + 512) >> 10);
    }
}

template <typename Sample>
const McuConverterOf<Sample>* Converters() {
    if constexpr (std::is_same_v<Sample, float>) {
        return kFloatConverters;
    } else {
        return kIntConverters;
    }
}

template <typename T>
class JpegColour : public ::testing::Test {};
using SampleTypes = ::testing::Types<float, int16_t>;
TYPED_TEST_SUITE(JpegColour, SampleTypes);

// The encoder picks converter 4 * (BGR order) + sampling from the table.
TYPED_TEST(JpegColour, EveryConverterMatchesTheLiteralFormulaPerPixel) {
    using Sample = TypeParam;
    std::mt19937 rng(7);
    for (int i = 0; i < 8; ++i) {
        const bool bgr = i >= 4;
        const int sampling = i % 4;
        for (bool useFloat : {true, false}) {
            for (int step : {3, 4}) {
                for (uint32_t mode : {1u, 2u, 3u}) {
                    const int w = McuWidth(sampling), h = McuHeight(sampling);
                    const ptrdiff_t stride = w * step + 5;
                    std::vector<uint8_t> buf(static_cast<size_t>(stride * h));
                    for (auto& b : buf) b = static_cast<uint8_t>(rng());
                    buf[0] = buf[1] = buf[2] = 0;  // black and white among the pixels
                    std::fill(buf.end() - step - 5, buf.end() - 5, 255);
                    const uint8_t* lv = InputLevelTable(mode);
                    const ConvertParams p{lv, step, useFloat, step == 4 && mode == 1};
                    Sample mcu[kMaxMcuSamples];
                    for (auto& m : mcu) m = static_cast<Sample>(-9999);
                    Converters<Sample>()[i](p, buf.data(), stride, mcu);
                    const int yBlocks = YBlocks(sampling);
                    const int sx = w / 8, sy = h / 8;
                    for (int y = 0; y < h; ++y) {
                        for (int x = 0; x < w; ++x) {
                            const uint8_t* px = buf.data() + y * stride + x * step;
                            const uint8_t r = lv[bgr ? px[2] : px[0]], g = lv[px[1]], b = lv[bgr ? px[0] : px[2]];
                            Sample e[3];
                            Literal(r, g, b, useFloat, e);
                            const int blk = (y / 8) * (w / 8) + x / 8;
                            ASSERT_EQ(mcu[blk * 64 + (y % 8) * 8 + x % 8], e[0]) << "converter " << i << " " << x << "," << y;
                            if (x % sx == 0 && y % sy == 0) {
                                const int pos = 8 * (y / sy) + x / sx;
                                ASSERT_EQ(mcu[yBlocks * 64 + pos], e[1]) << "converter " << i << " Cb " << x << "," << y;
                                ASSERT_EQ(mcu[(yBlocks + 1) * 64 + pos], e[2]) << "converter " << i << " Cr " << x << "," << y;
                            }
                        }
                    }
                }
            }
        }
    }
}

// The literal formulas (whose samples every converter must give, black and
// white pixels included) on white and black: Y 127 and -128 without colour
// (float samples with float arithmetic: nearly 127, and -128).
TYPED_TEST(JpegColour, LiteralWhiteAndBlack) {
    using Sample = TypeParam;
    for (bool useFloat : {true, false})
        for (uint8_t level : {uint8_t{0}, uint8_t{255}}) {
            Sample e[3];
            Literal(level, level, level, useFloat, e);
            EXPECT_NEAR(e[0], level ? 127 : -128, 1e-4);
            EXPECT_NEAR(e[1], 0, 1e-4);
            EXPECT_NEAR(e[2], 0, 1e-4);
        }
}

}  // namespace
}  // namespace ovcg::jpeg
