/* The print engine's job interface: job, page and band calls on a job
 * handle. Every call answers 0 or a negative code: -1 a record of version 0,
 * -5 a missing or unknown handle, -10 a failure inside the call, otherwise
 * the engine's own code. Records are upgraded from older versions on entry
 * (see ovcg_records.h). The spool callback is called again for what it did not
 * accept of a piece; a negative count, a count above the length, or 65536
 * calls in a row that accept nothing fail the send. A failed send is reported
 * by the call that made it: InitPage -15 (the document or page start; on
 * level 3 -10 when the page's halftoning object sends its records as it is
 * made), BandOut -2331 to -2346 on level 2 (the head-control engine's send
 * codes) and -203 on level 3 (the page language sends nothing in a band),
 * TerminatePage(Ex) -15 (on level 2 also -2331 to -2346 for the rows printed
 * at the page end, on level 3 -203 for an empty page's white rows) and
 * DestroyJob -15 (the document end). -10, -15 and -203 have other causes
 * too. From a failed send on, the job's stream may not be one a printer
 * can take (bytes may be missing, repeated or cut differently), so the
 * caller must not send it to one; later calls may fail as well. The caller
 * ends the job (DestroyJob); the next job prints. */
#ifndef OVCG_JOBIF_H
#define OVCG_JOBIF_H

#include <stdint.h>

#include "ovcg/ovcg_export.h"
#include "ovcg/ovcg_records.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The calibration request of GetCalibData. */
typedef struct tag_CalibDataReq_1 {
    const char* lpszToolLib;     /* not read by GetCalibData */
    const char* lpszToolDir;     /* directory of the calibration programs; null: look them up on PATH */
    int32_t PortKind;            /* 1 network, else USB */
    const char* lpszPrinterName; /* at most 259 characters */
    const char* lpszDirPath;     /* at most 259 characters */
} tag_CalibDataReq_1;

/* Starts a job; *handle receives the job handle (null on failure). */
OVCG_API int32_t InitJob(HPLIMO3* handle, tagPRTSTRUCT3_12* job, tagOPTION* options);
/* Keeps the open job when the new record does not change it, else rebuilds it. */
OVCG_API int32_t ResetJob(HPLIMO3* handle, tagPRTSTRUCT3_12* job, tagOPTION* options);
/* Starts a page. A page that cannot print is refused after the document
 * start (at the first page) and the page-start commands are sent, and the
 * job stays open: -1 composite black with colour correction 10 or 11, -400
 * no head selection on level 3 or the page language (the last error is left
 * as it was), -203 two source rows to one printed row (four lines an engine
 * call, which the halftone engine cannot take; every page of such a job is
 * refused), the halftone engine's code (-3001 no print mode for the page)
 * or another integer code of the halftoning object (-204, -205, -207), and
 * -10 when that object throws a message (level 3: no level-3 halftone for
 * the page's halftone type, the encoder refusing the band format, or its
 * records failing to go out). */
OVCG_API int32_t InitPage(HPLIMO3 handle, tagHTSTRUCT3_5* halftone);
/* second and descriptor may be null. The clip is clamped to the band. */
OVCG_API int32_t BandOut(HPLIMO3 handle, const tagRECT* clip, tagBANDBMP* bitmap, tagBANDBMP* second,
                         const tagRECT* band, tagOSDEP3* descriptor);
OVCG_API int32_t TerminatePage(HPLIMO3 handle);
OVCG_API int32_t TerminatePageEx(HPLIMO3 handle, tagTPINFOSTRUCT* page_end);
/* Ends the job and releases the handle, whatever the result. The document
 * end goes out also for a job without a page on level 3 and the page
 * language, alone (23 bytes, 33 in header mode); level 2 then sends
 * nothing. */
OVCG_API int32_t DestroyJob(HPLIMO3 handle);
/* One value per ink plane of the job. */
OVCG_API int32_t GetInkAmount(HPLIMO3 handle, uint32_t* amounts);
/* Runs the calibration program "isvtool_lan" or "isvtool_usb". */
OVCG_API int32_t GetCalibData(tag_CalibDataReq_1* request);

OVCG_API void _DEBUG_SET_FUNCTION(OVCG_DEBUG_EXPORT_FUNC func);
OVCG_API int32_t _DEBUG_EXPORT(int32_t id, int32_t size, void* data);

#ifdef __cplusplus
}
#endif

#endif
