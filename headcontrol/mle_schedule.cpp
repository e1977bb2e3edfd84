// The page schedule: loading a logic, the moving range that maps its layers
// onto the page, and the phases and pass counts of its layers. The tables of
// the edge groups (lower table, F-trans pass table, lower-edge record) are
// built by mle_edge.cpp once the layers stand on the page.
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
// cycle must advance. Types 12, 13 and 15-19 only lend windows, selectors
// and step values at a pass index.
constexpr bool walked_type(int32_t type) {
    switch (type) {
        case 12: case 13: case 15: case 16: case 17: case 18: case 19: return false;
        default: return true;
    }
}

int32_t layer_type(const MicroweaveLayerRecord& l) { return l.kind % 20; }

int64_t feed_sum(const MicroweaveLayerRecord& l) {
    int64_t sum = 0;
    for (int32_t i = 0; i < l.cycleLength; ++i) sum += l.feed[i];
    return sum;
}

// With two moving-range tables the feeds of the lower, F-trans and F-trans
// POL layers are steps added to the normal feed: their own sums say nothing
// until the schedule has extended them (248 then).
bool extended_kind(const MicroweaveLogicRecord& g, int16_t kind) {
    return (g.flags & kMwTwoTables) && (kind == 2 || kind == 10 || kind == 12);
}

// Values of a logic that serve as divisors, moduli, indexes or loop steps.
uint32_t check_logic(const MicroweaveLogicRecord& g, const MLEResourceData& r) {
    if (g.pitch < 1 || g.headUnitCount < 1 || !g.headUnits || g.nullPassCount < 0) return kMleBadLogic;
    if (g.normal.count < 0 || g.fTrans.count < 0 || g.mwsw.count < 0) return kMleBadLogic;
    if (g.layerCount > 0 && !g.layers) return kMleBadLogic;
    bool normal = false, lower = false;
    for (uint32_t i = 0; i < g.layerCount; ++i) {
        const MicroweaveLayerRecord& l = g.layers[i];
        if (l.kind < 0 || l.kind / 20 >= r.head.headNum) return kMleBadLogic;
        if (l.cycleLength < 1 || !l.feed || !l.range || l.selectorCount < 0 || l.groupCount < 0) return kMleBadLogic;
        for (int32_t k = 0; k < l.cycleLength; ++k)
            if (l.range[k].end > kMaxRangeEnd) return kMleBadLogic;
        if (walked_type(layer_type(l)) && !extended_kind(g, l.kind)) {
            const int64_t sum = feed_sum(l);
            if (sum < 1 || sum > kMaxCycleFeed) return kMleBadLogic;
        }
        normal |= l.kind == 1;
        lower |= l.kind == 2;
    }
    // The two-table mode extends feeds by the normal cycle's.
    if ((g.flags & kMwTwoTables) && !normal) return kMleBadLogic;
    // The lower split is a modulus of repeat mode and of the lower selector blocks.
    const bool blocks = g.flags & (kMwLowerSelectorsConsecutive | kMwLowerSelectorsInterleaved);
    if (r.modeValue3 < 1 && ((g.flags & kMwRepeat) || (lower && blocks))) return kMleBadLogic;
    return 0;
}

bool fits31(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

int64_t column_sum(const uint16_t* column, int16_t count) {
    int64_t sum = 0;
    for (int32_t i = 0; i < count; ++i) sum += column[i];
    return sum;
}

// A walk over a table column from a row with a value x: while what is left
// (x less the values passed) is at least the row's value, the row is
// passed, wrapping from the last row to row 0. Whole turns of the table are
// taken at once, so every loop is bounded by the row count; `also` sums a
// second column over the rows passed.
struct TableWalk {
    int32_t row = 0;
    int64_t passed = 0;
    int64_t alsoPassed = 0;
};

TableWalk walk_column(const uint16_t* column, int16_t count, int32_t row, int64_t x, const uint16_t* also = nullptr) {
    TableWalk w;
    w.row = count > 0 ? int32_t(floor_mod(row, count)) : 0;
    if (count < 1) return w;
    const int64_t total = column_sum(column, count);
    if (total >= 1 && x >= 2 * total) {
        const int64_t turns = x / total - 1;
        w.passed = turns * total;
        if (also) w.alsoPassed = turns * column_sum(also, count);
    }
    for (int32_t n = 0; n <= 2 * count && x - w.passed >= column[w.row]; ++n) {
        w.passed += column[w.row];
        if (also) w.alsoPassed += also[w.row];
        w.row = (w.row + 1) % count;
    }
    return w;
}

// What SetMovingRange and SetLayerParam need of the moving range.
struct MovingRange {
    int64_t remainder = 0;       // R
    int64_t widthsWalked = 0;    // W
    int64_t lowerValue = 0;      // V
    int64_t tableRemainder = 0;  // B
    int64_t tableWalked = 0;     // Wf
    int64_t tableValue = 0;      // Vf
    int64_t phase = 0;           // P
    int64_t lowerPhase = 0;      // Q
};

// The page-end frame shared by the moving-range cases.
struct Frame {
    int64_t length;       // L
    int64_t top;          // topOffset
    int64_t normalStart;  // raw
    int64_t lowerStart;   // raw, 0 without a lower layer
    int64_t lastFeed;     // F: the normal layer's last feed step, 0 with flag 0x4
    int64_t total;        // T: the normal table's widths
};

// V and Q from the normal table's row where a walk stopped; `left` is what
// the walk left of its value.
void lower_row(const MovingRangeTable& t, const TableWalk& w, int64_t left, MovingRange& m) {
    m.lowerValue = t.value[w.row] + (t.addRemainder[w.row] ? left : 0);
    m.lowerPhase = t.phase[w.row];
}

// Without MWSW and F-trans layers: the page length's remainder over the
// normal table's total width selects the row that positions the lower layers.
uint32_t one_table_range(const MleSchedule& s, const Frame& f, MovingRange& m) {
    const MovingRangeTable& t = s.logic.normal;
    const int64_t d = f.length - (f.normalStart - f.top - f.lowerStart);
    if (d < 0) return kMleNegativeRange;
    const int64_t x = d % f.total;
    const TableWalk w = walk_column(t.width, t.count, 0, x);
    m.remainder = x;
    m.widthsWalked = w.passed;
    lower_row(t, w, x - w.passed, m);
    return 0;
}

// With an MWSW region: its table places the MWSW layers, and its feed
// column, walked on from there, the normal table's row for the lower layers.
uint32_t mwsw_range(const MleSchedule& s, const Frame& f, MovingRange& m) {
    const MwswRangeTable& mt = s.logic.mwsw;
    const MovingRangeTable& nt = s.logic.normal;
    const int64_t mwswStart = s.mwsw->start;
    const int64_t d = f.length - (f.normalStart - f.lastFeed - f.top - mwswStart);
    if (d < 0) return kMleNegativeRange;
    const int64_t feeds = column_sum(mt.feed, mt.count);
    if (mt.count > 0 && feeds < 1) return kMleEmptyRangeTable;  // the feed walk would not end
    int64_t U = column_sum(mt.width, mt.count);
    if (U == 0) U = 1;
    m.tableRemainder = d % U;
    const TableWalk w = walk_column(mt.width, mt.count, 0, m.tableRemainder, mt.feed);
    m.tableWalked = w.passed;
    const int64_t left = m.tableRemainder - w.passed;
    m.tableValue = mt.count > 0 ? mt.feed[w.row] : 0;
    m.phase = mt.count > 0 ? mt.phase[w.row] : 0;
    const int64_t x = floor_mod(f.lowerStart - mwswStart + left, f.total);
    const TableWalk fw = walk_column(mt.feed, mt.count, w.row, x);
    const int64_t acc = fw.passed;
    m.remainder = x - acc;
    // The normal table's first row: its widths taken from (acc + the feeds
    // passed) while what is left stays positive.
    int64_t v = floor_mod(acc + w.alsoPassed, f.total);
    int32_t row = 0;
    while (row < nt.count - 1 && v - nt.width[row] > 0) v -= nt.width[row++];
    const TableWalk nw = walk_column(nt.width, nt.count, row, x - acc);
    m.widthsWalked = nw.passed;
    lower_row(nt, nw, x - acc - nw.passed, m);
    return 0;
}

// Indexes of the fixed F-trans positioning walk: from 1, wrapping to 1
// after the cycle (a one-step cycle stays at 0).
int64_t next_index(int64_t i, int64_t C) { return i + 1 < C ? i + 1 : (C > 1 ? 1 : 0); }

// With an F-trans region: its table places the F-trans layers; how the
// normal table's row follows depends on the fixed-range flags.
uint32_t ftrans_range(MleSchedule& s, const Frame& f, MovingRange& m) {
    const MicroweaveLogicRecord& g = s.logic;
    const MovingRangeTable& ft = g.fTrans;
    const MovingRangeTable& nt = g.normal;
    MicroweaveLayerRecord& FT = *s.fTrans;
    const int64_t C = FT.cycleLength;
    const int64_t S = column_sum(ft.width, ft.count);
    if (ft.count < 1 || S < 1) return kMleEmptyRangeTable;
    const int64_t d = f.length - (f.normalStart - f.lastFeed - f.top - FT.start);
    if (d < 0) return kMleNegativeRange;
    m.tableRemainder = d % S;
    const TableWalk w = walk_column(ft.width, ft.count, 0, m.tableRemainder);
    m.tableWalked = w.passed;
    const int64_t left = m.tableRemainder - w.passed;
    m.tableValue = ft.value[w.row] + (ft.addRemainder[w.row] ? left : 0);
    const int64_t p = floor_mod(ft.phase[w.row], C);
    if (!(g.flags & kMwFixedFTrans)) {
        const int64_t x = floor_mod(f.lowerStart - FT.start + left, f.total);
        // The normal table's first row follows the F-trans feeds from the
        // cycle's last step up to the phase; like every walk it wraps.
        int32_t row = 0;
        for (int64_t t = 0, steps = floor_mod(p + 1, C); t < steps; ++t)
            row = walk_column(nt.width, nt.count, row, FT.feed[(C - 1 + t) % C]).row;
        const TableWalk nw = walk_column(nt.width, nt.count, row, x);
        m.remainder = x;
        m.widthsWalked = nw.passed;
        lower_row(nt, nw, x - nw.passed, m);
        m.phase = p + 1;
        return 0;
    }
    if (!(g.flags & kMwFTransPhaseRule)) {
        const TableWalk nw = walk_column(nt.width, nt.count, 0, m.tableRemainder);
        m.remainder = m.tableRemainder;
        m.widthsWalked = nw.passed;
        lower_row(nt, nw, m.tableRemainder - nw.passed, m);
        m.phase = p;
        return 0;
    }
    // Fixed range with the alternative phase rule: the F-trans layer's steps
    // from its start to its end, a second index from the phase summing W.
    int64_t turn = 0;  // what one turn of the indexes (1 .. C - 1) adds
    for (int64_t i = C > 1 ? 1 : 0; i < C; ++i) turn += FT.feed[i];
    int64_t pos = int64_t{FT.start} + FT.feed[0], i1 = next_index(0, C), i2 = p + 1 < C ? p + 1 : next_index(C - 1, C);
    const int64_t end = FT.end;
    int64_t sum = 0;
    if (pos < end) {
        if (turn < 1) return kMleBadLogic;  // no progress towards the end
        const int64_t turns = (end - pos) / turn - 1;
        if (turns > 0) {
            pos += turns * turn;
            sum += turns * turn;
        }
    }
    int64_t guard = 4 * C + 4;
    for (; pos < end && guard > 0; --guard) {
        pos += FT.feed[i1];
        sum += FT.feed[i2];
        i1 = next_index(i1, C);
        i2 = next_index(i2, C);
    }
    for (; pos <= end && guard > 0; --guard) {
        pos += FT.feed[i1];
        sum += FT.feed[i2];
        i1 = next_index(i1, C);
        i2 = next_index(i2, C);
    }
    if (guard == 0) return kMleBadLogic;
    const TableWalk nw = walk_column(nt.width, nt.count, int32_t(i2 % C), 0);
    FT.end = FT.start;
    m.widthsWalked = sum;
    lower_row(nt, nw, -nw.passed, m);
    m.remainder = left - m.tableValue;
    m.phase = p + 1;
    return 0;
}

// Adds the lower feed table (from entry `offset` on, cyclically) to the
// layer's feed steps from `phase` on, and sets its cycle sum.
uint32_t extend_feeds(MicroweaveLayerRecord& l, int64_t phase, int64_t offset, const uint16_t* table, int64_t n) {
    for (int64_t j = 0; j < l.cycleLength; ++j) {
        int16_t& feed = l.feed[floor_mod(phase + j, l.cycleLength)];
        const int64_t v = int64_t{feed} + int16_t(table[floor_mod(offset + j, n)]);
        if (v < INT16_MIN || v > INT16_MAX) return kMleBadLowerFeed;
        feed = static_cast<int16_t>(v);
    }
    const int64_t sum = feed_sum(l);
    if (sum < 1 || sum > kMaxCycleFeed) return kMleBadLowerFeed;
    l.cycleFeed = static_cast<int16_t>(sum);
    return 0;
}

// Two moving-range tables: the lower and F-trans layers' feeds are steps
// added to the normal feed less feedBase (the lower feed table), taken
// from the point of the normal cycle where the page end falls.
uint32_t two_table_range(MLE_INSTANCE& e, const Frame& f, MovingRange& m) {
    const CallbackTable& cb = *e.cb;
    MleSchedule& s = e.schedule;
    MicroweaveLogicRecord& g = s.logic;
    const MicroweaveLayerRecord& N = *s.normal;
    const int64_t Cn = N.cycleLength;
    if (alloc_array(cb, uint64_t(Cn), kMleNoSchedule, s.lowerFeedTable)) return kMleNoSchedule;
    for (int64_t k = 0; k < Cn; ++k) {
        const int64_t v = int64_t{N.feed[k]} - g.feedBase;
        if (v < INT16_MIN || v > INT16_MAX) return kMleBadLowerFeed;
        s.lowerFeedTable[k] = uint16_t(int16_t(v));
    }
    // Private copies of the feeds that change.
    uint64_t copies = 0;
    for (uint32_t i = 0; i < g.layerCount; ++i)
        if (extended_kind(g, g.layers[i].kind)) copies += uint64_t(g.layers[i].cycleLength);
    if (alloc_array(cb, copies, kMleNoSchedule, s.workArrays[0])) return kMleNoSchedule;
    int16_t* next = s.workArrays[0];
    for (uint32_t i = 0; i < g.layerCount; ++i) {
        MicroweaveLayerRecord& l = g.layers[i];
        if (!extended_kind(g, l.kind)) continue;
        std::copy(l.feed, l.feed + l.cycleLength, next);
        l.feed = next;
        next += l.cycleLength;
    }
    // The normal feed steps from index 0 whose running sum first exceeds `widths`.
    auto offset_after = [&](int64_t widths) {
        int64_t sum = 0, k = 0;
        while (k < 2 * Cn && sum <= widths) sum += N.feed[k++ % Cn];
        return k % Cn;
    };
    int64_t r = 0, lowerOffset = 0;
    if (s.fTrans) {
        MicroweaveLayerRecord& FT = *s.fTrans;
        const MovingRangeTable& ft = g.fTrans;
        const int64_t S = column_sum(ft.width, ft.count);
        if (ft.count < 1 || S < 1) return kMleEmptyRangeTable;
        const int64_t ePos = f.length + FT.start - (f.normalStart - f.top);
        if (ePos < 0) return kMleNegativeRange;
        const int64_t eS = ePos % S;
        const TableWalk w = walk_column(ft.width, ft.count, 0, eS);
        int64_t value = ft.value[w.row] + (ft.addRemainder[w.row] ? eS - w.passed : 0);
        m.phase = ft.phase[w.row];
        const int64_t o = offset_after(w.passed);
        for (uint32_t i = 0; i < g.layerCount; ++i) {
            MicroweaveLayerRecord& l = g.layers[i];
            if (l.kind == 10 || l.kind == 12)
                if (uint32_t rc = extend_feeds(l, m.phase, o, s.lowerFeedTable, Cn)) return rc;
        }
        int64_t added = 0;
        if (g.lowerSumSteps > 1) {
            for (int64_t t = 0; t < g.lowerSumSteps - 1; ++t) added += FT.feed[floor_mod(m.phase + t, FT.cycleLength)];
            if (added < 0) return kMleBadLowerFeed;
        }
        value += added;
        for (uint32_t i = 0; i < g.layerCount; ++i) {
            MicroweaveLayerRecord& l = g.layers[i];
            if (l.kind != 10 && l.kind != 12 && layer_type(l) != 19) continue;
            l.cycleFeed = FT.cycleFeed;
            if (!fits31(int64_t{l.start} + added)) return kMleBadLogic;
            l.end = static_cast<int32_t>(l.start + added);
        }
        r = f.lowerStart - FT.start + eS - value;
        m.tableRemainder = eS;
        m.tableWalked = w.passed;
        m.tableValue = value;
        lowerOffset = floor_mod(g.lowerSumSteps + o, Cn);
    } else {
        const int64_t d = f.length - (f.normalStart - f.top - f.lowerStart);
        if (d < 0) return kMleNegativeRange;
        r = d % f.total;
    }
    const TableWalk nw = walk_column(g.normal.width, g.normal.count, 0, r);
    m.remainder = r;
    m.widthsWalked = nw.passed;
    lower_row(g.normal, nw, r - nw.passed, m);
    if (!s.fTrans) lowerOffset = offset_after(nw.passed);
    for (uint32_t i = 0; i < g.layerCount; ++i) {
        MicroweaveLayerRecord& l = g.layers[i];
        if (l.kind != 2) continue;
        if (l.cycleLength % Cn != 0) return kMleBadLowerFeed;
        if (uint32_t rc = extend_feeds(l, m.lowerPhase, lowerOffset, s.lowerFeedTable, Cn)) return rc;
    }
    return 0;
}

// Absolute layer positions: a non-negative value counts from the top less
// topOffset, a negative one from the moving range at the page end; an end
// of 0 is the page's last raster. `fixed` is the variant of a fixed F-trans
// range with lower positioning. The plan is laid out for L rasters and then
// moved `lead` rasters up (see CreateSchedule).
uint32_t SetMovingRange(MleSchedule& s, int64_t L, const MovingRange& m, bool fixed, int64_t lead) {
    const bool hasMwsw = s.mwsw != nullptr, hasFTrans = s.fTrans != nullptr;
    const int64_t lowerForm = L - m.remainder + m.widthsWalked + m.lowerValue;
    const int64_t tableForm = L - m.tableRemainder + m.tableWalked + m.tableValue;
    const int64_t tableEnd = L - m.tableRemainder + m.tableWalked;
    const int64_t restEnd = L - m.remainder + m.widthsWalked;
    for (uint32_t i = 0; i < s.logic.layerCount; ++i) {
        MicroweaveLayerRecord& l = s.logic.layers[i];
        const int32_t t = layer_type(l);
        const bool fTransType = t == 10 || t == 12;
        int64_t start = l.start, end = l.end;
        if (start >= 0) {
            start -= s.logic.topOffset;
        } else if (t == 2) {
            start += lowerForm;
        } else if (fTransType || (!fixed && ((t >= 6 && t <= 8) || (t == 5 && hasMwsw)))) {
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
        } else if (fixed && fTransType) {
            end += tableForm;
        } else if (!fixed && !hasMwsw && !hasFTrans) {
            end += restEnd;
        } else if (t == 1 || t == 3 || t == 4) {
            end += tableEnd;
        } else {
            end += restEnd;
        }
        start -= lead;
        end -= lead;
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
constexpr int64_t kMaxPolCycleSearch = int64_t{1} << 12;

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

// The work of a page's passes, counted in nozzle steps. One head-table
// build clears the per-nozzle arrays and, for each walked layer, finds a
// pass's position (a cycle of feeds), visits the layer's passes standing
// within the head's reach either way (whole cycles of C passes, no more
// than the layer has) and, for each visited pass standing a whole number of
// pitches away (for one step of the cycle those stand lcm(cycleFeed, pitch)
// apart), marks its window: a step per nozzle of the window, or a single
// step where the pass only tells which nozzles a later pass takes over
// (the upper and pre-normal layers, and the normal layer without MWSW
// passes: their windows are gathered as coverage counts). Printing a pass
// costs the driver kLineWork for each line it sends (every nozzle of the
// heads, for every ink), and no less than kPassWork.
//
// A hostile logic (a small cycle feed under wide windows, a layer starting
// far above the page) would keep the driver busy for hours on a short page,
// so the work a logic may cost is bounded, and the bounds follow its head:
// N nozzles at pitch p, the heads sending H lines a pass. A regular logic
// prints each raster once (twice where passes overlap) and advances a
// raster a pass or more (a few passes may stand at one position, one per
// plane); its head tables walk at most a pass a raster over the head's
// reach. One of its passes costs
//     R = kBuildSweeps N + kRegularWalks 2 N p + the driver's printing,
// and a logic is refused (249) when
//   - one build costs more than kBuildSlack regular builds (R less the
//     driver's part), and more than kMaxBuildWork;
//   - the passes of any stretch of kStretch rasters cost more than
//     kMaxPassesPerRaster regular passes a raster would (a pass costs the
//     driver at least kPassWork: this also bounds the passes a raster and
//     the lines sent for it);
//   - the passes standing more than a head's height above the page top
//     (the top the plan is moved to for rows standing low, see
//     CreateSchedule) or below its end cost more than a stretch at one
//     regular pass a raster.
// The head is taken up to the largest ones the driver serves, a line of
// kLargestHead nozzles at pitch kLargestPitch: a logic of a larger head
// (or pitch) is held to their bounds, so that no geometry buys more work.
constexpr int64_t kBuildSweeps = 4;                   // per-nozzle sweeps of a build
constexpr int64_t kRegularWalks = 2;                  // layers walked a pass a raster
constexpr int64_t kLineWork = 16;                     // the driver's sending of one line
constexpr int64_t kPassWork = int64_t{1} << 14;       // and of a pass, at least
constexpr int64_t kBuildSlack = 16;                   // regular builds one build may cost
constexpr int64_t kMaxBuildWork = int64_t{1} << 20;   // one build, whatever the head
constexpr int64_t kMaxPassesPerRaster = 4;           // a stretch's regular passes a raster
constexpr int64_t kStretch = 4096;                    // rasters
constexpr int64_t kLargestHead = 2048;                // nozzles of a head's line
constexpr int64_t kLargestPitch = 8;

int64_t gcd64(int64_t a, int64_t b) {
    while (b != 0) {
        const int64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// The widest window of layer l's steps.
int64_t widest(const MicroweaveLayerRecord& l) {
    int64_t width = 0;
    for (int64_t k = 0; k < l.cycleLength; ++k)
        width = std::max<int64_t>(width, int64_t{l.range[k].end} - l.range[k].first);
    return width;
}

// True when the builders walk layer l only to learn which nozzles later
// passes take over (MakeLayerUpdate): a step per pass, not per nozzle.
bool covered_only(const MleSchedule& s, const MicroweaveLayerRecord& l) {
    const int32_t t = layer_type(l);
    return t == 0 || t == 9 || (t == 1 && s.mwswPasses < 1);
}

// The work of one build's walk over walked layer l, with windows up to
// `width` nozzles (`width` 0: a step per pass); above `limit`: limit + 1.
int64_t walk_work(const MicroweaveLayerRecord& l, const LayerSpan& sp, int64_t width, int64_t maxNozzle,
                  int64_t pitch, int64_t limit) {
    const int64_t C = l.cycleLength, F = l.cycleFeed;
    if (F < 1) return 0;  // not walked by its own feeds
    const int64_t reach = 2 * maxNozzle * pitch + int64_t{sp.prefixMax} - sp.prefixMin;
    // Below 2^63: reach < 2^33, C < 2^15, limit < 2^25, width < 2^15.
    const int64_t visited = std::min((reach / F + 2) * C, sp.passCount);
    if (visited > limit) return limit + 1;
    const int64_t apart = F / gcd64(F, pitch) * pitch;
    const int64_t aligned = std::min(visited, (reach / apart + 2) * C);
    return C + visited + aligned * (std::clamp<int64_t>(width, 0, maxNozzle) + 1);
}

// Passes of layer l standing before position `top` or after `bottom`.
int64_t off_page_passes(const MicroweaveLayerRecord& l, const LayerSpan& sp, int64_t top, int64_t bottom) {
    const int64_t above = std::max<int64_t>(count_passes(l, sp.first, std::min<int64_t>(top - 1, l.end)), 0);
    const int64_t upTo = std::max<int64_t>(count_passes(l, sp.first, std::min<int64_t>(bottom, l.end)), 0);
    return std::min(above, sp.passCount) + std::max<int64_t>(sp.passCount - upTo, 0);
}

// The layers whose passes are the pass groups' passes.
bool group_kind(int16_t kind) {
    return kind == 0 || kind == 9 || kind == 1 || kind == 6 || kind == 10 || kind == 2;
}

// The driver's printing of a pass sending `lines` lines for each ink.
int64_t pass_work(int64_t lines, int64_t inks) { return std::max(kPassWork, kLineWork * lines * inks); }

uint32_t check_walk_work(const MLE_INSTANCE& e, int64_t pageLength) {
    const MleSchedule& s = e.schedule;
    const HeadRecord& heads = e.resource->head;
    const uint32_t n = s.logic.layerCount;
    const int64_t maxNozzle = s.maxNozzle, pitch = s.logic.pitch;
    const int64_t inks = std::max<int64_t>(e.inkCount, 1);
    // The head as the bounds take it: every head's line up to kLargestHead
    // nozzles, the pitch up to kLargestPitch.
    int64_t lines = 0, regularLines = 0;
    for (int32_t h = 0; h < heads.headNum; ++h) {
        lines += heads.nozzleNumOfHead[h];
        regularLines += std::min<int64_t>(heads.nozzleNumOfHead[h], kLargestHead);
    }
    const int64_t regularNozzles = std::min(maxNozzle, regularLines);
    const int64_t regularPitch = std::min(pitch, kLargestPitch);
    const int64_t regularBuild = kBuildSweeps * regularNozzles + kRegularWalks * 2 * regularNozzles * regularPitch;
    const int64_t regularPass = regularBuild + pass_work(regularLines, inks);
    const int64_t maxBuild = std::max(kMaxBuildWork, kBuildSlack * regularBuild);

    int64_t build = kBuildSweeps * maxNozzle;
    const MicroweaveLayerRecord* N = s.normal;
    for (uint32_t i = 0; i < n && build <= maxBuild; ++i) {
        const MicroweaveLayerRecord& l = s.logic.layers[i];
        const int32_t t = layer_type(l);
        const int64_t width = covered_only(s, l) ? 0 : widest(l);
        if (walked_type(t)) build += walk_work(l, s.spans[i], width, maxNozzle, pitch, maxBuild);
        // An overlap layer with priority walks the normal layer's passes with its own windows.
        if ((t == 13 || t == 14) && N)
            build += walk_work(*N, s.spans[N - s.logic.layers], widest(l), maxNozzle, pitch, maxBuild);
    }
    if (build > maxBuild) return kMleBadLogic;
    const int64_t head = maxNozzle * pitch;
    // Passes in any stretch (a cycle's passes may stand apart by its
    // feeds' extremes), and those off the page.
    int64_t stretch = 0, offPage = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const MicroweaveLayerRecord& l = s.logic.layers[i];
        if (!group_kind(l.kind) || l.cycleFeed < 1) continue;
        const LayerSpan& sp = s.spans[i];
        const int64_t cycles = walk::ceil_div(kStretch + sp.prefixMax - sp.prefixMin, l.cycleFeed) + 1;
        stretch += std::min(sp.passCount, cycles * l.cycleLength);
        offPage += off_page_passes(l, sp, -head - e.rowLead, pageLength + head);
    }
    const int64_t perPass = build + pass_work(lines, inks);
    // Below 2^63: regularPass < 2^42 (the clamped head, 32 inks).
    const int64_t maxStretchWork = kMaxPassesPerRaster * kStretch * regularPass;
    const int64_t maxOffPageWork = kStretch * regularPass;
    return stretch > maxStretchWork / perPass || offPage > maxOffPageWork / perPass ? kMleBadLogic : 0;
}

// Phases and pass counts of the layers, and the pass groups.
uint32_t SetLayerParam(MLE_INSTANCE& e, int64_t pageLength, bool firstBuild,
                       const MovingRange& m) {
    MleSchedule& s = e.schedule;
    MicroweaveLayerRecord* layers = s.logic.layers;
    const uint32_t n = s.logic.layerCount;
    for (uint32_t i = 0; i < n; ++i) {
        MicroweaveLayerRecord& l = layers[i];
        l.phase = l.selectorPhase = l.groupPhase = 0;
        const int32_t t = layer_type(l);
        if (l.kind == 2 || t == 17) l.phase = static_cast<int16_t>(floor_mod(m.lowerPhase, l.cycleLength));
        if (l.kind == 10 || l.kind == 12 || t == 19) l.phase = static_cast<int16_t>(floor_mod(m.phase, l.cycleLength));
        if (t >= 5 && t <= 8 && s.mwsw) l.phase = static_cast<int16_t>(floor_mod(m.phase, l.cycleLength));
    }
    int32_t segment = 0;
    for (uint32_t i = 0; i < n; ++i) {
        MicroweaveLayerRecord& l = layers[i];
        const int64_t first = l.start;
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
        sp.first = l.start;
        if (walked_type(layer_type(l))) {
            sp.passCount = std::max<int64_t>(count_passes(l, sp.first, l.end), 0);
            walk::prefix_extremes(l, sp.prefixMin, sp.prefixMax);
        }
    }
    return check_walk_work(e, pageLength);
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
    if (uint32_t rc = check_logic(src, r)) return rc;
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

namespace {

// The rasters the inks standing highest on the head add to the plan (see
// the schedule's step 4 below).
int64_t plan_lag(const MLE_INSTANCE& e) {
    int64_t lag = 0;
    for (int32_t i = 0; i < e.inkCount; ++i)
        lag = std::max(lag, -(int64_t{e.inkNozzleShift[i]} * e.schedule.logic.pitch + e.columnOffset[e.inkColumn[i]]));
    return lag;
}

uint32_t build_schedule(MLE_INSTANCE& e, uint32_t pageLength, bool firstBuild, bool lengthen);

// The logic's answer to the page planned for its own length, as a page
// without offsets or shifted rows is: the schedule's counts and ranges are
// built on a copy of the layers and freed. 246 when the page is too short.
uint32_t plan_own_length(MLE_INSTANCE& e, uint32_t pageLength) {
    const MleSchedule saved = e.schedule;
    const int32_t lead = e.rowLead;
    e.schedule = MleSchedule{};
    e.schedule.scheduleLength = saved.scheduleLength;
    MicroweaveLogicRecord& g = e.schedule.logic;
    g = saved.logic;
    g.layers = nullptr;
    g.layerCount = 0;
    uint32_t rc = alloc_array(*e.cb, saved.logic.layerCount, kMleNoLayers, g.layers);
    if (!rc) {
        std::copy(saved.logic.layers, saved.logic.layers + saved.logic.layerCount, g.layers);
        g.layerCount = saved.logic.layerCount;
        e.rowLead = 0;
        rc = build_schedule(e, pageLength, false, false);
    }
    FreeSchedule(e);
    e.schedule = saved;
    e.rowLead = lead;
    return rc;
}

}  // namespace

// Offsets and shifted rows lengthen the plan, not the page: a page too
// short for the logic is refused alike whatever inks it prints, on every
// build (the memory sizing builds the page's schedule too).
uint32_t CreateSchedule(MLE_INSTANCE& e, uint32_t pageLength, bool firstBuild) {
    if (plan_lag(e) > 0 || e.rowLead > 0) {
        const uint32_t rc = plan_own_length(e, pageLength);
        if (rc == kMleNegativeRange || rc == kMleNoLayers || rc == kMleNoSchedule) return rc;
    }
    return build_schedule(e, pageLength, firstBuild, true);
}

namespace {

uint32_t build_schedule(MLE_INSTANCE& e, uint32_t pageLength, bool firstBuild, bool lengthen) {
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
    // 4. Every ink prints the same pattern of nozzles, moved by its column's
    // offset and its row's shift: an ink whose nozzles stand d rasters
    // higher on the head than the column of offset 0 (d = -p, p its
    // column's offset plus its row's shift x pitch) prints each pass's
    // rasters d higher up. A plan that prints every raster of [0, L) once
    // for the pattern itself prints [p, L + p) once for that ink, so the
    // page is planned `lag` rasters longer, lag the largest such d: every
    // ink then prints [p, L + lag + p), the page's last rasters among them.
    // An ink standing lower (p > 0) misses the page's first p rasters
    // unless the plan stands high enough above the page top; the logic's
    // own top offset may see to it, and what it does not is made up by
    // `lead` (MLE_CreateSchedulingTable): the plan is laid out for a page
    // lead rasters longer still and moved lead rasters up. What lies
    // outside the page stays unprinted: the windows are clipped to
    // [notPrintStart, notPrintEnd) ink by ink. Without offsets and shifts
    // the plan is the page's own.
    const int64_t lag = lengthen ? plan_lag(e) : 0;
    const int64_t lead = e.rowLead;
    const int64_t planLength = int64_t{pageLength} + lag + lead;
    if (lead < 0 || planLength > INT32_MAX) return kMleBadLogic;
    const int64_t planEnd = planLength - lead;  // where the plan's end falls on the page
    // 5. The moving range: where the plan's end falls in the layers' patterns.
    Frame f{};
    f.length = planLength;
    f.top = g.topOffset;
    f.normalStart = s.normal ? s.normal->start : 0;
    f.lowerStart = s.lower ? s.lower->start : 0;
    f.lastFeed = s.normal && !(g.flags & kMwNoTrailingFeed) ? s.normal->feed[s.normal->cycleLength - 1] : 0;
    f.total = column_sum(g.normal.width, g.normal.count);
    if (g.normal.count < 1 || f.total < 1) return kMleEmptyRangeTable;
    MovingRange m;
    uint32_t rc = 0;
    if (g.flags & kMwTwoTables) {
        rc = two_table_range(e, f, m);
    } else if (s.fTrans) {
        rc = ftrans_range(s, f, m);
    } else if (s.mwsw) {
        rc = mwsw_range(s, f, m);
    } else {
        rc = one_table_range(s, f, m);
    }
    if (rc) return rc;
    // 6-7. Absolute layer ranges, phases and pass counts.
    const bool fixed = (g.flags & kMwFixedFTrans) && (g.flags & kMwLowerPositioning);
    if (uint32_t r6 = SetMovingRange(s, planLength, m, fixed, lead)) return r6;
    s.rangeStart = planEnd - m.remainder;
    s.rangeBase = m.tableRemainder;
    if (uint32_t r7 = SetLayerParam(e, planEnd, firstBuild, m)) return r7;
    // 8. The edge groups' tables, on the first build of a page; a build
    // that only counts makes the same refusals.
    return MakeEdgeTables(e, planEnd, firstBuild);
}

}  // namespace

}  // namespace ovcg::irac
