// The narrow interfaces through which the job engine (CPlimo) reaches the
// objects it owns but does not build itself: the print mode, the pixel
// expander, the command generator, the head-control output, the halftoning
// object of the page, the level-3 records and encode buffer, the halftone
// engine adapter and the calibration sessions. A factory (EngineParts) makes
// each of them; the process-wide default factory binds whatever is linked
// into the library, and tests hand CPlimo a factory of recording fakes.
//
// Every Create* may throw an integer code or a message (engine/engine_error.h);
// CPlimo turns a thrown integer into that code and anything else into -10.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/link_resource.h"
#include "engine/media_opt.h"
#include "engine/prtinfo.h"
#include "ovcg/ovcg_records.h"

class CPlimoSpooler;
class CPlimoBuffer;

namespace ovcg {

class CTRAQ3V1;
class IHalftoner;
class IEncodeBuffer;

// ---------------------------------------------------------------------------
// Records.

// How the page's halftoning object is built (filled by CPlimo::InitPage).
// The record owns nothing; every pointer is an object of the engine that
// lives at least until the job ends, so an object kept from page to page may
// hold on to them. ht_struct is the engine's own copy of the page's halftone
// record (rewritten at each page, never freed before the job ends).
struct tagHTINITSTRUCT {
    int32_t src_format;
    int32_t ink_set_id;
    int32_t src_width;
    int32_t page_length;
    int32_t media_number;
    uint32_t mw_flag;
    uint32_t sp_flag;
    uint32_t flip_h;
    uint32_t flip_v;
    int32_t sub_type;
    int32_t out_bits;
    int32_t color_type;
    int32_t attr_type;
    uint16_t attr_flags;
    CPlimoBuffer* band_buffer;
    tagHTSTRUCT3_5* ht_struct;
    void* hxr_dll;     // the halftone-engine adapter (CHXRDLL*)
    void* out_module;  // level 2: the output module (COutModule*); else null
    uint32_t composite_black;
    int32_t duty_multi_on;
    int32_t duty_multi[12];
    void* spare_ptr;
    tagRECT border_rect;
    int32_t border_flags;
    uint32_t cl_off;
    int32_t cl_mode;
    uint32_t empty_page;
    const char* rsc_file;
    tagPOINT layout_offset;
    void* brs;  // the BRS calibration object; may be null
    void* rsc_instance;
    int32_t key11029;
    int32_t ht_sub_type;
    uint32_t band_lines;
    uint32_t band_rows;
    CPlimoSpooler* spooler;
    CTRAQ3V1* level3_records;
    IEncodeBuffer* encode_buffer;
    tagPOINT src_resolution;
    tagPOINT prt_resolution;
    uint32_t bina_flag;
    uint32_t defer_skip;
    uint32_t upper_skip;
    void* mw_cmd;  // the command generator's own object, when it has one
    const void* ims_calib;
    const void* raster_slut;
    int32_t raster_slut_size;
    const void* ims_slut;
    int32_t ims_slut_size;
    int32_t reduce_step;
    uint32_t sixteen_bit;
    const void* cid_data;
    uint32_t unit_number;
    uint32_t dot_counting;  // the job counts dots (level 3: bands are also halftoned)
};

// How the head-control output of a level-2 job is built.
struct tagIRACINITSTRUCT {
    uint32_t width;   // print-area width, source dots
    uint32_t height;  // page length, source lines
    CPlimoSpooler* spooler;
    int (*send)(void* spooler, const void* data, unsigned int length, int flag);
    void* irac_dll;  // the engine adapter, when it is a separate object
    CRscDLL* links;
    CPlimoBuffer* buffer;
    int8_t pixel_shift;
    const char* pixel_shift_text;
    uint32_t left_offset_addend;
    uint32_t paper_source[4];  // [1]: the continuous-roll switch
    uint32_t head_selection;
    uint32_t identifier;  // the packed head selectors
    void* engine_ptr;
    void* ink_info;
    uint32_t bit_length;
    uint32_t paper_source_selector;  // 1: paper source 3, else 1
};

// The calibration record InitJob builds for the calibration sessions.
struct CalibRecord {
    uint16_t version;
    const char* raster_file;   // "dummy"
    const char* ims_file;      // "dummy"
    const char* printer_name;  // kept by the calibration request; may be null
    const char* dir_path;      // kept by the calibration request; may be null
};

// ---------------------------------------------------------------------------
// Parts.

// The job's resolved print mode.
class IPrintMode {
public:
    virtual ~IPrintMode() = default;
    virtual const tagPRTINFOSTRUCT& Info() const = 0;
    // The print mode's copy of the job record (working src_format).
    virtual const tagPRTSTRUCT3_12& Job() const = 0;
    virtual CMediaOpt& MediaOpt() = 0;
    // Re-reads the per-page values for a page with colour correction `page`.
    virtual void RefreshInitPage(int page) = 0;
};

// The band's conversion into the engine's working pixel format.
class IPixelConverter {
public:
    virtual ~IPixelConverter() = default;
    // The working format for a source format (enables the conversion).
    virtual int GetSrcFormat(int format) = 0;
    // 1 on success; out then describes the converted band.
    virtual int Convert(unsigned int lines, unsigned int pixels, tagBANDBMP* in, tagBANDBMP* out) = 0;
    virtual int End() = 0;
};

// The command generator of the job. Send* throw (a spooler failure) on error.
class IMWCmd {
public:
    virtual ~IMWCmd() = default;
    virtual void SetLinkResource(CLinkRscDLL* links) = 0;
    virtual void SetResetting(int resetting) = 0;
    virtual void SetMarginValue(uint16_t first, uint16_t second) = 0;
    virtual void SendStartDocCmd(int header) = 0;
    // False when the generator has no colour options of its own.
    virtual bool SetColorOption(int brightness, int contrast, int saturation, int r, int g, int b,
                                int gamma) = 0;
    virtual void SendStartPageCmd(int count) = 0;
    // Page values before the page end: page number, feed at page start, feed
    // so far and its extra part (printer units), empty-page flag.
    virtual void SetPageValues(uint32_t page, uint32_t feed_start, uint32_t feed, uint32_t feed_extra,
                               uint32_t empty_page) = 0;
    virtual void SetAbort(uint32_t abort) = 0;
    virtual void SendEndPageCmd() = 0;
    // Three counts per plane (small, medium, large dots), already reduced.
    virtual void SetDotCount(const uint32_t* counts, int planes) = 0;
    virtual void SetJobLength(double millimetres) = 0;
    virtual void SendEndDocCmd() = 0;
    // The generator's own object for the halftoning pipeline; may be null.
    virtual void* Native() = 0;
};

// What the generator factory needs.
enum class CommandLevel { kLevel2, kLevel3, kPageLanguage };
struct MWCmdArgs {
    CommandLevel level;
    uint16_t selector;
    const tagPRTSTRUCT3_12* job;
    tagPRTINFOSTRUCT* info;
    CPlimoSpooler* spooler;
    CMediaOpt* media;
    tagCUTCMD* cut;
    tagTRIMINFO* trim;
    tagJOBDATA_6* job_data;
    CTRAQ3V1* records;
    IEncodeBuffer* encode_buffer;
};

// The head-control output of a level-2 job (adapter, engine job and the
// output module the halftoning pipeline writes to).
class IHeadControl {
public:
    virtual ~IHeadControl() = default;
    virtual int StartJob() = 0;
    virtual int StartPage(IHalftoner* halftoner) = 0;
    virtual int EndPage(int abort) = 0;
    virtual int EndJob() = 0;
    // 0 and the engine's use-head list, or a failure code.
    virtual int GetUseHead(int* count, const uint8_t** heads) = 0;
    virtual uint32_t FirstRaster() const = 0;  // lowest first raster of the page
    virtual uint32_t NextRaster() const = 0;   // the raster after the last run
    virtual uint32_t SkippedRasters() const = 0;
    virtual void* OutModule() = 0;  // the COutModule for the halftoner
};

// The page's halftoning object.
class IHalftoner {
public:
    virtual ~IHalftoner() = default;
    // Reuse for a new page: 0 asks for a new object. The kept object must take
    // the record's pointers (calibration data, halftone record) afresh.
    virtual int ResetPage(const tagHTINITSTRUCT* init) = 0;
    virtual int StartPage() = 0;
    virtual int BandOut(const tagRECT* clip, tagBANDBMP* in, tagBANDBMP* second, const tagRECT* band,
                        tagOSDEP3* descriptor) = 0;
    virtual int EndPage() = 0;
    virtual int EmptyPageEndOut(int flag) = 0;
    virtual int EmptyPageEndFlush(int flag) = 0;
    // Adds the page's dot counts: three per plane, `planes` planes.
    virtual int GetDotCount(uint64_t* counts, int planes) = 0;
    // Mirrors the band's rows (rect's width of pixels) in place, the
    // attribute band (may be null) likewise, and the window (may be null)
    // within the band's width.
    virtual int GetFlipHBand(tagBANDBMP* band, tagBANDBMP* attributes, const tagRECT* rect, tagRECT* window) = 0;
    virtual int ResetPageLength(int length) = 0;
    // The page's output colour order (32 bytes).
    virtual int GetHalftoneColor(uint8_t* order) = 0;
    // Hands on the rows of the page a parallel band driver still holds, as
    // a job that ends inside a page must (they would have gone out with
    // their bands serially): 0 or the code of the first that fails.
    virtual int FlushHeldRows() { return 0; }
};

// A band (or a block of lines) handed to a level-3 encode buffer: the pixels
// in the buffer's pixel layout, and the window of them that is written: lines
// [first_line, last_line) and pixels [rect.left, rect.right) of each line
// (rect.top and rect.bottom repeat the lines).
struct TRAQ3_tagBitmapParam {
    const uint8_t* bits;  // line 0, pixel 0
    uint32_t first_line;
    uint32_t last_line;
    tagRECT rect;
};

// Where the window lands on the page (source pixels, the page's first row
// 0): its left column, its first row, its width and height, the first row
// of its image data (equal to the first row for every object the library
// writes), and the lines it still holds.
struct TRAQ3_tagTargetPositionForBitmap {
    uint32_t horizontal;
    uint32_t vertical;
    uint32_t width;
    uint32_t height;
    uint32_t vertical_jpeg;
    uint32_t lines;
};

// The band pixel formats the level-3 band driver and encode buffers handle:
// 1-byte gray, 4-byte CMYK, 4-byte RGB with a pad byte last (RGBX) or
// blue first (BGRX).
constexpr int kBandFormatGray = 0;
constexpr int kBandFormatCmyk = 4;
constexpr int kBandFormatRgbx = 7;
constexpr int kBandFormatBgrx = 8;

// The level-3 encode buffer: gathers band lines into blocks of 8, compresses
// them and sends them as image objects (commands/encode_buffer.h). Writers
// answer false for a band they refuse or an object they could not send; a
// codec failure of the JPEG encoder may also leave as its exception.
class IEncodeBuffer {
public:
    virtual ~IEncodeBuffer() = default;
    // The row below the last band written on the page (0: none yet).
    virtual uint32_t ulGetNextRaster() const = 0;
    // Pads the page's last rows to a whole block with white.
    virtual bool bOutBunnerObject() = 0;
    // The base row of the page on a continuous roll (added to every row).
    virtual void vBaseVPositionIncriment() = 0;
    virtual void vBaseVPositionDecriment() = 0;
    virtual uint32_t ulGetBaseVPosition() const = 0;
    virtual void vResetBaseVPosition() = 0;
    virtual void vSetBaseVPosition(uint32_t row) = 0;
    // The row below the last object sent.
    virtual uint32_t ulGetLastWritePos() const = 0;
    // Forgets the previous page's next raster and last write position.
    virtual void vStartPage() = 0;
    // resolution: the mkim denominator; format: the band's source format;
    // convert: the job's ink set (0: gray output). False for a format the
    // buffer does not take.
    virtual bool bInitEncodeBuffa(unsigned int resolution, int format, int convert, const tagPOINT& print) = 0;
    // bytesPerLine: the bitmap's line stride. buffered: gather into blocks
    // of 8 lines (else one object of the whole window).
    virtual bool bWriteENCODEBuff(const TRAQ3_tagBitmapParam* bitmap, uint32_t bytesPerLine,
                                  const TRAQ3_tagTargetPositionForBitmap* target, bool buffered) = 0;
    // Sends the lines held in the block; true when there were none.
    virtual bool bFlushENCODEBuff() = 0;
    virtual void ResetPageHeight(uint32_t height) = 0;
    // True when a band may come with one gray byte a pixel.
    virtual bool bCanInput8bitGray() const = 0;
    // Bytes of one pixel the buffer reads (1 or 4; 0 before bInitEncodeBuffa).
    virtual unsigned BytesPerPixel() const = 0;
};

// The halftone-engine adapter (only handed on).
class IHxrAdapter {
public:
    virtual ~IHxrAdapter() = default;
    virtual void* Native() = 0;
};

// The calibration tool's files.
class ICalibTool {
public:
    virtual ~ICalibTool() = default;
    virtual int CreateFilePathName(const char* name, const char* dir) = 0;
    virtual int OpenCidFile() = 0;  // 1 when loaded
    virtual const void* CidData() const = 0;
    // The file images of the raster and IMS calibration; null when absent.
    virtual const uint8_t* RasterCalib(uint32_t* size) = 0;
    virtual const uint8_t* ImsCalib(uint32_t* size) = 0;
};

// The correction session.
class IBrsSession {
public:
    virtual ~IBrsSession() = default;
    virtual int StartBRS() = 0;
    virtual int StartPageBRS() = 0;
    virtual int EndBRS() = 0;
    virtual void* Native() = 0;
};

// The calibration-data generation session.
class ICdgSession {
public:
    virtual ~ICdgSession() = default;
    // mode 1 calibration data, 2 SLUT data; info: printer format, halftone
    // type, colour correction, print-mode values, packed head selectors.
    virtual int SetPrintModeInfo(int mode, const int32_t* info, int count) = 0;
    virtual int SetHalftoneInfo(int halftone_type, int color_correction) = 0;
    // Generates the raster calibration from the calibration tool's raster
    // data (calibration mode); 0 or a code. A session without a generation
    // core generates nothing.
    virtual int GenerateRasterCalibData(const uint8_t* /*data*/, int /*size*/) { return 0; }
    // The generated raster calibration; null and size 0 when there is none.
    virtual const void* GeneratedRasterCalib(int32_t* size) const {
        *size = 0;
        return nullptr;
    }
    virtual int GenerateIMSCalib(const uint8_t* data, int size, unsigned count, const int32_t* heads) = 0;
    virtual int GenerateRasterCalibSlut() = 0;
    virtual int GenerateIMSCalibSlut() = 0;
    virtual const void* ImsCalib() const = 0;
    virtual const void* RasterSlut(int32_t* size) const = 0;
    virtual const void* ImsSlut(int32_t* size) const = 0;
};

// ---------------------------------------------------------------------------
// The factory.

class EngineParts {
public:
    virtual ~EngineParts() = default;

    virtual std::unique_ptr<IHxrAdapter> CreateHxrAdapter(const char* path) = 0;
    virtual std::unique_ptr<CLinkRscDLL> CreateLinkResources(const char* const* files, int count) = 0;
    virtual std::unique_ptr<IPixelConverter> CreatePixelConverter() = 0;
    virtual std::unique_ptr<IPrintMode> CreatePrintMode(const tagPRTSTRUCT3_12* job, CLinkRscDLL* links) = 0;
    // Null for a selector without a generator class.
    virtual std::unique_ptr<IMWCmd> CreateMWCmd(const MWCmdArgs& args) = 0;
    virtual std::unique_ptr<IHeadControl> CreateHeadControl(const tagIRACINITSTRUCT* init,
                                                            const char* engine_path) = 0;
    // level3: CIntentX_TRAQ3 with the rotation and overprint count; else the
    // serial band driver CIntentX.
    virtual std::unique_ptr<IHalftoner> CreateHalftoner(bool level3, const tagHTINITSTRUCT* init,
                                                        int rotation, int overprint) = 0;
    // Null for an unknown selector.
    virtual std::unique_ptr<CTRAQ3V1> CreateLevel3Records(uint16_t selector, const tagPRTSTRUCT3_12& job) = 0;
    virtual std::unique_ptr<IEncodeBuffer> CreateEncodeBuffer(uint16_t selector, CPlimoSpooler* spooler,
                                                              CTRAQ3V1* records, uint32_t page_height) = 0;
    virtual std::unique_ptr<ICalibTool> CreateCalibTool() = 0;
    // Null when no correction core is available.
    virtual std::unique_ptr<IBrsSession> CreateBrsSession(const CalibRecord& record, const int32_t* mode,
                                                          uint32_t page_length) = 0;
    virtual std::unique_ptr<ICdgSession> CreateCdgSession(IHxrAdapter* hxr) = 0;
};

// The factory of the parts this library contains.
EngineParts& BuiltInEngineParts();
// The process-wide factory CPlimo uses when it is given none (the built-in
// one unless replaced).
EngineParts& DefaultEngineParts();
// Replaces it (null: back to the built-in one). Not thread-safe against
// running jobs: set it before jobs start.
void SetDefaultEngineParts(EngineParts* parts);

}  // namespace ovcg
