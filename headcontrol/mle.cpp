// The pass engine object: its life cycle, the page's ink columns, the pass
// counter and the accessors.
#include "headcontrol/mle.h"

#include "headcontrol/codes.h"
#include "headcontrol/mle_edge.h"
#include "headcontrol/resource_stream.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>

namespace ovcg::irac {

namespace {

// Index of a command colour code in the resource's colour order; -1 when absent.
int32_t color_index(const MLEResourceData& r, uint8_t code) {
    for (int32_t i = 0; i < r.nozzleArrayNum; ++i)
        if (r.colorOrder[i] == code) return i;
    return -1;
}

// The per-colour direction correction: a colour's nozzle line prints later
// or earlier by its correction value relative to the largest one, scaled by
// the mode's resolution R and the print direction.
struct Correction {
    bool applies = false;
    int64_t largest = 0;  // D
};

Correction correction_of(const MLE_INSTANCE& e) {
    const MLEResourceData& r = *e.resource;
    Correction c;
    c.applies = r.mleFlag && e.printDirection != 0 && r.head.nozzleLineNum > 0 && r.head.lineValues &&
                r.head.nozzleLineNum >= r.nozzleArrayNum;
    if (c.applies)
        for (int32_t i = 0; i < r.nozzleArrayNum; ++i) c.largest = std::max<int64_t>(c.largest, r.head.lineValues[i]);
    return c;
}

// The offset value of colour `index` before normalisation: -o, corrected.
// With every correction value 0 (D = 0) the correction vanishes, as the
// formula does in its limit.
int64_t colour_value(const MLE_INSTANCE& e, const Correction& c, int32_t index) {
    const MLEResourceData& r = *e.resource;
    const int64_t o = r.nozzleArrayValues[index];
    if (!c.applies || c.largest == 0) return -o;
    const int64_t dir = e.printDirection;
    const int64_t corr = r.head.lineValues[index];
    const int64_t t = ((c.largest - corr) * dir * 10 / c.largest * r.modeValue1) / 25400 + (dir > 0 ? 5 : -5);
    return t / 10 - o;
}

uint32_t as_u32(int64_t v) { return static_cast<uint32_t>(static_cast<int32_t>(v)); }

void free_head_tables(MLE_INSTANCE& e) {
    const CallbackTable& cb = *e.cb;
    MleHeadTable& t = e.table;
    if (t.overlapValues) {
        for (int32_t b = 0; b + 1 < e.resource->head.headNum; ++b) release_ptr(cb, t.overlapValues[b]);
        release_ptr(cb, t.overlapValues);
    }
    release_ptr(cb, t.zones);
    release_ptr(cb, t.entries);
    release_ptr(cb, t.headStart);
}

uint32_t build_head_tables(MLE_INSTANCE& e) {
    const CallbackTable& cb = *e.cb;
    const HeadRecord& h = e.resource->head;
    MleHeadTable& t = e.table;
    if (alloc_array(cb, uint64_t(h.headNum), kMleNoHeadTables, t.entries) ||
        alloc_array(cb, uint64_t(h.headNum), kMleNoHeadTables, t.headStart))
        return kMleNoHeadTables;
    for (int32_t i = 0; i + 1 < h.headNum; ++i)
        t.headStart[i + 1] = uint16_t(t.headStart[i] + h.nozzleNumOfHead[i] - h.headOverlapNum[i]);
    if (h.headNum < 2) return 0;
    const uint64_t boundaries = uint64_t(h.headNum - 1);
    if (alloc_array(cb, boundaries, kMleNoOverlapTables, t.zones) ||
        alloc_array(cb, boundaries, kMleNoOverlapTables, t.overlapValues))
        return kMleNoOverlapTables;
    for (int32_t i = 0; i + 1 < h.headNum; ++i) {
        t.zones[i] = MleOverlapZone{t.headStart[i + 1], uint16_t(t.headStart[i] + h.nozzleNumOfHead[i])};
        if (alloc_array(cb, h.headOverlapNum[i], kMleNoOverlapTables, t.overlapValues[i])) return kMleNoOverlapTables;
    }
    return 0;
}

}  // namespace

// ---- Life cycle ---------------------------------------------------------------------

uint32_t MLE_Constructor(MLE_INSTANCE** out, int32_t printDirection, const CallbackTable* cb, RscObject* rsc) {
    if (!out) return kMleNoObject;
    *out = nullptr;
    if (!cb) return kMleNoObject;
    if (!rsc) return kRscNotAvailable;
    MLE_INSTANCE* o = nullptr;
    if (alloc_record(*cb, kMleNoObject, o)) return kMleNoObject;
    o->cb = cb;
    o->printDirection = static_cast<int16_t>(printDirection);
    uint32_t rc = RSC_GetMLEResourceData(rsc, &o->resource);
    if (!rc) {
        const HeadRecord& h = o->resource->head;
        if (h.headNum < 1 || !h.nozzleNumOfHead || (h.headNum > 1 && !h.headOverlapNum)) {
            release(*cb, o);
            return kMleBadLogic;
        }
        rc = alloc_record(*cb, kMleNoObject, o->inputInk);
    }
    if (!rc) {
        RSC_TransferLht(&o->lht, rsc);
        RSC_TransferYds(&o->yds, rsc);
        RSC_TransferNlm(&o->nlm, rsc);
        RSC_TransferRls(&o->rls, rsc);
        rc = build_head_tables(*o);
    }
    if (rc) {
        if (o->resource) {
            MLE_Destructor(o);
        } else {
            release(*cb, o);
        }
        return rc;
    }
    *out = o;
    return 0;
}

void MLE_Destructor(MLE_INSTANCE* o) {
    if (!o) return;
    const CallbackTable& cb = *o->cb;
    // A page that was not ended is freed as well: nothing outlives the object.
    FreeSchedule(*o);
    free_head_tables(*o);
    if (o->inputInk) FreeInputInkInfoContent(cb, *o->inputInk);
    release_ptr(cb, o->inputInk);
    mle_free_mir(cb, o->mir);
    LHT_Free(&o->lht, &cb);
    YDS_Free(&o->yds, &cb);
    NLM_Free(&o->nlm, &cb);
    RLS_Free(&o->rls, &cb);
    release(cb, o);
}

uint32_t MLE_StartPage(MLE_INSTANCE* o, uint32_t length, uint16_t inkCount, const uint8_t* codes, const void*,
                       int32_t* top) {
    if (!o) return kMleNoObject;
    const MLEResourceData& r = *o->resource;
    const CallbackTable& cb = *o->cb;
    // 1. The page's state.
    FreeSchedule(*o);
    o->passNo = 0;
    o->autoBottomLength = 0;
    o->schedule = MleSchedule{};
    o->schedule.notPrintStart = 0;
    o->schedule.notPrintEnd = o->schedule.scheduleLength = length;
    o->columnCount = 0;
    std::fill(std::begin(o->columnRank), std::end(o->columnRank), int16_t{0});
    std::fill(std::begin(o->columnOffset), std::end(o->columnOffset), 0);
    std::fill(std::begin(o->columnCode), std::end(o->columnCode), uint8_t{0});
    std::fill(std::begin(o->columnLine), std::end(o->columnLine), uint16_t{0});
    std::fill(std::begin(o->inkColumn), std::end(o->inkColumn), int16_t{0});
    std::fill(std::begin(o->inkNozzleShift), std::end(o->inkNozzleShift), 0);
    o->minOffsetColumn = o->maxOffsetColumn = 0;
    o->minNegOffset = 0;
    o->upperInk = o->lowerInk = 0;
    o->rowLead = 0;
    o->inkCount = 0;
    if (inkCount > kMleMaxInks) return kMleTooManyInks;
    if (inkCount > 0 && !codes) return kMleUnknownInk;
    const Correction corr = correction_of(*o);
    if (r.mleFlag && o->printDirection != 0 && r.head.nozzleLineNum > 0 && r.head.nozzleLineNum < r.nozzleArrayNum)
        return kMleTooManyInks;  // a colour without its correction value
    o->inkCount = inkCount;
    // 2. The input-ink record.
    InputInkInfo& in = *o->inputInk;
    FreeInputInkInfoContent(cb, in);
    if (alloc_array(cb, inkCount, kMleNoObject, in.codes) || alloc_array(cb, inkCount, kMleNoObject, in.positions))
        return kMleNoObject;
    in.count = static_cast<int16_t>(inkCount);
    for (int32_t i = 0; i < inkCount; ++i) {
        in.codes[i] = codes[i];
        const int32_t k = color_index(r, codes[i]);
        in.positions[i] = k < 0 ? 0 : uint16_t(r.nozzleArrayNum - 1 - k);
    }
    // 4. Columns: one per ink, or with the split colour table one per
    // command colour that the inks' rows name, each ink keeping its row shift.
    for (int32_t i = 0; i < inkCount; ++i) {
        uint8_t colour = codes[i];
        if (r.blockE) {
            int32_t row = -1;
            for (int32_t k = 0; k < r.blockE->n && row < 0; ++k)
                if (r.blockE->rowCodes[k] == codes[i]) row = k;
            if (row < 0) return kMleUnknownInk;
            colour = r.blockE->commandColors[row];
            o->inkNozzleShift[i] = r.blockE->rowShifts[row];
        }
        int32_t c = 0;
        if (r.blockE) {
            while (c < o->columnCount && o->columnCode[c] != colour) ++c;
        } else {
            c = i;
        }
        if (c == o->columnCount) o->columnCode[o->columnCount++] = colour;
        o->inkColumn[i] = static_cast<int16_t>(c);
    }
    // 5. Each column's offset in rasters, corrected for the print direction.
    int64_t value[kMleMaxInks] = {};
    int64_t resourceOffset[kMleMaxInks] = {};
    int64_t minNeg = 0;
    for (int32_t c = 0; c < o->columnCount; ++c) {
        const int32_t k = color_index(r, o->columnCode[c]);
        if (k < 0) return kMleUnknownInk;
        o->columnLine[c] = uint16_t(r.nozzleArrayNum - 1 - k);
        resourceOffset[c] = r.nozzleArrayValues[k];
        value[c] = colour_value(*o, corr, k);
        minNeg = std::min(minNeg, -resourceOffset[c]);
        if (value[c] > value[o->maxOffsetColumn]) o->maxOffsetColumn = static_cast<int16_t>(c);
        if (value[c] < value[o->minOffsetColumn]) o->minOffsetColumn = static_cast<int16_t>(c);
    }
    o->minNegOffset = static_cast<int32_t>(minNeg);
    // 6. The largest becomes 0.
    const int64_t largest = o->columnCount > 0 ? value[o->maxOffsetColumn] : 0;
    for (int32_t c = 0; c < o->columnCount; ++c) {
        const int64_t v = value[c] - largest;
        if (v < INT32_MIN) return kMleBadLogic;
        o->columnOffset[c] = static_cast<int32_t>(v);
    }
    // 7. The inks whose nozzles stand lowest and highest.
    const MicroweaveLogicRecord* g0 = mle_first_logic(r);
    const int64_t pitch = g0 ? g0->pitch : 0;
    int64_t hiP = 0, loP = 0;
    for (int32_t i = 0; i < inkCount; ++i) {
        const int64_t p = o->inkNozzleShift[i] * pitch + o->columnOffset[o->inkColumn[i]];
        if (i == 0 || p > hiP) {
            o->upperInk = static_cast<int16_t>(i);
            hiP = p;
        }
        if (i == 0 || p < loP) {
            o->lowerInk = static_cast<int16_t>(i);
            loP = p;
        }
    }
    // 8. Ranks of the resource offsets, ties sharing a rank.
    for (int32_t c = 0; c < o->columnCount; ++c) {
        int16_t rank = 0;
        for (int32_t d = 0; d < o->columnCount; ++d) {
            bool smaller = resourceOffset[d] < resourceOffset[c];
            for (int32_t e = 0; e < d && smaller; ++e)
                if (resourceOffset[e] == resourceOffset[d]) smaller = false;  // counted once
            rank = static_cast<int16_t>(rank + smaller);
        }
        o->columnRank[c] = rank;
    }
    // 9.
    if (top) *top = CalcHeadTopPosition(*o);
    return 0;
}

uint32_t MLE_CreateSchedulingTable(MLE_INSTANCE* o, int32_t selector, uint32_t* vPos) {
    if (!o) return kMleNoObject;
    const uint32_t rc = mle_plan_page(*o, selector, kMleCreateFailed);
    if (!rc && vPos) *vPos = as_u32(o->vPos);
    return rc;
}

uint32_t MLE_ReCreateSchedulingTable(MLE_INSTANCE* o, uint32_t length) {
    if (!o) return kMleNoObject;
    o->schedule.scheduleLength = length;
    return mle_plan(*o, 0, kMleReplanFailed);
}

uint32_t MLE_MakeHeadTable(MLE_INSTANCE* o) {
    if (!o || !mle_build_pass(*o, o->passNo)) return kMleMakeFailed;
    FillHeadInfo(*o, 0);
    return 0;
}

uint32_t MLE_Next(MLE_INSTANCE* o, uint32_t* vPos, uint8_t* end) {
    if (!o) return kMleNextFailed;
    const int64_t last = mle_total_passes(o->schedule) - 1;
    if (end) *end = 1;
    if (o->passNo > last) return 0;
    ++o->passNo;
    if (o->passNo > last) return 0;
    if (end) *end = 0;
    if (!mle_build_pass(*o, o->passNo)) return kMleNextFailed;
    if (vPos) *vPos = as_u32(o->vPos);
    return 0;
}

bool MLE_IsLastPass(const MLE_INSTANCE* o) { return o && o->passNo >= mle_total_passes(o->schedule) - 1; }

uint32_t MLE_GetVPos(const MLE_INSTANCE* o) { return o ? as_u32(o->vPos) : 0; }

void MLE_EndPage(MLE_INSTANCE* o) {
    if (o) FreeSchedule(*o);
}

void MLE_SetNotPrintRaster(MLE_INSTANCE* o, int32_t start, int32_t end) {
    if (!o) return;
    if (start >= 0) o->schedule.notPrintStart = uint32_t(start);
    if (end >= 0) o->schedule.notPrintEnd = uint32_t(end);
}

// ---- Accessors ----------------------------------------------------------------------

uint32_t MLE_GetNozzleInfo(MLE_INSTANCE* o, int32_t head, int32_t ink, const MleNozzleInfo** out) {
    if (out) *out = nullptr;
    if (!o || !GetNozzleInfo(*o, head, ink)) return kMleNoNozzleInfo;
    if (out) *out = &o->table.info;
    return 0;
}

void MLE_GetPOLPassNo(const MLE_INSTANCE* o, uint32_t* first, uint32_t* second) {
    if (first) *first = o ? o->table.polPassFirst : kMleNoPolPass;
    if (second) *second = o ? o->table.polPassSecond : kMleNoPolPass;
}

// Every raster a pass reads lies in [vPos + MLE_GetOffsetNozzleMax,
// that + the head height): the spread of the colours' offsets (all of the
// mode's colours, so it holds before a page starts), plus the virtual head
// at the largest pitch of the mode's logics.
uint32_t MLE_GetHeadheight(const MLE_INSTANCE* o) {
    if (!o) return 0;
    const MLEResourceData& r = *o->resource;
    const Correction corr = correction_of(*o);
    int64_t hi = 0, lo = 0;
    for (int32_t k = 0; k < r.nozzleArrayNum; ++k) {
        const int64_t v = colour_value(*o, corr, k);
        hi = std::max(hi, v);
        lo = std::min(lo, v);
    }
    int64_t pitch = 0;
    for (int32_t u = 0; u < r.unitNum; ++u) pitch = std::max<int64_t>(pitch, r.units[u].pitch);
    const int64_t height = (hi - lo) + (mle_virtual_nozzles(*o) - 1) * pitch + 1;
    return static_cast<uint32_t>(std::clamp<int64_t>(height, 0, UINT32_MAX));
}

int32_t MLE_GetOffsetNozzleMax(const MLE_INSTANCE* o) { return o ? o->columnOffset[o->minOffsetColumn] : 0; }

int32_t MLE_GetOffsetNozzle(const MLE_INSTANCE* o, int32_t ink) {
    return o && ink >= 0 && ink < o->inkCount ? o->columnOffset[o->inkColumn[ink]] : 0;
}

int16_t MLE_GetIndexNozzle(const MLE_INSTANCE* o, int32_t ink) {
    return o && ink >= 0 && ink < o->inkCount ? o->columnRank[o->inkColumn[ink]] : 0;
}

int16_t MLE_GetUpperColumnIndex(const MLE_INSTANCE* o) { return o ? o->maxOffsetColumn : 0; }

int16_t MLE_GetNormalMaxFeed(const MLE_INSTANCE* o) {
    if (!o) return 0;
    const MicroweaveLogicRecord* g = o->schedule.logic.layers ? &o->schedule.logic : mle_slot_logic(*o->resource, 0);
    if (!g) return 0;
    for (uint32_t i = 0; i < g->layerCount; ++i) {
        const MicroweaveLayerRecord& l = g->layers[i];
        if (l.kind != 1 || l.cycleLength < 1) continue;
        return *std::max_element(l.feed, l.feed + l.cycleLength);
    }
    return 0;
}

// The offset of the colour with the code; the first colour's for a code
// the colour table lacks, 0 for an empty table.
uint16_t MLE_GetNozzleOffsetTRAQ(const MLE_INSTANCE* o, uint8_t code) {
    if (!o || o->resource->nozzleArrayNum < 1) return 0;
    const int32_t k = color_index(*o->resource, code);
    return o->resource->nozzleArrayValues[k < 0 ? 0 : k];
}

uint16_t MLE_GetNozzleMax(const MLE_INSTANCE* o) {
    if (!o) return 0;
    const HeadRecord& h = o->resource->head;
    return *std::max_element(h.nozzleNumOfHead, h.nozzleNumOfHead + h.headNum);
}

bool MLE_BRS(const MLE_INSTANCE* o) {
    const MicroweaveLogicRecord* g = o ? mle_slot_logic(*o->resource, 0) : nullptr;
    return g && (g->flags2 & kMwBrsLogic);
}

namespace {
bool slot0_has_kind(const MLE_INSTANCE* o, int16_t kind) {
    const MicroweaveLogicRecord* g = o ? mle_slot_logic(*o->resource, 0) : nullptr;
    if (!g) return false;
    for (uint32_t i = 0; i < g->layerCount; ++i)
        if (g->layers[i].kind == kind) return true;
    return false;
}
}  // namespace

bool MLE_BRSUpper(const MLE_INSTANCE* o) { return slot0_has_kind(o, 0); }
bool MLE_BRSLower(const MLE_INSTANCE* o) { return slot0_has_kind(o, 2); }
bool MLE_BRSAutoLower(const MLE_INSTANCE* o) {
    return o && o->resource->unitIndexOfSlot[3] >= 0 && o->resource->unitIndexOfSlot[3] < o->resource->unitNum;
}
bool MLE_BRSPositioning(const MLE_INSTANCE* o) {
    const MicroweaveLogicRecord* g = o ? mle_slot_logic(*o->resource, 0) : nullptr;
    return g && (g->flags & kMwLowerPositioning);
}

int32_t MLE_GetHeadTopPosition(const MLE_INSTANCE* o) { return o ? CalcHeadTopPosition(*o) : 0; }

bool MLE_FindPOLIndex(const MLE_INSTANCE* o, uint16_t index) {
    if (!o) return false;
    const MLEResourceData& r = *o->resource;
    for (int32_t u = 0; u < r.unitNum; ++u)
        for (uint32_t i = 0; i < r.units[u].layerCount; ++i) {
            const MicroweaveLayerRecord& l = r.units[u].layers[i];
            if (!l.hasStepValues || !l.stepValue) continue;
            if (std::find(l.stepValue, l.stepValue + l.cycleLength, index) != l.stepValue + l.cycleLength) return true;
        }
    return false;
}

void MLE_GetTRAQColorCode(const MLE_INSTANCE* o, int32_t* count, uint8_t* codes, int32_t capacity) {
    int32_t n = 0;
    auto put = [&](uint8_t code) {
        if (codes && n < capacity) codes[n] = code;
        ++n;
    };
    if (o) {
        const MLEResourceData& r = *o->resource;
        if (r.blockE) {
            for (int32_t k = 0; k < r.blockE->n; ++k)
                if (r.blockE->rowCodes[k] < 255) put(r.blockE->rowCodes[k]);
        } else {
            for (int32_t k = 0; k < r.nozzleArrayNum; ++k) put(r.colorOrder[k]);
        }
    }
    if (count) *count = n;
}

uint32_t MLE_GetMinLength(const MLE_INSTANCE* o, uint32_t* length) {
    if (!o || o->resource->minLength == 0) return kMleNoMinLength;
    if (length) *length = o->resource->minLength;
    return 0;
}

// The halftone-mask switching position: the raster where the lower ink's
// first printing nozzle stands in the first pass after the normal group,
// plus the switching offset. The current pass's head table is rebuilt after.
uint32_t MLE_GetHTMaskSwitchingPosition(MLE_INSTANCE* o, int32_t* pos, int32_t* switchPos) {
    if (!o) return kMleNoSwitchingPosition;
    const MLEResourceData& r = *o->resource;
    if (r.htMaskSwitchingPosition < 0) return kMleNoSwitchingPosition;
    if (pos) *pos = r.htMaskSwitchingPosition;
    if (r.brsCalculationMethod == 0xFFFFFFFFu) {
        if (switchPos) *switchPos = INT32_MAX;
        return 0;
    }
    const MleSchedule& s = o->schedule;
    const int32_t pass = s.upperPasses + s.preNormalPasses + s.normalPasses;
    uint32_t rc = kMleSwitchingNoWindow;
    if (!MakeHeadTable(*o, pass)) {
        rc = kMleSwitchingTableFailed;
    } else {
        for (int32_t h = 0; h < r.head.headNum; ++h) {
            if (!GetNozzleInfo(*o, h, o->lowerInk)) break;
            const MleNozzleInfo& info = o->table.info;
            if (info.firstNozzle < info.endNozzle) {
                const int64_t p = int64_t{info.firstNozzle} * info.pitch + info.nozzlePos + r.subModeValue4;
                if (switchPos) *switchPos = static_cast<int32_t>(p);
                rc = 0;
                break;
            }
        }
    }
    if (o->passNo < mle_total_passes(s)) mle_build_pass(*o, o->passNo);
    return rc;
}

uint32_t MLE_GetPreBuffringRasterPos(const MLE_INSTANCE* o, int32_t* pos) {
    if (!o || o->resource->preBufferingRaster < -1) return kMleNoPreBuffering;
    if (pos) *pos = o->resource->preBufferingRaster;
    return 0;
}

bool MLE_IsBRSCalculationMethod(const MLE_INSTANCE* o) { return o && o->resource->brsCalculationMethod == 1; }

// Null passes of the F-trans group (code 10) and, after them, of the lower
// group (the other codes), from the first logic's null-pass list.
bool MLE_IsInsertNullPass(const MLE_INSTANCE* o, int32_t pass) {
    const MicroweaveLogicRecord* g = o ? mle_first_logic(*o->resource) : nullptr;
    if (!g) return false;
    const MleSchedule& s = o->schedule;
    int64_t p = pass;
    for (int32_t before : {s.upperPasses, s.preNormalPasses, s.normalPasses, s.mwswPasses}) {
        p -= before;
        if (p < 0) return false;
    }
    const int64_t fTrans = int64_t{g->nullPassFTransCount} + s.fTransPasses;
    if (p < fTrans) return IsInsertNullPass(*g, kMwNullPassFTrans, uint32_t(p));
    const int64_t q = p - fTrans;
    if (q < int64_t{g->nullPassOtherCount} + s.lowerPasses) return IsInsertNullPass(*g, 2, uint32_t(q));
    return false;
}

uint32_t MLE_GetInsertNullPassNum(const MLE_INSTANCE* o, int32_t first, uint32_t count) {
    const MicroweaveLogicRecord* g = o ? mle_first_logic(*o->resource) : nullptr;
    if (!g || g->nullPassCount < 1) return 0;
    // Only passes after the MWSW group, within the F-trans and lower groups
    // and their null entries, can be null passes.
    const MleSchedule& s = o->schedule;
    const int64_t base = int64_t{s.upperPasses} + s.preNormalPasses + s.normalPasses + s.mwswPasses;
    const int64_t span = int64_t{g->nullPassFTransCount} + s.fTransPasses + g->nullPassOtherCount + s.lowerPasses;
    const int64_t from = std::max<int64_t>(first, base), to = std::min<int64_t>(int64_t{first} + count, base + span);
    uint32_t n = 0;
    for (int64_t p = from; p < to; ++p) n += MLE_IsInsertNullPass(o, static_cast<int32_t>(p));
    return n;
}

uint16_t MLE_GetNozzlePitchIncludedNozzleInfo(const MLE_INSTANCE* o) { return o ? o->table.info.pitch : 0; }

bool MLE_GetLayeredHTEnable(const MLE_INSTANCE* o) { return o && LHT_GetEnable(o->lht); }

}  // namespace ovcg::irac
