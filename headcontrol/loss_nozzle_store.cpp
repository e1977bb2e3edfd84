#include "headcontrol/loss_nozzle_store.h"

#include "headcontrol/codes.h"
#include "headcontrol/resource_stream.h"

namespace ovcg::irac {

namespace {

bool has_ink(const CcmnStore* s, int32_t ink) { return s && s->lossCount && ink >= 0 && ink < s->inkCount; }
bool has_loss(const CcmnStore* s, int32_t ink, int32_t e) {
    return has_ink(s, ink) && e >= 0 && e < s->lossCount[ink];
}
bool has_complement(const CcmnStore* s, int32_t ink, int32_t e) {
    return has_ink(s, ink) && e >= 0 && e < s->complementCount[ink];
}
// Complement record of an entry the ink may hold (filled or not).
CcmnComplement* complement_slot(const CcmnStore* s, int32_t ink, int32_t e) {
    if (!has_ink(s, ink) || e < 0 || e >= s->lossNozzleMaxPerInk) return nullptr;
    return &s->complement[ink][e];
}

template <class T>
void free_table(const CallbackTable& cb, T**& table, int32_t n) {
    if (!table) return;
    for (int32_t i = 0; i < n; ++i) release_ptr(cb, table[i]);
    release_ptr(cb, table);
}

// Entries per head of the split table; 0 without one.
uint32_t split_entries(const CcmnStore* s) { return s->split ? s->split->entriesPerHead : 0; }

bool in_range(uint32_t o, uint16_t first, uint16_t end) { return first < end && o >= first && o < end; }

uint32_t real_of(const CcmnStore* s, int32_t ink, uint32_t v, const CcmnHeadRecord& h, CcmnRealNozzle* out) {
    const uint32_t o = v - h.start;
    out->head = h.head;
    if (s->splitFlag) {
        const uint32_t e = split_entries(s);
        if (e == 0 || !s->split->codes || !s->split->groupOfInk) return kCcmnNoTable;
        const uint64_t at = uint64_t{h.head} * s->unitCount * e + uint64_t{e} * s->split->groupOfInk[ink] + o % e;
        if (at >= s->split->codeCount) return kCcmnNoTable;
        out->nozzle = static_cast<uint16_t>(o / e);
        out->colorCode = s->split->codes[at];
        return 0;
    }
    const CcmnInkInfo* info = s->inkInfo;
    if (!info || !info->colorCodes) return kCcmnNoTable;
    const uint64_t at = uint64_t{h.head} * info->headStride + uint32_t(ink);
    if (at >= info->colorCodeCount) return kCcmnNoTable;
    out->nozzle = static_cast<uint16_t>(o);
    out->colorCode = info->colorCodes[at];
    return 0;
}

}  // namespace

uint32_t CCMN_InitWorkArea(CcmnStore* s, int16_t inkCount, int16_t headCount, uint16_t unitCount,
                           const CcmnInkInfo* inkInfo, uint8_t splitFlag, const CcmnSplitTable* split,
                           const void* polMask1, const void* polMask2) {
    if (!s || !s->cb) return kCcmnNoStore;
    CCMN_ExitWorkArea(s);
    // The per-ink maximum divides by the ink count: none, or more inks than
    // a page has, cannot be sized.
    if (inkCount < 1 || inkCount > kMleMaxInks || s->lossNozzleMax / inkCount == 0) return kCcmnNoPerInk;
    if (headCount < 0) return kCcmnNoHeadRecords;
    const CallbackTable& cb = *s->cb;
    s->inkCount = inkCount;
    s->headCount = headCount;
    s->unitCount = unitCount;
    s->inkInfo = inkInfo;
    s->splitFlag = splitFlag;
    s->split = split;
    s->polMask[0] = polMask1;
    s->polMask[1] = polMask2;
    s->lossNozzleMaxPerInk = static_cast<uint16_t>(s->lossNozzleMax / inkCount);
    s->complementPassMax = kCcmnPassMax;
    s->patternBytes = kCcmnPatternBytes;
    const uint32_t n = uint32_t(inkCount), per = s->lossNozzleMaxPerInk;
    auto fail = [s](uint32_t code) {
        CCMN_ExitWorkArea(s);
        return code;
    };
    if (alloc_array(cb, n, kCcmnNoSearchArrays, s->searchStart) || alloc_array(cb, n, kCcmnNoSearchArrays, s->searchEnd) ||
        alloc_array(cb, n, kCcmnNoSearchArrays, s->baseRaster))
        return fail(kCcmnNoSearchArrays);
    if (alloc_array(cb, n, kCcmnNoLossArrays, s->lossCount)) return fail(kCcmnNoLossArrays);
    if (alloc_array(cb, n, kCcmnNoComplementArrays, s->complementCount)) return fail(kCcmnNoComplementArrays);
    if (alloc_array(cb, n, kCcmnNoLossArrays, s->loss)) return fail(kCcmnNoLossArrays);
    if (alloc_array(cb, n, kCcmnNoComplementArrays, s->complement)) return fail(kCcmnNoComplementArrays);
    for (uint32_t i = 0; i < n; ++i) {
        if (alloc_array(cb, per, kCcmnNoLossArrays, s->loss[i])) return fail(kCcmnNoLossArrays);
        if (alloc_array(cb, per, kCcmnNoComplementArrays, s->complement[i])) return fail(kCcmnNoComplementArrays);
    }
    if (alloc_array(cb, kCcmnPassMax, kCcmnNoHeadPositions, s->virtualHeadPos)) return fail(kCcmnNoHeadPositions);
    if (alloc_array(cb, n, kCcmnNoHeadRecords, s->heads)) return fail(kCcmnNoHeadRecords);
    if (headCount > 0)
        for (uint32_t i = 0; i < n; ++i)
            if (alloc_array(cb, uint32_t(headCount), kCcmnNoHeadRecords, s->heads[i])) return fail(kCcmnNoHeadRecords);
    return 0;
}

void CCMN_ExitWorkArea(CcmnStore* s) {
    if (!s || !s->cb) return;
    const CallbackTable& cb = *s->cb;
    const int32_t n = s->inkCount;
    release_ptr(cb, s->searchStart);
    release_ptr(cb, s->searchEnd);
    release_ptr(cb, s->baseRaster);
    release_ptr(cb, s->lossCount);
    release_ptr(cb, s->complementCount);
    free_table(cb, s->loss, n);
    free_table(cb, s->complement, n);
    release_ptr(cb, s->virtualHeadPos);
    free_table(cb, s->heads, n);
    s->inkCount = 0;
    s->headCount = 0;
    s->lossNozzleMaxPerInk = 0;
}

void CCMN_GetIncludeHeadInfo(const CcmnStore* s, uint32_t v, int32_t ink, uint8_t* joint, CcmnHeadRecord* head,
                             CcmnHeadRecord* neighbour) {
    *joint = 0;
    *head = CcmnHeadRecord{};
    *neighbour = CcmnHeadRecord{};
    if (!has_ink(s, ink) || s->headCount < 1 || !s->heads[ink]) return;
    const CcmnHeadRecord* h = s->heads[ink];
    const int32_t H = s->headCount;
    int32_t chosen = -1;
    if (v < uint32_t{h[0].start} + h[0].nozzles) {
        chosen = (v - h[0].start > h[0].activeEnd && H > 1) ? 1 : 0;
    } else {
        for (int32_t i = 1; i < H && chosen < 0; ++i)
            if (uint32_t{h[i].start} + h[i].nozzles > v) chosen = i;
        if (chosen < 0) return;
        if (v - h[chosen].start > h[chosen].activeEnd && chosen != H - 1) ++chosen;
    }
    if (v < h[chosen].start) return;  // a head table whose starts go back: no head holds v
    *head = h[chosen];
    const uint32_t o = v - h[chosen].start;
    if (in_range(o, head->upperFirst, head->upperEnd) && chosen > 0) {
        *joint = 1;
        *neighbour = h[chosen - 1];
    } else if (in_range(o, head->lowerFirst, head->lowerEnd) && chosen + 1 < H) {
        *joint = 1;
        *neighbour = h[chosen + 1];
    }
}

void CCMN_GetHeadInfo(const CcmnStore* s, int32_t ink, int32_t head, CcmnHeadRecord* out) {
    *out = CcmnHeadRecord{};
    if (has_ink(s, ink) && head >= 0 && head < s->headCount && s->heads[ink]) *out = s->heads[ink][head];
}

uint32_t CCMN_ConvertRealNozzleInfo(const CcmnStore* s, int32_t ink, uint32_t v, uint8_t* joint,
                                    CcmnRealNozzle* real, CcmnRealNozzle* neighbour) {
    *real = CcmnRealNozzle{};
    *neighbour = CcmnRealNozzle{};
    *joint = 0;
    if (!has_ink(s, ink)) return kCcmnNoTable;
    CcmnHeadRecord h{}, n{};
    CCMN_GetIncludeHeadInfo(s, v, ink, joint, &h, &n);
    if (uint32_t rc = real_of(s, ink, v, h, real)) return rc;
    if (*joint && v >= n.start)
        if (uint32_t rc = real_of(s, ink, v, n, neighbour)) return rc;
    return 0;
}

uint32_t CCMN_ConvertInputInkIndex(const CcmnStore* s, uint8_t code, int32_t* ink) {
    *ink = -1;
    if (!s) return kCcmnInkNotFound;
    if (!s->splitFlag) {
        const CcmnInkInfo* info = s->inkInfo;
        if (!info || info->codeCount < 1 || !info->inkCodes) return kCcmnInkNotFound;
        for (int32_t i = 0; i < info->codeCount; ++i)
            if (info->inkCodes[i] == code) return *ink = i, 0;
        return kCcmnInkNotFound;
    }
    const uint32_t e = split_entries(s);
    if (e == 0 || !s->split->codes || !s->split->groupOfInk || s->unitCount == 0) return kCcmnInkNotFound;
    for (uint32_t k = 0; k < s->split->codeCount; ++k) {
        if (s->split->codes[k] != code) continue;
        const uint32_t g = (k / e) % s->unitCount;
        for (int32_t i = 0; i < s->inkCount; ++i)
            if (s->split->groupOfInk[i] == g) return *ink = i, 0;
    }
    return kCcmnInkNotFound;
}

uint8_t CCMN_ConvertColorCode(const CcmnStore* s, int32_t ink) {
    if (!has_ink(s, ink)) return 0;
    if (!s->splitFlag) {
        const CcmnInkInfo* info = s->inkInfo;
        return info && info->colorCodes && uint32_t(ink) < info->colorCodeCount ? info->colorCodes[ink] : 0;
    }
    const uint32_t e = split_entries(s);
    if (!s->split || !s->split->codes || !s->split->groupOfInk) return 0;
    const uint64_t at = uint64_t{e} * s->split->groupOfInk[ink];
    return at < s->split->codeCount ? s->split->codes[at] : 0;
}

uint8_t CCMN_GetNozzleState(const CcmnStore* s, int32_t ink, uint16_t head, uint16_t nozzle, uint8_t code) {
    if (!has_ink(s, ink)) return 0;
    for (int32_t i = 0; i < s->lossCount[ink]; ++i) {
        const CcmnLossNozzle& l = s->loss[ink][i];
        if (l.head == head && l.inkCode == code && l.nozzle == nozzle) return 1;
    }
    return 0;
}

uint32_t CCMN_CalcVirtualNozzleNo(MLE_INSTANCE* mle, int32_t ink, int64_t raster, int64_t base, uint8_t* onPitch,
                                  uint32_t* nozzle) {
    *onPitch = 0;
    *nozzle = 0;
    const uint32_t pitch = MLE_GetNozzlePitchIncludedNozzleInfo(mle);
    if (pitch == 0) return kCcmnBadNozzle;
    const int64_t d = raster - (base + MLE_GetOffsetNozzle(mle, ink));
    if (d % pitch != 0) return 0;
    const int64_t n = d / pitch;
    if (n < 0 || n >= MLE_GetVirtualNozzleNum(mle)) return kCcmnBadNozzle;
    *onPitch = 1;
    *nozzle = static_cast<uint32_t>(n);
    return 0;
}

uint32_t CCMN_CollectHeadInfo(MLE_INSTANCE* mle, CcmnStore* s) {
    if (!s || !s->heads) return kCcmnNoTable;
    for (int32_t i = 0; i < s->inkCount; ++i) {
        for (int32_t h = 0; h < s->headCount; ++h) {
            CcmnHeadRecord& r = s->heads[i][h];
            r = CcmnHeadRecord{};
            int32_t offset = 0;
            uint16_t nozzles = 0;
            MleNozzleRange window{}, previous{}, next{};
            const uint8_t* states = nullptr;
            const uint16_t* halftones = nullptr;
            // A head the ink does not reach this pass keeps a zero record.
            if (MLE_GetHeadInfo(mle, i, h, &offset, &nozzles, &window, &previous, &next, &states, &halftones)) continue;
            auto u16 = [](int32_t v) { return static_cast<uint16_t>(v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : v); };
            r.head = uint16_t(h);
            r.start = u16(offset);
            r.nozzles = nozzles;
            r.activeFirst = u16(window.first);
            r.activeEnd = u16(window.end);
            r.upperFirst = u16(previous.first);
            r.upperEnd = u16(previous.end);
            r.lowerFirst = u16(next.first);
            r.lowerEnd = u16(next.end);
            r.positions1 = states;
            r.positions2 = halftones;
            r.positionCount = window.end > window.first ? uint16_t(window.end - window.first) : 0;
        }
    }
    return 0;
}

uint32_t CCMN_ConvertVirtualNozzleOffset(const CcmnStore* s, MLE_INSTANCE* mle, uint16_t head, uint16_t nozzle,
                                         uint8_t code, uint32_t* offset) {
    *offset = 0;
    int32_t ink = -1;
    if (uint32_t rc = CCMN_ConvertInputInkIndex(s, code, &ink)) return rc;
    int64_t shift = 0, multiplier = 1;
    if (s->splitFlag) {
        multiplier = split_entries(s);
        for (uint32_t k = 0; k < s->split->codeCount; ++k)
            if (s->split->codes[k] == code) {
                shift = k % uint32_t(multiplier);
                break;
            }
    }
    const int64_t pitch = MLE_GetNozzlePitchIncludedNozzleInfo(mle);
    const int64_t v = pitch * (int64_t{nozzle} * multiplier + MLE_GetHeadOffset(mle, ink, head) + shift);
    if (v < 0 || v > INT32_MAX) return kCcmnBadNozzle;
    *offset = static_cast<uint32_t>(v);
    return 0;
}

uint32_t CCMN_UpdateLossNozzleInfo(CcmnStore* s, MLE_INSTANCE* mle, uint32_t v1, uint32_t v2, uint32_t v3) {
    if (!s || !s->cb || !s->lossCount) return kCcmnNoTable;
    LncLossNozzleList list{};
    if (!s->cb->loss_nozzle_query || !s->cb->loss_nozzle_query(0, 0, &list, v1, v2, v3)) return kCcmnHostQueryFailed;
    if (list.count == 0) return 0;
    if (!list.entries) return kCcmnNoTable;
    ByteCursor c(list.entries, size_t{list.count} * 8);
    const uint32_t e = s->splitFlag ? split_entries(s) : 1;
    for (uint32_t n = 0; n < list.count; ++n) {
        const uint16_t head = c.u16le();
        const uint8_t code = c.u8();
        const uint16_t nozzle = c.u16le();
        const uint8_t action = c.u8();
        c.skip(2);
        if (head >= MLE_GetHeadNum(mle)) return kCcmnBadHead;
        if (e == 0 || nozzle >= MLE_GetNozzleNum(mle, head, int32_t(e))) return kCcmnBadLossNozzle;
        int32_t ink = -1;
        if (CCMN_ConvertInputInkIndex(s, code, &ink)) return kCcmnUnknownLossInk;
        uint32_t offset = 0;
        if (uint32_t rc = CCMN_ConvertVirtualNozzleOffset(s, mle, head, nozzle, code, &offset)) return rc;
        CcmnLossNozzle* list0 = s->loss[ink];
        uint16_t& count = s->lossCount[ink];
        int32_t found = -1;
        for (int32_t i = 0; i < count && found < 0; ++i)
            if (list0[i].head == head && list0[i].inkCode == code && list0[i].nozzle == nozzle) found = i;
        if (found >= 0 && action != 1) {
            for (int32_t i = found; i + 1 < count; ++i) list0[i] = list0[i + 1];
            list0[--count] = CcmnLossNozzle{};
        } else if (found < 0 && action == 1 && count < s->lossNozzleMaxPerInk) {
            const int32_t base = int32_t(s->baseRaster[ink]);
            list0[count++] = CcmnLossNozzle{head, code, nozzle, 1, offset, uint32_t(base < 0 ? 0 : base), 0};
        }
    }
    return 0;
}

uint8_t CCMN_JudgeSearchLoopEnd(const CcmnStore* s, MLE_INSTANCE* mle, int64_t raster) {
    if (!s || !s->searchEnd) return 1;
    for (int32_t i = 0; i < s->inkCount; ++i) {
        const int64_t end = int32_t(s->searchEnd[i]);
        if (end >= 0 && end >= int64_t{MLE_GetOffsetNozzle(mle, i)} + raster) return 0;
    }
    return 1;
}

void CCMN_UpdateLossPattern(CcmnStore* s, int32_t ink, int32_t e, uint32_t b, uint8_t f1, uint8_t f2, uint8_t f3) {
    CcmnComplement* c = complement_slot(s, ink, e);
    if (!c || b >= kCcmnPassMax) return;
    const uint8_t bit = uint8_t(1u << (b % 8));
    const bool planes[4] = {f2 == 1, f1 == 1 && f3 == 1, true, f1 == 1};
    for (int p = 0; p < 4; ++p)
        if (planes[p]) c->pattern[p][b / 8] |= bit;
}

uint8_t CCMN_GetLossPattern(const CcmnStore* s, int32_t ink, int32_t e, uint32_t b) {
    const CcmnComplement* c = complement_slot(s, ink, e);
    if (!c || b >= kCcmnPassMax) return 0;
    uint8_t bits = 0;
    for (int p = 0; p < 4; ++p)
        if (c->pattern[p][b / 8] & (1u << (b % 8))) bits = uint8_t(bits | (1u << p));
    return bits;
}

void CCMN_ResetLossPattern(CcmnStore* s, int32_t ink, int32_t e) {
    CcmnComplement* c = complement_slot(s, ink, e);
    if (!c) return;
    for (auto& plane : c->pattern)
        for (uint8_t& b : plane) b = 0;
    for (uint8_t& n : c->stackPassNum) n = 0;
}

uint32_t CCMN_SetComplateRasterInfo(CcmnStore* s, int32_t ink, CcmnLossNozzle* loss, uint32_t position,
                                    uint16_t passTag, uint8_t cmsType) {
    if (!s || s->inkCount < 1 || !s->complementCount) return kCcmnNoTable;
    if (!has_ink(s, ink)) return kCcmnNoTable;
    uint16_t& n = s->complementCount[ink];
    if (n >= s->lossNozzleMaxPerInk) return 0;
    CcmnComplement& c = s->complement[ink][n];
    c = CcmnComplement{};
    c.position = position;
    c.passTag = passTag;
    c.cmsType = cmsType;
    c.loss = loss;
    ++n;
    return 0;
}

// ---- Plain accessors ----------------------------------------------------------------

void CCMN_SetBaseRaster(CcmnStore* s, int32_t ink, uint32_t r) {
    if (has_ink(s, ink)) s->baseRaster[ink] = r;
}
uint32_t CCMN_GetBaseRaster(const CcmnStore* s, int32_t ink) { return has_ink(s, ink) ? s->baseRaster[ink] : 0; }
void CCMN_GetInkInfo(const CcmnStore* s, int16_t* inkCount, uint16_t* unitCount) {
    *inkCount = s ? s->inkCount : 0;
    *unitCount = s ? s->unitCount : 0;
}
void CCMN_GetSplitInfo(const CcmnStore* s, uint8_t* splitFlag, const CcmnSplitTable** split) {
    *splitFlag = s ? s->splitFlag : 0;
    *split = s ? s->split : nullptr;
}
void CCMN_GetPOLMaskInfo(const CcmnStore* s, const void** mask1, const void** mask2) {
    *mask1 = s ? s->polMask[0] : nullptr;
    *mask2 = s ? s->polMask[1] : nullptr;
}
void CCMN_SetSearchArea(CcmnStore* s, int32_t ink, uint32_t start, uint32_t end) {
    if (!has_ink(s, ink)) return;
    s->searchStart[ink] = start;
    s->searchEnd[ink] = end;
}
void CCMN_GetSearchArea(const CcmnStore* s, int32_t ink, uint32_t* start, uint32_t* end) {
    *start = has_ink(s, ink) ? s->searchStart[ink] : 0;
    *end = has_ink(s, ink) ? s->searchEnd[ink] : 0;
}
void CCMN_SetVirtualHeadPos(CcmnStore* s, uint32_t pass, uint32_t position) {
    if (s && s->virtualHeadPos && pass < kCcmnPassMax) s->virtualHeadPos[pass] = position;
}
uint32_t CCMN_GetVirtualHeadPos(const CcmnStore* s, uint32_t pass) {
    return s && s->virtualHeadPos && pass < kCcmnPassMax ? s->virtualHeadPos[pass] : 0;
}
void CCMN_SetLossNozzleStackNo(CcmnStore* s, int32_t ink, int32_t e, uint8_t stack) {
    if (has_loss(s, ink, e)) s->loss[ink][e].stackNo = stack;
}
uint8_t CCMN_GetLossNozzleStackNo(const CcmnStore* s, int32_t ink, int32_t e) {
    return has_loss(s, ink, e) ? s->loss[ink][e].stackNo : 0;
}
uint16_t CCMN_GetLossNozzleNum(const CcmnStore* s, int32_t ink) { return has_ink(s, ink) ? s->lossCount[ink] : 0; }
uint32_t CCMN_GetLossNozzleNumTotal(const CcmnStore* s) {
    uint32_t total = 0;
    for (int32_t i = 0; s && s->lossCount && i < s->inkCount; ++i) total += s->lossCount[i];
    return total;
}
uint16_t CCMN_GetLossNozzleHead(const CcmnStore* s, int32_t ink, int32_t e) {
    return has_loss(s, ink, e) ? s->loss[ink][e].head : 0;
}
uint32_t CCMN_GetLossNozzleOffset(const CcmnStore* s, int32_t ink, int32_t e) {
    return has_loss(s, ink, e) ? s->loss[ink][e].virtualOffset : 0;
}
uint32_t CCMN_GetComplateStartRaster(const CcmnStore* s, int32_t ink, int32_t e) {
    return has_loss(s, ink, e) ? s->loss[ink][e].complementStart : 0;
}
CcmnLossNozzle* CCMN_GetLossNozzle(CcmnStore* s, int32_t ink, int32_t e) {
    return has_loss(s, ink, e) ? &s->loss[ink][e] : nullptr;
}
void CCMN_SetCMSComplateType(CcmnStore* s, int32_t ink, int32_t e, uint8_t type) {
    if (has_complement(s, ink, e)) s->complement[ink][e].cmsType = type;
}
uint8_t CCMN_GetCMSComplateType(const CcmnStore* s, int32_t ink, int32_t e) {
    return has_complement(s, ink, e) ? s->complement[ink][e].cmsType : 0;
}
void CCMN_ResetComplateRasterInfo(CcmnStore* s) {
    for (int32_t i = 0; s && s->complementCount && i < s->inkCount; ++i) s->complementCount[i] = 0;
}
uint16_t CCMN_GetComplateRasterNum(const CcmnStore* s, int32_t ink) {
    return has_ink(s, ink) ? s->complementCount[ink] : 0;
}
void CCMN_GetComplateRasterPos(const CcmnStore* s, int32_t ink, int32_t e, uint32_t* position, uint16_t* passTag) {
    const bool ok = has_complement(s, ink, e);
    *position = ok ? s->complement[ink][e].position : 0;
    *passTag = ok ? s->complement[ink][e].passTag : 0;
}
void CCMN_SetComplatePMCKind(CcmnStore* s, int32_t ink, int32_t e, uint32_t pass, uint8_t kind) {
    if (has_complement(s, ink, e) && pass < kCcmnPassMax) s->complement[ink][e].pmcKind[pass] = kind;
}
uint8_t CCMN_GetComplatePMCKind(const CcmnStore* s, int32_t ink, int32_t e, uint32_t pass) {
    return has_complement(s, ink, e) && pass < kCcmnPassMax ? s->complement[ink][e].pmcKind[pass] : 0;
}
CcmnLossNozzle* CCMN_GetLossNozzleInfo(const CcmnStore* s, int32_t ink, int32_t e) {
    return has_complement(s, ink, e) ? s->complement[ink][e].loss : nullptr;
}
void CCMN_SetComplateStackNo(CcmnStore* s, int32_t ink, int32_t e, uint32_t pass, uint8_t stack) {
    if (has_complement(s, ink, e) && pass < kCcmnPassMax) s->complement[ink][e].stackNo[pass] = stack;
}
uint8_t CCMN_GetComplateStackNo(const CcmnStore* s, int32_t ink, int32_t e, uint32_t pass) {
    return has_complement(s, ink, e) && pass < kCcmnPassMax ? s->complement[ink][e].stackNo[pass] : 0;
}
void CCMN_SetComplateStackPassNum(CcmnStore* s, int32_t ink, int32_t e, uint32_t pass, uint8_t count) {
    if (has_complement(s, ink, e) && pass < kCcmnPassMax) s->complement[ink][e].stackPassNum[pass] = count;
}
uint8_t CCMN_GetComplateStackPassNum(const CcmnStore* s, int32_t ink, int32_t e, uint32_t pass) {
    return has_complement(s, ink, e) && pass < kCcmnPassMax ? s->complement[ink][e].stackPassNum[pass] : 0;
}

}  // namespace ovcg::irac
