#include "headcontrol/pmm_masks.h"

#include "headcontrol/codes.h"
#include "headcontrol/resource_stream.h"

#include <bit>
#include <cstddef>
#include <numeric>

namespace ovcg::irac {

namespace {

constexpr size_t kRotationRowBytes = 64;  // eight 8-byte groups
constexpr uint32_t kRotationSteps = 180;  // steps between the groups of a row
constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

// ---- Small helpers ---------------------------------------------------------------------

uint64_t base_pattern(const uint32_t* words, size_t at) { return uint64_t{words[at]} << 32 | words[at + 1]; }

void put_group(uint8_t* mask, uint8_t* complement, uint64_t x) {
    for (int i = 0; i < 8; ++i) {
        mask[i] = uint8_t(x >> (56 - 8 * i));
        complement[i] = uint8_t(~mask[i]);
    }
}

// The number of layer values the reader read (see the model reader).
uint64_t layer_value_total(const ICMResourceData& icm) {
    const uint64_t rows = icm.layerValueCount > 0 ? uint64_t(icm.layerValueCount) : 0;
    if (!(icm.functionFlags & kFnLayerValuesPerColour)) return rows;
    if (icm.functionFlags & kFnBlockE) return icm.blockE && icm.blockE->n > 0 ? rows * uint64_t(icm.blockE->n) : 0;
    return icm.nozzleArrayNum > 0 ? rows * uint64_t(icm.nozzleArrayNum) : 0;
}

// First index of `code` among n codes; 0 when absent.
uint32_t index_of(const uint8_t* codes, int32_t n, uint8_t code) {
    for (int32_t i = 0; i < n; ++i)
        if (codes[i] == code) return uint32_t(i);
    return 0;
}

uint16_t& cell(PassColorKindTable& t, uint32_t row, uint32_t col) { return t.entries[size_t(row) * t.colNum + col]; }

bool row_holds(const PassColorKindTable& t, uint32_t row, uint32_t value) {
    for (uint32_t c = 0; c < t.colNum; ++c)
        if (t.entries[size_t(row) * t.colNum + c] == value) return true;
    return false;
}

bool any_row_holds(const PassColorKindTable& t, uint32_t value) {
    for (uint32_t r = 0; r < t.rowNum; ++r)
        if (row_holds(t, r, value)) return true;
    return false;
}

void free_pattern(const CallbackTable& cb, POLMaskPattern& p) {
    release_ptr(cb, p.mask);
    release_ptr(cb, p.complement);
}

void free_patterns(const CallbackTable& cb, POLMaskPattern*& list, int32_t count) {
    if (!list) return;
    for (int32_t i = 0; i < count; ++i) free_pattern(cb, list[i]);
    release_ptr(cb, list);
}

void free_kind_table(const CallbackTable& cb, PassColorKindTable*& t) {
    if (!t) return;
    release_ptr(cb, t->entries);
    release_ptr(cb, t);
}

// The row level of grade g of G from the kind's 0x4000 range: the range
// split into G steps, at least 1.
int64_t range_level(const LayerKindInfo& kind, int64_t g, int64_t G) {
    const int64_t lo = kind.range[0], hi = kind.range[1];
    const int64_t span = hi + 1 - lo;
    const int64_t q = ((g + 1) * span) / G;
    int64_t level = q < span ? lo + q : (q == span ? hi : hi + 1);
    return level < 1 ? 1 : level;
}

// The threshold (dither) of grade g: the kind's value, or the range level.
int64_t grade_level(const LayerKindInfo& kind, int64_t g, int64_t G) {
    if (kind.values && g < kind.n) return kind.values[g];
    return range_level(kind, g, G);
}

// The base-word level (gradation) of grade g: the kind's value, or the
// range level less one.
int64_t base_level(const LayerKindInfo& kind, int64_t g, int64_t G) {
    if (kind.values && g < kind.n) return kind.values[g];
    return range_level(kind, g, G) - 1;
}

// Mask and complement arrays of `size` bytes: `code` when they cannot be had.
uint32_t alloc_rows(const CallbackTable& cb, POLMaskPattern& p, uint64_t size, uint32_t code) {
    if (size == 0) return 0;
    if (size > UINT32_MAX) return code;
    if (alloc_array(cb, size, code, p.mask) || alloc_array(cb, size, code, p.complement)) return code;
    p.size = static_cast<uint32_t>(size);
    return 0;
}

// ---- The four pattern kinds ----------------------------------------------------------------

struct OffsetSet {
    const uint8_t* t;
    uint32_t n;
    uint32_t multiplier;
    uint32_t modulus;  // of the period: 64 for kind 1, 32 for kind 2
};

uint32_t offsets_for(ICMResourceData& icm, bool table64, const CallbackTable& cb, OffsetSet& out) {
    const CountedArray<uint8_t>* table = nullptr;
    if (uint32_t rc = PMM_OffsetTable(icm, table64, cb, &table)) return rc;
    if (table->count < 1 || !table->items) return kPmmBadTable;
    out = {table->items, uint32_t(table->count), table64 ? 1u : 2u, table64 ? 64u : 32u};
    return 0;
}

uint32_t build_rotation(ICMResourceData& icm, const LayerKindInfo& kind, uint32_t G, const CallbackTable& cb,
                        POLMaskPattern& p) {
    const bool kind1 = kind.flags & kPolRotation64;
    OffsetSet o{};
    if (uint32_t rc = offsets_for(icm, kind1, cb, o)) return rc;
    const CountedArray<uint32_t>& base = kind1 ? icm.polBaseWordsB : icm.polBaseWordsC;
    if (base.count < 2 || !base.items) return kPmmBadTable;
    uint64_t sum = 0;
    for (uint32_t i = 0; i < o.n; ++i) sum += o.t[i];
    const uint32_t S = uint32_t(sum % o.modulus);
    const uint64_t period = S == 0 ? o.n : uint64_t{o.n} * (o.modulus / std::gcd(S, o.modulus));
    const uint32_t rows = uint32_t(period < G ? period : G);
    if (uint32_t rc = alloc_rows(cb, p, uint64_t{rows} * kRotationRowBytes, kPmmNoRotation)) return rc;
    uint64_t x = base_pattern(base.items, 0);
    for (uint32_t t = 0; t < rows + 7 * kRotationSteps; ++t) {
        x = std::rotr(x, int((o.t[t % o.n] * o.multiplier) % 64));
        for (uint32_t k = 0; k < 8; ++k) {
            if (t < k * kRotationSteps || t - k * kRotationSteps >= rows) continue;
            const size_t at = size_t(t - k * kRotationSteps) * kRotationRowBytes + 8 * k;
            put_group(p.mask + at, p.complement + at, x);
        }
    }
    p.rowBytes = int32_t(kRotationRowBytes);
    p.rowCount = int32_t(rows);
    p.blocks = 1;
    return 0;
}

uint32_t build_gradation(ICMResourceData& icm, const LayerKindInfo& kind, uint32_t G, const CallbackTable& cb,
                         POLMaskPattern& p) {
    OffsetSet o{};
    if (uint32_t rc = offsets_for(icm, kind.flags & kPolGradation64, cb, o)) return rc;
    const CountedArray<uint32_t>& a = icm.polBaseWordsA;
    const CountedArray<uint8_t>& dispersion = icm.polDispersionOffsets;
    if (dispersion.count < 1 || !dispersion.items || a.count < 2 || !a.items) return kPmmBadTable;
    for (uint32_t g = 0; g < G; ++g) {
        const int64_t L = base_level(kind, g, G);
        if (L < 0 || 2 * L + 1 >= a.count) return kPmmBadIndex;
    }
    const uint32_t blocks = uint32_t(dispersion.count);
    if (uint32_t rc = alloc_rows(cb, p, uint64_t{G} * blocks * kRotationRowBytes, kPmmNoGradation)) return rc;
    for (uint32_t d = 0; d < blocks; ++d) {
        uint32_t index = 0;
        for (uint32_t g = 0; g < G; ++g) {
            uint64_t x = base_pattern(a.items, size_t(2 * base_level(kind, g, G)));
            for (uint32_t k = 0; k < 8; ++k) {
                x = std::rotr(x, int(((o.t[index] + dispersion.items[d]) * o.multiplier) % 64));
                index = (index + 1) % o.n;
                const size_t at = (size_t(d) * G + g) * kRotationRowBytes + 8 * k;
                put_group(p.mask + at, p.complement + at, x);
            }
        }
    }
    p.rowBytes = int32_t(kRotationRowBytes);
    p.rowCount = int32_t(G);
    p.blocks = blocks;
    return 0;
}

// The record a dither or stored kind names, for rows of w bytes: 83 for
// rows of no bytes, 84 for an index beyond the list.
template <class T>
uint32_t kind_record(const CountedArray<T>& list, uint32_t w, uint32_t index, const T*& out) {
    if (w == 0) return kPmmBadTable;
    if (index >= uint32_t(list.count > 0 ? list.count : 0) || !list.items) return kPmmBadIndex;
    out = &list.items[index];
    return 0;
}

uint32_t build_dither(const ICMResourceData& icm, const LayerKindInfo& kind, uint32_t G, const CallbackTable& cb,
                      POLMaskPattern& p) {
    const uint32_t w = kind.ditherRowBytes;
    const MatrixRecord* record = nullptr;
    if (uint32_t rc = kind_record(icm.polThresholdMatrices, w, kind.ditherMatrix, record)) return rc;
    const MatrixRecord& m = *record;
    const uint32_t h = m.rows > 0 ? uint32_t(m.rows) : 0, c = m.columns;
    if (h * c == 0 || !m.data) return kPmmBadTable;
    const uint32_t b = icm.bitsPerPixel == 2 ? 2 : 1;
    const uint32_t onValue = (1u << b) - 1;
    const uint32_t pixels = (8 / b) * w, total = h * c;
    const uint32_t step = kind.ditherColumnStep;
    if (uint32_t rc = alloc_rows(cb, p, uint64_t{w} * G, kPmmNoDither)) return rc;
    for (uint32_t g = 0; g < G; ++g) {
        const uint8_t t = uint8_t(grade_level(kind, g, G));
        const bool inverted = g > G / 2;
        const uint32_t level = inverted ? G - g : g;
        const uint8_t threshold = inverted ? uint8_t(~t) : t;
        uint32_t runStart = (level % c) * h, inRun = 0;
        uint8_t* row = p.mask + size_t(g) * w;
        uint8_t* comp = p.complement + size_t(g) * w;
        uint32_t acc = 0;
        for (uint32_t px = 0; px < pixels; ++px) {
            const uint8_t v = m.data[runStart + inRun];
            const bool on = inverted ? v >= threshold : v < threshold;
            acc = (acc << b) | (on ? onValue : 0);
            if (++inRun == h) {
                inRun = 0;
                runStart = uint32_t((uint64_t{runStart} + uint64_t{step} * h) % total);
            }
            if ((px + 1) % (8 / b) == 0) {
                row[px / (8 / b)] = uint8_t(acc);
                comp[px / (8 / b)] = uint8_t(~acc);
                acc = 0;
            }
        }
    }
    p.rowBytes = int32_t(w);
    p.rowCount = int32_t(G);
    p.blocks = 1;
    return 0;
}

// Each bit of a nibble twice: bit 3 -> 0xC0, 2 -> 0x30, 1 -> 0x0C, 0 -> 0x03.
uint8_t double_bits(uint32_t nibble) {
    uint8_t out = 0;
    for (int bit = 0; bit < 4; ++bit)
        if (nibble & (1u << bit)) out = uint8_t(out | (3u << (2 * bit)));
    return out;
}

uint32_t build_stored(const ICMResourceData& icm, const LayerKindInfo& kind, uint32_t G, const CallbackTable& cb,
                      POLMaskPattern& p) {
    const uint32_t w = kind.storedRowBytes;
    const TaggedBytesRecord* record = nullptr;
    if (uint32_t rc = kind_record(icm.polStoredPatterns, w, kind.storedRecord, record)) return rc;
    const TaggedBytesRecord& rec = *record;
    const uint32_t r = rec.rows, k = rec.columns > 0 ? uint32_t(rec.columns) : 0;
    if (r == 0 || !rec.data) return kPmmBadTable;
    if (G > k / 2) return kPmmStoredTooShort;
    if (uint32_t rc = alloc_rows(cb, p, uint64_t{w} * G, kPmmNoStored)) return rc;
    const bool twoBits = icm.bitsPerPixel == 2;
    const uint8_t* data = rec.data;
    const size_t half = size_t(k / 2) * r;
    for (uint32_t g = 0; g < G; ++g) {
        uint8_t* row = p.mask + size_t(g) * w;
        uint8_t* comp = p.complement + size_t(g) * w;
        for (uint32_t i = 0; i < w; ++i) {
            if (!twoBits) {
                row[i] = data[size_t(g) * r + i % r];
                comp[i] = data[half + size_t(g) * r + i % r];
                continue;
            }
            // Output pairs from one source byte: high nibble first.
            const size_t at = size_t(g) * r + (i / 2) % r;
            const uint32_t shift = i % 2 ? 0 : 4;
            row[i] = double_bits((data[at] >> shift) & 0xF);
            comp[i] = double_bits((data[half + at] >> shift) & 0xF);
        }
    }
    p.rowBytes = int32_t(w);
    p.rowCount = int32_t(G);
    p.blocks = 1;
    return 0;
}

// ---- The pass-colour kind table and the per-colour kind table --------------------------------

uint32_t check_mode_bytes(const ICMResourceData& icm) {
    return icm.nozzleArrayNum < 1 || icm.modeByteCount < icm.nozzleArrayNum || !icm.modeBytes ? kPmmBadIndex : 0;
}

bool needs_colour_kinds(const ICMResourceData& icm) {
    for (int32_t i = 0; i < icm.layerKindCount; ++i)
        if (icm.layerKinds[i].flags & kPolColourKinds) return true;
    return false;
}

uint32_t fill_colour_kinds(POLMaskWork* w, const ICMResourceData& icm, const PmmPageColours& page) {
    const CallbackTable& cb = *w->cb;
    if (uint32_t rc = check_mode_bytes(icm)) return rc;
    const uint32_t arrays = uint32_t(icm.nozzleArrayNum);
    const uint32_t rows = uint32_t(icm.modeByteCount) / arrays;
    if ((icm.functionFlags & kFnBlockE) || !w->colourKinds || w->colourKindColours < page.count ||
        w->colourKindRows != rows) {
        release_ptr(cb, w->colourKinds);
        if (alloc_array(cb, uint64_t{page.count} * rows, kPmmNoColourKinds, w->colourKinds)) return kPmmNoColourKinds;
        w->colourKindColours = page.count;
        w->colourKindRows = static_cast<uint16_t>(rows);
    }
    if (w->colourKinds) cb.fill(w->colourKinds, 0, uint32_t(w->colourKindColours) * rows);
    for (uint32_t c = 0; c < page.count; ++c) {
        const uint32_t j = index_of(icm.colorOrderOfHeads, icm.colorOrderOfHeadsNum, page.codes[c]);
        for (uint32_t k = 0; k < rows; ++k) {
            const uint64_t at = k == 0 ? j : uint64_t{arrays} * (k < rows - 1 ? k : rows - 1) + j;
            if (at >= uint64_t(icm.modeByteCount)) return kPmmBadIndex;
            w->colourKinds[size_t(c) * rows + k] = icm.modeBytes[at];
        }
    }
    return 0;
}

// Two kinds serve the same F-trans overlap when their kind-specific blocks agree.
bool same_kind(const LayerKindInfo& a, const LayerKindInfo& b) {
    if (a.flags != b.flags) return false;
    const bool range = a.range[0] == b.range[0] && a.range[1] == b.range[1];
    if (a.flags & (kPolGradation64 | kPolGradation32)) return range;
    if (a.flags & kKindDither)
        return range && a.ditherMatrix == b.ditherMatrix && a.ditherColumnStep == b.ditherColumnStep;
    if (a.flags & kKindStored) return a.storedRowBytes == b.storedRowBytes && a.storedRecord == b.storedRecord;
    return true;
}

int32_t ftrans_passes(const PmmPassEngine& e) { return e.ftransCalcPassNum ? e.ftransCalcPassNum(e.engine) : 0; }

// The grade count of pattern entry `index` built from `kind`.
uint32_t grades_of(const POLMaskWork& w, const ICMResourceData& icm, const PmmPassEngine& engine, uint32_t index,
                   const LayerKindInfo& kind) {
    if (kind.n > 0) return uint32_t(kind.n);
    const PassColorKindTable* t = w.kindTable;
    if (!t || ftrans_passes(engine) <= 0) return 0;
    const uint32_t i0 = engine.ftransCalcPolIndex(engine.engine);
    if (i0 < t->rowNum && row_holds(*t, i0, index)) return engine.ftransCalcPol(engine.engine, uint16_t(i0));
    for (uint32_t r = uint32_t(icm.layerValueCount); r < t->rowNum; ++r)
        if (row_holds(*t, r, index)) return engine.ftransCalcPol(engine.engine, uint16_t(r));
    return 0;
}

}  // namespace

bool PMM_CheckKindPOLMaskPatternExists(uint16_t flags) { return flags & kPolPatternKinds; }
bool PMM_CheckKindGradationDispersionPOL(uint16_t flags) { return flags & (kPolGradation64 | kPolGradation32); }
uint32_t PMM_CountPOLMaskSetNum(const POLMaskWork*) { return 0xFFFFFFFFu; }

uint32_t PMM_OffsetTable(ICMResourceData& icm, bool table64, const CallbackTable& cb,
                         const CountedArray<uint8_t>** out) {
    CountedArray<uint8_t>& t = table64 ? icm.polOffsetTable64 : icm.polOffsetTable32;
    *out = &t;
    if (t.count > 0 && t.items) return 0;
    const uint32_t modulus = table64 ? 64 : 32;
    const uint32_t code = table64 ? kPmmNoOffsets64 : kPmmNoOffsets32;
    uint8_t* items = nullptr;
    if (alloc_array(cb, modulus - 1, code, items)) return code;
    // x = 13 x + 7 visits every residue once: the non-zero ones in order.
    uint32_t x = modulus - 1, n = 0;
    for (uint32_t i = 0; i < modulus; ++i) {
        x = (13 * x + 7) % modulus;
        if (x != 0 && n < modulus - 1) items[n++] = uint8_t(x);
    }
    release_ptr(cb, t.items);
    t.items = items;
    t.count = int16_t(n);
    return 0;
}

uint32_t PMM_Alloc_POLMaskWork(POLMaskWork* w, int16_t layerKindCount, const LayerKindInfo* kinds,
                               uint16_t colorNum, const CallbackTable* cb) {
    if (!w || !cb) return kPmmNoWork;
    w->cb = cb;
    const LayerKindInfo* simple = nullptr;
    for (int32_t i = 0; i < layerKindCount && kinds && !simple; ++i)
        if (kinds[i].flags & kPolSimple) simple = &kinds[i];
    if (!simple) return 0;
    if (simple->n > 1) return kPmmSimpleCount;
    if (simple->n < 1 || !simple->values) return 0;
    if (alloc_array(*cb, 1, kPmmNoWork, w->simpleValues)) return kPmmNoWork;
    w->simpleValues[0] = simple->values[0];
    w->simpleValueCount = 1;
    w->simpleComplement = uint16_t(~simple->values[0]);
    if (alloc_array(*cb, colorNum, kPmmNoWork, w->maskWord) ||
        alloc_array(*cb, colorNum, kPmmNoWork, w->complementWord))
        return kPmmNoWork;
    w->colorNum = colorNum;
    w->baseWord = uint32_t(simple->values[0] & 0xFF) * 0x01010101u;
    for (uint32_t c = 0; c < colorNum; ++c) {
        w->maskWord[c] = w->baseWord;
        w->complementWord[c] = ~w->baseWord;
    }
    return 0;
}

void PMM_ShiftPOLMaskPattern(POLMaskWork* w, uint16_t colorNum, uint16_t bitsPerPixel, uint32_t d, uint32_t p) {
    if (!w || !w->maskWord || colorNum < 1 || d == 0) return;
    const uint32_t planes = colorNum < w->colorNum ? colorNum : w->colorNum;
    for (uint32_t c = 0; c < planes; ++c) {
        const uint32_t s = (p / d + (c < p % d ? 1 : 0)) * bitsPerPixel;
        w->maskWord[c] = std::rotr(w->baseWord, int(s % 32));
        w->complementWord[c] = ~w->maskWord[c];
    }
}

uint32_t PMM_Alloc_CRPMTable(bool perColour, bool useBlockE, PassColorKindTable** out, const PmmPageColours& page,
                             const ICMResourceData& icm, const PmmPassEngine& engine, const CallbackTable& cb) {
    free_kind_table(cb, *out);
    const uint32_t values = icm.layerValueCount > 0 ? uint32_t(icm.layerValueCount) : 0;
    const uint32_t colNum = perColour ? page.count : 1;
    const int32_t F = ftrans_passes(engine);
    const uint32_t extra = F > 0 ? uint32_t(F - 1) : 0;
    const uint32_t i0 = F > 0 ? engine.ftransCalcPolIndex(engine.engine) : kNoIndex;
    const uint64_t rowNum = uint64_t{values} + extra;
    if (rowNum >= kPolNone || (F > 0 && i0 >= rowNum)) return kPmmBadIndex;
    PassColorKindTable* t = nullptr;
    if (alloc_record(cb, kPmmNoKindTable, t)) return kPmmNoKindTable;
    *out = t;
    t->rowNum = uint16_t(rowNum);
    t->colNum = uint16_t(colNum);
    if (alloc_array(cb, rowNum * colNum, kPmmNoKindTable, t->entries)) return kPmmNoKindTable;
    for (uint64_t i = 0; i < rowNum * colNum; ++i) t->entries[i] = kPolNone;
    const uint64_t total = layer_value_total(icm);
    if (perColour) {
        const uint8_t* list = useBlockE ? (icm.blockE ? icm.blockE->rowCodes : nullptr) : icm.colorOrderOfHeads;
        const int32_t listLength = useBlockE ? (icm.blockE ? icm.blockE->n : 0) : icm.nozzleArrayNum;
        if (!list || listLength < 1) return kPmmBadIndex;
        for (uint32_t c = 0; c < colNum; ++c) {
            const uint32_t j = index_of(list, listLength, page.codes[c]);
            for (uint32_t r = 0; r < values; ++r) {
                const uint64_t at = uint64_t{r} * uint32_t(listLength) + j;
                if (at >= total) return kPmmBadIndex;
                cell(*t, r, c) = icm.layerValues[at];
            }
        }
    } else {
        if (total < values) return kPmmBadIndex;
        for (uint32_t r = 0; r < values; ++r) cell(*t, r, 0) = icm.layerValues[r];
    }
    if (extra > 0) {
        uint32_t distinct = colNum;
        for (uint32_t c = 0; c < colNum; ++c)
            for (uint32_t later = c + 1; later < colNum; ++later)
                if (cell(*t, i0, later) == cell(*t, i0, c)) {
                    --distinct;
                    break;
                }
        if (engine.setFtransCalcPolIndex) engine.setFtransCalcPolIndex(engine.engine, uint16_t(values));
        const uint64_t rows = uint64_t{distinct} * extra;
        if (rows >= kPolNone) return kPmmBadIndex;
        t->ftransRows = uint16_t(rows);
    }
    return 0;
}

uint32_t PMM_Alloc_DisPOLMask(POLMaskWork* w, const ICMResourceData& icm, const PmmPassEngine& engine) {
    const CallbackTable& cb = *w->cb;
    const PassColorKindTable& t = *w->kindTable;
    const uint32_t count = uint32_t(t.ftransRows) + uint32_t(icm.layerValueCount > 0 ? icm.layerValueCount : 0);
    w->patterns = nullptr;
    w->patternCount = 0;
    if (alloc_array(cb, count, kPmmNoPatternList, w->patterns)) return kPmmNoPatternList;
    w->patternCount = int32_t(count);
    for (uint32_t i = 0; i < count; ++i) {
        w->patterns[i].layerKind = -1;
        w->patterns[i].rowCount = -1;
    }
    for (uint32_t r = 0; r < t.rowNum; ++r) {
        if (!engine.findPolIndex || !engine.findPolIndex(engine.engine, uint16_t(r))) continue;
        for (uint32_t c = 0; c < t.colNum; ++c) {
            const uint32_t v = t.entries[size_t(r) * t.colNum + c];
            if (v == kPolNone) continue;
            // A kind index names a layer kind and its own pattern entry.
            if (v >= count || v >= uint32_t(icm.layerKindCount)) return kPmmBadIndex;
            w->patterns[v].layerKind = int16_t(v);
            w->patterns[v].flags = icm.layerKinds[v].flags;
        }
    }
    return 0;
}

uint32_t PMM_SetInfo_FtransPOLMask(POLMaskWork* w, const ICMResourceData& icm, const PmmPassEngine& engine) {
    PassColorKindTable& t = *w->kindTable;
    const uint32_t i0 = engine.ftransCalcPolIndex(engine.engine);
    if (i0 >= t.rowNum) return kPmmBadIndex;
    const uint32_t width = engine.ftransCalcPol(engine.engine, uint16_t(i0));
    if (w->ftrans) *w->ftrans = {i0, width, ftrans_passes(engine)};
    const uint32_t kinds = uint32_t(icm.layerKindCount > 0 ? icm.layerKindCount : 0);
    const uint32_t values = uint32_t(icm.layerValueCount > 0 ? icm.layerValueCount : 0);
    uint32_t next = kinds;  // pattern entries of the further F-trans rows
    for (uint32_t c = 0; c < t.colNum; ++c) {
        const uint32_t v = cell(t, i0, c);
        if (v == kPolNone) continue;
        bool earlier = false;
        for (uint32_t e = 0; e < c && !earlier; ++e) earlier = cell(t, i0, e) == v;
        if (earlier) continue;
        if (v >= kinds || v >= uint32_t(w->patternCount)) return kPmmBadIndex;
        const LayerKindInfo& kv = icm.layerKinds[v];
        // Each further F-trans row gets its own entry of kind v in the
        // columns where row i0 names v.
        for (uint32_t row = values; row < t.rowNum; ++row) {
            if (next >= uint32_t(w->patternCount) || next >= kPolNone) return kPmmBadIndex;
            for (uint32_t k = c; k < t.colNum; ++k)
                if (cell(t, i0, k) == v) cell(t, row, k) = uint16_t(next);
            w->patterns[next].layerKind = int16_t(v);
            w->patterns[next].flags = kv.flags;
            ++next;
        }
        // A kind of the same make whose value count is the overlap width
        // serves row i0 instead; never v itself, whose entry the row names.
        for (uint32_t j = 0; j < kinds && j < uint32_t(w->patternCount); ++j) {
            if (j == v || w->patterns[j].layerKind == -1) continue;
            const LayerKindInfo& kj = icm.layerKinds[j];
            if (kj.n < 0 || uint32_t(kj.n) != width || !same_kind(kj, kv)) continue;
            for (uint32_t k = c; k < t.colNum; ++k)
                if (cell(t, i0, k) == v) cell(t, i0, k) = uint16_t(j);
            // Freed only when no row names it any more.
            if (!any_row_holds(t, v)) w->patterns[v].layerKind = -1;
            break;
        }
    }
    return 0;
}

uint32_t PMM_Make_POLMaskPattern(const CallbackTable& cb, ICMResourceData& icm, const PmmPassEngine& engine,
                                 POLMaskWork* w, POLMaskPattern* previous, int32_t previousCount) {
    for (int32_t e = 0; e < w->patternCount; ++e) {
        POLMaskPattern& p = w->patterns[e];
        if (p.layerKind < 0 || p.layerKind >= icm.layerKindCount) continue;
        const LayerKindInfo& kind = icm.layerKinds[p.layerKind];
        const uint32_t G = grades_of(*w, icm, engine, uint32_t(e), kind);
        if (G == 0) continue;
        if (kind.n > 0 && previous) {
            bool moved = false;
            for (int32_t i = 0; i < previousCount && !moved; ++i) {
                POLMaskPattern& old = previous[i];
                if (old.layerKind != p.layerKind || old.rowCount < 0 || !old.mask) continue;
                free_pattern(cb, p);
                p = old;
                old.mask = old.complement = nullptr;
                old.layerKind = -1;
                moved = true;
            }
            if (moved) continue;
        }
        free_pattern(cb, p);
        uint32_t rc = 0;
        if (kind.flags & (kPolGradation64 | kPolGradation32)) {
            rc = build_gradation(icm, kind, G, cb, p);
        } else if (kind.flags & (kPolRotation64 | kPolRotation32)) {
            rc = build_rotation(icm, kind, G, cb, p);
        } else if (kind.flags & kKindDither) {
            rc = build_dither(icm, kind, G, cb, p);
        } else if (kind.flags & kKindStored) {
            rc = build_stored(icm, kind, G, cb, p);
        }
        if (rc) return rc;
    }
    return 0;
}

uint32_t PMM_Alloc_POLMaskPattern(POLMaskWork* w, ICMResourceData* icm, const PmmPassEngine& engine,
                                  uint16_t jobColours) {
    if (!w || !w->cb || !icm) return kPmmNoWork;
    if (icm->layerValueCount <= 0) return 0;
    const CallbackTable& cb = *w->cb;
    if (needs_colour_kinds(*icm)) {
        if (uint32_t rc = check_mode_bytes(*icm)) return rc;
        w->colourKindsNeeded = true;
        if (!(icm->functionFlags & kFnBlockE)) {
            const uint32_t rows = uint32_t(icm->modeByteCount) / uint32_t(icm->nozzleArrayNum);
            if (alloc_array(cb, uint64_t{jobColours} * rows, kPmmNoColourKinds, w->colourKinds))
                return kPmmNoColourKinds;
            w->colourKindColours = jobColours;
            w->colourKindRows = uint16_t(rows);
        }
    }
    if (alloc_record(cb, kPmmNoFtransRecord, w->ftrans)) return kPmmNoFtransRecord;
    if (icm->functionFlags & kFnLayerValuesPerColour) return 0;
    const PmmPageColours none{0, nullptr};
    if (uint32_t rc = PMM_Alloc_CRPMTable(false, false, &w->kindTable, none, *icm, engine, cb)) return rc;
    if (uint32_t rc = PMM_Alloc_DisPOLMask(w, *icm, engine)) return rc;
    if (ftrans_passes(engine) > 0)
        if (uint32_t rc = PMM_SetInfo_FtransPOLMask(w, *icm, engine)) return rc;
    return PMM_Make_POLMaskPattern(cb, *icm, engine, w, nullptr, 0);
}

uint32_t PMM_ReAlloc_POLMaskPattern(POLMaskWork* w, ICMResourceData* icm, const PmmPassEngine& engine,
                                    const PmmPageColours& page) {
    if (!w || !w->cb || !icm) return kPmmNoWork;
    if (icm->layerValueCount <= 0) return 0;
    const CallbackTable& cb = *w->cb;
    if (page.count && !page.codes) return kPmmBadIndex;
    if (w->colourKindsNeeded)
        if (uint32_t rc = fill_colour_kinds(w, *icm, page)) return rc;
    const bool perColour = icm->functionFlags & kFnLayerValuesPerColour;
    if (!perColour && ftrans_passes(engine) <= 0) return 0;
    POLMaskPattern* previous = w->patterns;
    const int32_t previousCount = w->patternCount;
    w->patterns = nullptr;
    w->patternCount = 0;
    uint32_t rc = PMM_Alloc_CRPMTable(perColour, icm->functionFlags & kFnBlockE, &w->kindTable, page, *icm, engine, cb);
    if (!rc) rc = PMM_Alloc_DisPOLMask(w, *icm, engine);
    if (!rc && ftrans_passes(engine) > 0) rc = PMM_SetInfo_FtransPOLMask(w, *icm, engine);
    if (!rc) rc = PMM_Make_POLMaskPattern(cb, *icm, engine, w, previous, previousCount);
    free_patterns(cb, previous, previousCount);
    return rc;
}

void PMM_Free_POLMaskWork(POLMaskWork* w) {
    if (!w || !w->cb) return;
    const CallbackTable& cb = *w->cb;
    release_ptr(cb, w->simpleValues);
    release_ptr(cb, w->maskWord);
    release_ptr(cb, w->complementWord);
    free_patterns(cb, w->patterns, w->patternCount);
    w->patternCount = 0;
    free_kind_table(cb, w->kindTable);
    release_ptr(cb, w->colourKinds);
    release_ptr(cb, w->ftrans);
}

}  // namespace ovcg::irac
