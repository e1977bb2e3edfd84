// The calls the front end makes into the print engine's job interface, as a
// table of function pointers: by default the engine's exported calls, while
// tests bind a recording fake. An entry left null makes that call fail, so a
// job start then writes its framing and reports an engine failure.
#pragma once

#include <cstdint>

#include "ovcg/ovcg_records.h"

namespace ovcg::frontend {

struct ovcg_job_interface {
    int32_t (*InitJob)(HPLIMO3* handle, tagPRTSTRUCT3_12* job, tagOPTION* options);
    int32_t (*InitPage)(HPLIMO3 handle, tagHTSTRUCT3_5* halftone);
    int32_t (*BandOut)(HPLIMO3 handle, const tagRECT* clip, tagBANDBMP* bitmap,
                       tagBANDBMP* second, const tagRECT* band, tagOSDEP3* descriptor);
    int32_t (*TerminatePageEx)(HPLIMO3 handle, tagTPINFOSTRUCT* page_end);
    int32_t (*DestroyJob)(HPLIMO3 handle);
};

// The result of a call whose entry is not bound.
inline constexpr int32_t kJobInterfaceUnbound = -5;

// Replaces the table (null: back to the default binding).
void set_job_interface(const ovcg_job_interface* table);
const ovcg_job_interface& default_job_interface();

// The calls, through the current table.
int32_t ji_InitJob(HPLIMO3* handle, tagPRTSTRUCT3_12* job, tagOPTION* options);
int32_t ji_InitPage(HPLIMO3 handle, tagHTSTRUCT3_5* halftone);
int32_t ji_BandOut(HPLIMO3 handle, const tagRECT* clip, tagBANDBMP* bitmap, tagBANDBMP* second,
                   const tagRECT* band, tagOSDEP3* descriptor);
int32_t ji_TerminatePageEx(HPLIMO3 handle, tagTPINFOSTRUCT* page_end);
int32_t ji_DestroyJob(HPLIMO3 handle);

}  // namespace ovcg::frontend
