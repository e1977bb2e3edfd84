// The level-2 command generators: the document and page commands around the
// raster data of the head-control engine. CMWCmd_TRAQ2 serves both remote
// command sets; CMWCmd_TRAQ2_1 and CMWCmd_TRAQ2_2 are the variants of the
// newer models with their own remote-mode block and JX job record.
//
// Every section goes out between the spooler's escape markers: 9/10 around
// the document start, 13/14 around the next-page command of the page start,
// 3/4 around the page end, 1/2 around the document end.
//
// The page-end arithmetic is unsigned 32-bit as the printer expects it; where
// a difference would go below zero it is taken as 0, and a division whose
// divisor comes out 0 gives 0.
#pragma once

#include <cstdint>

#include "commands/mw_cmd.h"

namespace ovcg {

class CMWCmd_TRAQ2 : public CMWCmd {
public:
    using CMWCmd::CMWCmd;

    // header: the engine core's job flag; the header steps run only for 0.
    void SendStartDocCmd(int header) override;
    // count: the pages that the next-page command announces.
    void SendStartPageCmd(int count) override;
    void SendEndPageCmd() override;
    void SendEndDocCmd() override;

protected:
    // Job-record and print-mode values of the page arithmetic (source pixels,
    // unsigned as the arithmetic takes them).
    uint32_t PaperWidth() const { return static_cast<uint32_t>(m_job.src_paper_size.x); }
    uint32_t PaperLength() const { return static_cast<uint32_t>(m_job.src_paper_size.y); }
    uint32_t AreaLength() const { return static_cast<uint32_t>(m_job.src_print_area.y); }
    uint32_t BottomMargin() const { return static_cast<uint32_t>(m_job.src_margin.y); }
    uint32_t Extra() const { return static_cast<uint32_t>(m_info.page_length_extra); }
    uint32_t Gap() const { return static_cast<uint32_t>(m_info.page_gap); }
    // The vertical unit of the job: the print resolution, 5760 for 540.
    uint32_t UnitVres() const;
    // The two margin values, 0 while the engine has not set them.
    uint32_t Margin(int i) const { return m_margin[i] == 0xFFFF ? 0 : m_margin[i]; }
    // The print-area length of the page format; `forceSelectsTrim`: the
    // trim record is also chosen for force_mode2.
    uint32_t PageFormatArea(bool forceSelectsTrim) const;

    tagPOINT Fact();
    // ESC ( S with the paper width and a page length (plus the extra).
    void SendPaperDimension(const tagPOINT& f, uint32_t length);
    // Pages the feed so far left blank on a roll: ((P-1)G + AP + E)y/10 - F
    // over (A + G)y/10.
    uint32_t SkippedPages(const tagPOINT& f) const;
    // Iterations of a closing loop of k pages: all but the first when k = P.
    uint32_t LoopCount(uint32_t k) const;
    // Step 1 of the newer page end; true when it jumps to the closing loop.
    bool NothingFed();
    // The page length V of the newer page end; `abortForm`: an aborted page
    // without cut_after_job takes the form with the feed at page start.
    uint32_t PageLengthAtEnd(const tagPOINT& f, bool abortForm) const;
    uint32_t FedLength(const tagPOINT& f, uint32_t feed) const;

    void NewerPageEnd();
    void OlderPageEnd();
};

class CMWCmd_TRAQ2_1 : public CMWCmd_TRAQ2 {
public:
    using CMWCmd_TRAQ2::CMWCmd_TRAQ2;

    void SendStartDoc_RemoteCmd() override;
    void SendJXStartCmd() override;
    void SendStartDocCmd(int header) override;
    void SendStartPageCmd(int count) override;
    void SendEndPageCmd() override;
    void SendEndDocCmd() override;
    void SendVPosCmd(unsigned int feed) override;
};

class CMWCmd_TRAQ2_2 : public CMWCmd_TRAQ2_1 {
public:
    using CMWCmd_TRAQ2_1::CMWCmd_TRAQ2_1;

    void SendStartDoc_RemoteCmd() override;
    void SendStartDocCmd(int header) override;
};

}  // namespace ovcg
