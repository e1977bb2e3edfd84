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

int32_t RefuseHandle(const char* label) {
    CISVLog::_STATIC_MESSAGE_X(label, "Illegal HPLIMO3 handle   ErrorCode=%d\n\n", kIllegalHandle);
    return kIllegalHandle;
}

int32_t RefuseVersion(CISVLog& log, const char* label, const char* record) {
    log._MESSAGE_X(label, "illegal structure version (%s)   ErrorCode=%d\n\n", record, -1);
    return -1;
}

// The common frame of the calls that take a handle: checks it, runs the
// call, logs its outcome, and turns an exception into -10.
template <typename F>
int32_t Frame(HPLIMO3 handle, const char* name, F&& body) {
    const Label label(name);
    if (!handle) return RefuseHandle(label.text);
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
            log->_MESSAGE_X(label.text, "failed to CPlimo::%s()   ErrorCode=%d\n\n", name, r);
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

// The job arguments of InitJob and ResetJob in the engine's layout.
struct JobArgs {
    tagPRTSTRUCT3_12 job;
    tagMEDIAOPT_8 media;
    tagJOBDATA_6 data;
    bool sixteen_bit;
};

// Upgrades the caller's job record and the media options and job data it
// points at into `a` (the record then points at a's copies), logs them and
// splits the source format. A job's first call also takes the record's
// debug-export callback. 0, -1 (a refused version) or -10 (no options).
int32_t PrepareJob(CISVLog& log, const char* label, const tagPRTSTRUCT3_12* caller, const tagOPTION* options,
                   bool first, JobArgs* a) {
    tagPRTSTRUCT3_12& job = a->job;
    if (ovcg::UpgradeJobRecord(caller, &job) != 0) return RefuseVersion(log, label, "PRTSTRUCT3");
    if (first && job.lpCheckFunc) ovcg::SetDebugExportHook(job.lpCheckFunc);
    LogJobRecord(log, job);
    if (!options) {
        log._MESSAGE_X(label, "no options   ErrorCode=%d\n\n", kException);
        return kException;
    }
    LogOptions(log, *options);
    if (const tagCUTCMD* c = job.lpCutCmdData)
        log._MESSAGE_X("UNAXAPI2::CUTCMD", "version=%u cut_option=%u top=%d bottom=%d\n\n", c->version,
                       c->cut_option, c->top, c->bottom);
    if (job.lpMediaOpt) {
        if (ovcg::UpgradeMediaOpt(job.lpMediaOpt, &a->media) != 0) return RefuseVersion(log, label, "MEDIAOPT");
        job.lpMediaOpt = &a->media;
    }
    if (job.lpJobData) {
        if (ovcg::UpgradeJobData(job.lpJobData, &a->data) != 0) return RefuseVersion(log, label, "JOBDATA");
        job.lpJobData = &a->data;
    }
    if (const tagTRIMINFO* t = job.lpTrimInfo)
        log._MESSAGE_X("UNAXAPI2::TRIMINFO",
                       "version=%u t4base=%d,%d t4base_ex=%d,%d layout_offset=%d,%d\n\n", t->version,
                       t->src_t4base_parea.x, t->src_t4base_parea.y, t->src_t4base_parea_ex.x,
                       t->src_t4base_parea_ex.y, t->layout_offset.x, t->layout_offset.y);
    const ovcg::SourceFormat split = ovcg::SplitSourceFormat(job.src_format);
    job.src_format = split.format;
    a->sixteen_bit = split.sixteen_bit;
    return 0;
}

}  // namespace

OVCG_API int32_t InitJob(HPLIMO3* handle, tagPRTSTRUCT3_12* job, tagOPTION* options) {
    const Label label("InitJob");
    if (!handle) return RefuseHandle(label.text);
    *handle = nullptr;
    std::unique_ptr<CISVLog> log;
    std::unique_ptr<CPlimo> plimo;
    try {
        log = std::make_unique<CISVLog>();
        log->_MESSAGE_X(label.text, "Start\n\n");

        JobArgs args;
        if (const int32_t r = PrepareJob(*log, label.text, job, options, true, &args)) return r;

        if (options->lppszRsc_File && options->NumRsc > 0 && options->lppszRsc_File[0])
            ovs_resLoadFile(options->lppszRsc_File[0]);

        plimo = std::make_unique<CPlimo>(args.sixteen_bit ? 1 : 0);
        plimo->SetCISVLog(log.get());
        const int32_t r = plimo->InitJob(&args.job, options);
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
    if (!handle) return RefuseHandle("UNAXAPI2::ResetJob()");
    return Frame(*handle, "ResetJob", [&](CPlimo& p, CISVLog& log, const char* label) -> int32_t {
        JobArgs args;
        if (const int32_t r = PrepareJob(log, label, job, options, false, &args)) return r;
        return p.ResetJob(&args.job, options, args.sixteen_bit ? 1 : 0);
    });
}

OVCG_API int32_t InitPage(HPLIMO3 handle, tagHTSTRUCT3_5* halftone) {
    return Frame(handle, "InitPage", [&](CPlimo& p, CISVLog& log, const char* label) -> int32_t {
        tagHTSTRUCT3_5 local;
        if (ovcg::UpgradeHalftoneRecord(halftone, &local) != 0) return RefuseVersion(log, label, "HTSTRUCT3");
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
    return Frame(handle, "BandOut", [&](CPlimo& p, CISVLog& log, const char* label) -> int32_t {
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
    return Frame(handle, "TerminatePage",
                 [&](CPlimo& p, CISVLog&, const char*) -> int32_t { return p.TerminatePage(); });
}

OVCG_API int32_t TerminatePageEx(HPLIMO3 handle, tagTPINFOSTRUCT* page_end) {
    return Frame(handle, "TerminatePageEx",
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
        Frame(handle, "DestroyJob", [&](CPlimo& p, CISVLog&, const char*) -> int32_t {
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
    return Frame(handle, "GetInkAmount", [&](CPlimo& p, CISVLog&, const char*) -> int32_t {
        if (!amounts) return kException;
        return p.GetInkAmount(amounts);
    });
}

OVCG_API int32_t GetCalibData(tag_CalibDataReq_1* request) {
    const char* const label = "UNAXAPI2::GetCalibData()";
    try {
        CISVLog log;
        if (!request || !request->lpszPrinterName || !request->lpszDirPath ||
            ovcg::BoundedNameLength(request->lpszPrinterName) > ovcg::kPlimoMaxName ||
            ovcg::BoundedNameLength(request->lpszDirPath) > ovcg::kPlimoMaxName) {
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
