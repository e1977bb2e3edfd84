#include "halftoning/intent_x.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "commands/mw_cmd.h"
#include "engine/platform.h"
#include "engine/plimo_buffer.h"
#include "halftoning/halftoner_part.h"
#include "halftoning/ht_thread.h"

namespace ovcg {
namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFu;
constexpr uint64_t kMaxBlock = INT_MAX;

uint32_t Sat32(uint64_t v) { return v > kMax32 ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }
int64_t AtLeast0(int64_t v) { return v < 0 ? 0 : v; }

// The white test of one source format: the pixel's samples, which of them
// must be white, and the byte every white sample is made of.
struct WhitePixel {
    unsigned samples;
    unsigned mask;  // bit i: sample i is tested
    uint8_t value;
};
bool WhitePixelOf(int format, WhitePixel* out) {
    switch (format) {
        case 0: *out = {1, 0x1, 0xFF}; return true;
        case 1:
        case 2: *out = {3, 0x7, 0xFF}; return true;
        case 3: *out = {4, 0xE, 0xFF}; return true;  // X, R, G, B
        case 7:
        case 8: *out = {4, 0x7, 0xFF}; return true;  // the fourth byte is not colour
        case 4: *out = {4, 0xF, 0x00}; return true;
        default: break;
    }
    const unsigned n = CIntentX::SourcePixelBytes(format);
    if (n == 0) return false;
    *out = {n, (1u << n) - 1, 0x00};  // ink planes: no ink is white
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Placement

FrameOffsets GetFrameOffsets(const tagOSDEP3* d) {
    if (!d) return {};
    const uint64_t f = d->ImageFrameSize;
    if (d->wCMD == OVCG_OSDEP3_CMD_FRAME_OFFSETS) return {f + d->dwFrameOffsetX, f + d->dwFrameOffsetY};
    return {f, f};
}

BandPlacement SetRectPos(const tagRECT& clip, const tagRECT& band, const FrameOffsets& frame, bool emptyPage,
                         uint32_t pageWidth, uint32_t pageLength) {
    const int64_t w = AtLeast0(int64_t{band.right} - band.left);
    const int64_t h = AtLeast0(int64_t{band.bottom} - band.top);
    int64_t l = emptyPage ? 0 : clip.left;
    int64_t t = emptyPage ? 0 : clip.top;
    int64_t r = emptyPage ? w : clip.right;
    int64_t b = emptyPage ? h : clip.bottom;
    int64_t height = h;
    int64_t dropped = 0;
    const auto x = static_cast<int64_t>(frame.x);
    const auto y = static_cast<int64_t>(frame.y);
    if (x == 0) {
        r = std::min(r, w);
        b = std::min(b, h);
    } else {
        l = AtLeast0(l - x);
        r = AtLeast0(r >= w ? w - 2 * x : r - x);
        if (band.top != 0) {
            // A band reaching below the page ends at the page length.
            if (int64_t{pageLength} < int64_t{band.bottom} - y) height = AtLeast0(pageLength - (band.top - y));
        } else {
            // The band at the page's top loses the frame's rows.
            t = AtLeast0(t - y);
            b = AtLeast0(b - y);
            dropped = std::min(y, h);
            height = h - dropped;
        }
    }
    r = std::min<int64_t>(r, pageWidth);
    b = std::min(b, height);
    t = std::min(t, b);
    BandPlacement p;
    p.left = static_cast<uint32_t>(std::min<int64_t>(l, kMax32));
    p.right = static_cast<uint32_t>(r);
    p.first = static_cast<uint32_t>(t);
    p.end = static_cast<uint32_t>(b);
    p.height = static_cast<uint32_t>(height);
    p.dropped = static_cast<uint32_t>(dropped);
    return p;
}

// ---------------------------------------------------------------------------
// Owned lines

CIntentX::OwnedLine::~OwnedLine() { Mem_Free(m_data); }

bool CIntentX::OwnedLine::Grow(uint64_t bytes) {
    if (bytes <= m_size) return true;
    if (bytes > kMaxBlock) return false;
    auto* p = static_cast<unsigned char*>(Mem_Alloc(static_cast<int>(bytes)));
    if (!p) return false;
    if (m_data) std::memcpy(p, m_data, static_cast<size_t>(m_size));
    std::memset(p + m_size, 0, static_cast<size_t>(bytes - m_size));
    Mem_Free(m_data);
    m_data = p;
    m_size = bytes;
    return true;
}

// ---------------------------------------------------------------------------
// Construction

unsigned CIntentX::SourcePixelBytes(int f) {
    switch (f) {
        case 0: return 1;
        case 1:
        case 2: return 3;
        case 3:
        case 4:
        case 7:
        case 8: return 4;
        case 10: return 10;
        case 101:
        case 112: return static_cast<unsigned>(f - 100);
        default: return f >= 104 && f <= 110 ? static_cast<unsigned>(f - 100) : 0u;
    }
}

unsigned CIntentX::AttributePixelBytes(int f) {
    if (f == 1 || f == 2) return 1;
    if (f == 3 || f == 4 || f == 7 || f == 8) return 4;
    return 0;
}

CIntentX::CIntentX(const tagHTINITSTRUCT* init, unsigned workers)
    : CHalftone(init), m_workers(std::min<unsigned>(workers, kHtMaxThreads)) {
    const tagHTINITSTRUCT& in = Init();
    m_channels = Colours();
    if (int r = CheckRecord(in, Buffer()->VRatio())) throw r;
    m_srcBpp = SourcePixelBytes(in.src_format);
    m_attrBpp = AttributePixelBytes(in.src_format);
    m_sampleBytes = in.sixteen_bit ? 2u : 1u;
    m_lines = in.band_lines;
    m_repeat = std::max(1u, Buffer()->VRatio());
    m_step = Step();
    m_flipV = in.flip_v != 0;
    m_emptyPage = in.empty_page != 0;
    m_deferSkip = in.defer_skip != 0;
    m_pageWidth = Buffer()->Width();

    JobDocTypes(in, HalftoneRecord().color_correction, m_docTypes, &m_attrUse);

    // The white line of empty-page mode, before any engine instance exists.
    if (m_emptyPage) {
        const int r = EnsureWhite(uint64_t{m_pageWidth} + 1);
        if (r) throw r == kHtBandNoMemory ? kHtNoMemory : r;
    }
    // The parallel path converts with the main instance and, for more
    // workers, with instances of its own, made with the main one.
    if (ParallelJob() && !DirectInk()) {
        m_extraConverters = ConversionInstances(m_workers) - 1;
        SetConversionInstances(m_converterHandles, m_extraConverters);
    }
    // The instances made so far go with a failed construction, also when a
    // send of the level-3 package throws (the destructor will not run).
    int r = 0;
    try {
        r = GetHXRHandle(m_handles, m_channels, m_docTypes, nullptr);
    } catch (...) {
        DeleteInstances();
        throw;
    }
    if (r) {
        DeleteInstances();
        throw r;
    }
}

int CIntentX::CheckRecord(const tagHTINITSTRUCT& in, unsigned repeat) {
    if (SourcePixelBytes(in.src_format) == 0) return kHtUnsupported;
    if (in.band_lines != 2 && in.band_lines != kGroupLines) return kHtUnsupported;
    // Four lines a call stand for two source rows a printed row: no repeat.
    if (in.band_lines == kGroupLines && std::max(1u, repeat) != 1) return kHtUnsupported;
    return 0;
}

void CIntentX::JobDocTypes(const tagHTINITSTRUCT& in, int c, int docTypes[2], bool* attrUse) {
    const bool attrOn = in.attr_type == 2 && (in.attr_flags & 0x2) != 0;
    *attrUse = false;
    if (c == 10 || c == 11) {
        docTypes[0] = c == 10 ? 0 : 5;
        docTypes[1] = 2;
        *attrUse = true;
    } else if (attrOn && in.cl_mode == 1) {
        docTypes[0] = docTypes[1] = c;
        *attrUse = true;
    } else {
        docTypes[0] = c;
        docTypes[1] = -1;
    }
}

CIntentX::~CIntentX() {
    // The workers stop before their instances go.
    m_parallel.reset();
    DeleteInstances();
}

void CIntentX::DeleteInstances() {
    for (void*& h : m_handles)
        if (h) DeleteHXRHandle(h), h = nullptr;
    for (void*& h : m_converterHandles)
        if (h) DeleteHXRHandle(h), h = nullptr;
}

int CIntentX::ResetPageLength(unsigned int length) {
    // Rows planned under the old length go out first.
    if (int r = DrainRows()) m_pendingCode = r;
    return CHalftone::ResetPageLength(length);
}

int CIntentX::ResetPage(const tagHTINITSTRUCT* init) {
    m_prevEnd = 0;
    m_bandSeen = false;
    return CHalftone::ResetPage(init);
}

// ---------------------------------------------------------------------------
// Band geometry

uint32_t CIntentX::UsedRows() const { return m_place.height == 0 ? 0 : (m_place.height - 1) / m_step + 1; }

bool CIntentX::PrintedRow(uint32_t walk) const {
    if (m_repeat >= 2) return InClip(RowOf(walk));
    const uint32_t first = walk - walk % m_lines;
    const uint32_t end = std::min(UsedRows(), first + m_lines);
    for (uint32_t u = first; u < end; ++u)
        if (InClip(RowOf(u))) return true;
    return false;
}

uint32_t CIntentX::RowOf(uint32_t walk) const {
    const uint32_t offset = walk * m_step;
    return m_flipV ? m_place.height - 1 - offset : offset;
}

bool CIntentX::InClip(uint32_t row) const { return !m_place.Empty() && row >= m_place.first && row < m_place.end; }

unsigned char* CIntentX::LineOf(uint32_t row) const {
    return m_bits ? m_bits + static_cast<size_t>(row) * static_cast<size_t>(m_stride) : nullptr;
}

unsigned char* CIntentX::AttrOf(uint32_t row) const {
    return m_attrBits ? m_attrBits + static_cast<size_t>(row) * static_cast<size_t>(m_attrStride) : nullptr;
}

bool CIntentX::AttributeKept() const { return m_attrUse && m_attrBpp == 1; }

unsigned CIntentX::ConvertedPixelBytes() const {
    return HasGrayExpansion() || ColourType() == 0 ? 1u : ComponentsPerPixel();
}

uint64_t CIntentX::LineReach(uint32_t left, uint32_t right) const {
    if (left >= right) return 0;
    const uint64_t k = m_sampleBytes;
    const unsigned convert = std::max(m_srcBpp, Converter()->Components());
    uint64_t reach = uint64_t{right} * convert * k;
    if (!HasGrayExpansion()) {
        // The engine reads whole pixels of the colour type (which may be
        // wider than the source's) at every t-th pixel of the window.
        const HtSpan span = EngineSpan({left, right});
        if (span.count)
            reach = std::max(reach, ((uint64_t{span.first} + span.count - 1) * m_step + 1) * ComponentsPerPixel());
    }
    return reach;
}

uint64_t CIntentX::LineAllocBytes(uint64_t pixels) const {
    const unsigned widest = std::max({m_srcBpp, Converter()->Components(), ComponentsPerPixel()});
    return pixels * widest * m_sampleBytes + 8;
}

// ---------------------------------------------------------------------------
// White lines

int CIntentX::EnsureWhite(uint64_t pixels) {
    pixels = std::max<uint64_t>(pixels, uint64_t{m_pageWidth} + 1);
    if (pixels <= m_whitePixels) return 0;
    const uint64_t bytes = LineAllocBytes(pixels);
    if (bytes > kMaxBlock) return kHtBandNoMemory;
    const unsigned n = static_cast<unsigned>(pixels);
    if (!m_white.Grow(bytes)) return kHtBandNoMemory;
    unsigned char* w = m_white.data();
    if (!ClearRasterBuf(w, nullptr, n, Init().src_format)) return kHtUnsupported;
    if (m_sampleBytes == 2)
        for (size_t i = size_t{n} * m_srcBpp; i-- > 0;) w[2 * i] = w[2 * i + 1] = w[i];
    unsigned char* alpha = nullptr;
    if (GrayAttributeBuffer(0)) {
        if (!m_whiteAlpha.Grow(pixels + 1)) return kHtBandNoMemory;
        alpha = m_whiteAlpha.data();
    }
    if (AttributeKept() && !m_whiteAttr.Grow(pixels + 8)) return kHtBandNoMemory;
    // A converter of its own: white converts exactly, and the source
    // converter's dither seed stays with the page's rows.
    std::unique_ptr<CBMPFormat> conv =
        CreateCBMPFormat(Init().src_format, ColourType(), Init().composite_black == 1, Init().sixteen_bit ? 1 : 0);
    if (!conv) return kHtBandNoMemory;
    conv->Convert(w, n, alpha);
    if (m_lines == kGroupLines) {
        // The copy lines keep their rows and grow with white.
        for (unsigned i = 0; i < kGroupLines; ++i) {
            const uint64_t old = m_copy[i].size();
            if (!m_copy[i].Grow(bytes)) return kHtBandNoMemory;
            std::memcpy(m_copy[i].data() + old, w + old, static_cast<size_t>(bytes - old));
            if (AttributeKept() && !m_copyAttr[i].Grow(pixels + 8)) return kHtBandNoMemory;
            if (alpha && !m_copyAlpha[i].Grow(uint64_t{m_pageWidth} + 1)) return kHtBandNoMemory;
        }
    }
    m_whitePixels = pixels;
    return 0;
}

CIntentX::Slot CIntentX::WhiteSlot() const {
    return Slot{m_white.data(), AttributeKept() ? m_whiteAttr.data() : nullptr,
                GrayAttributeBuffer(0) ? m_whiteAlpha.data() : nullptr};
}

// ---------------------------------------------------------------------------
// Engine calls

int CIntentX::SetWindow(uint32_t left, uint32_t right) {
    if (m_windowSet && Left() == left && Right() == right) return 0;
    // Rows halftoned in another window must not leave dots in this one.
    SetHTPosition(left, right);
    InitOutBuffer();
    m_windowSet = true;
    return 0;
}

void CIntentX::ConvertRow(unsigned char* line, unsigned slot, const unsigned char** alpha) {
    unsigned char* g = GrayAttributeBuffer(slot);
    if (line && m_place.right > 0) Converter()->Convert(line, m_place.right, g);
    *alpha = g;
}

int CIntentX::Place(const Slot& slot) {
    Slot& d = m_slots[m_filled];
    d = slot;
    // The gray expansion reads a line's attribute bytes from its slot.
    unsigned char* g = GrayAttributeBuffer(m_filled);
    if (g && slot.alpha && slot.alpha != g) {
        std::memcpy(g, slot.alpha, size_t{m_pageWidth} + 1);
        d.alpha = g;
    }
    if (++m_filled == m_lines) return FlushCall();
    return 0;
}

int CIntentX::FlushCall() {
    if (m_filled == 0) return 0;
    const unsigned n = m_filled;
    m_filled = 0;
    return Call(n, n);
}

int CIntentX::Call(unsigned lines, unsigned rows) {
    unsigned char* data[kGroupLines] = {};
    unsigned char* attrs[kGroupLines] = {};
    for (unsigned j = 0; j < lines; ++j) {
        data[j] = m_slots[j].line;
        attrs[j] = m_slots[j].attr;
    }
    if (int r = CallHXRHalftone(Handles()[0], lines, data, AttributeKept() ? attrs : nullptr, Right())) return r;
    return RasterOut(Handles()[0], rows);
}

int CIntentX::EmptyRows(uint64_t rows) {
    // Before the page's first output a deferring generator drops them.
    if (m_deferSkip && !PageHasOutput()) return 0;
    while (rows > 0) {
        const uint32_t n = Sat32(rows);
        if (int r = EmptyRasterOut(Handles()[0], n)) return r;
        rows -= n;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Bands

int CIntentX::BandOut(const tagRECT* lpClipRect, tagBANDBMP* inBMP, tagBANDBMP* atBMP, const tagRECT* lpBandRect,
                      tagOSDEP3* lpOsDep) {
    // Held rows finished since the last call go on; a failure among them
    // is this call's answer, and the band goes with the rows dropped after
    // it (as when a failure is met while its rows are planned): the next
    // band follows it without a gap.
    if (int r = HandOnFinishedRows()) {
        if (lpBandRect) {
            m_prevEnd = lpBandRect->bottom;
            m_bandSeen = true;
        }
        return r;
    }
    if (!lpClipRect || !lpBandRect) return kHtBadBand;
    const tagRECT& band = *lpBandRect;
    if (band.bottom <= band.top || band.right <= band.left) return kHtBadBand;
    const FrameOffsets frame = GetFrameOffsets(lpOsDep);
    // A band that starts below the page (and its frame) is refused.
    if (int64_t{PageLength()} < int64_t{band.top} - static_cast<int64_t>(frame.y)) return kHtBadBand;
    if (!inBMP || !inBMP->Bits) return kHtBadBand;

    BandPlacement place = SetRectPos(*lpClipRect, band, frame, m_emptyPage, m_pageWidth, PageLength());
    const tagBANDBMP* attr = nullptr;
    if (m_attrUse) {
        if (m_attrBpp == 1) {
            if (!atBMP || !atBMP->Bits) return kHtBadBand;
            attr = atBMP;
        } else if (m_attrBpp != 4) {
            return kHtBadBand;
        }
    }
    // Pairs of source pixels make one printed dot: start on a pair.
    if (Buffer()->HConversion() == -1) place.left &= ~1u;

    // Nothing is read outside the band's lines.
    const uint64_t frameBytes = frame.x * m_srcBpp * m_sampleBytes;
    if (!place.Empty()) {
        if (frameBytes + LineReach(place.left, place.right) > inBMP->WidthBytes) return kHtBadBand;
        if (attr && frame.x + place.right > attr->WidthBytes) return kHtBadBand;
    }

    m_place = place;
    m_frame = frame;
    m_bandTop = band.top;
    m_stride = inBMP->WidthBytes;
    m_bits = nullptr;
    m_attrBits = nullptr;
    m_attrStride = attr ? attr->WidthBytes : 0;
    if (!place.Empty()) {
        m_bits = inBMP->Bits + size_t{place.dropped} * inBMP->WidthBytes + static_cast<size_t>(frameBytes);
        if (attr) m_attrBits = attr->Bits + size_t{place.dropped} * attr->WidthBytes + static_cast<size_t>(frame.x);
    }

    // The parallel path's engine calls report no dots: its upper skip is
    // decided from the band's source rows first.
    if (ParallelPath())
        if (int r = SkipUpperMT(lpBandRect)) return r;
    if (int r = CheckEmptyBand(lpBandRect)) return r;
    InitOutBuffer();
    return ExecBandOut();
}

int CIntentX::ExecBandOut() { return ParallelPath() ? ExecBandOutHybridParallel() : ExecBandOutNormal(); }

bool CIntentX::ParallelJob() const {
    if (m_workers < 1 || GetHXRHtType() != 6 || HasGrayExpansion() || m_lines != 2) return false;
    if (m_channels < 1 || m_channels > kMaxColours) return false;
    // The per-channel instances of a direct ink source read one plane per
    // channel from its interleaved pixels.
    return !DirectInk() || m_srcBpp == m_channels;
}

bool CIntentX::DirectInk() const { return Init().src_format >= 101 && Init().src_format <= 112; }

bool CIntentX::ParallelPath() const {
    if (!ParallelJob()) return false;
    for (unsigned c = 1; c <= m_channels; ++c)
        if (!m_handles[c]) return false;
    return true;
}

int CIntentX::BeginWorkerThread(CTHREAD_STRUCT_tag* record) { return ht_begin_thread(record); }

int CIntentX::ExecBandOutNormal() {
    if (int r = SetWindow(m_place.left, m_place.right)) return r;
    const uint32_t used = UsedRows();
    if (m_lines == kGroupLines) {
        for (uint32_t u = 0; u < used; ++u) {
            GroupEntry e;
            e.kind = GroupRow::kBand;
            e.inClip = InClip(RowOf(u));
            e.index = u;
            // A window without rows or pixels gives its rows no pixels.
            if (!m_place.Empty()) {
                e.left = m_place.left;
                e.right = m_place.right;
            }
            if (int r = AddGroupRow(e)) return r;
        }
        return HoldBandRows();
    }

    // Rows outside the clip wait as one run: a group's with R below 2, a
    // row's otherwise.
    uint64_t empty = 0;
    for (uint32_t u = 0; u < used; ++u) {
        const uint32_t row = RowOf(u);
        if (PrintedRow(u)) {
            if (int r = EmptyRows(empty)) return r;
            empty = 0;
            unsigned char* line = LineOf(row);
            const unsigned char* alpha = nullptr;
            ConvertRow(line, m_filled, &alpha);
            const Slot slot{line, AttrOf(row), alpha};
            for (unsigned rep = 0; rep < m_repeat; ++rep)
                if (int r = Place(slot)) return r;
        } else {
            // A repeat left over goes alone before the empty rows.
            if (int r = FlushCall()) return r;
            empty += m_repeat;
            if (m_repeat >= 2 || (u + 1) % m_lines == 0 || u + 1 == used) {
                if (int r = EmptyRows(empty)) return r;
                empty = 0;
            }
        }
    }
    if (int r = FlushCall()) return r;
    return EmptyRows(empty);
}

int CIntentX::ExecEmptyBandOut(unsigned int rows) {
    if (rows == 0) return 0;
    const uint32_t left = m_place.left;
    if (m_lines == kGroupLines) return AddWhiteRows(rows);
    const uint64_t total = uint64_t{rows} * m_repeat;
    // A window without pixels halftones nothing.
    if (left >= m_pageWidth) return EmptyRows(total);
    if (int r = EnsureWhite(m_pageWidth)) return r;
    if (int r = SetWindow(left, m_pageWidth)) return r;
    const Slot white = WhiteSlot();
    for (uint64_t i = 0; i < total; ++i)
        if (int r = Place(white)) return r;
    return FlushCall();
}

int CIntentX::EmptyBandOut(uint64_t rows) {
    if (rows == 0) return 0;
    if (int r = DrainRows()) return r;
    if (m_emptyPage) {
        while (rows > 0) {
            const uint32_t n = Sat32(rows);
            if (int r = ExecEmptyBandOut(n)) return r;
            rows -= n;
        }
        return 0;
    }
    if (m_lines == kGroupLines) return AddBlankRows(rows);
    for (unsigned i = 0; i < m_repeat; ++i)
        if (int r = EmptyRows(rows)) return r;
    return 0;
}

int CIntentX::CheckEmptyBand(const tagRECT* lpBandRect) {
    if (!lpBandRect) return kHtBadBand;
    int r = 0;
    if (!Init().level3_records) {
        // A band that starts above the previous band's end (or above the
        // frame) has no gap before it.
        int64_t gap = int64_t{lpBandRect->top} - static_cast<int64_t>(m_prevEnd);
        if (!m_bandSeen) gap -= static_cast<int64_t>(m_frame.y);
        if (gap > 0) r = EmptyBandOut(static_cast<uint64_t>(gap));
    }
    m_prevEnd = lpBandRect->bottom;
    m_bandSeen = true;
    return r;
}

// ---------------------------------------------------------------------------
// Four-line groups

int CIntentX::AddGroupRow(const GroupEntry& e) {
    m_group[m_groupFill++] = e;
    if (RowsPassed() % kGroupLines + m_groupFill == kGroupLines) return CompleteGroup(false);
    return 0;
}

int CIntentX::AddBlankRows(uint64_t rows) {
    // Blank rows join an open group; the rest pass as empty rows.
    while (rows > 0 && m_groupFill > 0) {
        if (int r = AddGroupRow(GroupEntry{})) return r;
        --rows;
    }
    return EmptyRows(rows);
}

int CIntentX::AddWhiteRows(uint64_t rows) {
    GroupEntry e;
    e.kind = m_place.left < m_pageWidth ? GroupRow::kWhite : GroupRow::kBlank;
    e.left = m_place.left;
    e.right = m_pageWidth;
    for (; rows > 0; --rows)
        if (int r = AddGroupRow(e)) return r;
    return 0;
}

int CIntentX::CopyMasked(unsigned copy, const unsigned char* line, const unsigned char* attr,
                         const unsigned char* alpha, uint32_t left, uint32_t right) {
    const size_t cb = ConvertedPixelBytes();
    unsigned char* dst = m_copy[copy].data();
    std::memcpy(dst, m_white.data(), static_cast<size_t>(m_whitePixels) * cb);
    const bool pixels = line && left < right;
    if (pixels) std::memcpy(dst + left * cb, line + left * cb, (right - left) * cb);
    if (AttributeKept()) {
        std::memset(m_copyAttr[copy].data(), 0, static_cast<size_t>(m_copyAttr[copy].size()));
        if (pixels && attr) std::memcpy(m_copyAttr[copy].data() + left, attr + left, right - left);
    }
    if (unsigned char* a = m_copyAlpha[copy].data()) {
        std::memcpy(a, m_whiteAlpha.data(), size_t{m_pageWidth} + 1);
        if (pixels && alpha) std::memcpy(a + left, alpha + left, right - left);
    }
    return 0;
}

int CIntentX::HoldBandRows() {
    for (unsigned i = 0; i < m_groupFill; ++i) {
        GroupEntry& e = m_group[i];
        if (e.kind != GroupRow::kBand) continue;
        if (int r = EnsureWhite(e.right)) return r;
        const uint32_t row = RowOf(e.index);
        unsigned char* line = LineOf(row);
        const unsigned char* alpha = nullptr;
        ConvertRow(line, 0, &alpha);
        CopyMasked(i, line, AttrOf(row), alpha, e.left, e.right);
        e.kind = GroupRow::kHeld;
        e.index = i;
    }
    return 0;
}

int CIntentX::CompleteGroup(bool pageEnd) {
    const unsigned passed = RowsPassed() % kGroupLines;
    const unsigned rows = m_groupFill;
    m_groupFill = 0;
    bool printed = false;
    bool copied = false;  // rows of other bands or white rows: every line is a copy or white
    bool white = passed > 0 || passed + rows < kGroupLines;
    uint32_t left = 0xFFFFFFFFu, right = 0;
    for (unsigned i = 0; i < rows; ++i) {
        const GroupEntry& e = m_group[i];
        if (e.kind == GroupRow::kBlank) {
            white = true;
            continue;
        }
        printed |= e.inClip || e.kind == GroupRow::kWhite;
        copied |= e.kind != GroupRow::kBand;
        if (e.left < e.right) {
            left = std::min(left, e.left);
            right = std::max(right, e.right);
        }
    }
    if (!printed || left >= right) return EmptyRows(rows);
    if (copied || white)
        if (int r = EnsureWhite(right)) return r;

    Slot slots[kGroupLines];
    for (unsigned j = 0; j < kGroupLines; ++j) slots[j] = WhiteSlot();
    for (unsigned i = 0; i < rows; ++i) {
        const GroupEntry& e = m_group[i];
        const unsigned j = passed + i;
        const auto heldSlot = [&](unsigned c) {
            return Slot{m_copy[c].data(), AttributeKept() ? m_copyAttr[c].data() : nullptr, m_copyAlpha[c].data()};
        };
        if (e.kind == GroupRow::kHeld) {
            slots[j] = heldSlot(e.index);
        } else if (e.kind == GroupRow::kBand) {
            const uint32_t row = RowOf(e.index);
            unsigned char* line = LineOf(row);
            const unsigned char* alpha = nullptr;
            ConvertRow(line, j, &alpha);
            if (copied) {
                CopyMasked(i, line, AttrOf(row), alpha, e.left, e.right);
                slots[j] = heldSlot(i);
            } else {
                slots[j] = Slot{line, AttrOf(row), alpha};
            }
        }
    }
    if (int r = SetWindow(left, right)) return r;
    for (unsigned j = 0; j < kGroupLines; ++j) {
        unsigned char* g = GrayAttributeBuffer(j);
        if (g && slots[j].alpha && slots[j].alpha != g) std::memcpy(g, slots[j].alpha, size_t{m_pageWidth} + 1);
    }
    std::copy(std::begin(slots), std::end(slots), std::begin(m_slots));
    // The blank rows of the group already passed are sent again as white.
    StepBackRows(passed);
    return Call(kGroupLines, pageEnd ? passed + rows : kGroupLines);
}

int CIntentX::FlushCopyBuffer() {
    if (m_groupFill == 0) return 0;
    return CompleteGroup(true);
}

// ---------------------------------------------------------------------------
// Page

int CIntentX::StartPage() {
    if (int r = DrainRows()) return r;
    m_filled = 0;
    m_groupFill = 0;
    m_prevEnd = 0;
    m_bandSeen = false;
    m_endRowsAll = m_endRowsAfter = 0;
    m_windowSet = false;
    return CHalftone::StartPage(m_handles, m_channels);
}

int CIntentX::EndPage() {
    const int drained = DrainRows();
    const int flushed = drained ? drained : FlushCopyBuffer();
    const int ended = CHalftone::EndPage(m_handles, m_channels);
    return flushed ? flushed : ended;
}

int CIntentX::EmptyPageEndOut(int wholePage) {
    const int64_t length = PageLength();
    int64_t count = 0;
    if (static_cast<int64_t>(m_prevEnd) < length) {
        if (m_bandSeen)
            count = AtLeast0(length + static_cast<int64_t>(m_frame.y) - static_cast<int64_t>(m_prevEnd));
        else
            count = wholePage ? length : 0;
    }
    int r = 0;
    if (m_emptyPage) {
        m_endRowsAll += static_cast<uint64_t>(count);
        if (m_bandSeen) m_endRowsAfter += static_cast<uint64_t>(count);
    } else {
        r = EmptyBandOut(static_cast<uint64_t>(count));
    }
    m_prevEnd = 0;
    m_bandSeen = false;
    return r;
}

int CIntentX::EmptyPageEndFlush(int afterLastBand) {
    const uint64_t rows = afterLastBand ? m_endRowsAfter : m_endRowsAll;
    m_endRowsAll = m_endRowsAfter = 0;
    return EmptyBandOut(rows);
}

int CIntentX::GetHalftoneColor(signed char* order) { return CHalftone::GetHalftoneColor(m_handles[0], order); }

int CIntentX::GetDotCount(tagSMLDATA* pageCounts, tagSMLDATA* jobCounts, int bytes, int colours) {
    if (m_channels == 0xFFFFFFFFu) return 0;
    if (int r = DrainRows()) return r;
    for (unsigned i = 0; i <= m_channels && i < kMaxHandles; ++i)
        if (m_handles[i])
            if (int r = CHalftone::GetDotCount(m_handles[i], pageCounts, jobCounts, bytes, colours)) return r;
    return 0;
}

// ---------------------------------------------------------------------------
// Mirroring

int CIntentX::GetFlipHBand(tagBANDBMP* inBMP, tagBANDBMP* atBMP, const tagRECT* lpRect, tagRECT* lpOutRect) {
    if (!inBMP || !lpRect || lpRect->right < lpRect->left || lpRect->bottom < lpRect->top) return kHtBadBand;
    const uint32_t w = lpRect->right - lpRect->left;
    const uint32_t rows = lpRect->bottom - lpRect->top;
    struct Plane {
        tagBANDBMP* bmp;
        size_t pixel;
    };
    const Plane planes[2] = {{inBMP, size_t{m_srcBpp} * m_sampleBytes},
                             {atBMP && m_attrBpp ? atBMP : nullptr, m_attrBpp}};
    // Only the band's own pixels move: every line must hold them.
    if (w > 0 && rows > 0)
        for (const Plane& p : planes)
            if (p.bmp && (!p.bmp->Bits || uint64_t{w} * p.pixel > p.bmp->WidthBytes)) return kHtBadBand;
    if (w > 1)
        for (const Plane& p : planes) {
            if (!p.bmp) continue;
            for (uint32_t y = 0; y < rows; ++y) {
                unsigned char* a = p.bmp->Bits + size_t{y} * p.bmp->WidthBytes;
                unsigned char* b = a + (size_t{w} - 1) * p.pixel;
                for (; a < b; a += p.pixel, b -= p.pixel) std::swap_ranges(a, a + p.pixel, b);
            }
        }
    if (!lpOutRect) return static_cast<int>(std::min<uint32_t>(w, INT_MAX));
    const uint32_t left = std::min(lpOutRect->left, w);
    const uint32_t right = std::min(lpOutRect->right, w);
    lpOutRect->left = w - std::max(left, right);
    lpOutRect->right = w - left;
    return static_cast<int>(std::min<uint32_t>(lpOutRect->right, INT_MAX));
}

// ---------------------------------------------------------------------------
// Blank rows and the parallel path's upper skip

bool CIntentX::IsBlankRaster(int sourceFormat, bool sixteen, const uint8_t* line, unsigned pixels) {
    WhitePixel white{};
    if (!WhitePixelOf(sourceFormat, &white)) return false;
    const size_t sample = sixteen ? 2 : 1;
    const size_t pixelBytes = white.samples * sample;
    for (unsigned x = 0; x < pixels; ++x, line += pixelBytes)
        for (unsigned s = 0; s < white.samples; ++s)
            if (white.mask & (1u << s))
                for (size_t b = 0; b < sample; ++b)
                    if (line[s * sample + b] != white.value) return false;
    return true;
}

bool CIntentX::IsBlankRGBXRaster(const uint8_t* line, unsigned pixels) { return IsBlankRaster(7, false, line, pixels); }

bool CIntentX::IsBlankCMYKRaster(const uint8_t* line, unsigned pixels) { return IsBlankRaster(4, false, line, pixels); }

int CIntentX::SkipUpperMT(const tagRECT* lpBandRect) {
    if (!lpBandRect) return kHtBadBand;
    if (SkipDone() || m_place.Empty()) return 0;
    // The skip moves the page's counters: the held rows go on first, and
    // the page's limit may end the skip among them.
    if (int r = DrainRows()) return r;
    if (SkipDone()) return 0;
    const size_t pixel = size_t{m_srcBpp} * m_sampleBytes;
    const uint32_t used = UsedRows();
    uint32_t u = 0;
    for (; u < used; ++u) {
        const uint32_t row = RowOf(u);
        if (!InClip(row)) continue;
        const uint8_t* line = LineOf(row) + m_place.left * pixel;
        if (!IsBlankRaster(Init().src_format, m_sampleBytes == 2, line, m_place.right - m_place.left)) break;
    }
    if (u == used) return 0;
    // Positions are counted in the band's walk order.
    const int64_t i = int64_t{u} * m_step;
    const int64_t rows = m_deferSkip
                             ? AtLeast0(i - m_place.first)
                             : i + AtLeast0(int64_t{lpBandRect->top} - static_cast<int64_t>(m_frame.y));
    const uint64_t s = static_cast<uint64_t>(rows) * m_repeat;
    SetSkipRows(Sat32(s) & ~1u);
    return CalcSkipVPosMT(m_handles[0]);
}

// ---------------------------------------------------------------------------
// The page's halftoning object behind the engine's interface.

std::unique_ptr<IHalftoner> MakeSerialHalftoner(const tagHTINITSTRUCT* init) {
    return std::make_unique<HalftonerPart<CIntentX>>(init);
}

}  // namespace ovcg
