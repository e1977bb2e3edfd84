// The band driver of level-2 and page-language jobs: CIntentX places each
// band of a page (page-edge frame, clip, blank rows between bands), converts
// each used source row with the source converter, halftones the rows through
// the halftone base, repeats rows vertically when the print resolution asks
// for it and hands the results on. It also mirrors bands for mirrored jobs and
// keeps the blank rows at the end of the page.
//
// Terms: L = lines per engine call (the init record's band_lines: 4 when two
// source rows make one printed row, else 2), R = the band buffer's vertical
// ratio (output rows per used source row), t = the init record's reduce_step
// (every t-th source row and pixel is used), H = the band height after
// placement.
//
// Rows: one row loop walks the band's used rows (every t-th, from the last
// with the vertical flip; never a row at or beyond H) and feeds each used row
// R times into engine calls of L lines:
//   - with R below 2 the used rows form groups of L (the last group holds
//     what remains); a group with a row inside the clip is halftoned whole,
//     any other group is one run of empty rows;
//   - with R of 2 or more every used row inside the clip is converted once
//     and halftoned R times, repeats of consecutive rows sharing a call; a
//     repeat left over before a row outside the clip, or at the band's end,
//     goes alone; a row outside the clip is a run of R empty rows.
// Columns: with a step t the engine's pixel p is source pixel p x t; a
// window takes those from the first at or right of its left edge,
// (right - left) / t of them (CHalftone::EngineSpan), so no pixel outside
// the window is read, and a row held for a later call keeps just the
// window's pixels.
// With L = 4 the calls are aligned on groups of four page rows: a group that
// a band boundary cuts is completed with the next band (its rows held in the
// copy buffer, blank rows of the group sent as white lines) or at the page's
// end, so every call holds the four rows of one group.
//
// Hybrid error diffusion (halftone kind 6) on colour jobs takes the parallel
// path (ExecBandOutHybridParallel) when the object has worker threads (its
// constructor's count; by default one less than the CPUs the calling thread
// may run on, so one CPU prints serially), at least one per-channel
// instance, no gray expansion and two lines a call, and a direct ink source
// has one plane per channel; every other band goes the serial way. The
// parallel path prints what the serial path prints: the calling thread walks
// the band's rows as the serial path does, gives each printed row the skip
// decision and engine row that the serial path's counters give it, copies
// the rows' pixels into a ring of rows (row_pipeline.h) and hands the
// finished rows on in order; the workers convert the rows' colours (with the
// main instance and, from four threads on, conversion instances of their
// own: three for every eight threads) and halftone each channel with its own
// instance. A band's rows may still be in the ring when
// BandOut returns: they are handed on by later calls, and before anything
// else reaches the output module (the blank rows between bands, the upper
// skip, the page's end, EndPage, FlushHeldRows) every held row is. The
// ring holds a number of rows set from the page's width. Its upper skip is
// decided from the band's source rows before the band (SkipUpperMT). A
// direct ink source (101 to 112) is not converted: the workers read the
// lines' planes.
//
// Empty rows (outside the clip, gaps between bands, the page end) go to the
// output module as empty runs; in empty-page mode the gaps and the page end
// are halftoned as white lines, so the engine's page state advances as for
// printed rows. A window without rows or pixels halftones nothing: its rows
// count as empty. With defer_skip, empty rows before the page's first output
// are dropped without being counted. The white line is written in the source
// format (16-bit samples for 16-bit jobs) and converted once, by a converter
// of its own, so it stays white and leaves the rows' dither seed alone.
//
// Nothing is read outside a band: the band's line stride must cover the
// frame offset and every byte the converter and the engine read up to the
// window's right edge, the attribute band likewise, else the band is refused
// with -203 before any row is passed.
//
// Calling order: constructor (creates the engine instances); per page
// StartPage, BandOut for the page's bands (GetFlipHBand before each for
// mirrored jobs), EmptyPageEndOut / EmptyPageEndFlush, EndPage; GetDotCount
// when the job asks for ink use; ResetPage before a later page;
// FlushHeldRows before a job ends inside a page. One calling thread at a
// time; only it calls the output module. The workers start at the first
// parallel band and stop in the destructor, which drops rows still held.
//
// Errors: the constructor throws an int (-204 unsupported format or white
// pattern, -205 no memory, or the instance creation's code). Operations
// return 0 or a code: -203 bad band, -204 no white pattern, -4 no memory in a
// band call (the parallel path's rings), -10 a worker that cannot be started
// (the workers are dropped; the next band tries again), -3004 a worker's
// halftoning failed, the halftone base's codes (-201, -202, -3001..-3005)
// and the output module's codes unchanged. A failing band leaves the rows
// already handed on handed on. A held row's failure is returned by the call
// whose hand-on reaches it (BandOut, or at the latest the page's end, or
// FlushHeldRows): the rows before it are handed on, the rows from it on are
// dropped (with the band of a BandOut that answers it), and the page goes on
// with the next band.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "halftoning/halftone.h"

namespace ovcg {

struct CTHREAD_STRUCT_tag;

// Where a band lies once its frame and clip are applied (band coordinates).
struct BandPlacement {
    uint32_t left = 0, right = 0;  // window columns after the horizontal frame
    uint32_t first = 0, end = 0;   // rows of the clip: first, end (exclusive)
    uint32_t height = 0;           // H: the band's rows that remain
    uint32_t dropped = 0;          // frame rows dropped at the band's top
    bool Empty() const { return left >= right || first >= end; }
};

// The band's frame offsets from its descriptor (0, 0 without one).
struct FrameOffsets {
    uint64_t x = 0, y = 0;
};
FrameOffsets GetFrameOffsets(const tagOSDEP3* descriptor);

// Places a band: the window is the clip (the whole band in empty-page mode);
// a horizontal frame x shifts it left (a right edge at the band's edge loses
// the frame on both sides); the band at page row 0 drops its first y rows,
// another band is cut at the page length. Every difference saturates at 0;
// the window ends at the page width and the clip at the band's height.
BandPlacement SetRectPos(const tagRECT& clip, const tagRECT& band, const FrameOffsets& frame, bool emptyPage,
                         uint32_t pageWidth, uint32_t pageLength);

class CIntentX : public CHalftone {
public:
    static constexpr unsigned kMaxHandles = 13;
    static constexpr unsigned kGroupLines = 4;
    static constexpr unsigned kMaxConversionInstances = 4;

    // `workers`: the parallel path's worker threads, at most 16 (0: every
    // band goes the serial way).
    explicit CIntentX(const tagHTINITSTRUCT* init, unsigned workers = DefaultWorkerThreads());
    ~CIntentX() override;

    // Also forgets the previous band's end.
    int ResetPage(const tagHTINITSTRUCT* init) override;
    // Hands the held rows on first (a failure waits for the next call that
    // can return it).
    int ResetPageLength(unsigned int length) override;

    virtual int ExecBandOut();
    virtual int ExecBandOutNormal();
    // The parallel path's band (see above); the pool is made at the first.
    virtual int ExecBandOutHybridParallel();
    virtual int ExecEmptyBandOut(unsigned int rows);
    // One band: clip in band coordinates, band in page rows and columns. The
    // pixels of the band's used rows are converted in place.
    virtual int BandOut(const tagRECT* lpClipRect, tagBANDBMP* inBMP, tagBANDBMP* atBMP, const tagRECT* lpBandRect,
                        tagOSDEP3* lpOsDep);
    virtual int EmptyPageEndOut(int wholePage);
    virtual int EmptyPageEndFlush(int afterLastBand);
    // Mirrors the band's rows (lpRect's rows, its width of pixels) in place,
    // atBMP likewise with its own pixel size, and the window in lpOutRect
    // (may be null). Returns the new right edge, or -203 for a band whose
    // lines do not hold its width.
    virtual int GetFlipHBand(tagBANDBMP* inBMP, tagBANDBMP* atBMP, const tagRECT* lpRect, tagRECT* lpOutRect);
    virtual int EndPage();
    // Hands on the parallel path's held rows (a job that ends inside a page).
    int FlushHeldRows() { return DrainRows(); }
    virtual int StartPage();
    virtual int GetHalftoneColor(signed char* order);
    virtual int GetDotCount(tagSMLDATA* pageCounts, tagSMLDATA* jobCounts, int bytes, int colours);

    unsigned GetBandHeight() const { return m_place.height; }
    // The gap since the previous band (less the vertical frame before the
    // first band), emitted with EmptyBandOut; the band's bottom becomes the
    // previous band's end.
    int CheckEmptyBand(const tagRECT* lpBandRect);
    int EmptyBandOut(uint64_t rows);
    // The parallel path's upper skip, decided from the band's source rows:
    // the first used row inside the clip that is not white ends the skip.
    int SkipUpperMT(const tagRECT* lpBandRect);

    // White tests of a line of `pixels` pixels: RGBX pixels with three bytes
    // of 255, CMYK pixels of zero bytes.
    static bool IsBlankRGBXRaster(const uint8_t* line, unsigned pixels);
    static bool IsBlankCMYKRaster(const uint8_t* line, unsigned pixels);
    // The white test of a source format (16-bit samples when sixteen): every
    // pixel of the line is white. Reads exactly pixels x the pixel's bytes.
    static bool IsBlankRaster(int sourceFormat, bool sixteen, const uint8_t* line, unsigned pixels);

    // Bytes of one source pixel of a format (0 when the format is not
    // supported) and of its attribute plane (0: none).
    static unsigned SourcePixelBytes(int sourceFormat);
    static unsigned AttributePixelBytes(int sourceFormat);

    // What the constructor refuses of a record before it makes an engine
    // instance, the band buffer's vertical ratio being `repeat`: 0 or -204.
    static int CheckRecord(const tagHTINITSTRUCT& init, unsigned repeat);
    // The job's first and second document types (-1: none) for a page of
    // the colour correction; whether bands carry an attribute plane to the
    // engine.
    static void JobDocTypes(const tagHTINITSTRUCT& init, int colorCorrection, int docTypes[2], bool* attrUse);

    // State, for tests.
    void* const* Handles() const { return m_handles; }
    unsigned Channels() const { return m_channels; }
    unsigned LinesPerCall() const { return m_lines; }
    unsigned Repeat() const { return m_repeat; }
    bool AttributeUse() const { return m_attrUse; }
    const int* DocTypes() const { return m_docTypes; }
    const BandPlacement& Placement() const { return m_place; }
    uint64_t PreviousBandEnd() const { return m_prevEnd; }
    uint64_t PageEndRows() const { return m_endRowsAll; }
    uint64_t PageEndRowsAfterLastBand() const { return m_endRowsAfter; }
    unsigned HeldRows() const { return m_groupFill; }
    // Whether bands take the parallel path.
    bool ParallelPath() const;
    // One less than the CPUs the calling thread may run on (its affinity
    // mask), at most 16.
    static unsigned DefaultWorkerThreads();
    // The instances that convert colours for `workers` workers (the main
    // one among them).
    static unsigned ConversionInstances(unsigned workers);
    // The rows of the parallel path's ring, rows of `rowBytes` bytes (a
    // row's share of every ring), for `workers` workers and `inks` inks.
    static uint32_t RingRowsFor(uint64_t rowBytes, unsigned workers, unsigned inks);
    unsigned WorkerThreads() const { return m_workers; }
    // Whether rows of the parallel path are held (planned, not handed on).
    bool RowsHeld() const;
    // The last parallel band: its rows (T = used rows x R) and the rows of
    // them dropped before the page's first output (k).
    struct ParallelBandRows {
        uint32_t rows = 0, dropped = 0;
    };
    ParallelBandRows LastParallelBand() const { return m_lastParallel; }
    bool HasWorkerPool() const { return m_parallel != nullptr; }
    // The rows the parallel path's ring holds (0 before its first band).
    uint32_t RingRows() const;
    // The conversion instances made beside the main one.
    std::span<void* const> ConversionHandles() const { return {m_converterHandles, m_extraConverters}; }

protected:
    // Starts one worker of the pool: ht_begin_thread (0 or -10).
    virtual int BeginWorkerThread(CTHREAD_STRUCT_tag* record);

private:
    class ParallelRows;

    // A line of one engine call: the converted pixels, the attribute plane's
    // line and where its gray-expansion attribute bytes are.
    struct Slot {
        unsigned char* line = nullptr;
        unsigned char* attr = nullptr;
        const unsigned char* alpha = nullptr;
    };
    // A row of a four-line group.
    enum class GroupRow : uint8_t {
        kBlank,  // no pixels: a white line when the group is halftoned
        kWhite,  // a white row the engine must see (empty-page mode)
        kBand,   // a used row of the current band (its walk index)
        kHeld,   // a row of an earlier band, in the copy buffer
    };
    struct GroupEntry {
        GroupRow kind = GroupRow::kBlank;
        bool inClip = false;
        uint32_t index = 0;  // kBand: walk index; kHeld: copy line
        uint32_t left = 0, right = 0;
    };
    // A line of the object's own (engine memory), zero-filled when grown.
    class OwnedLine {
    public:
        OwnedLine() = default;
        ~OwnedLine();
        OwnedLine(const OwnedLine&) = delete;
        OwnedLine& operator=(const OwnedLine&) = delete;
        // At least `bytes` bytes, the old ones kept; false when memory is
        // exhausted (the line is then unchanged).
        bool Grow(uint64_t bytes);
        unsigned char* data() const { return m_data; }
        uint64_t size() const { return m_size; }

    private:
        unsigned char* m_data = nullptr;
        uint64_t m_size = 0;
    };

    // The parallel path's held rows: every one handed on (a pending failure
    // is returned first), or those finished by now.
    int DrainRows();
    int HandOnFinishedRows();
    // Whether hybrid bands can take the parallel path (the per-channel
    // instances aside).
    bool ParallelJob() const;
    bool DirectInk() const;
    void DeleteInstances();

    // Band geometry.
    uint32_t UsedRows() const;
    // Whether used row `walk` is halftoned: with R below 2 when a row of its
    // group of L is inside the clip, else when it is inside the clip.
    bool PrintedRow(uint32_t walk) const;
    uint32_t RowOf(uint32_t walk) const;
    bool InClip(uint32_t row) const;
    unsigned char* LineOf(uint32_t row) const;
    unsigned char* AttrOf(uint32_t row) const;
    // The attribute plane's own lines go with the band (1 byte a pixel).
    bool AttributeKept() const;
    // Bytes from a line's start that converting and halftoning a window read
    // or write (converting reads up to the right edge, and the engine's
    // every t-th pixel lies inside the window).
    uint64_t LineReach(uint32_t left, uint32_t right) const;
    uint64_t LineAllocBytes(uint64_t pixels) const;
    // Bytes of one pixel once converted (1 for gray lines).
    unsigned ConvertedPixelBytes() const;

    // Engine calls: slots are placed in order and a call of L lines goes as
    // soon as L are placed (FlushCall sends fewer).
    int Place(const Slot& slot);
    int FlushCall();
    int Call(unsigned lines, unsigned rows);
    int EmptyRows(uint64_t rows);
    // The halftone window; a new window starts from a clear band buffer.
    int SetWindow(uint32_t left, uint32_t right);
    // Converts a band row in place, its gray-expansion attribute bytes into
    // the buffer of call line `slot`.
    void ConvertRow(unsigned char* line, unsigned slot, const unsigned char** alpha);

    // The white line of the source format, converted once (grown on demand,
    // with the copy lines); -204 when the format has no white.
    int EnsureWhite(uint64_t pixels);
    Slot WhiteSlot() const;

    // Four-line groups.
    int AddGroupRow(const GroupEntry& e);
    int AddBlankRows(uint64_t rows);
    int AddWhiteRows(uint64_t rows);
    // Halftones the open group (padded with white at the page end) or passes
    // it as empty rows when no row of it prints.
    int CompleteGroup(bool pageEnd);
    // The band's rows of the open group go to the copy buffer.
    int HoldBandRows();
    // A white copy line with the row's window of pixels (and attribute
    // bytes) copied in.
    int CopyMasked(unsigned copy, const unsigned char* line, const unsigned char* attr, const unsigned char* alpha,
                   uint32_t left, uint32_t right);
    int FlushCopyBuffer();

    void* m_handles[kMaxHandles] = {};
    unsigned m_channels = 0;
    int m_docTypes[2] = {-1, -1};
    unsigned m_srcBpp = 0;
    unsigned m_attrBpp = 0;
    unsigned m_sampleBytes = 1;  // 2 for 16-bit samples
    bool m_attrUse = false;
    unsigned m_lines = 2;
    unsigned m_repeat = 1;
    unsigned m_step = 1;
    bool m_flipV = false;
    bool m_emptyPage = false;
    bool m_deferSkip = false;
    uint32_t m_pageWidth = 0;

    // The current band.
    BandPlacement m_place;
    FrameOffsets m_frame;
    unsigned char* m_bits = nullptr;  // first row after the dropped frame rows, at the frame offset
    uint64_t m_stride = 0;
    unsigned char* m_attrBits = nullptr;
    uint64_t m_attrStride = 0;
    uint64_t m_bandTop = 0;
    uint64_t m_prevEnd = 0;
    bool m_bandSeen = false;
    bool m_windowSet = false;

    // The call being filled.
    Slot m_slots[kGroupLines];
    unsigned m_filled = 0;

    // Empty-page rows of the page end.
    uint64_t m_endRowsAll = 0;
    uint64_t m_endRowsAfter = 0;

    // White lines: the source format's white converted once, its attribute
    // plane line and gray-expansion attribute bytes.
    OwnedLine m_white, m_whiteAttr, m_whiteAlpha;
    uint64_t m_whitePixels = 0;

    // Four-line groups: the rows of the open group after the blank rows
    // already passed, and the copy lines of held rows.
    GroupEntry m_group[kGroupLines];
    unsigned m_groupFill = 0;
    OwnedLine m_copy[kGroupLines], m_copyAttr[kGroupLines], m_copyAlpha[kGroupLines];

    // The parallel path: its workers and the conversion instances beyond
    // the main one; its rows and workers from the first parallel band to
    // the end; a failure met where it could not be returned.
    unsigned m_workers = 0;
    unsigned m_extraConverters = 0;
    void* m_converterHandles[kMaxConversionInstances - 1] = {};
    struct ParallelRowsDeleter {
        void operator()(ParallelRows* rows) const;
    };
    std::unique_ptr<ParallelRows, ParallelRowsDeleter> m_parallel;
    int m_pendingCode = 0;
    ParallelBandRows m_lastParallel;
};

// The page's halftoning object of level-2 and page-language jobs behind the
// engine's interface (throws what the constructor throws).
std::unique_ptr<IHalftoner> MakeSerialHalftoner(const tagHTINITSTRUCT* init);

}  // namespace ovcg
