// Base of the command generators: the commands that every command-language
// level sends around its page data. It keeps private copies of the job record
// and the print-mode information, links to the spooler and the job's
// sub-records, a 512-byte command buffer and the page counters that the
// engine core sets, and supplies the remote-mode block of the document start,
// the job-information records, the prediction and end records, the line
// advance of one head height, the colour-mode escape commands and the job's
// dot counts.
//
// Every command is written into the command buffer by CPCommandConv and sent
// at once through the spooler. The generator reports no error of its own;
// a failing spooler throws its message through every operation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "commands/command_conv.h"
#include "common/byte_writer.h"
#include "engine/media_opt.h"
#include "engine/prtinfo.h"
#include "engine/spooler.h"
#include "ovcg/ovcg_records.h"
#include "ovcg/ovs_resource.h"

namespace ovcg {

// One entry of a dot-count table: the counts of the three dot sizes of one
// ink plane.
struct tagSMLDATA {
    uint32_t count[3];
};
inline constexpr int kSmlDataSize = 12;

class CMWCmd {
public:
    static constexpr size_t kCmdBufferSize = 512;
    // The prediction record carries the dot-count array behind a one-byte
    // length, so the array holds at most 21 planes.
    static constexpr int kMaxDotCountBytes = 21 * kSmlDataSize;
    // SN 04H payload bytes the print-mode information can hold.
    static constexpr int kMaxSn04Count = kSn04DataSize;

    using LocalTimeFunction = void (*)(OVS_SYSTEMTIME*);

    // Copies both records and keeps the links (not owned). Throws
    // "Illegal Parameter Exception" without a job record, print-mode
    // information or spooler.
    CMWCmd(const tagPRTSTRUCT3_12* job, const tagPRTINFOSTRUCT* info, CPlimoSpooler* spooler,
           CMediaOpt* media, tagCUTCMD* cut, tagTRIMINFO* trim, tagJOBDATA_6* jobData);
    CMWCmd(const CMWCmd&) = delete;
    CMWCmd& operator=(const CMWCmd&) = delete;

    // Virtual operations, in their historical slot order.
    virtual void SendStartDoc_RemoteCmd();
    virtual void SendJXStartCmd();
    // Scale from source pixels to tenths of printer units, per axis; 0 for an
    // axis whose source resolution is not positive.
    virtual void GetUSFact(tagPOINT* out);
    virtual ~CMWCmd();
    virtual void SendStartDocCmd(int header);
    virtual void SendStartPageCmd(int count);
    virtual void SendEndPageCmd();
    virtual void SendEndDocCmd();
    virtual void SendVPosCmd(unsigned int feed);
    virtual void SetColorOption(int a, int b, int c, int d, int e, int f, int gamma);

    // Sends the first n bytes of the command buffer (at most its size).
    void SendCom(unsigned short n);
    void SendJS_JU_JH_HD_StartCmd();
    void SendJXPredictionInfoCmd();
    void SendJXEndCmd();
    // Advances the paper by the model's head height; nothing when the model
    // gives none.
    void SendLFOfOneHead();
    void SendESCKCom();
    void SetMarginValue(unsigned short first, unsigned short second);
    // Builds the dot-count array of the prediction record from a table of
    // `size` bytes (size / 12 entries); the third argument is not read.
    void SetDotCount(const tagSMLDATA* table, int size, int unused);
    void SendDummyCom();

    // Page values the engine core sets before each page end, and the
    // printed length before the document end.
    void SetPageAbort(uint32_t abort) { m_pageAbort = abort; }
    void SetPageValues(uint32_t page, uint32_t feedStart, uint32_t feed, uint32_t feedExtra) {
        m_pageNumber = page;
        m_feedStart = feedStart;
        m_feed = feed;
        m_feedExtra = feedExtra;
    }
    void SetEmptyPage(uint32_t empty) { m_emptyPage = empty; }
    // The rows skipped at the top of the page when the generator defers the
    // skip (the halftoning's upper skip, in source rows times the vertical
    // ratio). Kept for the page; no command reads it yet.
    void SetSkippedRows(uint32_t rows) { m_skippedRows = rows; }
    uint32_t SkippedRows() const { return m_skippedRows; }
    void SetPrintedLength(uint32_t millimetres) { m_printedLength = millimetres; }

    // The clock of the time stamp (GetLocalTime unless replaced).
    void SetLocalTimeFunction(LocalTimeFunction f) { m_localTime = f; }

    // Appends one JX item [type][length][data] (at most 255 data bytes; the
    // generators clamp every source before).
    static void JxItem(ByteWriter& w, uint8_t type, const void* data, size_t n);

    uint32_t PagesReported() const { return m_pagesReported; }
    int DotCountSize() const { return m_dotCountSize; }
    const uint8_t* DotCount() const { return m_dotCount; }
    unsigned short FirstMargin() const { return m_margin[0]; }
    unsigned short SecondMargin() const { return m_margin[1]; }
    const tagPRTINFOSTRUCT& Info() const { return m_info; }
    const tagPRTSTRUCT3_12& Job() const { return m_job; }

protected:
    // Writes one command with an encoder writer and sends it. A command that
    // the writer refuses (no room, bad argument) is not sent.
    template <typename Writer, typename... Args>
    void Put(Writer writer, Args... args) {
        const int n = writer(m_cmd, sizeof m_cmd, args...);
        if (n > 0) SendCom(static_cast<unsigned short>(n));
    }
    void SendRaw(const void* data, size_t n);
    void Escape(unsigned short code);

    // The remote-mode flag words; the newer command set has the sign bit of
    // the first.
    uint32_t F1() const { return m_info.remote_flags; }
    uint32_t F2() const { return m_info.remote_flags2; }
    uint32_t F3() const { return m_info.remote_flags3; }
    bool Newer() const { return static_cast<int16_t>(m_info.remote_flags) < 0; }
    bool Ex(int bit) const { return m_info.ex_option_flags[bit] != 0; }
    bool Bidirectional() const { return m_info.mw_type_flags[kMwBidirectional] != 0; }
    static bool Valid16(uint16_t v) { return v != 0xFFFF; }

    // Steps of the remote-mode block that the variants share.
    void SendTimeStamp();
    void SendMediaPaperId();
    uint8_t PaperIdByte() const;
    void SendUserMediaNumber();
    void SendUserSetting0();
    void SendSnTable();
    void SendDryTimeTable();
    void SendPaperThickness();
    void SendCutPositions(const tagPOINT& fact);
    void SendRemoteCmdBytes();
    void SendAutoCutPair();
    void SendPaperPath();
    // The JX job record of the newer variants: no item enables, no items 2
    // and 15 (job_info_mode: only the media and error-check items).
    void SendVariantJXStartCmd();
    // DP 0 and LD of a document end. With duplex (or duplex_alt) on under
    // F2 0x400 and duplex_end 0, a last page that was not aborted holds both
    // back; with altCounts only when duplex_alt is off.
    void SendDuplexEndAndLoad(bool altCounts);
    // The document end of the levels: Escape 1, the mode's end command,
    // the remote frame with IR (inkRest, under F2 0x8), the JX prediction,
    // DP / LD, the JX end record or JE, three zero bytes (blankTail, under
    // F2 0x2000), Escape 2, flush.
    struct DocumentEnd {
        int (*leaveMode)(uint8_t* dest, size_t cap);
        bool inkRest;
        bool altCounts;
        bool blankTail;
    };
    void SendDocumentEnd(const DocumentEnd& form);
    // On the newer set with F3 0x2 and job_info_mode 0: 16384 single bytes
    // 0x11, each its own spooler write.
    void SendDc1Preamble();
    // The document end of the newer variants (levels 2 and 3): ESC @, LD
    // unless duplex_end 0 keeps it for a duplex job's last page, the JX end
    // record under job_info_mode 0.
    void SendVariantDocumentEnd();
    // The remote-mode block of the newer variants: StartRemote, the virtual
    // JX job record, DP (kVariantDuplex), MI, EX 05, FP, EX 14, AC, AC, PP,
    // the job's remote bytes, EndRemote; kVariantLevel2 adds the SN table
    // (F1 0x1), the dry times (F2 0x100), the paper thickness (newer set or
    // F3 bit 23) and EX 4D.
    static constexpr unsigned kVariantDuplex = 0x1;
    static constexpr unsigned kVariantLevel2 = 0x2;
    void SendVariantRemoteBlock(unsigned parts);
    // Sends one JX record from item bytes built by the caller.
    void SendJX(const uint8_t* items, size_t n);
    // Whether the print mode enables the JX item at this index of jx_items.
    bool JxOn(int enable) const { return Valid16(m_info.jx_items[enable]); }

    // JX item types.
    static constexpr uint8_t kJxStart = 0x01;
    static constexpr uint8_t kJxHdd = 0x02;
    static constexpr uint8_t kJxDocName = 0x08;
    static constexpr uint8_t kJxOwnerName = 0x0C;
    static constexpr uint8_t kJxHostName = 0x0D;
    static constexpr uint8_t kJxCopies = 0x0F;
    static constexpr uint8_t kJxPageCount = 0x10;
    static constexpr uint8_t kJxOsVersion = 0x17;
    static constexpr uint8_t kJxVendor = 0x18;
    static constexpr uint8_t kJxMedia = 0x19;
    static constexpr uint8_t kJxHostId = 0x20;
    static constexpr uint8_t kJxDotCounts = 0x21;
    static constexpr uint8_t kJxPrintedLength = 0x29;
    static constexpr uint8_t kJxErrorCheck = 0x2B;

    // Job-data strings clamped to their real length and a limit.
    struct Text {
        const uint8_t* data = nullptr;
        size_t size = 0;
        bool present() const { return data && size > 0; }
    };
    static Text Clamp(const char* s, uint32_t size, size_t limit);
    // Appends the host-identifier JX item: host-name type, job ID, name.
    static void JxHostIdItem(ByteWriter& w, const tagJOBDATA_6& jd, Text name);
    // Appends the error-check JX item when the job data ask for it.
    static void JxErrorCheckItem(ByteWriter& w, const tagJOBDATA_6* jd);
    bool HasJobData() const { return m_jobData && m_jobData->version != 0; }
    bool CutEnabled() const { return m_cut && m_cut->version != 0; }

    tagPRTSTRUCT3_12 m_job;
    tagPRTINFOSTRUCT m_info;
    uint32_t m_pageAbort = 0;
    CMediaOpt* m_media;
    tagCUTCMD* m_cut;
    tagTRIMINFO* m_trim;
    tagJOBDATA_6* m_jobData;
    uint32_t m_pageNumber = 0;
    uint32_t m_feedStart = 0;
    uint32_t m_feed = 0;
    uint32_t m_feedExtra = 0;
    uint32_t m_pagesReported = 0;
    uint32_t m_emptyPage = 0;
    uint32_t m_skippedRows = 0;
    uint8_t m_cmd[kCmdBufferSize] = {};
    unsigned short m_margin[2] = {0xFFFF, 0xFFFF};
    uint8_t* m_dotCount = nullptr;
    int32_t m_dotCountSize = 0;
    uint32_t m_printedLength = 0;
    CPlimoSpooler* m_spooler;
    LocalTimeFunction m_localTime;
};

}  // namespace ovcg
