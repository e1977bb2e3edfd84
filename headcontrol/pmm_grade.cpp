// The overlap grade of a raster: the loss-nozzle complement's view of the
// overlap masks.
#include "headcontrol/codes.h"
#include "headcontrol/mle.h"
#include "headcontrol/pmm_masks.h"

namespace ovcg::irac {

namespace {

// The rows of the pattern entry of layer row `row` and the ink's column; 0
// when the work has none built.
int32_t pattern_rows(const POLMaskWork* w, uint32_t row, int32_t ink) {
    if (!w || !w->kindTable || !w->kindTable->entries || w->kindTable->colNum == 0) return 0;
    const PassColorKindTable& t = *w->kindTable;
    if (row >= t.rowNum) return 0;
    const uint16_t entry = t.entries[size_t(row) * t.colNum + uint32_t(ink) % t.colNum];
    if (entry == kPolNone || !w->patterns || entry >= w->patternCount) return 0;
    return w->patterns[entry].rowCount;
}

}  // namespace

uint32_t PMM_GetPOLMaskGrad(MLE_INSTANCE* mle, const POLMaskWork* work, int32_t ink, int32_t head, int64_t raster,
                            uint8_t* kind, uint8_t* grade) {
    *kind = 0;
    *grade = 0;
    const MleNozzleInfo* info = nullptr;
    if (uint32_t rc = MLE_GetNozzleInfo(mle, head, ink, &info)) return rc;
    if (info->pitch == 0 || !info->state) return kPmmRasterOutside;
    const int64_t d = raster - info->nozzlePos;
    if (d % info->pitch != 0) return kPmmRasterOutside;
    const int64_t k = d / info->pitch - info->yShift;
    if (k < info->firstNozzle || k >= info->endNozzle) return kPmmRasterOutside;
    const int64_t at = k - info->firstNozzle;
    const uint8_t state = info->state[at];
    *kind = state;
    if ((state & 0x7F) != kNozzleFirstHalf && (state & 0x7F) != kNozzleSecondHalf) return 0;
    int64_t first = at;
    while (first > 0 && info->state[first - 1] == state) --first;
    int64_t offset = at - first;
    const uint32_t row = info->stepValue ? info->stepValue[at] : kMleNoStepValue;
    const int32_t rows = row == kMleNoStepValue ? 0 : pattern_rows(work, row, ink);
    if (rows > 0) offset %= rows;
    *grade = static_cast<uint8_t>(offset > 0xFF ? 0xFF : offset);
    return 0;
}

}  // namespace ovcg::irac
