#include "commands/encode_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/rhv2/rhv2.h"
#include "engine/engine_error.h"
#include "engine/platform.h"

namespace ovcg {

namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFu;
// The JPEG frame holds at most 65535 lines: taller objects go out in parts
// of whole blocks.
constexpr uint32_t kMaxObjectLines = 65528;
constexpr uint16_t kStatusMore = 0;
constexpr uint16_t kStatusLast = 1;

// Gray, RGBX and BGRX: the formats both encoders take (RHV2 takes CMYK too).
bool JpegFormat(int format) {
    return format == kBandFormatGray || format == kBandFormatRgbx || format == kBandFormatBgrx;
}

// The encoder's parameter words for 4-byte pixels: colour in R, G, B order
// (B, G, R for BGRX), the pad byte last, 8x8 MCUs, quality 1, colour mode 1,
// float arithmetic.
jpeg::SDataPattern JpegPattern(int format, bool plus) {
    jpeg::SDataPattern p{};
    p.pixelKind = format == kBandFormatBgrx ? 1u : 0u;
    p.pixelPadding = 2;
    p.sampling = 0;
    p.quality = 1;
    p.speed = 2;
    p.colourMode = 1;
    p.dcPrecision16 = plus ? 1u : 0u;
    p.floatArithmetic = 1;
    p.acPrecision16 = 0;
    p.dqtAcScale = plus ? 16u : 1u;
    return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// CEncodeBuffer

CEncodeBuffer::CEncodeBuffer(CPlimoSpooler* spooler, CTRAQ3V1* records, uint32_t pageHeight)
    : m_spooler(spooler), m_records(records), m_pageHeight(pageHeight) {
    if (!spooler || !records) ThrowMessage(kIllegalParameterException);
}

CEncodeBuffer::~CEncodeBuffer() { Mem_Free(m_output); }

void CEncodeBuffer::vBaseVPositionIncriment() {
    m_baseVPosition = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{m_baseVPosition} + m_pageHeight, kMax32));
}

void CEncodeBuffer::vBaseVPositionDecriment() {
    m_baseVPosition = m_baseVPosition > m_pageHeight ? m_baseVPosition - m_pageHeight : 0;
}

void CEncodeBuffer::vStartPage() {
    m_nextRaster = 0;
    m_lastWritePos = 0;
    m_pageRight = 0;
    // Lines an aborted page left in the block belong to that page.
    m_held = 0;
}

bool CEncodeBuffer::InitCommon(unsigned int resolution, int format, int convert, unsigned bytesPerPixel) {
    if (resolution == 0 || resolution > 0xFFFF) return false;
    m_format = format;
    m_convert = convert;
    m_denominator = static_cast<uint16_t>(resolution);
    m_bytesPerPixel = bytesPerPixel;
    // White: no ink in CMYK, full level in every other layout.
    m_white = format == kBandFormatCmyk && bytesPerPixel == 4 ? 0x00 : 0xFF;
    return true;
}

bool CEncodeBuffer::bInitEncodeBuffa(unsigned int resolution, int format, int convert, const tagPOINT&) {
    if (!JpegFormat(format) || !InitCommon(resolution, format, convert, 4)) return false;
    m_pattern = JpegPattern(format, true);
    return true;
}

bool CEncodeJpegPlusBuffer::bInitEncodeBuffa(unsigned int resolution, int format, int convert,
                                             const tagPOINT& print) {
    return CEncodeBuffer::bInitEncodeBuffa(resolution, format, convert, print);
}

bool CEncodeJpegBuffer::bInitEncodeBuffa(unsigned int resolution, int format, int convert, const tagPOINT& print) {
    if (!CEncodeBuffer::bInitEncodeBuffa(resolution, format, convert, print)) return false;
    m_pattern = JpegPattern(format, false);
    return true;
}

void CEncodeBuffer::Send(const void* data, size_t length) {
    if (length > 0) m_spooler->SendData(static_cast<const char*>(data), static_cast<unsigned int>(length));
}

void CEncodeBuffer::SendObjectHeader(const TRAQ3_tagTargetPositionForBitmap& t) {
    m_lastWritePos = t.vertical + t.height;
    m_records->vSetmkimObjectNumber(0);
    m_records->vSetmkimDenominator(m_denominator);
    m_records->vSetmkimHorizontalPosition(t.horizontal);
    m_records->vSetmkimVerticalPosition(t.vertical);
    m_records->vSetmkimVerticalJpegPosition(t.vertical_jpeg);
    m_records->vSetmkimPrintingAreaWidth(t.width);
    m_records->vSetmkimPrintingAreaHeight(t.height);
    Send(m_records->pvGet_MakeImageObject(), m_records->uiGetLength_MakeImageObject());
    Send(m_records->pvGet_Proceed(), m_records->uiGetLength_Proceed());
}

void CEncodeBuffer::SendData(uint16_t status, const uint8_t* data, uint32_t length) {
    m_records->vSetdsndObjectNumber(0);
    m_records->vSetdsndStatus(status);
    m_records->vSetdsndDataLength(length);
    Send(m_records->pvGet_SendData(), m_records->uiGetLength_SendData());
    Send(data, length);
}

bool CEncodeBuffer::bConvertAndSend(const TRAQ3_tagBitmapParam* b, size_t stride,
                                    const TRAQ3_tagTargetPositionForBitmap* t) {
    const uint8_t* first = pvPixelToAddress(b->bits, m_bytesPerPixel, stride, b->rect.left, b->first_line);
    try {
        SendObjectHeader(*t);
        jpeg::CJpegAPI encoder;
        jpeg::SDataPattern pattern = m_pattern;
        int written = 0;
        encoder.Open(m_output, &written, kOutputSize, static_cast<int>(t->width), static_cast<int>(t->height),
                     &pattern, static_cast<unsigned int>(stride), nullptr, 0);
        SendData(kStatusMore, m_output, static_cast<uint32_t>(written));
        for (uint32_t y = 0; y < t->height; y += kBlockLines) {
            encoder.SetData(first + size_t{y} * stride, kOutputSize);
            while (encoder.Compress(m_output, &written) != jpeg::CJpegAPI::kNeedInput)
                SendData(kStatusMore, m_output, static_cast<uint32_t>(written));
        }
        encoder.Close(m_output, &written, kOutputSize);
        SendData(kStatusLast, m_output, static_cast<uint32_t>(written));
    } catch (EngineMessage) {
        return false;
    }
    return true;
}

bool CEncodeBuffer::EnsureBlock(uint64_t pixels) {
    if (pixels <= m_blockPixels) return true;
    const uint64_t bytes = pixels * m_bytesPerPixel * kBlockLines;
    if (bytes > static_cast<uint64_t>(PTRDIFF_MAX)) return false;
    try {
        m_block.assign(static_cast<size_t>(bytes), m_white);
    } catch (const std::bad_alloc&) {
        m_block.clear();
        m_blockPixels = 0;
        return false;
    }
    m_blockPixels = pixels;
    return true;
}

void CEncodeBuffer::StartBlock(uint32_t top) {
    std::fill(m_block.begin(), m_block.end(), m_white);
    m_blockTop = top;
    m_blockLeft = 0xFFFFFFFFu;
    m_blockRight = 0;
    m_held = 0;
}

bool CEncodeBuffer::SendBlock() {
    if (m_held == 0) return true;
    const uint32_t held = m_held;
    m_held = 0;
    const TRAQ3_tagBitmapParam b{m_block.data(), 0, held, tagRECT{m_blockLeft, 0, m_blockRight, held}};
    const TRAQ3_tagTargetPositionForBitmap t{m_blockLeft, m_blockTop, m_blockRight - m_blockLeft, held, m_blockTop,
                                             held};
    return bConvertAndSend(&b, static_cast<size_t>(m_blockPixels) * m_bytesPerPixel, &t);
}

bool CEncodeBuffer::bFlushENCODEBuff() { return SendBlock(); }

bool CEncodeBuffer::bWriteENCODEBuff(const TRAQ3_tagBitmapParam* bitmap, uint32_t bytesPerLine,
                                     const TRAQ3_tagTargetPositionForBitmap* target, bool buffered) {
    if (!bitmap || !target || !bitmap->bits || m_bytesPerPixel == 0) return false;
    if (!m_output && !(m_output = static_cast<uint8_t*>(Mem_Alloc(kOutputSize)))) return false;
    const uint32_t firstLine = bitmap->first_line, left = bitmap->rect.left, right = bitmap->rect.right;
    if (bitmap->last_line < firstLine || right < left) return false;
    const uint32_t lines = bitmap->last_line - firstLine, width = right - left;
    // The window must lie in the bitmap's lines and agree with the target.
    if (uint64_t{right} * m_bytesPerPixel > bytesPerLine || target->height != lines || target->lines != lines ||
        target->width != width)
        return false;
    if (lines == 0 || width == 0) return true;
    const uint64_t top = uint64_t{target->vertical} + m_baseVPosition;
    const uint64_t jpegTop = uint64_t{target->vertical_jpeg} + m_baseVPosition;
    const uint64_t h = target->horizontal;
    if (top + lines > kMax32 || jpegTop + lines > kMax32 || h + width > kMax32) return false;
    m_nextRaster = static_cast<uint32_t>(jpegTop + lines);
    m_pageRight = std::max(m_pageRight, static_cast<uint32_t>(h + width));

    const size_t stride = bytesPerLine;
    const unsigned bpp = m_bytesPerPixel;
    uint32_t row = static_cast<uint32_t>(top);
    uint32_t jpegRow = static_cast<uint32_t>(jpegTop);
    uint32_t line = firstLine;
    uint32_t remaining = lines;
    const auto copyLines = [&](uint32_t blockLine, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i)
            std::memcpy(&m_block[((blockLine + i) * m_blockPixels + h) * bpp],
                        pvPixelToAddress(bitmap->bits, bpp, stride, left, line + i), size_t{width} * bpp);
        m_blockLeft = std::min(m_blockLeft, static_cast<uint32_t>(h));
        m_blockRight = std::max(m_blockRight, static_cast<uint32_t>(h + width));
        line += count;
        row += count;
        jpegRow += count;
        remaining -= count;
    };

    if (buffered && m_held > 0) {
        // The band continues the block only from below its held lines, within
        // its 8 lines and its columns; otherwise the block goes first.
        const uint64_t heldEnd = uint64_t{m_blockTop} + m_held;
        const bool joins = row >= heldEnd && row < uint64_t{m_blockTop} + kBlockLines && h + width <= m_blockPixels;
        if (joins) {
            const uint32_t at = row - m_blockTop;
            const uint32_t n = std::min(remaining, kBlockLines - at);
            copyLines(at, n);
            m_held = at + n;
            if (m_held < kBlockLines) return true;
        }
        if (!SendBlock()) return false;
        if (remaining == 0) return true;
    }
    if (buffered && remaining % kBlockLines != 0) {
        // The band's last lines start the next block; the whole blocks
        // before them go out as one object.
        if (!EnsureBlock(h + width)) return false;
        const uint32_t keep = remaining - remaining % kBlockLines;
        const uint32_t headLine = line, headRow = row, headJpeg = jpegRow;
        line += keep;
        row += keep;
        jpegRow += keep;
        remaining -= keep;
        StartBlock(row);
        m_held = remaining;
        copyLines(0, remaining);
        line = headLine;
        row = headRow;
        jpegRow = headJpeg;
        remaining = keep;
    }
    while (remaining > 0) {
        const uint32_t n = std::min(remaining, kMaxObjectLines);
        const TRAQ3_tagBitmapParam b{bitmap->bits, line, line + n, tagRECT{left, line, right, line + n}};
        const TRAQ3_tagTargetPositionForBitmap t{static_cast<uint32_t>(h), row, width, n, jpegRow, n};
        if (!bConvertAndSend(&b, stride, &t)) return false;
        line += n;
        row += n;
        jpegRow += n;
        remaining -= n;
    }
    return true;
}

bool CEncodeBuffer::bOutBunnerObject() {
    if (m_pageHeight == 0 || m_bytesPerPixel == 0) return true;
    const uint32_t r = m_nextRaster % m_pageHeight;
    if (r == 0 || m_pageRight == 0) return true;
    const uint32_t k = std::min(m_pageHeight - r, kBlockLines);
    const uint32_t width = m_pageRight;
    std::vector<uint8_t> white;
    try {
        white.assign(size_t{width} * m_bytesPerPixel * kBlockLines, m_white);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const TRAQ3_tagBitmapParam b{white.data(), 0, k, tagRECT{0, 0, width, k}};
    const uint32_t pageRow = m_pageHeight - k;
    const TRAQ3_tagTargetPositionForBitmap t{0, pageRow, width, k, pageRow, k};
    return bWriteENCODEBuff(&b, width * m_bytesPerPixel, &t, false);
}

// ---------------------------------------------------------------------------
// CEncodeRhv2Buffer

CEncodeRhv2Buffer::~CEncodeRhv2Buffer() { ReleaseCodecBuffers(); }

void CEncodeRhv2Buffer::ReleaseCodecBuffers() {
    Mem_Free(m_codecOut);
    Mem_Free(m_codecWork);
    m_codecOut = m_codecWork = nullptr;
    m_codecOutSize = m_codecWorkSize = 0;
}

bool CEncodeRhv2Buffer::bInitEncodeBuffa(unsigned int resolution, int format, int convert, const tagPOINT& print) {
    uint32_t mode;
    if (convert && format == kBandFormatCmyk)
        mode = kRhv2Four;
    else if (convert && (format == kBandFormatRgbx || format == kBandFormatBgrx))
        mode = kRhv2Three;
    else if (format == kBandFormatCmyk || JpegFormat(format))
        mode = kRhv2Gray;
    else
        return false;
    (void)print;
    if (!InitCommon(resolution, format, convert, mode == kRhv2Gray ? 1u : 4u)) return false;
    m_mode = mode;
    return true;
}

bool CEncodeRhv2Buffer::SendSlices(const uint8_t* first, size_t stride, uint32_t width, uint32_t lines) {
    const size_t pixelBytes = m_mode == kRhv2Gray ? 1 : 4;
    for (uint32_t y = 0; y < lines; y += kBlockLines) {
        const uint32_t n = std::min(lines - y, kBlockLines);
        const uint8_t* src = first + size_t{y} * stride;
        size_t srcStride = stride;
        size_t srcSize = size_t{n - 1} * stride + size_t{width} * pixelBytes;
        if (m_mode == kRhv2Three) {
            // 4-byte pixels packed to R, G, B in the buffer's own memory.
            const bool bgr = m_format == kBandFormatBgrx;
            for (uint32_t i = 0; i < n; ++i) {
                const uint8_t* s = src + size_t{i} * stride;
                uint8_t* d = &m_packed[size_t{i} * width * 3];
                for (uint32_t x = 0; x < width; ++x, s += 4, d += 3) {
                    d[0] = bgr ? s[2] : s[0];
                    d[1] = s[1];
                    d[2] = bgr ? s[0] : s[2];
                }
            }
            src = m_packed.data();
            srcStride = size_t{width} * 3;
            srcSize = srcStride * n;
        }
        const uint32_t outSize = Rhv2GetRhv2BufSize(kRhv2Compress, m_mode, width, n, static_cast<uint32_t>(srcStride));
        const uint32_t workSize = Rhv2GetWorkBufSize(m_mode, width, n);
        // A size the helpers cannot give (0: beyond 32 bits) is a failure.
        if (outSize == 0 || workSize == 0 || outSize > INT32_MAX || workSize > INT32_MAX) return false;
        if (m_codecOutSize < outSize || m_codecWorkSize < workSize) {
            ReleaseCodecBuffers();
            m_codecOut = static_cast<uint8_t*>(Mem_Alloc(static_cast<int>(outSize)));
            m_codecWork = static_cast<uint8_t*>(Mem_Alloc(static_cast<int>(workSize)));
            if (!m_codecOut || !m_codecWork) return false;
            m_codecOutSize = outSize;
            m_codecWorkSize = workSize;
        }
        uint32_t produced = 0;
        if (Rhv2CompDecomp(kRhv2Compress, m_mode, width, n, static_cast<uint32_t>(srcStride), src, srcSize,
                           m_codecOut, m_codecOutSize, m_codecWork, m_codecWorkSize, &produced) != 0)
            return false;
        SendData(0, m_codecOut, produced);
    }
    return true;
}

bool CEncodeRhv2Buffer::bConvertAndSend(const TRAQ3_tagBitmapParam* b, size_t stride,
                                        const TRAQ3_tagTargetPositionForBitmap* t) {
    if (stride > 0xFFFFFFFFu) return false;
    if (m_mode == kRhv2Three) {
        try {
            m_packed.resize(size_t{t->width} * 3 * kBlockLines);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    const uint8_t* first = pvPixelToAddress(b->bits, m_bytesPerPixel, stride, b->rect.left, b->first_line);
    try {
        SendObjectHeader(*t);
        if (!SendSlices(first, stride, t->width, t->height)) {
            ReleaseCodecBuffers();
            return false;
        }
        SendData(1, nullptr, 0);
        Spooler()->Flush();
    } catch (EngineMessage) {
        return false;
    }
    return true;
}

}  // namespace ovcg
