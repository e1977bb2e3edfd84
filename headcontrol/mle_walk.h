// The arithmetic of a layer's passes: where pass j of a layer stands, which
// window and selector it uses, how many passes fit its range, and which of
// them fall between two positions. Nothing here allocates or touches the
// engine object; the schedule and the head table build on it.
//
// Pass j of layer L (j >= 0), counted from its first position `first`:
//   position  first + (j / C) x cycleFeed + feed[phase] + ... (j mod C steps,
//             the feed index wrapping from C - 1 to 0)
//   step      (phase + j) mod C: its window range[step] and step value
//   selector  selector[(selectorPhase + j) mod selectorCount] (0 for an empty list)
//   group     group[(groupPhase + j) mod groupCount] (0 for an empty list)
// with C = cycleLength >= 1. The walks need progress: cycleFeed >= 1 (the
// logic check refuses walked layers without it). Feeds inside a cycle may
// be negative, so positions need not rise pass by pass; a cycle's positions
// lie within [cycle start + prefixMin, cycle start + prefixMax].
#pragma once

#include "headcontrol/microweave.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace ovcg::irac::walk {

// Division and remainder rounding toward minus infinity (b > 0).
inline int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && (a < 0)); }
inline int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }
inline int64_t ceil_div(int64_t a, int64_t b) { return -floor_div(-a, b); }

inline int32_t step_of(const MicroweaveLayerRecord& l, int64_t j) {
    return static_cast<int32_t>(floor_mod(int64_t{l.phase} + j, l.cycleLength));
}

inline uint16_t cyclic(const uint16_t* list, int16_t count, int16_t phase, int64_t j) {
    return count > 0 ? list[floor_mod(int64_t{phase} + j, count)] : 0;
}
inline uint16_t selector_of(const MicroweaveLayerRecord& l, int64_t j) {
    return cyclic(l.selector, l.selectorCount, l.selectorPhase, j);
}
inline uint16_t group_of(const MicroweaveLayerRecord& l, int64_t j) {
    return cyclic(l.group, l.groupCount, l.groupPhase, j);
}

// The step value of a step; `none` when the layer carries none.
inline uint16_t step_value(const MicroweaveLayerRecord& l, int32_t step, uint16_t none) {
    return l.hasStepValues && l.stepValue ? l.stepValue[step] : none;
}

// Feed of the m-th step of a cycle counted from the layer's phase.
inline int16_t feed_at(const MicroweaveLayerRecord& l, int64_t m) { return l.feed[step_of(l, m)]; }

// Sum of the first m feeds of a cycle from the layer's phase (0 <= m <= C).
inline int64_t cycle_prefix(const MicroweaveLayerRecord& l, int64_t m) {
    int64_t sum = 0;
    for (int64_t t = 0; t < m; ++t) sum += feed_at(l, t);
    return sum;
}

// Pass j's position; a negative j extends the layer's cycle backwards
// (pass -1 stands the feed before pass 0 above it).
inline int64_t pass_position(const MicroweaveLayerRecord& l, int64_t first, int64_t j) {
    return first + floor_div(j, l.cycleLength) * l.cycleFeed + cycle_prefix(l, floor_mod(j, l.cycleLength));
}

// Extremes of cycle_prefix(m) over m = 0 .. C - 1.
inline void prefix_extremes(const MicroweaveLayerRecord& l, int32_t& lo, int32_t& hi) {
    int64_t sum = 0, mn = 0, mx = 0;
    for (int64_t m = 1; m < l.cycleLength; ++m) {
        sum += feed_at(l, m - 1);
        mn = std::min(mn, sum);
        mx = std::max(mx, sum);
    }
    lo = static_cast<int32_t>(mn);
    hi = static_cast<int32_t>(mx);
}

// Passes from `first` whose positions stay at or before `end`: the whole
// cycles that fit, then single steps while the position does not pass
// `end`. -1 when end < first.
inline int64_t count_passes(const MicroweaveLayerRecord& l, int64_t first, int64_t end) {
    if (end < first) return -1;
    const int64_t cycles = (end - first) / l.cycleFeed;
    int64_t pos = first + cycles * l.cycleFeed;
    int64_t steps = 0;
    while (steps < l.cycleLength && pos <= end) pos += feed_at(l, steps++);
    return cycles * l.cycleLength + steps;
}

// A layer's passes as a walk sees them.
struct LayerSpan {
    int64_t first;      // position of pass 0
    int64_t passCount;  // passes 0 .. passCount - 1 exist
    int32_t prefixMin;
    int32_t prefixMax;
};

// Visits, in pass order, every pass j < passCount whose position lies in
// [lo, hi]: fn(j, position) returns false to stop. Whole cycles that cannot
// reach the interval are skipped.
template <class Fn>
void for_each_pass_in(const MicroweaveLayerRecord& l, const LayerSpan& span, int64_t lo, int64_t hi, Fn&& fn) {
    if (hi < lo || span.passCount <= 0) return;
    const int64_t C = l.cycleLength, F = l.cycleFeed;
    const int64_t qFirst = std::max<int64_t>(0, ceil_div(lo - span.first - span.prefixMax, F));
    const int64_t qLast = std::min(floor_div(hi - span.first - span.prefixMin, F), (span.passCount - 1) / C);
    for (int64_t q = qFirst; q <= qLast; ++q) {
        int64_t pos = span.first + q * F;
        for (int64_t m = 0; m < C; ++m) {
            const int64_t j = q * C + m;
            if (j >= span.passCount) return;
            if (pos >= lo && pos <= hi && !fn(j, pos)) return;
            pos += feed_at(l, m);
        }
    }
}

// The first pass (in pass order) standing at or after x; passCount when none.
inline int64_t first_pass_at_or_after(const MicroweaveLayerRecord& l, const LayerSpan& span, int64_t x) {
    int64_t found = span.passCount;
    for_each_pass_in(l, span, x, INT64_MAX / 4, [&](int64_t j, int64_t) {
        found = j;
        return false;
    });
    return found;
}

// The last pass j < count (in pass order) with position + extra(step) below
// `limit`; -1 when none. extra(step) is a value per cycle step (a window's
// first nozzle in rasters, say). Positions rise by cycleFeed per cycle, so
// only the cycle where the value last falls below the limit is scanned,
// and the one before it.
template <class Extra>
int64_t last_pass_below(const MicroweaveLayerRecord& l, int64_t first, int64_t count, int64_t limit, Extra&& extra) {
    if (count <= 0) return -1;
    const int64_t C = l.cycleLength, F = l.cycleFeed;
    int64_t lowest = INT64_MAX, prefix = 0;
    for (int64_t m = 0; m < C; ++m) {
        lowest = std::min(lowest, prefix + extra(step_of(l, m)));
        prefix += feed_at(l, m);
    }
    // The last cycle q whose lowest value lies below the limit.
    const int64_t qLimit = floor_div(limit - 1 - first - lowest, F);
    for (int64_t q = std::min(qLimit, (count - 1) / C); q >= 0; --q) {
        int64_t pos = first + q * F, found = -1;
        for (int64_t m = 0; m < C && q * C + m < count; ++m) {
            if (pos + extra(step_of(l, m)) < limit) found = q * C + m;
            pos += feed_at(l, m);
        }
        if (found >= 0) return found;
    }
    return -1;
}

// True when position s lies a whole number of pitches from `from`; `delta`
// gets that number (negative before `from`).
inline bool aligned(int64_t s, int64_t from, int64_t pitch, int64_t& delta) {
    const int64_t d = s - from;
    if (floor_mod(d, pitch) != 0) return false;
    delta = floor_div(d, pitch);
    return true;
}

}  // namespace ovcg::irac::walk
