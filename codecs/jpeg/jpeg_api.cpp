#include "codecs/jpeg/jpeg_api.h"

#include "codecs/jpeg/markers.h"

#include <algorithm>
#include <cstring>

namespace ovcg::jpeg {
namespace {

const int16_t* const kLuminanceByQuality[3] = {kYQuantumT8, kYQuantumT10, kYQuantumT12};
const int16_t* const kChrominanceByQuality[3] = {kCQuantumT8, kCQuantumT10, kCQuantumT12};

// Largest colour MCU in bytes: 16 x 16 pixels of 4 bytes.
constexpr int kMaxMcuBytes = 16 * 16 * 4;

}  // namespace

CJpegAPI::CJpegAPI() = default;
CJpegAPI::~CJpegAPI() = default;

void CJpegAPI::OverrideSpeed(uint32_t speed) {
    if (opened_ || speed > 2) throw ERR_ARGUMENT;
    speedOverride_ = static_cast<int>(speed);
}

int CJpegAPI::Open(unsigned char* out, int* written, int outSize, int width, int height,
                   SDataPattern* pattern, unsigned int lineBytes, const void* appData, int appLen) {
    if (!pattern) throw ERR_ARGUMENT;
    pattern->speed = 2;
    if (!out || !written || opened_) throw ERR_ARGUMENT;
    if (outSize < kMinOpenBuffer || width < 1 || width > 65535 || height < 1 || height > 65535 ||
        outSize < appLen)
        throw ERR_ARGUMENT;
    // The application segment's length field is 16 bits wide.
    if (appLen < 0 || appLen > kMaxAppLen || (appLen > 0 && !appData)) throw ERR_ARGUMENT;

    const long blockCols = (width + 7) / 8, blockRows = (height + 7) / 8;
    extraBlockColumns_ = blockCols * blockRows < kMinBlocks ? static_cast<int>(kMinBlocks / blockRows - blockCols + 1) : 0;
    width_ = width;
    height_ = height;
    pattern_ = *pattern;
    if (speedOverride_ >= 0) pattern_.speed = static_cast<uint32_t>(speedOverride_);

    const bool dc16 = pattern_.dcPrecision16 == 1, ac16 = pattern_.acPrecision16 == 1;
    if (pattern_.colourMode < 1 || pattern_.colourMode > 8) throw ERR_ARGUMENT;
    if (pattern_.pixelPadding > 2) throw ERR_ARGUMENT;
    pixelWidthCode_ = pattern_.pixelPadding == 0 ? 1 : 2;
    if (pattern_.pixelKind > 2) throw ERR_ARGUMENT;
    grey_ = pattern_.pixelKind == 2;
    bytesPerPixel_ = grey_ ? pixelWidthCode_ : pixelWidthCode_ + 2;
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(bytesPerPixel_) > lineBytes) throw ERR_ARGUMENT;
    lineStride_ = lineBytes;
    if (pattern_.quality > 2) throw ERR_ARGUMENT;
    // Colour MCUs come in four samplings; a grey image may name the fifth
    // letter of the option segment.
    if (pattern_.sampling > (grey_ ? 4u : 3u)) throw ERR_ARGUMENT;

    if (ac16) {
        SetJpegQuality(kYQuantumT10_16, kCQuantumT10_16);
    } else {
        SetJpegQuality(kLuminanceByQuality[pattern_.quality], kChrominanceByQuality[pattern_.quality]);
    }
    SetPrecision(dc16, ac16);
    levels_ = InputLevelTable(pattern_.colourMode);

    if (grey_) {
        mcuWidth_ = mcuHeight_ = 8;
        yBlocksPerMcu_ = 1;
        ySampling_ = 0x11;
    } else {
        const int s = static_cast<int>(pattern_.sampling);
        mcuWidth_ = McuWidth(s);
        mcuHeight_ = McuHeight(s);
        yBlocksPerMcu_ = YBlocks(s);
        ySampling_ = static_cast<uint8_t>((mcuWidth_ / 8) << 4 | (mcuHeight_ / 8));
        // Speeds 0 and 1 take the 16-bit converters and the integer transform,
        // 0 its quick form; grey blocks take the float transform at any speed.
        const int index = (pattern_.pixelKind == 1 ? 4 : 0) + s;
        integer_ = pattern_.speed != 2;
        converter_ = kFloatConverters[index];
        intConverter_ = kIntConverters[index];
        convert_ = {levels_, bytesPerPixel_, pattern_.floatArithmetic == 1,
                    bytesPerPixel_ == 4 && pattern_.pixelPadding == 2 && levels_ == InputLevelTable(1)};
    }
    SetQuickDct(pattern_.speed == 0);
    mcusAcross_ = (width + mcuWidth_ - 1) / mcuWidth_;
    // The appended white columns are whole MCUs, so the frame grows by that
    // many MCU widths (for 8-pixel MCUs, 8 pixels a block column).
    frameWidth_ = width + mcuWidth_ * extraBlockColumns_;

    HeaderParams h;
    h.frameWidth = frameWidth_;
    h.height = height;
    h.components = grey_ ? 1 : 3;
    h.ySampling = ySampling_;
    h.dc16 = dc16;
    h.ac16 = ac16;
    h.quality = pattern_.quality;
    h.speed = pattern_.speed;
    h.sampling = pattern_.sampling;
    h.colourMode = pattern_.colourMode;
    h.dqtAcScale = pattern_.dqtAcScale;
    h.yQuant = quantTable(0);
    h.cQuant = quantTable(1);
    h.appData = appData;
    h.appLen = appLen;

    COutputStream& s = stream();
    s.InitStream(out, outSize);
    jpeg::WriteHeader(s, h);
    // The header must fit the buffer: the filler segment aligns the scan data
    // to this buffer's start, and carried bytes would break that.
    if (s.carryCount() > 0) throw ERR_ARGUMENT;
    *written = s.count();
    ConvTable();
    ComputeWhiteDc();
    opened_ = true;
    return 0;
}

int CJpegAPI::SetData(const unsigned char* lines, int chunkSize) {
    if (!opened_ || !lines) throw ERR_ARGUMENT;
    // Chunks are multiples of 16 bytes, so that the bytes carried over at a row
    // end keep their order.
    if (chunkSize < kMinChunk || chunkSize % 16 != 0) throw ERR_ARGUMENT;
    if (!needsInput_) throw ERR_ROW_BUSY;
    if (linesCoded_ >= height_) throw ERR_ARGUMENT;  // no row left to code
    input_ = lines + (pattern_.pixelPadding == 1 ? 1 : 0);
    chunkSize_ = chunkSize;
    mcuIndex_ = 0;
    needsInput_ = 0;
    return 0;
}

int CJpegAPI::Compress(unsigned char* out, int* written) {
    if (!written) throw ERR_ARGUMENT;
    if (needsInput_) {
        *written = 0;
        return kNeedInput;
    }
    if (!out) throw ERR_ARGUMENT;
    COutputStream& s = stream();
    s.InitStream(out, chunkSize_);
    if (s.count() >= chunkSize_) {
        *written = chunkSize_;
        return kChunkFull;
    }
    const int result = CodeRow();
    if (result == kRowDone && extraBlockColumns_ > 0) {
        for (int i = 0; i < extraBlockColumns_; ++i) UniColorMcu(whiteDc_);
    }
    *written = s.count();
    if (result == kRowDone && *written % 16 != 0) {
        const int tail = *written % 16;
        s.CarryTail(tail);
        *written -= tail;
    }
    return result;
}

int CJpegAPI::Close(unsigned char* out, int* written, int outSize) {
    if (outSize < kMinCloseBuffer || !out || !written || !opened_) throw ERR_ARGUMENT;
    COutputStream& s = stream();
    s.InitStream(out, outSize);
    if (s.carryCount() > 0) throw ERR_ARGUMENT;  // the carried bytes do not fit: nothing may be lost
    s.SetDataAll();
    if (linesCoded_ != height_) throw ERR_LINES_MISSING;
    const int pad = (16 - s.count() % 16) % 16;
    if (s.carryCount() > 0 || s.count() + pad > outSize) throw ERR_ARGUMENT;
    s.Fill(0, pad);
    *written = s.count();
    return 0;
}

// Codes the rest of the current MCU row; 0 when the chunk filled up first.
int CJpegAPI::CodeRow() {
    COutputStream& s = stream();
    const bool lastRow = linesCoded_ + mcuHeight_ > height_;
    const int lines = lastRow ? height_ - linesCoded_ : mcuHeight_;
    const int fullMcus = width_ / mcuWidth_;
    const int remainder = width_ % mcuWidth_;
    const int mcuRowBytes = mcuWidth_ * bytesPerPixel_;
    const ptrdiff_t stride = static_cast<ptrdiff_t>(lineStride_);
    while (mcuIndex_ < mcusAcross_) {
        const uint8_t* px = input_ + static_cast<ptrdiff_t>(mcuIndex_) * mcuRowBytes;
        const bool partial = mcuIndex_ >= fullMcus;
        const int pixels = partial ? remainder : mcuWidth_;
        const bool assembled = lastRow || partial;
        if (grey_) {
            CodeGreyBlock(px, stride, assembled, lines, pixels);
        } else {
            CodeColourMcu(px, stride, assembled, lines, pixels);
        }
        ++mcuIndex_;
        if (s.count() >= chunkSize_) return kChunkFull;
    }
    needsInput_ = 1;
    linesCoded_ += lines;
    return kRowDone;
}

void CJpegAPI::CodeColourMcu(const uint8_t* px, ptrdiff_t stride, bool assembled, int lines, int pixels) {
    if (!assembled) {
        SelectCompressColor(px, stride);
        return;
    }
    // Edge MCU: the pixels that exist, on zero bytes. Only the colour bytes of
    // each pixel are read, so a pad byte past the line's end is never touched.
    alignas(16) uint8_t local[kMaxMcuBytes];
    const int mcuRowBytes = mcuWidth_ * bytesPerPixel_;
    std::memset(local, 0, static_cast<size_t>(mcuHeight_ * mcuRowBytes));
    for (int y = 0; y < lines; ++y) {
        const uint8_t* src = px + y * stride;
        uint8_t* dst = local + y * mcuRowBytes;
        for (int x = 0; x < pixels; ++x) std::memcpy(dst + x * bytesPerPixel_, src + x * bytesPerPixel_, 3);
    }
    SelectCompressColor(local, mcuRowBytes);
}

void CJpegAPI::CodeGreyBlock(const uint8_t* px, ptrdiff_t stride, bool assembled, int lines, int pixels) {
    const int step = pixelWidthCode_;
    if (!assembled) {
        const uint8_t first = px[0];
        bool uniform = true;
        for (int y = 0; y < 8 && uniform; ++y) {
            const uint8_t* src = px + y * stride;
            for (int x = 0; x < 8; ++x) {
                if (src[x * step] != first) {
                    uniform = false;
                    break;
                }
            }
        }
        if (uniform) {
            CodeHuffmanUniColor(RoundedDc(first - 128, 0), 0);
            return;
        }
        lines = pixels = 8;
    }
    // Samples are level-shifted; padding is 0 after the shift (mid grey).
    float* block = mcu_;
    std::fill(block, block + 64, 0.0f);
    for (int y = 0; y < lines; ++y) {
        const uint8_t* src = px + y * stride;
        for (int x = 0; x < pixels; ++x) block[8 * y + x] = static_cast<float>(src[x * step] - 128);
    }
    Mono_YuvToHuffman(block);
}

void CJpegAPI::SelectCompressColor(const uint8_t* px, ptrdiff_t stride) {
    const int b = bytesPerPixel_;
    const uint8_t c0 = px[0], c1 = px[1], c2 = px[2];
    bool uniform = px[b] == c0 && px[b + 1] == c1 && px[b + 2] == c2;
    for (int y = 0; y < mcuHeight_ && uniform; ++y) {
        const uint8_t* p = px + y * stride;
        for (int x = 0; x < mcuWidth_; ++x, p += b) {
            if (p[0] != c0 || p[1] != c1 || p[2] != c2) {
                uniform = false;
                break;
            }
        }
    }
    if (!uniform) {
        if (integer_) {
            intConverter_(convert_, px, stride, mcuInt_);
            YuvToHuffman(mcuInt_, yBlocksPerMcu_);
        } else {
            converter_(convert_, px, stride, mcu_);
            YuvToHuffman_Float(mcu_, yBlocksPerMcu_);
        }
        return;
    }
    const bool bgr = pattern_.pixelKind == 1;
    const uint8_t r = levels_[bgr ? c2 : c0], g = levels_[c1], bl = levels_[bgr ? c0 : c2];
    int dc[3];
    if (pattern_.floatArithmetic == 1) {
        const FloatYcc c = FloatColour(r, g, bl);
        dc[0] = UniformDc(c.y, 0);
        dc[1] = UniformDc(c.cb, 1);
        dc[2] = UniformDc(c.cr, 1);
    } else {
        const IntYcc c = IntColour(r, g, bl);
        dc[0] = RoundedDc(c.y, 0);
        dc[1] = RoundedDc(c.cb, 1);
        dc[2] = RoundedDc(c.cr, 1);
    }
    UniColorMcu(dc);
}

void CJpegAPI::UniColorMcu(const int dc[3]) {
    if (grey_) {
        CodeHuffmanUniColor(dc[0], 0);
        return;
    }
    for (int i = 0; i < yBlocksPerMcu_; ++i) CodeHuffmanUniColor(dc[0], 0);
    CodeHuffmanUniColor(dc[1], 1);
    CodeHuffmanUniColor(dc[2], 2);
}

// DC of a flat block of level-shifted value v: 64 v times the DC multiplier
// (which carries the factor 16 of the DC precision), rounded half away from zero.
int CJpegAPI::UniformDc(float value, int cls) const {
    const float x = value * 64.0f * divisors(cls).mul[0];
    return static_cast<int>(x > 0.0f ? x + 0.5f : x - 0.5f);
}

// round(8 v / q), half away from zero, times 16 at 16-times DC precision.
int CJpegAPI::RoundedDc(int value, int cls) const {
    const int q = dcQuantiser(cls);
    const int n = 8 * value;
    int dc = 0;
    if (n > 0) dc = (n + q / 2) / q;
    if (n < 0) dc = (n - q / 2) / q;
    return dc16() ? dc * 16 : dc;
}

// The white MCUs appended to every row: their DC is pushed 4 steps further
// from zero, so that they decode to full white after clamping.
void CJpegAPI::ComputeWhiteDc() {
    const int scale = dc16() ? 16 : 1;
    const uint8_t w = levels_[255];
    if (grey_) {
        whiteDc_[0] = (8 * w - 1024) / dcQuantiser(0) * scale;
        return;
    }
    int v[3];
    if (pattern_.floatArithmetic == 1) {
        const float fw = static_cast<float>(w);
        v[0] = static_cast<int>(0.299f * fw + 0.587f * fw + 0.114f * fw - 127.5f);
        v[1] = static_cast<int>(-0.1687f * fw - 0.3313f * fw + 0.5f * fw + 0.5f);
        v[2] = static_cast<int>(0.5f * fw - 0.4187f * fw - 0.0813f * fw + 0.5f);
    } else {
        const IntYcc c = IntColour(w, w, w);
        v[0] = c.y;
        v[1] = c.cb;
        v[2] = c.cr;
    }
    for (int i = 0; i < 3; ++i) {
        int dc = 8 * v[i] / dcQuantiser(i == 0 ? 0 : 1);
        if (dc > 0) dc = std::min(dc + 4, 1023);
        if (dc < 0) dc = std::max(dc - 4, -1023);
        whiteDc_[i] = dc * scale;
    }
}

}  // namespace ovcg::jpeg
