#include "codecs/jpeg/markers.h"

#include "codecs/jpeg/huffman.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace ovcg::jpeg {
namespace {

enum class LevelKind { Identity, Half, ThreeQuarter };

constexpr std::array<uint8_t, 256> MakeLevels(LevelKind kind) {
    std::array<uint8_t, 256> t{};
    for (int k = 0; k < 256; ++k) {
        int v = k;
        if (kind == LevelKind::Half) v = 128 + (k - 128) / 2;
        if (kind == LevelKind::ThreeQuarter) v = 128 + (3 * k - 384) / 4;
        t[static_cast<size_t>(k)] = static_cast<uint8_t>(v);
    }
    if (kind == LevelKind::Half) {
        t[0] = 32;
        t[255] = 223;
    } else if (kind == LevelKind::ThreeQuarter) {
        t[0] = 0;
        t[255] = 255;
    }
    return t;
}

constexpr std::array<uint8_t, 256> kLevelsIdentity = MakeLevels(LevelKind::Identity);
constexpr std::array<uint8_t, 256> kLevelsHalf = MakeLevels(LevelKind::Half);
constexpr std::array<uint8_t, 256> kLevelsThreeQuarter = MakeLevels(LevelKind::ThreeQuarter);

void Marker(COutputStream& out, uint8_t code) {
    out.PutByte(0xFF);
    out.PutByte(code);
}

// The decoder's YCbCr-to-RGB matrix: rows R, G, B over Y, Cb, Cr, the R and B
// rows at scale 512, the G row at 1024; the sign every entry is written under.
constexpr int kInverse[3][3] = {{512, 0, 718}, {1024, -352, -730}, {512, 907, 0}};
constexpr int kInverseSign[3][3] = {{1, 0, 1}, {1, -1, -1}, {1, 1, 0}};
constexpr int kInverseScale[3] = {512, 1024, 512};
constexpr int kInverseRounding[3] = {256, 512, 256};

}  // namespace

const uint8_t* InputLevelTable(uint32_t colourMode) {
    if (colourMode == 2) return kLevelsHalf.data();
    if (colourMode == 3) return kLevelsThreeQuarter.data();
    return kLevelsIdentity.data();
}

void InsertYuvToRGB(COutputStream& out) {
    Marker(out, 0xEE);
    out.PutU16BE(48);
    out.CopyByte(kIdentification, 15);
    out.PutByte(0x00);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const int v = kInverse[r][c];
            const int sign = v > 0 ? 1 : (v < 0 ? -1 : 0);
            out.WriteWord(static_cast<uint32_t>(sign == kInverseSign[r][c] ? std::abs(v) : 0));
        }
    }
    for (int r = 0; r < 3; ++r) {
        const int sum = kInverse[r][0] + kInverse[r][1] + kInverse[r][2];
        const int off = 128 * kInverseScale[r] - 128 * sum + kInverseRounding[r];
        out.WriteDoubleWord(static_cast<uint32_t>(std::abs(off)));
    }
}

void InsertJpegOption(COutputStream& out, uint32_t quality, uint32_t speed, uint32_t sampling,
                      uint32_t colourMode) {
    static constexpr const char* kQuality[3] = {"Q08", "Q10", "Q12"};
    static constexpr const char* kSpeed[3] = {" QUICK", "NORMAL", "QUALTY"};
    static constexpr char kSamplingLetters[] = "1HW4M";
    Marker(out, 0xEE);
    out.PutU16BE(65);
    out.CopyByte(kIdentification, 15);
    out.PutByte(0x01);
    out.CopyByte("Ver3.06", 8);  // with its terminating zero
    out.CopyByte(kQuality[quality < 3 ? quality : 0], 3);
    out.PutByte('/');
    out.CopyByte(kSpeed[speed < 3 ? speed : 2], 6);
    out.PutByte(static_cast<uint8_t>(kSamplingLetters[sampling < 5 ? sampling : 0]));
    out.PutByte('/');
    out.CopyByte("Col", 3);
    out.PutByte(static_cast<uint8_t>('0' + (colourMode / 10) % 10));
    out.PutByte(static_cast<uint8_t>('0' + colourMode % 10));
    out.PutByte('/');
    out.Fill(0, 11);
    out.PutByte('/');
    out.Fill(0, 9);
}

void WriteAppSegment(COutputStream& out, const void* data, int len) {
    Marker(out, 0xE1);
    out.PutU16BE(static_cast<uint32_t>(len + 17) & 0xFFFFu);
    out.CopyByte(kIdentification, 15);
    out.CopyByte(data, len);
}

void WriteFrameHeader(COutputStream& out, const HeaderParams& p) {
    const bool extended = p.dc16 || p.ac16;
    Marker(out, extended ? 0xC1 : 0xC0);
    out.PutU16BE(static_cast<uint32_t>(3 * p.components + 8));
    out.PutByte(extended ? 12 : 8);
    out.PutU16BE(static_cast<uint32_t>(p.height));
    out.PutU16BE(static_cast<uint32_t>(p.frameWidth));
    out.PutByte(static_cast<uint8_t>(p.components));
    out.PutByte(0);
    out.PutByte(p.ySampling);
    out.PutByte(0);
    for (int c = 1; c < p.components; ++c) {
        out.PutByte(static_cast<uint8_t>(c));
        out.PutByte(0x11);
        out.PutByte(1);
    }
}

void WriteQuantSegment(COutputStream& out, int tableId, const int16_t* q, uint32_t acScale) {
    Marker(out, 0xDB);
    out.PutU16BE(67);
    out.PutByte(static_cast<uint8_t>(tableId));
    out.PutByte(static_cast<uint8_t>(q[0]));
    const uint32_t scale = acScale & 0xFFu;
    for (int k = 1; k < 64; ++k) {
        const uint32_t v = static_cast<uint32_t>(q[kZigzag[k]]) & 0xFFu;
        out.PutByte(static_cast<uint8_t>(v * scale));
    }
}

void WriteAlignment(COutputStream& out, int components) {
    const int m = (out.count() + 2 * components + 8) % 16;
    const int t = 16 - m >= 6 ? 16 - m : 32 - m;
    Marker(out, 0xE1);
    out.PutByte(0x00);
    out.PutByte(static_cast<uint8_t>(t - 2));
    out.Fill(0, t - 4);
}

void WriteScanHeader(COutputStream& out, int components) {
    Marker(out, 0xDA);
    out.PutU16BE(static_cast<uint32_t>(2 * components + 6));
    out.PutByte(static_cast<uint8_t>(components));
    for (int c = 0; c < components; ++c) {
        out.PutByte(static_cast<uint8_t>(c));
        out.PutByte(c == 0 ? 0x00 : 0x11);
    }
    out.PutByte(0x00);
    out.PutByte(0x3F);
    out.PutByte(0x00);
}

void WriteHeader(COutputStream& out, const HeaderParams& p) {
    const bool colour = p.components == 3;
    Marker(out, 0xD8);
    InsertYuvToRGB(out);
    InsertJpegOption(out, p.quality, p.speed, p.sampling, p.colourMode);
    if (p.appLen > 0) WriteAppSegment(out, p.appData, p.appLen);
    WriteFrameHeader(out, p);
    WriteQuantSegment(out, 0, p.yQuant, p.dqtAcScale);
    if (colour) WriteQuantSegment(out, 1, p.cQuant, p.dqtAcScale);
    WriteHuffmanSegment(out, p.dc16 ? kYDcSegment16 : kYDcSegment);
    if (colour) WriteHuffmanSegment(out, p.dc16 ? kCDcSegment16 : kCDcSegment);
    WriteHuffmanSegment(out, p.ac16 ? kYAcSegment16 : kYAcSegment);
    if (colour) WriteHuffmanSegment(out, p.ac16 ? kCAcSegment16 : kCAcSegment);
    WriteAlignment(out, p.components);
    WriteScanHeader(out, p.components);
}

void WriteJfifSegment(COutputStream& out, uint8_t units, uint16_t xDensity, uint16_t yDensity) {
    Marker(out, 0xE0);
    out.PutU16BE(16);
    out.CopyByte("JFIF", 5);  // with its terminating zero
    out.PutByte(0x01);
    out.PutByte(0x02);
    out.PutByte(units);
    out.PutU16BE(xDensity);
    out.PutU16BE(yDensity);
    out.PutByte(0);  // no thumbnail
    out.PutByte(0);
}

void WriteCommentSegment(COutputStream& out, const char* text) {
    // The caller's texts are short constants; the length field is 16 bits.
    const size_t n = std::strlen(text);
    Marker(out, 0xFE);
    out.PutU16BE(static_cast<uint32_t>(n + 3));
    out.CopyByte(text, static_cast<int>(n + 1));
}

}  // namespace ovcg::jpeg
