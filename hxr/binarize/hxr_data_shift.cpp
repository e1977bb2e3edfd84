#include "hxr/binarize/hxr_data_shift.h"

#include <initializer_list>

namespace {

constexpr int32_t kIdentityLastLine = 0x7FFFFFFF;
constexpr uint8_t kIdentityEntry[6] = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00};

uint16_t nozzle_of(const uint8_t* e, uint32_t head) {
    return static_cast<uint16_t>(e[2 * head] | (e[2 * head + 1] << 8));
}

// The entry of (line, order), or null: lines outside 0..lastLine record
// 10105. The offset is computed in 64 bits from the object's own fields.
const uint8_t* entry_of(const HXRDataShift* d, int32_t line, uint32_t order) {
    if (!d) return nullptr;
    if (line < 0 || line > d->lastLine) {
        HXRSetErrorInfo(kHxrDataShiftLine);
        return nullptr;
    }
    if (order >= kHxrDataShiftColors || !d->table) return nullptr;
    const int64_t at = int64_t(d->lineStride) * d->entrySize * line + int64_t(d->colorIndex[order]) * d->entrySize;
    return d->table + at;
}

}  // namespace

HXRDataShift* HXRCreateDataShift(const HXRDataShiftSource* source, const HXRClrMgr* colours, HXRMemMgr* mm) {
    auto* d = static_cast<HXRDataShift*>(HXRAllocMem(mm, sizeof(HXRDataShift)));
    if (!d) return nullptr;
    if (HXRSetDataShiftDataShift(d, source, colours) != 0) return nullptr;
    return d;
}

uint32_t HXRSetDataShiftDataShift(HXRDataShift* d, const HXRDataShiftSource* source, const HXRClrMgr*) {
    if (!d) return 1;
    if (source && source->table && source->layout) return 1;
    for (uint32_t& i : d->colorIndex) i = 0;
    d->lineStride = 0;
    d->lastLine = kIdentityLastLine;
    d->entrySize = 0;
    for (int k = 0; k < 6; ++k) d->identityEntry[k] = kIdentityEntry[k];
    d->table = d->identityEntry;
    return 0;
}

uint32_t HXRDataShiftGetCorrection(const HXRDataShift* d, int32_t line) {
    return !d || line < 0 || line > d->lastLine ? 1u : 0u;
}

uint32_t HXRGetUseHeadNum(const HXRDataShift* d, int32_t line, uint32_t order) {
    const uint8_t* e = entry_of(d, line, order);
    if (!e || nozzle_of(e, 0) == kHxrNoNozzle) return 0;
    return nozzle_of(e, 1) == kHxrNoNozzle ? 1u : 2u;
}

uint32_t HXRGetUseSmlRate(const HXRDataShift* d, int32_t line, uint32_t order, uint32_t head) {
    const uint8_t* e = entry_of(d, line, order);
    if (!e || head > 1 || nozzle_of(e, head) == kHxrNoNozzle) return 0;
    return e[4 + head];
}

int32_t HXRGetUseNozzleNumber(const HXRDataShift* d, int32_t line, uint32_t order, uint32_t head) {
    const uint8_t* e = entry_of(d, line, order);
    if (!e || head > 1 || nozzle_of(e, head) == kHxrNoNozzle) return -1;
    return d->entrySize == 0 ? line : nozzle_of(e, head);
}

int32_t HXRIsDataShiftCorrection(const HXRDataShift* d) {
    if (!d) return -1;
    if (d->lastLine < 0) {
        HXRSetErrorInfo(kHxrDataShiftLine);
        return -1;
    }
    if (!d->table) return -1;
    const uint8_t* e = d->table;
    const bool identity = d->lineStride == 0 && d->lastLine == kIdentityLastLine && d->entrySize == 0 &&
                          e[0] == 0 && e[1] == 0 && e[2] == 0xFF && e[3] == 0xFF && e[4] == 0xFF;
    if (!identity) return 1;
    return e[5] != 0 ? 1 : 0;
}

HXRCountDot* HXRCreateCountDot(HXRMemMgr* mm) {
    return static_cast<HXRCountDot*>(HXRAllocMem(mm, sizeof(HXRCountDot)));
}

uint32_t HXRClearDotCounter(HXRCountDot* c) {
    if (!c) return 1;
    for (auto* table : {&c->count, &c->late})
        for (auto& colour : *table)
            for (uint64_t& v : colour) v = 0;
    return 0;
}

uint32_t HXRAddDotCounter(HXRCountDot* c, const uint32_t* counts, uint32_t index) {
    if (!c || !counts || index >= kHxrDataShiftColors) return 1;
    // A 32-bit add with its carry into the high word is a 64-bit add.
    for (uint32_t k = 0; k < kHxrDotCodes; ++k) c->count[index][k] += counts[k];
    return 0;
}

uint32_t HXRGetDotCounter(const HXRCountDot* c, uint64_t* out, uint32_t index) {
    if (!c || !out || index >= kHxrDataShiftColors) return 1;
    for (uint32_t k = 0; k < kHxrDotCodes; ++k) out[k] = c->count[index][k] + c->late[index][k];
    return 0;
}
