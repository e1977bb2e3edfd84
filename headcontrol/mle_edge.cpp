#include "headcontrol/mle_edge.h"

#include "headcontrol/codes.h"
#include "headcontrol/resource_stream.h"

#include <algorithm>
#include <climits>

namespace ovcg::irac {

namespace {

using walk::aligned;
using walk::floor_mod;
using walk::step_of;

// F-trans, lower and virtual passes a schedule may hold: far beyond any
// page edge; and the virtual rows the claims may visit in all.
constexpr int64_t kMaxEdgeEntries = int64_t{1} << 16;
constexpr int64_t kMaxRowVisits = int64_t{1} << 20;

bool fits31(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

const walk::LayerSpan& span_of(const MleSchedule& s, const MicroweaveLayerRecord& l) {
    return s.spans[&l - s.logic.layers];
}

// The virtual passes: rows `rows` per segment, row i of segment j being the
// segment's pass passBase + i (the dummy head table), and the claims on them.
class VirtualPasses {
public:
    VirtualPasses(MleSchedule& s, int64_t passBase, int64_t rows)
        : s_(s), passBase_(passBase), rows_(rows), pitch_(s.logic.pitch),
          reach_(int64_t{s.maxNozzle} * s.logic.pitch) {}

    struct Hit {
        int32_t segment = -1;
        int64_t row = -1;
        int64_t position = 0;  // the row's pass position
        int64_t nozzle = 0;    // in the searching pass's numbering
        uint8_t selector = 0;  // the row's
        uint8_t group = 0;
    };

    // MakeDummyHeadTable: each row's window, selector and group.
    void fill() {
        for (int32_t j = 0; j < s_.segmentCount; ++j) {
            const MicroweaveLayerRecord& l = *s_.segments[j];
            for (int64_t i = 0; i < rows_; ++i) {
                const int64_t pass = passBase_ + i;
                const MicroweaveRange r = l.range[step_of(l, pass)];
                row(j, i) = LowerEntry{int16_t(r.first), int16_t(r.end), uint8_t(walk::selector_of(l, pass)),
                                       uint8_t(walk::group_of(l, pass))};
            }
        }
    }

    // SearchNozzle: the first nozzle of [f, e) of a pass at P whose raster a
    // virtual window of the selector (0: any) still holds.
    Hit search(int64_t P, int64_t f, int64_t e, uint16_t selector) {
        Hit best;
        if (f >= e) return best;
        rows_in(P + f * pitch_ - reach_, P + (e - 1) * pitch_, [&](int32_t j, int64_t i, int64_t Q) {
            const LowerEntry& w = row(j, i);
            int64_t delta = 0;
            if (w.first >= w.end || (selector && w.selector != selector) || !aligned(Q, P, pitch_, delta)) return;
            const int64_t k = std::max<int64_t>(f, w.first + delta);
            if (k < std::min<int64_t>(e, w.end + delta) && (best.segment < 0 || k < best.nozzle))
                best = Hit{j, i, Q, k, w.selector, w.group};
        });
        return best;
    }

    // The end of raster r0's run (its pitch grid, up to `limit`): the
    // rasters from r0 that virtual windows hold without a gap.
    int64_t run_end(int64_t r0, int64_t limit, uint16_t selector) {
        int64_t cur = r0;
        for (int64_t guard = int64_t{s_.maxNozzle} + 2; cur < limit && guard > 0; --guard) {
            int64_t next = cur;
            rows_in(cur - reach_, cur, [&](int32_t j, int64_t i, int64_t Q) {
                const LowerEntry& w = row(j, i);
                int64_t k = 0;
                if ((selector && w.selector != selector) || !aligned(cur, Q, pitch_, k)) return;
                if (k >= w.first && k < w.end) next = std::max(next, Q + int64_t{w.end} * pitch_);
            });
            if (next == cur) break;
            cur = next;
        }
        return std::min(cur, limit);
    }

    // Takes [r0, r1) of r0's pitch grid out of the virtual windows of the
    // selector (0: any): their first nozzles move past r1.
    // Counts a pass visited while building the tables; false once they
    // visited more than a plan may cost.
    bool visit() { return ++visits_ <= kMaxRowVisits; }
    bool exhausted() const { return visits_ > kMaxRowVisits; }

    void claim(int64_t r0, int64_t r1, uint16_t selector) {
        rows_in(r0 - reach_, r1, [&](int32_t j, int64_t i, int64_t Q) {
            LowerEntry& w = row(j, i);
            int64_t k = 0;
            if (w.first >= w.end || (selector && w.selector != selector) || !aligned(r0, Q, pitch_, k)) return;
            const int64_t first = Q + int64_t{w.first} * pitch_, end = Q + int64_t{w.end} * pitch_;
            if (end <= r0 || first >= r1) return;
            w.first = int16_t(std::min<int64_t>(w.end, walk::ceil_div(r1 - Q, pitch_)));
        });
    }

private:
    LowerEntry& row(int32_t j, int64_t i) { return s_.dummyHeadTable[j * rows_ + i]; }

    // Every row of every segment whose pass stands in [lo, hi]; the walk
    // starts at the cycle of the first virtual pass.
    template <class Fn>
    void rows_in(int64_t lo, int64_t hi, Fn&& fn) {
        for (int32_t j = 0; j < s_.segmentCount; ++j) {
            const MicroweaveLayerRecord& l = *s_.segments[j];
            const walk::LayerSpan& sp = span_of(s_, l);
            const int64_t firstRow = sp.first + passBase_ / l.cycleLength * l.cycleFeed + sp.prefixMin;
            walk::for_each_pass_in(l, sp, std::max(lo, firstRow), hi, [&](int64_t pass, int64_t pos) {
                if (!visit()) return false;
                if (pass < passBase_) return true;
                if (pass - passBase_ >= rows_) return false;
                fn(j, pass - passBase_, pos);
                return true;
            });
        }
    }

    MleSchedule& s_;
    const int64_t passBase_;
    const int64_t rows_;
    const int64_t pitch_;
    const int64_t reach_;
    int64_t visits_ = 0;
};

// The lower-edge record: how far the overlap layer's first steps advance
// against its window.
uint32_t lower_edge_record(MLE_INSTANCE& e) {
    MleSchedule& s = e.schedule;
    if (alloc_record(*e.cb, kMleNoSchedule, s.lowerEdge)) return kMleNoSchedule;
    LowerEdgeRecord& rec = *s.lowerEdge;
    rec.mode = e.resource->optionWordHigh;
    const MicroweaveLayerRecord* last3 = nullptr;
    int64_t layers3 = 0;
    for (uint32_t i = 0; i < s.logic.layerCount; ++i)
        if (s.logic.layers[i].kind % 20 == 3) {
            last3 = &s.logic.layers[i];
            ++layers3;
        }
    const int64_t split = e.resource->modeValue3;
    const int64_t n = std::max<int64_t>(layers3 > 0 ? split / layers3 : split, 1);
    int64_t window = 0, sum = 0;
    if (last3) {
        window = int64_t{last3->range[0].end} - last3->range[0].first;
        for (int64_t k = 0; k < n; ++k) sum += last3->feed[k % last3->cycleLength];
    }
    const int64_t pitch = s.logic.pitch;
    const int64_t x = (pitch * window - sum) / pitch;
    const int64_t split2 = x < 1 ? window + x : x, rest = x < 1 ? -x : window - x;
    if (split2 < INT16_MIN || split2 > INT16_MAX || rest < INT16_MIN || rest > INT16_MAX) return kMleBadLogic;
    rec.kind = x < 1 ? 3 : 2;
    rec.split = int16_t(split2);
    rec.rest = int16_t(rest);
    return 0;
}

// The F-trans pass table: each F-trans pass's position, the virtual pass
// whose rasters it takes (selector and group), its overlap with the next
// virtual pass and the overlap's POL index.
uint32_t ftrans_table(MleSchedule& s, VirtualPasses& v, int64_t passBase) {
    const MicroweaveLogicRecord& g = s.logic;
    const MicroweaveLayerRecord& F = *s.fTrans;
    const MicroweaveLayerRecord* pol = s.fTransPol;
    const int64_t pitch = g.pitch;
    int64_t P = span_of(s, F).first;
    for (int64_t i = 0; i < s.fTransPasses; P += walk::feed_at(F, i), ++i) {
        if (!fits31(P)) return kMleBadLogic;
        const int32_t step = step_of(F, i);
        const int64_t f = F.range[step].first, e = F.range[step].end;
        const VirtualPasses::Hit hit = v.search(P, f, e, 0);
        FTransPass& out = s.fTransTable[i];
        out.headPos = int32_t(P);
        out.selector = hit.segment >= 0 ? hit.selector : uint8_t(walk::selector_of(F, i));
        out.group = hit.segment >= 0 ? hit.group : uint8_t(walk::group_of(F, i));
        const int64_t k = hit.segment >= 0 ? hit.nozzle : e;
        int64_t os = e;
        if (g.flags & kMwFTransFromNormal) {
            // From where the virtual pass after the one it takes begins.
            if (hit.segment >= 0 && s.normal) {
                const int64_t feed = s.normal->feed[step_of(*s.normal, passBase + hit.row)];
                os = walk::ceil_div(hit.position + feed - P, pitch);
            }
        } else if (pol) {
            const MicroweaveRange r = pol->range[step_of(*pol, i)];
            os = e - std::max(0, int32_t(r.end) - int32_t(r.first));
        }
        os = std::clamp(os, k, e);
        if (hit.segment >= 0) {
            const int64_t r0 = P + k * pitch;
            const int64_t r1 = v.run_end(r0, P + os * pitch, 0);
            v.claim(r0, r1, 0);
            os = k + (r1 - r0) / pitch;
        }
        out.first = uint16_t(k);
        out.overlapStart = out.nextOverlapStart = uint16_t(os);
        out.end = uint16_t(e);
        out.polIndex = kMleNoStepValue;
        if (e > os && pol && pol->hasStepValues) out.polIndex = pol->stepValue[step_of(*pol, i)];
    }
    return 0;
}

// MakeFooterTable's selectors: the one every lower pass must take its
// rasters from (0: any). With flag 0x8000 or 0x4000 they are laid out first:
// copied from the F-trans passes, or taken in blocks from the normal layer's
// selector list (and the second head's normal layer's): blocks of
// max(lowerSplit / 4, 1) passes, taking turns with 0x8000 (A B A B ...),
// all of the first list's blocks before the second's with 0x4000 (A A B B).
// Passes beyond lowerSplit repeat the first lowerSplit.
class SelectorLayout {
public:
    SelectorLayout(const MleSchedule& s, int64_t split, int64_t passBase) : s_(s), split_(split), passBase_(passBase) {
        const uint16_t flags = s.logic.flags;
        blocks_ = flags & (kMwLowerSelectorsInterleaved | kMwLowerSelectorsConsecutive);
        interleaved_ = flags & kMwLowerSelectorsInterleaved;
        fromFTrans_ = !s.normal || split <= s.fTransPasses;
        block_ = std::max<int64_t>(split / 4, 1);
        const int64_t blocks = (split + block_ - 1) / block_;
        firstHalf_ = (blocks + 1) / 2;
    }

    uint16_t at(int64_t i) const {
        if (!blocks_ || split_ < 1) return 0;
        if (fromFTrans_) {
            const int64_t m = std::min<int64_t>(split_, s_.fTransPasses);
            return s_.fTransTable && m >= 1 ? s_.fTransTable[i % m].selector : 0;
        }
        const int64_t q = i % split_, k = q / block_;
        const MicroweaveLayerRecord* A = s_.normal;
        const MicroweaveLayerRecord* B = s_.secondNormal;
        bool second = false;
        int64_t nth = q;  // entries taken from the chosen list before this one
        if (B && interleaved_) {
            second = k % 2 == 1;
            const int64_t mine = second ? k / 2 : (k + 1) / 2;  // the list's whole blocks before block k
            nth = mine * block_ + (q - k * block_);
        } else if (B) {
            second = k >= firstHalf_;
            nth = second ? q - firstHalf_ * block_ : q;
        }
        const MicroweaveLayerRecord& L = second ? *B : *A;
        if (L.selectorCount < 1) return 0;
        const int64_t base = int64_t{L.selectorPhase} + passBase_ - split_ / 2;
        return L.selector[floor_mod(base + nth, L.selectorCount)];
    }

private:
    const MleSchedule& s_;
    const int64_t split_;
    const int64_t passBase_;
    bool blocks_ = false;
    bool interleaved_ = false;
    bool fromFTrans_ = false;
    int64_t block_ = 1;
    int64_t firstHalf_ = 0;
};

// How far (in the pass's nozzles, from `first` on) the lower-region
// overlap layer's passes of the selector reach a lower pass at P: the
// lower-edge marking prints up to there in overlap runs.
int64_t overlap_reach(const MleSchedule& s, int64_t P, int64_t first, int64_t end, uint16_t selector) {
    const MicroweaveLayerRecord* l = s.lowerPol;
    int64_t furthest = first;
    if (!l) return furthest;
    const int64_t pitch = s.logic.pitch, hi = std::min<int64_t>(l->end, P + (end - 1) * pitch);
    walk::for_each_pass_in(*l, span_of(s, *l), P - int64_t{s.maxNozzle} * pitch, hi, [&](int64_t j, int64_t Q) {
        int64_t delta = 0;
        if (walk::selector_of(*l, j) != selector || !aligned(Q, P, pitch, delta)) return true;
        const MicroweaveRange r = l->range[step_of(*l, j)];
        const int64_t f = std::clamp<int64_t>(r.first + delta, 0, s.maxNozzle);
        const int64_t e = std::clamp<int64_t>(r.end + delta, 0, s.maxNozzle);
        if (f < e) furthest = std::max(furthest, e);
        return true;
    });
    return furthest;
}

// MakeFooterTable: each lower pass's window, narrowed to the rasters it
// takes from the virtual passes, with their selector and group; then the
// passes of other groups cut where a pass of the same selector starts
// (UpdateNozzle), the recount, and the lower-edge record's flags.
uint32_t lower_table(MLE_INSTANCE& e, VirtualPasses& v, int64_t passBase, int64_t pageLength) {
    MleSchedule& s = e.schedule;
    const MicroweaveLayerRecord& L = *s.lower;
    const walk::LayerSpan& sp = span_of(s, L);
    const int64_t pitch = s.logic.pitch;
    const SelectorLayout layout(s, e.resource->modeValue3, passBase);
    uint8_t* flags = nullptr;
    if (s.lowerEdge) {
        if (alloc_array(*e.cb, uint64_t(s.lowerPasses), kMleNoSchedule, s.lowerEdge->passFlags)) return kMleNoSchedule;
        flags = s.lowerEdge->passFlags;
    }
    VirtualPasses::Hit previous;
    int64_t P = sp.first;
    for (int64_t i = 0; i < s.lowerPasses; P += walk::feed_at(L, i), ++i) {
        if (!fits31(P)) return kMleBadLogic;
        const MicroweaveRange r = L.range[step_of(L, i)];
        const uint16_t want = layout.at(i);
        LowerEntry& out = s.lowerTable[i];
        out = LowerEntry{int16_t(r.end), int16_t(r.end), uint8_t(want ? want : walk::selector_of(L, i)),
                         uint8_t(walk::group_of(L, i))};
        const VirtualPasses::Hit hit = v.search(P, r.first, r.end, want);
        if (hit.segment < 0) continue;
        int64_t limit = P + int64_t{r.end} * pitch;
        // A segment's repeat counter restarts where a pass takes its rasters
        // from another segment or from an earlier virtual pass. Such a pass
        // prints nothing beyond the overlap's reach (lower-edge marking), so
        // it takes no rasters beyond it: the next pass does.
        if (flags && previous.segment >= 0 && (hit.segment != previous.segment || hit.row < previous.row)) {
            flags[i] = 1;
            limit = P + overlap_reach(s, P, hit.nozzle, r.end, hit.selector) * pitch;
        }
        previous = hit;
        const int64_t r0 = P + hit.nozzle * pitch;
        const int64_t r1 = std::max(r0, v.run_end(r0, limit, want));
        v.claim(r0, r1, want);
        out.first = int16_t(hit.nozzle);
        out.end = int16_t(hit.nozzle + (r1 - r0) / pitch);
        out.selector = hit.selector;
        out.group = hit.group;
    }
    // UpdateNozzle: a later pass of the same selector and another group that
    // reaches a pass's first raster prints only above it.
    P = sp.first;
    for (int64_t i = 0; i < s.lowerPasses; P += walk::feed_at(L, i), ++i) {
        const LowerEntry& en = s.lowerTable[i];
        if (en.first >= en.end) continue;
        const int64_t target = P + int64_t{en.first} * pitch;
        walk::for_each_pass_in(L, sp, target - int64_t{s.maxNozzle} * pitch, target, [&](int64_t m, int64_t Pm) {
            if (!v.visit()) return false;
            if (m <= i) return true;
            if (m >= s.lowerPasses) return false;
            LowerEntry& o = s.lowerTable[m];
            int64_t delta = 0;
            if (o.selector != en.selector || o.group == en.group || o.first >= o.end ||
                !aligned(target, Pm, pitch, delta))
                return true;
            if (delta < o.end) o.end = int16_t(std::max<int64_t>(o.first, delta));
            return false;
        });
    }
    // The passes up to the last whose first nozzle stands above the page end.
    int64_t last = -1;
    P = sp.first;
    for (int64_t i = 0; i < s.lowerPasses; P += walk::feed_at(L, i), ++i)
        if (P + int64_t{s.lowerTable[i].first} * pitch < pageLength) last = i;
    s.lowerPasses = int32_t(last + 1);
    return 0;
}

// Repeat mode: the passes the last group keeps, up to the last whose window
// starts above the page end.
int64_t repeat_kept(const MicroweaveLayerRecord& l, int32_t count, int64_t pitch, int64_t pageLength) {
    const auto first = [&](int32_t step) { return int64_t{l.range[step].first} * pitch; };
    return walk::last_pass_below(l, l.start, count, pageLength, first) + 1;
}

// Repeat mode's part of step 8: the last group's passes recounted (kept
// when `keep`), and 246 when the page is too short for the passes outside
// the normal group.
uint32_t repeat_recount(MLE_INSTANCE& e, int64_t pageLength, bool keep) {
    MleSchedule& s = e.schedule;
    int64_t outside = mle_total_passes(s) - s.normalPasses;
    if (const MicroweaveLayerRecord* l = s.lower ? s.lower : s.mwsw) {
        int32_t& count = s.lower ? s.lowerPasses : s.mwswPasses;
        const int64_t kept = repeat_kept(*l, count, s.logic.pitch, pageLength);
        outside += kept - count;
        if (keep) count = int32_t(kept);
    }
    // The passes outside the normal group print its first lowerSplit
    // passes' patterns: a page too short for them is refused.
    return outside > 0 && s.normalPasses < e.resource->modeValue3 ? kMleNegativeRange : 0;
}

}  // namespace

uint32_t MakeEdgeTables(MLE_INSTANCE& e, int64_t pageLength, bool build) {
    const CallbackTable& cb = *e.cb;
    MleSchedule& s = e.schedule;
    if (e.resource->optionWordLow)
        if (uint32_t rc = lower_edge_record(e)) return rc;
    if (s.logic.flags & kMwRepeat) return repeat_recount(e, pageLength, build);
    const bool lower = s.lower && s.lowerPasses > 0, fTrans = s.fTrans && s.fTransPasses > 0;
    if (!lower && !fTrans) return 0;
    if (s.mwswExtraPasses < 1 || s.segmentCount < 1 || (build && !s.segments)) return kMleNoExtraPasses;
    if (s.lowerPasses > kMaxEdgeEntries || s.fTransPasses > kMaxEdgeEntries || s.mwswExtraPasses > kMaxEdgeEntries)
        return kMleBadLogic;
    if (!build) return 0;
    const int64_t rows = s.mwswExtraPasses;
    if (alloc_array(cb, uint64_t(rows) * uint64_t(s.segmentCount), kMleNoSchedule, s.dummyHeadTable) ||
        (lower && alloc_array(cb, uint64_t(s.lowerPasses), kMleNoSchedule, s.lowerTable)) ||
        (fTrans && alloc_array(cb, uint64_t(s.fTransPasses), kMleNoSchedule, s.fTransTable)))
        return kMleNoSchedule;
    const int64_t passBase = s.mwsw ? s.mwswPasses : s.normalPasses;
    VirtualPasses v(s, passBase, rows);
    v.fill();
    if (fTrans)
        if (uint32_t rc = ftrans_table(s, v, passBase)) return rc;
    if (lower)
        if (uint32_t rc = lower_table(e, v, passBase, pageLength)) return rc;
    if (v.exhausted()) return kMleBadLogic;
    release_ptr(cb, s.dummyHeadTable);
    release_ptr(cb, s.segments);
    return 0;
}

void mle_free_mir(const CallbackTable& cb, MleMirList*& mir) {
    if (!mir) return;
    if (mir->sections) {
        for (uint32_t i = 0; i < mir->sectionCount; ++i) release_ptr(cb, mir->sections[i].values);
        release_ptr(cb, mir->sections);
    }
    release_ptr(cb, mir);
}

// ---- Engine helpers ----------------------------------------------------------------

int64_t mle_total_passes(const MleSchedule& s) {
    return int64_t{s.upperPasses} + s.preNormalPasses + s.normalPasses + s.mwswPasses + s.fTransPasses +
           s.lowerPasses;
}

bool mle_build_pass(MLE_INSTANCE& e, int32_t pass) {
    if (!MakeHeadTable(e, pass)) return false;
    int64_t v = e.table.headPos;
    if (NLM_IsValid(e.nlm)) {
        const int32_t heads = e.resource->head.headNum;
        v += int64_t{e.table.headStart[floor_mod(NLM_GetBaseHeadVerticalShiftAmount(e.nlm), heads)]} *
             e.schedule.logic.pitch;
    }
    if (!fits31(v)) return false;
    e.vPos = static_cast<int32_t>(v);
    return true;
}

void mle_restore_pass(MLE_INSTANCE& e) {
    if (e.passNo >= 0 && e.passNo < mle_total_passes(e.schedule)) mle_build_pass(e, e.passNo);
}

bool mle_head_pos(MLE_INSTANCE& e, int64_t pass, int64_t& pos) {
    if (pass < 0 || pass > INT32_MAX || !MakeHeadTable(e, int32_t(pass))) return false;
    pos = e.table.headPos;
    return true;
}

uint32_t mle_plan(MLE_INSTANCE& e, int32_t selector, uint32_t failCode) {
    if (uint32_t rc = GetResouceData(e, *e.cb, selector)) return rc;
    if (uint32_t rc = CreateSchedule(e, e.schedule.scheduleLength, true)) return rc;
    return mle_build_pass(e, e.passNo) ? 0 : failCode;
}

const MicroweaveLogicRecord* mle_slot_logic(const MLEResourceData& r, int32_t slot) {
    if (slot < 0 || slot > 3) return nullptr;
    const int32_t i = r.unitIndexOfSlot[slot];
    return i >= 0 && i < r.unitNum && r.units ? &r.units[i] : nullptr;
}

const MicroweaveLogicRecord* mle_first_logic(const MLEResourceData& r) {
    return r.unitNum > 0 && r.units ? &r.units[0] : nullptr;
}

int64_t mle_virtual_nozzles(const MLE_INSTANCE& e) {
    const HeadRecord& h = e.resource->head;
    return int64_t{e.table.headStart[h.headNum - 1]} + h.nozzleNumOfHead[h.headNum - 1];
}

// ---- The MIR list --------------------------------------------------------------------

namespace {

// One section as this page's schedule lays it out.
struct MirLayout {
    uint32_t kind;
    const MicroweaveLayerRecord* layer;
    int32_t passes;
    uint32_t values;    // value count, the extra value included
    bool nulls;         // consults the null-pass list
    bool extra;         // its last value is the head step into the normal group
    int64_t shift;      // the normal section with flag 0x4 starts one step later
};

// SetMIRProcess: the section's pass count and `n` values, each the layer's
// next feed step from the step before its phase (cyclic), 0 for a null pass
// (which does not advance the feed index).
void SetMIRProcess(MleMirSection& sec, const MirLayout& m, const MicroweaveLogicRecord* nulls, uint32_t n) {
    sec.passes = uint32_t(m.passes);
    const MicroweaveLayerRecord* l = m.layer;
    if (!l) {
        std::fill(sec.values, sec.values + n, 0u);
        return;
    }
    const int64_t C = l->cycleLength;
    int64_t i = floor_mod(C + l->phase - 1 + m.shift, C);
    for (uint32_t k = 0; k < n; ++k) {
        if (nulls && IsInsertNullPass(*nulls, uint16_t(l->kind), k)) {
            sec.values[k] = 0;
            continue;
        }
        int16_t v = 0;
        if (i < C) {
            v = l->feed[i++];
        } else {
            v = l->feed[0];
            i = 1;
        }
        sec.values[k] = uint32_t(int32_t(v));
    }
}

bool same_layout(const MleMirList* mir, const MirLayout* m, uint32_t n) {
    if (!mir || mir->sectionCount != n) return false;
    for (uint32_t k = 0; k < n; ++k)
        if (mir->sections[k].kind != m[k].kind || mir->sections[k].valueCount != m[k].values) return false;
    return true;
}

}  // namespace

uint32_t MLE_GetMIR(MLE_INSTANCE* o, const MleMirList** out) {
    if (out) *out = nullptr;
    if (!o) return kMleNoMir;
    MleSchedule& s = o->schedule;
    if (!s.logic.layers) return kMleMirFailed;
    const MicroweaveLogicRecord& g = s.logic;
    const uint32_t split = uint32_t(std::max<int16_t>(o->resource->modeValue3, 0));
    MirLayout m[5];
    uint32_t n = 0;
    auto add = [&](uint32_t kind, const MicroweaveLayerRecord* l, int32_t passes, uint32_t values, bool nulls) {
        m[n++] = MirLayout{kind, l, passes, values, nulls, false, 0};
    };
    if (s.upperPasses > 0) add(1, s.upper, s.upperPasses, split, false);
    if (s.preNormalPasses > 0) add(2, s.preNormal, s.preNormalPasses, split, false);
    const uint32_t normal = n;
    add(3, s.normal, s.normalPasses, split, false);
    if (s.fTransPasses > 0)
        add(5, s.fTrans, s.fTransPasses,
            g.nullPassFTransCount > 0 ? uint32_t(s.fTransPasses + g.nullPassFTransCount) : split, true);
    if (s.lowerPasses > 0)
        add(6, s.lower, s.lowerPasses,
            g.nullPassOtherCount > 0 ? uint32_t(s.lowerPasses + g.nullPassOtherCount) : split, true);
    const int64_t u = int64_t{s.upperPasses} + s.preNormalPasses;
    if (g.flags & kMwNoTrailingFeed) {
        if (normal > 0) {
            m[normal - 1].values += 1;
            m[normal - 1].extra = true;
        }
        m[normal].values = uint32_t(std::max(s.normalPasses - 1, 0));
        m[normal].shift = 1;
    }
    // The list follows the sections this page makes.
    const CallbackTable& cb = *o->cb;
    if (!same_layout(o->mir, m, n)) {
        mle_free_mir(cb, o->mir);
        if (alloc_record(cb, kMleNoMir, o->mir) || alloc_array(cb, n, kMleNoMir, o->mir->sections)) {
            mle_free_mir(cb, o->mir);
            return kMleNoMir;
        }
        o->mir->sectionCount = n;
        for (uint32_t k = 0; k < n; ++k) {
            o->mir->sections[k].kind = m[k].kind;
            o->mir->sections[k].valueCount = m[k].values;
            if (alloc_array(cb, m[k].values, kMleNoMir, o->mir->sections[k].values)) {
                mle_free_mir(cb, o->mir);
                return kMleNoMir;
            }
        }
    }
    MleMirList& list = *o->mir;
    uint32_t rc = 0;
    for (uint32_t k = 0; k < n; ++k) {
        MleMirSection& sec = list.sections[k];
        const uint32_t filled = m[k].extra ? sec.valueCount - 1 : sec.valueCount;
        SetMIRProcess(sec, m[k], m[k].nulls ? &g : nullptr, filled);
        if (m[k].extra) {
            int64_t a = 0, b = 0;
            if (!mle_head_pos(*o, u, a) || !mle_head_pos(*o, u - 1, b)) rc = kMleMirFailed;
            sec.values[filled] = uint32_t(a - b);
        }
    }
    // The mark: the head step into the F-trans (flag 0x2) or lower (flag 0x1) group.
    list.markSection = 0;
    list.markStep = 0;
    const int64_t fTransFirst = u + s.normalPasses + s.mwswPasses, lowerFirst = fTransFirst + s.fTransPasses;
    int64_t first = -1;
    if ((g.flags & kMwFTransPhaseRule) && s.fTransPasses > 0) {
        list.markSection = 5;
        first = fTransFirst;
    }
    if ((g.flags & kMwLowerPositioning) && s.lowerPasses > 0) {
        list.markSection = 6;
        first = lowerFirst;
    }
    if (first >= 1) {
        int64_t a = 0, b = 0;
        if (!mle_head_pos(*o, first, a) || !mle_head_pos(*o, first - 1, b)) rc = kMleMirFailed;
        list.markStep = uint32_t(a - b);
    }
    mle_restore_pass(*o);
    if (rc) return rc;
    if (out) *out = &list;
    return 0;
}

// ---- F-trans accessors: read the F-trans pass table ------------------------------------

namespace {
bool ftrans_table_of(const MLE_INSTANCE* o) {
    const MleSchedule& s = o->schedule;
    return (s.logic.flags & kMwFTransFromNormal) && s.fTransTable && s.fTransPasses > 0;
}
}  // namespace

uint32_t MLE_GetFtransCalcPOL(const MLE_INSTANCE* o, uint16_t index) {
    if (!o || !ftrans_table_of(o)) return 0;
    const MleSchedule& s = o->schedule;
    for (int32_t i = 0; i < s.fTransPasses; ++i) {
        const FTransPass& p = s.fTransTable[i];
        if (p.polIndex == index) return p.end > p.overlapStart ? uint32_t(p.end - p.overlapStart) : 0;
    }
    return 0;
}

int32_t MLE_GetFtransCalcPassNum(const MLE_INSTANCE* o) {
    return o && ftrans_table_of(o) ? o->schedule.fTransPasses : 0;
}

uint32_t MLE_GetFtransCalcPOLIndex(const MLE_INSTANCE* o) {
    if (!o || !o->schedule.fTransTable || o->schedule.fTransPasses < 1) return 0xFFFFFFFFu;
    const uint16_t first = o->schedule.fTransTable[0].polIndex;
    return first == kMleNoStepValue ? 0xFFFFFFFFu : first;
}

void MLE_SetFtransCalcPOLIndex(MLE_INSTANCE* o, uint16_t first) {
    if (!o || !o->schedule.fTransTable) return;
    for (int32_t i = 1; i < o->schedule.fTransPasses; ++i)
        o->schedule.fTransTable[i].polIndex = static_cast<uint16_t>(first + i - 1);
}

}  // namespace ovcg::irac
