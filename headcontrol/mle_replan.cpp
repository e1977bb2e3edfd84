// Re-planning within a page, the lower-edge and BRS queries, and the
// queries of the loss-nozzle complement.
#include "headcontrol/codes.h"
#include "headcontrol/mle.h"
#include "headcontrol/mle_edge.h"

#include <algorithm>
#include <climits>

namespace ovcg::irac {

namespace {

using walk::floor_mod;

uint32_t as_u32(int64_t v) { return static_cast<uint32_t>(static_cast<int32_t>(v)); }
int32_t clamp31(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The pitch of the loaded logic, else of the first record.
int64_t engine_pitch(const MLE_INSTANCE& e) {
    if (e.schedule.logic.layers) return e.schedule.logic.pitch;
    const MicroweaveLogicRecord* g = mle_first_logic(*e.resource);
    return g ? g->pitch : 0;
}

bool valid_ink(const MLE_INSTANCE* o, int32_t ink) { return o && ink >= 0 && ink < o->inkCount; }
uint8_t ink_code(const MLE_INSTANCE& e, int32_t ink) { return e.columnCode[e.inkColumn[ink]]; }

// The heads an ink uses: the nozzle-line map's range when it is valid,
// else all.
void used_heads(const MLE_INSTANCE& e, int32_t ink, int32_t& first, int32_t& last) {
    const int32_t heads = e.resource->head.headNum;
    first = 0;
    last = heads - 1;
    int32_t f = 0, l = 0;
    if (NLM_IsValid(e.nlm) && NLM_GetUseHeadRange(ink_code(e, ink), e.nlm, &f, &l)) {
        first = std::clamp(f, 0, heads - 1);
        last = std::clamp(l, first, heads - 1);
    }
}

// The pass numbers the queries name.
int64_t upper_group(const MleSchedule& s) { return int64_t{s.upperPasses} + s.preNormalPasses; }
int64_t after_normal(const MleSchedule& s) { return upper_group(s) + s.normalPasses; }

// nozzlePos of head 0 for the lower ink in `pass`.
bool lower_ink_position(MLE_INSTANCE& e, int64_t pass, int64_t& pos) {
    if (pass < 0 || pass > INT32_MAX || !MakeHeadTable(e, int32_t(pass)) || !GetNozzleInfo(e, 0, e.lowerInk))
        return false;
    pos = e.table.info.nozzlePos;
    return true;
}

bool no_positioning_gap(const MLE_INSTANCE& e) {
    const MicroweaveLogicRecord* g = mle_first_logic(*e.resource);
    return g && (g->flags2 & kMwNoPositioningGap);
}

}  // namespace

// ---- Re-planning ----------------------------------------------------------------------

uint32_t MLE_ChangeMicroWeaveLogic(MLE_INSTANCE* o, int32_t selector, uint32_t value, uint32_t* vPos) {
    if (!o) return kMleNoObject;
    if (selector < -1 || selector > 3) return kMleNoLogic;
    MleSchedule& s = o->schedule;
    if (uint32_t rc = GetResouceData(*o, *o->cb, std::max(selector, 0))) return rc;
    int64_t shift = 0;
    if (selector == -1) {
        s.scheduleLength = value;
    } else if (selector <= 2) {
        if (value > uint32_t(INT32_MAX)) return kMleBadLogic;
        o->layerShift = int32_t(value);
        o->passNo = 0;
        shift = value;
    } else {
        if (o->layerShift > 0) shift = o->layerShift;
        s.scheduleLength = o->autoBottomLength;
    }
    for (uint32_t i = 0; i < s.logic.layerCount && shift; ++i) {
        MicroweaveLayerRecord& l = s.logic.layers[i];
        if (l.start < 0) continue;
        if (int64_t{l.start} + shift > INT32_MAX) return kMleBadLogic;
        l.start = int32_t(l.start + shift);
    }
    if (uint32_t rc = CreateSchedule(*o, s.scheduleLength, true)) return rc;
    if (!mle_build_pass(*o, o->passNo)) return kMleChangeFailed;
    if (vPos) *vPos = as_u32(o->vPos);
    return 0;
}

uint32_t MLE_ChangeSpecification(MLE_INSTANCE* o, int32_t* before, int32_t* after, uint32_t length, int32_t back) {
    if (!o) return kMleNoObject;
    if (o->passNo < back) return kMleChangeBehind;
    MleSchedule& s = o->schedule;
    const int64_t old = o->passNo;
    s.scheduleLength = length;
    if (uint32_t rc = GetResouceData(*o, *o->cb, 0)) return rc;
    if (uint32_t rc = CreateSchedule(*o, length, true)) return rc;
    const int64_t pass = old - back;
    if (pass >= mle_total_passes(s) || pass > after_normal(s)) return kMleChangeTooFar;
    int64_t head = 0;
    if (pass == 0) {
        head = CalcHeadTopPosition(*o);
    } else if (!mle_head_pos(*o, pass - 1, head)) {
        return kMleReplanFailed;
    }
    o->passNo = int32_t(pass);
    if (!mle_build_pass(*o, o->passNo)) return kMleReplanFailed;
    if (before) *before = int32_t(head);
    if (after) *after = o->vPos;
    return 0;
}

// ---- Lower edge and BRS -----------------------------------------------------------------

uint32_t MLE_GetAutoBottomRange(MLE_INSTANCE* o, int32_t* top, int32_t* length) {
    if (!o) return kMleAutoBottomNoLayer;
    const MLEResourceData& r = *o->resource;
    const MleSchedule& s = o->schedule;
    // 1-2. The page length with the bottom margin, and the lower-edge logic's.
    const int64_t a = r.modeValue1, b = r.headValueB, c = r.headValueA;
    const int64_t L = (c != 0 ? walk::ceil_div(a * b, c) : 0) + s.scheduleLength;
    int64_t bottom = 32768;
    if (r.unitValue8 != 0) {
        bottom = int64_t{r.unitValue8} + L;
    } else if (const MicroweaveLogicRecord* g3 = mle_slot_logic(r, 3)) {
        int64_t maxStart = INT64_MIN, minEnd = INT64_MAX;
        for (uint32_t i = 0; i < g3->layerCount; ++i)
            if (g3->layers[i].kind == 2) {
                maxStart = std::max<int64_t>(maxStart, g3->layers[i].start);
                minEnd = std::min<int64_t>(minEnd, g3->layers[i].end);
            }
        if (maxStart != INT64_MIN) bottom = L - (minEnd - maxStart);
    }
    o->autoBottomLength = uint32_t(std::clamp<int64_t>(bottom, 0, UINT32_MAX));
    // 3. The layer that positions the range.
    const MicroweaveLayerRecord* l = nullptr;
    for (uint32_t i = 0; i < s.logic.layerCount; ++i) {
        const int16_t kind = s.logic.layers[i].kind;
        if (kind == 6 || kind == 1 || kind == 3) l = &s.logic.layers[i];
    }
    if (!l) return kMleAutoBottomNoLayer;
    // 4. Where that layer's pass first reaches the range.
    const int64_t pitch = s.logic.pitch;
    int64_t position = 0;
    if (r.modeValue5 & 0x2) {
        position = l->start + pitch * l->range[walk::step_of(*l, 0)].first;
    } else {
        const int64_t S = L - (mle_virtual_nozzles(*o) - 1) * pitch;
        if (S < l->start) return kMleAutoBottomShort;
        const int64_t C = l->cycleLength, k = (S - l->start) / l->cycleFeed;
        position = l->start + int64_t{l->cycleFeed} * k;
        int64_t m = 0;
        while (position < S && m < C) position += walk::feed_at(*l, m++);
        const int64_t passes = k * C + m;
        position += l->range[walk::step_of(*l, passes)].first * pitch;
        if (position < S || passes >= (l->kind == 6 ? s.mwswPasses : s.normalPasses)) return kMleAutoBottomPasses;
    }
    // 5.
    if (top) *top = clamp31(o->columnOffset[o->minOffsetColumn] + position);
    if (length) *length = clamp31(int64_t{o->autoBottomLength} - position);
    return 0;
}

uint32_t MLE_GetFooterTopPosition(MLE_INSTANCE* o, int32_t* pos, uint8_t* present) {
    if (present) *present = 0;
    if (pos) *pos = 0;
    if (!o) return kMleFooterTopFailed;
    if (o->schedule.lowerPasses < 1) return 0;
    int64_t head = 0;
    const bool ok = mle_head_pos(*o, after_normal(o->schedule), head);
    mle_restore_pass(*o);
    if (!ok) return kMleFooterTopFailed;
    if (pos) *pos = int32_t(head);
    if (present) *present = 1;
    return 0;
}

// What the first pass after the normal group lacks of the normal cycle's
// next feed step.
uint32_t MLE_BRSPositioningGap(MLE_INSTANCE* o, int32_t* gap) {
    if (gap) *gap = 0;
    if (!o) return kMleBrsGapFailed;
    const MleSchedule& s = o->schedule;
    if (s.mwswPasses > 0 || no_positioning_gap(*o) || !MLE_BRSPositioning(o) || MLE_BRSAutoLower(o)) return 0;
    const MicroweaveLayerRecord* N = nullptr;
    for (uint32_t i = 0; i < s.logic.layerCount && !N; ++i)
        if (s.logic.layers[i].kind == 1) N = &s.logic.layers[i];
    if (!N) return 0;
    const int64_t feed = N->feed[floor_mod(int64_t{N->phase} + s.normalPasses, N->cycleLength)];
    const int64_t pass = after_normal(s);
    int64_t a = 0, b = 0;
    const bool ok = mle_head_pos(*o, pass, a) && mle_head_pos(*o, pass - 1, b);
    mle_restore_pass(*o);
    if (!ok) return kMleBrsGapFailed;
    const int64_t g = feed - (a - b);
    if (g < 0) return kMleBrsGapNegative;
    if (gap) *gap = clamp31(g);
    return 0;
}

uint32_t MLE_BRSCorrectLowerPosition(MLE_INSTANCE* o, int32_t* pos) {
    if (pos) *pos = 0;
    if (!o) return kMleBrsCorrectFailed;
    const MleSchedule& s = o->schedule;
    int64_t pass = -1, less = 0;
    if (s.mwswPasses > 0) {
        const MicroweaveLayerRecord* second = s.logic.layerCount >= 2 ? &s.logic.layers[1] : nullptr;
        const int64_t C = second ? second->cycleLength : 1;
        pass = after_normal(s) - 1 - floor_mod(int64_t{s.normalPasses} - 1, C);
    } else if (s.fTransPasses >= 1) {
        return kMleBrsCorrectFTrans;
    } else if (!no_positioning_gap(*o) && !MLE_BRSAutoLower(o) && s.lowerPasses >= 1) {
        const bool positioning = MLE_BRSPositioning(o);
        pass = after_normal(s) - (positioning ? 0 : 1);
        less = positioning ? 1 : 0;
    }
    if (pass < 0 && s.mwswPasses < 1) return 0;
    int64_t p = 0;
    const bool ok = lower_ink_position(*o, pass, p);
    mle_restore_pass(*o);
    if (!ok) return kMleBrsCorrectFailed;
    if (pos) *pos = clamp31(p - less);
    return 0;
}

// The largest schedule of the mode's logics, built without its per-nozzle
// and edge tables, with the per-head tables. The page's own schedule is
// set aside meanwhile.
uint32_t MLE_SumAllocateMemorySize(MLE_INSTANCE* o, uint32_t* size) {
    if (size) *size = 0;
    if (!o) return kMleNoObject;
    const MLEResourceData& r = *o->resource;
    const MleSchedule saved = o->schedule;
    const MleNozzleInfo info = o->table.info;
    o->schedule = MleSchedule{};
    o->schedule.scheduleLength = saved.scheduleLength;
    int64_t largest = 0;
    uint32_t rc = 0;
    for (int32_t slot = 0; slot < 4 && !rc; ++slot) {
        if (!mle_slot_logic(r, slot)) continue;
        rc = GetResouceData(*o, *o->cb, slot);
        if (!rc) rc = CreateSchedule(*o, saved.scheduleLength, false);
        if (!rc) {
            const MleSchedule& s = o->schedule;
            largest = std::max(largest, 9 * int64_t{s.maxNozzle} + 6 * int64_t{s.lowerPasses} +
                                            16 * int64_t{s.fTransPasses} + 88 * int64_t{s.logic.layerCount});
        }
        FreeSchedule(*o);
    }
    o->schedule = saved;
    o->table.info = info;
    if (rc) return rc;
    const HeadRecord& h = r.head;
    int64_t total = largest + 8 * int64_t{h.headNum} + 1040;
    if (h.headNum >= 2) {
        total += (3 * int64_t{h.headNum} - 3) * 4 + 2 * int64_t{h.headNum};
        for (int32_t i = 0; i + 1 < h.headNum; ++i) total += 2 * int64_t{h.headOverlapNum[i]};
    }
    if (size) *size = uint32_t(std::min<int64_t>(total, UINT32_MAX));
    return 0;
}

int32_t MLE_GetUNDIndex(const MLE_INSTANCE* o, int32_t raster) {
    const BlockE* t = o ? o->resource->blockE : nullptr;
    if (!t || t->n < 2 || !t->rowShifts) return 0;
    int32_t index = 0;
    for (int32_t i = 1; i < t->n; ++i)
        if (t->rowShifts[i] <= raster) index = i;
    return index;
}

// ---- Loss-nozzle queries ------------------------------------------------------------------

uint32_t MLE_GetNozzleEndPosition(MLE_INSTANCE* o, int32_t ink) {
    if (!valid_ink(o, ink)) return 0xFFFFFFFFu;
    int32_t first = 0, last = 0;
    used_heads(*o, ink, first, last);
    int64_t end = INT64_MIN;
    for (int32_t h = first; h <= last; ++h) {
        if (!GetNozzleInfo(*o, h, ink)) continue;
        const MleNozzleInfo& info = o->table.info;
        if (info.firstNozzle < info.endNozzle)
            end = std::max(end, int64_t{info.nozzlePos} + (int64_t{info.yShift} + info.endNozzle - 1) * info.pitch);
    }
    return end == INT64_MIN ? 0xFFFFFFFFu : as_u32(end);
}

int32_t MLE_GetHeadOffset(MLE_INSTANCE* o, int32_t ink, int32_t head) {
    if (!o || !GetNozzleInfo(*o, head, ink)) return 0;
    const MleNozzleInfo& info = o->table.info;
    return info.yShift + (head > 0 ? o->table.headStart[info.head] : 0);
}

uint32_t MLE_GetHeadInfo(MLE_INSTANCE* o, int32_t ink, int32_t head, int32_t* offset, uint16_t* nozzles,
                         MleNozzleRange* window, MleNozzleRange* lowerPair, MleNozzleRange* upperPair,
                         const uint8_t** states, const uint16_t** halftoneIndices) {
    if (!o || !GetNozzleInfo(*o, head, ink)) return kMleNoNozzleInfo;
    const MleNozzleInfo& info = o->table.info;
    if (offset) *offset = info.yShift + (head > 0 ? o->table.headStart[info.head] : 0);
    if (nozzles) *nozzles = info.headNozzles;
    if (window) *window = MleNozzleRange{info.firstNozzle, info.endNozzle};
    if (lowerPair) *lowerPair = info.prevOverlap;
    if (upperPair) *upperPair = info.nextOverlap;
    if (states) *states = info.state;
    if (halftoneIndices) *halftoneIndices = info.lhtHalftone;
    return 0;
}

uint32_t MLE_GetHeadPosAfterPass(MLE_INSTANCE* o, int32_t n, uint8_t* valid, int32_t* vPos, int32_t* headPos,
                                 int32_t* vPosShifted, uint16_t* selector) {
    if (valid) *valid = 0;
    if (!o) return kMleHeadPosFailed;
    const int64_t pass = int64_t{o->passNo} + n;
    if (pass < 0 || pass > mle_total_passes(o->schedule) - 1) return 0;
    if (!mle_build_pass(*o, int32_t(pass))) return kMleHeadPosFailed;
    int64_t shift = 0;
    if (valid_ink(o, o->upperInk) && NLM_IsValid(o->nlm)) {
        int32_t first = 0, last = 0;
        used_heads(*o, o->upperInk, first, last);
        shift = int64_t{o->table.headStart[first]} * o->schedule.logic.pitch;
    }
    if (valid) *valid = 1;
    if (vPos) *vPos = o->vPos;
    if (headPos) *headPos = o->table.headPos;
    if (vPosShifted) *vPosShifted = clamp31(o->vPos + shift);
    if (selector) *selector = o->table.entries[0].selector;
    return 0;
}

int32_t MLE_GetEndHeadNo(const MLE_INSTANCE* o, int32_t ink) {
    if (!o) return 0;
    int32_t first = 0, last = o->resource->head.headNum - 1;
    if (valid_ink(o, ink)) used_heads(*o, ink, first, last);
    return last;
}

uint16_t MLE_GetHeadOffsetSize(const MLE_INSTANCE* o, int32_t head) {
    if (!o || o->resource->head.headNum < 2 || head < 0 || head >= o->resource->head.headNum) return 0;
    return uint16_t(int64_t{o->table.headStart[head]} * engine_pitch(*o));
}

int32_t MLE_GetHeadNum(const MLE_INSTANCE* o) { return o ? o->resource->head.headNum : 0; }

uint16_t MLE_GetNozzleNum(const MLE_INSTANCE* o, int32_t head, int32_t divisor) {
    if (!o || head < 0 || head >= o->resource->head.headNum || divisor <= 0) return 0;
    return uint16_t(o->resource->head.nozzleNumOfHead[head] / divisor);
}

int32_t MLE_GetVirtualNozzleNum(const MLE_INSTANCE* o) { return o ? int32_t(mle_virtual_nozzles(*o)) : 0; }

uint32_t MLE_SetYdsCorrectionArray(MLE_INSTANCE* o, int32_t columnNum, int32_t valuesPerLine,
                                   const int16_t* const* numerators, const int16_t* const* denominators) {
    return o ? YDS_SetCorrectionArray(columnNum, valuesPerLine, numerators, denominators, o->yds) : kMleNoObject;
}

uint32_t MLE_SetNlmChipUsed(MLE_INSTANCE* o, int32_t kind, int32_t count, const uint16_t* chips) {
    return o ? NLM_SetChipUsed(kind, count, chips, o->nlm) : kMleNoObject;
}

void MLE_SetRlsDischargeTiming(MLE_INSTANCE* o, int32_t timing) {
    if (o) RLS_SetDischargeTiming(timing, o->rls);
}

}  // namespace ovcg::irac
