// The page schedule: loading a logic, the moving range that maps its layers
// onto the page, and the phases and pass counts of its layers.
#include "headcontrol/codes.h"
#include "headcontrol/mle.h"
#include "headcontrol/mle_edge.h"
#include "headcontrol/resource_stream.h"

#include <algorithm>
#include <climits>

namespace ovcg::irac {

namespace {

using walk::count_passes;
using walk::floor_mod;
using walk::LayerSpan;

constexpr int32_t kMaxRangeEnd = 32767;
constexpr int32_t kMaxCycleFeed = 32767;

// Layer types whose passes the planner walks by their own feeds: their
// cycle must advance. Types 13, 15, 16 and 18 only lend windows, selectors
// and step values at a pass index.
constexpr bool walked_type(int32_t type) { return type != 13 && type != 15 && type != 16 && type != 18; }

int32_t layer_type(const MicroweaveLayerRecord& l) { return l.kind % 20; }

int64_t feed_sum(const MicroweaveLayerRecord& l) {
    int64_t sum = 0;
    for (int32_t i = 0; i < l.cycleLength; ++i) sum += l.feed[i];
    return sum;
}

// Values of a logic that serve as divisors, moduli, indexes or loop steps.
uint32_t check_logic(const MicroweaveLogicRecord& g, int32_t heads) {
    if (g.pitch < 1 || g.headUnitCount < 1 || !g.headUnits || g.nullPassCount < 0) return kMleBadLogic;
    if (g.normal.count < 0 || g.fTrans.count < 0 || g.mwsw.count < 0) return kMleBadLogic;
    if (g.layerCount > 0 && !g.layers) return kMleBadLogic;
    for (uint32_t i = 0; i < g.layerCount; ++i) {
        const MicroweaveLayerRecord& l = g.layers[i];
        if (l.kind < 0 || l.kind / 20 >= heads) return kMleBadLogic;
        if (l.cycleLength < 1 || !l.feed || !l.range || l.selectorCount < 0 || l.groupCount < 0) return kMleBadLogic;
        for (int32_t k = 0; k < l.cycleLength; ++k)
            if (l.range[k].end > kMaxRangeEnd) return kMleBadLogic;
        if (walked_type(layer_type(l))) {
            const int64_t sum = feed_sum(l);
            if (sum < 1 || sum > kMaxCycleFeed) return kMleBadLogic;
        }
    }
    return 0;
}

bool fits31(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// The rows of a moving-range table that a value x walks past from row 0:
// while what is left is at least the row's width, the row is passed.
struct TableWalk {
    int32_t row = 0;
    int64_t passed = 0;  // widths of the rows passed
};

TableWalk walk_table(const MovingRangeTable& t, int64_t x) {
    TableWalk w;
    for (int32_t n = 0; n < t.count && x - w.passed >= t.width[w.row]; ++n) {
        w.passed += t.width[w.row];
        w.row = (w.row + 1) % t.count;
    }
    return w;
}

// What SetMovingRange needs of the moving range.
struct MovingRange {
    int64_t remainder = 0;     // R
    int64_t widthsWalked = 0;  // W
    int64_t lowerValue = 0;    // V
    int64_t tableRemainder = 0;  // B
    int64_t tableWalked = 0;     // Wf
    int64_t tableValue = 0;      // Vf
    int32_t phase = 0;           // P
    int32_t lowerPhase = 0;      // Q
};

// The one-table moving range of a logic without MWSW and F-trans layers:
// the page length's remainder over the normal table's total width selects
// the row that positions the lower layers.
uint32_t one_table_moving_range(const MleSchedule& s, int64_t pageLength, MovingRange& m) {
    const MovingRangeTable& t = s.logic.normal;
    int64_t total = 0;
    for (int32_t i = 0; i < t.count; ++i) total += t.width[i];
    if (t.count < 1 || total < 1) return kMleEmptyRangeTable;
    const int64_t normalStart = s.normal ? s.normal->start : 0;
    const int64_t lowerStart = s.lower ? s.lower->start : 0;
    const int64_t d = pageLength - (normalStart - s.logic.topOffset - lowerStart);
    if (d < 0) return kMleNegativeRange;
    const int64_t x = d % total;
    const TableWalk w = walk_table(t, x);
    m.remainder = x;
    m.widthsWalked = w.passed;
    m.lowerValue = t.value[w.row] + (t.addRemainder[w.row] ? x - w.passed : 0);
    m.lowerPhase = t.phase[w.row];
    return 0;
}

// Absolute layer positions: a non-negative value counts from the top less
// topOffset, a negative one from the moving range at the page end; an end
// of 0 is the page's last raster.
uint32_t SetMovingRange(MleSchedule& s, int64_t L, const MovingRange& m) {
    const bool hasMwsw = s.mwsw != nullptr, hasFTrans = s.fTrans != nullptr;
    const int64_t lowerForm = L - m.remainder + m.widthsWalked + m.lowerValue;
    const int64_t tableForm = L - m.tableRemainder + m.tableWalked + m.tableValue;
    for (uint32_t i = 0; i < s.logic.layerCount; ++i) {
        MicroweaveLayerRecord& l = s.logic.layers[i];
        const int32_t t = layer_type(l);
        int64_t start = l.start, end = l.end;
        if (start >= 0) {
            start -= s.logic.topOffset;
        } else if (t == 2) {
            start += lowerForm;
        } else if (l.kind == 10 || l.kind == 12 || (t >= 6 && t <= 8) || (t == 5 && hasMwsw)) {
            start += tableForm;
        } else {
            start += L - m.remainder;
        }
        if (end == 0) {
            end = L - 1;
        } else if (end > 0) {
            end -= s.logic.topOffset;
        } else if (t == 2) {
            end += lowerForm;
        } else if (!hasMwsw && !hasFTrans) {
            end += L - m.remainder + m.widthsWalked;
        } else if (t == 1 || t == 3 || t == 4) {
            end += L - m.tableRemainder + m.tableWalked;
        } else {
            end += L - m.remainder + m.widthsWalked;
        }
        if (!fits31(start) || !fits31(end)) return kMleBadLogic;
        l.start = static_cast<int32_t>(start);
        l.end = static_cast<int32_t>(end);
    }
    return 0;
}

// Passes of a counted layer: 246 when it ends before it starts, 249 beyond 31 bits.
uint32_t counted(const MicroweaveLayerRecord& l, int64_t first, int32_t& out) {
    const int64_t n = count_passes(l, first, l.end);
    if (n < 0) return kMleNegativeRange;
    if (n > INT32_MAX) return kMleBadLogic;
    out = static_cast<int32_t>(n);
    return 0;
}

// Steps from the layer's first pass until a later pass has the first
// pass's selector at the same position modulo the pitch; 1 when none does
// within the range. The triple (step, selector index, position mod pitch)
// repeats after C x selectorCount x pitch passes, which bounds the search;
// so does kMaxPolCycleSearch, far beyond any real overlap cycle.
constexpr int64_t kMaxPolCycleSearch = int64_t{1} << 22;

int32_t pol_cycle(const MicroweaveLayerRecord& l, int64_t pitch) {
    const int64_t passes = count_passes(l, l.start, l.end);
    const int64_t period = int64_t{l.cycleLength} * std::max<int16_t>(l.selectorCount, 1) * pitch;
    const int64_t last = std::min({passes, period + 1, kMaxPolCycleSearch});
    const uint16_t sel0 = walk::selector_of(l, 0);
    int64_t pos = l.start;
    for (int64_t j = 1; j < last; ++j) {
        pos += walk::feed_at(l, j - 1);
        if (walk::selector_of(l, j) == sel0 && floor_mod(pos - l.start, pitch) == 0)
            return j > INT32_MAX ? 1 : static_cast<int32_t>(j);
    }
    return 1;
}

// Phases and pass counts of the layers, and the pass groups.
uint32_t SetLayerParam(MLE_INSTANCE& e, int64_t headOffset, bool firstBuild, const MovingRange& m) {
    MleSchedule& s = e.schedule;
    MicroweaveLayerRecord* layers = s.logic.layers;
    const uint32_t n = s.logic.layerCount;
    for (uint32_t i = 0; i < n; ++i) {
        MicroweaveLayerRecord& l = layers[i];
        l.phase = l.selectorPhase = l.groupPhase = 0;
        const int32_t t = layer_type(l);
        if (l.kind == 2 || t == 17) l.phase = static_cast<int16_t>(m.lowerPhase);
        if (l.kind == 10 || l.kind == 12 || t == 19) l.phase = static_cast<int16_t>(floor_mod(m.phase, l.cycleLength));
        if (t >= 5 && t <= 8 && s.mwsw) l.phase = static_cast<int16_t>(m.phase);
    }
    int32_t segment = 0;
    for (uint32_t i = 0; i < n; ++i) {
        MicroweaveLayerRecord& l = layers[i];
        const int64_t first = l.start + ((l.kind == 2 || l.kind == 5) ? headOffset : 0);
        int32_t count = 0;
        switch (l.kind) {
            case 0: case 1: case 2: case 5: case 6: case 9: case 10:
                if (uint32_t rc = counted(l, first, count)) return rc;
                break;
            default: break;
        }
        switch (l.kind) {
            case 0: s.upperPasses = count; break;
            case 9: s.preNormalPasses = count; s.preNormalStart = l.start; break;
            case 1: s.normalPasses = count; s.normalStart = l.start; break;
            case 10: s.fTransPasses = count; s.fTransStart = l.start; break;
            case 2: s.lowerPasses = count; s.lowerStart = l.start; break;
            case 6: s.mwswPasses = count; s.mwswStart = l.start; break;
            case 5: s.mwswExtraPasses = count; break;  // less the group's passes below
            default: break;
        }
        if (l.kind == 3) s.polCycle = pol_cycle(l, s.logic.pitch);
        if (firstBuild && layer_type(l) == 5 && s.segments && segment < s.segmentCount) s.segments[segment++] = &l;
    }
    // What depends on the groups' counts.
    const MicroweaveLayerRecord* N = s.normal;
    for (uint32_t i = 0; i < n; ++i) {
        MicroweaveLayerRecord& l = layers[i];
        if (l.kind == 5) s.mwswExtraPasses -= s.mwsw ? s.mwswPasses : s.normalPasses;
        if (N && ((l.kind >= 6 && l.kind <= 8) || (l.kind == 5 && s.mwsw))) {
            l.selectorPhase = static_cast<int16_t>(
                N->selectorCount > 0 ? floor_mod(int64_t{N->selectorPhase} + s.normalPasses, N->selectorCount) : 0);
            l.groupPhase = static_cast<int16_t>(
                N->groupCount > 0 ? floor_mod(int64_t{N->groupPhase} + s.normalPasses, N->groupCount) : 0);
        }
        // The normal region's last overlap layer covers the normal group's last passes.
        if (l.kind == 14 && N && s.normalPasses > 0) {
            const int64_t own = std::min<int64_t>(count_passes(l, l.start, l.end), s.normalPasses);
            if (own >= 1) {
                l.start = static_cast<int32_t>(walk::pass_position(*N, N->start, s.normalPasses - own));
                l.end = static_cast<int32_t>(walk::pass_position(*N, N->start, s.normalPasses - 1));
            }
        }
    }
    const int64_t total = int64_t{s.upperPasses} + s.preNormalPasses + s.normalPasses + s.mwswPasses +
                          s.fTransPasses + s.lowerPasses;
    if (total > INT32_MAX) return kMleBadLogic;
    // What bounds the walks over each layer's passes.
    for (uint32_t i = 0; i < n; ++i) {
        const MicroweaveLayerRecord& l = layers[i];
        LayerSpan& sp = s.spans[i];
        sp = LayerSpan{};
        sp.first = l.start + ((l.kind == 2 || l.kind == 5) ? headOffset : 0);
        if (walked_type(layer_type(l))) {
            sp.passCount = std::max<int64_t>(count_passes(l, sp.first, l.end), 0);
            walk::prefix_extremes(l, sp.prefixMin, sp.prefixMax);
        }
    }
    return 0;
}

}  // namespace

bool IsInsertNullPass(const MicroweaveLogicRecord& logic, uint16_t code, uint32_t pass) {
    for (int32_t i = 0; i < logic.nullPassCount; ++i)
        if (logic.nullPassCode[i] == code && logic.nullPassNo[i] == pass) return true;
    return false;
}

void FreeInputInkInfoContent(const CallbackTable& cb, InputInkInfo& record) {
    release_ptr(cb, record.codes);
    release_ptr(cb, record.positions);
    record.count = 0;
}

void FreeSchedule(MLE_INSTANCE& e) {
    const CallbackTable& cb = *e.cb;
    MleSchedule& s = e.schedule;
    release_ptr(cb, s.fTransTable);
    release_ptr(cb, s.lowerTable);
    release_ptr(cb, s.dummyHeadTable);
    release_ptr(cb, s.segments);
    release_ptr(cb, s.logic.layers);
    s.logic.layerCount = 0;
    release_ptr(cb, s.spans);
    if (s.lowerEdge) release_ptr(cb, s.lowerEdge->passFlags);
    release_ptr(cb, s.lowerEdge);
    release_ptr(cb, s.lowerFeedTable);
    for (int16_t*& w : s.workArrays) release_ptr(cb, w);
    release_ptr(cb, s.state);
    release_ptr(cb, s.rasterOffset);
    release_ptr(cb, s.headNo);
    release_ptr(cb, s.stepValue);
    release_ptr(cb, s.overlapWidth);
    release_ptr(cb, s.lhtEnable);
    release_ptr(cb, s.cover);
    s.upper = s.normal = s.lower = s.normalPol = s.lowerPol = s.mwsw = s.mwswPol = s.preNormal = s.fTrans =
        s.fTransPol = s.secondNormal = nullptr;
    s.segmentCount = 0;
}

uint32_t GetResouceData(MLE_INSTANCE& e, const CallbackTable& cb, int32_t selector) {
    FreeSchedule(e);
    const MLEResourceData& r = *e.resource;
    if (selector < 0 || selector > 3) return kMleNoLogic;
    const int32_t index = r.unitIndexOfSlot[selector];
    if (index < 0 || index >= r.unitNum || !r.units) return kMleNoLogic;
    const MicroweaveLogicRecord& src = r.units[index];
    if (uint32_t rc = check_logic(src, r.head.headNum)) return rc;
    if (mle_needs_edge_planning(r, src)) return kMleBadLogic;
    MleSchedule& s = e.schedule;
    s.logic = src;
    s.logic.layers = nullptr;
    s.logic.layerCount = 0;
    if (uint32_t rc = alloc_array(cb, src.layerCount, kMleNoLayers, s.logic.layers)) return rc;
    for (uint32_t i = 0; i < src.layerCount; ++i) s.logic.layers[i] = src.layers[i];
    s.logic.layerCount = src.layerCount;
    e.table.info.firstHeadNozzles = r.head.nozzleNumOfHead[0];
    e.table.info.pitch = src.pitch;
    return 0;
}

uint32_t CreateSchedule(MLE_INSTANCE& e, uint32_t pageLength, bool firstBuild) {
    const CallbackTable& cb = *e.cb;
    MleSchedule& s = e.schedule;
    MicroweaveLogicRecord& g = s.logic;
    // 1. Counts and outputs.
    s.upperPasses = s.preNormalPasses = s.normalPasses = s.mwswPasses = s.fTransPasses = s.lowerPasses = 0;
    s.mwswExtraPasses = 0;
    s.notPrintEnd = pageLength;
    s.maxNozzle = 0;
    s.nozzleSpan = 0;
    s.polCycle = 1;
    // 2. Cycle sums, the widest window, the classes.
    int32_t maxEnd = 0;
    s.segmentCount = 0;
    for (uint32_t i = 0; i < g.layerCount; ++i) {
        MicroweaveLayerRecord& l = g.layers[i];
        l.cycleFeed = static_cast<int16_t>(feed_sum(l));
        for (int32_t k = 0; k < l.cycleLength; ++k) maxEnd = std::max<int32_t>(maxEnd, l.range[k].end);
        switch (l.kind) {
            case 0: s.upper = &l; break;
            case 1: s.normal = &l; break;
            case 2: s.lower = &l; break;
            case 3: s.normalPol = &l; break;
            case 4: s.lowerPol = &l; break;
            case 6: s.mwsw = &l; break;
            case 7: s.mwswPol = &l; break;
            case 9: s.preNormal = &l; break;
            case 10: s.fTrans = &l; break;
            case 12: s.fTransPol = &l; break;
            case 21: s.secondNormal = &l; break;
            default: break;
        }
        if (layer_type(l) == 5) ++s.segmentCount;
    }
    s.maxNozzle = static_cast<int16_t>(maxEnd);
    s.nozzleSpan = g.headUnits[g.headUnitCount - 1] + maxEnd;
    // 3. The arrays of the head table.
    if (alloc_array(cb, g.layerCount, kMleNoSchedule, s.spans)) return kMleNoSchedule;
    if (firstBuild) {
        const uint64_t nozzles = uint64_t(maxEnd);
        uint32_t rc = alloc_array(cb, uint64_t(s.segmentCount), kMleNoSchedule, s.segments);
        if (!rc) rc = alloc_array(cb, nozzles, kMleNoSchedule, s.rasterOffset);
        if (!rc) rc = alloc_array(cb, nozzles, kMleNoSchedule, s.headNo);
        if (!rc) rc = alloc_array(cb, nozzles, kMleNoSchedule, s.stepValue);
        if (!rc) rc = alloc_array(cb, nozzles, kMleNoSchedule, s.state);
        if (!rc) rc = alloc_array(cb, nozzles + 1, kMleNoSchedule, s.cover);
        if (!rc) rc = alloc_array(cb, uint64_t(e.resource->head.headNum), kMleNoSchedule, s.overlapWidth);
        if (!rc && LHT_GetEnable(e.lht)) rc = alloc_array(cb, nozzles, kMleNoSchedule, s.lhtEnable);
        if (rc) return rc;
        if (uint32_t lht = LHT_CreateLayerArrayOfVirtualNozzleArray(s.maxNozzle, e.lht)) return lht;
    }
    // 4. The most negative column offset moves the lower layers' first passes.
    const int32_t minOffset = e.columnOffset[e.minOffsetColumn];
    const int64_t headOffset = minOffset < 1 ? minOffset : 0;
    // 5-7. Moving range, absolute layer ranges, phases and pass counts.
    MovingRange m;
    if (uint32_t rc = one_table_moving_range(s, pageLength, m)) return rc;
    if (uint32_t rc = SetMovingRange(s, pageLength, m)) return rc;
    s.rangeStart = int64_t{pageLength} - m.remainder;
    s.rangeBase = m.tableRemainder;
    return SetLayerParam(e, headOffset, firstBuild, m);
}

}  // namespace ovcg::irac
