// HXR_SetValue: the values a caller sets between creation and job start.
// Every key checks its whole value before it stores anything, so a refused
// call leaves the instance as it was.
#include "hxr/control/hxr_instance.h"

#include "hxr/control/hxr_lut_build.h"
#include "hxr/color/hxr_color_wprint.h"

#include <algorithm>

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;

// A colour manager for the checks of one call, freed when the call ends.
class ScopedColours {
public:
    explicit ScopedColours(HXRInstance* inst)
        : mm_(inst->memory), clr_(HXRCreateClrMgr(inst->halftone.inkSet, inst->halftone.outputBits, kNone, mm_)) {}
    ~ScopedColours() {
        if (clr_) HXRDeleteClrMgr(clr_, mm_);
    }
    ScopedColours(const ScopedColours&) = delete;
    ScopedColours& operator=(const ScopedColours&) = delete;
    const HXRClrMgr* get() const { return clr_; }

private:
    HXRMemMgr* mm_;
    HXRClrMgr* clr_;
};

bool holds_duty_record(const uint32_t* words) {
    return HXRCheckTRAQ2LutSlcDutyFactorParam(words, kHxrDutyFactorModeId) != 1;
}

// Keys 256 and 257: 0..255 at the two PatternD positions, 0 elsewhere.
uint32_t set_pattern_d(HXRInstance* inst, const HXRClrMgr* clr, uint32_t table, const uint32_t* words) {
    const uint32_t c = HXRGetOutputColorOrder(clr, kInkC);
    const uint32_t m = HXRGetOutputColorOrder(clr, kInkM);
    for (uint32_t k = 0; k < kHxrPatternDChannels; ++k) {
        if (k == c || k == m) {
            if (words[k] > 255) return table == 0 ? kHxrSetPatternDAValue : kHxrSetPatternDBValue;
        } else if (words[k] != 0) {
            return table == 0 ? kHxrSetPatternDAPosition : kHxrSetPatternDBPosition;
        }
    }
    std::copy(words, words + kHxrPatternDChannels, inst->values.patternD[table]);
    return 0;
}

// Keys 768 and 769. A table that holds the duty-factor record keeps it: the
// job's colour tables are scaled by it and the added tables need it.
uint32_t set_color_table(HXRInstance* inst, uint32_t table, const uint32_t* words) {
    if (holds_duty_record(inst->colorTable[table])) return table == 0 ? kHxrSetColorTableA : kHxrSetColorTableB;
    std::copy(words, words + kHxrMaxInks, inst->colorTable[table]);
    return 0;
}

// Keys 1280 and 1281.
uint32_t set_added_lut(HXRInstance* inst, uint32_t table, const HXRAddedLutValue* v) {
    const uint32_t refused = table == 0 ? kHxrSetAddedLut0 : kHxrSetAddedLut1;
    if (!(inst->outputFlags & HXR_OUTPUT_RH)) {
        HXRSetErrorInfo(kHxrRecordAddedNeedsRH);
        return refused;
    }
    if (!holds_duty_record(inst->colorTable[1])) {
        HXRSetErrorInfo(kHxrRecordAddedNeedsDuty);
        return refused;
    }
    if (v->size == 0 || !v->data) return refused;
    auto* copy = static_cast<uint8_t*>(HXRAllocMem(inst->memory, v->size));
    if (!copy) return refused;
    inst->services.MemCpy(copy, v->data, v->size);
    HXRFreeMem(inst->memory, inst->added[table].data);
    inst->added[table] = {v->size, copy};
    return 0;
}

// Keys 1024..1026 work on a copy of the block, kept only when accepted.
uint32_t set_wprint(HXRInstance* inst, uint32_t key, const void* value) {
    HXRColorCvtWPrintParam block = inst->values.wprint;
    uint32_t ok = 0;
    switch (key) {
        case HXR_KEY_WPRINT_OUTPUT:
            ok = HXRSetColorCvtWPrintOutputInfo(&block.outputMode,
                                                static_cast<const HXRColorCvtWPrintOutputInfo*>(value));
            break;
        case HXR_KEY_WPRINT_W:
            ok = HXRSetColorCvtWPrintWInfo(&block, static_cast<const HXRColorCvtWPrintWInfo*>(value));
            break;
        default:
            ok = HXRSetColorCvtWPrintReductionInfo(
                &block, static_cast<const HXRColorCvtWPrintReductionInfo*>(value), inst->memory);
            break;
    }
    if (!ok) return key == HXR_KEY_WPRINT_OUTPUT ? kHxrSetWPrintOutput
                      : key == HXR_KEY_WPRINT_W  ? kHxrSetWPrintW
                                                 : kHxrSetWPrintReduction;
    // Curves a new reduction setting replaced belong to no converter yet
    // (converters are made at the job start): they go at once.
    const HXRColorCvtWPrintParam& old = inst->values.wprint;
    if (block.colourCurve != old.colourCurve) HXRFreeMem(inst->memory, const_cast<uint32_t*>(old.colourCurve));
    if (block.wCurve != old.wCurve) HXRFreeMem(inst->memory, const_cast<uint32_t*>(old.wCurve));
    inst->values.wprint = block;
    return 0;
}

uint32_t set_key(HXRInstance* inst, const HXRClrMgr* clr, uint32_t key, const void* value) {
    const auto* words = static_cast<const uint32_t*>(value);
    switch (key) {
        case HXR_KEY_REDUCTION_METHOD:
            if (words[0] > 1) return kHxrSetReductionValue;
            if (inst->halftone.scale != kHxrOutputScaleHalf) return kHxrSetReductionScale;
            inst->values.reductionMethod = words[0];
            return 0;
        case HXR_KEY_TEXT_ENHANCE: {
            if (words[0] != 0 && words[0] != 3) return kHxrSetTextEnhanceValue;
            const HXRBinarizeOps* ops = HXRGetBinarizeOps();
            if (words[0] == 3 &&
                !(ops->textEdgeCondition && ops->textEdgeCondition(&inst->halftone, clr) != 0))
                return kHxrSetTextEnhanceCondition;
            inst->values.textEnhance = words[0];
            return 0;
        }
        case HXR_KEY_PATTERND_A: return set_pattern_d(inst, clr, 0, words);
        case HXR_KEY_PATTERND_B: return set_pattern_d(inst, clr, 1, words);
        case HXR_KEY_UNDER_WHITE:
            if (words[0] > 1) return kHxrSetUnderWhiteValue;
            if (words[0] == 1 && inst->image.colorMode != kHxrColorModeCMYK) return kHxrSetUnderWhiteNotCmyk;
            inst->values.underWhite = words[0];
            return 0;
        case HXR_KEY_COLOR_TABLE_A: return set_color_table(inst, 0, words);
        case HXR_KEY_COLOR_TABLE_B: return set_color_table(inst, 1, words);
        case HXR_KEY_WPRINT_OUTPUT:
        case HXR_KEY_WPRINT_W:
        case HXR_KEY_WPRINT_REDUCTION: return set_wprint(inst, key, value);
        case HXR_KEY_ADDED_LUT_0: return set_added_lut(inst, 0, static_cast<const HXRAddedLutValue*>(value));
        case HXR_KEY_ADDED_LUT_1: return set_added_lut(inst, 1, static_cast<const HXRAddedLutValue*>(value));
        default: return kHxrSetUnknownKey;
    }
}

}  // namespace

unsigned int HXR_SetValue(void* handle, unsigned int key, const void* value) {
    auto* inst = static_cast<HXRInstance*>(handle);
    if (!inst) return kHxrSetNull;
    if (!value) return kHxrSetNullValue;
    const ScopedColours colours(inst);
    if (!colours.get()) return kHxrSetColourManager;
    if (inst->state & kHxrStateByCreateInstance) return kHxrSetByCreateInstance;
    if (!(inst->state & kHxrStateCreated)) return kHxrSetNotCreated;
    if (inst->state & (kHxrStateStarted | kHxrStateStartFailed)) return kHxrSetStarted;
    const uint32_t r = set_key(inst, colours.get(), key, value);
    if (r == 0) inst->state |= kHxrStateValueSet;
    return r;
}
