#include "codecs/jpeg/color_convert.h"
#include "codecs/jpeg/markers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace ovcg::jpeg {
namespace {

struct ConvCase {
    const char* name;
    McuConverter fn;
    bool bgr;
    int sampling;
};

const ConvCase kConverters[] = {
    {"RgbToYuv111_Float", RgbToYuv111_Float, false, 0}, {"RgbToYuvH211_Float", RgbToYuvH211_Float, false, 1},
    {"RgbToYuvW211_Float", RgbToYuvW211_Float, false, 2}, {"RgbToYuv411_Float", RgbToYuv411_Float, false, 3},
    {"BgrToYuv111_Float", BgrToYuv111_Float, true, 0},  {"BrgToYuvH211_Float", BrgToYuvH211_Float, true, 1},
    {"BgrToYuvW211_Float", BgrToYuvW211_Float, true, 2}, {"BgrToYuv411_Float", BgrToYuv411_Float, true, 3},
};

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

TEST(JpegColour, TableIsIndexedByOrderAndSampling) {
    for (int i = 0; i < 8; ++i) EXPECT_EQ(kFloatConverters[i], kConverters[i].fn) << kConverters[i].name;
}

TEST(JpegColour, EveryConverterMatchesTheLiteralFormulaPerPixel) {
    std::mt19937 rng(7);
    for (const ConvCase& c : kConverters) {
        for (bool useFloat : {true, false}) {
            for (int step : {3, 4}) {
                for (uint32_t mode : {1u, 2u, 3u}) {
                    const int w = McuWidth(c.sampling), h = McuHeight(c.sampling);
                    const ptrdiff_t stride = w * step + 5;
                    std::vector<uint8_t> buf(static_cast<size_t>(stride * h));
                    for (auto& b : buf) b = static_cast<uint8_t>(rng());
                    const uint8_t* lv = InputLevelTable(mode);
                    const ConvertParams p{lv, step, useFloat};
                    float mcu[kMaxMcuSamples];
                    for (auto& m : mcu) m = -9999.0f;
                    c.fn(p, buf.data(), stride, mcu);
                    const int yBlocks = YBlocks(c.sampling);
                    const int sx = w / 8, sy = h / 8;
                    for (int y = 0; y < h; ++y) {
                        for (int x = 0; x < w; ++x) {
                            const uint8_t* px = buf.data() + y * stride + x * step;
                            const uint8_t r = lv[c.bgr ? px[2] : px[0]], g = lv[px[1]], b = lv[c.bgr ? px[0] : px[2]];
                            float e[3];
                            Literal(r, g, b, useFloat, e);
                            const int blk = (y / 8) * (w / 8) + x / 8;
                            ASSERT_EQ(mcu[blk * 64 + (y % 8) * 8 + x % 8], e[0]) << c.name << " " << x << "," << y;
                            if (x % sx == 0 && y % sy == 0) {
                                const int pos = 8 * (y / sy) + x / sx;
                                ASSERT_EQ(mcu[yBlocks * 64 + pos], e[1]) << c.name << " Cb " << x << "," << y;
                                ASSERT_EQ(mcu[(yBlocks + 1) * 64 + pos], e[2]) << c.name << " Cr " << x << "," << y;
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(JpegColour, BgrTwinsGiveTheSamplesOfSwappedBuffers) {
    std::mt19937 rng(11);
    for (int s = 0; s < 4; ++s) {
        const int w = McuWidth(s), h = McuHeight(s);
        std::vector<uint8_t> rgb(static_cast<size_t>(w * h * 4)), bgr;
        for (auto& b : rgb) b = static_cast<uint8_t>(rng());
        bgr = rgb;
        for (size_t i = 0; i < bgr.size(); i += 4) std::swap(bgr[i], bgr[i + 2]);
        const ConvertParams p{InputLevelTable(1), 4, true};
        float a[kMaxMcuSamples], b[kMaxMcuSamples];
        kFloatConverters[s](p, rgb.data(), w * 4, a);
        kFloatConverters[4 + s](p, bgr.data(), w * 4, b);
        const int n = (YBlocks(s) + 2) * 64;
        for (int i = 0; i < n; ++i) ASSERT_EQ(a[i], b[i]) << s << " " << i;
    }
}

TEST(JpegColour, FourToOneTakesTheTopLeftPixelOfEachGroup) {
    std::vector<uint8_t> buf(16 * 16 * 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            uint8_t* p = &buf[static_cast<size_t>((y * 16 + x) * 3)];
            const int which = (y % 2) * 2 + (x % 2);  // four colours per group
            p[0] = static_cast<uint8_t>(which == 0 ? 200 : 10);
            p[1] = static_cast<uint8_t>(which == 0 ? 20 : 240);
            p[2] = static_cast<uint8_t>(which == 0 ? 90 : 30 * which);
        }
    float mcu[kMaxMcuSamples];
    RgbToYuv411_Float(ConvertParams{InputLevelTable(1), 3, true}, buf.data(), 48, mcu);
    float e[3];
    Literal(200, 20, 90, true, e);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(mcu[4 * 64 + i], e[1]);
        ASSERT_EQ(mcu[5 * 64 + i], e[2]);
    }
}

TEST(JpegColour, BlackAndWhiteLevels) {
    const IntYcc white = IntColour(255, 255, 255), black = IntColour(0, 0, 0);
    EXPECT_EQ(white.y, 127);
    EXPECT_EQ(white.cb, 0);
    EXPECT_EQ(white.cr, 0);
    EXPECT_EQ(black.y, -128);
    EXPECT_EQ(black.cb, 0);
    EXPECT_EQ(black.cr, 0);
    const FloatYcc fb = FloatColour(0, 0, 0), fw = FloatColour(255, 255, 255);
    EXPECT_EQ(fb.y, -128.0f);
    EXPECT_NEAR(fw.y, 127.0f, 1e-3);
    EXPECT_NEAR(fw.cb, 0.0f, 1e-3);
    EXPECT_NEAR(fw.cr, 0.0f, 1e-3);
}

}  // namespace
}  // namespace ovcg::jpeg
