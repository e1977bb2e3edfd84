#include "headcontrol/loss_nozzle_proc.h"

#include "headcontrol/codes.h"
#include "headcontrol/resource_stream.h"

namespace ovcg::irac {

namespace {

constexpr uint32_t kTypePassMask = 1;
constexpr uint32_t kTypePrinter = 2;

// The store's view of the coming pass k: its head position P, shifted
// position P' and tag; `go` false once no pass is left or the search ends.
struct AheadPass {
    bool go;
    int32_t position;
    int32_t shifted;
    uint16_t tag;
};

uint32_t pass_ahead(CcmnStore* s, MLE_INSTANCE* mle, uint32_t k, AheadPass* out) {
    *out = AheadPass{};
    uint8_t valid = 0;
    int32_t headPos = 0;
    if (uint32_t rc = MLE_GetHeadPosAfterPass(mle, int32_t(k), &valid, &out->position, &headPos, &out->shifted,
                                              &out->tag))
        return rc;
    if (!valid || CCMN_JudgeSearchLoopEnd(s, mle, out->shifted) == 1) return 0;
    if (k >= kCcmnPassMax) return kLncTooManyPasses;
    out->go = true;
    CCMN_SetVirtualHeadPos(s, k, uint32_t(out->position));
    return CCMN_CollectHeadInfo(mle, s);
}

bool selected(const CcmnStore* s, int32_t ink, int32_t e, uint8_t mode, uint32_t type) {
    return mode != 1 || CCMN_GetCMSComplateType(s, ink, e) == type;
}

// The code the store keeps for a real nozzle of the ink: the split code, or
// the lost nozzle's own ink code.
uint8_t loss_code(const CcmnStore* s, const CcmnRealNozzle& real, const CcmnLossNozzle* loss) {
    return s->splitFlag ? real.colorCode : (loss ? loss->inkCode : 0);
}

PmcEntry* slot_entries(const PmcObject* p, int32_t ink, uint32_t slot) {
    return p->entries + (size_t(slot) * uint32_t(p->inks) + uint32_t(ink)) * p->slotCapacity;
}
uint16_t& slot_count(const PmcObject* p, int32_t ink, uint32_t slot) {
    return p->counts[size_t(slot) * uint32_t(p->inks) + uint32_t(ink)];
}
bool pmc_ready(const PmcObject* p, int32_t ink) { return p && p->counts && ink >= 0 && ink < p->inks; }

// The first virtual nozzle of a head (nozzles, not rasters: the pass
// engine's offset size is rasters, cut to 16 bits); 0 for no such head.
uint32_t head_start(const MLE_INSTANCE* mle, int32_t head) {
    if (!mle || !mle->table.headStart || head < 0 || head >= MLE_GetHeadNum(mle)) return 0;
    return mle->table.headStart[head];
}

}  // namespace

// ---- CMS -------------------------------------------------------------------------------

uint8_t CMS_TypeOfGrade(const CmsUnitResource* res, uint8_t kind, uint8_t g) {
    kind &= 0x7F;
    if (kind == kNozzleAlone) return kTypePrinter;
    if (kind != kNozzleFirstHalf && kind != kNozzleSecondHalf) return 0;
    const uint32_t n = res ? res->n : 0;
    if (n == 0) return 0;
    for (uint32_t j = 0; j + 1 < n; ++j)
        if (res->thresholds[j] <= g && g < res->thresholds[j + 1]) return res->types[j];
    return res->types[n - 1];
}

uint32_t CMS_InitWorkArea(CmsObject*) { return 0; }
void CMS_ExitWorkArea(CmsObject*) {}

uint32_t CMS_Proc(CmsObject*, CcmnStore* s, MLE_INSTANCE* mle, const CmsUnitResource* res, int32_t ink,
                  int32_t e) {
    const CcmnLossNozzle* loss = CCMN_GetLossNozzleInfo(s, ink, e);
    if (!loss) return kCcmnNoTable;
    uint32_t position = 0;
    uint16_t tag = 0;
    CCMN_GetComplateRasterPos(s, ink, e, &position, &tag);
    uint8_t kind = 0, g = 0;
    if (uint32_t rc = PMM_GetPOLMaskGrad(mle, static_cast<const POLMaskWork*>(s->polMask[0]), ink, loss->head,
                                         position, &kind, &g))
        return rc;
    CCMN_SetCMSComplateType(s, ink, e, CMS_TypeOfGrade(res, kind, g));
    return 0;
}

// ---- NHC -------------------------------------------------------------------------------

uint32_t NHC_InitWorkArea(NhcObject* o, const CcmnStore* s) {
    if (!o || !o->cb || !s) return kNhcNullObject;
    NHC_ExitWorkArea(o);
    if (!o->onOff) return 0;
    const uint32_t records = s->lossNozzleMax;
    if (alloc_array(*o->cb, uint64_t{records} * kNhcRecordBytes, kNhcNoList, o->list)) return kNhcNoList;
    o->listCapacity = records;
    return 0;
}

void NHC_ExitWorkArea(NhcObject* o) {
    if (!o || !o->cb) return;
    release_ptr(*o->cb, o->list);
    o->listCapacity = 0;
}

uint32_t NHC_Proc(NhcObject* o, const CcmnStore* s, uint8_t mode) {
    if (!o || !o->cb || !s) return kNhcNullObject;
    uint32_t n = 0;
    for (int32_t ink = 0; ink < s->inkCount; ++ink) {
        for (int32_t e = 0; e < CCMN_GetComplateRasterNum(s, ink) && n < o->listCapacity; ++e) {
            if (!selected(s, ink, e, mode, kTypePrinter)) continue;
            const CcmnComplement& c = s->complement[ink][e];
            uint8_t* r = o->list + size_t(n++) * kNhcRecordBytes;
            const uint64_t pointer = reinterpret_cast<uintptr_t>(c.loss);
            for (int b = 0; b < 8; ++b) r[b] = uint8_t(pointer >> (8 * b));
            for (int b = 0; b < 4; ++b) r[8 + b] = uint8_t(c.position >> (8 * b));
            r[12] = c.stackNo[0];
            r[13] = uint8_t(c.passTag - 1);
            r[14] = r[15] = 0;
        }
    }
    const LncComplementList list{uint16_t(n), o->list};
    if (!o->cb->complement_list || !o->cb->complement_list(2, &list)) return kNhcHostRefused;
    return 0;
}

// ---- PMC -------------------------------------------------------------------------------

uint32_t PMC_InitWorkArea(PmcObject* o, const CcmnStore* s) {
    if (!o || !o->cb || !s) return kPmcNullObject;
    PMC_ExitWorkArea(o);
    if (!o->onOff) return 0;
    const uint64_t slots = uint64_t{kCcmnPassMax} * uint32_t(s->inkCount);
    const uint64_t capacity = uint64_t{s->lossNozzleMaxPerInk} * kCcmnPassMax;
    if (alloc_array(*o->cb, slots, kPmcNoRing, o->counts) || alloc_array(*o->cb, slots * capacity, kPmcNoRing, o->entries)) {
        PMC_ExitWorkArea(o);
        return kPmcNoRing;
    }
    o->inks = s->inkCount;
    o->slotCapacity = uint32_t(capacity);
    o->ringIndex = 0;
    return 0;
}

void PMC_ExitWorkArea(PmcObject* o) {
    if (!o || !o->cb) return;
    release_ptr(*o->cb, o->counts);
    release_ptr(*o->cb, o->entries);
    o->inks = 0;
    o->slotCapacity = 0;
}

void PMC_SetPassComplateInfo(PmcObject* o, int32_t ink, uint32_t slot, uint32_t v, uint16_t own, uint16_t neighbour) {
    if (!pmc_ready(o, ink) || slot >= kCcmnPassMax) return;
    uint16_t& n = slot_count(o, ink, slot);
    PmcEntry* entries = slot_entries(o, ink, slot);
    if (n >= o->slotCapacity) return;
    for (uint32_t i = 0; i < n; ++i)
        if (entries[i].nozzle == v) return;
    entries[n++] = PmcEntry{uint16_t(v), own, neighbour};
}

uint16_t PMC_GetSlot(const PmcObject* o, int32_t ink, uint32_t ahead, const PmcEntry** entries) {
    *entries = nullptr;
    if (!pmc_ready(o, ink)) return 0;
    const uint32_t slot = (o->ringIndex + ahead) % kCcmnPassMax;
    *entries = slot_entries(o, ink, slot);
    return slot_count(o, ink, slot);
}

uint32_t PMC_Proc(PmcObject* o, CcmnStore* s, MLE_INSTANCE* mle, const PmcResource* res, uint8_t mode) {
    if (!o || !o->counts) return kPmcNullObject;
    for (uint32_t k = 0;; ++k) {
        AheadPass pass{};
        if (uint32_t rc = pass_ahead(s, mle, k, &pass)) return rc;
        if (!pass.go) break;
        for (int32_t ink = 0; ink < s->inkCount; ++ink) {
            for (int32_t e = 0; e < CCMN_GetComplateRasterNum(s, ink); ++e) {
                if (!selected(s, ink, e, mode, kTypePassMask)) continue;
                if (k == 0) CCMN_ResetLossPattern(s, ink, e);
                CcmnComplement& c = s->complement[ink][e];
                if (int64_t{c.position} < int64_t{MLE_GetOffsetNozzle(mle, ink)} + pass.shifted) continue;
                uint8_t onPitch = 0;
                uint32_t v = 0;
                if (uint32_t rc = CCMN_CalcVirtualNozzleNo(mle, ink, c.position, pass.position, &onPitch, &v)) {
                    if (rc == kCcmnBadNozzle) continue;  // beyond this pass's nozzles
                    return rc;
                }
                if (!onPitch) continue;
                uint8_t joint = 0;
                CcmnHeadRecord h{}, nb{};
                CCMN_GetIncludeHeadInfo(s, v, ink, &joint, &h, &nb);
                if (!h.positions1 || v < h.start) continue;
                const uint32_t d = v - h.start;
                if (d < h.activeFirst || d > h.activeEnd || pass.tag != c.passTag) continue;
                CcmnRealNozzle real{}, other{};
                if (uint32_t rc = CCMN_ConvertRealNozzleInfo(s, ink, v, &joint, &real, &other)) return rc;
                const uint8_t lost1 = CCMN_GetNozzleState(s, ink, real.head, real.nozzle, loss_code(s, real, c.loss));
                const uint8_t lost2 =
                    joint ? CCMN_GetNozzleState(s, ink, other.head, other.nozzle, loss_code(s, other, c.loss)) : 0;
                // A head record without a second position table has no stack numbers.
                if (!h.positions2 || d - h.activeFirst >= h.positionCount) continue;
                const uint32_t stack = h.positions2[d - h.activeFirst] & 0xFFu;
                if (stack >= kCcmnPassMax || k >= kCcmnPassMax) return kPmcStackOrPass;
                if (c.pmcKind[stack] != 2) {
                    // The unit data is indexed by virtual nozzle: v plus the
                    // first nozzle (not raster) of the head that ends the ink.
                    const int32_t endHead = MLE_GetHeadNum(mle) - 1 - MLE_GetEndHeadNo(mle, ink);
                    const uint64_t at = uint64_t{v} + head_start(mle, endHead);
                    if (!res || !res->unitData || at >= res->unitLength) return kPmcBadStackTable;
                    c.pmcKind[stack] = res->unitData[at];
                }
                CCMN_UpdateLossPattern(s, ink, e, k, joint, lost1, lost2);
                c.stackNo[k] = uint8_t(stack);
                c.nozzle[k] = v;
                c.neighbourGrade[k] = 0;
                if (joint && !lost1 && !lost2) {
                    uint8_t kind = 0, g = 0;
                    const auto* work = static_cast<const POLMaskWork*>(s->polMask[0]);
                    PMM_GetPOLMaskGrad(mle, work, ink, real.head, c.position, &kind, &g);
                    if (!PMM_GetPOLMaskGrad(mle, work, ink, other.head, c.position, &kind, &g)) c.neighbourGrade[k] = g;
                }
            }
        }
    }
    for (int32_t ink = 0; ink < s->inkCount; ++ink)
        for (int32_t e = 0; e < CCMN_GetComplateRasterNum(s, ink); ++e)
            if (selected(s, ink, e, mode, kTypePassMask))
                if (uint32_t rc = PMC_SetPMCInfo(o, s, mle, res, ink, e)) return rc;
    return 0;
}

uint32_t PMC_SetPMCInfo(PmcObject* o, CcmnStore* s, MLE_INSTANCE*, const PmcResource* res, int32_t ink, int32_t e) {
    CcmnComplement& c = s->complement[ink][e];
    auto plane = [&](int p, uint32_t k) { return (c.pattern[p][k / 8] >> (k % 8)) & 1u; };
    uint32_t lostCount[kCcmnPassMax] = {}, passCount[kCcmnPassMax] = {}, level[kCcmnPassMax] = {};
    uint64_t history[kCcmnPassMax] = {};
    for (uint32_t k = 0; k < kCcmnPassMax; ++k) {
        if (!plane(2, k)) continue;
        const uint32_t st = c.stackNo[k];
        const uint32_t joint = plane(3, k);
        const uint32_t lost = joint ? (plane(0, k) && plane(1, k)) : plane(0, k);
        lostCount[st] += lost;
        history[st] = history[st] * 2 + lost;
        c.stackPassNum[st] = uint8_t(++passCount[st]);
    }
    uint32_t carry = 0;
    for (uint32_t st = 0; st < kCcmnPassMax; ++st) {
        if (passCount[st] == 0) continue;
        if (lostCount[st] == passCount[st]) {
            level[st] = 255;
            if (res && res->unitKind != 0) ++carry;
        } else if (lostCount[st] > 0 || carry > 0) {
            level[st] = carry + 1;
            carry = 0;
        }
    }
    if (carry > 0)
        for (uint32_t st = 0; st < kCcmnPassMax; ++st)
            if (passCount[st] > 0 && level[st] < 255) {
                level[st] = level[st] ? level[st] + carry : carry + 1;
                break;
            }
    // The table of each stack: set (pass count - 1) of the model.
    const uint16_t* table[kCcmnPassMax] = {};
    uint32_t tableSize[kCcmnPassMax] = {};
    for (uint32_t st = 0; st < kCcmnPassMax; ++st) {
        const uint32_t L = level[st], n = passCount[st];
        if (L == 0 || (L != 255 && L > n)) continue;
        if (!res || !res->sets || n - 1 >= res->setCount) return kPmcBadStackTable;
        const PmcTableSet& set = res->sets[n - 1];
        const uint8_t kind = c.pmcKind[st];
        const bool first = L == 255 || kind == 1;
        if (L != 255 && kind != 1 && kind != 2) return kPmcBadStackTable;
        const uint32_t index = L == 255 ? 0 : L - 1;
        const uint8_t count = first ? set.count1 : set.count2;
        uint16_t** tables = first ? set.tables1 : set.tables2;
        if (!tables || index >= count || !tables[index]) return kPmcBadStackTable;
        table[st] = tables[index];
        tableSize[st] = first ? uint32_t{set.rows1} * set.columns1 : uint32_t{set.rows2} * set.columns2;
    }
    const uint32_t rows = res ? res->maskRows : 0;
    uint32_t order[kCcmnPassMax] = {};
    uint16_t lastNeighbour = 0;
    for (uint32_t k = 0; k < kCcmnPassMax; ++k) {
        if (!plane(2, k)) continue;
        const uint32_t st = c.stackNo[k], n = passCount[st];
        const bool joint = plane(3, k) != 0;
        const bool ownLost = plane(0, k) != 0, nbLost = plane(1, k) != 0;
        uint16_t own = 0, nb = 0;
        if (table[st]) {
            const uint32_t o2 = order[st];
            if (o2 >= n || n >= 64 || history[st] > (uint64_t{1} << n) - 1) return kPmcBadStackTable;
            const uint64_t at = uint64_t{n} * history[st] + o2;
            if (at >= tableSize[st]) return kPmcBadStackTable;
            const int64_t value = int64_t{table[st][at]} * 2 + ((c.position & 1u) == 0 ? 1 : 0);
            if (value < 0 || value >= kPmcNone) return kPmcBadStackTable;
            if (!joint) {
                own = uint16_t(value), nb = lastNeighbour;
            } else if (ownLost && nbLost) {
                own = 0, nb = 0;
            } else if (ownLost) {
                own = 0, nb = uint16_t(value);
            } else if (nbLost) {
                own = uint16_t(value), nb = 0;
            } else if (c.neighbourGrade[k] != 0) {
                if (value + 2 * int64_t{rows} >= kPmcNone) return kPmcBadStackTable;
                own = uint16_t(value + rows), nb = uint16_t(value + 2 * rows);
            }
            ++order[st];
        } else if (ownLost && !nbLost) {
            own = 0, nb = kPmcNone;
        } else if (nbLost && !ownLost) {
            own = kPmcNone, nb = 0;
        } else {
            continue;
        }
        lastNeighbour = nb;
        PMC_SetPassComplateInfo(o, ink, (o->ringIndex + k) % kCcmnPassMax, c.nozzle[k], own, nb);
    }
    return 0;
}

uint32_t PMC_UpdatePassMaskInfo(PmcObject* o, const CcmnStore* s, int32_t ink, uint16_t head, uint16_t limit,
                                uint8_t colour, uint8_t* mask, uint16_t* substitutes) {
    const PmcEntry* entries = nullptr;
    const uint16_t n = PMC_GetSlot(o, ink, 0, &entries);
    for (uint32_t i = 0; i < n; ++i) {
        const PmcEntry& entry = entries[i];
        uint8_t joint = 0;
        CcmnRealNozzle real{}, other{};
        if (uint32_t rc = CCMN_ConvertRealNozzleInfo(s, ink, entry.nozzle, &joint, &real, &other)) return rc;
        if (real.nozzle >= limit || (joint && other.nozzle >= limit)) return kPmcNozzleBeyondLimit;
        auto apply = [&](uint16_t nozzle, uint16_t value) {
            mask[nozzle] = uint8_t((o->maskIndex << 5) | (mask[nozzle] & 0x1F));
            substitutes[nozzle] = value;
        };
        if (real.head == head && real.colorCode == colour && entry.own != kPmcNone) {
            apply(real.nozzle, entry.own);
        } else if (joint && other.head == head && other.colorCode == colour && entry.neighbour != kPmcNone) {
            apply(other.nozzle, entry.neighbour);
        }
    }
    return 0;
}

uint8_t PMC_IsSkipOlMaskProc(PmcObject* o, const CcmnStore* s, MLE_INSTANCE* mle, int32_t ink, uint16_t head,
                             uint16_t nozzle, uint8_t colour) {
    if (!pmc_ready(o, ink) || CCMN_GetLossNozzleNumTotal(s) == 0) return 0;
    const uint8_t code = s->splitFlag ? colour : (s->inkInfo && s->inkInfo->inkCodes ? s->inkInfo->inkCodes[ink] : 0);
    uint32_t offset = 0;
    const uint32_t pitch = MLE_GetNozzlePitchIncludedNozzleInfo(mle);
    if (pitch == 0 || CCMN_ConvertVirtualNozzleOffset(s, mle, head, nozzle, code, &offset)) return 0;
    // The ring is kept by virtual nozzle: the offset in rasters over the pitch.
    const uint32_t v = offset / pitch;
    const PmcEntry* entries = nullptr;
    const uint16_t n = PMC_GetSlot(o, ink, 0, &entries);
    for (uint32_t i = 0; i < n; ++i)
        if (entries[i].nozzle == v && (entries[i].own == kPmcNone || entries[i].neighbour == kPmcNone)) return 1;
    return 0;
}

void PMC_Next(PmcObject* o) {
    if (!o || !o->counts) return;
    for (int32_t ink = 0; ink < o->inks; ++ink) slot_count(o, ink, o->ringIndex) = 0;
    o->ringIndex = uint8_t((o->ringIndex + 1) % kCcmnPassMax);
}

// ---- LNC -------------------------------------------------------------------------------

uint32_t LNC_InitWorkArea(LncObject* o, int16_t inkCount, int16_t headCount, uint16_t unitCount,
                          const CcmnInkInfo* inkInfo, uint8_t splitFlag, const CcmnSplitTable* split,
                          const POLMaskWork* polMask1, const void* polMask2) {
    if (!o) return kLncNoObject;
    if (!o->commonOnOff) return 0;
    if (uint32_t rc = CCMN_InitWorkArea(o->store, inkCount, headCount, unitCount, inkInfo, splitFlag, split, polMask1,
                                        polMask2))
        return rc;
    if (CMS_GetOnOff(o->cms))
        if (uint32_t rc = CMS_InitWorkArea(o->cms)) return rc;
    if (PMC_GetOnOff(o->pmc))
        if (uint32_t rc = PMC_InitWorkArea(o->pmc, o->store)) return rc;
    if (NHC_GetOnOff(o->nhc))
        if (uint32_t rc = NHC_InitWorkArea(o->nhc, o->store)) return rc;
    return 0;
}

void LNC_ExitWorkArea(LncObject* o) {
    if (!o) return;
    PMC_ExitWorkArea(o->pmc);
    NHC_ExitWorkArea(o->nhc);
    CMS_ExitWorkArea(o->cms);
    CCMN_ExitWorkArea(o->store);
}

uint32_t LNC_Proc(LncObject* o, const LossNozzleResources* res, MLE_INSTANCE* mle) {
    if (!o || !o->commonOnOff) return 0;
    CcmnStore* s = o->store;
    if (CCMN_GetLossNozzleNumTotal(s) == 0) return 0;
    for (int32_t ink = 0; ink < s->inkCount; ++ink)
        CCMN_SetSearchArea(s, ink, CCMN_GetBaseRaster(s, ink), MLE_GetNozzleEndPosition(mle, ink));
    CCMN_ResetComplateRasterInfo(s);
    uint32_t rc = 0;
    for (uint32_t k = 0; !rc; ++k) {
        AheadPass pass{};
        if ((rc = pass_ahead(s, mle, k, &pass)) || !pass.go) break;
        for (int32_t ink = 0; ink < s->inkCount && !rc; ++ink) {
            uint32_t start = 0, end = 0;
            CCMN_GetSearchArea(s, ink, &start, &end);
            for (int32_t e = 0; e < CCMN_GetLossNozzleNum(s, ink) && !rc; ++e) {
                CcmnLossNozzle* loss = CCMN_GetLossNozzle(s, ink, e);
                const int64_t r = int64_t{loss->virtualOffset} + pass.position + MLE_GetOffsetNozzle(mle, ink);
                if (r < int64_t{start} || r > int64_t{int32_t(end)} || r < int64_t{loss->complementStart}) continue;
                uint8_t onPitch = 0;
                uint32_t v = 0;
                if ((rc = CCMN_CalcVirtualNozzleNo(mle, ink, r, pass.position, &onPitch, &v)) || !onPitch) continue;
                CcmnHeadRecord h{};
                CCMN_GetHeadInfo(s, ink, loss->head, &h);
                const int64_t d = int64_t{v} - h.start;
                if (h.activeFirst >= h.activeEnd || d < h.activeFirst || d >= h.activeEnd) continue;
                // A head record without a second position table has no stack numbers.
                if (!h.positions2 || d - h.activeFirst >= h.positionCount) continue;
                loss->stackNo = uint8_t(h.positions2[d - h.activeFirst] & 0xFFu);
                const uint16_t before = CCMN_GetComplateRasterNum(s, ink);
                rc = CCMN_SetComplateRasterInfo(s, ink, loss, uint32_t(r), pass.tag, 0);
                if (!rc && CMS_GetOnOff(o->cms) && CCMN_GetComplateRasterNum(s, ink) > before)
                    rc = CMS_Proc(o->cms, s, mle, res ? res->cms : nullptr, ink, before);
                if (!rc) s->complement[ink][before].stackNo[0] = loss->stackNo;
            }
        }
    }
    // The look-ahead built other passes' head tables: back to the current one.
    if (uint32_t back = MLE_MakeHeadTable(mle); !rc) rc = back;
    if (rc) return rc;
    const uint8_t mode = CMS_GetOnOff(o->cms);
    if (NHC_GetOnOff(o->nhc))
        if (uint32_t e = NHC_Proc(o->nhc, s, mode)) return e;
    if (!PMC_GetOnOff(o->pmc)) return 0;
    rc = PMC_Proc(o->pmc, s, mle, res ? res->pmc : nullptr, mode);
    if (uint32_t back = MLE_MakeHeadTable(mle); !rc) rc = back;
    return rc;
}

uint32_t LNC_UpdateLossNozzleInfo(LncObject* o, MLE_INSTANCE* mle, uint32_t v1, uint32_t v2, uint32_t v3) {
    return CCMN_UpdateLossNozzleInfo(o ? o->store : nullptr, mle, v1, v2, v3);
}

void LNC_SetMaskIndex(LncObject* o, uint8_t index) {
    if (o && PMC_GetOnOff(o->pmc)) o->pmc->maskIndex = index;
}
uint8_t LNC_GetMaskIndex(const LncObject* o) { return o && PMC_GetOnOff(o->pmc) ? o->pmc->maskIndex : 0; }

uint32_t LNC_UpdatePassMaskInfo(LncObject* o, MLE_INSTANCE*, int32_t ink, uint16_t head, uint16_t limit,
                                uint8_t colour, uint8_t* mask, uint16_t* substitutes) {
    if (!o || !PMC_GetOnOff(o->pmc)) return 0;
    return PMC_UpdatePassMaskInfo(o->pmc, o->store, ink, head, limit, colour, mask, substitutes);
}

void LNC_GetPOLMaskTable(const LncObject* o, const LossNozzleResources* res, uint32_t* size, uint8_t* width,
                         uint16_t* height, const uint8_t** table) {
    *size = 0, *width = 0, *height = 0, *table = nullptr;
    if (!o || !PMC_GetOnOff(o->pmc) || !res || !res->pmc) return;
    const PmcResource& p = *res->pmc;
    *width = p.maskWidth;
    *height = p.maskHeight;
    *size = uint32_t{p.maskWidth} * p.maskHeight;
    *table = p.maskTable;
}

void LNC_ResetPassComplateInfo(LncObject* o) {
    if (!o || !PMC_GetOnOff(o->pmc) || !o->pmc->counts) return;
    for (uint32_t i = 0; i < kCcmnPassMax * uint32_t(o->pmc->inks); ++i) o->pmc->counts[i] = 0;
}

void LNC_Next(LncObject* o, MLE_INSTANCE* mle) {
    if (!o) return;
    if (PMC_GetOnOff(o->pmc)) PMC_Next(o->pmc);
    CcmnStore* s = o->store;
    for (int32_t ink = 0; s && ink < s->inkCount; ++ink) {
        const uint32_t end = MLE_GetNozzleEndPosition(mle, ink);
        // No head prints the ink this pass: the base raster stays.
        if (end == 0xFFFFFFFFu) continue;
        if (CCMN_GetBaseRaster(s, ink) <= end) CCMN_SetBaseRaster(s, ink, end == 0 ? 0 : end + 1);
    }
}

uint8_t LNC_IsSkipOlMaskProc(LncObject* o, MLE_INSTANCE* mle, int32_t ink, uint16_t head, uint16_t nozzle,
                             uint8_t colour) {
    if (!o || !PMC_GetOnOff(o->pmc)) return 0;
    return PMC_IsSkipOlMaskProc(o->pmc, o->store, mle, ink, head, nozzle, colour);
}

}  // namespace ovcg::irac
