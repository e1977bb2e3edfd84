// The engine's job entry points: argument checks, copies of the caller's
// records, the internal callback table, and forwarding by the handle's path
// tag (byte 0). The entry points keep no state of their own.
//
// Tag 0 is the pass path (icm_driver.h), tag 1 the band path
// (stm_band_path.h), taken with option 0x8.
#include "headcontrol/callbacks.h"
#include "headcontrol/codes.h"
#include "headcontrol/icm_driver.h"
#include "headcontrol/records.h"
#include "headcontrol/stm_band_path.h"
#include "ovcg/irac.h"

namespace ovcg::irac {
namespace {

constexpr uint32_t kNullStartPage = 1;
constexpr uint32_t kNullEndPage = 2;
constexpr uint32_t kNullDrawData = 3;
constexpr uint32_t kBadSet = 20;
constexpr uint32_t kBadGet = 22;
constexpr uint8_t kPassPath = 0;
constexpr uint8_t kBandPath = 1;

uint8_t path_of(IRAC_INSTANCE_DEF* h) { return *reinterpret_cast<const uint8_t*>(h); }

// The pass-path job behind a handle; null for another path.
IcmJob* pass_job(IRAC_INSTANCE_DEF* h) {
    if (!h || path_of(h) != kPassPath) return nullptr;
    return reinterpret_cast<IcmJob*>(h);
}

// The band-path job behind a handle; null for another path.
StmJob* band_job(IRAC_INSTANCE_DEF* h) {
    if (!h || path_of(h) != kBandPath) return nullptr;
    return reinterpret_cast<StmJob*>(h);
}

uint32_t band_get(StmJob* j, int32_t code, void* out) {
    switch (code) {
        case IRAC_GET_BRS_STARTJOB: return STM_GetValue_BRS_STARTJOB(j, static_cast<IRACS_BRS_JOB*>(out));
        case IRAC_GET_BRS_STARTPAGE: return STM_GetValue_BRS_STARTPAGE(j, static_cast<IRACS_BRS_PAGE*>(out));
        case IRAC_GET_MINIMUM_LENGTH: return STM_GetValue_MINIMUM_LENGTH(j, static_cast<uint32_t*>(out));
        case IRAC_GET_SWITCHING_POSITION:
            return STM_GetValue_SWITCHING_POSITION(j, static_cast<IRACS_SWITCHING_POSITION*>(out));
        case IRAC_GET_USE_HEAD: return STM_GetValue_USE_HEAD(j, static_cast<IRACS_USE_HEAD**>(out));
        case IRAC_GET_LAYERS_INKCODE: return STM_GetValue_LAYERS_INKCODE(j, static_cast<IRACS_LAYERS_INKCODE*>(out));
        default: return kBadGet;
    }
}

uint32_t band_set(StmJob* j, int32_t code, const void* in) {
    switch (code) {
        case IRAC_SET_UNITRASTER: return STM_SetValue_UNITRASTER(j, *static_cast<const uint32_t*>(in));
        case IRAC_SET_LENGTH: return STM_SetValue_LENGTH(j, *static_cast<const uint32_t*>(in));
        case IRAC_SET_BITLEN: return STM_SetValue_BITLEN(j, *static_cast<const int32_t*>(in));
        case IRAC_SET_ESCIFORM: return STM_SetValue_ESCiFORM(j, *static_cast<const int8_t*>(in));
        default: return kBadSet;
    }
}

// Code 509: the shifts into the caller's array, whose capacity is the count
// it passes in; too small, only the needed count is written (22).
uint32_t shift_list(IcmJob* j, IRACS_SHIFT_LIST* out) {
    int16_t count = 0;
    ICM_GetValue_SSS_ShiftResolution(j, &out->resolution);
    ICM_GetValue_SSS_ShiftNum(j, &count);
    const int16_t capacity = out->count;
    out->count = count;
    if (count > 0 && (capacity < count || !out->shifts)) return kBadGet;
    for (int32_t i = 0; i < count; ++i)
        if (uint32_t rc = ICM_GetValue_SSS_Shift(j, i, &out->shifts[i])) return rc;
    return 0;
}

}  // namespace
}  // namespace ovcg::irac

using namespace ovcg::irac;

uint32_t IRAC_StartJob(IRAC_INSTANCE_DEF** instance, const IRACS_IDENTIFIER* identifier,
                       const IRACS_PRINTDATA_INFO* printData, const IRACS_OPTION* option, IRACS_VALUE* value,
                       const OVF_COMMON* callbacks) {
    if (!instance || !identifier || !printData || !option || !value || !callbacks) return kErrStartJobArgument;
    IdentifierPair pair{};
    if (uint32_t rc = make_identifier_pair(*identifier, &pair)) return rc;
    const PrintDataCopy pd = copy_print_data(*printData);
    const OptionCopy opt = copy_option(*option);
    if (opt.flags & IRAC_OPT_REFUSED) return kErrStartJobArgument;
    if (uint32_t rc = check_required_callbacks(callbacks)) return rc;
    const CallbackTable cb = relay_callbacks(*callbacks);
    if (opt.flags & IRAC_OPT_BAND_PATH) {
        StmJob* band = nullptr;
        IRACS_VALUE result{};
        if (uint32_t rc = STM_Constructor(&band, &pair, &pd, &opt, &result, &cb)) return rc;
        band->pathTag = kBandPath;
        *value = result;
        *instance = reinterpret_cast<IRAC_INSTANCE_DEF*>(band);
        return 0;
    }
    IcmJob* job = nullptr;
    IcmStartResult result{};
    if (uint32_t rc = ICM_StartJob(&job, pair, pd, opt, &result, cb)) return rc;
    job->pathTag = kPassPath;
    value->value = uint32_t(result.offAreaTop) | uint32_t(result.offAreaBottom) << 16;
    *instance = reinterpret_cast<IRAC_INSTANCE_DEF*>(job);
    return 0;
}

// The path is read once: the job is gone after either call.
void IRAC_EndJob(IRAC_INSTANCE_DEF* instance) {
    if (StmJob* b = band_job(instance)) return STM_Destructor(b);
    ICM_EndJob(pass_job(instance));
}

void IRAC_AbortJob(IRAC_INSTANCE_DEF* instance) {
    if (StmJob* b = band_job(instance)) return STM_AbortJob(b);
    ICM_AbortJob(pass_job(instance));
}

uint32_t IRAC_StartPage(IRAC_INSTANCE_DEF* instance, int32_t leftOffset, const uint8_t* inkCodes) {
    if (StmJob* b = band_job(instance)) return STM_StartPage(b, leftOffset, inkCodes);
    IcmJob* j = pass_job(instance);
    return j ? ICM_StartPage(j, leftOffset, inkCodes) : kNullStartPage;
}

uint32_t IRAC_EndPage(IRAC_INSTANCE_DEF* instance) {
    if (StmJob* b = band_job(instance)) return STM_EndPage(b);
    IcmJob* j = pass_job(instance);
    return j ? ICM_EndPage(j) : kNullEndPage;
}

uint32_t IRAC_DrawData(IRAC_INSTANCE_DEF* instance, const IRACS_RASTERDATA* data) {
    if (StmJob* b = band_job(instance)) {
        RasterRun run{};
        // A run the 16-bit count cannot carry is a bad run, as a null record is 615.
        if (data && !repack_raster_data(*data, &run)) {
            run = RasterRun{};
            return STM_DrawRasterData(b, &run);
        }
        return STM_DrawRasterData(b, data ? &run : nullptr);
    }
    IcmJob* j = pass_job(instance);
    if (!j) return kNullDrawData;
    RasterRun run{};
    // A null record or a run the 16-bit count cannot carry is a bad run.
    if (!data || !repack_raster_data(*data, &run)) {
        if (j->state != kIcmPageOpen) return kIcmRunState;
        j->state = kIcmDrawFailed;
        return kIcmBadRun;
    }
    return ICM_DrawData(j, run.lines, run.line_width, run.first_raster, run.raster_count);
}

uint32_t IRAC_GetValue(IRAC_INSTANCE_DEF* instance, int32_t code, void* out) {
    if (StmJob* b = band_job(instance)) return out ? band_get(b, code, out) : kBadGet;
    IcmJob* j = pass_job(instance);
    if (!j || !out) return kBadGet;
    switch (code) {
        case IRAC_GET_BRS_STARTJOB: return ICM_GetValue_BRS_STARTJOB(j, static_cast<IRACS_BRS_JOB*>(out));
        case IRAC_GET_BRS_STARTPAGE: return ICM_GetValue_BRS_STARTPAGE(j, static_cast<IRACS_BRS_PAGE*>(out));
        case IRAC_GET_MINIMUM_LENGTH: return ICM_GetValue_MINIMUM_LENGTH(j, static_cast<uint32_t*>(out));
        case IRAC_GET_SWITCHING_POSITION:
            return ICM_GetValue_SWITCHING_POSITION(j, static_cast<IRACS_SWITCHING_POSITION*>(out));
        case IRAC_GET_USE_HEAD: return ICM_GetValue_USE_HEAD(j, static_cast<IRACS_USE_HEAD**>(out));
        case IRAC_GET_PREBUFF_RASTER: return ICM_GetValue_PREBUFF_RASTER(j, static_cast<int32_t*>(out));
        case IRAC_GET_SHIFT_COUNT: {
            auto* list = static_cast<IRACS_SHIFT_LIST*>(out);
            if (uint32_t rc = ICM_GetValue_SSS_Enable(j, &list->enable)) return rc;
            return ICM_GetValue_SSS_ShiftNum(j, &list->count);
        }
        case IRAC_GET_SHIFTS: return shift_list(j, static_cast<IRACS_SHIFT_LIST*>(out));
        default: return kBadGet;
    }
}

uint32_t IRAC_SetValue(IRAC_INSTANCE_DEF* instance, int32_t code, const void* in) {
    if (StmJob* b = band_job(instance)) return in ? band_set(b, code, in) : kBadSet;
    IcmJob* j = pass_job(instance);
    if (!j || !in) return kBadSet;
    switch (code) {
        case IRAC_SET_UNITRASTER: return ICM_SetValue_UNITRASTER(j, *static_cast<const uint32_t*>(in));
        case IRAC_SET_LENGTH: return ICM_SetValue_LENGTH(j, *static_cast<const uint32_t*>(in));
        default: return kBadSet;
    }
}
