#include "frontend/job_interface.h"

#include "ovcg/ovcg_jobif.h"

namespace ovcg::frontend {
namespace {

// The engine's job interface.
const ovcg_job_interface kDefault = {::InitJob, ::InitPage, ::BandOut, ::TerminatePageEx, ::DestroyJob};
ovcg_job_interface g_table = kDefault;

}  // namespace

void set_job_interface(const ovcg_job_interface* table) { g_table = table ? *table : kDefault; }
const ovcg_job_interface& default_job_interface() { return kDefault; }

int32_t ji_InitJob(HPLIMO3* handle, tagPRTSTRUCT3_12* job, tagOPTION* options) {
    if (!g_table.InitJob) {
        if (handle) *handle = nullptr;
        return kJobInterfaceUnbound;
    }
    return g_table.InitJob(handle, job, options);
}

int32_t ji_InitPage(HPLIMO3 handle, tagHTSTRUCT3_5* halftone) {
    return g_table.InitPage ? g_table.InitPage(handle, halftone) : kJobInterfaceUnbound;
}

int32_t ji_BandOut(HPLIMO3 handle, const tagRECT* clip, tagBANDBMP* bitmap, tagBANDBMP* second,
                   const tagRECT* band, tagOSDEP3* descriptor) {
    return g_table.BandOut ? g_table.BandOut(handle, clip, bitmap, second, band, descriptor)
                           : kJobInterfaceUnbound;
}

int32_t ji_TerminatePageEx(HPLIMO3 handle, tagTPINFOSTRUCT* page_end) {
    return g_table.TerminatePageEx ? g_table.TerminatePageEx(handle, page_end)
                                   : kJobInterfaceUnbound;
}

int32_t ji_DestroyJob(HPLIMO3 handle) {
    return g_table.DestroyJob ? g_table.DestroyJob(handle) : kJobInterfaceUnbound;
}

}  // namespace ovcg::frontend
