#include "engine/irac_dll.h"

#include <climits>
#include <cstring>

#include "engine/debug_export.h"
#include "engine/engine_error.h"
#include "engine/ovf_memory.h"
#include "engine/plimo_buffer.h"

namespace ovcg {

void* OvfAlloc(uint32_t size) {
    if (size == 0 || size > static_cast<uint32_t>(INT_MAX)) return nullptr;
    return Mem_Alloc(static_cast<int>(size));
}

void OvfFree(void* block) { Mem_Free(block); }

void* OvfCopy(void* dst, const void* src, uint32_t count) {
    auto* d = static_cast<uint8_t*>(dst);
    const auto* s = static_cast<const uint8_t*>(src);
    while (count > 0) {
        const uint32_t piece = count > static_cast<uint32_t>(INT_MAX) ? static_cast<uint32_t>(INT_MAX) : count;
        Mem_Copy2(d, s, static_cast<int>(piece));
        d += piece;
        s += piece;
        count -= piece;
    }
    return dst;
}

}  // namespace ovcg

namespace {

using ovcg::OvfAlloc;
using ovcg::OvfCopy;
using ovcg::OvfFree;

// Size-query results after which the stored bytes are handed on as they are:
// not marked packed, or too short to hold a packed header at all.
bool StoredPlain(uint32_t sizeQuery) {
    return sizeQuery == IRAC_RDM_SIZE_NOT_PACKED || sizeQuery == IRAC_RDM_PACKED_TOO_SHORT;
}

void PutLe(uint8_t* p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

// ---------------------------------------------------------------------------
// CIRACDLL

bool AllBound(const IracEngineTable& t) {
    return t.StartJob && t.EndJob && t.StartPage && t.EndPage && t.DrawData && t.AbortJob && t.GetValue &&
           t.SetValue && t.DecompressResource && t.GetResourceDataSize;
}

// ---------------------------------------------------------------------------
// Codes and record layouts

int32_t ConvertIracError(uint32_t code) { return ovcg::OffsetEngineCode(static_cast<int32_t>(code), -2000); }

std::array<uint8_t, 16> IracIdentifierBytes(const IRACS_IDENTIFIER& id) {
    std::array<uint8_t, 16> b{};
    PutLe(&b[0], id.mode, 1);
    PutLe(&b[4], id.sub_mode, 4);
    PutLe(&b[8], id.kind, 2);
    PutLe(&b[10], id.sub_kind, 2);
    PutLe(&b[12], id.long_mode, 4);
    return b;
}

std::array<uint8_t, 12> IracPrintDataBytes(const IRACS_PRINTDATA_INFO& pd) {
    std::array<uint8_t, 12> b{};
    PutLe(&b[0], pd.raster_width, 4);
    PutLe(&b[4], pd.page_length, 4);
    PutLe(&b[8], pd.color_count, 2);
    return b;
}

std::array<uint8_t, 24> IracOptionBytes(const IRACS_OPTION& option) {
    std::array<uint8_t, 24> b{};
    PutLe(&b[0], static_cast<uint16_t>(option.direction), 2);
    PutLe(&b[8], reinterpret_cast<uintptr_t>(option.pixel_shift), 8);
    PutLe(&b[16], option.flags, 4);
    return b;
}

// ---------------------------------------------------------------------------
// CIRAC

CIRAC::CIRAC(const ovcg::tagIRACINITSTRUCT* init)
    : m_dll(init ? static_cast<CIRACDLL*>(init->irac_dll) : nullptr),
      m_buffer(init ? init->buffer : nullptr),
      m_leftOffsetAddend(init ? init->left_offset_addend : 0),
      m_paperSource{},
      m_pixelShiftValue(init ? init->pixel_shift : 0),
      m_enginePtr(init ? init->engine_ptr : nullptr),
      m_bitLength(init ? init->bit_length : 0),
      m_inkInfo(init ? init->ink_info : nullptr),
      m_paperSourceSelector(init ? init->paper_source_selector : 0),
      m_links(init ? init->links : nullptr) {
    if (!init) ovcg::ThrowMessage(ovcg::kIllegalParameterException);
    if (!m_dll) throw static_cast<int>(CIRACDLL::kBindError);
    if (!m_buffer) ovcg::ThrowMessage(ovcg::kIllegalParameterException);
    for (int i = 0; i < 4; ++i) m_paperSource[i] = init->paper_source[i];

    m_identifier.mode = static_cast<uint8_t>(init->identifier & 0xFFu);
    m_identifier.sub_mode = GetPaperSource();
    m_identifier.kind = 1;
    m_identifier.sub_kind = 4;
    m_identifier.long_mode = init->identifier;

    m_printData.raster_width = m_buffer->LineBytes();
    m_printData.page_length = m_paperSource[1] ? kOpenPageLength : GetPageLength(static_cast<int>(init->height));
    m_printData.color_count = static_cast<uint16_t>(m_buffer->Planes());

    SetPixelShift(m_pixelShift, init->pixel_shift_text);
    m_option.direction = static_cast<int16_t>(m_pixelShiftValue);
    m_option.pixel_shift = reinterpret_cast<const int8_t*>(m_pixelShift);
    m_option.flags = init->head_selection ? (IRAC_OPT_ENGINE | IRAC_OPT_EARLY_FEED) : IRAC_OPT_ENGINE;

    m_ovf.alloc = &OvfAlloc;
    m_ovf.realloc = &Mem_Realloc;
    m_ovf.free = &OvfFree;
    m_ovf.copy = &OvfCopy;
    m_ovf.move = &Mem_Move;
    m_ovf.fill = &Mem_Set;
    m_ovf.lead_zero_search = &OVF_memsearch;
    m_ovf.trail_zero_search = &OVF_memrsearch;
    m_ovf.send_data = init->send;
    m_ovf.send_context = init->spooler;
    m_ovf.get_resource = &IRAC_OVF_GetResource;
    m_ovf.resource_context = m_links;
    m_ovf.free_resource = &OVF_FreeResource;
    m_ovf.debug_log = &OVF_DebugLog;
    m_ovf.resource_context2 = m_links;

    if (m_links) m_links->SetIracHandler(this);
    m_leftOffset = GetLeftOffset(m_buffer->Offset(), m_leftOffsetAddend);
}

CIRAC::~CIRAC() {
    EndJob();
    if (m_links && m_links->IracHandler() == this) m_links->SetIracHandler(nullptr);
}

int CIRAC::StartJob() {
    auto id = IracIdentifierBytes(m_identifier);
    auto pd = IracPrintDataBytes(m_printData);
    auto op = IracOptionBytes(m_option);
    ovcg::DebugExport(kExportIdentifier, static_cast<int32_t>(id.size()), id.data());
    ovcg::DebugExport(kExportPrintData, static_cast<int32_t>(pd.size()), pd.data());
    ovcg::DebugExport(kExportOption, static_cast<int32_t>(op.size()), op.data());

    // A second start would lose the open job's handle.
    if (m_instance) EndJob();
    IRAC_INSTANCE_DEF* instance = nullptr;
    const uint32_t r = m_dll->IRAC_StartJob(&instance, &m_identifier, &m_printData, &m_option, &m_value, &m_ovf);
    if (r != 0) return ConvertIracError(r);
    m_instance = instance;
    if (m_option.flags & IRAC_OPT_BAND_PATH) {
        const int32_t bitLength = static_cast<int32_t>(m_bitLength);
        const uint32_t s = m_dll->IRAC_SetValue(m_instance, ovcg::irac_value::kBitLength, &bitLength);
        if (s != 0) return ConvertIracError(s);
    }
    if (m_option.flags & IRAC_OPT_ENGINE) {
        // A print mode without a use-head record is no failure of the job.
        IRACS_USE_HEAD* useHead = nullptr;
        if (m_dll->IRAC_GetValue(m_instance, ovcg::irac_value::kUseHead, &useHead) == 0) m_useHead = useHead;
    }
    return 0;
}

int CIRAC::StartPage(ovcg::IHalftoner* halftoner) {
    m_firstRaster = 0xFFFFFFFFu;
    m_nextRaster = 0;
    // The skip of an earlier page must not reach this page's feed values.
    m_skipped = 0;
    std::memset(m_colorOrder, 0, sizeof m_colorOrder);
    if (halftoner) {
        const int r = halftoner->GetHalftoneColor(m_colorOrder);
        if (r != 0) return r;
    }
    return ConvertIracError(m_dll->IRAC_StartPage(m_instance, static_cast<int32_t>(m_leftOffset), m_colorOrder));
}

int CIRAC::RasterOut(unsigned int count, unsigned int position, unsigned char** lines, unsigned int width) {
    IRACS_RASTERDATA data{};
    data.lines = lines;
    data.line_width = width;
    data.raster_count = count;
    data.first_raster = position;
    const uint32_t r = m_dll->IRAC_DrawData(m_instance, &data);
    if (r == 0) {
        m_nextRaster = position + count;
        if (position < m_firstRaster) m_firstRaster = position;
    }
    return ConvertIracError(r);
}

int CIRAC::EndPage(int abort) {
    if (abort) {
        m_dll->IRAC_AbortJob(m_instance);
        m_instance = nullptr;
        m_useHead = nullptr;
        return 0;
    }
    return ConvertIracError(m_dll->IRAC_EndPage(m_instance));
}

int CIRAC::EndJob() {
    if (m_instance) {
        m_dll->IRAC_EndJob(m_instance);
        m_instance = nullptr;
        m_useHead = nullptr;
    }
    return 0;
}

int CIRAC::GetSwitchingPosition(int* out, int capacity) {
    if (!(m_option.flags & IRAC_OPT_ENGINE)) return 0;
    IracSwitchingPositions list{0, nullptr};
    const uint32_t r = m_dll->IRAC_GetValue(m_instance, ovcg::irac_value::kSwitchingPosition, &list);
    if (r != 0) return ConvertIracError(r);
    if (!out || capacity < 1 || !list.positions || list.count < 0) return 0;
    const int n = list.count < capacity - 1 ? list.count : capacity - 1;
    out[0] = n;
    for (int i = 0; i < n; ++i) out[1 + i] = static_cast<int>(list.positions[i]);
    return 0;
}

int CIRAC::GetMinimumLength(int* out) {
    if (!out) return 0;
    *out = 0x7FFFFFFF;
    if (!(m_option.flags & IRAC_OPT_ENGINE)) return 0;
    return ConvertIracError(m_dll->IRAC_GetValue(m_instance, ovcg::irac_value::kMinimumLength, out));
}

int CIRAC::SetSkipLength(int skipped) {
    const uint32_t skip = skipped < 0 ? 0u : static_cast<uint32_t>(skipped);
    const uint32_t length = skip >= m_printData.page_length ? 0u : m_printData.page_length - skip;
    const uint32_t r = m_dll->IRAC_SetValue(m_instance, ovcg::irac_value::kLength, &length);
    if (r == 0) m_skipped = skip;
    return ConvertIracError(r);
}

int CIRAC::GetUseHead(IRACS_USE_HEAD** out) {
    if (!(m_option.flags & IRAC_OPT_ENGINE)) return 0;
    return ConvertIracError(m_dll->IRAC_GetValue(m_instance, ovcg::irac_value::kUseHead, out));
}

unsigned int CIRAC::GetPageLength(int lines) const { return m_buffer->GetVRatioValue(static_cast<unsigned int>(lines)); }

unsigned int CIRAC::GetLeftOffset(unsigned int offset, unsigned int addend) const {
    return m_buffer->GetHConversionValue(offset + addend, 0);
}

void CIRAC::SetPixelShift(signed char* out, const char* text) {
    if (!out) return;
    std::memset(out, 0, kPixelShifts);
    if (!text) return;
    // Only the first 3 + 2 × 32 characters can matter.
    const size_t length = strnlen(text, 3 + 2 * kPixelShifts + 1);
    if (length <= 3) return;
    size_t n = (length - 3) / 2;
    if (n > static_cast<size_t>(kPixelShifts)) n = kPixelShifts;
    for (size_t i = 0; i < n; ++i) {
        const char hi = text[3 + 2 * i];
        const char lo = text[4 + 2 * i];
        if (hi < '0' || hi > '9' || lo < '0' || lo > '9') break;
        out[i] = static_cast<signed char>((hi - '0') * 10 + (lo - '0'));
    }
}

void* CIRAC::GetIracResource(void* data, unsigned int size, unsigned int* outSize, int unpack) {
    if (outSize) *outSize = 0;
    if (!data) return nullptr;
    if (unpack) {
        uint32_t unpacked = 0;
        const uint32_t r = m_dll->IRAC_GetResourceDataSize(data, size, &unpacked);
        if (r == 0) {
            void* block = OvfAlloc(unpacked);
            if (!block) return nullptr;
            if (m_dll->IRAC_DecompressResource(data, size, block, unpacked, nullptr, &m_ovf) != 0) {
                Mem_Free(block);
                return nullptr;
            }
            if (outSize) *outSize = unpacked;
            return block;
        }
        // Packed but too large to unpack: a missing resource, never the
        // packed bytes as if they were unpacked.
        if (!StoredPlain(r)) return nullptr;
    }
    void* copy = OvfAlloc(size);
    if (!copy) return nullptr;
    OvfCopy(copy, data, size);
    if (outSize) *outSize = size;
    return copy;
}

void CIRAC::FreeIracResource(void* resource) { Mem_Free(resource); }
