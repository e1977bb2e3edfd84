// Header segments of the printer JPEG stream and the tables they describe.
//
// The stream opens with two identification segments of the library's own (the
// decoder's YCbCr-to-RGB matrix and the encoder options), an optional
// application segment, the frame, quantisation and Huffman segments, a filler
// segment that puts the first entropy-coded byte on a 16-byte boundary, and the
// scan header.
#pragma once

#include "codecs/jpeg/output_stream.h"

#include <cstdint>

namespace ovcg::jpeg {

// RGB to YCbCr coefficients times 1024 (rows Y, Cb, Cr) and row offsets
// (level shift and rounding); a component is (sum + offset) >> 10.
inline constexpr int16_t kColourMatrix[3][3] = {{306, 601, 117}, {-173, -339, 512}, {512, -429, -83}};
inline constexpr int32_t kMatrixOffsets[3] = {-131072 + 512, 512, 512};

// Identification text of the library's segments, with its terminating zero.
inline constexpr char kIdentification[15] = "OVRIX Q7LM302 ";

// Largest application payload: its segment length field (payload + 17) is 16 bits.
inline constexpr int kMaxAppLen = 0xFFFF - 17;

// Input level table (every colour byte passes through it) for a colour mode 1..8.
const uint8_t* InputLevelTable(uint32_t colourMode);

struct HeaderParams {
    int frameWidth = 0;   // image width plus the appended white columns
    int height = 0;
    int components = 3;   // 3 colour, 1 grey
    uint8_t ySampling = 0x11;
    bool dc16 = false;    // DC at 16 times precision
    bool ac16 = false;    // AC at 16 times precision
    uint32_t quality = 0;
    uint32_t speed = 2;
    uint32_t sampling = 0;
    uint32_t colourMode = 1;
    uint32_t dqtAcScale = 1;
    const int16_t* yQuant = nullptr;  // natural order
    const int16_t* cQuant = nullptr;
    const void* appData = nullptr;
    int appLen = 0;
};

void InsertYuvToRGB(COutputStream& out);
void InsertJpegOption(COutputStream& out, uint32_t quality, uint32_t speed, uint32_t sampling,
                      uint32_t colourMode);
void WriteAppSegment(COutputStream& out, const void* data, int len);
void WriteFrameHeader(COutputStream& out, const HeaderParams& p);
void WriteQuantSegment(COutputStream& out, int tableId, const int16_t* q, uint32_t acScale);
// Filler segment so that the first entropy byte, after a scan header of
// 2n + 8 bytes, lands on a multiple of 16 from the start of the buffer.
void WriteAlignment(COutputStream& out, int components);
void WriteScanHeader(COutputStream& out, int components);

// The whole stream header, from the start-of-image marker to the scan header.
void WriteHeader(COutputStream& out, const HeaderParams& p);

// Segments of a plain JFIF stream (the stand-alone front end of CJpegCoder):
// APP0 with the JFIF identifier, version 1.02, the density unit and the two
// densities (16 bits each), no thumbnail; a comment segment of `text` with
// its terminating zero.
void WriteJfifSegment(COutputStream& out, uint8_t units, uint16_t xDensity, uint16_t yDensity);
void WriteCommentSegment(COutputStream& out, const char* text);

}  // namespace ovcg::jpeg
