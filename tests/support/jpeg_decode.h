// A small baseline/extended sequential JPEG decoder for tests: marker parsing
// with bounds checks and Huffman decoding to quantised coefficients, at either
// precision, and to 8-bit pixels. It checks that a stream is well formed (markers in bounds, no
// stray markers in the scan data, one-bit padding, end marker) and records
// where the scan data and the end marker sit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ovcg::test {

struct JpegHuffTable {
    bool present = false;
    uint8_t vals[256] = {};
    int mincode[17] = {};
    int maxcode[18] = {};
    int valptr[17] = {};
};

// Builds the decoding tables; false when the counts do not form a prefix code.
bool BuildHuffTable(const uint8_t bits[16], const uint8_t* vals, JpegHuffTable& t);

// Reads entropy-coded bits: FF 00 yields FF, any other marker ends the data.
class JpegBitReader {
public:
    JpegBitReader(const uint8_t* data, size_t size, size_t pos) : data_(data), size_(size), pos_(pos) {}
    int Bit();
    int Bits(int n);
    int Decode(const JpegHuffTable& t);  // -1 on a bad code
    bool failed() const { return failed_; }
    // Pending bits of the current byte (all must be ones at the end of the scan).
    int pendingBits() const { return bitsLeft_; }
    int pendingValue() const { return cur_ & ((1 << bitsLeft_) - 1); }
    size_t pos() const { return pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_;
    int cur_ = 0;
    int bitsLeft_ = 0;
    bool failed_ = false;
};

// Decodes one block: DC difference (added to `pred`) and AC coefficients into
// `coeff` in natural order. Returns false on a bad code or a run past 63.
bool DecodeJpegBlock(JpegBitReader& br, const JpegHuffTable& dc, const JpegHuffTable& ac, int& pred,
                     int coeff[64], bool* hadEob = nullptr);

struct JpegComponentInfo {
    int id = 0, h = 1, v = 1, tq = 0, td = 0, ta = 0;
    int blocksAcross = 0, blocksDown = 0;
    std::vector<std::array<int, 64>> coeffs;  // quantised, natural order, row-major blocks
};

struct DecodedJpeg {
    int sofMarker = 0;
    int precision = 0;
    int width = 0, height = 0;
    std::vector<JpegComponentInfo> comps;
    std::array<std::array<int, 64>, 4> quant{};  // natural order
    JpegHuffTable dc[4], ac[4];
    size_t scanDataOffset = 0;
    std::vector<uint8_t> trailing;  // bytes after the end marker
    std::string error;
};

// Decodes `data`; false with `out.error` set when the stream is malformed.
bool DecodeJpeg(const uint8_t* data, size_t size, DecodedJpeg& out);

// The samples of a decoded stream whose components are all sampled 1 x 1:
// the coefficients dequantised with the stream's tables, inverse transformed
// in double precision and shifted by half the precision's range; three
// components turned from YCbCr into RGB with the JFIF matrix; the result
// scaled to 8 bits (12-bit samples divided by 16), rounded and clamped.
// pixels: width (the frame's when negative or wider) x height x components
// bytes, the frame's first columns. False for other sampling factors.
bool DecodeJpegPixels(const DecodedJpeg& d, std::vector<uint8_t>& pixels, int width = -1);

}  // namespace ovcg::test
