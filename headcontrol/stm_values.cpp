// The band path's value queries and settings. Each checks the job's state
// itself: "job or page" accessors answer 55 (settings 59) outside states 1
// and 2, "page" ones outside state 2, "job" ones outside state 1. The
// queries that read the pass engine need option flag 0x10 (631).
#include "headcontrol/codes.h"
#include "headcontrol/icm_driver.h"
#include "headcontrol/stm_band_path.h"

namespace ovcg::irac {

namespace {

constexpr uint8_t kLayerBits[4] = {0x00, 0x80, 0x40, 0xC0};
constexpr int32_t kMaxLayers = 4;

bool job_or_page(const StmJob* j) { return j && (j->state == kStmJobOpen || j->state == kStmPageOpen); }
bool page(const StmJob* j) { return j && j->state == kStmPageOpen; }
bool job(const StmJob* j) { return j && j->state == kStmJobOpen; }
bool engine(const StmJob* j) { return (j->option.flags & IRAC_OPT_ENGINE) != 0 && j->mle; }

// 631 without the pass engine, 61 when the logic has no BRS, 62 when the
// blocking bytes say so (nothing sets them).
uint32_t brs_check(const StmJob* j) {
    if (!engine(j)) return kStmNeedsEngine;
    if (!MLE_BRS(j->mle)) return kIcmNoBrs;
    return j->brsBlocking[0] ? kIcmBrsFlag : 0;
}

}  // namespace

uint32_t STM_GetValue_BRS_STARTJOB(StmJob* j, IRACS_BRS_JOB* out) {
    if (!job_or_page(j)) return kIcmValueState;
    if (uint32_t rc = brs_check(j)) return rc;
    // The BRS value of the head-control data, as on the pass path.
    ICM_FillBrsJob(j->mle, j->identifier.sub_mode == 2 ? j->hcData->subModeValue2 : 0, out);
    return 0;
}

uint32_t STM_GetValue_BRS_STARTPAGE(StmJob* j, IRACS_BRS_PAGE* out) {
    if (!page(j)) return kIcmValueState;
    if (uint32_t rc = brs_check(j)) return rc;
    return ICM_FillBrsPage(j->mle, j->unitRaster, out);
}

uint32_t STM_GetValue_MINIMUM_LENGTH(StmJob* j, uint32_t* out) {
    if (!page(j)) return kIcmValueState;
    if (!engine(j)) return kStmNeedsEngine;
    return MLE_GetMinLength(j->mle, out);
}

uint32_t STM_GetValue_SWITCHING_POSITION(StmJob* j, IRACS_SWITCHING_POSITION* out) {
    if (!page(j)) return kIcmValueState;
    if (!engine(j)) return kStmNeedsEngine;
    int32_t a = 0, b = 0;
    if (uint32_t rc = MLE_GetHTMaskSwitchingPosition(j->mle, &a, &b)) return rc;
    j->switchingPositions[0] = static_cast<uint32_t>(a);
    j->switchingPositions[1] = static_cast<uint32_t>(b);
    ICM_RoundPositions(j->unitRaster, j->switchingPositions, 2, MLE_BRS(j->mle));
    out->count = 2;
    out->positions = j->switchingPositions;
    return 0;
}

uint32_t STM_GetValue_USE_HEAD(StmJob* j, IRACS_USE_HEAD** out) {
    if (!job_or_page(j)) return kIcmValueState;
    if (!engine(j) || !j->hcData || j->hcData->useHead.headNum == 0) return kStmNoUseHead;
    *out = &j->hcData->useHead;
    return 0;
}

uint32_t STM_GetValue_LAYERS_INKCODE(StmJob* j, IRACS_LAYERS_INKCODE* io) {
    if (!job_or_page(j)) return kIcmValueState;
    const int32_t L = io->layers, I = io->inks;
    if (L < 1 || L > kMaxLayers) return kStmBadLayers;
    if (I < 1 || I > kStmMaxColours) return kStmBadInks;
    if (io->total != L * I || io->total > kStmMaxColours) return kStmBadTotal;
    if (!io->ink_codes || !io->out) return kStmBadLayerInk;
    for (int32_t i = 0; i < I; ++i)
        if (io->ink_codes[i] & 0xE0) return kStmBadLayerInk;
    for (int32_t l = 0; l < L; ++l) {
        for (int32_t i = 0; i < I; ++i) {
            const uint8_t code = io->ink_codes[i] | kLayerBits[l];
            if (uint32_t rc = STR_CheckHXRInkCodeExist(j->str, code)) return rc;
            io->out[l * I + i] = code;
        }
    }
    return 0;
}

uint32_t STM_SetValue_UNITRASTER(StmJob* j, uint32_t value) {
    if (!job_or_page(j)) return kIcmSetState;
    if (value == 0) return kIcmUnitRasterZero;
    j->unitRaster = value;
    return 0;
}

uint32_t STM_SetValue_LENGTH(StmJob* j, uint32_t value) {
    if (!page(j) || j->bandSent) return kIcmSetState;
    if (engine(j)) {
        uint32_t minimum = 0;
        if (uint32_t rc = MLE_GetMinLength(j->mle, &minimum)) return rc;
        if (value < minimum) return kIcmLengthBelowMinimum;
        // The pass engine numbers rasters in 31 bits.
        const uint32_t rc = value > uint32_t(INT32_MAX) ? kIcmBadArgument : MLE_ReCreateSchedulingTable(j->mle, value);
        if (rc) {
            j->state = kStmDrawFailed;
            return rc;
        }
    }
    j->printLength = value;
    return 0;
}

uint32_t STM_SetValue_BITLEN(StmJob* j, int32_t value) {
    if (!job(j)) return kIcmSetState;
    if (value != 1 && value != 2) return kStmBadBitLength;
    j->bitLength = static_cast<uint16_t>(value);
    return 0;
}

uint32_t STM_SetValue_ESCiFORM(StmJob* j, int8_t value) {
    if (!job(j)) return kIcmSetState;
    const uint8_t form = static_cast<uint8_t>(value);
    if (form > 1) return kStmBadHeadForm;
    j->headForm = form;
    return 0;
}

}  // namespace ovcg::irac
