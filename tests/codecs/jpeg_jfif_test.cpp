// The coder's stand-alone JFIF front end: its header byte for byte, and whole
// files read back by libjpeg, pixels within the quantisation error of the
// standard's example tables and coefficients as the exact transform gives
// them.
#include "codecs/jpeg/jpeg_coder.h"
#include "jpeg_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/libjpeg_decode.h"

namespace ovcg_test::jpegt {
namespace {

using ovcg::jpeg::CJpegCoder;
using ovcg_test::LibjpegDecoder;
using ovcg_test::LibjpegResult;
using Read = ovcg_test::LibjpegRead;

struct Rgb {
    int width = 0, height = 0;
    Bytes px;  // R, G, B a pixel
    const uint8_t* at(int x, int y) const {
        // Edge pixels stand in for the MCU padding outside the image.
        x = std::min(x, width - 1);
        y = std::min(y, height - 1);
        return px.data() + 3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x));
    }
};

Rgb Photo(int w, int h, uint32_t seed, bool noise) {
    Rgb im{w, h, Bytes(3 * static_cast<size_t>(w) * static_cast<size_t>(h))};
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = im.px.data() + 3 * (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x));
            if (noise) {
                for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(rng());
                continue;
            }
            const int jitter = static_cast<int>(rng() % 5) - 2;
            p[0] = static_cast<uint8_t>(
                std::clamp(static_cast<int>(128 + 90 * std::sin(x * 0.05 + y * 0.03)) + jitter, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(static_cast<int>(128 + 90 * std::cos(y * 0.06)) + jitter, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(
                static_cast<int>(128 + 60 * std::sin(x * 0.11) * std::cos(y * 0.07)) + jitter, 0, 255));
        }
    return im;
}

// One MCU as the caller gives it: the JFIF colour transform, level-shifted,
// four luminance blocks (top left, top right, bottom left, bottom right),
// then Cb and Cr averaged over each 2 x 2 group.
using Mcu = std::array<float, 6 * 64>;
Mcu MakeMcu(const Rgb& im, int mx, int my) {
    Mcu m{};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const uint8_t* p = im.at(16 * mx + x, 16 * my + y);
            const int block = (y / 8) * 2 + x / 8;
            m[static_cast<size_t>(block * 64 + (y % 8) * 8 + x % 8)] =
                static_cast<float>(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2] - 128.0);
        }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double cb = 0, cr = 0;
            for (int k = 0; k < 4; ++k) {
                const uint8_t* p = im.at(16 * mx + 2 * x + k % 2, 16 * my + 2 * y + k / 2);
                cb += -0.168736 * p[0] - 0.331264 * p[1] + 0.5 * p[2];
                cr += 0.5 * p[0] - 0.418688 * p[1] - 0.081312 * p[2];
            }
            m[static_cast<size_t>(256 + y * 8 + x)] = static_cast<float>(cb / 4);
            m[static_cast<size_t>(320 + y * 8 + x)] = static_cast<float>(cr / 4);
        }
    return m;
}

struct JfifFile {
    Bytes bytes;
    size_t headerBytes = 0;
    std::vector<Mcu> mcus;  // as given to the coder, row by row
    int mcusAcross = 0, mcuRows = 0;
};

// Open, the MCUs through a `chunk`-byte buffer drained whenever it is half
// full, Close.
JfifFile Encode(const Rgb& im, size_t chunk = 4096) {
    JfifFile f;
    CJpegCoder coder;
    Bytes head(CJpegCoder::kJfifHeaderLimit, 0xEE);
    int written = -1;
    EXPECT_EQ(coder.Open(head.data(), &written, im.width, im.height), 1);
    f.headerBytes = static_cast<size_t>(written);
    f.bytes.assign(head.begin(), head.begin() + written);
    f.mcusAcross = coder.mcusAcross();
    f.mcuRows = coder.mcuRows();
    Bytes buf(chunk);
    coder.stream().InitStream(buf.data(), static_cast<int>(buf.size()));
    for (int my = 0; my < f.mcuRows; ++my)
        for (int mx = 0; mx < f.mcusAcross; ++mx) {
            f.mcus.push_back(MakeMcu(im, mx, my));
            Mcu work = f.mcus.back();
            coder.YuvToHuffman_Float(work.data(), 4);
            if (static_cast<size_t>(coder.stream().count()) >= chunk / 2) {
                f.bytes.insert(f.bytes.end(), buf.begin(), buf.begin() + coder.stream().count());
                coder.stream().InitStream(buf.data(), static_cast<int>(buf.size()));
            }
        }
    f.bytes.insert(f.bytes.end(), buf.begin(), buf.begin() + coder.stream().count());
    Bytes tail(CJpegCoder::kJfifCloseLimit);
    EXPECT_EQ(coder.Close(tail.data(), &written), 0);
    f.bytes.insert(f.bytes.end(), tail.begin(), tail.begin() + written);
    return f;
}

uint16_t Be16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] << 8 | b[at + 1]); }

// Every header byte that is not a table, at its offset: the JFIF segment,
// the comment, the two quantisation segments (the standard's example tables
// in zigzag order), the four Huffman segments' markers, the frame and the
// scan header.
TEST(JfifFrontEnd, HeaderLayout) {
    CJpegCoder coder;
    Bytes out(CJpegCoder::kJfifHeaderLimit, 0xEE);
    int written = 0;
    ASSERT_EQ(coder.Open(out.data(), &written, 300, 17), 1);
    ASSERT_EQ(written, 645);  // 2 + 18 + 22 + 2 x 69 + 2 x 33 + 2 x 183 + 19 + 14
    EXPECT_EQ(out[645], 0xEE);
    EXPECT_EQ(coder.mcusAcross(), 19);  // (300 + 15) >> 4
    EXPECT_EQ(coder.mcuRows(), 2);      // (17 + 15) >> 4
    const Bytes start(out.begin(), out.begin() + 42);
    const Bytes want = {0xFF, 0xD8,                                            // start of image
                        0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00,       // APP0, L 16
                        0x01, 0x02, 0x01, 0x00, 0x48, 0x00, 0x48, 0x00, 0x00,  // 1.02, units 1, 72 x 72 dpi
                        0xFF, 0xFE, 0x00, 0x14, 't', 'h', 'i', 's', ' ', 'i', 's', ' ', 't', 'e', 's', 't',
                        ' ', 'd', 'a', 't', 'a', 0x00};
    EXPECT_EQ(start, want);
    const int16_t* tables[2] = {ovcg::jpeg::kYQuantumT, ovcg::jpeg::kCQuantumT};
    for (size_t t = 0; t < 2; ++t) {
        const size_t at = 42 + 69 * t;
        EXPECT_EQ(Be16(out, at), 0xFFDB);
        EXPECT_EQ(Be16(out, at + 2), 67);
        EXPECT_EQ(out[at + 4], t);
        for (size_t k = 0; k < 64; ++k)
            EXPECT_EQ(out[at + 5 + k], tables[t][ovcg::jpeg::kZigzag[k]]) << "table " << t << " entry " << k;
    }
    // DC luminance, DC chrominance, AC luminance, AC chrominance.
    const size_t dht[4] = {180, 213, 246, 429};
    const uint8_t ids[4] = {0x00, 0x01, 0x10, 0x11};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(Be16(out, dht[i]), 0xFFC4) << i;
        EXPECT_EQ(out[dht[i] + 4], ids[i]) << i;
    }
    const Bytes frame(out.begin() + 612, out.begin() + 645);
    EXPECT_EQ(frame, (Bytes{0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 0x11, 0x01, 0x2C, 0x03, 0x00, 0x22, 0x00, 0x01, 0x11,
                            0x01, 0x02, 0x11, 0x01,  // frame: 8 bits, 17 x 300, components 0 (2x2), 1, 2
                            0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x00, 0x00, 0x01, 0x11, 0x02, 0x11, 0x00, 0x3F, 0x00}));
}

struct RoundCase {
    const char* name;
    int width, height;
    bool noise;
    size_t chunk;
};
void PrintTo(const RoundCase& c, std::ostream* os) { *os << c.name; }

class JfifRoundTrip : public ::testing::TestWithParam<RoundCase> {};

// libjpeg reads every file without a warning as a 4:2:0 YCbCr frame with the
// example tables; its coefficients are the exact transform of the MCUs given,
// quantised to nearest (one step off only where the exact quotient lies
// within a hair of a rounding boundary); a smooth image comes back within the
// error of these tables (about quality 50) and of the chroma sampling: no
// sample more than 28 levels off, above 34 dB overall.
TEST_P(JfifRoundTrip, LibjpegReadsTheFile) {
    const RoundCase& c = GetParam();
    const Rgb im = Photo(c.width, c.height, 7, c.noise);
    const JfifFile f = Encode(im, c.chunk);
    EXPECT_EQ(f.mcusAcross, (c.width + 15) / 16);
    EXPECT_EQ(f.mcuRows, (c.height + 15) / 16);
    ASSERT_EQ(Be16(f.bytes, f.bytes.size() - 2), 0xFFD9);

    LibjpegDecoder coeffs;
    const LibjpegResult& r = coeffs.Decode(f.bytes, Read::kCoefficients);
    ASSERT_TRUE(r.clean()) << r.Report();
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(r.precision, 8);
    ASSERT_EQ(r.components, 3);
    EXPECT_EQ(r.colourSpace, JCS_YCbCr);
    EXPECT_EQ(r.sampling[0][0] * 10 + r.sampling[0][1], 22);
    EXPECT_EQ(r.sampling[1][0] * 10 + r.sampling[1][1], 11);
    EXPECT_EQ(r.sampling[2][0] * 10 + r.sampling[2][1], 11);
    const int16_t* tables[2] = {ovcg::jpeg::kYQuantumT, ovcg::jpeg::kCQuantumT};
    for (size_t t = 0; t < 2; ++t) {
        ASSERT_EQ(r.quant[t].size(), 1u);
        for (size_t k = 0; k < 64; ++k) EXPECT_EQ(r.quant[t][0][k], tables[t][k]);
    }
    size_t checked = 0, offByOne = 0;
    for (size_t comp = 0; comp < 3; ++comp) {
        const int scale = comp == 0 ? 8 : 16;  // pixels a block edge
        const int wBlocks = (c.width + scale - 1) / scale, hBlocks = (c.height + scale - 1) / scale;
        ASSERT_EQ(r.coeffs[comp].size(), static_cast<size_t>(wBlocks * hBlocks));
        const int16_t* q = tables[comp == 0 ? 0 : 1];
        for (int by = 0; by < hBlocks; ++by)
            for (int bx = 0; bx < wBlocks; ++bx) {
                const int mx = comp == 0 ? bx / 2 : bx, my = comp == 0 ? by / 2 : by;
                const size_t block = comp == 0 ? static_cast<size_t>((by % 2) * 2 + bx % 2) : 3 + comp;
                const Mcu& m = f.mcus[static_cast<size_t>(my * f.mcusAcross + mx)];
                const std::array<double, 64> exact = ExactDct(m.data() + 64 * block);
                const auto& got = r.coeffs[comp][static_cast<size_t>(by * wBlocks + bx)];
                for (size_t k = 0; k < 64; ++k) {
                    const double v = exact[k] / q[k];
                    const double rounded = v >= 0 ? std::floor(v + 0.5) : -std::floor(-v + 0.5);
                    ASSERT_LE(std::fabs(got[k] - rounded), 1.0) << "component " << comp << " block " << bx << "," << by;
                    offByOne += got[k] != rounded;
                    ++checked;
                }
            }
    }
    EXPECT_LT(offByOne * 100, checked) << offByOne << " of " << checked;

    if (c.noise) return;  // noise is far outside what the example tables keep
    LibjpegDecoder pixels;
    const LibjpegResult& p = pixels.Decode(f.bytes, Read::kPixels);
    ASSERT_TRUE(p.clean()) << p.Report();
    ASSERT_EQ(p.pixels.size(), im.px.size());
    double sq = 0;
    for (size_t i = 0; i < im.px.size(); ++i) {
        const int err = std::abs(static_cast<int>(p.pixels[i]) - static_cast<int>(im.px[i]));
        ASSERT_LE(err, 28) << "byte " << i;
        sq += static_cast<double>(err) * err;
    }
    const double mse = sq / static_cast<double>(im.px.size());
    EXPECT_GT(10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9)), 34.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, JfifRoundTrip,
                         ::testing::Values(RoundCase{"one_pixel", 1, 1, false, 4096},
                                           RoundCase{"one_mcu", 16, 16, false, 4096},
                                           RoundCase{"partial_mcus", 37, 29, false, 4096},
                                           RoundCase{"photo", 160, 96, false, 4096},
                                           RoundCase{"photo_small_chunks", 100, 70, false, 64},
                                           RoundCase{"noise", 64, 48, true, 4096},
                                           RoundCase{"noise_odd", 33, 18, true, 2048}),
                         [](const auto& i) { return std::string(i.param.name); });

// Every failure a caller can meet, and what was written before it.
TEST(JfifFrontEnd, Refusals) {
    const struct {
        const char* name;
        bool nullOut, nullWritten;
        int width, height;
    } cases[] = {{"null buffer", true, false, 8, 8},     {"null count", false, true, 8, 8},
                 {"width 0", false, false, 0, 8},        {"height 0", false, false, 8, 0},
                 {"width 65536", false, false, 65536, 8}, {"height 65536", false, false, 8, 65536},
                 {"negative width", false, false, -1, 8}};
    for (const auto& c : cases) {
        CJpegCoder coder;
        Bytes out(CJpegCoder::kJfifHeaderLimit, 0xEE);
        int written = -1;
        try {
            coder.Open(c.nullOut ? nullptr : out.data(), c.nullWritten ? nullptr : &written, c.width, c.height);
            ADD_FAILURE() << c.name << ": no exception";
        } catch (ovcg::jpeg::ERR e) {
            EXPECT_EQ(e, ovcg::jpeg::ERR_ARGUMENT) << c.name;
        }
        EXPECT_EQ(out[0], 0xEE) << c.name << ": nothing written";
        EXPECT_EQ(written, -1) << c.name;
    }
    // The largest frame is accepted.
    CJpegCoder big;
    Bytes out(CJpegCoder::kJfifHeaderLimit);
    int written = 0;
    EXPECT_EQ(big.Open(out.data(), &written, 65535, 65535), 1);
    EXPECT_EQ(big.mcusAcross(), 4096);
    EXPECT_EQ(Be16(out, 612 + 5), 65535);
    EXPECT_EQ(Be16(out, 612 + 7), 65535);
}

// Close writes into a buffer of 4096 bytes: an end of stream that does not
// fit (the caller let the coded bytes pile up in the carry area) is refused
// rather than cut, and one that just fits is written whole.
TEST(JfifFrontEnd, CloseRefusesWhatItCannotHold) {
    const Rgb im = Photo(128, 128, 3, true);
    for (bool fits : {true, false}) {
        CJpegCoder coder;
        Bytes head(CJpegCoder::kJfifHeaderLimit);
        int written = 0;
        coder.Open(head.data(), &written, im.width, im.height);
        // The coded bytes pile up behind the header, then in the carry area
        // (9216 bytes; a noise MCU codes to well under 1000).
        int mcus = 0;
        do {
            Mcu m = MakeMcu(im, mcus % 8, mcus / 8);
            coder.YuvToHuffman_Float(m.data(), 4);
            ++mcus;
        } while (!fits && coder.stream().carryCount() <= CJpegCoder::kJfifCloseLimit);
        const int carried = coder.stream().carryCount();
        ASSERT_EQ(carried + 3 <= CJpegCoder::kJfifCloseLimit, fits) << carried;
        Bytes tail(CJpegCoder::kJfifCloseLimit);
        int tailBytes = -1;
        if (fits) {
            EXPECT_EQ(coder.Close(tail.data(), &tailBytes), 0);
            EXPECT_GE(tailBytes, carried + 2);
            EXPECT_EQ(Be16(tail, static_cast<size_t>(tailBytes) - 2), 0xFFD9);
        } else {
            try {
                coder.Close(tail.data(), &tailBytes);
                ADD_FAILURE() << mcus << " MCUs, " << carried << " carried: no exception";
            } catch (ovcg::jpeg::ERR e) {
                EXPECT_EQ(e, ovcg::jpeg::ERR_ARGUMENT);
            }
            EXPECT_EQ(tailBytes, -1);
        }
    }
    CJpegCoder coder;
    int written = 0;
    EXPECT_THROW(coder.Close(nullptr, &written), ovcg::jpeg::ERR);
}

}  // namespace
}  // namespace ovcg_test::jpegt
