#include "headcontrol/model_resource.h"

#include "headcontrol/codes.h"
#include "headcontrol/resource_stream.h"

#include <algorithm>
#include <bit>
#include <iterator>

namespace ovcg::irac {

namespace {

constexpr size_t kHeaderBytes = 16;
constexpr int32_t kMaxVirtualNozzles = 32767;
constexpr uint32_t kSubModes = 5;
constexpr uint32_t kUnitSlots = 4;

// A unit selector of the job's sub-mode.
struct Selector {
    int32_t logic;
    int32_t variant;
};

// What the mode entry leaves for the sections after it.
struct ModeSelection {
    uint32_t subModeCount = 0;  // S: sub-modes present
    uint32_t subModeRank = 0;   // s: the job's sub-mode among them
    Selector units[kUnitSlots] = {};  // the distinct units, in slot order
    int16_t unitCount = 0;
};

// One element of a per-sub-mode array of S entries: entry s is taken.
template <class T>
uint32_t pick(ByteCursor& c, const ModeSelection& sel, T& out) {
    if (!has_room(c, sel.subModeCount, sizeof(T))) return kRscBadResource;
    c.skip(sel.subModeRank * sizeof(T));
    read_le(c, out);
    c.skip((sel.subModeCount - sel.subModeRank - 1) * sizeof(T));
    return 0;
}

// Virtual nozzle count of the heads, each count times `mult`: 106 when an
// overlap exceeds either neighbour or the count leaves 1..32767.
uint32_t check_heads(const HeadRecord& h, int64_t mult) {
    int64_t total = 0;
    for (int32_t i = 0; i < h.headNum; ++i) total += int64_t{h.nozzleNumOfHead[i]} * mult;
    for (int32_t i = 0; i + 1 < h.headNum; ++i) {
        const uint16_t o = h.headOverlapNum[i];
        if (o > h.nozzleNumOfHead[i] || o > h.nozzleNumOfHead[i + 1]) return kRscBadValue;
        total -= int64_t{o} * mult;
    }
    return total < 1 || total > kMaxVirtualNozzles ? kRscBadValue : 0;
}

// A table of entries: u16 count, the ids (u32 from format 1.2, else u8), count x
// u32 sizes, the entries back to back. `entry` covers the first entry with
// the id; the cursor is left after all entries.
uint32_t select_entry(ByteCursor& c, ModelFormat fmt, uint32_t id, uint32_t absent, ByteCursor& entry) {
    uint16_t count = 0;
    if (!c.u16le(count)) return kRscBadResource;
    const size_t idWidth = fmt.f12() ? 4 : 1;
    if (!has_room(c, count, idWidth + 4)) return kRscBadResource;
    int32_t found = -1;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t v = 0;
        if (fmt.f12()) {
            c.u32le(v);
        } else {
            uint8_t b = 0;
            c.u8(b);
            v = b;
        }
        if (found < 0 && v == id) found = static_cast<int32_t>(i);
    }
    uint64_t before = 0, total = 0, size = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t s = c.u32le();
        if (int32_t(i) < found) before += s;
        if (int32_t(i) == found) size = s;
        total += s;
    }
    if (found < 0) return absent;
    if (total > c.remaining()) return kRscBadResource;
    c.sub_at(c.pos() + before, size, entry);
    c.skip(total);
    return 0;
}

// A signed count, then two arrays of that many bytes.
uint32_t read_byte_pairs(ByteCursor& c, const CallbackTable& cb, uint32_t code, int16_t& count, uint8_t*& first,
                         uint8_t*& second) {
    int16_t n = 0;
    if (uint32_t e = read_count(c, n)) return e;
    if (!has_room(c, uint64_t(n), 2)) return kRscBadResource;
    if (uint32_t e = read_array(c, cb, uint64_t(n), code, first)) return e;
    if (uint32_t e = read_array(c, cb, uint64_t(n), code, second)) return e;
    count = n;
    return 0;
}

class Parser {
public:
    Parser(RscObject* o, ModelFormat fmt)
        : o_(o), cb_(*o->cb), fmt_(fmt), icm_(*o->icm), mle_(*o->mle), esc_(*o->esc), rbm_(*o->rbm) {}

    uint32_t color_table(ByteCursor& c);
    uint32_t mode_entry(ByteCursor e);
    uint32_t units(ByteCursor& c);
    uint32_t encoder_entry(ByteCursor e);
    uint32_t rows_on_head() const;

private:
    uint32_t layer_kinds(ByteCursor& e, int16_t count);
    uint32_t sub_mode_values(ByteCursor& e, uint16_t subModeMask);
    uint32_t color_order(ByteCursor& e);
    uint32_t optional_blocks(ByteCursor& e);
    uint32_t split(ByteCursor& e);
    uint32_t head_tables(ByteCursor& e);
    uint32_t layer_values(ByteCursor& e, int16_t layerKindCount, int16_t layerValueCount);
    uint32_t unit_selectors(ByteCursor& e, uint16_t unitMask);

    RscObject* o_;
    const CallbackTable& cb_;
    ModelFormat fmt_;
    ICMResourceData& icm_;
    MLEResourceData& mle_;
    ESCResourceData& esc_;
    RBMResourceData& rbm_;
    ModeSelection sel_;
};

uint32_t Parser::color_table(ByteCursor& c) {
    return read_byte_pairs(c, cb_, kRscNoColorTable, icm_.colorTableNum, icm_.inkCodes, icm_.colorCodes);
}

uint32_t Parser::layer_kinds(ByteCursor& e, int16_t count) {
    if (!has_room(e, uint64_t(count), 4)) return kRscBadResource;
    if (uint32_t rc = alloc_array(cb_, uint64_t(count), kRscNoLayerKinds, icm_.layerKinds)) return rc;
    icm_.layerKindCount = count;
    for (int32_t i = 0; i < count; ++i) {
        LayerKindInfo& k = icm_.layerKinds[i];
        if (!e.u16le(k.flags)) return kRscBadResource;
        if (uint32_t rc = read_count(e, k.n)) return rc;
        if (k.n > 0 && !(k.flags & kKindNoValues))
            if (uint32_t rc = read_array(e, cb_, uint64_t(k.n), kRscNoLayerKinds, k.values)) return rc;
        if ((k.flags & kKindDither) &&
            !(e.u16le(k.ditherRowBytes) && e.u8(k.ditherMatrix) && e.u8(k.ditherColumnStep)))
            return kRscBadResource;
        if ((k.flags & kKindRange) && read_into(e, 3, k.range)) return kRscBadResource;
        if ((k.flags & kKindStored) && !(e.u16le(k.storedRowBytes) && e.u8(k.storedRecord)))
            return kRscBadResource;
    }
    return 0;
}

uint32_t Parser::sub_mode_values(ByteCursor& e, uint16_t mask) {
    const uint32_t sub = o_->identifier.sub_mode;
    if (sub >= kSubModes || !(mask & (1u << sub))) return kRscNoSubMode;
    sel_.subModeCount = static_cast<uint32_t>(std::popcount(static_cast<uint32_t>(mask & 0x1Fu)));
    sel_.subModeRank = static_cast<uint32_t>(std::popcount(static_cast<uint32_t>(mask & ((1u << sub) - 1u))));
    int8_t headTopMode = 0;
    uint32_t rc = pick(e, sel_, mle_.subModeValue0);
    if (!rc) rc = pick(e, sel_, headTopMode);
    if (!rc) rc = pick(e, sel_, icm_.subModeValue2);
    if (!rc) rc = pick(e, sel_, icm_.subModeValue3);
    if (!rc) rc = pick(e, sel_, mle_.minLength);
    if (!rc) rc = pick(e, sel_, mle_.preBufferingRaster);
    uint32_t flags = 0;
    if (!rc) rc = pick(e, sel_, flags);
    if (rc) return rc;
    mle_.subModeValue1 = headTopMode;
    o_->functionFlags = icm_.functionFlags = mle_.functionFlags = flags;
    return 0;
}

uint32_t Parser::color_order(ByteCursor& e) {
    const int16_t arrays = icm_.nozzleArrayNum;
    const int16_t heads = mle_.head.headNum;
    if (uint32_t rc = read_array(e, cb_, uint64_t(arrays), kRscNoColorOrder, mle_.colorOrder)) return rc;
    if (icm_.functionFlags & kFnSplit) {
        // The split order replaces the per-head order.
        if (uint32_t rc = alloc_array(cb_, uint64_t(arrays), kRscNoColorOrder, icm_.colorOrderOfHeads)) return rc;
        for (int32_t i = 0; i < arrays; ++i) icm_.colorOrderOfHeads[i] = mle_.colorOrder[i];
        icm_.colorOrderOfHeadsNum = arrays;
        return 0;
    }
    const uint64_t total = uint64_t(arrays) * uint64_t(heads);
    if (!has_room(e, total - uint64_t(arrays), 1)) return kRscBadResource;
    if (uint32_t rc = alloc_array(cb_, total, kRscNoColorOrder, icm_.colorOrderOfHeads)) return rc;
    for (int32_t i = 0; i < arrays; ++i) icm_.colorOrderOfHeads[i] = mle_.colorOrder[i];
    read_into(e, total - uint64_t(arrays), icm_.colorOrderOfHeads + arrays);
    icm_.colorOrderOfHeadsNum = static_cast<int32_t>(total);
    if (!fmt_.f13()) return 0;
    const int32_t n = icm_.colorOrderOfHeadsNum;
    const uint8_t* codes = icm_.colorOrderOfHeads;
    if (uint32_t rc = YDS_SetTraqColorCodeInOrderOfNozzleLine(n, codes, o_->yds)) return rc;
    if (uint32_t rc = NLM_SetTraqColorCodeInOrderOfNozzleLine(n, codes, o_->nlm)) return rc;
    return RLS_SetTraqColorCodeInOrderOfNozzleLine(n, codes, o_->rls);
}

uint32_t Parser::optional_blocks(ByteCursor& e) {
    const uint32_t ff = icm_.functionFlags;
    if (ff & kFnBlockA) {
        if (read_into(e, 4, icm_.blockA)) return kRscBadResource;
        mle_.blockAFlag = 1;
    }
    if (ff & kFnBlockB) {
        BlockB& b = icm_.blockB;
        int16_t n = 0;
        if (!e.u16le(b.value)) return kRscBadResource;
        if (uint32_t rc = read_count(e, n)) return rc;
        if (n == 0) return kRscBadValue;  // the cycle counter runs over this list
        if (!has_room(e, uint64_t(n) * (1u + icm_.colorNum), 2)) return kRscBadResource;
        if (uint32_t rc = read_array(e, cb_, uint64_t(n), kRscNoBlockB, b.list)) return rc;
        b.n = n;
        if (uint32_t rc = read_array(e, cb_, uint64_t(n) * icm_.colorNum, kRscNoBlockB, b.perColor)) return rc;
    }
    if (ff & kFnBlockC) {
        BlockC& b = icm_.blockC;
        int16_t n = 0;
        if (!(e.u32le(b.value0) && e.u32le(b.value1) && e.u32le(b.value2) && e.u16le(b.value3)))
            return kRscBadResource;
        if (uint32_t rc = read_count(e, n)) return rc;
        if (uint32_t rc = read_array(e, cb_, uint64_t(n), kRscNoBlockC, b.bytes)) return rc;
        b.n = n;
    }
    if (ff & kFnSplit) {
        SplitColorOrder& s = icm_.splitColorOrder;
        int16_t n = 0;
        if (!e.u8(s.value) || !e.i16le(n)) return kRscBadResource;
        if (n < 1) return kRscBadValue;
        const uint64_t count = uint64_t(mle_.head.headNum) * uint64_t(icm_.nozzleArrayNum) * uint64_t(n);
        if (uint32_t rc = read_array(e, cb_, count, kRscNoSplitOrder, s.codes)) return rc;
        s.n = n;
    }
    if (ff & kFnBlockD) {
        BlockD& b = icm_.blockD;
        int16_t n = 0;
        if (!e.u16le(b.value)) return kRscBadResource;
        if (uint32_t rc = read_count(e, n)) return rc;
        if (n == 0) return kRscBadValue;  // its first value is the vertical denominator
        if (uint32_t rc = read_array(e, cb_, uint64_t(n), kRscNoBlockD, b.list)) return rc;
        b.n = n;
    }
    if (ff & kFnBlockE) {
        uint16_t rows = 0;
        int16_t n = 0;
        if (!e.u16le(rows)) return kRscBadResource;
        if (uint32_t rc = read_count(e, n)) return rc;
        if (!has_room(e, uint64_t(n), 4)) return kRscBadResource;
        if (alloc_record(cb_, kRscNoBlockE, icm_.blockE)) return kRscNoBlockE;
        mle_.blockE = icm_.blockE;
        BlockE& b = *icm_.blockE;
        b.rows = rows;
        if (uint32_t rc = read_array(e, cb_, uint64_t(n), kRscNoBlockE, b.commandColors)) return rc;
        if (uint32_t rc = read_array(e, cb_, uint64_t(n), kRscNoBlockE, b.rowCodes)) return rc;
        if (uint32_t rc = read_array(e, cb_, uint64_t(n), kRscNoBlockE, b.rowShifts)) return rc;
        b.n = n;
    }
    return 0;
}

uint32_t Parser::split(ByteCursor&) {
    if (!(icm_.functionFlags & kFnSplit)) return 0;
    HeadRecord& h = mle_.head;
    const int16_t n = icm_.splitColorOrder.n;
    if (uint32_t rc = check_heads(h, n)) return rc;
    for (int32_t i = 0; i < h.headNum; ++i) h.nozzleNumOfHead[i] = static_cast<uint16_t>(h.nozzleNumOfHead[i] * n);
    for (int32_t i = 0; i + 1 < h.headNum; ++i)
        h.headOverlapNum[i] = static_cast<uint16_t>(h.headOverlapNum[i] * n);
    if (!fmt_.f13()) return 0;
    const int16_t arrays = icm_.nozzleArrayNum;
    const uint8_t* codes = icm_.splitColorOrder.codes;
    if (uint32_t rc = YDS_SetTraqColorCodeInOrderOfNozzleLineForSplit(arrays, n, codes, o_->yds)) return rc;
    if (uint32_t rc = NLM_SetTraqColorCodeInOrderOfNozzleLineForSplit(arrays, n, codes, o_->nlm)) return rc;
    return RLS_SetTraqColorCodeInOrderOfNozzleLineForSplit(arrays, n, codes, o_->rls);
}

uint32_t Parser::head_tables(ByteCursor& e) {
    if (uint32_t rc = LHT_LoadFromResource(e, fmt_, o_->lht)) return rc;
    icm_.stackedHTEachNozzleLine = LHT_GetStackedHTEachNozzleLineFlag(o_->lht);
    if (uint32_t rc = SSS_LoadFromResource(e, o_->sss)) return rc;
    if (uint32_t rc = RLS_LoadNozzleAreaOfEachDischargeTiming(e, o_->rls)) return rc;
    const int form = fmt_.f14() ? 1 : 0;
    if (icm_.functionFlags & kFnPmcUnit)
        if (uint32_t rc = LNC_LoadUnitResource(kLncPmc, icm_.lossNozzleModelData, e, form, &cb_)) return rc;
    if (icm_.functionFlags & kFnCmsUnit)
        if (uint32_t rc = LNC_LoadUnitResource(kLncCms, icm_.lossNozzleModelData, e, form, &cb_)) return rc;
    return 0;
}

uint32_t Parser::layer_values(ByteCursor& e, int16_t kinds, int16_t declared) {
    uint64_t count = 0;
    const uint32_t ff = icm_.functionFlags;
    if (!(ff & kFnLayerValuesPerColour)) {
        icm_.layerValueCount = kinds;
        count = uint64_t(kinds);
    } else {
        if (declared < 0) return kRscBadValue;
        icm_.layerValueCount = declared;
        if (!(ff & kFnBlockE)) {
            count = uint64_t(declared) * uint64_t(icm_.nozzleArrayNum);
        } else {
            if (!icm_.blockE || icm_.blockE->n < 1) return kRscLayerValuesWithoutBlockE;
            count = uint64_t(declared) * uint64_t(icm_.blockE->n);
        }
    }
    return read_array(e, cb_, count, kRscNoLayerValues, icm_.layerValues);
}

uint32_t Parser::unit_selectors(ByteCursor& e, uint16_t unitMask) {
    const uint32_t perSubMode = static_cast<uint32_t>(std::popcount(static_cast<uint32_t>(unitMask & 0xFu)));
    const size_t width = fmt_.f12() ? 8 : 4;
    if (!has_room(e, uint64_t(sel_.subModeCount) * perSubMode, width)) return kRscBadResource;
    e.skip(size_t{sel_.subModeRank} * perSubMode * width);
    for (int32_t slot = 0; slot < int32_t(kUnitSlots); ++slot) {
        mle_.unitIndexOfSlot[slot] = -1;
        if (!(unitMask & (1u << slot))) continue;
        Selector s{e.i32le(), 0};
        if (fmt_.f12()) s.variant = e.i32le();
        if (fmt_.f12() && s.logic == -1 && s.variant == -1) continue;  // the slot has no unit
        int32_t index = 0;
        while (index < sel_.unitCount &&
               (sel_.units[index].logic != s.logic || sel_.units[index].variant != s.variant))
            ++index;
        if (index == sel_.unitCount) sel_.units[sel_.unitCount++] = s;
        mle_.unitIndexOfSlot[slot] = static_cast<int16_t>(index);
    }
    e.skip(size_t{sel_.subModeCount - sel_.subModeRank - 1} * perSubMode * width);
    return 0;
}

uint32_t Parser::mode_entry(ByteCursor e) {
    uint16_t v0 = 0, bpp = 0, colorNum = 0, subModeMask = 0, unitMask = 0;
    int16_t v1 = 0, v3 = 0, kinds = 0, modeBytes = 0, arrays = 0, declaredValues = 0;
    uint32_t v5 = 0;
    if (!(e.u16le(v0) && e.i16le(v1) && e.u16le(bpp) && e.i16le(v3) && e.u16le(colorNum) && e.u32le(v5)))
        return kRscBadResource;
    if (bpp != 1 && bpp != 2) return kRscBadValue;
    if (colorNum == 0) return kRscBadValue;
    if (uint32_t rc = read_count(e, kinds)) return rc;
    if (uint32_t rc = read_count(e, modeBytes)) return rc;
    if (uint32_t rc = read_count(e, arrays)) return rc;
    if (!(e.u16le(subModeMask) && e.u16le(unitMask) && e.i16le(declaredValues))) return kRscBadResource;

    icm_.modeValue0 = rbm_.modeValue0 = v0;
    icm_.modeValue1 = mle_.modeValue1 = v1;
    icm_.bitsPerPixel = rbm_.bitsPerPixel = bpp;
    esc_.modeByte = static_cast<uint8_t>(bpp);
    icm_.modeValue3 = mle_.modeValue3 = v3;
    icm_.colorNum = rbm_.colorNum = mle_.colorNum = colorNum;
    mle_.modeValue5 = v5;
    icm_.nozzleArrayNum = mle_.nozzleArrayNum = arrays;

    // Layer kinds, mode bytes, the unit values the unit mask announces.
    if (uint32_t rc = layer_kinds(e, kinds)) return rc;
    if (uint32_t rc = read_array(e, cb_, uint64_t(modeBytes), kRscNoModeBytes, icm_.modeBytes)) return rc;
    icm_.modeByteCount = modeBytes;
    if ((unitMask & 0x8) && !e.u32le(mle_.unitValue8)) return kRscBadResource;
    if ((unitMask & 0x6) && !(e.u32le(icm_.unitValue2) && e.u32le(icm_.unitValue4))) return kRscBadResource;
    if (uint32_t rc = sub_mode_values(e, subModeMask)) return rc;

    // The function flags of the job's sub-mode switch the rest of the entry.
    const uint32_t ff = icm_.functionFlags;
    if ((ff & kFnBlockB) && v0 == 0) return kRscBadValue;  // the cycle counter divides by it
    mle_.mleFlag = (ff & kFnMle) ? 1 : 0;
    LHT_SetOnOff((ff & kFnLayeredHalftone) != 0, o_->lht);
    LHT_SetVirtualNozzleArrayNum(arrays, o_->lht);
    SSS_SetOnOff((ff & kFnShiftList) != 0, o_->sss);
    RLS_SetArrayOfNozzleAreaOfDischargeTimingExistence((ff & kFnDischargeTiming) != 0, o_->rls);

    if (uint32_t rc = color_order(e)) return rc;
    if (uint32_t rc = read_array(e, cb_, uint64_t(arrays), kRscNoArrayValues, mle_.nozzleArrayValues)) return rc;
    if (uint32_t rc = optional_blocks(e)) return rc;
    if (uint32_t rc = split(e)) return rc;
    if (uint32_t rc = head_tables(e)) return rc;
    // The lower-edge record: off (mode 2) unless the flags give its mode.
    mle_.optionWordLow = 0;
    mle_.optionWordHigh = 2;
    if (ff & kFnLowerEdge) {
        mle_.optionWordLow = 1;
        if (!e.u8(mle_.optionWordHigh)) return kRscBadResource;
    }
    if (uint32_t rc = layer_values(e, kinds, declaredValues)) return rc;
    uint32_t switching = 0;
    uint32_t rc = pick(e, sel_, switching);
    if (!rc) rc = pick(e, sel_, mle_.brsCalculationMethod);
    if (!rc) rc = pick(e, sel_, mle_.subModeValue4);
    if (rc) return rc;
    mle_.htMaskSwitchingPosition = static_cast<int32_t>(switching);
    const int16_t heads = mle_.head.headNum;
    if (uint32_t rc2 = read_array(e, cb_, uint64_t(heads), kRscNoUseHead, icm_.useHeadBytes)) return rc2;
    icm_.useHead.headNum = heads;
    icm_.useHead.heads = icm_.useHeadBytes;
    return unit_selectors(e, unitMask);
}

uint32_t Parser::units(ByteCursor& c) {
    uint16_t count = 0;
    if (!c.u16le(count)) return kRscBadResource;
    const size_t idWidth = fmt_.f12() ? 8 : 4;
    if (!has_room(c, count, idWidth + 4)) return kRscBadResource;
    const size_t ids = c.pos();
    const size_t sizes = ids + size_t{count} * idWidth;
    const size_t bodies = sizes + size_t{count} * 4;
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t s = 0;
        c.peek_u32le(sizes + 4 * i, s);
        total += s;
    }
    // Each selected unit: the last unit with its ids.
    int32_t chosen[kUnitSlots] = {};
    for (int32_t j = 0; j < sel_.unitCount; ++j) {
        chosen[j] = -1;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t logic = 0, variant = 0;
            c.peek_u32le(ids + i * idWidth, logic);
            if (fmt_.f12()) c.peek_u32le(ids + i * idWidth + 4, variant);
            if (int32_t(logic) == sel_.units[j].logic && int32_t(variant) == sel_.units[j].variant)
                chosen[j] = static_cast<int32_t>(i);
        }
        if (chosen[j] < 0) return kRscNoUnit;
    }
    if (!c.seek(bodies) || total > c.remaining()) return kRscBadResource;
    if (uint32_t rc = alloc_array(cb_, uint64_t(sel_.unitCount), kRscNoUnitRecords, mle_.units)) return rc;
    mle_.unitNum = sel_.unitCount;
    for (int32_t j = 0; j < sel_.unitCount; ++j) {
        uint64_t offset = 0;
        uint32_t size = 0;
        for (int32_t i = 0; i < chosen[j]; ++i) {
            uint32_t s = 0;
            c.peek_u32le(sizes + 4 * size_t(i), s);
            offset += s;
        }
        c.peek_u32le(sizes + 4 * size_t(chosen[j]), size);
        ByteCursor unit;
        c.sub_at(bodies + offset, size, unit);
        if (uint32_t rc = RSC_GetMWUnitResource_MWUnit(cb_, unit, mle_.units[j], fmt_)) return rc;
    }
    c.skip(total);
    return 0;
}

// A row of the split colour table prints the logics' windows moved down
// its nozzle line by its shift. A window the shift carries past the heads'
// last nozzle loses the rasters of the nozzles beyond it on every pass, and
// no plan of that logic can print them: the mode is refused (106). Rows of
// code 255 name no ink.
uint32_t Parser::rows_on_head() const {
    const BlockE* b = mle_.blockE;
    if (!b || b->n < 1) return 0;
    int64_t widest = 0;
    for (int32_t u = 0; u < mle_.unitNum; ++u) {
        const MicroweaveLogicRecord& g = mle_.units[u];
        for (uint32_t i = 0; i < g.layerCount && g.layers; ++i) {
            const MicroweaveLayerRecord& l = g.layers[i];
            for (int32_t k = 0; k < l.cycleLength && l.range; ++k) widest = std::max<int64_t>(widest, l.range[k].end);
        }
    }
    const HeadRecord& h = mle_.head;
    int64_t nozzles = 0;
    for (int32_t i = 0; i < h.headNum; ++i) nozzles += h.nozzleNumOfHead[i];
    for (int32_t i = 0; i + 1 < h.headNum; ++i) nozzles -= h.headOverlapNum[i];
    for (int32_t r = 0; r < b->n; ++r)
        if (b->rowCodes[r] != 255 && b->rowShifts[r] > 0 && b->rowShifts[r] + widest > nozzles) return kRscBadValue;
    return 0;
}

uint32_t Parser::encoder_entry(ByteCursor e) {
    if (uint32_t rc = pick(e, sel_, icm_.encoderSubModeValue)) return rc;
    uint8_t value1Byte = 0;
    if (!e.u8(esc_.value0)) return kRscBadResource;
    if (fmt_.f12() ? !e.u32le(esc_.value1) : !e.u8(value1Byte)) return kRscBadResource;
    if (!fmt_.f12()) esc_.value1 = value1Byte;
    uint16_t codes = 0;
    if (!(e.i8(esc_.value2) && e.u16le(codes))) return kRscBadResource;
    if (codes > kEscColorCodesMax) return kRscBadValue;
    if (!(e.u16le(esc_.value3) && e.u16le(esc_.value4) && e.u16le(esc_.value5))) return kRscBadResource;
    uint8_t vStep = 0, hStep = 0;
    if (!RSC_ResolutionSteps(esc_, vStep, hStep)) return kRscBadValue;  // refused at job start, not on the wire
    if (!(e.u16le(rbm_.encoderWord3) && e.u16le(esc_.encoderFlags))) return kRscBadResource;
    if (rbm_.encoderWord3 == 0) return kRscBadValue;
    icm_.encoderFlag2 = (esc_.encoderFlags & kEncMultiLine) ? 1 : 0;
    if (read_into(e, codes, esc_.colorCodes)) return kRscBadResource;
    esc_.colorCodeNum = codes;
    if (!(esc_.encoderFlags & kEncRemap)) return 0;
    return read_byte_pairs(e, cb_, kRscNoColorRemap, esc_.colorRemapNum, esc_.remapFrom, esc_.remapTo);
}

// ---- The headOptionMask tables --------------------------------------------------

// Count and array order of the tables, and whether bit 0x8000 removes them.
struct OptionTable {
    uint16_t bit;
    bool offsetTable;
};
constexpr OptionTable kOptionTables[] = {
    {kOptPolBaseA, false},    {kOptPolBaseB, false},  {kOptPolBaseC, false},
    {kOptPolOffset64, true},  {kOptPolOffset32, true}, {kOptPolMatrices, false},
    {kOptPolStored, false},   {kOptPolDispersion, false}, {kOptPolOrder, true},
};

uint32_t read_matrices(ByteCursor& c, const CallbackTable& cb, int16_t n, CountedArray<MatrixRecord>& out) {
    if (!has_room(c, uint64_t(n), 2)) return kRscBadResource;
    if (uint32_t e = alloc_array(cb, uint64_t(n), kRscNoOptionArrays, out.items)) return e;
    out.count = n;
    for (int32_t i = 0; i < n; ++i) {
        MatrixRecord& m = out.items[i];
        if (!(c.i8(m.rows) && c.u8(m.columns))) return kRscBadResource;
        if (m.rows < 0) return kRscBadValue;
        if (uint32_t e = read_array(c, cb, uint64_t(m.rows) * m.columns, kRscNoOptionArrays, m.data)) return e;
    }
    return 0;
}

uint32_t read_tagged(ByteCursor& c, const CallbackTable& cb, int16_t n, ModelFormat fmt,
                     CountedArray<TaggedBytesRecord>& out) {
    if (!has_room(c, uint64_t(n), 3)) return kRscBadResource;
    if (uint32_t e = alloc_array(cb, uint64_t(n), kRscNoOptionArrays, out.items)) return e;
    out.count = n;
    for (int32_t i = 0; i < n; ++i) {
        TaggedBytesRecord& t = out.items[i];
        if (fmt.f14() && !c.u32le(t.tags)) return kRscBadResource;
        if (!c.u8(t.rows)) return kRscBadResource;
        if (uint32_t e = read_count(c, t.columns)) return e;
        if (uint32_t e = read_array(c, cb, uint64_t(t.rows) * uint64_t(t.columns), kRscNoOptionArrays, t.data))
            return e;
        if (t.tags & 1u)
            if (uint32_t e = read_array(c, cb, uint64_t(t.columns), kRscNoOptionArrays, t.extra)) return e;
    }
    return 0;
}

template <class T>
uint32_t read_counted(ByteCursor& c, const CallbackTable& cb, int16_t n, CountedArray<T>& out) {
    if (uint32_t e = read_array(c, cb, uint64_t(n), kRscNoOptionArrays, out.items)) return e;
    out.count = n;
    return 0;
}

uint32_t read_head_record(ByteCursor& c, const CallbackTable& cb, HeadRecord& h) {
    if (uint32_t e = read_array(c, cb, uint64_t(h.headNum), kRscNoHeadNozzles, h.nozzleNumOfHead)) return e;
    if (h.headNum > 1)
        if (uint32_t e = read_array(c, cb, uint64_t(h.headNum - 1), kRscNoHeadOverlaps, h.headOverlapNum)) return e;
    if (uint32_t e = check_heads(h, 1)) return e;
    return read_array(c, cb, uint64_t(h.nozzleLineNum), kRscNoLineValues, h.lineValues);
}

uint32_t parse(RscObject* o, const FetchedResource& res) {
    ByteCursor c(res.data, res.size);
    ModelFormat fmt;
    uint8_t packed = 0;
    if (!(c.i16le(fmt.major) && c.i16le(fmt.minor) && c.u8(packed))) return kRscBadResource;
    if (fmt.major < 0 || fmt.minor < 0) return kRscBadFormat;
    if (packed != 0) return kRscPacked;
    if (!c.seek(kHeaderBytes)) return kRscBadResource;
    if (uint32_t e = RSC_GetModelResource(o, c, fmt)) return e;
    Parser p(o, fmt);
    if (uint32_t e = p.color_table(c)) return e;
    if (!c.skip(4)) return kRscBadResource;
    ByteCursor entry;
    if (uint32_t e = select_entry(c, fmt, o->identifier.mode_id, kRscNoMode, entry)) return e;
    if (uint32_t e = p.mode_entry(entry)) return e;
    if (uint32_t e = p.units(c)) return e;
    if (uint32_t e = p.rows_on_head()) return e;
    if (uint32_t e = select_entry(c, fmt, o->identifier.mode_id, kRscNoEncoderMode, entry)) return e;
    return p.encoder_entry(entry);
}

void free_icm(const CallbackTable& cb, ICMResourceData*& icm) {
    if (!icm) return;
    ICMResourceData& d = *icm;
    if (d.lossNozzleModelData) {
        LNC_FreeResourceMemory(d.lossNozzleModelData, &cb);
        release_ptr(cb, d.lossNozzleModelData);
    }
    if (d.layerKinds) {
        for (int32_t i = 0; i < d.layerKindCount; ++i) release_ptr(cb, d.layerKinds[i].values);
        release_ptr(cb, d.layerKinds);
    }
    release_ptr(cb, d.polBaseWordsA.items);
    release_ptr(cb, d.polBaseWordsB.items);
    release_ptr(cb, d.polBaseWordsC.items);
    release_ptr(cb, d.polOffsetTable64.items);
    release_ptr(cb, d.polOffsetTable32.items);
    if (d.polThresholdMatrices.items) {
        for (int32_t i = 0; i < d.polThresholdMatrices.count; ++i) release_ptr(cb, d.polThresholdMatrices.items[i].data);
        release_ptr(cb, d.polThresholdMatrices.items);
    }
    if (d.polStoredPatterns.items) {
        for (int32_t i = 0; i < d.polStoredPatterns.count; ++i) {
            release_ptr(cb, d.polStoredPatterns.items[i].data);
            release_ptr(cb, d.polStoredPatterns.items[i].extra);
        }
        release_ptr(cb, d.polStoredPatterns.items);
    }
    release_ptr(cb, d.polDispersionOffsets.items);
    release_ptr(cb, d.polOrderTable.items);
    release_ptr(cb, d.modeBytes);
    release_ptr(cb, d.blockB.list);
    release_ptr(cb, d.blockB.perColor);
    release_ptr(cb, d.blockC.bytes);
    release_ptr(cb, d.splitColorOrder.codes);
    release_ptr(cb, d.blockD.list);
    release_ptr(cb, d.colorOrderOfHeads);
    release_ptr(cb, d.inkCodes);
    release_ptr(cb, d.colorCodes);
    if (d.blockE) {
        release_ptr(cb, d.blockE->commandColors);
        release_ptr(cb, d.blockE->rowCodes);
        release_ptr(cb, d.blockE->rowShifts);
        release_ptr(cb, d.blockE);
    }
    release_ptr(cb, d.layerValues);
    release_ptr(cb, d.useHeadBytes);
    release_ptr(cb, icm);
}

void free_mle(const CallbackTable& cb, MLEResourceData*& mle) {
    if (!mle) return;
    MLEResourceData& d = *mle;
    release_ptr(cb, d.colorOrder);
    if (d.units) {
        for (int32_t i = 0; i < d.unitNum; ++i) free_microweave_logic(cb, d.units[i]);
        release_ptr(cb, d.units);
    }
    release_ptr(cb, d.head.nozzleNumOfHead);
    release_ptr(cb, d.head.headOverlapNum);
    release_ptr(cb, d.head.lineValues);
    release_ptr(cb, d.nozzleArrayValues);
    d.blockE = nullptr;  // freed with ICMResourceData
    release_ptr(cb, mle);
}

void free_esc(const CallbackTable& cb, ESCResourceData*& esc) {
    if (!esc) return;
    release_ptr(cb, esc->remapFrom);
    release_ptr(cb, esc->remapTo);
    release_ptr(cb, esc);
}

template <class T>
uint32_t lend(RscObject* o, T* RscObject::*block, T** out) {
    if (!out) return kRscNotAvailable;
    *out = o ? o->*block : nullptr;
    return *out ? 0 : kRscNotAvailable;
}

template <class T>
uint32_t hand_over(RscObject* o, T* RscObject::*table, T** out) {
    if (!out) return kRscNotAvailable;
    *out = nullptr;
    if (!o) return kRscNotAvailable;
    *out = o->*table;
    o->*table = nullptr;
    return 0;
}

}  // namespace

bool RSC_ResolutionSteps(const ESCResourceData& esc, uint8_t& vertical, uint8_t& horizontal) {
    const auto step = [&esc](uint16_t dpi, uint8_t& out) {
        if (dpi == 0 || esc.value3 % dpi != 0 || esc.value3 / dpi == 0 || esc.value3 / dpi > 0xFF) return false;
        out = static_cast<uint8_t>(esc.value3 / dpi);
        return true;
    };
    return step(esc.value5, vertical) && step(esc.value4, horizontal);
}

uint32_t RSC_GetModelResource(RscObject* o, ByteCursor& c, ModelFormat fmt) {
    const CallbackTable& cb = *o->cb;
    ICMResourceData& icm = *o->icm;
    MLEResourceData& mle = *o->mle;
    HeadRecord& h = mle.head;
    uint16_t valueA = 0, sectionFlags = 0, optionMask = 0;
    if (!(c.u16le(valueA) && c.u32le(mle.headValueB))) return kRscBadResource;
    if (valueA == 0) return kRscBadValue;  // divisor of the off-area values
    icm.headValueA = mle.headValueA = valueA;
    if (uint32_t e = read_count(c, h.headNum)) return e;
    if (uint32_t e = read_count(c, h.nozzleLineNum)) return e;
    if (!(c.u16le(h.headValueC) && c.u16le(h.headValueD))) return kRscBadResource;
    if (fmt.f13() && !c.u16le(sectionFlags)) return kRscBadResource;
    if (uint32_t e = YDS_PrepareBeforeLoadingResource(h.nozzleLineNum, sectionFlags & kHeadYdsResolution,
                                                      sectionFlags & kHeadYdsColumns, o->yds))
        return e;
    if (uint32_t e = NLM_PrepareBeforeLoadingResource(h.headNum, h.nozzleLineNum, sectionFlags & kHeadKinds, o->nlm))
        return e;
    if (uint32_t e = RLS_PrepareBeforeLoadingModelResource(h.nozzleLineNum, sectionFlags & kHeadKinds, o->rls))
        return e;
    if (!(c.u16le(optionMask) && c.skip(12))) return kRscBadResource;
    if (uint32_t e = read_head_record(c, cb, h)) return e;
    if (fmt.f13()) {
        if (uint32_t e = YDS_LoadResolutionBetweenNozzles(c, o->yds)) return e;
        if (uint32_t e = YDS_LoadHeadColumnOfNozzleLine(c, o->yds)) return e;
        if (uint32_t e = NLM_LoadHeadKindOfNozzleLine(c, o->nlm)) return e;
        if (uint32_t e = RLS_CopyHeadKindOfNozzleLine(o->nlm->headKindOfLine, h.nozzleLineNum,
                                                      o->nlm->headKindExists, o->rls))
            return e;
    }

    int16_t counts[std::size(kOptionTables)] = {};
    for (size_t i = 0; i < std::size(kOptionTables); ++i) {
        const OptionTable& t = kOptionTables[i];
        if (!(optionMask & t.bit) || (t.offsetTable && (optionMask & kOptNoOffsetTables))) continue;
        if (uint32_t e = read_count(c, counts[i])) return e;
    }
    uint32_t e = read_counted(c, cb, counts[0], icm.polBaseWordsA);
    if (!e) e = read_counted(c, cb, counts[1], icm.polBaseWordsB);
    if (!e) e = read_counted(c, cb, counts[2], icm.polBaseWordsC);
    if (!e) e = read_counted(c, cb, counts[3], icm.polOffsetTable64);
    if (!e) e = read_counted(c, cb, counts[4], icm.polOffsetTable32);
    if (!e) e = read_matrices(c, cb, counts[5], icm.polThresholdMatrices);
    if (!e) e = read_tagged(c, cb, counts[6], fmt, icm.polStoredPatterns);
    if (!e) e = read_counted(c, cb, counts[7], icm.polDispersionOffsets);
    if (!e) e = read_counted(c, cb, counts[8], icm.polOrderTable);
    if (e) return e;

    if (alloc_record(cb, kRscNoLossNozzleRecord, icm.lossNozzleModelData)) return kRscNoLossNozzleRecord;
    if (optionMask & kOptLossNozzle)
        return LNC_LoadModelResource(kLncPmc, icm.lossNozzleModelData, c, fmt.f14() ? 1 : 0, &cb);
    return 0;
}

uint32_t RSC_Constructor(RscObject** out, IdentifierPair identifier, uint32_t optionFlags,
                         const CallbackTable* cb) {
    if (!out) return kRscNoObject;
    *out = nullptr;
    if (!cb) return kRscNoObject;
    RscObject* o = nullptr;
    if (alloc_record(*cb, kRscNoObject, o)) return kRscNoObject;
    o->cb = cb;
    o->identifier = identifier;
    o->optionFlags = optionFlags;
    uint32_t e = alloc_record(*cb, kRscNoBlocks, o->icm);
    if (!e) e = alloc_record(*cb, kRscNoBlocks, o->mle);
    if (!e) e = alloc_record(*cb, kRscNoBlocks, o->esc);
    if (!e) e = alloc_record(*cb, kRscNoBlocks, o->rbm);
    if (!e) {
        o->icm->head = &o->mle->head;
        o->mle->preBufferingRaster = -2;
        for (int16_t& slot : o->mle->unitIndexOfSlot) slot = -1;
        e = LHT_Allocate(&o->lht, cb);
    }
    if (!e) e = SSS_Allocate(&o->sss, cb);
    if (!e) e = YDS_Allocate(&o->yds, cb);
    if (!e) e = NLM_Allocate(&o->nlm, cb);
    if (!e) e = RLS_Allocate(&o->rls, cb);
    if (!e) {
        FetchedResource res = fetch_resource(*cb, kModelResourceKind);
        e = res ? parse(o, res) : kRscNotAvailable;
        release_resource(*cb, res);
    }
    if (e) {
        RSC_Destructor(o);
        return e;
    }
    *out = o;
    return 0;
}

void RSC_Destructor(RscObject* o) {
    if (!o) return;
    const CallbackTable* cb = o->cb;
    free_icm(*cb, o->icm);
    free_mle(*cb, o->mle);
    free_esc(*cb, o->esc);
    release_ptr(*cb, o->rbm);
    // Tables not handed over (a construction that failed, or a job that
    // ended before its modules took them) are freed here.
    LHT_Free(&o->lht, cb);
    SSS_Free(&o->sss, cb);
    YDS_Free(&o->yds, cb);
    NLM_Free(&o->nlm, cb);
    RLS_Free(&o->rls, cb);
    release(*cb, o);
}

uint32_t RSC_GetICMResourceData(RscObject* o, ICMResourceData** out) { return lend(o, &RscObject::icm, out); }
uint32_t RSC_GetMLEResourceData(RscObject* o, MLEResourceData** out) { return lend(o, &RscObject::mle, out); }
uint32_t RSC_GetESCResourceData(RscObject* o, ESCResourceData** out) { return lend(o, &RscObject::esc, out); }
uint32_t RSC_GetRBMResourceData(RscObject* o, RBMResourceData** out) { return lend(o, &RscObject::rbm, out); }
uint32_t RSC_TransferLht(LhtTable** out, RscObject* o) { return hand_over(o, &RscObject::lht, out); }
uint32_t RSC_TransferSss(SssTable** out, RscObject* o) { return hand_over(o, &RscObject::sss, out); }
uint32_t RSC_TransferYds(YdsTable** out, RscObject* o) { return hand_over(o, &RscObject::yds, out); }
uint32_t RSC_TransferNlm(NlmTable** out, RscObject* o) { return hand_over(o, &RscObject::nlm, out); }
uint32_t RSC_TransferRls(RlsTable** out, RscObject* o) { return hand_over(o, &RscObject::rls, out); }

}  // namespace ovcg::irac
