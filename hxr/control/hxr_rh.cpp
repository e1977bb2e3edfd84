#include "hxr/control/hxr_rh.h"

#include "common/byte_cursor.h"
#include "hxr/control/hxr_alloc_array.h"
#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_build.h"
#include "hxr/control/hxr_pkg_dataset.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>

// The descriptors are handed to callers as C structs with 64-bit pointers.
static_assert(sizeof(void*) == 8, "the RH descriptors carry 64-bit pointers");
static_assert(offsetof(HXRRHLutInfo, prePosition) == 8 && offsetof(HXRRHLutInfo, calibration) == 16 &&
              offsetof(HXRRHLutInfo, gridNum) == 80 && offsetof(HXRRHLutInfo, table) == 88 &&
              offsetof(HXRRHLutInfo, gridPosition) == 168 && sizeof(HXRRHLutInfo) == 184);
static_assert(offsetof(HXRRHDitherInfo, width) == 10 && offsetof(HXRRHDitherInfo, step) == 26 &&
              offsetof(HXRRHDitherInfo, thresholds) == 40 && offsetof(HXRRHDitherInfo, smlNum) == 72 &&
              offsetof(HXRRHDitherInfo, smlNo1) == 81 && offsetof(HXRRHDitherInfo, sml) == 96 &&
              sizeof(HXRRHDitherInfo) == 160);
static_assert(offsetof(HXRRHUbecInfo, blocksH) == 4 && offsetof(HXRRHUbecInfo, blockW) == 20 &&
              offsetof(HXRRHUbecInfo, shiftH) == 28 && offsetof(HXRRHUbecInfo, tableNo) == 36 &&
              offsetof(HXRRHUbecInfo, encode) == 72 && offsetof(HXRRHUbecInfo, order) == 168 &&
              sizeof(HXRRHUbecInfo) == 200);

namespace {

constexpr uint64_t kFail = kHxrPkgFail;
constexpr uint32_t kNoCode = 1;
constexpr uint32_t kSourceNodes = kRhSourceGridNum * kRhSourceGridNum * kRhSourceGridNum;
constexpr uint32_t kGridNodes = kRhGridNum * kRhGridNum * kRhGridNum;
constexpr uint32_t kUbecPlaces = 32;

uint64_t fail(uint32_t code) {
    if (code) HXRSetErrorInfo(code);
    return kFail;
}
uint32_t padded(uint32_t k) { return (k + 3) & ~3u; }
uint32_t node_words_bytes(uint32_t k) { return 4 * HXRGetLutUnitSizeU32(k); }

// A 3D table the sections can be written from: three dimensions, 64 rebuilt
// nodes per axis and a source table of 17 nodes per axis (its last level, 255,
// sits at source position 16 x 128), whose padded copy really holds 17^3
// nodes.
bool rh_3d_table(const HXRLutData* lut, const HXRMemMgr* mm) {
    if (!lut || !lut->grid || !lut->paddedTable || lut->dimension != 3 || lut->gridNum != kRhGridNum) return false;
    if (lut->channels < 1 || lut->channels > kHxrMaxInks) return false;
    if (lut->srcGridIndex[kRhLevels - 1] != 128 * (kRhSourceGridNum - 1)) return false;
    return !mm || HXRGetMemSize(mm, lut->paddedTable) >= uint64_t(kSourceNodes) * padded(lut->channels);
}

uint64_t write_u16s(HXRPkgCursor c, const uint32_t* table, uint32_t n) {
    if (c)
        for (uint32_t i = 0; i < n; ++i) c->u16le(static_cast<uint16_t>(table[i]));
    return 2 * uint64_t(n);
}

// The three values of level g as the section holds them.
uint32_t sml_value(const HXRSmlColorData* r, uint32_t g, uint32_t j) {
    const uint32_t* row = r->rates + size_t(g) * r->dotSizeNum;
    if (r->dotSizeNum == 1) return row[0];
    return j < r->dotSizeNum ? row[j] : 0;
}

bool sml_row_ok(const HXRSmlColorData* r) {
    return r && r->rates && r->dotSizeNum >= 1 && r->dotSizeNum <= 3 && r->gradationNum >= 1;
}

}  // namespace

// ---------------------------------------------------------------- sections

uint64_t WritePreLutRH(HXRPkgCursor c, const uint8_t* nodes, uint64_t count, uint32_t nodeBytes,
                       const uint32_t* channel, uint32_t k) {
    if (!nodes || k == 0 || k > kRhMaxColours) return fail(0);
    for (uint32_t i = 0; i < k; ++i)
        if (channel[i] >= nodeBytes) return fail(kHxrRhBadArgument);
    const uint32_t width = padded(k);
    const uint64_t bytes = count * width;
    if (bytes > kHxrPkgMaxBytes) return fail(kHxrRhSize);
    if (c) {
        uint8_t* out = c->take(static_cast<size_t>(bytes));
        if (!out) return kFail;
        for (uint64_t n = 0; n < count; ++n, nodes += nodeBytes)
            for (uint32_t i = 0; i < width; ++i) *out++ = i < k ? nodes[channel[i]] : 0;
    }
    return bytes;
}

uint64_t HXRGetRHLut(HXRPkgCursor c, const HXRLutData* lut, const uint32_t* lutChannel, uint32_t k,
                     const HXRMemMgr* manager) {
    if (!rh_3d_table(lut, manager)) return fail(kHxrRhNo3DTable);
    uint32_t lane[kRhMaxColours] = {};
    for (uint32_t i = 0; i < k && i < kRhMaxColours; ++i)
        lane[i] = lutChannel[i] < lut->channels ? HXRSortIndexLutResToRebuildLut(lutChannel[i]) : kHxrNoValue;
    return WritePreLutRH(c, reinterpret_cast<const uint8_t*>(lut->grid), kGridNodes, node_words_bytes(lut->channels),
                         lane, k);
}

uint64_t HXRGetRHPreLut(HXRPkgCursor c, const HXRLutData* lut, const uint32_t* lutChannel, uint32_t k,
                        const HXRMemMgr* manager) {
    if (!rh_3d_table(lut, manager)) return fail(kHxrRhNo3DTable);
    return WritePreLutRH(c, lut->paddedTable, kSourceNodes, padded(lut->channels), lutChannel, k);
}

uint64_t HXRGetRHGrayData(HXRPkgCursor c, const HXRLutData* lut, const uint32_t* lutChannel, uint32_t k) {
    if (!lut || !lut->grayAxis) return 0;
    return WritePreLutRH(c, lut->grayAxis, lut->gridNum, node_words_bytes(lut->channels), lutChannel, k);
}

uint64_t HXRGetRHLutGridPosTable(HXRPkgCursor c, const HXRLutData* lut) {
    if (!lut || lut->gridNum != kRhGridNum) return fail(kHxrRhNo3DTable);
    uint32_t pos[kRhGridNum];
    for (uint32_t i = 0; i < kRhGridNum; ++i) {
        const uint32_t s = lut->srcGridIndex[Rebuild3DGridPos64[i]];
        pos[i] = (s & ~127u) * 2 + (s & 127u);
    }
    return write_u16s(c, pos, kRhGridNum);
}

uint64_t HXRGetRHLutEncTable(HXRPkgCursor c, const HXRLutData* lut) {
    return lut ? write_u16s(c, lut->encode, 257) : fail(kHxrRhNo3DTable);
}

uint64_t HXRGetRHLutDecTable(HXRPkgCursor c, const HXRLutData* lut) {
    return lut ? write_u16s(c, lut->decode, 256) : fail(kHxrRhNo3DTable);
}

uint64_t HXRGetRHLutAdditionalLut(HXRPkgCursor c, const HXRLutData* lut) {
    if (!lut || !lut->additional || !lut->additional->data) return 0;
    return HXRWriteBytes(c, lut->additional->data, lut->additional->size);
}

uint64_t HXRGetRHLutTNMX(HXRPkgCursor c, const HXRLutSlc* slice, uint32_t colourFlag) {
    if (colourFlag == 0 || !HXRGetTRAQ2LutTNMX(slice)) return fail(kHxrRhNoTnmxTable);
    if (c)
        for (uint32_t v = 0; v < kRhLevels; ++v) c->u8(static_cast<uint8_t>(v));
    return kRhLevels;
}

uint64_t HXRGetRHPrePos(HXRPkgCursor c, const HXRLutData* lut) {
    return lut ? write_u16s(c, lut->preTable, kRhLevels) : fail(kHxrRhNo3DTable);
}

uint64_t HXRGetRHSml(HXRPkgCursor c, const HXRSmlColorData* row) {
    if (!sml_row_ok(row)) return fail(0);
    if (c)
        for (uint32_t g = 0; g < row->gradationNum; ++g)
            for (uint32_t j = 0; j < 3; ++j) c->u16le(static_cast<uint16_t>(sml_value(row, g, j)));
    return 6 * uint64_t(row->gradationNum);
}

uint64_t WriteCalTableKVT38P(HXRPkgCursor c, const uint32_t* positions) {
    if (c)
        for (uint32_t j = 0; j < kRhLevels; ++j) {
            const uint64_t p = positions ? positions[j] : 256 * j;
            c->u16le(static_cast<uint16_t>((p + 8) >> 4));
        }
    return 2 * kRhLevels;
}

uint8_t HXRGetRHSmlKind(const HXRSmlColorData* row) {
    if (!sml_row_ok(row) || row->dotSizeNum == 1) return 0;
    const auto any = [&](auto differs) {
        for (uint32_t g = 0; g < row->gradationNum; ++g)
            if (differs(sml_value(row, g, 0), sml_value(row, g, 1), sml_value(row, g, 2))) return true;
        return false;
    };
    if (any([](uint32_t r0, uint32_t r1, uint32_t) { return r0 != r1; })) return 1;
    if (any([](uint32_t, uint32_t r1, uint32_t r2) { return r1 != r2; })) return 2;
    if (any([](uint32_t, uint32_t, uint32_t r2) { return r2 != 0; })) return 3;
    return 0;
}

// ---------------------------------------------------------------- plans

uint32_t SetSmlNoTbl(HXRRhSmlPlan* plan, const HXRSmlColorData* part0, const HXRSmlColorData* part1, uint32_t n,
                     bool monochromePhoto) {
    *plan = {};
    if (!part0 || n > kRhMaxColours) return kNoCode;
    // The section of an equal row among the first `end`, or a new one.
    const auto number = [&](const HXRSmlColorData* row, uint8_t* out) {
        for (uint32_t s = 0; s < plan->count; ++s)
            if (HXRCheckSameSmlRow(plan->section[s], row) == 0) return *out = uint8_t(s), 0u;
        if (plan->count == kRhMaxSml) return uint32_t(kHxrRhSmlNumbers);
        plan->section[plan->count] = row;
        *out = uint8_t(plan->count++);
        return 0u;
    };
    for (uint32_t h = 0; h < n; ++h)
        if (const uint32_t code = number(&part0[h], &plan->no0[h])) return code;
    plan->partZeroCount = plan->count;
    for (uint32_t h = 0; h < n; ++h) {
        if (!part1)
            plan->no1[h] = kRhNoSml;
        else if (monochromePhoto)
            plan->no1[h] = plan->no0[h];
        else if (const uint32_t code = number(&part1[h], &plan->no1[h]))
            return code;
    }
    if (part1 && !monochromePhoto && plan->partZeroCount > kRhMaxPartZeroSml) return kHxrRhSmlPartZero;
    for (uint32_t s = 0; s < plan->count; ++s) plan->kind[s] = HXRGetRHSmlKind(plan->section[s]);
    return 0;
}

uint32_t HXRGetDitherInfo(HXRRhDitherPlan* plan, const HXRTRAQ2DthDataMgr* dither, const HXRClrMgr* colours) {
    *plan = {};
    const uint32_t hc = HXRGetHalftoneColorNum(colours);
    const HXRTRAQ2DthData* area = HXRGetTRAQ2DthDataMgrDthInfo(dither, 0);
    if (!area || hc == 0 || hc > kRhMaxColours) return kHxrRhDitherNumbering;
    for (uint32_t h = 0; h < hc; ++h) {
        const uint32_t ink = HXRGetOutputColorOrderByHalftoneIndex(colours, h);
        const HXRTRAQ2DthSingleData* m = ink < kHxrMaxInks ? area->dither[ink] : nullptr;
        if (!m) return kHxrRhDitherNumbering;
        uint32_t j = 0;
        while (j < plan->count && plan->matrix[j] != m) ++j;
        if (j == plan->count) {
            if (plan->count == kRhMaxMatrices) return kHxrRhDitherMatrices;
            plan->matrix[plan->count++] = m;
        }
        plan->number[h] = uint8_t(j);
    }
    return 0;
}

uint32_t HXRGetDitherPram(HXRRhDitherPlan* plan) {
    static constexpr int32_t kWidths[] = {16, 32, 128, 256, 512, 1024};
    for (uint32_t j = 0; j < plan->count; ++j) {
        const HXRDthData& v = plan->matrix[j]->view;
        if (std::find(std::begin(kWidths), std::end(kWidths), v.SizeH) == std::end(kWidths)) return kHxrRhDitherWidth;
        if (v.SizeV < 1 || v.SizeV > 1024) return kHxrRhDitherHeight;
        if (v.ShiftV != 0) return kHxrRhDitherStep;
        const HXRDthData& first = plan->matrix[0]->view;
        if (v.SizeH != first.SizeH || v.SizeV != first.SizeV || v.ShiftH != first.ShiftH) return kHxrRhDitherDiffer;
        plan->width[j] = uint16_t(v.SizeH);
        plan->height[j] = uint16_t(v.SizeV);
        plan->step[j] = uint16_t(v.ShiftH);
    }
    return 0;
}

uint32_t HXRGetRHDitherOffset(HXRRhDitherPlan* plan, const HXRTRAQ2DthDataMgr* dither, const HXRClrMgr* colours) {
    const uint32_t hc = HXRGetHalftoneColorNum(colours);
    if (hc > kRhMaxColours) return kHxrRhDitherNumbering;
    for (uint32_t h = 0; h < hc; ++h) {
        const HXRDthOffset* off =
            HXRGetTRAQ2DthDataMgrDthOffSingleInfo(dither, 0, HXRGetOutputColorOrderByHalftoneIndex(colours, h));
        if (!off) return kHxrRhDitherNumbering;
        if (off->OffsetV != 0) return kHxrRhDitherOffset;
        plan->offset[h] = uint16_t(off->OffsetH);
    }
    return 0;
}

uint64_t HXRGetDitherMaskData(HXRPkgCursor c, const HXRTRAQ2DthSingleData* m) {
    if (!m || m->view.SizeH <= 0 || m->view.SizeV <= 0) return fail(0);
    const uint32_t w = uint32_t(m->view.SizeH), h = uint32_t(m->view.SizeV);
    if (c)
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t t = HXRPkgThreshold(m, x, y);
                if (t > 0xFFFF) return fail(0);
                c->u16le(static_cast<uint16_t>(t));
            }
    return 2 * uint64_t(w) * h;
}

uint32_t HXRGetUBECInfo(HXRRhUbecPlan* plan, const HXRTRAQ2UBECDataMgr* ubec, uint32_t hc) {
    *plan = {};
    if (hc == 0 || hc > kRhMaxColours) return kNoCode;
    for (uint32_t h = 0; h < hc; ++h) {
        const HXRTRAQ2UBECTable* t = HXRGetTRAQ2UBECDataMgrDblDecSingleInfo(ubec, 0, h);
        if (!t) return kNoCode;
        uint32_t j = 0;
        while (j < plan->count && plan->table[j] != t) ++j;
        if (j == plan->count) {
            if (plan->count == kRhMaxMatrices) return kHxrRhUbecTables;
            plan->table[plan->count++] = t;
        }
        plan->number[h] = j;
    }
    return 0;
}

uint32_t HXRGetUBECPram(HXRRhUbecPlan* plan) {
    for (uint32_t j = 0; j < plan->count; ++j) {
        const HXRTRAQ2UBECTable& t = *plan->table[j];
        const uint64_t width = uint64_t(t.blockW) * t.blocksH;
        if (width < 8 || width > 512 || (width & (width - 1)) != 0) return kHxrRhUbecWidth;
        // The block height is kept in one byte.
        if (t.blockH > 255) return kHxrRhUbecBlockHeight;
        if (t.blocksV > 0xFFFF) return kHxrRhSize;
        plan->blocksH[j] = uint16_t(t.blocksH);
        plan->blocksV[j] = uint16_t(t.blocksV);
        plan->blockW[j] = uint8_t(t.blockW);
        plan->blockH[j] = uint8_t(t.blockH);
        plan->shiftH[j] = uint16_t(t.shiftH);
    }
    return 0;
}

namespace {
uint64_t ubec_blocks(const HXRTRAQ2UBECTable* t) { return uint64_t(t->blocksH) * t->blocksV; }
}  // namespace

uint64_t HXRGetUBECEncTableData(HXRPkgCursor c, const HXRTRAQ2UBECTable* t) {
    if (!t || t->L != kUbecPlaces) return 0;
    const uint64_t n = ubec_blocks(t) * t->L;
    if (c)
        for (uint64_t i = 0; i < n; ++i) c->u16le(t->encode[i]);
    return 2 * n;
}

uint64_t HXRGetUBECPreDecTableData(HXRPkgCursor c, const HXRTRAQ2UBECTable* t) {
    if (!t || t->L != kUbecPlaces) return 0;
    return HXRWriteBytes(c, t->preDecode, ubec_blocks(t) * t->L);
}

uint64_t HXRGetUBECPostDecTableData(HXRPkgCursor c, const HXRTRAQ2UBECTable* t) {
    if (!t) return 0;
    if (c)
        for (uint32_t i = 0; i < t->P; ++i) {
            c->u16le(static_cast<uint16_t>(t->postDecode[i]));
            c->u16le(static_cast<uint16_t>(t->postDecode[i] >> 16));
        }
    return 4 * uint64_t(t->P);
}

uint64_t HXRGetUBECOrderTableData(HXRPkgCursor c, const HXRTRAQ2UBECTable* t) {
    if (!t) return 0;
    const uint64_t n = ubec_blocks(t);
    if (c)
        for (uint64_t b = 0; b < n; ++b) {
            c->u32le(static_cast<uint32_t>(t->order[b]));
            c->u32le(static_cast<uint32_t>(t->order[b] >> 32));
        }
    return 8 * n;
}

uint32_t HXRCheckRHShape(uint32_t k, uint32_t intents, bool monochromePhoto) {
    if (k > kRhMaxColours) return kHxrRhBadArgument;
    if (k != 1 && k < 4) return kHxrRhInkNum;
    if (intents > 2) return kHxrRhIntentNum;
    if (monochromePhoto && k != 6 && k != 8) return kHxrRhTnmxInkNum;
    return 0;
}

// ---------------------------------------------------------------- the build

namespace {

// Everything the image is written from.
struct RhPlan {
    uint32_t k = 0, intents = 0, halftones = 0, colourFlag = 0;
    bool tnmx = false;
    uint32_t lutChannel[kRhMaxColours] = {};
    const HXRLutSlc* slice[2] = {};
    const HXRLutData* lut[2] = {};
    const HXRMemMgr* mm = nullptr;
    const uint32_t* calibration[kRhMaxColours] = {};  // null: the identity
    HXRRhSmlPlan sml{};
    bool dither = false;
    HXRRhDitherPlan dth{};
    uint8_t ubecState = kRhUbecNone;
    HXRRhUbecPlan ubec{};
    uint8_t flags[kRhMaxColours] = {};
};

// The image: head, directory, then each present section at a multiple of 8.
uint64_t layout(HXRPkgCursor c, const RhPlan& p, HXRRHData* dir) {
    uint64_t pos = HXRWrite1Byte(c, p.k) + HXRWrite1Byte(c, 0);
    for (uint32_t h = 0; h < kRhMaxColours; ++h) pos += HXRWriteLe2Byte(c, p.dither ? p.dth.offset[h] : 0);
    for (uint8_t f : p.flags) pos += HXRWrite1Byte(c, f);
    pos += HXRWrite1Byte(c, p.intents) + HXRWrite1Byte(c, p.ubecState) + HXRWriteLe4Byte(c, kRhSlotCount);
    pos += HXRWrite0(c, 8 * uint64_t(kRhSlotCount));
    bool ok = true;
    const auto section = [&](uint32_t slot, auto&& writer) {
        if (!ok) return;
        const uint64_t n = writer(HXRPkgCursor{nullptr});
        if (n == kFail || n > kHxrPkgMaxBytes) {
            if (n != kFail) HXRSetErrorInfo(kHxrRhSize);
            ok = false;
            return;
        }
        if (n == 0) return;
        pos += HXRWrite0(c, (0 - pos) & 7);
        if (c && writer(c) != n) {
            ok = false;
            return;
        }
        if (pos > kHxrPkgMaxBytes) {
            HXRSetErrorInfo(kHxrRhSize);
            ok = false;
            return;
        }
        dir->offset[slot] = static_cast<uint32_t>(pos);
        dir->length[slot] = static_cast<uint32_t>(n);
        if (c) {
            c->patch_u32le(kRhDirectory + 8 * slot, dir->offset[slot]);
            c->patch_u32le(kRhDirectory + 8 * slot + 4, dir->length[slot]);
        }
        pos += n;
    };
    const uint32_t k = p.k;
    for (uint32_t i = 0; i < p.intents; ++i) {
        if (p.tnmx) {
            section(kRhSlotTnmx + i, [&](HXRPkgCursor c) { return HXRGetRHLutTNMX(c, p.slice[i], p.colourFlag); });
            continue;
        }
        const HXRLutData* lut = p.lut[i];
        section(kRhSlotGrid + i, [&](HXRPkgCursor c) { return HXRGetRHLut(c, lut, p.lutChannel, k, p.mm); });
        section(kRhSlotPreLut + i, [&](HXRPkgCursor c) { return HXRGetRHPreLut(c, lut, p.lutChannel, k, p.mm); });
        section(kRhSlotGray + i, [&](HXRPkgCursor c) { return HXRGetRHGrayData(c, lut, p.lutChannel, k); });
        section(kRhSlotGridPos + i, [&](HXRPkgCursor c) { return HXRGetRHLutGridPosTable(c, lut); });
        section(kRhSlotEncode + i, [&](HXRPkgCursor c) { return HXRGetRHLutEncTable(c, lut); });
        section(kRhSlotDecode + i, [&](HXRPkgCursor c) { return HXRGetRHLutDecTable(c, lut); });
        section(kRhSlotAdditional + i, [&](HXRPkgCursor c) { return HXRGetRHLutAdditionalLut(c, lut); });
    }
    if (!p.tnmx) section(kRhSlotPrePos, [&](HXRPkgCursor c) { return HXRGetRHPrePos(c, p.lut[0]); });
    for (uint32_t j = 0; j < k; ++j)
        section(kRhSlotCal + j, [&](HXRPkgCursor c) { return WriteCalTableKVT38P(c, p.calibration[j]); });
    section(kRhSlotSmlInfo, [&](HXRPkgCursor c) {
        uint64_t n = HXRWrite1Byte(c, p.sml.count);
        for (uint8_t v : p.sml.no0) n += HXRWrite1Byte(c, v);
        for (uint8_t v : p.sml.no1) n += HXRWrite1Byte(c, v);
        return n;
    });
    for (uint32_t s = 0; s < p.sml.count; ++s)
        section(kRhSlotSml + s, [&](HXRPkgCursor c) { return HXRGetRHSml(c, p.sml.section[s]); });
    if (p.dither) {
        section(kRhSlotDitherInfo, [&](HXRPkgCursor c) {
            uint64_t n = HXRWrite1Byte(c, p.dth.count);
            for (uint8_t v : p.dth.number) n += HXRWrite1Byte(c, v);
            return n;
        });
        section(kRhSlotDitherParam, [&](HXRPkgCursor c) {
            uint64_t n = 0;
            for (const uint16_t* a : {p.dth.width, p.dth.height, p.dth.step})
                for (uint32_t j = 0; j < kRhMaxMatrices; ++j) n += HXRWriteLe2Byte(c, a[j]);
            return n;
        });
        for (uint32_t j = 0; j < p.dth.count; ++j)
            section(kRhSlotMatrix + j, [&](HXRPkgCursor c) { return HXRGetDitherMaskData(c, p.dth.matrix[j]); });
    }
    if (p.ubecState == kRhUbecPresent) {
        const HXRRhUbecPlan& u = p.ubec;
        section(kRhSlotUbecInfo, [&](HXRPkgCursor c) {
            uint64_t n = HXRWriteLe4Byte(c, u.count);
            for (uint32_t v : u.number) n += HXRWriteLe4Byte(c, v);
            return n;
        });
        section(kRhSlotUbecParam, [&](HXRPkgCursor c) {
            uint64_t n = 0;
            for (uint32_t j = 0; j < kRhMaxMatrices; ++j) n += HXRWriteLe2Byte(c, u.blocksH[j]);
            for (uint32_t j = 0; j < kRhMaxMatrices; ++j) n += HXRWriteLe2Byte(c, u.blocksV[j]);
            for (uint32_t j = 0; j < kRhMaxMatrices; ++j) n += HXRWrite1Byte(c, u.blockW[j]);
            for (uint32_t j = 0; j < kRhMaxMatrices; ++j) n += HXRWrite1Byte(c, u.blockH[j]);
            for (uint32_t j = 0; j < kRhMaxMatrices; ++j) n += HXRWriteLe2Byte(c, u.shiftH[j]);
            return n;
        });
        for (uint32_t j = 0; j < u.count; ++j) {
            const HXRTRAQ2UBECTable* t = u.table[j];
            section(kRhSlotUbecEncode + j, [&](HXRPkgCursor c) { return HXRGetUBECEncTableData(c, t); });
            section(kRhSlotUbecPreDecode + j, [&](HXRPkgCursor c) { return HXRGetUBECPreDecTableData(c, t); });
            section(kRhSlotUbecPostDecode + j, [&](HXRPkgCursor c) { return HXRGetUBECPostDecTableData(c, t); });
            section(kRhSlotUbecOrder + j, [&](HXRPkgCursor c) { return HXRGetUBECOrderTableData(c, t); });
        }
    }
    return ok ? pos : kFail;
}

// UBEC state of an intent's dither data.
uint8_t ubec_state(const HXRTRAQ2DthDataMgr* d, const HXRClrMgr* clr, bool tnmx) {
    if (tnmx || !d) return kRhUbecNone;
    bool any = false;
    for (uint32_t a = 0; a < d->areaNum && a < kHxrMaxDthAreas; ++a)
        for (uint32_t i = 0; i < kHxrMaxInks && d->area[a]; ++i) any = any || d->area[a]->ubec[i];
    if (!any) return kRhUbecNone;
    if (d->areaNum != 1 || !d->area[0]) return kRhUbecUnusable;
    const uint32_t hc = HXRGetHalftoneColorNum(clr);
    for (uint32_t h = 0; h < hc; ++h) {
        const uint32_t ink = HXRGetOutputColorOrderByHalftoneIndex(clr, h);
        if (ink >= kHxrMaxInks || !d->area[0]->ubec[ink]) return kRhUbecUnusable;
    }
    return kRhUbecPresent;
}

// One halftone colour's SML row of a manager: its output ink's rates (for a
// monochrome-photo job the corrected rates read through the tone table),
// cumulative, cut to the colour's three dot sizes.
bool sml_row(HXRSmlDataMgr* mgr, const HXRClrMgr* clr, uint32_t h, const HXRLutTNMXData* tone, HXRMemMgr* mm,
             HXRSmlColorData* row) {
    const uint32_t code = HXRGetHalftoneColorCode(clr, h), ink = HXRGetOutputColorOrderByHalftoneIndex(clr, h);
    const uint32_t ink_code = HXRGetOutputColorCode(clr, ink);
    if (ink >= kHxrMaxInks || HXRCopySDMSmlDataEveryColor(mgr, row, ink, mm) != 0) return false;
    if (tone) {
        const uint32_t channel = HXRGetLutColorOrder(clr, ink_code);
        if (!mgr->tnmx || HXRGetSDMSmlTable(mgr, row->rates, ink_code) != 0 ||
            HXRMergeLutInSml(mgr, row, tone, ink, tone->channels, channel) != 0 ||
            HXRCopyTRAQ2SmlDotRate(&mgr->tnmx->entry[ink], row) != 0)
            return false;
    }
    if (row->dotSizeNum > 1 && HXRAddRateTRAQ2SmlDataEveryColor(row) != 0) return false;
    return HXRSplitTRAQ2SmlDataEveryColor(row, HXRIsV6UpperColor(clr, code) == 1 ? 1 : 0) == 0;
}

// Steps 2..4: the slices (with the additional tables), the SML, dither and
// UBEC data managers.
bool make_data_set(HXRTRAQ2Data* set, uint8_t* ubecStates, const HXRResReadController* rc,
                   const _HXR_HALFTONE_INFO* ht, const _HXR_OPTION_INFO* option, const HXRDataSetOptions* values,
                   const HXRAdditionalLut* additional, const HXRServiceTable* services, const HXRClrMgr* clr,
                   HXRMemMgr* mm, const char* dutyId, uint32_t duty, bool tnmx) {
    const uint32_t type = tnmx ? kLutSliceTNMX : kLutSlice3D, grid = tnmx ? kRhLevels : kRhGridNum;
    for (uint32_t i = 0; i < set->intentNum; ++i) {
        const HXRLutResParser* parser = HXRGetLutParser(rc, i);
        if (!parser) continue;
        set->lut[i] = HXRCreateTRAQ2LutSlc(parser, type, grid, 0, ht, option, dutyId, HXRPkgChannelMode(option, i),
                                           clr, mm);
        const HXRAdditionalLut* add = additional && additional[i].data ? &additional[i] : nullptr;
        if (add && set->lut[i] && !tnmx &&
            HXR8SetTRAQ2LutSlcCopyAdditionalLUT(set->lut[i], add, kHxrRhAdditionalEntries, option, dutyId, clr, mm))
            return false;
    }
    // A missing table of an intent ends the build here, with the section's code.
    for (uint32_t i = 0; i < set->intentNum; ++i) {
        const bool present = tnmx ? HXRGetTRAQ2LutTNMX(set->lut[i]) != nullptr
                                  : rh_3d_table(HXRGetTRAQ2Lut3DColor(set->lut[i]), mm);
        if (!present) return HXRSetErrorInfo(tnmx ? kHxrRhNoTnmxTable : kHxrRhNo3DTable), false;
    }
    const HXRPkgSmlRequest sml{rc, kRhLevels, 1, ht, values->calibration, values->printerId, services, duty,
                               values->colorWords, false};
    if (!HXRPkgMakeSml(set, sml, clr, mm)) return false;
    const HXRDthLayout layout{kHxrDthOrderRows, 0, 2, 0, kHxrUbecBlockOwn, tnmx ? kHxrDthDataDither : kHxrDthDataBoth};
    if (!HXRPkgMakeDither(set, rc, layout, clr, mm)) return false;
    for (uint32_t i = 0; i < set->intentNum; ++i) {
        ubecStates[i] = ubec_state(set->dither[i], clr, tnmx);
        if (ubecStates[i] != kRhUbecPresent) continue;
        set->ubec[i] = HXRCreateTRAQ2UBECDataMgr(set->lut[i], set->sml[i][0], set->dither[i], 2, 0,
                                                 kHxrUbecTableKind, clr, mm);
        if (!set->ubec[i]) return false;
    }
    return true;
}

// Step 5 after the data set: the plan of the image and the image.
HXRRHData* write_package(const HXRTRAQ2Data* set, RhPlan& p, const uint8_t* ubecStates, uint32_t htType,
                         const HXRClrMgr* clr, HXRMemMgr* mm) {
    HXRSmlColorData rows[2][kRhMaxColours] = {};
    uint32_t positions[kRhMaxColours][kRhLevels];
    HXRRHData* rh = nullptr;
    const auto build = [&]() -> HXRRHData* {
        // SML rows of parts 0 and 1 and their numbering.
        const HXRLutTNMXData* tone = p.tnmx ? HXRGetTRAQ2LutTNMX(set->lut[0]) : nullptr;
        for (uint32_t part = 0; part < 2; ++part) {
            HXRSmlDataMgr* mgr = set->sml[0][part];
            for (uint32_t h = 0; mgr && h < p.halftones; ++h)
                if (!sml_row(mgr, clr, h, tone, mm, &rows[part][h])) return nullptr;
        }
        if (const uint32_t code =
                SetSmlNoTbl(&p.sml, rows[0], set->sml[0][1] ? rows[1] : nullptr, p.halftones, p.tnmx)) {
            if (code != kNoCode) HXRSetErrorInfo(code);
            return nullptr;
        }
        // Calibration positions of every output colour.
        for (uint32_t j = 0; j < p.k && !p.tnmx; ++j) {
            const HXRSmlData* data = set->sml[0][0]->sml;
            if (!data || data->entry[j].gradationNum != kRhLevels ||
                HXRGetSDMSmlIndexTable(set->sml[0][0], positions[j], HXRGetOutputColorCode(clr, j)) != 0)
                return nullptr;
            p.calibration[j] = positions[j];
        }
        // Dither sections; a failure leaves them out.
        uint32_t code = HXRGetDitherInfo(&p.dth, set->dither[0], clr);
        if (code == 0) code = HXRGetDitherPram(&p.dth);
        if (code == 0) code = HXRGetRHDitherOffset(&p.dth, set->dither[0], clr);
        if (code != 0) HXRSetErrorInfo(code);
        p.dither = code == 0;
        // UBEC sections.
        p.ubecState = ubecStates[0];
        if (p.ubecState == kRhUbecPresent) {
            code = HXRGetUBECInfo(&p.ubec, set->ubec[0], p.halftones);
            if (code == 0) code = HXRGetUBECPram(&p.ubec);
            if (code != 0) {
                if (code != kNoCode) HXRSetErrorInfo(code);
                return nullptr;
            }
        }
        // Hybrid error diffusion flags every colour with its SML kind.
        const bool hybrid = htType == 5 || htType == 6;
        for (uint32_t h = 0; h < p.halftones && hybrid; ++h) {
            const uint8_t k0 = p.sml.kind[p.sml.no0[h]];
            p.flags[h] = p.sml.no1[h] == kRhNoSml ? k0 : std::min(k0, p.sml.kind[p.sml.no1[h]]);
        }
        auto* out = HXRAllocRecord<HXRRHData>(mm);
        if (!out) return nullptr;
        uint32_t size = 0;
        out->image = HXRWriteTwoPass(mm, kHxrRhSize, &size, [&](HXRPkgCursor c) { return layout(c, p, out); });
        if (!out->image) {
            HXRFreeMem(mm, out);
            return nullptr;
        }
        out->size = size;
        return out;
    };
    rh = build();
    for (auto& part : rows)
        for (HXRSmlColorData& r : part) HXRFreeMem(mm, r.rates);
    return rh;
}

const uint8_t* section_at(const HXRRHData* rh, uint32_t slot) {
    return rh->length[slot] ? rh->image + rh->offset[slot] : nullptr;
}

// A cursor over a section (empty when absent).
ovcg::ByteCursor section_cursor(const HXRRHData* rh, uint32_t slot) {
    return ovcg::ByteCursor(section_at(rh, slot), rh->length[slot]);
}

template <typename T>
T* new_descriptor(HXRMemMgr* mm) {
    return mm ? HXRAllocRecord<T>(mm) : nullptr;
}

uint32_t refuse(uint32_t code) {
    HXRSetErrorInfo(code);
    return code;
}

}  // namespace

HXRRHData* HXRCreateRHData(const HXRResReadController* readCtrl, const _HXR_HALFTONE_INFO* halftone,
                           const _HXR_OPTION_INFO* option, const HXRDataSetOptions* values,
                           const HXRAdditionalLut* additional, const HXRServiceTable* services,
                           const HXRClrMgr* colours, HXRMemMgr* manager, const char* dutyModeId) {
    if (!readCtrl || !halftone || !option || !values || !services || !colours || !manager) return nullptr;
    const uint32_t duty =
        HXRPkgDutyMode(values, option, colours, dutyModeId, kHxrRhDutyNotARecord, kHxrRhDutyOrIntents);
    if (duty == 0) return nullptr;
    RhPlan p;
    p.intents = HXRGetIntentNum(readCtrl);
    if (p.intents < 1 || p.intents > 2) return HXRSetErrorInfo(kHxrRhDutyOrIntents), nullptr;
    p.tnmx = halftone->docType == kHxrTnmxDocType;
    p.k = HXRGetOutputColorNum(colours);
    p.halftones = HXRGetHalftoneColorNum(colours);
    p.colourFlag = halftone->inkSet;
    p.mm = manager;
    // The package's shape, checked before anything is built for it.
    uint32_t code = HXRCheckRHShape(p.k, p.intents, p.tnmx);
    if (code == 0 && p.colourFlag == 0 && p.k != 1) code = kHxrRhInkNum;
    if (code == 0 && (p.halftones < 1 || p.halftones > kRhMaxColours)) code = kHxrRhBadArgument;
    for (uint32_t j = 0; j < p.k && code == 0; ++j) {
        p.lutChannel[j] = HXRGetLutColorOrder(colours, HXRGetOutputColorCode(colours, j));
        if (p.lutChannel[j] >= p.k || p.lutChannel[j] >= HXRGetLutColorNum(colours)) code = kHxrRhBadArgument;
    }
    if (code != 0) return HXRSetErrorInfo(code), nullptr;

    auto* set = HXRAllocRecord<HXRTRAQ2Data>(manager);
    if (!set) return nullptr;
    set->intentNum = p.intents;
    uint8_t ubec[2] = {};
    HXRRHData* rh = nullptr;
    if (make_data_set(set, ubec, readCtrl, halftone, option, values, additional, services, colours, manager,
                      dutyModeId, duty, p.tnmx)) {
        for (uint32_t i = 0; i < p.intents; ++i) {
            p.slice[i] = set->lut[i];
            p.lut[i] = HXRGetTRAQ2Lut3DColor(set->lut[i]);
        }
        rh = write_package(set, p, ubec, halftone->htType, colours, manager);
    }
    HXRDeleteTRAQ2Data(set, manager);
    return rh;
}

uint32_t HXRGetRHData(const HXRRHData* rh, const void** data, uint32_t* size) {
    if (!rh || !data || !size) return refuse(kHxrRhBadArgument);
    *data = rh->image;
    *size = rh->size;
    return 0;
}

uint32_t HXRGetRHCommonData(const HXRRHData* rh, void** data, uint32_t* size, uint32_t, HXRMemMgr* manager) {
    if (!rh || !data || !size || !manager) return refuse(kHxrRhCommonNull);
    auto* copy = static_cast<uint8_t*>(HXRAllocMem(manager, kRhCommonSize));
    if (!copy) return refuse(kHxrRhCommonMemory);
    std::memcpy(copy, rh->image, kRhCommonSize);
    *data = copy;
    *size = kRhCommonSize;
    return 0;
}

uint32_t HXRGetRHLutData(const HXRRHData* rh, void** data, uint32_t* size, uint32_t kind, HXRMemMgr* manager) {
    if (!data || !size || !manager) return refuse(kHxrRhLutNull);
    if (!rh) return refuse(kHxrRhLutNoPackage);
    const uint32_t first = kind == kHxrRhLutPreLut ? kRhSlotPreLut
                           : kind == kHxrRhLutGrid ? kRhSlotGrid
                           : kind == kHxrRhLutTnmx ? kRhSlotTnmx
                                                   : kRhSlotCount;
    if (first == kRhSlotCount) return refuse(kHxrRhLutKind);
    if (!section_at(rh, first))
        return refuse(kind == kHxrRhLutPreLut ? kHxrRhLutNoPreLut
                      : kind == kHxrRhLutGrid ? kHxrRhLutNoGrid
                                              : kHxrRhLutNoTnmx);
    auto* d = new_descriptor<HXRRHLutInfo>(manager);
    if (!d) return refuse(kHxrRhLutMemory);
    uint64_t bytes = sizeof(HXRRHLutInfo);
    const auto take = [&](uint32_t slot) {
        bytes += rh->length[slot];
        return section_at(rh, slot);
    };
    d->intentNum = rh->image[kRhCommonSize];
    if (kind != kHxrRhLutTnmx) d->prePosition = take(kRhSlotPrePos);
    for (uint32_t j = 0; j < kRhMaxColours; ++j) d->calibration[j] = take(kRhSlotCal + j);
    d->gridNum = kind == kHxrRhLutTnmx ? kRhLevels : kRhGridNum;
    for (uint32_t i = 0; i < 2; ++i) {
        d->table[i] = take(first + i);
        if (kind != kHxrRhLutPreLut) continue;
        d->additional[i] = take(kRhSlotAdditional + i);
        d->gray[i] = take(kRhSlotGray + i);
        d->encode[i] = take(kRhSlotEncode + i);
        d->decode[i] = take(kRhSlotDecode + i);
        d->gridPosition[i] = take(kRhSlotGridPos + i);
    }
    *data = d;
    *size = static_cast<uint32_t>(std::min<uint64_t>(bytes, kHxrPkgMaxBytes));
    return 0;
}

uint32_t HXRGetRHDitherData(const HXRRHData* rh, void** data, uint32_t* size, uint32_t kind, HXRMemMgr* manager) {
    if (!data || !size || !manager) return refuse(kHxrRhDitherNull);
    if (kind != 0) return refuse(kHxrRhDitherKind);
    if (!rh) return refuse(kHxrRhDitherNoPackage);
    if (!section_at(rh, kRhSlotDitherInfo)) return refuse(kHxrRhDitherNone);
    auto* d = new_descriptor<HXRRHDitherInfo>(manager);
    if (!d) return refuse(kHxrRhDitherMemory);
    uint64_t bytes = sizeof(HXRRHDitherInfo);
    ovcg::ByteCursor info = section_cursor(rh, kRhSlotDitherInfo), param = section_cursor(rh, kRhSlotDitherParam);
    d->matrixNum = info.u8();
    info.read_bytes(d->matrixNo, sizeof d->matrixNo);
    for (unsigned short* a : {d->width, d->height, d->step})
        for (uint32_t j = 0; j < kRhMaxMatrices; ++j) a[j] = param.u16le();
    for (uint32_t j = 0; j < kRhMaxMatrices; ++j) {
        d->thresholds[j] = section_at(rh, kRhSlotMatrix + j);
        bytes += rh->length[kRhSlotMatrix + j];
    }
    ovcg::ByteCursor sml = section_cursor(rh, kRhSlotSmlInfo);
    d->smlNum = sml.u8();
    sml.read_bytes(d->smlNo0, sizeof d->smlNo0);
    sml.read_bytes(d->smlNo1, sizeof d->smlNo1);
    for (uint32_t s = 0; s < kRhMaxSml; ++s) {
        d->sml[s] = section_at(rh, kRhSlotSml + s);
        bytes += rh->length[kRhSlotSml + s];
    }
    *data = d;
    *size = static_cast<uint32_t>(std::min<uint64_t>(bytes, kHxrPkgMaxBytes));
    return 0;
}

uint32_t HXRGetRHUBECData(const HXRRHData* rh, void** data, uint32_t* size, uint32_t kind, HXRMemMgr* manager) {
    if (!data || !size || !manager) return refuse(kHxrRhUbecNull);
    if (kind != 0) return refuse(kHxrRhUbecKind);
    if (!rh) return refuse(kHxrRhUbecNoPackage);
    if (!section_at(rh, kRhSlotUbecInfo))
        return refuse(rh->image[kRhCommonSize + 1] == kRhUbecUnusable ? kHxrRhUbecUnusable : kHxrRhUbecNone);
    auto* d = new_descriptor<HXRRHUbecInfo>(manager);
    if (!d) return refuse(kHxrRhUbecMemory);
    uint64_t bytes = sizeof(HXRRHUbecInfo);
    ovcg::ByteCursor info = section_cursor(rh, kRhSlotUbecInfo), param = section_cursor(rh, kRhSlotUbecParam);
    d->tableNum = info.u32le();
    for (unsigned int& v : d->tableNo) v = info.u32le();
    for (unsigned short* a : {d->blocksH, d->blocksV})
        for (uint32_t j = 0; j < kRhMaxMatrices; ++j) a[j] = param.u16le();
    param.read_bytes(d->blockW, sizeof d->blockW);
    param.read_bytes(d->blockH, sizeof d->blockH);
    for (unsigned short& v : d->shiftH) v = param.u16le();
    for (uint32_t j = 0; j < kRhMaxMatrices; ++j) {
        const uint32_t slots[4] = {kRhSlotUbecEncode + j, kRhSlotUbecPreDecode + j, kRhSlotUbecPostDecode + j,
                                   kRhSlotUbecOrder + j};
        const unsigned char** ptrs[4] = {&d->encode[j], &d->preDecode[j], &d->postDecode[j], &d->order[j]};
        for (uint32_t t = 0; t < 4; ++t) {
            *ptrs[t] = section_at(rh, slots[t]);
            bytes += rh->length[slots[t]];
        }
    }
    *data = d;
    *size = static_cast<uint32_t>(std::min<uint64_t>(bytes, kHxrPkgMaxBytes));
    return 0;
}

uint32_t HXRSetABR(HXRRHData*, const void*) { return 0; }
