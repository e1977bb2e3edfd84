#include "commands/mw_cmd_traq2.h"

#include <algorithm>
#include <cstring>

#include "common/byte_cursor.h"
#include "common/byte_writer.h"

namespace ovcg {

namespace {

using C = CPCommandConv;
using Code = CPlimoSpooler::EscapeCode;

constexpr int32_t kBinNoTopAdjust = 7;
constexpr uint32_t kF3AbortKeepsRemote = 1u << 26;
constexpr uint32_t kF3UnidirOn = 1u << 21;
constexpr uint32_t kF3UnidirOff = 1u << 22;
constexpr uint32_t kF3EsckAtPage = 0x20000;
constexpr uint8_t kEjectBin = 0x43;  // "C"

// a - b, or 0 when b is larger.
uint32_t Minus(uint32_t a, uint32_t b) { return a > b ? a - b : 0; }

}  // namespace

// ---------------------------------------------------------------------------
// Shared arithmetic.

uint32_t CMWCmd_TRAQ2::UnitVres() const {
    const int32_t v = m_job.prt_resolution.y;
    return static_cast<uint32_t>(v == 540 ? 5760 : v);
}

uint32_t CMWCmd_TRAQ2::PageFormatArea(bool forceSelectsTrim) const {
    if (!Ex(kExUserSetting0On)) return AreaLength();
    const bool trimSelected = Ex(kExTrimBanner) || (forceSelectsTrim && Ex(kExForceMode2));
    if (m_trim && trimSelected) return static_cast<uint32_t>(m_trim->src_t4base_parea_ex.y);
    return static_cast<uint32_t>(m_job.src_print_area_ex.y);
}

tagPOINT CMWCmd_TRAQ2::Fact() {
    tagPOINT f{};
    GetUSFact(&f);
    return f;
}

void CMWCmd_TRAQ2::SendPaperDimension(const tagPOINT& f, uint32_t length) {
    const uint32_t x = static_cast<uint32_t>(f.x), y = static_cast<uint32_t>(f.y);
    Put(C::SetPaperDimension, PaperWidth() * x / 10, (Extra() + length) * y / 10);
}

uint32_t CMWCmd_TRAQ2::SkippedPages(const tagPOINT& f) const {
    const uint32_t y = static_cast<uint32_t>(f.y);
    const uint32_t p = m_pageNumber, a = AreaLength(), g = Gap();
    const uint32_t unit = (a + g) * y / 10;
    if (unit == 0) return 0;
    const uint32_t reach = ((p - 1) * g + a * p + Extra()) * y / 10;
    return Minus(reach, m_feed) / unit;
}

uint32_t CMWCmd_TRAQ2::LoopCount(uint32_t k) const {
    return (k > 0 && k == m_pageNumber) ? k - 1 : k;
}

bool CMWCmd_TRAQ2::NothingFed() {
    if (m_feed != 0) return false;
    const bool cutAfterJob = Ex(kExCutAfterJob);
    if (m_job.bin_ID != kBinNoTopAdjust && m_info.top_margin_adjust != 0 && cutAfterJob) {
        ++m_pagesReported;
        return true;
    }
    if (Ex(kExLineFeedFirst)) {
        Put(C::LineFeed);
        return false;
    }
    if (cutAfterJob) {
        ++m_pagesReported;
        return true;
    }
    return false;
}

uint32_t CMWCmd_TRAQ2::FedLength(const tagPOINT& f, uint32_t feed) const {
    const uint32_t y = static_cast<uint32_t>(f.y);
    const uint32_t base = y ? feed * 10 / y : 0;
    if (m_trim && (Ex(kExForceMode2) || Ex(kExTrimBanner))) return base;
    return Minus(base + PaperLength(), AreaLength());
}

uint32_t CMWCmd_TRAQ2::PageLengthAtEnd(const tagPOINT& f, bool abortForm) const {
    uint32_t v = PaperLength();
    if (m_job.bin_ID == kBinNoTopAdjust || m_info.top_margin_adjust == 0) return v;
    const bool roll = Ex(kExRollMedia);
    const uint32_t fed = m_feed + m_feedExtra;
    if (Ex(kExCutAfterJob)) {
        v = FedLength(f, roll ? fed : Minus(fed, m_feedStart));
    } else if (abortForm) {
        v = FedLength(f, Minus(fed, m_feedStart));
    } else if (roll) {
        const uint32_t pages = Ex(kExLineFeedFirst) ? m_pageNumber : Minus(m_pageNumber, SkippedPages(f));
        v = PaperLength() * pages;
    }
    return v;
}

// ---------------------------------------------------------------------------
// CMWCmd_TRAQ2.

void CMWCmd_TRAQ2::SendStartDocCmd(int header) {
    const uint32_t f1 = F1(), f2 = F2(), f3 = F3();
    const bool newer = Newer();
    const tagPOINT f = Fact();
    const uint32_t y = static_cast<uint32_t>(f.y);
    Escape(Code::kEscDocumentStartBegin);
    if (header == 0) {
        SendDc1Preamble();
        if (f2 & 0x4) Put(C::SendD4OffMode);
        Put(C::ResetPrinter);
        Put(C::ResetPrinter);
        if (!(f1 & 0x400)) SendStartDoc_RemoteCmd();
        if (m_info.data_proc_setting[0] < 255)
            Put(C::SetDataProcSetting, static_cast<const uint8_t*>(m_info.data_proc_setting), 9);
        Put(C::SetGraphicsMode);
    }

    uint32_t hres = static_cast<uint32_t>(m_job.prt_resolution.x);
    if (m_info.double_hres)
        hres *= 2;
    else if (m_info.hres_multiplier > 1)
        hres *= static_cast<uint32_t>(m_info.hres_multiplier);
    const uint32_t vres = UnitVres();
    Put(C::SetUnitEx, static_cast<uint16_t>(vres), static_cast<uint16_t>(hres));

    uint8_t unidir = Bidirectional() ? 0 : 1;
    if (f3 & kF3UnidirOn) {
        unidir = 1;
    } else if (f3 & kF3UnidirOff) {
        unidir = 0;
    } else if (!newer) {
        uint16_t gap = 0;
        if (m_media && m_media->Get_platen_gap_mode(&gap) && gap != 0) unidir = 1;
    }
    Put(C::SelectUnidir, unidir);

    if (m_info.page_length_on == 1) Put(C::SetPageLengthEx, (Extra() + PaperLength()) * y / 10);
    const uint32_t top = Minus(vres * 35 / 300, Margin(0));
    const uint32_t bottom = Margin(1) + (PageFormatArea(true) + Extra() + BottomMargin()) * y / 10;
    Put(C::SetPageFormatEx, top, bottom);
    if ((f1 & 0x1000) && m_info.paper_dimension_mode == 1) SendPaperDimension(f, PaperLength());
    if (!(f3 & kF3EsckAtPage)) SendESCKCom();
    uint16_t overprint = 0;
    if (newer && m_media && m_media->Get_num_overprint(&overprint)) Put(C::SetOverprint, static_cast<uint8_t>(overprint));
    Escape(Code::kEscDocumentStartEnd);
}

void CMWCmd_TRAQ2::SendStartPageCmd(int count) {
    if ((F1() & 0x1000) && m_info.paper_dimension_mode == 2) SendPaperDimension(Fact(), PaperLength());
    if (F3() & kF3EsckAtPage) SendESCKCom();
    if (!Ex(kExNextPageOn) || (!Newer() && !Ex(kExLineFeedFirst))) return;
    int n = 0;
    if (Ex(kExNextPageSingle))
        n = 1;
    else if (count >= 1)
        n = std::min(count, 255);
    if (n == 0) return;
    Escape(Code::kEscPageStartLevel2Begin);
    Put(C::SetNextPage, static_cast<uint8_t>(n));
    Escape(Code::kEscPageStartLevel2End);
}

void CMWCmd_TRAQ2::NewerPageEnd() {
    const tagPOINT f = Fact();
    if (!NothingFed()) {
        if (m_info.paper_dimension_at_end == 1) SendPaperDimension(f, PageLengthAtEnd(f, false));
        Put(C::FormFeed);
    }
    if (!(Ex(kExRollMedia) && m_emptyPage == 0)) {
        Escape(Code::kEscPageEndEnd);
        return;
    }
    const uint32_t loops = LoopCount(SkippedPages(f));
    const bool feedPages = Ex(kExLineFeedFirst) && !Ex(kExCutAfterJob);
    for (uint32_t i = 0; i < loops; ++i) {
        if (feedPages) {
            if (m_info.paper_dimension_at_end != 1) {
                Put(C::LineFeed);
                Put(C::FormFeed);
            }
        } else {
            ++m_pagesReported;
        }
    }
    Escape(Code::kEscPageEndEnd);
}

void CMWCmd_TRAQ2::OlderPageEnd() {
    const bool lineFeedFirst = Ex(kExLineFeedFirst);
    if (!Ex(kExRollMedia)) {
        if (lineFeedFirst && m_feed == 0) Put(C::LineFeed);
        Put(C::FormFeed);
        Escape(Code::kEscPageEndEnd);
        return;
    }
    if ((F1() & 0x4020) != 0x4020) {
        Escape(Code::kEscPageEndEnd);
        return;
    }
    if (Ex(kExCutAfterJob)) {
        SendLFOfOneHead();
        Escape(Code::kEscPageEndEnd);
        return;
    }
    Put(C::FormFeed);
    if (lineFeedFirst && m_emptyPage == 0) {
        const tagPOINT f = Fact();
        const uint32_t u = (Extra() + AreaLength()) * static_cast<uint32_t>(f.y) / 10;
        const uint32_t k = u ? Minus(m_pageNumber * u, m_feed) / u : 0;
        const uint32_t loops = LoopCount(k);
        for (uint32_t i = 0; i < loops; ++i) {
            Put(C::LineFeed);
            Put(C::FormFeed);
        }
    }
    if (Ex(kExAutoCut) && Ex(kExEjectToBin)) Put(C::SelectBin, kEjectBin);
    Escape(Code::kEscPageEndEnd);
}

void CMWCmd_TRAQ2::SendEndPageCmd() {
    const bool newer = Newer();
    Escape(Code::kEscPageEndBegin);
    if (m_pageAbort == 0) {
        if (newer)
            NewerPageEnd();
        else
            OlderPageEnd();
        return;
    }
    if (newer) {
        if (F1() & 0x20) {
            if (F3() & kF3AbortKeepsRemote) {
                Put(C::SetPaperDimension, 0u, 0u);
                if (m_info.page_length_reset == 1) Put(C::SetPageLengthEx, 0u);
                Put(C::SetPageFormatEx, 0u, 0u);
            } else {
                Put(C::ResetPrinter);
                Put(C::StartRemote);
                Put(C::SetAutCutMode, uint8_t{65});
                Put(C::EndRemote);
            }
        }
        Put(C::FormFeed);
        Escape(Code::kEscPageEndEnd);
        return;
    }
    if ((F1() & 0x4020) == 0x4020 && Ex(kExRollMedia)) {
        SendLFOfOneHead();
        Escape(Code::kEscPageEndEnd);
        return;
    }
    OlderPageEnd();
}

void CMWCmd_TRAQ2::SendEndDocCmd() { SendDocumentEnd(DocumentEnd{C::ResetPrinter, true, true, true}); }

// ---------------------------------------------------------------------------
// CMWCmd_TRAQ2_1 and CMWCmd_TRAQ2_2.

void CMWCmd_TRAQ2_1::SendStartDocCmd(int header) {
    const tagPOINT f = Fact();
    const uint32_t y = static_cast<uint32_t>(f.y);
    Escape(Code::kEscDocumentStartBegin);
    if (header == 0) {
        Put(C::SendD4OffMode);
        Put(C::ResetPrinter);
        Put(C::ResetPrinter);
        SendStartDoc_RemoteCmd();
        Put(C::SetGraphicsMode);
    }
    const uint32_t vres = UnitVres();
    Put(C::SetUnitEx, static_cast<uint16_t>(vres), static_cast<uint16_t>(m_job.prt_resolution.x));
    Put(C::SelectUnidir, static_cast<uint8_t>(Bidirectional() ? 0 : 1));
    Put(C::SetPageLengthEx, (Extra() + PaperLength()) * y / 10);
    const uint32_t top = Minus(std::max(BottomMargin() * y / 10, vres * 35 / 300), Margin(0));
    const uint32_t bottom = (BottomMargin() + PageFormatArea(false) + Extra()) * y / 10 + Margin(1);
    Put(C::SetPageFormatEx, top, bottom);
    SendESCKCom();
    Escape(Code::kEscDocumentStartEnd);
}

void CMWCmd_TRAQ2_1::SendStartPageCmd(int) { SendPaperDimension(Fact(), PaperLength()); }

void CMWCmd_TRAQ2_1::SendEndPageCmd() {
    const tagPOINT f = Fact();
    Escape(Code::kEscPageEndBegin);
    if (!NothingFed()) {
        SendPaperDimension(f, PageLengthAtEnd(f, m_pageAbort != 0));
        Put(C::FormFeed);
    }
    if (Ex(kExRollMedia) && m_emptyPage == 0) {
        const uint32_t loops = LoopCount(SkippedPages(f));
        if (Ex(kExCutAfterJob) || !Ex(kExLineFeedFirst)) m_pagesReported += loops;
    }
    Escape(Code::kEscPageEndEnd);
}

void CMWCmd_TRAQ2_1::SendEndDocCmd() { SendVariantDocumentEnd(); }

void CMWCmd_TRAQ2_1::SendVPosCmd(unsigned int feed) { Put(C::SetRelVPosV2, feed); }

void CMWCmd_TRAQ2_1::SendStartDoc_RemoteCmd() { SendVariantRemoteBlock(kVariantDuplex | kVariantLevel2); }

void CMWCmd_TRAQ2_1::SendJXStartCmd() { SendVariantJXStartCmd(); }

void CMWCmd_TRAQ2_2::SendStartDoc_RemoteCmd() { SendVariantRemoteBlock(kVariantLevel2); }

void CMWCmd_TRAQ2_2::SendStartDocCmd(int header) { CMWCmd_TRAQ2_1::SendStartDocCmd(header); }

}  // namespace ovcg
