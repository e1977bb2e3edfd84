#include "headcontrol/head_tables.h"

#include <algorithm>
#include <limits>

namespace ovcg::irac {

namespace {

template <class T>
void free_pointer_table(const CallbackTable& cb, T**& table, int32_t count) {
    if (!table) return;
    for (int32_t i = 0; i < count; ++i) release_ptr(cb, table[i]);
    release_ptr(cb, table);
}

// The line carrying a colour code: the first match, line 0 when none; -1
// when the table has no lines to look in.
int32_t line_of(uint8_t code, int16_t lineNum, const uint8_t* codes) {
    if (lineNum < 1 || !codes) return -1;
    for (int32_t i = 0; i < lineNum; ++i)
        if (codes[i] == code) return i;
    return 0;
}

// The per-line colour codes of YDS, NLM and RLS share one setter pair.
struct OrderCodes {
    uint32_t too_few, split_no_arrays, split_too_few;
};
constexpr OrderCodes kYdsOrder{kYdsTooFewCodes, kYdsSplitNoArrays, kYdsSplitTooFewCodes};
constexpr OrderCodes kNlmOrder{kNlmTooFewCodes, kNlmSplitNoArrays, kNlmSplitTooFewCodes};
constexpr OrderCodes kRlsOrder{kRlsTooFewCodes, kRlsSplitNoArrays, kRlsSplitTooFewCodes};

uint32_t set_order(int32_t n, const uint8_t* codes, int16_t lineNum, uint8_t* out, const OrderCodes& rc) {
    if (lineNum < 1 || !out) return 0;
    if (lineNum > n || !codes) return rc.too_few;
    // The last lineNum codes, reversed.
    for (int32_t i = 0; i < lineNum; ++i) out[i] = codes[n - 1 - i];
    return 0;
}

// Checks a split order; 0 with `write` true when the lines are to be set.
uint32_t check_split(int32_t arrays, int32_t split, const uint8_t* codes, int16_t lineNum, const uint8_t* out,
                     const OrderCodes& rc, bool& write) {
    write = false;
    if (lineNum < 1 || !out) return 0;
    const int64_t total = int64_t{arrays} * split;
    if (arrays < 0 || split < 0 || total < lineNum) return arrays == 0 ? rc.split_no_arrays : rc.split_too_few;
    if (!codes) return rc.split_too_few;
    write = true;
    return 0;
}

void write_split(int32_t arrays, int32_t split, const uint8_t* codes, int16_t lineNum, uint8_t* out) {
    for (int32_t i = 0; i < arrays; ++i) {
        for (int32_t k = 0; k < split; ++k) {
            const int64_t line = int64_t{i} * split + k;
            if (line >= lineNum) return;  // groups in line order: nothing further fits
            out[line] = codes[int64_t{arrays - 1 - i} * split + k];
        }
    }
}

uint32_t split_order(int32_t arrays, int32_t split, const uint8_t* codes, int16_t lineNum, uint8_t* out,
                     const OrderCodes& rc) {
    bool write = false;
    if (uint32_t e = check_split(arrays, split, codes, lineNum, out, rc, write)) return e;
    if (write) write_split(arrays, split, codes, lineNum, out);
    return 0;
}

// Per-line arrays of the Prepare operations.
uint32_t prepare_lines(const CallbackTable& cb, int16_t lineNum, uint16_t*& kinds, uint32_t kinds_code,
                       uint8_t*& colors, uint32_t colors_code) {
    if (lineNum < 0) return kRscBadValue;
    if (uint32_t e = alloc_array(cb, uint64_t(lineNum), kinds_code, kinds)) return e;
    return alloc_array(cb, uint64_t(lineNum), colors_code, colors);
}

void free_lht_nozzle_arrays(LhtTable* t) {
    free_pointer_table(*t->cb, t->layerOfNozzle, t->virtualNozzleArrayNum);
    free_pointer_table(*t->cb, t->halftoneIndexOfNozzle, t->virtualNozzleArrayNum);
    t->nozzleNum = 0;
}

void free_lht_layers(LhtTable* t) {
    free_pointer_table(*t->cb, t->layerStart, t->virtualNozzleArrayNum);
    free_pointer_table(*t->cb, t->halftoneIndex, t->virtualNozzleArrayNum);
    t->layerNum = 0;
}

}  // namespace

// ---- Life cycle -------------------------------------------------------------------

uint32_t LHT_Allocate(LhtTable** out, const CallbackTable* cb) { return allocate_owned(out, cb, kLhtNoTable); }
uint32_t SSS_Allocate(SssTable** out, const CallbackTable* cb) { return allocate_owned(out, cb, kSssNoTable); }
uint32_t YDS_Allocate(YdsTable** out, const CallbackTable* cb) { return allocate_owned(out, cb, kYdsNoTable); }
uint32_t NLM_Allocate(NlmTable** out, const CallbackTable* cb) { return allocate_owned(out, cb, kNlmNoTable); }
uint32_t RLS_Allocate(RlsTable** out, const CallbackTable* cb) { return allocate_owned(out, cb, kRlsNoTable); }

void LHT_Free(LhtTable** table, const CallbackTable* cb) {
    if (!table || !*table || !cb) return;
    LhtTable* t = *table;
    free_lht_nozzle_arrays(t);
    free_lht_layers(t);
    release_ptr(*cb, *table);
}

void SSS_Free(SssTable** table, const CallbackTable* cb) {
    if (!table || !*table || !cb) return;
    release_ptr(*cb, (*table)->shifts);
    release_ptr(*cb, *table);
}

void YDS_FreeArrayOfInputCorrection(YdsTable* t) {
    if (!t) return;
    free_pointer_table(*t->cb, t->numerators, t->columnNum);
    free_pointer_table(*t->cb, t->denominators, t->columnNum);
    t->columnNum = 0;
    t->valuesPerColumn = 0;
}

void YDS_Free(YdsTable** table, const CallbackTable* cb) {
    if (!table || !*table || !cb) return;
    YdsTable* t = *table;
    YDS_FreeArrayOfInputCorrection(t);
    release_ptr(*cb, t->headColumnOfLine);
    release_ptr(*cb, t->colorCodeOfLine);
    release_ptr(*cb, t->correction);
    release_ptr(*cb, *table);
}

void NLM_Free(NlmTable** table, const CallbackTable* cb) {
    if (!table || !*table || !cb) return;
    NlmTable* t = *table;
    release_ptr(*cb, t->headKindOfLine);
    release_ptr(*cb, t->colorCodeOfLine);
    release_ptr(*cb, t->chips1);
    release_ptr(*cb, t->chips2);
    release_ptr(*cb, t->verticalShiftOfLine);
    release_ptr(*cb, *table);
}

void RLS_Free(RlsTable** table, const CallbackTable* cb) {
    if (!table || !*table || !cb) return;
    RlsTable* t = *table;
    if (t->timings) {
        for (int32_t i = 0; i < t->timingNum; ++i) release_ptr(*cb, t->timings[i].areas);
        release_ptr(*cb, t->timings);
    }
    release_ptr(*cb, t->headKindOfLine);
    release_ptr(*cb, t->colorCodeOfLine);
    release_ptr(*cb, t->kind2Lines);
    release_ptr(*cb, *table);
}

// ---- Loaders ----------------------------------------------------------------------

uint32_t YDS_PrepareBeforeLoadingResource(int16_t lineNum, bool resolutionExists, bool headColumnExists,
                                          YdsTable* t) {
    if (!t) return kYdsNoTable;
    t->lineNum = lineNum;
    t->resolutionExists = resolutionExists;
    t->headColumnExists = headColumnExists;
    t->valid = resolutionExists && headColumnExists;
    return prepare_lines(*t->cb, lineNum, t->headColumnOfLine, kYdsNoHeadColumns, t->colorCodeOfLine,
                         kYdsNoColorCodes);
}

uint32_t NLM_PrepareBeforeLoadingResource(int16_t headNum, int16_t lineNum, bool exists, NlmTable* t) {
    if (!t) return kNlmNoTable;
    t->headNum = headNum;
    t->lineNum = lineNum;
    t->headKindExists = exists;
    t->valid = exists;
    return prepare_lines(*t->cb, lineNum, t->headKindOfLine, kNlmNoHeadKinds, t->colorCodeOfLine,
                         kNlmNoColorCodes);
}

uint32_t RLS_PrepareBeforeLoadingModelResource(int16_t lineNum, bool exists, RlsTable* t) {
    if (!t) return kRlsNoTable;
    t->lineNum = lineNum;
    t->headKindExists = exists;
    t->valid = exists;
    return prepare_lines(*t->cb, lineNum, t->headKindOfLine, kRlsNoHeadKinds, t->colorCodeOfLine,
                         kRlsNoColorCodes);
}

uint32_t YDS_LoadResolutionBetweenNozzles(ByteCursor& c, YdsTable* t) {
    if (!t || !t->resolutionExists) return 0;
    if (!c.u16le(t->resolutionBetweenNozzles)) return kRscBadResource;
    t->effectiveResolution = t->resolutionBetweenNozzles;
    return 0;
}

uint32_t YDS_LoadHeadColumnOfNozzleLine(ByteCursor& c, YdsTable* t) {
    if (!t || !t->headColumnExists || t->lineNum < 1) return 0;
    return read_into(c, uint64_t(t->lineNum), t->headColumnOfLine);
}

uint32_t NLM_LoadHeadKindOfNozzleLine(ByteCursor& c, NlmTable* t) {
    if (!t || !t->headKindExists || t->lineNum < 1) return 0;
    if (uint32_t e = read_into(c, uint64_t(t->lineNum), t->headKindOfLine)) return e;
    for (int32_t i = 0; i < t->lineNum; ++i)
        if (t->headKindOfLine[i] == 2) t->hasKind2Line = 1;
    return 0;
}

uint32_t RLS_CopyHeadKindOfNozzleLine(const uint16_t* kinds, int16_t lineNum, bool exists, RlsTable* t) {
    if (!t || !exists || !kinds || !t->headKindOfLine) return 0;
    const int32_t n = std::min<int32_t>(lineNum, t->lineNum);
    int32_t kind2 = 0;
    for (int32_t i = 0; i < n; ++i) {
        t->headKindOfLine[i] = kinds[i];
        if (kinds[i] == 2) ++kind2;
    }
    release_ptr(*t->cb, t->kind2Lines);
    t->kind2LineNum = 0;
    if (uint32_t e = alloc_array(*t->cb, uint64_t(kind2), kRlsNoKind2Lines, t->kind2Lines)) return e;
    for (int32_t i = 0; i < n; ++i)
        if (kinds[i] == 2) t->kind2Lines[t->kind2LineNum++] = static_cast<uint16_t>(i);
    return 0;
}

uint32_t LHT_LoadFromResource(ByteCursor& c, ModelFormat format, LhtTable* t) {
    if (!t || !t->enabled) return 0;
    free_lht_layers(t);
    int16_t layers = 0;
    if (uint32_t e = read_count(c, layers)) return e;
    const int32_t arrays = std::max<int16_t>(t->virtualNozzleArrayNum, 0);
    // Both tables of every array, checked before anything is allocated.
    if (!has_room(c, uint64_t(arrays) * uint64_t(layers), 4)) return kRscBadResource;
    t->layerNum = layers;
    if (arrays > 0 && layers > 0) {
        if (uint32_t e = alloc_array(*t->cb, uint64_t(arrays), kLhtNoStartTable, t->layerStart)) return e;
        for (int32_t a = 0; a < arrays; ++a)
            if (uint32_t e = read_array(c, *t->cb, uint64_t(layers), kLhtNoStarts, t->layerStart[a])) return e;
        if (uint32_t e = alloc_array(*t->cb, uint64_t(arrays), kLhtNoHalftoneTable, t->halftoneIndex)) return e;
        for (int32_t a = 0; a < arrays; ++a)
            if (uint32_t e = read_array(c, *t->cb, uint64_t(layers), kLhtNoHalftones, t->halftoneIndex[a]))
                return e;
    }
    if (format.f13() && !c.u8(t->stackedHTEachNozzleLine)) return kRscBadResource;
    return 0;
}

uint32_t SSS_LoadFromResource(ByteCursor& c, SssTable* t) {
    if (!t || !t->enabled) return 0;
    release_ptr(*t->cb, t->shifts);
    t->shiftNum = 0;
    if (!c.u16le(t->shiftResolution)) return kRscBadResource;
    int16_t n = 0;
    if (uint32_t e = read_count(c, n)) return e;
    if (uint32_t e = read_array(c, *t->cb, uint64_t(n), kSssNoShifts, t->shifts)) return e;
    t->shiftNum = n;
    return 0;
}

uint32_t RLS_LoadNozzleAreaOfEachDischargeTiming(ByteCursor& c, RlsTable* t) {
    if (!t || !t->areasExist) return 0;
    int16_t n = 0;
    if (uint32_t e = read_count(c, n)) return e;
    // Each timing holds at least its own count.
    if (!has_room(c, uint64_t(n), 2)) return kRscBadResource;
    if (uint32_t e = alloc_array(*t->cb, uint64_t(n), kRlsNoTimings, t->timings)) return e;
    t->timingNum = n;
    for (int32_t i = 0; i < n; ++i) {
        NozzleAreaList& list = t->timings[i];
        int16_t k = 0;
        if (uint32_t e = read_count(c, k)) return e;
        if (uint32_t e = read_array(c, *t->cb, uint64_t(k), kRlsNoAreas, list.areas)) return e;
        list.n = k;
    }
    return 0;
}

// ---- Switches ---------------------------------------------------------------------

void LHT_SetOnOff(bool on, LhtTable* t) {
    if (t) t->enabled = on;
}

void LHT_SetVirtualNozzleArrayNum(int16_t num, LhtTable* t) {
    if (!t || num == t->virtualNozzleArrayNum) return;
    // The per-array data are sized by the count: they go with it.
    free_lht_nozzle_arrays(t);
    free_lht_layers(t);
    t->virtualNozzleArrayNum = num;
}

void SSS_SetOnOff(bool on, SssTable* t) {
    if (t) t->enabled = on;
}

void RLS_SetArrayOfNozzleAreaOfDischargeTimingExistence(bool on, RlsTable* t) {
    if (t) t->areasExist = on;
}

// ---- Colour order -------------------------------------------------------------------

uint32_t YDS_SetTraqColorCodeInOrderOfNozzleLine(int32_t n, const uint8_t* codes, YdsTable* t) {
    return t ? set_order(n, codes, t->lineNum, t->colorCodeOfLine, kYdsOrder) : kYdsNoTable;
}
uint32_t NLM_SetTraqColorCodeInOrderOfNozzleLine(int32_t n, const uint8_t* codes, NlmTable* t) {
    return t ? set_order(n, codes, t->lineNum, t->colorCodeOfLine, kNlmOrder) : kNlmNoTable;
}
uint32_t RLS_SetTraqColorCodeInOrderOfNozzleLine(int32_t n, const uint8_t* codes, RlsTable* t) {
    return t ? set_order(n, codes, t->lineNum, t->colorCodeOfLine, kRlsOrder) : kRlsNoTable;
}

uint32_t YDS_SetTraqColorCodeInOrderOfNozzleLineForSplit(int32_t arrays, int32_t split, const uint8_t* codes,
                                                         YdsTable* t) {
    if (!t) return kYdsNoTable;
    if (uint32_t e = split_order(arrays, split, codes, t->lineNum, t->colorCodeOfLine, kYdsOrder)) return e;
    const uint64_t r = uint64_t{t->effectiveResolution} * uint64_t(std::max(split, 0));
    t->effectiveResolution = static_cast<uint32_t>(std::min<uint64_t>(r, UINT32_MAX));
    return 0;
}
uint32_t NLM_SetTraqColorCodeInOrderOfNozzleLineForSplit(int32_t arrays, int32_t split, const uint8_t* codes,
                                                         NlmTable* t) {
    return t ? split_order(arrays, split, codes, t->lineNum, t->colorCodeOfLine, kNlmOrder) : kNlmNoTable;
}
uint32_t RLS_SetTraqColorCodeInOrderOfNozzleLineForSplit(int32_t arrays, int32_t split, const uint8_t* codes,
                                                         RlsTable* t) {
    return t ? split_order(arrays, split, codes, t->lineNum, t->colorCodeOfLine, kRlsOrder) : kRlsNoTable;
}

// ---- Queries ----------------------------------------------------------------------

bool NLM_IsValid(const NlmTable* t) { return t && t->valid && t->chipUsedSet; }
bool YDS_IsValid(const YdsTable* t) { return t && t->valid && t->correctionSet; }
bool RLS_IsValid(const RlsTable* t) { return t && t->valid && t->timingSet; }

uint32_t NLM_SetChipUsed(int32_t kind, int32_t count, const uint16_t* chips, NlmTable* t) {
    if (!t) return kNlmNoTable;
    if ((kind != 1 && kind != 2) || count < 1 || count > 0xFFFF || !chips) return kNlmBadChipList;
    const uint16_t largest = *std::max_element(chips, chips + count);
    if (largest >= t->headNum) return kNlmBadChipList;
    uint16_t*& list = kind == 1 ? t->chips1 : t->chips2;
    uint16_t* copy = nullptr;
    if (uint32_t e = alloc_array(*t->cb, uint64_t(count), kNlmNoChips, copy)) return e;
    if (!t->verticalShiftOfLine) {
        if (uint32_t e = alloc_array(*t->cb, uint64_t(std::max<int16_t>(t->lineNum, 0)), kNlmNoVerticalShifts,
                                     t->verticalShiftOfLine)) {
            release_ptr(*t->cb, copy);
            return e;
        }
    }
    std::copy(chips, chips + count, copy);
    release_ptr(*t->cb, list);
    list = copy;
    const uint16_t shift = static_cast<uint16_t>(t->headNum - 1 - largest);
    (kind == 1 ? t->chipCount1 : t->chipCount2) = static_cast<uint16_t>(count);
    (kind == 1 ? t->shiftKind1 : t->shiftKind2) = shift;
    const bool base = (kind == 2 && t->hasKind2Line) || (kind == 1 && !t->hasKind2Line);
    for (int32_t i = 0; i < t->lineNum; ++i) {
        if (!t->headKindOfLine || t->headKindOfLine[i] != kind) continue;
        t->verticalShiftOfLine[i] = shift;
        if (base) t->baseLine = static_cast<uint16_t>(i);
    }
    t->chipUsedSet = 1;
    return 0;
}

int32_t NLM_GetHeadVerticalShiftAmount(uint8_t code, const NlmTable* t) {
    if (!t) return 0;
    const int32_t line = line_of(code, t->lineNum, t->colorCodeOfLine);
    return line < 0 || !t->verticalShiftOfLine ? 0 : t->verticalShiftOfLine[line];
}

int32_t NLM_GetBaseHeadVerticalShiftAmount(const NlmTable* t) {
    if (!t || !t->verticalShiftOfLine || t->baseLine >= t->lineNum) return 0;
    return t->verticalShiftOfLine[t->baseLine];
}

int32_t NLM_GetHeadTopShiftAmount(uint8_t code, const NlmTable* t) {
    return NLM_GetBaseHeadVerticalShiftAmount(t) - NLM_GetHeadVerticalShiftAmount(code, t);
}

bool NLM_GetUseHeadRange(uint8_t code, const NlmTable* t, int32_t* first, int32_t* last) {
    if (!t) return false;
    const int32_t line = line_of(code, t->lineNum, t->colorCodeOfLine);
    if (line < 0) return false;
    const bool kind2 = t->headKindOfLine && t->headKindOfLine[line] == 2;
    const uint16_t* chips = kind2 ? t->chips2 : t->chips1;
    const uint16_t count = kind2 ? t->chipCount2 : t->chipCount1;
    if (!chips || count == 0) return false;
    if (first) *first = chips[0];
    if (last) *last = chips[count - 1];
    return true;
}

uint32_t YDS_SetCorrectionArray(int32_t columnNum, int32_t valuesPerLine, const int16_t* const* numerators,
                                const int16_t* const* denominators, YdsTable* t) {
    if (!t) return kYdsNoTable;
    if (columnNum < 0 || columnNum > INT16_MAX || valuesPerLine < 0 || valuesPerLine > INT16_MAX ||
        (columnNum > 0 && valuesPerLine > 0 && (!numerators || !denominators)))
        return kYdsBadCorrectionInput;
    // Every input the lines use is checked before anything changes.
    for (int32_t line = 0; line < t->lineNum && valuesPerLine > 0; ++line) {
        const int32_t col = t->headColumnOfLine ? t->headColumnOfLine[line] : 0;
        if (col >= columnNum || !numerators[col] || !denominators[col]) return kYdsBadCorrectionInput;
        for (int32_t i = 0; i < valuesPerLine; ++i)
            if (denominators[col][i] == 0) return kYdsBadCorrectionInput;
    }
    const CallbackTable& cb = *t->cb;
    if (columnNum != t->columnNum || valuesPerLine != t->valuesPerColumn) {
        YDS_FreeArrayOfInputCorrection(t);
        if (columnNum > 0 && valuesPerLine > 0) {
            t->columnNum = static_cast<int16_t>(columnNum);
            if (uint32_t e = alloc_array(cb, uint64_t(columnNum), kYdsNoNumeratorTable, t->numerators)) return e;
            for (int32_t col = 0; col < columnNum; ++col)
                if (uint32_t e = alloc_array(cb, uint64_t(valuesPerLine), kYdsNoNumerators, t->numerators[col]))
                    return e;
            if (uint32_t e = alloc_array(cb, uint64_t(columnNum), kYdsNoDenominatorTable, t->denominators))
                return e;
            for (int32_t col = 0; col < columnNum; ++col)
                if (uint32_t e =
                        alloc_array(cb, uint64_t(valuesPerLine), kYdsNoDenominators, t->denominators[col]))
                    return e;
            t->valuesPerColumn = static_cast<int16_t>(valuesPerLine);
        }
    }
    if (valuesPerLine != t->valuesPerLine || !t->correction) {
        release_ptr(cb, t->correction);
        t->valuesPerLine = 0;
        const uint64_t n = uint64_t(std::max<int16_t>(t->lineNum, 0)) * uint64_t(valuesPerLine);
        if (uint32_t e = alloc_array(cb, n, kYdsNoCorrection, t->correction)) return e;
        t->valuesPerLine = static_cast<int16_t>(valuesPerLine);
    }
    for (int32_t col = 0; col < t->columnNum && t->numerators; ++col) {
        if (!numerators[col] || !denominators[col]) continue;
        std::copy(numerators[col], numerators[col] + valuesPerLine, t->numerators[col]);
        std::copy(denominators[col], denominators[col] + valuesPerLine, t->denominators[col]);
    }
    for (int32_t line = 0; line < t->lineNum && valuesPerLine > 0; ++line) {
        const int32_t col = t->headColumnOfLine ? t->headColumnOfLine[line] : 0;
        for (int32_t i = 0; i < valuesPerLine; ++i) {
            const int64_t v = int64_t{t->numerators[col][i]} * t->effectiveResolution / t->denominators[col][i];
            t->correction[line * valuesPerLine + i] = static_cast<int16_t>(
                std::clamp<int64_t>(v, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
        }
    }
    t->correctionSet = 1;
    return 0;
}

int32_t YDS_GetShiftAmount(uint8_t code, int32_t index, const YdsTable* t) {
    if (!t || !t->correction || index < 0 || index >= t->valuesPerLine) return 0;
    const int32_t line = line_of(code, t->lineNum, t->colorCodeOfLine);
    return line < 0 ? 0 : t->correction[line * t->valuesPerLine + index];
}

void RLS_SetDischargeTiming(int32_t timing, RlsTable* t) {
    if (!t) return;
    t->dischargeTiming = timing;
    t->timingSet = 1;
}

bool RLS_JudgedDisableNozzleArea(uint8_t code, uint16_t area, const RlsTable* t) {
    if (!t || (t->dischargeTiming != 1 && t->dischargeTiming != 2)) return false;
    const int32_t line = line_of(code, t->lineNum, t->colorCodeOfLine);
    if (line < 0 || !t->kind2Lines) return false;
    if (std::find(t->kind2Lines, t->kind2Lines + t->kind2LineNum, line) == t->kind2Lines + t->kind2LineNum)
        return false;
    if (t->timingNum < t->dischargeTiming || !t->timings) return true;
    const NozzleAreaList& list = t->timings[t->dischargeTiming - 1];
    if (list.n < 1 || !list.areas) return true;
    return std::find(list.areas, list.areas + list.n, area) == list.areas + list.n;
}

bool SSS_GetEnable(const SssTable* t) { return t && t->enabled; }
uint16_t SSS_GetShiftResolution(const SssTable* t) { return t ? t->shiftResolution : 0; }
int16_t SSS_GetShiftNum(const SssTable* t) { return t ? t->shiftNum : 0; }
uint16_t SSS_GetShift(int32_t index, const SssTable* t) {
    if (!t || !t->shifts || index < 0 || index >= t->shiftNum) return 0;
    return t->shifts[index];
}

bool LHT_GetEnable(const LhtTable* t) { return t && t->enabled; }
uint8_t LHT_GetStackedHTEachNozzleLineFlag(const LhtTable* t) { return t ? t->stackedHTEachNozzleLine : 0; }
bool LHT_IsValidStackedHTEachNozzleLine(const LhtTable* t) { return t && t->enabled && t->stackedHTEachNozzleLine; }

uint32_t LHT_CreateLayerArrayOfVirtualNozzleArray(int16_t nozzleNum, LhtTable* t) {
    if (!t) return kLhtNoTable;
    const int32_t arrays = std::max<int16_t>(t->virtualNozzleArrayNum, 0);
    const int32_t nozzles = std::max<int16_t>(nozzleNum, 0);
    if (nozzles != t->nozzleNum || !t->layerOfNozzle) {
        free_lht_nozzle_arrays(t);
        if (nozzles > 0 && arrays > 0) {
            if (uint32_t e = alloc_array(*t->cb, uint64_t(arrays), kLhtNoNozzleArrays, t->layerOfNozzle)) return e;
            if (uint32_t e = alloc_array(*t->cb, uint64_t(arrays), kLhtNoNozzleArrays, t->halftoneIndexOfNozzle))
                return e;
            for (int32_t a = 0; a < arrays; ++a) {
                if (uint32_t e = alloc_array(*t->cb, uint64_t(nozzles), kLhtNoNozzleArrays, t->layerOfNozzle[a]))
                    return e;
                if (uint32_t e =
                        alloc_array(*t->cb, uint64_t(nozzles), kLhtNoNozzleArrays, t->halftoneIndexOfNozzle[a]))
                    return e;
            }
        }
        t->nozzleNum = static_cast<int16_t>(nozzles);
    }
    if (!t->layerOfNozzle) return 0;
    const bool layered = t->enabled && t->layerNum >= 1 && t->layerStart && t->halftoneIndex;
    for (int32_t a = 0; a < arrays; ++a) {
        uint16_t* layer = t->layerOfNozzle[a];
        uint16_t* ht = t->halftoneIndexOfNozzle[a];
        if (!layered) {
            std::fill(layer, layer + nozzles, uint16_t{0});
            std::fill(ht, ht + nozzles, uint16_t{0});
            continue;
        }
        // From the top nozzle and the top layer downward: every nozzle at or
        // above a layer's start not yet given a layer takes it; nozzles below
        // the first layer's start take layer 0.
        const uint16_t* start = t->layerStart[a];
        const uint16_t* index = t->halftoneIndex[a];
        int32_t n = nozzles - 1;
        for (int32_t l = t->layerNum - 1; l >= 0; --l) {
            for (; n >= 0 && n >= start[l]; --n) {
                layer[n] = static_cast<uint16_t>(l);
                ht[n] = index[l];
            }
        }
        for (; n >= 0; --n) {
            layer[n] = 0;
            ht[n] = index[0];
        }
    }
    return 0;
}

const uint16_t* LHT_GetLayerArrayOfVirtualNozzleArray(int32_t a, const LhtTable* t) {
    if (!t || !t->layerOfNozzle || a < 0 || a >= t->virtualNozzleArrayNum) return nullptr;
    return t->layerOfNozzle[a];
}

const uint16_t* LHT_GetHalftoneIndexArrayOfVirtualNozzleArray(int32_t a, const LhtTable* t) {
    if (!t || !t->halftoneIndexOfNozzle || a < 0 || a >= t->virtualNozzleArrayNum) return nullptr;
    return t->halftoneIndexOfNozzle[a];
}

}  // namespace ovcg::irac
