// JPEG encoder for the contone bands of level-3 image objects.
//
// Calling order for one image: construct; Open (writes the stream header into
// the caller's buffer); per MCU row SetData with the row's first line, then
// Compress until it returns 3, sending the bytes of every call that returns 0
// or 1; Close (end of stream); destroy. Every chunk handed out is a multiple of
// 16 bytes long. Failures throw an ERR or COMP_ERR value; after one the encoder
// may only be destroyed.
#pragma once

#include "codecs/jpeg/color_convert.h"
#include "codecs/jpeg/jpeg_coder.h"

#include <cstdint>

namespace ovcg::jpeg {

struct SDataPattern {
    uint32_t pixelKind;        // 0 RGB, 1 BGR, 2 grey
    uint32_t pixelPadding;     // 0 none, 1 pad byte before the samples, 2 after
    uint32_t sampling;         // colour: 0 8x8, 1 8x16, 2 16x8, 3 16x16 MCU
    uint32_t quality;          // 0, 1 or 2
    uint32_t speed;            // forced to 2 by Open (see OverrideSpeed)
    uint32_t colourMode;       // 1..8: input level table, written into the option segment
    uint32_t dcPrecision16;    // 1: DC at 16 times precision, 12-bit frame
    uint32_t floatArithmetic;  // 1: float colour coefficients
    uint32_t acPrecision16;    // 1: AC at 16 times precision
    uint32_t dqtAcScale;       // multiplier of the written AC quantisation entries
};

class CJpegAPI : public CJpegCoder {
public:
    // Results of Compress.
    static constexpr int kChunkFull = 0;
    static constexpr int kRowDone = 1;
    static constexpr int kNeedInput = 3;

    static constexpr int kMinChunk = 2048;
    static constexpr int kMinOpenBuffer = 3072;
    static constexpr int kMinCloseBuffer = 4096;
    // Images with fewer 8x8 blocks get white block columns appended on the right.
    static constexpr int kMinBlocks = 1440;

    CJpegAPI();
    ~CJpegAPI() override;

    // Open forces the speed to 2 (float converters and transform), in the
    // caller's record too. For tests and measurements, this sets the speed
    // Open uses instead: 1 the 16-bit converters and the integer transform, 0
    // the same with the quick integer transform, 2 as forced. Call before
    // Open; anything else throws ERR 1.
    void OverrideSpeed(uint32_t speed);

    int Open(unsigned char* out, int* written, int outSize, int width, int height, SDataPattern* pattern,
             unsigned int lineBytes, const void* appData, int appLen);
    int SetData(const unsigned char* lines, int chunkSize);
    int Compress(unsigned char* out, int* written);
    int Close(unsigned char* out, int* written, int outSize);

    int extraBlockColumns() const { return extraBlockColumns_; }
    int frameWidth() const { return frameWidth_; }
    int linesCoded() const { return linesCoded_; }
    int mcuWidth() const { return mcuWidth_; }
    int mcuHeight() const { return mcuHeight_; }

private:
    int CodeRow();
    void CodeColourMcu(const uint8_t* px, ptrdiff_t stride, bool assembled, int lines, int pixels);
    void CodeGreyBlock(const uint8_t* px, ptrdiff_t stride, bool assembled, int lines, int pixels);
    void SelectCompressColor(const uint8_t* px, ptrdiff_t stride);
    void UniColorMcu(const int dc[3]);
    void ComputeWhiteDc();
    int UniformDc(float value, int cls) const;
    int RoundedDc(int value, int cls) const;

    bool opened_ = false;
    SDataPattern pattern_ = {};
    bool grey_ = false;
    int width_ = 0;
    int height_ = 0;
    int frameWidth_ = 0;
    int extraBlockColumns_ = 0;
    int pixelWidthCode_ = 0;
    int bytesPerPixel_ = 0;
    const uint8_t* input_ = nullptr;
    int chunkSize_ = 0;
    int mcuIndex_ = 0;
    int mcusAcross_ = 0;
    int linesCoded_ = 0;
    uint32_t lineStride_ = 0;
    int needsInput_ = 1;
    int mcuWidth_ = 8;
    int mcuHeight_ = 8;
    int yBlocksPerMcu_ = 1;
    uint8_t ySampling_ = 0x11;
    const uint8_t* levels_ = nullptr;
    int speedOverride_ = -1;  // none
    bool integer_ = false;    // 16-bit converters and the integer transform
    McuConverter converter_ = nullptr;
    McuConverterInt intConverter_ = nullptr;
    ConvertParams convert_ = {};
    int whiteDc_[3] = {0, 0, 0};
    alignas(16) float mcu_[kMaxMcuSamples] = {};
    alignas(16) int16_t mcuInt_[kMaxMcuSamples] = {};
};

}  // namespace ovcg::jpeg
