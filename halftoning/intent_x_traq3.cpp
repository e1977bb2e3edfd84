#include "halftoning/intent_x_traq3.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <tuple>
#include <utility>

#include "commands/traq3_records.h"
#include "engine/engine_error.h"
#include "engine/plimo_buffer.h"
#include "engine/spooler.h"
#include "halftoning/halftoner_part.h"

namespace ovcg {
namespace {

constexpr int kPhotoValues = 16;
constexpr int kDutyValues = 12;

int64_t AtLeast0(int64_t v) { return v < 0 ? 0 : v; }

// (30 R + 59 G + 11 B) / 100, truncated: 0 stays 0 and 255 stays 255.
inline uint8_t Gray(const uint8_t* p, bool bgr) {
    const unsigned r = bgr ? p[2] : p[0], b = bgr ? p[0] : p[2];
    return static_cast<uint8_t>((30 * r + 59 * p[1] + 11 * b) / 100);
}

// n pixels from s, step bytes apart, as one gray byte each from d on. d may
// be s itself (in place): pixel i is read before byte i is written and lies
// at or after it.
void GrayRow(const uint8_t* s, ptrdiff_t step, uint8_t* d, uint32_t n, bool bgr) {
    for (uint32_t i = 0; i < n; ++i, s += step) d[i] = Gray(s, bgr);
}

}  // namespace

Level3Window PlaceLevel3Band(const tagRECT& clip, const tagRECT& band, const FrameOffsets& frame, bool emptyPage,
                             uint32_t pageWidth, uint32_t pageLength, bool evenLeft) {
    const int64_t w = AtLeast0(int64_t{band.right} - band.left);
    const int64_t h = AtLeast0(int64_t{band.bottom} - band.top);
    const int64_t x = static_cast<int64_t>(std::min<uint64_t>(frame.x, UINT32_MAX));
    const int64_t y = static_cast<int64_t>(std::min<uint64_t>(frame.y, UINT32_MAX));
    const int64_t l = emptyPage ? 0 : clip.left;
    const int64_t t = emptyPage ? 0 : clip.top;
    const int64_t r = std::min<int64_t>(emptyPage ? w : clip.right, w);
    const int64_t b = std::min<int64_t>(emptyPage ? h : clip.bottom, h);
    // Columns: page column = band column - x; a window that reaches the
    // band's right edge loses the frame on that side too.
    int64_t left = AtLeast0(l - x);
    int64_t right = x == 0 ? r : AtLeast0(r >= w ? w - 2 * x : r - x);
    right = std::min<int64_t>(right, pageWidth);
    if (evenLeft) left &= ~int64_t{1};
    // Rows: page row = band.top + band row - y, inside the page.
    const int64_t pageTop = int64_t{band.top} - y;
    const int64_t top = std::max<int64_t>(pageTop + t, 0);
    const int64_t bottom = std::min<int64_t>(pageTop + b, pageLength);
    Level3Window win;
    if (left >= right || top >= bottom) return win;
    win.top = static_cast<uint32_t>(top);
    win.bottom = static_cast<uint32_t>(bottom);
    win.left = static_cast<uint32_t>(left);
    win.right = static_cast<uint32_t>(right);
    win.bandRow = static_cast<uint32_t>(top - pageTop);
    win.bandColumn = static_cast<uint32_t>(left + x);
    return win;
}

CIntentX_TRAQ3::CIntentX_TRAQ3(const tagHTINITSTRUCT* init, int rotate, unsigned short overprint)
    : CIntentX(init),
      m_encode(Init().encode_buffer),
      m_records(Init().level3_records),
      m_rotate(rotate != 0),
      m_composite(Init().ink_set_id == 0 || Init().composite_black == 1),
      m_emptyPage(Init().empty_page != 0),
      m_deferSkip(Init().defer_skip != 0),
      m_flipH(Init().flip_h != 0),
      m_flipV(Init().flip_v != 0),
      m_sixteen(Init().sixteen_bit != 0),
      m_bgr(Init().src_format == kBandFormatBgrx),
      m_format(Init().src_format),
      m_srcBpp(SourcePixelBytes(Init().src_format)),
      m_pageWidth(Buffer()->Width()) {
    const tagHTINITSTRUCT& in = Init();
    const tagHTSTRUCT3_5& ht = HalftoneRecord();
    if (!m_records || !m_encode || !in.spooler) ThrowMessage(kIllegalParameterException);
    unsigned char code = 0;
    if (!m_records->bSelectHalftone(in.color_type, ht.halftone_type, &code)) ThrowMessage(kHTException);

    m_records->vSetqltyHalftone(code);
    m_records->vSetqltyHtSubType(in.ht_sub_type == -1 ? 0 : static_cast<uint8_t>(in.ht_sub_type));
    m_records->vSetqltyOverprint(overprint);
    m_records->vSetqltyUpperSkip(in.upper_skip ? 1 : 0);
    m_records->vSetqltyUnitNumber(in.unit_number);
    m_records->vSetqltyIntent(static_cast<uint32_t>(ht.color_correction));
    m_records->vSetqltyCmSubType(static_cast<uint32_t>(in.sub_type));
    const int n = static_cast<int>(std::min<unsigned>(Colours(), kPhotoValues));
    int values[kPhotoValues];
    for (int i = 0; i < kPhotoValues; ++i) values[i] = i < n && i < kDutyValues ? in.duty_multi[i] : kDutyFull;
    m_records->vSetqltyPhoto(ht.gamma, ht.brightness, ht.contrast, ht.saturation, ht.r_strength, ht.g_strength,
                             ht.b_strength, n, values);
    in.spooler->SendData(static_cast<const char*>(m_records->pvGet_SetPrintingQuality()),
                         m_records->uiGetLength_SetPrintingQuality());
    in.spooler->Flush();

    const int32_t resolution = std::max(in.src_resolution.x, in.src_resolution.y);
    if (!m_encode->bInitEncodeBuffa(resolution > 0 ? static_cast<unsigned>(resolution) : 0u, in.src_format,
                                    in.ink_set_id, in.prt_resolution))
        ThrowMessage(kIllegalParameterException);
    m_outBpp = m_encode->BytesPerPixel();

    // What each pixel becomes, decided once for the job.
    const bool colour = m_format == kBandFormatRgbx || m_format == kBandFormatBgrx;
    if (m_srcBpp == 1 && m_format == kBandFormatGray)
        m_op = m_outBpp == 4 ? PixelOp::kGrayToColour : PixelOp::kCopy;
    else if (m_srcBpp == 4 && m_outBpp == 1 && colour)
        m_op = PixelOp::kColourToGray;
    else if (m_srcBpp == 4 && m_outBpp == 4 && m_composite)
        m_op = colour ? PixelOp::kComposite : PixelOp::kRefuse;
    else if (m_srcBpp == 4 && m_outBpp == 4)
        m_op = PixelOp::kCopy;
    else
        m_op = PixelOp::kRefuse;
    // The white of the source format.
    if (m_format == kBandFormatGray)
        m_whitePixel[0] = 0xFF;
    else if (colour)
        m_whitePixel[0] = m_whitePixel[1] = m_whitePixel[2] = 0xFF;
}

CIntentX_TRAQ3::~CIntentX_TRAQ3() = default;

int CIntentX_TRAQ3::ResetPage(const tagHTINITSTRUCT* init) {
    std::vector<uint8_t>().swap(m_work);
    std::vector<uint8_t>().swap(m_reduced);
    m_prevEnd = 0;
    m_bandSeen = false;
    return CIntentX::ResetPage(init);
}

int CIntentX_TRAQ3::StartPage() {
    m_firstRow = kNoRow;
    m_prevEnd = 0;
    m_bandSeen = false;
    m_encode->vStartPage();
    try {
        Init().spooler->SendData(static_cast<const char*>(m_records->pvGet_MakePage()),
                                 m_records->uiGetLength_MakePage());
    } catch (EngineMessage) {
        return kSendFailed;
    }
    return CIntentX::StartPage();
}

int CIntentX_TRAQ3::GetFlipHBand(tagBANDBMP*, tagBANDBMP*, const tagRECT*, tagRECT*) { return 0; }

int CIntentX_TRAQ3::ConvertRGBXto8BITGRAY(tagBANDBMP* bmp, uint32_t width, uint32_t rows) {
    if (!bmp || !bmp->Bits) return kHtBadBand;
    const uint64_t padded = (uint64_t{width} + 7) & ~uint64_t{7};
    // Row r is written at r x padded, read at r x WidthBytes: with padded <=
    // WidthBytes no row overwrites a later one before it is read.
    if (uint64_t{bmp->WidthBytes} < uint64_t{width} * 4 || padded > bmp->WidthBytes) return kHtBadBand;
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* src = bmp->Bits + size_t{r} * bmp->WidthBytes;
        uint8_t* dst = bmp->Bits + size_t{r} * padded;
        GrayRow(src, 4, dst, width, false);
        std::memset(dst + width, 0xFF, static_cast<size_t>(padded - width));
    }
    bmp->WidthBytes = static_cast<uint32_t>(padded);
    return 0;
}

// ---------------------------------------------------------------------------
// Pixels

template <CIntentX_TRAQ3::PixelOp Op>
static void ConvertRun(const uint8_t* s, ptrdiff_t step, uint8_t* d, uint32_t n, bool bgr, unsigned bpp) {
    using Op_ = CIntentX_TRAQ3::PixelOp;
    for (uint32_t i = 0; i < n; ++i, s += step) {
        if constexpr (Op == Op_::kCopy) {
            std::memcpy(d, s, bpp);
            d += bpp;
        } else if constexpr (Op == Op_::kGrayToColour) {
            d[0] = d[1] = d[2] = s[0];
            d[3] = 0;
            d += 4;
        } else {
            static_assert(Op == Op_::kComposite);
            d[0] = d[1] = d[2] = Gray(s, bgr);
            d[3] = s[3];
            d += 4;
        }
    }
}

void CIntentX_TRAQ3::ConvertRow(const uint8_t* s, ptrdiff_t step, uint8_t* d, uint32_t n) const {
    switch (m_op) {
        case PixelOp::kCopy: ConvertRun<PixelOp::kCopy>(s, step, d, n, m_bgr, m_outBpp); break;
        case PixelOp::kGrayToColour: ConvertRun<PixelOp::kGrayToColour>(s, step, d, n, m_bgr, m_outBpp); break;
        case PixelOp::kColourToGray: GrayRow(s, step, d, n, m_bgr); break;
        case PixelOp::kComposite: ConvertRun<PixelOp::kComposite>(s, step, d, n, m_bgr, m_outBpp); break;
        case PixelOp::kRefuse: break;
    }
}

int CIntentX_TRAQ3::WriteWindow(const Source& s) {
    const int64_t L = PageLength(), W = m_pageWidth;
    // The window on the page after the flips.
    int64_t top = s.top, bottom = s.bottom, left = s.left, right = s.right;
    if (m_flipH) std::tie(left, right) = std::pair<int64_t, int64_t>{W - right, W - left};
    if (m_flipV) std::tie(top, bottom) = std::pair<int64_t, int64_t>{L - bottom, L - top};
    // ... and after the quarter turn.
    int64_t oTop = top, oBottom = bottom, oLeft = left, oRight = right;
    if (m_rotate) oTop = left, oBottom = right, oLeft = L - bottom, oRight = L - top;
    if (oTop < 0 || oLeft < 0 || oTop >= oBottom || oLeft >= oRight) return 0;
    // Rows relative to the page's first printed row; rows above it are lost.
    int64_t shift = 0;
    if (m_deferSkip) {
        if (m_firstRow == kNoRow) m_firstRow = static_cast<uint32_t>(oTop);
        shift = m_firstRow;
        if (oBottom <= shift) return 0;
    }
    const int64_t firstOut = std::max(oTop, shift);
    const uint32_t width = static_cast<uint32_t>(oRight - oLeft);
    const uint32_t height = static_cast<uint32_t>(oBottom - firstOut);

    const uint8_t* bits;
    size_t stride;
    if (m_op == PixelOp::kCopy && !m_flipH && !m_flipV && !m_rotate && s.colStep == m_outBpp) {
        // Nothing changes: the band's own pixels.
        bits = s.origin + static_cast<size_t>(firstOut - oTop) * s.rowStep;
        stride = s.rowStep;
    } else {
        stride = size_t{width} * m_outBpp;
        try {
            if (m_work.size() < stride * height) m_work.resize(stride * height);
        } catch (const std::bad_alloc&) {
            return kNoMemory;
        }
        // Each output row is one run through the source: along a source row
        // (no rotation) or down a source column (rotation).
        const auto rowStep = static_cast<ptrdiff_t>(s.rowStep), colStep = static_cast<ptrdiff_t>(s.colStep);
        for (uint32_t r = 0; r < height; ++r) {
            const int64_t R = firstOut + r;  // output row, page frame
            int64_t y, x;                   // source page row and column of the run's first pixel
            ptrdiff_t step;
            if (m_rotate) {
                x = R;
                y = L - 1 - oLeft;
                step = -rowStep;
            } else {
                y = R;
                x = oLeft;
                step = colStep;
            }
            if (m_flipV) y = L - 1 - y, step = m_rotate ? -step : step;
            if (m_flipH) x = W - 1 - x, step = m_rotate ? step : -step;
            const uint8_t* p = s.origin + (y - s.top) * rowStep + (x - s.left) * colStep;
            ConvertRow(p, step, m_work.data() + r * stride, width);
        }
        bits = m_work.data();
    }
    const uint32_t pageRow = static_cast<uint32_t>(firstOut - shift);
    const TRAQ3_tagBitmapParam bitmap{bits, 0, height, tagRECT{0, 0, width, height}};
    const TRAQ3_tagTargetPositionForBitmap target{static_cast<uint32_t>(oLeft), pageRow, width, height, pageRow,
                                                  height};
    return m_encode->bWriteENCODEBuff(&bitmap, static_cast<uint32_t>(stride), &target, true) ? 0 : kHtBadBand;
}

int CIntentX_TRAQ3::WriteWhiteRows(uint64_t pageRow, uint64_t rows) {
    const uint64_t end = std::min<uint64_t>(pageRow + rows, PageLength());
    for (uint64_t top = pageRow; top < end; top += kWhiteRows) {
        const Source white{m_whitePixel, 0, 0, static_cast<uint32_t>(top),
                           static_cast<uint32_t>(std::min(end, top + kWhiteRows)), 0, m_pageWidth};
        if (int r = WriteWindow(white)) return r;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Bands

int CIntentX_TRAQ3::BandOut(const tagRECT* lpClipRect, tagBANDBMP* inBMP, tagBANDBMP* atBMP, const tagRECT* lpBandRect,
                            tagOSDEP3* lpOsDep) {
    if (!lpClipRect || !lpBandRect) return kHtBadBand;
    const tagRECT& clip = *lpClipRect;
    if (clip.left == 0 && clip.top == 0 && clip.right == 0 && clip.bottom == 0) return 0;
    const tagRECT& band = *lpBandRect;
    if (!inBMP || !inBMP->Bits || band.bottom <= band.top || band.right <= band.left || m_op == PixelOp::kRefuse)
        return kHtBadBand;
    const FrameOffsets frame = GetFrameOffsets(lpOsDep);
    if (int64_t{PageLength()} < int64_t{band.top} - static_cast<int64_t>(frame.y)) return kHtBadBand;
    const Level3Window win = PlaceLevel3Band(clip, band, frame, m_emptyPage, m_pageWidth, PageLength(),
                                             Buffer()->HConversion() == -1);
    const uint32_t rows = band.bottom - band.top, pixels = band.right - band.left;
    const uint64_t sample = m_sixteen ? 2 : 1;
    // The band's lines must hold the pixels that are read.
    if (!win.Empty() && (uint64_t{win.bandColumn} + (win.right - win.left)) * m_srcBpp * sample > inBMP->WidthBytes)
        return kHtBadBand;

    const uint8_t* bits = inBMP->Bits;
    size_t stride = inBMP->WidthBytes;
    if (m_sixteen) {
        // Reduced line by line at the band's stride; the seed runs on over
        // every pixel of the band, band after band.
        if (uint64_t{pixels} * m_srcBpp * 2 > inBMP->WidthBytes) return kHtBadBand;
        const size_t line = size_t{pixels} * m_srcBpp;
        try {
            m_reduced.resize(line * rows);
        } catch (const std::bad_alloc&) {
            return kNoMemory;
        }
        for (uint32_t y = 0; y < rows; ++y)
            Nch16to8(reinterpret_cast<const unsigned short*>(inBMP->Bits + size_t{y} * inBMP->WidthBytes),
                     m_reduced.data() + size_t{y} * line, static_cast<int>(pixels), 1, static_cast<int>(m_srcBpp),
                     &m_seed);
        bits = m_reduced.data();
        stride = line;
    }

    m_frameY = frame.y;
    if (int r = CheckEmptyBand(lpBandRect)) return r;
    if (!win.Empty()) {
        const Source src{bits + size_t{win.bandRow} * stride + size_t{win.bandColumn} * m_srcBpp,
                         stride,
                         m_srcBpp,
                         win.top,
                         win.bottom,
                         win.left,
                         win.right};
        if (int r = WriteWindow(src)) return r;
    }
    // The engine's dot counters see the band as it was given.
    if (Init().dot_counting) CIntentX::BandOut(lpClipRect, inBMP, atBMP, lpBandRect, lpOsDep);
    return 0;
}

int CIntentX_TRAQ3::CheckEmptyBand(const tagRECT* lpBandRect) {
    if (!lpBandRect) return kHtBadBand;
    int64_t gap = int64_t{lpBandRect->top} - static_cast<int64_t>(m_prevEnd);
    if (!m_bandSeen) gap -= static_cast<int64_t>(m_frameY);
    int r = 0;
    if (gap > 0 && m_emptyPage) {
        const int64_t at = AtLeast0(static_cast<int64_t>(m_prevEnd) - static_cast<int64_t>(m_frameY));
        r = WriteWhiteRows(static_cast<uint64_t>(at), static_cast<uint64_t>(gap));
    }
    m_prevEnd = lpBandRect->bottom;
    m_bandSeen = true;
    return r;
}

int CIntentX_TRAQ3::EmptyPageEndOut(int wholePage) {
    const int64_t length = PageLength();
    const auto y = static_cast<int64_t>(m_frameY);
    int64_t count = 0;
    if (static_cast<int64_t>(m_prevEnd) < length)
        count = m_bandSeen ? AtLeast0(length + y - static_cast<int64_t>(m_prevEnd)) : (wholePage ? length : 0);
    if (m_emptyPage) {
        m_endRowsAll += static_cast<uint64_t>(count);
        if (m_bandSeen) m_endRowsAfter += static_cast<uint64_t>(count);
    }
    m_endStart = m_bandSeen ? static_cast<uint64_t>(AtLeast0(static_cast<int64_t>(m_prevEnd) - y)) : 0;
    m_endBase = m_encode->ulGetBaseVPosition();
    m_prevEnd = 0;
    m_bandSeen = false;
    return 0;
}

int CIntentX_TRAQ3::EmptyPageEndFlush(int afterLastBand) {
    const uint64_t rows = afterLastBand ? m_endRowsAfter : m_endRowsAll;
    m_endRowsAll = m_endRowsAfter = 0;
    int r = 0;
    if (rows > 0) {
        // The rows belong to the page that ended: its base row, not the one
        // a continuous roll may have moved on to.
        const uint32_t base = m_encode->ulGetBaseVPosition();
        m_encode->vSetBaseVPosition(m_endBase);
        r = WriteWhiteRows(m_endStart, rows);
        m_encode->vSetBaseVPosition(base);
    }
    m_firstRow = kNoRow;
    return r;
}

std::unique_ptr<IHalftoner> MakeLevel3Halftoner(const tagHTINITSTRUCT* init, int rotate, int overprint) {
    return std::make_unique<HalftonerPart<CIntentX_TRAQ3>>(init, rotate, static_cast<unsigned short>(overprint));
}

}  // namespace ovcg
