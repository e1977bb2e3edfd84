// Inks on rows standing low: the page's first plan, moved up by what those
// inks would miss at the page top.
//
// With the split colour table an ink prints the pattern moved down its
// nozzle line by its row's shift s: each pass prints the ink's rasters
// p = s x pitch + its column's offset lower than the pattern's own. The
// pattern prints every raster of the page, and the schedule plans it long
// enough for the inks standing higher; the first p rasters of an ink
// standing lower come only from passes standing above the page top. A
// logic made for its rows provides them (its top offset lifts its first
// passes by the lowest row's height); another does not, and the rows'
// first rasters would go unprinted.
//
// So the page's first plan is built as it stands, and what the passes above
// the page print of each such ink's first p rasters is tallied. When some
// raster there is not printed once (alone, or as the two halves of an
// overlap), the plan is moved up by the rasters up to the last such one
// (rowLead; CreateSchedule lays the plan out that much longer and moves it
// up): the logic's top then stands that much higher over the page, and
// the page starts that much further from the first pass, as it would with
// a top offset made for the rows. The moved plan is tallied again; should
// the longer page have changed what stands above it, the plan is moved up
// by the lowest ink's whole height, which the pattern covers by its own
// rule. A plan whose inks all reach the page top stays as it is.
#include "headcontrol/codes.h"
#include "headcontrol/mle_edge.h"
#include "headcontrol/resource_stream.h"

#include <algorithm>

namespace ovcg::irac {

namespace {

using walk::floor_div;

// Top rasters of all inks tallied, and passes visited, beyond which the
// plan is moved up by the lowest ink's height without a trial.
constexpr int64_t kMaxTallied = int64_t{1} << 20;
constexpr int64_t kMaxVisited = int64_t{1} << 16;

constexpr uint8_t kHalfFirst = 1, kHalfSecond = 2, kMwswFirst = 4, kMwswSecond = 8;

// What reaches one top raster of one ink.
struct TopCell {
    int32_t alonePass;  // the last pass printing it alone; -1 none
    uint8_t alone;      // passes printing it alone (heads of one pass count once)
    uint8_t halves;     // the halves of overlaps printing it
};

bool printed_once(const TopCell& c) {
    if (c.alone > 1) return false;
    return c.alone == 1 || (c.halves & (kHalfFirst | kHalfSecond)) == (kHalfFirst | kHalfSecond) ||
           (c.halves & (kMwswFirst | kMwswSecond)) == (kMwswFirst | kMwswSecond);
}

void tally(TopCell& c, uint8_t state, int32_t pass) {
    switch (state) {
        case kNozzleAlone:
            if (c.alonePass != pass && c.alone < 255) ++c.alone;
            c.alonePass = pass;
            break;
        case kNozzleFirstHalf: c.halves |= kHalfFirst; break;
        case kNozzleSecondHalf: c.halves |= kHalfSecond; break;
        case kNozzleMwswFirst: c.halves |= kMwswFirst; break;
        case kNozzleMwswSecond: c.halves |= kMwswSecond; break;
        default: break;  // idle, or printed by another group
    }
}

// The rasters an ink stands below the pattern: its row's shift and its
// column's offset.
int64_t ink_height(const MLE_INSTANCE& e, int32_t ink) {
    return int64_t{e.inkNozzleShift[ink]} * e.schedule.logic.pitch + e.columnOffset[e.inkColumn[ink]];
}

// One pass group: its passes stand where its own layer's walk puts them
// (the F-trans group's, when it has a pass table, where the table does).
struct Group {
    const MicroweaveLayerRecord* own;
    int64_t count;
};

// How many of the group's first passes may stand above `bound`: a cycle's
// passes lie within its start plus the prefix extremes, and the starts
// rise by the cycle's feed.
int64_t passes_above(const MleSchedule& s, const Group& g, int64_t bound) {
    if (!g.own || g.count < 1) return 0;
    const MicroweaveLayerRecord& l = *g.own;
    if (l.cycleFeed < 1) return g.count;
    const walk::LayerSpan& sp = s.spans[&l - s.logic.layers];
    const int64_t cycles = floor_div(bound - 1 - sp.first - sp.prefixMin, l.cycleFeed) + 1;
    return std::clamp<int64_t>(cycles * l.cycleLength, 0, g.count);
}

// A trial's outcome: done, too many passes above the page to try (the plan
// then moves up by the lowest ink's height), or a pass that cannot be built
// (the plan stays: the driver meets the same pass and reports it).
enum class Trial { Done, TooMany, Broken };

// The rasters the plan must move up so that every ink's first rasters
// [0, upto) are printed once (0 when they are): one past the last that is
// not.
Trial shortfall(MLE_INSTANCE& e, TopCell* cells, const int64_t* upto, const int64_t* at, int64_t& out) {
    const MleSchedule& s = e.schedule;
    const int32_t heads = e.resource->head.headNum;
    const int64_t pitch = s.logic.pitch;
    for (int32_t i = 0; i < e.inkCount; ++i)
        for (int64_t r = 0; r < upto[i]; ++r) cells[at[i] + r] = TopCell{-1, 0, 0};
    // Only a pass standing above the page prints a raster an ink stands
    // below (the nozzle-line map may lift a line by up to the head's height).
    const int64_t bound = NLM_IsValid(e.nlm) ? mle_virtual_nozzles(e) * pitch : 0;
    const Group groups[6] = {
        {s.upper, s.upperPasses},   {s.preNormal, s.preNormalPasses},
        {s.normal, s.normalPasses}, {s.mwsw, s.mwswPasses},
        {s.fTrans, s.fTransPasses}, {s.lower, s.lowerPasses},
    };
    int64_t first = 0, visited = 0;  // the group's first pass; passes built
    for (int32_t k = 0; k < 6; first += groups[k].count, ++k) {
        const Group& g = groups[k];
        const bool table = k == 4 && s.fTransTable;  // its passes tried one by one
        const int64_t count = table ? g.count : passes_above(s, g, bound);
        for (int64_t j = 0; j < count; ++j) {
            if (table && s.fTransTable[j].headPos >= bound) continue;
            if (++visited > kMaxVisited) return Trial::TooMany;
            const int32_t pass = int32_t(first + j);
            if (!mle_build_pass(e, pass)) return Trial::Broken;
            for (int32_t h = 0; h < heads; ++h)
                for (int32_t i = 0; i < e.inkCount; ++i) {
                    if (upto[i] < 1) continue;
                    if (!GetNozzleInfo(e, h, i)) return Trial::Broken;
                    const MleNozzleInfo& info = e.table.info;
                    for (int32_t n = info.firstNozzle; n < info.endNozzle; ++n) {
                        const int64_t raster = int64_t{info.nozzlePos} + (int64_t{info.yShift} + n) * pitch;
                        if (raster < 0 || raster >= upto[i]) continue;
                        tally(cells[at[i] + raster], uint8_t(info.state[n - info.firstNozzle] & 0x7F), pass);
                    }
                }
        }
    }
    out = 0;
    for (int32_t i = 0; i < e.inkCount; ++i)
        for (int64_t r = upto[i] - 1; r >= out; --r)
            if (!printed_once(cells[at[i] + r])) {
                out = r + 1;
                break;
            }
    return Trial::Done;
}

}  // namespace

uint32_t mle_plan_page(MLE_INSTANCE& e, int32_t selector, uint32_t failCode) {
    e.rowLead = 0;
    if (uint32_t rc = mle_plan(e, selector, failCode)) return rc;
    // The inks standing below the pattern: all their first rasters tell how
    // high the plan stands over the page, those on the page must be printed.
    MleSchedule& s = e.schedule;
    const int64_t length = s.scheduleLength;
    int64_t height[kMleMaxInks] = {}, onPage[kMleMaxInks] = {}, at[kMleMaxInks] = {};
    int64_t cellCount = 0, lowest = 0;
    for (int32_t i = 0; i < e.inkCount; ++i) {
        height[i] = std::max<int64_t>(ink_height(e, i), 0);
        onPage[i] = std::min(height[i], length);
        lowest = std::max(lowest, height[i]);
        at[i] = cellCount;
        cellCount += height[i];
    }
    if (cellCount == 0) return 0;
    if (lowest > INT32_MAX - length) return kMleBadLogic;
    int64_t lead = lowest;
    if (cellCount <= kMaxTallied) {
        TopCell* cells = nullptr;
        if (alloc_array(*e.cb, uint64_t(cellCount), kMleNoSchedule, cells)) return kMleNoSchedule;
        // The first trial counts an ink's first rasters below the page end
        // too: they show how high the plan stands, whatever the page's length.
        s.notPrintEnd = uint32_t(std::max(length, lowest));
        int64_t missing = 0;
        const Trial trial = shortfall(e, cells, height, at, missing);
        s.notPrintEnd = uint32_t(length);
        if (trial == Trial::Broken || (trial == Trial::Done && missing == 0)) {
            lead = 0;
        } else if (trial == Trial::Done) {
            e.rowLead = int32_t(missing);
            if (uint32_t rc = mle_plan(e, selector, failCode)) {
                release_ptr(*e.cb, cells);
                return rc;  // a plan standing higher still would fail likewise
            }
            int64_t again = 0;
            if (shortfall(e, cells, onPage, at, again) == Trial::Done && again == 0) lead = missing;
        }
        release_ptr(*e.cb, cells);
    }
    if (e.rowLead == lead) return mle_build_pass(e, e.passNo) ? 0 : failCode;
    e.rowLead = int32_t(lead);
    return mle_plan(e, selector, failCode);
}

}  // namespace ovcg::irac
