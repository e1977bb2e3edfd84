#include "engine/plimo.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/calib_request.h"
#include "engine/debug_export.h"
#include "engine/engine_error.h"

namespace ovcg {
namespace {

// Flag word bits of the print mode that the engine core reads.
constexpr uint32_t kFlag3DotCounting = 0x08000000u;
constexpr uint32_t kFlag3RasterCalibSlut = 0x40000000u;

// Expanded option flags the engine core reads.
constexpr int kMwTnmxHpat = 9;
constexpr int kExFlipH = 7;
constexpr int kExFlipV = 8;
constexpr int kEx2Bina = 3;

// Debug-export identifiers of the reset outcome.
constexpr int32_t kExportResetKept = 1002;
constexpr int32_t kExportResetRebuilt = 1004;

bool Given16(uint16_t v) { return v != 0xFFFF; }

// The job keeps one page open across the caller's pages when the print mode
// has a top-margin offset on the roll (the page is fed continuously).
bool IsContinuousRoll(const tagPRTINFOSTRUCT& info) { return info.top_margin_offset_on != 0; }

const char* NameOrNull(const std::string& s, bool present) { return present ? s.c_str() : nullptr; }

// Runs a generator call; a thrown failure becomes `code`.
template <typename F>
int Guard(F&& f, int code) {
    try {
        f();
        return 0;
    } catch (...) {
        return code;
    }
}

bool SameTrim(const tagTRIMINFO& a, const tagTRIMINFO& b) {
    return a.src_t4base_parea.x == b.src_t4base_parea.x && a.src_t4base_parea.y == b.src_t4base_parea.y &&
           a.src_t4base_parea_ex.x == b.src_t4base_parea_ex.x &&
           a.src_t4base_parea_ex.y == b.src_t4base_parea_ex.y && a.layout_offset.x == b.layout_offset.x &&
           a.layout_offset.y == b.layout_offset.y;
}

bool SameMediaOpt(const tagMEDIAOPT_8& a, const tagMEDIAOPT_8& b) {
    if (a.version != b.version || a.field != b.field || a.duty != b.duty ||
        a.feeding_offset != b.feeding_offset || a.path_delay_time != b.path_delay_time ||
        a.paper_thickness != b.paper_thickness || a.vacuum_intensity != b.vacuum_intensity ||
        a.cutting_adjustment != b.cutting_adjustment || a.page_delay_time != b.page_delay_time ||
        a.platen_gap_mode != b.platen_gap_mode || a.feed_roller_type != b.feed_roller_type ||
        a.auto_dp_delay_time != b.auto_dp_delay_time || a.roll_tension_mode != b.roll_tension_mode ||
        a.num_overprint != b.num_overprint || a.auto_dp_doc_type != b.auto_dp_doc_type ||
        a.page_margin != b.page_margin || a.top_margin != b.top_margin || a.eject_roller != b.eject_roller ||
        a.user_media_number != b.user_media_number)
        return false;
    for (int i = 0; i < OVCG_MEDIAOPT_PLANES; ++i)
        if (a.multi_duty[i] != b.multi_duty[i]) return false;
    return true;
}

bool SamePoint(const tagPOINT& a, const tagPOINT& b) { return a.x == b.x && a.y == b.y; }

// Copies a caller's string (not null), taken up to its stated size or its
// terminator, whichever comes first: kPlimoNameTooLong when that is longer
// than the kept maximum, kPlimoNameCopyFailed when memory runs out.
int CopyBoundedName(const char* s, size_t size, std::string* out) {
    const size_t n = BoundedNameLength(s, size);
    if (n > kPlimoMaxName) return kPlimoNameTooLong;
    try {
        out->assign(s, n);
    } catch (...) {
        return kPlimoNameCopyFailed;
    }
    return 0;
}

}  // namespace

size_t BoundedNameLength(const char* s, size_t size) {
    const size_t limit = std::min<size_t>(size, kPlimoMaxName + 1);
    const void* end = std::memchr(s, 0, limit);
    return end ? static_cast<size_t>(static_cast<const char*>(end) - s) : limit;
}

uint32_t SaturateU32(uint64_t v) {
    return v > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                    : static_cast<uint32_t>(v);
}

int32_t BorderMarginDots(int32_t res) {
    switch (res) {
        case 120:
        case 180:
        case 300:
        case 360:
        case 600:
        case 720:
        case 1200:
        case 1440: return res * 7 / 60;
        default: return 0;
    }
}

CPlimo::CPlimo(int sixteenBit, EngineParts* parts)
    : m_parts(parts ? parts : &DefaultEngineParts()), m_sixteenBit(sixteenBit) {}

CPlimo::~CPlimo() { FreeInstance(); }

int CPlimo::SpoolTrampoline(void* context, char* data, unsigned int length) {
    auto* self = static_cast<CPlimo*>(context);
    if (!self->m_spoolFunc || length > static_cast<unsigned>(std::numeric_limits<int32_t>::max())) return -1;
    return self->m_spoolFunc(self->m_spoolParam, reinterpret_cast<const uint8_t*>(data),
                             static_cast<int32_t>(length));
}

// ---------------------------------------------------------------------------
// Job life cycle.

int CPlimo::InitJob(tagPRTSTRUCT3_12* job, tagOPTION* options) {
    if (m_jobOpen) return Fail(kPlimoWrongState);
    if (!job || !options) return Fail(kPlimoConstructionFailed);
    int r;
    try {
        r = InitJobSteps(job, options);
    } catch (int code) {
        r = code;
    } catch (...) {
        r = kPlimoConstructionFailed;
    }
    if (r != 0) {
        // A failed start leaves nothing behind (the object may be started again).
        FreeInstance();
        m_jobOpen = false;
        return Fail(r);
    }
    m_lastError = 0;
    return 0;
}

int CPlimo::InitJobSteps(tagPRTSTRUCT3_12* job, tagOPTION* options) {
    // The calibration record lives with the engine object, so that every copy
    // of the job record that points to it stays valid for the whole job.
    KeptCalibTarget(&m_calibPrinter, &m_calibDir);
    m_calib = CalibRecord{3, "dummy", "dummy", m_calibPrinter.empty() ? nullptr : m_calibPrinter.c_str(),
                          m_calibDir.empty() ? nullptr : m_calibDir.c_str()};
    job->lpBRSData = &m_calib;
    m_callerJob = *job;

    // The job's sub-records and names are copied now, and every copy of the
    // job record made from here on (print mode, generator) points to the
    // engine's copies, which live as long as the job: the caller's records
    // need not outlive this call.
    if (job->lpMediaOpt) {
        m_mediaOpt = *job->lpMediaOpt;
        m_hasMediaOpt = true;
        job->lpMediaOpt = &m_mediaOpt;
    }
    if (job->lpTrimInfo) {
        m_trim = *job->lpTrimInfo;
        m_hasTrim = true;
        job->lpTrimInfo = &m_trim;
    }
    if (job->lpCutCmdData) {
        m_cut = *job->lpCutCmdData;
        m_hasCut = true;
        job->lpCutCmdData = &m_cut;
    }
    // A name or job-data string that cannot be kept fails the start only once
    // the job's parts exist (so a part that cannot be made is reported first).
    int copyFailure = CopyName(job->lpszHMM_File, &m_hmmFile, &m_hasHmmFile);
    if (m_hasHmmFile) job->lpszHMM_File = m_hmmFile.c_str();
    const char* rsc = (options->lppszRsc_File && options->NumRsc > 0) ? options->lppszRsc_File[0] : nullptr;
    if (!copyFailure) copyFailure = CopyName(rsc, &m_rscFile, &m_hasRscFile);
    if (!copyFailure && job->lpJobData) {
        copyFailure = CacheJobData(*job->lpJobData);
        if (!copyFailure) job->lpJobData = &m_jobData->record;
    }

    if (job->mw_type & OVCG_MW_P3)
        m_level = CommandLevel::kLevel3;
    else if (job->mw_type & OVCG_MW_OVC)
        m_level = CommandLevel::kPageLanguage;
    else
        m_level = CommandLevel::kLevel2;

    if (!m_hxr && !m_links) {
        m_hxr = m_parts->CreateHxrAdapter(options->lpszHT_File);
        m_links = m_parts->CreateLinkResources(options->lppszRsc_File, options->NumRsc);
    }
    if (!m_links) return kPlimoConstructionFailed;

    m_conv = m_parts->CreatePixelConverter();
    if (!m_conv) return kPlimoConstructionFailed;
    job->src_format = m_conv->GetSrcFormat(job->src_format);

    m_prtMode = m_parts->CreatePrintMode(job, m_links.get());
    if (!m_prtMode) return kPlimoConstructionFailed;
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const tagPRTSTRUCT3_12& pj = m_prtMode->Job();

    m_spoolFunc = options->lpfuncSpool;
    m_spoolParam = options->hParam;
    m_spooler =
        std::make_unique<CPlimoSpooler>(static_cast<int>(info.ex_option_flags[1]), &SpoolTrampoline, this);

    const int planes = std::clamp(info.num_planes, 0, kPrtInfoMaxPlanes);
    m_dotCounting = (info.remote_flags3 & kFlag3DotCounting) != 0 && planes > 0;
    if (m_dotCounting) {
        m_dotCount.assign(static_cast<size_t>(planes) * 3, 0);
        m_pageDots.assign(static_cast<size_t>(planes) * 3, 0);
    }

    const int bits = Given16(info.key11015) ? (info.key11015 & 3) : pj.bit_p_color;
    const int32_t width =
        info.ex_option_flags[kExUserSetting0On] ? pj.src_print_area_ex.x : pj.src_print_area.x;
    m_buffer = std::make_unique<CPlimoBuffer>(info.num_planes, bits, static_cast<unsigned>(pj.src_margin.x),
                                              static_cast<unsigned>(width), pj.src_resolution,
                                              pj.prt_resolution, 2u, 1);

    // Calibration sessions.
    const bool namesFile = m_calib.raster_file && m_calib.raster_file[0] != '\0';
    m_brsEnabled = info.key10103_on != 0 && namesFile;
    if (m_calib.version > 2) {
        m_isvTool = m_parts->CreateCalibTool();
        if (m_isvTool) m_isvTool->CreateFilePathName(m_calib.printer_name, m_calib.dir_path);
    }
    if (m_calib.version > 1 && namesFile) m_cdg = m_parts->CreateCdgSession(m_hxr.get());
    if (m_isvTool) {
        uint32_t size = 0;
        if (const uint8_t* p = m_isvTool->RasterCalib(&size); p && size) m_rasterCalib.assign(p, p + size);
        size = 0;
        if (const uint8_t* p = m_isvTool->ImsCalib(&size); p && size) m_imsCalib.assign(p, p + size);
    }
    if (copyFailure) return copyFailure;

    switch (m_level) {
        case CommandLevel::kLevel3: return InitJob_TRAQ3();
        case CommandLevel::kPageLanguage: return InitJob_TRAQAGE();
        default: return InitJob_TRAQ2(options->lpszMW_File);
    }
}

int CPlimo::CopyName(const char* s, std::string* out, bool* present) {
    out->clear();
    *present = false;
    if (!s) return 0;
    if (int r = CopyBoundedName(s, kPlimoMaxName + 1, out)) return r;
    *present = true;
    return 0;
}

int CPlimo::CacheJobData(const tagJOBDATA_6& d) {
    auto cache = std::make_unique<CachedJobData>();
    cache->version = d.version;
    const auto take = [](const char* s, uint32_t size, std::string* out) -> int {
        return s ? CopyBoundedName(s, size, out) : 0;
    };
    try {
        if (d.lpInkSetData && d.NumInkSetData)
            cache->ink_set.assign(d.lpInkSetData, d.lpInkSetData + d.NumInkSetData);
        if (d.lpHDDOption && d.NumHDDOption)
            cache->hdd_options.assign(d.lpHDDOption, d.lpHDDOption + d.NumHDDOption);
    } catch (...) {
        return kPlimoNameCopyFailed;
    }
    if (int r = take(d.lpszOwnerName, d.OwnerNameSize, &cache->owner)) return r;
    if (int r = take(d.lpszDocName, d.DocNameSize, &cache->document)) return r;
    if (int r = take(d.lpszHostName, d.HostNameSize, &cache->host)) return r;
    if (int r = take(d.lpszVenderInfo, d.VenderInfoSize, &cache->vendor)) return r;
    if (int r = take(d.lpszOsVerInfo, d.OsVerInfoSize, &cache->os_version)) return r;
    if (int r = take(d.lpszMediaInfo, d.MediaInfoSize, &cache->media_info)) return r;
    cache->host_name_type = d.HostNameType;
    cache->job_id = d.dwJobID;
    cache->disable_error_check = d.DisablePrinterErrorCheck;

    tagJOBDATA_6& r = cache->record;
    r = tagJOBDATA_6{};
    r.version = d.version;
    const auto str = [](const std::string& s, const char* src) { return src ? s.c_str() : nullptr; };
    r.lpInkSetData = cache->ink_set.empty() ? nullptr : cache->ink_set.data();
    r.NumInkSetData = static_cast<uint32_t>(cache->ink_set.size());
    r.lpszOwnerName = str(cache->owner, d.lpszOwnerName);
    r.OwnerNameSize = static_cast<uint32_t>(cache->owner.size());
    r.lpszDocName = str(cache->document, d.lpszDocName);
    r.DocNameSize = static_cast<uint32_t>(cache->document.size());
    r.lpszHostName = str(cache->host, d.lpszHostName);
    r.HostNameSize = static_cast<uint32_t>(cache->host.size());
    r.HostNameType = cache->host_name_type;
    r.dwJobID = cache->job_id;
    r.lpszVenderInfo = str(cache->vendor, d.lpszVenderInfo);
    r.VenderInfoSize = static_cast<uint32_t>(cache->vendor.size());
    r.lpszOsVerInfo = str(cache->os_version, d.lpszOsVerInfo);
    r.OsVerInfoSize = static_cast<uint32_t>(cache->os_version.size());
    r.lpszMediaInfo = str(cache->media_info, d.lpszMediaInfo);
    r.MediaInfoSize = static_cast<uint32_t>(cache->media_info.size());
    r.lpHDDOption = cache->hdd_options.empty() ? nullptr : cache->hdd_options.data();
    r.NumHDDOption = static_cast<uint32_t>(cache->hdd_options.size());
    r.DisablePrinterErrorCheck = cache->disable_error_check;
    m_jobData = std::move(cache);
    return 0;
}

void CPlimo::FreeCache() { m_jobData.reset(); }

uint32_t CPlimo::PackedHeadSelectors() const {
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    uint32_t packed = 0;
    for (int i = 0; i < 4; ++i) {
        const uint16_t v = info.head_id_bytes[i];
        if (Given16(v)) packed |= static_cast<uint32_t>(v & 0xFF) << (8 * i);
    }
    return packed;
}

int32_t CPlimo::PageLength() const {
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const tagPRTSTRUCT3_12& pj = m_prtMode->Job();
    const int64_t area =
        info.ex_option_flags[kExUserSetting0On] ? pj.src_print_area_ex.y : pj.src_print_area.y;
    const int64_t len = area + info.page_length_extra;
    return static_cast<int32_t>(
        std::clamp<int64_t>(len, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int CPlimo::InitJob_TRAQ2(const char* engine_path) {
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const tagPRTSTRUCT3_12& pj = m_prtMode->Job();
    if (!Given16(info.head_id_bytes[0])) return kPlimoHeadSelection;

    tagIRACINITSTRUCT init{};
    init.width = static_cast<uint32_t>(info.ex_option_flags[kExUserSetting0On] ? pj.src_print_area_ex.x
                                                                               : pj.src_print_area.x);
    init.height = static_cast<uint32_t>(PageLength());
    init.spooler = m_spooler.get();
    init.send = &SLSpoolerSendDataIRAC;
    init.links = m_links.get();
    init.buffer = m_buffer.get();
    init.pixel_shift_text = pj.lpSBString;
    init.left_offset_addend = static_cast<uint32_t>(pj.trim_left_margin);
    init.paper_source[1] = IsContinuousRoll(info) ? 1u : 0u;
    init.head_selection = info.key11018_on;
    init.identifier = PackedHeadSelectors();
    init.engine_ptr = this;
    init.ink_info = pj.lpInkInfo_Tbl;
    init.paper_source_selector = info.bin279_flag;
    m_irac = m_parts->CreateHeadControl(&init, engine_path);
    if (!m_irac) return kPlimoConstructionFailed;
    if (int r = m_irac->StartJob()) return r;
    m_jobOpen = true;
    return 0;
}

int CPlimo::InitJob_TRAQ3() {
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    uint16_t recordVersion;
    switch (info.record_selector) {
        case 0:
        case 1:
        case 0xFFFF: recordVersion = 1; break;
        case 2: recordVersion = 2; break;
        default: return kPlimoConstructionFailed;
    }
    m_records = m_parts->CreateLevel3Records(recordVersion, m_prtMode->Job());
    if (!m_records) return kPlimoConstructionFailed;
    uint16_t encoder;
    switch (info.encoder_selector) {
        case 0:
        case 0xFFFF: encoder = 0; break;  // JPEG with its identification data
        case 1: encoder = 1; break;       // line codec
        case 2: encoder = 2; break;       // plain JPEG
        default: return kPlimoConstructionFailed;
    }
    m_encode = m_parts->CreateEncodeBuffer(encoder, m_spooler.get(), m_records.get(),
                                           static_cast<uint32_t>(std::max(PageLength(), 0)));
    if (!m_encode) return kPlimoConstructionFailed;
    if (int r = CreateMWCmd()) return r;
    m_jobOpen = true;
    return 0;
}

int CPlimo::InitJob_TRAQAGE() {
    if (int r = CreateMWCmd()) return r;
    m_jobOpen = true;
    return 0;
}

int CPlimo::CreateMWCmd() {
    const uint16_t sel = m_prtMode->Info().generator_selector;
    bool known = false;
    switch (m_level) {
        case CommandLevel::kLevel3: known = sel == 0xFFFF || sel == 1; break;
        case CommandLevel::kLevel2: known = sel == 0xFFFF || sel == 1 || sel == 2; break;
        case CommandLevel::kPageLanguage: known = sel == 0xFFFF; break;
    }
    if (!known) return Fail(kPlimoNoGenerator);

    // The generator takes its own copy of the print-mode information.
    m_infoForGenerator = m_prtMode->Info();
    MWCmdArgs args{m_level,
                   sel,
                   &m_prtMode->Job(),
                   &m_infoForGenerator,
                   m_spooler.get(),
                   &m_prtMode->MediaOpt(),
                   m_hasCut ? &m_cut : nullptr,
                   m_hasTrim ? &m_trim : nullptr,
                   m_jobData ? &m_jobData->record : nullptr,
                   m_records.get(),
                   m_encode.get()};
    try {
        m_mwcmd = m_parts->CreateMWCmd(args);
    } catch (int code) {
        return Fail(code);
    } catch (...) {
        return Fail(kPlimoConstructionFailed);
    }
    if (!m_mwcmd) return Fail(kPlimoNoGenerator);
    uint16_t top = 0, page = 0;
    m_prtMode->MediaOpt().Get_top_margin(&top);
    m_prtMode->MediaOpt().Get_page_margin(&page);
    m_mwcmd->SetMarginValue(top, page);
    return 0;
}

int CPlimo::DestroyJob() {
    int r;
    try {
        r = DestroySteps();
    } catch (int code) {
        r = code;
    } catch (...) {
        r = kPlimoConstructionFailed;
    }
    m_lastError = r;
    return r;
}

int CPlimo::DestroySteps() {
    if (!m_jobOpen) return kPlimoWrongState;
    if (m_pageOpen && m_continuousRoll) {
        if (int r = EndPage(0, true)) return r;
    }
    int result = 0;
    // A page left open ends here: rows its bands still hold go out before
    // the document's end, where the serial path would have sent them.
    if (m_pageOpen && m_halftoner) result = m_halftoner->FlushHeldRows();
    if (!m_resetting && m_mwcmd) {
        std::vector<uint32_t> reduced(m_dotCount.size());
        for (size_t i = 0; i < m_dotCount.size(); ++i) reduced[i] = SaturateU32(m_dotCount[i] / 10);
        const tagPRTSTRUCT3_12& pj = m_prtMode->Job();
        const double mm =
            pj.src_resolution.y > 0 ? static_cast<double>(m_jobLength) * 25.4 / pj.src_resolution.y : 0.0;
        const int sent = Guard(
            [&] {
                if (m_dotCounting) m_mwcmd->SetDotCount(reduced.data(), static_cast<int>(reduced.size() / 3));
                m_mwcmd->SetJobLength(mm);
                m_mwcmd->SendEndDocCmd();
            },
            kPlimoSendFailed);
        if (sent) return sent;
    }
    m_halftoner.reset();
    if (m_brs) m_brs->EndBRS();
    // A failing end of the head-control job is reported, but the job's
    // objects are released all the same.
    if (m_irac) {
        if (int r = m_irac->EndJob()) result = r;
    }
    if (m_conv) m_conv->End();
    FreeInstance();
    m_jobOpen = false;
    m_pageOpen = false;
    m_pages = 0;
    m_jobLength = 0;
    return result;
}

void CPlimo::FreeInstance() {
    m_halftoner.reset();
    m_irac.reset();
    m_buffer.reset();
    m_records.reset();
    m_encode.reset();
    m_mwcmd.reset();
    m_spooler.reset();
    m_links.reset();
    m_brs.reset();
    m_cdg.reset();
    m_isvTool.reset();
    m_hxr.reset();
    m_rasterCalib.clear();
    m_imsCalib.clear();
    m_prtMode.reset();
    m_hmmFile.clear();
    m_rscFile.clear();
    m_hasHmmFile = m_hasRscFile = false;
    m_dotCount.clear();
    m_pageDots.clear();
    m_dotCounting = false;
    FreeCache();
    m_conv.reset();
    m_hasMediaOpt = m_hasTrim = m_hasCut = false;
    m_brsEnabled = false;
    m_firstPageSent = false;
    m_continuousRoll = false;
    m_pageOpen = false;
    m_emptyPage = false;
}

int CPlimo::IsEnableInstanceCache(const tagPRTSTRUCT3_12* job) const {
    if (!m_jobOpen || !m_prtMode || !job) return 1;
    if (m_continuousRoll && m_pageOpen) return 1;
    const tagPRTSTRUCT3_12& o = m_callerJob;
    if (!SamePoint(o.src_paper_size, job->src_paper_size) ||
        !SamePoint(o.src_print_area, job->src_print_area) ||
        !SamePoint(o.src_print_area_ex, job->src_print_area_ex) ||
        !SamePoint(o.src_margin, job->src_margin) || o.paper_ID != job->paper_ID ||
        o.trim_left_margin != job->trim_left_margin || o.media_type != job->media_type ||
        o.num_copy != job->num_copy || o.ex_option != job->ex_option || o.bin_ID != job->bin_ID ||
        o.out_tray_ID != job->out_tray_ID || o.ex_option2 != job->ex_option2 ||
        o.src_format != job->src_format || !SamePoint(o.src_resolution, job->src_resolution) ||
        o.prt_format != job->prt_format || !SamePoint(o.prt_resolution, job->prt_resolution) ||
        o.bit_p_color != job->bit_p_color || o.mw_type != job->mw_type || o.lut_format != job->lut_format ||
        o.quality_type != job->quality_type)
        return 1;
    if (o.lpRemoteCmd || job->lpRemoteCmd || o.lpCutCmdData || job->lpCutCmdData) return 1;

    if (m_hasTrim != (job->lpTrimInfo != nullptr)) return 1;
    if (m_hasTrim && !SameTrim(m_trim, *job->lpTrimInfo)) return 1;

    const bool keptData = m_jobData && m_jobData->version != 0;
    const tagJOBDATA_6* nd = job->lpJobData;
    if (keptData != (nd != nullptr)) return 1;
    if (nd) {
        const CachedJobData& k = *m_jobData;
        const size_t inkCount = nd->lpInkSetData ? nd->NumInkSetData : 0;
        if (k.ink_set.size() != inkCount ||
            (inkCount && std::memcmp(k.ink_set.data(), nd->lpInkSetData, inkCount) != 0))
            return 1;
        std::string media;
        if (nd->lpszMediaInfo)
            media.assign(nd->lpszMediaInfo, BoundedNameLength(nd->lpszMediaInfo, nd->MediaInfoSize));
        if (k.media_info != media || k.disable_error_check != nd->DisablePrinterErrorCheck) return 1;
    }

    if (m_hasMediaOpt != (job->lpMediaOpt != nullptr)) return 1;
    if (m_hasMediaOpt && !SameMediaOpt(m_mediaOpt, *job->lpMediaOpt)) return 1;
    return 2;
}

int CPlimo::ResetJob(tagPRTSTRUCT3_12* job, tagOPTION* options, int sixteenBit) {
    if (!job || !options) return Fail(kPlimoConstructionFailed);
    if (sixteenBit == m_sixteenBit && IsEnableInstanceCache(job) == 2) {
        DebugExport(kExportResetKept, 0, nullptr);
        // The job goes on, but its output goes where the caller now asks.
        m_spoolFunc = options->lpfuncSpool;
        m_spoolParam = options->hParam;
        return 0;
    }
    DebugExport(kExportResetRebuilt, 0, nullptr);
    if (m_jobOpen) {
        m_resetting = true;
        DestroyJob();  // its outcome does not stop the rebuild
        m_resetting = false;
    }
    FreeInstance();
    m_jobOpen = false;
    m_pages = 0;
    m_jobLength = 0;
    m_sixteenBit = sixteenBit;
    m_rebuilt = true;
    return Fail(InitJob(job, options));
}

int CPlimo::GetInkAmount(uint32_t* out) {
    if (!out) return Fail(kPlimoConstructionFailed);
    if (!m_halftoner || !m_prtMode || !m_dotCounting) return Fail(kPlimoWrongState);
    const int planes = static_cast<int>(m_pageDots.size() / 3);
    std::fill(m_pageDots.begin(), m_pageDots.end(), 0);
    if (int r = m_halftoner->GetDotCount(m_pageDots.data(), planes)) return Fail(r);
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const __int128 s = info.dot_count_scale;
    for (int p = 0; p < planes; ++p) {
        __int128 sum = 0;
        for (int k = 0; k < 3; ++k)
            sum += static_cast<__int128>(m_pageDots[static_cast<size_t>(p) * 3 + k]) * info.ink_weights[p][k];
        __int128 v = sum * s * s / 100000;
        if (v < 0) v = 0;
        out[p] = v > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                          : static_cast<uint32_t>(v);
    }
    return 0;
}

void CPlimo::SetBorderInfo(const tagRECT* in, int32_t out[4], int32_t* flags) {
    out[0] = out[1] = out[2] = out[3] = -1;
    *flags = 0;
    if (!m_prtMode || !m_buffer || !in) return;
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const bool first = info.ex_option_flags[kExTrimBanner] != 0;
    const bool second = info.ex_option_flags[kExForceMode2] != 0;
    if ((in->left | in->top | in->right | in->bottom) == 0 || (!first && !second)) return;
    const tagPRTSTRUCT3_12& pj = m_prtMode->Job();

    const auto toI32 = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
    };
    if (second) {
        const int64_t margin = BorderMarginDots(pj.prt_resolution.y);
        out[1] = toI32(margin + m_buffer->GetVRatioValue(in->top));
        out[3] = toI32(margin + m_buffer->GetVRatioValue(in->bottom));
        *flags = 15;
    } else {
        *flags = 3;
    }
    const int64_t shift = (static_cast<int64_t>(pj.src_print_area_ex.x) - pj.src_print_area.x) / 2;
    const auto h = [&](uint32_t edge) {
        const int64_t v =
            std::clamp<int64_t>(static_cast<int64_t>(edge) + shift, 0, std::numeric_limits<uint32_t>::max());
        return toI32(m_buffer->GetHConversionValue(static_cast<uint32_t>(v), 0));
    };
    out[0] = h(in->left);
    out[2] = h(in->right);
}

// ---------------------------------------------------------------------------
// Pages and bands.

void CPlimo::ResolvePage(int* halftone, int* correction) const {
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const auto given16s = [](int16_t v) { return v != -1; };
    int h = given16s(info.halftone_type_override) ? info.halftone_type_override : m_ht.halftone_type;
    int c;
    if (given16s(info.color_correction_override)) {
        c = info.color_correction_override;
    } else {
        c = Given16(info.page_color_correction) ? info.page_color_correction : m_ht.color_correction;
        if (Given16(info.page_halftone_type)) h = info.page_halftone_type;
    }
    *halftone = h;
    *correction = c;
}

void CPlimo::SetCDG(int halftone, int correction) {
    if (!m_cdg) return;
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const int32_t values[] = {m_prtMode->Job().prt_format,
                              halftone,
                              correction,
                              info.key10000,
                              info.key11014,
                              static_cast<int32_t>(PackedHeadSelectors())};
    m_cdg->SetPrintModeInfo(m_level == CommandLevel::kLevel3 ? 2 : 1, values,
                            static_cast<int>(sizeof values / sizeof values[0]));
}

int CPlimo::SetBRS() {
    // The correction session runs only on raster calibration that the
    // generation session could produce from the tool's raster data; without
    // it there is nothing to correct with, and the page goes on without one.
    if (!m_brsEnabled || m_rasterCalib.empty() || !m_cdg) return 0;
    m_cdg->GenerateRasterCalibData(m_rasterCalib.data(), static_cast<int>(m_rasterCalib.size()));
    int32_t generated = 0;
    if (!m_cdg->GeneratedRasterCalib(&generated) || generated <= 0) return 0;
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const int32_t mode[5] = {IsContinuousRoll(info) ? 1 : 0, 0, 0, 0, static_cast<int32_t>(info.bin279_flag)};
    m_brs = m_parts->CreateBrsSession(m_calib, mode, static_cast<uint32_t>(std::max(PageLength(), 0)));
    if (!m_brs) return 0;
    const int r = m_brs->StartBRS();
    if (r == -5603) {
        m_brs.reset();
        return 0;
    }
    return r;
}

int CPlimo::SendStartDocCmd() {
    return Guard(
        [&] {
            m_mwcmd->SetLinkResource(m_links.get());
            m_mwcmd->SetResetting(m_rebuilt ? 1 : 0);
            m_mwcmd->SendStartDocCmd(m_rebuilt ? 1 : 0);
        },
        kPlimoSendFailed);
}

int CPlimo::InitPage(const tagHTSTRUCT3_5* halftone) {
    if (!halftone) return Fail(kPlimoConstructionFailed);
    if (!m_jobOpen || !m_prtMode) return Fail(kPlimoWrongState);

    // Resolve the page against the new record without yet replacing the one
    // a running roll page is using.
    const tagHTSTRUCT3_5 kept = m_ht;
    m_ht = *halftone;
    m_prtMode->RefreshInitPage(m_ht.color_correction);
    int h = 0, c = 0;
    ResolvePage(&h, &c);

    if (!m_firstPageSent) {
        SetCDG(h, c);
        if (m_level == CommandLevel::kLevel2) {
            if (int r = SetBRS()) {
                m_ht = kept;
                return Fail(r);
            }
            if (int r = CreateMWCmd()) {
                m_ht = kept;
                return r;
            }
        }
        if (int r = SendStartDocCmd()) {
            m_ht = kept;
            return Fail(r);
        }
        m_firstPageSent = true;
        m_continuousRoll = IsContinuousRoll(m_prtMode->Info());
    }

    if (m_pageOpen) {
        m_ht = kept;
        if (!m_continuousRoll) return Fail(kPlimoWrongState);
        ++m_pages;
        if (m_pages > 1) {
            const int32_t length = PageLength() + m_prtMode->Info().page_gap;
            if (m_halftoner) {
                if (int r = m_halftoner->ResetPageLength(length)) return Fail(r);
            }
            if (m_encode) {
                // The next page of the roll starts below the one before.
                m_encode->vBaseVPositionIncriment();
                m_encode->ResetPageHeight(static_cast<uint32_t>(std::max(length, 0)));
            }
        }
        m_lastError = 0;
        return 0;
    }

    m_ht.halftone_type = h;
    m_ht.color_correction = c;
    if (halftone->lpTNMX_params) {
        m_tnmx = *halftone->lpTNMX_params;
        m_ht.lpTNMX_params = &m_tnmx;
    }
    // A page is counted once its start is attempted, even if that start
    // fails; only a page refused because one is already open is not.
    ++m_pages;
    return StartNewPage();
}

void CPlimo::FillHalftoneInit() {
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const tagPRTSTRUCT3_12& pj = m_prtMode->Job();
    tagHTINITSTRUCT& t = m_htInit;
    t = tagHTINITSTRUCT{};
    t.src_format = pj.src_format == 54 ? 104 : pj.src_format;
    t.ink_set_id =
        (pj.prt_format == 101 || pj.prt_format == 102) ? static_cast<int16_t>(info.key11016) : pj.prt_format;
    t.src_width = info.ex_option_flags[kExUserSetting0On] ? pj.src_print_area_ex.x : pj.src_print_area.x;
    t.page_length = PageLength();
    t.media_number = info.key10000;
    t.mw_flag = info.mw_type_flags[0];
    t.sp_flag = info.mw_type_flags[1];
    t.flip_h = info.ex_option_flags[kExFlipH];
    t.flip_v = info.ex_option_flags[kExFlipV];
    t.sub_type = info.key11014;
    t.out_bits = static_cast<int16_t>(info.key11015);
    t.color_type = info.key12000;
    t.attr_type = info.key12001;
    t.attr_flags = info.key12002_3;
    t.band_buffer = m_buffer.get();
    t.ht_struct = &m_ht;
    t.hxr_dll = m_hxr ? m_hxr->Native() : nullptr;
    t.out_module = (m_level == CommandLevel::kLevel2 && m_irac) ? m_irac->OutModule() : nullptr;
    t.composite_black = info.ex_option_flags[kExColorSettingOverride];

    int32_t duties[CMediaOpt::kPlanes];
    std::fill(std::begin(t.duty_multi), std::end(t.duty_multi), kDutyFull);
    const int planes = std::clamp(info.num_planes, 0, CMediaOpt::kPlanes);
    t.duty_multi_on = m_prtMode->MediaOpt().Get_duty_multi(planes, duties) ? 1 : 0;
    for (int i = 0; i < std::min(planes, 12); ++i) t.duty_multi[i] = duties[i];

    const tagRECT borderIn{static_cast<uint32_t>(info.length_12006), static_cast<uint32_t>(info.length_12004),
                           static_cast<uint32_t>(info.length_12007),
                           static_cast<uint32_t>(info.length_12005)};
    t.cl_off = ((pj.mw_type & OVCG_MW_CL) && (t.attr_flags & 0x2)) ? 0u : 1u;
    t.cl_mode = t.cl_off ? 0 : (pj.mw_type & OVCG_MW_CLAT) ? 1 : (pj.mw_type & OVCG_MW_CLFL) ? 2 : 0;
    int32_t border[4];
    SetBorderInfo(&borderIn, border, &t.border_flags);
    t.border_rect = tagRECT{static_cast<uint32_t>(border[0]), static_cast<uint32_t>(border[1]),
                            static_cast<uint32_t>(border[2]), static_cast<uint32_t>(border[3])};
    t.empty_page = (t.cl_mode == 2 || (m_ht.lpTNMX_params && m_ht.lpTNMX_params->highlight_point != 0 &&
                                       !info.mw_type_flags[kMwTnmxHpat]))
                       ? 1u
                       : 0u;

    t.rsc_file = NameOrNull(m_rscFile, m_hasRscFile);
    t.layout_offset = m_hasTrim ? m_trim.layout_offset : tagPOINT{0, 0};
    t.brs = m_brs ? m_brs->Native() : nullptr;
    t.rsc_instance = nullptr;
    t.key11029 = info.key11029;
    t.ht_sub_type = info.key11030;
    t.band_lines = m_buffer->VConversion() == -1 ? 4u : 2u;
    t.band_rows = 2;
    t.spooler = m_spooler.get();
    t.level3_records = m_records.get();
    t.encode_buffer = m_encode.get();
    t.src_resolution = pj.src_resolution;
    t.prt_resolution = pj.prt_resolution;
    t.bina_flag = (t.composite_black == 1 || pj.prt_format == 0) ? info.ex_option2_flags[kEx2Bina] : 0u;
    t.defer_skip = info.ex_option_flags[kExRollMedia] ? 0u : info.ex_option_flags[kExCutAfterJob];
    t.upper_skip = info.border_flag ? 1u : 0u;
    t.mw_cmd = m_mwcmd ? m_mwcmd->Native() : nullptr;
    t.reduce_step = info.dot_count_scale;
    t.sixteen_bit = m_sixteenBit ? 1u : 0u;
    t.cid_data = (m_isvTool && m_isvTool->OpenCidFile()) ? m_isvTool->CidData() : nullptr;
    t.unit_number = PackedHeadSelectors();
    t.dot_counting = m_dotCounting ? 1u : 0u;
}

int CPlimo::StartNewPage() {
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();

    if (m_level == CommandLevel::kPageLanguage) {
        if (int r = Guard(
                [&] {
                    m_mwcmd->SetColorOption(m_ht.brightness, m_ht.contrast, m_ht.saturation, m_ht.r_strength,
                                            m_ht.g_strength, m_ht.b_strength, m_ht.gamma);
                },
                kPlimoSendFailed))
            return Fail(r);
    }
    if (m_mwcmd) {
        const int count = (m_ht.page_option & OVCG_PAGEOPT_REMAINING_PAGES)
                              ? m_ht.remaining_pages
                              : static_cast<int>(m_ht.page_option & OVCG_PAGEOPT_NEXTPAGE);
        if (int r = Guard([&] { m_mwcmd->SendStartPageCmd(count); }, kPlimoSendFailed)) return Fail(r);
    }
    std::fill(m_pageDots.begin(), m_pageDots.end(), 0);

    FillHalftoneInit();
    m_emptyPage = m_htInit.empty_page != 0;

    if (m_cdg) {
        m_cdg->SetHalftoneInfo(m_ht.halftone_type, m_ht.color_correction);
        if (m_level == CommandLevel::kLevel2) {
            if (!m_imsCalib.empty() && m_irac) {
                int32_t heads[8] = {1, 1, 1, 1, 1, 1, 1, 1};
                int count = 0;
                const uint8_t* list = nullptr;
                if (m_irac->GetUseHead(&count, &list) != 0 || count < 0) {
                    count = 2;
                } else {
                    for (int i = 0; i < std::min(count, 8) && list; ++i)
                        heads[i] = static_cast<int8_t>(list[i]);
                }
                m_cdg->GenerateIMSCalib(m_imsCalib.data(), static_cast<int>(m_imsCalib.size()),
                                        static_cast<unsigned>(std::min(count, 8)), heads);
                m_htInit.ims_calib = m_cdg->ImsCalib();
            }
        } else if (m_level == CommandLevel::kLevel3) {
            if (info.remote_flags3 & kFlag3RasterCalibSlut) m_cdg->GenerateRasterCalibSlut();
            m_cdg->GenerateIMSCalibSlut();
            m_htInit.raster_slut = m_cdg->RasterSlut(&m_htInit.raster_slut_size);
            m_htInit.ims_slut = m_cdg->ImsSlut(&m_htInit.ims_slut_size);
        }
    }

    if (m_htInit.composite_black == 1 && (m_ht.color_correction == 10 || m_ht.color_correction == 11))
        return Fail(kPlimoNoGenerator);
    if (!Given16(info.head_id_bytes[0])) return kPlimoHeadSelection;
    // Two source rows to one printed row take four lines a call, which the
    // halftone engine cannot halftone (it takes one or two), wherever bands
    // reach it. Refused like the page's other refusals, once the document
    // and page starts are out, so that the document end has its start.
    if (m_buffer->VConversion() == -1 && (m_level != CommandLevel::kLevel3 || m_dotCounting))
        return Fail(kPlimoBandRefused);

    const bool level3 = m_level == CommandLevel::kLevel3;
    if (m_halftoner && m_halftoner->ResetPage(&m_htInit) == 0) m_halftoner.reset();
    if (!m_halftoner) {
        uint16_t overprint = 0;
        if (level3) m_prtMode->MediaOpt().Get_num_overprint(&overprint);
        try {
            m_halftoner = m_parts->CreateHalftoner(level3, &m_htInit, m_ht.doRotation, overprint);
        } catch (int code) {
            return Fail(code);
        } catch (...) {
            // A message: the level-3 object's missing halftone or refused
            // encoder set-up, or its records failing to go out.
            return Fail(kPlimoConstructionFailed);
        }
        if (!m_halftoner) return Fail(kPlimoConstructionFailed);
    }

    if (m_level == CommandLevel::kLevel2 && m_irac) {
        if (int r = m_irac->StartPage(m_halftoner.get())) return Fail(r);
    }
    if (m_brs) {
        if (int r = m_brs->StartPageBRS()) return Fail(r);
    }
    if (int r = m_halftoner->StartPage()) return Fail(r);
    m_pageOpen = true;
    m_lastError = 0;
    return 0;
}

int CPlimo::BandOut(const tagRECT* clip, tagBANDBMP* in, tagBANDBMP* second, const tagRECT* band,
                    tagOSDEP3* descriptor) {
    if (!clip || !band || !in) return Fail(kPlimoConstructionFailed);
    if ((clip->right == 0 && clip->bottom == 0) || clip->right == clip->left) return 0;
    if (!m_pageOpen || !m_halftoner) return Fail(kPlimoWrongState);
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();

    if (m_continuousRoll && m_emptyPage) {
        if (int r = m_halftoner->EmptyPageEndFlush(0)) return Fail(r);
    }

    tagRECT where = *band;
    const int32_t offset = (m_continuousRoll && m_pages > 1) ? info.page_gap : info.page_length_extra;
    if (offset > 0) {
        const uint64_t top = static_cast<uint64_t>(where.top) + static_cast<uint32_t>(offset);
        const uint64_t bottom = static_cast<uint64_t>(where.bottom) + static_cast<uint32_t>(offset);
        if (bottom > std::numeric_limits<uint32_t>::max()) return Fail(kPlimoConversionFailed);
        where.top = static_cast<uint32_t>(top);
        where.bottom = static_cast<uint32_t>(bottom);
    }

    // A band without lines or pixels is refused for every source format, as
    // the pixel expander refuses it for RGB.
    if (band->bottom <= band->top || band->right <= band->left) return Fail(kPlimoConversionFailed);
    tagBANDBMP out{};
    if (m_conv->Convert(band->bottom - band->top, band->right - band->left, in, &out) != 1)
        return Fail(kPlimoConversionFailed);

    // A mirrored band takes its clip along.
    tagRECT window = *clip;
    if (info.ex_option_flags[kExFlipH]) {
        if (int r = m_halftoner->GetFlipHBand(&out, second, &where, &window)) return Fail(r);
    }

    if (int r = m_halftoner->BandOut(&window, &out, second, &where, descriptor)) return Fail(r);
    return 0;
}

int CPlimo::TerminatePage() { return EndPage(0, false); }

int CPlimo::TerminatePageEx(const tagTPINFOSTRUCT* info) {
    if (!info) return Fail(kPlimoConstructionFailed);
    m_tpVersion = info->version;
    // The abort flag belongs to this page end only.
    return EndPage(info->bAbort, false);
}

int CPlimo::EndEmptyPage() {
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const bool whole = info.ex_option_flags[kExCutAfterJob] != 0;
    if (info.ex_option_flags[kExRollMedia]) {
        if (m_level == CommandLevel::kLevel3) return 0;
        return m_halftoner->EmptyPageEndFlush(whole ? 0 : 1);
    }
    if (int r = m_halftoner->EmptyPageEndOut(whole ? 1 : 0)) return r;
    return m_halftoner->EmptyPageEndFlush(0);
}

void CPlimo::AccumulateLength() {
    const tagPRTSTRUCT3_12& pj = m_prtMode->Job();
    const tagPRTINFOSTRUCT& info = m_prtMode->Info();
    const int64_t paper = pj.src_paper_size.y;
    if (paper <= 0) return;
    if (!m_continuousRoll) {
        if (m_level == CommandLevel::kLevel3 && m_encode && info.ex_option_flags[kExRollMedia])
            m_jobLength += m_encode->ulGetLastWritePos();
        else
            m_jobLength += static_cast<uint64_t>(paper);
        return;
    }
    uint64_t pos = 0;
    if (m_level == CommandLevel::kLevel3 && m_encode) {
        pos = static_cast<uint64_t>(m_encode->ulGetBaseVPosition()) + 2 * static_cast<uint64_t>(paper);
    } else if (m_irac && pj.prt_resolution.y > 0 && pj.src_resolution.y > 0) {
        pos = static_cast<uint64_t>(m_irac->NextRaster()) * static_cast<uint64_t>(pj.src_resolution.y) /
              static_cast<uint64_t>(pj.prt_resolution.y);
    }
    const uint64_t p = static_cast<uint64_t>(paper);
    m_jobLength += (pos + p - 1) / p * p;
}

int CPlimo::EndPage(int32_t abort, bool final) {
    if (!m_pageOpen || !m_halftoner) return Fail(kPlimoWrongState);

    if (m_continuousRoll && !final) {
        if (!abort) {
            if (int r = m_halftoner->EmptyPageEndOut(1)) return Fail(r);
        }
        // Lines that cannot be sent fail the page.
        if (m_encode) {
            if (int r = Guard([&] { m_encode->bFlushENCODEBuff() ? void() : ThrowMessage(kSpoolerException); },
                              kPlimoSendFailed))
                return Fail(r);
        }
        m_lastError = 0;
        return 0;
    }

    if (m_emptyPage && !abort) {
        if (int r = EndEmptyPage()) return Fail(r);
    }
    if (int r = m_halftoner->EndPage()) return Fail(r);
    if (m_dotCounting) {
        const int planes = static_cast<int>(m_pageDots.size() / 3);
        std::fill(m_pageDots.begin(), m_pageDots.end(), 0);
        if (int r = m_halftoner->GetDotCount(m_pageDots.data(), planes)) return Fail(r);
        for (size_t i = 0; i < m_pageDots.size(); ++i) m_dotCount[i] += m_pageDots[i];
    }

    uint32_t feedStart = 0, feed = 0, extra = 0;
    if (m_level == CommandLevel::kLevel2 && m_irac) {
        if (int r = m_irac->EndPage(abort)) return Fail(r);
        feedStart = m_irac->FirstRaster();
        feed = m_irac->NextRaster();
        extra = m_prtMode->Info().ex_option_flags[kExCutAfterJob] ? 0u : m_irac->SkippedRasters();
    }
    AccumulateLength();

    if (m_mwcmd) {
        if (int r = Guard(
                [&] {
                    m_mwcmd->SetPageValues(m_pages, feedStart, feed, extra, m_emptyPage ? 1u : 0u);
                    m_mwcmd->SetAbort(abort ? 1u : 0u);
                    m_mwcmd->SendEndPageCmd();
                },
                kPlimoSendFailed)) {
            m_pageOpen = false;
            return Fail(r);
        }
    }
    m_pageOpen = false;
    m_lastError = 0;
    return 0;
}

}  // namespace ovcg
