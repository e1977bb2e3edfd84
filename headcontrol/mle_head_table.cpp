// The head table of one pass: the head position, the head entries and, per
// virtual nozzle, its state, raster offset, head entry and overlap step
// value; then the nozzle information of one head and ink.
//
// A layer pass at position s reaches, in the current pass at headPos, the
// nozzles of its window moved by (s - headPos) / pitch, when that distance
// is a whole number of pitches ("aligned"): both passes then print the same
// rasters with those nozzles. The builders below mark or clear nozzles of
// the current pass through that correspondence; every window is clipped to
// [0, maxNozzle).
//
// The edge groups: an MWSW pass and the normal passes next to it suppress
// (state 5) the nozzles whose rasters a pass of the other group reaches;
// the MWSW overlap layers give such nozzles back as the two halves of an
// MWSW overlap (states 6 and 7). F-trans and lower passes print what the
// schedule's F-trans pass table and lower table assign them. In repeat
// mode the passes before and after the normal group print a normal pass's
// pattern, moved to their own position (nozzleShift).
#include "headcontrol/codes.h"
#include "headcontrol/mle.h"
#include "headcontrol/mle_walk.h"

#include <algorithm>
#include <climits>

namespace ovcg::irac {

namespace {

using walk::aligned;
using walk::floor_mod;
using walk::step_of;

constexpr uint8_t kEntrySelector = 0x1;  // MleHeadEntry::filled: selector and group set
constexpr uint8_t kEntryRange = 0x2;     // the window set

bool fits31(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// One build of the head table.
class Builder {
public:
    explicit Builder(MLE_INSTANCE& e)
        : e_(e), s_(e.schedule), t_(e.table), heads_(e.resource->head.headNum), pitch_(s_.logic.pitch),
          maxNozzle_(s_.maxNozzle) {}

    bool build(int32_t pass);

private:
    struct Window {
        int32_t first;  // clipped to [0, maxNozzle)
        int32_t end;
        int64_t origin;  // unclipped first: raster offsets count from it
    };

    const walk::LayerSpan& span(const MicroweaveLayerRecord& l) const { return s_.spans[&l - s_.logic.layers]; }
    // Nozzles [f, e) moved by delta, clipped.
    Window clip(int64_t f, int64_t e) const {
        return {int32_t(std::clamp<int64_t>(f, 0, maxNozzle_)), int32_t(std::clamp<int64_t>(e, 0, maxNozzle_)), f};
    }
    // The window of step `step` of layer l, moved by delta nozzles.
    Window window(const MicroweaveLayerRecord& l, int32_t step, int64_t delta) const {
        return clip(l.range[step].first + delta, l.range[step].end + delta);
    }
    void mark(int32_t n, uint8_t state, int64_t origin, int32_t head, uint16_t step) {
        s_.state[n] = state;
        s_.rasterOffset[n] = uint32_t(n - origin);
        s_.headNo[n] = uint16_t(head);
        s_.stepValue[n] = step;
    }
    void clear(int32_t n) { mark(n, kNozzleIdle, n, 0, kMleNoStepValue); }
    void widen(const Window& w) {
        if (w.first >= w.end) return;
        t_.activeFirst = static_cast<int16_t>(std::min<int32_t>(t_.activeFirst, w.first));
        t_.activeEnd = static_cast<int16_t>(std::max<int32_t>(t_.activeEnd, w.end));
    }
    // The highest raster row the current window reaches.
    int64_t reach() const { return (int64_t{t_.activeEnd} - 1) * pitch_ + headPos_; }
    const MicroweaveLayerRecord* first_kind(int16_t kind) const;
    const MicroweaveLayerRecord* last_type(int32_t type) const;
    // Visits the layer's passes that can meet the current window (its reach
    // above and below headPos), all but the one at headPos; `limit` more
    // stops after that many passes. fn(j, position, delta) for aligned ones.
    template <class Fn>
    void near_passes(const MicroweaveLayerRecord& l, int64_t limit, Fn&& fn);

    void reset();
    PassGroup find_group(int32_t pass, int32_t& index) const;
    bool group_position(PassGroup g, int32_t i);
    void run(PassGroup g, const MicroweaveLayerRecord& l, int32_t i);
    void run_mwsw(int32_t sweep, const MicroweaveLayerRecord& l, int32_t i);
    void run_lower(int32_t sweep, const MicroweaveLayerRecord& l, int32_t i);
    void append(const MicroweaveLayerRecord& l, uint8_t state, int32_t i, int32_t h, bool fill);
    void update(const MicroweaveLayerRecord& l, const MleHeadEntry& entry);
    void pol(const MicroweaveLayerRecord& l, const MleHeadEntry& entry, uint8_t state, int32_t h, int64_t counterBase);
    void pol_priority(const MicroweaveLayerRecord& l, const MleHeadEntry& entry, uint8_t state, int32_t h);
    void pol_append(const MicroweaveLayerRecord& l, uint8_t state, int32_t i, int32_t h);
    void heads_overlap(const MicroweaveLayerRecord& l, int32_t i, int32_t h, bool fromHead0);
    void overlap_width(const MicroweaveLayerRecord& l, int32_t i, int32_t h);
    // The MWSW region's builders.
    void suppress(const MicroweaveLayerRecord& l, const MleHeadEntry& entry, bool normal);
    void footer_update(const MicroweaveLayerRecord& l, const MleHeadEntry& entry);
    void mwsw_pol(const MicroweaveLayerRecord& l, const MleHeadEntry& entry, uint8_t state, int32_t h);
    void mwsw_pol_update(const MicroweaveLayerRecord& l, uint8_t state, int32_t i, int32_t h);
    // The F-trans and lower groups' builders.
    void ftrans_mark(int32_t i, int32_t h);
    void ftrans_pol(const MleHeadEntry& entry, int32_t h);
    void footer(const MicroweaveLayerRecord& l, int32_t i, int32_t h);
    void lower_edge_mark(const MicroweaveLayerRecord& l, const MleHeadEntry& entry, int32_t i, int32_t h);
    void copy_entries();
    void pol_phase(PassGroup g, int32_t i);
    bool repeat_position(int32_t pass, int32_t mapped);
    void trim();
    bool finish_entries();

    MLE_INSTANCE& e_;
    MleSchedule& s_;
    MleHeadTable& t_;
    const int32_t heads_;
    const int64_t pitch_;
    const int32_t maxNozzle_;
    int64_t headPos_ = 0;
};

const MicroweaveLayerRecord* Builder::first_kind(int16_t kind) const {
    for (uint32_t i = 0; i < s_.logic.layerCount; ++i)
        if (s_.logic.layers[i].kind == kind) return &s_.logic.layers[i];
    return nullptr;
}

const MicroweaveLayerRecord* Builder::last_type(int32_t type) const {
    const MicroweaveLayerRecord* found = nullptr;
    for (uint32_t i = 0; i < s_.logic.layerCount; ++i)
        if (s_.logic.layers[i].kind % 20 == type) found = &s_.logic.layers[i];
    return found;
}

template <class Fn>
void Builder::near_passes(const MicroweaveLayerRecord& l, int64_t limit, Fn&& fn) {
    const int64_t range = (int64_t{maxNozzle_} - 1) * pitch_;
    const int64_t hi = std::min<int64_t>(l.end, headPos_ + range);
    walk::for_each_pass_in(l, span(l), headPos_ - range, hi, [&](int64_t j, int64_t s) {
        if (j >= limit) return false;
        int64_t delta = 0;
        if (s != headPos_ && aligned(s, headPos_, pitch_, delta)) fn(j, s, delta);
        return true;
    });
}

void Builder::reset() {
    for (int32_t n = 0; n < maxNozzle_; ++n) {
        s_.state[n] = kNozzleIdle;
        s_.rasterOffset[n] = 0;
        s_.headNo[n] = 0;
        s_.stepValue[n] = kMleNoStepValue;
    }
    for (int32_t h = 0; h < heads_; ++h) {
        s_.overlapWidth[h] = 0;
        t_.entries[h] = MleHeadEntry{};
    }
    for (int32_t b = 0; b + 1 < heads_; ++b)
        for (int32_t k = t_.zones[b].first; k < t_.zones[b].end; ++k) t_.overlapValues[b][k - t_.zones[b].first] = 0;
    t_.activeFirst = static_cast<int16_t>(maxNozzle_);
    t_.activeEnd = 0;
    t_.nozzleShift = 0;
    t_.polPhase = 0;
    t_.polPassFirst = t_.polPassSecond = kMleNoPolPass;
}

PassGroup Builder::find_group(int32_t pass, int32_t& index) const {
    const int32_t counts[] = {s_.upperPasses, s_.preNormalPasses, s_.normalPasses,
                              s_.mwswPasses,  s_.fTransPasses,    s_.lowerPasses};
    int64_t p = pass;
    if (p < 0) return PassGroup::None;
    for (int32_t g = 0; g < 6; ++g) {
        if (p < counts[g]) {
            index = static_cast<int32_t>(p);
            return static_cast<PassGroup>(g);
        }
        p -= counts[g];
    }
    return PassGroup::None;
}

// The head position of the group's pass i, set before the builders run so
// that a layer placed before the group's own layer sees it.
bool Builder::group_position(PassGroup g, int32_t i) {
    const MicroweaveLayerRecord* own = nullptr;
    switch (g) {
        case PassGroup::Upper: own = s_.upper; break;
        case PassGroup::PreNormal: own = s_.preNormal; break;
        case PassGroup::Normal: own = s_.normal; break;
        case PassGroup::Mwsw: own = s_.mwsw; break;
        case PassGroup::FTrans:
            if (s_.fTransTable) {
                headPos_ = s_.fTransTable[i].headPos;
                return true;
            }
            own = s_.fTrans;
            break;
        case PassGroup::Lower: own = s_.lower; break;
        default: break;
    }
    if (!own) return true;
    headPos_ = walk::pass_position(*own, span(*own).first, i);
    return fits31(headPos_);
}

void Builder::append(const MicroweaveLayerRecord& l, uint8_t state, int32_t i, int32_t h, bool fill) {
    const int32_t step = step_of(l, i);
    const MicroweaveRange r = l.range[step];
    if (fill) {
        headPos_ = walk::pass_position(l, span(l).first, i);
        t_.entries[h] = MleHeadEntry{walk::selector_of(l, i), walk::group_of(l, i), r.first, r.end,
                                     uint8_t(kEntrySelector | kEntryRange)};
    }
    const Window w = window(l, step, 0);
    widen(w);
    for (int32_t n = w.first; n < w.end; ++n) {
        s_.state[n] = state;
        s_.rasterOffset[n] = uint32_t(n - w.first);
        s_.headNo[n] = uint16_t(h);
        if (l.hasStepValues) s_.stepValue[n] = l.stepValue[step];
    }
}

// Later passes of the layer print the rasters they reach: a raster is
// printed by the last pass that reaches it. The windows are gathered as a
// coverage count first, so that many passes cost one sweep of the nozzles.
void Builder::update(const MicroweaveLayerRecord& l, const MleHeadEntry& entry) {
    int32_t* cover = s_.cover;
    std::fill(cover, cover + maxNozzle_ + 1, 0);
    bool any = false;
    const int64_t hi = std::min<int64_t>(l.end, reach());
    walk::for_each_pass_in(l, span(l), headPos_ + 1, hi, [&](int64_t j, int64_t s) {
        int64_t delta = 0;
        if (walk::selector_of(l, j) != entry.selector || !aligned(s, headPos_, pitch_, delta)) return true;
        const Window w = window(l, step_of(l, j), delta);
        if (w.first < w.end) {
            ++cover[w.first];
            --cover[w.end];
            any = true;
        }
        return true;
    });
    if (!any) return;
    int32_t covered = 0;
    for (int32_t n = 0; n < maxNozzle_; ++n) {
        covered += cover[n];
        if (covered > 0 && s_.state[n] == kNozzleAlone) s_.state[n] = kNozzleIdle;
    }
}

// Nozzles printing alone whose rasters an overlap layer's pass shares take
// the overlap state; the pass number of that layer pass (less counterBase)
// becomes the overlap partner.
void Builder::pol(const MicroweaveLayerRecord& l, const MleHeadEntry& entry, uint8_t state, int32_t h,
                  int64_t counterBase) {
    const int64_t lo = state == kNozzleSecondHalf ? headPos_ + 1 : headPos_ - int64_t{maxNozzle_} * pitch_;
    const int64_t hi = std::min<int64_t>(l.end, reach());
    walk::for_each_pass_in(l, span(l), lo, hi, [&](int64_t j, int64_t s) {
        int64_t delta = 0;
        if (walk::selector_of(l, j) != entry.selector || !aligned(s, headPos_, pitch_, delta)) return true;
        const int32_t step = step_of(l, j);
        const Window w = window(l, step, delta);
        bool changed = false;
        for (int32_t n = w.first; n < w.end; ++n) {
            if (s_.state[n] != kNozzleAlone) continue;
            mark(n, state, w.origin, h, walk::step_value(l, step, kMleNoStepValue));
            changed = true;
        }
        if (changed) (state == kNozzleSecondHalf ? t_.polPassSecond : t_.polPassFirst) = uint32_t(j - counterBase);
        return true;
    });
}

// An overlap layer that takes priority over the normal region's overlap
// windows: walked with the normal layer's passes, its window replaces the
// partner layer's part of the overlap.
void Builder::pol_priority(const MicroweaveLayerRecord& l, const MleHeadEntry& entry, uint8_t state, int32_t h) {
    const MicroweaveLayerRecord* N = s_.normal;
    if (!N) return;
    const walk::LayerSpan& ns = span(*N);
    const int64_t c0 = walk::first_pass_at_or_after(*N, ns, l.start);
    const MicroweaveLayerRecord* partner = state == kNozzleSecondHalf ? first_kind(3) : last_type(4);
    int64_t lo = headPos_ - int64_t{maxNozzle_} * pitch_;
    if (state == kNozzleSecondHalf) lo = headPos_ + 1;
    const int64_t hi = std::min<int64_t>(l.end, headPos_ + (int64_t{maxNozzle_} - 1) * pitch_);
    walk::for_each_pass_in(*N, ns, lo, hi, [&](int64_t c, int64_t s) {
        int64_t delta = 0;
        if (c < c0) return true;
        const uint16_t selector = l.selectorCount > 0
                                      ? l.selector[floor_mod(int64_t{l.selectorPhase} + c, l.selectorCount)]
                                      : 0;
        if (selector != entry.selector || !aligned(s, headPos_, pitch_, delta)) return true;
        const int32_t own = int32_t(floor_mod(int64_t{l.phase} + (c - c0), l.cycleLength));
        const Window w = window(l, own, delta);
        if (w.first >= t_.activeEnd || w.end <= t_.activeFirst) return true;
        if (partner) {
            const int32_t partnerStep = int32_t(floor_mod(int64_t{partner->phase} + c, partner->cycleLength));
            const Window p = window(*partner, partnerStep, delta);
            for (int32_t n = p.first; n < w.first; ++n)
                if (s_.state[n] == kNozzleFirstHalf) clear(n);
            for (int32_t n = w.end; n < p.end; ++n)
                if (s_.state[n] == kNozzleSecondHalf) clear(n);
        }
        const uint16_t value = walk::step_value(l, own, kMleNoStepValue);
        for (int32_t n = w.first; n < w.end; ++n) mark(n, state, w.origin, h, value);
        if (w.first < w.end) (state == kNozzleSecondHalf ? t_.polPassSecond : t_.polPassFirst) = uint32_t(c);
        return true;
    });
}

// Within the layer's range, its window takes the overlap state in place of
// the partner layer's window of this pass; what the partner covered outside
// it prints alone.
void Builder::pol_append(const MicroweaveLayerRecord& l, uint8_t state, int32_t i, int32_t h) {
    if (headPos_ < l.start || headPos_ > l.end) return;
    const MicroweaveLayerRecord* N = s_.normal;
    const int64_t c = N ? walk::first_pass_at_or_after(*N, span(*N), l.start) : 0;
    const int32_t step = int32_t(floor_mod(int64_t{i} - c + l.phase, l.cycleLength));
    const Window w = window(l, step, 0);
    const uint16_t value = walk::step_value(l, step, kMleNoStepValue);
    const MicroweaveLayerRecord* partner = state == kNozzleFirstHalf ? first_kind(3) : last_type(4);
    if (!partner) {
        for (int32_t n = w.first; n < w.end; ++n) mark(n, state, w.first, h, value);
        return;
    }
    const Window p = window(*partner, int32_t(floor_mod(int64_t{partner->phase} + i, partner->cycleLength)), 0);
    for (int32_t n = w.first; n < p.first; ++n) mark(n, state, w.first, h, value);
    for (int32_t n = p.first; n < w.first; ++n) mark(n, kNozzleAlone, n, h, kMleNoStepValue);
    const int32_t from = std::max(w.first, p.first);
    for (int32_t n = from; n < w.end; ++n) mark(n, state, w.first, h, value);
    for (int32_t n = std::max(from, w.end); n < p.end; ++n) mark(n, kNozzleAlone, n, h, kMleNoStepValue);
}

// MakeLayerHeadsOLAppend (and, with the selector and group of head 0 for
// the edge groups, MakeLayerHeadsOLFooter): fills head entry h from the
// layer's step and writes the step value into the overlap array of
// the boundary with head h - 1 where nozzles print; only positions inside
// that array are written.
void Builder::heads_overlap(const MicroweaveLayerRecord& l, int32_t i, int32_t h, bool fromHead0) {
    if (heads_ < 2) return;
    const int32_t step = step_of(l, i);
    const MicroweaveRange r = l.range[step];
    const uint16_t selector = fromHead0 ? t_.entries[0].selector : walk::selector_of(l, i);
    const uint16_t group = fromHead0 ? t_.entries[0].group : walk::group_of(l, i);
    t_.entries[h] = MleHeadEntry{selector, group, r.first, r.end, uint8_t(kEntrySelector | kEntryRange)};
    if (h < 1 || !l.hasStepValues) return;
    const MleOverlapZone z = t_.zones[h - 1];
    const Window w = window(l, step, 0);
    for (int32_t n = std::max<int32_t>(w.first, z.first); n < std::min<int32_t>(w.end, z.end); ++n)
        if (s_.state[n] != kNozzleIdle) t_.overlapValues[h - 1][n - z.first] = l.stepValue[step];
}

void Builder::overlap_width(const MicroweaveLayerRecord& l, int32_t i, int32_t h) {
    if (s_.overlapWidth[h] != 0) return;
    const MicroweaveRange r = l.range[step_of(l, i)];
    s_.overlapWidth[h] = r.end > r.first ? uint16_t(r.end - r.first) : 0;
}

// MakeLayerNormalUpdate (normal) and MakeLayerMWSWUpdate: the layer's
// passes of another group that reach the current window suppress what the
// current pass would print there (state 5). With `normal`, from the first
// pass of the entry's own group on, those passes print their rasters
// instead (state 0).
void Builder::suppress(const MicroweaveLayerRecord& l, const MleHeadEntry& entry, bool normal) {
    if (s_.mwswPasses < 1) return;
    bool own = false;
    near_passes(l, normal ? INT64_MAX : s_.mwswPasses, [&](int64_t j, int64_t, int64_t delta) {
        if (walk::selector_of(l, j) != entry.selector) return;
        const uint16_t group = walk::group_of(l, j);
        if (group == entry.group && !normal) return;
        own |= normal && group == entry.group;
        const Window w = window(l, step_of(l, j), delta);
        for (int32_t n = w.first; n < w.end; ++n)
            if (s_.state[n] >= kNozzleAlone && s_.state[n] <= kNozzleSecondHalf)
                s_.state[n] = own ? kNozzleIdle : kNozzleSuppressed;
    });
}

// MakeLayerFooterUpdate: as the MWSW suppression, with the lower passes'
// windows, selectors and groups from the lower table.
void Builder::footer_update(const MicroweaveLayerRecord& l, const MleHeadEntry& entry) {
    if (s_.mwswPasses < 1 || &l != s_.lower || !s_.lowerTable) return;
    near_passes(l, s_.lowerPasses, [&](int64_t j, int64_t, int64_t delta) {
        const LowerEntry& en = s_.lowerTable[j];
        if (en.selector != entry.selector || en.group == entry.group) return;
        const Window w = clip(en.first + delta, en.end + delta);
        for (int32_t n = w.first; n < w.end; ++n)
            if (s_.state[n] >= kNozzleAlone && s_.state[n] <= kNozzleSecondHalf) s_.state[n] = kNozzleSuppressed;
    });
}

// MakeLayerMWSWPOL: where an MWSW overlap layer's pass of another group
// reaches the current window, every nozzle that prints or was suppressed
// takes the overlap state.
void Builder::mwsw_pol(const MicroweaveLayerRecord& l, const MleHeadEntry& entry, uint8_t state, int32_t h) {
    if (s_.mwswPasses < 1) return;
    near_passes(l, s_.mwswPasses, [&](int64_t j, int64_t, int64_t delta) {
        if (walk::selector_of(l, j) != entry.selector || walk::group_of(l, j) == entry.group) return;
        const int32_t step = step_of(l, j);
        const Window w = window(l, step, delta);
        for (int32_t n = w.first; n < w.end; ++n)
            if (s_.state[n] != kNozzleIdle) mark(n, state, w.origin, h, walk::step_value(l, step, kMleNoStepValue));
    });
}

// MakeLayerMWSWPOLUpdate: the MWSW pass's own overlap window gives its
// suppressed nozzles back in the overlap state.
void Builder::mwsw_pol_update(const MicroweaveLayerRecord& l, uint8_t state, int32_t i, int32_t h) {
    const int32_t step = step_of(l, i);
    const Window w = window(l, step, 0);
    for (int32_t n = w.first; n < w.end; ++n)
        if (s_.state[n] == kNozzleSuppressed) mark(n, state, w.origin, h, walk::step_value(l, step, kMleNoStepValue));
}

// F-trans marking: the pass table's entry i gives the head entry and the
// window; its overlap zone prints second half.
void Builder::ftrans_mark(int32_t i, int32_t h) {
    if (!s_.fTransTable || i >= s_.fTransPasses) return;
    const FTransPass& f = s_.fTransTable[i];
    headPos_ = f.headPos;
    t_.entries[h] = MleHeadEntry{f.selector, f.group, f.first, f.end, uint8_t(kEntrySelector | kEntryRange)};
    const int32_t zone = std::max(f.first, f.overlapStart);
    const Window alone = clip(f.first, zone), shared = clip(zone, f.end);
    widen(clip(f.first, f.end));
    for (int32_t n = alone.first; n < alone.end; ++n) mark(n, kNozzleAlone, alone.origin, h, kMleNoStepValue);
    for (int32_t n = shared.first; n < shared.end; ++n) mark(n, kNozzleSecondHalf, shared.origin, h, f.polIndex);
    t_.polPassSecond = uint32_t(int64_t{i} + s_.normalPasses + s_.polCycle);
}

// MakeLayerFTransPOL: the current pass prints the first half of the F-trans
// passes' overlap zones that it reaches.
void Builder::ftrans_pol(const MleHeadEntry& entry, int32_t h) {
    if (!s_.fTransTable || !s_.fTrans) return;
    const MicroweaveLayerRecord& F = *s_.fTrans;
    const int64_t range = int64_t{maxNozzle_} * pitch_;
    walk::for_each_pass_in(F, span(F), headPos_ - range, headPos_ + range, [&](int64_t j, int64_t s) {
        if (j >= s_.fTransPasses) return false;
        const FTransPass& f = s_.fTransTable[j];
        int64_t delta = 0;
        if (f.selector != entry.selector || !aligned(s, headPos_, pitch_, delta)) return true;
        const Window w = clip(int64_t{f.overlapStart} + delta, int64_t{f.end} + delta);
        bool changed = false;
        for (int32_t n = w.first; n < w.end; ++n) {
            if (s_.state[n] != kNozzleAlone) continue;
            mark(n, kNozzleFirstHalf, w.origin, h, f.polIndex);
            changed = true;
        }
        if (changed) t_.polPassFirst = uint32_t(int64_t{s_.normalPasses} + j);
        return true;
    });
}

// MakeLayerFooter: the lower table's entry i gives the head entry and the
// nozzles that print.
void Builder::footer(const MicroweaveLayerRecord& l, int32_t i, int32_t h) {
    if (&l != s_.lower || !s_.lowerTable || i >= s_.lowerPasses) return;
    const LowerEntry& en = s_.lowerTable[i];
    headPos_ = walk::pass_position(l, span(l).first, i);
    t_.entries[h] = MleHeadEntry{en.selector, en.group, uint16_t(std::max<int16_t>(en.first, 0)),
                                 uint16_t(std::max<int16_t>(en.end, 0)), uint8_t(kEntrySelector | kEntryRange)};
    const int32_t step = step_of(l, i);
    const Window w = clip(en.first, en.end);
    widen(w);
    for (int32_t n = w.first; n < w.end; ++n)
        mark(n, kNozzleAlone, w.origin, h, walk::step_value(l, step, kMleNoStepValue));
}

// Lower-edge marking: the overlap layer's passes that reach the lower pass
// give its printing nozzles their head and step value and tell how far the
// overlap reaches; from the pass's first nozzle to there the nozzles print
// in runs of the overlap window's width, the first run first half, the
// later ones second half. A pass whose segment restarts prints nothing
// beyond the overlap.
void Builder::lower_edge_mark(const MicroweaveLayerRecord& l, const MleHeadEntry& entry, int32_t i, int32_t h) {
    LowerEdgeRecord* rec = s_.lowerEdge;
    if (!rec || !s_.lowerTable || i >= s_.lowerPasses) return;
    const LowerEntry& en = s_.lowerTable[i];
    rec->work[0] = en.first;
    int32_t furthest = en.first, step = -1;
    const int64_t hi = std::min<int64_t>(l.end, reach());
    walk::for_each_pass_in(l, span(l), headPos_ - int64_t{maxNozzle_} * pitch_, hi, [&](int64_t j, int64_t s) {
        int64_t delta = 0;
        if (walk::selector_of(l, j) != entry.selector || !aligned(s, headPos_, pitch_, delta)) return true;
        const int32_t k = step_of(l, j);
        const Window w = window(l, k, delta);
        for (int32_t n = w.first; n < w.end; ++n) {
            if (s_.state[n] != kNozzleAlone) continue;
            s_.headNo[n] = uint16_t(h);
            s_.stepValue[n] = walk::step_value(l, k, kMleNoStepValue);
        }
        if (w.first < w.end && w.end > furthest) {
            furthest = w.end;
            step = k;
        }
        t_.polPassFirst = t_.polPassSecond = uint32_t(j);
        return true;
    });
    rec->work[1] = furthest;
    const int32_t width = step >= 0 ? int32_t(l.range[step].end) - int32_t(l.range[step].first) : 0;
    if (width >= 1) {
        const Window runs = clip(en.first, furthest);
        widen(runs);
        const uint16_t value = walk::step_value(l, step, kMleNoStepValue);
        for (int32_t n = runs.first; n < runs.end; ++n) {
            const int64_t run = (n - int64_t{en.first}) / width;
            mark(n, run == 0 ? kNozzleFirstHalf : kNozzleSecondHalf, en.first + run * width, h, value);
        }
    }
    if (rec->passFlags && rec->passFlags[i]) {
        const Window rest = clip(furthest, en.end);
        for (int32_t n = rest.first; n < rest.end; ++n) clear(n);
    }
}

void Builder::copy_entries() {
    for (int32_t h = 1; h < heads_; ++h) {
        t_.entries[h].selector = t_.entries[0].selector;
        t_.entries[h].group = t_.entries[0].group;
        t_.entries[h].filled |= kEntrySelector;
    }
}

// The builders of one layer in one group (t = kind mod 20, h = kind / 20).
void Builder::run(PassGroup g, const MicroweaveLayerRecord& l, int32_t i) {
    const int32_t t = l.kind % 20, h = l.kind / 20;
    const MleHeadEntry& entry = t_.entries[h];
    switch (g) {
        case PassGroup::Upper:
            switch (t) {
                case 0: append(l, kNozzleAlone, i, h, true); update(l, entry); copy_entries(); break;
                case 1: case 9: update(l, entry); break;
                case 3: pol(l, entry, kNozzleSecondHalf, h, 0); overlap_width(l, i, h); break;
                case 11: pol(l, entry, kNozzleSecondHalf, h, s_.preNormalPasses); overlap_width(l, i, h); break;
                case 13: pol_priority(l, entry, kNozzleSecondHalf, h); break;
                case 15: heads_overlap(l, i, h, false); break;
                default: break;
            }
            break;
        case PassGroup::PreNormal:
            switch (t) {
                case 1: update(l, entry); break;
                case 3: pol(l, entry, kNozzleSecondHalf, h, 0); overlap_width(l, i, h); break;
                case 9: append(l, kNozzleAlone, i, h, true); update(l, entry); copy_entries(); break;
                case 11: append(l, kNozzleFirstHalf, i, h, false); break;
                case 13: pol_priority(l, entry, kNozzleSecondHalf, h); break;
                case 18: heads_overlap(l, i, h, false); break;
                default: break;
            }
            break;
        case PassGroup::Normal:
            switch (t) {
                case 1: append(l, kNozzleAlone, i, h, true); break;
                case 2: footer_update(l, entry); break;
                case 3: append(l, kNozzleFirstHalf, i, h, false); break;
                case 4: append(l, kNozzleSecondHalf, i, h, false); overlap_width(l, i, h); break;
                case 6: suppress(l, entry, false); break;
                case 7: mwsw_pol(l, entry, kNozzleMwswSecond, h); break;
                case 8: mwsw_pol(l, entry, kNozzleMwswFirst, h); break;
                case 13: pol_append(l, kNozzleFirstHalf, i, h); break;
                case 14: pol_append(l, kNozzleSecondHalf, i, h); break;
                case 16: heads_overlap(l, i, h, false); break;
                default: break;
            }
            break;
        case PassGroup::FTrans:
            switch (t) {
                case 4: pol(l, entry, kNozzleFirstHalf, h, 0); break;
                case 10:
                    if (&l != s_.fTrans) break;
                    ftrans_mark(i, h);
                    ftrans_pol(t_.entries[h], h);
                    copy_entries();
                    break;
                case 14: pol_priority(l, entry, kNozzleFirstHalf, h); break;
                case 19: heads_overlap(l, i, h, true); break;
                default: break;
            }
            break;
        default: break;
    }
}

// The MWSW group's three sweeps: its own pass, then what the other
// groups' passes suppress and share, then its overlap windows.
void Builder::run_mwsw(int32_t sweep, const MicroweaveLayerRecord& l, int32_t i) {
    const int32_t t = l.kind % 20, h = l.kind / 20;
    const MleHeadEntry& entry = t_.entries[h];
    if (sweep == 0) {
        if (t == 6) {
            append(l, kNozzleAlone, i, h, true);
            copy_entries();
        }
        if (t == 16) heads_overlap(l, i, h, false);
    } else if (sweep == 1) {
        switch (t) {
            case 1: case 4: suppress(l, entry, true); break;
            case 2: footer_update(l, entry); break;
            case 6: suppress(l, entry, false); break;
            case 7: mwsw_pol(l, entry, kNozzleMwswSecond, h); break;
            case 8: mwsw_pol(l, entry, kNozzleMwswFirst, h); break;
            default: break;
        }
    } else {
        if (t == 7) mwsw_pol_update(l, kNozzleMwswFirst, i, h);
        if (t == 8) mwsw_pol_update(l, kNozzleMwswSecond, i, h);
    }
}

// The lower group: with the lower-edge record one sweep; without, the
// lower pass and its overlaps, then what the normal and MWSW passes print.
void Builder::run_lower(int32_t sweep, const MicroweaveLayerRecord& l, int32_t i) {
    const int32_t t = l.kind % 20, h = l.kind / 20;
    const MleHeadEntry& entry = t_.entries[h];
    if (s_.lowerEdge) {
        switch (t) {
            case 2: footer(l, i, h); copy_entries(); break;
            case 4:
                if (&l == s_.lowerPol) lower_edge_mark(l, entry, i, h);
                break;
            case 17: heads_overlap(l, i, h, true); break;
            default: break;
        }
    } else if (sweep == 0) {
        switch (t) {
            case 2: footer(l, i, h); copy_entries(); break;
            case 4: pol(l, entry, kNozzleFirstHalf, h, 0); break;
            case 10:
                if (&l == s_.fTrans) ftrans_pol(entry, h);
                break;
            case 14: pol_priority(l, entry, kNozzleFirstHalf, h); break;
            case 17: heads_overlap(l, i, h, true); break;
            default: break;
        }
    } else {
        switch (t) {
            case 1: suppress(l, entry, true); break;
            case 6: suppress(l, entry, false); break;
            case 7: mwsw_pol(l, entry, kNozzleMwswSecond, h); break;
            case 8: mwsw_pol(l, entry, kNozzleMwswFirst, h); break;
            default: break;
        }
    }
}

// Which of two alternating overlap masks applies: the parity of the
// partner's cycle count and position in the cycle. Pass numbers before the
// normal group count backwards from it.
void Builder::pol_phase(PassGroup g, int32_t i) {
    const int64_t cycle = std::max<int32_t>(s_.polCycle, 1);
    auto parity = [&](int64_t x) { return (walk::floor_div(x, cycle) + floor_mod(x, cycle)) & 1; };
    switch (g) {
        case PassGroup::Upper:
        case PassGroup::PreNormal:
            if (t_.polPassSecond != kMleNoPolPass)
                t_.polPhase = parity(int32_t(t_.polPassSecond)) == 0 ? 1 : 0;
            if (g == PassGroup::PreNormal) t_.polPassFirst = uint32_t(int64_t{i} - s_.preNormalPasses);
            break;
        case PassGroup::Normal:
            t_.polPassFirst = uint32_t(i);
            t_.polPassSecond = uint32_t(int64_t{i} + s_.polCycle);
            t_.polPhase = parity(i) != 0 ? 1 : 0;
            break;
        case PassGroup::FTrans:
        case PassGroup::Lower:
            if (t_.polPassFirst != kMleNoPolPass) {
                t_.polPhase = parity(int32_t(t_.polPassFirst)) == 0 ? 1 : 0;
                t_.polPassFirst = uint32_t(int64_t{int32_t(t_.polPassFirst)} + s_.polCycle);
            }
            break;
        default: break;
    }
}

// Repeat mode: a pass outside the normal group printed the pattern of
// normal pass `mapped`; it stands at its own layer's position and prints
// the rasters of the normal cycle's pass at its place (before the normal
// layer's start, or after its last pass), the pattern moved by the
// distance in nozzles. False when that distance is not a whole number of
// pitches, or would move the pattern above nozzle 0 or past 16 bits.
bool Builder::repeat_position(int32_t pass, int32_t mapped) {
    const int64_t u = int64_t{s_.upperPasses} + s_.preNormalPasses, v = u + s_.normalPasses;
    if (pass >= u && pass < v) return true;
    const MicroweaveLayerRecord* N = s_.normal;
    const int64_t moved = int64_t{pass} - mapped;
    for (uint32_t* p : {&t_.polPassFirst, &t_.polPassSecond})
        if (*p != kMleNoPolPass) *p = uint32_t(int64_t{int32_t(*p)} + moved);
    const int64_t normalPos = walk::pass_position(*N, span(*N).first, int64_t{pass} - u);
    int32_t i = 0;
    const PassGroup g = find_group(pass, i);
    const MicroweaveLayerRecord* own = nullptr;
    switch (g) {
        case PassGroup::Upper: own = s_.upper; break;
        case PassGroup::PreNormal: own = s_.preNormal; break;
        case PassGroup::Mwsw: own = s_.mwsw; break;
        case PassGroup::FTrans: own = s_.fTrans; break;
        case PassGroup::Lower: own = s_.lower; break;
        default: break;
    }
    if (!own) return false;
    const int64_t o = walk::pass_position(*own, span(*own).first, i);
    int64_t shift = 0;
    if (!aligned(normalPos, o, pitch_, shift) || shift < 0 || shift > UINT16_MAX) return false;
    headPos_ = o;
    t_.nozzleShift = uint16_t(shift);
    return true;
}

// Narrows or widens [activeFirst, activeEnd) to the run of printing
// nozzles around it.
void Builder::trim() {
    int32_t first = t_.activeFirst, end = t_.activeEnd;
    if (first >= end) return;
    const uint8_t* st = s_.state;
    if (st[first] == kNozzleIdle) {
        while (first < end && st[first] == kNozzleIdle) ++first;
    } else {
        while (first > 0 && st[first - 1] != kNozzleIdle) --first;
    }
    if (first >= end) {
        t_.activeFirst = static_cast<int16_t>(maxNozzle_);
        t_.activeEnd = 0;
        return;
    }
    if (st[end - 1] == kNozzleIdle) {
        while (end > first && st[end - 1] == kNozzleIdle) --end;
    } else {
        while (end < maxNozzle_ && st[end] != kNozzleIdle) ++end;
    }
    t_.activeFirst = static_cast<int16_t>(first);
    t_.activeEnd = static_cast<int16_t>(end);
}

// A head entry that no layer of the pass filled takes head 0's selector
// and group, and splits the overlap with the previous head at its middle so
// that each shared raster is printed by one head. Every selector must name
// a mask plane: 1 .. colorNum.
bool Builder::finish_entries() {
    for (int32_t h = 1; h < heads_; ++h) {
        MleHeadEntry& en = t_.entries[h];
        if (!(en.filled & kEntrySelector)) {
            en.selector = t_.entries[0].selector;
            en.group = t_.entries[0].group;
        }
        if (!(en.filled & kEntryRange)) {
            const MleOverlapZone z = t_.zones[h - 1];
            en.rangeFirst = en.rangeEnd = uint16_t((z.first + z.end) / 2);
        }
    }
    for (int32_t h = 0; h < heads_; ++h)
        if (t_.entries[h].selector < 1 || t_.entries[h].selector > e_.resource->colorNum) return false;
    return true;
}

bool Builder::build(int32_t pass) {
    if (!s_.overlapWidth || !s_.cover) return false;  // no schedule
    reset();
    // Repeat mode: the passes before and after the normal group take the
    // pattern of a normal pass, cyclically over the lower split.
    const bool repeat = s_.logic.flags & kMwRepeat;
    const int64_t u = int64_t{s_.upperPasses} + s_.preNormalPasses, v = u + s_.normalPasses;
    int64_t mapped = pass;
    if (repeat && (pass < u || pass >= v)) {
        const int64_t split = e_.resource->modeValue3;
        if (split < 1) return false;
        mapped = u + floor_mod(int64_t{pass} - u, split);
        if (mapped >= v) return false;
    }
    int32_t i = 0;
    const PassGroup g = find_group(int32_t(mapped), i);
    if (g == PassGroup::None || !group_position(g, i)) return false;
    const uint32_t n = s_.logic.layerCount;
    const MicroweaveLayerRecord* layers = s_.logic.layers;
    switch (g) {
        case PassGroup::Mwsw:
            for (int32_t sweep = 0; sweep < 3; ++sweep)
                for (uint32_t k = 0; k < n; ++k) run_mwsw(sweep, layers[k], i);
            break;
        case PassGroup::Lower:
            for (int32_t sweep = 0; sweep < (s_.lowerEdge ? 1 : 2); ++sweep)
                for (uint32_t k = 0; k < n; ++k) run_lower(sweep, layers[k], i);
            break;
        default:
            for (uint32_t k = 0; k < n; ++k) run(g, layers[k], i);
            break;
    }
    if (!fits31(headPos_)) return false;
    for (int32_t h = 1; h < heads_; ++h)
        if (s_.overlapWidth[h] == 0) s_.overlapWidth[h] = s_.overlapWidth[0];
    pol_phase(g, i);
    if (repeat) {
        if (!repeat_position(pass, int32_t(mapped))) return false;
    } else {
        trim();
    }
    t_.headPos = static_cast<int32_t>(headPos_);
    return finish_entries();
}

// ---- Nozzle information --------------------------------------------------------------

// The head fields of the block: the head, its entry and its boundaries.
void head_fields(MLE_INSTANCE& e, int32_t h, int32_t yShift) {
    MleHeadTable& t = e.table;
    MleNozzleInfo& info = t.info;
    const int32_t heads = e.resource->head.headNum;
    const int32_t start = t.headStart[h];
    info.head = static_cast<int16_t>(h);
    info.headNozzles = e.resource->head.nozzleNumOfHead[h];
    info.selector = t.entries[h].selector;
    info.group = t.entries[h].group;
    info.polPhase = t.polPhase;
    info.prevOverlap = info.nextOverlap = MleNozzleRange{0, 0};
    info.prevOverlapValues = info.nextOverlapValues = nullptr;
    auto relative = [&](MleOverlapZone z) {
        return MleNozzleRange{int16_t(z.first - start - yShift), int16_t(z.end - start - yShift)};
    };
    if (h > 0) {
        info.prevOverlap = relative(t.zones[h - 1]);
        info.prevOverlapValues = t.overlapValues[h - 1];
    }
    if (h + 1 < heads) {
        info.nextOverlap = relative(t.zones[h]);
        info.nextOverlapValues = t.overlapValues[h];
    }
    info.overlapWidth = e.schedule.overlapWidth ? e.schedule.overlapWidth[h] : 0;
    const LowerEdgeRecord* edge = e.schedule.lowerEdge;
    info.lowerEdge = edge ? 1 : 0;
    info.lowerEdgeKind = edge ? uint8_t(edge->kind) : 2;
    info.lowerEdgeRest = edge ? edge->rest : 0;
}

}  // namespace

bool MakeHeadTable(MLE_INSTANCE& e, int32_t pass) { return Builder(e).build(pass); }

void FillHeadInfo(MLE_INSTANCE& e, int32_t head) { head_fields(e, head, 0); }

bool GetNozzleInfo(MLE_INSTANCE& e, int32_t head, int32_t ink) {
    const int32_t heads = e.resource->head.headNum;
    if (ink < 0 || ink >= e.inkCount || head < 0 || head >= heads) return false;
    const MleSchedule& s = e.schedule;
    MleHeadTable& t = e.table;
    MleNozzleInfo& info = t.info;
    const int32_t c = e.inkColumn[ink];
    const uint8_t code = e.columnCode[c];
    const int64_t pitch = s.logic.pitch;
    int64_t base = int64_t{e.columnOffset[c]} + t.headPos;
    int32_t h = head;
    if (NLM_IsValid(e.nlm)) {
        const int32_t shift = NLM_GetHeadTopShiftAmount(code, e.nlm);
        const int64_t moved = int64_t{t.headStart[floor_mod(shift < 0 ? -int64_t{shift} : shift, heads)]} * pitch;
        base += shift >= 0 ? moved : -moved;
        h = int32_t(floor_mod(int64_t{head} + NLM_GetHeadVerticalShiftAmount(code, e.nlm), heads));
    }
    const int32_t n = e.resource->head.nozzleNumOfHead[h];
    const int32_t hs = t.headStart[h];
    const int64_t zoneFirst = h == 0 ? 0 : t.entries[h].rangeFirst;
    const int64_t zoneEnd = h == heads - 1 ? int64_t{hs} + n : t.entries[h + 1].rangeEnd;
    const int64_t nozzlePos = int64_t{hs} * pitch + base;
    if (!fits31(nozzlePos)) return false;

    const uint16_t* lhtLayers = nullptr;
    const uint16_t* lhtHalftones = nullptr;
    if (LHT_GetEnable(e.lht)) {
        lhtLayers = LHT_GetLayerArrayOfVirtualNozzleArray(e.columnLine[c], e.lht);
        lhtHalftones = LHT_GetHalftoneIndexArrayOfVirtualNozzleArray(e.columnLine[c], e.lht);
        if (!lhtLayers || !lhtHalftones || !s.lhtEnable) return false;
    }

    // The window in virtual nozzles: the pattern's active range moved by the
    // ink's row shift, inside the not-printed window and the head's zone.
    const int64_t shift = int64_t{e.inkNozzleShift[ink]} + t.nozzleShift;
    int64_t start = t.activeFirst + shift, end = t.activeEnd + shift;
    const int64_t lo = std::clamp<int64_t>(walk::ceil_div(int64_t{s.notPrintStart} - base, pitch), 0, zoneEnd);
    const int64_t hi = std::min(zoneEnd, std::max<int64_t>(0, walk::ceil_div(int64_t{s.notPrintEnd} - base, pitch)));
    start = std::max(start, lo);
    end = std::min(end, hi);
    int64_t first = 0, last = 0;
    if (start < zoneEnd && end > zoneFirst && start < end) {
        start = std::max(start, zoneFirst);
        first = std::max<int64_t>(start - hs, 0);
        last = std::min<int64_t>(end - hs, n);
        if (first >= last) first = last = 0;
    }
    const int64_t index = hs + first - shift;  // pattern nozzle of the window's first nozzle
    int64_t yShift = 0;
    if (YDS_IsValid(e.yds) && last >= 1) {
        const int64_t y = YDS_GetShiftAmount(code, head, e.yds);
        yShift = first - y < 0 ? first : (last - y > n ? last - n : y);
        first -= yShift;
        last -= yShift;
    }
    head_fields(e, h, int32_t(yShift));
    info.nozzlePos = static_cast<int32_t>(nozzlePos);
    info.firstNozzle = static_cast<int16_t>(first);
    info.endNozzle = static_cast<int16_t>(last);
    info.yShift = static_cast<int16_t>(yShift);
    info.state = nullptr;
    info.rasterOffset = nullptr;
    info.headNo = nullptr;
    info.stepValue = nullptr;
    info.lhtLayer = info.lhtHalftone = nullptr;
    if (first >= last) return true;
    info.state = s.state + index;
    info.rasterOffset = s.rasterOffset + index;
    info.headNo = s.headNo + index;
    info.stepValue = s.stepValue + index;
    if (lhtLayers) {
        // Layered halftoning: a nozzle prints only with a halftone index and
        // (with discharge-timing data) an enabled layer area.
        info.lhtLayer = lhtLayers + index;
        info.lhtHalftone = lhtHalftones + index;
        const bool timing = RLS_IsValid(e.rls);
        int32_t lastLayer = -1;
        bool disabled = false;
        for (int64_t k = index; k < index + (last - first); ++k) {
            if (timing && lhtLayers[k] != lastLayer) {
                lastLayer = lhtLayers[k];
                disabled = RLS_JudgedDisableNozzleArea(code, lhtLayers[k], e.rls);
            }
            s.lhtEnable[k] = (int16_t(lhtHalftones[k]) < 0 || disabled) ? kNozzleIdle : s.state[k];
        }
        info.state = s.lhtEnable + index;
    }
    return true;
}

int32_t CalcHeadTopPosition(const MLE_INSTANCE& e) {
    const MLEResourceData& r = *e.resource;
    const int64_t value = r.subModeValue0;
    if (r.subModeValue1 != 7) return static_cast<int32_t>(value);
    if (!r.blockE) return static_cast<int32_t>(e.minNegOffset - e.columnOffset[e.minOffsetColumn] + value);
    const int64_t pitch = r.unitNum > 0 && r.units ? r.units[0].pitch : 0;
    const int32_t upper = e.upperInk;
    int64_t top = -(int64_t{e.columnOffset[e.inkColumn[upper]]} + pitch * e.inkNozzleShift[upper]) + value;
    int64_t extra = 0;
    for (int32_t row = 0; row < r.blockE->n; ++row) {
        int64_t offset = 0;
        for (int32_t a = 0; a < r.nozzleArrayNum; ++a)
            if (r.colorOrder[a] == r.blockE->commandColors[row]) {
                offset = r.nozzleArrayValues[a];
                break;
            }
        extra = std::max(extra, int64_t{r.blockE->rowShifts[row]} * pitch - offset);
    }
    return static_cast<int32_t>(top + extra);
}

}  // namespace ovcg::irac
