// The job and page driver: job start and end, page start and end, raster
// runs. The value accessors are in icm_values.cpp, the output loop in
// icm_output.cpp.
#include "headcontrol/icm_driver.h"

#include "headcontrol/codes.h"
#include "headcontrol/resource_stream.h"

#include <algorithm>
#include <climits>

namespace ovcg::irac {

namespace {

constexpr int32_t kMaxPixelShift = 16;
constexpr int32_t kSplitPositionMissing = kIcmNotInSplitOrder;

// Model values the driver divides by, takes a modulus of or indexes with:
// refused at job start rather than trusted.
uint32_t check_model(const ICMResourceData& r) {
    const uint32_t ff = r.functionFlags;
    if ((ff & kFnBlockD) && (r.modeValue1 == 0 || r.blockD.n < 1 || !r.blockD.list)) return kIcmBadModelValue;
    if ((ff & kFnBrs) && r.modeValue3 <= 0) return kIcmBadModelValue;
    if ((ff & kFnBlockC) && r.blockC.value0 == 0) return kIcmBadModelValue;
    if ((ff & kFnBlockB) && (r.modeValue0 == 0 || r.blockB.n < 1 || !r.blockB.list || !r.blockB.perColor))
        return kIcmBadModelValue;
    if ((ff & kFnSplit) && (r.splitColorOrder.n < 1 || !r.splitColorOrder.codes)) return kIcmBadModelValue;
    if ((ff & kFnBlockE) && (!r.blockE || r.blockE->n < 0)) return kIcmBadModelValue;
    if (!r.head || r.head->headNum < 1 || !r.head->nozzleNumOfHead || r.headValueA == 0) return kIcmBadModelValue;
    return 0;
}

uint16_t clamp_u16(int64_t v) { return static_cast<uint16_t>(std::clamp<int64_t>(v, 0, UINT16_MAX)); }

uint32_t allocate_blocks(IcmJob& j) {
    const CallbackTable& cb = j.cb;
    const uint32_t ff = j.res->functionFlags;
    if ((ff & kFnBrs) && alloc_record(cb, kIcmNoBrsBlock, j.brs)) return kIcmNoBrsBlock;
    if ((ff & kFnBlockC) && alloc_record(cb, kIcmNoColourMonoBlock, j.colourMono)) return kIcmNoColourMonoBlock;
    if ((ff & kFnAutoBottom) && alloc_record(cb, kIcmNoAutoBottomBlock, j.autoBottom)) return kIcmNoAutoBottomBlock;
    if ((ff & kFnBlockB) && alloc_record(cb, kIcmNoCycleBlock, j.cycle)) return kIcmNoCycleBlock;
    if ((ff & kFnBlockD) && alloc_record(cb, kIcmNoCorrectionBlock, j.correction)) return kIcmNoCorrectionBlock;
    return 0;
}

void free_slot_tables(IcmJob& j) {
    release_ptr(j.cb, j.slotLine);
    release_ptr(j.cb, j.slotInk);
    release_ptr(j.cb, j.slotOrder);
    release_ptr(j.cb, j.slotColour);
    j.slotCapacity = j.slotColourCapacity = 0;
}

// Slot tables of rows x columns entries (all empty) and the slot colours.
uint32_t make_slot_tables(IcmJob& j, int32_t rows, int32_t columns) {
    free_slot_tables(j);
    const uint64_t slots = uint64_t(rows) * uint64_t(columns);
    const bool split = j.res->functionFlags & kFnSplit;
    const uint64_t colours = split ? uint64_t(columns) : uint64_t(columns) * uint64_t(j.heads);
    if (slots > INT32_MAX || colours > INT32_MAX) return kIcmNoSlotTables;
    if (alloc_array(j.cb, slots, kIcmNoSlotTables, j.slotLine) || alloc_array(j.cb, slots, kIcmNoSlotTables, j.slotInk) ||
        alloc_array(j.cb, slots, kIcmNoSlotTables, j.slotOrder))
        return kIcmNoSlotTables;
    if (alloc_array(j.cb, colours, kIcmNoSlotColours, j.slotColour)) return kIcmNoSlotColours;
    for (uint64_t i = 0; i < slots; ++i) j.slotLine[i] = j.slotInk[i] = -1;
    j.rows = static_cast<int16_t>(rows);
    j.linesPerRow = static_cast<int16_t>(columns);
    j.slotCapacity = static_cast<int32_t>(slots);
    j.slotColourCapacity = static_cast<int32_t>(colours);
    return 0;
}

// Index of `code` among the first n bytes; -1 when absent.
int32_t find_code(const uint8_t* codes, int32_t n, uint8_t code) {
    for (int32_t i = 0; codes && i < n; ++i)
        if (codes[i] == code) return i;
    return -1;
}

// Each page ink's command colour code (and, with stacked halftoning, a
// second nozzle line of the same ink): 17 for an ink the colour table lacks
// or lines beyond the line list.
uint32_t map_lines(IcmJob& j, const uint8_t* inks) {
    const ICMResourceData& r = *j.res;
    const bool stacked = r.stackedHTEachNozzleLine != 0;
    int32_t n = 0;
    for (int32_t c = 0; c < j.printData.color_count; ++c) {
        const int32_t k = find_code(r.inkCodes, r.colorTableNum, inks[c]);
        if (k < 0 || n >= j.nozzleLines) return kIcmNotInColourTable;
        j.lineColour[n] = r.colorCodes[k];
        j.lineInk[n++] = static_cast<int16_t>(c);
        if (!stacked) continue;
        int32_t second = -1;
        for (int32_t m = k + 1; m < r.colorTableNum && second < 0; ++m)
            if (r.inkCodes[m] == inks[c]) second = m;
        if (second < 0 || n >= j.nozzleLines) return kIcmNotInColourTable;
        j.lineColour[n] = r.colorCodes[second];
        j.lineInk[n++] = static_cast<int16_t>(c);
    }
    j.pageLines = static_cast<int16_t>(n);
    return 0;
}

// The colours of heads 1 and on: each column's colour at the same place in
// the head's part of the colour order (17 when head 0's part lacks it).
uint32_t further_head_colours(IcmJob& j) {
    const ICMResourceData& r = *j.res;
    if ((r.functionFlags & kFnSplit) || j.heads < 2) return 0;
    const int32_t arrays = r.nozzleArrayNum;
    for (int32_t col = 0; col < j.linesPerRow; ++col) {
        const int32_t a = find_code(r.colorOrderOfHeads, std::min<int32_t>(arrays, r.colorOrderOfHeadsNum),
                                    j.slotColour[col]);
        for (int32_t h = 1; h < j.heads; ++h) {
            const int64_t at = int64_t(h) * arrays + a;
            if (a < 0 || at >= r.colorOrderOfHeadsNum) return kIcmNotInColourTable;
            j.slotColour[int64_t(h) * j.linesPerRow + col] = r.colorOrderOfHeads[at];
        }
    }
    return 0;
}

// Without the grouping: one row, a column per nozzle line.
uint32_t plain_slots(IcmJob& j) {
    if (j.slotCapacity < j.pageLines || j.rows != 1 || j.linesPerRow != j.pageLines)
        if (uint32_t rc = make_slot_tables(j, 1, j.pageLines)) return rc;
    for (int32_t i = 0; i < j.pageLines; ++i) {
        j.slotLine[i] = static_cast<int16_t>(i);
        j.slotInk[i] = j.lineInk[i];
        j.slotColour[i] = j.lineColour[i];
    }
    return further_head_colours(j);
}

// The 0x40 grouping: nozzle lines whose colours belong to one group share a
// column, one row each, ordered by the group's order values.
uint32_t grouped_slots(IcmJob& j) {
    const BlockE& g = *j.res->blockE;
    const int32_t members = g.n;
    int32_t columns = 0;
    for (int32_t i = 0; i < j.pageLines; ++i)
        if (find_code(g.commandColors, members, j.lineColour[i]) >= 0) ++columns;
    if (uint32_t rc = make_slot_tables(j, g.rows, columns)) return rc;
    int32_t open = 0;
    for (int32_t i = 0; i < j.pageLines; ++i) {
        const int32_t k = find_code(g.rowCodes, members, j.lineColour[i]);
        if (k < 0) return kIcmNotInGrouping;
        int32_t col = find_code(j.slotColour, open, g.commandColors[k]);
        if (col < 0) {
            if (open >= columns) return kIcmNotInGrouping;  // more columns than the page's group colours
            col = open++;
            j.slotColour[col] = j.lineColour[i];
        }
        for (int32_t row = 0; row < j.rows; ++row) {
            const int64_t at = int64_t(row) * columns + col;
            if (j.slotLine[at] >= 0) continue;
            j.slotLine[at] = static_cast<int16_t>(i);
            j.slotInk[at] = j.lineInk[i];
            j.slotOrder[at] = g.rowShifts[k];
            break;
        }
    }
    // Each column's rows by ascending order value, up to its first empty row.
    for (int32_t col = 0; col < columns; ++col) {
        for (int32_t a = 1; a < j.rows; ++a) {
            for (int32_t b = a; b > 0; --b) {
                const int64_t hi = int64_t(b) * columns + col, lo = hi - columns;
                if (j.slotLine[hi] < 0 || j.slotOrder[lo] <= j.slotOrder[hi]) break;
                std::swap(j.slotLine[hi], j.slotLine[lo]);
                std::swap(j.slotInk[hi], j.slotInk[lo]);
                std::swap(j.slotOrder[hi], j.slotOrder[lo]);
            }
        }
    }
    return further_head_colours(j);
}

// Each nozzle line's place in the split colour order (0x200).
uint32_t split_positions(IcmJob& j) {
    const ICMResourceData& r = *j.res;
    const int32_t arrays = std::min<int32_t>(r.nozzleArrayNum, r.colorOrderOfHeadsNum);
    for (int32_t i = 0; i < j.pageLines; ++i) {
        const int32_t a = find_code(r.colorOrderOfHeads, arrays, j.lineColour[i]);
        if (a < 0) return kSplitPositionMissing;
        j.splitPosition[i] = static_cast<uint8_t>(a);
    }
    return 0;
}

bool open_length(const IcmJob& j) { return j.identifier.sub_mode == uint32_t(kIcmOpenLengthSubMode); }

// The printed length of a page: its length less the ignored rasters.
int64_t base_print_length(const IcmJob& j) {
    return int64_t{j.printData.page_length} - int64_t{j.res->subModeValue2} - int64_t{j.res->subModeValue3};
}

// The length an open page is planned for: at least its allowance, so that
// no pass that the end of a shorter plan places prints inside the page.
int64_t open_plan_length(const IcmJob& j) {
    const int64_t allowance =
        int64_t{IRAC_OPEN_PAGE_LENGTH} - int64_t{j.res->subModeValue2} - int64_t{j.res->subModeValue3};
    return std::max(j.printLength, allowance);
}

// Frees everything the job holds, then the job.
void destroy(IcmJob* j) {
    CallbackTable cb = j->cb;  // the job's own copy goes with it
    OVC_Destructor(j->ovc);
    RBM_Destructor(j->rbm);
    MLE_Destructor(j->mle);
    RSC_Destructor(j->rsc);
    release_ptr(cb, j->workLine);
    release_ptr(cb, j->zeroLine);
    PMM_Free_POLMaskWork(&j->masks);
    release_ptr(cb, j->lineColour);
    release_ptr(cb, j->lineInk);
    release_ptr(cb, j->splitPosition);
    free_slot_tables(*j);
    release_ptr(cb, j->brs);
    release_ptr(cb, j->colourMono);
    release_ptr(cb, j->autoBottom);
    release_ptr(cb, j->cycle);
    release_ptr(cb, j->correction);
    if (j->sss) SSS_Free(&j->sss, &cb);
    if (j->lnc) LNC_Free(&j->lnc, &cb);
    release(cb, j);
}

uint32_t build(IcmJob& j, const OptionCopy& option) {
    const CallbackTable* cb = &j.cb;
    if (uint32_t rc = LNC_Allocate(&j.lnc, cb)) return rc;
    if (uint32_t rc = RSC_Constructor(&j.rsc, j.identifier, option.flags, cb)) return rc;
    if (uint32_t rc = RSC_GetICMResourceData(j.rsc, &j.res)) return rc;
    const ICMResourceData& r = *j.res;
    if (uint32_t rc = check_model(r)) return rc;
    // Rasters are numbered in 31 bits, as the pass engine's positions are.
    if (base_print_length(j) < 1 || base_print_length(j) > INT32_MAX) return kIcmBadArgument;
    ICM_SetFunctionFlag(r.functionFlags, &j.on);
    if (uint32_t rc = allocate_blocks(j)) return rc;
    RSC_TransferSss(&j.sss, j.rsc);
    // Nozzle lines: one per colour, or two with stacked halftoning.
    const int32_t lines = r.stackedHTEachNozzleLine ? r.colorTableNum : j.printData.color_count;
    if (lines < 1) return kIcmNotInColourTable;
    j.nozzleLines = static_cast<int16_t>(lines);
    if (alloc_array(j.cb, lines, kIcmNoLineColours, j.lineColour) ||
        alloc_array(j.cb, lines, kIcmNoLineColours, j.lineInk) ||
        alloc_array(j.cb, lines, kIcmNoLineColours, j.splitPosition))
        return kIcmNoLineColours;
    j.heads = r.head->headNum;
    if (!(r.functionFlags & kFnBlockE))
        if (uint32_t rc = make_slot_tables(j, 1, lines)) return rc;
    if (uint32_t rc = MLE_Constructor(&j.mle, option.direction, cb, j.rsc)) return rc;
    // The head height is the pass engine's: asked once it is built.
    if ((option.flags & IRAC_OPT_HEAD_HEIGHT) && j.on.autoBottom) {
        j.on.autoBottom = 0;
        j.headHeight = MLE_GetHeadheight(j.mle);
    }
    // Coded lines of one command: a whole head in the multi-line form.
    j.groupSize = 1;
    if (r.encoderFlag2) {
        const int32_t split = (r.functionFlags & kFnSplit) ? r.splitColorOrder.n : 1;
        for (int32_t h = 0; h < j.heads; ++h) j.groupSize = std::max<int32_t>(j.groupSize, r.head->nozzleNumOfHead[h] / split);
    }
    j.passEngine = ICM_PassEngineForMasks(j.mle);
    if (uint32_t rc = PMM_Alloc_POLMaskWork(&j.masks, r.layerKindCount, r.layerKinds, r.colorNum, cb)) return rc;
    if (uint32_t rc = PMM_Alloc_POLMaskPattern(&j.masks, j.res, j.passEngine, uint16_t(lines))) return rc;
    if (uint32_t rc = RBM_Constructor(&j.rbm, j.printData.raster_width, int16_t(j.printData.color_count),
                                      int8_t(j.printData.layer_count), r.encoderSubModeValue, j.rsc, &j.bandBytes, cb))
        return rc;
    j.repeat = RBM_GetRepeatNum(j.rbm);
    // The widest block reaches one byte past a plane line (the odd-width byte).
    j.lineBytes = j.bandBytes + 1;
    if (alloc_array(j.cb, j.lineBytes, kIcmNoWorkLine, j.workLine)) return kIcmNoWorkLine;
    if (alloc_array(j.cb, j.lineBytes, kIcmNoZeroLines, j.zeroLine)) return kIcmNoZeroLines;
    if (uint32_t rc = OVC_Constructor(&j.ovc, cb, j.rsc, int32_t(j.bandBytes), j.groupSize)) return rc;
    // The vertical denominator and the off-area values in its unit.
    const int64_t denominator = (r.functionFlags & kFnBlockD) ? int64_t{r.blockD.value} : int64_t{r.modeValue1};
    j.verticalDenominator = static_cast<uint16_t>(denominator);
    j.offAreaTop = clamp_u16(int64_t{r.head->headValueC} * denominator / r.headValueA);
    j.offAreaBottom = clamp_u16(int64_t{r.head->headValueD} * denominator / r.headValueA);
    return 0;
}

}  // namespace

PmmPassEngine ICM_PassEngineForMasks(MLE_INSTANCE* mle) {
    PmmPassEngine e{};
    e.engine = mle;
    e.findPolIndex = [](const void* o, uint16_t i) { return MLE_FindPOLIndex(static_cast<const MLE_INSTANCE*>(o), i); };
    e.ftransCalcPol = [](const void* o, uint16_t i) {
        return MLE_GetFtransCalcPOL(static_cast<const MLE_INSTANCE*>(o), i);
    };
    e.ftransCalcPassNum = [](const void* o) { return MLE_GetFtransCalcPassNum(static_cast<const MLE_INSTANCE*>(o)); };
    e.ftransCalcPolIndex = [](const void* o) {
        return MLE_GetFtransCalcPOLIndex(static_cast<const MLE_INSTANCE*>(o));
    };
    e.setFtransCalcPolIndex = [](void* o, uint16_t first) {
        MLE_SetFtransCalcPOLIndex(static_cast<MLE_INSTANCE*>(o), first);
    };
    return e;
}

void ICM_SetFunctionFlag(uint32_t flags, IcmFunctionSwitches* a) {
    if (!a) return;
    a->similar = 0;
    a->brs = (flags & kFnBrs) != 0;
    a->autoBottom = (flags & kFnAutoBottom) != 0;
    a->deferredFeed = (flags & kFnDeferredFeed) != 0;
    a->grouping = (flags & kFnBlockE) != 0;
    a->flag80 = (flags & kFnLayerValuesPerColour) != 0;
    a->verticalCorrection = (flags & kFnBlockD) != 0;
    a->split = (flags & kFnSplit) != 0;
    a->colourMono = (flags & kFnBlockC) != 0;
    a->cycle = (flags & kFnBlockB) != 0;
    a->curing = (flags & 0x4000) != 0;
}

uint32_t ICM_StartJob(IcmJob** out, IdentifierPair identifier, const PrintDataCopy& pd, const OptionCopy& option,
                      IcmStartResult* result, const CallbackTable& cb) {
    if (!out || !result) return kIcmBadArgument;
    if (identifier.sub_mode > 4 || pd.page_length < 1 || pd.color_count < 1 || pd.color_count > kIcmMaxColours ||
        option.direction < -128 || option.direction > 127 || pd.raster_width < 1)
        return kIcmBadArgument;
    if (!option.pixel_shift) return kIcmBadPixelShift;
    for (int32_t c = 0; c < pd.color_count; ++c)
        if (option.pixel_shift[c] < -kMaxPixelShift || option.pixel_shift[c] > kMaxPixelShift) return kIcmBadPixelShift;
    IcmJob* j = nullptr;
    if (alloc_record(cb, kIcmNoInstance, j)) return kIcmNoInstance;
    j->pathTag = 0;
    j->cb = cb;
    j->identifier = identifier;
    j->printData = pd;
    j->option = option;
    for (int32_t i = 0; i < kIcmPixelShifts; ++i) j->pixelShift[i] = option.pixel_shift[i];
    j->option.pixel_shift = j->pixelShift;  // callers reuse their records
    j->state = kIcmJobOpen;
    if (uint32_t rc = build(*j, option)) {
        destroy(j);
        return rc;
    }
    *result = IcmStartResult{j->verticalDenominator, j->offAreaTop, j->offAreaBottom};
    *out = j;
    return 0;
}

void ICM_EndJob(IcmJob* j) {
    if (!j) return;
    if (j->state == kIcmPageOpen) ICM_EndPage(j);
    if (j->state == kIcmDrawFailed) MLE_EndPage(j->mle);
    destroy(j);
}

void ICM_AbortJob(IcmJob* j) {
    if (!j) return;
    if (j->mle) MLE_EndPage(j->mle);
    destroy(j);
}

uint32_t ICM_StartPage(IcmJob* j, int32_t leftOffset, const uint8_t* inks) {
    if (!j || j->state != kIcmJobOpen) return kIcmPageStartState;
    j->state = kIcmPageOpen;
    auto fail = [j](uint32_t rc) {
        MLE_EndPage(j->mle);
        j->state = kIcmPageFailed;
        return rc;
    };
    if (!inks || leftOffset < 0) return fail(kIcmBadPageArgument);
    const ICMResourceData& r = *j->res;
    ICM_SetFunctionFlag(r.functionFlags, &j->on);
    // Nozzle lines and slots.
    if (uint32_t rc = map_lines(*j, inks)) return fail(rc);
    if (uint32_t rc = (r.functionFlags & kFnBlockE) ? grouped_slots(*j) : plain_slots(*j)) return fail(rc);
    if ((r.functionFlags & kFnSplit))
        if (uint32_t rc = split_positions(*j)) return fail(rc);
    // The page's counters.
    j->printLength = base_print_length(*j);
    j->stored = j->counted = j->nextExpected = j->passCounter = 0;
    j->scheduleChange = j->pageFinished = j->lengthChanged = 0;
    j->switches[0] = j->switches[1] = IcmSwitchRecord{0, kIcmNoSwitch, 0, 0};
    j->switchWrite = j->switchRead = 0;
    // The schedule.
    int32_t top = 0;
    uint32_t position = 0;
    j->planLength = open_length(*j) ? open_plan_length(*j) : j->printLength;
    if (uint32_t rc = MLE_StartPage(j->mle, uint32_t(j->planLength), uint16_t(j->pageLines), j->lineColour, nullptr,
                                    &top))
        return fail(rc);
    if (uint32_t rc = MLE_CreateSchedulingTable(j->mle, 0, &position)) return fail(rc);
    j->passPosition = static_cast<int32_t>(position);
    ICM_HoldEndPasses(j);
    // A ring shorter than a pass's reach would hand out overwritten rasters.
    if (r.encoderSubModeValue < MLE_GetHeadheight(j->mle)) return fail(kIcmBufferTooShort);
    if (uint32_t rc = PMM_ReAlloc_POLMaskPattern(&j->masks, j->res, j->passEngine,
                                                 PmmPageColours{uint16_t(j->pageLines), j->lineColour}))
        return fail(rc);
    ICM_Updata_Bufferingarea(j);
    if (j->cycle) *j->cycle = IcmCycleBlock{};
    if (j->autoBottom) {
        // The bottom range of the page; a page the pass engine can give none
        // (a page shorter than the head, a logic without the layers) prints
        // with its own logic to the end rather than being refused.
        IcmAutoBottomBlock range{};
        range.armed = j->on.autoBottom && MLE_GetAutoBottomRange(j->mle, &range.top, &range.length) == 0;
        *j->autoBottom = range.armed ? range : IcmAutoBottomBlock{};
    }
    if (j->colourMono) *j->colourMono = IcmColourMonoBlock{1, 0, int32_t(r.blockC.value1)};
    uint32_t shift = 0;
    if (uint32_t rc = RBM_StartPage(j->rbm, leftOffset, 0, 0, 0, 0, &shift)) return fail(rc);
    if (shift && j->masks.maskMode == 1) PMM_ShiftPOLMaskPattern(&j->masks, r.colorNum, r.bitsPerPixel, j->repeat, shift);
    if (uint32_t rc = OVC_StartPage(j->ovc, position)) return fail(rc);
    if (j->correction) {
        *j->correction = IcmCorrectionBlock{0, position};
        if (uint32_t rc = ICM_Calc_ARC_vpos(j, position)) return fail(rc);
    }
    uint8_t withPageStart = 0;
    if (j->on.deferredFeed && j->identifier.sub_mode == 2 && (j->option.flags & IRAC_OPT_EARLY_FEED)) {
        withPageStart = 1;
        j->on.deferredFeed = 0;
    }
    if (uint32_t rc = OVC_SendInitializeCommand(j->ovc, position, withPageStart)) return fail(rc);
    if (j->option.page_flag) OVC_SetVPos(j->ovc, position);
    return 0;
}

uint32_t ICM_DrawData(IcmJob* j, uint8_t* const* lines, uint32_t lineWidth, uint32_t first, uint32_t count) {
    if (!j || j->state != kIcmPageOpen) return kIcmRunState;
    auto fail = [j](uint32_t rc) {
        j->state = kIcmDrawFailed;
        return rc;
    };
    const int64_t F = first, N = count, E = j->nextExpected;
    const int64_t T = j->res->subModeValue2;
    // A line width below the raster width would read the last colour past the caller's block.
    if (!lines || (N != 1 && N != 2) || F < E || lineWidth < j->printData.raster_width) return fail(kIcmBadRun);
    if (!open_length(*j)) {
        if (E >= int64_t{j->printData.page_length}) return fail(kIcmBadRun);
    } else if (F + N - T > j->printLength || F + N - T >= j->holdEnd) {
        // An open page grows by whole page lengths, up to the 31-bit limit,
        // and before the passes its planned end placed are due.
        const int64_t step = std::max<int64_t>(base_print_length(*j), 1);
        const int64_t need = F + N - T;
        const int64_t guard = j->holdEnd == INT64_MAX ? 0 : std::max<int64_t>(j->planLength - j->holdEnd + 1, 0);
        const int64_t limit = int64_t{INT32_MAX} - T;
        const int64_t grown = std::min((need + guard + step - 1) / step * step, limit);
        if (need > grown) return fail(kIcmBadRun);
        j->printLength = std::max(j->printLength, grown);
        j->scheduleChange = j->printLength > j->planLength;
    }
    const int64_t end = j->printLength + T;
    // The gap before the run, inside the printed rasters, stored blank.
    for (int64_t r = std::max(E, T), to = std::min(F, end); r < to; ++r) {
        if (uint32_t rc = RBM_SetBlankRasterdata(j->rbm, int32_t(j->stored))) return fail(rc);
        ++j->stored;
        ++j->counted;
        if (uint32_t rc = ICM_Draw_Rasterdata(j)) return fail(rc);
    }
    // The run's lines inside the printed rasters.
    for (int64_t i = std::max<int64_t>(0, T - F), to = std::min(N, end - F); i < to; ++i) {
        uint8_t hasData = 0;
        if (uint32_t rc = RBM_SetRasterdata(j->rbm, int32_t(j->stored), int32_t(std::min<uint32_t>(lineWidth, INT32_MAX)),
                                            lines, int32_t(i), 0, &hasData))
            return fail(rc);
        ++j->stored;
        ++j->counted;
        if (hasData && j->on.deferredFeed) {
            j->on.deferredFeed = 0;
            if (uint32_t rc = OVC_SendTCCommand(j->ovc, uint32_t(j->passPosition))) return fail(rc);
        }
        if (uint32_t rc = ICM_Draw_Rasterdata(j)) return fail(rc);
    }
    j->nextExpected = F + N;
    return 0;
}

uint32_t ICM_EndPage(IcmJob* j) {
    if (!j) return kIcmPageEndState;
    if (j->state == kIcmDrawFailed) {
        MLE_EndPage(j->mle);
        j->state = kIcmPageFailed;
        return 0;
    }
    if (j->state != kIcmPageOpen) return kIcmPageEndState;
    j->state = kIcmJobOpen;
    auto fail = [j](uint32_t rc) {
        MLE_EndPage(j->mle);
        j->state = kIcmPageFailed;
        return rc;
    };
    // An open page ends where its rasters end, not at its allowance: the
    // rest of the allowance would be blank, so the plan stays as it is (the
    // passes printed so far are its passes) and prints nothing past the
    // rasters received; the loop stops once no pass can reach them.
    if (open_length(*j) && j->stored < j->planLength) {
        j->printLength = j->stored;
        MLE_SetNotPrintRaster(j->mle, -1, int32_t(j->stored));
    }
    while (j->stored < j->printLength) {
        if (uint32_t rc = RBM_SetBlankRasterdata(j->rbm, int32_t(j->stored))) return fail(rc);
        ++j->stored;
        if (uint32_t rc = ICM_Draw_Rasterdata(j)) return fail(rc);
    }
    ICM_Updata_Bufferingarea(j);
    // A schedule change ends its call: the next one prints the rest.
    for (int k = 0; k < 2 && !j->pageFinished; ++k) {
        const bool changing = j->scheduleChange;
        if (uint32_t rc = ICM_Draw_Rasterdata(j)) return fail(rc);
        if (!changing) break;
    }
    MLE_EndPage(j->mle);
    return 0;
}

uint32_t ICM_ChangeSpecification(IcmJob* j, int32_t passesBack, int32_t newLength) {
    if (!j || j->state != kIcmPageOpen) return kIcmChangeState;
    if (!j->option.page_flag) return kIcmFeedsNotSuppressed;
    if (j->lengthChanged) {
        j->state = kIcmDrawFailed;
        return kIcmChangedBefore;
    }
    uint32_t minimum = 0;
    if (uint32_t rc = MLE_GetMinLength(j->mle, &minimum)) return rc;
    if (passesBack < 0 || passesBack > j->passCounter || newLength < 0 || uint32_t(newLength) < minimum)
        return kIcmChangeRefused;
    auto fail = [j](uint32_t rc) {
        j->state = kIcmDrawFailed;
        return rc;
    };
    const int64_t length = int64_t{newLength} - j->res->subModeValue2 - j->res->subModeValue3;
    if (length <= 0) return fail(kIcmChangeRefused);
    // The pass engine counts no null passes: those among the passes stepped
    // back are not its passes.
    const int64_t from = j->passCounter - passesBack;
    const uint32_t nulls = MLE_GetInsertNullPassNum(j->mle, int32_t(from), uint32_t(passesBack));
    int32_t before = 0, after = 0;
    if (uint32_t rc = MLE_ChangeSpecification(j->mle, &before, &after, uint32_t(length), passesBack - int32_t(nulls)))
        return fail(rc);
    if (uint32_t rc = PMM_ReAlloc_POLMaskPattern(&j->masks, j->res, j->passEngine,
                                                 PmmPageColours{uint16_t(j->pageLines), j->lineColour}))
        return fail(rc);
    // The feeds are the caller's: the head stands at the new current pass.
    if (uint32_t rc = OVC_StartPage(j->ovc, uint32_t(after))) return fail(rc);
    j->lengthChanged = 1;
    j->printLength = j->planLength = length;
    j->passPosition = after;
    j->passCounter = from;
    j->pageFinished = 0;
    ICM_HoldEndPasses(j);
    ICM_Updata_Bufferingarea(j);
    // The rasters the pass needs and the caller has not sent are blank;
    // those stored keep their data.
    for (; j->stored < j->bufferingEnd; ++j->stored) {
        if (uint32_t rc = RBM_SetBlankRasterdata(j->rbm, int32_t(j->stored))) return fail(rc);
        ++j->counted;
    }
    // The caller's rasters go on after them.
    j->nextExpected = std::max<int64_t>(j->nextExpected, j->stored + j->res->subModeValue2);
    return 0;
}

}  // namespace ovcg::irac
