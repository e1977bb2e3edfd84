#include "commands/mw_cmd_traq3.h"

#include <algorithm>

#include "engine/engine_error.h"

namespace ovcg {

namespace {

using C = CPCommandConv;
using Code = CPlimoSpooler::EscapeCode;

constexpr int32_t kBinNoTopAdjust = 7;
constexpr uint32_t kSheetUnbounded = 0xFFFFFFFFu;
constexpr uint8_t kAutoCutAfterJob = 65;

}  // namespace

// ---------------------------------------------------------------------------
// Level 3.

CMWCmd_TRAQ3::CMWCmd_TRAQ3(const tagPRTSTRUCT3_12* job, const tagPRTINFOSTRUCT* info, CPlimoSpooler* spooler,
                           CMediaOpt* media, tagCUTCMD* cut, tagTRIMINFO* trim, tagJOBDATA_6* jobData,
                           CTRAQ3V1* records, IEncodeBuffer* encode)
    : CMWCmd(job, info, spooler, media, cut, trim, jobData), m_records(records), m_encode(encode) {
    if (!records || !encode) ThrowMessage(kIllegalParameterException);
}

void CMWCmd_TRAQ3::StartDocument(bool variant) {
    Escape(Code::kEscDocumentStartBegin);
    if (!variant) SendDc1Preamble();
    if (variant || (F2() & 0x4)) Put(C::SendD4OffMode);
    Put(C::ResetPrinter);
    Put(C::ResetPrinter);
    if (variant || !(F1() & 0x400)) SendStartDoc_RemoteCmd();

    // The printing-quality and page records the band driver sends later.
    unsigned char bw = 0;
    if (m_records->bSelectBlackAndWhitePrinting(m_job.prt_format, Ex(kExColorSettingOverride) ? 1 : 0,
                                                static_cast<int>(m_info.mw_type_flags[kMwBwModeValue]), &bw))
        m_records->vSetqltyBlackAndWhitePrinting(bw);
    m_records->vSetqltyPrintingDirectionControl(Bidirectional() ? 0 : 1);
    m_records->vSetqltyMicroWeave(static_cast<uint8_t>(m_info.microweave));
    m_records->vSetqltyDotSize(static_cast<uint8_t>(m_info.dot_size));
    if (Ex(kExRollMedia)) {
        m_records->vSetmakeSheetHeight(kSheetUnbounded);
        m_records->vSetmakePrintAreaHeight(kSheetUnbounded);
    }

    Put(C::ResetPrinter);
    Put(C::StartTRAQ3Mode);
    Escape(Code::kEscDocumentStartEnd);
}

void CMWCmd_TRAQ3::SendStartDocCmd(int) { StartDocument(false); }

void CMWCmd_TRAQ3::SendStartPageCmd(int) {}

void CMWCmd_TRAQ3::SendEndPageCmd() {
    if (m_pageAbort != 0) {
        Escape(Code::kEscPageEndBegin);
        m_records->vSettermEject(0);
        SendRaw(m_records->pvGet_TerminatePage(), m_records->uiGetLength_TerminatePage());
        Put(C::ResetPrinter);
        Put(C::StartRemote);
        Put(C::SetAutCutMode, kAutoCutAfterJob);
        Put(C::EndRemote);
        Put(C::FormFeed);
        Escape(Code::kEscPageEndEnd);
        return;
    }
    // The page's last lines go out before its end; lines that cannot be
    // sent fail the page.
    if (!m_encode->bFlushENCODEBuff()) ThrowMessage(kSpoolerException);
    Escape(Code::kEscPageEndBegin);
    uint8_t eject;
    if (Ex(kExRollMedia)) {
        if (!Ex(kExCutAfterJob) && m_emptyPage == 0 && !m_encode->bOutBunnerObject())
            ThrowMessage(kSpoolerException);
        eject = 0;
    } else {
        if (m_encode->ulGetNextRaster() == 0 && Ex(kExCutAfterJob)) {
            // A cut sheet without raster only counts.
            ++m_pagesReported;
            Escape(Code::kEscPageEndEnd);
            return;
        }
        eject = Ex(kExCutAfterJob) ? 0 : 1;
    }
    m_records->vSetendpEject(eject);
    SendRaw(m_records->pvGet_EndOfPage(), m_records->uiGetLength_EndOfPage());
    Escape(Code::kEscPageEndEnd);
}

void CMWCmd_TRAQ3::SendEndDocCmd() { SendDocumentEnd(DocumentEnd{C::EndTRAQ3Mode, true, false, true}); }

void CMWCmd_TRAQ3_1::SendStartDoc_RemoteCmd() { SendVariantRemoteBlock(kVariantDuplex); }

void CMWCmd_TRAQ3_1::SendJXStartCmd() { SendVariantJXStartCmd(); }

void CMWCmd_TRAQ3_1::SendStartDocCmd(int) { StartDocument(true); }

void CMWCmd_TRAQ3_1::SendEndDocCmd() { SendVariantDocumentEnd(); }

// ---------------------------------------------------------------------------
// Page language.

void CMWCmd_TRAQAGE::SetColorOption(int a, int b, int c, int d, int e, int f, int gamma) {
    const int32_t v[kOptions] = {a, b, c, d, e, f, gamma};
    if (m_known && std::equal(v, v + kOptions, m_options)) {
        m_changed = 0;
        return;
    }
    std::copy(v, v + kOptions, m_options);
    m_known = true;
    m_changed = 1;
}

void CMWCmd_TRAQAGE::ResetColorOption() {
    std::fill(m_options, m_options + kOptions, 0);
    m_known = false;
    m_changed = 1;
}

void CMWCmd_TRAQAGE::SendStartDocCmd(int) {
    Escape(Code::kEscDocumentStartBegin);
    SendDc1Preamble();
    if (F2() & 0x4) Put(C::SendD4OffMode);
    Put(C::ResetPrinter);
    Put(C::ResetPrinter);
    SendStartDoc_RemoteCmd();
    Put(C::StartTRAQageMode);
    Escape(Code::kEscDocumentStartEnd);
}

void CMWCmd_TRAQAGE::SendPrintArea() {
    // The 7/60-inch margin at the horizontal source resolution.
    const int32_t m = m_job.src_resolution.x * 42 / 360;
    const tagPOINT area = Ex(kExUserSetting0On) ? m_job.src_print_area_ex : m_job.src_print_area;
    int32_t xOrigin, yOrigin;
    tagPOINT extent;
    const bool force = Ex(kExForceMode2), banner = Ex(kExTrimBanner);
    if (force || banner) {
        if (m_trim) {
            xOrigin = m_trim->layout_offset.x - m;
            yOrigin = m_trim->layout_offset.y - m;
            extent = m_trim->src_t4base_parea_ex;
        } else {
            xOrigin = yOrigin = -m;
            extent = m_job.src_print_area_ex;
        }
        if (banner) yOrigin = 0;
    } else {
        xOrigin = m + m_job.src_margin.x;
        yOrigin = m_job.src_margin.y;
        extent = area;
    }
    Put(C::GS_SetPrintAreaX, xOrigin, extent.x);
    Put(C::GS_SetPrintAreaY, yOrigin, extent.y);
}

void CMWCmd_TRAQAGE::SendStartPageCmd(int) {
    Escape(Code::kEscPageStartPageLangBegin);
    if (m_changed) {
        Put(C::GS_SetRenderRes, m_job.src_resolution.x, m_job.src_resolution.y);
        Put(C::GS_HardReset);
        Put(C::GS_SetMemoryMode);
        Put(C::GS_SetMinUnit, m_job.src_resolution.x);
        SendPrintArea();
        Put(C::GS_SetMW, static_cast<uint8_t>(m_info.page_mw_mode), static_cast<uint8_t>(m_info.microweave));
        Put(C::GS_SetPrintDir, Bidirectional() ? 1 : 0);
        Put(C::GS_SetDotSize, static_cast<uint8_t>(m_info.dot_size));
        Put(C::GS_SetPrintRes, m_job.prt_resolution.x, m_job.prt_resolution.y);
        int32_t duty = kDutyFull;
        if (!(m_media && m_media->Get_duty(m_info.num_planes, &duty))) duty = kDutyFull;
        Put(C::GS_SetInkDuty, static_cast<int>(duty));
        Put(C::GS_SetPaperSize, m_job.src_paper_size.x, m_job.src_paper_size.y);
        Put(C::GS_SetGamma, m_options[6]);
        Put(C::GS_SetColorOption, m_options[0], m_options[1], m_options[2], m_options[3], m_options[4],
            m_options[5]);
        Put(C::GS_SetLogBandPrnDir);
        Put(C::GS_SetLogBandMode);
        Put(C::GS_SetColor, m_job.prt_format != 0 ? 1 : 0);
    }
    Escape(Code::kEscPageStartPageLangEnd);
}

void CMWCmd_TRAQAGE::SendEndPageCmd() {
    Escape(Code::kEscPageEndBegin);
    const bool lineFeedFirst = Ex(kExLineFeedFirst);
    if (Newer()) {
        const bool noTopAdjust = m_job.bin_ID == kBinNoTopAdjust || m_info.top_margin_adjust == 0;
        if (m_feed == 0 && noTopAdjust && lineFeedFirst) {
            Put(C::LineFeed);
            Put(C::FormFeed);
        } else if (m_feed == 0 && Ex(kExCutAfterJob)) {
            ++m_pagesReported;
        } else {
            Put(C::FormFeed);
        }
    } else {
        if (lineFeedFirst && m_feed == 0) Put(C::LineFeed);
        Put(C::FormFeed);
    }
    Escape(Code::kEscPageEndEnd);
}

void CMWCmd_TRAQAGE::SendEndDocCmd() {
    SendDocumentEnd(DocumentEnd{C::EndTRAQageMode, false, true, false});
    ResetColorOption();
}

}  // namespace ovcg
