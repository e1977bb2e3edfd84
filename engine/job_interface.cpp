// The exported job interface: every call checks its handle, logs through
// the job's debug log, upgrades the caller's records into the current
// layout, calls the engine object and turns every exception into a code.
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>

#include "engine/calib_request.h"
#include "engine/debug_export.h"
#include "engine/isv_log.h"
#include "engine/media_opt.h"
#include "engine/plimo.h"
#include "engine/records.h"
#include "ovcg/ovcg_jobif.h"
#include "ovcg/ovs_resource.h"

using ovcg::CPlimo;

namespace {

constexpr int32_t kIllegalHandle = -5;
constexpr int32_t kException = -10;

// Handles handed out and not yet destroyed: a handle that was never issued,
// or has been destroyed, is refused instead of being dereferenced.
std::mutex g_handleMutex;
std::set<const void*> g_handles;

void Register(CPlimo* p) {
    std::lock_guard<std::mutex> lock(g_handleMutex);
    g_handles.insert(p);
}
void Unregister(CPlimo* p) {
    std::lock_guard<std::mutex> lock(g_handleMutex);
    g_handles.erase(p);
}
CPlimo* Lookup(HPLIMO3 h) {
    std::lock_guard<std::mutex> lock(g_handleMutex);
    return g_handles.count(h) ? reinterpret_cast<CPlimo*>(h) : nullptr;
}

// Label of a call: "UNAXAPI2::" + name + "()".
struct Label {
    char text[64];
    explicit Label(const char* name) { std::snprintf(text, sizeof text, "UNAXAPI2::%s()", name); }
};

// The common frame of the calls that take a handle: checks it, runs the
// call, logs its outcome, and turns an exception into -10.
template <typename F>
int32_t Frame(HPLIMO3 handle, const char* name, const char* failed, F&& body) {
    const Label label(name);
    if (!handle) {
        CISVLog::_STATIC_MESSAGE_X(label.text, "Illegal HPLIMO3 handle   ErrorCode=%d\n\n", kIllegalHandle);
        return kIllegalHandle;
    }
    CPlimo* plimo = Lookup(handle);
    CISVLog* log = plimo ? plimo->GetCISVLog() : nullptr;
    if (!log) {
        CISVLog::_STATIC_MESSAGE_X(label.text, "Illegal Plimo3 handle (CISVLog)   ErrorCode=%d\n\n",
                                   kIllegalHandle);
        return kIllegalHandle;
    }
    try {
        log->_MESSAGE_X(label.text, "Start\n\n");
        const int32_t r = body(*plimo, *log, label.text);
        if (r != 0)
            log->_MESSAGE_X(label.text, "failed to CPlimo::%s()   ErrorCode=%d\n\n", failed, r);
        else
            log->_MESSAGE_X(label.text, "End   ErrorCode=%d\n\n", 0);
        return r;
    } catch (...) {
        return kException;
    }
}

void LogJobRecord(CISVLog& log, const tagPRTSTRUCT3_12& j) {
    log._MESSAGE_X("UNAXAPI2::PRTSTRUCT3",
                   "version=%u src_format=%d prt_format=%d\n"
                   "src_resolution=%d,%d prt_resolution=%d,%d\n"
                   "src_paper_size=%d,%d src_print_area=%d,%d src_print_area_ex=%d,%d src_margin=%d,%d\n"
                   "media_type=%d bit_p_color=%d num_copy=%d mw_type=0x%08X ex_option=0x%08X\n"
                   "printer_ID=%d bin_ID=%d paper_ID=%d head_ID=%d lut_format=%d trim_left_margin=%d\n"
                   "out_tray_ID=%d ex_option2=0x%08X quality_type=%d\n\n",
                   j.version, j.src_format, j.prt_format, j.src_resolution.x, j.src_resolution.y,
                   j.prt_resolution.x, j.prt_resolution.y, j.src_paper_size.x, j.src_paper_size.y,
                   j.src_print_area.x, j.src_print_area.y, j.src_print_area_ex.x, j.src_print_area_ex.y,
                   j.src_margin.x, j.src_margin.y, j.media_type, j.bit_p_color, j.num_copy, j.mw_type,
                   j.ex_option, j.printer_ID, j.bin_ID, j.paper_ID, j.head_ID, j.lut_format,
                   j.trim_left_margin, j.out_tray_ID, j.ex_option2, j.quality_type);
}

void LogOptions(CISVLog& log, const tagOPTION& o) {
    log._MESSAGE_X("UNAXAPI2::PLIMOOPT", "[PLIMOOPT]\nlpszHT_File=%s\nlpszMW_File=%s\nNumRsc=%d\n",
                   o.lpszHT_File ? o.lpszHT_File : "(null)", o.lpszMW_File ? o.lpszMW_File : "(null)",
                   o.NumRsc);
    for (int i = 0; o.lppszRsc_File && i < o.NumRsc && i < 16; ++i)
        log._MESSAGE_X("UNAXAPI2::PLIMOOPT", "lppszRsc_File[%d]=%s\n\n", i,
                       o.lppszRsc_File[i] ? o.lppszRsc_File[i] : "(null)");
}

// Upgrades the media options and job data of a job record into `mo` and
// `jd` and points the record at them. 0, or -1 with its message logged.
int32_t UpgradeSubRecords(CISVLog& log, const char* label, tagPRTSTRUCT3_12* job, tagMEDIAOPT_8* mo,
                          tagJOBDATA_6* jd) {
    if (job->lpMediaOpt) {
        if (ovcg::UpgradeMediaOpt(job->lpMediaOpt, mo) != 0) {
            log._MESSAGE_X(label, "illegal structure version (MEDIAOPT)   ErrorCode=%d\n\n", -1);
            return -1;
        }
        job->lpMediaOpt = mo;
    }
    if (job->lpJobData) {
        if (ovcg::UpgradeJobData(job->lpJobData, jd) != 0) {
            log._MESSAGE_X(label, "illegal structure version (JOBDATA)   ErrorCode=%d\n\n", -1);
            return -1;
        }
        job->lpJobData = jd;
    }
    if (const tagTRIMINFO* t = job->lpTrimInfo)
        log._MESSAGE_X("UNAXAPI2::TRIMINFO",
                       "version=%u t4base=%d,%d t4base_ex=%d,%d layout_offset=%d,%d\n\n", t->version,
                       t->src_t4base_parea.x, t->src_t4base_parea.y, t->src_t4base_parea_ex.x,
                       t->src_t4base_parea_ex.y, t->layout_offset.x, t->layout_offset.y);
    return 0;
}

}  // namespace

OVCG_API int32_t InitJob(HPLIMO3* handle, tagPRTSTRUCT3_12* job, tagOPTION* options) {
    const Label label("InitJob");
    if (!handle) {
        CISVLog::_STATIC_MESSAGE_X(label.text, "Illegal HPLIMO3 handle   ErrorCode=%d\n\n", kIllegalHandle);
        return kIllegalHandle;
    }
    *handle = nullptr;
    std::unique_ptr<CISVLog> log;
    std::unique_ptr<CPlimo> plimo;
    try {
        log = std::make_unique<CISVLog>();
        log->_MESSAGE_X(label.text, "Start\n\n");

        tagPRTSTRUCT3_12 local;
        if (ovcg::UpgradeJobRecord(job, &local) != 0) {
            log->_MESSAGE_X(label.text, "illegal structure version (PRTSTRUCT3)   ErrorCode=%d\n\n", -1);
            return -1;
        }
        if (local.lpCheckFunc) ovcg::SetDebugExportHook(local.lpCheckFunc);
        LogJobRecord(*log, local);
        if (!options) {
            log->_MESSAGE_X(label.text, "no options   ErrorCode=%d\n\n", kException);
            return kException;
        }
        LogOptions(*log, *options);
        if (const tagCUTCMD* c = local.lpCutCmdData)
            log->_MESSAGE_X("UNAXAPI2::CUTCMD", "version=%u cut_option=%u top=%d bottom=%d\n\n", c->version,
                            c->cut_option, c->top, c->bottom);

        tagMEDIAOPT_8 media;
        tagJOBDATA_6 data;
        if (UpgradeSubRecords(*log, label.text, &local, &media, &data) != 0) return -1;

        if (options->lppszRsc_File && options->NumRsc > 0 && options->lppszRsc_File[0])
            ovs_resLoadFile(options->lppszRsc_File[0]);

        const ovcg::SourceFormat split = ovcg::SplitSourceFormat(local.src_format);
        local.src_format = split.format;
        plimo = std::make_unique<CPlimo>(split.sixteen_bit ? 1 : 0);
        plimo->SetCISVLog(log.get());
        const int32_t r = plimo->InitJob(&local, options);
        if (r != 0) {
            log->_MESSAGE_X(label.text, "failed to CPlimo::InitJob()   ErrorCode=%d\n\n", r);
            plimo->SetCISVLog(nullptr);
            return r;
        }
        log->_MESSAGE_X(label.text, "End   ErrorCode=%d\n\n", 0);
    } catch (...) {
        if (plimo) plimo->SetCISVLog(nullptr);
        return kException;
    }
    log.release();
    CPlimo* p = plimo.release();
    Register(p);
    *handle = reinterpret_cast<HPLIMO3>(p);
    return 0;
}

OVCG_API int32_t ResetJob(HPLIMO3* handle, tagPRTSTRUCT3_12* job, tagOPTION* options) {
    if (!handle) {
        CISVLog::_STATIC_MESSAGE_X("UNAXAPI2::ResetJob()", "Illegal HPLIMO3 handle   ErrorCode=%d\n\n",
                                   kIllegalHandle);
        return kIllegalHandle;
    }
    return Frame(*handle, "ResetJob", "ResetJob", [&](CPlimo& p, CISVLog& log, const char* label) -> int32_t {
        tagPRTSTRUCT3_12 local;
        if (ovcg::UpgradeJobRecord(job, &local) != 0) {
            log._MESSAGE_X(label, "illegal structure version (PRTSTRUCT3)   ErrorCode=%d\n\n", -1);
            return -1;
        }
        if (!options) return kException;
        LogJobRecord(log, local);
        LogOptions(log, *options);
        tagMEDIAOPT_8 media;
        tagJOBDATA_6 data;
        if (UpgradeSubRecords(log, label, &local, &media, &data) != 0) return -1;
        const ovcg::SourceFormat split = ovcg::SplitSourceFormat(local.src_format);
        local.src_format = split.format;
        return p.ResetJob(&local, options, split.sixteen_bit ? 1 : 0);
    });
}

OVCG_API int32_t InitPage(HPLIMO3 handle, tagHTSTRUCT3_5* halftone) {
    return Frame(handle, "InitPage", "InitPage", [&](CPlimo& p, CISVLog& log, const char* label) -> int32_t {
        tagHTSTRUCT3_5 local;
        if (ovcg::UpgradeHalftoneRecord(halftone, &local) != 0) {
            log._MESSAGE_X(label, "illegal structure version (HTSTRUCT3)   ErrorCode=%d\n\n", -1);
            return -1;
        }
        log._MESSAGE_X("UNAXAPI2::HTSTRUCT3",
                       "version=%u color_correction=%d doRotation=%d halftone_type=%d brightness=%d "
                       "contrast=%d saturation=%d r=%d g=%d b=%d gamma=%d OsCMM=%d page_option=0x%X "
                       "remaining_pages=%d\n\n",
                       local.version, local.color_correction, local.doRotation, local.halftone_type,
                       local.brightness, local.contrast, local.saturation, local.r_strength, local.g_strength,
                       local.b_strength, local.gamma, local.OsCMM, local.page_option, local.remaining_pages);
        if (const TNMX_PARAMS* t = local.lpTNMX_params)
            log._MESSAGE_X("UNAXAPI2::TNMX_PARAMS",
                           "version=%d circle=%d,%d mono_gamma=%d mono_brightness=%d mono_contrast=%d "
                           "shadow=%d highlight=%d max_od=%d highlight_point=%d\n\n",
                           t->version, t->circle_x, t->circle_y, t->mono_gamma, t->mono_brightness,
                           t->mono_contrast, t->shadow_tonality, t->highlight_tonality, t->max_od,
                           t->highlight_point);
        return p.InitPage(&local);
    });
}

OVCG_API int32_t BandOut(HPLIMO3 handle, const tagRECT* clip, tagBANDBMP* bitmap, tagBANDBMP* second,
                         const tagRECT* band, tagOSDEP3* descriptor) {
    return Frame(handle, "BandOut", "BandOut", [&](CPlimo& p, CISVLog& log, const char* label) -> int32_t {
        if (!clip || !band || !bitmap) {
            log._MESSAGE_X(label, "missing band argument   ErrorCode=%d\n\n", kException);
            return kException;
        }
        log._MESSAGE_X(label, "clip=%u,%u,%u,%u band=%u,%u,%u,%u WidthBytes=%u second=%d descriptor=%d\n\n",
                       clip->left, clip->top, clip->right, clip->bottom, band->left, band->top, band->right,
                       band->bottom, bitmap->WidthBytes, second ? 1 : 0, descriptor ? 1 : 0);
        const ovcg::ClampedClip clamped = ovcg::ClampClipToBand(*clip, *band);
        if (clamped.changed) log._MESSAGE_X(label, "Warning: Optimized Parameters\n");
        return p.BandOut(&clamped.clip, bitmap, second, band, descriptor);
    });
}

OVCG_API int32_t TerminatePage(HPLIMO3 handle) {
    return Frame(handle, "TerminatePage", "TerminatePage",
                 [&](CPlimo& p, CISVLog&, const char*) -> int32_t { return p.TerminatePage(); });
}

OVCG_API int32_t TerminatePageEx(HPLIMO3 handle, tagTPINFOSTRUCT* page_end) {
    return Frame(handle, "TerminatePageEx", "TerminatePageEx",
                 [&](CPlimo& p, CISVLog& log, const char* label) -> int32_t {
                     if (!page_end) return kException;
                     log._MESSAGE_X(label, "[TPINFOSTRUCT] version=%u bAbort=%d\n\n", page_end->version,
                                    page_end->bAbort);
                     return p.TerminatePageEx(page_end);
                 });
}

OVCG_API int32_t DestroyJob(HPLIMO3 handle) {
    CPlimo* destroyed = nullptr;
    const int32_t r =
        Frame(handle, "DestroyJob", "DestroyJob", [&](CPlimo& p, CISVLog&, const char*) -> int32_t {
            destroyed = &p;
            return p.DestroyJob();
        });
    if (!destroyed) {
        // The handle was refused, or the call failed before the engine ran:
        // a known handle is released all the same.
        destroyed = Lookup(handle);
        if (!destroyed) return r;
    }
    Unregister(destroyed);
    CISVLog* log = destroyed->GetCISVLog();
    destroyed->SetCISVLog(nullptr);
    delete destroyed;
    delete log;
    return r;
}

OVCG_API int32_t GetInkAmount(HPLIMO3 handle, uint32_t* amounts) {
    return Frame(handle, "GetInkAmount", "GetInkAmount", [&](CPlimo& p, CISVLog&, const char*) -> int32_t {
        if (!amounts) return kException;
        return p.GetInkAmount(amounts);
    });
}

OVCG_API int32_t GetCalibData(tag_CalibDataReq_1* request) {
    const char* const label = "UNAXAPI2::GetCalibData()";
    try {
        CISVLog log;
        if (!request || !request->lpszPrinterName || !request->lpszDirPath ||
            !std::memchr(request->lpszPrinterName, 0, ovcg::kPlimoMaxName + 1) ||
            !std::memchr(request->lpszDirPath, 0, ovcg::kPlimoMaxName + 1)) {
            log._MESSAGE_X(label, "illegal request   ErrorCode=%d\n\n", ovcg::kCalibFailed);
            return ovcg::kCalibFailed;
        }
        ovcg::SetKeptCalibTarget(request->lpszPrinterName, request->lpszDirPath);
        const bool network = request->PortKind == 1;
        const char* program = network ? "isvtool_lan" : "isvtool_usb";
        int status = -1;
        const int32_t r = ovcg::RunCalibProgram(request->lpszToolDir, program, request->lpszPrinterName,
                                                request->lpszDirPath, &status);
        if (status == 1) {
            if (network)
                log._MESSAGE_X(label, "Error1 CID   ErrorCode=%d\n\n", 1);
            else
                log._MESSAGE_X(label, "Error4 CID  ErrorCode=%d\n\n", 1);
            return r;
        }
        log._MESSAGE_X(label, "End   Error_Flag=%d", r);
        return r;
    } catch (...) {
        return ovcg::kCalibFailed;
    }
}

OVCG_API void _DEBUG_SET_FUNCTION(OVCG_DEBUG_EXPORT_FUNC func) { ovcg::SetDebugExportHook(func); }

OVCG_API int32_t _DEBUG_EXPORT(int32_t id, int32_t size, void* data) {
    return ovcg::DebugExport(id, size, data);
}
