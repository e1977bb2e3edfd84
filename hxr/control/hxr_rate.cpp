#include "hxr/control/hxr_rate.h"

#include "common/byte_cursor.h"
#include "hxr/control/hxr_clrmgr.h"

namespace {

constexpr uint32_t kRateHeader = 32;
constexpr uint32_t kLineSize = 8;

int16_t s16_at(const uint8_t* p) { return static_cast<int16_t>(ovcg::load_u16le(p)); }

}  // namespace

struct HXRRateResParser {
    const uint8_t* resource;
    const uint8_t* entries;
    uint32_t count;    // n
    uint32_t offsets;  // k
};

HXRRateResParser* HXRCreateRateResParser(const uint8_t* res, uint32_t size, HXRStrNCmpFn cmp, HXRMemMgr* mm) {
    if (!res || !cmp || !mm) return nullptr;
    if (size < sizeof kHxrRateMagic ||
        cmp(reinterpret_cast<const char*>(res), reinterpret_cast<const char*>(kHxrRateMagic), sizeof kHxrRateMagic) != 0)
        return nullptr;
    const ovcg::ByteCursor cur(res, size);
    uint16_t version = 0;
    uint8_t one = 0;
    if (!cur.peek_u16le(8, version) || version != kHxrRateVersion) return nullptr;
    if (!cur.peek_u8(20, one) || one != 1) return nullptr;
    const uint32_t n = res[18], k = res[19];
    const uint64_t entry = 2 * (uint64_t(k) + 1);
    ovcg::ByteCursor entries;
    if (!cur.sub_at(kRateHeader, size_t(n * entry), entries)) {
        HXRSetErrorInfo(kHxrRateBlockSize);
        return nullptr;
    }
    // Every line an entry names must lie inside the resource.
    for (uint32_t e = 0; e < n; ++e) {
        for (uint32_t j = 0; j < k; ++j) {
            const int16_t off = s16_at(entries.data() + e * entry + 2 + 2 * j);
            if (off != 0 && (off < 0 || uint32_t(off) + kLineSize > size)) {
                HXRSetErrorInfo(kHxrRateBlockSize);
                return nullptr;
            }
        }
    }
    auto* p = static_cast<HXRRateResParser*>(HXRAllocMem(mm, sizeof(HXRRateResParser)));
    if (!p) return nullptr;
    *p = {res, entries.data(), n, k};
    return p;
}

uint32_t HXRDeleteRateResParser(HXRRateResParser* p, HXRMemMgr* mm) { return HXRFreeObject(mm, p, kHxrRateNone); }

namespace {

// The line `index` of the ink's first entry, or null; `record`: a bad index
// is written to the error record.
const uint8_t* find_line(const HXRRateResParser* p, uint32_t ink, uint32_t index, bool record) {
    if (!p) return nullptr;
    if (index >= p->offsets) {
        if (record) HXRSetErrorInfo(kHxrRateIndex);
        return nullptr;
    }
    const uint64_t entry = 2 * (uint64_t(p->offsets) + 1);
    for (uint32_t e = 0; e < p->count; ++e) {
        const uint8_t* row = p->entries + e * entry;
        if (static_cast<uint32_t>(int32_t(s16_at(row))) != ink) continue;
        const int16_t off = s16_at(row + 2 + 2 * index);
        return off ? p->resource + off : nullptr;
    }
    return nullptr;
}

}  // namespace

uint32_t HXRGetCorrectValue(const HXRRateResParser* p, uint32_t ink, uint32_t index, uint32_t level) {
    if (level > 255) return kHxrNoValue;
    const uint8_t* line = find_line(p, ink, index, true);
    if (!line) return kHxrNoValue;
    const int64_t x0 = s16_at(line), y0 = s16_at(line + 2), x1 = s16_at(line + 4), y1 = s16_at(line + 6);
    if (x0 == x1) {
        HXRSetErrorInfo(kHxrRateFlatLine);
        return kHxrNoValue;
    }
    const int64_t l = level;
    int64_t v = ((y1 * (l - x0) + y0 * (x1 - l)) * 256) / (x1 - x0) + 32768;
    if (v < 0) v = 0;
    if (v > 0x7FFFFFFF) v = 0x7FFFFFFF;
    return static_cast<uint32_t>(v);
}

uint32_t HXRGetRateData2Point(const HXRRateResParser* p, uint32_t* out, uint32_t ink, uint32_t index) {
    const uint8_t* line = out ? find_line(p, ink, index, false) : nullptr;
    if (!line) return 1;
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint32_t>(int32_t(s16_at(line + 2 * i)));
    return 0;
}

// ---------------------------------------------------------------- calibration

HXRClbTblParser HXRCreateClbTblParser(const uint8_t* blob, uint32_t size) {
    const HXRClbTblParser none{nullptr, 0, 0};
    const ovcg::ByteCursor cur(blob, size);
    uint16_t mark = 0;
    uint32_t length = 0, levels = 0, word = 0, count = 0;
    const auto fail = [&](uint32_t code) {
        HXRSetErrorInfo(code);
        return none;
    };
    if (!blob) return none;
    if (!cur.peek_u16le(8, mark) || mark != 400) return fail(kHxrCalibBadMark);
    if (!cur.peek_u32le(16, levels) || levels != kHxrCalibLevels) return fail(kHxrCalibBadLevels);
    if (!cur.peek_u32le(20, word) || word != 12) return fail(kHxrCalibBadWord);
    if (!cur.peek_u32le(24, count) || count < 1 || count > kHxrCalibMaxTables) return fail(kHxrCalibBadCount);
    cur.peek_u32le(0, length);
    if (length > size || uint64_t(length) < kHxrCalibHeader + uint64_t(kHxrCalibTableSize) * count)
        return fail(kHxrCalibBadLength);
    return {blob, length, count};
}

const uint8_t* HXRSearchCalibTable(const HXRClbTblParser* p, uint32_t identifier) {
    if (!p || !p->blob) return nullptr;
    for (uint32_t t = 0; t < p->count; ++t) {
        const uint8_t* entry = p->blob + 32 + 8 * t;
        if (ovcg::load_u32le(entry + 4) != identifier) continue;
        const int32_t off = static_cast<int32_t>(ovcg::load_u32le(entry));
        if (off < int32_t(kHxrCalibHeader) || uint64_t(off) + kHxrCalibTableSize > p->length) return nullptr;
        return p->blob + off;
    }
    return nullptr;
}

uint32_t HXRGetCalibData(const uint8_t* table, uint32_t level) {
    if (!table || level >= kHxrCalibLevels) return kHxrNoValue;
    return static_cast<uint32_t>(int32_t(s16_at(table + 2 * level))) << 4;
}
