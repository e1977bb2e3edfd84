/* Calibration and correction services: the calibration-tool port, the
 * correction core and the calibration-data generation core.
 *
 * In this library the three services are present but empty: every entry
 * point does nothing and returns 0; they hand out neither a handle nor data
 * (an output handle or data pointer is set to null, a size to 0). */
#ifndef OVCG_CALIB_SERVICES_H
#define OVCG_CALIB_SERVICES_H

#include <stdint.h>

#include "ovcg/hxr.h"
#include "ovcg/irac.h"
#include "ovcg/ovcg_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Calibration-tool port. */
OVCG_API uint32_t ISVTool_OpenPort(void** port, const char* printer_name, int32_t port_number);
OVCG_API uint32_t ISVTool_ClosePort(void* port);
OVCG_API uint32_t ISVTool_GetCidData(void* port, const char* path);
OVCG_API uint32_t ISVTool_GetImsData(void* port, const char* path);
OVCG_API uint32_t ISVTool_GetHeadData(void* port, const char* path);

/* Correction core. */
OVCG_API int32_t BRSCore_Start(void** handle, const void* start_record, const void* data, uint32_t size,
                               const OVF_COMMON* callbacks);
OVCG_API int32_t BRSCore_End(void* handle);
OVCG_API int32_t BRSCore_GetCorrection(void* handle, const void* in, void* out);
OVCG_API int32_t BRSCore_GetCorrectionEx(void* handle, const void* in, void* out, uint32_t flags);
OVCG_API int32_t BRSCore_GetMemorySize(const void* data, uint32_t size, uint32_t* bytes);
OVCG_API int32_t BRSCore_PageInit(void* handle);
OVCG_API int32_t BRSCore_ResetPageInfo(void* handle, uint32_t page_length);
OVCG_API int32_t BRSCore_TblExpansion(const void* in, uint32_t size, void* out, uint32_t out_size);

/* Calibration-data generation core. kind: 0 raster calibration, 1 raster
 * calibration SLUT, 2 IMS calibration, 3 IMS calibration SLUT. */
OVCG_API int32_t CDG_CreateInstance(void** handle, const HXRServiceTable* services);
OVCG_API int32_t CDG_DeleteInstance(void* handle);
OVCG_API int32_t CDG_GenerateData(void* handle, int32_t kind, const int32_t* print_mode_info, int32_t halftone_type,
                                  int32_t color_correction, const void* input, int32_t size, uint32_t mask,
                                  const int32_t* list);
OVCG_API int32_t CDG_GetData(void* handle, void** data, int32_t* size);
OVCG_API int32_t CDG_ReleaseData(void* handle, void* data);
OVCG_API int32_t CDG_Option(void* handle, int32_t a, int32_t b, int32_t c, int32_t d);

#ifdef __cplusplus
}
#endif

#endif
