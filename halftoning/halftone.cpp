#include "halftoning/halftone.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "commands/mw_cmd.h"
#include "commands/traq3_records.h"
#include "engine/debug_export.h"
#include "engine/hxr_dll.h"
#include "engine/isv_tool.h"
#include "engine/out_module.h"
#include "engine/plimo_buffer.h"
#include "engine/spooler.h"

namespace ovcg {
namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFu;
constexpr uint64_t kMaxInt = 0x7FFFFFFFu;

uint32_t Sat32(uint64_t v) { return v > kMax32 ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }
int SatInt(uint64_t v) { return v > kMaxInt ? 0x7FFFFFFF : static_cast<int>(v); }

bool DirectInkFormat(int format) { return format >= 101 && format <= 112; }

// How each colour type reaches the engine: image colour mode, components per
// source pixel, plane entries per line and the byte of the first entry.
struct ColourLayout {
    int type;
    unsigned mode;
    unsigned components;
    unsigned planes;
    unsigned offset;
};
// Direct ink planes (101, 104 to 110, 112) are made up on lookup.
constexpr ColourLayout kColourLayouts[] = {
    {0, 3, 1, 3, 0},     // gray: the one sample three times
    {1, 3, 3, 3, 0},     // RGB
    {2, 3, 3, 3, 0},     // BGR (converted or exchanged before)
    {3, 3, 4, 3, 1},     // XRGB: R, G, B are bytes 1 to 3
    {4, 4, 4, 4, 0},     // CMYK
    {7, 3, 4, 3, 0},     // RGBX
    {10, 110, 10, 10, 0},
};

bool FindLayout(int type, ColourLayout* out) {
    for (const ColourLayout& l : kColourLayouts)
        if (l.type == type) {
            *out = l;
            return true;
        }
    if (type == 101 || (type >= 104 && type <= 110) || type == 112) {
        const unsigned n = static_cast<unsigned>(type - 100);
        *out = ColourLayout{type, static_cast<unsigned>(type), n, n, 0};
        return true;
    }
    return false;
}

// Job document types 2..90 to the engine's document types.
constexpr std::array<int8_t, 89> kDocTypes = [] {
    std::array<int8_t, 89> t{};
    for (int v : {2, 4, 5, 6, 7, 9, 12, 13, 14, 18}) t[static_cast<size_t>(v - 2)] = static_cast<int8_t>(v);
    t[90 - 2] = 11;
    return t;
}();

constexpr uint32_t kHtTypes[6] = {1, 0, 3, 4, 5, 6};

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void AddSaturated(uint32_t& sum, uint32_t v) { sum = Sat32(uint64_t{sum} + v); }

}  // namespace

// ---------------------------------------------------------------------------
// Construction

CHalftone::CHalftone(const tagHTINITSTRUCT* init) {
    if (!init || !init->band_buffer || !init->hxr_dll || !init->ht_struct) throw kHtUnsupported;
    m_init = *init;
    m_ht = *init->ht_struct;
    if (m_ht.lpTNMX_params) m_tnmx = *m_ht.lpTNMX_params;

    m_dll = static_cast<CHXRDLL*>(init->hxr_dll);
    m_buffer = init->band_buffer;
    m_out = static_cast<COutModule*>(init->out_module);
    m_cmd = static_cast<CMWCmd*>(init->mw_cmd);
    m_spooler = init->spooler;
    m_brs = static_cast<CBRS*>(init->brs);
    m_context = init->rsc_instance;
    m_level3 = init->level3_records != nullptr;

    m_blobs.printerId = m_ht.lpSMBidx_Tbl ? m_ht.lpSMBidx_Tbl : init->cid_data;
    m_blobs.calibration = init->ims_calib;
    m_blobs.rasterSlut = init->raster_slut;
    m_blobs.rasterSlutSize = init->raster_slut_size;
    m_blobs.imsSlut = init->ims_slut;
    m_blobs.imsSlutSize = init->ims_slut_size;
    const char* calibrationPath = static_cast<const char*>(m_ht.lpSMBCalibrate_Tbl);
    // The kept copies hold no pointer into the caller's records.
    m_init.ht_struct = nullptr;
    m_init.ims_calib = m_init.raster_slut = m_init.ims_slut = m_init.cid_data = nullptr;
    m_ht.lpID_Tbl = m_ht.lpCalibratePro = m_ht.lpIwf_Tbl = m_ht.lpSMBidx_Tbl = m_ht.lpSMBCalibrate_Tbl = nullptr;
    m_ht.lpTNMX_params = nullptr;

    // Geometry of the band buffer. The row tables hold at most 12 colours.
    const int planes = m_buffer->Planes();
    if (planes < 1 || planes > static_cast<int>(kMaxColours)) throw kHtUnsupported;
    m_colours = static_cast<unsigned>(planes);
    m_bitsPerDot = static_cast<unsigned>(m_buffer->BitsPerDot());
    m_rowBytes = m_buffer->LineBytes();
    m_colourRowBytes = Sat32(uint64_t{m_buffer->LineBytes()} * m_buffer->Lines());
    m_bandRows = std::min({m_init.band_rows, kMaxBandRows, m_buffer->Lines()});
    if (!m_buffer->Buffer()) m_bandRows = 0;

    m_pageLength = m_init.page_length > 0 ? static_cast<uint32_t>(m_init.page_length) : 0u;
    m_minimumLength = VRatio(m_pageLength);
    m_skipDone = false;

    // reduce_step divides the window and multiplies the pixel stride.
    if (m_init.reduce_step < 1) throw kHtUnsupported;
    m_step = static_cast<unsigned>(m_init.reduce_step);

    FillImageRecord();
    FillHalftoneRecord();
    FillOptionRecord();
    if (m_ht.OsCMM != 0) throw kHtUnsupported;

    if (m_init.composite_black == 1) AllocateGrayBuffers();

    const ConverterKind kind = SelectConverter(m_init.src_format, m_colourType, m_init.composite_black == 1);
    // A gray source printed in composite black stays one component a pixel
    // until the gray expansion lays it out as the colour type.
    const unsigned converted = m_init.composite_black == 1 && m_init.src_format == 0 ? 1u : m_components;
    m_converter = MakeConverter(kind, static_cast<int>(converted), m_init.sixteen_bit ? 1 : 0);
    if (!m_converter) throw kHtNoMemory;
    // A BGRX line that no converter reordered reaches the engine as R, G, B
    // by exchanging plane pointers. (An XRGB converter has already done it.)
    m_swapRB = m_init.src_format == 8 && kind == ConverterKind::kBase;

    if (!m_blobs.calibration && calibrationPath && calibrationPath[0] != '\0' &&
        m_calibrationFile.Open(calibrationPath)) {
        // The engine copies as many bytes as the blob's first four bytes
        // say: a file shorter than that (or than the length word) is not
        // handed on.
        const uint32_t size = m_calibrationFile.Size();
        const uint8_t* data = m_calibrationFile.Data();
        if (size >= 4 && Le32(data) >= 4 && Le32(data) <= size)
            m_blobs.calibration = data;
        else
            m_calibrationFile.Close();
    }
    m_option.printerId = static_cast<const unsigned char*>(m_blobs.printerId);
    m_option.calibration = static_cast<const unsigned char*>(m_blobs.calibration);
}

CHalftone::~CHalftone() {
    for (unsigned i = 0; i < kMaxGrayLines; ++i) {
        Mem_Free(m_gray[i]);
        Mem_Free(m_grayAttr[i]);
    }
}

void CHalftone::FillImageRecord() {
    if (m_init.ink_set_id == 0)
        m_colourType = 0;
    else if (m_init.src_format == 10 || m_init.src_format == 101 ||
             (m_init.src_format >= 104 && m_init.src_format <= 110) || m_init.src_format == 112)
        m_colourType = m_init.src_format;
    else
        m_colourType = m_init.color_type;

    ColourLayout layout{};
    if (!FindLayout(m_colourType, &layout)) throw kHtUnsupported;
    m_components = layout.components;
    m_planesPerLine = layout.planes;
    m_planeOffset = layout.offset;
    // Every step-th pixel is read, so the stride is the step's multiple for
    // every layout (direct ink planes included).
    const uint64_t stride = uint64_t{layout.components} * m_step;
    if (stride > kMaxInt || m_init.src_width < 0) throw kHtUnsupported;

    m_image.colorMode = layout.mode;
    m_image.sampleBytes = 1;
    m_image.pixelOffset = static_cast<unsigned>(stride);
    m_image.attributeStride = 0;
    m_image.width = static_cast<unsigned>(m_init.src_width);
}

void CHalftone::FillHalftoneRecord() {
    auto orZero = [](int32_t v) { return static_cast<unsigned>(v == -1 ? 0 : v); };
    m_halftone.inkSet = static_cast<unsigned>(m_init.ink_set_id);
    m_halftone.media = static_cast<unsigned>(m_init.media_number);
    m_halftone.docType = 0;
    m_halftone.subType = orZero(m_init.sub_type);
    m_halftone.htType = static_cast<unsigned>(m_ht.halftone_type);
    m_halftone.xResolution = static_cast<unsigned>(m_init.prt_resolution.x);
    m_halftone.yResolution = static_cast<unsigned>(m_init.prt_resolution.y);
    m_halftone.outputBits = m_init.out_bits == -1 ? m_bitsPerDot : static_cast<unsigned>(m_init.out_bits);
    m_halftone.htSubType = orZero(m_init.ht_sub_type);
    m_halftone.scale = static_cast<unsigned>(m_buffer->HExpansion());
    m_halftone.extra = 1;
    // A ratio the engine cannot use, or a scaled width beyond the engine's
    // signed pixel counts, is refused here rather than per band.
    const unsigned numerator = m_halftone.scale & 0xFFFFu;
    const int denominator = static_cast<int16_t>(m_halftone.scale >> 16);
    if (numerator == 0 || denominator < 0 || ScaleByOutput(m_image.width) > kMaxInt) throw kHtUnsupported;
}

void CHalftone::FillOptionRecord() {
    m_dll->HXR_GetDefaultValue(&m_option);
    const int32_t tones[7] = {m_ht.gamma,      m_ht.brightness, m_ht.contrast,  m_ht.saturation,
                              m_ht.r_strength, m_ht.g_strength, m_ht.b_strength};
    std::copy(std::begin(tones), std::end(tones), m_option.tone);
    if (m_tnmx.version >= 1) {
        const int32_t mono[9] = {m_tnmx.circle_x,        m_tnmx.circle_y,       m_tnmx.mono_gamma,
                                 m_tnmx.mono_brightness, m_tnmx.mono_contrast,  m_tnmx.shadow_tonality,
                                 m_tnmx.highlight_tonality, m_tnmx.max_od,      m_tnmx.highlight_point};
        std::copy(std::begin(mono), std::end(mono), m_option.tone + 7);
    }
    if (m_init.duty_multi_on)
        for (unsigned i = 0; i < 12; ++i) m_option.colorValue[i] = static_cast<unsigned>(m_init.duty_multi[i]);
}

void CHalftone::AllocateGrayBuffers() {
    bool attributes = false;
    switch (m_colourType) {
        case 1:
        case 2: m_grayPixelBytes = 3; break;
        case 3:
        case 7:
            m_grayPixelBytes = 4;
            attributes = m_init.attr_type == 2 && (m_init.attr_flags & 0x2) && m_init.cl_mode == 1;
            break;
        case 4: m_grayPixelBytes = 4; break;
        default: throw kHtUnsupported;
    }
    if (m_init.band_lines > kMaxGrayLines) throw kHtUnsupported;
    m_grayLines = m_init.band_lines;
    m_grayWidth = m_buffer->Width();
    const uint64_t bytes = (uint64_t{m_grayWidth} + 1) * m_grayPixelBytes;
    if (bytes > kMaxInt) throw kHtNoMemory;
    for (unsigned i = 0; i < m_grayLines; ++i) {
        m_gray[i] = static_cast<unsigned char*>(Mem_Alloc(static_cast<int>(bytes)));
        if (!m_gray[i]) throw kHtNoMemory;
        if (attributes) {
            m_grayAttr[i] = static_cast<unsigned char*>(Mem_Alloc(static_cast<int>(m_grayWidth + 1)));
            if (!m_grayAttr[i]) throw kHtNoMemory;
        }
    }
}

std::unique_ptr<CBMPFormat> CHalftone::CreateCBMPFormat(int sourceFormat, int colourType, int monochrome,
                                                        int is16bit) {
    ColourLayout layout{};
    const int components = FindLayout(colourType, &layout) ? static_cast<int>(layout.components) : 1;
    return MakeConverter(SelectConverter(sourceFormat, colourType, monochrome), components, is16bit);
}

HtSpan CHalftone::EngineSpan(HtWindow w) const {
    if (w.right <= w.left) return {};
    const uint64_t t = m_step;
    if (t == 1) return {w.left, w.right - w.left};
    uint64_t first = (uint64_t{w.left} + t - 1) / t;
    if (m_buffer->HConversion() == -1) first += first & 1;
    // One past the last used pixel of the window.
    const uint64_t end = (uint64_t{w.right} + t - 1) / t;
    const uint64_t count = std::min<uint64_t>((w.right - w.left) / t, end > first ? end - first : 0);
    return {static_cast<uint32_t>(first), static_cast<uint32_t>(count)};
}

uint64_t CHalftone::ScaleByOutput(uint64_t v) const {
    const uint64_t numerator = m_halftone.scale & 0xFFFFu;
    const int denominator = static_cast<int16_t>(m_halftone.scale >> 16);
    const uint64_t d = denominator > 0 ? static_cast<uint64_t>(denominator) : 1u;
    return (v * numerator + d - 1) / d;
}

// ---------------------------------------------------------------------------
// Codes and tables

int CHalftone::ConvertHXRError(uint32_t engineCode) {
    if (engineCode == 0) return 0;
    if (engineCode < 5000) return kHtEngineCodeLow;
    if (engineCode < 6000) return kHtEngineCodeMiddle;
    if (engineCode < 8000) return kHtEngineCodeHigh;
    return kHtEngineCodeOther;
}

int CHalftone::GetDocType(int jobDocType) {
    if (jobDocType < 2 || jobDocType > 90) return 0;
    return kDocTypes[static_cast<size_t>(jobDocType - 2)];
}

int CHalftone::GetHXRHtType() const {
    const int t = m_ht.halftone_type;
    return t >= 1 && t <= 6 ? static_cast<int>(kHtTypes[t - 1]) : 0;
}

// ---------------------------------------------------------------------------
// Engine instances

int CHalftone::CreateInstance(void** handle, const _HXR_IMAGE_INFO& image, const _HXR_HALFTONE_INFO& halftone,
                              const _HXR_OPTION_INFO& option, int flags) {
    return static_cast<int>(m_dll->HXR_CreateInstance(handle, &image, &halftone, &option, m_context, flags));
}

void CHalftone::ForgetCreationBlobs() {
    m_blobs = CreationBlobs{};
    m_option.printerId = m_option.calibration = nullptr;
    for (RecordSet& r : m_channel) r.option.printerId = r.option.calibration = nullptr;
    m_calibrationFile.Close();
}

int CHalftone::GetHXRHandle(void** handles, unsigned int channels, const int* docTypes, const int*) {
    struct Forget {
        CHalftone* self;
        ~Forget() { self->ForgetCreationBlobs(); }
    } forget{this};
    if (!handles) return kHtNullHandleList;
    if (channels > kMaxColours) return kHtUnsupported;

    if (int r = SetDocTypes(docTypes)) return r;
    if (int r = HalftoneInit(handles)) return r;
    if (GetHXRHtType() == 6) {
        for (unsigned i = 0; i < channels; ++i)
            if (int r = HalftoneInitInputInkEachChannel(&handles[1 + i], channels, i)) return r;
        // The conversion instances take the records the main instance was
        // made with (its document types after any retry) and the blobs,
        // which live only for this call; they only convert, so they build
        // no printer-side package.
        for (unsigned i = 0; i < m_conversionCount && m_conversionSlots; ++i)
            if (uint32_t r = static_cast<uint32_t>(
                    CreateInstance(&m_conversionSlots[i], m_image, m_halftone, m_option, 1)))
                return ConvertHXRError(r);
    }
    if (m_level3)
        if (int r = OutputTRAQ3SLUT(handles)) return r;
    if (m_brs) {
        m_brsHook = HxrBrsHook{m_brs->Correction(), m_brs->Handle()};
        return ConvertHXRError(m_dll->HXR_SetBRSFunc(handles[0], &m_brsHook));
    }
    return 0;
}

int CHalftone::SetDocTypes(const int* docTypes) {
    m_secondGiven = false;
    if (docTypes && docTypes[0] != -1) m_halftone.docType = static_cast<unsigned>(GetDocType(docTypes[0]));
    if (docTypes && docTypes[1] != -1) {
        if (m_level3) return kHtSecondDocTypeLevel3;
        m_option.secondDocType = static_cast<unsigned>(GetDocType(docTypes[1]));
        m_secondGiven = true;
    }
    return 0;
}

int CHalftone::HalftoneInit(void** handles) {
    if (!handles) return kHtNullHandleList;
    const int flags = m_level3 ? 3 : 1;
    uint32_t r = static_cast<uint32_t>(CreateInstance(&handles[0], m_image, m_halftone, m_option, flags));
    if (r == 0) return 0;
    // Other document types the engine may know the print mode under. A
    // candidate equal to both types of the first try is not tried again.
    const uint32_t first = m_halftone.docType;
    const uint32_t second = m_option.secondDocType;
    for (int candidate : kDocTypeRetries) {
        const uint32_t c = static_cast<uint32_t>(candidate);
        if (c == first && c == second) continue;
        m_halftone.docType = c;
        if (m_secondGiven) m_option.secondDocType = c;
        r = static_cast<uint32_t>(CreateInstance(&handles[0], m_image, m_halftone, m_option, flags));
        if (r == 0) return 0;
    }
    return ConvertHXRError(r);
}

int CHalftone::HalftoneInitInputInkEachChannel(void** handle, unsigned int channels, unsigned int index) {
    if (!handle) return kHtNullHandleList;
    if (index >= kMaxColours || channels > kMaxColours) return kHtUnsupported;
    RecordSet& set = m_channel[index];
    set.image = m_image;
    set.halftone = m_halftone;
    set.option = m_option;
    set.image.colorMode = 100 + channels;
    if (!DirectInkFormat(m_init.src_format)) {
        // The ink rows hold one byte per output column.
        set.image.pixelOffset = 1;
        set.image.width = Sat32(ScaleByOutput(set.image.width));
        set.halftone.scale = 1;
    }
    return ConvertHXRError(static_cast<uint32_t>(CreateInstance(handle, set.image, set.halftone, set.option, 1)));
}

int CHalftone::DeleteHXRHandle(void* handle) {
    if (!handle) return kHtNullHandle;
    m_dll->HXR_DeleteInstance(handle);
    return 0;
}

// ---------------------------------------------------------------------------
// Pages

int CHalftone::StartPage(void** handles, unsigned int channels) {
    if (!handles) return kHtNullHandleList;
    if (channels > kMaxColours) return kHtUnsupported;
    m_skipDone = m_init.upper_skip == 0;
    m_firstRow = 0xFFFFFFFFu;
    m_endRow = 0;
    m_rows = 0;
    m_skip = 0;
    m_pageHasOutput = false;
    m_deferredSkip = 0;
    m_skipError = 0;
    if (m_cmd && m_init.defer_skip) m_cmd->SetSkippedRows(0);
    const int fresh[kSwitchingWords] = {0, 1, 0, 0, 0, 0};
    std::copy(std::begin(fresh), std::end(fresh), m_switching);
    if (m_out) {
        if (int r = m_out->GetSwitchingPosition(m_switching, static_cast<int>(kSwitchingWords))) return r;
        int minimum = 0;
        if (int r = m_out->GetMinimumLength(&minimum)) return r;
        m_minimumLength = minimum < 0 ? 0u : static_cast<uint32_t>(minimum);
    }
    if (uint32_t r = m_dll->HXR_StartPage(handles[0], m_switching)) return ConvertHXRError(r);
    for (unsigned i = 1; i <= channels; ++i)
        if (handles[i])
            if (uint32_t r = m_dll->HXR_StartPage(handles[i], m_switching)) return ConvertHXRError(r);
    // White rows above the page's layout; a negative offset has none.
    const uint32_t top = m_init.layout_offset.y > 0 ? static_cast<uint32_t>(m_init.layout_offset.y) : 0u;
    return EmptyRasterOut(handles[0], VRatio(top));
}

int CHalftone::EndPage(void** handles, unsigned int channels) {
    if (!handles) return kHtNullHandleList;
    if (channels > kMaxColours) return kHtUnsupported;
    uint32_t r = 0;
    for (unsigned i = 0; i <= channels; ++i)
        if (handles[i]) r |= m_dll->HXR_EndPage(handles[i]);
    return ConvertHXRError(r);
}

int CHalftone::ResetPage(const tagHTINITSTRUCT*) {
    m_pageHasOutput = false;
    m_deferredSkip = 0;
    m_skipError = 0;
    DebugExport(kResetPageExport, 0, nullptr);
    return 1;
}

int CHalftone::ResetPageLength(unsigned int length) {
    m_pageLength = length;
    m_minimumLength = VRatio(length);
    return 1;
}

// ---------------------------------------------------------------------------
// Bands

unsigned int CHalftone::VConv(uint64_t rows) const {
    if (m_buffer->VConversion() >= 0 || m_buffer->VFactor() == 0) return Sat32(rows);
    return Sat32((rows + 1) / m_buffer->VFactor());
}

uint32_t CHalftone::VRatio(uint64_t rows) const { return Sat32(rows * m_buffer->VRatio()); }

void CHalftone::SetHTPosition(unsigned int left, unsigned int right) {
    m_left = left;
    m_right = right;
    const uint64_t bit = uint64_t{m_buffer->GetHConversionValue(left, 0)} * m_bitsPerDot + m_buffer->ShiftBits();
    m_bitPhase = static_cast<unsigned>(bit % 8 / m_bitsPerDot);
    std::fill(std::begin(m_outRows), std::end(m_outRows), nullptr);
    std::fill(std::begin(m_rasterRows), std::end(m_rasterRows), nullptr);
    uint8_t* base = m_buffer->Buffer();
    if (!base) return;
    for (unsigned b = 0; b < m_bandRows; ++b) {
        for (unsigned k = 0; k < m_colours; ++k)
            m_outRows[b * m_colours + k] = base + size_t{b} * m_rowBytes + size_t{k} * m_colourRowBytes;
        m_rasterRows[b] = m_outRows[b * m_colours];
    }
}

int CHalftone::ExpandGrayLine(int colourType, bool blackAndWhite, const unsigned char* src,
                              const unsigned char* attr, unsigned int pixels, unsigned char* dst) {
    auto a = [attr](unsigned x) -> unsigned char { return attr ? attr[x] : 0; };
    switch (colourType) {
        case 1:
        case 2:
            for (unsigned x = 0; x < pixels; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = src[x];
            dst[3 * pixels] = dst[3 * pixels + 1] = dst[3 * pixels + 2] = 255;
            return 3;
        case 3:
            for (unsigned x = 0; x < pixels; ++x) {
                dst[4 * x] = a(x);
                dst[4 * x + 1] = dst[4 * x + 2] = dst[4 * x + 3] = src[x];
            }
            dst[4 * pixels] = 0;
            dst[4 * pixels + 1] = dst[4 * pixels + 2] = dst[4 * pixels + 3] = 255;
            return 4;
        case 4:
            for (unsigned x = 0; x < pixels; ++x) {
                dst[4 * x] = dst[4 * x + 1] = dst[4 * x + 2] = src[x];
                dst[4 * x + 3] = 0;
            }
            std::memset(dst + 4 * size_t{pixels}, 0, 4);
            return 4;
        case 7:
            for (unsigned x = 0; x < pixels; ++x) {
                const unsigned char g = blackAndWhite ? (src[x] == 255 ? 255 : 0) : src[x];
                dst[4 * x] = dst[4 * x + 1] = dst[4 * x + 2] = g;
                dst[4 * x + 3] = a(x);
            }
            dst[4 * pixels] = dst[4 * pixels + 1] = dst[4 * pixels + 2] = 255;
            dst[4 * pixels + 3] = 0;
            return 4;
        default: return kHtNoGrayLayout;
    }
}

bool CHalftone::FillPlaneLists(unsigned int lines, unsigned char* const* lineData, unsigned char* const* attrData,
                               const void** planes, const unsigned char** attrs) const {
    if (!lineData || lines < 1 || lines > kAttributeEntries || lines * m_planesPerLine > kPlaneEntries) return false;
    std::fill(planes, planes + kPlaneEntries, nullptr);
    std::fill(attrs, attrs + kAttributeEntries, nullptr);
    const bool gray = HasGrayExpansion();
    for (unsigned i = 0; i < lines; ++i) {
        unsigned char* line = lineData[i];
        const void** e = &planes[i * m_planesPerLine];
        for (unsigned c = 0; c < m_planesPerLine; ++c)
            e[c] = !line ? nullptr : m_colourType == 0 ? line : line + m_planeOffset + c;
        if (m_swapRB && !gray) std::swap(e[0], e[2]);
        attrs[i] = attrData ? attrData[i] : nullptr;
    }
    return true;
}

void CHalftone::BinaFilter(unsigned char* line, unsigned int from, unsigned int to) const {
    if (!line || m_colourType != 0 || m_init.bina_flag != 1 || HasGrayExpansion()) return;
    for (unsigned x = from; x < to; ++x) line[x] = line[x] == 255 ? 255 : 0;
}

int CHalftone::PrepareLines(unsigned int lines, unsigned char** lineData, unsigned char** attrData,
                            unsigned int pixels) {
    if (!FillPlaneLists(lines, lineData, attrData, m_planes, m_attrs)) return kHtBadBand;
    if (!HasGrayExpansion()) {
        // The black-and-white filter of gray jobs: anything not white prints.
        for (unsigned i = 0; i < lines; ++i) BinaFilter(lineData[i], 0, pixels);
        return 0;
    }
    if (lines > m_grayLines) return kHtBadBand;
    pixels = std::min(pixels, m_grayWidth);
    for (unsigned i = 0; i < lines; ++i) {
        if (!lineData[i]) continue;
        const int n =
            ExpandGrayLine(m_colourType, m_init.bina_flag == 1, lineData[i], m_grayAttr[i], pixels, m_gray[i]);
        if (n < 0) return n;
        const void** e = &m_planes[i * m_planesPerLine];
        for (unsigned c = 0; c < m_planesPerLine; ++c) e[c] = m_gray[i] + m_planeOffset + c;
    }
    return 0;
}

int CHalftone::CallHXRHalftone(void* handle, unsigned int lines, unsigned char** lineData,
                               unsigned char** attrData, unsigned int pixels) {
    // The engine writes the converted rows of the call into the band rows.
    if (m_right < m_left || m_left > kMaxInt || VConv(lines) > m_bandRows) return kHtBadBand;
    if (int r = PrepareLines(lines, lineData, attrData, pixels)) return r;
    int anyDot = 0;
    const HtSpan span = EngineSpan({m_left, m_right});
    const uint32_t e = m_dll->HXR_Halftone(handle, m_outRows, &anyDot, m_planes, m_attrs[0] ? m_attrs : nullptr,
                                           static_cast<int>(span.count), static_cast<int>(span.first),
                                           static_cast<int>(lines), static_cast<int>(m_rows - m_skip));
    if (e) return ConvertHXRError(e);
    if (anyDot) return SkipUpperProcess(handle);
    return 0;
}

int CHalftone::CallHXRConvertColor(void* handle, unsigned int lines, unsigned char** lineData,
                                   unsigned char** attrData, unsigned int pixels, unsigned char** inkRows,
                                   int row) {
    if (int64_t{m_skip} > row) return 0;
    if (m_right < m_left || m_left > kMaxInt) return kHtBadBand;
    if (int r = PrepareLines(lines, lineData, attrData, pixels)) return r;
    int start = 0;
    int length = 0;
    const HtSpan span = EngineSpan({m_left, m_right});
    return ConvertHXRError(m_dll->HXR_ConvertColor(handle, inkRows, &start, &length, m_planes,
                                                   m_attrs[0] ? m_attrs : nullptr, static_cast<int>(span.count),
                                                   static_cast<int>(span.first), static_cast<int>(lines),
                                                   static_cast<int>(row - static_cast<int64_t>(m_skip))));
}

int CHalftone::ConvertColorRows(void* handle, unsigned int lines, unsigned char* const* lineData,
                                unsigned char* const* attrData, HtWindow window, unsigned char** inkRows,
                                int engineRow) const {
    if (window.right < window.left || window.left > kMaxInt || HasGrayExpansion()) return kHtBadBand;
    const void* planes[kPlaneEntries];
    const unsigned char* attrs[kAttributeEntries];
    if (!FillPlaneLists(lines, lineData, attrData, planes, attrs)) return kHtBadBand;
    int start = 0;
    int length = 0;
    const HtSpan span = EngineSpan(window);
    return ConvertHXRError(m_dll->HXR_ConvertColor(handle, inkRows, &start, &length, planes,
                                                   attrs[0] ? attrs : nullptr, static_cast<int>(span.count),
                                                   static_cast<int>(span.first), static_cast<int>(lines), engineRow));
}

int CHalftone::CallHXRHalftoneHT(void* handle, unsigned int lines, unsigned char** inkRows,
                                 unsigned char** outRows, int row) {
    if (int64_t{m_skip} > row) return 0;
    return HalftoneInkRows(handle, lines, inkRows, outRows, HtWindow{m_left, m_right},
                           static_cast<int>(row - static_cast<int64_t>(m_skip)));
}

int CHalftone::HalftoneInkRows(void* handle, unsigned int lines, unsigned char** inkRows, unsigned char** outRows,
                               HtWindow window, int engineRow) const {
    if (window.right < window.left) return kHtBadBand;
    // The ink rows hold the columns that the conversion of the same span
    // wrote: the span scaled to the output.
    const HtSpan span = EngineSpan(window);
    uint64_t count = span.count;
    uint64_t x = span.first;
    if (!DirectInkFormat(m_init.src_format)) {
        count = ScaleByOutput(count);
        x = ScaleByOutput(x);
    }
    if (count > kMaxInt || x > kMaxInt) return kHtBadBand;
    int anyDot = 0;
    return ConvertHXRError(m_dll->HXR_Halftone(handle, outRows, &anyDot, const_cast<const void**>(
                                                   reinterpret_cast<void**>(inkRows)),
                                               nullptr, static_cast<int>(count), static_cast<int>(x),
                                               static_cast<int>(lines), engineRow));
}

HXRHybridEDTailSlot* CHalftone::CutRuns(void* handle) const {
    HXRHybridEDTailSlot* slot = nullptr;
    if (!handle || !m_dll || m_dll->HXR_CutRuns(handle, &slot) != 0) return nullptr;
    return slot;
}

// ---------------------------------------------------------------------------
// Upper skip

uint64_t CHalftone::SkipStep(void* handle, uint64_t rows) {
    if (m_skipDone) return rows;
    const uint64_t limit = VRatio(m_pageLength);
    const uint64_t m = m_minimumLength;
    const uint64_t s = m_skip;
    if (m + s + rows <= limit) return rows;
    const uint64_t newSkip = m <= limit ? limit - m : 0;
    m_skip = static_cast<uint32_t>(newSkip);
    m_rows = m_skip;
    if (int r = SkipUpperProcess(handle)) m_skipError = r;
    return s + rows - newSkip;
}

int CHalftone::CalcSkipVPos(void* handle, int rows) {
    return SatInt(SkipStep(handle, rows > 0 ? static_cast<uint64_t>(rows) : 0u));
}

int CHalftone::CalcSkipVPosMT(void* handle) {
    const uint64_t limit = VRatio(m_pageLength);
    if (m_skipDone) return SatInt(limit);
    const uint64_t m = m_minimumLength;
    if (uint64_t{m_skip} + m > limit) m_skip = m <= limit ? static_cast<uint32_t>(limit - m) : 0u;
    return SkipUpperProcess(handle);
}

int CHalftone::SkipUpperProcess(void* handle) {
    if (m_skipDone) return 0;
    m_skipDone = true;
    if (!m_out || m_skip == 0) return 0;
    const uint32_t s = m_skip;
    if (m_init.defer_skip == 0) {
        if (m_cmd) m_cmd->SendVPosCmd(s);
    } else {
        m_deferredSkip = s;
        if (m_cmd) m_cmd->SetSkippedRows(s);
    }
    int first = 0;
    auto keep = [&first](int r) {
        if (first == 0) first = r;
    };
    const int skipped = SatInt(s);
    keep(m_out->SetSkipLength(skipped));
    if (m_brs) keep(m_brs->ResetPageBRS(skipped));
    const int fresh[kSwitchingWords] = {0, 1, 0, 0, 0, 0};
    std::copy(std::begin(fresh), std::end(fresh), m_switching);
    keep(m_out->GetSwitchingPosition(m_switching, static_cast<int>(kSwitchingWords)));
    keep(ConvertHXRError(m_dll->HXR_ResetSwitchingPos(handle, m_switching)));
    return first;
}

int CHalftone::PassRows(void* handle, unsigned int rows, bool empty) {
    const uint32_t oldRows = m_rows;
    m_skipError = 0;
    uint64_t r = SkipStep(handle, rows);
    int result = 0;
    if (!m_skipDone) {
        m_skip = Sat32(uint64_t{m_skip} + r);
        m_rows = Sat32(uint64_t{m_rows} + r);
    } else if (m_out) {
        uint64_t n = m_rows;
        const uint64_t s = m_skip;
        const uint64_t e = n + r;
        if (n < s) {
            // The first rows of the call fall into the skip.
            if (s >= e) {
                n = e;
                r = 0;
            } else {
                n = s;
                r = e - s;
            }
        }
        if (r > 0) {
            m_pageHasOutput = true;
            if (empty) {
                result = m_out->EmptyRasterOut(Sat32(r), Sat32(n - s));
            } else {
                // Rows beyond the call's own were skipped before the skip
                // ended short of them; they are blank and have no band rows.
                const uint64_t blank = r > rows ? r - rows : 0;
                const uint64_t sent = r - blank;
                if (blank) result = m_out->EmptyRasterOut(Sat32(blank), Sat32(n - s));
                // The rows sent are the call's last ones: start at the band
                // row of the first row sent.
                const unsigned count = VConv(sent);
                const unsigned start = VConv(rows) - count;
                if (result == 0 && count > 0) {
                    if (uint64_t{start} + count > m_bandRows || !m_rasterRows[start])
                        result = kHtBadBand;
                    else
                        result = m_out->RasterOut(count, VConv(n + blank - s), &m_rasterRows[start],
                                                  m_colourRowBytes);
                }
            }
            n += r;
        }
        m_rows = Sat32(n);
    } else {
        m_rows = Sat32(uint64_t{m_rows} + r);
    }
    if (!empty) {
        if (m_firstRow > m_rows) m_firstRow = oldRows;
        if (m_rows > m_endRow) m_endRow = m_rows;
    }
    return result != 0 ? result : m_skipError;
}

int CHalftone::RasterOut(void* handle, unsigned int rows) { return PassRows(handle, rows, false); }

void CHalftone::StepBackRows(uint32_t rows) {
    rows = std::min(rows, m_rows);
    m_rows -= rows;
    if (!m_skipDone) m_skip -= std::min(rows, m_skip);
}

int CHalftone::EmptyRasterOut(void* handle, unsigned int rows) {
    if (rows == 0) return 0;
    return PassRows(handle, rows, true);
}

// ---------------------------------------------------------------------------
// Buffers

int CHalftone::SetBufferForRasterOut(unsigned char** rows, unsigned int bandRows, unsigned int colours,
                                     int bytes) {
    if (!rows || bandRows > m_bandRows || colours > m_colours || bytes < 0 ||
        static_cast<unsigned>(bytes) > m_rowBytes)
        return kHtBadBand;
    for (unsigned b = 0; b < bandRows; ++b)
        for (unsigned k = 0; k < colours; ++k) {
            const unsigned char* src = rows[b * colours + k];
            unsigned char* dst = m_outRows[b * m_colours + k];
            if (!src || !dst) return kHtBadBand;
            std::memcpy(dst, src, static_cast<size_t>(bytes));
        }
    return 0;
}

void CHalftone::InitOutBuffer() { m_buffer->ClearBuffer(); }

int CHalftone::ClearRasterBuf(unsigned char* line, unsigned char* attr, unsigned int pixels, int colourType) {
    if (!line) return 1;
    if (colourType < 0 || colourType > 8) return 0;
    auto fill = [&](std::initializer_list<unsigned char> pixel) {
        const size_t n = pixel.size();
        for (unsigned x = 0; x < pixels; ++x) std::copy(pixel.begin(), pixel.end(), line + x * n);
    };
    switch (colourType) {
        case 0: std::memset(line, 255, pixels); return 1;
        case 1:
        case 2:
            fill({255, 255, 255});
            if (attr) std::memset(attr, 0, pixels);
            return 1;
        case 3: fill({0, 255, 255, 255}); return 1;
        case 7:
        case 8: fill({255, 255, 255, 0}); return 1;
        default: return 0;
    }
}

// ---------------------------------------------------------------------------
// Colours, dot counts, the SLUT package

int CHalftone::GetHalftoneColor(void* handle, signed char* order) {
    if (!handle) return kHtNullHandleList;
    return m_dll->HXR_GetOutputColorOrder(handle, order) == 0 ? kHtNoOutputColour : 0;
}

int CHalftone::GetDotCount(void* handle, tagSMLDATA* pageCounts, tagSMLDATA* jobCounts, int bytes,
                           int colours) {
    // The engine writes three counts for every output colour it has.
    unsigned int counts[kMaxColours * kDotSizes] = {};
    if (uint32_t e = m_dll->HXR_GetDotCount(handle, counts, 3)) return ConvertHXRError(e);
    const int n = std::max(0, std::min({colours, static_cast<int>(kMaxColours), bytes / kSmlDataSize}));
    for (int i = 0; i < n; ++i)
        for (unsigned d = 0; d < kDotSizes; ++d) {
            if (pageCounts) AddSaturated(pageCounts[i].count[d], counts[i * kDotSizes + d]);
            if (jobCounts) AddSaturated(jobCounts[i].count[d], counts[i * kDotSizes + d]);
        }
    return 0;
}

int CHalftone::OutputTRAQ3SLUT(void** handles) {
    if (!handles) return kHtNullHandleList;
    unsigned char* data = nullptr;
    int size = 0;
    if (uint32_t e = m_dll->HXR_GetSlut(handles[0], &data, &size)) return ConvertHXRError(e);
    return SendHHXRLUTData(data, size);
}

int CHalftone::SendHHXRLUTData(unsigned char* data, int size) {
    if (!data || size < 1) return kHtEngineCodeOther;
    struct Block {
        const void* data;
        int32_t size;
    };
    const Block prefixes[2] = {{m_blobs.rasterSlut, m_blobs.rasterSlutSize}, {m_blobs.imsSlut, m_blobs.imsSlutSize}};
    uint64_t total = static_cast<uint64_t>(size);
    for (const Block& b : prefixes)
        if (b.data && b.size >= 1) total += static_cast<uint64_t>(b.size);
    if (total > kMax32) return kHtEngineCodeOther;
    CTRAQ3V1* records = m_init.level3_records;
    if (records) {
        records->vSetslutId(0);
        records->vSetslutDataLength(static_cast<uint32_t>(total));
    }
    if (!m_spooler) return 0;
    if (records && records->uiGetLength_SetUserDefinedLUT() != 0) {
        m_spooler->SendData(static_cast<const char*>(records->pvGet_SetUserDefinedLUT()),
                            records->uiGetLength_SetUserDefinedLUT());
        for (const Block& b : prefixes)
            if (b.data && b.size >= 1)
                m_spooler->SendData(static_cast<const char*>(b.data), static_cast<unsigned>(b.size));
        m_spooler->SendData(reinterpret_cast<const char*>(data), static_cast<unsigned>(size));
    }
    m_spooler->Flush();
    return 0;
}

}  // namespace ovcg
