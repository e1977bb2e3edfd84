// The engine object behind one job handle: owns every object of the job,
// creates them in a fixed order at job start, runs pages and bands, and
// deletes everything in a fixed order at job end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "commands/traq3_records.h"
#include "engine/engine_interfaces.h"
#include "engine/isv_log.h"
#include "engine/plimo_buffer.h"
#include "engine/spooler.h"
#include "ovcg/ovcg_records.h"

namespace ovcg {

// Codes of the engine object.
inline constexpr int kPlimoNoGenerator = -1;
inline constexpr int kPlimoWrongState = -2;
inline constexpr int kPlimoConversionFailed = -4;
inline constexpr int kPlimoConstructionFailed = -10;
// The document or page commands (or a roll page's last lines) could not be
// sent, or not made.
inline constexpr int kPlimoSendFailed = -15;
inline constexpr int kPlimoNameTooLong = -40;
inline constexpr int kPlimoNameCopyFailed = -41;
inline constexpr int kPlimoHeadSelection = -400;
// The halftoning pipeline's "bad band": a job whose bands the halftone engine
// cannot take (two source rows to one printed row) has each page refused at
// its start.
inline constexpr int kPlimoBandRefused = -203;

// Longest kept name or job-data string, terminator excluded.
inline constexpr size_t kPlimoMaxName = 259;

// Length of a caller's string (not null) read through at most
// min(size, kPlimoMaxName + 1) bytes: the terminator's position, or that
// limit when no terminator lies within (so a result above kPlimoMaxName
// means "too long").
size_t BoundedNameLength(const char* s, size_t size = kPlimoMaxName + 1);

// The engine's own copy of the caller's job data, so that the caller's record
// need not outlive InitJob.
struct CachedJobData {
    uint16_t version = 0;
    std::vector<uint8_t> ink_set;
    std::string owner, document, host, vendor, os_version, media_info;
    int32_t host_name_type = -1;
    uint32_t job_id = 0;
    std::vector<uint8_t> hdd_options;
    int32_t disable_error_check = 0;
    tagJOBDATA_6 record{};  // points into the strings and buffers above
};

// Dot counts are counted in 64 bits; a 32-bit reader gets them saturated.
uint32_t SaturateU32(uint64_t v);

// The vertical borderless margin (7/60 inch) at a vertical resolution; 0 for
// a resolution outside the table.
int32_t BorderMarginDots(int32_t vertical_resolution);

class CPlimo {
public:
    // parts: the factory of the job's parts (null: the process-wide default).
    explicit CPlimo(int sixteenBit, EngineParts* parts = nullptr);
    virtual ~CPlimo();
    CPlimo(const CPlimo&) = delete;
    CPlimo& operator=(const CPlimo&) = delete;

    int InitJob(tagPRTSTRUCT3_12* job, tagOPTION* options);
    // `job` is the caller's upgraded record (caller's src_format).
    int ResetJob(tagPRTSTRUCT3_12* job, tagOPTION* options, int sixteenBit);
    int DestroyJob();
    int GetInkAmount(uint32_t* out);
    void SetBorderInfo(const tagRECT* in, int32_t out[4], int32_t* flags);

    int InitPage(const tagHTSTRUCT3_5* halftone);
    int BandOut(const tagRECT* clip, tagBANDBMP* in, tagBANDBMP* second, const tagRECT* band,
                tagOSDEP3* descriptor);
    int TerminatePage();
    int TerminatePageEx(const tagTPINFOSTRUCT* info);

    void SetCISVLog(CISVLog* log) { m_log = log; }
    CISVLog* GetCISVLog() const { return m_log; }

    // 2 when the new record lets the open job go on unchanged, else 1.
    int IsEnableInstanceCache(const tagPRTSTRUCT3_12* job) const;

    // State, for the job interface and tests.
    int LastError() const { return m_lastError; }
    bool JobOpen() const { return m_jobOpen; }
    bool PageOpen() const { return m_pageOpen; }
    CommandLevel Level() const { return m_level; }
    uint32_t Pages() const { return m_pages; }
    uint64_t JobLength() const { return m_jobLength; }
    bool ContinuousRoll() const { return m_continuousRoll; }
    const tagHTINITSTRUCT& HalftoneInit() const { return m_htInit; }
    const IPrintMode* PrintMode() const { return m_prtMode.get(); }
    const std::vector<uint64_t>& DotCounts() const { return m_dotCount; }
    const CachedJobData* JobDataCache() const { return m_jobData.get(); }

private:
    int Fail(int code) { return m_lastError = code; }
    int InitJobSteps(tagPRTSTRUCT3_12* job, tagOPTION* options);
    int InitJob_TRAQ2(const char* engine_path);
    int InitJob_TRAQ3();
    int InitJob_TRAQAGE();
    int CreateMWCmd();
    void SetCDG(int halftone, int correction);
    int SetBRS();
    int SendStartDocCmd();
    int DestroySteps();
    void FreeInstance();
    void FreeCache();
    int CacheJobData(const tagJOBDATA_6& data);
    int CopyName(const char* s, std::string* out, bool* present);

    void ResolvePage(int* halftone, int* correction) const;
    int StartNewPage();
    // The init record for m_ht, with the calibration tool's CID file for the page.
    void FillHalftoneInit();
    int EndEmptyPage();
    // Ends the open page; `final` also ends a continuous-roll page.
    int EndPage(int32_t abort, bool final);
    void AccumulateLength();
    int32_t PageLength() const;
    uint32_t PackedHeadSelectors() const;

    static int SpoolTrampoline(void* context, char* data, unsigned int length);

    EngineParts* m_parts;
    int m_lastError = 0;
    int m_sixteenBit;

    // Owned parts, in order of creation.
    std::unique_ptr<IHxrAdapter> m_hxr;
    std::unique_ptr<CLinkRscDLL> m_links;
    std::unique_ptr<IPixelConverter> m_conv;
    std::unique_ptr<IPrintMode> m_prtMode;
    std::unique_ptr<CPlimoSpooler> m_spooler;
    std::unique_ptr<CPlimoBuffer> m_buffer;
    std::unique_ptr<ICalibTool> m_isvTool;
    std::unique_ptr<ICdgSession> m_cdg;
    std::unique_ptr<IBrsSession> m_brs;
    bool m_brsEnabled = false;
    std::unique_ptr<IHeadControl> m_irac;
    std::unique_ptr<CTRAQ3V1> m_records;
    std::unique_ptr<IEncodeBuffer> m_encode;
    std::unique_ptr<IMWCmd> m_mwcmd;
    std::unique_ptr<IHalftoner> m_halftoner;
    CISVLog* m_log = nullptr;

    // The calibration record of the job and the names it points to.
    CalibRecord m_calib{};
    std::string m_calibPrinter, m_calibDir;
    // The caller's record as InitJob received it (before the working format).
    tagPRTSTRUCT3_12 m_callerJob{};
    // The print-mode information handed to the generator.
    tagPRTINFOSTRUCT m_infoForGenerator{};

    // Copies kept for the job.
    OVCG_SPOOL_FUNC m_spoolFunc = nullptr;
    void* m_spoolParam = nullptr;
    std::vector<uint8_t> m_rasterCalib;
    std::vector<uint8_t> m_imsCalib;
    std::string m_hmmFile, m_rscFile;
    bool m_hasHmmFile = false, m_hasRscFile = false;
    tagMEDIAOPT_8 m_mediaOpt{};
    bool m_hasMediaOpt = false;
    tagTRIMINFO m_trim{};
    bool m_hasTrim = false;
    tagCUTCMD m_cut{};
    bool m_hasCut = false;
    std::unique_ptr<CachedJobData> m_jobData;
    std::vector<uint64_t> m_dotCount;  // three per plane, whole job
    std::vector<uint64_t> m_pageDots;  // three per plane, one query
    bool m_dotCounting = false;

    // Job and page state.
    CommandLevel m_level = CommandLevel::kLevel2;
    bool m_jobOpen = false;
    bool m_pageOpen = false;
    bool m_firstPageSent = false;
    bool m_continuousRoll = false;
    bool m_resetting = false;  // while a reset takes the old job down
    bool m_rebuilt = false;    // the job was rebuilt by a reset
    uint32_t m_pages = 0;
    uint64_t m_jobLength = 0;  // source lines
    uint16_t m_tpVersion = 0;
    bool m_emptyPage = false;
    tagHTSTRUCT3_5 m_ht{};  // the page's halftone record, alive for the job
    TNMX_PARAMS m_tnmx{};   // the page's monochrome-photo parameters
    tagHTINITSTRUCT m_htInit{};
};

}  // namespace ovcg
