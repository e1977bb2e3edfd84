// The calibration-tool port, the correction core and the calibration-data
// generation core of this library: present, and empty. They hand out neither
// a handle nor data, so the sessions over them run without producing
// correction or generated calibration data.
#include "ovcg/calib_services.h"

#include <cstddef>

namespace {
template <typename T>
void Clear(T* out) {
    if (out) *out = T{};
}
}  // namespace

uint32_t ISVTool_OpenPort(void** port, const char*, int32_t) {
    Clear(port);
    return 0;
}
uint32_t ISVTool_ClosePort(void*) { return 0; }
uint32_t ISVTool_GetCidData(void*, const char*) { return 0; }
uint32_t ISVTool_GetImsData(void*, const char*) { return 0; }
uint32_t ISVTool_GetHeadData(void*, const char*) { return 0; }

int32_t BRSCore_Start(void** handle, const void*, const void*, uint32_t, const OVF_COMMON*) {
    Clear(handle);
    return 0;
}
int32_t BRSCore_End(void*) { return 0; }
int32_t BRSCore_GetCorrection(void*, const void*, void*) { return 0; }
int32_t BRSCore_GetCorrectionEx(void*, const void*, void*, uint32_t) { return 0; }
int32_t BRSCore_GetMemorySize(const void*, uint32_t, uint32_t* bytes) {
    Clear(bytes);
    return 0;
}
int32_t BRSCore_PageInit(void*) { return 0; }
int32_t BRSCore_ResetPageInfo(void*, uint32_t) { return 0; }
int32_t BRSCore_TblExpansion(const void*, uint32_t, void*, uint32_t) { return 0; }

int32_t CDG_CreateInstance(void** handle, const HXRServiceTable*) {
    Clear(handle);
    return 0;
}
int32_t CDG_DeleteInstance(void*) { return 0; }
int32_t CDG_GenerateData(void*, int32_t, const int32_t*, int32_t, int32_t, const void*, int32_t, uint32_t,
                         const int32_t*) {
    return 0;
}
int32_t CDG_GetData(void*, void** data, int32_t* size) {
    Clear(data);
    Clear(size);
    return 0;
}
int32_t CDG_ReleaseData(void*, void*) { return 0; }
int32_t CDG_Option(void*, int32_t, int32_t, int32_t, int32_t) { return 0; }
