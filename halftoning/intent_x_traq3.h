// The band driver of level-3 jobs. The printer halftones level-3 pages
// itself, so each band goes out as contone pixels: CIntentX_TRAQ3 reduces
// 16-bit bands to 8 bits, places the band on the page, turns colour into
// composite gray for gray output, applies the job's flips and rotation and
// hands the result to the job's encode buffer, which compresses it into
// image objects. At construction it sends the printing-quality record (the
// SLUT package went out when the engine instances were made) and sets the
// encode buffer up; each page starts with the make record.
//
// Geometry. A band's rows are page rows once its vertical frame f is taken
// off (row r of a band at band.top lies on page row band.top + r - f; rows
// above the page are dropped, rows below the page length cut). Its columns
// are page columns once the horizontal frame is taken off, as the serial
// driver places them (a window reaching the band's right edge loses the
// frame on both sides), and the window ends at the page width. Then, in this
// order, in page coordinates (L the page length, W the page width):
//   flip_h:   column x -> W - 1 - x;
//   flip_v:   row y -> L - 1 - y;
//   rotation: a quarter turn of the page, row y, column x -> row x,
//             column L - 1 - y;
//   defer_skip: rows become relative to the page's first printed row (the
//             first row of the first window written on the page); rows above
//             it are not printed.
//
// Pixels. The encode buffer reads 4-byte pixels (RGBX, BGRX, CMYK) or, for
// a gray RHV2 buffer, 1 byte a pixel. Gray bands become (g, g, g, 0) for a
// buffer that takes no gray; colour bands become one gray byte (30 R + 59 G
// + 11 B) / 100 for one that takes only gray; with gray output (ink set 0)
// or the composite-black flag colour pixels become that gray in all three
// colour bytes (the fourth kept). A band that needs no change of its pixels
// and no flip or rotation is handed on in place.
//
// Blank rows between bands and at the page end are sent only in empty-page
// mode, as white rows; otherwise every band carries its own position.
//
// When the job counts dots the serial level-2 band path also runs on each
// band as it was given (it sends nothing, there is no output module, but the
// engine's dot counters advance); without dot counting it is skipped.
//
// Errors: the constructor throws "HT Exception" when the record holder has
// no level-3 halftone for the colour and halftone type, "Illegal Parameter
// Exception" when the encode buffer refuses the job's format (or the record
// holder or the encode buffer is missing), and whatever CIntentX throws.
// BandOut returns 0, -203 (band refused, or the encode buffer refused a
// write) or -10 (no memory for a converted copy). StartPage returns -15
// when the make record cannot be sent, else CIntentX::StartPage's code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "halftoning/intent_x.h"

namespace ovcg {

// Where a level-3 band's window lies (page coordinates, before the flips and
// the rotation): page rows [top, bottom), page columns [left, right); the
// band row and column of the window's first pixel.
struct Level3Window {
    uint32_t top = 0, bottom = 0;
    uint32_t left = 0, right = 0;
    uint32_t bandRow = 0, bandColumn = 0;
    bool Empty() const { return top >= bottom || left >= right; }
};

// Places a band (band rectangle in band coordinates with the frame, clip in
// band rows and columns; emptyPage: the whole band is the window).
// evenLeft: pairs of source pixels make one printed dot, so the window
// starts on an even page column.
Level3Window PlaceLevel3Band(const tagRECT& clip, const tagRECT& band, const FrameOffsets& frame, bool emptyPage,
                             uint32_t pageWidth, uint32_t pageLength, bool evenLeft);

class CIntentX_TRAQ3 : public CIntentX {
public:
    static constexpr int kSendFailed = -15;
    static constexpr int kNoMemory = -10;
    static constexpr uint32_t kNoRow = 0xFFFFFFFFu;
    // Blank rows go out in objects of at most this many rows.
    static constexpr uint32_t kWhiteRows = 8;

    CIntentX_TRAQ3(const tagHTINITSTRUCT* init, int rotate, unsigned short overprint);
    ~CIntentX_TRAQ3() override;

    // Also releases the converted copy and forgets the previous band's end.
    int ResetPage(const tagHTINITSTRUCT* init) override;
    int StartPage() override;
    int BandOut(const tagRECT* lpClipRect, tagBANDBMP* inBMP, tagBANDBMP* atBMP, const tagRECT* lpBandRect,
                tagOSDEP3* lpOsDep) override;
    // Mirroring happens inside BandOut: nothing here.
    int GetFlipHBand(tagBANDBMP* inBMP, tagBANDBMP* atBMP, const tagRECT* lpRect, tagRECT* lpOutRect) override;
    // The page's blank end rows: counted for EmptyPageEndFlush in empty-page
    // mode (from the previous band's end, or the whole page when wholePage
    // and no band came), nothing otherwise.
    int EmptyPageEndOut(int wholePage) override;
    // Sends the counted rows as white rows where the page ended (the base
    // row of the page they belong to), then forgets the page's first
    // printed row.
    int EmptyPageEndFlush(int afterLastBand) override;

    // The gap since the previous band (less the frame before the page's
    // first band) in empty-page mode as white rows.
    int CheckEmptyBand(const tagRECT* lpBandRect);

    // What each source pixel becomes for the encode buffer.
    enum class PixelOp : uint8_t {
        kCopy,          // as it is
        kGrayToColour,  // g -> g, g, g, 0
        kColourToGray,  // R, G, B, X -> one gray byte
        kComposite,     // R, G, B, X -> gray, gray, gray, X
        kRefuse,        // a format the job cannot send: every band is refused
    };

    // A band step beside BandOut (which converts while it copies): rewrites
    // `rows` RGBX rows of `width` pixels, WidthBytes apart, in place as gray
    // rows of the width rounded up to a multiple of 8, one byte (30 R + 59 G
    // + 11 B) / 100 a pixel and the added bytes 255, one row after another;
    // WidthBytes becomes the padded width. 0; kHtBadBand, with nothing
    // changed, for a null bitmap or pixels, rows shorter than 4 bytes a
    // pixel, or padded rows longer than the source rows (a band 1 pixel
    // wide at 4 bytes a row): the gray rows would run past the band.
    static int ConvertRGBXto8BITGRAY(tagBANDBMP* bmp, uint32_t width, uint32_t rows);

    // State, for tests.
    bool Rotate() const { return m_rotate; }
    PixelOp Op() const { return m_op; }
    uint32_t FirstPrintedRow() const { return m_firstRow; }
    unsigned EncodeBytesPerPixel() const { return m_outBpp; }

private:
    // A window of source pixels: page rows [top, bottom) and columns
    // [left, right), the pixel of (top, left) at origin, rowStep bytes a
    // page row and colStep bytes a column (0: one pixel for all).
    struct Source {
        const uint8_t* origin;
        size_t rowStep, colStep;
        uint32_t top, bottom, left, right;
    };

    int WriteWindow(const Source& src);
    int WriteWhiteRows(uint64_t pageRow, uint64_t rows);
    // n pixels from s (step bytes apart) into d in the buffer's layout.
    void ConvertRow(const uint8_t* s, ptrdiff_t step, uint8_t* d, uint32_t n) const;

    IEncodeBuffer* m_encode;
    CTRAQ3V1* m_records;
    bool m_rotate;
    bool m_composite;
    bool m_emptyPage;
    bool m_deferSkip;
    bool m_flipH, m_flipV;
    bool m_sixteen;
    bool m_bgr;
    int m_format;
    unsigned m_srcBpp;
    unsigned m_outBpp = 0;
    PixelOp m_op = PixelOp::kCopy;
    uint8_t m_whitePixel[4] = {};
    unsigned m_seed = 0;
    uint32_t m_pageWidth;

    std::vector<uint8_t> m_reduced;  // the 8-bit copy of a 16-bit band
    std::vector<uint8_t> m_work;     // converted, flipped or rotated pixels

    uint32_t m_firstRow = kNoRow;
    uint64_t m_prevEnd = 0;
    bool m_bandSeen = false;
    uint64_t m_frameY = 0;
    uint64_t m_endRowsAll = 0, m_endRowsAfter = 0;
    uint64_t m_endStart = 0;  // page row where the counted rows start
    uint32_t m_endBase = 0;   // the base row of their page
};

// The level-3 band driver behind the engine's interface (throws what the
// constructor throws).
std::unique_ptr<IHalftoner> MakeLevel3Halftoner(const tagHTINITSTRUCT* init, int rotate, int overprint);

}  // namespace ovcg
