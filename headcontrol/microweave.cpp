#include "headcontrol/microweave.h"

#include <initializer_list>

namespace ovcg::irac {

namespace {

constexpr uint64_t kLayerHeaderBytes = 18;

uint32_t read_ranges(ByteCursor& c, const CallbackTable& cb, int16_t n, MicroweaveRange*& out) {
    out = nullptr;
    if (!has_room(c, uint64_t(n), 4)) return kRscBadResource;
    if (uint32_t e = alloc_array(cb, uint64_t(n), kRscNoLayerArrays, out)) return e;
    for (int32_t i = 0; i < n; ++i) {
        c.u16le(out[i].first);
        c.u16le(out[i].end);
    }
    return 0;
}

uint32_t read_layer(ByteCursor& c, const CallbackTable& cb, MicroweaveLayerRecord& l) {
    uint32_t start = 0, end = 0;
    if (!c.i16le(l.kind) || !c.u32le(start) || !c.u32le(end)) return kRscBadResource;
    l.start = static_cast<int32_t>(start);
    l.end = static_cast<int32_t>(end);
    int16_t cycle = 0, selectors = 0, groups = 0;
    if (uint32_t e = read_count(c, cycle)) return e;
    if (uint32_t e = read_count(c, selectors)) return e;
    if (uint32_t e = read_count(c, groups)) return e;
    if (!c.i16le(l.hasStepValues)) return kRscBadResource;
    if (uint32_t e = read_array(c, cb, uint64_t(cycle), kRscNoLayerArrays, l.feed)) return e;
    l.cycleLength = cycle;
    if (uint32_t e = read_ranges(c, cb, cycle, l.range)) return e;
    if (uint32_t e = read_array(c, cb, uint64_t(selectors), kRscNoLayerArrays, l.selector)) return e;
    l.selectorCount = selectors;
    if (uint32_t e = read_array(c, cb, uint64_t(groups), kRscNoLayerArrays, l.group)) return e;
    l.groupCount = groups;
    if (l.hasStepValues)
        if (uint32_t e = read_array(c, cb, uint64_t(cycle), kRscNoLayerArrays, l.stepValue)) return e;
    return 0;
}

template <class A, class B, class C, class D>
uint32_t read_columns(ByteCursor& c, const CallbackTable& cb, int16_t n, A*& a, B*& b, C*& col3, D*& d) {
    if (!has_room(c, uint64_t(n), 8)) return kRscBadResource;
    if (uint32_t e = read_array(c, cb, uint64_t(n), kRscNoLogicArrays, a)) return e;
    if (uint32_t e = read_array(c, cb, uint64_t(n), kRscNoLogicArrays, b)) return e;
    if (uint32_t e = read_array(c, cb, uint64_t(n), kRscNoLogicArrays, col3)) return e;
    return read_array(c, cb, uint64_t(n), kRscNoLogicArrays, d);
}

}  // namespace

uint32_t RSC_GetMWUnitResource_MWUnit(const CallbackTable& cb, ByteCursor c, MicroweaveLogicRecord& out,
                                      ModelFormat) {
    MicroweaveLogicRecord& r = out;
    uint32_t layers = 0;
    int16_t headUnits = 0;
    if (!c.u16le(r.pitch) || !c.u16le(r.topOffset) || !c.u32le(layers)) return kRscBadResource;
    if (uint32_t e = read_count(c, headUnits)) return e;
    if (!c.u16le(r.flags) || !c.u16le(r.flags2)) return kRscBadResource;
    int32_t nulls = 0;
    if (!c.i32le(nulls)) return kRscBadResource;
    if (nulls < 0) return kRscBadValue;
    if (!has_room(c, uint64_t(nulls), 6)) return kRscBadResource;
    if (uint32_t e = read_array(c, cb, uint64_t(nulls), kRscNoCodeLists, r.nullPassCode)) return e;
    if (uint32_t e = read_array(c, cb, uint64_t(nulls), kRscNoCodeLists, r.nullPassNo)) return e;
    r.nullPassCount = nulls;
    for (int32_t i = 0; i < nulls; ++i) ++(r.nullPassCode[i] == kMwNullPassFTrans ? r.nullPassFTransCount
                                                                                   : r.nullPassOtherCount);
    int16_t normal = 0, ftrans = 0, mwsw = 0;
    if (uint32_t e = read_count(c, normal)) return e;
    if (uint32_t e = read_count(c, ftrans)) return e;
    if (uint32_t e = read_count(c, mwsw)) return e;

    if (!has_room(c, layers, kLayerHeaderBytes)) return kRscBadResource;
    if (uint32_t e = alloc_array(cb, layers, kRscNoLayers, r.layers)) return e;
    r.layerCount = layers;
    for (uint32_t i = 0; i < layers; ++i)
        if (uint32_t e = read_layer(c, cb, r.layers[i])) return e;

    if (r.flags & kMwTwoTables) {
        if (!c.u16le(r.feedBase)) return kRscBadResource;
        constexpr uint16_t kLowerSum = kMwTwoTables | kMwFixedFTrans | kMwLowerPositioning;
        if ((r.flags & kLowerSum) == kLowerSum && !c.u16le(r.lowerSumSteps)) return kRscBadResource;
    }
    if (uint32_t e = read_array(c, cb, uint64_t(headUnits), kRscNoLogicArrays, r.headUnits)) return e;
    r.headUnitCount = headUnits;
    if (uint32_t e = read_columns(c, cb, normal, r.normal.width, r.normal.addRemainder, r.normal.value,
                                  r.normal.phase))
        return e;
    r.normal.count = normal;
    if (uint32_t e = read_columns(c, cb, ftrans, r.fTrans.width, r.fTrans.addRemainder, r.fTrans.value,
                                  r.fTrans.phase))
        return e;
    r.fTrans.count = ftrans;
    if (!has_room(c, uint64_t(mwsw), 6)) return kRscBadResource;
    if (uint32_t e = read_array(c, cb, uint64_t(mwsw), kRscNoLogicArrays, r.mwsw.width)) return e;
    if (uint32_t e = read_array(c, cb, uint64_t(mwsw), kRscNoLogicArrays, r.mwsw.feed)) return e;
    if (uint32_t e = read_array(c, cb, uint64_t(mwsw), kRscNoLogicArrays, r.mwsw.phase)) return e;
    r.mwsw.count = mwsw;
    return 0;
}

void free_microweave_layer(const CallbackTable& cb, MicroweaveLayerRecord& l) {
    release_ptr(cb, l.feed);
    release_ptr(cb, l.range);
    release_ptr(cb, l.selector);
    release_ptr(cb, l.group);
    release_ptr(cb, l.stepValue);
}

void free_microweave_logic(const CallbackTable& cb, MicroweaveLogicRecord& r) {
    if (r.layers) {
        for (uint32_t i = 0; i < r.layerCount; ++i) free_microweave_layer(cb, r.layers[i]);
        release_ptr(cb, r.layers);
    }
    release_ptr(cb, r.headUnits);
    release_ptr(cb, r.nullPassCode);
    release_ptr(cb, r.nullPassNo);
    for (MovingRangeTable* t : {&r.normal, &r.fTrans}) {
        release_ptr(cb, t->width);
        release_ptr(cb, t->addRemainder);
        release_ptr(cb, t->value);
        release_ptr(cb, t->phase);
    }
    release_ptr(cb, r.mwsw.width);
    release_ptr(cb, r.mwsw.feed);
    release_ptr(cb, r.mwsw.phase);
}

}  // namespace ovcg::irac
