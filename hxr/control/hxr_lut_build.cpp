#include "hxr/control/hxr_lut_build.h"

#include "hxr/control/hxr_dblgamma.h"
#include "hxr/control/hxr_lut_adjust.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr uint32_t kGammaMin = 50, kGammaMax = 300;
constexpr uint32_t kClearCode = 10;  // the ink a channel mode clears or keeps alone
constexpr uint32_t kGrayMax = 255;
constexpr uint32_t kDocNoGray = 4;
constexpr uint32_t kMaxBlock = 0xFFFFFFFFu;

// Records the code (0: refuse without one).
bool fail(uint32_t code) {
    if (code != 0) HXRSetErrorInfo(code);
    return false;
}

// Channel mode of the intent -> how the colour table is read.
struct ReadMode {
    uint32_t mode;   // look-up mode of the parser
    uint32_t white;  // clear the colour-code-10 channel at the white node
};
ReadMode read_mode(uint32_t channelMode) {
    switch (channelMode) {
        case 1:
        case 2: return {kHxrLutModeAllBut, 0};
        case 3: return {kHxrLutModeAll, 1};
        case 4: return {kHxrLutModeOnly, 0};
        case 5: return {kHxrLutModeOnly, 1};
        default: return {kHxrLutModeAll, 0};
    }
}

int32_t order_of(const HXRClrMgr* clr, uint32_t code) {
    const uint32_t o = HXRGetLutColorOrder(clr, code);
    return o == kHxrNoValue ? kHxrNoOrder : int32_t(o);
}

// Blocks of one build, freed together unless kept.
class Blocks {
public:
    explicit Blocks(HXRMemMgr* mem) : mem_(mem) {}
    ~Blocks() {
        for (uint32_t i = 0; i < n_; ++i) HXRFreeMem(mem_, blocks_[i]);
    }
    Blocks(const Blocks&) = delete;
    Blocks& operator=(const Blocks&) = delete;
    // size bytes (zeroed), or null for a failed allocation or a size past 32 bits.
    void* alloc(uint64_t size) {
        if (size > kMaxBlock || n_ == kSlots) return nullptr;
        void* p = HXRAllocMem(mem_, uint32_t(size));
        if (p) blocks_[n_++] = p;
        return p;
    }
    void keep(const void* p) {
        for (uint32_t i = 0; i < n_; ++i)
            if (blocks_[i] == p) blocks_[i] = blocks_[--n_];
    }
    void replace(const void* from, void* to) {
        for (uint32_t i = 0; i < n_; ++i)
            if (blocks_[i] == from) blocks_[i] = to;
    }

private:
    static constexpr uint32_t kSlots = 8;
    HXRMemMgr* mem_;
    void* blocks_[kSlots] = {};
    uint32_t n_ = 0;
};

// One of the resource's tables as the builder checks it: its getters, the
// dimensions and grid counts it may have, and the code of each mismatch.
struct TableKind {
    uint32_t (*inkNum)(const HXRLutResParser*);
    uint32_t (*inkCode)(const HXRLutResParser*, uint32_t);
    uint32_t (*dimension)(const HXRLutResParser*);
    uint32_t (*gridNum)(const HXRLutResParser*);
    uint32_t (*gridPos)(const HXRLutResParser*, uint32_t);
    uint32_t dimLow, dimHigh, gridMin, gridMax;
    uint32_t numCode, codeCode, dimCode, gridCode;
};
constexpr TableKind kColourTable = {HXRGetLutColorInkNum, HXRGetLutColorInkCode, HXRGetLutColorDimension,
                                    HXRGetLutColorGridNum, HXRGetLutColorGridPos, 3, 4, 2, kHxrLutSrcMaxGrid,
                                    kHxrLutColorNum, kHxrLutColorCode, kHxrLutColorDim, kHxrLutColorGrid};
constexpr TableKind kMonoTable = {HXRGetLutMonoInkNum, HXRGetLutMonoInkCode, HXRGetLutMonoDimension,
                                  HXRGetLutMonoGridNum, HXRGetLutMonoGridPos, 1, 1, 2, kHxrLutSrcMaxGrid,
                                  kHxrLutMonoNum, kHxrLutMonoCode, kHxrLutMonoDim, kHxrLutMonoGrid};
constexpr TableKind kGrayTable = {HXRGetLut16GrayInkNum, HXRGetLut16GrayInkCode, HXRGetLut16GrayDimension,
                                  HXRGetLut16GrayGridNum, HXRGetLut16GrayGridPos, 1, 1, 2, kHxrLutGrayMaxGrid,
                                  kHxrLutGrayNum, kHxrLutGrayCode, kHxrLutGrayDim, kHxrLutGrayGrid};
// The monochrome-photo table refuses without codes.
constexpr TableKind kTnmxTable = {HXRGetLutTNMXInkNum, HXRGetLutTNMXInkCode, HXRGetLutTNMXDimension,
                                  HXRGetLutTNMXGridNum, HXRGetLutTNMXGridPos, 1, 1, 1, kHxrTnmxMaxGrid, 0, 0, 0, 0};

// The table's ink count and codes against the colour manager's K LUT
// channels, then its dimension and grid count; fills its levels (0xFFFFFFFF
// past the count). The grid count, or 0 with the kind's code recorded.
uint32_t check_table(const TableKind& t, const HXRLutResParser* p, const HXRClrMgr* clr, uint32_t k,
                     uint32_t* levels) {
    if (t.inkNum(p) != k) return fail(t.numCode);
    for (uint32_t c = 0; c < k; ++c)
        if (HXRGetLutColorCode(clr, c) != t.inkCode(p, c)) return fail(t.codeCode);
    const uint32_t d = t.dimension(p);
    if (d != t.dimLow && d != t.dimHigh) return fail(t.dimCode);
    const uint32_t n = t.gridNum(p);
    if (n < t.gridMin || n > t.gridMax) return fail(t.gridCode);
    for (uint32_t g = 0; g < t.gridMax; ++g) levels[g] = g < n ? t.gridPos(p, g) : kHxrNoValue;
    return n;
}

bool read_gamma(uint32_t gamma, uint32_t* out, uint32_t code) {
    if (gamma < kGammaMin || gamma > kGammaMax) return fail(code);  // also a missing gamma (0xFFFFFFFF)
    *out = gamma;
    return true;
}

// The resource's 3D or 4D colour table, read with the channel mode.
bool read_colour(const HXRLutResParser* p, const HXRClrMgr* clr, uint32_t k, ReadMode rm, int32_t clear,
                 HXRLutWork& w, Blocks& blocks) {
    const uint32_t ns = check_table(kColourTable, p, clr, k, w.gridPos);
    if (ns == 0) return false;
    const uint32_t d = HXRGetLutColorDimension(p);
    uint64_t nodes = 1;
    for (uint32_t a = 0; a < d; ++a) nodes *= ns;
    w.table = static_cast<uint8_t*>(blocks.alloc(nodes * k));
    if (!w.table) return false;
    const uint32_t ink = uint32_t(clear);  // 0xFFFFFFFF without a colour-code-10 channel
    uint8_t* node = w.table;
    for (uint64_t n = 0; n < nodes; ++n, node += k) {
        uint32_t i[4] = {};
        for (uint32_t a = d, rest = uint32_t(n); a-- > 0; rest /= ns) i[a] = rest % ns;
        const uint32_t rc = d == 3 ? HXRGetLutColor3dLut(p, i[0], i[1], i[2], rm.mode, ink, node)
                                   : HXRGetLutColor4dLut(p, i[0], i[1], i[2], i[3], rm.mode, ink, node);
        if (rc != 0) return false;
    }
    w.gridNum = ns;
    w.colorNum = k;
    w.dimension = d;
    w.whiteNode = rm.white;
    w.clearOrder = clear;
    return read_gamma(HXRGetLutGamma(p), &w.gamma, kHxrLutGammaRange);
}

// The mono table laid on the gray axis (j, j, j) of an Ns^3 grid.
bool read_mono(const HXRLutResParser* p, const HXRClrMgr* clr, uint32_t k, HXRLutWork& w, Blocks& blocks) {
    const uint32_t ns = check_table(kMonoTable, p, clr, k, w.gridPos);
    if (ns == 0) return false;
    w.table = static_cast<uint8_t*>(blocks.alloc(uint64_t(ns) * ns * ns * k));
    if (!w.table) return false;
    uint8_t level[256];  // a level holds the mono table's unit size of bytes
    for (uint32_t j = 0; j < ns; ++j) {
        if (HXRGetLutMonoLut(p, j, level) != 0) return false;
        std::memcpy(w.table + size_t(j) * (ns * ns + ns + 1) * k, level, k);
    }
    w.gridNum = ns;
    w.colorNum = k;
    w.dimension = 3;
    w.whiteNode = 0;
    w.clearOrder = kHxrNoOrder;
    return read_gamma(HXRGetLutGamma(p), &w.gamma, kHxrLutGammaRange);
}

// The 16-bit gray table. Its values index the 256-entry decode table, so
// each must be an ink code 0..255.
bool read_gray(const HXRLutResParser* p, const HXRClrMgr* clr, uint32_t k, ReadMode rm, int32_t clear,
               HXRGrayLutWork& g, Blocks& blocks) {
    const uint32_t ng = check_table(kGrayTable, p, clr, k, g.gridPos);
    if (ng == 0) return false;
    if (HXRGetLut16GrayMaxValue(p) != kGrayMax) return fail(kHxrLutGrayMax);
    g.table = static_cast<uint32_t*>(blocks.alloc(uint64_t(ng) * k * 4));
    if (!g.table) return false;
    for (uint32_t j = 0; j < ng; ++j) {
        uint32_t* v = g.table + size_t(j) * k;
        if (HXRGetLut16GrayLut(p, j, rm.mode, uint32_t(clear), v) != 0) return false;
        for (uint32_t c = 0; c < k; ++c)
            if (v[c] > kGrayMax) return fail(kHxrLutGrayMax);
    }
    g.gridNum = ng;
    g.colorNum = k;
    g.whiteNode = rm.white;
    g.clearOrder = clear;
    return read_gamma(HXRGetLut16GrayGamma(p), &g.gamma, kHxrLutGrayGamma);
}

// Decode and encode tables of the colour (or mono) double-gamma pair.
bool double_gamma(const HXRLutResParser* p, uint32_t colourFlag, HXRLutData& lut) {
    const uint32_t g0 = colourFlag ? HXRGetLutColorDblGamma0(p) : HXRGetLutMonoDblGamma0(p);
    const uint32_t g255 = colourFlag ? HXRGetLutColorDblGamma255(p) : HXRGetLutMonoDblGamma255(p);
    if (g0 == kHxrNoValue) return fail(kHxrLutDblGamma0);
    if (g255 == kHxrNoValue) return fail(kHxrLutDblGamma255);
    if (HXRGetDbgDecTable(lut.decode, g0, g255) != 0 || HXRGetDbgEncTable(lut.encode, g0, g255) != 0)
        return fail(g255 == 0 ? kHxrLutDblGamma255 : kHxrLutDblGamma0);
    return true;
}

}  // namespace

// ---------------------------------------------------------------- colour table

HXRLutData* HXRCreateTRAQ2LutColorData(const HXRLutResParser* p, uint32_t lutType, uint32_t gridNum,
                                       uint32_t colourFlag, uint32_t docType, const _HXR_OPTION_INFO* option,
                                       const uint32_t* dutyBlock, const char* dutyModeId, uint32_t channelMode,
                                       const HXRClrMgr* clr, HXRMemMgr* mem) {
    if (!p || !option || !clr || !mem) return nullptr;
    const uint32_t k = HXRGetLutColorNum(clr);
    if (k < 1 || k > kHxrMaxInks) return nullptr;
    Blocks blocks(mem);
    HXRLutWork w{};
    HXRGrayLutWork g{};
    bool gray = false;
    if (colourFlag) {
        const ReadMode rm = read_mode(channelMode);
        const int32_t clear = order_of(clr, kClearCode);
        if (!read_colour(p, clr, k, rm, clear, w, blocks)) return nullptr;
        // The gray table replaces the neutral axis of an RGB grid; balances
        // move that axis off gray, and a 4D table has no such axis.
        const int32_t* tone = option->tone;
        gray = w.dimension == 3 && docType != kDocNoGray &&
               (tone[kToneBalance1] | tone[kToneBalance2] | tone[kToneBalance3]) == 0 &&
               HXRGetLut16GrayDimension(p) != kHxrNoValue;
        if (gray && !read_gray(p, clr, k, rm, clear, g, blocks)) return nullptr;
    } else if (!read_mono(p, clr, k, w, blocks)) {
        return nullptr;
    }
    if (w.dimension != lutType) {
        fail(kHxrLutTypeMismatch);
        return nullptr;
    }
    HXRGrayLutWork* gw = gray ? &g : nullptr;
    uint8_t* const before = w.table;
    const uint32_t adjusted = HXRAdjustColor(&w, gw, option, colourFlag ? 0 : 1, mem);
    blocks.replace(before, w.table);  // the resampling builds a new table
    if (adjusted != 0 || HXRAdjustDuty(&w, gw, dutyBlock, dutyModeId) != 0) return nullptr;

    auto* lut = static_cast<HXRLutData*>(blocks.alloc(sizeof(HXRLutData)));
    if (!lut || !double_gamma(p, colourFlag, *lut)) return nullptr;
    // The padded copy follows the work table, whose size is known for both
    // the colour and the monochrome path.
    uint64_t nodes = 1;
    for (uint32_t a = 0; a < w.dimension; ++a) nodes *= w.gridNum;
    const uint32_t padded = (k + 3) & ~3u;
    lut->paddedTable = static_cast<uint8_t*>(blocks.alloc(nodes * padded));
    if (!lut->paddedTable) return nullptr;
    for (uint64_t n = 0; n < nodes; ++n) std::memcpy(lut->paddedTable + n * padded, w.table + n * k, k);
    if (HXRGetSrcLutGridPosIndex(lut->srcGridIndex, w.gridNum, w.gridPos) != 0) return nullptr;
    uint32_t levels[64];
    if (HXRGetRebuildGridPos(levels, gridNum, w.dimension) != 0) {
        fail(kHxrLutTargetGrid);
        return nullptr;
    }
    if (gray) {
        lut->grayAxis = static_cast<uint8_t*>(blocks.alloc(uint64_t(gridNum) * 4 * HXRGetLutUnitSizeU32(k)));
        if (!lut->grayAxis) return nullptr;
    }
    lut->grid = HXRRebuildLut(&w, gw, lut->decode, lut->encode, lut->srcGridIndex, gridNum, mem, lut->grayAxis);
    if (!lut->grid) return nullptr;
    HXRGetPreTable(lut->preTable, gridNum, w.dimension);
    lut->gridNum = gridNum;
    lut->dimension = w.dimension;
    lut->channels = k;
    blocks.keep(lut);
    blocks.keep(lut->paddedTable);
    blocks.keep(lut->grayAxis);
    return lut;
}

namespace {

// Frees an object's blocks, then the object: the first failing free's code;
// none_code (recorded) for no object.
uint32_t free_object(HXRMemMgr* mem, void* object, uint32_t none_code, std::initializer_list<void*> blocks) {
    if (!object) return HXRFreeObject(mem, object, none_code);
    uint32_t first = 0;
    for (void* b : blocks) {
        const uint32_t rc = HXRFreeMem(mem, b);
        if (first == 0) first = rc;
    }
    const uint32_t rc = HXRFreeMem(mem, object);
    return first != 0 ? first : rc;
}

}  // namespace

uint32_t HXRDeleteTRAQ2LutColorData(HXRLutData* lut, HXRMemMgr* mem) {
    if (!lut) return free_object(mem, lut, kHxrLutColorNone, {});
    return free_object(mem, lut, kHxrLutColorNone,
                       {lut->grid, lut->paddedTable, lut->grayAxis,
                        lut->additional ? lut->additional->data : nullptr, lut->additional});
}

HXRLutData* HXRCreateTRAQ2LutColorDataOnlyDbg(const HXRLutResParser* p, uint32_t colourFlag, HXRMemMgr* mem) {
    if (!p || !mem) return nullptr;
    Blocks blocks(mem);
    auto* lut = static_cast<HXRLutData*>(blocks.alloc(sizeof(HXRLutData)));
    if (!lut || !double_gamma(p, colourFlag, *lut)) return nullptr;
    blocks.keep(lut);
    return lut;
}

// ---------------------------------------------------------------- monochrome photo

HXRLutTNMXData* HXRCreateTRAQ2LutTNMXData(const HXRLutResParser* p, uint32_t lutType, uint32_t, uint32_t,
                                          const int32_t* controls, const HXRClrMgr* clr, HXRMemMgr* mem) {
    if (!p || !controls || !clr || !mem || lutType != kHxrLutType1D) return nullptr;
    const uint32_t k = HXRGetLutColorNum(clr);
    HXRLutTNMXWork w{};
    const uint32_t g = k >= 1 && k <= kHxrMaxInks ? check_table(kTnmxTable, p, clr, k, w.gridPos) : 0;
    if (g == 0) return nullptr;
    const uint32_t codes[5] = {kInkC, kInkLc, kInkM, kInkLm, kInkY};
    for (uint32_t i = 0; i < 5; ++i) w.order[i] = order_of(clr, codes[i]);
    if ((w.order[kTnmxOrderLc] < 0) != (w.order[kTnmxOrderLm] < 0)) return nullptr;

    uint32_t tone[kHxrTnmxAxes][6], rate[kHxrTnmxAxes][6];
    w.gridNum = g;
    w.colorNum = k;
    w.flag = 1;
    w.gamma = HXRGetLutTNMXGamma(p);
    w.totalInkDuty = HXRGetLutTNMXTotalInkDuty(p);
    w.maxValue = HXRGetLutTNMXMaxValue(p);
    w.toneCount = HXRGetLutTNMXCtcnNum(p);
    w.rateMode = HXRGetLutTNMXCtcnIncAndDecRate(p);
    if (w.totalInkDuty == kHxrNoValue || w.maxValue == kHxrNoValue || w.toneCount != kHxrCtcnToneCount ||
        HXRGetLutTNMXColorControlParam(p, tone, rate) != 0)
        return nullptr;
    for (uint32_t a = 0; a < kHxrTnmxAxes; ++a) {
        for (uint32_t i = 0; i < kHxrTnmxPairs; ++i) {
            w.toneIn[a][i] = int32_t(tone[a][i]);
            w.toneOut[a][i] = int32_t(rate[a][i]);
        }
    }

    Blocks blocks(mem);
    auto* out = static_cast<HXRLutTNMXData*>(blocks.alloc(sizeof(HXRLutTNMXData)));
    w.table = static_cast<uint32_t*>(blocks.alloc(uint64_t(g) * k * 4));
    if (!out || !w.table) return nullptr;
    uint32_t row[kHxrMaxInks];  // a level holds the table's unit size (at most 12) of values
    for (uint32_t i = 0; i < g; ++i) {
        if (HXRGetLutTNMXLut(p, i, row) != 0) return nullptr;
        std::memcpy(w.table + size_t(i) * k, row, size_t(k) * 4);
    }
    if (HXRAdjustColorTNMX(&w, controls, mem) != 0) return nullptr;
    *out = {w.table, g, k};
    blocks.keep(out);
    blocks.keep(w.table);
    return out;
}

uint32_t HXRDeleteTRAQ2LutTNMXData(HXRLutTNMXData* lut, HXRMemMgr* mem) {
    return free_object(mem, lut, kHxrLutTNMXNone, {lut ? lut->table : nullptr});
}

// ---------------------------------------------------------------- user colours

HXRLutUserData* HXRCreateTRAQ2LutUserData(const uint8_t* table, uint32_t size, uint32_t channelMode,
                                          const HXRClrMgr* clr, HXRMemMgr* mem) {
    if (!table || !clr || !mem) return nullptr;
    const uint32_t k = HXRGetLutColorNum(clr);
    if (k < 1 || k > kHxrMaxInks) return nullptr;
    if (size < 4) return fail(kHxrLutUserSize), nullptr;
    if (table[0] != k) return fail(kHxrLutUserChannels), nullptr;
    const uint32_t entries = LeToUint16(table + 2);
    if (entries >= 1 && entries <= 256 && uint64_t(entries) * k > size - 4) return fail(kHxrLutUserSize), nullptr;
    const HXRUserLutParser parser = HXRCreateUserLutParser(table, size);  // records 5451 for the entry count
    if (!parser.entries) return nullptr;

    const uint32_t words = HXRGetLutUnitSizeU32(k);
    auto* out = static_cast<uint32_t*>(HXRAllocMem(mem, words * 4 * 256));
    if (!out) return nullptr;
    const int32_t clear = order_of(clr, kClearCode);
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t v[kHxrMaxInks];
        if (HXRGetUserLutData(&parser, i, v) == 0) break;  // the rest stays 0
        if (clear >= 0) {
            for (uint32_t c = 0; c < k; ++c) {
                const bool isClear = c == uint32_t(clear);
                if ((channelMode == 2 && isClear) || ((channelMode == 4 || channelMode == 5) && !isClear)) v[c] = 0;
            }
        }
        HXRRearrangeLut(out + i * words, v, int32_t(k));
    }
    return out;
}

// ---------------------------------------------------------------- slices

HXRLutSlc* HXRCreateTRAQ2LutSlc(const HXRLutResParser* p, uint32_t lutType, uint32_t gridNum, uint32_t,
                                const _HXR_HALFTONE_INFO* ht, const _HXR_OPTION_INFO* option, const char* dutyModeId,
                                uint32_t channelMode, const HXRClrMgr* clr, HXRMemMgr* mem) {
    if (!ht || !option || !mem) return nullptr;
    if (lutType != kLutSlice3D && lutType != kLutSlice4D && lutType != kLutSliceTNMX) return nullptr;
    auto* slice = static_cast<HXRLutSlc*>(HXRAllocMem(mem, sizeof(HXRLutSlc)));
    if (!slice) return nullptr;
    if (lutType == kLutSliceTNMX) {
        slice->table = HXRCreateTRAQ2LutTNMXData(p, kHxrLutType1D, gridNum, ht->docType, option->tone + kToneTnmx, clr,
                                                 mem);
    } else {
        slice->table = HXRCreateTRAQ2LutColorData(p, lutType, gridNum, ht->inkSet != 0, ht->docType, option,
                                                  option->colorValue, dutyModeId, channelMode, clr, mem);
    }
    if (!slice->table) {
        HXRFreeMem(mem, slice);
        return nullptr;
    }
    slice->type = lutType;
    return slice;
}

uint32_t HXRDeleteTRAQ2LutSlc(HXRLutSlc* slice, HXRMemMgr* mem) {
    if (!slice) {
        HXRSetErrorInfo(kHxrLutSlcNone);
        return kHxrLutSlcNone;
    }
    uint32_t rc;
    if (slice->type == kLutSlice3D || slice->type == kLutSlice4D)
        rc = HXRDeleteTRAQ2LutColorData(static_cast<HXRLutData*>(slice->table), mem);
    else if (slice->type == kLutSliceTNMX)
        rc = HXRDeleteTRAQ2LutTNMXData(static_cast<HXRLutTNMXData*>(slice->table), mem);
    else {
        HXRSetErrorInfo(kHxrLutSlcBadType);
        return kHxrLutSlcBadType;
    }
    const uint32_t rc2 = HXRFreeMem(mem, slice);
    return rc != 0 ? rc : rc2;
}

namespace {

HXRLutData* colour_of(const HXRLutSlc* s) {
    return s && (s->type == kLutSlice3D || s->type == kLutSlice4D) ? static_cast<HXRLutData*>(s->table) : nullptr;
}

}  // namespace

HXRLutData* HXRGetTRAQ2Lut3DColor(const HXRLutSlc* s) {
    return s && s->type == kLutSlice3D ? static_cast<HXRLutData*>(s->table) : nullptr;
}
HXRLutData* HXRGetTRAQ2Lut4DColor(const HXRLutSlc* s) {
    return s && s->type == kLutSlice4D ? static_cast<HXRLutData*>(s->table) : nullptr;
}
HXRLutTNMXData* HXRGetTRAQ2LutTNMX(const HXRLutSlc* s) {
    return s && s->type == kLutSliceTNMX ? static_cast<HXRLutTNMXData*>(s->table) : nullptr;
}
const uint32_t* HXRGetTRAQ2LutDbgDecTable(const HXRLutSlc* s) {
    const HXRLutData* lut = colour_of(s);
    return lut ? lut->decode : nullptr;
}
const uint32_t* HXRGetTRAQ2LutDbgEncTable(const HXRLutSlc* s) {
    const HXRLutData* lut = colour_of(s);
    return lut ? lut->encode : nullptr;
}
const uint32_t* HXRGetTRAQ2LutGridPosTable(const HXRLutSlc* s) {
    const HXRLutData* lut = colour_of(s);
    return lut ? lut->srcGridIndex : nullptr;
}

HXRLutSlc* HXRCreateTRAQ2LutSlcOnlyDbg(const HXRLutResParser* p, uint32_t mode, const _HXR_HALFTONE_INFO* ht,
                                       HXRMemMgr* mem) {
    if (!ht || !mem || (mode != 1 && mode != 2 && mode != 5)) return nullptr;
    auto* slice = static_cast<HXRLutSlc*>(HXRAllocMem(mem, sizeof(HXRLutSlc)));
    if (!slice) return nullptr;
    slice->table = HXRCreateTRAQ2LutColorDataOnlyDbg(p, ht->inkSet != 0, mem);
    if (!slice->table) {
        HXRFreeMem(mem, slice);
        return nullptr;
    }
    slice->type = kLutSlice3D;
    return slice;
}

uint32_t HXRSetTRAQ2LUTSlcPatternDitherUpperValue(HXRLutSlc* s, uint32_t value, uint32_t lutOrder) {
    HXRLutData* lut = colour_of(s);
    if (!lut || lutOrder >= kHxrMaxInks) return 0;
    lut->patternUpper[lutOrder] = value;
    return 1;
}

uint32_t HXRCheckTRAQ2LutColorDataDutyFactorParam(const uint32_t* block, const char* id) {
    return HXRCheckDutyFactorParam(block, id);
}
uint32_t HXRCheckTRAQ2LutSlcDutyFactorParam(const uint32_t* block, const char* id) {
    return HXRCheckTRAQ2LutColorDataDutyFactorParam(block, id);
}

uint32_t HXR8SetTRAQ2LutColorCopyAdditionalLUT(HXRLutData* lut, const HXRAdditionalLut* blob, uint32_t entryCount,
                                               const _HXR_OPTION_INFO* option, const char* id,
                                               const HXRClrMgr* clr, HXRMemMgr* mem) {
    if (!lut || !blob || !option || !clr || !mem) return 1;
    const uint32_t k = HXRGetLutColorNum(clr);
    if (k < 1) return 1;
    if (uint64_t(entryCount) * k != blob->size) return fail(kHxrAdditionalLutSize), 1;
    if (blob->size != 0 && !blob->data) return 1;
    Blocks blocks(mem);
    auto* copy = static_cast<HXRAdditionalLut*>(blocks.alloc(sizeof(HXRAdditionalLut)));
    uint8_t* bytes = static_cast<uint8_t*>(blocks.alloc(blob->size));
    if (!copy || !bytes) return 1;
    if (blob->size != 0) std::memcpy(bytes, blob->data, blob->size);
    *copy = {blob->size, bytes};
    if (HXRAdjsutDutyAdditionalLUT(copy, option->colorValue, id) != 0) return 1;
    if (lut->additional) {
        HXRFreeMem(mem, lut->additional->data);
        HXRFreeMem(mem, lut->additional);
    }
    lut->additional = copy;
    blocks.keep(copy);
    blocks.keep(bytes);
    return 0;
}

uint32_t HXR8SetTRAQ2LutSlcCopyAdditionalLUT(HXRLutSlc* s, const HXRAdditionalLut* blob, uint32_t entryCount,
                                             const _HXR_OPTION_INFO* option, const char* id, const HXRClrMgr* clr,
                                             HXRMemMgr* mem) {
    HXRLutData* lut = colour_of(s);
    if (!lut) return 1;
    return HXR8SetTRAQ2LutColorCopyAdditionalLUT(lut, blob, entryCount, option, id, clr, mem);
}
