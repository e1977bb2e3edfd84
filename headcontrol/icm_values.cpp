// The job driver's value queries and settings. Each checks the job's state
// itself: "1-2" accessors answer 55 outside states 1 and 2, "2" ones outside
// state 2; the settings answer 59.
#include "headcontrol/icm_driver.h"

#include "headcontrol/codes.h"

#include <algorithm>
#include <climits>

namespace ovcg::irac {

namespace {

constexpr uint32_t kNoPosition = 2147483647u;

bool job_or_page(const IcmJob* j) { return j && (j->state == kIcmJobOpen || j->state == kIcmPageOpen); }
bool page(const IcmJob* j) { return j && j->state == kIcmPageOpen; }

// 61 when the logic has no BRS, 62 with function flag 0x1.
uint32_t brs_check(const IcmJob* j) {
    if (!MLE_BRS(j->mle)) return kIcmNoBrs;
    return (j->res->functionFlags & kFnBrs) ? kIcmBrsFlag : 0;
}

void round_positions(const IcmJob* j, uint32_t* p, int n, bool even) { ICM_RoundPositions(j->unitRaster, p, n, even); }

}  // namespace

void ICM_RoundPositions(uint32_t U, uint32_t* p, int n, bool even) {
    for (int i = 0; i < n; ++i) {
        if (p[i] == kNoPosition) continue;
        if (U > 0) {
            p[i] = static_cast<uint32_t>((uint64_t{p[i]} + U / 2) / U * U);
        } else if (i == n - 1 && even && (p[i] & 1)) {
            p[i] += 1;
        }
    }
}

void ICM_FillBrsJob(MLE_INSTANCE* mle, uint32_t brsValue, IRACS_BRS_JOB* out) {
    const bool autoLower = MLE_BRSAutoLower(mle);
    out->upper = MLE_BRSUpper(mle);
    out->lower = autoLower ? 1 : MLE_BRSLower(mle);
    out->auto_lower = autoLower;
    out->top = brsValue;
}

uint32_t ICM_FillBrsPage(MLE_INSTANCE* mle, uint32_t unitRaster, IRACS_BRS_PAGE* out) {
    int32_t position = 0, gap = 0;
    if (MLE_IsBRSCalculationMethod(mle)) {
        if (uint32_t rc = MLE_BRSCorrectLowerPosition(mle, &position)) return rc;
        if (uint32_t rc = MLE_BRSPositioningGap(mle, &gap)) return rc;
    } else {
        int32_t first = 0;
        if (uint32_t rc = MLE_GetHTMaskSwitchingPosition(mle, &first, &position)) return rc;
    }
    uint32_t p[1] = {static_cast<uint32_t>(position)};
    ICM_RoundPositions(unitRaster, p, 1, true);
    out->position = p[0];
    out->gap = static_cast<uint32_t>(gap);
    return 0;
}

uint32_t ICM_GetValue_BRS_STARTJOB(IcmJob* j, IRACS_BRS_JOB* out) {
    if (!job_or_page(j)) return kIcmValueState;
    if (uint32_t rc = brs_check(j)) return rc;
    ICM_FillBrsJob(j->mle, j->identifier.sub_mode == 2 ? j->res->subModeValue2 : 0, out);
    return 0;
}

uint32_t ICM_GetValue_BRS_STARTPAGE(IcmJob* j, IRACS_BRS_PAGE* out) {
    if (!page(j)) return kIcmValueState;
    if (uint32_t rc = brs_check(j)) return rc;
    return ICM_FillBrsPage(j->mle, j->unitRaster, out);
}

uint32_t ICM_GetValue_MINIMUM_LENGTH(IcmJob* j, uint32_t* out) {
    if (!page(j)) return kIcmValueState;
    return MLE_GetMinLength(j->mle, out);
}

uint32_t ICM_GetValue_SWITCHING_POSITION(IcmJob* j, IRACS_SWITCHING_POSITION* out) {
    if (!page(j)) return kIcmValueState;
    int32_t a = 0, b = 0;
    if (uint32_t rc = MLE_GetHTMaskSwitchingPosition(j->mle, &a, &b)) return rc;
    j->switchingPositions[0] = static_cast<uint32_t>(a);
    j->switchingPositions[1] = static_cast<uint32_t>(b);
    round_positions(j, j->switchingPositions, 2, MLE_BRS(j->mle));
    out->count = 2;
    out->positions = j->switchingPositions;
    return 0;
}

uint32_t ICM_GetValue_USE_HEAD(IcmJob* j, IRACS_USE_HEAD** out) {
    if (!job_or_page(j)) return kIcmValueState;
    if (j->res->useHead.headNum == 0) return kIcmNoUseHead;
    *out = &j->res->useHead;
    return 0;
}

uint32_t ICM_GetValue_PREBUFF_RASTER(IcmJob* j, int32_t* out) {
    if (!job_or_page(j)) return kIcmValueState;
    return MLE_GetPreBuffringRasterPos(j->mle, out);
}

uint32_t ICM_GetValue_SSS_Enable(IcmJob* j, uint8_t* out) {
    if (j && out) *out = SSS_GetEnable(j->sss);
    return 0;
}
uint32_t ICM_GetValue_SSS_ShiftNum(IcmJob* j, int16_t* out) {
    if (j && out) *out = SSS_GetShiftNum(j->sss);
    return 0;
}
uint32_t ICM_GetValue_SSS_ShiftResolution(IcmJob* j, uint16_t* out) {
    if (j && out) *out = SSS_GetShiftResolution(j->sss);
    return 0;
}
uint32_t ICM_GetValue_SSS_Shift(IcmJob* j, int32_t index, uint16_t* out) {
    if (j && out) *out = SSS_GetShift(index, j->sss);
    return 0;
}

uint32_t ICM_SetValue_UNITRASTER(IcmJob* j, uint32_t value) {
    if (!job_or_page(j)) return kIcmSetState;
    if (value == 0) return kIcmUnitRasterZero;
    j->unitRaster = value;
    return 0;
}

uint32_t ICM_SetValue_LENGTH(IcmJob* j, uint32_t value) {
    if (!page(j) || j->passCounter > 0) return kIcmSetState;
    uint32_t minimum = 0;
    if (uint32_t rc = MLE_GetMinLength(j->mle, &minimum)) return rc;
    if (value < minimum) return kIcmLengthBelowMinimum;
    auto fail = [j](uint32_t rc) {
        j->state = kIcmDrawFailed;
        return rc;
    };
    if (value > uint32_t(INT32_MAX)) return fail(kIcmBadArgument);
    if (uint32_t rc = MLE_ReCreateSchedulingTable(j->mle, value)) return fail(rc);
    j->printLength = value;
    j->passPosition = static_cast<int32_t>(MLE_GetVPos(j->mle));
    if (uint32_t rc = PMM_ReAlloc_POLMaskPattern(&j->masks, j->res, j->passEngine,
                                                 PmmPageColours{uint16_t(j->pageLines), j->lineColour}))
        return fail(rc);
    ICM_Updata_Bufferingarea(j);
    return 0;
}

// ---- Accessors that no value code reaches ---------------------------------------------------

uint32_t ICM_GetValue_MIR(IcmJob* j) {
    if (!page(j)) return kIcmValueState;
    if (j->passCounter > 0) return kIcmAfterFirstPass;
    return kMleBadLogic;  // the per-pass feed list is the edge planning's
}

uint32_t ICM_GetValue_LOSS_NOZZLE_COMPLEMENT(IcmJob* j) { return job_or_page(j) ? 0 : kIcmValueState; }

uint32_t ICM_GetValue_DOTSIZE(IcmJob* j, uint8_t* out) {
    if (!job_or_page(j)) return kIcmValueState;
    *out = OVC_GetDotSize(j->ovc);
    return 0;
}

uint32_t ICM_GetValue_COLORCODE(IcmJob* j, IcmColourCodes* out) {
    if (!job_or_page(j)) return kIcmValueState;
    *out = IcmColourCodes{j->res->colorTableNum, j->res->inkCodes, j->res->colorCodes};
    return 0;
}

uint32_t ICM_GetValue_OFFAREA(IcmJob* j, uint16_t* top, uint16_t* bottom) {
    if (!job_or_page(j)) return kIcmValueState;
    *top = j->offAreaTop;
    *bottom = j->offAreaBottom;
    return 0;
}

uint32_t ICM_GetValue_VERTICAL_DENOMI(IcmJob* j, uint16_t* out) {
    if (!job_or_page(j)) return kIcmValueState;
    *out = j->verticalDenominator;
    return 0;
}

uint32_t ICM_GetValue_IGNORERASTER(IcmJob* j, uint32_t* top, uint32_t* bottom) {
    if (!job_or_page(j)) return kIcmValueState;
    *top = j->res->subModeValue2;
    *bottom = j->res->subModeValue3;
    return 0;
}

uint32_t ICM_GetValue_POLMASKNUM(IcmJob* j, uint32_t* out) {
    if (!job_or_page(j)) return kIcmValueState;
    const uint32_t n = PMM_CountPOLMaskSetNum(&j->masks);
    if (int32_t(n) < 0) return kIcmMaskSetCount;
    *out = n;
    return 0;
}

// The mask sets have no fixed number (PMM_CountPOLMaskSetNum), so no
// caller's count can match it.
uint32_t ICM_GetValue_POLMASKSET(IcmJob* j, IcmPolMaskSets* io) {
    if (!job_or_page(j)) return kIcmValueState;
    if (!io || !io->records) return 22;
    const uint32_t n = PMM_CountPOLMaskSetNum(&j->masks);
    if (io->count != n) return 22;
    return int32_t(n) < 0 ? kIcmMaskSetCount : kIcmMaskSetMismatch;
}

uint32_t ICM_GetValue_CURING(IcmJob* j, IcmCuring* out) {
    if (!page(j)) return kIcmValueState;
    if (j->passCounter > 0) return kIcmAfterFirstPass;
    const uint16_t pitch = MLE_GetNozzlePitchIncludedNozzleInfo(j->mle);
    if (pitch == 0) return kIcmValueState;
    const int32_t split = j->on.split ? j->res->splitColorOrder.n : 1;
    out->position = static_cast<uint32_t>(j->passPosition - MLE_GetHeadTopPosition(j->mle));
    out->bufferingEnd = static_cast<uint32_t>(std::clamp<int64_t>(j->bufferingEnd, 0, UINT32_MAX));
    out->curing = j->on.curing ? 1 : 0;
    out->pitch = static_cast<uint16_t>(pitch * split);
    return 0;
}

uint32_t ICM_GetValue_NEXTMW_SCHEDULE(IcmJob* j, IcmNextSchedule* out) {
    if (!page(j)) return kIcmValueState;
    out->position = j->passPosition + MLE_GetOffsetNozzleMax(j->mle);
    const int64_t last = std::min<int64_t>(j->bufferingEnd - 1, int64_t{j->printData.page_length} - 1);
    out->last = static_cast<int32_t>(std::clamp<int64_t>(last, INT32_MIN, INT32_MAX));
    return 0;
}

uint32_t ICM_SetValue_PMC_PARAM(IcmJob* j, int16_t maximum) {
    if (!j || j->state != kIcmJobOpen) return kIcmSetState;
    return LNC_SetLossNozzleMax(maximum, j->lnc);
}

uint32_t ICM_SetOn_Rasterdata_forLayeredHT(IcmJob* j) { return j ? RBM_SetOn_Rasterdata_forLayeredHT(j->rbm) : 0; }

bool ICM_IsStatusBeforeStartPage(const IcmJob* j) { return j && j->state == kIcmJobOpen; }

}  // namespace ovcg::irac
