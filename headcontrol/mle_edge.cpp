#include "headcontrol/mle_edge.h"

#include "headcontrol/resource_stream.h"

namespace ovcg::irac {

bool mle_needs_edge_planning(const MLEResourceData& resource, const MicroweaveLogicRecord& logic) {
    if (resource.optionWordLow != 0) return true;  // the lower-edge record
    if (logic.flags & (kMwTwoTables | kMwRepeat)) return true;
    for (uint32_t i = 0; i < logic.layerCount; ++i)
        if (is_edge_layer_type(logic.layers[i].kind % 20)) return true;
    return false;
}

void mle_free_mir(const CallbackTable& cb, MleMirList*& mir) {
    if (!mir) return;
    if (mir->sections) {
        for (uint32_t i = 0; i < mir->sectionCount; ++i) release_ptr(cb, mir->sections[i].values);
        release_ptr(cb, mir->sections);
    }
    release_ptr(cb, mir);
}

// ---- F-trans accessors: read the F-trans pass table that the edge planning builds.

namespace {
bool ftrans_table(const MLE_INSTANCE* o) {
    const MleSchedule& s = o->schedule;
    return (s.logic.flags & kMwFTransFromNormal) && s.fTransTable && s.fTransPasses > 0;
}
}  // namespace

uint32_t MLE_GetFtransCalcPOL(const MLE_INSTANCE* o, uint16_t index) {
    if (!o || !ftrans_table(o)) return 0;
    const MleSchedule& s = o->schedule;
    for (int32_t i = 0; i < s.fTransPasses; ++i) {
        const FTransPass& p = s.fTransTable[i];
        if (p.polIndex == index) return p.end > p.overlapStart ? uint32_t(p.end - p.overlapStart) : 0;
    }
    return 0;
}

int32_t MLE_GetFtransCalcPassNum(const MLE_INSTANCE* o) { return o && ftrans_table(o) ? o->schedule.fTransPasses : 0; }

uint32_t MLE_GetFtransCalcPOLIndex(const MLE_INSTANCE* o) {
    if (!o || !o->schedule.fTransTable || o->schedule.fTransPasses < 1) return 0xFFFFFFFFu;
    const uint16_t first = o->schedule.fTransTable[0].polIndex;
    return first == kMleNoStepValue ? 0xFFFFFFFFu : first;
}

void MLE_SetFtransCalcPOLIndex(MLE_INSTANCE* o, uint16_t first) {
    if (!o || !o->schedule.fTransTable) return;
    for (int32_t i = 1; i < o->schedule.fTransPasses; ++i)
        o->schedule.fTransTable[i].polIndex = static_cast<uint16_t>(first + i - 1);
}

}  // namespace ovcg::irac
