// The halftone base of the band pipeline: everything a band driver needs to
// reach the halftone engine for one job's pages.
//
// CHalftone is built from the halftoner init record at the first page of a
// job and kept for the job's later pages (ResetPage prepares it without
// reading the new record). It holds the engine's three description records,
// the tables of plane and row pointers handed to the engine, the source
// converter, the gray expansion buffers, the row counters with the upper skip
// of blank rows at the top of the page, and the link to the output module. It
// reaches the engine only through the adapter CHXRDLL, the head-control side
// only through COutModule, the bytes only through the spooler.
//
// Calling order: constructor, GetHXRHandle (once); per page StartPage; per
// band SetHTPosition, then per line group CallHXRHalftone (or the parallel
// path's CallHXRConvertColor / CallHXRHalftoneHT) and RasterOut or
// EmptyRasterOut; EndPage; GetDotCount when the job asks for ink use; the
// owner deletes the engine instances (DeleteHXRHandle) before the object.
// Threads: ConvertColorRows and HalftoneInkRows may run on several threads
// at once, each thread with an instance of its own, while the calling thread
// uses the rest of the object; they read nothing that changes after
// construction.
//
// Errors: the constructor throws an int (-204 unsupported record contents,
// -205 no memory). Every other operation returns 0 or a code:
//   -200 null handle, -201 null handle list, -202 colour type without a gray
//   expansion layout, -203 bad band geometry or arguments, -204 unsupported,
//   -207 second document type in a level-3 job, -3001..-3004 engine results
//   (1-4999, 5000-5999, 6000-7999, 8000 and above), -3005 no output colour.
// Codes of the output module and the correction session pass unchanged; the
// spooler's and the command generator's message exceptions pass through.
//
// Nothing of the init record is kept by pointer past GetHXRHandle: the
// engine copies the printer-identifier and calibration blobs when an
// instance is made, and the SLUT prefix blocks are sent then.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/engine_interfaces.h"
#include "engine/platform.h"
#include "halftoning/band_convert.h"
#include "ovcg/hxr.h"
#include "ovcg/ovcg_records.h"

class CHXRDLL;
struct HXRHybridEDTailSlot;
class COutModule;
class CPlimoBuffer;
class CPlimoSpooler;
class CBRS;

namespace ovcg {

class CMWCmd;
struct tagSMLDATA;

inline constexpr int kHtNullHandle = -200;
inline constexpr int kHtNullHandleList = -201;
inline constexpr int kHtNoGrayLayout = -202;
inline constexpr int kHtBadBand = -203;
inline constexpr int kHtUnsupported = -204;
inline constexpr int kHtNoMemory = -205;
inline constexpr int kHtSecondDocTypeLevel3 = -207;
inline constexpr int kHtEngineCodeLow = -3001;     // engine codes 1..4999
inline constexpr int kHtEngineCodeMiddle = -3002;  // 5000..5999
inline constexpr int kHtEngineCodeHigh = -3003;    // 6000..7999
inline constexpr int kHtEngineCodeOther = -3004;   // 8000 and above
inline constexpr int kHtNoOutputColour = -3005;
inline constexpr int kHtBandNoMemory = -4;  // no memory inside a band call

// The halftone engine's correction hook (_HXR_BRS_FUNC): the correction
// session's correction entry and its context.
struct HxrBrsHook {
    int32_t (*correct)(void* context, const void* in, void* out);
    void* context;
};

// A band's horizontal window in source pixels: [left, right).
struct HtWindow {
    uint32_t left = 0, right = 0;
};

// The pixels the engine takes of a window, in its own pixels: with a
// reduction step t the engine's pixel p is source pixel p x t.
struct HtSpan {
    uint32_t first = 0, count = 0;
};

class CHalftone {
public:
    static constexpr unsigned kMaxColours = 12;
    static constexpr unsigned kMaxBandRows = 2;
    static constexpr unsigned kMaxGrayLines = 6;
    static constexpr unsigned kPlaneEntries = 48;
    static constexpr unsigned kAttributeEntries = 4;
    static constexpr unsigned kSwitchingWords = 6;
    static constexpr unsigned kDotSizes = 3;
    static constexpr int32_t kResetPageExport = 2103;
    static constexpr int kDocTypeRetries[8] = {5, 0, 6, 2, 12, 13, 14, 4};

    explicit CHalftone(const tagHTINITSTRUCT* init);
    virtual ~CHalftone();
    CHalftone(const CHalftone&) = delete;
    CHalftone& operator=(const CHalftone&) = delete;

    // Prepares a kept object for the next page without reading the record:
    // clears the page-has-output flag and the page state, exports event 2103;
    // answers 1.
    virtual int ResetPage(const tagHTINITSTRUCT* init);
    // A new page length in source rows; the minimum length becomes its
    // vertical ratio. Answers 1.
    virtual int ResetPageLength(unsigned int length);

    // Engine instances: handles[0] the main one, handles[1..channels] the
    // per-channel ones (hybrid error diffusion only, channels <= 12).
    // docTypes[0] / [1]: the job's first and second document types, -1 for
    // none. The last argument is not read. -201 without a handle list, -204
    // for more than 12 channels.
    // With conversion instances asked for (SetConversionInstances) and
    // hybrid error diffusion, these are made last, from the main instance's
    // records as its creation left them; a failure is mapped and returned.
    int GetHXRHandle(void** handles, unsigned int channels, const int* docTypes, const int* unused);
    int HalftoneInit(void** handles);
    int HalftoneInitInputInkEachChannel(void** handle, unsigned int channels, unsigned int index);
    int DeleteHXRHandle(void* handle);

    int StartPage(void** handles, unsigned int channels);
    int EndPage(void** handles, unsigned int channels);

    // The band's horizontal window (source pixels); rebuilds the row table.
    void SetHTPosition(unsigned int left, unsigned int right);

    // One call of 1 to 4 lines (at most 48 plane entries, and no more than
    // the band rows take once vertically converted). lineData[i] is line i's
    // first pixel; attrData (may be null) its attribute bytes. `pixels`: the
    // pixels of each line that are prepared (bina filter, gray expansion).
    int CallHXRHalftone(void* handle, unsigned int lines, unsigned char** lineData, unsigned char** attrData,
                        unsigned int pixels);
    int CallHXRConvertColor(void* handle, unsigned int lines, unsigned char** lineData, unsigned char** attrData,
                            unsigned int pixels, unsigned char** inkRows, int row);
    int CallHXRHalftoneHT(void* handle, unsigned int lines, unsigned char** inkRows, unsigned char** outRows,
                          int row);
    // The two calls above for a caller that has decided the rows' skip
    // itself (the engine's row argument: the page row less the skip) and
    // gives the rows' window (source pixels). Neither touches the object's
    // state: they read only what stays fixed from construction on, so the
    // parallel path's threads run them at once, each with its own instance.
    // ConvertColorRows leaves out the gray expansion and the bina filter
    // (the parallel path has no gray expansion and filters its lines when
    // it copies them, BinaFilter).
    int ConvertColorRows(void* handle, unsigned int lines, unsigned char* const* lineData,
                         unsigned char* const* attrData, HtWindow window, unsigned char** inkRows,
                         int engineRow) const;
    int HalftoneInkRows(void* handle, unsigned int lines, unsigned char** inkRows, unsigned char** outRows,
                        HtWindow window, int engineRow) const;
    // Makes the instance cut its long error-diffusion runs for a helper
    // thread (the parallel path's per-channel instances): HalftoneInkRows
    // may then return before the second halves of its rows are written,
    // until the slot is joined. Null when the instance does not cut (the
    // engine cannot, or the job's text enhancement reads the rows within
    // the call); the slot lives as long as the instance.
    HXRHybridEDTailSlot* CutRuns(void* handle) const;
    // The black-and-white filter of gray jobs (the init record's bina_flag)
    // on bytes [from, to) of a line: anything not white prints. Nothing for
    // other jobs, or with gray expansion (which filters as it expands).
    void BinaFilter(unsigned char* line, unsigned int from, unsigned int to) const;

    // Hand `rows` rows just halftoned (or blank rows) through the upper skip
    // to the output module.
    int RasterOut(void* handle, unsigned int rows);
    int EmptyRasterOut(void* handle, unsigned int rows);

    int SkipUpperProcess(void* handle);
    int CalcSkipVPos(void* handle, int rows);
    int CalcSkipVPosMT(void* handle);

    // Copies bandRows x colours rows (band-row major) of `bytes` bytes into
    // the band buffer's rows; -203 when they do not fit.
    int SetBufferForRasterOut(unsigned char** rows, unsigned int bandRows, unsigned int colours, int bytes);
    void InitOutBuffer();
    static int ClearRasterBuf(unsigned char* line, unsigned char* attr, unsigned int pixels, int colourType);

    // The engine's output colour codes into order; -201 null handle, -3005
    // when the engine gives no colour.
    int GetHalftoneColor(void* handle, signed char* order);
    // Adds the engine's three dot-size counts of min(colours, 12, bytes / 12)
    // colours to pageCounts and, when given, jobCounts.
    int GetDotCount(void* handle, tagSMLDATA* pageCounts, tagSMLDATA* jobCounts, int bytes, int colours);

    int OutputTRAQ3SLUT(void** handles);
    int SendHHXRLUTData(unsigned char* data, int size);

    static int ConvertHXRError(uint32_t engineCode);
    static int GetDocType(int jobDocType);
    int GetHXRHtType() const;
    static std::unique_ptr<CBMPFormat> CreateCBMPFormat(int sourceFormat, int colourType, int monochrome,
                                                        int is16bit);
    static int IsEnableInstanceCache(const tagHTINITSTRUCT*) { return 0; }

    // The engine's pixels of a window: every step-th source pixel is used,
    // so they start at the window's first used pixel (with a step above 1 on
    // an even one when two source pixels make a dot) and number
    // (right - left) / step, none of them at or past the window's right
    // edge. A step of 1 takes the window as it is.
    HtSpan EngineSpan(HtWindow window) const;

    // v scaled by the output scale (word 9 of the halftone record):
    // ceil(v x numerator / denominator), in 64 bits.
    uint64_t ScaleByOutput(uint64_t v) const;

    // State, for the band drivers and tests.
    const tagHTINITSTRUCT& Init() const { return m_init; }
    const tagHTSTRUCT3_5& HalftoneRecord() const { return m_ht; }
    const TNMX_PARAMS& Tnmx() const { return m_tnmx; }
    const _HXR_IMAGE_INFO& ImageInfo() const { return m_image; }
    const _HXR_HALFTONE_INFO& HalftoneInfo() const { return m_halftone; }
    const _HXR_OPTION_INFO& OptionInfo() const { return m_option; }
    const _HXR_IMAGE_INFO& ChannelImageInfo(unsigned i) const { return m_channel[i].image; }
    const _HXR_HALFTONE_INFO& ChannelHalftoneInfo(unsigned i) const { return m_channel[i].halftone; }
    const _HXR_OPTION_INFO& ChannelOptionInfo(unsigned i) const { return m_channel[i].option; }
    int ColourType() const { return m_colourType; }
    unsigned ComponentsPerPixel() const { return m_components; }
    unsigned PlanesPerLine() const { return m_planesPerLine; }
    unsigned Step() const { return m_step; }
    unsigned Colours() const { return m_colours; }
    unsigned BandRows() const { return m_bandRows; }
    unsigned ColourRowBytes() const { return m_colourRowBytes; }
    unsigned RowBytes() const { return m_rowBytes; }
    unsigned Left() const { return m_left; }
    unsigned Right() const { return m_right; }
    unsigned BitPhase() const { return m_bitPhase; }
    uint32_t RowsPassed() const { return m_rows; }
    uint32_t SkipRows() const { return m_skip; }
    bool SkipDone() const { return m_skipDone; }
    uint32_t FirstOutputRow() const { return m_firstRow; }
    uint32_t EndOutputRow() const { return m_endRow; }
    uint32_t MinimumLength() const { return m_minimumLength; }
    uint32_t PageLength() const { return m_pageLength; }
    bool PageHasOutput() const { return m_pageHasOutput; }
    // The skip of a page whose generator defers it (the init record's
    // defer_skip), as handed to the generator's SetSkippedRows.
    uint32_t DeferredSkipRows() const { return m_deferredSkip; }
    CBMPFormat* Converter() const { return m_converter.get(); }
    bool HasGrayExpansion() const { return m_gray[0] != nullptr; }
    // The attribute buffer of gray-expansion line i (the converter's alpha
    // output for that line); null when there is none.
    unsigned char* GrayAttributeBuffer(unsigned i) const { return i < kMaxGrayLines ? m_grayAttr[i] : nullptr; }
    const void* const* PlaneList() const { return m_planes; }
    const unsigned char* const* AttributeList() const { return m_attrs; }
    unsigned char* const* OutputRowTable() const { return m_outRows; }
    const int* SwitchingRecord() const { return m_switching; }
    const HxrBrsHook& BrsHook() const { return m_brsHook; }

    // One line's gray expansion (exposed for tests): `pixels` gray bytes of
    // src, with their attribute bytes (attr may be null: 0), become pixels of
    // the colour type's layout followed by one terminator pixel in dst.
    // Returns the pixel bytes, or -202 for a colour type without a layout.
    static int ExpandGrayLine(int colourType, bool blackAndWhite, const unsigned char* src,
                              const unsigned char* attr, unsigned int pixels, unsigned char* dst);

protected:
    // The engine adapter, page buffer and output module (not owned).
    CHXRDLL* Dll() const { return m_dll; }
    CPlimoBuffer* Buffer() const { return m_buffer; }
    COutModule* OutModule() const { return m_out; }
    // The parallel path decides the skip from the source rows before the band.
    void SetSkipRows(uint32_t rows) { m_skip = rows; }
    // `count` more instances that convert colours like the main one (the
    // parallel path's conversion instances), made by GetHXRHandle into
    // slots[0 .. count - 1]; the caller owns them.
    void SetConversionInstances(void** slots, unsigned count) {
        m_conversionSlots = slots;
        m_conversionCount = count;
    }
    // Takes back the last `rows` rows passed (at most all of them), so that
    // a call re-covers them: the four-line groups re-send blank rows of a
    // group as white lines. While the skip is open those rows were skipped
    // rows and leave the skip too.
    void StepBackRows(uint32_t rows);

private:
    struct RecordSet {
        _HXR_IMAGE_INFO image;
        _HXR_HALFTONE_INFO halftone;
        _HXR_OPTION_INFO option;
    };
    // What the engine reads at creation and nothing later: dropped when
    // GetHXRHandle returns.
    struct CreationBlobs {
        const void* printerId = nullptr;
        const void* calibration = nullptr;
        const void* rasterSlut = nullptr;
        int32_t rasterSlutSize = 0;
        const void* imsSlut = nullptr;
        int32_t imsSlutSize = 0;
    };

    void FillImageRecord();
    void FillHalftoneRecord();
    void FillOptionRecord();
    void AllocateGrayBuffers();
    void ForgetCreationBlobs();
    // The engine's plane and attribute lists of `lines` lines (kPlaneEntries
    // and kAttributeEntries entries); false for a line count they cannot take.
    bool FillPlaneLists(unsigned int lines, unsigned char* const* lineData, unsigned char* const* attrData,
                        const void** planes, const unsigned char** attrs) const;
    int PrepareLines(unsigned int lines, unsigned char** lineData, unsigned char** attrData, unsigned int pixels);
    // The upper skip's common step of RasterOut and EmptyRasterOut.
    int PassRows(void* handle, unsigned int rows, bool empty);
    // The skip's decision for `rows` more rows (CalcSkipVPos without the
    // int range): the rows that must now be output.
    uint64_t SkipStep(void* handle, uint64_t rows);
    unsigned int VConv(uint64_t rows) const;
    uint32_t VRatio(uint64_t rows) const;
    int CreateInstance(void** handle, const _HXR_IMAGE_INFO& image, const _HXR_HALFTONE_INFO& halftone,
                       const _HXR_OPTION_INFO& option, int flags);
    // The document types of GetHXRHandle into the records: 0 or -207.
    int SetDocTypes(const int* docTypes);

    tagHTINITSTRUCT m_init{};
    tagHTSTRUCT3_5 m_ht{};
    TNMX_PARAMS m_tnmx{};
    CreationBlobs m_blobs;

    CHXRDLL* m_dll = nullptr;
    CPlimoBuffer* m_buffer = nullptr;
    COutModule* m_out = nullptr;
    CMWCmd* m_cmd = nullptr;
    CPlimoSpooler* m_spooler = nullptr;
    CBRS* m_brs = nullptr;
    void* m_context = nullptr;

    int m_colourType = 0;
    unsigned m_components = 0;
    unsigned m_planesPerLine = 0;
    unsigned m_planeOffset = 0;  // XRGB: the engine reads bytes 1..3
    bool m_swapRB = false;       // BGRX left in source order: exchange R and B
    unsigned m_step = 1;
    bool m_level3 = false;
    bool m_secondGiven = false;

    unsigned m_bitsPerDot = 1;
    unsigned m_colours = 0;
    unsigned m_bandRows = 0;
    unsigned m_rowBytes = 0;
    unsigned m_colourRowBytes = 0;
    unsigned m_left = 0;
    unsigned m_right = 0;
    unsigned m_bitPhase = 0;

    uint32_t m_rows = 0;  // n: rows passed on the page
    uint32_t m_skip = 0;  // s: rows skipped at the top
    bool m_skipDone = false;
    uint32_t m_firstRow = 0xFFFFFFFFu;
    uint32_t m_endRow = 0;
    uint32_t m_minimumLength = 0;
    uint32_t m_pageLength = 0;
    bool m_pageHasOutput = false;
    uint32_t m_deferredSkip = 0;
    int m_skipError = 0;  // a failure of the skip's end inside a row count
    int m_switching[kSwitchingWords] = {};

    _HXR_IMAGE_INFO m_image{};
    _HXR_HALFTONE_INFO m_halftone{};
    _HXR_OPTION_INFO m_option{};
    RecordSet m_channel[kMaxColours] = {};
    HxrBrsHook m_brsHook{};

    const void* m_planes[kPlaneEntries] = {};
    const unsigned char* m_attrs[kAttributeEntries] = {};
    unsigned char* m_outRows[kMaxBandRows * kMaxColours] = {};
    unsigned char* m_rasterRows[kMaxBandRows] = {};

    unsigned m_grayLines = 0;
    unsigned m_grayPixelBytes = 0;
    unsigned m_grayWidth = 0;
    unsigned char* m_gray[kMaxGrayLines] = {};
    unsigned char* m_grayAttr[kMaxGrayLines] = {};

    void** m_conversionSlots = nullptr;
    unsigned m_conversionCount = 0;

    std::unique_ptr<CBMPFormat> m_converter;
    CFILECTRL m_calibrationFile;
};

}  // namespace ovcg
