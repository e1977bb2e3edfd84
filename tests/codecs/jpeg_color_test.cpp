#include "codecs/jpeg/color_convert.h"
#include "codecs/jpeg/markers.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace ovcg::jpeg {
namespace {

// The literal per-pixel formulas.
void Literal(uint8_t r, uint8_t g, uint8_t b, bool useFloat, float out[3]) {
    if (useFloat) {
        const float R = r, G = g, B = b;
        out[0] = 0.299f * R + 0.587f * G + 0.114f * B - 128.0f;
        out[1] = -0.1687f * R + -0.3313f * G + 0.5f * B;
        out[2] = 0.5f * R + -0.4187f * G + -0.0813f * B;
    } else {
        out[0] = static_cast<float>((306 * r + 601 * g + 117 * b - 130560) >> 10);
        out[1] = static_cast<float>((-173 * r - 339 * g + 512 * b + 512) >> 10);
        out[2] = static_cast<float>((512 * r - 429 * g - 83 * b + 512) >> 10);
    }
}

// The encoder picks converter 4 * (BGR order) + sampling from the table.
TEST(JpegColour, EveryConverterMatchesTheLiteralFormulaPerPixel) {
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
                    const uint8_t* lv = InputLevelTable(mode);
                    const ConvertParams p{lv, step, useFloat};
                    float mcu[kMaxMcuSamples];
                    for (auto& m : mcu) m = -9999.0f;
                    kFloatConverters[i](p, buf.data(), stride, mcu);
                    const int yBlocks = YBlocks(sampling);
                    const int sx = w / 8, sy = h / 8;
                    for (int y = 0; y < h; ++y) {
                        for (int x = 0; x < w; ++x) {
                            const uint8_t* px = buf.data() + y * stride + x * step;
                            const uint8_t r = lv[bgr ? px[2] : px[0]], g = lv[px[1]], b = lv[bgr ? px[0] : px[2]];
                            float e[3];
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

}  // namespace
}  // namespace ovcg::jpeg
